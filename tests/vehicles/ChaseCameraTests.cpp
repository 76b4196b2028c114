// The chase camera following a real car: heading or full frame under a roll, the world-frame
// view, its follow rate, the wreck's spectator view, walls, targets and the water's fog.
#include <gtest/gtest.h>

#include <cmath>

#include "platform/sys/Random.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

class ChaseCameraTest : public VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        record = &const_cast<CarDefinition*>(taxi)->cameras[0];
        car = flat.AddCar(taxi);
        camera().SetTarget(car);
    }
    ChaseCamera& camera() { return flat.camera; }
    Vector3 Up() { return camera().WorldOrientation().ToMatrix().TransformNormal(Vector3(0, 1, 0)); }
    Vector3 Look() { return camera().WorldOrientation().ToMatrix().TransformNormal(Vector3(0, 0, -1)); }
    void Pose(const Quaternion& q, const Vector3& at = Vector3(0, 50, 0)) {
        car->SetOrientation(q);
        car->SetPosition(at);
    }

    CarCamera* record = nullptr;
    Vehicle* car = nullptr;
};

bool Same(const Quaternion& a, const Quaternion& b, float tolerance = 1e-4f) {
    return std::fabs(std::fabs(a.Dot(b)) - 1.0f) < tolerance;
}

} // namespace

TEST_F(ChaseCameraTest, AHeadingViewIgnoresARollThatAnAttachedViewFollows) {
    record->lerp = 100.0f; // snaps
    const Quaternion roll(Vector3(0, 0, 1), HalfPi * 0.8f);
    for (bool attached : {false, true}) {
        record->attached = attached;
        Pose(roll);
        camera().Update(Step);
        const Vector3 up = Up();
        if (attached) {
            EXPECT_GT(std::fabs(up.x), 0.5f) << "the camera rolls with the car";
        } else {
            EXPECT_NEAR(up.x, 0.0f, 1e-3f);
            EXPECT_GT(up.y, 0.9f);
            // Behind the car (which faces -z), above it, looking along it.
            EXPECT_NEAR(camera().position.z - car->GetPosition().z, 60.0f * std::cos(0.2f), 1.0f);
            EXPECT_GT(camera().position.y, car->GetPosition().y);
            EXPECT_LT(Look().z, -0.9f);
        }
    }
}

TEST_F(ChaseCameraTest, TheDriversLookBackTurnsTheViewAboutWhileHeld) {
    record->lerp = 100.0f; // snaps
    Pose(Quaternion());
    for (bool back : {true, false}) {
        car->controls.lookBack = back;
        camera().Update(Step);
        EXPECT_NEAR(Look().z, back ? 0.98f : -0.98f, 0.02f) << back;
    }
}

TEST_F(ChaseCameraTest, TheWorldViewKeepsItsOffsetWhateverTheHeading) {
    camera().SetCameraIndex(ChaseCamera::WorldView);
    for (float yaw : {0.0f, HalfPi, 2.5f}) {
        Pose(Quaternion(Vector3(0, 1, 0), yaw));
        for (int f = 0; f < 200; ++f) camera().Update(Step);
        const Vector3 offset = camera().position - car->GetPosition();
        EXPECT_NEAR(offset.x, 0.0f, 0.05f) << yaw;
        EXPECT_NEAR(offset.y, 0.0f, 0.05f) << yaw;
        // The default record is a heading view: the world's own heading faces -z.
        EXPECT_NEAR(offset.z, -100.0f, 0.05f) << yaw;
    }
}

TEST_F(ChaseCameraTest, LerpZeroFreezesTheTurnAndALargeLerpSnaps) {
    record->lerp = 100.0f;
    Pose(Quaternion());
    camera().Update(Step);
    const Quaternion straight = camera().WorldOrientation();
    record->lerp = 0.0f;
    Pose(Quaternion(Vector3(0, 1, 0), 1.0f));
    for (int f = 0; f < 30; ++f) camera().Update(Step);
    EXPECT_TRUE(Same(camera().WorldOrientation(), straight));
    // A lerp that covers the whole turn in one frame gets there at once and stays.
    record->lerp = 0.25f / Step;
    camera().Update(Step);
    const Quaternion snapped = camera().WorldOrientation();
    EXPECT_FALSE(Same(snapped, straight));
    camera().Update(Step);
    EXPECT_TRUE(Same(camera().WorldOrientation(), snapped));
    // A smaller one only goes part of the way.
    record->lerp = 1.0f;
    Pose(Quaternion());
    camera().Update(Step);
    EXPECT_FALSE(Same(camera().WorldOrientation(), snapped));
    EXPECT_FALSE(Same(camera().WorldOrientation(), straight));
}

