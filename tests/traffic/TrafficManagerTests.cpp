// The traffic manager's parked cars on flat ground with a real car kind: only the records of the
// game's mission and episode become cars, posed at their records and settling onto their
// wheels; an unknown name is logged and skipped; a reset takes every car out of the world and
// nothing left behind names them.
#include <gtest/gtest.h>

#include <cmath>

#include "game/traffic/TrafficManager.h"
#include "game/vehicles/Explosion.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

PlacementRecord Parked(const char* name, int32_t mission, int32_t episode, const Vector3& at, float yaw) {
    PlacementRecord r;
    r.name = SharedString(name);
    r.mission = mission;
    r.episode = episode;
    r.position = at;
    r.orientation = Quaternion(Vector3(0, 1, 0), yaw);
    return r;
}

class TrafficManagerTest : public VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        flat.session.mission = 8;
        flat.session.episode = 1;
        flat.world.placements.parkedCars() = {
            Parked("TAXI", 8, 1, Vector3(0, 2, -100), 0.0f),         // the catalogue's "Taxi", by any case
            Parked("Taxi", 0, 1, Vector3(100, 2, 0), 0.0f),          // another mission
            Parked("Taxi", 8, 0, Vector3(200, 2, 0), 0.0f),          // another episode
            Parked("Hovercraft", 8, 1, Vector3(300, 2, 0), 0.0f),    // no such car
            Parked("taxi", 8, 1, Vector3(-150, 2, 50), Pi * 0.5f),
        };
    }
};

} // namespace

TEST_F(TrafficManagerTest, PlacesTheGamesParkedCarsAndTakesThemAwayOnReset) {
    TrafficManager traffic(flat.world, flat.context);
    EXPECT_EQ(traffic.ready, 0);
    traffic.PlaceParkedCars();
    EXPECT_EQ(traffic.ready, 1);
    ASSERT_EQ(traffic.placedVehicles.size(), 2u);
    EXPECT_TRUE(log.Contains("CAR Hovercraft NOT FOUND!!"));

    const Vector3 expected[2] = {{0, 2, -100}, {-150, 2, 50}};
    for (size_t i = 0; i < 2; ++i) {
        const Vehicle* car = traffic.placedVehicles[i];
        EXPECT_TRUE(car->InPhysics());
        EXPECT_EQ(car->damage.GetHealth(), car->damage.maxHealth) << "a placed car starts whole";
        const Vector3 at = car->GetPosition();
        EXPECT_NEAR(at.x, expected[i].x, 1e-3f);
        EXPECT_NEAR(at.z, expected[i].z, 1e-3f);
        EXPECT_NEAR(at.y, expected[i].y + TrafficManager::kPlacedLift, 1e-3f) << "raised to drop onto its wheels";
    }
    // The second faces its record's way: its forward (-z) turned a quarter about y.
    const Vector3 forward = traffic.placedVehicles[1]->GetOrientation().ToMatrix().TransformNormal(Vector3(0, 0, -1));
    EXPECT_NEAR(std::fabs(forward.x), 1.0f, 1e-3f);

    // A second and a half later both stand on the ground where they were put.
    flat.Frames(110);
    for (size_t i = 0; i < 2; ++i) {
        const Vector3 at = traffic.placedVehicles[i]->GetPosition();
        EXPECT_NEAR(at.x, expected[i].x, 1.0f);
        EXPECT_NEAR(at.z, expected[i].z, 1.0f);
        EXPECT_LT(at.y, 5.0f) << "settled";
    }

    // A blast still growing round a parked car when the game resets: the cars go, nothing names
    // them (the address sanitizer sees any later use), and the world runs on.
    Explosion::Spawn(flat.context, traffic.placedVehicles[0]->ChassisGeom(), expected[0], 5.0f, 200.0f, 50000.0f, false);
    flat.Frames(2);
    traffic.Reset();
    EXPECT_TRUE(traffic.placedVehicles.empty());
    flat.Frames(60);
    // Placing again after the reset makes the cars anew.
    traffic.PlaceParkedCars();
    EXPECT_EQ(traffic.placedVehicles.size(), 2u);
}
