#include "engine/render/QuadBatchRenderer.h"

#include <algorithm>

#include "engine/core/Camera.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderBuffers.h"

namespace {

struct QuadVertex {
    Vector3 position;
    uint32_t diffuse, specular;
    float u, v;
};
static_assert(sizeof(QuadVertex) == 28);

constexpr uint32_t kVertexCount = 4 * QuadBatchRenderer::kMaxQuads;
constexpr uint32_t kIndexCount = 6 * QuadBatchRenderer::kMaxQuads;

}  // namespace

QuadBatchRenderer::QuadBatchRenderer(D3D8RenderFacility& facility) : facility_(facility) {
    vertices_ = facility.CreateDynamicVertexBuffer(kVertexFormat, sizeof(QuadVertex), kVertexCount, false);
    indices_ = facility.CreateIndexBuffer(kIndexCount, kVertexCount, false);
    if (indices_) {
        // Two triangles per quad, 0-1-2 and 0-2-3, written once for the renderer's life.
        uint32_t* out = indices_->indices.get();
        for (uint32_t q = 0; q < kMaxQuads; ++q, out += 6) {
            const uint32_t b = 4 * q;
            out[0] = b;
            out[1] = b + 1;
            out[2] = b + 2;
            out[3] = b;
            out[4] = b + 2;
            out[5] = b + 3;
        }
        indices_->Update(0, indices_->count);
    }
    queue_.reserve(kMaxQuads);
}

QuadBatchRenderer::~QuadBatchRenderer() {
    facility_.ReleaseDynamicVertexBuffer(vertices_);
    facility_.ReleaseIndexBuffer(indices_);
}

QuadRecord* QuadBatchRenderer::CreateQuad() {
    auto* q = new QuadRecord();
    registry_.push_back(q);
    return q;
}

void QuadBatchRenderer::SetQuadOffset(QuadRecord* quad, const Vector3* offset, const uint32_t* flags) {
    if (quad && offset && flags && (*flags & 1)) quad->offset = *offset;
}

void QuadBatchRenderer::RemoveQuad(QuadRecord* quad) {
    auto it = std::find(registry_.begin(), registry_.end(), quad);
    if (it != registry_.end()) registry_.erase(it);
}

void QuadBatchRenderer::Submit(QuadRecord* quad) {
    if (quad) queue_.push_back(quad);
}

void QuadBatchRenderer::DrawBatch(uint32_t first, uint32_t count) {
    if (count == 0) return;
    if (D3D8GeomRenderer* geometry = facility_.GetGeomRenderer())
        geometry->DrawIndexed(vertices_, indices_, DrawRange{6 * first, 6 * count, 4 * first, 4 * count});
}

void QuadBatchRenderer::Flush(const Camera* camera) {
    if (queue_.empty()) return;
    const uint32_t n = uint32_t(std::min<size_t>(queue_.size(), kMaxQuads));
    if (!vertices_ || !indices_ || !vertices_->Lock(0, 4 * n, 1)) {
        queue_.clear();
        return;
    }
    // Squares face the camera: its inverse rotation turned a quarter about y.
    Quaternion q = camera ? camera->orientation : Quaternion();
    q.x = -q.x;
    q.y = -q.y;
    q.z = -q.z;
    q.RotateY(-HalfPi);
    const Matrix4 r = q.ToMatrix();
    const Vector3 up{r.m[1][0], r.m[1][1], r.m[1][2]}, side{r.m[2][0], r.m[2][1], r.m[2][2]};
    for (uint32_t i = 0; i < n; ++i) {
        const QuadRecord& quad = *queue_[i];
        const float h = quad.size * 0.5f;
        const Vector3 centre = quad.position + quad.offset, a = up * h, b = side * h;
        const Vector3 corners[4] = {centre - a - b, centre + a - b, centre + a + b, centre - a + b};
        static const float uv[4][2] = {{0, 0}, {0, 1}, {1, 1}, {1, 0}};
        for (uint32_t k = 0; k < 4; ++k) {
            auto* v = static_cast<QuadVertex*>(vertices_->VertexAddress(4 * i + k));
            *v = {corners[k], quad.diffuse, quad.specular, uv[k][0], uv[k][1]};
        }
    }
    vertices_->Unlock();
    if (!material_) {
        // Made at the first flush, so a facility whose quads never draw holds no material of
        // theirs.
        MaterialDescription plain;
        plain.ambient = plain.emissive = Color::FromBytes(0, 0, 0, 0);
        plain.power = 0.0f;
        plain.diffuseAlpha = 1;
        plain.specularColor = Color::FromBytes(1, 1, 1, 1);
        material_ = facility_.AddMaterial(plain);
    }
    facility_.ApplyMaterial(material_);
    MatrixStack* stack = facility_.GetMatrixStack();
    if (stack) {
        stack->Push();
        stack->LoadIdentity();
    }
    ShaderPassSet* pass = nullptr;
    ShaderVariables* states = nullptr;
    TextureHandle* texture = nullptr;
    uint32_t first = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const QuadRecord& quad = *queue_[i];
        if (quad.pass != pass || quad.drawStates != states || quad.texture != texture) {
            DrawBatch(first, i - first);
            first = i;
            if (quad.pass != pass) facility_.ApplyShaderPass(pass = quad.pass);
            if (quad.drawStates != states) facility_.ApplyDrawStates(states = quad.drawStates);
            if (quad.texture != texture) facility_.SetTexture(0, texture = quad.texture);
        }
    }
    DrawBatch(first, n - first);
    if (stack) stack->Pop();
    queue_.clear();  // what was past the limit is dropped too
}
