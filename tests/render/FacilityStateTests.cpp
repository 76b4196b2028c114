// The render facility's choices and caches on a recording device (no GL): adapter choice,
// depth formats and stencil, the vertex-shader workaround, a device that cannot be made, and
// which device calls the caches let through.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/Camera.h"
#include "engine/core/Geometry.h"
#include "engine/render/D3D8RenderFacility.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/support/TestSupport.h"

namespace {

gfx::AdapterDesc Adapter(const char* name, bool tnl, bool windowed, bool modes) {
    gfx::AdapterDesc a;
    snprintf(a.info.description, sizeof a.info.description, "%s", name);
    a.caps.hardwareTnL = tnl;
    a.caps.canRenderWindowed = windowed;
    if (modes) a.modes = {{640, 480, 32, 60}, {800, 600, 32, 60}, {800, 600, 32, 75}};
    a.desktop = {1024, 768, 32, 60};
    return a;
}

struct Rig {
    gfx::RecordingDevice* device = nullptr;
    std::unique_ptr<D3D8RenderFacility> facility;
    bool failCreate = false;

    explicit Rig(std::vector<gfx::AdapterDesc> adapters = {Adapter("main", true, true, true)}) {
        DeviceSource source;
        source.enumerate = [adapters] { return adapters; };
        source.create = [this](void*, int32_t w, int32_t h) -> std::unique_ptr<gfx::Device> {
            if (failCreate) return nullptr;
            auto d = std::make_unique<gfx::RecordingDevice>(w, h);
            device = d.get();
            return d;
        };
        facility = std::make_unique<D3D8RenderFacility>(std::move(source));
    }
    D3D8RenderFacility& Create(int32_t adapter = -1) {
        facility->ChooseDevice(adapter);
        facility->CreateDevice(false);
        return *facility;
    }
};

TEST(FacilityChoice, TheBestAdapterReplacesOnlyOneWithoutHardwareTnL) {
    struct {
        const char* what;
        std::vector<gfx::AdapterDesc> adapters;
        int32_t expected;
        const char* betterLine;  // null: no such line
    } cases[] = {
        {"one adapter", {Adapter("A", false, true, true)}, 0, nullptr},
        {"full-screen card beats software T&L", {Adapter("A", false, true, true), Adapter("B", true, false, true)}, 1,
         "D3D8RENDERFACILITY: B is better than A"},
        {"hardware T&L is never replaced", {Adapter("A", true, true, true), Adapter("B", true, false, true)}, 0, nullptr},
        {"a card without modes is no better", {Adapter("A", false, true, true), Adapter("B", true, false, false)}, 0, nullptr},
        {"a windowed card is no better", {Adapter("A", false, true, true), Adapter("B", true, true, true)}, 0, nullptr},
        {"the best so far is compared", {Adapter("A", false, true, true), Adapter("B", false, false, true), Adapter("C", true, false, true)}, 2,
         "D3D8RENDERFACILITY: C is better than B"},
    };
    for (auto& c : cases) {
        Rig rig(c.adapters);
        testing_support::LogCapture log;
        rig.facility->ChooseDevice(-1);
        EXPECT_EQ(rig.facility->SelectedAdapter(), c.expected) << c.what;
        bool anyBetter = false;
        for (const std::string& l : log.Lines()) anyBetter = anyBetter || l.find("is better than") != std::string::npos;
        EXPECT_EQ(anyBetter, c.betterLine != nullptr) << c.what;
        if (c.betterLine) {
            EXPECT_TRUE(log.Contains(c.betterLine)) << c.what;
        }
        EXPECT_TRUE(log.Contains(std::string("D3D8RENDERFACILITY: ") + c.adapters[size_t(c.expected)].info.description +
                                 " selected as best device")) << c.what;
    }
    // An explicit index is used as given, one out of range picks adapter 0; the modes follow.
    Rig rig({Adapter("A", true, true, true), Adapter("B", true, true, false)});
    rig.facility->ChooseDevice(1);
    EXPECT_EQ(rig.facility->SelectedAdapter(), 1);
    EXPECT_TRUE(rig.facility->Modes().empty());
    rig.facility->ChooseDevice(7);
    EXPECT_EQ(rig.facility->SelectedAdapter(), 0);
    EXPECT_EQ(rig.facility->Modes().size(), 3u);
}

TEST(FacilityChoice, SelectingWithoutADeviceOnlyRecordsTheMode) {
    Rig rig({Adapter("A", true, true, true)});
    D3D8RenderFacility& f = *rig.facility;
    f.ChooseDevice(-1);
    // Without a device a selection only records the mode.
    f.SelectMode(2);
    EXPECT_EQ(f.CurrentMode(), (DisplayMode{800, 600, 32, 75}));
    EXPECT_EQ(f.ScreenWidth(), 800);
    EXPECT_EQ(f.ViewportHeight(), 600);
}

TEST(FacilityChoice, DepthFormatsDecideTheStencil) {
    using namespace gfx::depthfmt;
    struct {
        uint32_t formats;
        bool stencil;
        const char* lastLine;
    } cases[] = {
        {D16 | D24S8, true, "D3D8RENDERFACILITY: 24/8 Z/Stencil supported"},
        {D16 | D24X4S4, true, "D3D8RENDERFACILITY: 24/4 Z/Stencil supported"},
        {D15S1 | D16 | D24X8, false, "D3D8RENDERFACILITY: 24/0 Z/Stencil supported"},
        {D32, false, "D3D8RENDERFACILITY: 32/0 Z/Stencil supported"},
    };
    for (auto& c : cases) {
        gfx::AdapterDesc a = Adapter("A", true, true, true);
        a.depthFormats = c.formats;
        Rig rig({a});
        testing_support::LogCapture log;
        D3D8RenderFacility& f = rig.Create();
        ASSERT_TRUE(f.DeviceReady());
        EXPECT_EQ(f.HasStencil(), c.stencil) << c.lastLine;
        EXPECT_TRUE(log.Contains(c.lastLine));
        // Without stencil a stencil clear clears nothing.
        rig.device->ClearCalls();
        f.Clear(kClearStencil);
        EXPECT_EQ(rig.device->Count("Clear 4 "), c.stencil ? 1 : 0) << c.lastLine;
    }
}

// No depth format, or a device that cannot be made: the facility stays inert, and every later
// call is safe.
TEST(FacilityChoice, WithoutADeviceTheFacilityStaysInert) {
    for (bool noFormat : {true, false}) {
        gfx::AdapterDesc a = Adapter("A", true, true, true);
        if (noFormat) a.depthFormats = 0;
        Rig rig({a});
        rig.failCreate = !noFormat;
        testing_support::LogCapture log;
        D3D8RenderFacility& f = rig.Create();
        EXPECT_FALSE(f.DeviceReady());
        EXPECT_TRUE(log.Contains(noFormat ? "D3D8RENDERFACILITY: No valid rendering format was found!"
                                          : "D3D8RENDERFACILITY: Failed creating device"));
        EXPECT_EQ(f.Device(), nullptr);
        f.BeginScene();
        f.Clear(kClearTarget | kClearDepth | kClearStencil);
        EXPECT_EQ(f.CreateVertexBuffer(1, 12, 4, false), nullptr);
        EXPECT_EQ(f.CreateDynamicIndexBuffer(6, 4, false), nullptr);
        EXPECT_EQ(f.LoadVertexShader(37, "Misc\\zkWorld2.vso"), nullptr);
        EXPECT_FALSE(f.SetVertexShaderConstant(0, nullptr, 1));
        Camera cam;
        f.PushState(&cam);
        f.PopState();
        EXPECT_TRUE(f.GrabScreen(false).size() == size_t(f.ViewportWidth()) * size_t(f.ViewportHeight()));
        f.EndScene();
        EXPECT_EQ(f.GetLightManager(), nullptr);
    }
}

TEST(FacilityChoice, VertexShaderWorkaroundForOneCardOnly) {
    for (uint32_t device : {0x5157u, 0x5159u}) {
        gfx::AdapterDesc a = Adapter("A", true, true, true);
        a.info.vendorId = 0x1002;
        a.info.deviceId = device;
        Rig rig({a});
        testing_support::LogCapture log;
        D3D8RenderFacility& f = rig.Create();
        const bool workaround = device == 0x5157u;
        EXPECT_EQ(log.Contains("D3D8RENDERFACILITY: VShader workaround for ATI 7500 enabled"), workaround);
        EXPECT_EQ(log.Contains("D3D8RENDERFACILITY: Device supports programmable shaders"), !workaround);
        EXPECT_FLOAT_EQ(f.VertexShaderSupport(), workaround ? 0.0f : 1.0f);
    }
}

ShaderDescription Stage0(uint32_t op) {
    ShaderDescription d;
    d.stageMask = 1;
    d.stages[0].colorOp = op;
    d.stages[0].colorArg1 = 2;
    d.stages[0].colorArg2 = 1;
    d.stages[0].alphaOp = 1;
    d.stages[0].alphaArg1 = 1;
    return d;
}

TEST(FacilityCache, OnlyChangedStatesReachTheDevice) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    gfx::RecordingDevice& d = *rig.device;
    ShaderDescription plain = Stage0(3);
    ShaderDescription blended = plain;
    blended.blend = 1;
    blended.srcBlend = 6;
    blended.dstBlend = 7;
    ShaderPassSet* a = f.AddShader(plain);
    ShaderPassSet* b = f.AddShader(blended);
    f.ApplyShaderPass(a);
    d.ClearCalls();
    f.ApplyShaderPass(a);
    EXPECT_TRUE(d.calls.empty());
    // Only the blend switch differs: the factors are still cached from when b was tested.
    f.ApplyShaderPass(b);
    EXPECT_EQ(d.calls, (std::vector<std::string>{"SetRenderState 27 1"}));
    d.ClearCalls();
    f.ApplyShaderPass(a);
    EXPECT_EQ(d.calls, (std::vector<std::string>{"SetRenderState 27 0"}));
    // A stencil override replaces the stencil states of every pass set applied while it holds.
    ShaderDescription stencil = plain;
    stencil.stencilFunc = 8;
    stencil.stencilPass = 6;  // increment
    ShaderPassSet* s = f.AddShader(stencil);
    f.ApplyShaderPass(a);
    f.SetStencilOverride(s);
    d.ClearCalls();
    f.ApplyShaderPass(b);
    EXPECT_EQ(d.Count("SetRenderState 52 1"), 1);
    EXPECT_EQ(d.GetRenderState(gfx::rs::STENCILPASS), 7u);  // sent when s was tested, still cached
    f.SetStencilOverride(nullptr);
    f.ApplyShaderPass(a);
    EXPECT_EQ(f.CachedRenderState(gfx::rs::STENCILENABLE), 0u);
    // Draw states: null gives the defaults, a record its values; repeats send nothing.
    ShaderVariables vars;
    vars.textureFactor = 0x80402010u;
    vars.alphaRef = 9;
    vars.stencilRef = 3;
    f.ApplyDrawStates(&vars);
    d.ClearCalls();
    const uint64_t redundant = d.Stats().redundantSets;
    f.ApplyDrawStates(&vars);
    f.ApplyShaderPass(a);
    EXPECT_TRUE(d.calls.empty());
    EXPECT_EQ(d.Stats().redundantSets, redundant);
    for (auto* p : {a, b, s}) f.ReleaseShader(p);
}

