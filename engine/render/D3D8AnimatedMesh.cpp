#include "engine/render/D3D8AnimatedMesh.h"

#include <cmath>
#include <cstring>

#include "engine/render/BoneAnimation.h"
#include "engine/render/D3D8RenderFacility.h"

namespace {

// Vertices and the low 16 bits of every index of the record into a mesh of its size.
void FillFromRecord(const MeshRecord& record, uint8_t* vertices, uint16_t* indices, uint32_t faces) {
    memcpy(vertices, record.vertices.data(), record.vertices.size() * sizeof(MeshVertex));
    for (size_t i = 0; i < size_t(faces) * 3; ++i) indices[i] = uint16_t(record.indices[i]);
}

void PreOrder(const BoneTree& bone, int32_t parent, std::vector<BoneNode*>& bones, std::vector<int32_t>& parents) {
    const int32_t self = int32_t(bones.size());
    bones.push_back(bone.get());
    parents.push_back(parent);
    for (const BoneTree& child : bone->children) PreOrder(child, self, bones, parents);
}

}  // namespace

D3D8AnimatedMesh::D3D8AnimatedMesh(D3D8RenderFacility& facility, const MeshRecord& record) : D3D8Mesh(&facility) {
    faces_ = uint32_t(record.indices.size() / 3);
    vertices_ = uint32_t(record.vertices.size());
    const uint32_t fvf = EngineFormatToFvf(kMeshVertexFormat);
    std::unique_ptr<gfx::Mesh> output = gfx::Mesh::Create(facility.Device(), faces_, vertices_, kOutputOptions, fvf);
    if (output) {
        uint8_t* v = output->LockVertices();
        auto* i = static_cast<uint16_t*>(output->LockIndices());
        if (v && i) FillFromRecord(record, v, i, faces_);
        output->UnlockVertices();
        output->UnlockIndices();
    }
    SetOutput(std::move(output));

    skin_ = std::make_shared<SkinData>();
    if (!record.nodes.empty()) skin_->boneTrees = record.nodes.front().boneTrees;
    for (const BoneTree& top : skin_->boneTrees) PreOrder(top, -1, skin_->bones, skin_->parents);
    boneMatrices.assign(skin_->bones.size(), Matrix4());
    skin_->skinMesh = gfx::SkinMesh::Create(faces_, vertices_, uint32_t(skin_->bones.size()), fvf);
    if (gfx::SkinMesh* s = skin_->skinMesh.get()) {
        FillFromRecord(record, s->Vertices(), s->Indices(), faces_);
        std::vector<float> ones;
        for (uint32_t b = 0; b < skin_->bones.size(); ++b) {
            const std::vector<uint32_t>& bound = skin_->bones[b]->vertices;
            ones.assign(bound.size(), 1.0f);
            s->SetBoneInfluence(b, uint32_t(bound.size()), bound.data(), ones.data());
        }
    }

    TakeRecord(record, false);
    for (size_t n = 0; n < record.nodes.size(); ++n)
        for (const MeshPart& part : record.nodes[n].parts)
            nodes[n].items.push_back(MakeItem(record, part, &vertexView_, &indexView_));
}

D3D8AnimatedMesh::D3D8AnimatedMesh(const D3D8AnimatedMesh& source)
    : D3D8Mesh(source), skin_(source.skin_), faces_(source.faces_), vertices_(source.vertices_) {
    boneMatrices.assign(source.boneMatrices.size(), Matrix4());
    if (source.mesh_ && facility_)
        SetOutput(source.mesh_->Clone(source.mesh_->Options(), source.mesh_->Fvf(), facility_->Device()));
    for (D3D8MeshNode& node : nodes)
        for (MeshDrawItem& item : node.items) {
            item.vertexBuffer = &vertexView_;
            item.indexBuffer = &indexView_;
        }
}

