#include "engine/render/SpriteRenderer.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/RenderStats.h"
#include "engine/render/ShaderTypes.h"
#include "engine/render/Sprite.h"
#include "platform/gfx/Device.h"

namespace {

constexpr uint32_t kQuadBytes = 4 * sizeof(SpriteVertex);

int32_t ModeOf(uint8_t flags) {
    if (flags & kSpriteAlpha) return 1;
    if (flags & kSpriteAdditive) return 2;
    return 0;
}

// A drawable texture: a handle whose object has a device texture.
const D3D8Texture* Drawable(const TextureHandle* handle) {
    const D3D8Texture* t = handle ? handle->DeviceTexture() : nullptr;
    return (t && t->texture) ? t : nullptr;
}

bool Intersect(const Rect& a, const Rect& b, Rect& out) {
    out = {std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    return out.left < out.right && out.top < out.bottom;
}

ShaderDescription SpriteShader(int32_t mode) {
    ShaderDescription d;
    d.lighting = 0;
    d.specular = 0;
    d.zWrite = 1;
    d.zFunc = 0;
    d.zParam = 0;
    d.stencilFunc = 0;
    d.alphaFunc = 0;
    d.stageMask = 1;
    for (uint32_t s = 0; s < 8; ++s) {
        ShaderStageDescription& st = d.stages[s];
        st.colorOp = st.alphaOp = 3;  // modulate
        st.colorArg1 = st.alphaArg1 = 2;  // texture
        st.colorArg2 = st.alphaArg2 = s == 0 ? 1 : 0;  // diffuse on stage 0, current after
        st.resultArg = 0;
        st.texCoord = s;
    }
    d.blend = mode != 0;
    d.srcBlend = mode ? 6 : 0;                   // SRCALPHA
    d.dstBlend = mode == 1 ? 7 : mode == 2 ? 1 : 0;  // INVSRCALPHA / ONE
    return d;
}

}  // namespace

uint32_t PackSpriteColor(const Color* c) { return c ? ToPacked(*c) : 0xFFFFFFFFu; } // null: opaque white

// ---------------------------------------------------------------------------------------------
// Anchoring and text, shared by every sprite renderer.

Vector2 SpriteRenderer::AnchorOffset(int32_t anchor) const {
    Vector2 o;
    if (anchor & kAnchorHalfWidth) o.x = float(ScreenWidth() / 2);
    else if (anchor & kAnchorWidth) o.x = float(ScreenWidth());
    if (anchor & kAnchorHalfHeight) o.y = float(ScreenHeight() / 2);
    else if (anchor & kAnchorHeight) o.y = float(ScreenHeight());
    return o;
}

void SpriteRenderer::DrawSpriteAnchored(const Sprite* sprite, const Rect* source, int32_t align,
                                        const Vector2& position, int32_t anchor, const Color* color,
                                        uint8_t flags) {
    if (!sprite) return;
    Vector2 p = position;
    if (align & kAnchorHalfWidth) p.x -= float(sprite->width / 2);
    else if (align & kAnchorWidth) p.x -= float(sprite->width);
    if (align & kAnchorHalfHeight) p.y -= float(sprite->height / 2);
    else if (align & kAnchorHeight) p.y -= float(sprite->height);
    const Vector2 o = AnchorOffset(anchor);
    DrawSprite(sprite, source, {p.x + o.x, p.y + o.y}, color, flags);
}

void SpriteRenderer::DrawSpriteExAnchored(const Sprite* sprite, const Rect* source,
                                          const Vector2& position, const Transform2& transform,
                                          int32_t anchor, const Color* color, uint8_t flags) {
    const Vector2 o = AnchorOffset(anchor);
    DrawSpriteEx(sprite, source, {position.x + o.x, position.y + o.y}, transform, color, flags);
}

void SpriteRenderer::FillRectAnchored(const RectF* rect, int32_t anchor, const Color& color) {
    if (!rect) {
        FillRect(nullptr, color);
        return;
    }
    const Vector2 o = AnchorOffset(anchor);
    const RectF moved{rect->x0 + o.x, rect->y0 + o.y, rect->x1 + o.x, rect->y1 + o.y};
    FillRect(&moved, color);
}

void SpriteRenderer::DrawText(const SharedString& text, const Vector2& position, int32_t anchor,
                              const Color* color, const Font* font, bool shadow) {
    DrawTextRange(text, {0, text.Length()}, position, anchor, color, font, shadow);
}

void SpriteRenderer::DrawTextRange(const SharedString& text, const TextRange& range,
                                   const Vector2& position, int32_t anchor, const Color* color,
                                   const Font* font, bool shadow) {
    if (!font) {
        ZKEngine* engine = ZKEngine::Get();
        font = engine ? engine->defaultFont : nullptr;
    }
    if (!font) return;
    const TextRange r = ClampRange(range, text.Length());
    const char* s = text.c_str();
    const Vector2 o = AnchorOffset(anchor);
    auto* texture = const_cast<TextureHandle*>(&font->texture);
    Color shade = Color::FromBytes(0, 0, 0, color ? uint8_t(color->a / 2) : 0x7F);
    int32_t x = int32_t(position.x);
    const float y = position.y;
    for (int32_t i = r.start; i < r.start + r.length; ++i) {
        const uint8_t c = uint8_t(s[i]);
        if (c == 0) break;
        const GlyphRect& g = font->glyphs[c];
        const Rect src{int32_t(g.left), int32_t(g.top), int32_t(g.right), int32_t(g.bottom)};
        if (shadow)
            DrawTexturePiece(texture, font->textureWidth, font->textureHeight, src,
                             {float(x + 5) + o.x, y + 2.0f + o.y}, &shade, kSpriteAlpha);
        DrawTexturePiece(texture, font->textureWidth, font->textureHeight, src,
                         {float(x) + o.x, y + o.y}, color, kSpriteAlpha);
        x += src.right - src.left;
    }
}

// ---------------------------------------------------------------------------------------------

D3D8SpriteRenderer::D3D8SpriteRenderer(RenderFacility& facility, gfx::Device& device)
    : facility_(facility), cached_(dynamic_cast<D3D8RenderFacility*>(&facility)), device_(device) {
    Debugger& log = Debugger::Instance();
    staging_.resize(size_t(kMaxQuads) * 4);
    CreateBuffers();
    log.Log(3, "D3D8SPRITERENDERER: Creating shaders...");
    ShaderDescription descriptions[3] = {SpriteShader(0), SpriteShader(1), SpriteShader(2)};
    log.Log(3, "D3D8SPRITERENDERER: Compiling shaders...");
    for (int32_t m = 0; m < 3; ++m) passSets_[m] = facility_.AddShader(descriptions[m]);
    mode_ = 0;
    if (cached_) cached_->AddDeviceClient(this);
    log.Log(3, "D3D8SPRITERENDERER: Inited successfully");
}

D3D8SpriteRenderer::~D3D8SpriteRenderer() {
    if (cached_) cached_->RemoveDeviceClient(this);
    ReleaseBuffers();
    if (indexBuffer_) device_.ReleaseBuffer(indexBuffer_);
    indexBuffer_ = nullptr;
}

bool D3D8SpriteRenderer::CreateBuffers() {
    Debugger& log = Debugger::Instance();
    log.Log(3, "D3D8SPRITERENDERER: Creating buffers...");
    count_ = 0;
    firstFree_ = 0;
    if (!vertexBuffer_)
        vertexBuffer_ = device_.CreateVertexBuffer(uint32_t(kMaxQuads) * kQuadBytes, kVertexFormat,
                                                   gfx::Pool::DEFAULT, true);
    if (!indexBuffer_) {
        // The index buffer survives resets (managed); only the dynamic vertices must go.
        indexBuffer_ = device_.CreateIndexBuffer(uint32_t(kMaxQuads) * 6 * 2, false, gfx::Pool::MANAGED, false);
        log.Log(3, "D3D8SPRITERENDERER: Filling buffers...");
        if (auto* idx = static_cast<uint16_t*>(device_.Lock(indexBuffer_, 0, uint32_t(kMaxQuads) * 12, 0))) {
            for (int32_t q = 0; q < kMaxQuads; ++q) {
                const uint16_t v = uint16_t(q * 4);
                uint16_t* o = idx + q * 6;
                o[0] = uint16_t(v + 1); o[1] = v; o[2] = uint16_t(v + 2);
                o[3] = uint16_t(v + 3); o[4] = uint16_t(v + 3); o[5] = uint16_t(v + 5);
            }
            device_.Unlock(indexBuffer_);
        }
    }
    if (!vertexBuffer_ || !indexBuffer_) {
        log.Message("D3D8SPRITERENDERER: Could not create buffers");
        return false;
    }
    return true;
}

void D3D8SpriteRenderer::ReleaseBuffers() {
    count_ = 0;
    if (vertexBuffer_) device_.ReleaseBuffer(vertexBuffer_);
    vertexBuffer_ = nullptr;
}

int32_t D3D8SpriteRenderer::ScreenWidth() const { return facility_.ScreenWidth(); }
int32_t D3D8SpriteRenderer::ScreenHeight() const { return facility_.ScreenHeight(); }

Vector2 D3D8SpriteRenderer::ViewportOrigin() const {
    const gfx::Viewport& vp = device_.GetViewport();
    return {float(vp.x), float(vp.y)};
}

void D3D8SpriteRenderer::Prepare(TextureHandle* texture, int32_t mode) {
    const D3D8Texture* t = Drawable(texture);
    if (count_ == 0 || !haveTexture_ || t != queuedTexture_) {
        Flush();
        facility_.SetTexture(0, t ? texture : nullptr);
        queuedTexture_ = t;
        haveTexture_ = true;
    }
    if (mode != mode_) {
        Flush();
        mode_ = mode;
    }
}

void D3D8SpriteRenderer::Queue(const Vector2 c[4], uint32_t color, float u0, float v0, float u1,
                               float v1) {
    SpriteVertex* v = &staging_[size_t(count_) * 4];
    v[0] = {c[0].x, c[0].y, 0.0f, 1.0f, color, u0, v0};
    v[1] = {c[1].x, c[1].y, 0.0f, 1.0f, color, u0, v1};
    v[2] = {c[2].x, c[2].y, 0.0f, 1.0f, color, u1, v1};
    v[3] = {c[3].x, c[3].y, 0.0f, 1.0f, color, u1, v0};
    if (++count_ >= kMaxQuads) Flush();
}

void D3D8SpriteRenderer::Flush() {
    // The count goes first: the facility may flush its clients again from inside.
    const int32_t quads = count_;
    count_ = 0;
    if (quads == 0 || !vertexBuffer_ || !indexBuffer_) return;
    const uint32_t bytes = uint32_t(quads) * kQuadBytes;
    // Each batch goes after the previous one (an append that cannot touch quads the device may
    // still be drawing); only a batch that no longer fits discards the buffer and starts it
    // again. A discard costs the device fresh storage for the whole buffer, so doing it for
    // every batch would reallocate 560 KB at each texture or blend change.
    const bool append = firstFree_ > 0 && firstFree_ + quads <= kMaxQuads;
    const int32_t first = append ? firstFree_ : 0;
    void* dst = device_.Lock(vertexBuffer_, uint32_t(first) * kQuadBytes, bytes,
                             append ? gfx::lock::NOOVERWRITE : gfx::lock::DISCARD);
    if (!dst) return;
    std::memcpy(dst, staging_.data(), bytes);
    device_.Unlock(vertexBuffer_);
    firstFree_ = first + quads;
    facility_.ApplyShaderPass(passSets_[mode_]);
    // Sprites always take the pre-transformed path, never a world vertex shader.
    if (cached_) {
        cached_->SetStreamSource(vertexBuffer_, sizeof(SpriteVertex));
        cached_->SetIndices(indexBuffer_, 0);
        cached_->SetVertexShaderHandle(kVertexFormat);
    } else {
        device_.SetStreamSource(0, vertexBuffer_, sizeof(SpriteVertex));
        device_.SetIndices(indexBuffer_, 0);
        device_.SetVertexShader(kVertexFormat);
    }
    RenderStats& stats = facility_.FrameStats();
    stats.polygons += 2 * quads;
    stats.vertices += 4 * quads;
    device_.DrawIndexedPrimitive(gfx::prim::TRIANGLESTRIP, uint32_t(4 * first), uint32_t(4 * quads),
                                 uint32_t(6 * first), uint32_t((3 * quads - 2) * 2));
}

template <typename Fn>
void D3D8SpriteRenderer::ForEachPiece(const Sprite* sprite, const Rect& source, Fn&& fn) {
    for (const SpriteFrame& f : sprite->frames) {
        Rect piece;
        if (!Drawable(f.texture) || !Intersect({f.left, f.top, f.right, f.bottom}, source, piece)) continue;
        fn(f, piece);
    }
}

namespace {

// Texel-centre coordinates of a piece of a frame, mirrored by the flags.
void PieceUV(const SpriteFrame& f, const Rect& piece, uint8_t flags, float& u0, float& v0,
             float& u1, float& v1) {
    // Pixel k of the quad samples the centre of texel k (left + k + 0.5); mirrored, the
    // centre of texel right - 1 - k, so the run starts half a texel inside the right edge.
    const float w = float(f.right - f.left), h = float(f.bottom - f.top);
    const float l = float(piece.left - f.left), r = float(piece.right - f.left);
    const float t = float(piece.top - f.top), b = float(piece.bottom - f.top);
    if (flags & kSpriteMirrorH) {
        u0 = (r - 0.5f) / w;
        u1 = (l - 0.5f) / w;
    } else {
        u0 = (l + 0.5f) / w;
        u1 = (r + 0.5f) / w;
    }
    if (flags & kSpriteMirrorV) {
        v0 = (b - 0.5f) / h;
        v1 = (t - 0.5f) / h;
    } else {
        v0 = (t + 0.5f) / h;
        v1 = (b + 0.5f) / h;
    }
}

// Offset of a piece inside the source rectangle; mirrored pieces trade places too.
Vector2 PieceOffset(const Rect& src, const Rect& piece, uint8_t flags) {
    return {float((flags & kSpriteMirrorH) ? src.right - piece.right : piece.left - src.left),
            float((flags & kSpriteMirrorV) ? src.bottom - piece.bottom : piece.top - src.top)};
}

}  // namespace

void D3D8SpriteRenderer::DrawSprite(const Sprite* sprite, const Rect* source,
                                    const Vector2& position, const Color* color, uint8_t flags) {
    if (!sprite) return;
    const Rect src = source ? *source : Rect{0, 0, sprite->width, sprite->height};
    const Vector2 origin = ViewportOrigin();
    const uint32_t packed = PackSpriteColor(color);
    ForEachPiece(sprite, src, [&](const SpriteFrame& f, const Rect& piece) {
        Prepare(f.texture, ModeOf(flags));
        const Vector2 o = PieceOffset(src, piece, flags);
        const float x0 = origin.x + position.x + o.x, y0 = origin.y + position.y + o.y;
        const float x1 = x0 + float(piece.right - piece.left), y1 = y0 + float(piece.bottom - piece.top);
        const Vector2 corners[4] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
        float u0, v0, u1, v1;
        PieceUV(f, piece, flags, u0, v0, u1, v1);
        Queue(corners, packed, u0, v0, u1, v1);
    });
}

void D3D8SpriteRenderer::DrawSpriteRect(const Sprite* sprite, const RectF* destination,
                                        const Rect* source, const Color* color, uint8_t flags) {
    if (!sprite) return;
    const Rect src = source ? *source : Rect{0, 0, sprite->width, sprite->height};
    if (src.right <= src.left || src.bottom <= src.top) return;
    const Vector2 origin = ViewportOrigin();
    RectF dst = destination ? *destination
                            : RectF{0.0f, 0.0f, float(facility_.ViewportWidth()), float(facility_.ViewportHeight())};
    dst = {dst.x0 + origin.x, dst.y0 + origin.y, dst.x1 + origin.x, dst.y1 + origin.y};
    const float sx = (dst.x1 - dst.x0) / float(src.right - src.left);
    const float sy = (dst.y1 - dst.y0) / float(src.bottom - src.top);
    const uint32_t packed = PackSpriteColor(color);
    ForEachPiece(sprite, src, [&](const SpriteFrame& f, const Rect& piece) {
        Prepare(f.texture, ModeOf(flags));
        const Vector2 o = PieceOffset(src, piece, flags);
        const float x0 = dst.x0 + o.x * sx, y0 = dst.y0 + o.y * sy;
        const float x1 = x0 + float(piece.right - piece.left) * sx;
        const float y1 = y0 + float(piece.bottom - piece.top) * sy;
        const Vector2 corners[4] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
        float u0, v0, u1, v1;
        PieceUV(f, piece, flags, u0, v0, u1, v1);
        Queue(corners, packed, u0, v0, u1, v1);
    });
}

void D3D8SpriteRenderer::DrawSpriteEx(const Sprite* sprite, const Rect* source,
                                      const Vector2& position, const Transform2& m,
                                      const Color* color, uint8_t flags) {
    if (!sprite) return;
    const Rect src = source ? *source : Rect{0, 0, sprite->width, sprite->height};
    const float hw = float(src.right - src.left) / 2.0f, hh = float(src.bottom - src.top) / 2.0f;
    const uint32_t packed = PackSpriteColor(color);
    auto place = [&](float x, float y) {
        return Vector2{position.x + m.m00 * x + m.m01 * y, position.y + m.m10 * x + m.m11 * y};
    };
    ForEachPiece(sprite, src, [&](const SpriteFrame& f, const Rect& piece) {
        Prepare(f.texture, ModeOf(flags));
        const Vector2 o = PieceOffset(src, piece, flags);
        const float x0 = o.x - hw, y0 = o.y - hh;
        const float x1 = x0 + float(piece.right - piece.left), y1 = y0 + float(piece.bottom - piece.top);
        const Vector2 corners[4] = {place(x0, y0), place(x0, y1), place(x1, y1), place(x1, y0)};
        float u0, v0, u1, v1;
        PieceUV(f, piece, flags, u0, v0, u1, v1);
        Queue(corners, packed, u0, v0, u1, v1);
    });
}

void D3D8SpriteRenderer::DrawTexturePiece(TextureHandle* texture, int32_t textureWidth,
                                          int32_t textureHeight, const Rect& source,
                                          const Vector2& position, const Color* color,
                                          uint8_t flags) {
    if (!Drawable(texture) || textureWidth <= 0 || textureHeight <= 0) return;
    if (source.right <= source.left || source.bottom <= source.top) return;
    Prepare(texture, ModeOf(flags));
    const Vector2 origin = ViewportOrigin();
    const float x0 = origin.x + position.x, y0 = origin.y + position.y;
    const float x1 = x0 + float(source.right - source.left), y1 = y0 + float(source.bottom - source.top);
    const Vector2 corners[4] = {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}};
    SpriteFrame whole{0, 0, textureWidth, textureHeight, texture};
    float u0, v0, u1, v1;
    PieceUV(whole, source, flags, u0, v0, u1, v1);
    Queue(corners, PackSpriteColor(color), u0, v0, u1, v1);
}

void D3D8SpriteRenderer::FillRect(const RectF* rect, const Color& color) {
    Prepare(nullptr, color.a == 0xFF ? 0 : 1);
    const RectF r = rect ? *rect : RectF{0.0f, 0.0f, float(ScreenWidth()), float(ScreenHeight())};
    const Vector2 corners[4] = {{r.x0, r.y0}, {r.x0, r.y1}, {r.x1, r.y1}, {r.x1, r.y0}};
    Queue(corners, PackSpriteColor(&color), 0.0f, 0.0f, 0.0f, 0.0f);
}

void D3D8SpriteRenderer::DrawQuad(const RectF* rect, const Color* color) {
    Flush();
    Prepare(nullptr, mode_);
    const RectF r = rect ? *rect : RectF{0.0f, 0.0f, float(ScreenWidth()), float(ScreenHeight())};
    const Vector2 corners[4] = {{r.x0, r.y0}, {r.x0, r.y1}, {r.x1, r.y1}, {r.x1, r.y0}};
    Queue(corners, PackSpriteColor(color), 0.0f, 0.0f, 0.0f, 0.0f);
}
