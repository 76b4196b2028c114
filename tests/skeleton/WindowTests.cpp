#include <gtest/gtest.h>

#include <algorithm>

#include "engine/core/InputDevice.h"
#include "tests/skeleton/SdlTestSupport.h"

using namespace skeleton_test;

namespace {

class WindowTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        engine->input = &input;
        engine->renderer = &renderer;
    }
    CallList calls;
    FakeInputDevice input{&calls};
    RecordingRenderer renderer{calls};
};

TEST_F(WindowTest, OpensWithTheTitleAndTheClientSizeAsked) {
    SDL_Window* w = static_cast<SDL_Window*>(window->native->NativeHandle());
    EXPECT_STREQ(SDL_GetWindowTitle(w), "Metrofare");
    EXPECT_EQ(window->clientWidth, 800);
    EXPECT_EQ(window->clientHeight, 600);
    EXPECT_FALSE(window->fullScreen);
}

TEST_F(WindowTest, EveryKindOfCloseClearsTheRunningFlagAndKeepsTheWindow) {
    const char* kinds[] = {"quit event", "window close", "signal"};
    for (const char* kind : kinds) {
        SCOPED_TRACE(kind);
        engine->engineFlags |= ZKEngine::kRunning;
        if (kind == kinds[0]) {
            SDL_Event e{};
            e.type = SDL_QUIT;
            Push(e);
        } else if (kind == kinds[1]) {
            PushWindowEvent(SDL_WINDOWEVENT_CLOSE);
        } else {
            plat::RequestQuit();
        }
        window->PumpMessages();
        EXPECT_FALSE(engine->IsRunning());
        EXPECT_NE(SDL_GetWindowFromID(WindowId()), nullptr);
    }
}

TEST_F(WindowTest, TypedTextArrivesAsCodePageBytesWithoutTheDroppedCharacters) {
    // e-acute and the euro sign exist in the code page, the CJK character does not; grave and
    // tilde are the console key's characters.
    PushText("a\xC3\xA9\xE2\x82\xAC`~\xE4\xB8\xAD" "b");
    PushKey(SDL_SCANCODE_BACKSPACE, true);
    PushKey(SDL_SCANCODE_BACKSPACE, true, 1); // typematic repeats still erase
    PushKey(SDL_SCANCODE_RETURN, true);
    PushKey(SDL_SCANCODE_TAB, true);
    PushKey(SDL_SCANCODE_ESCAPE, true);
    window->PumpMessages();
    EXPECT_EQ(input.characters, std::string("a\xE9\x80" "b\b\b"));
}

class KeyDownRecorder : public WindowMessageHandler {
public:
    KeyDownRecorder() : WindowMessageHandler(plat::kMessageKeyDown) {}
    intptr_t Handle(AppWindow&, uintptr_t wParam, intptr_t) override {
        values.push_back(int(wParam));
        return 0;
    }
    std::vector<int> values;
};

TEST_F(WindowTest, KeyDownCarriesEscapeAndEnterAndTheFirstHandlerWins) {
    KeyDownRecorder first, second;
    RegisterWindowHandler(&first);
    RegisterWindowHandler(&second);
    PushKey(SDL_SCANCODE_ESCAPE, true);
    PushKey(SDL_SCANCODE_RETURN, true);
    PushKey(SDL_SCANCODE_KP_ENTER, true);
    PushKey(SDL_SCANCODE_A, true);
    window->PumpMessages();
    UnregisterWindowHandler(&first);
    UnregisterWindowHandler(&second);
    EXPECT_EQ(first.values, (std::vector<int>{27, 13, 13, 0}));
    EXPECT_TRUE(second.values.empty());
}

