// The render facility on the real GL device: modes, device creation, clears and grabs, pass
// sets and materials drawn per draw, cameras, lights, buffers, device loss with restore, the
// matrix stack and the frame statistics.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <memory>
#include <thread>

#include "engine/core/Camera.h"
#include "engine/core/Engine.h"
#include "engine/render/D3D8LightManager.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MatrixStack.h"
#include "platform/window/Window.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/VsAssembler.h"

namespace {

constexpr int kW = 64, kH = 48;

// One facility (and so one GL context) for the binary.
D3D8RenderFacility& Facility() {
    static std::unique_ptr<D3D8RenderFacility> f = [] {
        auto r = std::make_unique<D3D8RenderFacility>();
        r->ChooseDevice(-1);
        r->RequestMode({kW, kH, 32, 60});
        r->CreateDevice(false);
        return r;
    }();
    return *f;
}

uint32_t Pixel(D3D8RenderFacility& f, int x, int y) {
    uint32_t p = 0;
    f.Device()->ReadPixels(true, x, y, 1, 1, &p);
    return p;
}

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
constexpr uint32_t kScreenFormat = 1 | 2 | 8 | 32;  // engine word: position, pre-transformed, diffuse, one set

// Fills a static buffer with a quad over [x0, x1) x [y0, y1).
void FillQuad(StaticVertexBuffer* vb, float x0, float y0, float x1, float y1, uint32_t c) {
    ScreenVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, 0.5f, 1, c, 0, 0}, {x1 - 0.5f, y0 - 0.5f, 0.5f, 1, c, 1, 0},
                         {x0 - 0.5f, y1 - 0.5f, 0.5f, 1, c, 0, 1}, {x1 - 0.5f, y1 - 0.5f, 0.5f, 1, c, 1, 1}};
    memcpy(vb->data(), v, sizeof v);
    vb->Update(0, 4);
}

void DrawQuad(D3D8RenderFacility& f, StaticVertexBuffer* vb) {
    f.SetVertexShaderHandle(vb->fvf);
    f.SetStreamSource(vb->DeviceBuffer(), vb->stride);
    f.Device()->DrawPrimitive(gfx::prim::TRIANGLESTRIP, 0, 2);
}

ShaderDescription OpaqueDiffuse() {
    ShaderDescription d;
    d.stageMask = 1;
    d.stages[0].colorOp = 1;    // select arg 1
    d.stages[0].colorArg1 = 1;  // diffuse
    d.stages[0].alphaOp = 1;
    d.stages[0].alphaArg1 = 1;
    return d;
}

class FacilityTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(f.DeviceReady());
        f.SetCullMode(0);
    }
    D3D8RenderFacility& f = Facility();
};

TEST_F(FacilityTest, ListsSyntheticModesAt60HzAndTakesWindowSizes) {
    ASSERT_EQ(f.Modes().size(), 16u);
    for (const DisplayMode& m : f.Modes()) EXPECT_EQ(m.refreshRate, 60);
    EXPECT_EQ(f.Adapters().size(), 1u);
    EXPECT_EQ(f.CurrentMode().width, kW);
    EXPECT_EQ(f.ScreenHeight(), kH);
    EXPECT_TRUE(f.HasStencil());
}

TEST_F(FacilityTest, ClearUsesTheCameraFogColourAndGrabReadsRowsFromTheTop) {
    Camera cam;
    cam.SetViewport(Rect{0, 0, kW, kH});
    cam.SetFogColor(Color(0x20, 0x40, 0x80, 1.0f));
    f.PushState(&cam);
    f.BeginScene();
    f.Clear(kClearTarget | kClearDepth);
    EXPECT_EQ(Pixel(f, 5, 5) & 0x00FFFFFFu, 0x204080u);
    f.PopState();
    f.Clear(kClearTarget);
    EXPECT_EQ(Pixel(f, 5, 5), 0xFF000000u);

    StaticVertexBuffer* vb = f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false);
    ShaderPassSet* set = f.AddShader(OpaqueDiffuse());
    f.ApplyShaderPass(set);
    FillQuad(vb, 10, 2, 14, 6, 0xFFFF0000u);
    DrawQuad(f, vb);
    f.EndScene();
    std::vector<uint32_t> shot = f.GrabScreen(false);
    ASSERT_EQ(shot.size(), size_t(kW * kH));
    EXPECT_EQ(shot[2 * kW + 10], 0xFFFF0000u);
    EXPECT_EQ(shot[5 * kW + 13], 0xFFFF0000u);
    EXPECT_EQ(shot[6 * kW + 10], 0xFF000000u);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseShader(set);
}

