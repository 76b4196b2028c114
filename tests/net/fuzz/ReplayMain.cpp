// Replays a fuzz corpus through the message readers: every file of every directory given.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/net/fuzz/NetMessageFuzz.h"

int main(int argc, char** argv) {
    size_t files = 0;
    for (int i = 1; i < argc; ++i) {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(argv[i], ec)) {
            if (!entry.is_regular_file()) continue;
            std::ifstream in(entry.path(), std::ios::binary);
            std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
            FuzzNetMessage(bytes.data(), bytes.size());
            ++files;
        }
        if (ec) {
            std::fprintf(stderr, "cannot read corpus %s\n", argv[i]);
            return 1;
        }
    }
    std::printf("replayed %zu inputs\n", files);
    return files > 0 ? 0 : 1;
}
