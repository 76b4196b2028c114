// The network game's modes on the loopback network: a host and a second player in one process,
// each with its own game and world, the host's client and server and the other client on
// 127.0.0.1. Checkpoints reached score on the host and reach every table; the score limit ends
// the game on both machines and each hands one final table to its menus; the host's end of
// the session decides the game for a client; quick messages keep their pace.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <functional>
#include <memory>
#include <thread>

#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/play/CheckpointMode.h"
#include "game/play/Game.h"
#include "game/traffic/PedestrianManager.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/Vehicle.h"
#include "platform/sys/Random.h"
#include "tests/support/EngineDoubles.h"
#include "tests/support/FakeMenuExits.h"
#include "tests/support/FrameSchedule.h"
#include "tests/support/TestSupport.h"
#include "tests/vehicles/VehicleTestSupport.h"
#include "tests/world/WorldTestSupport.h"
#include "tools/writers/WorldWriter.h"

namespace {

using testing_support::FrameSchedule;

// Keeps the final table the mode hands over.
class TableExits final : public testing_support::FakeMenuExits {
public:
    void ShowMultiplayerScore(const MultiplayerScoreTable& t) override {
        FakeMenuExits::ShowMultiplayerScore(t);
        table = t;
    }
    MultiplayerScoreTable table;
};

std::vector<uint8_t> SessionData(uint32_t type, uint32_t seed, uint8_t minutes, uint8_t points) {
    std::vector<uint8_t> b(20, 0);
    const uint32_t words[3] = {1, type, seed};
    std::memcpy(b.data(), words, sizeof words);
    b[16] = minutes;
    b[17] = points;
    return b;
}

struct Machine {
    Machine(testing_support::EngineDoubles& engine, testing_support::RecordingFrontEndServices& services) {
        game = std::make_unique<Game>(engine.services, &exits, &services);
        for (int calls = 0; !game->IsReady() && calls < 1000; ++calls) game->Load();
    }
    ~Machine() {
        if (mode) mode->Disconnect();
        game->Reset(true);
        game.reset();
    }
    TableExits exits;
    std::unique_ptr<Game> game;
    CheckpointMode* mode = nullptr;
};

class NetworkModeTest : public ::testing::Test {
protected:
    static constexpr float kDrop[3][2] = {{1000.0f, 0.0f}, {-1000.0f, 500.0f}, {0.0f, -1200.0f}};

    void SetUp() override {
        PedestrianManager::ForgetCrowdForTests();
        plat::SetEngineRandSeed(5);
        std::filesystem::create_directories("Maps");
        ASSERT_TRUE(tools::WriteWorld(dir.Path() + "/Maps/World.VQW", world_testing::FlatWorld(4000.0f)));
        vehicle_test::WriteCar("Taxi", vehicle_test::Taxi());
        CarDefinition::LoadAll();
        server = std::make_unique<ZKServer>(SharedString("host"), SharedString("Race"), 0, 4);
        ASSERT_TRUE(server->IsRunning());
        for (ZKClient* c : {&hostClient, &joiner}) ASSERT_TRUE(Join(*c));
        const uint8_t block[12] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0};
        hostClient.SetPlayerInfo(SharedString("Hosting Harry"), block, sizeof block);
        joiner.SetPlayerInfo(SharedString("John Dough"), block, sizeof block);
    }
    void TearDown() override {
        host.reset();
        other.reset();
        joiner.Disconnect();
        hostClient.Disconnect();
        server.reset();
        PedestrianManager::ForgetCrowdForTests();
    }

