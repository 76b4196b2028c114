#pragma once
// Test doubles for the interfaces the cars call upward (their game mode).
#include <vector>

#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/ExplosionObserver.h"

namespace testing_support {

// The mode's flags as plain settable bytes; the reports are counted and recorded.
class TestDrivingRules : public DrivingRules {
public:
    TestDrivingRules() { loaded = 1; }
    void Fail() override { ++fails; }
    void OnVehicleDestroyed(Vehicle* killer, Vehicle* victim) override { destroyed.push_back({killer, victim}); }
    void OnCarSelected() override { ++carsSelected; }
    void BroadcastTickerText(int32_t id) override { tickerTexts.push_back(id); }

    struct Kill {
        Vehicle* killer;
        Vehicle* victim;
    };
    int fails = 0;
    int carsSelected = 0;
    std::vector<Kill> destroyed;
    std::vector<int32_t> tickerTexts;
};

// Records the explosions it is told of.
class RecordingExplosionObserver : public ExplosionObserver {
public:
    void OnExplosionHit(const Vector3& position, Vehicle& vehicle) override { hits.push_back({position, &vehicle}); }
    struct Hit {
        Vector3 position;
        Vehicle* vehicle;
    };
    std::vector<Hit> hits;
};

} // namespace testing_support
