#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/LightFileWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/WorldWriter.h"
#include "tools/writers/ZktWriter.h"

// The texts of a game's set-up, its developer commands and its HUD. Mission 8 is the free
// drive: its block starts at (8 + 99900) x 100.
DEMO_TEXTS {
    texts[9990801] = "BONUS5";
    texts[9990803] = std::to_string(tools::Options().freeDriveTimeOfDay);
    texts[9990804] = "0.3"; // traffic density
    texts[9990805] = "0";   // pedestrians
    texts[1001] = "Cheat activated";
    texts[1002] = "Cheat deactivated";
    texts[16384] = "MISSION COMPLETE";
    texts[16385] = "MISSION FAILED";
}

namespace {

// The HUD's sprites are drawn as stored, the top row first.
bool WriteSprite(const std::filesystem::path& path, int w, int h, uint32_t (*paint)(int, int, int, int)) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) argb.push_back(paint(x, y, w, h));
    tools::ZktPicture picture = tools::ArgbPicture(w, h, argb);
    picture.flags = 0x08 | 0x10;
    return tools::WriteZkt(SharedString(path.string().c_str()), picture);
}

// The loading screen's pictures are asked for flipped.
bool WritePicture(const std::filesystem::path& path, int w, int h, uint32_t (*paint)(int, int, int, int)) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) argb.push_back(paint(x, y, w, h));
    return tools::WriteZkt(SharedString(path.string().c_str()), tools::FlippedPicture(w, h, argb));
}

uint32_t Frame(int x, int y, int w, int h) {
    const bool edge = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
    return edge ? 0xFFE0E0E0u : 0x80203040u;
}

