#include "tests/support/TestSupport.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <unistd.h>

namespace testing_support {

TempWorkDir::TempWorkDir() {
    previous_ = std::filesystem::current_path().string();
    std::string tmpl = (std::filesystem::temp_directory_path() / "metrofare-test-XXXXXX").string();
    std::vector<char> buf(tmpl.begin(), tmpl.end());
    buf.push_back(0);
    if (!mkdtemp(buf.data())) std::abort();
    path_ = buf.data();
    std::filesystem::current_path(path_);
}

TempWorkDir::~TempWorkDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
}

void TempWorkDir::WriteBytes(const std::string& relative, const std::string& bytes) const {
    std::filesystem::path p = std::filesystem::path(path_) / relative;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary);
    out.write(bytes.data(), std::streamsize(bytes.size()));
}

std::string TempWorkDir::ReadBytes(const std::string& relative) const {
    std::ifstream in(std::filesystem::path(path_) / relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

LogCapture::LogCapture(int warningLevel) {
    name = "Test capture";
    Debugger::Instance().ResetForTests();
    Debugger::Instance().SetView(this, false);
    Debugger::Instance().SetWarningLevel(warningLevel);
    Clear();
}

LogCapture::~LogCapture() { Debugger::Instance().SetView(nullptr); }

void LogCapture::Print(const SharedString& line) {
    std::lock_guard<std::mutex> g(lock_);
    lines_.emplace_back(line.c_str(), size_t(line.Length()));
}

std::vector<std::string> LogCapture::Lines() {
    std::lock_guard<std::mutex> g(lock_);
    return lines_;
}

bool LogCapture::Contains(const std::string& text) {
    std::lock_guard<std::mutex> g(lock_);
    for (const auto& l : lines_)
        if (l.find(text) != std::string::npos) return true;
    return false;
}

void LogCapture::Clear() {
    std::lock_guard<std::mutex> g(lock_);
    lines_.clear();
}

} // namespace testing_support
