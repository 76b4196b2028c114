// The mesh classes' behaviour on a recording device: animated playback (keys, loops, queue,
// stops, bindings, poses and skinning), the shiny mesh's subsets and environment set-up, and
// the environment cube's faces.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <thread>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8AnimatedMesh.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8ShinyMesh.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/EnvironmentCube.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureTypes.h"
#include "tests/meshes/MeshTestSupport.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;
using namespace meshtest;

namespace {

// ---------------------------------------------------------------------------------------------
// Animated playback

std::shared_ptr<BoneNode> Bone(const char* name, std::vector<uint32_t> vertices, std::vector<BoneTree> children = {}) {
    auto b = std::make_shared<BoneNode>();
    b->name = name;
    b->vertices = std::move(vertices);
    b->children = std::move(children);
    return b;
}

// Bones in pre-order: Root (vertices 0, 3), Child under it (vertex 1), Other (vertex 3) and
// Empty (no vertices) at the top.
MeshRecord Skeleton() {
    MeshRecord r;
    r.vertices.resize(4);
    for (uint32_t v = 0; v < 4; ++v) r.vertices[v].position = {float(v), 0, 0};
    r.indices = {0, 1, 2, 1, 2, 3};
    r.materials.resize(1);
    r.shaders.resize(1);
    r.shaders[0].stageMask = 1;
    r.nodes.resize(1);
    MeshPart p;
    p.ranges = {{0, 6, 0, 4}};
    r.nodes[0].parts = {p};
    r.nodes[0].boneTrees = {Bone("Root", {0, 3}, {Bone("Child", {1})}), Bone("Other", {3}), Bone("Empty", {})};
    return r;
}

Matrix4 Moved(float x, float y = 0) { return Matrix4::Translation(x, y, 0); }

// Tracks Child, Root and Ghost (no such bone); key k moves Child by 10k, Root by 100k.
tools::ZkaAnimation Tracks(std::vector<float> durations) {
    tools::ZkaAnimation a;
    a.bones = {"Child", "Root", "Ghost"};
    for (size_t k = 0; k < durations.size(); ++k)
        a.keys.push_back({durations[k], {Moved(10.0f * float(k + 1)), Moved(0, 100.0f * float(k + 1)), Moved(-1)}});
    return a;
}

class Playback : public ::testing::Test {
protected:
    void SetUp() override {
        record = Skeleton();
        mesh.reset(static_cast<D3D8AnimatedMesh*>(rig.facility->CreateMesh(record)));
        ASSERT_NE(mesh, nullptr);
    }
    std::unique_ptr<BoneAnimation> Load(const tools::ZkaAnimation& a, const char* name) {
        tools::WriteZka(name, a);
        return std::make_unique<BoneAnimation>(name);
    }
    const MeshVertex* Skinned() { return reinterpret_cast<const MeshVertex*>(mesh->Output()->Vertices()); }
    D3D8AnimatedMesh::Playback Now() { return mesh->Current(); }

