#include "game/vehicles/FlamerEffect.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Camera.h"
#include "engine/render/TextureFactory.h"
#include "game/vehicles/Gunfire.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/DamageReceiver.h"
#include "game/world/GameSession.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

namespace {

Vector3 RandomUnit() {
    Vector3 v(RandomFloat(-1.0f, 1.0f), RandomFloat(-1.0f, 1.0f), RandomFloat(-1.0f, 1.0f));
    if (v.LengthSquared() == 0.0f) return Vector3(0.0f, 1.0f, 0.0f);
    return v.Normalized();
}

template <class T>
void RemoveFirst(std::vector<T>& list, const T& item) {
    const auto it = std::find(list.begin(), list.end(), item);
    if (it != list.end()) list.erase(it);
}

// Puts a point that has crossed one of the planes back on it; true when it did.
bool Bounce(const std::vector<Plane>& planes, Vector3& position, Vector3& velocity) {
    bool bounced = false;
    for (const Plane& p : planes) {
        const float s = p.d - Vector3::Dot(p.n, position);
        if (s <= 0.0f) continue;
        velocity = RandomUnit() * 100.0f;
        position += p.n * s;
        bounced = true;
    }
    return bounced;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// Blobs

FlameBlob::FlameBlob(FlamerEffect& effect_)
    : SphereGeom(Radius), CollisionListener(AskIgnorePair | AskFilterContact), effect(effect_) {
    SetCategoryBits(Category);
    SetCollideBits(Collide);
    flags |= OneSided | AlwaysCollide;
    listeners.push_back(this);
}

bool FlameBlob::IgnorePair(PhysicsGeom*, PhysicsGeom* other) {
    const uint32_t category = other->GetCategoryBits();
    if ((category & PedestrianBit) && !effect.context.session.bloodEnabled) return true;
    return other == owner || (category & ProtectedBit) != 0;
}

bool FlameBlob::FilterContact(PhysicsGeom*, PhysicsGeom* other, Vector3*, Vector3* normal, float*) {
    if (DamageReceiver::ReceiverOf(other)) effect.RecordBurn(other, owner, *normal);
    return false;
}

// ---------------------------------------------------------------------------------------------
// The effect

FlamerEffect::FlamerEffect(VehicleContext& context_) : CollisionListener(AskFilterContact), context(context_) {
    for (auto& probe : probes_) {
        probe = std::make_unique<RayGeom>(1.0f);
        probe->SetParams(true, true);
        probe->SetClosestHit(true);
        probe->listeners.push_back(this);
    }
    GunEffects& guns = SharedGunEffects(context);
    if (!guns.flameBatch) {
        RenderFacility* facility = context.engine.renderer;
        guns.flameBatch = std::make_unique<ParticleBatch>(facility, 10000, false);
        guns.flameBatch->SetMaterial({TextureLayer{SharedString("Add"), 1, 6, 1}});
        if (facility) guns.flameTexture = TextureFactory::Instance().GetByName(SharedString("Fire.ZKT"), true);
    }
    startVoice = guns.MakeVoice(SharedString("Audio\\FlamerStart.WAV"), 100.0f, 250.0f);
    loopVoice = guns.MakeVoice(SharedString("Audio\\FlamerLoop.WAV"), 100.0f, 250.0f);
    guns.flamers.push_back(this);
}

FlamerEffect::~FlamerEffect() {
    Leave();
    if (context.guns) RemoveFirst(context.guns->flamers, this);
}

void FlamerEffect::ForgetGeom(const PhysicsGeom* geom) {
    if (owner == geom) owner = nullptr;
    for (FlameBlob* blob : liveBlobs)
        if (blob->owner == geom) blob->owner = nullptr;
    for (Burn& b : burns_) {
        if (b.attacker == geom) b.attacker = nullptr;
        if (b.target == geom) b.target = nullptr;
    }
}

void FlamerEffect::ReleaseBlobs() {
    for (FlameBlob* blob : liveBlobs) {
        blob->RemoveFromWorld(context.world.physics);
        freeBlobs.push_back(blob);
    }
    liveBlobs.clear();
    burns_.clear();
}

void FlamerEffect::Activate() {
    alive = 1;
    firing = 0;
    if (registered_) return;
    registered_ = true;
    context.world.physics.AddObject(this);
    context.world.drawables.push_back(this);
}

void FlamerEffect::Release() { alive = 0; }

void FlamerEffect::Leave() {
    if (!registered_) return;
    registered_ = false;
    context.world.physics.RemoveObject(this);
    RemoveFirst(context.world.drawables, static_cast<Drawable*>(this));
    ReleaseBlobs();
    for (ParticleGroup* g : liveGroups) freeGroups.push_back(static_cast<FlameParticleGroup*>(g));
    liveGroups.clear();
    if (loopVoice) loopVoice->StopAndRewind();
}

void FlamerEffect::StartFiring() {
    firing = 1;
    if (startVoice) {
        startVoice->SetPosition(muzzle);
        startVoice->Play(false);
    }
    if (loopVoice) loopVoice->Play(true);
    particleTimer = 0.0f;
    blobTimer = 0.0f;
}

void FlamerEffect::StopFiring() {
    firing = 0;
    if (loopVoice) loopVoice->StopAndRewind();
}

bool FlamerEffect::FilterContact(PhysicsGeom*, PhysicsGeom*, Vector3* position, Vector3* normal, float*) {
    // The plane faces the muzzle.
    const Vector3 n = Vector3::Dot(*normal, probeDirection_) > 0.0f ? -*normal : *normal;
    const Vector3 point = *position + n * 5.0f;
    wallPoints.push_back(point);
    wallPlanes.emplace_back(point, n);
    return false;
}

void FlamerEffect::RecordBurn(PhysicsGeom* target, PhysicsGeom* attacker, const Vector3& normal) {
    burns_.push_back(Burn{target, attacker, normal});
}

void FlamerEffect::UpdateBounds(PhysicsWorld& physics, float dt) {
    // What the blobs touched in this sub-step's collision burns now, outside the collision.
    for (const Burn& b : burns_)
        if (DamageReceiver* r = b.target ? DamageReceiver::ReceiverOf(b.target) : nullptr) r->TakeDamageFrom(b.attacker, FlameBlob::Damage, DamageFlame, &b.normal);
    burns_.clear();

    if (loopVoice) loopVoice->SetPosition(muzzle);
    if (firing) {
        particleTimer += dt;
        blobTimer += dt;
        const Matrix4 m = orientation.ToMatrix();
        const Vector3 directions[3] = {Vector3(0.0f, 0.0f, -1.0f), Vector3(-0.075f, 0.0f, -1.0f).Normalized(),
                                       Vector3(0.075f, 0.0f, -1.0f).Normalized()};
        wallPoints.clear();
        wallPlanes.clear();
        PhysicsGeom* walls = context.world.boundary.get();
        for (int32_t i = 0; i < 3; ++i) {
            RayGeom& probe = *probes_[i];
            probeDirection_ = m.TransformNormal(directions[i]);
            probe.Set(muzzle, probeDirection_);
            probe.SetLength(Reach);
            if (walls) physics.TestPair(&probe, walls);
        }
        while (particleTimer >= 0.0f) {
            EmitParticle(m);
            particleTimer -= ParticleInterval;
        }
        while (blobTimer >= 0.0f) {
            EmitBlob(m);
            blobTimer -= BlobInterval;
        }
    }
    MoveGroups(dt);
    MoveBlobs(dt);
    if (!alive && liveGroups.empty()) Leave();
}

void FlamerEffect::EmitParticle(const Matrix4& m) {
    FlameParticleGroup* g;
    if (!freeGroups.empty()) {
        g = freeGroups.front();
        freeGroups.erase(freeGroups.begin());
    } else {
        groupStore_.push_back(std::make_unique<FlameParticleGroup>());
        g = groupStore_.back().get();
    }
    g->Reset();
    g->quads.assign(1, ParticleQuad{0.0f, 0.0f, 1.0f, 1.0f, -5.0f, -5.0f, 10.0f, 10.0f});
    g->UpdateRadius();
    g->spin = int8_t(plat::EngineRand() % 20 - 10);
    g->angle = RandomFloat(0.0f, 1.0f) * 2.0f * Pi;
    g->texture = SharedGunEffects(context).flameTexture;
    g->layer = 0;
    const Vector3 d = Vector3(RandomFloat(-0.075f, 0.075f), RandomFloat(0.0f, 0.05f), -1.0f + RandomFloat(-0.075f, 0.075f))
                          .Normalized() * StreamSpeed;
    g->velocity = m.TransformNormal(d) + carrierVelocity;
    g->position = muzzle;
    g->colour[0] = g->colour[1] = g->colour[2] = 1.0f;
    g->colour[3] = 0.5f;
    g->planes = wallPlanes;
    liveGroups.push_back(g);
}

void FlamerEffect::EmitBlob(const Matrix4& m) {
    FlameBlob* blob;
    if (!freeBlobs.empty()) {
        blob = freeBlobs.front();
        freeBlobs.erase(freeBlobs.begin());
    } else {
        blobStore_.push_back(std::make_unique<FlameBlob>(*this));
        blob = blobStore_.back().get();
    }
    blob->owner = owner;
    blob->SetPosition(muzzle);
    blob->velocity = m.TransformNormal(Vector3(0.0f, 0.0f, -StreamSpeed)) + carrierVelocity;
    blob->planes = wallPlanes;
    blob->life = BlobLife;
    blob->AddToWorld(context.world.physics);
    liveBlobs.push_back(blob);
}

void FlamerEffect::MoveGroups(float dt) {
    for (size_t i = 0; i < liveGroups.size();) {
        auto* g = static_cast<FlameParticleGroup*>(liveGroups[i]);
        g->position += g->velocity * dt;
        Bounce(g->planes, g->position, g->velocity);
        g->colour[3] = std::max(0.0f, g->colour[3] - 0.75f * dt);
        g->angle += float(g->spin) * dt;
        if (g->colour[3] == 0.0f) {
            liveGroups.erase(liveGroups.begin() + ptrdiff_t(i));
            freeGroups.push_back(g);
            continue;
        }
        ++i;
    }
}

void FlamerEffect::MoveBlobs(float dt) {
    for (size_t i = 0; i < liveBlobs.size();) {
        FlameBlob* blob = liveBlobs[i];
        Vector3 position = blob->GetPosition() + blob->velocity * dt;
        if (Bounce(blob->planes, position, blob->velocity)) blob->owner = nullptr;
        blob->SetPosition(position);
        blob->life -= dt;
        if (blob->life < 0.0f) {
            blob->RemoveFromWorld(context.world.physics);
            liveBlobs.erase(liveBlobs.begin() + ptrdiff_t(i));
            freeBlobs.push_back(blob);
            continue;
        }
        ++i;
    }
}

void FlamerEffect::Draw(const Camera& camera) {
    GunEffects& guns = SharedGunEffects(context);
    if (!guns.flameBatch || liveGroups.empty()) return;
    guns.flameBatch->AddSystem(camera, liveGroups);
    guns.flameBatch->Flush();
}
