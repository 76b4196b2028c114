// Pixel tests of the gfx device on a real GL context (offscreen): clears, pre-transformed and
// transformed draws, the texture-stage operations, alpha test, blending, culling, stencil,
// lighting, fog, buffers and reset rules, and the state filter's GL call counts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "platform/gfx/VsTranslator.h"
#include "tests/render/GfxTestSupport.h"

using namespace gfx;
using namespace gfxtest;

namespace {

class GfxDevice : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(d.Reset(kSize, kSize), Result::OK);
        d.SetRenderState(rs::LIGHTING, 0);
        d.SetRenderState(rs::CULLMODE, cull::NONE);
        d.Clear(clear::TARGET | clear::ZBUFFER | clear::STENCIL, 0xFF000000u, 1.0f, 0);
    }
    Device& d = TheDevice();
};

uint32_t Rgb(int r, int g, int b) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

TEST_F(GfxDevice, ClearAndReadBack) {
    d.Clear(clear::TARGET, 0xFF336699u, 1.0f, 0);
    EXPECT_EQ(Pixel(d, 0, 0), 0xFF336699u);
    EXPECT_EQ(Pixel(d, kSize - 1, kSize - 1), 0xFF336699u);
    uint32_t p[4];
    EXPECT_FALSE(d.ReadPixels(true, kSize - 1, 0, 2, 1, p));
    EXPECT_FALSE(d.ReadPixels(true, -1, 0, 1, 1, p));
    // The front target holds what was presented last.
    d.Present();
    d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
    EXPECT_EQ(Pixel(d, 3, 3, false), 0xFF336699u);
    EXPECT_EQ(Pixel(d, 3, 3, true), 0xFF000000u);
}

TEST_F(GfxDevice, ScreenQuadCoversExactPixelsTopRowFirst) {
    d.SetRenderState(rs::ZENABLE, 0);
    DrawScreenQuad(d, 4, 2, 8, 6, 0xFFFF0000u);
    EXPECT_EQ(Pixel(d, 4, 2), 0xFFFF0000u);
    EXPECT_EQ(Pixel(d, 7, 5), 0xFFFF0000u);
    EXPECT_EQ(Pixel(d, 3, 2), 0xFF000000u);
    EXPECT_EQ(Pixel(d, 8, 5), 0xFF000000u);
    EXPECT_EQ(Pixel(d, 4, 1), 0xFF000000u);
    EXPECT_EQ(Pixel(d, 4, 6), 0xFF000000u);
}

TEST_F(GfxDevice, UnboundTextureSamplesWhite) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetTexture(0, nullptr);
    DrawScreenQuad(d, 0, 0, 16, 16, 0xFF40C020u);
    EXPECT_TRUE(Near(Pixel(d, 8, 8), 0xFF40C020u, 1));
}

// A 2x1 texture: left texel and right texel.
Texture* MakeTwoTexel(Device& d, uint32_t left, uint32_t right) {
    Texture* t = d.CreateTexture(2, 1, 1, format::A8R8G8B8, Pool::MANAGED);
    uint32_t texels[2] = {left, right};
    d.UpdateTexture(t, 0, texels, 8);
    return t;
}

struct OpCase {
    uint32_t op;
    float (*f)(float a1, float a2, float diffuseA, float texA, float factorA, float curA);
};

float Sat(float v) { return std::clamp(v, 0.0f, 1.0f); }

// Channel `shift` (0 blue, 8 green, 16 red, 24 alpha) of a colour, from 0 to 1.
float UnitChannel(uint32_t c, int shift) { return float((c >> shift) & 0xFF) / 255.0f; }

// DOTPRODUCT3 of two colours' signed RGB, before saturation.
float Dot3(uint32_t a, uint32_t b) {
    float v = 0;
    for (int k : {0, 8, 16}) v += (UnitChannel(a, k) - 0.5f) * (UnitChannel(b, k) - 0.5f);
    return v * 4;
}

// Two texels, a diffuse colour and a texture factor whose channels all differ: the texture
// bound to stage 0 with the factor set and depth off, for checking stage operations against
// their formulas.
struct FormulaInputs {
    uint32_t texLeft = 0x80C04020u, texRight = 0x40206080u;
    uint32_t diffuse = 0xC0408060u, factor = 0x60A0A0A0u;
    Texture* tex = nullptr;
};

FormulaInputs BindFormulaInputs(Device& d) {
    FormulaInputs in;
    in.tex = MakeTwoTexel(d, in.texLeft, in.texRight);
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetTexture(0, in.tex);
    d.SetRenderState(rs::TEXTUREFACTOR, in.factor);
    return in;
}

TEST_F(GfxDevice, EveryColourOperationMatchesItsFormula) {
    const auto [texLeft, texRight, diffuse, factor, tex] = BindFormulaInputs(d);
    static const OpCase cases[] = {
        {top::SELECTARG1, [](float a, float, float, float, float, float) { return a; }},
        {top::SELECTARG2, [](float, float b, float, float, float, float) { return b; }},
        {top::MODULATE, [](float a, float b, float, float, float, float) { return a * b; }},
        {top::MODULATE2X, [](float a, float b, float, float, float, float) { return a * b * 2; }},
        {top::MODULATE4X, [](float a, float b, float, float, float, float) { return a * b * 4; }},
        {top::ADD, [](float a, float b, float, float, float, float) { return a + b; }},
        {top::ADDSIGNED, [](float a, float b, float, float, float, float) { return a + b - 0.5f; }},
        {top::ADDSIGNED2X, [](float a, float b, float, float, float, float) { return (a + b - 0.5f) * 2; }},
        {top::SUBTRACT, [](float a, float b, float, float, float, float) { return a - b; }},
        {top::ADDSMOOTH, [](float a, float b, float, float, float, float) { return a + b - a * b; }},
        {top::BLENDDIFFUSEALPHA, [](float a, float b, float da, float, float, float) { return a * da + b * (1 - da); }},
        {top::BLENDTEXTUREALPHA, [](float a, float b, float, float ta, float, float) { return a * ta + b * (1 - ta); }},
        {top::BLENDFACTORALPHA, [](float a, float b, float, float, float fa, float) { return a * fa + b * (1 - fa); }},
        {top::BLENDTEXTUREALPHAPM, [](float a, float b, float, float ta, float, float) { return a + b * (1 - ta); }},
        {top::BLENDCURRENTALPHA, [](float a, float b, float, float, float, float ca) { return a * ca + b * (1 - ca); }},
        {top::MODULATEALPHA_ADDCOLOR, nullptr},
        {top::MODULATECOLOR_ADDALPHA, nullptr},
        {top::MODULATEINVALPHA_ADDCOLOR, nullptr},
        {top::MODULATEINVCOLOR_ADDALPHA, nullptr},
        {top::DOTPRODUCT3, nullptr},
    };
    for (const OpCase& c : cases) {
        d.SetTextureStageState(0, tss::COLOROP, c.op);
        d.SetTextureStageState(0, tss::COLORARG1, ta::TEXTURE);
        d.SetTextureStageState(0, tss::COLORARG2, ta::DIFFUSE);
        d.SetTextureStageState(1, tss::COLOROP, top::DISABLE);
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        DrawScreenQuad(d, 0, 0, 2, 2, diffuse);
        for (int x = 0; x < 2; ++x) {
            uint32_t t = x == 0 ? texLeft : texRight;
            uint32_t expected = 0xFF000000u;
            for (int s : {0, 8, 16}) {
                float a1 = UnitChannel(t, s), a2 = UnitChannel(diffuse, s);
                float v;
                if (c.op == top::MODULATEALPHA_ADDCOLOR) v = a1 + UnitChannel(t, 24) * a2;
                else if (c.op == top::MODULATECOLOR_ADDALPHA) v = a1 * a2 + UnitChannel(t, 24);
                else if (c.op == top::MODULATEINVALPHA_ADDCOLOR) v = (1 - UnitChannel(t, 24)) * a2 + a1;
                else if (c.op == top::MODULATEINVCOLOR_ADDALPHA) v = (1 - a1) * a2 + UnitChannel(t, 24);
                else if (c.op == top::DOTPRODUCT3) v = Dot3(t, diffuse);
                else v = c.f(a1, a2, UnitChannel(diffuse, 24), UnitChannel(t, 24), UnitChannel(factor, 24), UnitChannel(diffuse, 24));
                expected |= uint32_t(std::lround(Sat(v) * 255.0f)) << s;
            }
            EXPECT_TRUE(Near(Pixel(d, x, 0), expected)) << "op " << c.op << " texel " << x << " got "
                                                        << std::hex << Pixel(d, x, 0) << " want " << expected;
        }
    }
    d.SetTexture(0, nullptr);
    d.ReleaseTexture(tex);
}

