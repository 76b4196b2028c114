#include "game/world/WorldEffects.h"

#include <memory>

#include "engine/core/Camera.h"
#include "engine/render/MeshTypes.h"
#include "game/world/Decals.h"
#include "game/world/ParticleSystem.h"
#include "game/world/ShardEffect.h"
#include "game/world/WorldObject.h"
#include "game/world/WorldObjectManager.h"

namespace world_detail {

namespace {
// The kind's triangles as one shard mesh, made on the first break and shared by its effects.
std::shared_ptr<ShardMesh> ShardMeshOf(WorldObjectKind& kind, WorldObject& object) {
    if (kind.shardMesh) return kind.shardMesh;
    auto mesh = std::make_shared<ShardMesh>(nullptr, MeshRecord{});
    if (object.manager && size_t(kind.mesh) < object.manager->Meshes().size()) {
        const ObjectMesh& m = object.manager->Meshes()[size_t(kind.mesh)];
        for (const ObjectPart& part : kind.parts) {
            const int32_t whole = part.range[1] - part.range[1] % 3;
            for (int32_t k = 0; k < whole; ++k) {
                const size_t at = size_t(part.range[0] + k);
                if (at >= m.indices.size() || m.indices[at] >= m.vertices.size()) continue;
                const ObjectMesh::Vertex& v = m.vertices[m.indices[at]];
                mesh->corners.push_back(MeshVertex{v.position, v.normal, v.u, v.v});
            }
        }
        if (!kind.parts.empty()) {
            mesh->material = kind.parts.front().material;
            mesh->passSet = kind.parts.front().pass;
        }
    }
    kind.shardMesh = mesh;
    return mesh;
}
} // namespace

ShardEffect* MakeShards(WorldObjectKind& kind, WorldObject& object) {
    auto* effect = new ShardEffect;
    effect->Build(ShardMeshOf(kind, object));
    return effect;
}

void RestartShards(ShardEffect* shards, WorldObject& object) {
    if (shards && object.kind) shards->Build(ShardMeshOf(*object.kind, object));
}

void DrawShards(ShardEffect* shards, float frameTime) {
    if (!shards) return;
    shards->Update(0.0f, frameTime);
    shards->Draw();
}

void DestroyShards(ShardEffect* shards) { delete shards; }

void DecalsBeginFrame(DecalRenderer* decals, const Camera* camera, float dt) {
    if (decals) decals->BeginFrame(camera, dt);
}

void DrawStaticDecals(DecalRenderer* decals, std::vector<int32_t>& list, const Camera& camera) {
    if (!decals) return;
    for (size_t i = 0; i < list.size();) {
        const DecalRecord* record = DecalRing::Get(list[i]);
        if (!record) {
            // The ring reused the slot: the decal is gone for good.
            list.erase(list.begin() + ptrdiff_t(i));
            continue;
        }
        const DecalQuad& q = record->quad;
        const Vector3 at = (q.corners[0] + q.corners[1] + q.corners[2] + q.corners[3]) * 0.25f;
        bool visible = (at - camera.position).LengthSquared() <= 100.0f * 100.0f;
        for (int p = 0; visible && p < 6; ++p) visible = camera.planes[p].Distance(at) > 0.0f;
        for (int p = 0; visible && p < 6; ++p)
            if (camera.clipPlanes[p]) visible = camera.clipPlanes[p]->Distance(at) > 0.0f;
        if (visible) DecalBatch::AddFromRing(list[i]);
        ++i;
    }
}

void DecalsDraw(DecalRenderer* decals, const Camera& camera) {
    if (decals) decals->Draw(camera);
}

void UpdateParticles(const Camera* camera, float dt) {
    if (camera) ParticleSystems::UpdateAll(*camera, dt);
}

void DrawParticles(const Camera&) { ParticleSystems::DrawAll(); }

} // namespace world_detail
