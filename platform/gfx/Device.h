#pragma once
// gfx::Device: the small device interface the render facility draws through. It keeps a mirror
// of every render state, texture-stage state, transform, light and material with the defaults
// of the API the engine was written for, hands out buffers and textures by pool, binds streams,
// indices and vertex formats, clears, presents, and simulates device loss and reset.
// GLDevice is the real implementation (OpenGL 3.3 core). All calls belong to the main thread.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gfx/GfxTypes.h"

namespace gfx {

class Device;

// A vertex or index buffer: a CPU shadow plus the device object. Lock hands out a pointer into
// the shadow; Unlock uploads the locked range.
class Buffer {
public:
    uint32_t Size() const { return size_; }
    Pool GetPool() const { return pool_; }
    bool IsIndex() const { return index_; }
    bool Index32() const { return index32_; }
    uint32_t Fvf() const { return fvf_; }
    bool Locked() const { return lockSize_ != 0; }
    const uint8_t* Shadow() const { return shadow_.get(); }

protected:
    friend class GLDevice;
    friend class RecordingDevice;
    Buffer() = default;
    virtual ~Buffer() = default;
    std::unique_ptr<uint8_t[]> shadow_;
    uint32_t size_ = 0;
    Pool pool_ = Pool::DEFAULT;
    bool index_ = false, index32_ = false, dynamic_ = false;
    uint32_t fvf_ = 0;
    uint32_t lockOffset_ = 0, lockSize_ = 0, lockFlags_ = 0;
    uint32_t name_ = 0;  // device object
};

class Texture {
public:
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }
    uint32_t Levels() const { return levels_; }
    uint32_t Format() const { return format_; }
    bool IsCube() const { return cube_; }
    Pool GetPool() const { return pool_; }

protected:
    friend class GLDevice;
    friend class RecordingDevice;
    Texture() = default;
    virtual ~Texture() = default;
    uint32_t width_ = 0, height_ = 0, levels_ = 1, format_ = 0;
    bool cube_ = false;
    Pool pool_ = Pool::MANAGED;
    uint32_t name_ = 0;
    uint32_t bytes_ = 0;
    bool target_ = false;            // a cube render target
    uint32_t fbo_ = 0, depth_ = 0;   // its framebuffer and depth-stencil buffer
};

// Counters a device keeps for tests and benchmarks.
struct DeviceStats {
    uint64_t draws = 0;
    uint64_t glCalls = 0;          // every GL call issued for state, binding and drawing
    uint64_t glStateCalls = 0;     // GL calls that change pipeline state or bindings
    uint64_t redundantSets = 0;    // device set calls whose value equals the mirror
    uint64_t redundantGLCalls = 0;  // GL state calls that set what GL already had (state audit)
    uint64_t programsBuilt = 0;
    uint64_t programSwitches = 0;
    uint64_t uniformUploads = 0;  // glUniform calls (each sends a value its program lacked)
    uint64_t targetCopies = 0;    // whole-target copies made to keep the presented frame
};

class Device {
public:
    virtual ~Device() = default;

    virtual const Caps& GetCaps() const = 0;
    virtual const AdapterInfo& GetAdapter() const = 0;
    virtual Mode DesktopMode() const = 0;
    // Whether depth-stencil format (engine depth code 0 D16, 1 D24X8, 2 D24S8, others none)
    // can be used.
    virtual bool DepthFormatSupported(uint32_t code) const = 0;

    // Loss and reset.
    virtual CoopState TestCooperativeLevel() = 0;
    virtual void ForceCooperativeLevel(CoopState state) = 0;  // test hook
    // Resizes the back and front targets and restores every state to its default. Fails with
    // INVALIDCALL while any DEFAULT-pool resource is alive or the device is lost.
    virtual Result Reset(int32_t width, int32_t height) = 0;
    virtual int32_t BackWidth() const = 0;
    virtual int32_t BackHeight() const = 0;

