// Eight clients on 127.0.0.1 exchange 301-byte car snapshots (1 channel id + 4 object id +
// 296 state) at 75 Hz through one server, as in an eight-player game, once through the session
// (ZKServer, ZKClient, object channels) and once through raw ENet calls making the same sends:
// the same packets on the same channels, the server relaying each snapshot to the seven other
// clients. Both run the same game loop (every millisecond: take in what arrived; every 1/75 s:
// send), one after the other in rounds, in alternating order; cpu_x_raw and rtt_x_raw are the
// medians over the rounds of the session's figure divided by the raw loop's in the same round.
//
// CPU: process CPU time over wall time while one of the two runs. Round trip without extra
// traffic: each client pairs with a partner and echoes, inside its own next snapshot, the
// partner's latest sequence, send time and how long it held it; the partner takes now - send
// time - hold time when the echo comes back.
#include <benchmark/benchmark.h>
#include <enet/enet.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <memory>
#include <thread>
#include <vector>

#include "engine/net/ObjectChannel.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"

namespace {

constexpr int kClients = 8;
constexpr int kStateBytes = 296;
constexpr double kTickSeconds = 1.0 / 75.0;
constexpr double kRoundSeconds = 1.0;
constexpr int kRounds = 15;

using Clock = std::chrono::steady_clock;

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now().time_since_epoch()).count();
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

double Median(std::vector<double> v) {
    if (v.empty()) return -1.0;
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Wire {
    uint32_t seq;
    int64_t sendNs;
    uint32_t echoSeq;  // 0: nothing to echo yet
    int64_t echoSendNs;
    int64_t echoHoldNs;
};

// One client's side of the round-trip measurement, whatever carries the snapshots.
struct Endpoint {
    int index = 0;
    int partner = 0;
    uint32_t seq = 0;
    uint32_t partnerSeq = 0;
    int64_t partnerSendNs = 0, partnerRecvNs = 0;
    uint64_t received = 0;
    std::vector<double>* rtts = nullptr;

    void Write(uint8_t* state) {
        Wire w{++seq, NowNs(), partnerSeq, partnerSendNs, 0};
        if (w.echoSeq) w.echoHoldNs = w.sendNs - partnerRecvNs;
        std::memset(state, 0, kStateBytes);
        std::memcpy(state, &w, sizeof w);
    }
    void Read(int car, const uint8_t* state, size_t size) {
        if (size < sizeof(Wire)) return;
        Wire w;
        std::memcpy(&w, state, sizeof w);
        ++received;
        if (car != partner) return;
        partnerSeq = w.seq;
        partnerSendNs = w.sendNs;
        partnerRecvNs = NowNs();
        if (w.echoSeq && rtts) rtts->push_back(double(NowNs() - w.echoSendNs - w.echoHoldNs) * 1e-6);
    }
};

struct Figures {
    double cpuShare = 0;
    double rttMedianMs = -1;
    double delivered = 0;
};

// The shared game loop: every millisecond take in what arrived, every tick send.
template <class Pump, class Tick>
Figures RunLoop(Pump pump, Tick tick, std::vector<Endpoint>& endpoints, std::vector<double>& rtts) {
    rtts.clear();
    for (Endpoint& e : endpoints) e.received = 0;
    uint64_t ticks = 0;
    const double cpu0 = CpuSeconds();
    const auto start = Clock::now();
    const auto end = start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kRoundSeconds));
    auto nextTick = start;
    while (Clock::now() < end) {
        pump();
        if (Clock::now() >= nextTick) {
            tick();
            ++ticks;
            nextTick += std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kTickSeconds));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Figures f;
    f.cpuShare = (CpuSeconds() - cpu0) / std::chrono::duration<double>(Clock::now() - start).count();
    f.rttMedianMs = Median(rtts);
    uint64_t received = 0;
    for (Endpoint& e : endpoints) received += e.received;
    f.delivered = ticks ? double(received) / double(ticks * kClients * (kClients - 1)) : 0.0;
    return f;
}

// ---- The session ----

struct SessionPeer;

