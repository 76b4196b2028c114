#include "game/traffic/SpecialPedestrians.h"

#include <cmath>

#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8Mesh.h"
#include "game/traffic/PedestrianType.h"
#include "game/traffic/StreetEvents.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/Rifle.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/BoundaryPlane.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

// Where a sight line or a shot aims at a car: its chassis box.
Vector3 AimPoint(const Vehicle& car) { return car.ChassisGeom() ? car.ChassisGeom()->GetPosition() : car.GetPosition(); }

bool IsHuman(const Vehicle& car) { return (car.network.flagWord & VehicleNetwork::PlayerCarFlag) != 0; }

// Whether the sight ray from `from` reaches the car before any wall of the static city.
bool InSight(PedestrianSite& site, const Vector3& from, const Vector3& direction, Vehicle& car) {
    SightRay& ray = SharedSightRay(*site.vehicles);
    ray.Set(from, direction);
    ray.target = car.ChassisGeom();
    const bool seen = ray.HitsTarget(site.world->physics, site.world->boundary.get());
    ray.target = nullptr;
    return seen;
}

// The turn that points the unturned forward (0, 0, -1) along the direction (unit length).
Quaternion AimAlong(const Vector3& d) {
    const Vector3 forward(0.0f, 0.0f, -1.0f);
    const Vector3 axis = Vector3::Cross(forward, d);
    const float cosine = Clamp(Vector3::Dot(forward, d), -1.0f, 1.0f);
    if (axis.LengthSquared() < 1e-12f) return cosine > 0.0f ? Quaternion() : Quaternion(Vector3(0.0f, 1.0f, 0.0f), 3.14159265f);
    return Quaternion(axis.Normalized(), std::acos(cosine));
}

} // namespace

Vector3 SightStart(const Pedestrian& p) { return p.GetPosition() + Vector3(0.0f, p.type.size.y * 0.8f, 0.0f); }

// ---------------------------------------------------------------------------------------------
// Gunman

Gunman::Gunman(PedestrianType& type, PedestrianSite& site) : Pedestrian(type, site) {
    if (site.vehicles) rifle = std::make_unique<Rifle>(*site.vehicles);
    fireRate = 1.0f / type.SpeedLength(type.fire.get());
    if (rifle) {
        rifle->rate = fireRate;
        rifle->shooter = geom.get();
    }
    state = Standing;
    thrownOnDamage = true;
}

Gunman::~Gunman() = default;

void Gunman::OnAdded(ObjectQuadTree& tree) {
    Pedestrian::OnAdded(tree);
    speed = 0.0f;
    StandIdle();
}

void Gunman::StandIdle() {
    state = Standing;
    Play(type.idle.get());
    firing = false;
    if (rifle) rifle->firing = 0;
}

Vehicle* Gunman::FindTarget(Vector3& direction) {
    if (!site.vehicles || !site.world) return nullptr;
    const Vector3 me = GetPosition();
    Vehicle* best = nullptr;
    float bestSquared = kTargetRadiusSquared;
    for (Vehicle* car : site.vehicles->vehicles) {
        if (!car || !IsHuman(*car) || car->IsWrecked()) continue;
        const float d = (car->GetPosition() - me).LengthSquared();
        if (d < bestSquared) {
            bestSquared = d;
            best = car;
        }
    }
    if (!best) return nullptr;
    const Vector3 from = SightStart(*this);
    Vector3 to = AimPoint(*best) - from;
    if (!(to.LengthSquared() > 0.0f)) return nullptr;
    direction = to.Normalized();
    return InSight(site, from, direction, *best) ? best : nullptr;
}

void Gunman::Update(ObjectQuadTree& tree, const Camera* camera, float dt) {
    Pedestrian::Update(tree, camera, dt);
    if (rifle) rifle->Fire(dt);
    if (state == Knocked || state == Dead) return;
    if (site.events && site.events->SessionDecided()) {
        if (state != Standing || firing) StandIdle();
        return;
    }
    if (!((state == Standing && plat::EngineRand() % 10 == 0) || state == Aiming)) return;
    Vector3 direction;
    if (!FindTarget(direction)) {
        if (state != Standing || firing) StandIdle();
        return;
    }
    Vector3 flat(direction.x, 0.0f, direction.z);
    if (flat.LengthSquared() > 0.0f) facing = flat.Normalized();
    const Vector3 from = SightStart(*this);
    muzzle = from + direction * 5.0f;
    aim = AimAlong(direction);
    speed = 0.0f;
    if (state != Aiming) {
        aimClock = 0.0f;
        state = Aiming;
        Play(type.fire.get());
    }
    aimClock += dt;
    firing = true;
    if (rifle) {
        rifle->muzzle = muzzle;
        rifle->orientation = aim;
        rifle->firing = 1;
    }
}

