#include "game/world/AmbientSound.h"

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/core/EngineServices.h"
#include "engine/core/FileStream.h"
#include "game/world/GameSession.h"
#include "platform/sys/Random.h"

AmbientSoundEmitter::AmbientSoundEmitter(AudioDevice* sound, const GameSession& session) : sound_(sound), session_(session) {}

AmbientSoundEmitter::~AmbientSoundEmitter() {
    if (loop && sound_) sound_->ReleaseVoice(loop);
}

void AmbientSoundEmitter::Load(const SharedString& name) {
    variants = ListFiles(SharedString::Format("%s%s*.WAV", Folder, name.c_str()), true);
    countdown = 0.0f;
    if (variants.size() != 1 || !sound_) return;
    const SharedString file = SharedString::Format("%s%s", Folder, variants[0].c_str());
    variants.clear();
    loop = sound_->CreateSound(file, true);
    if (!loop) return;
    loop->SetDistances(minDistance, radius);
    loop->SetPosition(position);
    if (session_.worldSounds) session_.worldSounds->AttachChild(loop);
}

void AmbientSoundEmitter::Update(float dt, const Camera* camera) {
    if (camera) UpdateListener(dt, camera->position);
}

void AmbientSoundEmitter::UpdateListener(float dt, const Vector3& listener) {
    if ((!loop && variants.empty()) || !sound_) return;
    if (!(timeOfDayMask & (1u << (uint32_t(session_.timeOfDay) & 3u)))) return;
    if ((listener - position).LengthSquared() >= radius * radius) {
        // Out of reach: a running loop stops and starts from the beginning next time.
        if (playing >= 0) {
            if (loop) loop->StopAndRewind();
            playing = -1;
        }
        return;
    }
    countdown -= dt;
    if (countdown > 0.0f) return;
    if (loop) {
        if (playing >= 0) return;
        playing = 0;
        loop->Play(true);
    } else {
        const size_t pick = size_t(plat::EngineRand()) % variants.size();
        playing = int16_t(pick);
        const float volume = session_.worldSounds ? session_.worldSounds->GetEffectiveVolume() : 1.0f;
        sound_->PlaySound3D(SharedString::Format("%s%s", Folder, variants[pick].c_str()), position, minDistance, radius,
                            volume);
    }
    countdown = 5.0f + 5.0f * RandomFloat(0.0f, 1.0f);
}

SoundSample::SoundSample(const EngineServices& engine, const SharedString& fileName, const GameSession* session)
    : ObjectExtension(false), engine_(engine), sound_(engine.sound) {
    if (!sound_) return;
    for (int i = 0; i < VoiceCount; ++i) {
        AudioVoice* v = sound_->CreateSound(fileName, true);
        if (!v) continue;
        v->SetDistances(25.0f, 250.0f);
        v->SetPriority(1.0f);
        if (session && session->worldSounds) session->worldSounds->AttachChild(v);
        voices.push_back(v);
    }
}

SoundSample::~SoundSample() {
    if (!sound_) return;
    for (AudioVoice* v : voices) sound_->ReleaseVoice(v);
}

void SoundSample::OnTouched(const Vector3& position) {
    const uint32_t frame = engine_.FrameNumber();
    if (voices.empty() || lastPlayFrame == frame) return;
    lastPlayFrame = frame;
    AudioVoice* v = voices[size_t(next)];
    v->StopAndRewind();
    v->SetPosition(position);
    v->Play(false);
    next = (next + 1) % int32_t(voices.size());
}
