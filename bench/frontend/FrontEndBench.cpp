// One frame of the animated main menu: input with the mouse moving, the page's update (slide-ins,
// streaks, sweeping bars, box frame, widgets) and its whole picture, on the demo tree.
//  - BM_MainPageWork: the front end's own work as a share of the 13.33 ms step, the sprite
//    renderer flushing into a device that records its calls instead of drawing.
//  - BM_MainPageFrameOnGL: the same frame drawn on offscreen GL up to the end of the scene: the
//    main thread's processor time for it (the page's work and the GL calls) as a share of the
//    step, which must stay within 5%; and, for comparison, the wall time of the frame next to
//    that of a plain menu screen (the shared background alone) drawn on the same device in the
//    same run. On the CI machines GL is Mesa's software rasteriser, whose threads fill the
//    pixels, so the wall times follow the machine's load. The frames must not allocate.
//  - BM_SinglePlayerPageFrameOnGL: a frame of the single-player page with a carousel of ten cars
//    (the demo tree's four and six copies) on its turntable, the mouse dragging the shown car:
//    the main thread's processor time as a share of the step (within 5%) next to the main
//    page's in the same run, and no allocation per frame.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <time.h>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/Memory.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuScreen.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Font.h"
#include "engine/render/NullRenderFacility.h"
#include "engine/render/RenderMenuCanvas.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/FrontEndPage.h"
#include "game/frontend/SinglePlayerPage.h"
#include "game/vehicles/CarCatalogue.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/FakeInputDevice.h"

// fontconfig keeps its configuration for the life of the process; sanitizer builds must not
// count it as a leak.
extern "C" __attribute__((weak)) const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const bool kHeadless = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();
constexpr double kStepMs = 13.33;

// The demo tree, written once per run by the generator.
void EnterDemoTree() {
    static const std::filesystem::path dir = [] {
        const std::filesystem::path d = std::filesystem::temp_directory_path() / "metrofare-frontend-bench";
        const std::string command = std::string(METROFARE_DEMO_BINARY) + " " + d.string() + " > /dev/null";
        if (std::system(command.c_str()) != 0) abort();
        // Ten cars for the carousel: copies of the tree's cars under new names.
        const char* cars[] = {"AmbulanceVan", "CabMetro", "PoliceCruiser", "RacerZZ"};
        for (int i = 0; i < 6; ++i) {
            const std::filesystem::path vehicles = d / "Vehicles";
            const std::string copy = std::string(cars[i % 4]) + "Copy" + std::to_string(i);
            std::filesystem::copy(vehicles / cars[i % 4], vehicles / copy,
                                  std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
            std::filesystem::copy_file(vehicles / (std::string(cars[i % 4]) + ".VQC"), vehicles / (copy + ".VQC"),
                                       std::filesystem::copy_options::overwrite_existing);
        }
        return d;
    }();
    std::filesystem::current_path(dir);
}

// A renderer whose sprite renderer and texture manager run on a recording device.
class QueueFacility final : public NullRenderFacility {
public:
    QueueFacility() : device(800, 600) {
        RequestMode({800, 600, 32, 60});
        CreateDevice(false);
        textures = std::make_unique<D3D8TextureManager>(&device, 32, nullptr);
        sprites = std::make_unique<D3D8SpriteRenderer>(*this, device);
        TextureFactory::Instance().Connect(textures.get());
    }
    ~QueueFacility() override { TextureFactory::Instance().Disconnect(textures.get()); }
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
        EnterDemoTree();
        Debugger::Instance().SetWarningLevel(0);
        TextureFactory::Instance().ClearForTests();
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = facility;
        e.rendererReady = true;
        e.mainThread = Thread::Current();
        e.input = &input;
        e.sound = &sound;
        e.frameTime = 1.0f / 75.0f;
        e.languages.FindAndLoadDefault();
        font.reset(Font::Create(facility->GetTextureManager(), kFontAll, SharedString("Arial"), 15, true, false));
        e.defaultFont = font.get();
        canvas = std::make_unique<RenderMenuCanvas>(facility, font.get());
        SetMenuCanvas(canvas.get());

        frontEnd = std::make_unique<FrontEnd>(e.Services());
        page = static_cast<FrontEndPage*>(frontEnd->CreateFrontEnd());
        page->Load();
        e.SetMLP(page);
    }
    ~Bench() {
        ZKEngine& e = ZKEngine::Instance();
        e.currentMLP = e.previousMLP = nullptr;
        frontEnd.reset();
        // The cars' meshes belong to the device about to go.
        CarCatalogue::Instance().ClearForTests();
        FrontEndPage::ReleaseSharedPictures();
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
    void Frame() {
        page->HandleInput();
        page->Update();
        page->Render();
    }
    // The mouse circles over the links; every 150 frames the page is entered again, so the
    // slide-ins run as often as they rest.
    void Input(int64_t frame) {
        input.NextFrame();
        input.mouse.x = 1.0f;
        input.cursor = {int32_t(480 + frame % 100), int32_t(215 + (frame * 7) % 260)};
        if (frame % 150 == 0) page->Activate();
    }

    testing_support::FakeInputDevice input;
    NullAudioDevice sound;
    RenderFacility* facility;
    std::unique_ptr<Font> font;
    std::unique_ptr<RenderMenuCanvas> canvas;
    std::unique_ptr<FrontEnd> frontEnd;
    FrontEndPage* page = nullptr;
};

// The calling thread's processor time in milliseconds.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
}

