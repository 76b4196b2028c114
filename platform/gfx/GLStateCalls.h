#pragma once
// The GL device's own calls into GL state. Each compares the value it is about to set with a
// shadow of what GL holds and makes no call when they agree; every call made is counted. With
// the state audit on, each call first asks GL for the value and counts the call as redundant
// when GL already has it (slow; tests and benchmarks only). Part of the GL device, included by
// its files only.
#include <epoxy/gl.h>

#include <cstdint>
#include <cstring>

#include "platform/gfx/StateMirror.h"

namespace gfx {

inline uint32_t FloatBits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}
inline float BitsFloat(uint32_t u) {
    float f;
    memcpy(&f, &u, 4);
    return f;
}

// GL's own state as last set by us; values compared before any GL call.
struct GLShadow {
    int depthTest = -1, depthMask = -1, depthFunc = -1;
    int stencilTest = -1;
    GLenum stencilFunc = 0; GLint stencilRef = -1; GLuint stencilReadMask = 0xFFFFFFFEu;
    GLenum sFail = 0, sZFail = 0, sPass = 0;
    GLuint stencilWriteMask = 0xFFFFFFFEu;
    int blend = -1; GLenum srcBlend = 0, dstBlend = 0, blendEq = 0;
    int cull = -1; GLenum frontFace = 0, cullFace = 0;
    GLenum polygonMode = 0;
    int colorMask = -1;
    uint32_t clipEnabled = 0xFFFFFFFFu;
    GLuint program = 0xFFFFFFFFu;
    GLuint arrayBuffer = 0xFFFFFFFFu, elementBuffer = 0xFFFFFFFFu;
    uint32_t attribEnabled = 0xFFFFFFFFu;
    GLuint boundTex[8] = {~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u, ~0u};
    GLenum boundTarget[8] = {};
    int activeUnit = -1;
    GLuint drawFbo = 0xFFFFFFFFu;
    int vp[4] = {-1, -1, -1, -1};
};

