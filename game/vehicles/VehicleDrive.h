#pragma once
// What a car's drive model keeps from frame to frame: the gear and revs, the smoothed steering
// angle, the skid, the handbrake's hold and kick, the time in the air and on the roof, and the
// car's tuning. The driver's inputs are the controls record (VehicleControls.h).
#include <cstdint>

#include "game/vehicles/DriveModel.h"

struct VehicleDrive {
    int32_t gear = 1;        // -1 reverse, 0 neutral, 1.. forward
    float revs = 0.0f;       // 0..10, 10 the red line
    float steerAngle = 0.0f; // the wheels' smoothed angle, radians
    float skid = 0.0f;       // built each frame
    float skidSmoothed = 0.0f;
    float handbrakeHeldTime = 0.0f;
    // Five times the handbrake when last set, decaying: it presses the wheels down just after.
    float handbrakeKick = 0.0f;
    // Since a wheel last touched anything.
    float airTime = 0.0f;
    // On its roof (or wrecked) this long.
    float upsideDownTime = 0.0f;
    vehicles_detail::DriveTuning tuning;
};
