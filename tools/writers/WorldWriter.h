#pragma once
// Writer of the city file "Maps\World.VQW", the sky flare points "Misc\%d.CSS" and the camera
// records "Misc\CameraData.cut". Every section of the world file is a field of WorldFile, in
// file order.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "game/world/LevelData.h"

namespace tools {

struct WorldPose {
    Vector3 position;
    Quaternion orientation;
};

struct WorldFile {
    struct Rgba {
        uint8_t r = 255, g = 255, b = 255, a = 255;
    };
    struct StaticMaterial {
        Rgba a, b, c, d;
        float value = 0.0f;
        int32_t texture = -1, secondTexture = -1;
        uint32_t flags = 0;
    };
    struct Vertex {
        Vector3 position, normal;
        float u = 0.0f, v = 0.0f;
    };
    struct Group {
        uint32_t firstIndex = 0, indexCount = 0, material = 0, reserved = 0, flags = 0;
    };
    struct SoundName {
        std::string name;
        int8_t value = 0;
    };
    struct CollisionTriangle {
        uint32_t v[3] = {};
        int32_t variant = 0;
    };
    struct ObjectMaterial {
        Rgba a, b, c, d;
        float value = 0.0f;
        int32_t texture = -1, secondTexture = -1;
        uint8_t flags = 0;
    };
    struct Mesh {
        std::vector<Vertex> vertices;
        std::vector<uint32_t> indices;
    };
    struct Box {
        Vector3 centre, halfExtents;
    };
    struct Part {
        int32_t range[4] = {}; // first index, index count, first vertex, vertex count
        uint32_t material = 0;
    };
    struct Kind {
        uint8_t bytes[16] = {};
        uint32_t mesh = 0;
        int32_t variant = 0;
        std::vector<Part> parts;
        uint32_t flags = 0; // 0x04 box (then box, mass, hit sound), 0x01 fixed, 0x20 two-sided/shatters, 0x08 narrow
        uint32_t box = 0;
        float mass = 0.0f;  // file value: ten times the stored mass
        int8_t hitSound = 0;
    };
    struct Placed {
        uint32_t kind = 0;
        WorldPose pose;
    };
    struct Node {
        Vector3 position;
        float value = 1.0f;
        uint8_t nodeClass = 0;
        std::vector<uint32_t> links;
    };
    struct Graph {
        std::vector<Node> nodes;
        uint32_t spareWord = 0;
    };
    struct Spot {
        Vector3 position;
        float value = 0.0f;
        std::vector<uint32_t> indices;
    };
    struct PathObject {
        uint32_t letter = 0;
        std::vector<uint32_t> route;
    };
    struct RespawnZone {
        uint32_t zone = 0, subZone = 0;
        std::vector<WorldPose> points;
    };
    struct DropPoint {
        std::string name;
        uint32_t object = 0;
        std::vector<uint32_t> variants;
    };
    struct Water {
        Vector3 centre;
        float radius = 0.0f;
        float axes[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}; // rows: axes, then centre
        Vector3 halfExtents;
    };
    struct Light {
        uint32_t node = 0, object = 0;
    };
    struct WorldLight {
        std::vector<Vector3> lamps;
        uint32_t object = 0;
    };
    struct Crate {
        uint32_t type = 0, object = 0;
    };
    struct Emitter {
        std::string name;
        Vector3 position;
        float minDistance = 0.0f, radius = 0.0f;
        uint8_t timeOfDayMask = 0x0F;
    };
    struct Placement {
        std::string name;
        int32_t mission = 0, episode = 0;
        uint32_t values[3] = {};
        WorldPose pose;
    };

    uint32_t version = 7;
    std::vector<std::string> textures;
    std::vector<StaticMaterial> materials;
    std::vector<Vertex> vertices;
    std::vector<uint32_t> indices; // three per render triangle
    std::vector<Group> groups;
    std::vector<SoundName> soundNames;
    std::vector<Vector3> collisionVertices;
    std::vector<CollisionTriangle> collisionTriangles;
    std::vector<uint32_t> extraWords;

    std::vector<ObjectMaterial> objectMaterials;
    std::vector<Mesh> meshes;
    std::vector<Box> boxes;
    std::vector<Kind> kinds;
    std::vector<Placed> objects;

    Graph sharedGraph, driverGraph, trafficGraph;
    std::array<Graph, 4> episodeGraphs;
    Graph pedestrianGraph;
    std::vector<Spot> spotsA, spotsB, spotsC;
    uint32_t countE = 0, countF = 0, countG = 0; // record lists read and not kept (zero bytes)
    Graph worldGraph;
    std::vector<std::vector<uint32_t>> routes;
    Graph pathGraph;
    std::vector<PathObject> pathObjects;

    std::vector<std::pair<Vector3, Vector3>> lookAts;
    uint32_t count16 = 0;
    std::vector<RespawnZone> respawnZones;
    std::vector<DropPoint> dropPoints;
    std::vector<WorldPose> nodeRecords;
    std::vector<Water> waterVolumes;
    std::vector<std::vector<std::vector<Light>>> trafficLights; // controllers, groups, lights
    std::vector<WorldLight> worldLights;
    std::vector<uint32_t> words;
    std::vector<Crate> crates;
    std::vector<Emitter> emitters;
    uint32_t fileCameraCount = 0;
    std::vector<Placement> placements1, placements2, parkedCars;
    std::array<std::vector<Placement>, 7> lists; // (a) .. (g)
    std::array<Graph, 4> pedestrianEpisodeGraphs;
    std::vector<WorldPose> lastList;
};

std::vector<uint8_t> WorldBytes(const WorldFile& world);
bool WriteWorld(const std::string& path, const WorldFile& world);
// "ZK2", version 0x10000000, the flare point.
std::vector<uint8_t> CssBytes(const Vector3& flarePoint);
bool WriteCss(const std::string& path, const Vector3& flarePoint);
std::vector<uint8_t> CameraDataBytes(const std::vector<CameraRecord>& records);
bool WriteCameraData(const std::string& path, const std::vector<CameraRecord>& records);

// A generated city of square blocks between roads, walled in.
struct CityOptions {
    int32_t blocks = 4;        // per side
    float blockSize = 800.0f;
    float roadWidth = 160.0f;
    uint32_t seed = 1;
    bool props = true;         // the demo's park, pool, objects, lights and records
    int32_t facadeDetail = 1;  // each facade split into n x n quads
    int32_t cratesPerBlock = 0; // extra loose crates on every block (benchmarks)
    int32_t drawGroups = 81;   // the demo pads its neon signs to this many draw groups
    float horizon = 10000.0f;  // how far the fields round the city reach beyond its wall (0: none)
};
WorldFile GenerateCity(const CityOptions& options);
// The city seen from above as the HUD's map shows it: a size x size picture (0xAARRGGBB, the
// top row first, the top the side of largest z) of the world's box round its collision mesh,
// scaled by its longer side as the HUD scales the map; roads, pavements, lawns, roofs and water.
std::vector<uint32_t> CityMapPicture(const WorldFile& world, int size);

} // namespace tools
