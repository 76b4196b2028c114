#pragma once
// Keeps the city's pavements populated: a pool of 64 ordinary pedestrians, put into the world on
// the pedestrian road graph out of sight round the players' cars and taken out again once every
// car is far away, and drawn kind by kind. The kinds and the pool are made once, by the first
// manager, and reused by every later game; never during play.
#include <cstdint>
#include <memory>
#include <vector>

#include "game/traffic/Pedestrian.h"
#include "game/traffic/PedestrianType.h"
#include "game/world/LevelData.h"
#include "game/world/WorldPopulation.h"

class PedestrianManager;
class Vehicle;

// What every manager shares: the kinds, the pool and where its pedestrians are.
struct PedestrianCrowd {
    std::vector<std::unique_ptr<PedestrianType>> types;
    std::vector<std::unique_ptr<Pedestrian>> pool;
    std::vector<Pedestrian*> free, active;
    // The special kinds: rocket throwers, show people, gunmen.
    std::vector<PedestrianType*> mobs, shows, gunmen;
    std::unique_ptr<PedestrianSite> site;
    // The manager whose world and game the site points to (the last made).
    const PedestrianManager* owner = nullptr;
};

// A place the world file marks for one special kind, and who stands there now.
struct SpecialSpot {
    Vector3 position;
    Pedestrian* pedestrian = nullptr;
};

class PedestrianManager : public WorldPopulation {
public:
    static constexpr float kSpecialRadiusSquared = 2000.0f * 2000.0f;
    using SpecialMaker = std::unique_ptr<Pedestrian> (*)(PedestrianType&, PedestrianSite&);

    static constexpr int32_t kPoolSize = 64;
    static constexpr float kDespawnSquared = 2500.0f * 2500.0f;
    static constexpr float kSpawnOuterSquared = 2000.0f * 2000.0f;
    static constexpr float kSpawnInnerSquared = 1500.0f * 1500.0f;

    PedestrianManager(World& world, VehicleContext* vehicles, StreetEvents* events);
    ~PedestrianManager() override;
    PedestrianManager(const PedestrianManager&) = delete;
    PedestrianManager& operator=(const PedestrianManager&) = delete;

    // Who hears of the street's events from now on (the game's mode); null: nobody.
    void SetEvents(StreetEvents* events);
    // When the game starts: the special kinds' lists.
    virtual void Init();
    // Every pedestrian leaves the world and goes back to the pool, in list order.
    virtual void Reset();
    // Once a frame: circles round the cars, then Populate.
    virtual void Update();
    // Recycles the pedestrians far from every circle and places at most one in a ring.
    void Populate(const std::vector<SpawnCircle>& circles);
    void RecyclePedestrian(size_t activeIndex);
    // Puts someone at every empty place within the radius of one of the points (from the free
    // list, else made of a random kind of the category) and takes those of places beyond the
    // radius of every point back to the free list.
    void PlaceSpecialPedestrians(std::vector<SpecialSpot>& spots, std::vector<Pedestrian*>& free,
                                 const std::vector<PedestrianType*>& category, const std::vector<Vector3>& points,
                                 float radiusSquared, SpecialMaker make);
    const std::vector<SpecialSpot>& GunmanSpots() const { return gunmanSpots_; }
    const std::vector<SpecialSpot>& MobSpots() const { return mobSpots_; }
    const std::vector<SpecialSpot>& ShowSpots() const { return showSpots_; }
    void Draw(World& world, const Camera& camera) override;

    static PedestrianCrowd& Crowd();
    // The kinds and the pool go, with their meshes (every manager gone first): when the game
    // that used them ends, while the renderer is still there.
    static void ReleaseCrowd();
    static void ForgetCrowdForTests() { ReleaseCrowd(); }
    // A car whose circle admits new pedestrians: a player's.
    static bool IsHumanPlayer(const Vehicle& car);

    float density = 0.0f;

protected:
    World& GetWorld() const { return world_; }
    // This update's circles round the cars.
    const std::vector<SpawnCircle>& Circles() const { return circles_; }

private:
    World& world_;
    std::vector<SpawnCircle> circles_;
    std::vector<int32_t> spawnNodes_;
    std::vector<SpecialSpot> gunmanSpots_, mobSpots_, showSpots_;
    // The special kinds' people, made as their places come near (they hold this game's
    // context, so they live as long as the manager), and those standing nowhere.
    std::vector<std::unique_ptr<Pedestrian>> specialPool_;
    std::vector<Pedestrian*> freeMobs_, freeShows_, freeGunmen_;
    std::vector<Vector3> playerPoints_;
    void RemoveSpecial(SpecialSpot& spot, std::vector<Pedestrian*>& free);
};