TEST_F(FacilityTest, PassSetsAreSharedByTheirEffectiveStates) {
    ShaderDescription a = OpaqueDiffuse();
    ShaderDescription b = a;
    b.stages[3].colorOp = 5;  // beyond the first clear bit
    b.stages[0].resultArg = 7;
    ShaderPassSet* pa = f.AddShader(a);
    ShaderPassSet* pb = f.AddShader(b);
    EXPECT_EQ(pa, pb);
    EXPECT_EQ(pa->refCount, 2u);
    ShaderDescription c = a;
    c.alphaFunc = 9;
    ShaderPassSet* pc = f.AddShader(c);
    EXPECT_NE(pc, pa);
    EXPECT_EQ(pc->alphaFunc, kUnsetCode);
    EXPECT_TRUE(pc->flags & ShaderPassSet::kAlphaTest);
    ShaderDescription none = a;
    none.stageMask = 0;
    ShaderPassSet* pn = f.AddShader(none);
    f.ApplyShaderPass(pn);
    EXPECT_EQ(f.CachedStageState(0, gfx::tss::COLOROP), gfx::top::DISABLE);
    f.ApplyDrawStates(nullptr);
    EXPECT_EQ(f.CachedRenderState(gfx::rs::STENCILREF), 1u);
    // Releasing the current pass set or the stencil override clears those pointers.
    f.SetStencilOverride(pn);
    f.ReleaseShader(pn);
    EXPECT_EQ(f.CurrentPassSet(), nullptr);
    for (auto* p : {pa, pb, pc}) f.ReleaseShader(p);
}

TEST_F(FacilityTest, MaterialsShareAndReleasingTheCurrentClearsIt) {
    MaterialDescription d;
    d.power = 4.0f;
    Material* m1 = f.AddMaterial(d);
    Material* m2 = f.AddMaterial(d);
    EXPECT_EQ(m1, m2);
    EXPECT_EQ(m1->refCount, 2u);
    f.ReleaseMaterial(m1);
    ASSERT_EQ(m1->refCount, 1u);
    f.ApplyMaterial(m1);
    EXPECT_EQ(f.CurrentMaterial(), m1);
    f.ReleaseMaterial(m1);
    EXPECT_EQ(f.CurrentMaterial(), nullptr);
}

// After a reset the device holds the default material and every cached state is unknown: the
// first apply of the material that is current again sends it, the first set of any state
// reaches the device even with the value set before.
TEST_F(FacilityTest, ResetForgetsCachedStatesAndResendsTheCurrentMaterial) {
    MaterialDescription d;
    d.diffuseAlpha = 255;
    d.ambient = Color(0xFF, 0x40, 0x80, 0xC0);
    Material* m = f.AddMaterial(d);
    f.ApplyMaterial(m);
    f.SetRenderState(gfx::rs::ALPHABLENDENABLE, 0);
    f.SetCullMode(7);
    EXPECT_EQ(f.CachedRenderState(gfx::rs::CULLMODE), gfx::cull::CW);
    f.Device()->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.BeginScene();
    f.EndScene();
    ASSERT_EQ(f.Device()->TestCooperativeLevel(), gfx::CoopState::OK);
    EXPECT_EQ(f.CachedRenderState(gfx::rs::ALPHABLENDENABLE), D3D8RenderFacility::kUnknownState);
    const uint64_t before = f.Device()->Stats().redundantSets;
    f.SetRenderState(gfx::rs::ALPHABLENDENABLE, 0);  // the device's default, sent all the same
    EXPECT_EQ(f.Device()->Stats().redundantSets, before + 1);
    ASSERT_EQ(f.CurrentMaterial(), f.Materials().front());
    Material* current = f.CurrentMaterial();
    EXPECT_EQ(f.Device()->GetMaterial(), gfx::MaterialColors());
    f.ApplyMaterial(current);
    EXPECT_FLOAT_EQ(f.Device()->GetMaterial().ambient.b, current->record->ambient[2]);
    EXPECT_FLOAT_EQ(f.Device()->GetMaterial().diffuse.a, current->record->diffuse[3]);
    f.ReleaseMaterial(m);
}

