// One frame of a 40-widget menu screen: input with the mouse moving and the selection
// stepping, update, and its draws queued into the real sprite renderer.
//  - BM_MenuToolkitWork: the toolkit's own work as a share of a 60 Hz frame, the sprite
//    renderer flushing into a device that records its calls instead of drawing (so no GPU or
//    driver time is counted).
//  - BM_MenuFrameOnGL: the same on offscreen GL, where the frames must allocate nothing
//    (counted by the program's allocation operators) and the device's draw calls may not
//    exceed the texture and blend changes of the screen's draws.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/ExitButton.h"
#include "engine/core/KeyBindWidget.h"
#include "engine/core/Memory.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuScreen.h"
#include "engine/core/MenuWidgets.h"
#include "engine/core/SliderWidget.h"
#include "engine/core/TextEditWidget.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/NullRenderFacility.h"
#include "engine/render/Font.h"
#include "engine/render/RenderMenuCanvas.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tools/writers/ZktWriter.h"

// fontconfig keeps its configuration for the life of the process; sanitizer builds must not
// count it as a leak.
extern "C" __attribute__((weak)) const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const bool kHeadless = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();
constexpr double kFrameMs = 1000.0 / 60.0;

// Passes every draw on to the real canvas and counts the changes of texture or blend mode in
// the order the draws arrive: the batches the sprite renderer may not exceed.
class ChangeCountingCanvas final : public MenuCanvas {
public:
    ChangeCountingCanvas(RenderFacility* renderer, const Font* font) : real(renderer, font) {}
    MenuPicture* LoadPicture(const SharedString& name, uint32_t options) override {
        return real.LoadPicture(name, options);
    }
    int32_t ScreenWidth() override { return real.ScreenWidth(); }
    int32_t ScreenHeight() override { return real.ScreenHeight(); }
    double TextWidth(const Font* font, const SharedString& text, int32_t start, int32_t length) override {
        return real.TextWidth(font, text, start, length);
    }
    int32_t FontSize(const Font* font) override { return real.FontSize(font); }
    void Clear(uint32_t flags) override { real.Clear(flags); }
    void DrawBackground(const MenuPicture* p, const Color* c, uint8_t flags) override {
        Note(p, flags & kMenuDrawAlpha);
        real.DrawBackground(p, c, flags);
    }
    void DrawSprite(const MenuPicture* p, const Rect* s, const Vector2& at, const Color* c, uint8_t flags) override {
        if (!s || s->right > s->left) Note(p, flags & kMenuDrawAlpha);
        real.DrawSprite(p, s, at, c, flags);
    }
    void DrawSpriteAnchored(const MenuPicture* p, const Rect* s, int32_t align, const Vector2& at, int32_t anchor,
                            const Color* c, uint8_t flags) override {
        Note(p, flags & kMenuDrawAlpha);
        real.DrawSpriteAnchored(p, s, align, at, anchor, c, flags);
    }
    void DrawSpriteStretched(const MenuPicture* p, const MenuRect& r, const Color* c, uint8_t flags) override {
        Note(p, flags & kMenuDrawAlpha);
        real.DrawSpriteStretched(p, r, c, flags);
    }
    void DrawSpriteTurned(const MenuPicture* p, const Vector2& centre, int32_t turns, const Color* c,
                          uint8_t flags) override {
        Note(p, flags & kMenuDrawAlpha);
        real.DrawSpriteTurned(p, centre, turns, c, flags);
    }
    void FillRect(const MenuRect& r, const Color& c) override {
        Note(nullptr, c.a != 0xFF);
        real.FillRect(r, c);
    }
    void FillScreen(const Color& c) override {
        Note(nullptr, c.a != 0xFF);
        real.FillScreen(c);
    }
    void DrawText(const SharedString& text, const Vector2& at, int32_t anchor, const Color* c, const Font* font,
                  bool shadow) override {
        if (!text.IsEmpty()) Note(font ? font : ZKEngine::Instance().defaultFont, 1);
        real.DrawText(text, at, anchor, c, font, shadow);
    }

    void Note(const void* texture, int mode) {
        if (texture == texture_ && mode == mode_) return;
        texture_ = texture;
        mode_ = mode;
        ++changes;
    }
    void StartFrame() { texture_ = this, mode_ = -1; }

    RenderMenuCanvas real;
    int64_t changes = 0;

private:
    const void* texture_ = this;
    int mode_ = -1;
};

