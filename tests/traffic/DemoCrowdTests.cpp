// The demo city as the crowd and the fares find it: its pavement ring and named drop points, and
// pavement in the spawn ring round every place the car select may put the player's car, so a
// quick start has people on the streets.
#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/WorldWriter.h"

TEST(DemoCrowd, EveryCarSelectPlaceHasPavementInTheSpawnRingAndTheDropPointsAreNamed) {
    testing_support::TempWorkDir dir;
    GameSession session;
    World city(session, testing_support::NoEngine());
    // The demo tree's city, as its world step makes it.
    ASSERT_FALSE(world_testing::LoadWorld(city, tools::GenerateCity(tools::CityOptions{})).failed);

    ASSERT_NE(city.graphs.pedestrian, nullptr);
    EXPECT_EQ(city.graphs.pedestrian->Count(), 128);
    ASSERT_EQ(city.dropPoints.size(), 6u);
    std::set<std::string> names;
    for (const DropPoint& d : city.dropPoints) {
        EXPECT_FALSE(d.name.IsEmpty());
        names.insert(std::string(d.name.View()));
        EXPECT_EQ(d.variants.size(), 2u) << d.name.c_str();
    }
    EXPECT_EQ(names.size(), 6u) << "six different names";

    // The car select's places: zone 2 (the game's zone 1, plus one), sub-zone 1.
    std::vector<const RespawnPoint*> places;
    GetRespawnPoints(city, 2, 1, places);
    ASSERT_FALSE(places.empty());
    std::vector<int32_t> nodes;
    for (const RespawnPoint* place : places) {
        const Vector3 at = place->position;
        SCOPED_TRACE(::testing::Message() << at.x << ", " << at.z);
        city.graphs.pedestrian->FindSpawnNodes(
            {SpawnCircle{at, PedestrianManager::kSpawnOuterSquared, PedestrianManager::kSpawnInnerSquared}}, nodes);
        EXPECT_FALSE(nodes.empty());
        for (int32_t n : nodes) {
            const Vector3 d = city.graphs.pedestrian->nodes[size_t(n)].position - at;
            const float squared = d.x * d.x + d.y * d.y + d.z * d.z;
            EXPECT_GE(squared, PedestrianManager::kSpawnInnerSquared);
            EXPECT_LE(squared, PedestrianManager::kSpawnOuterSquared);
        }
    }
}