D3D8AnimatedMesh::~D3D8AnimatedMesh() {
    // Off the reset list and without its output in one step on the device's thread: a reset
    // there sees either the whole mesh or none of it.
    if (facility_ || mesh_) {
        OnDevice([this] {
            LeaveLists();
            SetOutput(nullptr);
        });
    }
    LeaveLists();
}

void D3D8AnimatedMesh::SetOutput(std::unique_ptr<gfx::Mesh> mesh) {
    // The buffers going away may be the facility's bound stream and indices; a buffer made
    // later at the same address must not pass for them.
    if (mesh_ && facility_) facility_->ForgetStreamAndIndices();
    mesh_ = std::move(mesh);
    vertexView_.mesh = indexView_.mesh = mesh_.get();
}

D3D8Mesh* D3D8AnimatedMesh::Clone() {
    D3D8AnimatedMesh* clone = nullptr;
    OnDevice([&] {
        clone = new D3D8AnimatedMesh(*this);
        if (facility_) facility_->AddResetMesh(clone);
    });
    return clone;
}

void D3D8AnimatedMesh::DropDevice() {
    SetOutput(nullptr);
    D3D8Mesh::DropDevice();
}

void D3D8AnimatedMesh::OnDeviceLost() { SetOutput(nullptr); }

void D3D8AnimatedMesh::OnDeviceReset() {
    if (!facility_ || !skin_->skinMesh) return;
    const uint32_t fvf = EngineFormatToFvf(kMeshVertexFormat);
    std::unique_ptr<gfx::Mesh> output = gfx::Mesh::Create(facility_->Device(), faces_, vertices_, kOutputOptions, fvf);
    if (output) {
        const gfx::SkinMesh& s = *skin_->skinMesh;
        uint8_t* v = output->LockVertices();
        void* i = output->LockIndices();
        if (v) memcpy(v, s.Vertices(), size_t(vertices_) * s.Stride());
        if (i) memcpy(i, s.Indices(), size_t(faces_) * 3 * sizeof(uint16_t));
        output->UnlockVertices();
        output->UnlockIndices();
    }
    SetOutput(std::move(output));
    Skin();  // back in the pose it had
}

void D3D8AnimatedMesh::Identity() {
    for (Matrix4& m : boneMatrices) m.SetIdentity();
}

void D3D8AnimatedMesh::Step(float dt) {
    if (current_.loops == 0) {
        if (queued_.loops != 0) {
            current_ = queued_;
            queued_.loops = 0;
        }
        if (current_.loops == 0 || !current_.binding) return;
    }
    const BoneAnimation* animation = current_.binding->animation;
    const int32_t keys = animation->KeyCount();
    if (keys == 0) return;  // nothing to pose from
    current_.keyTime += dt;
    const float length = animation->GetLength();
    // Keys of no length (or less) cannot consume time: one pass over them and the step ends.
    int32_t guard = 2 * keys + 2;
    while (current_.keyTime >= animation->KeyDuration(current_.keyIndex) && guard-- > 0) {
        current_.keyTime -= animation->KeyDuration(current_.keyIndex);
        if (++current_.keyIndex < keys) continue;
        current_.keyIndex = 0;
        if (current_.loops != kEndless && --current_.loops == 0) {
            current_.keyTime = 0.0f;
            current_.keyIndex = keys - 1;
            break;
        }
        // A step longer than whole cycles passes them at once.
        if (length > 0.0f && current_.keyTime >= length) {
            const double cycles = std::floor(double(current_.keyTime) / double(length));
            if (current_.loops != kEndless && cycles >= double(current_.loops)) {
                current_.loops = 0;
                current_.keyTime = 0.0f;
                current_.keyIndex = keys - 1;
                break;
            }
            if (current_.loops != kEndless) current_.loops -= uint32_t(cycles);
            current_.keyTime = std::fmod(current_.keyTime, length);
        }
    }
    Pose();
    Skin();
}

