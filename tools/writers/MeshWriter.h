#pragma once
// Writers of .ZKM models and .ZKA bone animations, shared by the demo-tree generator, the
// tests and the fuzz seeds. The byte images are built in memory first, so tests can cut or
// alter them before writing. Everything is written as given: counts come from the vectors,
// and which node sections are written follows each node's flags.
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

namespace tools {

struct ZkmMaterial {
    uint8_t ambient[4] = {255, 255, 255, 255};  // r, g, b, a
    float power = 0.0f;
    uint8_t emissive[4] = {0, 0, 0, 255};  // r, g, b, a
    uint32_t textures[6] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu};
    uint32_t diffuseAlpha = 255;          // lowest byte used
    uint32_t specular = 0x000000FFu;      // bytes a, r, g, b from the lowest
};

struct ZkmStage {
    int8_t colorOp = 3, colorArg1 = 2, colorArg2 = 0;
    int8_t alphaOp = 3, alphaArg1 = 2, alphaArg2 = 0;
    int8_t texCoord = 0;
    uint8_t useTextureMatrix = 0;
};

// The 78-byte shader record; the defaults are the reader's own.
struct ZkmShader {
    ZkmShader();
    uint8_t lighting = 1, specular = 0, zWrite = 1;
    int8_t zFunc = 4;
    uint8_t zParam = 0;
    int8_t stencilFail = 0, stencilZFail = 0, stencilPass = 0, stencilFunc = 0, alphaFunc = 0;
    uint8_t blend = 0;
    int8_t srcBlend = 6, dstBlend = 7;
    uint8_t stageMask = 1;
    ZkmStage stages[8];
};

struct ZkmVertex {
    Vector3 position;
    Vector3 normal;
    float u = 0.0f, v = 0.0f;
    uint32_t skipped[2] = {0, 0};
};

struct ZkmRange {
    uint32_t startIndex = 0, indexCount = 0, firstVertex = 0, vertexCount = 0;
};

struct ZkmPart {
    uint32_t material = 0;
    uint32_t shader = 0;
    uint32_t slot = 0xFFFFFFFFu;
    int32_t parameter = 0;  // one byte in the direct form
    std::vector<ZkmRange> ranges;
};

struct ZkmGroup {
    std::string name;
    Vector3 position;
    Quaternion rotation;
    std::vector<ZkmPart> parts;
};

struct ZkmBone {
    std::string name;
    std::vector<uint32_t> vertices;
    std::vector<ZkmBone> children;
};

struct ZkmNode {
    static constexpr uint32_t kBones = 1, kDirect = 4;
    std::string name;
    Vector3 position;
    Quaternion rotation;
    uint32_t flags = kDirect;
    float values[4] = {0, 0, 0, 0};
    Matrix4 matrix;
    float extra[3] = {0, 0, 0};
    std::vector<Vector3> collisionPositions;
    std::vector<uint32_t> collisionIndices;
    std::vector<ZkmGroup> groups;  // written when kDirect is clear
    std::vector<ZkmPart> parts;    // written when kDirect is set
    std::vector<ZkmBone> bones;    // written when kBones is set
};

struct ZkmMarker {
    std::string name;
    Vector3 first, second;
};

struct ZkmModel {
    uint32_t version = 0x50;
    std::vector<std::string> textures;
    std::vector<ZkmMaterial> materials;
    std::vector<ZkmShader> shaders;
    std::vector<std::string> slots;
    std::vector<ZkmVertex> vertices;
    std::vector<uint32_t> indices;
    std::vector<ZkmNode> nodes;
    std::vector<ZkmMarker> markers;
    bool markerSection = false;  // write the marker count even when there are no markers
};

std::vector<uint8_t> ZkmBytes(const ZkmModel& model);
bool WriteZkm(const SharedString& path, const ZkmModel& model);

struct ZkaKey {
    float duration = 0.0f;
    std::vector<Matrix4> matrices;  // one per bone
};

struct ZkaAnimation {
    uint32_t version = 0x100000;
    std::vector<std::string> bones;
    std::vector<ZkaKey> keys;
};

std::vector<uint8_t> ZkaBytes(const ZkaAnimation& animation);
bool WriteZka(const SharedString& path, const ZkaAnimation& animation);

}  // namespace tools
