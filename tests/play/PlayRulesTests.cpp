// The play library's small rules, each a table: the clock text, the console's argument forms,
// the career's advance, the destination marker's spin.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "game/play/CareerProgress.h"
#include "game/play/ConsoleArguments.h"
#include "game/play/DestinationMarker.h"
#include "game/play/FormatClock.h"

TEST(PlayRules, ClockText) {
    const struct {
        float seconds;
        const char* text;
    } cases[] = {{65.0f, "1:05"}, {600.0f, "10:00"}, {59.99f, "0:59"}, {-1.0f, "0:00"}, {0.0f, "0:00"},
                 {9.5f, "0:09"}, {3599.0f, "59:59"}};
    for (const auto& c : cases) EXPECT_EQ(FormatClock(c.seconds), c.text) << c.seconds;
    EXPECT_EQ(FormatClock(std::numeric_limits<float>::quiet_NaN()), "0:00");
}

TEST(PlayRules, ConsoleArguments) {
    using namespace console_arguments;
    const struct {
        const char* argument;
        bool from;
        bool to;
    } toggles[] = {{"", false, true}, {"", true, false}, {" 1", false, true}, {"  1", true, true},
                   {" 0", true, false}, {"0", false, false}, {"x", false, true}, {"x", true, false},
                   {" ", true, false}};
    for (const auto& t : toggles) EXPECT_EQ(Toggle(SharedString(t.argument), t.from), t.to) << "'" << t.argument << "'";

    const struct {
        const char* argument;
        int32_t value;
    } ints[] = {{"", 0}, {" 12", 12}, {"-3", -3}, {"7x", 7}, {"x7", 0}, {" +4", 4}};
    for (const auto& i : ints) EXPECT_EQ(Integer(SharedString(i.argument)), i.value) << i.argument;

    const struct {
        const char* argument;
        float value;
    } floats[] = {{"", 0.0f}, {" 0.5", 0.5f}, {"-2.25", -2.25f}, {"3", 3.0f}, {"abc", 0.0f}};
    for (const auto& f : floats) EXPECT_FLOAT_EQ(Float(SharedString(f.argument)), f.value) << f.argument;
}

TEST(PlayRules, CareerAdvance) {
    const struct {
        CareerProgress before;
        CareerProgress after;
    } cases[] = {
        // The last mission of an episode leads to the next episode and raises the furthest values.
        {{1, 3, 1, 3}, {2, 0, 2, 0}},
        // Within the furthest episode a mission beyond the furthest raises it.
        {{1, 1, 1, 1}, {1, 2, 1, 2}},
        // Replaying below the furthest point leaves it alone.
        {{0, 1, 2, 3}, {0, 2, 2, 3}},
        {{2, 0, 2, 3}, {2, 1, 2, 3}},
        {{0, 3, 0, 3}, {1, 0, 1, 0}},
    };
    for (const auto& c : cases) {
        CareerProgress p = c.before;
        p.Advance();
        EXPECT_EQ(p.currentEpisode, c.after.currentEpisode);
        EXPECT_EQ(p.currentMission, c.after.currentMission);
        EXPECT_EQ(p.furthestEpisode, c.after.furthestEpisode);
        EXPECT_EQ(p.furthestMission, c.after.furthestMission);
    }
}

TEST(PlayRules, DestinationMarkerSpinsWithoutWrappingAndStandsAtItsPosition) {
    DestinationMarker marker(nullptr);
    const struct {
        float dt, angle;
    } steps[] = {{1.0f, 3.0f}, {0.5f, 4.5f}, {10.0f, 34.5f}, {0.0f, 34.5f}};
    for (const auto& s : steps) {
        marker.Update(s.dt);
        EXPECT_FLOAT_EQ(marker.angle, s.angle) << s.dt;
    }
    marker.angle = HalfPi;
    marker.SetPosition(Vector3(5, 6, 7));
    const Matrix4 m = marker.WorldMatrix();
    const Vector3 centre = m.TransformCoord(Vector3());
    const Vector3 side = m.TransformNormal(Vector3(1, 0, 0));
    EXPECT_NEAR((centre - Vector3(5, 6, 7)).Length(), 0.0f, 1e-5f);
    EXPECT_NEAR(side.y, 0.0f, 1e-6f) << "turned about the vertical axis only";
    EXPECT_NEAR(std::fabs(side.z), 1.0f, 1e-6f);
}
