// Channel 118 on the loopback network: a host and a second machine, each with its own world,
// fleet and manager. Only the host decides; both carry out every spawn and despawn as it arrives
// and keep their lists of cars in the same order. Malformed frames change nothing anywhere.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <thread>

#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/traffic/TrafficManager.h"
#include "platform/sys/Random.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

constexpr int kRingNodes = 400;

// One machine of the game: its world with the ring road, its fleet and its manager.
struct Machine {
    explicit Machine(ZKClient* client, ZKServer* server) {
        flat.world.graphs.traffic = std::make_unique<RoadGraph>();
        RoadGraph& g = *flat.world.graphs.traffic;
        g.Resize(kRingNodes);
        for (int i = 0; i < kRingNodes; ++i) {
            const float a = TwoPi * float(i) / float(kRingNodes);
            g.nodes[size_t(i)].position = Vector3(1750.0f * std::cos(a), 0, 1750.0f * std::sin(a));
            g.nodes[size_t(i)].speedFactor = 1.0f;
            g.nodes[size_t(i)].links.push_back(&g.nodes[size_t((i + 1) % kRingNodes)]);
        }
        g.BuildStrides();
        flat.context.client = client;
        flat.context.server = server;
        traffic = std::make_unique<TrafficManager>(flat.world, flat.context, fleet);
        if (client) client->AddChannel(traffic.get());
        if (server) server->AddChannel(traffic.get());
        traffic->density = 1.0f;
        traffic->PlaceParkedCars();
    }
    ~Machine() {
        traffic.reset();
        flat.context.client = nullptr;
        flat.context.server = nullptr;
    }
    // The active list as indices into the fleet's cars (the same on every machine).
    std::vector<size_t> Active() const {
        std::vector<size_t> out;
        for (TrafficCar* car : fleet.active)
            for (size_t i = 0; i < fleet.cars.size(); ++i)
                if (fleet.cars[i].get() == car) out.push_back(i);
        return out;
    }
    FlatWorld flat;
    TrafficFleet fleet;
    std::unique_ptr<TrafficManager> traffic;
};

bool PumpUntil(const std::function<bool()>& done, const std::vector<ZKClient*>& clients) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < deadline) {
        for (ZKClient* c : clients) c->Update(0.001f);
        if (done()) return true;
        std::this_thread::yield();
    }
    return false;
}

bool Join(ZKClient& client, uint16_t port) {
    client.EnumerateHosts(SharedString("127.0.0.1"), port);
    if (!PumpUntil(
            [&] {
                client.Lock();
                const bool found = !client.GetHosts().empty();
                client.Unlock();
                return found;
            },
            {&client}))
        return false;
    return client.Connect(0);
}

class TrafficNetTest : public VehicleTest {
protected:
    void SetUp() override {
        VehicleTest::SetUp();
        tools::TrafficCarFolder sedan;
        sedan.name = "Sedan";
        ASSERT_TRUE(tools::WriteTrafficCar(".", sedan));
        tools::TrafficCarFolder van;
        van.name = "Van";
        van.halfBody = Vector3(9, 6, 24);
        ASSERT_TRUE(tools::WriteTrafficCar(".", van));
        ASSERT_TRUE(server.IsRunning());
        ASSERT_TRUE(Join(own, server.GetPort()));
        ASSERT_TRUE(Join(second, server.GetPort()));
        ASSERT_TRUE(PumpUntil(
            [&] {
                server.Lock();
                const size_t n = server.GetPlayers().size();
                server.Unlock();
                return n == 2;
            },
            {&own, &second}));
        host = std::make_unique<Machine>(&own, &server);
        peer = std::make_unique<Machine>(&second, nullptr);
        player = host->flat.AddCar(taxi, 0, 0);
        player->network.flagWord |= VehicleNetwork::PlayerCarFlag;
    }
    void TearDown() override {
        host.reset();
        peer.reset();
    }
    bool Settled() { return host->traffic->ready && peer->Active() == host->Active(); }

    ZKServer server{SharedString("host"), SharedString("Traffic"), 0, 4};
    ZKClient own, second;
    std::unique_ptr<Machine> host, peer;
    Vehicle* player = nullptr;
};

}  // namespace

