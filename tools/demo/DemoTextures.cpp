#include <cstdint>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/ZktWriter.h"

namespace {

using Paint = uint32_t (*)(int x, int y, int w, int h);

// 0xAARRGGBB words of a w x h picture, top row first.
std::vector<uint32_t> Picture(int w, int h, Paint paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(w) * size_t(h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) argb.push_back(paint(x, y, w, h));
    return argb;
}

// The menu pictures are requested with the flip option, so they are stored bottom row first
// (as pictures converted from bottom-up image files are) and come out upright.
bool WriteMenuPicture(const std::filesystem::path& path, int w, int h, Paint paint) {
    return tools::WriteZkt(path.string().c_str(), tools::FlippedPicture(w, h, Picture(w, h, paint)));
}

bool WriteTexture(const std::filesystem::path& path, int w, int h, Paint paint) {
    tools::ZktTexture texture = tools::ArgbTexture(w, h, Picture(w, h, paint));
    texture.mayCompress = 0;
    return tools::WriteZkt(path.string().c_str(), texture);
}

}  // namespace

// The textures the engine itself asks for: "Missing.ZKT", shown for every texture that cannot
// be found; the console's background; the menu toolkit's background, cursor, slider bar and
// exit panel; and the shine of shiny materials that have none of their own.
DEMO_STEP("engine textures") {
    const std::filesystem::path textures = root / "Textures", menu = root / "Menu";
    return
        // A magenta and black checker of 8-pixel squares: impossible to mistake for real art.
        WriteTexture(textures / "Missing.ZKT", 64, 64,
                     [](int x, int y, int, int) { return ((x / 8 + y / 8) & 1) ? 0xFF000000u : 0xFFFF00FFu; }) &&
        // A dark blue vertical gradient, opaque.
        WriteTexture(textures / "Console.ZKT", 128, 128,
                     [](int, int y, int, int) { return 0xFF000000u | uint32_t(y / 4) << 8 | uint32_t(48 + y / 2); }) &&
        // A soft grey sheen, brightest at the top.
        WriteTexture(textures / "Shiny.ZKT", 64, 64,
                     [](int, int y, int, int) { const uint32_t v = uint32_t(255 - y * 2); return 0xFF000000u | v << 16 | v << 8 | v; }) &&
        // Deep red to black, top to bottom.
        WriteMenuPicture(menu / "Menu.ZKT", 256, 192,
                         [](int, int y, int, int h) { return 0xFF000000u | uint32_t(160 - 160 * y / h) << 16 | 0x10u; }) &&
        // A white arrow with a black rim pointing up and left, transparent elsewhere.
        WriteMenuPicture(menu / "Mouse.ZKT", 32, 32,
                         [](int x, int y, int, int) {
                             if (x > y || y > 20 || x + y > 28) return 0x00000000u;
                             return (x == 0 || x == y || y == 20 || x + y == 28) ? 0xFF000000u : 0xFFFFFFFFu;
                         }) &&
        // An amber bar, lighter towards its right end.
        WriteMenuPicture(menu / "Slider.ZKT", 128, 16,
                         [](int x, int, int w, int) { return 0xFF000000u | 0xFFu << 16 | uint32_t(128 + 100 * x / w) << 8; }) &&
        // A translucent dark panel with a light frame.
        WriteMenuPicture(menu / "Exit.ZKT", 256, 128, [](int x, int y, int w, int h) {
            const bool frame = x < 2 || y < 2 || x >= w - 2 || y >= h - 2;
            return frame ? 0xFFC0C0C0u : 0xC0202030u;
        });
}
