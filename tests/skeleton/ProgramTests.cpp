// Starts the real program, headless, and ends it the way a user or the system would.
#include <gtest/gtest.h>

#include <csignal>
#include <string>

#include "tests/support/ProgramRun.h"

namespace {

using testing_support::ProgramLog;
using testing_support::WaitForExit;
using testing_support::WaitForLog;

pid_t StartProgram(const std::vector<std::string>& args) { return testing_support::StartProgram(METROFARE_PROGRAM, args); }

TEST(Program, StartsHeadlessWithoutTheIntroAndEndsThroughACloseEvent) {
    testing_support::TempWorkDir dir;
    pid_t pid = StartProgram({"-m", "-w3"});
    ASSERT_GT(pid, 0);
    const bool looping = WaitForLog(dir, "ENGINE: Using ", std::chrono::seconds(60));
    // SIGTERM becomes the window's close message: the loop ends and the shut-down runs.
    kill(pid, SIGTERM);
    const int code = WaitForExit(pid, std::chrono::seconds(60));
    const std::string log = ProgramLog(dir);
    EXPECT_TRUE(looping) << log.substr(0, 4000);
    EXPECT_EQ(code, 0) << log.substr(0, 4000);
    EXPECT_NE(log.find("ENGINE: Windowing system inited"), std::string::npos);
    EXPECT_NE(log.find("Shutting down..."), std::string::npos);
}

TEST(Program, AnInterruptDuringTheStartUpStillEndsThroughTheShutDown) {
    testing_support::TempWorkDir dir;
    pid_t pid = StartProgram({"-M", "-W3"});
    ASSERT_GT(pid, 0);
    const bool started = WaitForLog(dir, "ENGINE: compiledate = ", std::chrono::seconds(60));
    kill(pid, SIGINT);
    const int code = WaitForExit(pid, std::chrono::seconds(60));
    const std::string log = ProgramLog(dir);
    EXPECT_TRUE(started) << log.substr(0, 4000);
    EXPECT_EQ(code, 0) << log.substr(0, 4000);
    EXPECT_NE(log.find("Shutting down..."), std::string::npos);
}

} // namespace
