// The queries over the level data on tiny graphs, the generator seeded: where something may
// appear (spawn nodes), the nearest free node, and the drop points (arrival, activation, the
// marker's spin and the random destination).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "game/world/LevelData.h"
#include "game/world/World.h"
#include "game/world/WorldObject.h"
#include "game/world/WorldObjectManager.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/world/WorldTestSupport.h"

using namespace world_testing;

namespace {

// Nodes at the given x (z = 0), each linked to the next one round the ring.
void Ring(RoadGraph& graph, const std::vector<float>& xs) {
    graph.Resize(int32_t(xs.size()));
    for (size_t i = 0; i < xs.size(); ++i) {
        graph.nodes[i].position = Vector3(xs[i], 0, 0);
        graph.nodes[i].links = {&graph.nodes[(i + 1) % xs.size()]};
    }
    graph.BuildStrides();
}

// The two draws the spawn search makes from this seed: the stride's and the start's.
std::pair<int, int> Draws(uint32_t seed) {
    plat::SetEngineRandSeed(seed);
    const int a = plat::EngineRand();
    const int b = plat::EngineRand();
    plat::SetEngineRandSeed(seed);
    return {a, b};
}

} // namespace

TEST(SpawnNodes, OnlyFreeUnrestrictedNodesWithAFreeLinkInTheRingQualify) {
    // One circle round the origin: outer radius 100, inner radius 10. The node under test is
    // node 0; node 1 is its link, free unless the case says otherwise.
    const SpawnCircle circle{Vector3(0, 0, 0), 100.0f * 100.0f, 10.0f * 10.0f};
    struct Case {
        const char* what;
        float x;
        uint32_t occupancy;
        uint32_t linkOccupancy;
        bool linked;
        bool found;
    };
    const Case cases[] = {
        {"in the ring", 50, 0, 0, true, true},
        {"held by a car", 50, 1, 0, true, false},
        {"restricted", 50, RoadNode::Restricted, 0, true, false},
        {"its only link held", 50, 0, 2, true, false},
        {"its only link restricted but free", 50, 0, RoadNode::Restricted, true, true},
        {"no link", 50, 0, 0, false, false},
        {"exactly on the outer radius", 100, 0, 0, true, false},
        {"a hair inside the outer radius", 99.99f, 0, 0, true, true},
        {"exactly on the inner radius", 10, 0, 0, true, false},
        {"a hair outside the inner radius", 10.01f, 0, 0, true, true},
        {"at the centre", 0, 0, 0, true, false},
        {"beyond the circle", 500, 0, 0, true, false},
    };
    for (const Case& c : cases) {
        RoadGraph graph;
        Ring(graph, {c.x, 3000});
        graph.nodes[0].occupancy = c.occupancy;
        graph.nodes[1].occupancy = c.linkOccupancy;
        if (!c.linked) graph.nodes[0].links.clear();
        std::vector<int32_t> out = {99};
        plat::SetEngineRandSeed(5);
        graph.FindSpawnNodes({circle}, out);
        EXPECT_EQ(out, c.found ? std::vector<int32_t>{0} : std::vector<int32_t>{}) << c.what;
    }
}

TEST(SpawnNodes, SeveralCirclesAStrideAndAStartAndTheEmptyCases) {
    // Inside any circle's outer radius, outside every inner radius: a node in one circle's ring
    // but inside the other's inner disc is out.
    RoadGraph graph;
    Ring(graph, {50, 150, 250, 350});
    const SpawnCircle a{Vector3(0, 0, 0), 200.0f * 200.0f, 20.0f * 20.0f};
    const SpawnCircle b{Vector3(300, 0, 0), 100.0f * 100.0f, 60.0f * 60.0f};
    std::vector<int32_t> out;
    graph.FindSpawnNodes({a, b}, out);
    EXPECT_EQ(out, (std::vector<int32_t>{0, 1})) << "250 and 350 lie within b's inner disc or outside both";
    graph.FindSpawnNodes({}, out);
    EXPECT_TRUE(out.empty()) << "no circle, nowhere";

    // A stride of 3 over ten qualifying nodes: from the drawn start on, every third.
    RoadGraph ten;
    Ring(ten, {10, 11, 12, 13, 14, 15, 16, 17, 18, 19});
    ten.strides = {3, 7};
    const SpawnCircle all{Vector3(0, 0, 0), 1e6f, 0.0f};
    for (uint32_t seed : {1u, 2u, 3u, 4u, 5u, 6u}) {
        const auto [pick, startDraw] = Draws(seed);
        const int32_t stride = ten.strides[size_t(pick) % 2];
        const int32_t start = startDraw % stride;
        std::vector<int32_t> expected;
        for (int32_t i = start; i < 10; i += stride) expected.push_back(i);
        ten.FindSpawnNodes({all}, out);
        EXPECT_EQ(out, expected) << "seed " << seed;
    }

    // A start drawn beyond the count gives nothing; so does an empty graph, which draws nothing.
    RoadGraph three;
    Ring(three, {10, 11, 12});
    three.strides = {97};
    uint32_t seed = 1;
    while (Draws(seed).second % 97 < 3) ++seed;
    Draws(seed);
    out = {1};
    three.FindSpawnNodes({all}, out);
    EXPECT_TRUE(out.empty());
    RoadGraph empty;
    const int firstOfNine = Draws(9).first;
    out = {1};
    empty.FindSpawnNodes({all}, out);
    EXPECT_TRUE(out.empty());
    EXPECT_EQ(plat::EngineRand(), firstOfNine) << "the empty graph drew no number";
}

