#include "engine/render/D3D8RenderFacility.h"

#include <algorithm>
#include <cstring>
#include <thread>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/FileStream.h"
#include "engine/core/Geometry.h"
#include "engine/render/D3D8AnimatedMesh.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8LargeMesh.h"
#include "engine/render/D3D8LightManager.h"
#include "engine/render/D3D8ShinyMesh.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/QuadBatchRenderer.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/TextureTypes.h"

namespace {

Debugger& Log() { return Debugger::Instance(); }

void GfxLogSink(int level, const char* text) { Debugger::Instance().Log(level, "%s", text); }

uint32_t FloatBits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}


gfx::ColorValue ToColorValue(const float (&c)[4]) { return {c[0], c[1], c[2], c[3]}; }

// Display depths and the adapter formats they stand for map both ways by one table: a depth
// outside it has no format, and a format outside it reads as 4 bits. Modes reported by an
// adapter pass through it, as the adapter's own formats would.
constexpr struct {
    int32_t bits;
    uint32_t format;  // P8, X1R5G5B5, R5G6B5, R8G8B8, X8R8G8B8
} kModeFormats[] = {{8, 41}, {15, 24}, {16, 23}, {24, 20}, {32, 22}};

uint32_t FormatOfBits(int32_t bits) {
    for (const auto& m : kModeFormats)
        if (m.bits == bits) return m.format;
    return 0;
}

int32_t BitsOfFormat(uint32_t format) {
    for (const auto& m : kModeFormats)
        if (m.format == format) return m.bits;
    return 4;
}

DisplayMode ToDisplayMode(const gfx::Mode& m) {
    return {m.width, m.height, BitsOfFormat(FormatOfBits(m.bitsPerPixel)), m.refreshRate};
}

}  // namespace

RenderFacility* CreateRenderer() { return new D3D8RenderFacility(); }

// ---------------------------------------------------------------------------------------------
// The device's thread

namespace {
std::thread::id g_deviceThread = std::this_thread::get_id();
}  // namespace

bool OnDeviceThread() { return std::this_thread::get_id() == g_deviceThread; }

void RunOnDeviceThread(const std::function<void()>& call) {
    ZKEngine* engine = ZKEngine::Get();
    if (!engine) {
        call();  // no engine, no queue: a tool or test that owns the device on this thread
        return;
    }
    Semaphore done(0, 1);
    engine->tasks.AddTask(
        [&] {
            call();
            done.Release();
        },
        &engine->rendererReady);
    done.Wait();
}

// Operations that make or free device objects run on the device's thread: a call from another
// thread (a game state's loading thread) is handed over and waited for.
#define ON_DEVICE_THREAD_RETURN(expr)                  \
    if (!OnDeviceThread()) {                           \
        decltype(expr) result_{};                      \
        RunOnDeviceThread([&] { result_ = (expr); });  \
        return result_;                                \
    }
#define ON_DEVICE_THREAD(expr)                  \
    if (!OnDeviceThread()) {                    \
        RunOnDeviceThread([&] { (expr); });     \
        return;                                 \
    }

// ---------------------------------------------------------------------------------------------
// Construction, adapters and modes

D3D8RenderFacility::D3D8RenderFacility(DeviceSource source) : source_(std::move(source)) {
    g_deviceThread = std::this_thread::get_id();
    gfx::SetLogSink(&GfxLogSink);
    if (!source_.enumerate) source_.enumerate = &gfx::EnumerateAdapters;
    if (!source_.create) source_.create = &gfx::CreateGLDevice;
    std::fill(std::begin(renderStateCache), std::end(renderStateCache), kUnknownState);
    for (auto& s : stageStateCache) std::fill(std::begin(s), std::end(s), kUnknownState);
    adapterDescs_ = source_.enumerate();
    if (adapterDescs_.empty()) adapterDescs_.emplace_back();  // never index an empty list
    for (const gfx::AdapterDesc& d : adapterDescs_) {
        AdapterRecord a;
        a.driver = d.info.driver;
        a.description = d.info.description;
        a.vendorId = d.info.vendorId;
        a.deviceId = d.info.deviceId;
        adapters.push_back(a);
    }
    Log().Log(3, "D3D8RENDERFACILITY: Listing %d devices:", int(adapters.size()));
    for (auto& r : adapters) Log().Log(3, "D3D8RENDERFACILITY: Device: %s, %s", r.driver.c_str(), r.description.c_str());
    currentMode = ToDisplayMode(adapterDescs_[0].desktop);
    screenWidth = currentMode.width;
    screenHeight = currentMode.height;
    selectedAdapter = 0;
}

D3D8RenderFacility::~D3D8RenderFacility() {
    if (device_) {
        device_->SetStreamSource(0, nullptr, 0);
        device_->SetIndices(nullptr, 0);
        device_->SetVertexShader(0);
        for (uint32_t s = 0; s < 8; ++s) device_->SetTexture(s, nullptr);
    }
    for (DeviceResource* r : vertexBuffers) r->ReleaseDevice();
    for (DeviceResource* r : indexBuffers) r->ReleaseDevice();
    DestroyParts();
    for (auto& v : vertexShaders)
        if (device_ && v->handle) device_->DeleteVertexShader(v->handle);
    vertexShaders.clear();
    // Buffers still alive belong to their owners; they lost their device objects above.
    device_.reset();
    for (Material* m : materials) delete m;
    for (MaterialRecord* r : materialRecords) delete r;
    for (ShaderPassSet* p : passSets) delete p;
}

void D3D8RenderFacility::ChooseDevice(int32_t index) {
    if (index == -1) {
        // A later adapter replaces the best one only when the best lacks hardware T&L and the
        // later one cannot render into a window (a dedicated full-screen card) and has modes.
        selectedAdapter = 0;
        const gfx::Caps* best = &adapterDescs_[0].caps;
        for (size_t i = 1; i < adapterDescs_.size(); ++i) {
            const gfx::AdapterDesc& a = adapterDescs_[i];
            if (!best->hardwareTnL && !a.caps.canRenderWindowed && !a.modes.empty()) {
                Log().Log(3, "D3D8RENDERFACILITY: %s is better than %s", adapters[i].description.c_str(),
                          adapters[size_t(selectedAdapter)].description.c_str());
                selectedAdapter = int32_t(i);
                best = &a.caps;
            }
        }
        Log().Log(3, "D3D8RENDERFACILITY: %s selected as best device", adapters[size_t(selectedAdapter)].description.c_str());
    } else {
        selectedAdapter = (index >= 0 && index < int32_t(adapters.size())) ? index : 0;
    }
    const gfx::AdapterDesc& chosen = adapterDescs_[size_t(selectedAdapter)];
    caps = chosen.caps;
    modes.clear();
    for (const gfx::Mode& m : chosen.modes) modes.push_back(ToDisplayMode(m));
    Log().Log(3, "D3D8RENDERFACILITY: Listing %d modes", int(modes.size()));
    for (auto& m : modes)
        Log().Log(3, "D3D8RENDERFACILITY: %d*%d*%d@%d", m.width, m.height, m.bitsPerPixel, m.refreshRate);
}

