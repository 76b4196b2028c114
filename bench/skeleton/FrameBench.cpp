// Costs of the engine's frame over idle devices and of the input device's per-frame work.
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <cstdlib>
#include <string>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/render/NullRenderFacility.h"

namespace {

// The console's log file goes to a scratch directory.
struct ScratchDir {
    ScratchDir() {
        char pattern[] = "/tmp/skeleton-bench-XXXXXX";
        if (mkdtemp(pattern) && chdir(pattern) == 0) path = pattern;
    }
    std::string path;
};

class ReadyPage : public MLP {
public:
    bool IsReady() override { return true; }
};

// One whole frame: timing, tasks, input, the MLP's three calls, console, scene and counters.
void BM_EngineFrame(benchmark::State& state) {
    static ScratchDir dir;
    ZKEngine* engine = new ZKEngine;
    DInputDevice* input = new DInputDevice;
    engine->Init(new NullRenderFacility, new NullAudioDevice, input, SharedString(""));
    input->Init(nullptr, false);
    Debugger::Instance().SetWarningLevel(0);
    ReadyPage page;
    engine->SetMLP(&page);
    for (auto _ : state) engine->Frame();
    state.SetItemsProcessed(state.iterations());
    engine->Shutdown();
    delete input;
    delete engine;
}
BENCHMARK(BM_EngineFrame);

// The input device's update and the questions a menu and a car ask of every key each frame.
void BM_InputUpdateAndKeyQueries(benchmark::State& state) {
    DInputDevice input;
    input.Init(nullptr, false);
    int64_t answers = 0;
    for (auto _ : state) {
        input.Update(1.0f / 60.0f);
        for (uint32_t key = 0; key < kEngineKeyCount; ++key)
            answers += input.Pressed(key) + input.Held(key) + input.Released(key) + input.Repeat(key, 0.25f, 0.05f);
    }
    benchmark::DoNotOptimize(answers);
    state.SetItemsProcessed(state.iterations() * kEngineKeyCount);
}
BENCHMARK(BM_InputUpdateAndKeyQueries);

} // namespace
