// Fuzz target of the .ZKM reader: any bytes either are refused or give a record every index of
// which lies inside what it indexes, and a mesh can be made from it.
#include <cstdint>
#include <cstdlib>

#include "engine/render/D3D8Mesh.h"
#include "engine/render/TextureTypes.h"
#include "engine/render/ZkmFormat.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {

// The same two handles for every texture and the cube: nothing grows from input to input.
class Textures : public zkm::TextureSource {
public:
    TextureHandle* Load(const SharedString&, bool) override { return &file; }
    TextureHandle* EnvironmentCube() override { return cube ? &environment : nullptr; }
    TextureHandle file, environment;
    bool cube = false;
};

bool Inside(const BoneNode& bone, size_t vertices, int depth) {
    if (depth > zkm::kMaxBoneDepth) return false;
    for (uint32_t v : bone.vertices)
        if (v >= vertices) return false;
    for (const BoneTree& child : bone.children)
        if (!child || !Inside(*child, vertices, depth + 1)) return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static fuzz_support::ScratchFile file("Model.ZKM");
    static Textures textures;
    // The input's last byte decides whether a cube exists and whether the car flag is set.
    const uint8_t last = size ? data[size - 1] : 0;
    textures.cube = last & 1;
    ForceEnvironmentFlag = (last >> 1) & 1;
    MeshRecord record;
    record.name = file.Write(data, size).c_str();
    const bool read = zkm::ReadMesh(record, textures);
    ForceEnvironmentFlag = 0;
    if (!read) return 0;
    using fuzz_support::Check;
    Check(!record.nodes.empty());
    Check(record.textureNames.size() == record.materials.size());
    for (uint32_t i : record.indices) Check(i < record.vertices.size());
    for (const MeshNode& n : record.nodes) {
        for (uint32_t i : n.collisionIndices) Check(i < n.collisionPositions.size());
        for (const MeshPart& p : n.parts) {
            Check(p.material < record.materials.size() && p.shader < record.shaders.size());
            for (const DrawRange& r : p.ranges) {
                Check(uint64_t(r.startIndex) + r.indexCount <= record.indices.size());
                Check(uint64_t(r.firstVertex) + r.vertexCount <= record.vertices.size());
            }
        }
        for (const BoneTree& b : n.boneTrees) Check(b && Inside(*b, record.vertices.size(), 1));
    }
    InertMesh mesh(record);
    Check(mesh.Positions().size() == record.nodes[0].collisionPositions.size());
    (void)mesh.Radius();
    return 0;
}
