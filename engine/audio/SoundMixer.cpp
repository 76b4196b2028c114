#include "engine/audio/SoundMixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/audio/AudioStream.h"
#include "platform/sound/Mixing.h"

SampleBuffer* DecodeStream(AudioStream* stream, bool streaming) {
    auto* sample = new SampleBuffer;
    // A stream whose header failed or describes what the mixers cannot play gets nothing: no
    // size in its header is trusted.
    if (!stream || !stream->IsPlayable()) return sample;
    sample->rate = int32_t(stream->format.samplesPerSecond);
    sample->stereo = stream->format.channels == 2;
    sample->sixteenBit = stream->format.bitsPerSample == 16;
    const uint32_t bpf = uint32_t(sample->BytesPerFrame());
    if (streaming) {
        // The ring is one second of the stream's own frames (the header's byte rate is not trusted).
        sample->data.assign(size_t(stream->format.samplesPerSecond) * bpf, 0);
    } else {
        // What the stream delivers, whole frames of it.
        sample->data = ReadWhole(*stream);
        sample->data.resize(sample->data.size() - sample->data.size() % bpf);
    }
    sample->size = int32_t(sample->data.size());
    sample->frames = sample->size / int32_t(bpf);
    return sample;
}

// ---------------------------------------------------------------------------------------------

void MixState::Attach(SampleBuffer* sample) {
    buffer = sample;
    if (sample) ++sample->refCount;
    position = 0;
    priority = 0.0f;
    pitch = 1.0f;
    SetGains(1.0f, 0.0f);
}

void MixState::SetGains(float v, float p) {
    volume = v;
    pan = p;
    if (!(v > 0.0f)) {
        routine = Routine::Silent;
        return;
    }
    // Full volume is the most a voice is given: a larger factor (a group or a one-shot volume
    // above 1) would overflow the 32-bit sample-times-gain product.
    const audiohal::StereoGain g = audiohal::PanLaw(std::min(v, 1.0f), p);
    if (!buffer || buffer->sixteenBit) {
        leftGain = int32_t(g.left * 65535.0f);
        rightGain = int32_t(g.right * 65535.0f);
        routine = (buffer && buffer->stereo) ? Routine::Stereo : Routine::Mono;
    } else {
        // 8-bit samples are not mixed (the loaders refuse them); keep their timing only.
        leftGain = int32_t(g.left * 255.0f);
        rightGain = int32_t(g.right * 255.0f);
        routine = Routine::Silent;
    }
}

bool MixState::LoopAround() {
    if (loopCount <= 1) {
        position = 0;
        return false;
    }
    if (loopCount != kEndless) --loopCount;
    return true;
}

namespace {
// The rate the voice's source is read at: its own rate times its pitch.
uint32_t SourceRate(const SampleBuffer& b, float pitch) {
    const float rate = float(b.rate) * pitch;
    return rate > 0.0f ? uint32_t(std::min(rate, 4.0e9f)) : 0u;
}
} // namespace

bool MixState::Advance(int32_t n, int32_t outRate) {
    if (!buffer || buffer->frames <= 0) return loopCount > 1;
    // The fraction of a frame is not carried from one mix to the next.
    audiohal::Cursor cursor{uint32_t(position), 0};
    const bool alive = audiohal::SkipVoice(cursor, audiohal::Step(SourceRate(*buffer, pitch), uint32_t(outRate)),
                                           uint32_t(buffer->frames), uint32_t(std::max(n, 0)),
                                           [this] { return LoopAround(); });
    position = int32_t(cursor.frame);
    return alive;
}

bool MixState::Run(int32_t* acc, int32_t n, int32_t outRate) {
    if (routine == Routine::Silent) return Advance(n, outRate);
    if (!buffer || buffer->frames <= 0) return loopCount > 1; // nothing to play: a loop stays silent
    // Nearest frame below: output frame i reads position + trunc(i * source rate / output rate);
    // the end is seen when a frame would be read past the last one.
    const audiohal::Source src{reinterpret_cast<const int16_t*>(buffer->data.data()), uint32_t(buffer->frames),
                               routine == Routine::Stereo ? audiohal::Layout::Stereo : audiohal::Layout::Mono, false};
    audiohal::Cursor cursor{uint32_t(position), 0};
    const bool alive = audiohal::MixVoice<audiohal::Interpolation::Nearest>(
        src, cursor, audiohal::Step(SourceRate(*buffer, pitch), uint32_t(outRate)),
        audiohal::IntegerGains{leftGain, rightGain}, acc, uint32_t(std::max(n, 0)), false,
        [this] { return LoopAround(); });
    position = int32_t(cursor.frame); // at or past the end: the next mix applies the loop rule
    return alive;
}

// ---------------------------------------------------------------------------------------------

SoundMixer::SoundMixer(int32_t outputRate) : outputRate_(outputRate) {}

void SoundMixer::Add(MixState* state) {
    if (!Contains(state)) voices_.push_back(state);
}

void SoundMixer::Remove(MixState* state) {
    auto it = std::find(voices_.begin(), voices_.end(), state);
    if (it != voices_.end()) voices_.erase(it);
}

bool SoundMixer::Contains(const MixState* state) const {
    return std::find(voices_.begin(), voices_.end(), state) != voices_.end();
}

int32_t SoundMixer::Mix(int32_t bytes) {
    std::lock_guard<Mutex> g(mutex_);
    const size_t count = voices_.size();
    lastMixVoices_ = count;
    if (count > size_t(maxVoices_)) {
        // Highest priority first, then loudest; stable, so equal voices keep their order.
        std::stable_sort(voices_.begin(), voices_.end(), [](const MixState* a, const MixState* b) {
            if (a->priority != b->priority) return a->priority > b->priority;
            return a->volume > b->volume;
        });
    }
    frames_ = bytes > 0 ? bytes / 4 : 0;
    if (acc_.size() < size_t(frames_) * 2) acc_.resize(size_t(frames_) * 2);
    std::fill(acc_.begin(), acc_.begin() + ptrdiff_t(frames_) * 2, 0);
    removal_.clear();
    const size_t mixed = std::min(count, size_t(maxVoices_));
    for (size_t i = 0; i < count; ++i) {
        MixState* s = voices_[i];
        bool alive = i < mixed ? s->Run(acc_.data(), frames_, outputRate_) : s->Advance(frames_, outputRate_);
        if (!alive) removal_.push_back(s);
    }
    for (MixState* s : removal_) {
        s->playing = false;
        Remove(s);
    }
    return frames_;
}

void SoundMixer::Write(int16_t* out) const {
    for (int32_t i = 0; i < frames_ * 2; ++i) out[i] = int16_t(std::clamp(acc_[size_t(i)], -32768, 32767));
}
