#pragma once
// The world's calls into the effects (shards, decals, particle systems), all in one place.
#include <cstdint>
#include <vector>

class Camera;
class ShardEffect;
class DecalRenderer;
class WorldObject;
struct WorldObjectKind;

namespace world_detail {

// A fresh shard effect for a shattered object of this kind (null when effects are not built).
ShardEffect* MakeShards(WorldObjectKind& kind, WorldObject& object);
// A pooled effect started again for another object.
void RestartShards(ShardEffect* shards, WorldObject& object);
void DrawShards(ShardEffect* shards, float frameTime);
void DestroyShards(ShardEffect* shards);

// The decal renderer's frame and draw, and the static-city decal list (indices into the ring)
// culled against the camera: stale slots leave the list, visible ones join the batch.
void DecalsBeginFrame(DecalRenderer* decals, const Camera* camera, float dt);
void DrawStaticDecals(DecalRenderer* decals, std::vector<int32_t>& list, const Camera& camera);
void DecalsDraw(DecalRenderer* decals, const Camera& camera);

// The game's five particle systems (fire, smoke, two spark systems, blood).
void UpdateParticles(const Camera* camera, float dt);
void DrawParticles(const Camera& camera);

} // namespace world_detail
