#include "platform/font/FontFace.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_SYNTHESIS_H
#include FT_TRUETYPE_TABLES_H

#include "platform/font/CodePage.h"

namespace plat {

struct FontFace::Impl {
    FT_Library library = nullptr;
    FT_Face face = nullptr;
    bool embolden = false;
    int32_t advances[256];
    bool known[256] = {};
    ~Impl() {
        if (face) FT_Done_Face(face);
        if (library) FT_Done_FreeType(library);
    }
};

namespace {

// fontconfig's configuration is shared by the whole process; matches are serialised.
std::mutex& FontconfigLock() {
    static std::mutex m;
    return m;
}

bool MatchFile(const char* family, bool bold, std::string& path, int& index, int& weight) {
    std::lock_guard<std::mutex> guard(FontconfigLock());
    if (!FcInit()) return false;
    FcPattern* pattern = FcPatternCreate();
    if (!pattern) return false;
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
    FcPatternAddInteger(pattern, FC_WEIGHT, bold ? FC_WEIGHT_BOLD : FC_WEIGHT_REGULAR);
    FcPatternAddInteger(pattern, FC_SLANT, FC_SLANT_ROMAN);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* match = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (!match) return false;
    FcChar8* file = nullptr;
    bool ok = FcPatternGetString(match, FC_FILE, 0, &file) == FcResultMatch && file;
    if (ok) path = reinterpret_cast<const char*>(file);
    if (FcPatternGetInteger(match, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
    if (FcPatternGetInteger(match, FC_WEIGHT, 0, &weight) != FcResultMatch) weight = FC_WEIGHT_REGULAR;
    FcPatternDestroy(match);
    return ok;
}

int32_t RoundScaled(int32_t units, int32_t em, int32_t unitsPerEm) {
    return int32_t(std::lround(double(units) * em / unitsPerEm));
}

}  // namespace

std::unique_ptr<FontFace> FontFace::Open(const char* family, bool bold, int32_t emPixels,
                                         int codePage) {
    if (!family || emPixels <= 0) return nullptr;
    std::string path;
    int index = 0, weight = 0;
    if (!MatchFile(family, bold, path, index, weight)) return nullptr;

    std::unique_ptr<FontFace> font(new FontFace());
    font->impl_ = std::make_unique<Impl>();
    Impl& impl = *font->impl_;
    if (FT_Init_FreeType(&impl.library) != 0) return nullptr;
    if (FT_New_Face(impl.library, path.c_str(), index, &impl.face) != 0) return nullptr;
    if (FT_Set_Pixel_Sizes(impl.face, 0, FT_UInt(emPixels)) != 0) return nullptr;
    FT_Select_Charmap(impl.face, FT_ENCODING_UNICODE);
    impl.embolden = bold && weight < FC_WEIGHT_BOLD;

    font->path_ = path;
    font->em_ = emPixels;
    font->codePage_ = codePage;
    const int32_t upem = impl.face->units_per_EM > 0 ? impl.face->units_per_EM : 2048;
    int32_t ascentUnits = impl.face->ascender;
    int32_t descentUnits = -impl.face->descender;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(impl.face, FT_SFNT_OS2));
        os2 && os2->version != 0xFFFF) {
        ascentUnits = os2->usWinAscent;
        descentUnits = os2->usWinDescent;
    }
    font->ascent_ = RoundScaled(ascentUnits, emPixels, upem);
    font->lineHeight_ = font->ascent_ + RoundScaled(descentUnits, emPixels, upem);
    return font;
}

FontFace::~FontFace() = default;

int32_t FontFace::Advance(uint8_t byte) {
    Impl& impl = *impl_;
    if (impl.known[byte]) return impl.advances[byte];
    const FT_UInt glyph = FT_Get_Char_Index(impl.face, CodePageToUnicode(byte, codePage_));
    int32_t advance = 0;
    if (FT_Load_Glyph(impl.face, glyph, FT_LOAD_TARGET_NORMAL) == 0) {
        if (impl.embolden) FT_GlyphSlot_Embolden(impl.face->glyph);
        advance = int32_t((impl.face->glyph->advance.x + 32) >> 6);
    }
    impl.advances[byte] = advance;
    impl.known[byte] = true;
    return advance;
}

void FontFace::Draw(uint8_t byte, uint8_t* buffer, int32_t width, int32_t height, int32_t x,
                    int32_t y, bool underline) {
    Impl& impl = *impl_;
    const int32_t advance = Advance(byte);
    const FT_UInt glyph = FT_Get_Char_Index(impl.face, CodePageToUnicode(byte, codePage_));
    if (FT_Load_Glyph(impl.face, glyph, FT_LOAD_TARGET_NORMAL) == 0) {
        FT_GlyphSlot slot = impl.face->glyph;
        if (impl.embolden) FT_GlyphSlot_Embolden(slot);
        // A glyph laid out wholly below the buffer (large sizes run past the texture's height)
        // is not rasterised: its outline's top, with a pixel of rounding, is under the last row.
        const int32_t highest = y + ascent_ - int32_t((slot->metrics.horiBearingY + 63) >> 6) - 1;
        if (highest < height && FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) == 0 &&
            slot->bitmap.pixel_mode == FT_PIXEL_MODE_GRAY) {
            const FT_Bitmap& bm = slot->bitmap;
            const int32_t left = x + slot->bitmap_left;
            const int32_t top = y + ascent_ - slot->bitmap_top;
            for (int32_t r = 0; r < int32_t(bm.rows); ++r) {
                const int32_t py = top + r;
                if (py < 0 || py >= height) continue;
                const uint8_t* src = bm.buffer + r * bm.pitch;
                uint8_t* dst = buffer + size_t(py) * size_t(width);
                for (int32_t c = 0; c < int32_t(bm.width); ++c) {
                    const int32_t px = left + c;
                    if (px >= 0 && px < width) dst[px] = std::max(dst[px], src[c]);
                }
            }
        }
    }
    if (underline) {
        const int32_t upem = impl.face->units_per_EM > 0 ? impl.face->units_per_EM : 2048;
        const int32_t baseline = y + ascent_;
        const int32_t first = baseline - RoundScaled(impl.face->underline_position, em_, upem);
        const int32_t thickness =
            std::max(1, RoundScaled(impl.face->underline_thickness, em_, upem));
        for (int32_t py = first; py < first + thickness; ++py) {
            if (py < 0 || py >= height) continue;
            for (int32_t px = std::max(0, x); px < std::min(width, x + advance); ++px)
                buffer[size_t(py) * size_t(width) + size_t(px)] = 255;
        }
    }
}

}  // namespace plat
