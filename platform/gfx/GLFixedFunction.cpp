// The GL device's fixed-function emulation: the vertex and fragment program keys made from the
// state mirror, the generated programs cached per key, and the uniforms they read (transforms,
// material, lights, fog, texture factor, alpha reference, clip planes, shader constants), each
// sent only when the program does not hold it already.
#include "platform/gfx/GLDevice.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace gfx {

GLuint GLDevice::CompileShader(GLenum kind, const std::string& text) {
    GLuint s = glCreateShader(kind);
    const char* src = text.c_str();
    glShaderSource(s, 1, &src, nullptr);
    glCompileShader(s);
    GLint ok = 0;
    glGetShaderiv(s, GL_COMPILE_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetShaderInfoLog(s, sizeof log, nullptr, log);
        Log(1, "GFX: shader compile failed: %s\n%s", log, text.c_str());
        glDeleteShader(s);
        return 0;
    }
    return s;
}

void GLDevice::BuildKeys(ProgramKey& key) {
    key = ProgramKey();
    const VertexShaderEntry* vs = nullptr;
    if (state_.vsHandle & 1) {
        uint32_t i = state_.vsHandle / 2;
        if (i < vertexShaders_.size() && vertexShaders_[i].live) vs = &vertexShaders_[i];
    }
    const uint32_t fvfCode = vs ? vs->fvf : state_.vsHandle;
    const bool rhw = (fvfCode & fvf::POSITION_MASK) == fvf::XYZRHW;
    auto validOp = [this](uint32_t v) {
        return CodeValid(v, top::DISABLE, top::DOTPRODUCT3, BAD_TEXOP) ? v : uint32_t(top::DISABLE);
    };
    bool fog = state_.rs[rs::FOGENABLE] && !rhw;
    if (vs) {
        key.vs.w[0] = fvfCode;
        key.vs.w[14] = state_.vsHandle;
        fog = fog && vs->writesFog;
    } else {
        VsKey& k = key.vs;
        k.w[0] = fvfCode;
        uint32_t flags = 0;
        if (state_.rs[rs::LIGHTING] && !rhw) flags |= VS_LIGHTING;
        if ((flags & VS_LIGHTING) && state_.rs[rs::SPECULARENABLE]) flags |= VS_SPECULAR;
        if (state_.rs[rs::NORMALIZENORMALS]) flags |= VS_NORMALIZE;
        if (state_.rs[rs::LOCALVIEWER]) flags |= VS_LOCALVIEWER;
        k.w[1] = flags;
        if (flags & VS_LIGHTING) {
            auto resolve = [&](uint32_t src) -> uint32_t {
                if (!state_.rs[rs::COLORVERTEX]) return mcs::MATERIAL;
                if (src == mcs::COLOR1 && (fvfCode & fvf::DIFFUSE)) return mcs::COLOR1;
                if (src == mcs::COLOR2 && (fvfCode & fvf::SPECULAR)) return mcs::COLOR2;
                return mcs::MATERIAL;
            };
            k.w[2] = resolve(state_.rs[rs::DIFFUSEMATERIALSOURCE]) | resolve(state_.rs[rs::SPECULARMATERIALSOURCE]) << 2 |
                     resolve(state_.rs[rs::AMBIENTMATERIALSOURCE]) << 4 | resolve(state_.rs[rs::EMISSIVEMATERIALSOURCE]) << 6;
            uint32_t n = 0, kinds = 0;
            for (size_t i = 0; i < state_.lights.size() && n < uint32_t(kMaxLights); ++i) {
                if (!state_.lights[i].enabled) continue;
                uint32_t type = state_.lights[i].light.type;
                if (type < light::POINT || type > light::DIRECTIONAL) type = light::DIRECTIONAL;
                kinds |= type << (4 + 2 * n);
                ++n;
            }
            k.w[3] = n | kinds;
        }
        if (fog && state_.rs[rs::FOGVERTEXMODE] == fogmode::LINEAR) k.w[4] = state_.rs[rs::RANGEFOGENABLE] ? 2 : 1;
        else fog = false;
        for (int s = 0; s < 8; ++s) {
            if (validOp(state_.tss[s][tss::COLOROP]) == top::DISABLE) break;
            uint32_t tci = state_.tss[s][tss::TEXCOORDINDEX];
            uint32_t gen = (tci >> 16) & 3;
            uint32_t count = state_.tss[s][tss::TEXTURETRANSFORMFLAGS] & 7;
            k.w[5 + s] = (tci & 7) | gen << 3 | count << 5;
        }
        if (!rhw) k.w[13] = state_.rs[rs::CLIPPLANEENABLE] & 0x3F;
    }
    for (int s = 0; s < 8; ++s) {
        uint32_t cop = validOp(state_.tss[s][tss::COLOROP]);
        if (cop == top::DISABLE) break;
        uint32_t aop = validOp(state_.tss[s][tss::ALPHAOP]);
        const auto& t = state_.tss[s];
        key.fs.w[2 * s] = cop | Argument(t[tss::COLORARG1], ta::TEXTURE) << 5 | Argument(t[tss::COLORARG2], ta::CURRENT) << 11;
        key.fs.w[2 * s + 1] = aop | Argument(t[tss::ALPHAARG1], ta::TEXTURE) << 5 | Argument(t[tss::ALPHAARG2], ta::CURRENT) << 11;
        uint32_t sampler = state_.textures[s] ? (state_.textures[s]->cube_ ? 2u : 1u) : 0u;
        key.fs.w[16 + s] = (t[tss::RESULTARG] == ta::TEMP ? 1u : 0u) | sampler << 1;
    }
    if (state_.rs[rs::ALPHATESTENABLE]) {
        uint32_t f = state_.rs[rs::ALPHAFUNC];
        key.fs.w[24] = CodeValid(f, cmp::NEVER, cmp::ALWAYS, BAD_COMPARE) ? f : uint32_t(cmp::ALWAYS);
    }
    // The specular colour (lit, or the vertex's own) is added whenever specular is enabled.
    key.fs.w[25] = (fog ? 1u : 0u) | (state_.rs[rs::SPECULARENABLE] ? 2u : 0u);
}

