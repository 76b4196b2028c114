#include "engine/render/Sprite.h"

#include "engine/render/D3D8TextureManager.h"

Sprite::~Sprite() {
    for (SpriteFrame& f : frames) delete f.texture;
}

Sprite* Sprite::Clone() const {
    auto* copy = new Sprite();
    copy->width = width;
    copy->height = height;
    copy->columns = columns;
    copy->rows = rows;
    copy->frames = frames;
    for (SpriteFrame& f : copy->frames) f.texture = f.texture ? f.texture->Share() : nullptr;
    return copy;
}

Sprite* SpriteOverTexture(TextureHandle* handle) {
    if (!handle) return nullptr;
    const D3D8Texture* texture = handle->DeviceTexture();
    if (!texture || texture->storedWidth <= 0 || texture->storedHeight <= 0) {
        delete handle;
        return nullptr;
    }
    auto* sprite = new Sprite();
    sprite->width = texture->storedWidth;
    sprite->height = texture->storedHeight;
    sprite->columns = sprite->rows = 1;
    sprite->frames.push_back(SpriteFrame{0, 0, texture->storedWidth, texture->storedHeight, handle});
    return sprite;
}

std::vector<int32_t> SpriteTileSizes(int32_t length, int32_t maximum) {
    std::vector<int32_t> tiles;
    if (maximum < 1) maximum = 1;
    for (int32_t remaining = length; remaining > 0;) {
        int32_t tile = maximum;
        while (tile > remaining) tile /= 2;
        tiles.push_back(tile);
        remaining -= tile;
    }
    return tiles;
}
