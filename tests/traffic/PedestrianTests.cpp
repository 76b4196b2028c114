// One pedestrian on a tiny graph: where it walks next, how it reacts to a car coming at it, and
// how a hit knocks it down and kills it, told once to whoever listens.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <memory>
#include <set>
#include <string>

#include "engine/core/Camera.h"
#include "engine/render/BoneAnimation.h"
#include "engine/render/MeshFactory.h"
#include "game/traffic/Pedestrian.h"
#include "game/traffic/PedestrianType.h"
#include "game/traffic/StreetEvents.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/ParticleSystem.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/RigidBody.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/TestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

namespace {

class RecordingStreetEvents : public StreetEvents {
public:
    void OnPedestrianHit(Vehicle* hitter, Pedestrian& pedestrian) override { hits.push_back({hitter, &pedestrian}); }
    struct Hit {
        Vehicle* hitter;
        Pedestrian* pedestrian;
    };
    std::vector<Hit> hits;
};

// A kind with a figure for a body whose Walk lasts 1 s, Jump 0.5 s and Run 0.25 s; Idle missing.
class PedestrianTest : public ::testing::Test {
protected:
    void SetUp() override {
        MeshFactory::Instance().ClearForTests();
        plat::SetEngineRandSeed(7);
        dir.WriteBytes("Pedestrians/PED01.VQP", "");
        std::filesystem::create_directories("Pedestrians/PED01");
        ASSERT_TRUE(tools::WriteZkm("Pedestrians/PED01/Body.ZKM", tools::FigureModel("Figure.ZKT")));
        ASSERT_TRUE(tools::WriteZka("Pedestrians/PED01/Walk.ZKA", tools::WaveAnimation(4, 0.25f)));
        ASSERT_TRUE(tools::WriteZka("Pedestrians/PED01/Jump.ZKA", tools::WaveAnimation(2, 0.25f)));
        ASSERT_TRUE(tools::WriteZka("Pedestrians/PED01/Run.ZKA", tools::WaveAnimation(1, 0.25f)));
        type = std::make_unique<PedestrianType>(SharedString("PED01.VQP"), engine.services);
        world = std::make_unique<World>(session, engine.services);
        site = std::make_unique<PedestrianSite>();
        site->world = world.get();
        site->events = &events;
    }
    void TearDown() override { MeshFactory::Instance().ClearForTests(); }

    // Nodes at the given positions (x, z), no links yet.
    void Nodes(std::initializer_list<std::pair<float, float>> xz) {
        graph.Resize(int32_t(xz.size()));
        size_t i = 0;
        for (const auto& [x, z] : xz) graph.nodes[i++].position = Vector3(x, 0, z);
    }
    void Link(int a, int b) {
        graph.nodes[size_t(a)].links.push_back(&graph.nodes[size_t(b)]);
        graph.nodes[size_t(b)].links.push_back(&graph.nodes[size_t(a)]);
    }
    std::unique_ptr<Pedestrian> Walker(const Vector3& at) {
        auto p = std::make_unique<Pedestrian>(*type, *site);
        p->SetPosition(at);
        p->ResumeWalking();
        return p;
    }

    // A walker at the origin on a line of two nodes at z = -half and +half, heading for +half.
    std::unique_ptr<Pedestrian> WalkerOnLine(float half) {
        Nodes({{0, -half}, {0, half}});
        Link(0, 1);
        auto p = Walker(Vector3(0, 0, 0));
        p->previousNode = &graph.nodes[0];
        p->targetNode = &graph.nodes[1];
        return p;
    }
    // Physics sub-steps of uneven lengths while the state holds (at most `limit` seconds); the
    // time they took.
    float StepWhileIn(Pedestrian& p, int32_t state, float limit) {
        static const float steps[] = {0.013f, 0.021f, 0.007f, 0.033f};
        float t = 0.0f;
        for (int i = 0; p.state == state && t < limit; ++i) {
            t += steps[i % 4];
            p.UpdateBounds(world->physics, steps[i % 4]);
        }
        return t;
    }

