// The people who stand at their marked places: placed by the crowd's manager round the human
// players' cars and taken away beyond its radius; the gunman shoots at a player's car in sight
// within 500 and never through a wall; the rocket thrower throws at human players only. All on
// the real physics layer and World::Update, at uneven frame times.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "engine/render/MeshFactory.h"
#include "game/traffic/PedestrianManager.h"
#include "game/traffic/SpecialPedestrians.h"
#include "game/traffic/StreetEvents.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/Rifle.h"
#include "game/world/BoundaryPlane.h"
#include "platform/sys/Random.h"
#include "tests/support/FrameSchedule.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

using vehicle_test::VehicleTest;

class SpecialPedestrianTest : public VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        MeshFactory::Instance().ClearForTests();
        PedestrianManager::ForgetCrowdForTests();
        plat::SetEngineRandSeed(5);
        const std::pair<const char*, std::vector<const char*>> kinds[] = {
            {"PED05", {"Idle", "Fire", "Grab"}}, {"MOB1", {"Idle", "Throw"}}, {"PED13", {"Idle", "Show1", "Show2"}}};
        for (const auto& [name, animations] : kinds) {
            dir.WriteBytes(std::string("Pedestrians/") + name + ".VQP", "");
            std::filesystem::create_directories(std::string("Pedestrians/") + name);
            ASSERT_TRUE(tools::WriteZkm(SharedString::Format("Pedestrians/%s/Body.ZKM", name), tools::FigureModel("F.ZKT")));
            // Fire lasts a tenth of a second: ten shots a second.
            for (const char* a : animations)
                ASSERT_TRUE(tools::WriteZka(SharedString::Format("Pedestrians/%s/%s.ZKA", name, a),
                                            tools::WaveAnimation(4, std::string(a) == "Fire" ? 0.1f : 0.5f)));
        }
    }
    void TearDown() override {
        manager.reset();
        flat.context.projectiles.reset();
        flat.context.explosions.reset();
        if (flat.world.boundary) flat.world.boundary->RemoveFromWorld(flat.world.physics);
        flat.world.boundary.reset();
        PedestrianManager::ForgetCrowdForTests();
        MeshFactory::Instance().ClearForTests();
    }
    void Spot(uint8_t kind, const Vector3& at) {
        PedestrianSpotRecord r;
        r.typeFlag = kind;
        r.position = at;
        flat.world.records.pedestrianSpots.push_back(r);
    }
    PedestrianManager& MakeManager() {
        manager = std::make_unique<PedestrianManager>(flat.world, &flat.context, nullptr);
        manager->Init();
        return *manager;
    }
    Vehicle* Car(float z, bool human) {
        Vehicle* car = flat.AddCar(taxi, 0.0f, z);
        if (car && human) car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
        return car;
    }
    // A wall of the static city across x = -200..200, y = 0..200 at this z, seen from both sides.
    void Wall(float z) {
        auto wall = std::make_unique<BoundaryPlane>(flat.session);
        wall->Vertices() = {-200, 0, z, 200, 0, z, 200, 200, z, -200, 200, z};
        wall->Indices() = {0, 1, 2, 0, 2, 3, 0, 2, 1, 0, 3, 2};
        ASSERT_TRUE(wall->Build());
        wall->SetCategoryBits(1);
        wall->SetCollideBits(0);
        wall->SetSurface(&flat.world.staticSurface);
        wall->AddToWorld(flat.world.physics);
        flat.world.boundary = std::move(wall);
    }
    // Game frames at the uneven times of a loaded machine: the manager, then the world.
    template <class Each>
    void Run(float seconds, Each each) {
        const testing_support::FrameSchedule frames = testing_support::UnevenFrames();
        const int32_t n = frames.FrameAt(seconds);
        for (int32_t i = 0; i < n; ++i) {
            ++flat.engine.frameNumber;
            manager->Update();
            flat.Frame(frames(i));
            each();
        }
    }

    std::unique_ptr<PedestrianManager> manager;
};

struct GunmanCase {
    const char* name;
    float carZ;
    bool human, wall, shoots;
};

