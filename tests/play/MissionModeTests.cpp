// The single-player missions' rules on a loaded flat city with the player's taxi: the fare
// mission's money, ticker, allowance and end; the drop-point run's legs; the speed bomb's fuse;
// and the hand-over to the menus three seconds after each is decided, at uneven frame times.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "game/play/DropRunMode.h"
#include "game/play/FareMissionMode.h"
#include "game/play/Game.h"
#include "game/play/SpeedBombMode.h"
#include "game/traffic/Fare.h"
#include "game/traffic/PedestrianManager.h"
#include "game/traffic/PedestrianType.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/world/RigidBody.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/FakeMenuExits.h"
#include "tests/support/FrameSchedule.h"
#include "tests/support/TestSupport.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/WorldWriter.h"

namespace {

using testing_support::FrameSchedule;

// A fare whose delivery is worth the given price.
class PricedFare final : public Fare {
public:
    PricedFare(PedestrianType& type, PedestrianSite& site, int32_t price) : Fare(type, site), price_(price) {}
    int32_t Price() const override { return price_; }

private:
    int32_t price_;
};

class MissionModeTest : public ::testing::Test {
protected:
    static constexpr int32_t kMission = 2;
    static constexpr int32_t kBlock = 9990000 + 100 * kMission;

    void SetUp() override {
        PedestrianManager::ForgetCrowdForTests();
        plat::SetEngineRandSeed(3);
        dir.WriteBytes("Pedestrians/PED01.VQP", "");
        std::filesystem::create_directories("Pedestrians/PED01");
        ASSERT_TRUE(tools::WriteZkm("Pedestrians/PED01/Body.ZKM", tools::FigureModel("F.ZKT")));
        ASSERT_TRUE(tools::WriteZka("Pedestrians/PED01/Walk.ZKA", tools::WaveAnimation(4, 0.25f)));
        std::filesystem::create_directories("Maps");
        ASSERT_TRUE(tools::WriteWorld(dir.Path() + "/Maps/World.VQW", world_testing::FlatWorld(4000.0f)));
        vehicle_test::WriteCar("Taxi", vehicle_test::Taxi());
        CarDefinition::LoadAll();
        taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
        ASSERT_NE(taxi, nullptr);
        game = std::make_unique<Game>(engine.services, &exits, &services);
        for (int calls = 0; !game->IsReady() && calls < 1000; ++calls) game->Load();
        ASSERT_TRUE(game->IsReady());
        game->session.mission = kMission;
        type = std::make_unique<PedestrianType>(SharedString("PED01.VQP"), engine.services);
        site.world = &game->world;
        site.vehicles = &game->vehicles;
    }
    void TearDown() override {
        fares.clear();
        game->Reset(true);
        game.reset();
        PedestrianManager::ForgetCrowdForTests();
    }

    // The mode made, initialised and started as the set-up does, with the player's taxi at the
    // origin (made once the mode's own car select is up, as the car select would).
    template <class Mode>
    Mode& Begin(const std::function<void(Mode&)>& parameters = nullptr) {
        auto made = std::make_unique<Mode>(*game);
        Mode& mode = *made;
        game->SetMode(std::move(made));
        site.events = &mode;
        if (parameters) parameters(mode);
        mode.Init();
        mode.Start();
        game->vehicles.ownedVehicles.push_back(Vehicle::Create(game->vehicles, taxi));
        car = game->vehicles.ownedVehicles.back().get();
        game->world.physics.AddObject(car);
        car->SetPosition(Vector3(0, 5, 0));
        car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
        game->vehicles.vehicles.push_back(car);
        driver.vehicle = car;
        game->vehicles.localDriver = &driver;
        mode.OnCarSelected();
        mode.started = 1;
        return mode;
    }
    int32_t AddDropPoint(float x, float z, const char* name) {
        DropPoint d;
        d.position = Vector3(x, 0, z);
        d.name = SharedString(name);
        d.variants = {1};
        game->world.dropPoints.push_back(d);
        return int32_t(game->world.dropPoints.size()) - 1;
    }
    PricedFare& NewFare(int32_t price) {
        fares.push_back(std::make_unique<PricedFare>(*type, site, price));
        return *fares.back();
    }
    void Speed(float v) { car->ChassisBody()->SetLinearVelocity(Vector3(v, 0, 0)); }
    // Runs the mode's frames at the schedule's times while the condition holds (at most the
    // given seconds); the seconds run.
    float RunWhile(GameMode& mode, const FrameSchedule& schedule, const std::function<bool()>& going, float limit) {
        float t = 0.0f;
        for (int32_t frame = 0; going() && t < limit; ++frame) {
            const float dt = schedule(frame);
            mode.Update(dt);
            t += dt;
        }
        return t;
    }

