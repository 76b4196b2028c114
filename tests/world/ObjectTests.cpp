#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>

#include "engine/render/NullRenderFacility.h"
#include "engine/render/ShaderTypes.h"
#include "tests/support/EngineDoubles.h"
#include "tests/world/WorldTestSupport.h"

using namespace world_testing;

namespace {
// A facility that hands out real pass sets and materials and counts what is applied.
struct RecordingFacility : NullRenderFacility {
    ShaderPassSet* AddShader(const ShaderDescription&) override {
        passes.push_back(std::make_unique<ShaderPassSet>());
        return passes.back().get();
    }
    Material* AddMaterial(const MaterialDescription&) override {
        materials.push_back(std::make_unique<Material>());
        records.push_back(std::make_unique<MaterialRecord>());
        materials.back()->record = records.back().get();
        return materials.back().get();
    }
    void ApplyShaderPass(ShaderPassSet* set) override { applied.push_back(set); }
    void ApplyMaterial(Material* m) override { ++materialApplies, lastAlpha = m && m->record ? m->record->diffuse[3] : -1; }
    std::vector<std::unique_ptr<ShaderPassSet>> passes;
    std::vector<std::unique_ptr<Material>> materials;
    std::vector<std::unique_ptr<MaterialRecord>> records;
    std::vector<ShaderPassSet*> applied;
    int materialApplies = 0;
    float lastAlpha = 0.0f;
};
} // namespace

namespace {

constexpr float H = 1.0f / 75.0f;

class ObjectTest : public ::testing::Test {
protected:
    void Load(const tools::WorldFile& file, RenderFacility* renderer = nullptr) {
        engine.services.renderer = renderer;
        world = std::make_unique<World>(session, engine.services);
        ASSERT_FALSE(LoadWorld(*world, file).failed) << ::testing::PrintToString(log.Lines());
        world->objects->BeginFrame(&camera);
    }
    void Frames(int n) {
        for (int i = 0; i < n; ++i) {
            world->Update(&camera, H);
            world->objects->BeginFrame(&camera);
        }
    }
    // A ball dropped from above, of the vehicles' category.
    struct Ball {
        std::unique_ptr<SphereGeom> geom;
        std::unique_ptr<RigidBody> body;
    };
    Ball DropBall(const Vector3& at) {
        Ball b;
        b.geom = std::make_unique<SphereGeom>(10.0f);
        b.geom->SetCategoryBits(0x80);
        b.geom->SetCollideBits(0xFFFF);
        b.body = std::make_unique<RigidBody>(world->physics);
        b.body->SetMass(200.0f);
        b.body->SetSphereInertia(10.0f);
        b.body->SetGeom(b.geom.get());
        b.body->SetPosition(at);
        b.geom->AddToWorld(world->physics);
        b.body->Enable();
        return b;
    }
    void Remove(Ball& b) {
        b.geom->RemoveFromWorld(world->physics);
        b.body->SetGeom(nullptr);
        b.body->Disable();
    }

    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
    GameSession session;
    testing_support::EngineDoubles engine;
    std::unique_ptr<RenderFacility> facility; // outlives the world that made handles through it
    Camera camera = MakeCamera({0, 100, 600}); // looking along -z at the origin
    std::unique_ptr<World> world;
};

tools::WorldFile CrateWorld(int stack) {
    tools::WorldFile file = FlatWorld();
    const uint32_t crate = AddKind(file, {20, 20, 20}, 0x04, 100.0f, 1);
    for (int i = 0; i < stack; ++i) Place(file, crate, {0, 20.0f + 40.0f * float(i), 0});
    return file;
}

} // namespace

