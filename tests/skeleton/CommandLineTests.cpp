#include <gtest/gtest.h>

#include "engine/core/StartUp.h"

namespace {

struct Case {
    const char* line;
    bool fullScreen;
    bool frontEndOption;
    const char* language;
    bool playIntro;
    bool useDefaultRefresh;
    bool sound;
    int32_t displayDevice;
    int32_t warningLevel;
};

// Defaults: full screen, no -J, no language, intro, default refresh, sound, device -1, level 0.
const Case kCases[] = {
    {"", true, false, "", true, true, true, -1, 0},
    {"-F", false, false, "", true, true, true, -1, 0},
    {"-f -F", true, false, "", true, true, true, -1, 0},
    {"-j -m -s", true, true, "", false, true, false, -1, 0},
    {"-W9", true, false, "", true, true, true, -1, 3},
    {"-W2", true, false, "", true, true, true, -1, 2},
    {"-W", true, false, "", true, true, true, -1, 0},       // trailing: nothing behind it is read
    {"-w/", true, false, "", true, true, true, -1, 0},      // below '0' clamps to 0
    {"-V", true, false, "", true, true, true, -1, 0},
    {"-V2", true, false, "", true, true, true, 2, 0},
    {"-v9", true, false, "", true, true, true, 9, 0},       // no upper clamp
    {"-V*", true, false, "", true, true, true, -1, 0},      // '*' - '0' is below -1
    {"-l english -m", true, false, "ENGLISH", false, true, true, -1, 0},
    {"-L", true, false, "", true, true, true, -1, 0},
    {"-L ", true, false, "", true, true, true, -1, 0},
    {"-L -M", true, false, "", false, true, true, -1, 0},
    {"-Lxdeutsch-F", false, false, "DEUTSCH", true, true, true, -1, 0},
    {"-R", true, false, "", true, false, true, -1, 0},
    {"-RM", true, false, "", true, false, true, -1, 0},     // R consumes the character behind it
    {"-R-M -Q -A -Z", true, false, "", true, false, true, -1, 0}, // the consumed '-' hides M
    {"-W3 -V1 -L english", true, false, "ENGLISH", true, true, true, 1, 3},
    {"-", true, false, "", true, true, true, -1, 0},
    {"m f", true, false, "", true, true, true, -1, 0},      // letters without '-' are not switches
};

TEST(CommandLine, ParsesTheSwitchTable) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(std::string("line \"") + c.line + "\"");
        StartUpOptions o = ParseCommandLine(SharedString(c.line));
        EXPECT_EQ(o.fullScreen, c.fullScreen);
        EXPECT_EQ(o.frontEndOption, c.frontEndOption);
        EXPECT_STREQ(o.language.c_str(), c.language);
        EXPECT_EQ(o.playIntro, c.playIntro);
        EXPECT_EQ(o.useDefaultRefresh, c.useDefaultRefresh);
        EXPECT_EQ(o.sound, c.sound);
        EXPECT_EQ(o.displayDevice, c.displayDevice);
        EXPECT_EQ(o.warningLevel, c.warningLevel);
    }
}

TEST(CommandLine, LeavesTheCallersTextAlone) {
    SharedString line("-l english");
    ParseCommandLine(line);
    EXPECT_STREQ(line.c_str(), "-l english");
}

} // namespace
