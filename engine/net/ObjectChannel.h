#pragma once
#include <atomic>
#include <cstdint>
#include <vector>

#include "engine/net/Channel.h"

constexpr uint8_t kObjectChannelId = 1;

// A networked object: its state travels on the object channel under its object id.
class NetObject {
public:
    enum Flags : uint8_t {
        kSendEveryUpdate = 4,  // send the state at every object-channel update
        kSendOnce = 8,         // with kSendEveryUpdate: send once, then clear it
    };
    NetObject() = default;
    virtual ~NetObject() = default;
    // Writes the current state; returns the bytes written, 0 when there is nothing to send, or
    // the size it needs when the capacity is too small (the channel then asks again).
    virtual int32_t WriteState(uint8_t* buffer, int32_t capacity) = 0;
    virtual void ReadState(const uint8_t* data, int32_t size) = 0;

    uint32_t objectId = 0;  // given at registration; set from the wire by some owners
    uint8_t flags = 0;
};

// Replicates networked objects. On a client it sends the states of the objects flagged to send
// and routes received states by object id; on the server it relays every state to every other
// player. One channel may be registered with a client and a server at once (the host): the
// client side runs on the main thread, the relay on the server's network thread.
class ObjectChannel : public ClientChannel, public ServerChannel {
public:
    static constexpr float kStartInterval = 0.05f;
    static constexpr float kMinInterval = 0.025f;
    static constexpr float kIntervalStep = 0.0001f;
    // Largest state a client sends; larger writes are refused and logged.
    static constexpr int32_t kMaxStateSize = 16000;

    ObjectChannel();
    // Leaves its endpoints before its buffers go: the server may be relaying on its thread.
    ~ObjectChannel() override;
    // Appends the object and gives it the next object id.
    void Register(NetObject* object);
    // Drops the object from the list (an object that goes away leaves first: the list holds raw
    // pointers). Ids already given stay as they are.
    void Forget(NetObject* object);
    // Drops every object and numbers from 0 again, so that machines that register the same
    // objects after a game reset give them the same ids.
    void Clear();
    // Sends pending states and adapts the send interval to the send queue.
    void Update(float dt);
    // The next send interval for a send queue of `queued` messages.
    static float AdaptInterval(float interval, uint32_t queued);
    float GetSendInterval() const { return interval_.load(); }
    const std::vector<NetObject*>& GetObjects() const { return objects_; }

    void Receive(const uint8_t* payload, int32_t size) override;
    void Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) override;

private:
    std::vector<NetObject*> objects_;
    std::vector<uint8_t> sendBuffer_;   // client side, main thread
    std::vector<uint8_t> relayBuffer_;  // server side, under the server mutex
    std::atomic<float> interval_{kStartInterval};
    uint32_t nextObjectId_ = 0;
    bool oversizeLogged_ = false;
};
