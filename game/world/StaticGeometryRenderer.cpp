#include "game/world/StaticGeometryRenderer.h"

#include "engine/render/RenderFacility.h"

bool StaticDrawGroup::Cull(ObjectQuadTree&, const Camera& camera) {
    return owner && owner->CullGroup(*this, camera);
}

StaticGeometryRenderer::~StaticGeometryRenderer() { ReleaseHandles(); }

void StaticGeometryRenderer::ReleaseHandles() {
    if (!renderer_) return;
    for (ShaderPassSet* p : passSets)
        if (p) renderer_->ReleaseShader(p);
    for (Material* m : renderMaterials)
        if (m) renderer_->ReleaseMaterial(m);
    passSets.assign(passSets.size(), nullptr);
    renderMaterials.assign(renderMaterials.size(), nullptr);
}

void StaticGeometryRenderer::RecreateShaders() {
    ReleaseHandles();
    passSets.assign(materials.size(), nullptr);
    renderMaterials.assign(materials.size(), nullptr);
    if (!renderer_) return;
    for (size_t i = 0; i < materials.size(); ++i) {
        passSets[i] = renderer_->AddShader(descriptions[i]);
        MaterialDescription d;
        d.textures[0] = materials[i].texture;
        d.textures[1] = materials[i].secondTexture;
        renderMaterials[i] = renderer_->AddMaterial(d);
    }
}

void StaticGeometryRenderer::PrepareBatches() { batchLists.assign(batches.size(), {}); }

// Drawing the static city is the static renderer's own work; until it is built the groups are
// kept and culled out.
void StaticGeometryRenderer::BeginFrame(const Camera&) {
    for (auto& list : batchLists) list.clear();
}
void StaticGeometryRenderer::Draw() {}
bool StaticGeometryRenderer::CullGroup(StaticDrawGroup&, const Camera&) { return false; }
