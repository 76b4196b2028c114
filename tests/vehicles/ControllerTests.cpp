// The player's controller on scripted input, the default bindings, and the car select.
#include <gtest/gtest.h>

#include <cstring>
#include <iterator>
#include <set>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/InputActions.h"
#include "game/vehicles/CarSelectController.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/VehicleDriver.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;
using testing_support::FakeAudioDevice;
using testing_support::FakeInputDevice;

namespace {

class ControllerTest : public VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        flat.engine.services.sound = &audio;
        SetDefaultDrivingBindings(&input);
        car = flat.AddCar(taxi);
        player = std::make_unique<PlayerController>(flat.context, &input);
        player->camera = &flat.camera;
        player->AttachVehicle(car);
        flat.context.localDriver = player.get();
        flat.camera.SetTarget(car);
    }
    void TearDown() override {
        player.reset();
        flat.context.ownedVehicles.clear();
        flat.engine.services.sound = nullptr;
    }
    // One frame of input: what is held and what went down.
    void Press(std::initializer_list<uint32_t> keys) {
        input.pressed.clear();
        for (uint32_t k : keys) input.pressed.insert(k);
    }

    FakeAudioDevice audio;
    FakeInputDevice input;
    Vehicle* car = nullptr;
    std::unique_ptr<PlayerController> player;
};

} // namespace

TEST_F(ControllerTest, AccelerateBrakesWhileRollingBackFastAndShiftsUpWhenSlow) {
    input.held = {kKeyUp};
    struct Case {
        float backwards;
        bool brakes;
    } cases[] = {{25.0f, true}, {20.0f, true}, {15.0f, false}};
    for (const Case& c : cases) {
        car->drive.gear = -1;
        car->controls.throttle = car->controls.brake = 0.0f;
        car->ChassisBody()->SetLinearVelocity(Vector3(0, 0, c.backwards));
        player->Update();
        if (c.brakes) {
            EXPECT_EQ(car->controls.brake, 1.0f) << c.backwards;
            EXPECT_EQ(car->drive.gear, -1);
        } else {
            EXPECT_EQ(car->drive.gear, 1) << c.backwards;
            EXPECT_EQ(car->controls.throttle, 1.0f);
        }
    }
    // Reverse the other way round: braking while going forwards fast, else into reverse.
    input.held = {kKeyDown};
    car->drive.gear = 2;
    car->ChassisBody()->SetLinearVelocity(Vector3(0, 0, -25.0f));
    car->controls.brake = 0.0f;
    player->Update();
    EXPECT_EQ(car->controls.brake, 1.0f);
    car->ChassisBody()->SetLinearVelocity(Vector3());
    player->Update();
    EXPECT_EQ(car->drive.gear, -1);
}

TEST_F(ControllerTest, BothSteersInOneFrameAreSentLeftThenRight) {
    input.held = {kKeyLeft, kKeyRight};
    player->Update();
    EXPECT_EQ(car->controls.steerInput, -1.0f);
    input.held = {kKeyLeft};
    player->Update();
    EXPECT_EQ(car->controls.steerInput, 1.0f);
}

TEST_F(ControllerTest, KeysDriveViewsLightsLookBackOverlaysAndResets) {
    Press({36 + 4});
    player->Update();
    EXPECT_EQ(flat.camera.CameraIndex(), 4u);
    input.held = {1}; // B
    Press({11});      // L
    player->Update();
    EXPECT_TRUE(car->controls.lookBack);
    EXPECT_EQ(car->effects.headlightsOn, 1);
    input.held.clear();
    Press({PlayerController::OverlayKey});
    player->Update();
    EXPECT_FALSE(player->ShowsModeOverlays());
    Press({});
    player->Update();
    EXPECT_FALSE(player->ShowsModeOverlays()) << "held down, pressed only once";
    Press({PlayerController::OverlayKey});
    player->Update();
    EXPECT_TRUE(player->ShowsModeOverlays());

    // Reset: only where the mode allows it; a live car is reported as its own kill first.
    Press({17});
    player->Update();
    EXPECT_TRUE(flat.rules.destroyed.empty());
    flat.rules.resetAllowed = 1;
    car->SetPosition(Vector3(500, 40, 500));
    player->Update();
    ASSERT_EQ(flat.rules.destroyed.size(), 1u);
    EXPECT_EQ(flat.rules.destroyed[0].victim, car);
    EXPECT_EQ(flat.rules.destroyed[0].killer, car);
    EXPECT_LT((car->GetPosition() - Vector3(0, 5, 0)).Length(), 1e-3f);
    // While the mode locks input nothing happens.
    flat.rules.inputLocked = 1;
    input.held = {kKeyUp};
    car->controls.throttle = 0.0f;
    player->Update();
    EXPECT_EQ(car->controls.throttle, 0.0f);
}

