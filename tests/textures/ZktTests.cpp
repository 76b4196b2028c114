// .ZKT reading: the accepted layouts of both versions, and rejection of short, truncated and
// lying files with the user-visible messages.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "engine/render/ZktFormat.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/ZktWriter.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

// A texture level's bytes as a plain vector, to compare with what the writers make.
std::vector<uint8_t> Plain(const TrackedVector<uint8_t>& bytes) { return {bytes.begin(), bytes.end()}; }

std::vector<uint32_t> Ramp(int n, uint32_t base = 0xFF000000u) {
    std::vector<uint32_t> v;
    for (int i = 0; i < n; ++i) v.push_back(base | uint32_t(i * 0x010203));
    return v;
}

bool Read(const std::string& path, TextureRecord& r, int32_t maxW = 4096, int32_t maxH = 4096) {
    r.name = path.c_str();
    return zkt::ReadTexture(r, maxW, maxH);
}

void Put32At(std::vector<uint8_t>& bytes, size_t offset, uint32_t v) {
    for (int i = 0; i < 4; ++i) bytes[offset + size_t(i)] = uint8_t(v >> (8 * i));
}

tools::ZktPicture ThreeLevelPicture() {
    // 8x4, 4x2, 2x1: each level filled with its own index.
    tools::ZktPicture p;
    p.width = 8;
    p.height = 4;
    p.levelCount = 3;
    for (int level = 0, w = 8, h = 4; level < 3; ++level, w /= 2, h /= 2)
        p.pixels.insert(p.pixels.end(), size_t(w * h * 4), uint8_t(level + 1));
    return p;
}

} // namespace

TEST(ZktReader, Version2KeepsFieldsAndTheLastAcceptedBlockWins) {
    TempWorkDir dir;
    LogCapture log;
    tools::ZktTexture t = tools::ArgbTexture(4, 2, Ramp(8));
    t.mipBias = 0.25f;
    t.mayCompress = 7;  // any non-zero byte reads as 1
    t.wrapU = 0;
    // A DXT1 block before the final one, and an unknown code (3) that ends its block at once.
    tools::ZktBlock dxt{8, {{4, 4, std::vector<uint8_t>(8, 0x11), -1}}};
    t.blocks.insert(t.blocks.begin(), dxt);
    std::vector<uint8_t> bytes = tools::ZktBytes(t);
    // Insert a lone byte 3 just before the last block's code and count it as a block.
    const size_t lastBlock = bytes.size() - (1 + 4 + 12 + 32);
    bytes.insert(bytes.begin() + long(lastBlock), uint8_t(3));
    Put32At(bytes, 27, 3);
    ASSERT_TRUE(tools::WriteFileBytes("a.zkt", bytes));

    TextureRecord r;
    ASSERT_TRUE(Read("a.zkt", r));
    EXPECT_EQ(r.format, kFormatA8R8G8B8);
    EXPECT_FLOAT_EQ(r.mipBias, 0.25f);
    EXPECT_EQ(r.mayCompress, 1);
    EXPECT_EQ(r.highQuality, 1);
    EXPECT_EQ(r.wrapU, 0);
    EXPECT_EQ(r.wrapV, 1);
    EXPECT_EQ(r.width, 4);
    EXPECT_EQ(r.height, 2);
    ASSERT_EQ(r.levels.size(), 1u);
    EXPECT_EQ(Plain(r.levels[0].pixels), tools::PixelsFromArgb(Ramp(8)));
    EXPECT_FALSE(log.Contains("obsolete"));
}

