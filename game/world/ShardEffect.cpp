#include "game/world/ShardEffect.h"

#include <algorithm>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderBuffers.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/ShaderTypes.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/ZkmFormat.h"

namespace {

class FactoryTextures final : public zkm::TextureSource {
public:
    TextureHandle* Load(const SharedString& name, bool share) override {
        return KeepMeshTexture(TextureFactory::Instance().GetByName(name, share));
    }
    TextureHandle* EnvironmentCube() override { return nullptr; }
};

// The shared ring of shard vertices.
struct SharedBuffer {
    RenderFacility* facility = nullptr;
    DynamicVertexBuffer* vertices = nullptr;
    uint32_t writePosition = 0;
};
SharedBuffer g_buffer;

SharedString FindModel(const SharedString& name) {
    if (FileExists(name)) return name;
    const std::vector<SharedString>& dirs = MeshFactory::Instance().searchDirectories;
    for (size_t i = dirs.size(); i-- > 0;) {
        SharedString candidate = SharedString::Format("%s\\%s", dirs[i].c_str(), name.c_str());
        if (FileExists(candidate)) return candidate;
    }
    return name;
}

}  // namespace

// ---------------------------------------------------------------------------------------------

std::shared_ptr<ShardMesh> ShardMesh::Load(RenderFacility* facility, const SharedString& modelName) {
    MeshRecord record;
    record.name = FindModel(modelName);
    record.share = 1;
    FactoryTextures textures;
    if (!zkm::ReadMesh(record, textures)) record = DefaultMeshRecord();
    return std::make_shared<ShardMesh>(facility, record);
}

ShardMesh::ShardMesh(RenderFacility* facility, const MeshRecord& record) : facility_(facility) {
    const MeshPart* first = nullptr;
    for (const MeshNode& node : record.nodes) {
        for (const MeshPart& part : node.parts) {
            if (!first) first = &part;
            for (const DrawRange& r : part.ranges) {
                const uint32_t whole = r.indexCount - r.indexCount % 3;
                for (uint32_t k = 0; k < whole; ++k) {
                    const uint64_t at = uint64_t(r.startIndex) + k;
                    const uint32_t index = at < record.indices.size() ? record.indices[size_t(at)] : 0xFFFFFFFFu;
                    corners.push_back(index < record.vertices.size() ? record.vertices[index] : MeshVertex{});
                }
            }
        }
    }
    if (facility_ && first) {
        if (first->material < record.materials.size()) material = facility_->AddMaterial(record.materials[first->material]);
        if (first->shader < record.shaders.size()) passSet = facility_->AddShader(record.shaders[first->shader]);
    }
}

ShardMesh::~ShardMesh() {
    if (!facility_) return;
    if (material) facility_->ReleaseMaterial(material);
    if (passSet) facility_->ReleaseShader(passSet);
}

// ---------------------------------------------------------------------------------------------

void ShardEffect::SetRenderer(RenderFacility* facility) {
    if (g_buffer.facility && g_buffer.vertices) g_buffer.facility->ReleaseDynamicVertexBuffer(g_buffer.vertices);
    g_buffer = SharedBuffer{};
    if (!facility) return;
    g_buffer.facility = facility;
    g_buffer.vertices = facility->CreateDynamicVertexBuffer(kMeshVertexFormat, sizeof(MeshVertex), kBufferVertices, false);
}

void ShardEffect::Build(std::shared_ptr<const ShardMesh> mesh) {
    mesh_ = std::move(mesh);
    uint32_t count = mesh_ ? mesh_->TriangleCount() : 0;
    if (count > kMaxShards) {
        Debugger::Instance().Log(2, "SHARDS: %u triangles, only the first %u fly", count, kMaxShards);
        count = kMaxShards;
    }
    shards.resize(count);
    for (Shard& s : shards) {
        s.position = Vector3();
        s.orientation = Quaternion();
        s.velocity = Vector3(RandomFloat(-20.0f, 20.0f), 0.0f, RandomFloat(-20.0f, 20.0f));
        s.spin = Vector3(RandomFloat(-0.5f, 0.5f), RandomFloat(-0.5f, 0.5f), RandomFloat(-0.5f, 0.5f));
        s.fallRate = RandomFloat(10.0f, 20.0f);
    }
    clock = 0.0f;
    clockCopy = 0.0f;
    firstVertex_ = -1;
    writtenShards_ = 0;
}

void ShardEffect::Update(float, float dt) {
    if (clockCopy > 2.0f && clock < 0.1f) clock = kDuration;
    if (clockCopy < kDuration) {
        clock += dt;
        clockCopy = clock;
    } else {
        clock = clockCopy;
    }
    if (clock > kDuration) return;

    const float k = std::min(0.2f * clock, 1.0f);
    for (Shard& s : shards) {
        s.velocity.x += RandomFloat(-dt, dt);
        s.velocity.y -= s.fallRate * dt;
        s.velocity.z += RandomFloat(-dt, dt);
        s.position += s.velocity * dt;
        s.orientation.RotateX(k * s.spin.x * dt);
        s.orientation.RotateY(k * s.spin.y * dt);
        s.orientation.RotateZ(k * s.spin.z * dt);
    }

    firstVertex_ = -1;
    writtenShards_ = 0;
    DynamicVertexBuffer* vb = g_buffer.vertices;
    if (!vb || !mesh_ || shards.empty()) return;
    const uint32_t count = uint32_t(shards.size()) * 3;
    uint32_t mode = 2;  // no-overwrite
    if (g_buffer.writePosition + count >= vb->count) {
        g_buffer.writePosition = 0;
        mode = 1;  // discard
    }
    auto* out = static_cast<MeshVertex*>(vb->Lock(g_buffer.writePosition, count, mode));
    if (!out) return;
    for (size_t i = 0; i < shards.size(); ++i) {
        const Shard& s = shards[i];
        const Matrix4 rotation = s.orientation.ToMatrix();
        for (size_t c = 0; c < 3; ++c) {
            const MeshVertex& v = mesh_->corners[i * 3 + c];
            *out++ = MeshVertex{rotation.TransformNormal(v.position) + s.position, rotation.TransformNormal(v.normal),
                                v.u, v.v};
        }
    }
    vb->Unlock();
    firstVertex_ = int32_t(g_buffer.writePosition);
    writtenShards_ = uint32_t(shards.size());
    g_buffer.writePosition += count;
}

void ShardEffect::Draw() {
    if (clock > kDuration || firstVertex_ < 0 || writtenShards_ == 0) return;
    RenderFacility* f = g_buffer.facility;
    D3D8GeomRenderer* geometry = f ? f->GetGeomRenderer() : nullptr;
    if (!geometry || !g_buffer.vertices) return;
    f->SetVertexShader(nullptr);
    if (mesh_->passSet) f->ApplyShaderPass(mesh_->passSet);
    if (mesh_->material) f->ApplyMaterial(mesh_->material);
    f->ApplyDrawStates(nullptr);
    // Single triangles show both faces while they tumble.
    f->SetCullMode(0);
    g_buffer.vertices->SetUserValue(0);
    geometry->Draw(g_buffer.vertices, VertexRange{uint32_t(firstVertex_), writtenShards_ * 3}, kDrawTriangles);
    f->SetCullMode(1);
}
