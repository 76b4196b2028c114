#pragma once
// The network events of the car items: every item kind announces its use on a channel of its
// own (34 to 39) and the server relays each frame to every player.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "engine/net/Channel.h"

struct VehicleContext;

// The item channels, and the size of their whole frames (channel byte included).
constexpr uint8_t MissileChannel = 34;
constexpr uint8_t RocketChannel = 35;
constexpr uint8_t ChainGunChannel = 36;
constexpr uint8_t GrenadeChannel = 37;
constexpr uint8_t FlamerChannel = 38;
constexpr uint8_t SpecialChannel = 39;
constexpr uint8_t FirstItemChannel = MissileChannel;
constexpr int32_t ItemChannelCount = 6;
// 0 for a channel that is not an item channel.
int32_t ItemFrameSize(uint8_t channel);

// A special switched on or off on a player's car (16 bytes: channel, 3 unused, player id, on,
// index in the car's special list).
struct SpecialEvent {
    static constexpr int32_t FrameSize = 16;
    int32_t playerId = 0;
    int32_t on = 0;
    int32_t index = -1;
};
void EncodeSpecialEvent(const SpecialEvent& event, uint8_t* frame);
// payload is the frame after its channel byte. False for anything but a whole event.
bool DecodeSpecialEvent(const uint8_t* payload, int32_t size, SpecialEvent& out);
// Starts or stops the special on the sender's car. Unknown players, the local player's own car
// (the server echoes its frames) and indices outside the list are ignored.
void ApplySpecialEvent(VehicleContext& context, const SpecialEvent& event);

// The receive and relay channels of the six item ids; the game set-up registers them with its
// client and server.
class ItemEventChannels {
public:
    // The most frames of one channel the host relays from one sender in a second.
    static constexpr int32_t RelayFramesPerSecond = 400;
    // What a weapon kind does with a received frame of its channel (payload after the channel
    // byte, already checked for its size).
    using WeaponHandler = std::function<void(const uint8_t* payload, int32_t size)>;

    explicit ItemEventChannels(VehicleContext& context);
    void SetWeaponHandler(uint8_t channel, WeaponHandler handler);
    ClientChannel& Receiver(uint8_t channel) { return receivers_[size_t(channel - FirstItemChannel)]; }
    ServerChannel& Relay(uint8_t channel) { return relays_[size_t(channel - FirstItemChannel)]; }

    // The client side (main thread, inside the client's update).
    void Receive(uint8_t channel, const uint8_t* payload, int32_t size);

private:
    class ReceiveChannel : public ClientChannel {
    public:
        void Receive(const uint8_t* payload, int32_t size) override { owner->Receive(clientChannelId_, payload, size); }
        void Bind(ItemEventChannels* o, uint8_t id) {
            owner = o;
            clientChannelId_ = id;
        }
        ItemEventChannels* owner = nullptr;
    };
    // Runs on the server's network thread: whole frames go back out unchanged to everyone. Honest
    // play sends a few frames a second; a sender past RelayFramesPerSecond on the channel has the
    // excess dropped (logged once per sender), so one client cannot make the host send without limit.
    class RelayChannel : public ServerChannel {
    public:
        void Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) override;
        void Bind(uint8_t id) { serverChannelId_ = id; }

    private:
        // A bucket of frames per sender, filled at the allowed rate up to a second's worth.
        struct Sender {
            float frames = float(RelayFramesPerSecond);
            int64_t lastNanoseconds = 0;
            bool logged = false;
        };
        bool Allow(int32_t senderIndex);
        // The player table's positions; a sender without one shares the last.
        std::array<Sender, 65> senders_{};
    };

    VehicleContext& context_;
    std::array<ReceiveChannel, ItemChannelCount> receivers_;
    std::array<RelayChannel, ItemChannelCount> relays_;
    std::array<WeaponHandler, ItemChannelCount> weaponHandlers_;
};