TEST_F(ObjectTest, ADroppedBallTakesACrateFromRestToSleepAndHome) {
    Load(CrateWorld(1));
    WorldObject& crate = world->objects->Object(0);
    EXPECT_EQ(crate.Body(), nullptr);
    EXPECT_EQ(world->physics.ClientCount(), 1); // the manager only: resting objects cost nothing
    Ball ball = DropBall({0, 90, 0});
    int frames = 0;
    while (!crate.Body() && frames < 150) Frames(1), ++frames;
    ASSERT_NE(crate.Body(), nullptr) << "never woken";
    EXPECT_TRUE(crate.InWorldSpace());
    EXPECT_EQ(world->objects->Live().size(), 1u);
    EXPECT_TRUE(crate.itemFlags & QuadTreeItem::ReplaceEachFrame);
    EXPECT_TRUE(crate.Geom()->flags & PhysicsGeom::OneSided);
    Remove(ball);
    frames = 0;
    while (crate.Body()->IsEnabled() && frames < 750) Frames(1), ++frames;
    EXPECT_FALSE(crate.Body()->IsEnabled()) << "never fell asleep";
    EXPECT_GT(frames, 0.75f / H);

    // Both the crate and its home out of range: it goes home and its body to the pool.
    RigidBody* body = crate.Body();
    camera.position = Vector3(30000, 100, 0);
    Frames(1);
    EXPECT_EQ(crate.Body(), nullptr);
    EXPECT_FALSE(crate.InWorldSpace());
    EXPECT_FALSE(crate.far);
    EXPECT_TRUE(world->objects->Live().empty());
    ASSERT_EQ(world->objects->FreeBodies().size(), 1u);
    EXPECT_EQ(world->objects->FreeBodies().front(), body);
    EXPECT_EQ(crate.GetPosition(), Vector3(0, 20, 0));
    EXPECT_FALSE(crate.itemFlags & QuadTreeItem::ReplaceEachFrame);
    EXPECT_EQ(world->physics.ClientCount(), 1);
    EXPECT_FALSE(log.Contains("Fixing body"));
}

TEST_F(ObjectTest, AStackWakesTogetherAndSleepsAgain) {
    Load(CrateWorld(3));
    Ball ball = DropBall({0, 150, 0});
    int frames = 0;
    auto woken = [&] {
        int n = 0;
        for (int i = 0; i < 3; ++i) n += world->objects->Object(i).Body() != nullptr;
        return n;
    };
    while (woken() == 0 && frames < 150) Frames(1), ++frames;
    EXPECT_EQ(woken(), 3) << "the neighbours wake in the same sub-step";
    Remove(ball);
    Frames(600);
    for (int i = 0; i < 3; ++i) {
        ASSERT_NE(world->objects->Object(i).Body(), nullptr);
        EXPECT_FALSE(world->objects->Object(i).Body()->IsEnabled()) << i;
    }
}

TEST_F(ObjectTest, TheEarliestReleasedBodyIsReusedFirst) {
    Load(CrateWorld(0));
    tools::WorldFile file = CrateWorld(0);
    for (int i = 0; i < 4; ++i) Place(file, 0, {float(i) * 100.0f, 20, 300});
    Load(file);
    WorldObject* o[4];
    for (int i = 0; i < 4; ++i) o[i] = &world->objects->Object(i);
    o[0]->AcquireBody();
    o[1]->AcquireBody();
    RigidBody* first = o[0]->Body();
    RigidBody* second = o[1]->Body();
    ASSERT_NE(first, second);
    o[0]->Update();
    o[1]->Update();
    o[2]->AcquireBody();
    o[3]->AcquireBody();
    EXPECT_EQ(o[2]->Body(), first);
    EXPECT_EQ(o[3]->Body(), second);
    EXPECT_EQ(o[2]->Body()->GetMass(), 100.0f); // file 100 -> stored 10 -> body x 10
}

TEST_F(ObjectTest, AShatteringKindShattersButNeverTakesABody) {
    tools::WorldFile file = CrateWorld(1);
    const uint32_t pane = AddKind(file, {20, 20, 1}, 0x04 | 0x20, 10.0f, 0, 1);
    Place(file, pane, {0, 20, 20.5f}); // touching the crate's face
    Load(file);
    WorldObject& crate = world->objects->Object(0);
    WorldObject& glass = world->objects->Object(1);
    EXPECT_TRUE(glass.kind->flags & WorldObjectKind::Shatters);
    EXPECT_TRUE(glass.kind->flags & WorldObjectKind::TransparentKind);
    crate.AcquireBody();
    EXPECT_TRUE(glass.Shattered());
    EXPECT_EQ(glass.Body(), nullptr);
    ASSERT_FALSE(world->objects->Live().empty());
    EXPECT_EQ(world->objects->Live().back(), &glass);
    Frames(5);
    EXPECT_EQ(glass.Body(), nullptr);
    // Far and home: restored and whole again.
    ShardEffect* shards = glass.Shards();
    ASSERT_NE(shards, nullptr);
    camera.position = Vector3(30000, 100, 0);
    Frames(1);
    EXPECT_FALSE(glass.Shattered());
    // The effect goes back to the kind's pool and serves the next break.
    ASSERT_EQ(glass.kind->shardPool.size(), 1u);
    EXPECT_EQ(glass.kind->shardPool.front(), shards);
}

