#pragma once
// Headless menus: an engine with scripted input, a sound device whose voices count what they
// are told, and a canvas that records every draw and measures text at 8 pixels a character.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Engine.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuScreen.h"
#include "engine/core/Widget.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/RecordingCanvas.h"
#include "tests/support/TestSupport.h"

namespace menu_test {

using testing_support::FakeInputDevice;

// What a voice was told.
struct VoiceLog {
    std::string name;
    int plays = 0;
    int loopedPlays = 0;
    int stops = 0;
    float volume = 1.0f;
    float pitch = 1.0f;
    float pan = 0.0f;
};

// A voice that also keeps what it was told in its file's log.
class LoggingVoice : public testing_support::CountingVoice {
public:
    LoggingVoice(VoiceLog* log, int* plays, int* loopedPlays) : CountingVoice(plays, loopedPlays), log_(log) {}
    void SetVolume(float value) override {
        value_ = value;
        log_->volume = value;
    }
    void Play(bool loop) override {
        CountingVoice::Play(loop);
        ++(loop ? log_->loopedPlays : log_->plays);
    }
    void Stop() override { ++log_->stops; }
    void SetPitch(float pitch) override { log_->pitch = pitch; }
    void SetPan(float pan) override { log_->pan = pan; }

private:
    VoiceLog* log_;
};

// The shared fake device, with a log per sound file.
class CountingSound : public testing_support::FakeAudioDevice {
public:
    AudioVoice* CreateSound(const SharedString& name, bool, bool, bool) override {
        std::lock_guard<std::mutex> guard(lock_);
        requested.emplace_back(name.c_str());
        if (giveNothing) return nullptr;
        logs_.push_back(std::make_unique<VoiceLog>());
        logs_.back()->name = name.c_str();
        voices.push_back(new LoggingVoice(logs_.back().get(), &plays, &loopedPlays));
        return voices.back();
    }
    // The log of the voice made for the file (an empty log when none was made).
    VoiceLog& Voice(const std::string& name) {
        for (auto& log : logs_)
            if (log->name == name) return *log;
        static VoiceLog none;
        none = VoiceLog{};
        return none;
    }
    int Made(const std::string& name) { return int(std::count(requested.begin(), requested.end(), name)); }
    int Plays(const std::string& name) { return Voice(name).plays; }

private:
    std::mutex lock_;
    std::vector<std::unique_ptr<VoiceLog>> logs_;
};

using testing_support::DrawCall;
using testing_support::FakePicture;
using testing_support::RecordingCanvas;

// A text widget that records what reaches it.
class ProbeWidget : public TextWidget {
public:
    explicit ProbeWidget(const char* text, const Font* font = nullptr) : TextWidget(SharedString(text), font) {}
    void Fire(int32_t kind) override { fired.push_back(kind); }
    void HandleInput(const Point2i& cursor) override {
        ++inputs;
        TextWidget::HandleInput(cursor);
    }
    std::vector<int32_t> fired;
    int inputs = 0;
};

// Records the values it is given, by type.
class RecordingOption : public MenuOption {
public:
    enum Kind { Int, Float, Byte, Text };
    explicit RecordingOption(Kind k = Int) : kind(k) {}
    void SetValue(const void* value) override {
        switch (kind) {
        case Int: values.push_back(std::to_string(*static_cast<const int32_t*>(value))); break;
        case Float: values.push_back(std::to_string(*static_cast<const float*>(value))); break;
        case Byte: values.push_back(std::to_string(int(*static_cast<const uint8_t*>(value)))); break;
        case Text: values.push_back(static_cast<const SharedString*>(value)->c_str()); break;
        }
    }
    void Execute() override { ++executed; }
    void AltAction() override { ++alt; }
    Kind kind;
    std::vector<std::string> values;
    int executed = 0;
    int alt = 0;
};

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        Debugger::Instance().ResetForTests();
        engine = new ZKEngine;
        engine->input = &input;
        engine->sound = &sound;
        engine->frameTime = kFrame;
        SetMenuCanvas(&canvas);
    }
    void TearDown() override {
        for (MLP* mlp : owned) delete mlp;
        ReleaseMenuResources();
        SetMenuCanvas(nullptr);
        MenuScreen::SetMouseSpeed(0.0f);
        engine->input = nullptr;
        engine->sound = nullptr;
        delete engine;
        Debugger::Instance().ResetForTests();
    }

    // A loaded screen (the test owns it) made current as the engine's root.
    MenuScreen* RootScreen(const char* name = "Root") {
        MenuScreen* screen = NewScreen(name);
        engine->SetMLP(screen);
        screen->SetFade(0.0f);
        return screen;
    }
    MenuScreen* NewScreen(const char* name) {
        auto* screen = new MenuScreen(SharedString(name), SharedString(""));
        screen->Load();
        owned.push_back(screen);
        return screen;
    }
    // One frame of the current screen's input and update, then the frame's events end.
    void Frame() {
        if (engine->currentMLP) {
            engine->currentMLP->HandleInput();
            engine->currentMLP->Update();
        }
        input.NextFrame();
        ++engine->frameNumber;
    }
    void Press(uint32_t key) {
        input.pressed = {key};
        Frame();
    }

    static constexpr float kFrame = 1.0f / 64.0f; // exact in binary
    testing_support::TempWorkDir dir;
    FakeInputDevice input;
    CountingSound sound;
    RecordingCanvas canvas;
    ZKEngine* engine = nullptr;
    std::vector<MLP*> owned;
};

} // namespace menu_test
