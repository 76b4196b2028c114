// .ZKM and .ZKA reading: a hand-built file read field by field, the reader's corrections
// (texture names, the environment cube, grouped parts, models without collision meshes),
// and refusal of short, cut, lying and too deeply nested files with their messages.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "engine/core/Memory.h"
#include "engine/render/BoneAnimation.h"
#include "engine/render/TextureTypes.h"
#include "engine/render/ZkmFormat.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/MeshWriter.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

// Hands out one distinct handle per texture load and a cube handle when asked to have one.
class FakeTextures : public zkm::TextureSource {
public:
    TextureHandle* Load(const SharedString& name, bool share) override {
        loaded.push_back(std::string(name.View()));
        shared.push_back(share);
        handles.push_back(std::make_unique<TextureHandle>());
        return handles.back().get();
    }
    TextureHandle* EnvironmentCube() override {
        ++cubeRequests;
        return haveCube ? &cube : nullptr;
    }
    TextureHandle* Handle(size_t i) { return handles[i].get(); }

    std::vector<std::string> loaded;
    std::vector<bool> shared;
    std::vector<std::unique_ptr<TextureHandle>> handles;
    TextureHandle cube;
    bool haveCube = false;
    int cubeRequests = 0;
};

std::string Str(const std::vector<uint8_t>& b) { return std::string(b.begin(), b.end()); }

struct Loaded {
    bool ok = false;
    MeshRecord record;
};

Loaded ReadBytes(TempWorkDir& dir, const std::vector<uint8_t>& bytes, FakeTextures& textures, bool share = true) {
    dir.WriteBytes("Model.ZKM", Str(bytes));
    Loaded l;
    l.record.name = "Model.ZKM";
    l.record.share = share ? 1 : 0;
    l.ok = zkm::ReadMesh(l.record, textures);
    return l;
}

tools::ZkmVertex V(float x, float y, float z) {
    tools::ZkmVertex v;
    v.position = {x, y, z};
    v.normal = {0, 0, -1};
    return v;
}

// One textured triangle in a node with its own collision mesh and one direct part.
tools::ZkmModel Triangle() {
    tools::ZkmModel m;
    m.textures = {"Tri.ZKT"};
    m.materials.resize(1);
    m.materials[0].textures[0] = 0;
    m.shaders.resize(1);
    m.vertices = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0)};
    m.indices = {0, 1, 2};
    tools::ZkmNode n;
    n.name = "Body";
    n.collisionPositions = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    n.collisionIndices = {0, 1, 2};
    tools::ZkmPart p;
    p.ranges = {{0, 3, 0, 3}};
    n.parts = {p};
    m.nodes = {n};
    return m;
}

class MeshFile : public ::testing::Test {
protected:
    TempWorkDir dir;
    FakeTextures textures;
    LogCapture log;
};

// Bytes put down one by one as the format lays them out, independent of the writer.
class Golden {
public:
    Golden& Raw(std::initializer_list<uint8_t> v) { b.insert(b.end(), v); return *this; }
    Golden& U32(uint32_t v) { for (int i = 0; i < 4; ++i) b.push_back(uint8_t(v >> (8 * i))); return *this; }
    Golden& F(float f) { uint32_t v; memcpy(&v, &f, 4); return U32(v); }
    Golden& S(const std::string& s) { U32(uint32_t(s.size())); b.insert(b.end(), s.begin(), s.end()); return *this; }
    std::vector<uint8_t> b;
};

