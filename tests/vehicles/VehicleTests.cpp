// The car on the real physics layer, on flat ground: wheel motors read back from the joints,
// the frame's clearing, the handbrake's hand-over to the throttle, handedness, putting a car on
// its roof back on its wheels, respawning, its own geoms never touching, repeatable runs and
// the kill plane.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "game/vehicles/CarItem.h"
#include "game/vehicles/ItemPool.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleKillPlane.h"
#include "platform/sys/Random.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

class Special : public CarSpecial {};
class Gun : public Weapon {
public:
    Gun() : Weapon(WeaponChainGun) { ammo = 10.0f; }
};

// Collects the geoms that the chassis and wheels of a car touch.
struct TouchRecorder : CollisionListener {
    TouchRecorder() : CollisionListener(AskFilterContact) {}
    bool FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3*, Vector3*, float*) override {
        touched.push_back(other);
        return true;
    }
    std::vector<PhysicsGeom*> touched;
};

} // namespace

TEST_F(VehicleTest, WheelMotorsReadBackFromTheJoints) {
    Vehicle* car = flat.AddCar(taxi);
    ASSERT_NE(car, nullptr);
    struct Case {
        const char* name;
        int32_t gear;
        float throttle, brake, handbrake, speed, health, raise;
        float velocity, force; // per wheel of mass 50: force = 0.4 x M x (climb + 1)
    } cases[] = {
        {"gear 1 from rest", 1, 1.0f, 0.0f, 0.0f, 0.0f, 1000.0f, 0.0f, 30.0f, 0.4f * (2e7f + 1e5f)},
        {"gear 4 half throttle", 4, 0.5f, 0.0f, 0.0f, 200.0f, 1000.0f, 0.0f, 120.0f, 0.4f * (4000.0f * 0.5f * 20000.0f / 11.0f)},
        {"reverse", -1, 1.0f, 0.0f, 0.0f, 50.0f, 1000.0f, 0.0f, -12.0f, 0.4f * (1e7f + 2000.0f)},
        {"neutral", 0, 1.0f, 0.0f, 0.0f, 150.0f, 1000.0f, 0.0f, 0.0f, 0.4f * 2000.0f},
        {"brake", 1, 0.0f, 1.0f, 0.0f, 150.0f, 1000.0f, 0.0f, 0.0f, 0.4f * 3e7f},
        {"handbrake", 1, 0.0f, 0.0f, 1.0f, 150.0f, 1000.0f, 0.0f, 0.0f, 0.4f * 1.05e7f},
        {"under 100", 2, 0.0f, 0.0f, 0.0f, 40.0f, 1000.0f, 0.0f, 0.0f, 0.4f * 2500.0f},
        {"half health", 1, 1.0f, 0.0f, 0.0f, 150.0f, 500.0f, 0.0f, 30.0f, 0.4f * 2e7f * std::sqrt(0.75f)},
        {"climbing", 1, 1.0f, 0.0f, 0.0f, 150.0f, 1000.0f, 6.0f, 30.0f, 0.8f * 2e7f},
    };
    for (const Case& c : cases) {
        car->Respawn(true);
        car->damage.health = c.health;
        car->drive.gear = c.gear;
        car->controls.throttle = c.throttle;
        car->controls.brake = c.brake;
        car->controls.handbrake = c.handbrake;
        car->ChassisBody()->SetLinearVelocity(Vector3(0, 0, -c.speed));
        for (int w = 0; w < 2; ++w) {
            RigidBody& front = *car->WheelBody(w);
            front.SetPosition(front.GetPosition() + Vector3(0, c.raise, 0));
        }
        car->UpdateWheelMotors(Step);
        for (int w = 0; w < 4; ++w) {
            EXPECT_NEAR(car->WheelJoint(w)->GetWheelMotorVelocity(), c.velocity, 1e-3f) << c.name << " wheel " << w;
            EXPECT_NEAR(car->WheelJoint(w)->GetWheelMotorForce(), c.force, c.force * 1e-4f) << c.name << " wheel " << w;
        }
        EXPECT_NEAR(car->WheelJoint(0)->GetSuspensionErp(), 0.425f, 1e-6f);
    }
    // A wreck keeps the motors it had.
    car->damage.health = 0.0f;
    car->drive.gear = 4;
    car->controls.throttle = 0.2f;
    car->UpdateWheelMotors(Step);
    EXPECT_NEAR(car->WheelJoint(0)->GetWheelMotorVelocity(), 30.0f, 1e-3f);
}

