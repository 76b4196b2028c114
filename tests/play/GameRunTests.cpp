// The quick-start free drive played headless from the main page: loading, the game, the
// developer commands that cannot end a free drive, pausing to the main page and a second game.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>

#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/D3D8RenderFacility.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/Weapons.h"
#include "game/world/ParticleSystem.h"
#include "game/world/StaticGeometryRenderer.h"
#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51;  // the main page's quick-start key
constexpr uint32_t kPause = 48;       // the game's pause key

} // namespace

TEST(GameRun, QuickStartFreeDrive) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.Tap(3, kQuickStart);

    std::vector<float> progress;
    int32_t gameFrame = -1, paused = -1, secondStart = -1, secondGame = -1;
    bool sawMain = false;
    Vector3 start;
    float travelled = 0.0f;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            const std::string current = h.CurrentName();
            if (current == "Mission" && gameFrame < 0) {
                auto* screen = static_cast<MissionLoadingScreen*>(h.Engine().currentMLP);
                if (progress.empty() || progress.back() != screen->progress) progress.push_back(screen->progress);
            }
            if (current == "Game" && gameFrame < 0) {
                gameFrame = frame;
                EXPECT_EQ(h.Stack(), (std::vector<std::string>{"Game", "Mission", "Main"}));
                EXPECT_NE(h.Mode(), nullptr);
                EXPECT_EQ(h.GameState().session.gameType, 12);
                EXPECT_EQ(h.GameState().session.timeOfDay, 1);
                EXPECT_FLOAT_EQ(h.GameState().volumeFade, Game::kVolumeFadeStart);
                EXPECT_FALSE(h.HasPlayerCar()) << "the car select comes first";
                // Return takes the offered car; then the accelerator is held for three seconds.
                h.Tap(frame + 5, kKeyReturn);
                h.Hold(frame + 10, kKeyUp, 225);
            }
            if (gameFrame >= 0 && frame == gameFrame + 9) {
                EXPECT_TRUE(h.HasPlayerCar());
                if (h.HasPlayerCar()) start = h.PlayerCarPosition();
            }
            if (gameFrame >= 0 && frame == gameFrame + 240) {
                if (h.HasPlayerCar()) travelled = (h.PlayerCarPosition() - start).Length();
                const StaticGeometryRenderer* city = h.GameState().world.staticGeometry.get();
                EXPECT_TRUE(city && city->IndicesWritten() > 0) << "the city around the car is drawn";
                // The chase view follows from behind and above, looking along the car.
                if (Vehicle* car = h.GameState().PlayerCar()) {
                    const Matrix4 axes = car->GetOrientation().ToMatrix();
                    Vector3 forward(-axes.m[2][0], 0.0f, -axes.m[2][2]);
                    forward = forward.Normalized();
                    const ChaseCamera& camera = h.GameState().camera;
                    const Vector3 toCamera = camera.position - car->GetPosition();
                    EXPECT_EQ(camera.CameraIndex(), 0u);
                    EXPECT_LT(toCamera.Dot(forward), -20.0f) << "the camera is behind the car";
                    EXPECT_GT(toCamera.y, 0.0f) << "and above it";
                    const Matrix4 view = camera.orientation.ToMatrix();
                    const Vector3 looking(-view.m[0][2], 0.0f, -view.m[2][2]);
                    EXPECT_GT(looking.Normalized().Dot(forward), 0.9f) << "looking the way the car goes";
                }
                EXPECT_TRUE(h.Mode()->started);
                EXPECT_FALSE(h.Mode()->drewHealthBar) << "no health bar in a free drive";
                // The developer commands that end a mission change nothing in a free drive.
                h.ConsoleLine(frame + 2, "NEXTMISSION");
                h.ConsoleLine(frame + 10, "FAILMISSION");
                h.Tap(frame + 20, kPause);
            }
            if (gameFrame >= 0 && paused < 0 && current == "Main") {
                paused = frame;
                sawMain = true;
                EXPECT_FALSE(h.Mode()->won);
                EXPECT_FALSE(h.Mode()->lost);
                // A game is running: the quick-start key does nothing now.
                h.Tap(frame + 5, kQuickStart);
            }
            if (paused >= 0 && frame == paused + 20) {
                EXPECT_EQ(current, "Main");
                h.StartQuickGame();
            }
            if (paused >= 0 && current == "Mission" && secondStart < 0) secondStart = frame;
            if (secondStart >= 0 && current == "Game" && secondGame < 0) {
                secondGame = frame;
                return false;
            }
            return true;
        },
        3000);

    EXPECT_LT(frames, 3000);
    // The game reads every file of the demo tree without a complaint.
    for (std::string line : harness.Log()) {
        std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return char(std::tolower(c)); });
        for (const char* complaint : {"obsolete", "not a valid", "could not be found", "invalid", "no available loader",
                                      "not a zkm", "failed", "missing", "warning"})
            EXPECT_EQ(line.find(complaint), std::string::npos) << "logged: " << line;
    }
    ASSERT_GE(gameFrame, 0) << "the game never became current";
    ASSERT_FALSE(progress.empty());
    EXPECT_FLOAT_EQ(progress.front(), 0.0f);
    // The set-up frame (the third) makes it 0.1 and its load step adds 0.001.
    ASSERT_GE(progress.size(), 4u);
    EXPECT_NEAR(progress[3], 0.101f, 1e-6f);
    // A single-player game never waits for other players: 0.9 goes straight to 1.0.
    EXPECT_EQ(progress.back(), 1.0f);
    EXPECT_TRUE(std::find(progress.begin(), progress.end(), 0.99f) == progress.end());
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_TRUE(sawMain);
    EXPECT_GT(travelled, 100.0f) << "three seconds on the accelerator move the car";
    ASSERT_GE(secondGame, 0);
    // The world is loaded once: the second game needs only the set-up frames and the fade.
    EXPECT_LE(secondGame - secondStart, 3 + 1 + 75 * 4 + 2);
    EXPECT_FALSE(harness.LogContains("No respawns for"));
}

