// Weapons and gunfire on the real physics layer: the chain gun's and the flamer's schedules under
// the player's Fire key, bullets against walls and cars, cannon shells, flame blobs, cases, the
// rifle, the sight ray, the developer switches and a game reset in the middle of a burst.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "engine/core/InputActions.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/FlamerEffect.h"
#include "game/vehicles/Gunfire.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/ProjectileLaunchers.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/Rifle.h"
#include "game/vehicles/Weapons.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;
using testing_support::FakeAudioDevice;
using testing_support::FakeInputDevice;

namespace {

constexpr uint32_t kLeftShift = 57;

// Keeps the names of the positional one-shot sounds.
class RecordingAudio : public FakeAudioDevice {
public:
    void PlaySound3D(const SharedString& name, const Vector3&, float, float, float, PlaybackObserver*) override {
        played3D.emplace_back(name.c_str());
    }
    std::vector<std::string> played3D;
};

// The player's taxi at the origin facing -z, its Fire key and a static city that is a wall
// across the road at a chosen distance (built on demand).
class WeaponTest : public VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        flat.engine.services.sound = &audio;
        flat.engine.services.input = &input;
        SetDefaultDrivingBindings(&input);
        InstallWeaponFactories(flat.context);
        car = flat.AddCar(taxi);
        // The taxi's own horn shares the fire key (Left Shift); these tests count the weapons'
        // voices only.
        while (!car->items.specials.empty()) car->RemoveSpecial(car->items.specials.front());
        player = std::make_unique<PlayerController>(flat.context, &input);
        player->camera = &flat.camera;
        player->AttachVehicle(car);
        flat.context.localDriver = player.get();
        flat.camera.SetTarget(car);
        for (uint8_t& on : UnlimitedAmmo) on = 0;
    }
    void TearDown() override {
        player.reset();
        flat.context.ownedVehicles.clear();
        flat.context.vehicles.clear();
        flat.context.itemPools.Clear();
        flat.context.guns.reset();
        if (wallBuilt) flat.world.boundary->RemoveFromWorld(flat.world.physics);
        flat.engine.services.sound = nullptr;
        flat.engine.services.input = nullptr;
    }

    // A wall across the road facing the car, at z = -distance, 200 wide and 100 high.
    void BuildWall(float distance) {
        BoundaryPlane& b = *flat.world.boundary;
        const float z = -distance;
        b.Vertices() = {-100, 0, z, 100, 0, z, -100, 100, z, 100, 100, z};
        b.Indices() = {0, 1, 2, 1, 3, 2};
        b.triangleVariants.assign(2, 0);
        ASSERT_TRUE(b.Build());
        b.SetCategoryBits(1);
        b.SetCollideBits(0);
        b.SetSurface(&flat.world.staticSurface);
        b.AddToWorld(flat.world.physics);
        wallBuilt = true;
    }

    template <class Kind>
    Kind* Arm(ItemKind pool) {
        car->SetWeapon(flat.context.itemPools[pool].Take());
        return WeaponOf<Kind>(car);
    }
    // One game frame: the player's input, then the world.
    void Frame(float dt = Step) {
        player->Update();
        flat.Frame(dt);
    }
    GunEffects& Guns() { return SharedGunEffects(flat.context); }
    void RemoveWall() {
        flat.world.boundary->RemoveFromWorld(flat.world.physics);
        flat.world.boundary = std::make_unique<BoundaryPlane>(flat.session);
        wallBuilt = false;
    }
    void RemoveCar(Vehicle* v) {
        std::erase(flat.context.vehicles, v);
        std::erase_if(flat.context.ownedVehicles, [&](auto& owned) { return owned.get() == v; });
    }

    RecordingAudio audio;
    FakeInputDevice input;
    Vehicle* car = nullptr;
    std::unique_ptr<PlayerController> player;
    bool wallBuilt = false;
};

// A second taxi standing across the road at z = -distance.
Vehicle* Target(FlatWorld& flat, const CarDefinition* taxi, float distance) {
    Vehicle* v = flat.AddCar(taxi, 0.0f, -distance);
    v->SetOrientation(Quaternion(Vector3(0, 1, 0), Pi * 0.5f));
    v->SetPosition(Vector3(0.0f, WheelRadius - 1.4f, -distance));
    return v;
}

// The height of a car's chassis box centre.
float ChassisHeight(const Vehicle* car) { return car->ChassisGeom()->GetPosition().y; }

} // namespace

