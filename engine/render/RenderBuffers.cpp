#include "engine/render/RenderBuffers.h"

#include <cstring>

#include "engine/core/Debugger.h"
#include "platform/gfx/Device.h"

namespace {
uint32_t LockFlags(uint32_t mode) {
    uint32_t f = gfx::lock::NOSYSLOCK;
    if (mode & 1) f |= gfx::lock::DISCARD;
    else if (mode & 2) f |= gfx::lock::NOOVERWRITE;
    return f;
}
bool RangeInside(uint32_t first, uint32_t count, uint32_t capacity) {
    return count > 0 && first < capacity && count <= capacity - first;
}
uint32_t IndexSize(bool index32) { return index32 ? 4 : 2; }

// Runs a call on the device thread for a caller on another thread, which waits for its answer.
template <class Call>
bool AskDeviceThread(Call call) {
    bool done = false;
    RunOnDeviceThread([&] { done = call(); });
    return done;
}

// Drops a buffer's device object, closing its open lock first.
void DropBuffer(gfx::Device& device, gfx::Buffer*& buffer, bool locked) {
    if (buffer) {
        if (locked) device.Unlock(buffer);
        device.ReleaseBuffer(buffer);
    }
    buffer = nullptr;
}

// A static buffer's upload of elements [at, at + n) of `size` bytes: `copy` fills the locked
// range from the system-memory copy.
template <class Copy>
bool UploadElements(gfx::Device& device, gfx::Buffer* buffer, uint32_t at, uint32_t n, uint32_t size, Copy copy) {
    if (!buffer) return false;
    void* p = device.Lock(buffer, at * size, n * size, 0);
    if (!p) return false;
    copy(p);
    device.Unlock(buffer);
    return true;
}
}  // namespace

uint32_t EngineFormatToFvf(uint32_t f) {
    uint32_t out = 0;
    if (f & 1) out |= (f & 2) ? gfx::fvf::XYZRHW : gfx::fvf::XYZ;
    if (f & 4) out |= gfx::fvf::NORMAL;
    if (f & 8) out |= gfx::fvf::DIFFUSE;
    if (f & 16) out |= gfx::fvf::SPECULAR;
    uint32_t sets = (f & 256) ? 4 : (f & 128) ? 3 : (f & 64) ? 2 : (f & 32) ? 1 : 0;
    return out | sets << gfx::fvf::TEXCOUNT_SHIFT;
}

// ---- static vertex buffer ----

StaticVertexBuffer::StaticVertexBuffer(gfx::Device& device, uint32_t formatFlags, uint32_t stride_, uint32_t count_, bool software_)
    : data_(new uint8_t[size_t(stride_) * count_]()), stride(stride_), fvf(EngineFormatToFvf(formatFlags)),
      software(software_), count(count_), device_(device) {}

StaticVertexBuffer::~StaticVertexBuffer() { ReleaseDevice(); }

bool StaticVertexBuffer::Create() {
    ReleaseDevice();
    buffer = device_.CreateVertexBuffer(count * stride, fvf, gfx::Pool::DEFAULT, true);
    return buffer != nullptr;
}

void StaticVertexBuffer::ReleaseDevice() { DropBuffer(device_, buffer, false); }

bool StaticVertexBuffer::Update(uint32_t first, uint32_t n) {
    if (!OnDeviceThread()) return AskDeviceThread([&] { return Update(first, n); });
    const uint32_t at = baseVertex + first;
    if (!RangeInside(at, n, count)) {
        Debugger::Instance().Log(1, "D3D8RENDERFACILITY: Vertex update %u+%u outside %u vertices", first, n, count);
        return false;
    }
    return UploadElements(device_, buffer, at, n, stride,
                          [&](void* p) { memcpy(p, data_.get() + size_t(at) * stride, size_t(n) * stride); });
}

void StaticVertexBuffer::Restore() {
    if (count) Update(0, count - baseVertex);
}

// ---- dynamic vertex buffer ----

DynamicVertexBuffer::DynamicVertexBuffer(gfx::Device& device, uint32_t formatFlags, uint32_t stride_, uint32_t count_, bool software_)
    : count(count_), stride(stride_), fvf(EngineFormatToFvf(formatFlags)), software(software_), device_(device) {}

DynamicVertexBuffer::~DynamicVertexBuffer() { ReleaseDevice(); }

bool DynamicVertexBuffer::Create() {
    ReleaseDevice();
    buffer = device_.CreateVertexBuffer(count * stride, fvf, gfx::Pool::DEFAULT, true);
    return buffer != nullptr;
}

void DynamicVertexBuffer::ReleaseDevice() {
    DropBuffer(device_, buffer, locked != nullptr);
    locked = nullptr;
    lockedCount = 0;
}

