#include "engine/render/ShaderTypes.h"

#include <cstring>

namespace {

uint32_t Compare(int32_t v) { return (v >= 1 && v <= 8) ? uint32_t(v) : kUnsetCode; }
uint32_t StencilOp(uint32_t v) { return v <= 7 ? v + 1 : kUnsetCode; }
uint32_t BlendFactor(uint32_t v) {
    static const uint32_t table[] = {1, 2, 3, 4, 9, 10, 5, 6, 7, 8, 11};
    return v <= 10 ? table[v] : kUnsetCode;
}
uint32_t TextureOp(uint32_t v) { return v <= 23 ? v + 1 : kUnsetCode; }
uint32_t Argument(uint32_t v) {
    switch (v) {
        case 0: return 1;  // current
        case 1: return 0;  // diffuse
        case 2: return 2;  // texture
        case 3: return 4;  // specular
        case 4: return 3;  // texture factor
        case 7: return 5;  // temporary register
        default: return kUnsetCode;
    }
}
uint32_t CoordWord(uint32_t texCoord, uint8_t useMatrix) {
    uint32_t tci = texCoord;
    if (texCoord & 8) tci = (texCoord & 7) | 0x10000u;
    else if (texCoord & 16) tci = (texCoord & 7) | 0x20000u;
    else if (texCoord & 32) tci = (texCoord & 7) | 0x30000u;
    return (tci & 0x7FFFFFFFu) | (useMatrix ? 0x80000000u : 0u);
}

}  // namespace

void BuildPassSet(const ShaderDescription& d, ShaderPassSet& p) {
    p.flags = 0;
    if (d.lighting) {
        p.flags |= ShaderPassSet::kLighting;
        if (d.specular) p.flags |= ShaderPassSet::kSpecular;
    }
    if (d.zWrite) p.flags |= ShaderPassSet::kZWrite;
    if (d.zFunc != 0) {
        p.flags |= ShaderPassSet::kZTest;
        p.zFunc = Compare(d.zFunc);
        p.zParam = uint8_t(d.zParam + 8);
    } else {
        p.zFunc = 0;
        p.zParam = 0;
    }
    if (d.stencilFunc != 0) {
        p.flags |= ShaderPassSet::kStencil;
        p.stencilFail = StencilOp(d.stencilFail);
        p.stencilZFail = StencilOp(d.stencilZFail);
        p.stencilPass = StencilOp(d.stencilPass);
        p.stencilFunc = Compare(d.stencilFunc);
    } else {
        p.stencilFail = p.stencilZFail = p.stencilPass = p.stencilFunc = kUnsetCode;
    }
    if (d.alphaFunc != 0) {
        p.flags |= ShaderPassSet::kAlphaTest;
        p.alphaFunc = Compare(d.alphaFunc);
    } else {
        p.alphaFunc = kUnsetCode;
    }
    if (d.blend) {
        p.flags |= ShaderPassSet::kBlend;
        p.srcBlend = BlendFactor(d.srcBlend);
        p.dstBlend = BlendFactor(d.dstBlend);
    } else {
        p.srcBlend = p.dstBlend = kUnsetCode;
    }
    p.stageMask = d.stageMask;
    for (int i = 0; i < 8; ++i) {
        const ShaderStageDescription& s = d.stages[i];
        p.stages[i] = {TextureOp(s.colorOp), Argument(s.colorArg1), Argument(s.colorArg2), TextureOp(s.alphaOp),
                       Argument(s.alphaArg1), Argument(s.alphaArg2), Argument(s.resultArg),
                       CoordWord(s.texCoord, s.useTextureMatrix)};
    }
}

int ShaderPassSet::ActiveStages() const {
    int n = 0;
    while (n < 8 && (stageMask & (1u << n))) ++n;
    return n;
}

bool ShaderPassSet::SameAs(const ShaderPassSet& o) const {
    if (flags != o.flags || zFunc != o.zFunc || zParam != o.zParam || stencilFail != o.stencilFail ||
        stencilZFail != o.stencilZFail || stencilPass != o.stencilPass || stencilFunc != o.stencilFunc ||
        alphaFunc != o.alphaFunc || srcBlend != o.srcBlend || dstBlend != o.dstBlend || stageMask != o.stageMask)
        return false;
    // The result argument takes no part in sharing.
    for (int i = 0, n = ActiveStages(); i < n; ++i) {
        const Stage &a = stages[i], &b = o.stages[i];
        if (a.colorOp != b.colorOp || a.colorArg1 != b.colorArg1 || a.colorArg2 != b.colorArg2 ||
            a.alphaOp != b.alphaOp || a.alphaArg1 != b.alphaArg1 || a.alphaArg2 != b.alphaArg2 || a.coord != b.coord)
            return false;
    }
    return true;
}

bool ShaderPassSet::DrawStatesEqual(const ShaderVariables& a, const ShaderVariables& b) const {
    if (a.textureFactor != b.textureFactor || a.alphaRef != b.alphaRef || a.stencilRef != b.stencilRef) return false;
    for (int i = 0, n = ActiveStages(); i < n; ++i)
        if (memcmp(a.textureMatrices[i].m, b.textureMatrices[i].m, sizeof a.textureMatrices[i].m) != 0) return false;
    return true;
}

bool MaterialRecord::SameValues(const MaterialRecord& o) const {
    return memcmp(diffuse, o.diffuse, sizeof diffuse) == 0 && memcmp(ambient, o.ambient, sizeof ambient) == 0 &&
           memcmp(specular, o.specular, sizeof specular) == 0 && memcmp(emissive, o.emissive, sizeof emissive) == 0 &&
           power == o.power;
}

void Material::SetColor(const Color& c) {
    if (!record) return;
    record->diffuse[0] = float(c.r) / 255.0f;
    record->diffuse[1] = float(c.g) / 255.0f;
    record->diffuse[2] = float(c.b) / 255.0f;
    record->diffuse[3] = float(c.a) / 255.0f;
    dirty = 1;
}