TEST(ZktReader, SmallDxtLevelsNeedOneWholeBlock) {
    TempWorkDir dir;
    // 2x2 and 1x1 DXT1 levels are one 8-byte block each; DXT5 blocks are 16 bytes.
    tools::ZktTexture t;
    t.width = t.height = 2;
    t.blocks.push_back({8, {{2, 2, std::vector<uint8_t>(8, 1), -1}, {1, 1, std::vector<uint8_t>(8, 2), -1}}});
    tools::WriteZkt("dxt1.zkt", t);
    t.blocks[0] = {10, {{6, 5, std::vector<uint8_t>(4 * 16, 3), -1}}};
    tools::WriteZkt("dxt5.zkt", t);
    t.blocks[0] = {8, {{2, 2, std::vector<uint8_t>(4, 1), -1}}};  // too few bytes
    tools::WriteZkt("short.zkt", t);
    TextureRecord a, b, c;
    LogCapture log;
    ASSERT_TRUE(Read("dxt1.zkt", a));
    EXPECT_EQ(a.format, kFormatDXT1);
    ASSERT_EQ(a.levels.size(), 2u);
    EXPECT_EQ(a.levels[1].pixels.size(), 8u);
    ASSERT_TRUE(Read("dxt5.zkt", b));
    EXPECT_EQ(b.format, kFormatDXT5);
    EXPECT_FALSE(Read("short.zkt", c));
    EXPECT_TRUE(log.Contains("short.zkt is not a valid texture"));
}

TEST(ZktReader, Version1LevelsFlagsFlipAndClamp) {
    TempWorkDir dir;
    tools::ZktPicture p = ThreeLevelPicture();
    tools::WriteZkt("one.zkt", p);
    p.flags = 0x01 | 0x10;
    tools::WriteZkt("all.zkt", p);
    LogCapture log;

    TextureRecord one;
    ASSERT_TRUE(Read("one.zkt", one));
    EXPECT_TRUE(log.Contains("one.zkt is obsolete"));
    EXPECT_EQ(one.levels.size(), 1u);
    EXPECT_EQ(one.mayCompress, 1);
    EXPECT_EQ(one.highQuality, 0);
    EXPECT_EQ(one.wrapU, 1);

    TextureRecord all;
    all.options = kTextureClamp;
    ASSERT_TRUE(Read("all.zkt", all));
    ASSERT_EQ(all.levels.size(), 3u);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(all.levels[size_t(i)].width, 8 >> i);
        EXPECT_EQ(all.levels[size_t(i)].height, 4 >> i);
        EXPECT_EQ(all.levels[size_t(i)].pixels[0], i + 1);
    }
    EXPECT_EQ(all.highQuality, 1);
    EXPECT_EQ(all.wrapU, 0);
    EXPECT_EQ(all.wrapV, 0);
    EXPECT_EQ(all.format, kFormatA8R8G8B8);

    // A device of at most 4 pixels drops the stored 8x4 level.
    TextureRecord small;
    ASSERT_TRUE(Read("all.zkt", small, 4, 4));
    ASSERT_EQ(small.levels.size(), 2u);
    EXPECT_EQ(small.levels[0].width, 4);
    EXPECT_EQ(small.levels[0].pixels[0], 2);

    // Flip turns the rows upside down; 24-bit pictures read as R8G8B8.
    tools::ZktPicture rows;
    rows.width = 1;
    rows.height = 3;
    rows.bitsPerPixel = 24;
    rows.pixels = {1, 1, 1, 2, 2, 2, 3, 3, 3};
    tools::WriteZkt("rows.zkt", rows);
    TextureRecord flipped;
    flipped.options = kTextureFlipRows;
    ASSERT_TRUE(Read("rows.zkt", flipped));
    EXPECT_EQ(flipped.format, kFormatR8G8B8);
    EXPECT_EQ(Plain(flipped.levels[0].pixels), (std::vector<uint8_t>{3, 3, 3, 2, 2, 2, 1, 1, 1}));
}

