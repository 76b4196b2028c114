#include "game/world/RigidBody.h"

#include "engine/core/Debugger.h"
#include "game/world/OdeBridge.h"
#include "game/world/PhysicsGeom.h"
#include "game/world/PhysicsWorld.h"

using namespace physics_detail;

namespace {

// The library aborts on a mass that is not positive, a centre of mass away from the origin or
// an inertia that is not positive definite; such a record never reaches it.
bool MassIsSafe(const dMass& m) {
    if (!(m.mass > 0.0) || !std::isfinite(m.mass)) return false;
    if (m.c[0] != 0.0 || m.c[1] != 0.0 || m.c[2] != 0.0) return false;
    const dReal* I = m.I;
    for (int i = 0; i < 12; ++i) {
        if (!std::isfinite(I[i])) return false;
    }
    const double d1 = I[0];
    const double d2 = I[0] * I[5] - I[1] * I[4];
    const double d3 = I[0] * (I[5] * I[10] - I[6] * I[9]) - I[1] * (I[4] * I[10] - I[6] * I[8]) +
                      I[2] * (I[4] * I[9] - I[5] * I[8]);
    return d1 > 0.0 && d2 > 0.0 && d3 > 0.0;
}

bool SetMassRecord(dBodyID body, const dMass& m, const char* what) {
    if (!MassIsSafe(m)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused %s: mass %.3f with a degenerate inertia", what, m.mass);
        return false;
    }
    dBodySetMass(body, &m);
    return true;
}

} // namespace

RigidBody::RigidBody(PhysicsWorld& world) : world_(&world) {
    body_ = dBodyCreate(world.GetOdeWorld());
    dBodySetData(body_, this);
    dBodyDisable(body_);
    world.RegisterBody(this);
}

RigidBody::~RigidBody() {
    if (geom_) geom_->SetBody(nullptr);
    geom_ = nullptr;
    if (world_) {
        world_->UnregisterBody(this);
        PhysicsWorld::DestroyBody(body_);
    }
}

// The state bound of the world's repair: NaN or beyond +-1e6.
void RigidBody::CheckState(const Vector3& v) {
    auto bad = [](float x) { return !(x >= -1000000.0f && x <= 1000000.0f); };
    if (world_ && (bad(v.x) || bad(v.y) || bad(v.z))) world_->MarkSuspect(this);
}

void RigidBody::CheckForce(const Vector3& v) {
    if (world_ && (IsInvalidFloat(v.x) || IsInvalidFloat(v.y) || IsInvalidFloat(v.z))) world_->MarkSuspect(this);
}

RigidBody* RigidBody::FromOde(dxBody* body) { return body ? static_cast<RigidBody*>(dBodyGetData(body)) : nullptr; }

void RigidBody::SetGeom(PhysicsGeom* geom) {
    if (geom_) geom_->SetBody(nullptr);
    geom_ = geom;
    if (geom_) geom_->SetBody(this);
}

// Every change of state or accumulated force goes through these setters, so a value that could
// abort the step marks the body for the screen before it.
void RigidBody::SetLinearVelocity(const Vector3& v) {
    if (!body_) return;
    CheckState(v);
    dBodySetLinearVel(body_, v.x, v.y, v.z);
}
Vector3 RigidBody::GetLinearVelocity() const { return body_ ? ToVector3(dBodyGetLinearVel(body_)) : Vector3(); }
void RigidBody::SetAngularVelocity(const Vector3& v) {
    if (!body_) return;
    CheckState(v);
    dBodySetAngularVel(body_, v.x, v.y, v.z);
}
Vector3 RigidBody::GetAngularVelocity() const { return body_ ? ToVector3(dBodyGetAngularVel(body_)) : Vector3(); }
void RigidBody::SetPosition(const Vector3& p) {
    if (!body_) return;
    CheckState(p);
    dBodySetPosition(body_, p.x, p.y, p.z);
}
Vector3 RigidBody::GetPosition() { return body_ ? ToVector3(dBodyGetPosition(body_)) : Vector3(); }

void RigidBody::SetOrientation(const Quaternion& q) {
    if (!body_) return;
    dQuaternion oq;
    ToOdeQuaternion(q, oq);
    dBodySetQuaternion(body_, oq);
}

void RigidBody::GetOrientation(Quaternion& out) const {
    out = body_ ? FromOdeQuaternion(dBodyGetQuaternion(body_)) : Quaternion();
}

void RigidBody::GetTransform(Matrix4& out) {
    if (!body_) {
        out.SetIdentity();
        return;
    }
    RotationToMatrix(dBodyGetRotation(body_), dBodyGetPosition(body_), out);
}

void RigidBody::SetTransform(const Matrix4& m) {
    if (!body_) return;
    dQuaternion q;
    MatrixToOdeQuaternion(m, q);
    dBodySetQuaternion(body_, q);
    CheckState(Vector3(m.m[3][0], m.m[3][1], m.m[3][2]));
    dBodySetPosition(body_, m.m[3][0], m.m[3][1], m.m[3][2]);
}

void RigidBody::SetMass(float mass) {
    if (!body_) return;
    if (!(mass > 0.0f) || !std::isfinite(mass)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused body mass %.3f", double(mass));
        return;
    }
    dMass m;
    dBodyGetMass(body_, &m);
    m.mass = mass;
    SetMassRecord(body_, m, "mass");
}

float RigidBody::GetMass() const {
    if (!body_) return 0.0f;
    dMass m;
    dBodyGetMass(body_, &m);
    return ToF32(m.mass);
}

