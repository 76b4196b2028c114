#include <cmath>
#include <limits>

#include "engine/core/Debugger.h"
#include "tests/physics/PhysicsFixture.h"

namespace {

using CollisionTest = PhysicsFixture;

enum class BodyState { None, Awake, Asleep, Frozen, NoResponse, NoResponseAsleep, SameAsA };
enum class Who { None, A, B };

// A sphere A at the origin overlapping a box B at (1.5, 0, 0), each with or without a body in
// a given state and with given geom flags; one collision pass, then what joint came out.
TEST_F(CollisionTest, DispatchTableOverFlagsAndBodyStates) {
    struct Case {
        const char* name;
        BodyState a, b;
        uint32_t flagsA, flagsB;
        int joints;
        Who body1, body2;
        Who woken;
    };
    const uint32_t Ray = PhysicsGeom::OneSided | PhysicsGeom::AlwaysCollide;
    const Case cases[] = {
        {"awake vs static", BodyState::Awake, BodyState::None, 0, 0, 1, Who::A, Who::None, Who::None},
        {"static vs awake", BodyState::None, BodyState::Awake, 0, 0, 1, Who::B, Who::None, Who::None},
        {"asleep vs static: not asked", BodyState::Asleep, BodyState::None, 0, 0, 0, Who::None, Who::None, Who::None},
        {"frozen vs static", BodyState::Frozen, BodyState::None, 0, 0, 0, Who::None, Who::None, Who::None},
        {"no bodies", BodyState::None, BodyState::None, 0, 0, 0, Who::None, Who::None, Who::None},
        {"awake vs asleep", BodyState::Awake, BodyState::Asleep, 0, 0, 1, Who::A, Who::B, Who::None},
        {"awake vs frozen", BodyState::Awake, BodyState::Frozen, 0, 0, 1, Who::A, Who::None, Who::None},
        {"no-response vs awake", BodyState::NoResponse, BodyState::Awake, 0, 0, 1, Who::B, Who::None, Who::None},
        {"no-response vs asleep wakes it", BodyState::NoResponse, BodyState::Asleep, 0, 0, 1, Who::B, Who::None, Who::B},
        {"both no-response", BodyState::NoResponse, BodyState::NoResponseAsleep, 0, 0, 1, Who::A, Who::B, Who::None},
        {"same body", BodyState::Awake, BodyState::SameAsA, 0, 0, 0, Who::None, Who::None, Who::None},
        {"two one-sided", BodyState::Awake, BodyState::Awake, PhysicsGeom::OneSided, PhysicsGeom::OneSided, 0,
         Who::None, Who::None, Who::None},
        {"one-sided moves only itself", BodyState::Awake, BodyState::Awake, PhysicsGeom::OneSided, 0, 1, Who::A,
         Who::None, Who::None},
        {"one-sided wakes its own body", BodyState::Asleep, BodyState::Awake, PhysicsGeom::OneSided, 0, 1, Who::A,
         Who::None, Who::A},
        {"static one-sided pushes nothing", BodyState::Awake, BodyState::None, 0, PhysicsGeom::OneSided, 0,
         Who::None, Who::None, Who::None},
        // A ray (one-sided, always colliding) meets sleeping bodies and awake one-sided geoms; it
        // reports contacts but pushes nothing.
        {"ray-like vs sleeping body", BodyState::None, BodyState::Asleep, Ray, 0, 0, Who::None, Who::None, Who::None},
        {"ray-like vs one-sided", BodyState::None, BodyState::Awake, Ray, PhysicsGeom::OneSided, 0, Who::None,
         Who::None, Who::None},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SphereGeom a(1.0f);
        BoxGeom b(Vector3(1, 1, 1));
        a.flags = c.flagsA;
        b.flags = c.flagsB;
        RecordingListener filterA(CollisionListener::AskFilterContact);
        a.listeners.push_back(&filterA);
        std::unique_ptr<RigidBody> bodyA, bodyB;
        auto make = [&](BodyState s, std::unique_ptr<RigidBody>& body, PhysicsGeom& g, const Vector3& at) {
            if (s == BodyState::None || s == BodyState::SameAsA) return;
            body = std::make_unique<RigidBody>(world);
            body->DisableGravity();
            body->SetGeom(&g);
            body->SetPosition(at);
            if (s != BodyState::Asleep && s != BodyState::NoResponseAsleep) body->Enable();
            if (s == BodyState::Frozen) body->SetFrozen();
            if (s == BodyState::NoResponse || s == BodyState::NoResponseAsleep) body->SetNoResponse();
        };
        a.SetPosition(Vector3(0, 0, 0));
        b.SetPosition(Vector3(1.5f, 0, 0));
        make(c.a, bodyA, a, Vector3(0, 0, 0));
        make(c.b, bodyB, b, Vector3(1.5f, 0, 0));
        if (c.b == BodyState::SameAsA) {
            b.SetBody(bodyA.get());
        }
        a.AddToWorld(world);
        b.AddToWorld(world);

        world.PreStep();
        world.Collide();
        ASSERT_EQ(world.ContactJointsInUse() > 0, c.joints > 0);
        auto who = [&](RigidBody* r) {
            if (!r) return Who::None;
            return r == bodyA.get() ? Who::A : (r == bodyB.get() ? Who::B : Who::None);
        };
        if (c.joints > 0) {
            const Who got1 = who(world.PoolJoint(0).GetBody1()), got2 = who(world.PoolJoint(0).GetBody2());
            if (c.body2 == Who::None) {
                EXPECT_EQ(got1, c.body1); // the one body that is pushed comes first
                EXPECT_EQ(got2, Who::None);
            } else {
                // Two pushed bodies, in the order the collider paired the geoms.
                EXPECT_TRUE((got1 == c.body1 && got2 == c.body2) || (got1 == c.body2 && got2 == c.body1));
            }
        }
        if (c.woken == Who::A) {
            EXPECT_TRUE(bodyA->IsEnabled());
        }
        if (c.woken == Who::B) {
            EXPECT_TRUE(bodyB->IsEnabled());
        }
        if (std::string(c.name).rfind("ray-like", 0) == 0) {
            EXPECT_GT(filterA.filterCalls, 0);
        }
        world.Step(H);
        a.RemoveFromWorld(world);
        b.RemoveFromWorld(world);
        if (bodyA) bodyA->SetGeom(nullptr);
        if (bodyB) bodyB->SetGeom(nullptr);
        b.SetBody(nullptr);
    }
}

TEST_F(CollisionTest, CategoryAndCollideBitsDecideWhichPairsMeet) {
    const struct {
        uint32_t catA, colA, catB, colB;
        bool meet;
    } cases[] = {
        {1, 0, 0, 1, true},   // B collides with A's category
        {0, 2, 2, 0, true},   // A collides with B's category
        {1, 0, 2, 0, false},  // nobody wants the other
        {0x84, 7, 1, 0, true},   // a car meets the static world
        {0x84, 7, 8, 0, false},
        {0x84, 7, 4, 0, true},
    };
    for (const auto& c : cases) {
        SphereGeom a(1.0f), b(1.0f);
        RigidBody body(world);
        body.SetGeom(&a);
        body.Enable();
        b.SetPosition(Vector3(1.5f, 0, 0));
        a.SetCategoryBits(c.catA);
        a.SetCollideBits(c.colA);
        b.SetCategoryBits(c.catB);
        b.SetCollideBits(c.colB);
        a.AddToWorld(world);
        b.AddToWorld(world);
        world.PreStep();
        world.Collide();
        EXPECT_EQ(world.ContactJointsInUse() > 0, c.meet) << std::hex << c.catA << " " << c.colA << " " << c.catB;
        world.Step(H);
        body.SetGeom(nullptr);
        a.RemoveFromWorld(world);
        b.RemoveFromWorld(world);
    }
}

TEST_F(CollisionTest, ListenersAreAskedInOrderAndTheSecondSeesTheNormalFlipped) {
    Box& box = MakeBox(Vector3(0, 0.5f, 0), Vector3(1, 1, 1), 1.0f);
    PlaneGeom& floor = Floor();
    std::vector<int> order;
    RecordingListener first(CollisionListener::AskFilterContact | CollisionListener::AskIgnorePair);
    RecordingListener second(CollisionListener::AskFilterContact);
    RecordingListener onFloor(CollisionListener::AskFilterContact | CollisionListener::AskIgnorePair);
    RecordingListener deaf(0); // no flags: never asked
    first.id = 1;
    second.id = 2;
    onFloor.id = 3;
    for (RecordingListener* l : {&first, &second, &onFloor}) l->order = &order;
    box.geom->listeners = {&first, &deaf, &second};
    floor.listeners = {&onFloor};

    world.PreStep();
    world.Collide();
    const int contacts = world.ContactJointsInUse();
    ASSERT_GT(contacts, 0);
    EXPECT_EQ(deaf.filterCalls + deaf.ignoreCalls, 0);
    // The near callback asks the pair question of both, then each contact goes to A's listeners,
    // then B's.
    const bool boxFirst = order[0] == 1;
    std::vector<int> expected = boxFirst ? std::vector<int>{1, 3} : std::vector<int>{3, 1};
    for (int i = 0; i < contacts; ++i) {
        if (boxFirst) expected.insert(expected.end(), {1, 2, 3});
        else expected.insert(expected.end(), {3, 1, 2});
    }
    EXPECT_EQ(order, expected);
    ASSERT_EQ(first.normals.size(), onFloor.normals.size());
    for (size_t i = 0; i < first.normals.size(); ++i) {
        EXPECT_EQ(first.normals[i], -onFloor.normals[i]);
        EXPECT_EQ(first.normals[i], second.normals[i]);
    }
    world.Step(H);

    // A filter refusing every point drops the contacts; a veto drops the rest of the call; an
    // ignored pair never reaches the collider.
    const struct {
        const char* name;
        void (*setup)(RecordingListener& boxListener, RecordingListener& floorListener);
    } refusals[] = {
        {"filter", [](RecordingListener& l, RecordingListener&) { l.accept = false; }},
        {"veto", [](RecordingListener& l, RecordingListener&) { l.listenerFlags |= CollisionListener::AskVetoContacts; l.veto = true; }},
        {"ignore", [](RecordingListener&, RecordingListener& f) { f.ignorePair = true; }},
    };
    for (const auto& r : refusals) {
        SCOPED_TRACE(r.name);
        RecordingListener boxListener(CollisionListener::AskFilterContact);
        RecordingListener floorListener(CollisionListener::AskIgnorePair | CollisionListener::AskFilterContact);
        r.setup(boxListener, floorListener);
        box.geom->listeners = {&boxListener};
        floor.listeners = {&floorListener};
        box.body->Enable();
        world.PreStep();
        world.Collide();
        EXPECT_EQ(world.ContactJointsInUse(), 0);
        if (boxListener.veto) {
            EXPECT_EQ(floorListener.filterCalls, 0);
        }
        if (floorListener.ignorePair) {
            EXPECT_EQ(boxListener.filterCalls, 0);
        }
        world.Step(H);
    }
}

// Listeners see depth = length - distance for every ray contact, so the nearest hit is deepest.
TEST_F(CollisionTest, RayDepthIsLengthMinusDistance) {
    SphereGeom sphere(1.0f);
    BoxGeom box(Vector3(1, 1, 1));
    PlaneGeom plane(0, 1, 0, 0);
    TriMeshGeom mesh;
    mesh.Vertices() = {-5, 0, -5, 5, 0, -5, 5, 0, 5, -5, 0, 5};
    mesh.Indices() = {0, 2, 1, 0, 3, 2};
    ASSERT_TRUE(mesh.Build());
    const struct {
        const char* name;
        PhysicsGeom* target;
        float distance;
    } cases[] = {{"box", &box, 9.0f}, {"sphere", &sphere, 10.0f - std::sqrt(1.0f - 0.05f)}, {"plane", &plane, 10.0f}, {"trimesh", &mesh, 10.0f}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RayGeom ray(20.0f);
        ray.flags = PhysicsGeom::OneSided | PhysicsGeom::AlwaysCollide;
        ray.Set(Vector3(0.1f, 10, 0.2f), Vector3(0, -1, 0));
        RecordingListener listener(CollisionListener::AskFilterContact);
        ray.listeners.push_back(&listener);
        for (bool rayFirst : {true, false}) {
            listener.depths.clear();
            EXPECT_TRUE(rayFirst ? world.TestPair(&ray, c.target) : world.TestPair(c.target, &ray));
            ASSERT_FALSE(listener.depths.empty());
            EXPECT_NEAR(listener.depths[0], 20.0f - c.distance, 1e-4f);
        }
    }
    world.Step(H);
}

TEST(SurfaceMixTest, MixesTwoMaterials) {
    const ContactModeBits bits = ContactModeBits::Get();
    // This library build numbers slip as 0x100 and 0x200; 0x80 is a different mode.
    EXPECT_EQ(bits.slip1, 0x100u);
    EXPECT_EQ(bits.slip2, 0x200u);
    EXPECT_EQ(bits.motionN, 0x80u);
    const float inf = std::numeric_limits<float>::infinity();

    SurfaceMaterial plain(0.5f), other(2.0f), bouncyA(1.0f), bouncyB(1.0f), slipA(1.0f), slipB(1.0f);
    SurfaceMaterial soft(1.0f), infinite(inf), zero(0.0f);
    bouncyA.bounce = 0.2f;
    bouncyA.bounceVelocity = 3.0f;
    bouncyB.bounce = 0.3f;
    bouncyB.bounceVelocity = 4.0f;
    slipA.slip = 0.1f;
    slipB.slip = 0.2f;
    soft.softErp = 0.25f;
    soft.softCfm = 0.01f;

    const MixedSurface none = MixSurfaces(nullptr, &plain);
    EXPECT_TRUE(std::isinf(none.mu));
    EXPECT_EQ(none.mode, 0u);

    const MixedSurface product = MixSurfaces(&plain, &other);
    EXPECT_FLOAT_EQ(product.mu, 1.0f);
    EXPECT_EQ(product.mode, 0u);

    const MixedSurface bounce = MixSurfaces(&bouncyA, &bouncyB);
    EXPECT_FLOAT_EQ(bounce.bounce, 0.5f);
    EXPECT_FLOAT_EQ(bounce.bounceVelocity, 12.0f);
    EXPECT_EQ(bounce.mode, bits.bounce);

    const MixedSurface slip = MixSurfaces(&slipA, &slipB);
    EXPECT_FLOAT_EQ(slip.slip, 0.2f);
    EXPECT_EQ(slip.mode, bits.slip1 | bits.slip2);
    EXPECT_EQ(slip.mode & bits.motionN, 0u);

    const MixedSurface softMix = MixSurfaces(&soft, &plain);
    EXPECT_EQ(softMix.mode, bits.softErp | bits.softCfm);
    EXPECT_FLOAT_EQ(softMix.softErp, 0.25f);
    EXPECT_FLOAT_EQ(softMix.softCfm, 0.01f);

    const MixedSurface nanMu = MixSurfaces(&infinite, &zero); // infinite x 0
    EXPECT_EQ(nanMu.mu, 0.0f);
}

// Mixed surfaces reach the contact: bouncy materials throw a dropped sphere back up.
TEST_F(CollisionTest, BounceMaterialsMakeADroppedSphereRebound) {
    for (float bounce : {0.0f, 0.5f}) {
        SurfaceMaterial material(1.0f);
        material.bounce = bounce;
        PlaneGeom ground(0, 1, 0, 0);
        ground.SetSurface(&material);
        ground.AddToWorld(world);
        SphereGeom ball(1.0f);
        ball.SetSurface(&material);
        RigidBody body(world);
        body.SetGeom(&ball);
        ball.AddToWorld(world);
        body.SetPosition(Vector3(0, 10, 0));
        body.Enable();
        float maxUp = 0.0f;
        for (int i = 0; i < 75; ++i) {
            SubStep();
            maxUp = std::max(maxUp, body.GetLinearVelocity().y);
        }
        if (bounce > 0.0f) {
            EXPECT_GT(maxUp, 20.0f);
        }
        else {
            EXPECT_LT(maxUp, 15.0f); // only the penetration correction lifts it
        }
        ball.RemoveFromWorld(world);
        ground.RemoveFromWorld(world);
        body.SetGeom(nullptr);
    }
}

// A wheel's material is its own and its slip is rewritten every frame. With slip a box pushed
// sideways creeps along under the push, in either friction direction; without slip it sticks.
TEST_F(CollisionTest, SlipWrittenEachFrameActsInBothFrictionDirections) {
    SurfaceMaterial ground(100.0f), tyre(100.0f);
    ground.slip = 1.0f; // the mixed slip is the product of both
    Floor().SetSurface(&ground);
    Box& box = MakeBox(Vector3(0, 0.99f, 0), Vector3(1, 1, 1), 1.0f);
    box.geom->SetSurface(&tyre);
    Run(30);
    const struct {
        float slip;
        Vector3 push;
        bool creeps;
    } frames[] = {
        {0.0f, {200, 0, 0}, false}, {0.2f, {200, 0, 0}, true}, // first direction (x)
        {0.0f, {0, 0, 200}, false}, {0.2f, {0, 0, 200}, true}, // second direction (z)
    };
    for (const auto& f : frames) {
        SCOPED_TRACE(testing::Message() << "slip " << f.slip << " push " << f.push.x << ", " << f.push.z);
        const Vector3 start = box.body->GetPosition();
        for (int i = 0; i < 30; ++i) {
            tyre.slip = f.slip; // as the drive model writes it each frame
            box.body->AddForce(f.push);
            SubStep();
        }
        const Vector3 moved = box.body->GetPosition() - start;
        const float along = f.push.x != 0.0f ? moved.x : moved.z;
        if (f.creeps) {
            EXPECT_GT(along, 1.0f);
        } else {
            EXPECT_LT(std::fabs(along), 0.05f);
        }
        box.body->SetLinearVelocity(Vector3());
    }
}

// A car's geoms overlap each other by construction; its own space is only ever collided
// against other geoms, never within itself.
TEST_F(CollisionTest, OwnSpaceIsNeverCollidedInternally) {
    PhysicsSpace car;
    car.AddToWorld(world);
    SphereGeom wheel(4.0f);
    BoxGeom chassis(Vector3(8, 3, 18));
    RigidBody wheelBody(world), chassisBody(world);
    wheelBody.SetGeom(&wheel);
    chassisBody.SetGeom(&chassis);
    wheelBody.SetPosition(Vector3(-9, 7, -12));
    chassisBody.SetPosition(Vector3(0, 10, 0));
    wheelBody.Enable();
    chassisBody.Enable();
    car.Add(&wheel);
    car.Add(&chassis);
    world.PreStep();
    world.Collide();
    EXPECT_EQ(world.Stats().pairsWithContacts, 0u);
    EXPECT_EQ(world.ContactJointsInUse(), 0);
    world.Step(H);

    Floor(); // the space against the floor: only wheel-floor contacts
    wheelBody.SetPosition(Vector3(-9, 3.9f, -12));
    world.PreStep();
    world.Collide();
    EXPECT_EQ(world.Stats().pairsWithContacts, 1u);
    ASSERT_GT(world.ContactJointsInUse(), 0);
    EXPECT_EQ(world.PoolJoint(0).GetBody1(), &wheelBody);
    world.Step(H);
    car.Remove(&wheel);
    car.Remove(&chassis);
    wheelBody.SetGeom(nullptr);
    chassisBody.SetGeom(nullptr);
}

// Geoms added, removed or destroyed by a listener while the space is being collided (an
// explosive crate spawning its explosion) wait until the collision has finished.
TEST_F(CollisionTest, SpaceEditsDuringCollisionAreDeferred) {
    Floor();
    Box& crate = MakeBox(Vector3(0, 0.5f, 0), Vector3(1, 1, 1), 1.0f);
    Box& victim = MakeBox(Vector3(10, 0.5f, 0), Vector3(1, 1, 1), 1.0f);
    struct Spawner : CollisionListener {
        Spawner(PhysicsWorld& w, PhysicsGeom& r) : CollisionListener(AskFilterContact), world(w), toRemove(r) {}
        PhysicsWorld& world;
        PhysicsGeom& toRemove;
        std::unique_ptr<SphereGeom> explosion;
        std::unique_ptr<SphereGeom> doomed = std::make_unique<SphereGeom>(1.0f);
        bool FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3*, Vector3*, float*) override {
            if (!explosion) {
                EXPECT_TRUE(PhysicsWorld::IsColliding());
                explosion = std::make_unique<SphereGeom>(3.0f);
                explosion->SetPosition(Vector3(0, 0, 0));
                explosion->AddToWorld(world);
                toRemove.RemoveFromWorld(world);
                doomed.reset(); // destroyed while the space is locked
            }
            return true;
        }
    } spawner(world, *victim.geom);
    spawner.doomed->AddToWorld(world);
    crate.geom->listeners.push_back(&spawner);

