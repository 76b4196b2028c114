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
#include "engine/render/D3D8LightManager.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/TextureTypes.h"
#include "platform/gfx/RecordingDevice.h"
#include "platform/window/Window.h"
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
    gfx::Caps deviceCaps;  // what the device reports once made

    explicit Rig(std::vector<gfx::AdapterDesc> adapters = {Adapter("main", true, true, true)}) {
        DeviceSource source;
        source.enumerate = [adapters] { return adapters; };
        source.create = [this](void*, int32_t w, int32_t h) -> std::unique_ptr<gfx::Device> {
            if (failCreate) return nullptr;
            auto d = std::make_unique<gfx::RecordingDevice>(w, h);
            d->caps = deviceCaps;
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

// Full screen: a listed mode equal to the request (any rate for -1, the first in the adapter's
// order), else the highest rate above 0 of that size and depth, else false with nothing changed.
// Listed depths pass the depth/format table (30 bits has no format and reads as 4).
TEST(FacilityChoice, FullScreenRequestsPickListedModes) {
    plat::Window* window = plat::Window::Create("modes", 0, 0, 640, 480, true);
    ASSERT_NE(window, nullptr);
    gfx::AdapterDesc a = Adapter("A", true, true, false);
    a.modes = {{800, 600, 32, 75}, {800, 600, 32, 60}, {800, 600, 32, 85}, {1024, 768, 32, 0},
               {1024, 768, 32, 0}, {640, 480, 16, 60}, {640, 480, 30, 60}};
    a.desktop = {1280, 1024, 24, 60};
    Rig rig({a});
    D3D8RenderFacility& f = *rig.facility;
    EXPECT_EQ(f.CurrentMode(), (DisplayMode{1280, 1024, 24, 60}));
    f.SetWindow(window->NativeHandle());
    f.ChooseDevice(-1);
    EXPECT_EQ(f.Modes().back(), (DisplayMode{640, 480, 4, 60}));
    struct { DisplayMode request; bool ok; DisplayMode expected; } cases[] = {
        {{800, 600, 32, -1}, true, {800, 600, 32, 75}},
        {{800, 600, 32, 60}, true, {800, 600, 32, 60}},
        {{800, 600, 32, 70}, true, {800, 600, 32, 85}},   // not listed: the highest rate
        {{1024, 768, 32, 60}, false, {800, 600, 32, 85}},  // only rate 0 listed
        {{1024, 768, 32, -1}, true, {1024, 768, 32, 0}},
        {{640, 480, 32, -1}, false, {1024, 768, 32, 0}},
        {{640, 480, 4, 60}, true, {640, 480, 4, 60}},
    };
    for (auto& c : cases) {
        testing_support::LogCapture log;
        EXPECT_EQ(f.RequestMode(c.request), c.ok) << c.request.width << "@" << c.request.refreshRate;
        EXPECT_EQ(f.CurrentMode(), c.expected) << c.request.width << "@" << c.request.refreshRate;
        char line[96];
        snprintf(line, sizeof line, "D3D8RENDERFACILITY: Requesting: %d*%d*%d@%d", c.request.width, c.request.height,
                 c.request.bitsPerPixel, c.request.refreshRate);
        EXPECT_TRUE(log.Contains(line));
        if (c.ok) {
            snprintf(line, sizeof line, "D3D8RENDERFACILITY: %d*%d*%d@%d selected", c.expected.width, c.expected.height,
                     c.expected.bitsPerPixel, c.expected.refreshRate);
            EXPECT_TRUE(log.Contains(line)) << line;
            EXPECT_TRUE(log.Contains("D3D8RENDERFACILITY: Querying device for FSAA caps"));
            EXPECT_TRUE(log.Contains("D3D8RENDERFACILITY: Device released"));
        }
    }
    f.SetWindow(nullptr);
    delete window;
}

// With a device, selecting the mode in force does nothing (a listed rate of -1 matches any
// rate); another mode resets the device to its size.
TEST(FacilityChoice, SelectingTheModeInForceLeavesTheDevice) {
    gfx::AdapterDesc a = Adapter("A", true, true, false);
    a.modes = {{1024, 768, 32, 60}, {1024, 768, 32, -1}, {800, 600, 32, 60}};
    Rig rig({a});
    D3D8RenderFacility& f = rig.Create();
    f.SelectMode(0);
    rig.device->ClearCalls();
    f.SelectMode(0);
    f.SelectMode(1);
    EXPECT_EQ(rig.device->Count("Reset"), 0);
    EXPECT_EQ(f.CurrentMode(), (DisplayMode{1024, 768, 32, 60}));
    f.SelectMode(2);
    EXPECT_EQ(rig.device->Count("Reset 800 600"), 1);
    EXPECT_EQ(rig.device->BackWidth(), 800);
    f.SelectMode(3);  // not listed: nothing
    EXPECT_EQ(f.CurrentMode(), (DisplayMode{800, 600, 32, 60}));
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

// The facility makes its parts with its device, with nothing installed beforehand, and the
// texture and sprite factories load through its texture manager until it goes.
TEST(FacilityParts, MadeWithTheDeviceAndHandedToTheFactories) {
    {
        Rig rig;
        D3D8RenderFacility& f = *rig.facility;
        EXPECT_EQ(f.GetTextureManager(), nullptr);
        EXPECT_EQ(f.GetSpriteRenderer(), nullptr);
        rig.Create();
        ASSERT_TRUE(f.DeviceReady());
        EXPECT_NE(f.GetMatrixStack(), nullptr);
        EXPECT_NE(f.GetSpriteRenderer(), nullptr);
        EXPECT_NE(f.GetLightManager(), nullptr);
        ASSERT_NE(f.GetTextureManager(), nullptr);
        EXPECT_EQ(f.GetTextureManager()->facility, &f);
        EXPECT_EQ(TextureFactory::Instance().Connected(), f.GetTextureManager());
        EXPECT_EQ(SpriteFactory::Instance().Connected(), f.GetTextureManager());
    }
    EXPECT_EQ(TextureFactory::Instance().Connected(), nullptr);
    EXPECT_EQ(SpriteFactory::Instance().Connected(), nullptr);
}

// The start-up report: adapters and modes, the device, each capability line only when it
// applies, and the state initialisation.
TEST(FacilityChoice, CreationReportsTheCapabilities) {
    gfx::Caps rich, poor;
    poor.hardwareTnL = false;
    poor.maxStreams = 0;
    poor.zFog = poor.wFog = poor.fogTable = poor.fogVertex = false;
    poor.nonPow2Conditional = false;
    poor.squareOnly = true;
    poor.maxTextureWidth = 256;
    poor.maxTextureHeight = 128;
    const char* always[] = {"D3D8RENDERFACILITY: Listing 1 devices:", "D3D8RENDERFACILITY: Device: mesa, main",
                            "D3D8RENDERFACILITY: Listing 3 modes", "D3D8RENDERFACILITY: 800*600*32@75",
                            "D3D8RENDERFACILITY: main selected as best device", "D3D8RENDERFACILITY: Device created",
                            "D3D8RENDERFACILITY: MaxVertexBlendMatrices = 4", "D3D8RENDERFACILITY: MaxVertexBlendMatrixIndex = 0",
                            "D3D8RENDERFACILITY: We have 64 MB of available videoram",
                            "D3D8RENDERFACILITY: MaxPrimitiveCount = 1048575", "D3D8RENDERFACILITY: MaxVertexIndex = 16777215",
                            "D3D8RENDERFACILITY: Initial buffer clear", "D3D8RENDERFACILITY: Creating default viewport",
                            "D3D8RENDERFACILITY: Resetting states", "D3D8RENDERFACILITY: States reset to default",
                            "D3D8RENDERFACILITY: Init completed. Ready for use!"};
    const char* richOnly[] = {"D3D8RENDERFACILITY: DX8 compatible driver detected", "D3D8RENDERFACILITY: Hardware T&L support detected",
                              "D3D8RENDERFACILITY: Device supports ZFogging", "D3D8RENDERFACILITY: Device supports WFogging",
                              "D3D8RENDERFACILITY: Device supports pixel fogging", "D3D8RENDERFACILITY: Device supports vertex fogging",
                              "D3D8TEXTUREMANAGER: Device supports efficient 2D-sprites"};
    for (bool isRich : {true, false}) {
        testing_support::LogCapture log;
        Rig rig;
        rig.deviceCaps = isRich ? rich : poor;
        D3D8RenderFacility& f = rig.Create();
        ASSERT_TRUE(f.DeviceReady());
        for (const char* line : always) EXPECT_TRUE(log.Contains(line)) << line;
        for (const char* line : richOnly) EXPECT_EQ(log.Contains(line), isRich) << line;
        EXPECT_EQ(log.Contains("D3D8TEXTUREMANAGER: Device supports only square textures"), !isRich);
        EXPECT_TRUE(log.Contains(isRich ? "D3D8TEXTUREMANAGER: Max size is 4096*4096" : "D3D8TEXTUREMANAGER: Max size is 256*128"));
        // At least one stream entry even when the device reports none.
        EXPECT_TRUE(log.Contains(isRich ? "D3D8RENDERFACILITY: Device supports 16 concurrent vertexstreams"
                                        : "D3D8RENDERFACILITY: Device supports 1 concurrent vertexstreams"));
        // The states the engine starts from.
        using namespace gfx;
        const std::pair<uint32_t, uint32_t> states[] = {
            {rs::NORMALIZENORMALS, 1}, {rs::DITHERENABLE, 0}, {rs::AMBIENTMATERIALSOURCE, mcs::MATERIAL},
            {rs::EMISSIVEMATERIALSOURCE, mcs::MATERIAL}, {rs::DIFFUSEMATERIALSOURCE, mcs::COLOR1},
            {rs::SPECULARMATERIALSOURCE, mcs::COLOR2}, {rs::FOGVERTEXMODE, fogmode::NONE}, {rs::LOCALVIEWER, 0},
            {rs::FOGENABLE, 0}, {rs::CLIPPLANEENABLE, 0}, {rs::FILLMODE, fill::SOLID}};
        for (auto [state, value] : states) EXPECT_EQ(rig.device->GetRenderState(state), value) << state;
    }
}

// Dynamic locks: mode bit 0 discards, else bit 1 appends without overwriting, never the system
// lock; addresses step by the stride inside the locked range. Static updates lock their range.
TEST(FacilityBuffers, LockModesAndRanges) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    gfx::RecordingDevice& d = *rig.device;
    const int partsBuffers = d.LiveDefaultResources();  // the sprite renderer's
    DynamicVertexBuffer* vb = f.CreateDynamicVertexBuffer(1 | 8, 16, 10, false);
    using namespace gfx::lock;
    struct { uint32_t mode, flags; } modes[] = {{0, NOSYSLOCK}, {1, DISCARD | NOSYSLOCK}, {2, NOOVERWRITE | NOSYSLOCK},
                                                {3, DISCARD | NOSYSLOCK}};
    for (auto& m : modes) {
        d.ClearCalls();
        auto* p = static_cast<uint8_t*>(vb->Lock(2, 4, m.mode));
        ASSERT_NE(p, nullptr);
        char line[48];
        snprintf(line, sizeof line, "Lock 32 64 %X", m.flags);
        EXPECT_EQ(d.Count(line), 1) << line;
        EXPECT_EQ(vb->VertexAddress(3), p + 48);
        EXPECT_EQ(vb->VertexAddress(4), nullptr);
        vb->Unlock();
    }
    testing_support::LogCapture log;
    EXPECT_EQ(vb->Lock(8, 3, 0), nullptr);
    EXPECT_EQ(vb->VertexAddress(0), nullptr);
    StaticVertexBuffer* sb = f.CreateVertexBuffer(1 | 8, 16, 10, false);
    d.ClearCalls();
    EXPECT_TRUE(sb->Update(3, 2));
    EXPECT_EQ(d.Count("Lock 48 32 0"), 1);
    EXPECT_FALSE(sb->Update(9, 2));
    f.ReleaseDynamicVertexBuffer(vb);
    f.ReleaseVertexBuffer(sb);
    EXPECT_EQ(d.LiveDefaultResources(), partsBuffers);
}

// Sprite batches follow one another in the vertex buffer, each drawn from its own first quad:
// only the first batch and one that no longer fits discard the buffer (which makes a device
// hand out fresh storage), the others append without overwriting.
TEST(FacilitySprites, BatchesAppendAndDiscardOnlyWhenTheBufferIsFull) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    gfx::RecordingDevice& d = *rig.device;
    SpriteRenderer& sprites = *f.GetSpriteRenderer();
    Color opaque, clear;
    clear.a = 0x80;
    auto batches = [&d] {
        std::vector<std::string> out;
        for (const std::string& c : d.calls)
            if (c.rfind("Lock", 0) == 0 || c.rfind("DrawIndexedPrimitive", 0) == 0) out.push_back(c);
        return out;
    };
    d.ClearCalls();
    for (const Color* c : {&opaque, &clear, &clear, &opaque}) sprites.FillRect(nullptr, *c);  // 1, 2, 1 quads
    sprites.Flush();
    EXPECT_EQ(batches(), (std::vector<std::string>{"Lock 0 112 2000", "DrawIndexedPrimitive 5 0 4 0 2",
                                                   "Lock 112 224 1000", "DrawIndexedPrimitive 5 4 8 6 8",
                                                   "Lock 336 112 1000", "DrawIndexedPrimitive 5 12 4 18 2"}));
    // 4996 more fill the buffer exactly; the next batch starts it again.
    d.ClearCalls();
    for (int i = 0; i < 4996; ++i) sprites.FillRect(nullptr, opaque);
    sprites.Flush();
    sprites.FillRect(nullptr, opaque);
    sprites.Flush();
    EXPECT_EQ(batches(), (std::vector<std::string>{"Lock 448 559552 1000", "DrawIndexedPrimitive 5 16 19984 24 29972",
                                                   "Lock 0 112 2000", "DrawIndexedPrimitive 5 0 4 0 2"}));
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

// Every field of a description goes through its table; codes outside a table become the unset
// value, which is kept as it is.
TEST(PassSetBuild, DescriptionCodesConvertByTheirTables) {
    struct Row {
        const char* what;
        void (*set)(ShaderDescription&, uint32_t);
        uint32_t (*get)(const ShaderPassSet&);
        std::vector<std::pair<uint32_t, uint32_t>> pairs;  // description code, pass-set value
    };
    const std::vector<Row> rows = {
        {"source blend", [](ShaderDescription& d, uint32_t v) { d.blend = 1; d.srcBlend = v; },
         [](const ShaderPassSet& p) { return p.srcBlend; },
         {{0, 1}, {1, 2}, {2, 3}, {3, 4}, {4, 9}, {5, 10}, {6, 5}, {7, 6}, {8, 7}, {9, 8}, {10, 11}, {11, kUnsetCode}}},
        {"destination blend", [](ShaderDescription& d, uint32_t v) { d.blend = 1; d.dstBlend = v; },
         [](const ShaderPassSet& p) { return p.dstBlend; }, {{0, 1}, {4, 9}, {6, 5}, {10, 11}, {12, kUnsetCode}}},
        {"stencil pass", [](ShaderDescription& d, uint32_t v) { d.stencilFunc = 8; d.stencilPass = v; },
         [](const ShaderPassSet& p) { return p.stencilPass; }, {{0, 1}, {5, 6}, {6, 7}, {7, 8}, {8, kUnsetCode}}},
        {"stencil fail", [](ShaderDescription& d, uint32_t v) { d.stencilFunc = 8; d.stencilFail = v; },
         [](const ShaderPassSet& p) { return p.stencilFail; }, {{0, 1}, {3, 4}, {9, kUnsetCode}}},
        {"stencil z fail", [](ShaderDescription& d, uint32_t v) { d.stencilFunc = 8; d.stencilZFail = v; },
         [](const ShaderPassSet& p) { return p.stencilZFail; }, {{1, 2}, {7, 8}, {100, kUnsetCode}}},
        {"stencil compare", [](ShaderDescription& d, uint32_t v) { d.stencilFunc = int32_t(v); },
         [](const ShaderPassSet& p) { return p.stencilFunc; }, {{1, 1}, {8, 8}, {9, kUnsetCode}, {0xFFFFFFFFu, kUnsetCode}}},
        {"depth compare", [](ShaderDescription& d, uint32_t v) { d.zFunc = int32_t(v); },
         [](const ShaderPassSet& p) { return p.zFunc; }, {{1, 1}, {4, 4}, {8, 8}, {9, kUnsetCode}}},
        {"alpha compare", [](ShaderDescription& d, uint32_t v) { d.alphaFunc = int32_t(v); },
         [](const ShaderPassSet& p) { return p.alphaFunc; }, {{5, 5}, {9, kUnsetCode}}},
        {"colour op", [](ShaderDescription& d, uint32_t v) { d.stages[0].colorOp = v; },
         [](const ShaderPassSet& p) { return p.stages[0].colorOp; }, {{0, 1}, {3, 4}, {23, 24}, {24, kUnsetCode}}},
        {"alpha op", [](ShaderDescription& d, uint32_t v) { d.stages[2].alphaOp = v; },
         [](const ShaderPassSet& p) { return p.stages[2].alphaOp; }, {{0, 1}, {16, 17}, {30, kUnsetCode}}},
        {"arguments", [](ShaderDescription& d, uint32_t v) { d.stages[1].colorArg2 = v; },
         [](const ShaderPassSet& p) { return p.stages[1].colorArg2; },
         {{0, 1}, {1, 0}, {2, 2}, {3, 4}, {4, 3}, {5, kUnsetCode}, {6, kUnsetCode}, {7, 5}, {8, kUnsetCode}}},
        {"result argument", [](ShaderDescription& d, uint32_t v) { d.stages[0].resultArg = v; },
         [](const ShaderPassSet& p) { return p.stages[0].resultArg; }, {{0, 1}, {7, 5}, {5, kUnsetCode}}},
        {"coordinates", [](ShaderDescription& d, uint32_t v) { d.stages[0].texCoord = v & 0xFF; d.stages[0].useTextureMatrix = v >> 8; },
         [](const ShaderPassSet& p) { return p.stages[0].coord; },
         {{0, 0}, {3, 3}, {8 | 1, 0x10001}, {16 | 2, 0x20002}, {32, 0x30000}, {0x100 | 1, 0x80000001u}, {0x100 | 32, 0x80030000u}}},
    };
    for (const Row& row : rows) {
        for (auto [code, expected] : row.pairs) {
            ShaderDescription d;
            d.stageMask = 0xFF;
            row.set(d, code);
            ShaderPassSet p;
            BuildPassSet(d, p);
            EXPECT_EQ(row.get(p), expected) << row.what << " code " << code;
        }
    }
    // Flags, and the values that a switched-off test leaves unset.
    struct { uint8_t lighting, specular, zWrite; int32_t zFunc, stencilFunc, alphaFunc; uint8_t blend, flags; } flags[] = {
        {1, 1, 0, 0, 0, 0, 0, 1 | 2},  {0, 1, 0, 0, 0, 0, 0, 0},  {0, 0, 1, 0, 0, 0, 0, 4},
        {0, 0, 0, 3, 0, 0, 0, 8},      {0, 0, 0, 0, 2, 0, 0, 16}, {0, 0, 0, 0, 0, 9, 0, 32},
        {0, 0, 0, 0, 0, 0, 1, 64},
    };
    for (auto& r : flags) {
        ShaderDescription d;
        d.lighting = r.lighting;
        d.specular = r.specular;
        d.zWrite = r.zWrite;
        d.zFunc = r.zFunc;
        d.zParam = 5;
        d.stencilFunc = r.stencilFunc;
        d.alphaFunc = r.alphaFunc;
        d.blend = r.blend;
        ShaderPassSet p;
        BuildPassSet(d, p);
        EXPECT_EQ(p.flags, r.flags);
        EXPECT_EQ(p.zParam, r.zFunc ? 13 : 0);
        if (!r.stencilFunc) {
            EXPECT_EQ(p.stencilPass, kUnsetCode);
        }
        if (!r.blend) {
            EXPECT_EQ(p.srcBlend, kUnsetCode);
        }
    }
}

// Stage states of an applied pass set: texture transforms by the coordinate word, and the
// stages from the first clear bit of the mask on disabled with their own coordinate set.
TEST(PassSetApply, TextureTransformsFollowTheCoordinateWord) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    gfx::RecordingDevice& d = *rig.device;
    ShaderDescription desc = Stage0(3);
    desc.stageMask = 0x7 | 0x10;  // stage 3 is clear: stages 3 and 4 off
    desc.stages[0].texCoord = 1;
    desc.stages[0].useTextureMatrix = 1;
    desc.stages[1] = desc.stages[0];
    desc.stages[1].texCoord = 32;  // reflection vector
    desc.stages[1].useTextureMatrix = 0;
    desc.stages[2] = desc.stages[1];
    desc.stages[2].texCoord = 2;
    desc.stages[4] = desc.stages[2];
    ShaderPassSet* set = f.AddShader(desc);
    gfx::Mat4 junk;
    junk.m[3][0] = 7.0f;
    d.SetTransform(gfx::ts::TEXTURE0 + 1, junk);
    f.ApplyShaderPass(f.AddShader(Stage0(1)));
    f.ApplyShaderPass(set);
    using namespace gfx;
    EXPECT_EQ(d.GetTextureStageState(0, tss::TEXTURETRANSFORMFLAGS), ttff::COUNT2);
    EXPECT_EQ(d.GetTextureStageState(0, tss::TEXCOORDINDEX), 1u);
    EXPECT_EQ(d.GetTextureStageState(1, tss::TEXTURETRANSFORMFLAGS), ttff::COUNT3);
    EXPECT_EQ(d.GetTextureStageState(1, tss::TEXCOORDINDEX), tci::CAMERASPACEREFLECTIONVECTOR);
    EXPECT_EQ(d.GetTransform(ts::TEXTURE0 + 1), Mat4());  // generated coordinates: identity
    EXPECT_EQ(d.GetTextureStageState(2, tss::TEXTURETRANSFORMFLAGS), ttff::DISABLE);
    for (uint32_t s : {3u, 4u, 7u}) {
        EXPECT_EQ(d.GetTextureStageState(s, tss::COLOROP), top::DISABLE) << s;
        EXPECT_EQ(d.GetTextureStageState(s, tss::ALPHAOP), top::DISABLE) << s;
        EXPECT_EQ(d.GetTextureStageState(s, tss::TEXCOORDINDEX), s) << s;
    }
    // The draw states carry the matrix of the stage that asks for one, and only that.
    ShaderVariables vars;
    vars.textureMatrices[0].m[2][0] = 0.25f;
    vars.textureMatrices[2].m[2][0] = 0.5f;
    f.ApplyDrawStates(&vars);
    EXPECT_FLOAT_EQ(d.GetTransform(ts::TEXTURE0).m[2][0], 0.25f);
    EXPECT_EQ(d.GetTransform(ts::TEXTURE0 + 2), Mat4());
    // Equal draw states: colours and references, and the matrices of the active stages only.
    ShaderVariables other = vars;
    EXPECT_TRUE(set->DrawStatesEqual(vars, other));
    other.textureMatrices[5].m[0][0] = 3.0f;  // beyond the first clear bit
    EXPECT_TRUE(set->DrawStatesEqual(vars, other));
    other.textureMatrices[1].m[0][0] = 3.0f;
    EXPECT_FALSE(set->DrawStatesEqual(vars, other));
    other = vars;
    other.stencilRef = 2;
    EXPECT_FALSE(set->DrawStatesEqual(vars, other));
}

// A pass set that fails validation is logged with the reason and its pass count, and still used.
TEST(PassSetApply, ValidationFailuresAreLoggedAndTheSetKept) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    struct { gfx::Result result; const char* line; } cases[] = {
        {gfx::Result::WRONGTEXTUREFORMAT, "D3D8RENDERFACILITY: Unsupported texformat"},
        {gfx::Result::UNSUPPORTEDCOLOROPERATION, "D3D8RENDERFACILITY: Unsupported color op"},
        {gfx::Result::UNSUPPORTEDCOLORARG, "D3D8RENDERFACILITY: Unsupported color arg"},
        {gfx::Result::UNSUPPORTEDALPHAOPERATION, "D3D8RENDERFACILITY: Unsupported alpha op"},
        {gfx::Result::UNSUPPORTEDALPHAARG, "D3D8RENDERFACILITY: Unsupported alpha arg"},
        {gfx::Result::TOOMANYOPERATIONS, "D3D8RENDERFACILITY: Too many ops"},
        {gfx::Result::CONFLICTINGTEXTUREFILTER, "D3D8RENDERFACILITY: Conflicting texfilter"},
        {gfx::Result::UNSUPPORTEDFACTORVALUE, "D3D8RENDERFACILITY: Unsupported TFactor value"},
        {gfx::Result::UNSUPPORTEDTEXTUREFILTER, "D3D8RENDERFACILITY: Unsupported TexFilter"},
        {gfx::Result::CONFLICTINGTEXTUREPALETTE, "D3D8RENDERFACILITY: Conflicting texpalette"},
        {gfx::Result::OUTOFMEMORY, "D3D8RENDERFACILITY: Unknown shadererror"},
    };
    uint32_t op = 0;
    for (auto& c : cases) {
        rig.device->validateResult = c.result;
        testing_support::LogCapture log;
        ShaderPassSet* set = f.AddShader(Stage0(op++));  // a new set each time
        ASSERT_NE(set, nullptr);
        EXPECT_TRUE(log.Contains(c.line)) << c.line;
        EXPECT_TRUE(log.Contains("D3D8RENDERFACILITY: PassCount = 0")) << c.line;
        EXPECT_FALSE(log.Contains("D3D8RENDERFACILITY: Shader inited with")) << c.line;
        EXPECT_EQ(f.CurrentPassSet(), set);
    }
    rig.device->validateResult = gfx::Result::OK;
    testing_support::LogCapture log;
    f.AddShader(Stage0(op));
    f.AddShader(Stage0(op));
    for (const char* line : {"D3D8RENDERFACILITY: Shader created", "D3D8RENDERFACILITY: Adding shader...",
                             "D3D8RENDERFACILITY: Testing shader...", "D3D8RENDERFACILITY: Validating shader...",
                             "D3D8RENDERFACILITY: Shader inited with 1 passes",
                             "D3D8RENDERFACILITY: Shader was already loaded. Deleting..."})
        EXPECT_TRUE(log.Contains(line)) << line;
}

