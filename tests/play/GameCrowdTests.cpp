// The game's crowd: made by the set-up of the kinds that have one, with the mission's density;
// run by the game's frame once the mode has started, from the cars of the game; kept by a
// restart of the game and deleted only with the mode; its hit events reach the mode in place.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <string>

#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"
#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Vehicle.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/FakeMenuExits.h"
#include "tests/support/RecordingFacility.h"
#include "tests/support/TestSupport.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/WorldWriter.h"

namespace {

// Every pedestrian killed by a hit, by the mode that heard of it.
struct HitLog {
    std::vector<std::pair<int, Pedestrian*>> hits;
};

class HitCountingMode final : public GameMode {
public:
    HitCountingMode(Game& g, HitLog& log, int id) : GameMode(g), log_(log), id_(id) {}
    void OnPedestrianHit(Vehicle*, Pedestrian& pedestrian) override { log_.hits.push_back({id_, &pedestrian}); }

private:
    HitLog& log_;
    int id_;
};

class GameCrowdTest : public ::testing::Test {
protected:
    void SetUp() override {
        PedestrianManager::ForgetCrowdForTests();
        plat::SetEngineRandSeed(5);
        // Two ordinary kinds and one rocket thrower.
        for (const char* name : {"PED01", "PED02", "MOB1"}) {
            dir.WriteBytes(std::string("Pedestrians/") + name + ".VQP", "");
            std::filesystem::create_directories(std::string("Pedestrians/") + name);
            ASSERT_TRUE(tools::WriteZkm(SharedString::Format("Pedestrians/%s/Body.ZKM", name), tools::FigureModel("F.ZKT")));
            ASSERT_TRUE(tools::WriteZka(SharedString::Format("Pedestrians/%s/Walk.ZKA", name), tools::WaveAnimation(4, 0.25f)));
        }
        dir.WriteBytes("Maps/World.VQW", "");
        ASSERT_TRUE(tools::WriteWorld(dir.Path() + "/Maps/World.VQW", world_testing::FlatWorld(4000.0f)));
        vehicle_test::WriteCar("Taxi", vehicle_test::Taxi());
        CarDefinition::LoadAll();
        taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
        ASSERT_NE(taxi, nullptr);
        game = std::make_unique<Game>(engine.services, &exits, &services);
        for (int calls = 0; !game->IsReady() && calls < 1000; ++calls) game->Load();
        ASSERT_TRUE(game->IsReady());
    }
    void TearDown() override {
        game.reset();
        PedestrianManager::ForgetCrowdForTests();
    }

    // A pavement ring of 16 nodes 1750 round the origin in place of the loaded graph.
    void PavementRing() {
        auto g = std::make_unique<RoadGraph>();
        g->Resize(16);
        for (size_t i = 0; i < 16; ++i) {
            const float a = float(i) * 0.3926991f;
            g->nodes[i].position = Vector3(1750.0f * std::cos(a), 0.0f, 1750.0f * std::sin(a));
            g->nodes[i].links = {&g->nodes[(i + 1) % 16], &g->nodes[(i + 15) % 16]};
        }
        g->BuildStrides();
        game->world.graphs.pedestrian = std::move(g);
    }
    // A taxi of the game at the position; a player's when flagged so.
    Vehicle* AddCar(const Vector3& at, bool player) {
        game->vehicles.ownedVehicles.push_back(Vehicle::Create(game->vehicles, taxi));
        Vehicle* car = game->vehicles.ownedVehicles.back().get();
        game->world.physics.AddObject(car);
        car->SetPosition(at);
        if (player) car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
        game->vehicles.vehicles.push_back(car);
        return car;
    }
    void Frames(int count) {
        for (int i = 0; i < count; ++i) game->Update();
    }

    vehicle_test::EngineThread thread;
    testing_support::TempWorkDir dir;
    testing_support::FakeMenuExits exits;
    testing_support::RecordingFrontEndServices services;
    testing_support::EngineDoubles engine;
    const CarDefinition* taxi = nullptr;
    std::unique_ptr<Game> game;
};

}  // namespace

// The free drive's set-up makes the crowd with the mission's density, and the mode's start
// sorts the special kinds; a second game made by a new set-up gets a new manager over the same
// pool.
TEST_F(GameCrowdTest, TheFreeDrivesSetUpMakesTheCrowdWithTheMissionsDensity) {
    engine.frameTime = 0.5f;
    const int32_t base = (8 + 99900) * 100;
    engine.texts.entries[base + 1] = SharedString("BONUS5");
    const Pedestrian* firstOfPool = nullptr;
    for (const char* density : {"0.5", "0.25"}) {
        SCOPED_TRACE(density);
        engine.texts.entries[base + 5] = SharedString(density);
        MissionLoadingScreen screen(*game, &exits, 8, 0, 10020);
        for (int i = 0; i < 500 && engine.states.CurrentMLP() != game.get() && !screen.abandoned; ++i) screen.Update();
        ASSERT_FALSE(screen.abandoned);
        ASSERT_NE(game->pedestrians, nullptr);
        EXPECT_EQ(game->world.pedestrians, game->pedestrians.get());
        EXPECT_FLOAT_EQ(game->pedestrians->density, float(std::atof(density)));
        PedestrianCrowd& crowd = PedestrianManager::Crowd();
        ASSERT_EQ(crowd.mobs.size(), 1u) << "the mode's start sorted the kinds";
        EXPECT_EQ(crowd.mobs[0]->name, "MOB1");
        ASSERT_EQ(crowd.pool.size(), size_t(PedestrianManager::kPoolSize));
        if (!firstOfPool) firstOfPool = crowd.pool[0].get();
        EXPECT_EQ(crowd.pool[0].get(), firstOfPool) << "one pool for every game";
        engine.states.PopMLP();
    }
    game->Reset(true);
    EXPECT_EQ(game->pedestrians, nullptr);
    EXPECT_EQ(game->world.pedestrians, nullptr);
    engine.frameTime = 0.0f;
}

