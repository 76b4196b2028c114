#include "platform/sound/VorbisDecoder.h"

#include <vorbis/vorbisfile.h>

namespace audiohal {

struct VorbisDecoder::State {
    OggVorbis_File file{};
};

VorbisDecoder::VorbisDecoder(std::unique_ptr<State> state) : state_(std::move(state)) {}

VorbisDecoder::~VorbisDecoder() { ov_clear(&state_->file); } // also closes the file

std::unique_ptr<VorbisDecoder> VorbisDecoder::Open(std::FILE* file) {
    if (!file) return nullptr;
    auto state = std::make_unique<State>();
    if (ov_open(file, &state->file, nullptr, 0) < 0) {
        std::fclose(file); // a failed open leaves the file to its caller
        return nullptr;
    }
    std::unique_ptr<VorbisDecoder> decoder(new VorbisDecoder(std::move(state)));
    OggVorbis_File* vf = &decoder->state_->file;
    if (const vorbis_info* info = ov_info(vf, -1)) {
        decoder->channels_ = uint16_t(info->channels > 0 && info->channels <= 0xFFFF ? info->channels : 0);
        decoder->rate_ = uint32_t(info->rate > 0 && info->rate <= 0x7FFFFFFF ? info->rate : 0);
    }
    const ogg_int64_t frames = ov_pcm_total(vf, -1);
    decoder->frames_ = frames > 0 ? uint64_t(frames) : 0;
    return decoder;
}

long VorbisDecoder::Read(uint8_t* out, int bytes) {
    if (bytes <= 0) return kEnd;
    const long n = ov_read(&state_->file, reinterpret_cast<char*>(out), bytes, 0, 2, 1, &bitstream_);
    if (n >= 0) return n;
    return n == OV_HOLE ? kGap : kDamaged;
}

void VorbisDecoder::Rewind() { ov_raw_seek(&state_->file, 0); }

} // namespace audiohal
