// The computer driver: route, look-ahead, sensors, pedals and steering, getting unstuck, and its
// weapon.
#include "game/traffic/AIDriver.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Geometry.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/Weapons.h"
#include "game/world/LevelData.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

const Vector3 kUp(0.0f, 1.0f, 0.0f);

Vector3 Turned(const Quaternion& q, const Vector3& axis) { return q.ToMatrix().TransformNormal(axis); }

// The rotation whose nose (local -z) points along the flat direction d.
bool FacingRotation(Vector3 d, Quaternion& out) {
    d.y = 0.0f;
    if (d.LengthSquared() <= 0.0f) return false;
    d.Normalize();
    Matrix4 m;
    RotationFromDirection(-d, m.m);
    out = Quaternion(m);
    return true;
}

float Distance(const RoadNode* a, const RoadNode* b) { return (b->position - a->position).Length(); }

// The point of segment a..b nearest p, and how far along the segment it lies.
Vector3 Project(const Vector3& a, const Vector3& b, const Vector3& p, float& along) {
    const Vector3 ab = b - a;
    const float l2 = ab.LengthSquared();
    float t = l2 > 0.0f ? Vector3::Dot(p - a, ab) / l2 : 0.0f;
    t = std::clamp(t, 0.0f, 1.0f);
    along = t * std::sqrt(l2);
    return a + ab * t;
}

} // namespace

AIDriver::AIDriver(VehicleContext& context_)
    : CollisionListener(AskIgnorePair | AskFilterContact), context(context_), world(context_.world) {
    seed = uint32_t(plat::EngineRand());
    phase = RandomFloat(0.0f, 1.0f);
    contacts.reserve(kMaxContacts);
    visited.reserve(kVisitedKept + 1);
    for (PhysicsGeom* g : {static_cast<PhysicsGeom*>(&proximity), static_cast<PhysicsGeom*>(&leftRay),
                           static_cast<PhysicsGeom*>(&rightRay)}) {
        g->SetCategoryBits(kSensorCategory);
        g->SetCollideBits(g == &proximity ? kSphereCollide : kRayCollide);
        g->listeners.push_back(this);
    }
    for (RayGeom* ray : {&leftRay, &rightRay}) {
        ray->SetParams(true, true);
        // Rays have no body: without this the walls they look for (which have none either) are
        // never tried against them.
        ray->flags |= PhysicsGeom::AlwaysCollide;
    }
    if (world.physics.GetSpace()) {
        proximity.AddToWorld(world.physics);
        leftRay.AddToWorld(world.physics);
        rightRay.AddToWorld(world.physics);
        inSpace_ = true;
    }
    world.drawables.push_back(this);
}

AIDriver::~AIDriver() {
    auto& list = world.drawables;
    list.erase(std::remove(list.begin(), list.end(), static_cast<Drawable*>(this)), list.end());
    if (inSpace_) {
        proximity.RemoveFromWorld(world.physics);
        leftRay.RemoveFromWorld(world.physics);
        rightRay.RemoveFromWorld(world.physics);
    }
    // The car outlives its driver: it gets its own definition back.
    if (vehicle && ownDefinition_ && vehicle->definition == ownDefinition_.get()) vehicle->definition = originalDefinition_;
    if (vehicle && vehicle->controller == this) vehicle->controller = nullptr;
}

uint32_t AIDriver::NextRandom() {
    seed = seed * 1664525u + 1013904223u;
    return seed;
}

CarSpecial* AIDriver::FirstSpecial() const {
    if (!vehicle || vehicle->items.specials.empty()) return nullptr;
    return dynamic_cast<CarSpecial*>(vehicle->items.specials.front());
}

void AIDriver::DriveStep(PhysicsWorld& /*world*/, float dt) { Update(dt); }

// ---------------------------------------------------------------------------------------------
// Placing and routing

