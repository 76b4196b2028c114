// The car-camera editor's frame on a record as a table (the shared camera of views 10 and 11
// keeps its distance range and its view unflipped, a car's own cameras have no limits), the
// flare editor's turn and the flare point file's bytes read back by the world.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/Math.h"
#include "game/play/CarCameraEditor.h"
#include "game/vehicles/CarCamera.h"
#include "game/world/FlareFile.h"
#include "game/world/World.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/TestSupport.h"

using testing_support::FakeInputDevice;

TEST(CarCameraEditor, SharedCameraKeepsItsRangeAndViewCarCamerasHaveNoLimit) {
    struct Case {
        const char* name;
        bool shared;
        float startDistance;
        float wheel;
        float mouseY;
        float distance;  // after the frame
        bool turned;     // the rotation changed
    };
    const Case cases[] = {
        {"shared: the wheel within the range", true, 100.0f, 50.0f, 0.0f, 105.0f, false},
        {"shared: held at 300", true, 290.0f, 500.0f, 0.0f, 300.0f, false},
        {"shared: held at 40", true, 50.0f, -500.0f, 0.0f, 40.0f, false},
        {"car camera: beyond 300", false, 290.0f, 500.0f, 0.0f, 340.0f, false},
        {"car camera: below 40, even negative", false, 50.0f, -1000.0f, 0.0f, -50.0f, false},
        {"shared: a small tilt is taken", true, 100.0f, 0.0f, 2.0f, 100.0f, true},
        {"shared: a tilt that flips the view is refused", true, 100.0f, 0.0f, 150.0f, 100.0f, false},
        {"car camera: the same tilt is taken", false, 100.0f, 0.0f, 150.0f, 100.0f, true},
    };
    FakeInputDevice input;
    for (const Case& c : cases) {
        CarCamera cam;
        cam.distance = c.startDistance;
        MouseState mouse;
        mouse.wheel = c.wheel;
        mouse.y = c.mouseY;
        car_camera_editor::Control(cam, c.shared, &mouse, input, 0.016f);
        EXPECT_FLOAT_EQ(cam.distance, c.distance) << c.name;
        EXPECT_EQ(!(cam.rotation == Quaternion()), c.turned) << c.name;
    }
}

TEST(CarCameraEditor, HeldKeysMoveTheRecordAtUnevenFrameTimes) {
    FakeInputDevice input;
    CarCamera cam;
    input.held = {car_camera_editor::kXUp, car_camera_editor::kYDown, car_camera_editor::kZUp};
    float total = 0.0f;
    for (const float dt : {0.013f, 0.031f, 0.007f, 0.052f}) {
        car_camera_editor::Control(cam, false, nullptr, input, dt);
        total += dt;
    }
    EXPECT_NEAR(cam.position.x, total * 10.0f, 1e-4f);
    EXPECT_NEAR(cam.position.y, -total * 10.0f, 1e-4f);
    EXPECT_NEAR(cam.position.z, total * 10.0f, 1e-4f);
}

TEST(FlareFile, GoldenBytesTheWorldReadsBackAndTheEditorTurnsThePoint) {
    testing_support::TempWorkDir dir;
    std::filesystem::create_directories("Misc");
    const Vector3 point(100.0f, 50.0f, 0.0f);
    ASSERT_TRUE(SaveFlarePoint(2, point));
    const std::string bytes = dir.ReadBytes("Misc/2.CSS");
    ASSERT_EQ(bytes.size(), 19u);
    EXPECT_EQ(bytes.substr(0, 7), std::string("ZK2\0\0\0\x10", 7));
    float f[3];
    std::memcpy(f, bytes.data() + 7, sizeof f);
    EXPECT_EQ(f[0], 100.0f);
    EXPECT_EQ(f[1], 50.0f);
    EXPECT_EQ(f[2], 0.0f);
    const std::vector<uint8_t> inMemory = FlareFileBytes(point); // what the tools write
    EXPECT_EQ(std::string(inMemory.begin(), inMemory.end()), bytes);

    GameSession session;
    World world(session, testing_support::NoEngine()); // reads the four sky files
    EXPECT_TRUE(world.skies[2].hasFlarePoint);
    EXPECT_FALSE(world.skies[1].hasFlarePoint);
    EXPECT_EQ(world.skies[2].flarePoint.x, 100.0f);

    // Turning about the vertical keeps the height and the distance from the origin.
    FakeInputDevice input;
    input.held = {car_camera_editor::kXUp};
    SkyRecord& sky = world.skies[2];
    car_camera_editor::TurnFlarePoint(sky, input, 0.3f);
    EXPECT_FLOAT_EQ(sky.flarePoint.y, 50.0f);
    EXPECT_NEAR(sky.flarePoint.Length(), point.Length(), 1e-3f);
    EXPECT_GT(std::abs(sky.flarePoint.z), 1.0f);

    // A file that cannot be written says so.
    testing_support::LogCapture log;
    std::filesystem::remove_all("Misc");
    EXPECT_FALSE(SaveFlarePoint(0, point));
    EXPECT_TRUE(log.Contains("Could not save the flare point"));
}
