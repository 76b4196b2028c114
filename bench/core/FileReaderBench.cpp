// Reads a 64 MiB file through FileReader in the mix of small reads the loaders make
// (bytes, words, floats, short strings, occasional skips and larger blocks).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/FileStream.h"

namespace {
const std::string& BigFile() {
    static std::string path = [] {
        std::string p = (std::filesystem::temp_directory_path() / "metrofare-bench-64m.bin").string();
        const size_t size = 64u << 20;
        if (!std::filesystem::exists(p) || std::filesystem::file_size(p) != size) {
            std::vector<unsigned char> block(1 << 20);
            for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 7 + (i >> 9));
            // Small strings every so often: a length of 6 followed by six bytes.
            for (size_t i = 0; i + 16 < block.size(); i += 64) {
                block[i] = 6; block[i + 1] = 0; block[i + 2] = 0; block[i + 3] = 0;
            }
            FILE* f = std::fopen(p.c_str(), "wb");
            for (size_t i = 0; i < size / block.size(); ++i) std::fwrite(block.data(), 1, block.size(), f);
            std::fclose(f);
        }
        return p;
    }();
    return path;
}
} // namespace

static void BM_FileReaderMixedSmallReads(benchmark::State& state) {
    const std::string& path = BigFile();
    for (auto _ : state) {
        FileReader r(SharedString(path.c_str()));
        uint64_t sum = 0;
        char block[256];
        int step = 0;
        while (r.Remaining() > 4096) {
            // One 64-byte record: a six-byte string, then a mix of fields.
            SharedString s = r.ReadString();
            sum += uint64_t(s.Length());
            sum += r.ReadU8();
            sum += r.ReadU16();
            sum += r.ReadU32();
            sum += uint64_t(r.ReadFloat());
            r.Read(block, 26);
            sum += uint8_t(block[3]);
            sum += r.ReadU32() + r.ReadU32() + r.ReadU32();
            r.Skip(5);
            if (++step % 1024 == 0) {
                r.Read(block, 256);
                r.Skip(-256);
            }
        }
        if (r.Failed()) state.SkipWithError("the reader refused the file");
        benchmark::DoNotOptimize(sum);
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * (64 << 20));
}
BENCHMARK(BM_FileReaderMixedSmallReads)->Unit(benchmark::kMillisecond);
