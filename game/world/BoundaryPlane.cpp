#include "game/world/BoundaryPlane.h"

#include "game/world/DamageReceiver.h"
#include "game/world/GameSession.h"
#include "game/world/KillPlaneHandler.h"
#include "game/world/PhysicsJoint.h"
#include "game/world/RigidBody.h"

BoundaryPlane::BoundaryPlane(const GameSession& session)
    : CollisionListener(AskIgnoreTriangle | AskForceReceiver), session_(session),
      killPlane_(0.0f, 1.0f, 0.0f, KillPlaneHeight) {
    listeners.push_back(this);
    killPlane_.SetCategoryBits(8);
    killPlane_.SetCollideBits(0x80);
    killPlane_.listeners.push_back(this);
}

BoundaryPlane::~BoundaryPlane() = default;

bool BoundaryPlane::IgnoreTriangle(PhysicsGeom*, PhysicsGeom*, int32_t triangle) {
    if (triangle < 0 || size_t(triangle) >= triangleVariants.size()) return false;
    const int32_t v = triangleVariants[size_t(triangle)];
    return v != 0 && v != session_.missionVariant + 1;
}

JointForceReceiver* BoundaryPlane::GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) {
    GeomOwner* owner = other ? other->GetOwner() : nullptr;
    if (own == &killPlane_ && owner && killPlaneHandler) killPlaneHandler->OnKillPlane(*owner);
    return owner && owner->GetDamageReceiver() ? this : nullptr;
}

bool BoundaryPlane::OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4&, Vector4&, Vector4&) {
    RigidBody* body = joint ? joint->GetBody1() : nullptr;
    PhysicsGeom* geom = body ? body->GetGeom() : nullptr;
    if (!geom) return true;
    ContactRecord* record = nullptr;
    for (ContactRecord& r : contacts)
        if (r.geom == geom) {
            record = &r;
            break;
        }
    if (!record) {
        contacts.push_back({geom, Vector3()});
        record = &contacts.back();
    }
    const float s = dt * ImpulseScale;
    record->impulse += Vector3(f1.x * s, f1.y * s, f1.z * s);
    return true;
}

void BoundaryPlane::ApplyContactDamage() {
    for (const ContactRecord& r : contacts) {
        if (r.geom->GetCategoryBits() & NoWallDamage) continue;
        GeomOwner* owner = r.geom->GetOwner();
        DamageReceiver* receiver = owner ? owner->GetDamageReceiver() : nullptr;
        if (receiver) receiver->TakeDamageFrom(nullptr, r.impulse.LengthSquared(), 3, nullptr);
    }
    contacts.clear();
}
