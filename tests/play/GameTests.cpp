// The game on the demo tree, headless: it loads the city, the car select offers the demo cars,
// Return hands one over, the arrows drive it, and a car that falls off the world comes back.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "engine/core/Engine.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/TextureFactory.h"
#include "game/play/Game.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/CarSelectController.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/Vehicle.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/TestSupport.h"

namespace {

constexpr float Step = 1.0f / 75.0f;

struct Factories {
    Factories() {
        ZKEngine::Instance().mainThread = Thread::Current();
        Clear();
    }
    ~Factories() { Clear(); }
    static void Clear() {
        CarCatalogue::Instance().ClearForTests();
        MeshFactory::Instance().ClearForTests();
        TextureFactory::Instance().ClearForTests();
    }
};

} // namespace

TEST(Game, TheDemoTaxiIsChosenDrivenAndRespawnedAfterAFall) {
    testing_support::TempWorkDir dir;
    Factories factories;
    testing_support::LogCapture log{3};
    ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
    testing_support::FakeInputDevice input;
    SetDefaultDrivingBindings(&input);
    Game game(nullptr, &input);
    auto frame = [&] {
        game.HandleInput();
        game.Step(Step);
        input.pressed.clear();
    };
    game.Load();
    ASSERT_FALSE(game.world.LoadFailed());
    ASSERT_TRUE(game.IsReady());
    const int32_t worldClients = game.world.physics.ClientCount();
    game.Activate();
    auto* select = dynamic_cast<CarSelectController*>(game.Controller());
    ASSERT_NE(select, nullptr);
    EXPECT_EQ(select->Count(), 4) << "the four demo cars";
    EXPECT_EQ(game.mode.started, 0);
    // Turn to the taxi, then confirm.
    for (int i = 0; i < select->Count() && select->Current()->Definition().name != SharedString("CabMetro"); ++i) {
        input.pressed = {CarSelectController::RightKey};
        frame();
    }
    ASSERT_EQ(select->Current()->Definition().name, SharedString("CabMetro"));
    input.pressed = {kKeyReturn};
    frame();
    frame();
    Vehicle* car = game.PlayerCar();
    ASSERT_NE(car, nullptr);
    EXPECT_EQ(car->Definition().name, SharedString("CabMetro"));
    EXPECT_EQ(game.mode.started, 1);
    EXPECT_EQ(game.camera.Target(), car);
    EXPECT_EQ(game.world.physics.ClientCount(), worldClients + 1) << "the other candidates are gone";

    for (int f = 0; f < 75; ++f) frame();
    input.held = {kKeyUp};
    for (int f = 0; f < 300; ++f) frame();
    input.held.clear();
    EXPECT_GT(car->GetLinearVelocity().Length() * 0.36f, 30.0f);
    EXPECT_GE(car->gear, 2);

    // Off the world: the kill plane respawns the player's car.
    car->SetPosition(car->GetPosition() + Vector3(0, -320, 0) - Vector3(0, car->GetPosition().y, 0));
    int f = 0;
    for (; f < 150 && car->GetPosition().y < -100.0f; ++f) frame();
    EXPECT_LT(f, 150);
    EXPECT_GT(car->GetPosition().y, -10.0f);
    EXPECT_FALSE(game.mode.failed);
    EXPECT_FALSE(log.Contains("Fixing body"));
}