TEST_F(GfxDevice, TempRegisterAndFactorArguments) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::TEXTUREFACTOR, 0xFF204080u);
    // Stage 0 puts the factor into TEMP; stage 1 selects diffuse; stage 2 adds TEMP.
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::TFACTOR);
    d.SetTextureStageState(0, tss::RESULTARG, ta::TEMP);
    d.SetTextureStageState(1, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(1, tss::COLORARG1, ta::DIFFUSE);
    d.SetTextureStageState(2, tss::COLOROP, top::ADD);
    d.SetTextureStageState(2, tss::COLORARG1, ta::CURRENT);
    d.SetTextureStageState(2, tss::COLORARG2, ta::TEMP);
    DrawScreenQuad(d, 0, 0, 4, 4, 0xFF101010u);
    EXPECT_TRUE(Near(Pixel(d, 1, 1), Rgb(0x30, 0x50, 0x90)));
}

// Alpha operations, read back through a second stage that replicates the current alpha into the
// colour; a colour DOTPRODUCT3 writes its result to alpha as well.
TEST_F(GfxDevice, AlphaOperationsAndTheDotProductAlpha) {
    const auto [texLeft, texRight, diffuse, factor, tex] = BindFormulaInputs(d);
    struct { uint32_t colorOp, alphaOp; float (*f)(float t, float dif, float fac); } rows[] = {
        {top::SELECTARG1, top::SELECTARG1, [](float t, float, float) { return t; }},
        {top::SELECTARG1, top::SELECTARG2, [](float, float dif, float) { return dif; }},
        {top::SELECTARG1, top::MODULATE, [](float t, float dif, float) { return t * dif; }},
        {top::SELECTARG1, top::ADD, [](float t, float dif, float) { return t + dif; }},
        {top::SELECTARG1, top::SUBTRACT, [](float t, float dif, float) { return t - dif; }},
        {top::SELECTARG1, top::ADDSIGNED, [](float t, float dif, float) { return t + dif - 0.5f; }},
        {top::SELECTARG1, top::BLENDFACTORALPHA, [](float t, float dif, float fac) { return t * fac + dif * (1 - fac); }},
        {top::SELECTARG1, top::DISABLE, [](float, float dif, float) { return dif; }},  // alpha stays the diffuse's
        {top::DOTPRODUCT3, top::SELECTARG1, nullptr},
    };
    for (auto& r : rows) {
        d.SetTextureStageState(0, tss::COLOROP, r.colorOp);
        d.SetTextureStageState(0, tss::COLORARG1, ta::TEXTURE);
        d.SetTextureStageState(0, tss::COLORARG2, ta::DIFFUSE);
        d.SetTextureStageState(0, tss::ALPHAOP, r.alphaOp);
        d.SetTextureStageState(0, tss::ALPHAARG1, ta::TEXTURE);
        d.SetTextureStageState(0, tss::ALPHAARG2, ta::DIFFUSE);
        d.SetTextureStageState(1, tss::COLOROP, top::SELECTARG1);
        d.SetTextureStageState(1, tss::COLORARG1, ta::CURRENT | ta::ALPHAREPLICATE);
        d.SetTextureStageState(1, tss::ALPHAOP, top::SELECTARG1);
        d.SetTextureStageState(1, tss::ALPHAARG1, ta::CURRENT);
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        DrawScreenQuad(d, 0, 0, 2, 2, diffuse);
        for (int x = 0; x < 2; ++x) {
            const uint32_t t = x == 0 ? texLeft : texRight;
            float v;
            if (r.f) v = r.f(UnitChannel(t, 24), UnitChannel(diffuse, 24), UnitChannel(factor, 24));
            else v = Dot3(t, diffuse);
            const int a = int(std::lround(Sat(v) * 255.0f));
            EXPECT_TRUE(Near(Pixel(d, x, 0), Rgb(a, a, a))) << "ops " << r.colorOp << "/" << r.alphaOp << " texel " << x
                                                         << std::hex << " got " << Pixel(d, x, 0);
        }
    }
    d.SetTextureStageState(1, tss::COLOROP, top::DISABLE);
    d.SetTextureStageState(1, tss::ALPHAOP, top::DISABLE);
    d.SetTexture(0, nullptr);
    d.ReleaseTexture(tex);
}

void DrawLitQuad(Device& d, float nx, float ny, float nz, float z);

std::vector<std::string> g_gfxLog;
void CaptureGfxLog(int, const char* text) { g_gfxLog.push_back(text); }

