#pragma once
// The render facility: adapters and display modes, the device with its state caches, frames,
// cameras, pass sets and materials, buffers, vertex shaders and the device reset. It draws
// through gfx::Device (OpenGL underneath). It makes its parts itself, all in CreateParts, once
// its device exists: nothing is registered from outside.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"
#include "engine/render/RenderBuffers.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/RenderStats.h"
#include "engine/render/ShaderTypes.h"
#include "platform/gfx/Device.h"

class D3D8AnimatedMesh;
class D3D8LightManager;
class D3D8SpriteRenderer;

struct AdapterRecord {
    SharedString driver;
    SharedString description;
    uint32_t vendorId = 0;
    uint32_t deviceId = 0;
};

// A loaded .vso program.
class VertexShader {
public:
    uint32_t handle = 0;
    uint32_t declaration = 0;  // the device vertex format its inputs follow
    std::vector<uint32_t> tokens;
};

// What a texture handle resolves to when bound on a stage.
struct TextureStageBinding {
    gfx::Texture* texture = nullptr;
    uint32_t minFilter = 2, magFilter = 2, mipFilter = 2;
    uint32_t addressU = 1, addressV = 1;
    float mipBias = 0.0f;
};

// Objects that hold device state of their own or batch draws (sprite renderer, texture
// manager, animated meshes): flushed before state that affects them changes, and told around
// a device reset.
class DeviceClient {
public:
    virtual ~DeviceClient() {}
    virtual void Flush() {}
    virtual void OnDeviceLost() {}
    virtual void OnDeviceRestored() {}
};

// Gate on Present (nothing installs one by default).
class PresentHook {
public:
    virtual ~PresentHook() {}
    virtual bool MayPresent() = 0;
};

// Where the facility's adapters and device come from: the GL layer by default; tests give a
// list of adapters and a maker of recording devices.
struct DeviceSource {
    std::function<std::vector<gfx::AdapterDesc>()> enumerate;
    std::function<std::unique_ptr<gfx::Device>(void* window, int32_t width, int32_t height)> create;
};

class D3D8RenderFacility : public RenderFacility {
public:
    static constexpr uint32_t kUnknownState = 0xFDFDFDFDu;
    static constexpr int kCameraDepth = 8;

    explicit D3D8RenderFacility(DeviceSource source = {});
    ~D3D8RenderFacility() override;

    // RenderFacility
    void SetWindow(void* nativeWindow) override { window_ = nativeWindow; }
    void ChooseDevice(int32_t adapterIndex) override;
    void SelectMode(int32_t modeIndex) override;
    bool RequestMode(const DisplayMode& mode) override;
    void CreateDevice(bool lockableBackBuffer) override;
    const std::vector<DisplayMode>& Modes() const override { return modes; }
    const DisplayMode& CurrentMode() const override { return currentMode; }
    bool DeviceReady() const override { return device_ != nullptr && ready_; }
    void SetUseDefaultRefresh(bool v) override { useDefaultRefresh = v; }
    bool Wireframe() const override { return wireframe; }
    void SetWireframe(bool on) override { wireframe = on; }
    int32_t ViewportWidth() const override { return viewportWidth; }
    int32_t ViewportHeight() const override { return viewportHeight; }
    int32_t ScreenWidth() const override { return screenWidth; }
    int32_t ScreenHeight() const override { return screenHeight; }

    void Clear(uint32_t flags) override;
    void BeginScene() override;
    void EndScene() override;
    std::vector<uint32_t> GrabScreen(bool fromBackBuffer) override;
    RenderStats& LastFrameStats() override { return lastStats_; }
    RenderStats& FrameStats() override { return frameStats_; }
    void SetFrameTime(float seconds) override { frameTime_ = seconds; }

    StaticVertexBuffer* CreateVertexBuffer(uint32_t formatFlags, uint32_t stride, uint32_t count, bool software) override;
    DynamicVertexBuffer* CreateDynamicVertexBuffer(uint32_t formatFlags, uint32_t stride, uint32_t count, bool software) override;
    void ReleaseDynamicVertexBuffer(DynamicVertexBuffer* buffer) override;
    void ReleaseVertexBuffer(StaticVertexBuffer* buffer) override;
    StaticIndexBuffer* CreateIndexBuffer(uint32_t indexCount, uint32_t vertexCount, bool software) override;
    DynamicIndexBuffer* CreateDynamicIndexBuffer(uint32_t indexCount, uint32_t vertexCount, bool software) override;
    void ReleaseDynamicIndexBuffer(DynamicIndexBuffer* buffer) override;
    void ReleaseIndexBuffer(StaticIndexBuffer* buffer) override;

