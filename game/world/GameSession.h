#pragma once
// The values of the running game that the world and the libraries above it read: set by the
// game's set-up and by the front end, read everywhere below.
#include <cstdint>

class Camera;

struct GameSession {
    int32_t timeOfDay = 0; // 0 morning, 1 afternoon, 2 evening, 3 night
    int32_t episode = 0;   // 0..3
    int32_t mission = 0;
    int32_t zone = 0;
    int32_t gameType = 0;
    // The mission's variant number less one; -1 when the mission sets none.
    int32_t missionVariant = -1;
    // Physics sub-steps per second.
    float physicsRate = 75.0f;
    // The camera the player sees through (null before the game has one).
    const Camera* viewCamera = nullptr;
};
