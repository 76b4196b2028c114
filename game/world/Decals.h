#pragma once
// Decals: flat textured quads laid on surfaces (bullet holes, blood splats, skid marks, lamp
// light pools). Decals that stick to the city live in one global ring of 4096 records
// addressed by absolute decal number, so the newest silently replace the oldest; objects keep
// their own quads. Every frame the visible decals are copied into one batch, and the World's
// DecalRenderer draws the batch grouped by owner (decal kind), one texture and render state
// each.
//
// Frame: DecalRenderer::BeginFrame empties the batch; surfaces hand their visible numbers to
// DecalBatch::AddFromRing (false: the number is stale, forget it) and objects their own
// records to DecalBatch::AddQuad; DecalRenderer::Draw draws. Main thread only.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/TextureLayer.h"

class Camera;
class RenderFacility;
class ShaderPassSet;
class TextureHandle;
class DynamicVertexBuffer;
class StaticIndexBuffer;

struct DecalQuad {
    Vector3 corners[4];     // world space, drawn as triangles 0 1 2 and 1 3 2
    Vector2 texCoords[4];   // same order
    float colour[4] = {1.0f, 1.0f, 1.0f, 1.0f};  // r, g, b, a
};

class DecalOwner;
class DecalRenderer;

struct DecalRecord {
    DecalOwner* owner = nullptr;
    DecalQuad quad;
};

// One decal kind: its texture, its render state and this frame's quads in the batch.
// Made once by the code of its kind, registered once with the World's DecalRenderer. Either
// may go first: an owner leaves the renderer it is registered with, and the ring records it
// took stay valid by number but add nothing to the batch.
class DecalOwner {
public:
    DecalOwner() = default;
    // Loads the texture through the texture factory and builds the layer's render state.
    DecalOwner(RenderFacility* facility, const SharedString& textureName, const TextureLayer& layer);
    ~DecalOwner();
    DecalOwner(const DecalOwner&) = delete;
    DecalOwner& operator=(const DecalOwner&) = delete;

    TextureHandle* texture = nullptr;       // owned
    ShaderPassSet* renderState = nullptr;   // one reference owned
    std::vector<int32_t> batchIndices;      // this frame's quads (indices into the batch)

private:
    friend class DecalRenderer;
    RenderFacility* facility_ = nullptr;
    DecalRenderer* renderer_ = nullptr;  // the renderer it is registered with
};

// The render state of a decal layer (see MakeLayerPassSet); null without a facility.
ShaderPassSet* MakeDecalRenderState(RenderFacility* facility, const TextureLayer& layer);

// The global ring of decal records.
class DecalRing {
public:
    static constexpr int32_t kSize = 4096;

    // Takes slot decalCounter mod 4096 for `owner` and returns it (the caller fills the quad at
    // once); its number is the counter before the call.
    static DecalRecord* Next(DecalOwner* owner);
    // The record of a decal number, null when the number is older than the last 4096 or was
    // never handed out.
    static DecalRecord* Get(int32_t number);
    // The number the next record will get.
    static int32_t Counter();
    // Game reset: every number handed out so far becomes stale (the slots keep their data).
    static void Reset();
};

// This frame's quads. Holds at most DecalRenderer::kMaxQuads; quads past that are dropped.
class DecalBatch {
public:
    // False (nothing added) when the ring has reused the number's slot; true for a valid number
    // even when the frame's batch is already full.
    static bool AddFromRing(int32_t number);
    // A record its user keeps itself (no age test). Ignored without an owner.
    static void AddQuad(const DecalRecord& record);
    static const std::vector<DecalQuad>& Quads();
    // Empties the batch (storage kept).
    static void Clear();
};

class DecalRenderer {
public:
    static constexpr uint32_t kVertexCount = 0x10000;
    static constexpr int32_t kMaxQuads = int32_t(kVertexCount / 4);    // 16384 a frame
    static constexpr int32_t kQuadsPerDraw = int32_t(0x10000 / 6);     // 10922 a draw call
    static constexpr uint32_t kVertexFormat = 1 | 8 | 32;            // position, colour, one set

    // Null facility: the ring and batch still work, nothing is drawn.
    explicit DecalRenderer(RenderFacility* facility);
    ~DecalRenderer();
    DecalRenderer(const DecalRenderer&) = delete;
    DecalRenderer& operator=(const DecalRenderer&) = delete;

    // Appends an owner (kept, not owned; it leaves by itself when it goes); registering one
    // twice has no further effect, registering it here takes it off another renderer.
    void Register(DecalOwner* owner);
    // Removes an owner.
    void Unregister(DecalOwner* owner);
    const std::vector<DecalOwner*>& Owners() const { return owners_; }

    // Empties the batch and every owner's quad list.
    void BeginFrame(const Camera* camera, float dt);
    // Draws the frame's quads: one lock, then per owner in registration order its quads in
    // draw calls of at most kQuadsPerDraw. Nothing happens (no lock) without quads.
    void Draw(const Camera& camera);

    // Counters of the last Draw (tests, benchmark).
    int32_t LastLocks() const { return lastLocks_; }
    int32_t LastDrawCalls() const { return lastDraws_; }
    int32_t WritePosition() const { return int32_t(writePosition_); }

private:
    RenderFacility* facility_;
    DynamicVertexBuffer* vertices_ = nullptr;
    StaticIndexBuffer* indices_ = nullptr;
    uint32_t writePosition_ = 0;
    std::vector<DecalOwner*> owners_;
    int32_t lastLocks_ = 0;
    int32_t lastDraws_ = 0;
};

// The vertex the decal renderer and particle batches write: 24 bytes.
struct EffectVertex {
    Vector3 position;
    uint32_t colour;  // 0xAARRGGBB
    float u, v;
};
static_assert(sizeof(EffectVertex) == 24);
