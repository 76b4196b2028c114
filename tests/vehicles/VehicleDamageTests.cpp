// A car's damage on the real physics layer, through the world's update: what a hit does (the
// protected parked ambulance, player-only damage, the fare race's rider, the bullet-hit voice,
// the crash window and its debris), the wreck (once: its blast, its rider, the killer reported,
// its wheels off and burning), sparks, skid marks, the surface sound and impacts shared between
// two cars.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "game/vehicles/Explosion.h"
#include "game/vehicles/Passenger.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/BoundaryPlane.h"
#include "game/world/Decals.h"
#include "game/world/ParticleSystem.h"
#include "game/world/RigidBody.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FrameSchedule.h"
#include "tests/vehicles/VehicleTestSupport.h"

namespace {

using namespace vehicle_test;
using testing_support::FrameSchedule;

// Remembers the one-shot sounds asked for.
class OneShotRecorder : public testing_support::FakeAudioDevice {
public:
    void PlaySound(const SharedString& name, float, PlaybackObserver*) override { played.push_back(name.c_str()); }
    std::vector<std::string> played;
};

// A driver that counts the car's reports; the local player's when it holds the chase camera.
struct CountingDriver : public VehicleDriver {
    void OnHit() override { ++hits; }
    void OnWrecked() override { ++wrecks; }
    int hits = 0;
    int wrecks = 0;
};

struct Rider : public Passenger {
    bool Board(Vehicle&) override { return true; }
    void Arrive(bool) override {}
    void GetOut() override { ++outs; }
    void TakeHit(float amount, int32_t kind) override { hits.push_back({amount, kind}); }
    struct Hit {
        float amount;
        int32_t kind;
    };
    int outs = 0;
    std::vector<Hit> hits;
};

// A thing of the pedestrians' category that hits cars.
struct Walker : public GeomOwner {
    Walker() : geom(Vector3(1, 1, 1)) { geom.SetCategoryBits(0x100); }
    BoxGeom geom;
};

class DamageTest : public VehicleTest {
protected:
    void SetUp() override {
        std::filesystem::create_directories("Vehicles");
        WriteCar("Ambulance", Taxi(), 1, 0);
        for (const char* f : {"Audio/bullethit_impact1.WAV", "Audio/bullethit_impact2.WAV"}) dir.WriteBytes(f, "RIFF");
        flat.engine.services.sound = &audio;
        VehicleTest::SetUp();
        ambulance = CarCatalogue::Instance().FindByName(SharedString("Ambulance"));
        ASSERT_NE(ambulance, nullptr);
        ASSERT_TRUE(ambulance->HasFlag(kCarProtected));
        ParticleSystems::Create(nullptr, Vector3(0.0f, World::Gravity, 0.0f), nullptr);
    }
    void TearDown() override {
        Explosion::ReleaseAll(flat.context);
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        // The shared voices go back to this test's device while it lives.
        flat.context.resources.reset();
        ParticleSystems::Destroy();
    }

    // The static city: one floor at y = 0 (two triangles, 4000 across) named `surface`, and a
    // wall across the road at z = -wallZ when asked for.
    void BuildCity(const char* surface, float wallZ = 0.0f) {
        flat.world.boundary = std::make_unique<BoundaryPlane>(flat.session);
        BoundaryPlane& b = *flat.world.boundary;
        b.Vertices() = {-2000, 0, -2000, 2000, 0, -2000, -2000, 0, 2000, 2000, 0, 2000};
        b.Indices() = {0, 2, 1, 1, 2, 3};
        if (wallZ != 0.0f) {
            const float z = -wallZ;
            const std::vector<float> wall = {-200, 0, z, 200, 0, z, -200, 100, z, 200, 100, z};
            b.Vertices().insert(b.Vertices().end(), wall.begin(), wall.end());
            const std::vector<int32_t> tris = {4, 5, 6, 5, 7, 6};
            b.Indices().insert(b.Indices().end(), tris.begin(), tris.end());
        }
        const size_t triangles = b.Indices().size() / 3;
        b.triangleVariants.assign(triangles, 0);
        ASSERT_TRUE(b.Build());
        b.SetCategoryBits(1);
        b.SetCollideBits(0);
        b.SetSurface(&flat.world.staticSurface);
        b.AddToWorld(flat.world.physics);
        NameSurfaces(surface);
    }
    void NameSurfaces(const char* name) {
        flat.world.surfaces.assign(flat.world.boundary->Indices().size() / 3, {});
        for (SurfaceName& s : flat.world.surfaces) {
            s.name = SharedString(name);
            s.fileName = SharedString::Format("%s.WAV", name);
        }
    }

