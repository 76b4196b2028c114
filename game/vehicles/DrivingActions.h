#pragma once
// The binding sets of the driving actions and the questions a controller asks of them. Each
// set holds a primary and a secondary input per control scheme; the active scheme's record
// answers.
#include <cstdint>

class InputDevice;

enum DrivingAction : int32_t {
    ActionSteerLeft = 1,
    ActionSteerRight = 2,
    ActionAccelerate = 3,
    ActionBrake = 4, // also reverses
    ActionHandbrake = 5,
    ActionUseSpecial = 6,
    ActionFireWeapon = 7,
    ActionLookBack = 8,
    ActionConfirm = 9,
    ActionRespawn = 10,
    ActionToggleSwitch = 11, // the headlights
    ActionDropPassenger = 12,
};

// Either input of the active binding held / pressed this frame; the value is the sum of both
// inputs' values, within 0..1. A set without an active record answers false and 0.
bool IsDrivingActionHeld(InputDevice* input, int32_t set);
bool WasDrivingActionPressed(InputDevice* input, int32_t set);
float DrivingActionValue(InputDevice* input, int32_t set);

// A press of button 0 of any joystick, or of keypad Enter, Return or Space, this frame.
bool IsConfirmPressed(InputDevice* input);

// The default codes of the three control schemes (keyboard, keyboard and mouse, joystick); when
// a joystick is connected the joystick scheme becomes the active one.
void SetDefaultDrivingBindings(InputDevice* input);
