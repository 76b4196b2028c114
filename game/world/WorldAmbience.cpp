#include "game/world/WorldAmbience.h"

#include <array>
#include <memory>

#include "engine/render/MeshFactory.h"
#include "game/world/AmbientSound.h"
#include "game/world/PathObject.h"
#include "game/world/Sky.h"
#include "game/world/World.h"
#include "game/world/WorldLights.h"

namespace {

// The eight surface hit sounds, made when the first object claims one and shared by every
// object that carries them; they live as long as the world's factories.
struct HitSounds {
    std::array<std::unique_ptr<SoundSample>, 8> samples;
    bool made = false;
};

// The lights' shared resources, made by the first light of the world.
struct SharedLights {
    std::unique_ptr<LightResources> resources;
    LightResources& For(World& w) {
        if (!resources) resources = std::make_unique<LightResources>(w.Renderer(), w.decals.get());
        return *resources;
    }
};

const GroundProbe* FirstHit(const std::vector<GroundProbe>& probes) {
    for (const GroundProbe& p : probes)
        if (p.hit) return &p;
    return nullptr;
}

} // namespace

void RegisterWorldAmbience(World& world) {
    WorldRecordFactories& f = world.factories;
    f.sky = [](World& w, const SkyRecord& r) -> WorldRecordFactories::Feature {
        auto sky = std::make_unique<Sky>(w.engine.renderer, r.folder, r.colour);
        sky->hasFlarePoint = r.hasFlarePoint;
        sky->flarePoint = r.flarePoint;
        return sky;
    };
    auto hits = std::make_shared<HitSounds>();
    f.hitSound = [hits](World& w, const HitSoundRecord& r) {
        if (!r.object || r.sound < 0 || r.sound >= int32_t(hits->samples.size())) return;
        if (!hits->made) {
            hits->made = true;
            for (size_t i = 0; i < hits->samples.size(); ++i)
                hits->samples[i] = std::make_unique<SoundSample>(w.engine, SharedString(World::SurfaceSoundNames[i]), &w.session);
        }
        r.object->AddExtension(hits->samples[size_t(r.sound)].get());
    };
    auto lights = std::make_shared<SharedLights>();
    f.light = [lights](World& w, const WorldLightRecord& r) -> WorldRecordFactories::Feature {
        auto light = std::make_unique<WorldLight>(lights->For(w), w.session);
        light->Attach(r.object, r.lamps);
        if (const GroundProbe* g = FirstHit(r.ground)) light->AddLightmap(g->point, GroundRotation(g->normal));
        return light;
    };
    f.trafficLights = [lights](World& w, const TrafficLightControllerRecord& r) -> WorldRecordFactories::Feature {
        std::vector<std::vector<std::unique_ptr<TrafficLight>>> groups;
        for (const auto& group : r.groups) {
            groups.emplace_back();
            for (const TrafficLightRecord& l : group) {
                auto light = std::make_unique<TrafficLight>(lights->For(w), w.session, l.object, l.node);
                if (l.ground.hit) light->AddLightmaps(l.ground.point, GroundRotation(l.ground.normal));
                groups.back().push_back(std::move(light));
            }
        }
        return std::make_unique<TrafficLightController>(std::move(groups));
    };
    f.emitter = [](World& w, const EmitterRecord& r) -> WorldRecordFactories::Feature {
        auto e = std::make_unique<AmbientSoundEmitter>(w.engine.sound, w.session);
        e->position = r.position;
        e->minDistance = r.minDistance;
        e->radius = r.radius;
        e->timeOfDayMask = r.timeOfDayMask;
        e->Load(r.name);
        return e;
    };
    f.pathObject = [](World& w, const PathObjectRecord& r) -> WorldRecordFactories::Feature {
        D3D8Mesh* model = MeshFactory::Instance().GetByName(r.model, true);
        auto p = std::make_unique<PathObject>(w.graphs.path.get(), r.route, model, w.engine.renderer);
        if (r.inTree) w.Add(p.get());
        return p;
    };
}
