#include "game/vehicles/Gunfire.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/Explosion.h"
#include "game/vehicles/FlamerEffect.h"
#include "game/vehicles/Launchers.h"
#include "game/vehicles/Rifle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/DamageReceiver.h"
#include "game/world/World.h"

namespace {

constexpr uint32_t RayCollide = 7;

Matrix4 Placed(const float (*rows)[4], const Vector3& at) {
    Matrix4 m;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) m.m[r][c] = rows[r][c];
    m.m[3][0] = at.x;
    m.m[3][1] = at.y;
    m.m[3][2] = at.z;
    return m;
}

void DrawMesh(RenderFacility* facility, D3D8Mesh* mesh, const Matrix4& world) {
    if (!facility || !mesh) return;
    MatrixStack* stack = facility->GetMatrixStack();
    if (!stack) return;
    stack->Push();
    stack->Load(world);
    mesh->Render();
    stack->Pop();
}

// Takes the first entry of a free list, keeping the order of the rest.
template <class T>
T* TakeFirst(std::vector<T*>& list) {
    if (list.empty()) return nullptr;
    T* item = list.front();
    list.erase(list.begin());
    return item;
}

template <class T>
void RemoveFirst(std::vector<T>& list, const T& item) {
    const auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) list.erase(it);
}

// The voices of every file matching the pattern, in listing order.
std::vector<SharedString> Matching(const char* pattern) {
    std::vector<SharedString> paths;
    for (const SharedString& file : ListFiles(SharedString(pattern), true))
        paths.push_back(SharedString::Format("Audio\\%s", file.c_str()));
    return paths;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The nearest hit of a ray

void NearestHit::Offer(PhysicsGeom* other, const Vector3& at, const Vector3& n, float d, const Vector3& rayDirection) {
    if (!(d > depth)) return;
    geom = other;
    depth = d;
    position = at;
    normal = Vector3::Dot(n, rayDirection) > 0.0f ? -n : n;
}

// ---------------------------------------------------------------------------------------------
// Bullets

void BulletTrail::Fire(VehicleContext& context, PhysicsGeom* shooter, const Vector3& start, const Vector3& direction) {
    GunEffects& guns = SharedGunEffects(context);
    if (!guns.impactLoaded) LoadImpactResources(context);
    BulletTrail* tracer = TakeFirst(guns.freeTracers);
    if (!tracer) {
        guns.tracerStore.push_back(std::make_unique<BulletTrail>());
        tracer = guns.tracerStore.back().get();
    }
    RayGeom* ray = TakeFirst(guns.freeRays);
    if (!ray) {
        guns.rayStore.push_back(std::make_unique<RayGeom>(RayLength));
        ray = guns.rayStore.back().get();
        ray->flags |= PhysicsGeom::OneSided | PhysicsGeom::AlwaysCollide;
        ray->SetParams(true, true);
        ray->SetClosestHit(true);
        ray->SetCategoryBits(RayCategory);
        ray->SetCollideBits(RayCollide);
    }
    ray->listeners.clear();
    ray->listeners.push_back(tracer);
    ray->Set(start, direction);
    tracer->ray = ray;
    tracer->shooter = shooter;
    tracer->start = start;
    tracer->direction = direction;
    tracer->age = 0.0f;
    tracer->hit.Clear();
    guns.liveTracers.push_back(tracer);
}

bool BulletTrail::IgnorePair(PhysicsGeom*, PhysicsGeom* other) {
    return other == shooter || (other->GetCategoryBits() & ProtectedBit) != 0;
}

bool BulletTrail::FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) {
    hit.Offer(other, *position, *normal, *depth, direction);
    return false;
}

