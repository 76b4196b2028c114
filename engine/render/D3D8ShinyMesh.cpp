#include "engine/render/D3D8ShinyMesh.h"

#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/EnvironmentCube.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/TextureFactory.h"

namespace {

constexpr uint32_t kCameraNormalCoords = 8, kReflectionCoords = 0x20;

void SetStage(ShaderStageDescription& s, uint32_t colorOp, uint32_t c1, uint32_t c2, uint32_t alphaOp, uint32_t a1,
              uint32_t a2, uint32_t result, uint32_t coords) {
    s.colorOp = colorOp;
    s.colorArg1 = c1;
    s.colorArg2 = c2;
    s.alphaOp = alphaOp;
    s.alphaArg1 = a1;
    s.alphaArg2 = a2;
    s.resultArg = result;
    s.texCoord = coords;
}

// The model's own shine texture ("Textures\<first texture>_S.ZKT") or the common one.
TextureHandle* ShineTexture(const SharedString& firstTexture) {
    SharedString name("Shiny.ZKT");
    // Shorter than an extension and one character: no name of its own.
    if (firstTexture.Length() >= 5) {
        const SharedString own =
            SharedString::Format("Textures\\%s_S.ZKT", firstTexture.Mid(0, firstTexture.Length() - 4).c_str());
        if (FileExists(own)) name = own;
    }
    return KeepMeshTexture(TextureFactory::Instance().GetByName(name, true));
}

// Base texture x diffuse + shine texture x (environment + specular).
void ShineSetUp(MaterialDescription& m, ShaderDescription& d, TextureHandle* cube, TextureHandle* shine) {
    m.textures[1] = cube;
    m.textures[2] = shine;
    SetStage(d.stages[0], 3, 2, 1, 3, 2, 1, 0, 0);
    SetStage(d.stages[1], 6, 2, 3, 1, 2, 3, 7, kReflectionCoords);
    SetStage(d.stages[2], 3, 2, 7, 1, 2, 0, 7, 0);
    SetStage(d.stages[3], 6, 0, 7, 2, 7, 0, 0, 0);
    d.stageMask = 15;
}

}  // namespace

D3D8ShinyMesh::D3D8ShinyMesh(D3D8RenderFacility& facility, const MeshRecord& record) : D3D8Mesh(&facility) {
    vertexCount = int32_t(record.vertices.size());
    faceCount = int32_t(record.indices.size() / 3);
    const uint32_t faces = uint32_t(faceCount);
    const uint32_t fvf = EngineFormatToFvf(kMeshVertexFormat);
    std::unique_ptr<gfx::Mesh> mesh = gfx::Mesh::Create(facility.Device(), faces, uint32_t(vertexCount), kOptions, fvf);
    uint32_t* attributes = nullptr;
    if (mesh) {
        uint8_t* v = mesh->LockVertices();
        auto* i = static_cast<uint16_t*>(mesh->LockIndices());
        if (v) memcpy(v, record.vertices.data(), record.vertices.size() * sizeof(MeshVertex));
        if (i)
            for (size_t k = 0; k < size_t(faces) * 3; ++k) i[k] = uint16_t(record.indices[k]);
        mesh->UnlockVertices();
        mesh->UnlockIndices();
        attributes = mesh->LockAttributes();
    }

    TakeRecord(record, true);
    EnvironmentCube* cube = EnvironmentCube::Global();
    TextureHandle* cubeHandle = cube ? cube->Handle() : nullptr;
    const bool shineStages = facility.Caps().maxSimultaneousTextures >= 3;
    uint32_t cursor = 0;
    for (size_t n = 0; n < record.nodes.size(); ++n) {
        for (const MeshPart& part : record.nodes[n].parts) {
            MaterialDescription material = record.materials[part.material];
            ShaderDescription shader = record.shaders[part.shader];
            if (cubeHandle) {
                bool showsCube = false;
                for (int t = 0; t < 8; ++t) {
                    if (material.textures[t] != cubeHandle) continue;
                    showsCube = true;
                    shader.stages[t].texCoord = (shader.stages[t].texCoord & ~kCameraNormalCoords) | kReflectionCoords;
                    shader.stages[t].useTextureMatrix = 0;
                }
                if (showsCube && shineStages) {
                    const SharedString& first =
                        part.materialIndex < record.textureNames.size() ? record.textureNames[part.materialIndex] : SharedString("");
                    ShineSetUp(material, shader, cubeHandle, ShineTexture(first));
                }
            }
            MeshDrawItem item;
            item.material = facility.AddMaterial(material);
            item.shader = facility.AddShader(shader);
            item.shaderVars = part.shaderVars;
            item.ranges = part.ranges;
            size_t s = 0;
            while (s < subsets.size() && !(subsets[s].material == item.material && subsets[s].shader == item.shader &&
                                           subsets[s].shaderVars == item.shaderVars))
                ++s;
            if (s == subsets.size()) subsets.push_back({item.material, item.shader, item.shaderVars});
            // Faces take their subset in the order the ranges list them; any past the model's
            // faces are skipped.
            for (const DrawRange& r : item.ranges)
                for (uint32_t f = 0; f < r.indexCount / 3; ++f, ++cursor)
                    if (attributes && cursor < faces) attributes[cursor] = uint32_t(s);
            nodes[n].items.push_back(std::move(item));
        }
    }
    if (mesh) {
        mesh->UnlockAttributes();
        std::vector<uint32_t> faceRemap(faces), vertexRemap;
        if (!mesh->Optimize(gfx::optimize::COMPACT | gfx::optimize::ATTRSORT | gfx::optimize::VERTEXCACHE, faceRemap.data(),
                            &vertexRemap))
            Debugger::Instance().Message("Failed optimizing mesh");
    }
    mesh_ = std::move(mesh);
    const std::vector<Vector3>& p = Positions();
    bounds = BoundingBox::FromPoints(p.data(), 0, int32_t(p.size()));
}

