#include "engine/render/D3D8LargeMesh.h"

#include <cstring>

#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/RenderBuffers.h"

D3D8LargeMesh::Buffers::~Buffers() {
    if (!facility) return;
    facility->ReleaseVertexBuffer(vertices);
    facility->ReleaseIndexBuffer(indices);
}

D3D8LargeMesh::D3D8LargeMesh(D3D8RenderFacility& facility, const MeshRecord& record) : D3D8Mesh(&facility) {
    const uint32_t vertexCount = uint32_t(record.vertices.size()), indexCount = uint32_t(record.indices.size());
    buffers_ = std::make_shared<Buffers>();
    buffers_->facility = &facility;
    buffers_->vertices = facility.CreateVertexBuffer(kMeshVertexFormat, sizeof(MeshVertex), vertexCount, false);
    if (StaticVertexBuffer* vb = buffers_->vertices) {
        memcpy(vb->data(), record.vertices.data(), size_t(vertexCount) * sizeof(MeshVertex));
        vb->Update(0, vertexCount);
    }
    buffers_->indices = facility.CreateIndexBuffer(indexCount, vertexCount, false);
    if (StaticIndexBuffer* ib = buffers_->indices) {
        memcpy(ib->indices.get(), record.indices.data(), size_t(indexCount) * sizeof(uint32_t));
        ib->Update(0, indexCount);
    }
    TakeRecord(record, true);
    for (size_t n = 0; n < record.nodes.size(); ++n)
        for (const MeshPart& part : record.nodes[n].parts) {
            MeshDrawItem item = MakeItem(record, part, buffers_->vertices, buffers_->indices);
            item.partParameter = part.parameter;
            nodes[n].items.push_back(std::move(item));
        }
}

D3D8LargeMesh::~D3D8LargeMesh() {
    LeaveLists();
    ReleaseBuffers();
}

void D3D8LargeMesh::ReleaseBuffers() {
    if (buffers_) OnDevice([this] { buffers_.reset(); });
}

void D3D8LargeMesh::DropDevice() {
    buffers_.reset();
    D3D8Mesh::DropDevice();
}

D3D8Mesh* D3D8LargeMesh::Clone() {
    D3D8LargeMesh* clone = nullptr;
    OnDevice([&] {
        clone = new D3D8LargeMesh(*this);
        // A slot without a record gets a new default one, which parts without shader
        // variables take too.
        ShaderVarsPtr fresh;
        for (ShaderVarsSlot& slot : clone->shaderVarsSlots)
            if (!slot.vars) slot.vars = fresh ? fresh : (fresh = NewDefaultShaderVariables());
        if (fresh)
            for (D3D8MeshNode& node : clone->nodes)
                for (MeshDrawItem& item : node.items)
                    if (!item.shaderVars) item.shaderVars = fresh;
    });
    return clone;
}
