#pragma once
// Editing Ogg pages in tests: a page is "OggS", a 27-byte header whose last byte counts the
// segments, the segment sizes, then the body; its checksum covers the whole page with the
// checksum field (bytes 22..25) zeroed.
#include <cstddef>
#include <cstdint>
#include <string>

namespace audio_test {

// CRC-32 with the polynomial 0x04C11DB7, no reflection, starting at 0.
inline uint32_t OggChecksum(const char* bytes, size_t size) {
    uint32_t crc = 0;
    for (size_t n = 0; n < size; ++n) {
        crc ^= uint32_t(uint8_t(bytes[n])) << 24;
        for (int i = 0; i < 8; ++i) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

// Gives every whole page found in the bytes its correct checksum.
inline void FixOggChecksums(std::string& bytes) {
    for (size_t at = bytes.find("OggS"); at != std::string::npos; at = bytes.find("OggS", at + 4)) {
        if (at + 27 > bytes.size()) break;
        const size_t segments = uint8_t(bytes[at + 26]);
        if (at + 27 + segments > bytes.size()) break;
        size_t length = 27 + segments;
        for (size_t i = 0; i < segments; ++i) length += uint8_t(bytes[at + 27 + i]);
        if (at + length > bytes.size()) break;
        for (size_t i = 22; i < 26; ++i) bytes[at + i] = 0;
        const uint32_t crc = OggChecksum(bytes.data() + at, length);
        for (size_t i = 0; i < 4; ++i) bytes[at + 22 + i] = char((crc >> (8 * i)) & 0xFF);
    }
}

// Sets the granule position (the sample count so far) of the last page.
inline std::string WithLastGranule(std::string bytes, uint64_t granule) {
    const size_t at = bytes.rfind("OggS");
    for (size_t i = 0; i < 8; ++i) bytes[at + 6 + i] = char((granule >> (8 * i)) & 0xFF);
    FixOggChecksums(bytes);
    return bytes;
}

} // namespace audio_test
