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

class FakePicture : public MenuPicture {
public:
    FakePicture(std::string pictureName, int32_t w, int32_t h) : name(std::move(pictureName)), width(w), height(h) {}
    int32_t Width() const override { return width; }
    int32_t Height() const override { return height; }
    std::string name;
    int32_t width, height;
};

struct DrawCall {
    std::string kind; // "clear", "background", "sprite", "anchored", "fill", "text"
    std::string what; // the text, or the picture's name
    float x = 0, y = 0;
    int32_t anchor = 0;
    bool hasColor = false;
    Color color;
    uint8_t flags = 0;
    bool hasSource = false;
    Rect source;
    const Font* font = nullptr;
};

class RecordingCanvas : public MenuCanvas {
public:
    static constexpr int32_t kCharWidth = 8;
    static constexpr int32_t kFontSize = 16;

    MenuPicture* LoadPicture(const SharedString& name, uint32_t options) override {
        loads.push_back(name.c_str());
        EXPECT_EQ(options, 1u);
        auto it = sizes.find(name.c_str());
        const Point2i size = it == sizes.end() ? Point2i{64, 16} : it->second;
        return new FakePicture(name.c_str(), size.x, size.y);
    }
    int32_t ScreenWidth() override { return 800; }
    int32_t ScreenHeight() override { return 600; }
    double TextWidth(const Font* font, const SharedString& text, int32_t start, int32_t length) override {
        const int32_t n = length < 0 ? text.Length() - start : std::min(length, text.Length() - start);
        return double(std::max(n, 0) * CharWidth(font));
    }
    int32_t FontSize(const Font* font) override {
        auto it = fontSizes.find(font);
        return it == fontSizes.end() ? kFontSize : it->second;
    }
    void Clear(uint32_t flags) override { Add("clear", std::to_string(flags), {}, 0, nullptr, 0, nullptr, nullptr); }
    void DrawBackground(const MenuPicture* p, const Color* c, uint8_t f) override {
        Add("background", Name(p), {}, 0, c, f, nullptr, nullptr);
    }
    void DrawSprite(const MenuPicture* p, const Rect* s, const Vector2& at, const Color* c, uint8_t f) override {
        Add("sprite", Name(p), at, 0, c, f, s, nullptr);
    }
    void DrawSpriteAnchored(const MenuPicture* p, const Rect* s, int32_t align, const Vector2& at, int32_t anchor,
                            const Color* c, uint8_t f) override {
        EXPECT_EQ(align, anchor);
        Add("anchored", Name(p), at, anchor, c, f, s, nullptr);
    }
    void FillScreen(const Color& c) override { Add("fill", "", {}, 0, &c, 0, nullptr, nullptr); }
    void DrawText(const SharedString& text, const Vector2& at, int32_t anchor, const Color* c, const Font* font,
                  bool shadow) override {
        EXPECT_TRUE(shadow);
        Add("text", text.c_str(), at, anchor, c, 0, nullptr, font);
    }

    int32_t CharWidth(const Font* font) const {
        auto it = charWidths.find(font);
        return it == charWidths.end() ? kCharWidth : it->second;
    }
    // The draws of one kind, or of the text / picture named.
    std::vector<DrawCall> Of(const std::string& kind, const std::string& what = "") const {
        std::vector<DrawCall> out;
        for (const DrawCall& d : calls)
            if (d.kind == kind && (what.empty() || d.what == what)) out.push_back(d);
        return out;
    }
    std::vector<std::string> Kinds() const {
        std::vector<std::string> out;
        for (const DrawCall& d : calls) out.push_back(d.kind + " " + d.what);
        return out;
    }

    std::map<std::string, Point2i> sizes;
    std::map<const Font*, int32_t> charWidths;
    std::map<const Font*, int32_t> fontSizes;
    std::vector<std::string> loads;
    std::vector<DrawCall> calls;

private:
    static std::string Name(const MenuPicture* p) { return p ? static_cast<const FakePicture*>(p)->name : "null"; }
    void Add(const char* kind, std::string what, const Vector2& at, int32_t anchor, const Color* c, uint8_t f,
             const Rect* s, const Font* font) {
        DrawCall d;
        d.kind = kind;
        d.what = std::move(what);
        d.x = at.x;
        d.y = at.y;
        d.anchor = anchor;
        d.hasColor = c != nullptr;
        if (c) d.color = *c;
        d.flags = f;
        d.hasSource = s != nullptr;
        if (s) d.source = *s;
        d.font = font;
        calls.push_back(d);
    }
};

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
