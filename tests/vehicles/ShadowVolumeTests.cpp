// Shadow volumes through the real GL path: a box that pierces a wall darkens exactly the wall's
// pixels inside it by alpha 0x60 of (0, 0x20, 0x60); a box in front of the wall darkens
// nothing; quads past the capacity are dropped; without a stencil buffer nothing is drawn.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/render/MatrixStack.h"
#include "engine/render/NullRenderFacility.h"
#include "game/vehicles/ShadowVolumeRenderer.h"
#include "game/world/Decals.h"
#include "tests/world/EffectsTestSupport.h"

namespace {

using effects_test::EffectsTest;
using effects_test::kH;
using effects_test::kW;

// The six faces of a box as quads, corners 0 1 2 3 = (-u, -v), (-u, +v), (+u, -v), (+u, +v) in
// each face's (right, up) seen from outside.
void AddBox(ShadowVolumeRenderer& r, const Vector3& c, const Vector3& h) {
    const Vector3 axes[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int a = 0; a < 3; ++a) {
        for (float sign : {1.0f, -1.0f}) {
            const Vector3 n = axes[a] * sign;
            const Vector3 up = a == 1 ? Vector3(0, 0, 1) : Vector3(0, 1, 0);
            const Vector3 right = Vector3::Cross(up, -n);
            const Vector3 centre = c + Vector3(n.x * h.x, n.y * h.y, n.z * h.z);
            const Vector3 u(right.x * h.x, right.y * h.y, right.z * h.z), v(up.x * h.x, up.y * h.y, up.z * h.z);
            ASSERT_TRUE(r.AddQuad(centre - u - v, centre - u + v, centre + u - v, centre + u + v));
        }
    }
}

// A white wall at z = 0 facing the camera, drawn with depth.
struct Wall {
    explicit Wall(RenderFacility& f) : owner(&f, "White.ZKT", TextureLayer{"Modulate", 0, 6, 7}), renderer(&f) {
        renderer.Register(&owner);
    }
    void Draw(const Camera& camera) {
        const Vector3 right = Vector3(camera.view.m[0][0], camera.view.m[1][0], camera.view.m[2][0]).Normalized();
        const Vector3 up = Vector3(camera.view.m[0][1], camera.view.m[1][1], camera.view.m[2][1]).Normalized();
        DecalRecord r{&owner, {}};
        const float xs[4] = {-100, -100, 100, 100}, ys[4] = {-100, 100, -100, 100};
        for (int i = 0; i < 4; ++i) r.quad.corners[i] = right * xs[i] + up * ys[i];
        renderer.BeginFrame(&camera, 0.0f);
        DecalBatch::AddQuad(r);
        renderer.Draw(camera);
    }
    DecalOwner owner;
    DecalRenderer renderer;
};

uint32_t Shaded(uint32_t white) {
    auto mix = [](uint32_t dst, uint32_t src) { return (src * 0x60 + dst * (255 - 0x60) + 127) / 255; };
    const uint32_t r = mix((white >> 16) & 0xFF, 0x00), g = mix((white >> 8) & 0xFF, 0x20), b = mix(white & 0xFF, 0x60);
    return r << 16 | g << 8 | b;
}

bool Near(uint32_t a, uint32_t b) {
    for (int s = 0; s < 24; s += 8)
        if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > 2) return false;
    return true;
}

TEST_F(EffectsTest, ABoxVolumeDarkensExactlyTheWallPixelsInsideIt) {
    effects_test::WriteSolidTexture("White.ZKT", 0xFFFFFFFFu);
    Wall wall(f);
    ShadowVolumeRenderer shadows(&f);
    ASSERT_TRUE(shadows.ready);
    Camera camera = effects_test::LookAt(Vector3(0, 0, 50), Vector3());

    BeginFrame(camera);
    wall.Draw(camera);
    f.GetMatrixStack()->LoadIdentity();
    AddBox(shadows, Vector3(0, 0, 0), Vector3(8, 8, 8));   // through the wall
    AddBox(shadows, Vector3(-20, 0, 20), Vector3(4, 4, 4)); // wholly in front of it
    EXPECT_TRUE(shadows.Draw());
    // A second car's shadow elsewhere darkens its own pixels and leaves the first car's alone.
    shadows.Clear();
    AddBox(shadows, Vector3(22, 0, 0), Vector3(4, 4, 4));
    EXPECT_TRUE(shadows.Draw());
    const std::vector<uint32_t> shot = EndFrame();

    const uint32_t white = At(shot, 2, 2);
    EXPECT_EQ(white, 0xFFFFFFu);
    const uint32_t dark = Shaded(white);
    EXPECT_TRUE(Near(At(shot, kW / 2, kH / 2), dark)) << std::hex << At(shot, kW / 2, kH / 2) << " " << dark;
    // The box's edge on the wall lies 8 units from the centre: 8 / (50 tan 37.5 deg) of half the height.
    const int edge = int(8.0f / (50.0f * 0.7673f) * float(kH / 2));
    EXPECT_TRUE(Near(At(shot, kW / 2 + edge - 2, kH / 2), dark));
    EXPECT_EQ(At(shot, kW / 2 + edge + 2, kH / 2), white);
    EXPECT_EQ(At(shot, kW / 2, kH / 2 - edge - 2), white);
    const Vector2 second = camera.Project(Vector3(22, 0, 0));
    EXPECT_TRUE(Near(At(shot, int(second.x), int(second.y)), dark));
    // Where the box in front of the wall shows, the wall stays white.
    const Vector2 front = camera.Project(Vector3(-20, 0, 20));
    EXPECT_EQ(At(shot, int(front.x), int(front.y)), white);
}

TEST(ShadowVolumeTest, QuadsPastTheCapacityAreDroppedAndNoStencilDrawsNothing) {
    NullRenderFacility none;
    ShadowVolumeRenderer r(&none);
    const Vector3 p;
    for (int i = 0; i < ShadowVolumeRenderer::kQuads; ++i) ASSERT_TRUE(r.AddQuad(p, p, p, p));
    EXPECT_FALSE(r.AddQuad(p, p, p, p));
    EXPECT_EQ(r.QuadCount(), ShadowVolumeRenderer::kQuads);
    EXPECT_FALSE(r.Draw());
    r.Clear();
    EXPECT_EQ(r.QuadCount(), 0);
}

}  // namespace