// A renderer whose sprite renderer and texture manager run on a recording device.
class QueueFacility final : public NullRenderFacility {
public:
    QueueFacility() : device(800, 600) {
        RequestMode({800, 600, 32, 60});
        CreateDevice(false);
        textures = std::make_unique<D3D8TextureManager>(&device, 32, nullptr);
        sprites = std::make_unique<D3D8SpriteRenderer>(*this, device);
    }
    D3D8TextureManager* GetTextureManager() override { return textures.get(); }
    SpriteRenderer* GetSpriteRenderer() override { return sprites.get(); }
    gfx::RecordingDevice device;
    std::unique_ptr<D3D8TextureManager> textures;
    std::unique_ptr<D3D8SpriteRenderer> sprites;
};

std::unique_ptr<D3D8RenderFacility> GLFacility() {
    auto facility = std::make_unique<D3D8RenderFacility>();
    facility->ChooseDevice(-1);
    facility->RequestMode({800, 600, 32, 60});
    facility->CreateDevice(false);
    if (!facility->DeviceReady() || !facility->GetSpriteRenderer()) abort();
    return facility;
}

struct Bench {
    explicit Bench(RenderFacility* renderer) : facility(renderer) {
        std::filesystem::path dir = std::filesystem::temp_directory_path() / "metrofare-menu-bench";
        std::filesystem::create_directories(dir / "Menu");
        std::filesystem::current_path(dir);
        Picture("Menu\\Menu.ZKT", 256, 192, 0xFF401010u);
        Picture("Menu\\Mouse.ZKT", 32, 32, 0xFFFFFFFFu);
        Picture("Menu\\Slider.ZKT", 128, 16, 0xFFFFC000u);
        Picture("Menu\\Exit.ZKT", 256, 128, 0xC0202030u);

        Debugger::Instance().SetWarningLevel(0);
        TextureFactory::Instance().ClearForTests();
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = facility;
        e.rendererReady = true;
        e.input = &input;
        e.sound = &sound;
        e.frameTime = 1.0f / 60.0f;
        font.reset(Font::Create(facility->GetTextureManager(), kFontAll, SharedString("Arial"), 15, true, false));
        e.defaultFont = font.get();
        canvas = std::make_unique<ChangeCountingCanvas>(facility, font.get());
        SetMenuCanvas(canvas.get());

        screen = std::make_unique<MenuScreen>(SharedString("Bench"), SharedString(""));
        screen->Load();
        const std::vector<SharedString> items = {SharedString("Low"), SharedString("Medium"), SharedString("High")};
        for (int i = 0; i < 40; ++i) {
            options.push_back(std::make_unique<MenuOption>());
            MenuOption* o = options.back().get();
            Widget* w = nullptr;
            const SharedString caption = SharedString::Format("Setting number %d", i);
            switch (i % 8) {
            case 0: case 1: w = new Button(caption, o, nullptr); break;
            case 2: w = new ChoiceWidget(caption, items, o, nullptr); break;
            case 3: o->cachedFloat = 0.5f; w = new SliderWidget(caption, o); break;
            case 4:
                bindings.push_back(std::make_unique<ActionBinding>());
                bindings.back()->primary = {30, SharedString("Left Shift")};
                bindings.back()->secondary = {0x100, SharedString("Mouse button 1")};
                w = new KeyBindWidget(caption, bindings.back().get());
                break;
            case 5: o->cachedText = SharedString("Player"); w = new TextEditWidget(caption, o, nullptr, nullptr); break;
            case 6: w = new LabelWidget(caption, i % 16 == 6, nullptr); break;
            default: w = i == 39 ? static_cast<Widget*>(new ExitButton(caption, o)) : new Button(caption, o, nullptr);
            }
            w->SetPosition({40 + (i / 20) * 380, 20 + (i % 20) * 28}, false);
            screen->AddWidget(w);
        }
        e.SetMLP(screen.get());
        screen->SetFade(0.0f);
    }
    ~Bench() {
        ZKEngine& e = ZKEngine::Instance();
        e.currentMLP = e.previousMLP = nullptr;
        screen.reset();
        ReleaseMenuResources();
        SetMenuCanvas(nullptr);
        e.input = nullptr;
        e.sound = nullptr;
        e.defaultFont = nullptr;
        font.reset();
        TextureFactory::Instance().ClearForTests();
        e.renderer = nullptr;
        e.rendererReady = false;
    }
    static void Picture(const char* path, int w, int h, uint32_t argb) {
        if (!tools::WriteZkt(SharedString(path), tools::ArgbPicture(w, h, std::vector<uint32_t>(size_t(w * h), argb))))
            abort();
    }
    void Frame() {
        screen->HandleInput();
        screen->Update();
        screen->Render();
    }
    // The input of one frame: the mouse sweeps down the left column, the selection steps.
    void Input(int64_t frame) {
        input.NextFrame();
        input.mouse.x = 1.0f;
        input.cursor = {60, int32_t(20 + (frame * 7) % 560)};
        input.pressed = {kKeyDown};
    }

