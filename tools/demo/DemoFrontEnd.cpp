#include <cstdint>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/ZktWriter.h"

namespace {

using Paint = uint32_t (*)(int x, int y, int w, int h);

// A menu picture: stored bottom row first (the menus ask for their pictures flipped), never
// compressed.
bool WritePicture(const std::filesystem::path& path, int w, int h, Paint paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) argb.push_back(paint(x, y, w, h));
    return tools::WriteZkt(path.string().c_str(), tools::FlippedPicture(w, h, argb));
}

uint32_t Argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

// A page background: a vertical gradient from the page's tint to black with a faint grid.
template <uint32_t R, uint32_t G, uint32_t B>
uint32_t PageBackground(int x, int y, int, int h) {
    const uint32_t fall = uint32_t(h - y) * 255u / uint32_t(h);
    const uint32_t grid = (x % 32 == 0 || y % 32 == 0) ? 24u : 0u;
    return Argb(255, R * fall / 255u + grid, G * fall / 255u + grid, B * fall / 255u + grid);
}

} // namespace

// The front end's pictures: the page backgrounds, the main page's bars and frame, the streaks
// and sweeping bars every page shares, and the Back corner.
DEMO_STEP("front end pictures") {
    const std::filesystem::path menu = root / "Menu";
    return
        WritePicture(menu / "SP.ZKT", 256, 192, PageBackground<150, 40, 20>) &&
        WritePicture(menu / "Video.zkt", 256, 192, PageBackground<30, 60, 150>) &&
        WritePicture(menu / "Audio.zkt", 256, 192, PageBackground<30, 130, 60>) &&
        WritePicture(menu / "Controls.zkt", 256, 192, PageBackground<120, 100, 20>) &&
        WritePicture(menu / "Credits.ZKT", 256, 192, PageBackground<90, 30, 120>) &&
        WritePicture(menu / "MPSelect.ZKT", 256, 192, PageBackground<20, 110, 130>) &&
        WritePicture(menu / "MPStart.ZKT", 256, 192, PageBackground<130, 20, 90>) &&
        // A bar beside each main-page link: amber, fading out towards its right end.
        WritePicture(menu / "balk.zkt", 320, 32,
                     [](int x, int y, int w, int h) {
                         const uint32_t edge = (y < 2 || y >= h - 2) ? 255u : 200u;
                         return Argb(uint32_t(230 - 200 * x / w), edge, 150, 30);
                     }) &&
        // Streaks: soft white lines, brightest in the middle of their length.
        WritePicture(menu / "MDeco1.ZKT", 256, 8,
                     [](int x, int y, int w, int h) {
                         const int d = x < w / 2 ? x : w - 1 - x, v = y < h / 2 ? y : h - 1 - y;
                         return Argb(uint32_t(2 * d * (v + 1) * 255 / (w * h / 2 + w)), 255, 255, 255);
                     }) &&
        WritePicture(menu / "MDeco2.ZKT", 128, 4,
                     [](int x, int, int w, int) {
                         const int d = x < w / 2 ? x : w - 1 - x;
                         return Argb(uint32_t(2 * d * 255 / w), 255, 230, 200);
                     }) &&
        // The sweeping bars: a thin dark-red line across the screen and one down it.
        WritePicture(menu / "MDeco3.ZKT", 800, 2, [](int, int, int, int) { return Argb(255, 110, 20, 16); }) &&
        WritePicture(menu / "MDeco4.ZKT", 2, 600, [](int, int, int, int) { return Argb(255, 110, 20, 16); }) &&
        // Back: a light left-pointing arrow on a dark square.
        WritePicture(menu / "Back.ZKT", 64, 64,
                     [](int x, int y, int, int) {
                         const int dy = y < 32 ? 32 - y : y - 31;
                         const bool arrow = x >= 14 + dy && x < 30 + dy && dy < 18;
                         return arrow ? Argb(255, 230, 230, 230) : Argb(255, 40, 20, 20);
                     }) &&
        // The box frame's corner and edges (no page of the game adds boxes).
        WritePicture(menu / "Corner.zkt", 16, 16,
                     [](int x, int y, int, int) { return (x < 3 || y < 3) ? Argb(255, 200, 200, 200) : Argb(0, 0, 0, 0); }) &&
        WritePicture(menu / "HorizontalBar.zkt", 16, 16,
                     [](int, int y, int, int) { return y < 3 ? Argb(255, 200, 200, 200) : Argb(0, 0, 0, 0); }) &&
        WritePicture(menu / "VerticalBar.zkt", 16, 16,
                     [](int x, int, int, int) { return x < 3 ? Argb(255, 200, 200, 200) : Argb(0, 0, 0, 0); });
}

DEMO_TEXTS {
    // The main page's links.
    texts[66200] = "Single player";
    texts[66201] = "Multiplayer";
    texts[66203] = "Resume game";
    texts[66204] = "Options";
    texts[66205] = "Credits";
    texts[66206] = "Exit";
    // The video page.
    texts[66405] = "Display device";
    texts[66406] = "Display mode";
    texts[66407] = "Texture detail";
    texts[66408] = "Car effects";
    texts[66409] = "Reflections";
    texts[66410] = "View distance";
    texts[66411] = "Detail";
    texts[66400] = "Low";
    texts[66401] = "Medium";
    texts[66402] = "High";
    texts[520] = "Off";
    texts[521] = "On";
    texts[640] = "At the start";
    texts[641] = "Always";
    texts[530] = "Minimal";
    texts[531] = "Low";
    texts[532] = "Medium";
    texts[533] = "Full";
    // The audio page.
    texts[66500] = "Mixing rate";
    texts[66501] = "Voices";
    texts[100] = "Effects volume";
    texts[101] = "Speech volume";
    texts[102] = "Ambient volume";
    texts[103] = "Music volume";
    // The controls page's rows.
    texts[140] = "Accelerate";
    texts[141] = "Steer left";
    texts[142] = "Steer right";
    texts[143] = "Brake";
    texts[144] = "Handbrake";
    texts[147] = "Use special";
    texts[155] = "Fire weapon";
    texts[150] = "Look back";
    texts[156] = "Confirm";
    texts[151] = "Respawn";
    texts[149] = "Lights";
    texts[6012] = "Drop passenger";
    // The multiplayer select screen.
    texts[200] = "Session";
    texts[201] = "Address";
    texts[202] = "Game";
    texts[203] = "Players";
    texts[204] = "Ping";
    texts[205] = "Host game";
    texts[206] = "Host address:";
    // The lobby's choices.
    texts[603] = "No time limit";
    texts[604] = "1 minute";
    texts[605] = "minutes";
    texts[606] = "No score limit";
    texts[607] = "1 point";
    texts[608] = "points";
    texts[609] = "Team";
    texts[3000] = "Deathmatch";
    texts[3001] = "Team game";
    // The unlock console command and its answer (the game's other commands answer the same).
    texts[1014] = "UNLOCKALL";
    texts[1001] = "Cheat activated";
}
