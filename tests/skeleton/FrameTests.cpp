#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>

#include "engine/core/Console.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/StartUp.h"
#include "tests/skeleton/SkeletonFakes.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/LanguageWriter.h"

using namespace skeleton_test;

namespace {

bool Has(const CallList& calls, const std::string& what) {
    return std::find(calls.begin(), calls.end(), what) != calls.end();
}

class FrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        engine = new ZKEngine;
        renderer = new RecordingRenderer(calls);
        audio = new FakeAudioDevice(&calls);
        input = new FakeInputDevice(&calls);
        engine->Init(renderer, audio, input, SharedString(""));
        Debugger::Instance().SetView(&log); // the console took the log over
        renderer->RequestMode(DisplayMode{4, 2, 32, 60});
        calls.clear();
    }
    void TearDown() override {
        engine->Shutdown();
        delete input;
        delete engine;
    }
    void RunFrame(uint32_t milliseconds) {
        clock.AdvanceMs(milliseconds);
        engine->Frame();
    }

    testing_support::TempWorkDir dir;
    ScriptedClock clock;
    ClockScope clockScope{&clock};
    CallList calls;
    testing_support::LogCapture log{3};
    ZKEngine* engine = nullptr;
    RecordingRenderer* renderer = nullptr;
    FakeAudioDevice* audio = nullptr;
    FakeInputDevice* input = nullptr;
    RecordingMLP game{"Game", calls};
};

TEST_F(FrameTest, RunsTheStepsOfAFrameInOrder) {
    engine->SetMLP(&game);
    calls.clear();
    engine->tasks.AddTask([this] { calls.push_back("task"); }, &engine->rendererReady);
    RunFrame(16);
    const CallList expected = {"task",       "input Update",    "Game HandleInput", "Game Update", "sound Update",
                               "BeginScene", "AfterBeginScene", "Game Render",      "EndScene",    "EndFrame"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(engine->frameNumber, 1u);
    EXPECT_TRUE(log.Contains("ENGINE: Using Game for 0.00 seconds"));
    RunFrame(16);
    EXPECT_EQ(engine->frameNumber, 2u);
    EXPECT_NEAR(game.timeCurrent, 0.032f, 1e-5f);
}

TEST_F(FrameTest, ClampsTheFrameTimeThenScalesIt) {
    struct Case {
        uint32_t ms;
        float scalar;
        float frameTime;
        float rawFrameTime;
    };
    const Case cases[] = {
        {16, 1.0f, 0.016f, 0.016f},
        {2000, 1.0f, 0.25f, 2.0f},   // a stall hands the simulation at most the maximum
        {2000, 0.5f, 0.125f, 1.0f},
        {250, 2.0f, 0.5f, 0.5f},
        {100, 0.0f, 0.0f, 0.0f},     // time stopped: frames still run and count
    };
    engine->SetMaxFrameTime(0.25f);
    engine->SetMLP(&game);
    uint32_t frames = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.ms);
        engine->timeScalar = c.scalar;
        const float before = game.timeCurrent;
        RunFrame(c.ms);
        ++frames;
        EXPECT_NEAR(engine->frameTime, c.frameTime, 1e-5f);
        EXPECT_NEAR(engine->rawFrameTime, c.rawFrameTime, 1e-5f);
        EXPECT_NEAR(input->lastFrameTime, c.frameTime, 1e-5f);
        EXPECT_NEAR(audio->lastFrameTime, c.frameTime, 1e-5f);
        EXPECT_NEAR(game.timeCurrent - before, c.frameTime, 1e-5f);
        EXPECT_EQ(engine->frameNumber, frames);
    }
}

