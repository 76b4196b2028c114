#pragma once
#include <algorithm>
#include <functional>
#include <tuple>
#include <string>
#include <vector>

#include "FakeInputDevice.h"
#include "engine/audio/AudioDevice.h"
#include "engine/core/Console.h"
#include "engine/core/Engine.h"
#include "tests/support/TestSupport.h"

namespace {

// Remembers the arguments it was run with.
class RecordingCommand : public ConsoleCommand {
public:
    explicit RecordingCommand(const char* commandName) : ConsoleCommand(SharedString(commandName)) {}
    void Execute(const SharedString& arguments) override { calls.emplace_back(arguments.c_str()); }
    std::vector<std::string> calls;
};

class ReadyMLP : public MLP {
public:
    explicit ReadyMLP(const char* mlpName) { name = SharedString(mlpName); }
    bool IsReady() override { return true; }
};

// Counts a voice's plays; the console must cope without one too.
class CountingVoice : public NullAudioVoice {
public:
    explicit CountingVoice(int* plays) : plays_(plays) {}
    void SetVolume(float value) override { value_ = value; }
    AudioVoice* Clone() override { return new CountingVoice(plays_); }
    void Play(bool loop) override {
        EXPECT_FALSE(loop);
        ++*plays_;
    }

private:
    int* plays_;
};

// Like the real devices, it deletes the voices it still lists when it goes.
class CountingSound : public AudioDevice {
public:
    ~CountingSound() override {
        for (AudioVoice* v : voices) delete v;
    }
    void Init(int, AppWindow*) override {}
    void AfterBeginScene() override {}
    void Update(float) override {}
    void EndFrame() override {}
    void SetSampleRateKHz(int) override {}
    void SetMaxVoices(int) override {}
    AudioVoice* CreateVoice(SoundRequest&) override { return nullptr; }
    void ReleaseVoice(AudioVoice* voice) override {
        voices.erase(std::find(voices.begin(), voices.end(), voice));
        delete voice;
    }
    void Play3D(SoundRequest&, const Vector3&, float, float, float, PlaybackObserver*) override {}
    void Play(SoundRequest&, float, PlaybackObserver*) override {}
    void SetDeviceVolume(float) override {}
    AudioVoice* CreateSound(const SharedString& name, bool, bool, bool) override {
        requested.emplace_back(name.c_str());
        if (giveNothing) return nullptr;
        voices.push_back(new CountingVoice(&plays));
        return voices.back();
    }
    std::vector<AudioVoice*> voices;
    void PlaySound(const SharedString&, float, PlaybackObserver*) override {}
    void PlaySound3D(const SharedString&, const Vector3&, float, float, float, PlaybackObserver*) override {}
    std::vector<std::string> requested;
    int plays = 0;
    bool giveNothing = false; // as a device without the file or without output might
};

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override { StartEngine(nullptr); }
    void TearDown() override { StopEngine(); }

    void StartEngine(AudioDevice* sound, bool keepQueuedLog = false) {
        if (!keepQueuedLog) Debugger::Instance().ResetForTests();
        engine = new ZKEngine;
        engine->Init(nullptr, sound, &input, SharedString(""));
        console = engine->console;
    }
    void StopEngine() {
        if (!engine) return;
        engine->Shutdown();
        delete engine;
        engine = nullptr;
        Debugger::Instance().ResetForTests();
    }

    // Typing reaches the console while it is open.
    void Type(const char* text) {
        if (!console->IsOpen()) console->Open();
        input.Type(text);
    }
    // Types the text and presses Enter in one frame.
    void Enter(const char* text) {
        Type(text);
        input.pressed = {kKeyReturn};
        console->HandleInput(0.016f);
        input.NextFrame();
    }
    void PressKey(uint32_t key) {
        if (!console->IsOpen()) console->Open();
        input.pressed = {key};
        console->HandleInput(0.016f);
        input.NextFrame();
    }
    // The scroll-back from the given number of lines ago, oldest first.
    std::vector<std::string> Since(size_t mark) {
        std::vector<SharedString> lines = console->Lines();
        std::vector<std::string> out;
        for (size_t i = lines.size() - mark; i-- > 0;) out.emplace_back(lines[i].c_str());
        return out;
    }

    testing_support::TempWorkDir dir;
    FakeInputDevice input;
    ZKEngine* engine = nullptr;
    zkConsole* console = nullptr;
};

using Lines = std::vector<std::string>;

} // namespace