TEST_F(WeaponTest, ChainGunSpinsUpForHalfASecondThenFiresAHundredBulletsAndFourCasesASecond) {
    ChainGunWeapon* gun = Arm<ChainGunWeapon>(ItemKind::ChainGun);
    ASSERT_NE(gun, nullptr);
    EXPECT_EQ(gun->ammo, 1000.0f);
    input.held = {kLeftShift};
    const int loopsBefore = audio.loopedPlays;
    float t = 0.0f;
    while (gun->ammo == 1000.0f && t < 2.0f) {
        Frame();
        t += Step;
    }
    EXPECT_GE(t, 0.5f) << "no bullet before the barrels pass an eighth of full speed";
    EXPECT_LT(t, 0.5f + 2.0f * Step);
    EXPECT_EQ(audio.loopedPlays - loopsBefore, 1) << "the firing loop starts with the first bullet";

    // Full speed after four seconds of holding; then one second counted.
    while (gun->spin < 1.0f) Frame();
    const float before = gun->ammo;
    std::vector<const ShellCasing*> casings;
    for (int i = 0; i < 75; ++i) {
        Frame();
        if (gun->casing && (casings.empty() || casings.back() != gun->casing)) casings.push_back(gun->casing);
    }
    EXPECT_NEAR(before - gun->ammo, 100.0f, 1.0f);
    EXPECT_EQ(casings.size(), 4u);
    EXPECT_GT(Guns().liveTracers.size(), 90u) << "each tracer flies for a second";

    // Released, the barrels slow down and the firing stops.
    input.held.clear();
    for (int i = 0; i < 150; ++i) Frame();
    EXPECT_LE(gun->spin, ChainGunWeapon::FiringSpin);
    EXPECT_EQ(gun->casing, nullptr);
}

TEST_F(WeaponTest, AChainGunAtFullSpinEmptiesInTenSecondsAtAnyFrameRateAndIsDropped) {
    // Steady 75 Hz, then uneven frames with a stall: the rounds last ten seconds either way.
    const std::vector<std::vector<float>> schedules = {{Step}, {1.0f / 90, 1.0f / 20, 1.0f / 45, 0.1f, 1.0f / 60}};
    for (const auto& schedule : schedules) {
        ChainGunWeapon* gun = Arm<ChainGunWeapon>(ItemKind::ChainGun);
        ASSERT_NE(gun, nullptr);
        gun->spin = 1.0f;
        input.held = {kLeftShift};
        float t = 0.0f;
        size_t i = 0;
        while (car->items.weapon && t < 11.0f) {
            const float dt = schedule[i++ % schedule.size()];
            Frame(dt);
            t += dt;
        }
        EXPECT_EQ(car->items.weapon, nullptr) << "an empty chain gun is dropped";
        EXPECT_NEAR(t, 10.0f, 0.11f) << schedule.size();
        EXPECT_TRUE(flat.context.itemPools[ItemKind::ChainGun].Holds(gun));
        input.held.clear();
    }
}

TEST_F(WeaponTest, TheSwitchKeepsTheAmmunitionAndAWreckedCarDoesNotFire) {
    ChainGunWeapon* gun = Arm<ChainGunWeapon>(ItemKind::ChainGun);
    gun->spin = 1.0f;
    UnlimitedAmmo[WeaponChainGun] = 1;
    input.held = {kLeftShift};
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_EQ(gun->ammo, 1000.0f);
    EXPECT_GT(Guns().liveTracers.size(), 20u);
    EXPECT_STREQ(gun->hudText.c_str(), "1000");

    car->damage.health = 0.0f;
    Frame();
    EXPECT_EQ(gun->firing, 0) << "a wreck stops firing";
    gun->StartFiring();
    EXPECT_EQ(gun->firing, 0) << "and cannot start again";
}

TEST_F(WeaponTest, TheFlamerBurnsTwentyRoundsASecondAndIsDroppedAfterTwelveAndAHalfSeconds) {
    FlamerWeapon* flamer = Arm<FlamerWeapon>(ItemKind::Flamer);
    ASSERT_NE(flamer, nullptr);
    EXPECT_EQ(flamer->ammo, 250.0f);
    input.held = {kLeftShift};
    float t = 0.0f;
    size_t mostBlobs = 0;
    while (car->items.weapon && t < 14.0f) {
        Frame();
        t += Step;
        mostBlobs = std::max(mostBlobs, flamer->flame.liveBlobs.size());
    }
    EXPECT_NEAR(t, 12.5f, 2.0f * Step);
    // Ten blobs a second, each living half a second.
    EXPECT_GE(mostBlobs, 5u);
    EXPECT_LE(mostBlobs, 6u);
    // The flames fade and the effect leaves the world.
    EXPECT_EQ(flamer->flame.firing, 0);
    for (int i = 0; i < 75; ++i) Frame();
    EXPECT_FALSE(flamer->flame.Registered());
    EXPECT_TRUE(flamer->flame.liveBlobs.empty());
}

