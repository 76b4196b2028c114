// Peers that try to make the server do far more work than they do: a flood of player
// information, a reader that stops acknowledging, host searches that ask for more than they send.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <set>

#include "tests/net/NetTestSupport.h"
#include "tests/support/TestSupport.h"

using namespace nettest;

namespace {

Bytes PlayerInfo(const char* name, uint32_t value) {
    uint8_t data[16] = {};
    std::memcpy(data + 4, &value, 4);
    Bytes m;
    netproto::BuildClientInfo(m, name, data, sizeof data);
    return m;
}

// Connects a bare endpoint to the server and waits for its client number.
bool JoinRaw(RawPeer& raw, ZKServer& server, uint32_t& number) {
    raw.host->Connect(plat::LoopbackAddress(server.GetPort()), netproto::kTransportVersion);
    ZKClient idle;
    if (!PumpUntil([&] { return raw.PacketCount() >= 1; }, {&idle})) return false;
    std::lock_guard<std::mutex> lock(raw.m);
    return netproto::ParseAssign(raw.packets[0].data() + 1, raw.packets[0].size() - 1, number);
}

} // namespace

TEST(NetAbuse, PlayerInfoFloodLeavesOneTablePerFrameAndReadersCurrent) {
    ZKServer server(SharedString("s"), SharedString("S"), 0, 8);
    // Bare readers: they count every table the server sends them.
    std::vector<std::unique_ptr<RawPeer>> readers;
    for (int i = 0; i < 7; ++i) {
        readers.push_back(std::make_unique<RawPeer>());
        uint32_t number = 0;
        ASSERT_TRUE(JoinRaw(*readers.back(), server, number)) << i;
    }
    RawPeer flooder;
    uint32_t number = 0;
    ASSERT_TRUE(JoinRaw(flooder, server, number));
    auto tables = [](RawPeer& r, netproto::ServerInfo* last = nullptr) {
        std::lock_guard<std::mutex> lock(r.m);
        size_t n = 0;
        for (const Bytes& p : r.packets) {
            if (p[0] != netproto::kServerInfo) continue;
            ++n;
            if (last) netproto::ParseServerInfo(p.data() + 1, p.size() - 1, *last);
        }
        return n;
    };
    std::vector<size_t> before;
    for (auto& r : readers) before.push_back(tables(*r));

    // As fast as the transport takes them, every message changing the table. The flooder keeps
    // only its own queue short; the server's queues are what must stay bounded.
    constexpr uint32_t kFlood = 20000;
    int32_t mostQueued = 0;
    uint32_t sent = 0;
    const auto start = std::chrono::steady_clock::now();
    while (sent < kFlood && std::chrono::steady_clock::now() < start + std::chrono::seconds(4)) {
        if (flooder.host->SendQueueLength(flooder.peer) < 64)
            flooder.host->Send(flooder.peer, {}, PlayerInfo("flood", sent++), plat::NetDelivery::Reliable, false);
        else
            std::this_thread::yield();
        mostQueued = std::max(mostQueued, int32_t(server.GetMaxSendQueueLength()));
    }
    EXPECT_GT(sent, 1000u) << "the flood never got going";
    flooder.Send(PlayerInfo("last", sent));

    ZKClient idle;
    for (size_t i = 0; i < readers.size(); ++i) {
        netproto::ServerInfo last;
        EXPECT_TRUE(PumpUntil(
            [&] { return tables(*readers[i], &last) && last.players.size() == 8 && last.players[7].name == "last"; },
            {&idle}, 10.0)) << i;
        EXPECT_FALSE(readers[i]->disconnected.load());
    }
    // One table per reader per server frame at most, never one per message.
    const auto frames = (std::chrono::steady_clock::now() - start) / ZKServer::kServerFrame;
    for (size_t i = 0; i < readers.size(); ++i)
        EXPECT_LE(tables(*readers[i]) - before[i], size_t(frames) + 2) << i << " after " << sent << " messages";
    EXPECT_LE(mostQueued, int32_t(frames) + 2);
}

