#include <thread>

#include "MenuFixture.h"
#include "engine/core/MenuWidgets.h"

using namespace menu_test;

namespace {

class ScreenTest : public MenuTest {
protected:
    // Five probes 100 pixels apart; the ones listed are disabled.
    MenuScreen* FiveWidgets(std::initializer_list<int> disabled = {}) {
        MenuScreen* screen = NewScreen("Five");
        for (int i = 0; i < 5; ++i) {
            auto* w = new ProbeWidget(("Item" + std::to_string(i)).c_str());
            w->SetPosition({100, 100 * i}, false);
            probes.push_back(w);
            screen->AddWidget(w);
        }
        for (int i : disabled) probes[size_t(i)]->SetEnabled(false);
        engine->SetMLP(screen);
        screen->SetFade(0.0f);
        return screen;
    }
    std::vector<ProbeWidget*> probes;
};

} // namespace

TEST_F(ScreenTest, KeysAndWheelMoveTheSelectionPastDisabledWidgetsAndWrap) {
    MenuScreen* screen = FiveWidgets({1, 2});
    ASSERT_EQ(screen->selected, 0);
    EXPECT_TRUE(probes[0]->IsFocused());
    struct Step {
        const char* what;
        uint32_t key;   // 0: the wheel
        float wheel;
        int32_t expected;
    } steps[] = {
        {"Down skips 1 and 2", kKeyDown, 0, 3}, {"Down", kKeyDown, 0, 4},    {"Down wraps", kKeyDown, 0, 0},
        {"Up wraps", kKeyUp, 0, 4},             {"wheel > 0 is next", 0, 120, 0},
        {"wheel < 0 is previous", 0, -120, 4},  {"Up skips 2 and 1", kKeyUp, 0, 3},
    };
    int moves = 0;
    for (const Step& s : steps) {
        if (s.key) input.pressed = {s.key};
        input.mouse.wheel = s.wheel;
        Frame();
        ++moves;
        EXPECT_EQ(screen->selected, s.expected) << s.what;
        EXPECT_EQ(sound.Plays("MenuMove.WAV"), moves) << s.what;
        for (int i = 0; i < 5; ++i) EXPECT_EQ(probes[size_t(i)]->IsFocused(), i == s.expected) << s.what << " " << i;
    }
}

TEST_F(ScreenTest, AllRefusingLeavesTheSelectionAndAnEmptyScreenIgnoresKeys) {
    MenuScreen* screen = FiveWidgets({0, 1, 2, 3, 4});
    EXPECT_EQ(screen->selected, 0); // activation does not ask
    Press(kKeyDown);
    EXPECT_EQ(screen->selected, 0);
    EXPECT_EQ(sound.Plays("MenuMove.WAV"), 0);

    MenuScreen* empty = NewScreen("Empty");
    engine->SetMLP(empty);
    empty->SetFade(0.0f);
    input.mouse.wheel = 120;
    input.mousePressed = {0};
    Press(kKeyDown);
    EXPECT_EQ(empty->selected, -1);
}

TEST_F(ScreenTest, TheMouseSelectsOnlyWhenItMovesOrAButtonGoesDown) {
    MenuScreen* screen = FiveWidgets();
    input.cursor = {104, 304}; // over widget 3's caption
    Frame();
    EXPECT_EQ(screen->selected, 0) << "hovering without motion";
    input.mouse.x = 1.0f;
    Frame();
    EXPECT_EQ(screen->selected, 3);
    input.cursor = {104, 404};
    input.mousePressed = {3};
    Frame();
    EXPECT_EQ(screen->selected, 4) << "a button press without motion";
    screen->EnableMouse(false);
    input.cursor = {104, 104};
    input.mouse.x = 5.0f;
    input.mouse.wheel = 120;
    Frame();
    EXPECT_EQ(screen->selected, 4) << "mouse selection off";
}

