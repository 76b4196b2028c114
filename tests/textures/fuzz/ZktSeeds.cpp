// Writes the .ZKT fuzz seeds with the project's .ZKT writer: both versions, every format code,
// several levels, sizes that do not fit the device, an unknown block and a picture to tile.
#include <cstdint>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/ZktWriter.h"

namespace {

std::vector<uint32_t> Ramp(int n) {
    std::vector<uint32_t> v;
    for (int i = 0; i < n; ++i) v.push_back(0x80000000u | uint32_t(i * 0x030507));
    return v;
}

tools::ZktLevel Level(int w, int h, size_t bytes) {
    tools::ZktLevel l{w, h, std::vector<uint8_t>(bytes)};
    for (size_t i = 0; i < bytes; ++i) l.pixels[i] = uint8_t(i * 37);
    return l;
}

} // namespace

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    seeds.Write("argb", tools::ZktBytes(tools::ArgbTexture(5, 3, Ramp(15))));
    seeds.Write("picture", tools::ZktBytes(tools::ArgbPicture(7, 5, Ramp(35))));

    // Version 2, one texture per format code, with a chain of levels.
    const struct {
        const char* name;
        uint8_t code;
        size_t (*bytes)(int w, int h);
    } formats[] = {
        {"a8r8g8b8", 0, [](int w, int h) { return size_t(w * h * 4); }},
        {"r8g8b8", 5, [](int w, int h) { return size_t(w * h * 3); }},
        {"dxt1", 8, [](int w, int h) { return size_t((w + 3) / 4 * ((h + 3) / 4) * 8); }},
        {"dxt3", 9, [](int w, int h) { return size_t((w + 3) / 4 * ((h + 3) / 4) * 16); }},
        {"dxt5", 10, [](int w, int h) { return size_t((w + 3) / 4 * ((h + 3) / 4) * 16); }},
    };
    for (const auto& f : formats) {
        tools::ZktTexture t;
        t.width = 16;
        t.height = 8;
        t.mayCompress = f.code == 0;
        tools::ZktBlock b{f.code, {}};
        for (int w = 16, h = 8; w >= 1; w /= 2, h = h > 1 ? h / 2 : 1) b.levels.push_back(Level(w, h, f.bytes(w, h)));
        t.blocks.push_back(b);
        seeds.Write(std::string("v2-") + f.name, tools::ZktBytes(t));
    }
    // An unknown code, then two blocks: the last one wins. A level bigger than the device.
    tools::ZktTexture blocks;
    blocks.width = 96;
    blocks.height = 6;
    blocks.blocks.push_back({3, {}});
    blocks.blocks.push_back({8, {Level(6, 6, 32)}});
    blocks.blocks.push_back({0, {Level(96, 6, 96 * 6 * 4)}});
    seeds.Write("v2-blocks", tools::ZktBytes(blocks));

    // Version 1: three stored levels used, 24 bits; and a picture wider than the device.
    tools::ZktPicture levels;
    levels.width = 8;
    levels.height = 4;
    levels.bitsPerPixel = 24;
    levels.flags = 0x01 | 0x10;
    levels.levelCount = 3;
    levels.pixels.assign((32 + 8 + 2) * 3, 0x5A);
    seeds.Write("v1-levels", tools::ZktBytes(levels));
    seeds.Write("v1-wide", tools::ZktBytes(tools::ArgbPicture(150, 3, Ramp(450))));
    return 0;
}
