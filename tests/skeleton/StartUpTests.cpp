#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/StartUp.h"
#include "tests/skeleton/SkeletonFakes.h"
#include "tests/support/TestSupport.h"

using namespace skeleton_test;

namespace {

// The front end's main page: after three frames it closes the window as a user would.
class ClosingPage : public RecordingMLP {
public:
    explicit ClosingPage(CallList& calls) : RecordingMLP("Main", calls) {}
    void Update() override {
        RecordingMLP::Update();
        ZKEngine* engine = ZKEngine::Get();
        if (++frames == 1) {
            SDL_Window* w = static_cast<SDL_Window*>(engine->window->native->NativeHandle());
            title = SDL_GetWindowTitle(w);
            SDL_GetWindowSize(w, &width, &height);
            SDL_GetWindowPosition(w, &x, &y);
        }
        if (frames == 3) {
            SDL_Event e{};
            e.type = SDL_WINDOWEVENT;
            e.window.event = SDL_WINDOWEVENT_CLOSE;
            e.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(engine->window->native->NativeHandle()));
            SDL_PushEvent(&e);
        }
    }
    int frames = 0;
    std::string title;
    int width = 0, height = 0, x = 0, y = 0;
};

class RecordingFrontEnd : public NullFrontEnd {
public:
    RecordingFrontEnd(CallList& calls) : calls_(calls), page(calls) {}
    MLP* CreateFrontEnd() override {
        calls_.push_back("CreateFrontEnd");
        frontEndOptionSeen = FrontEndOptionFlag();
        return &page;
    }
    void ApplyMenuVideoMode() override { calls_.push_back("ApplyMenuVideoMode"); }
    void WriteSettings(const SharedString& path) override { calls_.push_back(std::string("WriteSettings ") + path.c_str()); }
    void CloseNetwork() override { calls_.push_back("CloseNetwork"); }
    CallList& calls_;
    ClosingPage page;
    bool frontEndOptionSeen = false;
};

// The calls of the start-up and the shut-down, without the per-frame ones.
CallList WithoutFrames(const CallList& calls) {
    static const char* const kFrame[] = {"BeginScene", "EndScene", "AfterBeginScene", "EndFrame", "sound Update",
                                         "Main HandleInput", "Main Update", "Main Render"};
    CallList out;
    bool started = false;
    for (const std::string& c : calls) {
        bool frameCall = std::find(std::begin(kFrame), std::end(kFrame), c) != std::end(kFrame);
        if (c == "Main Activate") started = true;
        if (started && frameCall) continue;
        out.push_back(c);
    }
    return out;
}

