#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "engine/core/InputActions.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/TestSupport.h"

namespace {

using testing_support::FakeInputDevice;

struct QueryCase {
    const char* what;
    std::function<void(FakeInputDevice&)> setup;
    InputCode code;
    float value;
    bool pressed;
    bool released;
};

FakeInputDevice::Joystick Stick(float x, float y, float z) {
    FakeInputDevice::Joystick j;
    j.axes[0] = x;
    j.axes[1] = y;
    j.axes[2] = z;
    return j;
}

} // namespace

// Every kind of input code answered by the four questions, in one table.
TEST(InputActions, QueriesAcrossInputKinds) {
    auto none = [](FakeInputDevice&) {};
    auto oneStick = [](FakeInputDevice& in) { in.joysticks.push_back(Stick(-0.5f, 0.75f, 1.0f)); };
    const QueryCase cases[] = {
        {"no binding, everything active", [](FakeInputDevice& in) {
             in.held = {0};
             in.pressed = {0};
             in.mouse.buttons[0] = 1;
             in.mouse.x = -50;
         }, -1, 0.0f, false, false},
        {"key held", [](FakeInputDevice& in) { in.held = {70}; }, 70, 1.0f, false, false},
        {"key pressed this frame", [](FakeInputDevice& in) { in.held = {70}; in.pressed = {70}; }, 70, 1.0f, true, false},
        {"key released this frame", [](FakeInputDevice& in) { in.released = {70}; }, 70, 0.0f, false, true},
        {"other key held", [](FakeInputDevice& in) { in.held = {71}; }, 70, 0.0f, false, false},
        {"mouse button held", [](FakeInputDevice& in) { in.mouse.buttons[1] = 1; }, 0x101, 1.0f, false, false},
        {"mouse button pressed", [](FakeInputDevice& in) { in.mouse.buttons[0] = 1; in.mousePressed = {0}; }, 0x100, 1.0f, true, false},
        {"mouse button released", [](FakeInputDevice& in) { in.mouseReleased = {7}; }, 0x107, 0.0f, false, true},
        {"mouse 5 left reads left", [](FakeInputDevice& in) { in.mouse.x = -5; }, 0x108, 0.5f, false, false},
        {"mouse 5 left reads no right", [](FakeInputDevice& in) { in.mouse.x = -5; }, 0x109, 0.0f, false, false},
        {"mouse 30 left clamps", [](FakeInputDevice& in) { in.mouse.x = -30; }, 0x108, 1.0f, false, false},
        {"mouse right", [](FakeInputDevice& in) { in.mouse.x = 3; }, 0x109, 0.3f, false, false},
        {"mouse up is negative y", [](FakeInputDevice& in) { in.mouse.y = -7; }, 0x10A, 0.7f, false, false},
        {"mouse down", [](FakeInputDevice& in) { in.mouse.y = 20; }, 0x10B, 1.0f, false, false},
        {"wheel negative", [](FakeInputDevice& in) { in.mouse.wheel = -120; }, 0x10C, 1.0f, false, false},
        {"wheel positive", [](FakeInputDevice& in) { in.mouse.wheel = 4; }, 0x10D, 0.4f, false, false},
        {"high mouse axis codes read the wheel", [](FakeInputDevice& in) { in.mouse.wheel = 2; }, 0x3FF, 0.2f, false, false},
        {"joystick x negative", oneStick, 0x400, 0.5f, false, false},
        {"joystick x positive is 0", oneStick, 0x401, 0.0f, false, false},
        {"joystick y positive", oneStick, 0x403, 0.75f, false, false},
        {"joystick z positive", oneStick, 0x405, 1.0f, false, false},
        {"second joystick missing", oneStick, 0x802, 0.0f, false, false},
        {"no joystick at all", none, 0x400, 0.0f, false, false},
        {"joystick button held", [](FakeInputDevice& in) {
             in.joysticks.push_back(Stick(0, 0, 0));
             in.joysticks[0].held = {0};
         }, 0x406, 1.0f, false, false},
        {"joystick button pressed", [](FakeInputDevice& in) {
             in.joysticks.push_back(Stick(0, 0, 0));
             in.joysticks[0].held = {31};
             in.joysticks[0].pressed = {31};
         }, 0x406 + 31, 1.0f, true, false},
        {"joystick button released", [](FakeInputDevice& in) {
             in.joysticks.push_back(Stick(0, 0, 0));
             in.joysticks[0].released = {2};
         }, 0x408, 0.0f, false, true},
        {"second joystick button", [](FakeInputDevice& in) {
             in.joysticks.push_back(Stick(0, 0, 0));
             in.joysticks.push_back(Stick(0, 0, 0));
             in.joysticks[1].held = {1};
             in.joysticks[1].pressed = {1};
         }, 0x807, 1.0f, true, false},
        {"stored button beyond the device's buttons", [](FakeInputDevice& in) {
             in.joysticks.push_back(Stick(0, 0, 0));
             in.joysticks[0].held = {32};
             in.joysticks[0].pressed = {32};
             in.joysticks[0].released = {32};
         }, 0x406 + 32, 0.0f, false, false},
        {"axis never presses", [](FakeInputDevice& in) {
             in.joysticks.push_back(Stick(-1, 0, 0));
             in.joysticks[0].pressed = {0};
         }, 0x400, 1.0f, false, false},
        {"mouse axis never presses", [](FakeInputDevice& in) {
             in.mouse.x = -100;
             in.mousePressed = {0};
         }, 0x108, 1.0f, false, false},
    };
    for (const QueryCase& c : cases) {
        SCOPED_TRACE(c.what);
        FakeInputDevice in;
        c.setup(in);
        EXPECT_NEAR(GetActionValue(&in, c.code), c.value, 1e-6f);
        EXPECT_EQ(IsActionDown(&in, c.code), c.value >= 0.5f);
        EXPECT_EQ(WasActionPressed(&in, c.code), c.pressed);
        EXPECT_EQ(WasActionReleased(&in, c.code), c.released);
    }
}

