#include "platform/gfx/RecordingDevice.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "platform/gfx/VsTranslator.h"

namespace gfx {

namespace {
class RecBuffer final : public Buffer {};
class RecTexture final : public Texture {};
}  // namespace

RecordingDevice::RecordingDevice(int32_t width, int32_t height) : width_(width), height_(height) {
    snprintf(adapter.description, sizeof adapter.description, "%s", "recording device");
    SetDefaults();
}

RecordingDevice::~RecordingDevice() {
    for (Buffer* b : buffers_) delete b;
    for (Texture* t : textureList_) delete t;
}

void RecordingDevice::Log(const char* format, ...) {
    char line[256];
    va_list a;
    va_start(a, format);
    vsnprintf(line, sizeof line, format, a);
    va_end(a);
    calls.emplace_back(line);
}

int RecordingDevice::Count(const std::string& prefix) const {
    return int(std::count_if(calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
}

// The mirror starts from the same defaults as the real device.
void RecordingDevice::SetDefaults() { state_.SetDefaults(width_, height_); }

Result RecordingDevice::Reset(int32_t width, int32_t height) {
    Log("Reset %d %d", width, height);
    if (coop_ == CoopState::LOST) return Result::DEVICELOST;
    if (liveDefault_ > 0) return Result::INVALIDCALL;
    target_ = nullptr;
    width_ = width;
    height_ = height;
    SetDefaults();
    coop_ = CoopState::OK;
    return Result::OK;
}

Result RecordingDevice::BeginScene() { Log("BeginScene"); return Result::OK; }
Result RecordingDevice::EndScene() { Log("EndScene"); return Result::OK; }
Result RecordingDevice::Present() {
    Log("Present");
    return coop_ == CoopState::LOST ? Result::DEVICELOST : Result::OK;
}
Result RecordingDevice::Clear(uint32_t flags, uint32_t argb, float z, uint32_t stencil) {
    Log("Clear %u %08X %g %u", flags, argb, double(z), stencil);
    return Result::OK;
}
void RecordingDevice::SetViewport(const Viewport& vp) {
    Log("SetViewport %d %d %d %d", vp.x, vp.y, vp.width, vp.height);
    state_.viewport = vp;
}

void RecordingDevice::SetRenderState(uint32_t state, uint32_t value) {
    Log("SetRenderState %u %u", state, value);
    state_.SetRenderState(state, value, stats_);
}
void RecordingDevice::SetTextureStageState(uint32_t stage, uint32_t type, uint32_t value) {
    Log("SetTextureStageState %u %u %u", stage, type, value);
    state_.SetTextureStageState(stage, type, value, stats_);
}
void RecordingDevice::SetTransform(uint32_t id, const Mat4& m) {
    Log("SetTransform %u", id);
    state_.SetTransform(id, m);
}
void RecordingDevice::SetLight(uint32_t index, const Light& light) {
    Log("SetLight %u", index);
    state_.SetLight(index, light);
}
void RecordingDevice::LightEnable(uint32_t index, bool enable) {
    Log("LightEnable %u %d", index, enable ? 1 : 0);
    state_.LightEnable(index, enable, stats_);
}
void RecordingDevice::SetMaterial(const MaterialColors& material) {
    Log("SetMaterial");
    state_.SetMaterial(material);
}
void RecordingDevice::SetClipPlane(uint32_t index, const float plane[4]) {
    Log("SetClipPlane %u %g %g %g %g", index, double(plane[0]), double(plane[1]), double(plane[2]), double(plane[3]));
    state_.SetClipPlane(index, plane);
}

Buffer* RecordingDevice::NewBuffer(uint32_t bytes, Pool pool, bool dynamic) {
    if (bytes == 0) return nullptr;
    auto* b = new RecBuffer();
    b->shadow_.reset(new uint8_t[bytes]());
    b->size_ = bytes;
    b->pool_ = pool;
    b->dynamic_ = dynamic;
    if (pool == Pool::DEFAULT) ++liveDefault_;
    buffers_.push_back(b);
    return b;
}
Buffer* RecordingDevice::CreateVertexBuffer(uint32_t bytes, uint32_t fvfCode, Pool pool, bool dynamic) {
    Log("CreateVertexBuffer %u", bytes);
    Buffer* b = NewBuffer(bytes, pool, dynamic);
    if (b) b->fvf_ = fvfCode;
    return b;
}
Buffer* RecordingDevice::CreateIndexBuffer(uint32_t bytes, bool index32, Pool pool, bool dynamic) {
    Log("CreateIndexBuffer %u %d", bytes, index32 ? 32 : 16);
    Buffer* b = NewBuffer(bytes, pool, dynamic);
    if (b) {
        b->index_ = true;
        b->index32_ = index32;
    }
    return b;
}
void RecordingDevice::ReleaseBuffer(Buffer* buffer) {
    auto it = std::find(buffers_.begin(), buffers_.end(), buffer);
    if (it == buffers_.end()) return;
    Log("ReleaseBuffer");
    buffers_.erase(it);
    state_.Unbind(buffer);
    if (buffer->pool_ == Pool::DEFAULT) --liveDefault_;
    delete buffer;
}
void* RecordingDevice::Lock(Buffer* buffer, uint32_t offset, uint32_t size, uint32_t flags) {
    Log("Lock %u %u %X", offset, size, flags);
    if (!buffer || buffer->lockSize_ != 0) return nullptr;
    if (size == 0 && offset == 0) size = buffer->size_;
    if (size == 0 || offset > buffer->size_ || size > buffer->size_ - offset) return nullptr;
    buffer->lockOffset_ = offset;
    buffer->lockSize_ = size;
    buffer->lockFlags_ = flags;
    return buffer->shadow_.get() + offset;
}
void RecordingDevice::Unlock(Buffer* buffer) {
    Log("Unlock");
    if (!buffer) return;
    if (buffer->lockSize_) {
        const uint8_t* from = buffer->shadow_.get() + buffer->lockOffset_;
        lastUnlockedData.assign(from, from + buffer->lockSize_);
    }
    buffer->lockSize_ = 0;
}
Texture* RecordingDevice::CreateTexture(uint32_t width, uint32_t height, uint32_t levels, uint32_t engineFormat, Pool pool) {
    Log("CreateTexture %u %u %u %u", width, height, levels, engineFormat);
    if (width == 0 || height == 0 || width > caps.maxTextureWidth || height > caps.maxTextureHeight) return nullptr;
    auto* t = new RecTexture();
    t->width_ = width;
    t->height_ = height;
    t->levels_ = levels ? levels : 1;
    t->format_ = engineFormat;
    t->pool_ = pool;
    if (pool == Pool::DEFAULT) ++liveDefault_;
    textureList_.push_back(t);
    return t;
}
bool RecordingDevice::UpdateTexture(Texture* texture, uint32_t level, const void* data, uint32_t) {
    Log("UpdateTexture %u", level);
    return texture && data && level < texture->levels_;
}
Texture* RecordingDevice::CreateCubeTarget(uint32_t size) {
    Log("CreateCubeTarget %u", size);
    if (!cubeTargets || size == 0 || size > caps.maxTextureWidth) return nullptr;
    auto* t = new RecTexture();
    t->width_ = t->height_ = size;
    t->format_ = format::X8R8G8B8;
    t->pool_ = Pool::DEFAULT;
    t->cube_ = t->target_ = true;
    ++liveDefault_;
    textureList_.push_back(t);
    return t;
}
bool RecordingDevice::SetRenderTarget(Texture* cube, uint32_t face) {
    Log("SetRenderTarget %s %u", cube ? "cube" : "back", face);
    if (!cube) {
        target_ = nullptr;
        return true;
    }
    if (!cube->target_ || face > 5 || std::find(textureList_.begin(), textureList_.end(), cube) == textureList_.end())
        return false;
    target_ = cube;
    size_ = cube->width_;
    return true;
}
void RecordingDevice::ReleaseTexture(Texture* texture) {
    auto it = std::find(textureList_.begin(), textureList_.end(), texture);
    if (it == textureList_.end()) return;
    Log("ReleaseTexture");
    if (target_ == texture) target_ = nullptr;
    textureList_.erase(it);
    state_.Unbind(texture);
    if (texture->pool_ == Pool::DEFAULT) --liveDefault_;
    delete texture;
}

void RecordingDevice::SetTexture(uint32_t stage, Texture* texture) {
    Log("SetTexture %u %s", stage, texture ? "texture" : "none");
    state_.SetTexture(stage, texture, stats_);
}
void RecordingDevice::SetStreamSource(uint32_t stream, Buffer* buffer, uint32_t stride) {
    Log("SetStreamSource %u %s %u", stream, buffer ? "buffer" : "none", stride);
    state_.SetStreamSource(stream, buffer, stride, stats_);
}
void RecordingDevice::SetIndices(Buffer* buffer, uint32_t baseVertex) {
    Log("SetIndices %s %u", buffer ? "buffer" : "none", baseVertex);
    state_.SetIndices(buffer, baseVertex, stats_);
}
void RecordingDevice::SetVertexShader(uint32_t handle) {
    Log("SetVertexShader %u", handle);
    state_.SetVertexShader(handle, stats_);
}
uint32_t RecordingDevice::CreateVertexShader(uint32_t fvfCode, const uint32_t* tokens, size_t count) {
    Log("CreateVertexShader %X %zu", fvfCode, count);
    if (!TranslateVs11(tokens, count).ok) return 0;
    const uint32_t h = nextShader_;
    nextShader_ += 2;
    return h;
}
void RecordingDevice::DeleteVertexShader(uint32_t handle) {
    Log("DeleteVertexShader %u", handle);
    if (state_.vsHandle == handle) state_.vsHandle = 0;
}
bool RecordingDevice::SetVertexShaderConstant(uint32_t reg, const float* data, uint32_t count) {
    Log("SetVertexShaderConstant %u %u", reg, count);
    return data && reg < uint32_t(kVsConstants) && count <= uint32_t(kVsConstants) - reg;
}

void RecordingDevice::DrawPrimitive(uint32_t type, uint32_t startVertex, uint32_t primCount) {
    Log("DrawPrimitive %u %u %u", type, startVertex, primCount);
    ++stats_.draws;
}
void RecordingDevice::DrawIndexedPrimitive(uint32_t type, uint32_t minIndex, uint32_t numVertices, uint32_t startIndex,
                                           uint32_t primCount) {
    Log("DrawIndexedPrimitive %u %u %u %u %u", type, minIndex, numVertices, startIndex, primCount);
    ++stats_.draws;
}
void RecordingDevice::DrawPrimitiveUP(uint32_t type, uint32_t primCount, const void* data, uint32_t stride) {
    Log("DrawPrimitiveUP %u %u %u", type, primCount, stride);
    const int n = PrimitiveVertexCount(type, primCount);
    const auto* bytes = static_cast<const uint8_t*>(data);
    if (bytes && n > 0) lastDrawData.assign(bytes, bytes + size_t(n) * stride);
    ++stats_.draws;
}
Result RecordingDevice::ValidateDevice(uint32_t* passes) {
    Log("ValidateDevice");
    if (passes) *passes = validateResult == Result::OK ? 1 : 0;
    return validateResult;
}
bool RecordingDevice::ReadPixels(bool back, int32_t x, int32_t y, int32_t w, int32_t h, uint32_t* out) {
    Log("ReadPixels %d %d %d %d %d", back ? 1 : 0, x, y, w, h);
    if (!out || w <= 0 || h <= 0 || x < 0 || y < 0 || x > width_ - w || y > height_ - h) return false;
    std::fill(out, out + size_t(w) * size_t(h), 0xFF000000u);
    return true;
}

}  // namespace gfx
