#include "game/world/PhysicsJoint.h"

#include <new>

#include "engine/core/Debugger.h"
#include "game/world/OdeBridge.h"
#include "game/world/PhysicsWorld.h"
#include "game/world/RigidBody.h"

using namespace physics_detail;

static_assert(sizeof(dJointFeedback) == 16 * sizeof(double), "joint feedback storage size");

namespace {

bool InRange(const Vector4& v) {
    auto ok = [](float c) { return c > -1e12f && c < 1e12f; }; // NaN fails both tests
    return ok(v.x) && ok(v.y) && ok(v.z);
}

dBodyID OdeBody(RigidBody* body) { return body ? body->GetOdeBody() : nullptr; }

} // namespace

PhysicsJoint::PhysicsJoint() { new (feedback_) dJointFeedback{}; }

PhysicsJoint::~PhysicsJoint() = default;

void PhysicsJoint::InstallFeedback() {
    dJointFeedback* fb = new (feedback_) dJointFeedback{};
    if (!joint_) return;
    dJointSetFeedback(joint_, fb);
    feedbackInstalled_ = true;
}

void PhysicsJoint::RemoveFeedback() {
    if (joint_ && feedbackInstalled_) dJointSetFeedback(joint_, nullptr);
    feedbackInstalled_ = false;
}

void PhysicsJoint::SetBodies(RigidBody* body1, RigidBody* body2) {
    body1_ = body1;
    body2_ = body2;
    if (attached_) {
        attached_ = false;
        Attach();
    }
}

void PhysicsJoint::Attach() {
    if (attached_ || !joint_) return;
    dBodyID b1 = OdeBody(body1_), b2 = OdeBody(body2_);
    if (b1 && b1 == b2) {
        Debugger::Instance().Log(1, "PHYSICS: Joint refused: both ends on the same body");
        return;
    }
    attached_ = true;
    dJointAttach(joint_, b1, b2);
    OnAttached();
}

void PhysicsJoint::Detach() {
    if (!attached_) return;
    attached_ = false;
    if (joint_) dJointAttach(joint_, nullptr, nullptr);
}

bool PhysicsJoint::OnForces(float stepSize, Vector4& f1, Vector4& t1, Vector4& f2, Vector4& t2) {
    f1.w = t1.w = f2.w = t2.w = 0.0f;
    Debugger& log = Debugger::Instance();
    if (body1_) {
        if (!InRange(f1)) {
            log.Log(1, "Invalid force for body1!");
            return false;
        }
        if (!InRange(t1)) {
            log.Log(1, "Invalid torque for body1!");
            return false;
        }
    }
    if (body2_) {
        if (!InRange(f2)) {
            log.Log(1, "Invalid force for body2!");
            return false;
        }
        if (!InRange(t2)) {
            log.Log(1, "Invalid torque for body2!");
            return false;
        }
    }
    bool keep = true;
    for (size_t i = 0; i < receivers.size(); ++i) {
        if (!receivers[i]->OnJointForce(this, stepSize, f1, t1, f2, t2)) keep = false;
    }
    return keep;
}

// -------------------------------------------------------------------------------------------------

ContactJoint::~ContactJoint() = default; // the world's joint group owns the library joint

void ContactJoint::Reset(dxJoint* joint) {
    joint_ = joint;
    receivers.clear();
    body1_ = body2_ = nullptr;
    attached_ = false;
    feedbackInstalled_ = false; // a fresh joint has none
}

// -------------------------------------------------------------------------------------------------

Hinge2Joint::Hinge2Joint(PhysicsWorld& world) : world_(&world) {
    joint_ = dJointCreateHinge2(world.GetOdeWorld(), nullptr);
    dJointSetData(joint_, this);
    dJointSetHinge2Param(joint_, dParamLoStop, -0.75 * M_PI);
    dJointSetHinge2Param(joint_, dParamHiStop, 0.75 * M_PI);
    // The motors' softness is the world's CFM whatever the step: a motor row has no error to
    // correct, and over any step its CFM makes the same drag toward the motor's speed.
    dJointSetHinge2Param(joint_, dParamCFM, PhysicsWorld::WorldCfm);
    dJointSetHinge2Param(joint_, dParamCFM2, PhysicsWorld::WorldCfm);
    world.RegisterJoint(this);
    SoftenFor(world.tunedStep_, world.softStep_);
}

Hinge2Joint::~Hinge2Joint() {
    if (world_) {
        world_->UnregisterJoint(this);
        if (joint_) dJointDestroy(joint_);
    }
    joint_ = nullptr;
}

void Hinge2Joint::OnAttached() {
    // The library forgets anchor and axes set before the bodies were attached.
    if (hasAnchor_) dJointSetHinge2Anchor(joint_, anchor_.x, anchor_.y, anchor_.z);
    ApplyAxes();
}

