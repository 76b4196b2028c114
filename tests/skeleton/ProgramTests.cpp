// Starts the real program, headless, and ends it the way a user or the system would.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

#include "tests/support/TestSupport.h"

namespace {

using Clock = std::chrono::steady_clock;

// Runs the program in the working directory with its output in "out.txt".
pid_t StartProgram(const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    int fd = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>("metrofare"));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(METROFARE_PROGRAM, argv.data());
    _exit(127);
}

// Exit status, or -1 when the program did not end in time (it is then killed).
int WaitForExit(pid_t pid, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    int status = 0;
    while (Clock::now() < end) {
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return -1;
}

// The program's log: the console writes "zkConsole.log"; a build without it writes to the
// standard error stream.
std::string ProgramLog(const testing_support::TempWorkDir& dir) {
    std::string log;
    if (access("zkConsole.log", R_OK) == 0) log += dir.ReadBytes("zkConsole.log");
    log += dir.ReadBytes("out.txt");
    return log;
}

bool WaitForLog(const testing_support::TempWorkDir& dir, const std::string& text, std::chrono::seconds limit) {
    const auto end = Clock::now() + limit;
    while (Clock::now() < end) {
        if (ProgramLog(dir).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

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