TEST_F(FrameTest, ALoadingMLPGetsNoInputUpdateOrRenderAndTheFrameClears) {
    RecordingMLP loader("Loader", calls, false);
    engine->currentMLP = &loader;
    RunFrame(20);
    const CallList expected = {"input Update", "sound Update", "BeginScene", "AfterBeginScene",
                               "Clear 3",      "EndScene",     "EndFrame"};
    EXPECT_EQ(calls, expected);
    EXPECT_TRUE(log.Contains("ENGINE: Loading Loader"));
    EXPECT_NEAR(loader.timeCurrent, 0.02f, 1e-5f); // its time runs while it loads
    engine->currentMLP = nullptr;
}

TEST_F(FrameTest, WithoutAnMLPTheFrameSaysSoAtAnyWarningLevelAndClears) {
    Debugger::Instance().SetWarningLevel(0);
    RunFrame(16);
    EXPECT_TRUE(log.Contains("ENGINE: No MLP loaded!"));
    EXPECT_TRUE(Has(calls, "Clear 3"));
    EXPECT_TRUE(Has(calls, "EndScene"));
    EXPECT_EQ(engine->frameNumber, 1u);
}

TEST_F(FrameTest, TheConsoleKeyWithholdsInputFromTheMLP) {
    engine->SetMLP(&game);
    calls.clear();

    input->nextPressed = {ZKEngine::kConsoleKey};
    RunFrame(16);
    EXPECT_TRUE(engine->console->IsOpen());
    EXPECT_FALSE(Has(calls, "Game HandleInput"));
    EXPECT_TRUE(Has(calls, "Game Update"));
    EXPECT_TRUE(Has(calls, "Game Render"));

    calls.clear();
    RunFrame(16); // open: the console has the keyboard
    EXPECT_FALSE(Has(calls, "Game HandleInput"));
    EXPECT_TRUE(Has(calls, "Game Update"));

    calls.clear();
    input->nextPressed = {ZKEngine::kEscapeKey};
    RunFrame(16);
    EXPECT_FALSE(engine->console->IsOpen());
    EXPECT_FALSE(Has(calls, "Game HandleInput"));

    calls.clear();
    RunFrame(16);
    EXPECT_TRUE(Has(calls, "Game HandleInput"));

    input->nextPressed = {ZKEngine::kConsoleKey};
    RunFrame(16);
    input->nextPressed = {ZKEngine::kConsoleKey};
    RunFrame(16);
    EXPECT_FALSE(engine->console->IsOpen()); // the console key closes it too
}

// A game state whose input (or update) makes another MLP current.
class SwitchingMLP : public RecordingMLP {
public:
    SwitchingMLP(CallList& calls, std::function<void()> onInput, bool inUpdate = false)
        : RecordingMLP("Menu", calls), onInput_(onInput), inUpdate_(inUpdate) {}
    void HandleInput() override {
        RecordingMLP::HandleInput();
        if (!inUpdate_) onInput_();
    }
    void Update() override {
        RecordingMLP::Update();
        if (inUpdate_) onInput_();
    }

private:
    std::function<void()> onInput_;
    bool inUpdate_;
};

