#include "platform/gfx/StateMirror.h"

#include <cstring>

namespace gfx {

void StateMirror::SetDefaults(int32_t width, int32_t height) {
    SetDefaultStates(rs, tss);
    for (uint32_t s = 0; s < 8; ++s) {
        textures[s] = nullptr;
        texMat[s] = Mat4();
    }
    world = view = proj = Mat4();
    lights.clear();
    material = MaterialColors();
    memset(clip, 0, sizeof clip);
    viewport = {0, 0, width, height, 0.0f, 1.0f};
    stream = nullptr;
    streamStride = 0;
    indices = nullptr;
    baseVertex = 0;
    vsHandle = 0;
}

bool StateMirror::SetRenderState(uint32_t state, uint32_t value, DeviceStats& stats) {
    if (state >= rs::COUNT) return false;
    if (rs[state] == value) {
        ++stats.redundantSets;
        return false;
    }
    rs[state] = value;
    return true;
}

bool StateMirror::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value, DeviceStats& stats) {
    if (stage >= 8 || type >= tss::COUNT) return false;
    if (tss[stage][type] == value) {
        ++stats.redundantSets;
        return false;
    }
    tss[stage][type] = value;
    return true;
}

bool StateMirror::SetTransform(uint32_t id, const Mat4& m) {
    Mat4* slot = id == ts::WORLD ? &world
               : id == ts::VIEW ? &view
               : id == ts::PROJECTION ? &proj
               : (id >= ts::TEXTURE0 && id < ts::TEXTURE0 + 8) ? &texMat[id - ts::TEXTURE0]
               : nullptr;
    if (!slot || *slot == m) return false;
    *slot = m;
    return true;
}

const Mat4& StateMirror::GetTransform(uint32_t id) const {
    static const Mat4 identity;
    if (id == ts::WORLD) return world;
    if (id == ts::VIEW) return view;
    if (id == ts::PROJECTION) return proj;
    if (id >= ts::TEXTURE0 && id < ts::TEXTURE0 + 8) return texMat[id - ts::TEXTURE0];
    return identity;
}

bool StateMirror::SetLight(uint32_t index, const Light& l) {
    if (index >= kMaxLightIndex) return false;
    if (index >= lights.size()) lights.resize(index + 1);
    lights[index].light = l;
    lights[index].set = true;
    return true;
}

bool StateMirror::GetLight(uint32_t index, Light& out) const {
    if (index >= lights.size() || !lights[index].set) return false;
    out = lights[index].light;
    return true;
}

bool StateMirror::LightEnable(uint32_t index, bool enable, DeviceStats& stats) {
    if (index >= kMaxLightIndex) return false;
    if (index >= lights.size()) lights.resize(index + 1);
    LightSlot& slot = lights[index];
    slot.set = true;
    if (slot.enabled == enable) {
        ++stats.redundantSets;
        return false;
    }
    slot.enabled = enable;
    return true;
}

bool StateMirror::SetMaterial(const MaterialColors& m) {
    if (material == m) return false;
    material = m;
    return true;
}

bool StateMirror::SetClipPlane(uint32_t index, const float plane[4]) {
    if (index >= 6 || memcmp(clip[index], plane, sizeof clip[index]) == 0) return false;
    memcpy(clip[index], plane, sizeof clip[index]);
    return true;
}

bool StateMirror::SetTexture(uint32_t stage, Texture* texture, DeviceStats& stats) {
    if (stage >= 8) return false;
    if (textures[stage] == texture) {
        ++stats.redundantSets;
        return false;
    }
    textures[stage] = texture;
    return true;
}

bool StateMirror::SetStreamSource(uint32_t streamIndex, Buffer* buffer, uint32_t stride, DeviceStats& stats) {
    if (streamIndex != 0) return false;
    if (stream == buffer && streamStride == stride) {
        ++stats.redundantSets;
        return false;
    }
    stream = buffer;
    streamStride = stride;
    return true;
}

bool StateMirror::SetIndices(Buffer* buffer, uint32_t base, DeviceStats& stats) {
    if (indices == buffer && baseVertex == base) {
        ++stats.redundantSets;
        return false;
    }
    indices = buffer;
    baseVertex = base;
    return true;
}

bool StateMirror::SetVertexShader(uint32_t handle, DeviceStats& stats) {
    if (vsHandle == handle) {
        ++stats.redundantSets;
        return false;
    }
    vsHandle = handle;
    return true;
}

uint32_t StateMirror::Unbind(const Texture* texture) {
    uint32_t stages = 0;
    for (uint32_t s = 0; s < 8; ++s)
        if (textures[s] == texture) {
            textures[s] = nullptr;
            stages |= 1u << s;
        }
    return stages;
}

bool StateMirror::Unbind(const Buffer* buffer) {
    if (indices == buffer) indices = nullptr;
    if (stream != buffer) return false;
    stream = nullptr;
    return true;
}

}  // namespace gfx
