#pragma once
// The car tests' fixture: a temporary directory holding a small car written through the
// writers, a world with flat ground at y = 0 (its physics space, quadtree and the static
// collision category), a vehicle context with settable rules and the chase camera, and frames
// of the world's update at 75 Hz.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/core/Engine.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TestSupport.h"
#include "tests/support/VehicleDoubles.h"
#include "tools/writers/CarWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace vehicle_test {

constexpr float Step = 1.0f / 75.0f;
inline const Vector3 HalfBody{9.0f, 3.5f, 22.0f};
constexpr float WheelRadius = 3.5f;

// The demo taxi's handling.
inline tools::VqcCar Taxi() {
    tools::VqcCar car = tools::TaxiCar("Test taxi");
    car.doorPoint1 = Vector3(13, 0, 0);
    car.halos[0] = {{{6, 5, -22.5f}, {0, 0, 0}}, {{-6, 5, -22.5f}, {0, 0, 0}}};
    car.halos[1] = {{{6, 5, 22.5f}, {0, 0, 0}}};
    car.halos[2] = {{{-4, 5, 22.5f}, {0, 0, 0}}};
    return car;
}

// The chase record of view 0 and 1: behind the car, a little above, looking along it.
inline CarCamera ChaseRecord() {
    CarCamera c;
    c.position = Vector3(0, 12, 0);
    c.rotation = Quaternion(Vector3(0, 1, 0), Pi);
    c.rotation.RotateX(-0.2f);
    c.distance = 60.0f;
    c.lerp = 1.0f;
    return c;
}

inline void WriteModel(const std::string& path, const tools::ZkmModel& model) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(tools::WriteZkm(path.c_str(), model));
}

// "Vehicles\<name>.VQC", `stages` chassis models, both wheels, `doors` door frames and ten
// camera records (every one the chase record).
inline void WriteCar(const std::string& name, const tools::VqcCar& car, int stages = 1, int doors = 0) {
    std::filesystem::create_directories("Vehicles/" + name);
    ASSERT_TRUE(tools::WriteVqc(("Vehicles/" + name + ".VQC").c_str(), car));
    for (int s = 0; s < stages; ++s)
        WriteModel("Vehicles/" + name + "/Chassis" + std::to_string(s) + ".ZKM",
                   tools::CarChassisModel("Body.ZKT", HalfBody, float(s) * 0.5f));
    const tools::ZkmModel wheel = tools::WheelModel("Wheel.ZKT", 12, WheelRadius, 1.5f);
    WriteModel("Vehicles/" + name + "/FrontWheel.ZKM", wheel);
    WriteModel("Vehicles/" + name + "/BackWheel.ZKM", wheel);
    for (int d = 0; d < doors; ++d)
        WriteModel("Vehicles/" + name + "/Door" + std::to_string(d) + ".ZKM",
                   tools::CarDoorModel("Body.ZKT", Vector3(9, 1, -2), 11.0f, 8.0f, float(d) * 0.3f));
    for (int n = 0; n < 10; ++n)
        ASSERT_TRUE(tools::WriteCam(("Vehicles/" + name + "/" + std::to_string(n) + ".CAM").c_str(), ChaseRecord()));
}

// The engine's main thread is this one and the factories are empty around each test.
struct EngineThread {
    EngineThread() {
        ZKEngine& e = ZKEngine::Instance();
        e.mainThread = Thread::Current();
        Clear();
    }
    ~EngineThread() { Clear(); }
    static void Clear() {
        CarCatalogue::Instance().ClearForTests();
        MeshFactory::Instance().ClearForTests();
        TextureFactory::Instance().ClearForTests();
    }
};

// Flat ground and a context for cars; the engine's services from doubles (no devices until a
// test puts them in).
struct FlatWorld {
    FlatWorld() : ground(0.0f, 1.0f, 0.0f, 0.0f), context(world, session) {
        world.physics.CreateSpace(Vector3(), Vector3(4000, 1000, 4000), 4, SpaceKind::Hash);
        world.Create(Vector3(), Vector3(4000, 1000, 4000), 5);
        ground.SetCategoryBits(1);
        ground.SetCollideBits(0);
        ground.SetSurface(&world.staticSurface);
        ground.AddToWorld(world.physics);
        context.rules = &rules;
        context.chaseCamera = &camera;
        session.lightDetail = 0;
        session.shadowDetail = 0;
    }
    ~FlatWorld() {
        context.ownedVehicles.clear();
        ground.RemoveFromWorld(world.physics);
    }
    // A car of the definition at rest on the ground at (x, z), facing along -z, in the world
    // and the tree; owned by the context.
    Vehicle* AddCar(const CarDefinition* definition, float x = 0.0f, float z = 0.0f) {
        std::unique_ptr<Vehicle> car = Vehicle::Create(context, definition);
        if (!car) return nullptr;
        Vehicle* v = car.get();
        world.physics.AddObject(v);
        v->SetOrientation(Quaternion());
        v->SetPosition(Vector3(x, WheelRadius - 1.4f, z));
        world.Add(v);
        context.vehicles.push_back(v);
        context.ownedVehicles.push_back(std::move(car));
        return v;
    }
    void Frame(float dt = Step) { world.Update(&camera, dt); }
    void Frames(int n, float dt = Step) {
        for (int i = 0; i < n; ++i) Frame(dt);
    }

    testing_support::EngineDoubles engine;
    GameSession session;
    World world{session, engine.services};
    PlaneGeom ground;
    testing_support::TestDrivingRules rules;
    ChaseCamera camera{world.engine, &world.physics};
    VehicleContext context;
};

class VehicleTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories("Vehicles");
        WriteCar("Taxi", Taxi(), 3, 5);
        CarDefinition::LoadAll();
        taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
        ASSERT_NE(taxi, nullptr);
        ASSERT_TRUE(taxi->IsValid());
    }

    testing_support::TempWorkDir dir;
    EngineThread engine;
    testing_support::LogCapture log{3};
    FlatWorld flat;
    const CarDefinition* taxi = nullptr;
};

} // namespace vehicle_test
