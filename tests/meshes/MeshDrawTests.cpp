// Meshes, quads and the environment cube drawn by the real GL device (offscreen): a crate, a
// figure with an arm turned by its animation, a ball reflecting a coloured room the right way
// round, a ground of more than 65536 vertices, 10,000 quads in one draw, quads after a shiny
// mesh, and pose and cube surviving a device reset.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <memory>

#include "engine/core/Camera.h"
#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8AnimatedMesh.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8LargeMesh.h"
#include "engine/render/D3D8ShinyMesh.h"
#include "engine/render/EnvironmentCube.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/QuadBatchRenderer.h"
#include "tests/meshes/MeshTestSupport.h"

using testing_support::TempWorkDir;
using namespace meshtest;

namespace {

constexpr int kW = 96, kH = 72;
constexpr uint32_t kBackground = 0xFF101010u;

D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
        auto r = std::make_unique<D3D8RenderFacility>();
        r->ChooseDevice(-1);
        r->RequestMode({kW, kH, 32, 60});
        r->CreateDevice(false);
        if (!r->DeviceReady()) abort();
        return r;
    }();
    return *f;
}

bool Near(uint32_t a, uint32_t b, int tolerance = 3) {
    for (int s : {0, 8, 16})
        if (std::abs(int((a >> s) & 0xFF) - int((b >> s) & 0xFF)) > tolerance) return false;
    return true;
}

// A pass set that shows the vertex colour, unlit, over everything.
ShaderDescription VertexColour() {
    ShaderDescription d;
    d.stageMask = 1;
    d.stages[0].colorOp = 1;  // select argument 1: diffuse
    d.stages[0].colorArg1 = 1;
    d.stages[0].alphaOp = 1;
    d.stages[0].alphaArg1 = 1;
    return d;
}

class MeshDraw : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(f.DeviceReady());
        f.SetCullMode(1);
        camera.SetViewport(Rect{0, 0, kW, kH});
        camera.position = {0, 0, 0};
        camera.orientation = Quaternion();
        camera.SetFogColor(Color::FromARGB(kBackground));
        camera.RebuildProjection();
        camera.RebuildView();
        camera.UpdateFrustum();
        f.GetMatrixStack()->LoadIdentity();
    }
    // Clears and starts drawing with the test camera.
    void Begin() {
        f.PushState(&camera);
        f.Clear(kClearTarget | kClearDepth | kClearStencil);
    }
    void End() { f.PopState(); }
    uint32_t Pixel(int x, int y) {
        uint32_t p = 0;
        f.Device()->ReadPixels(true, x, y, 1, 1, &p);
        return p;
    }
    uint32_t PixelAt(const Vector3& world) {
        const Vector2 s = camera.Project(world);
        return Pixel(int(s.x), int(s.y));
    }
    void Place(const Vector3& p) { f.GetMatrixStack()->Load(Matrix4::Translation(p.x, p.y, p.z)); }

    D3D8RenderFacility& f = Facility();
    TempWorkDir dir;
    EngineOn engine{&f};
    Camera camera;
};

TEST_F(MeshDraw, ACrateShowsItsTexture) {
    ASSERT_TRUE(WriteModel("Models/Box.ZKM", tools::CrateModel("Box.ZKT", 1.0f)));
    ASSERT_TRUE(WriteSolidTexture("Textures/Box.ZKT", 0xFFC02010u));
    std::unique_ptr<D3D8Mesh> box(MeshFactory::Instance().GetByName("Models\\Box.ZKM", true));
    ASSERT_NE(dynamic_cast<D3D8ShinyMesh*>(box.get()), nullptr);
    Begin();
    Place({0, 0, -6});
    box->Render();
    End();
    EXPECT_TRUE(Near(PixelAt({0, 0, -5}), 0xFFC02010u)) << std::hex << PixelAt({0, 0, -5});
    EXPECT_EQ(Pixel(1, 1), kBackground);
}