TEST(InputActions, WithoutDeviceNothingIsDown) {
    for (InputCode code : {-1, 0, 70, 0x100, 0x108, 0x400, 0x406}) {
        EXPECT_EQ(GetActionValue(nullptr, code), 0.0f);
        EXPECT_FALSE(IsActionDown(nullptr, code));
        EXPECT_FALSE(WasActionPressed(nullptr, code));
        EXPECT_FALSE(WasActionReleased(nullptr, code));
    }
}

TEST(InputActions, CodeBuilders) {
    EXPECT_EQ(MouseAxisCode(0, false), 0x108);
    EXPECT_EQ(MouseAxisCode(1, true), 0x10B);
    EXPECT_EQ(MouseButtonCode(3), 0x103);
    EXPECT_EQ(JoystickAxisCode(0, 1, false), 0x402);
    EXPECT_EQ(JoystickAxisCode(1, 0, true), 0x801);
    EXPECT_EQ(JoystickButtonCode(0, 0), 0x406);
}

TEST(InputActions, TraceLinesStayBelowTheDefaultLevel) {
    testing_support::LogCapture log(0);
    FakeInputDevice in;
    GetActionValue(&in, 70);
    EXPECT_TRUE(log.Lines().empty());
}

namespace {

// Puts every active pointer back on scheme 0 and clears all records.
void ResetBindings() {
    for (int32_t set = 1; set <= kActionSetCount; ++set) {
        ActionBinding* records = ActionBindingSet(set);
        for (int32_t k = 0; k < kControlSchemeCount; ++k) {
            records[k].primary = BoundCode{kInputNone, SharedString("None")};
            records[k].secondary = BoundCode{kInputNone, SharedString("None")};
        }
        if (ActionBinding** slot = ActiveBindingSlot(set)) *slot = &records[0];
    }
    KeyBindingColumn = 0;
    SettingsSaveCountdown = 0.0f;
}

} // namespace

