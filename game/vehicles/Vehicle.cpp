// A car's construction, its set-up in the physics world and the quadtree, its removal and its
// items.
#include "game/vehicles/Vehicle.h"

#include <algorithm>
#include <limits>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/CarDefinition.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/Passenger.h"
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/Projectiles.h"
#include "game/vehicles/Gunfire.h"
#include "game/vehicles/ShadowVolumeRenderer.h"
#include "game/vehicles/Specials.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/Decals.h"
#include "game/world/ParticleBatch.h"
#include "game/world/ParticleSystem.h"
#include "game/world/TextureLayer.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

// The body's centre of mass in the chassis frame.
const Vector3 CentreOfMass(0.0f, -10.0f, 0.0f);
using vehicles_detail::WheelMass;

void Release(AudioDevice* sound, AudioVoice*& voice) {
    if (!voice) return;
    if (voice->Parent()) voice->Parent()->RemoveChild(voice);
    if (sound) {
        sound->ReleaseVoice(voice);
    } else {
        delete voice;
    }
    voice = nullptr;
}

SharedString CarFile(const CarDefinition& d, const char* file) {
    return SharedString::Format("Vehicles\\%s\\%s", d.name.c_str(), file);
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Shared resources

VehicleResources::VehicleResources(RenderFacility* facility_, AudioDevice* sound_) : facility(facility_), sound(sound_) {
    if (sound) {
        for (int32_t bank = 0; bank < CrashBanks; ++bank) {
            const SharedString pattern = SharedString::Format("Audio\\Crash%d*.WAV", bank);
            for (const SharedString& file : ListFiles(pattern, true)) {
                const SharedString path = SharedString::Format("Audio\\%s", file.c_str());
                if (AudioVoice* v = sound->CreateSound(path, true)) crashBanks[size_t(bank)].push_back(v);
            }
        }
        for (const SharedString& file : ListFiles(SharedString("Audio\\bullethit_impact*.WAV"), true)) {
            if (bulletHits.size() >= BulletHitVoices) break;
            const SharedString path = SharedString::Format("Audio\\%s", file.c_str());
            if (AudioVoice* v = sound->CreateSound(path, false)) bulletHits.push_back(v);
        }
    }
    skidMarks = facility ? std::make_unique<DecalOwner>(facility, SharedString("Skid.ZKT"),
                                                         TextureLayer{SharedString("Modulate"), 1, 6, 7})
                         : std::make_unique<DecalOwner>();
    shadows = std::make_unique<ShadowVolumeRenderer>(facility);
    haloBatch = std::make_unique<ParticleBatch>(facility, HaloCapacity, false);
    haloBatch->SetMaterial({TextureLayer{SharedString("Add"), 1, 6, 1}, TextureLayer{SharedString("Modulate"), 1, 6, 7}});
    if (facility) {
        TextureFactory& textures = TextureFactory::Instance();
        headlightTexture = textures.GetByName(SharedString("Halo02.ZKT"), true);
        brakeLightTexture = textures.GetByName(SharedString("Halo01.ZKT"), true);
        reverseLightTexture = textures.GetByName(SharedString("Halo02.ZKT"), true);
        bubbleTexture = textures.GetByName(SharedString("Bubble.ZKT"), true);
    }
}

VehicleResources::~VehicleResources() {
    for (auto& bank : crashBanks) {
        for (AudioVoice*& v : bank) Release(sound, v);
    }
    for (AudioVoice*& v : bulletHits) Release(sound, v);
    delete headlightTexture;
    delete brakeLightTexture;
    delete reverseLightTexture;
    delete bubbleTexture;
}

void VehicleResources::PlayCrash(int32_t bank) {
    if (bank < 0 || bank >= CrashBanks) return;
    auto& voices = crashBanks[size_t(bank)];
    if (voices.empty()) return;
    voices[size_t(plat::EngineRand()) % voices.size()]->Play(false);
}

void VehicleResources::PlayBulletHit() {
    if (bulletHits.empty()) return;
    nextBulletHit %= bulletHits.size();
    bulletHits[nextBulletHit++]->Play(false);
}

VehicleResources& SharedVehicleResources(VehicleContext& context) {
    if (!context.resources) {
        context.resources = std::make_unique<VehicleResources>(context.engine.renderer, context.engine.sound);
        if (context.world.decals) context.world.decals->Register(context.resources->skidMarks.get());
    }
    return *context.resources;
}

VehicleContext::VehicleContext(World& world_, GameSession& session_)
    : world(world_), session(session_), engine(world_.engine) {}

VehicleContext::~VehicleContext() {
    pendingController.reset();
    // Cars go before the pools their items return to and the resources they share.
    ownedVehicles.clear();
    itemPools.Clear();
    specials.reset();
    guns.reset();
    projectiles.reset();
    explosions.reset();
    resources.reset();
}

// ---------------------------------------------------------------------------------------------
// Construction and removal

std::unique_ptr<Vehicle> Vehicle::Create(VehicleContext& context, const CarDefinition* definition) {
    if (!definition || !definition->IsValid()) {
        Debugger::Instance().Log(1, "VEHICLE: No car can be made from %s",
                                 definition ? definition->name.c_str() : "a missing definition");
        return nullptr;
    }
    return std::make_unique<Vehicle>(context, *definition);
}

Vehicle::Vehicle(VehicleContext& context_, const CarDefinition& definition_)
    : context(context_), definition(&definition_), damage(*this) {
    itemFlags = UpdateEachFrame | Culled | TreeDrawn | Transparent;
    effects.riderMesh = definition_.riderMeshChick;
    body.localBounds = definition_.chassisBox;
}

Vehicle::~Vehicle() {
    // Out of the tree and the world first: their removal hooks need the whole car.
    if (tree_) tree_->Remove(this);
    if (physics_) physics_->RemoveObject(this);
    if (physics_) OnRemoved(*physics_);

    SetWeapon(nullptr);
    ClearItems(false);
    std::vector<CarItem*> rest;
    rest.swap(items.specials);
    for (CarItem* item : rest) {
        item->Attach(nullptr);
        if (!item->pooled || !item->pool) delete item;
    }
    if (controller && controller->vehicle == this) controller->vehicle = nullptr;
    // No rider keeps a car that is gone.
    if (cab.passenger) cab.passenger->cab = nullptr;
    for (Passenger* rider : cab.passengers)
        if (rider) rider->cab = nullptr;
    // The object channel keeps raw pointers: a car of a network game leaves it first.
    context.world.objectChannel.Forget(this);

    // Nothing of the game may keep naming a car that is gone.
    if (context.chaseCamera && context.chaseCamera->target == this) context.chaseCamera->target = nullptr;
    std::erase(context.vehicles, this);
    for (Vehicle* other : context.vehicles) {
        if (other->damage.lastAttacker == this) other->damage.lastAttacker = nullptr;
        if (other->damage.killer == this) other->damage.killer = nullptr;
    }
    std::erase_if(context.watchedPlayerCars, [this](Vehicle** slot) { return *slot == this; });
    if (context.localDriver && context.localDriver->vehicle == this) context.localDriver->vehicle = nullptr;
}

Vehicle* Vehicle::FindByNetworkPlayerId(VehicleContext& context, int32_t id) {
    for (Vehicle* v : context.vehicles) {
        if (v->network.networkPlayerId == id) return v;
    }
    return nullptr;
}

bool Vehicle::IsLocalPlayerCar() const { return controller && controller->camera; }

const CarCamera& Vehicle::CameraRecord(uint32_t index) const {
    return definition->cameras[std::min<uint32_t>(index, CarCamera::kPerCar - 1)];
}

vehicles_detail::DriveHandling Vehicle::Handling() const { return vehicles_detail::HandlingOf(definition->handling); }

// ---------------------------------------------------------------------------------------------
// Physics set-up

void Vehicle::OnAdded(PhysicsWorld& world) {
    physics_ = &world;
    damage.crashTimer = 0.0f;
    damage.crashDamage = 0.0f;
    damage.lastAttacker = nullptr;
    damage.lastAttackerTimer = 0.0f;
    damage.ForgetPending();
    VehicleResources& shared = SharedVehicleResources(context);

    const BoundingBox& box = definition->chassisCollisionBox;
    body.chassisBox = std::make_unique<BoxGeom>(box.halfExtents);
    for (int32_t i = 0; i < 4; ++i) body.wheelGeoms[size_t(i)] = std::make_unique<SphereGeom>(definition->wheelRadii[i]);
    body.space = std::make_unique<PhysicsSpace>();

    auto chassis = std::make_unique<OffsetRigidBody>(world);
    chassis->SetCentreOfMass(CentreOfMass);
    body.chassisBox->SetOffset(box.centre - CentreOfMass);
    chassis->SetBoxMass(definition->handling.massValue * 0.25f, body.localBounds.halfExtents);
    chassis->SetGeom(body.chassisBox.get());
    body.chassisBox->SetSurface(&shared.chassisSurface);
    body.space->Add(body.chassisBox.get());
    body.chassisBody = std::move(chassis);

    for (int32_t i = 0; i < 4; ++i) {
        SurfaceMaterial& surface = body.wheelSurfaces[size_t(i)];
        surface = SurfaceMaterial(std::numeric_limits<float>::infinity());
        SphereGeom& geom = *body.wheelGeoms[size_t(i)];
        geom.SetSurface(&surface);
        auto wheel = std::make_unique<RigidBody>(world);
        wheel->SetMass(WheelMass);
        const D3D8Mesh* mesh = i < 2 ? definition->frontWheelMesh : definition->backWheelMesh;
        const float radius = mesh ? mesh->Radius() / 3.0f : definition->wheelRadii[i] / 3.0f;
        wheel->SetSphereInertia(radius > 0.0f ? radius : 1.0f);
        wheel->SetGeom(&geom);
        wheel->SetPosition(definition->wheelPoints[i] - Vector3(0.0f, 10.0f, 0.0f));
        body.space->Add(&geom);
        body.wheelBodies[size_t(i)] = std::move(wheel);
        auto joint = std::make_unique<Hinge2Joint>(world);
        joint->SetBodies(body.chassisBody.get(), body.wheelBodies[size_t(i)].get());
        body.wheelJoints[size_t(i)] = std::move(joint);
    }
    AttachJoints();

    body.space->AddToWorld(world);
    body.chassisBody->Enable();
    for (auto& wheel : body.wheelBodies) wheel->Enable();
    body.space->SetCategoryBits(VehicleBody::CarCategory);
    body.space->SetCollideBits(VehicleBody::CarCollide);
    body.chassisBox->SetCategoryBits(VehicleBody::CarCategory);
    body.chassisBox->SetCollideBits(VehicleBody::CarCollide);
    body.chassisBox->SetOwner(this);
    // What fires from the car's space (a cannon shell) names the car too.
    body.space->SetOwner(this);
    body.chassisBox->listeners.push_back(&damage);
    damage.ownGeom = body.chassisBox.get();
    // The wheels name no owner: their weight on the road is no impact on a wall, and nothing
    // that asks a geom's owner (the kill plane, wall damage, instigators) means a wheel.
    for (auto& geom : body.wheelGeoms) {
        geom->listeners.push_back(&damage);
        geom->SetCategoryBits(0);
        geom->SetCollideBits(VehicleBody::WheelCollide);
    }
    for (int32_t i = 0; i < 4; ++i) body.lastWheelTurn[size_t(i)] = Quaternion();
}

void Vehicle::AttachJoints() {
    const Matrix4 turn = GetOrientation().ToMatrix();
    const Vector3 up(turn.m[1][0], turn.m[1][1], turn.m[1][2]);
    const Vector3 axle(turn.m[0][0], turn.m[0][1], turn.m[0][2]);
    for (int32_t i = 0; i < 4; ++i) {
        Hinge2Joint& j = *body.wheelJoints[size_t(i)];
        if (j.IsAttached()) continue;
        j.Attach();
        j.SetAnchor(body.wheelBodies[size_t(i)]->GetPosition());
        j.SetAxes(up, axle);
        j.LockSteering();
        j.SetSuspensionErp(drive.tuning.suspension * 0.75f + 0.05f);
    }
}

void Vehicle::DetachJoints() {
    for (auto& j : body.wheelJoints) {
        if (j && j->IsAttached()) j->Detach();
    }
}

void Vehicle::OnRemoved(PhysicsWorld& world) {
    if (physics_ != &world) return;
    ClearItems(true);
    // Explosions still growing stop naming the chassis that is about to go.
    if (context.explosions) {
        context.explosions->ForgetOwner(body.chassisBox.get());
        context.explosions->ForgetOwner(body.space.get());
    }
    // Projectiles in flight stop naming it as their owner or target.
    if (context.projectiles) context.projectiles->ForgetGeom(body.chassisBox.get());
    // Shots in flight forget the geoms that are about to go.
    if (context.guns) {
        context.guns->ForgetGeom(body.chassisBox.get());
        context.guns->ForgetGeom(body.space.get());
    }
    for (auto& j : body.wheelJoints) j.reset();
    if (body.chassisBox) std::erase(body.chassisBox->listeners, static_cast<CollisionListener*>(&damage));
    for (auto& g : body.wheelGeoms) {
        if (g) std::erase(g->listeners, static_cast<CollisionListener*>(&damage));
    }
    if (body.space) {
        if (body.chassisBox) body.space->Remove(body.chassisBox.get());
        for (auto& g : body.wheelGeoms) {
            if (g) body.space->Remove(g.get());
        }
        body.space->RemoveFromWorld(world);
    }
    body.chassisBody.reset();
    for (auto& b : body.wheelBodies) b.reset();
    body.chassisBox.reset();
    for (auto& g : body.wheelGeoms) g.reset();
    body.space.reset();
    damage.ownGeom = nullptr;
    damage.ForgetPending();
    physics_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Quadtree set-up

void Vehicle::OnAdded(ObjectQuadTree& tree) {
    tree_ = &tree;
    VehicleResources& shared = SharedVehicleResources(context);
    const auto makeHalos = [](std::vector<VehicleEffects::Halo>& list, const std::vector<HaloPoint>& points) {
        list.clear();
        for (const HaloPoint& p : points) list.push_back(VehicleEffects::Halo{p.position, nullptr, 0.0f});
    };
    makeHalos(effects.headlights, definition->haloListA);
    makeHalos(effects.brakeLights, definition->haloListB);
    makeHalos(effects.reverseLights, definition->haloListC);
    effects.haloGroups.clear();
    effects.haloGroups.resize(effects.headlights.size() + effects.brakeLights.size() + effects.reverseLights.size());
    size_t next = 0;
    const auto bind = [&](std::vector<VehicleEffects::Halo>& list, TextureHandle* texture) {
        for (VehicleEffects::Halo& h : list) {
            ParticleGroup& g = effects.haloGroups[next++];
            g.quads.assign(1, ParticleQuad{0.0f, 0.0f, 1.0f, 1.0f, -2.5f, -2.5f, 5.0f, 5.0f});
            g.texture = texture;
            g.layer = 0;
            g.colour[3] = 0.0f;
            g.flags = ParticleGroup::kVisible | ParticleGroup::kFrustumTested;
            g.radius = 3.6f;
            h.particle = &g;
        }
    };
    bind(effects.headlights, shared.headlightTexture);
    bind(effects.brakeLights, shared.brakeLightTexture);
    bind(effects.reverseLights, shared.reverseLightTexture);

    if (AudioDevice* sound = context.engine.sound) {
        const auto voice = [&](const SharedString& name, float minimum, float maximum) {
            AudioVoice* v = sound->CreateSound(name, true);
            if (!v) return v;
            v->SetDistances(minimum, maximum);
            if (context.effectsVolume) context.effectsVolume->AttachChild(v);
            return v;
        };
        sounds.launchVoice = voice(SharedString("Audio\\Accel.wav"), 50.0f, 250.0f);
        sounds.burningVoice = voice(SharedString("Audio\\Fire.wav"), 50.0f, 250.0f);
        sounds.engineVoice = voice(CarFile(*definition, "Engine.wav"), 50.0f, 250.0f);
        sounds.skidVoice = voice(CarFile(*definition, "Slip.wav"), 50.0f, 250.0f);
        sounds.gearVoice = voice(CarFile(*definition, "Gear.wav"), 50.0f, 200.0f);
        sounds.doorVoice = voice(CarFile(*definition, "Door.wav"), 50.0f, 200.0f);
        if (sounds.engineVoice) {
            sounds.engineVoice->SetVolume(1.0f);
            sounds.engineVoice->Play(true);
        }
        if (sounds.skidVoice) {
            sounds.skidVoice->SetVolume(0.0f);
            sounds.skidVoice->Play(true);
        }
    }
    MakeOwnSpecial();
}

void Vehicle::MakeOwnSpecial() {
    if (!items.specials.empty()) return;
    SharedString upper(definition->name.c_str());
    upper.ToUpper();
    const std::string_view name(upper.c_str());
    CarItem* own = nullptr;
    if (name.starts_with("POLICE")) {
        items.ownSpecial = VehicleItems::OwnSpecial::Siren;
        own = new CopSirenSpecial(context, CarFile(*definition, "Horn.wav"));
    } else if (name.size() >= 2 && name.ends_with("ZZ")) {
        items.ownSpecial = VehicleItems::OwnSpecial::Boost;
        own = context.itemPools[ItemKind::Boost].Take();
    } else {
        items.ownSpecial = VehicleItems::OwnSpecial::Horn;
        own = new HornSpecial(context, CarFile(*definition, "Horn.wav"));
    }
    if (!own) {
        Debugger::Instance().Log(1, "VEHICLE: %s has no %s", definition->name.c_str(), OwnSpecialName());
        return;
    }
    own->permanent = 1;
    AddSpecial(own);
}

const char* Vehicle::OwnSpecialName() const {
    switch (items.ownSpecial) {
    case VehicleItems::OwnSpecial::Siren: return "siren";
    case VehicleItems::OwnSpecial::Boost: return "boost";
    case VehicleItems::OwnSpecial::Horn: return "horn";
    default: return "none";
    }
}

void Vehicle::OnRemoved(ObjectQuadTree& tree) {
    if (tree_ != &tree) return;
    for (auto* list : {&effects.headlights, &effects.brakeLights, &effects.reverseLights}) {
        for (VehicleEffects::Halo& h : *list) h.particle = nullptr;
    }
    effects.haloGroups.clear();
    if (sounds.engineVoice) sounds.engineVoice->Stop();
    if (sounds.skidVoice) sounds.skidVoice->Stop();
    AudioDevice* sound = context.engine.sound;
    Release(sound, sounds.launchVoice);
    Release(sound, sounds.engineVoice);
    Release(sound, sounds.skidVoice);
    Release(sound, sounds.gearVoice);
    Release(sound, sounds.doorVoice);
    Release(sound, sounds.burningVoice);
    tree_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Items

void Vehicle::ClearItems(bool keepPermanent) {
    if (items.weapon) SetWeapon(nullptr);
    for (size_t i = 0; i < items.specials.size();) {
        CarItem* item = items.specials[i];
        if (item->permanent && keepPermanent) {
            ++i;
            continue;
        }
        items.specials.erase(items.specials.begin() + ptrdiff_t(i));
        item->Attach(nullptr);
        if (!item->pooled || !item->pool) delete item;
    }
}

void Vehicle::SetWeapon(CarItem* item) {
    if (items.weapon == item) return;
    CarItem* old = items.weapon;
    items.weapon = item;
    if (old) {
        old->Attach(nullptr);
        if (!old->pooled || !old->pool) delete old;
    }
    if (item) item->Attach(this);
}

void Vehicle::AddSpecial(CarItem* item) {
    if (!item) return;
    if (item->permanent) {
        // The car's own special takes the first place, replacing whatever held it.
        if (!items.specials.empty()) {
            CarItem* old = items.specials.front();
            items.specials.erase(items.specials.begin());
            old->Attach(nullptr);
            if (!old->pooled || !old->pool) delete old;
        }
        items.specials.insert(items.specials.begin(), item);
        item->Attach(this);
        return;
    }
    if (item->exclusive) {
        const auto it = std::find_if(items.specials.begin(), items.specials.end(), [](CarItem* s) { return s->exclusive; });
        if (it != items.specials.end()) {
            CarItem* old = *it;
            items.specials.erase(it);
            old->Attach(nullptr);
            if (!old->pooled || !old->pool) delete old;
        }
    }
    const bool behind = !items.specials.empty() && items.specials.front()->exclusive;
    items.specials.insert(items.specials.begin() + (behind ? 1 : 0), item);
    item->Attach(this);
}

void Vehicle::RemoveSpecial(CarItem* item) {
    const auto it = std::find(items.specials.begin(), items.specials.end(), item);
    if (it == items.specials.end()) return;
    items.specials.erase(it);
    item->Attach(nullptr);
    if (!item->pooled || !item->pool) delete item;
}

bool Vehicle::ItemsAllow() {
    bool allow = true;
    for (CarItem* s : items.specials) allow = s->DrawOverlay() && allow;
    if (items.weapon) allow = items.weapon->DrawOverlay() && allow;
    return allow;
}
