#include "game/vehicles/Projectiles.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/FileStream.h"
#include "engine/core/Geometry.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/BoundaryPlane.h"
#include "game/world/DamageReceiver.h"
#include "game/world/ParticleSystem.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

// Sphere radii when there is no mesh to measure (a headless game): those of the demo models.
constexpr float MissileRadiusWithoutMesh = 1.5f;
constexpr float RocketRadiusWithoutMesh = 2.0f;
constexpr float LoopNear = 100.0f, LoopFar = 250.0f;
constexpr float BlastStart = 5.0f;

D3D8Mesh* LoadMesh(VehicleContext& context, const char* name) {
    return context.engine.renderer ? MeshFactory::Instance().GetByName(SharedString(name), true) : nullptr;
}

// A kept positional voice in the effects group; null without a sound device.
AudioVoice* MakeVoice(VehicleContext& context, const SharedString& name) {
    AudioDevice* sound = context.engine.sound;
    AudioVoice* voice = sound ? sound->CreateSound(name, true, false, true) : nullptr;
    if (!voice) return nullptr;
    voice->SetDistances(LoopNear, LoopFar);
    if (context.effectsVolume) context.effectsVolume->AttachChild(voice);
    return voice;
}

void DropVoice(VehicleContext& context, AudioVoice*& voice) {
    if (!voice) return;
    if (voice->Parent()) voice->Parent()->RemoveChild(voice);
    if (context.engine.sound) context.engine.sound->ReleaseVoice(voice);
    else delete voice;
    voice = nullptr;
}

void DrawMesh(World& world, D3D8Mesh* mesh, const PhysicsGeom& geom) {
    RenderFacility* renderer = world.engine.renderer;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    if (!stack || !mesh) return;
    Matrix4 m;
    geom.GetTransform(m);
    stack->Push();
    stack->Load(m);
    mesh->Render();
    stack->Pop();
}

bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }

