#include "game/world/StaticGeometryRenderer.h"

#include <algorithm>
#include <cstring>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/RenderBuffers.h"
#include "game/world/GameSession.h"
#include "game/world/ShaderCodes.h"

namespace sc = world_detail::shader;

namespace {

// A description as freshly reset: lit, depth written and tested (less or equal), no blending
// (its factors preset), stage 0 the texture, the later stages modulating over it.
ShaderDescription ResetDescription() {
    ShaderDescription d;
    d.lighting = 1;
    d.zWrite = 1;
    d.zFunc = sc::LessEqual;
    d.srcBlend = sc::SrcAlpha;
    d.dstBlend = sc::InvSrcAlpha;
    d.stageMask = 1;
    d.stages[0].colorOp = d.stages[0].alphaOp = sc::SelectArg1;
    d.stages[0].colorArg1 = d.stages[0].alphaArg1 = sc::Texture;
    d.stages[0].colorArg2 = d.stages[0].alphaArg2 = sc::Diffuse;
    for (uint32_t i = 1; i < 8; ++i) {
        d.stages[i].colorOp = d.stages[i].alphaOp = sc::Modulate;
        d.stages[i].colorArg1 = d.stages[i].alphaArg1 = sc::Texture;
        d.stages[i].colorArg2 = d.stages[i].alphaArg2 = sc::Current;
        d.stages[i].texCoord = i;
    }
    return d;
}

constexpr uint32_t AddSigned = 7, Specular = 3;
constexpr int32_t DepthEqual = 3;

// The world passes' stages: the texture plus the batch's constant colour, the ground shadow
// added signed over it, then the lighting.
void SetWorldStages(ShaderDescription& d, bool threeStages) {
    auto set = [&](int s, uint32_t cop, uint32_t c1, uint32_t c2, uint32_t aop, uint32_t a1, uint32_t a2, uint32_t coord) {
        ShaderStageDescription& st = d.stages[s];
        st.colorOp = cop;
        st.colorArg1 = c1;
        st.colorArg2 = c2;
        st.alphaOp = aop;
        st.alphaArg1 = a1;
        st.alphaArg2 = a2;
        st.texCoord = coord;
    };
    set(0, threeStages ? sc::Add : sc::SelectArg1, sc::Texture, Specular, sc::SelectArg1, sc::Texture, Specular, 0);
    // The ground shadow darkens or lightens the colour only: the alpha stays the material's,
    // or cut-out railings and glass would turn solid once these stages are registered.
    set(1, AddSigned, sc::Texture, sc::Current, sc::SelectArg2, sc::Texture, sc::Current, 1);
    set(2, sc::Modulate, sc::Diffuse, sc::Current, sc::Modulate, sc::Diffuse, sc::Current, 2);
    d.stageMask |= 0x02 | 0x04;
}

// The stage-1 texture a registered pass samples: the ground shadow under the world stages,
// else the material's reflection texture.
bool SamplesGround(const ShaderDescription& d) { return d.stages[1].colorOp == AddSigned && d.stages[1].texCoord == 1; }

void Transposed(const Matrix4& m, float (*out)[4], int rows) {
    for (int r = 0; r < rows; ++r)
        for (int c = 0; c < 4; ++c) out[r][c] = m.m[c][r];
}

void Splat(float (&out)[4], float v) { out[0] = out[1] = out[2] = out[3] = v; }

} // namespace

bool StaticDrawGroup::Cull(ObjectQuadTree&, const Camera& camera) { return owner && owner->CullGroup(*this, camera); }

StaticGeometryRenderer::StaticGeometryRenderer(RenderFacility* renderer, const GameSession* session)
    : renderer_(renderer), session_(session) {
    if (!renderer_) return;
    // Without hardware vertex processing the buffers are made for the software pipeline.
    auto* facility = dynamic_cast<D3D8RenderFacility*>(renderer_);
    const bool software = facility && !facility->Caps().hardwareTnL;
    vertexBuffer_ = renderer_->CreateDynamicVertexBuffer(VertexFormat, sizeof(StaticVertex), VertexCapacity, software);
    indexBuffer_ = renderer_->CreateDynamicIndexBuffer(IndexCapacity, VertexCapacity, software);
    firstPassShader_ = renderer_->LoadVertexShader(VertexFormat, "Misc\\zkWorld1.vso");
    litShader_ = renderer_->LoadVertexShader(VertexFormat, "Misc\\zkWorld2.vso");
    if (!firstPassShader_ || !litShader_)
        Debugger::Instance().Message("STATICGEOMETRY: World vertex shader missing or refused, drawing through fixed function");
    firstPass_ = renderer_->AddShader(ResetDescription());
}