TEST(NetAbuse, ReaderThatStopsAcknowledgingIsDisconnectedAtTheQueueCap) {
    ZKServer server(SharedString("s"), SharedString("S"), 0, 4);
    ZKClient honest;
    ASSERT_TRUE(Join(honest, server.GetPort()));
    const uint8_t data[12] = {};
    honest.SetPlayerInfo(SharedString("honest"), data, sizeof data);
    RawPeer stalled;
    uint32_t number = 0;
    ASSERT_TRUE(JoinRaw(stalled, server, number));
    stalled.Send(PlayerInfo("stalled", 0));
    ASSERT_TRUE(PumpUntil([&] { return PlayerNames(honest) == std::vector<std::string>{"honest", "stalled"}; },
                          {&honest}));

    stalled.host->Stop();  // the socket stays open, but nothing reads or acknowledges any more
    testing_support::LogCapture log;
    std::vector<uint8_t> frame(8000, 1);
    frame[0] = 99;
    size_t sends = 0;
    while (sends < 1000 && !log.Contains("ZKNET: Client 1 ")) {
        server.SendTo(frame.data(), uint32_t(frame.size()), int32_t(number), 0, false, true, false);
        ++sends;
    }
    EXPECT_TRUE(log.Contains("ZKNET: Client 1 ")) << "no disconnect after " << sends << " messages";
    EXPECT_LE(sends * frame.size(), ZKServer::kMaxQueuedBytesPerClient + 2 * frame.size());
    EXPECT_EQ(server.SendTo(frame.data(), uint32_t(frame.size()), int32_t(number), 0, false, true, false), -1);

    EXPECT_TRUE(PumpUntil([&] { return PlayerNames(honest) == std::vector<std::string>{"honest"}; }, {&honest}));
    EXPECT_TRUE(honest.IsConnected());
    EXPECT_EQ(ServerPlayerCount(server), 1u);
}

TEST(NetAbuse, HostSearchNeverAnswersWithMoreBytesThanItWasSent) {
    // The largest answer there is: a full session name and the full server data.
    ZKServer server(SharedString("s"), SharedString(std::string(64, 'N')), 0, 4);
    std::vector<uint8_t> block(1024, 7);
    server.SetServerInfo(SharedString("s"), block.data(), uint32_t(block.size()));
    netproto::EnumAnswer largest;
    largest.sessionName = std::string(64, 'N');
    largest.responseData = block;
    Bytes answer;
    netproto::BuildEnumAnswer(answer, largest);
    const size_t full = answer.size();

    auto query = [](uint32_t ticks, size_t size) {
        Bytes q{'E', 'N', 'Q', '1'};
        q.reserve(std::max<size_t>(24, size));
        q.insert(q.end(), netproto::kApplicationGuid, netproto::kApplicationGuid + 16);
        for (int i = 0; i < 4; ++i) q.push_back(uint8_t(ticks >> (8 * i)));
        q.resize(std::max(q.size(), size), 0);
        return q;
    };
    struct Case { uint32_t ticks; size_t size; bool answered; } cases[] = {
        {1, 24, false},        // a bare query: the answer would be 47 times larger
        {2, full - 1, false},  // one byte short of the answer
        {3, full, true},       // as large as the answer
        {4, full + 1, false},  // larger than any query the game sends
        {5, full, true},       // last: once it is answered, every earlier one has been handled
    };
    RawPeer searcher;
    for (const Case& c : cases) {
        Bytes q = query(c.ticks, c.size);
        ASSERT_TRUE(searcher.host->SendRaw(plat::LoopbackAddress(server.GetPort()), q.data(), q.size()));
    }
    ZKClient idle;
    auto answeredLast = [&] {
        auto got = searcher.Answers();
        return std::any_of(got.begin(), got.end(), [](const RawPeer::HostAnswer& a) { return a.ticks == 5; });
    };
    ASSERT_TRUE(PumpUntil(answeredLast, {&idle}));
    std::set<uint32_t> answered;
    for (const RawPeer::HostAnswer& a : searcher.Answers()) {
        answered.insert(a.ticks);
        EXPECT_EQ(a.size, full);
    }
    for (const Case& c : cases) EXPECT_EQ(answered.count(c.ticks) == 1, c.answered) << "query of " << c.size;
}
