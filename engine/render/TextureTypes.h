#pragma once
// Texture objects shared between the factories, the loaders and the renderers.
//
// A TextureHandle is what callers hold: one pointer to a shared, reference-counted Texture.
// Every caller owns its own handle; releasing a handle drops one reference and never frees a
// texture that another handle still holds. The device texture itself (D3D8Texture) belongs
// to the texture manager.
#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/core/Memory.h"
#include "engine/core/SharedString.h"

class D3D8Texture;
class TextureHandle;

// Shared texture object. A new object carries one reference, owned by whoever made it.
class Texture {
public:
    Texture() = default;
    Texture(const Texture&) = delete;
    Texture& operator=(const Texture&) = delete;

    // The object another handle may hold (one more reference on this object).
    virtual Texture* Share() {
        refs_.fetch_add(1, std::memory_order_relaxed);
        return this;
    }
    // Drops one reference; the object deletes itself at zero.
    void Release() {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }
    int32_t RefCount() const { return refs_.load(std::memory_order_relaxed); }
    // The device texture behind this object (null when it has none).
    virtual D3D8Texture* DeviceTexture() const = 0;

protected:
    virtual ~Texture() = default;

private:
    std::atomic<int32_t> refs_{1};
};

// The only kind of texture object: a reference to a texture of the texture manager.
class TextureRef final : public Texture {
public:
    explicit TextureRef(D3D8Texture* texture) : texture_(texture) {}
    D3D8Texture* DeviceTexture() const override { return texture_; }

private:
    D3D8Texture* texture_;
};

class TextureHandle {
public:
    TextureHandle() = default;
    // Takes over one reference of `texture`.
    explicit TextureHandle(Texture* texture) : texture_(texture) {}
    ~TextureHandle() { Set(nullptr); }
    TextureHandle(const TextureHandle&) = delete;
    TextureHandle& operator=(const TextureHandle&) = delete;

    // Gives the handle an object (taking over one reference); the old one is released first.
    void Set(Texture* texture) {
        if (texture_) texture_->Release();
        texture_ = texture;
    }
    // A new handle on the same object (null object: an empty handle).
    TextureHandle* Share() const { return new TextureHandle(texture_ ? texture_->Share() : nullptr); }
    Texture* Get() const { return texture_; }
    bool IsEmpty() const { return texture_ == nullptr; }
    D3D8Texture* DeviceTexture() const { return texture_ ? texture_->DeviceTexture() : nullptr; }

private:
    Texture* texture_ = nullptr;
};

// One stored image level: width x height pixels in the record's format.
struct TextureLevel {
    int32_t width = 0;
    int32_t height = 0;
    TrackedVector<uint8_t> pixels;
};

// Option bits of a texture request.
enum : uint32_t { kTextureFlipRows = 1, kTextureClamp = 2 };

// A load request and the loader's output.
struct TextureRecord {
    SharedString name = "Invalid texture";
    TextureHandle* target = nullptr;
    float mipBias = 0.0f;
    int32_t format = 0;
    uint8_t mayCompress = 0;
    uint8_t highQuality = 0;
    uint8_t wrapU = 0;
    uint8_t wrapV = 0;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<TextureLevel> levels;  // largest first
    uint32_t options = 0;
};

// Engine texture formats.
enum TextureFormat : int32_t {
    kFormatA8R8G8B8 = 0, kFormatA4R4G4B4, kFormatA8P8, kFormatA1R5G5B5, kFormatR8G8B8,
    kFormatR5G6B5, kFormatP8, kFormatDXT1, kFormatDXT3, kFormatDXT5, kFormatX8R8G8B8,
    kFormatNone
};
