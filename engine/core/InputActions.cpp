#include "engine/core/InputActions.h"

#include <algorithm>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"

int32_t KeyBindingColumn = 0;
float SettingsSaveCountdown = 0.0f;

namespace {

enum class InputKind { None, Key, MouseButton, MouseAxis, JoystickAxis, JoystickButton };

struct DecodedInput {
    InputKind kind = InputKind::None;
    uint32_t index = 0;    // key, mouse button, mouse axis (0 x, 1 y, 2 wheel) or joystick
    uint32_t element = 0;  // joystick axis or button
    bool positive = false; // axis direction
};

DecodedInput Decode(InputCode code) {
    DecodedInput d;
    if (code < 0) return d;
    if (code < kInputMouseButtonFirst) {
        d.kind = InputKind::Key;
        d.index = uint32_t(code);
    } else if (code < kInputMouseAxisFirst) {
        d.kind = InputKind::MouseButton;
        d.index = uint32_t(code - kInputMouseButtonFirst);
    } else if (code < kInputJoystickFirst) {
        d.kind = InputKind::MouseAxis;
        int32_t offset = code - kInputMouseAxisFirst;
        d.index = uint32_t(std::min(offset / 2, 2));
        d.positive = (offset & 1) != 0;
    } else {
        d.index = uint32_t(code / kInputJoystickFirst - 1);
        int32_t sub = code & 0x3FF;
        if (sub < kInputJoystickButtonSub) {
            d.kind = InputKind::JoystickAxis;
            d.element = uint32_t(sub / 2);
            d.positive = (sub & 1) != 0;
        } else {
            d.kind = InputKind::JoystickButton;
            d.element = uint32_t(sub - kInputJoystickButtonSub);
        }
    }
    return d;
}

// The part of a signed value that lies in the asked direction.
float Directional(float v, bool positive) {
    if (positive) return v > 0.0f ? v : 0.0f;
    return v < 0.0f ? -v : 0.0f;
}

bool JoystickPresent(InputDevice* input, const DecodedInput& d) { return d.index < input->GetJoystickCount(); }

bool JoystickButtonValid(InputDevice* input, const DecodedInput& d) {
    return JoystickPresent(input, d) && d.element < uint32_t(kInputJoystickButtons);
}

InputDevice* EngineInput();

} // namespace

float GetActionValue(InputDevice* input, InputCode code) {
    Debugger& log = Debugger::Instance();
    log.Log(1, "Key = %d", code);
    DecodedInput d = Decode(code);
    if (!input || d.kind == InputKind::None) return 0.0f;
    switch (d.kind) {
    case InputKind::Key:
        log.Log(1, "Key Step 1");
        return input->Held(d.index) ? 1.0f : 0.0f;
    case InputKind::MouseButton:
        log.Log(1, "Key Step 2");
        return input->MouseHeld(d.index) ? 1.0f : 0.0f;
    case InputKind::MouseAxis: {
        log.Log(1, "Key Step 3");
        const MouseState* mouse = input->GetMouseState();
        if (!mouse) return 0.0f;
        float movement;
        if (d.index == 0) {
            log.Log(1, "Key Step 4");
            movement = mouse->x;
        } else if (d.index == 1) {
            log.Log(1, "Key Step 5");
            movement = mouse->y;
        } else {
            log.Log(1, "Key Step 6");
            movement = mouse->wheel;
        }
        float v = std::clamp(movement * 0.1f, -1.0f, 1.0f);
        return Directional(v, d.positive);
    }
    case InputKind::JoystickAxis: {
        log.Log(1, "Key Step 7");
        if (!JoystickPresent(input, d)) return 0.0f;
        log.Log(1, "Key Step 8");
        const float* axes = input->GetJoystick(d.index);
        return axes ? Directional(axes[d.element], d.positive) : 0.0f;
    }
    case InputKind::JoystickButton:
        log.Log(1, "Key Step 9");
        if (!JoystickButtonValid(input, d)) return 0.0f;
        return input->JoystickHeld(d.index, d.element) ? 1.0f : 0.0f;
    case InputKind::None:
        break;
    }
    return 0.0f;
}

