// Writes the .vso fuzz seeds with the project's vs 1.1 assembler: the world's two shaders and
// small programs using every kind of register, swizzles, masks, relative addressing and def.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/VsAssembler.h"

namespace {

std::vector<uint8_t> Bytes(const std::vector<uint32_t>& tokens) {
    std::vector<uint8_t> out;
    for (uint32_t t : tokens)
        for (int i = 0; i < 4; ++i) out.push_back(uint8_t(t >> (8 * i)));
    return out;
}

} // namespace

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    auto Write = [&](const std::string& name, const std::string& text) {
        std::string error;
        const std::vector<uint32_t> tokens = tools::AssembleVs11(text, &error);
        if (tokens.empty()) {
            std::fprintf(stderr, "seed %s: %s\n", name.c_str(), error.c_str());
            std::exit(1);
        }
        seeds.Write(name, Bytes(tokens));
    };
    Write("world1", tools::WorldVertexShaderSource(1));
    Write("world2", tools::WorldVertexShaderSource(2));
    Write("matrix", "vs.1.1\nm4x4 oPos, v0, c0\nm3x3 r1.xyz, v3, c4\nm4x3 r2.xyz, v0, c8\nm3x4 r3, v3, c12\n"
                    "m3x2 r4.xy, v3, c16\nmov oD0, c20\nmov oT0.xy, v7\n");
    Write("relative", "vs.1.1\nmov a0.x, v7.x\nmov r0, c[a0.x + 12]\nadd oPos, v0, r0\nmov oD1, -r0.zxyw\n");
    Write("scalar", "vs.1.0\ndef c95, 1, 0.5, -2, 0\nrcp r0.x, c95.y\nrsq r0.y, c95.z\nexp r1, r0.x\n"
                    "log r2, r0.y\nexpp r3, c95.x\nlogp r4, c95.y\nlit r5, c95\ndst r6, r5, c95\n"
                    "frc r7, c95\nslt r8, r7, c95\nsge r9, r7, c95\nmin r10, r8, r9\nmax r11, r8, r9\n"
                    "mad r0, r10, r11, c95\nmul oPos, r0, v0\nmov oFog.x, r0.w\nmov oT7, r11\n");
    return 0;
}
