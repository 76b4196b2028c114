// Fonts without a device: the face behind "Arial", the character-height rule, line heights,
// the glyph layout and trim, the code page, and the width and break operations.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>

#include "engine/render/Font.h"
#include "platform/font/CodePage.h"
#include "platform/font/FontFace.h"
#include "tests/support/TestSupport.h"

TEST(FontFace, ArialIsLiberationSansWithArialMetrics) {
    for (bool bold : {false, true}) {
        auto face = plat::FontFace::Open("Arial", bold, 20);
        ASSERT_TRUE(face);
        EXPECT_NE(face->FilePath().find(bold ? "LiberationSans-Bold" : "LiberationSans-Regular"),
                  std::string::npos)
            << face->FilePath();
        EXPECT_EQ(face->Ascent(), 18);
        EXPECT_EQ(face->LineHeight(), 22);
    }
    // Line heights by em, rounded ascent plus rounded descent.
    const std::pair<int, int> lines[] = {{10, 11}, {13, 15}, {14, 16}, {16, 17}, {17, 19},
                                         {18, 20}, {21, 23}, {24, 27}, {26, 30}, {33, 37},
                                         {40, 44}, {66, 74}};
    for (auto [em, cy] : lines) EXPECT_EQ(plat::FontFace::Open("Arial", true, em)->LineHeight(), cy) << em;
    // The character height of a point size at 96 dpi, truncated.
    const std::pair<int, int> ems[] = {{8, 10}, {10, 13}, {11, 14}, {13, 17}, {14, 18}, {15, 20}, {25, 33}, {50, 66}};
    for (auto [size, em] : ems) EXPECT_EQ(FontEmPixels(size), em) << size;
}

TEST(CodePage, Windows1252Bytes) {
    const std::pair<uint8_t, uint32_t> table[] = {
        {0x41, 0x41}, {0x7F, 0}, {0x80, 0x20AC}, {0x81, 0}, {0x8A, 0x0160}, {0x92, 0x2019},
        {0x9D, 0}, {0x9F, 0x0178}, {0xA0, 0xA0}, {0xE9, 0xE9}, {0xFF, 0xFF}};
    for (auto [byte, cp] : table) {
        EXPECT_EQ(plat::CodePageToUnicode(byte), cp) << int(byte);
        if (cp) {
            EXPECT_EQ(plat::UnicodeToCodePage(cp), byte) << int(byte);
        }
    }
    EXPECT_EQ(plat::UnicodeToCodePage(0x4E2D), 0);  // no byte for it
    EXPECT_EQ(plat::CodePageToUnicode(0x80, 28591), 0x80u);  // another page reads Latin-1
}

TEST(GlyphSheet, SizesLayoutAndPixels) {
    GlyphSheet s10, s11, s15;
    ASSERT_TRUE(BuildGlyphSheet(kFontAll, "Arial", 10, true, false, s10));
    ASSERT_TRUE(BuildGlyphSheet(kFontAll, "Arial", 11, true, false, s11));
    ASSERT_TRUE(BuildGlyphSheet(kFontAll, "Arial", 15, true, false, s15));
    EXPECT_EQ(s10.width, 256);
    EXPECT_EQ(s11.width, 512);
    EXPECT_EQ(s15.width, 512);
    EXPECT_EQ(GlyphTextureWidth(20), 512);
    EXPECT_EQ(GlyphTextureWidth(40), 1024);
    EXPECT_EQ(GlyphTextureWidth(41), 2048);
    // The default font's sheet is trimmed: the used height is at least half of what is left.
    EXPECT_LT(s15.height, 512);
    float used = 0;
    for (const GlyphRect& g : s15.glyphs) used = std::max(used, g.bottom);
    EXPECT_GE(used, float(s15.height / 2));
    EXPECT_LE(used, float(s15.height));
    EXPECT_EQ(s15.lineHeight, 22);

    // Rectangles: control codes empty, drawn ones inside the sheet and never overlapping.
    EXPECT_EQ(s15.glyphs[0x1F].right - s15.glyphs[0x1F].left, 0.0f);
    for (int a = 0x20; a <= 0xFF; ++a) {
        const GlyphRect& g = s15.glyphs[a];
        EXPECT_EQ(g.bottom - g.top, 22.0f);
        EXPECT_LE(g.right, float(s15.width));
        for (int b = a + 1; b <= 0xFF; ++b) {
            const GlyphRect& h = s15.glyphs[b];
            const bool apart = g.right <= h.left || h.right <= g.left || g.bottom <= h.top || h.bottom <= g.top;
            EXPECT_TRUE(apart) << a << " " << b;
        }
    }
    // Byte 0x80 is the euro sign: a real glyph with ink inside its rectangle.
    const GlyphRect& euro = s15.glyphs[0x80];
    EXPECT_GT(euro.right - euro.left, 5.0f);
    int ink = 0;
    for (int y = int(euro.top); y < int(euro.bottom); ++y)
        for (int x = int(euro.left); x < int(euro.right); ++x)
            ink += (s15.pixels[size_t(y * s15.width + x)] >> 24) > 128;
    EXPECT_GT(ink, 10);
    // Bytes the code page leaves undefined, and 0x7F, show the face's missing-glyph shape at
    // its own width.
    const float notdef = s15.glyphs[0x7F].right - s15.glyphs[0x7F].left;
    EXPECT_GT(notdef, 0.0f);
    for (int b : {0x81, 0x8D, 0x8F, 0x90, 0x9D}) EXPECT_EQ(s15.glyphs[b].right - s15.glyphs[b].left, notdef) << b;
    // White text: every texel has alpha = r = g = b (alpha = max of the colour bytes).
    for (uint32_t p : s15.pixels) {
        const uint32_t a = p >> 24;
        ASSERT_EQ(p, (a << 24) | (a << 16) | (a << 8) | a);
    }
}