void D3D8AnimatedMesh::Pose() {
    const Binding& binding = *current_.binding;
    const std::vector<int32_t>& parents = skin_->parents;
    Matrix4 key;
    for (size_t b = 0; b < boneMatrices.size(); ++b) {
        const Matrix4 parent = parents[b] < 0 ? Matrix4() : boneMatrices[size_t(parents[b])];
        const int32_t track = binding.trackOfBone[b];
        if (track < 0) {
            boneMatrices[b] = parent;
            continue;
        }
        binding.animation->GetMatrix(track, current_.keyIndex, 0, &key);
        key.Multiply(boneMatrices[b], parent);
    }
}

void D3D8AnimatedMesh::Skin() {
    if (!mesh_ || !skin_->skinMesh) return;
    skinMatrices_.resize(boneMatrices.size());
    static_assert(sizeof(gfx::Mat4) == sizeof(Matrix4));
    if (!boneMatrices.empty()) memcpy(static_cast<void*>(skinMatrices_.data()), boneMatrices.data(), boneMatrices.size() * sizeof(Matrix4));
    skin_->skinMesh->UpdateSkinnedMesh(skinMatrices_.data(), uint32_t(skinMatrices_.size()), *mesh_);
}

void D3D8AnimatedMesh::Render() { RenderItems(); }

void D3D8AnimatedMesh::AddAnimation(BoneAnimation* animation) {
    if (!animation) return;
    auto binding = std::make_unique<Binding>();
    binding->animation = animation;
    binding->trackBones.assign(size_t(animation->BoneCount()), nullptr);
    const std::vector<BoneNode*>& bones = skin_->bones;
    for (BoneNode* bone : bones) {
        const int32_t t = animation->FindBone(bone->name);
        if (t >= 0) binding->trackBones[size_t(t)] = bone;  // a later bone of the same name wins
    }
    binding->trackOfBone.assign(bones.size(), -1);
    for (size_t b = 0; b < bones.size(); ++b)
        for (size_t t = 0; t < binding->trackBones.size(); ++t)
            if (binding->trackBones[t] == bones[b]) {
                binding->trackOfBone[b] = int32_t(t);
                break;
            }
    animations_.push_back(std::move(binding));
}

void D3D8AnimatedMesh::RemoveAnimation(BoneAnimation* animation) {
    for (auto it = animations_.begin(); it != animations_.end(); ++it) {
        if ((*it)->animation != animation) continue;
        // A playback of the binding going away ends with it.
        if (current_.binding == it->get()) current_ = PlaybackState();
        if (queued_.binding == it->get()) queued_ = PlaybackState();
        animations_.erase(it);
        return;
    }
}

void D3D8AnimatedMesh::PlayAnimation(BoneAnimation* animation, uint32_t loops, bool queue) {
    Binding* binding = nullptr;
    for (auto& b : animations_)
        if (b->animation == animation) {
            binding = b.get();
            break;
        }
    if (!binding) return;
    // An endless playback counts as not playing here: a queued request replaces it at once.
    if (queue && int32_t(current_.loops) >= 1) {
        if (current_.binding && current_.binding->animation == animation) {
            current_.loops = loops == kEndless ? kEndless : current_.loops + loops;
        } else {
            queued_ = {0, 0.0f, loops, binding};
        }
        return;
    }
    Identity();
    current_ = {0, 0.0f, loops, binding};
    queued_ = PlaybackState();
}

void D3D8AnimatedMesh::StopAnimation(bool finishCycle) {
    if (finishCycle) {
        // An endless playback runs to the end of its cycle; nothing that is not playing starts.
        if (int32_t(current_.loops) < 1 && current_.loops != 0) current_.loops = 1;
        return;
    }
    current_.loops = 0;
    Identity();
}

bool D3D8AnimatedMesh::HasAnimation(const BoneAnimation* animation) const {
    for (const auto& b : animations_)
        if (b->animation == animation) return true;
    return false;
}