Vector3 Normalised(const Vector3& v, const Vector3& otherwise) {
    const float length = v.Length();
    return length > 0.0f && std::isfinite(length) ? v * (1.0f / length) : otherwise;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// What the kinds share

ProjectileKinds::ProjectileKinds(VehicleContext& context_) : context(context_), grenadeSurface(0.0f) {
    grenadeSurface.bounce = GrenadeProjectile::Bounce;
    grenadeHits = ListFiles(SharedString("Audio\\GrenadeHit*.WAV"), true);
    grenadeBlasts = ListFiles(SharedString("Audio\\Grenade_Explosion*.WAV"), true);
    missileBlasts = ListFiles(SharedString("Audio\\Missile_Explosion*.WAV"), true);
    rocketBlasts = ListFiles(SharedString("Audio\\Rocket_Explosion*.WAV"), true);
    grenadeMesh.reset(LoadMesh(context, "Models\\Grenade.ZKM"));
    missileMesh.reset(LoadMesh(context, "Models\\HMissile.ZKM"));
    rocketMesh.reset(LoadMesh(context, "Models\\Rocket.ZKM"));
    missileRadius = missileMesh && missileMesh->Radius() > 0.0f ? missileMesh->Radius() * 0.25f : MissileRadiusWithoutMesh;
    rocketRadius = rocketMesh && rocketMesh->Radius() > 0.0f ? rocketMesh->Radius() * 0.5f : RocketRadiusWithoutMesh;
}

ProjectileKinds::~ProjectileKinds() = default;

ProjectileKinds& ProjectileKinds::Of(VehicleContext& context) {
    if (!context.projectiles) context.projectiles = std::make_unique<ProjectileKinds>(context);
    return *context.projectiles;
}

void ProjectileKinds::ReleaseAll(VehicleContext& context) {
    if (!context.projectiles) return;
    context.projectiles->grenades.ReleaseAll();
    context.projectiles->missiles.ReleaseAll();
    context.projectiles->rockets.ReleaseAll();
}

void ProjectileKinds::ForgetGeom(const PhysicsGeom* geom) {
    if (!geom) return;
    for (GrenadeProjectile* g : grenades.Live())
        if (g->owner == geom) g->owner = nullptr;
    for (HomingMissile* m : missiles.Live()) {
        if (m->owner == geom) m->owner = nullptr;
        if (m->target == geom) m->target = nullptr;
        if (m->hitGeom == geom) m->hitGeom = nullptr;
    }
    for (RocketProjectile* r : rockets.Live()) {
        if (r->owner == geom) r->owner = nullptr;
        if (r->hitGeom == geom) r->hitGeom = nullptr;
    }
}

SharedString ProjectileKinds::PickSound(const std::vector<SharedString>& list, const char* fallback) {
    if (list.empty()) return SharedString(fallback);
    return list[size_t(plat::EngineRand()) % list.size()];
}

bool ProjectileKinds::TakeSoundTurn(float& cooldown) {
    if (!(cooldown < 0.0f)) return false;
    cooldown = 0.25f;
    return true;
}

// ---------------------------------------------------------------------------------------------
// Grenade

GrenadeProjectile::GrenadeProjectile(ProjectileKinds& kinds)
    : Projectile(kinds.context.world, true), CollisionListener(AskFilterContact), sphere(Radius), kinds_(kinds) {
    sphere.SetSurface(&kinds.grenadeSurface);
    sphere.listeners.push_back(this);
    hitVoice = MakeVoice(kinds.context, ProjectileKinds::PickSound(kinds.grenadeHits, "GrenadeHit.WAV"));
}

GrenadeProjectile::~GrenadeProjectile() {
    Leave();
    DropVoice(kinds_.context, hitVoice);
}

void GrenadeProjectile::Preload(VehicleContext& context) { ProjectileKinds::Of(context); }

void GrenadeProjectile::Launch(VehicleContext& context, PhysicsGeom* owner, const Vector3& position,
                               const Vector3& velocity, float fuse) {
    if (!Finite(position) || !Finite(velocity) || !std::isfinite(fuse)) return;
    ProjectileKinds& kinds = ProjectileKinds::Of(context);
    GrenadeProjectile* g = kinds.grenades.Take([&kinds] { return std::make_unique<GrenadeProjectile>(kinds); });
    g->owner = owner;
    g->fuse = fuse;
    g->Enter();
    g->body->SetPosition(position);
    g->body->SetLinearVelocity(velocity);
    kinds.grenades.Launched(g);
}

void GrenadeProjectile::OnAdded(PhysicsWorld& world) {
    body = std::make_unique<RigidBody>(world);
    body->Enable();
    body->SetGeom(&sphere);
    body->SetMass(Mass);
    body->SetSphereInertia(Radius);
    hitSoundTimer = 1.0f;
}

void GrenadeProjectile::OnRemoved(PhysicsWorld&) {
    if (!body) return;
    body->SetGeom(nullptr);
    body.reset();
}

void GrenadeProjectile::UpdateBounds(PhysicsWorld& world, float dt) {
    if (!body) return;
    hitSoundTimer += dt;
    // The static city is the only thing a grenade meets.
    if (world_.boundary) world.TestPair(&sphere, world_.boundary.get());
    const Vector3 v = body->GetLinearVelocity();
    body->SetLinearVelocity(v - v * std::max(0.0f, dt));
    fuse -= dt;
    if (!(fuse < 0.0f)) return;
    VehicleContext& context = kinds_.context;
    const SharedString sound = ProjectileKinds::PickSound(kinds_.grenadeBlasts, "Grenade_Explosion.WAV");
    const bool play = ProjectileKinds::TakeSoundTurn(context.grenadeSoundCooldown);
    Explosion::Spawn(context, owner, body->GetPosition(), BlastStart, Explosion::WreckMaximum, Explosion::WreckGrowth, play,
                     sound);
    kinds_.grenades.Release(this);
}

bool GrenadeProjectile::FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3* position, Vector3*, float*) {
    if (hitSoundTimer > HitSoundGap && hitVoice) {
        if (position) hitVoice->SetPosition(*position);
        hitVoice->Play(false);
    }
    hitSoundTimer = 0.0f;
    return true;
}

void GrenadeProjectile::Draw(const Camera&) { DrawMesh(world_, kinds_.grenadeMesh.get(), sphere); }

// ---------------------------------------------------------------------------------------------
// Missile and rocket

PropelledProjectile::PropelledProjectile(ProjectileKinds& kinds, const char* loopSound, float radius, D3D8Mesh* mesh)
    : Projectile(kinds.context.world, true), CollisionListener(AskIgnorePair | AskFilterContact), sphere(radius),
      kinds_(kinds), mesh_(mesh) {
    sphere.flags = PhysicsGeom::OneSided | PhysicsGeom::AlwaysCollide;
    sphere.SetCategoryBits(Category);
    sphere.SetCollideBits(CollideBits);
    sphere.listeners.push_back(this);
    loopVoice = MakeVoice(kinds.context, SharedString(loopSound));
}

PropelledProjectile::~PropelledProjectile() {
    Leave();
    DropVoice(kinds_.context, loopVoice);
}

