// The explosion and the launched projectiles in the demo tree: the fireball (drawn with additive
// blending, its alpha from the "Fader" variable the game fades the nested copies through), the
// homing missile, the rocket and the grenade, their textures, and the launchers' HUD icons and
// aiming marks.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

namespace fs = std::filesystem;

// Paint takes x and y in -1..1 (y down) and returns ARGB.
using Paint = uint32_t (*)(float x, float y);

uint32_t Argb(float a, float r, float g, float b) {
    auto c = [](float v) { return uint32_t(std::fmin(1.0f, std::fmax(0.0f, v)) * 255.0f + 0.5f); };
    return c(a) << 24 | c(r) << 16 | c(g) << 8 | c(b);
}

bool WriteTexture(const fs::path& path, int size, Paint paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            argb.push_back(paint((float(x) + 0.5f) / float(size) * 2.0f - 1.0f, (float(y) + 0.5f) / float(size) * 2.0f - 1.0f));
    tools::ZktTexture texture = tools::ArgbTexture(size, size, argb);
    texture.mayCompress = 0;
    return tools::WriteZkt(path.string().c_str(), texture);
}

tools::ZkmModel ExplosionModel() {
    tools::ZkmModel m = tools::BallModel("Explosion.ZKT", 1.0f, 16, 8);
    m.materials[0].textures[1] = 0xFFFFFFFFu; // no reflection
    tools::ZkmShader& s = m.shaders[0];
    s.stageMask = 1;
    s.lighting = 0;
    s.zWrite = 0;
    s.blend = 1;
    // The model file's own codes (not the device's): blend 6 source alpha, 1 one; stage
    // operation 3 modulate; argument 2 the texture, 4 the texture factor (the "Fader" colour).
    s.srcBlend = 6; // source alpha
    s.dstBlend = 1; // one: the fire adds light
    s.stages[0].colorOp = 3; // texture x factor
    s.stages[0].colorArg1 = 2;
    s.stages[0].colorArg2 = 4;
    s.stages[0].alphaOp = 3;
    s.stages[0].alphaArg1 = 2;
    s.stages[0].alphaArg2 = 4;
    m.slots = {"Fader"};
    for (tools::ZkmNode& n : m.nodes)
        for (tools::ZkmPart& p : n.parts) p.slot = 0;
    return m;
}

// A body along z (its nose at -z, narrower) of the given half width and length.
tools::ZkmModel DartModel(const char* texture, float halfWidth, float halfLength) {
    tools::ZkmModel m = tools::CrateModel(texture, 1.0f);
    for (tools::ZkmVertex& v : m.vertices) {
        const float w = v.position.z < 0.0f ? 0.5f * halfWidth : halfWidth;
        v.position = Vector3(v.position.x * w, v.position.y * w, v.position.z * halfLength);
    }
    return m;
}

tools::ZkmModel GrenadeModel() {
    tools::ZkmModel m = tools::BallModel("Grenade.ZKT", 1.0f, 12, 6);
    m.materials[0].textures[1] = 0xFFFFFFFFu;
    m.shaders[0].stageMask = 1;
    return m;
}

// Yellow at the top of the ball through orange to a dark red rim, ragged.
uint32_t Fire(float x, float y) {
    const float v = (y + 1.0f) * 0.5f;
    const float flicker = 0.85f + 0.15f * std::sin(x * 11.0f + y * 21.0f);
    return Argb(flicker * (1.0f - 0.5f * v), 1.0f, (0.86f - 0.66f * v) * flicker, 0.24f * (1.0f - v) * flicker);
}

bool Ring(float x, float y, float radius, float width) { return std::fabs(std::sqrt(x * x + y * y) - radius) < width; }
// Four corner brackets of a lock frame.
bool Brackets(float x, float y) {
    const float ax = std::fabs(x), ay = std::fabs(y);
    return (ax > 0.6f && ax < 0.8f && ay > 0.35f && ay < 0.8f) || (ay > 0.6f && ay < 0.8f && ax > 0.35f && ax < 0.8f);
}
const uint32_t Clear = 0;

}  // namespace

