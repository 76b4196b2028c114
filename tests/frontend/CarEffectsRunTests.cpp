// A car's damage in the demo city, played headless through the real frame: with the video
// page's car effects on, the player's skidding car marks the city and learns the surface under
// it; wrecked, it blows up once, is reported once and R brings it back.
#include <gtest/gtest.h>

#include "engine/core/InputDevice.h"
#include "game/frontend/FrontEnd.h"
#include "game/play/Game.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/BoundaryPlane.h"
#include "game/world/Decals.h"
#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51; // the main page's quick-start key
constexpr uint32_t kRespawn = 17;    // R

} // namespace

TEST(CarEffectsRun, SkidMarksTheSurfaceAndAWreckInTheDemoCity) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.Tap(3, kQuickStart);

    int32_t gameFrame = -1, wrecked = -1;
    int32_t firstDecal = 0;
    int32_t skidMarks = 0, unlisted = 0;
    SharedString surfaceSound;
    Vehicle* car = nullptr;
    GameHarness::ModeReports* reports = nullptr;
    size_t blasts = 0;
    bool wheelsOff = false, backAlive = false;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (h.CurrentName() == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);
            }
            if (gameFrame < 0) return true;
            Game& game = h.GameState();
            if (frame == gameFrame + 20) {
                // The video page's car-effects choice, applied as the page applies it.
                h.Front().settings.carEffect.Set(int32_t(1));
                h.Front().ApplyGameVideoMode();
                EXPECT_EQ(game.session.skidMarks, 1);
                EXPECT_EQ(game.session.shadowDetail, 1);
                firstDecal = DecalRing::Counter();
                // Accelerator and handbrake: the back wheels slide.
                h.Hold(frame + 1, kKeyUp, 200);
                h.Hold(frame + 1, kKeySpace, 200);
            }
            if (frame == gameFrame + 230) {
                car = game.PlayerCar();
                if (!car) return false;
                const DecalOwner* owner = SharedVehicleResources(game.vehicles).skidMarks.get();
                const std::vector<int32_t>& listed = game.world.boundary->staticDecals;
                for (int32_t n = firstDecal; n < DecalRing::Counter(); ++n) {
                    const DecalRecord* r = DecalRing::Get(n);
                    if (!r || r->owner != owner) continue;
                    ++skidMarks;
                    if (std::find(listed.begin(), listed.end(), n) == listed.end()) ++unlisted;
                }
                surfaceSound = car->damage.surfaceSoundName;
                reports = &h.RecordMode();
                car->damage.TakeDamage(1e9f, DamageBlast, nullptr);
                wrecked = frame;
            }
            if (wrecked >= 0 && frame == wrecked + 3) {
                blasts = game.vehicles.explosions ? game.vehicles.explosions->pool.Live().size() : 0;
                wheelsOff = !car->WheelJoint(0)->IsAttached() && !car->WheelJoint(3)->IsAttached();
                h.Tap(frame + 5, kRespawn);
            }
            if (wrecked >= 0 && frame == wrecked + 20) {
                backAlive = !car->IsWrecked() && car->WheelJoint(0)->IsAttached();
                return false;
            }
            return true;
        },
        3000);
    EXPECT_LT(frames, 3000);
    ASSERT_NE(car, nullptr);
    EXPECT_GT(skidMarks, 10) << "the sliding back wheels mark the road";
    EXPECT_EQ(unlisted, 0) << "every mark is one of the city's decals";
    EXPECT_FALSE(surfaceSound.IsEmpty()) << "the demo city's road has a sound";
    ASSERT_NE(reports, nullptr);
    ASSERT_EQ(reports->destroyed.size(), 1u);
    EXPECT_EQ(reports->destroyed[0].victim, car);
    EXPECT_EQ(reports->destroyed[0].killer, car) << "nobody else hit it";
    EXPECT_EQ(blasts, 1u);
    EXPECT_TRUE(wheelsOff);
    EXPECT_TRUE(backAlive) << "R brings the car back";
}