TEST(ActionBindings, NewRecordsAndActivePointers) {
    ActionBinding fresh;
    EXPECT_EQ(fresh.primary.code, -1);
    EXPECT_EQ(fresh.secondary.code, -1);
    EXPECT_EQ(fresh.primary.name, "None");
    EXPECT_EQ(fresh.secondary.name, "None");
    EXPECT_EQ(&fresh.GetEntry(0), &fresh.primary);
    EXPECT_EQ(&fresh.GetEntry(1), &fresh.secondary);
    EXPECT_EQ(&fresh.GetEntry(-3), &fresh.secondary);

    ResetBindings();
    int withPointer = 0;
    for (int32_t set = 1; set <= kActionSetCount; ++set) {
        ASSERT_NE(ActionBindingSet(set), nullptr);
        if (ActiveBindingSlot(set)) {
            ++withPointer;
            EXPECT_EQ(ActiveBinding(set), &ActionBindingSet(set)[0]);
        }
    }
    EXPECT_EQ(withPointer, 12);
    for (int32_t set : {0, 13, 14, 15}) EXPECT_EQ(ActiveBindingSlot(set), nullptr) << set;
    EXPECT_EQ(ActionBindingSet(0), nullptr);
    EXPECT_EQ(ActionBindingSet(15), nullptr);
}

TEST(ActionBindings, UnbindClearsEveryActiveEntryWithTheCode) {
    ResetBindings();
    FakeInputDevice in;
    // Scheme 1 active for the left action; scheme 0 stays for the others.
    *ActiveBindingSlot(kActionLeft) = &ActionBindingSet(kActionLeft)[1];
    ActionBindingSet(kActionLeft)[1].primary = {0x108, SharedString("Mouse left")};
    ActionBindingSet(kActionLeft)[0].primary = {0x108, SharedString("Mouse left")}; // inactive
    ActionBindingSet(kActionUp)[0].secondary = {0x108, SharedString("Mouse left")};
    ActionBindingSet(7)[0].primary = {5, SharedString("F")};
    ActionBindingSet(9)[0].primary = {0x108, SharedString("Mouse left")}; // active, never unbound

    UnbindInputCode(&in, 0x108);

    EXPECT_EQ(ActionBindingSet(kActionLeft)[1].primary.code, -1);
    EXPECT_EQ(ActionBindingSet(kActionLeft)[1].primary.name, "Unbound");
    EXPECT_EQ(ActionBindingSet(kActionUp)[0].secondary.code, -1);
    EXPECT_EQ(ActionBindingSet(kActionUp)[0].secondary.name, "Unbound");
    EXPECT_EQ(ActionBindingSet(kActionLeft)[0].primary.code, 0x108);
    EXPECT_EQ(ActionBindingSet(9)[0].primary.code, 0x108);
    EXPECT_EQ(ActionBindingSet(7)[0].primary.code, 5);
    EXPECT_EQ(ActionBindingSet(7)[0].primary.name, "F");
}

TEST(ActionBindings, SetValueTakesTheCodeFromOtherActionsAndArmsTheSave) {
    ResetBindings();
    ActionBindingSet(kActionRight)[0].primary = {73, SharedString("Right")};
    ActionBindingSet(kActionDown)[0].secondary = {71, SharedString("Down")};

    // Bind Right arrow as the left action's primary: the right action loses it.
    BoundCode pair[2] = {{73, SharedString("Right")}, {kInputNone, SharedString("None")}};
    KeyBindingColumn = 0;
    ActionBindingSet(kActionLeft)[0].SetValue(pair);
    EXPECT_EQ(ActionBindingSet(kActionRight)[0].primary.code, -1);
    EXPECT_EQ(SettingsSaveCountdown, 1.0f);

    // The secondary column names the code that changes.
    SettingsSaveCountdown = -3.0f;
    BoundCode pair2[2] = {{73, SharedString("Right")}, {71, SharedString("Down")}};
    KeyBindingColumn = 1;
    ActionBindingSet(kActionLeft)[0].SetValue(pair2);
    EXPECT_EQ(ActionBindingSet(kActionDown)[0].secondary.code, -1);
    EXPECT_EQ(SettingsSaveCountdown, 1.0f);

    ActionBindingSet(kActionLeft)[0].SetValue(nullptr); // ignored
    ResetBindings();
}
