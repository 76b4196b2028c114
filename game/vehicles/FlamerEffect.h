#pragma once
// The flamer's fire: while firing, a dense stream of flame sprites that only looks like fire and
// a sparse stream of invisible spheres (FlameBlob) that burn what they touch. Three probe rays
// ahead of the muzzle find the static city's walls and ground each sub-step; both streams
// bounce off the planes found there, so flames splash off walls (cars do not stop them). When
// firing stops the streams stop; the effect leaves the world once its last sprite has faded.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Geometry.h"
#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/Drawable.h"
#include "game/world/ParticleSystem.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/PhysicsWorld.h"

class AudioVoice;
class FlamerEffect;
struct VehicleContext;

class FlameParticleGroup : public ParticleGroup {
public:
    int8_t spin = 0;  // radians per second
    std::vector<Plane> planes;
};

// A burning sphere: it hurts every damageable thing it overlaps, once a sub-step.
class FlameBlob : public SphereGeom, public CollisionListener {
public:
    static constexpr float Radius = 10.0f;
    static constexpr float Damage = 1.25f;
    static constexpr uint32_t Category = 0x08;
    static constexpr uint32_t Collide = 4;
    static constexpr uint32_t PedestrianBit = 0x100;
    static constexpr uint32_t ProtectedBit = 0x400;

    explicit FlameBlob(FlamerEffect& effect);
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;

    FlamerEffect& effect;
    std::vector<Plane> planes;
    Vector3 velocity;
    float life = 0.0f;
    // The carrying car's geom; none once the blob has bounced (it may then burn that car too).
    PhysicsGeom* owner = nullptr;
};

class FlamerEffect : public CollisionListener, public PhysicsClient, public Drawable {
public:
    static constexpr float Reach = 350.0f;
    static constexpr float StreamSpeed = 500.0f;
    static constexpr float ParticleInterval = 0.0025f;
    static constexpr float BlobInterval = 0.1f;
    static constexpr float BlobLife = 0.5f;

    explicit FlamerEffect(VehicleContext& context);
    ~FlamerEffect() override;
    FlamerEffect(const FlamerEffect&) = delete;
    FlamerEffect& operator=(const FlamerEffect&) = delete;

    // Joins the world (once, however often it is activated), not firing.
    void Activate();
    // No longer wanted: it leaves the world once its sprites have faded.
    void Release();
    void StartFiring();
    void StopFiring();
    bool Registered() const { return registered_; }

    // A probe's contact with the static city: the plane 5 units off the wall.
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;
    void UpdateBounds(PhysicsWorld& physics, float dt) override;
    void Draw(const Camera& camera) override;

    // A game reset: every burning blob out of the world and its pending burns dropped; the
    // flame sprites fade as they would.
    void ReleaseBlobs();
    // The geom is going: neither the effect nor its blobs name it any more.
    void ForgetGeom(const PhysicsGeom* geom);
    // A blob's hit, burnt after the sub-step.
    void RecordBurn(PhysicsGeom* target, PhysicsGeom* attacker, const Vector3& normal);

    VehicleContext& context;
    std::vector<Vector3> wallPoints;
    std::vector<Plane> wallPlanes;
    std::vector<FlameParticleGroup*> freeGroups;
    std::vector<ParticleGroup*> liveGroups;
    AudioVoice* startVoice = nullptr;
    AudioVoice* loopVoice = nullptr;
    float particleTimer = 0.0f;
    float blobTimer = 0.0f;
    std::vector<FlameBlob*> freeBlobs;
    std::vector<FlameBlob*> liveBlobs;
    PhysicsGeom* owner = nullptr;
    uint8_t firing = 0;
    uint8_t alive = 0;
    Vector3 muzzle;
    Quaternion orientation;
    Vector3 carrierVelocity;

private:
    struct Burn {
        PhysicsGeom* target;
        PhysicsGeom* attacker;
        Vector3 normal;
    };
    void Leave();
    void EmitParticle(const Matrix4& m);
    void EmitBlob(const Matrix4& m);
    void MoveGroups(float dt);
    void MoveBlobs(float dt);

    std::unique_ptr<RayGeom> probes_[3];
    Vector3 probeDirection_;
    std::vector<std::unique_ptr<FlameParticleGroup>> groupStore_;
    std::vector<std::unique_ptr<FlameBlob>> blobStore_;
    std::vector<Burn> burns_;
    bool registered_ = false;
};
