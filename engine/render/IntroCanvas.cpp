#include "engine/render/IntroCanvas.h"

#include "engine/render/D3D8TextureManager.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteRenderer.h"

RenderIntroCanvas::RenderIntroCanvas(RenderFacility& renderer) : renderer_(renderer) {}

RenderIntroCanvas::~RenderIntroCanvas() { End(); }

bool RenderIntroCanvas::MaxPictureSize(int32_t& width, int32_t& height) {
    D3D8TextureManager* textures = renderer_.GetTextureManager();
    if (!renderer_.DeviceReady() || !textures || !textures->Device() || !renderer_.GetSpriteRenderer()) return false;
    width = textures->maxWidth;
    height = textures->maxHeight;
    return width > 0 && height > 0;
}

bool RenderIntroCanvas::Begin(int32_t width, int32_t height) {
    End();
    D3D8TextureManager* textures = renderer_.GetTextureManager();
    if (!textures || width <= 0 || height <= 0) return false;
    // One level, black until the first picture arrives; clamped at the edges, so that the
    // stretched picture's border does not pick up the opposite edge.
    TextureRecord record;
    record.name = SharedString("Intro video");
    record.format = kFormatA8R8G8B8;
    record.highQuality = 1;
    record.width = width;
    record.height = height;
    record.levels.push_back(TextureLevel{width, height, TrackedVector<uint8_t>(size_t(width) * size_t(height) * 4)});
    D3D8Texture* texture = textures->Load(&record);
    if (!texture->texture) {
        textures->Release(texture);
        return false;
    }
    texture_ = texture;
    sprite_ = std::make_unique<Sprite>();
    sprite_->width = width;
    sprite_->height = height;
    sprite_->columns = sprite_->rows = 1;
    sprite_->frames.push_back(SpriteFrame{0, 0, width, height, new TextureHandle(new TextureRef(texture))});
    return true;
}

void RenderIntroCanvas::ShowPicture(const uint8_t* pixels, int32_t pitch) {
    D3D8TextureManager* textures = renderer_.GetTextureManager();
    SpriteRenderer* sprites = renderer_.GetSpriteRenderer();
    if (!texture_ || !textures || !sprites) return;
    textures->UpdatePixels(texture_, pixels, pitch, kFormatA8R8G8B8);
    renderer_.BeginScene();
    renderer_.SetViewport(nullptr);
    const RectF screen{0.0f, 0.0f, float(renderer_.ScreenWidth()), float(renderer_.ScreenHeight())};
    sprites->DrawSpriteRect(sprite_.get(), &screen, nullptr, nullptr, 0);
    renderer_.EndScene();
}

void RenderIntroCanvas::End() {
    // The sprite's handle goes first: the texture itself belongs to the texture manager.
    sprite_.reset();
    if (texture_) {
        if (D3D8TextureManager* textures = renderer_.GetTextureManager()) textures->Release(texture_);
        texture_ = nullptr;
    }
}