class GunmanTest : public SpecialPedestrianTest, public ::testing::WithParamInterface<GunmanCase> {};

TEST_P(GunmanTest, ShootsOnlyAPlayersCarInSightWithinReach) {
    const GunmanCase& c = GetParam();
    Spot(PedestrianType::kGunman, Vector3(0, 0, 0));
    if (c.wall) Wall(-150.0f);
    Vehicle* car = Car(c.carZ, c.human);
    ASSERT_NE(car, nullptr);
    if (!c.human) Car(1500.0f, true);  // a player far off keeps the gunman in the world
    MakeManager();
    manager->Update();
    auto* gunman = dynamic_cast<Gunman*>(manager->GunmanSpots().at(0).pedestrian);
    ASSERT_NE(gunman, nullptr);
    const float health = car->damage.health;
    bool aimed = false, fired = false;
    Run(3.0f, [&] {
        aimed = aimed || gunman->state == Gunman::Aiming;
        fired = fired || (gunman->rifle && gunman->rifle->firing);
    });
    EXPECT_EQ(aimed, c.shoots);
    EXPECT_EQ(fired, c.shoots);
    if (c.shoots) {
        const Vector3 muzzleToCar = (car->ChassisGeom()->GetPosition() - gunman->muzzle).Normalized();
        const Vector3 barrel = gunman->aim.ToMatrix().TransformNormal(Vector3(0, 0, -1));
        EXPECT_GT(Vector3::Dot(barrel, muzzleToCar), 0.99f) << "the rifle points at the car";
        EXPECT_LT(car->damage.health, health) << "the rifle's bullets reach the car";
        const Vector3 toCar = car->GetPosition() - gunman->GetPosition();
        EXPECT_GT(Vector3::Dot(gunman->facing, Vector3(toCar.x, 0, toCar.z).Normalized()), 0.99f) << "faces the car";
    } else {
        EXPECT_EQ(gunman->state, Pedestrian::Standing);
        EXPECT_EQ(car->damage.health, health);
    }
}

