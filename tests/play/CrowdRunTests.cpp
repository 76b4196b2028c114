// The crowd of the quick-start free drive played headless at uneven frame times: people on the
// pavements round the car; stopped behind one, the car's view shows it drawn; run over at
// speed it is knocked down, dies, and the mode hears of it once; after a pause to the main page
// a second game has its crowd again.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "game/play/Game.h"
#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/RigidBody.h"
#include "tests/support/GameHarness.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = 51;  // the main page's quick-start key
constexpr uint32_t kPause = 48;       // the game's pause key

// What a frame of a running game shows of its crowd: how many are out, how many of them are
// near the player's car, and how many were culled this frame (and so drawn by its render, which
// empties the kinds' lists).
struct CrowdView {
    size_t active = 0, near = 0, drawn = 0, listed = 0;
};

CrowdView Look(GameHarness& h) {
    CrowdView v;
    const PedestrianCrowd& crowd = PedestrianManager::Crowd();
    const Vector3 car = h.PlayerCarPosition();
    // The engine counts the frame just run by the time the watcher looks.
    const uint32_t frame = h.Engine().Services().FrameNumber();
    v.active = crowd.active.size();
    for (const Pedestrian* p : crowd.active) {
        if ((p->GetPosition() - car).LengthSquared() < PedestrianManager::kDespawnSquared) ++v.near;
        if (p->drawnFrame != 0xFFFFFFFFu && p->drawnFrame + 1u >= frame) ++v.drawn;
    }
    for (const auto& type : crowd.types) v.listed += type->drawList.size();
    return v;
}

// Puts the car `back` units behind the pedestrian (from the car's nose), facing the way it
// walks and going `speed` units a second.
void PlaceBehind(Vehicle& car, const Pedestrian& p, float back, float speed) {
    Vector3 along = p.facing;
    along.y = 0.0f;
    along = along.LengthSquared() > 0.0f ? along.Normalized() : Vector3(0.0f, 0.0f, -1.0f);
    const float halfLength = car.body.chassisBox->GetHalfExtents().z;
    car.SetOrientation(Quaternion(Vector3(0.0f, 1.0f, 0.0f), std::atan2(-along.x, -along.z)));
    BoundingBox box;
    p.GetBounds(box);
    const Vector3 feet = p.GetPosition();
    car.SetPosition(Vector3(feet.x, box.centre.y - box.halfExtents.y + 4.0f, feet.z) - along * (halfLength + back));
    const Vector3 v = along * speed;
    car.ChassisBody()->SetLinearVelocity(v);
    for (auto& wheel : car.body.wheelBodies) wheel->SetLinearVelocity(v);
}

}  // namespace

