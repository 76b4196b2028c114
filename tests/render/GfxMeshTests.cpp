// The device's cube targets and the mesh helpers: faces drawn and looked up the way cube
// lookups expect, per-attribute meshes, the optimiser's face order and CPU skinning.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "platform/gfx/Mesh.h"
#include "tests/render/GfxTestSupport.h"

using namespace gfx;
using namespace gfxtest;

namespace {

class GfxMesh : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(d.Reset(kSize, kSize), Result::OK);
        d.SetRenderState(rs::LIGHTING, 0);
        d.SetRenderState(rs::CULLMODE, cull::NONE);
        d.SetRenderState(rs::ZENABLE, 0);
        d.Clear(clear::TARGET | clear::ZBUFFER | clear::STENCIL, 0xFF000000u, 1.0f, 0);
    }
    Device& d = TheDevice();
};

// A full-screen quad (identity transforms) whose normals all point along n: with coordinates
// generated from the camera-space normal, every pixel looks the cube up along n.
void DrawLookup(Device& d, float nx, float ny, float nz) {
    struct V { float x, y, z, nx, ny, nz; } v[4] = {
        {-1, 1, 0.5f, nx, ny, nz}, {1, 1, 0.5f, nx, ny, nz}, {-1, -1, 0.5f, nx, ny, nz}, {1, -1, 0.5f, nx, ny, nz}};
    d.SetVertexShader(fvf::XYZ | fvf::NORMAL);
    d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof(V));
}

void UseCube(Device& d, Texture* cube) {
    d.SetTexture(0, cube);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::TEXTURE);
    d.SetTextureStageState(0, tss::TEXCOORDINDEX, tci::CAMERASPACENORMAL);
    d.SetTextureStageState(0, tss::TEXTURETRANSFORMFLAGS, ttff::COUNT3);
}

void StopUsingCube(Device& d) {
    d.SetTexture(0, nullptr);
    d.SetTextureStageState(0, tss::COLOROP, top::MODULATE);
    d.SetTextureStageState(0, tss::TEXCOORDINDEX, 0);
    d.SetTextureStageState(0, tss::TEXTURETRANSFORMFLAGS, ttff::DISABLE);
}

