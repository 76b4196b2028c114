#pragma once
// The five weapon kinds a car can carry: flamer, grenade thrower, chain gun, homing-missile
// launcher and rocket launcher. The player's controller triggers its car's weapon every frame
// (the weapon reads the Fire and Lock actions through the active bindings); AI drivers and the
// modes call the non-virtual operations. In a network game every use is an event on the kind's
// channel that the host relays to everyone: the chain gun and the flamer act at once and ignore
// their own echo, the launchers act on the echo only.
#include <cstdint>
#include <memory>

#include "engine/core/Math.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/FlamerEffect.h"
#include "game/vehicles/Gunfire.h"
#include "game/vehicles/WeaponEvents.h"

class AudioVoice;
class D3D8Mesh;
class ItemEventChannels;
class ShellCasing;
struct VehicleContext;

// The program's unlimited-ammunition switches, one per weapon kind (indexed by WeaponKind):
// while a kind's switch is on its ammunition is not used up. The developer commands flip them.
extern uint8_t UnlimitedAmmo[6];

// What every kind shares: the context, the kind's voices and the network send.
class GameWeapon : public Weapon {
public:
    GameWeapon(VehicleContext& context, int32_t kind, const char* activeSound, const char* hudIcon);
    ~GameWeapon() override;

    // With a car: the active voice plays there once. Null: back to the pool.
    void Attach(Vehicle* newCar) override;

    VehicleContext& context;
    AudioVoice* activeVoice = nullptr;

protected:
    // A voice of this weapon: positional, in the effects group (null without sound).
    AudioVoice* Voice(const char* file, float maximum = 250.0f);
    // Plays a voice once at the car.
    void PlayAtCar(AudioVoice* voice);
    // Uses ammunition unless the kind's switch is on; never below 0.
    void UseAmmo(float amount);
    // Sends a whole frame to the host when the game has a client; false without one.
    bool Send(const uint8_t* frame, int32_t size);
    bool FireHeld() const;
    bool FirePressed() const;
    // The car's collision owner, its orientation and position.
    PhysicsGeom* CollisionOwner() const;
    void ShowAmmo();
    // Draws a mesh placed by `local` in the car's frame (the car's draw has its frame loaded).
    void DrawOnCar(D3D8Mesh* mesh, const Matrix4& local) const;
};

class FlamerWeapon : public GameWeapon {
public:
    static constexpr float FullAmmo = 250.0f;
    static constexpr float AmmoPerSecond = 20.0f;

    explicit FlamerWeapon(VehicleContext& context);
    void Attach(Vehicle* newCar) override;
    void Trigger() override;
    void Update(float dt) override;
    void StartFiring();
    void StopFiring();
    bool Burning() const { return flame.firing != 0; }
    // A relayed switch event for this weapon's car.
    void Receive(const WeaponSwitchEvent& event);

    FlamerEffect flame;

private:
    void Announce(bool on);
};

class ChainGunWeapon : public GameWeapon {
public:
    static constexpr float FullAmmo = 1000.0f;
    // Bullets leave once the barrels turn faster than this.
    static constexpr float FiringSpin = 0.125f;
    static constexpr float SpinUp = 0.25f;
    static constexpr float ShotInterval = 0.01f;
    static constexpr float CaseInterval = 0.25f;

    explicit ChainGunWeapon(VehicleContext& context);
    ~ChainGunWeapon() override;
    void Attach(Vehicle* newCar) override;
    void Trigger() override;
    void Update(float dt) override;
    void Draw(const Camera& camera) override;
    void StartFiring();
    void StopFiring();
    void Receive(const WeaponSwitchEvent& event);

    uint8_t firing = 0;
    float shotClock = 0.0f;
    D3D8Mesh* mesh = nullptr;
    float extend = 0.0f;
    float spin = 0.0f;
    float barrelAngle = 0.0f;
    AudioVoice* startVoice = nullptr;
    AudioVoice* fireVoice = nullptr;
    AudioVoice* endVoice = nullptr;
    float shellClock = 0.0f;
    ShellCasing* casing = nullptr;
    MuzzleFlash muzzleFlash;
    Vector3 muzzleOffset;

private:
    void ReleaseCasing();
    void Shoot(const Matrix4& turn, const Vector3& muzzle);
};

// The item pools' factories of the weapon kinds and the receivers of their channels.
void InstallWeaponFactories(VehicleContext& context);
void RegisterWeaponHandlers(VehicleContext& context, ItemEventChannels& channels);
// The weapon of that kind on the car, or null.
template <class Kind>
Kind* WeaponOf(const Vehicle* car);