TEST_F(ObjectTest, ExtensionChains) {
    struct Ext : ObjectExtension {
        Ext(char n, bool chainable_) : ObjectExtension(chainable_), name(n) {}
        char name;
    };
    struct Case {
        const char* adds; // lower case chainable, upper case shared; '+' links to the previous
        const char* chain;
        bool logged;
    };
    const Case cases[] = {
        {"ab", "ab", false},  {"Sa", "aS", false}, {"aSb", "abS", false}, {"ST", "S", true},
        {"aST", "aS", true},  {"S", "S", false},   {"Sa+T", "aT", true},
    };
    for (const Case& c : cases) {
        log.Clear();
        WorldObject object;
        std::vector<std::unique_ptr<Ext>> owned;
        Ext* previous = nullptr;
        for (const char* p = c.adds; *p; ++p) {
            if (*p == '+') continue;
            owned.push_back(std::make_unique<Ext>(*p, std::islower(*p) != 0));
            Ext* e = owned.back().get();
            if (p[1] == '+') {
                previous = e;
                continue;
            }
            if (previous) {
                previous->next = e;
                e = previous;
                previous = nullptr;
            }
            object.AddExtension(e);
        }
        std::string chain;
        for (ObjectExtension* e = object.Extensions(); e && chain.size() < 10; e = e->next)
            chain += static_cast<Ext*>(e)->name;
        EXPECT_EQ(chain, c.chain) << c.adds;
        EXPECT_EQ(log.Contains("Extension loop not possible!!"), c.logged) << c.adds;
    }
}


TEST_F(ObjectTest, OpaqueObjectsOfOneBatchKeyApplyTheirPassOncePerRun) {
    auto* recorder = new RecordingFacility;
    facility.reset(recorder);
    RecordingFacility& rec = *recorder;
    tools::WorldFile file = FlatWorld();
    file.objectMaterials.resize(3);
    const uint32_t a = AddKind(file, {10, 10, 10}, 0x00, 0.0f, 0, 0);
    const uint32_t b = AddKind(file, {10, 10, 10}, 0x00, 0.0f, 0, 2);
    for (uint32_t k : {a, b, a, a}) Place(file, k, {float(file.objects.size()) * 40.0f - 60.0f, 10, 0});
    Load(file, recorder);
    EXPECT_EQ(world->objects->Kinds()[a].batchKey, 0);
    EXPECT_EQ(world->objects->Kinds()[b].batchKey, 1);
    world->objects->BeginFrame(&camera);
    world->Cull(camera);
    const auto& queue = world->objects->OpaqueQueue();
    ASSERT_EQ(queue.size(), 4u);
    EXPECT_EQ(queue[0]->kind, queue[1]->kind);
    EXPECT_EQ(queue[1]->kind, queue[2]->kind);
    EXPECT_NE(queue[2]->kind, queue[3]->kind);
    rec.applied.clear();
    world->objects->DrawOpaque(camera);
    EXPECT_EQ(rec.applied.size(), 2u);
    EXPECT_EQ(rec.materialApplies, 4);
    EXPECT_EQ(world->objects->DrawnParts(), 4);
}

TEST_F(ObjectTest, FadeTable) {
    Load(CrateWorld(1));
    WorldObjectManager& m = *world->objects;
    m.ComputeFadeTables(camera);
    const float d = camera.DistanceForClass(3);
    const float start = 0.75f * d * 0.75f * d, end = d * d;
    struct Case {
        float d2;
        uint32_t alpha;
    };
    const Case cases[] = {{0.0f, 255}, {start * 0.999f, 255}, {start, 255}, {(start + end) * 0.5f, 127},
                          {end, 0},    {end * 1.5f, 0}};
    for (const Case& c : cases) EXPECT_EQ(m.FadeAlpha(c.d2, 3), c.alpha) << c.d2;
}

TEST_F(ObjectTest, ResetPutsMovedObjectsHomeAndDropPointsBack) {
    tools::WorldFile file = CrateWorld(1);
    file.dropPoints.push_back({"Home", 0, {1}});
    Load(file);
    WorldObject& crate = world->objects->Object(0);
    crate.AcquireBody();
    crate.Body()->SetPosition(Vector3(100, 300, 100));
    world->dropPoints[0].active = true;
    world->timeScale = 0.5f;
    world->Reset();
    EXPECT_EQ(crate.Body(), nullptr);
    EXPECT_EQ(crate.GetPosition(), Vector3(0, 20, 0));
    EXPECT_FALSE(world->dropPoints[0].active);
    EXPECT_EQ(world->dropPoints[0].position, Vector3(0, 20, 0));
    EXPECT_EQ(world->timeScale, 1.0f);
}