TEST(GlyphSheet, TheCodePageIsASetting) {
    // Read as Latin-1, byte 0x80 is a control character: the missing glyph, not the euro.
    GlyphSheet latin1, cp1252;
    SetFontCodePage(28591);
    ASSERT_TRUE(BuildGlyphSheet(kFontExtended, "Arial", 15, true, false, latin1));
    SetFontCodePage(plat::kCodePage1252);
    ASSERT_TRUE(BuildGlyphSheet(kFontExtended, "Arial", 15, true, false, cp1252));
    auto width = [](const GlyphSheet& s, int c) { return s.glyphs[c].right - s.glyphs[c].left; };
    EXPECT_EQ(width(latin1, 0x80), width(latin1, 0x7F));
    EXPECT_NE(width(cp1252, 0x80), width(cp1252, 0x7F));
    EXPECT_EQ(width(latin1, 0xE9), width(cp1252, 0xE9));
}

TEST(GlyphSheet, UnderlineInksBelowTheBaseline) {
    GlyphSheet plain, under;
    ASSERT_TRUE(BuildGlyphSheet(kFontPunctuation, "Arial", 15, false, false, plain));
    ASSERT_TRUE(BuildGlyphSheet(kFontPunctuation, "Arial", 15, false, true, under));
    // The space has no ink of its own; underlined it has a full row of it.
    const GlyphRect& g = under.glyphs[' '];
    auto rowInk = [](const GlyphSheet& s, const GlyphRect& r) {
        int best = 0;
        for (int y = int(r.top); y < int(r.bottom); ++y) {
            int n = 0;
            for (int x = int(r.left); x < int(r.right); ++x) n += (s.pixels[size_t(y * s.width + x)] >> 24) == 255;
            best = std::max(best, n);
        }
        return best;
    };
    EXPECT_EQ(rowInk(plain, plain.glyphs[' ']), 0);
    EXPECT_EQ(rowInk(under, g), int(g.right - g.left));
}

TEST(Font, WidthsBreaksAndRanges) {
    std::unique_ptr<Font> font(Font::Create(nullptr, kFontLower | kFontDigits, "Arial", 15, true, false));
    ASSERT_EQ(font->lineHeight, 22);
    EXPECT_TRUE(font->texture.IsEmpty());  // no device in this test
    const double a = font->CharWidth('a'), b = font->CharWidth('b'), one = font->CharWidth('1');
    EXPECT_GT(a, 0.0);
    // Characters outside the sets (capitals, space) count 0.
    EXPECT_EQ(font->GetTextWidth("ab1"), a + b + one);
    EXPECT_EQ(font->GetTextWidth("aB b"), a + b);
    EXPECT_EQ(font->GetTextWidth(""), 0.0);
    EXPECT_EQ(font->GetRangeWidth("ab1", {1, 2}), b + one);
    // Ranges past the text are clamped to it.
    EXPECT_EQ(font->GetRangeWidth("ab1", {1, 100}), b + one);
    EXPECT_EQ(font->GetRangeWidth("ab1", {-5, 2}), a + b);
    EXPECT_EQ(font->GetRangeWidth("ab1", {7, 2}), 0.0);
    // Exactly two characters' width breaks at the second character.
    EXPECT_EQ(font->FindBreak("ab1a", a + b, {0, 4}), 1);
    EXPECT_EQ(font->FindBreak("ab1a", a + b + 0.5, {0, 4}), 2);
    EXPECT_EQ(font->FindBreak("ab1a", 1000.0, {1, 3}), 4);
    EXPECT_EQ(font->FindBreak("ab1a", 1000.0, {2, 50}), 4);
    EXPECT_EQ(font->FindBreak("ab", 1.0, {0, 0}), 0);
}

// Sizes no screen can show are brought into 1..512 with a log line, before any arithmetic on
// them; sizes inside stay as asked.
TEST(Font, SizesOutsideWhatAScreenShowsAreClamped) {
    const struct {
        int32_t asked, made;
    } cases[] = {{INT32_MAX, 512}, {40000, 512}, {513, 512}, {0, 1}, {-5, 1}, {INT32_MIN, 1}, {512, 512}, {1, 1}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.asked);
        testing_support::LogCapture log;
        std::unique_ptr<Font> font(Font::Create(nullptr, kFontDigits, "Arial", c.asked, false, false));
        EXPECT_EQ(font->size, c.made);
        EXPECT_EQ(font->textureWidth, GlyphTextureWidth(c.made));
        EXPECT_GT(font->CharWidth('0'), 0.0f);
        const std::string line = "FONT: Size " + std::to_string(c.asked) + " clamped to " + std::to_string(c.made);
        EXPECT_EQ(log.Contains(line.c_str()), c.asked != c.made);
    }
}
