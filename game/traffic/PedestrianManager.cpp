#include "game/traffic/PedestrianManager.h"

#include <cmath>

#include "engine/core/Debugger.h"
#include "game/traffic/SpecialPedestrians.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

int32_t RandomBelow(int32_t count) { return count > 0 ? plat::EngineRand() % count : 0; }

template <class Kind>
std::unique_ptr<Pedestrian> Make(PedestrianType& type, PedestrianSite& site) {
    return std::make_unique<Kind>(type, site);
}

}  // namespace

PedestrianCrowd& PedestrianManager::Crowd() {
    static PedestrianCrowd crowd;
    return crowd;
}

void PedestrianManager::ReleaseCrowd() {
    PedestrianCrowd& crowd = Crowd();
    crowd.free.clear();
    crowd.active.clear();
    crowd.pool.clear();
    crowd.mobs.clear();
    crowd.shows.clear();
    crowd.gunmen.clear();
    crowd.types.clear();
    crowd.site.reset();
    crowd.owner = nullptr;
}

bool PedestrianManager::IsHumanPlayer(const Vehicle& car) {
    return (car.network.flagWord & VehicleNetwork::PlayerCarFlag) != 0;
}

void PedestrianManager::SetEvents(StreetEvents* events) {
    PedestrianCrowd& crowd = Crowd();
    if (crowd.site && crowd.owner == this) crowd.site->events = events;
}

PedestrianManager::PedestrianManager(World& world, VehicleContext* vehicles, StreetEvents* events) : world_(world) {
    PedestrianCrowd& crowd = Crowd();
    Debugger::Instance().Log(3, "PEDS 1");
    if (crowd.types.empty()) crowd.types = LoadPedestrianTypes(world.engine);
    Debugger::Instance().Log(3, "PEDS 2");
    if (!crowd.site) crowd.site = std::make_unique<PedestrianSite>();
    crowd.site->world = &world;
    crowd.site->vehicles = vehicles;
    crowd.site->events = events;
    crowd.owner = this;
    if (!crowd.types.empty() && crowd.pool.empty()) {
        std::vector<PedestrianType*> ordinary;
        for (const auto& t : crowd.types)
            if (t->IsOrdinary()) ordinary.push_back(t.get());
        for (int32_t i = 0; i < kPoolSize; ++i) {
            PedestrianType* type = ordinary.empty() ? crowd.types[size_t(i) % crowd.types.size()].get()
                                                    : ordinary[size_t(RandomBelow(int32_t(ordinary.size())))];
            crowd.pool.push_back(std::make_unique<Pedestrian>(*type, *crowd.site));
            crowd.free.push_back(crowd.pool.back().get());
        }
    }
    Debugger::Instance().Log(3, "PEDS 3");
    circles_.reserve(16);
    spawnNodes_.reserve(256);
    playerPoints_.reserve(16);
    for (const PedestrianSpotRecord& r : world.records.pedestrianSpots) {
        if (r.typeFlag == PedestrianType::kGunman) gunmanSpots_.push_back(SpecialSpot{r.position, nullptr});
        else if (r.typeFlag == PedestrianType::kMob) mobSpots_.push_back(SpecialSpot{r.position, nullptr});
        else if (r.typeFlag == PedestrianType::kShow) showSpots_.push_back(SpecialSpot{r.position, nullptr});
    }
}

PedestrianManager::~PedestrianManager() {
    Reset();
    PedestrianCrowd& crowd = Crowd();
    if (crowd.site && crowd.owner == this) {
        crowd.owner = nullptr;
        // The bodies belong to this world's physics.
        crowd.site->freeBodies.clear();
        crowd.site->bodies.clear();
        crowd.site->world = nullptr;
        crowd.site->vehicles = nullptr;
        crowd.site->events = nullptr;
    }
}

void PedestrianManager::Init() {
    Debugger::Instance().Log(3, "PEDS INIT 1");
    PedestrianCrowd& crowd = Crowd();
    auto fill = [&](std::vector<PedestrianType*>& list, uint8_t flag) {
        if (!list.empty()) return;
        for (const auto& t : crowd.types)
            if (t->flags & flag) list.push_back(t.get());
    };
    fill(crowd.mobs, PedestrianType::kMob);
    fill(crowd.shows, PedestrianType::kShow);
    fill(crowd.gunmen, PedestrianType::kGunman);
    Debugger::Instance().Log(3, "PEDS INIT 7");
}

void PedestrianManager::Reset() {
    PedestrianCrowd& crowd = Crowd();
    while (!crowd.active.empty()) RecyclePedestrian(0);
    for (SpecialSpot& s : gunmanSpots_) RemoveSpecial(s, freeGunmen_);
    for (SpecialSpot& s : mobSpots_) RemoveSpecial(s, freeMobs_);
    for (SpecialSpot& s : showSpots_) RemoveSpecial(s, freeShows_);
    for (const auto& t : crowd.types) t->drawList.clear();
}

void PedestrianManager::RecyclePedestrian(size_t index) {
    PedestrianCrowd& crowd = Crowd();
    if (index >= crowd.active.size()) return;
    Pedestrian* p = crowd.active[index];
    world_.Remove(p);
    world_.physics.RemoveObject(p);
    crowd.active.erase(crowd.active.begin() + std::ptrdiff_t(index));
    crowd.free.push_back(p);
}