TEST_F(ObjectTest, AnObjectWokenAgainAfterAResetIsLiveOnce) {
    Load(CrateWorld(1));
    WorldObject& crate = world->objects->Object(0);
    Ball ball = DropBall({0, 90, 0});
    int frames = 0;
    while (!crate.Body() && frames < 150) Frames(1), ++frames;
    ASSERT_NE(crate.Body(), nullptr);
    Frames(30); // the ball has passed through the woken crate to the ground
    world->Reset();
    ASSERT_EQ(crate.Body(), nullptr);
    frames = 0;
    while (!crate.Body() && frames < 150) Frames(1), ++frames; // home again, round the ball
    ASSERT_NE(crate.Body(), nullptr);
    EXPECT_EQ(world->objects->Live().size(), 1u);
}

// ---------------------------------------------------------------------------------------------
// The cull's edges: the view distance, mission variants and the light-carrying kinds' bounds.

namespace {
// The camera at `eye` looking along -z, its planes built.
void Aim(Camera& camera, const Vector3& eye) {
    camera.position = eye;
    camera.positionDirty = 1;
    camera.orientation = Quaternion();
    camera.orientationDirty = 1;
    camera.Apply();
}
} // namespace

TEST_F(ObjectTest, AnObjectExactlyAtItsViewDistanceIsSeenAndAHairBeyondIsNot) {
    // A small kind; its class is set per row. The camera stands straight behind the object.
    tools::WorldFile file = FlatWorld();
    Place(file, AddKind(file, {5, 5, 5}, 0x04, 100.0f), {0, 20, 0});
    Load(file);
    WorldObject& o = world->objects->Object(0);
    for (int32_t distanceClass = 0; distanceClass <= 5; ++distanceClass) {
        o.distanceClass = distanceClass;
        const float r = camera.DistanceForClass(distanceClass);
        const struct {
            float distance;
            bool seen;
        } rows[] = {{r * 0.5f, true}, {r, true}, {std::nextafter(r, 1e9f), false}};
        for (const auto& row : rows) {
            Aim(camera, Vector3(0, 20, row.distance));
            world->objects->BeginFrame(&camera);
            EXPECT_EQ(o.Cull(*world, camera), row.seen) << "class " << distanceClass << " at " << row.distance;
            EXPECT_EQ(o.viewDistanceSquared, row.distance * row.distance);
            EXPECT_EQ(world->objects->OpaqueQueue().size(), row.seen ? 1u : 0u);
        }
    }
}

TEST_F(ObjectTest, AMissionVariantObjectShowsInItsVariantWhereverItIsAndNeverInAnother) {
    // Kinds of every mission (0), of variant 1 (the session's, stored less one) and of variant 3.
    tools::WorldFile file = FlatWorld();
    const uint32_t every = AddKind(file, {5, 5, 5}, 0x04, 100.0f, 0, 0, 0);
    const uint32_t ours = AddKind(file, {5, 5, 5}, 0x04, 100.0f, 0, 0, 2);
    const uint32_t other = AddKind(file, {5, 5, 5}, 0x04, 100.0f, 0, 0, 4);
    for (uint32_t k : {every, ours, other}) Place(file, k, {0, 20, 0});
    session.missionVariant = 1;
    Load(file);
    const struct {
        const char* where;
        Vector3 eye;
    } places[] = {{"in front", {0, 20, 300}}, {"behind", {0, 20, -300}}, {"far beyond", {0, 20, 1e6f}}};
    const bool seen[3][3] = {{true, false, false}, {true, true, true}, {false, false, false}};
    for (int p = 0; p < 3; ++p) {
        Aim(camera, places[p].eye);
        world->objects->BeginFrame(&camera);
        for (int k = 0; k < 3; ++k) {
            WorldObject& o = world->objects->Object(k);
            o.viewDistanceSquared = -1.0f;
            EXPECT_EQ(o.Cull(*world, camera), seen[k][p]) << "kind " << k << ", " << places[p].where;
            if (k == 1) EXPECT_EQ(o.viewDistanceSquared, -1.0f) << "the variant's own object is not measured";
        }
    }
    // Without a variant in the mission only the objects of every mission show.
    session.missionVariant = -1;
    Aim(camera, places[0].eye);
    EXPECT_TRUE(world->objects->Object(0).Cull(*world, camera));
    EXPECT_FALSE(world->objects->Object(1).Cull(*world, camera));
}

