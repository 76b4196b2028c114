#pragma once
// The armed pedestrians' rifle, which turns time into shots at a fixed rate (a bullet, a case
// and a firing sound each), and the game's sight ray, which tells whether a target can be seen
// past the static city.
#include <cstdint>

#include "engine/core/Math.h"
#include "game/vehicles/Gunfire.h"
#include "game/world/CollisionListener.h"
#include "game/world/PhysicsGeom.h"

class D3D8Mesh;
struct VehicleContext;

class Rifle {
public:
    static constexpr int32_t RifleVoices = 16;
    static constexpr int32_t GunVoices = 8;
    // Sound kinds: one rifle sound at a time, or a gun sound every shot.
    static constexpr uint8_t GunSounds = 0;
    static constexpr uint8_t RifleSounds = 1;

    explicit Rifle(VehicleContext& context);
    ~Rifle();
    Rifle(const Rifle&) = delete;
    Rifle& operator=(const Rifle&) = delete;

    // Every frame: while firing, the shots due in this time (several when dt is long).
    void Fire(float dt);

    D3D8Mesh* mesh = nullptr;
    float soundTimer = 0.0f;
    float shotAccumulator = 0.0f;
    uint8_t soundKind = RifleSounds;
    float rate = 1.0f;
    Vector3 muzzle;
    Quaternion orientation;
    PhysicsGeom* shooter = nullptr;
    uint8_t firing = 0;

private:
    void PlayShot();
    VehicleContext& context_;
};

// The game's one sight ray, never in the space: it meets only what HitsTarget tests it against.
class SightRay : public RayGeom, public CollisionListener {
public:
    static constexpr float Length = 50000.0f;
    static constexpr uint32_t Category = 0x08;

    SightRay();
    // True when the ray (set by the caller: Set(start, direction)) meets the target nearer than
    // any surface of the static city, or meets the target and no surface.
    bool HitsTarget(PhysicsWorld& physics, PhysicsGeom* staticWorld);
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;

    PhysicsGeom* target = nullptr;
    NearestHit hit;
};

// The context's sight ray.
SightRay& SharedSightRay(VehicleContext& context);
