#pragma once
// Every 2-D draw of the program (menu pictures, cursor, HUD, text glyphs, filled rectangles,
// the console) goes through the sprite renderer, a member of the render facility. Quads of
// pre-transformed screen-space vertices are queued and drawn in one call per batch: a batch
// ends when 5000 quads are queued, when the blend mode or the texture changes, and at the end
// of the frame (Flush).
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/Font.h"

class Sprite;
class RenderFacility;
class ShaderPassSet;
class TextureHandle;
class D3D8Texture;
namespace gfx {
class Device;
class Buffer;
}  // namespace gfx

// Draw flags.
enum : uint8_t {
    kSpriteAlpha = 0x01,     // alpha-blended pass
    kSpriteAdditive = 0x04,  // additive pass (alpha wins when both are set)
    kSpriteMirrorV = 0x08,   // mirror vertically
    kSpriteMirrorH = 0x10,   // mirror horizontally
};

// Screen anchor flags: 0x02 / 0x04 add half / all of the screen height to y, 0x10 / 0x20 half
// / all of the screen width to x (the half wins). As a sprite's own alignment the same bits
// subtract half or all of its size. 9 places plainly at the top left.
enum : int32_t {
    kAnchorHalfHeight = 0x02,
    kAnchorHeight = 0x04,
    kAnchorHalfWidth = 0x10,
    kAnchorWidth = 0x20,
    kAnchorTopLeft = 0x09,
};

// A rectangle of four floats x0, y0, x1, y1 (screen pixels).
struct RectF {
    float x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// Two rows of a 2x2 transform.
struct Transform2 {
    float m00 = 1, m01 = 0, m10 = 0, m11 = 1;
};

class SpriteRenderer {
public:
    virtual ~SpriteRenderer() = default;
    // Nullable source rectangles are picture pixels; a null colour is opaque white.
    virtual void DrawSprite(const Sprite* sprite, const Rect* source, const Vector2& position,
                            const Color* color, uint8_t flags) = 0;
    virtual void DrawSpriteRect(const Sprite* sprite, const RectF* destination, const Rect* source,
                                const Color* color, uint8_t flags) = 0;
    virtual void DrawSpriteEx(const Sprite* sprite, const Rect* source, const Vector2& position,
                              const Transform2& transform, const Color* color, uint8_t flags) = 0;
    virtual void DrawQuad(const RectF* rect, const Color* color) = 0;
    virtual void FillRect(const RectF* rect, const Color& color) = 0;
    virtual void Flush() = 0;

    // Anchored forms (screen size from the facility).
    void DrawSpriteAnchored(const Sprite* sprite, const Rect* source, int32_t align,
                            const Vector2& position, int32_t anchor, const Color* color, uint8_t flags);
    void DrawSpriteExAnchored(const Sprite* sprite, const Rect* source, const Vector2& position,
                              const Transform2& transform, int32_t anchor, const Color* color,
                              uint8_t flags);
    void FillRectAnchored(const RectF* rect, int32_t anchor, const Color& color);
    // Text glyph by glyph from the font (null: the engine's default font), left to right from
    // the position; stops at a character 0. With shadow, each glyph is first drawn in black at
    // half the colour's alpha 5 pixels right and 2 down.
    void DrawText(const SharedString& text, const Vector2& position, int32_t anchor,
                  const Color* color, const Font* font, bool shadow);
    void DrawTextRange(const SharedString& text, const TextRange& range, const Vector2& position,
                       int32_t anchor, const Color* color, const Font* font, bool shadow);

    // The anchor offset for the current screen size.
    Vector2 AnchorOffset(int32_t anchor) const;
    virtual int32_t ScreenWidth() const = 0;
    virtual int32_t ScreenHeight() const = 0;

protected:
    // One glyph-sized piece of a texture (the text path).
    virtual void DrawTexturePiece(TextureHandle* texture, int32_t textureWidth, int32_t textureHeight,
                                  const Rect& source, const Vector2& position, const Color* color,
                                  uint8_t flags) = 0;
};

// The screen-space quad vertex (pre-transformed, diffuse, one coordinate set).
struct SpriteVertex {
    float x, y, z, rhw;
    uint32_t color;  // 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(SpriteVertex) == 28);

// Over a D3D8RenderFacility it goes through the facility's state caches and takes part in
// its flushes and device resets; over any other facility it talks to the device directly.
class D3D8SpriteRenderer : public SpriteRenderer, public DeviceClient {
public:
    static constexpr int32_t kMaxQuads = 5000;
    static constexpr uint32_t kVertexFormat = 0x144;  // XYZRHW | DIFFUSE | TEX1

    D3D8SpriteRenderer(RenderFacility& facility, gfx::Device& device);
    ~D3D8SpriteRenderer() override;

    void DrawSprite(const Sprite* sprite, const Rect* source, const Vector2& position,
                    const Color* color, uint8_t flags) override;
    void DrawSpriteRect(const Sprite* sprite, const RectF* destination, const Rect* source,
                        const Color* color, uint8_t flags) override;
    void DrawSpriteEx(const Sprite* sprite, const Rect* source, const Vector2& position,
                      const Transform2& transform, const Color* color, uint8_t flags) override;
    // Covers (x0, y0)..(x1, y1); null is the whole screen.
    void DrawQuad(const RectF* rect, const Color* color) override;
    void FillRect(const RectF* rect, const Color& color) override;
    void Flush() override;

    int32_t ScreenWidth() const override;
    int32_t ScreenHeight() const override;

    // Buffers: made by the constructor; released before a device reset and made again after.
    bool CreateBuffers();
    void ReleaseBuffers();
    void OnDeviceLost() override { ReleaseBuffers(); }
    void OnDeviceRestored() override { CreateBuffers(); }

    int32_t QueuedQuads() const { return count_; }
    int32_t BlendMode() const { return mode_; }

protected:
    void DrawTexturePiece(TextureHandle* texture, int32_t textureWidth, int32_t textureHeight,
                          const Rect& source, const Vector2& position, const Color* color,
                          uint8_t flags) override;

private:
    // Makes `texture` (null: none) current for the queue and selects the mode of the flags.
    void Prepare(TextureHandle* texture, int32_t mode);
    // Queues one quad with corners in vertex order (left top, left bottom, right bottom,
    // right top).
    void Queue(const Vector2 corners[4], uint32_t color, float u0, float v0, float u1, float v1);
    // Picture-space pieces of a sprite clipped to the source: calls fn(frame, clipped rect).
    template <typename Fn>
    void ForEachPiece(const Sprite* sprite, const Rect& source, Fn&& fn);
    Vector2 ViewportOrigin() const;

    RenderFacility& facility_;
    D3D8RenderFacility* cached_;  // the same facility when it keeps device-state caches
    gfx::Device& device_;
    ShaderPassSet* passSets_[3] = {};
    int32_t mode_ = 0;
    int32_t count_ = 0;
    // The first quad of the vertex buffer that no batch since the last discard has used.
    int32_t firstFree_ = 0;
    gfx::Buffer* vertexBuffer_ = nullptr;
    gfx::Buffer* indexBuffer_ = nullptr;
    // Queued vertices, uploaded in one lock per batch.
    std::vector<SpriteVertex> staging_;
    // The device texture the queued quads use (nullptr: none).
    const D3D8Texture* queuedTexture_ = nullptr;
    bool haveTexture_ = false;
};

// Packs a colour (null: opaque white) into the device's 0xAARRGGBB.
uint32_t PackSpriteColor(const Color* color);
