#include <cstdint>
#include <string>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/ZktWriter.h"

namespace {

using Paint = uint32_t (*)(int x, int y, int w, int h);

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// Menu pictures are stored bottom row first (the menus ask for them flipped).
bool WritePicture(const std::filesystem::path& path, int w, int h, Paint paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) argb.push_back(paint(x, y, w, h));
    return tools::WriteZkt(path.string().c_str(), tools::FlippedPicture(w, h, argb));
}

// A traffic light of three lamps on a dark housing; the lit lamp is the top (red) one or the
// bottom (green) one.
template <bool Green>
uint32_t TrafficLight(int x, int y, int w, int h) {
    // Rows come bottom first: the top lamp is the last third.
    const int lamp = h / 3;
    const int index = (h - 1 - y) / lamp;
    const int cx = w / 2, cy = h - 1 - (index * lamp + lamp / 2);
    const int r = lamp / 2 - 3;
    const bool inLamp = (x - cx) * (x - cx) + (y - cy) * (y - cy) <= r * r;
    if (!inLamp) return (x < 2 || x >= w - 2 || y < 2 || y >= h - 2) ? Argb(255, 90, 90, 90) : Argb(255, 25, 25, 28);
    const bool lit = Green ? index == 2 : index == 0;
    if (!lit) return Argb(255, 55, 55, 55);
    return Green ? Argb(255, 60, 235, 80) : Argb(255, 240, 40, 30);
}

// The score screen: a dark blue gradient with a lighter band behind the column headings.
uint32_t ScoreBackground(int x, int y, int, int h) {
    const uint32_t fall = uint32_t(h - y) * 200u / uint32_t(h);
    const bool band = y >= h * 200 / 600 && y < h * 215 / 600;
    const uint32_t grid = (x % 32 == 0) ? 16u : 0u;
    return band ? Argb(255, 60, 70, 120) : Argb(255, 10 + grid, 20 + fall / 4 + grid, 40 + fall / 2 + grid);
}

// The in-game score panels: translucent dark boxes with a light rim (the team panel wider).
uint32_t Panel(int x, int y, int w, int h) {
    const bool rim = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
    return rim ? Argb(255, 220, 220, 220) : Argb(150, 10, 15, 30);
}

// The four network missions (12 to 15, one per game type): the block of mission m starts at
// (m + 99900) x 100.
constexpr int32_t kFirstNetworkMission = 12;
constexpr int32_t kNetworkMissions = 4;
constexpr int32_t MissionBlock(int32_t m) { return (m + 99900) * 100; }

} // namespace

// The lobby's ready light, the score screen's background and the in-game score panels.
DEMO_STEP("multiplayer pictures") {
    const std::filesystem::path menu = root / "Menu";
    return WritePicture(menu / "Traffic1.ZKT", 32, 96, TrafficLight<false>) &&
           WritePicture(menu / "Traffic2.ZKT", 32, 96, TrafficLight<true>) &&
           WritePicture(menu / "MPScoreMenu.ZKT", 256, 192, ScoreBackground) &&
           WritePicture(menu / "MPScore.ZKT", 128, 64, Panel) && WritePicture(menu / "MPTeamScore.ZKT", 192, 64, Panel);
}

DEMO_TEXTS {
    for (int32_t i = 0; i < kNetworkMissions; ++i) {
        const int32_t b = MissionBlock(kFirstNetworkMission + i);
        texts[b + 3] = std::to_string(i % 2 == 0 ? 12 : 20);  // time of day
        texts[b + 4] = "1";                                    // traffic density
        texts[b + 5] = "0.5";                                  // pedestrians
        // The modes' tickers: the start, the checkpoint or fare moved on, a checkpoint reached.
        const int32_t ticker = 4 * (kFirstNetworkMission + i) * 100 + 10080;
        texts[ticker] = i == 2 ? "Find the fare and drive it to its destination" : "Race to the checkpoint";
        texts[ticker + 1] = i == 2 ? "A new destination!" : "The checkpoint has moved";
        texts[ticker + 2] = "Checkpoint!";
    }
    // The network game's kill lines, score screen titles and end banners.
    texts[55446600] = "News:";
    texts[55446601] = "wrecked";
    texts[55446602] = "!";
    texts[55446603] = "News:";
    texts[55446604] = "wrecked his own car";
    texts[66889900] = "Leader:";
    texts[66889901] = "Last:";
    texts[66889950] = "Time is up!";
    texts[66889951] = "We have a winner!";
    // The quick messages of keys 1 to 9.
    const char* quick[9] = {"Hello!", "Follow me", "Watch out!", "Sorry", "Thanks", "Nice one",
                            "Catch me if you can", "Good game", "Bye"};
    for (int32_t k = 0; k < 9; ++k) texts[222000 + k] = quick[k];
    // The session list's state column past the four game types.
    texts[3005] = "Starting";
    texts[3006] = "Closed";
    texts[3007] = "Not a lobby";
    // The chat box's line while nobody types.
    texts[220] = "Click here to chat";
    // The score screen's column headings.
    texts[112233440] = "Player";
    texts[112233443] = "Cars wrecked";
    texts[112233444] = "Pedestrians";
    texts[112233445] = "Score";
    texts[112233446] = "Money";
    texts[112233447] = "Team money";
}
