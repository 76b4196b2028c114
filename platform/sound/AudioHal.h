#pragma once
// The sound output layer: looping output rings and per-voice buffers mixed by our own mixer
// into a stereo 16-bit stream that goes to SDL audio (or to a capture buffer for tests, or to
// a silent clock-paced sink when there is no device). The engine's devices use only this.
#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/sound/Mixing.h"

namespace audiohal {

struct PcmFormat {
    uint16_t tag = 1;
    uint16_t channels = 2;
    uint32_t rate = 44100;
    uint32_t avgBytes = 176400;
    uint16_t blockAlign = 4;
    uint16_t bits = 16;
};

struct DeviceInfo {
    std::string description;
    std::string sdlName; // empty for the default device
};
// Entry 0 is the default device, then every output device SDL lists.
std::vector<DeviceInfo> EnumerateDevices();

// SDL's ALSA driver on a machine without a sound card makes the ALSA library write a page of
// its own error lines to the standard error stream for every device it tries. They go nowhere
// from the first call on; whoever opens a device reports a failure in a line of its own.
// Called before SDL's audio starts.
void QuietAlsa();

enum class Backend { Sdl, Capture, Null };

struct Caps {
    uint32_t hardwareStaticBuffers = 0;
};

struct VoiceDesc {
    PcmFormat format;
    uint32_t bytes = 0;
    bool positional = false;
    bool effects = false; // accepted, no effect chain
};

// Where the layer's own notices go (the engine installs its log); called outside the mixer.
void SetLogSink(void (*sink)(const char* line));

// Failure injection for tests.
struct TestHooks {
    static std::atomic<bool> failSdlOpen;
    static std::atomic<bool> failRingCreation;
};

struct Core;

// The listener as positional voices are heard through it: its place and axes, its velocity, the
// speed of sound in world units a second and the Doppler factor.
struct Hearing {
    ListenerFrame frame;
    Vec3 velocity;
    float speedOfSound = kSpeedOfSound;
    float doppler = 1.0f;
    // Metres a second; the distance factor (metres in one world unit) turns it into units.
    static constexpr float kSpeedOfSound = 343.3f;
};

// Looping output ring without controls. Writers lock regions at or beyond the write cursor.
class RingBuffer {
public:
    ~RingBuffer();
    RingBuffer(const RingBuffer&) = delete;
    RingBuffer& operator=(const RingBuffer&) = delete;
    uint32_t Size() const { return uint32_t(data_.size()); }
    // Up to two regions when the span wraps; fails when bytes > size or offset >= size.
    bool Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2);
    void Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2);
    bool Play(bool loop);
    void Stop();
    void Restore() {} // our memory is never lost
    void GetCursors(uint32_t* play, uint32_t* write) const;
    // True when the write cursor has passed `offset`: it lies less than half the ring beyond it.
    bool WritePassed(uint32_t offset) const;
    // Blocks until WritePassed(offset) (the output wakes the writer when it moves the cursor
    // there), or until Interrupt. Returns at once when it holds already.
    void WaitForWritePast(uint32_t offset);
    // Releases a waiting writer, and every later wait returns at once (a writer being stopped).
    void Interrupt();

private:
    friend struct Core;
    friend class Device;
    RingBuffer(std::shared_ptr<Core> core, uint32_t bytes);
    std::shared_ptr<Core> core_;
    std::vector<uint8_t> data_;
    std::atomic<uint32_t> play_{0};
    std::atomic<uint32_t> write_{0};
    bool playing_ = false; // under the core mutex
    bool waiting_ = false; // under the core mutex: a writer waits for the cursor to pass waitOffset_
    bool interrupted_ = false;
    uint32_t waitOffset_ = 0;
    bool loop_ = false;
};

// One buffer per voice with volume (hundredths of a decibel), pan, frequency and, for
// positional buffers, 3-D position and distances. Only 16-bit PCM, mono or stereo.
class VoiceBuffer {
public:
    ~VoiceBuffer();
    VoiceBuffer(const VoiceBuffer&) = delete;
    VoiceBuffer& operator=(const VoiceBuffer&) = delete;
    uint32_t Size() const { return bytes_; }
    const PcmFormat& Format() const { return format_; }
    bool IsPositional() const { return positional_; }
    bool Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2);
    void Unlock(void* p1, uint32_t n1, void* p2, uint32_t n2);
    void SetVolume(int32_t mB);
    void SetPan(int32_t mB);
    void SetFrequency(uint32_t hz);
    int32_t Volume() const { return volume_; }
    int32_t Pan() const { return pan_; }
    uint32_t Frequency() const { return frequency_; }
    bool Play(uint32_t priority, bool loop);
    void Stop();
    void SetCurrentPosition(uint32_t byte);
    void GetCurrentPosition(uint32_t* play, uint32_t* write) const;
    bool IsPlaying() const { return playing_.load(); }
    // Positional buffers only; deferred values apply at Listener3D::Commit.
    void SetMinDistance(float d, bool deferred);
    void SetMaxDistance(float d, bool deferred);
    void SetPosition(Vec3 p, bool deferred);
    void SetVelocity(Vec3 v, bool deferred);

