#pragma once
// Real-time stencil shadows of the cars. Each frame a car's drive model projects the convex
// hull of its damage stage along the light into quads (its extruded silhouette) and its drawing
// renders them here, with the chassis transform on the matrix stack. Z-pass: the quads go to
// the stencil buffer twice, incrementing with normal culling and decrementing with the reverse,
// without touching colour or depth; then one translucent full-screen quad (alpha 0x60 of
// 0, 0x20, 0x60) darkens the pixels whose stencil value is not 0 and sets them back to 0, so a
// pixel darkens once however many cars shadow it. One renderer (8192 quads) serves every car.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"

class DynamicVertexBuffer;
class Material;
class RenderFacility;
class ShaderPassSet;
class StaticIndexBuffer;

class ShadowVolumeRenderer {
public:
    static constexpr int32_t kQuads = 8192;
    static constexpr uint32_t kVertexFormat = 1;  // position only
    static constexpr Color kShade = Color::FromBytes(0x00, 0x20, 0x60, 0x60);

    // Null facility: quads are collected, nothing is drawn.
    explicit ShadowVolumeRenderer(RenderFacility* facility, int32_t quads = kQuads);
    ~ShadowVolumeRenderer();
    ShadowVolumeRenderer(const ShadowVolumeRenderer&) = delete;
    ShadowVolumeRenderer& operator=(const ShadowVolumeRenderer&) = delete;

    // Forgets the quads written so far.
    void Clear() { quadCount_ = 0; }
    // One quad of the volume, drawn as triangles a b c and b d c (front faces clockwise seen
    // from outside the volume). False (the quad dropped) when the renderer is full.
    bool AddQuad(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d);
    int32_t QuadCount() const { return quadCount_; }
    int32_t Capacity() const { return capacity_; }

    // Marks and darkens (only when the device has a stencil buffer). Returns whether it drew.
    bool Draw();

    bool ready = false;

private:
    RenderFacility* facility_;
    int32_t capacity_;
    int32_t quadCount_ = 0;
    std::vector<Vector3> quads_;  // four corners a quad
    DynamicVertexBuffer* vertices_ = nullptr;
    StaticIndexBuffer* indices_ = nullptr;
    ShaderPassSet* increment_ = nullptr;
    ShaderPassSet* decrement_ = nullptr;
    ShaderPassSet* darken_ = nullptr;
    ShaderPassSet* plain_ = nullptr;  // the darkening blend without stencil, to leave behind
    Material* material_ = nullptr;
};