TEST(NearestFreeNode, TheNearestQualifyingNodeTheFirstOfEquals) {
    struct Case {
        const char* what;
        std::vector<float> xs;       // nodes along x, each linked to the next round the ring
        std::vector<uint32_t> held;  // occupancy per node (missing: 0)
        std::vector<int> linkCounts; // 0: no links, 2: a second link to node 0 (missing: 1)
        float from;
        int found; // index, -1 for none
    };
    const Case cases[] = {
        {"the nearest", {100, 40, -70}, {}, {}, 0, 1},
        {"x and z only", {100, 40, -70}, {}, {}, 0, 1},
        {"equal distances: the first", {-30, 30, 200}, {}, {}, 0, 0},
        {"a held node is passed over", {100, 40, -70}, {0, 1}, {}, 0, 2},
        {"its only link held: passed over", {100, 40, -70}, {0, 0, 1}, {}, 0, 0},
        {"its only link held, but a second link", {100, 40, -70}, {0, 0, 1}, {1, 2}, 0, 1},
        {"restricted counts", {100, 40, -70}, {0, RoadNode::Restricted}, {}, 0, 1},
        {"no links: never", {100, 40, -70}, {}, {1, 0}, 0, 2},
        {"farther than 1e9 squared: never", {1e5f, 2e5f}, {}, {}, 0, -1},
        {"everyone held", {100, 40}, {1, 1}, {}, 0, -1},
    };
    for (const Case& c : cases) {
        RoadGraph graph;
        Ring(graph, c.xs);
        for (size_t i = 0; i < c.held.size(); ++i) graph.nodes[i].occupancy = c.held[i];
        for (size_t i = 0; i < c.linkCounts.size(); ++i) {
            if (c.linkCounts[i] == 0) graph.nodes[i].links.clear();
            if (c.linkCounts[i] == 2) graph.nodes[i].links.push_back(&graph.nodes[0]);
        }
        const Vector3 point(c.from, std::string(c.what) == "x and z only" ? 5000.0f : 0.0f, 0);
        RoadNode* found = graph.FindNearestFreeNode(point);
        EXPECT_EQ(found ? int(found - graph.nodes.data()) : -1, c.found) << c.what;
    }
    RoadGraph empty;
    EXPECT_EQ(empty.FindNearestFreeNode(Vector3()), nullptr);
}

// ---------------------------------------------------------------------------------------------
// Drop points

namespace {

class DropPointTest : public ::testing::Test {
protected:
    void SetUp() override {
        tools::WorldFile file = FlatWorld();
        const uint32_t marker = AddKind(file, {20, 20, 20}, 0x04, 100.0f); // movable: it has a geom
        const uint32_t post = AddKind(file, {5, 5, 5}, 0x04, -10.0f);      // immovable: no geom
        Place(file, marker, {0, 20, 0});
        Place(file, post, {500, 5, 0});
        file.dropPoints.push_back({"Marker", 0, {1}});
        file.dropPoints.push_back({"Post", 1, {2}});
        world = std::make_unique<World>(session, engine.services);
        ASSERT_FALSE(LoadWorld(*world, file).failed);
        world->Reset();
    }
    testing_support::TempWorkDir dir;
    testing_support::EngineDoubles engine;
    GameSession session;
    std::unique_ptr<World> world;
};

} // namespace