void Gunman::OnDestroyed(int32_t kind) {
    Pedestrian::OnDestroyed(kind);
    firing = false;
    if (rifle) rifle->firing = 0;
}

// ---------------------------------------------------------------------------------------------
// Rocket thrower

RocketThrower::RocketThrower(PedestrianType& type, PedestrianSite& site) : Pedestrian(type, site) {
    state = Waiting;
    thrownOnDamage = true;
}

void RocketThrower::OnAdded(ObjectQuadTree& tree) {
    Pedestrian::OnAdded(tree);
    speed = 0.0f;
    target = nullptr;
}

void RocketThrower::Update(ObjectQuadTree& tree, const Camera* camera, float dt) {
    Pedestrian::Update(tree, camera, dt);
    if (state == Knocked || state == Dead) return;
    if (!((state == Standing && plat::EngineRand() % 10 == 0) || state == Aiming)) return;
    if (!site.vehicles || !site.world) return;
    const Vector3 me = GetPosition();
    Vehicle* best = nullptr;
    float bestSquared = kTargetRadiusSquared;
    for (Vehicle* car : site.vehicles->vehicles) {
        if (!car || !IsHuman(*car)) continue;
        const float d = (car->GetPosition() - me).LengthSquared();
        if (d < bestSquared) {
            bestSquared = d;
            best = car;
        }
    }
    Vector3 flat;
    if (best) {
        const Vector3 to = best->GetPosition() - me;
        flat = Vector3(to.x, 0.0f, to.z);
        if (flat.LengthSquared() > 0.0f) flat.Normalize();
        const Vector3 from = SightStart(*this);
        const Vector3 look = AimPoint(*best) - from;
        if (!(look.LengthSquared() > 0.0f) || !InSight(site, from, look.Normalized(), *best)) best = nullptr;
    }
    if (!best) {
        state = Standing;
        Play(type.idle.get());
        return;
    }
    if (flat.LengthSquared() > 0.0f) facing = flat;
    if (state != Throwing) {
        speed = 0.0f;
        throwClock = 0.0f;
        thrown = false;
        target = best;
        state = Throwing;
        if (player && type.throwing) player->PlayAnimation(type.throwing.get(), 1u, false);
    }
}

void RocketThrower::UpdateBounds(PhysicsWorld& world, float dt) {
    Pedestrian::UpdateBounds(world, dt);
    if (state != Throwing) return;
    throwClock += dt;
    const float length = type.SpeedLength(type.throwing.get());
    if (!thrown && throwClock > length * 0.5f) {
        thrown = true;
        // A target gone from the game since the throw began is not thrown at.
        bool present = false;
        if (site.vehicles)
            for (Vehicle* car : site.vehicles->vehicles) present = present || car == target;
        if (present && site.vehicles) {
            const Vector3 from = SightStart(*this);
            const Vector3 error(RandomFloat(-20.0f, 20.0f), RandomFloat(-10.0f, 10.0f), RandomFloat(-20.0f, 20.0f));
            Vector3 to = AimPoint(*target) + error - from;
            if (to.LengthSquared() > 0.0f) {
                to.Normalize();
                RocketProjectile::Launch(*site.vehicles, geom.get(), from + to * 5.0f, to, AimPoint(*target) + error,
                                         200.0f, RandomFloat(0.0f, 6.2831853f));
            }
        }
    }
    if (throwClock >= length) {
        target = nullptr;
        state = Standing;
        Play(type.idle.get());
    }
}

// ---------------------------------------------------------------------------------------------
// Show pedestrian

ShowPedestrian::ShowPedestrian(PedestrianType& type, PedestrianSite& site) : HailingPedestrian(type, site) {
    mayBoard = false;
    looksForCabs = false;
    thrownOnDamage = true;
}

void ShowPedestrian::OnAdded(ObjectQuadTree& tree) {
    HailingPedestrian::OnAdded(tree);
    state = Waiting;
    Play(plat::EngineRand() % 2 == 0 ? type.show2.get() : type.show1.get());
}