    // The player's car (its driver holds the chase camera) and a parked car beside it.
    Vehicle* AddPlayer(float x = 0.0f, float z = 0.0f) {
        Vehicle* v = flat.AddCar(taxi, x, z);
        v->damage.impactDamage = 0;
        player.camera = &flat.camera;
        player.vehicle = v;
        v->controller = &player;
        return v;
    }
    Vehicle* AddParked(const CarDefinition* definition, float x, float z = 0.0f) {
        Vehicle* v = flat.AddCar(definition, x, z);
        parked.vehicle = v;
        v->controller = &parked;
        return v;
    }
    void Board(Vehicle* car, Rider& rider) {
        car->cab.passenger = &rider;
        car->cab.passengers.push_back(&rider);
        rider.cab = car;
    }
    // Every body of the car moves by the offset, keeping its velocity.
    static void Shift(Vehicle* car, const Vector3& offset) {
        car->ChassisBody()->SetPosition(car->ChassisBody()->GetPosition() + offset);
        for (int i = 0; i < 4; ++i) car->WheelBody(i)->SetPosition(car->WheelBody(i)->GetPosition() + offset);
    }
    static void Launch(Vehicle* car, const Vector3& velocity) {
        car->ChassisBody()->SetLinearVelocity(velocity);
        for (int i = 0; i < 4; ++i) car->WheelBody(i)->SetLinearVelocity(velocity);
    }
    ExplosionPool& Blasts() { return ExplosionPool::Of(flat.context); }
    static size_t Live(ParticleSystem* system) { return system ? system->ActiveGroups().size() : 0; }

