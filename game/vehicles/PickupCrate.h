#pragma once
// The pickups the world file places: a floating, turning object that a car drives through to get
// a weapon, a power-up, a repair or an explosion. The crate is a sensing sphere in the physics
// world around one of the world's placed objects; after a pickup it hides for 20 s (no contacts,
// not drawn, still bobbing) and comes back.
//
// The touch is noted inside the collision (the first car of the step; the crate is then taken
// for the rest of the step) and the pickup itself is made after the step.
#include <cstdint>

#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/PhysicsWorld.h"
#include "game/world/WorldRecordFactories.h"

class Vehicle;
class WorldObject;
struct VehicleContext;

class PickupCrate : public SphereGeom, public CollisionListener, public PhysicsClient, public WorldFeature {
public:
    // The world file's kind codes (6 and above 11 are drawn at random by the loader).
    enum Kind : int32_t {
        Boost = 0,
        Repair = 1,
        WeaponCannon = 2,
        Jump = 3,
        Slow = 4,
        Rock = 5,
        WeaponMissile = 7,
        WeaponRocket = 8,
        WeaponChainGun = 9,
        WeaponFlamer = 10,
        Explosive = 11,
    };
    // Weapon crates' kinds.
    enum WeaponCrate : int32_t { CannonCrate = 0, MissileCrate, RocketCrate, ChainGunCrate, FlamerCrate };

    static constexpr float HideTime = 20.0f;
    static constexpr uint32_t Category = 8;
    static constexpr uint32_t Collide = 0x80;

    PickupCrate(VehicleContext& context, int32_t kind, WorldObject* object);
    ~PickupCrate() override;

    // Hands the crate's gift to the car (null when the touching geom belongs to no car: only the
    // explosive crate still goes off). A pickup hides the crate.
    void Give(Vehicle* car);
    bool Hidden() const { return hiddenTimer < 0.0f; }

    // Physics client: the sphere joins and leaves the collision space; after each step the
    // crate gives what a car touched, hides or shows, turns and bobs.
    void OnAdded(PhysicsWorld& world) override;
    void OnRemoved(PhysicsWorld& world) override;
    void UpdateBounds(PhysicsWorld& world, float dt) override;
    void AfterStep(float dt);

    // A hidden (or already taken) crate touches nothing; a touch notes the car and passes no
    // force on.
    bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other) override;
    JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) override;

    VehicleContext& context;
    int32_t kind;
    Vector3 basePosition;
    float hiddenTimer = 0.0f;
    uint8_t spins = 1;
    WorldObject* object;
    int32_t weaponKind = -1;

private:
    // Whether the crate would give anything to this car (the touch is noted only then).
    bool Takes(Vehicle* car) const;

    PhysicsWorld* physics_ = nullptr;
    float angle_ = 0.0f;
    Vehicle* touchedBy_ = nullptr;
    bool touched_ = false;
};

// Makes the world's crates from now on: the game's context gives them their gifts.
void RegisterCrateFactory(VehicleContext& context);
