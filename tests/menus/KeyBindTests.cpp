#include "MenuFixture.h"
#include "engine/core/KeyBindWidget.h"

using namespace menu_test;

namespace {

// A binding that records the pairs its SetValue sees (and unbinds nothing elsewhere).
class RecordingBinding : public ActionBinding {
public:
    void SetValue(const void* value) override {
        const BoundCode* pair = static_cast<const BoundCode*>(value);
        seen.push_back({pair[0].code, pair[1].code});
    }
    std::vector<std::pair<InputCode, InputCode>> seen;
};

class KeyBindTest : public MenuTest {
protected:
    void SetUp() override {
        MenuTest::SetUp();
        KeyBindingColumn = 0;
        screen = RootScreen();
        binding.primary = {5, SharedString("Input 5")};
        binding.secondary = {7, SharedString("Input 7")};
        widget = new KeyBindWidget(SharedString("Jump"), &binding);
        screen->AddWidget(widget);
        screen->Activate();
    }
    void TearDown() override {
        KeyBindingColumn = 0;
        MenuTest::TearDown();
    }
    // One frame of the widget's input.
    void Step() {
        widget->HandleInput(input.cursor);
        input.NextFrame();
    }
    MenuScreen* screen = nullptr;
    RecordingBinding binding;
    KeyBindWidget* widget = nullptr;
};

} // namespace

TEST_F(KeyBindTest, FiringTogglesWaitingAndTheScreensNavigation) {
    EXPECT_EQ(binding.widget, widget);
    input.pressed = {kKeyReturn};
    Step();
    EXPECT_TRUE(widget->waiting);
    EXPECT_FALSE(screen->navigation);
    EXPECT_FALSE(screen->mouseSelect);
    EXPECT_FALSE(screen->showCursor);
    EXPECT_EQ(binding.seen.size(), 1u) << "the binding sees its pair on every fire";
    EXPECT_EQ(sound.Plays("Click.WAV"), 1);
    Step();
    EXPECT_TRUE(widget->waiting) << "nothing happened: still waiting";
    input.pressed = {kKeyEscape}; // no cancel: Escape is bound like any key
    Step();
    EXPECT_FALSE(widget->waiting);
    EXPECT_TRUE(screen->navigation && screen->mouseSelect && screen->showCursor);
    EXPECT_EQ(binding.primary.code, int32_t(kKeyEscape));
    EXPECT_EQ(binding.primary.name, SharedString("Input 48"));
}

TEST_F(KeyBindTest, CaptureTakesTheFirstInputInItsOrder) {
    struct Case {
        const char* what;
        std::function<void(FakeInputDevice&)> act;
        InputCode expected; // -1: still waiting
    } cases[] = {
        {"a key beats a button", [](FakeInputDevice& in) { in.pressed = {200, 30}; in.mousePressed = {0}; }, 30},
        {"keys beyond the table", [](FakeInputDevice& in) { in.pressed = {255}; }, 255},
        {"the lowest mouse button", [](FakeInputDevice& in) { in.mousePressed = {7, 2}; }, 0x102},
        {"mouse 6 left", [](FakeInputDevice& in) { in.mouse.x = -6; }, 0x108},
        {"mouse 5 left", [](FakeInputDevice& in) { in.mouse.x = -5; }, -1},
        {"mouse down", [](FakeInputDevice& in) { in.mouse.y = 5.5f; }, 0x10B},
        {"x before y", [](FakeInputDevice& in) { in.mouse.y = 9; in.mouse.x = 9; }, 0x109},
        {"wheel", [](FakeInputDevice& in) { in.mouse.wheel = -120; }, 0x10C},
        {"joystick 0 y at 1.0", [](FakeInputDevice& in) { in.joysticks[0].axes[1] = 1.0f; }, 0x403},
        {"joystick 0 y at 0.99", [](FakeInputDevice& in) { in.joysticks[0].axes[1] = 0.99f; }, -1},
        {"joystick 1 x at -1", [](FakeInputDevice& in) { in.joysticks[1].axes[0] = -1.0f; }, 0x800},
        {"button before axis", [](FakeInputDevice& in) { in.joysticks[1].axes[2] = 1.0f; in.joysticks[1].pressed = {3}; }, 0x809},
        {"joystick 0 before 1", [](FakeInputDevice& in) { in.joysticks[1].pressed = {0}; in.joysticks[0].axes[2] = -1.0f; }, 0x404},
    };
    for (const Case& c : cases) {
        input.joysticks.assign(2, {});
        widget->waiting = 1;
        binding.primary.code = 5;
        binding.secondary.code = 7;
        c.act(input);
        Step();
        if (c.expected == -1) {
            EXPECT_TRUE(widget->waiting) << c.what;
            EXPECT_EQ(binding.primary.code, 5) << c.what;
        } else {
            EXPECT_FALSE(widget->waiting) << c.what;
            EXPECT_EQ(binding.primary.code, c.expected) << c.what;
        }
    }
}