TEST_F(ChaseCameraTest, AWreckIsWatchedFromWhereTheCameraWasThenFromAheadOnceFar) {
    plat::SetEngineRandSeed(3);
    Pose(Quaternion(), Vector3(0, 10, 0));
    for (int f = 0; f < 100; ++f) camera().Update(Step);
    const Vector3 stood = camera().position;
    car->damage.health = 0.0f;
    camera().Update(Step);
    EXPECT_TRUE(camera().wreckViewActive);
    const float distance = (car->GetPosition() - stood).Length();
    EXPECT_NEAR(camera().position.x, stood.x, 1e-3f);
    EXPECT_NEAR(camera().position.y, stood.y + distance * 0.01f, 1e-3f);
    EXPECT_NEAR(camera().position.z, stood.z, 1e-3f);
    EXPECT_GT(Vector3::Dot(Look(), (car->GetPosition() - camera().position).Normalized()), 0.9f);

    // Sitting on the car there is no direction: the view keeps its turn, nothing breaks.
    const Quaternion before = camera().WorldOrientation();
    camera().position = car->GetPosition();
    camera().wreckViewPoint = car->GetPosition();
    camera().Update(Step);
    EXPECT_TRUE(Same(camera().WorldOrientation(), before));
    EXPECT_TRUE(std::isfinite(camera().position.y));

    // Far away and moving along -z: the standing point jumps 500 ahead, 50 aside, 30 up.
    car->SetPosition(Vector3(0, 10, -1500));
    car->ChassisBody()->SetLinearVelocity(Vector3(0, 0, -100));
    camera().Update(Step);
    const Vector3 p = camera().wreckViewPoint;
    EXPECT_NEAR(p.z, -2000.0f, 1e-2f);
    EXPECT_NEAR(std::fabs(p.x), 50.0f, 1e-2f);
    EXPECT_NEAR(p.y, 40.0f, 1e-2f);
    // At rest nothing moves the point, even when asked.
    car->ChassisBody()->SetLinearVelocity(Vector3());
    camera().jumpAhead = true;
    camera().Update(Step);
    EXPECT_EQ(camera().wreckViewPoint, p);
    EXPECT_FALSE(camera().jumpAhead);

    car->damage.health = car->damage.maxHealth;
    camera().Update(Step);
    EXPECT_FALSE(camera().wreckViewActive);
}

TEST_F(ChaseCameraTest, AWallPullsTheCameraToTwoAndAHalfUnitsInFrontOfIt) {
    BoxGeom wall(Vector3(200, 200, 1));
    wall.SetPosition(Vector3(0, 0, 31));
    wall.SetCategoryBits(1);
    wall.SetCollideBits(0);
    wall.AddToWorld(flat.world.physics);
    record->lerp = 100.0f;
    Pose(Quaternion(), Vector3(0, 10, 0));
    camera().Update(Step);
    EXPECT_NEAR(camera().position.z, 30.0f - 2.5f, 1e-3f);
    camera().collideWithWorld = false;
    camera().Update(Step);
    EXPECT_GT(camera().position.z, 50.0f) << "without the wall test it stands behind the wall";
    wall.RemoveFromWorld(flat.world.physics);
}

TEST_F(ChaseCameraTest, TheSameTargetKeepsTheViewAndViewsSayWhetherTheCarShows) {
    record->viewCar = false;
    const_cast<CarDefinition*>(taxi)->cameras[3].viewCar = false;
    camera().SetCameraIndex(3);
    EXPECT_FALSE(camera().viewCar);
    camera().SetTarget(car);
    EXPECT_EQ(camera().CameraIndex(), 3u);
    camera().SetCameraIndex(ChaseCamera::DefaultView);
    EXPECT_TRUE(camera().viewCar);
    Vehicle* other = flat.AddCar(taxi, 200.0f, 0.0f);
    camera().SetTarget(other);
    EXPECT_EQ(camera().CameraIndex(), 0u);
    EXPECT_NEAR(camera().fov, ChaseCamera::DefaultFov, 1e-6f);
    // A car that goes leaves the camera without a target.
    flat.context.ownedVehicles.pop_back();
    EXPECT_EQ(camera().Target(), nullptr);
    camera().Update(Step);
}

TEST_F(ChaseCameraTest, UnderWaterTheFogIsDarkBlue) {
    camera().underwater = true;
    camera().Update(Step);
    EXPECT_TRUE(camera().FogEnabled());
    EXPECT_EQ(camera().fogColor, Color::FromBytes(0x20, 0x40, 0x80, 0xFF));
    EXPECT_EQ(camera().fogStart, -0.75f);
    EXPECT_EQ(camera().fogEnd, 0.5f);
    camera().underwater = false;
    camera().Update(Step);
    EXPECT_FALSE(camera().FogEnabled());
}

TEST_F(ChaseCameraTest, ACarPointingStraightUpKeepsTheLastHeading) {
    record->lerp = 100.0f;
    Pose(Quaternion(Vector3(0, 1, 0), 0.5f));
    camera().Update(Step);
    const Vector3 before = camera().position - car->GetPosition();
    Pose(Quaternion(Vector3(1, 0, 0), -HalfPi));
    camera().Update(Step);
    const Vector3 after = camera().position - car->GetPosition();
    EXPECT_NEAR(after.x, before.x, 1e-2f);
    EXPECT_NEAR(after.z, before.z, 1e-2f);
}