void Hinge2Joint::ApplyAxes() {
    if (!joint_ || !attached_ || !dJointGetBody(joint_, 0)) return;
    const Vector3 a = steeringAxis_.Normalized(), b = wheelAxis_.Normalized();
    // Parallel (or zero) axes kill the process inside the library.
    if (Vector3::Cross(a, b).LengthSquared() < 1e-6f) {
        Debugger::Instance().Log(1, "PHYSICS: Wheel joint axes refused: they must not be parallel");
        return;
    }
    const dVector3 axis1 = {a.x, a.y, a.z, 0.0};
    const dVector3 axis2 = {b.x, b.y, b.z, 0.0};
    dJointSetHinge2Axes(joint_, axis1, axis2);
}

void Hinge2Joint::SetAnchor(const Vector3& point) {
    if (!IsFinite(point)) return;
    anchor_ = point;
    hasAnchor_ = true;
    if (joint_ && attached_) dJointSetHinge2Anchor(joint_, point.x, point.y, point.z);
}

void Hinge2Joint::SetAxes(const Vector3& steeringAxis, const Vector3& wheelAxis) {
    if (!IsFinite(steeringAxis) || !IsFinite(wheelAxis)) return;
    steeringAxis_ = steeringAxis;
    wheelAxis_ = wheelAxis;
    ApplyAxes();
}

void Hinge2Joint::SetSteeringAxis(const Vector3& axis) {
    if (!IsFinite(axis)) return;
    steeringAxis_ = axis;
    ApplyAxes();
}

void Hinge2Joint::SetWheelAxis(const Vector3& axis) {
    if (!IsFinite(axis)) return;
    wheelAxis_ = axis;
    ApplyAxes();
}

// Non-finite joint parameters abort the library inside the step; they are refused.
void Hinge2Joint::SetSuspensionErp(float erp) {
    if (!joint_) return;
    if (!std::isfinite(erp)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused suspension ERP %.3f", double(erp));
        return;
    }
    suspensionErp_ = erp;
    if (world_) SoftenFor(world_->tunedStep_, world_->softStep_);
}

void Hinge2Joint::SoftenFor(float tuned, float step) {
    if (!joint_) return;
    float erp = 0.0f, cfm = 0.0f;
    SoftnessForStep(suspensionErp_, suspensionCfm_, tuned, step, erp, cfm);
    dJointSetHinge2Param(joint_, dParamSuspensionERP, erp);
    dJointSetHinge2Param(joint_, dParamSuspensionCFM, cfm);
    // The stops soften as the world does.
    SoftnessForStep(stopErp_, PhysicsWorld::WorldCfm, tuned, step, erp, cfm);
    dJointSetHinge2Param(joint_, dParamStopERP, erp);
    dJointSetHinge2Param(joint_, dParamStopCFM, cfm);
}

void Hinge2Joint::LockSteering() {
    if (!joint_) return;
    dJointSetHinge2Param(joint_, dParamLoStop, 0.0);
    dJointSetHinge2Param(joint_, dParamHiStop, 0.0);
}

void Hinge2Joint::SetWheelMotor(float velocity, float maxForce) {
    if (!joint_) return;
    if (!std::isfinite(velocity) || !std::isfinite(maxForce)) {
        Debugger::Instance().Log(1, "PHYSICS: Refused wheel motor %.3f, %.3f", double(velocity), double(maxForce));
        return;
    }
    dJointSetHinge2Param(joint_, dParamVel2, velocity);
    dJointSetHinge2Param(joint_, dParamFMax2, maxForce);
}

Vector3 Hinge2Joint::GetAnchor() const {
    if (!joint_ || !attached_) return anchor_;
    dVector3 a;
    dJointGetHinge2Anchor(joint_, a);
    return ToVector3(a);
}

float Hinge2Joint::GetSteeringAngle() const { return (joint_ && attached_) ? ToF32(dJointGetHinge2Angle1(joint_)) : 0.0f; }

Vector3 Hinge2Joint::GetSteeringAxis() const {
    if (!joint_ || !attached_ || !dJointGetBody(joint_, 0)) return steeringAxis_;
    dVector3 a;
    dJointGetHinge2Axis1(joint_, a);
    return ToVector3(a);
}

Vector3 Hinge2Joint::GetWheelAxis() const {
    if (!joint_ || !attached_ || !dJointGetBody(joint_, 0)) return wheelAxis_;
    dVector3 a;
    dJointGetHinge2Axis2(joint_, a);
    return ToVector3(a);
}

float Hinge2Joint::GetSuspensionErp() const { return joint_ ? suspensionErp_ : 0.0f; }
float Hinge2Joint::GetWheelMotorVelocity() const { return joint_ ? ToF32(dJointGetHinge2Param(joint_, dParamVel2)) : 0.0f; }
float Hinge2Joint::GetWheelMotorForce() const { return joint_ ? ToF32(dJointGetHinge2Param(joint_, dParamFMax2)) : 0.0f; }
