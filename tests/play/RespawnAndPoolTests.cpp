// The respawn look-ups over a level's zones and the item pools' take order, as the set-up and the
// developer commands use them.
#include <gtest/gtest.h>

#include <set>

#include "game/vehicles/CarItem.h"
#include "game/vehicles/ItemPool.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TestSupport.h"

namespace {

RespawnZone Zone(int32_t zone, std::initializer_list<float> xs) {
    RespawnZone z;
    z.zone = zone;
    for (float x : xs) {
        RespawnPoint p;
        p.position = Vector3(x, 0, 0);
        z.points.push_back(p);
    }
    return z;
}

std::vector<float> Xs(const std::vector<const RespawnPoint*>& points) {
    std::vector<float> xs;
    for (const RespawnPoint* p : points) xs.push_back(p->position.x);
    return xs;
}

} // namespace

TEST(RespawnLookUps, ZonesSubZonesUnknownZonesAndAnEmptyTable) {
    GameSession session;
    World world(session, testing_support::NoEngine());
    world.respawnZones = {Zone(2, {20, 21}), Zone(1, {10}), Zone(2, {22}), Zone(3, {})};
    const struct {
        int32_t zone, subZone;
        std::vector<float> xs;
        bool logged;
    } cases[] = {
        {0, 0, {20, 21}, false},         // zone 0: the first record, whatever its zone
        {2, 1, {20, 21}, false},         // a zone twice: only the first record
        {1, 7, {10}, false},             // the sub-zone takes no part
        {5, 1, {20, 21, 10, 22}, true},  // no such zone: every point, logged
        {3, 1, {20, 21, 10, 22}, true},  // a zone without points counts as none
    };
    for (const auto& c : cases) {
        testing_support::LogCapture log;
        std::vector<const RespawnPoint*> out;
        GetRespawnPoints(world, c.zone, c.subZone, out);
        EXPECT_EQ(Xs(out), c.xs) << c.zone;
        EXPECT_EQ(log.Contains("No respawns for " + std::to_string(c.zone) + ", " + std::to_string(c.subZone)),
                  c.logged)
            << c.zone;
    }
    world.respawnZones.clear();
    std::vector<const RespawnPoint*> out;
    GetRespawnPoints(world, 1, 1, out);
    ASSERT_EQ(out.size(), 1u) << "an empty table gives one point at the origin";
    EXPECT_EQ(out[0]->position.x, 0.0f);
    EXPECT_EQ(out[0]->orientation, Quaternion());
}

TEST(RespawnLookUps, APickIsOneOfTheZonesPointsAndEveryPointComesUp) {
    GameSession session;
    World world(session, testing_support::NoEngine());
    world.respawnZones = {Zone(1, {10, 11, 12}), Zone(2, {20})};
    plat::SetEngineRandSeed(7);
    std::set<float> picked;
    for (int i = 0; i < 60; ++i) {
        const RespawnPoint* p = PickRespawnPoint(world, 1, 1);
        ASSERT_NE(p, nullptr);
        picked.insert(p->position.x);
    }
    EXPECT_EQ(picked, (std::set<float>{10, 11, 12}));
    world.respawnZones.clear();
    const RespawnPoint* origin = PickRespawnPoint(world, 1, 1);
    ASSERT_NE(origin, nullptr) << "an empty table still gives the point at the origin";
    EXPECT_EQ(origin->position.x, 0.0f);
}

TEST(ItemPools, TakeTheOldestFirstAndMakeANewOneWhenEmpty) {
    int made = 0;
    ItemPool pool([&made]() -> CarItem* {
        ++made;
        return new CarItem;
    });
    CarItem* first = pool.Take();
    CarItem* second = pool.Take();
    EXPECT_EQ(made, 2);
    pool.Return(first);
    pool.Return(second);
    EXPECT_EQ(pool.Take(), first) << "the oldest idle item";
    EXPECT_EQ(pool.Size(), 1u);
    EXPECT_EQ(pool.Take(), second);
    EXPECT_EQ(pool.Size(), 0u);
    CarItem* third = pool.Take();
    EXPECT_EQ(made, 3) << "an empty pool makes a new item";
    delete first;
    delete second;
    delete third;
}
