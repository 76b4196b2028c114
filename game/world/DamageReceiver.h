#pragma once
#include <cstdint>

#include "game/world/CollisionListener.h"

class PhysicsGeom;

// Damage kinds (columns of the damage table).
enum DamageKind : int32_t { DamageFlame = 0, DamageBlast = 1, DamageBullet = 2, DamageImpact = 3 };

// Scales every hit by receiver type (row, 0..2) and damage kind (column, 0..3).
class DamageTable {
public:
    static constexpr int32_t Types = 3;
    static constexpr int32_t Kinds = 4;

    // The program's one table.
    static DamageTable& Global();
    // Every entry 1.0.
    void Reset();
    // 1.0 for a type or kind outside the table.
    float Get(int32_t type, int32_t kind) const;
    void Set(int32_t type, int32_t kind, float scale);

private:
    float entries_[Types * Kinds] = {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1};
};

// The health of something that can be hurt or wrecked. As a collision listener it subscribes to
// the contact joints with other damageable things and turns their forces into impact damage.
class DamageReceiver : public CollisionListener, public JointForceReceiver {
public:
    DamageReceiver(float maxHealth, int32_t type, float threshold);
    ~DamageReceiver() override = default;

    void TakeDamage(float amount, int32_t kind, const void* source);
    // As TakeDamage, naming the attacker that owns the hitting geom while the hooks run.
    void TakeDamageFrom(PhysicsGeom* hitter, float amount, int32_t kind, const void* source);

    JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) override;
    bool OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4& t1, Vector4& f2, Vector4& t2) override;

    // Hooks for the owner; the base does nothing. The instigator is set while they run. They
    // run inside the physics step's force hooks: like every hook there they only record (a flag,
    // a queued event) and leave moving, resetting or removing anything to after the step.
    virtual void OnDamaged(float amount, int32_t kind, const void* source);
    virtual void OnDestroyed(int32_t kind);

    // The attacker that owns a hitting vehicle geom (category bit 0x80) with a receiver, else null.
    static GeomOwner* InstigatorOf(PhysicsGeom* geom);
    // The receiver of a geom's owner, or null.
    static DamageReceiver* ReceiverOf(PhysicsGeom* geom);

    float GetHealth() const { return health; }
    float GetMaxHealth() const { return maxHealth; }
    GeomOwner* GetInstigator() const { return instigator; }
    // The geom that hit, while TakeDamageFrom or an impact runs its hooks; else null.
    PhysicsGeom* GetHitter() const { return hitter; }

    float maxHealth;
    float health;
    int32_t type;
    float threshold;
    GeomOwner* instigator = nullptr;
    PhysicsGeom* hitter = nullptr;
    PhysicsGeom* ownGeom = nullptr;

private:
    void Apply(float amount, int32_t kind, const void* source);
};