void RigidBody::SetBoxInertia(const Vector3& h) {
    if (!body_) return;
    if (!(h.x > 0.0f && h.y > 0.0f && h.z > 0.0f) || !IsFinite(h)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused box inertia for extents %.3f, %.3f, %.3f", double(h.x),
                                 double(h.y), double(h.z));
        return;
    }
    dMass m;
    dBodyGetMass(body_, &m);
    const double lx = 2.0 * h.x, ly = 2.0 * h.y, lz = 2.0 * h.z;
    const double k = double(float(m.mass)) / 12.0;
    m.I[0] = float(k * (ly * ly + lz * lz));
    m.I[5] = float(k * (lx * lx + lz * lz));
    m.I[10] = float(k * (lx * lx + ly * ly));
    SetMassRecord(body_, m, "box inertia");
}

void RigidBody::SetBoxMass(float mass, const Vector3& h) {
    if (!body_) return;
    if (!(mass > 0.0f) || !std::isfinite(mass) || !(h.x > 0.0f && h.y > 0.0f && h.z > 0.0f) || !IsFinite(h)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused box mass %.3f for extents %.3f, %.3f, %.3f", double(mass),
                                 double(h.x), double(h.y), double(h.z));
        return;
    }
    dMass m;
    dMassSetBoxTotal(&m, mass, 2.0 * h.x, 2.0 * h.y, 2.0 * h.z);
    SetMassRecord(body_, m, "box mass");
}

Vector3 RigidBody::GetForward() const {
    if (!body_) return {0.0f, 0.0f, -1.0f};
    const dReal* r = dBodyGetRotation(body_); // row-major 3x4: column 2 is the local z axis
    return {-ToF32(r[2]), -ToF32(r[6]), -ToF32(r[10])};
}

Vector3 RigidBody::GetUp() const {
    if (!body_) return {0.0f, 1.0f, 0.0f};
    const dReal* r = dBodyGetRotation(body_);
    return {ToF32(r[1]), ToF32(r[5]), ToF32(r[9])};
}

void RigidBody::SetSphereInertia(float radius) {
    if (!body_) return;
    if (!(radius > 0.0f) || !std::isfinite(radius)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused sphere inertia for radius %.3f", double(radius));
        return;
    }
    dMass m;
    dBodyGetMass(body_, &m);
    const double i = 0.4 * m.mass * double(radius) * double(radius);
    m.I[0] = m.I[5] = m.I[10] = i;
    SetMassRecord(body_, m, "sphere inertia");
}

void RigidBody::AddTorque(const Vector3& t) {
    if (!body_) return;
    CheckForce(t);
    dBodyAddTorque(body_, t.x, t.y, t.z);
}
void RigidBody::AddRelativeTorque(const Vector3& t) {
    if (!body_) return;
    CheckForce(t);
    dBodyAddRelTorque(body_, t.x, t.y, t.z);
}
void RigidBody::AddForceAtPosition(const Vector3& f, const Vector3& p) {
    if (!body_) return;
    CheckForce(f);
    CheckForce(p); // the point enters the torque
    dBodyAddForceAtPos(body_, f.x, f.y, f.z, p.x, p.y, p.z);
}
void RigidBody::AddForce(const Vector3& f) {
    if (!body_) return;
    CheckForce(f);
    dBodyAddForce(body_, f.x, f.y, f.z);
}
void RigidBody::AddRelativeForceAtPosition(const Vector3& f, const Vector3& p) {
    if (!body_) return;
    CheckForce(f);
    CheckForce(p);
    dBodyAddRelForceAtPos(body_, f.x, f.y, f.z, p.x, p.y, p.z);
}
void RigidBody::AddRelativeForce(const Vector3& f) {
    if (!body_) return;
    CheckForce(f);
    dBodyAddRelForce(body_, f.x, f.y, f.z);
}
void RigidBody::Enable() { if (body_) dBodyEnable(body_); }
void RigidBody::Disable() { if (body_) dBodyDisable(body_); }
bool RigidBody::IsEnabled() const { return body_ && dBodyIsEnabled(body_); }
void RigidBody::EnableGravity() { if (body_) dBodySetGravityMode(body_, 1); }
void RigidBody::DisableGravity() { if (body_) dBodySetGravityMode(body_, 0); }

// -------------------------------------------------------------------------------------------------

Vector3 OffsetRigidBody::RotatedOffset() const {
    if (!body_) return offset;
    const dReal* r = dBodyGetRotation(body_);
    dVector3 local = {offset.x, offset.y, offset.z, 0.0};
    dVector3 world;
    dMultiply0_331(world, r, local);
    return ToVector3(world);
}

void OffsetRigidBody::SetPosition(const Vector3& p) { RigidBody::SetPosition(p + RotatedOffset()); }

Vector3 OffsetRigidBody::GetPosition() {
    cachedPosition = RigidBody::GetPosition() - RotatedOffset();
    return cachedPosition;
}

void OffsetRigidBody::GetTransform(Matrix4& out) {
    RigidBody::GetTransform(out);
    const Vector3 p = GetPosition();
    out.m[3][0] = p.x;
    out.m[3][1] = p.y;
    out.m[3][2] = p.z;
}

void OffsetRigidBody::SetTransform(const Matrix4& m) {
    RigidBody::SetTransform(m);
    SetPosition(Vector3(m.m[3][0], m.m[3][1], m.m[3][2]));
}
