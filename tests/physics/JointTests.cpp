#include <cmath>
#include <limits>

#include <ode/ode.h>

#include "tests/physics/PhysicsFixture.h"

namespace {

using JointTest = PhysicsFixture;

// Sums the forces of the contact joints it is subscribed to and may discard or scale them.
struct ForceProbe : JointForceReceiver, CollisionListener {
    ForceProbe() : CollisionListener(AskForceReceiver) {}
    RigidBody* body = nullptr;
    bool keep = true;
    float scale = 1.0f;
    float sumY = 0.0f;
    int calls = 0;
    JointForceReceiver* GetForceReceiver(PhysicsGeom*, PhysicsGeom*) override { return this; }
    bool OnJointForce(PhysicsJoint* joint, float, Vector4& f1, Vector4& t1, Vector4&, Vector4&) override {
        ++calls;
        EXPECT_EQ(joint->GetBody1(), body);
        EXPECT_EQ(f1.w, 0.0f);
        sumY += f1.y;
        f1.x *= scale; f1.y *= scale; f1.z *= scale;
        t1.x *= scale; t1.y *= scale; t1.z *= scale;
        return keep;
    }
};

// Without a hook in the library, the layer reads each joint's applied force after the step and
// corrects the bodies when a receiver discards or changes it.
TEST_F(JointTest, ForceHookSeesTheContactForceAndCanDiscardOrScaleIt) {
    Floor();
    const float mass = 10.0f;
    Box& box = MakeBox(Vector3(0, 4.9f, 0), Vector3(5, 5, 5), mass);
    ForceProbe probe;
    probe.body = box.body.get();
    box.geom->listeners.push_back(&probe);
    Run(75);

    // Resting: the contacts carry the weight.
    probe.sumY = 0.0f;
    SubStep();
    EXPECT_GT(probe.calls, 0);
    EXPECT_NEAR(probe.sumY, mass * Gravity, 0.05f * mass * Gravity);
    const float support = probe.sumY;

    // Scaled to a quarter: the body loses three quarters of the support for one step.
    Run(10);
    const float vBefore = box.body->GetLinearVelocity().y;
    probe.scale = 0.25f;
    probe.sumY = 0.0f;
    SubStep();
    const float expected = vBefore - 0.75f * probe.sumY * H / mass;
    EXPECT_NEAR(box.body->GetLinearVelocity().y, expected, 0.05f * std::fabs(expected) + 0.05f);
    EXPECT_LT(box.body->GetLinearVelocity().y, -0.5f * support * H / mass);
    probe.scale = 1.0f;
    Run(75);

    // Discarded: the box falls as if nothing held it.
    probe.keep = false;
    const float y0 = box.body->GetPosition().y;
    const int steps = 10;
    Run(steps);
    EXPECT_NEAR(box.body->GetLinearVelocity().y, -Gravity * H * steps, 0.02f * Gravity * H * steps);
    const float freeFall = Gravity * H * H * float(steps * (steps + 1)) / 2.0f;
    EXPECT_NEAR(y0 - box.body->GetPosition().y, freeFall, 0.1f * freeFall);
}

struct ScriptedReceiver : JointForceReceiver {
    explicit ScriptedReceiver(bool r) : result(r) {}
    bool result;
    int calls = 0;
    bool OnJointForce(PhysicsJoint*, float, Vector4&, Vector4&, Vector4&, Vector4&) override {
        ++calls;
        return result;
    }
};

// Shares an impact as the cars do: body 1 keeps a quarter of its force and body 2 takes the
// other three quarters on top of its own. Records what it saw.
struct ImpactSharer : JointForceReceiver, CollisionListener {
    ImpactSharer() : CollisionListener(AskForceReceiver) {}
    bool share = false;
    RigidBody* body1 = nullptr;
    RigidBody* body2 = nullptr;
    Vector3 seen1, seen2; // summed over the step's joints
    JointForceReceiver* GetForceReceiver(PhysicsGeom*, PhysicsGeom*) override { return this; }
    bool OnJointForce(PhysicsJoint* joint, float, Vector4& f1, Vector4&, Vector4& f2, Vector4&) override {
        body1 = joint->GetBody1();
        body2 = joint->GetBody2();
        seen1 += Vector3(f1.x, f1.y, f1.z);
        seen2 += Vector3(f2.x, f2.y, f2.z);
        if (share) {
            f2.x -= 0.75f * f1.x; f2.y -= 0.75f * f1.y; f2.z -= 0.75f * f1.z;
            f1.x *= 0.25f; f1.y *= 0.25f; f1.z *= 0.25f;
        }
        return true;
    }
};

// A receiver that changes the forces of both bodies of a contact has both corrected: the
// velocity changes are those of the changed forces applied in the step.
TEST_F(JointTest, ForceHookCorrectsBothBodiesOfASharedImpact) {
    Floor();
    const float lowerMass = 10.0f, upperMass = 4.0f;
    Box& lower = MakeBox(Vector3(0, 0.95f, 0), Vector3(1, 1, 1), lowerMass);
    Box& upper = MakeBox(Vector3(0, 2.9f, 0), Vector3(1, 1, 1), upperMass);
    ImpactSharer sharer;
    upper.geom->listeners.push_back(&sharer);
    Run(75); // settled: the stack rests

    const Vector3 lowerBefore = lower.body->GetLinearVelocity(), upperBefore = upper.body->GetLinearVelocity();
    sharer.seen1 = sharer.seen2 = Vector3();
    SubStep(); // unchanged: a resting stack barely moves
    ASSERT_TRUE(sharer.body1 && sharer.body2);
    EXPECT_NEAR(sharer.seen1.y + sharer.seen2.y, 0.0f, 1e-3f * upperMass * Gravity); // equal and opposite
    EXPECT_NEAR(std::fabs(sharer.seen1.y), upperMass * Gravity, 0.05f * upperMass * Gravity);
    const float vLower = lower.body->GetLinearVelocity().y, vUpper = upper.body->GetLinearVelocity().y;
    EXPECT_NEAR(vLower - lowerBefore.y, 0.0f, 0.5f);
    EXPECT_NEAR(vUpper - upperBefore.y, 0.0f, 0.5f);

    sharer.share = true;
    sharer.seen1 = sharer.seen2 = Vector3();
    SubStep();
    const float f1 = sharer.seen1.y;
    const float mass1 = sharer.body1->GetMass(), mass2 = sharer.body2->GetMass();
    // Body 1 lost three quarters of its force; body 2 got the same amount added.
    const float dv1 = -0.75f * f1 * H / mass1, dv2 = -0.75f * f1 * H / mass2;
    EXPECT_NEAR(sharer.body1->GetLinearVelocity().y - (sharer.body1 == lower.body.get() ? vLower : vUpper), dv1,
                0.1f * std::fabs(dv1) + 0.3f);
    EXPECT_NEAR(sharer.body2->GetLinearVelocity().y - (sharer.body2 == lower.body.get() ? vLower : vUpper), dv2,
                0.1f * std::fabs(dv2) + 0.3f);
    EXPECT_GT(std::fabs(dv1), 1.0f);
    EXPECT_GT(std::fabs(dv2), 1.0f);
}

// Force feedback costs the step work, so only joints with receivers get it.
TEST_F(JointTest, FeedbackOnlyForJointsWithReceivers) {
    Floor();
    Box& heard = MakeBox(Vector3(-5, 0.95f, 0), Vector3(1, 1, 1), 1.0f);
    MakeBox(Vector3(5, 0.95f, 0), Vector3(1, 1, 1), 1.0f);
    ImpactSharer listener;
    heard.geom->listeners.push_back(&listener);
    world.PreStep();
    world.Collide();
    int withFeedback = 0, without = 0;
    for (int i = 0; i < world.ContactJointsInUse(); ++i) {
        ContactJoint& j = world.PoolJoint(i);
        const bool hasFeedback = dJointGetFeedback(j.GetOdeJoint()) != nullptr;
        EXPECT_EQ(hasFeedback, j.GetBody1() == heard.body.get());
        (hasFeedback ? withFeedback : without) += 1;
    }
    EXPECT_GT(withFeedback, 0);
    EXPECT_GT(without, 0);
    world.Step(H);

    RigidBody a(world), b(world);
    b.SetPosition(Vector3(1, 0, 0));
    Hinge2Joint joint(world);
    joint.SetBodies(&a, &b);
    joint.Attach();
    a.Enable();
    world.Step(H);
    EXPECT_EQ(dJointGetFeedback(joint.GetOdeJoint()), nullptr);
    ScriptedReceiver receiver(true);
    joint.receivers.push_back(&receiver);
    world.Step(H);
    EXPECT_NE(dJointGetFeedback(joint.GetOdeJoint()), nullptr);
    EXPECT_EQ(receiver.calls, 1);
    joint.receivers.clear();
    world.Step(H);
    EXPECT_EQ(dJointGetFeedback(joint.GetOdeJoint()), nullptr);
    EXPECT_EQ(receiver.calls, 1);
}

TEST_F(JointTest, ForceHookScreensValuesAndAndsTheReceivers) {
    RigidBody a(world), b(world);
    const float big = 1e12f, nan = std::numeric_limits<float>::quiet_NaN();
    const struct {
        const char* name;
        bool withBody2;
        Vector4 f1, t1, f2, t2;
        const char* message; // null: accepted
    } cases[] = {
        {"ordinary", true, {1, 2, 3, 9}, {}, {-1, -2, -3, 9}, {}, nullptr},
        {"force of exactly 1e12", true, {big, 0, 0, 0}, {}, {}, {}, "Invalid force for body1!"},
        {"NaN torque", true, {}, {0, nan, 0, 0}, {}, {}, "Invalid torque for body1!"},
        {"body 2 force", true, {}, {}, {0, 0, -big, 0}, {}, "Invalid force for body2!"},
        {"body 2 torque", true, {}, {}, {}, {nan, 0, 0, 0}, "Invalid torque for body2!"},
        {"no body 2: its vectors unchecked", false, {}, {}, {big, nan, 0, 0}, {nan, 0, 0, 0}, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Hinge2Joint joint(world);
        ScriptedReceiver receiver(true);
        joint.receivers.push_back(&receiver);
        joint.SetBodies(&a, c.withBody2 ? &b : nullptr);
        Vector4 f1 = c.f1, t1 = c.t1, f2 = c.f2, t2 = c.t2;
        log.Clear();
        const bool kept = joint.OnForces(H, f1, t1, f2, t2);
        EXPECT_EQ(kept, c.message == nullptr);
        EXPECT_EQ(receiver.calls, c.message ? 0 : 1);
        if (c.message) {
            EXPECT_TRUE(log.Contains(c.message));
        }
        EXPECT_EQ(f1.w, 0.0f); // the fourth element is no component
    }

    // Every receiver is asked, in order; the forces are kept only when all agree.
    const struct {
        bool first, second, kept;
    } votes[] = {{true, true, true}, {false, true, false}, {true, false, false}, {false, false, false}};
    for (const auto& v : votes) {
        Hinge2Joint joint(world);
        ScriptedReceiver first(v.first), second(v.second);
        joint.receivers = {&first, &second};
        joint.SetBodies(&a, &b);
        Vector4 f1, t1, f2, t2;
        EXPECT_EQ(joint.OnForces(H, f1, t1, f2, t2), v.kept);
        EXPECT_EQ(first.calls, 1);
        EXPECT_EQ(second.calls, 1);
    }
    Hinge2Joint lonely(world);
    Vector4 f1, t1, f2, t2;
    EXPECT_TRUE(lonely.OnForces(H, f1, t1, f2, t2)); // no receivers
}

// A car-like rig: chassis box, four sphere wheels on hinge-2 joints in the car's own space,
// driven over a plane.
class WheelRigTest : public PhysicsFixture {
protected:
    static constexpr float WheelRadius = 4.0f;

    WheelRigTest() {
        Floor();
        car.SetCategoryBits(0x84);
        car.SetCollideBits(7);
        car.AddToWorld(world);
        chassisGeom.SetCategoryBits(0x84);
        chassisGeom.SetCollideBits(7);
        chassis.SetMass(1000.0f);
        chassis.SetBoxInertia(Vector3(8, 3, 18));
        chassis.SetGeom(&chassisGeom);
        chassis.SetPosition(Vector3(0, 12, 0));
        chassis.flags |= RigidBody::KeepHistory;
        car.Add(&chassisGeom);
        const Vector3 corners[4] = {{-9, 7, -12}, {9, 7, -12}, {-9, 7, 12}, {9, 7, 12}};
        for (int i = 0; i < 4; ++i) {
            wheelGeoms[i] = std::make_unique<SphereGeom>(WheelRadius);
            wheelGeoms[i]->SetCategoryBits(0);
            wheelGeoms[i]->SetCollideBits(1);
            wheels[i] = std::make_unique<RigidBody>(world);
            wheels[i]->SetMass(20.0f);
            wheels[i]->SetSphereInertia(WheelRadius);
            wheels[i]->SetGeom(wheelGeoms[i].get());
            wheels[i]->SetPosition(corners[i]);
            wheels[i]->flags |= RigidBody::KeepHistory;
            car.Add(wheelGeoms[i].get());
            joints[i] = std::make_unique<Hinge2Joint>(world);
            joints[i]->SetBodies(&chassis, wheels[i].get());
            joints[i]->Attach();
            joints[i]->SetAnchor(corners[i]);
            // Steering axis first: with the library's default wheel axis this would be
            // parallel if the axes were set one at a time.
            joints[i]->SetSteeringAxis(Vector3(0, 1, 0));
            joints[i]->SetWheelAxis(Vector3(1, 0, 0));
            joints[i]->LockSteering();
            wheels[i]->Enable();
        }
        floor->SetCategoryBits(1);
        chassis.Enable();
    }

    ~WheelRigTest() override {
        for (auto& j : joints) j.reset();
        for (auto& w : wheels) w->SetGeom(nullptr);
        chassis.SetGeom(nullptr);
    }

    PhysicsSpace car;
    BoxGeom chassisGeom{Vector3(8, 3, 18)};
    RigidBody chassis{world};
    std::unique_ptr<SphereGeom> wheelGeoms[4];
    std::unique_ptr<RigidBody> wheels[4];
    std::unique_ptr<Hinge2Joint> joints[4];
};

TEST_F(WheelRigTest, SuspensionHoldsTheChassisAndTheMotorDrivesIt) {
    Run(150); // 2 s at rest
    const Vector3 rest = chassis.GetPosition();
    EXPECT_GT(rest.y - 3.0f, 1.0f);              // chassis bottom clear of the ground
    EXPECT_LT(rest.y, 12.0f);                    // but the suspension gave a little
    for (auto& w : wheels) EXPECT_NEAR(w->GetPosition().y, WheelRadius, 0.5f);
    const Vector3 anchor = joints[0]->GetAnchor();
    EXPECT_NEAR(anchor.x, -9.0f, 0.5f);

    for (auto& j : joints) j->SetWheelMotor(10.0f, 20000.0f);
    joints[0]->SetSuspensionErp(0.425f);
    EXPECT_EQ(joints[0]->GetWheelMotorVelocity(), 10.0f);
    EXPECT_EQ(joints[0]->GetWheelMotorForce(), 20000.0f);
    EXPECT_EQ(joints[0]->GetSuspensionErp(), 0.425f);
    Run(150);
    const Vector3 moved = chassis.GetPosition();
    EXPECT_GT(std::fabs(moved.z - rest.z), 25.0f);
    EXPECT_LT(std::fabs(moved.x - rest.x), 5.0f);
    EXPECT_GT(moved.y - 3.0f, 1.0f);
    for (auto& j : joints) EXPECT_NEAR(j->GetSteeringAngle(), 0.0f, 0.02f);
    EXPECT_FALSE(log.Contains("Fixing body"));
}

// A respawn: the joints are detached, the car is put down elsewhere turned a quarter about y,
// and each joint is attached, anchored and given both axes at once again. The car then drives
// along its new forward axis on its suspension.
TEST_F(WheelRigTest, ReattachedWheelsAnchorAndTakeBothAxesAgain) {
    Run(75);
    for (auto& j : joints) j->Detach();
    const Quaternion turn(Vector3(0, 1, 0), HalfPi);
    auto turned = [](const Vector3& v) { return Vector3(v.z, v.y, -v.x); }; // the same quarter turn
    const Vector3 place(200, 0, 100);
    chassis.SetOrientation(turn);
    chassis.SetPosition(place + Vector3(0, 12, 0));
    chassis.SetLinearVelocity(Vector3());
    chassis.SetAngularVelocity(Vector3());
    const Vector3 corners[4] = {{-9, 7, -12}, {9, 7, -12}, {-9, 7, 12}, {9, 7, 12}};
    for (int i = 0; i < 4; ++i) {
        const Vector3 at = place + turned(corners[i]);
        wheels[i]->SetOrientation(turn);
        wheels[i]->SetPosition(at);
        wheels[i]->SetLinearVelocity(Vector3());
        wheels[i]->SetAngularVelocity(Vector3());
        joints[i]->Attach();
        joints[i]->SetAnchor(at);
        joints[i]->SetAxes(Vector3(0, 1, 0), turned(Vector3(1, 0, 0)));
        EXPECT_NEAR(joints[i]->GetSteeringAngle(), 0.0f, 1e-4f);
        EXPECT_NEAR((joints[i]->GetAnchor() - at).Length(), 0.0f, 1e-3f);
        EXPECT_NEAR((joints[i]->GetWheelAxis() - turned(Vector3(1, 0, 0))).Length(), 0.0f, 1e-4f);
        EXPECT_NEAR((joints[i]->GetSteeringAxis() - Vector3(0, 1, 0)).Length(), 0.0f, 1e-4f);
    }
    EXPECT_FALSE(log.Contains("axes refused"));
    Run(75);
    const Vector3 rest = chassis.GetPosition();
    for (auto& j : joints) j->SetWheelMotor(10.0f, 20000.0f);
    Run(150);
    const Vector3 moved = chassis.GetPosition() - rest;
    EXPECT_GT(std::fabs(moved.x), 25.0f); // the car's length now lies along x
    EXPECT_LT(std::fabs(moved.z), 5.0f);
    EXPECT_GT(chassis.GetPosition().y - 3.0f, 1.0f);
    EXPECT_FALSE(log.Contains("Fixing body"));
}

TEST_F(JointTest, ParallelWheelAxesAreRefusedNotFatal) {
    RigidBody a(world), b(world);
    b.SetPosition(Vector3(1, 0, 0));
    Hinge2Joint joint(world);
    joint.SetBodies(&a, &b);
    joint.Attach();
    joint.SetSteeringAxis(Vector3(1, 0, 0)); // parallel to the wheel axis
    EXPECT_TRUE(log.Contains("axes refused"));
    // Swapping the axes one at a time passes through parallel axes; both at once does not.
    log.Clear();
    joint.SetAxes(Vector3(1, 0, 0), Vector3(0, 1, 0));
    joint.SetAxes(Vector3(0, 1, 0), Vector3(1, 0, 0));
    EXPECT_FALSE(log.Contains("axes refused"));
    joint.SetAxes(Vector3(0, 0, 1), Vector3(0, 0, -2));
    EXPECT_TRUE(log.Contains("axes refused"));
    joint.SetSteeringAxis(Vector3(0, 1, 0));
    joint.Detach();
    EXPECT_FALSE(joint.IsAttached());
    joint.SetBodies(&a, &a);
    joint.Attach(); // both ends on one body: refused
    EXPECT_FALSE(joint.IsAttached());
}

// New bodies reach the library only through an attached joint.
TEST_F(JointTest, SetBodiesTakesEffectWhenAttached) {
    RigidBody a(world), b(world), c(world);
    b.SetPosition(Vector3(1, 0, 0));
    c.SetPosition(Vector3(0, 0, 1));
    Hinge2Joint joint(world);
    joint.SetBodies(&a, &b);
    EXPECT_EQ(dJointGetBody(joint.GetOdeJoint(), 0), nullptr);
    joint.Attach();
    EXPECT_EQ(dJointGetBody(joint.GetOdeJoint(), 0), a.GetOdeBody());
    EXPECT_EQ(dJointGetBody(joint.GetOdeJoint(), 1), b.GetOdeBody());
    joint.SetBodies(&a, &c); // attached: re-attached at once
    EXPECT_EQ(dJointGetBody(joint.GetOdeJoint(), 1), c.GetOdeBody());
    joint.Detach();
    EXPECT_EQ(dJointGetBody(joint.GetOdeJoint(), 0), nullptr);
    joint.SetBodies(&b, &c); // detached: the library still sees no bodies
    EXPECT_EQ(joint.GetBody1(), &b);
    EXPECT_EQ(dJointGetBody(joint.GetOdeJoint(), 0), nullptr);
}

} // namespace
