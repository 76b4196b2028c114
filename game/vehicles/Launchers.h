#pragma once
// The three launchers: the grenade thrower, the homing-missile launcher with its lock-on ray,
// and the rocket launcher. In a network game they act on the host's echo of their own event.
#include <cstdint>
#include <memory>

#include "engine/core/Math.h"
#include "game/vehicles/Weapons.h"
#include "game/world/CollisionListener.h"
#include "game/world/PhysicsGeom.h"

// Remembers the last car it met in the world's collision pass, for a quarter of a second.
class LockOnRay : public RayGeom, public CollisionListener {
public:
    static constexpr float Length = 5000.0f;
    static constexpr float Memory = 0.25f;
    static constexpr uint32_t CarBit = 0x04;

    LockOnRay();
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) override;
    void Age(float dt);

    float sinceContact = 0.0f;
    PhysicsGeom* owner = nullptr;
    PhysicsGeom* ownerSpace = nullptr;
    PhysicsGeom* remembered = nullptr;
};

class GrenadeWeapon : public GameWeapon {
public:
    static constexpr float FullAmmo = 9.0f;
    static constexpr float LongestCharge = 5.0f;

    explicit GrenadeWeapon(VehicleContext& context);
    ~GrenadeWeapon() override;
    void Attach(Vehicle* newCar) override;
    void Trigger() override;
    void Update(float dt) override;
    // Three grenades with the fuse `strength` (seconds), when there is ammunition.
    void Throw(float strength);
    // A relayed throw: its sound (at any thrower of the game), and the grenades of the event's
    // car (none when no car has that id).
    static void Receive(VehicleContext& context, const GrenadeEvent& event);

    AudioVoice* fireVoice = nullptr;
    uint8_t charging = 0;
    float charge = 0.0f;
};

class Camera;
class Sprite;

// Where the missile launcher's aiming sprite goes on the screen (viewport pixels, its centre).
struct AimMark {
    // The sprite: none, "Crosshair", "CrossLock", "Lock" or "OffLock".
    enum Kind : int8_t { None = -1, Crosshair, CrossLock, Lock, OffLock };
    Kind kind = None;
    Vector2 centre;
};

class MissileWeapon : public GameWeapon {
public:
    // The aiming sprite's side, in pixels.
    static constexpr float AimSize = 18.0f;
    // Without a target the sight shows the point this far ahead of the car.
    static constexpr float AimAhead = 1000.0f;

    explicit MissileWeapon(VehicleContext& context);
    ~MissileWeapon() override;
    void Attach(Vehicle* newCar) override;
    void Trigger() override;
    void Update(float dt) override;
    // The missile on the car; for the game's view, the sight to draw with the HUD.
    void Draw(const Camera& camera) override;
    // The sight the last Draw worked out, once.
    bool DrawOverlay() override;
    void SetTarget(PhysicsGeom* geom) { target = geom; }
    void Fire();
    // The shot itself: offline this launcher's own, with its target; in a network game the
    // relayed event's, from the car and at the car its ids name (any launcher of the game may
    // run it: the shooter's is already dropped).
    void Launch(const MissileEvent& event);
    // The geom is going: neither the target nor the ray names it any more.
    void ForgetGeom(const PhysicsGeom* geom);
    // The local player's sight as seen by the camera. Without a target: the point ahead of the
    // car, "CrossLock" while the ray sees a car, else "Crosshair". With one: nothing when it is
    // behind the camera, else its projection, "Lock" on the screen and "OffLock" held at the
    // screen's edge. None for any other car.
    AimMark Aim(const Camera& camera) const;

    PhysicsGeom* target = nullptr;
    float lockTimer = 0.0f;
    LockOnRay ray;
    AudioVoice* startVoice = nullptr;
    D3D8Mesh* mesh = nullptr;
    // The textures "Crosshair.ZKT", "CrossLock.ZKT", "Lock.ZKT", "OffLock.ZKT" in AimMark order;
    // null without a renderer or the file.
    std::unique_ptr<Sprite> aimSprites[4];

private:
    bool inSpace_ = false;
    AimMark sight_;
};

class RocketWeapon : public GameWeapon {
public:
    static constexpr float FullAmmo = 16.0f;
    static constexpr int32_t Salvo = 8;
    static constexpr float Reload = 1.0f;

    explicit RocketWeapon(VehicleContext& context);
    ~RocketWeapon() override;
    void Attach(Vehicle* newCar) override;
    void Trigger() override;
    void Update(float dt) override;
    void Draw(const Camera& camera) override;
    void Fire();
    void LaunchSalvo(const RocketEvent& event);

    AudioVoice* startVoice = nullptr;
    float reloadTimer = 0.0f;
    D3D8Mesh* mesh = nullptr;
};
