#include "game/world/WorldLights.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Geometry.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/QuadBatchRenderer.h"
#include "engine/render/TextureFactory.h"
#include "game/world/GameSession.h"
#include "game/world/LevelData.h"
#include "game/world/TextureLayer.h"

namespace {

// Additive: the halos and pools brighten what lies under them.
const TextureLayer kAdditive{SharedString("Add"), 1, 6, 1};

constexpr int32_t Night = 3;

uint32_t WithAlpha(const Color& c, uint32_t alpha) { return (ToPacked(c) & 0x00FFFFFFu) | (std::min(alpha, 255u) << 24); }

} // namespace

// -------------------------------------------------------------------------------------------------
// Shared resources

LightResources::LightResources(RenderFacility* facility, DecalRenderer* decals)
    : pool(facility, SharedString("Lightmap.ZKT"), kAdditive),
      redPool(facility, SharedString("Lightmap_R.ZKT"), kAdditive),
      greenPool(facility, SharedString("Lightmap_G.ZKT"), kAdditive),
      facility_(facility),
      decals_(decals) {
    if (decals_)
        for (DecalOwner* o : {&pool, &redPool, &greenPool}) decals_->Register(o);
    if (!facility_) return;
    quads_ = facility_->GetQuadBatchRenderer();
    haloPass_ = MakeLayerPassSet(facility_, kAdditive);
    haloTexture_ = TextureFactory::Instance().GetByName(SharedString("Halo02.ZKT"), true);
}

LightResources::~LightResources() {
    if (decals_)
        for (DecalOwner* o : {&pool, &redPool, &greenPool}) decals_->Unregister(o);
    if (facility_ && haloPass_) facility_->ReleaseShader(haloPass_);
    delete haloTexture_;
}

QuadRecord* LightResources::MakeHalo(const Vector3& position, uint32_t argb) {
    if (!quads_) return nullptr;
    QuadRecord* q = quads_->CreateQuad();
    q->size = WorldLight::HaloSize;
    q->texture = haloTexture_;
    q->pass = haloPass_;
    q->diffuse = argb;
    const uint32_t flags = 31;
    quads_->SetQuadOffset(q, &position, &flags);
    return q;
}

void LightResources::ReleaseHalo(QuadRecord* quad) {
    if (!quad) return;
    if (quads_) quads_->RemoveQuad(quad);
    delete quad;
}

Matrix4 GroundRotation(const Vector3& normal) {
    Matrix4 m;
    const Vector3 n = normal.LengthSquared() > 1e-12f ? normal.Normalized() : Vector3(0, 1, 0);
    Vector3 p, q;
    OrthonormalBasis(n, p, q);
    // x and z in the ground, y along the normal, keeping the frame's handedness.
    if (Vector3::Dot(Vector3::Cross(p, n), q) < 0.0f) std::swap(p, q);
    const Vector3 rows[3] = {p, n, q};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m.m[i][j] = rows[i][j];
    return m;
}

void LayLightPool(DecalRecord& record, const Vector3& position, const Matrix4& rotation) {
    const float s = 3.0f * (50.0f + RandomFloat(0.0f, 25.0f));
    const Vector3 offsets[4] = {{-s, 0, -s}, {-s, 0, s}, {s, 0, -s}, {s, 0, s}};
    const Vector2 uv[4] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
    for (int i = 0; i < 4; ++i) {
        record.quad.corners[i] = position + rotation.TransformNormal(offsets[i]);
        record.quad.texCoords[i] = uv[i];
    }
    for (float& c : record.quad.colour) c = 1.0f;
}

// -------------------------------------------------------------------------------------------------
// World lights

WorldLight::WorldLight(LightResources& shared, const GameSession& session) : shared_(shared), session_(session) {
    lightmap.owner = &shared_.pool;
}

WorldLight::~WorldLight() {
    for (Halo& h : halos) shared_.ReleaseHalo(h.sprite);
}

void WorldLight::Attach(WorldObject* owner_, const std::vector<Vector3>& lamps) {
    owner = owner_;
    if (!owner) return;
    owner->AddExtension(this);
    const Matrix4 r = owner->PlacedOrientation().ToMatrix();
    for (const Vector3& lamp : lamps) {
        Halo h;
        h.offset = lamp;
        h.sprite = shared_.MakeHalo(owner->PlacedPosition() + r.TransformNormal(lamp), 0xFFFFFFFFu);
        halos.push_back(h);
    }
}

void WorldLight::AddLightmap(const Vector3& position, const Matrix4& rotation) {
    hasLightmap = true;
    if (owner && owner->kind) owner->kind->flags |= WorldObjectKind::CarriesLight;
    LayLightPool(lightmap, position, rotation);
}