void BulletTrail::LoadImpactResources(VehicleContext& context) {
    GunEffects& guns = SharedGunEffects(context);
    if (guns.impactLoaded) return;
    guns.impactLoaded = true;
    RenderFacility* facility = context.engine.renderer;
    if (facility) {
        guns.bulletHoles = std::make_unique<DecalOwner>(facility, SharedString("BulletHole.ZKT"),
                                                        TextureLayer{SharedString("Modulate"), 1, 6, 7});
        if (context.world.decals) context.world.decals->Register(guns.bulletHoles.get());
    } else {
        guns.bulletHoles = std::make_unique<DecalOwner>();
    }
    if (AudioDevice* sound = context.engine.sound) {
        for (const SharedString& path : Matching("Audio\\BulletHit_Reflected*.WAV")) {
            AudioVoice* v = sound->CreateSound(path, false);
            if (!v) continue;
            if (context.effectsVolume) context.effectsVolume->AttachChild(v);
            guns.ricochetVoices.push_back(v);
        }
    }
    if (facility && !guns.tracerMesh) guns.tracerMesh = MeshFactory::Instance().GetByName(SharedString("Models\\Bullet_Trail.ZKM"), true);
}

// ---------------------------------------------------------------------------------------------
// Cannon shells

CannonShell::CannonShell() : RayGeom(RayLength), CollisionListener(AskIgnorePair | AskFilterContact) {
    flags |= OneSided | AlwaysCollide;
    SetParams(true, true);
    SetClosestHit(true);
    SetCategoryBits(Category);
    SetCollideBits(RayCollide);
    listeners.push_back(this);
}

void CannonShell::Fire(VehicleContext& context, PhysicsGeom* owner, const Vector3& start, const Vector3& direction) {
    GunEffects& guns = SharedGunEffects(context);
    CannonShell* shell = TakeFirst(guns.freeCannon);
    if (!shell) {
        guns.cannonStore.push_back(std::make_unique<CannonShell>());
        shell = guns.cannonStore.back().get();
    }
    shell->hit.Clear();
    shell->owner = owner;
    shell->direction = direction;
    shell->Set(start, direction);
    if (!guns.cannonVoice) guns.cannonVoice = guns.MakeVoice(SharedString("Audio\\Cannon.WAV"), 100.0f, 250.0f);
    if (guns.cannonVoice) {
        guns.cannonVoice->SetPosition(start);
        guns.cannonVoice->Play(false);
    }
    guns.liveCannon.push_back(shell);
}

bool CannonShell::IgnorePair(PhysicsGeom*, PhysicsGeom* other) { return other == owner; }

bool CannonShell::FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3* position, Vector3* normal, float* depth) {
    hit.Offer(other, *position, *normal, *depth, direction);
    return false;
}

// ---------------------------------------------------------------------------------------------
// Casings and cases

ShellCasing::ShellCasing() : SphereGeom(10.0f), CollisionListener(AskFilterContact) { listeners.push_back(this); }

ShellCasing* ShellCasing::Create(VehicleContext& context, const Vector3& position, const Vector3& velocity) {
    GunEffects& guns = SharedGunEffects(context);
    ShellCasing* casing = TakeFirst(guns.freeCasings);
    if (!casing) {
        guns.casingStore.push_back(std::make_unique<ShellCasing>());
        casing = guns.casingStore.back().get();
        casing->owner = &guns;
    }
    casing->SetPosition(position);
    casing->velocity = velocity;
    casing->uses = 1;
    casing->planes.clear();
    guns.liveCasings.push_back(casing);
    return casing;
}

void ShellCasing::Release() {
    if (uses == 0) return;
    if (--uses > 0) return;
    RemoveFirst(owner->liveCasings, this);
    owner->freeCasings.push_back(this);
}

bool ShellCasing::FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3* position, Vector3* normal, float*) {
    // The plane faces the casing's side of the surface.
    const Vector3 n = Vector3::Dot(*normal, GetPosition() - *position) < 0.0f ? -*normal : *normal;
    planes.emplace_back(*position + n * 0.5f, n);
    return false;
}

