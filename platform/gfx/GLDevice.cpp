// The real gfx device over OpenGL 3.3 core. Rendering goes into an offscreen back buffer (an
// FBO drawn upside-down, so engine screen coordinates equal GL window coordinates); Present
// copies it to the window. Screen grabs of the presented frame read it where it is kept (see
// KeepPresentedFrame), so no frame is copied unless it has to be. The state mirror is
// flushed to GL at draw time against a shadow of GL's own state, so no GL state call repeats a
// value GL already has. Fixed-function processing runs in generated GLSL cached per key.
#include <SDL.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/gfx/Device.h"
#include "platform/gfx/ShaderGen.h"
#include "platform/gfx/VsTranslator.h"

namespace gfx {

namespace {

constexpr uint32_t kUnknown = 0xFDFDFDFDu;
constexpr uint32_t kTextureBudget = 256u * 1024u * 1024u;
constexpr int kMaxLights = 8;

uint32_t FloatBits(float f) {
    uint32_t u;
    memcpy(&u, &f, 4);
    return u;
}
float BitsFloat(uint32_t u) {
    float f;
    memcpy(&f, &u, 4);
    return f;
}

class GLBuffer final : public Buffer {
public:
    GLBuffer() = default;
    ~GLBuffer() override = default;
};
class GLTexture final : public Texture {
public:
    GLTexture() = default;
    ~GLTexture() override = default;
};

enum UniformGroup { U_XFORM, U_TEXMAT, U_MATERIAL, U_LIGHTS, U_FOG, U_TFACTOR, U_ALPHAREF,
                    U_CLIP, U_VIEWPORT, U_VSCONST, U_COUNT };

// The uniforms the generated programs may declare: name, floats per element (9 and 16 are
// matrices), elements.
enum UniformSlot { UN_WVP, UN_WV, UN_WORLD, UN_NORMALMAT, UN_TEXMAT, UN_VIEWPORT, UN_MATDIFFUSE,
                   UN_MATAMBIENT, UN_MATSPECULAR, UN_MATEMISSIVE, UN_MATPOWER, UN_AMBIENT, UN_LIGHTPOS,
                   UN_LIGHTDIR, UN_LIGHTDIFFUSE, UN_LIGHTSPECULAR, UN_LIGHTAMBIENT, UN_LIGHTATT,
                   UN_LIGHTSPOT, UN_FOGPARAMS, UN_FOGCOLOR, UN_TFACTOR, UN_ALPHAREF, UN_CLIPPLANE,
                   UN_VSCONST, UN_COUNT };
struct UniformInfo {
    const char* name;
    int floats;
    int count;
};
constexpr UniformInfo kUniforms[UN_COUNT] = {
    {"uWVP", 16, 1}, {"uWV", 16, 1}, {"uWorld", 16, 1}, {"uNormalMat", 9, 1}, {"uTexMat", 16, 8},
    {"uViewport", 4, 1}, {"uMatDiffuse", 4, 1}, {"uMatAmbient", 4, 1}, {"uMatSpecular", 4, 1},
    {"uMatEmissive", 4, 1}, {"uMatPower", 1, 1}, {"uAmbient", 4, 1}, {"uLightPos", 3, 8},
    {"uLightDir", 3, 8}, {"uLightDiffuse", 4, 8}, {"uLightSpecular", 4, 8}, {"uLightAmbient", 4, 8},
    {"uLightAtt", 4, 8}, {"uLightSpot", 4, 8}, {"uFogParams", 2, 1}, {"uFogColor", 3, 1},
    {"uTFactor", 4, 1}, {"uAlphaRef", 1, 1}, {"uClipPlane", 4, 6}, {"c", 4, kVsConstants}};
static_assert(UN_COUNT <= 32, "one bit per uniform in Program::sent");

struct Program {
    GLuint name = 0;
    GLint location[UN_COUNT];
    // The values each active uniform was last sent (a program keeps its uniforms while other
    // programs are in use), so a value is uploaded only when it differs from what it holds.
    uint32_t offset[UN_COUNT] = {};
    uint32_t sent = 0;  // bit per uniform: `held` is valid
    std::vector<float> held;
    uint64_t uploaded[U_COUNT] = {};  // group versions already looked at
};

struct ProgramKey {
    VsKey vs;
    FsKey fs;
    bool operator==(const ProgramKey&) const = default;
};
struct ProgramKeyHash {
    size_t operator()(const ProgramKey& k) const {
        KeyHash h;
        return h(k.vs) * 31u ^ h(k.fs);
    }
};

struct VertexShaderEntry {
    uint32_t fvf = 0;
    GLuint shader = 0;
    bool writesFog = false;
    bool live = false;
};

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

GLenum CompareToGL(uint32_t v) {
    static const GLenum t[] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return (v >= 1 && v <= 8) ? t[v - 1] : GL_ALWAYS;
}
GLenum BlendToGL(uint32_t v, GLenum fallback) {
    static const GLenum t[] = {GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                               GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                               GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return (v >= 1 && v <= 11) ? t[v - 1] : fallback;
}
GLenum StencilOpToGL(uint32_t v) {
    static const GLenum t[] = {GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return (v >= 1 && v <= 8) ? t[v - 1] : GL_KEEP;
}
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

struct FormatInfo {
    bool supported;
    bool compressed;
    GLenum internal, format, type;
    uint32_t bytesPerPixel;  // or bytes per 4x4 block when compressed
    bool alphaOne;
};
FormatInfo FormatOf(uint32_t f) {
    switch (f) {
        case format::A8R8G8B8: return {true, false, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, false};
        case format::X8R8G8B8: return {true, false, GL_RGBA8, GL_BGRA, GL_UNSIGNED_BYTE, 4, true};
        case format::A4R4G4B4: return {true, false, GL_RGBA4, GL_BGRA, GL_UNSIGNED_SHORT_4_4_4_4_REV, 2, false};
        case format::A1R5G5B5: return {true, false, GL_RGB5_A1, GL_BGRA, GL_UNSIGNED_SHORT_1_5_5_5_REV, 2, false};
        case format::R8G8B8: return {true, false, GL_RGB8, GL_BGR, GL_UNSIGNED_BYTE, 3, true};
        case format::R5G6B5: return {true, false, GL_RGB8, GL_RGB, GL_UNSIGNED_SHORT_5_6_5, 2, true};
        case format::DXT1: return {true, true, GL_COMPRESSED_RGBA_S3TC_DXT1_EXT, 0, 0, 8, false};
        case format::DXT3: return {true, true, GL_COMPRESSED_RGBA_S3TC_DXT3_EXT, 0, 0, 16, false};
        case format::DXT5: return {true, true, GL_COMPRESSED_RGBA_S3TC_DXT5_EXT, 0, 0, 16, false};
        default: return {false, false, 0, 0, 0, 0, false};
    }
}

struct SdlVideo {
    bool inited = false;
    SdlVideo() {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) inited = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    ~SdlVideo() {
        if (inited) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

}  // namespace

void PrepareWindowAttributes() {
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
    SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
    SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
    SDL_GL_SetAttribute(SDL_GL_STENCIL_SIZE, 0);
}

uint32_t RequiredWindowFlags() { return SDL_WINDOW_OPENGL; }

Mode QueryDesktopMode() {
    Mode m{1024, 768, 32, 60};
    if (!SDL_WasInit(SDL_INIT_VIDEO)) return m;
    const char* driver = SDL_GetCurrentVideoDriver();
    if (driver && (strcmp(driver, "offscreen") == 0 || strcmp(driver, "dummy") == 0)) return m;
    SDL_DisplayMode dm;
    if (SDL_GetDesktopDisplayMode(0, &dm) == 0 && dm.w > 0 && dm.h > 0) {
        m.width = dm.w;
        m.height = dm.h;
    }
    return m;
}

std::vector<AdapterDesc> EnumerateAdapters() {
    static const int sizes[][2] = {{640, 480}, {800, 600}, {1024, 768}, {1152, 864}, {1280, 720},
                                   {1280, 1024}, {1600, 1200}, {1920, 1080}};
    AdapterDesc a;
    // The renderer's name is known once a context exists; the device reports it then.
    snprintf(a.info.description, sizeof a.info.description, "%s", "OpenGL 3.3 core");
    for (auto& sz : sizes)
        for (int bpp : {16, 32}) a.modes.push_back({sz[0], sz[1], bpp, 60});
    a.desktop = QueryDesktopMode();
    return {a};
}

bool WindowIsFullScreen(void* nativeWindow) {
    if (!nativeWindow) return false;
    return (SDL_GetWindowFlags(static_cast<SDL_Window*>(nativeWindow)) & SDL_WINDOW_FULLSCREEN) != 0;
}

class GLDevice final : public Device {
public:
    GLDevice() = default;
    ~GLDevice() override;
    bool Open(void* nativeWindow, int32_t width, int32_t height);

    const Caps& GetCaps() const override { return caps_; }
    const AdapterInfo& GetAdapter() const override { return adapter_; }
    Mode DesktopMode() const override { return desktop_; }
    bool DepthFormatSupported(uint32_t code) const override { return code <= 2; }

    CoopState TestCooperativeLevel() override;
    void ForceCooperativeLevel(CoopState state) override { coop_ = state; forced_ = true; }
    Result Reset(int32_t width, int32_t height) override;
    int32_t BackWidth() const override { return backW_; }
    int32_t BackHeight() const override { return backH_; }

    Result BeginScene() override { inScene_ = true; return Result::OK; }
    Result EndScene() override { inScene_ = false; return Result::OK; }
    Result Present() override;
    Result Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) override;
    void SetViewport(const Viewport& vp) override;
    const Viewport& GetViewport() const override { return viewport_; }

    void SetRenderState(uint32_t state, uint32_t value) override;
    uint32_t GetRenderState(uint32_t state) const override { return state < rs::COUNT ? rs_[state] : 0; }
    void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override;
    uint32_t GetTextureStageState(uint32_t stage, uint32_t type) const override {
        return (stage < 8 && type < tss::COUNT) ? tss_[stage][type] : 0;
    }
    void SetTransform(uint32_t id, const Mat4& m) override;
    const Mat4& GetTransform(uint32_t id) const override;
    void SetLight(uint32_t index, const Light& light) override;
    bool GetLight(uint32_t index, Light& out) const override;
    void LightEnable(uint32_t index, bool enable) override;
    bool IsLightEnabled(uint32_t index) const override {
        return index < lights_.size() && lights_[index].enabled;
    }
    void SetMaterial(const MaterialColors& material) override;
    const MaterialColors& GetMaterial() const override { return material_; }
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
    int32_t TargetWidth() const override { return targetCube_ ? int32_t(targetCube_->width_) : backW_; }
    int32_t TargetHeight() const override { return targetCube_ ? int32_t(targetCube_->height_) : backH_; }
    uint32_t AvailableTextureMem() const override {
        return textureBytes_ >= kTextureBudget ? 0 : kTextureBudget - textureBytes_;
    }
    int32_t LiveDefaultResources() const override { return liveDefault_; }

    void SetTexture(uint32_t stage, Texture* texture) override;
    Texture* GetTexture(uint32_t stage) const override { return stage < 8 ? textures_[stage] : nullptr; }
    void SetStreamSource(uint32_t stream, Buffer* buffer, uint32_t stride) override;
    void SetIndices(Buffer* buffer, uint32_t baseVertex) override;
    void SetVertexShader(uint32_t handle) override;
    uint32_t GetVertexShader() const override { return vsHandle_; }
    uint32_t CreateVertexShader(uint32_t fvfCode, const uint32_t* tokens, size_t count) override;
    void DeleteVertexShader(uint32_t handle) override;
    bool SetVertexShaderConstant(uint32_t reg, const float* data, uint32_t count) override;

    void DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primCount) override;
    void DrawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                              uint32_t startIndex, uint32_t primCount) override;
    void DrawPrimitiveUP(uint32_t type, uint32_t primCount, const void* data, uint32_t stride) override;
    Result ValidateDevice(uint32_t* passes) override;
    bool ReadPixels(bool back, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) override;
    DeviceStats& Stats() override { return stats_; }
    void SetStateAudit(bool on) override { audit_ = on; }

private:
    struct LightSlot {
        Light light;
        bool set = false, enabled = false;
    };

    bool OnOwnerThread() const { return std::this_thread::get_id() == owner_; }
    void SetDefaults();
    GLBuffer* NewBuffer(uint32_t bytes, Pool pool, bool dynamic);
    bool CreateTargets(int32_t w, int32_t h);
    void DestroyTargets();
    void Touch(UniformGroup g) { ++versions_[g]; }
    bool PrepareDraw();
    void BuildKeys(ProgramKey& key);
    Program* GetProgram(const ProgramKey& key);
    GLuint CompileShader(GLenum kind, const std::string& text);
    void KeepPresentedFrame(bool wholeColourClear);
    void FlushFixedState();
    void FlushTextures();
    void FlushAttributes();
    void UploadUniforms(Program& p);
    void SendUniform(Program& p, UniformSlot slot, const float* values);
    bool UniformAlreadyHeld(const Program& p, UniformSlot slot, const float* values);
    void UpdateDerivedMatrices();

    // GL wrappers with counting and shadows. With the state audit on, each call first asks GL
    // for the value it is about to set and counts the call as redundant when GL already has it.
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

    std::thread::id owner_ = std::this_thread::get_id();
    SdlVideo* video_ = nullptr;
    SDL_Window* window_ = nullptr;
    bool ownWindow_ = false;
    SDL_GLContext context_ = nullptr;

    Caps caps_;
    AdapterInfo adapter_;
    Mode desktop_{1024, 768, 32, 60};
    CoopState coop_ = CoopState::OK;
    bool forced_ = false;
    bool hadFocus_ = false;
    bool inScene_ = false;

    // Two colour targets sharing one depth-stencil buffer; they trade the back and front roles.
    GLuint backFbo_ = 0, backColor_ = 0, backDepth_ = 0, frontFbo_ = 0, frontColor_ = 0;
    int32_t backW_ = 0, backH_ = 0;
    // Since the last present nothing was drawn into the back target: it holds the presented
    // frame, which the front target does not.
    bool presentedInBack_ = false;
    // Where draws and clears go: the back target, or a face of this cube target.
    Texture* targetCube_ = nullptr;
    GLuint TargetFbo() const { return targetCube_ ? targetCube_->fbo_ : backFbo_; }
    void TargetBackBuffer() { targetCube_ = nullptr; }
    // Deletes a cube target's framebuffer and depth buffer.
    static void DeleteTargetObjects(Texture* t) {
        if (!t->target_) return;
        glDeleteFramebuffers(1, &t->fbo_);
        glDeleteRenderbuffers(1, &t->depth_);
        t->fbo_ = t->depth_ = 0;
    }
    GLuint vao_ = 0, scratch_ = 0;
    uint32_t scratchSize_ = 0;
    GLBuffer scratchBuffer_;
    GLuint samplers_[8] = {};
    uint32_t samplerShadow_[8][7];  // parameter values last given to each sampler
    GLuint whiteTex_ = 0;

    uint32_t rs_[rs::COUNT] = {};
    uint32_t tss_[8][tss::COUNT] = {};
    Mat4 world_, view_, proj_, texMat_[8];
    Mat4 wvp_, wv_;
    float normalMat_[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    bool derivedDirty_ = true;
    std::vector<LightSlot> lights_;
    MaterialColors material_;
    float clip_[6][4] = {};
    Viewport viewport_;
    Texture* textures_[8] = {};
    Buffer* stream_ = nullptr;
    uint32_t streamStride_ = 0;
    Buffer* indices_ = nullptr;
    uint32_t baseVertex_ = 0;
    uint32_t vsHandle_ = 0;
    std::vector<VertexShaderEntry> vertexShaders_;
    float vsConst_[kVsConstants][4] = {};

    // Dirty tracking.
    bool keyDirty_ = true, fixedDirty_ = true, attribDirty_ = true;
    uint32_t samplerDirty_ = 0xFF, textureDirty_ = 0xFF;
    uint64_t versions_[U_COUNT] = {};
    Program* program_ = nullptr;
    ProgramKey programKey_;
    GLuint attribBuffer_ = 0xFFFFFFFFu;
    uint32_t attribFvf_ = 0xFFFFFFFFu, attribStride_ = 0xFFFFFFFFu;
    std::unordered_map<ProgramKey, Program, ProgramKeyHash> programs_;
    std::unordered_map<VsKey, GLuint, KeyHash> vsCache_;
    std::unordered_map<FsKey, GLuint, KeyHash> fsCache_;

    GLShadow shadow_;
    DeviceStats stats_;
    uint32_t textureBytes_ = 0;
    int32_t liveDefault_ = 0;
    std::vector<Buffer*> buffers_;
    std::vector<Texture*> textureList_;
    // Codes outside a state's table (the unset 0x7FFFFFFF of a pass set among them) take the
    // state's default and are logged once per kind.
    enum BadCodeKind { BAD_TEXOP, BAD_COMPARE, BAD_BLEND, BAD_STENCILOP, BAD_ARG };
    uint32_t loggedBadCodes_ = 0;
    bool CodeValid(uint32_t v, uint32_t lo, uint32_t hi, BadCodeKind kind) {
        if (v >= lo && v <= hi) return true;
        LogBadCode(v, kind);
        return false;
    }
    void LogBadCode(uint32_t v, BadCodeKind kind) {
        if (!(loggedBadCodes_ & (1u << kind))) {
            static const char* const what[] = {"texture op %u treated as disable", "compare function %u treated as always",
                                               "blend factor %u treated as the default", "stencil op %u treated as keep",
                                               "texture argument %u treated as the default"};
            char line[96];
            snprintf(line, sizeof line, what[kind], v);
            Log(2, "GFX: invalid %s", line);
            loggedBadCodes_ |= 1u << kind;
        }
    }
    GLenum Compare(uint32_t v) { return CodeValid(v, cmp::NEVER, cmp::ALWAYS, BAD_COMPARE) ? CompareToGL(v) : GL_ALWAYS; }
    GLenum Blend(uint32_t v, GLenum fallback) {
        return CodeValid(v, blend::ZERO, blend::SRCALPHASAT, BAD_BLEND) ? BlendToGL(v, fallback) : fallback;
    }
    GLenum StencilOperation(uint32_t v) {
        return CodeValid(v, stencilop::KEEP, stencilop::DECR, BAD_STENCILOP) ? StencilOpToGL(v) : GL_KEEP;
    }
    // An argument is a register (0..5) with the complement and alpha-replicate modifiers.
    uint32_t Argument(uint32_t v, uint32_t fallback) {
        const bool ok = (v & ~uint32_t(ta::SELECTMASK | ta::COMPLEMENT | ta::ALPHAREPLICATE)) == 0 && (v & ta::SELECTMASK) <= ta::TEMP;
        if (ok) return v;
        LogBadCode(v, BAD_ARG);
        return fallback;
    }
    bool audit_ = false;
};

std::unique_ptr<Device> CreateGLDevice(void* nativeWindow, int32_t width, int32_t height) {
    auto device = std::make_unique<GLDevice>();
    if (!device->Open(nativeWindow, width, height)) return nullptr;
    return device;
}

bool GLDevice::Open(void* nativeWindow, int32_t width, int32_t height) {
    video_ = new SdlVideo();
    if (!SDL_WasInit(SDL_INIT_VIDEO)) {
        Log(1, "GFX: SDL video init failed: %s", SDL_GetError());
        return false;
    }
    window_ = static_cast<SDL_Window*>(nativeWindow);
    if (window_ && !(SDL_GetWindowFlags(window_) & SDL_WINDOW_OPENGL)) {
        Log(2, "GFX: application window was not created for OpenGL; rendering offscreen only");
        window_ = nullptr;
    }
    if (!window_) {
        PrepareWindowAttributes();
        window_ = SDL_CreateWindow("gfx", 0, 0, 64, 64, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
        ownWindow_ = true;
        if (!window_) {
            Log(1, "GFX: cannot create a window for the GL context: %s", SDL_GetError());
            return false;
        }
    }
    PrepareWindowAttributes();
    context_ = SDL_GL_CreateContext(window_);
    if (!context_) {
        Log(1, "GFX: cannot create an OpenGL 3.3 core context: %s", SDL_GetError());
        return false;
    }
    SDL_GL_MakeCurrent(window_, context_);
    SDL_GL_SetSwapInterval(0);
    if (epoxy_gl_version() < 33) {
        Log(1, "GFX: OpenGL 3.3 is required, got %d.%d", epoxy_gl_version() / 10, epoxy_gl_version() % 10);
        return false;
    }
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    snprintf(adapter_.description, sizeof adapter_.description, "%s", renderer ? renderer : "OpenGL");
    desktop_ = QueryDesktopMode();
    if (!epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc"))
        Log(2, "GFX: no S3TC support; compressed textures are refused");

    glGenVertexArrays(1, &vao_);
    glBindVertexArray(vao_);
    glGenBuffers(1, &scratch_);
    glGenSamplers(8, samplers_);
    memset(samplerShadow_, 0xFF, sizeof samplerShadow_);
    for (int i = 0; i < 8; ++i) glBindSampler(GLuint(i), samplers_[i]);
    glGenTextures(1, &whiteTex_);
    glBindTexture(GL_TEXTURE_2D, whiteTex_);
    const uint32_t white = 0xFFFFFFFFu;
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_BGRA, GL_UNSIGNED_BYTE, &white);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glDisable(GL_DITHER);
    // Cube lookups near a face's edge filter across into the neighbouring face.
    glEnable(GL_TEXTURE_CUBE_MAP_SEAMLESS);
    if (!CreateTargets(width > 0 ? width : desktop_.width, height > 0 ? height : desktop_.height))
        return false;
    SetDefaults();
    return true;
}

GLDevice::~GLDevice() {
    if (context_) {
        for (Buffer* b : buffers_) {
            GLuint n = b->name_;
            glDeleteBuffers(1, &n);
            delete b;
        }
        for (Texture* t : textureList_) {
            GLuint n = t->name_;
            DeleteTargetObjects(t);
            glDeleteTextures(1, &n);
            delete t;
        }
        for (auto& [k, p] : programs_) glDeleteProgram(p.name);
        for (auto& [k, s] : vsCache_) glDeleteShader(s);
        for (auto& [k, s] : fsCache_) glDeleteShader(s);
        for (auto& v : vertexShaders_) if (v.shader) glDeleteShader(v.shader);
        DestroyTargets();
        glDeleteSamplers(8, samplers_);
        glDeleteTextures(1, &whiteTex_);
        glDeleteBuffers(1, &scratch_);
        glDeleteVertexArrays(1, &vao_);
        SDL_GL_DeleteContext(context_);
    }
    if (ownWindow_ && window_) SDL_DestroyWindow(window_);
    delete video_;
}

bool GLDevice::CreateTargets(int32_t w, int32_t h) {
    w = std::max(w, 1);
    h = std::max(h, 1);
    glGenTextures(1, &backColor_);
    glBindTexture(GL_TEXTURE_2D, backColor_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glGenRenderbuffers(1, &backDepth_);
    glBindRenderbuffer(GL_RENDERBUFFER, backDepth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, w, h);
    glGenFramebuffers(1, &backFbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, backColor_, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, backDepth_);
    bool ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glGenTextures(1, &frontColor_);
    glBindTexture(GL_TEXTURE_2D, frontColor_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    glGenFramebuffers(1, &frontFbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, frontFbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, frontColor_, 0);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, backDepth_);
    ok = ok && glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    // Both targets start black with alpha 1.
    glColorMask(1, 1, 1, 1);
    glClearColor(0, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
    glDepthMask(GL_TRUE);
    glStencilMask(0xFF);
    glClearDepth(1.0);
    glClearStencil(0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    shadow_ = GLShadow();  // everything unknown again
    shadow_.drawFbo = backFbo_;
    presentedInBack_ = false;
    glBindTexture(GL_TEXTURE_2D, 0);
    backW_ = w;
    backH_ = h;
    if (!ok) {
        // Nothing may be read from or drawn into the broken targets, and the next reset must
        // make them again whatever size it asks for.
        Log(1, "GFX: back buffer %dx%d incomplete", w, h);
        backW_ = backH_ = 0;
    }
    TargetBackBuffer();
    return ok;
}

void GLDevice::DestroyTargets() {
    glDeleteFramebuffers(1, &backFbo_);
    glDeleteFramebuffers(1, &frontFbo_);
    glDeleteTextures(1, &backColor_);
    glDeleteTextures(1, &frontColor_);
    glDeleteRenderbuffers(1, &backDepth_);
    backFbo_ = frontFbo_ = backColor_ = frontColor_ = backDepth_ = 0;
}

void GLDevice::SetDefaults() {
    SetDefaultStates(rs_, tss_);
    for (uint32_t s = 0; s < 8; ++s) {
        textures_[s] = nullptr;
        texMat_[s] = Mat4();
    }
    world_ = view_ = proj_ = Mat4();
    derivedDirty_ = true;
    lights_.clear();
    material_ = MaterialColors();
    memset(clip_, 0, sizeof clip_);
    viewport_ = {0, 0, backW_, backH_, 0.0f, 1.0f};
    stream_ = nullptr;
    streamStride_ = 0;
    indices_ = nullptr;
    baseVertex_ = 0;
    vsHandle_ = 0;
    keyDirty_ = fixedDirty_ = attribDirty_ = true;
    samplerDirty_ = textureDirty_ = 0xFF;
    attribBuffer_ = attribFvf_ = attribStride_ = 0xFFFFFFFFu;
    for (auto& v : versions_) ++v;
}

CoopState GLDevice::TestCooperativeLevel() {
    if (!forced_ && window_ && !ownWindow_) {
        uint32_t f = SDL_GetWindowFlags(window_);
        // A window that never had the focus (a headless or window-manager-less display) has
        // not lost it: only a minimised window or one whose focus went away loses the device.
        if (f & SDL_WINDOW_INPUT_FOCUS) hadFocus_ = true;
        if (f & SDL_WINDOW_FULLSCREEN) {
            bool away = (f & (SDL_WINDOW_MINIMIZED | SDL_WINDOW_HIDDEN)) ||
                        (hadFocus_ && !(f & SDL_WINDOW_INPUT_FOCUS));
            if (away) coop_ = CoopState::LOST;
            else if (coop_ == CoopState::LOST) coop_ = CoopState::NOTRESET;
        }
    }
    return coop_;
}

Result GLDevice::Reset(int32_t width, int32_t height) {
    assert(OnOwnerThread());
    if (coop_ == CoopState::LOST) return Result::DEVICELOST;
    if (liveDefault_ > 0) {
        Log(1, "GFX: reset refused: %d default-pool resources are still alive", liveDefault_);
        return Result::INVALIDCALL;
    }
    if (width != backW_ || height != backH_) {
        DestroyTargets();
        if (!CreateTargets(width, height)) return Result::OUTOFMEMORY;
    }
    shadow_ = GLShadow();
    TargetBackBuffer();
    SetDefaults();
    loggedBadCodes_ = 0;
    coop_ = CoopState::OK;
    forced_ = false;
    return Result::OK;
}

Result GLDevice::Present() {
    assert(OnOwnerThread());
    if (coop_ == CoopState::LOST) return Result::DEVICELOST;
    Count();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, backFbo_);
    if (window_ && !ownWindow_) {
        int ww = 0, wh = 0;
        SDL_GL_GetDrawableSize(window_, &ww, &wh);
        // Scale to the client area keeping the aspect, letterboxed; the back buffer is stored
        // top row first, so the blit flips it.
        float sx = float(ww) / float(backW_), sy = float(wh) / float(backH_);
        float s = std::min(sx, sy);
        int dw = int(float(backW_) * s), dh = int(float(backH_) * s);
        int dx = (ww - dw) / 2, dy = (wh - dh) / 2;
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
        ColorMask(0xF);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glBlitFramebuffer(0, 0, backW_, backH_, dx, dy + dh, dx + dw, dy, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        SDL_GL_SwapWindow(window_);
        stats_.glCalls += 3;
    }
    // The frame stays where it is; the next write into the back target decides how it is kept.
    presentedInBack_ = true;
    glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
    shadow_.drawFbo = backFbo_;
    stats_.glCalls += 2;
    fixedDirty_ = true;
    return Result::OK;
}

// Called before anything is drawn into the back target: the frame last presented must stay
// readable as the front. A write that clears the whole colour target takes the other target as
// its back, and the presented one becomes the front as it is. Any other write keeps drawing
// over the presented frame (regions it does not redraw keep that frame), so the frame is first
// copied into the front.
void GLDevice::KeepPresentedFrame(bool wholeColourClear) {
    if (!presentedInBack_) return;
    presentedInBack_ = false;
    if (wholeColourClear) {
        std::swap(backFbo_, frontFbo_);
        std::swap(backColor_, frontColor_);
        return;
    }
    // Once a swap has handed the frame to a threaded rasteriser (llvmpipe), a copy out of the
    // back target does not wait for that frame to finish and can take an older picture.
    if (window_ && !ownWindow_) glFinish();
    glBindFramebuffer(GL_READ_FRAMEBUFFER, backFbo_);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, frontFbo_);
    glBlitFramebuffer(0, 0, backW_, backH_, 0, 0, backW_, backH_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    glBindFramebuffer(GL_FRAMEBUFFER, backFbo_);
    shadow_.drawFbo = backFbo_;
    stats_.glCalls += 3;
    ++stats_.targetCopies;
}

Result GLDevice::Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) {
    assert(OnOwnerThread());
    GLbitfield bits = 0;
    if (flags & clear::TARGET) bits |= GL_COLOR_BUFFER_BIT;
    if (flags & clear::ZBUFFER) bits |= GL_DEPTH_BUFFER_BIT;
    if (flags & clear::STENCIL) bits |= GL_STENCIL_BUFFER_BIT;
    if (!bits) return Result::OK;
    if (!targetCube_)
        KeepPresentedFrame((bits & GL_COLOR_BUFFER_BIT) && viewport_.x <= 0 && viewport_.y <= 0 &&
                           viewport_.x + viewport_.width >= backW_ && viewport_.y + viewport_.height >= backH_);
    BindDrawFbo(TargetFbo());
    ApplyGLViewport(viewport_.x, viewport_.y, viewport_.width, viewport_.height);
    // Clears ignore the write masks, and the target's alpha is always 1.
    ColorMask(0xF);
    DepthMask(true);
    StencilWriteMask(0xFF);
    ColorValue c = UnpackColor(argb);
    glEnable(GL_SCISSOR_TEST);
    glScissor(viewport_.x, viewport_.y, viewport_.width, viewport_.height);
    glClearColor(c.r, c.g, c.b, 1.0f);
    glClearDepth(z);
    glClearStencil(GLint(stencil & 0xFF));
    glClear(bits);
    glDisable(GL_SCISSOR_TEST);
    stats_.glCalls += 6;
    fixedDirty_ = true;  // masks differ from the mirror now
    return Result::OK;
}

void GLDevice::SetViewport(const Viewport& vp) {
    viewport_ = vp;
    Touch(U_VIEWPORT);
}

void GLDevice::SetRenderState(uint32_t state, uint32_t value) {
    if (state >= rs::COUNT) return;
    if (rs_[state] == value) {
        ++stats_.redundantSets;
        return;
    }
    rs_[state] = value;
    switch (state) {
        case rs::LIGHTING: case rs::SPECULARENABLE: case rs::NORMALIZENORMALS: case rs::LOCALVIEWER:
        case rs::COLORVERTEX: case rs::DIFFUSEMATERIALSOURCE: case rs::SPECULARMATERIALSOURCE:
        case rs::AMBIENTMATERIALSOURCE: case rs::EMISSIVEMATERIALSOURCE: case rs::FOGENABLE:
        case rs::FOGVERTEXMODE: case rs::RANGEFOGENABLE: case rs::ALPHATESTENABLE: case rs::ALPHAFUNC:
            keyDirty_ = true;
            break;
        case rs::CLIPPLANEENABLE:
            keyDirty_ = true;
            fixedDirty_ = true;
            break;
        case rs::AMBIENT: Touch(U_LIGHTS); break;
        case rs::FOGSTART: case rs::FOGEND: case rs::FOGCOLOR: Touch(U_FOG); break;
        case rs::TEXTUREFACTOR: Touch(U_TFACTOR); break;
        case rs::ALPHAREF: Touch(U_ALPHAREF); break;
        default: fixedDirty_ = true; break;
    }
}

void GLDevice::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) {
    if (stage >= 8 || type >= tss::COUNT) return;
    if (tss_[stage][type] == value) {
        ++stats_.redundantSets;
        return;
    }
    tss_[stage][type] = value;
    switch (type) {
        case tss::ADDRESSU: case tss::ADDRESSV: case tss::ADDRESSW: case tss::MAGFILTER:
        case tss::MINFILTER: case tss::MIPFILTER: case tss::MIPMAPLODBIAS: case tss::MAXMIPLEVEL:
        case tss::MAXANISOTROPY: case tss::BORDERCOLOR:
            samplerDirty_ |= 1u << stage;
            break;
        default: keyDirty_ = true; break;
    }
}

void GLDevice::SetTransform(uint32_t id, const Mat4& m) {
    // An unchanged matrix leaves the uniforms uploaded.
    if (GetTransform(id) == m) return;
    if (id == ts::WORLD) world_ = m;
    else if (id == ts::VIEW) { view_ = m; Touch(U_LIGHTS); }
    else if (id == ts::PROJECTION) proj_ = m;
    else if (id >= ts::TEXTURE0 && id < ts::TEXTURE0 + 8) { texMat_[id - ts::TEXTURE0] = m; Touch(U_TEXMAT); return; }
    else return;
    derivedDirty_ = true;
    Touch(U_XFORM);
}

const Mat4& GLDevice::GetTransform(uint32_t id) const {
    static const Mat4 identity;
    if (id == ts::WORLD) return world_;
    if (id == ts::VIEW) return view_;
    if (id == ts::PROJECTION) return proj_;
    if (id >= ts::TEXTURE0 && id < ts::TEXTURE0 + 8) return texMat_[id - ts::TEXTURE0];
    return identity;
}

void GLDevice::SetLight(uint32_t index, const Light& light) {
    if (index >= 4096) return;
    if (index >= lights_.size()) lights_.resize(index + 1);
    if (lights_[index].enabled && lights_[index].light.type != light.type) keyDirty_ = true;
    lights_[index].light = light;
    lights_[index].set = true;
    Touch(U_LIGHTS);
}

bool GLDevice::GetLight(uint32_t index, Light& out) const {
    if (index >= lights_.size() || !lights_[index].set) return false;
    out = lights_[index].light;
    return true;
}

void GLDevice::LightEnable(uint32_t index, bool enable) {
    if (index >= 4096) return;
    if (index >= lights_.size()) lights_.resize(index + 1);
    LightSlot& slot = lights_[index];
    if (!slot.set) slot.set = true;  // enabling an unset light uses the default light
    if (slot.enabled == enable) {
        ++stats_.redundantSets;
        return;
    }
    slot.enabled = enable;
    keyDirty_ = true;
    Touch(U_LIGHTS);
}

void GLDevice::SetMaterial(const MaterialColors& material) {
    if (material_ == material) return;
    material_ = material;
    Touch(U_MATERIAL);
}

void GLDevice::SetClipPlane(uint32_t index, const float plane[4]) {
    if (index >= 6 || memcmp(clip_[index], plane, sizeof clip_[index]) == 0) return;
    memcpy(clip_[index], plane, sizeof clip_[index]);
    Touch(U_CLIP);
}

// One GL buffer with its CPU copy. Index data is uploaded through the array target too, so the
// VAO's element binding stays.
GLBuffer* GLDevice::NewBuffer(uint32_t bytes, Pool pool, bool dynamic) {
    assert(OnOwnerThread());
    if (bytes == 0) return nullptr;
    auto* b = new GLBuffer();
    b->shadow_.reset(new uint8_t[bytes]());
    b->size_ = bytes;
    b->pool_ = pool;
    b->dynamic_ = dynamic;
    GLuint n = 0;
    glGenBuffers(1, &n);
    BindArrayBuffer(n);
    glBufferData(GL_ARRAY_BUFFER, bytes, nullptr, dynamic ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
    b->name_ = n;
    if (pool == Pool::DEFAULT) ++liveDefault_;
    buffers_.push_back(b);
    return b;
}

Buffer* GLDevice::CreateVertexBuffer(uint32_t bytes, uint32_t fvfCode, Pool pool, bool dynamic) {
    GLBuffer* b = NewBuffer(bytes, pool, dynamic);
    if (b) b->fvf_ = fvfCode;
    return b;
}

Buffer* GLDevice::CreateIndexBuffer(uint32_t bytes, bool index32, Pool pool, bool dynamic) {
    GLBuffer* b = NewBuffer(bytes, pool, dynamic);
    if (b) {
        b->index_ = true;
        b->index32_ = index32;
    }
    return b;
}

void GLDevice::ReleaseBuffer(Buffer* buffer) {
    if (!buffer) return;
    auto it = std::find(buffers_.begin(), buffers_.end(), buffer);
    if (it == buffers_.end()) return;
    buffers_.erase(it);
    if (stream_ == buffer) { stream_ = nullptr; attribDirty_ = true; }
    if (indices_ == buffer) indices_ = nullptr;
    GLuint n = buffer->name_;
    if (shadow_.arrayBuffer == n) shadow_.arrayBuffer = 0xFFFFFFFFu;
    if (shadow_.elementBuffer == n) shadow_.elementBuffer = 0xFFFFFFFFu;
    if (attribBuffer_ == n) attribBuffer_ = 0xFFFFFFFFu;
    glDeleteBuffers(1, &n);
    if (buffer->pool_ == Pool::DEFAULT) --liveDefault_;
    delete buffer;
}

void* GLDevice::Lock(Buffer* buffer, uint32_t offset, uint32_t size, uint32_t flags) {
    if (!buffer) return nullptr;
    if (buffer->lockSize_ != 0) {
        Log(2, "GFX: buffer locked twice");
        return nullptr;
    }
    if (size == 0 && offset == 0) size = buffer->size_;  // whole buffer
    if (size == 0 || offset > buffer->size_ || size > buffer->size_ - offset) {
        Log(2, "GFX: lock of %u bytes at %u outside a buffer of %u bytes", size, offset, buffer->size_);
        return nullptr;
    }
    buffer->lockOffset_ = offset;
    buffer->lockSize_ = size;
    buffer->lockFlags_ = flags;
    return buffer->shadow_.get() + offset;
}

void GLDevice::Unlock(Buffer* buffer) {
    if (!buffer || buffer->lockSize_ == 0) return;
    BindArrayBuffer(buffer->name_);
    Count(false);
    if (buffer->lockFlags_ & lock::DISCARD) {
        // Orphan the old storage so the driver need not wait for draws still using it.
        glBufferData(GL_ARRAY_BUFFER, buffer->size_, nullptr, buffer->dynamic_ ? GL_DYNAMIC_DRAW : GL_STATIC_DRAW);
        Count(false);
        glBufferSubData(GL_ARRAY_BUFFER, buffer->lockOffset_, buffer->lockSize_, buffer->shadow_.get() + buffer->lockOffset_);
    } else {
        glBufferSubData(GL_ARRAY_BUFFER, buffer->lockOffset_, buffer->lockSize_, buffer->shadow_.get() + buffer->lockOffset_);
    }
    buffer->lockSize_ = 0;
}

Texture* GLDevice::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t engineFormat, Pool pool) {
    assert(OnOwnerThread());
    FormatInfo fi = FormatOf(engineFormat);
    if (!fi.supported || width == 0 || height == 0 || width > caps_.maxTextureWidth || height > caps_.maxTextureHeight) {
        Log(2, "GFX: texture %ux%u format %u refused", width, height, engineFormat);
        return nullptr;
    }
    if (fi.compressed && !epoxy_has_gl_extension("GL_EXT_texture_compression_s3tc")) return nullptr;
    uint32_t maxLevels = 1;
    while ((std::max(width, height) >> maxLevels) > 0) ++maxLevels;
    if (levels == 0 || levels > maxLevels) levels = maxLevels;
    auto* t = new GLTexture();
    t->width_ = width;
    t->height_ = height;
    t->levels_ = levels;
    t->format_ = engineFormat;
    t->pool_ = pool;
    GLuint n = 0;
    glGenTextures(1, &n);
    ActiveUnit(0);
    glBindTexture(GL_TEXTURE_2D, n);
    shadow_.boundTex[0] = n;
    shadow_.boundTarget[0] = GL_TEXTURE_2D;
    textureDirty_ |= 1;  // unit 0 no longer holds stage 0's texture
    uint32_t bytes = 0;
    for (uint32_t l = 0; l < levels; ++l) {
        uint32_t w = std::max(1u, width >> l), h = std::max(1u, height >> l);
        if (fi.compressed) {
            uint32_t size = ((w + 3) / 4) * ((h + 3) / 4) * fi.bytesPerPixel;
            std::vector<uint8_t> zero(size, 0);
            glCompressedTexImage2D(GL_TEXTURE_2D, GLint(l), fi.internal, GLsizei(w), GLsizei(h), 0, GLsizei(size), zero.data());
            bytes += size;
        } else {
            glTexImage2D(GL_TEXTURE_2D, GLint(l), GLint(fi.internal), GLsizei(w), GLsizei(h), 0, fi.format, fi.type, nullptr);
            bytes += w * h * fi.bytesPerPixel;
        }
    }
    // The chain may stop before 1x1: GL must be told, or it samples an incomplete texture.
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, GLint(levels - 1));
    if (fi.alphaOne) glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_SWIZZLE_A, GL_ONE);
    t->name_ = n;
    t->bytes_ = bytes;
    textureBytes_ += bytes;
    if (pool == Pool::DEFAULT) ++liveDefault_;
    textureList_.push_back(t);
    return t;
}

bool GLDevice::UpdateTexture(Texture* texture, uint32_t level, const void* data, uint32_t pitch) {
    if (!texture || !data || level >= texture->levels_) return false;
    FormatInfo fi = FormatOf(texture->format_);
    uint32_t w = std::max(1u, texture->width_ >> level), h = std::max(1u, texture->height_ >> level);
    ActiveUnit(0);
    glBindTexture(GL_TEXTURE_2D, texture->name_);
    shadow_.boundTex[0] = texture->name_;
    shadow_.boundTarget[0] = GL_TEXTURE_2D;
    textureDirty_ |= 1;
    if (fi.compressed) {
        uint32_t rowBytes = ((w + 3) / 4) * fi.bytesPerPixel;
        uint32_t rows = (h + 3) / 4;
        std::vector<uint8_t> packed(size_t(rowBytes) * rows);
        const uint8_t* src = static_cast<const uint8_t*>(data);
        for (uint32_t r = 0; r < rows; ++r) memcpy(&packed[size_t(r) * rowBytes], src + size_t(r) * (pitch ? pitch : rowBytes), rowBytes);
        glCompressedTexSubImage2D(GL_TEXTURE_2D, GLint(level), 0, 0, GLsizei(w), GLsizei(h), fi.internal, GLsizei(packed.size()), packed.data());
    } else {
        uint32_t rowLength = pitch ? pitch / fi.bytesPerPixel : w;
        glPixelStorei(GL_UNPACK_ROW_LENGTH, GLint(rowLength));
        glTexSubImage2D(GL_TEXTURE_2D, GLint(level), 0, 0, GLsizei(w), GLsizei(h), fi.format, fi.type, data);
        glPixelStorei(GL_UNPACK_ROW_LENGTH, 0);
    }
    stats_.glCalls += 3;
    return true;
}

void GLDevice::ReleaseTexture(Texture* texture) {
    if (!texture) return;
    auto it = std::find(textureList_.begin(), textureList_.end(), texture);
    if (it == textureList_.end()) return;
    textureList_.erase(it);
    for (uint32_t s = 0; s < 8; ++s)
        if (textures_[s] == texture) { textures_[s] = nullptr; textureDirty_ |= 1u << s; keyDirty_ = true; }
    GLuint n = texture->name_;
    for (auto& b : shadow_.boundTex) if (b == n) b = ~0u;
    if (targetCube_ == texture) TargetBackBuffer();
    if (texture->target_ && shadow_.drawFbo == texture->fbo_) shadow_.drawFbo = 0xFFFFFFFFu;
    DeleteTargetObjects(texture);
    glDeleteTextures(1, &n);
    textureBytes_ -= std::min(textureBytes_, texture->bytes_);
    if (texture->pool_ == Pool::DEFAULT) --liveDefault_;
    delete texture;
}

Texture* GLDevice::CreateCubeTarget(uint32_t size) {
    assert(OnOwnerThread());
    if (size == 0 || size > caps_.maxTextureWidth || size > caps_.maxTextureHeight) {
        Log(2, "GFX: cube target of %u refused", size);
        return nullptr;
    }
    auto* t = new GLTexture();
    t->width_ = t->height_ = size;
    t->levels_ = 1;
    t->format_ = format::X8R8G8B8;
    t->pool_ = Pool::DEFAULT;
    t->cube_ = true;
    t->target_ = true;
    GLuint n = 0;
    glGenTextures(1, &n);
    ActiveUnit(0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, n);
    shadow_.boundTex[0] = n;
    shadow_.boundTarget[0] = GL_TEXTURE_CUBE_MAP;
    textureDirty_ |= 1;
    for (GLenum f = 0; f < 6; ++f)
        glTexImage2D(GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, 0, GL_RGBA8, GLsizei(size), GLsizei(size), 0, GL_BGRA,
                     GL_UNSIGNED_BYTE, nullptr);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAX_LEVEL, 0);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_SWIZZLE_A, GL_ONE);  // an X8 target
    t->name_ = n;
    glGenRenderbuffers(1, &t->depth_);
    glBindRenderbuffer(GL_RENDERBUFFER, t->depth_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, GLsizei(size), GLsizei(size));
    glGenFramebuffers(1, &t->fbo_);
    BindDrawFbo(t->fbo_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER, t->depth_);
    bool ok = true;
    // Every face starts black.
    ColorMask(0xF);
    glClearColor(0, 0, 0, 1);
    for (GLenum f = 0; f < 6 && ok; ++f) {
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_CUBE_MAP_POSITIVE_X + f, n, 0);
        ok = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        if (ok) glClear(GL_COLOR_BUFFER_BIT);
    }
    stats_.glCalls += 20;
    fixedDirty_ = true;  // the colour mask differs from the mirror now
    if (!ok) {
        Log(1, "GFX: cube target of %u incomplete", size);
        shadow_.drawFbo = 0xFFFFFFFFu;
        DeleteTargetObjects(t);
        glDeleteTextures(1, &n);
        for (auto& b : shadow_.boundTex) if (b == n) b = ~0u;
        delete t;
        return nullptr;
    }
    t->bytes_ = size * size * 4 * 6;
    textureBytes_ += t->bytes_;
    ++liveDefault_;
    textureList_.push_back(t);
    return t;
}

