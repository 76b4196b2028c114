#pragma once
// The world file holds records whose classes live with later parts of the game (skies, hit
// sounds, lights, traffic lights, emitters, path objects, crates, special-pedestrian spots).
// The loader validates each record and hands it to the factory the owner registered; a kind
// without a factory keeps its records in the World and is logged once.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class Camera;
class PhysicsGeom;
class World;
class WorldObject;
struct RoadNode;

// Something a factory made from a record that the World keeps alive, updates and resets.
class WorldFeature {
public:
    virtual ~WorldFeature() = default;
    // Traffic-light controllers before the physics, emitters at the end of World::Update.
    virtual void Update(float /*dt*/, const Camera* /*camera*/) {}
    // World::Reset (controllers back to their start).
    virtual void Reset() {}
    // Skies: drawn first by World::Draw for the session's time of day.
    virtual void Draw(Camera& /*camera*/) {}
};

// What the loader's downward probe found under a point of the static city.
struct GroundProbe {
    bool hit = false;
    PhysicsGeom* geom = nullptr;
    Vector3 point;  // the contact moved 1.6 units along the normal
    Vector3 normal;
};

struct SkyRecord {
    int32_t timeOfDay = 0;
    SharedString folder; // "Textures\Morning" ...
    Color colour;
    bool hasFlarePoint = false;
    Vector3 flarePoint;
};

struct HitSoundRecord {
    WorldObject* object = nullptr;
    int32_t sound = 0; // index into the eight surface sounds
};

struct TrafficLightRecord {
    uint32_t nodeIndex = 0;
    RoadNode* node = nullptr; // in the traffic spawn graph, marked light-controlled
    WorldObject* object = nullptr;
    GroundProbe ground;
};

struct TrafficLightControllerRecord {
    std::vector<std::vector<TrafficLightRecord>> groups; // at least one light in all; a group may be empty
};

struct WorldLightRecord {
    WorldObject* object = nullptr;
    std::vector<Vector3> lamps;        // in the object's frame
    std::vector<GroundProbe> ground;   // one per lamp
};

struct CrateRecord {
    int32_t type = 0; // 0..11 without 6 (a random type already drawn for the others)
    WorldObject* object = nullptr;
};

struct EmitterRecord {
    SharedString name;
    Vector3 position;
    float minDistance = 0.0f;
    float radius = 0.0f;
    uint8_t timeOfDayMask = 0;
};

struct PathObjectRecord {
    int32_t letter = 0;     // 0..25
    SharedString model;     // "Models\A.ZKM" ...
    std::vector<uint32_t> route; // indices into the path-node graph, all checked
    bool inTree = false;    // routes of at least three nodes join the object quadtree
};

struct PedestrianSpotRecord {
    uint8_t typeFlag = 0;   // 0x02, 0x04 or 0x10: which pedestrian types stand there
    Vector3 position;
    float value = 0.0f;     // 0x04 spots
    std::vector<uint32_t> indices; // 0x10 spots
};

struct WorldRecordFactories {
    using Feature = std::unique_ptr<WorldFeature>;
    std::function<Feature(World&, const SkyRecord&)> sky;
    std::function<void(World&, const HitSoundRecord&)> hitSound;
    std::function<Feature(World&, const TrafficLightControllerRecord&)> trafficLights;
    std::function<Feature(World&, const WorldLightRecord&)> light;
    std::function<Feature(World&, const CrateRecord&)> crate;
    std::function<Feature(World&, const EmitterRecord&)> emitter;
    std::function<Feature(World&, const PathObjectRecord&)> pathObject;
    std::function<void(World&, const PedestrianSpotRecord&)> pedestrianSpot;
};

// Every record of those kinds the loader read, claimed or not, in file order.
struct WorldRecords {
    std::vector<SkyRecord> skies;
    std::vector<HitSoundRecord> hitSounds;
    std::vector<TrafficLightControllerRecord> trafficLights;
    std::vector<WorldLightRecord> lights;
    std::vector<CrateRecord> crates;
    std::vector<EmitterRecord> emitters;
    std::vector<PathObjectRecord> pathObjects;
    std::vector<PedestrianSpotRecord> pedestrianSpots;
};