void ShellCasing::Update(PhysicsWorld& physics, PhysicsGeom* world, float dt) {
    planes.clear();
    if (world) physics.TestPair(this, world);
    velocity += physics.GetGravity() * dt;
    Vector3 next = GetPosition() + velocity * dt;
    for (const Plane& p : planes) {
        const float s = p.d - Vector3::Dot(p.n, next);
        if (s <= 0.0f) continue;
        velocity = (velocity - p.n * (2.0f * Vector3::Dot(velocity, p.n))) * 0.5f;
        next += p.n * (s * 1.1f);
    }
    SetPosition(next);
}

void ShellEjector::Load(VehicleContext& context) {
    GunEffects& guns = SharedGunEffects(context);
    if (guns.shellsLoaded) return;
    guns.shellsLoaded = true;
    guns.freeShells.reserve(ShellCount);
    guns.liveShells.reserve(ShellCount);
    for (int32_t i = 0; i < ShellCount; ++i) guns.freeShells.push_back(i);
    if (context.engine.renderer) guns.shellMesh = MeshFactory::Instance().GetByName(SharedString("Models\\Shell.ZKM"), true);
    if (context.engine.sound) {
        std::vector<SharedString> files = Matching("Audio\\Shell*.WAV");
        if (files.empty()) files.push_back(SharedString("Audio\\Shell.WAV"));
        for (int32_t i = 0; i < VoiceCount; ++i) guns.shellVoices[size_t(i)] = guns.MakeVoice(files[size_t(i) % files.size()], 25.0f, 250.0f);
    }
}

void ShellEjector::Eject(VehicleContext& context, const Vector3& position, const Quaternion& orientation,
                         const Vector3& velocity, const Vector3& angularVelocity, ShellCasing* casing) {
    GunEffects& guns = SharedGunEffects(context);
    if (!guns.shellsLoaded) Load(context);
    int32_t index;
    if (!guns.freeShells.empty()) {
        index = guns.freeShells.front();
        guns.freeShells.erase(guns.freeShells.begin());
    } else {
        // Every case lies in the world: the oldest goes again.
        index = guns.liveShells.front();
        guns.liveShells.erase(guns.liveShells.begin());
        EjectedShell& old = guns.shells[size_t(index)];
        if (old.casing) old.casing->Release();
        old.casing = nullptr;
    }
    guns.liveShells.push_back(index);
    EjectedShell& shell = guns.shells[size_t(index)];
    shell.live = true;
    shell.position = position;
    shell.orientation = orientation;
    shell.velocity = velocity;
    shell.angularVelocity = angularVelocity;
    shell.casing = casing;
    if (casing) casing->AddRef();
    shell.flags = EjectedShell::SoundPending | EjectedShell::Moving;
}

// ---------------------------------------------------------------------------------------------
// Muzzle flash

MuzzleFlash::MuzzleFlash(VehicleContext& context) : context_(context) {
    GunEffects& guns = SharedGunEffects(context);
    if (!guns.flashBatch) {
        RenderFacility* facility = context.engine.renderer;
        guns.flashBatch = std::make_unique<ParticleBatch>(facility, 1000, false);
        guns.flashBatch->SetMaterial({TextureLayer{SharedString("Add"), 1, 6, 1}});
        if (facility) guns.flashTexture = TextureFactory::Instance().GetByName(SharedString("GunFire.ZKT"), true);
    }
    group.Reset();
    group.texture = guns.flashTexture;
    group.quads.assign(1, ParticleQuad{0.0f, 0.0f, 1.0f, 1.0f, -2.5f, -2.5f, 5.0f, 5.0f});
    group.UpdateRadius();
    group.colour[3] = 0.0f;
    groups_.push_back(&group);
}

void MuzzleFlash::SetPosition(const Vector3& point, float newScale) {
    scale = newScale;
    group.position = point;
}

