// 128 taxis driven back and forth along the lanes of a 10 x 10-block city at 75 Hz: per step
// the cars' frame update, their work after the physics step and the physics itself, against a
// raw-ODE rig of the same bodies, masses, wheel joints, motors, contacts and city mesh built in
// the same run. Printed: the ratio of the medians of interleaved steps (thread CPU time) and the
// cars' step as a share of the 13.33 ms step. Also the cars' network records of a frame against
// a memcpy of the same bytes.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <algorithm>
#include <cmath>
#include <cstring>
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
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleSnapshot.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/WorldLoading.h"
#include "tools/writers/CarWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"
#include "tools/writers/WorldWriter.h"

namespace {

constexpr float Step = 1.0f / 75.0f;
constexpr double StepMs = 1000.0 / 75.0;
constexpr int Cars = 128;
constexpr int Blocks = 10;
constexpr float BlockSize = 800.0f, RoadWidth = 160.0f;
constexpr int Period = 225; // steps between turning round (3 s)
const Vector3 HalfBody{9.0f, 3.5f, 22.0f};
constexpr float WheelRadius = 3.5f;

struct NullView final : DebuggerView {
    void Print(const SharedString&) override {}
};

tools::VqcCar Taxi() { return tools::TaxiCar("Bench taxi"); }

// Cars on both lanes of every north-south road, spread along it, all facing -z.
Vector3 Lane(int i) {
    const float s = float(Blocks) * BlockSize + float(Blocks + 1) * RoadWidth, h = s * 0.5f;
    const int roads = Blocks + 1, lanes = roads * 2;
    const int lane = i % lanes, slot = i / lanes;
    const float x = -h + RoadWidth * 0.5f + float(lane / 2) * (BlockSize + RoadWidth) + (lane % 2 ? 40.0f : -40.0f);
    const float z = -h + 1500.0f + float(slot) * 1300.0f;
    return {x, WheelRadius - 1.4f, z};
}

struct BenchDir {
    BenchDir() {
        Debugger::Instance().SetView(&view);
        char name[] = "/tmp/vehicle_bench_XXXXXX";
        if (!mkdtemp(name)) std::abort();
        path = name;
        std::filesystem::current_path(path);
        std::filesystem::create_directories("Maps");
        std::filesystem::create_directories("Vehicles/Taxi");
        tools::CityOptions o;
        o.blocks = Blocks;
        o.blockSize = BlockSize;
        o.roadWidth = RoadWidth;
        o.props = false;
        city = tools::GenerateCity(o);
        tools::WriteWorld("Maps/World.VQW", city);
        tools::WriteVqc(SharedString("Vehicles/Taxi.VQC"), Taxi());
        tools::WriteZkm("Vehicles/Taxi/Chassis0.ZKM", tools::CarChassisModel("Body.ZKT", HalfBody, 0.0f));
        const tools::ZkmModel wheel = tools::WheelModel("Wheel.ZKT", 12, WheelRadius, 1.5f);
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
    tools::WorldFile city;
    const CarDefinition* taxi = nullptr;
};

BenchDir& Dir() {
    static BenchDir dir;
    return dir;
}

// ---------------------------------------------------------------------------------------------
// The cars

struct CarScene {
    CarScene() : world(session, testing_support::NoEngine()), context(world, session) {
        session.lightDetail = 0;
        session.shadowDetail = 0;
        if (!testing_support::LoadWholeWorld(world)) std::abort();
        context.rules = &rules;
        for (int i = 0; i < Cars; ++i) {
            std::unique_ptr<Vehicle> car = Vehicle::Create(context, Dir().taxi);
            world.physics.AddObject(car.get());
            car->SetOrientation(Quaternion());
            car->SetPosition(Lane(i));
            world.Add(car.get());
            context.vehicles.push_back(car.get());
            context.ownedVehicles.push_back(std::move(car));
        }
    }
    ~CarScene() {
        context.vehicles.clear();
        context.ownedVehicles.clear();
    }
    void Frame() {
        // As the player's controller drives: brake while still rolling the other way fast,
        // then the gear of the way wanted and full throttle.
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
        camera.position = Vector3(0, 500, 0);
        world.Update(&camera, Step);
        ++steps;
    }

