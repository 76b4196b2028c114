#include <gtest/gtest.h>

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
