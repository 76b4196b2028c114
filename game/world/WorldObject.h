#pragma once
// Placed props of the city. At rest an object has no body: its box geom sits in the shared
// object space. A touch queues it; it gets a pooled body at the next sub-step, tumbles, sleeps
// and goes home once both it and its home are out of range. Shattering kinds turn into shards.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/ObjectQuadTree.h"
#include "game/world/PhysicsWorld.h"

class Camera;
class Material;
class ShaderPassSet;
class ShardEffect;
class ShardMesh;
class WorldObjectManager;

// Something riding on a placed object (a light, a traffic light, a hit sound), in a chain.
// A chainable extension belongs to one object; a shared one (not chainable) may end the chains
// of many objects and always stays last.
class ObjectExtension {
public:
    explicit ObjectExtension(bool chainable_ = true) : chainable(chainable_) {}
    virtual ~ObjectExtension() = default;
    virtual void OnVisible() {}
    virtual void OnTouched(const Vector3& /*placedPosition*/) {}
    virtual void OnDisturbed() {}
    virtual void OnRestored() {}

    ObjectExtension* next = nullptr;
    bool chainable;
};

// One drawn part of a kind: an index range of the kind's mesh with an object material.
struct ObjectPart {
    uint32_t materialIndex = 0;
    Material* material = nullptr;
    ShaderPassSet* pass = nullptr;
    ShaderPassSet* secondPass = nullptr; // depth EQUAL, no alpha test
    uint32_t reserved = 0;
    uint32_t secondTexture = 0;
    // first index, index count, first vertex, vertex count
    int32_t range[4] = {};
};

struct WorldObjectKind {
    enum : uint8_t {
        Movable = 1,
        TransparentKind = 4,
        SecondTexture = 8,
        DoubleSided = 16,
        Shatters = 32,
        CarriesLight = 64, // bounds widened to reach the light pool on the ground
    };
    static constexpr float Immovable = -1.0f;

    int32_t mesh = 0;
    std::vector<ObjectPart> parts;
    uint8_t fileBytes[16] = {};
    float mass = Immovable; // the file value x 0.1
    Vector3 boxCentre;      // in the object's frame
    Vector3 halfExtents;
    float radiusSquared = 0.0f;
    int32_t missionVariant = 0; // 0 every mission, n only variant n - 1
    int32_t batchKey = -1;
    std::vector<ShardEffect*> shardPool;
    std::shared_ptr<ShardMesh> shardMesh; // the kind's triangles, made on the first break
    uint8_t flags = 0;
    bool narrowCollide = false; // placed objects collide with 0x204 instead of 0x207
    bool hasBox = false;
    int8_t hitSound = 0;

    bool TakesBody() const { return (flags & Movable) && mass != Immovable; }
};

class WorldObject : public QuadTreeItem, public CollisionListener, public PhysicsClient, public GeomOwner {
public:
    // Geom categories of the object system.
    enum : uint32_t {
        ObjectCategory = 0x804,
        ObjectCollide = 0x207,
        ObjectCollideNarrow = 0x204,
        PlacedObjectBit = 0x800,
        StaticBit = 1,
    };

    WorldObject();
    ~WorldObject() override;
    WorldObject(const WorldObject&) = delete;
    WorldObject& operator=(const WorldObject&) = delete;

    // The placed (home) pose; nothing else changes.
    void SetPosition(const Vector3& position) { position_ = position; }
    void SetOrientation(const Quaternion& orientation) { orientation_ = orientation; }
    // The body's pose while it has one, else the placed pose.
    Vector3 GetPosition() const;
    Quaternion GetOrientation() const;
    const Vector3& PlacedPosition() const { return position_; }
    const Quaternion& PlacedOrientation() const { return orientation_; }
    void SetHalfExtents(float x, float y, float z) { halfExtents_ = Vector3(x, y, z); }

    void AddExtension(ObjectExtension* extension);
    ObjectExtension* Extensions() const { return extensions_; }
    // Back on the placed pose: extensions restored, body released, bounds rebuilt, far cleared.
    void Update();
    // Moves the placed pose and, while the object has no body, its geom and its bounds in the
    // tree with it (a spinning marker, a bobbing crate). The far flag and the extensions are
    // left as they are; an object with a body keeps it and goes home to the new pose.
    void MovePlacedPose(const Vector3& position, const Quaternion& orientation);
    using QuadTreeItem::Update;

    // QuadTreeItem
    void GetBounds(BoundingBox& out) const override;
    bool Cull(ObjectQuadTree& tree, const Camera& camera) override;
    // CollisionListener
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    bool VetoContacts(PhysicsGeom* own, PhysicsGeom* other) override;
    // Every point counts, except in the acquisition test, which only wakes neighbours. Placed
    // geoms let the library return any contacts, and its box test then stops at the first
    // overlapping axis: a stacked neighbour woken in the same pass would be pushed out along a
    // side axis by the full box depth and thrown off the stack at hundreds of units a second.
    bool FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3*, Vector3*, float*) override;
    // PhysicsClient
    void UpdateBounds(PhysicsWorld& world, float dt) override;

    void AcquireBody();
    void ReleaseBody();

    // Set by the loader.
    WorldObjectManager* manager = nullptr;
    WorldObjectKind* kind = nullptr;
    int32_t distanceClass = 3;
    // Written by Cull and the draw passes.
    float viewDistanceSquared = 0.0f;
    uint32_t fadeAlpha = 255;
    bool far = false;
    float restTime = 0.0f;

    PhysicsGeom* Geom() const { return geom_; }
    void SetGeom(PhysicsGeom* geom) { geom_ = geom; }
    RigidBody* Body() const { return body_; }
    ShardEffect* Shards() const { return shards_; }
    bool Shattered() const { return shattered_; }
    // Drops the shards (back to the kind's pool) and the shattered state.
    void DropShards();
    bool InWorldSpace() const { return inWorldSpace_; }
    void SetInWorldSpace(bool in) { inWorldSpace_ = in; }
    const Vector3& BoundsCentre() const { return centre_; }

private:
    void NotifyTouched();
    Vector3 HomeGeomPosition() const;
    // Geom (when resting) and bounds on the placed pose; the tree learns where it is.
    void PlaceOnPose();

    ObjectExtension* extensions_ = nullptr;
    Vector3 centre_;
    Vector3 halfExtents_;
    PhysicsGeom* geom_ = nullptr;
    RigidBody* body_ = nullptr;
    Vector3 position_;
    Quaternion orientation_{0.0f, 0.0f, 0.0f, 1.0f};
    ShardEffect* shards_ = nullptr;
    bool shattered_ = false;
    bool inWorldSpace_ = false;
};
