// Grenades, homing missiles and rockets on the real physics layer: flight, contact, fuses and
// fuel, the explosion they leave, their sounds, the pools, a reset and a car leaving mid-flight.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>

#include "game/vehicles/Explosion.h"
#include "game/vehicles/Projectiles.h"
#include "game/world/BoundaryPlane.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/vehicles/VehicleTestSupport.h"

namespace {

using namespace vehicle_test;

// Counts the explosion sounds (the positional one-shots).
class BlastSounds : public testing_support::FakeAudioDevice {
public:
    void PlaySound3D(const SharedString& name, const Vector3&, float, float, float, PlaybackObserver*) override {
        played.push_back(name.c_str());
    }
    std::vector<std::string> played;
};

class ProjectileTest : public VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        flat.engine.services.sound = &audio;
        // The static city: one big square of boundary mesh at y = 0, in the space as the loader
        // puts it (the grenades, out of the space, meet it only through their own test).
        auto boundary = std::make_unique<BoundaryPlane>(flat.session);
        boundary->Vertices() = {-4000, 0, -4000, 4000, 0, -4000, 4000, 0, 4000, -4000, 0, 4000};
        boundary->Indices() = {0, 2, 1, 0, 3, 2};
        ASSERT_TRUE(boundary->Build());
        boundary->SetCategoryBits(1);
        boundary->SetCollideBits(0);
        boundary->SetSurface(&flat.world.staticSurface);
        boundary->AddToWorld(flat.world.physics);
        flat.world.boundary = std::move(boundary);
        flat.context.grenadeSoundCooldown = -1.0f;
        flat.context.rocketSoundCooldown = -1.0f;
    }
    void TearDown() override {
        flat.context.projectiles.reset();
        flat.context.explosions.reset();
        flat.world.boundary->RemoveFromWorld(flat.world.physics);
        flat.world.boundary.reset();
        flat.engine.services.sound = nullptr;
    }
    ProjectileKinds& Kinds() { return ProjectileKinds::Of(flat.context); }
    size_t LiveExplosions() { return ExplosionPool::Of(flat.context).pool.Live().size(); }

    BlastSounds audio;
};

// A thrown grenade falls, bounces off the city and clacks once at its first contact; its fuse
// ends in an explosion where it is, and it goes back to its pool.
TEST_F(ProjectileTest, GrenadeBouncesClacksAndBlowsUp) {
    GrenadeProjectile::Launch(flat.context, nullptr, Vector3(0, 8, 0), Vector3(150, 40, 0), 2.0f);
    ASSERT_EQ(Kinds().grenades.Live().size(), 1u);
    GrenadeProjectile* g = Kinds().grenades.Live()[0];
    const int clacksBefore = audio.plays;
    float highestAfterBounce = 0.0f;
    bool bounced = false;
    float fallingBefore = 0.0f;
    for (int i = 0; i < 60; ++i) {
        flat.Frame();
        const Vector3 v = g->body->GetLinearVelocity();
        // Turned from falling to rising: the first contact, which always clacks, once.
        if (v.y > 0.0f && fallingBefore < 0.0f && !bounced) {
            EXPECT_EQ(audio.plays - clacksBefore, 1);
            bounced = true;
        }
        fallingBefore = v.y;
        if (bounced) highestAfterBounce = std::max(highestAfterBounce, g->body->GetPosition().y);
    }
    EXPECT_TRUE(bounced);
    EXPECT_GT(highestAfterBounce, 2.0f);
    EXPECT_GE(audio.plays - clacksBefore, 1);
    EXPECT_GT(g->body->GetPosition().y, -1.0f);
    EXPECT_EQ(LiveExplosions(), 0u);

    flat.Frames(100);
    EXPECT_TRUE(Kinds().grenades.Live().empty());
    EXPECT_EQ(Kinds().grenades.Free().size(), 1u);
    EXPECT_EQ(g->body, nullptr);
    EXPECT_EQ(LiveExplosions(), 1u);
    EXPECT_EQ(audio.played, std::vector<std::string>{"Grenade_Explosion.WAV"});
}