// Codes outside a state's table (a pass set's unset value) draw with the state's default and
// are reported once per kind.
TEST_F(GfxDevice, InvalidCodesTakeTheDefaultAndAreLoggedOnce) {
    g_gfxLog.clear();
    SetLogSink(&CaptureGfxLog);
    const uint32_t unset = 0x7FFFFFFFu;
    d.SetRenderState(rs::ZENABLE, 1);
    d.SetRenderState(rs::ZFUNC, cmp::LESS);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFF0000FFu, 0.2f);
    // Depth compare: always, so a farther quad still lands.
    d.SetRenderState(rs::ZFUNC, unset);
    // Alpha test: always passes; blending: ONE/ZERO, so the colour is opaque.
    d.SetRenderState(rs::ALPHATESTENABLE, 1);
    d.SetRenderState(rs::ALPHAFUNC, unset);
    d.SetRenderState(rs::ALPHAREF, 0xFF);
    d.SetRenderState(rs::ALPHABLENDENABLE, 1);
    d.SetRenderState(rs::SRCBLEND, unset);
    d.SetRenderState(rs::DESTBLEND, unset);
    // Stencil: compare always, operations keep; a later test for stencil 0 still passes.
    d.SetRenderState(rs::STENCILENABLE, 1);
    d.SetRenderState(rs::STENCILFUNC, unset);
    d.SetRenderState(rs::STENCILPASS, unset);
    // Stage 0: modulate of an unset argument (texture: white without one) and the diffuse.
    d.SetTextureStageState(0, tss::COLOROP, top::MODULATE);
    d.SetTextureStageState(0, tss::COLORARG1, unset);
    d.SetTextureStageState(0, tss::COLORARG2, ta::DIFFUSE);
    d.SetTextureStageState(0, tss::ALPHAOP, unset);
    d.SetTextureStageState(1, tss::COLOROP, unset);  // ends the chain
    DrawScreenQuad(d, 0, 0, 8, 8, 0x20408060u, 0.6f);
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF408060u);
    d.SetRenderState(rs::ALPHATESTENABLE, 0);
    d.SetRenderState(rs::ALPHABLENDENABLE, 0);
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::STENCILFUNC, cmp::EQUAL);
    d.SetRenderState(rs::STENCILREF, 0);
    d.SetTextureStageState(0, tss::COLORARG1, ta::TEXTURE);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFF00FF00u);
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF00FF00u);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFF00FF00u);  // drawn again: nothing logged twice
    SetLogSink(nullptr);
    for (const char* what : {"texture op", "compare function", "blend factor", "stencil op", "texture argument"}) {
        int n = 0;
        for (const std::string& line : g_gfxLog) n += line.find(what) != std::string::npos;
        EXPECT_EQ(n, 1) << what;
    }
    d.SetRenderState(rs::STENCILENABLE, 0);
    d.SetTextureStageState(1, tss::COLOROP, top::DISABLE);
}

// A red-left, green-right texture shown as it is by stage 0, depth off.
Texture* ShowRedGreenTexture(Device& d) {
    Texture* tex = MakeTwoTexel(d, 0xFFFF0000u, 0xFF00FF00u);
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetTexture(0, tex);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::TEXTURE);
    return tex;
}

// COUNT2 takes (u, v, 1, 0): the translation sits in the third row and the fourth row is unused.
TEST_F(GfxDevice, TextureTransformTranslatesFromTheThirdRow) {
    Texture* tex = ShowRedGreenTexture(d);
    struct V { float x, y, z, u, v; } quad[4] = {{-1, 1, 0.5f, 0, 0}, {1, 1, 0.5f, 1, 0}, {-1, -1, 0.5f, 0, 1}, {1, -1, 0.5f, 1, 1}};
    struct { uint32_t flags; int row; bool shifted; } rows[] = {
        {ttff::DISABLE, 2, false}, {ttff::COUNT2, 2, true}, {ttff::COUNT2, 3, false}};
    for (auto& r : rows) {
        Mat4 m;
        m.m[r.row][0] = 0.5f;
        d.SetTransform(ts::TEXTURE0, m);
        d.SetTextureStageState(0, tss::TEXTURETRANSFORMFLAGS, r.flags);
        d.SetVertexShader(fvf::XYZ | (1u << fvf::TEXCOUNT_SHIFT));
        d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, quad, sizeof(V));
        EXPECT_EQ(Pixel(d, 16, 32), r.shifted ? 0xFF00FF00u : 0xFFFF0000u) << r.flags << " row " << r.row;
        EXPECT_EQ(Pixel(d, 48, 32), r.shifted ? 0xFFFF0000u : 0xFF00FF00u) << r.flags << " row " << r.row;
    }
    d.SetTextureStageState(0, tss::TEXTURETRANSFORMFLAGS, ttff::DISABLE);
    d.SetTransform(ts::TEXTURE0, Mat4());
    d.SetTexture(0, nullptr);
    d.ReleaseTexture(tex);
}

// Generated coordinates in camera space: the normal itself, and the reflection of the view
// direction, which for a surface turned to the right goes to the right and back towards the
// viewer (u = x: right texel for positive, left for negative after wrapping).
TEST_F(GfxDevice, GeneratedCoordinatesFollowNormalAndReflection) {
    Texture* tex = ShowRedGreenTexture(d);
    d.SetTextureStageState(0, tss::TEXTURETRANSFORMFLAGS, ttff::COUNT3);
    struct { uint32_t gen; float nx; uint32_t expected; } rows[] = {
        {tci::CAMERASPACENORMAL, 0.6f, 0xFF00FF00u}, {tci::CAMERASPACENORMAL, -0.6f, 0xFFFF0000u},
        {tci::CAMERASPACEREFLECTIONVECTOR, 0.6f, 0xFF00FF00u}, {tci::CAMERASPACEREFLECTIONVECTOR, -0.6f, 0xFFFF0000u}};
    for (auto& r : rows) {
        d.SetTextureStageState(0, tss::TEXCOORDINDEX, r.gen);
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        DrawLitQuad(d, r.nx, 0.0f, -0.8f, 0.5f);
        EXPECT_EQ(Pixel(d, 32, 32), r.expected) << r.gen << " " << r.nx;
    }
    // A surface facing the viewer reflects back to it: z of the reflection is -1 (third column).
    Mat4 zToU;
    zToU.m[0][0] = 0.0f;
    zToU.m[2][0] = -0.75f;  // u = -0.75 z
    d.SetTransform(ts::TEXTURE0, zToU);
    d.SetTextureStageState(0, tss::TEXCOORDINDEX, tci::CAMERASPACEREFLECTIONVECTOR);
    DrawLitQuad(d, 0.0f, 0.0f, -1.0f, 0.5f);
    EXPECT_EQ(Pixel(d, 32, 32), 0xFF00FF00u);
    d.SetTransform(ts::TEXTURE0, Mat4());
    d.SetTextureStageState(0, tss::TEXCOORDINDEX, 0);
    d.SetTextureStageState(0, tss::TEXTURETRANSFORMFLAGS, ttff::DISABLE);
    d.SetTexture(0, nullptr);
    d.ReleaseTexture(tex);
}

