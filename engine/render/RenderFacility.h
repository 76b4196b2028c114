#pragma once
// The engine's abstract renderer. The engine holds exactly one facility and drives the frame
// through it; D3D8RenderFacility is the real implementation (drawing through platform/gfx),
// NullRenderFacility a stand-in that draws nothing (tests, tools, a failed start-up).
#include <cstdint>
#include <vector>

class Camera;
struct Rect;
class RenderStats;
class TextureHandle;
class ShaderPassSet;
class Material;
struct ShaderDescription;
struct MaterialDescription;
struct ShaderVariables;
class StaticVertexBuffer;
class DynamicVertexBuffer;
class StaticIndexBuffer;
class DynamicIndexBuffer;
class VertexShader;
struct MeshRecord;
class D3D8Mesh;
class MatrixStack;
class SpriteRenderer;
class D3D8TextureManager;
class LightManager;
class D3D8GeomRenderer;
class QuadBatchRenderer;

// A display mode. In a request a refresh rate of -1 means any rate.
struct DisplayMode {
    int32_t width = 0;
    int32_t height = 0;
    int32_t bitsPerPixel = 0;
    int32_t refreshRate = 0;
    bool operator==(const DisplayMode&) const = default;
};

// Clear flags.
enum : uint32_t { kClearTarget = 1, kClearDepth = 2, kClearStencil = 4 };

class RenderFacility {
public:
    virtual ~RenderFacility() {}

    // --- devices and display modes ---
    // The application window the device renders into, as an opaque native handle (the SDL
    // window). Must be given before CreateDevice; without one the device renders offscreen only.
    virtual void SetWindow(void* nativeWindow) = 0;
    // -1 chooses automatically; an index out of range chooses adapter 0.
    virtual void ChooseDevice(int32_t adapterIndex) = 0;
    virtual void SelectMode(int32_t modeIndex) = 0;
    virtual bool RequestMode(const DisplayMode& mode) = 0;
    virtual void CreateDevice(bool lockableBackBuffer) = 0;
    virtual const std::vector<DisplayMode>& Modes() const = 0;
    virtual const DisplayMode& CurrentMode() const = 0;
    // True once a device exists and is usable (the engine's renderer-ready state).
    virtual bool DeviceReady() const = 0;
    virtual void SetUseDefaultRefresh(bool useDefault) = 0;
    virtual bool Wireframe() const = 0;
    virtual void SetWireframe(bool on) = 0;
    virtual int32_t ViewportWidth() const = 0;
    virtual int32_t ViewportHeight() const = 0;
    virtual int32_t ScreenWidth() const = 0;
    virtual int32_t ScreenHeight() const = 0;

    // --- frame ---
    virtual void Clear(uint32_t flags) = 0;
    virtual void BeginScene() = 0;
    // Ends the frame and presents it; handles a lost device.
    virtual void EndScene() = 0;
    // viewportWidth x viewportHeight pixels (A8R8G8B8 words), rows from the top. false reads
    // what was last presented, true the back buffer.
    virtual std::vector<uint32_t> GrabScreen(bool fromBackBuffer) = 0;
    // Counters of the last finished frame (its texts: fps, polygons, texture switches,
    // vertices, vertex-buffer switches) and of the frame being drawn.
    virtual RenderStats& LastFrameStats() = 0;
    virtual RenderStats& FrameStats() = 0;
    // The engine's frame time step, used by the frame-rate counter.
    virtual void SetFrameTime(float seconds) = 0;

    // --- buffers ---
    virtual StaticVertexBuffer* CreateVertexBuffer(uint32_t formatFlags, uint32_t stride,
                                                   uint32_t count, bool software) = 0;
    virtual DynamicVertexBuffer* CreateDynamicVertexBuffer(uint32_t formatFlags, uint32_t stride,
                                                           uint32_t count, bool software) = 0;
    virtual void ReleaseDynamicVertexBuffer(DynamicVertexBuffer* buffer) = 0;
    virtual void ReleaseVertexBuffer(StaticVertexBuffer* buffer) = 0;
    virtual StaticIndexBuffer* CreateIndexBuffer(uint32_t indexCount, uint32_t vertexCount,
                                                 bool software) = 0;
    virtual DynamicIndexBuffer* CreateDynamicIndexBuffer(uint32_t indexCount,
                                                         uint32_t vertexCount, bool software) = 0;
    virtual void ReleaseDynamicIndexBuffer(DynamicIndexBuffer* buffer) = 0;
    virtual void ReleaseIndexBuffer(StaticIndexBuffer* buffer) = 0;

    // --- pass sets and materials ---
    virtual ShaderPassSet* AddShader(const ShaderDescription& description) = 0;
    virtual void ReleaseShader(ShaderPassSet* set) = 0;
    virtual Material* AddMaterial(const MaterialDescription& description) = 0;
    virtual void ReleaseMaterial(Material* material) = 0;
    virtual void ApplyMaterial(Material* material) = 0;
    virtual void ApplyShaderPass(ShaderPassSet* set) = 0;
    virtual void ApplyDrawStates(const ShaderVariables* vars) = 0;
    virtual void SetStencilOverride(ShaderPassSet* set) = 0;
    virtual void SetTexture(uint32_t stage, TextureHandle* texture) = 0;

    // --- meshes ---
    virtual D3D8Mesh* CreateMesh(MeshRecord& record) = 0;
    virtual void ReleaseMesh(D3D8Mesh* mesh) = 0;  // the mesh factory's release call: no effect
    virtual D3D8Mesh* CreateShinyMesh(MeshRecord& record) = 0;

    // --- cameras, viewport, clipping ---
    virtual void SetViewport(const Rect* rect) = 0;
    virtual void PushState(Camera* camera) = 0;
    virtual Camera* PopState() = 0;
    virtual void SetClipPlane(Camera* camera) = 0;
    virtual void SetCullMode(int32_t mode) = 0;
    virtual void SetSoftwareVertexProcessing(bool software) = 0;

    // --- vertex shaders ---
    virtual VertexShader* LoadVertexShader(uint32_t formatFlags, const char* fileName) = 0;
    virtual void SetVertexShader(VertexShader* shader) = 0;
    // count four-float registers starting at reg; refused when they reach past the last one.
    virtual bool SetVertexShaderConstant(uint32_t reg, const void* data, uint32_t count) = 0;

    // --- sub-objects (owned by the facility; null before the device exists) ---
    virtual MatrixStack* GetMatrixStack() = 0;
    virtual SpriteRenderer* GetSpriteRenderer() = 0;
    virtual D3D8TextureManager* GetTextureManager() = 0;
    virtual LightManager* GetLightManager() = 0;
    virtual D3D8GeomRenderer* GetGeomRenderer() = 0;
    virtual QuadBatchRenderer* GetQuadBatchRenderer() = 0;
};
