#include "engine/render/TextDraw.h"

#include "engine/core/Engine.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"

void SetViewportAnchored(RenderFacility& facility, const Rect* rect, int32_t anchor) {
    if (!rect) {
        facility.SetViewport(nullptr);
        return;
    }
    const int32_t w = facility.ScreenWidth(), h = facility.ScreenHeight();
    const int32_t dx = (anchor & kAnchorHalfWidth) ? w / 2 : (anchor & kAnchorWidth) ? w : 0;
    const int32_t dy = (anchor & kAnchorHalfHeight) ? h / 2 : (anchor & kAnchorHeight) ? h : 0;
    const Rect moved{rect->left + dx, rect->top + dy, rect->right + dx, rect->bottom + dy};
    facility.SetViewport(&moved);
}

void DrawCounterText(RenderFacility& facility, const SharedString& text, float x, float y) {
    if (SpriteRenderer* sprites = facility.GetSpriteRenderer())
        sprites->DrawText(text, {x, y}, kAnchorWidth | 0x01, nullptr, nullptr, true); // shadowed
}

void LoadDefaultRenderResources(ZKEngine& engine) {
    // The factory keeps the texture; the handle it gives us is not needed.
    delete TextureFactory::Instance().GetByName(SharedString("Missing.ZKT"), true);
    D3D8TextureManager* textures = engine.renderer ? engine.renderer->GetTextureManager() : nullptr;
    engine.SetDefaultFont(Font::Create(textures, kFontAll, SharedString("Arial"), 15, true, false), Font::Delete);
    engine.SetCounterTextDrawer(DrawCounterText);
}
