#pragma once
// The launched projectiles: grenades, homing missiles and rockets. Each game keeps them in its
// VehicleContext::projectiles (ProjectileKinds::Of makes it on first use), recycled through the
// pools of Projectile.h; Game::Reset releases every live one.
//
// - A grenade is a small rigid body that falls, bounces off the static city (the world's
//   boundary mesh, tested every sub-step; it is never in the space, so it passes through cars,
//   pedestrians and objects), slows by a linear drag, clacks when it bounces and blows up when
//   its fuse runs out.
// - A homing missile and a rocket fly by their own kinematics (no body: each sub-step moves the
//   sphere) and blow up on contact or when their fuel runs out. The missile steers ever harder
//   towards its target as it closes in; the rocket steers towards a fixed aim and wobbles. Both
//   trail smoke and carry a looping sound. Their contact hurts only in a network game (the
//   explosion's push and force damage hurt everywhere).
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/SharedString.h"
#include "game/vehicles/Projectile.h"
#include "game/vehicles/ProjectileLaunchers.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/RigidBody.h"

class AudioVoice;
class D3D8Mesh;
class GrenadeProjectile;
class HomingMissile;
class RocketProjectile;
struct VehicleContext;

// What a game's grenades, missiles and rockets share.
class ProjectileKinds {
public:
    explicit ProjectileKinds(VehicleContext& context);
    ~ProjectileKinds();
    ProjectileKinds(const ProjectileKinds&) = delete;
    ProjectileKinds& operator=(const ProjectileKinds&) = delete;

    // The game's, made on first use.
    static ProjectileKinds& Of(VehicleContext& context);
    // Every live grenade, missile and rocket back to its pool (a game reset).
    static void ReleaseAll(VehicleContext& context);
    // A car's geom is going away: no projectile keeps naming it as its owner or target.
    void ForgetGeom(const PhysicsGeom* geom);

    // A random entry of the list, else the fallback.
    static SharedString PickSound(const std::vector<SharedString>& list, const char* fallback);
    // Plays an explosion sound only when the cooldown is below 0, then sets it to 0.25 s.
    static bool TakeSoundTurn(float& cooldown);

    VehicleContext& context;
    ProjectilePool<GrenadeProjectile> grenades;
    ProjectilePool<HomingMissile> missiles;
    ProjectilePool<RocketProjectile> rockets;
    // Friction 0, bounce 1.25.
    SurfaceMaterial grenadeSurface;
    std::vector<SharedString> grenadeHits, grenadeBlasts, missileBlasts, rocketBlasts;
    // Null without a renderer.
    std::unique_ptr<D3D8Mesh> grenadeMesh, missileMesh, rocketMesh;
    float missileRadius = 0.0f, rocketRadius = 0.0f;
};

class GrenadeProjectile : public Projectile, public CollisionListener {
public:
    static constexpr float Radius = 1.0f;
    static constexpr float Mass = 10.0f;
    static constexpr float Bounce = 1.25f;
    static constexpr float HitSoundGap = 0.25f;

    explicit GrenadeProjectile(ProjectileKinds& kinds);
    ~GrenadeProjectile() override;

    // A grenade from the position with the velocity; it blows up once `fuse` seconds of physics
    // time have passed (a fuse of 0 on the first sub-step).
    static void Launch(VehicleContext& context, PhysicsGeom* owner, const Vector3& position, const Vector3& velocity,
                       float fuse);
    // Loads what every grenade shares (the grenade weapon does it when it is made).
    static void Preload(VehicleContext& context);

    void OnAdded(PhysicsWorld& world) override;
    void OnRemoved(PhysicsWorld& world) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;
    // The bounce: the hit sound when more than 0.25 s have passed since the last contact.
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) override;
    void Draw(const Camera& camera) override;

    SphereGeom sphere;
    std::unique_ptr<RigidBody> body;
    PhysicsGeom* owner = nullptr;
    float hitSoundTimer = 0.0f;
    float fuse = 0.0f;
    AudioVoice* hitVoice = nullptr;

private:
    ProjectileKinds& kinds_;
};

// The missile's and the rocket's shared flight: sphere, owner, aim, speed, fuel, smoke, the loop
// voice, contact and drawing.
class PropelledProjectile : public Projectile, public CollisionListener {
public:
    static constexpr uint32_t Category = 0x210;
    static constexpr uint32_t CollideBits = 7;
    static constexpr uint32_t ProtectedBit = 0x400;
    static constexpr float TopSpeed = 5000.0f;

