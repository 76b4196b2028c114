#pragma once
// A mesh without bones: the whole model in one managed mesh whose faces carry the number of
// their draw state (subset), sorted by subset once and drawn subset by subset, opaque ones
// first. Stages that show the environment cube look it up by the camera-space reflection
// vector and, with three texture stages or more, become a shine set-up over a per-model shine
// texture. Clones share the mesh and the shader-variable records.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/render/D3D8Mesh.h"
#include "platform/gfx/Mesh.h"

class D3D8ShinyMesh final : public D3D8Mesh {
public:
    // Managed, write-only vertices and indices.
    static constexpr uint32_t kOptions = gfx::meshopt::IB_WRITEONLY | gfx::meshopt::IB_MANAGED |
                                         gfx::meshopt::VB_WRITEONLY | gfx::meshopt::VB_MANAGED;

    struct Subset {
        Material* material = nullptr;
        ShaderPassSet* shader = nullptr;
        ShaderVarsPtr shaderVars;
    };

    D3D8ShinyMesh(D3D8RenderFacility& facility, const MeshRecord& record);
    ~D3D8ShinyMesh() override;

    void Step(float) override {}
    void Render() override;
    D3D8Mesh* Clone() override;
    void DropDevice() override;

    const std::vector<Subset>& Subsets() const { return subsets; }
    const gfx::Mesh* Mesh() const { return mesh_.get(); }
    int32_t VertexCount() const { return vertexCount; }
    int32_t FaceCount() const { return faceCount; }

private:
    D3D8ShinyMesh(const D3D8ShinyMesh& source);
    void ReleaseMesh();
    void DrawPass(bool blended);

    int32_t vertexCount = 0;
    int32_t faceCount = 0;
    std::vector<Subset> subsets;
    std::shared_ptr<gfx::Mesh> mesh_;
};
