// Runs fuzz inputs through a target's LLVMFuzzerTestOneInput without the fuzzer runtime, so the
// build's own compiler and sanitizers replay the committed corpus on every test run.
//   <target>_replay PATH...   (a directory means every regular file in it, in name order)
#include <algorithm>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

extern "C" __attribute__((weak)) const char* __asan_default_options() {
    // Reader code runs in a loop over thousands of inputs; keep going for huge requests the
    // reader is expected to refuse.
    return "allocator_may_return_null=1";
}
extern "C" __attribute__((weak)) const char* __ubsan_default_options() { return "print_stacktrace=1"; }

namespace {

// The input being replayed, kept where a dying process can still print it.
char g_current[4096] = "";

void TellCurrent() {
    const char prefix[] = "\nreplay: failed on input ";
    ssize_t ignored = write(2, prefix, sizeof prefix - 1);
    ignored = write(2, g_current, std::strlen(g_current));
    ignored = write(2, "\n", 1);
    (void)ignored;
}

void OnAbort(int signal) {
    TellCurrent();
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

bool Replay(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        std::fprintf(stderr, "replay: cannot read %s\n", file.c_str());
        return false;
    }
    std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::snprintf(g_current, sizeof g_current, "%s", file.c_str());
    // A copy of exactly the input's size, so an overread shows up under the address sanitizer.
    std::unique_ptr<uint8_t[]> exact(new uint8_t[std::max<size_t>(bytes.size(), 1)]);
    std::copy(bytes.begin(), bytes.end(), exact.get());
    LLVMFuzzerTestOneInput(exact.get(), bytes.size());
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s CORPUS_DIR_OR_FILE...\n", argv[0]);
        return 2;
    }
    if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
    if (__sanitizer_set_death_callback) __sanitizer_set_death_callback(TellCurrent);
    std::signal(SIGABRT, OnAbort);

    size_t inputs = 0;
    for (int i = 1; i < argc; ++i) {
        const std::filesystem::path path(argv[i]);
        std::error_code ec;
        if (std::filesystem::is_regular_file(path, ec)) {
            if (!Replay(path)) return 1;
            ++inputs;
            continue;
        }
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(path, ec))
            if (entry.is_regular_file()) files.push_back(entry.path());
        if (ec) {
            std::fprintf(stderr, "replay: cannot read %s: %s\n", argv[i], ec.message().c_str());
            return 1;
        }
        std::sort(files.begin(), files.end());
        for (const auto& f : files) {
            if (!Replay(f)) return 1;
            ++inputs;
        }
    }
    std::printf("replayed %zu inputs\n", inputs);
    // An empty corpus tests nothing: treat it as a broken set-up.
    return inputs > 0 ? 0 : 1;
}
