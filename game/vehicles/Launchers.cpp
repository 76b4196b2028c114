#include "game/vehicles/Launchers.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/ProjectileLaunchers.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"

namespace {

Matrix4 TurnOf(const Quaternion& q) { return q.ToMatrix(); }

void PlayAt(AudioVoice* voice, const Vector3& at) {
    if (!voice) return;
    voice->StopAndRewind();
    voice->SetPosition(at);
    voice->Play(false);
}

// A mount's frame in the car: at its point, turned to its direction.
Matrix4 Mount(const Vector3& at, const Vector3& direction) {
    Matrix4 local;
    RotationFromDirection(direction.Normalized(), local.m);
    local.m[3][0] = at.x;
    local.m[3][1] = at.y;
    local.m[3][2] = at.z;
    return local;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Lock-on ray

LockOnRay::LockOnRay() : RayGeom(Length), CollisionListener(AskIgnorePair | AskForceReceiver) {
    flags |= OneSided | AlwaysCollide;
    SetParams(true, false);
    SetCategoryBits(0x08);
    SetCollideBits(7);
    listeners.push_back(this);
}

bool LockOnRay::IgnorePair(PhysicsGeom*, PhysicsGeom* other) { return other == owner || other == ownerSpace; }

JointForceReceiver* LockOnRay::GetForceReceiver(PhysicsGeom*, PhysicsGeom* other) {
    if (other->GetCategoryBits() & CarBit) {
        remembered = other;
        sinceContact = 0.0f;
    }
    return nullptr;
}

void LockOnRay::Age(float dt) {
    sinceContact += dt;
    if (sinceContact > Memory) remembered = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Grenade thrower

GrenadeWeapon::GrenadeWeapon(VehicleContext& context_)
    : GameWeapon(context_, WeaponGrenade, "Grenade_Active.WAV", "Hud_Grenade.ZKT") {
    fireVoice = Voice("GrenadeFire.WAV");
    SharedGunEffects(context).throwers.push_back(this);
}

GrenadeWeapon::~GrenadeWeapon() {
    if (context.guns) std::erase(context.guns->throwers, this);
}

void GrenadeWeapon::Attach(Vehicle* newCar) {
    GameWeapon::Attach(newCar);
    if (!newCar) return;
    ammo = FullAmmo;
    charging = 0;
    charge = 0.0f;
}

void GrenadeWeapon::Trigger() {
    if (ammo <= 0.0f) return;
    if (FirePressed()) {
        charging = 1;
        charge = 0.0f;
    }
    if (charging && !FireHeld()) {
        const float t = std::max(charge, 1.0f) + RandomFloat(-0.25f, 0.25f);
        Throw(std::max(t, 1.0f));
    }
}

void GrenadeWeapon::Update(float dt) {
    if (charging) {
        charge += dt;
        if (charge > LongestCharge) Throw(LongestCharge);
    }
    ShowAmmo();
}

void GrenadeWeapon::Throw(float strength) {
    if (!car || ammo <= 0.0f) return;
    const Matrix4 turn = TurnOf(car->GetOrientation());
    GrenadeEvent event;
    event.playerId = car->network.networkPlayerId;
    event.point = car->GetPosition() + turn.TransformNormal(car->Definition().grenadePoint);
    const Vector3 carried = car->GetLinearVelocity();
    for (GrenadeEvent::Grenade& g : event.grenades) {
        Vector3 d = Vector3(RandomFloat(-3.0f, 3.0f), 0.0f, 1.0f).Normalized() * 150.0f;
        d.y = 25.0f + RandomFloat(1.0f, 25.0f);
        g.velocity = turn.TransformNormal(d) + carried;
        g.fuse = strength;
    }
    uint8_t frame[GrenadeEvent::FrameSize];
    EncodeGrenadeEvent(event, frame);
    if (!Send(frame, GrenadeEvent::FrameSize)) {
        PlayAt(fireVoice, event.point);
        if (ProjectileLaunchers* launchers = context.launchers)
            for (const GrenadeEvent::Grenade& g : event.grenades) launchers->LaunchGrenade(CollisionOwner(), event.point, g.velocity, g.fuse);
    }
    UseAmmo(1.0f);
    charging = 0;
}

void GrenadeWeapon::Receive(VehicleContext& context, const GrenadeEvent& event) {
    if (context.guns && !context.guns->throwers.empty()) PlayAt(context.guns->throwers.front()->fireVoice, event.point);
    Vehicle* shooter = Vehicle::FindByNetworkPlayerId(context, event.playerId);
    if (!shooter || !context.launchers) return;
    for (const GrenadeEvent::Grenade& g : event.grenades)
        context.launchers->LaunchGrenade(shooter->ChassisGeom(), event.point, g.velocity, g.fuse);
}

// ---------------------------------------------------------------------------------------------
// Missile launcher

MissileWeapon::MissileWeapon(VehicleContext& context_)
    : GameWeapon(context_, WeaponMissile, "Rocket_Active.WAV", "Hud_Missile.ZKT") {
    startVoice = Voice("Missile_Start.WAV");
    if (context.engine.renderer) {
        mesh = MeshFactory::Instance().GetByName(SharedString("Models\\HMissile.ZKM"), true);
        static const char* const kAimNames[4] = {"Crosshair.ZKT", "CrossLock.ZKT", "Lock.ZKT", "OffLock.ZKT"};
        for (int32_t i = 0; i < 4; ++i)
            aimSprites[i].reset(SpriteOverTexture(TextureFactory::Instance().GetByName(SharedString(kAimNames[i]), true)));
    }
    SharedGunEffects(context).missiles.push_back(this);
}

MissileWeapon::~MissileWeapon() {
    if (inSpace_) ray.RemoveFromWorld(context.world.physics);
    if (context.guns) std::erase(context.guns->missiles, this);
    delete mesh;
}

void MissileWeapon::Attach(Vehicle* newCar) {
    if (!newCar && inSpace_) {
        ray.RemoveFromWorld(context.world.physics);
        inSpace_ = false;
    }
    GameWeapon::Attach(newCar);
    target = nullptr;
    ray.remembered = nullptr;
    ray.owner = CollisionOwner();
    ray.ownerSpace = newCar ? newCar->Space() : nullptr;
    if (!newCar) return;
    if (!inSpace_) {
        ray.AddToWorld(context.world.physics);
        inSpace_ = true;
    }
    ammo = -1.0f;
    lockTimer = 0.0f;
}

void MissileWeapon::ForgetGeom(const PhysicsGeom* geom) {
    if (target == geom) target = nullptr;
    if (ray.remembered == geom) ray.remembered = nullptr;
    if (ray.owner == geom) ray.owner = nullptr;
    if (ray.ownerSpace == geom) ray.ownerSpace = nullptr;
}

void MissileWeapon::Trigger() {
    if (WasDrivingActionPressed(context.engine.input, ActionConfirm)) {
        if (ray.remembered) {
            target = ray.remembered;
            lockTimer = 0.0f;
        } else if (lockTimer > 1.0f) {
            target = nullptr;
        }
    }
    if (FirePressed()) Fire();
}

void MissileWeapon::Update(float dt) {
    if (!car) return;
    ray.Age(dt);
    // Along the nose from the middle of the chassis box: the car's reference point lies near
    // the ground, below every other car's box.
    const PhysicsGeom* chassis = car->ChassisGeom();
    ray.Set(chassis ? chassis->GetPosition() : car->GetPosition(), TurnOf(car->GetOrientation()).TransformNormal(Vector3(0.0f, 0.0f, -1.0f)));
    if (target) {
        if (ray.remembered == target) {
            lockTimer = std::max(lockTimer - dt, 0.0f);
        } else {
            lockTimer += dt;
            if (lockTimer > 10.0f) target = nullptr;
        }
    }
    hudText.FormatInPlace("1");
}

void MissileWeapon::Fire() {
    if (!car || ammo == 0.0f) return;
    const Matrix4 turn = TurnOf(car->GetOrientation());
    const CarDefinition& d = car->Definition();
    MissileEvent event;
    event.playerId = car->network.networkPlayerId;
    event.point = car->GetPosition() + turn.TransformNormal(d.missilePoint);
    event.direction = turn.TransformNormal(d.missileDirection);
    event.aim = turn.TransformNormal(Vector3(0.0f, -0.1f, -1.0f)).Normalized();
    event.speed = car->GetLinearVelocity().Length();
    event.targetId = -1;
    if (target && (target->GetCategoryBits() & 0x80))
        if (auto* targetCar = dynamic_cast<Vehicle*>(target->GetOwner())) event.targetId = targetCar->network.networkPlayerId;
    uint8_t frame[MissileEvent::FrameSize];
    EncodeMissileEvent(event, frame);
    if (!Send(frame, MissileEvent::FrameSize)) Launch(event);
    if (!UnlimitedAmmo[WeaponMissile]) ammo = 0.0f;
}

void MissileWeapon::Launch(const MissileEvent& event) {
    PlayAt(startVoice, event.point);
    PhysicsGeom* aimAt = nullptr;
    Vehicle* shooter = nullptr;
    if (!context.client) {
        // Offline the shot is this launcher's own.
        aimAt = target;
        shooter = car;
    } else {
        if (event.targetId != -1)
            if (Vehicle* t = Vehicle::FindByNetworkPlayerId(context, event.targetId)) aimAt = t->ChassisGeom();
        shooter = Vehicle::FindByNetworkPlayerId(context, event.playerId);
    }
    if (!shooter) return;
    if (auto* launcher = WeaponOf<MissileWeapon>(shooter); launcher && !UnlimitedAmmo[WeaponMissile]) launcher->ammo = 0.0f;
    if (context.launchers)
        context.launchers->LaunchMissile(shooter->ChassisGeom(), event.point, event.direction, event.aim, event.speed, aimAt);
}

void MissileWeapon::Draw(const Camera& camera) {
    if (!car) return;
    if (ammo == -1.0f) {
        const CarDefinition& d = car->Definition();
        DrawOnCar(mesh, Mount(d.missilePoint, d.missileDirection));
    }
    // The sight is worked out for the game's view (not a reflection's) and drawn with the HUD,
    // over the finished picture.
    if (&camera == static_cast<const Camera*>(context.chaseCamera)) sight_ = Aim(camera);
}

bool MissileWeapon::DrawOverlay() {
    const AimMark mark = sight_;
    sight_ = AimMark{};
    if (mark.kind == AimMark::None) return true;
    RenderFacility* renderer = context.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    const Sprite* sprite = aimSprites[mark.kind].get();
    if (!sprites || !sprite) return true;
    const float half = AimSize * 0.5f;
    const RectF square{mark.centre.x - half, mark.centre.y - half, mark.centre.x + half, mark.centre.y + half};
    sprites->DrawSpriteRect(sprite, &square, nullptr, nullptr, kSpriteAlpha);
    return true;
}

AimMark MissileWeapon::Aim(const Camera& camera) const {
    AimMark mark;
    if (!car || !car->IsLocalPlayerCar()) return mark;
    if (!target) {
        const Vector3 ahead = car->GetPosition() + TurnOf(car->GetOrientation()).TransformNormal(Vector3(0.0f, 0.0f, -AimAhead));
        mark.kind = ray.remembered ? AimMark::CrossLock : AimMark::Crosshair;
        mark.centre = camera.Project(ahead);
        return mark;
    }
    // The camera looks along the negative third axis of its orientation.
    const Matrix4 axes = camera.orientation.ToMatrix();
    const Vector3 view(-axes.m[0][2], -axes.m[1][2], -axes.m[2][2]);
    const Vector3 at = target->GetPosition();
    if (Vector3::Dot(at - camera.position, view) <= 0.0f) return mark;
    const Vector2 p = camera.Project(at);
    const float width = float(camera.viewport.right - camera.viewport.left);
    const float height = float(camera.viewport.bottom - camera.viewport.top);
    mark.centre = Vector2{std::clamp(p.x, 0.0f, width), std::clamp(p.y, 0.0f, height)};
    const bool held = mark.centre.x != p.x || mark.centre.y != p.y;
    mark.kind = held ? AimMark::OffLock : AimMark::Lock;
    return mark;
}

// ---------------------------------------------------------------------------------------------
// Rocket launcher

RocketWeapon::RocketWeapon(VehicleContext& context_)
    : GameWeapon(context_, WeaponRocket, "Rocket_Active.WAV", "Hud_Rocket.ZKT") {
    startVoice = Voice("Rocket_Start.WAV");
    if (context.engine.renderer) mesh = MeshFactory::Instance().GetByName(SharedString("Models\\Rocket.ZKM"), true);
}

RocketWeapon::~RocketWeapon() { delete mesh; }

void RocketWeapon::Attach(Vehicle* newCar) {
    GameWeapon::Attach(newCar);
    if (!newCar) return;
    ammo = FullAmmo;
    reloadTimer = 0.0f;
}

void RocketWeapon::Trigger() {
    if (ammo > 0.0f && reloadTimer <= 0.0f && FirePressed()) Fire();
}

void RocketWeapon::Update(float dt) {
    reloadTimer -= dt;
    ShowAmmo();
}

void RocketWeapon::Fire() {
    if (!car) return;
    RocketEvent event;
    event.playerId = car->network.networkPlayerId;
    event.position = car->GetPosition();
    event.orientation = car->GetOrientation();
    event.speed = car->GetLinearVelocity().Length();
    for (float& phase : event.phases) phase = RandomFloat(0.0f, 100.0f);
    uint8_t frame[RocketEvent::FrameSize];
    EncodeRocketEvent(event, frame);
    if (!Send(frame, RocketEvent::FrameSize)) LaunchSalvo(event);
    reloadTimer = Reload;
}

void RocketWeapon::LaunchSalvo(const RocketEvent& event) {
    if (!car) return;
    Quaternion q = event.orientation;
    q.Normalize();
    if (q.Dot(q) == 0.0f) q = Quaternion();
    const Matrix4 turn = TurnOf(q);
    const Vector3 aim = turn.TransformNormal(Vector3(0.0f, 0.0f, -1.0f));
    const CarDefinition& d = car->Definition();
    for (int32_t i = 0; i < Salvo; ++i) {
        const Vector3 point = event.position + turn.TransformNormal(d.rocketMounts[i].point);
        PlayAt(startVoice, point);
        if (context.launchers)
            context.launchers->LaunchRocket(CollisionOwner(), point, turn.TransformNormal(d.rocketMounts[i].direction), aim,
                                            event.speed, event.phases[i]);
    }
    reloadTimer = Reload;
    UseAmmo(float(Salvo));
}

void RocketWeapon::Draw(const Camera&) {
    if (!car || ammo == 0.0f || reloadTimer > 0.0f) return;
    const CarDefinition& d = car->Definition();
    for (int32_t i = 0; i < Salvo; ++i) DrawOnCar(mesh, Mount(d.rocketMounts[i].point, d.rocketMounts[i].direction));
}
