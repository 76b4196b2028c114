#pragma once
// Runs a program of the build in the working directory, headless, and reads what it logged.
// Every wait is bounded; a program that does not end in time is killed.
#include <chrono>
#include <fcntl.h>
#include <signal.h>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include "tests/support/TestSupport.h"

namespace testing_support {

// Starts `program` with `args`; its output goes to "out.txt" in the working directory.
inline pid_t StartProgram(const char* program, const std::vector<std::string>& args) {
    pid_t pid = fork();
    if (pid != 0) return pid;
    int fd = open("out.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd >= 0) {
        dup2(fd, 1);
        dup2(fd, 2);
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program));
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(program, argv.data());
    _exit(127);
}

// Exit status, or -1 when the program did not end in time (it is then killed).
inline int WaitForExit(pid_t pid, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (std::chrono::steady_clock::now() < end) {
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
inline std::string ProgramLog(const TempWorkDir& dir) {
    std::string log;
    if (access("zkConsole.log", R_OK) == 0) log += dir.ReadBytes("zkConsole.log");
    log += dir.ReadBytes("out.txt");
    return log;
}

inline bool WaitForLog(const TempWorkDir& dir, const std::string& text, std::chrono::seconds limit) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < end) {
        if (ProgramLog(dir).find(text) != std::string::npos) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
}

} // namespace testing_support