TEST_F(ObjectTest, ALightCarryingKindReachesItsPoolOfLightOnTheGround) {
    // A lamp just out of the view (above it, or beside it) is still culled in while its light
    // pool, 200 lower and 225 wider each side, reaches into the view.
    tools::WorldFile file = FlatWorld();
    Place(file, AddKind(file, {5, 5, 5}, 0x04, 100.0f), {0, 20, 0});
    Load(file);
    WorldObject& o = world->objects->Object(0);
    Aim(camera, Vector3(0, 20, 600));
    struct Row {
        const char* where;
        Vector3 step; // moved this way until the plain box is out of the view, then 50 further
    };
    const Row rows[] = {{"above", {0, 1, 0}}, {"left", {-1, 0, 0}}, {"right", {1, 0, 0}}};
    for (const Row& row : rows) {
        Vector3 at(0, 20, 0);
        o.kind->flags &= uint8_t(~WorldObjectKind::CarriesLight);
        for (int i = 0; i < 100000; ++i) {
            o.SetPosition(at);
            o.Update();
            BoundingBox box;
            o.GetBounds(box);
            if (!camera.IsBoxVisible(box)) break;
            at += row.step;
        }
        o.SetPosition(at + row.step * 50.0f);
        o.Update();
        world->objects->BeginFrame(&camera);
        EXPECT_FALSE(o.Cull(*world, camera)) << row.where;
        BoundingBox plain;
        o.GetBounds(plain);
        o.kind->flags |= WorldObjectKind::CarriesLight;
        BoundingBox widened;
        o.GetBounds(widened);
        EXPECT_EQ(widened.centre, plain.centre - Vector3(0, 100, 0)) << row.where;
        EXPECT_EQ(widened.halfExtents, plain.halfExtents + Vector3(225, 100, 225)) << row.where;
        EXPECT_TRUE(o.Cull(*world, camera)) << row.where;
    }
    o.kind->flags &= uint8_t(~WorldObjectKind::CarriesLight);
}

// ---------------------------------------------------------------------------------------------
// Bodies: one per object however often it was touched, and the sleep boundary.

TEST_F(ObjectTest, AnObjectQueuedTwiceInOneStepGetsOneBody) {
    Load(CrateWorld(2));
    WorldObject& a = world->objects->Object(0);
    WorldObject& b = world->objects->Object(1);
    for (WorldObject* o : {&a, &b, &a}) world->objects->Pending().push_back(o);
    world->objects->ActivatePending();
    world->objects->MoveActivated();
    ASSERT_NE(a.Body(), nullptr);
    ASSERT_NE(b.Body(), nullptr);
    EXPECT_NE(a.Body(), b.Body());
    EXPECT_TRUE(world->objects->Pending().empty());
    EXPECT_EQ(world->objects->Live(), (std::vector<WorldObject*>{&a, &b}));
    EXPECT_EQ(world->physics.ClientCount(), 3) << "the manager and each object once";
    // Touched again while it has its body: nothing more.
    RigidBody* body = a.Body();
    world->objects->Pending().push_back(&a);
    world->objects->ActivatePending();
    world->objects->MoveActivated();
    EXPECT_EQ(a.Body(), body);
    EXPECT_EQ(world->objects->Live().size(), 2u);
}

