#pragma once
// A mesh whose vertices are bound rigidly to the bones of its first node's bone trees, posed
// each step from a bone animation and skinned on the CPU into a dynamic mesh that the
// geometry renderer draws. Clones share the unposed skin and the bone trees; each has its own
// skinned output, pose and animation bindings.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/render/D3D8Mesh.h"
#include "engine/render/RenderBuffers.h"
#include "platform/gfx/Mesh.h"

class D3D8AnimatedMesh final : public D3D8Mesh {
public:
    static constexpr uint32_t kEndless = 0xFFFFFFFFu;
    // Dynamic, write-only vertices; write-only indices (both in the default pool).
    static constexpr uint32_t kOutputOptions = gfx::meshopt::IB_WRITEONLY | gfx::meshopt::VB_DYNAMIC | gfx::meshopt::VB_WRITEONLY;

    D3D8AnimatedMesh(D3D8RenderFacility& facility, const MeshRecord& record);
    ~D3D8AnimatedMesh() override;

    // Advances the playback and poses and skins the mesh.
    void Step(float dt) override;
    void Render() override;
    D3D8Mesh* Clone() override;

    void AddAnimation(BoneAnimation* animation) override;
    void RemoveAnimation(BoneAnimation* animation) override;
    void PlayAnimation(BoneAnimation* animation, uint32_t loops, bool queue) override;
    void StopAnimation(bool finishCycle) override;
    bool HasAnimation(const BoneAnimation* animation) const override;

    // Around a device reset: the skinned output goes, then comes back in the current pose.
    void OnDeviceLost();
    void OnDeviceReset();
    void DropDevice() override;

    // Bones in depth-first pre-order, their matrices in the same order.
    uint32_t BoneCount() const { return uint32_t(boneMatrices.size()); }
    const std::vector<Matrix4>& BoneMatrices() const { return boneMatrices; }
    // What plays now (loops 0: nothing) and what is queued.
    struct Playback {
        int32_t keyIndex = 0;
        float keyTime = 0.0f;
        uint32_t loops = 0;
        const void* binding = nullptr;
    };
    Playback Current() const { return View(current_); }
    Playback Queued() const { return View(queued_); }
    // The skinned vertices (null while the device has none).
    const gfx::Mesh* Output() const { return mesh_.get(); }

private:
    struct Binding {
        BoneAnimation* animation = nullptr;
        std::vector<BoneNode*> trackBones;  // per track of the animation; null where no bone has it
        std::vector<int32_t> trackOfBone;   // per bone (pre-order), its track or -1
    };
    struct PlaybackState {
        int32_t keyIndex = 0;
        float keyTime = 0.0f;
        uint32_t loops = 0;
        Binding* binding = nullptr;
    };
    // Shared by a mesh and its clones.
    struct SkinData {
        std::unique_ptr<gfx::SkinMesh> skinMesh;
        std::vector<BoneTree> boneTrees;
        std::vector<BoneNode*> bones;  // pre-order
        std::vector<int32_t> parents;  // pre-order index of each bone's parent, -1 at the top
    };
    // The skinned output seen as engine buffers.
    class OutputVertices : public VertexBufferObject {
    public:
        gfx::Buffer* DrawBuffer() const override { return mesh ? mesh->VertexBuffer() : nullptr; }
        uint32_t BaseVertex() const override { return 0; }
        uint32_t Stride() const override { return mesh ? mesh->Stride() : 0; }
        uint32_t Fvf() const override { return mesh ? mesh->Fvf() : 0; }
        uint32_t VertexCount() const override { return mesh ? mesh->VertexCount() : 0; }
        const gfx::Mesh* mesh = nullptr;
    };
    class OutputIndices : public IndexBufferObject {
    public:
        gfx::Buffer* DrawBuffer() const override { return mesh ? mesh->IndexBuffer() : nullptr; }
        uint32_t BaseIndex() const override { return 0; }
        uint32_t IndexCount() const override { return mesh ? mesh->FaceCount() * 3 : 0; }
        const gfx::Mesh* mesh = nullptr;
    };

    D3D8AnimatedMesh(const D3D8AnimatedMesh& source);
    static Playback View(const PlaybackState& p) { return {p.keyIndex, p.keyTime, p.loops, p.binding}; }
    void SetOutput(std::unique_ptr<gfx::Mesh> mesh);
    void Pose();
    void Skin();
    void Identity();

    std::shared_ptr<SkinData> skin_;
    std::vector<Matrix4> boneMatrices;
    std::vector<gfx::Mat4> skinMatrices_;
    std::unique_ptr<gfx::Mesh> mesh_;
    uint32_t faces_ = 0, vertices_ = 0;
    OutputVertices vertexView_;
    OutputIndices indexView_;
    std::vector<std::unique_ptr<Binding>> animations_;
    PlaybackState current_, queued_;
};
