#pragma once
// The intro video's drawing over the renderer: one texture of the clip's picture size,
// updated in place for every picture and drawn with the sprite renderer over the whole screen.
#include <memory>

#include "engine/core/IntroMovie.h"

class D3D8Texture;
class RenderFacility;
class Sprite;

class RenderIntroCanvas final : public IntroCanvas {
public:
    explicit RenderIntroCanvas(RenderFacility& renderer);
    ~RenderIntroCanvas() override;

    bool MaxPictureSize(int32_t& width, int32_t& height) override;
    bool Begin(int32_t width, int32_t height) override;
    void ShowPicture(const uint8_t* pixels, int32_t pitch) override;
    void End() override;

private:
    RenderFacility& renderer_;
    D3D8Texture* texture_ = nullptr;
    std::unique_ptr<Sprite> sprite_;
};