namespace {

float HeadingDegrees(const Vector3& d) { return std::atan2(d.x, -d.z) * 180.0f / Pi; }

float Turn(float a, float b) {
    float d = std::fmod(b - a, 360.0f);
    if (d > 180.0f) d -= 360.0f;
    if (d < -180.0f) d += 360.0f;
    return std::fabs(d);
}

} // namespace

// The free drive as a player gets it on a loaded machine, at frame times recorded there: the
// offered car, dropped at its respawn point, settles within 3 s and then stands still with the
// chase view steady behind it, unhurt and without smoke; with the accelerator held it drives
// off along its lane, upright.
TEST(GameRun, TheFreeDriveAtUnevenFrameTimesSettlesAndDrivesStraight) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    const testing_support::FrameSchedule schedule = testing_support::UnevenFrames();
    harness.SetFrameTimes(schedule);
    harness.Tap(3, kQuickStart);

    int32_t gameFrame = -1, carFrame = -1, holdFrame = -1;
    float t = 0.0f, lastHeading = 0.0f, lastCamera = 0.0f;
    float lastMoving = 0.0f, restMoved = 0.0f, restTurned = 0.0f, worstCameraStep = 0.0f;
    float worstLane = 0.0f, leastUp = 1.0f, lowestHealth = 1e9f, travelled = 0.0f;
    int smoke = 0;
    Vector3 restFrom, start;
    float restHeading = 0.0f;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (h.CurrentName() == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);
            }
            Vehicle* car = gameFrame >= 0 ? h.GameState().PlayerCar() : nullptr;
            if (!car) return true;
            if (carFrame < 0) {
                carFrame = frame;
                start = car->GetPosition();
            }
            t += schedule(frame);
            const Vector3 p = car->GetPosition();
            const float heading = HeadingDegrees(car->ChassisBody()->GetForward());
            const Matrix4 view = h.GameState().camera.WorldOrientation().ToMatrix();
            const float camera = HeadingDegrees(Vector3(-view.m[2][0], 0.0f, -view.m[2][2]));
            if (frame > carFrame) {
                const float turned = Turn(lastHeading, heading);
                if (turned < 3.0f && t > 2.0f) worstCameraStep = std::max(worstCameraStep, Turn(lastCamera, camera));
                if (holdFrame < 0 && (car->GetLinearVelocity().Length() > 1.0f || turned > 0.01f)) lastMoving = t;
            }
            lastHeading = heading;
            lastCamera = camera;
            lowestHealth = std::min(lowestHealth, car->damage.health);
            if (ParticleSystems::smoke)
                for (const ParticleGroup* g : ParticleSystems::smoke->ActiveGroups())
                    smoke += g->velocity.y >= 20.0f && g->colour[3] == 1.0f;
            if (holdFrame < 0) {
                if (t >= 3.0f && restFrom == Vector3()) {
                    restFrom = p;
                    restHeading = heading;
                }
                if (t >= 3.0f) {
                    restMoved = std::max(restMoved, (p - restFrom).Length());
                    restTurned = std::max(restTurned, Turn(restHeading, heading));
                }
                if (t >= 7.0f) {
                    // Four seconds at rest: the accelerator for three.
                    holdFrame = frame;
                    const int32_t hold = schedule.FrameAt(t + 3.0f) - schedule.FrameAt(t);
                    h.Hold(frame + 1, kKeyUp, hold);
                }
                return true;
            }
            // Along x from where it started: the lane is the start's z.
            worstLane = std::max(worstLane, std::fabs(p.z - start.z));
            leastUp = std::min(leastUp, car->ChassisBody()->GetUp().y);
            travelled = (p - restFrom).Length();
            return t < 10.0f;
        },
        4000);

    EXPECT_LT(frames, 4000);
    ASSERT_GE(carFrame, 0) << "the offered car was never taken";
    EXPECT_LT(lastMoving, 3.0f) << "settled within 3 s";
    EXPECT_LT(restMoved, 0.05f);
    EXPECT_LT(restTurned, 0.5f);
    EXPECT_LT(worstCameraStep, 3.0f);
    EXPECT_EQ(lowestHealth, VehicleDamage::MaxHealth);
    EXPECT_EQ(smoke, 0);
    EXPECT_GT(travelled, 100.0f) << "three seconds on the accelerator move the car";
    EXPECT_LT(worstLane, 40.0f) << "within its lane";
    EXPECT_GT(leastUp, 0.95f);
}