TEST_F(VehicleTest, TheFrameClearsItsInputsAndTheHandbrakeHandsOverAfterTwoSeconds) {
    Vehicle* car = flat.AddCar(taxi);
    flat.Frames(30);
    car->SetThrottle(1.0f);
    car->SetBrake(0.5f);
    car->SetSteering(1.0f);
    car->SetHandbrake(0.5f);
    EXPECT_EQ(car->drive.handbrakeKick, 2.5f);
    flat.Frame();
    EXPECT_EQ(car->controls.throttle, 0.0f);
    EXPECT_EQ(car->controls.brake, 0.0f);
    EXPECT_EQ(car->controls.steerInput, 0.0f);
    EXPECT_NEAR(car->controls.handbrake, 0.5f * (1.0f - 4.0f * Step), 1e-6f);
    // Left alone the handbrake decays below 0.1 and snaps to 0 with its held time.
    flat.Frames(40);
    EXPECT_EQ(car->controls.handbrake, 0.0f);
    EXPECT_EQ(car->drive.handbrakeHeldTime, 0.0f);
    // Zero and a wreck's inputs are ignored.
    car->SetThrottle(0.0f);
    EXPECT_EQ(car->controls.throttle, 0.0f);

    // Held for more than 2 s the handbrake turns into throttle: the wheels are driven.
    int frame = 0;
    float drivenAt = -1.0f;
    for (; frame < 240; ++frame) {
        car->SetHandbrake(1.0f);
        flat.Frame();
        if (drivenAt < 0.0f && car->WheelJoint(2)->GetWheelMotorVelocity() > 0.0f) drivenAt = float(frame) * Step;
    }
    EXPECT_GT(drivenAt, 2.0f);
    EXPECT_LT(drivenAt, 2.2f);
}

TEST_F(VehicleTest, FullThrottleClimbsTheGearsAndTheBrakeStopsIt) {
    Vehicle* car = flat.AddCar(taxi);
    flat.Frames(30);
    for (int f = 0; f < 750; ++f) {
        car->SetThrottle(1.0f);
        flat.Frame();
    }
    EXPECT_GE(car->drive.gear, 3);
    EXPECT_GT(car->GetLinearVelocity().Length() * 0.36f, 60.0f);
    EXPECT_GT(car->ChassisBody()->GetUp().y, 0.9f);
    for (int f = 0; f < 750 && car->GetLinearVelocity().Length() * 0.36f >= 5.0f; ++f) {
        car->SetBrake(1.0f);
        flat.Frame();
    }
    EXPECT_LT(car->GetLinearVelocity().Length() * 0.36f, 5.0f);
    EXPECT_GT(car->ChassisBody()->GetUp().y, 0.9f);
}

TEST_F(VehicleTest, SteerLeftTurnsTowardPlusXAndSteerRightMirrorsIt) {
    float sideways[2];
    for (int side = 0; side < 2; ++side) {
        Vehicle* car = flat.AddCar(taxi, side * 600.0f, 0.0f);
        flat.Frames(30);
        const Vector3 start = car->GetPosition();
        for (int f = 0; f < 150; ++f) {
            car->SetThrottle(1.0f);
            if (side == 0) {
                car->SetSteering(1.0f);
            } else {
                car->SetSteeringNegated(1.0f);
            }
            flat.Frame();
        }
        sideways[side] = car->GetPosition().x - start.x;
        EXPECT_LT(car->GetPosition().z, start.z) << "drove forwards, along -z";
    }
    EXPECT_GT(sideways[0], 5.0f);
    EXPECT_LT(sideways[1], -5.0f);
    EXPECT_NEAR(sideways[0], -sideways[1], 0.05f * sideways[0]);
}