TEST_F(FacilityTest, PassSetBlendsPerDraw) {
    StaticVertexBuffer* vb = f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false);
    ShaderDescription d = OpaqueDiffuse();
    d.blend = 1;
    d.srcBlend = 6;  // source alpha
    d.dstBlend = 7;  // inverse source alpha
    ShaderPassSet* blend = f.AddShader(d);
    ShaderPassSet* opaque = f.AddShader(OpaqueDiffuse());
    f.Clear(kClearTarget);
    f.ApplyShaderPass(opaque);
    FillQuad(vb, 0, 0, 8, 8, 0xFF0000FFu);
    DrawQuad(f, vb);
    f.ApplyShaderPass(blend);
    FillQuad(vb, 0, 0, 8, 8, 0x80FF0000u);
    DrawQuad(f, vb);
    uint32_t p = Pixel(f, 4, 4);
    EXPECT_NEAR(int((p >> 16) & 0xFF), 128, 2);
    EXPECT_NEAR(int(p & 0xFF), 127, 2);
    f.ApplyShaderPass(opaque);
    FillQuad(vb, 0, 0, 8, 8, 0x80FF0000u);
    DrawQuad(f, vb);
    EXPECT_EQ(Pixel(f, 4, 4), 0xFFFF0000u);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseShader(blend);
    f.ReleaseShader(opaque);
}

TEST_F(FacilityTest, CameraStackRefusesOverflowAndUnderflow) {
    Camera cams[9];
    for (auto& c : cams) c.SetViewport(Rect{0, 0, 32, 32});
    testing_support::LogCapture log;
    for (int i = 0; i < 8; ++i) f.PushState(&cams[i]);
    f.PushState(&cams[8]);  // refused
    EXPECT_EQ(f.CurrentCamera(), &cams[7]);
    EXPECT_EQ(f.PopState(), &cams[7]);
    EXPECT_EQ(f.CurrentCamera(), &cams[6]);
    for (int i = 0; i < 7; ++i) f.PopState();
    EXPECT_EQ(f.CurrentCamera(), nullptr);
    EXPECT_EQ(f.PopState(), nullptr);  // refused, nothing changes
    EXPECT_EQ(f.ViewportWidth(), kW);
}

TEST_F(FacilityTest, ViewportClampsToTheScreen) {
    Rect r{-5, -3, 1000, 20};
    f.SetViewport(&r);
    EXPECT_EQ(f.ViewportWidth(), kW);
    EXPECT_EQ(f.ViewportHeight(), 20);
    f.SetViewport(nullptr);
    EXPECT_EQ(f.ViewportHeight(), kH);
}

TEST_F(FacilityTest, LightsHandOutIndicesAndKeepTheirLists) {
    auto* lm = static_cast<D3D8LightManager*>(f.GetLightManager());
    ASSERT_NE(lm, nullptr);
    D3D8DirectionalLight* a = lm->CreateDirectionalLight();
    D3D8PointLight* b = lm->CreatePointLight();
    D3D8SpotLight* c = lm->CreateSpotLight();
    EXPECT_EQ(b->Index(), a->Index() + 1);
    EXPECT_EQ(c->Index(), a->Index() + 2);
    EXPECT_FLOAT_EQ(a->Record().direction.z, -2.0f);
    a->Enable();
    a->Enable();
    EXPECT_EQ(lm->DirectionalLights().size(), 1u);
    a->intensity = 1.5f;
    a->diffuseSource = Vector4{0.5f, 0.5f, 0.5f, 1.0f};
    lm->ApplyLights();
    EXPECT_FLOAT_EQ(a->Record().diffuse.r, 0.5f);
    a->intensity = -0.5f;
    a->Apply();
    EXPECT_FLOAT_EQ(a->Record().diffuse.r, 0.0f);
    c->Enable();
    EXPECT_EQ(lm->SpotLights().size(), 1u);
    delete c;  // deleting an enabled light takes it off the list
    EXPECT_TRUE(lm->SpotLights().empty());
    a->Disable();
    a->Disable();
    EXPECT_TRUE(lm->DirectionalLights().empty());
    EXPECT_FALSE(f.Device()->IsLightEnabled(a->Index()));
    delete a;
    delete b;
}

TEST_F(FacilityTest, ForcedLossResetsAndRestoresEveryBuffer) {
    StaticVertexBuffer* vb = f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false);
    DynamicVertexBuffer* dvb = f.CreateDynamicVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 16, false);
    StaticIndexBuffer* ib = f.CreateIndexBuffer(6, 4, false);
    ShaderPassSet* set = f.AddShader(OpaqueDiffuse());
    FillQuad(vb, 0, 0, 8, 8, 0xFF00FF00u);
    f.Device()->ForceCooperativeLevel(gfx::CoopState::LOST);
    {
        testing_support::LogCapture log;
        f.BeginScene();
        f.EndScene();
    }
    f.Device()->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.BeginScene();
    f.EndScene();  // resets: buffers released, device reset, buffers made and refilled
    EXPECT_EQ(f.Device()->TestCooperativeLevel(), gfx::CoopState::OK);
    ASSERT_NE(vb->DeviceBuffer(), nullptr);
    ASSERT_NE(dvb->DeviceBuffer(), nullptr);
    ASSERT_NE(ib->DeviceBuffer(), nullptr);
    f.Clear(kClearTarget);
    f.ApplyShaderPass(set);
    DrawQuad(f, vb);
    EXPECT_EQ(Pixel(f, 3, 3), 0xFF00FF00u);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseDynamicVertexBuffer(dvb);
    f.ReleaseIndexBuffer(ib);
    f.ReleaseShader(set);
}

