#include <cstdint>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

using Paint = uint32_t (*)(int x, int y, int w, int h);

bool WriteTexture(const std::filesystem::path& path, int size, Paint paint) {
    std::vector<uint32_t> argb;
    argb.reserve(size_t(size) * size_t(size));
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) argb.push_back(paint(x, y, size, size));
    tools::ZktTexture texture = tools::ArgbTexture(size, size, argb);
    texture.mayCompress = 0;
    return tools::WriteZkt(path.string().c_str(), texture);
}

uint32_t Rgb(uint32_t r, uint32_t g, uint32_t b) { return 0xFF000000u | r << 16 | g << 8 | b; }

}  // namespace

// The demo models: a crate, a wheel, a waving figure, a shiny ball and a ground, each with its
// own texture under Textures.
DEMO_STEP("models") {
    const std::filesystem::path models = root / "Models", textures = root / "Textures";
    std::filesystem::create_directories(models);
    std::filesystem::create_directories(textures);
    // Shown under the scene's lights, all but the shiny ball, which sets up its own stages.
    auto model = [&](const char* name, tools::ZkmModel m) {
        if (m.materials.size() == 1 && m.materials[0].textures[1] == 0xFFFFFFFFu) tools::ModulateByLight(m);
        return tools::WriteZkm((models / name).string().c_str(), m);
    };
    return
        // Planks: brown boards with dark seams and a dark frame.
        model("Box.ZKM", tools::CrateModel("Box.ZKT", 0.5f)) &&
        WriteTexture(textures / "Box.ZKT", 64, [](int x, int y, int w, int h) {
            const bool frame = x < 4 || y < 4 || x >= w - 4 || y >= h - 4;
            const bool seam = y % 14 == 0;
            return (frame || seam) ? Rgb(70, 40, 20) : Rgb(150 + uint32_t(x % 7) * 3, 100, 50);
        }) &&
        // A tyre: dark rubber with lighter tread bars.
        model("Wheel.ZKM", tools::WheelModel("Wheel.ZKT", 24, 0.35f, 0.12f)) &&
        WriteTexture(textures / "Wheel.ZKT", 32, [](int x, int, int, int) {
            return (x / 4) % 2 ? Rgb(40, 40, 44) : Rgb(70, 70, 76);
        }) &&
        // A blue suit.
        model("Figure.ZKM", tools::FigureModel("Figure.ZKT")) &&
        tools::WriteZka((models / "Figure_Wave.ZKA").string().c_str(), tools::WaveAnimation(8, 0.125f)) &&
        WriteTexture(textures / "Figure.ZKT", 32, [](int x, int y, int, int) {
            return ((x / 8 + y / 8) & 1) ? Rgb(40, 60, 160) : Rgb(60, 90, 200);
        }) &&
        // A dark red ball under a bright shine: it mostly shows what it reflects.
        model("Ball.ZKM", tools::BallModel("Ball.ZKT", 0.5f, 32, 16)) &&
        WriteTexture(textures / "Ball.ZKT", 32, [](int, int, int, int) { return Rgb(90, 10, 10); }) &&
        WriteTexture(textures / "Ball_S.ZKT", 32, [](int, int y, int, int h) {
            const uint32_t v = uint32_t(255 - 60 * y / h);
            return Rgb(v, v, v);
        }) &&
        // Grass in a faint checker, 100 units square.
        model("Ground.ZKM", tools::GroundModel("Ground.ZKT", 257, 100.0f)) &&
        WriteTexture(textures / "Ground.ZKT", 64, [](int x, int y, int, int) {
            return ((x / 16 + y / 16) & 1) ? Rgb(60, 120, 50) : Rgb(70, 135, 60);
        });
}
