#pragma once
// Gunfire: hit-scan bullets with their tracers, cannon shells, ejected cartridge cases with the
// colliders they bounce off, and the chain gun's muzzle flash. Everything of one game lives in
// its vehicle context's GunEffects (SharedGunEffects), so two games in one process share
// nothing: the pools of tracers, rays, cannon shells, cases and colliders, the bullet-hole decal
// owner, the ricochet and case sounds, the meshes and the particle batches.
//
// Each kind is worked by one physics client and drawn by one drawable that GunEffects registers
// with the world for its whole life, so firing adds nothing to the world's lists:
// - a bullet's ray (and a cannon shell's) is collided in the pre-step of the first sub-step after
//   the shot and resolved in its post-step: the nearest hit along the ray counts;
// - tracers age after each sub-step and fly for one second;
// - cases fall and bounce after each sub-step.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Geometry.h"
#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/Decals.h"
#include "game/world/Drawable.h"
#include "game/world/ParticleSystem.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/PhysicsWorld.h"

class AudioVoice;
class Camera;
class D3D8Mesh;
class FlamerEffect;
class GrenadeWeapon;
class MissileWeapon;
class GunEffects;
class SightRay;
class TextureHandle;
struct VehicleContext;

// What a ray keeps of its hits: the nearest one (the deepest contact; a tie keeps the first).
struct NearestHit {
    PhysicsGeom* geom = nullptr;
    float depth = 0.0f;
    Vector3 position;
    Vector3 normal;
    void Clear() { *this = NearestHit{}; }
    // Keeps the contact when it lies nearer than the one kept; the normal is turned to face the
    // ray's start.
    void Offer(PhysicsGeom* other, const Vector3& at, const Vector3& n, float d, const Vector3& rayDirection);
};

// One bullet: its ray for the first sub-step, then the tracer that runs along it for a second.
class BulletTrail : public CollisionListener {
public:
    static constexpr float RayLength = 10000.0f;
    static constexpr float Speed = 10000.0f;
    static constexpr float Life = 1.0f;
    static constexpr float Damage = 5.0f;
    static constexpr uint32_t RayCategory = 0x50;
    static constexpr uint32_t RayCollide = 7;
    static constexpr uint32_t ProtectedBit = 0x400;
    static constexpr uint32_t StaticBit = 0x001;

    BulletTrail() : CollisionListener(AskIgnorePair | AskFilterContact) {}
    // Shoots from start along direction (a unit vector); the shooter is never hit.
    static void Fire(VehicleContext& context, PhysicsGeom* shooter, const Vector3& start, const Vector3& direction);
    // The bullet-hole decal owner and the ricochet voices, once per game.
    static void LoadImpactResources(VehicleContext& context);

    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;

    PhysicsGeom* shooter = nullptr;
    RayGeom* ray = nullptr;
    float age = 0.0f;
    Vector3 start;
    Vector3 direction;
    NearestHit hit;
};

// The cannon special's shot: a ray that lives one sub-step and blows up where it hits.
class CannonShell : public RayGeom, public CollisionListener {
public:
    static constexpr float RayLength = 10000.0f;
    static constexpr uint32_t Category = 0x10;
    static constexpr const char* BlastSound = "Cannon_Explosion.WAV";

    CannonShell();
    // The owner (a geom or a whole space) is never hit.
    static void Fire(VehicleContext& context, PhysicsGeom* owner, const Vector3& start, const Vector3& direction);

    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;

    PhysicsGeom* owner = nullptr;
    Vector3 direction;
    NearestHit hit;
};

// A sphere that finds the static city's surfaces round a group of falling cases.
class ShellCasing : public SphereGeom, public CollisionListener {
public:
    ShellCasing();
    // A casing at the position with the velocity, one use, in the game (from the pool or new).
    static ShellCasing* Create(VehicleContext& context, const Vector3& position, const Vector3& velocity);
    void AddRef() { ++uses; }
    // At no use left the casing leaves the game and waits in its pool.
    void Release();

    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;
    // After each sub-step: this step's planes, then the casing falls and bounces off them.
    void Update(PhysicsWorld& physics, PhysicsGeom* world, float dt);

    std::vector<Plane> planes;
    uint32_t uses = 0;
    Vector3 velocity;
    GunEffects* owner = nullptr;
};

// A spent cartridge case: it tumbles, bounces off its casing's planes (sounding once) and rests.
struct EjectedShell {
    static constexpr uint32_t SoundPending = 1;
    static constexpr uint32_t Moving = 2;
    ShellCasing* casing = nullptr;
    Vector3 position;
    Quaternion orientation;
    Vector3 velocity;
    Vector3 angularVelocity;
    uint32_t flags = 0;
    bool live = false;
};