// Fuse 0 blows up on the first sub-step; three grenades at once make one sound, and the next
// sounds once the cooldown has run down again.
TEST_F(ProjectileTest, GrenadeFuseZeroAndOneSoundPerQuarterSecond) {
    for (int i = 0; i < 3; ++i) GrenadeProjectile::Launch(flat.context, nullptr, Vector3(float(i) * 100, 50, 0), Vector3(), 0.0f);
    flat.Frame();
    EXPECT_TRUE(Kinds().grenades.Live().empty());
    EXPECT_EQ(Kinds().grenades.Made(), 3u);
    EXPECT_EQ(LiveExplosions(), 3u);
    EXPECT_EQ(audio.played.size(), 1u);
    EXPECT_FLOAT_EQ(flat.context.grenadeSoundCooldown, 0.25f);

    GrenadeProjectile::Launch(flat.context, nullptr, Vector3(0, 50, 0), Vector3(), 0.0f);
    flat.Frame();
    EXPECT_EQ(audio.played.size(), 1u);
    flat.context.grenadeSoundCooldown -= 0.26f; // what the game's frames do
    GrenadeProjectile::Launch(flat.context, nullptr, Vector3(0, 50, 0), Vector3(), 0.0f);
    flat.Frame();
    EXPECT_EQ(audio.played.size(), 2u);
    EXPECT_EQ(Kinds().grenades.Made(), 3u); // reused
}

// A missile homes on a target moving sideways and blows up on it with the larger blast; without
// a target it turns to its aim and its fuel lasts 10 s.
TEST_F(ProjectileTest, MissileHomesOnAMovingTarget) {
    BoxGeom target(Vector3(20, 20, 20));
    target.SetCategoryBits(4);
    target.SetCollideBits(0);
    Vector3 at(0, 40, -1500);
    target.SetPosition(at);
    target.AddToWorld(flat.world.physics);

    HomingMissile::Launch(flat.context, nullptr, Vector3(0, 40, 0), Vector3(0, 0, -1), Vector3(0, 0, -1), 500.0f, &target);
    int frames = 0;
    while (!Kinds().missiles.Live().empty() && frames < 300) {
        at.x += 300.0f * Step; // sideways, across the missile's path
        target.SetPosition(at);
        flat.Frame();
        ++frames;
    }
    EXPECT_TRUE(Kinds().missiles.Live().empty());
    ASSERT_EQ(LiveExplosions(), 1u);
    const Explosion* e = ExplosionPool::Of(flat.context).pool.Live()[0];
    EXPECT_EQ(e->maxRadius, 300.0f);
    EXPECT_EQ(e->growth, 75000.0f);
    EXPECT_LT((e->sphere.GetPosition() - at).Length(), 60.0f);
    EXPECT_GT(at.x, 50.0f); // it really had to turn
    EXPECT_EQ(audio.played, std::vector<std::string>{"Missile_Explosion.WAV"});
    target.RemoveFromWorld(flat.world.physics);
}

TEST_F(ProjectileTest, MissileWithoutTargetTurnsToItsAimAndRunsOutOfFuel) {
    HomingMissile::Launch(flat.context, nullptr, Vector3(0, 500, 0), Vector3(1, 0, 0), Vector3(0, 1, 0), 100.0f, nullptr);
    HomingMissile* m = Kinds().missiles.Live()[0];
    flat.Frame();
    // One blend of t = 2 dt towards the aim, then normalised.
    const float t = 2.0f * Step;
    const Vector3 expected = Vector3(1.0f - t, t, 0.0f) * (1.0f / std::sqrt((1 - t) * (1 - t) + t * t));
    EXPECT_NEAR(m->direction.x, expected.x, 1e-5f);
    EXPECT_NEAR(m->direction.y, expected.y, 1e-5f);
    flat.Frames(748); // 749 sub-steps of fuel burnt
    EXPECT_EQ(Kinds().missiles.Live().size(), 1u);
    flat.Frames(3);
    EXPECT_TRUE(Kinds().missiles.Live().empty());
    EXPECT_EQ(LiveExplosions(), 1u);
}

// A missile right at its target has no way to turn: it keeps its direction (no NaN).
TEST_F(ProjectileTest, MissileAtItsTargetKeepsItsDirection) {
    SphereGeom target(1.0f); // not in the space: only homed on
    target.SetPosition(Vector3(0, 500, 0));
    HomingMissile::Launch(flat.context, nullptr, Vector3(0, 500, 0), Vector3(0, 0, -1), Vector3(1, 0, 0), 0.0f, &target);
    HomingMissile* m = Kinds().missiles.Live()[0];
    m->speed = 0.0f;
    flat.Frame();
    EXPECT_TRUE(std::isfinite(m->direction.z));
    EXPECT_NEAR(m->direction.z, -1.0f, 1e-5f);
}

