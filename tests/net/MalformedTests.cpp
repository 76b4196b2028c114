// Malformed input from peers, sent through raw transport endpoints: no crash, no state change,
// honest peers stay connected.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>

#include "engine/net/NetProtocol.h"
#include "tests/net/NetTestSupport.h"

using namespace nettest;

namespace {

Bytes Frame(std::initializer_list<uint8_t> head, size_t fill = 0, uint8_t kind = netproto::kGameFrame) {
    Bytes b;
    b.reserve(1 + head.size() + fill);
    b.push_back(kind);
    b.insert(b.end(), head.begin(), head.end());
    b.resize(b.size() + fill, 0xEE);
    return b;
}

Bytes U32Le(uint32_t v) { return {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)}; }

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

} // namespace

TEST(NetMalformed, ServerSurvivesEveryBrokenMessageAndKeepsItsTable) {
    ZKServer server(SharedString("s"), SharedString("S"), 0, 4);
    ChatServerChannel chat;
    ObjectChannel objects;
    server.AddChannel(&chat);
    server.AddChannel(&objects);
    // Honest client: named, sees the chat.
    ZKClient honest;
    ChatClientChannel honestChat;
    LineCollector lines;
    honestChat.AddListener(&lines);
    honest.AddChannel(&honestChat);
    ASSERT_TRUE(Join(honest, server.GetPort()));
    const uint8_t player[12] = {3};
    honest.SetPlayerInfo(SharedString("honest"), player, sizeof player);
    // The table is published on each player's information: wait for it before the raw peer
    // joins, or it would show the raw peer's unnamed record too.
    ASSERT_TRUE(PumpUntil([&] { return PlayerNames(honest) == std::vector<std::string>{"honest"}; }, {&honest}));

    RawPeer raw;
    raw.host->Connect(plat::LoopbackAddress(server.GetPort()), netproto::kTransportVersion);
    ASSERT_TRUE(PumpUntil([&] { return raw.PacketCount() >= 1; }, {&honest}));
    EXPECT_EQ(raw.packets[0], Cat({{netproto::kAssign}, U32Le(1)}));
    // Give the raw peer a name so its chat lines and table entry can be checked.
    Bytes rawInfo;
    const uint8_t rawData[12] = {1};
    netproto::BuildClientInfo(rawInfo, "raw", Cat({U32Le(1), Bytes(rawData, rawData + 12)}).data(), 16);
    raw.Send(rawInfo);
    ASSERT_TRUE(PumpUntil([&] { return PlayerNames(honest) == std::vector<std::string>{"honest", "raw"}; }, {&honest}));

    struct Case { const char* what; Bytes bytes; } cases[] = {
        {"transport byte only", Frame({})},
        {"unknown transport byte", Frame({1, 2, 3}, 0, 9)},
        {"assign from a client", Cat({{netproto::kAssign}, U32Le(0)})},
        {"reject from a client", Cat({{netproto::kReject}, U32Le(1)})},
        {"server info from a client", Frame({0, 0, 0, 0, 0, 0}, 0, netproto::kServerInfo)},
        {"client info truncated", Frame({3, 0, 'a'}, 0, netproto::kClientInfo)},
        {"client info name over 64", Cat({{netproto::kClientInfo, 65, 0}, Bytes(65, 'a'), U32Le(4), U32Le(0)})},
        {"client info name length past end", Cat({{netproto::kClientInfo, 0xFF, 0xFF}, Bytes(3, 'a')})},
        {"client info data under 4", Cat({{netproto::kClientInfo, 1, 0, 'a'}, U32Le(3), Bytes(3, 1)})},
        {"client info data over 256", Cat({{netproto::kClientInfo, 1, 0, 'a'}, U32Le(257), Bytes(257, 1)})},
        {"client info data length huge", Cat({{netproto::kClientInfo, 1, 0, 'a'}, U32Le(0xFFFFFFFF), Bytes(8, 1)})},
        {"client info trailing bytes", Cat({{netproto::kClientInfo, 1, 0, 'a'}, U32Le(4), U32Le(1), Bytes(1, 0)})},
        {"chat empty", Frame({0})},
        {"chat without terminator, oversized", Frame({0}, 5000)},
        {"object state empty", Frame({1})},
        {"object state 3 bytes", Frame({1, 1, 2, 3})},
        {"object state huge id", Frame({1, 0xFF, 0xFF, 0xFF, 0xFF}, 300)},
    };
    for (const Case& c : cases) raw.Send(c.bytes);
    // Game channels the session does not carry yet: truncated, oversized, odd ids.
    for (uint8_t id : {34, 35, 36, 37, 38, 39, 102, 117, 118, 136, 255}) {
        raw.Send(Frame({id}));
        raw.Send(Frame({id, 0xFF, 0xFF, 0xFF, 0xFF}, 80));
    }
    // The client number claimed in the data is ignored: the raw peer stays number 1.
    Bytes spoof;
    netproto::BuildClientInfo(spoof, "raw", Cat({U32Le(0), Bytes(rawData, rawData + 12)}).data(), 16);
    raw.Send(spoof);

    // A chat line after the flood shows the server still relays in order.
    raw.Send(Cat({Frame({0}), {'o', 'k'}}));
    ASSERT_TRUE(PumpUntil([&] { return !lines.lines.empty() && lines.lines.back() == "raw: ok"; }, {&honest}));
    EXPECT_TRUE(honest.IsConnected());
    EXPECT_FALSE(raw.disconnected.load());
    server.Lock();
    ASSERT_EQ(server.GetPlayers().size(), 2u);
    EXPECT_EQ(server.GetPlayers()[0].name, "honest");
    EXPECT_EQ(server.GetPlayers()[1].number, 1u);
    EXPECT_EQ(server.GetPlayers()[1].name, "raw");
    server.Unlock();
    // The 5000-byte line was cut to 1023 bytes of text before the relay.
    bool sawCut = false;
    for (const std::string& l : lines.lines) sawCut |= l.size() == 5 + 1023;
    EXPECT_TRUE(sawCut);
}