TEST(GameRun, TheChainGunFromTheConsoleHolesABuilding) {
    // Quick start, take the car, turn it to the nearest building, MINIGUN (the switch also keeps
    // the ammunition), MINIGUN again (it is used up again), then Left Shift held: the gun spins
    // up, the rounds fall and the bullets leave holes on the city.
    constexpr uint32_t kLeftShift = 57;
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.Tap(3, kQuickStart);
    int32_t gameFrame = -1, armed = -1;
    float ammoAtStart = -1.0f, ammoAfter = -1.0f;
    size_t holesBefore = 0, holesAfter = 0;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (h.CurrentName() == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);
            }
            if (gameFrame < 0) return true;
            Game& game = h.GameState();
            Vehicle* car = game.PlayerCar();
            if (frame == gameFrame + 30 && car) {
                // Face the nearest wall the gun can reach.
                float best = 1e9f;
                Quaternion facing;
                for (int i = 0; i < 32; ++i) {
                    const Quaternion q(Vector3(0, 1, 0), float(i) * Pi / 16.0f);
                    const Vector3 forward = q.ToMatrix().TransformNormal(Vector3(0, 0, -1));
                    RayHit hit;
                    if (game.world.physics.CastRay(car->GetPosition() + Vector3(0, 6, 0), forward, 800.0f, 1, nullptr, hit) &&
                        hit.distance < best) {
                        best = hit.distance;
                        facing = q;
                    }
                }
                EXPECT_LT(best, 800.0f) << "a building stands near the start";
                car->SetOrientation(facing);
                h.ConsoleLine(frame + 2, "MINIGUN");
                h.ConsoleLine(frame + 8, "MINIGUN");
                armed = frame + 14;
                h.Hold(armed, kLeftShift, 150);
            }
            if (frame == armed && car) {
                auto* gun = WeaponOf<ChainGunWeapon>(car);
                EXPECT_NE(gun, nullptr) << "MINIGUN gives the car a chain gun";
                if (gun) ammoAtStart = gun->ammo;
                holesBefore = game.world.boundary->staticDecals.size();
            }
            if (armed >= 0 && frame == armed + 145) {
                if (auto* gun = WeaponOf<ChainGunWeapon>(car)) ammoAfter = gun->ammo;
                holesAfter = game.world.boundary->staticDecals.size();
                return false;
            }
            return true;
        },
        2000);
    EXPECT_LT(frames, 2000);
    EXPECT_EQ(ammoAtStart, 1000.0f);
    // About 1.4 s of spinning up: bullets from the half second on.
    EXPECT_GT(ammoAtStart - ammoAfter, 5.0f);
    EXPECT_LT(ammoAfter, ammoAtStart);
    EXPECT_GT(holesAfter, holesBefore) << "the bullets hole the city";
}

// The engine, the catalogue of cars and the factories live for the process; the renderer goes
// with each run. A second run in the same process starts, shows the cars with its own
// renderer's models (none freed with the first renderer) and drives.
TEST(GameRun, ASecondProgramRunInTheSameProcessPlaysWithItsOwnRenderersModels) {
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(::testing::Message() << "run " << run);
        GameHarness harness(METROFARE_DEMO_BINARY);
        ASSERT_TRUE(harness.TreeWritten());
        harness.Tap(3, kQuickStart);
        int32_t gameFrame = -1, carFrame = -1;
        bool ownModels = false;
        harness.Run(
            [&](GameHarness& h, int32_t frame) {
                if (gameFrame < 0) {
                    if (h.CurrentName() != "Game") return true;
                    gameFrame = frame;
                    h.Tap(frame + 5, kKeyReturn);  // the offered car
                    return true;
                }
                if (!h.HasPlayerCar()) return frame < gameFrame + 75 * 5;
                carFrame = frame;
                const RenderFacility* renderer = h.Engine().renderer;
                ownModels = CarCatalogue::Instance().Count() > 0;
                for (const CarDefinition* car : CarCatalogue::Instance().Entries())
                    for (const D3D8Mesh* mesh : car->chassisMeshes)
                        ownModels = ownModels && renderer && mesh->Facility() == renderer;
                return false;
            },
            75 * 40);
        EXPECT_GE(gameFrame, 0) << "the game never became current";
        EXPECT_GE(carFrame, 0) << "the offered car was never taken";
        EXPECT_TRUE(ownModels) << "every car model was built by this run's renderer";
    }
}
