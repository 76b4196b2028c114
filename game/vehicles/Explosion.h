#pragma once
// An explosion: a sphere that grows from a start radius to a maximum radius. While it grows the
// ordinary contact handling pushes every body it overlaps outwards (its surface makes the
// contacts soft), and the forces of those contacts become blast damage for whatever carries a
// damage receiver. Protected bodies (category 0x400) are neither pushed nor hurt. It is drawn
// as nine nested copies of "Models\Explosion.ZKM" that fade (through the mesh's "Fader"
// variable) as it reaches its size, and plays one positional sound when spawned.
//
// Wrecked cars, grenades, missiles, rockets and cannon shells make them with Explosion::Spawn;
// each game keeps its own in VehicleContext::explosions (made on first use).
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/SharedString.h"
#include "game/vehicles/Projectile.h"
#include "game/world/PhysicsGeom.h"

class D3D8Mesh;
class Explosion;
struct ShaderVariables;
struct VehicleContext;

// Everything a game's explosions share: the pool, the sound variants, the mesh and the one soft
// surface every explosion sphere uses.
class ExplosionPool {
public:
    explicit ExplosionPool(VehicleContext& context);
    ~ExplosionPool();

    // The game's pool, made on first use.
    static ExplosionPool& Of(VehicleContext& context);

    // A shot's or a car's geom is going away: no explosion keeps naming it as its owner.
    void ForgetOwner(const PhysicsGeom* geom);

    VehicleContext& context;
    ProjectilePool<Explosion> pool;
    // "Audio\Explosion*.WAV", listed once.
    std::vector<SharedString> sounds;
    // Friction 0, no bounce, soft ERP 0.1, soft CFM 0.01.
    SurfaceMaterial surface;
    // The shared mesh (null without a renderer) and its fade colour.
    std::unique_ptr<D3D8Mesh> mesh;
    ShaderVariables* fader = nullptr;
};

class Explosion : public Projectile, public CollisionListener, public JointForceReceiver {
public:
    static constexpr uint32_t Category = 0x20;
    static constexpr uint32_t CollideBits = 4;
    static constexpr uint32_t ProtectedBit = 0x400;
    static constexpr uint32_t DrivenCarBit = 0x80;
    static constexpr float SoundMinimum = 2500.0f;
    static constexpr float SoundMaximum = 10000.0f;
    static constexpr float DamageFactor = 5e-8f;
    static constexpr const char* FallbackSound = "Explosion.WAV";
    static constexpr const char* Model = "Models\\Explosion.ZKM";

    // A wreck's blast (start radius, maximum radius, growth); a homing missile's is 5, 300, 75000.
    static constexpr float WreckStart = 5.0f, WreckMaximum = 200.0f, WreckGrowth = 50000.0f;

    explicit Explosion(ExplosionPool& shared);
    ~Explosion() override;

    // A new explosion at the position, growing from startRadius to maxRadius with growth added
    // to the squared radius per second. owner (may be null) is the geom that caused it: the
    // damage names its car, and a driven car's geom (category 0x80) tells the context's
    // explosion observer. The sound (sound, else a random "Explosion*" variant, else
    // "Explosion.WAV") plays only with play set.
    static void Spawn(VehicleContext& context, PhysicsGeom* owner, const Vector3& position, float startRadius,
                      float maxRadius, float growth, bool play, const SharedString& sound = SharedString());
    // Every live explosion back to the free list (a game reset).
    static void ReleaseAll(VehicleContext& context);

    // The physics client: the sphere enters and leaves the space; after each sub-step it grows.
    void OnAdded(PhysicsWorld& world) override;
    void OnRemoved(PhysicsWorld& world) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;
    // Grows by one sub-step; at the maximum radius the explosion is released.
    void Grow(float dt);

    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) override;
    bool OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4& t1, Vector4& f2, Vector4& t2) override;

    void Draw(const Camera& camera) override;

    float Radius() const { return sphere.GetRadius(); }
    PhysicsGeom* owner = nullptr;
    SphereGeom sphere;
    float startRadius = 0.0f;
    float maxRadius = 0.0f;
    float growth = 0.0f;
    float angle = 0.0f;

private:
    ExplosionPool& shared_;
};
