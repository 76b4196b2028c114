#pragma once
// A virtual X display (Xvfb) of the game's 800 x 600 mode for a test's life, and keys sent to a
// program's window on it through xdotool, as a player would press them. Every wait is bounded;
// whatever is started here is ended by its process id.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

// True when the program can be found on the PATH.
inline bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::string dirs = path ? path : "";
    size_t start = 0;
    while (start <= dirs.size()) {
        const size_t end = std::min(dirs.find(':', start), dirs.size());
        const std::string candidate = dirs.substr(start, end - start) + "/" + program;
        if (access(candidate.c_str(), X_OK) == 0) return true;
        start = end + 1;
    }
    return false;
}

// Runs a program to its end (killed after `limit`) and returns its exit status, -1 on a kill;
// its standard output goes to `out` when given.
inline int RunTool(const std::vector<std::string>& args, std::string* out = nullptr,
                   std::chrono::seconds limit = std::chrono::seconds(20)) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const pid_t pid = fork();
    if (pid == 0) {
        dup2(fds[1], 1);
        const int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        close(fds[0]);
        std::vector<char*> argv;
        for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(fds[1]);
    fcntl(fds[0], F_SETFL, O_NONBLOCK);
    const auto end = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        char buffer[256];
        ssize_t n;
        while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
            if (out) out->append(buffer, size_t(n));
        const pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) break;
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            close(fds[0]);
            return -1;
        }
        pollfd p{fds[0], POLLIN, 0};
        poll(&p, 1, 20);
    }
    char buffer[256];
    ssize_t n;
    while ((n = read(fds[0], buffer, sizeof buffer)) > 0)
        if (out) out->append(buffer, size_t(n));
    close(fds[0]);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class VirtualDisplay {
public:
    VirtualDisplay() {
        if (!OnPath("Xvfb") || !OnPath("xdotool")) return;
        int fds[2];
        if (pipe(fds) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            // A session of its own: a signal for the test's process group does not reach it.
            setsid();
            const int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
                dup2(null, 2);
            }
            // Xvfb picks a free display and writes its number to descriptor 3 once it accepts
            // connections.
            dup2(fds[1], 3);
            execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", "800x600x24", "-nolisten", "tcp",
                   static_cast<char*>(nullptr));
            _exit(127);
        }
        close(fds[1]);
        std::string number;
        pollfd p{fds[0], POLLIN, 0};
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (std::chrono::steady_clock::now() < end && number.find('\n') == std::string::npos) {
            if (poll(&p, 1, 100) <= 0) continue;
            char c[16];
            const ssize_t n = read(fds[0], c, sizeof c);
            if (n <= 0) break;
            number.append(c, size_t(n));
        }
        close(fds[0]);
        while (!number.empty() && (number.back() == '\n' || number.back() == '\r')) number.pop_back();
        if (!number.empty()) name_ = ":" + number;
    }
    ~VirtualDisplay() {
        if (pid_ <= 0) return;
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // Empty when no display could be started (Xvfb or xdotool missing).
    const std::string& Name() const { return name_; }

    // Gives the keyboard to the visible window of the process; false when it has none in time.
    bool Focus(pid_t program) const {
        std::string windows;
        RunTool({"env", "DISPLAY=" + name_, "xdotool", "search", "--sync", "--onlyvisible", "--pid",
                 std::to_string(program)},
                &windows);
        const std::string window = windows.substr(0, windows.find('\n'));
        if (window.empty()) return false;
        return RunTool({"env", "DISPLAY=" + name_, "xdotool", "windowfocus", "--sync", window}) == 0 &&
               RunTool({"env", "DISPLAY=" + name_, "xdotool", "mousemove", "--window", window, "400", "300"}) == 0;
    }
    // Presses and releases a key (an X key name: "Pause", "Return", "Escape", "Up").
    bool Key(const std::string& key) const {
        return RunTool({"env", "DISPLAY=" + name_, "xdotool", "key", "--clearmodifiers", key}) == 0;
    }

private:
    pid_t pid_ = -1;
    std::string name_;
};

} // namespace testing_support
