#pragma once
// A car's bodies in the physics world: the chassis box and body, four wheel spheres and bodies
// on hinge-2 joints (front left, front right, back left, back right), the car's own collision
// space and each wheel's contact surface. The car makes them when it joins a physics world and
// drops them when it leaves; until then the pointers are null.
#include <array>
#include <cstdint>
#include <memory>

#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/PhysicsJoint.h"
#include "game/world/RigidBody.h"

struct VehicleBody {
    // Collision categories of a car.
    static constexpr uint32_t CarCategory = 0x84;
    static constexpr uint32_t CarCollide = 7;
    static constexpr uint32_t WheelCollide = 1;
    // Set while the car is protected (explosions and missiles leave it alone).
    static constexpr uint32_t DrivenCarBit = 0x400;
    // A wheel geom's flag while the car goes fast.
    static constexpr uint32_t FastWheelFlag = 0x20;

    std::unique_ptr<BoxGeom> chassisBox;
    std::array<std::unique_ptr<SphereGeom>, 4> wheelGeoms;
    std::unique_ptr<PhysicsSpace> space;
    std::unique_ptr<RigidBody> chassisBody;
    std::array<std::unique_ptr<RigidBody>, 4> wheelBodies;
    std::array<std::unique_ptr<Hinge2Joint>, 4> wheelJoints;
    std::array<SurfaceMaterial, 4> wheelSurfaces;
    // The car's box in chassis space: its bounds, culling and the chassis inertia.
    BoundingBox localBounds;
    // The last good wheel rotations relative to the chassis (a collapsed column keeps these).
    std::array<Quaternion, 4> lastWheelTurn{};
};
