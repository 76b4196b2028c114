// Traffic car kinds read from files the car writer makes: the two layouts, the last wheel pair,
// z turned round, the box from the first chassis turned half round, and the files that are
// refused or only logged.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "game/traffic/TrafficCarType.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

class TrafficCarTypeTest : public ::testing::Test {
protected:
    testing_support::TempWorkDir dir;
    EngineThread engine;
    testing_support::LogCapture log{3};

    // A kind whose first chassis has exactly these collision corners (x -5..9, y 2..10,
    // z -20..16 as modelled) and a wheel of radius 3.5.
    void WriteKind(const std::string& name, const tools::VqcCar& file) {
        tools::TrafficCarFolder folder;
        folder.name = name;
        ASSERT_TRUE(tools::WriteTrafficCar(".", folder));
        ASSERT_TRUE(tools::WriteVqc(("Vehicles/Traffic/" + name + ".VQC").c_str(), file));
        tools::ZkmModel chassis = tools::CarChassisModel("Traffic.ZKT", Vector3(7, 4, 18), 0.0f);
        // One box of collision corners in place of the body's two: the first box's triangles.
        chassis.nodes[0].collisionPositions.clear();
        chassis.nodes[0].collisionIndices.resize(chassis.nodes[0].collisionIndices.size() / 2);
        for (float x : {-5.0f, 9.0f})
            for (float y : {2.0f, 10.0f})
                for (float z : {-20.0f, 16.0f}) chassis.nodes[0].collisionPositions.push_back(Vector3(x, y, z));
        WriteModel("Vehicles/Traffic/" + name + "/Chassis1.ZKM", chassis);
    }
};

tools::VqcCar File(uint32_t version) {
    tools::VqcCar car = tools::TaxiCar("Sedan");
    car.version = version;
    car.discarded = {"first", "second", "third"};
    car.frontWheels = {tools::WheelPair(6, 1, -10), tools::WheelPair(7, 3.5f, -12)};
    car.backWheels = {tools::WheelPair(7, 3.5f, 13)};
    car.halos[0] = {{{5, 6, -20}, {1, -2, 127}}, {{-5, 6, -20}, {-128, 0, 3}}};
    car.halos[1] = {{{5, 6, 16}, {4, 5, 6}}};
    return car;
}

}  // namespace

TEST_F(TrafficCarTypeTest, BothLayoutsKeepTheLastWheelPairTurnedAndTheLightsOfTheCurrentOne) {
    struct Case {
        const char* name;
        uint32_t version;
        size_t frontLights, rearLights;
        bool logged;
    } cases[] = {
        {"Current", 0x30, 2, 1, false},
        {"Older", 0x20, 0, 0, false},  // the string list, and no light lists
        {"Unknown", 0x44, 2, 1, true}, // logged, read as the current layout
    };
    for (const Case& c : cases) WriteKind(c.name, File(c.version));
    const std::vector<std::unique_ptr<TrafficCarType>> types = LoadTrafficCarTypes();
    ASSERT_EQ(types.size(), std::size(cases));
    for (const auto& t : types) {
        SCOPED_TRACE(t->name.c_str());
        const Case* c = nullptr;
        for (const Case& k : cases)
            if (t->name == k.name) c = &k;
        ASSERT_NE(c, nullptr);
        EXPECT_EQ(log.Contains(std::string("Car ") + c->name + " is invalid"), c->logged);
        EXPECT_FLOAT_EQ(t->mass, 100.0f) << "every traffic car weighs the same";
        // The second front pair, z turned round; left has x > 0.
        EXPECT_EQ(t->wheels[0], Vector3(7, 3.5f, 12));
        EXPECT_EQ(t->wheels[1], Vector3(-7, 3.5f, 12));
        EXPECT_EQ(t->wheels[2], Vector3(7, 3.5f, -13));
        EXPECT_EQ(t->frontAxle, Vector3(0, 3.5f, 12));
        EXPECT_EQ(t->rearAxle, Vector3(0, 3.5f, -13));
        EXPECT_EQ(t->wheelCentre, Vector3(0, 3.5f, -0.5f));
        ASSERT_EQ(t->frontLights.size(), c->frontLights);
        ASSERT_EQ(t->rearLights.size(), c->rearLights);
        if (c->frontLights) {
            EXPECT_EQ(t->frontLights[1].position, Vector3(-5, 6, -20));
            EXPECT_FLOAT_EQ(t->frontLights[0].values[1], -2.0f);
            EXPECT_FLOAT_EQ(t->frontLights[0].values[2], 127.0f);
            EXPECT_FLOAT_EQ(t->frontLights[1].values[0], -128.0f);
            EXPECT_FLOAT_EQ(t->frontLights[1].alpha, 1.0f);
            EXPECT_FLOAT_EQ(t->rearLights[0].values[2], 6.0f);
        }
        // The box of the first chassis turned half round (x -9..5, z -16..20), from the ground
        // under the wheels (3.5 - 3.5) to its top.
        EXPECT_FLOAT_EQ(t->wheelRadius[3], 3.5f);
        EXPECT_EQ(t->boxCentre, Vector3(-2, 5, -2));
        EXPECT_EQ(t->boxSize, Vector3(14, 10, 36));
        EXPECT_EQ(t->chassisMeshes.size(), 2u);
        EXPECT_NE(t->wheelMesh, nullptr);
        EXPECT_NE(t->pieceMesh, nullptr);
        EXPECT_TRUE(t->Usable());
    }
}

