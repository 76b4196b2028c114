#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/WorldModels.h"
#include "tools/writers/ZktWriter.h"

namespace {

constexpr uint32_t kRate = 22050;

uint32_t Next(uint32_t& s) {
    s = s * 1664525u + 1013904223u;
    return s >> 16;
}

// Running water: noise through a gentle low-pass, even in level so it loops without a seam.
std::vector<int16_t> Water(double seconds) {
    std::vector<int16_t> out(size_t(kRate * seconds));
    uint32_t s = 7;
    double low = 0.0;
    for (size_t i = 0; i < out.size(); ++i) {
        low += (double(int16_t(Next(s))) - low) * 0.18;
        out[i] = int16_t(low * 0.35);
    }
    return out;
}

// A few chirps: quick rising sweeps with pauses between them.
std::vector<int16_t> Chirps(double base, int count, uint32_t seed) {
    std::vector<int16_t> out(size_t(kRate * 0.9), 0);
    uint32_t s = seed;
    size_t at = 0;
    for (int c = 0; c < count && at < out.size(); ++c) {
        const size_t length = size_t(kRate * (0.06 + 0.02 * (Next(s) % 3)));
        double phase = 0.0;
        for (size_t i = 0; i < length && at + i < out.size(); ++i) {
            const double t = double(i) / double(length);
            phase += 2.0 * 3.14159265 * (base * (1.0 + 0.6 * t)) / kRate;
            out[at + i] = int16_t(9000.0 * std::sin(phase) * std::sin(3.14159265 * t));
        }
        at += length + size_t(kRate * (0.05 + 0.01 * (Next(s) % 8)));
    }
    return out;
}

bool Model(const std::filesystem::path& path, const tools::ZkmModel& model) { return tools::WriteZkm(path.string().c_str(), model); }
bool Texture(const std::filesystem::path& path, const tools::ZktTexture& t) { return tools::WriteZkt(path.string().c_str(), t); }

tools::ZktTexture Solid(uint32_t argb) {
    tools::ZktTexture t = tools::ArgbTexture(8, 8, std::vector<uint32_t>(64, argb));
    t.mayCompress = 0;
    return t;
}

} // namespace

// The city's ambience: the sky dome with its four times of day, the cart that circles the
// park, the drop-point marker, the lamps' pools of light and the ambient sounds.
DEMO_STEP("ambience") {
    std::error_code ec;
    for (const char* dir : {"Models", "Textures", "Audio/Ambient"}) std::filesystem::create_directories(root / dir, ec);
    if (ec) return false;
    if (!Model(root / "Models" / "Sky.ZKM", tools::SkyDomeModel("Sky.ZKT", 100.0f, 24, 8))) return false;
    // Top of the dome, then its horizon (the time of day's fog colour).
    const struct {
        const char* folder;
        uint32_t top, horizon;
    } skies[4] = {{"Morning", 0xFFE8C8D0, 0xFFBC9494},
                  {"Afternoon", 0xFF4A7EC8, 0xFF91B7DB},
                  {"Evening", 0xFF1E2A3A, 0xFF3E5353},
                  {"Night", 0xFF02030A, 0xFF000000}};
    for (const auto& sky : skies) {
        std::filesystem::create_directories(root / "Textures" / sky.folder, ec);
        if (ec || !Texture(root / "Textures" / sky.folder / "Sky.ZKT", tools::GradientTexture(sky.top, sky.horizon)))
            return false;
    }
    tools::ZkmModel cart = tools::CartModel("Cart.ZKT");
    tools::ModulateByLight(cart);
    if (!Model(root / "Models" / "A.ZKM", cart)) return false;
    if (!Texture(root / "Textures" / "Cart.ZKT", Solid(0xFF8A5A30))) return false;
    if (!Model(root / "Models" / "Droppoint.ZKM", tools::DropPointModel("Droppoint.ZKT"))) return false;
    if (!Texture(root / "Textures" / "Droppoint.ZKT", Solid(0xFFF0E020))) return false;
    const struct {
        const char* name;
        uint32_t rgb;
    } pools[3] = {{"Lightmap.ZKT", 0xFFE6AA}, {"Lightmap_R.ZKT", 0xFF3C3C}, {"Lightmap_G.ZKT", 0x50FF50}};
    for (const auto& pool : pools)
        if (!Texture(root / "Textures" / pool.name, tools::LightPoolTexture(pool.rgb))) return false;
    const std::filesystem::path ambient = root / "Audio" / "Ambient";
    if (!tools::WriteWav((ambient / "Fountain.WAV").string(), 1, kRate, Water(2.0))) return false;
    for (int i = 1; i <= 3; ++i)
        if (!tools::WriteWav((ambient / ("Birds" + std::to_string(i) + ".WAV")).string(), 1, kRate,
                             Chirps(2600.0 + 500.0 * i, 2 + i, uint32_t(i))))
            return false;
    return true;
}