bool GLDevice::SetRenderTarget(Texture* cube, uint32_t face) {
    assert(OnOwnerThread());
    if (!cube) {
        TargetBackBuffer();
        return true;
    }
    if (!cube->target_ || face > 5 || std::find(textureList_.begin(), textureList_.end(), cube) == textureList_.end())
        return false;
    BindDrawFbo(cube->fbo_);
    Count();
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_CUBE_MAP_POSITIVE_X + face, cube->name_, 0);
    targetCube_ = cube;
    return true;
}

void GLDevice::SetTexture(uint32_t stage, Texture* texture) {
    if (stage >= 8) return;
    if (textures_[stage] == texture) {
        ++stats_.redundantSets;
        return;
    }
    bool kindChanged = (textures_[stage] == nullptr) != (texture == nullptr) ||
                       (textures_[stage] && texture && textures_[stage]->cube_ != texture->cube_);
    textures_[stage] = texture;
    textureDirty_ |= 1u << stage;
    if (kindChanged) keyDirty_ = true;
}

void GLDevice::SetStreamSource(uint32_t stream, Buffer* buffer, uint32_t stride) {
    if (stream != 0) return;  // one stream carries every vertex format the engine uses
    if (stream_ == buffer && streamStride_ == stride) {
        ++stats_.redundantSets;
        return;
    }
    stream_ = buffer;
    streamStride_ = stride;
    attribDirty_ = true;
}

