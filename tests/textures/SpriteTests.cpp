// Sprites, the sprite renderer, anchoring and text through the real GL device (offscreen).
#include <gtest/gtest.h>

#include <memory>

#include "engine/render/Font.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/TextDraw.h"
#include "tests/support/TestSupport.h"
#include "tests/textures/TextureTestFacility.h"
#include "tools/writers/ZktWriter.h"

using namespace textest;
using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

// Opaque texels with distinct colours.
std::vector<uint32_t> Pattern(int w, int h, uint32_t alpha = 0xFF000000u) {
    std::vector<uint32_t> v;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) v.push_back(alpha | uint32_t(x * 9 + 20) << 16 | uint32_t(y * 11 + 30) << 8 | uint32_t((x ^ y) * 5));
    return v;
}

class SpriteDraw : public ::testing::Test {
protected:
    void SetUp() override { facility.ClearTo(0xFF000000u); }
    // A sprite picture written uncompressed (flags: do not compress, high quality) and loaded.
    std::unique_ptr<Sprite> Load(const char* name, int w, int h, const std::vector<uint32_t>& argb) {
        tools::ZktPicture p = tools::ArgbPicture(w, h, argb);
        p.flags = 0x08 | 0x10;
        tools::WriteZkt(name, p);
        SharedString n(name);
        return std::unique_ptr<Sprite>(SpriteFactory::Instance().Get(n, false));
    }
    TempWorkDir dir;
    TestFacility facility{nullptr, 8};  // 8-pixel textures, so pictures become grids
    EngineRenderer engine{&facility};
    D3D8SpriteRenderer& sprites = *facility.sprites;
};

}  // namespace

TEST_F(SpriteDraw, OneToOneMatchesTexelsAcrossAGridAndMirrors) {
    // 20 x 12 with 8-pixel tiles: columns 8, 8, 4; rows 8, 4.
    const std::vector<uint32_t> texels = Pattern(20, 12);
    auto sprite = Load("grid.zkt", 20, 12, texels);
    ASSERT_EQ(sprite->columns, 3);
    ASSERT_EQ(sprite->rows, 2);
    EXPECT_EQ(sprite->frames[5].left, 16);
    EXPECT_EQ(sprite->frames[5].top, 8);

    struct Case {
        uint8_t flags;
        bool mirrorH, mirrorV;
    } cases[] = {{0, false, false}, {kSpriteMirrorH, true, false}, {kSpriteMirrorV, false, true},
                 {kSpriteMirrorH | kSpriteMirrorV, true, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.flags));
        facility.ClearTo(0xFF000000u);
        sprites.DrawSprite(sprite.get(), nullptr, {10, 20}, nullptr, c.flags);
        sprites.Flush();
        const std::vector<uint32_t> got = facility.Pixels(10, 20, 20, 12);
        int wrong = 0;
        for (int y = 0; y < 12; ++y)
            for (int x = 0; x < 20; ++x) {
                const int sx = c.mirrorH ? 19 - x : x, sy = c.mirrorV ? 11 - y : y;
                wrong += got[size_t(y * 20 + x)] != texels[size_t(sy * 20 + sx)];
            }
        EXPECT_EQ(wrong, 0);
        // Nothing outside the picture.
        EXPECT_EQ(facility.Pixel(9, 20), 0xFF000000u);
        EXPECT_EQ(facility.Pixel(30, 31), 0xFF000000u);
    }

    // A source rectangle across frames is clipped and placed at the position.
    facility.ClearTo(0xFF000000u);
    const Rect src{5, 3, 15, 10};
    sprites.DrawSprite(sprite.get(), &src, {0, 0}, nullptr, 0);
    sprites.Flush();
    const std::vector<uint32_t> part = facility.Pixels(0, 0, 11, 8);
    for (int y = 0; y < 7; ++y)
        for (int x = 0; x < 10; ++x) ASSERT_EQ(part[size_t(y * 11 + x)], texels[size_t((y + 3) * 20 + x + 5)]) << x << "," << y;
    EXPECT_EQ(part[size_t(0 * 11 + 10)], 0xFF000000u);
    EXPECT_EQ(part[size_t(7 * 11 + 0)], 0xFF000000u);
}

