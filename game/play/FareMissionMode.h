#pragma once
// The single-player cab mission: within the level time the player earns a money target by
// picking up fares and delivering them. The fares report through the street events; the mode
// counts the money, puts out a fare kept past its allowance, and once the time is up wins or
// loses and hands over to the menus.
#include <cstdint>
#include <memory>

#include "game/play/DestinationMarker.h"
#include "game/play/GameMode.h"

class Fare;
class HailingPedestrian;
class Sprite;

class FareMissionMode : public GameMode {
public:
    enum State : int32_t { NoFare = 0, FareAboard = 1, Succeeded = 2, Failed = 3 };
    // The mission's level time and money target: texts 6 and 7 of its block.
    static constexpr int32_t kTimeText = 9990006;
    static constexpr int32_t kTargetText = 9990007;
    static constexpr int32_t kMissionStride = 100;

    explicit FareMissionMode(Game& game);
    ~FareMissionMode() override;

    void Init() override;
    void Succeed() override;
    void Fail() override;
    void Update(float dt) override;
    void Draw3D(const Camera& camera) override;
    void DrawHud() override;
    void DrawOverlay(const Vector3& centre, float scale) override;
    void AddCash(float amount) override { money += amount; }

    void OnFareBoarded(Vehicle* cab, Fare& fare) override;
    void OnFareGotOut(Vehicle* cab, Fare& fare) override;
    void OnFareDelivered(Vehicle* cab, Fare& fare) override;
    void OnFareFailed() override;

    // The fare the player's car carries, or null.
    Fare* PlayerFare() const;

    float timeLeft = 0.0f;
    float fareElapsed = 0.0f;
    float fareAllowed = 0.0f;
    float moneyTarget = 0.0f;
    int32_t state = NoFare;
    float endTimer = 0.0f;
    std::unique_ptr<DestinationMarker> marker;
    float money = 0.0f;
    float specialIconAlpha = 0.0f;
    bool handedOver = false;

private:
    std::unique_ptr<Sprite> clockIcon_, moneyIcon_;
};
