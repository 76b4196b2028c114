#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <functional>

#include "engine/core/FileStream.h"
#include "tests/support/EngineDoubles.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/ZktWriter.h"

using namespace world_testing;
using tools::WorldFile;

namespace {

class WorldFileTest : public ::testing::Test {
protected:
    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
    GameSession session;
};

WorldFile SmallCity() {
    tools::CityOptions o;
    o.blocks = 3;
    o.drawGroups = 0;
    return tools::GenerateCity(o);
}

} // namespace

TEST_F(WorldFileTest, GeneratedCityRoundTrips) {
    const WorldFile file = SmallCity();
    World world(session, testing_support::NoEngine());
    const LoadResult r = LoadWorld(world, file);
    ASSERT_FALSE(r.failed) << ::testing::PrintToString(log.Lines());
    // One call for the count, one per texture, one for the shadow texture.
    EXPECT_EQ(r.calls[1], int(file.textures.size()) + 2);
    for (int s : {0, 2, 3, 4, 5}) EXPECT_EQ(r.calls[s], 1);
    EXPECT_FALSE(world.WorldFileOpen());
    EXPECT_EQ(world.BytesRead(), world.FileSize());

    const StaticGeometryRenderer& sg = *world.staticGeometry;
    EXPECT_EQ(sg.materials.size(), file.materials.size());
    EXPECT_EQ(sg.vertices.size(), file.vertices.size());
    EXPECT_EQ(sg.triangles.size(), file.indices.size() / 3);
    EXPECT_EQ(sg.groups.size(), file.groups.size());
    EXPECT_EQ(world.boundary->TriangleCount(), int32_t(file.collisionTriangles.size()));
    EXPECT_EQ(world.surfaces.size(), file.collisionTriangles.size());
    EXPECT_EQ(world.surfaces[0].fileName, SharedString("Road.WAV"));
    // The city and the wall round it, 40 thick outwards.
    const float half = 0.5f * (3 * 800 + 4 * 160) + 40;
    EXPECT_NEAR(world.worldBox.halfExtents.x, half, 1e-3);
    EXPECT_EQ(world.objects->ObjectCount(), int32_t(file.objects.size()));
    EXPECT_EQ(world.graphs.traffic->Count(), int32_t(file.trafficGraph.nodes.size()));
    EXPECT_EQ(world.graphs.pedestrian->Count(), 72);
    EXPECT_EQ(world.graphs.path->Count(), 8);
    EXPECT_EQ(world.dropPoints.size(), 6u);
    EXPECT_EQ(world.dropPoints[0].marker->distanceClass, 0);
    EXPECT_EQ(world.respawnZones.size(), 2u);
    EXPECT_EQ(world.waterVolumes.size(), 1u);
    EXPECT_EQ(world.records.trafficLights.size(), 2u);
    EXPECT_EQ(world.records.lights.size(), 28u);
    EXPECT_TRUE(world.records.lights[0].ground[0].hit);
    EXPECT_NEAR(world.records.lights[0].ground[0].point.y, 2.0f + 1.6f, 1e-3);
    EXPECT_EQ(world.records.crates.size(), 6u);
    EXPECT_EQ(world.records.emitters.size(), 2u);
    // Three parked cars for the first mission and three for the free drive.
    ASSERT_EQ(world.placements.parkedCars().size(), 6u);
    for (size_t i = 0; i < 6; ++i) EXPECT_EQ(world.placements.parkedCars()[i].mission, i < 3 ? 0 : 8);
    EXPECT_TRUE(world.records.pathObjects[0].inTree);
    EXPECT_EQ(world.records.pathObjects[0].model, SharedString("Models\\A.ZKM"));
    // Light-controlled nodes and the restricted lanes of the road block.
    int controlled = 0, restricted = 0;
    for (const RoadNode& node : world.graphs.traffic->nodes) {
        controlled += (node.occupancy & RoadNode::LightControlled) != 0;
        restricted += (node.occupancy & RoadNode::Restricted) != 0;
    }
    EXPECT_EQ(controlled, 8);
    EXPECT_EQ(restricted, 10);
    EXPECT_TRUE(log.Contains("No factory for crate records; 6 kept"));
}

