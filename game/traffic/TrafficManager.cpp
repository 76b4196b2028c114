#include "game/traffic/TrafficManager.h"

#include <cstring>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/core/Memory.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/traffic/StreetEvents.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/DrivingRules.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

#include "game/traffic/OpponentDriver.h"

namespace {

uint32_t RandomBelow(size_t count) { return count > 0 ? uint32_t(plat::EngineRand()) % uint32_t(count) : 0u; }

void PutU32(uint8_t* at, uint32_t v) {
    at[0] = uint8_t(v);
    at[1] = uint8_t(v >> 8);
    at[2] = uint8_t(v >> 16);
    at[3] = uint8_t(v >> 24);
}
uint32_t GetU32(const uint8_t* at) {
    return uint32_t(at[0]) | uint32_t(at[1]) << 8 | uint32_t(at[2]) << 16 | uint32_t(at[3]) << 24;
}

bool IsPlayer(const Vehicle& car) { return (car.network.flagWord & VehicleNetwork::PlayerCarFlag) != 0; }

}  // namespace

// ---------------------------------------------------------------------------------------------
// Channel 118

size_t TrafficManager::Encode(const Message& m, uint8_t* out) {
    const size_t size = m.kind == Message::Spawn ? kSpawnSize : kDespawnSize;
    std::memset(out, 0, size);
    out[0] = kChannel;
    PutU32(out + 4, m.kind);
    PutU32(out + 8, m.index);
    if (m.kind == Message::Spawn) PutU32(out + 12, m.pool);
    return size;
}

bool TrafficManager::Decode(const uint8_t* payload, int32_t size, Message& out) {
    // The payload starts one byte into the frame: the words stand at 3, 7 and 11.
    if (!payload || size < 7) return false;
    const uint32_t kind = GetU32(payload + 3);
    if (kind == Message::Spawn && size == int32_t(kSpawnSize) - 1) {
        out = Message{Message::Spawn, GetU32(payload + 7), GetU32(payload + 11)};
        return true;
    }
    if (kind == Message::Despawn && size == int32_t(kDespawnSize) - 1) {
        out = Message{Message::Despawn, GetU32(payload + 7), 0};
        return true;
    }
    return false;
}

void TrafficManager::Receive(const uint8_t* payload, int32_t size) {
    Message m;
    if (!Decode(payload, size, m)) {
        Debugger::Instance().Message("TRAFFIC: dropped a malformed message of %d bytes", size + 1);
        return;
    }
    if (m.kind == Message::Spawn) Spawn(m);
    else Despawn(m.index);
}

void TrafficManager::Receive(int32_t, const uint8_t*, int32_t) {}

void TrafficManager::Send(const Message& m) {
    ready = 0;
    if (ZKServer* server = vehicles_.server) {
        uint8_t frame[kSpawnSize];
        const size_t size = Encode(m, frame);
        if (server->SendTo(frame, uint32_t(size), -1, 0.0f, false, true, true) != 0) ready = 1;  // nothing went out
        return;
    }
    if (m.kind == Message::Spawn) Spawn(m);
    else Despawn(m.index);
}

// ---------------------------------------------------------------------------------------------

TrafficManager::TrafficManager(World& world, VehicleContext& vehicles, TrafficFleet& fleet_)
    : ClientChannel(kChannel), ServerChannel(kChannel), fleet(fleet_), world_(world), vehicles_(vehicles) {
    LogMemoryReport(SharedString("TRAFFIC 1"));
    if (!fleet.typesLoaded) {
        fleet.typesLoaded = true;
        fleet.types = LoadTrafficCarTypes();
    }
    LogMemoryReport(SharedString("TRAFFIC 2"));
    fleet.world = &world;
    fleet.vehicles = &vehicles;
    fleet.events = vehicles.rules ? dynamic_cast<StreetEvents*>(vehicles.rules) : nullptr;
    if (fleet.cars.empty()) {
        std::vector<TrafficCarType*> usable;
        for (const auto& t : fleet.types)
            if (t->Usable()) usable.push_back(t.get());
        if (!usable.empty()) {
            fleet.cars.reserve(TrafficFleet::kCarCount);
            fleet.pool.reserve(TrafficFleet::kCarCount);
            fleet.active.reserve(TrafficFleet::kCarCount);
            for (int32_t i = 0; i < TrafficFleet::kCarCount; ++i) {
                fleet.cars.push_back(std::make_unique<TrafficCar>(*usable[size_t(i) % usable.size()], fleet));
                fleet.pool.push_back(fleet.cars.back().get());
            }
        }
        if (AudioDevice* sound = world.engine.sound; sound && fleet.horns.empty()) {
            for (const SharedString& file : ListFiles(SharedString("Audio\\Traffic\\Horn*.WAV"), true)) {
                AudioVoice* horn = sound->CreateSound(SharedString::Format("Audio\\Traffic\\%s", file.c_str()), true);
                if (!horn) continue;
                horn->SetDistances(50.0f, 500.0f);
                fleet.horns.push_back(horn);
            }
        }
    }
    LogMemoryReport(SharedString("TRAFFIC 3"));
    vehicles.explosionObserver = this;
    circles.reserve(16);
    spawnNodes.reserve(1024);
}

