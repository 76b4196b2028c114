#pragma once
// The static city's render data as the world file gives it: materials with their pass sets,
// render vertices and triangles, draw groups (quadtree items) and the batches they draw in.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/render/ShaderTypes.h"
#include "game/world/ObjectQuadTree.h"

class Camera;
class Material;
class RenderFacility;
class ShaderPassSet;
class TextureHandle;
class StaticGeometryRenderer;

struct StaticMaterial {
    Color colourA;
    Color colourB;
    float value = 0.0f;
    TextureHandle* texture = nullptr;       // base texture (owned by the World's texture table)
    Color colourC;
    Color colourD;
    TextureHandle* secondTexture = nullptr; // reflection texture, stage 1
    int32_t textureIndex = -1;
    int32_t secondTextureIndex = -1;
    uint32_t flags = 0;
};

struct StaticVertex {
    Vector3 position;
    Vector3 normal;
    float u = 0.0f, v = 0.0f;
};
static_assert(sizeof(StaticVertex) == 32);

struct StaticTriangle {
    uint32_t v[3] = {};
};

// A run of the triangle index stream drawn with one material; culled through the quadtree.
class StaticDrawGroup : public QuadTreeItem {
public:
    enum : uint8_t { NoDistanceTest = 1 };
    void GetBounds(BoundingBox& out) const override { out = bounds; }
    bool Cull(ObjectQuadTree& tree, const Camera& camera) override;

    StaticGeometryRenderer* owner = nullptr;
    BoundingBox bounds;
    float radius = 0.0f;
    int32_t batch = 0;
    uint32_t firstIndex = 0; // position in the index stream (triangle = / 3, corner = % 3)
    uint32_t indexCount = 0;
    uint32_t reserved = 0;
    uint8_t groupFlags = 0;
};

// Groups whose material has the same two render-state handles draw in one batch.
struct StaticBatch {
    int32_t material = 0; // whose handle slots the batch uses
    float colours[3][4] = {}; // colour B, colour A, colour C as r, g, b, a floats
};

class StaticGeometryRenderer {
public:
    explicit StaticGeometryRenderer(RenderFacility* renderer) : renderer_(renderer) {}
    ~StaticGeometryRenderer();
    StaticGeometryRenderer(const StaticGeometryRenderer&) = delete;
    StaticGeometryRenderer& operator=(const StaticGeometryRenderer&) = delete;

    // Registers every material's description and textures with the renderer, filling the two
    // handle arrays (pass sets and material objects).
    void RecreateShaders();
    // Called once the groups and batches are read.
    void PrepareBatches();
    // The visibility pass of a frame and the draw (after the sky).
    void BeginFrame(const Camera& camera);
    void Draw();
    // A group the quadtree found in a visible block: true when it is drawn this frame.
    bool CullGroup(StaticDrawGroup& group, const Camera& camera);

    std::vector<StaticMaterial> materials;
    std::vector<ShaderDescription> descriptions;
    std::vector<ShaderPassSet*> passSets;
    std::vector<Material*> renderMaterials;
    std::vector<StaticVertex> vertices;
    std::vector<uint32_t> vertexColours; // filled by the renderer, not the file
    std::vector<StaticTriangle> triangles;
    std::vector<StaticDrawGroup> groups;
    std::vector<StaticBatch> batches;
    std::vector<std::vector<StaticDrawGroup*>> batchLists; // per batch, this frame's groups
    TextureHandle* shadowTexture = nullptr;
    // The ground texture's mapping over the city: min x, min z, max x, max z and the scales.
    float groundMinX = 0.0f, groundMinZ = 0.0f, groundMaxX = 0.0f, groundMaxZ = 0.0f;
    float groundScaleX = 0.0f, groundScaleZ = 0.0f;

private:
    void ReleaseHandles();
    RenderFacility* renderer_;
};