    OneShotRecorder audio;
    CountingDriver player;
    CountingDriver parked;
    const CarDefinition* ambulance = nullptr;
};

// ---------------------------------------------------------------------------------------------
// What one hit does

TEST_F(DamageTest, WhatAHitDoesDependsOnTheCarTheGameAndTheHit) {
    enum class Target { Player, Parked, ParkedAmbulance, PlayerAmbulance };
    enum class By { Nobody, OtherCar, Walker };
    struct Case {
        const char* name;
        Target target;
        uint8_t playerOnly;
        int32_t gameType;
        bool rider;
        float amount;
        int32_t kind;
        By by;
        // Expected.
        float health;
        bool riderOut;
        int bulletVoices;
        float crashDamage;
        int debris;
    };
    const Case cases[] = {
        {"a parked ambulance cannot be hurt, not even by its whole health", Target::ParkedAmbulance, 0, 0, false,
         1000, DamageBlast, By::Nobody, 1000, false, 0, 0, 0},
        {"a player's ambulance is hurt", Target::PlayerAmbulance, 0, 0, false, 300, DamageBlast, By::Nobody, 700, false,
         0, 0, 0},
        {"player-only damage spares the other cars", Target::Parked, 1, 0, false, 300, DamageImpact, By::OtherCar, 1000,
         false, 0, 0, 0},
        {"player-only damage still hurts the player", Target::Player, 1, 0, false, 300, DamageBlast, By::Nobody, 700,
         false, 0, 0, 0},
        {"fare race: a hit above 2 % puts the rider out", Target::Parked, 0, 16, true, 25, DamageBlast, By::Nobody, 975,
         true, 0, 0, 0},
        {"fare race: a hit of 2 % keeps the rider", Target::Parked, 0, 16, true, 20, DamageBlast, By::Nobody, 980,
         false, 0, 0, 0},
        {"another game keeps the rider", Target::Parked, 0, 0, true, 300, DamageBlast, By::Nobody, 700, false, 0, 0, 0},
        {"a bullet on the player plays one voice", Target::Player, 0, 0, false, 5, DamageBullet, By::OtherCar, 995,
         false, 1, 0, 0},
        {"a bullet on a parked car plays none", Target::Parked, 0, 0, false, 5, DamageBullet, By::OtherCar, 995, false,
         0, 0, 0},
        {"an impact on the player opens the crash window", Target::Player, 0, 0, false, 10, DamageImpact, By::OtherCar,
         990, false, 0, 10, 2},
        {"a small impact throws one piece", Target::Player, 0, 0, false, 2, DamageImpact, By::Nobody, 998, false, 0, 2,
         1},
        {"a tiny impact throws nothing", Target::Player, 0, 0, false, 0.5f, DamageImpact, By::Nobody, 999.5f, false, 0,
         0.5f, 0},
        {"a hard impact throws many", Target::Player, 0, 0, false, 200, DamageImpact, By::OtherCar, 800, false, 0, 200,
         40},
        {"a pedestrian's knock makes no crash", Target::Player, 0, 0, false, 50, DamageImpact, By::Walker, 950, false,
         0, 0, 0},
        {"an impact on a parked car makes no crash", Target::Parked, 0, 0, false, 50, DamageImpact, By::OtherCar, 950,
         false, 0, 0, 0},
    };
    BuildCity("Road");
    Walker walker;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flat.session.playerOnlyDamage = 0;
        flat.session.gameType = 0;
        Vehicle* me = AddPlayer(0.0f, 0.0f);
        Vehicle* other = nullptr;
        Vehicle* target = me;
        if (c.target == Target::Player) {
            other = AddParked(taxi, 100.0f);
        } else if (c.target == Target::PlayerAmbulance) {
            // The ambulance is the player's: the traffic code's mark is clear.
            other = AddParked(taxi, 100.0f);
            target = flat.AddCar(ambulance, -100.0f);
            target->damage.impactDamage = 0;
            me->controller = nullptr;
            target->controller = &player;
            player.vehicle = target;
        } else {
            target = AddParked(c.target == Target::ParkedAmbulance ? ambulance : taxi, 100.0f);
            other = me;
        }
        Rider rider;
        if (c.rider) Board(target, rider);
        flat.Frames(15); // settled; the crash window long closed
        flat.session.playerOnlyDamage = c.playerOnly;
        flat.session.gameType = c.gameType;

        VehicleResources& shared = SharedVehicleResources(flat.context);
        const size_t voiceBefore = shared.nextBulletHit;
        const int playsBefore = audio.plays;
        const size_t debrisBefore = Live(ParticleSystems::smoke);
        PhysicsGeom* hitter = c.by == By::OtherCar ? other->ChassisGeom() : c.by == By::Walker ? &walker.geom : nullptr;
        target->damage.TakeDamageFrom(hitter, c.amount, c.kind, nullptr);

        EXPECT_FLOAT_EQ(target->damage.GetHealth(), c.health);
        EXPECT_EQ(audio.plays - playsBefore, c.bulletVoices);
        EXPECT_EQ(shared.nextBulletHit - voiceBefore, size_t(c.bulletVoices));
        EXPECT_FLOAT_EQ(target->damage.crashDamage, c.crashDamage);
        if (c.crashDamage > 0.0f) {
            EXPECT_FLOAT_EQ(target->damage.crashTimer, 0.1f);
        }
        EXPECT_EQ(Live(ParticleSystems::smoke) - debrisBefore, size_t(c.debris));
        if (c.rider) EXPECT_FLOAT_EQ(rider.rideDamage, c.amount);

        // The rider is put out only once the step is over.
        EXPECT_EQ(rider.outs, 0);
        flat.Frame();
        EXPECT_EQ(rider.outs, c.riderOut ? 1 : 0);
        EXPECT_EQ(target->cab.passenger, c.riderOut || !c.rider ? nullptr : &rider);
        EXPECT_FALSE(target->IsWrecked());
        EXPECT_TRUE(Blasts().pool.Live().empty());

        target->cab.passenger = nullptr;
        target->cab.passengers.clear();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
    }
}

