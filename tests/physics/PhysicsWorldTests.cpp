#include <cmath>
#include <cstring>
#include <functional>
#include <limits>

#include "tests/physics/PhysicsFixture.h"

namespace {

const float NaN = std::numeric_limits<float>::quiet_NaN();

TEST(SplitFrameTest, CutsFrameTimeIntoFixedSubSteps) {
    struct Case {
        float dt, rate, scale;
        bool valid;
        int fullSteps;
        float stepSize, lastStep;
    };
    const float h = 1.0f / 75.0f;
    const Case cases[] = {
        {0.016f, 75, 1, true, 0, h, 0.016f},           // below the threshold: one step of dt
        {0.05f, 75, 1, true, 3, h, 0.05f - 3 * h},      // three full steps and the rest
        {0.25f, 75, 1, true, 18, h, 0.25f - 18 * h},    // the clamped frame: 19 sub-steps
        {0.05f, 75, 0.5f, true, 3, h * 0.5f, (0.05f - 3 * h) * 0.5f}, // scale halves every h
        {0.0f, 75, 1, true, 0, h, 0.0f},                // no time: no integration
        {0.05f, 75, 0, true, 3, 0.0f, 0.0f},            // time scale 0: no integration
        {-0.1f, 75, 1, true, 0, h, 0.0f},               // negative frame time counts as none
        {0.05f, 0, 1, false, 0, 0, 0},                  // rate 0 rejected
        {0.05f, -75, 1, false, 0, 0, 0},                // negative rate rejected
        {0.05f, NaN, 1, false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "dt " << c.dt << " rate " << c.rate << " scale " << c.scale);
        const FrameSplit s = SplitFrame(c.dt, c.rate, c.scale);
        EXPECT_EQ(s.valid, c.valid);
        if (!c.valid) {
            EXPECT_EQ(s.SubSteps(), 0);
            continue;
        }
        EXPECT_EQ(s.fullSteps, c.fullSteps);
        EXPECT_EQ(s.SubSteps(), c.fullSteps + 1);
        EXPECT_NEAR(s.stepSize, c.stepSize, 1e-6f);
        EXPECT_NEAR(s.lastStep, c.lastStep, 1e-5f);
    }
    // An absurd rate cannot make the loop endless.
    EXPECT_LE(SplitFrame(0.25f, 1e30f, 1.0f).fullSteps, 1000);
}

TEST(IsInvalidFloatTest, FlagsNaNInfinityAndHugeValues) {
    const struct {
        float x;
        bool invalid;
    } cases[] = {
        {0.0f, false},       {9999.0f, false}, {-1e6f, false}, {1e29f, false},
        {std::ldexp(1.0f, 98), true},           {-std::ldexp(1.0f, 98), true},
        {NaN, true},         {std::numeric_limits<float>::infinity(), true},
        {-std::numeric_limits<float>::infinity(), true},
    };
    for (const auto& c : cases) EXPECT_EQ(IsInvalidFloat(c.x), c.invalid) << c.x;
}

using PhysicsWorldTest = PhysicsFixture;

TEST_F(PhysicsWorldTest, SimulateRunsSubStepsAndSurvivesBadRatesAndZeroTime) {
    struct Counter : PhysicsClient {
        int pre = 0, post = 0, bounds = 0;
        void PreStep(PhysicsWorld&) override { ++pre; }
        void PostStep(PhysicsWorld&) override { ++post; }
        void UpdateBounds(PhysicsWorld&, float) override { ++bounds; }
    } counter;
    world.AddObject(&counter);
    Box& box = MakeBox(Vector3(0, 100, 0), Vector3(1, 1, 1), 1.0f);

    world.Simulate(0.05f, 75.0f, 1.0f);
    EXPECT_EQ(counter.pre, 4);
    EXPECT_EQ(counter.post, 4);
    EXPECT_EQ(counter.bounds, 4);
    EXPECT_LT(box.body->GetPosition().y, 100.0f);

    world.Simulate(0.05f, 0.0f, 1.0f);  // rejected rate: nothing runs
    world.Simulate(0.05f, -1.0f, 1.0f);
    EXPECT_EQ(counter.pre, 4);

    const Vector3 before = box.body->GetPosition();
    world.Simulate(0.0f, 75.0f, 1.0f);  // clients run, the world does not move
    world.Simulate(0.05f, 75.0f, 0.0f);
    EXPECT_EQ(counter.pre, 9);
    EXPECT_EQ(box.body->GetPosition(), before);
    world.RemoveObject(&counter);
}

TEST_F(PhysicsWorldTest, ClientLoopsSurviveRemovalAndAdditionDuringTheLoop) {
    struct Client : PhysicsClient {
        PhysicsWorld* world = nullptr;
        PhysicsClient* toAdd = nullptr;
        bool removeSelf = false;
        int pre = 0, removed = 0;
        void PreStep(PhysicsWorld& w) override {
            ++pre;
            if (removeSelf) w.RemoveObject(this);
            if (toAdd) {
                w.AddObject(toAdd);
                toAdd = nullptr;
            }
        }
        void OnRemoved(PhysicsWorld&) override { ++removed; }
    } first, second, third, late, stranger;
    first.removeSelf = true;
    second.toAdd = &late;
    world.AddObject(&first);
    world.AddObject(&second);
    world.AddObject(&third);

    world.PreStep();
    EXPECT_EQ(first.pre, 1);
    EXPECT_EQ(first.removed, 1);
    EXPECT_EQ(second.pre, 1); // not skipped by the removal before it
    EXPECT_EQ(third.pre, 1);
    EXPECT_EQ(late.pre, 1);   // added during the loop, visited in it
    EXPECT_EQ(world.ClientCount(), 3);

    world.RemoveObject(&stranger); // never added: no call
    EXPECT_EQ(stranger.removed, 0);
    world.PreStep();
    EXPECT_EQ(first.pre, 1);
    EXPECT_EQ(third.pre, 2);
    world.RemoveObject(&second);
    world.RemoveObject(&third);
    world.RemoveObject(&late);
    EXPECT_EQ(world.ClientCount(), 0);
}

// A body with recorded states whose position goes bad is put back to its oldest good state.
TEST_F(PhysicsWorldTest, BadPositionIsRestoredFromTheOldestRecordedState) {
    Box& box = MakeBox(Vector3(0, 500, 0), Vector3(1, 1, 1), 1.0f);
    box.body->flags |= RigidBody::KeepHistory;
    SubStep();
    const Vector3 oldest = box.body->GetPosition();
    Run(9);
    EXPECT_EQ(world.HistorySize(box.body.get()), 10u);

    log.Clear();
    box.body->SetPosition(Vector3(NaN, 0, 0));
    SubStep();
    EXPECT_TRUE(log.Contains("Fixing body. Resetting to:"));
    EXPECT_TRUE(log.Contains("Pos = 0.00, 4"));
    EXPECT_TRUE(log.Contains("Rot = 0.00, 0.00, 0.00"));
    const Vector3 p = box.body->GetPosition();
    EXPECT_NEAR(p.x, oldest.x, 1e-3f);
    EXPECT_NEAR(p.y, oldest.y, 0.1f);               // one step of fall from rest
    EXPECT_NEAR(box.body->GetLinearVelocity().y, -Gravity * H, 0.01f);
    EXPECT_EQ(world.HistorySize(box.body.get()), 11u); // the next good state is recorded
}

TEST_F(PhysicsWorldTest, StateBoundaryOfOneMillion) {
    const struct {
        float speed;
        bool repaired;
    } cases[] = {{1000000.0f, false}, {1000000.125f, true}, {-1000000.0f, false}, {-1000000.125f, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speed);
        Box& box = MakeBox(Vector3(10.0f * float(boxes.size()), 0, 0), Vector3(1, 1, 1), 1.0f);
        box.body->flags |= RigidBody::KeepHistory;
        box.body->DisableGravity();
        SubStep();
        log.Clear();
        box.body->SetLinearVelocity(Vector3(c.speed, 0, 0));
        SubStep();
        EXPECT_EQ(log.Contains("Fixing body"), c.repaired);
        EXPECT_EQ(box.body->GetLinearVelocity().x, c.repaired ? 0.0f : c.speed);
        box.body->Disable();
    }
    // A position that runs past the bound during the step is caught after it.
    Box& runaway = MakeBox(Vector3(999999.0f, 0, 0), Vector3(1, 1, 1), 1.0f);
    runaway.body->flags |= RigidBody::KeepHistory;
    runaway.body->DisableGravity();
    SubStep();
    runaway.body->SetLinearVelocity(Vector3(900.0f, 0, 0));
    log.Clear();
    SubStep();
    EXPECT_TRUE(log.Contains("Fixing body. Resetting to:"));
    EXPECT_EQ(runaway.body->GetPosition().x, 999999.0f);
}

// The library's step aborts on a NaN angular velocity or torque; the screen before the step
// must stop them, for bodies with and without recorded states.
TEST_F(PhysicsWorldTest, NaNVelocitiesForcesAndTorquesAreRepairedNotAborted) {
    enum Inject { AngularVelocity, Torque, LinearVelocity, Force, RelativeTorque };
    for (bool history : {true, false}) {
        for (Inject inject : {AngularVelocity, Torque, LinearVelocity, Force, RelativeTorque}) {
            SCOPED_TRACE(testing::Message() << "history " << history << " inject " << int(inject));
            Box& box = MakeBox(Vector3(10.0f * float(boxes.size()), 50, 0), Vector3(1, 1, 1), 1.0f);
            if (history) box.body->flags |= RigidBody::KeepHistory;
            Run(3);
            log.Clear();
            switch (inject) {
            case AngularVelocity: box.body->SetAngularVelocity(Vector3(NaN, 0, 0)); break;
            case Torque: box.body->AddTorque(Vector3(0, NaN, 0)); break;
            case LinearVelocity: box.body->SetLinearVelocity(Vector3(0, NaN, 0)); break;
            case Force: box.body->AddForce(Vector3(0, 0, std::numeric_limits<float>::infinity())); break;
            case RelativeTorque: box.body->AddRelativeTorque(Vector3(NaN, NaN, NaN)); break;
            }
            Run(2);
            EXPECT_TRUE(log.Contains("Fixing body"));
            const Vector3 w = box.body->GetAngularVelocity(), v = box.body->GetLinearVelocity();
            const Vector3 p = box.body->GetPosition();
            for (float value : {w.x, w.y, w.z, v.x, v.y, v.z, p.x, p.y, p.z}) EXPECT_TRUE(std::isfinite(value));
            box.body->Disable();
        }
    }
}

TEST_F(PhysicsWorldTest, BodyWithoutRecordedStatesIsStoppedOnAFinitePoseAndDisabled) {
    Box& box = MakeBox(Vector3(3, 4, 5), Vector3(1, 1, 1), 1.0f);
    box.body->flags |= RigidBody::KeepHistory;
    box.body->SetAngularVelocity(Vector3(NaN, NaN, NaN));
    box.body->SetPosition(Vector3(NaN, 1, 1));
    SubStep();
    EXPECT_TRUE(log.Contains("Fixing body"));
    EXPECT_FALSE(box.body->IsEnabled());
    EXPECT_EQ(box.body->GetPosition(), Vector3(0, 0, 0));
    EXPECT_EQ(box.body->GetAngularVelocity(), Vector3(0, 0, 0));
}

TEST_F(PhysicsWorldTest, BrokenQuaternionsBecomeIdentityOrAreNormalised) {
    RigidBody body(world);
    const struct {
        Quaternion in, out;
    } cases[] = {
        {Quaternion(0, 0, 0, 0), Quaternion(0, 0, 0, 1)},
        {Quaternion(NaN, 0, 0, 1), Quaternion(0, 0, 0, 1)},
        {Quaternion(0, 0, 0, 2), Quaternion(0, 0, 0, 1)},
        {Quaternion(0, 3, 0, 4), Quaternion(0, 0.6f, 0, 0.8f)},
    };
    for (const auto& c : cases) {
        body.SetOrientation(c.in);
        Quaternion q;
        body.GetOrientation(q);
        EXPECT_NEAR(q.x, c.out.x, 1e-6f);
        EXPECT_NEAR(q.y, c.out.y, 1e-6f);
        EXPECT_NEAR(q.z, c.out.z, 1e-6f);
        EXPECT_NEAR(q.w, c.out.w, 1e-6f);
    }
    Matrix4 broken;
    broken.m[0][0] = NaN;
    body.SetTransform(broken); // no abort; identity rotation
    Quaternion q;
    body.GetOrientation(q);
    EXPECT_EQ(q.w, 1.0f);
}

TEST_F(PhysicsWorldTest, AutoDisableAfterMoreThanOneSecondBelowTheSpeedLimit) {
    Box& box = MakeBox(Vector3(0, 0, 0), Vector3(1, 1, 1), 1.0f);
    box.body->flags |= RigidBody::AutoDisable;
    box.body->DisableGravity();
    const Vector3 slow(std::sqrt(49.9f), 0, 0);
    // The number of steps after which the idle time first exceeds 1.0 s.
    int steps = 0;
    for (float idle = 0.0f; !(idle > 1.0f); ++steps) idle += H;

    for (int i = 0; i < steps - 1; ++i) {
        box.body->SetLinearVelocity(slow);
        SubStep();
    }
    EXPECT_TRUE(box.body->IsEnabled());
    // A fast moment resets the timer.
    box.body->SetLinearVelocity(Vector3(0, std::sqrt(50.0f) + 0.01f, 0));
    SubStep();
    EXPECT_EQ(box.body->idleTime, 0.0f);
    for (int i = 0; i < steps - 1; ++i) {
        box.body->SetLinearVelocity(slow);
        SubStep();
    }
    EXPECT_TRUE(box.body->IsEnabled());
    box.body->SetLinearVelocity(slow);
    SubStep();
    EXPECT_FALSE(box.body->IsEnabled());
    EXPECT_EQ(box.body->idleTime, 0.0f);
}

TEST_F(PhysicsWorldTest, MassGuardsRefuseWhatWouldAbort) {
    RigidBody body(world);
    body.SetMass(5.0f);
    const struct {
        const char* what;
        void (*call)(RigidBody&);
    } cases[] = {
        {"mass 0", [](RigidBody& b) { b.SetMass(0.0f); }},
        {"negative mass", [](RigidBody& b) { b.SetMass(-1.0f); }},
        {"NaN mass", [](RigidBody& b) { b.SetMass(NaN); }},
        {"zero box extent", [](RigidBody& b) { b.SetBoxInertia(Vector3(0, 1, 1)); }},
        {"negative box extent", [](RigidBody& b) { b.SetBoxInertia(Vector3(1, -1, 1)); }},
        {"zero radius", [](RigidBody& b) { b.SetSphereInertia(0.0f); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        log.Clear();
        c.call(body);
        EXPECT_TRUE(log.Contains("PHYSICS: Refused"));
        EXPECT_EQ(body.GetMass(), 5.0f);
    }
    // The centre of mass never reaches the library; it is kept by the wrapper.
    body.SetCentreOfMass(Vector3(0, -10, 0));
    Vector3 c;
    body.GetCentreOfMass(c);
    EXPECT_EQ(c, Vector3(0, -10, 0));
}

// Values that the library would abort on (inside the call or later in the step) are refused or
// replaced with a log line; the world then steps a wheel rig and a ray on as before.
TEST_F(PhysicsWorldTest, ValuesThatWouldAbortTheLibraryAreRefused) {
    const float inf = std::numeric_limits<float>::infinity();
    Floor();
    Box& chassis = MakeBox(Vector3(0, 6, 0), Vector3(4, 1, 4), 10.0f);
    Box& wheel = MakeBox(Vector3(5, 2, 0), Vector3(1, 1, 1), 5.0f);
    Hinge2Joint joint(world);
    joint.SetBodies(chassis.body.get(), wheel.body.get());
    joint.Attach();
    joint.SetAnchor(Vector3(5, 2, 0));
    RayGeom ray(50.0f);
    ray.flags = PhysicsGeom::OneSided | PhysicsGeom::AlwaysCollide;
    ray.Set(Vector3(0, 20, 0), Vector3(0, -1, 0));
    ray.AddToWorld(world);

    const struct {
        const char* what;
        std::function<void()> call;
        const char* line;
    } cases[] = {
        {"NaN gravity", [&] { world.SetGravity(Vector3(NaN, -275, 0)); }, "Refused gravity"},
        {"infinite wheel motor", [&] { joint.SetWheelMotor(inf, 100.0f); }, "Refused wheel motor"},
        {"NaN motor force", [&] { joint.SetWheelMotor(1.0f, NaN); }, "Refused wheel motor"},
        {"NaN suspension ERP", [&] { joint.SetSuspensionErp(NaN); }, "Refused suspension ERP"},
        {"zero ray direction", [&] { ray.Set(Vector3(1, 20, 0), Vector3()); }, "Ray direction"},
        {"NaN ray direction", [&] { ray.Set(Vector3(1, 20, 0), Vector3(NaN, -1, 0)); }, "Ray direction"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        log.Clear();
        c.call();
        EXPECT_TRUE(log.Contains(c.line));
        Run(3);
    }
    EXPECT_EQ(world.GetGravity(), Vector3(0, -Gravity, 0));
    Vector3 start, direction;
    ray.Get(start, direction); // the broken direction left the old one; the start moved
    EXPECT_EQ(start, Vector3(1, 20, 0));
    EXPECT_EQ(direction, Vector3(0, -1, 0));
    ray.RemoveFromWorld(world);

    // Quadtree bounds from a broken file: replaced, and the space works.
    const struct {
        Vector3 centre, extents;
    } bounds[] = {{{NaN, 0, 0}, {100, 100, 100}}, {{0, 0, 0}, {inf, 100, 100}}, {{0, 0, 0}, {100, -5, 100}}};
    for (const auto& b : bounds) {
        log.Clear();
        PhysicsWorld other;
        other.CreateSpace(b.centre, b.extents, 5);
        EXPECT_TRUE(log.Contains("Invalid space bounds"));
        PhysicsSpace nested(b.centre, b.extents, 3);
        SphereGeom a(1.0f), d(1.0f);
        RigidBody body(other);
        body.SetGeom(&a);
        body.Enable();
        a.AddToWorld(other);
        d.AddToWorld(other);
        nested.AddToWorld(other);
        other.PreStep();
        other.Collide();
        other.Step(H);
        EXPECT_EQ(other.Stats().geoms, 3u);
        body.SetGeom(nullptr);
    }
}

// Box inertia of half extents (1, 2, 3) and mass 12 is diag(52, 40, 20): a torque of exactly
// that size turns the body at the same rate about every axis.
TEST_F(PhysicsWorldTest, BoxInertiaFollowsTheMassAndExtents) {
    RigidBody body(world);
    body.SetMass(12.0f);
    body.SetBoxInertia(Vector3(1, 2, 3));
    body.DisableGravity();
    body.Enable();
    body.AddTorque(Vector3(52, 40, 20));
    world.Step(H);
    const Vector3 w = body.GetAngularVelocity();
    EXPECT_NEAR(w.x, H, 1e-5f);
    EXPECT_NEAR(w.y, H, 1e-5f);
    EXPECT_NEAR(w.z, H, 1e-5f);
}

TEST_F(PhysicsWorldTest, FreshBodyStaysUntilEnabled) {
    RigidBody body(world);
    body.SetPosition(Vector3(0, 10, 0));
    Run(5);
    EXPECT_EQ(body.GetPosition().y, 10.0f);
    body.Enable();
    Run(5);
    EXPECT_LT(body.GetPosition().y, 10.0f);
}

TEST_F(PhysicsWorldTest, OffsetBodyReportsThePointBesideItsCentreOfMass) {
    OffsetRigidBody body(world);
    body.offset = Vector3(0, 1, 0);
    body.SetPosition(Vector3(5, 5, 5));
    EXPECT_EQ(body.RigidBody::GetPosition(), Vector3(5, 6, 5));
    EXPECT_EQ(body.GetPosition(), Vector3(5, 5, 5));
    // Turned 90 degrees about z, the offset points along -x.
    body.SetOrientation(Quaternion(Vector3(0, 0, 1), HalfPi));
    body.SetPosition(Vector3(0, 0, 0));
    const Vector3 centre = body.RigidBody::GetPosition();
    EXPECT_NEAR(centre.x, -1.0f, 1e-5f);
    EXPECT_NEAR(centre.y, 0.0f, 1e-5f);
    Matrix4 m;
    body.GetTransform(m);
    EXPECT_NEAR(m.m[3][0], 0.0f, 1e-5f);
    EXPECT_NEAR(m.m[3][1], 0.0f, 1e-5f);
}

TEST_F(PhysicsWorldTest, ContactPoolIsFreeAfterEveryStep) {
    Floor();
    MakeBox(Vector3(0, 0.9f, 0), Vector3(1, 1, 1), 1.0f);
    world.PreStep();
    world.Collide();
    EXPECT_GT(world.ContactJointsInUse(), 0);
    EXPECT_EQ(world.Stats().joints, uint32_t(world.ContactJointsInUse()));
    world.Step(H);
    EXPECT_EQ(world.ContactJointsInUse(), 0);
}

// More contacts in one sub-step than the pool holds: the rest get no joint, are counted and
// logged once, and the step goes on.
TEST_F(PhysicsWorldTest, FullContactPoolDropsTheRestOfTheSubStep) {
    auto LinesWith = [this](const char* text) {
        int n = 0;
        for (const std::string& line : log.Lines()) n += line.find(text) != std::string::npos;
        return n;
    };
    Floor();
    // Four contacts per box on the floor: 300 boxes ask for 1200 joints.
    for (int i = 0; i < 300; ++i) {
        MakeBox(Vector3(float(i % 20) * 5.0f - 50.0f, 0.9f, float(i / 20) * 5.0f - 40.0f), Vector3(1, 1, 1), 1.0f);
    }
    world.PreStep();
    world.Collide();
    EXPECT_EQ(world.ContactJointsInUse(), PhysicsWorld::ContactPoolSize);
    EXPECT_EQ(world.Stats().joints, uint32_t(PhysicsWorld::ContactPoolSize));
    EXPECT_EQ(world.Stats().contacts, 1200u);
    EXPECT_EQ(world.Stats().droppedJoints, 1200u - PhysicsWorld::ContactPoolSize);
    EXPECT_EQ(LinesWith("Contact joint pool full"), 1);
    world.Step(H);
    EXPECT_EQ(world.ContactJointsInUse(), 0);
    SubStep();
    EXPECT_EQ(LinesWith("Contact joint pool full"), 1);
    for (auto& b : boxes) EXPECT_GT(b->body->GetPosition().y, 0.5f);
}

} // namespace

namespace {

// The same scenario twice in one process gives bit-identical states: no hidden state survives
// from one world to the next.
std::vector<float> RunPile() {
    PhysicsWorld world;
    world.CreateSpace(Vector3(0, 0, 0), Vector3(500, 500, 500), 5);
    world.SetGravity(Vector3(0, -275, 0));
    PlaneGeom floor(0, 1, 0, 0);
    floor.AddToWorld(world);
    std::vector<std::unique_ptr<BoxGeom>> geoms;
    std::vector<std::unique_ptr<RigidBody>> bodies;
    for (int i = 0; i < 6; ++i) {
        geoms.push_back(std::make_unique<BoxGeom>(Vector3(2, 2, 2)));
        bodies.push_back(std::make_unique<RigidBody>(world));
        bodies.back()->SetMass(5.0f);
        bodies.back()->SetBoxInertia(Vector3(2, 2, 2));
        bodies.back()->SetGeom(geoms.back().get());
        bodies.back()->SetPosition(Vector3(0.3f * float(i), 3.0f + 4.5f * float(i), -0.2f * float(i)));
        bodies.back()->flags |= RigidBody::KeepHistory | RigidBody::AutoDisable;
        geoms.back()->AddToWorld(world);
        bodies.back()->Enable();
    }
    for (int frame = 0; frame < 60; ++frame) world.Simulate(0.05f, 75.0f, 1.0f);
    std::vector<float> state;
    for (auto& b : bodies) {
        const Vector3 p = b->GetPosition();
        Quaternion q;
        b->GetOrientation(q);
        state.insert(state.end(), {p.x, p.y, p.z, q.x, q.y, q.z, q.w});
        b->SetGeom(nullptr);
    }
    return state;
}

TEST(PhysicsDeterminismTest, SameScenarioTwiceGivesIdenticalStates) {
    const std::vector<float> first = RunPile();
    const std::vector<float> second = RunPile();
    ASSERT_EQ(first.size(), second.size());
    EXPECT_EQ(std::memcmp(first.data(), second.data(), first.size() * sizeof(float)), 0);
}

} // namespace
