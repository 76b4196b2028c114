#pragma once
// What happens when a car falls onto the kill plane below the city: the local player's car is
// respawned where the mode allows it, otherwise the camera watches the fall and the mission
// fails. Other cars trigger nothing.
//
// The plane is met inside the collision of a physics step, where nothing may move a body: the
// handler notes the car there and acts after the step (it is a client of the physics world, so
// UpdateBounds runs once each step is integrated). The mode hears of each fall once.
#include "game/world/KillPlaneHandler.h"
#include "game/world/PhysicsWorld.h"

struct VehicleContext;
class Vehicle;

class VehicleKillPlane : public KillPlaneHandler, public PhysicsClient {
public:
    // A car back this far above the plane has left it: its next fall counts again.
    static constexpr float LeftPlaneHeight = 50.0f;

    explicit VehicleKillPlane(VehicleContext& context) : context_(context) {}
    // Inside the step: only notes that the local player's car touches the plane.
    void OnKillPlane(GeomOwner& owner) override;
    // After the step: respawns the noted car (respawning modes: it reports its own death while
    // alive) or resets its controls, turns the chase camera to watch and fails the mission; the
    // chase view comes back when the car does.
    void UpdateBounds(PhysicsWorld& world, float dt) override;

private:
    Vehicle* PlayerCar() const;

    VehicleContext& context_;
    // Noted in this step's collision; compared, never followed, until the player's car is known.
    const Vehicle* touched_ = nullptr;
    // The car whose fall has been acted on, until it is away from the plane again.
    const Vehicle* fallen_ = nullptr;
    // This fall turned the chase camera to watch it (the chase view comes back with the car).
    bool watching_ = false;
};