void* DynamicVertexBuffer::Lock(uint32_t first, uint32_t n, uint32_t mode) {
    if (!RangeInside(first, n, count)) {
        Debugger::Instance().Log(1, "D3D8RENDERFACILITY: Vertex lock %u+%u outside %u vertices", first, n, count);
        return nullptr;
    }
    if (!buffer || locked) return nullptr;
    locked = static_cast<uint8_t*>(device_.Lock(buffer, first * stride, n * stride, LockFlags(mode)));
    lockedCount = locked ? n : 0;
    return locked;
}

void* DynamicVertexBuffer::VertexAddress(uint32_t i) {
    if (!locked || i >= lockedCount) return nullptr;
    return locked + size_t(stride) * i;
}

void DynamicVertexBuffer::Unlock() {
    if (!locked) return;
    device_.Unlock(buffer);
    locked = nullptr;
    lockedCount = 0;
}

// ---- static index buffer ----

StaticIndexBuffer::StaticIndexBuffer(gfx::Device& device, uint32_t indexCount, bool index32_, bool software_)
    : indices(new uint32_t[indexCount]()), count(indexCount), software(software_), index32(index32_), device_(device) {}

StaticIndexBuffer::~StaticIndexBuffer() { ReleaseDevice(); }

bool StaticIndexBuffer::Create() {
    ReleaseDevice();
    buffer = device_.CreateIndexBuffer(count * IndexSize(index32), index32, gfx::Pool::DEFAULT, false);
    return buffer != nullptr;
}

void StaticIndexBuffer::ReleaseDevice() { DropBuffer(device_, buffer, false); }

bool StaticIndexBuffer::Update(uint32_t first, uint32_t n) {
    if (!OnDeviceThread()) return AskDeviceThread([&] { return Update(first, n); });
    const uint32_t at = baseIndex + first;
    if (!RangeInside(at, n, count)) {
        Debugger::Instance().Log(1, "D3D8RENDERFACILITY: Index update %u+%u outside %u indices", first, n, count);
        return false;
    }
    return UploadElements(device_, buffer, at, n, IndexSize(index32), [&](void* p) {
        const uint32_t* src = indices.get() + at;
        if (index32) {
            memcpy(p, src, size_t(n) * 4);
        } else {
            auto* dst = static_cast<uint16_t*>(p);
            for (uint32_t i = 0; i < n; ++i) dst[i] = uint16_t(src[i]);
        }
    });
}

void StaticIndexBuffer::Restore() {
    if (count) Update(0, count - baseIndex);
}

// ---- dynamic index buffer ----

DynamicIndexBuffer::DynamicIndexBuffer(gfx::Device& device, uint32_t indexCount, bool index32_, bool software_)
    : count(indexCount), software(software_), index32(index32_), device_(device) {}

DynamicIndexBuffer::~DynamicIndexBuffer() { ReleaseDevice(); }

bool DynamicIndexBuffer::Create() {
    ReleaseDevice();
    buffer = device_.CreateIndexBuffer(count * IndexSize(index32), index32, gfx::Pool::DEFAULT, true);
    return buffer != nullptr;
}

void DynamicIndexBuffer::ReleaseDevice() {
    DropBuffer(device_, buffer, locked != nullptr);
    locked = nullptr;
    lockedCount = 0;
    stagedIndex = -1;
}

void* DynamicIndexBuffer::Lock(uint32_t first, uint32_t n, uint32_t mode) {
    if (!RangeInside(first, n, count)) {
        Debugger::Instance().Log(1, "D3D8RENDERFACILITY: Index lock %u+%u outside %u indices", first, n, count);
        return nullptr;
    }
    if (!buffer || locked) return nullptr;
    const uint32_t size = IndexSize(index32);
    locked = static_cast<uint8_t*>(device_.Lock(buffer, first * size, n * size, LockFlags(mode)));
    lockedCount = locked ? n : 0;
    stagedIndex = -1;
    return locked;
}

void DynamicIndexBuffer::Commit() {
    if (stagedIndex >= 0 && locked && uint32_t(stagedIndex) < lockedCount)
        reinterpret_cast<uint16_t*>(locked)[stagedIndex] = uint16_t(staged);
    stagedIndex = -1;
}

uint32_t& DynamicIndexBuffer::IndexRef(uint32_t i) {
    if (!locked || i >= lockedCount) {
        Debugger::Instance().Log(1, "D3D8RENDERFACILITY: Index %u outside the locked range", i);
        return scratch_;
    }
    if (index32) return reinterpret_cast<uint32_t*>(locked)[i];
    Commit();
    stagedIndex = int32_t(i);
    staged = 0;
    return staged;
}

void DynamicIndexBuffer::Unlock() {
    if (!locked) return;
    Commit();
    device_.Unlock(buffer);
    locked = nullptr;
    lockedCount = 0;
}
