#include <algorithm>
#include <set>

#include <ode/ode.h>

#include "tests/physics/PhysicsFixture.h"

namespace {

using TriMeshTest = PhysicsFixture;

// Two stacked square floors (y = 0 and y = 5), two triangles each, facing up.
void FillStackedFloors(TriMeshGeom& mesh) {
    mesh.Vertices() = {-10, 0, -10, 10, 0, -10, 10, 0, 10, -10, 0, 10,
                       -10, 5, -10, 10, 5, -10, 10, 5, 10, -10, 5, 10};
    mesh.Indices() = {0, 2, 1, 0, 3, 2, 4, 6, 5, 4, 7, 6};
}

struct RayHits : CollisionListener {
    RayHits() : CollisionListener(AskFilterContact) {}
    std::vector<std::pair<float, float>> hits; // (depth, y)
    bool FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3* position, Vector3*, float* depth) override {
        hits.emplace_back(*depth, position->y);
        return true;
    }
};

struct TriangleVeto : CollisionListener {
    TriangleVeto() : CollisionListener(AskRayTriangle | AskIgnoreTriangle) {}
    std::set<int32_t> blocked;
    std::vector<int32_t> asked;
    bool AcceptRayTriangle(PhysicsGeom*, PhysicsGeom*, int32_t triangle, float, float) override {
        asked.push_back(triangle);
        return !blocked.count(triangle);
    }
    bool IgnoreTriangle(PhysicsGeom*, PhysicsGeom*, int32_t triangle) override { return blocked.count(triangle) != 0; }
};

TEST_F(TriMeshTest, RayReportsTheNearestHitAsTheDeepest) {
    TriMeshGeom mesh;
    FillStackedFloors(mesh);
    ASSERT_TRUE(mesh.Build());
    EXPECT_EQ(mesh.TriangleCount(), 4);
    TriangleVeto veto;
    mesh.listeners.push_back(&veto);

    for (bool closestHit : {false, true}) {
        SCOPED_TRACE(closestHit);
        RayGeom ray(30.0f);
        ray.flags = PhysicsGeom::OneSided | PhysicsGeom::AlwaysCollide;
        ray.Set(Vector3(1, 20, 2), Vector3(0, -1, 0));
        ray.SetParams(false, false);
        ray.SetClosestHit(closestHit);
        RayHits hits;
        ray.listeners.push_back(&hits);
        ASSERT_TRUE(world.TestPair(&ray, &mesh));
        ASSERT_FALSE(hits.hits.empty());
        const auto deepest = *std::max_element(hits.hits.begin(), hits.hits.end());
        EXPECT_NEAR(deepest.second, 5.0f, 1e-4f);   // the upper floor is nearer
        EXPECT_NEAR(deepest.first, 30.0f - 15.0f, 1e-4f);
        for (const auto& h : hits.hits) EXPECT_NEAR(h.first, 30.0f - (20.0f - h.second), 1e-4f);
    }
    EXPECT_FALSE(veto.asked.empty());

    // A ray listener on the mesh can drop triangles: with the upper floor refused, the lower
    // one is the nearest hit.
    veto.blocked = {2, 3};
    RayGeom ray(30.0f);
    ray.flags = PhysicsGeom::OneSided | PhysicsGeom::AlwaysCollide;
    ray.Set(Vector3(1, 20, 2), Vector3(0, -1, 0));
    RayHits hits;
    ray.listeners.push_back(&hits);
    ASSERT_TRUE(world.TestPair(&ray, &mesh));
    const auto deepest = *std::max_element(hits.hits.begin(), hits.hits.end());
    EXPECT_NEAR(deepest.second, 0.0f, 1e-4f);
    world.Step(H);
}

// A floor whose triangles belong to another mission variant: a dropped sphere rests on it only
// while the variant is active; the sphere's listener hears which triangles it touches.
TEST_F(TriMeshTest, IgnoredTrianglesLetASphereFallThrough) {
    struct Toucher : CollisionListener {
        Toucher() : CollisionListener(AskOnTriangles) {}
        int notified = 0;
        void OnTriangles(PhysicsGeom* mesh, PhysicsGeom*, const int32_t* triangles, int32_t count) override {
            EXPECT_TRUE(mesh->IsTriMesh());
            EXPECT_GT(count, 0);
            EXPECT_GE(triangles[0], 0);
            ++notified;
        }
    };
    for (bool variantActive : {true, false}) {
        SCOPED_TRACE(variantActive);
        TriMeshGeom mesh;
        mesh.Vertices() = {-10, 0, -10, 10, 0, -10, 10, 0, 10, -10, 0, 10};
        mesh.Indices() = {0, 2, 1, 0, 3, 2};
        ASSERT_TRUE(mesh.Build());
        TriangleVeto variant;
        if (!variantActive) variant.blocked = {0, 1};
        mesh.listeners.push_back(&variant);
        mesh.AddToWorld(world);
        SphereGeom ball(1.0f);
        Toucher toucher;
        ball.listeners.push_back(&toucher);
        RigidBody body(world);
        body.SetGeom(&ball);
        body.SetPosition(Vector3(1, 3, 1));
        ball.AddToWorld(world);
        body.Enable();
        Run(75);
        if (variantActive) {
            EXPECT_NEAR(body.GetPosition().y, 1.0f, 0.1f);
            EXPECT_GT(toucher.notified, 0);
        } else {
            EXPECT_LT(body.GetPosition().y, -50.0f);
        }
        body.SetGeom(nullptr);
    }
}

