#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <thread>
#include <filesystem>

#include "ConsoleFixture.h"
#include "tools/writers/AudioWriter.h"

TEST_F(ConsoleTest, DispatchOrderAndEcho) {
    ReadyMLP page("Page");
    RecordingCommand pageSetBuffer("SETBUFFER"), pageExit("EXIT"), pageOwn("HELLO");
    page.AddCommand(&pageSetBuffer);
    page.AddCommand(&pageExit);
    page.AddCommand(&pageOwn);
    RecordingCommand engineInputBuffer("SETINPUTBUFFER");
    engine->AddCommand(&engineInputBuffer);

    // Without a current MLP the console's own command runs; the line is echoed as typed.
    size_t mark = console->LineCount();
    Enter("  setbuffer 200  ");
    EXPECT_EQ(console->MaxLines(), 200);
    EXPECT_EQ(Since(mark), (Lines{"  setbuffer 200  "}));
    EXPECT_EQ(console->History().front(), "  setbuffer 200  ");
    EXPECT_EQ(console->InputLine().text, "");
    EXPECT_EQ(console->InputLine().cursor, 0);

    // The engine's map comes before the console's.
    Enter("setinputbuffer 50");
    EXPECT_EQ(engineInputBuffer.calls, (Lines{"50"}));
    EXPECT_EQ(console->MaxHistory(), 8);

    // The current MLP comes first, before the engine and the console.
    engine->currentMLP = &page;
    Enter("SetBuffer 300");
    Enter("exit");
    Enter("hello world  again ");
    EXPECT_EQ(pageSetBuffer.calls, (Lines{"300"}));
    EXPECT_EQ(console->MaxLines(), 200);
    EXPECT_EQ(pageExit.calls, (Lines{""}));
    EXPECT_TRUE(engine->IsRunning());
    EXPECT_EQ(pageOwn.calls, (Lines{"WORLD  AGAIN"}));

    // Nobody knows it: the echo, then the complaint. An empty line is an empty command.
    mark = console->LineCount();
    Enter("frobnicate 1");
    Enter("");
    EXPECT_EQ(Since(mark), (Lines{"frobnicate 1", "Command not recognized", "", "Command not recognized"}));
    engine->currentMLP = nullptr;
}

TEST_F(ConsoleTest, ArgumentsAreEverythingAfterTheFirstBlank) {
    RecordingCommand cmd("ARGS");
    engine->AddCommand(&cmd);
    Enter("args");
    Enter("args 1");
    Enter("args a b");
    Enter("   args   x   ");
    Enter("args  two");
    EXPECT_EQ(cmd.calls, (Lines{"", "1", "A B", "  X", " TWO"}));
    // Enter without typing on the numeric pad works the same way.
    Type("args pad");
    PressKey(kKeyPadEnter);
    EXPECT_EQ(cmd.calls.back(), "PAD");
}

TEST_F(ConsoleTest, OwnBufferCommandsKeepTheirMinimums) {
    struct Case {
        const char* line;
        int32_t lines, history;
    } cases[] = {
        {"SETBUFFER 10", 128, 8},       {"SETBUFFER 200", 200, 8},   {"SETBUFFER", 128, 8},
        {"SETINPUTBUFFER 3", 128, 8},   {"SETINPUTBUFFER 20", 128, 20}, {"SETINPUTBUFFER x", 128, 8},
        {"SETBUFFER 99999999999", 2147483647, 8},
    };
    for (const Case& c : cases) {
        Enter(c.line);
        EXPECT_EQ(console->MaxLines(), c.lines) << c.line;
        EXPECT_EQ(console->MaxHistory(), c.history) << c.line;
    }
}

