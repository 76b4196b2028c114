// Eight clients on 127.0.0.1 exchange 301-byte car snapshots (1 channel id + 4 object id +
// 296 state) at 75 Hz through one server, as in an eight-player game. Reports the process's
// CPU share (CPU time over wall time, 1.0 = one core) and the snapshot round-trip time.
//
// Round trip without extra traffic: each client pairs with a partner and echoes, inside its own
// next snapshot, the partner's latest sequence, send time and how long it held it; the partner
// takes now - send time - hold time when the echo comes back.
#include <benchmark/benchmark.h>

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

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

double CpuSeconds() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

struct Peer;

// Car `index` as seen on one client: the client's own car writes, the others read.
struct Car : NetObject {
    Peer* peer = nullptr;
    int index = 0;
    int32_t WriteState(uint8_t* buffer, int32_t capacity) override;
    void ReadState(const uint8_t* data, int32_t size) override;
};

struct Wire {
    uint32_t seq;
    int64_t sendNs;
    uint32_t echoSeq;  // 0: nothing to echo yet
    int64_t echoSendNs;
    int64_t echoHoldNs;
};

struct Peer {
    int index = 0;
    int partner = 0;
    std::unique_ptr<ZKClient> client;
    ObjectChannel channel;
    Car cars[kClients];
    uint32_t seq = 0;
    // Latest snapshot from the partner: its sequence, its send time and when it arrived.
    uint32_t partnerSeq = 0;
    int64_t partnerSendNs = 0, partnerRecvNs = 0;
    uint64_t received = 0;
    std::vector<double>* rtts = nullptr;
};

int32_t Car::WriteState(uint8_t* buffer, int32_t capacity) {
    if (capacity < kStateBytes) return kStateBytes;
    Wire w{++peer->seq, NowNs(), peer->partnerSeq, peer->partnerSendNs, 0};
    if (w.echoSeq) w.echoHoldNs = w.sendNs - peer->partnerRecvNs;
    std::memset(buffer, 0, kStateBytes);
    std::memcpy(buffer, &w, sizeof w);
    return kStateBytes;
}

void Car::ReadState(const uint8_t* data, int32_t size) {
    if (size < int32_t(sizeof(Wire))) return;
    Wire w;
    std::memcpy(&w, data, sizeof w);
    ++peer->received;
    if (index != peer->partner) return;
    peer->partnerSeq = w.seq;
    peer->partnerSendNs = w.sendNs;
    peer->partnerRecvNs = NowNs();
    if (w.echoSeq && peer->rtts) peer->rtts->push_back(double(NowNs() - w.echoSendNs - w.echoHoldNs) * 1e-6);
}

void BM_EightClientsSnapshotsAt75Hz(benchmark::State& state) {
    ZKServer server(SharedString("Creating..."), SharedString("BEN"), 0, kClients);
    ObjectChannel relay;
    server.AddChannel(&relay);
    std::vector<double> rtts;
    rtts.reserve(1 << 16);
    std::vector<std::unique_ptr<Peer>> peers;
    for (int i = 0; i < kClients; ++i) {
        auto p = std::make_unique<Peer>();
        p->index = i;
        p->partner = i ^ 1;
        p->rtts = &rtts;
        p->client = std::make_unique<ZKClient>();
        for (int c = 0; c < kClients; ++c) {
            p->cars[c].peer = p.get();
            p->cars[c].index = c;
            p->channel.Register(&p->cars[c]);
        }
        p->cars[i].flags = NetObject::kSendEveryUpdate;
        p->client->EnumerateHosts(SharedString("localhost"), server.GetPort());
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        bool joined = false;
        while (!joined && std::chrono::steady_clock::now() < deadline) {
            p->client->Update(0.0f);
            p->client->Lock();
            bool found = !p->client->GetHosts().empty();
            p->client->Unlock();
            if (found) joined = p->client->Connect(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        if (!joined) {
            state.SkipWithError("a client could not join");
            return;
        }
        p->client->AddChannel(&p->channel);
        peers.push_back(std::move(p));
    }

    const double seconds = 3.0;
    uint64_t ticks = 0;
    for (auto _ : state) {
        double cpu0 = CpuSeconds();
        auto start = std::chrono::steady_clock::now();
        auto nextTick = start;
        auto end = start + std::chrono::duration<double>(seconds);
        while (std::chrono::steady_clock::now() < end) {
            auto now = std::chrono::steady_clock::now();
            for (auto& p : peers) p->client->Update(0.001f);
            if (now >= nextTick) {
                for (auto& p : peers) p->channel.Update(float(kTickSeconds));
                ++ticks;
                nextTick += std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                    std::chrono::duration<double>(kTickSeconds));
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.counters["cpu_share"] = (CpuSeconds() - cpu0) / wall;
    }

    uint64_t received = 0;
    for (auto& p : peers) received += p->received;
    std::sort(rtts.begin(), rtts.end());
    state.counters["rtt_median_ms"] = rtts.empty() ? -1.0 : rtts[rtts.size() / 2];
    state.counters["rtt_p95_ms"] = rtts.empty() ? -1.0 : rtts[rtts.size() * 95 / 100];
    state.counters["delivered"] = ticks ? double(received) / double(ticks * kClients * (kClients - 1)) : 0.0;
    state.counters["snapshots_per_s"] = double(ticks * kClients) / seconds;
    for (auto& p : peers) p->client->RemoveChannel(&p->channel);
}

} // namespace

BENCHMARK(BM_EightClientsSnapshotsAt75Hz)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();