void D3D8RenderFacility::SelectMode(int32_t index) {
    if (index < 0 || index >= int32_t(modes.size())) return;
    const DisplayMode& m = modes[size_t(index)];
    bool same = m.refreshRate == -1
                    ? (m.width == currentMode.width && m.height == currentMode.height && m.bitsPerPixel == currentMode.bitsPerPixel)
                    : m == currentMode;
    if (device_ && same) return;
    currentMode = m;
    viewportWidth = screenWidth = m.width;
    viewportHeight = screenHeight = m.height;
    Log().Log(3, "D3D8RENDERFACILITY: %d*%d*%d@%d selected", m.width, m.height, m.bitsPerPixel, m.refreshRate);
    Log().Log(3, "D3D8RENDERFACILITY: Querying device for FSAA caps");
    Log().Log(3, "D3D8RENDERFACILITY: Device released");
    ResetDevice();
}

bool D3D8RenderFacility::RequestMode(const DisplayMode& r) {
    Log().Log(3, "D3D8RENDERFACILITY: Requesting: %d*%d*%d@%d", r.width, r.height, r.bitsPerPixel, r.refreshRate);
    if (!gfx::WindowIsFullScreen(window_)) {
        if (r.width <= 0 || r.height <= 0) return false;
        currentMode.width = r.width;
        currentMode.height = r.height;
        currentMode.refreshRate = r.refreshRate;
        viewportWidth = screenWidth = r.width;
        viewportHeight = screenHeight = r.height;
        Log().Log(3, "D3D8RENDERFACILITY: %d*%d*%d@%d selected", currentMode.width, currentMode.height,
                  currentMode.bitsPerPixel, currentMode.refreshRate);
        ResetDevice();
        return true;
    }
    for (size_t i = 0; i < modes.size(); ++i) {
        const DisplayMode& m = modes[i];
        bool match = m.width == r.width && m.height == r.height && m.bitsPerPixel == r.bitsPerPixel &&
                     (r.refreshRate == -1 || m.refreshRate == r.refreshRate);
        if (match) {
            SelectMode(int32_t(i));
            return true;
        }
    }
    int32_t best = -1;
    for (size_t i = 0; i < modes.size(); ++i) {
        const DisplayMode& m = modes[i];
        if (m.width == r.width && m.height == r.height && m.bitsPerPixel == r.bitsPerPixel && m.refreshRate > 0 &&
            (best < 0 || m.refreshRate > modes[size_t(best)].refreshRate))
            best = int32_t(i);
    }
    if (best < 0) return false;
    SelectMode(best);
    return true;
}

void D3D8RenderFacility::CreateDevice(bool) {
    if (device_) return;
    // Every qualifying depth-stencil format is logged; the last one is used.
    static const struct {
        uint32_t format;
        const char* line;
        bool stencil;
    } kDepthFormats[] = {
        {gfx::depthfmt::D15S1, "D3D8RENDERFACILITY: 15/1 Z/Stencil supported", false},
        {gfx::depthfmt::D16, "D3D8RENDERFACILITY: 16/0 Z/Stencil supported", false},
        {gfx::depthfmt::D24X8, "D3D8RENDERFACILITY: 24/0 Z/Stencil supported", false},
        {gfx::depthfmt::D32, "D3D8RENDERFACILITY: 32/0 Z/Stencil supported", false},
        {gfx::depthfmt::D24X4S4, "D3D8RENDERFACILITY: 24/4 Z/Stencil supported", true},
        {gfx::depthfmt::D24S8, "D3D8RENDERFACILITY: 24/8 Z/Stencil supported", true},
    };
    bool found = false;
    for (const auto& d : kDepthFormats) {
        if (!(adapterDescs_[size_t(selectedAdapter)].depthFormats & d.format)) continue;
        Log().Log(3, "%s", d.line);
        hasStencil = d.stencil;
        found = true;
    }
    if (!found) {
        Log().Message("D3D8RENDERFACILITY: No valid rendering format was found!");
        return;
    }
    maxVertexIndex = caps.maxVertexIndex;
    hardwareTnL = caps.hardwareTnL;
    vertexShaderSupport = caps.maxVertexShaderConst ? 1.0f : 0.0f;
    const AdapterRecord& a = adapters[size_t(selectedAdapter)];
    if (a.vendorId == 0x1002 && a.deviceId == 0x5157) {
        Log().Log(3, "D3D8RENDERFACILITY: VShader workaround for ATI 7500 enabled");
        vertexShaderSupport = 0.0f;
    }
    if (vertexShaderSupport == 1.0f) Log().Log(3, "D3D8RENDERFACILITY: Device supports programmable shaders");
    device_ = source_.create(window_, currentMode.width, currentMode.height);
    if (!device_) {
        // Stay inert: every later call sees no device.
        Log().Log(1, "D3D8RENDERFACILITY: Failed creating device");
        Log().Message("D3D8RENDERFACILITY: Failed creating device");
        return;
    }
    Log().Log(3, "D3D8RENDERFACILITY: Device created");
    caps = device_->GetCaps();
    adapters[size_t(selectedAdapter)].description = device_->GetAdapter().description;
    screenWidth = viewportWidth = currentMode.width;
    screenHeight = viewportHeight = currentMode.height;
    currentCamera = nullptr;

    CreateParts();

    maxTextureStages = int32_t(caps.maxSimultaneousTextures);
    if (caps.maxStreams) Log().Log(3, "D3D8RENDERFACILITY: DX8 compatible driver detected");
    if (caps.hardwareTnL) Log().Log(3, "D3D8RENDERFACILITY: Hardware T&L support detected");
    Log().Log(3, "D3D8RENDERFACILITY: MaxVertexBlendMatrices = %d", int(caps.maxVertexBlendMatrices));
    Log().Log(3, "D3D8RENDERFACILITY: MaxVertexBlendMatrixIndex = %d", int(caps.maxVertexBlendMatrixIndex));
    textureMemory = device_->AvailableTextureMem();
    Log().Log(3, "D3D8RENDERFACILITY: We have %d MB of available videoram", int(textureMemory / 1048576u));
    Log().Log(3, "D3D8RENDERFACILITY: Device supports %d concurrent vertexstreams", int(std::max(caps.maxStreams, 1u)));
    Log().Log(3, "D3D8TEXTUREMANAGER: Max size is %d*%d", int(caps.maxTextureWidth), int(caps.maxTextureHeight));
    if (caps.squareOnly) Log().Log(3, "D3D8TEXTUREMANAGER: Device supports only square textures");
    if (caps.nonPow2Conditional) Log().Log(3, "D3D8TEXTUREMANAGER: Device supports efficient 2D-sprites");
    lights_->SetMaxActiveLights(caps.maxActiveLights);
    zFog = caps.zFog;
    if (caps.zFog) Log().Log(3, "D3D8RENDERFACILITY: Device supports ZFogging");
    if (caps.wFog) Log().Log(3, "D3D8RENDERFACILITY: Device supports WFogging");
    if (caps.fogTable) Log().Log(3, "D3D8RENDERFACILITY: Device supports pixel fogging");
    if (caps.fogVertex) Log().Log(3, "D3D8RENDERFACILITY: Device supports vertex fogging");
    Log().Log(3, "D3D8RENDERFACILITY: MaxPrimitiveCount = %d", int(caps.maxPrimitiveCount));
    Log().Log(3, "D3D8RENDERFACILITY: MaxVertexIndex = %d", int(caps.maxVertexIndex));
    InitStates();
    ready_ = true;
    Log().Log(3, "D3D8RENDERFACILITY: Init completed. Ready for use!");
}

