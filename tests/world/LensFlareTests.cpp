// Lens flare: the fade in and out by the sun ray's test against the static world, and the
// sprites it draws for the sun on screen, off screen and behind the camera.
#include <gtest/gtest.h>

#include "game/world/LensFlare.h"
#include "game/world/PhysicsWorld.h"
#include "tests/world/EffectsTestSupport.h"

namespace {

using effects_test::EffectsTest;
using effects_test::kH;
using effects_test::kW;

class FlareTest : public EffectsTest {
protected:
    void SetUp() override {
        EffectsTest::SetUp();
        for (int k = 0; k < LensFlare::kSprites; ++k)
            effects_test::WriteSolidTexture("vlare" + std::to_string(k) + ".ZKT", 0xFFFFFFFFu, 16);
        world.CreateSpace(Vector3(), Vector3(2000, 2000, 2000), 4);
    }
    PhysicsWorld world;
};

TEST_F(FlareTest, FadesInInATenthAndOutInTwoTenthsBehindAWall) {
    LensFlare flare(&f);
    Camera camera = effects_test::LookAt(Vector3(), Vector3(0, 0, -1));
    flare.sunDirection = Vector3(0, 0, -1);
    for (int i = 0; i < 9; ++i) flare.Update(camera, world, 0.01f);
    EXPECT_NEAR(flare.flareFade, 0.9f, 1e-4f);
    flare.Update(camera, world, 0.01f);
    EXPECT_EQ(flare.flareFade, 1.0f);

    // A wall of the static world between the camera and the sun: the next test sees it, the
    // frames after fade out over 0.2 s.
    BoxGeom wall(Vector3(50, 50, 1));
    wall.SetPosition(Vector3(0, 0, -100));
    wall.SetCategoryBits(1);
    wall.AddToWorld(world);
    flare.Update(camera, world, 0.01f);
    EXPECT_TRUE(flare.sunBlocked);
    EXPECT_EQ(flare.flareFade, 1.0f);
    for (int i = 0; i < 19; ++i) flare.Update(camera, world, 0.01f);
    EXPECT_NEAR(flare.flareFade, 0.05f, 1e-4f);
    flare.Update(camera, world, 0.01f);
    EXPECT_EQ(flare.flareFade, 0.0f);

    // Something that is not static world does not hide the sun.
    wall.SetCategoryBits(2);
    flare.Update(camera, world, 0.01f);
    flare.Update(camera, world, 0.01f);
    EXPECT_FALSE(flare.sunBlocked);
    EXPECT_NEAR(flare.flareFade, 0.1f, 1e-5f);
    wall.RemoveFromWorld(world);
}

TEST_F(FlareTest, DrawsFiveSpritesOnScreenTheFirstAloneOffScreenNoneBehind) {
    LensFlare flare(&f);
    flare.flareFade = 1.0f;
    Camera camera = effects_test::LookAt(Vector3(), Vector3(0, 0, -1));
    const Vector3 forward = Vector3(camera.view.m[0][2], camera.view.m[1][2], camera.view.m[2][2]).Normalized();
    const Vector3 right = Vector3(camera.view.m[0][0], camera.view.m[1][0], camera.view.m[2][0]).Normalized();

    // The sun straight ahead: all five on the centre.
    flare.sunDirection = forward;
    BeginFrame(camera);
    flare.Draw(camera);
    std::vector<uint32_t> shot = EndFrame();
    EXPECT_EQ(flare.lastDrawn, 5);
    for (const Vector2& a : flare.anchors) {
        EXPECT_EQ(a.x, float(kW / 2));
        EXPECT_EQ(a.y, float(kH / 2));
    }
    EXPECT_GT(At(shot, kW / 2, kH / 2) & 0xFF, 0x40u);

    // Just past the right edge: only the first sprite, whose left half shows at the edge.
    float t = 0.0f;
    Vector2 s;
    do {
        t += 0.01f;
        flare.sunDirection = (forward + right * t).Normalized();
        s = camera.Project(camera.position + flare.sunDirection);
    } while (s.x < float(kW) + 3.0f);
    BeginFrame(camera);
    flare.Draw(camera);
    shot = EndFrame();
    EXPECT_EQ(flare.lastDrawn, 1);
    EXPECT_GT(At(shot, kW - 1, int(s.y)) & 0xFF, 0x40u);
    EXPECT_EQ(At(shot, kW / 2, kH / 2), 0u);
    EXPECT_EQ(At(shot, 2, int(s.y)), 0u);

    // Behind the camera, or faded out: nothing.
    for (float fade : {1.0f, 0.0f}) {
        flare.flareFade = fade;
        flare.sunDirection = fade > 0.0f ? -forward : forward;
        BeginFrame(camera);
        flare.Draw(camera);
        shot = EndFrame();
        EXPECT_EQ(flare.lastDrawn, 0);
        for (uint32_t p : shot) ASSERT_EQ(p & 0xFFFFFFu, 0u);
    }
}

}  // namespace
