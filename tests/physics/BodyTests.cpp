#include <cmath>
#include <limits>

#include "tests/physics/PhysicsFixture.h"

namespace {

using BodyTest = PhysicsFixture;

const float NaN = std::numeric_limits<float>::quiet_NaN();

void ExpectNear(const Vector3& got, const Vector3& want, float tolerance = 1e-4f) {
    EXPECT_NEAR(got.x, want.x, tolerance);
    EXPECT_NEAR(got.y, want.y, tolerance);
    EXPECT_NEAR(got.z, want.z, tolerance);
}

// A chassis as the cars build it: the centre of mass 10 below the car's reference point, the
// collision box 2 above it. The box's offset from the body survives losing the body and taking
// another one (a knocked car resting bodiless, then woken on a pooled body).
TEST_F(BodyTest, GeomOffsetFollowsTheBodyAcrossBodyChanges) {
    const Vector3 centreOfMass(0, -10, 0), boxCentre(0, 2, 0);
    OffsetRigidBody car(world);
    car.offset = centreOfMass;
    BoxGeom chassis(Vector3(8, 3, 18));
    chassis.SetOffset(boxCentre - centreOfMass); // set before there is a body: kept
    car.SetGeom(&chassis);
    chassis.AddToWorld(world);
    car.SetPosition(Vector3(0, 50, 0));
    ExpectNear(chassis.GetPosition(), Vector3(0, 52, 0));
    // Turned 90 degrees about z, the car's up axis points along -x.
    car.SetOrientation(Quaternion(Vector3(0, 0, 1), HalfPi));
    car.SetPosition(Vector3(0, 50, 0));
    ExpectNear(chassis.GetPosition(), Vector3(-2, 50, 0));

    // Without a body the box stays where it was, and still collides from its space.
    car.SetGeom(nullptr);
    EXPECT_EQ(chassis.GetBody(), nullptr);
    car.SetPosition(Vector3(100, 50, 0));
    ExpectNear(chassis.GetPosition(), Vector3(-2, 50, 0));
    Box& dropped = MakeBox(Vector3(-2, 70, 0), Vector3(1, 1, 1), 1.0f);
    Run(75);
    EXPECT_NEAR(dropped.body->GetPosition().y, 50.0f + 8.0f + 1.0f, 0.2f); // on the turned box

    // On another body the offset applies again, and a new offset applies at once.
    RigidBody pooled(world);
    pooled.SetPosition(Vector3(20, 5, 0));
    pooled.SetGeom(&chassis);
    ExpectNear(chassis.GetPosition(), Vector3(20, 17, 0));
    chassis.SetOffset(Vector3(1, 0, 0));
    ExpectNear(chassis.GetPosition(), Vector3(21, 5, 0));
    pooled.SetGeom(nullptr);
}

// The library aborts when a geom changes body, or a body with geoms is destroyed, while their
// space is being collided. A listener waking a resting geom on a body, or ending a body, has
// its change applied when the collision returns.
TEST_F(BodyTest, BodyChangesDuringCollisionWaitForItsEnd) {
    Floor();
    BoxGeom resting(Vector3(1, 1, 1));
    resting.SetPosition(Vector3(0, 1, 0));
    resting.AddToWorld(world);
    RigidBody wakeBody(world);
    wakeBody.SetBoxMass(1.0f, Vector3(1, 1, 1));
    SphereGeom doomedGeom(1.0f);
    auto doomed = std::make_unique<RigidBody>(world);
    doomed->SetGeom(&doomedGeom);
    doomed->SetPosition(Vector3(10, 0.9f, 0));
    doomed->Enable();
    doomedGeom.AddToWorld(world);
    Box& hitter = MakeBox(Vector3(0, 2.95f, 0), Vector3(1, 1, 1), 1.0f);

    struct Waker : CollisionListener {
        Waker() : CollisionListener(AskFilterContact) {}
        RigidBody* body = nullptr;
        PhysicsGeom* geom = nullptr;
        std::unique_ptr<RigidBody>* doomed = nullptr;
        int calls = 0;
        bool FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3*, Vector3*, float*) override {
            if (calls++ == 0) {
                body->SetPosition(geom->GetPosition());
                body->SetGeom(geom);
                body->Enable();
                EXPECT_EQ(geom->GetBody(), nullptr); // not yet
                doomed->reset();
            }
            return true;
        }
    } waker;
    waker.body = &wakeBody;
    waker.geom = &resting;
    waker.doomed = &doomed;
    resting.listeners.push_back(&waker);

