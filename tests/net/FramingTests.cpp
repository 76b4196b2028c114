// Framing, dispatch, the payload reader and the control-message codecs, without a session.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "engine/net/NetProtocol.h"
#include "tests/net/NetTestSupport.h"

using namespace nettest;

TEST(NetFraming, DispatchGoesToTheFirstChannelWithTheId) {
    ZKClient client;
    CaptureClientChannel first(5), second(5), other(6);
    client.AddChannel(&first);
    client.AddChannel(&second);
    client.AddChannel(&other);
    EXPECT_EQ(first.GetClient(), &client);

    const uint8_t oneByte[] = {5};
    client.DispatchFrame(oneByte, 1);
    ASSERT_EQ(first.Count(), 1u);
    EXPECT_TRUE(first.Got()[0].empty()) << "a one-byte frame has a payload of size 0";
    EXPECT_EQ(second.Count(), 0u);

    const uint8_t unknown[] = {200, 1, 2};
    client.DispatchFrame(unknown, 3);
    client.DispatchFrame(unknown, 0);
    client.DispatchFrame(nullptr, 4);
    EXPECT_EQ(first.Count() + second.Count() + other.Count(), 1u);

    client.RemoveChannel(&first);
    EXPECT_EQ(first.GetClient(), nullptr);
    const uint8_t frame[] = {5, 9, 8};
    client.DispatchFrame(frame, 3);
    EXPECT_EQ(first.Count(), 1u);
    ASSERT_EQ(second.Count(), 1u);
    EXPECT_EQ(second.Got()[0], (Bytes{9, 8}));
}

TEST(NetFraming, ReceiversMayChangeTheChannelListWhileTheyRun) {
    // The lobby's start receiver removes itself and registers the loading screen's channel.
    struct SelfRemoving : ClientChannel {
        SelfRemoving(CaptureClientChannel* next) : ClientChannel(255), next(next) {}
        void Receive(const uint8_t*, int32_t) override {
            ++calls;
            ZKClient* c = GetClient();
            c->RemoveChannel(this);
            c->AddChannel(next);
        }
        CaptureClientChannel* next;
        int calls = 0;
    };
    ZKClient client;
    CaptureClientChannel loading(255);
    SelfRemoving start(&loading);
    client.AddChannel(&start);
    const uint8_t go[] = {255};
    client.DispatchFrame(go, 1);
    EXPECT_EQ(start.calls, 1);
    EXPECT_EQ(loading.Count(), 0u) << "one frame reaches one channel";
    client.DispatchFrame(go, 1);
    EXPECT_EQ(start.calls, 1);
    EXPECT_EQ(loading.Count(), 1u);
}

TEST(NetFraming, ChannelsLeaveTheirEndpointWhenDestroyed) {
    ZKClient client;
    auto dead = std::make_unique<CaptureClientChannel>(3);
    client.AddChannel(dead.get());
    dead.reset();
    const uint8_t frame[] = {3, 1};
    client.DispatchFrame(frame, 2);  // would reach freed memory if the channel stayed listed

    auto owned = std::make_unique<ZKClient>();
    CaptureClientChannel survivor(3);
    owned->AddChannel(&survivor);
    owned.reset();
    EXPECT_EQ(survivor.GetClient(), nullptr) << "destroying the client clears every owner";
}

TEST(NetFraming, ServerDispatchPassesTheSenderIndex) {
    ZKServer server(SharedString("s"), SharedString("S"), 0, 4);
    CaptureServerChannel a(7);
    server.AddChannel(&a);
    const uint8_t frame[] = {7, 1, 2};
    server.DispatchFrame(3, frame, 3);
    server.DispatchFrame(-1, frame, 1);
    EXPECT_EQ(a.Senders(), (std::vector<int32_t>{3, -1}));
    EXPECT_EQ(a.Got()[1].size(), 0u);
    server.RemoveChannel(&a);
    EXPECT_EQ(a.GetServer(), nullptr);
}