class ShellEjector {
public:
    static constexpr int32_t ShellCount = 512;
    static constexpr int32_t VoiceCount = 8;
    // The 512 cases, their mesh and voices, once per game.
    static void Load(VehicleContext& context);
    // A case at the position; when all 512 lie in the world the oldest is taken again.
    static void Eject(VehicleContext& context, const Vector3& position, const Quaternion& orientation,
                      const Vector3& velocity, const Vector3& angularVelocity, ShellCasing* casing);
};

// The chain gun's flickering sprite at the muzzle.
class MuzzleFlash {
public:
    explicit MuzzleFlash(VehicleContext& context);
    void SetPosition(const Vector3& point, float scale);
    void Update(float dt);
    void Draw(const Camera& camera);

    float phase = 0.0f;
    float scale = 0.0f;
    ParticleGroup group;

private:
    VehicleContext& context_;
    std::vector<ParticleGroup*> groups_;
};

// The game's gunfire state. Made on first use by SharedGunEffects, destroyed with the context
// (after the cars and the item pools).
class GunEffects : public PhysicsClient, public Drawable {
public:
    explicit GunEffects(VehicleContext& context);
    ~GunEffects() override;
    GunEffects(const GunEffects&) = delete;
    GunEffects& operator=(const GunEffects&) = delete;

    void PreStep(PhysicsWorld& physics) override;
    void PostStep(PhysicsWorld& physics) override;
    void UpdateBounds(PhysicsWorld& physics, float dt) override;
    void Draw(const Camera& camera) override;

    // Every tracer, cannon shell, flame blob and flying case's casing back to its pool (a game
    // reset); the cases stay where they lie.
    void ReleaseAll();
    // Forgets a car's geoms (the car is going): no shot or flame in flight names them any more.
    void ForgetGeom(const PhysicsGeom* geom);
    // The game's flamer effects, missile launchers and grenade throwers (each registers itself
    // while it exists).
    std::vector<FlamerEffect*> flamers;
    std::vector<MissileWeapon*> missiles;
    std::vector<GrenadeWeapon*> throwers;

    // Fly-by: plays the next ricochet voice when the segment from p along v passes the listener
    // within the square root of 1000.
    void PlayRicochetNear(const Vector3& p, const Vector3& v);

    VehicleContext& context;
    // Tracers (live in firing order) and their rays.
    std::vector<std::unique_ptr<BulletTrail>> tracerStore;
    std::vector<BulletTrail*> freeTracers;
    std::vector<BulletTrail*> liveTracers;
    std::vector<std::unique_ptr<RayGeom>> rayStore;
    std::vector<RayGeom*> freeRays;
    D3D8Mesh* tracerMesh = nullptr;
    // Bullet impacts.
    bool impactLoaded = false;
    std::unique_ptr<DecalOwner> bulletHoles;
    std::vector<AudioVoice*> ricochetVoices;
    int32_t ricochetIndex = 0;
    Vector3 listenerPoint;
    // Cannon shells.
    std::vector<std::unique_ptr<CannonShell>> cannonStore;
    std::vector<CannonShell*> freeCannon;
    std::vector<CannonShell*> liveCannon;
    AudioVoice* cannonVoice = nullptr;
    // Cases and their colliders.
    bool shellsLoaded = false;
    std::array<EjectedShell, ShellEjector::ShellCount> shells{};
    std::vector<int32_t> freeShells;
    std::vector<int32_t> liveShells;
    D3D8Mesh* shellMesh = nullptr;
    std::array<AudioVoice*, ShellEjector::VoiceCount> shellVoices{};
    int32_t shellVoiceIndex = 0;
    std::vector<std::unique_ptr<ShellCasing>> casingStore;
    std::vector<ShellCasing*> freeCasings;
    std::vector<ShellCasing*> liveCasings;
    // The muzzle flashes' sprite.
    TextureHandle* flashTexture = nullptr;
    std::unique_ptr<ParticleBatch> flashBatch;
    // The flamers' sprite ("Fire.ZKT") and their batch.
    TextureHandle* flameTexture = nullptr;
    std::unique_ptr<ParticleBatch> flameBatch;
    // The rifles' two sets of firing voices (a slot without a file stays silent).
    bool rifleSetsLoaded = false;
    std::vector<AudioVoice*> rifleVoices;
    std::vector<AudioVoice*> gunVoices;
    int32_t rifleIndex = 0;
    int32_t gunIndex = 0;
    // The sight ray (SharedSightRay).
    std::unique_ptr<SightRay> sightRay;

    // A voice of the game's effects: positional, at the given distances, in the effects group;
    // null without a sound device.
    AudioVoice* MakeVoice(const SharedString& file, float minimum, float maximum);
    // The collision of the static city (null when the world has none).
    PhysicsGeom* StaticWorld() const;

private:
    void ResolveTracer(BulletTrail& tracer);
    void ResolveCannon(CannonShell& shell);
    void UpdateShell(EjectedShell& shell, float dt);
    void EndTracer(size_t index);

    std::vector<AudioVoice*> ownedVoices_;
    bool registered_ = false;
};

// The context's gunfire state, made on first use.
GunEffects& SharedGunEffects(VehicleContext& context);
