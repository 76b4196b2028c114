#pragma once
#include <string>
#include <vector>

#include "engine/core/Debugger.h"

namespace testing_support {

// Makes a fresh temporary directory and makes it the working directory for the test's
// life; the previous working directory is restored and the directory removed afterwards.
class TempWorkDir {
public:
    TempWorkDir();
    ~TempWorkDir();
    const std::string& Path() const { return path_; }
    // Writes raw bytes to a path relative to the directory (creating folders).
    void WriteBytes(const std::string& relative, const std::string& bytes) const;
    std::string ReadBytes(const std::string& relative) const;

private:
    std::string path_;
    std::string previous_;
};

// Collects every log line while alive (installed as the Debugger's view).
class LogCapture : public DebuggerView {
public:
    explicit LogCapture(int warningLevel = 3);
    ~LogCapture() override;
    void Print(const SharedString& line) override;
    std::vector<std::string> Lines();
    bool Contains(const std::string& text);
    void Clear();

private:
    std::mutex lock_;
    std::vector<std::string> lines_;
};

} // namespace testing_support