TEST_F(WeaponTest, AFlamerTakenAgainBeforeItsFlamesFadeIsInTheWorldOnce) {
    FlamerWeapon* flamer = Arm<FlamerWeapon>(ItemKind::Flamer);
    input.held = {kLeftShift};
    for (int i = 0; i < 10; ++i) Frame();
    const int32_t clients = flat.world.physics.ClientCount();
    car->SetWeapon(nullptr);
    car->SetWeapon(flat.context.itemPools[ItemKind::Flamer].Take());
    ASSERT_EQ(WeaponOf<FlamerWeapon>(car), flamer);
    EXPECT_EQ(flat.world.physics.ClientCount(), clients);
    EXPECT_EQ(std::count(flat.world.drawables.begin(), flat.world.drawables.end(), &flamer->flame), 1);
}

TEST_F(WeaponTest, ABulletHitsTheNearerOfWallAndCar) {
    struct Case {
        float wall, target;
        bool carHurt, hole;
    };
    const Case cases[] = {
        {100.0f, 200.0f, false, true},  // the car stands behind the wall
        {300.0f, 100.0f, true, false},  // the car stands before it
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target);
        BuildWall(c.wall);
        Vehicle* target = Target(flat, taxi, c.target);
        flat.Frames(2);
        const size_t holes = flat.world.boundary->staticDecals.size();
        BulletTrail::Fire(flat.context, car->ChassisGeom(), Vector3(0, ChassisHeight(target), -30), Vector3(0, 0, -1));
        flat.Frame();
        EXPECT_EQ(target->damage.health < VehicleDamage::MaxHealth, c.carHurt);
        EXPECT_EQ(target->damage.health, c.carHurt ? VehicleDamage::MaxHealth - BulletTrail::Damage : VehicleDamage::MaxHealth);
        EXPECT_EQ(flat.world.boundary->staticDecals.size(), holes + (c.hole ? 1 : 0));
        EXPECT_EQ(car->damage.health, VehicleDamage::MaxHealth);
        RemoveWall();
        RemoveCar(target);
    }
}

TEST_F(WeaponTest, BulletsPassProtectedCarsAndTheirShooter) {
    // From inside the shooter's own chassis, through a protected car, into a third car.
    Vehicle* shield = Target(flat, taxi, 100.0f);
    Vehicle* behind = Target(flat, taxi, 200.0f);
    shield->SetCollisionFlag(true);
    flat.Frames(2);
    BulletTrail::Fire(flat.context, car->ChassisGeom(), Vector3(0, ChassisHeight(car), 0), Vector3(0, 0, -1));
    flat.Frame();
    EXPECT_EQ(car->damage.health, VehicleDamage::MaxHealth);
    EXPECT_EQ(shield->damage.health, VehicleDamage::MaxHealth);
    EXPECT_EQ(behind->damage.health, VehicleDamage::MaxHealth - BulletTrail::Damage);
}

TEST_F(WeaponTest, ATracerFliesForASecondAfterItsRayIsResolvedEvenWithNothingHit) {
    BulletTrail::Fire(flat.context, car->ChassisGeom(), Vector3(0, 50, 0), Vector3(0, 1, 0));
    GunEffects& guns = Guns();
    ASSERT_EQ(guns.liveTracers.size(), 1u);
    EXPECT_NE(guns.liveTracers[0]->ray, nullptr) << "not resolved before the next sub-step";
    flat.Frame();
    EXPECT_EQ(guns.liveTracers[0]->ray, nullptr);
    EXPECT_EQ(guns.freeRays.size(), 1u) << "the ray went back to its pool";
    flat.Frames(74);
    EXPECT_EQ(guns.liveTracers.size(), 1u);
    flat.Frames(2);
    EXPECT_TRUE(guns.liveTracers.empty());
    BulletTrail::Fire(flat.context, nullptr, Vector3(0, 50, 0), Vector3(0, 1, 0));
    EXPECT_EQ(guns.tracerStore.size(), 1u) << "the next shot reuses the tracer";
}

