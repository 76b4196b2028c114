#include "engine/audio/AudioStream.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Debugger.h"
#include "platform/sound/VorbisDecoder.h"
#include "platform/sys/Paths.h"

DefaultSilenceStream::DefaultSilenceStream() {
    format = {1, 1, 22050, 44100, 2, 16};
    dataSize = 44100;
    headerComplete = true;
}

int32_t DefaultSilenceStream::Read(uint8_t* buffer, int32_t bytes) {
    if (bytes <= 0) return 0;
    std::memset(buffer, 0, size_t(bytes));
    return bytes;
}

std::vector<uint8_t> ReadWhole(AudioStream& stream) {
    constexpr uint32_t kFirst = 1u << 20; // then the buffer doubles
    std::vector<uint8_t> data;
    const uint32_t flags = stream.flags;
    stream.flags &= ~AudioStream::kLoop; // the end of the data ends the read
    while (data.size() < stream.dataSize) {
        const size_t at = data.size();
        const size_t want = std::min<size_t>(stream.dataSize - at, std::max<size_t>(at, kFirst));
        data.resize(at + want);
        const int32_t got = stream.Read(data.data() + at, int32_t(want));
        data.resize(at + size_t(std::clamp<int32_t>(got, 0, int32_t(want))));
        if (size_t(got) < want) break;
    }
    stream.flags = flags;
    return data;
}

// ---------------------------------------------------------------------------------------------

namespace {
bool ReadTag(FileReader& r, const char* tag) {
    char got[4] = {};
    r.Read(got, 4);
    return std::memcmp(got, tag, 4) == 0;
}
} // namespace

WavStream::WavStream(const SharedString& path) : reader_(path) {
    const char* name = path.c_str();
    auto& log = Debugger::Instance();
    if (!ReadTag(reader_, "RIFF")) { log.Message("%s is not an audiofile", name); return; }
    reader_.ReadU32();
    if (!ReadTag(reader_, "WAVE")) { log.Message("%s is not a wave file", name); return; }
    if (!ReadTag(reader_, "fmt ")) { log.Message("%s has no header", name); return; }
    if (reader_.ReadU32() != 16) { log.Message("%s has an invalid header", name); return; }
    format.formatTag = reader_.ReadU16();
    if (format.formatTag != 1) { log.Message("%s doesn't have PCM encoding", name); return; }
    format.channels = reader_.ReadU16();
    format.samplesPerSecond = reader_.ReadU32();
    format.avgBytesPerSecond = reader_.ReadU32();
    format.blockAlign = reader_.ReadU16();
    format.bitsPerSample = reader_.ReadU16();
    if (!ReadTag(reader_, "data")) { log.Message("%s has no data", name); return; }
    uint32_t size = reader_.ReadU32();
    dataStart_ = reader_.Position();
    // A size beyond the file's end would allocate (and play) bytes that are not there.
    const uint32_t remaining = uint32_t(reader_.Remaining());
    if (size > remaining) {
        log.Message("%s has a data size of %u beyond its %u bytes", name, size, remaining);
        size = remaining;
    }
    if (format.blockAlign > 0) size -= size % format.blockAlign;
    dataSize = size;
    position_ = 0;
    headerComplete = true;
    flags |= kLoop;
}

int32_t WavStream::Read(uint8_t* buffer, int32_t bytes) {
    if (bytes <= 0) return 0;
    std::memset(buffer, 0, size_t(bytes));
    if (dataSize == 0) return (flags & kLoop) ? bytes : 0;
    uint32_t done = 0;
    const uint32_t want = uint32_t(bytes);
    while (done < want) {
        uint32_t left = dataSize - position_;
        uint32_t n = std::min(left, want - done);
        reader_.Read(buffer + done, int32_t(n));
        position_ += n;
        done += n;
        if (position_ >= dataSize) {
            if (!(flags & kLoop)) break;
            Rewind();
        }
    }
    return (flags & kLoop) ? bytes : int32_t(done);
}

void WavStream::Rewind() {
    reader_.Seek(dataStart_);
    position_ = 0;
}

// ---------------------------------------------------------------------------------------------

OggStream::OggStream(const SharedString& path)
    : decoder_(audiohal::VorbisDecoder::Open(plat::OpenFile(path.c_str(), "rb"))) {
    if (!decoder_) {
        Debugger::Instance().Message("OGGLOADER: %s is not a valid OGG file", path.c_str());
        return;
    }
    const uint16_t channels = decoder_->Channels();
    const uint32_t rate = decoder_->Rate();
    format.formatTag = 1;
    format.channels = channels;
    format.samplesPerSecond = rate;
    format.bitsPerSample = 16;
    format.blockAlign = uint16_t(channels * 2);
    format.avgBytesPerSecond = uint32_t(uint64_t(channels) * rate * 2);
    // The exact decoded length (the total time times the byte rate, without rounding).
    const uint64_t bytes = std::min<uint64_t>(decoder_->Frames(), 0xFFFFFFFFull) * format.blockAlign;
    dataSize = uint32_t(std::min<uint64_t>(bytes, 0x7fffffffu));
    headerComplete = true;
    flags |= kLoop;
}

OggStream::~OggStream() = default;

int32_t OggStream::Read(uint8_t* buffer, int32_t bytes) {
    if (bytes <= 0) return 0;
    if (!decoder_) {
        std::memset(buffer, 0, size_t(bytes));
        return 0;
    }
    int32_t done = 0;
    bool rewoundEmpty = false; // a rewind that yields nothing ends the read (empty stream)
    while (done < bytes) {
        const long n = decoder_->Read(buffer + done, bytes - done);
        if (n > 0) {
            done += int32_t(n);
            rewoundEmpty = false;
            continue;
        }
        if (n == audiohal::VorbisDecoder::kGap) continue; // decoding goes on after the gap
        if (n < 0 || !(flags & kLoop) || rewoundEmpty) break;
        Rewind();
        rewoundEmpty = true;
    }
    if (done < bytes) std::memset(buffer + done, 0, size_t(bytes - done));
    return done;
}

int32_t OggStream::Seek(int32_t) {
    Rewind();
    return 0;
}

void OggStream::Rewind() {
    if (decoder_) decoder_->Rewind();
}
