#include "game/vehicles/Weapons.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/net/ZKClient.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/DrivingActions.h"
#include "game/vehicles/ItemEvents.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"

uint8_t UnlimitedAmmo[6] = {0, 0, 0, 0, 0, 0};

namespace {

// What the weapons ask of their car.
CarItem* WeaponSlot(const Vehicle& car) { return car.items.weapon; }
int32_t PlayerIdOf(const Vehicle& car) { return car.network.networkPlayerId; }

Matrix4 TurnOf(const Vehicle& car) { return car.GetOrientation().ToMatrix(); }

Vector3 RandomIn(float lo, float hi) { return Vector3(RandomFloat(lo, hi), RandomFloat(lo, hi), RandomFloat(lo, hi)); }

// A case's throw: up and to the right of the gun, at 100 units a second.
Vector3 CaseVelocity(const Matrix4& turn, float scatter) {
    return turn.TransformNormal((Vector3(0.5f, 1.0f, 0.0f) + RandomIn(-scatter, scatter)).Normalized()) * 100.0f;
}

// The car of a received event that is not the local player's own (whose echo is ignored).
Vehicle* RemoteCar(VehicleContext& context, int32_t playerId) {
    Vehicle* car = Vehicle::FindByNetworkPlayerId(context, playerId);
    return car && !car->IsLocalPlayerCar() ? car : nullptr;
}

} // namespace

template <class Kind>
Kind* WeaponOf(const Vehicle* car) {
    return car ? dynamic_cast<Kind*>(WeaponSlot(*car)) : nullptr;
}
template FlamerWeapon* WeaponOf<FlamerWeapon>(const Vehicle*);
template ChainGunWeapon* WeaponOf<ChainGunWeapon>(const Vehicle*);
template GrenadeWeapon* WeaponOf<GrenadeWeapon>(const Vehicle*);
template MissileWeapon* WeaponOf<MissileWeapon>(const Vehicle*);
template RocketWeapon* WeaponOf<RocketWeapon>(const Vehicle*);

// ---------------------------------------------------------------------------------------------
// What the kinds share

GameWeapon::GameWeapon(VehicleContext& context_, int32_t kind, const char* activeSound, const char* hudIconName)
    : Weapon(kind), context(context_) {
    activeVoice = Voice(activeSound);
    if (context.engine.renderer) {
        weaponIcon = TextureFactory::Instance().GetByName(SharedString::Format("%s", hudIconName), true);
        hudIcon = weaponIcon;
    }
}

GameWeapon::~GameWeapon() { delete weaponIcon; }

void GameWeapon::Attach(Vehicle* newCar) {
    Weapon::Attach(newCar);
    if (newCar) PlayAtCar(activeVoice);
}

AudioVoice* GameWeapon::Voice(const char* file, float maximum) {
    return SharedGunEffects(context).MakeVoice(SharedString::Format("Audio\\%s", file), 100.0f, maximum);
}

void GameWeapon::PlayAtCar(AudioVoice* voice) {
    if (!voice || !car) return;
    voice->SetPosition(car->GetPosition());
    voice->Play(false);
}

void GameWeapon::UseAmmo(float amount) {
    if (UnlimitedAmmo[weaponKind]) return;
    ammo = std::max(ammo - amount, 0.0f);
}

bool GameWeapon::Send(const uint8_t* frame, int32_t size) {
    if (!context.client) return false;
    context.client->Send(frame, uint32_t(size), 0.0f, false, true, true);
    return true;
}

bool GameWeapon::FireHeld() const { return IsDrivingActionHeld(context.engine.input, ActionFireWeapon); }
bool GameWeapon::FirePressed() const { return WasDrivingActionPressed(context.engine.input, ActionFireWeapon); }

PhysicsGeom* GameWeapon::CollisionOwner() const { return car ? car->ChassisGeom() : nullptr; }

void GameWeapon::ShowAmmo() { hudText.FormatInPlace("%d", int32_t(ammo)); }

void GameWeapon::DrawOnCar(D3D8Mesh* mesh, const Matrix4& local) const {
    RenderFacility* facility = context.engine.renderer;
    if (facility) RenderMeshAt(*facility->GetMatrixStack(), mesh, local);
}

// ---------------------------------------------------------------------------------------------
// Flamer

FlamerWeapon::FlamerWeapon(VehicleContext& context_)
    : GameWeapon(context_, WeaponFlamer, "Flamer_Active.WAV", "Hud_Flamer.ZKT"), flame(context_) {}

void FlamerWeapon::Attach(Vehicle* newCar) {
    if (!newCar) {
        flame.Release();
        flame.StopFiring();
        flame.owner = nullptr;
    }
    GameWeapon::Attach(newCar);
    if (!newCar) return;
    flame.Activate();
    flame.owner = CollisionOwner();
    ammo = FullAmmo;
}

void FlamerWeapon::Announce(bool on) {
    if (!car) return;
    uint8_t frame[WeaponSwitchEvent::FrameSize];
    EncodeWeaponSwitch(FlamerChannel, WeaponSwitchEvent{PlayerIdOf(*car), on ? 1 : 0}, frame);
    Send(frame, WeaponSwitchEvent::FrameSize);
}