StaticGeometryRenderer::~StaticGeometryRenderer() {
    ReleaseHandles();
    if (!renderer_) return;
    if (firstPass_) renderer_->ReleaseShader(firstPass_);
    if (vertexBuffer_) renderer_->ReleaseDynamicVertexBuffer(vertexBuffer_);
    if (indexBuffer_) renderer_->ReleaseDynamicIndexBuffer(indexBuffer_);
}

void StaticGeometryRenderer::ReleaseHandles() {
    if (!renderer_) return;
    for (ShaderPassSet* p : passSets)
        if (p) renderer_->ReleaseShader(p);
    for (Material* m : renderMaterials)
        if (m) renderer_->ReleaseMaterial(m);
    passSets.assign(passSets.size(), nullptr);
    renderMaterials.assign(renderMaterials.size(), nullptr);
}

void StaticGeometryRenderer::RecreateShaders() {
    ReleaseHandles();
    passSets.assign(materials.size(), nullptr);
    renderMaterials.assign(materials.size(), nullptr);
    if (!renderer_) return;
    const int32_t option = session_ ? session_->renderOption : 0;
    auto* facility = dynamic_cast<D3D8RenderFacility*>(renderer_);
    const bool threeStages = !facility || facility->Caps().maxSimultaneousTextures >= 3;
    for (size_t i = 0; i < materials.size() && i < descriptions.size(); ++i) {
        ShaderDescription& stored = descriptions[i];
        // The registered pass: no specular; an opaque material blends over what the depth
        // pass (render option 1) laid down, tested equal against its depth.
        ShaderDescription pass = stored;
        pass.specular = 0;
        if (!pass.blend) {
            if (option == 1) {
                pass.zWrite = 0;
                pass.zFunc = DepthEqual;
            }
            pass.blend = 1;
        }
        // The stored description takes the world stages; they reach the renderer from the
        // next registration on.
        SetWorldStages(stored, threeStages);
        passSets[i] = renderer_->AddShader(pass);
        const StaticMaterial& m = materials[i];
        MaterialDescription d;
        d.ambient = m.colourA;
        d.emissive = m.colourB;
        d.textures[0] = m.texture;
        d.textures[1] = SamplesGround(pass) ? shadowTexture : m.secondTexture;
        d.diffuseAlpha = uint8_t(materialValue & 0xFFu);
        renderMaterials[i] = renderer_->AddMaterial(d);
    }
}

void StaticGeometryRenderer::PrepareBatches() {
    faceNormals_.resize(triangles.size());
    for (size_t t = 0; t < triangles.size(); ++t) {
        const StaticTriangle& tri = triangles[t];
        const Vector3& a = vertices[tri.v[0]].position;
        const Vector3& b = vertices[tri.v[1]].position;
        const Vector3& c = vertices[tri.v[2]].position;
        faceNormals_[t] = Vector3::Cross(b - a, c - a).Normalized();
    }
    marks_.assign(vertices.size(), VertexMark{});
    // Distinct vertices per group: what a group can add to a frame's vertex buffer at most; and
    // the indices of its whole triangles.
    groupVertexCounts_.assign(groups.size(), 0);
    groupIndexCounts_.assign(groups.size(), 0);
    std::vector<uint32_t> seen(vertices.size(), 0xFFFFFFFFu);
    for (size_t g = 0; g < groups.size(); ++g) {
        const StaticDrawGroup& group = groups[g];
        const size_t first = group.firstIndex / 3;
        const size_t end = std::min<size_t>((size_t(group.firstIndex) + group.indexCount) / 3, triangles.size());
        uint32_t n = 0;
        for (size_t t = first; t < end; ++t)
            for (uint32_t v : triangles[t].v)
                if (seen[v] != g) {
                    seen[v] = uint32_t(g);
                    ++n;
                }
        groupVertexCounts_[g] = n;
        groupIndexCounts_[g] = end > first ? uint32_t(end - first) * 3 : 0;
    }
    visible_.assign(batches.size(), {});
    ranges_.assign(batches.size(), BatchRange{});
    selected_.assign(batches.size(), Selection{});
    frameCounter_ = 0;
}