TEST_F(VehicleTest, ACarOnItsRoofIsPutBackOnItsWheelsAfterFiveSeconds) {
    Vehicle* car = flat.AddCar(taxi);
    car->SetOrientation(Quaternion(Vector3(0, 0, 1), Pi));
    car->SetPosition(Vector3(0, 20, 0));
    car->drive.gear = 3;
    float lastY = 0.0f;
    int liftedAt = -1;
    for (int f = 0; f < 450 && liftedAt < 0; ++f) {
        flat.Frame();
        if (car->drive.upsideDownTime == 0.0f && f > 10) {
            liftedAt = f;
            EXPECT_NEAR(car->GetPosition().y - lastY, 10.0f, 1.5f) << "lifted 10 in the frame (less the frame's fall)";
        }
        lastY = car->GetPosition().y;
    }
    ASSERT_GT(liftedAt, 0);
    EXPECT_NEAR(float(liftedAt) * Step, 5.0f, 0.1f);
    EXPECT_EQ(car->drive.gear, 1);
    flat.Frames(150);
    EXPECT_GT(car->ChassisBody()->GetUp().y, 0.9f);
}

TEST_F(VehicleTest, RespawnLiftsTheCarAboveItsPointWithItsJointsAndOwnSpecialOnly) {
    Vehicle* car = flat.AddCar(taxi);
    RespawnPoint point;
    point.position = Vector3(300, 0, 200);
    point.orientation = Quaternion(Vector3(0, 1, 0), 1.0f);
    car->respawn.respawnPoint = &point;
    auto* own = new Special;
    own->permanent = 1;
    own->pooled = 0;
    car->AddSpecial(own);
    ItemPool pool([] { return new Special; });
    car->AddSpecial(pool.Take());
    car->SetWeapon(new Gun);
    car->damage.health = 0.0f;
    flat.Frame();
    EXPECT_FALSE(car->WheelJoint(0)->IsAttached()) << "a wreck loses its wheels";

    car->Respawn(false);
    EXPECT_EQ(car->damage.health, car->damage.maxHealth);
    const Vector3 at = car->GetPosition();
    EXPECT_NEAR(at.x, 300.0f, 1e-3f);
    EXPECT_NEAR(at.y, 5.0f, 1e-3f);
    EXPECT_NEAR(at.z, 200.0f, 1e-3f);
    ASSERT_EQ(car->items.specials.size(), 1u);
    EXPECT_EQ(car->items.specials[0], own);
    EXPECT_EQ(pool.Size(), 1u) << "the pickup went back to its pool";
    EXPECT_EQ(car->items.weapon, nullptr);
    const Matrix4 turn = car->GetOrientation().ToMatrix();
    for (int w = 0; w < 4; ++w) {
        Hinge2Joint& j = *car->WheelJoint(w);
        EXPECT_TRUE(j.IsAttached());
        const Vector3 steering = j.GetSteeringAxis(), axle = j.GetWheelAxis();
        EXPECT_NEAR(Vector3::Dot(steering, Vector3(turn.m[1][0], turn.m[1][1], turn.m[1][2])), 1.0f, 1e-3f);
        EXPECT_NEAR(Vector3::Dot(axle, Vector3(turn.m[0][0], turn.m[0][1], turn.m[0][2])), 1.0f, 1e-3f);
    }
    flat.Frames(75);
    EXPECT_GT(car->ChassisBody()->GetUp().y, 0.9f);
    EXPECT_LT(car->GetPosition().y, 5.0f);
}