void PropelledProjectile::Begin(PhysicsGeom* owner_, const Vector3& position, const Vector3& direction_,
                                const Vector3& aim_, float speed_) {
    owner = owner_;
    direction = Normalised(direction_, Vector3(0, 0, -1));
    aim = Normalised(aim_, direction);
    speed = speed_;
    exploded = 0;
    smoke = 0.0f;
    hit = false;
    Place(position, direction);
    if (loopVoice) {
        loopVoice->SetPosition(position);
        loopVoice->SetVelocity(direction * speed);
        loopVoice->Play(true);
    }
    Enter();
}

void PropelledProjectile::Place(const Vector3& position, const Vector3& facing) {
    sphere.SetPosition(position);
    Matrix4 m;
    RotationFromNormal(facing, m.m);
    sphere.SetOrientation(Quaternion(m));
}

void PropelledProjectile::Smoke(const Vector3& from, float gap) {
    SmokeParticleSystem* system = ParticleSystems::smoke;
    while (smoke >= 0.0f) {
        smoke -= gap;
        if (!system) continue;
        ParticleGroup* g = system->Emit(ParticleSystem::kGrow);
        if (!g) continue;
        g->position = from + direction * RandomFloat(0.0f, 0.1f);
        g->velocity = Vector3(RandomFloat(-0.5f, 0.5f) * 25.0f, RandomFloat(0.0f, 1.0f) * 25.0f, RandomFloat(-0.5f, 0.5f) * 25.0f);
        g->colour[3] = 1.0f;
        g->layer = 0;
    }
}

void PropelledProjectile::OnLeave() {
    if (loopVoice) loopVoice->StopAndRewind();
}

void PropelledProjectile::OnAdded(PhysicsWorld& world) { sphere.AddToWorld(world); }

void PropelledProjectile::OnRemoved(PhysicsWorld& world) { sphere.RemoveFromWorld(world); }

bool PropelledProjectile::IgnorePair(PhysicsGeom*, PhysicsGeom* other) { return owner && other == owner; }

bool PropelledProjectile::FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3* position, Vector3*, float*) {
    // Only noted here: the damage and the explosion follow after the step, once per flight.
    if (exploded || hit) return false;
    hit = true;
    hitGeom = other;
    hitPoint = position ? *position : sphere.GetPosition();
    return false;
}

bool PropelledProjectile::ResolveHit() {
    if (!hit || exploded) return false;
    hit = false;
    DamageReceiver* receiver = DamageReceiver::ReceiverOf(hitGeom);
    if (kinds_.context.client && receiver && !(hitGeom->GetCategoryBits() & ProtectedBit))
        receiver->TakeDamageFrom(owner, HitDamage(), DamageImpact, nullptr);
    hitGeom = nullptr;
    Explode(hitPoint);
    return true;
}

void PropelledProjectile::Voice() {
    if (!loopVoice) return;
    loopVoice->SetPosition(sphere.GetPosition());
    loopVoice->SetVelocity(direction * speed);
}

void PropelledProjectile::Draw(const Camera&) { DrawMesh(world_, mesh_, sphere); }

HomingMissile::HomingMissile(ProjectileKinds& kinds)
    : PropelledProjectile(kinds, "Missile_Loop.WAV", kinds.missileRadius, kinds.missileMesh.get()) {}

void HomingMissile::Preload(VehicleContext& context) { ProjectileKinds::Of(context); }

void HomingMissile::Launch(VehicleContext& context, PhysicsGeom* owner, const Vector3& position, const Vector3& direction,
                           const Vector3& aim, float speed, PhysicsGeom* target) {
    if (!Finite(position) || !Finite(direction) || !Finite(aim) || !std::isfinite(speed)) return;
    ProjectileKinds& kinds = ProjectileKinds::Of(context);
    HomingMissile* m = kinds.missiles.Take([&kinds] { return std::make_unique<HomingMissile>(kinds); });
    m->target = target;
    m->lifetime = Fuel;
    m->Begin(owner, position, direction, aim, speed);
    kinds.missiles.Launched(m);
}

void HomingMissile::UpdateBounds(PhysicsWorld&, float dt) { Fly(dt); }

void HomingMissile::Fly(float dt) {
    if (!ResolveHit()) {
        const Vector3 p = sphere.GetPosition();
        if (target) {
            const Vector3 v = target->GetPosition() - p;
            const float d = v.Length();
            // At the target itself there is nothing to turn towards: the direction stays.
            if (d > 0.0f && std::isfinite(d)) {
                const float k = std::max(1.0f, (1000.0f - d) * 0.004f);
                const float t = std::max(0.0f, k * speed * 0.004f * dt);
                direction = direction + (v * (1.0f / d) - direction) * t;
            }
        } else {
            direction = direction + (aim - direction) * std::max(0.0f, 2.0f * dt);
        }
        direction = Normalised(direction, aim);
        speed += (TopSpeed - speed) * std::max(0.0f, 0.2f * dt);
        Place(p + direction * speed * dt, direction);
        Smoke(p, SmokeGap);
        lifetime -= dt;
        smoke += dt;
        Voice();
        if (lifetime < 0.0f) Explode(sphere.GetPosition());
    }
    if (exploded) kinds_.missiles.Release(this);
}

