#include "game/world/Decals.h"

#include <algorithm>
#include <array>

#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderBuffers.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/ShaderTypes.h"
#include "engine/render/TextureFactory.h"

namespace {

// The ring: slot i mod 4096 holds decal number i while i >= counter - 4096.
std::array<DecalRecord, DecalRing::kSize>& Ring() {
    static std::array<DecalRecord, DecalRing::kSize> ring{};
    return ring;
}
int32_t g_decalCounter = 0;

std::vector<DecalQuad>& Batch() {
    static std::vector<DecalQuad> batch = [] {
        std::vector<DecalQuad> b;
        b.reserve(size_t(DecalRenderer::kMaxQuads));
        return b;
    }();
    return batch;
}

// Appends a quad for its owner unless the frame is full.
void Append(DecalOwner& owner, const DecalQuad& quad) {
    std::vector<DecalQuad>& batch = Batch();
    if (batch.size() >= size_t(DecalRenderer::kMaxQuads)) return;
    owner.batchIndices.push_back(int32_t(batch.size()));
    batch.push_back(quad);
}

}  // namespace

// ---------------------------------------------------------------------------------------------

DecalOwner::DecalOwner(RenderFacility* facility, const SharedString& textureName, const TextureLayer& layer)
    : facility_(facility) {
    texture = TextureFactory::Instance().GetByName(textureName, true);
    renderState = MakeDecalRenderState(facility, layer);
}

DecalOwner::~DecalOwner() {
    // Ring records outlive their owner (a game's blood system goes before the city's decals):
    // their numbers stay valid but add nothing from now on.
    for (DecalRecord& r : Ring())
        if (r.owner == this) r.owner = nullptr;
    if (renderer_) renderer_->Unregister(this);
    delete texture;
    if (renderState && facility_) facility_->ReleaseShader(renderState);
}

ShaderPassSet* MakeDecalRenderState(RenderFacility* facility, const TextureLayer& layer) {
    return MakeLayerPassSet(facility, layer);
}

// ---------------------------------------------------------------------------------------------

DecalRecord* DecalRing::Next(DecalOwner* owner) {
    DecalRecord& r = Ring()[size_t(uint32_t(g_decalCounter) % uint32_t(kSize))];
    r.owner = owner;
    ++g_decalCounter;
    return &r;
}

DecalRecord* DecalRing::Get(int32_t number) {
    if (number < 0 || number >= g_decalCounter || int64_t(number) < int64_t(g_decalCounter) - kSize) return nullptr;
    return &Ring()[size_t(uint32_t(number) % uint32_t(kSize))];
}

int32_t DecalRing::Counter() { return g_decalCounter; }

void DecalRing::Reset() { g_decalCounter += kSize; }

bool DecalBatch::AddFromRing(int32_t number) {
    const DecalRecord* r = DecalRing::Get(number);
    if (!r) return false;
    if (r->owner) Append(*r->owner, r->quad);
    return true;
}

void DecalBatch::AddQuad(const DecalRecord& record) {
    if (record.owner) Append(*record.owner, record.quad);
}

const std::vector<DecalQuad>& DecalBatch::Quads() { return Batch(); }

void DecalBatch::Clear() { Batch().clear(); }

// ---------------------------------------------------------------------------------------------

DecalRenderer::DecalRenderer(RenderFacility* facility) : facility_(facility) {
    if (!facility_) return;
    vertices_ = facility_->CreateDynamicVertexBuffer(kVertexFormat, sizeof(EffectVertex), kVertexCount, false);
    indices_ = facility_->CreateIndexBuffer(uint32_t(kQuadsPerDraw) * 6, kVertexCount, false);
    if (indices_) {
        uint32_t* out = indices_->indices.get();
        for (uint32_t q = 0; q < uint32_t(kQuadsPerDraw); ++q) {
            const uint32_t v = q * 4;
            uint32_t* i = out + q * 6;
            i[0] = v; i[1] = v + 1; i[2] = v + 2;
            i[3] = v + 1; i[4] = v + 3; i[5] = v + 2;
        }
        indices_->Update(0, indices_->count);
    }
}

DecalRenderer::~DecalRenderer() {
    for (DecalOwner* o : owners_) o->renderer_ = nullptr;
    if (!facility_) return;
    if (vertices_) facility_->ReleaseDynamicVertexBuffer(vertices_);
    if (indices_) facility_->ReleaseIndexBuffer(indices_);
}

void DecalRenderer::Register(DecalOwner* owner) {
    if (!owner || owner->renderer_ == this) return;
    if (owner->renderer_) owner->renderer_->Unregister(owner);
    owner->renderer_ = this;
    owners_.push_back(owner);
}

void DecalRenderer::Unregister(DecalOwner* owner) {
    if (!owner || owner->renderer_ != this) return;
    owner->renderer_ = nullptr;
    owners_.erase(std::remove(owners_.begin(), owners_.end(), owner), owners_.end());
}

void DecalRenderer::BeginFrame(const Camera*, float) {
    DecalBatch::Clear();
    for (DecalOwner* o : owners_) o->batchIndices.clear();
}

void DecalRenderer::Draw(const Camera&) {
    lastLocks_ = 0;
    lastDraws_ = 0;
    size_t n = 0;
    for (const DecalOwner* o : owners_) n += o->batchIndices.size();
    if (n == 0 || !vertices_ || !indices_) return;
    n = std::min(n, size_t(kMaxQuads));
    const uint32_t count = uint32_t(n) * 4;

    uint32_t mode = 2;  // no-overwrite
    if (writePosition_ + count >= vertices_->count) {
        writePosition_ = 0;
        mode = 1;  // discard
    }
    auto* out = static_cast<EffectVertex*>(vertices_->Lock(writePosition_, count, mode));
    if (!out) return;
    ++lastLocks_;
    const std::vector<DecalQuad>& batch = Batch();
    size_t written = 0;
    for (const DecalOwner* o : owners_) {
        for (int32_t index : o->batchIndices) {
            if (written == n) break;
            const DecalQuad& q = batch[size_t(index)];
            const uint32_t colour = PackEffectColour(q.colour);
            for (int i = 0; i < 4; ++i) {
                out[i] = {q.corners[i], colour, q.texCoords[i].x, q.texCoords[i].y};
            }
            out += 4;
            ++written;
        }
    }
    vertices_->Unlock();
    const uint32_t frameStart = writePosition_;
    writePosition_ += count;

    MatrixStack* stack = facility_->GetMatrixStack();
    D3D8GeomRenderer* geometry = facility_->GetGeomRenderer();
    if (!stack || !geometry) return;
    stack->Push();
    stack->LoadIdentity();
    facility_->SetVertexShader(nullptr);
    uint32_t first = frameStart;
    size_t left = n;
    for (DecalOwner* o : owners_) {
        size_t quads = std::min(o->batchIndices.size(), left);
        if (quads == 0) continue;
        left -= quads;
        facility_->ApplyShaderPass(o->renderState);
        facility_->ApplyDrawStates(nullptr);
        facility_->SetTexture(0, o->texture);
        while (quads > 0) {
            const uint32_t m = uint32_t(std::min(quads, size_t(kQuadsPerDraw)));
            vertices_->SetUserValue(int32_t(first));
            geometry->DrawIndexed(vertices_, indices_, DrawRange{0, m * 6, 0, m * 4});
            ++lastDraws_;
            first += m * 4;
            quads -= m;
        }
    }
    stack->Pop();
}