bool StaticGeometryRenderer::CullGroup(StaticDrawGroup& group, const Camera& camera) {
    const float dx = group.bounds.centre.x - camera.position.x;
    const float dz = group.bounds.centre.z - camera.position.z;
    const float d2 = dx * dx + dz * dz;
    if (!(group.groupFlags & StaticDrawGroup::NoDistanceTest)) {
        const float reach = camera.farPlane + group.radius;
        if (d2 > reach * reach) return false;
    }
    if (!camera.IsBoxVisible(group.bounds)) return false;
    if (group.batch < 0 || size_t(group.batch) >= visible_.size()) return false;
    visible_[size_t(group.batch)].push_back({&group, d2, queueOrder_++});
    return true;
}

void StaticGeometryRenderer::LogOnce(int which, const char* line) {
    if (logged_[which]) return;
    logged_[which] = true;
    Debugger::Instance().Log(1, "%s", line);
}

bool StaticGeometryRenderer::SelectGroups() {
    // Every batch's nearest groups, taken in turns, as far as both buffers hold what they may
    // add; the first group that no longer fits whole is cut short and ends its batch's turns.
    uint64_t vertexNeed = 0, indexNeed = 0;
    for (const auto& list : visible_)
        for (const Visible& v : list) {
            vertexNeed += groupVertexCounts_[size_t(v.group - groups.data())];
            indexNeed += groupIndexCounts_[size_t(v.group - groups.data())];
        }
    std::fill(selected_.begin(), selected_.end(), Selection{});
    if (indexNeed == 0) return false;
    closed_.assign(visible_.size(), 0);
    uint32_t vertexLeft = VertexCapacity, indexLeft = IndexCapacity;
    bool open = true;
    while (open) {
        open = false;
        for (size_t b = 0; b < visible_.size(); ++b) {
            const auto& list = visible_[b];
            Selection& sel = selected_[b];
            if (closed_[b] || sel.groups >= list.size()) continue;
            const size_t gi = size_t(list[list.size() - 1 - sel.groups].group - groups.data());
            const uint32_t gv = groupVertexCounts_[gi], gn = groupIndexCounts_[gi];
            const uint32_t vFit = std::min(gv, vertexLeft), iFit = std::min(gn, indexLeft) / 3 * 3;
            const bool whole = vFit == gv && iFit == gn;
            if (!whole) {
                closed_[b] = 1;
                if (vFit < 3 || iFit < 3) continue; // not even one more triangle
            }
            ++sel.groups;
            sel.lastVertices = vFit;
            sel.lastIndices = iFit;
            vertexLeft -= vFit;
            indexLeft -= iFit;
            if (whole) open = true;
        }
    }
    if (vertexNeed > VertexCapacity || indexNeed > IndexCapacity)
        LogOnce(0, "STATICGEOMETRY: More visible geometry than one frame holds; the farthest groups are left out");
    vertexLimit_ = VertexCapacity - vertexLeft;
    indexLimit_ = IndexCapacity - indexLeft;
    return indexLimit_ > 0;
}

