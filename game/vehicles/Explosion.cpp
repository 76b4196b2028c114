#include "game/vehicles/Explosion.h"

#include <cmath>

#include "engine/audio/AudioDevice.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/MatrixStack.h"
#include "engine/render/MeshFactory.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/ShaderTypes.h"
#include "game/vehicles/ExplosionObserver.h"
#include "game/vehicles/Vehicle.h"
#include "game/vehicles/VehicleContext.h"
#include "game/world/DamageReceiver.h"
#include "game/world/PhysicsJoint.h"
#include "game/world/RigidBody.h"
#include "game/world/World.h"
#include "platform/sys/Random.h"

ExplosionPool::ExplosionPool(VehicleContext& context_) : context(context_), surface(0.0f) {
    surface.softErp = 0.1f;
    surface.softCfm = 0.01f;
    sounds = ListFiles(SharedString("Audio\\Explosion*.WAV"), true);
    if (context.engine.renderer) {
        mesh.reset(MeshFactory::Instance().GetByName(SharedString(Explosion::Model), true));
        if (mesh) fader = mesh->GetShaderVars(SharedString("Fader"));
    }
}

ExplosionPool::~ExplosionPool() = default;

ExplosionPool& ExplosionPool::Of(VehicleContext& context) {
    if (!context.explosions) context.explosions = std::make_unique<ExplosionPool>(context);
    return *context.explosions;
}

void ExplosionPool::ForgetOwner(const PhysicsGeom* geom) {
    if (!geom) return;
    for (Explosion* e : pool.Live())
        if (e->owner == geom) e->owner = nullptr;
}

Explosion::Explosion(ExplosionPool& shared) : Projectile(shared.context.world, true), CollisionListener(AskIgnorePair | AskForceReceiver), sphere(1.0f), shared_(shared) {
    sphere.flags = PhysicsGeom::AlwaysCollide;
    sphere.SetCategoryBits(Category);
    sphere.SetCollideBits(CollideBits);
    sphere.SetSurface(&shared.surface);
    sphere.listeners.push_back(this);
}

Explosion::~Explosion() { Leave(); }

void Explosion::Spawn(VehicleContext& context, PhysicsGeom* owner, const Vector3& position, float startRadius,
                      float maxRadius, float growth, bool play, const SharedString& sound) {
    if (!std::isfinite(position.x) || !std::isfinite(position.y) || !std::isfinite(position.z)) return;
    ExplosionPool& shared = ExplosionPool::Of(context);
    Explosion* e = shared.pool.Take([&shared] { return std::make_unique<Explosion>(shared); });
    e->owner = owner;
    e->sphere.SetPosition(position);
    e->sphere.SetRadius(startRadius);
    e->startRadius = startRadius;
    e->maxRadius = maxRadius;
    e->growth = growth;
    e->angle = RandomFloat(0.0f, 1.0f) * 5.0f;

    if (play && context.engine.sound) {
        SharedString name = sound;
        if (name.IsEmpty())
            name = shared.sounds.empty() ? SharedString(FallbackSound)
                                         : shared.sounds[size_t(plat::EngineRand()) % shared.sounds.size()];
        const float volume = context.effectsVolume ? context.effectsVolume->GetEffectiveVolume() : 1.0f;
        context.engine.sound->PlaySound3D(name, position, SoundMinimum, SoundMaximum, volume);
    }

    e->Enter();
    if (owner && (owner->GetCategoryBits() & DrivenCarBit) && context.explosionObserver)
        if (Vehicle* car = dynamic_cast<Vehicle*>(owner->GetOwner())) context.explosionObserver->OnExplosionHit(position, *car);
    shared.pool.Launched(e);
}

void Explosion::ReleaseAll(VehicleContext& context) {
    if (context.explosions) context.explosions->pool.ReleaseAll();
}

void Explosion::OnAdded(PhysicsWorld& world) { sphere.AddToWorld(world); }

void Explosion::OnRemoved(PhysicsWorld& world) { sphere.RemoveFromWorld(world); }

void Explosion::UpdateBounds(PhysicsWorld&, float dt) { Grow(dt); }

void Explosion::Grow(float dt) {
    const float r = sphere.GetRadius();
    const float q = r * r + dt * growth;
    if (q <= maxRadius * maxRadius) {
        sphere.SetRadius(std::sqrt(q));
        return;
    }
    shared_.pool.Release(this);
    sphere.SetRadius(maxRadius);
}

bool Explosion::IgnorePair(PhysicsGeom*, PhysicsGeom* other) { return other && (other->GetCategoryBits() & ProtectedBit); }

JointForceReceiver* Explosion::GetForceReceiver(PhysicsGeom*, PhysicsGeom* other) {
    return DamageReceiver::ReceiverOf(other) ? static_cast<JointForceReceiver*>(this) : nullptr;
}

bool Explosion::OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4&, Vector4& f2, Vector4&) {
    if (!joint) return true;
    // The sphere has no body: the struck body is whichever the joint has.
    RigidBody* body = joint->GetBody1();
    const Vector4* force = &f1;
    if (!body) {
        body = joint->GetBody2();
        force = &f2;
    }
    PhysicsGeom* struck = body ? body->GetGeom() : nullptr;
    DamageReceiver* receiver = DamageReceiver::ReceiverOf(struck);
    if (!receiver) return true;
    Vector3 direction = struck->GetPosition() - sphere.GetPosition();
    const float length = direction.Length();
    direction = length > 0.0f ? direction * (1.0f / length) : Vector3(0, 1, 0);
    const float amount = (force->x * force->x + force->y * force->y + force->z * force->z) * dt * DamageFactor;
    receiver->TakeDamageFrom(owner, amount, DamageBlast, &direction);
    return true;
}

void Explosion::Draw(const Camera&) {
    RenderFacility* renderer = world_.engine.renderer;
    MatrixStack* stack = renderer ? renderer->GetMatrixStack() : nullptr;
    D3D8Mesh* mesh = shared_.mesh.get();
    if (!stack || !mesh || !(maxRadius > 0.0f)) return;
    const float r = sphere.GetRadius();
    const float a = std::sqrt(std::max(0.0f, 1.0f - r / maxRadius));
    const Vector3 centre = sphere.GetPosition();
    const Matrix4 turn = Matrix4::RotationY(angle);
    for (int i = 1; i <= 9; ++i) {
        const float s = std::sqrt(2.0f * r * r / float(i));
        Matrix4 m = turn;
        for (int row = 0; row < 3; ++row)
            for (int col = 0; col < 3; ++col) m.m[row][col] *= s;
        m.Translate(centre.x, centre.y, centre.z);
        if (shared_.fader) shared_.fader->textureFactor = uint32_t(float(i) * a * 25.5f) << 24 | 0x00FFFFFFu;
        stack->Push();
        stack->Load(m);
        mesh->Render();
        stack->Pop();
    }
}
