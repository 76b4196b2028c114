// Pickup crates on the real physics layer: what each kind gives a car that drives into it, the
// 20 s it hides, two cars in one step, the network game's slow crate, a wreck at a repair crate,
// the explosive crate's blast, and crates made by the world's loader through the factory.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>
#include <vector>

#include "engine/net/ZKClient.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/PickupCrate.h"
#include "game/world/WorldObject.h"
#include "tests/vehicles/SpecialTestSupport.h"

using namespace special_test;

namespace {

class CrateTest : public SpecialTest {
protected:
    void SetUp() override {
        SpecialTest::SetUp();
        kind.halfExtents = Vector3(2.0f, 2.0f, 2.0f);
        kind.radiusSquared = kind.halfExtents.LengthSquared();
    }
    void TearDown() override {
        crates.clear();
        SpecialTest::TearDown();
    }
    // A crate of the kind code whose object stands at (x, 4, z), in the physics world.
    PickupCrate* Crate(int32_t code, float x = 0.0f, float z = 0.0f) {
        auto object = std::make_unique<WorldObject>();
        object->kind = &kind;
        object->SetPosition(Vector3(x, 4.0f, z));
        auto crate = std::make_unique<PickupCrate>(flat.context, code, object.get());
        flat.world.physics.AddObject(crate.get());
        objects.push_back(std::move(object));
        crates.push_back(std::move(crate));
        return crates.back().get();
    }
    // Frames at the step until the crate hides (at most a second); false if it never does.
    bool RunUntilHidden(PickupCrate& crate) {
        for (int i = 0; i < 75; ++i) {
            Frame(Step);
            if (crate.Hidden()) return true;
        }
        return false;
    }
    template <class Kind>
    Kind* Special() const {
        for (CarItem* item : car->items.specials)
            if (auto* k = dynamic_cast<Kind*>(item)) return k;
        return nullptr;
    }

    WorldObjectKind kind;
    std::vector<std::unique_ptr<WorldObject>> objects;
    std::vector<std::unique_ptr<PickupCrate>> crates;
};

} // namespace