TEST_F(ConsoleTest, HistoryRecallStopsAtTheLimitAndTheNewest) {
    for (int i = 1; i <= 9; ++i) Enter(("line " + std::to_string(i)).c_str());
    ASSERT_EQ(console->History().size(), 9u);

    // Up walks back to the eighth newest and stops there.
    std::vector<std::string> seen;
    for (int i = 0; i < 12; ++i) {
        PressKey(kKeyUp);
        seen.emplace_back(console->InputLine().text.c_str());
    }
    EXPECT_EQ(seen.front(), "line 9");
    EXPECT_EQ(seen[7], "line 2");
    EXPECT_EQ(seen.back(), "line 2");
    EXPECT_EQ(console->HistoryIndex(), 7);
    EXPECT_EQ(console->InputLine().cursor, 6);

    // Down stops at the newest entry; it never returns to an empty line.
    for (int i = 0; i < 10; ++i) PressKey(kKeyDown);
    EXPECT_EQ(console->HistoryIndex(), 0);
    EXPECT_EQ(console->InputLine().text, "line 9");

    // A recalled line is a copy: editing it leaves the history alone.
    Type("!");
    EXPECT_EQ(console->InputLine().text, "line 9!");
    EXPECT_EQ(console->History().front(), "line 9");
}

TEST_F(ConsoleTest, UpAndDownOnAnEmptyHistoryLeaveTheLine) {
    Type("abc");
    PressKey(kKeyUp);
    PressKey(kKeyDown);
    PressKey(kKeyUp);
    EXPECT_EQ(console->InputLine().text, "abc");
    EXPECT_EQ(console->HistoryIndex(), -1);
}

TEST_F(ConsoleTest, ScrollBackTrimmingKeepsTheNewest) {
    struct Case {
        int printed;
        const char* setBuffer;
        size_t kept;
    } cases[] = {{159, nullptr, 159}, {160, nullptr, 128}, {300, nullptr, 128}, {249, "200", 249}, {250, "200", 200}};
    for (const Case& c : cases) {
        zkConsole own; // a console of its own: nothing else prints into it
        if (c.setBuffer) own.ExecuteCommand(SharedString("SETBUFFER"), SharedString(c.setBuffer));
        for (int i = 0; i < c.printed; ++i) own.Print(SharedString::Format("%d", i));
        own.Update(0.0f);
        ASSERT_EQ(own.LineCount(), c.kept) << c.printed;
        std::vector<SharedString> lines = own.Lines();
        EXPECT_EQ(lines.front(), SharedString::Format("%d", c.printed - 1));
        EXPECT_EQ(lines.back(), SharedString::Format("%d", c.printed - int(c.kept)));
    }
}

TEST_F(ConsoleTest, HistoryTrimming) {
    for (int i = 0; i < 9; ++i) Enter("x");
    console->Update(0.0f);
    EXPECT_EQ(console->History().size(), 9u);
    Enter("newest");
    console->Update(0.0f);
    ASSERT_EQ(console->History().size(), 8u);
    EXPECT_EQ(console->History().front(), "newest");
}

TEST_F(ConsoleTest, LogFileBytesAndFlush) {
    // Each start truncates what an earlier run left.
    StopEngine();
    dir.WriteBytes("zkConsole.log", std::string(5000, 'z'));
    zkConsole own;
    EXPECT_EQ(dir.ReadBytes("zkConsole.log"), "");
    own.Print(SharedString("first line"));
    // On disk at once, while the console still holds the file open.
    EXPECT_EQ(dir.ReadBytes("zkConsole.log"), "first line\r\n");
    own.Print(SharedString(""));
    own.Print(SharedString("caf\xe9 %d"));
    EXPECT_EQ(dir.ReadBytes("zkConsole.log"), std::string("first line\r\n\r\ncaf\xe9 %d\r\n"));
}

TEST_F(ConsoleTest, WorksWhenTheLogFileCannotBeOpened) {
    StopEngine();
    std::filesystem::remove("zkConsole.log");
    std::filesystem::create_directory("zkConsole.log"); // nothing can be written there
    zkConsole own;
    own.Print(SharedString("still shown"));
    ASSERT_EQ(own.LineCount(), 1u);
    EXPECT_EQ(own.Lines().front(), "still shown");
    EXPECT_TRUE(std::filesystem::is_directory("zkConsole.log"));
}

