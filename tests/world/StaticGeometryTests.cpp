// The static city's frame on a recording device: which groups a camera queues, which of their
// triangles reach the frame's buffers (front faces only, shared vertices once, nearest groups
// first), how the two rings wrap, what happens when a frame holds more than the buffers, and
// the calls a draw makes.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "game/world/GameSession.h"
#include "game/world/StaticGeometryRenderer.h"
#include "game/world/World.h"
#include "tests/support/TestSupport.h"
#include "tests/world/RenderTestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/VsAssembler.h"

using namespace world_testing;

namespace {

// Static geometry filled directly: the tests add vertices, triangles, groups and batches.
struct City {
    explicit City(RenderFacility* facility, const GameSession* session = nullptr) : sg(facility, session) {}

    uint32_t Vertex(const Vector3& p) {
        sg.vertices.push_back({p, {0, 1, 0}, 0, 0});
        return uint32_t(sg.vertices.size() - 1);
    }
    void Triangle(uint32_t a, uint32_t b, uint32_t c) { sg.triangles.push_back({{a, b, c}}); }
    // A triangle of fresh vertices facing up, at (x, z).
    void UpTriangle(float x, float z) {
        const uint32_t a = Vertex({x, 0, z}), b = Vertex({x, 0, z + 1}), c = Vertex({x + 1, 0, z});
        Triangle(a, b, c);
    }
    // The triangles added since `firstTriangle` become a group of `batch`.
    void Group(uint32_t firstTriangle, int32_t batch, uint8_t flags = 0) {
        StaticDrawGroup g;
        g.owner = &sg;
        g.batch = batch;
        g.firstIndex = firstTriangle * 3;
        g.indexCount = uint32_t(sg.triangles.size()) * 3 - g.firstIndex;
        g.groupFlags = flags;
        Vector3 lo(1e9f, 1e9f, 1e9f), hi(-1e9f, -1e9f, -1e9f);
        for (size_t t = firstTriangle; t < sg.triangles.size(); ++t)
            for (uint32_t v : sg.triangles[t].v)
                for (int a = 0; a < 3; ++a) {
                    lo[a] = std::min(lo[a], sg.vertices[v].position[a]);
                    hi[a] = std::max(hi[a], sg.vertices[v].position[a]);
                }
        g.bounds.centre = (lo + hi) * 0.5f;
        g.bounds.halfExtents = hi - g.bounds.centre;
        g.radius = g.bounds.halfExtents.Length();
        sg.groups.push_back(g);
        while (sg.batches.size() <= size_t(batch)) {
            StaticBatch b;
            b.material = int32_t(sg.batches.size());
            sg.batches.push_back(b);
        }
    }
    void Prepare() {
        sg.materials.resize(sg.batches.size());
        sg.descriptions.resize(sg.batches.size());
        sg.PrepareBatches();
        sg.RecreateShaders();
    }
    // Queues every group the camera sees, then gathers.
    void Frame(const Camera& camera) {
        for (StaticDrawGroup& g : sg.groups) sg.CullGroup(g, camera);
        sg.BeginFrame(camera);
    }
    const StaticVertex* FrameVertices() const {
        return reinterpret_cast<const StaticVertex*>(sg.Vertices()->DeviceBuffer()->Shadow()) + sg.FrameVertexBase();
    }
    const uint16_t* FrameIndices() const {
        return reinterpret_cast<const uint16_t*>(sg.Indices()->DeviceBuffer()->Shadow()) + sg.FrameIndexBase();
    }