    testing_support::TempWorkDir dir;
    testing_support::EngineDoubles engine;
    GameSession session;
    std::unique_ptr<PedestrianType> type;
    std::unique_ptr<World> world;
    std::unique_ptr<PedestrianSite> site;
    RecordingStreetEvents events;
    RoadGraph graph;
};

TEST_F(PedestrianTest, TheNextNodeIsNeverTheOneJustLeftButADeadEndTurnsBack) {
    // A star: centre 0 linked to 1, 2 and 3; node 3 is also linked on to 4 (a dead end).
    Nodes({{0, 0}, {100, 0}, {0, 100}, {-100, 0}, {-200, 0}});
    Link(0, 1), Link(0, 2), Link(0, 3), Link(3, 4);
    auto p = Walker(Vector3());
    std::set<RoadNode*> reached;
    for (int i = 0; i < 200; ++i) {
        p->previousNode = &graph.nodes[1];
        p->targetNode = &graph.nodes[0];
        ASSERT_TRUE(p->PickNextNode());
        EXPECT_NE(p->targetNode, &graph.nodes[1]) << "walked straight back";
        EXPECT_EQ(p->previousNode, &graph.nodes[0]);
        reached.insert(p->targetNode);
    }
    EXPECT_EQ(reached.size(), 2u) << "both other ways are taken";

    p->previousNode = &graph.nodes[3];
    p->targetNode = &graph.nodes[4];
    p->facing = Vector3(-1, 0.5f, 0);
    ASSERT_TRUE(p->PickNextNode());
    EXPECT_EQ(p->targetNode, &graph.nodes[3]) << "a dead end sends it back";
    EXPECT_FLOAT_EQ(p->facing.x, -0.9f);
    EXPECT_EQ(p->facing.y, 0.0f);
    EXPECT_FLOAT_EQ(p->facing.z, 0.01f);

    RoadGraph lone;
    lone.Resize(1);
    p->targetNode = &lone.nodes[0];
    EXPECT_FALSE(p->PickNextNode()) << "a node without links";
    p->targetNode = nullptr;
    EXPECT_FALSE(p->PickNextNode()) << "no target";
}

TEST_F(PedestrianTest, ACarComingCloseMakesItTurnAsideAndAFastOneMakesItJump) {
    Nodes({{0, -500}, {0, 500}});
    Link(0, 1);
    // The car passes 1000 squared units from the pedestrian at the first predicted point, then
    // draws away: inside the slow cars' 1500, outside the fast cars' 750.
    const float side = std::sqrt(1000.0f);
    const struct {
        float speedSquared;
        int32_t state;
        bool turned;
    } cases[] = {
        {99.9f, Pedestrian::Walking, true},  {100.0f, Pedestrian::Walking, false},
        {299.0f, Pedestrian::Walking, false}, {300.0f, Pedestrian::Walking, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.speedSquared);
        auto p = Walker(Vector3(0, 0, 0));
        p->previousNode = &graph.nodes[0];
        p->targetNode = &graph.nodes[1];
        const float v = std::sqrt(c.speedSquared);
        const Vector3 before = p->facing;
        p->React({Vector3(-v * 0.2f, 0, side), Vector3(v, 0, 0)}, 0.1f);
        EXPECT_EQ(p->state, c.state);
        EXPECT_EQ(p->facing.x != before.x || p->facing.z != before.z, c.turned);
    }
    // Nearer than 750: a car at squared speed 299 turns it, one at 300 makes it jump.
    for (float s : {299.0f, 300.0f}) {
        SCOPED_TRACE(s);
        auto p = Walker(Vector3(0, 0, 0));
        p->previousNode = &graph.nodes[0];
        p->targetNode = &graph.nodes[1];
        const float v = std::sqrt(s);
        p->React({Vector3(-v * 0.2f, 0, 20.0f), Vector3(v, 0, 0)}, 0.1f);
        if (s < 300.0f) {
            EXPECT_EQ(p->state, Pedestrian::Walking);
            EXPECT_NE(p->facing.x, 0.0f);
        } else {
            EXPECT_EQ(p->state, Pedestrian::Jumping);
            EXPECT_FLOAT_EQ(p->speed, 50.0f / 0.5f);
            EXPECT_NEAR(p->facing.Length(), 1.0f, 1e-5f);
            EXPECT_EQ(p->facing.z, 0.0f) << "sideways to the line from the car";
            // No second jump before 0.25 s: the dodge clock is not restarted.
            p->dodgeClock = 0.2f;
            p->React({Vector3(-v * 0.2f, 0, -20.0f), Vector3(v, 0, 0)}, 0.1f);
            EXPECT_EQ(p->dodgeClock, 0.2f);
        }
    }
}

TEST_F(PedestrianTest, AJumpBecomesARunThenAWalkAtUnevenSteps) {
    auto p = WalkerOnLine(5000.0f);
    const float v = std::sqrt(400.0f);
    p->React({Vector3(-v * 0.2f, 0, 10.0f), Vector3(v, 0, 0)}, 0.016f);
    ASSERT_EQ(p->state, Pedestrian::Jumping);
    float t = StepWhileIn(*p, Pedestrian::Jumping, 5.0f);
    EXPECT_EQ(p->state, Pedestrian::Running);
    EXPECT_NEAR(t, 0.5f, 0.034f);
    EXPECT_FLOAT_EQ(p->speed, 50.0f / 0.25f);
    t = StepWhileIn(*p, Pedestrian::Running, 5.0f);
    EXPECT_EQ(p->state, Pedestrian::Walking);
    EXPECT_NEAR(t, 2.0f, 0.034f);
    EXPECT_FLOAT_EQ(p->speed, 50.0f);
    const Vector3 at = p->GetPosition();
    EXPECT_TRUE(std::isfinite(at.x) && std::isfinite(at.z));
}

TEST_F(PedestrianTest, ItWalksBesideTheNodesToTheEndAndBack) {
    // A line of three nodes 200 apart; it walks 10 units beside them at 50 units a second.
    Nodes({{0, 0}, {0, -200}, {0, -400}});
    Link(0, 1), Link(1, 2);
    auto p = Walker(Vector3(0, 0, 0));
    p->previousNode = &graph.nodes[0];
    p->targetNode = &graph.nodes[1];
    p->sideOffset = 10.0f;
    const float steps[] = {0.013f, 0.021f, 0.007f, 0.033f};
    float farthest = 0.0f, widest = 0.0f;
    bool cameBack = false;
    for (int i = 0; i < 1000; ++i) {  // about 18.5 s
        p->UpdateBounds(world->physics, steps[i % 4]);
        const Vector3 at = p->GetPosition();
        farthest = std::min(farthest, at.z);
        widest = std::max(widest, std::fabs(at.x));
        if (farthest < -380.0f && at.z > -20.0f) cameBack = true;
    }
    EXPECT_LT(farthest, -380.0f) << "it reached the far end";
    EXPECT_TRUE(cameBack) << "and turned back at the dead end";
    EXPECT_LT(widest, 60.0f) << "it keeps beside the nodes, swinging out only to turn";
    EXPECT_EQ(p->state, Pedestrian::Walking);
}

TEST_F(PedestrianTest, CulledWithoutDrawingTheKindsListHoldsOnlyThisFrame) {
    auto near = Walker(Vector3(0, 0, -100));
    auto far = Walker(Vector3(0, 0, -2100));
    // Looking along the line of both, so only the distance tells them apart.
    Camera camera;
    camera.SetViewport(Rect{0, 0, 64, 64});
    camera.SetFarPlane(10000.0f);
    camera.RebuildProjection();
    camera.position = Vector3(0, 10, 0);
    camera.positionDirty = camera.orientationDirty = 1;
    camera.Apply();
    for (uint32_t frame = 1; frame <= 5; ++frame) {
        engine.frameNumber = frame;
        EXPECT_TRUE(near->Cull(*world, camera));
        EXPECT_FALSE(far->Cull(*world, camera)) << "beyond 2000 units";
        EXPECT_EQ(type->drawList.size(), 1u) << "frame " << frame;
        EXPECT_EQ(near->drawnFrame, frame);
        EXPECT_TRUE(near->visible);
    }
}

TEST_F(PedestrianTest, AMissingAnimationGivesAFiniteSpeed) {
    type->walk = std::make_unique<BoneAnimation>(SharedString("Pedestrians\\PED01\\Gone.ZKA"));
    auto p = Walker(Vector3(0, 0, 0));
    EXPECT_FLOAT_EQ(p->speed, 50.0f);
    p->UpdateBounds(world->physics, 0.02f);
    EXPECT_TRUE(std::isfinite(p->GetPosition().z));
}

TEST_F(PedestrianTest, AHitKnocksItDownAndItDiesSecondsLaterToldOnce) {
    auto p = WalkerOnLine(500.0f);
    p->TakeDamage(1.0f, DamageImpact, nullptr);
    EXPECT_EQ(p->state, Pedestrian::Knocked);
    EXPECT_GE(p->knockTimer, 5.0f);
    EXPECT_LE(p->knockTimer, 10.0f);
    EXPECT_EQ(p->speed, 80.0f);
    EXPECT_TRUE(events.hits.empty()) << "not dead yet";
    const float knock = p->knockTimer;
    const float t = StepWhileIn(*p, Pedestrian::Knocked, 11.0f);
    EXPECT_EQ(p->state, Pedestrian::Dead);
    EXPECT_NEAR(t, knock, 0.034f);
    ASSERT_EQ(events.hits.size(), 1u);
    EXPECT_EQ(events.hits[0].pedestrian, p.get());
    EXPECT_EQ(p->speed, 0.0f);
    EXPECT_NE(p->body, nullptr) << "thrown: it has a body";
    p->TakeDamage(1.0f, DamageImpact, nullptr);
    p->OnDamaged(1.0f, DamageBlast, nullptr);
    for (int i = 0; i < 400; ++i) p->UpdateBounds(world->physics, 0.02f);  // bleeding 5 s, lying 2 s
    EXPECT_EQ(events.hits.size(), 1u) << "a dead pedestrian dies once";
    EXPECT_EQ(p->body, nullptr) << "the body goes back to the pool once it lies still";
    EXPECT_EQ(site->freeBodies.size(), 1u);
}

TEST_F(PedestrianTest, TwoPedestriansNeverPushEachOtherTheyDriftApart) {
    auto a = Walker(Vector3(0, 0, 0));
    auto b = Walker(Vector3(3, 0, 0));
    a->geom->SetCategoryBits(0x104);
    b->geom->SetCategoryBits(0x104);
    EXPECT_TRUE(a->IgnorePair(a->geom.get(), b->geom.get()));
    EXPECT_TRUE(b->IgnorePair(b->geom.get(), a->geom.get()));
    EXPECT_LT(a->sideOffset, 0.0f);
    EXPECT_GT(b->sideOffset, 0.0f);
    EXPECT_EQ(a->state, Pedestrian::Walking);

    // One knocked down knocks down the one it falls against.
    b->TakeDamage(1.0f, DamageImpact, nullptr);
    ASSERT_EQ(b->state, Pedestrian::Knocked);
    EXPECT_TRUE(a->IgnorePair(a->geom.get(), b->geom.get()));
    EXPECT_EQ(a->state, Pedestrian::Knocked);
}

// A car reaches a pedestrian's pair test first as its space (no body), then as its chassis box:
// the space leaves the choice to the chassis, whose speed decides.
TEST_F(PedestrianTest, ACarsContactStandsAtSpeedAndItsSpaceLeavesTheChoiceToItsChassis) {
    PhysicsSpace carSpace;
    carSpace.SetCategoryBits(0x84);
    BoxGeom chassis(Vector3(10, 5, 20));
    chassis.SetCategoryBits(0x84);
    RigidBody carBody(world->physics);
    carBody.SetGeom(&chassis);
    const struct {
        const char* what;
        PhysicsGeom* other;
        float speed;
        int32_t state;
        bool thrown;
        bool ignored;
    } cases[] = {
        {"the car's space", &carSpace, 0.0f, Pedestrian::Walking, false, false},
        {"a chassis at 74.9", &chassis, 74.9f, Pedestrian::Walking, false, true},
        {"a chassis at 75", &chassis, 75.0f, Pedestrian::Walking, false, false},
        {"a fast chassis, the pedestrian dead", &chassis, 150.0f, Pedestrian::Dead, false, true},
        {"a slow chassis, the pedestrian thrown on damage", &chassis, 10.0f, Pedestrian::Walking, true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto p = WalkerOnLine(500.0f);
        p->state = c.state;
        p->thrownOnDamage = c.thrown;
        carBody.SetLinearVelocity(Vector3(0, 0, -c.speed));
        EXPECT_EQ(p->IgnorePair(p->geom.get(), c.other), c.ignored);
    }
    carBody.SetGeom(nullptr);
}

// Knocked about by a car, a pedestrian's body is the one the contacts' force hooks find it by,
// and it comes down on the city's ground rather than through it.
TEST_F(PedestrianTest, AThrownPedestrianIsFoundFromItsBodyAndLandsOnTheGround) {
    ASSERT_FALSE(world_testing::LoadWorld(*world, world_testing::FlatWorld()).failed);
    // A person-sized kind, as the game's are.
    std::filesystem::create_directories("Pedestrians/PED03");
    ASSERT_TRUE(tools::WriteZkm("Pedestrians/PED03/Body.ZKM", tools::PersonModel("Figure.ZKT")));
    PedestrianType person(SharedString("PED03.VQP"), engine.services);
    Pedestrian p(person, *site);
    world->physics.AddObject(&p);
    p.SetPosition(Vector3(0, 5, 0));  // its box a little above the ground
    p.state = Pedestrian::Dead;
    p.bleedTimer = 5.0f;
    p.AttachBody();
    ASSERT_NE(p.body, nullptr);
    EXPECT_EQ(DamageReceiver::ReceiverOf(p.body->GetGeom()), &p);
    for (int i = 0; i < 150; ++i) {  // 3 s
        world->physics.Simulate(0.02f, 75.0f, 1.0f);
        BoundingBox b;
        p.GetBounds(b);
        ASSERT_GT(b.centre.y - b.halfExtents.y, -1.0f) << "through the ground after " << float(i + 1) * 0.02f << " s";
    }
    BoundingBox b;
    p.GetBounds(b);
    EXPECT_LT(b.centre.y - b.halfExtents.y, 1.0f) << "it lies on the ground";
    world->physics.RemoveObject(&p);
    EXPECT_EQ(p.body, nullptr);
    EXPECT_EQ(site->freeBodies.front()->GetGeom(), nullptr) << "a body back in the pool holds no geom";
}

// How a pedestrian bleeds and sounds, by how it died and whether the game shows blood: a hit
// knocks it down spraying blood, and its death sounds one of its kind's hit sounds; killed
// otherwise (a blast, flames) it bleeds in bursts from points on its body, silently. Without
// blood nothing is emitted, the sound stays.
TEST_F(PedestrianTest, ItBleedsAndSoundsByHowItDiedAndOnlyWhileTheGameShowsBlood) {
    std::filesystem::create_directories("Audio/PED01");
    ASSERT_TRUE(tools::WriteWav("Audio/PED01/HitPed1.WAV", 1, 22050, std::vector<int16_t>(2205, 100)));
    testing_support::FakeAudioDevice sound;
    engine.services.sound = &sound;
    PedestrianType sounded(SharedString("PED01.VQP"), engine.services);
    ASSERT_EQ(sounded.hitSounds, std::vector<SharedString>{SharedString("Audio\\PED01\\HitPed1.WAV")});
    const struct {
        bool byHit;
        uint8_t blood;
    } cases[] = {{true, 1}, {true, 0}, {false, 1}, {false, 0}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.byHit ? "hit" : "not hit") + (c.blood ? ", blood" : ", no blood"));
        ParticleSystems::Create(nullptr, Vector3(0, -100, 0), nullptr);
        session.bloodEnabled = c.blood;
        sound.placed.clear();
        Nodes({{0, -500}, {0, 500}});
        Link(0, 1);
        Pedestrian p(sounded, *site);
        p.previousNode = &graph.nodes[0];
        p.targetNode = &graph.nodes[1];
        p.ResumeWalking();
        p.visible = true;  // seen by the camera every frame
        if (c.byHit) {
            p.TakeDamage(1.0f, DamageImpact, nullptr);
            ASSERT_EQ(p.state, Pedestrian::Knocked);
            StepWhileIn(p, Pedestrian::Knocked, 11.0f);
        } else {
            p.OnDestroyed(DamageBlast);
        }
        ASSERT_EQ(p.state, Pedestrian::Dead);
        EXPECT_EQ(p.killedByHit, c.byHit);
        for (int i = 0; i < 25; ++i) p.UpdateBounds(world->physics, 0.02f);
        const std::vector<ParticleGroup*>& drops = ParticleSystems::blood->ActiveGroups();
        if (c.blood) {
            EXPECT_FALSE(drops.empty());
        } else {
            EXPECT_TRUE(drops.empty());
        }
        // Every drop starts on the body: within its height.
        BoundingBox b;
        p.GetBounds(b);
        for (const ParticleGroup* g : drops) {
            EXPECT_GE(g->position.y, b.centre.y - b.halfExtents.y - 1e-3f);
            EXPECT_LE(g->position.y, b.centre.y + b.halfExtents.y + 1e-3f);
        }
        if (c.byHit) {
            ASSERT_EQ(sound.placed.size(), 1u);
            EXPECT_EQ(sound.placed[0].name, "Audio\\PED01\\HitPed1.WAV");
            EXPECT_EQ(sound.placed[0].minimum, 10.0f);
            EXPECT_EQ(sound.placed[0].maximum, 150.0f);
        } else {
            EXPECT_TRUE(sound.placed.empty());
        }
        ParticleSystems::Destroy();
        p.ReleaseBody();
    }
    // A kind without hit sounds falls back to the game's one.
    auto p = WalkerOnLine(500.0f);
    p->TakeDamage(1.0f, DamageImpact, nullptr);
    StepWhileIn(*p, Pedestrian::Knocked, 11.0f);
    ASSERT_EQ(sound.placed.size(), 1u);
    EXPECT_EQ(sound.placed[0].name, "HitPed.WAV");
    p->ReleaseBody();
    engine.services.sound = nullptr;
}

