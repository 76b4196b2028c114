#include "game/world/World.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8GeomRenderer.h"
#include "engine/render/QuadBatchRenderer.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/TextureTypes.h"
#include "game/world/DamageReceiver.h"
#include "game/world/ShardEffect.h"
#include "game/world/WorldAmbience.h"
#include "game/world/WorldEffects.h"
#include "game/world/WorldFileReader.h"
#include "platform/sys/Random.h"

const char* const World::SurfaceSoundNames[8] = {"Hit_Wood.WAV",  "Hit_Phone.WAV",   "Hit_Light.WAV", "Hit_Park.WAV",
                                                 "Hit_Metal.WAV", "Hit_Traffic.WAV", "Hit_Leafs.WAV", "Hit_Cone.WAV"};
const char* const World::SkyFolders[4] = {"Textures\\Morning", "Textures\\Afternoon", "Textures\\Evening",
                                          "Textures\\Night"};

World::World(GameSession& session_, const EngineServices& engine_)
    : session(session_), engine(engine_), renderer_(engine_.renderer) {
    static const Color skyColours[4] = {Color::FromBytes(188, 148, 148, 255), Color::FromBytes(145, 183, 219, 255),
                                        Color::FromBytes(62, 83, 83, 255), Color::FromBytes(0, 0, 0, 255)};
    for (int i = 0; i < 4; ++i) {
        skies[size_t(i)].timeOfDay = i;
        skies[size_t(i)].folder = SharedString(SkyFolders[i]);
        skies[size_t(i)].colour = skyColours[i];
    }
    ReadCssFiles();
    physics.SetGravity(Vector3(0.0f, Gravity, 0.0f));
    DamageTable::Global().Reset();
    staticGeometry = std::make_unique<StaticGeometryRenderer>(renderer_, &session);
    objects = std::make_unique<WorldObjectManager>(physics, *this, renderer_);
    objects->session = &session;
    boundary = std::make_unique<BoundaryPlane>(session);
    decals = std::make_unique<DecalRenderer>(renderer_);
    staticSurface.slip = 0.25f;
    RegisterWorldAmbience(*this);
}

World::~World() {
    for (auto& f : skyFeatures) f.reset();
    pathObjects.clear();
    emitters.clear();
    crates.clear();
    lights.clear();
    trafficLightControllers.clear();
    // The factories keep what their features share (the hit sounds, the lights' resources,
    // whose pools are registered with the decals).
    factories = {};
    decals.reset();
    if (ownsShardBuffer_) ShardEffect::SetRenderer(nullptr);
    objects.reset();
    if (boundary) {
        boundary->KillPlane().RemoveFromWorld(physics);
        boundary->RemoveFromWorld(physics);
        boundary.reset();
    }
    staticGeometry.reset();
    textures.clear();
}

void World::ReadCssFiles() {
    for (int i = 0; i < 4; ++i) {
        SkyRecord& sky = skies[size_t(i)];
        sky.hasFlarePoint = false;
        char path[32];
        std::snprintf(path, sizeof(path), "Misc\\%d.CSS", i);
        if (!FileExists(SharedString(path))) continue;
        FileReader in{SharedString(path)};
        uint32_t version = 0;
        // Magic, version and the three floats of the point: 19 bytes at least.
        Vector3 point;
        bool whole = in.Length() >= 19 && in.CheckZK2Header(version) == 0;
        if (whole) {
            point.x = in.ReadFloat();
            point.y = in.ReadFloat();
            point.z = in.ReadFloat();
            whole = !in.Failed() && std::isfinite(point.x) && std::isfinite(point.y) && std::isfinite(point.z);
        }
        if (!whole) {
            Debugger::Instance().Message("WORLD: %s is damaged; that sky has no sun flare", path);
            continue;
        }
        sky.flarePoint = point;
        sky.hasFlarePoint = true;
    }
}

void World::Reset() {
    for (int32_t i = 0; i < objects->ObjectCount(); ++i) {
        WorldObject& o = objects->Object(i);
        if (o.kind) o.Update();
    }
    for (DropPoint& d : dropPoints) d.Init();
    for (auto& c : trafficLightControllers)
        if (c) c->Reset();
    timeScale = 1.0f;
}

