#include "engine/render/D3D8GeomRenderer.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderBuffers.h"
#include "platform/gfx/Mesh.h"

namespace {

constexpr uint32_t kImmediateFormat = gfx::fvf::XYZ | gfx::fvf::DIFFUSE;  // position and colour

void LogRangeFailure(uint32_t base, uint32_t start, uint32_t count, uint32_t first, uint32_t vertices) {
    Debugger::Instance().Log(1, "D3D8GEOMRENDERER: DIP Failed for StartIndex = %d. Data = %d, %d, %d, %d", int32_t(base),
                             int32_t(start), int32_t(count), int32_t(first), int32_t(vertices));
}

}  // namespace

void D3D8GeomRenderer::PrepareTransformAndLights() {
    facility_.ApplyWorldTransform();
    facility_.ApplyDirtyLights();
}

bool D3D8GeomRenderer::Prepare(const VertexBufferObject* vb, const IndexBufferObject* ib) {
    if (!vb || !vb->DrawBuffer() || (ib && !ib->DrawBuffer())) return false;
    PrepareTransformAndLights();
    facility_.SetStreamSource(vb->DrawBuffer(), vb->Stride());
    const VertexShader* custom = facility_.CurrentVertexShader();
    facility_.SetVertexShaderHandle(custom ? custom->handle : vb->Fvf());
    if (ib) facility_.SetIndices(ib->DrawBuffer(), vb->BaseVertex());
    return true;
}

void D3D8GeomRenderer::DrawRangeIndexed(const VertexBufferObject* vb, const IndexBufferObject* ib, const DrawRange& r) {
    const uint32_t base = ib->BaseIndex();
    const uint32_t primitives = r.indexCount / 3;
    facility_.CountDraw(int32_t(primitives), int32_t(r.vertexCount));
    // Nothing outside the buffers reaches the device.
    if (uint64_t(base) + r.startIndex + uint64_t(primitives) * 3 > ib->IndexCount() ||
        uint64_t(vb->BaseVertex()) + r.firstVertex + r.vertexCount > vb->VertexCount()) {
        LogRangeFailure(base, r.startIndex, r.indexCount, r.firstVertex, r.vertexCount);
        return;
    }
    if (primitives == 0) return;
    gfx::Device* device = facility_.Device();
    const uint32_t limit = std::max(facility_.Caps().maxPrimitiveCount, 1u);
    uint32_t start = r.startIndex, left = primitives;
    while (left > 0) {
        const uint32_t n = std::min(left, limit);
        device->DrawIndexedPrimitive(gfx::prim::TRIANGLELIST, r.firstVertex, r.vertexCount, start + base, n);
        start += 3 * n;
        left -= n;
    }
}

void D3D8GeomRenderer::DrawRangePlain(const VertexBufferObject* vb, const VertexRange& r, uint32_t kind) {
    uint32_t type, primitives;
    if (kind == kDrawTriangles) {
        type = gfx::prim::TRIANGLELIST;
        primitives = r.vertexCount / 3;
    } else if (kind == kDrawLines) {
        type = gfx::prim::LINELIST;
        primitives = r.vertexCount / 2;
    } else {
        return;
    }
    facility_.CountDraw(int32_t(r.vertexCount / 3), int32_t(r.vertexCount));
    const uint64_t first = uint64_t(vb->BaseVertex()) + r.firstVertex;
    if (first + r.vertexCount > vb->VertexCount()) {
        Debugger::Instance().Log(1, "D3D8GEOMRENDERER: DP Failed for FirstVertex = %d. Data = %d, %d", int32_t(vb->BaseVertex()),
                                 int32_t(r.firstVertex), int32_t(r.vertexCount));
        return;
    }
    if (primitives) facility_.Device()->DrawPrimitive(type, uint32_t(first), primitives);
}

void D3D8GeomRenderer::DrawMesh(const VertexBufferObject* vb, const IndexBufferObject* ib, std::span<const DrawRange> ranges) {
    if (!ib || !Prepare(vb, ib)) return;
    for (const DrawRange& r : ranges) DrawRangeIndexed(vb, ib, r);
}

void D3D8GeomRenderer::DrawIndexed(const VertexBufferObject* vb, const IndexBufferObject* ib, const DrawRange& range) {
    if (!ib || !Prepare(vb, ib)) return;
    DrawRangeIndexed(vb, ib, range);
}