DEMO_STEP("blast") {
    const fs::path models = root / "Models", textures = root / "Textures";
    fs::create_directories(models);
    fs::create_directories(textures);
    auto model = [&](const char* name, const tools::ZkmModel& m) { return tools::WriteZkm((models / name).string().c_str(), m); };
    return model("Explosion.ZKM", ExplosionModel()) && WriteTexture(textures / "Explosion.ZKT", 32, Fire) &&
           // A long white missile with a red band; a shorter olive rocket; a dark green grenade.
           model("HMissile.ZKM", DartModel("HMissile.ZKT", 0.8f, 6.0f)) &&
           WriteTexture(textures / "HMissile.ZKT", 16,
                        [](float, float y) { return std::fabs(y) < 0.2f ? Argb(1, 0.8f, 0.1f, 0.1f) : Argb(1, 0.92f, 0.92f, 0.9f); }) &&
           model("Rocket.ZKM", DartModel("Rocket.ZKT", 0.6f, 4.0f)) &&
           WriteTexture(textures / "Rocket.ZKT", 16, [](float, float y) { return Argb(1, 0.4f, 0.45f + 0.1f * y, 0.2f); }) &&
           model("Grenade.ZKM", GrenadeModel()) &&
           WriteTexture(textures / "Grenade.ZKT", 16,
                        [](float x, float y) { return Argb(1, 0.2f, 0.3f + 0.1f * std::sin(x * 9.0f) * std::sin(y * 9.0f), 0.15f); }) &&
           // The launchers' icons: a missile and a rocket seen from the side, a grenade.
           WriteTexture(textures / "Hud_Missile.ZKT", 32,
                        [](float x, float y) {
                            if (std::fabs(y) < 0.12f && x > -0.8f && x < 0.7f) return Argb(1, 0.9f, 0.9f, 0.9f);
                            if (x > 0.45f && x < 0.7f && std::fabs(y) < 0.35f) return Argb(1, 0.8f, 0.1f, 0.1f);
                            return Clear;
                        }) &&
           WriteTexture(textures / "Hud_Rocket.ZKT", 32,
                        [](float x, float y) {
                            for (float row : {-0.45f, 0.0f, 0.45f})
                                if (std::fabs(y - row) < 0.1f && x > -0.7f && x < 0.6f) return Argb(1, 0.5f, 0.55f, 0.25f);
                            return Clear;
                        }) &&
           WriteTexture(textures / "Hud_Grenade.ZKT", 32,
                        [](float x, float y) {
                            if (x * x + (y - 0.15f) * (y - 0.15f) < 0.4f) return Argb(1, 0.25f, 0.35f, 0.15f);
                            if (std::fabs(x) < 0.15f && y < -0.45f && y > -0.8f) return Argb(1, 0.6f, 0.6f, 0.6f);
                            return Clear;
                        }) &&
           // Aiming marks: the crosshair, the crosshair on a lock, the lock frame, a lost lock.
           WriteTexture(textures / "Crosshair.ZKT", 32,
                        [](float x, float y) {
                            const bool cross = (std::fabs(x) < 0.06f || std::fabs(y) < 0.06f) && x * x + y * y > 0.1f;
                            return cross || Ring(x, y, 0.7f, 0.06f) ? Argb(0.9f, 0.3f, 1.0f, 0.3f) : Clear;
                        }) &&
           WriteTexture(textures / "CrossLock.ZKT", 32,
                        [](float x, float y) {
                            const bool cross = (std::fabs(x) < 0.06f || std::fabs(y) < 0.06f) && x * x + y * y > 0.1f;
                            return cross || Ring(x, y, 0.5f, 0.08f) ? Argb(1, 1.0f, 0.2f, 0.1f) : Clear;
                        }) &&
           WriteTexture(textures / "Lock.ZKT", 32, [](float x, float y) { return Brackets(x, y) ? Argb(1, 1.0f, 0.15f, 0.1f) : Clear; }) &&
           WriteTexture(textures / "OffLock.ZKT", 32, [](float x, float y) { return Brackets(x, y) ? Argb(0.7f, 0.6f, 0.6f, 0.6f) : Clear; });
}
