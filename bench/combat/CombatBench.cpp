// Combat in a 10 x 10-block city at 75 Hz: 32 demo cars driving back and forth, 8 of them firing
// chain guns at full spin, 4 flamers, 16 rockets kept in the air and 4 growing blasts kept
// going. Two scenes run interleaved in the same process, the same cars in each, one armed and
// one not; the physics library's own step (dWorldStep, timed through a link-time wrapper) is
// taken out of both. Printed: the combat work outside the library's step (the armed scene's
// rest less the unarmed scene's) as a share of the 13.33 ms step; and the tracers' collision
// (the game's pre-step over a frame's worth of bullet rays) against the same rays through raw
// dSpaceCollide2 on the same space, as a ratio. Medians of per-frame thread CPU time.
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
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/FlamerEffect.h"
#include "game/vehicles/Gunfire.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/Weapons.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/WorldLoading.h"
#include "tools/demo/DemoTree.h"
#include "tools/writers/WorldWriter.h"

namespace {

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Thread time spent inside the physics library's step since the last reset.
double g_stepSeconds = 0.0;

} // namespace

extern "C" int __real_dWorldStep(dWorldID world, dReal stepsize);
extern "C" int __wrap_dWorldStep(dWorldID world, dReal stepsize) {
    const double t0 = ThreadSeconds();
    const int result = __real_dWorldStep(world, stepsize);
    g_stepSeconds += ThreadSeconds() - t0;
    return result;
}

namespace {

constexpr float Step = 1.0f / 75.0f;
constexpr double StepMs = 1000.0 / 75.0;
constexpr int Cars = 32;
constexpr int Guns = 8, Flamers = 4, RocketCars = 2, Rockets = 16, Blasts = 4;
constexpr int Blocks = 10;
constexpr float BlockSize = 800.0f, RoadWidth = 160.0f;
constexpr int Period = 225;  // steps between turning round (3 s)
constexpr int RaysPerProbe = 16;

struct NullView final : DebuggerView {
    void Print(const SharedString&) override {}
};

// Cars on both lanes of every north-south road, spread along it, all facing -z.
Vector3 Lane(int i) {
    const float s = float(Blocks) * BlockSize + float(Blocks + 1) * RoadWidth, h = s * 0.5f;
    const int roads = Blocks + 1, lanes = roads * 2;
    const int lane = i % lanes, slot = i / lanes;
    const float x = -h + RoadWidth * 0.5f + float(lane / 2) * (BlockSize + RoadWidth) + (lane % 2 ? 40.0f : -40.0f);
    const float z = -h + 1500.0f + float(slot) * 1300.0f;
    return {x, 2.5f, z};
}

struct BenchDir {
    BenchDir() {
        Debugger::Instance().SetView(&view);
        char name[] = "/tmp/combat_bench_XXXXXX";
        if (!mkdtemp(name)) std::abort();
        path = name;
        std::filesystem::current_path(path);
        std::filesystem::create_directories("Maps");
        tools::CityOptions o;
        o.blocks = Blocks;
        o.blockSize = BlockSize;
        o.roadWidth = RoadWidth;
        o.props = false;
        if (!tools::WriteWorld("Maps/World.VQW", tools::GenerateCity(o))) std::abort();
        // The demo's cars, as metrofare-demo writes them.
        bool cars = false;
        for (const tools::DemoStep& step : tools::DemoSteps())
            if (std::string(step.name) == "cars") cars = step.write(".");
        if (!cars) std::abort();
        ZKEngine::Instance().mainThread = Thread::Current();
        CarDefinition::LoadAll();
        for (CarDefinition* d : CarCatalogue::Instance().Entries())
            if (d->IsValid()) kinds.push_back(d);
        if (kinds.empty()) std::abort();
        for (uint8_t& on : UnlimitedAmmo) on = 1;
    }
    ~BenchDir() {
        std::error_code ec;
        std::filesystem::current_path("/tmp", ec);
        std::filesystem::remove_all(path, ec);
    }
    NullView view;
    std::filesystem::path path;
    std::vector<const CarDefinition*> kinds;
};

BenchDir& Dir() {
    static BenchDir dir;
    return dir;
}

struct Scene {
    explicit Scene(bool armed_) : armed(armed_), world(session, testing_support::NoEngine()), context(world, session), launchers(context) {
        session.lightDetail = 0;
        session.shadowDetail = 0;
        if (!testing_support::LoadWholeWorld(world)) std::abort();
        context.rules = &rules;
        context.launchers = &launchers;
        InstallWeaponFactories(context);
        for (int i = 0; i < Cars; ++i) {
            std::unique_ptr<Vehicle> car = Vehicle::Create(context, Dir().kinds[size_t(i) % Dir().kinds.size()]);
            if (!car) std::abort();
            world.physics.AddObject(car.get());
            car->SetOrientation(Quaternion());
            car->SetPosition(Lane(i));
            world.Add(car.get());
            context.vehicles.push_back(car.get());
            context.ownedVehicles.push_back(std::move(car));
        }
        if (!armed) return;
        for (int i = 0; i < Guns; ++i) {
            Vehicle* car = context.vehicles[size_t(i)];
            car->SetWeapon(context.itemPools[ItemKind::ChainGun].Take());
            auto* gun = WeaponOf<ChainGunWeapon>(car);
            gun->spin = 1.0f;
            gun->StartFiring();
        }
        for (int i = Guns; i < Guns + Flamers; ++i) {
            Vehicle* car = context.vehicles[size_t(i)];
            car->SetWeapon(context.itemPools[ItemKind::Flamer].Take());
            WeaponOf<FlamerWeapon>(car)->StartFiring();
        }
        for (int i = Guns + Flamers; i < Guns + Flamers + RocketCars; ++i)
            context.vehicles[size_t(i)]->SetWeapon(context.itemPools[ItemKind::RocketLauncher].Take());
    }
    ~Scene() {
        Explosion::ReleaseAll(context);
        ProjectileKinds::ReleaseAll(context);
        context.vehicles.clear();
        context.ownedVehicles.clear();
        context.itemPools.Clear();
    }