// A directional light made by the light manager lights a surface through a lighting pass set
// and a material; the manager's update darkens it; after a device reset the listed light is set
// and switched on again, and a static index buffer draws with its old contents.
TEST_F(FacilityTest, LightsAndIndexBuffersComeBackAfterAReset) {
    auto* lm = static_cast<D3D8LightManager*>(f.GetLightManager());
    D3D8DirectionalLight* sun = lm->CreateDirectionalLight();  // identity orientation: towards -z
    sun->diffuseSource = Vector4{0.5f, 0.25f, 1.0f, 1.0f};
    sun->Enable();
    lm->ApplyLights();
    ShaderDescription lit = OpaqueDiffuse();
    lit.lighting = 1;
    ShaderPassSet* set = f.AddShader(lit);
    MaterialDescription md;
    md.emissive = Color::FromBytes(0, 0, 0, 0);
    md.ambient = Color::FromBytes(0, 0, 0, 0);
    md.power = 3.0f;  // a record of its own
    Material* material = f.AddMaterial(md);
    struct WorldVertex { float x, y, z, nx, ny, nz, u, v; };
    constexpr uint32_t kWorldFormat = 37;
    StaticVertexBuffer* vb = f.CreateVertexBuffer(kWorldFormat, sizeof(WorldVertex), 4, false);
    const WorldVertex quad[4] = {{-1, 1, 0.5f, 0, 0, 1, 0, 0}, {1, 1, 0.5f, 0, 0, 1, 1, 0},
                                 {-1, -1, 0.5f, 0, 0, 1, 0, 1}, {1, -1, 0.5f, 0, 0, 1, 1, 1}};
    memcpy(vb->data(), quad, sizeof quad);
    vb->Update(0, 4);
    StaticIndexBuffer* ib = f.CreateIndexBuffer(6, 4, false);
    const uint32_t order[6] = {0, 1, 2, 2, 1, 3};
    memcpy(ib->indices.get(), order, sizeof order);
    ib->Update(0, 6);
    auto draw = [&] {
        gfx::Device& d = *f.Device();
        for (uint32_t t : {gfx::ts::WORLD, gfx::ts::VIEW, gfx::ts::PROJECTION}) d.SetTransform(t, gfx::Mat4());
        f.Clear(kClearTarget);
        f.ApplyShaderPass(set);
        f.ApplyMaterial(material);
        f.SetVertexShaderHandle(vb->fvf);
        f.SetStreamSource(vb->DeviceBuffer(), vb->stride);
        f.SetIndices(ib->DeviceBuffer(), 0);
        d.DrawIndexedPrimitive(gfx::prim::TRIANGLELIST, 0, 4, 0, 2);
        return Pixel(f, kW / 2, kH / 2);
    };
    const uint32_t litColour = 0xFF000000u | 128u << 16 | 64u << 8 | 255u;
    auto near = [](uint32_t a, uint32_t b) {
        for (int sh : {0, 8, 16})
            if (std::abs(int((a >> sh) & 0xFF) - int((b >> sh) & 0xFF)) > 2) return false;
        return true;
    };
    EXPECT_TRUE(near(draw(), litColour)) << std::hex << draw();
    lm->UpdateLights();
    EXPECT_EQ(draw(), 0xFF000000u);
    f.Device()->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.BeginScene();
    f.EndScene();
    ASSERT_EQ(f.Device()->TestCooperativeLevel(), gfx::CoopState::OK);
    EXPECT_TRUE(f.Device()->IsLightEnabled(sun->Index()));
    EXPECT_EQ(lm->DirectionalLights().size(), 1u);
    EXPECT_TRUE(near(draw(), litColour)) << std::hex << draw();
    sun->Disable();
    delete sun;
    f.SetIndices(nullptr, 0);
    f.ReleaseIndexBuffer(ib);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseMaterial(material);
    f.ReleaseShader(set);
}

