#pragma once
// The static city: materials with their pass sets, render vertices and triangles, draw groups
// (quadtree items) and the batches they draw in, as the world file gives them; and its drawing.
// Each frame the visible groups queue themselves per batch, their front-facing triangles are
// copied into one dynamic vertex and one dynamic index buffer (shared vertices once) and every
// batch is drawn through the world's two vertex shaders, or through fixed function when a
// shader file is missing or refused.
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
class DynamicVertexBuffer;
class DynamicIndexBuffer;
class VertexShader;
class StaticGeometryRenderer;
struct GameSession;

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
    // colour B (emissive), colour A (diffuse), colour C (the shader constant) as r, g, b, a
    float colours[3][4] = {};
};

class StaticGeometryRenderer {
public:
    // The world's vertex layout: position, normal, one coordinate set; 32 bytes.
    static constexpr uint32_t VertexFormat = 37;
    static constexpr uint32_t VertexCapacity = 65536;
    static constexpr uint32_t IndexCapacity = 131072;
    // One batch's part of this frame's buffers (indices and vertices relative to the frame's
    // first index and vertex).
    struct BatchRange {
        uint32_t firstIndex = 0, indexCount = 0, firstVertex = 0, vertexCount = 0;
    };

    // Makes the two dynamic buffers, loads the two vertex shaders and registers the first
    // pass's pass set. renderer may be null (tools, tests): nothing is drawn. session gives the
    // lights and the detail options (defaults without one).
    explicit StaticGeometryRenderer(RenderFacility* renderer, const GameSession* session = nullptr);
    ~StaticGeometryRenderer();
    StaticGeometryRenderer(const StaticGeometryRenderer&) = delete;
    StaticGeometryRenderer& operator=(const StaticGeometryRenderer&) = delete;

    // Registers every material's pass set and material object with the renderer (after the
    // adjustments of the world's passes); again after a video-mode change.
    void RecreateShaders();
    // Called once the groups and batches are read: face normals, vertex marks, batch lists.
    void PrepareBatches();
    // The visibility pass of a frame (after the quadtree cull) and the draw (after the sky).
    void BeginFrame(const Camera& camera);
    void Draw(const Camera& camera);
    // A group the quadtree found in a visible block: true when it is drawn this frame.
    bool CullGroup(StaticDrawGroup& group, const Camera& camera);
    // Copies the group's front-facing triangles into this frame's locked buffers, adding at
    // most the given numbers of vertices and indices.
    void GatherTriangles(const StaticDrawGroup& group, uint32_t maxVertices, uint32_t maxIndices);

    // This frame's ranges, one per batch (tests, benchmark).
    const std::vector<BatchRange>& DrawRanges() const { return ranges_; }
    // Where this frame's vertices and indices start in the rings.
    uint32_t FrameVertexBase() const { return vertexBase_; }
    uint32_t FrameIndexBase() const { return indexBase_; }
    uint32_t VerticesWritten() const { return verticesWritten_; }
    uint32_t IndicesWritten() const { return indicesWritten_; }
    int32_t FrameCounter() const { return frameCounter_; }
    bool HasShaders() const { return firstPassShader_ && litShader_; }
    const DynamicVertexBuffer* Vertices() const { return vertexBuffer_; }
    const DynamicIndexBuffer* Indices() const { return indexBuffer_; }
    const std::vector<Vector3>& FaceNormals() const { return faceNormals_; }

    std::vector<StaticMaterial> materials;
    std::vector<ShaderDescription> descriptions;
    std::vector<ShaderPassSet*> passSets;
    std::vector<Material*> renderMaterials;
    std::vector<StaticVertex> vertices;
    std::vector<uint32_t> vertexColours; // sized by the loader; not used for drawing
    std::vector<StaticTriangle> triangles;
    std::vector<StaticDrawGroup> groups;
    std::vector<StaticBatch> batches;
    TextureHandle* shadowTexture = nullptr;
    // Stored into every material description when the materials are registered, in its
    // diffuse-alpha word: the low byte becomes the materials' diffuse alpha (0xFF, opaque,
    // unless the loader or a caller sets another).
    uint32_t materialValue = 0xFFu;
    // The ground texture's mapping over the city: min x, min z, max x, max z and the scales.
    float groundMinX = 0.0f, groundMinZ = 0.0f, groundMaxX = 0.0f, groundMaxZ = 0.0f;
    float groundScaleX = 0.0f, groundScaleZ = 0.0f;

private:
    struct Visible {
        const StaticDrawGroup* group;
        float key;     // x-z squared distance to the camera
        uint32_t order; // queueing order: of equal keys the later one is farther
    };
    struct VertexMark {
        int32_t stamp = -1;
        uint16_t slot = 0;
    };

    void ReleaseHandles();
    // Chooses this frame's groups within the buffers' capacity: the nearest groups of every
    // batch, taken in turns. Sets the two lock sizes; false when nothing is to be gathered.
    bool SelectGroups();
    void DrawBatches(const Camera& camera, bool lit);
    void LogOnce(int which, const char* line);

    RenderFacility* renderer_;
    const GameSession* session_;
    DynamicVertexBuffer* vertexBuffer_ = nullptr;
    DynamicIndexBuffer* indexBuffer_ = nullptr;
    VertexShader* firstPassShader_ = nullptr;
    VertexShader* litShader_ = nullptr;
    ShaderPassSet* firstPass_ = nullptr;
    // Per batch: this frame's visible groups (farthest first once sorted) and its range.
    std::vector<std::vector<Visible>> visible_;
    std::vector<BatchRange> ranges_;
    std::vector<Vector3> faceNormals_;
    std::vector<VertexMark> marks_;
    std::vector<uint32_t> groupVertexCounts_; // distinct vertices of each group
    std::vector<uint32_t> groupIndexCounts_;  // indices of each group's whole triangles
    // Per batch: how many of its nearest groups this frame takes, and what the last of them may
    // add at most (it may be cut short when the buffers run out).
    struct Selection {
        uint32_t groups = 0;
        uint32_t lastVertices = 0, lastIndices = 0;
    };
    std::vector<Selection> selected_;
    std::vector<uint8_t> closed_; // batches whose turns ended this frame
    uint32_t queueOrder_ = 0;
    int32_t frameCounter_ = 0;
    uint32_t vertexWrite_ = 0, indexWrite_ = 0;   // ring write offsets
    uint32_t vertexBase_ = 0, indexBase_ = 0;     // this frame's start in the rings
    uint32_t verticesWritten_ = 0, indicesWritten_ = 0;
    uint32_t vertexLimit_ = 0, indexLimit_ = 0;   // this frame's lock sizes
    uint8_t* lockedVertices_ = nullptr;
    uint16_t* lockedIndices_ = nullptr;
    uint32_t lowestSlot_ = 0;  // lowest vertex slot the batch being gathered uses
    Vector3 cameraPosition_;
    float fadeStartSquared_ = 0.0f, fadeEndSquared_ = 0.0f, fadeScale_ = 0.0f;
    bool logged_[1] = {};
};
