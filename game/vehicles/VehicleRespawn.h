#pragma once
// Where a car comes back and how it shows it came back: its current respawn point and its own
// points and the flashing period (its timer
// also switches the chassis box off for a step every 2.5 s).
#include <cstdint>
#include <vector>

struct RespawnPoint;

struct VehicleRespawn {
    const RespawnPoint* respawnPoint = nullptr;
    std::vector<const RespawnPoint*> ownRespawnPoints;
    uint8_t flashing = 0;
    uint8_t blink = 0;
    float chassisBoxTimer = 0.0f;
    float blinkTimer = 0.0f;
};