    TempWorkDir dir;
    RecordingFacility rig;
    MeshRecord record;
    std::unique_ptr<D3D8AnimatedMesh> mesh;
};

TEST_F(Playback, BonesArePosedFromTheirTracksAndSkinTheirVertices) {
    auto walk = Load(Tracks({0.5f, 0.25f, 0.25f}), "Walk.ZKA");
    EXPECT_EQ(mesh->BoneCount(), 4u);  // a bone without vertices is a bone all the same
    EXPECT_FALSE(mesh->HasAnimation(walk.get()));
    mesh->AddAnimation(walk.get());
    EXPECT_TRUE(mesh->HasAnimation(walk.get()));
    mesh->PlayAnimation(walk.get(), D3D8AnimatedMesh::kEndless, false);
    mesh->Step(0.6f);  // past key 0 into key 1
    EXPECT_EQ(Now().keyIndex, 1);
    EXPECT_NEAR(Now().keyTime, 0.1f, 1e-6f);
    // Root takes its track; Child its own after its parent's; Other and Empty have no track
    // and follow their parent (none: identity). The Ghost track moves nothing.
    const std::vector<Matrix4>& m = mesh->BoneMatrices();
    EXPECT_EQ(m[0], Moved(0, 200));
    EXPECT_EQ(m[1], Moved(20, 200));
    EXPECT_EQ(m[2], Matrix4());
    EXPECT_EQ(m[3], Matrix4());
    // Vertex 1 follows Child; vertex 3 is under Root and Other and gets both, summed.
    EXPECT_EQ(Skinned()[1].position, Vector3(21, 200, 0));
    EXPECT_EQ(Skinned()[0].position, Vector3(0, 200, 0));
    EXPECT_EQ(Skinned()[3].position, Vector3(6, 200, 0));
    EXPECT_EQ(Skinned()[2].position, Vector3());  // under no bone
}

TEST_F(Playback, KeysLoopsAndTheEndOfAFinitePlayback) {
    auto walk = Load(Tracks({0.5f, 0.25f, 0.25f}), "Walk.ZKA");
    mesh->AddAnimation(walk.get());
    // A large step passes keys and whole cycles at once.
    mesh->PlayAnimation(walk.get(), 3, false);
    mesh->Step(2.6f);
    EXPECT_EQ(Now().loops, 1u);
    EXPECT_EQ(Now().keyIndex, 1);
    EXPECT_NEAR(Now().keyTime, 0.1f, 1e-5f);
    // The last cycle ends inside a step: it stops on the last key with no time left.
    mesh->Step(5.0f);
    EXPECT_EQ(Now().loops, 0u);
    EXPECT_EQ(Now().keyIndex, 2);
    EXPECT_EQ(Now().keyTime, 0.0f);
    EXPECT_EQ(mesh->BoneMatrices()[0], Moved(0, 300));
    // Not playing: further steps change nothing.
    mesh->Step(0.3f);
    EXPECT_EQ(Now().keyIndex, 2);
    EXPECT_EQ(mesh->BoneMatrices()[0], Moved(0, 300));
    // An endless playback over a long step keeps its place within the cycle.
    mesh->PlayAnimation(walk.get(), D3D8AnimatedMesh::kEndless, false);
    mesh->Step(1000.6f);
    EXPECT_EQ(Now().loops, D3D8AnimatedMesh::kEndless);
    EXPECT_EQ(Now().keyIndex, 1);
}

TEST_F(Playback, QueueingStoppingAndBindings) {
    auto walk = Load(Tracks({0.5f, 0.5f}), "Walk.ZKA");
    auto wave = Load(Tracks({1.0f}), "Wave.ZKA");
    auto stranger = Load(Tracks({1.0f}), "Stranger.ZKA");
    mesh->AddAnimation(walk.get());
    mesh->AddAnimation(wave.get());
    // Never added: nothing happens.
    mesh->PlayAnimation(stranger.get(), 1, false);
    EXPECT_EQ(Now().loops, 0u);
    // Queued while nothing plays: starts at once.
    mesh->PlayAnimation(walk.get(), 1, true);
    EXPECT_EQ(Now().loops, 1u);
    // Queued behind a finite playback; the same animation queued adds its loops.
    mesh->PlayAnimation(wave.get(), 2, true);
    mesh->PlayAnimation(walk.get(), 1, true);
    EXPECT_EQ(Now().loops, 2u);
    EXPECT_EQ(mesh->Queued().loops, 2u);
    mesh->Step(2.0f);  // walk ends
    EXPECT_EQ(Now().loops, 0u);
    mesh->Step(0.5f);  // the queued wave takes over at the next step
    EXPECT_EQ(Now().loops, 2u);
    EXPECT_EQ(mesh->Queued().loops, 0u);
    EXPECT_EQ(mesh->BoneMatrices()[0], Moved(0, 100));
    // While an endless playback runs, a queued request starts at once.
    mesh->PlayAnimation(wave.get(), D3D8AnimatedMesh::kEndless, false);
    mesh->PlayAnimation(walk.get(), 1, true);
    EXPECT_EQ(Now().loops, 1u);
    EXPECT_EQ(mesh->Queued().loops, 0u);
    // Stopping at the end of the cycle: only a playing animation is affected.
    mesh->PlayAnimation(walk.get(), D3D8AnimatedMesh::kEndless, false);
    mesh->StopAnimation(true);
    EXPECT_EQ(Now().loops, 1u);
    mesh->StopAnimation(false);
    EXPECT_EQ(Now().loops, 0u);
    EXPECT_EQ(mesh->BoneMatrices()[0], Matrix4());
    mesh->StopAnimation(true);  // starts nothing
    EXPECT_EQ(Now().loops, 0u);
    mesh->Step(0.1f);
    // Removing the binding a playback (current or queued) refers to ends that playback.
    mesh->PlayAnimation(walk.get(), 3, false);
    mesh->PlayAnimation(wave.get(), 1, true);
    mesh->RemoveAnimation(wave.get());
    EXPECT_EQ(mesh->Queued().loops, 0u);
    EXPECT_EQ(Now().loops, 3u);
    mesh->RemoveAnimation(walk.get());
    EXPECT_EQ(Now().loops, 0u);
    EXPECT_FALSE(mesh->HasAnimation(walk.get()));
    mesh->Step(0.1f);
    mesh->RemoveAnimation(stranger.get());  // ignored
}

TEST_F(Playback, AnimationsWithoutKeysOrWithoutTimeCannotHangAStep) {
    auto keyless = Load(Tracks({}), "Keyless.ZKA");
    auto timeless = Load(Tracks({0.0f, -1.0f, 0.0f}), "Timeless.ZKA");
    mesh->AddAnimation(keyless.get());
    mesh->AddAnimation(timeless.get());
    mesh->PlayAnimation(keyless.get(), D3D8AnimatedMesh::kEndless, false);
    mesh->Step(1.0f);
    EXPECT_EQ(mesh->BoneMatrices()[0], Matrix4());
    mesh->PlayAnimation(timeless.get(), D3D8AnimatedMesh::kEndless, false);
    for (int i = 0; i < 3; ++i) mesh->Step(1.0f);  // returns every time
    EXPECT_EQ(Now().loops, D3D8AnimatedMesh::kEndless);
}

TEST_F(Playback, ClonesShareTheSkinButNotThePlayback) {
    auto walk = Load(Tracks({0.5f}), "Walk.ZKA");
    mesh->AddAnimation(walk.get());
    mesh->PlayAnimation(walk.get(), D3D8AnimatedMesh::kEndless, false);
    mesh->Step(0.1f);
    std::unique_ptr<D3D8AnimatedMesh> clone(static_cast<D3D8AnimatedMesh*>(mesh->Clone()));
    EXPECT_FALSE(clone->HasAnimation(walk.get()));
    EXPECT_EQ(clone->Current().loops, 0u);
    EXPECT_EQ(clone->BoneCount(), 4u);
    EXPECT_EQ(clone->BoneMatrices()[0], Matrix4());
    ASSERT_NE(clone->Output(), nullptr);
    EXPECT_NE(clone->Output(), mesh->Output());
    // Its items draw from its own buffers with the same materials and pass sets.
    EXPECT_EQ(clone->Nodes()[0].items[0].material, mesh->Nodes()[0].items[0].material);
    EXPECT_NE(clone->Nodes()[0].items[0].vertexBuffer, mesh->Nodes()[0].items[0].vertexBuffer);
    clone->AddAnimation(walk.get());
    clone->PlayAnimation(walk.get(), 1, false);
    clone->Step(0.1f);
    EXPECT_EQ(reinterpret_cast<const MeshVertex*>(clone->Output()->Vertices())[1].position, Vector3(11, 100, 0));
    // The render goes through the geometry renderer with the item's ranges.
    rig.device->ClearCalls();
    clone->Render();
    EXPECT_EQ(rig.device->Count("DrawIndexedPrimitive 4 0 4 0 2"), 1);
    // Deleted, it leaves none of its buffers as the facility's known bindings (a buffer made
    // later at the same address must be bound, not taken as bound already).
    clone.reset();
    rig.device->ClearCalls();
    rig.facility->SetStreamSource(nullptr, 0);
    rig.facility->SetIndices(nullptr, 0);
    EXPECT_TRUE(rig.device->calls.empty());
}

// A mesh deleted on another thread leaves the facility's lists before any of it is torn down:
// a device reset the main thread runs between the deleting thread's requests never reaches it.
TEST(MeshThreads, AMeshDeletedElsewhereIsNeverReachedByAResetHalfWay) {
    RecordingFacility rig;
    EngineOn engine(rig.facility.get());
    MeshRecord record = Skeleton();
    D3D8Mesh* mesh = rig.facility->CreateMesh(record);
    ASSERT_EQ(rig.facility->ResetMeshCount(), 1u);
    std::atomic<bool> deleted{false};
    std::thread worker([&] {
        delete mesh;
        deleted = true;
    });
    TaskQueue& tasks = ZKEngine::Instance().tasks;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    int requests = 0;
    while (!deleted && std::chrono::steady_clock::now() < deadline) {
        if (tasks.Count() == 0) {
            std::this_thread::yield();
            continue;
        }
        // The worker waits on this request: the device resets first, as a frame may.
        rig.device->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
        rig.facility->EndScene();
        tasks.ProcessTasks();
        ++requests;
    }
    worker.join();
    EXPECT_TRUE(deleted);
    EXPECT_GE(requests, 1);
    EXPECT_EQ(rig.facility->ResetMeshCount(), 0u);
}

// ---------------------------------------------------------------------------------------------
// Shiny mesh

MeshRecord TwoParts(bool firstBlends, bool secondLikeFirst) {
    MeshRecord r;
    r.vertices.resize(6);
    r.indices = {0, 1, 2, 3, 4, 5};
    r.materials.resize(2);
    r.materials[1].power = 7.0f;
    r.shaders.resize(2);
    r.shaders[0].stageMask = r.shaders[1].stageMask = 1;
    r.shaders[0].blend = firstBlends;
    r.nodes.resize(1);
    MeshPart a, b;
    a.ranges = {{0, 3, 0, 3}};
    b.ranges = {{3, 3, 3, 3}};
    if (!secondLikeFirst) b.material = b.shader = 1;
    r.nodes[0].parts = {a, b};
    return r;
}

TEST(ShinyMesh, EqualPartsShareASubsetAndBlendedSubsetsDrawLast) {
    RecordingFacility rig;
    MeshRecord same = TwoParts(false, true);
    std::unique_ptr<D3D8ShinyMesh> one(static_cast<D3D8ShinyMesh*>(rig.facility->CreateMesh(same)));
    EXPECT_EQ(one->Subsets().size(), 1u);
    MeshRecord mixed = TwoParts(true, false);
    std::unique_ptr<D3D8ShinyMesh> two(static_cast<D3D8ShinyMesh*>(rig.facility->CreateMesh(mixed)));
    ASSERT_EQ(two->Subsets().size(), 2u);
    rig.device->ClearCalls();
    const int32_t polygons = rig.facility->FrameStats().polygons;
    two->Render();
    std::vector<std::string> draws;
    for (const std::string& c : rig.device->calls)
        if (c.rfind("DrawIndexedPrimitive", 0) == 0) draws.push_back(c);
    // The opaque part (subset 1, faces sorted after subset 0's) first.
    EXPECT_EQ(draws, (std::vector<std::string>{"DrawIndexedPrimitive 4 3 3 3 1", "DrawIndexedPrimitive 4 0 3 0 1"}));
    EXPECT_EQ(rig.facility->FrameStats().polygons, polygons + 2);
    // The subsets bound the mesh's buffers directly: the next draw through the facility binds
    // its own again.
    StaticVertexBuffer* vb = rig.facility->CreateVertexBuffer(kMeshVertexFormat, 32, 3, false);
    StaticIndexBuffer* ib = rig.facility->CreateIndexBuffer(3, 3, false);
    rig.facility->GetGeomRenderer()->DrawIndexed(vb, ib, {0, 3, 0, 3});
    rig.device->ClearCalls();
    two->Render();
    rig.facility->GetGeomRenderer()->DrawIndexed(vb, ib, {0, 3, 0, 3});
    EXPECT_EQ(rig.device->Count("SetStreamSource 0 buffer"), 3);  // two subsets, then the buffer
    rig.facility->ReleaseVertexBuffer(vb);
    rig.facility->ReleaseIndexBuffer(ib);
    // Ranges that list more faces than the model has: the faces past its count are skipped.
    MeshRecord over = TwoParts(false, false);
    over.indices.resize(3);
    over.nodes[0].parts[1].ranges = {{0, 3, 0, 3}};
    over.nodes[0].parts[0].ranges = {{0, 3, 0, 3}, {0, 3, 0, 3}};
    std::unique_ptr<D3D8ShinyMesh> crowded(static_cast<D3D8ShinyMesh*>(rig.facility->CreateMesh(over)));
    EXPECT_EQ(crowded->FaceCount(), 1);
    EXPECT_EQ(crowded->Mesh()->Attributes()[0], 0u);
    // Clones share the mesh, its subsets and the slots' records.
    std::unique_ptr<D3D8ShinyMesh> clone(static_cast<D3D8ShinyMesh*>(two->Clone()));
    EXPECT_EQ(clone->Mesh(), two->Mesh());
    EXPECT_EQ(clone->Subsets().size(), 2u);
    two.reset();
    clone->Render();  // the shared mesh lives on with the clone
}

class ShinyCube : public ::testing::Test {
protected:
    void Make(uint32_t stages) {
        gfx::Caps caps;
        caps.maxSimultaneousTextures = stages;
        rig = std::make_unique<RecordingFacility>(64, 48, caps);
        engine = std::make_unique<EngineOn>(rig->facility.get());
        ASSERT_TRUE(WriteSolidTexture("Textures/Ball.ZKT", 0xFF000000u));
        ASSERT_TRUE(WriteSolidTexture("Textures/Ball_S.ZKT", 0xFFFFFFFFu));
        ASSERT_TRUE(WriteSolidTexture("Textures/Shiny.ZKT", 0xFF808080u));
    }
    void TearDown() override {
        engine.reset();
        rig.reset();
        EXPECT_EQ(EnvironmentCube::Global(), nullptr);  // the cube went with its facility
    }
    TempWorkDir dir;
    std::unique_ptr<RecordingFacility> rig;
    std::unique_ptr<EngineOn> engine;
};

TEST_F(ShinyCube, WithThreeStagesTheCubeStageBecomesAShineSetUp) {
    Make(8);
    ASSERT_TRUE(WriteModel("Models/Ball.ZKM", tools::BallModel("Ball.ZKT", 1.0f, 8, 4)));
    std::unique_ptr<D3D8Mesh> ball(MeshFactory::Instance().GetByName("Models\\Ball.ZKM", true));
    EnvironmentCube* cube = EnvironmentCube::Global();
    ASSERT_NE(cube, nullptr);
    auto* shiny = dynamic_cast<D3D8ShinyMesh*>(ball.get());
    ASSERT_NE(shiny, nullptr);
    ASSERT_EQ(shiny->Subsets().size(), 1u);
    const ShaderPassSet* pass = shiny->Subsets()[0].shader;
    const Material* material = shiny->Subsets()[0].material;
    EXPECT_EQ(pass->stageMask, 15);
    EXPECT_EQ(pass->stages[1].coord, 0x30000u);  // camera-space reflection vector
    EXPECT_EQ(pass->stages[1].colorOp, uint32_t(gfx::top::ADD));
    EXPECT_EQ(pass->stages[2].resultArg, uint32_t(gfx::ta::TEMP));
    EXPECT_EQ(pass->stages[3].alphaOp, uint32_t(gfx::top::SELECTARG2));
    EXPECT_EQ(material->textures[1], cube->Handle());
    std::unique_ptr<TextureHandle> shine(TextureFactory::Instance().GetByName("Textures\\Ball_S.ZKT", true));
    ASSERT_NE(material->textures[2], nullptr);
    EXPECT_EQ(material->textures[2]->Get(), shine->Get());
}

TEST_F(ShinyCube, AShortTextureNameTakesTheCommonShine) {
    Make(8);
    tools::ZkmModel m = tools::BallModel("B.ZKT", 1.0f, 8, 4);  // "B" is no shine name
    ASSERT_TRUE(WriteSolidTexture("Textures/B.ZKT", 0xFF000000u));
    ASSERT_TRUE(WriteModel("Models/B.ZKM", m));
    std::unique_ptr<D3D8Mesh> ball(MeshFactory::Instance().GetByName("Models\\B.ZKM", true));
    const Material* material = static_cast<D3D8ShinyMesh*>(ball.get())->Subsets()[0].material;
    std::unique_ptr<TextureHandle> common(TextureFactory::Instance().GetByName("Shiny.ZKT", true));
    ASSERT_NE(material->textures[2], nullptr);
    EXPECT_EQ(material->textures[2]->Get(), common->Get());
}

TEST_F(ShinyCube, WithTwoStagesOnlyTheCoordinatesChange) {
    Make(2);
    ASSERT_TRUE(WriteModel("Models/Ball.ZKM", tools::BallModel("Ball.ZKT", 1.0f, 8, 4)));
    std::unique_ptr<D3D8Mesh> ball(MeshFactory::Instance().GetByName("Models\\Ball.ZKM", true));
    const ShaderPassSet* pass = static_cast<D3D8ShinyMesh*>(ball.get())->Subsets()[0].shader;
    EXPECT_EQ(pass->stageMask, 3);
    EXPECT_EQ(pass->stages[1].coord, 0x30000u | 1u);  // keeps its set number
    EXPECT_EQ(pass->stages[1].colorOp, uint32_t(gfx::top::ADD));
}

// ---------------------------------------------------------------------------------------------
// Environment cube

class CountingScene : public EnvironmentScene {
public:
    void BeginFrame(Camera&) override { ++beginFrames; }
    void Cull(Camera&) override { ++culls; }
    void DrawLayers(Camera& c, int32_t level) override {
        levels.push_back(level);
        looks.push_back(c.view.m[2][2]);  // part of the face's look direction
        cameras.push_back(c);
    }
    int beginFrames = 0, culls = 0;
    std::vector<int32_t> levels;
    std::vector<float> looks;
    std::vector<Camera> cameras;
};

class CubeFaces : public ShinyCube {
protected:
    void MakeCube(uint32_t stages) {
        Make(stages);
        cube = rig->facility->GetTextureManager()->CreateEnvironmentCube(EnvironmentCube::kSize);
        EnvironmentCube::SetGlobal(cube);
        view.farPlane = 4000.0f;
    }
    // The colour of the fill the sprite renderer drew last (its first vertex).
    uint32_t LastFill() {
        const std::vector<uint8_t>& bytes = rig->device->lastUnlockedData;
        uint32_t c = 0;
        if (bytes.size() >= sizeof(SpriteVertex)) memcpy(&c, bytes.data() + 16, 4);
        return c;
    }
    EnvironmentCube* cube = nullptr;
    Camera view;
    CountingScene scene;
};

TEST_F(CubeFaces, LevelsFollowTheOptionAndFacesTurnWithTheView) {
    MakeCube(8);
    const struct { int32_t option, level, passes; } cases[] = {{0, -1, 0}, {1, 0, 0}, {2, 1, 6}, {3, 2, 6}};
    for (const auto& c : cases) {
        scene = CountingScene();
        rig->device->ClearCalls();
        EnvironmentCube::RenderWorld(scene, {1, 2, 3}, view, c.option);
        EXPECT_EQ(scene.levels, std::vector<int32_t>(6, c.level)) << c.option;
        EXPECT_EQ(scene.beginFrames, c.passes) << c.option;
        EXPECT_EQ(scene.culls, c.passes) << c.option;
        EXPECT_EQ(rig->device->Count("SetRenderTarget cube"), 6);
        EXPECT_EQ(rig->device->Count("SetRenderTarget back"), 1);
        EXPECT_EQ(rig->device->Count("Clear 6"), 6);  // depth and stencil, never the colour
        EXPECT_EQ(rig->device->Count("DrawIndexedPrimitive 5"), 0);  // no darkening with 8 stages
    }
    // Each face camera: 90 degrees, near 1, the view's far plane, at the position, black fog.
    const Camera& face = scene.cameras[0];
    EXPECT_FLOAT_EQ(face.fov, HalfPi);
    EXPECT_EQ(face.nearPlane, 1.0f);
    EXPECT_EQ(face.farPlane, 4000.0f);
    EXPECT_EQ(face.position, Vector3(1, 2, 3));
    EXPECT_EQ(face.fogColor, Color::FromBytes(0, 0, 0, 0));
    EXPECT_EQ(face.viewport, (Rect{0, 0, 256, 256}));
    // Face 0 looks along the view's +x (camera space), whatever the view's orientation: a
    // point there is straight ahead of it.
    view.orientation = Quaternion(Vector3(0, 1, 0), 0.7f);
    EnvironmentCube::RenderWorld(scene, {0, 0, 0}, view, 3);
    view.RebuildView();
    for (int f = 0; f < 6; ++f) {
        static const Vector3 axes[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 1, 0}, {0, -1, 0}, {0, 0, 1}, {0, 0, -1}};
        // The world direction of the view's camera-space axis.
        Matrix4 inverse;
        ASSERT_TRUE(view.view.Invert(inverse));
        const Vector3 world = inverse.TransformNormal(axes[f]);
        const Camera& c = scene.cameras[size_t(6 + f)];
        const Vector3 inFace = c.view.TransformNormal(world);
        EXPECT_NEAR(inFace.z, 1.0f, 1e-4f) << "face " << f;
    }
    // The screen is the face's while the cube draws and the display's afterwards.
    EXPECT_EQ(rig->facility->ScreenWidth(), 64);
}