INSTANTIATE_TEST_SUITE_P(Targets, GunmanTest,
                         ::testing::Values(GunmanCase{"InSightAt150", -150.0f, true, false, true},
                                           GunmanCase{"BehindAWall", -300.0f, true, true, false},
                                           GunmanCase{"At600", -600.0f, true, false, false},
                                           GunmanCase{"NoPlayersCarAt100", -100.0f, false, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

// Once the session is decided the gunman lowers his rifle and stands, the car in plain sight.
TEST_F(SpecialPedestrianTest, GunmanHoldsFireOnceTheSessionIsDecided) {
    struct Decided : StreetEvents {
        bool SessionDecided() const override { return decided; }
        bool decided = false;
    } events;
    Spot(PedestrianType::kGunman, Vector3(0, 0, 0));
    Vehicle* car = Car(-150.0f, true);
    ASSERT_NE(car, nullptr);
    MakeManager();
    manager->SetEvents(&events);
    manager->Update();
    auto* gunman = dynamic_cast<Gunman*>(manager->GunmanSpots().at(0).pedestrian);
    ASSERT_NE(gunman, nullptr);
    bool aimed = false;
    Run(3.0f, [&] { aimed = aimed || gunman->state == Gunman::Aiming; });
    ASSERT_TRUE(aimed);
    events.decided = true;
    flat.Frame(1.0f / 75.0f);
    EXPECT_EQ(gunman->state, Pedestrian::Standing);
    ASSERT_NE(gunman->rifle, nullptr);
    EXPECT_EQ(gunman->rifle->firing, 0);
    const float health = car->damage.health;
    bool aimedAgain = false;
    Run(2.0f, [&] { aimedAgain = aimedAgain || gunman->state == Gunman::Aiming || gunman->rifle->firing; });
    EXPECT_FALSE(aimedAgain);
    EXPECT_EQ(car->damage.health, health);
}

struct ThrowerCase {
    const char* name;
    float carZ;
    bool human, throws;
};

class RocketThrowerTest : public SpecialPedestrianTest, public ::testing::WithParamInterface<ThrowerCase> {};

TEST_P(RocketThrowerTest, ThrowsAtHumanPlayersWithinReachOnly) {
    const ThrowerCase& c = GetParam();
    Spot(PedestrianType::kMob, Vector3(0, 0, 0));
    Car(c.carZ, c.human);
    if (!c.human) Car(1500.0f, true);
    MakeManager();
    manager->Update();
    auto* thrower = dynamic_cast<RocketThrower*>(manager->MobSpots().at(0).pedestrian);
    ASSERT_NE(thrower, nullptr);
    bool threw = false;
    Run(3.0f, [&] { threw = threw || thrower->state == RocketThrower::Throwing; });
    EXPECT_EQ(threw, c.throws);
    const size_t rockets = flat.context.projectiles ? ProjectileKinds::Of(flat.context).rockets.Made() : 0;
    EXPECT_EQ(rockets > 0, c.throws);
}

INSTANTIATE_TEST_SUITE_P(Targets, RocketThrowerTest,
                         ::testing::Values(ThrowerCase{"PlayerAt600", -600.0f, true, true},
                                           ThrowerCase{"NoPlayersCarAt100", -100.0f, false, false},
                                           ThrowerCase{"PlayerAt1200", -1200.0f, true, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(SpecialPedestrianTest, PlacedWithinTheRadiusOfAHumanPlayerAndGoneBeyondIt) {
    Spot(PedestrianType::kGunman, Vector3(0, 0, 0));
    Spot(PedestrianType::kMob, Vector3(100, 0, 0));
    Spot(PedestrianType::kShow, Vector3(-100, 0, 0));
    Spot(PedestrianType::kShow, Vector3(0, 0, 5000));
    Vehicle* other = Car(-500.0f, false);
    ASSERT_NE(other, nullptr);
    MakeManager();
    auto placed = [&] {
        return int(manager->GunmanSpots()[0].pedestrian != nullptr) + int(manager->MobSpots()[0].pedestrian != nullptr) +
               int(manager->ShowSpots()[0].pedestrian != nullptr) + int(manager->ShowSpots()[1].pedestrian != nullptr);
    };
    manager->Update();
    EXPECT_EQ(placed(), 0) << "only human players' cars bring them";

    Vehicle* player = Car(-1900.0f, true);
    manager->Update();
    ASSERT_EQ(placed(), 3) << "the three within 2000, not the far one";
    EXPECT_NE(dynamic_cast<Gunman*>(manager->GunmanSpots()[0].pedestrian), nullptr);
    EXPECT_NE(dynamic_cast<RocketThrower*>(manager->MobSpots()[0].pedestrian), nullptr);
    auto* show = dynamic_cast<ShowPedestrian*>(manager->ShowSpots()[0].pedestrian);
    ASSERT_NE(show, nullptr);
    EXPECT_FALSE(show->mayBoard);
    EXPECT_FALSE(show->looksForCabs);
    EXPECT_EQ(show->state, Pedestrian::Waiting);
    const Vector3 at = manager->MobSpots()[0].pedestrian->GetPosition();
    EXPECT_NEAR(at.x, 100.0f, 0.01f);
    EXPECT_NEAR(at.y, 10.0f, 0.01f);
    EXPECT_NEAR(at.z, 0.0f, 0.01f);
    Pedestrian* gunman = manager->GunmanSpots()[0].pedestrian;

    player->SetPosition(Vector3(0, 1, -2600));
    manager->Update();
    EXPECT_EQ(placed(), 0) << "gone once the player is beyond 2000";

    player->SetPosition(Vector3(0, 1, -1000));
    manager->Update();
    EXPECT_EQ(placed(), 3);
    EXPECT_EQ(manager->GunmanSpots()[0].pedestrian, gunman) << "the same gunman, back from the free list";
    flat.Frames(10);  // in the world and the tree again, without fault

    manager->Reset();
    EXPECT_EQ(placed(), 0) << "a reset takes them all away";
}

}  // namespace
