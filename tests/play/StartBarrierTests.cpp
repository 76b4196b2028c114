// The start barrier on the loopback network: a host and two clients leave the wait only after
// all three ready messages; malformed frames mark nobody.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <thread>

#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/play/StartBarrier.h"

namespace {

// Updates the clients and runs the host's barrier until the condition holds (at most 10 s).
bool PumpUntil(const std::function<bool()>& done, std::vector<ZKClient*> clients, StartBarrier* host) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < deadline) {
        for (ZKClient* c : clients) c->Update(0.001f);
        if (host) host->Update();
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
            {&client}, nullptr))
        return false;
    return client.Connect(0);
}

size_t Players(ZKServer& s) {
    s.Lock();
    const size_t n = s.GetPlayers().size();
    s.Unlock();
    return n;
}

} // namespace

TEST(StartBarrier, AHostAndTwoClientsStartOnlyAfterAllThreeAreReady) {
    ZKServer server(SharedString("host"), SharedString("Race"), 0, 4);
    ASSERT_TRUE(server.IsRunning());
    ZKClient own, second, third;
    ASSERT_TRUE(Join(own, server.GetPort()));
    ASSERT_TRUE(Join(second, server.GetPort()));
    ASSERT_TRUE(Join(third, server.GetPort()));
    ASSERT_TRUE(PumpUntil([&] { return Players(server) == 3; }, {&own, &second, &third}, nullptr));

    StartBarrier host(&own, &server), b2(&second, nullptr), b3(&third, nullptr);
    host.Register();
    b2.Register();
    b3.Register();
    std::vector<ZKClient*> all = {&own, &second, &third};
    auto released = [&] { return host.Released() && b2.Released() && b3.Released(); };

    // Frames that are no ready message: one byte too many, and the wrong channel.
    const uint8_t tooLong[2] = {StartBarrier::kChannel, 0};
    second.Send(tooLong, 2, 0, false, true, true);
    const uint8_t other = 117;
    second.Send(&other, 1, 0, false, true, true);

    host.SendReady();
    b2.SendReady();
    ASSERT_TRUE(PumpUntil([&] { return host.ReadyPlayers().size() == 2; }, all, &host));
    // Give any stray release time to arrive: none may.
    for (int i = 0; i < 200; ++i) {
        for (ZKClient* c : all) c->Update(0.001f);
        host.Update();
    }
    EXPECT_FALSE(host.Released() || b2.Released() || b3.Released());
    EXPECT_EQ(host.ReadyPlayers().size(), 2u) << "malformed frames marked nobody";

    b3.SendReady();
    EXPECT_TRUE(PumpUntil(released, all, &host));
    host.Unregister();
    b2.Unregister();
    b3.Unregister();
}

TEST(StartBarrier, APlayerWhoLeavesHoldsNobodyBack) {
    ZKServer server(SharedString("host"), SharedString("Race"), 0, 4);
    ZKClient own, leaving;
    ASSERT_TRUE(Join(own, server.GetPort()));
    ASSERT_TRUE(Join(leaving, server.GetPort()));
    ASSERT_TRUE(PumpUntil([&] { return Players(server) == 2; }, {&own, &leaving}, nullptr));
    StartBarrier host(&own, &server);
    host.Register();
    host.SendReady();
    ASSERT_TRUE(PumpUntil([&] { return host.ReadyPlayers().size() == 1; }, {&own}, &host));
    EXPECT_FALSE(host.Released());
    leaving.Disconnect();
    EXPECT_TRUE(PumpUntil([&] { return host.Released(); }, {&own}, &host));
    host.Unregister();
}

TEST(StartBarrier, OnlyAnEmptyPayloadIsAReadyMessage) {
    const uint8_t bytes[2] = {0, 0};
    EXPECT_TRUE(StartBarrier::IsReadyMessage(bytes, 0));
    EXPECT_FALSE(StartBarrier::IsReadyMessage(bytes, 1));
    EXPECT_FALSE(StartBarrier::IsReadyMessage(bytes, 2));
}
