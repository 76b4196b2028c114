#pragma once
// Pixel layouts of the engine texture formats and the conversions the texture manager needs:
// decode any source layout to RGBA, rescale with a tent filter, encode into the destination
// layout. Our own code, so results never depend on the graphics driver.
//
// Layouts are those of the engine formats in memory (little-endian words):
//   A8R8G8B8 / X8R8G8B8: bytes B, G, R, A;  R8G8B8: bytes B, G, R;
//   A4R4G4B4, A1R5G5B5, R5G6B5: 16-bit words, alpha/red in the high bits;
//   DXT1/3/5: 4x4 blocks of 8/16/16 bytes, rows of blocks top first.
// The RGBA buffers used between the steps are 4 bytes per pixel in the order R, G, B, A.
#include <cstdint>
#include <vector>

namespace pixels {

bool IsCompressed(int32_t format);
// Bytes of one row of pixels (one row of 4x4 blocks for DXT); 0 for unsupported formats.
// Right for every width, also for DXT levels narrower than a block.
int32_t RowPitch(int32_t format, int32_t width);
// Bytes of a whole w x h level; -1 for unsupported formats or sizes outside 1..65536.
int64_t LevelBytes(int32_t format, int32_t width, int32_t height);

// Decodes w x h pixels of `format` (rows `pitch` bytes apart) to RGBA. False for formats
// without a decoder (palettes, none); `out` is resized to w * h * 4.
bool DecodeToRGBA(int32_t format, const uint8_t* src, int32_t pitch, int32_t width,
                  int32_t height, std::vector<uint8_t>& out);
// Rescales RGBA with a tent (triangle) filter, channels independent, edges clamped. Same size
// copies.
void ResizeRGBA(const uint8_t* src, int32_t srcW, int32_t srcH, uint8_t* dst, int32_t dstW,
                int32_t dstH);
// Encodes RGBA into `format` with the pitch of RowPitch. False for formats without an encoder.
bool EncodeFromRGBA(int32_t format, const uint8_t* rgba, int32_t width, int32_t height,
                    std::vector<uint8_t>& out, bool highQuality = false);

}  // namespace pixels
