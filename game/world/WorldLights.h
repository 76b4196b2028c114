#pragma once
// The city's lights. A world light rides on a lit prop (a street lamp): halo sprites at its lamp
// heads whenever the prop is drawn and, at night, a pool of light on the ground. A traffic light
// rides on a post: red, amber and green halos fading in and out, red and green pools at night,
// and the links of its stop-line node, which it takes away on amber and red and gives back on
// green. A controller cycles a junction's lights in groups: one green, the others red. Knocking
// the prop or post over puts its light out until the object is back home.
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/Decals.h"
#include "game/world/WorldObject.h"
#include "game/world/WorldRecordFactories.h"

class DecalRenderer;
class QuadBatchRenderer;
class RenderFacility;
class ShaderPassSet;
class TextureHandle;
struct GameSession;
struct QuadRecord;
struct RoadNode;

// What every light of a world shares: the halo pass set and texture, and the three pool
// owners (registered once with the world's decal renderer). Made by the first light.
class LightResources {
public:
    LightResources(RenderFacility* facility, DecalRenderer* decals);
    ~LightResources();
    LightResources(const LightResources&) = delete;
    LightResources& operator=(const LightResources&) = delete;

    // A halo sprite of the quad batch (null without one), size 20, at the position.
    QuadRecord* MakeHalo(const Vector3& position, uint32_t argb);
    void ReleaseHalo(QuadRecord* quad);
    QuadBatchRenderer* Quads() const { return quads_; }

    DecalOwner pool;      // "Lightmap.ZKT"
    DecalOwner redPool;   // "Lightmap_R.ZKT"
    DecalOwner greenPool; // "Lightmap_G.ZKT"

private:
    RenderFacility* facility_;
    DecalRenderer* decals_;
    QuadBatchRenderer* quads_ = nullptr;
    ShaderPassSet* haloPass_ = nullptr;
    TextureHandle* haloTexture_ = nullptr;
};

// The quad of a pool of light: s = 3 x (50 + a random 0..25) units each way from the point in
// the plane the rotation's x and z axes span, texture corners (0, 0) .. (1, 1).
void LayLightPool(DecalRecord& record, const Vector3& position, const Matrix4& rotation);
// The rotation that takes y to the unit normal (x and z lie in the ground).
Matrix4 GroundRotation(const Vector3& normal);

class WorldLight : public ObjectExtension, public WorldFeature {
public:
    static constexpr float HaloSize = 20.0f;

    WorldLight(LightResources& shared, const GameSession& session);
    ~WorldLight() override;
    WorldLight(const WorldLight&) = delete;
    WorldLight& operator=(const WorldLight&) = delete;

    // Joins the owner's extensions and puts a halo at every lamp (offsets in the owner's frame).
    void Attach(WorldObject* owner, const std::vector<Vector3>& lamps);
    // The pool of light around the ground point; widens the owner's bounds to reach it.
    void AddLightmap(const Vector3& position, const Matrix4& rotation);

    // The owner is drawn: halos (light detail 2 and up) and, at night, the pool.
    void OnVisible() override;
    void OnDisturbed() override { dark = true; }
    void OnRestored() override { dark = false; }

    struct Halo {
        QuadRecord* sprite = nullptr;
        Vector3 offset;
    };
    WorldObject* owner = nullptr;
    DecalRecord lightmap;
    std::vector<Halo> halos;
    bool dark = false;
    bool hasLightmap = false;

private:
    LightResources& shared_;
    const GameSession& session_;
};

class TrafficLight : public ObjectExtension {
public:
    enum : uint32_t { Red = 1, Amber = 2, Green = 4, Knocked = 0x100 };
    // Lamp colours; the alpha byte carries the lamp's brightness.
    static const Color LampColours[3];

    // Halos at the post's lamp heads; joins the post's extensions. The light starts reset (red,
    // the node closed).
    TrafficLight(LightResources& shared, const GameSession& session, WorldObject* owner, RoadNode* node);
    ~TrafficLight() override;
    TrafficLight(const TrafficLight&) = delete;
    TrafficLight& operator=(const TrafficLight&) = delete;

    // The red and green pools around the ground point.
    void AddLightmaps(const Vector3& position, const Matrix4& rotation);
    // 1 red, 2 amber, 4 green (the knock stays): green gives the node its links back, amber
    // takes them away.
    void SetState(uint32_t state);
    // Red, knock cleared, the node closed.
    void Reset();
    // Brightness: lamps on reach full in a quarter second, lamps off go dark in one.
    void Update(float dt);
    // The post is drawn: halos (light detail 1 and up) and, at night, the lit pools.
    void OnVisible() override;
    void OnDisturbed() override { state |= Knocked; }
    void OnRestored() override { state &= ~Knocked; }

    float Brightness(int lamp) const { return float(lamps[lamp].colour.a) / 255.0f; }

    struct Lamp {
        QuadRecord* sprite = nullptr;
        Color colour;
    };
    WorldObject* owner;
    RoadNode* node;
    std::vector<RoadNode*> heldLinks;
    Lamp lamps[3];
    uint32_t state = Red;
    DecalRecord redLightmap;
    float redBrightness = 0.0f;
    DecalRecord greenLightmap;
    float greenBrightness = 0.0f;
    bool hasLightmaps = false;

private:
    LightResources& shared_;
    const GameSession& session_;
};

class TrafficLightController : public WorldFeature {
public:
    static constexpr float GreenTime = 10.0f;
    static constexpr float AmberStart = 100.0f; // the timer jumps by 90 into the amber phase
    static constexpr float AmberEnd = 101.0f;

    // Starts reset: every group red.
    explicit TrafficLightController(std::vector<std::vector<std::unique_ptr<TrafficLight>>> groups);

    // Green for 10 s, amber for 1 s, then red while the next group turns green; every light's
    // brightness follows. A controller without groups does nothing.
    void Update(float dt, const Camera* camera) override;
    void Reset() override;

    std::vector<std::vector<std::unique_ptr<TrafficLight>>> groups;
    float timer = 0.0f;
    int32_t current = 0;
};
