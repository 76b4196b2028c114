#include "platform/net/NetHost.h"

#include <enet/enet.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

namespace plat {
namespace {

// enet_initialize once while any host lives.
std::mutex g_initLock;
int g_initCount = 0;

bool AcquireLibrary() {
    std::lock_guard<std::mutex> lock(g_initLock);
    if (g_initCount == 0 && enet_initialize() != 0) return false;
    ++g_initCount;
    return true;
}

void ReleaseLibrary() {
    std::lock_guard<std::mutex> lock(g_initLock);
    if (g_initCount > 0 && --g_initCount == 0) enet_deinitialize();
}

ENetAddress ToEnet(const NetAddress& a) {
    ENetAddress e;
    e.host = a.host;
    e.port = a.port;
    return e;
}

NetPeerHandle MakeHandle(size_t slot, uint32_t connectId) {
    return (NetPeerHandle(connectId) << 32) | NetPeerHandle(uint32_t(slot));
}

size_t SlotOf(NetPeerHandle h) { return size_t(uint32_t(h)); }
uint32_t ConnectIdOf(NetPeerHandle h) { return uint32_t(h >> 32); }

// What one peer slot has queued: packets not yet sent (unsequenced) or acknowledged
// (reliable), and the reliable packets' bytes.
struct SlotQueue {
    std::atomic<int32_t> packets{0};
    std::atomic<size_t> reliableBytes{0};
};

// Packet free callback: the queue of the packet's peer slot. Runs under the ENet lock.
void OnPacketFree(ENetPacket* packet) {
    auto* queue = static_cast<SlotQueue*>(packet->userData);
    if (!queue) return;
    queue->packets.fetch_sub(1, std::memory_order_relaxed);
    if (packet->flags & ENET_PACKET_FLAG_RELIABLE)
        queue->reliableBytes.fetch_sub(packet->dataLength, std::memory_order_relaxed);
}

// A packet waiting for its turn on a paced link.
struct WaitingPacket {
    ENetPacket* packet;
    int64_t deadlineNs;  // unsequenced packets only; 0 none
    uint8_t channel;
};

// Packets of one priority in the order sent. The storage is kept between bursts, so a paced
// link allocates nothing once its queue has reached its usual length.
class WaitingLane {
public:
    bool Empty() const { return head_ == items_.size(); }
    void Push(const WaitingPacket& p) { items_.push_back(p); }
    WaitingPacket Pop() {
        const WaitingPacket p = items_[head_++];
        if (Empty()) Clear();
        return p;
    }
    // Removes the packets for which drop(p) is true (drop frees them), keeping the others' order.
    template <class Drop>
    void RemoveIf(Drop drop) {
        items_.erase(std::remove_if(items_.begin() + std::ptrdiff_t(head_), items_.end(), drop), items_.end());
        if (Empty()) Clear();
    }
    // Hands every packet to f, then forgets them.
    template <class F>
    void TakeAll(F f) {
        for (size_t i = head_; i < items_.size(); ++i) f(items_[i]);
        Clear();
    }

private:
    void Clear() {
        items_.clear();
        head_ = 0;
    }
    std::vector<WaitingPacket> items_;
    size_t head_ = 0;
};

// One peer slot's waiting packets by priority, and its send budget in bytes.
struct SlotWaiting {
    WaitingLane high, low;
    // Reliable packets in the low lane: a reliable packet never overtakes another, whatever
    // their priorities, as the peer reads them as one ordered stream.
    size_t lowReliable = 0;
    double budget = 0.0;
    int64_t budgetAt = 0;
    bool Empty() const { return high.Empty() && low.Empty(); }
};

class InterceptReply final : public NetRawReply {
public:
    explicit InterceptReply(ENetHost* host) : host_(host) {}
    void Reply(const uint8_t* data, size_t size) override {
        ENetBuffer buffer;
        buffer.data = const_cast<uint8_t*>(data);
        buffer.dataLength = size;
        enet_socket_send(host_->socket, &host_->receivedAddress, &buffer, 1);
    }

private:
    ENetHost* host_;
};

// The host this thread is servicing (inside a turn) and its listener; the intercept callback
// has no other way to find the listener, and a send needs to know whether it runs in a turn.
thread_local const NetHost* t_host = nullptr;
thread_local NetHostListener* t_listener = nullptr;

int OnIntercept(ENetHost* host, ENetEvent* /*event*/) {
    if (!t_listener || !host->receivedData) return 0;
    InterceptReply reply(host);
    NetAddress from{host->receivedAddress.host, host->receivedAddress.port};
    return t_listener->OnRawDatagram(from, host->receivedData, host->receivedDataLength, reply) ? 1 : 0;
}

} // namespace

std::string NetAddress::IpText() const {
    char text[64] = "0.0.0.0";
    ENetAddress e = ToEnet(*this);
    if (host == 0 || enet_address_get_host_ip(&e, text, sizeof text) != 0) return "0.0.0.0";
    return text;
}

bool ResolveNetAddress(const std::string& name, uint16_t port, NetAddress& out) {
    ENetAddress e{};
    if (name.empty() || enet_address_set_host(&e, name.c_str()) != 0) return false;
    out = NetAddress{e.host, port};
    return true;
}

NetAddress LoopbackAddress(uint16_t port) {
    ENetAddress e{};
    enet_address_set_host_ip(&e, "127.0.0.1");
    return NetAddress{e.host, port};
}

NetAddress BroadcastAddress(uint16_t port) { return NetAddress{ENET_HOST_BROADCAST, port}; }

struct NetHost::Event {
    ENetEventType type;
    NetPeerHandle peer;
    uint32_t data;
    ENetPacket* packet;
};

struct NetHost::Impl {
    mutable std::mutex lock;  // the ENet lock: every call into the library takes it
    ENetHost* host = nullptr;
    bool libraryHeld = false;
    // Per slot: the connection id the slot carried when it connected, and its send queue.
    std::vector<uint32_t> slotConnectId;
    std::unique_ptr<SlotQueue[]> queued;
    // Per slot, under the ENet lock: packets waiting for a paced link.
    std::vector<SlotWaiting> waiting;
    size_t slotsWaiting = 0;  // slots whose queues are not empty
    // One turn of servicing at a time, on the network thread or the owner's.
    std::mutex turnLock;
    // Under turnLock:
    std::vector<Event> events;
    // Sends made inside a turn wait for one flush at its end.
    bool flushAtEndOfTurn = false;
};

NetHost::NetHost() : impl_(std::make_unique<Impl>()) {}

std::unique_ptr<NetHost> NetHost::CreateServer(const NetHostConfig& config, NetHostListener* listener,
                                               NetHostError* error) {
    std::unique_ptr<NetHost> host(new NetHost());
    NetHostError e = host->Init(&config, config.allowBroadcast, listener);
    if (error) *error = e;
    if (e != NetHostError::None) return nullptr;
    return host;
}

std::unique_ptr<NetHost> NetHost::CreateClient(NetHostListener* listener, bool allowBroadcast, NetHostError* error) {
    std::unique_ptr<NetHost> host(new NetHost());
    NetHostError e = host->Init(nullptr, allowBroadcast, listener);
    if (error) *error = e;
    if (e != NetHostError::None) return nullptr;
    return host;
}

NetHostError NetHost::Init(const NetHostConfig* server, bool allowBroadcast, NetHostListener* listener) {
    listener_ = listener;
    if (!AcquireLibrary()) return NetHostError::Library;
    impl_->libraryHeld = true;

    size_t peerCount = 1;
    if (server) {
        ENetAddress bind{};
        if (enet_address_set_host_ip(&bind, server->bindAddress.c_str()) != 0) return NetHostError::Address;
        bind.port = server->port;
        peerCount = std::max<size_t>(server->maxClients, 1) + 1;
        maxQueuedReliableBytes_ = server->maxQueuedReliableBytes;
        impl_->host = enet_host_create(&bind, peerCount, 2, 0, 0);
    } else {
        impl_->host = enet_host_create(nullptr, peerCount, 2, 0, 0);
    }
    ENetHost* h = impl_->host;
    if (!h) return NetHostError::Socket;

    h->mtu = kMtu;
    for (size_t i = 0; i < h->peerCount; ++i) enet_peer_reset(&h->peers[i]);
    h->maximumPacketSize = kMaxPacketSize;
    h->maximumWaitingData = kMaxWaitingData;
    h->duplicatePeers = peerCount;
    h->intercept = &OnIntercept;
    if (allowBroadcast) enet_socket_set_option(h->socket, ENET_SOCKOPT_BROADCAST, 1);

    ENetAddress bound{};
    if (enet_socket_get_address(h->socket, &bound) == 0) port_ = bound.port;

    impl_->slotConnectId.assign(h->peerCount, 0);
    impl_->queued = std::make_unique<SlotQueue[]>(h->peerCount);
    impl_->waiting.resize(h->peerCount);
    impl_->events.reserve(64);

    wakeFd_ = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    return wakeFd_ >= 0 ? NetHostError::None : NetHostError::Socket;
}

void NetHost::Start() {
    if (!thread_.joinable() && !stop_.load()) thread_ = std::thread([this] { Run(); });
}

NetHost::~NetHost() {
    Stop();
    {
        std::lock_guard<std::mutex> lock(impl_->lock);
        // Destroying the host frees queued packets; their callbacks still find the counters.
        for (size_t slot = 0; slot < impl_->waiting.size(); ++slot) DropWaitingLocked(slot);
        if (impl_->host) enet_host_destroy(impl_->host);
        impl_->host = nullptr;
    }
    if (wakeFd_ >= 0) close(wakeFd_);
    if (impl_->libraryHeld) ReleaseLibrary();
}

size_t NetHost::SlotCount() const { return impl_->host ? impl_->host->peerCount : 0; }

void NetHost::Stop() {
    if (!thread_.joinable()) return;
    stop_.store(true);
    Wake();
    thread_.join();
}

void NetHost::Wake() {
    if (wakeFd_ < 0) return;
    uint64_t one = 1;
    ssize_t ignored = write(wakeFd_, &one, sizeof one);
    (void)ignored;
}

void NetHost::FlushLocked(bool now) {
    if (now)
        enet_host_flush(impl_->host);
    else
        impl_->flushAtEndOfTurn = true;
}

int64_t NetHost::NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void NetHost::Service() {
    ownerServicedAt_.store(NowNs(), std::memory_order_relaxed);
    // A turn already running on the network thread takes in the same arrivals; the owner never
    // waits for it.
    std::unique_lock<std::mutex> turn(impl_->turnLock, std::try_to_lock);
    if (turn) ServiceTurnLocked(true);
}

void NetHost::TakeOver() {
    ownerServicedAt_.store(kNeverServiced, std::memory_order_relaxed);
    if (t_host != this) Wake();
}

uint32_t NetHost::ServiceTurn() {
    std::lock_guard<std::mutex> turn(impl_->turnLock);
    return ServiceTurnLocked(false);
}

uint32_t NetHost::ServiceTurnLocked(bool forOwner) {
    Impl& d = *impl_;
    // The owner's thread may service several hosts, and a listener may service another host.
    const NetHost* outerHost = t_host;
    NetHostListener* outerListener = t_listener;
    t_host = this;
    t_listener = listener_;
    d.events.clear();
    uint32_t wait;
    {
        std::lock_guard<std::mutex> lock(d.lock);
        const bool stillWaiting = d.slotsWaiting && PumpLocked(NowNs());
        ENetEvent ev;
        // Bounded so one flood cannot starve the loop of its other duties.
        while (d.events.size() < kEventsPerTurn && enet_host_service(d.host, &ev, 0) > 0) {
            size_t slot = size_t(ev.peer - d.host->peers);
            if (ev.type == ENET_EVENT_TYPE_CONNECT) d.slotConnectId[slot] = ev.peer->connectID;
            d.events.push_back(Event{ev.type, MakeHandle(slot, d.slotConnectId[slot]), ev.data, ev.packet});
            if (ev.type == ENET_EVENT_TYPE_DISCONNECT) {
                d.slotConnectId[slot] = 0;
                DropWaitingLocked(slot);
            }
        }
        // Only the network thread waits on the result; the owner comes back next frame anyway.
        if (d.events.size() >= kEventsPerTurn)
            wait = 0;
        else if (!forOwner)
            wait = (stillWaiting || HostIsBusyLocked()) ? kBusyTurnMs : kIdleTurnMs;
        else
            wait = kIdleTurnMs;
    }
    for (Event& e : d.events) {
        switch (e.type) {
        case ENET_EVENT_TYPE_CONNECT:
            if (listener_) listener_->OnPeerConnected(e.peer, e.data);
            break;
        case ENET_EVENT_TYPE_DISCONNECT:
            if (listener_) listener_->OnPeerDisconnected(e.peer);
            break;
        case ENET_EVENT_TYPE_RECEIVE:
            if (listener_) listener_->OnPacket(e.peer, e.packet->data, e.packet->dataLength);
            enet_packet_destroy(e.packet);
            break;
        default:
            break;
        }
    }
    if (listener_) wait = std::min(wait, listener_->OnIdle());
    if (d.flushAtEndOfTurn) {
        std::lock_guard<std::mutex> lock(d.lock);
        enet_host_flush(d.host);
        d.flushAtEndOfTurn = false;
    }
    t_host = outerHost;
    t_listener = outerListener;
    return wait;
}

bool NetHost::HostIsBusyLocked() const {
    const ENetHost* h = impl_->host;
    for (size_t i = 0; i < h->peerCount; ++i) {
        const ENetPeer& p = h->peers[i];
        if (p.state == ENET_PEER_STATE_DISCONNECTED) continue;
        // Handshakes, disconnects, unacknowledged or unsent data all run on timers.
        if (p.state != ENET_PEER_STATE_CONNECTED || !enet_list_empty(&p.sentReliableCommands) ||
            !enet_list_empty(&p.outgoingCommands) || !enet_list_empty(&p.acknowledgements))
            return true;
    }
    return false;
}

void NetHost::Run() {
    Impl& d = *impl_;
    while (!stop_.load()) {
        pollfd fds[2];
        fds[0] = pollfd{wakeFd_, POLLIN, 0};
        fds[1] = pollfd{d.host->socket, POLLIN, 0};
        int64_t standby = ownerServicedAt_.load(std::memory_order_relaxed) + kOwnerStandbyNs - NowNs();
        if (standby > 0) {
            // The owner services the socket: stay off it until the owner may have stopped.
            if (poll(fds, 1, int(standby / 1000000) + 1) > 0) DrainWake();
            continue;
        }
        uint32_t wait = ServiceTurn();
        if (wait == 0) continue;
        if (poll(fds, 2, int(wait)) > 0 && (fds[0].revents & POLLIN)) DrainWake();
    }
}

void NetHost::DrainWake() {
    uint64_t count;
    ssize_t ignored = read(wakeFd_, &count, sizeof count);
    (void)ignored;
}

void* NetHost::FindPeerLocked(NetPeerHandle handle) const {
    const Impl& d = *impl_;
    if (!d.host || handle == kNoNetPeer) return nullptr;
    size_t slot = SlotOf(handle);
    if (slot >= d.host->peerCount) return nullptr;
    ENetPeer* peer = &d.host->peers[slot];
    if (peer->connectID != ConnectIdOf(handle) || peer->state == ENET_PEER_STATE_DISCONNECTED) return nullptr;
    return peer;
}

NetPeerHandle NetHost::Connect(const NetAddress& address, uint32_t connectData) {
    // The caller is about to wait for the answer.
    TakeOver();
    std::lock_guard<std::mutex> lock(impl_->lock);
    if (!impl_->host) return kNoNetPeer;
    ENetAddress a = ToEnet(address);
    ENetPeer* peer = enet_host_connect(impl_->host, &a, 2, connectData);
    if (!peer) return kNoNetPeer;
    size_t slot = size_t(peer - impl_->host->peers);
    impl_->slotConnectId[slot] = peer->connectID;
    enet_host_flush(impl_->host);
    return MakeHandle(slot, peer->connectID);
}

NetSendResult NetHost::Send(NetPeerHandle handle, std::span<const uint8_t> head, std::span<const uint8_t> body,
                            NetDelivery delivery, bool flush, bool highPriority, uint32_t timeoutMs) {
    NetSendResult result = NetSendResult::Sent;
    // Outside a turn nothing would flush soon, and waking the network thread for it costs more
    // than the flush itself.
    const bool flushNow = flush || t_host != this;
    std::lock_guard<std::mutex> lock(impl_->lock);
    auto* peer = static_cast<ENetPeer*>(FindPeerLocked(handle));
    if (!peer || peer->state != ENET_PEER_STATE_CONNECTED) return NetSendResult::Failed;
    size_t size = head.size() + body.size();
    if (size == 0 || size > kMaxPacketSize) return NetSendResult::Failed;
    SlotQueue& queue = impl_->queued[size_t(peer - impl_->host->peers)];
    enet_uint32 flags = ENET_PACKET_FLAG_RELIABLE;
    enet_uint8 channel = 0;
    if (delivery == NetDelivery::Reliable && maxQueuedReliableBytes_ &&
        queue.reliableBytes.load(std::memory_order_relaxed) + size > maxQueuedReliableBytes_) {
        // A peer that does not take its data would hold it here without end; dropping the
        // connection also frees everything queued for it.
        DropWaitingLocked(size_t(peer - impl_->host->peers));
        enet_peer_disconnect(peer, 0);
        FlushLocked(flushNow);
        return NetSendResult::QueueFull;
    }
    if (delivery == NetDelivery::Unsequenced) {
        flags = ENET_PACKET_FLAG_UNSEQUENCED;
        channel = 1;
        // Without this flag the library sends fragments of an unsequenced packet reliably.
        size_t limit = peer->mtu - sizeof(ENetProtocolHeader) - sizeof(ENetProtocolSendFragment) -
                       (impl_->host->checksum ? sizeof(enet_uint32) : 0);
        if (size > limit) {
            flags |= ENET_PACKET_FLAG_UNRELIABLE_FRAGMENT;
            result = NetSendResult::SentAsUnreliableFragments;
        }
    }
    ENetPacket* packet = enet_packet_create(nullptr, size, flags);
    if (!packet) return NetSendResult::Failed;
    if (!head.empty()) std::memcpy(packet->data, head.data(), head.size());
    if (!body.empty()) std::memcpy(packet->data + head.size(), body.data(), body.size());
    queue.packets.fetch_add(1, std::memory_order_relaxed);
    if (flags & ENET_PACKET_FLAG_RELIABLE) queue.reliableBytes.fetch_add(size, std::memory_order_relaxed);
    packet->userData = &queue;
    packet->freeCallback = &OnPacketFree;
    const size_t slot = size_t(peer - impl_->host->peers);
    SlotWaiting& waiting = impl_->waiting[slot];
    if (sendRate_ == 0 && waiting.Empty()) {
        if (enet_peer_send(peer, channel, packet) < 0) {
            enet_packet_destroy(packet);
            return NetSendResult::Failed;
        }
    } else {
        const int64_t now = NowNs();
        const int64_t deadline =
            (delivery == NetDelivery::Unsequenced && timeoutMs) ? now + int64_t(timeoutMs) * 1000000 : 0;
        if (waiting.Empty()) ++impl_->slotsWaiting;
        const bool reliable = delivery == NetDelivery::Reliable;
        if (highPriority && !(reliable && waiting.lowReliable)) {
            waiting.high.Push(WaitingPacket{packet, deadline, channel});
        } else {
            waiting.low.Push(WaitingPacket{packet, deadline, channel});
            waiting.lowReliable += reliable ? 1 : 0;
        }
        PumpLocked(now);
        // The network thread keeps the queue moving between the owner's calls.
        if (impl_->slotsWaiting && t_host != this) Wake();
    }
    FlushLocked(flushNow);
    return result;
}

void NetHost::SetSendRate(uint32_t bytesPerSecond) {
    std::lock_guard<std::mutex> lock(impl_->lock);
    sendRate_ = bytesPerSecond;
}

bool NetHost::PumpLocked(int64_t nowNs) {
    Impl& d = *impl_;
    const double rate = double(sendRate_);
    const double burst = std::max(double(kMtu), rate / 50.0);
    for (size_t slot = 0; slot < d.waiting.size() && d.slotsWaiting; ++slot) {
        SlotWaiting& w = d.waiting[slot];
        if (w.Empty()) continue;
        ENetPeer* peer = &d.host->peers[slot];
        if (peer->state != ENET_PEER_STATE_CONNECTED) {
            DropWaitingLocked(slot);
            continue;
        }
        // Stale states go before anything is sent, so none leaves late and the queue's length
        // counts only what may still go.
        auto stale = [&](const WaitingPacket& p) {
            if (!p.deadlineNs || nowNs < p.deadlineNs) return false;
            enet_packet_destroy(p.packet);
            return true;
        };
        w.high.RemoveIf(stale);
        w.low.RemoveIf(stale);
        if (rate > 0.0) {
            w.budget = std::min(burst, w.budget + rate * double(nowNs - w.budgetAt) * 1e-9);
            w.budgetAt = nowNs;
        }
        while (!w.Empty() && (rate == 0.0 || w.budget > 0.0)) {
            const bool fromHigh = !w.high.Empty();
            const WaitingPacket p = fromHigh ? w.high.Pop() : w.low.Pop();
            if (!fromHigh && (p.packet->flags & ENET_PACKET_FLAG_RELIABLE)) --w.lowReliable;
            if (rate > 0.0) w.budget -= double(p.packet->dataLength);
            if (enet_peer_send(peer, p.channel, p.packet) < 0) enet_packet_destroy(p.packet);
        }
        if (w.Empty()) --d.slotsWaiting;
    }
    return d.slotsWaiting != 0;
}

void NetHost::DropWaitingLocked(size_t slot) {
    SlotWaiting& w = impl_->waiting[slot];
    if (w.Empty()) return;
    for (WaitingLane* lane : {&w.high, &w.low}) lane->TakeAll([](const WaitingPacket& p) { enet_packet_destroy(p.packet); });
    w.lowReliable = 0;
    --impl_->slotsWaiting;
}

void NetHost::ReleaseWaitingLocked(size_t slot) {
    SlotWaiting& w = impl_->waiting[slot];
    if (w.Empty()) return;
    ENetPeer* peer = &impl_->host->peers[slot];
    for (WaitingLane* lane : {&w.high, &w.low})
        lane->TakeAll([&](const WaitingPacket& p) {
            if (enet_peer_send(peer, p.channel, p.packet) < 0) enet_packet_destroy(p.packet);
        });
    w.lowReliable = 0;
    --impl_->slotsWaiting;
}

bool NetHost::SendRaw(const NetAddress& to, const uint8_t* data, size_t size) {
    std::lock_guard<std::mutex> lock(impl_->lock);
    if (!impl_->host) return false;
    ENetAddress a = ToEnet(to);
    ENetBuffer buffer;
    buffer.data = const_cast<uint8_t*>(data);
    buffer.dataLength = size;
    return enet_socket_send(impl_->host->socket, &a, &buffer, 1) == int(size);
}

void NetHost::DisconnectLater(NetPeerHandle handle) {
    {
        std::lock_guard<std::mutex> lock(impl_->lock);
        if (auto* peer = static_cast<ENetPeer*>(FindPeerLocked(handle))) {
            ReleaseWaitingLocked(SlotOf(handle));
            enet_peer_disconnect_later(peer, 0);
        }
    }
    if (t_host != this) Wake();
}

void NetHost::Reset(NetPeerHandle handle) {
    std::lock_guard<std::mutex> lock(impl_->lock);
    if (auto* peer = static_cast<ENetPeer*>(FindPeerLocked(handle))) {
        DropWaitingLocked(SlotOf(handle));
        enet_peer_reset(peer);
        impl_->slotConnectId[SlotOf(handle)] = 0;
    }
}

void NetHost::Disconnect(NetPeerHandle handle, uint32_t timeoutMs) {
    TakeOver();
    {
        std::lock_guard<std::mutex> lock(impl_->lock);
        auto* peer = static_cast<ENetPeer*>(FindPeerLocked(handle));
        if (!peer) return;
        DropWaitingLocked(SlotOf(handle));
        enet_peer_disconnect(peer, 0);
        enet_host_flush(impl_->host);
    }
    // The network thread services the exchange; wait until the slot is free or give up.
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline && thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(impl_->lock);
            if (!FindPeerLocked(handle)) return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    Reset(handle);
}

void NetHost::DisconnectAll(uint32_t timeoutMs) {
    TakeOver();
    std::vector<NetPeerHandle> open;
    {
        std::lock_guard<std::mutex> lock(impl_->lock);
        if (!impl_->host) return;
        for (size_t i = 0; i < impl_->host->peerCount; ++i) {
            ENetPeer* peer = &impl_->host->peers[i];
            if (peer->state == ENET_PEER_STATE_DISCONNECTED) continue;
            open.push_back(MakeHandle(i, peer->connectID));
            DropWaitingLocked(i);
            enet_peer_disconnect(peer, 0);
        }
        enet_host_flush(impl_->host);
    }
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!open.empty() && std::chrono::steady_clock::now() < deadline && thread_.joinable()) {
        {
            std::lock_guard<std::mutex> lock(impl_->lock);
            std::erase_if(open, [this](NetPeerHandle h) { return FindPeerLocked(h) == nullptr; });
        }
        if (!open.empty()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    for (NetPeerHandle h : open) Reset(h);
}

bool NetHost::IsConnected(NetPeerHandle handle) const {
    std::lock_guard<std::mutex> lock(impl_->lock);
    auto* peer = static_cast<ENetPeer*>(FindPeerLocked(handle));
    return peer && peer->state == ENET_PEER_STATE_CONNECTED;
}

int32_t NetHost::SendQueueLength(NetPeerHandle handle) const {
    if (handle == kNoNetPeer || SlotOf(handle) >= SlotCount()) return 0;
    return impl_->queued[SlotOf(handle)].packets.load(std::memory_order_relaxed);
}

int32_t NetHost::MaxSendQueueLength() const {
    int32_t most = 0;
    for (size_t i = 0; i < SlotCount(); ++i)
        most = std::max(most, impl_->queued[i].packets.load(std::memory_order_relaxed));
    return most;
}

size_t NetHost::UnfragmentedLimit(NetPeerHandle handle) const {
    std::lock_guard<std::mutex> lock(impl_->lock);
    auto* peer = static_cast<ENetPeer*>(FindPeerLocked(handle));
    if (!peer) return 0;
    return peer->mtu - sizeof(ENetProtocolHeader) - sizeof(ENetProtocolSendFragment) -
           (impl_->host->checksum ? sizeof(enet_uint32) : 0);
}

uint32_t NetHost::RoundTripTime(NetPeerHandle handle) const {
    std::lock_guard<std::mutex> lock(impl_->lock);
    auto* peer = static_cast<ENetPeer*>(FindPeerLocked(handle));
    return peer ? peer->roundTripTime : 0;
}

} // namespace plat
