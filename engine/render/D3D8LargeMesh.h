#pragma once
// A mesh of more than 65536 vertices: one static vertex buffer and one static buffer of
// 32-bit indices, drawn node by node through the geometry renderer, with no bones, animation
// or environment handling. Clones share the two buffers, which go with the last holder.
#include <cstdint>
#include <memory>

#include "engine/render/D3D8Mesh.h"

class StaticVertexBuffer;
class StaticIndexBuffer;

class D3D8LargeMesh final : public D3D8Mesh {
public:
    D3D8LargeMesh(D3D8RenderFacility& facility, const MeshRecord& record);
    ~D3D8LargeMesh() override;

    void Step(float) override {}
    void Render() override { RenderItems(); }
    D3D8Mesh* Clone() override;
    void DropDevice() override;

    const StaticVertexBuffer* VertexBuffer() const { return buffers_ ? buffers_->vertices : nullptr; }
    const StaticIndexBuffer* IndexBuffer() const { return buffers_ ? buffers_->indices : nullptr; }

private:
    struct Buffers {
        D3D8RenderFacility* facility = nullptr;
        StaticVertexBuffer* vertices = nullptr;
        StaticIndexBuffer* indices = nullptr;
        ~Buffers();
    };
    D3D8LargeMesh(const D3D8LargeMesh& source) = default;
    void ReleaseBuffers();

    std::shared_ptr<Buffers> buffers_;
};
