#include <gtest/gtest.h>

#include "engine/core/Timer.h"
#include "platform/sys/Clock.h"
#include "tests/support/TestSupport.h"

namespace {
struct ScriptedClock : plat::ClockSource {
    int64_t frequency = 1000000;
    int64_t counter = 0;
    uint32_t ms = 0;
    int64_t Frequency() override { return frequency; }
    int64_t Counter() override { return counter; }
    uint32_t Milliseconds() override { return ms; }
    void Advance(uint32_t milliseconds, int64_t counts) {
        ms += milliseconds;
        counter += counts;
    }
};
struct ClockScope {
    explicit ClockScope(plat::ClockSource* c) { plat::SetClockSource(c); }
    ~ClockScope() { plat::SetClockSource(nullptr); }
};
} // namespace

TEST(Timer, PrefersTheCounterAndFallsBackOnDisagreement) {
    testing_support::LogCapture log(3);
    ScriptedClock clock;
    ClockScope scope(&clock);
    Timer t;
    t.Start();
    clock.Advance(100, 100123);
    EXPECT_NEAR(t.Elapsed(), 0.100123f, 1e-6f);
    EXPECT_TRUE(log.Lines().empty());

    clock.Advance(10, 80000); // counter says 80 ms, the millisecond clock 10 ms
    EXPECT_NEAR(t.Elapsed(), 0.010f, 1e-6f);
    EXPECT_TRUE(log.Contains("TIMER: Precision failure. Difference is 70.00ms"));

    clock.Advance(20, 20000); // the next reading starts from the new counter value
    EXPECT_NEAR(t.Elapsed(), 0.020f, 1e-6f);
}

TEST(Timer, WithoutACounterReadsTheMillisecondClockAcrossItsWrap) {
    ScriptedClock clock;
    clock.frequency = 0;
    clock.ms = 0xFFFFFFF0u;
    ClockScope scope(&clock);
    Timer t;
    t.Start();
    clock.Advance(0x20, 999999999);
    EXPECT_NEAR(t.Elapsed(), 0.032f, 1e-6f);
}

TEST(Timer, RealClockMeasuresASleep) {
    Timer t;
    t.Start();
    SleepSeconds(0.02f);
    EXPECT_GE(t.Elapsed(), 0.019f);
}
