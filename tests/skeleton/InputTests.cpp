#include <gtest/gtest.h>

#include <vector>

#include "engine/core/InputDevice.h"
#include "engine/core/LanguageSet.h"
#include "tests/skeleton/SdlTestSupport.h"
#include "tools/writers/LanguageWriter.h"

using namespace skeleton_test;

namespace {

class InputTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        device.Init(window, false);
        ASSERT_TRUE(device.Running());
        engine->input = &device;
    }
    void TearDown() override {
        device.Shutdown();
        WindowFixture::TearDown();
    }
    // One frame: the pump moves SDL's queue into the buffers, the device reads them.
    void Frame(float dt = 1.0f / 60.0f) {
        window->PumpMessages();
        device.Update(dt);
    }
    DInputDevice device;
};

TEST_F(InputTest, KeysArePressedHeldAndReleasedAcrossFrames) {
    const std::pair<uint32_t, SDL_Scancode> keys[] = {
        {0, SDL_SCANCODE_A},       {25, SDL_SCANCODE_Z},       {26, SDL_SCANCODE_1},    {35, SDL_SCANCODE_0},
        {36, SDL_SCANCODE_F1},     {47, SDL_SCANCODE_F12},     {48, SDL_SCANCODE_ESCAPE}, {52, SDL_SCANCODE_GRAVE},
        {55, SDL_SCANCODE_RETURN}, {62, SDL_SCANCODE_RALT},    {63, SDL_SCANCODE_SPACE}, {70, SDL_SCANCODE_UP},
        {73, SDL_SCANCODE_RIGHT},  {74, SDL_SCANCODE_KP_0},    {83, SDL_SCANCODE_KP_9}, {89, SDL_SCANCODE_KP_ENTER},
        {99, SDL_SCANCODE_MINUS},  {100, SDL_SCANCODE_EQUALS},
    };
    for (const auto& [key, scancode] : keys) {
        SCOPED_TRACE(key);
        PushKey(scancode, true);
        Frame();
        EXPECT_TRUE(device.Pressed(key));
        EXPECT_TRUE(device.Held(key));
        EXPECT_FALSE(device.Released(key));
        Frame();
        EXPECT_FALSE(device.Pressed(key));
        EXPECT_TRUE(device.Held(key));
        PushKey(scancode, false);
        Frame();
        EXPECT_TRUE(device.Released(key));
        EXPECT_FALSE(device.Held(key));
        Frame();
        EXPECT_FALSE(device.Released(key));
    }
    // Two engine codes share the minus key.
    PushKey(SDL_SCANCODE_MINUS, true);
    Frame();
    EXPECT_TRUE(device.Pressed(87));
    EXPECT_TRUE(device.Pressed(99));
}

TEST_F(InputTest, TypematicRepeatsMakeNoEvents) {
    PushKey(SDL_SCANCODE_A, true);
    Frame();
    for (int i = 0; i < 3; ++i) PushKey(SDL_SCANCODE_A, true, 1);
    Frame();
    EXPECT_FALSE(device.Pressed(0));
    EXPECT_TRUE(device.Held(0));
}

} // namespace

class RepeatTest : public InputTest {
protected:
    // Frames at which Repeat answers true while the Down key is held from frame 0.
    std::vector<int> RepeatFrames(float dt, float delay, float interval, int frames) {
        std::vector<int> fired;
        PushKey(SDL_SCANCODE_DOWN, true);
        for (int f = 0; f < frames; ++f) {
            Frame(dt);
            if (device.Repeat(kKeyDown, delay, interval)) fired.push_back(f);
        }
        PushKey(SDL_SCANCODE_DOWN, false);
        Frame(dt);
        return fired;
    }
};

