// One physics sub-step of a busy street: 128 four-wheeled car rigs and 64 capsule pedestrians on
// a 30,000-triangle ground at 75 Hz, through the physics layer and through raw ODE with the
// same scene, so the layer's overhead can be read off.
//
// The rigs are built as the vehicles build theirs: a light chassis (a quarter of the car's mass
// value) on heavy wheels, suspension ERP 0.425, steering locked, all four wheels driven. They
// start on their wheels and shuttle back and forth (the motor reverses every few seconds), so
// the scene stays on the ground for as long as the benchmark runs. A rig whose chassis sank onto
// the ground would add a dozen box-mesh contacts per car and overflow the per-step joint pool.
#include <benchmark/benchmark.h>
#include <ode/ode.h>

#include <algorithm>
#include <ctime>
#include <cmath>
#include <memory>
#include <vector>

#include "game/world/PhysicsWorld.h"

namespace {

constexpr float StepSize = 1.0f / 75.0f;
constexpr float Gravity = -275.0f;
constexpr int GridX = 100, GridZ = 150; // cells; two triangles each: 30,000 triangles
constexpr float Cell = 20.0f;
constexpr int CarColumns = 16, CarRows = 8; // 128 cars
constexpr int PedColumns = 8, PedRows = 8;  // 64 pedestrians
constexpr float WheelRadius = 4.0f;
const Vector3 ChassisHalf(8, 3, 18);
const Vector3 WheelCorners[4] = {{-9, -5, -12}, {9, -5, -12}, {-9, -5, 12}, {9, -5, 12}};
constexpr float CarMassValue = 1000.0f;               // a car definition's mass value
constexpr float ChassisMass = CarMassValue * 0.25f;   // the chassis carries a quarter of it
constexpr float WheelMass = 50.0f;                    // wheel bodies start at 50
constexpr float SuspensionErp = 0.425f;
constexpr float MotorSpeed = 5.0f, MotorForce = 20000.0f;
constexpr int MotorPeriod = 225;                      // sub-steps between motor reversals (3 s)
constexpr float PedRadius = 2.5f, PedLength = 12.0f;
constexpr int MaxJoints = 1024;

float MotorVelocity(int subStep) { return ((subStep / MotorPeriod) % 2 == 0) ? MotorSpeed : -MotorSpeed; }

float GroundHeight(float x, float z) { return 3.0f * std::sin(x / 80.0f) * std::cos(z / 90.0f); }

void BuildGround(std::vector<float>& vertices, std::vector<int32_t>& indices) {
    vertices.clear();
    indices.clear();
    for (int z = 0; z <= GridZ; ++z) {
        for (int x = 0; x <= GridX; ++x) {
            const float px = float(x) * Cell, pz = float(z) * Cell;
            vertices.insert(vertices.end(), {px, GroundHeight(px, pz), pz});
        }
    }
    for (int z = 0; z < GridZ; ++z) {
        for (int x = 0; x < GridX; ++x) {
            const int32_t a = z * (GridX + 1) + x, b = a + 1, c = a + GridX + 1, d = c + 1;
            indices.insert(indices.end(), {a, c, b, b, c, d});
        }
    }
}

Vector3 CarPosition(int i) {
    const float x = 100.0f + float(i % CarColumns) * 110.0f, z = 200.0f + float(i / CarColumns) * 300.0f;
    // Lowest wheel point half a unit above the highest ground under the car.
    return {x, 3.0f + 9.5f, z};
}

Vector3 PedPosition(int i) {
    const float x = 60.0f + float(i % PedColumns) * 220.0f, z = 350.0f + float(i / PedColumns) * 300.0f;
    return {x, GroundHeight(x, z) + PedRadius + PedLength * 0.5f + 0.5f, z};
}

const Quaternion Upright(Vector3(1, 0, 0), HalfPi); // capsule axis z turned to y

// ---------------------------------------------------------------------------------------------
// Through the layer

struct LayerScene {
    struct Car {
        std::unique_ptr<PhysicsSpace> space;
        std::unique_ptr<BoxGeom> chassisGeom;
        std::unique_ptr<RigidBody> chassis;
        std::unique_ptr<SphereGeom> wheelGeoms[4];
        std::unique_ptr<RigidBody> wheels[4];
        std::unique_ptr<Hinge2Joint> joints[4];
    };
    struct Pedestrian {
        std::unique_ptr<CapsuleGeom> geom;
        std::unique_ptr<RigidBody> body;
    };