// In full screen a request picks a listed mode (first of any rate, else the highest rate of
// that size and depth) and the device resets to its size with every buffer restored; in a
// window the size is taken as asked and the depth stays the desktop's.
TEST_F(FacilityTest, ModeRequestsResizeTheBackBufferAndKeepBuffers) {
    plat::Window* window = plat::Window::Create("full screen", 0, 0, 800, 600, true);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(window->FullScreen());
    StaticVertexBuffer* vb = f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false);
    FillQuad(vb, 2, 2, 6, 6, 0xFF00FF00u);
    ShaderPassSet* set = f.AddShader(OpaqueDiffuse());
    f.SetWindow(window->NativeHandle());
    struct {
        DisplayMode request;
        bool ok;
        DisplayMode expected;
    } cases[] = {
        {{1024, 768, 16, -1}, true, {1024, 768, 16, 60}},
        {{640, 480, 32, 85}, true, {640, 480, 32, 60}},   // 85 Hz is not listed
        {{1000, 700, 32, -1}, false, {640, 480, 32, 60}},  // no such size: nothing changes
        {{800, 600, 24, 60}, false, {640, 480, 32, 60}},   // no such depth
    };
    for (auto& c : cases) {
        EXPECT_EQ(f.RequestMode(c.request), c.ok) << c.request.width;
        EXPECT_EQ(f.CurrentMode(), c.expected) << c.request.width;
        EXPECT_EQ(f.Device()->BackWidth(), c.expected.width);
        EXPECT_EQ(f.ScreenHeight(), c.expected.height);
    }
    EXPECT_EQ(f.GrabScreen(true).size(), size_t(640 * 480));
    f.Clear(kClearTarget);
    f.ApplyShaderPass(set);
    DrawQuad(f, vb);
    EXPECT_EQ(Pixel(f, 4, 4), 0xFF00FF00u);
    // Back in a window: the requested size with the depth in force.
    f.SetWindow(nullptr);
    EXPECT_TRUE(f.RequestMode({kW, kH, 16, 60}));
    EXPECT_EQ(f.CurrentMode().bitsPerPixel, 32);
    EXPECT_EQ(f.Device()->BackWidth(), kW);
    EXPECT_EQ(f.ViewportHeight(), kH);
    delete window;
    f.Clear(kClearTarget);
    f.ApplyShaderPass(set);
    DrawQuad(f, vb);
    EXPECT_EQ(Pixel(f, 4, 4), 0xFF00FF00u);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseShader(set);
}

// A reset that fails (a resource the facility does not know is still alive) is reported and
// retried at the next end of scene; nothing is restored against the device until it succeeds.
TEST_F(FacilityTest, FailedResetIsRetriedAtTheNextEndOfScene) {
    StaticVertexBuffer* vb = f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false);
    FillQuad(vb, 0, 0, 8, 8, 0xFF0000FFu);
    gfx::Buffer* stray = f.Device()->CreateVertexBuffer(64, gfx::fvf::XYZ, gfx::Pool::DEFAULT, false);
    testing_support::LogCapture log;
    f.Device()->ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.BeginScene();
    f.EndScene();
    EXPECT_TRUE(log.Contains("RESET FAILED!"));
    EXPECT_EQ(vb->DeviceBuffer(), nullptr);  // released for the reset, not made again
    f.BeginScene();
    f.EndScene();  // still failing, still no buffer
    EXPECT_EQ(vb->DeviceBuffer(), nullptr);
    f.Device()->ReleaseBuffer(stray);
    f.BeginScene();
    f.EndScene();  // the retry succeeds and restores
    ASSERT_NE(vb->DeviceBuffer(), nullptr);
    EXPECT_EQ(f.Device()->TestCooperativeLevel(), gfx::CoopState::OK);
    ShaderPassSet* set = f.AddShader(OpaqueDiffuse());
    f.Clear(kClearTarget);
    f.ApplyShaderPass(set);
    DrawQuad(f, vb);
    EXPECT_EQ(Pixel(f, 3, 3), 0xFF0000FFu);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseShader(set);
}

TEST_F(FacilityTest, IndexBuffersPickTheirWidthAndStageSixteenBitWrites) {
    StaticIndexBuffer* a = f.CreateIndexBuffer(3, 65536, false);
    StaticIndexBuffer* b = f.CreateIndexBuffer(3, 65537, false);
    EXPECT_FALSE(a->Is32());
    EXPECT_TRUE(b->Is32());
    {
        testing_support::LogCapture log;
        EXPECT_FALSE(a->Update(2, 2));  // past the end: nothing is written
        EXPECT_TRUE(a->Update(1, 2));
    }
    f.ReleaseIndexBuffer(a);
    f.ReleaseIndexBuffer(b);
    DynamicIndexBuffer* d = f.CreateDynamicIndexBuffer(8, 100, false);
    ASSERT_NE(d->Lock(0, 4, 1), nullptr);
    d->IndexRef(0) = 5;
    d->IndexRef(1) = 6;
    d->IndexRef(2) = 0x10007;
    d->Unlock();
    const auto* shadow = reinterpret_cast<const uint16_t*>(d->DeviceBuffer()->Shadow());
    EXPECT_EQ(shadow[0], 5);
    EXPECT_EQ(shadow[1], 6);
    EXPECT_EQ(shadow[2], 7);
    {
        testing_support::LogCapture log;
        EXPECT_EQ(d->Lock(6, 4, 0), nullptr);  // past the end
        d->IndexRef(0) = 9;                    // nothing locked: goes nowhere
    }
    EXPECT_EQ(shadow[0], 5);
    f.ReleaseDynamicIndexBuffer(d);
}

