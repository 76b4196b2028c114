#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "MathTestUtil.h"
#include "engine/core/Camera.h"

namespace {

// A camera with an 800 x 600 viewport, its projection built and its planes current.
struct ReadyCamera : Camera {
    ReadyCamera() {
        SetViewport(Rect{0, 0, 800, 600});
        RebuildProjection();
        Apply();
    }
};

// World point at the given view-space coordinates of a camera.
Vector3 FromView(const Camera& cam, const Vector3& v) {
    Matrix4 inverse;
    EXPECT_TRUE(cam.view.Invert(inverse));
    return inverse.TransformCoord(v);
}

TEST(Camera, DefaultsAfterConstruction) {
    Camera cam;
    EXPECT_FLOAT_EQ(cam.fov, 1.3089970f);
    EXPECT_EQ(cam.nearPlane, 1.0f);
    EXPECT_EQ(cam.farPlane, 32768.0f);
    const float lods[5] = {12288.0f, 10922.667f, 8192.0f, 5461.333f, 4096.0f};
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(cam.lodDistances[i], lods[i]);
    EXPECT_TRUE(cam.ProjectionDirty());
    EXPECT_FALSE(cam.FogEnabled());
    EXPECT_FALSE(cam.Orthographic());
    EXPECT_EQ(cam.fogColor.ToARGB(), 0xFFFFFFFFu);
    EXPECT_EQ(cam.fogStart, 0.0f);
    EXPECT_EQ(cam.fogEnd, 32768.0f);
    EXPECT_EQ(cam.positionDirty, 1);
    EXPECT_EQ(cam.orientationDirty, 1);
    EXPECT_EQ(cam.orientation, Quaternion());
    EXPECT_EQ(cam.projection, Matrix4());
    for (const Plane* p : cam.clipPlanes) EXPECT_EQ(p, nullptr);
    // The far distance and the five LOD distances form one table.
    EXPECT_EQ(&cam.lodDistances[0], &cam.farPlane + 1);
    EXPECT_EQ(cam.DistanceForClass(0), cam.farPlane);
    EXPECT_EQ(cam.DistanceForClass(5), cam.lodDistances[4]);
}

TEST(Camera, FovClampFarPlaneAndFog) {
    Camera cam;
    struct { float in, out; } fovs[] = {{0.0f, 0.017453293f}, {3.0f, 2.6179940f}, {1.0f, 1.0f}, {-5.0f, 0.017453293f}};
    for (auto& f : fovs) {
        cam.flags = 0;
        cam.SetFov(f.in);
        EXPECT_FLOAT_EQ(cam.fov, f.out) << f.in;
        EXPECT_TRUE(cam.ProjectionDirty());
    }
    cam.SetFov(1.0f);
    cam.AddFov(0.25f);
    EXPECT_FLOAT_EQ(cam.fov, 1.25f);

    cam.flags = 0;
    cam.SetFarPlane(1000);
    const float lods[5] = {375, 333.33334f, 250, 166.66667f, 125};
    for (int i = 0; i < 5; ++i) EXPECT_FLOAT_EQ(cam.lodDistances[i], lods[i]);
    EXPECT_TRUE(cam.ProjectionDirty());
    cam.flags = 0;
    cam.SetNearPlane(0.5f);
    EXPECT_TRUE(cam.ProjectionDirty());
    cam.flags = 0;

    cam.EnableFog(true);
    EXPECT_TRUE(cam.FogEnabled());
    cam.SetFogRange(0.75f, 1.0f);
    cam.SetFogColor(Color::FromARGB(0xFF102030));
    EXPECT_EQ(cam.fogStart, 0.75f);
    EXPECT_EQ(cam.fogColor.ToARGB(), 0xFF102030u);
    cam.EnableFog(false);
    EXPECT_FALSE(cam.FogEnabled());
    EXPECT_FALSE(cam.ProjectionDirty());  // fog changes do not touch the projection
}

TEST(Camera, ViewportFormsAndResetFromWindowSize) {
    Camera cam;
    cam.SetViewport(Point2i{10, 20}, Point2i{640, 480});
    EXPECT_EQ(cam.viewport, (Rect{10, 20, 650, 500}));

    // Without a window the viewport is left alone.
    cam.Reset();
    EXPECT_EQ(cam.viewport, (Rect{10, 20, 650, 500}));

    Camera::SetClientSizeSource([](int32_t* w, int32_t* h) {
        *w = 1024;
        *h = 768;
        return true;
    });
    Camera fromWindow;
    Camera::SetClientSizeSource(nullptr);
    EXPECT_EQ(fromWindow.viewport, (Rect{0, 0, 1024, 768}));
}

TEST(Camera, PerspectiveAndOrthographicProjection) {
    Camera cam;
    cam.SetViewport(Rect{0, 0, 800, 600});
    cam.RebuildProjection();
    EXPECT_FALSE(cam.ProjectionDirty());
    ExpectMatrixNear(cam.projection, Matrix4::PerspectiveFovLH(cam.fov, float(800.0 / 600.0), 1.0f, 32768.0f), 0);
    EXPECT_FLOAT_EQ(cam.projection.m[1][1] / cam.projection.m[0][0], 1.3333333f);

    // A viewport offset from the corner keeps its own aspect.
    cam.SetViewport(Rect{100, 50, 500, 250});
    cam.RebuildProjection();
    EXPECT_FLOAT_EQ(cam.projection.m[1][1] / cam.projection.m[0][0], 2.0f);

    // A collapsed viewport keeps a finite projection.
    for (Rect r : {Rect{0, 0, 800, 0}, Rect{0, 0, 0, 600}, Rect{0, 0, 0, 0}}) {
        cam.SetViewport(r);
        cam.RebuildProjection();
        for (auto& row : cam.projection.m)
            for (float v : row) EXPECT_TRUE(std::isfinite(v));
    }

    cam.flags |= Camera::kOrthographic;
    cam.orthoWidth = 200;
    cam.orthoHeight = 100;
    cam.SetFarPlane(1000);
    cam.RebuildProjection();
    // Orthographic near distance is 0, whatever nearPlane says.
    ExpectMatrixNear(cam.projection, Matrix4::OrthoLH(200, 100, 0, 1000), 0);
}

TEST(Camera, ViewLooksDownNegativeZScaledFirst) {
    Camera cam;
    cam.position = {1, 2, 3};
    cam.RebuildView();
    // The eye maps to the origin; the identity orientation looks along world -z.
    ExpectVecNear(cam.view.TransformCoord({1, 2, 3}), {0, 0, 0});
    ExpectVecNear(cam.view.TransformCoord({1, 2, -7}), {0, 0, 10}, 1e-5f);
    ExpectVecNear(cam.view.TransformCoord({2, 2, 3}), {-1, 0, 0}, 1e-5f);

    cam.scale = {2, 2, 2};
    cam.position = {2, 0, 0};
    cam.RebuildView();
    ExpectVecNear(cam.view.TransformCoord({1, 0, 0}), {0, 0, 0});  // scale before the move

    // The orientation turns the view: a quarter turn about y.
    cam.scale = {1, 1, 1};
    cam.position = {};
    cam.orientation = Quaternion(Vector3(0, 1, 0), HalfPi);
    cam.RebuildView();
    const Matrix4 expected = cam.orientation.ToMatrix() * Matrix4::RotationY(Pi);
    ExpectMatrixNear(cam.view, expected);
}

TEST(Camera, ApplyRebuildsOnlyOnPositionOrOrientationChange) {
    ReadyCamera cam;
    EXPECT_EQ(cam.positionDirty, 0);
    EXPECT_EQ(cam.orientationDirty, 0);
    const Matrix4 view = cam.view;
    Plane planes[6];
    std::memcpy(planes, cam.planes, sizeof(planes));

    // A pending projection alone leaves view and planes as they are.
    cam.position = {50, 0, 0};
    cam.SetFov(0.5f);
    cam.RebuildProjection();
    cam.Step(0.016f);
    EXPECT_EQ(cam.view, view);
    EXPECT_EQ(0, std::memcmp(planes, cam.planes, sizeof(planes)));

    cam.positionDirty = 1;
    cam.Apply();
    EXPECT_EQ(cam.positionDirty, 0);
    EXPECT_NE(cam.view, view);
    EXPECT_NE(0, std::memcmp(planes, cam.planes, sizeof(planes)));
    for (const Plane& p : cam.planes) EXPECT_NEAR(p.n.Length(), 1.0f, 1e-5f);
}

TEST(Camera, BoxVisibility) {
    ReadyCamera cam;  // at the origin, looking along -z, near 1, far 32768
    struct Case {
        const char* what;
        BoundingBox box;
        bool visible;
    } cases[] = {
        {"ahead", {{0, 0, -50}, {1, 1, 1}}, true},
        {"behind the eye", {{0, 0, 5}, {1, 1, 1}}, false},
        {"between eye and near plane", {{0, 0, -0.5f}, {0.2f, 0.2f, 0.2f}}, false},
        {"straddling the near plane", {{0, 0, -1}, {0.5f, 0.5f, 0.5f}}, true},
        {"outside the left plane (world +x is screen left)", {{1000, 0, -50}, {1, 1, 1}}, false},
        {"outside the right plane", {{-1000, 0, -50}, {1, 1, 1}}, false},
        {"above the top plane", {{0, 1000, -50}, {1, 1, 1}}, false},
        {"straddling a side plane", {{60, 0, -50}, {30, 1, 1}}, true},
        {"beyond the far plane", {{0, 0, -40000}, {10, 10, 10}}, false},
        {"straddling the far plane", {{0, 0, -32768}, {10, 10, 10}}, true},
        {"enclosing the eye", {{0, 0, 0}, {5, 5, 5}}, true},
    };
    for (const Case& c : cases) EXPECT_EQ(cam.IsBoxVisible(c.box), c.visible) << c.what;

    // The four side planes come first.
    EXPECT_NEAR(cam.planes[Camera::kPlaneNear].n.z, -1.0f, 1e-5f);
    EXPECT_NEAR(cam.planes[Camera::kPlaneNear].d, 1.0f, 1e-4f);
    EXPECT_NEAR(cam.planes[Camera::kPlaneFar].n.z, 1.0f, 1e-5f);
    EXPECT_LT(cam.planes[Camera::kPlaneLeft].n.x, 0.0f);
    EXPECT_GT(cam.planes[Camera::kPlaneRight].n.x, 0.0f);
    // Normals point inwards: the bottom plane's up, the top plane's down.
    EXPECT_GT(cam.planes[Camera::kPlaneBottom].n.y, 0.0f);
    EXPECT_LT(cam.planes[Camera::kPlaneTop].n.y, 0.0f);
}

TEST(Camera, ProjectLandsOnViewportPixels) {
    ReadyCamera cam;
    const Vector2 centre = cam.Project({0, 0, -100});
    EXPECT_NEAR(centre.x, 400.0f, 1e-3f);
    EXPECT_NEAR(centre.y, 300.0f, 1e-3f);

    // A moved and turned camera, with a viewport away from the corner (projection uses 0, 0).
    cam.position = {120, -40, 300};
    cam.orientation = Quaternion(Vector3(0.3f, 1, 0.2f).Normalized(), 0.8f);
    cam.positionDirty = 1;
    cam.SetViewport(Rect{100, 100, 740, 580});
    cam.RebuildProjection();
    cam.Apply();
    const Vector2 onAxis = cam.Project(FromView(cam, {0, 0, 250}));
    EXPECT_NEAR(onAxis.x, 320.0f, 1e-2f);
    EXPECT_NEAR(onAxis.y, 240.0f, 1e-2f);
    // View +x is screen right, view +y is screen up.
    EXPECT_GT(cam.Project(FromView(cam, {20, 0, 250})).x, 330.0f);
    EXPECT_LT(cam.Project(FromView(cam, {0, 20, 250})).y, 230.0f);
    // A point on the left plane lands on the left edge.
    const float halfWidth = 250.0f / cam.projection.m[0][0];
    EXPECT_NEAR(cam.Project(FromView(cam, {-halfWidth, 0, 250})).x, 0.0f, 0.05f);
    EXPECT_TRUE(cam.IsBoxVisible({FromView(cam, {0, 0, 250}), {1, 1, 1}}));
}

}  // namespace