TEST_F(VehicleTest, ACarsOwnGeomsNeverTouchAndItsBodiesStayOut) {
    Vehicle* car = flat.AddCar(taxi);
    TouchRecorder recorder;
    car->ChassisGeom()->listeners.push_back(&recorder);
    for (int w = 0; w < 4; ++w) car->WheelGeom(w)->listeners.push_back(&recorder);
    for (int f = 0; f < 150; ++f) {
        car->SetThrottle(1.0f);
        car->SetSteering(0.5f);
        flat.Frame();
    }
    EXPECT_FALSE(recorder.touched.empty()) << "the wheels stand on the ground";
    for (PhysicsGeom* g : recorder.touched) EXPECT_NE(g->GetOwner(), static_cast<GeomOwner*>(car));
    car->ChassisGeom()->listeners.pop_back();
    for (int w = 0; w < 4; ++w) car->WheelGeom(w)->listeners.pop_back();
    EXPECT_FALSE(log.Contains("Fixing body"));
}

TEST_F(VehicleTest, TwoRunsGiveTheSameBodies) {
    auto run = [&](std::vector<float>& out) {
        plat::SetEngineRandSeed(7);
        FlatWorld world;
        Vehicle* car = world.AddCar(taxi);
        for (int f = 0; f < 300; ++f) {
            car->SetThrottle(1.0f);
            if (f > 100) car->SetSteering(0.7f);
            if (f > 200) car->SetHandbrake(1.0f);
            world.Frame();
        }
        for (RigidBody* b : {car->ChassisBody(), car->WheelBody(0), car->WheelBody(3)}) {
            const Vector3 p = b->GetPosition(), v = b->GetLinearVelocity();
            Quaternion q;
            b->GetOrientation(q);
            out.insert(out.end(), {p.x, p.y, p.z, v.x, v.y, v.z, q.x, q.y, q.z, q.w});
        }
    };
    std::vector<float> first, second;
    run(first);
    run(second);
    EXPECT_EQ(first, second);
}