// ---------------------------------------------------------------------------------------------
// The parts

// The renderer is put together here and nowhere else: every part the facility owns is made in
// this order once the device exists, and everything outside the facility that makes device
// objects through a part is handed that part here. DestroyParts undoes it in reverse order.
void D3D8RenderFacility::CreateParts() {
    matrixStack_ = std::make_unique<MatrixStack>();
    sprites_ = std::make_unique<D3D8SpriteRenderer>(*this, *device_);
    textures_ = std::make_unique<D3D8TextureManager>(device_.get(), currentMode.bitsPerPixel);
    textures_->facility = this;
    lights_ = std::make_unique<D3D8LightManager>(*device_);
    geometry_ = std::make_unique<D3D8GeomRenderer>(*this);
    quads_ = std::make_unique<QuadBatchRenderer>(*this);
    // The factories load through this facility's texture manager from now on, and models
    // become this facility's meshes.
    TextureFactory::Instance().Connect(textures_.get());
    SpriteFactory::Instance().Connect(textures_.get());
    MeshFactory::Instance().Connect(this);
}

void D3D8RenderFacility::DestroyParts() {
    MeshFactory::Instance().Disconnect(this);
    // The meshes the facility made go with it; every other mesh of it (clones, large meshes)
    // lets go of the device now and draws nothing afterwards.
    const std::vector<D3D8Mesh*> owned = ownedMeshes_;
    for (D3D8Mesh* m : owned) delete m;
    const std::vector<D3D8Mesh*> others = liveMeshes_;
    for (D3D8Mesh* m : others) m->DropDevice();
    liveMeshes_.clear();
    quads_.reset();
    geometry_.reset();
    SpriteFactory::Instance().Disconnect(textures_.get());
    TextureFactory::Instance().Disconnect(textures_.get());
    lights_.reset();
    textures_.reset();
    sprites_.reset();
    matrixStack_.reset();
}

SpriteRenderer* D3D8RenderFacility::GetSpriteRenderer() { return sprites_.get(); }
LightManager* D3D8RenderFacility::GetLightManager() { return lights_.get(); }

// ---------------------------------------------------------------------------------------------
// Frame

void D3D8RenderFacility::FlushClients() {
    for (DeviceClient* c : clients) c->Flush();
}

void D3D8RenderFacility::Clear(uint32_t flags) {
    if (!device_) return;
    uint32_t f = 0;
    if (flags & kClearTarget) f |= gfx::clear::TARGET;
    if (flags & kClearDepth) {
        // A pass set without depth testing may be current: once depth testing is on again its
        // states no longer hold, so the next apply sends them.
        if (CachedRenderState(gfx::rs::ZENABLE) != 1) currentPassSet = nullptr;
        SetRenderState(gfx::rs::ZENABLE, 1);
        f |= gfx::clear::ZBUFFER;
    }
    if ((flags & kClearStencil) && hasStencil) f |= gfx::clear::STENCIL;
    uint32_t color = currentCamera ? ToPacked(currentCamera->fogColor) : 0u;
    // The whole target (the back buffer or a cube face), whatever the viewport.
    gfx::Viewport saved = device_->GetViewport();
    device_->SetViewport({0, 0, device_->TargetWidth(), device_->TargetHeight(), 0.0f, 1.0f});
    device_->Clear(f, color, 1.0f, 0);
    device_->SetViewport(saved);
}

void D3D8RenderFacility::BeginScene() {
    if (!device_) return;
    screenWidth = currentMode.width;
    screenHeight = currentMode.height;
    device_->BeginScene();
}

void D3D8RenderFacility::EndScene() {
    FlushClients();
    // The texts are built by whoever shows them (the engine's counters), not every frame.
    lastStats_ = frameStats_;
    frameStats_.Update(frameTime_);
    if (!device_) return;
    device_->EndScene();
    if (presentHook && !presentHook->MayPresent()) return;
    gfx::CoopState state = device_->TestCooperativeLevel();
    if (resetPending_ && state != gfx::CoopState::LOST) {
        ResetDevice();
        return;
    }
    switch (state) {
        case gfx::CoopState::OK: device_->Present(); break;
        case gfx::CoopState::NOTRESET: ResetDevice(); break;
        default: Log().Log(3, "D3D8RENDERFACILITY: Device is lost"); break;
    }
}

