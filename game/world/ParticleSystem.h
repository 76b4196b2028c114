#pragma once
// Particles: short-lived camera-facing sprites (blood, fire, smoke, sparks) in pooled groups. A
// ParticleSystem owns the pool and the live groups of one kind; users call Emit and fill in the
// group they get (position, velocity, colour, quads). Each frame the kind's Update(camera, dt)
// moves the groups, ages them, retires the dead ones and batches the rest; Draw draws them.
// Groups are made on first use and reused, never freed while the system lives. Main thread only.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/Decals.h"
#include "game/world/ParticleBatch.h"

class Camera;
class RenderFacility;
class TextureHandle;

// One quad of a group: texture rectangle and view-plane rectangle relative to the group.
struct ParticleQuad {
    float left = 0, top = 0, right = 1, bottom = 1;
    float x = 0, y = 0, w = 0, h = 0;
};

class ParticleGroup {
public:
    enum Flags : uint16_t {
        kAlive = 1 << 0,          // moved by the update
        kVisible = 1 << 1,
        kFrustumTested = 1 << 2,
        kOneStep = 1 << 3,        // kAlive is cleared after the next move
        kShowOnce = 1 << 4,       // kVisible is cleared after one batch pass
        kDrawn = 1 << 5,          // set by the batch for the frame
    };

    virtual ~ParticleGroup() = default;
    // Position, velocity, radius, angle 0; colour white; layer 0; alive, visible and frustum
    // tested; no quads.
    virtual void Reset();
    // radius = the largest distance of a quad corner (x + w, y + h) from the group's centre.
    void UpdateRadius();

    Vector3 position;
    float radius = 0.0f;
    Vector3 velocity;
    float angle = 0.0f;             // rotation of all quads in the view plane
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};
    TextureHandle* texture = nullptr;  // the system's texture (not owned)
    int16_t layer = 0;              // index of the batch's layer
    uint16_t flags = kAlive | kVisible | kFrustumTested;
    std::vector<ParticleQuad> quads;
};

class BloodParticleGroup final : public ParticleGroup {
public:
    // Five splashes of random size round the centre; life 1 s.
    void Reset() override;
    float life = 1.0f;
};

class SparkParticleGroup final : public ParticleGroup {
public:
    // One small quad; life 1 s.
    void Reset() override;
    float life = 1.0f;
};

class FireParticleGroup : public ParticleGroup {
public:
    // One 10 x 10 quad, random divisor (2..4), spin (-10..9 rad/s) and angle.
    void Reset() override;
    uint8_t lifeDivisor = 2;
    int8_t spin = 0;  // radians per second
};

class SmokeParticleGroup final : public ParticleGroup {
public:
    // One 10 x 10 quad; divisor and spin stay as drawn when the group was made.
    void Reset() override;
    uint8_t lifeDivisor = 2;
    int8_t spin = 0;
};

class ParticleSystem {
public:
    // Emit policies.
    enum Policy : int32_t { kFromPool = 0, kRecycleOldest = 1, kGrow = 2 };

    explicit ParticleSystem(int32_t poolSize);
    // Deletes every live and free group.
    virtual ~ParticleSystem();
    ParticleSystem(const ParticleSystem&) = delete;
    ParticleSystem& operator=(const ParticleSystem&) = delete;

    void SetAcceleration(const Vector3& a) { acceleration_ = a; }
    const Vector3& Acceleration() const { return acceleration_; }
    const std::vector<ParticleGroup*>& ActiveGroups() const { return live_; }
    size_t FreeCount() const { return free_.size(); }

    // A live group, or null: from the pool first (made on first use, else reset); when the
    // pool is empty, policy 2 makes a new group, policy 1 reuses the oldest live one (null when
    // none lives), policy 0 gives null.
    ParticleGroup* Emit(int32_t policy);
    // Back to the pool (live order kept). Out-of-range indices and unknown groups are ignored.
    void ReleaseAt(size_t index);
    void Release(ParticleGroup* group);

