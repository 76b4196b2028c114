#pragma once
// The drop-point run: once a passenger is aboard the player must reach a chain of the level's
// drop points, chosen at random, each within a time that grows with its distance, until the
// required number of drops is made.
#include <cstdint>
#include <memory>

#include "game/play/GameMode.h"

class Sprite;
struct DropPoint;

class DropRunMode : public GameMode {
public:
    // A drop counts only slower than this while anySpeed is clear.
    static constexpr float kDropSpeed = 50.0f;
    // The caption of the target's line.
    static constexpr int32_t kTargetCaption = 0x17;

    explicit DropRunMode(Game& game);
    ~DropRunMode() override;

    // The time a leg of that length allows: 70 x sqrt(d / 15000) seconds.
    static float LegTime(float distance);

    void Init() override;
    // A level without drop points fails here.
    void Start() override;
    void Succeed() override;
    void Fail() override;
    void Update(float dt) override;
    void Draw3D(const Camera& camera) override;
    void DrawHud() override;
    void DrawOverlay(const Vector3& centre, float scale) override;

    // The current target; null in a level without drop points.
    DropPoint* Target() const;

    int32_t dropIndex = 0;
    int32_t reserved = 0;
    uint8_t anySpeed = 1;
    // The mission's own time until the passenger boards, then each leg's.
    float timeLeft = 20.0f;
    uint8_t waitingForPassenger = 0;
    int32_t dropsRequired = 3;
    int32_t dropsDone = 0;
    // After the decision: the fade's clock, and the whole seconds left then (the score).
    float endTimer = 0.0f;
    int32_t score = 0;
    bool handedOver = false;

private:
    void PickTarget();
    std::unique_ptr<Sprite> clockIcon_, moneyIcon_;
};
