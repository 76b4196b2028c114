#pragma once
// Mesh helpers over the device: an indexed triangle mesh with a per-face attribute (the draw
// state it belongs to), an optimiser that sorts faces by attribute, per-attribute drawing and
// cloning; a CPU skinning mesh that poses its vertices by bone matrices into such a mesh; and
// drawing into the faces of a cube target.
#include <cstdint>
#include <memory>
#include <vector>

#include "platform/gfx/Device.h"

namespace gfx {

// Creation options of a mesh (bits as the engine passes them).
namespace meshopt {
enum : uint32_t {
    INDEX32 = 0x001,
    VB_SYSTEMMEM = 0x010, VB_MANAGED = 0x020, VB_WRITEONLY = 0x040, VB_DYNAMIC = 0x080,
    IB_SYSTEMMEM = 0x100, IB_MANAGED = 0x200, IB_WRITEONLY = 0x400, IB_DYNAMIC = 0x800,
};
}
// Optimiser flags. Only the face order ever changes: vertices keep their places.
namespace optimize {
enum : uint32_t { COMPACT = 0x01, ATTRSORT = 0x02, VERTEXCACHE = 0x04, STRIPREORDER = 0x08, IGNOREVERTS = 0x10 };
}

// A run of faces sharing one attribute and the vertices they use.
struct AttributeRange {
    uint32_t attribId = 0;
    uint32_t faceStart = 0, faceCount = 0;
    uint32_t vertexStart = 0, vertexCount = 0;
};

class Mesh {
public:
    // A mesh of `faces` triangles over `vertices` vertices of the given vertex format. A mesh
    // whose vertex buffer is in system memory lives on the CPU only (it cannot be drawn; it
    // needs no device); otherwise vertex and index buffers are made on the device, in the
    // managed pool or, for the rest, the default pool (released before a reset). Null when the
    // counts are 0, the format has no size, or the device refuses a buffer.
    static std::unique_ptr<Mesh> Create(Device* device, uint32_t faces, uint32_t vertices, uint32_t options,
                                        uint32_t fvfCode);
    ~Mesh();
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    uint32_t FaceCount() const { return faces_; }
    uint32_t VertexCount() const { return vertices_; }
    uint32_t Options() const { return options_; }
    uint32_t Fvf() const { return fvf_; }
    uint32_t Stride() const { return stride_; }
    bool Index32() const { return (options_ & meshopt::INDEX32) != 0; }

    // Whole-buffer access. Unlocking a device-backed buffer uploads it. Null while locked.
    uint8_t* LockVertices();
    void UnlockVertices();
    // 16-bit indices, or 32-bit with INDEX32.
    void* LockIndices();
    void UnlockIndices();
    uint32_t* LockAttributes();
    void UnlockAttributes();

    // What the buffers hold now (readable whatever the pool).
    const uint8_t* Vertices() const;
    const void* Indices() const;
    const uint32_t* Attributes() const { return attributes_.data(); }
    // Index of corner c (0..2) of face f, whatever the index size.
    uint32_t Index(uint32_t face, uint32_t corner) const;

    // Sorts the faces by attribute (stable, so each attribute keeps its faces' order) and
    // rebuilds the attribute table. faceRemap (FaceCount() entries, optional) receives for
    // each new face the face it was; vertexRemap, when given, is filled with the identity.
    // False (nothing changed) when a face refers to a vertex past the vertex count.
    bool Optimize(uint32_t flags, uint32_t* faceRemap, std::vector<uint32_t>* vertexRemap);
    // Runs of equal attributes in face order, one per attribute after Optimize.
    const std::vector<AttributeRange>& AttributeTable() const { return table_; }

    // Binds the mesh's buffers and format on the device and draws the faces of one
    // attribute. Nothing for a mesh without device buffers.
    void DrawSubset(uint32_t attribId);

    // A new mesh with the same faces, attributes and vertex bytes (the format may only
    // differ in what the new one ignores; the stride must match) made with other options.
    std::unique_ptr<Mesh> Clone(uint32_t options, uint32_t fvfCode, Device* device) const;

    Buffer* VertexBuffer() const { return vb_; }
    Buffer* IndexBuffer() const { return ib_; }
    Device* GetDevice() const { return device_; }

private:
    Mesh() = default;
    void BuildTable();

    Device* device_ = nullptr;
    uint32_t faces_ = 0, vertices_ = 0, options_ = 0, fvf_ = 0, stride_ = 0;
    Buffer* vb_ = nullptr;
    Buffer* ib_ = nullptr;
    std::vector<uint8_t> cpuVertices_, cpuIndices_;  // system-memory buffers
    std::vector<uint32_t> attributes_;
    std::vector<AttributeRange> table_;
    bool vertexLock_ = false, indexLock_ = false;
};

// Unposed vertices, indices and every bone's vertex influences, kept in system memory. Posing
// writes, for every vertex, the sum over its influences of weight x (position x bone matrix)
// (normals through the matrix's upper 3 x 3), into a target mesh of the same layout; the
// rest of each vertex is copied. Weights are not normalised: a vertex under two bones gets
// the sum of both, a vertex under none comes out at the origin.
class SkinMesh {
public:
    // Null when the counts are 0 or the format has no position.
    static std::unique_ptr<SkinMesh> Create(uint32_t faces, uint32_t vertices, uint32_t bones, uint32_t fvfCode);

    uint32_t FaceCount() const { return faces_; }
    uint32_t VertexCount() const { return vertices_; }
    uint32_t BoneCount() const { return bones_; }
    uint32_t Fvf() const { return fvf_; }
    uint32_t Stride() const { return stride_; }

    uint8_t* Vertices() { return vertexData_.data(); }
    const uint8_t* Vertices() const { return vertexData_.data(); }
    // 16-bit indices.
    uint16_t* Indices() { return indices_.data(); }
    const uint16_t* Indices() const { return indices_.data(); }

    // Replaces bone b's influences. False for a bone or vertex out of range.
    bool SetBoneInfluence(uint32_t bone, uint32_t count, const uint32_t* vertices, const float* weights);
    // Poses into target (count must be BoneCount(); fewer matrices leave the bones past them
    // at identity). False when the target's vertex count or stride differ or it is locked.
    bool UpdateSkinnedMesh(const Mat4* bones, uint32_t count, Mesh& target);

private:
    SkinMesh() = default;
    void Compile();

    struct Influence {
        uint32_t bone;
        float weight;
    };
    uint32_t faces_ = 0, vertices_ = 0, bones_ = 0, fvf_ = 0, stride_ = 0;
    std::vector<uint8_t> vertexData_;
    std::vector<uint16_t> indices_;
    std::vector<std::vector<std::pair<uint32_t, float>>> perBone_;  // bone -> {vertex, weight}
    // Compiled per-vertex lists: influences of vertex v are [first_[v], first_[v + 1]).
    std::vector<uint32_t> first_;
    std::vector<Influence> influences_;
    std::vector<Mat4> scratch_;
    bool compiled_ = false;
};

// Draws into the faces of a cube target: Begin keeps the viewport, Face(f) sends draws and
// clears to face f with a viewport over the whole face, End returns to the back buffer with a
// viewport over all of it. With no target (a cube that could not be made) nothing happens.
class RenderToCube {
public:
    explicit RenderToCube(Device& device) : device_(device) {}
    bool Begin(Texture* cube);
    void Face(uint32_t face);
    void End();
    bool Active() const { return cube_ != nullptr; }

private:
    Device& device_;
    Texture* cube_ = nullptr;
};

}  // namespace gfx