TEST_F(DropPointTest, ArrivalIsStrictlyWithin150InXAndZ) {
    DropPoint& d = world->dropPoints[0];
    const struct {
        Vector3 p;
        bool inside;
    } cases[] = {
        {{0, 20, 0}, true},        {{149.99f, 20, 0}, true}, {{150, 20, 0}, false},  {{0, 20, -150}, false},
        {{90, 20, 120}, false},    {{89.9f, 0, 119.9f}, true}, {{0, 5000, 0}, true}, {{-151, 20, 0}, false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(d.Contains(c.p), c.inside) << c.p.x << ", " << c.p.y << ", " << c.p.z;
}

TEST_F(DropPointTest, ActivationAndTheMarkersSpin) {
    for (DropPoint& d : world->dropPoints) {
        SCOPED_TRACE(d.name.c_str());
        WorldObject& marker = *d.marker;
        EXPECT_FALSE(d.IsActive());
        EXPECT_TRUE(d.Activate());
        EXPECT_TRUE(d.IsActive());
        d.Deactivate();
        EXPECT_FALSE(d.IsActive());
        d.Activate();

        // Whatever moved the marker, each update puts it back on the point, turned a further
        // 4 x dt about the vertical; far stays as it was.
        const Vector3 home = d.position;
        marker.SetPosition(home + Vector3(300, 0, 0));
        marker.far = true;
        const float dts[] = {0.25f, 1.0f / 75.0f, 0.1f};
        float turned = 0.0f;
        for (float dt : dts) {
            d.Update(dt);
            turned += 4.0f * dt;
        }
        EXPECT_FLOAT_EQ(d.spinAngle, 0.25f + 1.0f / 75.0f + 0.1f);
        EXPECT_EQ(marker.PlacedPosition(), home);
        const Vector3 side = marker.PlacedOrientation().ToMatrix().TransformNormal(Vector3(1, 0, 0));
        EXPECT_NEAR(side.y, 0.0f, 1e-5f);
        EXPECT_NEAR(std::atan2(-side.z, side.x), std::remainder(turned, 6.2831853f), 1e-4f) << "about the vertical";
        EXPECT_TRUE(marker.far);
        BoundingBox b;
        marker.GetBounds(b);
        EXPECT_NEAR((b.centre - home).Length(), 0.0f, 1e-3f) << "the bounds came with it";
        EXPECT_TRUE(d.IsActive());
    }
}

TEST_F(DropPointTest, APickedPointIsOfTheGroupBeyondTheMinimumAndZeroWhenNoneIs) {
    // Three points on the x axis: A at 0 in groups 1, 2 and 3, B at 500 in group 2, C at 1000
    // in group 5.
    world->dropPoints.resize(3);
    world->dropPoints[0].variants = {1, 2, 3};
    world->dropPoints[1].variants = {2};
    world->dropPoints[2].marker = nullptr;
    world->dropPoints[2].position = Vector3(1000, 0, 0);
    world->dropPoints[2].variants = {5};
    const struct {
        const char* what;
        int32_t group;
        float fromX, minDistanceSquared;
        std::vector<int32_t> possible;
    } cases[] = {
        {"group 2", 2, 0, -1.0f, {0, 1}},
        {"group 5", 5, 0, -1.0f, {2}},
        {"group 2, A too near", 2, 0, 100.0f * 100.0f, {1}},
        {"exactly at the minimum is too near", 2, 0, 500.0f * 500.0f, {}},
        {"any group, all far enough", 0, -100, 50.0f * 50.0f, {0, 1, 2}},
        {"any group, only C far enough", 0, 0, 600.0f * 600.0f, {2}},
        {"a group nobody is in", 4, 0, -1.0f, {}},
    };
    for (const auto& c : cases) {
        bool seen[3] = {};
        for (uint32_t seed = 1; seed <= 40; ++seed) {
            plat::SetEngineRandSeed(seed);
            const int32_t i = world->PickDropPoint(c.group, Vector3(c.fromX, 0, 0), c.minDistanceSquared);
            ASSERT_GE(i, 0);
            ASSERT_LT(i, 3);
            seen[i] = true;
            if (c.possible.empty()) EXPECT_EQ(i, 0) << c.what << ": no candidate gives index 0";
        }
        if (c.possible.empty()) continue;
        for (int32_t i = 0; i < 3; ++i) {
            const bool possible = std::find(c.possible.begin(), c.possible.end(), i) != c.possible.end();
            EXPECT_EQ(seen[i], possible) << c.what << ", point " << i;
        }
    }

    // With any group a point weighs as many times as it has groups: A three times B.
    world->dropPoints.resize(2);
    plat::SetEngineRandSeed(3);
    int counts[2] = {};
    for (int n = 0; n < 40000; ++n) ++counts[world->PickDropPoint(0, Vector3(5000, 0, 0), 0.0f)];
    EXPECT_NEAR(double(counts[0]) / double(counts[1]), 3.0, 0.15);
}
