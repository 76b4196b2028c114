// One fuzz input: a font request as a game or a data file could make it. Byte 0 is the
// character-set bits, bytes 1-4 the size (little-endian, signed), byte 5 bold (bit 0) and
// underline (bit 1), the rest the face name. The font is built and its glyph texture uploaded
// through the texture manager onto a recording device; the name is then measured as text.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Font.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/fuzz/FuzzSupport.h"

// fontconfig keeps its configuration for the life of the process; leaks of our own still count.
extern "C" const char* __lsan_default_suppressions() { return "leak:libfontconfig.so\n"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    if (size < 6) return 0;
    const uint32_t sets = data[0];
    const int32_t requested = int32_t(uint32_t(data[1]) | uint32_t(data[2]) << 8 | uint32_t(data[3]) << 16 |
                                      uint32_t(data[4]) << 24);
    const bool bold = data[5] & 1, underline = data[5] & 2;
    const std::string face(reinterpret_cast<const char*>(data + 6), size - 6);

    gfx::RecordingDevice device(64, 64);
    D3D8TextureManager manager(&device, 32);
    std::unique_ptr<Font> font(Font::Create(&manager, sets, SharedString(face.c_str()), requested, bold, underline));
    fuzz_support::Check(font->size >= kMinFontSize && font->size <= kMaxFontSize);
    fuzz_support::Check(font->textureWidth == GlyphTextureWidth(font->size));
    fuzz_support::Check(font->textureHeight >= 0 && font->textureHeight <= font->textureWidth);
    for (const GlyphRect& g : font->glyphs)
        fuzz_support::Check(g.left >= 0.0f && g.right >= g.left && g.bottom >= g.top);

    const SharedString text(face.c_str());
    const double width = font->GetTextWidth(text);
    fuzz_support::Check(width >= 0.0);
    const TextRange range{int32_t(data[0]) - 128, int32_t(data[5]) - 16};
    fuzz_support::Check(font->GetRangeWidth(text, range) <= width);
    const TextRange clamped = ClampRange(range, text.Length());
    const int32_t at = font->FindBreak(text, width / 2, range);
    fuzz_support::Check(at >= clamped.start && at <= clamped.start + clamped.length);
    return 0;
}
