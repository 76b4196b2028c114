// The mesh factory and the mesh classes on a recording device: cache keys, sharing by clones,
// removal, defaults for missing and bad models, the class a record becomes and the facility
// lists it joins and leaves, and the mesh interface (slots, markers, bounds, radius).
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <memory>

#include "engine/render/D3D8AnimatedMesh.h"
#include "engine/render/D3D8LargeMesh.h"
#include "engine/render/D3D8ShinyMesh.h"
#include "engine/render/NullRenderFacility.h"
#include "tests/meshes/MeshTestSupport.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;
using namespace meshtest;

namespace {

class MeshFactoryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(WriteModel("Models/Box.ZKM", tools::CrateModel("Box.ZKT", 1.5f)));
        ASSERT_TRUE(WriteSolidTexture("Textures/Box.ZKT", 0xFFFF0000u));
    }
    TempWorkDir dir;
    RecordingFacility rig;
    EngineOn engine{rig.facility.get()};
    MeshFactory& factory = MeshFactory::Instance();
    LogCapture log;
};

int LinesWith(LogCapture& log, const std::string& text) {
    int n = 0;
    for (const std::string& l : log.Lines()) n += l.find(text) != std::string::npos;
    return n;
}

TEST_F(MeshFactoryTest, KeysAreUpperCasePathsAndSharedRequestsGetClones) {
    std::unique_ptr<D3D8Mesh> first(factory.GetByName("models\\box.zkm", true));
    ASSERT_NE(first, nullptr);
    ASSERT_EQ(factory.CachedCount(), 1u);
    EXPECT_EQ(factory.CachedKey(0), "MODELS\\BOX.ZKM");
    EXPECT_EQ(factory.CachedMesh(0), first.get());
    EXPECT_TRUE(log.Contains("MESHFACTORY: Loading MODELS\\BOX.ZKM"));
    EXPECT_TRUE(log.Contains("MESHFACTORY: MODELS\\BOX.ZKM loaded"));
    // The same model asked for again with sharing: a clone, nothing loaded or added.
    std::unique_ptr<D3D8Mesh> clone(factory.GetByName("MODELS\\BOX.ZKM", true));
    ASSERT_NE(clone, nullptr);
    EXPECT_NE(clone.get(), first.get());
    EXPECT_EQ(factory.CachedCount(), 1u);
    EXPECT_EQ(LinesWith(log, "MESHFACTORY: Loading"), 1);
    EXPECT_EQ(clone->Markers().size(), 2u);
    // Without sharing every request loads again and is remembered again.
    std::unique_ptr<D3D8Mesh> again(factory.GetByName("Models\\Box.ZKM", false));
    EXPECT_NE(again.get(), first.get());
    EXPECT_EQ(factory.CachedCount(), 2u);
    EXPECT_EQ(LinesWith(log, "MESHFACTORY: Loading"), 2);
    // A clone is not remembered; keys are matched byte-wise at their end.
    factory.Release(clone.get());
    factory.Remove("Box.ZKM");
    EXPECT_EQ(factory.CachedCount(), 2u);
    factory.Remove("BOX.ZKM");
    EXPECT_EQ(factory.CachedCount(), 1u);
    EXPECT_EQ(factory.CachedMesh(0), again.get());
    factory.Release(again.get());
    EXPECT_EQ(factory.CachedCount(), 0u);
    // A remembered mesh its holder deletes is forgotten, so no later clone reaches it.
    std::unique_ptr<D3D8Mesh> fresh(factory.GetByName("Models\\Box.ZKM", true));
    EXPECT_EQ(factory.CachedCount(), 1u);
    fresh.reset();
    EXPECT_EQ(factory.CachedCount(), 0u);
    std::unique_ptr<D3D8Mesh> reloaded(factory.GetByName("Models\\Box.ZKM", true));
    EXPECT_EQ(LinesWith(log, "MESHFACTORY: Loading"), 4);
    // Found through a search directory: remembered under the path it was found at.
    factory.searchDirectories.push_back("Models");
    std::unique_ptr<D3D8Mesh> found(factory.GetByName("box.zkm", false));
    factory.searchDirectories.pop_back();
    EXPECT_EQ(factory.CachedKey(factory.CachedCount() - 1), "MODELS\\BOX.ZKM");
}

