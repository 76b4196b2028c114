#include "engine/render/ConsoleCanvas.h"

#include "engine/core/Engine.h"
#include "engine/core/EngineCommands.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"

namespace {

RenderFacility* Renderer() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->renderer : nullptr;
}

const Font* EngineFont() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->defaultFont : nullptr;
}

SpriteRenderer* Sprites() {
    RenderFacility* renderer = Renderer();
    return renderer ? renderer->GetSpriteRenderer() : nullptr;
}

} // namespace

RenderConsoleCanvas::RenderConsoleCanvas() = default;
RenderConsoleCanvas::~RenderConsoleCanvas() = default;

void RenderConsoleCanvas::LoadBackground(const SharedString& name) {
    // Whatever an earlier device left goes first: a failed load draws no background at all.
    background_.reset();
    background_.reset(SpriteOverTexture(TextureFactory::Instance().GetByName(name, true)));
}

int32_t RenderConsoleCanvas::ScreenWidth() {
    RenderFacility* renderer = Renderer();
    return renderer ? renderer->ScreenWidth() : 0;
}

int32_t RenderConsoleCanvas::ScreenHeight() {
    RenderFacility* renderer = Renderer();
    return renderer ? renderer->ScreenHeight() : 0;
}

Rect RenderConsoleCanvas::Viewport() {
    RenderFacility* renderer = Renderer();
    if (!renderer) return Rect{};
    return Rect{0, 0, renderer->ViewportWidth(), renderer->ViewportHeight()};
}

int32_t RenderConsoleCanvas::CharacterHeight() {
    const Font* font = EngineFont();
    if (!font) return 0;
    return font->lineHeight > 0 ? font->lineHeight : font->size;
}

int32_t RenderConsoleCanvas::TextWidth(const SharedString& text, int32_t start, int32_t length) {
    const Font* font = EngineFont();
    return font ? int32_t(font->GetRangeWidth(text, TextRange{start, length})) : 0;
}

int32_t RenderConsoleCanvas::FindBreak(const SharedString& text, int32_t start, int32_t length, int32_t maxWidth) {
    const Font* font = EngineFont();
    return font ? font->FindBreak(text, double(maxWidth), TextRange{start, length}) : start + length;
}

void RenderConsoleCanvas::DrawBackground(const Rect& area, Color color) {
    SpriteRenderer* sprites = Sprites();
    if (!sprites || !background_) return;
    const RectF destination{float(area.left), float(area.top), float(area.right), float(area.bottom)};
    sprites->DrawSpriteRect(background_.get(), &destination, nullptr, &color, kSpriteAlpha);
}

void RenderConsoleCanvas::DrawText(int32_t x, int32_t y, const SharedString& text, int32_t start, int32_t length,
                                   Color color) {
    SpriteRenderer* sprites = Sprites();
    const Font* font = EngineFont();
    if (!sprites || !font) return;
    sprites->DrawTextRange(text, TextRange{start, length}, Vector2{float(x), float(y)}, kAnchorTopLeft, &color, font,
                           false);
}

void InstallConsoleCanvas(ZKEngine& engine) {
    static RenderConsoleCanvas* canvas = new RenderConsoleCanvas; // outlives every console
    if (engine.console) engine.console->SetCanvas(canvas);
    SetTextureListings([] { TextureFactory::Instance().ListLoaded(); },
                       [] { TextureFactory::Instance().ListUnused(); });
}
