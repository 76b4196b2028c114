// A car's control operations: the driver's inputs, gears, lights and door, teleports, respawns,
// putting it back on its wheels, and the work it does after every physics step.
#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/EngineServices.h"
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
#include "game/world/GameSession.h"
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
    drive.gear = 1;
    drive.revs = 0.0f;
    cab.doorAngle = 0.0f;
    cab.doorOpening = 0;
    if (body.chassisBody) {
        body.chassisBody->SetLinearVelocity(Vector3());
        body.chassisBody->SetAngularVelocity(Vector3());
        for (auto& w : body.wheelBodies) {
            w->SetLinearVelocity(Vector3());
            w->SetAngularVelocity(Vector3());
        }
        AlignWheels();
    }
    respawn.chassisBoxTimer = 0.0f;
    respawn.blinkTimer = 0.0f;
}

void Vehicle::ApplyControls(const VehicleControls& wanted) {
    SetThrottle(wanted.throttle);
    SetBrake(wanted.brake);
    SetSteering(wanted.steerInput);
    SetHandbrake(wanted.handbrake);
    controls.lookBack = wanted.lookBack;
}

void Vehicle::SetThrottle(float x) {
    if (x != 0.0f && damage.health != 0.0f) controls.throttle = x;
}

void Vehicle::SetBrake(float x) {
    if (x != 0.0f && damage.health != 0.0f) controls.brake = x;
}

void Vehicle::SetSteering(float x) {
    if (x != 0.0f && damage.health != 0.0f) controls.steerInput = x;
}

void Vehicle::SetSteeringNegated(float x) {
    if (x != 0.0f && damage.health != 0.0f) controls.steerInput = -x;
}

void Vehicle::SetHandbrake(float x) {
    if (x == 0.0f || damage.health == 0.0f) return;
    controls.handbrake = x;
    drive.handbrakeKick = 5.0f * x;
}

void Vehicle::SteerSigned(float x) {
    if (damage.health == 0.0f) return;
    if (x > 0.0f) {
        SetSteeringNegated(x);
    } else if (x < 0.0f) {
        SetSteering(-x);
    }
}

void Vehicle::ShiftForward() {
    if (damage.health == 0.0f || drive.gear != -1) return;
    drive.gear = 1;
    if (sounds.gearVoice) sounds.gearVoice->Play(false);
}

void Vehicle::ShiftBackward() {
    if (damage.health == 0.0f || drive.gear < 1) return;
    drive.gear = -1;
    if (sounds.gearVoice) sounds.gearVoice->Play(false);
}

bool Vehicle::ToggleHeadlights() {
    effects.headlightsOn = effects.headlightsOn ? 0 : 1;
    return effects.headlightsOn != 0;
}

void Vehicle::OpenDoor() {
    cab.doorOpening = 1;
    if (sounds.doorVoice) sounds.doorVoice->Play(false);
}

void Vehicle::AddPassenger(Passenger& rider) {
    if (cab.singlePassenger == 1) {
        cab.passenger = &rider;
        OpenDoor();
    } else {
        if (!cab.passenger) {
            cab.passenger = &rider;
            OpenDoor();
        }
        rider.seat = int32_t(cab.passengers.size());
        cab.passengers.push_back(&rider);
    }
    if (rider.Board(*this)) {
        rider.cab = this;
        return;
    }
    // Not aboard after all: the car keeps no rider that does not know it.
    std::erase(cab.passengers, &rider);
    if (cab.passenger == &rider) cab.passenger = nullptr;
    rider.cab = nullptr;
}

void Vehicle::DeliverPassenger(bool force) {
    Passenger* rider = cab.passenger;
    if (!rider) return;
    if (!force && GetLinearVelocity().Length() * 0.36f > 20.0f) return;
    const bool networked = context.client || context.server;
    if (!networked && (context.session.zone == 1 || context.session.zone == 2) && context.engine.sound)
        context.engine.sound->PlaySound(SharedString("Cash.WAV"), 1.0f, nullptr);
    rider->Arrive(true);
    std::erase(cab.passengers, rider);
    rider->cab = nullptr;
    if (cab.passenger == rider) cab.passenger = nullptr;
    OpenDoor();
}

void Vehicle::DropPassenger() {
    if (!cab.passenger) return;
    OpenDoor();
    Passenger* rider = cab.passenger;
    rider->GetOut();
    std::erase(cab.passengers, rider);
    rider->cab = nullptr;
    cab.passenger = nullptr;
    OpenDoor();
}

// ---------------------------------------------------------------------------------------------
// Placing the car