private:
    friend struct Core;
    friend class Device;
    friend class Listener3D;
    struct Spatial {
        Vec3 position, velocity;
        float minDistance = 1.0f, maxDistance = 1.0e9f;
    };
    VoiceBuffer(std::shared_ptr<Core> core, const VoiceDesc& desc, std::shared_ptr<std::vector<uint8_t>> data);
    // Adds `frames` output frames into acc (interleaved L,R); returns false when it ended.
    bool MixInto(float* acc, uint32_t frames, uint32_t outRate, const Hearing& listener);

    std::shared_ptr<Core> core_;
    std::shared_ptr<std::vector<uint8_t>> data_;
    PcmFormat format_;
    uint32_t bytes_ = 0;
    uint32_t frames_ = 0;
    bool positional_ = false;
    bool downmixLogged_ = false;
    int32_t volume_ = 0;
    int32_t pan_ = 0;
    uint32_t frequency_ = 0;
    uint32_t priority_ = 0;
    bool loop_ = false;
    std::atomic<bool> playing_{false};
    Cursor cursor_;
    std::atomic<uint32_t> playByte_{0};
    Spatial pending_, active_;
};

struct ListenerState {
    Vec3 position, velocity;
    Vec3 front{0.0f, 0.0f, 1.0f}, top{0.0f, 1.0f, 0.0f};
    float distanceFactor = 1.0f, dopplerFactor = 1.0f;
};

class Listener3D {
public:
    void SetPosition(Vec3 p, bool deferred);
    void SetOrientation(Vec3 front, Vec3 top, bool deferred);
    void SetVelocity(Vec3 v, bool deferred);
    void SetDistanceFactor(float f, bool deferred);
    void SetDopplerFactor(float f, bool deferred);
    // Applies every deferred listener and buffer setting together.
    void Commit();

private:
    friend class Device;
    explicit Listener3D(Core* core) : core_(core) {}
    Core* core_;
};

class Device {
public:
    // Null when the Sdl back end cannot open an output; Capture and Null always open.
    static std::unique_ptr<Device> Open(int index, Backend backend);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    Backend GetBackend() const { return backend_; }
    bool SetCooperativeLevel(int) { return true; }
    Caps GetCaps() const { return {}; }
    // (Re)opens the output at this format (16-bit stereo PCM only).
    bool SetPrimaryFormat(const PcmFormat& format);
    const PcmFormat& PrimaryFormat() const;
    uint32_t PrimaryBytes() const { return 32768; }
    RingBuffer* Primary() { return primary_.get(); }
    // Null when refused (only rings in the output format are accepted).
    std::unique_ptr<RingBuffer> CreateRing(uint32_t bytes, const PcmFormat& format);
    std::unique_ptr<VoiceBuffer> CreateVoiceBuffer(const VoiceDesc& desc);
    std::unique_ptr<VoiceBuffer> Duplicate(const VoiceBuffer& source);
    Listener3D& Listener() { return listener_; }

    // Capture back end: mixes `frames` output frames as the callback would and keeps them.
    void Render(uint32_t frames);
    const std::vector<int16_t>& Captured() const { return captured_; }
    void ClearCaptured() { captured_.clear(); }

    // Frames per callback period.
    static constexpr uint32_t kPeriodFrames = 512;

private:
    Device(Backend backend);
    bool OpenOutput();
    void CloseOutput();
    void NullLoop();

    Backend backend_;
    int index_ = 0;
    std::string sdlName_;
    std::shared_ptr<Core> core_;
    std::unique_ptr<RingBuffer> primary_;
    Listener3D listener_;
    std::vector<int16_t> captured_;
    uint32_t sdlDevice_ = 0;
    bool sdlInited_ = false;
    struct NullThread;
    std::unique_ptr<NullThread> null_;
};

} // namespace audiohal