// A hit above 5 % of the player's health makes its driver react about every other time, once
// the step is over; smaller hits and hits on other cars never do.
TEST_F(DamageTest, HardHitsOnThePlayerMakeItsDriverReactAboutHalfTheTime) {
    BuildCity("Road");
    Vehicle* me = AddPlayer();
    Vehicle* other = AddParked(taxi, 200.0f);
    flat.Frames(5);
    const auto hits = [&](Vehicle* car, float amount) {
        CountingDriver& driver = car == me ? player : parked;
        driver.hits = 0;
        for (int i = 0; i < 40; ++i) {
            car->damage.TakeDamage(amount, DamageBlast, nullptr);
            car->damage.health = car->damage.maxHealth;
            if (i == 0) EXPECT_EQ(driver.hits, 0) << "not while the hit is taken";
            flat.Frame();
        }
        return driver.hits;
    };
    const int hard = hits(me, 60.0f);
    EXPECT_GT(hard, 5);
    EXPECT_LT(hard, 35);
    EXPECT_EQ(hits(me, 50.0f), 0);
    EXPECT_EQ(hits(other, 300.0f), 0);
}

// The crash window opens only when it has been closed for a tenth of a second; hits inside it
// add up.
TEST_F(DamageTest, ImpactsOnThePlayerAddUpInOneCrashWindow) {
    BuildCity("Road");
    Vehicle* me = AddPlayer();
    flat.Frames(15);
    me->damage.TakeDamage(10, DamageImpact, nullptr);
    flat.Frame(); // 0.0867 s left
    me->damage.TakeDamage(5, DamageImpact, nullptr);
    EXPECT_FLOAT_EQ(me->damage.crashDamage, 15.0f);
    EXPECT_LT(me->damage.crashTimer, 0.1f);
}

// ---------------------------------------------------------------------------------------------
// The wreck

TEST_F(DamageTest, AWreckBlowsUpOncePutsItsRiderOutOnceAndBurns) {
    BuildCity("Road");
    Vehicle* me = AddPlayer(-300.0f);
    Vehicle* car = AddParked(taxi, 0.0f);
    Rider rider;
    Board(car, rider);
    flat.Frames(15);
    const int loopedBefore = audio.loopedPlays;

    car->damage.TakeDamageFrom(me->ChassisGeom(), 5000.0f, DamageBlast, nullptr);
    EXPECT_TRUE(car->IsWrecked());
    // Only noted while the hit is taken: the blast, the rider and the report wait for the step.
    EXPECT_EQ(parked.wrecks, 0);
    EXPECT_TRUE(flat.rules.destroyed.empty());
    EXPECT_EQ(rider.outs, 0);

    const Vector3 at = car->GetPosition();
    flat.Frame();
    EXPECT_EQ(parked.wrecks, 1);
    ASSERT_EQ(Blasts().pool.Live().size(), 1u);
    const Explosion* blast = Blasts().pool.Live()[0];
    EXPECT_EQ(blast->owner, car->ChassisGeom());
    EXPECT_FLOAT_EQ(blast->startRadius, 5.0f);
    EXPECT_FLOAT_EQ(blast->maxRadius, 200.0f);
    EXPECT_FLOAT_EQ(blast->growth, 50000.0f);
    EXPECT_LT((blast->sphere.GetPosition() - at).Length(), 5.0f);
    EXPECT_EQ(rider.outs, 1);
    ASSERT_EQ(rider.hits.size(), 1u);
    EXPECT_FLOAT_EQ(rider.hits[0].amount, 100000.0f);
    EXPECT_EQ(rider.hits[0].kind, DamageImpact);
    EXPECT_EQ(car->cab.passenger, nullptr);
    EXPECT_TRUE(car->cab.passengers.empty());
    EXPECT_EQ(rider.cab, nullptr);
    ASSERT_EQ(flat.rules.destroyed.size(), 1u);
    EXPECT_EQ(flat.rules.destroyed[0].killer, me);
    EXPECT_EQ(flat.rules.destroyed[0].victim, car);

    // Wheels off and burning; no second wreck, whatever hits it later.
    car->damage.TakeDamageFrom(me->ChassisGeom(), 5000.0f, DamageBlast, nullptr);
    flat.Frames(30);
    for (int i = 0; i < 4; ++i) EXPECT_FALSE(car->WheelJoint(i)->IsAttached()) << "wheel " << i;
    EXPECT_GT(audio.loopedPlays, loopedBefore) << "the burning voice loops";
    EXPECT_EQ(parked.wrecks, 1);
    EXPECT_EQ(flat.rules.destroyed.size(), 1u);
    EXPECT_EQ(Blasts().pool.Made(), 1u);
    EXPECT_EQ(rider.outs, 1);

    // Brought back: its rider is not put out a second time.
    car->Respawn(false);
    EXPECT_EQ(rider.outs, 1);
    EXPECT_FALSE(car->IsWrecked());
}

