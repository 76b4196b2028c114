#include "game/vehicles/PickupCrate.h"

#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/ItemPool.h"
#include "game/vehicles/Specials.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/DamageReceiver.h"
#include "game/world/World.h"
#include "game/world/WorldObject.h"

namespace {

int32_t WeaponCrateKind(int32_t kind) {
    switch (kind) {
    case PickupCrate::WeaponCannon: return PickupCrate::CannonCrate;
    case PickupCrate::WeaponMissile: return PickupCrate::MissileCrate;
    case PickupCrate::WeaponRocket: return PickupCrate::RocketCrate;
    case PickupCrate::WeaponChainGun: return PickupCrate::ChainGunCrate;
    case PickupCrate::WeaponFlamer: return PickupCrate::FlamerCrate;
    default: return -1;
    }
}

bool IsWeaponCrate(int32_t kind) { return WeaponCrateKind(kind) >= 0; }

// The car whose geom touched the crate: the geom's damage receiver is a car's.
Vehicle* CarOf(PhysicsGeom* geom) {
    auto* damage = dynamic_cast<VehicleDamage*>(DamageReceiver::ReceiverOf(geom));
    return damage ? &damage->car : nullptr;
}

} // namespace

PickupCrate::PickupCrate(VehicleContext& context_, int32_t kind_, WorldObject* object_)
    : SphereGeom(1.0f),
      CollisionListener(AskIgnorePair | AskForceReceiver),
      context(context_),
      kind(kind_),
      object(object_) {
    flags |= OneSided | AlwaysCollide;
    SetCategoryBits(Category);
    SetCollideBits(Collide);
    listeners.push_back(this);
    spins = (kind == Explosive || kind == Slow) ? 0 : 1;
    if (IsWeaponCrate(kind)) weaponKind = WeaponCrateKind(kind);
    // The repair crates share one voice, made with the first.
    if (kind == Repair) SharedSpecialResources(context);
}

PickupCrate::~PickupCrate() {
    if (physics_) physics_->RemoveObject(this);
    if (physics_) OnRemoved(*physics_);
}

void PickupCrate::OnAdded(PhysicsWorld& world) {
    physics_ = &world;
    basePosition = object ? object->PlacedPosition() : Vector3();
    hiddenTimer = 0.0f;
    float radius = 1.0f;
    Vector3 centre;
    if (object && object->kind && object->kind->radiusSquared > 0.0f) {
        radius = std::sqrt(object->kind->radiusSquared);
        centre = object->kind->boxCentre;
    }
    SetRadius(2.0f * radius);
    SetPosition(basePosition + centre);
    AddToWorld(world);
}

void PickupCrate::OnRemoved(PhysicsWorld& world) {
    if (physics_ != &world) return;
    RemoveFromWorld(world);
    physics_ = nullptr;
    touched_ = false;
    touchedBy_ = nullptr;
}

void PickupCrate::UpdateBounds(PhysicsWorld&, float dt) { AfterStep(dt); }

bool PickupCrate::Takes(Vehicle* car) const {
    if (kind == Explosive) return true;
    if (!car) return false;
    if (kind == Repair) return !car->IsWrecked();
    if (kind == Slow) return context.client == nullptr;
    return true;
}

bool PickupCrate::IgnorePair(PhysicsGeom*, PhysicsGeom*) { return Hidden() || touched_; }

JointForceReceiver* PickupCrate::GetForceReceiver(PhysicsGeom*, PhysicsGeom* other) {
    // Inside the collision: only note who touched; the gift is made after the step.
    if (!touched_ && !Hidden()) {
        Vehicle* car = CarOf(other);
        if (Takes(car)) {
            touched_ = true;
            touchedBy_ = car;
        }
    }
    return nullptr;
}

void PickupCrate::AfterStep(float dt) {
    if (touched_) {
        touched_ = false;
        Vehicle* car = touchedBy_;
        touchedBy_ = nullptr;
        Give(car);
    }
    hiddenTimer += dt;
    if (!object) return;
    object->far = Hidden();
    Quaternion turn = object->PlacedOrientation();
    if (spins) turn = Quaternion(Vector3(0.0f, 1.0f, 0.0f), 4.0f * dt) * turn;
    const Vector3 at = basePosition + Vector3(0.0f, 4.0f * std::sin(10.0f * hiddenTimer), 0.0f);
    object->MovePlacedPose(at, turn);
    const Vector3 centre = object->kind ? object->kind->boxCentre : Vector3();
    SetPosition(at + centre);
}

void PickupCrate::Give(Vehicle* car) {
    if (Hidden()) return;
    ItemPools& pools = context.itemPools;
    const auto special = [&](ItemKind pool, bool start) {
        CarItem* item = pools[pool].Take();
        if (!item) return;
        car->AddSpecial(item);
        if (start) {
            if (auto* s = dynamic_cast<CarSpecial*>(item)) s->Start();
        }
    };
    if (kind == Explosive) {
        Explosion::Spawn(context, nullptr, basePosition, Explosion::WreckStart, Explosion::WreckMaximum,
                         Explosion::WreckGrowth, true, SharedString());
        hiddenTimer = -HideTime;
        return;
    }
    // A geom that is no car's takes nothing, and the crate stays.
    if (!car) return;
    switch (kind) {
    case Boost: special(ItemKind::Boost, true); break;
    case Jump: special(ItemKind::Jump, false); break;
    case Rock: special(ItemKind::Rock, true); break;
    case Slow:
        if (context.client) return;
        special(ItemKind::Slow, true);
        break;
    case Repair:
        if (car->IsWrecked()) return;
        if (car->controller) {
            if (AudioVoice* voice = SharedSpecialResources(context).repairVoice) {
                voice->SetPosition(car->GetPosition());
                voice->Play(false);
            }
        }
        car->damage.health = car->damage.maxHealth;
        break;
    default:
        switch (weaponKind) {
        case CannonCrate: special(ItemKind::Cannon, false); break;
        case MissileCrate: car->SetWeapon(pools[ItemKind::MissileLauncher].Take()); break;
        case RocketCrate: car->SetWeapon(pools[ItemKind::RocketLauncher].Take()); break;
        case ChainGunCrate: car->SetWeapon(pools[ItemKind::ChainGun].Take()); break;
        case FlamerCrate: car->SetWeapon(pools[ItemKind::Flamer].Take()); break;
        default: Debugger::Instance().Message("Unknown weapon!"); break;
        }
        break;
    }
    hiddenTimer = -HideTime;
}

void RegisterCrateFactory(VehicleContext& context) {
    VehicleContext* c = &context;
    context.world.factories.crate = [c](World& world, const CrateRecord& record) -> std::unique_ptr<WorldFeature> {
        auto crate = std::make_unique<PickupCrate>(*c, record.type, record.object);
        world.physics.AddObject(crate.get());
        return crate;
    };
}
