#pragma once
// The car data tests: a temporary working directory with a "Vehicles" folder, the engine's main
// thread set (models load without a device, as inert meshes that keep their points and
// markers), the catalogue and factories emptied around each test, and a small car written
// through the writers.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/Engine.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/CarWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace car_test {

inline const Vector3 kHalfBody{9.0f, 3.5f, 22.0f};
constexpr float kWheelRadius = 3.5f;

// A current-version car with one wheel pair per axle, two headlights and every handling value
// distinct.
inline tools::VqcCar SmallCar(const std::string& display = "Test car") {
    tools::VqcCar car;
    car.displayName = display;
    CarHandling& h = car.handling;
    h.forwardSpeedFactor = 1.5f;
    h.engineForce = 4000.0f;
    h.weightShiftFactor = 0.5f;
    h.forwardSteeringLock = 0.6f;
    h.reverseSteeringLock = 0.4f;
    h.steeringReferenceSpeed = 300.0f;
    h.brakeStrength = 3000.0f;
    h.handbrakeStrength = 2000.0f;
    h.gearCount = 4;
    h.steeringSpeedScale = 1.25f;
    h.reverseSpeedFactor = 0.35f;
    h.steeringExponent = 1.5f;
    h.spareA = 7.0f;
    h.minimumSteeringFactor = 0.3f;
    h.massValue = 1000.0f;
    h.spareB = -2.0f;
    car.doorPoint1 = Vector3(13, 0, 1);
    car.frontWheels = {tools::WheelPair(8.0f, 1.4f, -14.0f)};
    car.backWheels = {tools::WheelPair(8.0f, 1.4f, 14.0f)};
    car.halos[0] = {{{6, 4, -22}, {10, -20, 30}}, {{-6, 4, -22}, {-128, 127, 0}}};
    car.halos[1] = {{{6, 4, 22}, {0, 0, 0}}};
    return car;
}

inline void WriteModel(const std::string& path, const tools::ZkmModel& model) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    ASSERT_TRUE(tools::WriteZkm(path.c_str(), model));
}

// Vehicles/<name>.VQC and the models of its folder: `stages` chassis models and both wheels.
inline void WriteCar(const std::string& name, const tools::VqcCar& car, int stages = 1,
                     float wheelRadius = kWheelRadius) {
    std::filesystem::create_directories("Vehicles/" + name);
    ASSERT_TRUE(tools::WriteVqc(("Vehicles/" + name + ".VQC").c_str(), car));
    for (int s = 0; s < stages; ++s)
        WriteModel("Vehicles/" + name + "/Chassis" + std::to_string(s) + ".ZKM",
                   tools::CarChassisModel("Body.ZKT", kHalfBody, float(s) * 0.5f));
    const tools::ZkmModel wheel = tools::WheelModel("Wheel.ZKT", 8, wheelRadius, 1.5f);
    WriteModel("Vehicles/" + name + "/FrontWheel.ZKM", wheel);
    WriteModel("Vehicles/" + name + "/BackWheel.ZKM", wheel);
}

class CarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ZKEngine& e = ZKEngine::Instance();
        e.mainThread = Thread::Current();
        e.rendererReady = false;
        Clear();
        std::filesystem::create_directories("Vehicles");
    }
    void TearDown() override { Clear(); }
    static void Clear() {
        CarCatalogue::Instance().ClearForTests();
        MeshFactory::Instance().ClearForTests();
        TextureFactory::Instance().ClearForTests();
    }

    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
};

}  // namespace car_test