    StaticGeometryRenderer sg;
};

class StaticGeometry : public ::testing::Test {
protected:
    RecordingFacility rec;
    EngineOn engine{rec.facility.get()};
    // Looks along +z from 10 above the ground.
    Camera camera = LookingCamera({0, 10, 0}, {0, 0, 1}, 64, 48, 1000.0f);
};

// Of a quad, an edge-on triangle and a back face, only the quad's two triangles are stored, its
// two shared vertices once.
TEST_F(StaticGeometry, StoresFrontFacesWithSharedVerticesOnce) {
    City city(rec.facility.get());
    const uint32_t q[4] = {city.Vertex({0, 0, 50}), city.Vertex({10, 0, 50}), city.Vertex({0, 0, 60}), city.Vertex({10, 0, 60})};
    city.Triangle(q[0], q[2], q[1]);
    city.Triangle(q[1], q[2], q[3]);
    // In the plane x = 0, which holds the camera: seen exactly edge-on.
    city.Triangle(city.Vertex({0, 0, 70}), city.Vertex({0, 5, 70}), city.Vertex({0, 0, 75}));
    // Facing down, away from the camera above it.
    city.Triangle(city.Vertex({10, 0, 70}), city.Vertex({20, 0, 70}), city.Vertex({10, 0, 80}));
    city.Group(0, 0);
    city.Prepare();
    EXPECT_EQ(Vector3::Dot(camera.position - Vector3(0, 0, 70), city.sg.FaceNormals()[2]), 0.0f);

    city.Frame(camera);
    ASSERT_EQ(city.sg.IndicesWritten(), 6u);
    ASSERT_EQ(city.sg.VerticesWritten(), 4u);
    const uint16_t expected[6] = {0, 1, 2, 2, 1, 3};
    EXPECT_EQ(std::memcmp(city.FrameIndices(), expected, sizeof expected), 0);
    const uint32_t order[4] = {q[0], q[2], q[1], q[3]};
    for (int i = 0; i < 4; ++i) EXPECT_EQ(city.FrameVertices()[i].position, city.sg.vertices[order[i]].position) << i;
    const auto& r = city.sg.DrawRanges()[0];
    EXPECT_EQ(r.firstIndex, 0u);
    EXPECT_EQ(r.indexCount, 6u);
    EXPECT_EQ(r.vertexCount, 4u);
}

// Which groups a camera queues: within the far plane plus the group's radius (x and z only)
// unless the group is exempt, and only inside the view volume.
TEST_F(StaticGeometry, CullsByDistancePlusRadiusAndTheViewVolume) {
    struct Case {
        const char* what;
        float distance;  // along 30 degrees to the right of the view, in x and z
        float height;
        uint8_t flags;
        bool behind;
        bool queued;
    } cases[] = {
        {"inside far + radius", 1049.0f, 0.0f, 0, false, true},
        {"past far + radius", 1051.0f, 0.0f, 0, false, false},
        {"past, but exempt", 1051.0f, 0.0f, StaticDrawGroup::NoDistanceTest, false, true},
        {"height does not count", 1049.0f, 500.0f, 0, false, true},
        {"behind the camera, exempt", 300.0f, 0.0f, StaticDrawGroup::NoDistanceTest, true, false},
    };
    for (const Case& c : cases) {
        City city(rec.facility.get());
        const float a = 30.0f * Pi / 180.0f;
        const Vector3 centre(std::sin(a) * c.distance, c.height, (c.behind ? -1.0f : 1.0f) * std::cos(a) * c.distance);
        // A group of radius 50 around the centre.
        const uint32_t v0 = city.Vertex(centre + Vector3(-30, 0, -40)), v1 = city.Vertex(centre + Vector3(-30, 0, 40));
        const uint32_t v2 = city.Vertex(centre + Vector3(30, 0, -40));
        city.Triangle(v0, v1, v2);
        city.Group(0, 0, c.flags);
        city.sg.groups[0].bounds.centre = centre;
        city.sg.groups[0].bounds.halfExtents = {30, 0, 40};
        city.sg.groups[0].radius = 50.0f;
        city.Prepare();
        EXPECT_EQ(city.sg.CullGroup(city.sg.groups[0], camera), c.queued) << c.what;
    }
}

// Two groups of one batch queued far one first: the nearer one's vertices take the first slots.
TEST_F(StaticGeometry, GathersTheNearestGroupFirst) {
    City city(rec.facility.get());
    city.UpTriangle(0, 400);
    city.Group(0, 0);
    city.UpTriangle(0, 100);
    city.Group(1, 0);
    city.Prepare();
    city.Frame(camera);
    ASSERT_EQ(city.sg.VerticesWritten(), 6u);
    EXPECT_EQ(city.FrameVertices()[0].position.z, 100.0f);
    EXPECT_EQ(city.FrameVertices()[3].position.z, 400.0f);
}

// Frames of 30,000 unshared vertices and indices: the vertex ring (65,536) wraps with a discard
// every other frame, the index ring (131,072) on its own schedule, each lock no-overwrite
// otherwise.
TEST_F(StaticGeometry, RingsWrapWithDiscardIndependently) {
    City city(rec.facility.get());
    for (int i = 0; i < 10000; ++i) city.UpTriangle(float(i % 100) - 50.0f, 100.0f + float(i / 100));
    city.Group(0, 0);
    city.Prepare();
    struct Expect {
        uint32_t vertexFirst;
        bool vertexDiscard;
        uint32_t indexFirst;
        bool indexDiscard;
    } frames[] = {{0, false, 0, false},          {30000, false, 30000, false}, {0, true, 60000, false},
                  {30000, false, 90000, false}, {0, true, 0, true},             {30000, false, 30000, false}};
    for (const Expect& e : frames) {
        rec.device->ClearCalls();
        city.Frame(camera);
        ASSERT_EQ(city.sg.IndicesWritten(), 30000u);
        std::vector<std::string> locks;
        for (const std::string& c : rec.device->calls)
            if (c.rfind("Lock ", 0) == 0) locks.push_back(c);
        ASSERT_EQ(locks.size(), 2u);
        char v[64], i[64];
        std::snprintf(v, sizeof v, "Lock %u %u %X", e.vertexFirst * 32, 30000u * 32, 0x800u | (e.vertexDiscard ? 0x2000u : 0x1000u));
        std::snprintf(i, sizeof i, "Lock %u %u %X", e.indexFirst * 2, 30000u * 2, 0x800u | (e.indexDiscard ? 0x2000u : 0x1000u));
        EXPECT_EQ(locks[0], v);
        EXPECT_EQ(locks[1], i);
        EXPECT_EQ(city.sg.FrameVertexBase(), e.vertexFirst);
        EXPECT_EQ(city.sg.FrameIndexBase(), e.indexFirst);
    }
}

// Three batches of three groups of 10,000 unshared triangles (270,000 vertices) in one frame:
// nothing is written past 65,536 vertices, every batch keeps its nearest group (the last one cut
// short), the line is logged once, and a frame with nothing visible draws nothing.
TEST_F(StaticGeometry, AFrameTooLargeKeepsEachBatchsNearestGroups) {
    City city(rec.facility.get());
    for (int batch = 0; batch < 3; ++batch)
        for (int g = 0; g < 3; ++g) {
            const uint32_t first = uint32_t(city.sg.triangles.size());
            const float z = 100.0f + 200.0f * float(2 - g) + 20.0f * float(batch);
            for (int i = 0; i < 10000; ++i) city.UpTriangle(float(i % 100) - 50.0f, z + float(i / 100) * 0.1f);
            city.Group(first, batch);
        }
    city.Prepare();
    testing_support::LogCapture log;
    rec.device->ClearCalls();
    city.Frame(camera);
    EXPECT_LE(city.sg.VerticesWritten(), StaticGeometryRenderer::VertexCapacity);
    EXPECT_GE(city.sg.VerticesWritten(), StaticGeometryRenderer::VertexCapacity - 3);
    // The vertex lock is the whole ring, never more.
    EXPECT_EQ(rec.device->Count("Lock 0 2097152 "), 1);
    const auto& ranges = city.sg.DrawRanges();
    ASSERT_EQ(ranges.size(), 3u);
    EXPECT_EQ(ranges[0].indexCount, 30000u);
    EXPECT_EQ(ranges[1].indexCount, 30000u);
    EXPECT_GT(ranges[2].indexCount, 0u);
    EXPECT_LT(ranges[2].indexCount, 30000u);
    // The nearest group of every batch lies at z 100 + 20 x batch.
    for (int b = 0; b < 3; ++b) {
        const uint16_t slot = city.FrameIndices()[ranges[size_t(b)].firstIndex];
        EXPECT_NEAR(city.FrameVertices()[slot].position.z, 100.0f + 20.0f * float(b), 1.0f) << b;
    }
    city.Frame(camera);
    int lines = 0;
    for (const std::string& l : log.Lines()) lines += l.find("More visible geometry") != std::string::npos;
    EXPECT_EQ(lines, 1);

    // Looking away: nothing queued, nothing drawn (not the last frame's ranges).
    Camera away = LookingCamera({0, 10, 0}, {0, 0, -1}, 64, 48, 1000.0f);
    city.Frame(away);
    EXPECT_EQ(city.sg.IndicesWritten(), 0u);
    for (const auto& r : city.sg.DrawRanges()) EXPECT_EQ(r.indexCount, 0u);
    rec.device->ClearCalls();
    city.sg.Draw(away);
    EXPECT_EQ(rec.device->Count("DrawIndexedPrimitive"), 0);
}

// A near group that adds fewer than three vertices or indices (an empty group, one of degenerate
// triangles, or one whose index count is not a whole number of triangles) is gathered like any
// other: the farther groups of its batch still reach the frame.
TEST_F(StaticGeometry, SmallOrOddGroupsDoNotEndTheirBatch) {
    enum Odd { Empty, Degenerate, PartialTriangle };
    for (Odd odd : {Empty, Degenerate, PartialTriangle}) {
        SCOPED_TRACE(int(odd));
        City city(rec.facility.get());
        if (odd == Degenerate) {
            const uint32_t a = city.Vertex({0, 0, 100}), b = city.Vertex({1, 0, 100});
            city.Triangle(a, a, b);
        } else {
            city.UpTriangle(0, 100);
        }
        city.Group(0, 0);
        city.UpTriangle(0, 400);
        city.Group(1, 0);
        StaticDrawGroup& near = city.sg.groups[0];
        if (odd == Empty) near.indexCount = 0;
        if (odd == PartialTriangle) near.indexCount = 4; // one triangle and a stray index
        near.bounds.centre = {0, 0, 100};
        near.bounds.halfExtents = {1, 1, 1};
        city.Prepare();
        city.Frame(camera);
        int far = 0;
        for (uint32_t i = 0; i < city.sg.IndicesWritten(); ++i) far += city.FrameVertices()[city.FrameIndices()[i]].position.z >= 400.0f;
        EXPECT_EQ(far, 3);
    }
}

// The dynamic buffers are made for software vertex processing on a device without hardware
// vertex processing, which the draw switches on around itself.
TEST(StaticGeometryBuffers, FollowTheDevicesVertexProcessing) {
    for (bool hardware : {true, false}) {
        gfx::Caps caps;
        caps.hardwareTnL = hardware;
        RecordingFacility rec(64, 48, caps);
        StaticGeometryRenderer sg(rec.facility.get());
        ASSERT_NE(sg.Vertices(), nullptr);
        ASSERT_NE(sg.Indices(), nullptr);
        EXPECT_EQ(sg.Vertices()->software, !hardware) << hardware;
        EXPECT_EQ(sg.Indices()->software, !hardware) << hardware;
    }
}

// A frame drawn through the world shaders: one upload of the shared constants, then per batch
// its two constants, its pass and one indexed draw of its range; fixed function without the
// shader files.
TEST_F(StaticGeometry, DrawsEachBatchWithItsConstantsAndRange) {
    testing_support::TempWorkDir dir;
    for (bool withShaders : {true, false}) {
        std::filesystem::remove_all("Misc");
        if (withShaders) {
            std::filesystem::create_directories("Misc");
            ASSERT_TRUE(tools::WriteWorldVertexShaders("Misc/"));
        }
        GameSession session;
        City city(rec.facility.get(), &session);
        EXPECT_EQ(city.sg.HasShaders(), withShaders);
        city.UpTriangle(0, 100);
        city.Group(0, 0);
        city.UpTriangle(5, 100);
        city.Group(1, 1);
        city.Prepare();
        city.Frame(camera);
        rec.device->ClearCalls();
        city.sg.Draw(camera);
        EXPECT_EQ(rec.device->Count("DrawIndexedPrimitive"), 2);
        EXPECT_EQ(rec.device->Count("SetVertexShaderConstant 0 23"), withShaders ? 1 : 0);
        EXPECT_EQ(rec.device->Count("SetVertexShaderConstant 19 2"), withShaders ? 2 : 0);
        // Fixed function: the device draws with the world vertex format itself.
        EXPECT_EQ(rec.device->Count("SetVertexShader 274"), withShaders ? 0 : 1);
        int draw = 0;
        for (const std::string& c : rec.device->calls)
            if (c.rfind("DrawIndexedPrimitive", 0) == 0) {
                char want[64];
                std::snprintf(want, sizeof want, "DrawIndexedPrimitive 4 %d 3 %u 1", draw * 3, city.sg.FrameIndexBase() + 3u * uint32_t(draw));
                EXPECT_EQ(c, want);
                ++draw;
            }
    }
}

// Every material the static city registers takes the renderer's material value in its
// diffuse-alpha word (the low byte is the diffuse alpha); a new value reaches the renderer at the
// next registration (a video-mode change).
TEST_F(StaticGeometry, EveryRegisteredMaterialTakesTheMaterialValue) {
    City city(rec.facility.get());
    EXPECT_EQ(city.sg.materialValue, 0xFFu) << "opaque unless set";
    city.UpTriangle(0, 100);
    city.Group(0, 0);
    city.UpTriangle(5, 100);
    city.Group(1, 1);
    const struct {
        uint32_t value;
        float alpha;
    } cases[] = {{0xFFu, 1.0f}, {0x80u, 128.0f / 255.0f}, {0x12345600u, 0.0f}, {0xFFFFFF40u, 64.0f / 255.0f}};
    for (const auto& c : cases) {
        city.sg.materialValue = c.value;
        city.Prepare();
        ASSERT_EQ(city.sg.renderMaterials.size(), 2u);
        for (Material* m : city.sg.renderMaterials) {
            ASSERT_NE(m, nullptr);
            EXPECT_FLOAT_EQ(m->record->diffuse[3], c.alpha) << std::hex << c.value;
        }
    }
}

} // namespace