TEST_F(WeaponTest, ACannonShellFiredFromInsideItsCarBlowsUpWhatLiesAhead) {
    BuildWall(150.0f);
    flat.Frames(2);
    // Owned by the car's whole space: neither the chassis nor a wheel stops it.
    CannonShell::Fire(flat.context, car->Space(), car->GetPosition() + Vector3(0, 10, 0), Vector3(0, 0, -1));
    flat.Frame();
    ASSERT_NE(flat.context.explosions, nullptr);
    const std::vector<Explosion*>& live = flat.context.explosions->pool.Live();
    ASSERT_EQ(live.size(), 1u);
    const Explosion& blast = *live[0];
    EXPECT_NEAR(blast.sphere.GetPosition().z, -150.0f, 0.5f);
    EXPECT_EQ(blast.owner, car->Space()) << "the blast names the shell's owner";
    EXPECT_EQ(blast.maxRadius, Explosion::WreckMaximum);
    EXPECT_EQ(blast.growth, Explosion::WreckGrowth);
    EXPECT_EQ(audio.played3D, std::vector<std::string>{"Cannon_Explosion.WAV"}) << "the cannon's own bang, not a random one";
    EXPECT_TRUE(Guns().liveCannon.empty()) << "a shell lives one sub-step";
    // Nothing ahead: no blast.
    flat.Frames(60);
    ASSERT_TRUE(live.empty());
    CannonShell::Fire(flat.context, car->Space(), car->GetPosition() + Vector3(0, 10, 0), Vector3(0, 0, 1));
    flat.Frame();
    EXPECT_TRUE(live.empty());
    EXPECT_EQ(audio.played3D.size(), 1u);
    EXPECT_EQ(Guns().cannonStore.size(), 1u);
}

TEST_F(WeaponTest, AFlameThatBouncedOffAWallBurnsItsOwnCar) {
    // The wall just ahead of the nozzle throws every blob back onto the car that fired it;
    // without the wall the car's own flames never touch it.
    for (const bool wall : {false, true}) {
        SCOPED_TRACE(wall);
        if (wall) BuildWall(30.0f);
        flat.Frames(2);
        car->damage.health = VehicleDamage::MaxHealth;
        FlamerWeapon* flamer = Arm<FlamerWeapon>(ItemKind::Flamer);
        input.held = {kLeftShift};
        for (int i = 0; i < 30; ++i) Frame();
        input.held.clear();
        EXPECT_EQ(car->damage.health < VehicleDamage::MaxHealth, wall);
        car->SetWeapon(nullptr);
        for (int i = 0; i < 75; ++i) Frame();
        EXPECT_FALSE(flamer->flame.Registered());
        if (wall) RemoveWall();
    }
}

TEST_F(WeaponTest, The513thCaseTakesTheFirstAgain) {
    ShellEjector::Load(flat.context);
    GunEffects& guns = Guns();
    for (int i = 0; i < ShellEjector::ShellCount; ++i)
        ShellEjector::Eject(flat.context, Vector3(float(i), 500, 0), Quaternion(), Vector3(), Vector3(), nullptr);
    const int32_t first = guns.liveShells.front();
    ShellEjector::Eject(flat.context, Vector3(-1, 500, 0), Quaternion(), Vector3(), Vector3(), nullptr);
    EXPECT_EQ(guns.liveShells.size(), size_t(ShellEjector::ShellCount));
    EXPECT_EQ(guns.liveShells.back(), first);
    EXPECT_EQ(guns.shells[size_t(first)].position, Vector3(-1, 500, 0));
}

