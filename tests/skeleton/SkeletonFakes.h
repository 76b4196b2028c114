#pragma once
// Recording stand-ins for the engine's devices and game states: each appends what happened to
// a shared call list, so tests can check the order of a frame or of the start-up.
#include <algorithm>
#include <atomic>
#include <set>
#include <string>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MLP.h"
#include "engine/core/Thread.h"
#include "engine/render/NullRenderFacility.h"
#include "platform/sys/Clock.h"

namespace skeleton_test {

using CallList = std::vector<std::string>;

// A clock the test advances by hand (counter in microseconds).
struct ScriptedClock : plat::ClockSource {
    int64_t counter = 0;
    uint32_t ms = 0;
    int64_t Frequency() override { return 1000000; }
    int64_t Counter() override { return counter; }
    uint32_t Milliseconds() override { return ms; }
    void AdvanceMs(uint32_t milliseconds) {
        ms += milliseconds;
        counter += int64_t(milliseconds) * 1000;
    }
};
struct ClockScope {
    explicit ClockScope(plat::ClockSource* c) { plat::SetClockSource(c); }
    ~ClockScope() { plat::SetClockSource(nullptr); }
};

class RecordingRenderer : public NullRenderFacility {
public:
    explicit RecordingRenderer(CallList& calls) : calls_(calls) {}
    ~RecordingRenderer() override { calls_.push_back("renderer deleted"); }
    void BeginScene() override { calls_.push_back("BeginScene"); }
    void EndScene() override { calls_.push_back("EndScene"); }
    void Clear(uint32_t flags) override { calls_.push_back("Clear " + std::to_string(flags)); }
    void SetWindow(void* w) override { calls_.push_back(w ? "SetWindow" : "SetWindow null"); }
    void ChooseDevice(int32_t i) override { calls_.push_back("ChooseDevice " + std::to_string(i)); }
    void SetUseDefaultRefresh(bool b) override { calls_.push_back(std::string("UseDefaultRefresh ") + (b ? "1" : "0")); }
    void CreateDevice(bool b) override {
        calls_.push_back("CreateDevice");
        NullRenderFacility::CreateDevice(b);
    }
    bool RequestMode(const DisplayMode& m) override {
        calls_.push_back("RequestMode " + std::to_string(m.width) + "x" + std::to_string(m.height) + "x" +
                         std::to_string(m.bitsPerPixel));
        return NullRenderFacility::RequestMode(m);
    }
    std::vector<uint32_t> GrabScreen(bool back) override {
        calls_.push_back(back ? "GrabScreen back" : "GrabScreen front");
        if (shortGrab) return std::vector<uint32_t>(3, 0);
        std::vector<uint32_t> pixels = NullRenderFacility::GrabScreen(back);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = 0xFF000000u | uint32_t(i);
        return pixels;
    }
    bool shortGrab = false;

private:
    CallList& calls_;
};

class RecordingAudio : public AudioDevice {
public:
    explicit RecordingAudio(CallList& calls) : calls_(calls) {}
    // Like a real device, it frees the voices still out when it goes.
    ~RecordingAudio() override {
        for (AudioVoice* v : voices_) delete v;
        calls_.push_back("sound deleted");
    }
    void Init(int, AppWindow* w) override { calls_.push_back(w ? "sound Init" : "sound Init null"); }
    void AfterBeginScene() override { calls_.push_back("AfterBeginScene"); }
    void Update(float dt) override {
        calls_.push_back("sound Update");
        lastFrameTime = dt;
    }
    void EndFrame() override { calls_.push_back("EndFrame"); }
    void SetSampleRateKHz(int) override {}
    void SetMaxVoices(int) override {}
    AudioVoice* CreateVoice(SoundRequest&) override { return Keep(new NullAudioVoice); }
    void ReleaseVoice(AudioVoice* v) override {
        auto it = std::find(voices_.begin(), voices_.end(), v);
        if (it != voices_.end()) voices_.erase(it);
        delete v;
    }
    void Play3D(SoundRequest&, const Vector3&, float, float, float, PlaybackObserver*) override {}
    void Play(SoundRequest&, float, PlaybackObserver*) override {}
    void SetDeviceVolume(float v) override { calls_.push_back("DeviceVolume " + std::to_string(int(v))); }
    AudioVoice* CreateSound(const SharedString&, bool, bool, bool) override { return Keep(new NullAudioVoice); }
    void PlaySound(const SharedString&, float, PlaybackObserver*) override {}
    void PlaySound3D(const SharedString&, const Vector3&, float, float, float, PlaybackObserver*) override {}
    float lastFrameTime = -1.0f;

private:
    AudioVoice* Keep(AudioVoice* v) {
        voices_.push_back(v);
        return v;
    }
    CallList& calls_;
    std::vector<AudioVoice*> voices_;
};

// Keys are scripted per frame: `pressed` and `released` hold for the next frame only.
class ScriptedInput : public InputDevice {
public:
    explicit ScriptedInput(CallList& calls) : calls_(calls) {}
    void Init(AppWindow*, bool) override { calls_.push_back("input Init"); }
    void Update(float dt) override {
        calls_.push_back("input Update");
        lastFrameTime = dt;
        pressed = nextPressed;
        nextPressed.clear();
    }
    bool Released(uint32_t) override { return false; }
    bool Held(uint32_t key) override { return pressed.count(key) != 0; }
    bool Pressed(uint32_t key) override { return pressed.count(key) != 0; }
    bool Repeat(uint32_t key, float, float) override { return pressed.count(key) != 0; }
    bool HeldFor(uint32_t key, float) override { return pressed.count(key) != 0; }
    SharedString GetKeyName(int32_t) override { return SharedString(""); }
    void AddTextListener(TextListener*) override {}
    void RemoveTextListener(TextListener*) override {}
    MouseState* GetMouseState() override { return &mouse; }
    Point2i* GetCursorPosition() override { return &cursor; }
    bool MouseReleased(uint32_t) override { return false; }
    bool MouseHeld(uint32_t) override { return false; }
    bool MousePressed(uint32_t) override { return false; }
    uint32_t GetJoystickCount() override { return 0; }
    const float* GetJoystick(uint32_t) override { return axes; }
    bool JoystickReleased(uint32_t, uint32_t) override { return false; }
    bool JoystickHeld(uint32_t, uint32_t) override { return false; }
    bool JoystickPressed(uint32_t, uint32_t) override { return false; }
    void OnCharacter(uint32_t c) override { characters.push_back(char(c)); }
    void SetLanguage(LanguageSet*) override {}

    std::set<uint32_t> pressed, nextPressed;
    std::string characters;
    float lastFrameTime = -1.0f;
    MouseState mouse;
    Point2i cursor;
    float axes[3] = {};

private:
    CallList& calls_;
};

// A game state that records its operations under its own name.
class RecordingMLP : public MLP {
public:
    RecordingMLP(const char* mlpName, CallList& calls, bool loaded = true) : ready(loaded), calls_(calls) {
        name = SharedString(mlpName);
    }
    void HandleInput() override { Record("HandleInput"); }
    void Update() override { Record("Update"); }
    void Render() override { Record("Render"); }
    void Activate() override {
        Record("Activate");
        readyWhenActivated = ready.load();
    }
    void Deactivate() override { Record("Deactivate"); }
    void Load() override {
        // Only the load's end is recorded here: the call list belongs to the main thread.
        if (loadGate) loadGate->Wait();
        ready = true;
    }
    bool IsReady() override { return ready.load(); }

    Event* loadGate = nullptr;
    std::atomic<bool> ready;
    bool readyWhenActivated = false;

private:
    void Record(const char* what) { calls_.push_back(std::string(name.c_str()) + " " + what); }
    CallList& calls_;
};

} // namespace skeleton_test
