// The demo taxi on the demo city as metrofare-demo writes it: full throttle climbs the gears on
// the road and the brake stops it, upright throughout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "game/vehicles/RespawnPoints.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/FrameSchedule.h"
#include "tests/support/WorldLoading.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

TEST(DemoCity, TheTaxiClimbsTheGearsAlongARoadAndBrakesToAStop) {
    testing_support::TempWorkDir dir;
    EngineThread engine;
    testing_support::LogCapture log{3};
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    GameSession session;
    World city(session, testing_support::NoEngine());
    ASSERT_TRUE(testing_support::LoadWholeWorld(city));
    CarDefinition::LoadAll();
    const CarDefinition* taxi = CarCatalogue::Instance().FindByName(SharedString("CabMetro"));
    ASSERT_NE(taxi, nullptr);

    VehicleContext context(city, session);
    testing_support::TestDrivingRules rules;
    context.rules = &rules;
    session.lightDetail = 0;
    std::vector<const RespawnPoint*> points;
    GetRespawnPoints(city, 1, 1, points);
    ASSERT_FALSE(points.empty());
    std::unique_ptr<Vehicle> car = Vehicle::Create(context, taxi);
    ASSERT_NE(car, nullptr);
    city.physics.AddObject(car.get());
    car->respawn.respawnPoint = points.front();
    car->Respawn(false);
    city.Add(car.get());
    context.vehicles.push_back(car.get());

    Camera camera;
    auto frame = [&] {
        camera.position = car->GetPosition() + Vector3(0, 100, 0);
        city.Update(&camera, Step);
    };
    for (int f = 0; f < 75; ++f) frame();
    float fastest = 0.0f;
    // Eight seconds: the street ahead holds the run and the stop.
    for (int f = 0; f < 600; ++f) {
        car->SetThrottle(1.0f);
        frame();
        fastest = std::max(fastest, car->GetLinearVelocity().Length() * 0.36f);
        ASSERT_GT(car->ChassisBody()->GetUp().y, 0.5f) << "frame " << f;
    }
    EXPECT_GE(car->drive.gear, 3);
    EXPECT_GT(fastest, 60.0f);
    for (int f = 0; f < 750 && car->GetLinearVelocity().Length() * 0.36f >= 5.0f; ++f) {
        car->SetBrake(1.0f);
        frame();
    }
    EXPECT_LT(car->GetLinearVelocity().Length() * 0.36f, 5.0f);
    EXPECT_GT(car->ChassisBody()->GetUp().y, 0.9f);
    EXPECT_FALSE(log.Contains("Fixing body"));
    // Rolling on the road is no impact: the car keeps its health.
    EXPECT_GT(car->damage.health, 0.99f * car->damage.maxHealth);
    context.vehicles.clear();
    car.reset();
}

// The city's edge wall holds every demo car that meets it head on at full speed, whatever the
// frame times: none ends on the grass beyond it or below the ground.
TEST(DemoCity, EveryCarHitsTheEdgeWallAtFullSpeedAndStaysInside) {
    testing_support::TempWorkDir dir;
    EngineThread engine;
    testing_support::LogCapture log{3};
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    GameSession session;
    World city(session, testing_support::NoEngine());
    ASSERT_TRUE(testing_support::LoadWholeWorld(city));
    CarDefinition::LoadAll();
    ASSERT_GT(CarCatalogue::Instance().Count(), 0);
    // The demo city: four blocks of 800 a side with roads of 160 between and round them, so its
    // wall stands at x = 2000 and the middle street (z = 0) runs straight into it.
    const float wallX = 2000.0f;
    const float fullSpeed = 300.0f / 0.36f; // 300 km/h, above every demo car's top speed

    VehicleContext context(city, session);
    testing_support::TestDrivingRules rules;
    context.rules = &rules;
    session.lightDetail = 0;
    Camera camera;
    for (const testing_support::FrameSchedule& schedule :
         {testing_support::UnevenFrames(), testing_support::SteadyFrames("1/20", 1.0f / 20.0f)}) {
        for (CarDefinition* definition : CarCatalogue::Instance().Entries()) {
            SCOPED_TRACE(std::string(schedule.name) + " " + definition->name.c_str());
            std::unique_ptr<Vehicle> car = Vehicle::Create(context, definition);
            ASSERT_NE(car, nullptr);
            city.physics.AddObject(car.get());
            city.Add(car.get());
            context.vehicles.push_back(car.get());
            car->SetPosition({wallX - 600.0f, 10.0f, 0.0f});
            // Turn the car to face the wall, whichever way its model points.
            float best = -2.0f;
            Quaternion facing;
            for (int k = 0; k < 4; ++k) {
                const Quaternion q(Vector3(0, 1, 0), float(k) * 1.5707963f);
                car->SetOrientation(q);
                if (car->ChassisBody()->GetForward().x > best) best = car->ChassisBody()->GetForward().x, facing = q;
            }
            car->SetOrientation(facing);
            car->ChassisBody()->SetLinearVelocity({fullSpeed, 0, 0});
            for (int32_t i = 0; i < 4; ++i) car->WheelBody(i)->SetLinearVelocity({fullSpeed, 0, 0});
            float lowest = 1e9f;
            for (int32_t f = 0; f < schedule.FrameAt(2.5f); ++f) {
                car->SetThrottle(1.0f);
                camera.position = car->GetPosition() + Vector3(0, 100, 0);
                city.Update(&camera, schedule(f));
                lowest = std::min(lowest, car->GetPosition().y);
            }
            // A hard hit may press the nose into the wall for a step; the car ends on the city's side.
            EXPECT_LT(car->GetPosition().x, wallX) << "through the wall";
            EXPECT_GT(lowest, -50.0f) << "below the ground";
            context.vehicles.clear();
            car.reset();
        }
    }
}
