#include "game/world/DamageReceiver.h"

#include "game/world/PhysicsGeom.h"
#include "game/world/PhysicsJoint.h"
#include "game/world/RigidBody.h"

DamageTable& DamageTable::Global() {
    static DamageTable table;
    return table;
}

void DamageTable::Reset() {
    for (float& e : entries_) e = 1.0f;
}

float DamageTable::Get(int32_t type, int32_t kind) const {
    if (type < 0 || type >= Types || kind < 0 || kind >= Kinds) return 1.0f;
    return entries_[type * Kinds + kind];
}

void DamageTable::Set(int32_t type, int32_t kind, float scale) {
    if (type < 0 || type >= Types || kind < 0 || kind >= Kinds) return;
    entries_[type * Kinds + kind] = scale;
}

DamageReceiver::DamageReceiver(float maxHealth_, int32_t type_, float threshold_)
    : CollisionListener(AskForceReceiver), maxHealth(maxHealth_), health(maxHealth_), type(type_),
      threshold(threshold_) {}

void DamageReceiver::OnDamaged(float, int32_t, const void*) {}
void DamageReceiver::OnDestroyed(int32_t) {}

void DamageReceiver::Apply(float amount, int32_t kind, const void* source) {
    if (!(health > 0.0f)) return;
    float scaled = amount * DamageTable::Global().Get(type, kind);
    if (!(scaled > threshold)) return; // also drops NaN
    if (scaled > health) scaled = health;
    OnDamaged(scaled, kind, source);
    health -= scaled;
    if (health <= 0.0f) {
        health = 0.0f;
        OnDestroyed(kind);
    }
}

void DamageReceiver::TakeDamage(float amount, int32_t kind, const void* source) { Apply(amount, kind, source); }

void DamageReceiver::TakeDamageFrom(PhysicsGeom* by, float amount, int32_t kind, const void* source) {
    // A hit may land while another is being taken (a hook that hurts something that hurts
    // back): the outer hit's names come back afterwards.
    GeomOwner* const outerInstigator = instigator;
    PhysicsGeom* const outerHitter = hitter;
    instigator = InstigatorOf(by);
    hitter = by;
    Apply(amount, kind, source);
    instigator = outerInstigator;
    hitter = outerHitter;
}

DamageReceiver* DamageReceiver::ReceiverOf(PhysicsGeom* geom) {
    GeomOwner* owner = geom ? geom->GetOwner() : nullptr;
    return owner ? owner->GetDamageReceiver() : nullptr;
}

GeomOwner* DamageReceiver::InstigatorOf(PhysicsGeom* geom) {
    if (!geom || !(geom->GetCategoryBits() & 0x80u)) return nullptr;
    return ReceiverOf(geom) ? geom->GetOwner() : nullptr;
}

JointForceReceiver* DamageReceiver::GetForceReceiver(PhysicsGeom*, PhysicsGeom* other) {
    return ReceiverOf(other) ? static_cast<JointForceReceiver*>(this) : nullptr;
}

bool DamageReceiver::OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4&, Vector4& f2, Vector4&) {
    RigidBody* body1 = joint ? joint->GetBody1() : nullptr;
    RigidBody* body2 = joint ? joint->GetBody2() : nullptr;
    PhysicsGeom* geom1 = body1 ? body1->GetGeom() : nullptr;
    PhysicsGeom* geom2 = body2 ? body2->GetGeom() : nullptr;
    DamageReceiver* receiver1 = ReceiverOf(geom1);
    DamageReceiver* receiver2 = ReceiverOf(geom2);

    DamageReceiver* victim;
    const Vector4* force;
    PhysicsGeom* by;
    const RigidBody* source;
    if (receiver1 == this) {
        victim = receiver2;
        force = &f2;
        by = geom1;
        source = body1;
    } else {
        victim = receiver1;
        force = &f1;
        by = geom2;
        source = body2;
    }
    if (!victim) return true;
    if (!by) by = ownGeom;
    const float amount = (force->x * force->x + force->y * force->y + force->z * force->z) * dt * 2e-10f;
    victim->TakeDamageFrom(by, amount, DamageImpact, source);
    return true;
}