    size_t LiveRockets() const { return context.projectiles ? context.projectiles->rockets.Live().size() : 0; }
    size_t LiveBlasts() const { return context.explosions ? context.explosions->pool.Live().size() : 0; }

    void Frame() {
        const bool back = (steps / Period) % 2 == 1;
        for (Vehicle* car : context.vehicles) {
            const Matrix4 turn = car->GetOrientation().ToMatrix();
            const Vector3 v = car->GetLinearVelocity();
            const float vz = v.x * turn.m[2][0] + v.y * turn.m[2][1] + v.z * turn.m[2][2];
            if (back ? vz < -20.0f : vz >= 20.0f) {
                car->SetBrake(1.0f);
            } else {
                if (back) {
                    car->ShiftBackward();
                } else {
                    car->ShiftForward();
                }
                car->SetThrottle(1.0f);
            }
        }
        if (armed) {
            // A salvo of eight whenever half the rockets are gone; a new blast beside a car
            // whenever fewer than four grow.
            for (int i = Guns + Flamers; i < Guns + Flamers + RocketCars && LiveRockets() + 8 <= Rockets; ++i)
                if (auto* launcher = WeaponOf<RocketWeapon>(context.vehicles[size_t(i)]); launcher && launcher->reloadTimer <= 0.0f)
                    launcher->Fire();
            for (int k = 0; LiveBlasts() < Blasts && k < Blasts; ++k) {
                const Vehicle* near = context.vehicles[size_t(Guns + Flamers + RocketCars + (blastTurn++ % 8))];
                Explosion::Spawn(context, nullptr, near->GetPosition() + Vector3(60.0f, 0.0f, 0.0f), Explosion::WreckStart,
                                 Explosion::WreckMaximum, Explosion::WreckGrowth, false);
            }
        }
        camera.position = Vector3(0, 500, 0);
        world.Update(&camera, Step);
        ++steps;
    }

    bool armed;
    GameSession session;
    World world;
    DrivingRules rules;
    VehicleContext context;
    ContextProjectileLaunchers launchers;
    Camera camera;
    int steps = 0;
    int blastTurn = 0;
};

// Sixteen bullet rays (about what eight guns fire in a frame), fired in the probe scene from the
// gun cars' muzzles, the same every time.
struct RayProbe {
    struct Ray {
        const Vehicle* shooter;
        Vector3 start, direction;
    };
    explicit RayProbe(Scene& scene) {
        for (int i = 0; i < RaysPerProbe; ++i) {
            const Vehicle* car = scene.context.vehicles[size_t(i % Guns)];
            const Matrix4 turn = car->GetOrientation().ToMatrix();
            // All round the car, level, so that some meet the buildings and cars and some the
            // length of a street.
            const float a = float(i) * 6.2831853f / float(RaysPerProbe) + 0.1f;
            const Vector3 d(std::sin(a), -0.01f, -std::cos(a));
            rays.push_back({car, car->GetPosition() + turn.TransformNormal(car->Definition().chaingunPointB), d});
            dGeomID g = dCreateRay(nullptr, BulletTrail::RayLength);
            dGeomRaySetParams(g, 1, 1);
            dGeomRaySetClosestHit(g, 1);
            dGeomSetCategoryBits(g, BulletTrail::RayCategory);
            dGeomSetCollideBits(g, BulletTrail::RayCollide);
            raw.push_back(g);
        }
    }
    ~RayProbe() {
        for (dGeomID g : raw) dGeomDestroy(g);
    }