TEST_F(WeaponTest, CasesBounceOffTheGroundOnceWithASoundAndRest) {
    ShellEjector::Load(flat.context);
    // The ground as static city: a wide floor.
    BoundaryPlane& b = *flat.world.boundary;
    b.Vertices() = {-500, 0, -500, 500, 0, -500, -500, 0, 500, 500, 0, 500};
    b.Indices() = {0, 2, 1, 1, 2, 3};
    b.triangleVariants.assign(2, 0);
    ASSERT_TRUE(b.Build());
    b.SetCategoryBits(1);
    b.SetCollideBits(0);
    b.AddToWorld(flat.world.physics);
    wallBuilt = true;
    ShellCasing* casing = ShellCasing::Create(flat.context, Vector3(50, 12, 50), Vector3());
    ShellEjector::Eject(flat.context, Vector3(50, 12, 50), Quaternion(), Vector3(0, 20, 0), Vector3(1, 2, 3), casing);
    ShellEjector::Eject(flat.context, Vector3(60, 12, 50), Quaternion(), Vector3(0, 20, 0), Vector3(), nullptr);
    casing->Release();
    const int plays = audio.plays;
    for (int i = 0; i < 300; ++i) flat.Frame();
    GunEffects& guns = Guns();
    const EjectedShell& withCasing = guns.shells[size_t(guns.liveShells[0])];
    const EjectedShell& without = guns.shells[size_t(guns.liveShells[1])];
    EXPECT_EQ(withCasing.flags & EjectedShell::Moving, 0u) << "at rest";
    EXPECT_NEAR(withCasing.position.y, 0.0f, 2.0f);
    EXPECT_EQ(audio.plays - plays, 1) << "one sound, on the first bounce";
    EXPECT_LT(without.position.y, -100.0f) << "a case without a casing falls through";
    EXPECT_TRUE(guns.liveCasings.empty()) << "the casing left with its last case";
}

TEST_F(WeaponTest, TheRifleFiresAtItsRateAndCarriesTheRemainder) {
    Rifle rifle(flat.context);
    rifle.firing = 1;
    rifle.muzzle = Vector3(0, 50, 0);
    GunEffects& guns = Guns();
    rifle.Fire(2.5f);
    EXPECT_EQ(guns.liveTracers.size(), 3u) << "2.5, 1.5 and 0.5 s due";
    rifle.Fire(0.4f);
    EXPECT_EQ(guns.liveTracers.size(), 3u);
    rifle.Fire(0.1f);
    EXPECT_EQ(guns.liveTracers.size(), 4u);
    EXPECT_EQ(guns.liveShells.size(), 4u);
    rifle.firing = 0;
    rifle.Fire(5.0f);
    EXPECT_EQ(guns.liveTracers.size(), 4u);
}

TEST_F(WeaponTest, TheSightRaySeesATargetOnlyWhenNoWallIsNearer) {
    Vehicle* target = Target(flat, taxi, 200.0f);
    flat.Frames(2);
    SightRay& ray = SharedSightRay(flat.context);
    ray.target = target->ChassisGeom();
    struct Case {
        float wall;  // 0: no wall
        Vector3 direction;
        bool sees;
    };
    const Case cases[] = {
        {0.0f, {0, 0, -1}, true},     // nothing in the way
        {100.0f, {0, 0, -1}, false},  // a wall between
        {300.0f, {0, 0, -1}, true},   // the wall behind the target
        {0.0f, {0, 0, 1}, false},     // looking away
    };
    for (const Case& c : cases) {
        if (c.wall > 0.0f) BuildWall(c.wall);
        ray.Set(Vector3(0, ChassisHeight(target), -30), c.direction);
        EXPECT_EQ(ray.HitsTarget(flat.world.physics, flat.world.boundary.get()), c.sees) << c.wall;
        if (c.wall > 0.0f) RemoveWall();
    }
}

TEST_F(WeaponTest, AResetInTheMiddleOfABurstThenDeletingTheCarLeavesNothingBehind) {
    // Shots and flames in flight when the game resets, then the car goes: every pool is back
    // and nothing names the car (the address sanitizer sees any use of it).
    Vehicle* other = Target(flat, taxi, 150.0f);
    FlamerWeapon* flamer = Arm<FlamerWeapon>(ItemKind::Flamer);
    input.held = {kLeftShift};
    for (int i = 0; i < 20; ++i) Frame();
    other->SetWeapon(flat.context.itemPools[ItemKind::ChainGun].Take());
    auto* gun = WeaponOf<ChainGunWeapon>(other);
    gun->spin = 1.0f;
    gun->StartFiring();
    flat.Frames(5);
    ASSERT_FALSE(Guns().liveTracers.empty());
    ASSERT_FALSE(flamer->flame.liveBlobs.empty());
    Guns().ReleaseAll();
    EXPECT_TRUE(Guns().liveTracers.empty());
    EXPECT_TRUE(Guns().liveCasings.empty());
    EXPECT_TRUE(flamer->flame.liveBlobs.empty()) << "no burning blob outlives the reset";
    // Now the cars go while the flamer's sprites still fade.
    player.reset();
    flat.context.localDriver = nullptr;
    RemoveCar(other);
    RemoveCar(car);
    car = nullptr;
    flat.Frames(80);
    EXPECT_FALSE(flamer->flame.Registered());
}

