#include "platform/gfx/Mesh.h"

#include <algorithm>
#include <cstring>
#include <numeric>

namespace gfx {

namespace {

Pool PoolOf(uint32_t options, uint32_t systemBit, uint32_t managedBit) {
    if (options & systemBit) return Pool::SYSTEMMEM;
    if (options & managedBit) return Pool::MANAGED;
    return Pool::DEFAULT;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Mesh

std::unique_ptr<Mesh> Mesh::Create(Device* device, uint32_t faces, uint32_t vertices, uint32_t options,
                                   uint32_t fvfCode) {
    const uint32_t stride = VertexStride(fvfCode);
    if (faces == 0 || vertices == 0 || stride == 0) return nullptr;
    const uint32_t indexSize = (options & meshopt::INDEX32) ? 4 : 2;
    // 32-bit sizes for the device: refuse what would not fit.
    if (uint64_t(vertices) * stride > 0xFFFFFFFFull || uint64_t(faces) * 3 * indexSize > 0xFFFFFFFFull) return nullptr;
    std::unique_ptr<Mesh> m(new Mesh());
    m->device_ = device;
    m->faces_ = faces;
    m->vertices_ = vertices;
    m->options_ = options;
    m->fvf_ = fvfCode;
    m->stride_ = stride;
    m->attributes_.assign(faces, 0);
    const Pool vbPool = PoolOf(options, meshopt::VB_SYSTEMMEM, meshopt::VB_MANAGED);
    const Pool ibPool = PoolOf(options, meshopt::IB_SYSTEMMEM, meshopt::IB_MANAGED);
    if (vbPool == Pool::SYSTEMMEM || !device) {
        m->cpuVertices_.assign(size_t(vertices) * stride, 0);
    } else {
        m->vb_ = device->CreateVertexBuffer(vertices * stride, fvfCode, vbPool, (options & meshopt::VB_DYNAMIC) != 0);
        if (!m->vb_) return nullptr;
    }
    if (ibPool == Pool::SYSTEMMEM || !device || !m->vb_) {
        m->cpuIndices_.assign(size_t(faces) * 3 * indexSize, 0);
    } else {
        m->ib_ = device->CreateIndexBuffer(faces * 3 * indexSize, indexSize == 4, ibPool,
                                           (options & meshopt::IB_DYNAMIC) != 0);
        if (!m->ib_) return nullptr;  // the destructor releases the vertex buffer
    }
    m->BuildTable();
    return m;
}

Mesh::~Mesh() {
    if (!device_) return;
    if (vb_) device_->ReleaseBuffer(vb_);
    if (ib_) device_->ReleaseBuffer(ib_);
}

uint8_t* Mesh::LockVertices() {
    if (vertexLock_) return nullptr;
    // The whole buffer is rewritten in place: orphaning it first would only make the driver
    // allocate (and clear) new storage for every posed frame.
    uint8_t* p = vb_ ? static_cast<uint8_t*>(device_->Lock(vb_, 0, 0, 0)) : cpuVertices_.data();
    vertexLock_ = p != nullptr;
    return p;
}

void Mesh::UnlockVertices() {
    if (!vertexLock_) return;
    if (vb_) device_->Unlock(vb_);
    vertexLock_ = false;
}

void* Mesh::LockIndices() {
    if (indexLock_) return nullptr;
    void* p = ib_ ? device_->Lock(ib_, 0, 0, 0) : static_cast<void*>(cpuIndices_.data());
    indexLock_ = p != nullptr;
    return p;
}

void Mesh::UnlockIndices() {
    if (!indexLock_) return;
    if (ib_) device_->Unlock(ib_);
    indexLock_ = false;
}

uint32_t* Mesh::LockAttributes() { return attributes_.data(); }

void Mesh::UnlockAttributes() { BuildTable(); }

const uint8_t* Mesh::Vertices() const { return vb_ ? vb_->Shadow() : cpuVertices_.data(); }

const void* Mesh::Indices() const { return ib_ ? static_cast<const void*>(ib_->Shadow()) : cpuIndices_.data(); }

uint32_t Mesh::Index(uint32_t face, uint32_t corner) const {
    const size_t i = size_t(face) * 3 + corner;
    return Index32() ? static_cast<const uint32_t*>(Indices())[i] : static_cast<const uint16_t*>(Indices())[i];
}

void Mesh::BuildTable() {
    table_.clear();
    for (uint32_t f = 0; f < faces_;) {
        AttributeRange r;
        r.attribId = attributes_[f];
        r.faceStart = f;
        uint32_t lo = 0xFFFFFFFFu, hi = 0;
        while (f < faces_ && attributes_[f] == r.attribId) {
            for (uint32_t c = 0; c < 3; ++c) {
                const uint32_t v = Index(f, c);
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            ++f;
        }
        r.faceCount = f - r.faceStart;
        r.vertexStart = lo;
        r.vertexCount = hi - lo + 1;
        table_.push_back(r);
    }
}

bool Mesh::Optimize(uint32_t, uint32_t* faceRemap, std::vector<uint32_t>* vertexRemap) {
    if (vertexLock_ || indexLock_) return false;
    for (uint32_t f = 0; f < faces_; ++f)
        for (uint32_t c = 0; c < 3; ++c)
            if (Index(f, c) >= vertices_) return false;
    std::vector<uint32_t> order(faces_);
    std::iota(order.begin(), order.end(), 0u);
    std::stable_sort(order.begin(), order.end(), [&](uint32_t a, uint32_t b) { return attributes_[a] < attributes_[b]; });
    const uint32_t indexSize = Index32() ? 4 : 2;
    std::vector<uint8_t> sorted(size_t(faces_) * 3 * indexSize);
    std::vector<uint32_t> attributes(faces_);
    const auto* from = static_cast<const uint8_t*>(Indices());
    for (uint32_t f = 0; f < faces_; ++f) {
        memcpy(&sorted[size_t(f) * 3 * indexSize], from + size_t(order[f]) * 3 * indexSize, 3 * indexSize);
        attributes[f] = attributes_[order[f]];
    }
    void* to = LockIndices();
    if (!to) return false;
    memcpy(to, sorted.data(), sorted.size());
    UnlockIndices();
    attributes_ = std::move(attributes);
    if (faceRemap) std::copy(order.begin(), order.end(), faceRemap);
    if (vertexRemap) {
        vertexRemap->resize(vertices_);
        std::iota(vertexRemap->begin(), vertexRemap->end(), 0u);
    }
    BuildTable();
    return true;
}

void Mesh::DrawSubset(uint32_t attribId) {
    if (!vb_ || !ib_) return;
    bool bound = false;
    for (const AttributeRange& r : table_) {
        if (r.attribId != attribId || r.faceCount == 0) continue;
        if (!bound) {
            device_->SetStreamSource(0, vb_, stride_);
            device_->SetIndices(ib_, 0);
            device_->SetVertexShader(fvf_);
            bound = true;
        }
        device_->DrawIndexedPrimitive(prim::TRIANGLELIST, r.vertexStart, r.vertexCount, r.faceStart * 3, r.faceCount);
    }
}

std::unique_ptr<Mesh> Mesh::Clone(uint32_t options, uint32_t fvfCode, Device* device) const {
    if (VertexStride(fvfCode) != stride_) return nullptr;
    std::unique_ptr<Mesh> m = Create(device, faces_, vertices_, options, fvfCode);
    if (!m) return nullptr;
    if (uint8_t* v = m->LockVertices()) {
        memcpy(v, Vertices(), size_t(vertices_) * stride_);
        m->UnlockVertices();
    }
    if (void* to = m->LockIndices()) {
        const size_t n = size_t(faces_) * 3;
        if (m->Index32() == Index32()) {
            memcpy(to, Indices(), n * (Index32() ? 4 : 2));
        } else {
            for (size_t i = 0; i < n; ++i) {
                const uint32_t v = Index(uint32_t(i / 3), uint32_t(i % 3));
                if (m->Index32()) static_cast<uint32_t*>(to)[i] = v;
                else static_cast<uint16_t*>(to)[i] = uint16_t(v);
            }
        }
        m->UnlockIndices();
    }
    m->attributes_ = attributes_;
    m->BuildTable();
    return m;
}

// ---------------------------------------------------------------------------------------------
// SkinMesh

std::unique_ptr<SkinMesh> SkinMesh::Create(uint32_t faces, uint32_t vertices, uint32_t bones, uint32_t fvfCode) {
    if (faces == 0 || vertices == 0 || (fvfCode & fvf::POSITION_MASK) != fvf::XYZ) return nullptr;
    std::unique_ptr<SkinMesh> s(new SkinMesh());
    s->faces_ = faces;
    s->vertices_ = vertices;
    s->bones_ = bones;
    s->fvf_ = fvfCode;
    s->stride_ = VertexStride(fvfCode);
    s->vertexData_.assign(size_t(vertices) * s->stride_, 0);
    s->indices_.assign(size_t(faces) * 3, 0);
    s->perBone_.resize(bones);
    return s;
}

bool SkinMesh::SetBoneInfluence(uint32_t bone, uint32_t count, const uint32_t* vertices, const float* weights) {
    if (bone >= bones_ || (count && (!vertices || !weights))) return false;
    for (uint32_t i = 0; i < count; ++i)
        if (vertices[i] >= vertices_) return false;
    auto& list = perBone_[bone];
    list.clear();
    for (uint32_t i = 0; i < count; ++i) list.push_back({vertices[i], weights[i]});
    compiled_ = false;
    return true;
}

// Turns the per-bone lists into per-vertex lists (bone order kept within a vertex).
void SkinMesh::Compile() {
    first_.assign(size_t(vertices_) + 1, 0);
    for (const auto& list : perBone_)
        for (const auto& [v, w] : list) ++first_[v + 1];
    for (size_t v = 0; v < vertices_; ++v) first_[v + 1] += first_[v];
    influences_.resize(first_[vertices_]);
    std::vector<uint32_t> fill(first_.begin(), first_.end() - 1);
    for (uint32_t b = 0; b < bones_; ++b)
        for (const auto& [v, w] : perBone_[b]) influences_[fill[v]++] = {b, w};
    compiled_ = true;
}

bool SkinMesh::UpdateSkinnedMesh(const Mat4* bones, uint32_t count, Mesh& target) {
    if (target.VertexCount() != vertices_ || target.Stride() != stride_) return false;
    if (!compiled_) Compile();
    const Mat4* mats = bones;
    if (!bones || count < bones_) {
        // Bones past the given matrices stay at identity.
        scratch_.assign(bones_, Mat4());
        for (uint32_t b = 0; b < count && bones; ++b) scratch_[b] = bones[b];
        mats = scratch_.data();
    }
    uint8_t* out = target.LockVertices();
    if (!out) return false;
    const bool normals = (fvf_ & fvf::NORMAL) != 0;
    const size_t rest = stride_ - (normals ? 24 : 12);
    const uint8_t* in = vertexData_.data();
    for (uint32_t v = 0; v < vertices_; ++v, in += stride_, out += stride_) {
        float p[3], n[3] = {0, 0, 0};
        memcpy(p, in, 12);
        if (normals) memcpy(n, in + 12, 12);
        float op[3] = {0, 0, 0}, on[3] = {0, 0, 0};
        const uint32_t first = first_[v], end = first_[v + 1];
        if (end == first + 1 && influences_[first].weight == 1.0f) {
            // The usual vertex: one bone at full weight.
            const auto& m = mats[influences_[first].bone].m;
            for (int k = 0; k < 3; ++k) {
                op[k] = p[0] * m[0][k] + p[1] * m[1][k] + p[2] * m[2][k] + m[3][k];
                on[k] = n[0] * m[0][k] + n[1] * m[1][k] + n[2] * m[2][k];
            }
        } else {
            for (uint32_t i = first; i < end; ++i) {
                const auto& m = mats[influences_[i].bone].m;
                const float w = influences_[i].weight;
                for (int k = 0; k < 3; ++k) {
                    op[k] += w * (p[0] * m[0][k] + p[1] * m[1][k] + p[2] * m[2][k] + m[3][k]);
                    on[k] += w * (n[0] * m[0][k] + n[1] * m[1][k] + n[2] * m[2][k]);
                }
            }
        }
        memcpy(out, op, 12);
        if (normals) memcpy(out + 12, on, 12);
        // The rest of the vertex as it is (one coordinate set after a normal most of the time).
        if (rest == 8) memcpy(out + stride_ - 8, in + stride_ - 8, 8);
        else memcpy(out + stride_ - rest, in + stride_ - rest, rest);
    }
    target.UnlockVertices();
    return true;
}

// ---------------------------------------------------------------------------------------------
// RenderToCube

bool RenderToCube::Begin(Texture* cube) {
    cube_ = (cube && cube->IsCube()) ? cube : nullptr;
    return cube_ != nullptr;
}

void RenderToCube::Face(uint32_t face) {
    if (!cube_ || !device_.SetRenderTarget(cube_, face)) return;
    device_.SetViewport({0, 0, int32_t(cube_->Width()), int32_t(cube_->Height()), 0.0f, 1.0f});
}

void RenderToCube::End() {
    if (!cube_) return;
    device_.SetRenderTarget(nullptr, 0);
    device_.SetViewport({0, 0, device_.BackWidth(), device_.BackHeight(), 0.0f, 1.0f});
    cube_ = nullptr;
}

}  // namespace gfx
