#pragma once
// The one place where vertex and index buffers reach the device's draw calls. Before a draw
// it brings the device up to date only where it differs from what the facility last set
// (world matrix, dirty lights, stream, vertex shader, indices), splits indexed draws at the
// device's primitive limit, counts what it draws, and offers immediate lines and triangles.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/core/Math.h"
#include "engine/render/MeshTypes.h"

class D3D8RenderFacility;
class VertexBufferObject;
class IndexBufferObject;

// firstVertex, vertexCount of a non-indexed draw.
struct VertexRange {
    uint32_t firstVertex = 0;
    uint32_t vertexCount = 0;
};

// Primitive kinds of the non-indexed draws.
enum : uint32_t { kDrawTriangles = 0, kDrawLines = 4 };

class GeomRenderer {
public:
    virtual ~GeomRenderer() = default;
    // Every range of the array, prepared once.
    virtual void DrawMesh(const VertexBufferObject* vb, const IndexBufferObject* ib, std::span<const DrawRange> ranges) = 0;
    virtual void DrawVertexRanges(const VertexBufferObject* vb, std::span<const VertexRange> ranges, uint32_t kind) = 0;
    virtual void DrawIndexed(const VertexBufferObject* vb, const IndexBufferObject* ib, const DrawRange& range) = 0;
    virtual void Draw(const VertexBufferObject* vb, const VertexRange& range, uint32_t kind) = 0;
    // colour: packed 0xAARRGGBB, null for opaque white.
    virtual void DrawLine(const Vector3& from, const Vector3& to, const uint32_t* colour) = 0;
    virtual void DrawTriangle(const Vector3& a, const Vector3& b, const Vector3& c, const uint32_t* colour) = 0;
    // Reorders the faces of an indexed mesh so each range's faces lie together (the ranges
    // are rewritten to match). vertexRemap receives, for every vertex, where it came from
    // (vertices keep their places). False when an index or range lies outside the data.
    virtual bool OptimiseMesh(uint32_t formatFlags, uint32_t vertexCount, uint32_t stride, void* vertices,
                              uint32_t* indices, uint32_t indexCount, std::vector<DrawRange>& ranges,
                              std::vector<uint32_t>& vertexRemap) = 0;
};

class D3D8GeomRenderer final : public GeomRenderer {
public:
    explicit D3D8GeomRenderer(D3D8RenderFacility& facility) : facility_(facility) {}

    void DrawMesh(const VertexBufferObject* vb, const IndexBufferObject* ib, std::span<const DrawRange> ranges) override;
    void DrawVertexRanges(const VertexBufferObject* vb, std::span<const VertexRange> ranges, uint32_t kind) override;
    void DrawIndexed(const VertexBufferObject* vb, const IndexBufferObject* ib, const DrawRange& range) override;
    void Draw(const VertexBufferObject* vb, const VertexRange& range, uint32_t kind) override;
    void DrawLine(const Vector3& from, const Vector3& to, const uint32_t* colour) override;
    void DrawTriangle(const Vector3& a, const Vector3& b, const Vector3& c, const uint32_t* colour) override;
    bool OptimiseMesh(uint32_t formatFlags, uint32_t vertexCount, uint32_t stride, void* vertices, uint32_t* indices,
                      uint32_t indexCount, std::vector<DrawRange>& ranges, std::vector<uint32_t>& vertexRemap) override;

    // The world matrix when the matrix stack changed it, and every light whose values changed
    // (what a mesh that binds its own buffers needs before drawing).
    void PrepareTransformAndLights();

private:
    // False when there is nothing to draw from.
    bool Prepare(const VertexBufferObject* vb, const IndexBufferObject* ib);
    void DrawRangeIndexed(const VertexBufferObject* vb, const IndexBufferObject* ib, const DrawRange& r);
    void DrawRangePlain(const VertexBufferObject* vb, const VertexRange& r, uint32_t kind);
    // The vertex shader of the immediate draws (position and colour) and a draw from memory.
    void DrawImmediate(uint32_t type, const Vector3* points, int count, const uint32_t* colour);

    D3D8RenderFacility& facility_;
};