TEST_F(MeshDraw, TheFiguresArmFollowsItsBoneAndKeepsItsPoseThroughAReset) {
    ASSERT_TRUE(WriteModel("Models/Figure.ZKM", tools::FigureModel("Figure.ZKT")));
    ASSERT_TRUE(WriteSolidTexture("Textures/Figure.ZKT", 0xFF20C040u));
    // One key: the right arm turned a quarter about its shoulder, so it points sideways.
    tools::ZkaAnimation turn;
    turn.bones = {"ArmR"};
    const Vector3 shoulder{0.5f, 2.05f, 0};
    Matrix4 m = Matrix4::Translation(-shoulder.x, -shoulder.y, -shoulder.z) * Matrix4::RotationZ(HalfPi);
    m.Translate(shoulder.x, shoulder.y, shoulder.z);
    turn.keys = {{1.0f, {m}}};
    ASSERT_TRUE(tools::WriteZka("Turn.ZKA", turn));
    BoneAnimation animation("Turn.ZKA");
    std::unique_ptr<D3D8Mesh> figure(MeshFactory::Instance().GetByName("Models\\Figure.ZKM", true));
    ASSERT_NE(dynamic_cast<D3D8AnimatedMesh*>(figure.get()), nullptr);
    const Vector3 place{0, -1.6f, -6};
    const Vector3 hanging = place + Vector3(0.5f, 1.4f, 0);       // where the arm hangs unposed
    const Vector3 raised = place + m.TransformCoord({0.5f, 1.4f, 0});  // where the posed arm is
    Begin();
    Place(place);
    figure->Render();
    End();
    EXPECT_TRUE(Near(PixelAt(hanging), 0xFF20C040u));
    EXPECT_EQ(PixelAt(raised), kBackground);

    figure->AddAnimation(&animation);
    figure->PlayAnimation(&animation, D3D8AnimatedMesh::kEndless, false);
    figure->Step(0.01f);
    auto draw = [&] {
        Begin();
        Place(place);
        figure->Render();
        End();
    };
    draw();
    EXPECT_EQ(PixelAt(hanging), kBackground);
    EXPECT_TRUE(Near(PixelAt(raised), 0xFF20C040u));
    // A device reset takes the skinned vertices away and gives them back in the same pose.
    f.Device()->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.EndScene();
    ASSERT_TRUE(f.DeviceReady());
    f.SetCullMode(1);
    draw();
    EXPECT_TRUE(Near(PixelAt(raised), 0xFF20C040u));
    EXPECT_EQ(PixelAt(hanging), kBackground);
}

TEST_F(MeshDraw, AGroundOfMoreThan65536VerticesIsALargeMesh) {
    ASSERT_TRUE(WriteModel("Models/Ground.ZKM", tools::GroundModel("Ground.ZKT", 257, 100.0f)));
    ASSERT_TRUE(WriteSolidTexture("Textures/Ground.ZKT", 0xFF806040u));
    std::unique_ptr<D3D8Mesh> ground(MeshFactory::Instance().GetByName("Models\\Ground.ZKM", true));
    ASSERT_NE(dynamic_cast<D3D8LargeMesh*>(ground.get()), nullptr);
    camera.position = {0, 5, 30};
    camera.RebuildView();
    Begin();
    ground->Render();
    End();
    EXPECT_TRUE(Near(Pixel(kW / 2, kH - 2), 0xFF806040u)) << std::hex << Pixel(kW / 2, kH - 2);
    EXPECT_EQ(Pixel(kW / 2, 1), kBackground);
}

// A room around the cube: each wall 50 units away along one axis, in its own colour.
class ColouredRoom : public EnvironmentScene {
public:
    explicit ColouredRoom(D3D8RenderFacility& f) : f_(f) { pass_ = f.AddShader(VertexColour()); }
    void BeginFrame(Camera&) override { ++frames; }
    void Cull(Camera&) override { ++culls; }
    void DrawLayers(Camera&, int32_t level) override {
        lastLevel = level;
        f_.ApplyShaderPass(pass_);
        f_.SetCullMode(0);
        f_.GetMatrixStack()->Push();
        f_.GetMatrixStack()->Load(Matrix4::Translation(centre.x, centre.y, centre.z));
        D3D8GeomRenderer* g = f_.GetGeomRenderer();
        for (int axis = 0; axis < 3; ++axis)
            for (int sign = 0; sign < 2; ++sign) {
                const uint32_t colour = kColours[axis * 2 + sign];
                auto at = [&](float a, float b) {
                    Vector3 p;
                    p[axis] = sign ? -50.0f : 50.0f;
                    p[(axis + 1) % 3] = a;
                    p[(axis + 2) % 3] = b;
                    return p;
                };
                g->DrawTriangle(at(-80, -80), at(80, -80), at(80, 80), &colour);
                g->DrawTriangle(at(-80, -80), at(80, 80), at(-80, 80), &colour);
            }
        f_.GetMatrixStack()->Pop();
        f_.SetCullMode(1);
    }
    // +X, -X, +Y, -Y, +Z, -Z.
    static constexpr uint32_t kColours[6] = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFF00u, 0xFF00FFFFu, 0xFFFF00FFu};
    Vector3 centre;
    int frames = 0, culls = 0, lastLevel = -9;

private:
    D3D8RenderFacility& f_;
    ShaderPassSet* pass_;
};

