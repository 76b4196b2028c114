#pragma once
// Turns the live groups of one particle system into camera-facing quads in a dynamic vertex
// buffer (used as a ring) and draws them with one indexed draw per run of groups that share a
// texture and a layer. Each particle system embeds one; its frame update calls AddSystem once
// and its draw calls Flush. Main thread only.
#include <cstdint>
#include <vector>

#include "game/world/TextureLayer.h"

class Camera;
class RenderFacility;
class ShaderPassSet;
class TextureHandle;
class DynamicVertexBuffer;
class StaticIndexBuffer;
class ParticleGroup;

class ParticleBatch {
public:
    static constexpr uint32_t kVertexFormat = 1 | 8 | 32;  // position, colour, one set

    struct DrawEntry {
        TextureHandle* texture = nullptr;
        int32_t layer = 0;
        int32_t quadCount = 0;
    };

    // capacity in quads; with `triangles` each quad shows as one triangle (its second triangle
    // repeats the first). Null facility: visibility and entries are still worked out, nothing
    // is written or drawn.
    ParticleBatch(RenderFacility* facility, int32_t capacity, bool triangles);
    ~ParticleBatch();
    ParticleBatch(const ParticleBatch&) = delete;
    ParticleBatch& operator=(const ParticleBatch&) = delete;

    // One pass set per layer, in order (a group's layer indexes them).
    void SetMaterial(const std::vector<TextureLayer>& layers);
    // This frame's vertices and draw entries from the groups (visibility bits updated). A frame
    // with nothing to show leaves no entries; quads past the capacity are dropped.
    void AddSystem(const Camera& camera, const std::vector<ParticleGroup*>& groups);
    // Draws the entries of the last AddSystem.
    void Flush();

    const std::vector<DrawEntry>& Entries() const { return entries_; }
    int32_t Capacity() const { return capacity_; }
    int32_t FrameQuads() const { return frameQuads_; }
    // Counters of the last AddSystem and Flush (tests, benchmark).
    int32_t LastLocks() const { return lastLocks_; }
    int32_t LastDrawCalls() const { return lastDraws_; }

private:
    RenderFacility* facility_;
    int32_t capacity_;
    DynamicVertexBuffer* vertices_ = nullptr;
    StaticIndexBuffer* indices_ = nullptr;
    uint32_t writePosition_ = 0;
    uint32_t frameStart_ = 0;
    int32_t frameQuads_ = 0;
    std::vector<DrawEntry> entries_;
    std::vector<TextureLayer> layers_;
    std::vector<ShaderPassSet*> passSets_;
    int32_t lastLocks_ = 0;
    int32_t lastDraws_ = 0;
};