TEST(FacilityCache, TexturesStreamsAndMaterials) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    gfx::RecordingDevice& d = *rig.device;
    gfx::Texture* t = d.CreateTexture(4, 4, 1, 0, gfx::Pool::MANAGED);
    TextureStageBinding bind;
    bind.texture = t;
    d.ClearCalls();
    f.BindTextureObject(2, &bind);
    f.BindTextureObject(2, &bind);
    EXPECT_EQ(d.Count("SetTexture 2 texture"), 1);
    EXPECT_EQ(d.Count("SetTextureStageState 2 13 1"), 1);  // its addressing came along
    f.BindTextureObject(2, nullptr);
    f.BindTextureObject(2, nullptr);
    EXPECT_EQ(d.Count("SetTexture 2 none"), 1);
    // Two materials sharing one record: switching sends no material, only the textures.
    MaterialDescription md;
    md.power = 2.0f;
    Material* m1 = f.AddMaterial(md);
    f.ApplyMaterial(m1);
    md.textures[0] = reinterpret_cast<TextureHandle*>(0x10);  // another handle, same colours
    Material* m2 = f.AddMaterial(md);
    EXPECT_NE(m1, m2);
    EXPECT_EQ(m1->record, m2->record);
    f.ApplyMaterial(m1);
    d.ClearCalls();
    f.ApplyMaterial(m2);
    EXPECT_EQ(d.Count("SetMaterial"), 0);
    // A changed colour makes the material dirty: applied again, it is sent again.
    m2->SetColor(Color(0x10, 0x20, 0x30, 1.0f));
    f.ApplyMaterial(m2);
    EXPECT_EQ(d.Count("SetMaterial"), 1);
    f.ReleaseMaterial(m2);
    f.ReleaseMaterial(m1);
    // Buffers: one stream binding per change, counted as a switch.
    StaticVertexBuffer* vb = f.CreateVertexBuffer(1 | 8, 16, 4, false);
    d.ClearCalls();
    const int32_t before = f.FrameStats().bufferSwitches;
    f.SetStreamSource(vb->DeviceBuffer(), vb->stride);
    f.SetStreamSource(vb->DeviceBuffer(), vb->stride);
    EXPECT_EQ(d.Count("SetStreamSource"), 1);
    EXPECT_EQ(f.FrameStats().bufferSwitches, before + 1);
    f.ReleaseVertexBuffer(vb);
    d.ReleaseTexture(t);
}