TEST_F(MeshFile, AHandBuiltFileReadsFieldByField) {
    Golden g;
    g.Raw({'Z', 'K', '2'}).U32(0x50);
    g.U32(2).S("Models\\wall.TGA.ZKT").S("dir\\roof.zkt");  // textures
    g.U32(1)                                               // one material
        .Raw({10, 20, 30, 40}).F(8.0f).Raw({50, 60, 70, 80})
        .U32(1).U32(0xFFFFFFFFu).U32(0).U32(0xFFFFFFFFu).U32(0xFFFFFFFFu).U32(0xFFFFFFFFu)
        .U32(0xABCDEF99u)   // diffuse alpha 0x99
        .U32(0x44332211u);  // specular a 0x11, r 0x22, g 0x33, b 0x44
    g.U32(1);  // one shader record
    g.Raw({1, 0, 1, 0xFE, 9, 1, 2, 0xFF, 3, 5, 1, 4, 0x80, 3});
    for (int s = 0; s < 8; ++s) g.Raw({uint8_t(s), 2, 1, 3, 4, 0xFF, uint8_t(0x20 + s), uint8_t(s & 1)});
    g.U32(1).S("Glow   ");  // a slot name with trailing blanks
    g.U32(3);
    const float xyz[3][3] = {{0, 0, 0}, {2, 0, 0}, {0, 2, 0}};
    for (int v = 0; v < 3; ++v)
        g.F(xyz[v][0]).F(xyz[v][1]).F(xyz[v][2]).F(0).F(0).F(-1).U32(0xDEADBEEFu).U32(7).F(0.25f * float(v)).F(0.5f);
    g.U32(3).U32(0).U32(1).U32(2);
    g.U32(1).S("Hull").F(1).F(2).F(3).F(0).F(0).F(0).F(1).U32(4 | 1).F(5).F(6).F(7).F(8);
    for (int i = 0; i < 19; ++i) g.F(float(i));
    g.U32(1).F(4).F(5).F(6).U32(3).U32(0).U32(0).U32(0);
    g.U32(1).U32(0).U32(0).U32(0).Raw({0xFE}).U32(1).U32(0).U32(3).U32(0).U32(3);  // direct part
    g.U32(1).S("Root").U32(2).U32(0).U32(2).U32(1).S("Tip").U32(0).U32(0);         // bones
    g.U32(1).S("Exhaust").F(1).F(0).F(0).F(0).F(1).F(0);                               // marker

    Loaded l = ReadBytes(dir, g.b, textures, false);
    ASSERT_TRUE(l.ok);
    const MeshRecord& r = l.record;
    EXPECT_EQ(textures.loaded, (std::vector<std::string>{"wall.ZKT", "roof.zkt"}));
    EXPECT_EQ(textures.shared, (std::vector<bool>{false, false}));
    ASSERT_EQ(r.materials.size(), 1u);
    const MaterialDescription& m = r.materials[0];
    EXPECT_EQ(m.ambient, Color::FromBytes(10, 20, 30, 40));
    EXPECT_EQ(m.emissive, Color::FromBytes(50, 60, 70, 80));
    EXPECT_EQ(m.power, 8.0f);
    EXPECT_EQ(m.textures[0], textures.Handle(1));
    EXPECT_EQ(m.textures[1], nullptr);
    EXPECT_EQ(m.textures[2], textures.Handle(0));
    EXPECT_EQ(m.textures[6], nullptr);
    EXPECT_EQ(m.diffuseAlpha, 0x99);
    EXPECT_EQ(m.specularColor, Color::FromBytes(0x22, 0x33, 0x44, 0x11));
    EXPECT_EQ(r.textureNames, (std::vector<SharedString>{"roof.zkt"}));
    ASSERT_EQ(r.shaders.size(), 1u);
    const ShaderDescription& d = r.shaders[0];
    EXPECT_EQ(d.lighting, 1);
    EXPECT_EQ(d.zWrite, 1);
    EXPECT_EQ(d.zFunc, -2);
    EXPECT_EQ(d.zParam, 9);
    EXPECT_EQ(d.stencilPass, 0xFFFFFFFFu);
    EXPECT_EQ(d.stencilFunc, 3);
    EXPECT_EQ(d.alphaFunc, 5);
    EXPECT_EQ(d.dstBlend, 0xFFFFFF80u);
    EXPECT_EQ(d.stageMask, 3);
    EXPECT_EQ(d.stages[5].colorOp, 5u);
    EXPECT_EQ(d.stages[5].alphaArg2, 0xFFFFFFFFu);
    EXPECT_EQ(d.stages[5].texCoord, 0x25u);
    EXPECT_EQ(d.stages[5].useTextureMatrix, 1);
    EXPECT_EQ(d.stages[4].useTextureMatrix, 0);
    ASSERT_EQ(r.slots.size(), 1u);
    EXPECT_EQ(r.slots[0].name, "Glow");
    EXPECT_EQ(r.slots[0].vars->textureFactor, 0xFFFFFFFFu);
    ASSERT_EQ(r.vertices.size(), 3u);
    EXPECT_EQ(r.vertices[1].position, Vector3(2, 0, 0));
    EXPECT_EQ(r.vertices[2].u, 0.5f);
    EXPECT_EQ(r.vertices[2].v, 0.5f);
    EXPECT_EQ(r.indices, (TrackedVector<uint32_t>{0, 1, 2}));
    ASSERT_EQ(r.nodes.size(), 1u);
    const MeshNode& n = r.nodes[0];
    EXPECT_EQ(n.name, "Hull");
    EXPECT_EQ(n.position, Vector3(1, 2, 3));
    EXPECT_EQ(n.flags, 5u);
    EXPECT_EQ(n.values[3], 8.0f);
    EXPECT_EQ(n.transform.matrix.m[3][3], 15.0f);
    EXPECT_EQ(n.transform.extra[2], 18.0f);
    EXPECT_EQ(n.collisionPositions, (TrackedVector<Vector3>{{4, 5, 6}}));
    EXPECT_EQ(n.collisionIndices, (TrackedVector<uint32_t>{0, 0, 0}));
    ASSERT_EQ(n.parts.size(), 1u);
    EXPECT_EQ(n.parts[0].parameter, -2);
    EXPECT_EQ(n.parts[0].materialIndex, 0u);
    EXPECT_EQ(n.parts[0].shaderVars, r.slots[0].vars);
    ASSERT_EQ(n.parts[0].ranges.size(), 1u);
    EXPECT_EQ(n.parts[0].ranges[0].indexCount, 3u);
    ASSERT_EQ(n.boneTrees.size(), 1u);
    EXPECT_EQ(n.boneTrees[0]->name, "Root");
    EXPECT_EQ(n.boneTrees[0]->vertices, (std::vector<uint32_t>{0, 2}));
    ASSERT_EQ(n.boneTrees[0]->children.size(), 1u);
    EXPECT_EQ(n.boneTrees[0]->children[0]->name, "Tip");
    ASSERT_EQ(r.markers.size(), 1u);
    EXPECT_EQ(r.markers[0].name, "Exhaust");
    EXPECT_EQ(r.markers[0].second, Vector3(0, 1, 0));
}