void StaticGeometryRenderer::BeginFrame(const Camera& camera) {
    ++frameCounter_;
    cameraPosition_ = camera.position;
    const float far = camera.farPlane;
    fadeStartSquared_ = 0.75f * far * 0.75f * far;
    fadeEndSquared_ = far * far;
    fadeScale_ = fadeEndSquared_ > fadeStartSquared_ ? 1.0f / (fadeEndSquared_ - fadeStartSquared_) : 0.0f;

    // Farthest first; of equal keys the one queued later counts as farther.
    for (auto& list : visible_)
        std::sort(list.begin(), list.end(), [](const Visible& a, const Visible& b) {
            return a.key != b.key ? a.key > b.key : a.order > b.order;
        });
    std::fill(ranges_.begin(), ranges_.end(), BatchRange{});
    verticesWritten_ = indicesWritten_ = 0;
    if (vertexBuffer_ && indexBuffer_ && SelectGroups()) {
        uint32_t vertexMode = 2, indexMode = 2; // no-overwrite while the rings have room
        if (vertexWrite_ + vertexLimit_ > VertexCapacity) {
            vertexWrite_ = 0;
            vertexMode = 1; // discard
        }
        if (indexWrite_ + indexLimit_ > IndexCapacity) {
            indexWrite_ = 0;
            indexMode = 1;
        }
        lockedVertices_ = static_cast<uint8_t*>(vertexBuffer_->Lock(vertexWrite_, vertexLimit_, vertexMode));
        lockedIndices_ = lockedVertices_ ? static_cast<uint16_t*>(indexBuffer_->Lock(indexWrite_, indexLimit_, indexMode)) : nullptr;
        if (lockedVertices_ && lockedIndices_) {
            vertexBase_ = vertexWrite_;
            indexBase_ = indexWrite_;
            for (size_t b = 0; b < visible_.size(); ++b) {
                BatchRange& r = ranges_[b];
                r.firstIndex = indicesWritten_;
                const uint32_t firstVertex = verticesWritten_;
                lowestSlot_ = firstVertex;
                const auto& list = visible_[b];
                const Selection& sel = selected_[b];
                // Nearest first.
                for (uint32_t k = 0; k < sel.groups; ++k) {
                    const StaticDrawGroup& g = *list[list.size() - 1 - k].group;
                    const size_t gi = size_t(&g - groups.data());
                    const bool last = k + 1 == sel.groups;
                    GatherTriangles(g, last ? sel.lastVertices : groupVertexCounts_[gi], last ? sel.lastIndices : groupIndexCounts_[gi]);
                }
                r.indexCount = indicesWritten_ - r.firstIndex;
                r.firstVertex = r.indexCount ? std::min(lowestSlot_, firstVertex) : 0;
                r.vertexCount = r.indexCount ? verticesWritten_ - r.firstVertex : 0;
            }
        } else {
            verticesWritten_ = indicesWritten_ = 0;
        }
        if (lockedVertices_) vertexBuffer_->Unlock();
        if (lockedIndices_) indexBuffer_->Unlock();
        lockedVertices_ = nullptr;
        lockedIndices_ = nullptr;
        vertexBuffer_->SetUserValue(int32_t(vertexBase_));
        indexBuffer_->SetUserValue(int32_t(indexBase_));
        vertexWrite_ += verticesWritten_;
        indexWrite_ += indicesWritten_;
    }
    for (auto& list : visible_) list.clear();
    queueOrder_ = 0;
}

void StaticGeometryRenderer::GatherTriangles(const StaticDrawGroup& group, uint32_t maxVertices, uint32_t maxIndices) {
    if (!lockedVertices_ || !lockedIndices_) return;
    const size_t first = group.firstIndex / 3;
    const size_t end = std::min<size_t>((size_t(group.firstIndex) + group.indexCount) / 3, triangles.size());
    const int32_t frame = frameCounter_;
    // The group's share of the locked ranges.
    const uint32_t vertexEnd = std::min(verticesWritten_ + maxVertices, vertexLimit_);
    const uint32_t indexEnd = std::min(indicesWritten_ + maxIndices, indexLimit_);
    for (size_t t = first; t < end; ++t) {
        const StaticTriangle& tri = triangles[t];
        // Only what faces the camera strictly: edge-on triangles are left out too.
        if (Vector3::Dot(cameraPosition_ - vertices[tri.v[0]].position, faceNormals_[t]) <= 0.0f) continue;
        uint32_t needed = 0;
        for (int c = 0; c < 3; ++c) {
            const uint32_t v = tri.v[c];
            if (marks_[v].stamp != frame && (c == 0 || v != tri.v[0]) && (c < 2 || v != tri.v[1])) ++needed;
        }
        if (indicesWritten_ + 3 > indexEnd || verticesWritten_ + needed > vertexEnd) return;
        for (uint32_t v : tri.v) {
            VertexMark& m = marks_[v];
            if (m.stamp != frame) {
                m.stamp = frame;
                m.slot = uint16_t(verticesWritten_++);
                std::memcpy(lockedVertices_ + size_t(m.slot) * sizeof(StaticVertex), &vertices[v], sizeof(StaticVertex));
            }
            lowestSlot_ = std::min<uint32_t>(lowestSlot_, m.slot);
            lockedIndices_[indicesWritten_++] = m.slot;
        }
    }
}

