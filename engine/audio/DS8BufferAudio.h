#pragma once
// The buffer-per-voice sound device: every voice owns a buffer of the sound layer, which
// mixes, positions (3-D with deferred settings) and resamples them.
#include <memory>
#include <vector>

#include "engine/audio/PlaySlots.h"
#include "engine/audio/SoundFactory.h"
#include "engine/core/Math.h"
#include "engine/core/Thread.h"
#include "platform/sound/AudioHal.h"

class DS8BufferAudio;

class DS8BufferVoice final : public AudioVoice, public StreamVoiceTarget {
public:
    DS8BufferVoice(DS8BufferAudio* device, const SharedString& name);
    ~DS8BufferVoice() override;

    void SetVolume(float value) override;
    AudioVoice* Clone() override;
    void Play(bool loop) override;
    void Stop() override;
    void Rewind() override;
    void SetPitch(float pitch) override;
    void SetPriority(float priority) override { priority_ = priority; }
    float GetLength() override { return 0.0f; }
    bool IsPlaying() override { return buffer_ && buffer_->IsPlaying(); }
    void SetPan(float pan) override;
    void SetDistances(float minimum, float maximum) override;
    void SetPosition(const Vector3& position) override;
    void SetVelocity(const Vector3& velocity) override;

    Mutex& DeviceMutex() override { return feederMutex_; }
    uint32_t BufferSize() override { return buffer_ ? buffer_->Size() : 0; }
    uint32_t PlayPosition() override;
    uint8_t* LockRegion(uint32_t offset, uint32_t bytes) override;
    void UnlockRegion(uint32_t offset, uint32_t bytes) override;

    const SharedString& Name() const { return name_; }
    audiohal::VoiceBuffer* Buffer() { return buffer_.get(); }
    // Fills the whole buffer from the stream (zeros without one).
    void FillFrom(AudioStream* stream);
    // Fills the buffer from decoded bytes (zeros beyond them).
    void FillFrom(const std::vector<uint8_t>& bytes);

    // Unit conversions (kept here so tests can pin them).
    static int32_t VolumeToMilliBel(float effective);
    static uint32_t PriorityWord(float priority);

private:
    friend class DS8BufferAudio;
    DS8BufferAudio* device_;
    SharedString name_;
    float priority_ = 0.5f;
    float pitch_ = 1.0f;
    std::unique_ptr<VoiceStreamThread> feeder_;
    Mutex feederMutex_;
    std::unique_ptr<audiohal::VoiceBuffer> buffer_;
    uint32_t rate_ = 0; // top bit: distances use 10^8 as the maximum
    bool positional_ = false; // the kind asked for, kept even when no buffer could be made
    // Where a positional one-shot plays, kept until its play slot has made its buffer.
    struct Placement {
        Vector3 position;
        float minimum, maximum;
    };
    std::unique_ptr<Placement> placement_;
};

class DS8BufferAudio final : public SoundDevice, private AudioListener {
public:
    explicit DS8BufferAudio(audiohal::Backend backend = audiohal::Backend::Sdl);
    ~DS8BufferAudio() override;

    void Init(int deviceIndex, AppWindow* window) override;
    void AfterBeginScene() override {}
    void Update(float frameTime) override;
    void EndFrame() override {}
    void SetSampleRateKHz(int) override {}
    void SetMaxVoices(int) override {}
    AudioVoice* CreateVoice(SoundRequest& request) override;
    void ReleaseVoice(AudioVoice* voice) override;
    void Play3D(SoundRequest& request, const Vector3& position, float minimum, float maximum, float volume,
                PlaybackObserver* observer) override;
    void Play(SoundRequest& request, float volume, PlaybackObserver* observer) override;
    void SetDeviceVolume(float volume) override;

    float DeviceVolume() const { return deviceVolume_; }
    audiohal::Device* Output() { return hal_.get(); }
    size_t OneShotCount();
    size_t PrototypeCount();

private:
    friend class DS8BufferVoice;
    struct Prototype {
        SharedString name;
        DS8BufferVoice* voice;
    };
    struct OneShot {
        DS8BufferVoice* voice;
        bool started;
    };

    void SetPosition(const Vector3& position) override;
    void SetOrientation(const Quaternion& orientation) override;
    void SetVelocity(const Vector3& velocity) override;

    void RunSlot(PlaySlots<DS8BufferVoice>::Slot& slot);
    // A buffer of `bytes` in the stream's format for the voice (its name and kind).
    bool CreateBuffer(DS8BufferVoice* voice, const AudioStream* stream, bool effects, uint32_t bytes);
    // The bytes of a one-second ring for a streaming voice (none when the stream is not playable).
    static uint32_t RingBytes(const AudioStream* stream);
    // Drops every list entry of a voice that is being destroyed.
    void Forget(DS8BufferVoice* voice);
    void StartOneShot(SoundRequest& request, float volume, const Vector3* position, float minimum, float maximum);

    audiohal::Backend backend_;
    std::unique_ptr<audiohal::Device> hal_;
    PlaySlots<DS8BufferVoice> slots_;
    float deviceVolume_ = 1.0f;
    int deviceIndex_ = -1;
    std::vector<Prototype> prototypes_;
    std::vector<DS8BufferVoice*> streaming_;
    std::vector<OneShot> oneShots_;
    Mutex listMutex_;
    Mutex bufferMutex_;
    float accumulated_ = 0.0f;
    float commitInterval_ = 0.0f; // every update
    bool hardwareMixing_ = false;
};
