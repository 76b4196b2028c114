#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "game/world/CollisionListener.h"
#include "game/world/OdeHandles.h"

class PhysicsWorld;
class RigidBody;

// One joint between two bodies, with the receivers that are told the forces it applies.
// After every step the world reads the forces the joint applied and passes them through
// OnForces; when OnForces discards or changes them, the world corrects both bodies as if the
// changed forces had been applied in that step. Only a joint with receivers has its forces
// measured and passed through OnForces: the others cost the step nothing extra.
class PhysicsJoint {
public:
    PhysicsJoint();
    virtual ~PhysicsJoint();
    PhysicsJoint(const PhysicsJoint&) = delete;
    PhysicsJoint& operator=(const PhysicsJoint&) = delete;

    virtual void SetBodies(RigidBody* body1, RigidBody* body2);
    void Attach();
    void Detach();
    bool IsAttached() const { return attached_; }
    RigidBody* GetBody1() const { return body1_; }
    RigidBody* GetBody2() const { return body2_; }
    dxJoint* GetOdeJoint() const { return joint_; }

    // The force hook: screens the vectors (each component strictly inside +-1e12, for the
    // bodies the joint has) and asks every receiver in order. False discards the forces.
    bool OnForces(float stepSize, Vector4& f1, Vector4& t1, Vector4& f2, Vector4& t2);

    std::vector<JointForceReceiver*> receivers;

protected:
    friend class PhysicsWorld;
    // Re-applies joint-kind settings that the library forgets on attach.
    virtual void OnAttached() {}
    // The joint feedback record the library fills during the step; installed (and zeroed) only
    // while the joint has receivers.
    void* FeedbackStorage() { return feedback_; }
    void InstallFeedback();
    void RemoveFeedback();

    dxJoint* joint_ = nullptr;
    RigidBody* body1_ = nullptr;
    RigidBody* body2_ = nullptr;
    bool attached_ = false;
    bool feedbackInstalled_ = false;
    alignas(double) std::byte feedback_[16 * sizeof(double)];
};

// One of the world's pooled per-step contact joints.
class ContactJoint : public PhysicsJoint {
public:
    ContactJoint() = default;
    ~ContactJoint() override;

private:
    friend class PhysicsWorld;
    // Binds the wrapper to a freshly made contact joint of the current step.
    void Reset(dxJoint* joint);
};

// The wheel joint: suspension along the steering axis (axis 1) and a driven wheel axis (axis 2).
class Hinge2Joint : public PhysicsJoint {
public:
    explicit Hinge2Joint(PhysicsWorld& world);
    ~Hinge2Joint() override;

    void SetBodies(RigidBody* body1, RigidBody* body2) override { PhysicsJoint::SetBodies(body1, body2); }
    void SetAnchor(const Vector3& point);
    // Both axes at once (the library refuses parallel axes, so setting them one at a time can
    // fail half-way). The order on every attach or re-attach: Attach, SetAnchor, SetAxes.
    void SetAxes(const Vector3& steeringAxis, const Vector3& wheelAxis);
    void SetSteeringAxis(const Vector3& axis);
    void SetWheelAxis(const Vector3& axis);
    // The suspension's ERP for steps of the world's tuned size (the world converts it for steps
    // of other sizes); read back as given.
    void SetSuspensionErp(float erp);
    void LockSteering();
    void SetWheelMotor(float velocity, float maxForce);
    Vector3 GetAnchor() const;
    float GetSteeringAngle() const;
    // Read-backs of what the library holds (the axes in the world frame while attached, the
    // stored ones otherwise).
    Vector3 GetSteeringAxis() const;
    Vector3 GetWheelAxis() const;
    float GetSuspensionErp() const;
    float GetWheelMotorVelocity() const;
    float GetWheelMotorForce() const;

private:
    friend class PhysicsWorld;
    void OnAttached() override;
    void ApplyAxes();
    // The suspension's and the stops' values for steps of `step` seconds.
    void SoftenFor(float tuned, float step);

    PhysicsWorld* world_;
    // For steps of the world's tuned size.
    float suspensionErp_ = 0.4f;
    float suspensionCfm_ = 0.001f;
    float stopErp_ = 0.8f;
    Vector3 anchor_;
    bool hasAnchor_ = false;
    Vector3 steeringAxis_{0.0f, 1.0f, 0.0f};
    Vector3 wheelAxis_{1.0f, 0.0f, 0.0f};
};
