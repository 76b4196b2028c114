#pragma once
// Everything a car carries besides its passengers: one weapon and a list of specials. Items are
// made once and recycled through the pool of their kind.
#include <cstdint>

#include "engine/core/SharedString.h"

class Camera;
class ItemPool;
class TextureHandle;
class Vehicle;

class CarItem {
public:
    CarItem();
    virtual ~CarItem();
    CarItem(const CarItem&) = delete;
    CarItem& operator=(const CarItem&) = delete;

    // Null detaches; a detached pooled item goes back to its pool, which then owns it.
    virtual void Attach(Vehicle* car);
    // The item looks at its input action and acts (the player's car calls it every frame).
    virtual void Trigger() {}
    virtual void Update(float /*dt*/) {}
    // Draws the item on the car or its aiming aid.
    virtual void Draw(const Camera& /*camera*/) {}
    // Draws the item's full-screen effect; false hides the HUD.
    virtual bool DrawOverlay() { return true; }

    Vehicle* owner = nullptr;
    TextureHandle* hudIcon = nullptr;
    // Ammunition, charges or seconds left, shown beside the icon.
    SharedString hudText;
    uint8_t active = 0;
    // At most one exclusive item per car; it keeps the front of the special list.
    uint8_t exclusive = 0;
    // The car's own special: never removed when used up or at a respawn.
    uint8_t permanent = 0;
    // A detached item goes back to its pool; otherwise a removed item is destroyed.
    uint8_t pooled = 1;
    int32_t hornMarker = 0;
    // The pool a detached item returns to (set when taken from it); null for none.
    ItemPool* pool = nullptr;
};

// Weapon kinds; also the order of their network channels from 34 down (see ItemEvents.h).
enum WeaponKind : int32_t {
    WeaponNone = 0,
    WeaponFlamer = 1,
    WeaponGrenade = 2,
    WeaponChainGun = 3,
    WeaponMissile = 4,
    WeaponRocket = 5,
};

class Weapon : public CarItem {
public:
    explicit Weapon(int32_t kind);
    void Attach(Vehicle* car) override;

    Vehicle* car = nullptr;
    int32_t weaponKind = WeaponNone;
    TextureHandle* weaponIcon = nullptr;
    // What is left to fire; a weapon that reaches 0 is dropped by its car.
    float ammo = -1.0f;

private:
    int32_t kind_;
};

class CarSpecial : public CarItem {
public:
    // The effect begins / ends.
    virtual void Start() {}
    virtual void Stop() {}
    // Announces the use to the other players (in a network game), then starts the effect.
    void Use();
    void StopUse();
    // Where this special sits in its car's list; -1 when detached or not found.
    int32_t IndexInOwner() const;
    // A used-up special that is not permanent ends itself.
    void UsedUp();
};
