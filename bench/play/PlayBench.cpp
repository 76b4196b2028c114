// A free-drive frame in the demo city: the game's control step and update with the world and the
// player's car driving, and the HUD drawn through the render facility on a recording device (the
// figure is our CPU work, not a rasteriser's). Reported: the frame's thread CPU time as a share
// of the 13.33 ms step, and the first load of the city (the six world steps) in milliseconds.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <vector>

#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "game/play/Game.h"
#include "game/vehicles/CarSelectController.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/StaticGeometryRenderer.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/RecordingFacility.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/TestSupport.h"

namespace {

double ThreadSeconds() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

constexpr float kStep = 1.0f / 75.0f;

struct FreeDrive : testing_support::RecordingFacility {
    FreeDrive() : RecordingFacility(800, 600) {
        const pid_t pid = testing_support::StartProgram(METROFARE_DEMO_BINARY, {dir.Path()});
        treeWritten = testing_support::WaitForExit(pid, std::chrono::seconds(120)) == 0;

        ZKEngine::Instance().mainThread = Thread::Current();
        engine.services.renderer = facility.get();
        engine.services.input = &input;
        engine.frameTime = kStep;

        game = std::make_unique<Game>(engine.services, nullptr, nullptr);
        game->session.gameType = 12;
        game->session.timeOfDay = 1;
        game->session.zone = 1;
        const auto t0 = std::chrono::steady_clock::now();
        while (!game->IsReady()) game->Load();
        firstLoadMs = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();

        game->Reset(false);
        game->SetMode(std::make_unique<FreeDriveMode>(*game));
        // As the loading screen starts a game.
        game->mode->Init();
        game->mode->started = 0;
        game->mode->loaded = 1;
        game->mode->Start();
        game->Activate();
        // The car select's one car is taken; the accelerator stays down.
        if (auto* select = dynamic_cast<CarSelectController*>(game->controller.get())) select->Finish();
        SetDefaultDrivingBindings(&input);
        input.held = {kKeyUp};
        for (int i = 0; i < 75; ++i) Frame();
        if (Vehicle* car = game->PlayerCar()) {
            startPosition = car->GetPosition();
            startOrientation = car->GetOrientation();
        }
    }
    // Between timed frames: the car goes back to where it was rolling after its first second,
    // before it can meet a wall, so every frame measured is one of a moving car.
    void Rewind() {
        Vehicle* car = game->PlayerCar();
        if (!car) return;
        car->SetOrientation(startOrientation);
        car->SetPosition(startPosition);
        for (int i = 0; i < 30; ++i) Frame();
    }
    ~FreeDrive() { game.reset(); }

    void Frame() {
        input.Update(kStep);
        game->HandleInput();
        game->Update();
        facility->BeginScene();
        if (game->controller) game->controller->DrawHud();
        if (game->mode) game->mode->DrawHud();
        facility->EndScene();
    }

    testing_support::TempWorkDir dir;
    bool treeWritten = false;
    testing_support::FakeInputDevice input;
    testing_support::EngineDoubles engine;
    std::unique_ptr<Game> game;
    double firstLoadMs = 0.0;
    Vector3 startPosition;
    Quaternion startOrientation;
};

void BM_FreeDriveFrame(benchmark::State& state) {
    FreeDrive drive;
    if (!drive.treeWritten || !drive.game->HasPlayerCar()) {
        state.SkipWithError("no demo tree or no car");
        return;
    }
    double cpu = 0.0;
    int64_t frames = 0;
    double speeds = 0.0;
    for (auto _ : state) {
        if (frames % 150 == 0) drive.Rewind();
        drive.device->ClearCalls();
        const double t0 = ThreadSeconds();
        drive.Frame();
        cpu += ThreadSeconds() - t0;
        ++frames;
        speeds += drive.game->hud.speed;
    }
    const double perFrame = cpu / double(frames);
    state.counters["share_of_step_pct"] = perFrame * 1000.0 / 13.33 * 100.0;
    state.counters["frame_cpu_ms"] = perFrame * 1000.0;
    state.counters["first_load_ms"] = drive.firstLoadMs;
    // What the frames did: the car's mean speed and the city's triangles gathered for drawing.
    state.counters["car_mean_speed"] = speeds / double(frames);
    state.counters["city_indices"] = drive.game->world.staticGeometry ? double(drive.game->world.staticGeometry->IndicesWritten()) : 0.0;
}
BENCHMARK(BM_FreeDriveFrame)->Unit(benchmark::kMillisecond)->Iterations(600);

}  // namespace