std::vector<uint32_t> D3D8RenderFacility::GrabScreen(bool fromBackBuffer) {
    const int32_t w = std::max(viewportWidth, 0), h = std::max(viewportHeight, 0);
    std::vector<uint32_t> out(size_t(w) * size_t(h), 0xFF000000u);
    if (!device_ || w == 0 || h == 0) return out;
    // Only the part that lies on the target is read.
    const int32_t rw = std::min(w, device_->BackWidth()), rh = std::min(h, device_->BackHeight());
    if (rw <= 0 || rh <= 0) return out;
    std::vector<uint32_t> rows(size_t(rw) * size_t(rh));
    if (!device_->ReadPixels(fromBackBuffer, 0, 0, rw, rh, rows.data())) return out;
    for (int32_t y = 0; y < rh; ++y)
        memcpy(&out[size_t(y) * size_t(w)], &rows[size_t(y) * size_t(rw)], size_t(rw) * 4);
    return out;
}

// ---------------------------------------------------------------------------------------------
// Device reset and state initialisation

void D3D8RenderFacility::ResetDevice() {
    if (!device_) return;
    if (device_->TestCooperativeLevel() == gfx::CoopState::LOST) {
        resetPending_ = true;
        return;
    }
    device_->SetStreamSource(0, nullptr, 0);
    device_->SetIndices(nullptr, 0);
    streamSource = nullptr;
    boundIndices = nullptr;
    vertexShaderHandle = 0;
    for (uint32_t s = 0; s < 8; ++s) {
        device_->SetTexture(s, nullptr);
        stageTextures[s] = nullptr;
    }
    for (DeviceResource* r : vertexBuffers) r->ReleaseDevice();
    for (DeviceResource* r : indexBuffers) r->ReleaseDevice();
    for (DeviceClient* c : clients) c->OnDeviceLost();
    if (textures_) textures_->ReleaseCubes();
    for (D3D8AnimatedMesh* m : resetMeshes_) m->OnDeviceLost();
    gfx::Result result = device_->Reset(currentMode.width, currentMode.height);
    if (result != gfx::Result::OK) {
        // Nothing is restored against a device that did not reset; the next end of scene
        // tries again.
        Log().Message("RESET FAILED!");
        resetPending_ = true;
        return;
    }
    resetPending_ = false;
    if (textures_) textures_->RestoreCubes();
    for (DeviceResource* r : vertexBuffers) if (r->Create()) r->Restore();
    for (DeviceResource* r : indexBuffers) if (r->Create()) r->Restore();
    for (DeviceClient* c : clients) c->OnDeviceRestored();
    if (lights_) lights_->RestoreLights();
    for (D3D8AnimatedMesh* m : resetMeshes_) m->OnDeviceReset();
    // The reset device holds the default material and no textures: the next apply of the
    // current material must send it again, not skip it as already applied.
    currentMaterial = materials.empty() ? nullptr : materials.front();
    materialStale_ = true;
    InitStates();
}

void D3D8RenderFacility::InitStates() {
    Log().Log(3, "D3D8RENDERFACILITY: Initial buffer clear");
    Clear(kClearTarget | kClearDepth | kClearStencil);
    Log().Log(3, "D3D8RENDERFACILITY: Creating default viewport");
    currentCamera = nullptr;
    ApplyCamera(nullptr);
    Log().Log(3, "D3D8RENDERFACILITY: Resetting states");
    std::fill(std::begin(renderStateCache), std::end(renderStateCache), kUnknownState);
    for (auto& s : stageStateCache) std::fill(std::begin(s), std::end(s), kUnknownState);
    currentPassSet = nullptr;
    using namespace gfx;
    SetRenderState(rs::NORMALIZENORMALS, 1);
    SetRenderState(rs::DITHERENABLE, 0);
    SetRenderState(rs::AMBIENTMATERIALSOURCE, mcs::MATERIAL);
    SetRenderState(rs::EMISSIVEMATERIALSOURCE, mcs::MATERIAL);
    SetRenderState(rs::DIFFUSEMATERIALSOURCE, mcs::COLOR1);
    SetRenderState(rs::SPECULARMATERIALSOURCE, mcs::COLOR2);
    SetRenderState(rs::FOGVERTEXMODE, fogmode::NONE);
    SetRenderState(rs::LOCALVIEWER, 0);
    Log().Log(3, "D3D8RENDERFACILITY: States reset to default");
}

// ---------------------------------------------------------------------------------------------
// Cached device calls

void D3D8RenderFacility::SetRenderState(uint32_t state, uint32_t value) {
    if (!device_ || state >= gfx::rs::COUNT || renderStateCache[state] == value) return;
    renderStateCache[state] = value;
    device_->SetRenderState(state, value);
}

void D3D8RenderFacility::SetRenderStateFloat(uint32_t state, float value) { SetRenderState(state, FloatBits(value)); }

void D3D8RenderFacility::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) {
    if (!device_ || stage >= 8 || type >= gfx::tss::COUNT || stageStateCache[stage][type] == value) return;
    stageStateCache[stage][type] = value;
    device_->SetTextureStageState(stage, type, value);
}

void D3D8RenderFacility::SetStreamSource(gfx::Buffer* buffer, uint32_t stride) {
    if (!device_ || (streamSource == buffer && streamStride == stride)) return;
    streamSource = buffer;
    streamStride = stride;
    ++frameStats_.bufferSwitches;
    device_->SetStreamSource(0, buffer, stride);
}

void D3D8RenderFacility::SetIndices(gfx::Buffer* buffer, uint32_t baseVertex) {
    if (!device_ || (boundIndices == buffer && boundBaseVertex == baseVertex)) return;
    boundIndices = buffer;
    boundBaseVertex = baseVertex;
    device_->SetIndices(buffer, baseVertex);
}

void D3D8RenderFacility::SetVertexShaderHandle(uint32_t handle) {
    if (!device_ || vertexShaderHandle == handle) return;
    vertexShaderHandle = handle;
    device_->SetVertexShader(handle);
}

void D3D8RenderFacility::SetTexture(uint32_t stage, TextureHandle* handle) {
    const D3D8Texture* t = handle ? handle->DeviceTexture() : nullptr;
    if (!t || !t->texture) {
        BindTextureObject(stage, nullptr);
        return;
    }
    TextureStageBinding binding;
    binding.texture = t->texture;
    binding.minFilter = t->minFilter;
    binding.magFilter = t->magFilter;
    binding.mipFilter = t->mipFilter;
    binding.addressU = t->addressU;
    binding.addressV = t->addressV;
    binding.mipBias = t->mipBias;
    BindTextureObject(stage, &binding);
}

