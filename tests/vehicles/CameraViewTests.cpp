// The views F1 to F12 show each demo car as they are meant to: on a flat street, the records
// 0 to 8 of the car's camera files and the shared default camera in the car's frame and the
// world's keep the camera out of the car's body and above the ground, the views that do not
// turn with the car keep the horizon level, and the chase views and the default view leave most
// of the picture to the street.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "game/world/LevelData.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tests/vehicles/DemoCarFiles.h"

namespace {

using vehicle_test::EngineThread;
using vehicle_test::FlatWorld;
using vehicle_test::Step;

const auto& CarNames = vehicle_test::DemoCarNames;

// Whether a world point lies inside the car's body: the box round its model, where it stands.
bool InsideBody(Vehicle& car, const Vector3& point) {
    const BoundingBox& box = car.Definition().chassisBox;
    const Matrix4 turn = car.GetOrientation().ToMatrix();
    const Vector3 d = point - car.GetPosition();
    for (int axis = 0; axis < 3; ++axis) {
        const float along = d.x * turn.m[axis][0] + d.y * turn.m[axis][1] + d.z * turn.m[axis][2];
        if (std::fabs(along - box.centre[axis]) > box.halfExtents[axis]) return false;
    }
    return true;
}

// The share of the picture that the screen rectangle round the car's body covers (1 when a
// corner of the body is behind the near plane).
float PictureShare(const Camera& camera, Vehicle& car) {
    const BoundingBox& box = car.Definition().chassisBox;
    const Matrix4 pose = [&] {
        Matrix4 m = car.GetOrientation().ToMatrix();
        const Vector3 p = car.GetPosition();
        m.m[3][0] = p.x;
        m.m[3][1] = p.y;
        m.m[3][2] = p.z;
        return m;
    }();
    const float width = float(camera.viewport.right - camera.viewport.left);
    const float height = float(camera.viewport.bottom - camera.viewport.top);
    float left = width, right = 0.0f, top = height, bottom = 0.0f;
    for (int c = 0; c < 8; ++c) {
        const Vector3 local(box.centre.x + ((c & 1) ? box.halfExtents.x : -box.halfExtents.x),
                            box.centre.y + ((c & 2) ? box.halfExtents.y : -box.halfExtents.y),
                            box.centre.z + ((c & 4) ? box.halfExtents.z : -box.halfExtents.z));
        const Vector3 world = pose.TransformCoord(local);
        if (camera.planes[Camera::kPlaneNear].Distance(world) <= 0.0f) return 1.0f;
        const Vector2 s = camera.Project(world);
        left = std::min(left, s.x);
        right = std::max(right, s.x);
        top = std::min(top, s.y);
        bottom = std::max(bottom, s.y);
    }
    left = std::clamp(left, 0.0f, width);
    right = std::clamp(right, 0.0f, width);
    top = std::clamp(top, 0.0f, height);
    bottom = std::clamp(bottom, 0.0f, height);
    return (right - left) * (bottom - top) / (width * height);
}

class CameraViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(vehicle_test::WriteDemoCars());
        CarDefinition::LoadAll();
    }

    testing_support::TempWorkDir dir;
    EngineThread engine;
    testing_support::LogCapture log{3};
    FlatWorld flat;
};

TEST_F(CameraViewTest, EveryRecordViewKeepsTheCameraOutsideTheCarAndAboveTheStreet) {
    const uint32_t views[] = {0, 1, 2, 3, 4, 5, 6, 7, 8, ChaseCamera::DefaultView, ChaseCamera::WorldView};
    for (const char* name : CarNames) {
        SCOPED_TRACE(name);
        const CarDefinition* definition = CarCatalogue::Instance().FindByName(SharedString(name));
        ASSERT_NE(definition, nullptr);
        std::unique_ptr<Vehicle> owned = Vehicle::Create(flat.context, definition);
        Vehicle& car = *owned;
        flat.world.physics.AddObject(&car);
        flat.world.Add(&car);
        flat.context.vehicles.push_back(&car);
        RespawnPoint point;
        point.position = Vector3(0.0f, 5.0f, 0.0f);
        point.orientation = Quaternion(Vector3(0, 1, 0), 0.7f);
        car.respawn.respawnPoint = &point;
        car.Respawn(false);

        ChaseCamera& camera = flat.camera;
        camera.Reset();
        camera.SetViewport(Rect{0, 0, 800, 600});
        camera.SetTarget(&car);
        auto frame = [&] {
            flat.Frame();
            camera.Update(Step);
        };
        for (int f = 0; f < 150; ++f) frame();
        for (const uint32_t view : views) {
            SCOPED_TRACE(view);
            camera.SetCameraIndex(view);
            // Three seconds in the view; after the first tenth the camera stands where the view
            // puts it (the orbit of view 8 goes on all the time).
            bool inside = false, below = false;
            for (int f = 0; f < 225; ++f) {
                frame();
                if (f < 8) continue;
                inside = inside || InsideBody(car, camera.position);
                below = below || camera.position.y < camera.nearPlane;
            }
            EXPECT_FALSE(inside) << "the camera stands in the car's body";
            EXPECT_FALSE(below) << "the camera is under the street or touching it";
            // A camera that does not turn with the car keeps the horizon level.
            const bool attached = view < 9 && car.CameraRecord(view).attached;
            if (!attached) {
                EXPECT_NEAR(camera.WorldOrientation().ToMatrix().m[0][1], 0.0f, 0.01f) << "the horizon tilts";
            }
            if (view == 0 || view == 1 || view == ChaseCamera::DefaultView) {
                EXPECT_LT(PictureShare(camera, car), 0.5f) << "the car hides the street";
            }
        }
        flat.world.Remove(&car);
        flat.world.physics.RemoveObject(&car);
        flat.context.vehicles.clear();
        camera.SetTarget(nullptr);
    }
}

} // namespace
