#include "engine/render/RenderMenuCanvas.h"

#include "engine/core/Engine.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"

namespace {

const Sprite* SpriteOf(const MenuPicture* picture) {
    return picture ? static_cast<const RenderMenuPicture*>(picture)->GetSprite() : nullptr;
}

} // namespace

RenderMenuPicture::RenderMenuPicture(Sprite* sprite) : sprite_(sprite) {}
RenderMenuPicture::~RenderMenuPicture() = default;
int32_t RenderMenuPicture::Width() const { return sprite_ ? sprite_->width : 0; }
int32_t RenderMenuPicture::Height() const { return sprite_ ? sprite_->height : 0; }

RenderMenuCanvas::RenderMenuCanvas(RenderFacility* renderer, const Font* defaultFont)
    : renderer_(renderer), defaultFont_(defaultFont) {}

SpriteRenderer* RenderMenuCanvas::Sprites() const { return renderer_ ? renderer_->GetSpriteRenderer() : nullptr; }

MenuPicture* RenderMenuCanvas::LoadPicture(const SharedString& name, uint32_t options) {
    Sprite* sprite = SpriteOverTexture(TextureFactory::Instance().Get(name, &options, true));
    return sprite ? new RenderMenuPicture(sprite) : nullptr;
}

int32_t RenderMenuCanvas::ScreenWidth() {
    return renderer_ ? renderer_->ScreenWidth() : 0;
}

int32_t RenderMenuCanvas::ScreenHeight() {
    return renderer_ ? renderer_->ScreenHeight() : 0;
}

double RenderMenuCanvas::TextWidth(const Font* font, const SharedString& text, int32_t start, int32_t length) {
    font = FontOrDefault(font);
    if (!font) return 0.0;
    if (start == 0 && length < 0) return font->GetTextWidth(text);
    return font->GetRangeWidth(text, TextRange{start, length < 0 ? text.Length() - start : length});
}

int32_t RenderMenuCanvas::FontSize(const Font* font) {
    font = FontOrDefault(font);
    return font ? font->size : 0;
}

void RenderMenuCanvas::Clear(uint32_t flags) {
    if (renderer_) renderer_->Clear(flags);
}

void RenderMenuCanvas::DrawBackground(const MenuPicture* picture, const Color* color, uint8_t flags) {
    SpriteRenderer* sprites = Sprites();
    if (sprites && SpriteOf(picture)) sprites->DrawSpriteRect(SpriteOf(picture), nullptr, nullptr, color, flags);
}

void RenderMenuCanvas::DrawSprite(const MenuPicture* picture, const Rect* source, const Vector2& position,
                                  const Color* color, uint8_t flags) {
    SpriteRenderer* sprites = Sprites();
    if (sprites && SpriteOf(picture)) sprites->DrawSprite(SpriteOf(picture), source, position, color, flags);
}

void RenderMenuCanvas::DrawSpriteAnchored(const MenuPicture* picture, const Rect* source, int32_t align,
                                          const Vector2& position, int32_t anchor, const Color* color,
                                          uint8_t flags) {
    SpriteRenderer* sprites = Sprites();
    if (sprites && SpriteOf(picture))
        sprites->DrawSpriteAnchored(SpriteOf(picture), source, align, position, anchor, color, flags);
}

void RenderMenuCanvas::DrawSpriteStretched(const MenuPicture* picture, const MenuRect& destination, const Color* color,
                                           uint8_t flags) {
    SpriteRenderer* sprites = Sprites();
    if (!sprites || !SpriteOf(picture)) return;
    const RectF rect{destination.x0, destination.y0, destination.x1, destination.y1};
    sprites->DrawSpriteRect(SpriteOf(picture), &rect, nullptr, color, flags);
}

void RenderMenuCanvas::DrawSpriteTurned(const MenuPicture* picture, const Vector2& centre, int32_t quarterTurns,
                                        const Color* color, uint8_t flags) {
    SpriteRenderer* sprites = Sprites();
    if (!sprites || !SpriteOf(picture)) return;
    // Screen y points down, so (cos, -sin; sin, cos) with a quarter turn's sine of 1 turns clockwise.
    static constexpr float kSin[4] = {0.0f, 1.0f, 0.0f, -1.0f};
    const int32_t turn = ((quarterTurns % 4) + 4) % 4;
    const float s = kSin[turn], c = kSin[(turn + 1) % 4];
    sprites->DrawSpriteEx(SpriteOf(picture), nullptr, centre, Transform2{c, -s, s, c}, color, flags);
}

void RenderMenuCanvas::FillRect(const MenuRect& rect, const Color& color) {
    if (SpriteRenderer* sprites = Sprites()) {
        const RectF r{rect.x0, rect.y0, rect.x1, rect.y1};
        sprites->FillRect(&r, color);
    }
}

void RenderMenuCanvas::FillScreen(const Color& color) {
    if (SpriteRenderer* sprites = Sprites()) sprites->FillRect(nullptr, color);
}

void RenderMenuCanvas::DrawText(const SharedString& text, const Vector2& position, int32_t anchor, const Color* color,
                                const Font* font, bool shadow) {
    SpriteRenderer* sprites = Sprites();
    const Font* shown = FontOrDefault(font);
    if (sprites && shown) sprites->DrawText(text, position, anchor, color, shown, shadow);
}

void InstallMenuCanvas(ZKEngine& engine) {
    static std::unique_ptr<RenderMenuCanvas> canvas;
    SetMenuCanvas(nullptr);
    canvas = std::make_unique<RenderMenuCanvas>(engine.renderer, engine.defaultFont);
    SetMenuCanvas(canvas.get());
}