TEST(ZktReader, BadFilesAreRejectedWithTheirMessages) {
    TempWorkDir dir;
    const std::vector<uint8_t> good = tools::ZktBytes(tools::ArgbTexture(2, 2, Ramp(4)));
    const std::vector<uint8_t> goodV1 = tools::ZktBytes(ThreeLevelPicture());
    auto with = [](std::vector<uint8_t> b, size_t at, uint32_t v) {
        Put32At(b, at, v);
        return b;
    };
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    };
    std::vector<uint8_t> v3 = good;
    Put32At(v3, 3, 3);
    std::vector<uint8_t> badMagic = good;
    badMagic[2] = '3';
    std::vector<uint8_t> v1Bpp = goodV1;
    v1Bpp[15] = 8;
    const Case cases[] = {
        {"nine bytes", std::vector<uint8_t>(good.begin(), good.begin() + 9), "is not a valid texture"},
        {"wrong magic", badMagic, "is not a valid texture"},
        {"version 3", v3, "is obsolete"},
        {"two frames", with(good, 7, 2), "Multiframe texture"},
        {"negative width", with(good, 19, uint32_t(-4)), "is not a valid texture"},
        {"huge block count", with(good, 27, 0x7FFFFFFF), "is not a valid texture"},
        {"huge level count", with(good, 32, 0x10000000), "is not a valid texture"},
        {"level wider than the file", with(good, 36, 0x4000), "is not a valid texture"},
        {"byte count past the end", with(good, 44, 1000), "is not a valid texture"},
        {"byte count below the level", with(good, 44, 15), "is not a valid texture"},
        {"negative byte count", with(good, 44, 0x80000000u), "is not a valid texture"},
        {"v1 8 bits per pixel", v1Bpp, "is not a valid texture"},
        {"v1 huge height", with(goodV1, 11, 0x7FFFFFFF), "is not a valid texture"},
        {"v1 wider than stored", with(goodV1, 7, 16), "is not a valid texture"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tools::WriteFileBytes("bad.zkt", c.bytes);
        LogCapture log;
        TextureRecord r;
        EXPECT_FALSE(Read("bad.zkt", r));
        EXPECT_TRUE(r.levels.empty());
        EXPECT_TRUE(log.Contains(c.message));
    }
    // Version 3 is obsolete and then invalid.
    {
        tools::WriteFileBytes("v3.zkt", v3);
        LogCapture log;
        TextureRecord r;
        EXPECT_FALSE(Read("v3.zkt", r));
        EXPECT_TRUE(log.Contains("v3.zkt is not a valid texture"));
    }
    // Every truncation of a good file of either version is refused cleanly.
    for (const auto* file : {&good, &goodV1}) {
        for (size_t n = 0; n < file->size(); ++n) {
            tools::WriteFileBytes("cut.zkt", std::vector<uint8_t>(file->begin(), file->begin() + long(n)));
            LogCapture log;
            TextureRecord r;
            EXPECT_FALSE(Read("cut.zkt", r)) << "length " << n;
        }
    }
    // A missing file too.
    LogCapture log;
    TextureRecord r;
    EXPECT_FALSE(Read("nothing.zkt", r));
    EXPECT_TRUE(log.Contains("nothing.zkt is not a valid texture"));
}

