#include "engine/render/Font.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/RenderBuffers.h"
#include "platform/font/CodePage.h"
#include "platform/font/FontFace.h"

namespace {

void MarkSets(uint32_t sets, bool (&in)[256]) {
    std::memset(in, 0, sizeof(in));
    if (sets & kFontLower)
        for (int c = 'a'; c <= 'z'; ++c) in[c] = true;
    if (sets & kFontUpper)
        for (int c = 'A'; c <= 'Z'; ++c) in[c] = true;
    if (sets & kFontDigits)
        for (int c = '0'; c <= '9'; ++c) in[c] = true;
    if (sets & kFontPunctuation) {
        for (int c = 0x20; c <= 0x2F; ++c) in[c] = true;
        for (int c = 0x3A; c <= 0x40; ++c) in[c] = true;
        for (int c = 0x5B; c <= 0x60; ++c) in[c] = true;
        for (int c = 0x7B; c <= 0x7E; ++c) in[c] = true;
    }
    if (sets & kFontExtended) {
        for (int c = 0x7F; c <= 0xFF; ++c) in[c] = true;
        for (int c = 0x00; c <= 0x1F; ++c) in[c] = true;
    }
}

}  // namespace

int32_t GlyphTextureWidth(int32_t size) {
    if (size <= 10) return 256;
    if (size <= 20) return 512;
    if (size <= 40) return 1024;
    return 2048;
}

int32_t FontSizeInRange(int32_t size) { return std::clamp(size, kMinFontSize, kMaxFontSize); }

int32_t FontEmPixels(int32_t size) { return FontSizeInRange(size) * 96 / 72; }

namespace {
int g_codePage = plat::kCodePage1252;
}  // namespace

void SetFontCodePage(int codePage) { g_codePage = codePage; }
int FontCodePage() { return g_codePage; }

bool BuildGlyphSheet(uint32_t sets, const char* face, int32_t size, bool bold, bool underline,
                     GlyphSheet& out) {
    out = GlyphSheet{};
    size = FontSizeInRange(size);
    const int32_t width = GlyphTextureWidth(size);
    out.width = width;
    out.height = width;
    std::unique_ptr<plat::FontFace> font = plat::FontFace::Open(face, bold, FontEmPixels(size), g_codePage);
    if (!font) return false;
    bool in[256];
    MarkSets(sets, in);
    const int32_t cy = font->LineHeight();
    out.lineHeight = cy;

    // Coverage first (one byte a pixel), turned into texels after the trim.
    std::vector<uint8_t> coverage(size_t(width) * size_t(width), 0);
    int32_t x = 0, y = 0, used = 0;
    for (int c = 0x20; c <= 0xFF; ++c) {
        if (!in[c]) continue;
        const int32_t cx = font->Advance(uint8_t(c));
        if (width < x + cx + 2) {
            y += cy + 1;
            x = 0;
        }
        font->Draw(uint8_t(c), coverage.data(), width, width, x, y, underline);
        out.glyphs[c] = {float(x), float(y), float(x + cx), float(y + cy)};
        used = std::max(used, y + cy);
        x += cx + 4;
    }
    int32_t height = width;
    while (height > 1 && used < height / 2) height /= 2;
    out.height = height;
    out.pixels.resize(size_t(width) * size_t(height));
    for (size_t i = 0; i < out.pixels.size(); ++i) {
        const uint32_t v = coverage[i];
        out.pixels[i] = (v << 24) | (v << 16) | (v << 8) | v;
    }
    return true;
}

Font* Font::Create(D3D8TextureManager* textures, uint32_t sets, const SharedString& face, int32_t size, bool bold,
                   bool underline) {
    return new D3D8Font(textures, sets, face, size, bold, underline);
}

TextRange ClampRange(const TextRange& range, int32_t length) {
    TextRange r = range;
    r.start = std::clamp(r.start, 0, length);
    r.length = std::clamp(r.length, 0, length - r.start);
    return r;
}

double Font::GetTextWidth(const SharedString& text) const {
    double w = 0.0;
    const int32_t n = text.Length();
    const char* s = text.c_str();
    for (int32_t i = 0; i < n; ++i) w += CharWidth(uint8_t(s[i]));
    return w;
}

double Font::GetRangeWidth(const SharedString& text, const TextRange& range) const {
    const TextRange r = ClampRange(range, text.Length());
    const char* s = text.c_str();
    double w = 0.0;
    for (int32_t i = r.start; i < r.start + r.length; ++i) w += CharWidth(uint8_t(s[i]));
    return w;
}

int32_t Font::FindBreak(const SharedString& text, double available, const TextRange& range) const {
    const TextRange r = ClampRange(range, text.Length());
    const char* s = text.c_str();
    double w = available;
    for (int32_t i = r.start; i < r.start + r.length; ++i) {
        w -= CharWidth(uint8_t(s[i]));
        if (w <= 0.0) return i;
    }
    return r.start + r.length;
}

D3D8Font::D3D8Font(D3D8TextureManager* textures, uint32_t sets, const SharedString& face, int32_t size_, bool bold,
                   bool underline) {
    size = FontSizeInRange(size_);
    if (size != size_) Debugger::Instance().Log(2, "FONT: Size %d clamped to %d", int(size_), int(size));
    GlyphSheet sheet;
    if (!BuildGlyphSheet(sets, face.c_str(), size, bold, underline, sheet))
        Debugger::Instance().Message("FONT: No face found for %s", face.c_str());
    std::memcpy(glyphs, sheet.glyphs, sizeof(glyphs));
    lineHeight = sheet.lineHeight;
    textureWidth = sheet.width;
    textureHeight = sheet.height;

    if (!textures || sheet.pixels.empty()) return;
    // The device belongs to its thread: a font made on another thread (a game state's loading
    // thread) hands its upload over and waits for it.
    if (!OnDeviceThread()) {
        RunOnDeviceThread([&] { Upload(*textures, sheet, face); });
        return;
    }
    Upload(*textures, sheet, face);
}

void D3D8Font::Upload(D3D8TextureManager& textures, const GlyphSheet& sheet, const SharedString& face) {
    TextureRecord record;
    record.name = SharedString::Format("%s - %d", face.c_str(), size);
    record.format = kFormatA8R8G8B8;
    record.mayCompress = 0;
    record.highQuality = 1;
    record.wrapU = record.wrapV = 0;
    record.width = sheet.width;
    record.height = sheet.height;
    TextureLevel level;
    level.width = sheet.width;
    level.height = sheet.height;
    level.pixels.resize(sheet.pixels.size() * 4);
    // 0xAARRGGBB words are stored little-endian: bytes B, G, R, A.
    for (size_t i = 0; i < sheet.pixels.size(); ++i) {
        const uint32_t p = sheet.pixels[i];
        level.pixels[i * 4 + 0] = uint8_t(p);
        level.pixels[i * 4 + 1] = uint8_t(p >> 8);
        level.pixels[i * 4 + 2] = uint8_t(p >> 16);
        level.pixels[i * 4 + 3] = uint8_t(p >> 24);
    }
    record.levels.push_back(std::move(level));
    texture.Set(new TextureRef(textures.Load(&record)));
}