TEST_F(WeaponTest, DeletingACarWhileItsBulletsFlyIsSafe) {
    Vehicle* other = Target(flat, taxi, 150.0f);
    other->SetWeapon(flat.context.itemPools[ItemKind::ChainGun].Take());
    auto* gun = WeaponOf<ChainGunWeapon>(other);
    gun->spin = 1.0f;
    gun->StartFiring();
    flat.Frame();
    ASSERT_FALSE(Guns().liveTracers.empty());
    // Shots still hold their rays (fired in this frame's update): the car goes before they land.
    RemoveCar(other);
    flat.Frames(3);
    for (const BulletTrail* t : Guns().liveTracers) EXPECT_EQ(t->shooter, nullptr);
}


// ---------------------------------------------------------------------------------------------
// The launchers

namespace {

// Records what the launchers release.
class RecordingLaunchers : public ProjectileLaunchers {
public:
    struct Shot {
        char kind;  // 'g', 'm', 'r'
        PhysicsGeom* owner;
        Vector3 position;
        Vector3 velocity;  // grenade velocity, missile and rocket direction
        float value;       // fuse, speed
        PhysicsGeom* target;
    };
    void LaunchGrenade(PhysicsGeom* owner, const Vector3& position, const Vector3& velocity, float fuse) override {
        shots.push_back({'g', owner, position, velocity, fuse, nullptr});
    }
    void LaunchMissile(PhysicsGeom* owner, const Vector3& position, const Vector3& direction, const Vector3&, float speed,
                       PhysicsGeom* target) override {
        shots.push_back({'m', owner, position, direction, speed, target});
    }
    void LaunchRocket(PhysicsGeom* owner, const Vector3& position, const Vector3& direction, const Vector3&, float speed,
                      float) override {
        shots.push_back({'r', owner, position, direction, speed, nullptr});
    }
    size_t Count(char kind) const { return size_t(std::count_if(shots.begin(), shots.end(), [&](const Shot& s) { return s.kind == kind; })); }
    std::vector<Shot> shots;
};

class LauncherTest : public WeaponTest {
protected:
    void SetUp() override {
        WeaponTest::SetUp();
        flat.context.launchers = &launchers;
    }
    void TearDown() override {
        WeaponTest::TearDown();
        flat.context.launchers = nullptr;
    }
    // A frame in which Fire goes down (and stays down while `hold`).
    void PressFire(bool hold = true) {
        input.pressed = {kLeftShift};
        if (hold) input.held.insert(kLeftShift);
        Frame();
        input.pressed.clear();
    }
    RecordingLaunchers launchers;
};

} // namespace

TEST_F(LauncherTest, AGrenadeTapThrowsThreeWithAtLeastASecondAndAHoldThrowsByItselfAtFive) {
    GrenadeWeapon* thrower = Arm<GrenadeWeapon>(ItemKind::GrenadeThrower);
    ASSERT_NE(thrower, nullptr);
    EXPECT_EQ(thrower->ammo, 9.0f);
    // A tap: down one frame, up the next.
    PressFire();
    input.held.clear();
    Frame();
    ASSERT_EQ(launchers.Count('g'), 3u);
    for (const auto& s : launchers.shots) {
        EXPECT_GE(s.value, 1.0f);
        EXPECT_LE(s.value, 1.25f);
        EXPECT_EQ(s.owner, car->ChassisGeom());
        EXPECT_GT(s.velocity.y, 25.0f) << "thrown upwards";
    }
    EXPECT_EQ(thrower->ammo, 8.0f);
    // Held: nothing for five seconds, then it goes by itself at 5.
    launchers.shots.clear();
    PressFire();
    int frames = 1;
    while (launchers.shots.empty() && frames < 500) {
        Frame();
        ++frames;
    }
    EXPECT_NEAR(float(frames) * Step, 5.0f, 2.0f * Step);
    ASSERT_EQ(launchers.Count('g'), 3u);
    EXPECT_EQ(launchers.shots[0].value, 5.0f);
    input.held.clear();
    Frame();
    EXPECT_EQ(launchers.Count('g'), 3u) << "the release after it throws nothing more";
    // Seven more taps empty it; then it is dropped.
    for (int i = 0; i < 7; ++i) {
        PressFire();
        input.held.clear();
        Frame();
    }
    EXPECT_EQ(launchers.Count('g'), 3u + 21u);
    EXPECT_EQ(car->items.weapon, nullptr);
}