void D3D8RenderFacility::BindTextureObject(uint32_t stage, const TextureStageBinding* b) {
    if (!device_ || stage >= 8) return;
    gfx::Texture* t = b ? b->texture : nullptr;
    // A released texture leaves the device's stage empty behind the cache; a new texture made
    // at the freed address must not pass for the one still bound.
    if (t == stageTextures[stage] && device_->GetTexture(stage) == t) return;
    FlushClients();
    if (t) {
        using namespace gfx;
        SetTextureStageState(stage, tss::MINFILTER, b->minFilter);
        SetTextureStageState(stage, tss::MAGFILTER, b->magFilter);
        SetTextureStageState(stage, tss::MIPFILTER, b->mipFilter);
        SetTextureStageState(stage, tss::ADDRESSU, b->addressU);
        SetTextureStageState(stage, tss::ADDRESSV, b->addressV);
        SetTextureStageState(stage, tss::MAXMIPLEVEL, globalMaxMip_);
        SetTextureStageState(stage, tss::MIPMAPLODBIAS, FloatBits(globalMipBias_ + b->mipBias));
    }
    stageTextures[stage] = t;
    ++frameStats_.textureSwitches;
    device_->SetTexture(stage, t);
}

// ---------------------------------------------------------------------------------------------
// Cameras, viewport, clipping, culling

void D3D8RenderFacility::SetViewport(const Rect* rect) {
    FlushClients();
    Rect r{0, 0, screenWidth, screenHeight};
    if (rect) {
        r.left = std::max(rect->left, 0);
        r.top = std::max(rect->top, 0);
        r.right = std::min(rect->right, screenWidth);
        r.bottom = std::min(rect->bottom, screenHeight);
        if (r.right < r.left) r.right = r.left;
        if (r.bottom < r.top) r.bottom = r.top;
    }
    viewportRect = r;
    viewportWidth = r.right - r.left;
    viewportHeight = r.bottom - r.top;
    if (device_) device_->SetViewport({r.left, r.top, viewportWidth, viewportHeight, 0.0f, 1.0f});
}

void D3D8RenderFacility::ApplyCamera(Camera* camera) {
    using namespace gfx;
    if (!camera) {
        SetRenderState(rs::CLIPPLANEENABLE, 0);
        SetViewport(nullptr);
        SetRenderState(rs::FILLMODE, fill::SOLID);
        SetRenderState(rs::FOGENABLE, 0);
        return;
    }
    SetRenderState(rs::FILLMODE, wireframe ? fill::WIREFRAME : fill::SOLID);
    SetViewport(&camera->viewport);
    if (camera->ProjectionDirty()) camera->RebuildProjection();
    SetClipPlane(camera);
    if (device_) {
        Mat4 m;
        memcpy(m.m, camera->projection.m, sizeof m.m);
        device_->SetTransform(ts::PROJECTION, m);
        memcpy(m.m, camera->view.m, sizeof m.m);
        device_->SetTransform(ts::VIEW, m);
    }
    ApplyCameraFog(camera);
}

void D3D8RenderFacility::SetLinearFog(const Color& colour, float start, float end) {
    using namespace gfx;
    SetRenderState(rs::FOGENABLE, 1);
    SetRenderState(rs::RANGEFOGENABLE, caps.fogRange ? 1 : 0);
    SetRenderState(rs::FOGCOLOR, ToPacked(colour));
    SetRenderState(rs::FOGVERTEXMODE, fogmode::LINEAR);
    SetRenderStateFloat(rs::FOGSTART, start);
    SetRenderStateFloat(rs::FOGEND, end);
}

void D3D8RenderFacility::ApplyCameraFog(const Camera* camera) {
    if (camera && camera->FogEnabled()) {
        const float span = camera->farPlane - camera->nearPlane;
        SetLinearFog(camera->fogColor, camera->nearPlane + span * camera->fogStart, camera->nearPlane + span * camera->fogEnd);
    } else {
        SetRenderState(gfx::rs::FOGENABLE, 0);
    }
}

void D3D8RenderFacility::PushState(Camera* camera) {
    FlushClients();
    if (cameraDepth >= kCameraDepth) {
        Log().Log(1, "D3D8RENDERFACILITY: Camera stack full, push refused");
        return;
    }
    cameraStack[cameraDepth++] = currentCamera;
    currentCamera = camera;
    ApplyCamera(camera);
}

Camera* D3D8RenderFacility::PopState() {
    FlushClients();
    Camera* was = currentCamera;
    if (cameraDepth <= 0) {
        Log().Log(1, "D3D8RENDERFACILITY: Camera stack empty, pop refused");
        return was;
    }
    currentCamera = cameraStack[--cameraDepth];
    ApplyCamera(currentCamera);
    return was;
}

void D3D8RenderFacility::SetClipPlane(Camera* camera) {
    if (!camera) return;
    uint32_t mask = 0;
    for (uint32_t i = 0; i < 6; ++i) {
        const Plane* p = camera->clipPlanes[i];
        if (!p) continue;
        const float plane[4] = {p->n.x, p->n.y, p->n.z, p->d};
        if (device_) device_->SetClipPlane(i, plane);
        mask |= 1u << i;
    }
    SetRenderState(gfx::rs::CLIPPLANEENABLE, mask);
}

void D3D8RenderFacility::SetCullMode(int32_t mode) {
    SetRenderState(gfx::rs::CULLMODE, mode == 0 ? gfx::cull::NONE : mode == 1 ? gfx::cull::CCW : gfx::cull::CW);
}

void D3D8RenderFacility::SetSoftwareVertexProcessing(bool software) {
    SetRenderState(gfx::rs::SOFTWAREVERTEXPROCESSING, software ? 0 : 1);
}

// ---------------------------------------------------------------------------------------------
// Vertex shaders

VertexShader* D3D8RenderFacility::LoadVertexShader(uint32_t formatFlags, const char* fileName) {
    ON_DEVICE_THREAD_RETURN(LoadVertexShader(formatFlags, fileName));
    if (!fileName || !FileExists(fileName)) return nullptr;
    auto vs = std::make_unique<VertexShader>();
    vs->declaration = EngineFormatToFvf(formatFlags);
    FileReader reader{SharedString(fileName)};
    if (!reader.IsOpen()) return nullptr;
    const int32_t count = std::max(reader.Length(), 0) / 4;
    vs->tokens.resize(size_t(count));
    for (int32_t i = 0; i < count; ++i) vs->tokens[size_t(i)] = reader.ReadU32();
    if (reader.Failed() || !device_) return nullptr;
    vs->handle = device_->CreateVertexShader(vs->declaration, vs->tokens.data(), vs->tokens.size());
    if (!vs->handle) {
        // Callers fall back to fixed function.
        Log().Log(1, "D3D8RENDERFACILITY: Vertex shader %s refused", fileName);
        return nullptr;
    }
    vertexShaders.push_back(std::move(vs));
    return vertexShaders.back().get();
}

