#pragma once
// What the cars of a running game share: the world, the session values, the engine's services
// (the world's), the chase camera, the car list, the current controller and local driver, the
// item pools and the mode's rules. The game owns one and hands it to every car at construction.
// Plain data, no behaviour.
#include <cstdint>
#include <memory>
#include <vector>

#include "game/vehicles/ItemPool.h"
#include "game/vehicles/VehicleController.h"

class ChaseCamera;
class GunEffects;
class ProjectileLaunchers;
class DrivingRules;
class ExplosionObserver;
class ExplosionPool;
class ProjectileKinds;
struct EngineServices;
struct GameSession;
class Vehicle;
class VolumeGroup;
class VehicleController;
class VehicleDriver;
class World;
class ZKClient;
class ZKServer;
struct VehicleResources;
struct SpecialResources;

struct VehicleContext {
    VehicleContext(World& world_, GameSession& session_);
    ~VehicleContext();
    VehicleContext(const VehicleContext&) = delete;
    VehicleContext& operator=(const VehicleContext&) = delete;

    World& world;
    GameSession& session;
    // The world's engine services.
    const EngineServices& engine;
    ChaseCamera* chaseCamera = nullptr;
    // Every car of the game (searched by network player id and by the respawn search).
    std::vector<Vehicle*> vehicles;
    // The cars the game itself owns (the players'); a car leaves every list when destroyed.
    std::vector<std::unique_ptr<Vehicle>> ownedVehicles;
    // The game's current controller and the driver that owns it (the local player's).
    VehicleController* controller = nullptr;
    VehicleDriver* localDriver = nullptr;
    // A controller that replaces the current one once the frame's controller calls are done
    // (the car select hands over to the player's controller this way).
    std::unique_ptr<VehicleController> pendingController;
    // Set while the player chooses a car.
    uint8_t carSelect = 0;
    ItemPools itemPools;
    // The game's explosions (Explosion::Spawn makes the pool on first use).
    std::unique_ptr<ExplosionPool> explosions;
    // Told of explosions a driven car causes; null: nobody listens.
    ExplosionObserver* explosionObserver = nullptr;
    // The game's grenades, homing missiles and rockets (made on first use), and the grenades' and
    // rockets' explosion-sound cooldowns: a blast sounds only below 0, then sets 0.25 s; the
    // game lowers both by the frame time.
    std::unique_ptr<ProjectileKinds> projectiles;
    float grenadeSoundCooldown = 0.0f;
    float rocketSoundCooldown = 0.0f;
    // The player controllers' car fields, which the pedestrians watch.
    std::vector<Vehicle**> watchedPlayerCars;
    // The running mode; null before the set-up makes one.
    DrivingRules* rules = nullptr;
    // The network game's client and server; null when not networked / not hosting.
    ZKClient* client = nullptr;
    ZKServer* server = nullptr;
    // The in-game sound-effects volume group the cars' voices join; may be null.
    VolumeGroup* effectsVolume = nullptr;
    // The game's three in-game sound groups (effects, speech, ambient) and their configured
    // volumes, three entries each, owned by the game; the car select gives the groups their
    // volumes back when a car is chosen. Null when the game has none.
    VolumeGroup* const* soundGroups = nullptr;
    const float* soundLevels = nullptr;
    // Sounds, textures and renderers every car shares, made by the first car that needs them.
    std::unique_ptr<VehicleResources> resources;
    // What the specials and crates share (the sirens' lights, the repair voice), made on first use.
    std::unique_ptr<SpecialResources> specials;
    // The game's bullets, tracers, cannon shells, cases and muzzle-flash sprite, made on first
    // use (SharedGunEffects).
    std::unique_ptr<GunEffects> guns;
    // What launches grenades, missiles and rockets; null: nothing flies.
    ProjectileLaunchers* launchers = nullptr;
};