TEST_F(LauncherTest, RocketsLeaveInEightsASecondApartAndTheEmptyLauncherIsDropped) {
    RocketWeapon* launcher = Arm<RocketWeapon>(ItemKind::RocketLauncher);
    ASSERT_NE(launcher, nullptr);
    std::vector<float> salvoTimes;
    float t = 0.0f;
    while (t < 3.0f && car->items.weapon) {
        const size_t before = launchers.Count('r');
        PressFire(false);  // Fire pressed every frame
        t += Step;
        if (launchers.Count('r') > before) {
            EXPECT_EQ(launchers.Count('r') - before, 8u);
            salvoTimes.push_back(t);
        }
    }
    ASSERT_EQ(salvoTimes.size(), 2u);
    EXPECT_GE(salvoTimes[1] - salvoTimes[0], 1.0f);
    EXPECT_LT(salvoTimes[1] - salvoTimes[0], 1.0f + 2.0f * Step);
    EXPECT_EQ(car->items.weapon, nullptr);
    EXPECT_TRUE(flat.context.itemPools[ItemKind::RocketLauncher].Holds(launcher));
    // Each from its mount, along the car's nose.
    for (const auto& s : launchers.shots) EXPECT_LT(s.velocity.z, -0.9f);
}

TEST_F(LauncherTest, AMissileLauncherIsSpentByOneShotUnlessItsSwitchIsOn) {
    for (const uint8_t unlimited : {0, 1}) {
        UnlimitedAmmo[WeaponMissile] = unlimited;
        launchers.shots.clear();
        MissileWeapon* launcher = Arm<MissileWeapon>(ItemKind::MissileLauncher);
        ASSERT_NE(launcher, nullptr);
        EXPECT_EQ(launcher->ammo, -1.0f) << "loaded";
        PressFire(false);
        EXPECT_EQ(launchers.Count('m'), 1u);
        EXPECT_EQ(car->items.weapon == nullptr, unlimited == 0) << int(unlimited);
        if (unlimited) {
            PressFire(false);
            EXPECT_EQ(launchers.Count('m'), 2u) << "kept and loaded";
        }
        car->SetWeapon(nullptr);
    }
}

TEST_F(LauncherTest, OfflineAMissileLeavesFromItsOwnCarWhateverIdsTheCarsHold) {
    // Both cars carry id 0 (no network game numbered them); the second one fires.
    Vehicle* other = Target(flat, taxi, 300.0f);
    other->network.networkPlayerId = 0;
    car->network.networkPlayerId = 0;
    std::swap(flat.context.vehicles[0], flat.context.vehicles[1]);
    ASSERT_EQ(Vehicle::FindByNetworkPlayerId(flat.context, 0), other);
    MissileWeapon* launcher = Arm<MissileWeapon>(ItemKind::MissileLauncher);
    launcher->Fire();
    ASSERT_EQ(launchers.Count('m'), 1u);
    EXPECT_EQ(launchers.shots[0].owner, car->ChassisGeom());
}

TEST_F(LauncherTest, LockingOnTakesTheCarAheadAndLetsGoOfALostOne) {
    // Return locks on what the ray saw within the last quarter second; with nothing seen it
    // lets go of a target lost for more than a second; a target out of sight for ten seconds is
    // dropped by itself.
    constexpr uint32_t kReturn = 55;
    Vehicle* ahead = Target(flat, taxi, 200.0f);
    MissileWeapon* launcher = Arm<MissileWeapon>(ItemKind::MissileLauncher);
    flat.Frames(3);
    EXPECT_EQ(launcher->ray.remembered, ahead->ChassisGeom()) << "the ray along the nose meets the car";
    input.pressed = {kReturn};
    Frame();
    input.pressed.clear();
    EXPECT_EQ(launcher->target, ahead->ChassisGeom());
    EXPECT_EQ(launcher->lockTimer, 0.0f);

    // The car turns away: the ray forgets it after a quarter second, the lock holds.
    car->SetOrientation(Quaternion(Vector3(0, 1, 0), Pi));
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_EQ(launcher->ray.remembered, nullptr);
    EXPECT_EQ(launcher->target, ahead->ChassisGeom());
    // 0.4 s so far; Return now keeps it, after a second it lets go.
    input.pressed = {kReturn};
    Frame();
    input.pressed.clear();
    EXPECT_EQ(launcher->target, ahead->ChassisGeom()) << "lost for less than a second: kept";
    // Out of sight from the moment the ray forgot it, a quarter second after the turn.
    for (int i = 0; i < 80; ++i) Frame();
    input.pressed = {kReturn};
    Frame();
    input.pressed.clear();
    EXPECT_EQ(launcher->target, nullptr) << "lost for more than a second: let go";

    // Locked again, then out of sight for ten seconds: dropped without a key.
    car->SetOrientation(Quaternion());
    flat.Frames(3);
    input.pressed = {kReturn};
    Frame();
    input.pressed.clear();
    ASSERT_EQ(launcher->target, ahead->ChassisGeom());
    car->SetOrientation(Quaternion(Vector3(0, 1, 0), Pi));
    for (int i = 0; i < 75 * 10; ++i) Frame();
    EXPECT_EQ(launcher->target, ahead->ChassisGeom()) << "ten seconds and a quarter have not passed";
    for (int i = 0; i < 30; ++i) Frame();
    EXPECT_EQ(launcher->target, nullptr);
}