TrafficManager::~TrafficManager() {
    Reset();
    if (vehicles_.explosionObserver == this) vehicles_.explosionObserver = nullptr;
}

void TrafficManager::PlaceParkedCars() {
    const GameSession& session = world_.session;
    for (const PlacementRecord& record : world_.placements.parkedCars()) {
        if (record.mission != session.mission || record.episode != session.episode) continue;
        const CarDefinition* definition = CarCatalogue::Instance().FindByName(record.name);
        if (!definition) {
            Debugger::Instance().Log(0, "CAR %s NOT FOUND!!", record.name.c_str());
            continue;
        }
        std::unique_ptr<Vehicle> car = Vehicle::Create(vehicles_, definition);
        if (!car) continue;
        Vehicle* placed = car.get();
        owned_.push_back(std::move(car));
        placedVehicles.push_back(placed);
        world_.physics.AddObject(placed);
        world_.Add(placed);
        placed->Respawn(false);
        placed->SetOrientation(record.orientation);
        placed->SetPosition(record.position + Vector3(0.0f, kPlacedLift, 0.0f));
    }
    opponentRequested = 0;
    ready = 1;
}

void TrafficManager::Forget(Vehicle* car) {
    world_.Remove(car);
    if (car->InPhysics()) world_.physics.RemoveObject(car);
    for (auto it = owned_.begin(); it != owned_.end(); ++it)
        if (it->get() == car) {
            owned_.erase(it);
            break;
        }
}

void TrafficManager::Reset() {
    // Locally: a reset on the host must not tell the others.
    ZKClient* client = vehicles_.client;
    ZKServer* server = vehicles_.server;
    vehicles_.client = nullptr;
    vehicles_.server = nullptr;
    while (!fleet.active.empty()) Despawn(0);
    while (!placedVehicles.empty()) {
        Forget(placedVehicles.front());
        placedVehicles.erase(placedVehicles.begin());
    }
    while (!opponents.empty()) RemoveOpponent(0);
    for (const auto& t : fleet.types) t->drawList.clear();
    fleet.wrecked.clear();
    opponentRequested = 0;
    opponentTarget = nullptr;
    vehicles_.client = client;
    vehicles_.server = server;
}

bool TrafficManager::NearAPlayer(const Vector3& at) const {
    for (const SpawnCircle& c : circles) {
        if (c.outerSquared <= 0.0f) continue;  // not a player's: keeps nothing alive
        if ((at - c.centre).LengthSquared() < kDespawnSquared) return true;
    }
    return false;
}

void TrafficManager::Update() {
    if (vehicles_.client && !vehicles_.server) return;
    if (!ready) return;
    circles.clear();
    for (Vehicle* car : vehicles_.vehicles) {
        if (!car) continue;
        SpawnCircle c;
        c.centre = car->GetPosition() + car->GetLinearVelocity() * 0.5f;
        c.outerSquared = IsPlayer(*car) ? kSpawnSquared : 0.0f;
        c.innerSquared = kInnerSquared;
        circles.push_back(c);
    }
    if (opponentRequested) SpawnOpponent(opponentTarget, nullptr);
    for (size_t i = opponents.size(); i-- > 0;)
        if (!NearAPlayer(opponents[i]->GetPosition())) RemoveOpponent(int32_t(i));

    for (size_t i = 0; i < fleet.active.size(); ++i) {
        if (NearAPlayer(fleet.active[i]->GetPosition())) continue;
        Send(Message{Message::Despawn, uint32_t(i), 0});
        return;
    }
    const size_t free = fleet.pool.size();
    if (!((1.0f - density) * float(TrafficFleet::kCarCount) < float(free))) return;
    RoadGraph* graph = world_.graphs.traffic.get();
    if (!graph) return;
    graph->FindSpawnNodes(circles, spawnNodes);
    if (spawnNodes.empty()) return;
    const int32_t node = spawnNodes[RandomBelow(spawnNodes.size())];
    Send(Message{Message::Spawn, uint32_t(node), RandomBelow(free)});
}