namespace {

TEST_F(RepeatTest, RepeatFiresOnThePressThenAfterTheDelayThenEachInterval) {
    // Binary-exact steps: the held time lands on the delay exactly (a pulse), then on each
    // interval.
    EXPECT_EQ(RepeatFrames(1.0f / 64, 0.25f, 0.0625f, 33), (std::vector<int>{0, 16, 20, 24, 28, 32}));

    // The menus' 0.25 s / 0.05 s at 60 frames a second: the press; frame 15, where the float
    // sum of the steps lands exactly on the delay; frame 18, where 0.30 s have accumulated;
    // then every third frame.
    std::vector<int> fired = RepeatFrames(1.0f / 60, 0.25f, 0.05f, 60);
    ASSERT_GE(fired.size(), 6u);
    EXPECT_EQ(std::vector<int>(fired.begin(), fired.begin() + 3), (std::vector<int>{0, 15, 18}));
    for (size_t i = 3; i < fired.size(); ++i) EXPECT_EQ(fired[i] - fired[i - 1], 3) << i;

    // An interval at or below zero fires on every frame after the delay, and returns.
    std::vector<int> everyFrame = RepeatFrames(1.0f / 64, 0.25f, 0.0f, 20);
    EXPECT_EQ(everyFrame, (std::vector<int>{0, 16, 17, 18, 19}));
    EXPECT_EQ(RepeatFrames(1.0f / 64, 0.25f, -1.0f, 18), (std::vector<int>{0, 16, 17}));
}

TEST_F(InputTest, OfTwoKeysDownInOneFrameTheFirstBecomesTheRepeatKey) {
    Frame();
    PushKey(SDL_SCANCODE_B, true);
    PushKey(SDL_SCANCODE_A, true);
    Frame();
    EXPECT_EQ(device.RepeatKey(), int32_t(SDL_SCANCODE_B));
    EXPECT_TRUE(device.HeldFor(1, 10.0f)); // pressed this frame
    for (int i = 0; i < 6; ++i) Frame(0.02f);
    EXPECT_FALSE(device.HeldFor(0, 0.0f)); // A is held but is not the repeat key
    EXPECT_TRUE(device.HeldFor(1, 0.1f));
    EXPECT_FALSE(device.HeldFor(1, 0.2f));
    PushKey(SDL_SCANCODE_B, false);
    Frame();
    EXPECT_EQ(device.RepeatKey(), -1);
}

TEST_F(InputTest, EngineCodesOutsideTheTableAreNoKey) {
    PushKey(SDL_SCANCODE_A, true);
    PushKey(SDL_SCANCODE_BACKSLASH, true); // tracked, but no engine code reaches it
    Frame();
    for (uint32_t code = 101; code < 256; ++code) {
        EXPECT_FALSE(device.Pressed(code));
        EXPECT_FALSE(device.Held(code));
        EXPECT_FALSE(device.Released(code));
        EXPECT_FALSE(device.Repeat(code, 0.25f, 0.05f));
        EXPECT_FALSE(device.HeldFor(code, 0.0f));
    }
    EXPECT_FALSE(device.Held(96)); // the unassigned code
    EXPECT_FALSE(device.Held(0xFFFFFFFFu));
}

TEST_F(InputTest, FocusLossResetsKeysAndButtonsOnceAndDropsEventsUntilFocusReturns) {
    PushKey(SDL_SCANCODE_A, true);
    PushMouseButton(SDL_BUTTON_LEFT, true);
    Frame();
    ASSERT_TRUE(device.Held(0));
    ASSERT_TRUE(device.MouseHeld(0));

    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Frame();
    EXPECT_FALSE(device.Held(0));
    EXPECT_FALSE(device.MouseHeld(0));
    EXPECT_TRUE(log.Contains("ENGINE: Failed getting KBStatus"));
    EXPECT_TRUE(log.Contains("ENGINE: Resetting keystates"));
    EXPECT_FALSE(log.Contains("ENGINE: Focus lost"));

    PushKey(SDL_SCANCODE_B, true); // in the background: dropped
    PushMouseButton(SDL_BUTTON_RIGHT, true);
    Frame();
    EXPECT_TRUE(log.Contains("ENGINE: Focus lost"));
    EXPECT_FALSE(device.Pressed(1));
    EXPECT_FALSE(device.MousePressed(1));

    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    Frame();
    EXPECT_FALSE(device.Held(1));
    EXPECT_FALSE(device.MouseHeld(1));
    PushKey(SDL_SCANCODE_C, true);
    Frame();
    EXPECT_TRUE(device.Pressed(2));
}

TEST_F(InputTest, MouseMovementWheelAndButtons) {
    PushMotion(3, -2);
    PushMotion(4, 1);
    PushWheel(1);
    Frame();
    EXPECT_EQ(device.GetMouseState()->x, 7.0f);
    EXPECT_EQ(device.GetMouseState()->y, -1.0f);
    EXPECT_EQ(device.GetMouseState()->wheel, -120.0f); // a notch away from the user
    Frame();
    EXPECT_EQ(device.GetMouseState()->x, 0.0f); // movement is this frame's only

    const std::pair<int32_t, float> wheels[] = {{-1, 120.0f}, {-2, 240.0f}, {3, -360.0f}};
    for (const auto& [notches, value] : wheels) {
        PushWheel(notches);
        Frame();
        EXPECT_EQ(device.GetMouseState()->wheel, value) << notches;
    }
    PushWheel(1, true); // flipped devices report the other way round
    Frame();
    EXPECT_EQ(device.GetMouseState()->wheel, 120.0f);

    const std::pair<uint8_t, uint32_t> buttons[] = {
        {SDL_BUTTON_LEFT, 0}, {SDL_BUTTON_RIGHT, 1}, {SDL_BUTTON_MIDDLE, 2}, {SDL_BUTTON_X1, 3}, {SDL_BUTTON_X2, 4}};
    for (const auto& [sdlButton, button] : buttons) {
        SCOPED_TRACE(button);
        PushMouseButton(sdlButton, true);
        Frame();
        EXPECT_TRUE(device.MousePressed(button));
        EXPECT_TRUE(device.MouseHeld(button));
        Frame();
        EXPECT_FALSE(device.MousePressed(button));
        EXPECT_TRUE(device.MouseHeld(button));
        PushMouseButton(sdlButton, false);
        Frame();
        EXPECT_TRUE(device.MouseReleased(button));
        EXPECT_FALSE(device.MouseHeld(button));
    }
}

TEST_F(InputTest, InFullScreenTheCursorFollowsTheMouseAndStopsAtTheEdge) {
    device.Init(window, true);
    PushMotion(5, 7);
    Frame();
    EXPECT_EQ(*device.GetCursorPosition(), (Point2i{5, 7}));
    PushMotion(5000, 5000);
    Frame();
    EXPECT_EQ(*device.GetCursorPosition(), (Point2i{799, 599}));
    PushMotion(-10000, -3);
    Frame();
    EXPECT_EQ(*device.GetCursorPosition(), (Point2i{0, 596}));
}

TEST_F(InputTest, EventsBeforeTheDeviceStartsAreNotKept) {
    // During the intro the window is pumped but the device is not running yet.
    device.Shutdown();
    PushKey(SDL_SCANCODE_A, true);
    PushMouseButton(SDL_BUTTON_LEFT, true);
    window->PumpMessages();
    device.Init(window, false);
    Frame();
    EXPECT_FALSE(device.Pressed(0));
    EXPECT_FALSE(device.Held(0));
    EXPECT_FALSE(device.MousePressed(0));
    PushKey(SDL_SCANCODE_A, true);
    Frame();
    EXPECT_TRUE(device.Pressed(0));
}

TEST_F(InputTest, BufferedEventsBeyondTheBufferAreDropped) {
    // 40 key changes in one frame: the keyboard buffer keeps the first 32.
    for (int i = 0; i < 20; ++i) {
        PushKey(SDL_SCANCODE_A, true);
        PushKey(SDL_SCANCODE_A, false);
    }
    PushKey(SDL_SCANCODE_B, true);
    Frame();
    EXPECT_TRUE(device.Pressed(0));
    EXPECT_FALSE(device.Pressed(1));
}

TEST_F(InputTest, KeyNamesComeFromTheKeyboardAndTheLanguageSet) {
    tools::LanguageFile file;
    file.header = "test";
    file.name = "English";
    file.texts = {{32768, "None"}, {32769, "Key"},  {32770, "Mouse 1"}, {32778, "Mouse left"},
                  {32784, "Joy"},  {32785, "X-"},   {32787, "Y-"},      {32791, "Button"}};
    ASSERT_TRUE(tools::WriteLanguageFile(SharedString("lang.zkl"), file));
    LanguageTexts texts;
    LanguageSet set(&texts);
    ASSERT_TRUE(set.Load(SharedString("lang.zkl"), &texts));
    device.SetLanguage(&set);

    const std::pair<int32_t, const char*> cases[] = {
        {-1, "None"},         {0, "A"},          {63, "Space"},       {55, "Return"},
        {96, "Key 96"},       {150, "Key 150"},  {255, "Key 255"},    {-7, "Key -7"},
        {256, "Mouse 1"},     {264, "Mouse left"}, {1024, "Joy1 X-"}, {0x402, "Joy1 Y-"},
        {0x809, "Joy2 Button 3"},
    };
    for (const auto& [code, name] : cases) EXPECT_STREQ(device.GetKeyName(code).c_str(), name) << code;
}

TEST(InputShaping, JoystickAxesHaveADeadZoneAndASquareRootResponse) {
    const std::pair<int32_t, float> cases[] = {
        {0, 0.0f},    {40, 0.0f},   {50, 0.0f},    {-50, 0.0f},  {250, 0.5f},   {-250, -0.5f},
        {900, 0.94868f}, {903, 1.0f}, {960, 1.0f}, {1000, 1.0f}, {-1000, -1.0f},
    };
    for (const auto& [raw, shaped] : cases) EXPECT_NEAR(DInputDevice::ShapeAxis(raw), shaped, 1e-4f) << raw;
}

TEST(InputText, TheFrontListenerGetsTypedCharactersAndBackspace) {
    DInputDevice device;
    TextListener back, front;
    back.text = SharedString("keep");
    device.AddTextListener(&back);
    device.AddTextListener(&front);
    for (char c : std::string("ab\x80")) device.OnCharacter(uint8_t(c));
    EXPECT_EQ(std::string(front.text.c_str()), "ab\x80");
    EXPECT_EQ(front.cursor, 3);
    device.OnCharacter(8);
    EXPECT_EQ(std::string(front.text.c_str()), "ab");
    EXPECT_EQ(front.cursor, 2);
    device.OnCharacter(8);
    device.OnCharacter(8);
    device.OnCharacter(8); // nothing left to erase
    EXPECT_EQ(std::string(front.text.c_str()), "");
    EXPECT_EQ(front.cursor, 0);
    EXPECT_STREQ(back.text.c_str(), "keep");
    device.RemoveTextListener(&front);
    device.OnCharacter('!');
    EXPECT_STREQ(back.text.c_str(), "keep!");
    device.RemoveTextListener(&back);
    device.OnCharacter('?'); // no listener: nothing happens
    EXPECT_STREQ(back.text.c_str(), "keep!");

    // A long line keeps every character and a cursor that matches it.
    TextListener longLine;
    device.AddTextListener(&longLine);
    for (int i = 0; i < 1500; ++i) device.OnCharacter(uint32_t('a' + i % 26));
    EXPECT_EQ(longLine.text.Length(), 1500);
    EXPECT_EQ(longLine.cursor, 1500);
    EXPECT_EQ(longLine.text[1499], 'a' + 1499 % 26);
    device.OnCharacter(8);
    EXPECT_EQ(longLine.text.Length(), 1499);
}

TEST(InputWithoutDevices, AnIdleDeviceAnswersNothing) {
    DInputDevice device;
    device.Update(0.1f);
    EXPECT_FALSE(device.Pressed(0));
    EXPECT_FALSE(device.Held(0));
    EXPECT_FALSE(device.MouseHeld(0));
    EXPECT_EQ(device.GetJoystickCount(), 0u);
    EXPECT_EQ(device.GetMouseState()->x, 0.0f);
    const float* axes = device.GetJoystick(3);
    EXPECT_EQ(axes[0], 0.0f);
    EXPECT_FALSE(device.JoystickHeld(3, 0));
}

// A virtual joystick attached through SDL stands in for a game controller.
class JoystickTest : public WindowFixture {
protected:
    void SetUp() override {
        WindowFixture::SetUp();
        ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_JOYSTICK), 0);
        int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, 3, 40, 0);
        if (index < 0) GTEST_SKIP() << "no virtual joysticks: " << SDL_GetError();
        stick = SDL_JoystickOpen(index);
        ASSERT_NE(stick, nullptr);
        device.Init(window, false);
        ASSERT_EQ(device.GetJoystickCount(), 1u);
    }
    void TearDown() override {
        device.Shutdown();
        if (stick) SDL_JoystickClose(stick);
        SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
        WindowFixture::TearDown();
    }
    void Frame() {
        window->PumpMessages();
        device.Update(1.0f / 60.0f);
    }
    SDL_Joystick* stick = nullptr;
    DInputDevice device;
};

