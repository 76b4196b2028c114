#pragma once
// What the menu toolkit draws and measures with. Pictures, fonts and the sprite renderer live
// in the render library, which provides the canvas; without one the menus keep working
// (selection, input, sounds) and draw nothing.
#include <cstdint>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class Font;

// A picture loaded for the menus; its owner deletes it.
class MenuPicture {
public:
    virtual ~MenuPicture() = default;
    virtual int32_t Width() const = 0;
    virtual int32_t Height() const = 0;
};

// Screen anchor and alignment flags of the canvas's anchored draws: 0x02 / 0x04 add half / all
// of the screen height to y, 0x10 / 0x20 half / all of the width to x; 9 places plainly.
enum : int32_t {
    kMenuAnchorTopLeft = 0x09,
    kMenuAnchorCentre = 0x12,
};

// Sprite draw flags: 0x01 alpha-blended; none opaque.
enum : uint8_t { kMenuDrawAlpha = 0x01 };

// A screen rectangle in pixels: (x0, y0) top left, (x1, y1) bottom right.
struct MenuRect {
    float x0 = 0.0f, y0 = 0.0f, x1 = 0.0f, y1 = 0.0f;
};

class MenuCanvas {
public:
    virtual ~MenuCanvas() = default;

    // A picture from the texture factory (options: bit 0 flips the rows); owned by the caller.
    // Null when nothing could be loaded.
    virtual MenuPicture* LoadPicture(const SharedString& name, uint32_t options) = 0;
    virtual int32_t ScreenWidth() = 0;
    virtual int32_t ScreenHeight() = 0;
    // Width in the font (null: the engine's font) of `length` characters from `start`; a
    // negative length measures to the end.
    virtual double TextWidth(const Font* font, const SharedString& text, int32_t start = 0,
                             int32_t length = -1) = 0;
    // The font's size in pixels (the height of its hit rectangles).
    virtual int32_t FontSize(const Font* font) = 0;

    // Clears the renderer's buffers (1 target, 2 depth, 4 stencil).
    virtual void Clear(uint32_t flags) = 0;
    // The picture stretched over the whole screen; a null colour is opaque white.
    virtual void DrawBackground(const MenuPicture* picture, const Color* color, uint8_t flags) = 0;
    // The picture (or its source rectangle) at the position.
    virtual void DrawSprite(const MenuPicture* picture, const Rect* source, const Vector2& position,
                            const Color* color, uint8_t flags) = 0;
    // The picture aligned on itself by `align` and placed relative to the screen by `anchor`.
    virtual void DrawSpriteAnchored(const MenuPicture* picture, const Rect* source, int32_t align,
                                    const Vector2& position, int32_t anchor, const Color* color,
                                    uint8_t flags) = 0;
    // The whole picture stretched over the rectangle.
    virtual void DrawSpriteStretched(const MenuPicture* picture, const MenuRect& destination, const Color* color,
                                     uint8_t flags) = 0;
    // The picture at natural size centred on the point, turned clockwise by quarter turns.
    virtual void DrawSpriteTurned(const MenuPicture* picture, const Vector2& centre, int32_t quarterTurns,
                                  const Color* color, uint8_t flags) = 0;
    // Fills the rectangle (blended unless the colour is opaque).
    virtual void FillRect(const MenuRect& rect, const Color& color) = 0;
    // Fills the whole screen.
    virtual void FillScreen(const Color& color) = 0;
    // Text placed by the anchor flags; with shadow, each glyph first in black behind it.
    virtual void DrawText(const SharedString& text, const Vector2& position, int32_t anchor,
                          const Color* color, const Font* font, bool shadow) = 0;
};

// The canvas every menu screen and widget draws through (null: none). The program installs
// one once its renderer exists; tests install their own.
void SetMenuCanvas(MenuCanvas* canvas);
MenuCanvas* GetMenuCanvas();