bool D3D8RenderFacility::SetVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) {
    if (!device_) return false;
    return device_->SetVertexShaderConstant(reg, static_cast<const float*>(data), count);
}

// ---------------------------------------------------------------------------------------------
// Buffers

StaticVertexBuffer* D3D8RenderFacility::CreateVertexBuffer(uint32_t formatFlags, uint32_t stride, uint32_t count, bool software) {
    ON_DEVICE_THREAD_RETURN(CreateVertexBuffer(formatFlags, stride, count, software));
    if (!device_ || stride == 0 || count == 0) return nullptr;
    auto* b = new StaticVertexBuffer(*device_, formatFlags, stride, count, software);
    b->Create();
    vertexBuffers.push_back(b);
    return b;
}

DynamicVertexBuffer* D3D8RenderFacility::CreateDynamicVertexBuffer(uint32_t formatFlags, uint32_t stride, uint32_t count, bool software) {
    ON_DEVICE_THREAD_RETURN(CreateDynamicVertexBuffer(formatFlags, stride, count, software));
    if (!device_ || stride == 0 || count == 0) return nullptr;
    auto* b = new DynamicVertexBuffer(*device_, formatFlags, stride, count, software);
    b->Create();
    vertexBuffers.push_back(b);
    return b;
}

StaticIndexBuffer* D3D8RenderFacility::CreateIndexBuffer(uint32_t indexCount, uint32_t vertexCount, bool software) {
    ON_DEVICE_THREAD_RETURN(CreateIndexBuffer(indexCount, vertexCount, software));
    if (!device_ || indexCount == 0) return nullptr;
    auto* b = new StaticIndexBuffer(*device_, indexCount, vertexCount > 0x10000u, software);
    b->Create();
    indexBuffers.push_back(b);
    return b;
}

DynamicIndexBuffer* D3D8RenderFacility::CreateDynamicIndexBuffer(uint32_t indexCount, uint32_t vertexCount, bool software) {
    ON_DEVICE_THREAD_RETURN(CreateDynamicIndexBuffer(indexCount, vertexCount, software));
    if (!device_ || indexCount == 0) return nullptr;
    auto* b = new DynamicIndexBuffer(*device_, indexCount, vertexCount > 0x10000u, software);
    b->Create();
    indexBuffers.push_back(b);
    return b;
}

namespace {
template <class T>
void ReleaseFrom(std::vector<DeviceResource*>& list, T* buffer, gfx::Buffer*& bound, gfx::Device* device, bool vertex) {
    if (!buffer) return;
    auto it = std::find(list.begin(), list.end(), static_cast<DeviceResource*>(buffer));
    if (it != list.end()) list.erase(it);
    if (buffer->DeviceBuffer() && buffer->DeviceBuffer() == bound) {
        bound = nullptr;
        if (device) vertex ? device->SetStreamSource(0, nullptr, 0) : device->SetIndices(nullptr, 0);
    }
    delete buffer;
}
}  // namespace

void D3D8RenderFacility::ReleaseDynamicVertexBuffer(DynamicVertexBuffer* b) { ON_DEVICE_THREAD(ReleaseDynamicVertexBuffer(b)); ReleaseFrom(vertexBuffers, b, streamSource, device_.get(), true); }
void D3D8RenderFacility::ReleaseVertexBuffer(StaticVertexBuffer* b) { ON_DEVICE_THREAD(ReleaseVertexBuffer(b)); ReleaseFrom(vertexBuffers, b, streamSource, device_.get(), true); }
void D3D8RenderFacility::ReleaseDynamicIndexBuffer(DynamicIndexBuffer* b) { ON_DEVICE_THREAD(ReleaseDynamicIndexBuffer(b)); ReleaseFrom(indexBuffers, b, boundIndices, device_.get(), false); }
void D3D8RenderFacility::ReleaseIndexBuffer(StaticIndexBuffer* b) { ON_DEVICE_THREAD(ReleaseIndexBuffer(b)); ReleaseFrom(indexBuffers, b, boundIndices, device_.get(), false); }

// ---------------------------------------------------------------------------------------------
// Pass sets and materials

ShaderPassSet* D3D8RenderFacility::AddShader(const ShaderDescription& description) {
    ON_DEVICE_THREAD_RETURN(AddShader(description));
    auto* set = new ShaderPassSet();
    BuildPassSet(description, *set);
    Log().Log(3, "D3D8RENDERFACILITY: Shader created");
    for (ShaderPassSet* p : passSets) {
        if (p->SameAs(*set)) {
            Log().Log(3, "D3D8RENDERFACILITY: Shader was already loaded. Deleting...");
            delete set;
            ++p->refCount;
            return p;
        }
    }
    Log().Log(3, "D3D8RENDERFACILITY: Adding shader...");
    set->refCount = 1;
    passSets.push_back(set);
    Log().Log(3, "D3D8RENDERFACILITY: Testing shader...");
    ApplyShaderPass(set);
    Log().Log(3, "D3D8RENDERFACILITY: Validating shader...");
    uint32_t passes = 0;
    gfx::Result r = device_ ? device_->ValidateDevice(&passes) : gfx::Result::OK;
    if (r == gfx::Result::OK) {
        Log().Log(3, "D3D8RENDERFACILITY: Shader inited with %d passes", int(passes));
    } else {
        const char* text = "D3D8RENDERFACILITY: Unknown shadererror";
        switch (r) {
            case gfx::Result::WRONGTEXTUREFORMAT: text = "D3D8RENDERFACILITY: Unsupported texformat"; break;
            case gfx::Result::UNSUPPORTEDCOLOROPERATION: text = "D3D8RENDERFACILITY: Unsupported color op"; break;
            case gfx::Result::UNSUPPORTEDCOLORARG: text = "D3D8RENDERFACILITY: Unsupported color arg"; break;
            case gfx::Result::UNSUPPORTEDALPHAOPERATION: text = "D3D8RENDERFACILITY: Unsupported alpha op"; break;
            case gfx::Result::UNSUPPORTEDALPHAARG: text = "D3D8RENDERFACILITY: Unsupported alpha arg"; break;
            case gfx::Result::TOOMANYOPERATIONS: text = "D3D8RENDERFACILITY: Too many ops"; break;
            case gfx::Result::CONFLICTINGTEXTUREFILTER: text = "D3D8RENDERFACILITY: Conflicting texfilter"; break;
            case gfx::Result::UNSUPPORTEDFACTORVALUE: text = "D3D8RENDERFACILITY: Unsupported TFactor value"; break;
            case gfx::Result::UNSUPPORTEDTEXTUREFILTER: text = "D3D8RENDERFACILITY: Unsupported TexFilter"; break;
            case gfx::Result::CONFLICTINGTEXTUREPALETTE: text = "D3D8RENDERFACILITY: Conflicting texpalette"; break;
            default: break;
        }
        Log().Log(3, "%s", text);
        Log().Log(3, "D3D8RENDERFACILITY: PassCount = %d", int(passes));
    }
    return set;
}

