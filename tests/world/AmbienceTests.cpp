// Traffic lights on a timeline, the ambient emitters and hit sounds through a recording sound
// device, the path object on a small path graph, and the drop-point marker.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "game/world/AmbientSound.h"
#include "game/world/DropPointMarker.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/PathObject.h"
#include "game/world/WorldLights.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/AudioWriter.h"

namespace {

// ---------------------------------------------------------------------------------------------
// Traffic lights

struct Junction {
    explicit Junction(int groups) {
        graph.Resize(2 * groups);
        for (int g = 0; g < groups; ++g) graph.nodes[size_t(2 * g)].links = {&graph.nodes[size_t(2 * g + 1)]};
        std::vector<std::vector<std::unique_ptr<TrafficLight>>> lights;
        lights.resize(size_t(groups));
        for (int g = 0; g < groups; ++g) {
            posts.push_back(std::make_unique<WorldObject>());
            lights[size_t(g)].push_back(std::make_unique<TrafficLight>(shared, session, posts.back().get(), &graph.nodes[size_t(2 * g)]));
        }
        controller = std::make_unique<TrafficLightController>(std::move(lights));
    }
    TrafficLight& Light(int group) { return *controller->groups[size_t(group)][0]; }
    bool Open(int group) { return !graph.nodes[size_t(2 * group)].links.empty(); }