void MuzzleFlash::Update(float dt) {
    phase += 32.0f * dt;
    group.angle = RandomFloat(0.0f, 2.0f * Pi);
    group.colour[3] = (std::fabs(std::sin(4.0f * phase)) * std::fabs(std::sin(phase)) * 0.5f + 0.5f) * scale * scale;
    group.flags |= ParticleGroup::kVisible;
}

void MuzzleFlash::Draw(const Camera& camera) {
    if (scale == 0.0f) return;
    GunEffects& guns = SharedGunEffects(context_);
    guns.flashBatch->AddSystem(camera, groups_);
    guns.flashBatch->Flush();
}

// ---------------------------------------------------------------------------------------------
// The game's gunfire

GunEffects::GunEffects(VehicleContext& context_) : context(context_) {
    context.world.physics.AddObject(this);
    context.world.drawables.push_back(this);
    registered_ = true;
}

GunEffects::~GunEffects() {
    ReleaseAll();
    if (registered_) {
        context.world.physics.RemoveObject(this);
        RemoveFirst(context.world.drawables, static_cast<Drawable*>(this));
    }
    if (bulletHoles && context.world.decals) context.world.decals->Unregister(bulletHoles.get());
    AudioDevice* sound = context.engine.sound;
    for (AudioVoice* v : ownedVoices_) if (sound) sound->ReleaseVoice(v);
    for (AudioVoice* v : ricochetVoices) if (sound) sound->ReleaseVoice(v);
    delete tracerMesh;
    delete shellMesh;
    delete flashTexture;
    delete flameTexture;
}

AudioVoice* GunEffects::MakeVoice(const SharedString& file, float minimum, float maximum) {
    AudioDevice* sound = context.engine.sound;
    if (!sound) return nullptr;
    AudioVoice* v = sound->CreateSound(file, true);
    if (!v) return nullptr;
    v->SetDistances(minimum, maximum);
    if (context.effectsVolume) context.effectsVolume->AttachChild(v);
    ownedVoices_.push_back(v);
    return v;
}

PhysicsGeom* GunEffects::StaticWorld() const { return context.world.boundary.get(); }

void GunEffects::ReleaseAll() {
    for (BulletTrail* t : liveTracers) {
        if (t->ray) freeRays.push_back(t->ray);
        t->ray = nullptr;
        t->shooter = nullptr;
        freeTracers.push_back(t);
    }
    liveTracers.clear();
    for (CannonShell* s : liveCannon) {
        s->owner = nullptr;
        freeCannon.push_back(s);
    }
    liveCannon.clear();
    for (FlamerEffect* f : flamers) f->ReleaseBlobs();
    for (int32_t index : liveShells) {
        EjectedShell& shell = shells[size_t(index)];
        if (shell.casing) shell.casing->Release();
        shell.casing = nullptr;
        shell.flags &= ~EjectedShell::Moving;
    }
    for (ShellCasing* c : liveCasings) {
        c->uses = 0;
        freeCasings.push_back(c);
    }
    liveCasings.clear();
}

void GunEffects::ForgetGeom(const PhysicsGeom* geom) {
    if (!geom) return;
    for (BulletTrail* t : liveTracers)
        if (t->shooter == geom) t->shooter = nullptr;
    for (CannonShell* s : liveCannon)
        if (s->owner == geom) s->owner = nullptr;
    for (FlamerEffect* f : flamers) f->ForgetGeom(geom);
    for (MissileWeapon* m : missiles) m->ForgetGeom(geom);
}

void GunEffects::PreStep(PhysicsWorld& physics) {
    for (BulletTrail* t : liveTracers) {
        if (!t->ray) continue;
        physics.CollideGeom(t->ray);
        PlayRicochetNear(t->start, t->direction * BulletTrail::RayLength);
    }
    for (CannonShell* s : liveCannon) physics.CollideGeom(s);
}

