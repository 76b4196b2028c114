// The city's traffic at 75 Hz: 8 player cars of the demo standing on a 100 x 100-node lane grid
// (10,000 nodes, flat ground), 128 traffic cars of the demo's kinds driving round them, 4 police
// cars sent after them, and in one scene 8 of the traffic cars kept knocked (simulated bodies).
// Three scenes are built alike and run interleaved in the same process: the players alone, the
// players with the traffic, and the traffic with the knocked cars. Each frame is the manager's
// update, the world's update (one physics sub-step, the cars' steps, the tree), the cull and the
// traffic's draw call. Printed: the traffic's frame cost (knocked scene less the players alone)
// as a share of the 13.33 ms step and per car; and the knocked cars' cost (knocked scene less
// the plain traffic) against a raw physics-library rig of the same boxes on a plane, same run,
// as a ratio. Medians of per-frame thread CPU time.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <ctime>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "game/traffic/TrafficManager.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/RigidBody.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tools/demo/DemoTree.h"

namespace {

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

constexpr float Step = 1.0f / 75.0f;
constexpr double StepMs = 1000.0 / 75.0;
constexpr int Grid = 100;            // nodes a side
constexpr float Spacing = 200.0f;    // between nodes
constexpr int Players = 8, Opponents = 4, Knocked = 8;
constexpr float Half = Grid * Spacing * 0.5f;

struct NullView final : DebuggerView {
    void Print(const SharedString&) override {}
};

struct BenchDir {
    BenchDir() {
        Debugger::Instance().SetView(&view);
        char name[] = "/tmp/traffic_bench_XXXXXX";
        if (!mkdtemp(name)) std::abort();
        path = name;
        std::filesystem::current_path(path);
        // The demo's cars (the traffic kinds among them), as metrofare-demo writes them.
        bool cars = false;
        for (const tools::DemoStep& step : tools::DemoSteps())
            if (std::string(step.name) == "cars") cars = step.write(".");
        if (!cars) std::abort();
        ZKEngine::Instance().mainThread = Thread::Current();
        CarDefinition::LoadAll();
        player = CarCatalogue::Instance().FindByName(SharedString("CabMetro"));
        if (!player || !CarCatalogue::Instance().FindByFlag(kCarPolice)) std::abort();
    }
    ~BenchDir() {
        std::error_code ec;
        std::filesystem::current_path("/tmp", ec);
        std::filesystem::remove_all(path, ec);
    }
    NullView view;
    std::filesystem::path path;
    const CarDefinition* player = nullptr;
};

BenchDir& Dir() {
    static BenchDir dir;
    return dir;
}

// A lane grid: every node linked to its neighbours along x and z.
void BuildGrid(RoadGraph& g) {
    g.Resize(Grid * Grid);
    for (int z = 0; z < Grid; ++z)
        for (int x = 0; x < Grid; ++x) {
            RoadNode& n = g.nodes[size_t(z * Grid + x)];
            n.position = Vector3(-Half + float(x) * Spacing, 0.0f, -Half + float(z) * Spacing);
            n.speedFactor = 1.0f;
            if (x + 1 < Grid) n.links.push_back(&g.nodes[size_t(z * Grid + x + 1)]);
            if (x > 0) n.links.push_back(&g.nodes[size_t(z * Grid + x - 1)]);
            if (z + 1 < Grid) n.links.push_back(&g.nodes[size_t((z + 1) * Grid + x)]);
            if (z > 0) n.links.push_back(&g.nodes[size_t((z - 1) * Grid + x)]);
        }
    g.BuildStrides();
}

struct Scene {
    Scene(bool traffic_, bool knock_)
        : traffic(traffic_), knock(knock_), ground(0.0f, 1.0f, 0.0f, 0.0f), context(world, session) {
        session.lightDetail = 0;
        session.shadowDetail = 0;
        world.physics.CreateSpace(Vector3(), Vector3(Half + 2000.0f, 1000.0f, Half + 2000.0f), 4, SpaceKind::Hash);
        world.Create(Vector3(), Vector3(Half + 2000.0f, 1000.0f, Half + 2000.0f), 7);
        ground.SetCategoryBits(1);
        ground.SetCollideBits(0);
        ground.SetSurface(&world.staticSurface);
        ground.AddToWorld(world.physics);
        context.rules = &rules;
        world.graphs.traffic = std::make_unique<RoadGraph>();
        world.graphs.driver = std::make_unique<RoadGraph>();
        BuildGrid(*world.graphs.traffic);
        BuildGrid(*world.graphs.driver);
        // The players stand on a ring round the middle, 3000 units apart.
        for (int i = 0; i < Players; ++i) {
            std::unique_ptr<Vehicle> car = Vehicle::Create(context, Dir().player);
            if (!car) std::abort();
            const float a = 6.2831853f * float(i) / float(Players);
            world.physics.AddObject(car.get());
            car->SetOrientation(Quaternion());
            car->SetPosition(Vector3(4000.0f * std::cos(a), 2.0f, 4000.0f * std::sin(a)));
            car->network.flagWord |= VehicleNetwork::PlayerCarFlag;
            world.Add(car.get());
            context.vehicles.push_back(car.get());
            context.ownedVehicles.push_back(std::move(car));
        }
        camera.position = Vector3(4000.0f, 60.0f, 300.0f);
        if (!traffic) return;
        manager = std::make_unique<TrafficManager>(world, context, fleet);
        manager->density = 1.0f;
        manager->PlaceParkedCars();
        for (int i = 0; i < 2000 && fleet.active.size() < size_t(TrafficFleet::kCarCount); ++i) manager->Update();
        if (fleet.active.size() != size_t(TrafficFleet::kCarCount)) std::abort();
        for (int i = 0; i < Opponents; ++i) manager->SpawnOpponent(context.vehicles[size_t(i * 2)], nullptr);
        if (manager->opponents.size() != size_t(Opponents)) std::abort();
    }
    ~Scene() {
        manager.reset();
        Explosion::ReleaseAll(context);
        context.vehicles.clear();
        context.ownedVehicles.clear();
        ground.RemoveFromWorld(world.physics);
    }

