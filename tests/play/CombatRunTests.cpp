// Combat in the quick-start free drive played headless at players' uneven frame times: the
// city's parked cars stand where the level puts them; the player's car is put before one of
// them and the console's ROCKET arms it; one salvo blows up round the parked car, which is
// pushed and hurt. On the way the MISSILE command shows its sight; a reset of the game at the
// end takes the parked cars and every blast.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "engine/core/InputDevice.h"
#include "engine/render/Sprite.h"
#include "game/play/Game.h"
#include "game/traffic/TrafficManager.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/Vehicle.h"
#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51;
constexpr uint32_t kLeftShift = 57;

// The turn about y that points a car's nose (-z) closest to the direction.
Quaternion Facing(const Vector3& direction) {
    Quaternion best;
    float bestDot = -2.0f;
    for (int i = 0; i < 256; ++i) {
        const Quaternion q(Vector3(0, 1, 0), float(i) * Pi / 128.0f);
        const float d = Vector3::Dot(q.ToMatrix().TransformNormal(Vector3(0, 0, -1)), direction);
        if (d > bestDot) {
            bestDot = d;
            best = q;
        }
    }
    return best;
}

float Horizontal(const Vector3& v) { return std::sqrt(v.x * v.x + v.z * v.z); }

} // namespace

TEST(GameRun, ARocketSalvoAtAParkedCarBlowsUpPushesAndHurtsIt) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.SetFrameTimes(testing_support::UnevenFrames());
    harness.Tap(3, kQuickStart);

    int32_t gameFrame = -1, placed = -1, fired = -1;
    std::vector<std::string> parkedNames;
    std::vector<float> parkedDrop;  // how far each parked car stands from its record
    float parkedUp = 1.0f;
    Vehicle* parked = nullptr;
    Vector3 parkedBefore;
    float healthBefore = -1.0f, healthAfter = -1.0f, pushed = 0.0f;
    size_t mostBlasts = 0, mostRockets = 0;
    float nearestBlast = 1e9f;
    bool sightShown = false, sightSprites = false, resetClean = false;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            if (h.CurrentName() == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);
                Game& game = h.GameState();
                EXPECT_NE(game.traffic, nullptr) << "the free drive has traffic";
                if (game.traffic)
                    for (Vehicle* car : game.traffic->placedVehicles) parkedNames.push_back(car->Definition().name.c_str());
                // No moving traffic: where it comes from depends on how many frames the loading
                // took, and a car driving into the salvo's path takes the rockets instead.
                if (game.traffic) game.traffic->density = 0.0f;
            }
            if (gameFrame < 0) return true;
            Game& game = h.GameState();
            Vehicle* car = game.PlayerCar();
            if (frame == gameFrame + 60 && game.traffic) {
                // Settled where the level puts them: on their wheels, near their records.
                size_t i = 0;
                for (const PlacementRecord& r : game.world.placements.parkedCars()) {
                    if (r.mission != game.session.mission || r.episode != game.session.episode) continue;
                    if (i >= game.traffic->placedVehicles.size()) break;
                    const Vehicle* placedCar = game.traffic->placedVehicles[i++];
                    parkedDrop.push_back(Horizontal(placedCar->GetPosition() - r.position));
                    const Vector3 up = placedCar->GetOrientation().ToMatrix().TransformNormal(Vector3(0, 1, 0));
                    parkedUp = std::min(parkedUp, up.y);
                }
            }
            if (frame == gameFrame + 60 && car && game.traffic && !game.traffic->placedVehicles.empty()) {
                // The police car stands on the pavement with a building behind it: the player's
                // car goes 150 units before it, on the road, facing it and the building (the
                // rockets leave level from the roof, fly over the parked car and blow up on the
                // wall); armed first with the missile launcher, then with rockets, Fire pressed once.
                parked = game.traffic->placedVehicles[std::min<size_t>(1, game.traffic->placedVehicles.size() - 1)];
                parkedBefore = parked->GetPosition();
                const Vector3 along(0.0f, 0.0f, -1.0f);
                car->SetOrientation(Facing(along));
                h.PlaceCar(parkedBefore - along * 150.0f + Vector3(0.0f, 3.0f, 0.0f));
                h.ConsoleLine(frame + 2, "MISSILE");
                h.ConsoleLine(frame + 8, "ROCKET");
                placed = frame;
                fired = frame + 16;
                h.Tap(fired, kLeftShift);
            }
            if (placed >= 0 && frame == placed + 7 && car) {
                if (auto* launcher = WeaponOf<MissileWeapon>(car)) {
                    sightSprites = std::all_of(std::begin(launcher->aimSprites), std::end(launcher->aimSprites),
                                               [](const auto& s) { return s != nullptr && s->width > 0; });
                    sightShown = launcher->Aim(game.camera).kind != AimMark::None;
                }
            }
            if (fired >= 0 && frame == fired - 1 && parked) {
                healthBefore = parked->damage.GetHealth();
                parkedBefore = parked->GetPosition();
            }
            if (fired >= 0 && frame >= fired) {
                if (game.vehicles.explosions && parked)
                    for (const Explosion* e : game.vehicles.explosions->pool.Live())
                        nearestBlast = std::min(nearestBlast, (e->sphere.GetPosition() - parked->GetPosition()).Length());
                if (game.vehicles.explosions) mostBlasts = std::max(mostBlasts, game.vehicles.explosions->pool.Live().size());
                if (game.vehicles.projectiles)
                    mostRockets = std::max(mostRockets, game.vehicles.projectiles->rockets.Live().size());
                if (parked) pushed = std::max(pushed, Horizontal(parked->GetPosition() - parkedBefore));
            }
            if (fired >= 0 && frame == fired + 300) {
                if (parked) healthAfter = parked->damage.GetHealth();
                // A reset of the game with blasts, flames and shots perhaps still live: the
                // parked cars go with everything else, the traffic stays for the next start.
                game.Reset(false);
                resetClean = game.traffic && game.traffic->placedVehicles.empty() &&
                             (!game.vehicles.explosions || game.vehicles.explosions->pool.Live().empty()) &&
                             (!game.vehicles.projectiles || game.vehicles.projectiles->rockets.Live().empty()) &&
                             game.world.traffic == game.traffic.get();
                parked = nullptr;
                return false;
            }
            return true;
        },
        3000);
    EXPECT_LT(frames, 3000);
    EXPECT_EQ(parkedNames, (std::vector<std::string>{"CabMetro", "PoliceCruiser", "AmbulanceVan"}))
        << "the level's three parked cars of the free drive";
    ASSERT_EQ(parkedDrop.size(), 3u);
    for (float d : parkedDrop) EXPECT_LT(d, 3.0f) << "a parked car stays where it was put";
    EXPECT_GT(parkedUp, 0.95f) << "on their wheels";
    EXPECT_TRUE(sightSprites) << "the launcher's four sight sprites load from the tree";
    EXPECT_TRUE(sightShown) << "the player's launcher shows its sight";
    EXPECT_TRUE(resetClean);
    EXPECT_EQ(mostRockets, 8u) << "one salvo";
    EXPECT_GE(mostBlasts, 1u) << "the rockets blow up";
    EXPECT_LT(nearestBlast, Explosion::WreckMaximum) << "within a blast's reach of the parked car";
    EXPECT_GT(pushed, 2.0f) << "the blasts push the parked car";
    EXPECT_GT(healthBefore, 0.0f) << "a parked car was found and placed before";
    EXPECT_LT(healthAfter, healthBefore) << "and hurt it";
}
