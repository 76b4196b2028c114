// The demo taxi on the demo city as metrofare-demo writes it: full throttle climbs the gears on
// the road and the brake stops it, upright throughout.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "game/vehicles/RespawnPoints.h"
#include "tests/support/EngineDoubles.h"
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
