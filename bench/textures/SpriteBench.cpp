// A frame of 2-D drawing through the real render facility (offscreen GL): 5,000 sprites in
// runs of four textures and two blend modes, then 20,000 glyphs of text. Reports the device's
// draw calls per frame: one per texture or blend change, never one per quad.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Font.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteRenderer.h"

// fontconfig keeps its configuration for the life of the process; sanitizer builds must not
// count it as a leak.
extern "C" __attribute__((weak)) const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const bool kHeadless = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();

D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
        auto r = std::make_unique<D3D8RenderFacility>();
        r->ChooseDevice(-1);
        r->RequestMode({800, 600, 32, 60});
        r->CreateDevice(false);
        if (!r->DeviceReady() || !r->GetSpriteRenderer()) abort();
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = r.get();
        e.rendererReady = true;
        return r;
    }();
    return *f;
}

std::unique_ptr<Sprite> MakeSprite(D3D8TextureManager& m, uint8_t shade) {
    TextureRecord r;
    r.name = "bench";
    r.width = r.height = 16;
    r.highQuality = 1;
    r.levels.push_back({16, 16, TrackedVector<uint8_t>(16 * 16 * 4, shade)});
    auto s = std::make_unique<Sprite>();
    s->width = s->height = 16;
    s->columns = s->rows = 1;
    s->frames.push_back({0, 0, 16, 16, new TextureHandle(new TextureRef(m.Load(&r)))});
    return s;
}

void BM_SpriteAndTextFrame(benchmark::State& state) {
    D3D8RenderFacility& f = Facility();
    SpriteRenderer& sprites = *f.GetSpriteRenderer();
    std::unique_ptr<Sprite> pics[4];
    for (int i = 0; i < 4; ++i) pics[i] = MakeSprite(*f.GetTextureManager(), uint8_t(60 * i + 40));
    std::unique_ptr<Font> font(Font::Create(f.GetTextureManager(), kFontAll, "Arial", 15, true, false));
    // 100 lines of 200 characters: 20,000 glyphs.
    std::string line;
    for (int i = 0; i < 200; ++i) line += char('!' + i % 90);
    const SharedString text(line.c_str());
    gfx::DeviceStats& stats = f.Device()->Stats();
    uint64_t draws = 0, frames = 0;
    for (auto _ : state) {
        const uint64_t before = stats.draws;
        f.BeginScene();
        // 5,000 sprites: 8 runs (4 textures x 2 blend modes) of 625.
        for (int run = 0; run < 8; ++run)
            for (int i = 0; i < 625; ++i)
                sprites.DrawSprite(pics[run % 4].get(), nullptr, {float(i % 780), float((i * 7) % 580)}, nullptr,
                                   run < 4 ? 0 : kSpriteAlpha);
        for (int l = 0; l < 100; ++l) sprites.DrawText(text, {0.0f, float(l * 6)}, 0, nullptr, font.get(), false);
        sprites.Flush();
        f.EndScene();
        draws += stats.draws - before;
        ++frames;
    }
    // One draw per run of one texture and one blend mode, plus one per further 5,000 quads of
    // a run: 8 sprite runs of 625 and one text run of 20,000 glyphs.
    constexpr int kBatch = D3D8SpriteRenderer::kMaxQuads;
    const double allowed = 8 * ((625 + kBatch - 1) / kBatch) + (20000 + kBatch - 1) / kBatch;
    const double perFrame = double(draws) / double(frames ? frames : 1);
    state.counters["draws_per_frame"] = perFrame;
    state.counters["draws_allowed"] = allowed;
    state.counters["quads_per_frame"] = 25000;
    if (perFrame > allowed) state.SkipWithError("more draw calls than texture and blend changes");
}
BENCHMARK(BM_SpriteAndTextFrame)->Unit(benchmark::kMillisecond);

}  // namespace