// Frames that switch pass sets, textures and buffers per draw: the facility's caches, the
// device's GL shadow and each program's uniform values let no call through that changes
// nothing (the clear's full-surface viewport comes and goes every frame), checked against GL
// itself. A frame that starts with a clear copies no target at its present.
TEST_F(FacilityTest, SteadyFramesSendNoRedundantState) {
    gfx::Device& d = *f.Device();
    StaticVertexBuffer* vbs[2] = {f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false),
                                  f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false)};
    FillQuad(vbs[0], 0, 0, 8, 8, 0xFFFF0000u);
    FillQuad(vbs[1], 8, 0, 16, 8, 0x800000FFu);
    ShaderDescription blend = OpaqueDiffuse();
    blend.blend = 1;
    blend.srcBlend = 6;
    blend.dstBlend = 7;
    ShaderDescription tested = OpaqueDiffuse();
    tested.alphaFunc = 5;
    tested.zFunc = 4;
    tested.stages[0].colorOp = 3;  // texture x diffuse
    tested.stages[0].colorArg1 = 2;
    ShaderPassSet* sets[3] = {f.AddShader(OpaqueDiffuse()), f.AddShader(blend), f.AddShader(tested)};
    gfx::Texture* tex[2] = {d.CreateTexture(2, 2, 1, gfx::format::A8R8G8B8, gfx::Pool::MANAGED),
                            d.CreateTexture(2, 2, 1, gfx::format::X8R8G8B8, gfx::Pool::MANAGED)};
    TextureStageBinding bind[2];
    bind[0].texture = tex[0];
    bind[1].texture = tex[1];
    bind[1].addressU = 3;
    Camera cam;
    cam.SetViewport(Rect{0, 0, kW, kH});
    auto frame = [&] {
        f.BeginScene();
        f.PushState(&cam);
        f.Clear(kClearTarget | kClearDepth);
        for (int i = 0; i < 24; ++i) {
            f.ApplyShaderPass(sets[i % 3]);
            f.ApplyDrawStates(nullptr);
            f.BindTextureObject(0, &bind[(i / 2) % 2]);
            DrawQuad(f, vbs[(i / 3) % 2]);
        }
        f.PopState();
        f.EndScene();
    };
    frame();
    d.Stats() = gfx::DeviceStats();
    d.SetStateAudit(true);
    frame();
    d.SetStateAudit(false);
    EXPECT_EQ(d.Stats().redundantGLCalls, 0u);
    EXPECT_EQ(d.Stats().redundantSets, 0u);
    EXPECT_EQ(d.Stats().draws, 24u);
    EXPECT_GT(d.Stats().glStateCalls, 0u);
    EXPECT_EQ(d.Stats().targetCopies, 0u);
    f.BindTextureObject(0, nullptr);
    for (auto* t : tex) d.ReleaseTexture(t);
    for (auto* vb : vbs) f.ReleaseVertexBuffer(vb);
    for (auto* s : sets) f.ReleaseShader(s);
}

