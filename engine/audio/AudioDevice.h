#pragma once
// The engine's view of sound: the abstract sound device, the voices it hands out, the volume
// tree and the listener. Header-only on purpose: the engine core holds a device through this
// interface without linking the audio library (the concrete devices live in metrofare_audio).
#include <algorithm>
#include <vector>

#include "engine/core/SharedString.h"

struct Vector3;
struct Quaternion;
class AppWindow;
class AudioVoice;
class VolumeGroup;
struct SoundRequest;

// Anything whose volume follows a volume group: voices and other groups. SetVolume takes the
// node's own value; the node combines it with the effective volume of its parent chain.
class VolumeNode {
public:
    virtual ~VolumeNode();
    virtual void SetVolume(float value) = 0;

    VolumeGroup* Parent() const { return parent_; }
    float Value() const { return value_; }
    // The parent chain's effective volume (1 without a parent).
    inline float ParentVolume() const;

protected:
    VolumeNode() = default;
    VolumeNode(const VolumeNode&) = delete;
    VolumeNode& operator=(const VolumeNode&) = delete;

    float value_ = 1.0f;

private:
    friend class VolumeGroup;
    VolumeGroup* parent_ = nullptr;
};

// Node of the volume tree: a value and children whose sound is scaled by it.
class VolumeGroup : public VolumeNode {
public:
    VolumeGroup() = default;
    ~VolumeGroup() override {
        for (VolumeNode* child : children_) child->parent_ = nullptr;
    }

    // Stores the value and lets every child recompute its effective volume.
    void SetVolume(float value) override {
        value_ = value;
        for (VolumeNode* child : children_) child->SetVolume(child->Value());
    }
    float GetEffectiveVolume() const { return parent_ ? value_ * parent_->GetEffectiveVolume() : value_; }

    void AttachChild(VolumeNode* child) {
        if (!child || child == this) return;
        if (child->parent_ == this) return;
        if (child->parent_) child->parent_->Detach(child);
        children_.push_back(child);
        child->parent_ = this;
        child->SetVolume(child->Value());
    }
    // Same as AttachChild (the name some callers use).
    void AddChild(VolumeNode* child) { AttachChild(child); }

    // Removes the child (others keep their order) and lets it fall back to its own value. The
    // parent link goes first, so the re-applied volume no longer carries this group's factor.
    void RemoveChild(VolumeNode* child) {
        auto it = std::find(children_.begin(), children_.end(), child);
        if (it == children_.end()) return;
        children_.erase(it);
        child->parent_ = nullptr;
        child->SetVolume(child->Value());
    }
    const std::vector<VolumeNode*>& Children() const { return children_; }

private:
    friend class VolumeNode;
    void Detach(VolumeNode* child) {
        auto it = std::find(children_.begin(), children_.end(), child);
        if (it != children_.end()) children_.erase(it);
        child->parent_ = nullptr;
    }
    std::vector<VolumeNode*> children_;
};

// A node that is destroyed while still in a group leaves it, so the group never holds a
// dangling child.
inline VolumeNode::~VolumeNode() {
    if (parent_) parent_->Detach(this);
}
inline float VolumeNode::ParentVolume() const { return parent_ ? parent_->GetEffectiveVolume() : 1.0f; }

// The group of interface (menu) sounds; the front end sets its value from the audio options.
inline VolumeGroup& MenuSoundGroup() {
    static VolumeGroup group;
    return group;
}

// A playable sound handed out by the device. Volumes are 0..1, pan -1 (left) .. 1 (right),
// pitch a playback-rate factor (1 normal), distances and positions in world units.
class AudioVoice : public VolumeNode {
public:
    ~AudioVoice() override = default;
    virtual AudioVoice* Clone() = 0;
    virtual void Play(bool loop) = 0;
    virtual void Stop() = 0;
    virtual void Rewind() = 0;
    virtual void StopAndRewind() {
        Stop();
        Rewind();
    }
    virtual void SetPitch(float pitch) = 0;
    virtual void SetPriority(float priority) = 0;
    virtual float GetLength() = 0;
    virtual bool IsPlaying() { return false; }
    virtual void SetPan(float pan) = 0;
    virtual void SetDistances(float minimum, float maximum) = 0;
    virtual void SetPosition(const Vector3& position) = 0;
    virtual void SetVelocity(const Vector3& velocity) = 0;
};

// Watches a one-shot sound: the device stores the playing voice in `voice` when the sound
// starts, and calls Finished and clears `voice` once it has ended.
class PlaybackObserver {
public:
    virtual ~PlaybackObserver() = default;
    virtual void Finished() = 0;
    AudioVoice* voice = nullptr;
};

// The listener of positional sound (the camera).
class AudioListener {
public:
    virtual ~AudioListener() = default;
    virtual void SetPosition(const Vector3& position) = 0;
    virtual void SetOrientation(const Quaternion& orientation) = 0;
    virtual void SetVelocity(const Vector3& velocity) = 0;
};