TEST_F(MeshFactoryTest, WhatCannotBeHadGivesAFreshDefaultMeshThatIsNeverRemembered) {
    dir.WriteBytes("Models/Bad.ZKM", std::string("ZK2\x4F\0\0\0 and more", 16));
    const struct {
        const char* name;
        const char* message;
    } cases[] = {{"Models\\Box.ZKT", "MESHFACTORY: No available loader could be found for MODELS\\BOX.ZKT"},
                 {"Models\\Nope.ZKM", "MESHFACTORY: MODELS\\NOPE.ZKM could not be found in one of the available directories"},
                 {"Models\\Bad.ZKM", "MODELS\\BAD.ZKM is obsolete! Only 5th generation ZKM files are supported."}};
    for (const auto& c : cases) {
        log.Clear();
        std::unique_ptr<D3D8Mesh> m(factory.GetByName(c.name, true));
        ASSERT_NE(m, nullptr) << c.name;
        EXPECT_TRUE(log.Contains(c.message)) << c.name;
        ASSERT_EQ(m->Nodes().size(), 1u);
        EXPECT_TRUE(m->Nodes()[0].items.empty());
        EXPECT_EQ(factory.CachedCount(), 0u);
        m->Render();  // draws nothing, safely
    }
    std::unique_ptr<D3D8Mesh> a(factory.CreateDefault()), b(factory.CreateDefaultFor(7));
    EXPECT_NE(a.get(), b.get());
    EXPECT_EQ(factory.CachedCount(), 0u);
}

TEST_F(MeshFactoryTest, WithoutAFacilityModelsStillCarryTheirData) {
    factory.Disconnect(rig.facility.get());
    std::unique_ptr<D3D8Mesh> m(factory.GetByName("Models\\Box.ZKM", true));
    factory.Connect(rig.facility.get());
    ASSERT_NE(dynamic_cast<InertMesh*>(m.get()), nullptr);
    EXPECT_EQ(m->Positions().size(), 8u);
    EXPECT_FLOAT_EQ(m->Radius(), 1.5f * std::sqrt(3.0f));
    EXPECT_EQ(m->Markers()[0].name, "Top");
    EXPECT_EQ(m->Bounds().halfExtents, Vector3(1.5f, 1.5f, 1.5f));
    std::unique_ptr<D3D8Mesh> copy(m->Clone());
    EXPECT_EQ(copy->Markers().size(), 2u);
    copy->Render();
    // A renderer that makes no meshes: the factory makes the same kind.
    NullRenderFacility none;
    factory.Connect(&none);
    std::unique_ptr<D3D8Mesh> fromNone(factory.GetByName("Models\\Box.ZKM", false));
    factory.Disconnect(&none);
    factory.Connect(rig.facility.get());
    EXPECT_NE(dynamic_cast<InertMesh*>(fromNone.get()), nullptr);
    EXPECT_EQ(fromNone->Markers().size(), 2u);
}

// A record of `vertices` vertices (one triangle drawn) whose first node has bone trees or not.
MeshRecord Record(size_t vertices, bool bones) {
    MeshRecord r;
    r.vertices.resize(vertices);
    r.indices = {0, 1, 2};
    r.materials.resize(1);
    r.shaders.resize(1);
    r.shaders[0].stageMask = 1;
    r.nodes.resize(1);
    MeshPart p;
    p.ranges = {{0, 3, 0, 3}};
    r.nodes[0].parts = {p};
    if (bones) {
        auto bone = std::make_shared<BoneNode>();
        bone->name = "Root";
        bone->vertices = {0, 1};
        r.nodes[0].boneTrees = {bone};
    }
    return r;
}

