// The demo city as metrofare-demo writes it, loaded headless, with a four-wheeled rig on it.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "tests/support/EngineDoubles.h"
#include "tests/world/WorldTestSupport.h"

using namespace world_testing;

namespace {

constexpr float H = 1.0f / 75.0f;
constexpr float WheelRadius = 4.0f;

// Chassis box and four sphere wheels on hinge-2 joints in the car's own space.
struct WheelRig {
    WheelRig(PhysicsWorld& world, const Vector3& at) : chassis(world) {
        car.SetCategoryBits(0x84);
        car.SetCollideBits(7);
        car.AddToWorld(world);
        chassisGeom.SetCategoryBits(0x84);
        chassisGeom.SetCollideBits(7);
        chassis.SetMass(1000.0f);
        chassis.SetBoxInertia(Vector3(8, 3, 18));
        chassis.SetGeom(&chassisGeom);
        chassis.SetPosition(at + Vector3(0, 12, 0));
        chassis.flags |= RigidBody::KeepHistory;
        car.Add(&chassisGeom);
        const Vector3 corners[4] = {{-9, 7, -12}, {9, 7, -12}, {-9, 7, 12}, {9, 7, 12}};
        for (int i = 0; i < 4; ++i) {
            wheelGeoms[i] = std::make_unique<SphereGeom>(WheelRadius);
            wheelGeoms[i]->SetCategoryBits(0);
            wheelGeoms[i]->SetCollideBits(1);
            wheels[i] = std::make_unique<RigidBody>(world);
            wheels[i]->SetMass(20.0f);
            wheels[i]->SetSphereInertia(WheelRadius);
            wheels[i]->SetGeom(wheelGeoms[i].get());
            wheels[i]->SetPosition(at + corners[i]);
            wheels[i]->flags |= RigidBody::KeepHistory;
            car.Add(wheelGeoms[i].get());
            joints[i] = std::make_unique<Hinge2Joint>(world);
            joints[i]->SetBodies(&chassis, wheels[i].get());
            joints[i]->Attach();
            joints[i]->SetAnchor(at + corners[i]);
            joints[i]->SetAxes(Vector3(0, 1, 0), Vector3(1, 0, 0));
            joints[i]->LockSteering();
            wheels[i]->Enable();
        }
        chassis.Enable();
    }
    ~WheelRig() {
        for (auto& j : joints) j.reset();
        for (auto& w : wheels) w->SetGeom(nullptr);
        chassis.SetGeom(nullptr);
    }
    void Drive(float speed) {
        for (auto& j : joints) j->SetWheelMotor(speed, 20000.0f);
    }
    PhysicsSpace car;
    BoxGeom chassisGeom{Vector3(8, 3, 18)};
    RigidBody chassis;
    std::unique_ptr<SphereGeom> wheelGeoms[4];
    std::unique_ptr<RigidBody> wheels[4];
    std::unique_ptr<Hinge2Joint> joints[4];
};

} // namespace

TEST(DemoCity, LoadsAndCarriesACarThatWakesACrateStack) {
    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    GameSession session;
    World city(session, testing_support::NoEngine());
    ASSERT_TRUE(city.LoadHeader());
    int textureCalls = 1;
    while (!city.LoadShadowTexture()) ++textureCalls;
    ASSERT_TRUE(city.LoadStaticGeometry());
    ASSERT_TRUE(city.LoadObjects());
    ASSERT_TRUE(city.LoadRoutes());
    ASSERT_TRUE(city.FinishLoading());
    ASSERT_FALSE(city.LoadFailed()) << ::testing::PrintToString(log.Lines());

    // The demo city as described.
    EXPECT_EQ(textureCalls, 14 + 2);
    EXPECT_EQ(city.staticGeometry->materials.size(), 13u);
    // The city's 80 and 140 fields round it, which are seen only: the world's box is the city's
    // and its wall's, 40 thick outwards.
    EXPECT_EQ(city.staticGeometry->groups.size(), 220u);
    EXPECT_NEAR(city.worldBox.halfExtents.x, 2040.0f, 1e-3);
    EXPECT_NEAR(city.worldBox.halfExtents.z, 2040.0f, 1e-3);
    EXPECT_GE(city.objects->ObjectCount(), 105);
    EXPECT_LE(city.objects->ObjectCount(), 115);
    EXPECT_EQ(city.graphs.traffic->Count(), 400);
    EXPECT_EQ(city.graphs.pedestrian->Count(), 128);
    EXPECT_EQ(city.graphs.path->Count(), 8);
    EXPECT_EQ(city.dropPoints.size(), 6u);
    EXPECT_EQ(city.records.lights.size(), 28u);
    EXPECT_EQ(city.records.trafficLights.size(), 2u);
    EXPECT_EQ(city.records.crates.size(), 6u);
    EXPECT_EQ(city.records.emitters.size(), 2u);
    // Three parked cars for the first mission and three for the free drive.
    ASSERT_EQ(city.placements.parkedCars().size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(city.placements.parkedCars()[i].mission, i < 3 ? 0 : 8);
    EXPECT_EQ(city.waterVolumes.size(), 1u);
    EXPECT_EQ(city.missionTable.At(0, 0)->cameras.size(), 4u);
    EXPECT_TRUE(city.skies[0].hasFlarePoint);
    EXPECT_FALSE(city.skies[3].hasFlarePoint);

    // The rig on the pavement strip along block 0's west edge drives 10 s: towards the first
    // crate stack at (-1821, -1640) until the stack wakes, then back.
    Camera camera = MakeCamera({-1821, 300, -1300});
    WheelRig rig(city.physics, {-1820, 2, -1540});
    rig.Drive(3.0f);
    auto stackWoken = [&] {
        int n = 0;
        for (int i = 0; i < 3; ++i) n += city.objects->Object(i).Body() != nullptr;
        return n;
    };
    auto frame = [&] {
        city.objects->BeginFrame(&camera);
        city.Update(&camera, H);
    };
    float lowest = 1e9f;
    bool reversed = false;
    for (int f = 0; f < 750; ++f) {
        frame();
        lowest = std::min(lowest, rig.chassis.GetPosition().y);
        if (!reversed && stackWoken() > 0) {
            rig.Drive(-10.0f);
            reversed = true;
        }
    }
    EXPECT_GT(lowest, 3.0f) << "the car stayed on its wheels on the ground";
    EXPECT_EQ(stackWoken(), 3);
    EXPECT_FALSE(log.Contains("Fixing body"));
    // Stopped: each crate comes to rest where it lies, or, knocked out of range, goes home once
    // the camera leaves its home too.
    rig.Drive(0.0f);
    for (int f = 0; f < 450; ++f) frame();
    for (int i = 0; i < 3; ++i) {
        const WorldObject& crate = city.objects->Object(i);
        EXPECT_TRUE(crate.far || (crate.Body() && !crate.Body()->IsEnabled())) << "crate " << i;
    }
    camera.position = Vector3(30000, 300, 30000);
    frame();
    for (int i = 0; i < 3; ++i) {
        const WorldObject& crate = city.objects->Object(i);
        EXPECT_EQ(crate.Body(), nullptr) << "crate " << i << " home";
        EXPECT_EQ(crate.GetPosition(), Vector3(-1821, 2.0f + 32.0f * float(i), -1640));
    }
}
