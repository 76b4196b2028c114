#pragma once
#include <atomic>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <thread>
#include <vector>

// The game's datagram transport: one UDP port per endpoint carrying reliable-ordered and
// unsequenced traffic, connection management with timeouts, raw datagrams on the same port
// (host enumeration) and per-peer send-queue counts. One network thread per host services
// the socket, unless the host's owner services it once a frame itself (Service); any thread
// may send.
namespace plat {

// IPv4 address and port. `host` is in network byte order.
struct NetAddress {
    uint32_t host = 0;
    uint16_t port = 0;
    bool operator==(const NetAddress& o) const { return host == o.host && port == o.port; }
    // Dotted quad, "0.0.0.0" when unknown.
    std::string IpText() const;
};

// Resolves a dotted quad or a host name ("localhost" included). False when it cannot.
bool ResolveNetAddress(const std::string& name, uint16_t port, NetAddress& out);
NetAddress LoopbackAddress(uint16_t port);
NetAddress BroadcastAddress(uint16_t port);

// A connection: the peer slot in the low half and the connection's id in the high half, so a
// handle never reaches a later connection that reuses the slot.
using NetPeerHandle = uint64_t;
constexpr NetPeerHandle kNoNetPeer = ~NetPeerHandle(0);

enum class NetDelivery {
    Reliable,     // acknowledged, resent and in order (one ordered stream per peer)
    Unsequenced,  // may be lost or reordered, never duplicated
};

enum class NetSendResult {
    Sent,
    // An unsequenced packet too large for one datagram went as unreliable fragments.
    SentAsUnreliableFragments,
    Failed,
    // The peer's unacknowledged reliable data would pass the host's cap: nothing was queued and
    // the peer is being disconnected (its queue dropped at once).
    QueueFull,
};

// Answer path for a raw datagram handler.
class NetRawReply {
public:
    virtual void Reply(const uint8_t* data, size_t size) = 0;

protected:
    ~NetRawReply() = default;
};

// Receives the host's events. Every call but OnRawDatagram runs on the thread servicing the
// host (the network thread, or the owner's inside Service), one turn at a time, with no
// transport lock held, so it may send and take its own locks.
class NetHostListener {
public:
    virtual ~NetHostListener() = default;
    virtual void OnPeerConnected(NetPeerHandle, uint32_t /*connectData*/) {}
    // Also reported for an outgoing connection that failed or timed out.
    virtual void OnPeerDisconnected(NetPeerHandle) {}
    virtual void OnPacket(NetPeerHandle, const uint8_t* /*data*/, size_t /*size*/) {}
    // Once per turn of servicing. Returns how many milliseconds may pass before the next call
    // at most; an idle host is serviced at least every NetHost::kIdleTurnMs.
    virtual uint32_t OnIdle() { return UINT32_MAX; }
    // A raw datagram on the host's port, seen before the protocol parses it. Runs under the
    // transport lock: it must not block, send through the host or take a lock that is held
    // while sending. Returns true to consume the datagram.
    virtual bool OnRawDatagram(const NetAddress&, const uint8_t*, size_t, NetRawReply&) { return false; }
};

struct NetHostConfig {
    std::string bindAddress = "127.0.0.1";  // "0.0.0.0" only when LAN play is switched on
    uint16_t port = 48110;                  // 0 lets the system choose (tests)
    size_t maxClients = 8;                  // one slot more is kept to answer a refusal
    bool allowBroadcast = false;
    // Reliable bytes a peer may have sent to it and not yet acknowledged; 0 means no cap.
    size_t maxQueuedReliableBytes = 0;
};

// Why a host could not be created.
enum class NetHostError {
    None,
    Library,  // the transport library did not start
    Address,  // the bind address is not a dotted quad
    Socket,   // no socket, or the port could not be bound (in use)
};

class NetHost {
public:
    // Limits the game needs: datagram size pinned whatever the library version, and
    // per-peer packet and waiting-data caps far below the library's defaults.
    static constexpr uint32_t kMtu = 1392;
    static constexpr size_t kMaxPacketSize = 16384;
    static constexpr size_t kMaxWaitingData = 262144;

    // Null when the host cannot be created or its port bound (callers log).
    static std::unique_ptr<NetHost> CreateServer(const NetHostConfig& config, NetHostListener* listener,
                                                 NetHostError* error = nullptr);
    static std::unique_ptr<NetHost> CreateClient(NetHostListener* listener, bool allowBroadcast = false,
                                                 NetHostError* error = nullptr);
    ~NetHost();
    NetHost(const NetHost&) = delete;
    NetHost& operator=(const NetHost&) = delete;