// Directory names searched for sound files, last added first ("Audio" is added by the engine).
inline std::vector<SharedString>& SoundDirectories() {
    static std::vector<SharedString> directories;
    return directories;
}

// The engine's sound device. CreateSound, PlaySound and PlaySound3D look the file up through
// the sound factory and call CreateVoice, Play and Play3D.
class AudioDevice {
public:
    virtual ~AudioDevice() = default;

    // deviceIndex: the output device (0 the default, -1 no sound); only the buffer-per-voice
    // device chooses among devices.
    virtual void Init(int deviceIndex, AppWindow* window) = 0;
    virtual void AfterBeginScene() = 0;
    virtual void Update(float frameTime) = 0;
    virtual void EndFrame() = 0;
    // Output rate from the audio options, in kHz.
    virtual void SetSampleRateKHz(int kiloHertz) = 0;
    virtual void SetMaxVoices(int count) = 0;
    virtual AudioVoice* CreateVoice(SoundRequest& request) = 0;
    virtual void ReleaseVoice(AudioVoice* voice) = 0;
    virtual void Play3D(SoundRequest& request, const Vector3& position, float minimum, float maximum,
                        float volume, PlaybackObserver* observer) = 0;
    virtual void Play(SoundRequest& request, float volume, PlaybackObserver* observer) = 0;
    virtual void SetDeviceVolume(float volume) = 0;
    // false switches sound off (device volume 0), true back on.
    void SetEnabled(bool enabled) { SetDeviceVolume(enabled ? 1.0f : 0.0f); }

    // A kept voice for the named file (never null: a missing file gives a silent voice).
    virtual AudioVoice* CreateSound(const SharedString& name, bool positional = false, bool streaming = false,
                                    bool effects = false) = 0;
    // One-shot sounds owned by the device; nothing happens at volume 0 or less.
    virtual void PlaySound(const SharedString& name, float volume, PlaybackObserver* observer = nullptr) = 0;
    virtual void PlaySound3D(const SharedString& name, const Vector3& position, float minimum, float maximum,
                             float volume, PlaybackObserver* observer = nullptr) = 0;

    AudioListener* Listener() const { return listener_; }
    const std::vector<SharedString>& DeviceNames() const { return deviceNames_; }

protected:
    AudioListener* listener_ = nullptr;
    std::vector<SharedString> deviceNames_;
};

// Makes a device: 0 the buffer-per-voice device, 1 the software-mixing device the program
// runs with, anything else null. Defined in metrofare_audio.
AudioDevice* CreateAudioDevice(int type);

// Stand-ins for builds and tests without sound: every call succeeds, nothing is heard. A test
// voice that watches a few calls derives from the silent voice.
class NullAudioVoice : public AudioVoice {
public:
    void SetVolume(float value) override { value_ = std::clamp(value, 0.0f, 1.0f); }
    AudioVoice* Clone() override { return new NullAudioVoice; }
    void Play(bool) override {}
    void Stop() override {}
    void Rewind() override {}
    void SetPitch(float) override {}
    void SetPriority(float) override {}
    float GetLength() override { return 0.0f; }
    void SetPan(float) override {}
    void SetDistances(float, float) override {}
    void SetPosition(const Vector3&) override {}
    void SetVelocity(const Vector3&) override {}
};

class NullAudioListener final : public AudioListener {
public:
    void SetPosition(const Vector3&) override {}
    void SetOrientation(const Quaternion&) override {}
    void SetVelocity(const Vector3&) override {}
};

// Voices made by CreateSound belong to the caller (ReleaseVoice deletes them); one-shots are
// dropped at once. Test devices derive from it and watch the calls they care about.
class NullAudioDevice : public AudioDevice {
public:
    NullAudioDevice() { listener_ = &nullListener_; }
    void Init(int, AppWindow*) override {}
    void AfterBeginScene() override {}
    void Update(float) override {}
    void EndFrame() override {}
    void SetSampleRateKHz(int) override {}
    void SetMaxVoices(int) override {}
    AudioVoice* CreateVoice(SoundRequest&) override { return new NullAudioVoice; }
    void ReleaseVoice(AudioVoice* voice) override { delete voice; }
    void Play3D(SoundRequest&, const Vector3&, float, float, float, PlaybackObserver*) override {}
    void Play(SoundRequest&, float, PlaybackObserver*) override {}
    void SetDeviceVolume(float) override {}
    AudioVoice* CreateSound(const SharedString&, bool, bool, bool) override { return new NullAudioVoice; }
    void PlaySound(const SharedString&, float, PlaybackObserver*) override {}
    void PlaySound3D(const SharedString&, const Vector3&, float, float, float, PlaybackObserver*) override {}

private:
    NullAudioListener nullListener_;
};
