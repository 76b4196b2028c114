#pragma once
// The three directional lights of a game and the three light records the static city is shaded
// with. Each time of day has fixed light defaults and a light file "Misc\<t>.LIT" holding the
// records; the developer light editor turns and colours the lights and saves them back.
#include <cstdint>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class BinaryOutputStream;
class InputStream;
struct SceneLight;

// One light as the game keeps and edits it; the game copies it into the renderer's light.
struct GameLight {
    float ambient[4] = {0, 0, 0, 0};
    float diffuse[4] = {1, 1, 1, 1};
    float specular[4] = {1, 1, 1, 1};
    float intensity = 1.0f;
    uint8_t changed = 1;
    Quaternion rotation;
    uint8_t rotationChanged = 1;
};

// One record of a light file, also what the static city's shading reads.
struct LightRecord {
    Quaternion rotation;
    float intensity = 1.0f;
    float ambient[4] = {1, 1, 1, 1};
    float diffuse[4] = {1, 1, 1, 1};
    float specular[4] = {1, 1, 1, 1};
};

class LightSet {
public:
    static constexpr int32_t kLightCount = 3;
    // "ZK2", a u32 version, three 68-byte records.
    static constexpr int32_t kFileSize = 211;
    static constexpr int32_t kRecordSize = 68;

    // The lights as a game starts them: three directions and colours.
    LightSet();

    // The time of day a light file and the defaults are chosen by: 0..3 (others are clamped).
    static int32_t ClampTimeOfDay(int32_t timeOfDay);
    // "Misc\<t>.LIT".
    static SharedString FilePath(int32_t timeOfDay);

    // Entering a game: the lights get the time of day's defaults (marked changed), the records
    // are reset, then read from the time of day's light file when it is whole.
    void Enter(int32_t timeOfDay);
    // The time of day's light defaults (colours and intensities; rotations are kept).
    void ApplyDefaults(int32_t timeOfDay);
    void ResetRecords();
    // Reads three records from a light file; false (records untouched) when the file is missing,
    // shorter than a whole file or not a light file.
    bool ReadFile(const SharedString& path);

    // Writes the lights as a light file (the one serializer the game and the tools use).
    static void Write(BinaryOutputStream& out, const GameLight (&lights)[kLightCount]);
    // Saves the lights as the time of day's light file, atomically; false (logged) on failure.
    bool Save(int32_t timeOfDay) const;

    // The direction from the scene towards a light of this rotation: the image of +z (a light
    // file stores the rotation that carries +z to the light).
    static Vector3 TowardLight(const Quaternion& rotation);
    // The orientation a renderer light is given for a light of this rotation, so that it shines
    // from TowardLight.
    static Quaternion RendererOrientation(const Quaternion& rotation);
    // The records as the lights the static city is shaded with.
    void ToSceneLights(SceneLight (&out)[kLightCount]) const;

    // The light editor: the current light is turned while its keys are held, its direction
    // yawed about the vertical and pitched about its own side axis.
    void TurnCurrent(float yawRadians, float pitchRadians);
    // Selects a light by its number from 1; values below 1 give the first, above 3 the third.
    void SelectByNumber(int32_t number);
    // The current light's four lines: intensity and the three colours, each value x 255.
    void PrintCurrent() const;

    GameLight lights[kLightCount];
    LightRecord records[kLightCount];
    int32_t current = 0;
    // Set by LIGHTEDIT; nothing clears it.
    uint8_t editorOn = 0;
};
