#include "game/traffic/TrafficManager.h"

#include "engine/core/Debugger.h"
#include "engine/core/Memory.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"

TrafficManager::TrafficManager(World& world, VehicleContext& vehicles) : world_(world), vehicles_(vehicles) {
    LogMemoryReport(SharedString("TRAFFIC 1"));
    LogMemoryReport(SharedString("TRAFFIC 2"));
    LogMemoryReport(SharedString("TRAFFIC 3"));
}

TrafficManager::~TrafficManager() { Reset(); }

void TrafficManager::PlaceParkedCars() {
    const GameSession& session = world_.session;
    for (const PlacementRecord& record : world_.placements.parkedCars()) {
        if (record.mission != session.mission || record.episode != session.episode) continue;
        const CarDefinition* definition = CarCatalogue::Instance().FindByName(record.name);
        if (!definition) {
            Debugger::Instance().Log(0, "CAR %s NOT FOUND!!", record.name.c_str());
            continue;
        }
        std::unique_ptr<Vehicle> car = Vehicle::Create(vehicles_, definition);
        if (!car) continue;
        Vehicle* placed = car.get();
        owned_.push_back(std::move(car));
        placedVehicles.push_back(placed);
        world_.physics.AddObject(placed);
        world_.Add(placed);
        placed->Respawn(false);
        placed->SetOrientation(record.orientation);
        placed->SetPosition(record.position + Vector3(0.0f, kPlacedLift, 0.0f));
    }
    ready = 1;
}

void TrafficManager::Reset() {
    for (Vehicle* car : placedVehicles) {
        world_.Remove(car);
        if (car->InPhysics()) world_.physics.RemoveObject(car);
    }
    placedVehicles.clear();
    owned_.clear();
}

void TrafficManager::Draw(World&, const Camera&) {}
