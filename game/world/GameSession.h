#pragma once
// The values of the running game that the world and the libraries above it read: set by the
// game's set-up and by the front end, read everywhere below.
#include <cstdint>

#include "engine/core/Math.h"

class Camera;
class VolumeGroup;

// One light of the time of day's lighting set. The orientation turns +z into the direction from
// the scene towards the light; the colours are r, g, b, a in 0..1.
struct SceneLight {
    Quaternion orientation;
    float intensity = 0.0f;
    float ambient[4] = {};
    float diffuse[4] = {};
    float specular[4] = {};
};

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
    // The three lights of the current time of day.
    SceneLight lights[3];
    // Detail options of the settings: light detail 0..3 (lamp halos from 2, traffic-light
    // halos from 1) and the render option (1 adds the static city's depth pass).
    // The cars: no light halos at light detail 0, smoke and skid puffs at 3.
    int32_t lightDetail = 3;
    int32_t renderOption = 0;
    // The cars' shadow volumes are drawn at shadow detail 1.
    int32_t shadowDetail = 1;
    // The car-effects option: at 1 the local player's back wheels leave skid marks.
    int32_t skidMarks = 0;
    // While set only the local player's car can be hurt.
    uint8_t playerOnlyDamage = 0;
    // Blood and pedestrian hits by flames are shown (the language may switch them off).
    uint8_t bloodEnabled = 1;
    // The environment option 0..3: the player's car reflects the city redrawn every frame from
    // 1 (sky only at 1, the static city and objects from 2, everything at 3), at 0 only during
    // the game's first second.
    int32_t environmentOption = 0;
    // The in-game group the world's sounds (ambience, hit sounds) join; null: none.
    VolumeGroup* worldSounds = nullptr;
};