// The SPECULAR argument reads 0 when lighting runs without specular; specular enabled adds the
// vertex's own specular colour to unlit geometry.
TEST_F(GfxDevice, SpecularArgumentAndSpecularAdd) {
    d.SetRenderState(rs::ZENABLE, 0);
    struct V { float x, y, z, nx, ny, nz; uint32_t diffuse, specular; } quad[4];
    const float xy[4][2] = {{-1, 1}, {1, 1}, {-1, -1}, {1, -1}};
    for (int i = 0; i < 4; ++i) quad[i] = {xy[i][0], xy[i][1], 0.5f, 0, 0, -1, 0xFF400000u, 0xFF004000u};
    const uint32_t format = fvf::XYZ | fvf::NORMAL | fvf::DIFFUSE | fvf::SPECULAR;
    auto draw = [&] {
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        d.SetVertexShader(format);
        d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, quad, sizeof(V));
        return Pixel(d, 32, 32);
    };
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    EXPECT_TRUE(Near(draw(), Rgb(0x40, 0, 0)));
    d.SetRenderState(rs::SPECULARENABLE, 1);
    EXPECT_TRUE(Near(draw(), Rgb(0x40, 0x40, 0)));
    d.SetRenderState(rs::SPECULARENABLE, 0);
    d.SetRenderState(rs::LIGHTING, 1);
    Light l;
    l.specular = {1, 1, 1, 1};
    l.direction = {0, 0, 1};
    d.SetLight(0, l);
    d.LightEnable(0, true);
    d.SetTextureStageState(0, tss::COLORARG1, ta::SPECULAR);
    EXPECT_EQ(draw(), 0xFF000000u);
    d.LightEnable(0, false);
}

TEST_F(GfxDevice, AlphaTestComparesEightBitValues) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::ALPHATESTENABLE, 1);
    d.SetRenderState(rs::ALPHAREF, 0x80);
    d.SetTextureStageState(0, tss::ALPHAOP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::ALPHAARG1, ta::DIFFUSE);
    struct { uint32_t func; bool below, equal, above; } table[] = {
        {cmp::NEVER, false, false, false}, {cmp::LESS, true, false, false},
        {cmp::EQUAL, false, true, false},  {cmp::LESSEQUAL, true, true, false},
        {cmp::GREATER, false, false, true}, {cmp::NOTEQUAL, true, false, true},
        {cmp::GREATEREQUAL, false, true, true}, {cmp::ALWAYS, true, true, true}};
    for (auto& row : table) {
        d.SetRenderState(rs::ALPHAFUNC, row.func);
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        DrawScreenQuad(d, 0, 0, 2, 2, 0x7FFFFFFFu);
        DrawScreenQuad(d, 2, 0, 4, 2, 0x80FFFFFFu);
        DrawScreenQuad(d, 4, 0, 6, 2, 0x81FFFFFFu);
        EXPECT_EQ(Pixel(d, 0, 0) == 0xFFFFFFFFu, row.below) << row.func;
        EXPECT_EQ(Pixel(d, 2, 0) == 0xFFFFFFFFu, row.equal) << row.func;
        EXPECT_EQ(Pixel(d, 4, 0) == 0xFFFFFFFFu, row.above) << row.func;
    }
}

TEST_F(GfxDevice, BlendFactorsOverAKnownBackground) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetTextureStageState(0, tss::ALPHAOP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::ALPHAARG1, ta::DIFFUSE);
    const uint32_t bg = 0xFF4080C0u, src = 0x40C08040u;
    struct { uint32_t s, dst; } rows[] = {
        {blend::ONE, blend::ZERO}, {blend::ZERO, blend::ONE}, {blend::SRCALPHA, blend::INVSRCALPHA},
        {blend::ONE, blend::ONE}, {blend::DESTCOLOR, blend::ZERO}, {blend::INVDESTCOLOR, blend::SRCCOLOR},
        {blend::DESTALPHA, blend::INVDESTALPHA}, {blend::INVSRCCOLOR, blend::ONE}, {blend::INVDESTALPHA, blend::DESTALPHA},
        {blend::SRCALPHASAT, blend::INVSRCCOLOR}};
    for (auto& r : rows) {
        d.Clear(clear::TARGET, bg, 1.0f, 0);
        d.SetRenderState(rs::ALPHABLENDENABLE, 1);
        d.SetRenderState(rs::SRCBLEND, r.s);
        d.SetRenderState(rs::DESTBLEND, r.dst);
        DrawScreenQuad(d, 0, 0, 4, 4, src);
        uint32_t expected = 0xFF000000u;
        for (int s : {0, 8, 16}) {
            float S = UnitChannel(src, s), D = UnitChannel(bg, s), Sa = UnitChannel(src, 24), Da = 1.0f;
            auto f = [&](uint32_t code) -> float {
                switch (code) {
                    case blend::ZERO: return 0;
                    case blend::ONE: return 1;
                    case blend::SRCCOLOR: return S;
                    case blend::INVSRCCOLOR: return 1 - S;
                    case blend::SRCALPHASAT: return std::min(Sa, 1 - Da);
                    case blend::SRCALPHA: return Sa;
                    case blend::INVSRCALPHA: return 1 - Sa;
                    case blend::DESTCOLOR: return D;
                    case blend::INVDESTCOLOR: return 1 - D;
                    case blend::DESTALPHA: return Da;
                    case blend::INVDESTALPHA: return 1 - Da;
                    default: return 0;
                }
            };
            expected |= uint32_t(std::lround(Sat(S * f(r.s) + D * f(r.dst)) * 255.0f)) << s;
        }
        EXPECT_TRUE(Near(Pixel(d, 1, 1), expected)) << r.s << "/" << r.dst << std::hex << " got " << Pixel(d, 1, 1);
    }
}

// Transformed geometry: identity world/view, orthographic-like projection mapping x, y in
// [-1, 1] to the screen and z unchanged.
struct LitVertex {
    float x, y, z, nx, ny, nz, u, v;
};
constexpr uint32_t kLitFvf = fvf::XYZ | fvf::NORMAL | (1u << fvf::TEXCOUNT_SHIFT);

void DrawLitQuad(Device& d, float nx, float ny, float nz, float z = 0.5f) {
    LitVertex v[4] = {{-1, 1, z, nx, ny, nz, 0, 0}, {1, 1, z, nx, ny, nz, 1, 0},
                      {-1, -1, z, nx, ny, nz, 0, 1}, {1, -1, z, nx, ny, nz, 1, 1}};
    d.SetVertexShader(kLitFvf);
    d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof(LitVertex));
}

