// The cab mission's crowd in the demo city: 8 player cars in a ring, the crowd on the pavements
// round them and, in the fare mission, its eight currency pedestrians waiting with their
// destinations. Per frame: the manager's (or the controller's) update, one physics sub-step of
// every placed pedestrian's bounds, their frame update (dodging the cars, looking for a cab) and
// the cull, as a share of the 13.33 ms step (thread CPU time, median of the frames). Printed side
// by side in one run: the plain crowd, the fare mission's crowd, and what the fares add.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/EngineServices.h"
#include "engine/core/Thread.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/PedestrianController.h"
#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"
#include "tests/support/ProgramRun.h"
#include "tests/support/WorldLoading.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

constexpr float kStep = 1.0f / 75.0f;
constexpr double kStepMs = 1000.0 / 75.0;
constexpr int kCars = 8;

struct NullView final : DebuggerView {
    void Print(const SharedString&) override {}
};

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

// The demo tree in a temporary directory, with two people kinds when it has none.
struct DemoDir {
    DemoDir() {
        Debugger::Instance().SetView(&view);
        char name[] = "/tmp/fare_bench_XXXXXX";
        if (!mkdtemp(name)) std::abort();
        path = name;
        const pid_t pid = testing_support::StartProgram(METROFARE_DEMO_BINARY, {path.string()});
        if (testing_support::WaitForExit(pid, std::chrono::seconds(120)) != 0) std::abort();
        std::filesystem::current_path(path);
        for (const char* kind : {"PED01", "PED02"}) {
            const std::filesystem::path folder = std::filesystem::path("Pedestrians") / kind;
            if (std::filesystem::exists(std::filesystem::path("Pedestrians") / (std::string(kind) + ".VQP"))) continue;
            std::filesystem::create_directories(folder);
            std::ofstream(std::filesystem::path("Pedestrians") / (std::string(kind) + ".VQP"));
            tools::WriteZkm(SharedString((folder / "Body.ZKM").string().c_str()), tools::FigureModel("Figure.ZKT"));
            tools::WriteZka(SharedString((folder / "Walk.ZKA").string().c_str()), tools::WaveAnimation(8, 0.3125f));
        }
        ZKEngine::Instance().mainThread = Thread::Current();
        CarDefinition::LoadAll();
        car = CarCatalogue::Instance().At(0);
        if (!car || !car->IsValid()) std::abort();
    }
    ~DemoDir() {
        std::error_code ec;
        std::filesystem::current_path("/tmp", ec);
        std::filesystem::remove_all(path, ec);
    }
    NullView view;
    std::filesystem::path path;
    const CarDefinition* car = nullptr;
};

DemoDir& Dir() {
    static DemoDir dir;
    return dir;
}

// Eight player cars in a ring round the city's centre; the crowd (and the fares) round them.
struct Scene {
    static const EngineServices& Clocked(uint32_t& frame) {
        static EngineServices services;
        services.frameNumber = &frame;
        return services;
    }
    explicit Scene(bool fares) : world(session, Clocked(frame)), context(world, session) {
        if (!testing_support::LoadWholeWorld(world)) std::abort();
        session.gameType = 0;
        context.rules = &rules;
        for (int i = 0; i < kCars; ++i) {
            std::unique_ptr<Vehicle> car = Vehicle::Create(context, Dir().car);
            world.physics.AddObject(car.get());
            const float a = float(i) * 6.2831853f / float(kCars);
            car->SetPosition(Vector3(400.0f * std::cos(a), 5.0f, 400.0f * std::sin(a)));
            car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
            context.vehicles.push_back(car.get());
            context.ownedVehicles.push_back(std::move(car));
        }
        camera.SetViewport(Rect{0, 0, 800, 600});
        camera.SetFarPlane(10000.0f);
        camera.RebuildProjection();
        camera.position = Vector3(0, 60, 0);
        camera.positionDirty = camera.orientationDirty = 1;
        camera.Apply();
        if (fares) {
            auto made = std::make_unique<PedestrianController>(world, &context, nullptr);
            controller = made.get();
            manager = std::move(made);
        } else {
            manager = std::make_unique<PedestrianManager>(world, &context, nullptr);
        }
        manager->Init();
        manager->density = 1.0f;
    }
    ~Scene() {
        manager.reset();
        PedestrianManager::ForgetCrowdForTests();
        context.vehicles.clear();
        context.ownedVehicles.clear();
    }
    void Frame() {
        ++frame;
        manager->Update();
        const std::vector<Pedestrian*>& crowd = PedestrianManager::Crowd().active;
        static const std::vector<LocalCurrencyPedestrian*> none;
        const std::vector<LocalCurrencyPedestrian*>& currency = controller ? controller->active : none;
        for (Pedestrian* p : crowd) p->UpdateBounds(world.physics, kStep);
        for (Pedestrian* p : currency) p->UpdateBounds(world.physics, kStep);
        for (Pedestrian* p : crowd) p->Update(world, &camera, kStep);
        for (Pedestrian* p : currency) p->Update(world, &camera, kStep);
        for (Pedestrian* p : crowd) p->Cull(world, camera);
        for (Pedestrian* p : currency) p->Cull(world, camera);
    }
    size_t Placed() const { return PedestrianManager::Crowd().active.size() + (controller ? controller->active.size() : 0); }

    uint32_t frame = 0;
    GameSession session;
    World world;
    DrivingRules rules;
    VehicleContext context;
    Camera camera;
    std::unique_ptr<PedestrianManager> manager;
    PedestrianController* controller = nullptr;
};

double MedianFrameMs(bool fares, int frames, size_t& placed) {
    plat::SetEngineRandSeed(3);
    Scene scene(fares);
    for (int i = 0; i < 150; ++i) scene.Frame();  // everyone out
    std::vector<double> times;
    times.reserve(size_t(frames));
    for (int i = 0; i < frames; ++i) {
        const double t0 = ThreadSeconds();
        scene.Frame();
        times.push_back(ThreadSeconds() - t0);
    }
    placed = scene.Placed();
    return Median(times) * 1000.0;
}

void BM_FareMissionCrowdFrame(benchmark::State& state) {
    Dir();
    double crowd = 0.0, fares = 0.0;
    size_t crowdPlaced = 0, faresPlaced = 0;
    for (auto _ : state) {
        crowd = MedianFrameMs(false, 1000, crowdPlaced);
        fares = MedianFrameMs(true, 1000, faresPlaced);
    }
    state.counters["crowd_share_of_step_pct"] = crowd / kStepMs * 100.0;
    state.counters["fare_mission_share_of_step_pct"] = fares / kStepMs * 100.0;
    state.counters["fares_add_share_of_step_pct"] = (fares - crowd) / kStepMs * 100.0;
    state.counters["crowd_placed"] = double(crowdPlaced);
    state.counters["fare_mission_placed"] = double(faresPlaced);
}
BENCHMARK(BM_FareMissionCrowdFrame)->Unit(benchmark::kMillisecond)->Iterations(1);

}  // namespace