TEST_F(ObjectTest, ABodySleepsAtTheFirstStepPastThreeQuartersOfASecondBelowSpeedSquared250) {
    // Velocities whose squared lengths are exactly 249 and 250; each row runs the sleep pass
    // with its steps in turn from a freshly woken crate.
    const Vector3 slow(10, 10, 7), fast(15, 5, 0);
    ASSERT_EQ(slow.LengthSquared(), 249.0f);
    ASSERT_EQ(fast.LengthSquared(), 250.0f);
    struct Step {
        Vector3 velocity;
        float dt;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
        bool enabled;
        float restTime;
    };
    const Case cases[] = {
        {"0.75 s at 249 exactly", {{slow, 0.25f}, {slow, 0.25f}, {slow, 0.25f}}, true, 0.75f},
        {"the step past 0.75 s", {{slow, 0.25f}, {slow, 0.25f}, {slow, 0.25f}, {slow, 0.125f}}, false, 0.0f},
        {"one step at 250 starts again", {{slow, 0.25f}, {slow, 0.25f}, {fast, 0.25f}, {slow, 0.25f}, {slow, 0.25f}},
         true, 0.5f},
        {"at 250 it never sleeps", {{fast, 0.5f}, {fast, 0.5f}, {fast, 0.5f}}, true, 0.0f},
    };
    for (const Case& c : cases) {
        Load(CrateWorld(1));
        WorldObject& crate = world->objects->Object(0);
        world->objects->Pending().push_back(&crate);
        world->objects->ActivatePending();
        world->objects->MoveActivated();
        ASSERT_NE(crate.Body(), nullptr);
        for (const Step& s : c.steps) {
            crate.Body()->SetLinearVelocity(s.velocity);
            world->objects->SleepIdleBodies(s.dt);
        }
        EXPECT_EQ(crate.Body()->IsEnabled(), c.enabled) << c.what;
        EXPECT_FLOAT_EQ(crate.restTime, c.restTime) << c.what;
    }
}

// The pose operation of markers and bobbing crates: the placed pose moves and, while the object
// rests, its geom and its place in the tree with it; far and the extensions are left alone, and
// an object with a body keeps it and only its home moves.
TEST_F(ObjectTest, MovingThePlacedPoseTakesTheGeomAndTheTreeAlongButNotFar) {
    struct Restored : ObjectExtension {
        void OnRestored() override { ++restored; }
        int restored = 0;
    };
    tools::WorldFile file = CrateWorld(1);                                 // a movable crate: geom
    Place(file, AddKind(file, {5, 5, 5}, 0x04, -10.0f), {300, 5, 300});   // immovable: none
    Restored extensions[2];
    Load(file);
    for (int i = 0; i < 2; ++i) {
        WorldObject& o = world->objects->Object(i);
        SCOPED_TRACE(i == 0 ? "with a geom" : "without one");
        EXPECT_EQ(o.Geom() != nullptr, i == 0);
        Restored& extension = extensions[i];
        o.AddExtension(&extension);
        const QuadTreeBlock* before = o.block;
        const Vector3 to(-1500, 40, 1500);
        Quaternion turned;
        turned.RotateY(0.5f);
        o.far = true;
        o.MovePlacedPose(to, turned);
        EXPECT_EQ(o.PlacedPosition(), to);
        EXPECT_EQ(o.PlacedOrientation(), turned);
        EXPECT_TRUE(o.far);
        EXPECT_EQ(extension.restored, 0);
        BoundingBox b;
        o.GetBounds(b);
        EXPECT_NEAR((b.centre - to).Length(), 0.0f, 1e-3f);
        if (o.Geom()) {
            EXPECT_NEAR((o.Geom()->GetPosition() - to).Length(), 0.0f, 1e-3f);
            Quaternion q;
            o.Geom()->GetOrientation(q);
            EXPECT_NEAR(std::fabs(q.x * turned.x + q.y * turned.y + q.z * turned.z + q.w * turned.w), 1.0f, 1e-5f);
        }
        EXPECT_NE(o.block, before) << "re-placed in the tree";
        EXPECT_TRUE(o.block->Holds(b.centre.x - b.halfExtents.x, b.centre.x + b.halfExtents.x,
                                   b.centre.z - b.halfExtents.z, b.centre.z + b.halfExtents.z));
        o.far = false;
    }

    // With a body: the body stays where it is; the object goes home to the new pose later.
    WorldObject& crate = world->objects->Object(0);
    world->objects->Pending().push_back(&crate);
    world->objects->ActivatePending();
    world->objects->MoveActivated();
    ASSERT_NE(crate.Body(), nullptr);
    const Vector3 bodyAt = crate.Body()->GetPosition();
    crate.MovePlacedPose(Vector3(800, 30, 0), Quaternion());
    EXPECT_EQ(crate.Body()->GetPosition(), bodyAt);
    EXPECT_EQ(crate.GetPosition(), bodyAt);
    crate.Update();
    EXPECT_EQ(crate.Body(), nullptr);
    EXPECT_EQ(crate.GetPosition(), Vector3(800, 30, 0));
    EXPECT_EQ(extensions[0].restored, 1) << "going home restores";
    world.reset(); // before the extensions
}
