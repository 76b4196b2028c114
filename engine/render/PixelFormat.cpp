#include "engine/render/PixelFormat.h"

#include <algorithm>
#include <cstring>

#include "engine/render/TextureTypes.h"

// Both single-header libraries are compiled privately into this file (static linkage), so
// no other library of the program can collide with their symbols.
#define STB_IMAGE_RESIZE_STATIC
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_DXT_STATIC
#define STB_DXT_IMPLEMENTATION
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#include <stb/stb_dxt.h>
#include <stb/stb_image_resize.h>
#pragma GCC diagnostic pop

namespace pixels {
namespace {

inline uint8_t Expand4(uint32_t v) { return uint8_t(v * 17); }
inline uint8_t Expand5(uint32_t v) { return uint8_t((v << 3) | (v >> 2)); }
inline uint8_t Expand6(uint32_t v) { return uint8_t((v << 2) | (v >> 4)); }
inline uint32_t Quant(uint32_t v, uint32_t maxValue) { return (v * maxValue + 127) / 255; }

int32_t BlockBytes(int32_t format) { return format == kFormatDXT1 ? 8 : 16; }

void DecodeColorBlock(const uint8_t* b, bool allowTransparent, uint8_t out[16][4]) {
    const uint32_t c0 = uint32_t(b[0] | (b[1] << 8));
    const uint32_t c1 = uint32_t(b[2] | (b[3] << 8));
    uint8_t pal[4][4];
    auto unpack = [](uint32_t c, uint8_t* p) {
        p[0] = Expand5((c >> 11) & 31);
        p[1] = Expand6((c >> 5) & 63);
        p[2] = Expand5(c & 31);
        p[3] = 255;
    };
    unpack(c0, pal[0]);
    unpack(c1, pal[1]);
    if (c0 > c1 || !allowTransparent) {
        for (int k = 0; k < 3; ++k) {
            pal[2][k] = uint8_t((2 * pal[0][k] + pal[1][k] + 1) / 3);
            pal[3][k] = uint8_t((pal[0][k] + 2 * pal[1][k] + 1) / 3);
        }
        pal[2][3] = pal[3][3] = 255;
    } else {
        for (int k = 0; k < 3; ++k) pal[2][k] = uint8_t((pal[0][k] + pal[1][k]) / 2);
        pal[2][3] = 255;
        pal[3][0] = pal[3][1] = pal[3][2] = pal[3][3] = 0;
    }
    const uint32_t bits = uint32_t(b[4]) | (uint32_t(b[5]) << 8) | (uint32_t(b[6]) << 16) |
                          (uint32_t(b[7]) << 24);
    for (int i = 0; i < 16; ++i) std::memcpy(out[i], pal[(bits >> (2 * i)) & 3], 4);
}

void DecodeBlock(int32_t format, const uint8_t* b, uint8_t out[16][4]) {
    if (format == kFormatDXT1) {
        DecodeColorBlock(b, true, out);
        return;
    }
    DecodeColorBlock(b + 8, false, out);
    if (format == kFormatDXT3) {
        for (int i = 0; i < 16; ++i) out[i][3] = Expand4((b[i / 2] >> ((i & 1) * 4)) & 15);
        return;
    }
    // DXT5: two reference alphas and 3-bit indices.
    const uint32_t a0 = b[0], a1 = b[1];
    uint32_t pal[8] = {a0, a1};
    if (a0 > a1) {
        for (int k = 1; k <= 6; ++k) pal[k + 1] = ((7 - k) * a0 + k * a1 + 3) / 7;
    } else {
        for (int k = 1; k <= 4; ++k) pal[k + 1] = ((5 - k) * a0 + k * a1 + 2) / 5;
        pal[6] = 0;
        pal[7] = 255;
    }
    uint64_t bits = 0;
    for (int k = 0; k < 6; ++k) bits |= uint64_t(b[2 + k]) << (8 * k);
    for (int i = 0; i < 16; ++i) out[i][3] = uint8_t(pal[(bits >> (3 * i)) & 7]);
}

}  // namespace

bool IsCompressed(int32_t format) {
    return format == kFormatDXT1 || format == kFormatDXT3 || format == kFormatDXT5;
}

int32_t RowPitch(int32_t format, int32_t width) {
    if (width <= 0) return 0;
    switch (format) {
    case kFormatA8R8G8B8:
    case kFormatX8R8G8B8: return width * 4;
    case kFormatR8G8B8: return width * 3;
    case kFormatA4R4G4B4:
    case kFormatA1R5G5B5:
    case kFormatR5G6B5:
    case kFormatA8P8: return width * 2;
    case kFormatP8: return width;
    case kFormatDXT1:
    case kFormatDXT3:
    case kFormatDXT5: return ((width + 3) / 4) * BlockBytes(format);
    default: return 0;
    }
}

int64_t LevelBytes(int32_t format, int32_t width, int32_t height) {
    if (width <= 0 || height <= 0 || width > 65536 || height > 65536) return -1;
    const int64_t pitch = RowPitch(format, width);
    if (pitch == 0) return -1;
    const int64_t rows = IsCompressed(format) ? (height + 3) / 4 : height;
    return pitch * rows;
}

bool DecodeToRGBA(int32_t format, const uint8_t* src, int32_t pitch, int32_t width,
                  int32_t height, std::vector<uint8_t>& out) {
    if (width <= 0 || height <= 0) {
        out.clear();
        return true;
    }
    out.resize(size_t(width) * size_t(height) * 4);
    if (IsCompressed(format)) {
        const int32_t bb = BlockBytes(format);
        uint8_t block[16][4];
        for (int32_t by = 0; by < (height + 3) / 4; ++by) {
            for (int32_t bx = 0; bx < (width + 3) / 4; ++bx) {
                DecodeBlock(format, src + size_t(by) * size_t(pitch) + size_t(bx) * size_t(bb), block);
                for (int32_t i = 0; i < 16; ++i) {
                    const int32_t x = bx * 4 + (i & 3), y = by * 4 + (i >> 2);
                    if (x < width && y < height)
                        std::memcpy(&out[(size_t(y) * size_t(width) + size_t(x)) * 4], block[i], 4);
                }
            }
        }
        return true;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* s = src + size_t(y) * size_t(pitch);
        uint8_t* d = &out[size_t(y) * size_t(width) * 4];
        for (int32_t x = 0; x < width; ++x, d += 4) {
            switch (format) {
            case kFormatA8R8G8B8:
                d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = s[3];
                s += 4;
                break;
            case kFormatX8R8G8B8:
                d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = 255;
                s += 4;
                break;
            case kFormatR8G8B8:
                d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = 255;
                s += 3;
                break;
            case kFormatA4R4G4B4: {
                const uint32_t w = uint32_t(s[0] | (s[1] << 8));
                d[0] = Expand4((w >> 8) & 15); d[1] = Expand4((w >> 4) & 15);
                d[2] = Expand4(w & 15); d[3] = Expand4(w >> 12);
                s += 2;
                break;
            }
            case kFormatA1R5G5B5: {
                const uint32_t w = uint32_t(s[0] | (s[1] << 8));
                d[0] = Expand5((w >> 10) & 31); d[1] = Expand5((w >> 5) & 31);
                d[2] = Expand5(w & 31); d[3] = (w & 0x8000) ? 255 : 0;
                s += 2;
                break;
            }
            case kFormatR5G6B5: {
                const uint32_t w = uint32_t(s[0] | (s[1] << 8));
                d[0] = Expand5(w >> 11); d[1] = Expand6((w >> 5) & 63);
                d[2] = Expand5(w & 31); d[3] = 255;
                s += 2;
                break;
            }
            default: return false;
            }
        }
    }
    return true;
}

void ResizeRGBA(const uint8_t* src, int32_t srcW, int32_t srcH, uint8_t* dst, int32_t dstW,
                int32_t dstH) {
    if (srcW == dstW && srcH == dstH) {
        std::memcpy(dst, src, size_t(srcW) * size_t(srcH) * 4);
        return;
    }
    stbir_resize_uint8_generic(src, srcW, srcH, srcW * 4, dst, dstW, dstH, dstW * 4, 4,
                               STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP,
                               STBIR_FILTER_TRIANGLE, STBIR_COLORSPACE_LINEAR, nullptr);
}

bool EncodeFromRGBA(int32_t format, const uint8_t* rgba, int32_t width, int32_t height,
                    std::vector<uint8_t>& out, bool highQuality) {
    const int64_t bytes = LevelBytes(format, width, height);
    if (bytes < 0) return false;
    out.resize(size_t(bytes));
    const int32_t pitch = RowPitch(format, width);
    if (IsCompressed(format)) {
        const int32_t bb = BlockBytes(format);
        const int mode = highQuality ? STB_DXT_HIGHQUAL : STB_DXT_NORMAL;
        uint8_t block[16][4];
        for (int32_t by = 0; by < (height + 3) / 4; ++by) {
            for (int32_t bx = 0; bx < (width + 3) / 4; ++bx) {
                // Blocks past the edge repeat the last row and column.
                for (int32_t i = 0; i < 16; ++i) {
                    const int32_t x = std::min(bx * 4 + (i & 3), width - 1);
                    const int32_t y = std::min(by * 4 + (i >> 2), height - 1);
                    std::memcpy(block[i], rgba + (size_t(y) * size_t(width) + size_t(x)) * 4, 4);
                }
                uint8_t* d = &out[size_t(by) * size_t(pitch) + size_t(bx) * size_t(bb)];
                if (format == kFormatDXT1) {
                    stb_compress_dxt_block(d, &block[0][0], 0, mode);
                } else if (format == kFormatDXT5) {
                    stb_compress_dxt_block(d, &block[0][0], 1, mode);
                } else {
                    for (int32_t i = 0; i < 8; ++i)
                        d[i] = uint8_t(Quant(block[2 * i][3], 15) | (Quant(block[2 * i + 1][3], 15) << 4));
                    stb_compress_dxt_block(d + 8, &block[0][0], 0, mode);
                }
            }
        }
        return true;
    }
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* s = rgba + size_t(y) * size_t(width) * 4;
        uint8_t* d = &out[size_t(y) * size_t(pitch)];
        for (int32_t x = 0; x < width; ++x, s += 4) {
            switch (format) {
            case kFormatA8R8G8B8:
                d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = s[3];
                d += 4;
                break;
            case kFormatX8R8G8B8:
                d[0] = s[2]; d[1] = s[1]; d[2] = s[0]; d[3] = 255;
                d += 4;
                break;
            case kFormatR8G8B8:
                d[0] = s[2]; d[1] = s[1]; d[2] = s[0];
                d += 3;
                break;
            case kFormatA4R4G4B4: {
                const uint32_t w = (Quant(s[3], 15) << 12) | (Quant(s[0], 15) << 8) |
                                   (Quant(s[1], 15) << 4) | Quant(s[2], 15);
                d[0] = uint8_t(w); d[1] = uint8_t(w >> 8);
                d += 2;
                break;
            }
            case kFormatA1R5G5B5: {
                const uint32_t w = (s[3] >= 128 ? 0x8000u : 0u) | (Quant(s[0], 31) << 10) |
                                   (Quant(s[1], 31) << 5) | Quant(s[2], 31);
                d[0] = uint8_t(w); d[1] = uint8_t(w >> 8);
                d += 2;
                break;
            }
            case kFormatR5G6B5: {
                const uint32_t w = (Quant(s[0], 31) << 11) | (Quant(s[1], 63) << 5) | Quant(s[2], 31);
                d[0] = uint8_t(w); d[1] = uint8_t(w >> 8);
                d += 2;
                break;
            }
            default: return false;
            }
        }
    }
    return true;
}

}  // namespace pixels