    world.PreStep();
    const uint32_t before = world.Stats().geoms;
    world.Collide();
    ASSERT_TRUE(spawner.explosion);
    EXPECT_FALSE(PhysicsWorld::IsColliding());
    world.PostStep();
    world.Step(H);
    world.PreStep();
    EXPECT_EQ(world.Stats().geoms, before - 1); // + explosion - victim - doomed

    // The explosion takes part in the next sub-step.
    RecordingListener seen(CollisionListener::AskFilterContact);
    spawner.explosion->listeners.push_back(&seen);
    world.Collide();
    EXPECT_GT(seen.filterCalls, 0);
    world.Step(H);
}

} // namespace

// A body turned inside the collision makes the library stop the program. The reason reaches
// stderr whatever the warning level, so a crash is never silent.
TEST_F(CollisionTest, TheLibrarysFatalErrorIsPrintedBeforeItAborts) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    Floor();
    Box& crate = MakeBox(Vector3(0, 0.5f, 0), Vector3(1, 1, 1), 1.0f);
    struct Turner : CollisionListener {
        explicit Turner(RigidBody& b) : CollisionListener(AskFilterContact), body(b) {}
        RigidBody& body;
        bool FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3*, Vector3*, float*) override {
            body.SetOrientation(Quaternion(0.0f, 0.0f, 0.0f, 1.0f));
            return true;
        }
    } turner(*crate.body);
    crate.geom->listeners.push_back(&turner);
    EXPECT_DEATH(
        {
            Debugger::Instance().SetWarningLevel(0);
            world.PreStep();
            world.Collide();
        },
        "ODE: .*locked space");
}