    ShaderPassSet* AddShader(const ShaderDescription& description) override;
    void ReleaseShader(ShaderPassSet* set) override;
    Material* AddMaterial(const MaterialDescription& description) override;
    void ReleaseMaterial(Material* material) override;
    void ApplyMaterial(Material* material) override;
    void ApplyShaderPass(ShaderPassSet* set) override;
    void ApplyDrawStates(const ShaderVariables* vars) override;
    void SetStencilOverride(ShaderPassSet* set) override;
    void SetTexture(uint32_t stage, TextureHandle* texture) override;

    // More than 65536 vertices: a large mesh; a first node without bone trees: a shiny mesh
    // (owned by the facility); else an animated mesh (on the reset list). Without a device:
    // an inert mesh that draws nothing.
    D3D8Mesh* CreateMesh(MeshRecord& record) override;
    void ReleaseMesh(D3D8Mesh*) override {}
    D3D8Mesh* CreateShinyMesh(MeshRecord& record) override;

    void SetViewport(const Rect* rect) override;
    void PushState(Camera* camera) override;
    Camera* PopState() override;
    void SetClipPlane(Camera* camera) override;
    void SetCullMode(int32_t mode) override;
    void SetSoftwareVertexProcessing(bool software) override;

    VertexShader* LoadVertexShader(uint32_t formatFlags, const char* fileName) override;
    void SetVertexShader(VertexShader* shader) override { currentVertexShader = shader; }
    bool SetVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) override;

    MatrixStack* GetMatrixStack() override { return matrixStack_.get(); }
    SpriteRenderer* GetSpriteRenderer() override;
    D3D8TextureManager* GetTextureManager() override { return textures_.get(); }
    LightManager* GetLightManager() override;
    D3D8GeomRenderer* GetGeomRenderer() override { return geometry_.get(); }
    QuadBatchRenderer* GetQuadBatchRenderer() override { return quads_.get(); }

    // Cached device calls used by the other renderers.
    void SetRenderState(uint32_t state, uint32_t value);
    void SetRenderStateFloat(uint32_t state, float value);
    void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value);
    void SetStreamSource(gfx::Buffer* buffer, uint32_t stride);
    void SetIndices(gfx::Buffer* buffer, uint32_t baseVertex);
    void SetVertexShaderHandle(uint32_t handle);  // a device vertex format or a shader handle
    void BindTextureObject(uint32_t stage, const TextureStageBinding* binding);
    void ApplyCamera(Camera* camera);
    // Linear fog in a colour from `start` to `end` (eye distances), for a draw that fades into
    // the fog whatever the camera says; ApplyCameraFog puts the camera's own fog back.
    void SetLinearFog(const Color& colour, float start, float end);
    void ApplyCameraFog(const Camera* camera);
    void SetTextureGlobals(uint32_t maxMipLevel, float mipBias) { globalMaxMip_ = maxMipLevel; globalMipBias_ = mipBias; }
    // Adds a frame's drawn polygons and vertices to the counters.
    void CountDraw(int32_t polygons, int32_t vertices) { frameStats_.polygons += polygons; frameStats_.vertices += vertices; }
    void CountBufferSwitch() { ++frameStats_.bufferSwitches; }

    // The world transform when the matrix stack changed it; every light whose values changed.
    void ApplyWorldTransform();
    void ApplyDirtyLights();
    // Draws that bound buffers on the device themselves leave the cached stream and indices
    // unknown.
    void ForgetStreamAndIndices();
    // The 2-D screen size (the environment cube draws its faces at its own size; BeginScene
    // restores the display's).
    void SetScreenSize(int32_t width, int32_t height);

    // Meshes made against this facility: every one is live until it is destroyed; animated
    // meshes and their clones are told about resets; when the facility goes it deletes the
    // shiny and animated meshes it made and makes the rest let go of the device.
    void AddLiveMesh(D3D8Mesh* mesh);
    void AddResetMesh(D3D8AnimatedMesh* mesh);
    void ForgetMesh(D3D8Mesh* mesh);
    size_t OwnedMeshCount() const { return ownedMeshes_.size(); }
    size_t ResetMeshCount() const { return resetMeshes_.size(); }

    void AddDeviceClient(DeviceClient* client);
    void RemoveDeviceClient(DeviceClient* client);
    void SetPresentHook(PresentHook* hook) { presentHook = hook; }

    gfx::Device* Device() { return device_.get(); }
    Camera* CurrentCamera() const { return currentCamera; }
    ShaderPassSet* CurrentPassSet() const { return currentPassSet; }
    Material* CurrentMaterial() const { return currentMaterial; }
    VertexShader* CurrentVertexShader() const { return currentVertexShader; }
    const std::vector<ShaderPassSet*>& PassSets() const { return passSets; }
    const std::vector<Material*>& Materials() const { return materials; }
    bool HasStencil() const { return hasStencil; }
    const gfx::Caps& Caps() const { return caps; }
    const std::vector<AdapterRecord>& Adapters() const { return adapters; }
    int32_t SelectedAdapter() const { return selectedAdapter; }
    uint32_t CachedRenderState(uint32_t s) const { return s < gfx::rs::COUNT ? renderStateCache[s] : 0; }
    uint32_t CachedStageState(uint32_t st, uint32_t t) const { return (st < 8 && t < gfx::tss::COUNT) ? stageStateCache[st][t] : 0; }

    // Public for the state tests and the benchmark.
    bool useDefaultRefresh = true;
    bool wireframe = false;