void D3D8RenderFacility::ClearPointersTo(ShaderPassSet* set) {
    if (currentPassSet == set) currentPassSet = nullptr;
    if (stencilOverride == set) stencilOverride = nullptr;
}

void D3D8RenderFacility::ReleaseShader(ShaderPassSet* set) {
    ON_DEVICE_THREAD(ReleaseShader(set));
    auto it = std::find(passSets.begin(), passSets.end(), set);
    if (it == passSets.end()) return;
    if (--set->refCount > 0) return;
    passSets.erase(it);
    ClearPointersTo(set);
    delete set;
}

void D3D8RenderFacility::ApplyShaderPass(ShaderPassSet* set) {
    if (!set || set == currentPassSet) return;
    using namespace gfx;
    const uint8_t f = set->flags;
    SetRenderState(rs::LIGHTING, (f & ShaderPassSet::kLighting) ? 1 : 0);
    SetRenderState(rs::SPECULARENABLE, (f & ShaderPassSet::kSpecular) ? 1 : 0);
    SetRenderState(rs::ZWRITEENABLE, (f & ShaderPassSet::kZWrite) ? 1 : 0);
    if (f & ShaderPassSet::kZTest) {
        SetRenderState(rs::ZENABLE, 1);
        SetRenderState(rs::ZFUNC, set->zFunc);
    } else {
        SetRenderState(rs::ZENABLE, 0);
    }
    const ShaderPassSet* st = stencilOverride ? stencilOverride : set;
    if (st->flags & ShaderPassSet::kStencil) {
        SetRenderState(rs::STENCILENABLE, 1);
        SetRenderState(rs::STENCILFAIL, st->stencilFail);
        SetRenderState(rs::STENCILZFAIL, st->stencilZFail);
        SetRenderState(rs::STENCILPASS, st->stencilPass);
        SetRenderState(rs::STENCILFUNC, st->stencilFunc);
    } else {
        SetRenderState(rs::STENCILENABLE, 0);
    }
    if (f & ShaderPassSet::kAlphaTest) {
        SetRenderState(rs::ALPHATESTENABLE, 1);
        SetRenderState(rs::ALPHAFUNC, set->alphaFunc);
    } else {
        SetRenderState(rs::ALPHATESTENABLE, 0);
    }
    if (f & ShaderPassSet::kBlend) {
        SetRenderState(rs::ALPHABLENDENABLE, 1);
        SetRenderState(rs::SRCBLEND, set->srcBlend);
        SetRenderState(rs::DESTBLEND, set->dstBlend);
    } else {
        SetRenderState(rs::ALPHABLENDENABLE, 0);
    }
    const int active = set->ActiveStages();
    for (int i = 0; i < active; ++i) {
        const auto& s = set->stages[i];
        const uint32_t stage = uint32_t(i);
        SetTextureStageState(stage, tss::COLOROP, s.colorOp);
        SetTextureStageState(stage, tss::COLORARG1, s.colorArg1);
        SetTextureStageState(stage, tss::COLORARG2, s.colorArg2);
        SetTextureStageState(stage, tss::ALPHAOP, s.alphaOp);
        SetTextureStageState(stage, tss::ALPHAARG1, s.alphaArg1);
        SetTextureStageState(stage, tss::ALPHAARG2, s.alphaArg2);
        SetTextureStageState(stage, tss::RESULTARG, s.resultArg);
        const uint32_t tci = s.coord & 0x7FFFFFFFu;
        SetTextureStageState(stage, tss::TEXCOORDINDEX, tci);
        if (s.coord & 0x80000000u) {
            SetTextureStageState(stage, tss::TEXTURETRANSFORMFLAGS, ttff::COUNT2);
        } else if (tci & 0xFFFF0000u) {
            SetTextureStageState(stage, tss::TEXTURETRANSFORMFLAGS, ttff::COUNT3);
            if (device_) device_->SetTransform(ts::TEXTURE0 + stage, Mat4());
        } else {
            SetTextureStageState(stage, tss::TEXTURETRANSFORMFLAGS, ttff::DISABLE);
        }
    }
    for (int i = active; i < 8; ++i) {
        const uint32_t stage = uint32_t(i);
        SetTextureStageState(stage, tss::COLOROP, top::DISABLE);
        SetTextureStageState(stage, tss::ALPHAOP, top::DISABLE);
        SetTextureStageState(stage, tss::TEXCOORDINDEX, stage);
        SetTextureStageState(stage, tss::TEXTURETRANSFORMFLAGS, ttff::DISABLE);
    }
    currentPassSet = set;
}

void D3D8RenderFacility::ApplyDrawStates(const ShaderVariables* vars) {
    using namespace gfx;
    if (!vars) {
        SetRenderState(rs::TEXTUREFACTOR, 0);
        SetRenderState(rs::STENCILREF, 1);
        SetRenderState(rs::ALPHAREF, 0);
        return;
    }
    SetRenderState(rs::TEXTUREFACTOR, vars->textureFactor);
    SetRenderState(rs::STENCILREF, vars->stencilRef);
    SetRenderState(rs::ALPHAREF, vars->alphaRef);
    if (!currentPassSet || !device_) return;
    for (int i = 0, n = currentPassSet->ActiveStages(); i < n; ++i) {
        if (!(currentPassSet->stages[i].coord & 0x80000000u)) continue;
        Mat4 m;
        memcpy(m.m, vars->textureMatrices[i].m, sizeof m.m);
        device_->SetTransform(ts::TEXTURE0 + uint32_t(i), m);
    }
}