    // Frame.
    virtual Result BeginScene() = 0;
    virtual Result EndScene() = 0;
    virtual Result Present() = 0;
    virtual Result Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) = 0;
    virtual void SetViewport(const Viewport& vp) = 0;
    virtual const Viewport& GetViewport() const = 0;

    // State mirror.
    virtual void SetRenderState(uint32_t state, uint32_t value) = 0;
    virtual uint32_t GetRenderState(uint32_t state) const = 0;
    virtual void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) = 0;
    virtual uint32_t GetTextureStageState(uint32_t stage, uint32_t type) const = 0;
    virtual void SetTransform(uint32_t id, const Mat4& m) = 0;
    virtual const Mat4& GetTransform(uint32_t id) const = 0;
    virtual void SetLight(uint32_t index, const Light& light) = 0;
    virtual bool GetLight(uint32_t index, Light& out) const = 0;
    virtual void LightEnable(uint32_t index, bool enable) = 0;
    virtual bool IsLightEnabled(uint32_t index) const = 0;
    virtual void SetMaterial(const MaterialColors& material) = 0;
    virtual const MaterialColors& GetMaterial() const = 0;
    virtual void SetClipPlane(uint32_t index, const float plane[4]) = 0;

    // Resources.
    virtual Buffer* CreateVertexBuffer(uint32_t bytes, uint32_t fvfCode, Pool pool, bool dynamic) = 0;
    virtual Buffer* CreateIndexBuffer(uint32_t bytes, bool index32, Pool pool, bool dynamic) = 0;
    virtual void ReleaseBuffer(Buffer* buffer) = 0;
    // Null when the range lies outside the buffer or the buffer is already locked.
    virtual void* Lock(Buffer* buffer, uint32_t offset, uint32_t size, uint32_t flags) = 0;
    virtual void Unlock(Buffer* buffer) = 0;
    virtual Texture* CreateTexture(uint32_t width, uint32_t height, uint32_t levels,
                                   uint32_t engineFormat, Pool pool) = 0;
    // Uploads one level from data in the texture's format with the given source pitch.
    virtual bool UpdateTexture(Texture* texture, uint32_t level, const void* data, uint32_t pitch) = 0;
    virtual void ReleaseTexture(Texture* texture) = 0;
    // A cube render target: one level of size x size faces in the back buffer's format (alpha
    // reads 1) with a depth-stencil buffer of its own, in the DEFAULT pool. Null when it cannot
    // be made.
    virtual Texture* CreateCubeTarget(uint32_t size) = 0;
    // Draws and clears go to face `face` (0 +X, 1 -X, 2 +Y, 3 -Y, 4 +Z, 5 -Z) of a cube target,
    // or back to the back buffer for null. False (nothing changes) for anything else.
    virtual bool SetRenderTarget(Texture* cube, uint32_t face) = 0;
    // Size of what draws go to now (the back buffer or a cube face).
    virtual int32_t TargetWidth() const = 0;
    virtual int32_t TargetHeight() const = 0;
    virtual uint32_t AvailableTextureMem() const = 0;
    virtual int32_t LiveDefaultResources() const = 0;

    // Binding.
    virtual void SetTexture(uint32_t stage, Texture* texture) = 0;
    virtual Texture* GetTexture(uint32_t stage) const = 0;
    virtual void SetStreamSource(uint32_t stream, Buffer* buffer, uint32_t stride) = 0;
    virtual void SetIndices(Buffer* buffer, uint32_t baseVertex) = 0;
    // An FVF code (even) or a vertex-shader handle (odd); 0 = none.
    virtual void SetVertexShader(uint32_t handle) = 0;
    virtual uint32_t GetVertexShader() const = 0;
    // Validates and translates a vs 1.1 token stream. 0 on failure (logged).
    virtual uint32_t CreateVertexShader(uint32_t fvfCode, const uint32_t* tokens, size_t count) = 0;
    virtual void DeleteVertexShader(uint32_t handle) = 0;
    // count four-float registers from reg; false (nothing set) when reg + count exceeds the
    // register file.
    virtual bool SetVertexShaderConstant(uint32_t reg, const float* data, uint32_t count) = 0;

    // Drawing.
    virtual void DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primCount) = 0;
    virtual void DrawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                                      uint32_t startIndex, uint32_t primCount) = 0;
    virtual void DrawPrimitiveUP(uint32_t type, uint32_t primCount, const void* data, uint32_t stride) = 0;
    virtual Result ValidateDevice(uint32_t* passes) = 0;

    // Reads w x h pixels at (x, y) of the back (true) or front (false) target as A8R8G8B8
    // words, rows from the top, alpha forced opaque. False when the rectangle leaves the target.
    virtual bool ReadPixels(bool back, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) = 0;

    virtual DeviceStats& Stats() = 0;
    // With the audit on, every GL state call is checked against GL's own value first (slow;
    // tests and benchmarks only) and counted in redundantGLCalls when it would change nothing.
    virtual void SetStateAudit(bool on) = 0;
};

// Depth-stencil formats an adapter offers, as bits, in the order the facility tests them.
namespace depthfmt {
enum : uint32_t { D15S1 = 1, D16 = 2, D24X8 = 4, D32 = 8, D24X4S4 = 16, D24S8 = 32 };
}

// One display adapter as the facility sees it before any device exists.
struct AdapterDesc {
    AdapterInfo info;
    Caps caps;
    std::vector<Mode> modes;  // in the adapter's order
    Mode desktop{1024, 768, 32, 60};
    uint32_t depthFormats = depthfmt::D16 | depthfmt::D24X8 | depthfmt::D24S8;
};

// The adapters of the GL layer: one, with the synthetic mode list (the usual sizes at 16 and
// 32 bits, all at 60 Hz) and the desktop's mode.
std::vector<AdapterDesc> EnumerateAdapters();

// Opens the real device. nativeWindow is the application's SDL window (created with
// RequiredWindowFlags() after PrepareWindowAttributes()), or null for an offscreen device on a
// hidden window of its own. Null (logged) when no GL 3.3 core context can be made.
std::unique_ptr<Device> CreateGLDevice(void* nativeWindow, int32_t width, int32_t height);

// What the window layer must do before creating a window the device can draw into.
void PrepareWindowAttributes();
uint32_t RequiredWindowFlags();
// The desktop's mode (1024x768x32 when there is no display); the rate always reads 60 Hz.
Mode QueryDesktopMode();
// Full-screen state of an SDL window given as an opaque pointer (false for null).
bool WindowIsFullScreen(void* nativeWindow);



}  // namespace gfx
