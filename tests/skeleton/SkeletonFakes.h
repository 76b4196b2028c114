#pragma once
// Recording stand-ins for the engine's devices and game states: each appends what happened to
// a shared call list, so tests can check the order of a frame or of the start-up.
#include <atomic>
#include <functional>
#include <string>

#include "engine/core/MLP.h"
#include "engine/core/Thread.h"
#include "engine/render/NullRenderFacility.h"
#include "platform/sys/Clock.h"
#include "tests/support/CallList.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"

namespace skeleton_test {

using testing_support::CallList;
using testing_support::FakeAudioDevice;
using testing_support::FakeInputDevice;

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
        if (onLoad) onLoad();
        if (loadGate) loadGate->Wait();
        ready = true;
    }
    bool IsReady() override { return ready.load(); }

    Event* loadGate = nullptr;
    // Called on the init thread as the load begins.
    std::function<void()> onLoad;
    std::atomic<bool> ready;
    bool readyWhenActivated = false;

private:
    void Record(const char* what) { calls_.push_back(std::string(name.c_str()) + " " + what); }
    CallList& calls_;
};

} // namespace skeleton_test
