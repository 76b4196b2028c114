// vs 1.1 programs written as text, assembled and drawn through the gfx device: each program
// computes a colour into oD0 that a quad shows; the validator's refusals; the assembler's own
// errors.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/gfx/VsTranslator.h"
#include "tests/render/GfxTestSupport.h"
#include "tools/writers/VsAssembler.h"

using namespace gfx;
using namespace gfxtest;

namespace {

uint32_t Rgb(int r, int g, int b) { return 0xFF000000u | uint32_t(r) << 16 | uint32_t(g) << 8 | uint32_t(b); }

struct Program {
    const char* what;
    const char* body;  // after "vs.1.1" and the position copy
    std::vector<std::vector<float>> constants;  // from c0
    uint32_t expected;
};

// Draws a quad over the top-left quarter with the program and returns its centre pixel.
uint32_t DrawWith(Device& d, const Program& p) {
    const std::string text = std::string("vs.1.1\nmov oPos, v0\n") + p.body;
    std::string error;
    const std::vector<uint32_t> tokens = tools::AssembleVs11(text, &error);
    EXPECT_FALSE(tokens.empty()) << p.what << ": " << error;
    const uint32_t h = d.CreateVertexShader(fvf::XYZ, tokens.data(), tokens.size());
    EXPECT_NE(h, 0u) << p.what;
    if (!h) return 0;
    std::vector<float> c(96 * 4, 0.0f);
    for (size_t i = 0; i < p.constants.size(); ++i)
        for (size_t k = 0; k < p.constants[i].size() && k < 4; ++k) c[i * 4 + k] = p.constants[i][k];
    d.SetVertexShaderConstant(0, c.data(), 96);
    const float v[4][3] = {{-1, 1, 0.5f}, {0, 1, 0.5f}, {-1, 0, 0.5f}, {0, 0, 0.5f}};
    d.Clear(clear::TARGET, 0xFF000000u, 1.0f, 0);
    d.SetVertexShader(h);
    d.DrawPrimitiveUP(prim::TRIANGLESTRIP, 2, v, sizeof v[0]);
    d.SetVertexShader(0);
    d.DeleteVertexShader(h);
    return Pixel(d, kSize / 4, kSize / 4);
}

// Resets the device to show the programs' diffuse output as it is: unlit, unculled, no depth.
Result ResetToShowDiffuse(Device& d) {
    const Result r = d.Reset(kSize, kSize);
    if (r != Result::OK) return r;
    d.SetRenderState(rs::LIGHTING, 0);
    d.SetRenderState(rs::CULLMODE, cull::NONE);
    d.SetRenderState(rs::ZENABLE, 0);
    d.SetTextureStageState(0, tss::COLOROP, top::SELECTARG1);
    d.SetTextureStageState(0, tss::COLORARG1, ta::DIFFUSE);
    return r;
}

TEST(VsPrograms, EachInstructionGivesItsColour) {
    Device& d = TheDevice();
    ASSERT_EQ(ResetToShowDiffuse(d), Result::OK);
    const Program programs[] = {
        {"mov", "mov oD0, c0\n", {{0.25f, 0.5f, 0.75f, 1}}, Rgb(64, 128, 191)},
        {"negate and swizzle", "mov oD0, -c0.wzyx\n", {{-1, -0.5f, -0.25f, -0.125f}}, Rgb(32, 64, 128)},
        {"replicate and write mask", "mov oD0.xz, c0.y\nmov oD0.y, c0.x\n", {{0.25f, 0.75f, 0, 0}}, Rgb(191, 64, 191)},
        {"mad and dp3", "dp3 r0.x, c0, c1\nmad oD0, r0.x, c2, c3\n",
         {{1, 2, 3, 9}, {0.25f, 0.125f, 0, 9}, {0.5f, 0.25f, 0, 0}, {0, 0, 0.5f, 0}}, Rgb(64, 32, 128)},
        {"relative addressing", "mov a0.x, c0.x\nmov oD0, c[a0.x + 3]\n",
         {{2.7f, 0, 0, 0}, {}, {}, {}, {1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}, Rgb(0, 255, 0)},
        {"relative read past the constants", "mov a0.x, c0.x\nmov oD0, c[a0.x + 3]\nadd oD0.z, c[a0.x + 3].z, c1.z\n",
         {{94.0f, 0, 0, 0}, {0, 0, 0.5f, 0}}, Rgb(0, 0, 128)},
        {"lit, lit side", "lit r0, c0\nmov oD0, r0.yzxw\n", {{0.5f, 0.5f, 0, 2}}, Rgb(128, 64, 255)},
        {"lit, dark side", "lit r0, c0\nmov oD0, r0.yzxw\n", {{-1, 0.5f, 0, 2}}, Rgb(0, 0, 255)},
        {"exp and log", "exp r0, c0.x\nlog r1, c0.y\nmul r1, r1, c0.z\nmov oD0.x, r0\nmov oD0.y, r1\nmov oD0.z, c0.w\n",
         {{-1, -0.25f, -0.125f, 1}}, Rgb(128, 64, 255)},
        {"rcp of 0 and rsq of a negative", "rcp r0, c0.x\nmin oD0.x, r0, c0.y\nrcp oD0.y, c0.z\nrsq oD0.z, c0.w\n",
         {{0, 0.75f, 4, -4}}, Rgb(191, 64, 128)},
        {"frc, slt and sge", "frc r0.xy, c0\nslt r1, c0.z, c0.w\nsge r2, c0.z, c0.w\nmov oD0.xy, r0\nadd oD0.z, r1, r2\n",
         {{1.25f, -0.25f, 0, 1}}, Rgb(64, 191, 255)},
        {"dst", "dst r0, c0, c1\nmov oD0, r0.yzwx\n", {{9, 0.5f, 0.25f, 9}, {9, 0.5f, 9, 0.75f}}, Rgb(64, 64, 191)},
        {"expp and logp", "expp r0, c0.x\nlogp r1, c0.y\nmul r1, r1, c0.z\nmov oD0.x, r0.y\nmov oD0.y, r1.x\nmov oD0.z, r1.y\n",
         {{1.5f, 6, 0.125f, 0}}, Rgb(128, 64, 48)},
        {"m3x2 and def", "def c5, 0.5, 0.25, 0, 0\nm3x2 r0.xy, c0, c1\nmov oD0.xy, r0\nmov oD0.z, c5.x\n",
         {{1, 1, 1, 0}, {0.25f, 0, 0, 0}, {0, 0.25f, 0.5f, 0}}, Rgb(64, 191, 128)},
    };
    for (const Program& p : programs) {
        const uint32_t got = DrawWith(d, p);
        EXPECT_TRUE(Near(got, p.expected, 2)) << p.what << std::hex << ": got " << got;
    }
}

// With fog on, a program's oFog.x is the fog factor; a program that writes none is not fogged.
TEST(VsPrograms, FogFactorComesFromTheProgram) {
    Device& d = TheDevice();
    ASSERT_EQ(ResetToShowDiffuse(d), Result::OK);
    d.SetRenderState(rs::FOGENABLE, 1);
    d.SetRenderState(rs::FOGVERTEXMODE, fogmode::LINEAR);
    d.SetRenderState(rs::FOGCOLOR, 0xFF0000FFu);
    const Program fogged{"fogged", "mov oD0, c0\nmov oFog.x, c1.x\n", {{1, 0, 0, 1}, {0.25f, 0, 0, 0}}, Rgb(64, 0, 191)};
    const Program plain{"plain", "mov oD0, c0\n", {{1, 0, 0, 1}}, Rgb(255, 0, 0)};
    for (const Program& p : {fogged, plain}) {
        const uint32_t got = DrawWith(d, p);
        EXPECT_TRUE(Near(got, p.expected, 2)) << p.what << std::hex << ": got " << got;
    }
    d.SetRenderState(rs::FOGENABLE, 0);
}

TEST(VsPrograms, AssemblerRefusesBadTextAndTheValidatorBadRegisters) {
    struct {
        const char* what;
        const char* text;
    } badText[] = {
        {"no version", "mov oPos, v0\n"},
        {"unknown op", "vs.1.1\nfoo r0, v0\n"},
        {"operand count", "vs.1.1\nadd r0, v0\n"},
        {"write to an input", "vs.1.1\nmov v0, c0\n"},
        {"read an output", "vs.1.1\nmov r0, oD0\n"},
        {"bad mask", "vs.1.1\nmov r0.yx, v0\n"},
        {"bad relative", "vs.1.1\nmov r0, c[r0.x + 2]\n"},
    };
    for (auto& b : badText) {
        std::string error;
        EXPECT_TRUE(tools::AssembleVs11(b.text, &error).empty()) << b.what;
        EXPECT_FALSE(error.empty()) << b.what;
    }
    // Assembled fine, refused by the device's validator: registers past their files.
    for (const char* text : {"vs.1.1\nmov r12, v0\n", "vs.1.1\nmov oPos, c96\n", "vs.1.1\nmov oT8, v0\n", "vs.1.1\nmov oPos, v16\n"}) {
        const std::vector<uint32_t> tokens = tools::AssembleVs11(text);
        ASSERT_FALSE(tokens.empty()) << text;
        EXPECT_FALSE(TranslateVs11(tokens.data(), tokens.size()).ok) << text;
    }
    // Both world shaders assemble and pass the validator; they write the fog factor.
    for (int which : {1, 2}) {
        const std::vector<uint32_t> tokens = tools::AssembleVs11(tools::WorldVertexShaderSource(which));
        VsTranslation t = TranslateVs11(tokens.data(), tokens.size());
        EXPECT_TRUE(t.ok) << which << ": " << t.error;
        EXPECT_TRUE(t.writesFog) << which;
        EXPECT_FALSE(DisassembleVs11(tokens.data(), tokens.size()).empty());
    }
}

}  // namespace
