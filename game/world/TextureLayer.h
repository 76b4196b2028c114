#pragma once
// A texture layer of the effects: a label, whether it blends and its two blend factors (the
// render facility's numbering: 0 ZERO, 1 ONE, ..., 6 SRCALPHA, 7 INVSRCALPHA). Decals and
// particle batches turn each layer into one registered pass set.
#include <cstdint>

#include "engine/core/SharedString.h"

class RenderFacility;
class ShaderPassSet;

struct TextureLayer {
    SharedString name;      // "Modulate", "Add": a label only; the blend factors decide
    uint8_t blend = 1;      // alpha blending on
    uint32_t srcBlend = 6;  // SRCALPHA
    uint32_t dstBlend = 7;  // INVSRCALPHA
};

// The pass set of an effect layer: no lighting, depth tested (LESSEQUAL) but written only
// when the layer does not blend, stage 0 texture x vertex colour for colour and alpha. Null
// without a facility. The caller releases it with RenderFacility::ReleaseShader.
ShaderPassSet* MakeLayerPassSet(RenderFacility* facility, const TextureLayer& layer);

// Packs r, g, b, a floats (0..1, clamped; NaN counts as 0) into 0xAARRGGBB, each channel the
// float x 255 truncated.
uint32_t PackEffectColour(const float rgba[4]);
