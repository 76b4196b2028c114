#pragma once
// A shattered breakable object: its mesh flies apart as one shard per triangle, thrown
// outwards, falling and spinning for up to ten seconds, drawn as one triangle list. World
// objects keep spare effects in a pool per object kind and start one when an object breaks.
//
// Use: once per object kind `mesh = ShardMesh::Load(facility, "Models\\Crate.ZKM")`; per break
// `effect.Build(mesh)`; each frame `effect.Update(0, dt)` and, with the object's transform on
// the matrix stack, `effect.Draw()`; `effect.Finished()` tells when it can go back to the pool.
// Every effect writes into one shared ring vertex buffer, made by ShardEffect::SetRenderer.
// Main thread only.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "engine/render/MeshTypes.h"

class Material;
class RenderFacility;
class ShaderPassSet;
class DynamicVertexBuffer;

// The triangles of a model, three corners each in the order of its parts' ranges, and the
// material and pass set of its first part to draw them with.
class ShardMesh {
public:
    // Reads the model (found as given or in the mesh factory's search directories; textures
    // through the texture factory). A model that cannot be read gives a mesh without triangles.
    static std::shared_ptr<ShardMesh> Load(RenderFacility* facility, const SharedString& modelName);
    ShardMesh(RenderFacility* facility, const MeshRecord& record);
    ~ShardMesh();
    ShardMesh(const ShardMesh&) = delete;
    ShardMesh& operator=(const ShardMesh&) = delete;

    uint32_t TriangleCount() const { return uint32_t(corners.size() / 3); }

    std::vector<MeshVertex> corners;
    Material* material = nullptr;
    ShaderPassSet* passSet = nullptr;

private:
    RenderFacility* facility_ = nullptr;
};

class ShardEffect {
public:
    static constexpr float kDuration = 10.0f;
    // The shared buffer's size: whole triangles only.
    static constexpr uint32_t kBufferVertices = 65535;
    static constexpr uint32_t kMaxShards = kBufferVertices / 3;

    struct Shard {
        Vector3 position;       // offset from the object's origin
        Quaternion orientation;
        Vector3 velocity;
        Vector3 spin;           // radians per second about x, y, z
        float fallRate = 0.0f;  // units per second squared
    };

    // Makes the shared vertex buffer on this facility (null: frees it). Effects simulate
    // without it but write and draw nothing.
    static void SetRenderer(RenderFacility* facility);

    // One shard per triangle of the mesh (at most kMaxShards), each reset: at the origin,
    // unrotated, thrown sideways at up to 20 units/s, spin up to 0.5 rad/s about each axis,
    // falling at 10..20 units/s^2; clock 0.
    void Build(std::shared_ptr<const ShardMesh> mesh);
    // Advances the clock and the shards and writes their triangles into the shared buffer. An
    // effect whose clock is set back after it ran 2 s ends at once.
    void Update(float ignored, float dt);
    // Draws the triangles of the last Update while the clock is at most 10 s.
    void Draw();
    // The clock reached the end: the effect can go back to its pool.
    bool Finished() const { return clockCopy >= kDuration; }

    float clock = 0.0f;
    float clockCopy = 0.0f;
    std::vector<Shard> shards;

private:
    std::shared_ptr<const ShardMesh> mesh_;
    int32_t firstVertex_ = -1;  // where the last Update wrote; -1 none
    uint32_t writtenShards_ = 0;
};
