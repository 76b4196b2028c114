// The crowd's frame: 64 pedestrians on the pavements of the demo city round 8 player cars; per
// frame the manager's update, one physics sub-step of their bounds updates, their frame update
// (dodging the cars) and the cull, as a share of the 13.33 ms step (thread CPU time, median of
// the frames). The spawn search on a 20,000-node pavement graph: FindSpawnNodes per call as a
// share of the step, beside a full scan of every node with the same test as the baseline.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/Thread.h"
#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"
#include "engine/core/EngineServices.h"
#include "tests/support/WorldLoading.h"
#include "tools/writers/CarWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/WorldWriter.h"

namespace {

constexpr float Step = 1.0f / 75.0f;
constexpr double StepMs = 1000.0 / 75.0;
constexpr int Cars = 8;

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

// The demo city, two kinds of people as the demo tree has them and a taxi, in a temporary
// directory.
struct BenchDir {
    BenchDir() {
        Debugger::Instance().SetView(&view);
        char name[] = "/tmp/pedestrian_bench_XXXXXX";
        if (!mkdtemp(name)) std::abort();
        path = name;
        std::filesystem::current_path(path);
        for (const char* d : {"Maps", "Vehicles/Taxi", "Pedestrians/PED01", "Pedestrians/PED02"})
            std::filesystem::create_directories(d);
        tools::CityOptions o;
        o.props = false;
        tools::WriteWorld("Maps/World.VQW", tools::GenerateCity(o));
        for (const char* kind : {"PED01", "PED02"}) {
            std::FILE* f = std::fopen((std::string("Pedestrians/") + kind + ".VQP").c_str(), "wb");
            if (!f) std::abort();
            std::fclose(f);
            const std::string folder = std::string("Pedestrians/") + kind + "/";
            tools::WriteZkm(SharedString((folder + "Body.ZKM").c_str()), tools::PersonModel("Figure.ZKT"));
            tools::WriteZka(SharedString((folder + "Walk.ZKA").c_str()), tools::WaveAnimation(8, 0.3125f));
            tools::WriteZka(SharedString((folder + "Run.ZKA").c_str()), tools::WaveAnimation(8, 0.15625f));
            tools::WriteZka(SharedString((folder + "Jump.ZKA").c_str()), tools::WaveAnimation(6, 0.1f));
            tools::WriteZka(SharedString((folder + "Idle.ZKA").c_str()), tools::WaveAnimation(8, 0.375f));
        }
        tools::WriteVqc(SharedString("Vehicles/Taxi.VQC"), tools::TaxiCar("Bench taxi"));
        tools::WriteZkm("Vehicles/Taxi/Chassis0.ZKM", tools::CarChassisModel("Body.ZKT", Vector3(9.0f, 3.5f, 22.0f), 0.0f));
        const tools::ZkmModel wheel = tools::WheelModel("Wheel.ZKT", 12, 3.5f, 1.5f);
        tools::WriteZkm("Vehicles/Taxi/FrontWheel.ZKM", wheel);
        tools::WriteZkm("Vehicles/Taxi/BackWheel.ZKM", wheel);
        ZKEngine::Instance().mainThread = Thread::Current();
        CarDefinition::LoadAll();
        taxi = CarCatalogue::Instance().FindByName(SharedString("Taxi"));
        if (!taxi || !taxi->IsValid()) std::abort();
    }
    ~BenchDir() {
        std::error_code ec;
        std::filesystem::current_path("/tmp", ec);
        std::filesystem::remove_all(path, ec);
    }
    NullView view;
    std::filesystem::path path;
    const CarDefinition* taxi = nullptr;
};

BenchDir& Dir() {
    static BenchDir dir;
    return dir;
}

// Eight player cars in a ring of 400 round the city's centre, rolling slowly round it; the
// crowd on the pavements round them, the camera among them looking along the cars' way.
struct CrowdScene {
    // The frame clock the pedestrians read (their cull keeps one frame's list per kind).
    static const EngineServices& Clocked(uint32_t& frame) {
        static EngineServices services;
        services.frameNumber = &frame;
        return services;
    }
    CrowdScene() : world(session, Clocked(frame)), context(world, session) {
        if (!testing_support::LoadWholeWorld(world)) std::abort();
        context.rules = &rules;
        for (int i = 0; i < Cars; ++i) {
            std::unique_ptr<Vehicle> car = Vehicle::Create(context, Dir().taxi);
            world.physics.AddObject(car.get());
            const float a = float(i) * 6.2831853f / float(Cars);
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
        manager = std::make_unique<PedestrianManager>(world, &context, nullptr);
        manager->Init();
        manager->density = 1.0f;
    }
    ~CrowdScene() {
        manager.reset();
        PedestrianManager::ReleaseCrowd();
        context.vehicles.clear();
        context.ownedVehicles.clear();
    }
    void Frame() {
        ++frame;
        manager->Update();
        std::vector<Pedestrian*>& active = PedestrianManager::Crowd().active;
        for (Pedestrian* p : active) p->UpdateBounds(world.physics, Step);
        for (Pedestrian* p : active) p->Update(world, &camera, Step);
        for (Pedestrian* p : active) p->Cull(world, camera);
    }

    uint32_t frame = 0;
    GameSession session;
    World world;
    DrivingRules rules;
    VehicleContext context;
    Camera camera;
    std::unique_ptr<PedestrianManager> manager;
};

void BM_CrowdFrame(benchmark::State& state) {
    Dir();
    plat::SetEngineRandSeed(3);
    CrowdScene scene;
    for (int i = 0; i < 150; ++i) scene.Frame();  // 64 out
    std::vector<double> times;
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        scene.Frame();
        times.push_back(ThreadSeconds() - t0);
    }
    const double ms = Median(times) * 1000.0;
    size_t culled = 0;
    for (const auto& type : PedestrianManager::Crowd().types) culled += type->drawList.size();
    state.counters["crowd_ms"] = ms;
    state.counters["share_of_step_pct"] = ms / StepMs * 100.0;
    state.counters["active"] = double(PedestrianManager::Crowd().active.size());
    state.counters["culled"] = double(culled);
}
BENCHMARK(BM_CrowdFrame)->Unit(benchmark::kMillisecond)->Iterations(1500);

// A 20,000-node pavement graph: a 200 x 100 grid 40 apart, each node linked to its row
// neighbours; every tenth node held, every fifteenth restricted.
struct BigGraph {
    BigGraph() {
        graph.Resize(20000);
        for (int i = 0; i < 20000; ++i) {
            RoadNode& n = graph.nodes[size_t(i)];
            n.position = Vector3(float(i % 200) * 40.0f - 4000.0f, 0.0f, float(i / 200) * 40.0f - 2000.0f);
            if (i % 200 != 0) n.links.push_back(&graph.nodes[size_t(i - 1)]);
            if (i % 200 != 199) n.links.push_back(&graph.nodes[size_t(i + 1)]);
            if (i % 10 == 0) n.occupancy = 1;
            if (i % 15 == 0) n.occupancy |= RoadNode::Restricted;
        }
        graph.BuildStrides();
        circles = {SpawnCircle{Vector3(0, 0, 0), 2000.0f * 2000.0f, 1500.0f * 1500.0f},
                   SpawnCircle{Vector3(600, 0, 300), 2000.0f * 2000.0f, 1500.0f * 1500.0f}};
        found.reserve(20000);
    }
    // The baseline: every node, with the same test.
    void FullScan() {
        found.clear();
        for (int32_t i = 0; i < int32_t(graph.nodes.size()); ++i) {
            const RoadNode& node = graph.nodes[size_t(i)];
            if (node.occupancy != 0) continue;
            bool freeLink = false;
            for (const RoadNode* to : node.links) freeLink = freeLink || (to && (to->occupancy & RoadNode::CountMask) == 0);
            if (!freeLink) continue;
            bool inside = false, tooNear = false;
            for (const SpawnCircle& c : circles) {
                const float dx = node.position.x - c.centre.x, dz = node.position.z - c.centre.z;
                const float d2 = dx * dx + dz * dz;
                inside = inside || d2 < c.outerSquared;
                tooNear = tooNear || d2 <= c.innerSquared;
            }
            if (inside && !tooNear) found.push_back(i);
        }
    }
    RoadGraph graph;
    std::vector<SpawnCircle> circles;
    std::vector<int32_t> found;
};

void BM_FindSpawnNodes(benchmark::State& state) {
    plat::SetEngineRandSeed(5);
    BigGraph big;
    std::vector<double> searchTimes, scanTimes;
    size_t searched = 0, scanned = 0;
    for (auto _ : state) {
        double t0 = ThreadSeconds();
        big.graph.FindSpawnNodes(big.circles, big.found);
        double t1 = ThreadSeconds();
        searched = big.found.size();
        big.FullScan();
        double t2 = ThreadSeconds();
        scanned = big.found.size();
        searchTimes.push_back(t1 - t0);
        scanTimes.push_back(t2 - t1);
    }
    const double searchUs = Median(searchTimes) * 1e6, scanUs = Median(scanTimes) * 1e6;
    state.counters["find_spawn_us"] = searchUs;
    state.counters["full_scan_us"] = scanUs;
    state.counters["ratio_to_full_scan"] = scanUs > 0.0 ? searchUs / scanUs : 0.0;
    state.counters["share_of_step_pct"] = searchUs / 1000.0 / StepMs * 100.0;
    state.counters["found"] = double(searched);
    state.counters["found_by_scan"] = double(scanned);
}
BENCHMARK(BM_FindSpawnNodes)->Unit(benchmark::kMicrosecond)->Iterations(2000);

} // namespace