TEST_F(GfxDevice, DirectionalLightFollowsTheLightingFormula) {
    d.SetRenderState(rs::LIGHTING, 1);
    d.SetRenderState(rs::AMBIENT, 0xFF202020u);
    d.SetRenderState(rs::ZENABLE, 0);
    MaterialColors m;
    m.diffuse = {0.8f, 0.6f, 0.4f, 1.0f};
    m.ambient = {1.0f, 1.0f, 1.0f, 1.0f};
    m.emissive = {0.0f, 0.0f, 0.1f, 0.0f};
    d.SetMaterial(m);
    Light l;
    l.type = light::DIRECTIONAL;
    l.diffuse = {1.0f, 0.5f, 1.0f, 1.0f};
    l.direction = {0.0f, 0.0f, 1.0f};  // shines along +z, onto a surface facing -z
    d.SetLight(0, l);
    d.LightEnable(0, true);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    const float s = 0.6f;  // cos of the angle between normal and light
    DrawLitQuad(d, 0.0f, -0.8f, -s);
    auto expect = [&](float md, float ld, float em) {
        return std::lround(Sat(em + 32.0f / 255.0f + md * ld * s) * 255.0f);
    };
    uint32_t p = Pixel(d, 32, 32);
    EXPECT_NEAR(Channel(p, 16), expect(0.8f, 1.0f, 0.0f), 2);
    EXPECT_NEAR(Channel(p, 8), expect(0.6f, 0.5f, 0.0f), 2);
    EXPECT_NEAR(Channel(p, 0), expect(0.4f, 1.0f, 0.1f), 2);
    // Facing away: ambient and emissive only.
    d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
    DrawLitQuad(d, 0.0f, 0.0f, 1.0f);
    EXPECT_TRUE(Near(Pixel(d, 32, 32), Rgb(0x20, 0x20, 0x20 + 26)));
    d.LightEnable(0, false);
}

// Point and spot lights: attenuation 1/(a0 + a1 d + a2 d^2) inside the range, nothing beyond
// it, and the spot cone (full inside theta, nothing outside phi). Lighting runs per vertex, so
// the quad is small: its corners are all about 1 from the light.
TEST_F(GfxDevice, PointAndSpotLightsAttenuateAndCone) {
    d.SetRenderState(rs::LIGHTING, 1);
    d.SetRenderState(rs::ZENABLE, 0);
    MaterialColors m;
    m.diffuse = {1, 1, 1, 1};
    d.SetMaterial(m);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    struct {
        uint32_t type;
        float range, a0, a1, a2, theta, phi;
        float expected;
    } rows[] = {
        {light::POINT, 10, 0, 2, 0, 0, 0, 0.5f},           // d = 1: 1 / 2
        {light::POINT, 10, 1, 0, 3, 0, 0, 0.25f},          // 1 / (1 + 3)
        {light::POINT, 0.5f, 1, 0, 0, 0, 0, 0.0f},         // out of range
        {light::SPOT, 10, 1, 0, 0, 0.5f, 1.0f, 1.0f},      // on the axis: inside theta
        {light::SPOT, 10, 1, 0, 0, 0.0f, 0.001f, 0.0f},    // off by a hair: outside phi
    };
    for (auto& r : rows) {
        Light l;
        l.type = r.type;
        l.diffuse = {1, 1, 1, 1};
        l.position = {0, 0, -0.5f};
        l.direction = {0, 0.05f, 1};  // the spot axis passes just beside the quad's centre
        l.range = r.range;
        l.attenuation0 = r.a0;
        l.attenuation1 = r.a1;
        l.attenuation2 = r.a2;
        l.theta = r.theta;
        l.phi = r.phi;
        l.falloff = 1;
        d.SetLight(0, l);
        d.LightEnable(0, true);
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        const float e = 0.1f;
        LitVertex small[4] = {{-e, e, 0.5f, 0, 0, -1, 0, 0}, {e, e, 0.5f, 0, 0, -1, 0, 0},
                              {-e, -e, 0.5f, 0, 0, -1, 0, 0}, {e, -e, 0.5f, 0, 0, -1, 0, 0}};
        d.SetVertexShader(kLitFvf);
        d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, small, sizeof(LitVertex));
        const int v = int(std::lround(r.expected * 255));
        EXPECT_TRUE(Near(Pixel(d, 32, 32), Rgb(v, v, v), 4)) << r.type << " " << r.a1 << std::hex << " got " << Pixel(d, 32, 32);
    }
    d.LightEnable(0, false);
}

// User clip planes are in world space and keep the side where ax + by + cz + d >= 0; pre-
// transformed vertices are never clipped.
TEST_F(GfxDevice, UserClipPlanesKeepThePositiveSide) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    Mat4 world;
    world.m[3][1] = 0.5f;  // world y = local y + 0.5
    d.SetTransform(ts::WORLD, world);
    const float keepRight[4] = {1, 0, 0, 0}, keepHigh[4] = {0, 1, 0, -0.75f};  // x >= 0; world y >= 0.75
    d.SetClipPlane(0, keepRight);
    d.SetClipPlane(2, keepHigh);
    struct V { float x, y, z; uint32_t c; } quad[4] = {
        {-1, 0.5f, 0.5f, 0xFFFFFFFFu}, {1, 0.5f, 0.5f, 0xFFFFFFFFu}, {-1, -1.5f, 0.5f, 0xFFFFFFFFu}, {1, -1.5f, 0.5f, 0xFFFFFFFFu}};
    struct { uint32_t mask; bool left, right, lowRight; } rows[] = {
        {0, true, true, true}, {1, false, true, true}, {4, true, true, false}, {5, false, true, false}};
    for (auto& r : rows) {
        d.SetRenderState(rs::CLIPPLANEENABLE, r.mask);
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        d.SetVertexShader(fvf::XYZ | fvf::DIFFUSE);
        d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, quad, sizeof(V));
        // The world shift makes the quad cover the screen; row 4 is at world y ~0.86, row 28 at ~0.11.
        EXPECT_EQ(Pixel(d, 10, 4) == 0xFFFFFFFFu, r.left) << r.mask;
        EXPECT_EQ(Pixel(d, 50, 4) == 0xFFFFFFFFu, r.right) << r.mask;
        EXPECT_EQ(Pixel(d, 50, 28) == 0xFFFFFFFFu, r.lowRight) << r.mask;
    }
    DrawScreenQuad(d, 0, 40, 8, 48, 0xFF00FF00u);
    EXPECT_EQ(Pixel(d, 4, 44), 0xFF00FF00u);
    d.SetRenderState(rs::CLIPPLANEENABLE, 0);
    d.SetTransform(ts::WORLD, Mat4());
}

