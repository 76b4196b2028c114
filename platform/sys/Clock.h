#pragma once
#include <cstdint>

namespace plat {

// Source of the two clocks the engine reads: a high-resolution counter and a wrapping
// 32-bit millisecond clock. Tests install their own source to script jumps and wraps.
class ClockSource {
public:
    virtual ~ClockSource() = default;
    // Counts per second of Counter(); 0 or below means there is no high-resolution counter.
    virtual int64_t Frequency() = 0;
    virtual int64_t Counter() = 0;
    virtual uint32_t Milliseconds() = 0;
};

// Monotonic system clock: nanoseconds, frequency 1e9, milliseconds truncated to 32 bits.
ClockSource& SystemClock();

// The source every clock reader uses; null restores the system clock.
void SetClockSource(ClockSource* source);
ClockSource& CurrentClock();

} // namespace plat
