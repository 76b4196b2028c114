// The player's car leaves the demo city and falls onto the kill plane far below it, played
// headless through the real frame: in the free drive the camera watches the fall and the mode is
// told once; in a mode that respawns, the car reports its own death once and comes back.
#include <gtest/gtest.h>

#include "engine/core/InputDevice.h"
#include "game/play/Game.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/BoundaryPlane.h"
#include "tests/support/FrameSchedule.h"
#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51; // the main page's quick-start key
constexpr uint32_t kKeyRespawn = 17;  // R

} // namespace

TEST(KillPlaneRun, TheCarFallsOffTheCityOnceInAFreeDriveAndOnceInARespawningMode) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.Tap(3, kQuickStart);

    struct Phase {
        uint8_t respawn = 0;    // the mode's respawn flag
        int32_t start = -1;     // the frame the car was put past the edge
        int32_t landed = -1;    // the first frame it was seen at the kill plane
        int32_t respawns = 0;   // frames on which it came back from below the city
        bool spectating = false;
        GameHarness::ModeReports reports;
    };
    Phase phases[2];
    phases[1].respawn = 1;
    size_t current = 0;
    int32_t gameFrame = -1;
    Vector3 home;
    float lastY = 0.0f;
    GameHarness::ModeReports* reports = nullptr;
    constexpr int32_t kWatch = 75 * 3; // frames each phase is watched for

    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (gameFrame < 0) {
                if (h.CurrentName() != "Game") return true;
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn); // the offered car
                return true;
            }
            if (!h.HasPlayerCar()) return frame < gameFrame + 75;
            Game& game = h.GameState();
            Vehicle* car = game.PlayerCar();
            Phase& phase = phases[current];
            if (phase.start < 0) {
                if (frame < gameFrame + 30) return true;
                if (current == 0) {
                    home = car->GetPosition();
                    reports = &h.RecordMode();
                }
                h.ModeFlags().respawn = phase.respawn;
                // Just past the city's wall, where the ground ends, with the accelerator held.
                BoundingBox city;
                game.world.boundary->GetBounds(city);
                h.PlaceCar(Vector3(city.Max().x + 40.0f, 10.0f, city.centre.z));
                h.Hold(frame + 1, kKeyUp, 60);
                phase.start = frame;
                lastY = car->GetPosition().y;
                return true;
            }
            const float y = car->GetPosition().y;
            if (phase.landed < 0 && y < BoundaryPlane::KillPlaneHeight + 30.0f) phase.landed = frame;
            if (lastY < BoundaryPlane::KillPlaneHeight + 30.0f && y > -50.0f) ++phase.respawns;
            lastY = y;
            if (game.camera.CameraIndex() == ChaseCamera::SpectatorView) phase.spectating = true;
            if (frame < phase.start + kWatch) return true;

            phase.reports = *reports;
            *reports = GameHarness::ModeReports{};
            if (++current == std::size(phases)) return false;
            // Back on the road for the next phase, watched from behind again.
            h.PlaceCar(home);
            game.camera.SetCameraIndex(0);
            lastY = home.y;
            return true;
        },
        75 * 30);

    ASSERT_GE(gameFrame, 0) << "the game never became current";
    const Phase& free = phases[0];
    ASSERT_GE(free.landed, 0) << "the car never reached the kill plane";
    EXPECT_LT(free.landed - free.start, 75 * 2);
    EXPECT_EQ(free.reports.fails, 1) << "the mode hears of the fall once";
    EXPECT_TRUE(free.reports.destroyed.empty());
    EXPECT_EQ(free.respawns, 0);
    EXPECT_TRUE(free.spectating) << "the camera watches the fall";

    const Phase& respawning = phases[1];
    ASSERT_GE(respawning.landed, 0) << "the car never reached the kill plane";
    EXPECT_EQ(respawning.respawns, 1) << "the car comes back once";
    EXPECT_EQ(respawning.reports.fails, 0);
    ASSERT_EQ(respawning.reports.destroyed.size(), 1u) << "and reports its own death once";
    EXPECT_EQ(respawning.reports.destroyed[0].killer, respawning.reports.destroyed[0].victim);
}

// In the free drive the camera watches the fall from where the car left the city; when the
// player brings the car back (R) it is behind the car again, at uneven frame times too.
TEST(KillPlaneRun, AfterAFallInTheFreeDriveTheRespawnedCarIsWatchedFromBehindAgain) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.SetFrameTimes(testing_support::UnevenFrames());
    harness.Tap(3, kQuickStart);
    int32_t gameFrame = -1, start = -1, landed = -1, back = -1;
    bool spectating = false;
    uint32_t viewAfter = ChaseCamera::SpectatorView;
    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (gameFrame < 0) {
                if (h.CurrentName() != "Game") return true;
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);  // the offered car
                return true;
            }
            if (!h.HasPlayerCar()) return frame < gameFrame + 75 * 5;
            Game& game = h.GameState();
            const float y = game.PlayerCar()->GetPosition().y;
            if (start < 0) {
                if (frame < gameFrame + 30) return true;
                BoundingBox city;
                game.world.boundary->GetBounds(city);
                h.PlaceCar(Vector3(city.Max().x + 40.0f, 10.0f, city.centre.z));
                h.Hold(frame + 1, kKeyUp, 60);
                start = frame;
                return true;
            }
            if (game.camera.CameraIndex() == ChaseCamera::SpectatorView && back < 0) spectating = true;
            if (landed < 0) {
                if (y < BoundaryPlane::KillPlaneHeight + 30.0f) {
                    landed = frame;
                    h.Tap(frame + 20, kKeyRespawn);
                }
                return frame < start + 75 * 4;
            }
            if (back < 0) {
                if (y > -50.0f) back = frame;
                return frame < landed + 75 * 2;
            }
            viewAfter = game.camera.CameraIndex();
            return frame < back + 10;
        },
        75 * 30);
    ASSERT_GE(gameFrame, 0) << "the game never became current";
    ASSERT_GE(landed, 0) << "the car never reached the kill plane";
    EXPECT_TRUE(spectating) << "the camera watches the fall";
    ASSERT_GE(back, 0) << "R brings the car back";
    EXPECT_EQ(viewAfter, 0u) << "the chase view follows the car again";
}