// The record's point, normal and index arrays are the engine's containers: with AUTOMEMREPORT
// on, their blocks are logged as they are taken and given back; with it off nothing is.
TEST_F(MeshFile, AutoMemoryReportLogsTheRecordsArrays) {
    const std::vector<uint8_t> bytes = tools::ZkmBytes(Triangle());
    {
        Loaded quiet = ReadBytes(dir, bytes, textures);
        ASSERT_TRUE(quiet.ok);
    }
    for (const std::string& line : log.Lines()) EXPECT_EQ(line.find("Alloc"), std::string::npos) << line;
    log.Clear();
    SetAutoMemoryReport(true);
    {
        Loaded l = ReadBytes(dir, bytes, textures);
        EXPECT_TRUE(l.ok);
    }
    SetAutoMemoryReport(false);
    const std::vector<std::string> lines = log.Lines();
    // 3 vertices of 32 bytes, 3 indices, 3 collision points of 12 bytes and their 3 indices.
    auto count = [&](const std::string& prefix) {
        int n = 0;
        for (const std::string& line : lines) n += line.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    };
    EXPECT_EQ(count("Allocating 96. Total Alloc = "), 1);
    EXPECT_EQ(count("Allocating 36. Total Alloc = "), 1);
    EXPECT_GE(count("Allocating 12. Total Alloc = "), 2);
    EXPECT_EQ(count("Freeing 96. Total Alloc = "), 1);
    EXPECT_EQ(count("Allocating "), count("Freeing "));
    for (const std::string& line : lines) {
        int size = -1, total = -1;
        const bool allocating = sscanf(line.c_str(), "Allocating %d. Total Alloc = %d", &size, &total) == 2;
        if (allocating || sscanf(line.c_str(), "Freeing %d. Total Alloc = %d", &size, &total) == 2) {
            EXPECT_GT(size, 0) << line;
            EXPECT_GE(total, allocating ? size : 0) << line;
        }
    }
}