void FlamerWeapon::Trigger() {
    if (FireHeld()) {
        StartFiring();
    } else {
        StopFiring();
    }
}

void FlamerWeapon::StartFiring() {
    if (!car || car->IsWrecked() || ammo <= 0.0f) {
        StopFiring();
        return;
    }
    if (Burning()) return;
    Announce(true);
    flame.StartFiring();
}

void FlamerWeapon::StopFiring() {
    if (!Burning()) return;
    Announce(false);
    flame.StopFiring();
}

void FlamerWeapon::Update(float dt) {
    if (!car) return;
    if (car->IsWrecked()) StopFiring();
    if (Burning()) {
        flame.muzzle = car->GetPosition() + TurnOf(*car).TransformNormal(car->Definition().flamerPoint);
        flame.orientation = car->GetOrientation();
        flame.carrierVelocity = car->GetLinearVelocity();
        if (!UnlimitedAmmo[WeaponFlamer]) {
            ammo -= AmmoPerSecond * dt;
            if (ammo < 0.0f) {
                ammo = 0.0f;
                StopFiring();
            }
        }
    }
    ShowAmmo();
}

void FlamerWeapon::Receive(const WeaponSwitchEvent& event) {
    if (event.on == 0) {
        flame.StopFiring();
    } else if (!Burning()) {
        flame.StartFiring();
    }
}

// ---------------------------------------------------------------------------------------------
// Chain gun

ChainGunWeapon::ChainGunWeapon(VehicleContext& context_)
    : GameWeapon(context_, WeaponChainGun, "Chain_Active.WAV", "Hud_ChainGun.ZKT"), muzzleFlash(context_) {
    startVoice = Voice("Chain_Start.WAV");
    fireVoice = Voice("Chain_Fire.WAV", 500.0f);
    endVoice = Voice("Chain_End.WAV");
    if (context.engine.renderer) {
        mesh = MeshFactory::Instance().GetByName(SharedString("Models\\Chaingun.ZKM"), true);
        // The barrels point along -z; the flash sits at their end.
        if (mesh) muzzleOffset = Vector3(0.0f, 0.0f, std::min(mesh->Bounds().Min().z, 0.0f));
    }
    BulletTrail::LoadImpactResources(context);
    ShellEjector::Load(context);
}

ChainGunWeapon::~ChainGunWeapon() {
    ReleaseCasing();
    delete mesh;
}

void ChainGunWeapon::ReleaseCasing() {
    if (casing) casing->Release();
    casing = nullptr;
}

void ChainGunWeapon::Attach(Vehicle* newCar) {
    if (!newCar) {
        if (fireVoice) fireVoice->StopAndRewind();
        ReleaseCasing();
    }
    GameWeapon::Attach(newCar);
    if (!newCar) return;
    ammo = FullAmmo;
    firing = 0;
    extend = 0.0f;
    spin = 0.0f;
    barrelAngle = 0.0f;
}

void ChainGunWeapon::Trigger() {
    if (FireHeld()) {
        StartFiring();
    } else {
        StopFiring();
    }
}

void ChainGunWeapon::StartFiring() {
    if (!car || car->IsWrecked() || ammo <= 0.0f) {
        StopFiring();
        return;
    }
    if (firing) return;
    uint8_t frame[WeaponSwitchEvent::FrameSize];
    EncodeWeaponSwitch(ChainGunChannel, WeaponSwitchEvent{PlayerIdOf(*car), 1}, frame);
    if (!Send(frame, WeaponSwitchEvent::FrameSize)) PlayAtCar(startVoice);
    firing = 1;
}

void ChainGunWeapon::StopFiring() {
    if (!firing) return;
    if (car) {
        uint8_t frame[WeaponSwitchEvent::FrameSize];
        EncodeWeaponSwitch(ChainGunChannel, WeaponSwitchEvent{PlayerIdOf(*car), 0}, frame);
        Send(frame, WeaponSwitchEvent::FrameSize);
    }
    firing = 0;
}

void ChainGunWeapon::Update(float dt) {
    if (!car) return;
    extend = std::min(extend + dt, 1.0f);
    if (car->IsWrecked()) StopFiring();
    const float before = spin;
    if (firing) {
        spin += SpinUp * dt;
    } else {
        spin -= spin * std::max(0.0f, 2.0f * dt);
    }
    spin = std::clamp(spin, 0.0f, 1.0f);
    if (before < FiringSpin && spin >= FiringSpin) {
        if (fireVoice) fireVoice->Play(true);
        shotClock = 0.0f;
        shellClock = 0.0f;
    } else if (before > FiringSpin && spin <= FiringSpin) {
        if (fireVoice) fireVoice->StopAndRewind();
        PlayAtCar(endVoice);
        ReleaseCasing();
    }
    const Matrix4 turn = TurnOf(*car);
    const Vector3 position = car->GetPosition();
    const CarDefinition& definition = car->Definition();
    if (spin > FiringSpin) {
        shotClock += dt * spin;
        shellClock += dt * spin;
        Shoot(turn, position + turn.TransformNormal(definition.chaingunPointB));
    }
    muzzleFlash.SetPosition(position + turn.TransformNormal(definition.chaingunPointB + muzzleOffset),
                            spin > FiringSpin ? 1.0f : 0.0f);
    muzzleFlash.Update(dt);
    barrelAngle += 2.0f * Pi * spin * 25.0f * dt;
    if (fireVoice) fireVoice->SetPosition(position);
    ShowAmmo();
}