    vehicle_test::EngineThread thread;
    testing_support::TempWorkDir dir;
    testing_support::FakeMenuExits exits;
    testing_support::RecordingFrontEndServices services;
    testing_support::EngineDoubles engine;
    testing_support::LogCapture log{3};
    const CarDefinition* taxi = nullptr;
    std::unique_ptr<Game> game;
    std::unique_ptr<PedestrianType> type;
    PedestrianSite site;
    std::vector<std::unique_ptr<PricedFare>> fares;
    VehicleDriver driver;
    Vehicle* car = nullptr;
};

// ---------------------------------------------------------------------------------------------
// The fare mission

TEST_F(MissionModeTest, DeliveriesAddTheirPriceAndTheTickerCountsDownToTheTarget) {
    engine.SetText(kBlock + 6, "30");
    engine.SetText(kBlock + 7, "100");
    FareMissionMode& mode = Begin<FareMissionMode>();
    EXPECT_FLOAT_EQ(mode.timeLeft, 30.0f);
    EXPECT_FLOAT_EQ(mode.moneyTarget, 100.0f);
    for (int32_t price : {40, 60, 25}) {
        PricedFare& fare = NewFare(price);
        car->AddPassenger(fare);
        EXPECT_EQ(mode.state, FareMissionMode::FareAboard);
        car->DeliverPassenger(true);
        EXPECT_EQ(mode.state, FareMissionMode::NoFare);
    }
    ASSERT_EQ(mode.ticker.size(), 3u);
    EXPECT_EQ(mode.ticker[0], SharedString("You made 40! Only 60 to go"));
    EXPECT_EQ(mode.ticker[1], SharedString("You made it!")) << "the target reached exactly";
    EXPECT_EQ(mode.ticker[2], SharedString("You made it!"));
    EXPECT_FLOAT_EQ(mode.money, 125.0f);
    // The game runs on until the time is out.
    mode.Update(1.0f);
    EXPECT_EQ(mode.state, FareMissionMode::NoFare);
    EXPECT_FALSE(mode.won);
}

TEST_F(MissionModeTest, AtTheEndOfTheTimeMoneyEqualToTheTargetWinsLessLoses) {
    struct Row {
        float money;
        bool wins;
    } rows[] = {{100.0f, true}, {99.0f, false}, {300.0f, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.money);
        exits.calls.clear();
        services.writes.clear();
        game->career = CareerProgress();
        engine.SetText(kBlock + 6, "2");
        engine.SetText(kBlock + 7, "100");
        FareMissionMode& mode = Begin<FareMissionMode>();
        mode.money = row.money;
        const FrameSchedule uneven = testing_support::UnevenFrames();
        RunWhile(mode, uneven, [&] { return mode.state < FareMissionMode::Succeeded; }, 10.0f);
        EXPECT_EQ(mode.state, row.wins ? FareMissionMode::Succeeded : FareMissionMode::Failed);
        EXPECT_EQ(mode.won, row.wins ? 1 : 0);
        EXPECT_EQ(game->career.currentMission, row.wins ? 1 : 0) << "a win moves the career on";
        EXPECT_EQ(services.writes.size(), row.wins ? 1u : 0u);
        // Three seconds of fade, then the menus, once.
        const float fade = RunWhile(mode, uneven, [&] { return exits.calls.empty(); }, 10.0f);
        EXPECT_GT(fade, GameMode::kHandOverDelay);
        EXPECT_LT(fade, GameMode::kHandOverDelay + 0.06f);
        RunWhile(mode, uneven, [] { return true; }, 2.0f);
        const std::string expected = row.wins ? "ShowSinglePlayerScore " + std::to_string(int(row.money)) + " Taxi" : "ReturnToMainPage";
        EXPECT_EQ(exits.calls, std::vector<std::string>{expected});
        EXPECT_EQ(game->career.lastPlayedMission, kMission);
        game->Reset(true);
    }
}

// The console's verdicts come after the mode's: the first one stands, and the hand-over follows
// it.
TEST_F(MissionModeTest, AFailedMissionStaysFailedWhateverComesNext) {
    for (bool failFirst : {true, false}) {
        SCOPED_TRACE(failFirst ? "failed, then won" : "won, then failed");
        exits.calls.clear();
        game->career = CareerProgress();
        engine.SetText(kBlock + 6, "30");
        engine.SetText(kBlock + 7, "100");
        FareMissionMode& mode = Begin<FareMissionMode>();
        if (failFirst) mode.Fail(), mode.Succeed();
        else mode.Succeed(), mode.Fail();
        EXPECT_EQ(mode.state, failFirst ? FareMissionMode::Failed : FareMissionMode::Succeeded);
        EXPECT_EQ(game->career.currentMission, failFirst ? 0 : 1);
        RunWhile(mode, testing_support::UnevenFrames(), [] { return true; }, 4.0f);
        ASSERT_EQ(exits.calls.size(), 1u);
        EXPECT_EQ(exits.calls[0], failFirst ? "ReturnToMainPage" : "ShowSinglePlayerScore 0 Taxi");
        game->Reset(true);
    }
}

TEST_F(MissionModeTest, AnotherCarsFaresChangeNothing) {
    engine.SetText(kBlock + 6, "30");
    engine.SetText(kBlock + 7, "100");
    FareMissionMode& mode = Begin<FareMissionMode>();
    game->vehicles.ownedVehicles.push_back(Vehicle::Create(game->vehicles, taxi));
    Vehicle* other = game->vehicles.ownedVehicles.back().get();
    PricedFare& fare = NewFare(50);
    mode.OnFareBoarded(other, fare);
    EXPECT_EQ(mode.state, FareMissionMode::NoFare);
    mode.state = FareMissionMode::FareAboard;
    mode.OnFareDelivered(other, fare);
    mode.OnFareGotOut(other, fare);
    EXPECT_EQ(mode.state, FareMissionMode::FareAboard);
    EXPECT_FLOAT_EQ(mode.money, 0.0f);
    EXPECT_TRUE(mode.ticker.empty());
}

TEST_F(MissionModeTest, AFareKeptPastItsAllowanceIsPutOutAndTheDeveloperCashCounts) {
    engine.SetText(kBlock + 6, "300");
    engine.SetText(kBlock + 7, "100");
    const int32_t far = AddDropPoint(1000, 0, "Docks");
    FareMissionMode& mode = Begin<FareMissionMode>();
    PricedFare& fare = NewFare(50);
    fare.destinations = {&game->world.dropPoints[size_t(far)]};
    fare.SetPosition(Vector3(0, 0, 0));
    car->AddPassenger(fare);
    EXPECT_NEAR(mode.fareAllowed, 10.0f, 0.01f) << "a hundredth of the distance";
    const FrameSchedule uneven = testing_support::UnevenFrames();
    const float kept = RunWhile(mode, uneven, [&] { return car->cab.passenger != nullptr; }, 20.0f);
    EXPECT_GT(kept, 10.0f);
    EXPECT_LT(kept, 10.06f);
    EXPECT_EQ(mode.state, FareMissionMode::NoFare);
    EXPECT_EQ(fare.cab, nullptr);
    mode.AddCash(200.0f);
    EXPECT_FLOAT_EQ(mode.money, 200.0f);
}

// ---------------------------------------------------------------------------------------------
// The drop-point run

TEST_F(MissionModeTest, ADropCountsInsideTheTargetOnlyBelow50) {
    AddDropPoint(0, 0, "Square");
    struct Row {
        float speed;
        int32_t drops;
    } rows[] = {{49.9f, 1}, {50.0f, 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.speed);
        DropRunMode& mode = Begin<DropRunMode>([](DropRunMode& m) {
            m.timeLeft = 60.0f;
            m.dropsRequired = 3;
        });
        ASSERT_EQ(mode.dropIndex, 0);
        EXPECT_TRUE(game->world.dropPoints[0].IsActive());
        Speed(row.speed);
        mode.Update(1.0f / 75.0f);
        EXPECT_EQ(mode.dropsDone, row.drops);
        // With one point in the level the next target is the same point, lit again.
        EXPECT_EQ(mode.dropIndex, 0);
        EXPECT_TRUE(game->world.dropPoints[0].IsActive());
        game->Reset(true);
    }
}

TEST_F(MissionModeTest, TheRunWinsAtItsLastDropAndHandsOverWithTheSecondsLeft) {
    AddDropPoint(0, 0, "Square");
    DropRunMode& mode = Begin<DropRunMode>([](DropRunMode& m) {
        m.timeLeft = 60.0f;
        m.dropsRequired = 3;
    });
    NewFare(0);
    car->AddPassenger(*fares.back());
    const FrameSchedule uneven = testing_support::UnevenFrames();
    int32_t frame = 0;
    while (!mode.won && frame < 10) mode.Update(uneven(frame++));
    EXPECT_EQ(mode.dropsDone, 3);
    EXPECT_EQ(frame, 3) << "one drop a frame at the one point";
    EXPECT_EQ(game->career.currentMission, 1);
    RunWhile(mode, uneven, [] { return true; }, 4.0f);
    EXPECT_EQ(exits.calls, std::vector<std::string>{"ShowSinglePlayerScore " + std::to_string(mode.score) + " Taxi"});
    EXPECT_EQ(mode.score, int32_t(DropRunMode::LegTime(5.0f)));
    car->DropPassenger();
}

TEST_F(MissionModeTest, TheRunFailsWhenTheTimeIsOutBeforeAnyPassenger) {
    AddDropPoint(3000, 0, "Far");
    DropRunMode& mode = Begin<DropRunMode>([](DropRunMode& m) {
        m.timeLeft = 5.0f;
        m.dropsRequired = 3;
    });
    const float t = RunWhile(mode, testing_support::UnevenFrames(), [&] { return !mode.lost; }, 10.0f);
    EXPECT_NEAR(t, 5.0f, 0.06f);
    EXPECT_EQ(mode.dropsDone, 0);
    EXPECT_TRUE(mode.waitingForPassenger);
}

TEST_F(MissionModeTest, WithoutDropPointsBothRunsLogTheCauseAndFailAtStart) {
    {
        DropRunMode& mode = Begin<DropRunMode>();
        EXPECT_TRUE(mode.lost);
        EXPECT_TRUE(log.Contains("no drop points"));
        mode.Update(0.5f);
        EXPECT_EQ(mode.Target(), nullptr);
        game->Reset(true);
    }
    log.Clear();
    {
        SpeedBombMode& mode = Begin<SpeedBombMode>([](SpeedBombMode& m) { m.targetName = SharedString("Pier"); });
        EXPECT_EQ(mode.state, SpeedBombMode::Failed);
        EXPECT_TRUE(mode.lost);
        EXPECT_TRUE(log.Contains("Not Found DropPoint Pier"));
        RunWhile(mode, testing_support::UnevenFrames(), [] { return true; }, 4.0f);
        EXPECT_EQ(exits.calls, std::vector<std::string>{"ReturnToMainPage"});
    }
}

// ---------------------------------------------------------------------------------------------
// The speed bomb

TEST_F(MissionModeTest, AnUnknownTargetIsLoggedAndTheFirstPointStays) {
    AddDropPoint(500, 0, "Pier");
    AddDropPoint(900, 0, "Bridge");
    SpeedBombMode& mode = Begin<SpeedBombMode>([](SpeedBombMode& m) { m.targetName = SharedString("bridge"); });
    EXPECT_TRUE(log.Contains("Not Found DropPoint bridge")) << "names are compared case-sensitively";
    EXPECT_EQ(mode.targetIndex, 0);
    EXPECT_NEAR(mode.timeLeft, 100.0f * std::sqrt((Vector3(500, 0, 0) - car->GetPosition()).Length()), 0.01f)
        << "the time comes from the chosen car's distance";
}

TEST_F(MissionModeTest, TheBombArmsAbove300AndBlowsAfterASecondBelow250) {
    AddDropPoint(3000, 0, "Pier");
    SpeedBombMode& mode = Begin<SpeedBombMode>([](SpeedBombMode& m) { m.targetName = SharedString("Pier"); });
    const float dt = 1.0f / 75.0f;
    Speed(300.0f);
    mode.Update(dt);
    EXPECT_FALSE(mode.armed) << "300 itself does not arm it";
    Speed(301.0f);
    mode.Update(dt);
    ASSERT_TRUE(mode.armed);
    // Slow for most of a second, then fast again: the fuse starts over.
    Speed(200.0f);
    for (int i = 0; i < 70; ++i) mode.Update(dt);
    EXPECT_LT(mode.countdown, 0.1f);
    Speed(260.0f);
    mode.Update(dt);
    EXPECT_FLOAT_EQ(mode.countdown, 1.0f);
    EXPECT_EQ(mode.state, SpeedBombMode::Running);
    // Slow for a whole second: the car is wrecked and the mission lost.
    Speed(200.0f);
    const float t = RunWhile(mode, testing_support::UnevenFrames(), [&] { return mode.state == SpeedBombMode::Running; }, 3.0f);
    EXPECT_GT(t, 1.0f);
    EXPECT_LT(t, 1.06f);
    EXPECT_EQ(mode.state, SpeedBombMode::Failed);
    EXPECT_TRUE(car->IsWrecked());
}

TEST_F(MissionModeTest, StoppingAtTheTargetWinsOnlyBelow90EvenUnarmed) {
    AddDropPoint(0, 0, "Pier");
    struct Row {
        float speed;
        int32_t state;
    } rows[] = {{90.0f, SpeedBombMode::Running}, {89.9f, SpeedBombMode::Succeeded}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.speed);
        SpeedBombMode& mode = Begin<SpeedBombMode>([](SpeedBombMode& m) { m.targetName = SharedString("Pier"); });
        Speed(row.speed);
        mode.Update(1.0f / 75.0f);
        EXPECT_FALSE(mode.armed);
        EXPECT_EQ(mode.state, row.state);
        game->Reset(true);
    }
}

}  // namespace
