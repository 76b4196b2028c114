#pragma once
// The city's traffic as far as it goes today: the manager places the current mission's parked
// cars when the game mode starts and takes them away again on a game reset. One manager per
// game session, made by the set-up for every kind of game that has traffic; the world draws it
// through `World::traffic`.
#include <cstdint>
#include <memory>
#include <vector>

#include "game/world/WorldPopulation.h"

class Camera;
class Vehicle;
class World;
struct VehicleContext;

class TrafficManager : public WorldPopulation {
public:
    // Placed cars stand this far above their record, so they settle onto their wheels.
    static constexpr float kPlacedLift = 5.0f;

    TrafficManager(World& world, VehicleContext& vehicles);
    ~TrafficManager() override;
    TrafficManager(const TrafficManager&) = delete;
    TrafficManager& operator=(const TrafficManager&) = delete;

    // Makes a car for every parked-car record of the level whose mission and episode are the
    // game's: in the physics world and the world's tree, respawned, then posed at the record
    // (raised by kPlacedLift). A name the car catalogue does not know is logged and skipped.
    // Sets `ready`.
    virtual void PlaceParkedCars();
    // Every placed car leaves the world and is deleted.
    virtual void Reset();
    void Draw(World& world, const Camera& camera) override;

    // The cars made by PlaceParkedCars, in record order.
    std::vector<Vehicle*> placedVehicles;
    // False until the parked cars have been placed.
    uint8_t ready = 0;

private:
    World& world_;
    VehicleContext& vehicles_;
    std::vector<std::unique_ptr<Vehicle>> owned_;
};