double Median(std::vector<double>& values) {
    if (values.empty()) return 0.0;
    std::nth_element(values.begin(), values.begin() + long(values.size() / 2), values.end());
    return values[values.size() / 2];
}

void Report(benchmark::State& state, const char* what, double ms) {
    state.counters["frame_ms"] = ms;
    state.counters["share_of_step_pct"] = 100.0 * ms / kStepMs;
    std::fprintf(stderr, "frontend: %s %.3f ms a frame, %.2f%% of the 13.33 ms step\n", what, ms, 100.0 * ms / kStepMs);
}

void BM_MainPageWork(benchmark::State& state) {
    QueueFacility facility;
    Bench bench(&facility);
    using Clock = std::chrono::steady_clock;
    Clock::duration total{};
    int64_t frame = 0, frames = 0;
    for (auto _ : state) {
        facility.device.ClearCalls();
        bench.Input(frame++);
        const Clock::time_point start = Clock::now();
        bench.Frame();
        facility.sprites->Flush();
        total += Clock::now() - start;
        ++frames;
    }
    const double ms = std::chrono::duration<double, std::milli>(total).count() / double(frames);
    Report(state, "main page work", ms);
    if (ms > 0.05 * kStepMs) state.SkipWithError("the main page takes more than 5% of the step");
}
BENCHMARK(BM_MainPageWork)->Unit(benchmark::kMicrosecond);

void BM_MainPageFrameOnGL(benchmark::State& state) {
    std::unique_ptr<D3D8RenderFacility> facility = GLFacility();
    Bench bench(facility.get());
    MenuScreen plain(SharedString("Plain"), SharedString(""));
    plain.Load();
    plain.SetFade(0.0f);
    bench.page->SetFade(0.0f);
    using Clock = std::chrono::steady_clock;
    int64_t frame = 0;
    // One frame up to the end of the scene.
    auto timed = [&](MLP& screen) {
        const Clock::time_point start = Clock::now();
        facility->BeginScene();
        screen.HandleInput();
        screen.Update();
        screen.Render();
        facility->EndScene();
        return Clock::now() - start;
    };
    // Runs of frames of one screen, then of the other: the device draws a frame while the next
    // is prepared, so a run's frame pays for the one before it, which is of the same screen.
    constexpr int kRun = 16;
    auto run = [&](MLP& screen) {
        Clock::duration total{};
        for (int i = 0; i < kRun; ++i) {
            bench.Input(frame++);
            total += timed(screen);
        }
        return std::chrono::duration<double, std::milli>(total).count() / kRun;
    };
    run(*bench.page); // first-use work
    run(plain);
    // Medians of the runs: the software rasteriser's threads share the machine with whatever
    // else runs.
    std::vector<double> pageTimes, plainTimes;
    pageTimes.reserve(1 << 14);
    plainTimes.reserve(1 << 14);
    for (auto _ : state) {
        const double pageRun = run(*bench.page);
        const double plainRun = run(plain);
        if (pageTimes.size() < pageTimes.capacity()) {
            pageTimes.push_back(pageRun);
            plainTimes.push_back(plainRun);
        }
    }
    // The main thread's share, and the frames as the program runs them allocate nothing.
    int64_t allocations = 0, frames = 0;
    double cpuMs = 0.0, plainCpuMs = 0.0;
    for (; frames < 300; ++frames) {
        bench.Input(frame++);
        const int64_t blocksBefore = GetMemoryCounters().totalBlocks;
        const double cpuBefore = ThreadCpuMs();
        timed(*bench.page);
        cpuMs += ThreadCpuMs() - cpuBefore;
        allocations += GetMemoryCounters().totalBlocks - blocksBefore;
    }
    for (int i = 0; i < frames; ++i) {
        bench.Input(frame++);
        const double cpuBefore = ThreadCpuMs();
        timed(plain);
        plainCpuMs += ThreadCpuMs() - cpuBefore;
    }
    cpuMs /= double(frames);
    plainCpuMs /= double(frames);
    const double pageMs = Median(pageTimes);
    const double plainMs = Median(plainTimes);
    Report(state, "main page on GL, main thread", cpuMs);
    state.counters["plain_screen_main_thread_ms"] = plainCpuMs;
    state.counters["page_wall_ms"] = pageMs;
    state.counters["plain_screen_wall_ms"] = plainMs;
    state.counters["allocations_per_frame"] = double(allocations) / double(frames);
    std::fprintf(stderr,
                 "frontend: a plain menu screen's main thread %.3f ms; wall time on GL: the main page %.3f ms (%.1f%% "
                 "of the step), a plain menu screen %.3f ms (%.1f%%); %.2f allocations a frame\n",
                 plainCpuMs, pageMs, 100.0 * pageMs / kStepMs, plainMs, 100.0 * plainMs / kStepMs,
                 double(allocations) / double(frames));
    if (allocations != 0) state.SkipWithError("the frames allocated");
    else if (cpuMs > 0.05 * kStepMs) state.SkipWithError("the main page takes more than 5% of the step");
}
BENCHMARK(BM_MainPageFrameOnGL)->Unit(benchmark::kMillisecond);

