#include "game/traffic/PedestrianController.h"

#include "game/traffic/CurrencyPedestrian.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

int32_t RandomBelow(size_t count) { return count > 0 ? int32_t(size_t(plat::EngineRand()) % count) : 0; }

}  // namespace

PedestrianController::PedestrianController(World& world, VehicleContext* vehicles, StreetEvents* events)
    : PedestrianManager(world, vehicles, events) {
    nodes_.reserve(256);
}

PedestrianController::~PedestrianController() { Reset(); }

void PedestrianController::Init() {
    PedestrianCrowd& crowd = Crowd();
    if (currency.empty() && !crowd.types.empty() && crowd.site && !GetWorld().dropPoints.empty()) {
        std::vector<PedestrianType*> ordinary;
        for (const auto& t : crowd.types)
            if (t->IsOrdinary()) ordinary.push_back(t.get());
        for (int32_t i = 0; i < kCurrencyCount; ++i) {
            PedestrianType* type = ordinary.empty() ? crowd.types[size_t(i) % crowd.types.size()].get()
                                                    : ordinary[size_t(RandomBelow(ordinary.size()))];
            currency.push_back(std::make_unique<LocalCurrencyPedestrian>(*type, *crowd.site));
            free.push_back(currency.back().get());
        }
    }
    PedestrianManager::Init();
}

void PedestrianController::Recycle(size_t index) {
    World& world = GetWorld();
    LocalCurrencyPedestrian* p = active[index];
    p->LeaveCabQuietly();
    world.Remove(p);
    world.physics.RemoveObject(p);
    active.erase(active.begin() + std::ptrdiff_t(index));
    free.push_back(p);
}

void PedestrianController::Reset() {
    PedestrianManager::Reset();
    while (!active.empty()) Recycle(0);
}

void PedestrianController::Update() {
    PedestrianManager::Update();
    const std::vector<SpawnCircle>& circles = Circles();
    for (size_t i = active.size(); i-- > 0;) {
        const Vector3 at = active[i]->GetPosition();
        bool near = false;
        for (const SpawnCircle& c : circles)
            if ((at - c.centre).LengthSquared() < kDespawnSquared) near = true;
        // A rider goes where its car goes; only the car's leaving the game drops it.
        if (!near && !active[i]->cab) Recycle(i);
    }
    if (free.empty()) return;
    World& world = GetWorld();
    RoadGraph* graph = world.graphs.pedestrian.get();
    if (!graph) return;
    graph->FindSpawnNodes(circles, nodes_);
    if (nodes_.empty()) return;
    RoadNode& node = graph->nodes[size_t(nodes_[size_t(RandomBelow(nodes_.size()))])];
    if (node.links.empty() || !node.links[0]) return;
    // The mission's drop-point group, counted from 1 (0: every drop point).
    const int32_t group = world.session.missionVariant + 1;
    const int32_t destination = world.PickDropPoint(group, node.position, kMinTripSquared);
    const size_t pick = size_t(RandomBelow(free.size()));
    LocalCurrencyPedestrian* p = free[pick];
    p->state = Pedestrian::Walking;
    p->previousNode = &node;
    p->targetNode = node.links[0];
    p->sideOffset = RandomFloat(5.0f, 20.0f);
    p->SetDestination(destination);
    world.physics.AddObject(p);
    world.Add(p);
    p->ResumeWalking();
    free.erase(free.begin() + std::ptrdiff_t(pick));
    active.push_back(p);
}
