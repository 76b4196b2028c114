#pragma once
#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"
#include "engine/net/Channel.h"
#include "engine/net/NetOptions.h"
#include "engine/net/NetProtocol.h"
#include "platform/net/NetHost.h"

// One connected client in the server's table. A player's index is its position in the table;
// it changes when an earlier player leaves.
struct PlayerRecord {
    uint32_t reserved = 0;
    uint32_t number = 0;  // assigned by the server in connection order, never reused
    SharedString name;
    plat::NetPeerHandle peer = plat::kNoNetPeer;
    std::vector<uint8_t> data;  // the player's data block, without the client number
};

// The host's end of a session: listens on one port, answers host searches, numbers the
// clients, publishes the player table to every client and dispatches received frames at once
// on its network thread, under the server mutex.
//
// The table goes out when it has changed, at most once per server frame: a client that
// rewrites its information faster than that makes no more traffic than one that does it once a
// frame. A pending table always leaves before the next guaranteed message and with new server
// information, so clients see changes in the order the server made them.
class ZKServer : private plat::NetHostListener {
public:
    // One game step.
    static constexpr std::chrono::microseconds kServerFrame{13333};
    // Guaranteed data a client may leave unacknowledged; a client past it is disconnected.
    static constexpr size_t kMaxQueuedBytesPerClient = 1u << 20;
    // Hosts at once. Port 0 lets the system choose (see GetPort); playerCount is the number of
    // clients the session admits.
    ZKServer(SharedString serverName, SharedString sessionName, uint32_t port, int playerCount,
             const NetOptions& options = {});
    ~ZKServer() override;
    ZKServer(const ZKServer&) = delete;
    ZKServer& operator=(const ZKServer&) = delete;

    bool IsRunning() const { return host_ != nullptr; }
    uint16_t GetPort() const;

    // Returns 0, or -1 when the server is not running.
    int32_t SetSessionDesc(SharedString sessionName, int playerCount);
    // Stores the server's name and data (at most 1024 bytes) and publishes them.
    void SetServerInfo(SharedString name, const uint8_t* data, uint32_t size);
    // Sends a frame to the client with that number, or to every client with -1 (the host's
    // own client included; never back to the server). Returns 0, or -1 when nothing was sent.
    int32_t SendTo(const uint8_t* data, uint32_t size, int32_t clientNumber, float timeout, bool synchronous,
                   bool guaranteed, bool highPriority);
    uint32_t GetMaxSendQueueLength() const;

    void AddChannel(ServerChannel* channel);
    void RemoveChannel(ServerChannel* channel);
    // Hands one received frame to its channel (the network thread does this for every frame).
    void DispatchFrame(int32_t senderIndex, const uint8_t* frame, size_t size);

    void Lock() { mutex_.Lock(); }
    void Unlock() { mutex_.Unlock(); }
    // Readers of the player table; hold the server lock (receivers already do).
    const std::vector<PlayerRecord>& GetPlayers() const { return players_; }
    const SharedString& GetServerName() const { return serverName_; }

private:
    struct EnumInfo {
        std::vector<uint8_t> answer;  // complete answer with zero ticks
    };

    void OnPeerConnected(plat::NetPeerHandle peer, uint32_t connectData) override;
    void OnPeerDisconnected(plat::NetPeerHandle peer) override;
    void OnPacket(plat::NetPeerHandle peer, const uint8_t* data, size_t size) override;
    uint32_t OnIdle() override;
    bool OnRawDatagram(const plat::NetAddress& from, const uint8_t* data, size_t size,
                       plat::NetRawReply& reply) override;
    // Sends the table to every player now if it has changed since it last went out.
    void Publish();
    void RefreshEnumInfo();
    int32_t IndexOfPeer(plat::NetPeerHandle peer) const;
    struct SendOptions {
        bool synchronous, guaranteed, highPriority;
        uint32_t timeoutMs;
    };
    bool SendFrame(plat::NetPeerHandle peer, const uint8_t* data, uint32_t size, const SendOptions& how);
    // Notes a client whose queue passed the cap (the transport is disconnecting it).
    void NoteOverflow(plat::NetPeerHandle peer, plat::NetSendResult result);
    // Takes the clients whose queues overflowed out of the table.
    void RemoveOverflowed();

    NetOptions options_;
    std::unique_ptr<plat::NetHost> host_;

    Mutex mutex_;  // channel list, player table, server information; held during dispatch
    std::vector<ServerChannel*> channels_;
    std::vector<PlayerRecord> players_;
    SharedString serverName_;
    SharedString sessionName_;
    std::vector<uint8_t> serverData_;
    int playerCount_ = 0;
    uint32_t nextClientNumber_ = 0;
    std::vector<uint8_t> controlBuffer_;
    // The table as it last went out, and whether it may have changed since.
    std::vector<uint8_t> publishedTable_;
    bool tableChanged_ = false;
    std::chrono::steady_clock::time_point publishedAt_{};
    netproto::ServerInfo tableInfo_;  // reused to build the table
    // Removed from the table at the end of the turn, never while a receiver walks it.
    std::vector<plat::NetPeerHandle> overflowed_;

    // What the enumeration answer is built from, swapped whole so the transport's callback
    // never needs the server mutex.
    std::atomic<std::shared_ptr<const EnumInfo>> enumInfo_;
    std::array<std::atomic<bool>, 256> oversizeLogged_{};
    std::atomic<bool> shortQueryLogged_{false};
};
