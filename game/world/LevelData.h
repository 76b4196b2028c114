#pragma once
// The level data the world file fills and the game reads: road graphs, drop points, respawn
// zones, placement lists, the mission table and the scripted camera records.
#include <array>
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/SharedString.h"

class WorldObject;
class D3D8GeomRenderer;
class OutputStream;
class FileReader;

struct RoadNode {
    enum : uint32_t {
        CountMask = (1u << 30) - 1, // vehicles holding the node
        Restricted = 1u << 30,      // from the world file: traffic never spawns or drives past it
        LightControlled = 1u << 31, // a traffic light swaps the node's links
    };
    Vector3 position;
    std::vector<RoadNode*> links; // into the same graph's node block
    uint32_t occupancy = 0;
    float speedFactor = 0.0f;

    // A linked node nobody holds (count 0) and, unless allowRestricted, not restricted: the
    // links are tried once round from a random one. Null without links or when none qualifies.
    RoadNode* PickFreeNeighbour(bool allowRestricted) const;
};

// The unit of the spawn search: a ring round a centre, in x and z only. A node qualifies when
// it lies strictly inside some circle's outer radius and outside every circle's inner one.
struct SpawnCircle {
    Vector3 centre;
    float outerSquared = 0.0f;
    float innerSquared = 0.0f;
};

// A directed graph of road nodes. The node block is sized once (Resize) and never moves after,
// so links may point into it.
class RoadGraph {
public:
    RoadGraph() = default;
    RoadGraph(const RoadGraph&) = delete;
    RoadGraph& operator=(const RoadGraph&) = delete;

    // Frees the strides, every node's links and the node block.
    void Clear();
    // count fresh nodes (position zero, no links, occupancy 0); the old block is dropped.
    void Resize(int32_t count);
    int32_t Count() const { return int32_t(nodes.size()); }
    // Appends every prime p with count / 200 <= p < count / 100, or 1 when there is none: the
    // strides of the spawn search.
    void BuildStrides();
    // Each node as a post 20 x (users + 1) high and a line to each linked node.
    void DebugDraw(D3D8GeomRenderer& lines) const;

    // Nodes where something may appear: out is cleared, then filled with the indices, from a
    // random start below a random stride on in steps of that stride, of the nodes nobody holds
    // that are not restricted, have a linked node nobody holds, and lie in some circle's ring
    // (strictly inside its outer radius, strictly outside every inner one). A prime stride that
    // does not divide the count samples the graph evenly over successive calls.
    void FindSpawnNodes(const std::vector<SpawnCircle>& circles, std::vector<int32_t>& out) const;
    // The node nearest the point in x and z (the first of equals, none farther than 1e9
    // squared) that nobody holds and has two links or more, or one link to a node nobody holds;
    // restricted nodes count. Null when none qualifies.
    RoadNode* FindNearestFreeNode(const Vector3& point);

    std::vector<RoadNode> nodes;
    int32_t startNode = 0;
    uint32_t spareWord = 0; // set from the world file for the per-episode graphs
    std::vector<int32_t> strides;
};

// One destination of the level. The marker is a placed object the drop point moves about.
struct DropPoint {
    float spinAngle = 0.0f;
    Vector3 position;
    WorldObject* marker = nullptr;
    std::vector<uint32_t> variants; // mission variants + 1 in which the point is a destination
    SharedString name;
    bool active = false;

    // Within this x/z distance a point has arrived (kept squared).
    static constexpr float ArrivalRadiusSquared = 150.0f * 150.0f;
    // Radians the marker turns per second.
    static constexpr float SpinRate = 4.0f;

    // Position from the marker, angle 0, inactive.
    void Init();
    // Active or not; the marker is put back on the point either way. Activate answers true.
    bool Activate();
    void Deactivate();
    bool IsActive() const { return active; }
    // The angle runs on; the marker turns about the vertical at SpinRate and stands on the
    // point again (whatever moved it), without coming back from far.
    void Update(float dt);
    // Strictly within the arrival radius in x and z (height ignored).
    bool Contains(const Vector3& p) const;
};

struct RespawnPoint {
    Vector3 position;
    Quaternion orientation;
    std::vector<Vector3> directionPoints;
};

struct RespawnZone {
    int32_t zone = 0;
    int32_t subZone = 0;
    std::vector<RespawnPoint> points;
};

// A posed record of one of the placement lists. Only the fields a list stores are filled.
struct PlacementRecord {
    SharedString name;
    int32_t mission = 0;
    int32_t episode = 0;
    uint32_t values[3] = {};
    Vector3 position;
    Quaternion orientation;
};

// The nine placement lists of a level. List 8 (index 7) holds the parked cars
// {name, mission, episode, pose, value}.
struct LevelPlacements {
    static constexpr int32_t ListCount = 9;
    static constexpr int32_t ParkedCars = 7;
    std::array<std::vector<PlacementRecord>, ListCount> lists;
    std::vector<PlacementRecord>& parkedCars() { return lists[ParkedCars]; }
};

// A scripted camera shot of a mission.
struct CameraRecord {
    int32_t mission = 0;
    int32_t episode = 0;
    int32_t index = 0;
    float time = 0.0f;
    SharedString sample;
    Vector3 position;
    Quaternion orientation;
};

// 8 missions x 4 episodes; each cell holds its placements {name, mission, episode, value, pose},
// its placements {name, mission, episode, pose} and its camera shots sorted by index.
struct MissionTable {
    static constexpr int32_t Missions = 8;
    static constexpr int32_t Episodes = 4;
    struct Cell {
        std::vector<PlacementRecord> placements;
        std::vector<PlacementRecord> spots;
        std::vector<CameraRecord> cameras;
    };
    std::vector<std::array<Cell, Episodes>> missions;

    void Clear() { missions.clear(); }
    // Sizes the table to 8 missions of empty cells.
    void Reset() { missions.assign(Missions, {}); }
    // Null outside 0..7 x 0..3 or before Reset.
    Cell* At(int32_t mission, int32_t episode);
    static bool InRange(int32_t mission, int32_t episode) {
        return mission >= 0 && mission < Missions && episode >= 0 && episode < Episodes;
    }
    // Stable sort of every cell's camera list by index.
    void SortCameras();
};

// The one layout of camera records ("Misc\CameraData.cut", the camera editor's dump):
// u32 count, then per record mission, episode, index, time, sample string, position, quaternion.
void WriteCameraRecords(OutputStream& out, const std::vector<CameraRecord>& records);
// Reads a record list; a list cut short keeps the records read whole and returns false. A count
// larger than the bytes could hold is believed only as far as they go.
bool ReadCameraRecords(FileReader& in, std::vector<CameraRecord>& out);
