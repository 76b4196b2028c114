#pragma once
// Ogg Vorbis files decoded to signed 16-bit little-endian interleaved PCM. The engine's OGG
// stream reads through this; nothing above the platform layer sees the codec library.
#include <cstdint>
#include <cstdio>
#include <memory>

namespace audiohal {

class VorbisDecoder {
public:
    // What Read returns besides a byte count.
    static constexpr long kEnd = 0;     // the end of the data
    static constexpr long kGap = -1;    // a gap in the data: decoding goes on after it
    static constexpr long kDamaged = -2; // the stream cannot be decoded further

    // Takes the file (it is closed with the decoder, or at once when it is not Ogg Vorbis);
    // null when the file is not a valid Ogg Vorbis stream.
    static std::unique_ptr<VorbisDecoder> Open(std::FILE* file);
    ~VorbisDecoder();
    VorbisDecoder(const VorbisDecoder&) = delete;
    VorbisDecoder& operator=(const VorbisDecoder&) = delete;

    uint16_t Channels() const { return channels_; }
    uint32_t Rate() const { return rate_; }
    // The length of the whole file in frames as its pages state it (0 when unknown).
    uint64_t Frames() const { return frames_; }

    // Decodes up to `bytes` bytes (whole frames) into `out`: a count above 0, or one of the
    // results above.
    long Read(uint8_t* out, int bytes);
    // Back to the first frame.
    void Rewind();

private:
    struct State;
    explicit VorbisDecoder(std::unique_ptr<State> state);
    std::unique_ptr<State> state_;
    uint16_t channels_ = 0;
    uint32_t rate_ = 0;
    uint64_t frames_ = 0;
    int bitstream_ = 0;
};

} // namespace audiohal
