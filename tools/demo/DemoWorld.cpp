#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/WorldWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

// 0xAARRGGBB of an opaque colour.
uint32_t Rgb(int r, int g, int b) {
    auto c = [](int v) { return uint32_t(std::clamp(v, 0, 255)); };
    return 0xFF000000u | c(r) << 16 | c(g) << 8 | c(b);
}

// A steady pseudo-random value in [-1, 1] for a pixel (the same every run).
float Noise(int x, int y, uint32_t seed) {
    uint32_t h = uint32_t(x) * 374761393u + uint32_t(y) * 668265263u + seed * 2246822519u;
    h = (h ^ (h >> 13)) * 1274126177u;
    return float((h ^ (h >> 16)) & 0xFFFF) / 32767.5f - 1.0f;
}

// A colour varied by the pixel's noise, `amount` levels either way.
uint32_t Grain(int r, int g, int b, int amount, int x, int y, uint32_t seed) {
    const int d = int(Noise(x, y, seed) * float(amount));
    return Rgb(r + d, g + d, b + d);
}

using Paint = std::function<uint32_t(int x, int y)>;

std::vector<uint32_t> Picture(int w, int h, const Paint& paint) {
    std::vector<uint32_t> argb(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) argb[size_t(y * w + x)] = paint(x, y);
    return argb;
}

// Asphalt, with the road's markings along the picture's width (the road's length: one picture
// every 160 units, the road's width once down its height): a dashed centre line and a solid
// line along each edge.
uint32_t Road(int x, int y) {
    const bool centre = y >= 62 && y < 66 && x < 64, edge = (y >= 6 && y < 9) || (y >= 119 && y < 122);
    if (centre || edge) return Grain(215, 212, 200, 10, x, y, 2);
    return Grain(62, 62, 66, 9, x, y, 1);
}

// A crossing: asphalt with zebra stripes along its four edges (the streets' crossings) and the
// plain square where they meet.
uint32_t Crossing(int x, int y) {
    const int n = 128, band = 22, margin = 18;
    auto stripes = [&](int along, int across) { return across < band && along >= margin && along < n - margin && (along / 8) % 2 == 0; };
    if (stripes(x, y) || stripes(x, n - 1 - y) || stripes(y, x) || stripes(y, n - 1 - x)) return Grain(215, 212, 200, 10, x, y, 2);
    return Grain(62, 62, 66, 9, x, y, 1);
}

// Square paving slabs, two each way, with darker joints.
uint32_t Pavement(int x, int y) {
    if (x % 32 == 0 || y % 32 == 0) return Grain(110, 108, 104, 6, x, y, 3);
    const int slab = int(Noise(x / 32, y / 32, 4) * 8.0f);
    return Grain(160 + slab, 158 + slab, 152 + slab, 7, x, y, 5);
}

// Kerb stones: long light blocks with a joint between them.
uint32_t Kerb(int x, int y) {
    if (x % 32 == 0 || y == 0) return Grain(120, 118, 114, 5, x, y, 6);
    return Grain(192, 190, 184, 6, x, y, 7);
}

// Lawn: green with darker and lighter blades.
uint32_t Grass(int x, int y) {
    const float n = Noise(x, y, 8) * 0.6f + Noise(x / 4, y / 4, 9) * 0.4f;
    return Rgb(58 + int(n * 14), 118 + int(n * 26), 46 + int(n * 10));
}

// A window pane: dark glass, lighter towards its top left, in a light frame.
uint32_t Window(int x, int y, int w, int h, int glassR, int glassG, int glassB) {
    if (x < 2 || y < 2 || x >= w - 2 || y >= h - 2) return Rgb(215, 212, 205);
    const int shine = std::max(0, 40 - (x + y) * 40 / (w + h) * 2);
    return Rgb(glassR + shine, glassG + shine, glassB + shine);
}

// The facades: two window bays of two storeys, the top storey first (a storey is 30 units and
// a bay 40, so one picture covers 80 x 60).
// Brick, with a stone sill under each window.
uint32_t Brick(int x, int y) {
    const int bx = x % 64, sy = y % 64;
    if (bx >= 16 && bx < 48 && sy >= 12 && sy < 44) return Window(bx - 16, sy - 12, 32, 32, 38, 52, 76);
    if (bx >= 14 && bx < 50 && sy >= 44 && sy < 48) return Grain(196, 190, 176, 6, x, y, 10);
    const int row = y / 6, shift = (row % 2) * 8;
    if (y % 6 == 5 || (x + shift) % 16 == 0) return Grain(178, 170, 158, 6, x, y, 11);
    const int tone = int(Noise((x + shift) / 16, row, 12) * 14.0f);
    return Grain(150 + tone, 74 + tone / 2, 56 + tone / 3, 8, x, y, 13);
}

// Pale stone, a floor band at each storey and wide windows parted by a mullion.
uint32_t Stone(int x, int y) {
    const int bx = x % 64, sy = y % 64;
    if (sy >= 56) return Grain(170, 162, 140, 5, x, y, 14);
    if (bx >= 8 && bx < 56 && sy >= 14 && sy < 46) {
        if (bx >= 31 && bx < 33) return Rgb(215, 212, 205);
        return Window(bx < 32 ? bx - 8 : bx - 33, sy - 14, 23, 32, 44, 58, 72);
    }
    return Grain(206, 196, 170, 7, x, y, 15);
}

// Glass and steel: tall panes between steel mullions, a dark floor band at each storey.
uint32_t Tower(int x, int y) {
    const int sy = y % 64;
    if (sy < 8) return Grain(78, 84, 92, 4, x, y, 16);
    if (x % 16 < 2) return Rgb(170, 176, 182);
    const int shine = (sy - 8) * 30 / 56;
    return Grain(52 + shine, 86 + shine, 108 + shine, 4, x, y, 17);
}

