#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"
#include "engine/net/Channel.h"
#include "engine/net/NetOptions.h"
#include "engine/net/NetProtocol.h"
#include "platform/net/NetHost.h"

// One session found by the host search.
struct HostRecord {
    plat::NetAddress address;  // the answer's sender: one record per address
    SharedString sessionName;
    std::vector<uint8_t> responseData;  // the server's data, empty when it has none
    int32_t currentPlayers = 0;         // the session's count less the server itself
    int32_t maxPlayers = 0;
    uint32_t latency = 0;  // ms, from the echoed query time
    float age = 0.0f;      // seconds since the last answer
    SharedString addressText;
};

struct ClientPlayerEntry {
    uint32_t reserved = 0;
    uint32_t number = 0;
    SharedString name;
    std::vector<uint8_t> data;  // the player's data block, without the client number
};

// The player's end of a session: finds hosts, connects, publishes the player's name and data,
// sends channel frames to the server and dispatches received frames on the main thread in
// Update. Update also takes in what arrived since the last frame; the network thread does that
// only while Update is not being called (connecting, loading). Host list, player list and
// server information are written under the client mutex: readers take Lock/Unlock.
class ZKClient : private plat::NetHostListener {
public:
    explicit ZKClient(const NetOptions& options = {});
    ~ZKClient() override;
    ZKClient(const ZKClient&) = delete;
    ZKClient& operator=(const ZKClient&) = delete;

    // Starts (or restarts) the host search at an address: a name or dotted quad; "LOCALHOST"
    // and the empty name mean this machine (the empty name searches the LAN only with LAN
    // play). The search repeats every second until Connect.
    void EnumerateHosts(SharedString hostName, uint32_t port);
    // The lobby's form, which also names its session; the search is by address only.
    void EnumerateHosts(SharedString sessionName, SharedString hostName, uint32_t port);
    // Connects to a found host and waits (at most about 5 s, or waitMs when shorter) for the
    // client number.
    bool Connect(int hostIndex, uint32_t waitMs = kConnectWaitMs);
    // Connects to the first found host with no players yet.
    bool ConnectToEmptyHost(uint32_t waitMs = kConnectWaitMs);
    static constexpr uint32_t kConnectWaitMs = 5000;
    void Disconnect();
    // Publishes the player's name (cut to 64 bytes) and data (at most 252 bytes).
    void SetPlayerInfo(SharedString name, const uint8_t* data, uint32_t size);
    // Sends one frame (channel id, payload) to the server. Returns 0 on success, -1 when
    // nothing was sent. Priority and timeout do not change the order of sends.
    int32_t Send(const uint8_t* data, uint32_t size, float timeout, bool synchronous, bool guaranteed,
                 bool highPriority);
    uint32_t GetSendQueueLength() const;
    // Main thread, once per frame: takes in what arrived, ages found hosts and dispatches
    // received frames.
    void Update(float dt);

    void Lock() { mutex_.Lock(); }
    void Unlock() { mutex_.Unlock(); }

    void AddChannel(ClientChannel* channel);
    void RemoveChannel(ClientChannel* channel);
    // Hands one received frame to its channel (Update does this for every queued frame).
    void DispatchFrame(const uint8_t* frame, size_t size);

    // Readers; hold the client lock around them.
    const std::vector<HostRecord>& GetHosts() const { return hosts_; }
    const std::vector<ClientPlayerEntry>& GetPlayers() const { return players_; }
    const SharedString& GetServerName() const { return serverName_; }
    const std::vector<uint8_t>& GetServerData() const { return serverData_; }
    bool HasServerInfo() const { return hasServerInfo_; }
    int32_t GetOwnIndex() const { return ownIndex_; }
    uint32_t GetClientNumber() const { return clientNumber_; }
    bool IsConnected() const { return connected_.load(); }
    // Largest unguaranteed frame (channel id + payload) that still travels as one datagram.
    size_t GetUnguaranteedFrameLimit() const;

private:
    enum class ConnectState { Idle, Waiting, Assigned, Failed };
    struct PendingAnswer {
        plat::NetAddress from;
        uint32_t receivedAt;
        uint16_t size;
        uint8_t bytes[netproto::kMaxEnumAnswerSize];
    };

    void OnPeerConnected(plat::NetPeerHandle, uint32_t) override {}
    void OnPeerDisconnected(plat::NetPeerHandle peer) override;
    void OnPacket(plat::NetPeerHandle peer, const uint8_t* data, size_t size) override;
    uint32_t OnIdle() override;
    bool OnRawDatagram(const plat::NetAddress& from, const uint8_t* data, size_t size,
                       plat::NetRawReply& reply) override;
    void ApplyAnswer(const PendingAnswer& answer);
    void ApplyServerInfo(const uint8_t* body, size_t size);
    void FinishConnect(ConnectState state);
    void StopEnumeration();

    NetOptions options_;
    std::unique_ptr<plat::NetHost> host_;

    Mutex mutex_;  // channel list, host list, player list, server information
    std::vector<ClientChannel*> channels_;
    // Received frames, bytes back to back, under queueLock_ (a leaf lock, so the network thread
    // never waits for a dispatch in progress); swapped with the dispatch copy in Update.
    std::mutex queueLock_;
    std::vector<uint8_t> queueBytes_, dispatchBytes_;
    std::vector<uint32_t> queueSizes_, dispatchSizes_;
    bool queueOverflowLogged_ = false;

    std::vector<HostRecord> hosts_;
    SharedString serverName_;
    std::vector<uint8_t> serverData_;
    bool hasServerInfo_ = false;
    std::vector<ClientPlayerEntry> players_;
    uint32_t clientNumber_ = 0;
    int32_t ownIndex_ = -1;
    std::atomic<bool> connected_{false};
    std::atomic<plat::NetPeerHandle> server_{plat::kNoNetPeer};
    std::vector<uint8_t> controlBuffer_;  // outgoing control messages (under the mutex)

    // Host search: target and timing under the mutex; answers copied out of the transport's
    // callback under answerLock_ (a leaf lock) and applied on the network thread.
    bool enumerating_ = false;
    plat::NetAddress enumTarget_;
    uint32_t lastQueryMs_ = 0;
    bool querySent_ = false;
    std::mutex answerLock_;
    std::vector<PendingAnswer> answers_, answersInWork_;
    std::atomic<bool> answersWaiting_{false};

    std::mutex connectLock_;
    std::condition_variable connectCv_;
    ConnectState connectState_ = ConnectState::Idle;

    std::array<std::atomic<bool>, 256> oversizeLogged_{};
};
