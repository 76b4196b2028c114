#pragma once
// The drawable mesh every model becomes, and what all its classes share: the nodes with their
// collision geometry and draw items, the named shader-variable slots, the markers and the
// bounds. The render facility chooses the class from the loaded record: more than 65536
// vertices D3D8LargeMesh; a first node without bone trees D3D8ShinyMesh; else
// D3D8AnimatedMesh. Without a device the model becomes an InertMesh, which keeps all the
// data and draws nothing.
#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/Renderable.h"
#include "engine/core/SharedString.h"
#include "engine/render/MeshTypes.h"

class BoneAnimation;
class MatrixStack;
class D3D8RenderFacility;
class Material;
class ShaderPassSet;
class VertexBufferObject;
class IndexBufferObject;

// One draw part of a node: the buffers it draws from (none in the shiny mesh, which draws by
// subsets), its facility material and pass set, its shader variables (null allowed), its
// parameter and ranges.
struct MeshDrawItem {
    const VertexBufferObject* vertexBuffer = nullptr;
    const IndexBufferObject* indexBuffer = nullptr;
    Material* material = nullptr;
    ShaderPassSet* shader = nullptr;
    ShaderVarsPtr shaderVars;
    int32_t partParameter = 0;
    std::vector<DrawRange> ranges;
};

struct D3D8MeshNode {
    SharedString name = "";
    Vector3 position;
    Quaternion rotation;
    uint32_t flags = 0;
    float values[4] = {0, 0, 0, 0};
    std::vector<Vector3> collisionPositions;
    std::vector<uint32_t> collisionIndices;
    std::vector<MeshDrawItem> items;
    std::vector<BoneTree> boneTrees;
};

class D3D8Mesh : public Renderable {
public:
    ~D3D8Mesh() override;
    D3D8Mesh& operator=(const D3D8Mesh&) = delete;

    // A new mesh of the same model (what the mesh factory hands out for a model it already
    // holds). The caller owns it.
    virtual D3D8Mesh* Clone() = 0;
    // Bone animation (the animated mesh; the others ignore it).
    virtual void AddAnimation(BoneAnimation*) {}
    virtual void RemoveAnimation(BoneAnimation*) {}
    // loops: 0xFFFFFFFF endless. queue: start after what plays now.
    virtual void PlayAnimation(BoneAnimation*, uint32_t /*loops*/, bool /*queue*/) {}
    virtual void StopAnimation(bool /*finishCycle*/) {}
    virtual bool HasAnimation(const BoneAnimation*) const { return false; }

    // The shader variables of a slot (exact name). A name the model lacks is logged and gets
    // a default record of its own, kept for later asks.
    ShaderVariables* GetShaderVars(const SharedString& name);

    // Box of node 0's collision points (the shiny mesh sets it; zero otherwise).
    const BoundingBox& Bounds() const { return bounds; }
    // Largest distance of a node-0 collision point from the model's origin.
    float Radius() const;
    // Node 0's collision points.
    const std::vector<Vector3>& Positions() const;
    const std::vector<MeshMarker>& Markers() const { return markers; }
    const std::vector<D3D8MeshNode>& Nodes() const { return nodes; }
    const std::vector<ShaderVarsSlot>& ShaderVarsSlots() const { return shaderVarsSlots; }
    D3D8RenderFacility* Facility() const { return facility_; }

    // The facility is going away: let go of every device object now (the mesh draws nothing
    // afterwards).
    virtual void DropDevice() { facility_ = nullptr; }

protected:
    // With a facility the mesh is one of its live meshes until it is destroyed.
    explicit D3D8Mesh(D3D8RenderFacility* facility);
    D3D8Mesh(const D3D8Mesh& other);

    // Nodes (every field but the draw items when `allFields`, else only the collision
    // geometry), slots and markers from the record.
    void TakeRecord(const MeshRecord& record, bool allFields);
    // A draw item of a part: the facility's material and pass set for the part's records.
    MeshDrawItem MakeItem(const MeshRecord& record, const MeshPart& part, const VertexBufferObject* vb,
                          const IndexBufferObject* ib);
    // Material, pass set and draw states of every item, then its ranges through the
    // geometry renderer.
    void RenderItems();
    // Runs `call` on the device's thread (at once when this is it).
    static void OnDevice(const std::function<void()>& call);
    // Takes the mesh off the facility's lists and the factory's cache (once). Each class calls
    // it first thing in its destructor, before anything of it is torn down, so that nothing
    // running on another thread (a device reset, a clone of a remembered model) reaches a
    // half-destroyed mesh.
    void LeaveLists();

    std::vector<ShaderVarsSlot> shaderVarsSlots;
    std::vector<D3D8MeshNode> nodes;
    std::vector<MeshMarker> markers;
    BoundingBox bounds;
    D3D8RenderFacility* facility_ = nullptr;

private:
    std::vector<std::pair<SharedString, std::unique_ptr<ShaderVariables>>> substitutes_;
    bool listed_ = true;
};

// The model without a device: nodes, slots, markers and bounds as the shiny mesh would keep
// them; draws nothing.
class InertMesh final : public D3D8Mesh {
public:
    explicit InertMesh(const MeshRecord& record);
    void Step(float) override {}
    void Render() override {}
    D3D8Mesh* Clone() override { return new InertMesh(*this); }

private:
    InertMesh(const InertMesh& other) = default;
};

// Draws `mesh` (nothing when null) with `local` in front of the stack's current matrix, which
// is left as it was.
void RenderMeshAt(MatrixStack& stack, D3D8Mesh* mesh, const Matrix4& local);