    PhysicsWorld world;
    TriMeshGeom ground;
    std::vector<Car> cars;
    std::vector<Pedestrian> peds;

    LayerScene() {
        world.CreateSpace(Vector3(1000, 0, 1500), Vector3(2200, 600, 3200), 7);
        world.SetGravity(Vector3(0, Gravity, 0));
        BuildGround(ground.Vertices(), ground.Indices());
        ground.Build();
        ground.SetCategoryBits(1);
        ground.AddToWorld(world);
        cars.resize(CarColumns * CarRows);
        for (size_t i = 0; i < cars.size(); ++i) {
            Car& car = cars[i];
            const Vector3 at = CarPosition(int(i));
            car.space = std::make_unique<PhysicsSpace>();
            car.space->SetCategoryBits(0x84);
            car.space->SetCollideBits(7);
            car.chassisGeom = std::make_unique<BoxGeom>(ChassisHalf);
            car.chassisGeom->SetCategoryBits(0x84);
            car.chassisGeom->SetCollideBits(7);
            car.chassis = std::make_unique<RigidBody>(world);
            car.chassis->SetMass(ChassisMass);
            car.chassis->SetBoxInertia(ChassisHalf);
            car.chassis->SetGeom(car.chassisGeom.get());
            car.chassis->SetPosition(at);
            car.chassis->flags |= RigidBody::KeepHistory;
            car.space->Add(car.chassisGeom.get());
            for (int w = 0; w < 4; ++w) {
                car.wheelGeoms[w] = std::make_unique<SphereGeom>(WheelRadius);
                car.wheelGeoms[w]->SetCategoryBits(0);
                car.wheelGeoms[w]->SetCollideBits(1);
                car.wheels[w] = std::make_unique<RigidBody>(world);
                car.wheels[w]->SetMass(WheelMass);
                car.wheels[w]->SetSphereInertia(WheelRadius);
                car.wheels[w]->SetGeom(car.wheelGeoms[w].get());
                car.wheels[w]->SetPosition(at + WheelCorners[w]);
                car.wheels[w]->flags |= RigidBody::KeepHistory;
                car.space->Add(car.wheelGeoms[w].get());
                car.joints[w] = std::make_unique<Hinge2Joint>(world);
                car.joints[w]->SetBodies(car.chassis.get(), car.wheels[w].get());
                car.joints[w]->Attach();
                car.joints[w]->SetAnchor(at + WheelCorners[w]);
                car.joints[w]->SetSteeringAxis(Vector3(0, 1, 0));
                car.joints[w]->SetWheelAxis(Vector3(1, 0, 0));
                car.joints[w]->LockSteering();
                car.joints[w]->SetSuspensionErp(SuspensionErp);
                car.joints[w]->SetWheelMotor(MotorSpeed, MotorForce);
                car.wheels[w]->Enable();
            }
            car.space->AddToWorld(world);
            car.chassis->Enable();
        }
        peds.resize(PedColumns * PedRows);
        for (size_t i = 0; i < peds.size(); ++i) {
            Pedestrian& p = peds[i];
            p.geom = std::make_unique<CapsuleGeom>(PedRadius, PedLength);
            p.geom->SetCategoryBits(0x10);
            p.geom->SetCollideBits(0x85);
            p.body = std::make_unique<RigidBody>(world);
            p.body->SetMass(70.0f);
            p.body->SetBoxInertia(Vector3(PedRadius, PedLength * 0.5f + PedRadius, PedRadius));
            p.body->SetGeom(p.geom.get());
            p.body->SetPosition(PedPosition(int(i)));
            p.body->SetOrientation(Upright);
            p.geom->AddToWorld(world);
            p.body->Enable();
        }
    }

