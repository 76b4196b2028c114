#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

class ZKClient;
class ZKServer;

// A receiver of one channel id on the client. A frame is the u8 channel id followed by the
// channel's payload; the client hands the payload to the first registered channel with that
// id, on the main thread, inside ZKClient::Update.
class ClientChannel {
public:
    explicit ClientChannel(uint8_t channelId = 0) : clientChannelId_(channelId) {}
    ClientChannel(const ClientChannel&) = delete;
    ClientChannel& operator=(const ClientChannel&) = delete;
    // Leaves the client it is still registered with, so no frame reaches a dead channel.
    virtual ~ClientChannel();

    virtual void Receive(const uint8_t* payload, int32_t size) = 0;

    uint8_t GetClientChannelId() const { return clientChannelId_; }
    ZKClient* GetClient() const { return client_; }

protected:
    uint8_t clientChannelId_;

private:
    friend class ZKClient;
    ZKClient* client_ = nullptr;
};

// A receiver of one channel id on the server. Receivers run on the server's network thread
// with the server mutex held; the sender index is the sender's position in the player table,
// or -1 when it has none.
class ServerChannel {
public:
    explicit ServerChannel(uint8_t channelId = 0) : serverChannelId_(channelId) {}
    ServerChannel(const ServerChannel&) = delete;
    ServerChannel& operator=(const ServerChannel&) = delete;
    virtual ~ServerChannel();

    virtual void Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) = 0;

    uint8_t GetServerChannelId() const { return serverChannelId_; }
    ZKServer* GetServer() const { return server_; }

protected:
    uint8_t serverChannelId_;

private:
    friend class ZKServer;
    ZKServer* server_ = nullptr;
};

namespace netdetail {

// Hands a frame to the first channel of `channels` whose id is the frame's first byte.
// Receivers may add and remove channels while they run, so the list is walked by index and
// the walk stops after the first match. Returns whether a channel took the frame.
template <class Channel, class IdOf, class Call>
bool DispatchFrame(std::vector<Channel*>& channels, const uint8_t* frame, size_t size, IdOf idOf, Call call) {
    if (!frame || size < 1) return false;
    const uint8_t id = frame[0];
    for (size_t i = 0; i < channels.size(); ++i) {
        Channel* c = channels[i];
        if (idOf(c) == id) {
            call(c, frame + 1, int32_t(size - 1));
            return true;
        }
    }
    return false;
}

} // namespace netdetail
