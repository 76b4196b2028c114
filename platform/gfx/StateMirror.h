#pragma once
// The state a device keeps for the engine: every render state, texture-stage state, transform,
// light, material, clip plane, the viewport and the bindings, with the defaults of the API the
// engine was written for. The real device and the recording device both keep theirs here, so
// what a test reads back from the recording device is what the real one would hold.
//
// Setters return whether the mirror changed; a set that repeats the held value of a render
// state, stage state, light switch, texture, stream, index buffer or vertex shader is counted
// in DeviceStats::redundantSets.
#include <cstdint>
#include <vector>

#include "platform/gfx/Device.h"

namespace gfx {

struct StateMirror {
    struct LightSlot {
        Light light;
        bool set = false, enabled = false;
    };
    static constexpr uint32_t kMaxLightIndex = 4096;

    // Everything back to a new device's values, the viewport covering width x height.
    void SetDefaults(int32_t width, int32_t height);

    bool SetRenderState(uint32_t state, uint32_t value, DeviceStats& stats);
    bool SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value, DeviceStats& stats);
    bool SetTransform(uint32_t id, const Mat4& m);
    const Mat4& GetTransform(uint32_t id) const;
    bool SetLight(uint32_t index, const Light& l);
    bool GetLight(uint32_t index, Light& out) const;
    // Enabling a light never set gives it the default light.
    bool LightEnable(uint32_t index, bool enable, DeviceStats& stats);
    bool IsLightEnabled(uint32_t index) const { return index < lights.size() && lights[index].enabled; }
    bool SetMaterial(const MaterialColors& m);
    bool SetClipPlane(uint32_t index, const float plane[4]);
    bool SetTexture(uint32_t stage, Texture* texture, DeviceStats& stats);
    // Only stream 0 is kept: it carries every vertex format the engine uses.
    bool SetStreamSource(uint32_t streamIndex, Buffer* buffer, uint32_t stride, DeviceStats& stats);
    bool SetIndices(Buffer* buffer, uint32_t base, DeviceStats& stats);
    bool SetVertexShader(uint32_t handle, DeviceStats& stats);

    // A resource being released leaves every binding it held. The texture's stages come back as
    // bits; for a buffer, whether it was the stream.
    uint32_t Unbind(const Texture* texture);
    bool Unbind(const Buffer* buffer);

    uint32_t rs[rs::COUNT] = {};
    uint32_t tss[8][tss::COUNT] = {};
    Mat4 world, view, proj, texMat[8];
    std::vector<LightSlot> lights;
    MaterialColors material;
    float clip[6][4] = {};
    Viewport viewport;
    Texture* textures[8] = {};
    Buffer* stream = nullptr;
    uint32_t streamStride = 0;
    Buffer* indices = nullptr;
    uint32_t baseVertex = 0;
    uint32_t vsHandle = 0;  // an FVF code (even) or a vertex-shader handle (odd)
};

// A device that keeps its state in a StateMirror: the read-back half of the interface, once.
class MirroredDevice : public Device {
public:
    const Viewport& GetViewport() const final { return state_.viewport; }
    uint32_t GetRenderState(uint32_t state) const final { return state < rs::COUNT ? state_.rs[state] : 0; }
    uint32_t GetTextureStageState(uint32_t stage, uint32_t type) const final {
        return (stage < 8 && type < tss::COUNT) ? state_.tss[stage][type] : 0;
    }
    const Mat4& GetTransform(uint32_t id) const final { return state_.GetTransform(id); }
    bool GetLight(uint32_t index, Light& out) const final { return state_.GetLight(index, out); }
    bool IsLightEnabled(uint32_t index) const final { return state_.IsLightEnabled(index); }
    const MaterialColors& GetMaterial() const final { return state_.material; }
    Texture* GetTexture(uint32_t stage) const final { return stage < 8 ? state_.textures[stage] : nullptr; }
    uint32_t GetVertexShader() const final { return state_.vsHandle; }
    DeviceStats& Stats() final { return stats_; }

protected:
    StateMirror state_;
    DeviceStats stats_;
};

}  // namespace gfx