Program* GLDevice::GetProgram(const ProgramKey& key) {
    auto it = programs_.find(key);
    if (it != programs_.end()) return &it->second;
    GLuint vs = 0;
    if (key.vs.w[14]) {
        vs = vertexShaders_[key.vs.w[14] / 2].shader;
    } else {
        auto v = vsCache_.find(key.vs);
        if (v != vsCache_.end()) vs = v->second;
        else if ((vs = CompileShader(GL_VERTEX_SHADER, GenerateFixedVertexShader(key.vs))) != 0) vsCache_[key.vs] = vs;
    }
    GLuint fs = 0;
    auto f = fsCache_.find(key.fs);
    if (f != fsCache_.end()) fs = f->second;
    else if ((fs = CompileShader(GL_FRAGMENT_SHADER, GenerateFragmentShader(key.fs))) != 0) fsCache_[key.fs] = fs;
    if (!vs || !fs) return nullptr;
    Program p;
    p.name = glCreateProgram();
    glAttachShader(p.name, vs);
    glAttachShader(p.name, fs);
    glLinkProgram(p.name);
    GLint ok = 0;
    glGetProgramiv(p.name, GL_LINK_STATUS, &ok);
    if (!ok) {
        char log[2048] = {};
        glGetProgramInfoLog(p.name, sizeof log, nullptr, log);
        Log(1, "GFX: program link failed: %s", log);
        glDeleteProgram(p.name);
        return nullptr;
    }
    glDetachShader(p.name, vs);
    glDetachShader(p.name, fs);
    uint32_t heldFloats = 0;
    for (int u = 0; u < UN_COUNT; ++u) {
        p.location[u] = glGetUniformLocation(p.name, kUniforms[u].name);
        p.offset[u] = heldFloats;
        if (p.location[u] >= 0) heldFloats += uint32_t(kUniforms[u].floats * kUniforms[u].count);
    }
    p.held.assign(heldFloats, 0.0f);
    glUseProgram(p.name);
    shadow_.program = p.name;
    for (int i = 0; i < 8; ++i) {
        char n[16];
        snprintf(n, sizeof n, "uTex%d", i);
        GLint l = glGetUniformLocation(p.name, n);
        if (l >= 0) glUniform1i(l, i);
    }
    for (auto& u : p.uploaded) u = ~0ull;
    ++stats_.programsBuilt;
    return &programs_.emplace(key, p).first->second;
}

