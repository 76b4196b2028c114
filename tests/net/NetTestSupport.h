#pragma once
#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine/net/ChatChannel.h"
#include "engine/net/NetProtocol.h"
#include "engine/net/ObjectChannel.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"

namespace nettest {

using Bytes = std::vector<uint8_t>;

// Calls Update on the clients until the predicate holds or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, std::initializer_list<ZKClient*> clients,
                      double seconds = 5.0, float dt = 0.001f) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    for (;;) {
        for (ZKClient* c : clients) c->Update(dt);
        if (done()) return true;
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

inline void PumpFor(double seconds, std::initializer_list<ZKClient*> clients) {
    PumpUntil([] { return false; }, clients, seconds);
}

// True once a host search has had an answer.
inline bool FoundHost(ZKClient& c) {
    c.Lock();
    bool found = !c.GetHosts().empty();
    c.Unlock();
    return found;
}

// Searches 127.0.0.1 at the port and connects to the first answer.
inline bool Join(ZKClient& client, uint16_t port) {
    client.EnumerateHosts(SharedString("localhost"), port);
    if (!PumpUntil([&] { return FoundHost(client); }, {&client})) return false;
    return client.Connect(0);
}

inline size_t PlayerCount(ZKClient& c) {
    c.Lock();
    size_t n = c.GetPlayers().size();
    c.Unlock();
    return n;
}

inline std::vector<std::string> PlayerNames(ZKClient& c) {
    std::vector<std::string> names;
    c.Lock();
    for (const ClientPlayerEntry& p : c.GetPlayers()) names.emplace_back(p.name.View());
    c.Unlock();
    return names;
}

inline size_t ServerPlayerCount(ZKServer& s) {
    s.Lock();
    size_t n = s.GetPlayers().size();
    s.Unlock();
    return n;
}

// The payloads a capturing channel has received, read under its mutex.
struct PayloadLog {
    size_t Count() {
        std::lock_guard<std::mutex> lock(m);
        return got.size();
    }
    std::vector<Bytes> Got() {
        std::lock_guard<std::mutex> lock(m);
        return got;
    }
    std::mutex m;
    std::vector<Bytes> got;
};

// Client channel that keeps every payload it gets.
class CaptureClientChannel : public ClientChannel, public PayloadLog {
public:
    explicit CaptureClientChannel(uint8_t id) : ClientChannel(id) {}
    void Receive(const uint8_t* payload, int32_t size) override {
        std::lock_guard<std::mutex> lock(m);
        got.emplace_back(payload, payload + size);
    }
};

// Server channel that keeps every payload and its sender index; an optional hook runs inside
// the receive (under the server mutex).
class CaptureServerChannel : public ServerChannel, public PayloadLog {
public:
    explicit CaptureServerChannel(uint8_t id) : ServerChannel(id) {}
    void Receive(int32_t sender, const uint8_t* payload, int32_t size) override {
        {
            std::lock_guard<std::mutex> lock(m);
            got.emplace_back(payload, payload + size);
            senders.push_back(sender);
        }
        if (hook) hook(sender, payload, size);
    }
    std::vector<int32_t> Senders() {
        std::lock_guard<std::mutex> lock(m);
        return senders;
    }
    std::function<void(int32_t, const uint8_t*, int32_t)> hook;
    std::vector<int32_t> senders;
};

class LineCollector : public ChatListener {
public:
    void OnChatLine(SharedString line) override { lines.emplace_back(line.View()); }
    std::vector<std::string> lines;
};

// A bare transport endpoint that speaks whatever bytes a test gives it.
class RawPeer : public plat::NetHostListener {
public:
    explicit RawPeer(bool server = false) {
        if (server) {
            plat::NetHostConfig config;
            config.port = 0;
            host = plat::NetHost::CreateServer(config, this);
        } else {
            host = plat::NetHost::CreateClient(this);
        }
        host->Start();
    }
    ~RawPeer() override { host.reset(); }

    void OnPeerConnected(plat::NetPeerHandle p, uint32_t) override {
        std::lock_guard<std::mutex> lock(m);
        peer = p;
        connected = true;
    }
    void OnPeerDisconnected(plat::NetPeerHandle) override { disconnected = true; }
    void OnPacket(plat::NetPeerHandle, const uint8_t* data, size_t size) override {
        std::lock_guard<std::mutex> lock(m);
        packets.emplace_back(data, data + size);
    }
    bool OnRawDatagram(const plat::NetAddress&, const uint8_t* data, size_t size, plat::NetRawReply& reply) override {
        uint32_t ticks;
        if (netproto::ParseEnumQuery(data, size, ticks) && !enumAnswer.empty()) {
            reply.Reply(enumAnswer.data(), enumAnswer.size());
            return true;
        }
        netproto::EnumAnswer answer;
        if (!netproto::ParseEnumAnswer(data, size, answer)) return false;
        std::lock_guard<std::mutex> lock(m);
        answers.push_back(HostAnswer{size, answer.echoedTicks});
        return true;
    }
    void Send(const Bytes& bytes) {
        plat::NetPeerHandle p;
        {
            std::lock_guard<std::mutex> lock(m);
            p = peer;
        }
        host->Send(p, {}, bytes, plat::NetDelivery::Reliable, true);
    }
    size_t PacketCount() {
        std::lock_guard<std::mutex> lock(m);
        return packets.size();
    }
    // Host-search answers this peer has had: their size and the query time they echo.
    struct HostAnswer {
        size_t size;
        uint32_t ticks;
    };
    std::vector<HostAnswer> Answers() {
        std::lock_guard<std::mutex> lock(m);
        return answers;
    }

    std::unique_ptr<plat::NetHost> host;
    std::mutex m;
    plat::NetPeerHandle peer = plat::kNoNetPeer;
    std::atomic<bool> connected{false}, disconnected{false};
    std::vector<Bytes> packets;
    std::vector<HostAnswer> answers;
    Bytes enumAnswer;  // set before any query arrives
};

} // namespace nettest
