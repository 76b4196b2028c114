#pragma once
// What a car keeps as its driver: the local player's controller or an AI driver. The local
// player's driver also holds the game's chase camera, which is how a car knows it is the
// player's.
class ChaseCamera;
class PhysicsWorld;
class Vehicle;

class VehicleDriver {
public:
    virtual ~VehicleDriver() = default;
    // Every physics sub-step, from the car's own step.
    virtual void DriveStep(PhysicsWorld& /*world*/, float /*dt*/) {}
    // The car took a hard hit.
    virtual void OnHit() {}
    // The car was wrecked.
    virtual void OnWrecked() {}

    Vehicle* vehicle = nullptr;
    // The game's chase camera for the local player's driver, else null.
    ChaseCamera* camera = nullptr;
};