private:
    void CreateParts();
    void DestroyParts();
    void ResetDevice();
    void InitStates();
    void FlushClients();
    void ClearPointersTo(ShaderPassSet* set);

    std::unique_ptr<gfx::Device> device_;
    void* window_ = nullptr;
    bool ready_ = false;
    bool resetPending_ = false;
    float frameTime_ = 0.0f;
    RenderStats frameStats_, lastStats_;

    DeviceSource source_;
    std::vector<gfx::AdapterDesc> adapterDescs_;
    std::vector<AdapterRecord> adapters;
    int32_t selectedAdapter = 0;
    std::vector<DisplayMode> modes;
    DisplayMode currentMode;
    int32_t viewportWidth = 0, viewportHeight = 0;
    int32_t screenWidth = 0, screenHeight = 0;
    bool hasStencil = false;
    gfx::Caps caps;
    bool hardwareTnL = false;
    bool zFog = false;
    float vertexShaderSupport = 0.0f;
public:
    float VertexShaderSupport() const { return vertexShaderSupport; }
private:
    int32_t maxTextureStages = 0;
    uint32_t maxVertexIndex = 0;
    uint32_t textureMemory = 0;
    Mutex lock;

    uint32_t renderStateCache[gfx::rs::COUNT];
    uint32_t stageStateCache[8][gfx::tss::COUNT];
    gfx::Texture* stageTextures[8] = {};
    gfx::Buffer* streamSource = nullptr;
    uint32_t streamStride = 0;
    gfx::Buffer* boundIndices = nullptr;
    uint32_t boundBaseVertex = 0;
    uint32_t vertexShaderHandle = 0;
    Camera* currentCamera = nullptr;
    Camera* cameraStack[kCameraDepth] = {};
    int32_t cameraDepth = 0;
    Rect viewportRect;
    VertexShader* currentVertexShader = nullptr;
    std::vector<std::unique_ptr<VertexShader>> vertexShaders;
    PresentHook* presentHook = nullptr;

    std::vector<ShaderPassSet*> passSets;
    std::vector<Material*> materials;
    std::vector<MaterialRecord*> materialRecords;
    ShaderPassSet* currentPassSet = nullptr;
    Material* currentMaterial = nullptr;
    bool materialStale_ = false;  // the device lost what currentMaterial set (after a reset)
    ShaderPassSet* stencilOverride = nullptr;

    std::vector<DeviceResource*> vertexBuffers, indexBuffers;
    std::vector<DeviceClient*> clients;

    // The parts, made by CreateParts once the device exists (null before).
    std::unique_ptr<MatrixStack> matrixStack_;
    std::unique_ptr<D3D8SpriteRenderer> sprites_;
    std::unique_ptr<D3D8TextureManager> textures_;
    std::unique_ptr<D3D8LightManager> lights_;
    std::unique_ptr<D3D8GeomRenderer> geometry_;
    std::unique_ptr<QuadBatchRenderer> quads_;
    std::vector<D3D8Mesh*> liveMeshes_, ownedMeshes_;
    std::vector<D3D8AnimatedMesh*> resetMeshes_;
    uint32_t globalMaxMip_ = 0;
    float globalMipBias_ = 0.0f;
};

// Packed 0xAARRGGBB from the engine's colour (memory order A, R, G, B).
inline uint32_t ToPacked(const Color& c) {
    return uint32_t(c.a) << 24 | uint32_t(c.r) << 16 | uint32_t(c.g) << 8 | uint32_t(c.b);
}

// The engine's renderer: a new D3D8RenderFacility.
RenderFacility* CreateRenderer();
