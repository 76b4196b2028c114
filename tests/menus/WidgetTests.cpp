#include "MenuFixture.h"

using namespace menu_test;

namespace {

class WidgetTest : public MenuTest {};

} // namespace

TEST_F(WidgetTest, FocusIsRefusedWhenDisabledOrNotFocusableWithoutTheOverride) {
    struct Case {
        bool enabled, focusable, override_;
        bool accepted;
    } cases[] = {
        {true, true, false, true},   {true, false, false, false}, {true, false, true, true},
        {false, true, false, false}, {false, true, true, false},  {false, false, true, false},
    };
    for (const Case& c : cases) {
        ProbeWidget w("W");
        w.SetEnabled(c.enabled);
        if (!c.focusable) w.flags &= ~Widget::kFocusable;
        if (c.override_) w.elementFlags |= GuiElement::kHotKeyOverride;
        EXPECT_EQ(w.SetFocus(true), c.accepted) << c.enabled << c.focusable << c.override_;
        EXPECT_EQ(w.IsFocused(), c.accepted);
        EXPECT_TRUE(w.SetFocus(false));
        EXPECT_FALSE(w.IsFocused());
    }
    ProbeWidget w("W");
    EXPECT_EQ(w.flags, Widget::kEnabled | Widget::kFocusable);
    w.SetFocus(true);
    w.SetEnabled(false);
    EXPECT_FALSE(w.IsFocused()) << "disabling takes the focus";
    EXPECT_EQ(sound.Made("Click.WAV"), 1) << "made once by the first element";
}

TEST_F(WidgetTest, PositionsAndHitAreasFollowTheCaptionAndTheFocusShift) {
    RootScreen(); // its load makes the refusal sound
    ProbeWidget w("Caption"); // 56 x 16
    EXPECT_EQ(w.hitArea, (Rect{0, 0, 56, 16}));
    EXPECT_EQ(w.area, (Rect{0, 0, 0, 24}));
    w.SetPosition({200, 50}, true);
    EXPECT_EQ(w.hitArea, (Rect{172, 50, 228, 66}));
    EXPECT_EQ(w.area.left, 172);
    EXPECT_EQ(w.area.top, 50);
    EXPECT_EQ(w.GetPosition(), (Point2i{172, 50}));
    w.SetPosition({10, 20}, false);
    ASSERT_EQ(w.hitArea, (Rect{10, 20, 66, 36}));

    struct Case {
        Point2i p;
        bool focused, hit;
    } cases[] = {
        {{10, 20}, false, true},  {{65, 35}, false, true},  {{66, 20}, false, false}, {{10, 36}, false, false},
        {{9, 20}, false, false},  {{8, 22}, true, true},    {{10, 36}, true, true},   {{64, 37}, true, false},
        {{63, 37}, true, true},   {{8, 21}, true, false},   {{7, 22}, true, false},   {{9, 38}, true, false},
    };
    for (const Case& c : cases) {
        w.SetFocus(c.focused);
        EXPECT_EQ(w.HandleMouse(c.p), c.hit) << c.p.x << "," << c.p.y << " focused " << c.focused;
    }

    // Extra texts hit too (at their offset, moved with the focus); a disabled widget answers
    // no and a click on it is refused with a sound.
    w.texts.push_back({SharedString("xx"), 100, 0, nullptr});
    w.SetFocus(false);
    EXPECT_TRUE(w.HandleMouse({112, 21}));
    w.SetFocus(true);
    EXPECT_TRUE(w.HandleMouse({108, 23}));
    w.SetEnabled(false);
    EXPECT_FALSE(w.HandleMouse({20, 25}));
    EXPECT_EQ(sound.Plays("False.WAV"), 0);
    input.mousePressed = {1};
    EXPECT_FALSE(w.HandleMouse({20, 25}));
    EXPECT_FALSE(w.HandleMouse({112, 21}));
    EXPECT_EQ(sound.Plays("False.WAV"), 2);
}

TEST_F(WidgetTest, InputFiresByKind) {
    ProbeWidget w("Caption");
    w.SetPosition({0, 0}, false);
    struct Case {
        std::set<uint32_t> buttons, keys;
        Point2i cursor;
        std::vector<int32_t> fired;
    } cases[] = {
        {{0}, {}, {5, 5}, {kFirePrimary}},
        {{1}, {}, {5, 5}, {kFireSecondary}},
        {{0, 1}, {}, {5, 5}, {kFirePrimary}},
        {{0}, {}, {500, 5}, {}},
        {{2}, {}, {500, 500}, {kFireOther}},
        {{3}, {}, {500, 500}, {kFireOther}},
        {{}, {kKeyReturn}, {500, 500}, {kFireAccept}},
        {{}, {kKeyPadEnter}, {500, 500}, {kFireAccept}},
        {{0, 2}, {kKeyReturn}, {5, 5}, {kFirePrimary, kFireOther, kFireAccept}},
    };
    for (const Case& c : cases) {
        w.fired.clear();
        input.mousePressed = c.buttons;
        input.pressed = c.keys;
        w.HandleInput(c.cursor);
        EXPECT_EQ(w.fired, c.fired) << c.cursor.x << " buttons " << c.buttons.size();
    }
}

