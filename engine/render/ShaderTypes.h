#pragma once
// Shader descriptions and the shared objects the facility builds from them: pass sets (the
// pipeline state of a surface), materials (colours plus the eight stage textures) and the
// per-draw shader variables.
#include <cstdint>

#include "engine/core/Math.h"

class TextureHandle;

struct ShaderStageDescription {
    uint32_t colorOp = 0, colorArg1 = 0, colorArg2 = 0;
    uint32_t alphaOp = 0, alphaArg1 = 0, alphaArg2 = 0;
    uint32_t resultArg = 0;
    uint32_t texCoord = 0;
    uint8_t useTextureMatrix = 0;
};

struct ShaderDescription {
    uint8_t lighting = 0;
    uint8_t specular = 0;
    uint8_t zWrite = 0;
    int32_t zFunc = 0;
    uint8_t zParam = 0;
    uint32_t stencilFail = 0, stencilZFail = 0, stencilPass = 0;
    int32_t stencilFunc = 0;
    int32_t alphaFunc = 0;
    uint8_t blend = 0;
    uint32_t srcBlend = 0, dstBlend = 0;
    uint8_t stageMask = 0;
    ShaderStageDescription stages[8];
};

// A value that could not be converted: kept as is and sent to the device unchanged.
constexpr uint32_t kUnsetCode = 0x7FFFFFFFu;

struct ShaderVariables {
    uint32_t textureFactor = 0;
    uint8_t alphaRef = 0;
    uint8_t stencilRef = 0;
    Matrix4 textureMatrices[8];
};

class ShaderPassSet {
public:
    enum Flags : uint8_t { kLighting = 1, kSpecular = 2, kZWrite = 4, kZTest = 8, kStencil = 16,
                           kAlphaTest = 32, kBlend = 64 };
    struct Stage {
        uint32_t colorOp, colorArg1, colorArg2, alphaOp, alphaArg1, alphaArg2, resultArg;
        uint32_t coord;  // coordinate index/generation in bits 0-30, texture matrix in bit 31
    };

    virtual ~ShaderPassSet() {}
    // True when a and b would set the same states under this pass set.
    virtual bool DrawStatesEqual(const ShaderVariables& a, const ShaderVariables& b) const;
    // Number of stages in use: up to the first clear bit of the mask.
    int ActiveStages() const;
    bool SameAs(const ShaderPassSet& o) const;

    uint32_t refCount = 0;
    uint8_t flags = 0;
    uint32_t zFunc = 0;
    uint8_t zParam = 0;
    uint32_t stencilFail = kUnsetCode, stencilZFail = kUnsetCode, stencilPass = kUnsetCode;
    uint32_t stencilFunc = kUnsetCode, alphaFunc = kUnsetCode;
    uint32_t srcBlend = kUnsetCode, dstBlend = kUnsetCode;
    uint8_t stageMask = 0;
    Stage stages[8] = {};
};

// Builds a pass set from a description (codes out of range become kUnsetCode).
void BuildPassSet(const ShaderDescription& d, ShaderPassSet& out);

struct MaterialDescription {
    Color ambient;
    Color emissive;
    float power = 0.0f;
    TextureHandle* textures[8] = {};
    uint8_t diffuseAlpha = 255;
    Color specularColor;
};

struct MaterialRecord {
    float diffuse[4] = {1, 1, 1, 1};
    float ambient[4] = {};
    float specular[4] = {};
    float emissive[4] = {};
    float power = 0.0f;
    uint32_t refCount = 0;
    bool SameValues(const MaterialRecord& o) const;
};

class Material {
public:
    virtual ~Material() {}
    // Sets the diffuse colour of the (shared) record and marks the material dirty.
    virtual void SetColor(const Color& color);

    uint32_t refCount = 0;
    MaterialRecord* record = nullptr;
    TextureHandle* textures[8] = {};
    uint8_t dirty = 0;
};
