#pragma once
// The people who stand at the places the world file marks for them and act on their own instead
// of walking the pavements: the gunman shoots at players' cars in sight, the rocket thrower
// throws rockets at human players' cars, and the show pedestrian performs.
#include <memory>

#include "game/traffic/HailingPedestrian.h"
#include "game/traffic/Pedestrian.h"

class Rifle;
class Vehicle;

class Gunman : public Pedestrian {
public:
    static constexpr int32_t Aiming = 8;
    static constexpr float kTargetRadiusSquared = 500.0f * 500.0f;

    Gunman(PedestrianType& type, PedestrianSite& site);
    ~Gunman() override;

    void OnAdded(ObjectQuadTree& tree) override;
    using Pedestrian::OnAdded;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    void OnDestroyed(int32_t kind) override;

    // The nearest living player's car within reach that the sight ray reaches; null: none.
    Vehicle* FindTarget(Vector3& direction);

    std::unique_ptr<Rifle> rifle;  // null without a vehicle context
    float aimClock = 0.0f;
    float fireRate = 1.0f;
    Vector3 muzzle;
    Quaternion aim;
    bool firing = false;

private:
    void StandIdle();
};

class RocketThrower : public Pedestrian {
public:
    static constexpr int32_t Aiming = 8;
    static constexpr int32_t Throwing = 9;
    static constexpr float kTargetRadiusSquared = 1000.0f * 1000.0f;

    RocketThrower(PedestrianType& type, PedestrianSite& site);

    void OnAdded(ObjectQuadTree& tree) override;
    using Pedestrian::OnAdded;
    void Update(ObjectQuadTree& tree, const Camera* camera, float dt) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;

    float throwClock = 0.0f;
    bool thrown = false;
    Vehicle* target = nullptr;
};

class ShowPedestrian : public HailingPedestrian {
public:
    ShowPedestrian(PedestrianType& type, PedestrianSite& site);

    void OnAdded(ObjectQuadTree& tree) override;
    using HailingPedestrian::OnAdded;
};

// The start of a sight line from a standing person: head height above the feet.
Vector3 SightStart(const Pedestrian& p);