TEST_F(JoystickTest, AxesAndButtonsOfAController) {
    SDL_JoystickSetVirtualAxis(stick, 0, 8192);   // 250 of 1000
    SDL_JoystickSetVirtualAxis(stick, 1, -32768); // full deflection
    SDL_JoystickSetVirtualAxis(stick, 2, 1000);   // inside the dead zone
    SDL_JoystickSetVirtualButton(stick, 2, SDL_PRESSED);
    SDL_JoystickSetVirtualButton(stick, 35, SDL_PRESSED); // beyond the 32 the engine reads
    Frame();
    const float* axes = device.GetJoystick(0);
    EXPECT_NEAR(axes[0], 0.5f, 0.002f);
    EXPECT_EQ(axes[1], -1.0f);
    EXPECT_EQ(axes[2], 0.0f);
    EXPECT_TRUE(device.JoystickPressed(0, 2));
    EXPECT_TRUE(device.JoystickHeld(0, 2));
    EXPECT_FALSE(device.JoystickHeld(0, 35));
    Frame();
    EXPECT_FALSE(device.JoystickPressed(0, 2));
    EXPECT_TRUE(device.JoystickHeld(0, 2));

    // A button released in the background is not left held.
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_LOST);
    Frame();
    EXPECT_FALSE(device.JoystickHeld(0, 2));
    EXPECT_EQ(device.GetJoystick(0)[0], 0.0f);
    PushWindowEvent(SDL_WINDOWEVENT_FOCUS_GAINED);
    Frame();
    SDL_JoystickSetVirtualButton(stick, 2, SDL_RELEASED);
    Frame();
    EXPECT_TRUE(device.JoystickReleased(0, 2));
    EXPECT_FALSE(device.JoystickHeld(0, 2));
    EXPECT_NEAR(device.GetJoystick(0)[0], 0.5f, 0.002f);
}

} // namespace
