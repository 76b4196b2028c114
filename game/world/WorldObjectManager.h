#pragma once
// Owns the object meshes, kinds and placed objects; wakes touched objects with pooled bodies,
// puts idle ones to sleep and sends far ones home; draws what the cull queued, faded by distance.
#include <array>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "game/world/PhysicsWorld.h"
#include "game/world/WorldObject.h"

class Camera;
class RenderFacility;
class StaticVertexBuffer;
class StaticIndexBuffer;

// One object mesh: 32-byte vertices (position, normal, uv) and 32-bit indices.
struct ObjectMesh {
    struct Vertex {
        Vector3 position;
        Vector3 normal;
        float u = 0.0f, v = 0.0f;
    };
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices;
    StaticVertexBuffer* vertexBuffer = nullptr;
    StaticIndexBuffer* indexBuffer = nullptr;
};
static_assert(sizeof(ObjectMesh::Vertex) == 32);

// The three handles an object material registers with the renderer.
struct ObjectMaterialHandles {
    Material* material = nullptr;
    ShaderPassSet* pass = nullptr;
    ShaderPassSet* secondPass = nullptr;
    bool translucent = false;
    bool secondTexture = false;
};

class WorldObjectManager : public CollisionListener, public PhysicsClient {
public:
    // Vertex format code of the object and shard vertices (position, normal, one uv set).
    static constexpr uint32_t VertexFormat = 37;
    static constexpr float SleepSpeedSquared = 250.0f;
    static constexpr float SleepTime = 0.75f;

    WorldObjectManager(PhysicsWorld& physics, ObjectQuadTree& tree, RenderFacility* renderer);
    ~WorldObjectManager() override;
    WorldObjectManager(const WorldObjectManager&) = delete;
    WorldObjectManager& operator=(const WorldObjectManager&) = delete;

    // The loader's calls.
    void CreateObjectSpace(const Vector3& centre, const Vector3& extents, SpaceKind kind = SpaceKind::QuadTree);
    void AddObjectSpaceToWorld();
    void BuildMeshes();
    // Sizes the placed-object array (the objects never move afterwards).
    void ResizeObjects(int32_t count);

    // Stores the camera of this frame and empties the draw lists.
    void BeginFrame(const Camera* camera);
    void DrawOpaque(const Camera& camera);
    void DrawTransparent(const Camera& camera, float frameTime);

    // CollisionListener of the object space.
    bool IgnorePair(PhysicsGeom*, PhysicsGeom*) override { return false; }
    // PhysicsClient
    void PreStep(PhysicsWorld&) override { ActivatePending(); }
    void PostStep(PhysicsWorld&) override { MoveActivated(); }
    void UpdateBounds(PhysicsWorld&, float dt) override { SleepIdleBodies(dt); }

    void ActivatePending();
    void MoveActivated();
    void SleepIdleBodies(float dt);

    // Queues for the draw passes (WorldObject::Cull).
    void QueueOpaque(WorldObject* object);
    void QueueTransparent(WorldObject* object, float distanceSquared);
    // The fade of a view distance in a distance class, from the tables of the last opaque pass.
    uint32_t FadeAlpha(float distanceSquared, int32_t distanceClass) const;
    void ComputeFadeTables(const Camera& camera);

    // A new pooled body kind for this world (kept until the manager goes).
    RigidBody* NewBody();
    // The session's mission variant (-1 without a session).
    int32_t MissionVariant() const;

    PhysicsWorld& Physics() { return physics_; }
    ObjectQuadTree& Tree() { return tree_; }
    PhysicsSpace* ObjectSpace() { return objectSpace_.get(); }
    const Camera* CurrentCamera() const { return camera_; }
    bool Acquiring() const { return acquiring_; }
    void SetAcquiring(bool on) { acquiring_ = on; }

    std::vector<ObjectMesh>& Meshes() { return meshes_; }
    std::vector<WorldObjectKind>& Kinds() { return kinds_; }
    std::vector<ObjectMaterialHandles>& Materials() { return materials_; }
    int32_t ObjectCount() const { return objectCount_; }
    WorldObject& Object(int32_t i) { return objects_[size_t(i)]; }
    // Distinct batch keys: the (material, pass, reserved, second texture) of one-part opaque kinds.
    std::vector<std::array<uintptr_t, 4>>& BatchKeys() { return batchKeys_; }

    std::vector<WorldObject*>& Pending() { return pending_; }
    std::vector<WorldObject*>& Live() { return live_; }
    std::deque<RigidBody*>& FreeBodies() { return freeBodies_; }
    const std::vector<WorldObject*>& OpaqueQueue() const { return opaque_; }
    const std::vector<std::pair<WorldObject*, float>>& TransparentQueue() const { return transparent_; }
    // Draw calls of the last passes (diagnostics and tests).
    int32_t DrawnParts() const { return drawnParts_; }

    const struct GameSession* session = nullptr;
    // The shared surface of placed-object geoms (friction 10).
    SurfaceMaterial surface{10.0f};

private:
    void DrawPart(const WorldObjectKind& kind, const ObjectPart& part);
    void RemoveFromLive(WorldObject* object);

    PhysicsWorld& physics_;
    ObjectQuadTree& tree_;
    RenderFacility* renderer_;
    std::vector<ObjectMesh> meshes_;
    const Camera* camera_ = nullptr;
    ShaderPassSet* shader_ = nullptr;
    std::vector<WorldObjectKind> kinds_;
    std::vector<ObjectMaterialHandles> materials_;
    std::vector<std::array<uintptr_t, 4>> batchKeys_;
    std::unique_ptr<WorldObject[]> objects_;
    int32_t objectCount_ = 0;
    Vector3 cameraPosition_;
    float fadeStart_[6] = {};
    float fadeEnd_[6] = {};
    float fadeScale_[6] = {};

    std::unique_ptr<PhysicsSpace> objectSpace_;
    std::vector<WorldObject*> opaque_;
    std::vector<std::pair<WorldObject*, float>> transparent_;
    std::vector<WorldObject*> live_;
    std::vector<WorldObject*> pending_;
    std::vector<WorldObject*> activated_;
    std::deque<RigidBody*> freeBodies_;
    std::vector<std::unique_ptr<RigidBody>> bodies_; // every body ever made
    bool acquiring_ = false;
    int32_t drawnParts_ = 0;
};