TEST_F(GfxDevice, SpecularHighlightFacesTheViewer) {
    d.SetRenderState(rs::LIGHTING, 1);
    d.SetRenderState(rs::SPECULARENABLE, 1);
    d.SetRenderState(rs::LOCALVIEWER, 0);
    d.SetRenderState(rs::ZENABLE, 0);
    MaterialColors m;
    m.specular = {1, 1, 1, 1};
    m.power = 8;
    d.SetMaterial(m);
    Light l;
    l.diffuse = {0, 0, 0, 0};
    l.specular = {1, 1, 1, 1};
    l.direction = {0, 0, 1};
    d.SetLight(0, l);
    d.LightEnable(0, true);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    DrawLitQuad(d, 0, 0, -1);  // faces the camera, light from the camera: full highlight
    EXPECT_GT(Channel(Pixel(d, 32, 32), 16), 240);
    d.LightEnable(0, false);
    d.SetRenderState(rs::SPECULARENABLE, 0);
}

TEST_F(GfxDevice, LinearFogBlendsTowardsTheFogColour) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::FOGENABLE, 1);
    d.SetRenderState(rs::FOGVERTEXMODE, fogmode::LINEAR);
    d.SetRenderState(rs::FOGCOLOR, 0xFF0000FFu);
    float start = 0.0f, end = 1.0f;
    uint32_t a, b;
    memcpy(&a, &start, 4);
    memcpy(&b, &end, 4);
    d.SetRenderState(rs::FOGSTART, a);
    d.SetRenderState(rs::FOGEND, b);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    struct V { float x, y, z; uint32_t c; } v[4] = {
        {-1, 1, 0.25f, 0xFFFF0000u}, {1, 1, 0.25f, 0xFFFF0000u}, {-1, -1, 0.25f, 0xFFFF0000u}, {1, -1, 0.25f, 0xFFFF0000u}};
    d.SetVertexShader(fvf::XYZ | fvf::DIFFUSE);
    d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof(V));
    // f = (1 - 0.25) / 1: 75 % of the surface colour.
    EXPECT_TRUE(Near(Pixel(d, 32, 32), Rgb(191, 0, 64), 3)) << std::hex << Pixel(d, 32, 32);
    // Pre-transformed vertices are never fogged.
    DrawScreenQuad(d, 0, 0, 4, 4, 0xFF00FF00u);
    EXPECT_EQ(Pixel(d, 1, 1), 0xFF00FF00u);
    d.SetRenderState(rs::FOGENABLE, 0);
}

TEST_F(GfxDevice, CullModesKeepTheEngineFrontFaces) {
    d.SetRenderState(rs::ZENABLE, 0);
    // Clockwise on screen (y down): top-left, top-right, bottom-left.
    ScreenVertex cw[3] = {{0, 0, 0.5f, 1, 0xFFFFFFFFu, 0, 0}, {32, 0, 0.5f, 1, 0xFFFFFFFFu, 0, 0}, {0, 32, 0.5f, 1, 0xFFFFFFFFu, 0, 0}};
    ScreenVertex ccw[3] = {cw[0], cw[2], cw[1]};
    d.SetVertexShader(kScreenFvf);
    struct { uint32_t mode; bool cwVisible, ccwVisible; } rows[] = {
        {cull::NONE, true, true}, {cull::CCW, true, false}, {cull::CW, false, true}};
    for (auto& r : rows) {
        d.SetRenderState(rs::CULLMODE, r.mode);
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        d.DrawPrimitiveUP(prim::TRIANGLELIST, 1, cw, sizeof(ScreenVertex));
        EXPECT_EQ(Pixel(d, 4, 4) == 0xFFFFFFFFu, r.cwVisible) << r.mode;
        d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
        d.DrawPrimitiveUP(prim::TRIANGLELIST, 1, ccw, sizeof(ScreenVertex));
        EXPECT_EQ(Pixel(d, 4, 4) == 0xFFFFFFFFu, r.ccwVisible) << r.mode;
    }
}

TEST_F(GfxDevice, StencilIncrementAndDecrementInTwoPasses) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::COLORWRITEENABLE, 0);
    d.SetRenderState(rs::STENCILENABLE, 1);
    d.SetRenderState(rs::STENCILFUNC, cmp::ALWAYS);
    d.SetRenderState(rs::STENCILPASS, stencilop::INCR);
    DrawScreenQuad(d, 0, 0, 16, 16, 0xFFFFFFFFu);
    DrawScreenQuad(d, 0, 0, 16, 16, 0xFFFFFFFFu);
    d.SetRenderState(rs::STENCILPASS, stencilop::DECR);
    DrawScreenQuad(d, 8, 0, 16, 16, 0xFFFFFFFFu);
    // Left half has 2, right half 1: draw where stencil == 2.
    d.SetRenderState(rs::COLORWRITEENABLE, 0xF);
    d.SetRenderState(rs::STENCILPASS, stencilop::KEEP);
    d.SetRenderState(rs::STENCILFUNC, cmp::EQUAL);
    d.SetRenderState(rs::STENCILREF, 2);
    DrawScreenQuad(d, 0, 0, 32, 32, 0xFF00FF00u);
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF00FF00u);
    EXPECT_EQ(Pixel(d, 12, 4), 0xFF000000u);
    EXPECT_EQ(Pixel(d, 20, 4), 0xFF000000u);
    // Decrement wraps from 0 to 255 (the wrapping op), so a NOTEQUAL 0 test passes there.
    d.SetRenderState(rs::STENCILFUNC, cmp::ALWAYS);
    d.SetRenderState(rs::STENCILPASS, stencilop::DECR);
    d.SetRenderState(rs::COLORWRITEENABLE, 0);
    DrawScreenQuad(d, 24, 0, 32, 8, 0);
    d.SetRenderState(rs::COLORWRITEENABLE, 0xF);
    d.SetRenderState(rs::STENCILPASS, stencilop::KEEP);
    d.SetRenderState(rs::STENCILFUNC, cmp::EQUAL);
    d.SetRenderState(rs::STENCILREF, 255);
    DrawScreenQuad(d, 0, 0, 64, 64, 0xFFFF0000u);
    EXPECT_EQ(Pixel(d, 26, 2), 0xFFFF0000u);
}

