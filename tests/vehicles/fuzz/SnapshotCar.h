#pragma once
// A taxi on flat ground for the car-record fuzz target and its seeds: the car's files are written
// with the project's writers into a scratch directory and loaded from there (the working
// directory is given back afterwards: the fuzzer writes its findings relative to it), and the car
// stands in a world's physics. Headless: no devices.
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>

#include "engine/render/MeshFactory.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tools/writers/CarWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace snapshot_fuzz {

inline bool WriteTaxi() {
    namespace fs = std::filesystem;
    fs::create_directories("Vehicles/Taxi");
    if (!tools::WriteVqc("Vehicles/Taxi.VQC", tools::TaxiCar("Fuzz taxi"))) return false;
    const Vector3 half(9.0f, 3.5f, 22.0f);
    if (!tools::WriteZkm("Vehicles/Taxi/Chassis0.ZKM", tools::CarChassisModel("Body.ZKT", half, 0.0f))) return false;
    const tools::ZkmModel wheel = tools::WheelModel("Wheel.ZKT", 12, 3.5f, 1.5f);
    return tools::WriteZkm("Vehicles/Taxi/FrontWheel.ZKM", wheel) && tools::WriteZkm("Vehicles/Taxi/BackWheel.ZKM", wheel);
}

struct SnapshotCar {
    SnapshotCar() : ground(0.0f, 1.0f, 0.0f, 0.0f), context(world, session) {
        const std::filesystem::path home = std::filesystem::current_path();
        std::string pattern = (std::filesystem::temp_directory_path() / "metrofare-snapshot-XXXXXX").string();
        if (!mkdtemp(pattern.data()) || chdir(pattern.c_str()) != 0 || !WriteTaxi()) std::abort();
        dir = pattern;
        CarDefinition::LoadAll();
        world.physics.CreateSpace(Vector3(), Vector3(4000, 1000, 4000), 4, SpaceKind::Hash);
        ground.SetCategoryBits(1);
        ground.SetCollideBits(0);
        ground.SetSurface(&world.staticSurface);
        ground.AddToWorld(world.physics);
        car = Vehicle::Create(context, CarCatalogue::Instance().FindByName(SharedString("Taxi")));
        if (!car) std::abort();
        world.physics.AddObject(car.get());
        car->SetPosition(Vector3(0.0f, 2.1f, 0.0f));
        std::filesystem::current_path(home);
    }
    ~SnapshotCar() {
        world.physics.RemoveObject(car.get());
        car.reset();
        ground.RemoveFromWorld(world.physics);
        CarCatalogue::Instance().ClearForTests();
        MeshFactory::Instance().ClearForTests();
        std::error_code ec;
        std::filesystem::remove_all(dir, ec);
    }

    std::string dir;
    GameSession session;
    World world{session, testing_support::NoEngine()};
    PlaneGeom ground;
    VehicleContext context;
    std::unique_ptr<Vehicle> car;
};

} // namespace snapshot_fuzz