    int KnockedNow() const {
        int n = 0;
        for (const TrafficCar* car : fleet.active) n += car->body != nullptr;
        return n;
    }
    // Keeps eight cars knocked: a driving car is nudged off the road whenever one has rested.
    void KeepKnocked() {
        int have = KnockedNow();
        for (TrafficCar* car : fleet.active) {
            if (have >= Knocked) break;
            if (car->state != TrafficCar::Driving) continue;
            car->TakeDamage(0.01f, DamageImpact, nullptr);
            ++have;
        }
    }
    double Frame() {
        if (knock) KeepKnocked();
        ++engine.frameNumber;
        const double t0 = ThreadSeconds();
        if (manager) manager->Update();
        world.Update(&camera, Step);
        static_cast<ObjectQuadTree&>(world).Cull(static_cast<const Camera&>(camera));
        if (manager) manager->Draw(world, camera);
        return ThreadSeconds() - t0;
    }

    bool traffic, knock;
    testing_support::EngineDoubles engine;
    GameSession session;
    World world{session, engine.services};
    PlaneGeom ground;
    DrivingRules rules;
    VehicleContext context;
    TrafficFleet fleet;
    std::unique_ptr<TrafficManager> manager;
    Camera camera;
};

// The same knocked boxes straight through the library: a plane, eight boxes of a traffic car's
// size and mass, contacts with the same friction, one step a frame; a box that has come to rest
// is sent sliding again, as the scene knocks another car.
struct RawRig {
    explicit RawRig(const Vector3& size, float mass) {
        dInitODE2(0);
        world = dWorldCreate();
        dWorldSetGravity(world, 0, World::Gravity, 0);
        dWorldSetERP(world, PhysicsWorld::WorldErp);
        dWorldSetCFM(world, PhysicsWorld::WorldCfm);
        space = dHashSpaceCreate(nullptr);
        contacts = dJointGroupCreate(0);
        dCreatePlane(space, 0, 1, 0, 0);
        for (int i = 0; i < Knocked; ++i) {
            dBodyID b = dBodyCreate(world);
            dMass m;
            dMassSetBoxTotal(&m, mass, size.x, size.y, size.z);
            dBodySetMass(b, &m);
            dGeomID g = dCreateBox(space, size.x, size.y, size.z);
            dGeomSetBody(g, b);
            dBodySetPosition(b, float(i) * 200.0f, size.y * 0.5f, 0);
            dBodySetLinearVel(b, 0, 0, 125);
            bodies.push_back(b);
        }
    }
    ~RawRig() {
        dJointGroupDestroy(contacts);
        dSpaceDestroy(space);
        dWorldDestroy(world);
    }
    static void Near(void* data, dGeomID a, dGeomID b) {
        auto* rig = static_cast<RawRig*>(data);
        dContact c[8];
        const int n = dCollide(a, b, 8, &c[0].geom, sizeof(dContact));
        for (int i = 0; i < n; ++i) {
            c[i].surface.mode = 0;
            c[i].surface.mu = 100;
            dJointID j = dJointCreateContact(rig->world, rig->contacts, &c[i]);
            dJointAttach(j, dGeomGetBody(a), dGeomGetBody(b));
        }
    }
    double Frame() {
        for (dBodyID b : bodies) {
            const dReal* v = dBodyGetLinearVel(b);
            if (v[0] * v[0] + v[1] * v[1] + v[2] * v[2] < 250.0) dBodySetLinearVel(b, 0, 0, 125);
        }
        const double t0 = ThreadSeconds();
        dSpaceCollide(space, this, &Near);
        dWorldStep(world, Step);
        dJointGroupEmpty(contacts);
        return ThreadSeconds() - t0;
    }
    dWorldID world;
    dSpaceID space;
    dJointGroupID contacts;
    std::vector<dBodyID> bodies;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void BM_TrafficFrame(benchmark::State& state) {
    Dir();
    Scene alone(false, false), plain(true, false), knocked(true, true);
    const TrafficCarType& kind = *plain.fleet.types.front();
    RawRig raw(kind.boxSize, kind.mass * 2.5f);
    for (int i = 0; i < 75; ++i) {
        alone.Frame();
        plain.Frame();
        knocked.Frame();
        raw.Frame();
    }
    std::vector<double> aloneT, plainT, knockedT, rawT;
    double active = 0.0, bodies = 0.0;
    for (auto _ : state) {
        aloneT.push_back(alone.Frame());
        plainT.push_back(plain.Frame());
        knockedT.push_back(knocked.Frame());
        rawT.push_back(raw.Frame());
        active += double(knocked.fleet.active.size());
        bodies += double(knocked.KnockedNow());
    }
    const double n = double(std::max<size_t>(aloneT.size(), 1));
    const double trafficMs = (Median(knockedT) - Median(aloneT)) * 1000.0;
    const double knockMs = (Median(knockedT) - Median(plainT)) * 1000.0;
    const double rawMs = Median(rawT) * 1000.0;
    state.counters["players_alone_ms"] = Median(aloneT) * 1000.0;
    state.counters["traffic_ms"] = trafficMs;
    state.counters["traffic_share_of_step_pct"] = trafficMs / StepMs * 100.0;
    state.counters["per_car_us"] = trafficMs * 1000.0 / double(TrafficFleet::kCarCount);
    state.counters["knocked_ms"] = knockMs;
    state.counters["raw_rig_ms"] = rawMs;
    state.counters["knocked_ratio_to_raw"] = rawMs > 0.0 ? knockMs / rawMs : 0.0;
    state.counters["mean_active"] = active / n;
    state.counters["mean_knocked"] = bodies / n;
    state.counters["opponents"] = double(knocked.manager->opponents.size());
}
BENCHMARK(BM_TrafficFrame)->Unit(benchmark::kMillisecond)->Iterations(600);

}  // namespace
