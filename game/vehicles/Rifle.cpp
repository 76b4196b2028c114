#include "game/vehicles/Rifle.h"

#include "engine/audio/AudioDevice.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MeshFactory.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/World.h"

namespace {

// A set of voices from the files matching the pattern, slot i from file i modulo their count.
// Without a file the factory is asked for the pattern itself (it logs what it cannot find) and
// the slots stay silent.
void FillSet(GunEffects& guns, AudioDevice* sound, const char* pattern, std::vector<AudioVoice*>& set, int32_t size) {
    set.assign(size_t(size), nullptr);
    if (!sound) return;
    std::vector<SharedString> files;
    for (const SharedString& file : ListFiles(SharedString(pattern), true)) files.push_back(SharedString::Format("Audio\\%s", file.c_str()));
    if (files.empty()) {
        if (AudioVoice* probe = sound->CreateSound(SharedString(pattern), true)) sound->ReleaseVoice(probe);
        return;
    }
    for (int32_t i = 0; i < size; ++i) set[size_t(i)] = guns.MakeVoice(files[size_t(i) % files.size()], 100.0f, 250.0f);
}

} // namespace

Rifle::Rifle(VehicleContext& context) : context_(context) {
    GunEffects& guns = SharedGunEffects(context);
    if (!guns.rifleSetsLoaded) {
        guns.rifleSetsLoaded = true;
        FillSet(guns, context.engine.sound, "Audio\\Rifle_Fire*.WAV", guns.rifleVoices, RifleVoices);
        FillSet(guns, context.engine.sound, "Audio\\Gun_Fire*.WAV", guns.gunVoices, GunVoices);
    }
    BulletTrail::LoadImpactResources(context);
    ShellEjector::Load(context);
    if (context.engine.renderer) mesh = MeshFactory::Instance().GetByName(SharedString("Models\\Rifle.ZKM"), true);
}

Rifle::~Rifle() { delete mesh; }

void Rifle::Fire(float dt) {
    if (!firing) return;
    shotAccumulator += dt;
    const Matrix4 turn = orientation.ToMatrix();
    const Vector3 forward = turn.TransformNormal(Vector3(0.0f, 0.0f, -1.0f));
    soundTimer -= dt;
    while (shotAccumulator >= 0.0f) {
        const Vector3 spread(RandomFloat(-0.075f, 0.075f), RandomFloat(-0.075f, 0.075f), RandomFloat(-0.075f, 0.075f));
        BulletTrail::Fire(context_, shooter, muzzle, (forward + spread).Normalized());
        const Vector3 e = Vector3(0.5f + RandomFloat(-0.25f, 0.25f), 1.0f + RandomFloat(-0.25f, 0.25f), RandomFloat(-0.25f, 0.25f));
        const Vector3 spin(RandomFloat(-10.0f, 10.0f), RandomFloat(-10.0f, 10.0f), RandomFloat(-10.0f, 10.0f));
        ShellEjector::Eject(context_, muzzle, Quaternion(), turn.TransformNormal(e.Normalized()) * 100.0f, spin, nullptr);
        shotAccumulator -= 1.0f / rate;
        if (soundKind == RifleSounds && soundTimer > 0.0f) continue;
        PlayShot();
    }
}

void Rifle::PlayShot() {
    GunEffects& guns = SharedGunEffects(context_);
    std::vector<AudioVoice*>& set = soundKind == RifleSounds ? guns.rifleVoices : guns.gunVoices;
    int32_t& index = soundKind == RifleSounds ? guns.rifleIndex : guns.gunIndex;
    if (set.empty()) return;
    AudioVoice* v = set[size_t(index) % set.size()];
    index = int32_t((size_t(index) + 1) % set.size());
    soundTimer = 0.0f;
    if (!v) return;
    v->StopAndRewind();
    v->SetPosition(muzzle);
    v->Play(false);
    soundTimer = v->GetLength();
}

// ---------------------------------------------------------------------------------------------
// Sight ray

SightRay::SightRay() : RayGeom(Length), CollisionListener(AskIgnorePair | AskFilterContact) {
    flags |= OneSided | AlwaysCollide;
    SetParams(true, true);
    SetClosestHit(true);
    SetCategoryBits(Category);
    SetCollideBits(7);
    listeners.push_back(this);
}

bool SightRay::HitsTarget(PhysicsWorld& physics, PhysicsGeom* staticWorld) {
    hit.Clear();
    if (staticWorld) physics.TestPair(this, staticWorld);
    if (target) physics.TestPair(this, target);
    return target && hit.geom == target;
}

bool SightRay::FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) {
    Vector3 start, direction;
    Get(start, direction);
    hit.Offer(other, *position, *normal, *depth, direction);
    return false;
}

SightRay& SharedSightRay(VehicleContext& context) {
    GunEffects& guns = SharedGunEffects(context);
    if (!guns.sightRay) guns.sightRay = std::make_unique<SightRay>();
    return *guns.sightRay;
}