    GameSession session;
    World world;
    DrivingRules rules;
    VehicleContext context;
    Camera camera;
    int steps = 0;
};

// ---------------------------------------------------------------------------------------------
// The raw-ODE rig: each car a box chassis a quarter of the mass value (its geometry offset as
// the car's), four sphere wheels of the mass the car's wheels settle to, hinge-2 joints with the
// car's suspension, locked steering and the motor the car's first gear gives; the city mesh.

struct RawScene {
    dWorldID world;
    dSpaceID space;
    dJointGroupID group;
    dTriMeshDataID meshData;
    dGeomID mesh;
    std::vector<float> vertices;
    std::vector<int32_t> indices;
    std::vector<dContact> contacts = std::vector<dContact>(1024);
    std::vector<dJointID> wheelJoints;
    std::vector<dGeomID> wheelGeoms;
    std::vector<char> fast = std::vector<char>(Cars * 4, 0);
    int joints = 0;
    int steps = 0;

    static dBodyID Body(dWorldID w, double mass, double i11, double i22, double i33) {
        dBodyID body = dBodyCreate(w);
        dMass m;
        dMassSetParameters(&m, mass, 0, 0, 0, i11, i22, i33, 0, 0, 0);
        dBodySetMass(body, &m);
        return body;
    }

    RawScene() {
        dInitODE2(0);
        world = dWorldCreate();
        group = dJointGroupCreate(0);
        dWorldSetCFM(world, 0.0001);
        dWorldSetERP(world, 0.4);
        dWorldSetGravity(world, 0, World::Gravity, 0);
        const dVector3 centre = {0, 0, 0, 0}, extents = {5000, 1000, 5000, 0};
        space = dQuadTreeSpaceCreate(nullptr, centre, extents, 7);
        dSpaceSetCleanup(space, 1);
        const tools::WorldFile& city = Dir().city;
        for (const Vector3& v : city.collisionVertices) vertices.insert(vertices.end(), {v.x, v.y, v.z});
        for (const auto& t : city.collisionTriangles)
            indices.insert(indices.end(), {int32_t(t.v[0]), int32_t(t.v[1]), int32_t(t.v[2])});
        meshData = dGeomTriMeshDataCreate();
        dGeomTriMeshDataBuildSingle(meshData, vertices.data(), 12, int(vertices.size() / 3), indices.data(),
                                    int(indices.size()), 12);
        mesh = dCreateTriMesh(nullptr, meshData, nullptr, nullptr, nullptr);
        dGeomSetCategoryBits(mesh, 1);
        dGeomSetCollideBits(mesh, 0);
        dSpaceAdd(space, mesh);

        const CarDefinition& d = *Dir().taxi;
        const float mass = d.handling.massValue;
        const Vector3 h = d.chassisBox.halfExtents, box = d.chassisCollisionBox.halfExtents;
        const double k = double(mass * 0.25f) / 3.0;
        for (int i = 0; i < Cars; ++i) {
            const Vector3 at = Lane(i);
            dSpaceID car = dSimpleSpaceCreate(nullptr);
            dSpaceSetCleanup(car, 1);
            dGeomSetCategoryBits(reinterpret_cast<dGeomID>(car), 0x84);
            dGeomSetCollideBits(reinterpret_cast<dGeomID>(car), 7);
            dGeomID chassisGeom = dCreateBox(nullptr, 2 * box.x, 2 * box.y, 2 * box.z);
            dGeomSetCategoryBits(chassisGeom, 0x84);
            dGeomSetCollideBits(chassisGeom, 7);
            dBodyID chassis = Body(world, mass * 0.25f, k * (h.y * h.y + h.z * h.z), k * (h.x * h.x + h.z * h.z),
                                   k * (h.x * h.x + h.y * h.y));
            dGeomSetBody(chassisGeom, chassis);
            const Vector3 offset = d.chassisCollisionBox.centre + Vector3(0, 10, 0);
            dGeomSetOffsetPosition(chassisGeom, offset.x, offset.y, offset.z);
            dBodySetPosition(chassis, at.x, at.y - 10.0f, at.z);
            dSpaceAdd(car, chassisGeom);
            for (int w = 0; w < 4; ++w) {
                const Vector3 p = at + d.wheelPoints[w];
                dGeomID wheelGeom = dCreateSphere(nullptr, d.wheelRadii[w]);
                dGeomSetCategoryBits(wheelGeom, 0);
                dGeomSetCollideBits(wheelGeom, 1);
                const double r = d.wheelRadii[w] / 3.0;
                dBodyID wheel = Body(world, mass, 0.4 * mass * r * r, 0.4 * mass * r * r, 0.4 * mass * r * r);
                dGeomSetBody(wheelGeom, wheel);
                dBodySetPosition(wheel, p.x, p.y, p.z);
                dSpaceAdd(car, wheelGeom);
                dJointID j = dJointCreateHinge2(world, nullptr);
                dJointAttach(j, chassis, wheel);
                dJointSetHinge2Anchor(j, p.x, p.y, p.z);
                const dReal axis1[4] = {0, 1, 0, 0}, axis2[4] = {1, 0, 0, 0};
                dJointSetHinge2Axes(j, axis1, axis2);
                dJointSetHinge2Param(j, dParamSuspensionERP, 0.425);
                dJointSetHinge2Param(j, dParamSuspensionCFM, 0.001);
                dJointSetHinge2Param(j, dParamLoStop, 0);
                dJointSetHinge2Param(j, dParamHiStop, 0);
                wheelJoints.push_back(j);
                wheelGeoms.push_back(wheelGeom);
                dGeomSetData(wheelGeom, &fast[wheelGeoms.size() - 1]);
            }
            dSpaceAdd(space, reinterpret_cast<dGeomID>(car));
        }
    }
    ~RawScene() {
        dJointGroupDestroy(group);
        dSpaceDestroy(space);
        dGeomTriMeshDataDestroy(meshData);
        dWorldDestroy(world);
        dCloseODE();
    }