    PropelledProjectile(ProjectileKinds& kinds, const char* loopSound, float radius, D3D8Mesh* mesh);
    ~PropelledProjectile() override;

    void OnAdded(PhysicsWorld& world) override;
    void OnRemoved(PhysicsWorld& world) override;
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    // Never a physical contact: in a network game the struck receiver takes the hit damage, and
    // the projectile explodes at the contact (once).
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) override;
    void Draw(const Camera& camera) override;

    // Explodes at the point (sets exploded; the flight releases it).
    virtual void Explode(const Vector3& point) = 0;

    SphereGeom sphere;
    PhysicsGeom* owner = nullptr;
    Vector3 direction;
    Vector3 aim;
    float speed = 0.0f;
    float lifetime = 0.0f;
    float smoke = 0.0f;
    uint8_t exploded = 0;
    AudioVoice* loopVoice = nullptr;

protected:
    // Flight start: owner, position, direction, aim, speed, the loop voice; then into the world.
    void Begin(PhysicsGeom* owner, const Vector3& position, const Vector3& direction, const Vector3& aim, float speed);
    // A contact noted during the step: in a network game the struck receiver takes the hit
    // damage, then the projectile explodes at the contact. True when it did.
    bool ResolveHit();
    // The loop voice follows the flight.
    void Voice();
    // Puffs of smoke from `from` while the accumulator is not negative, one per `gap` seconds.
    void Smoke(const Vector3& from, float gap);
    // Moves the sphere and turns it to face the direction.
    void Place(const Vector3& position, const Vector3& facing);
    void OnLeave() override;
    // The hit damage of a contact in a network game.
    virtual float HitDamage() const = 0;

    ProjectileKinds& kinds_;
    // The first contact of this sub-step, kept for ResolveHit.
    bool hit = false;
    PhysicsGeom* hitGeom = nullptr;
    Vector3 hitPoint;

private:
    friend class ProjectileKinds;
    D3D8Mesh* mesh_;
};

class HomingMissile : public PropelledProjectile {
public:
    static constexpr float Fuel = 10.0f;
    static constexpr float SmokeGap = 0.01f;

    explicit HomingMissile(ProjectileKinds& kinds);

    // target may be null: the missile then flies towards its aim.
    static void Launch(VehicleContext& context, PhysicsGeom* owner, const Vector3& position, const Vector3& direction,
                       const Vector3& aim, float speed, PhysicsGeom* target);
    static void Preload(VehicleContext& context);

    void UpdateBounds(PhysicsWorld& world, float dt) override;
    // One sub-step of flight; at the end of its fuel (or after a contact) it is released.
    void Fly(float dt);
    void Explode(const Vector3& point) override;

    PhysicsGeom* target = nullptr;

protected:
    float HitDamage() const override { return 500.0f; }
};

class RocketProjectile : public PropelledProjectile {
public:
    static constexpr float SmokeGap = 0.025f;
    static constexpr uint32_t PedestrianBit = 0x100;

    explicit RocketProjectile(ProjectileKinds& kinds);

    static void Launch(VehicleContext& context, PhysicsGeom* owner, const Vector3& position, const Vector3& direction,
                       const Vector3& aim, float speed, float phase);
    static void Preload(VehicleContext& context);

    void UpdateBounds(PhysicsWorld& world, float dt) override;
    void Fly(float dt);
    void Explode(const Vector3& point) override;
    // Rockets pass through pedestrians too.
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;

    float phase = 0.0f;

protected:
    float HitDamage() const override { return 50.0f; }
};

// The launchers' way into this context's projectiles: each call launches the real kind. The game
// keeps one beside its VehicleContext and points VehicleContext::launchers at it.
class ContextProjectileLaunchers final : public ProjectileLaunchers {
public:
    explicit ContextProjectileLaunchers(VehicleContext& context) : context_(context) {}

    void LaunchGrenade(PhysicsGeom* owner, const Vector3& position, const Vector3& velocity, float fuse) override;
    void LaunchMissile(PhysicsGeom* owner, const Vector3& position, const Vector3& direction, const Vector3& aim,
                       float speed, PhysicsGeom* target) override;
    void LaunchRocket(PhysicsGeom* owner, const Vector3& position, const Vector3& direction, const Vector3& aim,
                      float speed, float phase) override;

private:
    VehicleContext& context_;
};