void AIDriver::PlaceAt(const Vector3& position, const Matrix4& /*matrix*/, bool routeFlag_) {
    placedPosition = position;
    routeFlag = routeFlag_;
    if (!vehicle) return;
    vehicle->Respawn(false);
    vehicle->ResetControls();
    stuckTime = 0.0f;
    shifts = 0;
    pedal = 0.0f;
    reached = false;

    RoadNode* start = nullptr;
    if (routeFlag) {
        if (graph && graph->startNode >= 0 && graph->startNode < graph->Count())
            start = &graph->nodes[size_t(graph->startNode)];
    } else {
        graph = world.graphs.driver.get();
        start = graph ? graph->FindNearestFreeNode(position) : nullptr;
    }
    homeNode_ = graph ? graph->FindNearestFreeNode(position) : nullptr;
    // No node to start from: the driver keeps what it had and brakes.
    if (start) {
        RoadNode* next = start->PickFreeNeighbour(true);
        if (next) {
            currentNode = start;
            route.clear();
            routeLength_ = 0.0f;
            lastIndex_ = -1;
            Append(next);
        }
    }

    if (currentNode && !route.empty()) {
        Vector3 heading = route.front()->position - currentNode->position;
        heading.y = 0.0f;
        if (heading.LengthSquared() > 0.0f) {
            heading.Normalize();
            if (target && Vector3::Dot(heading, Turned(target->GetOrientation(), Vector3(0, 0, 1))) < 0.0f)
                heading = heading * -1.0f;
            Quaternion facing;
            if (FacingRotation(heading, facing)) vehicle->SetOrientation(facing);
        }
    }
    const bool atNode = currentNode && (mode == FollowRoad || position.LengthSquared() == 0.0f);
    vehicle->SetPosition((atNode ? currentNode->position : position) + Vector3(0.0f, 10.0f, 0.0f));

    if (!ownDefinition_) {
        if (const CarDefinition* handling = CarCatalogue::Instance().FindByFlag(kCarAiTemplate)) {
            originalDefinition_ = vehicle->definition;
            ownDefinition_ = std::make_unique<CarDefinition>(*vehicle->definition);
            ownDefinition_->CopyHandling(*handling);
            vehicle->definition = ownDefinition_.get();
        }
    }
}

bool AIDriver::Append(RoadNode* node) {
    if (!node) return false;
    const RoadNode* from = route.empty() ? currentNode : route.back();
    if (from) routeLength_ += Distance(from, node);
    route.push_back(node);
    lastIndex_ = int(route.size()) - 1;
    return true;
}

void AIDriver::ConsumeFirst() {
    RoadNode* node = route.front();
    if (currentNode) routeLength_ -= Distance(currentNode, node);
    routeLength_ = std::max(routeLength_, 0.0f);
    currentNode = node;
    visited.push_back(node);
    route.erase(route.begin());
    lastIndex_ = int(route.size()) - 1;
}

void AIDriver::ExtendRoute(float& routeLength, const float& travelled, int& lastIndex) {
    // Nodes on top of each other add no length: the node count bounds the loop as well.
    while (routeLength < travelled + kRouteAhead && route.size() < kMaxRouteNodes) {
        RoadNode* last = route.empty() ? currentNode : route.back();
        if (!last || last->links.empty()) return;
        RoadNode* next = nullptr;
        if (mode == Wander && last->links.size() > 1) {
            for (int tries = 0; tries < 5; ++tries) {
                next = last->links[NextRandom() % last->links.size()];
                if (std::find(visited.begin(), visited.end(), next) == visited.end()) break;
            }
        } else {
            next = last->PickFreeNeighbour(true);
        }
        if (!next) return;
        routeLength += (next->position - last->position).Length();
        route.push_back(next);
        lastIndex = int(route.size()) - 1;
    }
}

void AIDriver::ReRoute() {
    graph = world.graphs.driver.get();
    if (!graph || !vehicle) return;
    RoadNode* nearest = graph->FindNearestFreeNode(vehicle->GetPosition());
    if (!nearest) return;
    RoadNode* next = nearest->PickFreeNeighbour(true);
    if (!next) return;
    currentNode = nearest;
    route.clear();
    routeLength_ = 0.0f;
    Append(next);
}

void AIDriver::PutBack() {
    if (route.empty()) return;
    RoadNode* node = route.front();
    RespawnPoint point;
    point.position = node->position;
    if (route.size() > 1) {
        point.directionPoints.push_back(route[1]->position);
    } else if (currentNode) {
        point.directionPoints.push_back(node->position + (node->position - currentNode->position));
    }
    vehicle->PlaceAt(point);
    stuckTime = 0.0f;
    shifts = 0;
    // It stands on that node now: the next one is where it goes.
    if (route.size() > 1) ConsumeFirst();
}

// ---------------------------------------------------------------------------------------------
// Steering

