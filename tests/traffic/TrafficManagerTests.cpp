// The traffic manager's parked cars on flat ground with a real car kind: only the records of the
// game's mission and episode become cars, posed at their records and settling onto their
// wheels; an unknown name is logged and skipped; a reset takes every car out of the world and
// nothing left behind names them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <set>

#include "game/traffic/TrafficManager.h"
#include "game/vehicles/Explosion.h"
#include "engine/net/ZKServer.h"
#include "platform/sys/Random.h"
#include "tests/traffic/TrafficTestSupport.h"
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
    TrafficFleet fleet;
    TrafficManager traffic(flat.world, flat.context, fleet);
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

// ---------------------------------------------------------------------------------------------
// The streets' fill round the players' cars.

namespace {

using traffic_test::TrafficTest;

class TrafficFillTest : public TrafficTest {
protected:
    static constexpr int kRingNodes = 600;
    static constexpr float kRingRadius = 1750.0f;

    void SetUp() override {
        TrafficTest::SetUp();
        plat::SetEngineRandSeed(1234);
        // A ring road inside the spawn ring round the origin, and the same ring for opponents.
        for (RoadGraph* graph : {&Graph(), flat.world.graphs.driver.get()}) {
            graph->Resize(kRingNodes);
            for (int i = 0; i < kRingNodes; ++i) {
                const float a = TwoPi * float(i) / float(kRingNodes);
                graph->nodes[size_t(i)].position = Vector3(kRingRadius * std::cos(a), 0, kRingRadius * std::sin(a));
                graph->nodes[size_t(i)].speedFactor = 1.0f;
                graph->nodes[size_t(i)].links.push_back(&graph->nodes[size_t((i + 1) % kRingNodes)]);
            }
            graph->BuildStrides();
        }
        MakeManager();
    }
    Vehicle* Player(float x, float z, bool flagged = true) {
        Vehicle* car = flat.AddCar(taxi, x, z);
        if (flagged) car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
        return car;
    }
    // Updates (no world frames: the cars stay where they came) until nothing changes for a
    // while or the limit; the number of updates that spawned.
    int UpdateMany(int updates) {
        int spawned = 0;
        for (int i = 0; i < updates; ++i) {
            const size_t before = fleet->active.size();
            traffic->Update();
            if (fleet->active.size() > before) ++spawned;
        }
        return spawned;
    }
};

}  // namespace

TEST_F(TrafficFillTest, DensityBoundsTheCarsOnTheStreets) {
    struct Case {
        float density;
        size_t active;
    } cases[] = {{0.0f, 0}, {0.5f, 64}, {1.0f, 128}};
    Player(0, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.density);
        traffic->density = c.density;
        UpdateMany(2000);
        EXPECT_EQ(fleet->active.size(), c.active);
        EXPECT_EQ(fleet->pool.size(), 128u - c.active);
        for (TrafficCar* car : fleet->active) {
            const Vector3 at = car->Origin();
            const float r = std::hypot(at.x, at.z);
            EXPECT_GT(r, 1500.0f) << "out of sight";
            EXPECT_LT(r, 2000.0f);
            EXPECT_EQ(car->state, TrafficCar::Driving);
            EXPECT_FLOAT_EQ(car->maxHealth, TrafficCar::kMaxHealth);
        }
        traffic->Reset();
        EXPECT_TRUE(fleet->active.empty());
        EXPECT_EQ(fleet->pool.size(), 128u);
    }
}

