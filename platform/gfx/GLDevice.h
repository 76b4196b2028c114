#pragma once
// The real gfx device over OpenGL 3.3 core, shared by its files: GLDevice.cpp (context, targets,
// frame, the state setters), GLResources.cpp (buffers, textures, cube targets, vertex shaders),
// GLFixedFunction.cpp (program keys from the state mirror, generated programs and their
// uniforms) and GLDraw.cpp (flushing state to GL and drawing). Included by those files only.
#include <SDL.h>
#include <epoxy/gl.h>

#include <cassert>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "platform/gfx/GLStateCalls.h"
#include "platform/gfx/ShaderGen.h"
#include "platform/gfx/VsTranslator.h"

namespace gfx {

constexpr uint32_t kTextureBudget = 256u * 1024u * 1024u;
constexpr int kMaxLights = 8;

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
inline constexpr UniformInfo kUniforms[UN_COUNT] = {
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

inline GLenum CompareToGL(uint32_t v) {
    static const GLenum t[] = {GL_NEVER, GL_LESS, GL_EQUAL, GL_LEQUAL, GL_GREATER, GL_NOTEQUAL, GL_GEQUAL, GL_ALWAYS};
    return (v >= 1 && v <= 8) ? t[v - 1] : GL_ALWAYS;
}
inline GLenum BlendToGL(uint32_t v, GLenum fallback) {
    static const GLenum t[] = {GL_ZERO, GL_ONE, GL_SRC_COLOR, GL_ONE_MINUS_SRC_COLOR, GL_SRC_ALPHA,
                               GL_ONE_MINUS_SRC_ALPHA, GL_DST_ALPHA, GL_ONE_MINUS_DST_ALPHA,
                               GL_DST_COLOR, GL_ONE_MINUS_DST_COLOR, GL_SRC_ALPHA_SATURATE};
    return (v >= 1 && v <= 11) ? t[v - 1] : fallback;
}
inline GLenum StencilOpToGL(uint32_t v) {
    static const GLenum t[] = {GL_KEEP, GL_ZERO, GL_REPLACE, GL_INCR, GL_DECR, GL_INVERT, GL_INCR_WRAP, GL_DECR_WRAP};
    return (v >= 1 && v <= 8) ? t[v - 1] : GL_KEEP;
}

struct SdlVideo;

class GLDevice final : public GLStateCalls {
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

    void SetRenderState(uint32_t state, uint32_t value) override;
    void SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) override;
    void SetTransform(uint32_t id, const Mat4& m) override;
    void SetLight(uint32_t index, const Light& light) override;
    void LightEnable(uint32_t index, bool enable) override;
    void SetMaterial(const MaterialColors& material) override;
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
    void SetStreamSource(uint32_t stream, Buffer* buffer, uint32_t stride) override;
    void SetIndices(Buffer* buffer, uint32_t baseVertex) override;
    void SetVertexShader(uint32_t handle) override;
    uint32_t CreateVertexShader(uint32_t fvfCode, const uint32_t* tokens, size_t count) override;
    void DeleteVertexShader(uint32_t handle) override;
    bool SetVertexShaderConstant(uint32_t reg, const float* data, uint32_t count) override;

    void DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primCount) override;
    void DrawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices,
                              uint32_t startIndex, uint32_t primCount) override;
    void DrawPrimitiveUP(uint32_t type, uint32_t primCount, const void* data, uint32_t stride) override;
    Result ValidateDevice(uint32_t* passes) override;
    bool ReadPixels(bool back, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) override;

private:
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
    GLuint whiteTex_ = 0;

    Mat4 wvp_, wv_;
    float normalMat_[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    bool derivedDirty_ = true;
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
};

}  // namespace gfx
