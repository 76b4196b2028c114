#pragma once
// The playable scene: the object quadtree plus everything one game of the city needs (physics,
// static collision, placed objects, static geometry, road graphs and level data). Loaded from
// "Maps\World.VQW" in six steps, then updated and drawn once a frame.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/EngineServices.h"
#include "engine/core/Geometry.h"
#include "engine/core/Math.h"
#include "engine/core/SharedString.h"
#include "engine/net/ObjectChannel.h"
#include "engine/render/EnvironmentCube.h"
#include "game/world/BoundaryPlane.h"
#include "game/world/Decals.h"
#include "game/world/Drawable.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/ObjectQuadTree.h"
#include "game/world/PhysicsWorld.h"
#include "game/world/StaticGeometryRenderer.h"
#include "game/world/WorldObjectManager.h"
#include "game/world/WorldPopulation.h"
#include "game/world/WorldRecordFactories.h"

class Camera;
class DecalRenderer;
class RenderFacility;
class TextureHandle;

namespace world_detail {
class WorldFileReader;
}

// The road graphs of a level. The loader makes any graph that does not exist yet.
struct LevelGraphs {
    std::unique_ptr<RoadGraph> shared;   // the opponents' graph
    std::unique_ptr<RoadGraph> driver;   // the AI drivers' graph
    std::unique_ptr<RoadGraph> traffic;  // traffic spawn graph (node class: restricted)
    std::array<std::unique_ptr<RoadGraph>, 4> episodes;
    std::unique_ptr<RoadGraph> pedestrian; // pedestrians and fares
    std::array<std::unique_ptr<RoadGraph>, 4> pedestrianEpisodes;
    std::unique_ptr<RoadGraph> path;     // the path objects' nodes
};

// A volume of water: a bounding sphere and the oriented box inside it.
struct WaterVolume {
    Sphere sphere;
    OrientedBox box;
};

// Surface i of the static city: collision triangle i's name and hit sound.
struct SurfaceName {
    SharedString name;
    int32_t value = 0;
    SharedString fileName; // "<name>.WAV", empty for an empty name
};

class World : public ObjectQuadTree, public EnvironmentScene {
public:
    static constexpr int32_t TreeDepth = 7;
    static constexpr float Gravity = -275.0f;
    static const char* const SurfaceSoundNames[8];
    static const char* const SkyFolders[4];

    // The engine's services outlive the world; without a renderer (tools, tests) nothing is
    // made on a device.
    World(GameSession& session, const EngineServices& engine);
    World(GameSession& session, const EngineServices&& engine) = delete;
    ~World() override;

    // The six loading steps, each true once finished. A failed step logs its line, sets
    // LoadFailed and returns true; the steps after it do nothing.
    bool LoadHeader();
    bool LoadShadowTexture();
    bool LoadStaticGeometry();
    bool LoadObjects();
    bool LoadRoutes();
    bool FinishLoading();
    bool LoadFailed() const { return loadFailed_; }
    // The facility the world draws with (null in tools and tests without one).
    RenderFacility* Renderer() const { return renderer_; }
    // True from the first step until the last one closes the world file.
    bool WorldFileOpen() const { return reader_ != nullptr; }
    // Bytes of the world file and how far the steps read.
    size_t FileSize() const { return fileSize_; }
    size_t BytesRead() const { return bytesRead_; }

    // Back to the start of play without reloading.
    void Reset();
    // A random drop point of the group (0: any, a point weighing as many times as it has
    // groups) farther than the minimum from `from` in x and z; index 0 when none is. Callers
    // check that there are drop points at all.
    int32_t PickDropPoint(int32_t group, const Vector3& from, float minDistanceSquared);
    // Once a frame: traffic lights, the physics sub-steps, the quadtree, decals, wall damage,
    // particles, ambient sounds.
    void Update(const Camera* camera, float dt) override;
    void Draw(Camera& camera);
    // Reduced drawing for reflections and previews: 0 sky, 1 static city and objects, 2 all the
    // quadtree items, traffic and pedestrians.
    void DrawLayers(Camera& camera, int32_t level) override;

