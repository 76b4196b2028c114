#include "engine/render/Sprite.h"

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
