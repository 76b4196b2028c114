#pragma once
// Helpers shared by fuzz targets and their seed writers.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "engine/core/Debugger.h"

namespace fuzz_support {

// Readers log every refused input; under a fuzzer nobody reads those lines and, without a view,
// the log would queue them for the whole run. Call at the top of LLVMFuzzerTestOneInput.
inline void DiscardLog() {
    struct Discard final : DebuggerView {
        void Print(const SharedString&) override {}
    };
    static Discard view;
    if (Debugger::Instance().GetView() != &view) Debugger::Instance().SetView(&view);
}

// A file of the process's own scratch directory, for readers that take a path: each input is
// written to it before the reader opens it. The directory goes when the process ends normally.
class ScratchFile {
public:
    explicit ScratchFile(const std::string& name) {
        std::string pattern = (std::filesystem::temp_directory_path() / "metrofare-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) std::abort();
        dir_ = pattern;
        path_ = (dir_ / name).string();
    }
    ~ScratchFile() {
        std::error_code ec;
        std::filesystem::remove_all(dir_, ec);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    // Replaces the file's content with the input.
    const std::string& Write(const uint8_t* data, size_t size) const {
        std::FILE* f = std::fopen(path_.c_str(), "wb");
        if (!f || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) std::abort();
        return path_;
    }
    const std::string& Path() const { return path_; }

private:
    std::filesystem::path dir_;
    std::string path_;
};

// Ends the run as a crash when a property of the reader does not hold.
inline void Check(bool condition) {
    if (!condition) std::abort();
}

// Seed writer programs take one argument, the directory to write into (created if missing).
// Seeds keep fixed names, so writing them again over a corpus refreshes them in place.
class SeedDir {
public:
    SeedDir(int argc, char** argv) {
        if (argc != 2) {
            std::fprintf(stderr, "usage: %s DIR\n", argc > 0 ? argv[0] : "seeds");
            std::exit(2);
        }
        dir_ = argv[1];
        std::error_code ec;
        std::filesystem::create_directories(dir_, ec);
        if (ec) Fail("cannot create " + dir_.string());
    }
    // Writes one seed; any failure ends the program with a non-zero status.
    void Write(const std::string& name, const void* data, size_t size) const {
        std::ofstream out(dir_ / ("seed-" + name), std::ios::binary | std::ios::trunc);
        out.write(static_cast<const char*>(data), std::streamsize(size));
        if (!out) Fail("cannot write seed " + name);
    }
    void Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
        Write(name, bytes.data(), bytes.size());
    }
    void Write(const std::string& name, const std::string& bytes) const { Write(name, bytes.data(), bytes.size()); }
    // A seed taken from a file another writer made (for writers that only write to paths).
    void CopyFile(const std::string& name, const std::filesystem::path& from) const {
        std::ifstream in(from, std::ios::binary);
        if (!in) Fail("cannot read " + from.string());
        Write(name, std::string(std::istreambuf_iterator<char>(in), {}));
    }
    const std::filesystem::path& Path() const { return dir_; }

private:
    [[noreturn]] static void Fail(const std::string& what) {
        std::fprintf(stderr, "seeds: %s\n", what.c_str());
        std::exit(1);
    }
    std::filesystem::path dir_;
};

} // namespace fuzz_support
