#pragma once
// The game's one scene camera. It follows a car through the car's camera records, shows a
// spectator view of a wrecked car, can look at a fixed point or be left free for other code,
// keeps itself out of walls and drives the sound listener.
#include <cstdint>

#include "engine/core/Camera.h"
#include "engine/core/Math.h"

struct EngineServices;
class PhysicsWorld;
class Vehicle;
struct CarCamera;

class ChaseCamera : public Camera {
public:
    // View indices besides the car's records 0..8.
    static constexpr uint32_t SpectatorView = 9;
    static constexpr uint32_t DefaultView = 10;      // the default record in the car's frame
    static constexpr uint32_t WorldView = 11;        // the default record in the world frame
    static constexpr uint32_t LookAtView = 0xBABE;   // from where it stands toward lookAtPoint
    static constexpr uint32_t FreeView = 0xFFFF;     // position and rotation left to other code
    static constexpr float DefaultFov = 50.0f * Pi / 180.0f;
    // The static city's collision category: what the sight ray meets.
    static constexpr uint32_t SightRayBits = 1;

    // The viewport follows the engine's renderer and the sound listener the camera (the services
    // outlive the camera). physics may be null: no wall test.
    explicit ChaseCamera(const EngineServices& engine, PhysicsWorld* physics = nullptr);
    ChaseCamera(const EngineServices&& engine, PhysicsWorld* physics = nullptr) = delete;

    // A different car: follow it from view 0 with the default field of view. The same car:
    // nothing changes.
    void SetTarget(Vehicle* vehicle);
    // Whether the car itself is drawn follows the record of views 0..9 (always for others);
    // without a target the flag keeps its value.
    void SetCameraIndex(uint32_t index);
    // Per frame: the view, the wall test, the view matrices and the sound listener.
    void Update(float dt);
    // The game's reset: view 0, no target, at the origin, unturned.
    void Reset();

    void SetPhysics(PhysicsWorld* physics) { physics_ = physics; }
    Vehicle* Target() const { return target; }
    uint32_t CameraIndex() const { return cameraIndex; }
    // The camera's facing in the world (local -z is where it looks).
    Quaternion WorldOrientation() const;

    // The record every car shares for views 10 and 11.
    static CarCamera& DefaultCarCamera();

    float orbitAngle = 0.0f;
    Vehicle* target = nullptr;
    uint32_t cameraIndex = 0;
    Vector3 wreckViewPoint;
    // The last pivot of a record view.
    Vector3 pivot;
    Vector3 lookAtPoint;
    // The point an orthographic view looks down on (from 1000 above).
    Vector3 orthographicCentre;
    bool viewCar = true;
    bool underwater = false;
    bool collideWithWorld = true;
    bool wreckViewActive = false;
    bool jumpAhead = false;
    bool jumpAheadWhenFar = false;

private:
    void SpectatorStep();
    void LookAtStep(float dt);
    void RecordStep(uint32_t view, float dt);
    void KeepOutOfWalls();
    // The rotation that looks along the unit direction f with the world's up.
    static Quaternion LookRotation(const Vector3& f);

    const EngineServices& engine_;
    PhysicsWorld* physics_;
    // The last usable flattened heading of the target (a car pointing straight up has none).
    Vector3 heading_{0.0f, 0.0f, -1.0f};
};