// A rocket flies level until its lifetime falls to 4 s, then wobbles up and down too; it passes
// a pedestrian and blows up on the wall behind it.
TEST_F(ProjectileTest, RocketWobblesLatePassesPedestriansAndHitsAWall) {
    RocketProjectile::Launch(flat.context, nullptr, Vector3(0, 500, 0), Vector3(0, 0, -1), Vector3(0, 0, -1), 100.0f, 0.3f);
    RocketProjectile* r = Kinds().rockets.Live()[0];
    bool wobbledUp = false;
    for (int i = 0; i < 150 && !Kinds().rockets.Live().empty(); ++i) {
        const float lifetime = r->lifetime;
        flat.Frame();
        if (lifetime > 4.0f + Step) {
            EXPECT_EQ(r->direction.y, 0.0f) << "frame " << i;
        }
        if (r->direction.y != 0.0f) wobbledUp = true;
    }
    EXPECT_TRUE(wobbledUp);
    Kinds().rockets.ReleaseAll();

    BoxGeom pedestrian(Vector3(3, 10, 3));
    pedestrian.SetCategoryBits(0x100);
    pedestrian.SetCollideBits(0);
    pedestrian.SetPosition(Vector3(0, 100, -200));
    pedestrian.AddToWorld(flat.world.physics);
    BoxGeom wall(Vector3(100, 100, 30));
    wall.SetCategoryBits(1);
    wall.SetCollideBits(0);
    wall.SetPosition(Vector3(0, 100, -600));
    wall.AddToWorld(flat.world.physics);
    const size_t blasts = LiveExplosions();
    RocketProjectile::Launch(flat.context, nullptr, Vector3(0, 100, 0), Vector3(0, 0, -1), Vector3(0, 0, -1), 2000.0f, 0.0f);
    for (int i = 0; i < 60 && !Kinds().rockets.Live().empty(); ++i) flat.Frame();
    EXPECT_TRUE(Kinds().rockets.Live().empty());
    ASSERT_EQ(LiveExplosions(), blasts + 1);
    const Explosion* e = ExplosionPool::Of(flat.context).pool.Live().back();
    EXPECT_NEAR(e->sphere.GetPosition().z, -570.0f, 40.0f);
    pedestrian.RemoveFromWorld(flat.world.physics);
    wall.RemoveFromWorld(flat.world.physics);
}

// A reset in mid-flight leaves nothing live, drawn or in the physics world; the owner's and the
// target's car leaving the world later is clean, and so is a car leaving while a missile homes
// on it (the missile forgets it and flies on to its aim).
TEST_F(ProjectileTest, ResetAndCarsLeavingMidFlight) {
    Vehicle* shooter = flat.AddCar(taxi, 0.0f, 0.0f);
    Vehicle* victim = flat.AddCar(taxi, 0.0f, -2000.0f);
    ASSERT_TRUE(shooter && victim);
    const int clients = flat.world.physics.ClientCount();
    const size_t drawables = flat.world.drawables.size();
    HomingMissile::Launch(flat.context, shooter->ChassisGeom(), Vector3(0, 30, -40), Vector3(0, 0, -1), Vector3(0, 0, -1),
                          100.0f, victim->ChassisGeom());
    RocketProjectile::Launch(flat.context, shooter->ChassisGeom(), Vector3(0, 300, -40), Vector3(0, 0, -1), Vector3(0, 0, -1), 100.0f, 0.0f);
    GrenadeProjectile::Launch(flat.context, shooter->ChassisGeom(), Vector3(0, 30, -40), Vector3(0, 50, 0), 3.0f);
    flat.Frames(3);
    ProjectileKinds::ReleaseAll(flat.context);
    EXPECT_TRUE(Kinds().missiles.Live().empty() && Kinds().rockets.Live().empty() && Kinds().grenades.Live().empty());
    EXPECT_EQ(flat.world.physics.ClientCount(), clients);
    EXPECT_EQ(flat.world.drawables.size(), drawables);

    HomingMissile::Launch(flat.context, shooter->ChassisGeom(), Vector3(0, 30, -40), Vector3(0, 0, -1), Vector3(0, 0, -1),
                          100.0f, victim->ChassisGeom());
    HomingMissile* m = Kinds().missiles.Live()[0];
    flat.Frames(2);
    for (Vehicle* car : {victim, shooter}) {
        flat.world.Remove(car);
        flat.world.physics.RemoveObject(car);
        std::erase(flat.context.vehicles, car);
    }
    flat.context.ownedVehicles.clear();
    EXPECT_EQ(m->target, nullptr);
    EXPECT_EQ(m->owner, nullptr);
    flat.Frames(5);
    EXPECT_EQ(Kinds().missiles.Live().size(), 1u);
}

} // namespace