// Shadow-volume order: front faces increment with back faces culled, back faces decrement
// with front faces culled; the wrapping ops leave 1 and 255 where only one of them drew.
TEST_F(GfxDevice, StencilPassesWithOppositeCulling) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::COLORWRITEENABLE, 0);
    d.SetRenderState(rs::STENCILENABLE, 1);
    d.SetRenderState(rs::STENCILFUNC, cmp::ALWAYS);
    // Quad A over [0, 16) wound clockwise on screen (an engine front face); quad B over [8, 24)
    // wound the other way.
    auto quad = [&](float x0, float x1, bool front) {
        ScreenVertex v[4] = {{x0 - 0.5f, -0.5f, 0.5f, 1, 0, 0, 0}, {x1 - 0.5f, -0.5f, 0.5f, 1, 0, 0, 0},
                             {x0 - 0.5f, 7.5f, 0.5f, 1, 0, 0, 0}, {x1 - 0.5f, 7.5f, 0.5f, 1, 0, 0, 0}};
        if (!front) std::swap(v[1], v[2]);
        d.SetVertexShader(kScreenFvf);
        d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof(ScreenVertex));
    };
    d.SetRenderState(rs::CULLMODE, cull::CCW);
    d.SetRenderState(rs::STENCILPASS, stencilop::INCR);
    quad(0, 16, true);
    quad(8, 24, false);
    d.SetRenderState(rs::CULLMODE, cull::CW);
    d.SetRenderState(rs::STENCILPASS, stencilop::DECR);
    quad(0, 16, true);
    quad(8, 24, false);
    d.SetRenderState(rs::CULLMODE, cull::NONE);
    d.SetRenderState(rs::COLORWRITEENABLE, 0xF);
    d.SetRenderState(rs::STENCILPASS, stencilop::KEEP);
    d.SetRenderState(rs::STENCILFUNC, cmp::EQUAL);
    for (auto [ref, color] : {std::pair{1u, 0xFFFF0000u}, std::pair{255u, 0xFF0000FFu}, std::pair{0u, 0xFF00FF00u}}) {
        d.SetRenderState(rs::STENCILREF, ref);
        DrawScreenQuad(d, 0, 0, 32, 8, color);
    }
    EXPECT_EQ(Pixel(d, 4, 4), 0xFFFF0000u);   // A only: 1
    EXPECT_EQ(Pixel(d, 12, 4), 0xFF00FF00u);  // both: 0
    EXPECT_EQ(Pixel(d, 20, 4), 0xFF0000FFu);  // B only: 255
    d.SetRenderState(rs::STENCILENABLE, 0);
}

// Clears reach every buffer whatever the write masks say, and the masks hold again afterwards.
TEST_F(GfxDevice, ClearsIgnoreTheWriteMasks) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::STENCILENABLE, 1);
    d.SetRenderState(rs::STENCILFUNC, cmp::ALWAYS);
    d.SetRenderState(rs::STENCILPASS, stencilop::REPLACE);
    d.SetRenderState(rs::STENCILREF, 7);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFFFF0000u);
    d.SetRenderState(rs::COLORWRITEENABLE, 0);
    d.SetRenderState(rs::STENCILWRITEMASK, 0);
    d.Clear(clear::TARGET | clear::STENCIL, 0xFF102030u, 1.0f, 0);
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF102030u);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFFFFFFFFu);  // masked off: nothing changes
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF102030u);
    d.SetRenderState(rs::COLORWRITEENABLE, 0xF);
    d.SetRenderState(rs::STENCILWRITEMASK, 0xFF);
    d.SetRenderState(rs::STENCILPASS, stencilop::KEEP);
    d.SetRenderState(rs::STENCILFUNC, cmp::EQUAL);
    d.SetRenderState(rs::STENCILREF, 0);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFF00FF00u);
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF00FF00u);
    d.SetRenderState(rs::STENCILENABLE, 0);
}

TEST_F(GfxDevice, ClearWithDepthWritesOffStillClearsDepth) {
    d.SetRenderState(rs::ZENABLE, 1);
    d.SetRenderState(rs::ZFUNC, cmp::LESS);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFFFF0000u, 0.2f);
    d.SetRenderState(rs::ZWRITEENABLE, 0);
    d.Clear(clear::ZBUFFER, 0, 1.0f, 0);
    DrawScreenQuad(d, 0, 0, 8, 8, 0xFF00FF00u, 0.5f);
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF00FF00u);
}

TEST_F(GfxDevice, BuffersRefuseLocksOutsideAndResetRefusesLiveDefaultBuffers) {
    Buffer* vb = d.CreateVertexBuffer(64, fvf::XYZ, Pool::DEFAULT, true);
    ASSERT_NE(vb, nullptr);
    EXPECT_EQ(d.Lock(vb, 60, 8, 0), nullptr);
    EXPECT_EQ(d.Lock(vb, 65, 0, 0), nullptr);
    void* p = d.Lock(vb, 0, 64, lock::DISCARD);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(d.Lock(vb, 0, 4, 0), nullptr);  // already locked
    d.Unlock(vb);
    EXPECT_EQ(d.Reset(kSize, kSize), Result::INVALIDCALL);
    d.ReleaseBuffer(vb);
    EXPECT_EQ(d.Reset(kSize, kSize), Result::OK);
    // Targets that cannot be made fail the reset; the next one makes them again.
    EXPECT_NE(d.Reset(1 << 20, kSize), Result::OK);
    uint32_t p1[1];
    EXPECT_FALSE(d.ReadPixels(true, 0, 0, 1, 1, p1));
    EXPECT_EQ(d.Reset(kSize, kSize), Result::OK);
    d.Clear(clear::TARGET, 0xFF336699u, 1.0f, 0);
    EXPECT_EQ(Pixel(d, 1, 1), 0xFF336699u);
    d.ForceCooperativeLevel(CoopState::LOST);
    EXPECT_EQ(d.Reset(kSize, kSize), Result::DEVICELOST);
    d.ForceCooperativeLevel(CoopState::NOTRESET);
    EXPECT_EQ(d.TestCooperativeLevel(), CoopState::NOTRESET);
    EXPECT_EQ(d.Reset(kSize, kSize), Result::OK);
    EXPECT_EQ(d.TestCooperativeLevel(), CoopState::OK);
}

TEST_F(GfxDevice, IndexedDrawsUseTheBaseVertex) {
    d.SetRenderState(rs::ZENABLE, 0);
    Buffer* vb = d.CreateVertexBuffer(8 * sizeof(ScreenVertex), kScreenFvf, Pool::DEFAULT, false);
    Buffer* ib = d.CreateIndexBuffer(6 * 2, false, Pool::DEFAULT, false);
    auto* v = static_cast<ScreenVertex*>(d.Lock(vb, 0, 0, 0));
    for (int q = 0; q < 2; ++q) {
        float x0 = q == 0 ? 0.0f : 16.0f;
        uint32_t c = q == 0 ? 0xFFFF0000u : 0xFF0000FFu;
        v[q * 4 + 0] = {x0 - 0.5f, -0.5f, 0.5f, 1, c, 0, 0};
        v[q * 4 + 1] = {x0 + 7.5f, -0.5f, 0.5f, 1, c, 0, 0};
        v[q * 4 + 2] = {x0 - 0.5f, 7.5f, 0.5f, 1, c, 0, 0};
        v[q * 4 + 3] = {x0 + 7.5f, 7.5f, 0.5f, 1, c, 0, 0};
    }
    d.Unlock(vb);
    auto* idx = static_cast<uint16_t*>(d.Lock(ib, 0, 0, 0));
    const uint16_t quad[6] = {0, 1, 2, 2, 1, 3};
    memcpy(idx, quad, sizeof quad);
    d.Unlock(ib);
    d.SetVertexShader(kScreenFvf);
    d.SetStreamSource(0, vb, sizeof(ScreenVertex));
    d.SetIndices(ib, 4);
    d.DrawIndexedPrimitive(prim::TRIANGLELIST, 0, 4, 0, 2);
    EXPECT_EQ(Pixel(d, 4, 4), 0xFF000000u);
    EXPECT_EQ(Pixel(d, 20, 4), 0xFF0000FFu);
    d.SetStreamSource(0, nullptr, 0);
    d.SetIndices(nullptr, 0);
    d.ReleaseBuffer(vb);
    d.ReleaseBuffer(ib);
}

