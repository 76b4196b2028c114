// What a body does on the ground does not depend on how the frame is cut into sub-steps: a
// heavy wheel and a small car on wheel joints rest at the same height and come to rest at any
// frame time, steady or uneven; and a wheel on a road mesh feels the road once wherever it
// stands on the mesh's triangles.
#include <cmath>
#include <cstdint>
#include <functional>

#include "game/world/PhysicsJoint.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

using StepSizeTest = PhysicsFixture;

constexpr float WheelRadius = 3.5f;
constexpr float WheelMass = 1000.0f;

// Frame times of a few kinds, as the game's frames come.
struct Schedule {
    const char* name;
    std::function<float(int frame)> next;
};

std::vector<Schedule> Schedules() {
    auto uneven = [](int frame) {
        uint32_t r = uint32_t(frame) * 2654435761u + 12345u;
        r ^= r >> 13;
        r *= 2246822519u;
        r ^= r >> 16;
        return 1.0f / 90.0f + (1.0f / 20.0f - 1.0f / 90.0f) * float(r % 1000u) / 999.0f;
    };
    return {{"1/75", [](int) { return 1.0f / 75.0f; }},
            {"1/90", [](int) { return 1.0f / 90.0f; }},
            {"1/45", [](int) { return 1.0f / 45.0f; }},
            {"1/20", [](int) { return 1.0f / 20.0f; }},
            {"uneven", uneven}};
}

// Runs frames of the schedule for `seconds` through the world's own split of a frame.
void RunFor(PhysicsWorld& world, const Schedule& schedule, float seconds, const std::function<void()>& afterFrame) {
    float t = 0.0f;
    for (int frame = 0; t < seconds; ++frame) {
        const float dt = schedule.next(frame);
        world.Simulate(dt, 75.0f, 1.0f);
        t += dt;
        afterFrame();
    }
}

struct Rest {
    float height = 0.0f;
    float low = 1e9f, high = -1e9f;
};

// Where a body settles after 3 s, and how far it still moves in the 2 s after.
Rest Settle(PhysicsWorld& world, RigidBody& body, const Schedule& schedule) {
    RunFor(world, schedule, 3.0f, [] {});
    Rest rest;
    RunFor(world, schedule, 2.0f, [&] {
        const float y = body.GetPosition().y;
        rest.low = std::min(rest.low, y);
        rest.high = std::max(rest.high, y);
    });
    rest.height = body.GetPosition().y;
    return rest;
}

TEST_F(StepSizeTest, AHeavyWheelRestsAtOneHeightAtEveryFrameTime) {
    Floor();
    float reference = 0.0f;
    for (const Schedule& schedule : Schedules()) {
        SCOPED_TRACE(schedule.name);
        SphereGeom geom(WheelRadius);
        RigidBody body(world);
        body.SetMass(WheelMass);
        body.SetSphereInertia(WheelRadius);
        body.SetGeom(&geom);
        body.SetPosition(Vector3(0, WheelRadius + 1.0f, 0));
        geom.AddToWorld(world);
        body.Enable();
        const Rest rest = Settle(world, body, schedule);
        if (reference == 0.0f) reference = rest.height;
        // Sunk into the ground by its weight as much at every frame time, and still.
        EXPECT_NEAR(rest.height, reference, 0.02f);
        EXPECT_LT(rest.high - rest.low, 0.01f);
        geom.RemoveFromWorld(world);
        body.SetGeom(nullptr);
    }
    EXPECT_LT(reference, WheelRadius) << "the weight presses the wheel a little into the ground";
}

// A box of 250 on four heavy wheels on suspension joints, as a car stands.
struct SmallCar {
    explicit SmallCar(PhysicsWorld& world) : chassis(world) {
        chassis.SetMass(250.0f);
        chassis.SetBoxInertia(Vector3(9, 3.5f, 22));
        chassis.SetPosition(Vector3(0, 8, 0));
        chassis.Enable();
        const Vector3 points[4] = {{8, 0, -14}, {-8, 0, -14}, {8, 0, 14}, {-8, 0, 14}};
        for (int i = 0; i < 4; ++i) {
            wheels[i] = std::make_unique<SphereGeom>(WheelRadius);
            bodies[i] = std::make_unique<RigidBody>(world);
            bodies[i]->SetMass(WheelMass);
            bodies[i]->SetSphereInertia(WheelRadius / 3.0f);
            bodies[i]->SetGeom(wheels[i].get());
            bodies[i]->SetPosition(Vector3(0, 8, 0) + points[i]);
            wheels[i]->AddToWorld(world);
            bodies[i]->Enable();
            joints[i] = std::make_unique<Hinge2Joint>(world);
            joints[i]->SetBodies(&chassis, bodies[i].get());
            joints[i]->Attach();
            joints[i]->SetAnchor(bodies[i]->GetPosition());
            joints[i]->SetAxes(Vector3(0, 1, 0), Vector3(1, 0, 0));
            joints[i]->LockSteering();
            joints[i]->SetSuspensionErp(0.425f);
        }
    }
    ~SmallCar() {
        for (int i = 0; i < 4; ++i) {
            joints[i].reset();
            wheels[i]->RemoveFromWorld(chassis.GetWorld());
            bodies[i]->SetGeom(nullptr);
        }
    }
    RigidBody chassis;
    std::unique_ptr<SphereGeom> wheels[4];
    std::unique_ptr<RigidBody> bodies[4];
    std::unique_ptr<Hinge2Joint> joints[4];
};

