#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/OdeHandles.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/PhysicsJoint.h"
#include "game/world/RigidBody.h"

class PhysicsWorld;

// Something that takes part in every physics sub-step.
class PhysicsClient {
public:
    virtual ~PhysicsClient() = default;
    virtual void OnAdded(PhysicsWorld&) {}
    virtual void OnRemoved(PhysicsWorld&) {}
    // After the integration step.
    virtual void UpdateBounds(PhysicsWorld&, float /*dt*/) {}
    // Before the space is collided.
    virtual void PreStep(PhysicsWorld&) {}
    // After collision, before the integration step.
    virtual void PostStep(PhysicsWorld&) {}
};

// NaN, infinity or a magnitude of 2^98 and more (as f32).
bool IsInvalidFloat(float x);

// How one frame's time is cut into fixed sub-steps: fullSteps steps of stepSize, then one of
// lastStep. All sizes already carry the time scale. A sub-step whose size is not positive runs
// its clients but no integration. valid is false (and nothing runs) for a rate that is not a
// positive finite number.
struct FrameSplit {
    bool valid = false;
    int32_t fullSteps = 0;
    float stepSize = 0.0f;
    float lastStep = 0.0f;
    int32_t SubSteps() const { return valid ? fullSteps + 1 : 0; }
};
FrameSplit SplitFrame(float dt, float rate, float timeScale);

// The surface of one contact pair, mixed from the two geoms' materials. mode holds the rigid-body
// library's own contact-mode bits (see ContactModeBits).
struct MixedSurface {
    uint32_t mode = 0;
    float mu = 0.0f; // +infinity when either geom has no material
    float bounce = 0.0f;
    float bounceVelocity = 0.0f;
    float softErp = 0.0f;
    float softCfm = 0.0f;
    float slip = 0.0f; // both directions
};
MixedSurface MixSurfaces(const SurfaceMaterial* a, const SurfaceMaterial* b);

// The library's contact-mode bits as this build numbers them.
struct ContactModeBits {
    uint32_t bounce, softErp, softCfm, slip1, slip2, motionN;
    static ContactModeBits Get();
};

// Counters of the last sub-step, for diagnostics only.
struct PhysicsStats {
    uint32_t clients = 0;
    uint32_t geoms = 0;
    uint32_t nearCalls = 0;
    uint32_t collideCalls = 0;
    uint32_t pairsWithContacts = 0;
    uint32_t contacts = 0;
    uint32_t joints = 0;
    uint32_t droppedJoints = 0;
};

// The one rigid-body world: an ODE world, its top-level collision space, the per-step contact
// joints (from a fixed pool) and the clients and bodies that take part.
class PhysicsWorld {
public:
    static constexpr int32_t ContactPoolSize = 1024;
    static constexpr int32_t MaxContacts = 1024;
    static constexpr size_t HistoryLength = 51;

    PhysicsWorld();
    ~PhysicsWorld();
    PhysicsWorld(const PhysicsWorld&) = delete;
    PhysicsWorld& operator=(const PhysicsWorld&) = delete;

    // The top-level quadtree space; made once by the loader.
    dxSpace* CreateSpace(const Vector3& centre, const Vector3& extents, int32_t depth);
    dxSpace* GetSpace() const { return space_; }
    dxWorld* GetOdeWorld() const { return world_; }

    void SetGravity(const Vector3& g);
    Vector3 GetGravity() const;

    void AddObject(PhysicsClient* client);
    void RemoveObject(PhysicsClient* client);
    int32_t ClientCount() const;

    void PreStep();
    void Collide();
    // Collides one geom (in the space or not, enabled or not) against the space.
    void CollideGeom(PhysicsGeom* geom);
    // Collides a pair directly; true when any contact was reported.
    bool TestPair(PhysicsGeom* a, PhysicsGeom* b);
    void PostStep();
    void Step(float dt);
    void CleanSpace();
    // One frame: the sub-steps of SplitFrame, each PreStep, Collide, PostStep, Step.
    void Simulate(float dt, float rate, float timeScale);

    // Collision dispatch (called from the near callback and by TestPair).
    int32_t CollideGeoms(PhysicsGeom* a, PhysicsGeom* b);
    static void MakeContactSurface(dContact& contact, const PhysicsGeom* a, const PhysicsGeom* b);
    static void NearCallback(void* data, dxGeom* o1, dxGeom* o2);

    const PhysicsStats& Stats() const { return stats_; }
    int32_t ContactJointsInUse() const { return poolInUse_; }
    ContactJoint& PoolJoint(int32_t i) { return pool_[size_t(i)]; }
    // Good states recorded for a body (oldest first is entry 0).
    size_t HistorySize(const RigidBody* body) const;

    // Space edits go through these: while a space is being collided they are queued and
    // applied, in order, when the outermost collision call returns.
    static void SpaceAdd(dxSpace* space, dxGeom* geom);
    static void SpaceRemove(dxSpace* space, dxGeom* geom);
    static void DestroyGeom(dxGeom* geom);
    static void DestroyTriMeshData(dxTriMeshData* data);
    static bool IsColliding();

private:
    friend class RigidBody;
    friend class Hinge2Joint;

    struct PoseEntry {
        Vector3 position;
        Quaternion orientation;
    };
    struct BodyRecord {
        RigidBody* body = nullptr;
        std::vector<PoseEntry> history; // ring of up to HistoryLength entries
        uint32_t start = 0;
        uint32_t count = 0;
        Vector3 lastGoodPosition;
    };

    void RegisterBody(RigidBody* body);
    void UnregisterBody(RigidBody* body);
    void RegisterJoint(Hinge2Joint* joint);
    void UnregisterJoint(Hinge2Joint* joint);

    void ScreenBodiesBeforeStep();
    void RecordAndRepair(float dt);
    void RepairBody(BodyRecord& record, bool beforeStep);
    void ProcessJointForces(int32_t contactJoints, float h);
    void ApplyForceHook(PhysicsJoint& joint, float h);
    void FinishClientLoop();

    dxWorld* world_ = nullptr;
    dxSpace* space_ = nullptr;
    dxJointGroup* contactGroup_ = nullptr;
    std::vector<PhysicsClient*> clients_;
    int32_t clientLoopDepth_ = 0;
    bool clientsRemoved_ = false;
    std::unique_ptr<ContactJoint[]> pool_;
    int32_t poolInUse_ = 0;
    std::vector<JointForceReceiver*> scratchReceivers_;
    std::vector<BodyRecord> bodies_;
    std::vector<Hinge2Joint*> hinges_;
    std::unique_ptr<dContact[]> contacts_;
    PhysicsStats stats_;
    bool poolFullLogged_ = false;
};