void StaticGeometryRenderer::Draw(const Camera& camera) {
    if (!renderer_ || !vertexBuffer_ || !indexBuffer_ || indicesWritten_ == 0) return;
    D3D8GeomRenderer* geometry = renderer_->GetGeomRenderer();
    if (!geometry) return;
    auto* facility = dynamic_cast<D3D8RenderFacility*>(renderer_);
    const bool softwareSwitch = facility && !facility->Caps().hardwareTnL;
    if (softwareSwitch) renderer_->SetSoftwareVertexProcessing(false);

    // The shaders' constants: projection, view (its fourth column is (0, 0, 0, 1)), the three
    // lights, the fade, the ground mapping and the two kernel constants.
    float ambient[4] = {};
    float c[23][4] = {};
    Transposed(camera.projection, c, 4);
    Transposed(camera.view, c + 4, 3);
    for (int i = 0; i < 3; ++i) {
        if (!session_) break;
        const SceneLight& light = session_->lights[i];
        const float f = std::min(light.intensity, 1.0f);
        const Matrix4 r = light.orientation.ToMatrix();
        const Vector3 z = r.TransformNormal(Vector3(0.0f, 0.0f, 1.0f));
        c[7 + i][0] = z.x;
        c[7 + i][1] = z.y;
        c[7 + i][2] = z.z;
        for (int k = 0; k < 4; ++k) {
            c[10 + i][k] = f * light.diffuse[k];
            ambient[k] += f * light.ambient[k];
        }
    }
    Splat(c[13], fadeStartSquared_);
    Splat(c[14], fadeScale_);
    Splat(c[15], groundMinX);
    Splat(c[16], groundMinZ);
    Splat(c[17], groundMaxX > groundMinX ? 1.0f / (groundMaxX - groundMinX) : 0.0f);
    Splat(c[18], groundMaxZ > groundMinZ ? 1.0f / (groundMaxZ - groundMinZ) : 0.0f);
    const float kernel[2][4] = {{0.000666667f, 0.0f, -0.000666667f, 0.5f}, {1.0f, 0.0f, 0.0f, 0.0f}};
    std::memcpy(c[21], kernel, sizeof kernel);
    if (firstPassShader_ || litShader_) renderer_->SetVertexShaderConstant(0, c, 23);

    // Fixed function draws in world coordinates.
    MatrixStack* stack = renderer_->GetMatrixStack();
    bool identityPushed = false;
    auto worldIdentity = [&] {
        if (identityPushed || !stack) return;
        stack->Push();
        stack->LoadIdentity();
        identityPushed = true;
    };

    // The city fades into the fog colour (the sky's, which the sky gave the camera this frame)
    // over the last quarter of the view, so the horizon has no hard edge: the shaders give
    // the fade as their fog factor, fixed function fogs the same distances. A camera that
    // fogs of its own (under water) keeps its fog.
    const bool ownFog = facility && !camera.FogEnabled();
    if (ownFog) facility->SetLinearFog(camera.fogColor, 0.75f * camera.farPlane, camera.farPlane);

    const ::DrawRange all{indexBase_, indicesWritten_, 0, verticesWritten_};
    if (session_ && session_->renderOption == 1) {
        renderer_->ApplyShaderPass(firstPass_);
        renderer_->SetVertexShader(firstPassShader_);
        if (!firstPassShader_) worldIdentity();
        geometry->DrawIndexed(vertexBuffer_, indexBuffer_, all);
    }
    renderer_->SetVertexShader(litShader_);
    if (!litShader_) worldIdentity();
    for (size_t b = 0; b < ranges_.size() && b < batches.size(); ++b) {
        const BatchRange& r = ranges_[b];
        if (r.indexCount == 0) continue;
        const StaticBatch& batch = batches[b];
        const size_t m = size_t(batch.material);
        if (m >= renderMaterials.size() || m >= passSets.size()) continue;
        renderer_->ApplyMaterial(renderMaterials[m]);
        if (litShader_) {
            // Ambient times the diffuse colour plus the emissive one; then the batch's constant.
            float bucket[2][4];
            for (int k = 0; k < 4; ++k) bucket[0][k] = ambient[k] * batch.colours[1][k] + batch.colours[0][k];
            std::memcpy(bucket[1], batch.colours[2], sizeof bucket[1]);
            renderer_->SetVertexShaderConstant(19, bucket, 2);
        }
        renderer_->ApplyShaderPass(passSets[m]);
        geometry->DrawIndexed(vertexBuffer_, indexBuffer_, ::DrawRange{indexBase_ + r.firstIndex, r.indexCount, r.firstVertex, r.vertexCount});
    }
    renderer_->SetVertexShader(nullptr);
    if (ownFog) facility->ApplyCameraFog(&camera);
    if (identityPushed) stack->Pop();
    if (softwareSwitch) renderer_->SetSoftwareVertexProcessing(true);
}