// Flat roofs: gravel.
uint32_t Roof(int x, int y) { return Grain(98, 95, 90, 14, x, y, 18); }

// Concrete panels with their joints.
uint32_t Wall(int x, int y) {
    if (x % 64 == 0 || y % 64 == 0) return Grain(112, 110, 104, 5, x, y, 19);
    return Grain(160, 158, 150, 8, x, y, 20);
}

// Bark: brown with dark streaks up the trunk.
uint32_t Bark(int x, int y) {
    const int streak = int(Noise(x, 0, 21) * 20.0f);
    return Grain(96 + streak, 66 + streak / 2, 42, 6, x, y, 22);
}

// Leaves: dark green with lighter speckles.
uint32_t Leaves(int x, int y) {
    const float n = Noise(x, y, 23);
    return n > 0.7f ? Rgb(88, 150, 62) : Grain(38, 92, 40, 12, x, y, 24);
}

// A short noise burst shaped like a scrape, for a surface's hit sound.
std::vector<int16_t> Scrape(uint32_t seed, int milliseconds) {
    std::vector<int16_t> out(size_t(22050 * milliseconds / 1000));
    uint32_t s = seed;
    for (size_t i = 0; i < out.size(); ++i) {
        s = s * 1664525u + 1013904223u;
        const double fade = 1.0 - double(i) / double(out.size());
        out[i] = int16_t(double(int16_t(s >> 16)) * 0.3 * fade);
    }
    return out;
}

} // namespace

// The demo city: 4 x 4 blocks of 800 units between roads 160 wide, with its textures, surface
// sounds, sky flare points and scripted camera shots.
DEMO_STEP("world") {
    std::error_code ec;
    for (const char* dir : {"Maps", "Textures", "Misc", "Audio"}) std::filesystem::create_directories(root / dir, ec);
    if (ec) return false;
    tools::CityOptions options;
    const tools::WorldFile city = tools::GenerateCity(options);
    if (!tools::WriteWorld((root / "Maps" / "World.VQW").string(), city)) return false;

    struct Art {
        const char* name;
        int w, h;
        Paint paint;
    };
    const Art art[] = {
        {"Road.ZKT", 128, 128, Road},
        {"Crossing.ZKT", 128, 128, Crossing},
        {"Pavement.ZKT", 64, 64, Pavement},
        {"Grass.ZKT", 64, 64, Grass},
        {"FacadeA.ZKT", 128, 128, Brick},
        {"FacadeB.ZKT", 128, 128, Stone},
        {"Roof.ZKT", 64, 64, Roof},
        {"Wall.ZKT", 128, 64, Wall},
        // Tinted glass, see-through.
        {"Glass.ZKT", 32, 32, [](int x, int y) { return (x % 16 == 0 || y % 16 == 0) ? 0xE0B0B8C0u : 0x80C0E0FFu; }},
        // Railings: bars with the gaps between them cut out.
        {"Fence.ZKT", 32, 32, [](int x, int y) { return (x % 8 < 2 || y < 3) ? 0xFF505458u : 0x00000000u; }},
        {"FacadeC.ZKT", 128, 128, Tower},
        {"Kerb.ZKT", 64, 64, Kerb},
        {"Bark.ZKT", 32, 32, Bark},
        {"Leaves.ZKT", 64, 64, Leaves},
    };
    for (const std::string& name : city.textures) {
        const Art* found = nullptr;
        for (const Art& a : art)
            if (name == a.name) found = &a;
        if (!found) return false;
        tools::ZktTexture texture = tools::ArgbTexture(found->w, found->h, Picture(found->w, found->h, found->paint));
        texture.mayCompress = 0;
        if (!tools::WriteZkt((root / "Textures" / name).string().c_str(), texture)) return false;
    }
    // The ground shadow is added signed over the city: mid grey leaves it as it is.
    tools::ZktTexture shadow = tools::ArgbTexture(16, 16, std::vector<uint32_t>(256, 0xFF808080));
    shadow.mayCompress = 0;
    if (!tools::WriteZkt((root / "Textures" / "Shadow.ZKT").string().c_str(), shadow)) return false;

    const char* surfaces[4] = {"Road", "Pavement", "Grass", "Concrete"};
    for (uint32_t s = 0; s < 4; ++s)
        if (!tools::WriteWav((root / "Audio" / (std::string(surfaces[s]) + ".WAV")).string(), 1, 22050, Scrape(s + 1, 150)))
            return false;

    // Flare points of the morning, afternoon and evening skies; the night has none.
    const Vector3 suns[3] = {{-20000, 9000, 12000}, {4000, 25000, 6000}, {21000, 5000, -9000}};
    for (int i = 0; i < 3; ++i)
        if (!tools::WriteCss((root / "Misc" / (std::to_string(i) + ".CSS")).string(), suns[i])) return false;

    std::vector<CameraRecord> shots(4);
    const float heights[4] = {300, 180, 240, 420};
    for (int i = 0; i < 4; ++i) {
        shots[size_t(i)].index = 3 - i;
        shots[size_t(i)].time = float(3 - i) * 2.5f;
        shots[size_t(i)].position = Vector3(-1500.0f + float(i) * 700.0f, heights[i], -1500.0f);
        shots[size_t(i)].orientation = Quaternion(Vector3(0, 1, 0), 0.6f * float(i));
    }
    shots[0].sample = SharedString("Fountain.WAV");
    return tools::WriteCameraData((root / "Misc" / "CameraData.cut").string(), shots);
}
