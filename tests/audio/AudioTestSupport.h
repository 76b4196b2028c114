#pragma once
#include <string>
#include <vector>

#include "engine/audio/SoundFactory.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/AudioWriter.h"

namespace audio_test {

// Registers the loaders and the "Audio" directory once per process.
inline void SetUpFactory() {
    RegisterSoundLoaders();
    auto& dirs = SoundDirectories();
    if (dirs.empty()) dirs.push_back("Audio");
}

// `frames` frames of a constant value per channel.
inline std::vector<int16_t> Constant(size_t frames, std::vector<int16_t> perChannel) {
    std::vector<int16_t> s;
    s.reserve(frames * perChannel.size());
    for (size_t i = 0; i < frames; ++i) s.insert(s.end(), perChannel.begin(), perChannel.end());
    return s;
}

inline void WriteWav(const testing_support::TempWorkDir& dir, const std::string& relative, uint16_t channels,
                     uint32_t rate, const std::vector<int16_t>& samples) {
    dir.WriteBytes(relative, tools::WavBytes(channels, rate, 16, tools::PcmBytes(samples)));
}

} // namespace audio_test
