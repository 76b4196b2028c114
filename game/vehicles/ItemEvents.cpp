#include "game/vehicles/ItemEvents.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/net/PayloadReader.h"
#include "engine/net/ZKServer.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"

int32_t ItemFrameSize(uint8_t channel) {
    switch (channel) {
    case MissileChannel: return 56;
    case RocketChannel: return 72;
    case ChainGunChannel: return 12;
    case GrenadeChannel: return 68;
    case FlamerChannel: return 12;
    case SpecialChannel: return SpecialEvent::FrameSize;
    default: return 0;
    }
}

void EncodeSpecialEvent(const SpecialEvent& event, uint8_t* frame) {
    const auto put = [frame](int32_t at, int32_t value) {
        const uint32_t v = uint32_t(value);
        for (int32_t i = 0; i < 4; ++i) frame[at + i] = uint8_t(v >> (8 * i));
    };
    frame[0] = SpecialChannel;
    frame[1] = frame[2] = frame[3] = 0;
    put(4, event.playerId);
    put(8, event.on);
    put(12, event.index);
}

bool DecodeSpecialEvent(const uint8_t* payload, int32_t size, SpecialEvent& out) {
    if (size < 0) return false;
    PayloadReader r(payload, size_t(size));
    r.ExpectExactly(SpecialEvent::FrameSize - 1);
    r.skip(3);
    SpecialEvent e;
    e.playerId = r.i32();
    e.on = r.i32();
    e.index = r.i32();
    if (!r.ok()) return false;
    out = e;
    return true;
}

void ApplySpecialEvent(VehicleContext& context, const SpecialEvent& event) {
    Vehicle* car = Vehicle::FindByNetworkPlayerId(context, event.playerId);
    if (!car || car->IsLocalPlayerCar()) return;
    if (!InRange(event.index, car->items.specials)) return;
    auto* special = dynamic_cast<CarSpecial*>(car->items.specials[size_t(event.index)]);
    if (!special) return;
    if (event.on == 1) {
        special->Start();
    } else {
        special->Stop();
    }
}

ItemEventChannels::ItemEventChannels(VehicleContext& context) : context_(context) {
    for (int32_t i = 0; i < ItemChannelCount; ++i) {
        receivers_[size_t(i)].Bind(this, uint8_t(FirstItemChannel + i));
        relays_[size_t(i)].Bind(uint8_t(FirstItemChannel + i));
    }
}

void ItemEventChannels::SetWeaponHandler(uint8_t channel, WeaponHandler handler) {
    if (channel < FirstItemChannel || channel >= SpecialChannel) return;
    weaponHandlers_[size_t(channel - FirstItemChannel)] = std::move(handler);
}

void ItemEventChannels::Receive(uint8_t channel, const uint8_t* payload, int32_t size) {
    if (channel == SpecialChannel) {
        SpecialEvent event;
        if (DecodeSpecialEvent(payload, size, event)) ApplySpecialEvent(context_, event);
        return;
    }
    if (size != ItemFrameSize(channel) - 1) return;
    const WeaponHandler& handler = weaponHandlers_[size_t(channel - FirstItemChannel)];
    if (handler) handler(payload, size);
}

bool ItemEventChannels::RelayChannel::Allow(int32_t senderIndex) {
    const size_t slot = senderIndex >= 0 && size_t(senderIndex) < senders_.size() - 1 ? size_t(senderIndex)
                                                                                      : senders_.size() - 1;
    Sender& sender = senders_[slot];
    const int64_t now = std::chrono::duration_cast<std::chrono::nanoseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count();
    if (sender.lastNanoseconds != 0) {
        const float refill = float(double(now - sender.lastNanoseconds) * 1e-9 * RelayFramesPerSecond);
        sender.frames = std::min(sender.frames + refill, float(RelayFramesPerSecond));
    }
    sender.lastNanoseconds = now;
    if (sender.frames >= 1.0f) {
        sender.frames -= 1.0f;
        return true;
    }
    if (!sender.logged) {
        sender.logged = true;
        Debugger::Instance().Message("ZKNET: Player %d sends more than %d frames a second on channel %u; the rest "
                                     "are not relayed",
                                     senderIndex, RelayFramesPerSecond, unsigned(serverChannelId_));
    }
    return false;
}

void ItemEventChannels::RelayChannel::Receive(int32_t senderIndex, const uint8_t* payload, int32_t size) {
    const int32_t frameSize = ItemFrameSize(serverChannelId_);
    if (size != frameSize - 1 || !GetServer()) return;
    if (!Allow(senderIndex)) return;
    uint8_t frame[128];
    frame[0] = serverChannelId_;
    std::memcpy(frame + 1, payload, size_t(size));
    GetServer()->SendTo(frame, uint32_t(frameSize), -1, 0.0f, false, true, true);
}