TEST_F(ScreenTest, HotKeysSelectAndFireAndEndTheFramesInput) {
    MenuScreen* screen = FiveWidgets();
    auto* label = new LabelWidget(SharedString("Label"), false, nullptr);
    screen->AddWidget(label);
    probes[2]->flags &= ~Widget::kFocusable;
    screen->AddHotKey(10, 5); // the label
    screen->AddHotKey(11, 2); // enabled, not focusable
    testing_support::LogCapture log;
    screen->AddHotKey(12, 6); // no such widget
    EXPECT_TRUE(log.Contains("MENU: "));
    ASSERT_EQ(screen->hotKeys.size(), 2u);

    input.pressed = {10};
    Frame();
    EXPECT_EQ(screen->selected, 0) << "a label's hot key does nothing";
    EXPECT_EQ(probes[0]->inputs, 1);

    // The hot key, Down and Return in one frame: only the hot key acts.
    input.pressed = {11, kKeyDown, kKeyReturn};
    Frame();
    EXPECT_EQ(screen->selected, 2);
    EXPECT_EQ(probes[2]->fired, std::vector<int32_t>{kFireAccept});
    EXPECT_EQ(probes[2]->inputs, 0);
    EXPECT_EQ(probes[0]->inputs, 1);
    EXPECT_EQ(probes[2]->elementFlags & GuiElement::kHotKeyOverride, 0u);

    // Once the selection moves on, the widget gives its focus up; Down skips it after that.
    Press(kKeyDown);
    EXPECT_EQ(screen->selected, 3);
    EXPECT_FALSE(probes[2]->IsFocused());
    Press(kKeyUp);
    EXPECT_EQ(screen->selected, 1);

    screen->EnableNavigation(false);
    input.pressed = {11, kKeyDown};
    Frame();
    EXPECT_EQ(screen->selected, 1) << "navigation off";
    EXPECT_EQ(probes[1]->inputs, 2) << "the selected widget's own input still runs";
}

TEST_F(ScreenTest, NoInputUntilTheFadeIsExactlyZeroAndTheOldStateFadesOutFirst) {
    MenuScreen* first = FiveWidgets();
    MenuScreen* second = NewScreen("Second");
    auto* probe = new ProbeWidget("Only");
    second->AddWidget(probe);
    engine->PushMLP(second);
    ASSERT_EQ(engine->previousMLP, first);
    ASSERT_EQ(second->fade, 1.0f);
    first->SetFade(0.5f);

    // kFrame x 4 = 1/16 per frame: the first screen needs 8 frames, then the second 16.
    for (int frame = 1; frame <= 8; ++frame) {
        input.pressed = {kKeyReturn};
        Frame();
        EXPECT_FLOAT_EQ(first->fade, std::min(1.0f, 0.5f + float(frame) / 16.0f));
        EXPECT_EQ(second->fade, 1.0f);
    }
    for (int frame = 1; frame <= 16; ++frame) {
        input.pressed = {kKeyReturn};
        Frame();
        EXPECT_FLOAT_EQ(second->fade, 1.0f - float(frame) / 16.0f);
    }
    EXPECT_EQ(second->fade, 0.0f);
    EXPECT_TRUE(probe->fired.empty()) << "input while fading";
    input.pressed = {kKeyReturn};
    Frame();
    EXPECT_EQ(probe->fired, std::vector<int32_t>{kFireAccept});
}

TEST_F(ScreenTest, RendersBackgroundWidgetsCursorThenTheFadingOldState) {
    MenuScreen* first = FiveWidgets({1});
    input.cursor = {7, 9};
    first->SetFade(0.5f);
    canvas.calls.clear();
    first->Render();
    std::vector<std::string> kinds = canvas.Kinds();
    ASSERT_EQ(kinds.size(), 8u);
    EXPECT_EQ(kinds.front(), "clear 2");
    EXPECT_EQ(kinds[1], "background Menu.ZKT");
    EXPECT_EQ(kinds.back(), "sprite Mouse.ZKT");
    // Alone and half faded: the background at alpha 127 over black, the widgets at 0.5.
    const DrawCall bg = canvas.Of("background")[0];
    EXPECT_TRUE(bg.hasColor);
    EXPECT_EQ(bg.color.a, 127);
    EXPECT_EQ(bg.flags, kMenuDrawAlpha);
    EXPECT_EQ(canvas.Of("text", "Item2")[0].color.a, 127);
    const DrawCall cursor = canvas.Of("sprite", "Mouse.ZKT")[0];
    EXPECT_EQ(cursor.x, 7.0f);
    EXPECT_EQ(cursor.y, 9.0f);
    EXPECT_FALSE(cursor.hasColor);
    EXPECT_EQ(cursor.flags, kMenuDrawAlpha);

    // A second screen over it: its background is whole, and the first is drawn after it.
    auto* second = new MenuScreen(SharedString("Second"), SharedString("Other.ZKT"));
    second->Load();
    owned.push_back(second);
    engine->PushMLP(second);
    canvas.calls.clear();
    second->ShowCursor(false);
    second->Render();
    kinds = canvas.Kinds();
    EXPECT_EQ(kinds[1], "background Other.ZKT");
    EXPECT_FALSE(canvas.Of("background")[0].hasColor);
    EXPECT_EQ(canvas.Of("background")[0].flags, 0);
    EXPECT_EQ(kinds[2], "clear 2") << "the old screen comes next";
    EXPECT_EQ(kinds[3], "background Menu.ZKT");
    first->SetFade(1.0f);
    canvas.calls.clear();
    second->Render();
    EXPECT_EQ(canvas.Kinds().size(), 2u);
    // Shared pictures are loaded once.
    EXPECT_EQ(std::count(canvas.loads.begin(), canvas.loads.end(), "Menu.ZKT"), 1);
}