void TrafficManager::Spawn(const Message& m) {
    RoadGraph* graph = world_.graphs.traffic.get();
    if (!graph || m.index >= uint32_t(graph->Count()) || m.pool >= fleet.pool.size()) {
        Debugger::Instance().Message("TRAFFIC: spawn of car %u at node %u refused (%zu free, %d nodes)", m.pool, m.index,
                                     fleet.pool.size(), graph ? graph->Count() : 0);
        return;
    }
    RoadNode& node = graph->nodes[m.index];
    TrafficCar* car = fleet.pool[m.pool];
    // A one-touch game makes every car fragile; any other gives it back its full health.
    car->maxHealth = world_.session.gameType == 10 ? 0.1f : TrafficCar::kMaxHealth;
    car->health = car->maxHealth;
    car->state = TrafficCar::Driving;
    car->currentNode = &node;
    car->nextNode = node.links.empty() || !node.links[0] ? &node : node.links[0];
    world_.physics.AddObject(car);
    world_.Add(car);
    fleet.pool.erase(fleet.pool.begin() + std::ptrdiff_t(m.pool));
    fleet.active.push_back(car);
    ready = 1;
}

void TrafficManager::Despawn(uint32_t index) {
    if (index >= fleet.active.size()) {
        Debugger::Instance().Message("TRAFFIC: despawn of car %u refused (%zu active)", index, fleet.active.size());
        return;
    }
    TrafficCar* car = fleet.active[index];
    world_.Remove(car);
    world_.physics.RemoveObject(car);
    car->state = TrafficCar::Idle;
    for (const auto& t : fleet.types) std::erase(t->drawList, car);
    std::erase(fleet.wrecked, car);
    fleet.active.erase(fleet.active.begin() + std::ptrdiff_t(index));
    fleet.pool.push_back(car);
    ready = 1;
}

void TrafficManager::OnExplosionHit(const Vector3&, Vehicle& vehicle) {
    if (world_.session.mission > kLastOpponentMission) return;
    if (plat::EngineRand() % 20 != 0 || int32_t(opponents.size()) >= kMaxOpponents) return;
    if (!IsPlayer(vehicle)) return;
    opponentRequested = 1;
    opponentTarget = &vehicle;
}

void TrafficManager::SpawnOpponent(Vehicle* target, const Vector3* point) {
    opponentRequested = 0;
    const CarDefinition* definition = CarCatalogue::Instance().FindByFlag(kCarPolice);
    if (!definition) return;
    RoadGraph* graph = world_.graphs.driver.get();
    if (!graph) return;
    graph->FindSpawnNodes(circles, spawnNodes);
    if (spawnNodes.empty()) return;
    RoadNode& node = graph->nodes[size_t(spawnNodes[RandomBelow(spawnNodes.size())])];
    std::unique_ptr<Vehicle> made = Vehicle::Create(vehicles_, definition);
    if (!made) return;
    Vehicle* car = made.get();
    owned_.push_back(std::move(made));
    world_.physics.AddObject(car);
    world_.Add(car);
    auto* driver = new OpponentDriver(vehicles_);
    driver->vehicle = car;
    car->controller = driver;
    driver->graph = graph;
    car->Respawn(false);
    driver->PlaceAt(node.position, Matrix4::Identity(), false);
    driver->mode = 1;
    driver->target = target;
    if (point) driver->targetPoint = *point;
    opponents.push_back(car);
}

void TrafficManager::RemoveOpponent(int32_t index) {
    if (index < 0 || size_t(index) >= opponents.size()) return;
    Vehicle* car = opponents[size_t(index)];
    if (opponentTarget == car) opponentTarget = nullptr;
    delete car->controller;
    car->controller = nullptr;
    opponents.erase(opponents.begin() + index);
    Forget(car);
}

void TrafficManager::Draw(World& world, const Camera& camera) {
    for (const auto& t : fleet.types) {
        for (TrafficCar* car : t->drawList) car->Draw(world, camera);
        t->drawList.clear();
    }
    for (TrafficCar* car : fleet.wrecked) car->Draw(world, camera);
    fleet.wrecked.clear();
}