// The world's two shaders as the demo tree writes them: both load; the lit pass lights a quad
// from the constants the static geometry sends; bad or missing files give null.
TEST_F(FacilityTest, LoadsTheWorldVertexShadersAndDrawsWithThem) {
    testing_support::TempWorkDir dir;
    std::filesystem::create_directories("Misc");
    ASSERT_TRUE(tools::WriteWorldVertexShaders("Misc/"));
    constexpr uint32_t kWorldFormat = 37;  // position, normal, one coordinate set
    VertexShader* first = f.LoadVertexShader(kWorldFormat, "Misc\\zkWorld1.vso");
    VertexShader* lit = f.LoadVertexShader(kWorldFormat, "MISC\\ZKWORLD2.VSO");
    ASSERT_NE(first, nullptr);
    ASSERT_NE(lit, nullptr);
    EXPECT_EQ(lit->declaration, gfx::fvf::XYZ | gfx::fvf::NORMAL | (1u << gfx::fvf::TEXCOUNT_SHIFT));
    {
        testing_support::LogCapture log;
        EXPECT_EQ(f.LoadVertexShader(kWorldFormat, "Misc\\missing.vso"), nullptr);
        std::vector<uint32_t> tokens = tools::AssembleVs11(tools::WorldVertexShaderSource(2));
        tokens.pop_back();  // no end token
        ASSERT_TRUE(tools::WriteVso("Misc/broken.vso", tokens));
        EXPECT_EQ(f.LoadVertexShader(kWorldFormat, "Misc\\broken.vso"), nullptr);
    }
    // Identity projection and view: positions are clip coordinates. Light 0 shines straight at
    // the quad's normal with half red and a quarter green; ambient and emissive add a quarter.
    float c[23][4] = {};
    for (int i = 0; i < 4; ++i) c[i][i] = 1.0f;
    for (int i = 0; i < 3; ++i) c[4 + i][i] = 1.0f;
    const float rest[][4] = {{0, 0, -1, 0}, {0, 1, 0, 0}, {0, 0, 0, 0}, {0.5f, 0.25f, 0, 0}, {}, {}, {0, 0, 0, 0},
                             {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {1, 1, 1, 1}, {1, 1, 1, 1}, {0.25f, 0.25f, 0.25f, 1},
                             {}, {1.0f / 1500, 0, -1.0f / 1500, 0.5f}, {1, 0, 0, 0}};
    memcpy(c[7], rest, sizeof rest);
    ASSERT_TRUE(f.SetVertexShaderConstant(0, c, 23));
    EXPECT_FALSE(f.SetVertexShaderConstant(90, c, 7));
    struct WorldVertex { float x, y, z, nx, ny, nz, u, v; };
    StaticVertexBuffer* vb = f.CreateVertexBuffer(kWorldFormat, sizeof(WorldVertex), 4, false);
    const WorldVertex quad[4] = {{-1, 1, 0.5f, 0, 0, -1, 0, 0}, {0, 1, 0.5f, 0, 0, -1, 1, 0},
                                 {-1, 0, 0.5f, 0, 0, -1, 0, 1}, {0, 0, 0.5f, 0, 0, -1, 1, 1}};
    memcpy(vb->data(), quad, sizeof quad);
    vb->Update(0, 4);
    ShaderPassSet* set = f.AddShader(OpaqueDiffuse());
    f.Clear(kClearTarget);
    f.ApplyShaderPass(set);
    f.SetVertexShader(lit);
    f.SetVertexShaderHandle(lit->handle);
    f.SetStreamSource(vb->DeviceBuffer(), vb->stride);
    f.Device()->DrawPrimitive(gfx::prim::TRIANGLESTRIP, 0, 2);
    uint32_t p = Pixel(f, kW / 4, kH / 4);
    EXPECT_NEAR(int((p >> 16) & 0xFF), 191, 2);
    EXPECT_NEAR(int((p >> 8) & 0xFF), 128, 2);
    EXPECT_NEAR(int(p & 0xFF), 64, 2);
    EXPECT_EQ(Pixel(f, kW - 4, kH - 4), 0xFF000000u);
    f.SetVertexShader(nullptr);
    f.SetVertexShaderHandle(0);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseShader(set);
}

// A loading thread makes a buffer, fills it and registers a pass set: the device work is handed
// to the main thread's task queue, which the frame runs, and the loader waits for it.
TEST_F(FacilityTest, DeviceWorkFromALoadingThreadRunsOnTheMainThread) {
    ZKEngine& engine = ZKEngine::Instance();
    const int partsBuffers = f.Device()->LiveDefaultResources();  // the sprite renderer's
    StaticVertexBuffer* vb = nullptr;
    ShaderPassSet* set = nullptr;
    std::atomic<bool> finished{false};
    std::thread loader([&] {
        vb = f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false);
        if (vb) FillQuad(vb, 0, 0, 8, 8, 0xFFFFFF00u);
        set = f.AddShader(OpaqueDiffuse());
        finished = true;
    });
    while (!finished) engine.tasks.ProcessTasks();
    loader.join();
    ASSERT_NE(vb, nullptr);
    ASSERT_NE(set, nullptr);
    f.Clear(kClearTarget);
    f.ApplyShaderPass(set);
    DrawQuad(f, vb);
    EXPECT_EQ(Pixel(f, 3, 3), 0xFFFFFF00u);
    std::thread releaser([&] {
        f.ReleaseVertexBuffer(vb);
        f.ReleaseShader(set);
        finished = false;
    });
    while (finished) engine.tasks.ProcessTasks();
    releaser.join();
    EXPECT_EQ(f.Device()->LiveDefaultResources(), partsBuffers);
}

