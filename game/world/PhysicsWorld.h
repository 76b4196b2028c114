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

// The library's ERP and CFM stand for a spring and a damper only together with the step they
// are used over. Given the pair that is right for steps of `tuned` seconds, the pair that gives
// the same spring and damping over a step of `step` seconds (the same pair when the steps are
// equal). Non-positive or non-finite inputs leave the pair as it is.
void SoftnessForStep(float erp, float cfm, float tuned, float step, float& erpOut, float& cfmOut);

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

// The nearest hit of a ray query (PhysicsWorld::CastRay).
struct RayHit {
    PhysicsGeom* geom = nullptr; // the geom struck
    Vector3 position;
    Vector3 normal;              // unit surface normal, turned to face the ray's start
    float distance = 0.0f;       // from the ray's start
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

    // The top-level space; made once by the loader. A quadtree space bins on its centre and
    // extents down to depth levels; the other kinds ignore those values.
    dxSpace* CreateSpace(const Vector3& centre, const Vector3& extents, int32_t depth,
                         SpaceKind kind = SpaceKind::QuadTree);
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
    // The nearest hit of a ray from start along direction (normalised here) within length,
    // against the enabled geoms of the space and of the spaces inside it whose category bits
    // meet collideBits. skip (a geom or a whole space; null for none) is never hit. Triangle
    // meshes still ask their listeners which triangles count; no other listener is asked and
    // no contact is made. False (hit untouched) when nothing is hit or the ray is broken.
    // Runs on the thread that owns the world at the time (the loading thread while loading).
    bool CastRay(const Vector3& start, const Vector3& direction, float length, uint32_t collideBits,
                 const PhysicsGeom* skip, RayHit& hit);
    // One frame: the sub-steps of SplitFrame, each PreStep, Collide, PostStep, Step. The ERP and
    // CFM values are those of steps of 1 / rate.
    void Simulate(float dt, float rate, float timeScale);
    // The world's, the wheel joints' and the surfaces' ERP and CFM are the values for steps of
    // this many seconds (1/75 until set); a step of another size, like the last sub-step of a
    // frame, gets the values with the same spring and damping, so that what rests on the ground
    // rests at one height and rides alike whatever the frame time.
    void SetTunedStep(float seconds);
    float TunedStep() const { return tunedStep_; }
    // The world's ERP and CFM for steps of the tuned size.
    static constexpr float WorldErp = 0.4f;
    static constexpr float WorldCfm = 0.0001f;

    // Collision dispatch (called from the near callback and by TestPair).
    int32_t CollideGeoms(PhysicsGeom* a, PhysicsGeom* b);
    // What the dispatch decides once for a pair of geoms (defined with it).
    struct ContactPair;
    static void MakeContactSurface(dContact& contact, const PhysicsGeom* a, const PhysicsGeom* b);
    // A surface's soft ERP and CFM, given for steps of the tuned size, for the step the contact
    // is made for.
    void SoftenSurface(dSurfaceParameters& surface) const;
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
    // Binds a geom to a body (or none) and applies its offset from the body; deferred as above.
    static void GeomSetBody(dxGeom* geom, dxBody* body, const Vector3& offset);
    static void DestroyGeom(dxGeom* geom);
    static void DestroyBody(dxBody* body);
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
        dxBody* odeBody = nullptr;      // the body's library object, for the pass after the step
        std::vector<PoseEntry> history; // ring of up to HistoryLength entries
        uint32_t start = 0;
        uint32_t count = 0;
        Vector3 lastGoodPosition;
    };

    void RegisterBody(RigidBody* body);
    void UnregisterBody(RigidBody* body);
    void RegisterJoint(Hinge2Joint* joint);
    void UnregisterJoint(Hinge2Joint* joint);
    // A setter was handed a value that could abort the step: the body is screened before it.
    void MarkSuspect(RigidBody* body);

    void ScreenSuspectsBeforeStep();
    void PrepareHingeFeedback();
    void RecordAndRepair(float dt);
    void RepairBody(BodyRecord& record, bool beforeStep);
    void ProcessJointForces(float h);
    void ApplyForceHook(PhysicsJoint& joint, float h);
    void FinishClientLoop();
    // Puts the ERP and CFM for steps of this size into the world and the wheel joints (nothing
    // when they hold them already).
    void SoftenFor(float step);
    bool BeginPair(ContactPair& pair, PhysicsGeom* A, PhysicsGeom* B, dContact& c, int index);
    bool PrepareContact(const ContactPair& pair, dContactGeom& g);
    void AddContactJoint(const ContactPair& pair, dContact& c);

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
    std::vector<RigidBody*> suspects_;
    std::vector<Hinge2Joint*> hinges_;
    // The joints of this sub-step whose forces go through the hook: pool indices of contact
    // joints with receivers, and attached wheel joints with receivers.
    std::vector<int32_t> hookedContacts_;
    std::vector<Hinge2Joint*> hookedHinges_;
    std::unique_ptr<RayGeom> queryRay_;
    std::unique_ptr<dContact[]> contacts_;
    PhysicsStats stats_;
    bool poolFullLogged_ = false;
    float tunedStep_ = 1.0f / 75.0f;
    // The step size the world and joints hold their values for: the next step's while Simulate
    // runs, else the last step's.
    float softStep_ = 1.0f / 75.0f;
};
