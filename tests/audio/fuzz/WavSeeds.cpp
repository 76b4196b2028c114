// Writes the WAV reader's seeds with the project's own WAV writer.
#include <cmath>
#include <cstdint>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/AudioWriter.h"

namespace {
std::vector<int16_t> Tone(size_t samples) {
    std::vector<int16_t> s(samples);
    for (size_t i = 0; i < samples; ++i) s[i] = int16_t(9000.0 * std::sin(double(i) * 0.21));
    return s;
}
} // namespace

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    seeds.Write("mono_22050", tools::WavBytes(1, 22050, 16, tools::PcmBytes(Tone(300))));
    seeds.Write("stereo_44100", tools::WavBytes(2, 44100, 16, tools::PcmBytes(Tone(400))));
    seeds.Write("stereo_192000", tools::WavBytes(2, 192000, 16, tools::PcmBytes(Tone(64))));
    seeds.Write("mono_1000", tools::WavBytes(1, 1000, 16, tools::PcmBytes(Tone(10))));
    seeds.Write("one_frame", tools::WavBytes(1, 11025, 16, tools::PcmBytes({1234})));
    seeds.Write("no_samples", tools::WavBytes(2, 22050, 16, ""));
    seeds.Write("eight_bit", tools::WavBytes(1, 8000, 8, std::string(64, char(0x80))));
    return 0;
}