TEST_F(DamageTest, TheKillerIsTheHitterElseTheLastAttackerElseTheCarItself) {
    enum class Before { Nothing, AttackerHit, AttackerHitLongAgo };
    struct Case {
        const char* name;
        Before before;
        bool lastHitByCar;
        bool lastHitByWalker;
        int expected; // 0 the attacker, 1 the car itself
    };
    const Case cases[] = {
        {"the car that deals the last hit", Before::Nothing, true, false, 0},
        {"an anonymous hit names the last attacker", Before::AttackerHit, false, false, 0},
        {"an attacker forgotten after a second", Before::AttackerHitLongAgo, false, false, 1},
        {"a pedestrian names nobody", Before::Nothing, false, true, 1},
        {"nobody at all", Before::Nothing, false, false, 1},
    };
    BuildCity("Road");
    Walker walker;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        flat.rules.destroyed.clear();
        Vehicle* me = AddPlayer(0.0f);
        Vehicle* attacker = AddParked(taxi, -400.0f);
        flat.Frames(5);
        if (c.before != Before::Nothing) {
            me->damage.TakeDamageFrom(attacker->ChassisGeom(), 10.0f, DamageBullet, nullptr);
            EXPECT_EQ(me->damage.lastAttacker, attacker);
            flat.Frames(c.before == Before::AttackerHitLongAgo ? 80 : 30);
        }
        PhysicsGeom* hitter = c.lastHitByCar ? attacker->ChassisGeom() : c.lastHitByWalker ? &walker.geom : nullptr;
        me->damage.TakeDamageFrom(hitter, 5000.0f, DamageBlast, nullptr);
        flat.Frame();
        ASSERT_EQ(flat.rules.destroyed.size(), 1u);
        EXPECT_EQ(flat.rules.destroyed[0].victim, me);
        EXPECT_EQ(flat.rules.destroyed[0].killer, c.expected == 0 ? attacker : me);
        Explosion::ReleaseAll(flat.context);
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
    }
}

// The killer's car going away before the step is over leaves no dangling name.
TEST_F(DamageTest, AKillerDeletedBeforeTheStepEndsIsNotReported) {
    BuildCity("Road");
    Vehicle* car = AddParked(taxi, 0.0f);
    Vehicle* attacker = flat.AddCar(taxi, -400.0f);
    flat.Frames(5);
    car->damage.TakeDamageFrom(attacker->ChassisGeom(), 5000.0f, DamageBlast, nullptr);
    std::erase(flat.context.vehicles, attacker);
    std::erase_if(flat.context.ownedVehicles, [&](auto& owned) { return owned.get() == attacker; });
    flat.Frame();
    ASSERT_EQ(flat.rules.destroyed.size(), 1u);
    EXPECT_EQ(flat.rules.destroyed[0].killer, nullptr);
    EXPECT_EQ(flat.rules.destroyed[0].victim, car);
}