TEST_F(SpriteDraw, BlendModesColoursAndEmptyHandles) {
    // One texel colour (r 200, g 100, b 0) at alpha 0x80, over a background of (0, 0, 200).
    auto sprite = Load("half.zkt", 4, 4, std::vector<uint32_t>(16, 0x80C86400u));
    struct Case {
        uint8_t flags;
        uint32_t expect;
    } cases[] = {
        {0, 0xFFC86400u},                           // opaque: the texel
        {kSpriteAlpha, 0xFF643264u},                // blended half and half
        {kSpriteAdditive, 0xFF6432C8u},             // background + texel x alpha
        {kSpriteAlpha | kSpriteAdditive, 0xFF643264u},  // alpha wins
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.flags));
        facility.ClearTo(0xFF0000C8u);
        sprites.DrawSprite(sprite.get(), nullptr, {4, 4}, nullptr, c.flags);
        sprites.Flush();
        EXPECT_TRUE(Near(facility.Pixel(5, 5), c.expect)) << std::hex << facility.Pixel(5, 5);
    }
    // A colour modulates the texel; a null colour is opaque white (the texel unchanged, seen
    // above).
    facility.ClearTo(0xFF000000u);
    const Color half = Color::FromBytes(128, 255, 0, 255);
    sprites.DrawSprite(sprite.get(), nullptr, {4, 4}, &half, 0);
    sprites.Flush();
    EXPECT_TRUE(Near(facility.Pixel(5, 5), 0xFF646400u)) << std::hex << facility.Pixel(5, 5);

    // FillRect: opaque colours replace, translucent ones blend; a null rectangle is the screen.
    facility.ClearTo(0xFF000000u);
    const RectF r{2, 2, 6, 6};
    sprites.FillRect(&r, Color::FromBytes(0, 255, 0, 255));
    sprites.FillRect(nullptr, Color::FromBytes(255, 0, 0, 0x80));
    sprites.Flush();
    EXPECT_TRUE(Near(facility.Pixel(3, 3), 0xFF807F00u)) << std::hex << facility.Pixel(3, 3);
    EXPECT_TRUE(Near(facility.Pixel(100, 90), 0xFF800000u)) << std::hex << facility.Pixel(100, 90);

    // Empty handles and missing sprites draw nothing.
    facility.ClearTo(0xFF000000u);
    Sprite empty;
    empty.width = empty.height = 4;
    empty.frames.push_back({0, 0, 4, 4, new TextureHandle()});
    empty.columns = empty.rows = 1;
    sprites.DrawSprite(&empty, nullptr, {4, 4}, nullptr, 0);
    sprites.DrawSprite(nullptr, nullptr, {4, 4}, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(sprites.QueuedQuads(), 0);
    EXPECT_EQ(facility.Pixel(5, 5), 0xFF000000u);
}