TEST_F(WorldFileTest, KindsBoxesAndDistanceClasses) {
    WorldFile file = FlatWorld();
    const uint32_t small = AddKind(file, {0.1f, 2.0f, 3.0f}, 0x04, 10.0f);
    // Bounds of kinds without a box come from their mesh vertices, without the 1.01 margin.
    const uint32_t big = AddKind(file, {300, 10, 10}, 0x00, 0.0f);
    const uint32_t mid = AddKind(file, {300.5f, 10, 10}, 0x00, 0.0f);
    const uint32_t hundred = AddKind(file, {100, 10, 10}, 0x00, 0.0f);
    const uint32_t heavy = AddKind(file, {5, 5, 5}, 0x04, -10.0f);
    for (uint32_t k : {small, big, mid, hundred, heavy}) Place(file, k, {0, 50, float(k) * 20});
    World world(session, testing_support::NoEngine());
    ASSERT_FALSE(LoadWorld(world, file).failed);
    const WorldObjectKind& s = world.objects->Kinds()[small];
    EXPECT_FLOAT_EQ(s.halfExtents.x, 0.5f);
    EXPECT_FLOAT_EQ(s.halfExtents.y, 2.02f);
    EXPECT_FLOAT_EQ(s.halfExtents.z, 3.03f);
    EXPECT_FLOAT_EQ(s.mass, 1.0f);
    EXPECT_NE(world.objects->Object(int32_t(small)).Geom(), nullptr);
    EXPECT_EQ(world.objects->Object(int32_t(big)).distanceClass, 1);
    EXPECT_EQ(world.objects->Object(int32_t(mid)).distanceClass, 0);
    EXPECT_EQ(world.objects->Object(int32_t(hundred)).distanceClass, 3);
    // File mass -10 is the immovable sentinel: a pure visual.
    EXPECT_EQ(world.objects->Kinds()[heavy].mass, WorldObjectKind::Immovable);
    EXPECT_EQ(world.objects->Object(int32_t(heavy)).Geom(), nullptr);
}

TEST_F(WorldFileTest, TheGroundProbeTakesTheFlattestSurfaceUnderALamp) {
    // A slope (normal y just under 1) above the flat ground: the light pool goes on the ground.
    WorldFile file = FlatWorld();
    const uint32_t base = uint32_t(file.collisionVertices.size());
    for (const Vector3& p : {Vector3(-100, 40, -100), Vector3(-100, 60, 100), Vector3(100, 60, 100)})
        file.collisionVertices.push_back(p);
    file.collisionTriangles.push_back({{base, base + 1, base + 2}, 0});
    file.soundNames.push_back({"Road", 0});
    const uint32_t lamp = AddKind(file, {1, 1, 1}, 0x00, 0.0f);
    Place(file, lamp, {-50, 90, 50});
    file.worldLights.push_back({{Vector3()}, 0});
    World world(session, testing_support::NoEngine());
    ASSERT_FALSE(LoadWorld(world, file).failed) << ::testing::PrintToString(log.Lines());
    ASSERT_EQ(world.records.lights.size(), 1u);
    const GroundProbe& g = world.records.lights[0].ground[0];
    ASSERT_TRUE(g.hit);
    EXPECT_EQ(g.geom, world.boundary.get());
    EXPECT_NEAR(g.point.y, 1.6f, 1e-3);
    EXPECT_NEAR(g.normal.y, 1.0f, 1e-5);
}

