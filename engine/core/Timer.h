#pragma once
#include <cstdint>

// Seconds between successive readings. Prefers the high-resolution counter and checks it
// against the millisecond clock on every reading, falling back to the millisecond value
// when the two disagree by more than 50 ms.
class Timer {
public:
    Timer();
    void Start();
    float Elapsed();

private:
    uint32_t lastMilliseconds_ = 0;
    int64_t lastCount_ = 0;
    double frequency_ = 0.0;
};
