#pragma once
// What the process writes to its standard error stream while one of these lives (libraries'
// own lines included): the stream goes to a file and comes back when it is destroyed.
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <unistd.h>

namespace testing_support {

class StderrCapture {
public:
    StderrCapture() {
        std::fflush(stderr);
        std::snprintf(path_, sizeof(path_), "/tmp/metrofare-stderr-XXXXXX");
        file_ = mkstemp(path_);
        saved_ = dup(2);
        if (file_ >= 0 && saved_ >= 0) dup2(file_, 2);
    }
    ~StderrCapture() {
        Restore();
        if (file_ >= 0) close(file_);
        unlink(path_);
    }
    StderrCapture(const StderrCapture&) = delete;
    StderrCapture& operator=(const StderrCapture&) = delete;

    // Everything written so far.
    std::string Text() {
        std::fflush(stderr);
        std::string text;
        if (file_ < 0) return text;
        char buffer[4096];
        for (off_t at = 0;;) {
            const ssize_t n = pread(file_, buffer, sizeof(buffer), at);
            if (n <= 0) break;
            text.append(buffer, size_t(n));
            at += n;
        }
        return text;
    }

private:
    void Restore() {
        std::fflush(stderr);
        if (saved_ >= 0) {
            dup2(saved_, 2);
            close(saved_);
            saved_ = -1;
        }
    }

    char path_[64] = {};
    int file_ = -1;
    int saved_ = -1;
};

} // namespace testing_support