namespace {

// Through the loader: a group whose material's colour C has alpha 0 is kept but never joins the
// quadtree, so no camera queues it; the other group of the same frame is drawn.
TEST_F(StaticGeometry, AGroupWithAnInvisibleConstantIsNeverQueued) {
    testing_support::TempWorkDir dir;
    tools::WorldFile w = FlatWorld(2000.0f);
    w.materials.push_back(w.materials[0]);
    w.materials[1].c.a = 0;
    const uint32_t first = uint32_t(w.vertices.size());
    for (const Vector3& p : {Vector3(-10, 5, 100), Vector3(-10, 5, 120), Vector3(10, 5, 120)})
        w.vertices.push_back({p, {0, 1, 0}, 0, 0});
    w.indices.insert(w.indices.end(), {first, first + 1, first + 2});
    w.groups.push_back({6, 3, 1, 0, 0});
    GameSession session;
    World world(session, engine.Services());
    ASSERT_FALSE(LoadWorld(world, w).failed);
    const StaticGeometryRenderer& sg = *world.staticGeometry;
    ASSERT_EQ(sg.groups.size(), 2u);
    EXPECT_NE(sg.groups[0].block, nullptr);
    EXPECT_EQ(sg.groups[1].block, nullptr);
    world.Cull(camera);
    ASSERT_EQ(sg.DrawRanges().size(), 2u);
    EXPECT_GT(sg.DrawRanges()[0].indexCount, 0u);
    EXPECT_EQ(sg.DrawRanges()[1].indexCount, 0u);
}

} // namespace