TEST_F(CubeFaces, FewStagesDarkenTheWorldAndThePreviewIsBlack) {
    MakeCube(2);
    rig->device->ClearCalls();
    EnvironmentCube::RenderWorld(scene, {0, 0, 0}, view, 0);
    EXPECT_EQ(rig->device->Count("DrawIndexedPrimitive 5"), 6);  // one fill per face
    EXPECT_EQ(LastFill(), 0xD8000000u);
    scene = CountingScene();
    EnvironmentCube::RenderPreview(scene, {0, 0, 0}, view, 3);
    EXPECT_EQ(LastFill(), 0xFF000000u);
    EXPECT_EQ(scene.beginFrames, 0);  // the preview never culls
    EXPECT_EQ(scene.cameras[0].farPlane, 400.0f);
}

TEST_F(CubeFaces, WithoutACubeOrATargetNothingIsDrawn) {
    Make(8);
    EnvironmentCube::RenderWorld(scene, {0, 0, 0}, view, 0);
    EnvironmentCube::RenderPreview(scene, {0, 0, 0}, view, 0);
    EXPECT_TRUE(scene.levels.empty());
    // A cube whose target cannot be made is inert, and logged.
    LogCapture log;
    rig->device->cubeTargets = false;
    cube = rig->facility->GetTextureManager()->CreateEnvironmentCube(EnvironmentCube::kSize);
    ASSERT_NE(cube, nullptr);
    EXPECT_FALSE(cube->Usable());
    EXPECT_TRUE(log.Contains("D3D8TEXTUREMANAGER: Environment cube of 256 could not be made"));
    EnvironmentCube::SetGlobal(cube);
    rig->device->ClearCalls();
    EnvironmentCube::RenderWorld(scene, {0, 0, 0}, view, 0);
    EnvironmentCube::RenderPreview(scene, {0, 0, 0}, view, 0);
    EXPECT_EQ(rig->device->Count("SetRenderTarget"), 0);
    // Nor does the screen get the faces' clears, world or fills in its place.
    EXPECT_TRUE(scene.levels.empty());
    EXPECT_EQ(rig->device->Count("Clear"), 0);
    EXPECT_EQ(rig->device->Count("Draw"), 0);
    EXPECT_EQ(cube->Handle()->DeviceTexture()->texture, nullptr);  // binds as no texture
    // A reset that can make it again brings it back.
    rig->device->cubeTargets = true;
    rig->device->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    rig->facility->EndScene();
    EXPECT_TRUE(cube->Usable());
    // A face drawn outside Begin and End has no cube face to go to either.
    rig->device->ClearCalls();
    EnvironmentCube::RenderWorldFace(scene, {0, 0, 0}, view, 0, 0);
    EXPECT_TRUE(scene.levels.empty());
    EXPECT_EQ(rig->device->Count("Clear"), 0);
    EnvironmentCube::RenderWorld(scene, {0, 0, 0}, view, 0);
    EXPECT_EQ(scene.levels.size(), 6u);
}

}  // namespace