void WorldLight::OnVisible() {
    if (dark || session_.lightDetail < 2 || !owner) return;
    const uint32_t fade = owner->fadeAlpha;
    for (Halo& h : halos) {
        if (!h.sprite) continue;
        h.sprite->diffuse = WithAlpha(Color(), fade);
        shared_.Quads()->Submit(h.sprite);
    }
    if (session_.timeOfDay == Night && hasLightmap) {
        lightmap.quad.colour[3] = float(fade) / 255.0f;
        DecalBatch::AddQuad(lightmap);
    }
}

// -------------------------------------------------------------------------------------------------
// Traffic lights

const Color TrafficLight::LampColours[3] = {Color::FromBytes(207, 42, 62, 0), Color::FromBytes(244, 246, 125, 0),
                                            Color::FromBytes(114, 201, 48, 0)};

TrafficLight::TrafficLight(LightResources& shared, const GameSession& session, WorldObject* owner_, RoadNode* node_)
    : owner(owner_), node(node_), shared_(shared), session_(session) {
    redLightmap.owner = &shared_.redPool;
    greenLightmap.owner = &shared_.greenPool;
    Vector3 base;
    if (owner) base = owner->PlacedPosition() + owner->PlacedOrientation().ToMatrix().TransformNormal(Vector3(0, 1.3f, -8.0f));
    const float heights[3] = {5.5f, 0.0f, -5.5f};
    for (int i = 0; i < 3; ++i) {
        lamps[i].colour = LampColours[i];
        lamps[i].sprite = shared_.MakeHalo(base + Vector3(0, heights[i], 0), ToPacked(lamps[i].colour));
    }
    if (owner) owner->AddExtension(this);
    Reset();
}

TrafficLight::~TrafficLight() {
    for (Lamp& l : lamps) shared_.ReleaseHalo(l.sprite);
    // A light that goes while holding its node's links gives them back.
    if (node && !heldLinks.empty() && node->links.empty()) node->links.swap(heldLinks);
}

void TrafficLight::AddLightmaps(const Vector3& position, const Matrix4& rotation) {
    hasLightmaps = true;
    if (owner && owner->kind) owner->kind->flags |= WorldObjectKind::CarriesLight;
    LayLightPool(redLightmap, position, rotation);
    greenLightmap.quad = redLightmap.quad;
}

void TrafficLight::SetState(uint32_t s) {
    state = (state & Knocked) | s;
    if (!node) return;
    if ((s == Green && !heldLinks.empty()) || (s == Amber && heldLinks.empty())) node->links.swap(heldLinks);
}

void TrafficLight::Reset() {
    state = Red;
    if (node && heldLinks.empty()) node->links.swap(heldLinks);
}

void TrafficLight::Update(float dt) {
    float b[3];
    for (int i = 0; i < 3; ++i) {
        b[i] = Brightness(i);
        b[i] = (state & (1u << i)) ? std::min(b[i] + 4.0f * dt, 1.0f) : std::max(b[i] - dt, 0.0f);
        lamps[i].colour.a = uint8_t(std::lround(255.0f * b[i]));
    }
    // Amber lights both pools, which read as yellow together.
    redBrightness = std::min(b[0] + b[1], 1.0f);
    greenBrightness = std::min(b[2] + b[1], 1.0f);
}

void TrafficLight::OnVisible() {
    if ((state & Knocked) || session_.lightDetail == 0 || !owner) return;
    const uint32_t fade = owner->fadeAlpha;
    for (Lamp& l : lamps) {
        if (!l.sprite) continue;
        // The lamp's brightness, faded with the post.
        l.sprite->diffuse = WithAlpha(l.colour, (uint32_t(l.colour.a) * fade + 127) / 255);
        shared_.Quads()->Submit(l.sprite);
    }
    if (session_.timeOfDay == Night && hasLightmaps) {
        if (redBrightness != 0.0f) DecalBatch::AddQuad(redLightmap);
        if (greenBrightness != 0.0f) DecalBatch::AddQuad(greenLightmap);
    }
}

// -------------------------------------------------------------------------------------------------
// Controllers

TrafficLightController::TrafficLightController(std::vector<std::vector<std::unique_ptr<TrafficLight>>> groups_)
    : groups(std::move(groups_)) {
    Reset();
}

void TrafficLightController::Reset() {
    timer = 0.0f;
    current = 0;
    for (auto& group : groups)
        for (auto& light : group) light->Reset();
}

void TrafficLightController::Update(float dt, const Camera*) {
    if (groups.empty()) return;
    timer += dt;
    if (timer >= GreenTime) {
        const int32_t next = (current + 1) % int32_t(groups.size());
        if (timer < AmberStart) {
            for (auto& light : groups[size_t(current)]) light->SetState(TrafficLight::Amber);
            timer += AmberStart - GreenTime;
        } else if (timer > AmberEnd) {
            for (auto& light : groups[size_t(current)]) light->SetState(TrafficLight::Red);
            for (auto& light : groups[size_t(next)]) light->SetState(TrafficLight::Green);
            timer = 0.0f;
            current = next;
        }
    }
    for (auto& group : groups)
        for (auto& light : group) light->Update(dt);
}