void GunEffects::PostStep(PhysicsWorld&) {
    for (BulletTrail* t : liveTracers)
        if (t->ray) ResolveTracer(*t);
    for (CannonShell* s : liveCannon) ResolveCannon(*s);
    for (CannonShell* s : liveCannon) freeCannon.push_back(s);
    liveCannon.clear();
}

void GunEffects::ResolveTracer(BulletTrail& t) {
    const NearestHit& hit = t.hit;
    if (hit.geom && (hit.geom->GetCategoryBits() & BulletTrail::StaticBit)) {
        const Vector3 point = hit.position + hit.normal;
        if (SmokeParticleSystem* smoke = ParticleSystems::smoke) {
            for (int32_t i = 0; i < 4; ++i) {
                ParticleGroup* g = smoke->Emit(ParticleSystem::kGrow);
                if (!g) break;
                g->layer = 0;
                g->position = point + Vector3(RandomFloat(-1.0f, 1.0f), RandomFloat(-1.0f, 1.0f), RandomFloat(-1.0f, 1.0f));
                g->velocity = Vector3(RandomFloat(-0.5f, 0.5f) * 25.0f, RandomFloat(0.0f, 1.0f) * 25.0f,
                                      RandomFloat(-0.5f, 0.5f) * 25.0f);
                g->colour[3] = 0.5f;
            }
        }
        if (bulletHoles) {
            const int32_t number = DecalRing::Counter();
            if (DecalRecord* record = DecalRing::Next(bulletHoles.get())) {
                if (BoundaryPlane* boundary = context.world.boundary.get()) boundary->staticDecals.push_back(number);
                // The hole lies in the surface: its vertical axis is the hit normal.
                Vector3 p, q;
                OrthonormalBasis(hit.normal, p, q);
                static const float corners[4][2] = {{-2, -2}, {-2, 2}, {2, -2}, {2, 2}};
                static const Vector2 uv[4] = {{0, 0}, {0, 1}, {1, 0}, {1, 1}};
                for (int32_t i = 0; i < 4; ++i) {
                    record->quad.corners[i] = point + p * corners[i][0] + q * corners[i][1];
                    record->quad.texCoords[i] = uv[i];
                    for (float& c : record->quad.colour) c = 1.0f;
                }
            }
        }
        const Vector3& d = t.direction;
        const Vector3 r = d - hit.normal * (2.0f * Vector3::Dot(d, hit.normal));
        PlayRicochetNear(point, r * 100.0f);
    } else if (hit.geom) {
        if (DamageReceiver* receiver = DamageReceiver::ReceiverOf(hit.geom))
            receiver->TakeDamageFrom(t.shooter, BulletTrail::Damage, DamageBullet, &t.direction);
    }
    freeRays.push_back(t.ray);
    t.ray = nullptr;
}

void GunEffects::ResolveCannon(CannonShell& shell) {
    // Where the shell struck, a wreck-sized blast with the cannon's own bang.
    if (shell.hit.geom)
        Explosion::Spawn(context, shell.owner, shell.hit.position, Explosion::WreckStart, Explosion::WreckMaximum,
                         Explosion::WreckGrowth, true, SharedString(CannonShell::BlastSound));
    shell.owner = nullptr;
}

void GunEffects::UpdateBounds(PhysicsWorld& physics, float dt) {
    for (size_t i = 0; i < liveTracers.size();) {
        BulletTrail* t = liveTracers[i];
        t->age += dt;
        if (t->age > BulletTrail::Life && !t->ray) {
            EndTracer(i);
            continue;
        }
        ++i;
    }
    PhysicsGeom* world = StaticWorld();
    for (size_t i = 0; i < liveCasings.size(); ++i) liveCasings[i]->Update(physics, world, dt);
    for (int32_t index : liveShells) {
        EjectedShell& shell = shells[size_t(index)];
        if (shell.flags & EjectedShell::Moving) UpdateShell(shell, dt);
    }
}

