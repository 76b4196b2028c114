#include "game/world/WorldEffects.h"

// The effect classes join the world library with the effects work; until then the world runs
// without shards, decals and particles and every call here is a safe no-op.
namespace world_detail {

ShardEffect* MakeShards(WorldObjectKind&, WorldObject&) { return nullptr; }
void RestartShards(ShardEffect*, WorldObject&) {}
void DrawShards(ShardEffect*, float) {}
void DestroyShards(ShardEffect*) {}

void DecalsBeginFrame(DecalRenderer*, const Camera*, float) {}
void DrawStaticDecals(DecalRenderer*, std::vector<int32_t>&, const Camera&) {}
void DecalsDraw(DecalRenderer*, const Camera&) {}
void DestroyDecals(DecalRenderer*) {}

void UpdateParticles(const Camera*, float) {}
void DrawParticles(const Camera&) {}

} // namespace world_detail
