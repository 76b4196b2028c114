// A car's damage part: its health, the listener of its chassis box and wheels (sparks, skid
// marks, the surface under it, impact sharing) and what a hit or a wreck does to the car.
#include "game/vehicles/VehicleDamage.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/EngineServices.h"
#include "engine/core/Geometry.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Passenger.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/BoundaryPlane.h"
#include "game/world/Decals.h"
#include "game/world/GameSession.h"
#include "game/world/ParticleSystem.h"
#include "game/world/PhysicsJoint.h"
#include "game/world/RigidBody.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

float LengthSquared(const Vector4& v) { return v.x * v.x + v.y * v.y + v.z * v.z; }

// Sparks and debris draw from a generator of their own: how many contacts a step makes may
// differ by a hair from run to run, and what only shows must not shift the game's own sequence
// (a rocket salvo's spread, a respawn's pick). 15-bit values, as the engine's.
int32_t EffectRand() {
    thread_local uint32_t state = 0x2545F491u;
    state = state * 1103515245u + 12345u;
    return int32_t((state >> 16) & 0x7FFFu);
}

float EffectFloat(float min, float max) { return RandomFloatFromSample(EffectRand(), min, max); }

} // namespace

VehicleDamage::VehicleDamage(Vehicle& car_) : DamageReceiver(MaxHealth, DamageType, 0.0f), car(car_) {
    listenerFlags |= AskFilterContact | AskOnTriangles;
}