    ~LayerScene() {
        for (Car& car : cars) {
            for (auto& j : car.joints) j.reset();
            for (auto& w : car.wheels) w->SetGeom(nullptr);
            car.chassis->SetGeom(nullptr);
        }
        for (Pedestrian& p : peds) p.body->SetGeom(nullptr);
    }

    void SubStep() {
        if (subSteps % MotorPeriod == 0) {
            for (Car& car : cars) {
                for (auto& j : car.joints) j->SetWheelMotor(MotorVelocity(subSteps), MotorForce);
            }
        }
        ++subSteps;
        world.PreStep();
        world.Collide();
        world.PostStep();
        world.Step(StepSize);
    }

    int subSteps = 0;
};

// ---------------------------------------------------------------------------------------------
// Raw ODE: the same scene and the same per-step work (contacts with the same surfaces and the
// same joint cap), without the layer.

struct RawScene {
    dWorldID world;
    dSpaceID space;
    dJointGroupID group;
    dTriMeshDataID groundData;
    dGeomID ground;
    std::vector<float> vertices;
    std::vector<int32_t> indices;
    std::vector<dContact> contacts = std::vector<dContact>(1024);
    std::vector<dJointID> wheelJoints;
    std::vector<dBodyID> chassisBodies;
    int joints = 0;
    int subSteps = 0;

    // Mass records rounded exactly as the layer rounds them (mass, then a box or sphere
    // inertia), so that both scenes move alike and each pair of sub-steps does the same work.
    static dBodyID AddBody(dWorldID w, double mass, double i11, double i22, double i33) {
        dBodyID body = dBodyCreate(w);
        dMass m;
        dMassSetParameters(&m, mass, 0, 0, 0, i11, i22, i33, 0, 0, 0);
        dBodySetMass(body, &m);
        return body;
    }
    static dBodyID AddBoxBody(dWorldID w, float mass, const Vector3& h) {
        const double lx = 2.0 * h.x, ly = 2.0 * h.y, lz = 2.0 * h.z, k = double(mass) / 12.0;
        return AddBody(w, mass, float(k * (ly * ly + lz * lz)), float(k * (lx * lx + lz * lz)),
                       float(k * (lx * lx + ly * ly)));
    }
    static dBodyID AddSphereBody(dWorldID w, float mass, float r) {
        const double i = 0.4 * double(mass) * double(r) * double(r);
        return AddBody(w, mass, i, i, i);
    }

