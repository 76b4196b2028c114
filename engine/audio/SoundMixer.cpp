#include "engine/audio/SoundMixer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/audio/AudioStream.h"

SampleBuffer* DecodeStream(AudioStream* stream, bool streaming) {
    auto* sample = new SampleBuffer;
    // A stream whose header failed or describes what the mixers cannot play gets nothing: no
    // size in its header is trusted.
    if (!stream || !stream->IsPlayable()) return sample;
    sample->rate = int32_t(stream->format.samplesPerSecond);
    sample->stereo = stream->format.channels == 2;
    sample->sixteenBit = stream->format.bitsPerSample == 16;
    const int32_t bpf = sample->BytesPerFrame();
    // The ring is one second of the stream's own frames (the header's byte rate is not trusted).
    uint32_t size = streaming ? stream->format.samplesPerSecond * uint32_t(bpf) : stream->dataSize;
    size -= size % uint32_t(bpf);
    size = std::min<uint32_t>(size, 0x7fffffffu);
    sample->data.assign(size, 0);
    sample->size = int32_t(size);
    if (!streaming && size > 0) stream->Read(sample->data.data(), int32_t(size));
    sample->frames = sample->size / bpf;
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
    const float full = std::min(v, 1.0f);
    const float right = p <= 0.0f ? full * (1.0f + p) : full;
    const float left = p > 0.0f ? full * (1.0f - p) : full;
    if (!buffer || buffer->sixteenBit) {
        leftGain = int32_t(left * 65535.0f);
        rightGain = int32_t(right * 65535.0f);
        routine = (buffer && buffer->stereo) ? Routine::Stereo : Routine::Mono;
    } else {
        // 8-bit samples are not mixed (the loaders refuse them); keep their timing only.
        leftGain = int32_t(left * 255.0f);
        rightGain = int32_t(right * 255.0f);
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

bool MixState::Advance(int32_t n, int32_t outRate) {
    if (!buffer || buffer->frames <= 0) return loopCount > 1;
    const int64_t srcRate = int64_t(float(buffer->rate) * pitch);
    const int64_t moved = srcRate == outRate ? n : int64_t(n) * srcRate / std::max(1, outRate);
    int64_t pos = int64_t(position) + moved;
    while (pos >= buffer->frames) {
        pos -= buffer->frames;
        if (!LoopAround()) return false;
    }
    position = int32_t(pos);
    return true;
}

bool MixState::Run(int32_t* acc, int32_t n, int32_t outRate) {
    if (routine == Routine::Silent) return Advance(n, outRate);
    if (!buffer || buffer->frames <= 0) return loopCount > 1; // nothing to play: a loop stays silent
    const int32_t frames = buffer->frames;
    const int16_t* src = reinterpret_cast<const int16_t*>(buffer->data.data());
    const int32_t lg = leftGain, rg = rightGain;
    const bool stereo = routine == Routine::Stereo;
    const int64_t srcRate = int64_t(float(buffer->rate) * pitch);
    // Adds source frame `frame` into output frame i.
    auto mixFrame = [&](int32_t i, int64_t frame) {
        int32_t l, r;
        if (stereo) {
            l = src[frame * 2];
            r = src[frame * 2 + 1];
        } else {
            l = r = src[frame];
        }
        acc[i * 2] += l * lg / 65535;
        acc[i * 2 + 1] += r * rg / 65535;
    };
    if (srcRate == outRate) {
        int32_t pos = position;
        for (int32_t i = 0; i < n; ++i) {
            if (pos >= frames) {
                if (!LoopAround()) return false;
                pos = 0;
            }
            mixFrame(i, pos);
            ++pos;
        }
        position = pos;
        return true;
    }
    // Nearest frame below: output frame i reads base + trunc(i * srcRate / outRate).
    int64_t base = position;
    int64_t offset = 0, remainder = 0;
    for (int32_t i = 0; i < n; ++i) {
        int64_t idx = base + offset;
        while (idx >= frames) {
            if (!LoopAround()) return false;
            base -= frames;
            idx -= frames;
        }
        mixFrame(i, idx);
        remainder += srcRate;
        while (remainder >= outRate) {
            remainder -= outRate;
            ++offset;
        }
    }
    position = int32_t(base + offset); // at or past the end: the next mix applies the loop rule
    return true;
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
