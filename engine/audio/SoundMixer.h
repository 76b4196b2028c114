#pragma once
// The software mixer of the mixing sound device: decoded sample blocks, the per-voice mixing
// state and the mixer that sums the playing voices into a 32-bit stereo accumulator.
#include <cstdint>
#include <vector>

#include "engine/core/Thread.h"

class AudioStream;

// Decoded PCM shared by the voices of one file (reference-counted by the voices attached).
struct SampleBuffer {
    std::vector<uint8_t> data;
    int32_t size = 0;
    int32_t frames = 0;
    int32_t rate = 0;
    int32_t refCount = 0;
    bool stereo = false;
    bool sixteenBit = false;

    int32_t BytesPerFrame() const { return (stereo ? 2 : 1) * (sixteenBit ? 2 : 1); }
    float LengthSeconds() const {
        return rate > 0 ? float(size) / (float(rate) * float(BytesPerFrame())) : 0.0f;
    }
};

// Streaming: a zeroed one-second ring, nothing read yet. Static: the whole stream, read once.
SampleBuffer* DecodeStream(AudioStream* stream, bool streaming);

// What the mixer lists for one voice.
struct MixState {
    static constexpr uint32_t kEndless = 0xFFFFFFFFu;
    enum class Routine { Silent, Stereo, Mono };

    SampleBuffer* buffer = nullptr;
    float volume = 1.0f;
    float pan = 0.0f;
    float priority = 0.0f;
    int32_t leftGain = 65535;
    int32_t rightGain = 65535;
    float pitch = 1.0f;
    uint32_t loopCount = 1;
    int32_t position = 0; // frames; read without a lock by a streaming voice's feeder
    Routine routine = Routine::Silent;
    bool playing = false;

    // Increments the buffer's count and resets the state to full volume, centre, pitch 1.
    void Attach(SampleBuffer* sample);
    // Sets both gains and the routine; at volume 0 or below (or NaN) the voice only advances.
    void SetGains(float v, float p);
    // Mixes n output frames at outRate into acc (L,R pairs); false when the voice ended.
    bool Run(int32_t* acc, int32_t n, int32_t outRate);
    // Moves the position as if n frames were played; false when the voice ended.
    bool Advance(int32_t n, int32_t outRate);

private:
    // The end-of-sample rule: false ends the voice (position back at 0).
    bool LoopAround();
};

class SoundMixer {
public:
    explicit SoundMixer(int32_t outputRate = 44100);
    // Mixes bytes / 4 frames of every listed voice under the mixer's mutex; returns the frames.
    int32_t Mix(int32_t bytes);
    // Writes the frames of the last mix, clamped to 16 bits (L,R).
    void Write(int16_t* out) const;

    // Callers hold Lock() around these.
    void Add(MixState* state);
    void Remove(MixState* state);
    bool Contains(const MixState* state) const;
    Mutex& Lock() { return mutex_; }
    void SetMaxVoices(int32_t n) { maxVoices_ = n < 0 ? 0 : n; }
    int32_t MaxVoices() const { return maxVoices_; }
    int32_t OutputRate() const { return outputRate_; }
    int32_t OutputBytesPerSecond() const { return outputRate_ * 4; }
    size_t VoiceCount() const { return voices_.size(); }
    // Whether any voice was listed for the last mix (without one, the mix was silence).
    bool LastMixHadVoices() const { return lastMixVoices_ > 0; }

private:
    std::vector<int32_t> acc_;
    int32_t frames_ = 0;
    size_t lastMixVoices_ = 0;
    std::vector<MixState*> removal_;
    std::vector<MixState*> voices_;
    Mutex mutex_;
    int32_t outputRate_;
    int32_t maxVoices_ = 256;
};