TEST(ZktReader, SpritePicturesAreVersion1Only) {
    TempWorkDir dir;
    tools::WriteZkt("pic.zkt", tools::ArgbPicture(3, 2, Ramp(6)));
    tools::WriteZkt("v2.zkt", tools::ArgbTexture(3, 2, Ramp(6)));
    std::vector<uint8_t> cut = tools::ZktBytes(tools::ArgbPicture(3, 2, Ramp(6)));
    cut.resize(cut.size() - 1);
    tools::WriteFileBytes("cut.zkt", cut);
    LogCapture log;
    zkt::SpriteImage img;
    ASSERT_TRUE(zkt::ReadSpriteImage("pic.zkt", img));
    EXPECT_EQ(img.width, 3);
    EXPECT_EQ(img.height, 2);
    EXPECT_EQ(img.format, kFormatA8R8G8B8);
    EXPECT_EQ(img.pixels, tools::PixelsFromArgb(Ramp(6)));
    EXPECT_FALSE(zkt::ReadSpriteImage("v2.zkt", img));
    EXPECT_TRUE(log.Contains("v2.zkt is not a valid sprite"));
    EXPECT_FALSE(zkt::ReadSpriteImage("cut.zkt", img));
    EXPECT_TRUE(log.Contains("cut.zkt is not a valid sprite"));
    EXPECT_TRUE(img.pixels.empty());

    // Lying headers: sizes and bits per pixel are checked against the format and the file.
    const std::vector<uint8_t> good = tools::ZktBytes(tools::ArgbPicture(3, 2, Ramp(6)));
    struct Case {
        const char* what;
        size_t at;
        uint32_t value;
        bool byte;
    } cases[] = {
        {"negative width", 7, uint32_t(-3), false},
        {"huge width", 7, 0x7FFFFFFF, false},
        {"huge height", 11, 0x40000, false},
        {"taller than stored", 11, 3, false},
        {"8 bits per pixel", 15, 8, true},
        {"negative bits per pixel", 15, 0xE0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        if (c.byte) bytes[c.at] = uint8_t(c.value);
        else Put32At(bytes, c.at, c.value);
        tools::WriteFileBytes("lie.zkt", bytes);
        LogCapture lies;
        EXPECT_FALSE(zkt::ReadSpriteImage("lie.zkt", img));
        EXPECT_TRUE(lies.Contains("lie.zkt is not a valid sprite"));
        EXPECT_TRUE(img.pixels.empty());
    }
    // The largest width and height at 120 bits per pixel: refused before their byte count is
    // formed (it does not fit in 64 bits).
    std::vector<uint8_t> huge = good;
    Put32At(huge, 7, 0x7FFFFFFF);
    Put32At(huge, 11, 0x7FFFFFFF);
    huge[15] = 120;
    tools::WriteFileBytes("huge.zkt", huge);
    EXPECT_FALSE(zkt::ReadSpriteImage("huge.zkt", img));
    EXPECT_TRUE(img.pixels.empty());
    // A 24-bit picture reads as R8G8B8, three bytes a pixel.
    tools::ZktPicture rgb;
    rgb.width = 2;
    rgb.height = 1;
    rgb.bitsPerPixel = 24;
    rgb.pixels = {1, 2, 3, 4, 5, 6};
    tools::WriteZkt("rgb.zkt", rgb);
    ASSERT_TRUE(zkt::ReadSpriteImage("rgb.zkt", img));
    EXPECT_EQ(img.format, kFormatR8G8B8);
    EXPECT_EQ(img.pixels, rgb.pixels);
}

// Both versions as bytes written out by hand: the writer must produce exactly these bytes, and
// the reader must find exactly these fields in them, so a field both misread alike shows.
TEST(ZktReader, GoldenFilesOfBothVersions) {
    TempWorkDir dir;
    const std::vector<uint8_t> v2 = {
        'Z', 'K', '2', 0x02, 0x00, 0x00, 0x00,  // magic, version 2
        0x01, 0x00, 0x00, 0x00,                 // one frame
        0x00, 0x00, 0x00, 0x3F,                 // mip bias 0.5
        0x01, 0x00, 0x01, 0x00,                 // may compress, not high quality, wrap u, clamp v
        0x02, 0x00, 0x00, 0x00,                 // width 2
        0x01, 0x00, 0x00, 0x00,                 // height 1
        0x01, 0x00, 0x00, 0x00,                 // one block
        0x00,                                   // code 0: A8R8G8B8
        0x01, 0x00, 0x00, 0x00,                 // one level
        0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x08, 0x00, 0x00, 0x00,  // 2 x 1, 8 bytes
        0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88,                          // B, G, R, A twice
    };
    tools::ZktTexture texture;
    texture.mipBias = 0.5f;
    texture.mayCompress = 1;
    texture.highQuality = 0;
    texture.wrapU = 1;
    texture.wrapV = 0;
    texture.width = 2;
    texture.height = 1;
    texture.blocks.push_back({0, {{2, 1, {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88}}}});
    EXPECT_EQ(tools::ZktBytes(texture), v2);
    tools::WriteFileBytes("v2.zkt", v2);
    TextureRecord r;
    ASSERT_TRUE(Read("v2.zkt", r));
    EXPECT_EQ(r.format, kFormatA8R8G8B8);
    EXPECT_FLOAT_EQ(r.mipBias, 0.5f);
    EXPECT_EQ(r.mayCompress, 1);
    EXPECT_EQ(r.highQuality, 0);
    EXPECT_EQ(r.wrapU, 1);
    EXPECT_EQ(r.wrapV, 0);
    EXPECT_EQ(r.width, 2);
    EXPECT_EQ(r.height, 1);
    ASSERT_EQ(r.levels.size(), 1u);
    EXPECT_EQ(Plain(r.levels[0].pixels), tools::PixelsFromArgb({0x44332211u, 0x88776655u}));

    const std::vector<uint8_t> v1 = {
        'Z', 'K', '2', 0x00, 0x00, 0x80, 0x3F,  // magic, version 1 (the float 1.0)
        0x02, 0x00, 0x00, 0x00,                 // width 2
        0x02, 0x00, 0x00, 0x00,                 // height 2
        0x18, 0x19, 0x02,                       // 24 bits; stored levels, no compression, high quality; 2 levels
        0x01, 0x02, 0x03, 0x04, 0x05, 0x06,     // 2 x 2, rows of B, G, R
        0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C,
        0x0D, 0x0E, 0x0F,                       // 1 x 1
    };
    tools::ZktPicture picture;
    picture.width = picture.height = 2;
    picture.bitsPerPixel = 24;
    picture.flags = 0x19;
    picture.levelCount = 2;
    picture.pixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
    EXPECT_EQ(tools::ZktBytes(picture), v1);
    tools::WriteFileBytes("v1.zkt", v1);
    TextureRecord old;
    {
        LogCapture log;  // "v1.zkt is obsolete"
        ASSERT_TRUE(Read("v1.zkt", old));
    }
    EXPECT_EQ(old.format, kFormatR8G8B8);
    EXPECT_EQ(old.width, 2);
    EXPECT_EQ(old.height, 2);
    EXPECT_EQ(old.mayCompress, 0);
    EXPECT_EQ(old.highQuality, 1);
    ASSERT_EQ(old.levels.size(), 2u);
    EXPECT_EQ(Plain(old.levels[0].pixels), std::vector<uint8_t>({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12}));
    EXPECT_EQ(Plain(old.levels[1].pixels), std::vector<uint8_t>({13, 14, 15}));
    zkt::SpriteImage image;
    ASSERT_TRUE(zkt::ReadSpriteImage("v1.zkt", image));
    EXPECT_EQ(image.width, 2);
    EXPECT_EQ(image.height, 2);
    EXPECT_EQ(image.bytesPerPixel, 3);
    EXPECT_FALSE(image.mayCompress);
    EXPECT_TRUE(image.highQuality);
    EXPECT_EQ(image.pixels, Plain(old.levels[0].pixels));
}

TEST(ZktReader, FlipLeavesVersion2Alone) {
    TempWorkDir dir;
    tools::WriteZkt("v2.zkt", tools::ArgbTexture(1, 2, {0xFF000001u, 0xFF000002u}));
    TextureRecord r;
    r.options = kTextureFlipRows | kTextureClamp;
    ASSERT_TRUE(Read("v2.zkt", r));
    EXPECT_EQ(Plain(r.levels[0].pixels), tools::PixelsFromArgb({0xFF000001u, 0xFF000002u}));
    EXPECT_EQ(r.wrapU, 1);  // the file's own wrap flags, not the request's clamp
}