TEST_F(ScreenTest, MouseSpeedDrivesTheWooshAndIsNotMeasuredWithoutTime) {
    FiveWidgets();
    VoiceLog& woosh = sound.Voice("Woosh.WAV");
    EXPECT_EQ(woosh.volume, 0.0f);
    // (x² + y²) / (dt x 1000) = 2500 / 15.625 = 160, then less 25 dt = 39%.
    input.mouse.x = 30;
    input.mouse.y = 40;
    Frame();
    const float speed = 160.0f * (1.0f - 25.0f * kFrame);
    EXPECT_FLOAT_EQ(MenuScreen::MouseSpeed(), speed);
    EXPECT_FLOAT_EQ(woosh.volume, speed * 0.001f);
    EXPECT_FLOAT_EQ(woosh.pitch, 1.0f + speed * 0.001f);
    MenuScreen::SetMouseSpeed(5000.0f);
    engine->currentMLP->Update();
    EXPECT_EQ(woosh.volume, 1.0f);
    EXPECT_EQ(woosh.pitch, 2.0f);

    MenuScreen::SetMouseSpeed(0.0f);
    engine->frameTime = 0.0f;
    input.mouse.x = 30;
    Frame();
    EXPECT_EQ(MenuScreen::MouseSpeed(), 0.0f);
}

TEST_F(ScreenTest, ActivationSelectsTheDefaultFocusAndLeavingPlaysTheMenuSound) {
    MenuScreen* screen = FiveWidgets();
    screen->Deactivate();
    EXPECT_EQ(sound.Plays("Menu.WAV"), 1);
    EXPECT_FALSE(probes[0]->IsFocused());
    EXPECT_EQ(screen->selected, 0);

    screen->defaultFocus = 3;
    screen->Activate();
    EXPECT_TRUE(probes[3]->IsFocused());
    screen->SetSelected(1);
    EXPECT_FALSE(probes[3]->IsFocused());
    EXPECT_TRUE(probes[1]->IsFocused());
    EXPECT_EQ(sound.Plays("MenuMove.WAV"), 0) << "SetSelected is silent";

    testing_support::LogCapture log;
    screen->SetSelected(9);
    EXPECT_EQ(screen->selected, 1);
    screen->Deactivate();
    screen->defaultFocus = 7;
    screen->Activate();
    EXPECT_EQ(screen->selected, -1);
    EXPECT_TRUE(log.Contains("default focus 7"));
    Press(kKeyReturn); // nothing selected: no widget input
    for (ProbeWidget* p : probes) EXPECT_TRUE(p->fired.empty());
}

TEST_F(ScreenTest, SharedVoicesAreMadeOnceWhenScreensLoadTogether) {
    ReleaseMenuResources();
    MenuScreen a(SharedString("A"), SharedString("")), b(SharedString("B"), SharedString(""));
    EXPECT_FALSE(a.IsReady());
    std::thread ta([&] { a.Load(); }), tb([&] { b.Load(); });
    ta.join();
    tb.join();
    EXPECT_TRUE(a.IsReady());
    EXPECT_TRUE(b.IsReady());
    for (const char* name : {"Woosh.WAV", "MenuMove.WAV", "Menu.WAV", "False.WAV"})
        EXPECT_EQ(sound.Made(name), 1) << name;
    EXPECT_EQ(sound.Made("Click.WAV"), 0) << "no widget yet";

    // Without a sound device, or with one that gives no voices, the screens load, select and
    // leave in silence.
    for (bool device : {false, true}) {
        ReleaseMenuResources();
        engine->sound = device ? &sound : nullptr;
        sound.giveNothing = true;
        MenuScreen* silent = NewScreen("Silent");
        silent->AddWidget(new ProbeWidget("A"));
        silent->AddWidget(new ProbeWidget("B"));
        EXPECT_TRUE(silent->IsReady());
        engine->SetMLP(silent);
        silent->SetFade(0.0f);
        input.mousePressed = {0};
        input.cursor = {2, 2};
        Press(kKeyDown);
        EXPECT_EQ(silent->selected, 1);
        silent->Deactivate();
        EXPECT_EQ(GetMenuSound(MenuSound::Woosh), nullptr);
    }
}