TEST_F(WorldFileTest, CratesPathsAndTheMissionTable) {
    WorldFile file = FlatWorld();
    const uint32_t k = AddKind(file, {10, 10, 10}, 0x04, 10.0f);
    for (int i = 0; i < 4; ++i) Place(file, k, {float(i) * 50, 10, 0});
    file.crates = {{6, 0}, {99, 1}, {2, 2}, {3, 17}};
    file.pathGraph.nodes.resize(10002);
    file.pathObjects = {{0, {0, 1}}, {2, {0, 1, 2}}, {3, {0, 1, 10002}}, {26, {0, 1, 2}}, {4, {0, 1, 10001}}};
    // A junction whose second phase has no light of its own still takes its turn.
    file.trafficGraph.nodes.resize(1);
    file.trafficLights = {{{{0, 0}}, {}}};
    auto placement = [](int mission, int episode, const char* name) {
        WorldFile::Placement p;
        p.name = name;
        p.mission = mission;
        p.episode = episode;
        return p;
    };
    file.placements2 = {placement(0, 0, "a"), placement(7, 3, "b"), placement(8, 0, "stop"), placement(1, 1, "lost")};
    file.placements1 = {placement(2, 1, "c"), placement(0, 4, "stop")};

    std::srand(1234);
    World first(session, testing_support::NoEngine());
    ASSERT_FALSE(LoadWorld(first, file).failed);
    ASSERT_EQ(first.records.crates.size(), 3u); // the one on object 17 is skipped
    EXPECT_TRUE(log.Contains("crate 3: placed object 17 does not exist"));
    EXPECT_NE(first.records.crates[0].type, 6);
    EXPECT_LE(first.records.crates[1].type, 11);
    EXPECT_EQ(first.records.crates[2].type, 2);
    std::srand(1234);
    World second(session, testing_support::NoEngine());
    ASSERT_FALSE(LoadWorld(second, file).failed);
    EXPECT_EQ(second.records.crates[0].type, first.records.crates[0].type);
    EXPECT_EQ(second.records.crates[1].type, first.records.crates[1].type);

    // Two nodes: made but kept out of the tree; node 10002 is not in the graph; letter 26 is no
    // letter; a node above 10000 keeps its object out of the tree.
    ASSERT_EQ(first.records.pathObjects.size(), 3u);
    EXPECT_FALSE(first.records.pathObjects[0].inTree);
    EXPECT_TRUE(first.records.pathObjects[1].inTree);
    EXPECT_EQ(first.records.pathObjects[1].model, SharedString("Models\\C.ZKM"));
    EXPECT_FALSE(first.records.pathObjects[2].inTree);
    EXPECT_EQ(first.records.pathObjects[2].model, SharedString("Models\\E.ZKM"));
    ASSERT_EQ(first.records.trafficLights.size(), 1u);
    ASSERT_EQ(first.records.trafficLights[0].groups.size(), 2u);
    EXPECT_TRUE(first.records.trafficLights[0].groups[1].empty());

    ASSERT_EQ(first.missionTable.missions.size(), 8u);
    EXPECT_EQ(first.missionTable.At(0, 0)->placements.size(), 1u);
    EXPECT_EQ(first.missionTable.At(7, 3)->placements.size(), 1u);
    EXPECT_TRUE(first.missionTable.At(1, 1)->placements.empty()); // after the mission-8 record
    EXPECT_EQ(first.missionTable.At(2, 1)->spots.size(), 1u);
}

TEST_F(WorldFileTest, CameraRecordsFileSortAndTruncation) {
    std::vector<CameraRecord> records(5);
    const int indices[5] = {2, 0, 2, 1, 0};
    for (int i = 0; i < 5; ++i) {
        records[size_t(i)].index = indices[i];
        records[size_t(i)].time = float(i);
        records[size_t(i)].sample = i == 1 ? SharedString() : SharedString("Shot.WAV");
    }
    records[4].mission = 9; // ends the filing
    std::filesystem::create_directories("Misc");
    ASSERT_TRUE(tools::WriteCameraData("Misc/CameraData.cut", records));
    World world(session, testing_support::NoEngine());
    ASSERT_FALSE(LoadWorld(world, FlatWorld()).failed);
    const auto& cams = world.missionTable.At(0, 0)->cameras;
    ASSERT_EQ(cams.size(), 4u);
    const float times[4] = {1, 3, 0, 2}; // index 0, 1, then the two 2s in file order
    for (int i = 0; i < 4; ++i) EXPECT_EQ(cams[size_t(i)].time, times[i]);
    EXPECT_EQ(cams[0].sample.Length(), 0);

    // A file cut inside its third record keeps the first two.
    std::vector<uint8_t> bytes = tools::CameraDataBytes(records);
    bytes.resize(4 + 56 + 48 + 30); // inside the third record
    tools::WriteFileBytes(SharedString("Misc/CameraData.cut"), bytes);
    std::vector<CameraRecord> back;
    FileReader in(SharedString("Misc/CameraData.cut"));
    EXPECT_FALSE(ReadCameraRecords(in, back));
    EXPECT_EQ(back.size(), 2u);
    // An empty list.
    tools::WriteCameraData("Misc/CameraData.cut", {});
    FileReader empty(SharedString("Misc/CameraData.cut"));
    EXPECT_TRUE(ReadCameraRecords(empty, back));
    EXPECT_TRUE(back.empty());
}

