#pragma once
// The developer editors of data other parts read from files: the chase-camera settings of a
// car kind (its ten ".CAM" files) with the shared camera of views 10 and 11, and the lens
// flare's point of each sky ("Misc\%d.CSS").
#include <cstdint>

#include "engine/core/Math.h"

class ChaseCamera;
class InputDevice;
struct CarCamera;
struct MouseState;
struct SkyRecord;

namespace car_camera_editor {

// Engine key codes held to move the edited camera (by dt x 10 a second) or turn the flare point.
constexpr uint32_t kXDown = 0x4E, kXUp = 0x50, kYUp = 0x44, kYDown = 0x45, kZUp = 0x52, kZDown = 0x4C;
// The shared camera's distance range.
constexpr float kMinDistance = 40.0f, kMaxDistance = 300.0f;

// The record the chase camera's view shows: the followed car kind's camera for views 0..9
// (the catalogue's definition, so every car of the kind takes the change), the shared camera
// for 10 and 11; null for other views or views 0..9 without a followed car.
CarCamera* EditedCamera(ChaseCamera& camera);
// A car camera of the followed car's kind (views 0..9 with a car), else null: what the
// setting commands and the save act on.
CarCamera* FollowedCarCamera(ChaseCamera& camera);

// One frame of the editor on a record: the mouse turns it (0.0175 rad a unit), the wheel sets
// its distance (0.1 a unit), held keys move it. The shared camera keeps its distance within
// 40..300 and refuses a turn that would flip its view (its up axis turning down, or its arm
// from the pivot dipping below -0.1).
void Control(CarCamera& edited, bool shared, const MouseState* mouse, InputDevice& input, float dt);

// One frame of the flare editor: held keys turn the sky's flare point about the origin.
void TurnFlarePoint(SkyRecord& sky, InputDevice& input, float dt);

} // namespace car_camera_editor