// Car `index` as seen on one client: the client's own car writes, the others read.
struct Car : NetObject {
    Endpoint* endpoint = nullptr;
    int index = 0;
    int32_t WriteState(uint8_t* buffer, int32_t capacity) override {
        if (capacity < kStateBytes) return kStateBytes;
        endpoint->Write(buffer);
        return kStateBytes;
    }
    void ReadState(const uint8_t* data, int32_t size) override { endpoint->Read(index, data, size_t(size)); }
};

struct SessionPeer {
    std::unique_ptr<ZKClient> client;
    ObjectChannel channel;
    Car cars[kClients];
};

bool RunSession(std::vector<Endpoint>& endpoints, std::vector<double>& rtts, Figures& out) {
    ZKServer server(SharedString("Creating..."), SharedString("BEN"), 0, kClients);
    ObjectChannel relay;
    server.AddChannel(&relay);
    std::vector<std::unique_ptr<SessionPeer>> peers;
    for (int i = 0; i < kClients; ++i) {
        auto p = std::make_unique<SessionPeer>();
        p->client = std::make_unique<ZKClient>();
        for (int c = 0; c < kClients; ++c) {
            p->cars[c].endpoint = &endpoints[size_t(i)];
            p->cars[c].index = c;
            p->channel.Register(&p->cars[c]);
        }
        p->cars[i].flags = NetObject::kSendEveryUpdate;
        p->client->EnumerateHosts(SharedString("localhost"), server.GetPort());
        const auto deadline = Clock::now() + std::chrono::seconds(5);
        bool joined = false;
        while (!joined && Clock::now() < deadline) {
            p->client->Update(0.0f);
            p->client->Lock();
            bool found = !p->client->GetHosts().empty();
            p->client->Unlock();
            if (found) joined = p->client->Connect(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!joined) return false;
        p->client->AddChannel(&p->channel);
        peers.push_back(std::move(p));
    }
    out = RunLoop([&] { for (auto& p : peers) p->client->Update(0.001f); },
                  [&] { for (auto& p : peers) p->channel.Update(float(kTickSeconds)); }, endpoints, rtts);
    for (auto& p : peers) p->client->RemoveChannel(&p->channel);
    return true;
}

// ---- Raw ENet ----

struct RawSession {
    ENetHost* server = nullptr;
    ENetHost* clients[kClients] = {};
    ENetPeer* toServer[kClients] = {};

    ~RawSession() {
        for (ENetHost* c : clients)
            if (c) enet_host_destroy(c);
        if (server) enet_host_destroy(server);
    }
};

bool RunRaw(std::vector<Endpoint>& endpoints, std::vector<double>& rtts, Figures& out) {
    RawSession s;
    ENetAddress bind{};
    enet_address_set_host_ip(&bind, "127.0.0.1");
    bind.port = 0;
    s.server = enet_host_create(&bind, kClients + 1, 2, 0, 0);
    if (!s.server) return false;
    ENetAddress bound{};
    enet_socket_get_address(s.server->socket, &bound);
    ENetAddress to{};
    enet_address_set_host_ip(&to, "127.0.0.1");
    to.port = bound.port;
    for (int i = 0; i < kClients; ++i) {
        s.clients[i] = enet_host_create(nullptr, 1, 2, 0, 0);
        if (!s.clients[i]) return false;
        s.toServer[i] = enet_host_connect(s.clients[i], &to, 2, 1);
    }
    ENetEvent ev;
    int connected = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(5);
    while (connected < 2 * kClients && Clock::now() < deadline) {
        while (enet_host_service(s.server, &ev, 0) > 0) connected += ev.type == ENET_EVENT_TYPE_CONNECT;
        for (ENetHost* c : s.clients)
            while (enet_host_service(c, &ev, 0) > 0) connected += ev.type == ENET_EVENT_TYPE_CONNECT;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    if (connected < 2 * kClients) return false;

    // Transport byte, channel id, object id, state: the packet the session sends.
    constexpr size_t kPacket = 2 + 4 + kStateBytes;
    auto pump = [&] {
        while (enet_host_service(s.server, &ev, 0) > 0) {
            if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
            for (size_t p = 0; p < s.server->peerCount; ++p) {
                ENetPeer* peer = &s.server->peers[p];
                if (peer == ev.peer || peer->state != ENET_PEER_STATE_CONNECTED) continue;
                enet_peer_send(peer, 1,
                               enet_packet_create(ev.packet->data, ev.packet->dataLength, ENET_PACKET_FLAG_UNSEQUENCED));
            }
            enet_packet_destroy(ev.packet);
        }
        for (int i = 0; i < kClients; ++i) {
            while (enet_host_service(s.clients[i], &ev, 0) > 0) {
                if (ev.type != ENET_EVENT_TYPE_RECEIVE) continue;
                if (ev.packet->dataLength == kPacket) {
                    uint32_t car;
                    std::memcpy(&car, ev.packet->data + 2, 4);
                    endpoints[size_t(i)].Read(int(car), ev.packet->data + 6, kStateBytes);
                }
                enet_packet_destroy(ev.packet);
            }
        }
    };
    auto tick = [&] {
        for (int i = 0; i < kClients; ++i) {
            ENetPacket* packet = enet_packet_create(nullptr, kPacket, ENET_PACKET_FLAG_UNSEQUENCED);
            packet->data[0] = 0;
            packet->data[1] = kObjectChannelId;
            const uint32_t car = uint32_t(i);
            std::memcpy(packet->data + 2, &car, 4);
            endpoints[size_t(i)].Write(packet->data + 6);
            enet_peer_send(s.toServer[i], 1, packet);
            enet_host_flush(s.clients[i]);
        }
    };
    out = RunLoop(pump, tick, endpoints, rtts);
    return true;
}

void BM_EightClientsSnapshotsAt75Hz(benchmark::State& state) {
    if (enet_initialize() != 0) {
        state.SkipWithError("ENet did not start");
        return;
    }
    std::vector<double> rtts;
    rtts.reserve(1 << 16);
    std::vector<Endpoint> endpoints(kClients);
    for (int i = 0; i < kClients; ++i) {
        endpoints[size_t(i)].index = i;
        endpoints[size_t(i)].partner = i ^ 1;
        endpoints[size_t(i)].rtts = &rtts;
    }
    std::vector<double> cpuRatio, rttRatio, sessionCpu, rawCpu, sessionRtt, rawRtt, sessionDelivered;
    auto reset = [&] {
        for (Endpoint& e : endpoints) e = Endpoint{e.index, e.partner, 0, 0, 0, 0, 0, &rtts};
    };
    for (auto _ : state) {
        for (int round = 0; round < kRounds; ++round) {
            // Alternate which goes first, so a drift in the machine's load favours neither.
            Figures raw, session;
            bool ok = true;
            for (int part = 0; part < 2 && ok; ++part) {
                reset();
                if ((part == 0) == (round % 2 == 0))
                    ok = RunRaw(endpoints, rtts, raw);
                else
                    ok = RunSession(endpoints, rtts, session);
            }
            if (!ok) {
                state.SkipWithError("the clients could not connect");
                break;
            }
            cpuRatio.push_back(session.cpuShare / raw.cpuShare);
            rttRatio.push_back(session.rttMedianMs / raw.rttMedianMs);
            sessionCpu.push_back(session.cpuShare);
            rawCpu.push_back(raw.cpuShare);
            sessionRtt.push_back(session.rttMedianMs);
            rawRtt.push_back(raw.rttMedianMs);
            sessionDelivered.push_back(session.delivered);
        }
    }
    enet_deinitialize();
    state.counters["cpu_x_raw"] = Median(cpuRatio);
    state.counters["rtt_x_raw"] = Median(rttRatio);
    state.counters["cpu_share"] = Median(sessionCpu);
    state.counters["cpu_share_raw"] = Median(rawCpu);
    state.counters["rtt_ms"] = Median(sessionRtt);
    state.counters["rtt_ms_raw"] = Median(rawRtt);
    state.counters["delivered"] = Median(sessionDelivered);
}

} // namespace

BENCHMARK(BM_EightClientsSnapshotsAt75Hz)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