void PedestrianManager::Update() {
    circles_.clear();
    playerPoints_.clear();
    PedestrianCrowd& crowd = Crowd();
    if (crowd.site && crowd.site->vehicles) {
        for (Vehicle* car : crowd.site->vehicles->vehicles) {
            if (!car) continue;
            if (IsHumanPlayer(*car)) playerPoints_.push_back(car->GetPosition());
            SpawnCircle c;
            c.centre = car->GetPosition() + car->GetLinearVelocity() * 0.5f;
            c.outerSquared = IsHumanPlayer(*car) ? kSpawnOuterSquared : 0.0f;
            c.innerSquared = kSpawnInnerSquared;
            circles_.push_back(c);
        }
    }
    Populate(circles_);
    if (crowd.site && crowd.owner == this) {
        PlaceSpecialPedestrians(mobSpots_, freeMobs_, crowd.mobs, playerPoints_, kSpecialRadiusSquared, &Make<RocketThrower>);
        PlaceSpecialPedestrians(showSpots_, freeShows_, crowd.shows, playerPoints_, kSpecialRadiusSquared, &Make<ShowPedestrian>);
        PlaceSpecialPedestrians(gunmanSpots_, freeGunmen_, crowd.gunmen, playerPoints_, kSpecialRadiusSquared, &Make<Gunman>);
    }
}

void PedestrianManager::RemoveSpecial(SpecialSpot& spot, std::vector<Pedestrian*>& free) {
    if (!spot.pedestrian) return;
    world_.Remove(spot.pedestrian);
    world_.physics.RemoveObject(spot.pedestrian);
    free.push_back(spot.pedestrian);
    spot.pedestrian = nullptr;
}

void PedestrianManager::PlaceSpecialPedestrians(std::vector<SpecialSpot>& spots, std::vector<Pedestrian*>& free,
                                                const std::vector<PedestrianType*>& category,
                                                const std::vector<Vector3>& points, float radiusSquared,
                                                SpecialMaker make) {
    PedestrianCrowd& crowd = Crowd();
    for (SpecialSpot& spot : spots) {
        bool near = false;
        for (const Vector3& p : points) near = near || (spot.position - p).LengthSquared() < radiusSquared;
        if (!near) {
            RemoveSpecial(spot, free);
            continue;
        }
        if (spot.pedestrian) continue;
        Pedestrian* p = nullptr;
        if (!free.empty()) {
            p = free.front();
            free.erase(free.begin());
        } else {
            if (category.empty() || !crowd.site) return;
            specialPool_.push_back(make(*category[size_t(RandomBelow(int32_t(category.size())))], *crowd.site));
            p = specialPool_.back().get();
        }
        p->previousNode = p->targetNode = nullptr;
        world_.physics.AddObject(p);
        world_.Add(p);
        const float angle = RandomFloat(0.0f, 6.2831853f);
        p->facing = Vector3(std::sin(angle), 0.0f, -std::cos(angle));
        p->SetOrientation(Quaternion(Vector3(0.0f, 1.0f, 0.0f), -angle));
        p->SetPosition(spot.position + Vector3(0.0f, 10.0f, 0.0f));
        spot.pedestrian = p;
    }
}

void PedestrianManager::Populate(const std::vector<SpawnCircle>& circles) {
    PedestrianCrowd& crowd = Crowd();
    for (size_t i = crowd.active.size(); i-- > 0;) {
        const Vector3 at = crowd.active[i]->GetPosition();
        bool near = false;
        for (const SpawnCircle& c : circles) {
            const float dx = at.x - c.centre.x, dy = at.y - c.centre.y, dz = at.z - c.centre.z;
            if (dx * dx + dy * dy + dz * dz < kDespawnSquared) near = true;
        }
        if (!near) RecyclePedestrian(i);
    }
    if (!((1.0f - density) * float(kPoolSize) < float(crowd.free.size()))) return;
    RoadGraph* graph = world_.graphs.pedestrian.get();
    if (!graph) return;
    graph->FindSpawnNodes(circles, spawnNodes_);
    if (spawnNodes_.empty()) return;
    RoadNode& node = graph->nodes[size_t(spawnNodes_[size_t(RandomBelow(int32_t(spawnNodes_.size())))])];
    if (node.links.empty() || !node.links[0]) return;
    const size_t pick = size_t(RandomBelow(int32_t(crowd.free.size())));
    Pedestrian* p = crowd.free[pick];
    p->state = Pedestrian::Walking;
    p->previousNode = &node;
    p->targetNode = node.links[0];
    p->sideOffset = RandomFloat(5.0f, 20.0f);
    world_.physics.AddObject(p);
    world_.Add(p);
    p->ResumeWalking();
    crowd.free.erase(crowd.free.begin() + std::ptrdiff_t(pick));
    crowd.active.push_back(p);
}

void PedestrianManager::Draw(World& world, const Camera& camera) {
    for (const auto& t : Crowd().types) {
        for (Pedestrian* p : t->drawList) p->Draw(world, camera);
        t->drawList.clear();
    }
}