bool VehicleDamage::IsOwnBody(const RigidBody* b) const {
    if (!b) return false;
    if (b == car.body.chassisBody.get()) return true;
    for (const auto& wheel : car.body.wheelBodies) {
        if (b == wheel.get()) return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------------
// Contacts

bool VehicleDamage::FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal, float*) {
    if (!own || !position) return true;
    if (own == car.body.chassisBox.get()) {
        SparkParticleSystem* sparks = ParticleSystems::sparks;
        if (!sparks || !car.IsLocalPlayerCar()) return true;
        if (other && (other->GetCategoryBits() & SoftHitBit)) return true;
        if (!(car.GetLinearVelocity().LengthSquared() > 5.0f)) return true;
        const int32_t count = EffectRand() % 16;
        for (int32_t i = 0; i < count; ++i) {
            ParticleGroup* g = sparks->Emit(ParticleSystem::kFromPool);
            if (!g) break;
            g->position = *position + Vector3(2.0f * EffectFloat(-0.5f, 0.5f), EffectFloat(-0.5f, 0.5f),
                                              2.0f * EffectFloat(-0.5f, 0.5f));
            g->velocity = Vector3(EffectFloat(-75.0f, 75.0f), EffectFloat(-75.0f, 75.0f), EffectFloat(-75.0f, 75.0f));
        }
        return true;
    }

    car.drive.airTime = 0.0f;
    const BoundaryPlane* city = car.context.world.boundary.get();
    if (!city || other != static_cast<const PhysicsGeom*>(city)) return true;
    for (int32_t back = 0; back < 2; ++back) {
        if (own != car.body.wheelGeoms[size_t(2 + back)].get()) continue;
        const bool marking = car.context.session.skidMarks == 1 && car.IsLocalPlayerCar() &&
                             car.drive.skidSmoothed > 0.3f;
        if (!marking) {
            lastSkidPoint[back] = *position;
        } else {
            LaySkidMarks(back, *position, normal ? *normal : Vector3(0.0f, 1.0f, 0.0f));
        }
    }
    return true;
}

void VehicleDamage::LaySkidMarks(int32_t back, const Vector3& contact, const Vector3& normal) {
    Vector3& last = lastSkidPoint[back];
    const float d = (contact - last).Length();
    // A non-finite point (a car thrown far) starts the trail again like a long gap.
    const int32_t n = std::isfinite(d) ? int32_t(std::min(d, float(SkidTrailGap) + 1.0f)) : SkidTrailGap + 1;
    if (n > SkidTrailGap) {
        last = contact;
        return;
    }
    if (n < 1) return;

    BoundaryPlane* city = car.context.world.boundary.get();
    VehicleResources& shared = SharedVehicleResources(car.context);
    // Flat on the surface, one side along the wheel's travel.
    Vector3 up = normal;
    if (!(up.LengthSquared() > 1e-12f)) up = Vector3(0.0f, 1.0f, 0.0f);
    up.Normalize();
    if (up.y < 0.0f) up = -up;
    Vector3 along = car.WheelBody(2 + back)->GetLinearVelocity();
    along = along - up * Vector3::Dot(along, up);
    Vector3 side;
    if (along.LengthSquared() > 1e-6f) {
        along.Normalize();
        side = Vector3::Cross(up, along);
    } else {
        OrthonormalBasis(up, along, side);
    }
    const float h = 0.5f * SkidMarkSize;
    static const float corners[4][2] = {{-1, -1}, {-1, 1}, {1, -1}, {1, 1}};
    static const Vector2 uv[4] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    const Vector3 step = (contact - last) / (1.5f * float(n));
    for (int32_t i = 0; i < n; ++i) {
        last = last + step;
        const int32_t number = DecalRing::Counter();
        DecalRecord* record = DecalRing::Next(shared.skidMarks.get());
        if (!record) break;
        if (city) city->staticDecals.push_back(number);
        for (int32_t c = 0; c < 4; ++c) {
            record->quad.corners[c] = last + side * (corners[c][0] * h) + along * (corners[c][1] * h);
            record->quad.texCoords[c] = uv[c];
        }
        for (float& channel : record->quad.colour) channel = 1.0f;
    }
}

void VehicleDamage::OnTriangles(PhysicsGeom* triMesh, PhysicsGeom*, const int32_t* triangles, int32_t count) {
    World& world = car.context.world;
    BoundaryPlane* city = world.boundary.get();
    if (!city || triMesh != static_cast<PhysicsGeom*>(city) || !triangles || !car.body.chassisBody) return;
    const Vector3 chassis = car.GetPosition();
    const int32_t surfaces = int32_t(world.surfaces.size());
    for (int32_t i = 0; i < count; ++i) {
        const int32_t t = triangles[i];
        if (t < 0 || t >= surfaces) continue;
        if (!surfaceName.IsEmpty() && world.surfaces[size_t(t)].name == surfaceName) onCurrentSurface_ = 1;
        const float d = (city->GetTriangleCentre(t) - chassis).LengthSquared();
        if (nearestTriangle_ < 0 || d < nearestDistance_) {
            nearestTriangle_ = t;
            nearestDistance_ = d;
        }
    }
}

void VehicleDamage::SurfaceStep(float dt) {
    const int32_t nearest = nearestTriangle_;
    const bool onCurrent = onCurrentSurface_ != 0;
    nearestTriangle_ = -1;
    onCurrentSurface_ = 0;
    if (nearest < 0) return; // nothing of the city touched this step
    if (onCurrent) {
        const float before = surfaceTimer;
        surfaceTimer += dt;
        if (before > SurfaceSoundDelay || !(surfaceTimer > SurfaceSoundDelay)) return;
        if (surfaceSound.IsEmpty() || surfaceSound == surfaceSoundName) return;
        surfaceSoundName = surfaceSound;
        AudioDevice* sound = car.context.engine.sound;
        if (sound && car.IsLocalPlayerCar())
            sound->PlaySound(SharedString::Format("Audio\\%s", surfaceSound.c_str()), 1.0f);
        return;
    }
    const World& world = car.context.world;
    if (size_t(nearest) >= world.surfaces.size()) return;
    surfaceName = world.surfaces[size_t(nearest)].name;
    surfaceSound = world.surfaces[size_t(nearest)].fileName;
    surfaceTimer = 0.0f;
}

// ---------------------------------------------------------------------------------------------
// Impacts shared between two cars

bool VehicleDamage::OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4& t1, Vector4& f2, Vector4& t2) {
    if (impactDamage && dynamic_cast<ContactJoint*>(joint)) {
        RigidBody* body1 = joint->GetBody1();
        RigidBody* body2 = joint->GetBody2();
        Vector4* mine = nullptr;
        Vector4* theirs = nullptr;
        RigidBody* ownBody = nullptr;
        RigidBody* otherBody = nullptr;
        // This car's side is found by its bodies (a wheel names no owner), not by the order.
        if (IsOwnBody(body1) && !IsOwnBody(body2)) {
            mine = &f1;
            theirs = &f2;
            ownBody = body1;
            otherBody = body2;
        } else if (IsOwnBody(body2) && !IsOwnBody(body1)) {
            mine = &f2;
            theirs = &f1;
            ownBody = body2;
            otherBody = body1;
        }
        DamageReceiver* other = otherBody ? ReceiverOf(otherBody->GetGeom()) : nullptr;
        if (mine && other && other != this) {
            theirs->x -= 0.75f * mine->x;
            theirs->y -= 0.75f * mine->y;
            theirs->z -= 0.75f * mine->z;
            mine->x *= 0.25f;
            mine->y *= 0.25f;
            mine->z *= 0.25f;
            other->TakeDamageFrom(car.body.chassisBox.get(), LengthSquared(*theirs) * dt * 4e-10f, DamageImpact,
                                  ownBody);
        }
    }
    return DamageReceiver::OnJointForce(joint, dt, f1, t1, f2, t2);
}