    // Updates the clients and runs the condition until it holds (at most 10 s).
    bool PumpUntil(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (std::chrono::steady_clock::now() < deadline) {
            hostClient.Update(0.001f);
            joiner.Update(0.001f);
            if (done()) return true;
            std::this_thread::yield();
        }
        return false;
    }
    bool Join(ZKClient& client) {
        client.EnumerateHosts(SharedString("127.0.0.1"), server->GetPort());
        if (!PumpUntil([&] {
                client.Lock();
                const bool found = !client.GetHosts().empty();
                client.Unlock();
                return found;
            }))
            return false;
        return client.Connect(0);
    }
    // Both clients know both players with their blocks and the session's data.
    bool SessionKnown() {
        bool all = true;
        for (ZKClient* c : {&hostClient, &joiner}) {
            c->Lock();
            const auto& players = c->GetPlayers();
            all = all && players.size() == 2 && c->GetServerData().size() == 20;
            for (const auto& p : players) all = all && p.data.size() == 12 && !p.name.IsEmpty();
            c->Unlock();
        }
        return all;
    }
    // The session published, then a checkpoint race made on each machine as the set-up does.
    void Start(uint32_t type, uint8_t minutes, uint8_t points) {
        const std::vector<uint8_t> data = SessionData(type, 7, minutes, points);
        server->SetServerInfo(SharedString("host"), data.data(), uint32_t(data.size()));
        ASSERT_TRUE(PumpUntil([&] { return SessionKnown(); }));
        host = std::make_unique<Machine>(engine, services);
        other = std::make_unique<Machine>(engine, services);
        for (Machine* m : {host.get(), other.get()}) {
            for (const auto& d : kDrop) {
                DropPoint p;
                p.position = Vector3(d[0], 0.0f, d[1]);
                p.name = SharedString("Checkpoint");
                m->game->world.dropPoints.push_back(p);
            }
            m->game->session.gameType = 14 + int32_t(type);
            auto made = std::make_unique<CheckpointMode>(*m->game);
            m->mode = made.get();
            m->game->SetMode(std::move(made));
            m->mode->Connect(m == host.get() ? &hostClient : &joiner, m == host.get() ? server.get() : nullptr);
            m->mode->Init();
            m->mode->Start();
        }
    }
    // One frame on both machines at the schedule's time.
    void Frame(float dt) {
        engine.frameTime = dt;
        for (Machine* m : {host.get(), other.get()}) {
            (m == host.get() ? hostClient : joiner).Update(dt);
            m->mode->Update(dt);
        }
    }
    // Frames until the condition holds; false after `limit` seconds of game time or 10 s.
    bool RunUntil(const std::function<bool()>& done, float limit) {
        const FrameSchedule uneven = testing_support::UnevenFrames();
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        float t = 0.0f;
        for (int32_t frame = 0; t < limit && std::chrono::steady_clock::now() < deadline; ++frame) {
            if (done()) return true;
            const float dt = uneven(frame);
            Frame(dt);
            t += dt;
        }
        return done();
    }
    // Frames of no game time until what the network carries has arrived and been applied on
    // both machines (at most 10 s of waiting): arrival takes real time, not game time.
    bool Settle(const std::function<bool()>& done) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (!done() && std::chrono::steady_clock::now() < deadline) {
            Frame(0.0f);
            std::this_thread::yield();
        }
        return done();
    }
    static int32_t Score(CheckpointMode& mode, const char* name) {
        std::lock_guard<std::mutex> lock(mode.tableLock);
        for (const ScoreEntry& e : mode.scores.entries)
            if (e.name == SharedString(name)) return e.score;
        return -99;
    }
    void Reach(Machine& m) {
        DropPoint& p = m.game->world.dropPoints[size_t(m.mode->checkpoint)];
        m.game->PlayerCar()->SetPosition(p.position + Vector3(0.0f, 5.0f, 0.0f));
    }

    vehicle_test::EngineThread thread;
    testing_support::TempWorkDir dir;
    testing_support::RecordingFrontEndServices services;
    testing_support::EngineDoubles engine;
    testing_support::LogCapture log{3};
    std::unique_ptr<ZKServer> server;
    ZKClient hostClient, joiner;
    std::unique_ptr<Machine> host, other;
};

} // namespace

TEST_F(NetworkModeTest, CheckpointsScoreOnTheHostAndTheScoreLimitEndsTheGameEverywhere) {
    Start(0, 0, 2);
    ASSERT_NE(host->game->PlayerCar(), nullptr);
    ASSERT_NE(other->game->PlayerCar(), nullptr);
    EXPECT_NE(host->game->PlayerCar(), other->game->PlayerCar());
    ASSERT_EQ(host->game->vehicles.vehicles.size(), 2u) << "every player's car on every machine";
    ASSERT_EQ(other->game->vehicles.vehicles.size(), 2u);
    EXPECT_EQ(host->mode->timeLeft, MultiplayerMode::kNoTimeLimit);
    EXPECT_EQ(host->mode->scoreLimit, 2);
    EXPECT_EQ(host->mode->ownChain, 1);
    EXPECT_EQ(host->mode->checkpoint, 7 % 3) << "the session's seed picks the first checkpoint";

    // The second player reaches his checkpoint: the host counts it and both tables show it.
    const int32_t first = other->mode->checkpoint;
    Reach(*other);
    Frame(0.016f);
    ASSERT_TRUE(Settle([&] { return Score(*host->mode, "John Dough") == 1 && Score(*other->mode, "John Dough") == 1; }));
    EXPECT_NE(other->mode->checkpoint, first) << "his own chain moved on";
    EXPECT_EQ(host->mode->checkpoint, 7 % 3) << "the host's own chain did not";
    EXPECT_EQ(Score(*host->mode, "Hosting Harry"), 0);
    EXPECT_TRUE(host->exits.calls.empty());

    // The second reach is the limit: banner and fade on both machines, then one table each.
    Reach(*other);
    Frame(0.016f);
    ASSERT_TRUE(Settle([&] { return host->mode->finishing && other->mode->finishing; }));
    EXPECT_EQ(host->mode->endedByScore, 1);
    EXPECT_EQ(other->mode->endedByScore, 1);
    ASSERT_TRUE(RunUntil([&] { return host->mode->handedOver && other->mode->handedOver; }, 7.0f));
    RunUntil([] { return false; }, 1.0f);
    for (Machine* m : {host.get(), other.get()}) {
        EXPECT_EQ(m->exits.calls, std::vector<std::string>{"ShowMultiplayerScore"});
        ASSERT_EQ(m->exits.table.rows.size(), 2u);
        EXPECT_EQ(m->exits.table.rows[0].name, SharedString("John Dough"));
        EXPECT_EQ(m->exits.table.rows[0].score, 2);
        EXPECT_EQ(m->exits.table.rows[1].score, 0);
        EXPECT_EQ(m->exits.table.titles[1], SharedString("John Dough"));
        EXPECT_EQ(m->exits.table.kind, 14);
    }
}

