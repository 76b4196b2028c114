#include "game/vehicles/DrivingActions.h"

#include "engine/core/InputActions.h"
#include "engine/core/InputDevice.h"

namespace {

float Clamp01(float v) { return v < 0.0f ? 0.0f : (v > 1.0f ? 1.0f : v); }

struct DefaultBinding {
    int32_t set;
    InputCode codes[3][2]; // per scheme: primary, secondary
};

// Keyboard; keyboard and mouse; joystick.
const DefaultBinding Defaults[] = {
    {ActionAccelerate, {{70, -1}, {0x101, -1}, {0x402, -1}}},
    {ActionBrake, {{71, -1}, {0x100, -1}, {0x403, -1}}},
    {ActionSteerLeft, {{72, -1}, {0x108, -1}, {0x400, -1}}},
    {ActionSteerRight, {{73, -1}, {0x109, -1}, {0x401, -1}}},
    {ActionHandbrake, {{63, 59}, {63, 59}, {0x406, -1}}},
    {ActionUseSpecial, {{57, -1}, {7, -1}, {0x407, -1}}},
    {ActionFireWeapon, {{57, -1}, {57, -1}, {0x408, -1}}},
    {ActionLookBack, {{1, -1}, {1, -1}, {1, -1}}},
    {ActionConfirm, {{55, -1}, {55, -1}, {55, -1}}},
    {ActionRespawn, {{17, -1}, {17, -1}, {17, -1}}},
    {ActionToggleSwitch, {{11, -1}, {11, -1}, {11, -1}}},
    {ActionDropPassenger, {{10, -1}, {10, -1}, {10, -1}}},
};

} // namespace

bool IsDrivingActionHeld(InputDevice* input, int32_t set) {
    const ActionBinding* b = ActiveBinding(set);
    return b && (IsActionDown(input, b->primary.code) || IsActionDown(input, b->secondary.code));
}

bool WasDrivingActionPressed(InputDevice* input, int32_t set) {
    const ActionBinding* b = ActiveBinding(set);
    return b && (WasActionPressed(input, b->primary.code) || WasActionPressed(input, b->secondary.code));
}

float DrivingActionValue(InputDevice* input, int32_t set) {
    const ActionBinding* b = ActiveBinding(set);
    if (!b) return 0.0f;
    return Clamp01(GetActionValue(input, b->primary.code) + GetActionValue(input, b->secondary.code));
}

bool IsConfirmPressed(InputDevice* input) {
    if (!input) return false;
    for (uint32_t j = 0; j < input->GetJoystickCount(); ++j) {
        if (input->JoystickPressed(j, 0)) return true;
    }
    return input->Pressed(kKeyPadEnter) || input->Pressed(kKeyReturn) || input->Pressed(kKeySpace);
}

void SetDefaultDrivingBindings(InputDevice* input) {
    for (const DefaultBinding& d : Defaults) {
        ActionBinding* records = ActionBindingSet(d.set);
        if (!records) continue;
        for (int32_t scheme = 0; scheme < kControlSchemeCount; ++scheme) {
            ActionBinding& r = records[scheme];
            // The names are the controls page's business; the codes are what drives.
            for (int32_t k = 0; k < 2; ++k) r.GetEntry(k).code = d.codes[scheme][k];
        }
    }
    const int32_t scheme = input && input->GetJoystickCount() > 0 ? 2 : 0;
    for (const DefaultBinding& d : Defaults) {
        ActionBinding** slot = ActiveBindingSlot(d.set);
        ActionBinding* records = ActionBindingSet(d.set);
        if (slot && records) *slot = &records[scheme];
    }
}