    // Moves every alive group: velocity += acceleration x dt (when there is one), then
    // position += velocity x dt; a one-step group stops being alive afterwards.
    virtual void Update(float dt);
    // A fresh group of the kind.
    virtual ParticleGroup* CreateGroup();
    // The frame's update of a kind: move, age and retire, batch. The base only moves.
    virtual void Update(const Camera& camera, float dt);
    virtual void Draw() {}

protected:
    // Moves the groups for which `dead` says true to the pool, keeping the order of the rest.
    template <class Dead>
    void RetireWhere(Dead dead);

    Vector3 acceleration_;
    std::vector<ParticleGroup*> free_;
    std::vector<ParticleGroup*> live_;
};

// A kind that draws: its texture, its batch and its ageing rule.
class TexturedParticleSystem : public ParticleSystem {
public:
    TexturedParticleSystem(RenderFacility* facility, int32_t poolSize, const SharedString& textureName,
                           const std::vector<TextureLayer>& layers, bool triangles);
    ~TexturedParticleSystem() override;

    // Moves, ages each live group in order (retiring the dead ones) and batches the rest.
    void Update(const Camera& camera, float dt) override;
    using ParticleSystem::Update;
    void Draw() override { batch_.Flush(); }

    ParticleBatch& Batch() { return batch_; }
    TextureHandle* Texture() const { return texture_; }

protected:
    // Ages one group; true when it died.
    virtual bool Age(ParticleGroup& group, float dt) = 0;
    // A new group of the kind, reset, showing the system's texture.
    template <class Group>
    Group* Make() {
        auto* g = new Group();
        g->Reset();
        g->texture = texture_;
        return g;
    }

    TextureHandle* texture_ = nullptr;
    ParticleBatch batch_;
};

// Pool 2000, "Blood.ZKT", falls with gravity, lives 1 s. Makes the blood-splat decal owner
// ("BloodSplat.ZKT") and registers it with the given decal renderer.
class BloodParticleSystem final : public TexturedParticleSystem {
public:
    static constexpr int32_t kPool = 2000;
    BloodParticleSystem(RenderFacility* facility, const Vector3& gravity, DecalRenderer* decals);
    ~BloodParticleSystem() override;
    ParticleGroup* CreateGroup() override;
    DecalOwner& SplatOwner() { return splats_; }

protected:
    bool Age(ParticleGroup& group, float dt) override;

private:
    DecalOwner splats_;
};

// Pool 500, "Fire.ZKT", additive; fades by 1.5 dt / divisor and spins.
class FireParticleSystem final : public TexturedParticleSystem {
public:
    static constexpr int32_t kPool = 500;
    explicit FireParticleSystem(RenderFacility* facility);
    ParticleGroup* CreateGroup() override;

protected:
    bool Age(ParticleGroup& group, float dt) override;
};

// Pool 500, the given texture, layers 0 modulate and 1 additive; fades by 3 dt / divisor.
class SmokeParticleSystem final : public TexturedParticleSystem {
public:
    static constexpr int32_t kPool = 500;
    SmokeParticleSystem(RenderFacility* facility, const SharedString& textureName);
    ParticleGroup* CreateGroup() override;

protected:
    bool Age(ParticleGroup& group, float dt) override;
};

// Pool 5000, "Spark.ZKT", additive, falls with gravity; alpha = life squared.
class SparkParticleSystem final : public TexturedParticleSystem {
public:
    static constexpr int32_t kPool = 5000;
    SparkParticleSystem(RenderFacility* facility, const Vector3& gravity, bool triangles);
    ParticleGroup* CreateGroup() override;

protected:
    bool Age(ParticleGroup& group, float dt) override;
};

// The game's five systems in their global slots, made when a game starts and deleted when it
// ends. Users test a slot for null.
struct ParticleSystems {
    static BloodParticleSystem* blood;
    static FireParticleSystem* fire;
    static SmokeParticleSystem* smoke;
    static SparkParticleSystem* sparks;
    static SparkParticleSystem* triangleSparks;  // the batch's triangle option on

    // Makes the five (deleting any earlier ones); blood and sparks fall with `gravity`.
    static void Create(RenderFacility* facility, const Vector3& gravity, DecalRenderer* decals);
    static void Destroy();
    // Each system's frame update (fire, smoke, sparks, triangle sparks, blood), then its draw
    // (fire, sparks, triangle sparks, blood, smoke).
    static void UpdateAll(const Camera& camera, float dt);
    static void DrawAll();
};
