#include <array>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/ZktWriter.h"

namespace {

namespace fs = std::filesystem;

// The cars of the demo tree by folder name with the name the menus show; the car catalogue
// lists them sorted by file name.
struct ShownCar {
    const char* folder;
    const char* shown;
    uint32_t colour;
};
constexpr std::array<ShownCar, 4> kCars = {{{"AmbulanceVan", "Ambulance", 0xFFF4F4F4u},
                                            {"CabMetro", "Metro Cab", 0xFFF0C020u},
                                            {"PoliceCruiser", "Police Cruiser", 0xFF2040C0u},
                                            {"RacerZZ", "Racer ZZ", 0xFFD02020u}}};

constexpr int32_t kMissions = 4;
constexpr int32_t MissionBlock(int32_t m) { return 9990000 + 100 * m; }
constexpr const char* kMissionNames[kMissions] = {"Morning shift", "Rush hour", "Night owls", "Last fare"};
// Mission 0 unlocks this picture.
constexpr const char* kEndingPicture = "Ending0.ZKT";

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

template <class Paint>
bool WriteTexture(const fs::path& path, int size, Paint paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) argb.push_back(paint(x, y, size));
    tools::ZktTexture texture = tools::ArgbTexture(size, size, argb);
    texture.mayCompress = 0;
    return tools::WriteZkt(path.string().c_str(), texture);
}

// The boxes appended since `first` become the model's one drawn node.
void WholeNode(tools::ZkmModel& m, const char* name) {
    tools::ZkmPart part;
    part.ranges = {{0, uint32_t(m.indices.size()), 0, uint32_t(m.vertices.size())}};
    tools::ZkmNode node;
    node.name = name;
    node.parts = {part};
    m.nodes = {node};
}

// The carousel's turntable: a flat ring of plates at the radius the cars stand on, a little
// below their wheels, with a low rim on the outside.
tools::ZkmModel Turntable() {
    tools::ZkmModel m;
    tools::AddTexturedMaterial(m, "Turntable.ZKT");
    constexpr int kPlates = 48;
    constexpr float kRadius = 100.0f, kWidth = 18.0f;
    for (int i = 0; i < kPlates; ++i) {
        // Plates are axis-aligned boxes; short enough round the ring that their corners meet.
        const float a = 6.2831853f * float(i) / float(kPlates);
        const float x = std::sin(a), z = -std::cos(a);
        const float half = kRadius * 3.1415926f / float(kPlates);
        tools::AddBox(m, {x * kRadius, -0.5f, z * kRadius}, {half, 0.5f, half});
        tools::AddBox(m, {x * (kRadius + kWidth * 0.5f), 0.3f, z * (kRadius + kWidth * 0.5f)}, {1.0f, 0.8f, 1.0f});
    }
    WholeNode(m, "Turntable");
    return m;
}

// A question mark about as tall as a car, made of blocks: the hook, the stem and the dot.
tools::ZkmModel QuestionMark() {
    tools::ZkmModel m;
    tools::AddTexturedMaterial(m, "Questionmark.ZKT");
    const Vector3 block{1.0f, 1.0f, 1.0f};
    // Centres on a 2-unit grid, from the top of the hook down to the dot.
    static const float kCells[][2] = {{-2, 12}, {0, 14}, {2, 14}, {4, 12}, {4, 10}, {2, 8}, {0, 6}, {0, 4}, {0, 0}};
    for (const auto& c : kCells) tools::AddBox(m, {c[0], c[1], 0.0f}, block);
    WholeNode(m, "Questionmark");
    return m;
}

} // namespace

