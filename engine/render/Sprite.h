#pragma once
// A 2-D picture for the screen. A picture may be larger than the biggest texture the device
// accepts, so a sprite is a grid of frames, each a rectangle of the picture with a texture of
// its own (row by row from the top, left to right within a row).
#include <cstdint>
#include <vector>

#include "engine/render/TextureTypes.h"

struct SpriteFrame {
    int32_t left = 0, top = 0, right = 0, bottom = 0;  // picture pixels, right/bottom exclusive
    TextureHandle* texture = nullptr;                  // owned by the frame's sprite
};

class Sprite {
public:
    Sprite() = default;
    ~Sprite();
    Sprite(const Sprite&) = delete;
    Sprite& operator=(const Sprite&) = delete;

    // A new sprite with the same size and grid whose frames hold new handles on the same
    // texture objects.
    Sprite* Clone() const;

    int32_t width = 0, height = 0;
    std::vector<SpriteFrame> frames;
    int32_t columns = 0, rows = 0;
};

// A one-frame sprite over the whole picture of a loaded texture; the sprite takes over the
// handle. Null (and the handle deleted) when the handle holds no picture.
Sprite* SpriteOverTexture(TextureHandle* handle);

// Tile sizes along one side: as large as the device allows, the rest cut into halvings of
// the maximum (300 with a maximum of 256: 256, 32, 8, 4).
std::vector<int32_t> SpriteTileSizes(int32_t length, int32_t maximum);
