// The GL device's resources: buffers with their CPU copies, textures, cube render targets and
// translated vertex shaders.
#include "platform/gfx/GLDevice.h"

#include <algorithm>
#include <cstring>

namespace gfx {

namespace {

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

}  // namespace

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
    if (state_.Unbind(buffer)) attribDirty_ = true;
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
    if (const uint32_t stages = state_.Unbind(texture)) {
        textureDirty_ |= stages;
        keyDirty_ = true;
    }
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
    if (state_.vsHandle == handle) { state_.vsHandle = 0; keyDirty_ = true; }
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

}  // namespace gfx
