#include "game/vehicles/CarItem.h"

#include <algorithm>

#include "engine/net/ZKClient.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/ItemPool.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"

CarItem::CarItem() { hudText.Reserve(8); }

CarItem::~CarItem() = default;

void CarItem::Attach(Vehicle* car) {
    owner = car;
    if (!car && pooled && pool) pool->Return(this);
}

Weapon::Weapon(int32_t kind) : weaponKind(kind), kind_(kind) {}

void Weapon::Attach(Vehicle* newCar) {
    car = newCar;
    weaponKind = kind_;
    CarItem::Attach(newCar);
}

int32_t CarSpecial::IndexInOwner() const {
    if (!owner) return -1;
    const auto& list = owner->items.specials;
    const auto it = std::find(list.begin(), list.end(), this);
    return it == list.end() ? -1 : int32_t(it - list.begin());
}

namespace {
void Announce(CarSpecial& special, bool on) {
    if (!special.owner) return;
    ZKClient* client = special.owner->context.client;
    if (!client) return;
    SpecialEvent event;
    event.playerId = special.owner->network.networkPlayerId;
    event.on = on ? 1 : 0;
    event.index = special.IndexInOwner();
    uint8_t frame[SpecialEvent::FrameSize];
    EncodeSpecialEvent(event, frame);
    client->Send(frame, SpecialEvent::FrameSize, 0.0f, false, true, true);
}
} // namespace

void CarSpecial::Use() {
    Announce(*this, true);
    Start();
}

void CarSpecial::StopUse() {
    Announce(*this, false);
    Stop();
}

void CarSpecial::UsedUp() {
    active = 0;
    if (owner && !permanent) owner->RemoveSpecial(this);
}
