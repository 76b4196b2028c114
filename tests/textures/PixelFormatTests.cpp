// Pixel layouts, pitches, quantisation, DXT decoding and rescaling of the texture manager.
#include <gtest/gtest.h>

#include <cstdlib>

#include "engine/render/PixelFormat.h"
#include "engine/render/TextureTypes.h"

TEST(PixelFormat, PitchesAndLevelSizes) {
    struct Row {
        int32_t format, width, pitch;
    } rows[] = {
        {kFormatA8R8G8B8, 3, 12}, {kFormatX8R8G8B8, 3, 12}, {kFormatR8G8B8, 3, 9},
        {kFormatR5G6B5, 3, 6},    {kFormatA4R4G4B4, 5, 10}, {kFormatDXT1, 1, 8},
        {kFormatDXT1, 2, 8},      {kFormatDXT1, 5, 16},     {kFormatDXT3, 2, 16},
        {kFormatDXT5, 8, 32},     {kFormatNone, 4, 0},
    };
    for (const Row& r : rows) EXPECT_EQ(pixels::RowPitch(r.format, r.width), r.pitch) << r.format;
    EXPECT_EQ(pixels::LevelBytes(kFormatDXT1, 1, 1), 8);
    EXPECT_EQ(pixels::LevelBytes(kFormatDXT5, 5, 5), 64);
    EXPECT_EQ(pixels::LevelBytes(kFormatR8G8B8, 2, 3), 18);
    EXPECT_EQ(pixels::LevelBytes(kFormatA8R8G8B8, 0, 3), -1);
    EXPECT_EQ(pixels::LevelBytes(kFormatP8 + 100, 1, 1), -1);
}

TEST(PixelFormat, UncompressedLayoutsRoundTripAndQuantise) {
    // RGBA 10,200,77,128 through every layout.
    const uint8_t rgba[4] = {10, 200, 77, 128};
    struct Row {
        int32_t format;
        std::vector<uint8_t> stored;
        uint8_t back[4];
    } rows[] = {
        {kFormatA8R8G8B8, {77, 200, 10, 128}, {10, 200, 77, 128}},
        {kFormatX8R8G8B8, {77, 200, 10, 255}, {10, 200, 77, 255}},
        {kFormatR8G8B8, {77, 200, 10}, {10, 200, 77, 255}},
        // R5G6B5: r 10 -> 1, g 200 -> 49, b 77 -> 9: 0x0E29
        {kFormatR5G6B5, {0x29, 0x0E}, {8, 199, 74, 255}},
        // A4R4G4B4: a 8, r 1, g 12, b 5: 0x81C5
        {kFormatA4R4G4B4, {0xC5, 0x81}, {17, 204, 85, 136}},
        // A1R5G5B5: a 1, r 1, g 24, b 9: 0x8709
        {kFormatA1R5G5B5, {0x09, 0x87}, {8, 198, 74, 255}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.format);
        std::vector<uint8_t> stored, back;
        ASSERT_TRUE(pixels::EncodeFromRGBA(r.format, rgba, 1, 1, stored));
        EXPECT_EQ(stored, r.stored);
        ASSERT_TRUE(pixels::DecodeToRGBA(r.format, stored.data(), int32_t(stored.size()), 1, 1, back));
        EXPECT_EQ(back, std::vector<uint8_t>(r.back, r.back + 4));
    }
    std::vector<uint8_t> out;
    EXPECT_FALSE(pixels::DecodeToRGBA(kFormatP8, rgba, 1, 1, 1, out));
}

TEST(PixelFormat, DxtBlocksDecodeAndEncode) {
    // c0 = pure red (0xF800), c1 = pure blue (0x001F): c0 > c1, four colours; indices per row
    // 0, 1, 2, 3.
    const uint8_t dxt1[8] = {0x00, 0xF8, 0x1F, 0x00, 0xE4, 0xE4, 0xE4, 0xE4};
    std::vector<uint8_t> out;
    ASSERT_TRUE(pixels::DecodeToRGBA(kFormatDXT1, dxt1, 8, 4, 4, out));
    const uint8_t expect[4][4] = {{255, 0, 0, 255}, {0, 0, 255, 255}, {170, 0, 85, 255}, {85, 0, 170, 255}};
    for (int x = 0; x < 4; ++x)
        for (int k = 0; k < 4; ++k) EXPECT_EQ(out[size_t(4 * 4 * 2 + x * 4 + k)], expect[x][k]) << x;
    // c0 <= c1: index 3 is transparent black.
    const uint8_t punch[8] = {0x1F, 0x00, 0x00, 0xF8, 0xFF, 0xFF, 0xFF, 0xFF};
    ASSERT_TRUE(pixels::DecodeToRGBA(kFormatDXT1, punch, 8, 2, 2, out));
    ASSERT_EQ(out.size(), 16u);
    EXPECT_EQ(out[3], 0);

    // Encoding a flat colour with alpha and decoding again stays close, for every DXT format
    // and for a level smaller than one block.
    for (int32_t format : {kFormatDXT1, kFormatDXT3, kFormatDXT5}) {
        for (int size : {1, 6}) {
            std::vector<uint8_t> rgba(size_t(size * size * 4));
            for (size_t i = 0; i < rgba.size(); i += 4) {
                rgba[i] = 200; rgba[i + 1] = 100; rgba[i + 2] = 40; rgba[i + 3] = 136;
            }
            std::vector<uint8_t> enc, dec;
            ASSERT_TRUE(pixels::EncodeFromRGBA(format, rgba.data(), size, size, enc));
            EXPECT_EQ(int64_t(enc.size()), pixels::LevelBytes(format, size, size));
            ASSERT_TRUE(pixels::DecodeToRGBA(format, enc.data(), pixels::RowPitch(format, size), size, size, dec));
            for (size_t i = 0; i < dec.size(); ++i) {
                const int want = (i % 4 == 3 && format == kFormatDXT1) ? 255 : rgba[i];
                EXPECT_LE(std::abs(int(dec[i]) - want), 8) << format << " " << i;
            }
        }
    }
}

TEST(PixelFormat, ResizeCopiesAtSameSizeAndFiltersDown) {
    std::vector<uint8_t> src(4 * 4 * 4);
    for (size_t i = 0; i < src.size(); ++i) src[i] = uint8_t(i * 7);
    std::vector<uint8_t> same(src.size());
    pixels::ResizeRGBA(src.data(), 4, 4, same.data(), 4, 4);
    EXPECT_EQ(same, src);
    // A flat picture stays flat at any size; a 2x1 black/white pair averages to grey at 1x1.
    std::vector<uint8_t> flat(8 * 8 * 4, 90), small(3 * 5 * 4);
    pixels::ResizeRGBA(flat.data(), 8, 8, small.data(), 3, 5);
    for (uint8_t v : small) EXPECT_NEAR(v, 90, 1);
    const uint8_t pair[8] = {0, 0, 0, 0, 255, 255, 255, 255};
    uint8_t one[4];
    pixels::ResizeRGBA(pair, 2, 1, one, 1, 1);
    for (uint8_t v : one) EXPECT_NEAR(v, 128, 2);
}
