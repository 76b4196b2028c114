#pragma once
// A light car of the city's traffic. It is not a Vehicle: while nothing disturbs it, its one box
// slides kinematically from road node to road node of the traffic graph at a speed the nodes set.
// A hit or a push makes the box a simulated rigid body; once it has come to rest upright near
// where it was knocked, with more than half its health, it returns to the road. It smokes below
// half its health, burns below a quarter and, at nothing, explodes and stays as a wreck until
// the traffic manager takes it away. The cars are made once and reused: a car never dies.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/DamageReceiver.h"
#include "game/world/ObjectQuadTree.h"
#include "game/world/PhysicsWorld.h"

class AudioVoice;
class BoxGeom;
class RigidBody;
class StreetEvents;
class TrafficCar;
class TrafficCarType;
class Vehicle;
class World;
struct RoadNode;
struct VehicleContext;

// What the game's traffic cars share: their kinds, the cars themselves, the free pool and the
// cars in the world, the spare bodies of knocked cars and what they reach their game through.
// The game holds one (one per world in a test) and hands it to each traffic manager; the kinds
// and the cars are made by the first manager and reused by every later one.
struct TrafficFleet {
    static constexpr int32_t kCarCount = 128;

    TrafficFleet();
    ~TrafficFleet();
    TrafficFleet(const TrafficFleet&) = delete;
    TrafficFleet& operator=(const TrafficFleet&) = delete;

    World* world = nullptr;
    VehicleContext* vehicles = nullptr;
    StreetEvents* events = nullptr;  // null: nobody listens
    bool typesLoaded = false;
    std::vector<std::unique_ptr<TrafficCarType>> types;  // every kind of the folder, listed order
    std::vector<std::unique_ptr<TrafficCar>> cars;
    // The free cars, and the cars in the world in order of spawning: a despawn names a car by
    // its index in `active`, so every peer keeps the same order.
    std::vector<TrafficCar*> pool, active;
    // Bodies lent to knocked cars: every body made, and the free ones.
    std::vector<std::unique_ptr<RigidBody>> bodies;
    std::vector<RigidBody*> spareBodies;
    // The wrecks found visible by the current cull; the kinds keep the others. Every cull of
    // the tree empties the lists first (the pass the lists belong to).
    std::vector<TrafficCar*> wrecked;
    uint32_t cullPass = 0xFFFFFFFFu;
    // "Audio\Traffic\Horn*.WAV", made with the cars (none without a sound device).
    std::vector<AudioVoice*> horns;
};

class TrafficCar : public QuadTreeItem, public PhysicsClient, public DamageReceiver, public GeomOwner {
public:
    enum State : int32_t { Driving = 1, Waiting = 2, Knocked = 3, Recovering = 4, Wrecked = 5, Idle = 6 };

    static constexpr float kMaxHealth = 500.0f;
    static constexpr float kBaseSpeed = 125.0f;
    static constexpr float kArrivalSquared = 50.0f * 50.0f;
    static constexpr float kRecoverRadiusSquared = 50.0f * 50.0f;
    static constexpr float kRestSpeedSquared = 250.0f;
    static constexpr float kVisibleSquared = 2000.0f * 2000.0f;
    static constexpr uint32_t kTrafficCategory = 0x04;
    static constexpr uint32_t kKinematicCollide = 0x82;
    static constexpr uint32_t kSimulatedCollide = 0x07;

    TrafficCar(TrafficCarType& type, TrafficFleet& fleet);
    ~TrafficCar() override;
    TrafficCar(const TrafficCar&) = delete;
    TrafficCar& operator=(const TrafficCar&) = delete;

    // The box's centre.
    Vector3 GetPosition() const;
    Quaternion GetOrientation() const;
    // The car's origin: the box's centre less the type's box offset, turned with the car.
    Vector3 Origin() const;

    // One step of the road: false when the next node has no links (a light holds it), when the
    // link drawn is held by another car, or when the next node is restricted.
    bool AdvanceNode();
    // The box becomes a simulated body moving on at the car's speed; the knock point is kept.
    void MakeDynamic();
    // The body is given back; the box stays where the body was and drives on from there.
    void MakeKinematic();
    // Health gone: the mode hears of it, and the car explodes.
    void Wreck();

    // QuadTreeItem
    void OnAdded(ObjectQuadTree& tree) override;
    void OnRemoved(ObjectQuadTree& tree) override;
    void GetBounds(BoundingBox& out) const override;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    bool Cull(ObjectQuadTree& tree, const Camera& camera) override;
    void Draw(ObjectQuadTree& tree, const Camera& camera) override;
    // PhysicsClient
    void OnAdded(PhysicsWorld& world) override;
    void OnRemoved(PhysicsWorld& world) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;
    // Collision and damage: these run inside the physics step and only record; the knock and
    // the wreck happen after the step.
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) override;
    JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) override;
    void OnDamaged(float amount, int32_t kind, const void* source) override;
    void OnDestroyed(int32_t kind) override;
    DamageReceiver* GetDamageReceiver() override { return this; }

    TrafficCarType& type;
    TrafficFleet& fleet;
    RigidBody* body = nullptr;
    std::unique_ptr<BoxGeom> box;
    Vector3 direction{0.0f, 0.0f, -1.0f};
    float speed = 0.0f;
    AudioVoice* engineSound = nullptr;
    AudioVoice* fireSound = nullptr;
    GeomOwner* lastInstigator = nullptr;
    float recoverTime = 0.0f, settleTime = 0.0f, wreckTime = 0.0f;
    float fireDebt = 0.0f, smokeDebt = 0.0f, contactTime = 0.0f, restTime = 0.0f, wheelAngle = 0.0f;
    Vector3 knockPoint;
    uint32_t seed = 0;
    RoadNode* currentNode = nullptr;
    RoadNode* nextNode = nullptr;
    int32_t state = Idle;
    bool visible = false;
    // Particles given off since the car came out of the pool (fire, smoke).
    uint32_t fireEmitted = 0, smokeEmitted = 0;

private:
    void Drive(float dt);
    void Effects(float dt);
    void Move(float dt);
    void PlaceBox(const Vector3& centre, const Quaternion& orientation);

    // Recorded by the hooks during a step, acted on after it.
    bool knockPending_ = false;
    bool knockFromDamage_ = false;
    bool wreckPending_ = false;
    bool touchedStatic_ = false;
    bool touchedOther_ = false;
    float lastStep_ = 0.0f;
};