    static void Near(void* data, dGeomID a, dGeomID b) {
        RawScene* s = static_cast<RawScene*>(data);
        if (dGeomIsSpace(a) || dGeomIsSpace(b)) {
            dSpaceCollide2(a, b, data, &Near);
            return;
        }
        dBodyID ba = dGeomGetBody(a), bb = dGeomGetBody(b);
        if (!(ba && dBodyIsEnabled(ba)) && !(bb && dBodyIsEnabled(bb))) return;
        // A wheel's data is its flag: fast wheels take any contacts, as the cars' do.
        int flags = 1024;
        for (dGeomID g : {a, b})
            if (const char* fast = static_cast<const char*>(dGeomGetData(g)); fast && *fast) flags |= CONTACTS_UNIMPORTANT;
        const int n = dCollide(a, b, flags, &s->contacts[0].geom, sizeof(dContact));
        for (int i = 0; i < n; ++i) {
            if (s->joints >= 1024) return;
            dContact& c = s->contacts[size_t(i)];
            c.surface = dSurfaceParameters{};
            c.surface.mu = dInfinity;
            dJointID j = dJointCreateContact(s->world, s->group, &c);
            dJointAttach(j, ba, bb);
            ++s->joints;
        }
    }

    // The motors the cars' drive model gave their wheels this frame, and the wheel masses.
    void Follow(const std::vector<Vehicle*>& cars) {
        for (size_t c = 0; c < cars.size(); ++c) {
            for (int w = 0; w < 4; ++w) {
                dJointID j = wheelJoints[c * 4 + size_t(w)];
                dJointSetHinge2Param(j, dParamVel2, cars[c]->WheelJoint(w)->GetWheelMotorVelocity());
                dJointSetHinge2Param(j, dParamFMax2, cars[c]->WheelJoint(w)->GetWheelMotorForce());
                fast[c * 4 + size_t(w)] = (cars[c]->WheelGeom(w)->flags & PhysicsGeom::AnyContacts) != 0;
            }
        }
    }
    void Frame() {
        ++steps;
        joints = 0;
        dSpaceCollide(space, this, &Near);
        dWorldStep(world, Step);
        dJointGroupEmpty(group);
    }
};

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

void BM_CarsAgainstRawOde(benchmark::State& state) {
    Dir();
    CarScene cars;
    RawScene raw;
    for (int i = 0; i < 75; ++i) {
        cars.Frame();
        raw.Follow(cars.context.vehicles);
        raw.Frame();
    }
    std::vector<double> carTimes, rawTimes;
    for (auto _ : state) {
        double t0 = ThreadSeconds();
        cars.Frame();
        double t1 = ThreadSeconds();
        raw.Follow(cars.context.vehicles);
        raw.Frame();
        double t2 = ThreadSeconds();
        carTimes.push_back(t1 - t0);
        rawTimes.push_back(t2 - t1);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    const double carMs = median(carTimes) * 1000.0, rawMs = median(rawTimes) * 1000.0;
    state.counters["cars_ms"] = carMs;
    state.counters["raw_ode_ms"] = rawMs;
    state.counters["ratio_to_raw"] = rawMs > 0.0 ? carMs / rawMs : 0.0;
    state.counters["share_of_step_pct"] = carMs / StepMs * 100.0;
    double health = 0.0;
    for (Vehicle* v : cars.context.vehicles) health += v->damage.health;
    state.counters["mean_health"] = health / Cars;
    state.counters["contacts_raw"] = double(raw.joints);
    state.counters["contacts_cars"] = double(cars.world.physics.Stats().contacts);
}
BENCHMARK(BM_CarsAgainstRawOde)->Unit(benchmark::kMillisecond)->Iterations(600);

// A network frame's records of the 128 driving cars: each car writes its record and reads it
// back (what a sending and a receiving game do per car), against a plain memcpy of the same
// bytes in and out. The cars drive between the timed parts. Printed: the ratio of the medians
// and the records' share of the 13.33 ms step.
void BM_SnapshotsAgainstMemcpy(benchmark::State& state) {
    Dir();
    CarScene cars;
    for (int i = 0; i < 75; ++i) cars.Frame();
    const size_t bytes = size_t(Cars) * size_t(vehicle_snapshot::Size);
    std::vector<uint8_t> records(bytes), source(bytes, 0x5A), copy(bytes);
    std::vector<double> snapshotTimes, memcpyTimes;
    for (auto _ : state) {
        cars.Frame();
        const double t0 = ThreadSeconds();
        for (size_t i = 0; i < cars.context.vehicles.size(); ++i) {
            uint8_t* at = records.data() + i * size_t(vehicle_snapshot::Size);
            Vehicle* car = cars.context.vehicles[i];
            car->WriteSnapshot(at, vehicle_snapshot::Size);
            car->ReadSnapshot(at, vehicle_snapshot::Size);
        }
        const double t1 = ThreadSeconds();
        std::memcpy(copy.data(), source.data(), bytes);
        benchmark::ClobberMemory();
        std::memcpy(source.data(), copy.data(), bytes);
        benchmark::ClobberMemory();
        const double t2 = ThreadSeconds();
        snapshotTimes.push_back(t1 - t0);
        memcpyTimes.push_back(t2 - t1);
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    const double snapshotMs = median(snapshotTimes) * 1000.0, memcpyMs = median(memcpyTimes) * 1000.0;
    state.counters["records_ms"] = snapshotMs;
    state.counters["memcpy_ms"] = memcpyMs;
    state.counters["ratio_to_memcpy"] = memcpyMs > 0.0 ? snapshotMs / memcpyMs : 0.0;
    state.counters["share_of_step_pct"] = snapshotMs / StepMs * 100.0;
}
BENCHMARK(BM_SnapshotsAgainstMemcpy)->Unit(benchmark::kMillisecond)->Iterations(300);

} // namespace