// The frame's end: a present hook can hold the picture back; a lost device logs and waits.
TEST(FacilityCache, EndSceneFollowsTheHookAndTheCooperativeLevel) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    gfx::RecordingDevice& d = *rig.device;
    struct Hook : PresentHook {
        bool allow = false;
        bool MayPresent() override { return allow; }
    } hook;
    f.SetPresentHook(&hook);
    d.ClearCalls();
    f.BeginScene();
    f.EndScene();
    EXPECT_EQ(d.Count("Present"), 0);
    hook.allow = true;
    f.EndScene();
    EXPECT_EQ(d.Count("Present"), 1);
    f.SetPresentHook(nullptr);
    d.ForceCooperativeLevel(gfx::CoopState::LOST);
    testing_support::LogCapture log;
    f.EndScene();
    EXPECT_TRUE(log.Contains("D3D8RENDERFACILITY: Device is lost"));
    EXPECT_EQ(d.Count("Present"), 1);
    EXPECT_EQ(d.Count("Reset"), 0);
    d.ForceCooperativeLevel(gfx::CoopState::NOTRESET);
    f.EndScene();
    EXPECT_EQ(d.Count("Reset"), 1);
    EXPECT_EQ(d.TestCooperativeLevel(), gfx::CoopState::OK);
}

