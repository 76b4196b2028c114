#include "platform/sys/Clock.h"

#include <atomic>
#include <ctime>

namespace plat {
namespace {

class MonotonicClock final : public ClockSource {
public:
    int64_t Frequency() override { return 1000000000LL; }
    int64_t Counter() override {
        timespec ts{};
        clock_gettime(CLOCK_MONOTONIC, &ts);
        return int64_t(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
    }
    uint32_t Milliseconds() override { return uint32_t(Counter() / 1000000LL); }
};

std::atomic<ClockSource*> g_source{nullptr};

} // namespace

ClockSource& SystemClock() {
    static MonotonicClock clock;
    return clock;
}

void SetClockSource(ClockSource* source) { g_source.store(source); }

ClockSource& CurrentClock() {
    ClockSource* s = g_source.load();
    return s ? *s : SystemClock();
}

} // namespace plat
