// The real program, headless, with an intro to play: on the demo tree it plays "Intro.AVI" and
// goes on to the main menu, "-M" skips it, and SIGTERM (the close message) during the intro
// ends the program in order.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tests/support/ProgramRun.h"
#include "tools/writers/ClipWriter.h"

using namespace testing_support;

namespace {

constexpr std::chrono::seconds kLimit(90);

}  // namespace

TEST(IntroProgram, PlaysTheDemoIntroThenReachesTheMainMenuAndMSkipsIt) {
    TempWorkDir dir;
    ASSERT_EQ(WaitForExit(StartProgram(METROFARE_DEMO, {"."}), kLimit), 0) << dir.ReadBytes("out.txt");
    for (bool skip : {false, true}) {
        SCOPED_TRACE(skip ? "-M" : "intro");
        std::remove("zkConsole.log");
        const pid_t pid = StartProgram(METROFARE_PROGRAM, skip ? std::vector<std::string>{"-M", "-W3"}
                                                                : std::vector<std::string>{"-W3"});
        ASSERT_GT(pid, 0);
        const bool reached = WaitForLog(dir, "ENGINE: Using Main for ", kLimit);
        kill(pid, SIGTERM);
        const int code = WaitForExit(pid, kLimit);
        const std::string log = ProgramLog(dir);
        EXPECT_TRUE(reached) << log.substr(0, 4000);
        EXPECT_EQ(code, 0) << log.substr(0, 4000);
        const size_t played = log.find("INTROMOVIE: Intro.AVI played, 75 pictures");
        if (skip) {
            EXPECT_EQ(log.find("INTROMOVIE:"), std::string::npos);
        } else {
            EXPECT_NE(log.find("INTROMOVIE: Playing Intro.AVI, 640 x 480, sound at 22050 Hz"), std::string::npos);
            ASSERT_NE(played, std::string::npos) << log.substr(0, 4000);
            EXPECT_LT(played, log.find("ENGINE: Using Main for "));
        }
    }
}

TEST(IntroProgram, SigtermDuringTheIntroEndsTheProgramInOrder) {
    TempWorkDir dir;
    // Five minutes of small pictures: still playing when the signal comes, however loaded the machine.
    tools::ClipDescription clip;
    clip.framesPerSecond = 1;
    clip.frameCount = 300;
    clip.paint = [](int32_t index, uint32_t* argb) { std::fill(argb, argb + 64 * 48, 0xFF000000u | uint32_t(index)); };
    ASSERT_TRUE(tools::WriteClip("Intro.AVI", clip));
    const pid_t pid = StartProgram(METROFARE_PROGRAM, {"-W3"});
    ASSERT_GT(pid, 0);
    const bool playing = WaitForLog(dir, "INTROMOVIE: Playing Intro.AVI", kLimit);
    kill(pid, SIGTERM);
    const int code = WaitForExit(pid, kLimit);
    const std::string log = ProgramLog(dir);
    EXPECT_TRUE(playing) << log.substr(0, 4000);
    EXPECT_EQ(code, 0) << log.substr(0, 4000);
    EXPECT_NE(log.find("INTROMOVIE: Intro.AVI stopped after"), std::string::npos) << log.substr(0, 4000);
    EXPECT_NE(log.find("Shutting down..."), std::string::npos);
}
