// The explosion in the demo tree: a ball of fire drawn with additive blending whose alpha comes
// from its "Fader" variable (the game fades the nine nested copies through it), and its texture.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

tools::ZkmModel ExplosionModel() {
    tools::ZkmModel m = tools::BallModel("Explosion.ZKT", 1.0f, 16, 8);
    m.materials[0].textures[1] = 0xFFFFFFFFu; // no reflection
    tools::ZkmShader& s = m.shaders[0];
    s.stageMask = 1;
    s.lighting = 0;
    s.zWrite = 0;
    s.blend = 1;
    s.srcBlend = 5; // source alpha
    s.dstBlend = 2; // one: the fire adds light
    s.stages[0].colorOp = 4; // texture x factor
    s.stages[0].colorArg1 = 2;
    s.stages[0].colorArg2 = 3;
    s.stages[0].alphaOp = 4;
    s.stages[0].alphaArg1 = 2;
    s.stages[0].alphaArg2 = 3;
    m.slots = {"Fader"};
    for (tools::ZkmNode& n : m.nodes)
        for (tools::ZkmPart& p : n.parts) p.slot = 0;
    return m;
}

// Yellow at the top of the ball through orange to a dark red rim, with a soft ragged edge.
uint32_t Fire(int x, int y, int w, int h) {
    const float v = float(y) / float(h - 1);
    const float flicker = 0.85f + 0.15f * std::sin(float(x) * 0.7f + float(y) * 1.3f);
    const uint32_t r = 255;
    const uint32_t g = uint32_t((220.0f - 170.0f * v) * flicker);
    const uint32_t b = uint32_t(60.0f * (1.0f - v) * flicker);
    const uint32_t a = uint32_t(255.0f * flicker * (1.0f - 0.5f * v));
    (void)w;
    return a << 24 | r << 16 | g << 8 | b;
}

}  // namespace

DEMO_STEP("blast") {
    const std::filesystem::path models = root / "Models", textures = root / "Textures";
    std::filesystem::create_directories(models);
    std::filesystem::create_directories(textures);
    std::vector<uint32_t> argb;
    const int size = 32;
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) argb.push_back(Fire(x, y, size, size));
    tools::ZktTexture texture = tools::ArgbTexture(size, size, argb);
    texture.mayCompress = 0;
    return tools::WriteZkm((models / "Explosion.ZKM").string().c_str(), ExplosionModel()) &&
           tools::WriteZkt((textures / "Explosion.ZKT").string().c_str(), texture);
}