// The digits 0 to 9, 3 x 5 dots, rows from the top, the left column in bit 2.
constexpr uint8_t kDigits[10][5] = {{7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
                                    {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 2, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};

// Whether pixel (x, y) is a dot of the number written `scale` pixels a dot and centred on
// (cx, cy).
bool OnNumber(int value, float cx, float cy, int scale, int x, int y) {
    const std::string text = std::to_string(value);
    const int w = int(text.size()) * 4 * scale - scale, h = 5 * scale;
    const int dx = x - int(std::lround(cx - float(w) / 2.0f)), dy = y - int(std::lround(cy - float(h) / 2.0f));
    if (dx < 0 || dy < 0 || dx >= w || dy >= h) return false;
    const int glyph = dx / (4 * scale), column = dx % (4 * scale) / scale;
    return column < 3 && ((kDigits[text[size_t(glyph)] - '0'][dy / scale] >> (2 - column)) & 1) != 0;
}

// A dial: a dark face in a light rim, a tick at every `minor` step of the reading and a longer
// one at every `major` step, numbered, each where the needle points for that reading; ticks
// from `red` on are red. `angle` gives the needle's angle for a reading, in degrees clockwise
// from straight up, as the HUD turns its needle.
struct DialFace {
    int top, minor, major;
    float (*angle)(float);
    int red;
    int scale;
};

uint32_t PaintDial(const DialFace& d, int x, int y, int size) {
    const float c = float(size) / 2.0f, dx = float(x) + 0.5f - c, dy = float(y) + 0.5f - c;
    const float r = std::sqrt(dx * dx + dy * dy), R = c;
    if (r > R) return 0;
    if (r > R * 0.91f) return 0xFFC8C8C8u;
    if (r < R * 0.08f) return 0xFF909090u;
    const float at = std::atan2(dx, -dy) * 57.29578f;
    for (int v = 0; v <= d.top; v += d.minor) {
        const bool major = v % d.major == 0;
        const float a = d.angle(float(v));
        // Distance from the tick's line, in pixels along the arc.
        float off = std::fabs(at - a);
        off = std::fmin(off, 360.0f - off) / 57.29578f * r;
        if (off < (major ? 1.1f : 0.6f) && r > R * (major ? 0.72f : 0.8f) && r < R * 0.88f)
            return v >= d.red ? 0xFFE03030u : 0xFFF0F0F0u;
        const float ra = a / 57.29578f, lr = R * 0.56f;
        if (major && OnNumber(v, c + std::sin(ra) * lr, c - std::cos(ra) * lr, d.scale, x, y)) return 0xFFF0F0F0u;
    }
    return 0xE0141820u;
}

// The speedometer reads kilometres an hour, its needle turning 0.85 degrees for each from -120.
float SpeedAngle(float kmh) { return std::fmin(kmh * 0.85f - 120.0f, 180.0f); }
uint32_t SpeedoMeter(int x, int y, int w, int) { return PaintDial({350, 10, 50, SpeedAngle, 1000, 2}, x, y, w); }
// The rev counter reads thousands a minute, its needle turning 24 degrees for each from -125.
float RevAngle(float revs) { return std::fmax(revs * 24.0f - 125.0f, -120.0f); }
uint32_t TachoMeter(int x, int y, int w, int) { return PaintDial({10, 1, 2, RevAngle, 8, 1}, x, y, w); }

// A needle pointing up from the sprite's centre (about which the HUD turns it) nearly to the
// dial's numbers, narrowing to its tip.
uint32_t Needle(int x, int y, int w, int h) {
    const int length = h * 3 / 8, from = h / 2 - length;
    if (y < from || y >= h / 2 + 4) return 0;
    const int half = y < from + 6 ? 0 : 1;
    return (x >= w / 2 - 1 - half && x <= w / 2 - 1 + half) ? 0xFFFF3020u : 0;
}
// The player's mark on the map: a yellow arrow pointing up, rimmed in black.
uint32_t Arrow(int x, int y, int w, int h) {
    const float half = float(y - 1) * float(w) * 0.4f / float(h - 2), dx = std::fabs(float(x) + 0.5f - float(w) / 2.0f);
    if (y < 1 || y >= h - 1 || dx > half + 0.5f) return 0;
    return (dx > half - 1.0f || y == h - 2) ? 0xFF000000u : 0xFFFFE040u;
}
uint32_t Spot(int x, int y, int w, int h) {
    const int dx = 2 * x - w, dy = 2 * y - h;
    return dx * dx + dy * dy <= w * w ? 0xFFFFFFFFu : 0;
}
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
        {"Hud1.ZKT", 64, 32, Frame},           {"Hud2.ZKT", 128, 128, Frame},          {"Hud3.ZKT", 64, 32, Frame},
        {"Hud5.ZKT", 64, 32, Frame},           {"Hud4.ZKT", 64, 32, Frame},            {"SpeedoArrow.ZKT", 8, 128, Needle},
        {"TachoArrow.ZKT", 8, 64, Needle},     {"SpeedoMeter.ZKT", 128, 128, SpeedoMeter}, {"TachoMeter.ZKT", 64, 64, TachoMeter},
        {"LeftH.ZKT", 16, 16, Frame},          {"RightH.ZKT", 16, 16, Frame},          {"Arrow.ZKT", 16, 16, Arrow},
        {"Circle.ZKT", 16, 16, Spot},          {"Cross.ZKT", 16, 16, Spot},            {"Drop.ZKT", 16, 16, Spot},
        {"Phone.ZKT", 16, 16, Spot},           {"Cop.ZKT", 8, 8, Spot},                {"Mob.ZKT", 8, 8, Spot},
        {"Energy.ZKT", 16, 16, Spot},          {"Enemy.ZKT", 8, 8, Spot},              {"Map_Gold.ZKT", 16, 16, Spot},
    };
    for (const Sprite& s : kSprites)
        if (!WriteSprite(menu / s.name, s.w, s.h, s.paint)) return false;
    // The map: the demo city's streets, pavements, parks and roofs from above, over the whole
    // of the world's box as the HUD scales it.
    constexpr int kMapSize = 256;
    tools::ZktPicture map = tools::ArgbPicture(kMapSize, kMapSize, tools::CityMapPicture(tools::GenerateCity(tools::CityOptions{}), kMapSize));
    map.flags = 0x08 | 0x10;
    if (!tools::WriteZkt(SharedString((menu / "Map.ZKT").string().c_str()), map)) return false;
    if (!WritePicture(menu / "Loading.zkt", 256, 192, Loading) || !WritePicture(menu / "LoadingBar.ZKT", 512, 16, Bar)) return false;

    // The guide arrow: a long wedge whose point is its -z end (the way the cars point), with a
    // texture of its own (a plain "Arrow.ZKT" would be the HUD's sprite in Menu, which the
    // texture reader takes for an obsolete texture).
    const std::filesystem::path textures = root / "Textures";
    std::filesystem::create_directories(textures);
    constexpr int kArrowTexture = 16;
    std::vector<uint32_t> amber(size_t(kArrowTexture * kArrowTexture));
    for (int y = 0; y < kArrowTexture; ++y)
        for (int x = 0; x < kArrowTexture; ++x) amber[size_t(y * kArrowTexture + x)] = y < 2 || y >= kArrowTexture - 2 ? 0xFFC07000u : 0xFFFFB020u;
    if (!tools::WriteZkt(SharedString((textures / "GuideArrow.ZKT").string().c_str()),
                         tools::ArgbTexture(kArrowTexture, kArrowTexture, amber)))
        return false;
    tools::ZkmModel arrow = tools::CrateModel("GuideArrow.ZKT", 4.0f);
    for (tools::ZkmVertex& v : arrow.vertices) {
        const float width = v.position.z < 0.0f ? 0.05f : 0.5f;
        v.position = Vector3(v.position.x * width, v.position.y * 0.5f, v.position.z * 3.0f);
    }
    tools::ModulateByLight(arrow);
    return tools::WriteZkm(SharedString((models / "Arrow.ZKM").string().c_str()), arrow);
}