// A released stencil override no longer replaces anything (and is never read again).
TEST(PassSetApply, ReleasedStencilOverrideIsForgotten) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    ShaderDescription stencil = Stage0(3);
    stencil.stencilFunc = 8;
    ShaderPassSet* s = f.AddShader(stencil);
    ShaderPassSet* a = f.AddShader(Stage0(1));
    ShaderPassSet* b = f.AddShader(Stage0(2));
    f.SetStencilOverride(s);
    f.ApplyShaderPass(a);
    EXPECT_EQ(rig.device->GetRenderState(gfx::rs::STENCILENABLE), 1u);
    f.ReleaseShader(s);
    f.ApplyShaderPass(b);
    EXPECT_EQ(rig.device->GetRenderState(gfx::rs::STENCILENABLE), 0u);
}

// Lights belong to their creators and may outlive the manager (the renderer is deleted first
// at shut-down): after that they reach no device, and deleting them is safe.
TEST(Lights, OutliveTheirManagerSafely) {
    gfx::RecordingDevice device;
    auto manager = std::make_unique<D3D8LightManager>(device);
    D3D8DirectionalLight* sun = manager->CreateDirectionalLight();
    D3D8SpotLight* spot = manager->CreateSpotLight();
    sun->Enable();
    EXPECT_TRUE(device.IsLightEnabled(sun->Index()));
    manager.reset();
    EXPECT_FALSE(sun->IsEnabled());
    device.ClearCalls();
    sun->Apply();
    sun->Enable();
    spot->Enable();
    spot->Disable();
    EXPECT_TRUE(device.calls.empty());
    delete sun;
    delete spot;
}

