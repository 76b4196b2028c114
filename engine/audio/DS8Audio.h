#pragma once
// The software-mixing sound device the program runs with: every voice is decoded PCM in
// memory, the SoundMixer sums the playing voices and one output thread writes the result
// 20 ms at a time into a looping output ring of the sound layer, waking when the output has
// moved on far enough; with nothing to play it rests until a voice starts.
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

#include "engine/audio/PlaySlots.h"
#include "engine/audio/SoundFactory.h"
#include "engine/audio/SoundMixer.h"
#include "engine/core/Math.h"
#include "engine/core/Thread.h"
#include "platform/sound/AudioHal.h"

class DS8Audio;

class DS8MixVoice final : public AudioVoice, public StreamVoiceTarget {
public:
    explicit DS8MixVoice(DS8Audio* device);
    ~DS8MixVoice() override;

    void SetVolume(float value) override;
    AudioVoice* Clone() override;
    void Play(bool loop) override;
    void Stop() override;
    void Rewind() override;
    void SetPitch(float pitch) override;
    void SetPriority(float priority) override;
    float GetLength() override;
    bool IsPlaying() override;
    void SetPan(float pan) override;
    void SetDistances(float minimum, float maximum) override;
    void SetPosition(const Vector3& position) override;
    void SetVelocity(const Vector3& velocity) override;

    // Refill side of a streaming voice.
    Mutex& DeviceMutex() override { return feederMutex_; }
    uint32_t BufferSize() override;
    uint32_t PlayPosition() override;
    uint8_t* LockRegion(uint32_t offset, uint32_t bytes) override;
    void UnlockRegion(uint32_t, uint32_t) override {}

    struct Positional {
        Vector3 position, velocity;
        float minimum = 0.0f, maximum = 1.0f;
    };

    MixState& Mix() { return mix_; }
    float EffectiveVolume() const { return effective_; }
    bool IsPositional() const { return positional_ != nullptr; }
    void MakePositional() { positional_ = std::make_unique<Positional>(); }
    // Starts the refill thread of a streaming voice (it takes the stream).
    void StartFeeder(std::unique_ptr<AudioStream> stream);
    // Joins the refill thread (before the voice goes away).
    void StopFeeder();

private:
    friend class DS8Audio;
    DS8Audio* device_;
    MixState mix_;
    std::unique_ptr<VoiceStreamThread> feeder_;
    Mutex feederMutex_;
    float effective_ = 1.0f;
    float pitch_ = 1.0f;
    std::unique_ptr<Positional> positional_;
};

class DS8Audio final : public SoundDevice, private AudioListener {
public:
    struct Options {
        audiohal::Backend backend = audiohal::Backend::Sdl;
        // Tests drive PumpOnce themselves in lockstep with the capture back end.
        bool outputThread = true;
        std::function<void(float seconds)> sleep; // SleepSeconds when empty
    };

    DS8Audio() : DS8Audio(Options{}) {}
    explicit DS8Audio(Options options);
    ~DS8Audio() override;

    void Init(int deviceIndex, AppWindow* window) override;
    void AfterBeginScene() override {}
    void Update(float frameTime) override;
    void EndFrame() override {}
    void SetSampleRateKHz(int) override {}
    void SetMaxVoices(int count) override;
    AudioVoice* CreateVoice(SoundRequest& request) override;
    void ReleaseVoice(AudioVoice* voice) override;
    void Play3D(SoundRequest& request, const Vector3& position, float minimum, float maximum, float volume,
                PlaybackObserver* observer) override;
    void Play(SoundRequest& request, float volume, PlaybackObserver* observer) override;
    // Scales the output (0 silences it, as the "-S" switch asks).
    void SetDeviceVolume(float volume) override { deviceVolume_.store(volume); }

    // One step of the output thread: writes the next 20 ms once the output has passed the
    // thread's cursor; false (at once) while it has not.
    bool PumpOnce();

    SoundMixer& Mixer() { return mixer_; }
    // True while the output thread rests: no voice plays and the output is silent.
    bool OutputResting() const { return resting_.load(); }
    audiohal::Device* Output() { return hal_.get(); }
    bool UsesPrimaryAsOutput() const { return ring_ && hal_ && ring_ == hal_->Primary(); }
    size_t OneShotCount();
    size_t CacheCount();
    int IdleSlotCount();
    // Gains and pitch of a positional voice from the listener (under the mixer's mutex).
    void PositionalUpdate(DS8MixVoice* voice);

    static constexpr uint32_t kOutputBytes = 32768;

private:
    friend class DS8MixVoice;
    struct CacheEntry {
        SharedString name;
        SampleBuffer* buffer;
    };
    struct OneShot {
        DS8MixVoice* voice;
        PlaybackObserver* observer;
    };

    void SetPosition(const Vector3& position) override;
    void SetOrientation(const Quaternion& orientation) override;
    void SetVelocity(const Vector3& velocity) override;

    static uint32_t OutputThread(Thread& self, void* parameter);
    bool NothingToPlay();
    void Rest();
    void RunSlot(PlaySlots<DS8MixVoice>::Slot& slot);
    void Sleep(float seconds);
    void StartOneShot(SoundRequest& request, float volume, PlaybackObserver* observer, const Vector3* position,
                      float minimum, float maximum);

    Options options_;
    std::unique_ptr<audiohal::Device> hal_;
    std::unique_ptr<audiohal::RingBuffer> secondary_;
    audiohal::RingBuffer* ring_ = nullptr;
    uint32_t ringBytes_ = 0;
    std::vector<CacheEntry> cache_;
    std::vector<DS8MixVoice*> voices_;
    std::vector<OneShot> oneShots_;
    Mutex mutex_;
    PlaySlots<DS8MixVoice> slots_;
    std::atomic<bool> running_{false};
    Thread outputThread_;
    Event outputWake_{true}; // set when a voice starts playing
    std::atomic<bool> resting_{false};
    uint32_t cursor_ = 0;
    uint32_t silentBytes_ = 0; // bytes of silence written in a row (output thread only)
    SoundMixer mixer_;
    std::atomic<float> deviceVolume_{1.0f};
    audiohal::ListenerFrame listenerFrame_; // where the listener is and its axes
    Vector3 listenerVelocity_;
};