void D3D8RenderFacility::SetStencilOverride(ShaderPassSet* set) { stencilOverride = set; }

Material* D3D8RenderFacility::AddMaterial(const MaterialDescription& d) {
    ON_DEVICE_THREAD_RETURN(AddMaterial(d));
    auto* rec = new MaterialRecord();
    rec->diffuse[3] = float(d.diffuseAlpha) / 255.0f;
    auto colour = [](float (&out)[4], const Color& c) {
        out[0] = float(c.r) / 255.0f;
        out[1] = float(c.g) / 255.0f;
        out[2] = float(c.b) / 255.0f;
        out[3] = float(c.a) / 255.0f;
    };
    colour(rec->ambient, d.ambient);
    colour(rec->specular, d.specularColor);
    colour(rec->emissive, d.emissive);
    rec->power = d.power;
    MaterialRecord* shared = nullptr;
    for (MaterialRecord* r : materialRecords)
        if (r->SameValues(*rec)) { shared = r; break; }
    if (shared) {
        delete rec;
        ++shared->refCount;
    } else {
        rec->refCount = 1;
        materialRecords.push_back(rec);
        shared = rec;
    }
    for (Material* m : materials) {
        if (m->record == shared && std::equal(std::begin(m->textures), std::end(m->textures), std::begin(d.textures))) {
            ++m->refCount;
            return m;
        }
    }
    auto* m = new Material();
    m->record = shared;
    std::copy(std::begin(d.textures), std::end(d.textures), std::begin(m->textures));
    m->refCount = 1;
    materials.push_back(m);
    if (currentMaterial) {
        ApplyMaterial(m);
    } else {
        // Current without being applied: its first apply must still send it and bind its
        // textures, or the first material of a scene would never reach the device.
        currentMaterial = m;
        materialStale_ = true;
    }
    return m;
}

void D3D8RenderFacility::ReleaseMaterial(Material* material) {
    ON_DEVICE_THREAD(ReleaseMaterial(material));
    auto it = std::find(materials.begin(), materials.end(), material);
    if (it == materials.end()) return;
    if (--material->refCount > 0) return;
    materials.erase(it);
    if (currentMaterial == material) currentMaterial = nullptr;
    delete material;
}

void D3D8RenderFacility::ApplyMaterial(Material* m) {
    if (!m) return;
    const bool fixedFunction = currentVertexShader == nullptr;
    if (m == currentMaterial && !materialStale_ && !(m->dirty && fixedFunction)) return;
    if (fixedFunction && device_ &&
        (materialStale_ || !currentMaterial || currentMaterial->record != m->record || m->dirty)) {
        gfx::MaterialColors c;
        c.diffuse = ToColorValue(m->record->diffuse);
        c.ambient = ToColorValue(m->record->ambient);
        c.specular = ToColorValue(m->record->specular);
        c.emissive = ToColorValue(m->record->emissive);
        c.power = m->record->power;
        device_->SetMaterial(c);
    }
    for (uint32_t s = 0; s < 8; ++s) SetTexture(s, m->textures[s]);
    currentMaterial = m;
    m->dirty = 0;
    if (fixedFunction) materialStale_ = false;
}

// ---------------------------------------------------------------------------------------------
// Meshes and clients

D3D8Mesh* D3D8RenderFacility::CreateMesh(MeshRecord& record) {
    ON_DEVICE_THREAD_RETURN(CreateMesh(record));
    if (!device_) return new InertMesh(record);
    if (record.vertices.size() > 0x10000u) return new D3D8LargeMesh(*this, record);
    if (record.nodes.empty() || record.nodes.front().boneTrees.empty()) {
        auto* mesh = new D3D8ShinyMesh(*this, record);
        ownedMeshes_.push_back(mesh);
        return mesh;
    }
    auto* mesh = new D3D8AnimatedMesh(*this, record);
    ownedMeshes_.push_back(mesh);
    resetMeshes_.push_back(mesh);
    return mesh;
}

D3D8Mesh* D3D8RenderFacility::CreateShinyMesh(MeshRecord& record) {
    ON_DEVICE_THREAD_RETURN(CreateShinyMesh(record));
    if (!device_) return new InertMesh(record);
    auto* mesh = new D3D8ShinyMesh(*this, record);
    ownedMeshes_.push_back(mesh);
    return mesh;
}

void D3D8RenderFacility::AddLiveMesh(D3D8Mesh* mesh) { liveMeshes_.push_back(mesh); }

void D3D8RenderFacility::AddResetMesh(D3D8AnimatedMesh* mesh) { resetMeshes_.push_back(mesh); }

void D3D8RenderFacility::ForgetMesh(D3D8Mesh* mesh) {
    ON_DEVICE_THREAD(ForgetMesh(mesh));
    std::erase(liveMeshes_, mesh);
    std::erase(ownedMeshes_, mesh);
    // Called from the mesh's base destructor: compare as meshes, not by the derived type.
    std::erase_if(resetMeshes_, [mesh](D3D8AnimatedMesh* m) { return static_cast<D3D8Mesh*>(m) == mesh; });
}

void D3D8RenderFacility::ApplyWorldTransform() {
    if (!device_ || !matrixStack_ || !matrixStack_->dirty) return;
    gfx::Mat4 m;
    memcpy(m.m, matrixStack_->current.m, sizeof m.m);
    device_->SetTransform(gfx::ts::WORLD, m);
    matrixStack_->dirty = 0;
}

void D3D8RenderFacility::ApplyDirtyLights() {
    if (lights_) lights_->ApplyDirtyLights();
}

void D3D8RenderFacility::ForgetStreamAndIndices() {
    streamSource = nullptr;
    streamStride = 0;
    boundIndices = nullptr;
    boundBaseVertex = 0;
}

void D3D8RenderFacility::SetScreenSize(int32_t width, int32_t height) {
    screenWidth = width;
    screenHeight = height;
}

void D3D8RenderFacility::AddDeviceClient(DeviceClient* client) {
    if (client && std::find(clients.begin(), clients.end(), client) == clients.end()) clients.push_back(client);
}

void D3D8RenderFacility::RemoveDeviceClient(DeviceClient* client) {
    clients.erase(std::remove(clients.begin(), clients.end(), client), clients.end());
}
