// Writes the OGG reader's seeds with the project's own Ogg Vorbis writer.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/AudioWriter.h"

namespace {
std::vector<int16_t> Chirp(size_t frames, int channels) {
    std::vector<int16_t> s;
    for (size_t i = 0; i < frames; ++i) {
        const double t = double(i) / 22050.0;
        const auto v = int16_t(9000.0 * std::sin(6.283185307179586 * (200.0 + 400.0 * t) * t));
        for (int c = 0; c < channels; ++c) s.push_back(c == 0 ? v : int16_t(-v));
    }
    return s;
}
} // namespace

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    const std::filesystem::path scratch = seeds.Path() / "writing.ogg.tmp";
    const auto write = [&](const char* name, int channels, long rate, const std::vector<int16_t>& samples) {
        if (!tools::WriteOgg(scratch.string(), channels, rate, samples)) {
            std::fprintf(stderr, "seeds: cannot encode %s\n", name);
            std::exit(1);
        }
        seeds.CopyFile(name, scratch);
    };
    write("mono_22050", 1, 22050, Chirp(6615, 1));
    write("stereo_44100", 2, 44100, Chirp(8820, 2));
    write("short", 1, 11025, Chirp(100, 1));
    write("silence", 1, 22050, std::vector<int16_t>(22050, 0));
    std::filesystem::remove(scratch);
    return 0;
}
