#pragma once
// Draws many small camera-facing squares (sparks, smoke, flares) in as few draws as possible:
// callers make one quad record per element, submit the visible ones each frame, and Flush
// turns the queue into one fill of a dynamic vertex buffer and one indexed draw per run of
// quads that share pass set, draw states and texture.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"

class Camera;
class D3D8RenderFacility;
class DynamicVertexBuffer;
class Material;
class ShaderPassSet;
class StaticIndexBuffer;
class TextureHandle;
struct ShaderVariables;

struct QuadRecord {
    Vector3 position;                  // world
    float size = 0.0f;                 // edge length
    uint32_t diffuse = 0xFFFFFFFFu;    // packed 0xAARRGGBB
    uint32_t specular = 0x80000000u;   // packed 0xAARRGGBB
    TextureHandle* texture = nullptr;  // stage 0; borrowed
    ShaderPassSet* pass = nullptr;     // borrowed
    ShaderVariables* drawStates = nullptr;  // borrowed
    Vector3 offset;                    // added to the position
};

class QuadBatchRenderer {
public:
    static constexpr uint32_t kMaxQuads = 16384;
    static constexpr uint32_t kVertexFormat = 57;  // position, diffuse, specular, one coordinate set

    explicit QuadBatchRenderer(D3D8RenderFacility& facility);
    virtual ~QuadBatchRenderer();
    QuadBatchRenderer(const QuadBatchRenderer&) = delete;
    QuadBatchRenderer& operator=(const QuadBatchRenderer&) = delete;

    // A new record with the defaults, owned by the caller (RemoveQuad before deleting it).
    virtual QuadRecord* CreateQuad();
    // Bit 0 of flags set: the record's offset becomes `offset`; otherwise nothing.
    virtual void SetQuadOffset(QuadRecord* quad, const Vector3* offset, const uint32_t* flags);
    virtual void RemoveQuad(QuadRecord* quad);
    // Queues the record for this frame's flush.
    virtual void Submit(QuadRecord* quad);
    // Draws the queue (the first kMaxQuads of it) facing the camera and empties it.
    virtual void Flush(const Camera* camera);

    size_t QueuedCount() const { return queue_.size(); }
    const DynamicVertexBuffer* Vertices() const { return vertices_; }
    size_t RegisteredCount() const { return registry_.size(); }

private:
    void DrawBatch(uint32_t first, uint32_t count);

    D3D8RenderFacility& facility_;
    DynamicVertexBuffer* vertices_ = nullptr;
    StaticIndexBuffer* indices_ = nullptr;
    Material* material_ = nullptr;
    std::vector<QuadRecord*> registry_;
    std::vector<QuadRecord*> queue_;
};