// Only a started game runs the crowd; the circles come from the game's cars, and only a car
// flagged as a player's admits newcomers, while every car keeps those near it. A restart of the
// game empties the streets but keeps the crowd, which fills them again and is culled for
// drawing; only the end of the game deletes it.
TEST_F(GameCrowdTest, AStartedGameRunsTheCrowdRoundItsPlayersAndARestartKeepsIt) {
    engine.frameTime = 1.0f / 75.0f;
    PavementRing();
    HitLog log;
    game->SetMode(std::make_unique<HitCountingMode>(*game, log, 1));
    game->SetPedestrians(std::make_unique<PedestrianManager>(game->world, &game->vehicles, nullptr));
    game->pedestrians->density = 0.5f;
    Vehicle* car = AddCar(Vector3(0, 5, 0), true);
    PedestrianCrowd& crowd = PedestrianManager::Crowd();
    Frames(5);
    EXPECT_TRUE(crowd.active.empty()) << "nothing runs before the mode has started";

    game->mode->Start();
    game->mode->started = 1;
    Frames(40);
    EXPECT_EQ(crowd.active.size(), 32u) << "half the pool, one a frame";

    // The player's flag gone, the car keeps its crowd but admits nobody new.
    car->network.flagWord &= ~VehicleNetwork::PlayerCarFlag;
    game->pedestrians->density = 1.0f;
    Frames(5);
    EXPECT_EQ(crowd.active.size(), 32u);
    car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
    Frames(2);
    EXPECT_EQ(crowd.active.size(), 34u);

    game->Reset(false);
    EXPECT_TRUE(crowd.active.empty());
    EXPECT_EQ(crowd.free.size(), size_t(PedestrianManager::kPoolSize));
    ASSERT_NE(game->pedestrians, nullptr) << "a restarted game keeps its crowd";
    EXPECT_EQ(game->world.pedestrians, game->pedestrians.get()) << "and the world still draws it";

    // The restarted game: a new player's car, looking out at the ring.
    AddCar(Vector3(0, 5, 0), true);
    game->pedestrians->density = 0.5f;
    game->camera.SetCameraIndex(Game::kFreeCamera);
    game->camera.position = Vector3(0, 20, 0);
    game->camera.positionDirty = 1;
    Frames(40);
    EXPECT_EQ(crowd.active.size(), 32u);
    size_t culled = 0;
    for (const auto& type : crowd.types) culled += type->drawList.size();
    EXPECT_GT(culled, 0u) << "the frame's cull lists them for the world's draw";

    game->Reset(true);
    EXPECT_EQ(game->pedestrians, nullptr);
    EXPECT_EQ(game->world.pedestrians, nullptr);
    EXPECT_EQ(crowd.free.size(), size_t(PedestrianManager::kPoolSize)) << "the pool outlives the game";
}

// The crowd tells whichever mode the game has now: a mode put in the place of another (a game's
// recording stand-in, a new game) hears the next hit, the old one is never called again.
TEST_F(GameCrowdTest, HitsReachTheModeTheGameHasNow) {
    PavementRing();
    HitLog log;
    game->SetPedestrians(std::make_unique<PedestrianManager>(game->world, &game->vehicles, nullptr));
    game->SetMode(std::make_unique<HitCountingMode>(*game, log, 1));
    game->pedestrians->density = 1.0f;
    AddCar(Vector3(0, 5, 0), true);
    game->mode->started = 1;
    Frames(3);
    PedestrianCrowd& crowd = PedestrianManager::Crowd();
    ASSERT_EQ(crowd.active.size(), 3u);
    crowd.active[0]->OnDestroyed(0);
    game->SetMode(std::make_unique<HitCountingMode>(*game, log, 2));
    crowd.active[1]->OnDestroyed(0);
    game->SetMode(nullptr);
    crowd.active[2]->OnDestroyed(0);
    ASSERT_EQ(log.hits.size(), 2u);
    EXPECT_EQ(log.hits[0].first, 1);
    EXPECT_EQ(log.hits[0].second, crowd.active[0]);
    EXPECT_EQ(log.hits[1].first, 2);
    EXPECT_EQ(log.hits[1].second, crowd.active[1]);
}