void GLDevice::SetIndices(Buffer* buffer, uint32_t baseVertex) {
    if (indices_ == buffer && baseVertex_ == baseVertex) {
        ++stats_.redundantSets;
        return;
    }
    indices_ = buffer;
    baseVertex_ = baseVertex;
}

void GLDevice::SetVertexShader(uint32_t handle) {
    if (vsHandle_ == handle) {
        ++stats_.redundantSets;
        return;
    }
    vsHandle_ = handle;
    keyDirty_ = true;
    attribDirty_ = true;
}

uint32_t GLDevice::CreateVertexShader(uint32_t fvfCode, const uint32_t* tokens, size_t count) {
    assert(OnOwnerThread());
    VsTranslation t = TranslateVs11(tokens, count);
    if (!t.ok) {
        Log(1, "GFX: vertex shader refused: %s", t.error.c_str());
        return 0;
    }
    GLuint shader = CompileShader(GL_VERTEX_SHADER, t.glsl);
    if (!shader) return 0;
    VertexShaderEntry e;
    e.fvf = fvfCode;
    e.shader = shader;
    e.writesFog = t.writesFog;
    e.live = true;
    vertexShaders_.push_back(e);
    return uint32_t(vertexShaders_.size() - 1) * 2u + 1u;
}

void GLDevice::DeleteVertexShader(uint32_t handle) {
    if (!(handle & 1)) return;
    uint32_t i = handle / 2;
    if (i >= vertexShaders_.size() || !vertexShaders_[i].live) return;
    for (auto it = programs_.begin(); it != programs_.end();) {
        if (it->first.vs.w[14] == handle) {
            if (program_ == &it->second) program_ = nullptr;
            glDeleteProgram(it->second.name);
            it = programs_.erase(it);
        } else {
            ++it;
        }
    }
    shadow_.program = 0xFFFFFFFFu;
    glDeleteShader(vertexShaders_[i].shader);
    vertexShaders_[i] = VertexShaderEntry();
    if (vsHandle_ == handle) { vsHandle_ = 0; keyDirty_ = true; }
}

