#pragma once
// Reader of .ZKT texture files (versions 2 and 1) and of the version-1 pictures that sprites
// are cut from. Every size, count, bits-per-pixel value and level byte count is checked
// against the format and against what is left of the file, so a truncated or lying file is
// rejected with its message and never over-reads or over-allocates.
#include <cstdint>
#include <vector>

#include "engine/render/TextureTypes.h"

namespace zkt {

// Largest width or height a stored level may claim.
constexpr int32_t kMaxDimension = 16384;

// Reads the file named by record.name into the record (format, levels, flags, size).
// maxWidth/maxHeight are the device's limits: oversized version-1 images drop their larger
// stored levels. False (after "%s is not a valid texture" and the like) when rejected; the
// record's levels are then empty.
bool ReadTexture(TextureRecord& record, int32_t maxWidth, int32_t maxHeight);

// A sprite picture: the first stored level of a version-1 file.
struct SpriteImage {
    int32_t width = 0;
    int32_t height = 0;
    int32_t format = kFormatA8R8G8B8;  // A8R8G8B8 or R8G8B8
    int32_t bytesPerPixel = 4;
    bool mayCompress = true;
    bool highQuality = false;
    std::vector<uint8_t> pixels;
};

// False (after "%s is not a valid sprite") for anything but a sound version-1 file.
bool ReadSpriteImage(const SharedString& path, SpriteImage& out);

}  // namespace zkt