float AIDriver::SteerValue(const Vector3& direction, const Quaternion& orientation) {
    Vector3 d = direction;
    if (d.LengthSquared() <= 0.0f) return 0.0f;
    d.Normalize();
    // The car's nose is its local -z: b is taken along its tail. Rounding must not push a
    // point straight behind or beside out of every case.
    const float b = std::clamp(Vector3::Dot(d, Turned(orientation, Vector3(0, 0, 1))), -1.0f, 1.0f);
    const float r = std::clamp(Vector3::Dot(d, Turned(orientation, Vector3(1, 0, 0))), -1.0f, 1.0f);
    if (b >= 0.0f && b <= 1.0f && r >= 0.0f && r <= 1.0f) return 1.0f;
    if (b >= -1.0f && b <= 0.0f && r >= -1.0f && r <= 1.0f) return r * 0.5f;
    if (b >= 0.0f && b <= 1.0f && r >= -1.0f && r <= 0.0f) return -1.0f;
    return 0.0f;
}

void AIDriver::PlaceSensors(const Vector3& position, const Vector3& forward, float speed) {
    proximity.SetPosition(position);
    proximity.SetRadius(2.0f * (speed + 0.01f));
    const Vector3 side = Vector3::Cross(forward, kUp);
    const float length = 2.0f * speed + 0.01f;
    leftRay.SetLength(length);
    rightRay.SetLength(length);
    leftRay.Set(position, (forward - side * 0.1f).Normalized());
    rightRay.Set(position, (forward + side * 0.1f).Normalized());
}

float AIDriver::AvoidSteer(const Vector3& position, const Vector3& right, float dt) {
    Vector3 sum[2];
    int count[2] = {0, 0};
    const SensorContact* pressing = nullptr;
    for (SensorContact& c : contacts) {
        if (c.fromRay) {
            const int k = c.geometry == &leftRay ? 0 : 1;
            sum[k] = sum[k] + c.point;
            ++count[k];
        } else if (c.contactTime >= 5.0f && !pressing) {
            pressing = &c;
        }
    }
    Vector3 away;
    bool found = false;
    if (count[0] || count[1]) {
        // Both rays felt something: only the nearer one counts, so the car swerves one way.
        Vector3 mean[2];
        for (int k = 0; k < 2; ++k)
            if (count[k]) mean[k] = sum[k] * (1.0f / float(count[k]));
        int k = count[0] ? 0 : 1;
        if (count[0] && count[1] &&
            (mean[1] - position).LengthSquared() < (mean[0] - position).LengthSquared())
            k = 1;
        away = mean[k];
        found = true;
    } else if (pressing) {
        away = pressing->point;
        found = true;
    }

    // The records age, their contact times follow their touching, and old ones go.
    for (SensorContact& c : contacts) {
        c.age += dt;
        c.contactTime = c.touching ? c.contactTime + dt : std::max(0.0f, c.contactTime - dt);
        c.touching = 0;
    }
    contacts.erase(std::remove_if(contacts.begin(), contacts.end(),
                                  [](const SensorContact& c) { return c.age > (c.fromRay ? 0.1f : 10.0f); }),
                   contacts.end());

    if (!found) return 0.0f;
    return Vector3::Dot(away - position, right) > 0.0f ? -1.0f : 1.0f;
}

// ---------------------------------------------------------------------------------------------
// The update

void AIDriver::Halt() {
    contacts.clear();
    if (vehicle) vehicle->SetBrake(1.0f);
}

void AIDriver::ClearInputs() {
    if (!vehicle) return;
    vehicle->controls.throttle = 0.0f;
    vehicle->controls.brake = 0.0f;
    vehicle->controls.steerInput = 0.0f;
}