void ChainGunWeapon::Shoot(const Matrix4& turn, const Vector3& muzzle) {
    while (shellClock >= 0.0f) {
        ReleaseCasing();
        casing = ShellCasing::Create(context, muzzle, CaseVelocity(turn, 0.125f));
        shellClock -= CaseInterval;
    }
    const Vector3 forward = turn.TransformNormal(Vector3(0.0f, 0.0f, -1.0f));
    PhysicsGeom* owner = CollisionOwner();
    while (shotClock >= 0.0f) {
        const Vector3 spread(RandomFloat(-0.075f, 0.075f), RandomFloat(-0.025f, 0.075f), RandomFloat(-0.075f, 0.075f));
        BulletTrail::Fire(context, owner, muzzle, (forward + spread).Normalized());
        ShellEjector::Eject(context, muzzle, Quaternion(), CaseVelocity(turn, 0.25f), RandomIn(-10.0f, 10.0f), casing);
        shotClock -= ShotInterval;
        UseAmmo(1.0f);
    }
}

void ChainGunWeapon::Draw(const Camera& camera) {
    if (!car) return;
    const CarDefinition& d = car->Definition();
    const Vector3 at = d.chaingunPointA + (d.chaingunPointB - d.chaingunPointA) * extend;
    Matrix4 local = Matrix4::RotationZ(barrelAngle);
    local.m[3][0] = at.x;
    local.m[3][1] = at.y;
    local.m[3][2] = at.z;
    DrawOnCar(mesh, local);
    muzzleFlash.Draw(camera);
}

void ChainGunWeapon::Receive(const WeaponSwitchEvent& event) {
    if (event.on == 0) {
        firing = 0;
    } else if (!firing) {
        PlayAtCar(startVoice);
        firing = 1;
    }
}

// ---------------------------------------------------------------------------------------------
// Pools and channels

void InstallWeaponFactories(VehicleContext& context) {
    VehicleContext* c = &context;
    context.itemPools[ItemKind::Flamer].SetFactory([c] { return new FlamerWeapon(*c); });
    context.itemPools[ItemKind::ChainGun].SetFactory([c] { return new ChainGunWeapon(*c); });
    context.itemPools[ItemKind::GrenadeThrower].SetFactory([c] { return new GrenadeWeapon(*c); });
    context.itemPools[ItemKind::MissileLauncher].SetFactory([c] { return new MissileWeapon(*c); });
    context.itemPools[ItemKind::RocketLauncher].SetFactory([c] { return new RocketWeapon(*c); });
}

void RegisterWeaponHandlers(VehicleContext& context, ItemEventChannels& channels) {
    VehicleContext* c = &context;
    channels.SetWeaponHandler(FlamerChannel, [c](const uint8_t* payload, int32_t size) {
        WeaponSwitchEvent e;
        if (!DecodeWeaponSwitch(payload, size, e)) return;
        if (auto* w = WeaponOf<FlamerWeapon>(RemoteCar(*c, e.playerId))) w->Receive(e);
    });
    channels.SetWeaponHandler(ChainGunChannel, [c](const uint8_t* payload, int32_t size) {
        WeaponSwitchEvent e;
        if (!DecodeWeaponSwitch(payload, size, e)) return;
        if (auto* w = WeaponOf<ChainGunWeapon>(RemoteCar(*c, e.playerId))) w->Receive(e);
    });
    // The launchers act on the echo, the shooter's own included.
    channels.SetWeaponHandler(GrenadeChannel, [c](const uint8_t* payload, int32_t size) {
        GrenadeEvent e;
        if (DecodeGrenadeEvent(payload, size, e)) GrenadeWeapon::Receive(*c, e);
    });
    channels.SetWeaponHandler(MissileChannel, [c](const uint8_t* payload, int32_t size) {
        MissileEvent e;
        if (!DecodeMissileEvent(payload, size, e)) return;
        MissileWeapon* w = WeaponOf<MissileWeapon>(Vehicle::FindByNetworkPlayerId(*c, e.playerId));
        if (!w && c->guns && !c->guns->missiles.empty()) w = c->guns->missiles.front();
        if (w) w->Launch(e);
    });
    channels.SetWeaponHandler(RocketChannel, [c](const uint8_t* payload, int32_t size) {
        RocketEvent e;
        if (!DecodeRocketEvent(payload, size, e)) return;
        if (auto* w = WeaponOf<RocketWeapon>(Vehicle::FindByNetworkPlayerId(*c, e.playerId))) w->LaunchSalvo(e);
    });
}
