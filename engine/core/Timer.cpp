#include "engine/core/Timer.h"

#include <cmath>

#include "engine/core/Debugger.h"
#include "platform/sys/Clock.h"

Timer::Timer() {
    int64_t f = plat::CurrentClock().Frequency();
    frequency_ = f > 0 ? double(f) : 0.0;
}

void Timer::Start() {
    plat::ClockSource& clock = plat::CurrentClock();
    lastMilliseconds_ = clock.Milliseconds();
    if (frequency_ > 0) lastCount_ = clock.Counter();
}

float Timer::Elapsed() {
    plat::ClockSource& clock = plat::CurrentClock();
    uint32_t now = clock.Milliseconds();
    float ms = float(uint32_t(now - lastMilliseconds_)) * 0.001f;
    lastMilliseconds_ = now;
    if (!(frequency_ > 0)) return ms;
    int64_t count = clock.Counter();
    double t = double(count - lastCount_) / frequency_;
    lastCount_ = count;
    double diff = std::fabs(t - double(ms));
    if (diff <= 0.05) return float(t);
    Debugger::Instance().Log(3, "TIMER: Precision failure. Difference is %.2fms", diff * 1000.0);
    return ms;
}