void AIDriver::Update(float dt) {
    if (!vehicle || disabled || vehicle->IsWrecked()) return;
    // The driver runs after every physics sub-step: what it asks now replaces what it asked
    // after the last one (the setters would keep an earlier value where this one is 0).
    ClearInputs();
    phase += dt;
    if (context.rules && context.rules->inputLocked) {
        Halt();
        return;
    }
    if (route.empty()) {
        Halt();
        return;
    }

    Vehicle& car = *vehicle;
    const Vector3 position = car.GetPosition();
    const Quaternion orientation = car.GetOrientation();
    const Vector3 forward = Turned(orientation, Vector3(0, 0, -1));
    const Vector3 right = Turned(orientation, Vector3(1, 0, 0));
    float speed = car.GetLinearVelocity().Length();
    if (!(speed < 2000.0f)) speed = 0.0f;
    shotTimer += dt;

    PlaceSensors(position, forward, speed);

    // Where the car is along the road it drives.
    const Vector3 from = currentNode ? currentNode->position : route.front()->position;
    float travelled = 0.0f;
    const Vector3 onRoad = Project(from, route.front()->position, position, travelled);
    Vector3 aim = route.front()->position;
    if ((position - onRoad).LengthSquared() > kOnRoadSquared) {
        Vector3 along = route.front()->position - from;
        if (along.LengthSquared() > 0.0f) aim = onRoad + along.Normalized() * speed;
    }
    ExtendRoute(routeLength_, travelled, lastIndex_);

    chasing = false;
    if (mode == Chase) {
        const Vector3 chased = target ? target->GetPosition() : targetPoint;
        const float range = kChaseRange + (target ? 0.5f * target->GetLinearVelocity().Length() : 0.0f);
        if ((chased - position).LengthSquared() < range * range) {
            aim = chased;
            chasing = true;
        }
    }

    // Nodes the car has reached leave the route.
    if (visited.size() > kVisitedKept) visited.erase(visited.begin(), visited.end() - kVisitedKept);
    // A node is reached within `speed` of it, or once the car is past it along the road: a car
    // that turns wider than that would otherwise circle a node it overshot for ever.
    const auto reachedFirst = [&] {
        const Vector3 to = route.front()->position;
        if ((to - position).LengthSquared() < speed * speed) return true;
        if (!currentNode) return false;
        const Vector3 along = to - currentNode->position;
        return along.LengthSquared() > 0.0f && Vector3::Dot(position - currentNode->position, along) >= along.LengthSquared();
    };
    while (!route.empty() && reachedFirst()) {
        if (route.size() == 1) {
            ExtendRoute(routeLength_, travelled, lastIndex_);
            // A dead end, or every way on taken: the last node stays.
            if (route.size() == 1) break;
        }
        if (mode == Wander && route.size() == 1) break;
        ConsumeFirst();
        if (visited.size() > kVisitedKept) visited.erase(visited.begin());
        if (routeFlag && currentNode == homeNode_ && homeNode_ &&
            car.Definition().HasFlag(kCarPolice | kCarAiTemplate))
            reached = true;
    }
    if (route.empty()) return;
    // Having come to a last node it cannot go on from, the car stops on it and waits for a
    // way on to come free (the route grew above if there was one).
    const float stopDistance = speed + kStopMargin;
    const bool waiting = route.size() == 1 && (route.front()->position - position).LengthSquared() < stopDistance * stopDistance;

    // Steering: the sensors first, else the aim.
    const float avoid = AvoidSteer(position, right, dt);
    float s = avoid != 0.0f ? avoid : SteerValue(aim - position, orientation);
    if (car.drive.gear == -1) s = 0.0f;
    // A positive steering input turns the car towards its +x side, as s counts.
    if (s != 0.0f) car.SetSteering((s > 0.0f ? 1.0f : -1.0f) * std::sqrt(std::fabs(s)));
    float turn = std::fabs(s);
    if (route.size() > 1) turn = std::max(turn, std::fabs(SteerValue(route[1]->position - position, orientation)));

    // Pedals.
    if (waiting) {
        car.SetBrake(1.0f);
    } else if (speed < 150.0f) {
        car.SetThrottle(1.0f);
        pedal -= pedal * std::max(0.0f, 4.0f * dt);
    } else if (speed >= 250.0f && turn >= 0.6f) {
        pedal += (1.0f - pedal) * std::max(0.0f, dt);
        car.SetBrake(pedal);
    } else if (speed < topSpeed) {
        car.SetThrottle(1.0f - turn);
        pedal -= pedal * std::max(0.0f, 4.0f * dt);
    }

    // Stuck: back out, then try again; put back on the road when that does not help.
    if (car.drive.gear >= 1) {
        stuckTime = speed < kStuckSpeed ? stuckTime + dt : 0.0f;
        if (stuckTime > kStuckSeconds) {
            car.ShiftBackward();
            ++shifts;
            stuckTime = 0.0f;
        }
    } else if (car.drive.gear == -1) {
        stuckTime += dt;
        if (stuckTime > kStuckSeconds) {
            car.ShiftForward();
            ++shifts;
            stuckTime = 0.0f;
        }
    }
    if (speed >= kFreeSpeed) shifts = 0;
    if (shifts > kShiftsBeforePutBack && !car.IsWrecked()) {
        PutBack();
    } else if (!chasing && !car.IsWrecked() && currentNode) {
        // Fallen off the road (or driven up something): back on it.
        float unused = 0.0f;
        const Vector3 under = Project(currentNode->position, route.front()->position, position, unused);
        if (std::fabs(position.y - under.y) >= kOffRoadHeight) PutBack();
    }

    FireWeapon(position, forward, speed, dt);
}

