#pragma once
// The world's two small sound components. An ambient emitter is a point of the city (the
// fountain, birds in the park) heard while the listener is inside its radius at the times of
// day its mask allows: one looping positional voice, or one-shot variants every 5 to 10
// seconds. A sound sample is a hit sound: eight voices of one file played in turn where a
// placed object carrying it is touched, at most once per engine frame.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/world/WorldObject.h"
#include "game/world/WorldRecordFactories.h"

class AudioDevice;
class AudioVoice;
struct EngineServices;
struct GameSession;

class AmbientSoundEmitter : public WorldFeature {
public:
    // The ambient sounds' folder: names are "Audio\Ambient\<file>".
    static constexpr const char* Folder = "Audio\\Ambient\\";

    AmbientSoundEmitter(AudioDevice* sound, const GameSession& session);
    ~AmbientSoundEmitter() override;
    AmbientSoundEmitter(const AmbientSoundEmitter&) = delete;
    AmbientSoundEmitter& operator=(const AmbientSoundEmitter&) = delete;

    // Lists "Audio\Ambient\<name>*.WAV": one file loops on a voice of its own, several are
    // variants, none leaves the emitter silent. Position, distances and mask are set before.
    void Load(const SharedString& name);
    // The listener is the camera's position; without a camera nothing happens.
    void Update(float dt, const Camera* camera) override;
    void UpdateListener(float dt, const Vector3& listener);

    AudioVoice* loop = nullptr;
    std::vector<SharedString> variants;
    Vector3 position;
    float countdown = 0.0f;
    float minDistance = 0.0f;
    float radius = 0.0f;
    uint8_t timeOfDayMask = 0; // bit 0 morning, 1 afternoon, 2 evening, 3 night
    int16_t playing = -1;

private:
    AudioDevice* sound_;
    const GameSession& session_;
};

class SoundSample : public ObjectExtension {
public:
    static constexpr int VoiceCount = 8;

    // Eight positional voices of the file (distances 25 and 250) in the session's world group,
    // from the engine's sound device (the services outlive the sample).
    SoundSample(const EngineServices& engine, const SharedString& fileName, const GameSession* session);
    ~SoundSample() override;
    SoundSample(const SoundSample&) = delete;
    SoundSample& operator=(const SoundSample&) = delete;

    // Plays the next voice at the position, once per engine frame however many objects share
    // the sound.
    void OnTouched(const Vector3& position) override;

    std::vector<AudioVoice*> voices;
    int32_t next = 0;
    uint32_t lastPlayFrame = 0;

private:
    const EngineServices& engine_;
    AudioDevice* sound_;
};