TEST_F(FrameTest, AnMLPMadeCurrentByInputIsUpdatedAndDrawnOnlyWhenReady) {
    Event gate(false);
    RecordingMLP loading("Loading", calls, false);
    loading.loadGate = &gate;
    SwitchingMLP menu(calls, [&] { engine->PushMLP(&loading); });
    engine->SetMLP(&menu);
    calls.clear();
    RunFrame(16);
    const CallList expected = {"Menu HandleInput", "Menu Deactivate", "Loading Activate", "sound Update",
                               "BeginScene",       "AfterBeginScene", "Clear 3",          "EndScene",
                               "EndFrame"};
    EXPECT_EQ(std::vector<std::string>(calls.begin() + 1, calls.end()), expected); // after "input Update"
    gate.Set();
    ASSERT_TRUE(loading.WaitForInit(10.0f));

    // A ready MLP made current by input gets its update and render in the same frame.
    RecordingMLP ready("Ready", calls);
    SwitchingMLP other(calls, [&] { engine->SetMLP(&ready); });
    engine->SetMLP(&other);
    calls.clear();
    RunFrame(16);
    EXPECT_TRUE(Has(calls, "Ready Update"));
    EXPECT_TRUE(Has(calls, "Ready Render"));

    // Popping down to an empty bottom entry leaves no MLP: the frame still finishes.
    engine->currentMLP = nullptr;
    engine->mlpStack.clear();
    SwitchingMLP popper(calls, [&] { engine->PopMLP(); });
    engine->PushMLP(&popper);
    calls.clear();
    RunFrame(16);
    EXPECT_EQ(engine->currentMLP, nullptr);
    EXPECT_TRUE(Has(calls, "Clear 3"));
    EXPECT_TRUE(Has(calls, "EndScene"));

    // The same when the update does it: the MLP that leaves is not drawn, the loading one
    // neither.
    Event gate2(false);
    RecordingMLP loading2("Loading2", calls, false);
    loading2.loadGate = &gate2;
    SwitchingMLP updater(calls, [&] { engine->SetMLP(&loading2); }, true);
    engine->SetMLP(&updater);
    calls.clear();
    RunFrame(16);
    EXPECT_TRUE(Has(calls, "Menu Update"));
    EXPECT_FALSE(Has(calls, "Menu Render"));
    EXPECT_FALSE(Has(calls, "Loading2 Render"));
    EXPECT_TRUE(Has(calls, "Clear 3"));
    gate2.Set();
    ASSERT_TRUE(loading2.WaitForInit(10.0f));
}

CallList* g_counterCalls = nullptr;

void RecordCounter(RenderFacility&, const SharedString& text, float x, float y) {
    g_counterCalls->push_back(std::string("counter ") + text.c_str() + " at " + std::to_string(int(x)) + "," +
                              std::to_string(int(y)));
}

TEST_F(FrameTest, ShownCountersAreDrawnInTheirRowsBeforeTheSceneEndsAndRecordsRotate) {
    RenderStats& stats = renderer->LastFrameStats();
    stats.framesPerSecond = 60.0f;
    stats.polygons = 11;
    stats.textureSwitches = 22;
    stats.vertices = 33;
    stats.bufferSwitches = 44;
    g_counterCalls = &calls;
    engine->SetCounterTextDrawer(RecordCounter);
    engine->SetMLP(&game);

    engine->engineFlags |= ZKEngine::kCounterBits;
    engine->Init(renderer, audio, input, SharedString("")); // initialisation hides every counter
    EXPECT_EQ(engine->engineFlags, ZKEngine::kRunning);

    struct Case {
        uint32_t bits;
        CallList drawn;
    };
    const Case cases[] = {
        {ZKEngine::kCounterBits,
         {"counter 60.0000 at -180,20", "counter 11 at -180,40", "counter 22 at -180,60", "counter 33 at -180,80",
          "counter 44 at -180,100"}},
        {ZKEngine::kShowVertices, {"counter 33 at -180,80"}},
        {ZKEngine::kShowTextureSwitches | ZKEngine::kShowFrameRate,
         {"counter 60.0000 at -180,20", "counter 22 at -180,60"}},
        {0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bits);
        engine->engineFlags = ZKEngine::kRunning | c.bits;
        calls.clear();
        RunFrame(16);
        // Between the MLP's render and the end of the scene.
        auto render = std::find(calls.begin(), calls.end(), "Game Render");
        auto end = std::find(calls.begin(), calls.end(), "EndScene");
        ASSERT_TRUE(render != calls.end() && end != calls.end());
        EXPECT_EQ(CallList(render + 1, end), c.drawn);
    }
    g_counterCalls = nullptr;

    // The last-frame record takes this frame's count; this frame's starts again at 0.
    engine->frameCounts[0].value = 7;
    engine->frameCounts[0].text = SharedString("7");
    RunFrame(16);
    EXPECT_EQ(engine->frameCounts[1].value, 7);
    EXPECT_STREQ(engine->frameCounts[1].text.c_str(), "7");
    EXPECT_EQ(engine->frameCounts[0].value, 0);
    EXPECT_STREQ(engine->frameCounts[0].text.c_str(), "0");
}