void Vehicle::SetPosition(const Vector3& position) {
    if (!body.chassisBody) return;
    body.chassisBody->SetPosition(position);
    body.chassisBody->SetLinearVelocity(Vector3());
    body.chassisBody->SetAngularVelocity(Vector3());
    const Matrix4 turn = GetOrientation().ToMatrix();
    for (int32_t i = 0; i < 4; ++i) {
        const Vector3 point =
            position + turn.TransformNormal(definition->wheelPoints[i] - Vector3(0.0f, drive.tuning.wheelDrop, 0.0f));
        RigidBody& w = *body.wheelBodies[size_t(i)];
        w.SetPosition(point);
        w.SetLinearVelocity(Vector3());
        w.SetAngularVelocity(Vector3());
        if (body.wheelJoints[size_t(i)]->IsAttached()) body.wheelJoints[size_t(i)]->SetAnchor(point);
    }
}

void Vehicle::SetOrientation(const Quaternion& orientation) {
    if (!body.chassisBody) return;
    body.chassisBody->SetOrientation(orientation);
    body.chassisBody->SetAngularVelocity(Vector3());
    for (auto& w : body.wheelBodies) {
        w->SetOrientation(orientation);
        w->SetAngularVelocity(Vector3());
    }
}

Vector3 Vehicle::GetPosition() const { return body.chassisBody ? body.chassisBody->GetPosition() : Vector3(); }

Quaternion Vehicle::GetOrientation() const {
    Quaternion q;
    if (body.chassisBody) body.chassisBody->GetOrientation(q);
    return q;
}

Vector3 Vehicle::GetLinearVelocity() const { return body.chassisBody ? body.chassisBody->GetLinearVelocity() : Vector3(); }

void Vehicle::SetCollisionFlag(bool on) {
    const bool value = on || definition->HasFlag(kCarProtected);
    const auto apply = [value](PhysicsGeom* g) {
        if (!g) return;
        const uint32_t bits = g->GetCategoryBits();
        g->SetCategoryBits(value ? bits | VehicleBody::DrivenCarBit : bits & ~VehicleBody::DrivenCarBit);
    };
    apply(body.space.get());
    apply(body.chassisBox.get());
    for (auto& g : body.wheelGeoms) apply(g.get());
    const auto respond = [value](RigidBody* b) {
        if (!b) return;
        if (value) {
            b->SetNoResponse();
        } else {
            b->ClearNoResponse();
        }
    };
    respond(body.chassisBody.get());
    for (auto& b : body.wheelBodies) respond(b.get());
    network.flagWord = value ? network.flagWord | VehicleNetwork::CollisionFlagBit : network.flagWord & ~VehicleNetwork::CollisionFlagBit;
}

Vector3 Vehicle::GetDoorPoint(int32_t index) const {
    Vector3 p = index == 0 ? definition->doorPoint1 : index == 1 ? definition->doorPoint2 : definition->doorPoint3;
    p.x += p.x >= 0.0f ? 3.0f : -3.0f;
    return GetPosition() + GetOrientation().ToMatrix().TransformNormal(p);
}

void Vehicle::PlaceAt(const RespawnPoint& point) {
    respawn.flashing = 1;
    respawn.chassisBoxTimer = 0.0f;
    respawn.blinkTimer = 0.0f;
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
    drive.upsideDownTime = 0.0f;
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
    respawn.respawnPoint = &shared;
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
        damage.health = damage.maxHealth;
    }
    drive.handbrakeKick = 0.0f;
    if (!keepItems) ClearItems(true);
    if (!respawn.ownRespawnPoints.empty()) {
        respawn.respawnPoint = respawn.ownRespawnPoints[size_t(plat::EngineRand()) % respawn.ownRespawnPoints.size()];
    }
    const RespawnPoint* point = respawn.respawnPoint ? respawn.respawnPoint : FallbackRespawnPoint();
    if (point && body.chassisBody) {
        SetOrientation(point->orientation);
        SetPosition(point->position + Vector3(0.0f, 5.0f, 0.0f));
        DetachJoints();
        AttachJoints();
    }
    ResetControls();
    drive.upsideDownTime = 0.0f;
    if (!keepItems) DropPassenger();
}

// ---------------------------------------------------------------------------------------------
// Keeping the wheels square to the chassis

void Vehicle::AlignWheels() {
    if (damage.health == 0.0f || !body.chassisBody) return;
    const Quaternion chassis = GetOrientation();
    Quaternion inverse = chassis;
    inverse.Invert();
    const float healthShare = damage.maxHealth > 0.0f ? damage.health / damage.maxHealth : 1.0f;
    const float wobble = std::max(0.0f, float(std::pow(1.0f - healthShare, 4.0f)) - 0.5f);
    for (int32_t i = 0; i < 4; ++i) {
        RigidBody& wheel = *body.wheelBodies[size_t(i)];
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
            body.lastWheelTurn[size_t(i)] = Quaternion(square);
        } else {
            // A collapsed column has no spin to keep: the last good turn stands.
            square = body.lastWheelTurn[size_t(i)].ToMatrix();
        }
        if (i < 2) {
            const float sign = drive.steerAngle > 0.0f ? 1.0f : (drive.steerAngle < 0.0f ? -1.0f : 0.0f);
            const float lock = 0.75f * HalfPi;
            const float turn = Clamp(sign * drive.steerAngle * drive.steerAngle, -lock, lock);
            square = square * Matrix4::RotationY(-(1.0f - 0.5f * drive.tuning.wheelTurn) * turn);
        }
        Quaternion aligned(square);
        aligned.Normalize();
        wheel.SetOrientation(aligned * chassis);
    }
}