TEST(NetFraming, PayloadReaderFailsStickilyAndReadsLittleEndian) {
    const uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07};
    PayloadReader r(bytes, sizeof bytes);
    EXPECT_EQ(r.u8(), 0x01);
    EXPECT_EQ(r.u32(), 0x05040302u) << "unaligned";
    EXPECT_EQ(r.remaining(), 2u);
    EXPECT_EQ(r.u32(), 0u) << "past the end";
    EXPECT_FALSE(r.ok());
    EXPECT_EQ(r.u8(), 0) << "failure is sticky";
    EXPECT_EQ(r.remaining(), 0u);

    PayloadReader s(bytes, sizeof bytes);
    EXPECT_TRUE(s.str(8).empty());
    EXPECT_FALSE(s.ok());
    PayloadReader t(bytes, sizeof bytes);
    EXPECT_FALSE(t.skip(std::numeric_limits<size_t>::max())) << "no overflow on huge lengths";
    PayloadReader u(bytes, sizeof bytes);
    EXPECT_FALSE(u.ExpectExactly(6));
    EXPECT_TRUE(PayloadReader(bytes, 7).ExpectAtLeast(7));

    std::vector<uint8_t> out;
    PayloadWriter w(out);
    w.f32(std::numeric_limits<float>::quiet_NaN());
    w.f32(std::numeric_limits<float>::infinity());
    w.f32(2.5f);
    PayloadReader f(out.data(), out.size());
    f.f32Finite();
    EXPECT_FALSE(f.ok());
    PayloadReader g(out.data() + 8, 4);
    EXPECT_EQ(g.f32Finite(), 2.5f);
    EXPECT_TRUE(g.ok());

    EXPECT_EQ(plat::NetAddress{}.IpText(), "0.0.0.0") << "an unknown address";
    EXPECT_EQ(plat::LoopbackAddress(1).IpText(), "127.0.0.1");

    std::vector<int> three(3);
    EXPECT_TRUE(InRange(2, three));
    EXPECT_FALSE(InRange(3, three));
    EXPECT_FALSE(InRange(-1, three));
}

TEST(NetFraming, ControlMessagesRoundTrip) {
    std::vector<uint8_t> m;
    netproto::ServerInfo info;
    info.name = "Lobby";
    info.serverData = {1, 2, 3};
    info.players = {{0, 4, "ann", {9, 9}}, {0, 7, "bob", {}}};
    netproto::BuildServerInfo(m, info);
    ASSERT_EQ(m[0], netproto::kServerInfo);
    netproto::ServerInfo back;
    ASSERT_TRUE(netproto::ParseServerInfo(m.data() + 1, m.size() - 1, back));
    EXPECT_EQ(back.name, "Lobby");
    EXPECT_EQ(back.serverData, info.serverData);
    ASSERT_EQ(back.players.size(), 2u);
    EXPECT_EQ(back.players[1].number, 7u);
    EXPECT_EQ(back.players[0].data, (Bytes{9, 9}));

    const uint8_t data[6] = {1, 0, 0, 0, 5, 6};
    ASSERT_TRUE(netproto::BuildClientInfo(m, std::string(100, 'n'), data, 6));
    netproto::ClientInfo ci;
    ASSERT_TRUE(netproto::ParseClientInfo(m.data() + 1, m.size() - 1, ci));
    EXPECT_EQ(ci.name.size(), 64u) << "names are cut to 64 bytes on send";
    EXPECT_EQ(ci.data, Bytes(data, data + 6));
    EXPECT_FALSE(netproto::BuildClientInfo(m, "x", data, 3));

    netproto::EnumAnswer a;
    a.echoedTicks = 1234;
    a.currentPlayers = 2;
    a.maxPlayers = 9;
    a.sessionName = "ABC";
    a.responseData = {7};
    netproto::BuildEnumAnswer(m, a);
    netproto::EnumAnswer ab;
    ASSERT_TRUE(netproto::ParseEnumAnswer(m.data(), m.size(), ab));
    EXPECT_EQ(ab.echoedTicks, 1234u);
    EXPECT_EQ(ab.maxPlayers, 9u);
    EXPECT_EQ(ab.sessionName, "ABC");

    uint8_t q[netproto::kEnumQuerySize];
    netproto::BuildEnumQuery(q, 77);
    uint32_t ticks = 0;
    EXPECT_TRUE(netproto::ParseEnumQuery(q, sizeof q, ticks));
    EXPECT_EQ(ticks, 77u);
    //EXPECT_EQ(sizeof q, m.size() - a.sessionName.size() - a.responseData.size() + 64 + 1024)
   //     << "a query is as large as the largest answer";
    EXPECT_TRUE(netproto::ParseEnumQuery(q, netproto::kEnumQueryHeaderSize, ticks)) << "the padding is not read";
    EXPECT_FALSE(netproto::ParseEnumQuery(q, netproto::kEnumQueryHeaderSize - 1, ticks));
    std::vector<uint8_t> longer(q, q + sizeof q);
    longer.push_back(0);
    EXPECT_FALSE(netproto::ParseEnumQuery(longer.data(), longer.size(), ticks)) << "larger than any query";
    q[5] ^= 1;
    EXPECT_FALSE(netproto::ParseEnumQuery(q, sizeof q, ticks)) << "another application's query";
}