TEST_F(WorldFileTest, SkyFlarePointsFromTheCssFiles) {
    std::filesystem::create_directories("Misc");
    tools::WriteCss("Misc/0.CSS", {1, 2, 3});
    std::vector<uint8_t> shortFile = tools::CssBytes({1, 2, 3});
    shortFile.pop_back();
    tools::WriteFileBytes(SharedString("Misc/1.CSS"), shortFile);
    std::vector<uint8_t> foreign = tools::CssBytes({1, 2, 3});
    foreign[0] = 'X';
    tools::WriteFileBytes(SharedString("Misc/2.CSS"), foreign);
    World world(session, testing_support::NoEngine());
    EXPECT_TRUE(world.skies[0].hasFlarePoint);
    EXPECT_EQ(world.skies[0].flarePoint, Vector3(1, 2, 3));
    EXPECT_FALSE(world.skies[1].hasFlarePoint);
    EXPECT_FALSE(world.skies[2].hasFlarePoint);
    EXPECT_FALSE(world.skies[3].hasFlarePoint);
}

TEST_F(WorldFileTest, CorruptionFailsOrSkipsWithALine) {
    struct Case {
        const char* name;
        std::function<void(WorldFile&)> mutate;
        bool fails;
        const char* line;
    };
    const Case cases[] = {
        {"no textures", [](WorldFile& w) { w.textures.clear(); w.materials[0].texture = -1; }, false, nullptr},
        {"no collision triangles", [](WorldFile& w) { w.collisionTriangles.clear(); w.soundNames.clear(); }, true,
         "collision triangles: no collision triangles"},
        {"two collision vertices", [](WorldFile& w) { w.collisionVertices.resize(2); }, true,
         "fewer than three collision vertices"},
        {"static texture index", [](WorldFile& w) { w.materials[0].texture = 5; }, true,
         "static materials record 0: texture index outside"},
        {"render vertex index", [](WorldFile& w) { w.indices[4] = 99; }, true, "render triangles record 1"},
        {"group material", [](WorldFile& w) { w.groups[0].material = 3; }, true, "draw groups record 0"},
        {"collision index", [](WorldFile& w) { w.collisionTriangles[1].v[2] = 4; }, true, "collision triangles record 1"},
        {"sound name count", [](WorldFile& w) { w.soundNames.pop_back(); }, false, "1 sound names for 2 collision"},
        {"kind index", [](WorldFile& w) { w.objects[0].kind = 40; }, false, "placed objects record 0: kind index"},
        {"kind mesh", [](WorldFile& w) { w.kinds[0].mesh = 7; }, false, "object kinds record 0: mesh index"},
        {"kind material", [](WorldFile& w) { w.kinds[0].parts[0].material = 9; }, false, "material index outside"},
        {"kind range", [](WorldFile& w) { w.kinds[0].parts[0].range[1] = 60; }, false, "draw range outside"},
        {"kind box", [](WorldFile& w) { w.kinds[0].box = 3; }, false, "box index outside"},
        {"hit sound -3", [](WorldFile& w) { w.kinds[0].hitSound = -3; }, false, "hit sound outside"},
        {"mass 0", [](WorldFile& w) { w.kinds[0].mass = 0.0f; }, false, "mass not a positive number"},
        {"zero quaternion", [](WorldFile& w) { w.objects[0].pose.orientation = Quaternion(0, 0, 0, 0); }, false,
         "zero or invalid rotation"},
        {"mesh index", [](WorldFile& w) { w.meshes[0].indices[0] = 50; }, false, "vertex index outside the mesh"},
        {"graph link", [](WorldFile& w) { w.trafficGraph.nodes[0].links.push_back(9); }, false, "1 links to missing"},
        {"empty controller", [](WorldFile& w) { w.trafficLights.push_back({{}, {}}); }, false, "controller without lights"},
        {"light node", [](WorldFile& w) { w.trafficLights.push_back({{{5, 0}}}); }, false, "traffic light node outside"},
        {"drop point object", [](WorldFile& w) { w.dropPoints.push_back({"Nowhere", 12, {}}); }, false,
         "drop point 0: placed object 12"},
        {"path letter", [](WorldFile& w) { w.pathObjects.push_back({30, {}}); }, false, "model letter outside"},
        {"path route", [](WorldFile& w) { w.pathObjects.push_back({0, {4}}); }, false, "route node outside"},
        {"count 0xFFFFFFFF", [](WorldFile& w) { w.version = 7; w.extraWords = {1}; }, true, "count 4294967295"},
        {"string length", [](WorldFile& w) { w.emitters.push_back({std::string(5000, 'x'), {}, 0, 0, 0}); }, true,
         "string length beyond"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WorldFile file = FlatWorld();
        AddKind(file, {5, 5, 5}, 0x04, 10.0f, 1);
        Place(file, 0, {0, 10, 0});
        file.trafficGraph.nodes.resize(2);
        c.mutate(file);
        std::vector<uint8_t> bytes = tools::WorldBytes(file);
        if (std::string(c.name) == "count 0xFFFFFFFF") {
            // The extra-word count is the last u32 before the object sections; make it huge.
            const std::vector<uint8_t> marker = {1, 0, 0, 0, 1, 0, 0, 0};
            auto it = std::search(bytes.begin(), bytes.end(), marker.begin(), marker.end());
            ASSERT_NE(it, bytes.end());
            std::fill(it, it + 4, uint8_t(0xFF));
        }
        log.Clear();
        World world(session, testing_support::NoEngine());
        EXPECT_EQ(LoadBytes(world, bytes).failed, c.fails) << ::testing::PrintToString(log.Lines());
        if (c.line) {
            EXPECT_TRUE(log.Contains(c.line)) << ::testing::PrintToString(log.Lines());
        }
    }
}

TEST_F(WorldFileTest, HeadersAndTruncationsNeverCrash) {
    World none(session, testing_support::NoEngine());
    EXPECT_TRUE(none.LoadHeader());
    EXPECT_TRUE(none.LoadFailed());
    EXPECT_TRUE(log.Contains("Failed loading world"));
    // Later steps do nothing after a failure.
    EXPECT_TRUE(none.LoadShadowTexture());

    WorldFile file = SmallCity();
    std::vector<uint8_t> bytes = tools::WorldBytes(file);
    std::vector<uint8_t> foreign = bytes;
    foreign[1] = 'X';
    {
        World w(session, testing_support::NoEngine());
        EXPECT_TRUE(LoadBytes(w, foreign).failed);
        EXPECT_TRUE(log.Contains("World is NOT a VQW file"));
    }
    for (uint32_t version : {15u, 3u}) {
        file.version = version;
        log.Clear();
        World w(session, testing_support::NoEngine());
        EXPECT_FALSE(LoadWorld(w, file).failed);
        EXPECT_TRUE(log.Contains(version == 15 ? "Warning: World is obsolete. Version 7 is required"
                                               : "Warning: World is not a valid VQW file"));
    }
    // Cut at many points: every step ends, the load fails with a line, nothing crashes.
    for (size_t cut = 1; cut < bytes.size(); cut += bytes.size() / 37 + 1) {
        std::vector<uint8_t> part(bytes.begin(), bytes.begin() + ptrdiff_t(cut));
        log.Clear();
        World w(session, testing_support::NoEngine());
        EXPECT_TRUE(LoadBytes(w, part).failed) << cut;
        EXPECT_FALSE(w.WorldFileOpen());
    }
}
