// Explosions on the real physics layer: growth at the physics rate, the pool, the push and the
// damage, protected cars, the owner, the sound and a game reset.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "game/vehicles/Explosion.h"
#include "game/world/DamageReceiver.h"
#include "game/world/RigidBody.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/vehicles/VehicleTestSupport.h"

namespace {

using namespace vehicle_test;

// Remembers the one-shot positional sounds asked for.
class Sound3DRecorder : public testing_support::FakeAudioDevice {
public:
    void PlaySound3D(const SharedString& name, const Vector3&, float minimum, float maximum, float volume,
                     PlaybackObserver*) override {
        played.push_back(name.c_str());
        lastMinimum = minimum;
        lastMaximum = maximum;
        lastVolume = volume;
    }
    std::vector<std::string> played;
    float lastMinimum = 0.0f, lastMaximum = 0.0f, lastVolume = 0.0f;
};

class ExplosionTest : public VehicleTest {
protected:
    ExplosionPool& Pool() { return ExplosionPool::Of(flat.context); }
    bool Drawn(const Explosion* e) const {
        const auto& d = flat.world.drawables;
        return std::find(d.begin(), d.end(), static_cast<const Drawable*>(e)) != d.end();
    }
    void Spawn(PhysicsGeom* owner, const Vector3& at, bool play = false, const char* sound = "") {
        Explosion::Spawn(flat.context, owner, at, Explosion::WreckStart, Explosion::WreckMaximum, Explosion::WreckGrowth,
                         play, SharedString(sound));
    }
};

// 5 to 200 at 50000 a second: the radius passes 200 on the sixtieth 1/75 s sub-step, which
// releases the explosion (radius left at 200); the next spawn reuses it.
TEST_F(ExplosionTest, GrowsAtThePhysicsRateAndGoesBackToItsPool) {
    const int clients = flat.world.physics.ClientCount();
    const size_t drawables = flat.world.drawables.size();
    Spawn(nullptr, Vector3(1000, 50, 1000));
    ASSERT_EQ(Pool().pool.Live().size(), 1u);
    Explosion* e = Pool().pool.Live()[0];
    EXPECT_TRUE(Drawn(e));
    EXPECT_EQ(flat.world.physics.ClientCount(), clients + 1);
    EXPECT_FLOAT_EQ(e->Radius(), 5.0f);

    flat.Frames(59);
    ASSERT_EQ(Pool().pool.Live().size(), 1u);
    EXPECT_NEAR(e->Radius(), std::sqrt(25.0f + 59.0f * 50000.0f / 75.0f), 0.01f);
    flat.Frame();
    EXPECT_TRUE(Pool().pool.Live().empty());
    ASSERT_EQ(Pool().pool.Free().size(), 1u);
    EXPECT_EQ(Pool().pool.Free()[0], e);
    EXPECT_FLOAT_EQ(e->Radius(), 200.0f);
    EXPECT_FALSE(Drawn(e));
    EXPECT_EQ(flat.world.drawables.size(), drawables);
    EXPECT_EQ(flat.world.physics.ClientCount(), clients);

    Spawn(nullptr, Vector3(1000, 50, 1000));
    EXPECT_EQ(Pool().pool.Made(), 1u);
    ASSERT_EQ(Pool().pool.Live().size(), 1u);
    EXPECT_EQ(Pool().pool.Live()[0], e);
    EXPECT_FLOAT_EQ(e->Radius(), 5.0f);
    EXPECT_TRUE(Pool().pool.Free().empty());
}

// At uneven frame times the growth still follows the physics time: it ends within one sub-step
// of 0.7995 s whatever the frames were.
TEST_F(ExplosionTest, GrowthFollowsPhysicsTimeAtUnevenFrames) {
    const float frames[] = {1.0f / 30.0f, 1.0f / 90.0f, 1.0f / 45.0f, 0.05f, 1.0f / 120.0f};
    Spawn(nullptr, Vector3(1000, 50, 1000));
    float t = 0.0f;
    for (int i = 0; i < 200 && !Pool().pool.Live().empty(); ++i) {
        const float dt = frames[i % 5];
        flat.Frame(dt);
        t += dt;
    }
    ASSERT_TRUE(Pool().pool.Live().empty());
    EXPECT_GT(t, 0.7995f);
    EXPECT_LT(t, 0.7995f + 0.05f + 1e-3f);
}

// A car inside the blast (for its whole growth) is pushed away and hurt; a protected car (category 0x400) is neither.
TEST_F(ExplosionTest, PushesAndHurtsACarButNotAProtectedOne) {
    struct Case {
        const char* name;
        bool protectedCar;
    };
    for (const Case& c : {Case{"ordinary", false}, Case{"protected", true}}) {
        SCOPED_TRACE(c.name);
        Vehicle* car = flat.AddCar(taxi, 0.0f, 0.0f);
        ASSERT_NE(car, nullptr);
        flat.Frames(30); // settle on the ground
        car->SetCollisionFlag(c.protectedCar);
        const float health = car->damage.GetHealth();
        const Vector3 before = car->GetPosition();

        Spawn(nullptr, before + Vector3(30, 0, 0));
        flat.Frames(60);
        const Vector3 moved = car->GetPosition() - before;
        if (c.protectedCar) {
            EXPECT_EQ(car->damage.GetHealth(), health);
            EXPECT_NEAR(moved.x, 0.0f, 0.5f);
        } else {
            EXPECT_LT(car->damage.GetHealth(), health);
            EXPECT_LT(moved.x, -2.0f); // away from the centre
        }
        Explosion::ReleaseAll(flat.context);
        flat.world.Remove(car);
        flat.world.physics.RemoveObject(car);
        std::erase(flat.context.vehicles, car);
        flat.context.ownedVehicles.clear();
    }
}

// A damageable box on the ground (category 4, like a car) that records who each hit names.
struct Crate : public GeomOwner {
    struct Health : public DamageReceiver {
        Health() : DamageReceiver(1e6f, 0, 0.0f) {}
        void OnDamaged(float, int32_t kind, const void*) override { hits.push_back({GetInstigator(), kind}); }
        struct Hit {
            GeomOwner* instigator;
            int32_t kind;
        };
        std::vector<Hit> hits;
    };
    Crate(PhysicsWorld& world, const Vector3& at) : geom(Vector3(5, 5, 5)), body(world) {
        geom.SetCategoryBits(4);
        geom.SetCollideBits(1);
        geom.SetOwner(this);
        body.SetMass(50.0f);
        body.SetBoxInertia(Vector3(5, 5, 5));
        body.SetGeom(&geom);
        body.SetPosition(at);
        geom.AddToWorld(world);
        body.Enable();
    }
    ~Crate() override {
        if (geom.GetWorld()) geom.RemoveFromWorld(*geom.GetWorld());
        body.SetGeom(nullptr);
    }
    DamageReceiver* GetDamageReceiver() override { return &health; }
    Health health;
    BoxGeom geom;
    RigidBody body;
};

// A driven car's blast tells the observer which car caused it and its damage names that car; an
// ownerless blast tells nobody and names nobody. The blast's owner going mid-growth is forgotten.
TEST_F(ExplosionTest, OwnerIsReportedAndNamed) {
    testing_support::RecordingExplosionObserver observer;
    flat.context.explosionObserver = &observer;
    Vehicle* shooter = flat.AddCar(taxi, -600.0f, 0.0f);
    ASSERT_NE(shooter, nullptr);
    Crate crate(flat.world.physics, Vector3(0, 5, 0));
    flat.Frames(10);

    Spawn(nullptr, Vector3(20, 5, 0));
    flat.Frames(10);
    EXPECT_TRUE(observer.hits.empty());
    ASSERT_FALSE(crate.health.hits.empty());
    for (const auto& h : crate.health.hits) {
        EXPECT_EQ(h.instigator, nullptr);
        EXPECT_EQ(h.kind, DamageBlast);
    }
    Explosion::ReleaseAll(flat.context);
    crate.health.hits.clear();
    crate.body.SetPosition(Vector3(0, 5, 0));
    crate.body.SetLinearVelocity(Vector3());
    flat.Frames(10);

    const Vector3 at(20, 5, 0);
    Spawn(shooter->ChassisGeom(), at);
    ASSERT_EQ(observer.hits.size(), 1u);
    EXPECT_EQ(observer.hits[0].vehicle, shooter);
    EXPECT_FLOAT_EQ(observer.hits[0].position.x, at.x);
    flat.Frames(5);
    ASSERT_FALSE(crate.health.hits.empty());
    EXPECT_EQ(crate.health.hits[0].instigator, static_cast<GeomOwner*>(shooter));

    // The owner's car leaves the world while its blast still grows: the blast forgets it.
    ASSERT_EQ(Pool().pool.Live().size(), 1u);
    Explosion* e = Pool().pool.Live()[0];
    flat.world.Remove(shooter);
    flat.world.physics.RemoveObject(shooter);
    EXPECT_EQ(e->owner, nullptr);
    crate.health.hits.clear();
    flat.Frames(5);
    for (const auto& h : crate.health.hits) EXPECT_EQ(h.instigator, nullptr);
    flat.context.explosionObserver = nullptr;
}

// The sound: a caller's name wins, else a listed variant, else the fixed name; no play flag, no
// sound. Distances 2500 and 10000 at the effects group's volume.
TEST_F(ExplosionTest, PicksItsSound) {
    Sound3DRecorder audio;
    flat.engine.services.sound = &audio;
    VolumeGroup effects;
    effects.SetVolume(0.5f);
    flat.context.effectsVolume = &effects;

    Spawn(nullptr, Vector3(1000, 50, 1000), true, "Cannon_Explosion.WAV");
    Spawn(nullptr, Vector3(1000, 50, 1000), true);
    Spawn(nullptr, Vector3(1000, 50, 1000), false, "Cannon_Explosion.WAV");
    EXPECT_EQ(audio.played, (std::vector<std::string>{"Cannon_Explosion.WAV", "Explosion.WAV"}));
    EXPECT_EQ(audio.lastMinimum, 2500.0f);
    EXPECT_EQ(audio.lastMaximum, 10000.0f);
    EXPECT_FLOAT_EQ(audio.lastVolume, 0.5f);
    Explosion::ReleaseAll(flat.context);
    flat.context.effectsVolume = nullptr;
    flat.engine.services.sound = nullptr;
}

// A reset in the middle of the growth leaves nothing live, drawn or in the physics world, and a
// non-finite position makes no explosion.
TEST_F(ExplosionTest, ReleaseAllEmptiesTheWorld) {
    const int clients = flat.world.physics.ClientCount();
    const size_t drawables = flat.world.drawables.size();
    for (int i = 0; i < 3; ++i) Spawn(nullptr, Vector3(float(i) * 500, 50, 1000));
    Spawn(nullptr, Vector3(std::nanf(""), 0, 0));
    EXPECT_EQ(Pool().pool.Live().size(), 3u);
    flat.Frames(3);
    Explosion::ReleaseAll(flat.context);
    EXPECT_TRUE(Pool().pool.Live().empty());
    EXPECT_EQ(Pool().pool.Free().size(), 3u);
    EXPECT_EQ(flat.world.drawables.size(), drawables);
    EXPECT_EQ(flat.world.physics.ClientCount(), clients);
    flat.Frames(3);
}

} // namespace