// ---------------------------------------------------------------------------------------------
// After every physics step

void Vehicle::UpdateBounds(PhysicsWorld& world, float dt) {
    if (!body.chassisBody) return;
    DrivingRules* rules = context.rules;
    if (IsLocalPlayerCar() && rules && rules->collisionFlag) SetCollisionFlag(true);

    respawn.chassisBoxTimer += dt;
    if (respawn.chassisBoxTimer <= 2.5f) {
        body.chassisBox->Enable();
    } else {
        respawn.flashing = 0;
        respawn.chassisBoxTimer = 0.0f;
        body.chassisBox->Disable();
    }

    const float speed = GetLinearVelocity().Length();
    for (auto& g : body.wheelGeoms) {
        if (speed > 150.0f) {
            g->flags |= VehicleBody::FastWheelFlag;
        } else {
            g->flags &= ~VehicleBody::FastWheelFlag;
        }
    }

    if (respawn.flashing) {
        respawn.blinkTimer += dt;
        if (respawn.blinkTimer >= 0.2f) {
            respawn.blinkTimer -= 0.2f;
            respawn.blink = respawn.blink ? 0 : 1;
        }
    }

    // A special that ends leaves the list during its update; the next one is not skipped.
    for (size_t i = 0; i < items.specials.size();) {
        CarItem* special = items.specials[i];
        special->Update(dt);
        if (i < items.specials.size() && items.specials[i] == special) ++i;
    }
    if (items.weapon) {
        items.weapon->Update(dt);
        if (auto* w = dynamic_cast<Weapon*>(items.weapon); w && w->ammo == 0.0f) SetWeapon(nullptr);
    }
    if (controller) controller->DriveStep(world, dt);

    AlignWheels();

    const float mass = definition->handling.massValue;
    const float grounded = 0.1f - std::min(drive.airTime, 0.1f);
    const float down = (grounded * mass * 5000.0f * std::sqrt(std::max(0.0f, drive.handbrakeKick)) +
                        drive.tuning.loadB * mass * speed * 0.25f) * dt * 100.0f;
    for (auto& w : body.wheelBodies) w->AddForce(Vector3(0.0f, -down, 0.0f));
    drive.airTime += dt;

    if (damage.health == 0.0f) {
        DetachJoints();
    } else {
        AttachJoints();
    }

    if (damage.lastAttacker) {
        damage.lastAttackerTimer -= dt;
        if (damage.lastAttackerTimer <= 0.0f) damage.lastAttacker = nullptr;
    }
    CrashSoundStep(dt);
    damage.AfterStep(dt);
}

void Vehicle::CrashSoundStep(float dt) {
    damage.crashTimer -= dt;
    if (damage.crashTimer >= 0.0f || damage.crashDamage == 0.0f) return;
    const float d = damage.crashDamage;
    damage.crashDamage = 0.0f;
    if (d <= 0.001f * damage.maxHealth || !IsLocalPlayerCar()) return;
    const int32_t bank = d > 250.0f ? 5 : d > 100.0f ? 4 : d > 60.0f ? 3 : d > 25.0f ? 2 : d > 10.0f ? 1 : 0;
    SharedVehicleResources(context).PlayCrash(bank);
}

// ---------------------------------------------------------------------------------------------
// Bubbles

void Vehicle::BurstBubbles(const WaterVolume& volume) {
    if (plat::EngineRand() % 5 == 0) return;
    const Vector3 spot = GetPosition() + Vector3(RandomFloat(-250.0f, 250.0f), 0.0f, RandomFloat(-250.0f, 250.0f));
    for (int32_t n = 0; n < plat::EngineRand() % 5; ++n) {
        VehicleEffects::Bubble& b = effects.bubbles[effects.bubbleWrite];
        if (b.volume) continue;
        b.position = spot + Vector3(RandomFloat(-5.0f, 5.0f), RandomFloat(0.0f, 20.0f), RandomFloat(-5.0f, 5.0f));
        b.volume = &volume;
        effects.bubbleWrite = uint8_t((effects.bubbleWrite + 1) % effects.bubbleCount) & 0x7F;
    }
}
