// Two players' cars between two games in one process on the loopback network, each game on its
// own copy of the demo city as metrofare-demo writes it: a host relays the object channel and
// the specials' channel; each game sends its own player's car and applies the other's records.
// A third peer that sends broken frames breaks neither the host nor a player.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/PlayerController.h"
#include "game/vehicles/RespawnPoints.h"
#include "game/vehicles/Specials.h"
#include "game/vehicles/VehicleSnapshot.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/WorldLoading.h"
#include "tests/vehicles/VehicleTestSupport.h"

using namespace vehicle_test;

namespace {

using Clock = std::chrono::steady_clock;

bool Join(ZKClient& client, uint16_t port) {
    client.EnumerateHosts(SharedString("127.0.0.1"), port);
    const auto deadline = Clock::now() + std::chrono::seconds(10);
    while (Clock::now() < deadline) {
        client.Update(0.001f);
        client.Lock();
        const bool any = !client.GetHosts().empty();
        client.Unlock();
        if (any) return client.Connect(0);
        std::this_thread::yield();
    }
    return false;
}

// One player's game: the demo city, the police car of player 0 and the taxi of player 1 at the
// city's first two respawn points, both registered with the object channel in the same order;
// the local one driven and sent at every update.
struct PlayerGame {
    PlayerGame(int32_t localId) : city(session, testing_support::NoEngine()), context(city, session), channels(context) {
        ok = testing_support::LoadWholeWorld(city);
        if (!ok) return;
        context.rules = &rules;
        session.lightDetail = 0;
        InstallSpecialFactories(context);
        std::vector<const RespawnPoint*> points;
        GetRespawnPoints(city, 1, 2, points);
        const char* names[2] = {"PoliceCruiser", "CabMetro"};
        for (int32_t id = 0; id < 2; ++id) {
            std::unique_ptr<Vehicle> car = Vehicle::Create(context, CarCatalogue::Instance().FindByName(SharedString(names[id])));
            ok = ok && car && points.size() >= 2;
            if (!ok) return;
            city.physics.AddObject(car.get());
            car->respawn.respawnPoint = points[size_t(id)];
            car->Respawn(false);
            city.Add(car.get());
            car->network.networkPlayerId = id;
            car->network.flagWord |= VehicleNetwork::PlayerCarFlag | VehicleNetwork::NetworkCarFlag;
            cars[id] = car.get();
            context.vehicles.push_back(car.get());
            context.ownedVehicles.push_back(std::move(car));
            city.objectChannel.Register(cars[id]);
        }
        cars[localId]->flags |= NetObject::kSendEveryUpdate;
        player = std::make_unique<PlayerController>(context, nullptr);
        player->camera = &camera;
        player->AttachVehicle(cars[localId]);
        context.localDriver = player.get();
        context.client = &client;
        client.AddChannel(&city.objectChannel);
        for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) client.AddChannel(&channels.Receiver(id));
    }
    ~PlayerGame() {
        client.Disconnect();
        context.client = nullptr;
        player.reset();
        context.ownedVehicles.clear();
    }
    // One frame: the network's arrivals, the world, then the object channel's sends.
    void Frame() {
        client.Update(Step);
        cityCamera.position = cars[0] ? cars[0]->GetPosition() + Vector3(0, 100, 0) : Vector3();
        city.Update(&cityCamera, Step);
        city.objectChannel.Update(Step);
    }
    void RemoveCar(int32_t id) {
        Vehicle* v = cars[id];
        cars[id] = nullptr;
        std::erase(context.vehicles, v);
        std::erase_if(context.ownedVehicles, [&](auto& owned) { return owned.get() == v; });
    }
    size_t LiveExplosions() const { return context.explosions ? context.explosions->pool.Live().size() : 0u; }

    GameSession session;
    World city;
    testing_support::TestDrivingRules rules;
    ChaseCamera camera{city.engine, &city.physics};
    Camera cityCamera;
    VehicleContext context;
    ItemEventChannels channels;
    ZKClient client;
    Vehicle* cars[2] = {nullptr, nullptr};
    std::unique_ptr<PlayerController> player;
    bool ok = false;
};

class VehicleNetTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(std::system((std::string(METROFARE_DEMO_BINARY) + " . > demo.log").c_str()), 0);
        CarDefinition::LoadAll();
        first = std::make_unique<PlayerGame>(0);
        second = std::make_unique<PlayerGame>(1);
        ASSERT_TRUE(first->ok && second->ok);
        // The host relays the cars' records and the specials' events unparsed.
        server.AddChannel(&relayObjects);
        for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) server.AddChannel(&first->channels.Relay(id));
        ASSERT_TRUE(server.IsRunning());
        ASSERT_TRUE(Join(first->client, server.GetPort()));
        ASSERT_TRUE(Join(second->client, server.GetPort()));
    }
    void TearDown() override {
        if (first)
            for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id) server.RemoveChannel(&first->channels.Relay(id));
        first.reset();
        second.reset();
        server.RemoveChannel(&relayObjects);
    }
    // Frames of both games until the condition holds, at most `frames` of them (bounded in wall
    // time as well).
    bool RunUntil(const std::function<bool()>& done, int frames) {
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        for (int i = 0; i < frames && Clock::now() < deadline; ++i) {
            first->Frame();
            second->Frame();
            if (done()) return true;
        }
        return false;
    }

    testing_support::TempWorkDir dir;
    EngineThread engine;
    ZKServer server{SharedString("host"), SharedString("Combat"), 0, 4};
    ObjectChannel relayObjects;
    std::unique_ptr<PlayerGame> first, second;
};

float Distance(const Vehicle* a, const Vehicle* b) { return (a->GetPosition() - b->GetPosition()).Length(); }

} // namespace

TEST_F(VehicleNetTest, TheOtherPlayersCarFollowsItsDriverSirenAndWreck) {
    Vehicle* driven = first->cars[0];
    Vehicle* copy = second->cars[0];
    ASSERT_EQ(copy->objectId, driven->objectId);
    // The copy starts where the second game put it, away from the driver's car; the first
    // record brings it over.
    copy->SetPosition(copy->GetPosition() + Vector3(300.0f, 0.0f, 0.0f));
    ASSERT_TRUE(RunUntil([&] { return Distance(driven, copy) < 5.0f; }, 3000));

    // A scripted lap: accelerate, turn, brake. Each frame's record is given up to half a second
    // of wall time to arrive before the second game steps (the network threads run when the
    // machine lets them); the copy then stands where the driver's car stood when it sent it.
    float worst = 0.0f, travelled = 0.0f;
    int arrived = 0;
    Vector3 last = driven->GetPosition();
    const int laps = 450;
    for (int f = 0; f < laps; ++f) {
        driven->SetThrottle(f < 300 ? 1.0f : 0.0f);
        driven->SetSteering(f >= 120 && f < 240 ? 0.6f : 0.0f);
        if (f >= 300) driven->SetBrake(1.0f);
        first->Frame();
        const Vector3 sent = driven->ChassisBody()->GetPosition();
        const auto there = [&] { return (copy->ChassisBody()->GetPosition() - sent).Length() < 0.01f; };
        const auto deadline = Clock::now() + std::chrono::milliseconds(500);
        while (!there() && Clock::now() < deadline) {
            second->client.Update(0.0f);
            std::this_thread::yield();
        }
        if (there()) ++arrived;
        worst = std::max(worst, Distance(driven, copy));
        second->Frame();
        travelled += (driven->GetPosition() - last).Length();
        last = driven->GetPosition();
    }
    EXPECT_GT(travelled, 200.0f) << "the lap went somewhere";
    EXPECT_GT(arrived, laps * 9 / 10) << "records are not sequenced, but on the loopback nearly all arrive";
    EXPECT_LT(worst, 25.0f) << "between records the copy's own physics carries it on";

    // The police car's siren, switched on by its driver, sounds in the other game too.
    auto* siren = dynamic_cast<CopSirenSpecial*>(driven->items.specials.front());
    auto* copySiren = dynamic_cast<CopSirenSpecial*>(copy->items.specials.front());
    ASSERT_NE(siren, nullptr);
    ASSERT_NE(copySiren, nullptr);
    siren->Use();
    ASSERT_TRUE(RunUntil([&] { return copySiren->active != 0; }, 3000));
    EXPECT_TRUE(siren->active) << "its own echo changes nothing";
    siren->StopUse();
    ASSERT_TRUE(RunUntil([&] { return copySiren->active == 0; }, 3000));

    // The driver's car is wrecked: its copy blows up once in the other game.
    driven->damage.health = 0.0f;
    ASSERT_TRUE(RunUntil([&] { return copy->damage.health == 0.0f; }, 3000));
    EXPECT_EQ(second->LiveExplosions(), 1u);
    RunUntil([] { return false; }, 20);
    EXPECT_EQ(second->LiveExplosions(), 1u) << "records of the wreck that follow blow nothing up again";

    // The second game drops its copy while records keep coming: they find no car.
    second->RemoveCar(0);
    EXPECT_EQ(second->city.objectChannel.GetObjects().size(), 1u);
    driven->damage.health = VehicleDamage::MaxHealth;
    RunUntil([] { return false; }, 60);
    EXPECT_NE(second->cars[1], nullptr);
}

