#include <cstdint>
#include <cstring>
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

// The option pages' tab bar as the pages hit-test it, in screen pixels of the 800 x 600 menu
// screen: Video, Audio, Controls and Back.
struct TabRect {
    int left, top, right, bottom;
    const char* label;
};
constexpr TabRect kTabs[4] = {{40, 225, 190, 245, "VIDEO"},
                              {40, 260, 185, 280, "AUDIO"},
                              {40, 320, 190, 340, "CONTROLS"},
                              {40, 370, 210, 390, "BACK"}};

// Capitals of three by five dots, rows top first, the left dot the high bit.
bool LetterDot(char c, int column, int row) {
    static const struct {
        char c;
        uint8_t rows[5];
    } kLetters[] = {
        {'A', {2, 5, 7, 5, 5}}, {'B', {6, 5, 6, 5, 6}}, {'C', {3, 4, 4, 4, 3}}, {'D', {6, 5, 5, 5, 6}},
        {'E', {7, 4, 6, 4, 7}}, {'I', {7, 2, 2, 2, 7}}, {'K', {5, 5, 6, 5, 5}}, {'L', {4, 4, 4, 4, 7}},
        {'N', {6, 5, 5, 5, 5}}, {'O', {7, 5, 5, 5, 7}}, {'R', {6, 5, 6, 5, 5}}, {'S', {3, 4, 2, 1, 6}},
        {'T', {7, 2, 2, 2, 2}}, {'U', {5, 5, 5, 5, 7}}, {'V', {5, 5, 5, 5, 2}},
    };
    for (const auto& letter : kLetters)
        if (letter.c == c) return ((letter.rows[row] >> (2 - column)) & 1) != 0;
    return false;
}

// An option page's background: the page's gradient with the tab bar on the left, each tab a dark
// box with its label, the page's own tab lit in the page's tint. The picture is stretched over
// the screen, so each pixel is tested at the screen point it covers (the painted rows count from
// the screen's bottom, as the page's gradient shows).
template <uint32_t R, uint32_t G, uint32_t B, int Own>
uint32_t OptionPageBackground(int x, int y, int w, int h) {
    const int sx = (2 * x + 1) * 800 / (2 * w), sy = (2 * (h - 1 - y) + 1) * 600 / (2 * h);
    for (int tab = 0; tab < 4; ++tab) {
        const TabRect& t = kTabs[tab];
        if (sx < t.left || sx >= t.right || sy < t.top || sy >= t.bottom) continue;
        const bool own = tab == Own;
        const bool edge = sx < t.left + 2 || sx >= t.right - 2 || sy < t.top + 2 || sy >= t.bottom - 2;
        if (edge) return own ? Argb(255, 240, 220, 160) : Argb(255, 110, 110, 110);
        // The label: dots of 3 x 3 screen pixels, letters 12 pixels apart, from (left + 10, top + 3).
        const int lx = sx - (t.left + 10), ly = sy - (t.top + 3);
        const int letter = lx / 12, column = lx % 12 / 3, row = ly / 3;
        const bool dot = lx >= 0 && ly >= 0 && row < 5 && column < 3 && size_t(letter) < std::strlen(t.label) &&
                         LetterDot(t.label[letter], column, row);
        if (dot) return own ? Argb(255, 255, 255, 255) : Argb(255, 190, 190, 190);
        return own ? Argb(255, R / 2 + 60, G / 2 + 60, B / 2 + 60) : Argb(255, 24, 24, 28);
    }
    return PageBackground<R, G, B>(x, y, w, h);
}

} // namespace

// The front end's pictures: the page backgrounds, the main page's bars and frame, the streaks
// and sweeping bars every page shares, and the Back corner.
DEMO_STEP("front end pictures") {
    const std::filesystem::path menu = root / "Menu";
    return
        WritePicture(menu / "SP.ZKT", 256, 192, PageBackground<150, 40, 20>) &&
        // The 800 x 600 screen's own size: each dot of the tab bar's labels stays whole and sharp.
        WritePicture(menu / "Video.zkt", 800, 600, OptionPageBackground<30, 60, 150, 0>) &&
        WritePicture(menu / "Audio.zkt", 800, 600, OptionPageBackground<30, 130, 60, 1>) &&
        WritePicture(menu / "Controls.zkt", 800, 600, OptionPageBackground<120, 100, 20, 2>) &&
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
    // The controls page's help lines.
    texts[800030] = "Return on a row, then press its new key, mouse button, gamepad button or stick.";
    texts[800031] = "Left and Right choose the first or the second column; Delete clears it.";
    texts[800032] = "A gamepad: bind its stick directions and buttons here, as any key.";
    texts[800033] = "Page Up and Page Down step through the tabs; Escape returns to the main menu.";
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
    // The lobby's game types (the session list shows them too).
    texts[3000] = "Checkpoint race";
    texts[3001] = "Shared checkpoint";
    texts[3002] = "Fare race";
    texts[3003] = "Team game";
    // The unlock console command and its answer (the game's other commands answer the same).
    texts[1014] = "UNLOCKALL";
    texts[1001] = "Cheat activated";
}