bool IsActionDown(InputDevice* input, InputCode code) { return GetActionValue(input, code) >= 0.5f; }

bool WasActionPressed(InputDevice* input, InputCode code) {
    DecodedInput d = Decode(code);
    if (!input) return false;
    switch (d.kind) {
    case InputKind::Key:
        return input->Pressed(d.index);
    case InputKind::MouseButton:
        return input->MousePressed(d.index);
    case InputKind::JoystickButton:
        return JoystickButtonValid(input, d) && input->JoystickPressed(d.index, d.element);
    default:
        return false;
    }
}

bool WasActionReleased(InputDevice* input, InputCode code) {
    DecodedInput d = Decode(code);
    if (!input) return false;
    switch (d.kind) {
    case InputKind::Key:
        return input->Released(d.index);
    case InputKind::MouseButton:
        return input->MouseReleased(d.index);
    case InputKind::JoystickButton:
        return JoystickButtonValid(input, d) && input->JoystickReleased(d.index, d.element);
    default:
        return false;
    }
}

float GetActionValue(InputCode code) { return GetActionValue(EngineInput(), code); }
bool IsActionDown(InputCode code) { return IsActionDown(EngineInput(), code); }
bool WasActionPressed(InputCode code) { return WasActionPressed(EngineInput(), code); }
bool WasActionReleased(InputCode code) { return WasActionReleased(EngineInput(), code); }

// --- bindings ---

ActionBinding::ActionBinding() {
    SharedString none("None");
    primary.name = none;
    secondary.name = none;
}

ActionBinding::~ActionBinding() { widget = nullptr; }

void ActionBinding::SetValue(const void* value) {
    if (!value) return;
    const BoundCode* pair = static_cast<const BoundCode*>(value);
    UnbindInputCode(pair[KeyBindingColumn != 0 ? 1 : 0].code);
    SettingsSaveCountdown = 1.0f;
}

void ActionBinding::Assign(const BoundCode (&pair)[2]) {
    const BoundCode copy[2] = {pair[0], pair[1]};
    SetValue(copy);
    primary = copy[0];
    secondary = copy[1];
}

namespace {

struct BindingTables {
    // Constructed in set order on first use, destroyed in reverse order at exit.
    ActionBinding sets[kActionSetCount][kControlSchemeCount];
    ActionBinding* active[kActionSetCount + 1] = {};

    BindingTables() {
        for (int32_t set = 1; set <= kActionSetCount; ++set)
            if (HasActivePointer(set)) active[set] = &sets[set - 1][0];
    }
    static bool HasActivePointer(int32_t set) { return set >= 1 && set <= 12; }
};

BindingTables& Tables() {
    static BindingTables tables;
    return tables;
}

// The order in which UnbindInputCode walks the active records.
constexpr int32_t kUnbindOrder[] = {3, 1, 2, 4, 5, 6, 11, 12, 8, 10, 7};

} // namespace

ActionBinding* ActionBindingSet(int32_t set) {
    if (set < 1 || set > kActionSetCount) return nullptr;
    return Tables().sets[set - 1];
}

ActionBinding** ActiveBindingSlot(int32_t set) {
    if (!BindingTables::HasActivePointer(set)) return nullptr;
    return &Tables().active[set];
}

ActionBinding* ActiveBinding(int32_t set) {
    ActionBinding** slot = ActiveBindingSlot(set);
    return slot ? *slot : nullptr;
}

void UnbindInputCode(InputDevice* input, InputCode code) {
    SharedString noneName;
    bool named = false;
    for (int32_t set : kUnbindOrder) {
        ActionBinding* binding = ActiveBinding(set);
        if (!binding) continue;
        for (int32_t entry = 0; entry < 2; ++entry) {
            BoundCode& bound = binding->GetEntry(entry);
            if (bound.code != code) continue;
            if (!named) {
                noneName = input ? input->GetKeyName(kInputNone) : SharedString("None");
                named = true;
            }
            bound.code = kInputNone;
            bound.name = noneName;
        }
    }
}

void UnbindInputCode(InputCode code) { UnbindInputCode(EngineInput(), code); }

namespace {
InputDevice* EngineInput() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->input : nullptr;
}
} // namespace