    RawScene() {
        dInitODE2(0);
        world = dWorldCreate();
        group = dJointGroupCreate(0);
        dWorldSetCFM(world, 0.0001);
        dWorldSetERP(world, 0.4);
        dWorldSetGravity(world, 0, Gravity, 0);
        const dVector3 centre = {1000, 0, 1500, 0}, extents = {2200, 600, 3200, 0};
        space = dQuadTreeSpaceCreate(nullptr, centre, extents, 7);
        dSpaceSetCleanup(space, 1);
        BuildGround(vertices, indices);
        groundData = dGeomTriMeshDataCreate();
        dGeomTriMeshDataBuildSingle(groundData, vertices.data(), 12, int(vertices.size() / 3), indices.data(),
                                    int(indices.size()), 12);
        // Built in the layer's order (each geom placed, then added to its space; a car's space
        // added once filled), so both scenes collide their pairs in the same order.
        ground = dCreateTriMesh(nullptr, groundData, nullptr, nullptr, nullptr);
        dGeomSetCategoryBits(ground, 1);
        dSpaceAdd(space, ground);
        for (int i = 0; i < CarColumns * CarRows; ++i) {
            const Vector3 at = CarPosition(i);
            dSpaceID car = dSimpleSpaceCreate(nullptr);
            dSpaceSetCleanup(car, 1);
            dGeomSetCategoryBits(reinterpret_cast<dGeomID>(car), 0x84);
            dGeomSetCollideBits(reinterpret_cast<dGeomID>(car), 7);
            dGeomID chassisGeom = dCreateBox(nullptr, 2 * ChassisHalf.x, 2 * ChassisHalf.y, 2 * ChassisHalf.z);
            dGeomSetCategoryBits(chassisGeom, 0x84);
            dGeomSetCollideBits(chassisGeom, 7);
            dBodyID chassis = AddBoxBody(world, ChassisMass, ChassisHalf);
            dGeomSetBody(chassisGeom, chassis);
            dBodySetPosition(chassis, at.x, at.y, at.z);
            dSpaceAdd(car, chassisGeom);
            for (int w = 0; w < 4; ++w) {
                const Vector3 p = at + WheelCorners[w];
                dGeomID wheelGeom = dCreateSphere(nullptr, WheelRadius);
                dGeomSetCategoryBits(wheelGeom, 0);
                dGeomSetCollideBits(wheelGeom, 1);
                dBodyID wheel = AddSphereBody(world, WheelMass, WheelRadius);
                dGeomSetBody(wheelGeom, wheel);
                dBodySetPosition(wheel, p.x, p.y, p.z);
                dSpaceAdd(car, wheelGeom);
                dJointID j = dJointCreateHinge2(world, nullptr);
                dJointSetHinge2Param(j, dParamSuspensionERP, SuspensionErp);
                dJointSetHinge2Param(j, dParamSuspensionCFM, 0.001);
                dJointSetHinge2Param(j, dParamStopERP, 0.8);
                dJointAttach(j, chassis, wheel);
                dJointSetHinge2Anchor(j, p.x, p.y, p.z);
                const dReal axis1[4] = {0, 1, 0, 0}, axis2[4] = {1, 0, 0, 0};
                dJointSetHinge2Axes(j, axis1, axis2);
                dJointSetHinge2Param(j, dParamLoStop, 0);
                dJointSetHinge2Param(j, dParamHiStop, 0);
                dJointSetHinge2Param(j, dParamVel2, MotorSpeed);
                dJointSetHinge2Param(j, dParamFMax2, MotorForce);
                wheelJoints.push_back(j);
            }
            dSpaceAdd(space, reinterpret_cast<dGeomID>(car));
            chassisBodies.push_back(chassis);
        }
        for (int i = 0; i < PedColumns * PedRows; ++i) {
            const Vector3 at = PedPosition(i);
            dGeomID g = dCreateCapsule(nullptr, PedRadius, PedLength);
            dGeomSetCategoryBits(g, 0x10);
            dGeomSetCollideBits(g, 0x85);
            dBodyID body = AddBoxBody(world, 70.0f, Vector3(PedRadius, PedLength * 0.5f + PedRadius, PedRadius));
            dGeomSetBody(g, body);
            dBodySetPosition(body, at.x, at.y, at.z);
            const double qx = Upright.x, qy = Upright.y, qz = Upright.z, qw = Upright.w;
            const double inv = 1.0 / std::sqrt(qx * qx + qy * qy + qz * qz + qw * qw);
            const dQuaternion q = {qw * inv, qx * inv, qy * inv, qz * inv};
            dBodySetQuaternion(body, q);
            dSpaceAdd(space, g);
        }
    }

    ~RawScene() {
        dJointGroupDestroy(group);
        dSpaceDestroy(space);
        dGeomTriMeshDataDestroy(groundData);
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
        const int n = dCollide(a, b, 1024, &s->contacts[0].geom, sizeof(dContact));
        for (int i = 0; i < n; ++i) {
            if (s->joints >= MaxJoints) return;
            dContact& c = s->contacts[size_t(i)];
            c.surface = dSurfaceParameters{};
            c.surface.mu = dInfinity;
            dJointID j = dJointCreateContact(s->world, s->group, &c);
            dJointAttach(j, ba, bb);
            ++s->joints;
        }
    }

