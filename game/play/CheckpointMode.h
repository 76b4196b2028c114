#pragma once
// The network race to a level's drop points: reaching the checkpoint scores a point on the
// host. Each player chases his own chain of checkpoints, or (the shared variant) everyone
// chases one that the host moves for all and that must be reached below 50.
#include <cstdint>
#include <memory>

#include "game/play/DestinationMarker.h"
#include "game/play/MultiplayerMode.h"

class CheckpointMode : public MultiplayerMode {
public:
    static constexpr float kSharedReachSpeed = 50.0f;
    static constexpr int32_t kMaxTries = 1000;
    static constexpr int32_t kSharedVariant = 1;

    explicit CheckpointMode(Game& game);
    ~CheckpointMode() override;

    void Init() override;
    void Update(float dt) override;
    void Draw3D(const Camera& camera) override;
    void DrawHud() override;
    void DrawOverlay(const Vector3& centre, float scale) override;

    // The generator's next value (32-bit wrap).
    static int32_t NextRandom(int32_t state) { return int32_t(uint32_t(state) * 1664525u + 1013904223u); }
    // The checkpoint a number leads to from the old one among `count`: number mod count, moved
    // on while it equals the old one (a bounded number of tries); -1 without drop points.
    static int32_t PickCheckpoint(int64_t number, int32_t old, int32_t count);

    int32_t checkpoint = -1;
    int32_t randomState = 0;
    uint8_t ownChain = 1;
    std::unique_ptr<DestinationMarker> marker;

protected:
    void OnClientMessage(const modemsg::Message& message) override;
    void OnServerMessage(int32_t senderIndex, const modemsg::Message& message) override;

private:
    DropPoint* Checkpoint();
    // The old checkpoint goes (its place becomes the local car's respawn point) and the one the
    // number leads to comes.
    void MoveCheckpoint(int64_t number);
    int32_t TickerText(int32_t offset) const;
};
