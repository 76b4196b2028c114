#pragma once
// The crowd of the single-player cab missions: the ordinary pedestrians, and eight currency
// pedestrians who wait on the pavement with a destination drop point, placed round the players
// and recycled when every player is far away, like the crowd.
#include <cstdint>
#include <memory>
#include <vector>

#include "game/traffic/PedestrianManager.h"

class LocalCurrencyPedestrian;

class PedestrianController : public PedestrianManager {
public:
    static constexpr int32_t kCurrencyCount = 8;
    // A destination lies farther than this from where its fare is placed (kept squared, x/z).
    static constexpr float kMinTripSquared = 100.0f * 100.0f;

    PedestrianController(World& world, VehicleContext* vehicles, StreetEvents* events);
    ~PedestrianController() override;

    // Makes the currency pedestrians once, when the level has kinds and drop points.
    void Init() override;
    void Reset() override;
    // The crowd's update, then the currency pedestrians: the far ones recycled, at most one
    // placed.
    void Update() override;

    std::vector<std::unique_ptr<LocalCurrencyPedestrian>> currency;
    std::vector<LocalCurrencyPedestrian*> active, free;

private:
    void Recycle(size_t activeIndex);
    std::vector<int32_t> nodes_;
};
