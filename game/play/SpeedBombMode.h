#pragma once
// The speed bomb: the player's car carries a bomb that arms once the car goes faster than 300
// and then blows up when the car stays slower than 250 for a second; the player must stop at a
// named drop point (slower than 90) before the time runs out.
#include <cstdint>
#include <memory>

#include "engine/core/SharedString.h"
#include "game/play/GameMode.h"

class AudioVoice;
class Sprite;
struct DropPoint;

class SpeedBombMode : public GameMode {
public:
    enum State : int32_t { Running = 0, Succeeded = 1, Failed = 2 };
    static constexpr float kArmSpeed = 300.0f;
    static constexpr float kSafeSpeed = 250.0f;
    static constexpr float kStopSpeed = 90.0f;
    static constexpr float kFuse = 1.0f;
    // The ticker lines of the mission's block: the start, armed and too slow.
    static constexpr int32_t kStartText = 10080;
    static constexpr int32_t kArmedText = 10081;
    static constexpr int32_t kSlowText = 10082;
    static constexpr int32_t kMissionStride = 100;

    explicit SpeedBombMode(Game& game);
    ~SpeedBombMode() override;

    void Init() override;
    void Start() override;
    // The level time: 100 x sqrt(the car's distance to the target).
    void OnCarSelected() override;
    void Succeed() override;
    void Fail() override;
    void Update(float dt) override;
    void DrawHud() override;

    DropPoint* Target() const;

    AudioVoice* panic = nullptr;
    int32_t state = Running;
    int32_t targetIndex = 0;
    uint8_t armed = 0;
    float countdown = kFuse;
    float timeLeft = 0.0f;
    SharedString targetName;
    float endTimer = 0.0f;
    int32_t score = 0;
    bool handedOver = false;

private:
    void StopPanic();
    std::unique_ptr<Sprite> clockIcon_;
};
