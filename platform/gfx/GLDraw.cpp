// The GL device at draw time: the mirror's fixed state, textures and samplers and the vertex
// attributes flushed to GL where they changed, then the draw calls.
#include "platform/gfx/GLDevice.h"

#include <algorithm>

namespace gfx {

namespace {

GLenum BlendOpToGL(uint32_t v) {
    switch (v) {
        case 2: return GL_FUNC_SUBTRACT;
        case 3: return GL_FUNC_REVERSE_SUBTRACT;
        case 4: return GL_MIN;
        case 5: return GL_MAX;
        default: return GL_FUNC_ADD;
    }
}
GLenum PrimToGL(uint32_t type) {
    switch (type) {
        case prim::POINTLIST: return GL_POINTS;
        case prim::LINELIST: return GL_LINES;
        case prim::LINESTRIP: return GL_LINE_STRIP;
        case prim::TRIANGLESTRIP: return GL_TRIANGLE_STRIP;
        case prim::TRIANGLEFAN: return GL_TRIANGLE_FAN;
        default: return GL_TRIANGLES;
    }
}

}  // namespace

void GLDevice::FlushFixedState() {
    if (!fixedDirty_) return;
    fixedDirty_ = false;
    bool z = state_.rs[rs::ZENABLE] != 0;
    Enable(GL_DEPTH_TEST, shadow_.depthTest, z);
    if (z) {
        GLenum f = Compare(state_.rs[rs::ZFUNC]);
        DepthFunc(f);
    }
    DepthMask(z && state_.rs[rs::ZWRITEENABLE]);

    bool st = state_.rs[rs::STENCILENABLE] != 0;
    Enable(GL_STENCIL_TEST, shadow_.stencilTest, st);
    if (st) {
        GLenum f = Compare(state_.rs[rs::STENCILFUNC]);
        GLint ref = GLint(state_.rs[rs::STENCILREF] & 0xFF);
        GLuint mask = state_.rs[rs::STENCILMASK] & 0xFF;
        StencilFunc(f, ref, mask);
        GLenum a = StencilOperation(state_.rs[rs::STENCILFAIL]), b = StencilOperation(state_.rs[rs::STENCILZFAIL]),
               c = StencilOperation(state_.rs[rs::STENCILPASS]);
        StencilOp(a, b, c);
        StencilWriteMask(state_.rs[rs::STENCILWRITEMASK] & 0xFF);
    }

    bool bl = state_.rs[rs::ALPHABLENDENABLE] != 0;
    Enable(GL_BLEND, shadow_.blend, bl);
    if (bl) {
        GLenum s = Blend(state_.rs[rs::SRCBLEND], GL_ONE), d = Blend(state_.rs[rs::DESTBLEND], GL_ZERO);
        BlendFunc(s, d);
        BlendEquation(BlendOpToGL(state_.rs[rs::BLENDOP]));
    }

    uint32_t cm = state_.rs[rs::CULLMODE];
    bool cullOn = cm == cull::CW || cm == cull::CCW;
    Enable(GL_CULL_FACE, shadow_.cull, cullOn);
    if (cullOn) {
        // Rendering upside-down turns the engine's clockwise front faces into GL's CCW.
        GLenum face = cm == cull::CCW ? GL_BACK : GL_FRONT;
        FrontFace(GL_CCW);
        CullFace(face);
    }

    GLenum pm = state_.rs[rs::FILLMODE] == fill::WIREFRAME ? GL_LINE : state_.rs[rs::FILLMODE] == fill::POINT ? GL_POINT : GL_FILL;
    PolygonMode(pm);

    // The target's alpha stays 1 (X8 back buffer): alpha writes are always masked off.
    ColorMask(int(state_.rs[rs::COLORWRITEENABLE] & 7));

    uint32_t clipMask = state_.rs[rs::CLIPPLANEENABLE] & 0x3F;
    if (clipMask != shadow_.clipEnabled) {
        for (uint32_t i = 0; i < 6; ++i) {
            bool on = clipMask & (1u << i);
            if (shadow_.clipEnabled != 0xFFFFFFFFu && bool(shadow_.clipEnabled & (1u << i)) == on) continue;
            Audit([&] { return bool(glIsEnabled(GLenum(GL_CLIP_DISTANCE0 + i))) == on; });
            Count();
            on ? glEnable(GLenum(GL_CLIP_DISTANCE0 + i)) : glDisable(GLenum(GL_CLIP_DISTANCE0 + i));
        }
        shadow_.clipEnabled = clipMask;
    }
}

void GLDevice::FlushTextures() {
    if (!textureDirty_ && !samplerDirty_) return;
    for (int s = 0; s < 8; ++s) {
        uint32_t bit = 1u << s;
        if (textureDirty_ & bit) {
            Texture* t = state_.textures[s];
            GLuint name = t ? t->name_ : whiteTex_;
            GLenum target = (t && t->cube_) ? GL_TEXTURE_CUBE_MAP : GL_TEXTURE_2D;
            if (shadow_.boundTex[s] != name || shadow_.boundTarget[s] != target) {
                ActiveUnit(s);
                if (shadow_.boundTarget[s] && shadow_.boundTarget[s] != target) BindTextureRaw(shadow_.boundTarget[s], 0);
                BindTextureRaw(target, name);
                shadow_.boundTex[s] = name;
                shadow_.boundTarget[s] = target;
            }
        }
        if (samplerDirty_ & bit) {
            const auto& t = state_.tss[s];
            auto filt = [](uint32_t f) { return f >= texf::LINEAR ? GL_LINEAR : GL_NEAREST; };
            GLenum mag = filt(t[tss::MAGFILTER]);
            GLenum min;
            bool linMin = t[tss::MINFILTER] >= texf::LINEAR;
            switch (t[tss::MIPFILTER]) {
                case texf::POINT: min = linMin ? GL_LINEAR_MIPMAP_NEAREST : GL_NEAREST_MIPMAP_NEAREST; break;
                case texf::LINEAR: case texf::ANISOTROPIC: min = linMin ? GL_LINEAR_MIPMAP_LINEAR : GL_NEAREST_MIPMAP_LINEAR; break;
                default: min = linMin ? GL_LINEAR : GL_NEAREST; break;
            }
            auto wrap = [](uint32_t a) {
                switch (a) {
                    case taddr::MIRROR: return GL_MIRRORED_REPEAT;
                    case taddr::CLAMP: return GL_CLAMP_TO_EDGE;
                    case taddr::BORDER: return GL_CLAMP_TO_BORDER;
                    default: return GL_REPEAT;
                }
            };
            SamplerInt(s, 0, GL_TEXTURE_MAG_FILTER, GLint(mag));
            SamplerInt(s, 1, GL_TEXTURE_MIN_FILTER, GLint(min));
            SamplerInt(s, 2, GL_TEXTURE_WRAP_S, GLint(wrap(t[tss::ADDRESSU])));
            SamplerInt(s, 3, GL_TEXTURE_WRAP_T, GLint(wrap(t[tss::ADDRESSV])));
            SamplerInt(s, 4, GL_TEXTURE_WRAP_R, GLint(wrap(t[tss::ADDRESSW])));
            SamplerFloat(s, 5, GL_TEXTURE_LOD_BIAS, BitsFloat(t[tss::MIPMAPLODBIAS]));
            SamplerFloat(s, 6, GL_TEXTURE_MIN_LOD, float(t[tss::MAXMIPLEVEL]));
        }
    }
    textureDirty_ = samplerDirty_ = 0;
}

void GLDevice::FlushAttributes() {
    uint32_t fvfCode = state_.vsHandle;
    if (state_.vsHandle & 1) {
        uint32_t i = state_.vsHandle / 2;
        fvfCode = (i < vertexShaders_.size()) ? vertexShaders_[i].fvf : 0;
    }
    GLuint name = state_.stream ? state_.stream->name_ : 0;
    if (!attribDirty_ && name == attribBuffer_ && fvfCode == attribFvf_ && state_.streamStride == attribStride_) return;
    attribDirty_ = false;
    attribBuffer_ = name;
    attribFvf_ = fvfCode;
    attribStride_ = state_.streamStride;
    if (!state_.stream) return;
    BindArrayBuffer(name);
    GLsizei stride = GLsizei(state_.streamStride);
    uintptr_t off = 0;
    uint32_t enabled = 0;
    auto pointer = [&](int loc, GLint n, GLenum type, GLboolean norm, uint32_t bytes) {
        glVertexAttribPointer(GLuint(loc), n, type, norm, stride, reinterpret_cast<void*>(off));
        Count();
        enabled |= 1u << loc;
        off += bytes;
    };
    if ((fvfCode & fvf::POSITION_MASK) == fvf::XYZRHW) pointer(kAttrPosition, 4, GL_FLOAT, GL_FALSE, 16);
    else if ((fvfCode & fvf::POSITION_MASK) == fvf::XYZ) pointer(kAttrPosition, 3, GL_FLOAT, GL_FALSE, 12);
    if (fvfCode & fvf::NORMAL) pointer(kAttrNormal, 3, GL_FLOAT, GL_FALSE, 12);
    // Packed 0xAARRGGBB colours are B,G,R,A in memory: GL_BGRA reads them exactly.
    if (fvfCode & fvf::DIFFUSE) pointer(kAttrDiffuse, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    if (fvfCode & fvf::SPECULAR) pointer(kAttrSpecular, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, 4);
    uint32_t sets = (fvfCode & fvf::TEXCOUNT_MASK) >> fvf::TEXCOUNT_SHIFT;
    for (uint32_t i = 0; i < sets && i < 8; ++i) pointer(kAttrTex0 + int(i), 2, GL_FLOAT, GL_FALSE, 8);
    for (int loc = 0; loc < kAttrTex0 + 8; ++loc) {
        bool on = enabled & (1u << loc);
        bool was = shadow_.attribEnabled != 0xFFFFFFFFu && (shadow_.attribEnabled & (1u << loc));
        if (shadow_.attribEnabled != 0xFFFFFFFFu && on == was) continue;
        AttribArray(loc, on);
        if (!on) {
            // Defaults for what the format lacks.
            Count(false);
            if (loc == kAttrDiffuse) glVertexAttrib4f(GLuint(loc), 1, 1, 1, 1);
            else if (loc == kAttrSpecular) glVertexAttrib4f(GLuint(loc), 0, 0, 0, 0);
            else glVertexAttrib4f(GLuint(loc), 0, 0, 0, 1);
        }
    }
    shadow_.attribEnabled = enabled;
}

bool GLDevice::PrepareDraw() {
    assert(OnOwnerThread());
    if (coop_ == CoopState::LOST) return false;
    if (!state_.stream) return false;
    if (keyDirty_) {
        keyDirty_ = false;
        ProgramKey key;
        BuildKeys(key);
        if (!program_ || !(key == programKey_)) {
            program_ = GetProgram(key);
            programKey_ = key;
            ++stats_.programSwitches;
        }
    }
    if (!program_) return false;
    if (!targetCube_) KeepPresentedFrame(false);
    BindDrawFbo(TargetFbo());
    UseProgram(program_->name);
    ApplyGLViewport(state_.viewport.x, state_.viewport.y, state_.viewport.width, state_.viewport.height);
    FlushFixedState();
    FlushTextures();
    FlushAttributes();
    UploadUniforms(*program_);
    return true;
}

void GLDevice::DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primCount) {
    int n = PrimitiveVertexCount(type, primCount);
    if (n <= 0 || !PrepareDraw()) return;
    Count(false);
    ++stats_.draws;
    glDrawArrays(PrimToGL(type), GLint(startVertex), n);
}

void GLDevice::DrawIndexedPrimitive(uint32_t type, uint32_t, uint32_t, uint32_t startIndex, uint32_t primCount) {
    int n = PrimitiveVertexCount(type, primCount);
    if (n <= 0 || !state_.indices || !PrepareDraw()) return;
    uint32_t size = state_.indices->index32_ ? 4 : 2;
    if ((uint64_t(startIndex) + uint64_t(n)) * size > state_.indices->size_) {
        Log(2, "GFX: indexed draw reads past its index buffer");
        return;
    }
    BindElementBuffer(state_.indices->name_);
    Count(false);
    ++stats_.draws;
    glDrawElementsBaseVertex(PrimToGL(type), n, state_.indices->index32_ ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<void*>(uintptr_t(startIndex) * size), GLint(state_.baseVertex));
}

void GLDevice::DrawPrimitiveUP(uint32_t type, uint32_t primCount, const void* data, uint32_t stride) {
    int n = PrimitiveVertexCount(type, primCount);
    if (n <= 0 || !data || stride == 0) return;
    uint32_t bytes = uint32_t(n) * stride;
    // Stream through the scratch buffer. Stream 0 is put back afterwards, so a caller's cache of
    // the stream binding never goes stale behind an immediate draw.
    Buffer* const previous = state_.stream;
    const uint32_t previousStride = state_.streamStride;
    GLBuffer& scratch = scratchBuffer_;
    scratch.name_ = scratch_;
    scratch.size_ = bytes;
    BindArrayBuffer(scratch_);
    Count(false);
    if (bytes > scratchSize_) {
        scratchSize_ = std::max(bytes, 64u * 1024u);
        glBufferData(GL_ARRAY_BUFFER, scratchSize_, nullptr, GL_STREAM_DRAW);
    } else {
        glBufferData(GL_ARRAY_BUFFER, scratchSize_, nullptr, GL_STREAM_DRAW);
    }
    Count(false);
    glBufferSubData(GL_ARRAY_BUFFER, 0, bytes, data);
    state_.stream = &scratch;
    state_.streamStride = stride;
    attribDirty_ = true;
    if (PrepareDraw()) {
        Count(false);
        ++stats_.draws;
        glDrawArrays(PrimToGL(type), 0, n);
    }
    state_.stream = previous;
    state_.streamStride = previousStride;
    attribDirty_ = true;
}

Result GLDevice::ValidateDevice(uint32_t* passes) {
    for (int s = 0; s < 8; ++s) {
        uint32_t cop = state_.tss[s][tss::COLOROP];
        if (cop == top::DISABLE) break;
        if (cop == top::PREMODULATE || cop == top::BUMPENVMAP || cop == top::BUMPENVMAPLUMINANCE)
            return Result::UNSUPPORTEDCOLOROPERATION;
        uint32_t aop = state_.tss[s][tss::ALPHAOP];
        if (aop == top::PREMODULATE || aop == top::BUMPENVMAP || aop == top::BUMPENVMAPLUMINANCE)
            return Result::UNSUPPORTEDALPHAOPERATION;
    }
    if (passes) *passes = 1;
    return Result::OK;
}

}  // namespace gfx
