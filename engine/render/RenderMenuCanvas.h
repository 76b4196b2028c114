#pragma once
// The menu toolkit's drawing over the renderer: pictures from the texture factory drawn as
// sprites, text in the given fonts (the engine's default font for none) and the facility's
// sprite renderer.
#include <memory>

#include "engine/core/MenuCanvas.h"

class Font;
class RenderFacility;
class Sprite;
class SpriteRenderer;
class ZKEngine;

class RenderMenuPicture final : public MenuPicture {
public:
    explicit RenderMenuPicture(Sprite* sprite);
    ~RenderMenuPicture() override;
    int32_t Width() const override;
    int32_t Height() const override;
    const Sprite* GetSprite() const { return sprite_.get(); }

private:
    std::unique_ptr<Sprite> sprite_;
};

class RenderMenuCanvas final : public MenuCanvas {
public:
    // Draws through the facility's sprite renderer; `defaultFont` stands for a null font.
    RenderMenuCanvas(RenderFacility* renderer, const Font* defaultFont);

    MenuPicture* LoadPicture(const SharedString& name, uint32_t options) override;
    int32_t ScreenWidth() override;
    int32_t ScreenHeight() override;
    double TextWidth(const Font* font, const SharedString& text, int32_t start, int32_t length) override;
    int32_t FontSize(const Font* font) override;
    void Clear(uint32_t flags) override;
    void DrawBackground(const MenuPicture* picture, const Color* color, uint8_t flags) override;
    void DrawSprite(const MenuPicture* picture, const Rect* source, const Vector2& position, const Color* color,
                    uint8_t flags) override;
    void DrawSpriteAnchored(const MenuPicture* picture, const Rect* source, int32_t align, const Vector2& position,
                            int32_t anchor, const Color* color, uint8_t flags) override;
    void DrawSpriteStretched(const MenuPicture* picture, const MenuRect& destination, const Color* color,
                             uint8_t flags) override;
    void DrawSpriteTurned(const MenuPicture* picture, const Vector2& centre, int32_t quarterTurns, const Color* color,
                          uint8_t flags) override;
    void FillRect(const MenuRect& rect, const Color& color) override;
    void FillScreen(const Color& color) override;
    void DrawText(const SharedString& text, const Vector2& position, int32_t anchor, const Color* color,
                  const Font* font, bool shadow) override;

private:
    const Font* FontOrDefault(const Font* font) const { return font ? font : defaultFont_; }
    SpriteRenderer* Sprites() const;

    RenderFacility* renderer_;
    const Font* defaultFont_;
};

// Makes the menus draw through the engine's renderer with its default font (the canvas is
// kept until the next install). Call once the device and the default font exist.
void InstallMenuCanvas(ZKEngine& engine);