TEST_F(LauncherTest, TheSightMarksTheAimOrTheTargetAsTheCameraSeesIt) {
    // A 640 x 480 camera 60 behind and 20 above the car, looking along the car's nose (-z); its
    // right-hand side is world -x (the view turns the world half a turn about y).
    Camera& camera = flat.camera;
    camera.SetViewport(Rect{0, 0, 640, 480});
    camera.position = Vector3(0, 20, 60);
    camera.orientation = Quaternion();
    camera.positionDirty = camera.orientationDirty = 1;
    camera.RebuildProjection();
    camera.Apply();
    MissileWeapon* launcher = Arm<MissileWeapon>(ItemKind::MissileLauncher);
    Vehicle* other = Target(flat, taxi, 300.0f);
    other->SetPosition(Vector3(5000, 100, 0));  // out of the ray's way until a case puts it

    struct Case {
        const char* name;
        bool locked;
        bool seen;          // the ray remembers a car
        Vector3 targetAt;
        AimMark::Kind kind;
        float x;            // the mark's x (-1: not checked)
        bool onScreen;      // strictly inside the viewport
    };
    const Case cases[] = {
        {"aiming ahead", false, false, {}, AimMark::Crosshair, 320.0f, true},
        {"aiming at a car", false, true, {}, AimMark::CrossLock, 320.0f, true},
        {"target ahead", true, false, {0, 2, -300}, AimMark::Lock, 320.0f, true},
        {"target to the left, in view", true, false, {100, 2, -300}, AimMark::Lock, -1.0f, true},
        {"target far to the right", true, false, {-1500, 2, -300}, AimMark::OffLock, 640.0f, false},
        {"target behind the camera", true, false, {0, 2, 400}, AimMark::None, -1.0f, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        launcher->target = nullptr;
        launcher->ray.remembered = c.seen ? other->ChassisGeom() : nullptr;
        if (c.locked) {
            other->SetPosition(c.targetAt);
            launcher->target = other->ChassisGeom();
        }
        const AimMark mark = launcher->Aim(camera);
        EXPECT_EQ(mark.kind, c.kind);
        if (c.kind == AimMark::None) continue;
        if (c.x >= 0.0f) EXPECT_NEAR(mark.centre.x, c.x, 1.0f);
        EXPECT_GE(mark.centre.x, 0.0f);
        EXPECT_LE(mark.centre.x, 640.0f);
        EXPECT_GE(mark.centre.y, 0.0f);
        EXPECT_LE(mark.centre.y, 480.0f);
        if (c.onScreen) {
            EXPECT_GT(mark.centre.x, 0.0f);
            EXPECT_LT(mark.centre.x, 640.0f);
        }
        if (c.kind == AimMark::Lock) {
            // On the target's own projection.
            const Vector2 p = camera.Project(other->ChassisGeom()->GetPosition());
            EXPECT_NEAR(mark.centre.x, p.x, 1e-3f);
            EXPECT_NEAR(mark.centre.y, p.y, 1e-3f);
            if (c.targetAt.x > 0.0f) EXPECT_LT(mark.centre.x, 320.0f) << "left of the middle";
        }
        if (c.kind == AimMark::Crosshair || c.kind == AimMark::CrossLock)
            EXPECT_GT(mark.centre.y, 240.0f) << "the point ahead lies below the middle: the camera is above the car";
    }
    // The missile on another car shows no sight: only the local player aims.
    launcher->target = nullptr;
    player->AttachVehicle(nullptr);
    EXPECT_EQ(launcher->Aim(camera).kind, AimMark::None);
}