TEST_F(FrameTest, TheScreenshotKeyWritesTheFirstFreeNumber) {
    dir.WriteBytes("Shot0001.TGA", "x");
    dir.WriteBytes("Shot0002.TGA", "x");
    engine->SetMLP(&game);
    input->nextPressed = {ZKEngine::kScreenshotKey};
    RunFrame(16);
    EXPECT_TRUE(Has(calls, "GrabScreen front"));
    ASSERT_TRUE(std::filesystem::exists("Shot0003.TGA"));
    EXPECT_EQ(std::filesystem::file_size("Shot0003.TGA"), 18u + 4u * 4u * 2u);
}

TEST(Screenshot, NamesPadTheNumberToFourDigits) {
    const std::pair<int32_t, const char*> cases[] = {
        {1, "Shot0001.TGA"}, {9, "Shot0009.TGA"},     {10, "Shot0010.TGA"},   {99, "Shot0099.TGA"},
        {100, "Shot0100.TGA"}, {999, "Shot0999.TGA"}, {1000, "Shot1000.TGA"}, {12345, "Shot12345.TGA"},
    };
    for (const auto& [n, name] : cases) EXPECT_STREQ(ZKEngine::ScreenshotName(n).c_str(), name);
}

TEST(Screenshot, TgaHoldsTheHeaderAndTheRowsBottomUp) {
    testing_support::TempWorkDir dir;
    // Two rows of three pixels, top row first as grabbed.
    const uint32_t pixels[6] = {0xFF000001, 0xFF000002, 0xFF000003, 0x80AABBCC, 0x80AABBCD, 0x80AABBCE};
    ASSERT_TRUE(ZKEngine::WriteTga(SharedString("Shot0001.TGA"), pixels, 3, 2));
    const std::string bytes = dir.ReadBytes("Shot0001.TGA");
    ASSERT_EQ(bytes.size(), 18u + 24u);
    const unsigned char header[18] = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 2, 0, 32, 0};
    EXPECT_EQ(bytes.substr(0, 18), std::string(reinterpret_cast<const char*>(header), 18));
    const unsigned char body[24] = {0xCC, 0xBB, 0xAA, 0x80, 0xCD, 0xBB, 0xAA, 0x80, 0xCE, 0xBB, 0xAA, 0x80,
                                    0x01, 0x00, 0x00, 0xFF, 0x02, 0x00, 0x00, 0xFF, 0x03, 0x00, 0x00, 0xFF};
    EXPECT_EQ(bytes.substr(18), std::string(reinterpret_cast<const char*>(body), 24));
}

TEST_F(FrameTest, AGrabSmallerThanTheViewportWritesNothing) {
    renderer->shortGrab = true;
    EXPECT_FALSE(engine->WriteScreenshot());
    EXPECT_FALSE(std::filesystem::exists("Shot0001.TGA"));
    renderer->shortGrab = false;
    EXPECT_TRUE(engine->WriteScreenshot());
    EXPECT_TRUE(std::filesystem::exists("Shot0001.TGA"));
}

TEST_F(FrameTest, ShutdownDeletesTheDevicesInOrderAndKeepsTheInput) {
    static CallList* fontCalls = nullptr;
    fontCalls = &calls;
    static int fontStandIn = 0;
    engine->SetDefaultFont(reinterpret_cast<Font*>(&fontStandIn), [](Font*) { fontCalls->push_back("font deleted"); });
    engine->Shutdown();
    const CallList expected = {"sound deleted", "renderer deleted", "font deleted"};
    EXPECT_EQ(calls, expected);
    EXPECT_EQ(engine->defaultFont, nullptr);
    EXPECT_EQ(engine->sound, nullptr);
    EXPECT_EQ(engine->renderer, nullptr);
    EXPECT_EQ(engine->console, nullptr);
    EXPECT_EQ(engine->input, input);
}