void D3D8GeomRenderer::DrawVertexRanges(const VertexBufferObject* vb, std::span<const VertexRange> ranges, uint32_t kind) {
    if (!Prepare(vb, nullptr)) return;
    for (const VertexRange& r : ranges) DrawRangePlain(vb, r, kind);
}

void D3D8GeomRenderer::Draw(const VertexBufferObject* vb, const VertexRange& range, uint32_t kind) {
    if (!Prepare(vb, nullptr)) return;
    DrawRangePlain(vb, range, kind);
}

void D3D8GeomRenderer::DrawImmediate(uint32_t type, const Vector3* points, int count, const uint32_t* colour) {
    gfx::Device* device = facility_.Device();
    if (!device) return;
    struct Vertex {
        Vector3 p;
        uint32_t colour;
    } v[3];
    static_assert(sizeof(Vertex) == 16);
    for (int i = 0; i < count; ++i) v[i] = {points[i], colour ? *colour : 0xFFFFFFFFu};
    facility_.ApplyWorldTransform();
    const VertexShader* custom = facility_.CurrentVertexShader();
    facility_.SetVertexShaderHandle(custom ? custom->handle : kImmediateFormat);
    device->DrawPrimitiveUP(type, 1, v, sizeof(Vertex));
    // A draw from memory leaves the stream and indices behind the caches' backs.
    facility_.ForgetStreamAndIndices();
}

void D3D8GeomRenderer::DrawLine(const Vector3& from, const Vector3& to, const uint32_t* colour) {
    if (const Camera* camera = facility_.CurrentCamera()) {
        const MatrixStack* stack = facility_.GetMatrixStack();
        Vector3 centre = (from + to) * 0.5f;
        if (stack) centre = stack->current.TransformCoord(centre);
        const float radius = (to - from).Length() * 0.5f;
        for (const Plane& p : camera->planes)
            if (Vector3::Dot(p.n, centre) - p.d <= -radius) return;
        for (const Plane* p : camera->clipPlanes)
            if (p && Vector3::Dot(p->n, centre) - p->d <= -radius) return;
    }
    const Vector3 points[2] = {from, to};
    DrawImmediate(gfx::prim::LINELIST, points, 2, colour);
}

void D3D8GeomRenderer::DrawTriangle(const Vector3& a, const Vector3& b, const Vector3& c, const uint32_t* colour) {
    const Vector3 points[3] = {a, b, c};
    DrawImmediate(gfx::prim::TRIANGLELIST, points, 3, colour);
}

bool D3D8GeomRenderer::OptimiseMesh(uint32_t formatFlags, uint32_t vertexCount, uint32_t stride, void* vertices,
                                    uint32_t* indices, uint32_t indexCount, std::vector<DrawRange>& ranges,
                                    std::vector<uint32_t>& vertexRemap) {
    const uint32_t faces = indexCount / 3;
    const uint32_t fvf = EngineFormatToFvf(formatFlags);
    if (!vertices || !indices || gfx::VertexStride(fvf) != stride) return false;
    std::unique_ptr<gfx::Mesh> mesh =
        gfx::Mesh::Create(nullptr, faces, vertexCount, gfx::meshopt::INDEX32 | gfx::meshopt::VB_SYSTEMMEM | gfx::meshopt::IB_SYSTEMMEM, fvf);
    if (!mesh) return false;
    memcpy(mesh->LockIndices(), indices, size_t(faces) * 12);
    mesh->UnlockIndices();
    uint32_t* attributes = mesh->LockAttributes();
    for (size_t r = 0; r < ranges.size(); ++r) {
        const uint64_t first = ranges[r].startIndex / 3, end = first + ranges[r].indexCount / 3;
        if (end > faces) return false;
        for (uint64_t f = first; f < end; ++f) attributes[f] = uint32_t(r);
    }
    mesh->UnlockAttributes();
    if (!mesh->Optimize(gfx::optimize::VERTEXCACHE | gfx::optimize::IGNOREVERTS, nullptr, &vertexRemap)) return false;
    memcpy(indices, mesh->Indices(), size_t(faces) * 12);
    for (const gfx::AttributeRange& a : mesh->AttributeTable())
        if (a.attribId < ranges.size()) ranges[a.attribId] = {a.faceStart * 3, a.faceCount * 3, a.vertexStart, a.vertexCount};
    return true;
}
