#pragma once
// A menu canvas that records every draw (kind, picture or text, position, colour, flags) and
// measures text at 8 pixels a character; pictures are fakes of a chosen size.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "engine/core/MenuCanvas.h"

namespace testing_support {

class FakePicture : public MenuPicture {
public:
    FakePicture(std::string pictureName, int32_t w, int32_t h) : name(std::move(pictureName)), width(w), height(h) {}
    int32_t Width() const override { return width; }
    int32_t Height() const override { return height; }
    std::string name;
    int32_t width, height;
};

struct DrawCall {
    std::string kind; // "clear", "background", "sprite", "anchored", "stretched", "turned", "fillrect",
                      // "fill", "text"
    std::string what; // the text, or the picture's name
    float x = 0, y = 0;
    float x1 = 0, y1 = 0; // the far corner of a stretched picture or filled rectangle
    int32_t anchor = 0;   // the anchor; the quarter turns of a turned picture
    bool hasColor = false;
    Color color;
    uint8_t flags = 0;
    bool hasSource = false;
    Rect source;
    const Font* font = nullptr;
};

class RecordingCanvas : public MenuCanvas {
public:
    static constexpr int32_t kCharWidth = 8;
    static constexpr int32_t kFontSize = 16;

    MenuPicture* LoadPicture(const SharedString& name, uint32_t options) override {
        loads.push_back(name.c_str());
        EXPECT_EQ(options, 1u);
        auto it = sizes.find(name.c_str());
        const Point2i size = it == sizes.end() ? Point2i{64, 16} : it->second;
        return new FakePicture(name.c_str(), size.x, size.y);
    }
    int32_t ScreenWidth() override { return 800; }
    int32_t ScreenHeight() override { return 600; }
    double TextWidth(const Font* font, const SharedString& text, int32_t start, int32_t length) override {
        const int32_t n = length < 0 ? text.Length() - start : std::min(length, text.Length() - start);
        return double(std::max(n, 0) * CharWidth(font));
    }
    int32_t FontSize(const Font* font) override {
        auto it = fontSizes.find(font);
        return it == fontSizes.end() ? kFontSize : it->second;
    }
    void Clear(uint32_t flags) override { Add("clear", std::to_string(flags), {}, 0, nullptr, 0, nullptr, nullptr); }
    void DrawBackground(const MenuPicture* p, const Color* c, uint8_t f) override {
        Add("background", Name(p), {}, 0, c, f, nullptr, nullptr);
    }
    void DrawSprite(const MenuPicture* p, const Rect* s, const Vector2& at, const Color* c, uint8_t f) override {
        Add("sprite", Name(p), at, 0, c, f, s, nullptr);
    }
    void DrawSpriteAnchored(const MenuPicture* p, const Rect* s, int32_t align, const Vector2& at, int32_t anchor,
                            const Color* c, uint8_t f) override {
        EXPECT_EQ(align, anchor);
        Add("anchored", Name(p), at, anchor, c, f, s, nullptr);
    }
    void DrawSpriteStretched(const MenuPicture* p, const MenuRect& r, const Color* c, uint8_t f) override {
        Add("stretched", Name(p), {r.x0, r.y0}, 0, c, f, nullptr, nullptr);
        calls.back().x1 = r.x1;
        calls.back().y1 = r.y1;
    }
    void DrawSpriteTurned(const MenuPicture* p, const Vector2& centre, int32_t turns, const Color* c,
                          uint8_t f) override {
        Add("turned", Name(p), centre, turns, c, f, nullptr, nullptr);
    }
    void FillRect(const MenuRect& r, const Color& c) override {
        Add("fillrect", "", {r.x0, r.y0}, 0, &c, 0, nullptr, nullptr);
        calls.back().x1 = r.x1;
        calls.back().y1 = r.y1;
    }
    void FillScreen(const Color& c) override { Add("fill", "", {}, 0, &c, 0, nullptr, nullptr); }
    void DrawText(const SharedString& text, const Vector2& at, int32_t anchor, const Color* c, const Font* font,
                  bool shadow) override {
        EXPECT_TRUE(shadow);
        Add("text", text.c_str(), at, anchor, c, 0, nullptr, font);
    }

    int32_t CharWidth(const Font* font) const {
        auto it = charWidths.find(font);
        return it == charWidths.end() ? kCharWidth : it->second;
    }
    // The draws of one kind, or of the text / picture named.
    std::vector<DrawCall> Of(const std::string& kind, const std::string& what = "") const {
        std::vector<DrawCall> out;
        for (const DrawCall& d : calls)
            if (d.kind == kind && (what.empty() || d.what == what)) out.push_back(d);
        return out;
    }
    std::vector<std::string> Kinds() const {
        std::vector<std::string> out;
        for (const DrawCall& d : calls) out.push_back(d.kind + " " + d.what);
        return out;
    }

    std::map<std::string, Point2i> sizes;
    std::map<const Font*, int32_t> charWidths;
    std::map<const Font*, int32_t> fontSizes;
    std::vector<std::string> loads;
    std::vector<DrawCall> calls;

private:
    static std::string Name(const MenuPicture* p) { return p ? static_cast<const FakePicture*>(p)->name : "null"; }
    void Add(const char* kind, std::string what, const Vector2& at, int32_t anchor, const Color* c, uint8_t f,
             const Rect* s, const Font* font) {
        DrawCall d;
        d.kind = kind;
        d.what = std::move(what);
        d.x = at.x;
        d.y = at.y;
        d.anchor = anchor;
        d.hasColor = c != nullptr;
        if (c) d.color = *c;
        d.flags = f;
        d.hasSource = s != nullptr;
        if (s) d.source = *s;
        d.font = font;
        calls.push_back(d);
    }
};

} // namespace testing_support