TEST_F(CrateTest, EveryKindGivesItsGiftToTheCarThatTouchesItAndHides) {
    struct Case {
        int32_t code;
        bool spins;
        std::function<bool()> got;
        const char* what;
    };
    // Each case on a fresh car at the crate.
    const std::vector<Case> cases = {
        {PickupCrate::Boost, true, [this] { auto* b = Special<BoostSpecial>(); return b && b->elapsed < 1.0f; }, "a started boost"},
        {PickupCrate::Repair, true, [this] { return car->damage.health == VehicleDamage::MaxHealth; }, "full health"},
        {PickupCrate::WeaponCannon, true, [this] { auto* c = Special<CannonSpecial>(); return c && c->shots == 3; }, "a cannon"},
        {PickupCrate::Jump, true, [this] { auto* j = Special<JumpSpecial>(); return j && j->charges == 3 && !j->active; }, "an unused jump"},
        {PickupCrate::Slow, false, [this] { return Special<SlowSpecial>() && flat.world.timeScale == 0.5f; }, "a slow"},
        {PickupCrate::Rock, true, [this] { auto* r = Special<RockSpecial>(); return r && r->elapsed < 30.0f; }, "a started rock"},
        {PickupCrate::WeaponMissile, true, [this] { return WeaponOf<MissileWeapon>(car) != nullptr; }, "a missile launcher"},
        {PickupCrate::WeaponRocket, true, [this] { return WeaponOf<RocketWeapon>(car) != nullptr; }, "a rocket launcher"},
        {PickupCrate::WeaponChainGun, true, [this] { return WeaponOf<ChainGunWeapon>(car) != nullptr; }, "a chain gun"},
        {PickupCrate::WeaponFlamer, true, [this] { return WeaponOf<FlamerWeapon>(car) != nullptr; }, "a flamer"},
        {PickupCrate::Explosive, false, [this] { return LiveExplosions() == 1 && car->items.specials.size() == 1; }, "a blast and nothing else"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        crates.clear();
        flat.world.timeScale = 1.0f;
        player->AttachVehicle(nullptr);
        std::erase(flat.context.vehicles, car);
        std::erase_if(flat.context.ownedVehicles, [&](auto& owned) { return owned.get() == car; });
        flat.context.explosions.reset();
        car = flat.AddCar(taxi);
        player->AttachVehicle(car);
        car->damage.health = 400.0f;
        PickupCrate* crate = Crate(c.code);
        EXPECT_EQ(crate->spins != 0, c.spins);
        ASSERT_TRUE(RunUntilHidden(*crate));
        EXPECT_TRUE(c.got());
        EXPECT_TRUE(crate->object->far) << "a hidden crate is not drawn";
    }
}

TEST_F(CrateTest, AWeaponCrateOfAnUnknownKindLogsAndStillHides) {
    testing_support::LogCapture log;
    PickupCrate* crate = Crate(PickupCrate::WeaponFlamer);
    crate->weaponKind = 7;
    ASSERT_TRUE(RunUntilHidden(*crate));
    EXPECT_TRUE(log.Contains("Unknown weapon!"));
    EXPECT_EQ(car->items.weapon, nullptr);
}

TEST_F(CrateTest, ATakenCrateHidesForTwentySecondsTouchesNothingAndComesBack) {
    PickupCrate* crate = Crate(PickupCrate::Jump);
    ASSERT_TRUE(RunUntilHidden(*crate));
    JumpSpecial* first = Special<JumpSpecial>();
    ASSERT_NE(first, nullptr);
    // The car stays in the crate: it takes nothing until the crate is back, then a fresh jump.
    const float takenAt = time;
    const float baseY = crate->basePosition.y;
    float lowest = 1e9f, highest = -1e9f, againAt = -1.0f;
    while (time < takenAt + 21.0f && againAt < 0.0f) {
        if (crate->Hidden()) EXPECT_TRUE(crate->object->far) << "a hidden crate is not drawn";
        Frame(Step);
        lowest = std::min(lowest, crate->object->PlacedPosition().y);
        highest = std::max(highest, crate->object->PlacedPosition().y);
        if (Special<JumpSpecial>() != first) againAt = time;
    }
    EXPECT_NEAR(againAt - takenAt, 20.0f, 2.0f * Step);
    EXPECT_NEAR(lowest, baseY - 4.0f, 0.1f) << "it bobs while hidden";
    EXPECT_NEAR(highest, baseY + 4.0f, 0.1f);
}

TEST_F(CrateTest, TwoCarsInOneStepGetOneGift) {
    Vehicle* other = flat.AddCar(taxi, 30.0f, 0.0f);
    PickupCrate* crate = Crate(PickupCrate::WeaponCannon, 15.0f, 0.0f);
    crate->SetRadius(20.0f);  // both cars inside from the first step
    Frame(Step);
    ASSERT_TRUE(crate->Hidden());
    const auto cannons = [](Vehicle* v) {
        int n = 0;
        for (CarItem* item : v->items.specials) n += dynamic_cast<CannonSpecial*>(item) != nullptr;
        return n;
    };
    EXPECT_EQ(cannons(car) + cannons(other), 1);
}

TEST_F(CrateTest, CratesThatHaveNothingToGiveStay) {
    struct Case {
        const char* what;
        int32_t code;
        std::function<void()> arrange;
    };
    ZKClient client;
    const std::vector<Case> cases = {
        {"a slow crate in a network game", PickupCrate::Slow, [&] { flat.context.client = &client; }},
        {"a repair crate and a wreck", PickupCrate::Repair, [this] { car->damage.health = 0.0f; }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        crates.clear();
        c.arrange();
        PickupCrate* crate = Crate(c.code);
        const size_t before = car->items.specials.size();
        for (int i = 0; i < 30; ++i) Frame(Step);
        EXPECT_FALSE(crate->Hidden());
        EXPECT_EQ(car->items.specials.size(), before);
        EXPECT_EQ(flat.world.timeScale, 1.0f);
        flat.context.client = nullptr;
    }
    EXPECT_EQ(car->damage.health, 0.0f);
}

TEST_F(CrateTest, GivingToNoCarTakesNothingFromThePoolsButTheExplosiveStillGoesOff) {
    for (int32_t code : {int32_t(PickupCrate::Boost), int32_t(PickupCrate::Rock), int32_t(PickupCrate::Slow),
                         int32_t(PickupCrate::WeaponCannon), int32_t(PickupCrate::WeaponMissile)}) {
        SCOPED_TRACE(code);
        PickupCrate* crate = Crate(code, 500.0f, 500.0f);
        crate->Give(nullptr);
        EXPECT_FALSE(crate->Hidden());
    }
    for (const ItemPool& pool : flat.context.itemPools.pools) EXPECT_EQ(pool.Size(), 0u) << "nothing was taken and lost";
    EXPECT_EQ(flat.world.timeScale, 1.0f);
    PickupCrate* bomb = Crate(PickupCrate::Explosive, 500.0f, 500.0f);
    bomb->Give(nullptr);
    EXPECT_TRUE(bomb->Hidden());
    ASSERT_EQ(LiveExplosions(), 1u);
    EXPECT_EQ(flat.context.explosions->pool.Live()[0]->owner, nullptr) << "the blast names nobody";
}

TEST_F(CrateTest, TheExplosiveCrateBlowsUpUnderTheCarAndAgainWhenTakenTwentySecondsLater) {
    PickupCrate* bomb = Crate(PickupCrate::Explosive);
    ASSERT_TRUE(RunUntilHidden(*bomb));
    ASSERT_EQ(LiveExplosions(), 1u);
    Explosion* blast = flat.context.explosions->pool.Live()[0];
    EXPECT_EQ(blast->owner, nullptr);
    float grown = 0.0f;
    while (LiveExplosions() == 1 && grown < 2.0f) {
        Frame(Step);
        grown += Step;
    }
    EXPECT_NEAR(grown, 0.8f, 0.1f);
    car->damage.health = VehicleDamage::MaxHealth;
    car->SetPosition(Vector3(0.0f, WheelRadius - 1.4f, 0.0f));
    for (int i = 0; i < 20 * 75 && bomb->Hidden(); ++i) Frame(Step);
    for (int i = 0; i < 75 && LiveExplosions() == 0; ++i) Frame(Step);
    EXPECT_EQ(LiveExplosions(), 1u) << "a fresh blast when it is taken again";
}

TEST_F(CrateTest, TheWorldLoaderMakesCratesThroughTheGamesFactory) {
    ASSERT_TRUE(flat.world.factories.crate);
    WorldObject object;
    object.kind = &kind;
    object.SetPosition(Vector3(300.0f, 4.0f, 0.0f));
    std::unique_ptr<WorldFeature> feature = flat.world.factories.crate(flat.world, CrateRecord{PickupCrate::Rock, &object});
    auto* crate = dynamic_cast<PickupCrate*>(feature.get());
    ASSERT_NE(crate, nullptr);
    EXPECT_EQ(crate->kind, PickupCrate::Rock);
    EXPECT_FLOAT_EQ(crate->GetRadius(), 2.0f * std::sqrt(kind.radiusSquared));
    Frame(Step);
    EXPECT_NEAR(crate->object->PlacedPosition().x, 300.0f, 1e-4f);
    feature.reset();
    Frame(Step);
}