class GLStateCalls : public MirroredDevice {
public:
    void SetStateAudit(bool on) final { audit_ = on; }

protected:
    void Count(bool state = true) { ++stats_.glCalls; if (state) ++stats_.glStateCalls; }
    template <class Query>
    void Audit(Query alreadySet) {
        if (audit_ && alreadySet()) ++stats_.redundantGLCalls;
    }
    static GLint GetInt(GLenum what) {
        GLint v = 0;
        glGetIntegerv(what, &v);
        return v;
    }
    void Enable(GLenum cap, int& shadow, bool on) {
        if (shadow == int(on)) return;
        shadow = on;
        Audit([&] { return bool(glIsEnabled(cap)) == on; });
        Count();
        on ? glEnable(cap) : glDisable(cap);
    }
    void BindDrawFbo(GLuint fbo) {
        if (shadow_.drawFbo == fbo) return;
        shadow_.drawFbo = fbo;
        Audit([&] { return GLuint(GetInt(GL_DRAW_FRAMEBUFFER_BINDING)) == fbo && GLuint(GetInt(GL_READ_FRAMEBUFFER_BINDING)) == fbo; });
        Count();
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    }
    void BindArrayBuffer(GLuint b) {
        if (shadow_.arrayBuffer == b) return;
        shadow_.arrayBuffer = b;
        Audit([&] { return GLuint(GetInt(GL_ARRAY_BUFFER_BINDING)) == b; });
        Count();
        glBindBuffer(GL_ARRAY_BUFFER, b);
    }
    void BindElementBuffer(GLuint b) {
        if (shadow_.elementBuffer == b) return;
        shadow_.elementBuffer = b;
        Audit([&] { return GLuint(GetInt(GL_ELEMENT_ARRAY_BUFFER_BINDING)) == b; });
        Count();
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, b);
    }
    void ActiveUnit(int unit) {
        if (shadow_.activeUnit == unit) return;
        shadow_.activeUnit = unit;
        Audit([&] { return GetInt(GL_ACTIVE_TEXTURE) == GLint(GL_TEXTURE0 + unit); });
        Count();
        glActiveTexture(GLenum(GL_TEXTURE0 + unit));
    }
    void ApplyGLViewport(int x, int y, int w, int h) {
        if (shadow_.vp[0] == x && shadow_.vp[1] == y && shadow_.vp[2] == w && shadow_.vp[3] == h) return;
        shadow_.vp[0] = x; shadow_.vp[1] = y; shadow_.vp[2] = w; shadow_.vp[3] = h;
        Audit([&] {
            GLint v[4];
            glGetIntegerv(GL_VIEWPORT, v);
            return v[0] == x && v[1] == y && v[2] == w && v[3] == h;
        });
        Count();
        glViewport(x, y, w, h);
    }
    void ColorMask(int mask) {
        if (shadow_.colorMask == mask) return;
        shadow_.colorMask = mask;
        Audit([&] {
            GLboolean v[4];
            glGetBooleanv(GL_COLOR_WRITEMASK, v);
            return (v[0] ? 1 : 0) + (v[1] ? 2 : 0) + (v[2] ? 4 : 0) + (v[3] ? 8 : 0) == mask;
        });
        Count();
        glColorMask(mask & 1, (mask >> 1) & 1, (mask >> 2) & 1, (mask >> 3) & 1);
    }
    void DepthMask(bool on) {
        if (shadow_.depthMask == int(on)) return;
        shadow_.depthMask = on;
        Audit([&] { return bool(GetInt(GL_DEPTH_WRITEMASK)) == on; });
        Count();
        glDepthMask(on ? GL_TRUE : GL_FALSE);
    }
    void StencilWriteMask(GLuint m) {
        if (shadow_.stencilWriteMask == m) return;
        shadow_.stencilWriteMask = m;
        Audit([&] { return (GLuint(GetInt(GL_STENCIL_WRITEMASK)) & 0xFF) == m; });
        Count();
        glStencilMask(m);
    }
    void DepthFunc(GLenum f) {
        if (shadow_.depthFunc == int(f)) return;
        shadow_.depthFunc = int(f);
        Audit([&] { return GLenum(GetInt(GL_DEPTH_FUNC)) == f; });
        Count();
        glDepthFunc(f);
    }
    void StencilFunc(GLenum f, GLint ref, GLuint mask) {
        if (f == shadow_.stencilFunc && ref == shadow_.stencilRef && mask == shadow_.stencilReadMask) return;
        shadow_.stencilFunc = f; shadow_.stencilRef = ref; shadow_.stencilReadMask = mask;
        Audit([&] {
            return GLenum(GetInt(GL_STENCIL_FUNC)) == f && GetInt(GL_STENCIL_REF) == ref &&
                   (GLuint(GetInt(GL_STENCIL_VALUE_MASK)) & 0xFF) == mask;
        });
        Count();
        glStencilFunc(f, ref, mask);
    }
    void StencilOp(GLenum a, GLenum b, GLenum c) {
        if (a == shadow_.sFail && b == shadow_.sZFail && c == shadow_.sPass) return;
        shadow_.sFail = a; shadow_.sZFail = b; shadow_.sPass = c;
        Audit([&] {
            return GLenum(GetInt(GL_STENCIL_FAIL)) == a && GLenum(GetInt(GL_STENCIL_PASS_DEPTH_FAIL)) == b &&
                   GLenum(GetInt(GL_STENCIL_PASS_DEPTH_PASS)) == c;
        });
        Count();
        glStencilOp(a, b, c);
    }
    void BlendFunc(GLenum src, GLenum dst) {
        if (src == shadow_.srcBlend && dst == shadow_.dstBlend) return;
        shadow_.srcBlend = src; shadow_.dstBlend = dst;
        Audit([&] {
            return GLenum(GetInt(GL_BLEND_SRC_RGB)) == src && GLenum(GetInt(GL_BLEND_DST_RGB)) == dst &&
                   GLenum(GetInt(GL_BLEND_SRC_ALPHA)) == src && GLenum(GetInt(GL_BLEND_DST_ALPHA)) == dst;
        });
        Count();
        glBlendFunc(src, dst);
    }
    void BlendEquation(GLenum eq) {
        if (eq == shadow_.blendEq) return;
        shadow_.blendEq = eq;
        Audit([&] { return GLenum(GetInt(GL_BLEND_EQUATION_RGB)) == eq && GLenum(GetInt(GL_BLEND_EQUATION_ALPHA)) == eq; });
        Count();
        glBlendEquation(eq);
    }
    void FrontFace(GLenum f) {
        if (shadow_.frontFace == f) return;
        shadow_.frontFace = f;
        Audit([&] { return GLenum(GetInt(GL_FRONT_FACE)) == f; });
        Count();
        glFrontFace(f);
    }
    void CullFace(GLenum f) {
        if (shadow_.cullFace == f) return;
        shadow_.cullFace = f;
        Audit([&] { return GLenum(GetInt(GL_CULL_FACE_MODE)) == f; });
        Count();
        glCullFace(f);
    }
    void PolygonMode(GLenum m) {
        if (shadow_.polygonMode == m) return;
        shadow_.polygonMode = m;
        Audit([&] {
            GLint v[2] = {0, 0};
            glGetIntegerv(GL_POLYGON_MODE, v);
            return GLenum(v[0]) == m;
        });
        Count();
        glPolygonMode(GL_FRONT_AND_BACK, m);
    }
    void UseProgram(GLuint name) {
        if (shadow_.program == name) return;
        shadow_.program = name;
        Audit([&] { return GLuint(GetInt(GL_CURRENT_PROGRAM)) == name; });
        Count();
        glUseProgram(name);
    }
    // Binds a texture on the active unit.
    void BindTextureRaw(GLenum target, GLuint name) {
        Audit([&] { return GLuint(GetInt(target == GL_TEXTURE_CUBE_MAP ? GL_TEXTURE_BINDING_CUBE_MAP : GL_TEXTURE_BINDING_2D)) == name; });
        Count();
        glBindTexture(target, name);
    }
    void SamplerInt(int unit, int slot, GLenum what, GLint value) {
        if (samplerShadow_[unit][slot] == uint32_t(value)) return;
        samplerShadow_[unit][slot] = uint32_t(value);
        Audit([&] {
            GLint v = 0;
            glGetSamplerParameteriv(samplers_[unit], what, &v);
            return v == value;
        });
        Count();
        glSamplerParameteri(samplers_[unit], what, value);
    }
    void SamplerFloat(int unit, int slot, GLenum what, float value) {
        if (samplerShadow_[unit][slot] == FloatBits(value)) return;
        samplerShadow_[unit][slot] = FloatBits(value);
        Audit([&] {
            GLfloat v = 0;
            glGetSamplerParameterfv(samplers_[unit], what, &v);
            return v == value;
        });
        Count();
        glSamplerParameterf(samplers_[unit], what, value);
    }
    void AttribArray(int loc, bool on) {
        Audit([&] {
            GLint v = 0;
            glGetVertexAttribiv(GLuint(loc), GL_VERTEX_ATTRIB_ARRAY_ENABLED, &v);
            return bool(v) == on;
        });
        Count();
        on ? glEnableVertexAttribArray(GLuint(loc)) : glDisableVertexAttribArray(GLuint(loc));
    }


    GLShadow shadow_;
    GLuint samplers_[8] = {};
    uint32_t samplerShadow_[8][7];  // parameter values last given to each sampler
    bool audit_ = false;
};

}  // namespace gfx