TEST_F(TrafficCarTypeTest, RefusedFilesLeaveAKindWithoutMeshesAndAreLogged) {
    const std::vector<uint8_t> good = tools::VqcBytes(File(0x30));
    struct Case {
        const char* name;
        std::string bytes;
    } cases[] = {
        {"Magic", "VQX" + std::string(good.begin() + 3, good.end())},
        {"Tiny", std::string(good.begin(), good.begin() + 9)},
        {"Empty", ""},
    };
    for (const Case& c : cases) {
        WriteKind(c.name, File(0x30));
        dir.WriteBytes(std::string("Vehicles/Traffic/") + c.name + ".VQC", c.bytes);
    }
    const std::vector<std::unique_ptr<TrafficCarType>> types = LoadTrafficCarTypes();
    ASSERT_EQ(types.size(), std::size(cases));
    for (const auto& t : types) {
        SCOPED_TRACE(t->name.c_str());
        EXPECT_TRUE(log.Contains(std::string("Car ") + t->name.c_str() + " is invalid"));
        EXPECT_TRUE(t->chassisMeshes.empty());
        EXPECT_FALSE(t->Usable()) << "no car of it is built";
        EXPECT_EQ(t->boxSize, Vector3());
        EXPECT_EQ(t->wheels[0], Vector3());
    }
}

TEST_F(TrafficCarTypeTest, AFileCutShortKeepsWhatCameBeforeAndCountsNeverOutrunTheBytes) {
    const std::vector<uint8_t> good = tools::VqcBytes(File(0x30));
    // Cut inside the front light list, and a light count far beyond the file's end.
    WriteKind("Cut", File(0x30));
    dir.WriteBytes("Vehicles/Traffic/Cut.VQC", std::string(good.begin(), good.end() - 40));
    tools::VqcCar huge = File(0x30);
    huge.halos[0].clear();
    huge.halos[1].clear();
    std::vector<uint8_t> bytes = tools::VqcBytes(huge);
    // The front light count is the second to last u32 (both lists empty, then list C's count).
    const size_t countAt = bytes.size() - 12;
    bytes[countAt] = 0xFF;
    bytes[countAt + 1] = 0xFF;
    bytes[countAt + 2] = 0xFF;
    bytes[countAt + 3] = 0x7F;
    WriteKind("Huge", File(0x30));
    dir.WriteBytes("Vehicles/Traffic/Huge.VQC", std::string(bytes.begin(), bytes.end()));

    const std::vector<std::unique_ptr<TrafficCarType>> types = LoadTrafficCarTypes();
    ASSERT_EQ(types.size(), 2u);
    for (const auto& t : types) {
        SCOPED_TRACE(t->name.c_str());
        EXPECT_TRUE(log.Contains(std::string("Car ") + t->name.c_str() + " is invalid"));
        EXPECT_EQ(t->wheels[0], Vector3(7, 3.5f, 12)) << "the wheels came before the cut";
        EXPECT_TRUE(t->frontLights.empty());
        EXPECT_TRUE(t->Usable()) << "the meshes are there";
    }
}

TEST_F(TrafficCarTypeTest, AKindWithoutAChassisIsLoggedAndNotUsable) {
    WriteKind("Bare", File(0x30));
    for (int i = 1; i <= 2; ++i) std::filesystem::remove("Vehicles/Traffic/Bare/Chassis" + std::to_string(i) + ".ZKM");
    const std::vector<std::unique_ptr<TrafficCarType>> types = LoadTrafficCarTypes();
    ASSERT_EQ(types.size(), 1u);
    EXPECT_FALSE(types[0]->Usable());
    EXPECT_TRUE(log.Contains("Bare has no Chassis*.ZKM"));
    EXPECT_FLOAT_EQ(types[0]->wheelRadius[0], 3.5f);
}
