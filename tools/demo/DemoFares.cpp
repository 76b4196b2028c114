// The cab missions in the demo tree: the four missions of the career (a fare mission, a drop
// run, a speed bomb and a second fare mission) with their parameters, the speed bomb's ticker
// lines, the fare tariff, the currency symbol over a fare's head, the mission HUD's icons and
// the fares' own calls (waving, pleased and cross).
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

namespace fs = std::filesystem;

constexpr int32_t MissionBlock(int32_t m) { return 9990000 + 100 * m; }

struct Mission {
    const char* keyword;
    const char* timeOfDay;
    const char* traffic;
    const char* pedestrians;
    const char* six;   // level time (the speed bomb: unused, its time comes from the distance)
    const char* seven; // money target, drops, or the bomb's drop point
};
constexpr Mission kMissions[4] = {
    {"CAB", "0", "0", "0.5", "300", "100"},
    {"BONUS2", "1", "0", "0.5", "60", "3"},
    {"BONUS1", "2", "0", "0.3", "0", "Tower"},
    {"BONUS3", "3", "0", "0.5", "240", "150"},
};

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// A HUD icon w x h drawn as stored, top row first.
template <class Paint>
bool WriteIcon(const fs::path& path, int size, Paint paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) argb.push_back(paint(x, y, size));
    tools::ZktPicture picture = tools::ArgbPicture(size, size, argb);
    picture.flags = 0x08 | 0x10;
    return tools::WriteZkt(SharedString(path.string().c_str()), picture);
}

// A clock face: white disc, dark rim, two hands.
uint32_t ClockIcon(int x, int y, int n) {
    const float c = float(n) / 2.0f, dx = float(x) + 0.5f - c, dy = float(y) + 0.5f - c, r = std::sqrt(dx * dx + dy * dy);
    if (r > c) return 0;
    if (r > c * 0.82f) return 0xFF202020u;
    const bool hour = std::fabs(dx) < 1.0f && dy < 0.0f && dy > -c * 0.6f;
    const bool minute = std::fabs(dy) < 1.0f && dx > 0.0f && dx < c * 0.5f;
    return hour || minute ? 0xFF202020u : 0xFFF0F0F0u;
}

// A banknote: green with a pale oval in the middle.
uint32_t MoneyIcon(int x, int y, int n) {
    if (y < n / 4 || y >= n * 3 / 4) return 0;
    const float dx = (float(x) + 0.5f - float(n) / 2.0f) / (float(n) * 0.25f), dy = (float(y) + 0.5f - float(n) / 2.0f) / (float(n) * 0.15f);
    if (x < 1 || x >= n - 1 || y == n / 4 || y == n * 3 / 4 - 1) return 0xFF104010u;
    return dx * dx + dy * dy < 1.0f ? 0xFFC0E0B0u : 0xFF30A040u;
}

// A bright metal face with a darker ring and the sign's bar across it.
bool WriteCurrencyTexture(const fs::path& path) {
    constexpr int n = 32;
    std::vector<uint32_t> argb;
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            const float dx = float(x) + 0.5f - n / 2.0f, dy = float(y) + 0.5f - n / 2.0f, r = std::sqrt(dx * dx + dy * dy);
            const bool ring = r > n * 0.38f && r < n * 0.45f;
            const bool bar = std::fabs(dy) < 2.0f && std::fabs(dx) < n * 0.3f;
            argb.push_back(ring || bar ? Argb(255, 150, 150, 150) : Argb(255, 240, 240, 240));
        }
    tools::ZktTexture texture = tools::ArgbTexture(n, n, argb);
    texture.mayCompress = 0;
    return tools::WriteZkt(path.string().c_str(), texture);
}

// A short voice-like call: a tone gliding between two pitches with a vowel's wobble.
std::vector<int16_t> Call(double seconds, double fromHz, double toHz) {
    constexpr int kRate = 22050;
    const size_t n = size_t(seconds * kRate);
    std::vector<int16_t> s(n);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / double(n);
        phase += 6.283185307179586 * (fromHz + (toHz - fromHz) * t) / kRate;
        const double envelope = std::min(1.0, 15.0 * t) * (1.0 - t);
        s[i] = int16_t(9000.0 * envelope * std::sin(phase) * (0.75 + 0.25 * std::sin(phase * 0.5)));
    }
    return s;
}

} // namespace

DEMO_TEXTS {
    for (int32_t m = 0; m < 4; ++m) {
        const int32_t b = MissionBlock(m);
        const Mission& mission = kMissions[m];
        texts[b + 1] = mission.keyword;
        texts[b + 3] = mission.timeOfDay;
        texts[b + 4] = mission.traffic;
        texts[b + 5] = mission.pedestrians;
        texts[b + 6] = mission.six;
        texts[b + 7] = mission.seven;
    }
    // The drop run's target line.
    texts[23] = "Drop at";
    // The speed bomb of mission 2: its start, armed and too-slow lines.
    texts[10280] = "A bomb is under your car! Get it moving";
    texts[10281] = "The bomb is armed: stay above 250";
    texts[10282] = "Too slow! Speed up";
    // The tariff: one entry, the ordinary fare of PED01 (the others take the default).
    texts[8880000] = "1";
    texts[8880001] = "PED01";
    const char* values[8] = {"0.9", "0.2", "0.25", "0.05", "150", "250", "0.2", "0.05"};
    for (int32_t k = 0; k < 8; ++k) texts[8880002 + k] = values[k];
}

DEMO_STEP("fares") {
    const fs::path models = root / "Models", textures = root / "Textures", menu = root / "Menu";
    for (const fs::path& dir : {models, textures, menu}) fs::create_directories(dir);
    if (!tools::WriteZkm(SharedString((models / "Currency.ZKM").string().c_str()), tools::CurrencyModel("Currency.ZKT"))) return false;
    if (!WriteCurrencyTexture(textures / "Currency.ZKT")) return false;
    if (!WriteIcon(menu / "Icon_Clock.ZKT", 32, ClockIcon) || !WriteIcon(menu / "Icon_Dollar.ZKT", 32, MoneyIcon)) return false;
    // Each ordinary kind's own calls beside its folder's animations.
    constexpr int kRate = 22050;
    for (const char* kind : {"PED01", "PED02"}) {
        const fs::path folder = root / "Pedestrians" / kind;
        fs::create_directories(folder);
        const double pitch = kind[4] == '1' ? 1.0 : 0.8;
        if (!tools::WriteWav((folder / "Wave1.wav").string(), 1, kRate, Call(0.5, 500 * pitch, 800 * pitch)) ||
            !tools::WriteWav((folder / "Posi1.wav").string(), 1, kRate, Call(0.4, 400 * pitch, 650 * pitch)) ||
            !tools::WriteWav((folder / "Nega1.wav").string(), 1, kRate, Call(0.5, 420 * pitch, 250 * pitch)))
            return false;
    }
    return true;
}
