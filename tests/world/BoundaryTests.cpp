#include <gtest/gtest.h>

#include <memory>

#include "game/world/DamageReceiver.h"
#include "game/world/KillPlaneHandler.h"
#include "tests/support/EngineDoubles.h"
#include "tests/world/WorldTestSupport.h"

using namespace world_testing;

namespace {

constexpr float H = 1.0f / 75.0f;

struct Hurtable : GeomOwner {
    DamageReceiver health{1e5f, 0, 0.0f};
    DamageReceiver* GetDamageReceiver() override { return &health; }
};

struct RecordingKillPlane : KillPlaneHandler {
    void OnKillPlane(GeomOwner& owner) override { hits.push_back(&owner); }
    std::vector<GeomOwner*> hits;
};

class BoundaryTest : public ::testing::Test {
protected:
    BoundaryTest() {
        world = std::make_unique<World>(session, testing_support::NoEngine());
        EXPECT_FALSE(LoadWorld(*world, FlatWorld(1000.0f)).failed);
        world->boundary->killPlaneHandler = &killPlane;
    }
    ~BoundaryTest() override {
        if (body) body->SetGeom(nullptr);
    }
    // A damageable box of the vehicles' category.
    void MakeBox(const Vector3& at, uint32_t extraCategory = 0) {
        geom = std::make_unique<BoxGeom>(Vector3(10, 5, 20));
        geom->SetCategoryBits(0x80 | extraCategory);
        geom->SetCollideBits(1 | 8);
        geom->SetOwner(&owner);
        body = std::make_unique<RigidBody>(world->physics);
        body->SetMass(100.0f);
        body->SetBoxInertia(Vector3(10, 5, 20));
        body->SetGeom(geom.get());
        body->SetPosition(at);
        geom->AddToWorld(world->physics);
        body->Enable();
    }
    float Damage() const { return 1e5f - owner.health.GetHealth(); }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) world->Update(nullptr, H);
    }

    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
    GameSession session;
    std::unique_ptr<World> world;
    Hurtable owner;
    RecordingKillPlane killPlane;
    std::unique_ptr<BoxGeom> geom;
    std::unique_ptr<RigidBody> body;
};

} // namespace

TEST_F(BoundaryTest, TrianglesCollideOnlyInTheirMissionVariant) {
    struct Case {
        int32_t triangle, session;
        bool skipped;
    };
    const Case cases[] = {{0, -1, false}, {0, 3, false}, {2, 1, false}, {2, 0, true}, {2, -1, true}, {1, 0, false}};
    BoundaryPlane& b = *world->boundary;
    for (const Case& c : cases) {
        b.triangleVariants[0] = c.triangle;
        session.missionVariant = c.session;
        EXPECT_EQ(b.IgnoreTriangle(nullptr, &b, 0), c.skipped) << c.triangle << " in " << c.session;
    }
}

TEST_F(BoundaryTest, RestingCostsNextToNothingACrashCostsMuch) {
    MakeBox({0, 5, 0});
    Frames(75);
    const float resting = Damage();
    EXPECT_LT(resting, 0.05f);
    body->SetPosition(Vector3(0, 600, 0));
    body->SetLinearVelocity(Vector3());
    for (int i = 0; i < 300 && body->GetPosition().y > 6.0f; ++i) Frames(1);
    Frames(2);
    EXPECT_GT(Damage() - resting, 1.0f);
    EXPECT_TRUE(world->boundary->contacts.empty()); // emptied every frame
}

TEST_F(BoundaryTest, Category0x400TakesNoWallDamage) {
    MakeBox({0, 600, 0}, BoundaryPlane::NoWallDamage);
    Frames(200);
    EXPECT_LT(body->GetPosition().y, 10.0f); // it did land
    EXPECT_EQ(Damage(), 0.0f);
}

TEST_F(BoundaryTest, AFallReachesTheKillPlane) {
    MakeBox({3000, 0, 0}); // beside the city
    for (int i = 0; i < 300 && killPlane.hits.empty(); ++i) Frames(1);
    ASSERT_FALSE(killPlane.hits.empty());
    EXPECT_EQ(killPlane.hits.front(), &owner);
    EXPECT_LT(body->GetPosition().y, -340.0f);
}