TEST_F(StepSizeTest, ACarOnWheelJointsRestsAtOneHeightAtEveryFrameTime) {
    Floor();
    float reference = 0.0f;
    for (const Schedule& schedule : Schedules()) {
        SCOPED_TRACE(schedule.name);
        SmallCar car(world);
        const Rest rest = Settle(world, car.chassis, schedule);
        if (reference == 0.0f) reference = rest.height;
        EXPECT_NEAR(rest.height, reference, 0.03f);
        EXPECT_LT(rest.high - rest.low, 0.01f);
        // The joint keeps the value it was given, whatever the step makes of it.
        EXPECT_EQ(car.joints[0]->GetSuspensionErp(), 0.425f);
    }
}

// A flat road of 2 x 2 squares of 20, two triangles each (diagonals from the -x, -z corner).
void FillRoad(TriMeshGeom& mesh) {
    for (int z = 0; z <= 2; ++z)
        for (int x = 0; x <= 2; ++x) mesh.Vertices().insert(mesh.Vertices().end(), {float(x * 20 - 20), 0.0f, float(z * 20 - 20)});
    for (int z = 0; z < 2; ++z)
        for (int x = 0; x < 2; ++x) {
            const int32_t a = z * 3 + x, b = a + 1, c = a + 4, d = a + 3;
            mesh.Indices().insert(mesh.Indices().end(), {a, c, b, a, d, c});
        }
}

TEST_F(StepSizeTest, AWheelFeelsTheRoadOnceOnAnEdgeOrCornerOfItsTriangles) {
    TriMeshGeom road;
    FillRoad(road);
    ASSERT_TRUE(road.Build());
    road.AddToWorld(world);
    struct Spot {
        const char* where;
        float x, z;
    };
    const Spot spots[] = {{"inside a triangle", -14.0f, -6.0f},
                          {"on a diagonal", -10.0f, -10.0f},
                          {"on a square's side", 0.0f, -10.0f},
                          {"on the corner of six triangles", 0.0f, 0.0f}};
    float reference = 0.0f;
    for (const Spot& spot : spots) {
        SCOPED_TRACE(spot.where);
        SphereGeom geom(WheelRadius);
        RigidBody body(world);
        body.SetMass(WheelMass);
        body.SetSphereInertia(WheelRadius);
        body.SetGeom(&geom);
        body.SetPosition(Vector3(spot.x, WheelRadius, spot.z));
        geom.AddToWorld(world);
        body.Enable();
        Run(150);
        const float height = body.GetPosition().y;
        if (reference == 0.0f) reference = height;
        EXPECT_NEAR(height, reference, 0.01f);
        EXPECT_NEAR(body.GetPosition().x, spot.x, 0.01f);
        EXPECT_NEAR(body.GetPosition().z, spot.z, 0.01f);
        geom.RemoveFromWorld(world);
        body.SetGeom(nullptr);
    }
    EXPECT_LT(reference, WheelRadius - 0.1f) << "the weight presses the wheel into the road";
}

TEST_F(StepSizeTest, AWheelInACornerStillTouchesBothFaces) {
    // A floor and a wall facing +x, at x = 0.
    TriMeshGeom corner;
    corner.Vertices() = {0, 0, -20, 40, 0, -20, 40, 0, 20, 0, 0, 20, 0, 40, -20, 0, 40, 20};
    corner.Indices() = {0, 3, 2, 0, 2, 1, 0, 4, 5, 0, 5, 3};
    ASSERT_TRUE(corner.Build());
    corner.AddToWorld(world);
    SphereGeom geom(WheelRadius);
    RecordingListener normals(CollisionListener::AskFilterContact);
    geom.listeners.push_back(&normals);
    RigidBody body(world);
    body.SetMass(WheelMass);
    body.SetSphereInertia(WheelRadius);
    body.SetGeom(&geom);
    body.SetPosition(Vector3(WheelRadius - 0.5f, WheelRadius - 0.5f, 0));
    geom.AddToWorld(world);
    body.Enable();
    SubStep();
    bool up = false, side = false;
    for (const Vector3& n : normals.normals) {
        up = up || std::fabs(n.y) > 0.99f;
        side = side || std::fabs(n.x) > 0.99f;
    }
    EXPECT_TRUE(up && side);
    geom.RemoveFromWorld(world);
    body.SetGeom(nullptr);
}

} // namespace
