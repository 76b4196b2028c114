#pragma once
// A gfx device without GL for unit tests of caching logic: it keeps the same state mirror as the
// real device, logs every call that reaches it as one line ("SetRenderState 27 1"), and lets a
// test choose the caps, the adapter, the cooperative level, the validation result and whether
// creating resources fails. Buffers keep their shadow, so locks and updates can be checked.
#include <string>
#include <vector>

#include "platform/gfx/StateMirror.h"

namespace gfx {

class RecordingDevice final : public MirroredDevice {
public:
    RecordingDevice(int32_t width = 640, int32_t height = 480);
    ~RecordingDevice() override;

    // The call log.
    std::vector<std::string> calls;
    void ClearCalls() { calls.clear(); }
    // Number of logged calls that start with the prefix.
    int Count(const std::string& prefix) const;

    // What the test chooses.
    Caps caps;
    AdapterInfo adapter;
    Result validateResult = Result::OK;

    const Caps& GetCaps() const override { return caps; }
    const AdapterInfo& GetAdapter() const override { return adapter; }
    Mode DesktopMode() const override { return {1024, 768, 32, 60}; }
    bool DepthFormatSupported(uint32_t code) const override { return code <= 2; }

    CoopState TestCooperativeLevel() override { return coop_; }
    void ForceCooperativeLevel(CoopState state) override { coop_ = state; }
    Result Reset(int32_t width, int32_t height) override;
    int32_t BackWidth() const override { return width_; }
    int32_t BackHeight() const override { return height_; }

    Result BeginScene() override;
    Result EndScene() override;
    Result Present() override;
    Result Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) override;
    void SetViewport(const Viewport& vp) override;

    void SetRenderState(uint32_t state, uint32_t value) override;
    void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override;
    void SetTransform(uint32_t id, const Mat4& m) override;
    void SetLight(uint32_t index, const Light& light) override;
    void LightEnable(uint32_t index, bool enable) override;
    void SetMaterial(const MaterialColors& material) override;
    void SetClipPlane(uint32_t index, const float plane[4]) override;

    Buffer* CreateVertexBuffer(uint32_t bytes, uint32_t fvfCode, Pool pool, bool dynamic) override;
    Buffer* CreateIndexBuffer(uint32_t bytes, bool index32, Pool pool, bool dynamic) override;
    void ReleaseBuffer(Buffer* buffer) override;
    void* Lock(Buffer* buffer, uint32_t offset, uint32_t size, uint32_t flags) override;
    void Unlock(Buffer* buffer) override;
    Texture* CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t engineFormat, Pool pool) override;
    bool UpdateTexture(Texture* texture, uint32_t level, const void* data, uint32_t pitch) override;
    void ReleaseTexture(Texture* texture) override;
    Texture* CreateCubeTarget(uint32_t size) override;
    bool SetRenderTarget(Texture* cube, uint32_t face) override;
    int32_t TargetWidth() const override { return target_ ? int32_t(size_) : width_; }
    int32_t TargetHeight() const override { return target_ ? int32_t(size_) : height_; }
    uint32_t AvailableTextureMem() const override { return 64u * 1024u * 1024u; }
    // Whether cube targets can be made (tests of a failed cube).
    bool cubeTargets = true;
    // The vertex bytes of the last draw from memory, and the bytes of the last range unlocked.
    std::vector<uint8_t> lastDrawData;
    std::vector<uint8_t> lastUnlockedData;
    int32_t LiveDefaultResources() const override { return liveDefault_; }

    void SetTexture(uint32_t stage, Texture* texture) override;
    void SetStreamSource(uint32_t stream, Buffer* buffer, uint32_t stride) override;
    void SetIndices(Buffer* buffer, uint32_t baseVertex) override;
    void SetVertexShader(uint32_t handle) override;
    uint32_t CreateVertexShader(uint32_t fvfCode, const uint32_t* tokens, size_t count) override;
    void DeleteVertexShader(uint32_t handle) override;
    bool SetVertexShaderConstant(uint32_t reg, const float* data, uint32_t count) override;

    void DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primCount) override;
    void DrawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices, uint32_t startIndex,
                              uint32_t primCount) override;
    void DrawPrimitiveUP(uint32_t type, uint32_t primCount, const void* data, uint32_t stride) override;
    Result ValidateDevice(uint32_t* passes) override;
    bool ReadPixels(bool back, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) override;
    void SetStateAudit(bool) override {}

private:
    void Log(const char* format, ...) __attribute__((format(printf, 2, 3)));
    void SetDefaults();
    // A new listed buffer of `bytes` zeroed bytes (null for none).
    Buffer* NewBuffer(uint32_t bytes, Pool pool, bool dynamic);

    int32_t width_, height_;
    Texture* target_ = nullptr;  // the cube whose face draws go to
    uint32_t size_ = 0;
    CoopState coop_ = CoopState::OK;
    uint32_t nextShader_ = 1;
    std::vector<Buffer*> buffers_;
    std::vector<Texture*> textureList_;
    int32_t liveDefault_ = 0;
};

}  // namespace gfx