TEST_F(KeyBindTest, ADuplicateClearsTheSecondaryAndDeleteClearsTheChosenColumn) {
    widget->waiting = 1;
    input.pressed = {7}; // the secondary's key, bound as primary
    Step();
    EXPECT_EQ(binding.primary.code, 7);
    EXPECT_EQ(binding.secondary.code, kInputNone);
    EXPECT_EQ(binding.secondary.name, SharedString("Unbound"));
    ASSERT_FALSE(binding.seen.empty());
    EXPECT_EQ(binding.seen.back(), std::make_pair(7, -1)) << "SetValue sees the new pair";

    // Left/Right choose the column; Delete clears it and the binding sees the change.
    binding.secondary = {9, SharedString("Input 9")};
    input.pressed = {kKeyRight};
    Step();
    EXPECT_EQ(KeyBindingColumn, 1);
    input.pressed = {kKeyDelete};
    Step();
    EXPECT_EQ(binding.secondary.code, kInputNone);
    EXPECT_EQ(binding.primary.code, 7);
    EXPECT_EQ(binding.seen.back(), std::make_pair(7, -1));
    EXPECT_EQ(sound.Plays("Click.WAV"), 3); // the capture's fire, the column, the delete

    // A single column is always the primary.
    widget->twoColumns = 0;
    input.pressed = {kKeyLeft};
    Step();
    EXPECT_EQ(KeyBindingColumn, 0);
}

TEST_F(KeyBindTest, ColumnsAreHitAndDrawnWhereThePageMovedThem) {
    widget->SetPosition({0, 100}, false);
    widget->secondaryPos = {320, 0};
    // "Input 5" and "Input 7" are 56 pixels wide.
    EXPECT_TRUE(widget->HandleMouse({251, 105}));
    EXPECT_EQ(KeyBindingColumn, 0);
    EXPECT_TRUE(widget->HandleMouse({321, 105}));
    EXPECT_EQ(KeyBindingColumn, 1);
    EXPECT_FALSE(widget->HandleMouse({401, 105}));
    widget->twoColumns = 0;
    EXPECT_FALSE(widget->HandleMouse({321, 105}));
    widget->twoColumns = 1;
    widget->SetEnabled(false);
    EXPECT_FALSE(widget->HandleMouse({251, 105}));
    widget->SetEnabled(true);

    // A name of 151 pixels or more is cut below that and shown with "..."; the stored name
    // stays whole.
    binding.primary.name = SharedString("ABCDEFGHIJKLMNOPQRST"); // 160 pixels
    widget->SetFocus(true);
    widget->pulse = 0.5f;
    KeyBindingColumn = 0;
    canvas.calls.clear();
    widget->Draw(1.0f);
    ASSERT_EQ(canvas.calls.size(), 3u);
    EXPECT_EQ(canvas.calls[1].what, "ABCDEFGHIJKLMNOPQR...");
    EXPECT_EQ(canvas.calls[1].x, 248.0f) << "the chosen column moves with the focus";
    EXPECT_EQ(canvas.calls[1].y, 102.0f);
    EXPECT_EQ(canvas.calls[1].color.a, 127);
    EXPECT_EQ(canvas.calls[2].what, "Input 7");
    EXPECT_EQ(canvas.calls[2].x, 320.0f);
    EXPECT_EQ(canvas.calls[2].color.a, 255);
    EXPECT_EQ(binding.primary.name.Length(), 20);
    binding.primary.name = SharedString("ABCDEFGHIJKLMNOPQRS"); // 152 pixels
    canvas.calls.clear();
    widget->Draw(1.0f);
    EXPECT_EQ(canvas.calls[1].what, "ABCDEFGHIJKLMNOPQR...");
    binding.primary.name = SharedString("ABCDEFGHIJKLMNOPQR"); // 144 pixels
    canvas.calls.clear();
    widget->Draw(1.0f);
    EXPECT_EQ(canvas.calls[1].what, "ABCDEFGHIJKLMNOPQR");
    // A font so wide that no character fits leaves just "...".
    canvas.charWidths[nullptr] = 400;
    binding.primary.name = SharedString("AB");
    canvas.calls.clear();
    widget->Draw(1.0f);
    EXPECT_EQ(canvas.calls[1].what, "...");
    canvas.charWidths.clear();

    // Waiting: the chosen column in its own colour, the other in the default one.
    widget->waiting = 1;
    canvas.calls.clear();
    widget->Draw(0.2f);
    EXPECT_EQ(std::vector<int>({canvas.calls[1].color.a, canvas.calls[1].color.r, canvas.calls[1].color.g,
                                canvas.calls[1].color.b}),
              std::vector<int>({255, 64, 128, 160}));
    EXPECT_FALSE(canvas.calls[2].hasColor);
    widget->twoColumns = 0;
    canvas.calls.clear();
    widget->Draw(1.0f);
    EXPECT_EQ(canvas.calls.size(), 2u);
}
