// Particles: the pool and the emit policies, the kinds' ageing, the group flags, the batch's
// entries and limits, and quads through the real GL path.
#include <gtest/gtest.h>

#include "game/world/ParticleSystem.h"
#include "tests/world/EffectsTestSupport.h"

namespace {

using effects_test::EffectsTest;
using effects_test::kH;
using effects_test::kW;

constexpr float kStep = 1.0f / 75.0f;

TEST(ParticlePoolTest, EmitTakesThePoolThenFollowsItsPolicy) {
    ParticleSystem system(3);
    ParticleGroup* a = system.Emit(ParticleSystem::kFromPool);
    ParticleGroup* b = system.Emit(ParticleSystem::kFromPool);
    ParticleGroup* c = system.Emit(ParticleSystem::kFromPool);
    ASSERT_TRUE(a && b && c);
    EXPECT_EQ(system.Emit(ParticleSystem::kFromPool), nullptr);  // pool empty

    // Policy 1 takes the oldest and moves it to the back, reset.
    a->position = Vector3(1, 2, 3);
    EXPECT_EQ(system.Emit(ParticleSystem::kRecycleOldest), a);
    EXPECT_EQ(system.ActiveGroups(), (std::vector<ParticleGroup*>{b, c, a}));
    EXPECT_EQ(a->position, Vector3());
    // Policy 2 grows past the pool.
    ParticleGroup* d = system.Emit(ParticleSystem::kGrow);
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(system.ActiveGroups().size(), 4u);

    // A released group comes back, reset, on the next emit.
    b->colour[3] = 0.1f;
    system.Release(b);
    EXPECT_EQ(system.ActiveGroups(), (std::vector<ParticleGroup*>{c, a, d}));
    EXPECT_EQ(system.Emit(ParticleSystem::kFromPool), b);
    EXPECT_EQ(b->colour[3], 1.0f);

    // Nothing live: policy 1 has nothing to recycle.
    ParticleSystem empty(0);
    EXPECT_EQ(empty.Emit(ParticleSystem::kRecycleOldest), nullptr);
    EXPECT_EQ(empty.Emit(ParticleSystem::kFromPool), nullptr);
    EXPECT_NE(empty.Emit(ParticleSystem::kGrow), nullptr);
}

TEST(ParticlePoolTest, BloodEmitsTwoThousandThenRecyclesTheOldest) {
    BloodParticleSystem blood(nullptr, Vector3(0, -275, 0), nullptr);
    ParticleGroup* first = nullptr;
    for (int i = 0; i < BloodParticleSystem::kPool; ++i) {
        ParticleGroup* g = blood.Emit(ParticleSystem::kFromPool);
        ASSERT_NE(g, nullptr) << i;
        if (!first) first = g;
    }
    EXPECT_EQ(blood.Emit(ParticleSystem::kFromPool), nullptr);
    EXPECT_EQ(blood.Emit(ParticleSystem::kRecycleOldest), first);
    EXPECT_EQ(first->quads.size(), 5u);
    EXPECT_GT(first->radius, 0.0f);
}

// Frames of kStep until the kind retires the group.
int FramesToLive(TexturedParticleSystem& system, ParticleGroup* group) {
    Camera camera;
    for (int frame = 1; frame < 1000; ++frame) {
        system.Update(camera, kStep);
        if (system.ActiveGroups().empty()) return frame;
        (void)group;
    }
    return -1;
}

TEST(ParticleKindTest, FireFadesOverItsDivisorAndSparksFollowLifeSquared) {
    struct Case {
        int divisor;
        int frames;  // 1.5 / divisor alpha a second
    } cases[] = {{2, 100}, {4, 200}};
    for (const Case& c : cases) {
        FireParticleSystem fire(nullptr);
        auto* g = static_cast<FireParticleGroup*>(fire.Emit(ParticleSystem::kFromPool));
        ASSERT_NE(g, nullptr);
        g->lifeDivisor = uint8_t(c.divisor);
        g->spin = 2;
        g->angle = 0.0f;
        const int frames = FramesToLive(fire, g);
        EXPECT_NEAR(frames, c.frames, 1) << c.divisor;
        EXPECT_EQ(g->colour[3], 0.0f);
        EXPECT_NEAR(g->angle, 2.0f * float(frames) * kStep, 1e-3f);  // spun as it faded
    }

    SparkParticleSystem sparks(nullptr, Vector3(), false);
    ParticleGroup* s = sparks.Emit(ParticleSystem::kFromPool);
    Camera camera;
    sparks.Update(camera, 0.5f);
    EXPECT_FLOAT_EQ(s->colour[3], 0.25f);
    sparks.Update(camera, 0.5f);
    EXPECT_TRUE(sparks.ActiveGroups().empty());
}

TEST(ParticleKindTest, SmokeKeepsItsSpinWhenReused) {
    SmokeParticleSystem smoke(nullptr, "Smoke.ZKT");
    auto* g = static_cast<SmokeParticleGroup*>(smoke.Emit(ParticleSystem::kFromPool));
    ASSERT_GE(g->lifeDivisor, 2);
    ASSERT_LE(g->lifeDivisor, 4);
    g->lifeDivisor = 3;
    g->spin = 7;
    g->angle = 1.0f;
    smoke.Release(g);
    ASSERT_EQ(smoke.Emit(ParticleSystem::kFromPool), g);
    EXPECT_EQ(g->lifeDivisor, 3);
    EXPECT_EQ(g->spin, 7);
    EXPECT_EQ(g->angle, 0.0f);
}

TEST(ParticleKindTest, AOneStepGroupMovesOnceAndGravityAccelerates) {
    ParticleSystem system(2);
    system.SetAcceleration(Vector3(0, -10, 0));
    ParticleGroup* once = system.Emit(ParticleSystem::kFromPool);
    ParticleGroup* falling = system.Emit(ParticleSystem::kFromPool);
    once->velocity = Vector3(1, 0, 0);
    once->flags |= ParticleGroup::kOneStep;
    system.Update(1.0f);
    system.Update(1.0f);
    EXPECT_EQ(once->position, Vector3(1, -10, 0));
    EXPECT_FALSE(once->flags & ParticleGroup::kAlive);
    EXPECT_EQ(falling->velocity, Vector3(0, -20, 0));
    EXPECT_EQ(falling->position, Vector3(0, -30, 0));
}

// The batch without a device: visibility, entries and limits.
struct BatchCase : ::testing::Test {
    BatchCase() { camera = effects_test::LookAt(Vector3(0, 0, 50), Vector3()); }
    ParticleGroup* Group(TextureHandle* texture, int quads = 1) {
        groups.push_back(std::make_unique<ParticleGroup>());
        ParticleGroup* g = groups.back().get();
        g->texture = texture;
        g->quads.assign(size_t(quads), ParticleQuad{0, 0, 1, 1, -1, -1, 2, 2});
        g->UpdateRadius();
        return g;
    }
    Camera camera;
    TextureHandle a, b;
    std::vector<std::unique_ptr<ParticleGroup>> groups;
};

TEST_F(BatchCase, RunsOfOneTextureAndLayerShareAnEntry) {
    ParticleBatch batch(nullptr, 100, false);
    std::vector<ParticleGroup*> list = {Group(&a), Group(&b), Group(&a, 2)};
    batch.AddSystem(camera, list);
    ASSERT_EQ(batch.Entries().size(), 3u);
    EXPECT_EQ(batch.Entries()[2].quadCount, 2);
    list = {Group(&a), Group(&a), Group(&b)};
    list[1]->layer = 0;
    batch.AddSystem(camera, list);
    ASSERT_EQ(batch.Entries().size(), 2u);
    EXPECT_EQ(batch.Entries()[0].quadCount, 2);
    list[1]->layer = 1;  // another layer splits the run
    batch.AddSystem(camera, list);
    EXPECT_EQ(batch.Entries().size(), 3u);
}

TEST_F(BatchCase, ShownOnceCulledInvisibleAndOverCapacityGroups) {
    ParticleBatch batch(nullptr, 4, false);
    ParticleGroup* once = Group(&a);
    once->flags |= ParticleGroup::kShowOnce;
    std::vector<ParticleGroup*> list = {once};
    batch.AddSystem(camera, list);
    EXPECT_EQ(batch.Entries().size(), 1u);
    EXPECT_TRUE(once->flags & ParticleGroup::kDrawn);
    // Not the next frame: no entry is left over from the last one.
    batch.AddSystem(camera, list);
    EXPECT_TRUE(batch.Entries().empty());
    EXPECT_FALSE(once->flags & ParticleGroup::kDrawn);
    once->flags |= ParticleGroup::kVisible;
    batch.AddSystem(camera, list);
    EXPECT_EQ(batch.Entries().size(), 1u);

    // Behind the camera: culled, unless it is not frustum tested.
    ParticleGroup* behind = Group(&a);
    behind->position = Vector3(0, 0, 100);
    list = {behind};
    batch.AddSystem(camera, list);
    EXPECT_TRUE(batch.Entries().empty());
    behind->flags &= uint16_t(~ParticleGroup::kFrustumTested);
    batch.AddSystem(camera, list);
    EXPECT_EQ(batch.Entries().size(), 1u);

    // Six quads into a batch of four: the last two are dropped.
    list = {Group(&a, 3), Group(&b, 3)};
    batch.AddSystem(camera, list);
    EXPECT_EQ(batch.FrameQuads(), 4);
    ASSERT_EQ(batch.Entries().size(), 2u);
    EXPECT_EQ(batch.Entries()[1].quadCount, 1);
}

// Through GL: a group's quad faces the camera from every side, in the group's colour.
TEST_F(EffectsTest, ParticlesFaceTheCameraAndDrawInTheirColour) {
    effects_test::WriteSolidTexture("White.ZKT", 0xFFFFFFFFu);
    TextureHandle* white = TextureFactory::Instance().GetByName("White.ZKT", true);
    ParticleBatch batch(&f, 16, false);
    batch.SetMaterial({TextureLayer{"Modulate", 1, 6, 7}});
    ParticleGroup g;
    g.Reset();
    g.texture = white;
    g.quads = {ParticleQuad{0, 0, 1, 1, -5, -5, 10, 10}};
    g.angle = 0.3f;
    g.colour[1] = g.colour[2] = 0.0f;  // red
    g.UpdateRadius();
    const std::vector<ParticleGroup*> list = {&g};
    const Vector3 sides[] = {{0, 0, 30}, {30, 0, 0}, {0, 0, -30}, {-30, 0, 0}};
    for (const Vector3& from : sides) {
        SCOPED_TRACE(from.x + from.z * 10);
        Camera camera = effects_test::LookAt(from, Vector3());
        BeginFrame(camera);
        batch.AddSystem(camera, list);
        EXPECT_EQ(batch.LastLocks(), 1);
        batch.Flush();
        EXPECT_EQ(batch.LastDrawCalls(), 1);
        const std::vector<uint32_t> shot = EndFrame();
        EXPECT_EQ(At(shot, kW / 2, kH / 2), 0xFF0000u);
        EXPECT_EQ(At(shot, 2, 2), 0u);
    }
    delete white;
}

// The game's five systems through GL: smoke is drawn after the fire, so it covers it.
TEST_F(EffectsTest, TheFiveSystemsDrawSmokeLast) {
    effects_test::WriteSolidTexture("Fire.ZKT", 0xFF00FF00u);
    effects_test::WriteSolidTexture("Smoke.ZKT", 0xFFFF0000u);
    ParticleSystems::Create(&f, Vector3(0, -275, 0), nullptr);
    ASSERT_NE(ParticleSystems::fire->Emit(ParticleSystem::kFromPool), nullptr);
    ASSERT_NE(ParticleSystems::smoke->Emit(ParticleSystem::kFromPool), nullptr);
    Camera camera = effects_test::LookAt({0, 0, 30}, Vector3());
    BeginFrame(camera);
    ParticleSystems::UpdateAll(camera, 0.0f);
    ParticleSystems::DrawAll();
    const std::vector<uint32_t> shot = EndFrame();
    ParticleSystems::Destroy();
    EXPECT_EQ(At(shot, kW / 2, kH / 2), 0xFF0000u);
}

}  // namespace