namespace {

// A driver that is not the player: it writes the record it is given, as an AI driver or a
// remote player's car does.
struct ScriptedDriver : VehicleDriver {
    void Drive(const VehicleControls& record) { vehicle->ApplyControls(record); }
};

// The chassis and wheel bodies' state, compared bit for bit.
std::vector<float> BodyState(Vehicle& car) {
    std::vector<float> out;
    const auto add = [&out](RigidBody& b) {
        Quaternion q;
        b.GetOrientation(q);
        for (const Vector3& v : {b.GetPosition(), b.GetLinearVelocity(), b.GetAngularVelocity()})
            out.insert(out.end(), {v.x, v.y, v.z});
        out.insert(out.end(), {q.x, q.y, q.z, q.w});
    };
    add(*car.ChassisBody());
    for (int32_t i = 0; i < 4; ++i) add(*car.WheelBody(i));
    return out;
}

} // namespace

TEST_F(ControllerTest, AScriptedDriverWritingThePlayersRecordsDrivesTheSamePathToTheBit) {
    // Keys held and the record they stand for, over stretches of frames.
    struct Stretch {
        int frames;
        std::set<uint32_t> keys;
        VehicleControls record;
    } script[] = {
        {60, {kKeyUp}, {1, 0, 0, 0, false}},
        {10, {kKeyDown}, {0, 1, 0, 0, false}}, // fast forwards: the brake, not reverse
        {40, {kKeyUp, kKeyLeft}, {1, 0, 1, 0, false}},
        {20, {kKeyUp, kKeyRight, 1}, {1, 0, -1, 0, true}},
        {20, {kKeyUp, kKeyLeft, kKeyRight}, {1, 0, -1, 0, false}},
        {6, {kKeyUp, kKeySpace}, {1, 0, 0, 1, false}},
        {20, {}, {}},
        {20, {kKeyUp}, {1, 0, 0, 0, false}},
    };
    // Real, uneven frame times with a stall.
    const float times[] = {1 / 90.0f, 1 / 45.0f, 1 / 20.0f, 1 / 75.0f, 1 / 60.0f, 1 / 30.0f, 0.2f};

    std::vector<std::vector<float>> played;
    int frame = 0;
    for (const Stretch& s : script) {
        for (int f = 0; f < s.frames; ++f, ++frame) {
            input.held = s.keys;
            player->Update();
            // The script holds only while the keys give its record (no reverse, no braking
            // for a car rolling backwards); a handbrake not held decays from earlier frames.
            const VehicleControls& wrote = car->controls;
            ASSERT_EQ(car->drive.gear == -1, false) << "frame " << frame;
            ASSERT_EQ(wrote.throttle, s.record.throttle) << "frame " << frame;
            ASSERT_EQ(wrote.brake, s.record.brake) << "frame " << frame;
            ASSERT_EQ(wrote.steerInput, s.record.steerInput) << "frame " << frame;
            if (s.record.handbrake != 0.0f) {
                ASSERT_EQ(wrote.handbrake, s.record.handbrake) << "frame " << frame;
            }
            ASSERT_EQ(wrote.lookBack, s.record.lookBack) << "frame " << frame;
            flat.world.Update(&flat.camera, times[frame % std::size(times)]);
            played.push_back(BodyState(*car));
        }
    }
    const Vector3 start(0, WheelRadius - 1.4f, 0);
    ASSERT_GT((car->GetPosition() - start).Length(), 300.0f) << "the script drives somewhere";

    ScriptedDriver driver;
    FlatWorld other;
    Vehicle* twin = other.AddCar(taxi);
    driver.vehicle = twin;
    twin->controller = &driver;
    frame = 0;
    for (const Stretch& s : script) {
        for (int f = 0; f < s.frames; ++f, ++frame) {
            driver.Drive(s.record);
            other.world.Update(&other.camera, times[frame % std::size(times)]);
            ASSERT_EQ(std::memcmp(BodyState(*twin).data(), played[size_t(frame)].data(),
                                  played[size_t(frame)].size() * sizeof(float)),
                      0)
                << "frame " << frame;
        }
    }
    twin->controller = nullptr;
}

TEST_F(ControllerTest, EnteringWaterSplashesOnceAndTheCameraUnderWaterFogs) {
    WaterVolume pool;
    pool.sphere = Sphere{Vector3(0, 0, -300), 200.0f};
    pool.box.transform = Matrix4::Translation(0, 0, -300);
    pool.box.halfExtents = Vector3(100, 20, 100);
    flat.world.waterVolumes.push_back(pool);
    flat.camera.position = Vector3(0, 500, 0);
    const int before = audio.plays;
    player->PostWorldUpdate(&flat.world, &flat.camera, Step);
    EXPECT_EQ(audio.plays, before);
    car->SetPosition(Vector3(0, 5, -300));
    for (int f = 0; f < 5; ++f) player->PostWorldUpdate(&flat.world, &flat.camera, Step);
    EXPECT_EQ(audio.plays, before + 1) << "one splash";
    EXPECT_EQ(car->effects.waterVolume, &flat.world.waterVolumes[0]);
    EXPECT_FALSE(flat.camera.underwater);
    flat.camera.position = Vector3(0, 0, -290);
    player->PostWorldUpdate(&flat.world, &flat.camera, Step);
    EXPECT_TRUE(flat.camera.underwater);
    EXPECT_EQ(audio.loopedPlays > 0, true);
}