TEST(CrowdRun, TheQuickStartsCrowdWalksRoundTheCarAndOneRunOverDiesOnce) {
    GameHarness harness(METROFARE_DEMO_BINARY, 3);
    ASSERT_TRUE(harness.TreeWritten());
    const testing_support::FrameSchedule schedule = testing_support::UnevenFrames();
    harness.SetFrameTimes(schedule);
    harness.Tap(3, kQuickStart);

    int32_t gameFrame = -1, carFrame = -1, crowdFrame = -1, hitFrame = -1, paused = -1, secondGame = -1,
            secondCrowd = -1;
    float clock = 0.0f, carTime = 0.0f, lookTime = 0.0f, hitTime = 0.0f, secondTime = 0.0f;
    bool victimDrawn = false;
    size_t drawnMost = 0, listedAfterRender = 0;
    GameHarness::ModeReports* reports = nullptr;
    Pedestrian* victim = nullptr;
    int32_t knockedAt = -1, deadAt = -1;
    bool killedByHit = false;
    CrowdView first, second;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            clock += schedule(frame);
            const std::string current = h.CurrentName();
            if (current == "Game" && gameFrame < 0) {
                gameFrame = frame;
                h.Tap(frame + 5, kKeyReturn);  // the offered car
            }
            if (gameFrame >= 0 && carFrame < 0 && h.HasPlayerCar() && h.Mode() && h.Mode()->started) {
                carFrame = frame;
                carTime = clock;
                reports = &h.RecordMode();
            }
            // Within 10 s people are out round the car.
            if (carFrame >= 0 && crowdFrame < 0) {
                const CrowdView v = Look(h);
                if (v.near >= 16) {
                    crowdFrame = frame;
                    first = v;
                    // The car stops behind the nearest walker, which the chase view then shows.
                    const Vector3 car = h.PlayerCarPosition();
                    float best = 1e30f;
                    for (Pedestrian* p : PedestrianManager::Crowd().active) {
                        const float d = (p->GetPosition() - car).LengthSquared();
                        if (p->state == Pedestrian::Walking && d < best) best = d, victim = p;
                    }
                    if (!victim) return false;
                    PlaceBehind(*h.GameState().PlayerCar(), *victim, 150.0f, 0.0f);
                    lookTime = clock;
                } else if (clock - carTime > 10.0f) {
                    first = v;
                    return false;
                }
            }
            // Drawn, it is run over at speed.
            if (crowdFrame >= 0 && hitFrame < 0) {
                const CrowdView v = Look(h);
                const uint32_t now = h.Engine().Services().FrameNumber();
                victimDrawn = victimDrawn || (victim->drawnFrame != 0xFFFFFFFFu && victim->drawnFrame + 1u >= now);
                drawnMost = std::max(drawnMost, v.drawn);
                listedAfterRender = std::max(listedAfterRender, v.listed);
                if (victimDrawn || clock - lookTime > 3.0f) {
                    PlaceBehind(*h.GameState().PlayerCar(), *victim, 4.0f, 150.0f);
                    hitFrame = frame;
                    hitTime = clock;
                }
            }
            if (hitFrame >= 0 && paused < 0 && victim) {
                if (knockedAt < 0 && victim->state == Pedestrian::Knocked) knockedAt = frame;
                if (deadAt < 0 && victim->state == Pedestrian::Dead) {
                    deadAt = frame;
                    killedByHit = victim->killedByHit;
                }
                const bool decided = deadAt >= 0 && clock - hitTime > 12.0f;
                if (decided || clock - hitTime > 14.0f) {
                    if (knockedAt < 0 && deadAt < 0) return false;  // missed: nothing more to see
                    h.Tap(frame + 1, kPause);
                    paused = frame;
                }
            }
            if (paused >= 0 && current == "Main" && secondGame < 0 && frame == paused + 20) h.StartQuickGame();
            if (paused >= 0 && current == "Game" && secondGame < 0 && frame > paused + 20) {
                secondGame = frame;
                h.Tap(frame + 5, kKeyReturn);
            }
            if (secondGame >= 0 && secondCrowd < 0 && h.HasPlayerCar()) {
                if (secondTime == 0.0f) secondTime = clock;
                const CrowdView v = Look(h);
                if (v.near >= 16) {
                    secondCrowd = frame;
                    second = v;
                    return false;
                }
                if (clock - secondTime > 10.0f) {
                    second = v;
                    return false;
                }
            }
            return true;
        },
        4000);

    EXPECT_LT(frames, 4000);
    ASSERT_GE(carFrame, 0) << "the game never gave the player a car";
    ASSERT_GE(crowdFrame, 0) << "after 10 s: " << first.active << " out, " << first.near << " near the car";
    EXPECT_LE(first.active, size_t(32)) << "half the pool at density 0.5";
    EXPECT_TRUE(victimDrawn) << "the walker ahead of the car is drawn";
    EXPECT_GT(drawnMost, 0u);
    EXPECT_EQ(listedAfterRender, 0u) << "the render drew and emptied the kinds' lists";
    ASSERT_GE(hitFrame, 0);
    EXPECT_GE(knockedAt, hitFrame) << "the car's hit knocks the pedestrian down";
    ASSERT_GE(deadAt, knockedAt) << "and it dies";
    ASSERT_NE(reports, nullptr);
    ASSERT_EQ(reports->pedestrianHits.size(), 1u) << "one hit event";
    EXPECT_EQ(reports->pedestrianHits[0].pedestrian, victim);
    EXPECT_TRUE(killedByHit);
    ASSERT_GE(secondGame, 0) << "no second game after the pause";
    EXPECT_GE(secondCrowd, 0) << "the second game's crowd after 10 s: " << second.active << " out, " << second.near
                              << " near the car";
}
