#pragma once
// The render facility's texture manager: turns a TextureRecord into a device texture. It picks
// the device format from the formats the device supports, fits the size to the device's
// limits, decides the number of mip levels and uploads every level (decoded, rescaled and
// re-encoded by our own pixel code). Main thread only: the device belongs to it.
#include <cstdint>
#include <vector>

#include "engine/render/TextureTypes.h"

namespace gfx {
class Device;
class Texture;
}  // namespace gfx
class EnvironmentCube;
class D3D8RenderFacility;

// A texture of the manager with its sampling settings. The facility binds `texture` with
// these filters, addresses and mip bias (plus the manager's lodBias and maxMipLevel).
class D3D8Texture {
public:
    D3D8Texture() = default;  // a cube's texture object: bias 0, wrap, no device texture yet
    explicit D3D8Texture(const TextureRecord& record)
        : storedWidth(record.width), storedHeight(record.height), mipBias(record.mipBias - 1.5f),
          addressU(record.wrapU ? 1u : 3u), addressV(record.wrapV ? 1u : 3u) {}

    int32_t storedWidth = 0, storedHeight = 0;  // the image as stored
    int32_t width = 0, height = 0;              // the texture as created
    uint32_t magFilter = 2;                     // linear
    float mipBias = 0.0f;
    uint32_t minFilter = 2;
    uint32_t mipFilter = 2;
    uint32_t addressU = 1;  // 1 wrap, 3 clamp
    uint32_t addressV = 1;
    gfx::Texture* texture = nullptr;
};

// Abstract texture manager of a render facility.
class TextureManager {
public:
    virtual ~TextureManager() = default;
    virtual EnvironmentCube* CreateEnvironmentCube(int32_t size) = 0;
    virtual D3D8Texture* Load(TextureRecord* record) = 0;
    virtual void Release(D3D8Texture* texture) = 0;
};

class D3D8TextureManager : public TextureManager {
public:
    // adapterBitsPerPixel: the display mode's depth (only logged). `supported` overrides the
    // engine formats the device takes (tests); null asks the device layer's fixed list.
    D3D8TextureManager(gfx::Device* device, int32_t adapterBitsPerPixel,
                       const std::vector<int32_t>* supported = nullptr);
    ~D3D8TextureManager() override;
    D3D8TextureManager(const D3D8TextureManager&) = delete;
    D3D8TextureManager& operator=(const D3D8TextureManager&) = delete;

    // A new environment cube of size x size faces, kept (and deleted) by the manager; null
    // without a facility. A cube whose target could not be made is inert (logged).
    EnvironmentCube* CreateEnvironmentCube(int32_t size) override;
    // Around a device reset: the cubes' targets go, then are made again.
    void ReleaseCubes();
    void RestoreCubes();
    // Never null: a texture that could not be created has no device texture and binds as
    // none.
    D3D8Texture* Load(TextureRecord* record) override;
    void Release(D3D8Texture* texture) override;
    // Replaces a texture's pixels in place: `pixels` is an image of the texture's stored size
    // in engine format `format` with rows `pitch` bytes apart. Pixels already in the device's
    // format and size go up as they are; others are converted through the manager's scratch
    // buffers. False when the texture has no device texture or cannot take the format.
    bool UpdatePixels(D3D8Texture* texture, const void* pixels, int32_t pitch, int32_t format);

    // First supported format for a source format, 11 (none) when nothing fits.
    int32_t ChooseFormat(int32_t sourceFormat, bool mayCompress, bool highQuality) const;
    bool IsSupported(int32_t format) const;
    // Mip levels a w x h texture gets from a record of `recordLevels` levels.
    int32_t LevelCount(int32_t width, int32_t height, int32_t recordLevels) const;

    gfx::Device* Device() const { return device_; }
    // The texture-detail setting: the highest-resolution level textures may use, and a bias
    // added to every texture's own. Handed on to the facility, which applies them on binding.
    void SetMaxMipLevel(int32_t level);
    void SetLodBias(float bias);

    D3D8RenderFacility* facility = nullptr;  // the owner, when it is the real facility

    std::vector<int32_t> supportedFormats;
    int32_t maxWidth = 4096;
    int32_t maxHeight = 4096;
    float lodBias = 0.0f;
    int32_t maxMipLevel = 0;
    uint8_t squareOnly = 0;
    uint8_t nonPowerOfTwo = 1;
    uint8_t fullMipChain = 0;
    uint8_t compressionEnabled = 1;
    uint8_t avoidDXT1 = 0;
    // Device texture memory when the manager was made (for the "in use" log line).
    uint32_t memoryAtStart = 0;
    std::vector<D3D8Texture*> textures;
    std::vector<EnvironmentCube*> cubes;

private:
    bool Upload(const TextureRecord& record, D3D8Texture& texture, int32_t destFormat,
                int32_t levels);
    gfx::Device* device_;
    // Scratch buffers reused by every upload.
    std::vector<uint8_t> decoded_, scaled_, encoded_;
};