TEST(VertexFormat, EngineWordsBecomeDeviceFormats) {
    using namespace gfx::fvf;
    const uint32_t tex1 = 1u << TEXCOUNT_SHIFT, tex2 = 2u << TEXCOUNT_SHIFT, tex3 = 3u << TEXCOUNT_SHIFT,
                   tex4 = 4u << TEXCOUNT_SHIFT;
    struct { uint32_t engine, device; } cases[] = {
        {1, XYZ}, {1 | 2, XYZRHW}, {2, 0}, {1 | 4 | 32, XYZ | NORMAL | tex1}, {1 | 8 | 16 | 32, XYZ | DIFFUSE | SPECULAR | tex1},
        {1 | 2 | 8 | 32, XYZRHW | DIFFUSE | tex1}, {1 | 64, XYZ | tex2}, {1 | 128 | 32, XYZ | tex3},
        {1 | 256 | 128 | 64 | 32, XYZ | tex4}, {1 | 64 | 32, XYZ | tex2},
    };
    for (auto& c : cases) EXPECT_EQ(EngineFormatToFvf(c.engine), c.device) << c.engine;
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
    // The device's stage emptied behind the cache (its texture was released, and a new one may
    // come at the same address): the next bind reaches the device.
    f.BindTextureObject(2, &bind);
    d.SetTexture(2, nullptr);
    d.ClearCalls();
    f.BindTextureObject(2, &bind);
    EXPECT_EQ(d.Count("SetTexture 2 texture"), 1);
    EXPECT_EQ(d.GetTexture(2), t);
    // The first material becomes current without being sent; its first apply sends it.
    MaterialDescription md;
    md.power = 2.0f;
    d.ClearCalls();
    Material* m1 = f.AddMaterial(md);
    EXPECT_EQ(f.CurrentMaterial(), m1);
    EXPECT_EQ(d.Count("SetMaterial"), 0);
    f.ApplyMaterial(m1);
    EXPECT_EQ(d.Count("SetMaterial"), 1);
    EXPECT_FLOAT_EQ(d.GetMaterial().power, 2.0f);
    f.ApplyMaterial(m1);
    EXPECT_EQ(d.Count("SetMaterial"), 1);
    // Two materials sharing one record: switching sends no material, only the textures.
    TextureHandle other;
    md.textures[0] = &other;  // another handle, same colours
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

// Clearing the depth buffer switches depth testing on: a current pass set without depth testing
// is applied in full again afterwards, so its draws stay untested.
TEST(FacilityCaches, ADepthClearDoesNotLeaveAPassSetStale) {
    Rig rig;
    D3D8RenderFacility& f = rig.Create();
    ShaderDescription d;
    d.stageMask = 1;
    d.stages[0].colorOp = d.stages[0].alphaOp = 1;
    d.stages[0].colorArg1 = d.stages[0].alphaArg1 = 1;
    ShaderPassSet* untested = f.AddShader(d);
    f.ApplyShaderPass(untested);
    EXPECT_EQ(rig.device->GetRenderState(gfx::rs::ZENABLE), 0u);
    f.Clear(kClearTarget | kClearDepth);
    f.ApplyShaderPass(untested);
    EXPECT_EQ(rig.device->GetRenderState(gfx::rs::ZENABLE), 0u);
    f.ReleaseShader(untested);
}
