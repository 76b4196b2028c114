#include "engine/render/D3D8Mesh.h"

#include <algorithm>

#include "engine/core/Debugger.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"

D3D8Mesh::D3D8Mesh(D3D8RenderFacility* facility) : facility_(facility) {
    bounds.Clear();
    if (facility_) facility_->AddLiveMesh(this);
}

D3D8Mesh::D3D8Mesh(const D3D8Mesh& other)
    : Renderable(other),
      shaderVarsSlots(other.shaderVarsSlots),
      nodes(other.nodes),
      markers(other.markers),
      bounds(other.bounds),
      facility_(other.facility_) {
    if (facility_) facility_->AddLiveMesh(this);
}

D3D8Mesh::~D3D8Mesh() { LeaveLists(); }

void D3D8Mesh::LeaveLists() {
    // Whoever deletes a mesh, nothing keeps a pointer to it.
    if (!listed_) return;
    listed_ = false;
    if (facility_) facility_->ForgetMesh(this);
    MeshFactory::ForgetMesh(this);
}

void D3D8Mesh::OnDevice(const std::function<void()>& call) {
    if (OnDeviceThread()) call();
    else RunOnDeviceThread(call);
}

ShaderVariables* D3D8Mesh::GetShaderVars(const SharedString& name) {
    for (const ShaderVarsSlot& slot : shaderVarsSlots)
        if (slot.name == name && slot.vars) return slot.vars.get();
    for (auto& [missing, vars] : substitutes_)
        if (missing == name) return vars.get();
    Debugger::Instance().Log(1, "MESH: Creating substitute shadervars for '%s' to prevent crash. NOT FUNCTIONAL!", name.c_str());
    auto vars = std::make_unique<ShaderVariables>();
    vars->textureFactor = 0xFFFFFFFFu;
    substitutes_.emplace_back(name, std::move(vars));
    return substitutes_.back().second.get();
}

const std::vector<Vector3>& D3D8Mesh::Positions() const {
    static const std::vector<Vector3> none;
    return nodes.empty() ? none : nodes.front().collisionPositions;
}

float D3D8Mesh::Radius() const {
    float longest = 0.0f;
    for (const Vector3& p : Positions()) longest = std::max(longest, p.LengthSquared());
    return Sqrt(longest);
}

void D3D8Mesh::TakeRecord(const MeshRecord& record, bool allFields) {
    nodes.clear();
    nodes.reserve(record.nodes.size());
    for (const MeshNode& n : record.nodes) {
        D3D8MeshNode node;
        if (allFields) {
            node.name = n.name;
            node.position = n.position;
            node.rotation = n.rotation;
            node.flags = n.flags;
            std::copy(std::begin(n.values), std::end(n.values), node.values);
            node.boneTrees = n.boneTrees;
        }
        node.collisionPositions.assign(n.collisionPositions.begin(), n.collisionPositions.end());
        node.collisionIndices.assign(n.collisionIndices.begin(), n.collisionIndices.end());
        nodes.push_back(std::move(node));
    }
    if (nodes.empty()) nodes.emplace_back();  // every mesh has a first node
    if (allFields) {
        shaderVarsSlots = record.slots;
        markers = record.markers;
    }
}

MeshDrawItem D3D8Mesh::MakeItem(const MeshRecord& record, const MeshPart& part, const VertexBufferObject* vb,
                                const IndexBufferObject* ib) {
    MeshDrawItem item;
    item.vertexBuffer = vb;
    item.indexBuffer = ib;
    item.material = facility_->AddMaterial(record.materials[part.material]);
    item.shader = facility_->AddShader(record.shaders[part.shader]);
    item.shaderVars = part.shaderVars;
    item.ranges = part.ranges;
    return item;
}

void D3D8Mesh::RenderItems() {
    if (!facility_) return;
    D3D8GeomRenderer* geometry = facility_->GetGeomRenderer();
    if (!geometry) return;
    for (const D3D8MeshNode& node : nodes) {
        for (const MeshDrawItem& item : node.items) {
            facility_->ApplyMaterial(item.material);
            facility_->ApplyShaderPass(item.shader);
            facility_->ApplyDrawStates(item.shaderVars.get());
            geometry->DrawMesh(item.vertexBuffer, item.indexBuffer, item.ranges);
        }
    }
}

InertMesh::InertMesh(const MeshRecord& record) : D3D8Mesh(nullptr) {
    TakeRecord(record, true);
    const std::vector<Vector3>& p = Positions();
    bounds = BoundingBox::FromPoints(p.data(), 0, int32_t(p.size()));
}

void RenderMeshAt(MatrixStack& stack, D3D8Mesh* mesh, const Matrix4& local) {
    if (!mesh) return;
    stack.Push();
    stack.PreMultiply(local);
    mesh->Render();
    stack.Pop();
}