bool GLDevice::SetVertexShaderConstant(uint32_t reg, const float* data, uint32_t count) {
    if (!data || reg >= uint32_t(kVsConstants) || count > uint32_t(kVsConstants) - reg) {
        Log(2, "GFX: vertex shader constants %u..%u outside 0..%d", reg, reg + count, kVsConstants - 1);
        return false;
    }
    if (memcmp(vsConst_[reg], data, size_t(count) * 16) == 0) return true;
    memcpy(vsConst_[reg], data, size_t(count) * 16);
    Touch(U_VSCONST);
    return true;
}

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
    if (vsHandle_ & 1) {
        uint32_t i = vsHandle_ / 2;
        if (i < vertexShaders_.size() && vertexShaders_[i].live) vs = &vertexShaders_[i];
    }
    const uint32_t fvfCode = vs ? vs->fvf : vsHandle_;
    const bool rhw = (fvfCode & fvf::POSITION_MASK) == fvf::XYZRHW;
    auto validOp = [this](uint32_t v) {
        return CodeValid(v, top::DISABLE, top::DOTPRODUCT3, BAD_TEXOP) ? v : uint32_t(top::DISABLE);
    };
    bool fog = rs_[rs::FOGENABLE] && !rhw;
    if (vs) {
        key.vs.w[0] = fvfCode;
        key.vs.w[14] = vsHandle_;
        fog = fog && vs->writesFog;
    } else {
        VsKey& k = key.vs;
        k.w[0] = fvfCode;
        uint32_t flags = 0;
        if (rs_[rs::LIGHTING] && !rhw) flags |= VS_LIGHTING;
        if ((flags & VS_LIGHTING) && rs_[rs::SPECULARENABLE]) flags |= VS_SPECULAR;
        if (rs_[rs::NORMALIZENORMALS]) flags |= VS_NORMALIZE;
        if (rs_[rs::LOCALVIEWER]) flags |= VS_LOCALVIEWER;
        k.w[1] = flags;
        if (flags & VS_LIGHTING) {
            auto resolve = [&](uint32_t src) -> uint32_t {
                if (!rs_[rs::COLORVERTEX]) return mcs::MATERIAL;
                if (src == mcs::COLOR1 && (fvfCode & fvf::DIFFUSE)) return mcs::COLOR1;
                if (src == mcs::COLOR2 && (fvfCode & fvf::SPECULAR)) return mcs::COLOR2;
                return mcs::MATERIAL;
            };
            k.w[2] = resolve(rs_[rs::DIFFUSEMATERIALSOURCE]) | resolve(rs_[rs::SPECULARMATERIALSOURCE]) << 2 |
                     resolve(rs_[rs::AMBIENTMATERIALSOURCE]) << 4 | resolve(rs_[rs::EMISSIVEMATERIALSOURCE]) << 6;
            uint32_t n = 0, kinds = 0;
            for (size_t i = 0; i < lights_.size() && n < uint32_t(kMaxLights); ++i) {
                if (!lights_[i].enabled) continue;
                uint32_t type = lights_[i].light.type;
                if (type < light::POINT || type > light::DIRECTIONAL) type = light::DIRECTIONAL;
                kinds |= type << (4 + 2 * n);
                ++n;
            }
            k.w[3] = n | kinds;
        }
        if (fog && rs_[rs::FOGVERTEXMODE] == fogmode::LINEAR) k.w[4] = rs_[rs::RANGEFOGENABLE] ? 2 : 1;
        else fog = false;
        for (int s = 0; s < 8; ++s) {
            if (validOp(tss_[s][tss::COLOROP]) == top::DISABLE) break;
            uint32_t tci = tss_[s][tss::TEXCOORDINDEX];
            uint32_t gen = (tci >> 16) & 3;
            uint32_t count = tss_[s][tss::TEXTURETRANSFORMFLAGS] & 7;
            k.w[5 + s] = (tci & 7) | gen << 3 | count << 5;
        }
        if (!rhw) k.w[13] = rs_[rs::CLIPPLANEENABLE] & 0x3F;
    }
    for (int s = 0; s < 8; ++s) {
        uint32_t cop = validOp(tss_[s][tss::COLOROP]);
        if (cop == top::DISABLE) break;
        uint32_t aop = validOp(tss_[s][tss::ALPHAOP]);
        const auto& t = tss_[s];
        key.fs.w[2 * s] = cop | Argument(t[tss::COLORARG1], ta::TEXTURE) << 5 | Argument(t[tss::COLORARG2], ta::CURRENT) << 11;
        key.fs.w[2 * s + 1] = aop | Argument(t[tss::ALPHAARG1], ta::TEXTURE) << 5 | Argument(t[tss::ALPHAARG2], ta::CURRENT) << 11;
        uint32_t sampler = textures_[s] ? (textures_[s]->cube_ ? 2u : 1u) : 0u;
        key.fs.w[16 + s] = (t[tss::RESULTARG] == ta::TEMP ? 1u : 0u) | sampler << 1;
    }
    if (rs_[rs::ALPHATESTENABLE]) {
        uint32_t f = rs_[rs::ALPHAFUNC];
        key.fs.w[24] = CodeValid(f, cmp::NEVER, cmp::ALWAYS, BAD_COMPARE) ? f : uint32_t(cmp::ALWAYS);
    }
    // The specular colour (lit, or the vertex's own) is added whenever specular is enabled.
    key.fs.w[25] = (fog ? 1u : 0u) | (rs_[rs::SPECULARENABLE] ? 2u : 0u);
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
    wv_ = Mat4::Mul(world_, view_);
    wvp_ = Mat4::Mul(wv_, proj_);
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
        SendUniform(p, UN_WORLD, &world_.m[0][0]);
        SendUniform(p, UN_NORMALMAT, normalMat_);
    }
    if (stale(U_TEXMAT)) SendUniform(p, UN_TEXMAT, &texMat_[0].m[0][0]);
    if (stale(U_VIEWPORT)) {
        const float vp[4] = {float(viewport_.x), float(viewport_.y), float(std::max(viewport_.width, 1)),
                             float(std::max(viewport_.height, 1))};
        SendUniform(p, UN_VIEWPORT, vp);
    }
    if (stale(U_MATERIAL)) {
        SendUniform(p, UN_MATDIFFUSE, &material_.diffuse.r);
        SendUniform(p, UN_MATAMBIENT, &material_.ambient.r);
        SendUniform(p, UN_MATSPECULAR, &material_.specular.r);
        SendUniform(p, UN_MATEMISSIVE, &material_.emissive.r);
        SendUniform(p, UN_MATPOWER, &material_.power);
    }
    if (stale(U_LIGHTS) && p.location[UN_AMBIENT] >= 0) {
        const ColorValue amb = UnpackColor(rs_[rs::AMBIENT]);
        SendUniform(p, UN_AMBIENT, &amb.r);
        float pos[8][3] = {}, dir[8][3] = {}, dif[8][4] = {}, spe[8][4] = {}, am[8][4] = {}, att[8][4] = {}, spot[8][4] = {};
        int n = 0;
        const auto& v = view_.m;
        for (size_t i = 0; i < lights_.size() && n < kMaxLights; ++i) {
            if (!lights_[i].enabled) continue;
            const Light& l = lights_[i].light;
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
        const float range[2] = {BitsFloat(rs_[rs::FOGSTART]), BitsFloat(rs_[rs::FOGEND])};
        SendUniform(p, UN_FOGPARAMS, range);
        const ColorValue c = UnpackColor(rs_[rs::FOGCOLOR]);
        SendUniform(p, UN_FOGCOLOR, &c.r);
    }
    if (stale(U_TFACTOR)) {
        const ColorValue c = UnpackColor(rs_[rs::TEXTUREFACTOR]);
        SendUniform(p, UN_TFACTOR, &c.r);
    }
    if (stale(U_ALPHAREF)) {
        const float ref = float(rs_[rs::ALPHAREF] & 0xFF);
        SendUniform(p, UN_ALPHAREF, &ref);
    }
    if (stale(U_CLIP)) SendUniform(p, UN_CLIPPLANE, &clip_[0][0]);
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

void GLDevice::FlushFixedState() {
    if (!fixedDirty_) return;
    fixedDirty_ = false;
    bool z = rs_[rs::ZENABLE] != 0;
    Enable(GL_DEPTH_TEST, shadow_.depthTest, z);
    if (z) {
        GLenum f = Compare(rs_[rs::ZFUNC]);
        DepthFunc(f);
    }
    DepthMask(z && rs_[rs::ZWRITEENABLE]);

    bool st = rs_[rs::STENCILENABLE] != 0;
    Enable(GL_STENCIL_TEST, shadow_.stencilTest, st);
    if (st) {
        GLenum f = Compare(rs_[rs::STENCILFUNC]);
        GLint ref = GLint(rs_[rs::STENCILREF] & 0xFF);
        GLuint mask = rs_[rs::STENCILMASK] & 0xFF;
        StencilFunc(f, ref, mask);
        GLenum a = StencilOperation(rs_[rs::STENCILFAIL]), b = StencilOperation(rs_[rs::STENCILZFAIL]),
               c = StencilOperation(rs_[rs::STENCILPASS]);
        StencilOp(a, b, c);
        StencilWriteMask(rs_[rs::STENCILWRITEMASK] & 0xFF);
    }

    bool bl = rs_[rs::ALPHABLENDENABLE] != 0;
    Enable(GL_BLEND, shadow_.blend, bl);
    if (bl) {
        GLenum s = Blend(rs_[rs::SRCBLEND], GL_ONE), d = Blend(rs_[rs::DESTBLEND], GL_ZERO);
        BlendFunc(s, d);
        BlendEquation(BlendOpToGL(rs_[rs::BLENDOP]));
    }

    uint32_t cm = rs_[rs::CULLMODE];
    bool cullOn = cm == cull::CW || cm == cull::CCW;
    Enable(GL_CULL_FACE, shadow_.cull, cullOn);
    if (cullOn) {
        // Rendering upside-down turns the engine's clockwise front faces into GL's CCW.
        GLenum face = cm == cull::CCW ? GL_BACK : GL_FRONT;
        FrontFace(GL_CCW);
        CullFace(face);
    }

    GLenum pm = rs_[rs::FILLMODE] == fill::WIREFRAME ? GL_LINE : rs_[rs::FILLMODE] == fill::POINT ? GL_POINT : GL_FILL;
    PolygonMode(pm);

    // The target's alpha stays 1 (X8 back buffer): alpha writes are always masked off.
    ColorMask(int(rs_[rs::COLORWRITEENABLE] & 7));

    uint32_t clipMask = rs_[rs::CLIPPLANEENABLE] & 0x3F;
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
            Texture* t = textures_[s];
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
            const auto& t = tss_[s];
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
    uint32_t fvfCode = vsHandle_;
    if (vsHandle_ & 1) {
        uint32_t i = vsHandle_ / 2;
        fvfCode = (i < vertexShaders_.size()) ? vertexShaders_[i].fvf : 0;
    }
    GLuint name = stream_ ? stream_->name_ : 0;
    if (!attribDirty_ && name == attribBuffer_ && fvfCode == attribFvf_ && streamStride_ == attribStride_) return;
    attribDirty_ = false;
    attribBuffer_ = name;
    attribFvf_ = fvfCode;
    attribStride_ = streamStride_;
    if (!stream_) return;
    BindArrayBuffer(name);
    GLsizei stride = GLsizei(streamStride_);
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
    if (!stream_) return false;
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
    ApplyGLViewport(viewport_.x, viewport_.y, viewport_.width, viewport_.height);
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
    if (n <= 0 || !indices_ || !PrepareDraw()) return;
    uint32_t size = indices_->index32_ ? 4 : 2;
    if ((uint64_t(startIndex) + uint64_t(n)) * size > indices_->size_) {
        Log(2, "GFX: indexed draw reads past its index buffer");
        return;
    }
    BindElementBuffer(indices_->name_);
    Count(false);
    ++stats_.draws;
    glDrawElementsBaseVertex(PrimToGL(type), n, indices_->index32_ ? GL_UNSIGNED_INT : GL_UNSIGNED_SHORT,
                             reinterpret_cast<void*>(uintptr_t(startIndex) * size), GLint(baseVertex_));
}

void GLDevice::DrawPrimitiveUP(uint32_t type, uint32_t primCount, const void* data, uint32_t stride) {
    int n = PrimitiveVertexCount(type, primCount);
    if (n <= 0 || !data || stride == 0) return;
    uint32_t bytes = uint32_t(n) * stride;
    // Stream through the scratch buffer. Stream 0 is put back afterwards, so a caller's cache of
    // the stream binding never goes stale behind an immediate draw.
    Buffer* const previous = stream_;
    const uint32_t previousStride = streamStride_;
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
    stream_ = &scratch;
    streamStride_ = stride;
    attribDirty_ = true;
    if (PrepareDraw()) {
        Count(false);
        ++stats_.draws;
        glDrawArrays(PrimToGL(type), 0, n);
    }
    stream_ = previous;
    streamStride_ = previousStride;
    attribDirty_ = true;
}

Result GLDevice::ValidateDevice(uint32_t* passes) {
    for (int s = 0; s < 8; ++s) {
        uint32_t cop = tss_[s][tss::COLOROP];
        if (cop == top::DISABLE) break;
        if (cop == top::PREMODULATE || cop == top::BUMPENVMAP || cop == top::BUMPENVMAPLUMINANCE)
            return Result::UNSUPPORTEDCOLOROPERATION;
        uint32_t aop = tss_[s][tss::ALPHAOP];
        if (aop == top::PREMODULATE || aop == top::BUMPENVMAP || aop == top::BUMPENVMAPLUMINANCE)
            return Result::UNSUPPORTEDALPHAOPERATION;
    }
    if (passes) *passes = 1;
    return Result::OK;
}

bool GLDevice::ReadPixels(bool back, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) {
    if (!out || w <= 0 || h <= 0 || x < 0 || y < 0 || x > backW_ - w || y > backH_ - h) return false;
    // A read right after a swap must see the finished frame (see KeepPresentedFrame).
    glFinish();
    // Until something is drawn after a present, the presented frame is the back target's.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, (back || presentedInBack_) ? backFbo_ : frontFbo_);
    glReadPixels(x, y, w, h, GL_BGRA, GL_UNSIGNED_BYTE, out);
    // Reads and draws share one framebuffer binding in the shadow.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, shadow_.drawFbo != 0xFFFFFFFFu ? shadow_.drawFbo : backFbo_);
    for (size_t i = 0, n = size_t(w) * size_t(h); i < n; ++i) out[i] |= 0xFF000000u;
    return true;
}

}  // namespace gfx
