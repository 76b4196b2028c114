#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/LightFileWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/ZktWriter.h"

// The texts of a game's set-up, its developer commands and its HUD. Mission 8 is the free
// drive: its block starts at (8 + 99900) x 100.
DEMO_TEXTS {
    texts[9990801] = "BONUS5";
    texts[9990803] = std::to_string(tools::Options().freeDriveTimeOfDay);
    texts[9990804] = "0";   // traffic density
    texts[9990805] = "0";   // pedestrians
    texts[1001] = "Cheat activated";
    texts[1002] = "Cheat deactivated";
    texts[16384] = "MISSION COMPLETE";
    texts[16385] = "MISSION FAILED";
}

namespace {

// Interface art is requested with the flip option: stored bottom row first.
bool WritePicture(const std::filesystem::path& path, int w, int h, uint32_t (*paint)(int, int, int, int)) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(w) * size_t(h));
    for (int y = h - 1; y >= 0; --y)
        for (int x = 0; x < w; ++x) argb.push_back(paint(x, y, w, h));
    tools::ZktPicture picture = tools::ArgbPicture(w, h, argb);
    picture.flags = 0x08 | 0x10;
    return tools::WriteZkt(SharedString(path.string().c_str()), picture);
}

uint32_t Frame(int x, int y, int w, int h) {
    const bool edge = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
    return edge ? 0xFFE0E0E0u : 0x80203040u;
}
uint32_t Dial(int x, int y, int w, int h) {
    const int dx = 2 * x - w, dy = 2 * y - h, r2 = dx * dx + dy * dy, outer = w * w;
    if (r2 > outer) return 0;
    return r2 > outer * 8 / 10 ? 0xFFD0D0D0u : 0xC0101010u;
}
uint32_t Needle(int x, int y, int w, int) { return (x >= w / 2 - 1 && x <= w / 2 && y < 28) ? 0xFFFF3020u : 0; }
uint32_t Spot(int x, int y, int w, int h) {
    const int dx = 2 * x - w, dy = 2 * y - h;
    return dx * dx + dy * dy <= w * w ? 0xFFFFFFFFu : 0;
}
uint32_t Map(int x, int y, int, int) { return ((x / 16 + y / 16) & 1) ? 0xFF406040u : 0xFF305030u; }
uint32_t Loading(int x, int y, int w, int h) {
    return 0xFF000000u | uint32_t(40 + 80 * y / h) << 8 | uint32_t(60 + 120 * x / w);
}
uint32_t Bar(int, int y, int, int h) { return 0xFF000000u | uint32_t(200 - 100 * y / h) << 16 | 0xC000u; }

} // namespace

DEMO_STEP("play") {
    const std::filesystem::path misc = root / "Misc", menu = root / "Menu", models = root / "Models";
    std::filesystem::create_directories(misc);
    std::filesystem::create_directories(models);
    for (int t = 0; t < 4; ++t) {
        const std::string path = (misc / (std::to_string(t) + ".LIT")).string();
        if (!tools::WriteDefaultLightFile(SharedString(path.c_str()), t)) return false;
    }
    struct Sprite {
        const char* name;
        int w, h;
        uint32_t (*paint)(int, int, int, int);
    };
    static const Sprite kSprites[] = {
        {"Hud1.ZKT", 64, 32, Frame},          {"Hud2.ZKT", 128, 128, Frame},      {"Hud3.ZKT", 64, 32, Frame},
        {"Hud5.ZKT", 64, 32, Frame},          {"Hud4.ZKT", 64, 32, Frame},        {"SpeedoArrow.ZKT", 8, 64, Needle},
        {"TachoArrow.ZKT", 8, 64, Needle},    {"SpeedoMeter.ZKT", 128, 128, Dial}, {"TachoMeter.ZKT", 64, 64, Dial},
        {"LeftH.ZKT", 16, 16, Frame},         {"RightH.ZKT", 16, 16, Frame},      {"Map.ZKT", 256, 256, Map},
        {"Arrow.ZKT", 16, 16, Needle},        {"Circle.ZKT", 16, 16, Spot},       {"Cross.ZKT", 16, 16, Spot},
        {"Drop.ZKT", 16, 16, Spot},           {"Phone.ZKT", 16, 16, Spot},        {"Cop.ZKT", 8, 8, Spot},
        {"Mob.ZKT", 8, 8, Spot},              {"Energy.ZKT", 16, 16, Spot},       {"Enemy.ZKT", 8, 8, Spot},
        {"Map_Gold.ZKT", 16, 16, Spot},       {"Loading.zkt", 256, 192, Loading}, {"LoadingBar.ZKT", 512, 16, Bar},
    };
    for (const Sprite& s : kSprites)
        if (!WritePicture(menu / s.name, s.w, s.h, s.paint)) return false;

    // The guide arrow: a long wedge whose point is its -z end (the way the cars point).
    tools::ZkmModel arrow = tools::CrateModel("Arrow.ZKT", 4.0f);
    for (tools::ZkmVertex& v : arrow.vertices) {
        const float width = v.position.z < 0.0f ? 0.05f : 0.5f;
        v.position = Vector3(v.position.x * width, v.position.y * 0.5f, v.position.z * 3.0f);
    }
    tools::ModulateByLight(arrow);
    return tools::WriteZkm(SharedString((models / "Arrow.ZKM").string().c_str()), arrow);
}