TEST_F(MeshFile, HeadersThatAreRefusedLeaveTheRecordAlone) {
    std::vector<uint8_t> good = tools::ZkmBytes(Triangle());
    std::vector<uint8_t> nineBytes(good.begin(), good.begin() + 9), magic = good, version = good;
    magic[1] = 'X';
    version[3] = 0x4F;
    const struct {
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {{nineBytes, "Model.ZKM is NOT a ZKM file"},
                 {magic, "Model.ZKM is NOT a ZKM file"},
                 {version, "Model.ZKM is obsolete! Only 5th generation ZKM files are supported."}};
    for (const auto& c : cases) {
        log.Clear();
        Loaded l = ReadBytes(dir, c.bytes, textures);
        EXPECT_FALSE(l.ok) << c.message;
        EXPECT_TRUE(log.Contains(c.message)) << c.message;
        EXPECT_TRUE(l.record.nodes.empty());
        EXPECT_TRUE(textures.loaded.empty());
    }
    // A missing file is no ZKM file either.
    MeshRecord r;
    r.name = "Nowhere.ZKM";
    EXPECT_FALSE(zkm::ReadMesh(r, textures));
}

TEST(MeshTextureNames, TgaSuffixAndFoldersGo) {
    const struct { const char* stored; const char* name; } cases[] = {
        {"Models\\wall.TGA.ZKT", "wall.ZKT"}, {"dir\\wall.ZKT", "wall.ZKT"}, {"a\\b\\x.tga.zkt", "x.tga.zkt"},
        {"plain.ZKT", "plain.ZKT"}, {".TGA.ZKT", ".ZKT"}, {"dir\\", ""}};
    for (const auto& c : cases) EXPECT_EQ(zkm::TextureFileName(c.stored), c.name) << c.stored;
}

TEST_F(MeshFile, CubeReferencesAndTheForceEnvironmentFlag) {
    tools::ZkmModel m = Triangle();
    m.textures = {"A.ZKT", "B.ZKT", "C.ZKT", "D.ZKT", "E.ZKT", "F.ZKT"};
    m.materials[0].textures[0] = 0x10003;  // cube when there is one, else texture 3
    m.materials[0].textures[1] = 5;
    m.materials[0].textures[2] = 0xFFFE0002u;  // bits above 16 are ignored
    const struct {
        bool haveCube, force;
        int stage0, stage1;  // texture index, or -1 for the cube
    } cases[] = {{true, false, -1, 5}, {false, false, 3, 5}, {true, true, -1, -1}, {false, true, 3, 5}};
    for (const auto& c : cases) {
        FakeTextures t;
        t.haveCube = c.haveCube;
        ForceEnvironmentFlag = c.force ? 1 : 0;
        Loaded l = ReadBytes(dir, tools::ZkmBytes(m), t);
        ForceEnvironmentFlag = 0;
        ASSERT_TRUE(l.ok);
        auto expect = [&](int stage, int want) {
            TextureHandle* h = l.record.materials[0].textures[stage];
            EXPECT_EQ(h, want < 0 ? &t.cube : t.Handle(size_t(want)))
                << "stage " << stage << " cube " << c.haveCube << " force " << c.force;
        };
        expect(0, c.stage0);
        expect(1, c.stage1);
        expect(2, 2);
        // Only a file texture on stage 0 names the material's texture.
        EXPECT_EQ(l.record.textureNames[0], c.stage0 < 0 ? "" : "D.ZKT");
    }
}

TEST_F(MeshFile, GroupedPartsMoveTheirVerticesOncePerRange) {
    tools::ZkmModel m = Triangle();
    m.vertices.push_back(V(5, 5, 5));
    m.nodes[0].flags = 0;
    tools::ZkmGroup g;
    g.name = "Wheel";
    g.position = {10, 0, 0};
    g.rotation = Quaternion(Vector3(0, 0, 1), HalfPi);  // a quarter turn about z
    tools::ZkmPart p;
    p.material = 0;
    p.parameter = 77;
    p.ranges = {{0, 3, 0, 2}, {0, 3, 1, 1}};  // vertex 1 is covered twice
    g.parts = {p};
    m.nodes[0].groups = {g};
    Loaded l = ReadBytes(dir, tools::ZkmBytes(m), textures);
    ASSERT_TRUE(l.ok);
    const auto& v = l.record.vertices;
    Matrix4 place = g.rotation.ToMatrix();
    place.Translate(10, 0, 0);
    auto near = [](const Vector3& a, const Vector3& b) { return (a - b).Length() < 1e-4f; };
    EXPECT_TRUE(near(v[0].position, place.TransformCoord({0, 0, 0})));
    EXPECT_TRUE(near(v[1].position, place.TransformCoord(place.TransformCoord({1, 0, 0}))));
    EXPECT_TRUE(near(v[0].normal, place.TransformNormal({0, 0, -1})));
    EXPECT_EQ(v[2].position, Vector3(0, 1, 0));  // not in any range
    ASSERT_EQ(l.record.nodes[0].parts.size(), 1u);
    EXPECT_EQ(l.record.nodes[0].parts[0].parameter, 77);
    EXPECT_EQ(l.record.nodes[0].parts[0].materialIndex, 0u);
}

TEST_F(MeshFile, ANodeWithoutCollisionIndicesTakesTheModelAndRebuildsItsLighting) {
    tools::ZkmModel m;
    m.materials.resize(1);
    m.materials[0].ambient[0] = 255;
    m.materials[0].ambient[1] = 30;
    m.materials[0].ambient[2] = 7;
    m.materials[0].ambient[3] = 2;
    m.shaders.resize(1);
    // Two triangles sharing an edge whose copies lie 0.005 apart, and a far vertex 0.02 off.
    m.vertices = {V(0, 0, 0), V(1, 0, 0), V(0, 1, 0), V(1.005f, 0.005f, 0), V(0.005f, 1.005f, 0), V(1, 1, 1),
                  V(5, 5, 5), V(5.02f, 5, 5)};
    m.indices = {0, 1, 2, 3, 5, 4};
    tools::ZkmNode n;
    n.collisionPositions = {{9, 9, 9}};  // replaced, as there are no indices
    m.nodes = {n};
    Loaded l = ReadBytes(dir, tools::ZkmBytes(m), textures);
    ASSERT_TRUE(l.ok);
    const MeshRecord& r = l.record;
    EXPECT_EQ(r.nodes[0].collisionIndices, r.indices);
    ASSERT_EQ(r.nodes[0].collisionPositions.size(), 8u);
    EXPECT_EQ(r.nodes[0].collisionPositions[3], Vector3(1.005f, 0.005f, 0));  // taken before the weld
    EXPECT_EQ(r.materials[0].emissive, Color::FromBytes(85, 10, 2, 0));
    EXPECT_EQ(r.materials[0].specularColor, Color::FromBytes(128, 128, 128, 0));
    EXPECT_EQ(r.materials[0].power, 160.0f);
    // Welded within 0.01; kept apart at 0.02.
    EXPECT_EQ(r.vertices[3].position, r.vertices[1].position);
    EXPECT_EQ(r.vertices[4].position, r.vertices[2].position);
    EXPECT_NE(r.vertices[7].position, r.vertices[6].position);
    // Both triangles' face vectors meet at the shared corners, weighted by their areas.
    Vector3 a = Vector3::Cross(Vector3(1, 0, 0), Vector3(0, 1, 0));
    Vector3 b = Vector3::Cross(Vector3(1, 1, 1) - Vector3(1, 0, 0), Vector3(0, 1, 0) - Vector3(1, 0, 0));
    const Vector3 shared = (a + b).Normalized();
    EXPECT_NEAR(r.vertices[1].normal.x, shared.x, 1e-5f);
    EXPECT_NEAR(r.vertices[1].normal.z, shared.z, 1e-5f);
    EXPECT_EQ(r.vertices[3].normal, r.vertices[1].normal);
    EXPECT_NEAR(r.vertices[0].normal.z, 1.0f, 1e-6f);
    // A vertex no triangle touches keeps a zero normal.
    EXPECT_EQ(r.vertices[6].normal, Vector3());
}

TEST_F(MeshFile, MarkersSlotsAndEmptyModels) {
    tools::ZkmModel m = Triangle();
    m.slots = {"Paint", "Lights  "};
    m.nodes[0].parts[0].slot = 1;
    tools::ZkmPart none = m.nodes[0].parts[0];
    none.slot = 0xFFFFFFFFu;
    m.nodes[0].parts.push_back(none);
    Loaded l = ReadBytes(dir, tools::ZkmBytes(m), textures);
    ASSERT_TRUE(l.ok);
    EXPECT_TRUE(l.record.markers.empty());  // the file ends right after the nodes
    EXPECT_EQ(l.record.slots[1].name, "Lights");
    EXPECT_EQ(l.record.nodes[0].parts[0].shaderVars, l.record.slots[1].vars);
    EXPECT_EQ(l.record.nodes[0].parts[1].shaderVars, nullptr);
    m.markerSection = true;  // an empty marker section
    EXPECT_TRUE(ReadBytes(dir, tools::ZkmBytes(m), textures).ok);
    // No nodes at all: one empty node stands in.
    m.nodes.clear();
    l = ReadBytes(dir, tools::ZkmBytes(m), textures);
    ASSERT_TRUE(l.ok);
    ASSERT_EQ(l.record.nodes.size(), 1u);
    EXPECT_TRUE(l.record.nodes[0].parts.empty());
    EXPECT_EQ(l.record.nodes[0].rotation, Quaternion());
}

tools::ZkmBone Chain(int depth) {
    tools::ZkmBone b;
    b.name = "B" + std::to_string(depth);
    b.vertices = {0};
    if (depth > 1) b.children = {Chain(depth - 1)};
    return b;
}

// Every way a file can lie or end early is refused with the damage message, never read past.
TEST_F(MeshFile, CutAndLyingFilesAreRefused) {
    tools::ZkmModel full = Triangle();
    full.nodes[0].flags |= tools::ZkmNode::kBones;
    full.nodes[0].bones = {Chain(3)};
    full.slots = {"S"};
    full.markers = {{"M", {1, 2, 3}, {4, 5, 6}}};
    const std::vector<uint8_t> bytes = tools::ZkmBytes(full);
    tools::ZkmModel noMarkers = full;
    noMarkers.markers.clear();
    const size_t nodesEnd = tools::ZkmBytes(noMarkers).size();
    // Cut after every byte past the header: only the cut right after the nodes reads.
    for (size_t n = 10; n < bytes.size(); ++n) {
        Loaded l = ReadBytes(dir, std::vector<uint8_t>(bytes.begin(), bytes.begin() + long(n)), textures);
        EXPECT_EQ(l.ok, n == nodesEnd) << "cut at " << n;
    }

    auto lie = [&](auto change) {
        tools::ZkmModel m = full;
        change(m);
        log.Clear();
        Loaded l = ReadBytes(dir, tools::ZkmBytes(m), textures);
        bool damaged = false;
        for (const std::string& line : log.Lines()) damaged = damaged || line.find("Model.ZKM is damaged") == 0;
        return !l.ok && damaged;
    };
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.indices[1] = 3; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.materials[0].textures[3] = 1; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].parts[0].material = 1; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].parts[0].shader = 1; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].parts[0].slot = 1; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].parts[0].ranges[0] = {1, 3, 0, 3}; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].parts[0].ranges[0] = {0, 3, 0xFFFFFFFFu, 4}; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].collisionIndices[2] = 3; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].bones[0].children[0].vertices = {3}; }));
    EXPECT_TRUE(lie([](tools::ZkmModel& m) { m.nodes[0].bones = {Chain(zkm::kMaxBoneDepth + 1)}; }));
    EXPECT_FALSE(lie([](tools::ZkmModel& m) { m.nodes[0].bones = {Chain(zkm::kMaxBoneDepth)}; }));
    // Counts far beyond the file.
    const size_t textureCount = 7, materialCount = 7 + 4 + 4 + 7;
    for (size_t offset : {textureCount, materialCount}) {
        std::vector<uint8_t> b = bytes;
        b[offset + 3] = 0x7F;
        EXPECT_FALSE(ReadBytes(dir, b, textures).ok) << offset;
    }
}

