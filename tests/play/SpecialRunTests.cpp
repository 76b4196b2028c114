// The specials and crates in the game played headless from the main page on the demo tree: the
// quick start's boost crate under the player's car at players' uneven frame times, and the
// console's JUMP used with the special key.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/core/InputDevice.h"
#include "game/play/Game.h"
#include "game/vehicles/PickupCrate.h"
#include "game/vehicles/Specials.h"
#include "game/vehicles/Vehicle.h"
#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51;  // the main page's quick-start key
constexpr uint32_t kSpecialKey = 57;  // Left Shift

PickupCrate* FindCrate(Game& game, int32_t kind) {
    for (auto& feature : game.world.crates) {
        auto* crate = dynamic_cast<PickupCrate*>(feature.get());
        if (crate && crate->kind == kind) return crate;
    }
    return nullptr;
}

template <class Kind>
Kind* SpecialOf(Vehicle* car) {
    if (!car) return nullptr;
    for (CarItem* item : car->items.specials)
        if (auto* k = dynamic_cast<Kind*>(item)) return k;
    return nullptr;
}

float FlatSpeed(const Vehicle& car) {
    const Vector3 v = car.GetLinearVelocity();
    return std::sqrt(v.x * v.x + v.z * v.z);
}

} // namespace

TEST(SpecialRun, TheBoostCrateHidesAndPushesThePlayersCarFromOneToFourSeconds) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    const testing_support::FrameSchedule schedule = testing_support::UnevenFrames();
    harness.SetFrameTimes(schedule);
    harness.Tap(3, kQuickStart);
    int32_t gameFrame = -1;
    float t = 0.0f, pickedAt = -1.0f, goneAt = -1.0f;
    float speedBefore = -1.0f, speedAfter = -1.0f;
    bool hidden = false, sawCrates = false, othersTurn = true;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (h.CurrentName() == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);
            }
            Vehicle* car = gameFrame >= 0 ? h.GameState().PlayerCar() : nullptr;
            if (!car) return true;
            Game& game = h.GameState();
            PickupCrate* crate = FindCrate(game, PickupCrate::Boost);
            if (!crate) return false;
            sawCrates = true;
            if (PickupCrate* bomb = FindCrate(game, PickupCrate::Explosive)) othersTurn = othersTurn && !bomb->spins;
            t += schedule(frame);
            if (pickedAt < 0.0f) {
                if (t > 1.0f) {
                    // Settled on the street: onto the crate.
                    h.PlaceCar(crate->basePosition + Vector3(0.0f, 4.0f, 0.0f));
                    pickedAt = t;
                }
                return true;
            }
            BoostSpecial* boost = SpecialOf<BoostSpecial>(car);
            if (boost && !hidden) hidden = crate->Hidden();
            const float since = t - pickedAt;
            if (speedBefore < 0.0f && since > 0.9f) speedBefore = FlatSpeed(*car);
            if (speedAfter < 0.0f && since > 3.8f) speedAfter = FlatSpeed(*car);
            if (goneAt < 0.0f && since > 0.5f && !boost) goneAt = since;
            return since < 5.0f;
        },
        3000);
    EXPECT_LT(frames, 3000);
    ASSERT_TRUE(sawCrates) << "the demo city's crates are the game's";
    EXPECT_TRUE(othersTurn) << "the explosive crate does not turn";
    EXPECT_TRUE(hidden) << "the taken crate hides";
    EXPECT_GT(speedAfter, speedBefore + 25.0f) << "the boost pushes between 1 and 4 s";
    EXPECT_NEAR(goneAt, 4.0f, 0.1f);
}

TEST(SpecialRun, ConsoleJumpGivesThreeHopsASecondApartThenTheJumpIsGone) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.Tap(3, kQuickStart);
    int32_t gameFrame = -1, start = -1;
    float rest = 0.0f;
    int32_t hops = 0;
    bool rising = false, given = false;
    int32_t goneFrame = -1;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (h.CurrentName() == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);
            }
            Vehicle* car = gameFrame >= 0 ? h.GameState().PlayerCar() : nullptr;
            if (!car) return true;
            if (start < 0) {
                start = frame + 90;
                h.ConsoleLine(frame + 75, "JUMP");
                for (int k = 0; k < 3; ++k) h.Tap(start + k * 80, kSpecialKey);
            }
            if (frame < start) {
                rest = car->GetPosition().y;
                return true;
            }
            if (SpecialOf<JumpSpecial>(car)) given = true;
            const float above = car->GetPosition().y - rest;
            if (!rising && above > 5.0f) {
                rising = true;
                ++hops;
            } else if (rising && above < 1.0f) {
                rising = false;
            }
            if (goneFrame < 0 && frame > start && !SpecialOf<JumpSpecial>(car)) goneFrame = frame;
            return frame < start + 320;
        },
        3000);
    EXPECT_LT(frames, 3000);
    EXPECT_TRUE(given) << "JUMP gives the player's car a jump";
    EXPECT_EQ(hops, 3);
    // The last tap is 160 frames after the first; the jump leaves a quarter second later.
    EXPECT_NEAR(goneFrame - start, 160 + 19, 3);
}