TEST_F(WidgetTest, FocusPulseRunsDownAndUpIn0375SecondsAndReturnsAtFourPerSecond) {
    ProbeWidget w("Caption");
    w.SetFocus(true);
    engine->frameTime = 0.125f;
    const float down[] = {0.75f, 0.5f, 0.25f, 0.5f, 0.75f, 1.0f, 0.75f};
    for (float expected : down) {
        w.Update();
        EXPECT_FLOAT_EQ(w.pulse, expected);
    }
    w.SetFocus(false);
    engine->frameTime = 0.0625f;
    w.Update();
    EXPECT_FLOAT_EQ(w.pulse, 1.0f);
    EXPECT_EQ(w.pulseRising, 0);
    w.pulse = 0.25f;
    w.Update();
    EXPECT_FLOAT_EQ(w.pulse, 0.5f);
    EXPECT_EQ(w.pulseRising, TextWidget::kPulseRising);
    w.Update();
    w.Update();
    w.Update();
    EXPECT_FLOAT_EQ(w.pulse, 1.0f);
    EXPECT_EQ(w.pulseRising, 0);
}

TEST_F(WidgetTest, CaptionColourDimsDisabledWidgetsUnlessBrightAndFollowsTheFade) {
    ProbeWidget w("Caption");
    w.texts.push_back({SharedString("extra"), 30, 4, nullptr});
    w.SetPosition({10, 20}, false);
    struct Case {
        bool enabled, bright, ignoreFade, focused;
        float alpha, pulse;
        Color expected;
        Vector2 at;
    } cases[] = {
        {true, false, false, false, 1.0f, 1.0f, Color().Set(255, 255, 255, 255), {10, 20}},
        {false, false, false, false, 1.0f, 1.0f, Color().Set(127, 127, 152, 255), {10, 20}},
        {false, true, false, false, 1.0f, 1.0f, Color().Set(255, 255, 255, 255), {10, 20}},
        {true, false, false, true, 0.5f, 0.5f, Color().Set(255, 255, 255, 63), {8, 22}},
        {true, false, true, false, 0.0f, 0.5f, Color().Set(255, 255, 255, 127), {10, 20}},
    };
    for (const Case& c : cases) {
        w.SetEnabled(c.enabled);
        w.flags = c.bright ? (w.flags | Widget::kBright) : (w.flags & ~Widget::kBright);
        w.flags = c.ignoreFade ? (w.flags | Widget::kIgnoreFade) : (w.flags & ~Widget::kIgnoreFade);
        w.SetFocus(c.focused);
        w.pulse = c.pulse;
        canvas.calls.clear();
        w.Draw(c.alpha);
        ASSERT_EQ(canvas.calls.size(), 2u);
        const DrawCall& d = canvas.calls[0];
        EXPECT_EQ(d.what, "Caption");
        EXPECT_EQ(d.anchor, kMenuAnchorTopLeft);
        EXPECT_EQ(d.x, c.at.x);
        EXPECT_EQ(d.y, c.at.y);
        EXPECT_EQ(std::vector<int>({d.color.a, d.color.r, d.color.g, d.color.b}),
                  std::vector<int>({c.expected.a, c.expected.r, c.expected.g, c.expected.b}));
        EXPECT_EQ(canvas.calls[1].x, c.at.x + 30);
        EXPECT_EQ(canvas.calls[1].y, c.at.y + 4);
    }
    // A tinted widget's alpha multiplies in.
    w.SetEnabled(true);
    w.flags &= ~Widget::kIgnoreFade;
    w.pulse = 1.0f;
    w.color.Set(200, 100, 50, 128);
    canvas.calls.clear();
    w.Draw(1.0f);
    EXPECT_EQ(canvas.calls[0].color.a, 128);
    EXPECT_EQ(canvas.calls[0].color.r, 200);

    // Without a canvas nothing is drawn and the sizes are 0.
    SetMenuCanvas(nullptr);
    ProbeWidget blind("Caption");
    EXPECT_EQ(blind.hitArea.Width(), 0);
    blind.Draw(1.0f);
    blind.Update();
}
