#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/WorldWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

std::vector<uint32_t> Pattern(int size, uint32_t a, uint32_t b, int cell) {
    std::vector<uint32_t> argb(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) argb[size_t(y * size + x)] = ((x / cell + y / cell) % 2) ? a : b;
    return argb;
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

    const uint32_t colours[10][2] = {{0xFF404048, 0xFF48484F}, {0xFFE0E0E0, 0xFF303038}, {0xFF9A9A90, 0xFF8A8A82},
                                     {0xFF3C8C3C, 0xFF2E7A2E}, {0xFFB07050, 0xFF905840}, {0xFF7080A0, 0xFF5A6A88},
                                     {0xFF505050, 0xFF606060}, {0xFFA0A098, 0xFF909088}, {0x80C0E0FF, 0x60A0C8F0},
                                     {0xFF606060, 0x00000000}};
    for (size_t t = 0; t < city.textures.size(); ++t) {
        tools::ZktTexture texture = tools::ArgbTexture(32, 32, Pattern(32, colours[t][0], colours[t][1], 8));
        texture.mayCompress = 0;
        if (!tools::WriteZkt((root / "Textures" / city.textures[t]).string().c_str(), texture)) return false;
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
