#include "game/vehicles/ShadowVolumeRenderer.h"

#include <algorithm>

#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/RenderBuffers.h"
#include "engine/render/ShaderTypes.h"
#include "engine/render/SpriteRenderer.h"

namespace {

// Shader description codes.
constexpr uint32_t kKeep = 0, kZero = 1, kIncrement = 6, kDecrement = 7;
constexpr int32_t kLessEqual = 4, kNotEqual = 6, kAlways = 8;

ShaderDescription Pass(uint32_t stencilPass, int32_t stencilFunc, bool volume) {
    ShaderDescription d;
    d.lighting = 0;
    d.zWrite = 0;
    d.zFunc = volume ? kLessEqual : 0;
    d.stencilFail = kKeep;
    d.stencilZFail = kKeep;
    d.stencilPass = stencilPass;
    d.stencilFunc = stencilFunc;
    d.blend = 1;
    // The volume passes leave the colour as it is (ZERO, ONE); the darkening blends by alpha.
    d.srcBlend = volume ? 0 : 6;
    d.dstBlend = volume ? 1 : 7;
    d.stageMask = 1;
    d.stages[0].colorOp = 2;  // select argument 2: the diffuse colour
    d.stages[0].colorArg2 = 1;
    d.stages[0].alphaOp = 2;
    d.stages[0].alphaArg2 = 1;
    return d;
}

}  // namespace

ShadowVolumeRenderer::ShadowVolumeRenderer(RenderFacility* facility, int32_t quads)
    : facility_(facility), capacity_(std::max(quads, 1)) {
    quads_.resize(size_t(capacity_) * 4);
    if (facility_) {
        const uint32_t vertexCount = uint32_t(capacity_) * 4;
        vertices_ = facility_->CreateDynamicVertexBuffer(kVertexFormat, sizeof(Vector3), vertexCount, false);
        indices_ = facility_->CreateIndexBuffer(uint32_t(capacity_) * 6, vertexCount, false);
        if (indices_) {
            uint32_t* i = indices_->indices.get();
            for (uint32_t q = 0; q < uint32_t(capacity_); ++q, i += 6) {
                const uint32_t v = q * 4;
                i[0] = v; i[1] = v + 1; i[2] = v + 2;
                i[3] = v + 1; i[4] = v + 3; i[5] = v + 2;
            }
            indices_->Update(0, indices_->count);
        }
        increment_ = facility_->AddShader(Pass(kIncrement, kAlways, true));
        decrement_ = facility_->AddShader(Pass(kDecrement, kAlways, true));
        darken_ = facility_->AddShader(Pass(kZero, kNotEqual, false));
        plain_ = facility_->AddShader(Pass(kKeep, 0, false));
        MaterialDescription m;
        m.ambient = Color::FromBytes(0, 0, 0, 0);
        m.emissive = Color::FromBytes(0, 0, 0, 0);
        m.specularColor = Color::FromBytes(0, 0, 0, 0);
        m.diffuseAlpha = 0;
        material_ = facility_->AddMaterial(m);
    }
    ready = true;
}

ShadowVolumeRenderer::~ShadowVolumeRenderer() {
    if (!facility_) return;
    for (ShaderPassSet* s : {increment_, decrement_, darken_, plain_})
        if (s) facility_->ReleaseShader(s);
    if (material_) facility_->ReleaseMaterial(material_);
    if (vertices_) facility_->ReleaseDynamicVertexBuffer(vertices_);
    if (indices_) facility_->ReleaseIndexBuffer(indices_);
}

bool ShadowVolumeRenderer::AddQuad(const Vector3& a, const Vector3& b, const Vector3& c, const Vector3& d) {
    if (quadCount_ >= capacity_) return false;
    Vector3* out = &quads_[size_t(quadCount_) * 4];
    out[0] = a;
    out[1] = b;
    out[2] = c;
    out[3] = d;
    ++quadCount_;
    return true;
}

bool ShadowVolumeRenderer::Draw() {
    auto* device = dynamic_cast<D3D8RenderFacility*>(facility_);
    if (!device || !device->HasStencil() || quadCount_ == 0 || !vertices_ || !indices_) return false;
    D3D8GeomRenderer* geometry = device->GetGeomRenderer();
    SpriteRenderer* sprites = device->GetSpriteRenderer();
    if (!geometry || !sprites) return false;

    const uint32_t count = uint32_t(quadCount_) * 4;
    void* out = vertices_->Lock(0, count, 1);  // discard
    if (!out) return false;
    std::copy_n(quads_.data(), count, static_cast<Vector3*>(out));
    vertices_->Unlock();
    vertices_->SetUserValue(0);
    const DrawRange range{0, uint32_t(quadCount_) * 6, 0, count};

    device->SetVertexShader(nullptr);
    device->ApplyShaderPass(increment_);
    device->ApplyMaterial(material_);
    device->ApplyDrawStates(nullptr);
    device->SetCullMode(1);
    geometry->DrawIndexed(vertices_, indices_, range);
    device->ApplyShaderPass(decrement_);
    device->SetCullMode(2);
    geometry->DrawIndexed(vertices_, indices_, range);
    device->SetCullMode(1);

    // The sprite renderer's own pass set draws the quad; the darkening state supplies its
    // stencil test (not 0, reference 0) while it does.
    sprites->Flush();
    device->ApplyShaderPass(darken_);
    ShaderVariables reference;
    reference.stencilRef = 0;
    device->ApplyDrawStates(&reference);
    device->SetStencilOverride(darken_);
    sprites->FillRect(nullptr, kShade);
    sprites->Flush();
    device->SetStencilOverride(nullptr);
    device->ApplyShaderPass(plain_);
    device->ApplyDrawStates(nullptr);
    return true;
}
