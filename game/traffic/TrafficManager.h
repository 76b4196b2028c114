#pragma once
// Fills the streets round every player's car with traffic cars and takes them away again once no
// player is near, places the current mission's parked cars and, now and then, sends a police car
// after a player whose car was caught in a blast. The cars come from the game's fleet: the
// manager only moves them between the free pool and the active list, at most one a frame.
//
// In a network game only the host decides: it sends each spawn and despawn on channel 118 and
// every machine, the host's own client included, carries it out when it arrives; until the
// host's own message is back the manager waits. Alone, the manager carries them out at once.
//
// Channel 118 frames (little-endian words after the channel byte and three unused bytes):
//   spawn   16 bytes: kind 0 at 4, the traffic graph's node index at 8, the pool index at 12;
//   despawn 12 bytes: kind 1 at 4, the index in the active list at 8.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/net/Channel.h"
#include "game/traffic/TrafficCar.h"
#include "game/traffic/TrafficCarType.h"
#include "game/vehicles/ExplosionObserver.h"
#include "game/world/LevelData.h"
#include "game/world/WorldPopulation.h"

class Camera;
class RoadGraph;
class Vehicle;
class World;
struct VehicleContext;

class TrafficManager : public WorldPopulation, public ClientChannel, public ServerChannel, public ExplosionObserver {
public:
    static constexpr uint8_t kChannel = 118;
    static constexpr float kDespawnSquared = 2500.0f * 2500.0f;
    static constexpr float kSpawnSquared = 2000.0f * 2000.0f;
    static constexpr float kInnerSquared = 1500.0f * 1500.0f;
    // Placed cars stand this far above their record, so they settle onto their wheels.
    static constexpr float kPlacedLift = 5.0f;
    static constexpr int32_t kMaxOpponents = 4;
    static constexpr int32_t kLastOpponentMission = 9;

    // One channel-118 message.
    struct Message {
        enum Kind : uint32_t { Spawn = 0, Despawn = 1 };
        uint32_t kind = Spawn;
        uint32_t index = 0;  // spawn: node in the traffic graph; despawn: index in the active list
        uint32_t pool = 0;   // spawn: index in the free pool
    };
    static constexpr size_t kSpawnSize = 16;
    static constexpr size_t kDespawnSize = 12;
    // The frame, channel byte first; returns its size (16 or 12).
    static size_t Encode(const Message& message, uint8_t* out);
    // A payload as the client hands it over (the frame less its channel byte): true only for a
    // frame of one of the two exact sizes with its kind.
    static bool Decode(const uint8_t* payload, int32_t size, Message& out);

    // The first manager of a fleet loads the kinds and makes the cars.
    TrafficManager(World& world, VehicleContext& vehicles, TrafficFleet& fleet);
    ~TrafficManager() override;
    TrafficManager(const TrafficManager&) = delete;
    TrafficManager& operator=(const TrafficManager&) = delete;

    // Makes a car for every parked-car record of the level whose mission and episode are the
    // game's: in the physics world and the world's tree, respawned, then posed at the record
    // (raised by kPlacedLift). A name the car catalogue does not know is logged and skipped.
    // Sets `ready`.
    virtual void PlaceParkedCars();
    // Locally, sending nothing: every traffic car back to the pool, the parked cars and the
    // opponents out of the world and deleted.
    virtual void Reset();
    // Once a frame while the game runs (not on a pure client, not while a message is on its way):
    // opponents and traffic far from every player leave, one car at most; else one may come.
    virtual void Update();
    void Draw(World& world, const Camera& camera) override;
    // A blast caught a car: in missions up to 9, one time in twenty, a player's car gets an
    // opponent sent after it at the next update (four at most).
    void OnExplosionHit(const Vector3& position, Vehicle& vehicle) override;
    // A police car on the driver graph out of sight, chasing the target (or heading for the
    // point without one).
    virtual void SpawnOpponent(Vehicle* target, const Vector3* point);
    virtual void RemoveOpponent(int32_t index);

    // Carrying out a message on this machine. Out-of-range indices are logged and change
    // nothing (`ready` included).
    void Spawn(const Message& message);
    void Despawn(uint32_t index);

    // Channel 118 as the client hears it; the host's side hears nothing.
    void Receive(const uint8_t* payload, int32_t size) override;
    void Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) override;

    TrafficFleet& fleet;
    uint8_t opponentRequested = 0;
    Vehicle* opponentTarget = nullptr;
    // False until the parked cars are placed, and while a message is on its way.
    uint8_t ready = 0;
    std::vector<SpawnCircle> circles;
    // The cars made by PlaceParkedCars, in record order.
    std::vector<Vehicle*> placedVehicles;
    // Fraction of the pool that may be on the streets.
    float density = 0.0f;
    // The police cars sent after players; the map shows them.
    std::vector<Vehicle*> opponents;
    std::vector<int32_t> spawnNodes;

private:
    void Send(const Message& message);
    bool NearAPlayer(const Vector3& at) const;
    void Forget(Vehicle* car);

    World& world_;
    VehicleContext& vehicles_;
    std::vector<std::unique_ptr<Vehicle>> owned_;
};
