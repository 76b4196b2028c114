#include "game/world/TextureLayer.h"

#include <cmath>

#include "engine/render/RenderFacility.h"
#include "engine/render/ShaderTypes.h"

ShaderPassSet* MakeLayerPassSet(RenderFacility* facility, const TextureLayer& layer) {
    if (!facility) return nullptr;
    ShaderDescription d;
    d.lighting = 0;
    d.zWrite = layer.blend ? 0 : 1;
    d.zFunc = 4;  // LESSEQUAL
    d.blend = layer.blend;
    d.srcBlend = layer.srcBlend;
    d.dstBlend = layer.dstBlend;
    d.stageMask = 1;
    ShaderStageDescription& s = d.stages[0];
    s.colorOp = 3;  // MODULATE
    s.colorArg1 = 2;  // texture
    s.colorArg2 = 1;  // diffuse
    s.alphaOp = 3;
    s.alphaArg1 = 2;
    s.alphaArg2 = 1;
    return facility->AddShader(d);
}

uint32_t PackEffectColour(const float rgba[4]) {
    auto channel = [](float f) -> uint32_t {
        if (!(f > 0.0f)) return 0;  // also NaN
        if (f >= 1.0f) return 255;
        return uint32_t(f * 255.0f);
    };
    return channel(rgba[3]) << 24 | channel(rgba[0]) << 16 | channel(rgba[1]) << 8 | channel(rgba[2]);
}