D3D8ShinyMesh::D3D8ShinyMesh(const D3D8ShinyMesh& source)
    : D3D8Mesh(source), vertexCount(source.vertexCount), faceCount(source.faceCount), subsets(source.subsets),
      mesh_(source.mesh_) {
    // A slot without a record gets a new default one, which the parts without shader
    // variables take too.
    ShaderVarsPtr fresh;
    for (ShaderVarsSlot& slot : shaderVarsSlots)
        if (!slot.vars) slot.vars = fresh ? fresh : (fresh = NewDefaultShaderVariables());
    if (!fresh) return;
    for (D3D8MeshNode& node : nodes)
        for (MeshDrawItem& item : node.items)
            if (!item.shaderVars) item.shaderVars = fresh;
    for (Subset& s : subsets)
        if (!s.shaderVars) s.shaderVars = fresh;
}

D3D8ShinyMesh::~D3D8ShinyMesh() {
    LeaveLists();
    ReleaseMesh();
}

void D3D8ShinyMesh::ReleaseMesh() {
    if (mesh_) OnDevice([this] { mesh_.reset(); });
}

void D3D8ShinyMesh::DropDevice() {
    mesh_.reset();
    D3D8Mesh::DropDevice();
}

D3D8Mesh* D3D8ShinyMesh::Clone() {
    D3D8ShinyMesh* clone = nullptr;
    OnDevice([&] { clone = new D3D8ShinyMesh(*this); });
    return clone;
}

void D3D8ShinyMesh::DrawPass(bool blended) {
    for (size_t s = 0; s < subsets.size(); ++s) {
        const Subset& subset = subsets[s];
        const bool blends = subset.shader && (subset.shader->flags & ShaderPassSet::kBlend);
        if (blends != blended) continue;
        facility_->ApplyMaterial(subset.material);
        facility_->ApplyShaderPass(subset.shader);
        facility_->ApplyDrawStates(subset.shaderVars.get());
        // The subset draw binds the mesh's format itself: the facility's cache must agree.
        facility_->SetVertexShaderHandle(mesh_->Fvf());
        mesh_->DrawSubset(uint32_t(s));
    }
}

void D3D8ShinyMesh::Render() {
    if (!facility_ || !mesh_) return;
    if (D3D8GeomRenderer* geometry = facility_->GetGeomRenderer()) geometry->PrepareTransformAndLights();
    facility_->CountDraw(faceCount, vertexCount);
    DrawPass(false);
    DrawPass(true);
    // The subsets bound the mesh's stream and indices behind the facility's caches.
    facility_->ForgetStreamAndIndices();
}