// ---------------------------------------------------------------------------------------------
// Bone animations

Matrix4 Moved(float x) { return Matrix4::Translation(x, 0, 0); }

tools::ZkaAnimation Walk() {
    tools::ZkaAnimation a;
    a.bones = {"Hip", "Knee"};
    for (float d : {0.5f, 0.25f, 0.25f}) a.keys.push_back({d, {Moved(d), Moved(-d)}});
    return a;
}

BoneAnimation Load(TempWorkDir& dir, const std::vector<uint8_t>& bytes) {
    dir.WriteBytes("Walk.ZKA", Str(bytes));
    return BoneAnimation("Walk.ZKA");
}

TEST(BoneAnimationFile, KeysMatricesAndBoneNames) {
    TempWorkDir dir;
    LogCapture log;
    // Hand-built: one bone, one key of 0.125 s whose matrix is the identity moved to (1, 2, 3).
    Golden g;
    g.Raw({'Z', 'K', '2'}).U32(0x100000).U32(1).S("Hip").U32(1).F(0.125f);
    for (int i = 0; i < 16; ++i) g.F(i == 12 ? 1.0f : i == 13 ? 2.0f : i == 14 ? 3.0f : (i % 5 == 0 ? 1.0f : 0.0f));
    BoneAnimation one = Load(dir, g.b);
    EXPECT_EQ(one.GetLength(), 0.125f);
    Matrix4 got;
    one.GetMatrix(0, 0, 0, &got);
    EXPECT_EQ(got, Matrix4::Translation(1, 2, 3));
    EXPECT_TRUE(log.Contains("BONEANIMATION: Walk.ZKA loaded"));

    BoneAnimation a = Load(dir, tools::ZkaBytes(Walk()));
    EXPECT_EQ(a.GetLength(), 1.0f);
    EXPECT_EQ(a.KeyCount(), 3);
    EXPECT_EQ(a.FindBone("Knee"), 1);
    EXPECT_EQ(a.FindBone("knee"), -1);
    a.GetMatrix(1, 2, 0, &got);
    EXPECT_EQ(got, Moved(-0.25f));
    // Outside the bones or keys: identity.
    for (auto [bone, key] : {std::pair{2, 0}, std::pair{0, 3}, std::pair{-1, 0}}) {
        got = Moved(9);
        a.GetMatrix(bone, key, 0, &got);
        EXPECT_EQ(got, Matrix4()) << bone << " " << key;
    }
    tools::ZkaAnimation still;
    still.bones = {"A", "B"};
    BoneAnimation s = Load(dir, tools::ZkaBytes(still));
    EXPECT_EQ(s.BoneCount(), 2);
    EXPECT_EQ(s.GetLength(), 0.0f);
}