// ---------------------------------------------------------------------------------------------
// Weapons

void AIDriver::StopGuns() {
    if (!vehicle) return;
    if (auto* gun = dynamic_cast<ChainGunWeapon*>(vehicle->items.weapon)) gun->StopFiring();
    if (auto* flamer = dynamic_cast<FlamerWeapon*>(vehicle->items.weapon)) flamer->StopFiring();
}

void AIDriver::FireWeapon(const Vector3& position, const Vector3& forward, float speed, float /*dt*/) {
    Vehicle& car = *vehicle;
    CarItem* weapon = car.items.weapon;
    if (!weapon || car.IsWrecked()) return;
    if (target && target->IsWrecked()) {
        target = nullptr;
        StopGuns();
    }
    if (!target) return;

    const Vector3 toTarget = target->GetPosition() - position;
    const float distance = toTarget.Length();
    const float aim = distance > 0.0f ? Vector3::Dot(forward, toTarget * (1.0f / distance)) : 1.0f;
    const bool armed = mode != Wander;
    if (distance >= kWeaponRange) {
        StopGuns();
    } else if (car.Definition().HasFlag(kCarTank)) {
        if (aim > 0.9f)
            if (CarSpecial* special = FirstSpecial()) special->Use();
    } else if (auto* flamer = dynamic_cast<FlamerWeapon*>(weapon)) {
        if (armed) {
            if (distance < 300.0f && aim > 0.9f) {
                flamer->StartFiring();
            } else {
                flamer->StopFiring();
            }
        }
    } else if (auto* grenade = dynamic_cast<GrenadeWeapon*>(weapon)) {
        if (armed && aim < -0.8f && speed > 500.0f && distance > 150.0f && shotTimer > 10.0f) {
            grenade->Throw(std::clamp(distance / speed, 1.0f, 10.0f));
            shotTimer = 0.0f;
        }
    } else if (auto* gun = dynamic_cast<ChainGunWeapon*>(weapon)) {
        if (armed) {
            if (aim > 0.9f) {
                gun->StartFiring();
            } else {
                gun->StopFiring();
            }
        }
    } else if (auto* missile = dynamic_cast<MissileWeapon*>(weapon)) {
        if (armed && aim > 0.9f && shotTimer > 3.0f) {
            missile->SetTarget(target->ChassisGeom());
            missile->Fire();
            shotTimer = 0.0f;
        }
    } else if (auto* rocket = dynamic_cast<RocketWeapon*>(weapon)) {
        if (armed && aim > 0.9f && shotTimer > 3.0f) {
            rocket->Fire();
            shotTimer = 0.0f;
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Sensor hooks: inside the physics step, so they only write records.

bool AIDriver::IgnorePair(PhysicsGeom* /*own*/, PhysicsGeom* other) {
    if (other->GetCategoryBits() & 0x100) return true;
    return vehicle && other == vehicle->ChassisGeom();
}

bool AIDriver::FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                             float* /*depth*/) {
    if (!vehicle) return false;
    if (own == &proximity) {
        Vector3 travel = vehicle->GetLinearVelocity();
        if (travel.LengthSquared() <= 0.0f) return false;
        travel.Normalize();
        if (Vector3::Dot(*normal, travel) >= -0.9f) return false;
        for (SensorContact& c : contacts) {
            if (!c.fromRay && c.geometry == other) {
                c.point = *position;
                c.touching = 1;
                c.age = 0.0f;
                return false;
            }
        }
        if (contacts.size() < kMaxContacts) {
            SensorContact c;
            c.geometry = other;
            c.point = *position;
            c.touching = 1;
            contacts.push_back(c);
        }
        return false;
    }
    if (own == &leftRay || own == &rightRay) {
        if (normal->y > 0.5f) return false; // the ground
        if (contacts.size() < kMaxContacts) {
            SensorContact c;
            c.geometry = own;
            c.point = *position;
            c.fromRay = 1;
            contacts.push_back(c);
        }
    }
    return false;
}