TEST_F(MeshDraw, TheBallReflectsTheRoomTheRightWayRoundAndAfterAReset) {
    ASSERT_TRUE(WriteModel("Models/Ball.ZKM", tools::BallModel("Ball.ZKT", 1.0f, 32, 16)));
    ASSERT_TRUE(WriteSolidTexture("Textures/Ball.ZKT", 0xFF000000u));
    ASSERT_TRUE(WriteSolidTexture("Textures/Ball_S.ZKT", 0xFFFFFFFFu));
    std::unique_ptr<D3D8Mesh> ball(MeshFactory::Instance().GetByName("Models\\Ball.ZKM", true));
    ASSERT_NE(dynamic_cast<D3D8ShinyMesh*>(ball.get()), nullptr);
    EnvironmentCube* cube = EnvironmentCube::Global();
    ASSERT_NE(cube, nullptr);
    ASSERT_TRUE(cube->Usable());
    const Vector3 centre{0, 0, -5};
    ColouredRoom room(f);
    room.centre = centre;
    auto check = [&](const char* when) {
        EnvironmentCube::RenderWorld(room, centre, camera, 3);
        EXPECT_EQ(room.lastLevel, 2) << when;
        Begin();
        Place(centre);
        ball->Render();
        End();
        // Camera space is where the faces were turned: the ball's middle reflects what lies
        // behind the viewer, its sides what lies to the sides (the camera looks along -z with
        // its right along -x).
        const float s = std::sin(QuarterPi), c = std::cos(QuarterPi);
        const struct {
            Vector3 normal;
            uint32_t expected;
            const char* where;
        } looks[] = {{{0, 0, 1}, ColouredRoom::kColours[4], "middle"}, {{s, 0, c}, ColouredRoom::kColours[0], "left"},
                     {{-s, 0, c}, ColouredRoom::kColours[1], "right"}, {{0, s, c}, ColouredRoom::kColours[2], "top"},
                     {{0, -s, c}, ColouredRoom::kColours[3], "bottom"}};
        for (const auto& l : looks)
            EXPECT_TRUE(Near(PixelAt(centre + l.normal), l.expected, 24))
                << when << " " << l.where << std::hex << " got " << PixelAt(centre + l.normal);
    };
    check("first");
    EXPECT_EQ(room.frames, 6);
    EXPECT_EQ(room.culls, 6);
    f.Device()->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.EndScene();
    ASSERT_TRUE(cube->Usable());
    f.SetCullMode(1);
    check("after a reset");
    // The preview draws the faces black whatever the room shows.
    EnvironmentCube::RenderPreview(room, centre, camera, 3);
    Begin();
    Place(centre);
    ball->Render();
    End();
    EXPECT_TRUE(Near(PixelAt(centre + Vector3(0, 0, 1)), 0xFF000000u, 8));
}

TEST_F(MeshDraw, TenThousandQuadsInOneDrawEvenAfterAShinyMesh) {
    ASSERT_TRUE(WriteModel("Models/Box.ZKM", tools::CrateModel("Box.ZKT", 0.5f)));
    ASSERT_TRUE(WriteSolidTexture("Textures/Box.ZKT", 0xFF3050C0u));
    std::unique_ptr<D3D8Mesh> box(MeshFactory::Instance().GetByName("Models\\Box.ZKM", true));
    QuadBatchRenderer* quads = f.GetQuadBatchRenderer();
    ASSERT_NE(quads, nullptr);
    ShaderPassSet* pass = f.AddShader(VertexColour());
    std::vector<QuadRecord*> made;
    for (int i = 0; i < 10000; ++i) {
        QuadRecord* q = quads->CreateQuad();
        q->position = {-3.0f + 6.0f * float(i % 100) / 99.0f, 4.0f - float(i / 100) * 0.02f, -10};  // above the crate
        q->size = 0.3f;
        q->diffuse = 0xFFE0E020u;
        q->pass = pass;
        made.push_back(q);
    }
    Begin();
    // Quads first, so the facility holds their buffers bound; then the crate binds its own
    // behind the facility's back; then the quads again.
    quads->Submit(made.front());
    quads->Flush(&camera);
    Place({0, 0, -6});
    box->Render();
    for (QuadRecord* q : made) quads->Submit(q);
    const uint64_t draws = f.Device()->Stats().draws;
    quads->Flush(&camera);
    EXPECT_EQ(f.Device()->Stats().draws, draws + 1);
    End();
    EXPECT_TRUE(Near(PixelAt({0, 0, -5.5f}), 0xFF3050C0u));
    EXPECT_TRUE(Near(PixelAt({-1.0f, 3.0f, -10}), 0xFFE0E020u)) << std::hex << PixelAt({-1.0f, 3.0f, -10});
    for (QuadRecord* q : made) {
        quads->RemoveQuad(q);
        delete q;
    }
}

}  // namespace