TEST_F(SpriteDraw, BatchesBreakOnlyOnTextureAndBlendChanges) {
    auto a = Load("a.zkt", 4, 4, Pattern(4, 4));
    auto b = Load("b.zkt", 4, 4, Pattern(4, 4));
    gfx::DeviceStats& stats = facility.device.Stats();
    auto draws = [&](auto&& fn) {
        sprites.Flush();
        const uint64_t before = stats.draws;
        fn();
        sprites.Flush();
        return stats.draws - before;
    };
    EXPECT_EQ(draws([&] { for (int i = 0; i < 5000; ++i) sprites.DrawSprite(a.get(), nullptr, {1, 1}, nullptr, 0); }), 1u);
    EXPECT_EQ(draws([&] { for (int i = 0; i < 5001; ++i) sprites.DrawSprite(a.get(), nullptr, {1, 1}, nullptr, 0); }), 2u);
    EXPECT_EQ(draws([&] { for (int i = 0; i < 10; ++i) sprites.DrawSprite(a.get(), nullptr, {1, 1}, nullptr, uint8_t(i & 1)); }), 10u);
    EXPECT_EQ(draws([&] { for (int i = 0; i < 10; ++i) sprites.DrawSprite(i & 1 ? a.get() : b.get(), nullptr, {1, 1}, nullptr, 0); }), 10u);
    // 5000 quads: one strip of 4 x 5000 vertices and 6 x 5000 - 4 triangles.
    RenderStats& frame = facility.FrameStats();
    frame.polygons = frame.vertices = 0;
    for (int i = 0; i < 5000; ++i) sprites.DrawSprite(a.get(), nullptr, {1, 1}, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(frame.vertices, 20000);
    EXPECT_EQ(frame.polygons, 10000);
}

TEST_F(SpriteDraw, AnchoredPlacementForEachFlag) {
    auto sprite = Load("dot.zkt", 2, 2, std::vector<uint32_t>(4, 0xFFFFFFFFu));
    // Screen 128 x 96.
    struct Case {
        int32_t align, anchor;
        Vector2 position;
        int x, y;  // expected top-left pixel
    } cases[] = {
        {9, 0, {3, 5}, 3, 5},         {9, 0x09, {3, 5}, 3, 5},
        {9, 0x02, {3, 5}, 3, 53},     {9, 0x04, {3, -10}, 3, 86},
        {9, 0x06, {3, 5}, 3, 53},     {9, 0x10, {3, 5}, 67, 5},
        {9, 0x20, {-10, 5}, 118, 5},  {9, 0x30, {3, 5}, 67, 5},
        {0x12, 0x12, {0, 0}, 63, 47}, {0x24, 0x24, {0, 0}, 126, 94},
        {0x14, 0x12, {0, 0}, 63, 46},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.align << " " << c.anchor);
        facility.ClearTo(0xFF000000u);
        sprites.DrawSpriteAnchored(sprite.get(), nullptr, c.align, c.position, c.anchor, nullptr, 0);
        sprites.Flush();
        EXPECT_EQ(facility.Pixel(c.x, c.y), 0xFFFFFFFFu);
        EXPECT_EQ(facility.Pixel(c.x + 1, c.y + 1), 0xFFFFFFFFu);
        EXPECT_EQ(facility.Pixel(c.x - 1, c.y), 0xFF000000u);
        EXPECT_EQ(facility.Pixel(c.x, c.y - 1), 0xFF000000u);
    }
    // Alignment subtracts the sprite's own size, not the source rectangle's.
    facility.ClearTo(0xFF000000u);
    const Rect one{0, 0, 1, 1};
    sprites.DrawSpriteAnchored(sprite.get(), &one, 0x24, {10, 10}, 0, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(facility.Pixel(8, 8), 0xFFFFFFFFu);
    EXPECT_EQ(facility.Pixel(9, 9), 0xFF000000u);
    // Rectangles move by the anchor on both corners.
    facility.ClearTo(0xFF000000u);
    const RectF r{-4, -4, -2, -2};
    sprites.FillRectAnchored(&r, 0x24, Color::FromBytes(0, 255, 0, 255));
    sprites.Flush();
    EXPECT_EQ(facility.Pixel(124, 92), 0xFF00FF00u);
    EXPECT_EQ(facility.Pixel(126, 94), 0xFF000000u);
}

TEST_F(SpriteDraw, TextHasItsMeasuredWidthAndShadow) {
    facility.textures->maxWidth = facility.textures->maxHeight = 4096;  // the glyph sheet is 512 wide
    std::unique_ptr<Font> font(Font::Create(facility.textures.get(), kFontAll, "Arial", 15, true, false));
    ASSERT_FALSE(font->texture.IsEmpty());
    const SharedString text("Hello, World");
    const int width = int(font->GetTextWidth(text));
    ASSERT_GT(width, 60);
    sprites.DrawText(text, {10, 30}, 0, nullptr, font.get(), false);
    sprites.Flush();
    const std::vector<uint32_t> px = facility.Pixels(0, 30, kWidth, font->lineHeight);
    int first = kWidth, last = -1;
    for (int y = 0; y < font->lineHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (Channel(px[size_t(y * kWidth + x)], 16) > 100) {
                first = std::min(first, x);
                last = std::max(last, x);
            }
    // Ink starts at the position and ends inside the measured width, near its end.
    EXPECT_GE(first, 10);
    EXPECT_LE(first, 12);
    EXPECT_LT(last, 10 + width);
    EXPECT_GT(last, 10 + width - 5);

    // Ranges are clamped; a character 0 inside the range stops the text.
    facility.ClearTo(0xFF000000u);
    sprites.DrawTextRange(SharedString("ll\0ll", 5), {0, 50}, {10, 30}, 0, nullptr, font.get(), false);
    sprites.Flush();
    const std::vector<uint32_t> cut = facility.Pixels(0, 30, kWidth, font->lineHeight);
    int lastCut = -1;
    for (int y = 0; y < font->lineHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (Channel(cut[size_t(y * kWidth + x)], 16) > 100) lastCut = std::max(lastCut, x);
    EXPECT_LT(lastCut, 10 + int(font->GetTextWidth("ll")));

    // Null colour with shadow: the shadow is black at half alpha, the text opaque white. On
    // white, a shadow-only pixel comes out mid grey.
    facility.ClearTo(0xFFFFFFFFu);
    sprites.DrawText("|", {20, 30}, 0, nullptr, font.get(), true);
    sprites.Flush();
    int darkest = 255;
    for (uint32_t p : facility.Pixels(20, 30, 12, font->lineHeight)) darkest = std::min(darkest, Channel(p, 16));
    EXPECT_NEAR(darkest, 128, 3);

    // DrawText with anchor 0x12 at (0, 0) starts at the screen centre.
    facility.ClearTo(0xFF000000u);
    sprites.DrawText("|", {0, 0}, 0x12, nullptr, font.get(), false);
    sprites.Flush();
    int inkLeft = kWidth;
    const std::vector<uint32_t> mid = facility.Pixels(0, 48, kWidth, font->lineHeight);
    for (size_t i = 0; i < mid.size(); ++i)
        if (Channel(mid[i], 16) > 100) inkLeft = std::min(inkLeft, int(i % kWidth));
    EXPECT_GE(inkLeft, 64);
    EXPECT_LE(inkLeft, 64 + 4);
}

TEST_F(SpriteDraw, StretchedRotatedAndPlainQuads) {
    // 16 x 16 in four solid 8 x 8 quadrants (one frame each with 8-pixel textures).
    const uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kWhite = 0xFFFFFFFFu;
    std::vector<uint32_t> quads;
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x) quads.push_back(y < 8 ? (x < 8 ? kRed : kGreen) : (x < 8 ? kBlue : kWhite));
    auto sprite = Load("quads.zkt", 16, 16, quads);
    ASSERT_EQ(sprite->frames.size(), 4u);

    // DrawSpriteRect stretches the source over the destination rectangle.
    const RectF dst{8, 8, 72, 40};
    sprites.DrawSpriteRect(sprite.get(), &dst, nullptr, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(facility.Pixel(8, 8), kRed);
    EXPECT_EQ(facility.Pixel(40, 8), kGreen);
    EXPECT_EQ(facility.Pixel(8, 24), kBlue);
    EXPECT_EQ(facility.Pixel(40, 24), kWhite);
    EXPECT_NE(facility.Pixel(71, 39), 0xFF000000u);
    EXPECT_EQ(facility.Pixel(72, 20), 0xFF000000u);
    EXPECT_EQ(facility.Pixel(20, 40), 0xFF000000u);
    EXPECT_EQ(facility.Pixel(7, 20), 0xFF000000u);

    // DrawSpriteEx centres the source on the position and turns it by the transform: with
    // rows (0, -1) and (1, 0) the top-left quadrant ends up at the top right.
    struct Case {
        Transform2 m;
        uint32_t topLeft, topRight, bottomLeft, bottomRight;
    } cases[] = {{{1, 0, 0, 1}, kRed, kGreen, kBlue, kWhite}, {{0, -1, 1, 0}, kBlue, kRed, kWhite, kGreen}};
    for (const Case& c : cases) {
        facility.ClearTo(0xFF000000u);
        sprites.DrawSpriteEx(sprite.get(), nullptr, {40, 40}, c.m, nullptr, 0);
        sprites.Flush();
        EXPECT_EQ(facility.Pixel(35, 35), c.topLeft);
        EXPECT_EQ(facility.Pixel(44, 35), c.topRight);
        EXPECT_EQ(facility.Pixel(35, 44), c.bottomLeft);
        EXPECT_EQ(facility.Pixel(44, 44), c.bottomRight);
        EXPECT_EQ(facility.Pixel(31, 40), 0xFF000000u);
        EXPECT_EQ(facility.Pixel(48, 40), 0xFF000000u);
    }
    // The identity transform draws 1:1: the texels exactly.
    facility.ClearTo(0xFF000000u);
    sprites.DrawSpriteEx(sprite.get(), nullptr, {40, 40}, Transform2{}, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(facility.Pixels(32, 32, 16, 16), quads);
    // Anchored, it moves by the anchor only: 0x12 centres it on the screen.
    facility.ClearTo(0xFF000000u);
    sprites.DrawSpriteExAnchored(sprite.get(), nullptr, {0, 0}, Transform2{}, 0x12, nullptr, 0);
    sprites.Flush();
    EXPECT_EQ(facility.Pixel(56, 40), kRed);
    EXPECT_EQ(facility.Pixel(71, 55), kWhite);
    EXPECT_EQ(facility.Pixel(55, 40), 0xFF000000u);

    // DrawQuad covers its rectangle untextured; null rectangle and colour: the whole screen
    // in white.
    facility.ClearTo(0xFF000000u);
    const RectF r{10, 12, 20, 30};
    const Color red = Color::FromBytes(255, 0, 0, 255);
    sprites.DrawQuad(&r, &red);
    sprites.Flush();
    EXPECT_EQ(facility.Pixel(10, 12), kRed);
    EXPECT_EQ(facility.Pixel(19, 29), kRed);
    EXPECT_EQ(facility.Pixel(20, 20), 0xFF000000u);
    EXPECT_EQ(facility.Pixel(15, 30), 0xFF000000u);
    sprites.DrawQuad(nullptr, nullptr);
    sprites.Flush();
    EXPECT_EQ(facility.Pixel(0, 0), kWhite);
    EXPECT_EQ(facility.Pixel(kWidth - 1, kHeight - 1), kWhite);
    // FillRectAnchored with a null rectangle fills the whole screen.
    sprites.FillRectAnchored(nullptr, 0x24, Color::FromBytes(0, 0, 255, 255));
    sprites.Flush();
    EXPECT_EQ(facility.Pixel(0, 0), kBlue);
    EXPECT_EQ(facility.Pixel(kWidth - 1, kHeight - 1), kBlue);
}