TEST_F(WindowTest, ABurstOfMovesGivesOneEndOfMove) {
    engine->rendererReady = true;
    for (int i = 0; i < 5; ++i) {
        PushWindowEvent(SDL_WINDOWEVENT_MOVED, 100 + i, 50 + i);
        window->PumpMessages();
        clock.AdvanceMs(20);
    }
    EXPECT_EQ(window->screenRect, (Rect{104, 54, 904, 654}));
    clock.AdvanceMs(100);
    window->PumpMessages();
    EXPECT_TRUE(std::count(calls.begin(), calls.end(), "RequestMode 800x600x16") == 0);
    clock.AdvanceMs(200);
    window->PumpMessages();
    clock.AdvanceMs(1000);
    window->PumpMessages();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "RequestMode 800x600x16"), 1);

    // Without a device the end of a move only re-reads the size.
    engine->rendererReady = false;
    PushWindowEvent(SDL_WINDOWEVENT_SIZE_CHANGED, 800, 600);
    window->PumpMessages();
    clock.AdvanceMs(300);
    window->PumpMessages();
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "RequestMode 800x600x16"), 1);
}

TEST_F(WindowTest, AWindowAtNegativeCoordinatesKeepsItsSign) {
    PushWindowEvent(SDL_WINDOWEVENT_MOVED, -300, -20);
    window->PumpMessages();
    EXPECT_EQ(window->screenRect, (Rect{-300, -20, 500, 580}));
}

TEST_F(WindowTest, AFullScreenWindowReportsThePictureSizeNotTheDesktops) {
    // The full-screen window covers the desktop and the picture is letterboxed into it: the
    // engine (cameras, the cursor) works in the picture's 800 x 600.
    AppWindow* full = CreateAppWindow(ApplicationTitle(), Rect{0, 0, 800, 600}, true);
    ASSERT_NE(full, nullptr);
    full->Show();
    full->PumpMessages();
    SDL_Window* w = static_cast<SDL_Window*>(full->native->NativeHandle());
    EXPECT_NE(SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN_DESKTOP, 0u);
    EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
    int desktopW = 0, desktopH = 0;
    SDL_GetWindowSize(w, &desktopW, &desktopH);
    ASSERT_GT(desktopW, 800) << "the test needs a desktop larger than the picture";
    full->RefreshClientSize();
    EXPECT_EQ(full->clientWidth, 800);
    EXPECT_EQ(full->clientHeight, 600);
    EXPECT_TRUE(full->fullScreen);

    DInputDevice device;
    device.Init(full, true);
    SDL_Event e{};
    e.type = SDL_MOUSEMOTION;
    e.motion.windowID = SDL_GetWindowID(w);
    e.motion.xrel = 5000;
    e.motion.yrel = 5000;
    SDL_PushEvent(&e);
    full->PumpMessages();
    device.Update(0.016f);
    EXPECT_EQ(*device.GetCursorPosition(), (Point2i{799, 599})); // the picture's last pixel
    device.Shutdown();
    delete full;
    SDL_ShowCursor(SDL_ENABLE);
}

TEST(PositionPacking, RoundTripsSignedSixteenBitValues) {
    const int32_t values[] = {0, 1, -1, 32767, -32768, -300, 1919};
    for (int32_t x : values)
        for (int32_t y : values) {
            intptr_t packed = plat::PackPosition(x, y);
            EXPECT_EQ(plat::PositionX(packed), x);
            EXPECT_EQ(plat::PositionY(packed), y);
        }
}

TEST(CodePage, Utf8ConvertsToWindows1252AndDropsTheRest) {
    const std::pair<const char*, std::string> cases[] = {
        {"plain", "plain"},
        {"\xC3\xA9\xC3\xBF\xC2\xA0", "\xE9\xFF\xA0"},
        {"\xE2\x82\xAC\xE2\x80\x9C\xC5\xB8", "\x80\x93\x9F"},
        {"\xE4\xB8\xAD\xF0\x9F\x98\x80x", "x"},  // no such characters in the code page
        {"\xC2\x81", ""},                       // U+0081 is not a code-page character either
        {"\x80\xC3y", "y"},                     // broken sequences are skipped
    };
    for (const auto& [utf8, expected] : cases) {
        char out[32];
        size_t n = plat::Utf8ToCp1252(utf8, out, sizeof out);
        EXPECT_EQ(std::string(out, n), expected) << utf8;
    }
    char small[2];
    EXPECT_EQ(plat::Utf8ToCp1252("abcdef", small, sizeof small), 2u);
}

} // namespace