TEST_F(GfxDevice, RepeatedStateCostsNoGLCalls) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetRenderState(rs::ALPHABLENDENABLE, 1);
    d.SetRenderState(rs::SRCBLEND, blend::SRCALPHA);
    DrawScreenQuad(d, 0, 0, 4, 4, 0xFFFFFFFFu);
    uint64_t before = d.Stats().glStateCalls;
    d.SetRenderState(rs::SRCBLEND, blend::SRCALPHA);
    d.SetRenderState(rs::ALPHABLENDENABLE, 1);
    DrawScreenQuad(d, 0, 0, 4, 4, 0xFFFFFFFFu);
    // Only the scratch stream's attribute pointers are set again.
    uint64_t spent = d.Stats().glStateCalls - before;
    EXPECT_LE(spent, 4u);
    EXPECT_GE(d.Stats().redundantSets, 2u);
}

TEST_F(GfxDevice, TruncatedMipChainStillSamples) {
    d.SetRenderState(rs::ZENABLE, 0);
    Texture* t = d.CreateTexture(8, 8, 2, format::X8R8G8B8, Pool::MANAGED);
    std::vector<uint32_t> l0(64, 0x00FF0000u), l1(16, 0x0000FF00u);
    d.UpdateTexture(t, 0, l0.data(), 32);
    d.UpdateTexture(t, 1, l1.data(), 16);
    d.SetTexture(0, t);
    d.SetTextureStageState(0, tss::MINFILTER, texf::POINT);
    d.SetTextureStageState(0, tss::MIPFILTER, texf::POINT);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::ALPHAOP, top::SELECTARG1);
    // 8x8 texels into 2x2 pixels: a minified level; X8 reads alpha 1.
    DrawScreenQuad(d, 0, 0, 2, 2, 0xFFFFFFFFu);
    uint32_t p = Pixel(d, 0, 0);
    EXPECT_NE(p & 0x00FFFFFFu, 0u);
    d.SetTexture(0, nullptr);
    d.ReleaseTexture(t);
}

}  // namespace

namespace {

uint32_t Dst(uint32_t type, uint32_t index, uint32_t mask = 0xF) { return 0x80000000u | type << 28 | mask << 16 | index; }
uint32_t Src(uint32_t type, uint32_t index, uint32_t swizzle = 0xE4, bool negate = false) {
    return 0x80000000u | type << 28 | swizzle << 16 | (negate ? 1u << 24 : 0u) | index;
}
constexpr uint32_t kVersion = 0xFFFE0101u, kEnd = 0x0000FFFFu;

TEST(VsTranslate, ValidatorRefusesBadStreams) {
    const std::vector<uint32_t> good = {kVersion, 1, Dst(4, 0), Src(1, 0), kEnd};
    EXPECT_TRUE(TranslateVs11(good.data(), good.size()).ok);
    struct { const char* what; std::vector<uint32_t> t; } bad[] = {
        {"version", {0xFFFE0200u, 1, Dst(4, 0), Src(1, 0), kEnd}},
        {"opcode", {kVersion, 18, Dst(4, 0), Src(1, 0), kEnd}},
        {"register", {kVersion, 1, Dst(0, 12), Src(1, 0), kEnd}},
        {"constant", {kVersion, 1, Dst(0, 0), Src(2, 96), kEnd}},
        {"no end", {kVersion, 1, Dst(4, 0), Src(1, 0)}},
        {"after end", {kVersion, 1, Dst(4, 0), Src(1, 0), kEnd, 0}},
        {"truncated", {kVersion, 4, Dst(0, 0), Src(1, 0), kEnd}},
    };
    for (auto& b : bad) EXPECT_FALSE(TranslateVs11(b.t.data(), b.t.size()).ok) << b.what;
}

TEST_F(GfxDevice, VertexShaderDrawsLikeFixedFunction) {
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    struct V { float x, y, z; uint32_t c; } v[4] = {
        {-1, 1, 0.5f, 0xFF808080u}, {0, 1, 0.5f, 0xFF808080u}, {-1, 0, 0.5f, 0xFF808080u}, {0, 0, 0.5f, 0xFF808080u}};
    // Fixed function: the quad over the top-left quarter in its vertex colour.
    d.SetVertexShader(fvf::XYZ | fvf::DIFFUSE);
    d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof(V));
    uint32_t fixedPixel = Pixel(d, 10, 10);
    EXPECT_TRUE(Near(fixedPixel, 0xFF808080u));
    EXPECT_EQ(Pixel(d, 40, 40), 0xFF000000u);
    // The same through m4x4 with identity rows, colour from the vertex times c4.
    const std::vector<uint32_t> tokens = {kVersion,
                                          20, Dst(4, 0), Src(1, 0), Src(2, 0),
                                          5, Dst(5, 0), Src(1, 5), Src(2, 4),
                                          1, Dst(5, 1), Src(2, 5, 0x1B, true),  // -c5.wzyx
                                          kEnd};
    uint32_t h = d.CreateVertexShader(fvf::XYZ | fvf::DIFFUSE, tokens.data(), tokens.size());
    ASSERT_NE(h, 0u);
    ASSERT_EQ(h & 1, 1u);
    float c[6][4] = {{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}, {1, 1, 1, 1}, {0, 0, -0.5f, 0}};
    ASSERT_TRUE(d.SetVertexShaderConstant(0, &c[0][0], 6));
    EXPECT_FALSE(d.SetVertexShaderConstant(90, &c[0][0], 7));
    d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
    d.SetVertexShader(h);
    d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof(V));
    EXPECT_TRUE(Near(Pixel(d, 10, 10), fixedPixel));
    EXPECT_EQ(Pixel(d, 40, 40), 0xFF000000u);
    // The specular output reaches the SPECULAR argument: -c5.wzyx = (0, 0.5, 0, 0).
    d.SetTextureStageState(0, tss::COLORARG1, ta::SPECULAR);
    d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof(V));
    EXPECT_TRUE(Near(Pixel(d, 10, 10), Rgb(0, 128, 0)));
    d.SetVertexShader(0);
    d.DeleteVertexShader(h);
}

}  // namespace