void HomingMissile::Explode(const Vector3& point) {
    const SharedString sound = ProjectileKinds::PickSound(kinds_.missileBlasts, "Missile_Explosion.WAV");
    Explosion::Spawn(kinds_.context, owner, point, BlastStart, 300.0f, 75000.0f, true, sound);
    exploded = 1;
}

RocketProjectile::RocketProjectile(ProjectileKinds& kinds)
    : PropelledProjectile(kinds, "Rocket_Loop.WAV", kinds.rocketRadius, kinds.rocketMesh.get()) {}

void RocketProjectile::Preload(VehicleContext& context) { ProjectileKinds::Of(context); }

void RocketProjectile::Launch(VehicleContext& context, PhysicsGeom* owner, const Vector3& position, const Vector3& direction,
                              const Vector3& aim, float speed, float phase) {
    if (!Finite(position) || !Finite(direction) || !Finite(aim) || !std::isfinite(speed) || !std::isfinite(phase)) return;
    ProjectileKinds& kinds = ProjectileKinds::Of(context);
    RocketProjectile* r = kinds.rockets.Take([&kinds] { return std::make_unique<RocketProjectile>(kinds); });
    r->lifetime = 5.0f + RandomFloat(-0.5f, 0.5f);
    r->phase = phase;
    r->Begin(owner, position, direction, aim, speed);
    kinds.rockets.Launched(r);
}

void RocketProjectile::UpdateBounds(PhysicsWorld&, float dt) { Fly(dt); }

bool RocketProjectile::IgnorePair(PhysicsGeom* own, PhysicsGeom* other) {
    return PropelledProjectile::IgnorePair(own, other) || (other && (other->GetCategoryBits() & PedestrianBit));
}

void RocketProjectile::Fly(float dt) {
    if (!ResolveHit()) {
        const Vector3 p = sphere.GetPosition();
        speed += (TopSpeed - speed) * std::max(0.0f, 0.2f * dt);
        // The rocket shows the direction it had before this step's steering.
        const Vector3 facing = direction;
        direction = direction + (aim - direction) * std::max(0.0f, 4.0f * dt);
        phase += 10.0f * dt;
        const float f = phase;
        const float a = std::min(2.0f, speed * 0.004f);
        direction.x += a * dt * std::cos(4.8f * f) * std::sin(0.9f * f) * std::sin(f);
        if (lifetime <= 4.0f) direction.y -= a * dt * std::cos(1.8f * f) * std::sin(1.9f * f) * std::sin(1.1f * f);
        direction.z += a * dt * std::cos(0.8f * f) * std::sin(2.9f * f) * std::sin(3.2f * f);
        direction = Normalised(direction, aim);
        Place(p + facing * speed * dt, facing);
        Smoke(p, SmokeGap);
        smoke += dt;
        lifetime -= dt;
        Voice();
        if (lifetime < 0.0f) Explode(sphere.GetPosition());
    }
    if (exploded) kinds_.rockets.Release(this);
}

void RocketProjectile::Explode(const Vector3& point) {
    const SharedString sound = ProjectileKinds::PickSound(kinds_.rocketBlasts, "Rocket_Explosion.WAV");
    const bool play = ProjectileKinds::TakeSoundTurn(kinds_.context.rocketSoundCooldown);
    Explosion::Spawn(kinds_.context, owner, point, BlastStart, Explosion::WreckMaximum, Explosion::WreckGrowth, play, sound);
    exploded = 1;
}

// ---------------------------------------------------------------------------------------------
// The launchers' adapter

void ContextProjectileLaunchers::LaunchGrenade(PhysicsGeom* owner, const Vector3& position, const Vector3& velocity,
                                               float fuse) {
    GrenadeProjectile::Launch(context_, owner, position, velocity, fuse);
}

void ContextProjectileLaunchers::LaunchMissile(PhysicsGeom* owner, const Vector3& position, const Vector3& direction,
                                               const Vector3& aim, float speed, PhysicsGeom* target) {
    HomingMissile::Launch(context_, owner, position, direction, aim, speed, target);
}

void ContextProjectileLaunchers::LaunchRocket(PhysicsGeom* owner, const Vector3& position, const Vector3& direction,
                                              const Vector3& aim, float speed, float phase) {
    RocketProjectile::Launch(context_, owner, position, direction, aim, speed, phase);
}