    // The game: the rays fired, then the tracers' pre-step collides them (timed); released.
    double Game(Scene& scene) {
        for (const Ray& r : rays) BulletTrail::Fire(scene.context, r.shooter->ChassisGeom(), r.start, r.direction);
        GunEffects& guns = SharedGunEffects(scene.context);
        const double t0 = ThreadSeconds();
        guns.PreStep(scene.world.physics);
        const double t = ThreadSeconds() - t0;
        hits = 0;
        for (const BulletTrail* trail : guns.liveTracers) hits += trail->hit.geom != nullptr;
        guns.ReleaseAll();
        return t;
    }

    struct RawQuery {
        dGeomID shooter;
        dContactGeom contact;
        float nearest;
        bool any;
    };
    static void Near(void* data, dGeomID a, dGeomID b) {
        auto* q = static_cast<RawQuery*>(data);
        if (dGeomIsSpace(b)) {
            dSpaceCollide2(a, b, data, &Near);
            return;
        }
        if (b == q->shooter) return;
        if (dCollide(a, b, 1, &q->contact, sizeof(dContactGeom)) > 0 && (!q->any || q->contact.depth < q->nearest)) {
            q->nearest = float(q->contact.depth);
            q->any = true;
        }
    }
    // The same rays straight through the library on the same space (timed).
    double Raw(Scene& scene) {
        dSpaceID space = reinterpret_cast<dSpaceID>(scene.world.physics.GetSpace());
        const double t0 = ThreadSeconds();
        rawHits = 0;
        for (size_t i = 0; i < rays.size(); ++i) {
            const Ray& r = rays[i];
            dGeomRaySet(raw[i], r.start.x, r.start.y, r.start.z, r.direction.x, r.direction.y, r.direction.z);
            RawQuery q{reinterpret_cast<dGeomID>(r.shooter->ChassisGeom()->GetOuterGeom()), {}, 0.0f, false};
            dSpaceCollide2(raw[i], reinterpret_cast<dGeomID>(space), &q, &Near);
            rawHits += q.any;
        }
        return ThreadSeconds() - t0;
    }

    std::vector<Ray> rays;
    std::vector<dGeomID> raw;
    int hits = 0, rawHits = 0;
};

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0.0 : v[v.size() / 2];
}

void BM_CombatOutsideTheStep(benchmark::State& state) {
    Dir();
    Scene armed(true), plain(false), probe(false);
    for (int i = 0; i < 75; ++i) {
        armed.Frame();
        plain.Frame();
    }
    probe.Frame();
    RayProbe rays(probe);
    std::vector<double> armedRest, plainRest, gameRays, rawRays;
    double rockets = 0.0, blasts = 0.0, tracers = 0.0, blobs = 0.0;
    for (auto _ : state) {
        g_stepSeconds = 0.0;
        double t0 = ThreadSeconds();
        armed.Frame();
        armedRest.push_back(ThreadSeconds() - t0 - g_stepSeconds);
        g_stepSeconds = 0.0;
        t0 = ThreadSeconds();
        plain.Frame();
        plainRest.push_back(ThreadSeconds() - t0 - g_stepSeconds);
        // Game and raw rays alternate which goes first.
        if (armed.steps % 2) {
            gameRays.push_back(rays.Game(probe));
            rawRays.push_back(rays.Raw(probe));
        } else {
            rawRays.push_back(rays.Raw(probe));
            gameRays.push_back(rays.Game(probe));
        }
        rockets += double(armed.LiveRockets());
        blasts += double(armed.LiveBlasts());
        if (armed.context.guns) {
            tracers += double(armed.context.guns->liveTracers.size());
            for (const FlamerEffect* f : armed.context.guns->flamers) blobs += double(f->liveBlobs.size());
        }
    }
    const double n = double(std::max<size_t>(armedRest.size(), 1));
    const double combatMs = (Median(armedRest) - Median(plainRest)) * 1000.0;
    state.counters["armed_rest_ms"] = Median(armedRest) * 1000.0;
    state.counters["plain_rest_ms"] = Median(plainRest) * 1000.0;
    state.counters["combat_ms"] = combatMs;
    state.counters["combat_share_of_step_pct"] = combatMs / StepMs * 100.0;
    const double gameUs = Median(gameRays) * 1e6, rawUs = Median(rawRays) * 1e6;
    state.counters["tracer_rays_us"] = gameUs;
    state.counters["raw_rays_us"] = rawUs;
    state.counters["tracer_ratio_to_raw"] = rawUs > 0.0 ? gameUs / rawUs : 0.0;
    state.counters["ray_hits_game"] = rays.hits;
    state.counters["ray_hits_raw"] = rays.rawHits;
    state.counters["mean_rockets"] = rockets / n;
    state.counters["mean_blasts"] = blasts / n;
    state.counters["mean_tracers"] = tracers / n;
    state.counters["mean_blobs"] = blobs / n;
}
BENCHMARK(BM_CombatOutsideTheStep)->Unit(benchmark::kMillisecond)->Iterations(600);

} // namespace