// The single-player page's frame on GL, up to the end of the scene; the main page's in the
// same run for comparison.
void BM_SinglePlayerPageFrameOnGL(benchmark::State& state) {
    std::unique_ptr<D3D8RenderFacility> facility = GLFacility();
    Bench bench(facility.get());
    SinglePlayerPage& page = *bench.frontEnd->singlePlayerPage;
    if (page.view.ModelCount() != 10) abort();
    page.Load();
    ZKEngine::Instance().SetMLP(&page);
    page.SetFade(0.0f);
    bench.page->SetFade(0.0f);
    int64_t frame = 0;
    auto timed = [&](MLP& screen) {
        facility->BeginScene();
        screen.HandleInput();
        screen.Update();
        screen.Render();
        facility->EndScene();
    };
    // The cursor sweeps across the carousel; a click inside it starts a drag every 100 frames
    // and the next press ends it.
    auto input = [&] {
        bench.Input(frame);
        bench.input.cursor = {int32_t(360 + frame % 300), int32_t(170 + frame % 160)};
        if (frame % 100 == 0) bench.input.mouseReleased = {0};
        if (frame % 100 == 50) bench.input.mousePressed = {0};
        ++frame;
    };
    for (int i = 0; i < 32; ++i) {
        input();
        timed(page);
    }
    auto cpuOf = [&](MLP& screen, int frames, int64_t* allocations) {
        double ms = 0.0;
        for (int i = 0; i < frames; ++i) {
            input();
            const int64_t blocksBefore = GetMemoryCounters().totalBlocks;
            const double before = ThreadCpuMs();
            timed(screen);
            ms += ThreadCpuMs() - before;
            if (allocations) *allocations += GetMemoryCounters().totalBlocks - blocksBefore;
        }
        return ms / frames;
    };
    std::vector<double> pageMs, mainMs;
    pageMs.reserve(1 << 14);
    mainMs.reserve(1 << 14);
    int64_t allocations = 0, frames = 0;
    for (auto _ : state) {
        const double p = cpuOf(page, 16, &allocations);
        const double m = cpuOf(*bench.page, 16, nullptr);
        frames += 16;
        if (pageMs.size() < pageMs.capacity()) {
            pageMs.push_back(p);
            mainMs.push_back(m);
        }
    }
    const double pageMedian = Median(pageMs), mainMedian = Median(mainMs);
    Report(state, "single-player page (ten cars) on GL, main thread", pageMedian);
    state.counters["main_page_main_thread_ms"] = mainMedian;
    state.counters["main_page_share_pct"] = 100.0 * mainMedian / kStepMs;
    state.counters["allocations_per_frame"] = double(allocations) / double(frames);
    std::fprintf(stderr, "frontend: the main page's main thread %.3f ms (%.2f%% of the step); %.2f allocations a frame\n",
                 mainMedian, 100.0 * mainMedian / kStepMs, double(allocations) / double(frames));
    if (allocations != 0) state.SkipWithError("the frames allocated");
    else if (pageMedian > 0.05 * kStepMs) state.SkipWithError("the single-player page takes more than 5% of the step");
}
BENCHMARK(BM_SinglePlayerPageFrameOnGL)->Unit(benchmark::kMillisecond);

} // namespace