TEST(DrivingBindings, DefaultsFollowTheTableAndAJoystickPicksItsScheme) {
    FakeInputDevice input;
    SetDefaultDrivingBindings(&input);
    EXPECT_EQ(ActiveBinding(ActionHandbrake)->primary.code, 63);
    EXPECT_EQ(ActiveBinding(ActionHandbrake)->secondary.code, 59);
    EXPECT_EQ(ActiveBinding(ActionAccelerate)->primary.code, 70);
    EXPECT_EQ(ActiveBinding(ActionRespawn)->primary.code, 17);
    EXPECT_EQ(ActiveBinding(ActionToggleSwitch)->primary.code, 11);
    EXPECT_EQ(ActionBindingSet(ActionSteerLeft)[1].primary.code, 0x108);
    EXPECT_EQ(ActionBindingSet(ActionUseSpecial)[1].primary.code, 7);
    input.joysticks.resize(1);
    SetDefaultDrivingBindings(&input);
    EXPECT_EQ(ActiveBinding(ActionAccelerate)->primary.code, 0x402);
    input.joysticks[0].axes[0] = -0.8f;
    EXPECT_GT(DrivingActionValue(&input, ActionSteerLeft), 0.5f);
    input.joysticks.clear();
    SetDefaultDrivingBindings(&input);
}

TEST_F(VehicleTest, TheCarSelectTurnsThroughItsCarsAndHandsTheChosenOneOver) {
    FakeInputDevice input;
    EXPECT_EQ(CarSelectController::Create(flat.context, {}, &input), nullptr);
    EXPECT_TRUE(log.Contains("No playercars available"));

    std::vector<std::unique_ptr<Vehicle>> cars;
    for (int i = 0; i < 3; ++i) {
        cars.push_back(Vehicle::Create(flat.context, taxi));
        flat.world.physics.AddObject(cars.back().get());
        cars.back()->SetPosition(Vector3(float(i) * 100.0f, 5, 0));
        flat.world.Add(cars.back().get());
    }
    Vehicle* second = cars[1].get();
    std::unique_ptr<CarSelectController> select = CarSelectController::Create(flat.context, std::move(cars), &input);
    ASSERT_NE(select, nullptr);
    select->Begin();
    EXPECT_EQ(flat.camera.Target(), select->Current());
    input.pressed = {CarSelectController::LeftKey};
    select->Update();
    EXPECT_EQ(select->index, 2);
    input.pressed = {CarSelectController::RightKey};
    select->Update();
    select->Update();
    EXPECT_EQ(select->index, 1);
    input.pressed.clear();
    select->Update();
    EXPECT_EQ(flat.camera.Target(), second);
    // The game's sounds stay silent until the car is handed over, also while the host is awaited.
    VolumeGroup groups[3];
    VolumeGroup* const groupList[3] = {&groups[0], nullptr, &groups[2]};
    const float levels[3] = {0.5f, 0.25f, 0.75f};
    for (VolumeGroup& g : groups) g.SetVolume(0.0f);
    flat.context.soundGroups = groupList;
    flat.context.soundLevels = levels;
    select->cubePending = 1;
    select->waitForHost = 1;
    input.pressed = {kKeyReturn};
    select->Update();
    EXPECT_EQ(select->confirmed, 1);
    select->PostWorldUpdate(&flat.world, &flat.camera, Step);
    EXPECT_EQ(select->cubePending, 0);
    EXPECT_EQ(select->finishPending, 1);
    EXPECT_EQ(flat.context.pendingController, nullptr);
    EXPECT_EQ(groups[0].Value(), 0.0f);
    select->waitForHost = 0;
    select->PostWorldUpdate(&flat.world, &flat.camera, Step);
    EXPECT_EQ(groups[0].Value(), 0.5f);
    EXPECT_EQ(groups[1].Value(), 0.0f) << "a group the game does not have is left alone";
    EXPECT_EQ(groups[2].Value(), 0.75f);
    flat.context.soundGroups = nullptr;
    flat.context.soundLevels = nullptr;
    ASSERT_NE(flat.context.pendingController, nullptr);
    EXPECT_EQ(flat.context.localDriver->vehicle, second);
    EXPECT_TRUE(second->IsLocalPlayerCar());
    EXPECT_EQ(flat.context.vehicles.back(), second);
    EXPECT_EQ(flat.rules.startedRequest, 1);
    EXPECT_EQ(flat.rules.carsSelected, 1);
    EXPECT_EQ(flat.world.physics.ClientCount(), 1) << "the other candidates are gone";
    select.reset();
    flat.context.pendingController.reset();
    EXPECT_EQ(second->controller, nullptr);
}
