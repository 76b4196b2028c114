// The crowd's manager on a hand-made pavement graph: the pool made once, one pedestrian placed
// per update in the ring round a player's circle, recycled once every circle is 2500 away, and
// everyone back in the pool after a reset.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>

#include "engine/render/MeshFactory.h"
#include "game/traffic/PedestrianManager.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

class PedestrianManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        MeshFactory::Instance().ClearForTests();
        PedestrianManager::ForgetCrowdForTests();
        plat::SetEngineRandSeed(11);
        for (const char* name : {"PED01", "PED02", "TONY"}) {
            dir.WriteBytes(std::string("Pedestrians/") + name + ".VQP", "");
            std::filesystem::create_directories(std::string("Pedestrians/") + name);
            ASSERT_TRUE(tools::WriteZkm(SharedString::Format("Pedestrians/%s/Body.ZKM", name), tools::FigureModel("F.ZKT")));
            ASSERT_TRUE(tools::WriteZka(SharedString::Format("Pedestrians/%s/Walk.ZKA", name), tools::WaveAnimation(4, 0.25f)));
        }
        world = std::make_unique<World>(session, engine.services);
        // A pavement ring of 8 nodes 1750 from the origin.
        world->graphs.pedestrian = std::make_unique<RoadGraph>();
        RoadGraph& g = *world->graphs.pedestrian;
        g.Resize(8);
        for (size_t i = 0; i < 8; ++i) {
            const float a = float(i) * 0.785398f;
            g.nodes[i].position = Vector3(1750.0f * std::cos(a), 0, 1750.0f * std::sin(a));
            g.nodes[i].links = {&g.nodes[(i + 1) % 8], &g.nodes[(i + 7) % 8]};
        }
        g.BuildStrides();
    }
    void TearDown() override {
        PedestrianManager::ForgetCrowdForTests();
        MeshFactory::Instance().ClearForTests();
    }
    static SpawnCircle Player(const Vector3& at) {
        return {at, PedestrianManager::kSpawnOuterSquared, PedestrianManager::kSpawnInnerSquared};
    }

    testing_support::TempWorkDir dir;
    testing_support::EngineDoubles engine;
    GameSession session;
    std::unique_ptr<World> world;
};

TEST_F(PedestrianManagerTest, ThePoolIsMadeOnceOfOrdinaryKinds) {
    {
        PedestrianManager first(*world, nullptr, nullptr);
        PedestrianCrowd& crowd = PedestrianManager::Crowd();
        ASSERT_EQ(crowd.pool.size(), 64u);
        EXPECT_EQ(crowd.free.size(), 64u);
        for (const auto& p : crowd.pool) EXPECT_TRUE(p->type.IsOrdinary()) << p->type.name.c_str();
    }
    const Pedestrian* firstOne = PedestrianManager::Crowd().pool[0].get();
    PedestrianManager second(*world, nullptr, nullptr);
    EXPECT_EQ(PedestrianManager::Crowd().pool.size(), 64u);
    EXPECT_EQ(PedestrianManager::Crowd().pool[0].get(), firstOne) << "the second manager reuses the pool";
}

TEST_F(PedestrianManagerTest, OnePerUpdateInThePlayersRingAndNoneAtZeroDensity) {
    PedestrianManager m(*world, nullptr, nullptr);
    PedestrianCrowd& crowd = PedestrianManager::Crowd();
    const std::vector<SpawnCircle> player = {Player(Vector3())};
    m.Populate(player);
    EXPECT_TRUE(crowd.active.empty()) << "density 0 places nobody";
    m.density = 0.5f;
    for (int i = 0; i < 40; ++i) m.Populate(player);
    EXPECT_EQ(crowd.active.size(), 32u) << "half the pool, one per update";
    for (Pedestrian* p : crowd.active) {
        const Vector3 at = p->GetPosition();
        const float d2 = at.x * at.x + at.z * at.z;
        EXPECT_GT(d2, 1400.0f * 1400.0f);
        EXPECT_LT(d2, 2000.0f * 2000.0f);
        EXPECT_EQ(p->state, Pedestrian::Walking);
        EXPECT_GE(p->sideOffset, 5.0f);
        EXPECT_LE(p->sideOffset, 20.0f);
    }
    // A car that is not a player's keeps them alive but admits nobody new.
    m.density = 1.0f;
    const size_t before = crowd.active.size();
    m.Populate({SpawnCircle{Vector3(), 0.0f, PedestrianManager::kSpawnInnerSquared}});
    EXPECT_EQ(crowd.active.size(), before);
    m.Reset();
    EXPECT_TRUE(crowd.active.empty());
    EXPECT_EQ(crowd.free.size(), 64u);
}

TEST_F(PedestrianManagerTest, RecycledAt2500ButNotAt2499Point9) {
    PedestrianManager m(*world, nullptr, nullptr);
    PedestrianCrowd& crowd = PedestrianManager::Crowd();
    m.density = 1.0f;
    m.Populate({Player(Vector3())});
    ASSERT_EQ(crowd.active.size(), 1u);
    const Vector3 at = crowd.active[0]->GetPosition();
    m.density = 0.0f;
    m.Populate({Player(at + Vector3(2499.9f, 0, 0))});
    EXPECT_EQ(crowd.active.size(), 1u);
    m.Populate({Player(at + Vector3(2500.0f, 0, 0))});
    EXPECT_TRUE(crowd.active.empty());
    EXPECT_EQ(crowd.free.size(), 64u);
}

TEST_F(PedestrianManagerTest, WithOneFreeAndDensityNearlyOneItIsPlaced) {
    PedestrianManager m(*world, nullptr, nullptr);
    PedestrianCrowd& crowd = PedestrianManager::Crowd();
    m.density = 1.0f;
    for (int i = 0; i < 63; ++i) m.Populate({Player(Vector3())});
    ASSERT_EQ(crowd.free.size(), 1u);
    m.density = 0.99f;
    m.Populate({Player(Vector3())});
    EXPECT_TRUE(crowd.free.empty());
}

}  // namespace