TEST(MeshClasses, TheRecordChoosesTheClassAndTheListsFollowTheMeshes) {
    RecordingFacility rig;
    D3D8RenderFacility& f = *rig.facility;
    const struct {
        size_t vertices;
        bool bones, shinyCall;
        const char* expected;
        size_t owned, reset;
    } cases[] = {{65536, false, false, "shiny", 1, 0}, {65537, false, false, "large", 0, 0},
                 {3, true, false, "animated", 1, 1},   {65537, true, false, "large", 0, 0},
                 {3, true, true, "shiny", 1, 0}};
    for (const auto& c : cases) {
        MeshRecord r = Record(c.vertices, c.bones);
        std::unique_ptr<D3D8Mesh> m(c.shinyCall ? f.CreateShinyMesh(r) : f.CreateMesh(r));
        const char* kind = dynamic_cast<D3D8ShinyMesh*>(m.get())      ? "shiny"
                           : dynamic_cast<D3D8LargeMesh*>(m.get())    ? "large"
                           : dynamic_cast<D3D8AnimatedMesh*>(m.get()) ? "animated"
                                                                      : "other";
        EXPECT_STREQ(kind, c.expected) << c.vertices << " " << c.bones;
        EXPECT_EQ(f.OwnedMeshCount(), c.owned) << c.vertices << " " << c.bones;
        EXPECT_EQ(f.ResetMeshCount(), c.reset) << c.vertices << " " << c.bones;
        // A large mesh keeps its bone trees without animating.
        if (c.vertices > 65536) {
            EXPECT_EQ(m->Nodes()[0].boneTrees.size(), c.bones ? 1u : 0u);
        }
        m.reset();
        EXPECT_EQ(f.OwnedMeshCount(), 0u);
        EXPECT_EQ(f.ResetMeshCount(), 0u);
    }
    // Clones: an animated one joins the reset list, a shiny one no list.
    MeshRecord animated = Record(3, true), shiny = Record(3, false);
    std::unique_ptr<D3D8Mesh> a(f.CreateMesh(animated)), s(f.CreateMesh(shiny));
    std::unique_ptr<D3D8Mesh> ac(a->Clone()), sc(s->Clone());
    EXPECT_EQ(f.ResetMeshCount(), 2u);
    EXPECT_EQ(f.OwnedMeshCount(), 2u);
    // The facility deletes what it owns when it goes (a and s here); the clones let go of the
    // device and can still be deleted by their holders.
    (void)a.release();
    (void)s.release();
    rig.facility.reset();
    EXPECT_EQ(ac->Facility(), nullptr);
    EXPECT_EQ(sc->Facility(), nullptr);
    ac->Step(0.1f);
    ac->Render();
    sc->Render();
}

TEST(MeshInterface, SlotsMarkersBoundsAndRadius) {
    RecordingFacility rig;
    LogCapture log;
    MeshRecord r = Record(3, false);
    r.slots = {{"Paint", NewDefaultShaderVariables()}};
    r.nodes[0].collisionPositions = {{1, 2, 2}, {-4, 0, 0}, {0, 0, 0.5f}};
    r.markers = {{"Exhaust", {1, 0, 0}, {0, 0, 1}}};
    std::unique_ptr<D3D8Mesh> m(rig.facility->CreateMesh(r));
    EXPECT_EQ(m->GetShaderVars("Paint"), r.slots[0].vars.get());
    // A missing slot: a substitute, logged once and kept for later asks.
    ShaderVariables* missing = m->GetShaderVars("Glow");
    ASSERT_NE(missing, nullptr);
    EXPECT_EQ(missing->textureFactor, 0xFFFFFFFFu);
    EXPECT_EQ(m->GetShaderVars("Glow"), missing);
    EXPECT_EQ(LinesWith(log, "MESH: Creating substitute shadervars for 'Glow' to prevent crash. NOT FUNCTIONAL!"), 1);
    EXPECT_NE(m->GetShaderVars("glow"), missing);  // names are exact
    EXPECT_FLOAT_EQ(m->Radius(), 4.0f);
    EXPECT_EQ(m->Positions().size(), 3u);
    EXPECT_EQ(m->Markers()[0].name, "Exhaust");
    EXPECT_EQ(m->Bounds().centre, Vector3(-1.5f, 1, 1));
    EXPECT_EQ(m->Bounds().halfExtents, Vector3(2.5f, 1, 1));
    // Only the shiny mesh has bounds; slots and markers stay empty in the animated mesh.
    MeshRecord b = Record(3, true);
    b.slots = r.slots;
    b.markers = r.markers;
    b.nodes[0].collisionPositions = r.nodes[0].collisionPositions;
    std::unique_ptr<D3D8Mesh> animated(rig.facility->CreateMesh(b));
    EXPECT_EQ(animated->Bounds().halfExtents, Vector3());
    EXPECT_TRUE(animated->Markers().empty());
    EXPECT_TRUE(animated->ShaderVarsSlots().empty());
    EXPECT_FLOAT_EQ(animated->Radius(), 4.0f);
}

}  // namespace
