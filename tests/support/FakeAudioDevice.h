#pragma once
#include <algorithm>
#include <string>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Math.h"
#include "tests/support/CallList.h"

namespace testing_support {

// A silent voice that counts its plays on its device.
class CountingVoice : public NullAudioVoice {
public:
    CountingVoice(int* plays, int* loopedPlays) : plays_(plays), loopedPlays_(loopedPlays) {}
    AudioVoice* Clone() override { return new CountingVoice(plays_, loopedPlays_); }
    void Play(bool loop) override {
        ++*plays_;
        if (loop) ++*loopedPlays_;
    }

private:
    int* plays_;
    int* loopedPlays_;
};

// A silent sound device that remembers what was asked of it. Like the real devices, it deletes
// the voices it still holds when it goes. With a call list it records the frame's calls
// ("sound Init", "AfterBeginScene", "sound Update", "EndFrame", "DeviceVolume <v>") and
// "sound deleted".
class FakeAudioDevice : public NullAudioDevice {
public:
    explicit FakeAudioDevice(CallList* calls = nullptr) : calls_(calls) {}
    ~FakeAudioDevice() override {
        for (AudioVoice* v : voices) delete v;
        Record("sound deleted");
    }
    void Init(int, AppWindow* window) override { Record(window ? "sound Init" : "sound Init null"); }
    void AfterBeginScene() override { Record("AfterBeginScene"); }
    void Update(float dt) override {
        Record("sound Update");
        lastFrameTime = dt;
    }
    void EndFrame() override { Record("EndFrame"); }
    void SetDeviceVolume(float v) override {
        deviceVolume = v;
        if (calls_) calls_->push_back("DeviceVolume " + std::to_string(int(v)));
    }
    AudioVoice* CreateVoice(SoundRequest&) override { return Keep(); }
    void ReleaseVoice(AudioVoice* voice) override {
        auto it = std::find(voices.begin(), voices.end(), voice);
        if (it != voices.end()) voices.erase(it);
        delete voice;
    }
    AudioVoice* CreateSound(const SharedString& name, bool, bool, bool) override {
        requested.emplace_back(name.c_str());
        return Keep();
    }

    void PlaySound3D(const SharedString& name, const Vector3& position, float minimum, float maximum, float,
                     PlaybackObserver*) override {
        placed.push_back({name.c_str(), position, minimum, maximum});
    }

    std::vector<std::string> requested; // names given to CreateSound, in order
    // Sounds played once at a place, in order.
    struct Placed {
        std::string name;
        Vector3 position;
        float minimum, maximum;
    };
    std::vector<Placed> placed;
    std::vector<AudioVoice*> voices;    // voices handed out and not yet released
    int plays = 0;
    int loopedPlays = 0;
    float deviceVolume = 1.0f;
    float lastFrameTime = -1.0f;
    bool giveNothing = false; // no voice at all, as a device without the file or without output might

private:
    AudioVoice* Keep() {
        if (giveNothing) return nullptr;
        voices.push_back(new CountingVoice(&plays, &loopedPlays));
        return voices.back();
    }
    void Record(const char* what) {
        if (calls_) calls_->push_back(what);
    }
    CallList* calls_;
};

} // namespace testing_support