// A camera applies its viewport, transforms and fog; no camera turns fog and clip planes off.
TEST(FacilityCache, CamerasApplyFogAndClipPlanes) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    gfx::RecordingDevice& d = *rig.device;
    Camera cam;
    cam.SetViewport(Rect{10, 20, 110, 220});
    cam.SetNearPlane(10.0f);
    cam.SetFarPlane(110.0f);
    cam.EnableFog(true);
    cam.SetFogRange(0.5f, 1.0f);
    cam.SetFogColor(Color(0x11, 0x22, 0x33, 1.0f));
    const Plane plane(0, 1, 0, -2.0f);
    cam.clipPlanes[3] = &plane;
    f.PushState(&cam);
    EXPECT_EQ(d.GetRenderState(gfx::rs::FOGENABLE), 1u);
    EXPECT_EQ(d.GetRenderState(gfx::rs::FOGVERTEXMODE), gfx::fogmode::LINEAR);
    EXPECT_EQ(d.GetRenderState(gfx::rs::FOGCOLOR) & 0xFFFFFFu, 0x112233u);
    float start, end;
    const uint32_t sb = d.GetRenderState(gfx::rs::FOGSTART), eb = d.GetRenderState(gfx::rs::FOGEND);
    memcpy(&start, &sb, 4);
    memcpy(&end, &eb, 4);
    EXPECT_FLOAT_EQ(start, 60.0f);
    EXPECT_FLOAT_EQ(end, 110.0f);
    EXPECT_EQ(d.GetRenderState(gfx::rs::CLIPPLANEENABLE), 8u);
    EXPECT_EQ(d.Count("SetClipPlane 3 0 1 0 -2"), 1);
    EXPECT_EQ(d.GetViewport().x, 10);
    EXPECT_EQ(d.GetViewport().height, 200);
    EXPECT_EQ(f.PopState(), &cam);
    EXPECT_EQ(d.GetRenderState(gfx::rs::FOGENABLE), 0u);
    EXPECT_EQ(d.GetRenderState(gfx::rs::CLIPPLANEENABLE), 0u);
    EXPECT_EQ(d.GetViewport().width, f.ScreenWidth());
}

}  // namespace
