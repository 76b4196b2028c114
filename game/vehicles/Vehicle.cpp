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
#include "game/vehicles/ChaseCamera.h"
#include "game/vehicles/ShadowVolumeRenderer.h"
#include "game/vehicles/VehicleContext.h"
#include "game/vehicles/VehicleDriver.h"
#include "game/vehicles/VehicleResources.h"
#include "game/world/ParticleBatch.h"
#include "game/world/ParticleSystem.h"
#include "game/world/TextureLayer.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

// The body's centre of mass in the chassis frame.
const Vector3 CentreOfMass(0.0f, -10.0f, 0.0f);
constexpr float WheelMass = 50.0f;

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
    }
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

VehicleResources& SharedVehicleResources(VehicleContext& context) {
    if (!context.resources) context.resources = std::make_unique<VehicleResources>(context.engine.renderer, context.engine.sound);
    return *context.resources;
}

VehicleContext::VehicleContext(World& world_, GameSession& session_)
    : world(world_), session(session_), engine(world_.engine) {}

VehicleContext::~VehicleContext() {
    pendingController.reset();
    // Cars go before the pools their items return to and the resources they share.
    ownedVehicles.clear();
    itemPools.Clear();
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
    : DamageReceiver(MaxHealth, DamageType, 0.0f), context(context_), definition(&definition_) {
    itemFlags = UpdateEachFrame | Culled | TreeDrawn | Transparent;
    listenerFlags |= AskFilterContact | AskOnTriangles;
    riderMesh = definition_.riderMeshChick;
    localBounds = definition_.chassisBox;
}

Vehicle::~Vehicle() {
    // Out of the tree and the world first: their removal hooks need the whole car.
    if (tree_) tree_->Remove(this);
    if (physics_) physics_->RemoveObject(this);
    if (physics_) OnRemoved(*physics_);

    SetWeapon(nullptr);
    ClearItems(false);
    std::vector<CarItem*> rest;
    rest.swap(specials);
    for (CarItem* item : rest) {
        item->Attach(nullptr);
        if (!item->pooled || !item->pool) delete item;
    }
    if (controller && controller->vehicle == this) controller->vehicle = nullptr;

    // Nothing of the game may keep naming a car that is gone.
    if (context.chaseCamera && context.chaseCamera->target == this) context.chaseCamera->target = nullptr;
    std::erase(context.vehicles, this);
    for (Vehicle* other : context.vehicles) {
        if (other->lastAttacker == this) other->lastAttacker = nullptr;
    }
    std::erase_if(context.watchedPlayerCars, [this](Vehicle** slot) { return *slot == this; });
    if (context.localDriver && context.localDriver->vehicle == this) context.localDriver->vehicle = nullptr;
}

Vehicle* Vehicle::FindByNetworkPlayerId(VehicleContext& context, int32_t id) {
    for (Vehicle* v : context.vehicles) {
        if (v->networkPlayerId == id) return v;
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
    crashTimer = 0.0f;
    crashDamage = 0.0f;
    lastAttacker = nullptr;
    lastAttackerTimer = 0.0f;
    VehicleResources& shared = SharedVehicleResources(context);

    const BoundingBox& box = definition->chassisCollisionBox;
    chassisBox = std::make_unique<BoxGeom>(box.halfExtents);
    for (int32_t i = 0; i < 4; ++i) wheelGeoms[size_t(i)] = std::make_unique<SphereGeom>(definition->wheelRadii[i]);
    space = std::make_unique<PhysicsSpace>();

    auto chassis = std::make_unique<OffsetRigidBody>(world);
    chassis->SetCentreOfMass(CentreOfMass);
    chassisBox->SetOffset(box.centre - CentreOfMass);
    chassis->SetBoxMass(definition->handling.massValue * 0.25f, localBounds.halfExtents);
    chassis->SetGeom(chassisBox.get());
    chassisBox->SetSurface(&shared.chassisSurface);
    space->Add(chassisBox.get());
    chassisBody = std::move(chassis);

    for (int32_t i = 0; i < 4; ++i) {
        SurfaceMaterial& surface = wheelSurfaces[size_t(i)];
        surface = SurfaceMaterial(std::numeric_limits<float>::infinity());
        SphereGeom& geom = *wheelGeoms[size_t(i)];
        geom.SetSurface(&surface);
        auto body = std::make_unique<RigidBody>(world);
        body->SetMass(WheelMass);
        const D3D8Mesh* mesh = i < 2 ? definition->frontWheelMesh : definition->backWheelMesh;
        const float radius = mesh ? mesh->Radius() / 3.0f : definition->wheelRadii[i] / 3.0f;
        body->SetSphereInertia(radius > 0.0f ? radius : 1.0f);
        body->SetGeom(&geom);
        body->SetPosition(definition->wheelPoints[i] - Vector3(0.0f, 10.0f, 0.0f));
        space->Add(&geom);
        wheelBodies[size_t(i)] = std::move(body);
        auto joint = std::make_unique<Hinge2Joint>(world);
        joint->SetBodies(chassisBody.get(), wheelBodies[size_t(i)].get());
        wheelJoints[size_t(i)] = std::move(joint);
    }
    AttachJoints();

    space->AddToWorld(world);
    chassisBody->Enable();
    for (auto& body : wheelBodies) body->Enable();
    space->SetCategoryBits(CarCategory);
    space->SetCollideBits(CarCollide);
    chassisBox->SetCategoryBits(CarCategory);
    chassisBox->SetCollideBits(CarCollide);
    chassisBox->SetOwner(this);
    chassisBox->listeners.push_back(this);
    ownGeom = chassisBox.get();
    // The wheels name no owner: their weight on the road is no impact on a wall, and nothing
    // that asks a geom's owner (the kill plane, wall damage, instigators) means a wheel.
    for (auto& geom : wheelGeoms) {
        geom->listeners.push_back(this);
        geom->SetCategoryBits(0);
        geom->SetCollideBits(WheelCollide);
    }
    for (int32_t i = 0; i < 4; ++i) lastWheelTurn_[size_t(i)] = Quaternion();
}

void Vehicle::AttachJoints() {
    const Matrix4 turn = GetOrientation().ToMatrix();
    const Vector3 up(turn.m[1][0], turn.m[1][1], turn.m[1][2]);
    const Vector3 axle(turn.m[0][0], turn.m[0][1], turn.m[0][2]);
    for (int32_t i = 0; i < 4; ++i) {
        Hinge2Joint& j = *wheelJoints[size_t(i)];
        if (j.IsAttached()) continue;
        j.Attach();
        j.SetAnchor(wheelBodies[size_t(i)]->GetPosition());
        j.SetAxes(up, axle);
        j.LockSteering();
        j.SetSuspensionErp(tuning.suspension * 0.75f + 0.05f);
    }
}

void Vehicle::DetachJoints() {
    for (auto& j : wheelJoints) {
        if (j && j->IsAttached()) j->Detach();
    }
}

void Vehicle::OnRemoved(PhysicsWorld& world) {
    if (physics_ != &world) return;
    ClearItems(true);
    for (auto& j : wheelJoints) j.reset();
    if (chassisBox) std::erase(chassisBox->listeners, static_cast<CollisionListener*>(this));
    for (auto& g : wheelGeoms) {
        if (g) std::erase(g->listeners, static_cast<CollisionListener*>(this));
    }
    if (space) {
        if (chassisBox) space->Remove(chassisBox.get());
        for (auto& g : wheelGeoms) {
            if (g) space->Remove(g.get());
        }
        space->RemoveFromWorld(world);
    }
    chassisBody.reset();
    for (auto& b : wheelBodies) b.reset();
    chassisBox.reset();
    for (auto& g : wheelGeoms) g.reset();
    space.reset();
    ownGeom = nullptr;
    physics_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Quadtree set-up

void Vehicle::OnAdded(ObjectQuadTree& tree) {
    tree_ = &tree;
    VehicleResources& shared = SharedVehicleResources(context);
    const auto makeHalos = [](std::vector<Halo>& list, const std::vector<HaloPoint>& points) {
        list.clear();
        for (const HaloPoint& p : points) list.push_back(Halo{p.position, nullptr, 0.0f});
    };
    makeHalos(headlights, definition->haloListA);
    makeHalos(brakeLights, definition->haloListB);
    makeHalos(reverseLights, definition->haloListC);
    haloGroups_.clear();
    haloGroups_.resize(headlights.size() + brakeLights.size() + reverseLights.size());
    size_t next = 0;
    const auto bind = [&](std::vector<Halo>& list, TextureHandle* texture) {
        for (Halo& h : list) {
            ParticleGroup& g = haloGroups_[next++];
            g.quads.assign(1, ParticleQuad{0.0f, 0.0f, 1.0f, 1.0f, -2.5f, -2.5f, 5.0f, 5.0f});
            g.texture = texture;
            g.layer = 0;
            g.colour[3] = 0.0f;
            g.flags = ParticleGroup::kVisible | ParticleGroup::kFrustumTested;
            g.radius = 3.6f;
            h.particle = &g;
        }
    };
    bind(headlights, shared.headlightTexture);
    bind(brakeLights, shared.brakeLightTexture);
    bind(reverseLights, shared.reverseLightTexture);

    if (AudioDevice* sound = context.engine.sound) {
        const auto voice = [&](const SharedString& name, float minimum, float maximum) {
            AudioVoice* v = sound->CreateSound(name, true);
            if (!v) return v;
            v->SetDistances(minimum, maximum);
            if (context.effectsVolume) context.effectsVolume->AttachChild(v);
            return v;
        };
        launchVoice = voice(SharedString("Audio\\Accel.wav"), 50.0f, 250.0f);
        burningVoice = voice(SharedString("Audio\\Fire.wav"), 50.0f, 250.0f);
        engineVoice = voice(CarFile(*definition, "Engine.wav"), 50.0f, 250.0f);
        skidVoice = voice(CarFile(*definition, "Slip.wav"), 50.0f, 250.0f);
        gearVoice = voice(CarFile(*definition, "Gear.wav"), 50.0f, 200.0f);
        doorVoice = voice(CarFile(*definition, "Door.wav"), 50.0f, 200.0f);
        if (engineVoice) {
            engineVoice->SetVolume(1.0f);
            engineVoice->Play(true);
        }
        if (skidVoice) {
            skidVoice->SetVolume(0.0f);
            skidVoice->Play(true);
        }
    }
    MakeOwnSpecial();
}

void Vehicle::MakeOwnSpecial() {
    if (!specials.empty()) return;
    SharedString upper(definition->name.c_str());
    upper.ToUpper();
    const std::string_view name(upper.c_str());
    if (name.starts_with("POLICE")) {
        ownSpecialKind_ = OwnSpecial::Siren;
    } else if (name.size() >= 2 && name.ends_with("ZZ")) {
        ownSpecialKind_ = OwnSpecial::Boost;
        if (CarItem* boost = context.itemPools[ItemKind::Boost].Take()) {
            boost->permanent = 1;
            AddSpecial(boost);
            return;
        }
    } else {
        ownSpecialKind_ = OwnSpecial::Horn;
    }
    // The siren, boost and horn kinds join with the specials; until then the choice is noted.
    Debugger::Instance().Log(3, "VEHICLE: %s gets its own %s", definition->name.c_str(), OwnSpecialName());
}

const char* Vehicle::OwnSpecialName() const {
    switch (ownSpecialKind_) {
    case OwnSpecial::Siren: return "siren";
    case OwnSpecial::Boost: return "boost";
    case OwnSpecial::Horn: return "horn";
    default: return "none";
    }
}

void Vehicle::OnRemoved(ObjectQuadTree& tree) {
    if (tree_ != &tree) return;
    for (auto* list : {&headlights, &brakeLights, &reverseLights}) {
        for (Halo& h : *list) h.particle = nullptr;
    }
    haloGroups_.clear();
    if (engineVoice) engineVoice->Stop();
    if (skidVoice) skidVoice->Stop();
    AudioDevice* sound = context.engine.sound;
    Release(sound, launchVoice);
    Release(sound, engineVoice);
    Release(sound, skidVoice);
    Release(sound, gearVoice);
    Release(sound, doorVoice);
    Release(sound, burningVoice);
    tree_ = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Items

void Vehicle::ClearItems(bool keepPermanent) {
    if (weapon) SetWeapon(nullptr);
    for (size_t i = 0; i < specials.size();) {
        CarItem* item = specials[i];
        if (item->permanent && keepPermanent) {
            ++i;
            continue;
        }
        specials.erase(specials.begin() + ptrdiff_t(i));
        item->Attach(nullptr);
        if (!item->pooled || !item->pool) delete item;
    }
}

void Vehicle::SetWeapon(CarItem* item) {
    if (weapon == item) return;
    CarItem* old = weapon;
    weapon = item;
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
        if (!specials.empty()) {
            CarItem* old = specials.front();
            specials.erase(specials.begin());
            old->Attach(nullptr);
            if (!old->pooled || !old->pool) delete old;
        }
        specials.insert(specials.begin(), item);
        item->Attach(this);
        return;
    }
    if (item->exclusive) {
        const auto it = std::find_if(specials.begin(), specials.end(), [](CarItem* s) { return s->exclusive; });
        if (it != specials.end()) {
            CarItem* old = *it;
            specials.erase(it);
            old->Attach(nullptr);
            if (!old->pooled || !old->pool) delete old;
        }
    }
    const bool behind = !specials.empty() && specials.front()->exclusive;
    specials.insert(specials.begin() + (behind ? 1 : 0), item);
    item->Attach(this);
}

void Vehicle::RemoveSpecial(CarItem* item) {
    const auto it = std::find(specials.begin(), specials.end(), item);
    if (it == specials.end()) return;
    specials.erase(it);
    item->Attach(nullptr);
    if (!item->pooled || !item->pool) delete item;
}

bool Vehicle::ItemsAllow() {
    bool allow = true;
    for (CarItem* s : specials) allow = s->DrawOverlay() && allow;
    if (weapon) allow = weapon->DrawOverlay() && allow;
    return allow;
}