TEST_F(ConsoleTest, ShowsTheLogFromStartUpOn) {
    StopEngine();
    Debugger::Instance().Log(3, "early line");
    Debugger::Instance().Log(3, "second early line");
    StartEngine(nullptr, true);
    std::vector<std::string> all = Since(0);
    auto early = std::find(all.begin(), all.end(), "early line");
    ASSERT_NE(early, all.end());
    EXPECT_EQ(*(early + 1), "second early line");
    EXPECT_NE(std::find(all.begin(), all.end(), "DEBUGGER: View set to zkEngine default graphical console"), all.end());
    std::string file = dir.ReadBytes("zkConsole.log");
    EXPECT_NE(file.find("early line\r\nsecond early line\r\n"), std::string::npos);

    // After the console is gone, lines wait for the next view again.
    StopEngine();
    Debugger::Instance().Log(3, "late line");
    EXPECT_EQ(Debugger::Instance().QueuedCount(), 1u);
}

TEST_F(ConsoleTest, OpenCloseListenerAndSlide) {
    EXPECT_FALSE(console->IsOpen());
    input.Type("ignored");
    EXPECT_EQ(console->InputLine().text, "");

    console->Open();
    EXPECT_TRUE(console->IsOpen());
    ASSERT_EQ(input.listeners.size(), 1u);
    input.Type("vet");
    input.OnCharacter(8);
    input.Type("r");
    EXPECT_EQ(console->InputLine().text, "ver");
    console->Open(); // never listed twice
    EXPECT_EQ(input.listeners.size(), 1u);

    console->Update(0.25f);
    EXPECT_FLOAT_EQ(console->Openness(), 0.25f);
    console->Update(1.0f);
    EXPECT_FLOAT_EQ(console->Openness(), 1.0f);
    EXPECT_FLOAT_EQ(console->Blink(), std::sin(1.25f * 10.0f));

    console->Close();
    EXPECT_FALSE(console->IsOpen());
    EXPECT_TRUE(input.listeners.empty());
    console->Update(0.5f);
    EXPECT_FLOAT_EQ(console->Openness(), 0.5f);
    console->Update(0.75f);
    EXPECT_FLOAT_EQ(console->Openness(), 0.0f);
}

TEST_F(ConsoleTest, VoiceIsMadeOnceAndPlayedOnEveryOpenAndClose) {
    StopEngine();
    FakeAudioDevice* sound = new FakeAudioDevice; // the engine deletes it at shut-down
    StartEngine(sound);
    console->Open();
    console->Close();
    console->Open();
    EXPECT_EQ(sound->requested, (Lines{"Console.WAV"}));
    EXPECT_EQ(sound->plays, 3);
    EXPECT_EQ(sound->loopedPlays, 0);
    EXPECT_EQ(engine->masterVolume.Children().size(), 1u);
}