    void SubStep() {
        if (subSteps % MotorPeriod == 0) {
            for (dJointID j : wheelJoints) dJointSetHinge2Param(j, dParamVel2, MotorVelocity(subSteps));
        }
        ++subSteps;
        joints = 0;
        dSpaceCollide(space, this, &Near);
        dWorldStep(world, StepSize);
        dJointGroupEmpty(group);
    }
};

// One settled scene per kind and user: the paired benchmark keeps its own two in step.
template <class Scene, int User = 0>
Scene& Settled() {
    static Scene* scene = [] {
        auto* s = new Scene();
        for (int i = 0; i < 75; ++i) s->SubStep(); // one second to land
        return s;
    }();
    return *scene;
}

void BM_LayerStep(benchmark::State& state) {
    LayerScene& scene = Settled<LayerScene>();
    uint64_t joints = 0, contacts = 0, dropped = 0;
    for (auto _ : state) {
        scene.SubStep();
        joints += scene.world.Stats().joints;
        contacts += scene.world.Stats().contacts;
        dropped += scene.world.Stats().droppedJoints;
    }
    state.counters["dropped"] = benchmark::Counter(double(dropped), benchmark::Counter::kAvgIterations);
    state.counters["joints"] = benchmark::Counter(double(joints), benchmark::Counter::kAvgIterations);
    state.counters["contacts"] = benchmark::Counter(double(contacts), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_LayerStep)->Unit(benchmark::kMillisecond);

void BM_RawOdeStep(benchmark::State& state) {
    RawScene& scene = Settled<RawScene>();
    uint64_t joints = 0;
    for (auto _ : state) {
        scene.SubStep();
        joints += uint64_t(scene.joints);
    }
    state.counters["joints"] = benchmark::Counter(double(joints), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_RawOdeStep)->Unit(benchmark::kMillisecond);

// The CPU time of this thread: a sub-step during which the machine ran something else is not
// charged for the wait.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// Both scenes stepped in turn, so machine noise hits both alike. Each iteration times one
// sub-step of each scene (which one goes first alternates, so neither always starts on the
// other's cold cache); the figure is the median of the per-pair ratios, layer over raw ODE,
// with the quartiles beside it. The scenes stay in step with each other throughout.
void BM_LayerOverRawOde(benchmark::State& state) {
    LayerScene& layer = Settled<LayerScene, 1>();
    RawScene& raw = Settled<RawScene, 1>();
    auto timeRun = [](auto& scene) {
        const double t0 = ThreadSeconds();
        scene.SubStep();
        return ThreadSeconds() - t0;
    };
    std::vector<double> ratios;
    ratios.reserve(4096);
    double layerSeconds = 0.0, rawSeconds = 0.0;
    bool layerFirst = true;
    for (auto _ : state) {
        double l, r;
        if (layerFirst) {
            l = timeRun(layer);
            r = timeRun(raw);
        } else {
            r = timeRun(raw);
            l = timeRun(layer);
        }
        layerFirst = !layerFirst;
        layerSeconds += l;
        rawSeconds += r;
        if (r > 0.0) ratios.push_back(l / r);
    }
    std::sort(ratios.begin(), ratios.end());
    auto quantile = [&](double q) { return ratios.empty() ? 0.0 : ratios[size_t(q * double(ratios.size() - 1))]; };
    const double steps = double(state.iterations());
    state.counters["layer_ms"] = layerSeconds * 1000.0 / steps;
    state.counters["raw_ms"] = rawSeconds * 1000.0 / steps;
    state.counters["ratio_median"] = quantile(0.5);
    state.counters["ratio_p25"] = quantile(0.25);
    state.counters["ratio_p75"] = quantile(0.75);
    state.counters["share_of_step_pct"] = layerSeconds * 1000.0 / steps / 13.33 * 100.0;
    // How far the twins drifted apart (0: both did exactly the same physics).
    double drift = 0.0;
    for (size_t i = 0; i < layer.cars.size(); ++i) {
        const dReal* p = dBodyGetPosition(layer.cars[i].chassis->GetOdeBody());
        const dReal* q = dBodyGetPosition(raw.chassisBodies[i]);
        drift = std::max({drift, std::fabs(p[0] - q[0]), std::fabs(p[1] - q[1]), std::fabs(p[2] - q[2])});
    }
    state.counters["twin_drift"] = drift;
}
BENCHMARK(BM_LayerOverRawOde)->Unit(benchmark::kMillisecond)->MinTime(4.0);

} // namespace
