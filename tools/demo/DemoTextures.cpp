#include "tools/demo/DemoTree.h"
#include "tools/writers/ZktWriter.h"

// The textures the engine itself asks for: "Missing.ZKT", shown for every texture that cannot
// be found, and the console's background picture.
DEMO_STEP("engine textures") {
    // A magenta and black checker of 8-pixel squares: impossible to mistake for real art.
    std::vector<uint32_t> checker;
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x) checker.push_back(((x / 8 + y / 8) & 1) ? 0xFF000000u : 0xFFFF00FFu);
    tools::ZktTexture missing = tools::ArgbTexture(64, 64, checker);
    missing.mayCompress = 0;
    if (!tools::WriteZkt((root / "Textures" / "Missing.ZKT").string().c_str(), missing)) return false;

    // The console background: a dark blue vertical gradient, opaque.
    std::vector<uint32_t> shade;
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) shade.push_back(0xFF000000u | uint32_t(y / 4) << 8 | uint32_t(48 + y / 2));
    tools::ZktTexture console = tools::ArgbTexture(128, 128, shade);
    console.mayCompress = 0;
    return tools::WriteZkt((root / "Textures" / "Console.ZKT").string().c_str(), console);
}
