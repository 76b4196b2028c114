// Decals: the ring's numbering and reuse, the game reset, the frame batch and its draw per
// owner, and the per-frame limits.
#include <gtest/gtest.h>

#include <memory>

#include "game/world/Decals.h"
#include "game/world/ParticleSystem.h"
#include "tests/world/EffectsTestSupport.h"

namespace {

using effects_test::EffectsTest;
using effects_test::kH;
using effects_test::kW;

// A quad facing the camera, `half` units about `centre`, corners in the drawing order.
DecalQuad FacingQuad(const Camera& camera, const Vector3& centre, float halfW, float halfH, const float rgba[4]) {
    const Vector3 right = Vector3(camera.view.m[0][0], camera.view.m[1][0], camera.view.m[2][0]).Normalized();
    const Vector3 up = Vector3(camera.view.m[0][1], camera.view.m[1][1], camera.view.m[2][1]).Normalized();
    DecalQuad q;
    const float xs[4] = {-halfW, -halfW, halfW, halfW}, ys[4] = {-halfH, halfH, -halfH, halfH};
    for (int i = 0; i < 4; ++i) {
        q.corners[i] = centre + right * xs[i] + up * ys[i];
        q.texCoords[i] = {xs[i] > 0 ? 1.0f : 0.0f, ys[i] > 0 ? 0.0f : 1.0f};
    }
    for (int i = 0; i < 4; ++i) q.colour[i] = rgba[i];
    return q;
}

TEST(DecalRingTest, TheNewestReplaceTheOldestAndAResetMakesEveryNumberStale) {
    DecalOwner owner;
    const int32_t base = DecalRing::Counter();
    DecalRecord* first = DecalRing::Next(&owner);
    first->quad.colour[0] = 0.25f;
    EXPECT_EQ(DecalRing::Get(base), first);
    EXPECT_EQ(DecalRing::Get(base + 1), nullptr);  // not handed out yet
    for (int i = 0; i < DecalRing::kSize; ++i) DecalRing::Next(&owner);

    // The 4097th record took the first one's slot: that number is stale, the next still valid.
    EXPECT_EQ(DecalRing::Get(base + DecalRing::kSize), first);
    EXPECT_EQ(DecalRing::Get(base), nullptr);
    DecalBatch::Clear();
    EXPECT_FALSE(DecalBatch::AddFromRing(base));
    EXPECT_TRUE(DecalBatch::AddFromRing(base + 1));
    EXPECT_EQ(DecalBatch::Quads().size(), 1u);
    EXPECT_EQ(owner.batchIndices, std::vector<int32_t>{0});

    // A reset: no number handed out before is valid, though the records keep their data.
    DecalRecord* last = DecalRing::Get(base + DecalRing::kSize);
    last->quad.colour[1] = 0.5f;
    DecalRing::Reset();
    for (int32_t n = base; n <= base + DecalRing::kSize; ++n) ASSERT_EQ(DecalRing::Get(n), nullptr) << n;
    EXPECT_FALSE(DecalBatch::AddFromRing(base + DecalRing::kSize));
    EXPECT_EQ(last->quad.colour[1], 0.5f);
    const int32_t fresh = DecalRing::Counter();
    DecalRing::Next(&owner);
    EXPECT_NE(DecalRing::Get(fresh), nullptr);
    DecalBatch::Clear();
}

TEST(DecalRingTest, AnOwnerThatGoesAwayLeavesItsRecordsBehindSafely) {
    auto owner = std::make_unique<DecalOwner>();
    const int32_t number = DecalRing::Counter();
    DecalRing::Next(owner.get());
    DecalOwner other;
    const int32_t kept = DecalRing::Counter();
    DecalRing::Next(&other);
    owner.reset();  // e.g. the blood system at the end of a game

    // The number stays valid until the ring moves on, but nothing is drawn for it.
    DecalBatch::Clear();
    EXPECT_TRUE(DecalBatch::AddFromRing(number));
    EXPECT_TRUE(DecalBatch::Quads().empty());
    EXPECT_TRUE(DecalBatch::AddFromRing(kept));
    EXPECT_EQ(other.batchIndices, std::vector<int32_t>{0});
    DecalBatch::Clear();
}

TEST(DecalRendererTest, OwnersAndTheRendererMayGoInEitherOrder) {
    // The renderer (the city's) before the blood system that registered its splat owner.
    auto renderer = std::make_unique<DecalRenderer>(nullptr);
    auto blood = std::make_unique<BloodParticleSystem>(nullptr, Vector3(), renderer.get());
    ASSERT_EQ(renderer->Owners().size(), 1u);
    renderer.reset();
    blood.reset();

    // An owner before the renderer it is registered with: it leaves the owner list.
    renderer = std::make_unique<DecalRenderer>(nullptr);
    auto owner = std::make_unique<DecalOwner>();
    renderer->Register(owner.get());
    owner.reset();
    EXPECT_TRUE(renderer->Owners().empty());
    renderer->BeginFrame(nullptr, 0.0f);
}

TEST_F(EffectsTest, DecalOwnersDrawInRegistrationOrderOneCallEachWithTheirTexturesAndColours) {
    effects_test::WriteSolidTexture("White.ZKT", 0xFFFFFFFFu);
    effects_test::WriteSolidTexture("Green.ZKT", 0xFF00FF00u);
    const TextureLayer opaque{"Modulate", 0, 6, 7};
    DecalOwner red(&f, "White.ZKT", opaque), green(&f, "Green.ZKT", opaque);
    DecalRenderer renderer(&f);
    renderer.Register(&red);
    renderer.Register(&green);
    renderer.Register(&red);  // once only
    ASSERT_EQ(renderer.Owners().size(), 2u);

    Camera camera = effects_test::LookAt(Vector3(0, 0, 50), Vector3());
    const float redColour[4] = {1, 0, 0, 1}, white[4] = {1, 1, 1, 1};
    BeginFrame(camera);
    renderer.BeginFrame(&camera, 0.01f);
    // Green's quad (added first, a kept record) lies half a width right of red's (a ring decal).
    const Vector3 right = Vector3(camera.view.m[0][0], camera.view.m[1][0], camera.view.m[2][0]).Normalized();
    DecalBatch::AddQuad(DecalRecord{&green, FacingQuad(camera, right * 10.0f, 10, 10, white)});
    const int32_t number = DecalRing::Counter();
    DecalRing::Next(&red)->quad = FacingQuad(camera, Vector3(), 10, 10, redColour);
    ASSERT_TRUE(DecalBatch::AddFromRing(number));
    ASSERT_EQ(DecalBatch::Quads().size(), 2u);
    renderer.Draw(camera);
    EXPECT_EQ(renderer.LastLocks(), 1);
    EXPECT_EQ(renderer.LastDrawCalls(), 2);
    const std::vector<uint32_t> shot = EndFrame();

    // Red alone left of centre, green over it right of centre (drawn second), black beyond.
    EXPECT_EQ(At(shot, kW / 2 - 4, kH / 2), 0xFF0000u);
    EXPECT_EQ(At(shot, kW / 2 + 2, kH / 2), 0x00FF00u);
    EXPECT_EQ(At(shot, 1, 1), 0x000000u);
}

TEST_F(EffectsTest, AnEmptyFrameLocksNothingAndAFullOneDropsAndSplits) {
    effects_test::WriteSolidTexture("White.ZKT", 0xFFFFFFFFu);
    DecalOwner owner(&f, "White.ZKT", TextureLayer{"Modulate", 1, 6, 7});
    DecalRenderer renderer(&f);
    renderer.Register(&owner);
    Camera camera = effects_test::LookAt(Vector3(0, 0, 50), Vector3());

    BeginFrame(camera);
    renderer.BeginFrame(&camera, 0.01f);
    const int32_t before = renderer.WritePosition();
    renderer.Draw(camera);
    EXPECT_EQ(renderer.LastLocks(), 0);
    EXPECT_EQ(renderer.LastDrawCalls(), 0);
    EXPECT_EQ(renderer.WritePosition(), before);

    // 16,384 quads fit one frame; more are dropped, and a valid ring number still reads as valid.
    const float white[4] = {1, 1, 1, 1};
    DecalRecord record{&owner, FacingQuad(camera, Vector3(), 0.1f, 0.1f, white)};
    for (int i = 0; i < DecalRenderer::kMaxQuads + 5; ++i) DecalBatch::AddQuad(record);
    const int32_t number = DecalRing::Counter();
    DecalRing::Next(&owner)->quad = record.quad;
    EXPECT_TRUE(DecalBatch::AddFromRing(number));
    EXPECT_EQ(DecalBatch::Quads().size(), size_t(DecalRenderer::kMaxQuads));
    EXPECT_EQ(owner.batchIndices.size(), size_t(DecalRenderer::kMaxQuads));
    // 16,384 quads draw as 10,922 + 5,462 from one lock.
    renderer.Draw(camera);
    EXPECT_EQ(renderer.LastLocks(), 1);
    EXPECT_EQ(renderer.LastDrawCalls(), 2);
    const std::vector<uint32_t> shot = EndFrame();
    EXPECT_NE(At(shot, kW / 2, kH / 2), 0u);

    // The next frame starts empty again.
    renderer.BeginFrame(&camera, 0.01f);
    EXPECT_TRUE(DecalBatch::Quads().empty());
    EXPECT_TRUE(owner.batchIndices.empty());
}

}  // namespace