TEST_F(TriMeshTest, BuildValidatesTheArrays) {
    // Empty: builds without collision data and stays out of every space.
    TriMeshGeom empty;
    EXPECT_TRUE(empty.Build());
    EXPECT_FALSE(empty.IsBuilt());
    empty.AddToWorld(world);
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, 0u);
    world.Collide();
    EXPECT_EQ(empty.GetTriangleNormal(0), Vector3());

    const struct {
        const char* name;
        std::vector<float> vertices;
        std::vector<int32_t> indices;
    } broken[] = {
        {"index past the vertices", {0, 0, 0, 1, 0, 0, 0, 0, 1}, {0, 1, 3}},
        {"negative index", {0, 0, 0, 1, 0, 0, 0, 0, 1}, {0, -1, 2}},
        {"index count not a multiple of 3", {0, 0, 0, 1, 0, 0, 0, 0, 1}, {0, 1, 2, 0}},
        {"ragged vertex array", {0, 0, 0, 1, 0}, {0, 0, 0}},
    };
    for (const auto& b : broken) {
        SCOPED_TRACE(b.name);
        TriMeshGeom mesh;
        mesh.Vertices() = b.vertices;
        mesh.Indices() = b.indices;
        log.Clear();
        EXPECT_FALSE(mesh.Build());
        EXPECT_FALSE(mesh.IsBuilt());
        EXPECT_TRUE(log.Contains("Triangle mesh refused"));
    }

    TriMeshGeom mesh;
    mesh.Vertices() = {0, 0, 0, 3, 0, 0, 0, 0, 3};
    mesh.Indices() = {0, 2, 1};
    ASSERT_TRUE(mesh.Build());
    // Emptied and rebuilt: leaves the space and its old triangles with it; filled again, it
    // comes back into the world it was added to.
    mesh.AddToWorld(world);
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, 1u);
    mesh.Indices().clear();
    EXPECT_TRUE(mesh.Build());
    EXPECT_FALSE(mesh.IsBuilt());
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, 0u);
    EXPECT_EQ(mesh.GetTriangleNormal(0), Vector3());
    mesh.Indices() = {0, 2, 1};
    ASSERT_TRUE(mesh.Build());
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, 1u);
    mesh.RemoveFromWorld(world);
    EXPECT_TRUE(mesh.IsTriMesh());
    EXPECT_FALSE(mesh.IsRay());
    const Vector3 n = mesh.GetTriangleNormal(0);
    EXPECT_NEAR(n.y, 1.0f, 1e-6f);
    const Vector3 c = mesh.GetTriangleCentre(0);
    EXPECT_NEAR(c.x, 1.0f, 1e-6f);
    EXPECT_NEAR(c.z, 1.0f, 1e-6f);
    EXPECT_EQ(mesh.GetTriangleCentre(1), Vector3());
}

// An owner's shape wrapped in a geometry transform: shape questions go to the shape inside,
// placement and spaces to the transform.
struct TransformedRay : PhysicsGeom {
    explicit TransformedRay(float length) {
        flags |= Transformed;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
        dGeomID transform = dCreateGeomTransform(nullptr);
        dGeomTransformSetCleanup(transform, 1);
        dGeomTransformSetGeom(transform, dCreateRay(nullptr, length));
#pragma GCC diagnostic pop
        Adopt(transform);
    }
};

TEST_F(TriMeshTest, TransformedGeomAnswersForTheShapeInside) {
    TransformedRay wrapped(12.0f);
    EXPECT_TRUE(wrapped.IsRay());
    EXPECT_FALSE(wrapped.IsTriMesh());
    EXPECT_NE(wrapped.GetOdeGeom(), wrapped.GetOuterGeom());
    EXPECT_EQ(PhysicsGeom::FromOde(wrapped.GetOdeGeom()), &wrapped);
    EXPECT_EQ(dGeomRayGetLength(wrapped.GetOdeGeom()), 12.0);
    wrapped.SetPosition(Vector3(1, 2, 3));
    EXPECT_EQ(wrapped.GetPosition(), Vector3(1, 2, 3));
    wrapped.AddToWorld(world);
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, 1u);
    wrapped.RemoveFromWorld(world);
}

TEST_F(TriMeshTest, GeomBoundsAndShapes) {
    BoxGeom box(Vector3(1, 2, 3));
    EXPECT_EQ(box.GetHalfExtents(), Vector3(1, 2, 3));
    BoundingBox bounds;
    box.GetBounds(bounds);
    EXPECT_EQ(bounds.halfExtents, Vector3(1, 2, 3));
    SphereGeom sphere(1.0f);
    sphere.SetPosition(Vector3(10, 0, 0));
    sphere.GetBounds(bounds);
    EXPECT_EQ(bounds.centre, Vector3(10, 0, 0));
    EXPECT_EQ(bounds.halfExtents, Vector3(1, 1, 1));
    RayGeom ray(7.0f);
    EXPECT_TRUE(ray.IsRay());
    EXPECT_EQ(ray.GetLength(), 7.0f);
    // A plane cannot be moved or bound; asking must not kill the process.
    PlaneGeom plane(0, 1, 0, 0);
    RigidBody body(world);
    plane.SetPosition(Vector3(1, 2, 3));
    plane.SetBody(&body);
    EXPECT_EQ(plane.GetBody(), nullptr);
    // Adding twice, removing twice.
    sphere.AddToWorld(world);
    sphere.AddToWorld(world);
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, 1u);
    sphere.RemoveFromWorld(world);
    sphere.RemoveFromWorld(world);
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, 0u);
}

} // namespace