// ---------------------------------------------------------------------------------------------
// Hits

void VehicleDamage::OnDamaged(float amount, int32_t kind, const void*) {
    const bool local = car.IsLocalPlayerCar();
    if (impactDamage && car.definition->HasFlag(kCarProtected)) {
        // Full health once the hit is taken off: it cannot be hurt, not even by a hit as big as
        // its whole health.
        health = maxHealth + amount;
    } else if (car.context.session.playerOnlyDamage && !local) {
        health += amount;
    }

    if (Passenger* rider = car.cab.passenger) {
        rider->rideDamage += amount;
        if (amount > 0.02f * maxHealth && car.context.session.gameType == FareRaceGameType) dropPending = 1;
    }

    if (!local) return;
    if (amount > 0.05f * maxHealth && plat::EngineRand() % 2 == 0) hitReactionPending = 1;
    if (Vehicle* attacker = dynamic_cast<Vehicle*>(GetInstigator()); attacker && attacker != &car) {
        lastAttacker = attacker;
        lastAttackerTimer = 1.0f;
    }
    if (kind == DamageBullet) {
        SharedVehicleResources(car.context).PlayBulletHit();
        return;
    }
    if (kind < DamageImpact) return;
    if (PhysicsGeom* by = GetHitter(); by && (by->GetCategoryBits() & SoftHitBit)) return;
    if (crashTimer < -0.1f) {
        crashTimer = 0.1f;
        crashDamage = 0.0f;
    }
    crashDamage += amount;
    if (!(amount > 0.001f * maxHealth)) return;
    SmokeParticleSystem* smoke = ParticleSystems::smoke;
    if (!smoke || !car.body.chassisBody) return;
    const int32_t count = int32_t(4.0f * std::max(50.0f * amount / maxHealth, 0.25f));
    const Vector3 centre = car.GetPosition();
    for (int32_t i = 0; i < count; ++i) {
        ParticleGroup* g = smoke->Emit(ParticleSystem::kFromPool);
        if (!g) break;
        g->position = centre + Vector3(EffectFloat(-12.5f, 12.5f), EffectFloat(0.0f, 25.0f), EffectFloat(-12.5f, 12.5f));
        g->velocity = Vector3(EffectFloat(-12.5f, 12.5f), 0.0f, EffectFloat(-12.5f, 12.5f));
        g->colour[3] = 0.25f;
        g->layer = 1;
    }
}

void VehicleDamage::OnDestroyed(int32_t) {
    if (wreckPending) return;
    wreckPending = 1;
    // The killer is named now: the instigator lives only while the hit is taken.
    Vehicle* by = dynamic_cast<Vehicle*>(GetInstigator());
    killer = by ? by : lastAttacker ? lastAttacker : &car;
}

// ---------------------------------------------------------------------------------------------
// After the step

void VehicleDamage::AfterStep(float dt) {
    SurfaceStep(dt);
    if (hitReactionPending) {
        hitReactionPending = 0;
        if (car.controller) car.controller->OnHit();
    }
    if (dropPending) {
        dropPending = 0;
        car.DropPassenger();
    }
    if (wreckPending) Wreck();
}

void VehicleDamage::Wreck() {
    wreckPending = 0;
    Vehicle* by = killer;
    killer = nullptr;
    if (car.controller) car.controller->OnWrecked();
    if (car.body.chassisBox) {
        Explosion::Spawn(car.context, car.body.chassisBox.get(), car.GetPosition(), Explosion::WreckStart,
                         Explosion::WreckMaximum, Explosion::WreckGrowth, true, SharedString());
    }
    if (Passenger* rider = car.cab.passenger) {
        // Out through the car's own drop, so that nothing later puts it out again.
        car.DropPassenger();
        rider->TakeHit(RiderWreckDamage, DamageImpact);
    }
    if (DrivingRules* rules = car.context.rules) rules->OnVehicleDestroyed(by, &car);
}

void VehicleDamage::ForgetPending() {
    wreckPending = 0;
    killer = nullptr;
    dropPending = 0;
    hitReactionPending = 0;
    nearestTriangle_ = -1;
    onCurrentSurface_ = 0;
}
