#include "game/world/ParticleBatch.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Camera.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderBuffers.h"
#include "engine/render/RenderFacility.h"
#include "game/world/Decals.h"
#include "game/world/ParticleSystem.h"

namespace {

bool Culled(const Camera& camera, const ParticleGroup& g) {
    for (const Plane& p : camera.planes)
        if (p.Distance(g.position) <= -g.radius) return true;
    for (const Plane* p : camera.clipPlanes)
        if (p && p->Distance(g.position) <= -g.radius) return true;
    return false;
}

Vector3 Column(const Matrix4& m, int c) { return Vector3(m.m[0][c], m.m[1][c], m.m[2][c]).Normalized(); }

}  // namespace

ParticleBatch::ParticleBatch(RenderFacility* facility, int32_t capacity, bool triangles)
    : facility_(facility), capacity_(std::max(capacity, 1)) {
    entries_.reserve(64);
    if (!facility_) return;
    const uint32_t vertexCount = uint32_t(capacity_) * 4;
    vertices_ = facility_->CreateDynamicVertexBuffer(kVertexFormat, sizeof(EffectVertex), vertexCount, false);
    indices_ = facility_->CreateIndexBuffer(uint32_t(capacity_) * 6, vertexCount, false);
    if (indices_) {
        uint32_t* i = indices_->indices.get();
        for (uint32_t q = 0; q < uint32_t(capacity_); ++q, i += 6) {
            const uint32_t v = q * 4;
            i[0] = v; i[1] = v + 1; i[2] = v + 2;
            i[3] = v + 1; i[4] = triangles ? v : v + 3; i[5] = v + 2;
        }
        indices_->Update(0, indices_->count);
    }
}

ParticleBatch::~ParticleBatch() {
    if (!facility_) return;
    for (ShaderPassSet* s : passSets_)
        if (s) facility_->ReleaseShader(s);
    if (vertices_) facility_->ReleaseDynamicVertexBuffer(vertices_);
    if (indices_) facility_->ReleaseIndexBuffer(indices_);
}

void ParticleBatch::SetMaterial(const std::vector<TextureLayer>& layers) {
    if (facility_)
        for (ShaderPassSet* s : passSets_)
            if (s) facility_->ReleaseShader(s);
    passSets_.clear();
    layers_ = layers;
    for (const TextureLayer& l : layers_) passSets_.push_back(MakeLayerPassSet(facility_, l));
}

void ParticleBatch::AddSystem(const Camera& camera, const std::vector<ParticleGroup*>& groups) {
    entries_.clear();
    frameQuads_ = 0;
    lastLocks_ = 0;
    if (groups.empty()) return;

    size_t total = 0;
    for (ParticleGroup* g : groups) {
        if (!(g->flags & ParticleGroup::kVisible)) {
            g->flags &= uint16_t(~ParticleGroup::kDrawn);
            continue;
        }
        if ((g->flags & ParticleGroup::kFrustumTested) && Culled(camera, *g)) {
            g->flags &= uint16_t(~ParticleGroup::kDrawn);
        } else {
            g->flags |= ParticleGroup::kDrawn;
            total += g->quads.size();
        }
        if (g->flags & ParticleGroup::kShowOnce) g->flags &= uint16_t(~ParticleGroup::kVisible);
    }
    if (total == 0) return;
    total = std::min(total, size_t(capacity_));

    EffectVertex* out = nullptr;
    if (vertices_) {
        const uint32_t count = uint32_t(total) * 4;
        uint32_t mode = 2;  // no-overwrite
        if (writePosition_ + count > vertices_->count) {
            writePosition_ = 0;
            mode = 1;  // discard
        }
        out = static_cast<EffectVertex*>(vertices_->Lock(writePosition_, count, mode));
        if (!out) return;
        ++lastLocks_;
        frameStart_ = writePosition_;
        writePosition_ += count;
    }

    const Vector3 right = Column(camera.view, 0), up = Column(camera.view, 1);
    size_t left = total;
    DrawEntry* entry = nullptr;
    for (const ParticleGroup* g : groups) {
        if (left == 0) break;
        if (!(g->flags & ParticleGroup::kDrawn) || g->quads.empty()) continue;
        if (!entry || entry->texture != g->texture || entry->layer != g->layer) {
            entries_.push_back(DrawEntry{g->texture, g->layer, 0});
            entry = &entries_.back();
        }
        const size_t quads = std::min(g->quads.size(), left);
        left -= quads;
        entry->quadCount += int32_t(quads);
        frameQuads_ += int32_t(quads);
        if (!out) continue;
        const uint32_t colour = PackEffectColour(g->colour);
        const float c = std::cos(g->angle), s = std::sin(g->angle);
        for (size_t k = 0; k < quads; ++k) {
            const ParticleQuad& q = g->quads[k];
            const float xs[4] = {q.x, q.x, q.x + q.w, q.x + q.w};
            const float ys[4] = {q.y, q.y + q.h, q.y, q.y + q.h};
            const float us[4] = {q.left, q.left, q.right, q.right};
            const float vs[4] = {q.bottom, q.top, q.bottom, q.top};
            for (int i = 0; i < 4; ++i) {
                const float rx = xs[i] * c - ys[i] * s;
                const float ry = xs[i] * s + ys[i] * c;
                out[i] = {g->position + right * rx + up * ry, colour, us[i], vs[i]};
            }
            out += 4;
        }
    }
    if (vertices_) vertices_->Unlock();
}

void ParticleBatch::Flush() {
    lastDraws_ = 0;
    if (entries_.empty() || !vertices_ || !indices_ || !facility_) return;
    MatrixStack* stack = facility_->GetMatrixStack();
    D3D8GeomRenderer* geometry = facility_->GetGeomRenderer();
    if (!stack || !geometry) return;
    stack->Push();
    stack->LoadIdentity();
    facility_->SetVertexShader(nullptr);
    uint32_t first = frameStart_;
    for (const DrawEntry& e : entries_) {
        const size_t layer = (e.layer >= 0 && size_t(e.layer) < passSets_.size()) ? size_t(e.layer) : 0;
        if (layer < passSets_.size()) facility_->ApplyShaderPass(passSets_[layer]);
        facility_->ApplyDrawStates(nullptr);
        facility_->SetTexture(0, e.texture);
        const uint32_t quads = uint32_t(e.quadCount);
        vertices_->SetUserValue(int32_t(first));
        geometry->DrawIndexed(vertices_, indices_, DrawRange{0, quads * 6, 0, quads * 4});
        ++lastDraws_;
        first += quads * 4;
    }
    stack->Pop();
}
