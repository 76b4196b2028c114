#pragma once
// Sound files for the demo tree and the tests: RIFF WAV (PCM) and Ogg Vorbis.
#include <cstdint>
#include <string>
#include <vector>

namespace tools {

// The bytes of a canonical 44-byte-header PCM WAV file holding `pcm` as its data.
std::string WavBytes(uint16_t channels, uint32_t rate, uint16_t bits, const std::string& pcm);
// Interleaved 16-bit samples as little-endian bytes.
std::string PcmBytes(const std::vector<int16_t>& samples);
bool WriteWav(const std::string& path, uint16_t channels, uint32_t rate, const std::vector<int16_t>& samples);
// Encodes interleaved 16-bit samples with libvorbisenc (VBR quality 0..1).
bool WriteOgg(const std::string& path, int channels, long rate, const std::vector<int16_t>& samples,
              float quality = 0.3f);

} // namespace tools
