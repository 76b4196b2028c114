#include <cmath>
#include <thread>

#include "tests/physics/PhysicsFixture.h"

namespace {

using RayQueryTest = PhysicsFixture;

// Drops the triangles it is asked about (a mission variant's road block).
struct TriangleDropper : CollisionListener {
    TriangleDropper() : CollisionListener(AskIgnoreTriangle) {}
    bool IgnoreTriangle(PhysicsGeom*, PhysicsGeom*, int32_t) override { return true; }
};

void FillFloor(TriMeshGeom& mesh, float size) {
    mesh.Vertices() = {-size, 0, -size, size, 0, -size, size, 0, size, -size, 0, size};
    mesh.Indices() = {0, 2, 1, 0, 3, 2};
}

// A static mesh floor (category 1), a box on it (2), a car's own space (0x84) holding a sphere
// above the box, a disabled sphere higher still; rays for the chase camera, the sight ray and the
// ground probe.
TEST_F(RayQueryTest, CastRayReportsTheNearestHit) {
    TriMeshGeom ground;
    FillFloor(ground, 100.0f);
    ASSERT_TRUE(ground.Build());
    ground.SetCategoryBits(1);
    ground.AddToWorld(world);
    BoxGeom box(Vector3(2, 2, 2));
    box.SetPosition(Vector3(0, 2, 0));
    box.SetCategoryBits(2);
    box.AddToWorld(world);
    PhysicsSpace car;
    car.SetCategoryBits(0x84);
    car.AddToWorld(world);
    SphereGeom wheel(3.0f);
    wheel.SetPosition(Vector3(0, 30, 0));
    wheel.SetCategoryBits(0x84);
    car.Add(&wheel);
    SphereGeom asleep(1.0f);
    asleep.SetPosition(Vector3(0, 50, 0));
    asleep.SetCategoryBits(2);
    asleep.Disable();
    asleep.AddToWorld(world);

    const Vector3 down(0, -1, 0);
    const struct {
        const char* name;
        Vector3 start, direction;
        float length;
        uint32_t bits;
        const PhysicsGeom* skip;
        const PhysicsGeom* hit; // null: nothing
        Vector3 position, normal;
    } cases[] = {
        {"everything: the car's sphere first", {0, 100, 0}, down, 200, 0xFFFF, nullptr, &wheel, {0, 33, 0}, {0, 1, 0}},
        {"bits leave the car out", {0, 100, 0}, down, 200, 1 | 2, nullptr, &box, {0, 4, 0}, {0, 1, 0}},
        {"the car's space skipped", {0, 100, 0}, down, 200, 0xFFFF, &car, &box, {0, 4, 0}, {0, 1, 0}},
        {"one geom skipped", {0, 100, 0}, down, 200, 1 | 2, &box, &ground, {0, 0, 0}, {0, 1, 0}},
        {"ground probe beside the box", {10, 100, 5}, down, 200, 1, nullptr, &ground, {10, 0, 5}, {0, 1, 0}},
        {"too short", {0, 100, 0}, down, 60, 0xFFFF, nullptr, nullptr, {}, {}},
        {"no bits", {0, 100, 0}, down, 200, 0, nullptr, nullptr, {}, {}},
        // A camera behind the box looking at its side: the normal faces the start.
        {"side of the box", {0, 2, 50}, {0, 0, -3}, 100, 2, nullptr, &box, {0, 2, 2}, {0, 0, 1}},
        {"from inside the box: the far face, facing back", {0, 2, 0}, {1, 0, 0}, 100, 2, nullptr, &box,
         {2, 2, 0}, {-1, 0, 0}},
        {"zero direction", {0, 100, 0}, {0, 0, 0}, 200, 0xFFFF, nullptr, nullptr, {}, {}},
        {"NaN start", {std::nanf(""), 100, 0}, down, 200, 0xFFFF, nullptr, nullptr, {}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RayHit hit;
        hit.distance = -1.0f;
        const bool found = world.CastRay(c.start, c.direction, c.length, c.bits, c.skip, hit);
        ASSERT_EQ(found, c.hit != nullptr);
        if (!found) {
            EXPECT_EQ(hit.distance, -1.0f); // untouched
            continue;
        }
        EXPECT_EQ(hit.geom, c.hit);
        EXPECT_NEAR((hit.position - c.position).Length(), 0.0f, 1e-3f);
        EXPECT_NEAR((hit.normal - c.normal).Length(), 0.0f, 1e-3f);
        EXPECT_NEAR(hit.distance, (c.position - c.start).Length(), 1e-3f);
    }

    // Mesh listeners still decide which triangles count; no contact joint is ever made.
    TriangleDropper dropper;
    ground.listeners.push_back(&dropper);
    RayHit hit;
    EXPECT_FALSE(world.CastRay(Vector3(10, 100, 5), down, 200, 1, nullptr, hit));
    EXPECT_EQ(world.ContactJointsInUse(), 0);
    car.Remove(&wheel);
}

// The world engineer may swap the quadtree for a hash or a simple space: every kind gives the
// same contacts and the same ray answers, for the world's space and for a car's.
TEST(SpaceKindTest, EveryKindCollidesAlike) {
    std::vector<float> rests;
    for (SpaceKind kind : {SpaceKind::QuadTree, SpaceKind::Hash, SpaceKind::Simple}) {
        SCOPED_TRACE(int(kind));
        PhysicsWorld world;
        world.CreateSpace(Vector3(0, 0, 0), Vector3(1000, 1000, 1000), 6, kind);
        world.SetGravity(Vector3(0, -275, 0));
        PlaneGeom floor(0, 1, 0, 0);
        floor.AddToWorld(world);
        PhysicsSpace car(Vector3(0, 0, 0), Vector3(100, 100, 100), 3, kind);
        car.AddToWorld(world);
        BoxGeom geom(Vector3(1, 1, 1));
        RigidBody body(world);
        body.SetBoxMass(1.0f, Vector3(1, 1, 1));
        body.SetGeom(&geom);
        body.SetPosition(Vector3(3, 10, -4));
        body.Enable();
        car.Add(&geom);
        for (int i = 0; i < 75; ++i) world.Simulate(1.0f / 75.0f, 75.0f, 1.0f);
        rests.push_back(body.GetPosition().y);
        RayHit hit;
        ASSERT_TRUE(world.CastRay(Vector3(3, 50, -4), Vector3(0, -1, 0), 100, 0xFFFF, nullptr, hit));
        EXPECT_EQ(hit.geom, &geom);
        car.Remove(&geom);
        body.SetGeom(nullptr);
    }
    EXPECT_NEAR(rests[0], 1.0f, 0.05f);
    EXPECT_EQ(rests[1], rests[0]);
    EXPECT_EQ(rests[2], rests[0]);
}

// The loader builds the city's mesh and probes the ground on its own thread.
TEST_F(RayQueryTest, MeshBuiltAndProbedOnALoadingThread) {
    TriMeshGeom ground;
    FillFloor(ground, 50.0f);
    bool built = false, found = false, touched = false;
    RayHit hit;
    std::thread loader([&] {
        built = ground.Build();
        ground.SetCategoryBits(1);
        ground.AddToWorld(world);
        found = world.CastRay(Vector3(1, 20, 1), Vector3(0, -1, 0), 40, 1, nullptr, hit);
        SphereGeom probe(1.0f);
        probe.SetPosition(Vector3(0, 0.5f, 0));
        touched = world.TestPair(&probe, &ground);
    });
    loader.join();
    EXPECT_TRUE(built);
    EXPECT_TRUE(found);
    EXPECT_EQ(hit.geom, &ground);
    EXPECT_TRUE(touched);
    // And the main thread carries on with the same mesh.
    Box& box = MakeBox(Vector3(0, 5, 0), Vector3(1, 1, 1), 1.0f);
    Run(75);
    EXPECT_NEAR(box.body->GetPosition().y, 1.0f, 0.1f);
    ground.RemoveFromWorld(world);
}

} // namespace
