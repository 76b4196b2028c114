#pragma once
// A walking person of the city: an animated body that walks beside the pedestrian road graph's
// nodes, jumps out of the way of cars coming at it, and can be knocked down and killed. It is an
// item of the world's object tree, a client of the physics world and the damage receiver of its
// own box geom. Pedestrians are pooled: the manager that placed them adds them to and removes
// them from the world; they reach their game through the manager's `PedestrianSite`.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/DamageReceiver.h"
#include "game/world/ObjectQuadTree.h"
#include "game/world/PhysicsWorld.h"

class BoneAnimation;
class BoxGeom;
class D3D8Mesh;
class PedestrianType;
class RigidBody;
class StreetEvents;
class World;
struct RoadNode;
struct VehicleContext;

// What pedestrians reach their game through; owned by the manager that places them.
struct PedestrianSite {
    World* world = nullptr;
    VehicleContext* vehicles = nullptr;  // the cars they dodge; null: none
    StreetEvents* events = nullptr;      // null: nobody listens
    // Bodies for pedestrians being thrown or lying dead: every body made, and the free ones.
    std::vector<std::unique_ptr<RigidBody>> bodies;
    std::vector<RigidBody*> freeBodies;
};

class Pedestrian : public QuadTreeItem, public PhysicsClient, public DamageReceiver, public GeomOwner {
public:
    enum State : int32_t { Walking = 0, Jumping = 1, Running = 3, Knocked = 4, Dead = 5, Standing = 6, Waiting = 7 };

    static constexpr float kArrivalRadiusSquared = 15.0f * 15.0f;
    static constexpr float kFastCarSpeedSquared = 300.0f;

    Pedestrian(PedestrianType& type, PedestrianSite& site);
    ~Pedestrian() override;
    Pedestrian(const Pedestrian&) = delete;
    Pedestrian& operator=(const Pedestrian&) = delete;

    // The feet: the box's centre less the type's foot offset, turned.
    Vector3 GetPosition() const;
    void SetPosition(const Vector3& feet);
    void SetOrientation(const Quaternion& orientation);
    Quaternion GetOrientation() const;
    // Stops, facing along the direction, and stands idle.
    void StandAt(const Vector3& direction);
    void ResumeWalking();
    // The next target node: never the node just left unless it is a dead end (then turns back);
    // false when the target has no links or there is no target.
    bool PickNextNode();
    void AttachBody();
    void ReleaseBody();

    // A car as a pedestrian sees it coming.
    struct CarMotion {
        Vector3 position, velocity;
    };
    // Turns aside from a car predicted near within the next second, or jumps away from a fast
    // one. False when the pedestrian, having no target, stops looking at the other cars.
    bool React(const CarMotion& car, float dt);

    // QuadTreeItem
    void OnAdded(ObjectQuadTree& tree) override;
    void GetBounds(BoundingBox& out) const override;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    bool Cull(ObjectQuadTree& tree, const Camera& camera) override;
    void Draw(ObjectQuadTree& tree, const Camera& camera) override;
    // PhysicsClient
    void OnAdded(PhysicsWorld& world) override;
    void OnRemoved(PhysicsWorld& world) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;
    // Collision and damage
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) override;
    JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) override;
    void OnDamaged(float amount, int32_t kind, const void* source) override;
    void OnDestroyed(int32_t kind) override;
    DamageReceiver* GetDamageReceiver() override { return this; }

    PedestrianType& type;
    PedestrianSite& site;
    RigidBody* body = nullptr;
    std::unique_ptr<BoxGeom> geom;
    std::unique_ptr<D3D8Mesh> player;  // this pedestrian's own pose of the type's body

    uint32_t drawnFrame = 0xFFFFFFFFu;
    float animationClock = 0.0f;
    float dodgeClock = 0.0f;
    float runTimer = 0.0f;
    float hitMark = 0.0f;
    float knockTimer = 0.0f;
    float sprayAccumulator = 0.0f;
    std::array<Vector3, 8> bodyPoints{};
    float bleedTimer = 0.0f;
    float burstAccumulator = 0.0f;
    float splashCooldown = 0.0f;
    Vector3 splashDirection;
    GeomOwner* hitter = nullptr;
    Vector3 facing{0.0f, 0.0f, -1.0f};
    uint32_t randomState = 0;
    float speed = 0.0f;
    RoadNode* previousNode = nullptr;
    RoadNode* targetNode = nullptr;
    float sideOffset = 0.0f;
    float radiusFactor = 1.0f, speedFactor = 1.0f, turnFactor = 1.0f;
    bool killedByHit = false;
    bool visible = false;
    int32_t state = Waiting;
    bool thrownOnDamage = false;

protected:
    // Looped.
    void Play(BoneAnimation* animation);
    void SetMoving(int32_t newState, BoneAnimation* animation);

private:
    void Dodge(float dt);
    void Move(float dt);
    void Die(bool byHit);
};
