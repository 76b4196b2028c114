// A car's control operations: the driver's inputs, gears, lights and door, teleports, respawns,
// putting it back on its wheels, and the work it does after every physics step.
#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Geometry.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Passenger.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

Quaternion Yaw(float angle) { return Quaternion(Vector3(0.0f, 1.0f, 0.0f), angle); }

// The rotation whose forward (local -z) points along the flat direction d.
bool FacingRotation(Vector3 d, Quaternion& out) {
    d.y = 0.0f;
    if (d.LengthSquared() <= 0.0f) return false;
    d.Normalize();
    Matrix4 m;
    RotationFromDirection(-d, m.m);
    out = Quaternion(m);
    return true;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The driver's controls

void Vehicle::ResetControls() {
    gear = 1;
    revs = 0.0f;
    doorAngle = 0.0f;
    doorOpening = 0;
    if (chassisBody) {
        chassisBody->SetLinearVelocity(Vector3());
        chassisBody->SetAngularVelocity(Vector3());
        for (auto& w : wheelBodies) {
            w->SetLinearVelocity(Vector3());
            w->SetAngularVelocity(Vector3());
        }
        AlignWheels();
    }
    chassisBoxTimer = 0.0f;
    blinkTimer = 0.0f;
}

void Vehicle::ApplyControls(const VehicleControls& wanted) {
    SetThrottle(wanted.throttle);
    SetBrake(wanted.brake);
    SetSteering(wanted.steerInput);
    SetHandbrake(wanted.handbrake);
    controls.lookBack = wanted.lookBack;
}

void Vehicle::SetThrottle(float x) {
    if (x != 0.0f && health != 0.0f) controls.throttle = x;
}

void Vehicle::SetBrake(float x) {
    if (x != 0.0f && health != 0.0f) controls.brake = x;
}

void Vehicle::SetSteering(float x) {
    if (x != 0.0f && health != 0.0f) controls.steerInput = x;
}

void Vehicle::SetSteeringNegated(float x) {
    if (x != 0.0f && health != 0.0f) controls.steerInput = -x;
}

void Vehicle::SetHandbrake(float x) {
    if (x == 0.0f || health == 0.0f) return;
    controls.handbrake = x;
    handbrakeKick = 5.0f * x;
}

void Vehicle::SteerSigned(float x) {
    if (health == 0.0f) return;
    if (x > 0.0f) {
        SetSteeringNegated(x);
    } else if (x < 0.0f) {
        SetSteering(-x);
    }
}

void Vehicle::ShiftForward() {
    if (health == 0.0f || gear != -1) return;
    gear = 1;
    if (gearVoice) gearVoice->Play(false);
}

void Vehicle::ShiftBackward() {
    if (health == 0.0f || gear < 1) return;
    gear = -1;
    if (gearVoice) gearVoice->Play(false);
}

bool Vehicle::ToggleHeadlights() {
    headlightsOn = headlightsOn ? 0 : 1;
    return headlightsOn != 0;
}

void Vehicle::OpenDoor() {
    doorOpening = 1;
    if (doorVoice) doorVoice->Play(false);
}

void Vehicle::DropPassenger() {
    if (!passenger) return;
    OpenDoor();
    Passenger* rider = passenger;
    rider->GetOut();
    std::erase(passengers, rider);
    rider->cab = nullptr;
    passenger = nullptr;
    OpenDoor();
}

// ---------------------------------------------------------------------------------------------
// Placing the car

void Vehicle::SetPosition(const Vector3& position) {
    if (!chassisBody) return;
    chassisBody->SetPosition(position);
    chassisBody->SetLinearVelocity(Vector3());
    chassisBody->SetAngularVelocity(Vector3());
    const Matrix4 turn = GetOrientation().ToMatrix();
    for (int32_t i = 0; i < 4; ++i) {
        const Vector3 point =
            position + turn.TransformNormal(definition->wheelPoints[i] - Vector3(0.0f, tuning.wheelDrop, 0.0f));
        RigidBody& w = *wheelBodies[size_t(i)];
        w.SetPosition(point);
        w.SetLinearVelocity(Vector3());
        w.SetAngularVelocity(Vector3());
        if (wheelJoints[size_t(i)]->IsAttached()) wheelJoints[size_t(i)]->SetAnchor(point);
    }
}

void Vehicle::SetOrientation(const Quaternion& orientation) {
    if (!chassisBody) return;
    chassisBody->SetOrientation(orientation);
    chassisBody->SetAngularVelocity(Vector3());
    for (auto& w : wheelBodies) {
        w->SetOrientation(orientation);
        w->SetAngularVelocity(Vector3());
    }
}

Vector3 Vehicle::GetPosition() const { return chassisBody ? chassisBody->GetPosition() : Vector3(); }

Quaternion Vehicle::GetOrientation() const {
    Quaternion q;
    if (chassisBody) chassisBody->GetOrientation(q);
    return q;
}

Vector3 Vehicle::GetLinearVelocity() const { return chassisBody ? chassisBody->GetLinearVelocity() : Vector3(); }

void Vehicle::SetCollisionFlag(bool on) {
    const bool value = on || definition->HasFlag(kCarProtected);
    const auto apply = [value](PhysicsGeom* g) {
        if (!g) return;
        const uint32_t bits = g->GetCategoryBits();
        g->SetCategoryBits(value ? bits | DrivenCarBit : bits & ~DrivenCarBit);
    };
    apply(space.get());
    apply(chassisBox.get());
    for (auto& g : wheelGeoms) apply(g.get());
    const auto respond = [value](RigidBody* b) {
        if (!b) return;
        if (value) {
            b->SetNoResponse();
        } else {
            b->ClearNoResponse();
        }
    };
    respond(chassisBody.get());
    for (auto& b : wheelBodies) respond(b.get());
    flagWord = value ? flagWord | CollisionFlagBit : flagWord & ~CollisionFlagBit;
}

Vector3 Vehicle::GetDoorPoint(int32_t index) const {
    Vector3 p = index == 0 ? definition->doorPoint1 : index == 1 ? definition->doorPoint2 : definition->doorPoint3;
    p.x += p.x >= 0.0f ? 3.0f : -3.0f;
    return GetPosition() + GetOrientation().ToMatrix().TransformNormal(p);
}

void Vehicle::PlaceAt(const RespawnPoint& point) {
    flashing = 1;
    chassisBoxTimer = 0.0f;
    blinkTimer = 0.0f;
    SetPosition(point.position + Vector3(0.0f, 10.0f, 0.0f));
    PutBackOnWheels();
    Quaternion facing;
    if (!point.directionPoints.empty() && FacingRotation(point.directionPoints.front() - point.position, facing)) {
        SetOrientation(facing);
    }
}

void Vehicle::PutBackOnWheels() {
    const Vector3 here = GetPosition();
    SetOrientation(Yaw(RandomFloat(0.0f, TwoPi)));
    SetPosition(here + Vector3(0.0f, 10.0f, 0.0f));
    upsideDownTime = 0.0f;
    ResetControls();
}

void Vehicle::PickRandomRespawn() {
    RoadGraph& roads = context.world.roads;
    if (roads.nodes.empty()) return;
    Vehicle* anchor = nullptr;
    if (!context.vehicles.empty()) {
        anchor = context.vehicles[size_t(plat::EngineRand()) % context.vehicles.size()];
    }
    const RoadNode* node = nullptr;
    for (int32_t attempt = 0; attempt < 1000; ++attempt) {
        node = &roads.nodes[size_t(plat::EngineRand()) % roads.nodes.size()];
        bool crowded = false;
        for (Vehicle* v : context.vehicles) {
            if ((v->GetPosition() - node->position).LengthSquared() < 100.0f * 100.0f) {
                crowded = true;
                break;
            }
        }
        if (crowded) continue;
        if (anchor && (anchor->GetPosition() - node->position).LengthSquared() > 2500.0f * 2500.0f) continue;
        break;
    }
    RespawnPoint& shared = SharedVehicleResources(context).randomRespawn;
    shared.position = node->position;
    shared.orientation = Yaw(RandomFloat(0.0f, TwoPi));
    shared.directionPoints.clear();
    respawnPoint = &shared;
}

const RespawnPoint* Vehicle::FallbackRespawnPoint() {
    return DefaultRespawnPoint(context.world, context.session.episode, context.session.zone);
}

void Vehicle::Respawn(bool keepItems) {
    DrivingRules* rules = context.rules;
    if (rules && rules->randomRespawns) PickRandomRespawn();
    if (!keepItems) {
        if (IsLocalPlayerCar() && rules && rules->started && !rules->resetAllowed) {
            rules->Fail();
            return;
        }
        health = maxHealth;
    }
    handbrakeKick = 0.0f;
    if (!keepItems) ClearItems(true);
    if (!ownRespawnPoints.empty()) {
        respawnPoint = ownRespawnPoints[size_t(plat::EngineRand()) % ownRespawnPoints.size()];
    }
    const RespawnPoint* point = respawnPoint ? respawnPoint : FallbackRespawnPoint();
    if (point && chassisBody) {
        SetOrientation(point->orientation);
        SetPosition(point->position + Vector3(0.0f, 5.0f, 0.0f));
        DetachJoints();
        AttachJoints();
    }
    ResetControls();
    upsideDownTime = 0.0f;
    if (!keepItems) DropPassenger();
}

// ---------------------------------------------------------------------------------------------
// Keeping the wheels square to the chassis

void Vehicle::AlignWheels() {
    if (health == 0.0f || !chassisBody) return;
    const Quaternion chassis = GetOrientation();
    Quaternion inverse = chassis;
    inverse.Invert();
    const float healthShare = maxHealth > 0.0f ? health / maxHealth : 1.0f;
    const float wobble = std::max(0.0f, float(std::pow(1.0f - healthShare, 4.0f)) - 0.5f);
    for (int32_t i = 0; i < 4; ++i) {
        RigidBody& wheel = *wheelBodies[size_t(i)];
        Quaternion q;
        wheel.GetOrientation(q);
        Matrix4 r = (q * inverse).ToMatrix();
        const float allowance = i < 2 ? 0.0f : wobble;
        const bool flipped = r.m[0][0] < 0.0f;
        if (!(std::fabs(r.m[0][2]) > allowance || std::fabs(r.m[0][1]) > allowance || flipped)) continue;

        Vector3 c1(0.0f, r.m[1][1], r.m[2][1]);
        Vector3 c2(0.0f, r.m[1][2], r.m[2][2]);
        Matrix4 square;
        if (c1.LengthSquared() > 1e-12f && c2.LengthSquared() > 1e-12f) {
            c1.Normalize();
            c2.Normalize();
            const Vector3 c0 = Vector3::Cross(c1, c2);
            for (int32_t row = 0; row < 3; ++row) {
                square.m[row][0] = c0[row];
                square.m[row][1] = c1[row];
                square.m[row][2] = c2[row];
            }
            if (flipped) square = square * Matrix4::RotationY(Pi);
            lastWheelTurn_[size_t(i)] = Quaternion(square);
        } else {
            // A collapsed column has no spin to keep: the last good turn stands.
            square = lastWheelTurn_[size_t(i)].ToMatrix();
        }
        if (i < 2) {
            const float sign = steerAngle > 0.0f ? 1.0f : (steerAngle < 0.0f ? -1.0f : 0.0f);
            const float lock = 0.75f * HalfPi;
            const float turn = Clamp(sign * steerAngle * steerAngle, -lock, lock);
            square = square * Matrix4::RotationY(-(1.0f - 0.5f * tuning.wheelTurn) * turn);
        }
        Quaternion aligned(square);
        aligned.Normalize();
        wheel.SetOrientation(aligned * chassis);
    }
}

// ---------------------------------------------------------------------------------------------
// After every physics step

void Vehicle::UpdateBounds(PhysicsWorld& world, float dt) {
    if (!chassisBody) return;
    DrivingRules* rules = context.rules;
    if (IsLocalPlayerCar() && rules && rules->collisionFlag) SetCollisionFlag(true);

    chassisBoxTimer += dt;
    if (chassisBoxTimer <= 2.5f) {
        chassisBox->Enable();
    } else {
        flashing = 0;
        chassisBoxTimer = 0.0f;
        chassisBox->Disable();
    }

    const float speed = GetLinearVelocity().Length();
    for (auto& g : wheelGeoms) {
        if (speed > 150.0f) {
            g->flags |= FastWheelFlag;
        } else {
            g->flags &= ~FastWheelFlag;
        }
    }

    if (flashing) {
        blinkTimer += dt;
        if (blinkTimer >= 0.2f) {
            blinkTimer -= 0.2f;
            blink = blink ? 0 : 1;
        }
    }

    for (size_t i = 0; i < specials.size(); ++i) specials[i]->Update(dt);
    if (weapon) {
        weapon->Update(dt);
        if (auto* w = dynamic_cast<Weapon*>(weapon); w && w->ammo == 0.0f) SetWeapon(nullptr);
    }
    if (controller) controller->DriveStep(world, dt);

    AlignWheels();

    const float mass = definition->handling.massValue;
    const float grounded = 0.1f - std::min(airTime, 0.1f);
    const float down = (grounded * mass * 5000.0f * std::sqrt(std::max(0.0f, handbrakeKick)) +
                        tuning.loadB * mass * speed * 0.25f) * dt * 100.0f;
    for (auto& w : wheelBodies) w->AddForce(Vector3(0.0f, -down, 0.0f));
    airTime += dt;

    if (health == 0.0f) {
        DetachJoints();
    } else {
        AttachJoints();
    }

    if (lastAttacker) {
        lastAttackerTimer -= dt;
        if (lastAttackerTimer <= 0.0f) lastAttacker = nullptr;
    }
    CrashSoundStep(dt);
}

void Vehicle::CrashSoundStep(float dt) {
    crashTimer -= dt;
    if (crashTimer >= 0.0f || crashDamage == 0.0f) return;
    const float d = crashDamage;
    crashDamage = 0.0f;
    if (d <= 0.001f * maxHealth || !IsLocalPlayerCar()) return;
    const int32_t bank = d > 250.0f ? 5 : d > 100.0f ? 4 : d > 60.0f ? 3 : d > 25.0f ? 2 : d > 10.0f ? 1 : 0;
    SharedVehicleResources(context).PlayCrash(bank);
}

bool Vehicle::FilterContact(PhysicsGeom* own, PhysicsGeom*, Vector3*, Vector3*, float*) {
    if (own != chassisBox.get()) airTime = 0.0f;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Bubbles

void Vehicle::BurstBubbles(const WaterVolume& volume) {
    if (plat::EngineRand() % 5 == 0) return;
    const Vector3 spot = GetPosition() + Vector3(RandomFloat(-250.0f, 250.0f), 0.0f, RandomFloat(-250.0f, 250.0f));
    for (int32_t n = 0; n < plat::EngineRand() % 5; ++n) {
        Bubble& b = bubbles[bubbleWrite];
        if (b.volume) continue;
        b.position = spot + Vector3(RandomFloat(-5.0f, 5.0f), RandomFloat(0.0f, 20.0f), RandomFloat(-5.0f, 5.0f));
        b.volume = &volume;
        bubbleWrite = uint8_t((bubbleWrite + 1) % bubbleCount) & 0x7F;
    }
}