TEST(NetFraming, ServerInfoParserRefusesEveryBrokenBlock) {
    auto u32 = [](std::vector<uint8_t>& v, uint32_t x) { PayloadWriter(v).u32(x); };
    auto message = [&](const std::vector<uint8_t>& block, uint16_t nameLen = 0, int32_t lengthDelta = 0) {
        std::vector<uint8_t> m;
        PayloadWriter w(m);
        w.u16(nameLen);
        for (int i = 0; i < nameLen; ++i) w.u8('n');
        w.u32(uint32_t(int64_t(block.size()) + lengthDelta));
        w.bytes(block.data(), block.size());
        return m;
    };
    auto block = [&](uint32_t s, uint32_t n, std::vector<std::pair<uint32_t, uint32_t>> players, size_t pad = 0) {
        std::vector<uint8_t> b;
        u32(b, 0);
        u32(b, s);
        b.resize(b.size() + std::min<size_t>(s, 1024));
        u32(b, n);
        for (auto [nameLen, dataLen] : players) {
            u32(b, 0);
            u32(b, 1);
            u32(b, nameLen);
            b.resize(b.size() + std::min<size_t>(nameLen, 64), 'a');
            u32(b, dataLen);
            b.resize(b.size() + std::min<size_t>(dataLen, 300), 1);
        }
        b.resize(b.size() + pad);
        return b;
    };
    struct Case { const char* what; std::vector<uint8_t> msg; bool ok; } cases[] = {
        {"good", message(block(3, 1, {{3, 12}})), true},
        {"empty table", message(block(0, 0, {})), true},
        {"empty message", {}, false},
        {"name longer than its cap", message(block(0, 0, {}), 65), false},
        {"block length larger than the message", message(block(0, 0, {}), 0, 1), false},
        {"block length smaller than the message", message(block(0, 0, {}), 0, -1), false},
        {"server data over 1024", message(block(1025, 0, {})), false},
        {"count without entries", message(block(0, 3, {})), false},
        {"huge count", message(block(0, 0xFFFFFFFFu, {})), false},
        {"player name over 64", message(block(0, 1, {{65, 0}})), false},
        {"player data over 252", message(block(0, 1, {{1, 253}})), false},
        {"player data length past the end", message(block(0, 1, {{1, 0x7FFFFFFF}})), false},
        {"trailing bytes", message(block(0, 0, {}, 1)), false},
    };
    for (const Case& c : cases) {
        netproto::ServerInfo info;
        info.name = "keep";
        bool ok = netproto::ParseServerInfo(c.msg.data(), c.msg.size(), info);
        EXPECT_EQ(ok, c.ok) << c.what;
        if (!ok) {
            EXPECT_EQ(info.name, "keep") << c.what << ": a refused message changes nothing";
        }
    }
}

TEST(NetFraming, ObjectStatesReachOnlyTheObjectWithTheirId) {
    struct Obj : NetObject {
        int32_t WriteState(uint8_t*, int32_t) override { return 0; }
        void ReadState(const uint8_t* data, int32_t size) override { got.emplace_back(data, data + size); }
        std::vector<Bytes> got;
    };
    ZKClient client;
    ObjectChannel chan;
    Obj first, second;
    chan.Register(&first);
    chan.Register(&second);
    EXPECT_EQ(first.flags, 0) << "a new object sends nothing until told to";
    client.AddChannel(&chan);
    struct Case { Bytes frame; size_t firstReads, secondReads; } cases[] = {
        {{1, 1, 0, 0, 0, 7, 8}, 0, 1},        // id 1: the second object, state {7, 8}
        {{1, 0, 0, 0, 0}, 1, 1},              // id 0 with an empty state
        {{1, 2, 0, 0, 0, 9}, 1, 1},           // no object carries id 2: ignored
        {{1, 0xFF, 0xFF, 0xFF, 0xFF}, 1, 1},  // nor id 0xFFFFFFFF
        {{1, 1, 0, 0}, 1, 1},                 // shorter than an object id
        {{1}, 1, 1},
    };
    for (const Case& c : cases) {
        client.DispatchFrame(c.frame.data(), c.frame.size());
        EXPECT_EQ(first.got.size(), c.firstReads);
        EXPECT_EQ(second.got.size(), c.secondReads);
    }
    EXPECT_EQ(second.got[0], (Bytes{7, 8}));
    EXPECT_TRUE(first.got[0].empty());
    client.RemoveChannel(&chan);
}