TEST_F(TrafficFillTest, FarCarsLeaveOneAnUpdateBeforeAnyNewOneComes) {
    Vehicle* player = Player(0, 0);
    traffic->density = 1.0f;
    UpdateMany(400);
    ASSERT_EQ(fleet->active.size(), 128u);
    // The player drives off: the cars on the far side of the ring are beyond 2500 units.
    player->SetPosition(Vector3(1500, 2, 0));
    std::vector<TrafficCar*> before = fleet->active;
    auto far = [&](TrafficCar* car) { return (car->GetPosition() - player->GetPosition()).LengthSquared() >= 2500.0f * 2500.0f; };
    const size_t farCount = size_t(std::count_if(before.begin(), before.end(), far));
    ASSERT_GT(farCount, 10u);
    ASSERT_LT(farCount, 128u);
    for (size_t n = 1; n <= farCount; ++n) {
        traffic->Update();
        ASSERT_EQ(fleet->active.size(), 128u - n) << "one car a frame, and nothing comes meanwhile";
        // The first far car of the list went; the others keep their order.
        std::vector<TrafficCar*> expected = before;
        expected.erase(std::find_if(expected.begin(), expected.end(), far));
        EXPECT_EQ(fleet->active, expected);
        EXPECT_EQ(fleet->pool.back(), *std::find_if(before.begin(), before.end(), far));
        before = expected;
    }
    EXPECT_EQ(std::count_if(fleet->active.begin(), fleet->active.end(), far), 0);
    traffic->Update();
    EXPECT_EQ(fleet->active.size(), 128u - farCount + 1) << "then the streets fill again";
}

TEST_F(TrafficFillTest, ACarWithoutThePlayerFlagAdmitsNoSpawnAndKeepsNoCarAlive) {
    Vehicle* other = Player(0, 0, false);
    traffic->density = 1.0f;
    EXPECT_EQ(UpdateMany(200), 0);
    // Cars put on the ring by hand round it leave, one an update.
    for (int i = 0; i < 5; ++i) traffic->Spawn(TrafficManager::Message{TrafficManager::Message::Spawn, uint32_t(i * 50), 0});
    ASSERT_EQ(fleet->active.size(), 5u);
    for (size_t left = 4; left + 1 > 0; --left) {
        traffic->Update();
        EXPECT_EQ(fleet->active.size(), left);
    }
    // With a player beside it, the player's ring fills but never within 1500 of the other car.
    other->SetPosition(Vector3(kRingRadius, 2, 0));
    Player(-200, 0);
    UpdateMany(400);
    EXPECT_GT(fleet->active.size(), 20u);
    for (TrafficCar* car : fleet->active)
        EXPECT_GT((car->Origin() - Vector3(kRingRadius, 0, 0)).LengthSquared(), 1500.0f * 1500.0f);
}

TEST_F(TrafficFillTest, AOneTouchGameMakesFragileCarsAndTheNextGameWholeOnes) {
    Player(0, 0);
    traffic->density = 1.0f;
    struct Case {
        int32_t gameType;
        float maxHealth;
    } cases[] = {{10, 0.1f}, {0, 500.0f}, {10, 0.1f}, {3, 500.0f}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.gameType);
        flat.session.gameType = c.gameType;
        UpdateMany(300);
        ASSERT_EQ(fleet->active.size(), 128u);
        for (TrafficCar* car : fleet->active) {
            EXPECT_FLOAT_EQ(car->maxHealth, c.maxHealth);
            EXPECT_FLOAT_EQ(car->health, c.maxHealth);
        }
        traffic->Reset();
    }
}

