#pragma once
// The driver of the cars the traffic sends after a player: an AI driver with a home point. While
// it drives, the car's first special runs (a police car's siren); it stops when the car is
// wrecked, when the chase ends and when the driver goes. Placed with the route flag, the driver
// gives up once it is back within 300 units of home (or on its home node): it returns to the
// world's first road graph and only brakes.
#include <cstdint>

#include "game/traffic/AIDriver.h"

class OpponentDriver : public AIDriver {
public:
    static constexpr float kHomeRadius = 300.0f;
    static constexpr float kHaltBrake = 0.5f;

    explicit OpponentDriver(VehicleContext& context);
    ~OpponentDriver() override;

    void Update(float dt) override;
    void PlaceAt(const Vector3& position, const Matrix4& matrix, bool routeFlag) override;
    // The chase is over: no giving up any more, and the special stops.
    void StopChase();

    bool halted = false;
    bool homing = false;
    bool roaming = true; // not placed with the route flag
    Vector3 home;
    int32_t placedCounter = 0;
    // The give-up rule runs only while this is 0.
    int32_t guard = 0;
};
