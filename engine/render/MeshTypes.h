#pragma once
// What a model loader hands the render facility: one model's materials, shader descriptions,
// named shader-variable slots, one shared vertex and index list, nodes (collision geometry,
// draw parts, bone trees) and named markers. The facility builds a drawable mesh from it.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/Memory.h"
#include "engine/core/SharedString.h"
#include "engine/render/ShaderTypes.h"

// Vertex of every mesh: position, normal, one set of texture coordinates (engine format 37).
struct MeshVertex {
    Vector3 position;
    Vector3 normal;
    float u = 0.0f;
    float v = 0.0f;
};
static_assert(sizeof(MeshVertex) == 32);
constexpr uint32_t kMeshVertexFormat = 37;  // position, normal, one coordinate set

// indexCount / 3 triangles from the index list, using vertices [firstVertex, + vertexCount).
struct DrawRange {
    uint32_t startIndex = 0;
    uint32_t indexCount = 0;
    uint32_t firstVertex = 0;
    uint32_t vertexCount = 0;
};
static_assert(sizeof(DrawRange) == 16);

// A bone: the vertices it moves rigidly and its child bones. Trees are shared by every node,
// mesh and clone that holds them and go with the last holder.
struct BoneNode {
    SharedString name;
    std::vector<uint32_t> vertices;
    std::vector<std::shared_ptr<BoneNode>> children;
};
using BoneTree = std::shared_ptr<BoneNode>;

// Per-draw values a game changes at run time through a slot's name.
using ShaderVarsPtr = std::shared_ptr<ShaderVariables>;
// Texture factor 0xFFFFFFFF, both references 0, eight identity texture matrices.
ShaderVarsPtr NewDefaultShaderVariables();

struct ShaderVarsSlot {
    SharedString name;
    ShaderVarsPtr vars;
};

// One draw part: a material and shader of the record, optional shader variables, a parameter
// and the ranges it draws.
struct MeshPart {
    uint32_t material = 0;        // index into the record's materials
    uint32_t shader = 0;          // index into the record's shader descriptions
    ShaderVarsPtr shaderVars;     // null when the part has none
    uint32_t materialIndex = 0;   // as stored by the grouped form; 0 in the direct form
    int32_t parameter = 0;
    std::vector<DrawRange> ranges;
};

struct MeshNode {
    enum Flags : uint32_t { kHasBones = 1, kDirectParts = 4 };
    SharedString name = "";
    Vector3 position;
    Quaternion rotation;
    uint32_t flags = 0;
    float values[4] = {0, 0, 0, 0};
    NodeTransform transform;
    TrackedVector<Vector3> collisionPositions;
    TrackedVector<uint32_t> collisionIndices;
    std::vector<MeshPart> parts;
    std::vector<BoneTree> boneTrees;
};

// A named pair of points placed in the model (attachment and effect positions).
struct MeshMarker {
    SharedString name;
    Vector3 first;
    Vector3 second;
};

struct MeshRecord {
    SharedString name = "Invalid mesh";
    std::vector<MaterialDescription> materials;
    std::vector<ShaderDescription> shaders;
    std::vector<SharedString> textureNames;  // each material's stage-0 texture name
    std::vector<ShaderVarsSlot> slots;
    TrackedVector<MeshVertex> vertices;
    TrackedVector<uint32_t> indices;
    std::vector<MeshNode> nodes;
    std::vector<MeshMarker> markers;
    uint8_t share = 0;
};

// The stand-in model: no geometry and one empty node.
MeshRecord DefaultMeshRecord();
