#include "game/traffic/Fare.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "engine/core/FileStream.h"
#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8Mesh.h"
#include "game/traffic/PedestrianType.h"
#include "game/traffic/StreetEvents.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

constexpr uint32_t kVehicleBit = 0x80;
constexpr float kSoundNear = 25.0f, kSoundFar = 100.0f;

}  // namespace

const Vector3 Fare::kSeatOffset{-6.0f, 5.0f, 0.0f};

int32_t Fare::NextWaveCall() { return plat::EngineRand() % 7 + 5; }

Fare::Fare(PedestrianType& type_, PedestrianSite& site_) : Pedestrian(type_, site_) {
    if (player) {
        for (const auto& wave : type.waves)
            if (wave) player->AddAnimation(wave.get());
        for (BoneAnimation* a : {type.getIn.get(), type.getOut.get()})
            if (a) player->AddAnimation(a);
    }
    waveSoundTimer = float(NextWaveCall());
}

Fare::~Fare() { LeaveCabQuietly(); }

void Fare::LeaveCabQuietly() {
    Vehicle* car = cab;
    cab = nullptr;
    if (!car) return;
    if (car->cab.passenger == this) car->cab.passenger = nullptr;
    std::erase(car->cab.passengers, static_cast<Passenger*>(this));
}

StreetEvents* Fare::Events() const { return site.events; }

void Fare::PlayRandomSound(const char* pattern) {
    const std::vector<SharedString> files =
        ListFiles(SharedString::Format("Pedestrians\\%s\\%s", type.name.c_str(), pattern), false);
    if (files.empty()) return;
    const SharedString& file = files[size_t(plat::EngineRand()) % files.size()];
    AudioDevice* sound = site.world ? site.world->engine.sound : nullptr;
    if (sound)
        sound->PlaySound3D(SharedString::Format("Pedestrians\\%s\\%s", type.name.c_str(), file.c_str()), GetPosition(),
                           kSoundNear, kSoundFar, 1.0f, nullptr);
}

void Fare::Wave(const Vector3& direction) {
    facing = Vector3(direction.x, 0.0f, direction.z);
    speed = 0.0f;
    if (state == Waiting) return;
    state = Waiting;
    waveSoundTimer = float(NextWaveCall());
    PlayRandomSound("Wave*.wav");
    if (type.waves.empty()) {
        Debugger::Instance().Log(0, "Missing Ped Wave file!!");
        return;
    }
    Play(type.waves[size_t(plat::EngineRand()) % type.waves.size()].get());
}

Vehicle* Fare::FindCab(Vector3& point, float& distanceSquared) const {
    if (!site.vehicles) return nullptr;
    const Vector3 me = GetPosition();
    Vehicle* best = nullptr;
    for (Vehicle* car : site.vehicles->vehicles) {
        if (!car) continue;
        const int32_t capacity = car->cab.singlePassenger;
        const int32_t aboard = int32_t(car->cab.passengers.size());
        const bool room = capacity == 1 ? car->cab.passenger == nullptr : aboard < capacity;
        if (!room) continue;
        const Vector3 at = state == WalkingToCab && aboard < 3 ? car->GetDoorPoint(aboard) : car->GetPosition();
        const float d = (at - me).LengthSquared();
        if (!(d < kNoticeSquared)) continue;
        if (!best || d < distanceSquared) {
            best = car;
            point = at;
            distanceSquared = d;
        }
    }
    return best;
}

void Fare::Update(ObjectQuadTree& tree, const Camera* camera, float dt) {
    Pedestrian::Update(tree, camera, dt);
    leaveTimer = std::max(0.0f, leaveTimer - dt);
    if (state == InCab) rideTime += dt;
    if (state == Knocked || state == Dead) return;
    if (state == Waiting) {
        waveSoundTimer -= dt;
        if (waveSoundTimer < 0.0f) {
            PlayRandomSound("Wave*.wav");
            waveSoundTimer = float(NextWaveCall());
        }
    }
    if (Riding() || !WantsCab()) return;
    Vector3 point;
    float d = 0.0f;
    Vehicle* car = FindCab(point, d);
    if (!car) {
        if ((state == Waiting || state == WalkingToCab) && targetNode) ResumeWalking();
        return;
    }
    Vector3 u = point - GetPosition();
    if (u.LengthSquared() > 0.0f) u.Normalize();
    if (d < kReachSquared) {
        Enter(*car);
        return;
    }
    if (d < kRunSquared && mayBoard && car->GetLinearVelocity().LengthSquared() < kWalkableCabSpeedSquared) {
        const float f = std::max(0.0f, dt * 2.5f);
        facing = facing + (u - facing) * f;
        if (facing.LengthSquared() > 0.0f) facing.Normalize();
        speed = kWalkToCabSpeed;
        if (state != WalkingToCab) {
            state = WalkingToCab;
            Play(type.walk.get());
        }
        return;
    }
    if (mayWave) Wave(u);
}