// An immediate draw (debug lines) between two draws of a cached stream leaves that stream bound.
TEST_F(FacilityTest, ImmediateDrawsLeaveTheCachedStreamBound) {
    StaticVertexBuffer* vb = f.CreateVertexBuffer(kScreenFormat, sizeof(ScreenVertex), 4, false);
    ShaderPassSet* set = f.AddShader(OpaqueDiffuse());
    f.Clear(kClearTarget);
    f.ApplyShaderPass(set);
    FillQuad(vb, 0, 0, 8, 8, 0xFF00FFFFu);
    DrawQuad(f, vb);
    const ScreenVertex line[2] = {{20, 20, 0.5f, 1, 0xFFFFFFFFu, 0, 0}, {30, 20, 0.5f, 1, 0xFFFFFFFFu, 0, 0}};
    f.Device()->DrawPrimitiveUP(gfx::prim::LINELIST, 1, line, sizeof(ScreenVertex));
    FillQuad(vb, 10, 0, 18, 8, 0xFFFF00FFu);
    DrawQuad(f, vb);  // the facility's cache still holds vb: nothing is bound again
    EXPECT_EQ(Pixel(f, 3, 3), 0xFF00FFFFu);
    EXPECT_EQ(Pixel(f, 13, 3), 0xFFFF00FFu);
    f.ReleaseVertexBuffer(vb);
    f.ReleaseShader(set);
}

TEST_F(FacilityTest, CountersReachTheLastFrameTexts) {
    f.SetFrameTime(1.0f / 60.0f);
    f.EndScene();  // start from a frame of its own
    f.BeginScene();
    f.CountDraw(2, 4);
    gfx::Texture* t = f.Device()->CreateTexture(2, 2, 1, gfx::format::A8R8G8B8, gfx::Pool::MANAGED);
    TextureStageBinding b;
    b.texture = t;
    f.BindTextureObject(1, &b);
    f.BindTextureObject(1, &b);  // the same texture again: no switch
    f.BindTextureObject(1, nullptr);
    f.EndScene();
    f.Device()->ReleaseTexture(t);
    EXPECT_EQ(f.LastFrameStats().polygons, 2);
    EXPECT_EQ(f.LastFrameStats().textureSwitches, 2);
    // The engine builds the texts of the last frame when it shows them.
    f.LastFrameStats().BuildTexts();
    EXPECT_STREQ(f.LastFrameStats().GetText(RenderStatsTexts::kPolygons).c_str(), "2");
    EXPECT_STREQ(f.LastFrameStats().GetText(RenderStatsTexts::kVertices).c_str(), "4");
    EXPECT_EQ(f.FrameStats().polygons, 0);
}

TEST(RenderStatsTest, SamplesTheFrameRateOncePerSecond) {
    RenderStats s;
    for (int i = 0; i < 60; ++i) s.Update(1.0f / 60.0f);
    s.BuildTexts();
    EXPECT_NEAR(s.framesPerSecond, 60.0f, 0.01f);
    EXPECT_NEAR(s.accumulatedTime, 0.0f, 1e-4f);
    RenderStats t;
    t.Update(2.5f);
    EXPECT_FLOAT_EQ(t.framesPerSecond, 0.4f);
    EXPECT_DOUBLE_EQ(t.accumulatedTime, 1.5);
}

TEST(MatrixStackTest, PushMultiplyPopRestoresAndRefusesOverAndUnderflow) {
    MatrixStack ms;
    Matrix4 a = Matrix4::Translation(1, 2, 3), b = Matrix4::RotationY(0.5f);
    ms.Multiply(a);
    uint16_t id = ms.currentId;
    ASSERT_TRUE(ms.Push());
    uint16_t id2 = ms.Multiply(b);
    EXPECT_GT(id2, id);
    ms.dirty = 0;
    ASSERT_TRUE(ms.Pop());
    EXPECT_EQ(ms.current, a);
    EXPECT_EQ(ms.currentId, id);
    EXPECT_EQ(ms.dirty, 1u);
    MatrixStack m2;
    m2.Multiply(a);
    m2.Multiply(b);
    MatrixStack m3;
    m3.Multiply(a * b);
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(m2.current.m[i][j], m3.current.m[i][j], 1e-5f);
    MatrixStack m4;
    m4.Multiply(a);
    m4.PreMultiply(b);
    Matrix4 ba = b * a;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j) EXPECT_NEAR(m4.current.m[i][j], ba.m[i][j], 1e-5f);
    testing_support::LogCapture log;
    MatrixStack deep;
    for (int i = 0; i < MatrixStack::kDepth; ++i) ASSERT_TRUE(deep.Push());
    EXPECT_FALSE(deep.Push());
    MatrixStack empty;
    EXPECT_FALSE(empty.Pop());
}

}  // namespace