TEST_F(TrafficNetTest, AfterFiveHundredMessagesFromTheHostBothMachinesHoldTheSameCarsInOrder) {
    plat::SetEngineRandSeed(118);
    int messages = 0, spawns = 0, despawns = 0;
    for (int update = 0; messages < 500; ++update) {
        ASSERT_LT(update, 5000);
        // The player jumps about the ring now and then: cars come near it and leave far from it.
        if (update % 25 == 0)
            player->SetPosition(Vector3(float(plat::EngineRand() % 5000) - 2500.0f, 2, float(plat::EngineRand() % 5000) - 2500.0f));
        const size_t before = host->fleet.active.size();
        host->traffic->Update();
        // The pure client never decides.
        peer->traffic->Update();
        if (host->traffic->ready) continue;
        ++messages;
        EXPECT_EQ(host->fleet.active.size(), before) << "the host waits for its own message";
        ASSERT_TRUE(PumpUntil([&] { return Settled(); }, {&own, &second})) << "message " << messages;
        (host->fleet.active.size() > before ? spawns : despawns) += 1;
    }
    EXPECT_GT(spawns, 150);
    EXPECT_GT(despawns, 150);
    EXPECT_EQ(peer->Active(), host->Active());
    EXPECT_EQ(peer->fleet.pool.size(), host->fleet.pool.size());
    // Each machine's cars stand on the same nodes.
    for (size_t i = 0; i < host->fleet.active.size(); ++i)
        EXPECT_EQ(host->fleet.active[i]->currentNode - host->flat.world.graphs.traffic->nodes.data(),
                  peer->fleet.active[i]->currentNode - peer->flat.world.graphs.traffic->nodes.data());
}

TEST_F(TrafficNetTest, MalformedFramesChangeNothingOnAnyMachine) {
    // Some cars on the streets first.
    for (int i = 0; i < 6; ++i) {
        host->traffic->Update();
        ASSERT_TRUE(PumpUntil([&] { return Settled(); }, {&own, &second}));
    }
    ASSERT_EQ(host->fleet.active.size(), 6u);
    auto frame = [](uint32_t kind, uint32_t a, uint32_t b, size_t size) {
        std::vector<uint8_t> f(size, 0);
        f[0] = TrafficManager::kChannel;
        for (int k = 0; k < 4; ++k) {
            if (size > size_t(4 + k)) f[size_t(4 + k)] = uint8_t(kind >> (8 * k));
            if (size > size_t(8 + k)) f[size_t(8 + k)] = uint8_t(a >> (8 * k));
            if (size > size_t(12 + k)) f[size_t(12 + k)] = uint8_t(b >> (8 * k));
        }
        return f;
    };
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    } cases[] = {
        {"a spawn a byte short", frame(0, 3, 0, 15)},
        {"a spawn a byte long", frame(0, 3, 0, 17)},
        {"a despawn a byte short", frame(1, 0, 0, 11)},
        {"a despawn a byte long", frame(1, 0, 0, 13)},
        {"a despawn the size of a spawn", frame(1, 0, 0, 16)},
        {"a spawn the size of a despawn", frame(0, 3, 0, 12)},
        {"kind 2", frame(2, 0, 0, 16)},
        {"a node past the graph", frame(0, kRingNodes, 0, 16)},
        {"a pool index past the free cars", frame(0, 3, 122, 16)},
        {"a car index past the active ones", frame(1, 6, 0, 12)},
        {"a huge car index", frame(1, 0xFFFFFFFFu, 0, 12)},
        {"the channel byte alone", frame(0, 0, 0, 1)},
    };
    // A pure client's state while a host's message is on its way.
    peer->traffic->ready = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<size_t> hostBefore = host->Active(), peerBefore = peer->Active();
        ASSERT_EQ(server.SendTo(c.bytes.data(), uint32_t(c.bytes.size()), -1, 0.0f, false, true, true), 0);
        // Then a good despawn of the last car, so we know the bad frame was handled before it.
        uint8_t good[TrafficManager::kSpawnSize];
        const size_t n = TrafficManager::Encode(TrafficManager::Message{TrafficManager::Message::Despawn, 5, 0}, good);
        ASSERT_EQ(server.SendTo(good, uint32_t(n), -1, 0.0f, false, true, true), 0);
        ASSERT_TRUE(PumpUntil([&] { return host->fleet.active.size() == 5 && peer->fleet.active.size() == 5; }, {&own, &second}));
        std::vector<size_t> expected = hostBefore;
        expected.pop_back();
        EXPECT_EQ(host->Active(), expected);
        EXPECT_EQ(peer->Active(), expected);
        // Put the last car back for the next case, through the channel as the host would.
        const std::vector<TrafficCar*>& pool = host->fleet.pool;
        const TrafficCar* gone = host->fleet.cars[hostBefore.back()].get();
        const uint32_t at = uint32_t(std::find(pool.begin(), pool.end(), gone) - pool.begin());
        const uint32_t node = uint32_t(host->fleet.cars[hostBefore.back()]->currentNode - host->flat.world.graphs.traffic->nodes.data());
        const size_t m = TrafficManager::Encode(TrafficManager::Message{TrafficManager::Message::Spawn, node, at}, good);
        ASSERT_EQ(server.SendTo(good, uint32_t(m), -1, 0.0f, false, true, true), 0);
        ASSERT_TRUE(PumpUntil([&] { return host->fleet.active.size() == 6 && peer->fleet.active.size() == 6; }, {&own, &second}));
        EXPECT_EQ(host->Active(), hostBefore);
        EXPECT_EQ(peer->Active(), peerBefore);
        peer->traffic->ready = 0;
    }
    EXPECT_TRUE(log.Contains("TRAFFIC: dropped a malformed message"));
    EXPECT_TRUE(log.Contains("refused"));
}