void Fare::UpdateBounds(PhysicsWorld& world, float dt) {
    Pedestrian::UpdateBounds(world, dt);
    if (state != InCab || !cab) return;
    Quaternion q = cab->GetOrientation();
    const Vector3 at = cab->GetPosition() + q.ToMatrix().TransformNormal(kSeatOffset);
    q.PreRotateY(3.14159265f / 2.0f);
    SetOrientation(q);
    SetPosition(at);
}

bool Fare::IgnorePair(PhysicsGeom* own, PhysicsGeom* other) {
    if (state == InCab) return true;
    if (leaveTimer > 0.0f) return true;
    if ((state == WalkingToCab || state == InCabToo) && other && (other->GetCategoryBits() & kVehicleBit)) return true;
    return Pedestrian::IgnorePair(own, other);
}

void Fare::StartRide(Vehicle& car) {
    rideTime = 0.0f;
    rideDamage = 0.0f;
    cab = &car;
    boardPosition = GetPosition();
    arrivalPosition = boardPosition;
}

bool Fare::Board(Vehicle& car) {
    if (!mayBoard) return false;
    StartRide(car);
    if (StreetEvents* events = Events()) events->OnFareBoarded(&car, *this);
    return true;
}

void Fare::Judge(bool success, bool logVerdict) {
    arrivalPosition = GetPosition();
    const float distance = (arrivalPosition - boardPosition).Length();
    const bool badDamage = kGoodDamageShare * VehicleDamage::MaxHealth < rideDamage;
    // A ride of no time has no average speed to hold against it.
    const bool badTime = rideTime > 0.0f && distance / rideTime * 0.1f * 3.6f < kGoodAverageSpeed;
    if (logVerdict) {
        Debugger::Instance().Log(3, "Negative  Time  %d: ", badTime ? 1 : 0);
        Debugger::Instance().Log(3, "Negative  HP  %d: ", badDamage ? 1 : 0);
    }
    PlayRandomSound(badTime || badDamage ? "Nega*.wav" : "Posi*.wav");
    if (StreetEvents* events = Events()) {
        if (success) events->OnFareDelivered(cab, *this);
        else events->OnFareFailed();
    }
}

void Fare::Arrive(bool success) {
    if (!mayBoard) return;
    Judge(success, true);
    leaveTimer = kLeaveTime;
    if (cab) Leave(*cab);
}

void Fare::GetOut() {
    if (!mayBoard) return;
    leaveTimer = kLeaveTime;
    if (StreetEvents* events = Events()) events->OnFareGotOut(cab, *this);
    Vehicle* car = cab;
    cab = nullptr;
    if (car) Leave(*car);
}

void Fare::TakeHit(float amount, int32_t kind) { TakeDamage(amount, kind, nullptr); }

void Fare::Leave(Vehicle& car) {
    SetPosition(car.GetDoorPoint(0));
    BoneAnimation* after = nullptr;
    if (targetNode) {
        state = Walking;
        speed = kLeaveSpeed;
        after = type.walk.get();
    } else {
        state = Standing;
        speed = 0.0f;
        after = type.idle.get();
    }
    if (!player) return;
    if (type.getOut) player->PlayAnimation(type.getOut.get(), 1, false);
    if (after) player->PlayAnimation(after, 0xFFFFFFFFu, type.getOut != nullptr);
}

void Fare::Enter(Vehicle& car) {
    car.AddPassenger(*this);
    // A car that would not take it: it stays where it is.
    if (cab != &car) return;
    if (seat >= 0 && seat <= 2) SetPosition(car.GetDoorPoint(seat));
    speed = 0.0f;
    state = InCab;
    BoneAnimation* getIn = nullptr;
    if (car.cab.singlePassenger == 1) {
        getIn = type.getIn.get();
    } else {
        const auto& list = car.cab.passengers;
        const auto it = std::find(list.begin(), list.end(), static_cast<Passenger*>(this));
        if (it != list.end()) {
            const size_t place = size_t(it - list.begin());
            getIn = type.getIn.get();
            if (place == 1 && type.getIn2) getIn = type.getIn2.get();
            if (place == 2 && type.getIn3) getIn = type.getIn3.get();
        }
    }
    if (player && getIn) player->PlayAnimation(getIn, 1, false);
}