TEST(StartUp, RunsTheStartUpInOrderAndShutsDownAfterTheWindowCloses) {
    testing_support::TempWorkDir dir;
    dir.WriteBytes("Intro.AVI", "not played here");
    CallList calls;
    RecordingFrontEnd frontEnd(calls);
    StartUpServices services;
    services.frontEnd = &frontEnd;
    services.createRenderer = [&] {
        calls.push_back("createRenderer");
        return new RecordingRenderer(calls);
    };
    services.createAudioDevice = [&](int type) -> AudioDevice* {
        calls.push_back("createAudioDevice " + std::to_string(type));
        return new FakeAudioDevice(&calls);
    };
    services.loadDefaultResources = [&](ZKEngine& engine) {
        calls.push_back(std::string("defaults ") + (engine.rendererReady ? "ready" : "not ready"));
    };
    services.playIntro = [&](ZKEngine&, bool sound) { calls.push_back(sound ? "intro" : "intro silent"); };

    const int code = RunApplication(SharedString("-f -v2 -R -s -j -w3 -l english"), services);
    EXPECT_EQ(code, 0);

    const CallList expected = {
        "createAudioDevice 1", "createRenderer", "SetWindow", "ChooseDevice 2", "UseDefaultRefresh 0",
        "ApplyMenuVideoMode", "CreateDevice", "defaults ready", "intro silent",      // -S reaches the intro
        "BeginScene", "Clear 1", "EndScene", // one cleared frame after the intro
        "sound Init", "DeviceVolume 0",     // -S
        "CreateFrontEnd", "Main Activate",
        "CloseNetwork", "sound deleted", "renderer deleted", "WriteSettings Misc\\Default.VQS",
    };
    EXPECT_EQ(WithoutFrames(calls), expected);
    EXPECT_EQ(frontEnd.page.frames, 3);
    EXPECT_TRUE(frontEnd.frontEndOptionSeen);
    EXPECT_EQ(frontEnd.page.title, "Metrofare");
    EXPECT_EQ(frontEnd.page.width, 800);
    EXPECT_EQ(frontEnd.page.height, 600);
    SDL_Rect desktop;
    ASSERT_EQ(SDL_GetDisplayBounds(0, &desktop), 0);
    EXPECT_EQ(frontEnd.page.x, (desktop.x + desktop.w - 800) / 2); // centred on the desktop
    EXPECT_EQ(frontEnd.page.y, (desktop.y + desktop.h - 600) / 2);
    EXPECT_EQ(Debugger::Instance().GetWarningLevel(), 3);
    EXPECT_STREQ(BuildBanner().c_str(), (std::string("Build 236 (") + __DATE__ + ")").c_str());

    ZKEngine* engine = ZKEngine::Get();
    ASSERT_NE(engine, nullptr);
    EXPECT_FALSE(engine->IsRunning());
    EXPECT_EQ(engine->window, nullptr);
    EXPECT_EQ(engine->renderer, nullptr);
    EXPECT_EQ(engine->maxFrameTime, 0.25f);
    ASSERT_NE(engine->input, nullptr); // never deleted by the shut-down
    delete engine->input;
    delete engine;
}

TEST(StartUp, SkipsTheIntroWithMAndWithoutTheFile) {
    testing_support::TempWorkDir dir;
    for (bool withFile : {false, true}) {
        SCOPED_TRACE(withFile);
        if (withFile) dir.WriteBytes("Intro.AVI", "x");
        CallList calls;
        RecordingFrontEnd frontEnd(calls);
        StartUpServices services;
        services.frontEnd = &frontEnd;
        services.playIntro = [&](ZKEngine&, bool sound) { calls.push_back(sound ? "intro" : "intro silent"); };
        EXPECT_EQ(RunApplication(SharedString(withFile ? "-M -F" : "-F"), services), 0);
        EXPECT_EQ(std::count(calls.begin(), calls.end(), "intro"), 0);
        EXPECT_EQ(frontEnd.page.frames, 3);
        ZKEngine* engine = ZKEngine::Get();
        delete engine->input;
        delete engine;
    }
}

// The window closed (or SIGTERM) while the intro plays: the program ends there. No menu, game or
// music is loaded only to be freed, and the settings, never read, are not written over.
TEST(StartUp, ACloseDuringTheIntroEndsTheProgramWithoutBuildingTheFrontEnd) {
    testing_support::TempWorkDir dir;
    dir.WriteBytes("Intro.AVI", "not played here");
    CallList calls;
    RecordingFrontEnd frontEnd(calls);
    StartUpServices services;
    services.frontEnd = &frontEnd;
    services.createAudioDevice = [&](int) -> AudioDevice* { return new FakeAudioDevice(&calls); };
    services.playIntro = [&](ZKEngine& engine, bool) {
        calls.push_back("intro");
        engine.Stop();
    };
    EXPECT_EQ(RunApplication(SharedString("-F"), services), 0);
    const CallList expected = {"ApplyMenuVideoMode", "intro", "CloseNetwork", "sound deleted"};
    EXPECT_EQ(WithoutFrames(calls), expected);
    EXPECT_EQ(frontEnd.page.frames, 0);
    ZKEngine* engine = ZKEngine::Get();
    delete engine->input;
    delete engine;
}

} // namespace
