// The real gfx device over OpenGL 3.3 core: context, targets, frame and the state setters.
// Rendering goes into an offscreen back buffer (an FBO drawn upside-down, so engine screen
// coordinates equal GL window coordinates); Present copies it to the window. Screen grabs of
// the presented frame read it where it is kept (see KeepPresentedFrame), so no frame is copied
// unless it has to be. The setters keep the state mirror and mark what the next draw must
// flush; the flush compares against a shadow of GL's own state, so no GL state call repeats a
// value GL already has.
#include "platform/gfx/GLDevice.h"

#include <algorithm>
#include <cstring>

namespace gfx {

struct SdlVideo {
    bool inited = false;
    SdlVideo() {
        if (!SDL_WasInit(SDL_INIT_VIDEO)) inited = SDL_InitSubSystem(SDL_INIT_VIDEO) == 0;
    }
    ~SdlVideo() {
        if (inited) SDL_QuitSubSystem(SDL_INIT_VIDEO);
    }
};

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
    state_.SetDefaults(backW_, backH_);
    derivedDirty_ = true;
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
        KeepPresentedFrame((bits & GL_COLOR_BUFFER_BIT) && state_.viewport.x <= 0 && state_.viewport.y <= 0 &&
                           state_.viewport.x + state_.viewport.width >= backW_ && state_.viewport.y + state_.viewport.height >= backH_);
    BindDrawFbo(TargetFbo());
    ApplyGLViewport(state_.viewport.x, state_.viewport.y, state_.viewport.width, state_.viewport.height);
    // Clears ignore the write masks, and the target's alpha is always 1.
    ColorMask(0xF);
    DepthMask(true);
    StencilWriteMask(0xFF);
    ColorValue c = UnpackColor(argb);
    glEnable(GL_SCISSOR_TEST);
    glScissor(state_.viewport.x, state_.viewport.y, state_.viewport.width, state_.viewport.height);
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
    state_.viewport = vp;
    Touch(U_VIEWPORT);
}

// Each setter marks what the next draw must flush: the program key, GL's fixed state, a
// sampler, a texture unit, the vertex attributes or a group of uniforms.
void GLDevice::SetRenderState(uint32_t state, uint32_t value) {
    if (!state_.SetRenderState(state, value, stats_)) return;
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
    if (!state_.SetTextureStageState(stage, type, value, stats_)) return;
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
    if (!state_.SetTransform(id, m)) return;
    if (id >= ts::TEXTURE0 && id < ts::TEXTURE0 + 8) {
        Touch(U_TEXMAT);
        return;
    }
    if (id == ts::VIEW) Touch(U_LIGHTS);
    derivedDirty_ = true;
    Touch(U_XFORM);
}

void GLDevice::SetLight(uint32_t index, const Light& light) {
    const bool kindChanged = state_.IsLightEnabled(index) && state_.lights[index].light.type != light.type;
    if (!state_.SetLight(index, light)) return;
    if (kindChanged) keyDirty_ = true;
    Touch(U_LIGHTS);
}

void GLDevice::LightEnable(uint32_t index, bool enable) {
    if (!state_.LightEnable(index, enable, stats_)) return;
    keyDirty_ = true;
    Touch(U_LIGHTS);
}

void GLDevice::SetMaterial(const MaterialColors& material) {
    if (state_.SetMaterial(material)) Touch(U_MATERIAL);
}

void GLDevice::SetClipPlane(uint32_t index, const float plane[4]) {
    if (state_.SetClipPlane(index, plane)) Touch(U_CLIP);
}

void GLDevice::SetTexture(uint32_t stage, Texture* texture) {
    Texture* const was = stage < 8 ? state_.textures[stage] : nullptr;
    if (!state_.SetTexture(stage, texture, stats_)) return;
    const bool kindChanged = (was == nullptr) != (texture == nullptr) || (was && texture && was->cube_ != texture->cube_);
    textureDirty_ |= 1u << stage;
    if (kindChanged) keyDirty_ = true;
}

void GLDevice::SetStreamSource(uint32_t stream, Buffer* buffer, uint32_t stride) {
    if (state_.SetStreamSource(stream, buffer, stride, stats_)) attribDirty_ = true;
}

void GLDevice::SetIndices(Buffer* buffer, uint32_t baseVertex) { state_.SetIndices(buffer, baseVertex, stats_); }

void GLDevice::SetVertexShader(uint32_t handle) {
    if (!state_.SetVertexShader(handle, stats_)) return;
    keyDirty_ = true;
    attribDirty_ = true;
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