// The kill plane below the city: only the local player's car counts. What touches the plane is
// noted inside the step and acted on after it, once per fall: in a respawning mode the car
// reports its own death (while alive) and comes back at its point; in other modes the chase
// camera watches the fall from no lower than -100 and the mission fails.
TEST_F(VehicleTest, TheKillPlaneRespawnsThePlayersCarOrFailsTheMissionOncePerFall) {
    Vehicle* car = flat.AddCar(taxi);
    Vehicle* other = flat.AddCar(taxi, 100.0f, 0.0f);
    ASSERT_TRUE(car && other);
    VehicleDriver driver;
    driver.vehicle = car;
    flat.context.localDriver = &driver;
    RespawnPoint point;
    point.position = Vector3(300, 0, 200);
    car->respawn.respawnPoint = &point;
    VehicleKillPlane killPlane(flat.context);
    flat.world.physics.AddObject(&killPlane);
    // No ground above the plane here: it would lift the car. Lying on the plane, the car is
    // reported in every step until it leaves.
    flat.ground.RemoveFromWorld(flat.world.physics);
    auto lieOnThePlane = [&](int frames) {
        for (int i = 0; i < frames; ++i) {
            car->SetPosition(Vector3(0, -360, 0));
            killPlane.OnKillPlane(*car);
            flat.Frame();
        }
    };

    killPlane.OnKillPlane(*other);
    flat.Frame();
    EXPECT_EQ(flat.rules.fails, 0);
    EXPECT_TRUE(flat.rules.destroyed.empty());

    struct Case {
        float health;
        size_t reports;
    };
    for (const Case c : {Case{50.0f, 1u}, Case{0.0f, 0u}}) {
        SCOPED_TRACE(c.health);
        flat.rules.respawn = 1;
        flat.rules.destroyed.clear();
        car->damage.health = c.health;
        car->SetPosition(Vector3(0, -360, 0));
        killPlane.OnKillPlane(*car);
        EXPECT_TRUE(flat.rules.destroyed.empty()) << "reported after the step, not inside it";
        EXPECT_NEAR(car->GetPosition().y, -360.0f, 1.0f) << "moved after the step, not inside it";
        flat.Frame();
        ASSERT_EQ(flat.rules.destroyed.size(), c.reports);
        if (c.reports) {
            EXPECT_EQ(flat.rules.destroyed[0].killer, car);
            EXPECT_EQ(flat.rules.destroyed[0].victim, car);
        }
        EXPECT_NEAR(car->GetPosition().x, 300.0f, 1.0f);
        EXPECT_GT(car->GetPosition().y, 0.0f);
        EXPECT_EQ(car->damage.health, car->damage.maxHealth);
        EXPECT_EQ(flat.rules.fails, 0);
        flat.Frame(); // a step back on the road ends the fall
    }

    flat.rules.respawn = 0;
    flat.camera.SetCameraIndex(0);
    flat.camera.position = Vector3(5, -300, 7);
    car->SetPosition(Vector3(0, -360, 0));
    killPlane.OnKillPlane(*car);
    EXPECT_EQ(flat.rules.fails, 0) << "failed after the step, not inside it";
    EXPECT_EQ(flat.camera.CameraIndex(), 0u);
    flat.Frame();
    EXPECT_EQ(flat.rules.fails, 1);
    EXPECT_EQ(flat.camera.CameraIndex(), ChaseCamera::SpectatorView);
    EXPECT_FLOAT_EQ(flat.camera.wreckViewPoint.x, 5.0f);
    EXPECT_FLOAT_EQ(flat.camera.wreckViewPoint.y, -100.0f);
    EXPECT_FLOAT_EQ(flat.camera.wreckViewPoint.z, 7.0f);
    lieOnThePlane(20);
    EXPECT_EQ(flat.rules.fails, 1) << "one fall, one report";

    // Back on the road and off the edge again: a second fall. A camera left to other code keeps
    // its view.
    car->SetPosition(Vector3(0, 5, 0));
    flat.Frame();
    flat.camera.SetCameraIndex(ChaseCamera::FreeView);
    car->SetPosition(Vector3(0, -360, 0));
    lieOnThePlane(5);
    EXPECT_EQ(flat.rules.fails, 2);
    EXPECT_EQ(flat.camera.CameraIndex(), ChaseCamera::FreeView);
    flat.world.physics.RemoveObject(&killPlane);
    flat.ground.AddToWorld(flat.world.physics);
    flat.context.localDriver = nullptr;
}

// Nothing of the game keeps naming a car once it is gone, and no car is made from a missing
// definition.
TEST_F(VehicleTest, ARemovedCarIsNamedNowhereAndAMissingDefinitionMakesNoCar) {
    EXPECT_EQ(Vehicle::Create(flat.context, nullptr), nullptr);
    EXPECT_TRUE(log.Contains("No car can be made from"));

    Vehicle* gone = flat.AddCar(taxi);
    Vehicle* stays = flat.AddCar(taxi, 100.0f, 0.0f);
    ASSERT_TRUE(gone && stays);
    VehicleDriver driver;
    driver.vehicle = gone;
    flat.context.localDriver = &driver;
    flat.camera.target = gone;
    stays->damage.lastAttacker = gone;
    Vehicle* watched = gone;
    Vehicle* watchedOther = stays;
    flat.context.watchedPlayerCars = {&watched, &watchedOther};
    flat.Frame();

    std::erase_if(flat.context.ownedVehicles, [gone](const std::unique_ptr<Vehicle>& v) { return v.get() == gone; });
    EXPECT_EQ(flat.context.vehicles, std::vector<Vehicle*>{stays});
    EXPECT_EQ(driver.vehicle, nullptr);
    EXPECT_EQ(flat.camera.target, nullptr);
    EXPECT_EQ(stays->damage.lastAttacker, nullptr);
    EXPECT_EQ(flat.context.watchedPlayerCars, std::vector<Vehicle**>{&watchedOther});
    flat.Frames(3);
    EXPECT_GT(stays->damage.health, 0.0f);
    flat.context.watchedPlayerCars.clear();
    flat.context.localDriver = nullptr;
}