// The program's own sound device, with and without the file, and a device that gives no
// voice at all: opening, closing and shutting down never fail.
TEST_F(ConsoleTest, VoiceWithRealDeviceMissingFileOrNoVoice) {
    struct Case {
        const char* what;
        bool real, writeFile;
        size_t attached;
    } cases[] = {{"real device, file present", true, true, 1},
                 {"real device, file missing", true, false, 1},
                 {"device gives no voice", false, false, 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        StopEngine();
        std::filesystem::remove_all("Audio");
        if (c.writeFile) {
            std::filesystem::create_directories("Audio");
            ASSERT_TRUE(tools::WriteWav("Audio/Console.WAV", 1, 22050, std::vector<int16_t>(2205, 1000)));
        }
        FakeAudioDevice* fake = c.real ? nullptr : new FakeAudioDevice;
        if (fake) fake->giveNothing = true;
        AudioDevice* device = c.real ? CreateAudioDevice(1) : fake; // the engine deletes it
        ASSERT_NE(device, nullptr);
        device->Init(0, nullptr);
        StartEngine(device);
        console->Open();
        console->Update(0.1f);
        console->Close();
        console->Open();
        device->Update(0.1f);
        EXPECT_EQ(engine->masterVolume.Children().size(), c.attached);
        if (fake) {
            EXPECT_EQ(fake->requested, (Lines{"Console.WAV"}));
        }
        console->Close();
        StopEngine(); // the device goes before the console, as at the program's end
    }
    StartEngine(nullptr);
}

TEST_F(ConsoleTest, WorksWithoutSoundOrInput) {
    // No sound device (this fixture's engine has none): the console opens, slides and takes
    // commands silently, and no voice joins the volume tree.
    const size_t before = console->Lines().size();
    Enter("ver");
    EXPECT_TRUE(console->IsOpen());
    EXPECT_TRUE(engine->masterVolume.Children().empty());
    ASSERT_GE(Since(before).size(), 2u); // the echo and the command's answer
    EXPECT_EQ(Since(before).front(), "ver");
    console->Close();
    EXPECT_FALSE(console->IsOpen());

    // No input device either: opening listens to nothing, a frame's input reads nothing and
    // leaves the line alone, the slide and the log still work, and closing is clean.
    engine->input = nullptr;
    console->Open();
    EXPECT_TRUE(console->IsOpen());
    EXPECT_TRUE(input.listeners.empty());
    console->InputLine().text = SharedString("typed before");
    input.pressed = {kKeyReturn}; // held by a device the engine no longer has
    const size_t lines = console->Lines().size();
    console->HandleInput(0.016f);
    EXPECT_STREQ(console->InputLine().text.c_str(), "typed before");
    EXPECT_EQ(console->Lines().size(), lines);
    console->Update(0.5f);
    EXPECT_FLOAT_EQ(console->Openness(), 0.5f);
    Debugger::Instance().Log(1, "still logging");
    EXPECT_EQ(Since(lines), (Lines{"still logging"}));
    console->Close();
    EXPECT_FALSE(console->IsOpen());
    input.NextFrame();

    // Once the input device is back, the console listens again on the next open.
    engine->input = &input;
    console->Open();
    EXPECT_EQ(input.listeners.size(), 1u);
    console->Close();
    EXPECT_TRUE(input.listeners.empty());
}

namespace {

// A monospaced canvas (10 pixels a character) that records what is drawn.
class RecordingCanvas : public ConsoleCanvas {
public:
    void LoadBackground(const SharedString& name) override { loaded.emplace_back(name.c_str()); }
    int32_t ScreenWidth() override { return width; }
    int32_t ScreenHeight() override { return height; }
    Rect Viewport() override { return Rect{0, 0, width, height}; }
    int32_t CharacterHeight() override { return 12; }
    int32_t TextWidth(const SharedString&, int32_t, int32_t length) override { return 10 * length; }
    int32_t FindBreak(const SharedString&, int32_t start, int32_t length, int32_t maxWidth) override {
        int32_t w = maxWidth;
        for (int32_t i = start; i < start + length; ++i)
            if ((w -= 10) <= 0) return i;
        return start + length;
    }
    void DrawBackground(const Rect& area, Color color) override {
        draws.push_back(Format("bg %d %d %d %d a%d", area.left, area.top, area.right, area.bottom, color.a));
    }
    void DrawText(int32_t x, int32_t y, const SharedString& text, int32_t start, int32_t length, Color color) override {
        std::string part(text.c_str() + start, size_t(length));
        draws.push_back(Format("%d %d a%d ", x, y, color.a) + part);
    }
    static std::string Format(const char* f, int a, int b, int c, int d = 0, int e = 0) {
        char buffer[128];
        std::snprintf(buffer, sizeof buffer, f, a, b, c, d, e);
        return buffer;
    }
    int32_t width = 200, height = 100;
    std::vector<std::string> loaded, draws;
};

} // namespace

TEST_F(ConsoleTest, DrawsSlidingBackgroundInputLineCaretAndWrappedScrollBack) {
    RecordingCanvas canvas;
    zkConsole own;
    own.SetCanvas(&canvas);
    own.Render();
    EXPECT_TRUE(canvas.draws.empty()); // closed: nothing at all

    own.Print(SharedString("old"));
    own.Print(SharedString(std::string(40, 'x')));
    own.Print(SharedString(""));
    own.Print(SharedString("new"));
    own.Open();
    own.Close();
    own.Open();
    EXPECT_EQ(canvas.loaded, (Lines{"Console.ZKT"}));
    input.Type("ab");

    // Half open: half the screen high, paler; the caret is off at this time.
    own.Update(0.5f);
    own.Render();
    EXPECT_EQ(canvas.draws[0], "bg 0 -50 200 50 a165");
    EXPECT_EQ(canvas.draws[1], "10 26 a165 > ab");

    // Fully open, the caret on (time 1.3 s). Scroll-back rows are 14 pixels; 18 characters
    // use up the 180 pixels, so segments hold 17. The block that reaches above the top edge
    // is the last one drawn.
    canvas.draws.clear();
    own.Update(0.8f);
    ASSERT_GT(own.Blink(), 0.0f);
    own.Render();
    const std::string x17(17, 'x');
    EXPECT_EQ(canvas.draws, (Lines{"bg 0 0 200 100 a255", "10 76 a255 > ab", "50 76 a255 _", "10 38 a255 new",
                                   "10 -18 a255 " + x17, "10 -4 a255 " + x17, "10 10 a255 xxxxxx"}));
    own.Close();

    // A canvas given after the first opening (the renderer came later) loads the background
    // at once; reopening does not load it again.
    RecordingCanvas late;
    own.SetCanvas(&late);
    own.Open();
    EXPECT_EQ(late.loaded, (Lines{"Console.ZKT"}));
    own.Close();
}

// Drawing that logs (as a renderer reporting a problem would) while another thread logs too:
// the new lines reach the scroll-back as it is drawn, which neither fails nor hangs.
TEST_F(ConsoleTest, DrawingThatLogsWhileAnotherThreadLogs) {
    class LoggingCanvas : public RecordingCanvas {
    public:
        void DrawText(int32_t x, int32_t y, const SharedString& text, int32_t start, int32_t length,
                      Color color) override {
            RecordingCanvas::DrawText(x, y, text, start, length, color);
            Debugger::Instance().Message("drawn %d", ++drawn);
        }
        int drawn = 0;
    };
    LoggingCanvas canvas;
    canvas.height = 4000; // every line in view
    console->SetCanvas(&canvas);
    for (int i = 0; i < 100; ++i) console->Print(SharedString::Format("line %d", i));
    console->Open();
    console->Update(1.0f);
    std::atomic<bool> done{false};
    std::thread logger([&] {
        for (int i = 0; i < 3000 && !done; ++i) Debugger::Instance().Message("thread %d", i);
    });
    for (int frame = 0; frame < 20; ++frame) {
        console->Render();
        console->Update(0.016f);
    }
    done = true;
    logger.join();
    console->Update(0.0f);
    EXPECT_GT(canvas.drawn, 2000);
    EXPECT_LE(console->LineCount(), size_t(zkConsole::kMinLines * 1.25));
    console->Close();
    console->SetCanvas(nullptr);
}

TEST_F(ConsoleTest, InputLineNeverGrowsWiderThanTheScreen) {
    RecordingCanvas canvas;
    console->SetCanvas(&canvas);
    canvas.width = 100; // 70 pixels: seven characters
    Type("abcdefghijkl");
    console->HandleInput(0.016f);
    EXPECT_EQ(console->InputLine().text, "abcdefg");
    EXPECT_EQ(console->InputLine().cursor, 7);
    canvas.width = 20; // nothing fits: the trimming ends at the empty line
    console->HandleInput(0.016f);
    EXPECT_EQ(console->InputLine().text, "");
    console->SetCanvas(nullptr);
}
