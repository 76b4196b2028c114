#pragma once
// The start of a network game: every machine, the host's own client included, sends the
// one-byte ready message on channel 136 once its game has started; when every player of the
// host's current table is ready the host sends the same byte to all, and each machine's
// loading screen then fades over to the game.
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/net/Channel.h"

class ZKClient;
class ZKServer;

class StartBarrier {
public:
    static constexpr uint8_t kChannel = 136;

    // A frame's payload (what follows the channel byte) is a ready message only when empty.
    static bool IsReadyMessage(const uint8_t* payload, int32_t size);

    // Either may be null (no network game / not hosting).
    StartBarrier(ZKClient* client, ZKServer* server);
    ~StartBarrier();
    StartBarrier(const StartBarrier&) = delete;
    StartBarrier& operator=(const StartBarrier&) = delete;

    void Register();
    void Unregister();
    // This machine's game has started: tell the host.
    void SendReady();
    // Main thread, once a frame on the host: applies the ready messages that arrived and, once
    // every player of the current table is ready, releases everybody (once).
    void Update();
    // The host's release arrived at this machine's client.
    bool Released() const { return clientReceiver_.released; }
    // Players the host has seen ready, by player number.
    std::vector<uint32_t> ReadyPlayers();

private:
    // Network thread, under the server mutex: checks the message and queues the sender.
    class HostReceiver final : public ServerChannel {
    public:
        explicit HostReceiver(StartBarrier& owner) : ServerChannel(kChannel), owner_(owner) {}
        void Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) override;

    private:
        StartBarrier& owner_;
    };
    // Main thread, inside ZKClient::Update.
    class ClientReceiver final : public ClientChannel {
    public:
        ClientReceiver() : ClientChannel(kChannel) {}
        void Receive(const uint8_t* payload, int32_t size) override;
        bool released = false;
    };

    ZKClient* client_;
    ZKServer* server_;
    HostReceiver hostReceiver_;
    ClientReceiver clientReceiver_;
    std::mutex queueLock_;
    std::vector<uint32_t> queued_;   // player numbers, filled on the network thread
    std::vector<uint32_t> ready_;    // main thread
    std::vector<uint32_t> players_;  // main thread: the current table's numbers
    bool releaseSent_ = false;
    bool registered_ = false;
};