// A hurt car shows it: the chassis mesh of its damage stage (32 pieces fly off when it changes)
// and, at light detail 3, white smoke from 40 % down, black below 5 %.
TEST_F(DamageTest, TheChassisAndTheSmokeShowTheHealth) {
    enum class Smoke { None, WhiteRising, White, Black };
    struct Case {
        float health;
        int stage;
        Smoke smoke;
    };
    const Case cases[] = {
        {1000, 0, Smoke::None}, {700, 0, Smoke::None}, {600, 1, Smoke::None}, {300, 2, Smoke::WhiteRising},
        {200, 2, Smoke::White}, {40, 2, Smoke::Black},
    };
    BuildCity("Road");
    flat.session.lightDetail = 3;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "health " << c.health);
        Vehicle* car = AddParked(taxi, 0.0f);
        flat.Frames(5);
        ASSERT_EQ(car->effects.chassisMesh, taxi->chassisMeshes[0]);
        const size_t before = Live(ParticleSystems::smoke);
        if (c.health < 1000) car->damage.TakeDamage(1000 - c.health, DamageBlast, nullptr);
        flat.Frame();
        EXPECT_EQ(car->effects.chassisMesh, taxi->chassisMeshes[size_t(c.stage)]);
        EXPECT_EQ(car->damage.damageStage, c.stage);
        if (c.smoke == Smoke::None) EXPECT_EQ(Live(ParticleSystems::smoke) - before, c.stage > 0 ? 32u : 0u);

        const std::vector<ParticleGroup*> old = ParticleSystems::smoke->ActiveGroups();
        flat.Frames(10);
        int white = 0, black = 0, rising = 0;
        for (const ParticleGroup* g : ParticleSystems::smoke->ActiveGroups()) {
            if (std::find(old.begin(), old.end(), g) != old.end()) continue;
            (g->colour[0] == 0.0f ? black : white)++;
            if (g->layer == 1) ++rising;
        }
        switch (c.smoke) {
        case Smoke::None: EXPECT_EQ(white + black, 0); break;
        case Smoke::WhiteRising: EXPECT_GT(white, 0); EXPECT_EQ(black, 0); EXPECT_EQ(rising, white); break;
        case Smoke::White: EXPECT_GT(white, 0); EXPECT_EQ(black, 0); EXPECT_EQ(rising, 0); break;
        case Smoke::Black: EXPECT_GT(black, 0); EXPECT_EQ(white, 0); break;
        }
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        flat.Frames(120); // the smoke clears
    }
}

// ---------------------------------------------------------------------------------------------
// Sparks, skid marks and the surface

