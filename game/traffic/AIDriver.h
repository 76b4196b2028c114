#pragma once
// A computer driver for a full car: it drives through the car's controls record like a player,
// along a route of road nodes that it grows at random from the links of the last node, aiming
// at a look-ahead point. Three sensors feel what lies ahead (a sphere round the car and two rays
// either side of its nose); their collision hooks only record, and the driver acts on the
// records in its update, which the car runs after each physics step. It can chase a target car
// or head for a point, fires its weapon at its target, backs out when stuck and is put back on
// the road when backing out does not help.
//
// Modes: 0 follow the road, 1 chase (target car or point), 2 wander, avoiding the nodes it
// passed last. A route never holds a null node: when it cannot grow the driver keeps what it has
// and brakes at its end.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/world/CollisionListener.h"
#include "game/world/Drawable.h"
#include "game/world/PhysicsGeom.h"

class CarDefinition;
class CarSpecial;
class RoadGraph;
class World;
struct RoadNode;
struct VehicleContext;

// What one sensor felt: for the sphere the geom it touched, for a ray the ray itself.
struct SensorContact {
    PhysicsGeom* geometry = nullptr;
    Vector3 point;
    float contactTime = 0.0f; // grows while touching, shrinks otherwise (never below 0)
    float age = 0.0f;
    uint8_t touching = 0;
    uint8_t fromRay = 0;
};

class AIDriver : public VehicleDriver, public CollisionListener, public Drawable {
public:
    enum Mode : int32_t { FollowRoad = 0, Chase = 1, Wander = 2 };

    static constexpr size_t kVisitedKept = 50;
    // The route reaches at least this far past the point the car has come to.
    static constexpr float kRouteAhead = 1000.0f;
    static constexpr size_t kMaxRouteNodes = 1024;
    // Closer than this (squared) to the road, the car aims at the next node itself.
    static constexpr float kOnRoadSquared = 2500.0f;
    // A car waiting at the end of its route stops within this much more than its speed.
    static constexpr float kStopMargin = 50.0f;
    static constexpr float kChaseRange = 1000.0f;
    static constexpr float kStuckSpeed = 50.0f;
    static constexpr float kFreeSpeed = 100.0f;
    static constexpr float kStuckSeconds = 2.0f;
    static constexpr int32_t kShiftsBeforePutBack = 4;
    static constexpr float kOffRoadHeight = 100.0f;
    static constexpr float kWeaponRange = 1500.0f;
    // Sensor records kept at most; a full list takes no more until some age out.
    static constexpr size_t kMaxContacts = 64;
    static constexpr uint32_t kSensorCategory = 8;
    static constexpr uint32_t kSphereCollide = 4;
    static constexpr uint32_t kRayCollide = 3;

    // A driver for the context's world, its sensors in the world's physics space and its
    // drawable in the world's list. Set `vehicle` (and the car's `controller`) to drive a car.
    explicit AIDriver(VehicleContext& context);
    ~AIDriver() override;
    AIDriver(const AIDriver&) = delete;
    AIDriver& operator=(const AIDriver&) = delete;

    // The car's step after each physics sub-step runs the driver.
    void DriveStep(PhysicsWorld& world, float dt) override;
    virtual void Update(float dt);
    // Respawns the car onto the road near `position` (the graph's start node with routeFlag,
    // else the driver graph's nearest free node), facing its first route node, and gives it a
    // private copy of its definition with the AI handling template's handling.
    virtual void PlaceAt(const Vector3& position, const Matrix4& matrix, bool routeFlag);

    // Grows the route from its last node until it reaches travelled + kRouteAhead; stops at a
    // node whose links are all taken or that has none.
    void ExtendRoute(float& routeLength, const float& travelled, int& lastIndex);
    // Back to the driver graph: the free node nearest the car and a free neighbour of it.
    void ReRoute();
    // -1..1 for a direction seen from a car of that orientation, positive towards the car's
    // +x side: a point behind gives full lock towards its side (1 on the +x side and straight
    // behind, -1 on the other), a point ahead half its side component; 0 straight ahead.
    static float SteerValue(const Vector3& direction, const Quaternion& orientation);

    // Sensor hooks: they only record.
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                       float* depth) override;
    void Draw(const Camera& /*camera*/) override {}

    VehicleContext& context;
    World& world;

    Vector3 placedPosition;
    float pedal = 0.0f;
    float stuckTime = 0.0f;
    bool chasing = false;
    uint32_t seed = 0;
    float shotTimer = 10.0f;
    std::vector<RoadNode*> visited;
    std::vector<SensorContact> contacts;
    SphereGeom proximity{1.0f};
    RayGeom leftRay{1.0f};
    RayGeom rightRay{1.0f};
    float topSpeed = 560000.625f;
    bool disabled = false;
    float phase = 0.0f;
    bool reached = false;
    bool routeFlag = false;
    int32_t mode = FollowRoad;
    RoadGraph* graph = nullptr;
    RoadNode* currentNode = nullptr;
    std::vector<RoadNode*> route; // next node first
    Vehicle* target = nullptr;
    Vector3 targetPoint;
    int32_t shifts = 0;

protected:
    // Full brake and nothing else; the sensor records go.
    void Halt();
    // The car's throttle, brake and steering back to 0 (directly: the setters skip zeros).
    void ClearInputs();
    // The car's first special, when it is one that can be started and stopped.
    CarSpecial* FirstSpecial() const;

private:
    uint32_t NextRandom();
    void PlaceSensors(const Vector3& position, const Vector3& forward, float speed);
    // Appends one node, keeping the route's length; false for null.
    bool Append(RoadNode* node);
    // The first route node leaves the route; the route's length follows.
    void ConsumeFirst();
    // Puts the car back on the road at the first route node, facing the next.
    void PutBack();
    // The steering that keeps the car off what the sensors felt: -1, 1, or 0 for nothing.
    float AvoidSteer(const Vector3& position, const Vector3& right, float dt);
    void FireWeapon(const Vector3& position, const Vector3& forward, float speed, float dt);
    void StopGuns();

    std::unique_ptr<CarDefinition> ownDefinition_;
    const CarDefinition* originalDefinition_ = nullptr;
    // The free node nearest the placed position, for `reached`.
    RoadNode* homeNode_ = nullptr;
    float routeLength_ = 0.0f; // from currentNode along the route to its last node
    int32_t lastIndex_ = -1;
    bool inSpace_ = false;
};