// Its body thrown against the city: a splash sound of its kind once in a quarter second, and
// blood splats on the ground only while the game shows blood.
TEST_F(PedestrianTest, ThrownAgainstTheCityItSplashesOnceAQuarterSecondAndSplatsWithBlood) {
    std::filesystem::create_directories("Audio/PED01");
    ASSERT_TRUE(tools::WriteWav("Audio/PED01/Blood1.WAV", 1, 22050, std::vector<int16_t>(2205, 100)));
    testing_support::FakeAudioDevice sound;
    engine.services.sound = &sound;
    PedestrianType sounded(SharedString("PED01.VQP"), engine.services);
    BoxGeom ground(Vector3(1000, 1, 1000));
    ground.SetCategoryBits(1);
    for (const uint8_t blood : {uint8_t(1), uint8_t(0)}) {
        SCOPED_TRACE(int(blood));
        ParticleSystems::Create(nullptr, Vector3(0, -100, 0), nullptr);
        session.bloodEnabled = blood;
        sound.placed.clear();
        Pedestrian p(sounded, *site);
        p.health = 0.1f;  // badly hurt, not killed by a hit
        p.AttachBody();
        Vector3 at(0, 0, 0), up(0, 1, 0);
        float depth = 0.1f;
        const int32_t before = DecalRing::Counter();
        float clock = 0.0f;
        for (int i = 0; i < 100; ++i, clock += 0.05f) {
            // Slow enough to splat now and then (a fast body leaves none).
            p.body->SetLinearVelocity(Vector3(0, -21.0f, 0));
            EXPECT_TRUE(p.FilterContact(p.geom.get(), &ground, &at, &up, &depth));
            p.Update(*world, nullptr, 0.05f);
        }
        EXPECT_EQ(sound.placed.size(), size_t(std::ceil(clock / 0.3f))) << "one splash each 0.25 s, at 0.05 s frames";
        for (const auto& placed : sound.placed) EXPECT_EQ(placed.name, "Audio\\PED01\\Blood1.WAV");
        const int32_t splats = DecalRing::Counter() - before;
        if (blood) {
            EXPECT_GT(splats, 0);
            EXPECT_EQ(splats % 10, 0) << "ten at a time";
        } else {
            EXPECT_EQ(splats, 0);
        }
        p.ReleaseBody();
        ParticleSystems::Destroy();
    }
    engine.services.sound = nullptr;
}

}  // namespace
