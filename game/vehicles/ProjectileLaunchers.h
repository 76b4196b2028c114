#pragma once
// What the launchers release into the world: grenades, homing missiles and rockets. The
// projectiles' code implements it and the game's set-up points VehicleContext::launchers at it;
// null: nothing flies (a launcher still uses its ammunition and sends its events).
#include "engine/core/Math.h"

class PhysicsGeom;

class ProjectileLaunchers {
public:
    virtual ~ProjectileLaunchers() = default;
    // A grenade from the position with the velocity; it blows up after `fuse` seconds.
    virtual void LaunchGrenade(PhysicsGeom* owner, const Vector3& position, const Vector3& velocity, float fuse) = 0;
    // A missile homing on the target (none: it flies along its aim).
    virtual void LaunchMissile(PhysicsGeom* owner, const Vector3& position, const Vector3& direction, const Vector3& aim,
                               float speed, PhysicsGeom* target) = 0;
    virtual void LaunchRocket(PhysicsGeom* owner, const Vector3& position, const Vector3& direction, const Vector3& aim,
                              float speed, float phase) = 0;
};
