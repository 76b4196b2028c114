#pragma once
#include <cstdint>

#include "engine/core/MenuOption.h"
#include "engine/core/SharedString.h"

class InputDevice;

// One bindable input as a single integer:
//   -1                 no binding
//   0x000..0x0FF       keyboard key (engine key code)
//   0x100..0x107       mouse button (code - 0x100)
//   0x108..0x3FF       mouse axis direction: axis (code - 0x108) / 2 (0 x, 1 y, any other the
//                      wheel); an even code is the negative direction, an odd one the positive
//   0x400 and up       joystick code / 0x400 - 1; sub = code & 0x3FF: sub 0..5 axis sub / 2
//                      (x, y, z), even negative, odd positive; sub 6 and up button sub - 6
using InputCode = int32_t;

constexpr InputCode kInputNone = -1;
constexpr InputCode kInputMouseButtonFirst = 0x100;
constexpr InputCode kInputMouseAxisFirst = 0x108;
constexpr InputCode kInputJoystickFirst = 0x400;
constexpr int32_t kInputJoystickButtonSub = 6;
// Buttons per joystick the device reports; stored bindings beyond them never fire.
constexpr int32_t kInputJoystickButtons = 32;

constexpr InputCode MouseButtonCode(int32_t button) { return kInputMouseButtonFirst + button; }
constexpr InputCode MouseAxisCode(int32_t axis, bool positive) {
    return kInputMouseAxisFirst + axis * 2 + (positive ? 1 : 0);
}
constexpr InputCode JoystickAxisCode(int32_t joystick, int32_t axis, bool positive) {
    return (joystick + 1) * kInputJoystickFirst + axis * 2 + (positive ? 1 : 0);
}
constexpr InputCode JoystickButtonCode(int32_t joystick, int32_t button) {
    return (joystick + 1) * kInputJoystickFirst + kInputJoystickButtonSub + button;
}

// Analog value 0..1 of an input this frame: keys and buttons 1 when held; mouse axis
// directions the frame's movement x 0.1 in that direction, clamped to 1; joystick axis
// directions the shaped deflection in that direction. Missing devices give 0.
float GetActionValue(InputCode code);
bool IsActionDown(InputCode code);
// Went down / up this frame (keys and buttons only; axis directions never do).
bool WasActionPressed(InputCode code);
bool WasActionReleased(InputCode code);

// The same questions asked of a given device (null: nothing down, nothing happened).
float GetActionValue(InputDevice* input, InputCode code);
bool IsActionDown(InputDevice* input, InputCode code);
bool WasActionPressed(InputDevice* input, InputCode code);
bool WasActionReleased(InputDevice* input, InputCode code);

// An input code and the text that names it on the controls page. Copying shares the name.
struct BoundCode {
    InputCode code = kInputNone;
    SharedString name;
};

// The binding of one game action in one control scheme: a primary and a secondary input.
class ActionBinding : public MenuOption {
public:
    ActionBinding();
    ~ActionBinding() override;

    // `value` points at a {primary, secondary} pair of BoundCode holding the new binding; the
    // entry of the column being edited (KeyBindingColumn) names the code that changes. That
    // code is taken away from every other active action, and the settings are saved soon.
    void SetValue(const void* value) override;

    // Hands SetValue a copy of the pair {primary, secondary}, then stores the copy into both
    // entries (so SetValue sees the binding as it was before the change).
    void Assign(const BoundCode (&pair)[2]);

    // The primary entry for 0, the secondary for any other index.
    BoundCode& GetEntry(int32_t index) { return index == 0 ? primary : secondary; }
    const BoundCode& GetEntry(int32_t index) const { return index == 0 ? primary : secondary; }

    BoundCode primary;
    BoundCode secondary;
};

// Control schemes: 0 keyboard, 1 keyboard and mouse, 2 joystick.
constexpr int32_t kControlSchemeCount = 3;
// Binding sets are numbered 1..14; each holds one record per control scheme.
constexpr int32_t kActionSetCount = 14;
enum ActionSet : int32_t {
    kActionLeft = 1,
    kActionRight = 2,
    kActionUp = 3,
    kActionDown = 4,
};

// The three records of set `set` (1..14); null for any other number.
ActionBinding* ActionBindingSet(int32_t set);
// The global pointer to the active record of a set (the controls page points it at the
// record of the chosen scheme; until then it is scheme 0's). Sets 13 and 14 have none: null
// for them and for numbers out of range. Set 9 (Confirm, which also locks the missile on) has
// one, but taking a code away from the other actions leaves it alone.
ActionBinding** ActiveBindingSlot(int32_t set);
// The active record of a set, or null.
ActionBinding* ActiveBinding(int32_t set);

// Clears every entry of the active records that holds `code` (code -1, the name of no
// binding), so that one input drives at most one action in the active scheme.
void UnbindInputCode(InputCode code);
void UnbindInputCode(InputDevice* input, InputCode code);

// Which column of the controls page is being edited: 0 primary, otherwise secondary. Shared
// by every key-binding widget.
extern int32_t KeyBindingColumn;

// Seconds until the current settings profile is written. Whatever changes a setting sets it
// to 1.0; the main loop counts it down and saves once when it crosses zero. This is the front
// end's countdown: its FrontEndServices::SettingsSaveCountdown hands out this variable.
extern float SettingsSaveCountdown;
