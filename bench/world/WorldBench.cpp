// The world of a 10 x 10-block city (about 30,000 render triangles, 1,000 placed objects):
// - parsing: the six loading steps (the physics and quadtree structures they build included) as
//   a ratio to reading the same bytes with FileReader, word by word and in one block;
// - a frame: World::Update with 64 woken crates, and the part of it that is not the physics step
//   (the same scene stepped through PhysicsWorld::Simulate alone), as shares of the 13.33 ms step,
//   with the world's collision space binned as a quadtree and as a hash space.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/WorldLoading.h"
#include "tools/writers/WorldWriter.h"
#include "tools/writers/ZktWriter.h"

namespace {

constexpr float Step = 1.0f / 75.0f;
constexpr double StepMs = 1000.0 / 75.0;
using Clock = std::chrono::steady_clock;

struct BenchDir {
    BenchDir() {
        char name[] = "/tmp/world_bench_XXXXXX";
        if (!mkdtemp(name)) std::abort();
        path = name;
        std::filesystem::current_path(path);
        std::filesystem::create_directories("Maps");
        tools::CityOptions o;
        o.blocks = 10;
        o.props = false;
        o.facadeDetail = 3;
        o.cratesPerBlock = 10;
        city = tools::GenerateCity(o);
        tools::WriteWorld("Maps/World.VQW", city);
        // One load first, so the first measured run does not pay for the process's first touches.
        GameSession session;
        World warm(session, testing_support::NoEngine());
        testing_support::LoadWholeWorld(warm);
    }
    ~BenchDir() {
        std::error_code ec;
        std::filesystem::current_path("/tmp", ec);
        std::filesystem::remove_all(path, ec);
    }
    std::filesystem::path path;
    tools::WorldFile city;
};

BenchDir& Dir() {
    static BenchDir dir;
    return dir;
}


struct NullView final : DebuggerView {
    void Print(const SharedString&) override {}
};

void BM_ParseWorld(benchmark::State& state) {
    BenchDir& dir = Dir();
    static NullView quiet;
    Debugger::Instance().SetView(&quiet);
    double parse = 0.0, read = 0.0, bulk = 0.0, steps[6] = {};
    int failed = 0, placed = 0;
    int64_t runs = 0;
    for (auto _ : state) {
        state.PauseTiming();
        GameSession session;
        auto world = std::make_unique<World>(session, testing_support::NoEngine());
        world->spaceKind = state.range(0) ? SpaceKind::Hash : SpaceKind::QuadTree;
        state.ResumeTiming();
        auto t0 = Clock::now();
        Clock::time_point marks[6];
        world->LoadHeader();
        marks[0] = Clock::now();
        while (!world->LoadShadowTexture()) {
        }
        marks[1] = Clock::now();
        world->LoadStaticGeometry();
        marks[2] = Clock::now();
        world->LoadObjects();
        marks[3] = Clock::now();
        world->LoadRoutes();
        marks[4] = Clock::now();
        world->FinishLoading();
        marks[5] = Clock::now();
        auto t1 = marks[5];
        for (int s = 0; s < 6; ++s) steps[s] += std::chrono::duration<double>(marks[s] - (s ? marks[s - 1] : t0)).count();
        {
            // The same bytes read as a reader walks them: one 32-bit word at a time.
            FileReader in{SharedString("Maps/World.VQW")};
            uint32_t sum = 0;
            for (int32_t left = in.Length(); left >= 4; left -= 4) sum += in.ReadU32();
            benchmark::DoNotOptimize(sum);
        }
        auto t2 = Clock::now();
        {
            FileReader in{SharedString("Maps/World.VQW")};
            std::vector<uint8_t> bytes(size_t(in.Length()));
            in.Read(bytes.data(), in.Length());
            benchmark::DoNotOptimize(bytes.data());
        }
        bulk += std::chrono::duration<double>(Clock::now() - t2).count();
        state.PauseTiming();
        failed += world->LoadFailed() ? 1 : 0;
        placed = world->objects->ObjectCount();
        world.reset();
        state.ResumeTiming();
        parse += std::chrono::duration<double>(t1 - t0).count();
        read += std::chrono::duration<double>(t2 - t1).count();
        ++runs;
    }
    state.counters["render_triangles"] = double(dir.city.indices.size() / 3);
    state.counters["objects"] = double(dir.city.objects.size());
    state.counters["file_MB"] = double(std::filesystem::file_size("Maps/World.VQW")) / 1e6;
    state.counters["parse_ms"] = parse / double(runs) * 1e3;
    state.counters["read_words_ms"] = read / double(runs) * 1e3;
    state.counters["read_block_ms"] = bulk / double(runs) * 1e3;
    state.counters["parse_over_read_words"] = parse / read;
    state.counters["parse_over_read_block"] = parse / bulk;
    state.counters["failed_loads"] = failed;
    state.counters["placed"] = placed;
    const char* names[6] = {"header_ms", "textures_ms", "static_ms", "objects_ms", "routes_ms", "finish_ms"};
    for (int s = 0; s < 6; ++s) state.counters[names[s]] = steps[s] / double(runs) * 1e3;
    state.counters["collision_triangles"] = double(dir.city.collisionTriangles.size());
}
// Argument 0: quadtree spaces (they bin on x and y); 1: hash spaces.
BENCHMARK(BM_ParseWorld)->Unit(benchmark::kMillisecond)->Iterations(10)->Arg(0)->Arg(1);

// 64 crates woken and kept tumbling near the camera.
struct Scene {
    explicit Scene(SpaceKind kind) : world(session, testing_support::NoEngine()) {
        Dir();
        world.spaceKind = kind;
        testing_support::LoadWholeWorld(world);
        camera.SetViewport(Rect{0, 0, 640, 480});
        camera.position = Vector3(0, 300, 0);
        camera.positionDirty = 1;
        camera.RebuildProjection();
        camera.Apply();
        world.objects->BeginFrame(&camera);
        // Queued as a touch queues them: bodies at the next sub-step, then into the world space.
        for (int i = 0; i < world.objects->ObjectCount() && woken.size() < 64; i += 15) {
            WorldObject& o = world.objects->Object(i);
            world.objects->Pending().push_back(&o);
            woken.push_back(&o);
        }
    }
    void Kick(int frame) {
        if (frame % 50 != 0) return;
        for (WorldObject* o : woken)
            if (RigidBody* b = o->Body()) {
                b->Enable();
                b->SetLinearVelocity(Vector3(0, 150, 0));
                b->SetAngularVelocity(Vector3(1, 2, 0.5f));
            }
    }
    GameSession session;
    World world;
    Camera camera;
    std::vector<WorldObject*> woken;
};

void BM_WorldUpdate(benchmark::State& state) {
    static NullView quiet;
    Debugger::Instance().SetView(&quiet);
    const SpaceKind kind = state.range(0) ? SpaceKind::Hash : SpaceKind::QuadTree;
    Scene update(kind), physicsOnly(kind);
    double total = 0.0, physics = 0.0;
    int64_t frames = 0;
    for (auto _ : state) {
        update.Kick(int(frames));
        physicsOnly.Kick(int(frames));
        auto t0 = Clock::now();
        update.world.Update(&update.camera, Step);
        update.world.objects->BeginFrame(&update.camera);
        update.world.Cull(update.camera);
        auto t1 = Clock::now();
        physicsOnly.world.physics.Simulate(Step, 75.0f, 1.0f);
        auto t2 = Clock::now();
        total += std::chrono::duration<double>(t1 - t0).count();
        physics += std::chrono::duration<double>(t2 - t1).count();
        ++frames;
    }
    const double totalMs = total / double(frames) * 1e3, physicsMs = physics / double(frames) * 1e3;
    state.counters["woken"] = double(update.woken.size());
    state.counters["update_ms"] = totalMs;
    state.counters["update_share_of_step"] = totalMs / StepMs;
    state.counters["own_work_share_of_step"] = std::max(0.0, totalMs - physicsMs) / StepMs;
}
// Argument 0: the quadtree space (bins on x and y); 1: the hash space.
BENCHMARK(BM_WorldUpdate)->Unit(benchmark::kMicrosecond)->Iterations(600)->Arg(0)->Arg(1);

} // namespace