int32_t World::PickDropPoint(int32_t group, const Vector3& from, float minDistanceSquared) {
    dropPointCandidates_.clear();
    for (size_t i = 0; i < dropPoints.size(); ++i) {
        const DropPoint& d = dropPoints[i];
        const float dx = d.position.x - from.x, dz = d.position.z - from.z;
        const bool farEnough = dx * dx + dz * dz > minDistanceSquared;
        for (uint32_t g : d.variants) {
            if (group != 0 && int64_t(g) != int64_t(group)) continue;
            if (!farEnough) break;
            dropPointCandidates_.push_back(int32_t(i));
        }
    }
    if (dropPointCandidates_.empty()) return 0;
    return dropPointCandidates_[size_t(plat::EngineRand()) % dropPointCandidates_.size()];
}

void World::Update(const Camera* camera, float dt) {
    frameTime_ = dt;
    for (auto& c : trafficLightControllers)
        if (c) c->Update(dt, camera);
    // The sub-step count comes from the frame time; the world's own time scale only scales
    // each step's size.
    physics.Simulate(dt, session.physicsRate, timeScale);
    ObjectQuadTree::Update(camera, dt);
    world_detail::DecalsBeginFrame(decals.get(), camera, dt);
    if (boundary) boundary->ApplyContactDamage();
    world_detail::UpdateParticles(camera, dt);
    for (auto& e : emitters)
        if (e) e->Update(dt, camera);
}

void World::Draw(Camera& camera) {
    const size_t sky = size_t(std::clamp(session.timeOfDay, 0, 3));
    if (skyFeatures[sky]) skyFeatures[sky]->Draw(camera);
    staticGeometry->Draw(camera);
    objects->DrawOpaque(camera);
    ObjectQuadTree::DrawOpaque(camera);
    if (traffic) traffic->Draw(*this, camera);
    if (pedestrians) pedestrians->Draw(*this, camera);
    if (boundary) world_detail::DrawStaticDecals(decals.get(), boundary->staticDecals, camera);
    FlushQuads(camera);
    objects->DrawTransparent(camera, frameTime_);
    ObjectQuadTree::DrawTransparent(camera);
    world_detail::DecalsDraw(decals.get(), camera);
    world_detail::DrawParticles(camera);
    for (Drawable* d : drawables)
        if (d) d->Draw(camera);
    DrawDebug();
}

void World::DrawDebug() {
    D3D8GeomRenderer* lines = renderer_ ? renderer_->GetGeomRenderer() : nullptr;
    if (!lines) return;
    if (showNodes) {
        const size_t episode = size_t(std::clamp(session.episode, 0, 3));
        for (const RoadGraph* g : {graphs.traffic.get(), graphs.pedestrian.get(), &roads, graphs.episodes[episode].get()})
            if (g) g->DebugDraw(*lines);
    }
    if (showSounds)
        for (const EmitterRecord& e : records.emitters) {
            const Vector3 p = e.position, up = p + Vector3(0.0f, 10.0f, 0.0f);
            lines->DrawLine(p, p + Vector3(0.0f, 0.0f, e.minDistance), nullptr);
            lines->DrawLine(p, p + Vector3(e.minDistance, 0.0f, 0.0f), nullptr);
            lines->DrawLine(up, p + Vector3(0.0f, 0.0f, e.radius), nullptr);
            lines->DrawLine(up, p + Vector3(e.radius, 0.0f, 0.0f), nullptr);
        }
}

void World::BeginFrame(Camera& camera) { objects->BeginFrame(&camera); }

void World::Cull(Camera& camera) {
    ObjectQuadTree::Cull(static_cast<const Camera&>(camera));
    staticGeometry->BeginFrame(camera);
}

void World::FlushQuads(const Camera& camera) {
    if (QuadBatchRenderer* quads = renderer_ ? renderer_->GetQuadBatchRenderer() : nullptr) quads->Flush(&camera);
}

void World::DrawLayers(Camera& camera, int32_t level) {
    const size_t sky = size_t(std::clamp(session.timeOfDay, 0, 3));
    if (skyFeatures[sky]) skyFeatures[sky]->Draw(camera);
    if (level > 0) {
        staticGeometry->Draw(camera);
        objects->DrawOpaque(camera);
    }
    if (level > 1) {
        ObjectQuadTree::DrawOpaque(camera);
        if (traffic) traffic->Draw(*this, camera);
        if (pedestrians) pedestrians->Draw(*this, camera);
        FlushQuads(camera);
    }
    if (level > 0) objects->DrawTransparent(camera, frameTime_);
    if (level > 1) ObjectQuadTree::DrawTransparent(camera);
}
