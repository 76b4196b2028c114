// Channel 118 frames from the network: the first byte picks a pool, graph and list state, the
// rest is a frame as the client hands it over. A frame that is not one of the two messages with
// indices in range changes nothing; one that is moves exactly one car.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "engine/core/Engine.h"
#include "game/traffic/TrafficManager.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/EngineDoubles.h"

namespace {

struct Machine {
    Machine() : context(world, session) {
        ZKEngine::Instance().mainThread = Thread::Current();
        world.physics.CreateSpace(Vector3(), Vector3(4000, 1000, 4000), 4, SpaceKind::Hash);
        world.Create(Vector3(), Vector3(4000, 1000, 4000), 5);
        world.graphs.traffic = std::make_unique<RoadGraph>();
        world.graphs.traffic->Resize(8);
        for (int i = 0; i < 8; ++i) {
            world.graphs.traffic->nodes[size_t(i)].position = Vector3(float(i) * 100.0f, 0, 0);
            world.graphs.traffic->nodes[size_t(i)].links.push_back(&world.graphs.traffic->nodes[size_t((i + 1) % 8)]);
        }
        // No kinds on disk: a few hand-made cars of one kind stand in for the pool.
        fleet.types.push_back(std::make_unique<TrafficCarType>(SharedString("None.VQC")));
        fleet.types[0]->boxSize = Vector3(10, 8, 30);
        fleet.typesLoaded = true;
        manager = std::make_unique<TrafficManager>(world, context, fleet);
        for (int i = 0; i < 6; ++i) {
            fleet.cars.push_back(std::make_unique<TrafficCar>(*fleet.types[0], fleet));
            fleet.pool.push_back(fleet.cars.back().get());
        }
    }
    testing_support::EngineDoubles engine;
    GameSession session;
    World world{session, engine.services};
    VehicleContext context;
    TrafficFleet fleet;
    std::unique_ptr<TrafficManager> manager;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz_support::Check;
    fuzz_support::DiscardLog();
    if (size < 1) return 0;
    static Machine* m = new Machine;
    TrafficManager& traffic = *m->manager;
    traffic.Reset();
    // 0..6 cars on the streets before the frame.
    for (uint8_t i = 0; i < data[0] % 7; ++i) traffic.Spawn(TrafficManager::Message{TrafficManager::Message::Spawn, i, 0});
    traffic.ready = data[0] >> 7;
    const std::vector<TrafficCar*> active = m->fleet.active;
    const uint8_t ready = traffic.ready;

    const uint8_t* payload = data + 1;
    const int32_t n = int32_t(size - 1);
    TrafficManager::Message message;
    const bool decoded = TrafficManager::Decode(payload, n, message);
    Check(!decoded || n == 15 || n == 11);
    traffic.Receive(payload, n);

    const bool spawns = decoded && message.kind == TrafficManager::Message::Spawn && message.index < 8 &&
                        message.pool < 6 - active.size();
    const bool despawns = decoded && message.kind == TrafficManager::Message::Despawn && message.index < active.size();
    if (spawns) Check(m->fleet.active.size() == active.size() + 1 && traffic.ready == 1);
    else if (despawns) Check(m->fleet.active.size() == active.size() - 1 && traffic.ready == 1);
    else Check(m->fleet.active == active && traffic.ready == ready);
    Check(m->fleet.active.size() + m->fleet.pool.size() == 6);
    return 0;
}