    // The environment cube's view of the world: the object manager's frame, then the cull
    // with the static city's visibility pass, then the reduced drawing.
    using ObjectQuadTree::Cull;
    void BeginFrame(Camera& camera) override;
    void Cull(Camera& camera) override;

    GameSession& session;
    // The engine's services, for the world and everything placed in it.
    const EngineServices& engine;
    PhysicsWorld physics;
    ObjectChannel objectChannel;
    RoadGraph roads;
    std::vector<std::vector<uint32_t>> routes;
    struct NodeRecord {
        Vector3 position;
        Quaternion orientation;
    };
    std::vector<NodeRecord> nodeRecords;
    float timeScale = 1.0f;
    BoundingBox worldBox;
    WorldPopulation* traffic = nullptr;
    WorldPopulation* pedestrians = nullptr;
    std::unique_ptr<BoundaryPlane> boundary;
    std::array<SkyRecord, 4> skies;
    std::vector<WaterVolume> waterVolumes;
    std::unique_ptr<StaticGeometryRenderer> staticGeometry;
    std::unique_ptr<WorldObjectManager> objects;
    std::vector<SurfaceName> surfaces;
    std::vector<uint32_t> extraWords;
    std::vector<Drawable*> drawables;
    std::unique_ptr<DecalRenderer> decals;
    std::vector<std::unique_ptr<TextureHandle>> textures;
    int32_t texturesLoaded = 0;
    int64_t staticTriangles = 0;
    bool showNodes = false;
    bool showRespawns = false;
    bool showSounds = false;

    // Level data.
    LevelGraphs graphs;
    std::vector<DropPoint> dropPoints;
    std::vector<RespawnZone> respawnZones;
    LevelPlacements placements;
    MissionTable missionTable;

    // Records of later parts of the game and what their factories made of them.
    WorldRecordFactories factories;
    WorldRecords records;
    std::array<std::unique_ptr<WorldFeature>, 4> skyFeatures;
    std::vector<std::unique_ptr<WorldFeature>> trafficLightControllers;
    std::vector<std::unique_ptr<WorldFeature>> lights;
    std::vector<std::unique_ptr<WorldFeature>> crates;
    std::vector<std::unique_ptr<WorldFeature>> emitters;
    std::vector<std::unique_ptr<WorldFeature>> pathObjects;

    // How the collision spaces (the world's and the resting objects') bin their geoms; set before
    // the static-geometry step. Hashing is as fast per frame as the quadtree, which bins on x and
    // y while the city lies in x and z, and builds several times faster (bench/world).
    SpaceKind spaceKind = SpaceKind::Hash;
    // The static collision's surface (friction 100, slip 0.25).
    SurfaceMaterial staticSurface{100.0f};

private:
    friend class world_detail::WorldFileReader;
    bool Fail();
    bool Begin();
    // A placed object usable as a reference (index in range and placed); logs when it is not.
    WorldObject* ObjectAt(uint32_t index, const char* section, uint32_t record);
    GroundProbe ProbeGround(const Vector3& start);
    // Reads one road graph; float / class / spare select the node fields.
    void ReadGraph(RoadGraph& graph, bool hasFloat, bool hasClass, bool hasSpare, const char* section);
    void NoFactory(const char* kind, size_t count);
    void ReadCssFiles();
    void FlushQuads(const Camera& camera);
    // The road graphs and the ambient emitters' ranges, while their console toggles are on.
    void DrawDebug();

    RenderFacility* renderer_;
    std::unique_ptr<world_detail::WorldFileReader> reader_;
    bool loadFailed_ = false;
    bool textureCountRead_ = false;
    size_t fileSize_ = 0;
    size_t bytesRead_ = 0;
    float frameTime_ = 0.0f;
    bool ownsShardBuffer_ = false;
    std::vector<std::string> unclaimedLogged_;
    std::vector<int32_t> dropPointCandidates_; // kept between picks
};