    GameSession session;
    LightResources shared{nullptr, nullptr};
    RoadGraph graph;
    std::vector<std::unique_ptr<WorldObject>> posts;
    std::unique_ptr<TrafficLightController> controller;
};

// Each row: a frame of dt, then every group's state (1 red, 2 amber, 4 green) and whether its
// stop-line node has its links.
TEST(TrafficLights, FollowTheirTimeline) {
    struct Row {
        float dt;
        uint32_t state[2];
        bool open[2];
    };
    const struct {
        const char* what;
        int groups;
        std::vector<Row> rows;
    } timelines[] = {
        {"two groups",
         2,
         {{0.0f, {1, 1}, {false, false}},     // reset: all red, every node closed
          {9.9f, {1, 1}, {false, false}},
          {0.6f, {2, 1}, {false, false}},     // 9.9 to 10.5: amber at once
          {0.4f, {2, 1}, {false, false}},     // timer 100.9
          {0.2f, {1, 4}, {false, true}},      // past 101: red, the next group green
          {10.0f, {1, 2}, {false, false}},
          {1.01f, {4, 1}, {true, false}}}},
        {"one group",
         1,
         {{10.0f, {2, 0}, {false, false}},
          {0.5f, {2, 0}, {false, false}},
          {0.6f, {4, 0}, {true, false}}}},    // amber straight back to green
    };
    for (const auto& t : timelines) {
        Junction j(t.groups);
        for (size_t r = 0; r < t.rows.size(); ++r) {
            const Row& row = t.rows[r];
            j.controller->Update(row.dt, nullptr);
            for (int g = 0; g < t.groups; ++g) {
                EXPECT_EQ(j.Light(g).state, row.state[g]) << t.what << " row " << r << " group " << g;
                EXPECT_EQ(j.Open(g), row.open[g]) << t.what << " row " << r << " group " << g;
            }
        }
    }
    // A reset closes every node again, whatever its light showed.
    Junction j(2);
    for (float dt : {10.0f, 1.5f}) j.controller->Update(dt, nullptr);
    ASSERT_TRUE(j.Open(1));
    j.controller->Reset();
    EXPECT_FALSE(j.Open(0));
    EXPECT_FALSE(j.Open(1));
    EXPECT_EQ(j.Light(1).state, uint32_t(TrafficLight::Red));
    EXPECT_EQ(j.controller->timer, 0.0f);
    // A controller without groups does nothing.
    TrafficLightController empty({});
    empty.Update(20.0f, nullptr);
    EXPECT_EQ(empty.timer, 0.0f);
}

// Lamps brighten in a quarter second and darken in one; amber lights both pools. A knocked light
// keeps cycling but queues no pool; it lights again once restored.
TEST(TrafficLights, BrightnessAndKnocks) {
    Junction j(2);
    j.session.timeOfDay = 3;
    TrafficLight& light = j.Light(0);
    light.AddLightmaps(Vector3(0, 2, 0), Matrix4());
    j.controller->Update(0.125f, nullptr);
    EXPECT_NEAR(light.Brightness(0), 0.5f, 0.01f);
    j.controller->Update(0.125f, nullptr);
    EXPECT_EQ(light.lamps[0].colour.a, 255);
    EXPECT_FLOAT_EQ(light.redBrightness, 1.0f);
    EXPECT_FLOAT_EQ(light.greenBrightness, 0.0f);
    DecalBatch::Clear();
    light.OnVisible();
    EXPECT_EQ(DecalBatch::Quads().size(), 1u); // the red pool only

    light.OnDisturbed();
    j.controller->Update(9.8f, nullptr); // amber
    EXPECT_EQ(light.state, uint32_t(TrafficLight::Amber | TrafficLight::Knocked));
    EXPECT_EQ(light.lamps[1].colour.a, 255);
    EXPECT_EQ(light.lamps[0].colour.a, 0);
    EXPECT_FLOAT_EQ(light.greenBrightness, 1.0f); // amber: both pools
    DecalBatch::Clear();
    light.OnVisible();
    EXPECT_TRUE(DecalBatch::Quads().empty());
    light.OnRestored();
    light.OnVisible();
    EXPECT_EQ(DecalBatch::Quads().size(), 2u);
    DecalBatch::Clear();
}

// ---------------------------------------------------------------------------------------------
// Sounds

// A voice that writes what is done to it into its device's log.
class LoggedVoice : public NullAudioVoice {
public:
    LoggedVoice(std::vector<std::string>& log, int id) : log_(log), id_(id) {}
    void Play(bool loop) override { log_.push_back("play " + std::to_string(id_) + (loop ? " loop" : "")); }
    void Stop() override { log_.push_back("stop " + std::to_string(id_)); }
    void Rewind() override { log_.push_back("rewind " + std::to_string(id_)); }

private:
    std::vector<std::string>& log_;
    int id_;
};

class LoggedSound : public NullAudioDevice {
public:
    AudioVoice* CreateSound(const SharedString& name, bool positional, bool, bool) override {
        created.push_back(std::string(name.c_str()) + (positional ? " 3d" : ""));
        return new LoggedVoice(log, int(created.size() - 1));
    }
    void PlaySound3D(const SharedString& name, const Vector3&, float minimum, float maximum, float, PlaybackObserver*) override {
        log.push_back(std::string("3d ") + name.c_str() + " " + std::to_string(int(minimum)) + " " + std::to_string(int(maximum)));
    }
    std::vector<std::string> created;
    std::vector<std::string> log;
};

struct SoundFixture : ::testing::Test {
    void SetUp() override {
        std::filesystem::create_directories("Audio/Ambient");
        const std::vector<int16_t> blip(220, 1000);
        for (const char* name : {"Fountain", "Birds1", "Birds2", "Birds3"})
            ASSERT_TRUE(tools::WriteWav(std::string("Audio/Ambient/") + name + ".WAV", 1, 22050, blip));
        engine.frameNumber = 1;
        engine.services.sound = &sound;
    }
    std::unique_ptr<AmbientSoundEmitter> Emitter(const char* name, uint8_t mask) {
        auto e = std::make_unique<AmbientSoundEmitter>(&sound, session);
        e->minDistance = 100.0f;
        e->radius = 600.0f;
        e->timeOfDayMask = mask;
        e->Load(SharedString(name));
        return e;
    }
    testing_support::TempWorkDir dir;
    LoggedSound sound;
    testing_support::EngineDoubles engine;
    GameSession session;
};

// The single file loops: on entering (at the first countdown), stopped and rewound on leaving,
// again at the next countdown after re-entry; outside the mask's time of day nothing changes,
// a running loop included.
TEST_F(SoundFixture, ALoopPlaysInsideItsRadius) {
    AmbientSoundEmitter e(&sound, session);
    e.radius = 600.0f;
    e.minDistance = 100.0f;
    e.timeOfDayMask = 0x03;
    e.Load(SharedString("Fountain"));
    ASSERT_NE(e.loop, nullptr);
    EXPECT_EQ(sound.created, std::vector<std::string>{"Audio\\Ambient\\Fountain.WAV 3d"});
    const Vector3 in(0, 0, 500), out(0, 0, 700);
    e.UpdateListener(0.1f, out);
    EXPECT_TRUE(sound.log.empty());
    e.UpdateListener(0.1f, in);
    EXPECT_EQ(sound.log, std::vector<std::string>{"play 0 loop"});
    for (int i = 0; i < 200; ++i) e.UpdateListener(0.1f, in); // already playing: nothing more
    EXPECT_EQ(sound.log.size(), 1u);
    e.UpdateListener(0.1f, out);
    EXPECT_EQ(sound.log, (std::vector<std::string>{"play 0 loop", "stop 0", "rewind 0"}));
    // Its countdown ran out while it played: back inside, it starts again at once.
    e.UpdateListener(0.1f, in);
    EXPECT_EQ(sound.log.back(), "play 0 loop");
    session.timeOfDay = 3; // night: outside the mask
    e.UpdateListener(0.1f, out);
    EXPECT_EQ(sound.log.back(), "play 0 loop");
    // A name that matches no file stays silent.
    auto none = Emitter("Rain", 0x0F);
    EXPECT_EQ(none->loop, nullptr);
    EXPECT_TRUE(none->variants.empty());
    const size_t before = sound.log.size();
    none->UpdateListener(1.0f, in);
    EXPECT_EQ(sound.log.size(), before);
}

// Several files are variants: one at random every 5 to 10 seconds while inside, the same
// sequence again from the same seed.
TEST_F(SoundFixture, VariantsPlayEveryFiveToTenSeconds) {
    auto run = [&] {
        plat::SetEngineRandSeed(7);
        sound.log.clear();
        auto e = Emitter("Birds", 0x0F);
        EXPECT_EQ(e->variants.size(), 3u);
        std::vector<float> times;
        for (int frame = 0; frame < 600; ++frame) {
            const size_t before = sound.log.size();
            e->UpdateListener(0.1f, Vector3(0, 0, 100));
            if (sound.log.size() > before) times.push_back(float(frame) * 0.1f);
        }
        for (size_t i = 1; i < times.size(); ++i) {
            EXPECT_GE(times[i] - times[i - 1], 4.99f);
            EXPECT_LE(times[i] - times[i - 1], 10.11f);
        }
        EXPECT_EQ(times.front(), 0.0f);
        return sound.log;
    };
    const std::vector<std::string> first = run();
    ASSERT_GE(first.size(), 6u);
    std::map<std::string, int> seen;
    for (const std::string& l : first) {
        EXPECT_EQ(l.rfind("3d Audio\\Ambient\\Birds", 0), 0u) << l;
        EXPECT_NE(l.find(" 100 600"), std::string::npos) << l;
        ++seen[l];
    }
    EXPECT_GE(seen.size(), 2u);
    EXPECT_EQ(run(), first);
}

// Eight voices in turn, at most one play per engine frame however many objects share them.
TEST_F(SoundFixture, HitSoundsTakeTheirVoicesInTurn) {
    SoundSample hit(engine.services, SharedString("Hit_Wood.WAV"), &session);
    ASSERT_EQ(hit.voices.size(), 8u);
    engine.frameNumber = 1;
    hit.OnTouched(Vector3(1, 0, 0));
    hit.OnTouched(Vector3(2, 0, 0)); // a second object in the same frame
    for (uint32_t frame = 2; frame <= 9; ++frame) {
        engine.frameNumber = frame;
        hit.OnTouched(Vector3(0, 0, 0));
    }
    std::vector<std::string> plays;
    for (const std::string& l : sound.log)
        if (l.rfind("play", 0) == 0) plays.push_back(l);
    ASSERT_EQ(plays.size(), 9u);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(plays[size_t(i)], "play " + std::to_string(i));
    EXPECT_EQ(plays[8], "play 0");
}

// ---------------------------------------------------------------------------------------------
// Path objects

struct PathGraph {
    // 0 (0,0,0) -> 1 (0,0,400) -> 2 (400,0,400), 3 (-400,0,400); speeds 100.
    PathGraph() {
        graph.Resize(4);
        const Vector3 p[4] = {{0, 0, 0}, {0, 0, 400}, {400, 0, 400}, {-400, 0, 400}};
        for (int i = 0; i < 4; ++i) {
            graph.nodes[size_t(i)].position = p[i];
            graph.nodes[size_t(i)].speedFactor = 100.0f;
        }
        graph.nodes[0].links = {&graph.nodes[1]};
        graph.nodes[1].links = {&graph.nodes[2], &graph.nodes[3]};
    }
    RoadGraph graph;
    ObjectQuadTree tree;
};

TEST(PathObjects, PickFreeNeighbour) {
    PathGraph g;
    RoadNode& junction = g.graph.nodes[1];
    g.graph.nodes[2].occupancy = 1;
    g.graph.nodes[3].occupancy = RoadNode::Restricted;
    EXPECT_EQ(junction.PickFreeNeighbour(false), nullptr);
    EXPECT_EQ(junction.PickFreeNeighbour(true), &g.graph.nodes[3]);
    EXPECT_EQ(g.graph.nodes[2].PickFreeNeighbour(true), nullptr); // no links
    g.graph.nodes[2].occupancy = 0;
    for (int i = 0; i < 8; ++i) EXPECT_EQ(junction.PickFreeNeighbour(false), &g.graph.nodes[2]);
}

// Reaching a node whose neighbours are all taken sends the object back to its route's first
// node, from where it accelerates from 0 again.
TEST(PathObjects, AllNeighboursTakenRestarts) {
    PathGraph g;
    g.graph.nodes[2].occupancy = 1;
    g.graph.nodes[3].occupancy = 2;
    PathObject p(&g.graph, {0, 1}, nullptr, nullptr);
    p.Restart();
    EXPECT_EQ(p.target, &g.graph.nodes[1]);
    float best = 1e9f;
    bool restarted = false;
    for (int i = 0; i < 2000 && !restarted; ++i) {
        p.Update(g.tree, nullptr, 1.0f / 75.0f);
        restarted = i > 0 && p.position == g.graph.nodes[0].position;
        if (!restarted) best = std::min(best, (p.position - g.graph.nodes[1].position).Length());
    }
    ASSERT_TRUE(restarted);
    EXPECT_LT(best, 30.0f); // it got there
    // Back at the start, accelerating from 0 again in the same frame.
    EXPECT_FLOAT_EQ(p.speed, 100.0f * 2.5f / 75.0f);
    EXPECT_EQ(p.target, &g.graph.nodes[1]);
    EXPECT_TRUE(p.itemFlags & QuadTreeItem::Moved);
}

// The heading turns 5 dt of the remaining angle per frame, never all at once; a target on the
// spot keeps it.
TEST(PathObjects, HeadingTurnsSmoothly) {
    PathGraph g;
    PathObject p(&g.graph, {0, 1}, nullptr, nullptr);
    p.Restart();
    auto heading = [&] { return p.orientation.ToMatrix().TransformNormal(Vector3(0, 0, 1)); };
    EXPECT_NEAR(heading().z, 1.0f, 1e-5f);
    // The target moves a quarter turn to the right.
    g.graph.nodes[1].position = Vector3(400, 0, 0);
    const float dt = 0.02f;
    auto remaining = [&] {
        const Vector3 to = (g.graph.nodes[1].position - p.position).Normalized();
        return std::acos(std::clamp(Vector3::Dot(heading(), to), -1.0f, 1.0f));
    };
    for (int i = 0; i < 5; ++i) {
        const float before = remaining();
        p.Update(g.tree, nullptr, dt);
        EXPECT_NEAR(remaining(), before * (1.0f - 5.0f * dt), 0.01f) << i;
    }
    const Quaternion kept = p.orientation;
    g.graph.nodes[1].position = p.position;
    p.speed = 0.0f;
    p.Update(g.tree, nullptr, dt);
    EXPECT_EQ(p.orientation, kept);
}

// A larger model reaches its node from farther away.
TEST(PathObjects, LargerModelsReachNodesFromFarther) {
    PathGraph g;
    for (float half : {5.0f, 40.0f}) {
        PathObject p(&g.graph, {0, 1}, nullptr, nullptr);
        p.Restart();
        p.localBounds.halfExtents = Vector3(half, half, half);
        BoundingBox b;
        p.GetBounds(b);
        // Still 50 units short of the node, standing still.
        p.position = Vector3(0, 0, 350);
        p.Update(g.tree, nullptr, 0.0f);
        const bool reached = p.target != &g.graph.nodes[1];
        EXPECT_EQ(reached, half > 30.0f) << half; // 3 x 40^2 > 50^2 > 3 x 5^2
    }
}

// ---------------------------------------------------------------------------------------------
// Drop-point marker

TEST(DropPointMarker, SpinsOnlyWhileShownAtATenthOfItsSize) {
    testing_support::EngineDoubles engine;
    engine.frameTime = 0.5f;
    DropPointMarker m(engine.services);
    EXPECT_FALSE(m.visible);
    EXPECT_EQ(m.size, 100.0f);
    m.spinRate = 2.0f;
    m.angle = 0.25f;
    Camera camera;
    m.Draw(camera);
    EXPECT_EQ(m.angle, 0.25f); // hidden: the angle is kept
    m.visible = true;
    m.Draw(camera);
    EXPECT_FLOAT_EQ(m.angle, 1.25f);
    const Matrix4 w = m.WorldMatrix();
    for (int row = 0; row < 3; ++row)
        EXPECT_NEAR(Vector3(w.m[row][0], w.m[row][1], w.m[row][2]).Length(), 10.0f, 1e-4f);
    m.position = Vector3(5, 6, 7);
    EXPECT_EQ(m.WorldMatrix().TransformCoord(Vector3()), Vector3(5, 6, 7));
}

} // namespace
