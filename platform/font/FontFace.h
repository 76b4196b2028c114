#pragma once
// One font face at one pixel size, for building glyph textures. The face is found by family
// name through fontconfig (whose metric aliases give "Arial" as Liberation Sans, which has
// Arial's advance widths and vertical metrics) and rasterised by FreeType, antialiased.
//
// Metrics follow the character-height convention the engine's layouts were made with: the em
// is the pixel size asked for, the line height is the rounded Windows ascent plus the
// rounded Windows descent of the face, advances are hinted whole pixels.
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

class FontFace {
public:
    // Null (nothing found or the file does not load) on failure. A face that is not bold
    // although bold was asked is emboldened.
    static std::unique_ptr<FontFace> Open(const char* family, bool bold, int32_t emPixels,
                                          int codePage = 1252);
    ~FontFace();
    FontFace(const FontFace&) = delete;
    FontFace& operator=(const FontFace&) = delete;

    const std::string& FilePath() const { return path_; }
    int32_t Em() const { return em_; }
    int32_t Ascent() const { return ascent_; }
    int32_t LineHeight() const { return lineHeight_; }
    // Advance of a text byte in whole pixels (undefined bytes: the missing glyph's).
    int32_t Advance(uint8_t byte);
    // Draws a text byte's glyph with its cell's top-left corner at (x, y) into an 8-bit
    // coverage buffer (width x height, rows top first), combining with max. With underline,
    // the underline is drawn across [x, x + advance). Parts outside the buffer are clipped.
    void Draw(uint8_t byte, uint8_t* buffer, int32_t width, int32_t height, int32_t x, int32_t y,
              bool underline);

private:
    FontFace() = default;
    struct Impl;
    std::unique_ptr<Impl> impl_;
    std::string path_;
    int32_t em_ = 0;
    int32_t ascent_ = 0;
    int32_t lineHeight_ = 0;
    int codePage_ = 1252;
};

}  // namespace plat
