#pragma once
// Who a car is among the players: its network player id and the flag word. The game's set-up
// marks every player's car (local or remote) as a player's and a network car; game play clears
// the network mark again; one bit mirrors the car's collision flag.
#include <cstdint>

#include "engine/core/SharedString.h"

struct VehicleNetwork {
    // Flag word bits.
    static constexpr uint32_t PlayerCarFlag = 2;
    static constexpr uint32_t CollisionFlagBit = 4;
    static constexpr uint32_t NetworkCarFlag = 8;

    uint32_t flagWord = 0;
    int32_t networkPlayerId = 0;
    // The name the player goes by (the settings' on the local player's car).
    SharedString playerName;
};