TEST_F(NetworkModeTest, TheSharedCheckpointMovesForEveryoneAndWantsASlowCar) {
    Start(1, 0, 0);
    ASSERT_EQ(host->mode->ownChain, 0);
    const int32_t first = host->mode->checkpoint;
    ASSERT_EQ(other->mode->checkpoint, first);
    // Too fast: nothing.
    Reach(*other);
    other->game->PlayerCar()->ChassisBody()->SetLinearVelocity(Vector3(60.0f, 0.0f, 0.0f));
    other->mode->Update(0.016f);
    EXPECT_TRUE(other->game->world.dropPoints[size_t(first)].IsActive());
    other->game->PlayerCar()->ChassisBody()->SetLinearVelocity(Vector3());
    Reach(*other);
    Frame(0.016f);
    ASSERT_TRUE(Settle([&] { return host->mode->checkpoint != first && other->mode->checkpoint != first; }));
    EXPECT_EQ(host->mode->checkpoint, other->mode->checkpoint) << "one checkpoint for all";
    EXPECT_EQ(Score(*host->mode, "John Dough"), 1);
}

TEST_F(NetworkModeTest, KillsQuickMessagesAndTheHostsEnd) {
    Start(0, 1, 0);
    EXPECT_FLOAT_EQ(host->mode->timeLeft, 60.0f);
    Vehicle* harry = host->game->PlayerCar();
    Vehicle* johnOnHost = nullptr;
    for (Vehicle* v : host->game->vehicles.vehicles)
        if (v != harry) johnOnHost = v;
    // On the second machine: the host's car kills John's, then John wrecks his own.
    Vehicle* john = other->game->PlayerCar();
    Vehicle* harryThere = nullptr;
    for (Vehicle* v : other->game->vehicles.vehicles)
        if (v != john) harryThere = v;
    ASSERT_NE(harryThere, nullptr);
    ASSERT_NE(johnOnHost, nullptr);
    other->mode->OnVehicleDestroyed(harryThere, john);
    other->mode->OnVehicleDestroyed(john, john);
    auto entry = [](CheckpointMode& mode, const char* name) {
        std::lock_guard<std::mutex> lock(mode.tableLock);
        for (const ScoreEntry& e : mode.scores.entries)
            if (e.name == SharedString(name)) return e;
        return ScoreEntry();
    };
    ASSERT_TRUE(Settle([&] { return entry(*other->mode, "John Dough").deaths == 2 && entry(*host->mode, "John Dough").deaths == 2; }));
    EXPECT_EQ(entry(*other->mode, "Hosting Harry").kills, 1);
    EXPECT_EQ(entry(*other->mode, "John Dough").score, -1) << "a wrecked own car costs a point";
    EXPECT_EQ(entry(*host->mode, "John Dough").deaths, 2);

    // Quick messages: one a second at most; they reach both machines.
    other->mode->BroadcastTickerText(222001);
    other->mode->BroadcastTickerText(222002);
    ASSERT_TRUE(Settle([&] { return !host->mode->messages.empty() && !other->mode->messages.empty(); }));
    EXPECT_EQ(host->mode->messages.size(), 1u);
    EXPECT_EQ(host->mode->messages[0].textId, 222001);
    EXPECT_TRUE(RunUntil([&] { return host->mode->messages.empty(); }, 3.0f)) << "shown for two seconds";

    // The host ends the session: the client's game is decided by time, not score.
    host->game->client = &hostClient;
    host->game->server = server.get();
    const uint8_t ended[8] = {117, 0, 0, 0, 0xFF, 0xFF, 0, 0};
    server->SendTo(ended, sizeof ended, -1, 0.0f, false, true, true);
    ASSERT_TRUE(Settle([&] { return other->mode->finishing != 0; }));
    EXPECT_EQ(other->mode->endedByScore, 0);
    host->game->client = nullptr;
    host->game->server = nullptr;
}

TEST(CheckpointRules, GeneratorAndPicks) {
    EXPECT_EQ(CheckpointMode::NextRandom(0), 1013904223);
    const struct {
        int64_t number;
        int32_t old, count, pick;
    } cases[] = {
        {7, -1, 3, 1}, {7, 1, 3, 2}, {8, 2, 3, 0}, {5, 0, 1, 0}, {-4, -1, 3, 2}, {9, 0, 0, -1}, {-9, 2, 0, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CheckpointMode::PickCheckpoint(c.number, c.old, c.count), c.pick) << c.number << " from " << c.old;
}