TEST_F(TrafficFillTest, ABlastSendsAPoliceCarAfterAPlayerOneTimeInTwentyFourAtMost) {
    std::filesystem::create_directories("Vehicles");
    vehicle_test::WriteCar("PoliceCruiser", vehicle_test::Taxi(), 1);
    CarCatalogue::Instance().ClearForTests();
    CarDefinition::LoadAll();
    taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
    ASSERT_NE(CarCatalogue::Instance().FindByFlag(kCarPolice), nullptr);
    Vehicle* player = Player(0, 0);
    Vehicle* other = Player(300, 0, false);

    struct Case {
        const char* name;
        int32_t mission;
        Vehicle* hit;
        bool acts;
    } cases[] = {{"a player in mission 3", 3, player, true},
                 {"a player in mission 9", 9, player, true},
                 {"a player in mission 10", 10, player, false},
                 {"a car without the player flag", 3, other, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flat.session.mission = c.mission;
        int requests = 0;
        for (int i = 0; i < 2000; ++i) {
            traffic->OnExplosionHit(Vector3(), *c.hit);
            if (traffic->opponentRequested) ++requests;
            EXPECT_TRUE(!traffic->opponentRequested || traffic->opponentTarget == player);
            traffic->opponentRequested = 0;
        }
        if (c.acts) {
            EXPECT_GT(requests, 60) << "about one in twenty";
            EXPECT_LT(requests, 150);
        } else {
            EXPECT_EQ(requests, 0);
        }
    }
    // Requests are carried out at the next update: four opponents, never a fifth.
    flat.session.mission = 3;
    for (int i = 0; i < 4000 && traffic->opponents.size() < 6; ++i) {
        traffic->OnExplosionHit(Vector3(), *player);
        traffic->Update();
    }
    EXPECT_EQ(traffic->opponents.size(), 4u);
    for (Vehicle* cop : traffic->opponents) {
        EXPECT_TRUE(cop->InPhysics());
        EXPECT_TRUE(cop->definition->nameFlags & kCarPolice);
        const Vector3 at = cop->GetPosition();
        EXPECT_GT(std::hypot(at.x, at.z), 1400.0f) << "out of sight";
    }
    // Once no player is within 2500 units they are gone.
    player->SetPosition(Vector3(3900, 2, 3900));
    traffic->Update();
    EXPECT_TRUE(traffic->opponents.empty());
}

TEST_F(TrafficFillTest, ResetOnAHostCarriesEverythingOutHereAndSendsNothing) {
    ZKServer server(SharedString("host"), SharedString("Traffic"), 0, 4);
    ASSERT_TRUE(server.IsRunning());
    Player(0, 0);
    traffic->density = 1.0f;
    UpdateMany(50);
    ASSERT_EQ(fleet->active.size(), 50u);
    flat.context.server = &server;
    traffic->Reset();
    EXPECT_EQ(flat.context.server, &server) << "the network is back";
    EXPECT_TRUE(fleet->active.empty()) << "done at once, not sent";
    EXPECT_EQ(fleet->pool.size(), 128u);
    EXPECT_EQ(traffic->ready, 1);
    flat.context.server = nullptr;
}

TEST_F(TrafficFillTest, EachCullListsAVisibleCarOnceAndADespawnedCarNever) {
    Player(0, 0);
    traffic->density = 1.0f;
    UpdateMany(300);
    camera.position = Vector3(0, 100, 0);
    camera.positionDirty = 1;
    camera.Apply();
    // Every car of the lists is on the streets, and in them once.
    auto listed = [&] {
        std::vector<TrafficCar*> all = fleet->wrecked;
        for (const auto& t : fleet->types) all.insert(all.end(), t->drawList.begin(), t->drawList.end());
        EXPECT_EQ(std::set<TrafficCar*>(all.begin(), all.end()).size(), all.size()) << "listed twice";
        for (TrafficCar* car : all) EXPECT_NE(std::find(fleet->active.begin(), fleet->active.end(), car), fleet->active.end());
        return all.size();
    };
    for (int frame = 0; frame < 5; ++frame) {
        Frame(1.0f / 75.0f);  // culls, draws nothing (no renderer)
        EXPECT_GT(listed(), 0u) << "frame " << frame;
        // A reflection pass culls again in the same frame.
        static_cast<ObjectQuadTree&>(flat.world).Cull(static_cast<const Camera&>(camera));
        EXPECT_GT(listed(), 0u);
    }
    // A car that leaves is never drawn.
    traffic->Despawn(0);
    listed();
    traffic->Reset();
    EXPECT_EQ(listed(), 0u);
}