TEST(BoneAnimationFile, BadFilesLeaveAnEmptyAnimation) {
    TempWorkDir dir;
    LogCapture log;
    std::vector<uint8_t> good = tools::ZkaBytes(Walk()), magic = good, version = good;
    magic[0] = 'X';
    version[4] = 0x00;
    version[5] = 0x01;  // 0x10000
    const struct {
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {{std::vector<uint8_t>(good.begin(), good.begin() + 9), "Failed loading animation Walk.ZKA"},
                 {magic, "Walk.ZKA is NOT a ZKA file"},
                 {version, "Walk.ZKA is of an unsupported version"}};
    for (const auto& c : cases) {
        log.Clear();
        BoneAnimation a = Load(dir, c.bytes);
        EXPECT_TRUE(log.Contains(c.message)) << c.message;
        EXPECT_EQ(a.BoneCount(), 0);
        EXPECT_EQ(a.GetLength(), 0.0f);
    }
    // Cut anywhere after the header: refused, nothing kept.
    for (size_t n = 10; n < good.size(); ++n) {
        BoneAnimation a = Load(dir, std::vector<uint8_t>(good.begin(), good.begin() + long(n)));
        EXPECT_EQ(a.KeyCount(), 0) << n;
        EXPECT_EQ(a.BoneCount(), 0) << n;
        EXPECT_EQ(a.GetLength(), 0.0f) << n;
    }
}

}  // namespace
