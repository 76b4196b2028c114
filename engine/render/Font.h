#pragma once
// A font: 256 glyph rectangles on one texture into which the glyphs were drawn once, at
// creation. Text drawing copies glyph rectangles of that texture to the screen; layout code
// measures strings with the width operations. Text bytes are Windows-1252 code-page bytes.
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/render/TextureTypes.h"

class D3D8TextureManager;

struct GlyphRect {
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
};

struct TextRange {
    int32_t start = 0;
    int32_t length = 0;
};

// Character-set bits of Font::Create.
enum : uint32_t {
    kFontLower = 0x01,        // a..z
    kFontUpper = 0x02,        // A..Z
    kFontDigits = 0x04,       // 0..9
    kFontPunctuation = 0x08,  // the 33 printable ASCII punctuation characters, space included
    kFontExtended = 0x10,     // 0x7F..0xFF and 0x00..0x1F
    kFontAll = 0x1F,
};

// The glyph texture's contents, built without any device.
struct GlyphSheet {
    int32_t width = 0;   // texture width (also the height cap)
    int32_t height = 0;  // after trimming
    int32_t lineHeight = 0;
    GlyphRect glyphs[256];
    std::vector<uint32_t> pixels;  // width x height, 0xAARRGGBB, alpha = max(r, g, b)
};

// Texture width for a font size: 256 up to 10, 512 up to 20, 1024 up to 40, else 2048.
int32_t GlyphTextureWidth(int32_t size);
// Font sizes are kept to what a screen can show: smaller ones make the smallest font, larger
// ones the largest (fonts made outside the range say so in the log).
constexpr int32_t kMinFontSize = 1;
constexpr int32_t kMaxFontSize = 512;
int32_t FontSizeInRange(int32_t size);
// The character height in pixels for a point size at 96 dpi (truncated), of the size in range.
int32_t FontEmPixels(int32_t size);
// The code page text bytes are read in when glyphs are drawn (Windows-1252 unless another
// language set needs another one); fonts made afterwards use it.
void SetFontCodePage(int codePage);
int FontCodePage();
// Lays out and draws the characters of the sets. False when no face could be found (the
// sheet is then empty, every glyph zero-sized).
bool BuildGlyphSheet(uint32_t sets, const char* face, int32_t size, bool bold, bool underline,
                     GlyphSheet& out);

class Font {
public:
    virtual ~Font() = default;

    // A new D3D8Font; the caller owns it. Its glyph texture is made through `textures` (the
    // render facility's texture manager); without one the font measures but draws nothing.
    static Font* Create(D3D8TextureManager* textures, uint32_t sets, const SharedString& face, int32_t size,
                        bool bold, bool underline);
    // Frees a font made by Create (the engine's default-font deleter).
    static void Delete(Font* font) { delete font; }

    // Sum of (right - left) over the text's characters; characters outside the sets count 0.
    double GetTextWidth(const SharedString& text) const;
    // The same over a range of the text (clamped to the text).
    double GetRangeWidth(const SharedString& text, const TextRange& range) const;
    // The first index of the range at which the widths so far use up `available` (the
    // remaining width drops to 0 or below); start + length when the range fits.
    int32_t FindBreak(const SharedString& text, double available, const TextRange& range) const;

    float CharWidth(uint8_t c) const { return glyphs[c].right - glyphs[c].left; }

    GlyphRect glyphs[256];
    TextureHandle texture;  // the glyph texture (empty without a device)
    int32_t size = 0;
    int32_t lineHeight = 0;  // pixels from one line to the next
    int32_t textureWidth = 0, textureHeight = 0;

protected:
    Font() = default;
};

// The kind Font::Create makes: fills the table and uploads the texture (through the texture
// manager, when there is one) in its constructor.
class D3D8Font : public Font {
public:
    D3D8Font(D3D8TextureManager* textures, uint32_t sets, const SharedString& face, int32_t size, bool bold,
             bool underline);

private:
    void Upload(D3D8TextureManager& textures, const GlyphSheet& sheet, const SharedString& face);
};

// Clamps a range to a text of `length` characters.
TextRange ClampRange(const TextRange& range, int32_t length);