void GunEffects::EndTracer(size_t index) {
    BulletTrail* t = liveTracers[index];
    liveTracers.erase(liveTracers.begin() + ptrdiff_t(index));
    t->shooter = nullptr;
    freeTracers.push_back(t);
}

void GunEffects::UpdateShell(EjectedShell& shell, float dt) {
    shell.velocity += context.world.physics.GetGravity() * dt;
    shell.position += shell.velocity * dt;
    const Vector3& w = shell.angularVelocity;
    Quaternion& q = shell.orientation;
    // dq = 0.5 w q
    const Quaternion wq = Quaternion(w.x, w.y, w.z, 0.0f) * q;
    q.x += 0.5f * wq.x * dt;
    q.y += 0.5f * wq.y * dt;
    q.z += 0.5f * wq.z * dt;
    q.w += 0.5f * wq.w * dt;
    q.Normalize();
    if (!shell.casing) return;
    for (const Plane& p : shell.casing->planes) {
        const float s = p.d - Vector3::Dot(p.n, shell.position);
        if (s <= 0.0f) continue;
        if (shell.flags & EjectedShell::SoundPending) {
            if (AudioVoice* v = shellVoices[size_t(shellVoiceIndex)]) {
                v->StopAndRewind();
                v->SetPosition(shell.position);
                v->Play(false);
            }
            shell.flags &= ~EjectedShell::SoundPending;
            shellVoiceIndex = (shellVoiceIndex + 1) % ShellEjector::VoiceCount;
        }
        shell.velocity = (shell.velocity - p.n * (2.0f * Vector3::Dot(shell.velocity, p.n))) * 0.5f;
        shell.position += p.n * (s * 1.1f);
        if (shell.velocity.LengthSquared() < 0.5f) {
            shell.casing->Release();
            shell.casing = nullptr;
            shell.flags &= ~EjectedShell::Moving;
            return;
        }
    }
}

void GunEffects::PlayRicochetNear(const Vector3& p, const Vector3& v) {
    if (ricochetVoices.empty()) return;
    const Vector3 l = listenerPoint - p;
    const float t = Vector3::Dot(l, v);
    if (t <= 0.0f) return;
    const float vv = Vector3::Dot(v, v);
    const Vector3 closest = t >= vv ? p + v : p + v * (t / vv);
    if ((listenerPoint - closest).LengthSquared() >= 1000.0f) return;
    ricochetVoices[size_t(ricochetIndex)]->Play(false);
    ricochetIndex = (ricochetIndex + 1) % int32_t(ricochetVoices.size());
}

void GunEffects::Draw(const Camera& camera) {
    listenerPoint = camera.position;
    RenderFacility* facility = context.engine.renderer;
    if (!facility) return;
    for (BulletTrail* t : liveTracers) {
        if (t->ray || !tracerMesh) continue;
        float rows[3][4];
        RotationFromNormal(t->direction, rows);
        DrawMesh(facility, tracerMesh, Placed(rows, t->start + t->direction * (t->age * BulletTrail::Speed)));
    }
    if (!shellMesh) return;
    for (int32_t index : liveShells) {
        const EjectedShell& shell = shells[size_t(index)];
        bool outside = false;
        for (const Plane& p : camera.planes) outside = outside || p.Distance(shell.position) <= 0.0f;
        for (const Plane* p : camera.clipPlanes) outside = outside || (p && p->Distance(shell.position) <= 0.0f);
        if (outside) continue;
        Matrix4 m = shell.orientation.ToMatrix();
        m.m[3][0] = shell.position.x;
        m.m[3][1] = shell.position.y;
        m.m[3][2] = shell.position.z;
        DrawMesh(facility, shellMesh, m);
    }
}

GunEffects& SharedGunEffects(VehicleContext& context) {
    if (!context.guns) context.guns = std::make_unique<GunEffects>(context);
    return *context.guns;
}