DEMO_TEXTS {
    // The single-player page's captions.
    texts[60] = "Driving";
    texts[61] = "Car";
    texts[62] = "Mission";
    for (size_t i = 0; i < kCars.size(); ++i) texts[7770000 + int32_t(i)] = kCars[i].shown;
    // The career: four missions; the first offers the cab only, the others the racer too.
    texts[9980000] = std::to_string(kMissions);
    for (int32_t m = 0; m < kMissions; ++m) {
        const int32_t b = MissionBlock(m);
        texts[b + 10] = m == 0 ? "1" : "2";
        texts[b + 11] = "CabMetro";
        if (m != 0) texts[b + 12] = "RacerZZ";
        texts[b + 20] = kMissionNames[m];
        texts[b + 30] = "1";
        texts[b + 40] = m == 0 ? "UNLOCK" : "";
    }
    texts[MissionBlock(0) + 41] = kEndingPicture;
}

// The single-player pictures: the score screen's and the end screen's backgrounds, the picture
// the first mission unlocks, a driver's portrait per car; the carousel's turntable and question
// mark.
DEMO_STEP("single player") {
    const fs::path menu = root / "Menu", models = root / "Models", textures = root / "Textures";
    for (const fs::path& dir : {menu, models, textures}) fs::create_directories(dir);
    const bool pictures =
        tools::WriteMenuPicture(menu / "SPScore.ZKT", 256, 192,
                     [](int x, int y, int, int h) {
                         const uint32_t fall = uint32_t(h - y) * 160u / uint32_t(h);
                         const uint32_t stripe = (x / 16 + y / 16) % 2 ? 16u : 0u;
                         return Argb(255, fall / 4 + stripe, fall / 2 + stripe, fall + stripe);
                     }) &&
        // The end: a night skyline against a dark red sky.
        tools::WriteMenuPicture(menu / "End.ZKT", 256, 192,
                     [](int x, int y, int, int h) {
                         const int roof = 120 + ((x * 7) % 53 < 30 ? (x * 13) % 40 : 0) - 20;
                         if (y > roof) return ((x / 6 + y / 9) % 5 == 0) ? Argb(255, 230, 200, 90) : Argb(255, 12, 12, 20);
                         return Argb(255, uint32_t(40 + 100 * y / h), 16, uint32_t(30 + 20 * y / h));
                     }) &&
        // The first mission's reward: a golden badge on blue.
        tools::WriteMenuPicture(menu / kEndingPicture, 256, 192, [](int x, int y, int w, int h) {
            const int dx = 2 * x - w, dy = 2 * y - h, r2 = dx * dx + dy * dy;
            if (r2 < h * h / 4) return r2 > h * h / 6 ? Argb(255, 250, 210, 60) : Argb(255, 200, 150, 30);
            return Argb(255, 20, 40, uint32_t(80 + 100 * y / h));
        });
    if (!pictures) return false;
    for (const ShownCar& car : kCars) {
        const fs::path folder = root / "Vehicles" / car.folder;
        fs::create_directories(folder);
        const uint32_t colour = car.colour;
        // A head and shoulders in the car's colour.
        const bool written = tools::WriteMenuPicture(folder / "Driver.zkt", 64, 64, [colour](int x, int y, int, int) {
            const int hx = x - 32, hy = y - 22, sx = x - 32, sy = y - 64;
            if (hx * hx + hy * hy < 12 * 12) return Argb(255, 230, 190, 150);
            if (sx * sx / 2 + sy * sy < 26 * 26) return colour;
            return Argb(160, 20, 20, 30);
        });
        if (!written) return false;
    }
    return WriteTexture(textures / "Turntable.ZKT", 32,
                        [](int x, int y, int) { return ((x / 8 + y / 8) % 2) ? Argb(255, 90, 90, 100) : Argb(255, 60, 60, 70); }) &&
           WriteTexture(textures / "Questionmark.ZKT", 16, [](int, int, int) { return Argb(255, 240, 200, 40); }) &&
           tools::WriteZkm((models / "CarSelect.ZKM").string().c_str(), Turntable()) &&
           tools::WriteZkm((models / "Questionmark.ZKM").string().c_str(), QuestionMark());
}