    world.PreStep();
    world.Collide();
    ASSERT_GT(waker.calls, 0);
    EXPECT_EQ(resting.GetBody(), &wakeBody);
    EXPECT_EQ(doomedGeom.GetBody(), nullptr);
    world.PostStep();
    world.Step(H);
    // The woken box rests on the floor with the hitter on top; both stay in the space.
    Run(75);
    EXPECT_NEAR(wakeBody.GetPosition().y, 1.0f, 0.2f);
    EXPECT_NEAR(hitter.body->GetPosition().y, 3.0f, 0.3f);
    wakeBody.SetGeom(nullptr);
}

TEST_F(BodyTest, ForwardAndUpAxesAndMassFromABox) {
    RigidBody body(world);
    const struct {
        Quaternion orientation;
        Vector3 forward, up;
    } axes[] = {
        {Quaternion(), {0, 0, -1}, {0, 1, 0}},
        {Quaternion(Vector3(0, 1, 0), HalfPi), {-1, 0, 0}, {0, 1, 0}},
        {Quaternion(Vector3(1, 0, 0), HalfPi), {0, 1, 0}, {0, 0, 1}},
    };
    for (const auto& c : axes) {
        body.SetOrientation(c.orientation);
        ExpectNear(body.GetForward(), c.forward, 1e-5f);
        ExpectNear(body.GetUp(), c.up, 1e-5f);
    }

    // Mass 12 with half extents (1, 2, 3): inertia diag(52, 40, 20), so that torque turns the
    // body at the same rate about every axis.
    body.SetOrientation(Quaternion());
    body.SetBoxMass(12.0f, Vector3(1, 2, 3));
    EXPECT_EQ(body.GetMass(), 12.0f);
    body.DisableGravity();
    body.Enable();
    body.AddTorque(Vector3(52, 40, 20));
    world.Step(H);
    ExpectNear(body.GetAngularVelocity(), Vector3(H, H, H), 1e-5f);

    for (const auto& refused : {std::pair{0.0f, Vector3(1, 1, 1)}, std::pair{5.0f, Vector3(1, 0, 1)},
                                std::pair{NaN, Vector3(1, 1, 1)}}) {
        log.Clear();
        body.SetBoxMass(refused.first, refused.second);
        EXPECT_TRUE(log.Contains("PHYSICS: Refused box mass"));
        EXPECT_EQ(body.GetMass(), 12.0f);
    }
}

// The screen before the step stops only what would abort it or is plainly broken.
TEST_F(BodyTest, ScreenBeforeTheStep) {
    // A heavy car's downforce passes 1e6; it is a force like any other.
    Box& heavy = MakeBox(Vector3(0, 100, 0), Vector3(5, 5, 5), 10000.0f);
    heavy.body->flags |= RigidBody::KeepHistory;
    heavy.body->DisableGravity();
    SubStep();
    heavy.body->AddForce(Vector3(0, 3.0e6f, 0));
    heavy.body->AddForceAtPosition(Vector3(0, 1.5e6f, 0), heavy.body->GetPosition());
    SubStep();
    EXPECT_FALSE(log.Contains("Fixing body"));
    EXPECT_NEAR(heavy.body->GetLinearVelocity().y, 4.5e6f * H / 10000.0f, 1e-3f);

    // A sleeping wheel joined to an awake chassis is woken inside the step, where a NaN spin
    // would abort it: it is repaired before, asleep or not.
    RigidBody chassis(world), wheel(world);
    chassis.SetPosition(Vector3(50, 100, 0));
    wheel.SetPosition(Vector3(52, 100, 0));
    wheel.flags |= RigidBody::KeepHistory;
    Hinge2Joint joint(world);
    joint.SetBodies(&chassis, &wheel);
    joint.Attach();
    joint.SetAnchor(Vector3(52, 100, 0));
    chassis.Enable();
    wheel.SetAngularVelocity(Vector3(NaN, 0, 0));
    SubStep();
    EXPECT_TRUE(log.Contains("Fixing body"));
    EXPECT_TRUE(std::isfinite(wheel.GetAngularVelocity().x));
}

} // namespace