    testing_support::FakeInputDevice input;
    NullAudioDevice sound;
    std::unique_ptr<ChangeCountingCanvas> canvas;
    RenderFacility* facility;
    std::unique_ptr<Font> font;
    std::vector<std::unique_ptr<MenuOption>> options;
    std::vector<std::unique_ptr<ActionBinding>> bindings;
    std::unique_ptr<MenuScreen> screen;
};

void BM_MenuToolkitWork(benchmark::State& state) {
    QueueFacility facility;
    Bench bench(&facility);
    int64_t frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        facility.device.ClearCalls();
        bench.Input(frame++);
        state.ResumeTiming();
        bench.Frame();
        facility.sprites->Flush();
    }
    using Clock = std::chrono::steady_clock;
    // The same frames timed one by one, without the pauses' own cost.
    Clock::duration total{};
    constexpr int kFrames = 200;
    for (int i = 0; i < kFrames; ++i) {
        facility.device.ClearCalls();
        bench.Input(frame++);
        const Clock::time_point start = Clock::now();
        bench.Frame();
        facility.sprites->Flush();
        total += Clock::now() - start;
    }
    const double ms = std::chrono::duration<double, std::milli>(total).count() / kFrames;
    state.counters["toolkit_ms"] = ms;
    state.counters["share_of_60Hz_pct"] = 100.0 * ms / kFrameMs;
    std::fprintf(stderr, "menus: toolkit work %.3f ms a frame, %.2f%% of a 60 Hz frame\n", ms, 100.0 * ms / kFrameMs);
    if (ms > 0.05 * kFrameMs) state.SkipWithError("the toolkit takes more than 5% of a 60 Hz frame");
}
BENCHMARK(BM_MenuToolkitWork)->Unit(benchmark::kMicrosecond);

void BM_MenuFrameOnGL(benchmark::State& state) {
    std::unique_ptr<D3D8RenderFacility> facility = GLFacility();
    Bench bench(facility.get());
    gfx::DeviceStats& stats = facility->Device()->Stats();
    // A few frames first: names cut, first-use work done.
    int64_t frame = 0;
    for (; frame < 8; ++frame) {
        bench.Input(frame);
        facility->BeginScene();
        bench.Frame();
        facility->EndScene();
    }
    int64_t allocations = 0, draws = 0, changes = 0, frames = 0;
    for (auto _ : state) {
        bench.Input(frame++);
        const int64_t blocksBefore = GetMemoryCounters().totalBlocks;
        facility->BeginScene();
        bench.canvas->StartFrame();
        const int64_t changesBefore = bench.canvas->changes;
        const uint64_t drawsBefore = stats.draws;
        bench.Frame();
        facility->GetSpriteRenderer()->Flush();
        draws += int64_t(stats.draws - drawsBefore);
        changes += bench.canvas->changes - changesBefore;
        facility->EndScene();
        allocations += GetMemoryCounters().totalBlocks - blocksBefore;
        ++frames;
    }
    state.counters["allocations_per_frame"] = double(allocations) / double(frames);
    state.counters["draws_per_frame"] = double(draws) / double(frames);
    state.counters["texture_or_blend_changes"] = double(changes) / double(frames);
    std::fprintf(stderr, "menus: %.2f allocations a frame, %.1f draw calls for %.1f texture or blend changes\n",
                 double(allocations) / double(frames), double(draws) / double(frames), double(changes) / double(frames));
    if (allocations != 0) state.SkipWithError("the frames allocated");
    else if (draws > changes) state.SkipWithError("more draw calls than texture and blend changes");
}
BENCHMARK(BM_MenuFrameOnGL)->Unit(benchmark::kMillisecond);

} // namespace
