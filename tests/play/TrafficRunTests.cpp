// The quick-start free drive's traffic played headless at players' uneven frame times: cars come
// onto the demo city's lanes out of sight round the player, never pass the road block; one that
// the player's car stands across the lane of is knocked and afterwards drives on or rests; after
// a pause and a second quick start the streets fill again from the same cars.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "game/play/Game.h"
#include "game/traffic/TrafficManager.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/RigidBody.h"
#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51;
constexpr uint32_t kPause = 48;

}  // namespace

TEST(GameRun, TrafficFillsTheStreetsTakesAKnockAndComesBackAfterASecondStart) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.SetFrameTimes(testing_support::UnevenFrames());
    harness.Tap(3, kQuickStart);

    int32_t gameFrame = -1, fiveFrame = -1, hookFrame = -1, paused = -1, secondGame = -1, secondTraffic = -1;
    float gameTime = 0.0f, fiveTime = -1.0f;
    size_t most = 0;
    int restrictedSeen = 0;
    TrafficCar* rammed = nullptr;
    bool knocked = false, settled = false;
    int32_t stateAfter = -1;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            const std::string current = h.CurrentName();
            if (current == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);
                EXPECT_NE(h.GameState().traffic, nullptr) << "the free drive has traffic";
                if (h.GameState().traffic) EXPECT_FLOAT_EQ(h.GameState().traffic->density, 0.3f);
            }
            if (gameFrame < 0 || secondGame >= 0) {
                if (secondGame >= 0 && current == "Game" && h.GameState().traffic && !h.GameState().trafficFleet.active.empty()) {
                    secondTraffic = frame;
                    const TrafficFleet& fleet = h.GameState().trafficFleet;
                    EXPECT_EQ(fleet.active.size() + fleet.pool.size(), 128u) << "the same cars, none lost";
                    return false;
                }
                return frame < secondGame + 1500 || secondGame < 0;
            }
            Game& game = h.GameState();
            if (paused < 0 && current == "Game") {
                gameTime += h.Engine().frameTime;
                const TrafficFleet& fleet = game.trafficFleet;
                most = std::max(most, fleet.active.size());
                for (const TrafficCar* car : fleet.active)
                    if (car->currentNode && (car->currentNode->occupancy & RoadNode::Restricted)) ++restrictedSeen;
                if (fiveFrame < 0 && fleet.active.size() >= 5) {
                    fiveFrame = frame;
                    fiveTime = gameTime;
                }
                // The player's car across the lane of a driving car, 60 units ahead of it.
                if (fiveFrame >= 0 && hookFrame < 0 && h.HasPlayerCar()) {
                    for (TrafficCar* car : fleet.active) {
                        if (car->state != TrafficCar::Driving || car->speed < 60.0f) continue;
                        const Vector3 at = car->Origin() + car->direction * 60.0f + Vector3(0, 4, 0);
                        game.PlayerCar()->SetOrientation(Quaternion(Vector3(0, 1, 0), std::atan2(car->direction.x, car->direction.z) + Pi * 0.5f));
                        h.PlaceCar(at);
                        rammed = car;
                        hookFrame = frame;
                        break;
                    }
                }
                if (rammed && std::find(fleet.active.begin(), fleet.active.end(), rammed) == fleet.active.end()) rammed = nullptr;
                if (rammed && (rammed->state == TrafficCar::Knocked)) knocked = true;
                if (hookFrame >= 0 && frame == hookFrame + 75 * 10) {
                    if (rammed) {
                        stateAfter = rammed->state;
                        settled = rammed->state == TrafficCar::Driving || rammed->state == TrafficCar::Recovering ||
                                  rammed->state == TrafficCar::Waiting || (rammed->state == TrafficCar::Knocked && !rammed->body);
                    }
                    h.Tap(frame + 2, kPause);
                }
            }
            if (hookFrame >= 0 && paused < 0 && current == "Main") {
                paused = frame;
                h.StartQuickGame();
            }
            if (paused >= 0 && secondGame < 0 && current == "Game") {
                secondGame = frame;
                h.Tap(frame + 5, kKeyReturn);
            }
            return true;
        },
        9000);

    EXPECT_LT(frames, 9000);
    ASSERT_GE(gameFrame, 0) << "the game never became current";
    ASSERT_GE(fiveFrame, 0) << "never five cars on the streets (most " << most << ")";
    EXPECT_LT(fiveTime, 20.0f);
    EXPECT_EQ(restrictedSeen, 0) << "no car ever drives on from the road block";
    ASSERT_GE(hookFrame, 0);
    EXPECT_TRUE(knocked) << "the car driving into the player's is knocked";
    EXPECT_TRUE(settled) << "ten seconds later it drives or rests (state " << stateAfter << ")";
    ASSERT_GE(secondGame, 0);
    EXPECT_GE(secondTraffic, 0) << "the second game has traffic again";
}
