#include "game/play/CarCameraEditor.h"

#include <algorithm>

#include "engine/core/InputDevice.h"
#include "game/vehicles/CarCamera.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/WorldRecordFactories.h"

namespace car_camera_editor {

namespace {

constexpr float kTurnPerUnit = 0.0175f;
constexpr float kWheelPerUnit = 0.1f;
constexpr float kMovePerSecond = 10.0f;

// The view would flip: the camera's up axis points down, or the arm from the pivot out to the
// camera (its own +z) dips below a height of -0.1, under the car.
bool Flipped(const Quaternion& rotation) {
    const Matrix4 m = rotation.ToMatrix();
    return m.m[1][1] < 0.0f || m.m[2][1] < -0.1f;
}

Vector3 Turned(const Vector3& p, const Vector3& axis, float angle) {
    return Quaternion(axis, angle).ToMatrix().TransformNormal(p);
}

} // namespace

CarCamera* FollowedCarCamera(ChaseCamera& camera) {
    const uint32_t view = camera.CameraIndex();
    Vehicle* car = camera.Target();
    if (view >= uint32_t(CarCamera::kPerCar) || !car || !car->definition) return nullptr;
    CarDefinition* kind = CarCatalogue::Instance().FindByName(car->definition->name);
    return kind ? &kind->cameras[view] : nullptr;
}

CarCamera* EditedCamera(ChaseCamera& camera) {
    const uint32_t view = camera.CameraIndex();
    if (view == ChaseCamera::DefaultView || view == ChaseCamera::WorldView) return &ChaseCamera::DefaultCarCamera();
    return FollowedCarCamera(camera);
}

void Control(CarCamera& edited, bool shared, const MouseState* mouse, InputDevice& input, float dt) {
    if (mouse) {
        const Quaternion before = edited.rotation;
        if (mouse->x != 0.0f) edited.rotation.PreRotateY(-mouse->x * kTurnPerUnit);
        if (mouse->y != 0.0f) edited.rotation.RotateX(-mouse->y * kTurnPerUnit);
        if (shared && Flipped(edited.rotation)) edited.rotation = before;
        edited.distance += mouse->wheel * kWheelPerUnit;
        if (shared) edited.distance = std::clamp(edited.distance, kMinDistance, kMaxDistance);
    }
    const float step = dt * kMovePerSecond;
    if (input.Held(kXDown)) edited.position.x -= step;
    if (input.Held(kXUp)) edited.position.x += step;
    if (input.Held(kYUp)) edited.position.y += step;
    if (input.Held(kYDown)) edited.position.y -= step;
    if (input.Held(kZUp)) edited.position.z += step;
    if (input.Held(kZDown)) edited.position.z -= step;
}

void TurnFlarePoint(SkyRecord& sky, InputDevice& input, float dt) {
    const float step = dt / 3.0f;
    const Vector3 up(0.0f, 1.0f, 0.0f), side(0.0f, 0.0f, 1.0f);
    if (input.Held(kXDown)) sky.flarePoint = Turned(sky.flarePoint, up, -step);
    if (input.Held(kXUp)) sky.flarePoint = Turned(sky.flarePoint, up, step);
    if (input.Held(kZUp)) sky.flarePoint = Turned(sky.flarePoint, side, step);
    if (input.Held(kZDown)) sky.flarePoint = Turned(sky.flarePoint, side, -step);
}

} // namespace car_camera_editor