TEST(EngineLanguage, StartsWithTheDefaultSetAndSwitchesByName) {
    testing_support::TempWorkDir dir;
    testing_support::LogCapture log(3);
    std::filesystem::create_directories("Misc");
    tools::LanguageFile german;
    german.name = "Deutsch";
    german.texts[32768] = "Keine";
    tools::LanguageFile english;
    english.name = "English";
    english.texts[32768] = "None";
    ASSERT_TRUE(tools::WriteLanguageFile(SharedString("Misc\\A_German.ZKL"), german));
    ASSERT_TRUE(tools::WriteLanguageFile(SharedString("Misc\\DefaultEnglish.ZKL"), english));

    ZKEngine engine;
    EXPECT_STREQ(engine.Language().Name().c_str(), "English");
    EXPECT_TRUE(log.Contains("ENGINE: Found language Deutsch"));
    EXPECT_TRUE(log.Contains("ENGINE: Language = English"));

    CallList calls;
    FakeInputDevice input(&calls);
    engine.Init(nullptr, nullptr, &input, SharedString("DEUTSCH"));
    Debugger::Instance().SetView(&log);
    EXPECT_STREQ(engine.Language().Name().c_str(), "Deutsch");
    EXPECT_STREQ(engine.Language().GetString(32768).c_str(), "Keine");
    EXPECT_FALSE(engine.SetLanguage(SharedString("Klingon")));
    EXPECT_STREQ(engine.Language().Name().c_str(), "Deutsch");
    EXPECT_TRUE(engine.SetLanguage(SharedString("english")));
    EXPECT_STREQ(engine.Language().GetString(32768).c_str(), "None");
    engine.Shutdown();
}

TEST(EngineLanguage, WithoutLanguageFilesTheSetIsEmpty) {
    testing_support::TempWorkDir dir;
    testing_support::LogCapture log(3);
    ZKEngine engine;
    EXPECT_TRUE(engine.languages.Paths().empty());
    EXPECT_FALSE(engine.SetLanguage(SharedString("English")));
}

// A front end that records the profiles written.
class AutosaveFrontEnd : public NullFrontEnd {
public:
    int32_t CurrentProfileIndex() override { return profile; }
    SharedString ProfileName(int32_t) override { return SharedString("Player.VQS"); }
    void WriteSettings(const SharedString& path) override { writes.push_back(path.c_str()); }
    int32_t profile = 0;
    std::vector<std::string> writes;
};

TEST(SettingsAutosave, TwoChangesWithinASecondSaveOnceASecondAfterTheLast) {
    AutosaveFrontEnd fe;
    const float dt = 0.125f;
    SettingsSaveCountdown = 1.0f; // first change
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(TickSettingsAutosave(fe, dt));
    SettingsSaveCountdown = 1.0f; // second change half a second later
    for (int i = 0; i < 7; ++i) EXPECT_FALSE(TickSettingsAutosave(fe, dt));
    EXPECT_TRUE(TickSettingsAutosave(fe, dt));
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(TickSettingsAutosave(fe, dt));
    EXPECT_EQ(fe.writes, std::vector<std::string>{"Misc\\Player.VQS"});

    fe.profile = -1; // no profile: nothing counts down
    SettingsSaveCountdown = 1.0f;
    for (int i = 0; i < 20; ++i) EXPECT_FALSE(TickSettingsAutosave(fe, dt));
    EXPECT_EQ(SettingsSaveCountdown, 1.0f);
    EXPECT_EQ(fe.writes.size(), 1u);
    SettingsSaveCountdown = 0.0f;
}

} // namespace