TEST_F(VehicleNetTest, BrokenFramesFromAThirdPeerBreakNeitherTheHostNorAPlayer) {
    ZKClient rogue;
    ASSERT_TRUE(Join(rogue, server.GetPort()));
    std::mt19937 random(31);
    std::vector<uint8_t> frame;
    const auto send = [&] { rogue.Send(frame.data(), uint32_t(frame.size()), 0.0f, false, true, false); };
    const auto objectFrame = [&](uint32_t id, size_t payload) {
        frame.assign(5 + payload, 0);
        frame[0] = kObjectChannelId;
        for (int i = 0; i < 4; ++i) frame[size_t(1 + i)] = uint8_t(id >> (8 * i));
        for (size_t i = 5; i < frame.size(); ++i) frame[i] = uint8_t(random());
    };
    for (int round = 0; round < 40; ++round) {
        for (uint32_t id : {0u, 1u, 7u}) {
            for (size_t size : {size_t(0), size_t(3), size_t(vehicle_snapshot::Size - 1), size_t(vehicle_snapshot::Size),
                                size_t(vehicle_snapshot::Size + 1), size_t(1400)}) {
                objectFrame(id, size);
                send();
            }
        }
        // A truncated object frame and a truncated and an oversized special event.
        frame = {kObjectChannelId, 0, 0};
        send();
        frame = {SpecialChannel, 0, 0, 0, 0};
        send();
        frame.assign(400, 0);
        frame[0] = SpecialChannel;
        send();
        // Random frames on random channels.
        for (int i = 0; i < 10; ++i) {
            frame.resize(1 + random() % 600);
            for (uint8_t& b : frame) b = uint8_t(random());
            send();
        }
        rogue.Update(Step);
        first->Frame();
        second->Frame();
    }
    // Whatever arrived, the players' cars are whole and the real records still get through.
    for (PlayerGame* game : {first.get(), second.get()}) {
        for (Vehicle* car : game->cars) {
            const Vector3 p = car->GetPosition();
            EXPECT_TRUE(std::isfinite(p.x) && std::isfinite(p.y) && std::isfinite(p.z));
            EXPECT_GE(car->damage.health, 0.0f);
            EXPECT_LE(car->damage.health, VehicleDamage::MaxHealth);
        }
    }
    Vehicle* copy = second->cars[0];
    copy->SetPosition(copy->GetPosition() + Vector3(300.0f, 0.0f, 0.0f));
    EXPECT_TRUE(RunUntil([&] { return Distance(first->cars[0], copy) < 5.0f; }, 3000));
    rogue.Disconnect();
}