// The player's car scraping a wall throws sparks; another car, or a wall of the pedestrians'
// category, throws none.
TEST_F(DamageTest, ThePlayersCarThrowsSparksOffAWall) {
    struct Case {
        const char* name;
        bool player;
        uint32_t wallCategory;
        bool sparks;
    };
    const Case cases[] = {
        {"the player's car", true, 1, true},
        {"a parked car", false, 1, false},
        {"a soft wall", true, 1 | 0x100, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildCity("Road", 120.0f);
        // The whole city (and the plane under it) of that category.
        flat.world.boundary->SetCategoryBits(c.wallCategory);
        flat.ground.SetCategoryBits(c.wallCategory);
        Vehicle* car = c.player ? AddPlayer() : AddParked(taxi, 0.0f);
        flat.Frames(80); // the earlier case's sparks die out
        ASSERT_EQ(Live(ParticleSystems::sparks), 0u);
        Launch(car, Vector3(0, 0, -150));
        size_t most = 0;
        for (int i = 0; i < 60; ++i) {
            flat.Frame();
            most = std::max(most, Live(ParticleSystems::sparks));
        }
        EXPECT_EQ(most > 0, c.sparks) << most;
        if (c.sparks) {
            for (const ParticleGroup* g : ParticleSystems::sparks->ActiveGroups())
                EXPECT_LT(std::fabs(g->position.z + 120.0f), 80.0f);
        }
        flat.ground.SetCategoryBits(1);
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        flat.world.boundary->RemoveFromWorld(flat.world.physics);
    }
}

// With the car-effects option the player's skidding back wheels lay 3.5-unit quads flat on the
// city along their travel, listed with the city's decals; a jump of more than ten units starts
// the trail again; without the option or on another car nothing is laid.
TEST_F(DamageTest, SkidMarksFollowThePlayersBackWheels) {
    struct Case {
        const char* name;
        int32_t option;
        bool player;
        bool marks;
    };
    const Case cases[] = {
        {"option 1, the player's car", 1, true, true},
        {"option 0", 0, true, false},
        {"another car", 1, false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BuildCity("Road");
        flat.session.skidMarks = c.option;
        Vehicle* car = c.player ? AddPlayer() : AddParked(taxi, 0.0f);
        flat.Frames(10);
        const int32_t first = DecalRing::Counter();
        Launch(car, Vector3(0, 0, -300));
        for (int i = 0; i < 45; ++i) {
            car->SetThrottle(1.0f);
            flat.Frame();
        }
        ASSERT_GT(car->drive.skidSmoothed, 0.3f) << "the test drives a skidding car";
        const std::vector<int32_t>& listed = flat.world.boundary->staticDecals;
        const int32_t laid = DecalRing::Counter() - first;
        if (!c.marks) {
            EXPECT_EQ(laid, 0);
            EXPECT_TRUE(listed.empty());
        } else {
            ASSERT_GT(laid, 20);
            EXPECT_EQ(int32_t(listed.size()), laid);
            const DecalOwner* owner = SharedVehicleResources(flat.context).skidMarks.get();
            for (int32_t n = first; n < DecalRing::Counter(); ++n) {
                const DecalRecord* r = DecalRing::Get(n);
                ASSERT_NE(r, nullptr);
                EXPECT_EQ(r->owner, owner);
                const Vector3* q = r->quad.corners;
                EXPECT_NEAR((q[2] - q[0]).Length(), 3.5f, 1e-3f);
                EXPECT_NEAR((q[1] - q[0]).Length(), 3.5f, 1e-3f);
                for (int k = 0; k < 4; ++k) EXPECT_NEAR(q[k].y, 0.0f, 0.5f) << "flat on the floor";
                // Along the travel (-z).
                EXPECT_NEAR(std::fabs(q[1].z - q[0].z), 3.5f, 0.3f);
                EXPECT_FLOAT_EQ(r->quad.texCoords[3].x, 1.0f);
                EXPECT_FLOAT_EQ(r->quad.texCoords[1].y, 1.0f);
                EXPECT_FLOAT_EQ(r->quad.colour[3], 1.0f);
            }

            // A jump of 200 units: the trail starts again at the new place.
            const float from = car->GetPosition().z;
            Shift(car, Vector3(0, 0, -200));
            const int32_t afterJump = DecalRing::Counter();
            for (int i = 0; i < 5; ++i) {
                car->SetThrottle(1.0f);
                flat.Frame();
            }
            EXPECT_GT(DecalRing::Counter(), afterJump);
            for (int32_t n = afterJump; n < DecalRing::Counter(); ++n) {
                const Vector3 centre = (DecalRing::Get(n)->quad.corners[0] + DecalRing::Get(n)->quad.corners[3]) * 0.5f;
                EXPECT_LT(centre.z, from - 200.0f + 40.0f) << "no mark across the gap";
            }
        }
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        flat.world.boundary->RemoveFromWorld(flat.world.physics);
    }
}

// A second on one surface plays its sound once for the player's car, at any frame times; the
// same surface again plays nothing new; another car plays nothing.
TEST_F(DamageTest, TheSurfaceSoundPlaysAfterASecondOnIt) {
    const FrameSchedule schedules[] = {testing_support::SteadyFrames("1/75", 1.0f / 75.0f), testing_support::UnevenFrames(),
                                       testing_support::SteadyFrames("1/20", 0.05f)};
    for (const FrameSchedule& s : schedules) {
        SCOPED_TRACE(s.name);
        BuildCity("Road");
        audio.played.clear();
        Vehicle* car = AddPlayer();
        AddParked(taxi, 200.0f);
        float t = 0.0f;
        int32_t frame = 0;
        while (t < 0.95f) {
            const float dt = s(frame++);
            flat.Frame(dt);
            t += dt;
        }
        EXPECT_TRUE(audio.played.empty()) << "not before a second";
        while (t < 1.1f) {
            const float dt = s(frame++);
            flat.Frame(dt);
            t += dt;
        }
        EXPECT_EQ(audio.played, std::vector<std::string>{"Audio\\Road.WAV"});
        // The other car's surface sound would have come by now; the player's does not repeat.
        for (int i = 0; i < 60; ++i) flat.Frame(s(frame++));
        EXPECT_EQ(audio.played.size(), 1u);
        EXPECT_EQ(car->damage.surfaceSoundName, SharedString("Road.WAV"));

        // Onto grass: another second, then its sound.
        NameSurfaces("Grass");
        t = 0.0f;
        while (audio.played.size() < 2 && t < 2.0f) {
            const float dt = s(frame++);
            flat.Frame(dt);
            t += dt;
        }
        ASSERT_EQ(audio.played.size(), 2u);
        EXPECT_EQ(audio.played[1], "Audio\\Grass.WAV");
        EXPECT_GT(t, 1.0f);
        EXPECT_LT(t, 1.0f + 0.1f);

        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        flat.world.boundary->RemoveFromWorld(flat.world.physics);
    }
}

// ---------------------------------------------------------------------------------------------
// Impacts shared between two cars

// Two cars meet in the air (nothing but their contact pushes them along the road): when the
// car at rest carries the traffic code's mark, the push it takes in the contact step is a
// quarter of the plain one, the other car gets the rest on top of its own and takes the extra
// damage; whichever car the joint names first.
TEST_F(DamageTest, AMarkedCarPassesThreeQuartersOfAnImpactOn) {
    struct Run {
        int contactFrame = -1;
        float restingPush = 0.0f; // the car at rest's momentum change along the road in that frame
        float hitterHealth = 0.0f;
    };
    // The drive model moves weight between the wheels each frame: the masses before the frame
    // weigh both velocities.
    struct Masses {
        float m[5];
    };
    const auto massesOf = [](const Vehicle* car) {
        Masses w{{car->ChassisBody()->GetMass()}};
        for (int i = 0; i < 4; ++i) w.m[i + 1] = car->WheelBody(i)->GetMass();
        return w;
    };
    const auto momentum = [](const Vehicle* car, const Masses& w) {
        float p = w.m[0] * car->ChassisBody()->GetLinearVelocity().z;
        for (int i = 0; i < 4; ++i) p += w.m[i + 1] * car->WheelBody(i)->GetLinearVelocity().z;
        return p;
    };
    // Both runs are the same until the cars meet: the marked run is measured in the frame where
    // the plain run met.
    const auto collide = [&](bool marked, bool restingFirst, int contactFrame) {
        Vehicle* resting = nullptr;
        Vehicle* moving = nullptr;
        if (restingFirst) {
            resting = flat.AddCar(taxi, 0.0f, 0.0f);
            moving = flat.AddCar(taxi, 0.0f, 60.0f);
        } else {
            moving = flat.AddCar(taxi, 0.0f, 60.0f);
            resting = flat.AddCar(taxi, 0.0f, 0.0f);
        }
        resting->damage.impactDamage = marked ? 1 : 0;
        moving->damage.impactDamage = 0;
        Shift(resting, Vector3(0, 500, 0));
        Shift(moving, Vector3(0, 500, 0));
        Launch(moving, Vector3(0, 0, -150));
        Run run;
        for (int i = 0; i < 30; ++i) {
            const Masses w = massesOf(resting);
            const float before = momentum(resting, w);
            flat.Frame();
            const float push = std::fabs(momentum(resting, w) - before);
            if (contactFrame < 0 ? push > 500.0f : i == contactFrame) {
                run.contactFrame = i;
                run.restingPush = push;
                break;
            }
        }
        flat.Frames(3);
        run.hitterHealth = moving->damage.GetHealth();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        return run;
    };
    for (bool restingFirst : {true, false}) {
        SCOPED_TRACE(restingFirst ? "the car at rest made first" : "the moving car made first");
        const Run plain = collide(false, restingFirst, -1);
        ASSERT_GE(plain.contactFrame, 0) << "the cars meet";
        const Run shared = collide(true, restingFirst, plain.contactFrame);
        ASSERT_EQ(shared.contactFrame, plain.contactFrame);
        EXPECT_NEAR(shared.restingPush / plain.restingPush, 0.25f, 0.02f)
            << shared.restingPush << " against " << plain.restingPush;
        EXPECT_LT(shared.hitterHealth, plain.hitterHealth);
    }
}

} // namespace