void GLDevice::UpdateDerivedMatrices() {
    if (!derivedDirty_) return;
    derivedDirty_ = false;
    wv_ = Mat4::Mul(state_.world, state_.view);
    wvp_ = Mat4::Mul(wv_, state_.proj);
    // Normals transform by the inverse transpose of the upper 3x3 of world x view.
    const auto& m = wv_.m;
    float a = m[0][0], b = m[0][1], c = m[0][2], d = m[1][0], e = m[1][1], f = m[1][2], g = m[2][0], h = m[2][1], i = m[2][2];
    float A = e * i - f * h, B = -(d * i - f * g), C = d * h - e * g;
    float det = a * A + b * B + c * C;
    if (std::fabs(det) < 1e-20f) {
        float id[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
        memcpy(normalMat_, id, sizeof id);
        return;
    }
    float inv = 1.0f / det;
    // Cofactor matrix / det = inverse transpose (row-major, row-vector convention).
    float cof[9] = {A, B, C, -(b * i - c * h), a * i - c * g, -(a * h - b * g), b * f - c * e, -(a * f - c * d), a * e - b * d};
    for (int k = 0; k < 9; ++k) normalMat_[k] = cof[k] * inv;
}

void GLDevice::UploadUniforms(Program& p) {
    // A group whose version the program has seen is skipped without looking at its values.
    auto stale = [&](UniformGroup g) {
        if (p.uploaded[g] == versions_[g]) return false;
        p.uploaded[g] = versions_[g];
        return true;
    };
    if (stale(U_XFORM)) {
        UpdateDerivedMatrices();
        SendUniform(p, UN_WVP, &wvp_.m[0][0]);
        SendUniform(p, UN_WV, &wv_.m[0][0]);
        SendUniform(p, UN_WORLD, &state_.world.m[0][0]);
        SendUniform(p, UN_NORMALMAT, normalMat_);
    }
    if (stale(U_TEXMAT)) SendUniform(p, UN_TEXMAT, &state_.texMat[0].m[0][0]);
    if (stale(U_VIEWPORT)) {
        const float vp[4] = {float(state_.viewport.x), float(state_.viewport.y), float(std::max(state_.viewport.width, 1)),
                             float(std::max(state_.viewport.height, 1))};
        SendUniform(p, UN_VIEWPORT, vp);
    }
    if (stale(U_MATERIAL)) {
        SendUniform(p, UN_MATDIFFUSE, &state_.material.diffuse.r);
        SendUniform(p, UN_MATAMBIENT, &state_.material.ambient.r);
        SendUniform(p, UN_MATSPECULAR, &state_.material.specular.r);
        SendUniform(p, UN_MATEMISSIVE, &state_.material.emissive.r);
        SendUniform(p, UN_MATPOWER, &state_.material.power);
    }
    if (stale(U_LIGHTS) && p.location[UN_AMBIENT] >= 0) {
        const ColorValue amb = UnpackColor(state_.rs[rs::AMBIENT]);
        SendUniform(p, UN_AMBIENT, &amb.r);
        float pos[8][3] = {}, dir[8][3] = {}, dif[8][4] = {}, spe[8][4] = {}, am[8][4] = {}, att[8][4] = {}, spot[8][4] = {};
        int n = 0;
        const auto& v = state_.view.m;
        for (size_t i = 0; i < state_.lights.size() && n < kMaxLights; ++i) {
            if (!state_.lights[i].enabled) continue;
            const Light& l = state_.lights[i].light;
            const Vec3& P = l.position;
            for (int k = 0; k < 3; ++k) pos[n][k] = P.x * v[0][k] + P.y * v[1][k] + P.z * v[2][k] + v[3][k];
            float d[3];
            for (int k = 0; k < 3; ++k) d[k] = l.direction.x * v[0][k] + l.direction.y * v[1][k] + l.direction.z * v[2][k];
            float len = std::sqrt(d[0] * d[0] + d[1] * d[1] + d[2] * d[2]);
            for (int k = 0; k < 3; ++k) dir[n][k] = len > 0 ? d[k] / len : 0.0f;
            memcpy(dif[n], &l.diffuse.r, 16);
            memcpy(spe[n], &l.specular.r, 16);
            memcpy(am[n], &l.ambient.r, 16);
            att[n][0] = l.range > 0 ? l.range : 3.0e38f;
            att[n][1] = l.attenuation0; att[n][2] = l.attenuation1; att[n][3] = l.attenuation2;
            spot[n][0] = std::cos(l.theta * 0.5f); spot[n][1] = std::cos(l.phi * 0.5f); spot[n][2] = l.falloff;
            ++n;
        }
        SendUniform(p, UN_LIGHTPOS, &pos[0][0]);
        SendUniform(p, UN_LIGHTDIR, &dir[0][0]);
        SendUniform(p, UN_LIGHTDIFFUSE, &dif[0][0]);
        SendUniform(p, UN_LIGHTSPECULAR, &spe[0][0]);
        SendUniform(p, UN_LIGHTAMBIENT, &am[0][0]);
        SendUniform(p, UN_LIGHTATT, &att[0][0]);
        SendUniform(p, UN_LIGHTSPOT, &spot[0][0]);
    }
    if (stale(U_FOG)) {
        const float range[2] = {BitsFloat(state_.rs[rs::FOGSTART]), BitsFloat(state_.rs[rs::FOGEND])};
        SendUniform(p, UN_FOGPARAMS, range);
        const ColorValue c = UnpackColor(state_.rs[rs::FOGCOLOR]);
        SendUniform(p, UN_FOGCOLOR, &c.r);
    }
    if (stale(U_TFACTOR)) {
        const ColorValue c = UnpackColor(state_.rs[rs::TEXTUREFACTOR]);
        SendUniform(p, UN_TFACTOR, &c.r);
    }
    if (stale(U_ALPHAREF)) {
        const float ref = float(state_.rs[rs::ALPHAREF] & 0xFF);
        SendUniform(p, UN_ALPHAREF, &ref);
    }
    if (stale(U_CLIP)) SendUniform(p, UN_CLIPPLANE, &state_.clip[0][0]);
    if (stale(U_VSCONST)) SendUniform(p, UN_VSCONST, &vsConst_[0][0]);
}

void GLDevice::SendUniform(Program& p, UniformSlot slot, const float* values) {
    const GLint loc = p.location[slot];
    if (loc < 0) return;
    const UniformInfo& u = kUniforms[slot];
    const size_t bytes = size_t(u.floats) * size_t(u.count) * sizeof(float);
    float* held = &p.held[p.offset[slot]];
    if ((p.sent & (1u << slot)) && memcmp(held, values, bytes) == 0) return;
    p.sent |= 1u << slot;
    memcpy(held, values, bytes);
    Audit([&] { return UniformAlreadyHeld(p, slot, values); });
    Count();
    ++stats_.uniformUploads;
    switch (u.floats) {
        case 1: glUniform1fv(loc, u.count, values); break;
        case 2: glUniform2fv(loc, u.count, values); break;
        case 3: glUniform3fv(loc, u.count, values); break;
        case 4: glUniform4fv(loc, u.count, values); break;
        case 9: glUniformMatrix3fv(loc, u.count, GL_FALSE, values); break;
        default: glUniformMatrix4fv(loc, u.count, GL_FALSE, values); break;
    }
}

// The state audit's question for a uniform upload: does the program already hold every active
// element of these values?
bool GLDevice::UniformAlreadyHeld(const Program& p, UniformSlot slot, const float* values) {
    const UniformInfo& u = kUniforms[slot];
    float current[16];
    for (int i = 0; i < u.count; ++i) {
        GLint loc = p.location[slot];
        if (u.count > 1) {
            char element[32];
            snprintf(element, sizeof element, "%s[%d]", u.name, i);
            loc = glGetUniformLocation(p.name, element);
            if (loc < 0) continue;  // an element the program does not use
        }
        glGetUniformfv(p.name, loc, current);
        if (memcmp(current, values + size_t(i) * size_t(u.floats), size_t(u.floats) * sizeof(float)) != 0) return false;
    }
    return true;
}

}  // namespace gfx
