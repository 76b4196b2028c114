#pragma once
// What every car of a game shares: the crash sound banks, the halo batch and textures, the
// shadow-volume renderer, the chassis surface and the record a random respawn fills. Made by
// the first car that needs them and kept by the game's vehicle context.
#include <array>
#include <memory>
#include <vector>

#include "game/world/CollisionListener.h"
#include "game/world/LevelData.h"

class AudioDevice;
class AudioVoice;
class DecalOwner;
class ParticleBatch;
class RenderFacility;
class ShadowVolumeRenderer;
class TextureHandle;

struct VehicleResources {
    static constexpr int32_t CrashBanks = 6;
    static constexpr int32_t HaloCapacity = 100;
    static constexpr size_t BulletHitVoices = 32;

    // Either device may be null (no drawing, no crash sounds).
    VehicleResources(RenderFacility* facility, AudioDevice* sound);
    ~VehicleResources();
    VehicleResources(const VehicleResources&) = delete;
    VehicleResources& operator=(const VehicleResources&) = delete;

    // Plays one random voice of the bank; an empty bank plays nothing.
    void PlayCrash(int32_t bank);
    // Plays the bullet-hit voices in turn; none plays nothing.
    void PlayBulletHit();

    RenderFacility* facility;
    AudioDevice* sound;
    // "Audio\Crash<d>*.WAV", d = 0..5, in listing order.
    std::array<std::vector<AudioVoice*>, CrashBanks> crashBanks;
    // "Audio\bullethit_impact*.WAV", at most 32, and the one the next hit plays.
    std::vector<AudioVoice*> bulletHits;
    size_t nextBulletHit = 0;
    // The skid marks' decal kind ("Skid.ZKT"), registered with the world's decal renderer.
    std::unique_ptr<DecalOwner> skidMarks;
    std::unique_ptr<ShadowVolumeRenderer> shadows;
    std::unique_ptr<ParticleBatch> haloBatch;
    // Headlights and reversing lights "Halo02.ZKT", brake lights "Halo01.ZKT".
    TextureHandle* headlightTexture = nullptr;
    TextureHandle* brakeLightTexture = nullptr;
    TextureHandle* reverseLightTexture = nullptr;
    TextureHandle* bubbleTexture = nullptr;
    // Chassis boxes grip hard and never slip.
    SurfaceMaterial chassisSurface{100.0f};
    // Filled by a random respawn.
    RespawnPoint randomRespawn;
};

// The context's shared resources, made on first use.
struct VehicleContext;
VehicleResources& SharedVehicleResources(VehicleContext& context);
