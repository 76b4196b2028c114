// The demo clip ("Intro.AVI" of the demo tree: 640 x 480, 25 pictures a second, sound) played
// into the real renderer on offscreen GL at 800 x 600: each picture decoded with its sound,
// converted to BGRA, uploaded into the texture in place and presented. The playback clock jumps
// to each picture's time, so only the work is measured. Figures: milliseconds a picture and
// their share of the clip's 40 ms frame period (at most 25%), and the allocations a picture
// after the first of a playback (none).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "engine/core/Debugger.h"
#include "engine/core/Memory.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/IntroCanvas.h"
#include "platform/video/VideoPlayer.h"
#include "tools/demo/DemoTree.h"

extern "C" __attribute__((weak)) const char* __asan_default_options() { return "detect_leaks=0"; }

namespace {

const bool kHeadless = [] { return setenv("SDL_VIDEODRIVER", "offscreen", 0) == 0; }();
constexpr double kPeriodMs = 40.0;

struct JumpingClock : plat::PlaybackClock {
    double now = 0.0;
    double Now() override { return now; }
    void Sleep(double seconds) override { now += seconds; }
};

// The sound is decoded and converted like the real output's, then dropped.
struct DroppingSound : plat::SoundOutput {
    int32_t Open(int32_t rate) override { return rate; }
    void Queue(const int16_t*, uint32_t) override {}
    uint32_t QueuedFrames() override { return 0; }
    void Close() override {}
};

struct CanvasSink : plat::VideoSink {
    explicit CanvasSink(IntroCanvas& c) : canvas(c) {}
    void ShowPicture(const plat::VideoPicture& p) override {
        canvas.ShowPicture(p.pixels, p.pitch);
        ++shown;
    }
    IntroCanvas& canvas;
    int64_t shown = 0;
};

std::string DemoClip() {
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "metrofare-intro-bench";
    std::filesystem::create_directories(dir);
    for (const tools::DemoStep& step : tools::DemoSteps())
        if (std::string(step.name) == "intro video" && step.write(dir)) return (dir / "Intro.AVI").string();
    std::fprintf(stderr, "intro: cannot write the demo clip\n");
    abort();
}

void BM_IntroPictureOnGL(benchmark::State& state) {
    Debugger::Instance().SetWarningLevel(0);
    const std::string clip = DemoClip();
    auto facility = std::make_unique<D3D8RenderFacility>();
    facility->ChooseDevice(-1);
    facility->RequestMode({800, 600, 32, 60});
    facility->CreateDevice(false);
    if (!facility->DeviceReady()) abort();
    RenderIntroCanvas canvas(*facility);
    int32_t maxWidth = 0, maxHeight = 0;
    if (!canvas.MaxPictureSize(maxWidth, maxHeight)) abort();
    CanvasSink sink(canvas);
    DroppingSound sound;
    JumpingClock clock;
    std::unique_ptr<plat::VideoPlayer> player;
    // A playback's first picture pays for setting up: it is shown outside the measurement.
    auto restart = [&] {
        if (player) player->Stop();
        canvas.End();
        std::string error;
        player = plat::VideoPlayer::Open(clip.c_str(), maxWidth, maxHeight, error);
        if (!player || !canvas.Begin(player->Width(), player->Height()) || !player->Start(&sound, clock)) abort();
        player->Wait(1, sink);
    };
    restart();
    // The device's first draws (programs, buffers) are made before the measurement.
    for (int i = 0; i < 10; ++i) player->Wait(uint32_t(kPeriodMs), sink);

    using Clock = std::chrono::steady_clock;
    Clock::duration total{};
    int64_t pictures = 0, allocations = 0;
    for (auto _ : state) {
        state.PauseTiming();
        if (player->PicturesShown() >= 75) restart();
        const int64_t shownBefore = sink.shown;
        const int64_t blocksBefore = GetMemoryCounters().totalBlocks;
        state.ResumeTiming();
        const Clock::time_point start = Clock::now();
        // One frame period: exactly the next picture falls due.
        player->Wait(uint32_t(kPeriodMs), sink);
        total += Clock::now() - start;
        state.PauseTiming();
        allocations += GetMemoryCounters().totalBlocks - blocksBefore;
        pictures += sink.shown - shownBefore;
        state.ResumeTiming();
    }
    player->Stop();
    canvas.End();
    if (pictures == 0) {
        state.SkipWithError("no picture shown");
        return;
    }
    const double ms = std::chrono::duration<double, std::milli>(total).count() / double(pictures);
    state.counters["ms_per_picture"] = ms;
    state.counters["share_of_period_pct"] = 100.0 * ms / kPeriodMs;
    state.counters["allocations_per_picture"] = double(allocations) / double(pictures);
    std::fprintf(stderr, "intro: %.2f ms a picture, %.1f%% of the 40 ms frame period; %.2f allocations a picture\n",
                 ms, 100.0 * ms / kPeriodMs, double(allocations) / double(pictures));
    if (ms > 0.25 * kPeriodMs) state.SkipWithError("a picture takes more than 25% of the frame period");
    else if (allocations != 0) state.SkipWithError("pictures after the first allocated");
}
// One run of four playbacks' worth of pictures.
BENCHMARK(BM_IntroPictureOnGL)->Iterations(300)->Unit(benchmark::kMillisecond);

}  // namespace