TEST(NetMalformed, WrongTransportVersionIsRefused) {
    ZKServer server(SharedString("s"), SharedString("S"), 0, 4);
    RawPeer raw;
    raw.host->Connect(plat::LoopbackAddress(server.GetPort()), 2);
    ZKClient probe;
    ASSERT_TRUE(PumpUntil([&] { return raw.disconnected.load(); }, {&probe}));
    ASSERT_GE(raw.PacketCount(), 1u);
    EXPECT_EQ(raw.packets[0], Cat({{netproto::kReject}, U32Le(netproto::kRejectVersionMismatch)}));
    EXPECT_EQ(ServerPlayerCount(server), 0u);
}

TEST(NetMalformed, ClientKeepsItsStateOnBrokenServerMessages) {
    RawPeer fake(true);
    netproto::EnumAnswer a;
    a.currentPlayers = 1;
    a.maxPlayers = 5;
    a.sessionName = "FAKE";
    netproto::BuildEnumAnswer(fake.enumAnswer, a);
    ZKClient client;
    CaptureClientChannel cap(42);
    client.AddChannel(&cap);
    std::thread server([&] {
        // Accept, number the client 5, then publish one good table.
        for (int i = 0; i < 5000 && !fake.connected; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
        fake.Send(Cat({{netproto::kAssign}, U32Le(5)}));
        netproto::ServerInfo info;
        info.name = "srv";
        info.players = {{0, 5, "me", {1, 2, 3}}};
        Bytes good;
        netproto::BuildServerInfo(good, info);
        fake.Send(good);
    });
    bool joined = Join(client, fake.host->Port());
    server.join();
    ASSERT_TRUE(joined);
    EXPECT_EQ(client.GetClientNumber(), 5u);
    ASSERT_TRUE(PumpUntil([&] { return PlayerCount(client) == 1; }, {&client}));

    Bytes bad[] = {
        Frame({}),                                                                 // empty game frame
        Frame({}, 0, 77),                                                          // unknown kind
        Cat({{netproto::kAssign}, U32Le(9)}),                                      // a second number
        Cat({{netproto::kAssign}, {1}}),                                           // truncated assign
        Frame({5, 0, 's'}, 0, netproto::kServerInfo),                              // truncated info
        Cat({{netproto::kServerInfo, 0, 0}, U32Le(12), U32Le(0), U32Le(0), U32Le(0xFFFFFFF)}),  // huge count
        Cat({{netproto::kServerInfo, 0, 0}, U32Le(0xFFFFFFFF)}),                   // block past the end
        Cat({{netproto::kServerInfo, 0, 0}, U32Le(8), U32Le(0), U32Le(2000)}),     // server data over cap
        Cat({{netproto::kReject}, U32Le(1), {0}}),                                 // reject with a tail
    };
    for (const Bytes& b : bad) fake.Send(b);
    fake.Send(Cat({Frame({42}), {'k'}}));
    ASSERT_TRUE(PumpUntil([&] { return cap.Count() == 1; }, {&client}));
    EXPECT_TRUE(client.IsConnected());
    EXPECT_EQ(client.GetClientNumber(), 5u);
    client.Lock();
    ASSERT_EQ(client.GetPlayers().size(), 1u);
    EXPECT_EQ(client.GetPlayers()[0].name, "me");
    EXPECT_EQ(client.GetOwnIndex(), 0);
    EXPECT_EQ(client.GetServerName(), "srv");
    client.Unlock();
}

TEST(NetMalformed, BrokenEnumerationAnswersMakeNoHostRecord) {
    Bytes answers[] = {
        Bytes{'E', 'N', 'A', '1'},                                                       // magic only
        Cat({{'E', 'N', 'A', '1'}, Bytes(netproto::kApplicationGuid, netproto::kApplicationGuid + 16),
             U32Le(0), U32Le(1), U32Le(2), {200, 0}}),                                  // name over 64
        Cat({{'E', 'N', 'A', '1'}, Bytes(netproto::kApplicationGuid, netproto::kApplicationGuid + 16),
             U32Le(0), U32Le(1), U32Le(2), {0, 0}, U32Le(0xFFFFFFFF)}),                 // data past the end
    };
    for (const Bytes& answer : answers) {
        RawPeer fake(true);
        fake.enumAnswer = answer;
        ZKClient client;
        client.EnumerateHosts(SharedString("localhost"), fake.host->Port());
        PumpFor(0.3, {&client});
        client.Lock();
        EXPECT_TRUE(client.GetHosts().empty());
        client.Unlock();
    }
}