TEST_F(GfxMesh, CubeFacesAreDrawnAndLookedUpInTheCubeOrder) {
    Texture* cube = d.CreateCubeTarget(16);
    ASSERT_NE(cube, nullptr);
    EXPECT_TRUE(cube->IsCube());
    const uint32_t colours[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
    RenderToCube r(d);
    ASSERT_TRUE(r.Begin(cube));
    for (uint32_t f = 0; f < 6; ++f) {
        r.Face(f);
        EXPECT_EQ(d.TargetWidth(), 16);
        d.Clear(clear::TARGET, colours[f], 1.0f, 0);
    }
    // Face +X: its top half red over blue, drawn as the engine draws (row 0 at the top).
    r.Face(0);
    d.Clear(clear::TARGET, 0xFF0000FFu, 1.0f, 0);
    DrawScreenQuad(d, 0, 0, 16, 8, 0xFFFF0000u);
    r.End();
    EXPECT_EQ(d.TargetWidth(), kSize);
    // What was drawn into the faces never reached the back buffer.
    EXPECT_EQ(Pixel(d, 5, 5), 0xFF000000u);

    UseCube(d, cube);
    const struct { float x, y, z; uint32_t expected; } looks[] = {
        {-1, 0, 0, colours[1]}, {0, 1, 0, colours[2]}, {0, -1, 0, colours[3]},
        {0, 0, 1, colours[4]},  {0, 0, -1, colours[5]},
        // +X: up (+y) is the top of the face.
        {1, 0.5f, 0, 0xFFFF0000u}, {1, -0.5f, 0, 0xFF0000FFu}};
    for (const auto& l : looks) {
        DrawLookup(d, l.x, l.y, l.z);
        EXPECT_EQ(Pixel(d, kSize / 2, kSize / 2), l.expected) << l.x << " " << l.y << " " << l.z;
    }
    StopUsingCube(d);
    // A cube target lives in the default pool: no reset while it is alive.
    EXPECT_EQ(d.Reset(kSize, kSize), Result::INVALIDCALL);
    d.ReleaseTexture(cube);
    EXPECT_EQ(d.Reset(kSize, kSize), Result::OK);
    // Without a target nothing is redirected.
    EXPECT_FALSE(r.Begin(nullptr));
    r.Face(2);
    EXPECT_EQ(d.TargetWidth(), kSize);
}

struct Vertex {
    float x, y, z, nx, ny, nz, u, v;
};
constexpr uint32_t kMeshFvf = fvf::XYZ | fvf::NORMAL | (1u << fvf::TEXCOUNT_SHIFT);

// Four quads side by side (clip-space x from -1 to 1), faces 2q and 2q + 1 for quad q.
std::unique_ptr<Mesh> FourQuads(Device* device, uint32_t options, const uint32_t (&attributes)[4]) {
    std::unique_ptr<Mesh> m = Mesh::Create(device, 8, 16, options, kMeshFvf);
    if (!m) return m;
    auto* v = reinterpret_cast<Vertex*>(m->LockVertices());
    for (int q = 0; q < 4; ++q) {
        const float x0 = -1.0f + 0.5f * float(q), x1 = x0 + 0.5f;
        v[4 * q + 0] = {x0, 1, 0.5f, 0, 0, -1, 0, 0};
        v[4 * q + 1] = {x1, 1, 0.5f, 0, 0, -1, 1, 0};
        v[4 * q + 2] = {x1, -1, 0.5f, 0, 0, -1, 1, 1};
        v[4 * q + 3] = {x0, -1, 0.5f, 0, 0, -1, 0, 1};
    }
    m->UnlockVertices();
    auto* idx = static_cast<uint16_t*>(m->LockIndices());
    for (uint16_t q = 0; q < 4; ++q) {
        const uint16_t b = uint16_t(4 * q);
        const uint16_t face[6] = {b, uint16_t(b + 1), uint16_t(b + 2), b, uint16_t(b + 2), uint16_t(b + 3)};
        memcpy(idx + 6 * q, face, sizeof face);
    }
    m->UnlockIndices();
    uint32_t* a = m->LockAttributes();
    for (int f = 0; f < 8; ++f) a[f] = attributes[f / 2];
    m->UnlockAttributes();
    return m;
}

TEST_F(GfxMesh, SubsetsDrawTheirFacesBeforeAndAfterSorting) {
    std::unique_ptr<Mesh> m = FourQuads(&d, meshopt::VB_MANAGED | meshopt::IB_MANAGED, {1, 0, 1, 0});
    ASSERT_NE(m, nullptr);
    // Unsorted: one run per change of attribute.
    EXPECT_EQ(m->AttributeTable().size(), 4u);
    auto drawn = [&](uint32_t attrib) {
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        m->DrawSubset(attrib);
        std::vector<bool> lit;
        for (int q = 0; q < 4; ++q) lit.push_back(Pixel(d, q * 16 + 8, 32) != 0xFF000000u);
        return lit;
    };
    EXPECT_EQ(drawn(1), (std::vector<bool>{true, false, true, false}));
    uint32_t faceRemap[8];
    std::vector<uint32_t> vertexRemap;
    ASSERT_TRUE(m->Optimize(optimize::COMPACT | optimize::ATTRSORT | optimize::VERTEXCACHE, faceRemap, &vertexRemap));
    ASSERT_EQ(m->AttributeTable().size(), 2u);
    const AttributeRange& r0 = m->AttributeTable()[0];
    EXPECT_EQ(r0.attribId, 0u);
    EXPECT_EQ(r0.faceStart, 0u);
    EXPECT_EQ(r0.faceCount, 4u);
    EXPECT_EQ(r0.vertexStart, 4u);
    EXPECT_EQ(r0.vertexCount, 12u);
    EXPECT_EQ(std::vector<uint32_t>(faceRemap, faceRemap + 8), (std::vector<uint32_t>{2, 3, 6, 7, 0, 1, 4, 5}));
    ASSERT_EQ(vertexRemap.size(), 16u);
    EXPECT_EQ(vertexRemap[5], 5u);
    EXPECT_EQ(drawn(0), (std::vector<bool>{false, true, false, true}));
    EXPECT_EQ(drawn(1), (std::vector<bool>{true, false, true, false}));
    EXPECT_EQ(drawn(7), (std::vector<bool>{false, false, false, false}));
    // A clone in the default pool draws the same; it must go before a reset.
    std::unique_ptr<Mesh> c = m->Clone(meshopt::VB_DYNAMIC | meshopt::VB_WRITEONLY | meshopt::IB_WRITEONLY, kMeshFvf, &d);
    ASSERT_NE(c, nullptr);
    d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
    c->DrawSubset(0);
    EXPECT_NE(Pixel(d, 24, 32), 0xFF000000u);
    EXPECT_EQ(d.Reset(kSize, kSize), Result::INVALIDCALL);
    c.reset();
    EXPECT_EQ(d.Reset(kSize, kSize), Result::OK);
}

TEST(GfxMeshCpu, OptimizeRefusesAFaceOutsideTheVertices) {
    std::unique_ptr<Mesh> m = FourQuads(nullptr, meshopt::VB_SYSTEMMEM | meshopt::IB_SYSTEMMEM, {0, 0, 0, 0});
    ASSERT_NE(m, nullptr);
    static_cast<uint16_t*>(m->LockIndices())[5] = 16;
    m->UnlockIndices();
    EXPECT_FALSE(m->Optimize(optimize::ATTRSORT, nullptr, nullptr));
    EXPECT_EQ(Mesh::Create(nullptr, 0, 4, 0, kMeshFvf), nullptr);
    EXPECT_EQ(Mesh::Create(nullptr, 1, 4, 0, 0), nullptr);
}

TEST(GfxMeshCpu, SkinningSumsWeightedBonesAndLeavesUnboundVerticesAtTheOrigin) {
    std::unique_ptr<SkinMesh> skin = SkinMesh::Create(1, 3, 2, kMeshFvf);
    ASSERT_NE(skin, nullptr);
    auto* in = reinterpret_cast<Vertex*>(skin->Vertices());
    in[0] = {1, 2, 3, 1, 0, 0, 0.25f, 0.75f};
    in[1] = {1, 0, 0, 0, 1, 0, 0.5f, 0.5f};
    in[2] = {5, 5, 5, 0, 0, 1, 1, 1};
    const uint32_t bone0[] = {0, 1}, bone1[] = {1};
    const float w0[] = {1.0f, 1.0f}, w1[] = {1.0f};
    ASSERT_TRUE(skin->SetBoneInfluence(0, 2, bone0, w0));
    ASSERT_TRUE(skin->SetBoneInfluence(1, 1, bone1, w1));
    const uint32_t outside[] = {3};
    EXPECT_FALSE(skin->SetBoneInfluence(1, 1, outside, w1));
    EXPECT_FALSE(skin->SetBoneInfluence(2, 1, bone1, w1));

    std::unique_ptr<Mesh> target = Mesh::Create(nullptr, 1, 3, meshopt::VB_SYSTEMMEM | meshopt::IB_SYSTEMMEM, kMeshFvf);
    Mat4 bones[2];
    bones[0].m[3][0] = 10;  // bone 0 moves along x
    // bone 1 turns a quarter about z (x goes to y) and moves along z
    bones[1].m[0][0] = 0; bones[1].m[0][1] = 1; bones[1].m[1][0] = -1; bones[1].m[1][1] = 0;
    bones[1].m[3][2] = 4;
    ASSERT_TRUE(skin->UpdateSkinnedMesh(bones, 2, *target));
    const auto* out = reinterpret_cast<const Vertex*>(target->Vertices());
    // One bone: moved, normal untouched by the translation, coordinates copied.
    EXPECT_EQ(out[0].x, 11.0f);
    EXPECT_EQ(out[0].y, 2.0f);
    EXPECT_EQ(out[0].nx, 1.0f);
    EXPECT_EQ(out[0].u, 0.25f);
    EXPECT_EQ(out[0].v, 0.75f);
    // Two bones of weight 1: the sum of both poses, (11, 0, 0) + (0, 1, 4).
    EXPECT_EQ(out[1].x, 11.0f);
    EXPECT_EQ(out[1].y, 1.0f);
    EXPECT_EQ(out[1].z, 4.0f);
    EXPECT_EQ(out[1].nx, -1.0f);  // (0, 1, 0) + (-1, 0, 0)
    EXPECT_EQ(out[1].ny, 1.0f);
    // No bone: at the origin.
    EXPECT_EQ(out[2].x, 0.0f);
    EXPECT_EQ(out[2].z, 0.0f);
    EXPECT_EQ(out[2].u, 1.0f);
    // Bones past the given matrices stay at identity.
    ASSERT_TRUE(skin->UpdateSkinnedMesh(bones, 1, *target));
    EXPECT_EQ(out[1].x, 12.0f);
    EXPECT_EQ(out[1].y, 0.0f);
    // A target of another size is refused.
    std::unique_ptr<Mesh> other = Mesh::Create(nullptr, 1, 4, meshopt::VB_SYSTEMMEM, kMeshFvf);
    EXPECT_FALSE(skin->UpdateSkinnedMesh(bones, 2, *other));
}

}  // namespace