    // Starts the network thread; the listener hears nothing before this.
    void Start();
    // Services the host on the calling thread: takes in what arrived, hands it to the listener
    // and sends what is pending. An owner that needs arrivals only once a frame calls this every
    // frame; the network thread then leaves the socket alone (no wake-up per datagram) and takes
    // over when the calls stop for a while, or when a call here has to wait for the peer.
    void Service();
    uint16_t Port() const { return port_; }
    size_t SlotCount() const;

    // Starts a connection; the outcome arrives as OnPeerConnected or OnPeerDisconnected.
    NetPeerHandle Connect(const NetAddress& address, uint32_t connectData);
    // Sends head followed by body as one packet. A send is on the socket before the call
    // returns, except one made from inside a listener call without flush: that one waits for
    // the end of the turn, so the replies to a batch of events leave together.
    //
    // While the link to the peer is paced (SetSendRate) packets wait in the peer's queue for
    // their turn: high-priority ones leave before every low-priority one waiting, each priority
    // in the order sent, except that reliable packets keep their order among themselves. An
    // unsequenced packet still waiting timeoutMs after the call is dropped unsent (0: it waits
    // as long as it takes). Reliable packets never expire.
    NetSendResult Send(NetPeerHandle peer, std::span<const uint8_t> head, std::span<const uint8_t> body,
                       NetDelivery delivery, bool flush, bool highPriority = true, uint32_t timeoutMs = 0);
    bool SendRaw(const NetAddress& to, const uint8_t* data, size_t size);
    // Paces what the host hands each peer to this many bytes a second (with a burst of one
    // datagram or 20 ms, whichever is more); 0, the default, hands everything over at once.
    void SetSendRate(uint32_t bytesPerSecond);
    // Disconnects once queued packets are out.
    void DisconnectLater(NetPeerHandle peer);
    // Graceful disconnect, waiting at most timeoutMs for the other end; then the slot is reset.
    void Disconnect(NetPeerHandle peer, uint32_t timeoutMs);
    void DisconnectAll(uint32_t timeoutMs);
    // Drops a connection at once, telling nobody.
    void Reset(NetPeerHandle peer);

    bool IsConnected(NetPeerHandle peer) const;
    // Packets waiting in the peer's queue, or handed over and not yet acknowledged (reliable)
    // or sent (unsequenced).
    int32_t SendQueueLength(NetPeerHandle peer) const;
    int32_t MaxSendQueueLength() const;
    // Largest packet that still travels as one datagram to this peer (0: no such peer).
    size_t UnfragmentedLimit(NetPeerHandle peer) const;
    uint32_t RoundTripTime(NetPeerHandle peer) const;

    // Stops and joins the network thread; no listener call happens afterwards. Idempotent.
    void Stop();

private:
    struct Impl;
    struct Event;
    NetHost();
    NetHostError Init(const NetHostConfig* server, bool allowBroadcast, NetHostListener* listener);
    // Turns of a host that waits for acknowledgements, resends or a handshake come at least
    // every kBusyTurnMs; an idle host (only its pings to time) waits up to kIdleTurnMs.
    static constexpr uint32_t kBusyTurnMs = 5;
    static constexpr uint32_t kIdleTurnMs = 20;
    // Servicing without the owner's calls resumes this long after the last one.
    static constexpr int64_t kOwnerStandbyNs = 250'000'000;
    static constexpr int64_t kNeverServiced = INT64_MIN / 2;
    static constexpr size_t kEventsPerTurn = 256;
    static int64_t NowNs();

    void Run();
    // One turn: drain the events, hand them to the listener, OnIdle, flush. Returns how long
    // the thread may wait for the socket before the next turn (0 when the turn stopped at its
    // event cap).
    uint32_t ServiceTurn();
    uint32_t ServiceTurnLocked(bool forOwner);  // holding turnLock
    // The network thread services again from now on (a caller is about to wait for the peer).
    void TakeOver();
    bool HostIsBusyLocked() const;
    void Wake();
    void DrainWake();
    void FlushLocked(bool now);
    // Hands the waiting packets of every paced peer over as far as its budget allows, dropping
    // unsequenced ones past their time. True while any still wait.
    bool PumpLocked(int64_t nowNs);
    // Forgets what waits for a slot (its packets freed unsent), or hands it all over now.
    void DropWaitingLocked(size_t slot);
    void ReleaseWaitingLocked(size_t slot);
    void* FindPeerLocked(NetPeerHandle handle) const;  // ENetPeer*

    std::unique_ptr<Impl> impl_;
    NetHostListener* listener_ = nullptr;
    uint16_t port_ = 0;
    int wakeFd_ = -1;
    size_t maxQueuedReliableBytes_ = 0;
    uint32_t sendRate_ = 0;  // under the ENet lock
    std::atomic<bool> stop_{false};
    std::atomic<int64_t> ownerServicedAt_{kNeverServiced};
    std::thread thread_;
};

} // namespace plat
