#pragma once
// Geometry buffers of the render facility. All live in the device's default pool, so each one
// can drop its device object before a reset and make it again afterwards (DeviceResource).
// Static buffers keep a system-memory copy the owner writes and uploads by ranges; dynamic
// buffers are written through a lock each time they are used.
#include <cstdint>
#include <functional>
#include <memory>

namespace gfx { class Device; class Buffer; }

// The device belongs to the thread that made the renderer (the main thread). Work that reaches
// it from another thread, such as a game state's loading thread, goes through the engine's
// main-thread task queue; the caller waits for it.
bool OnDeviceThread();
void RunOnDeviceThread(const std::function<void()>& call);

class DeviceResource {
public:
    virtual ~DeviceResource() {}
    virtual bool Create() = 0;       // makes the device object
    virtual void Restore() = 0;      // refills it after a reset
    virtual void ReleaseDevice() = 0;  // drops the device object
};

// The engine's vertex-format word to the device's vertex format.
uint32_t EngineFormatToFvf(uint32_t formatFlags);

// What the geometry renderer draws from, whichever kind of buffer holds the vertices: the
// device buffer (null while it has none), where its vertices start, their stride, device
// format and count.
class VertexBufferObject {
public:
    virtual ~VertexBufferObject() {}
    virtual gfx::Buffer* DrawBuffer() const = 0;
    virtual uint32_t BaseVertex() const = 0;
    virtual uint32_t Stride() const = 0;
    virtual uint32_t Fvf() const = 0;
    virtual uint32_t VertexCount() const = 0;
};

// The same for indices: the device buffer, where its indices start and how many it holds.
class IndexBufferObject {
public:
    virtual ~IndexBufferObject() {}
    virtual gfx::Buffer* DrawBuffer() const = 0;
    virtual uint32_t BaseIndex() const = 0;
    virtual uint32_t IndexCount() const = 0;
};

class StaticVertexBuffer final : public DeviceResource, public VertexBufferObject {
public:
    StaticVertexBuffer(gfx::Device& device, uint32_t formatFlags, uint32_t stride, uint32_t count, bool software);
    ~StaticVertexBuffer() override;
    DeviceResource* GetResource() { return this; }
    // Uploads elements [first, first + count) of `data`; false (logged) outside the buffer.
    bool Update(uint32_t first, uint32_t count);
    bool Create() override;
    void Restore() override;
    void ReleaseDevice() override;

    uint8_t* data() { return data_.get(); }
    uint32_t Count() const { return count; }
    gfx::Buffer* DeviceBuffer() const { return buffer; }

    gfx::Buffer* DrawBuffer() const override { return buffer; }
    uint32_t BaseVertex() const override { return baseVertex; }
    uint32_t Stride() const override { return stride; }
    uint32_t Fvf() const override { return fvf; }
    uint32_t VertexCount() const override { return count; }

    std::unique_ptr<uint8_t[]> data_;
    gfx::Buffer* buffer = nullptr;
    uint32_t baseVertex = 0;
    uint32_t stride;
    uint32_t fvf;
    bool software;
    uint32_t count;

private:
    gfx::Device& device_;
};

class DynamicVertexBuffer final : public DeviceResource, public VertexBufferObject {
public:
    DynamicVertexBuffer(gfx::Device& device, uint32_t formatFlags, uint32_t stride, uint32_t count, bool software);
    ~DynamicVertexBuffer() override;
    DeviceResource* GetResource() { return this; }
    // mode bit 0 discard, else bit 1 no-overwrite. Null (logged) outside the buffer.
    void* Lock(uint32_t first, uint32_t count, uint32_t mode);
    void Unlock();
    // Address of vertex i of the locked range (null when nothing is locked or i lies outside).
    void* VertexAddress(uint32_t i);
    void SetUserValue(int32_t v) { userValue = v; }
    bool Create() override;
    void Restore() override {}
    void ReleaseDevice() override;
    gfx::Buffer* DeviceBuffer() const { return buffer; }

    // Draws start at the vertex the owner keeps in userValue.
    gfx::Buffer* DrawBuffer() const override { return buffer; }
    uint32_t BaseVertex() const override { return uint32_t(userValue); }
    uint32_t Stride() const override { return stride; }
    uint32_t Fvf() const override { return fvf; }
    uint32_t VertexCount() const override { return count; }

    uint32_t count;
    gfx::Buffer* buffer = nullptr;
    int32_t userValue = 0;
    uint32_t stride;
    uint32_t fvf;
    uint8_t* locked = nullptr;
    uint32_t lockedCount = 0;
    bool software;

private:
    gfx::Device& device_;
};

class StaticIndexBuffer final : public DeviceResource, public IndexBufferObject {
public:
    StaticIndexBuffer(gfx::Device& device, uint32_t indexCount, bool index32, bool software);
    ~StaticIndexBuffer() override;
    DeviceResource* GetResource() { return this; }
    bool Update(uint32_t first, uint32_t count);
    bool Create() override;
    void Restore() override;
    void ReleaseDevice() override;
    bool Is32() const { return index32; }
    gfx::Buffer* DeviceBuffer() const { return buffer; }
    gfx::Buffer* DrawBuffer() const override { return buffer; }
    uint32_t BaseIndex() const override { return baseIndex; }
    uint32_t IndexCount() const override { return count; }

    std::unique_ptr<uint32_t[]> indices;
    uint32_t count;
    gfx::Buffer* buffer = nullptr;
    uint32_t baseIndex = 0;
    bool software;
    bool index32;

private:
    gfx::Device& device_;
};

class DynamicIndexBuffer final : public DeviceResource, public IndexBufferObject {
public:
    DynamicIndexBuffer(gfx::Device& device, uint32_t indexCount, bool index32, bool software);
    ~DynamicIndexBuffer() override;
    DeviceResource* GetResource() { return this; }
    void* Lock(uint32_t first, uint32_t count, uint32_t mode);
    // A u32 slot for index i of the locked range. The 16-bit kind stages the value and stores
    // its low 16 bits at the next IndexRef or Unlock. Outside the lock: a scratch slot (logged).
    uint32_t& IndexRef(uint32_t i);
    void Unlock();
    void SetUserValue(int32_t v) { userValue = v; }
    bool Create() override;
    void Restore() override {}
    void ReleaseDevice() override;
    bool Is32() const { return index32; }
    gfx::Buffer* DeviceBuffer() const { return buffer; }
    gfx::Buffer* DrawBuffer() const override { return buffer; }
    uint32_t BaseIndex() const override { return 0; }
    uint32_t IndexCount() const override { return count; }

    uint32_t count;
    gfx::Buffer* buffer = nullptr;
    int32_t userValue = 0;
    uint8_t* locked = nullptr;
    uint32_t lockedCount = 0;
    uint32_t staged = 0;
    int32_t stagedIndex = -1;
    bool software;
    bool index32;

private:
    void Commit();
    gfx::Device& device_;
    uint32_t scratch_ = 0;
};
