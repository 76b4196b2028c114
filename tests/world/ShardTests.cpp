// Shard effect: one shard per triangle, the spin that builds up over five seconds, the end of
// an effect whose clock is set back, and shards drawn through the shared buffer.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "game/world/ShardEffect.h"
#include "tests/world/EffectsTestSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

using effects_test::EffectsTest;
using effects_test::kH;
using effects_test::kW;

class ShardTest : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        effects_test::WriteSolidTexture("Crate.ZKT", 0xFFFFFFFFu);
        std::filesystem::create_directories("Models");
        ASSERT_TRUE(tools::WriteZkm("Models/Crate.ZKM", tools::CrateModel("Crate.ZKT", 5.0f)));
        ShardEffect::SetRenderer(&f);
    }
    void TearDown() override {
        ShardEffect::SetRenderer(nullptr);
        EffectsTest::TearDown();
    }
};

TEST_F(ShardTest, ABoxOfThirtySixIndicesFliesAsTwelveShardsAndDraws) {
    std::shared_ptr<ShardMesh> mesh = ShardMesh::Load(&f, "Models\\Crate.ZKM");
    ASSERT_EQ(mesh->TriangleCount(), 12u);
    ShardEffect effect;
    effect.Build(mesh);
    ASSERT_EQ(effect.shards.size(), 12u);
    for (const ShardEffect::Shard& s : effect.shards) {
        EXPECT_EQ(s.position, Vector3());
        EXPECT_EQ(s.velocity.y, 0.0f);
        EXPECT_LE(std::fabs(s.velocity.x), 20.0f);
        EXPECT_GE(s.fallRate, 10.0f);
        EXPECT_LE(s.fallRate, 20.0f);
    }

    Camera camera = effects_test::LookAt(Vector3(0, 0, 40), Vector3());
    BeginFrame(camera);
    effect.Update(0.0f, 0.01f);
    effect.Draw();
    const std::vector<uint32_t> shot = EndFrame();
    EXPECT_NE(At(shot, kW / 2, kH / 2), 0u);
    EXPECT_EQ(At(shot, 1, 1), 0u);

    // A model that cannot be read gives no shards.
    ShardEffect none;
    none.Build(ShardMesh::Load(&f, "Models\\Missing.ZKM"));
    EXPECT_TRUE(none.shards.empty());
    none.Update(0.0f, 0.01f);
    none.Draw();
}

TEST_F(ShardTest, SpinBuildsUpOverFiveSecondsAndASetBackClockEndsTheEffect) {
    ShardEffect effect;
    effect.Build(ShardMesh::Load(&f, "Models\\Crate.ZKM"));
    effect.shards.resize(1);
    ShardEffect::Shard& s = effect.shards[0];
    // Angle turned about y in one step of 0.1 s with spin 1 rad/s, starting at a given clock.
    auto turned = [&](float clockBefore) {
        s.spin = Vector3(0, 1, 0);
        s.orientation = Quaternion();
        effect.clock = effect.clockCopy = clockBefore;
        effect.Update(0.0f, 0.1f);
        return 2.0f * std::acos(std::min(1.0f, std::fabs(s.orientation.w)));
    };
    EXPECT_NEAR(turned(2.4f), 0.5f * 0.1f, 1e-4f);   // clock 2.5: half rate
    EXPECT_NEAR(turned(4.9f), 1.0f * 0.1f, 1e-4f);   // clock 5: full rate
    EXPECT_NEAR(turned(7.0f), 1.0f * 0.1f, 1e-4f);

    // Run three seconds, then set the clock back: the effect ends at once.
    effect.clock = effect.clockCopy = 0.0f;
    for (int i = 0; i < 30; ++i) effect.Update(0.0f, 0.1f);
    EXPECT_FALSE(effect.Finished());
    const Vector3 before = s.position;
    effect.clock = 0.0f;
    effect.Update(0.0f, 0.1f);
    EXPECT_TRUE(effect.Finished());
    EXPECT_GT(effect.clock, ShardEffect::kDuration);
    EXPECT_EQ(s.position, before);  // no longer moved
    effect.Update(0.0f, 0.1f);
    EXPECT_EQ(effect.clock, effect.clockCopy);

    // A clock set back within the first two seconds just restarts it.
    effect.Build(ShardMesh::Load(&f, "Models\\Crate.ZKM"));
    for (int i = 0; i < 15; ++i) effect.Update(0.0f, 0.1f);
    effect.clock = 0.0f;
    effect.Update(0.0f, 0.1f);
    EXPECT_FALSE(effect.Finished());
    EXPECT_NEAR(effect.clock, 0.1f, 1e-6f);
}

}  // namespace
