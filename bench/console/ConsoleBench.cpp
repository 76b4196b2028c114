// Costs of the console's log sink and of the per-frame action queries.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "engine/core/Console.h"
#include "engine/core/InputActions.h"
#include "tests/support/FakeInputDevice.h"

namespace {

// The log file goes to a scratch directory.
struct ScratchDir {
    ScratchDir() {
        char pattern[] = "/tmp/console-bench-XXXXXX";
        if (mkdtemp(pattern) && chdir(pattern) == 0) path = pattern;
    }
    std::string path;
};

void BM_ConsolePrintAndTrim(benchmark::State& state) {
    static ScratchDir dir;
    zkConsole console;
    SharedString line("ENGINE: Using Main page for 12.34 seconds");
    int64_t n = 0;
    for (auto _ : state) {
        console.Print(line);
        if (++n % 32 == 0) console.Update(0.016f);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ConsolePrintAndTrim);

// A monospaced canvas that only counts what would be drawn.
class CountingCanvas final : public ConsoleCanvas {
public:
    void LoadBackground(const SharedString&) override {}
    int32_t ScreenWidth() override { return 800; }
    int32_t ScreenHeight() override { return 600; }
    Rect Viewport() override { return Rect{0, 0, 800, 600}; }
    int32_t CharacterHeight() override { return 17; }
    int32_t TextWidth(const SharedString&, int32_t, int32_t length) override { return 8 * length; }
    int32_t FindBreak(const SharedString&, int32_t start, int32_t length, int32_t maxWidth) override {
        const int32_t fit = maxWidth / 8;
        return length > fit ? start + fit : start + length;
    }
    void DrawBackground(const Rect&, Color) override { ++draws; }
    void DrawText(int32_t, int32_t, const SharedString&, int32_t, int32_t, Color) override { ++draws; }
    int64_t draws = 0;
};

// One frame of the open console over a full scroll-back of long, wrapping log lines.
void BM_ConsoleRenderFullScrollBack(benchmark::State& state) {
    static ScratchDir dir;
    zkConsole console;
    CountingCanvas canvas;
    console.SetCanvas(&canvas);
    const std::string wide(300, 'x'); // three rows of the 780 pixels
    for (int i = 0; i < 160; ++i) console.Print(SharedString(wide.c_str()));
    console.Open();
    console.Update(1.0f);
    for (auto _ : state) {
        console.Render();
        console.Update(0.016f);
    }
    state.counters["draws/frame"] = benchmark::Counter(double(canvas.draws) / double(state.iterations()));
    console.Close();
}
BENCHMARK(BM_ConsoleRenderFullScrollBack);

// One frame of a player's controls: eleven actions, two codes each, of every input kind.
void BM_ActionQueriesPerFrame(benchmark::State& state) {
    testing_support::FakeInputDevice input;
    input.joysticks.resize(1);
    input.joysticks[0].axes[0] = -0.5f;
    input.held = {70, 72};
    input.mouse.x = -4;
    const InputCode codes[] = {72,    73,    70,    71,    0x108, 0x109, 0x100, 0x101, 0x400, 0x401, 0x402,
                               0x403, 0x406, 0x407, 26,    27,    28,    0x10C, 0x10D, 63,    57,    0x802};
    Debugger::Instance().SetWarningLevel(0); // the program's default: trace lines filtered
    for (auto _ : state) {
        float sum = 0.0f;
        int pressed = 0;
        for (InputCode code : codes) {
            sum += GetActionValue(&input, code);
            pressed += WasActionPressed(&input, code) ? 1 : 0;
        }
        benchmark::DoNotOptimize(sum);
        benchmark::DoNotOptimize(pressed);
    }
}
BENCHMARK(BM_ActionQueriesPerFrame);

} // namespace
