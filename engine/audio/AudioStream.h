#pragma once
// Decoded sound sources: a PCM format, a data size and a read that delivers little-endian PCM.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/FileStream.h"
#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"

struct SoundRequest;

struct PcmFormatRecord {
    uint16_t formatTag = 0;
    uint16_t channels = 0;
    uint32_t samplesPerSecond = 0;
    uint32_t avgBytesPerSecond = 0;
    uint16_t blockAlign = 0;
    uint16_t bitsPerSample = 0;
};

// A stream is also the source a streaming voice's refill thread reads from.
class AudioStream : public StreamSource {
public:
    static constexpr uint32_t kLoop = 0x80000000u;

    ~AudioStream() override = default;
    // Delivers up to `bytes` bytes; a looping stream restarts at the end of its data and fills
    // the whole request. Returns the bytes delivered (never negative).
    virtual int32_t Read(uint8_t* buffer, int32_t bytes) = 0;
    virtual int32_t Seek(int32_t argument) = 0;
    virtual void Rewind() = 0;

    uint32_t Fill(uint8_t* buffer, uint32_t bytes) override {
        int32_t n = Read(buffer, int32_t(std::min<uint32_t>(bytes, 0x7fffffffu)));
        return n > 0 ? uint32_t(n) : 0u;
    }

    // The rates a sound may have. A streaming voice's ring holds one second of its sound, so a
    // header with an absurd rate cannot ask for a huge ring.
    static constexpr uint32_t kMinRate = 1000;
    static constexpr uint32_t kMaxRate = 192000;

    // True when the mixers can play the format: 16-bit PCM, one or two channels, 1000..192000 Hz.
    bool IsMixable() const {
        return format.formatTag == 1 && format.bitsPerSample == 16 &&
               (format.channels == 1 || format.channels == 2) && format.samplesPerSecond >= kMinRate &&
               format.samplesPerSecond <= kMaxRate && format.blockAlign == format.channels * 2;
    }
    // True when the loader read the whole header and the mixers can play what it describes. A
    // stream that is not playable is never given a buffer sized from its header.
    bool IsPlayable() const { return headerComplete && IsMixable(); }

    uint32_t flags = 0;
    // Set by the loader once the whole header was read; a stream whose header failed keeps
    // whatever fields it got as far as reading and has no data.
    bool headerComplete = false;
    PcmFormatRecord format;
    uint32_t dataSize = 0;
};

// The stream's whole data, for a sound kept in memory: read once from where the stream stands to
// its end, without looping, never more than its data size and never more than it delivers (a
// header may claim more than the file holds). Memory grows with what is read.
std::vector<uint8_t> ReadWhole(AudioStream& stream);

// One second of silence: the sound of a missing file.
class DefaultSilenceStream final : public AudioStream {
public:
    DefaultSilenceStream();
    int32_t Read(uint8_t* buffer, int32_t bytes) override;
    int32_t Seek(int32_t) override { return 0; }
    void Rewind() override {}
};

// Uncompressed PCM in a RIFF container: "RIFF", "WAVE", a 16-byte "fmt " chunk, then "data".
class WavStream final : public AudioStream {
public:
    explicit WavStream(const SharedString& path);
    int32_t Read(uint8_t* buffer, int32_t bytes) override;
    int32_t Seek(int32_t) override { return 0; }
    void Rewind() override;

private:
    FileReader reader_;
    int32_t dataStart_ = 0;
    uint32_t position_ = 0;
};

namespace audiohal {
class VorbisDecoder;
}

// Ogg Vorbis through the platform's decoder, as signed 16-bit little-endian PCM.
class OggStream final : public AudioStream {
public:
    explicit OggStream(const SharedString& path);
    ~OggStream() override;
    int32_t Read(uint8_t* buffer, int32_t bytes) override;
    int32_t Seek(int32_t) override;
    void Rewind() override;

private:
    std::unique_ptr<audiohal::VorbisDecoder> decoder_;
};
