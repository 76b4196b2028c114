#pragma once
// Writer of .ZKT texture files (version 2 with format blocks, and the older version 1 that
// sprites use), shared by the demo-tree generator and the tests. The byte images are built
// in memory first, so tests can truncate or alter them before writing.
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"

namespace tools {

struct ZktLevel {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
    int32_t byteCount = -1;  // stored byte count; -1 writes pixels.size()
};

// Version-2 format codes: 0 A8R8G8B8, 5 R8G8B8, 8 DXT1, 9 DXT3, 10 DXT5.
struct ZktBlock {
    uint8_t code = 0;
    std::vector<ZktLevel> levels;
};

struct ZktTexture {
    uint32_t frameCount = 1;
    float mipBias = 0.0f;
    uint8_t mayCompress = 0;
    uint8_t highQuality = 1;
    uint8_t wrapU = 1;
    uint8_t wrapV = 1;
    int32_t width = 0;
    int32_t height = 0;
    std::vector<ZktBlock> blocks;
};

// Version 1: raw levels one after the other, each half the size of the one before.
struct ZktPicture {
    int32_t width = 0;
    int32_t height = 0;
    int8_t bitsPerPixel = 32;
    uint8_t flags = 0;  // 0x01 use the stored levels, 0x08 do not compress, 0x10 high quality
    int8_t levelCount = 1;
    std::vector<uint8_t> pixels;  // every stored level, largest first
};

std::vector<uint8_t> ZktBytes(const ZktTexture& texture);
std::vector<uint8_t> ZktBytes(const ZktPicture& picture);
bool WriteFileBytes(const SharedString& path, const std::vector<uint8_t>& bytes);
bool WriteZkt(const SharedString& path, const ZktTexture& texture);
bool WriteZkt(const SharedString& path, const ZktPicture& picture);

// A8R8G8B8 pixels (bytes B, G, R, A) from 0xAARRGGBB words, row by row.
std::vector<uint8_t> PixelsFromArgb(const std::vector<uint32_t>& argb);
// A version-2 texture of one A8R8G8B8 level from 0xAARRGGBB words.
ZktTexture ArgbTexture(int32_t width, int32_t height, const std::vector<uint32_t>& argb);
// A picture the game loads with the flip option (menu and loading-screen pictures), from
// 0xAARRGGBB words top row first: a version-2 texture stored bottom row first, never compressed.
ZktTexture FlippedPicture(int32_t width, int32_t height, const std::vector<uint32_t>& topRowFirst);
// A version-1 32-bit picture of one level from 0xAARRGGBB words.
ZktPicture ArgbPicture(int32_t width, int32_t height, const std::vector<uint32_t>& argb);

} // namespace tools
