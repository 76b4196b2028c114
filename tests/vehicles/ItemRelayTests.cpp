// The host's relay of the car items' events on the loopback network: one client floods a
// channel while seven others play honestly.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <memory>
#include <vector>

#include "engine/net/Channel.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "tests/net/NetTestSupport.h"
#include "tests/support/EngineDoubles.h"

namespace {

constexpr int32_t kFlooderId = 1000;

// Counts the special events that reach a client, the flooder's apart from the others'.
class CountingReceiver : public ClientChannel {
public:
    CountingReceiver() : ClientChannel(SpecialChannel) {}
    void Receive(const uint8_t* payload, int32_t size) override {
        SpecialEvent e;
        if (!DecodeSpecialEvent(payload, size, e)) return;
        if (e.playerId == kFlooderId) ++fromFlooder;
        else ++fromOthers;
    }
    int64_t fromFlooder = 0;
    int64_t fromOthers = 0;
};

struct HostGame {
    HostGame() : world(session, testing_support::NoEngine()), context(world, session), channels(context) {}
    GameSession session;
    World world;
    VehicleContext context;
    ItemEventChannels channels;
};

int32_t SendSpecial(ZKClient& client, int32_t playerId, int32_t on) {
    uint8_t frame[SpecialEvent::FrameSize];
    EncodeSpecialEvent(SpecialEvent{playerId, on, 0}, frame);
    return client.Send(frame, sizeof frame, 0.0f, false, true, false);
}

} // namespace

TEST(ItemRelay, AFloodingSenderIsCutToItsShareWhileHonestPlayersStayConnected) {
    HostGame host;
    ZKServer server(SharedString("s"), SharedString("S"), 0, 8);
    ASSERT_TRUE(server.IsRunning());
    for (uint8_t id = FirstItemChannel; id < FirstItemChannel + ItemChannelCount; ++id)
        server.AddChannel(&host.channels.Relay(id));

    std::array<std::unique_ptr<ZKClient>, 7> honest;
    std::array<CountingReceiver, 7> heard;
    for (size_t i = 0; i < honest.size(); ++i) {
        honest[i] = std::make_unique<ZKClient>();
        honest[i]->AddChannel(&heard[i]);
        ASSERT_TRUE(nettest::Join(*honest[i], server.GetPort())) << i;
    }
    ZKClient flooder;
    ASSERT_TRUE(nettest::Join(flooder, server.GetPort()));

    // Ten seconds of a client sending as fast as its connection takes frames, while every honest
    // player switches a special twice a second and reads what arrives each millisecond or so.
    constexpr double kSeconds = 10.0;
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::duration<double>(kSeconds);
    int64_t flooded = 0;
    int64_t honestSent = 0;
    uint32_t mostQueued = 0;
    auto nextHonest = start;
    while (std::chrono::steady_clock::now() < end) {
        for (int32_t burst = 0; burst < 64 && flooder.GetSendQueueLength() < 256; ++burst)
            if (SendSpecial(flooder, kFlooderId, int32_t(flooded & 1)) == 0) ++flooded;
        if (std::chrono::steady_clock::now() >= nextHonest) {
            nextHonest += std::chrono::milliseconds(500);
            for (size_t i = 0; i < honest.size(); ++i)
                if (SendSpecial(*honest[i], int32_t(i), int32_t(honestSent & 1)) == 0) ++honestSent;
        }
        flooder.Update(0.001f);
        for (auto& c : honest) c->Update(0.001f);
        mostQueued = std::max(mostQueued, server.GetMaxSendQueueLength());
    }
    ASSERT_GT(flooded, 20000) << "the flood never got going";

    // What is still on its way arrives; then every honest player is counted.
    nettest::PumpFor(1.0, {honest[0].get(), honest[1].get(), honest[2].get(), honest[3].get(), honest[4].get(),
                           honest[5].get(), honest[6].get(), &flooder});
    for (size_t i = 0; i < honest.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_TRUE(honest[i]->IsConnected());
        // 400 a second, with a second's worth at the start.
        EXPECT_LE(heard[i].fromFlooder, int64_t(400 * (kSeconds + 1.5)));
        EXPECT_GT(heard[i].fromFlooder, int64_t(400 * (kSeconds - 2.0))) << "the flooder's own share is relayed";
        // Every honest event reached every honest player.
        EXPECT_EQ(heard[i].fromOthers, honestSent);
    }
    // The host's queues stay short: no frame waits in memory for long.
    EXPECT_LT(mostQueued, 4000u);
}
