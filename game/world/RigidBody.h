#pragma once
#include <cstdint>

#include "engine/core/Math.h"
#include "game/world/OdeHandles.h"

class PhysicsWorld;
class PhysicsGeom;

// One simulated body. It registers with its world, which keeps its recent good states and
// repairs it when its state goes bad. A new body starts disabled.
class RigidBody {
public:
    enum : uint32_t {
        Frozen = 1,      // immovable, never active in collisions
        NoResponse = 2,  // not pushed by bodies that lack the flag
        AutoDisable = 4, // put to sleep after more than 1 s of slow motion
        KeepHistory = 8, // good states are recorded and bad ones repaired
    };

    explicit RigidBody(PhysicsWorld& world);
    virtual ~RigidBody();
    RigidBody(const RigidBody&) = delete;
    RigidBody& operator=(const RigidBody&) = delete;

    virtual void SetGeom(PhysicsGeom* geom);
    virtual PhysicsGeom* GetGeom() const { return geom_; }
    virtual void SetLinearVelocity(const Vector3& v);
    virtual Vector3 GetLinearVelocity() const;
    virtual void SetAngularVelocity(const Vector3& v);
    virtual Vector3 GetAngularVelocity() const;
    virtual void SetPosition(const Vector3& p);
    virtual Vector3 GetPosition();
    // A zero or broken quaternion becomes the identity; others are normalised.
    virtual void SetOrientation(const Quaternion& q);
    virtual void GetOrientation(Quaternion& out) const;
    virtual void GetTransform(Matrix4& out);
    virtual void SetTransform(const Matrix4& m);
    // Refuses (with a log line) a mass that is not a positive finite number.
    virtual void SetMass(float mass);
    virtual float GetMass() const;
    // Kept in the wrapper: the simulated body always has its centre of mass at its origin.
    virtual void SetCentreOfMass(const Vector3& c) { centreOfMass_ = c; }
    virtual void GetCentreOfMass(Vector3& out) const { out = centreOfMass_; }
    virtual void SetBoxInertia(const Vector3& halfExtents);
    virtual void SetSphereInertia(float radius);
    // Mass and the inertia of a solid box of those half extents, in one go.
    void SetBoxMass(float mass, const Vector3& halfExtents);
    // The body's forward (local -z) and up (local +y) axes in the world.
    Vector3 GetForward() const;
    Vector3 GetUp() const;
    virtual void AddTorque(const Vector3& t);
    virtual void AddRelativeTorque(const Vector3& t);
    virtual void AddForceAtPosition(const Vector3& f, const Vector3& p);
    virtual void AddForce(const Vector3& f);
    virtual void AddRelativeForceAtPosition(const Vector3& f, const Vector3& p);
    virtual void AddRelativeForce(const Vector3& f);
    virtual void Enable();
    virtual void Disable();
    virtual bool IsEnabled() const;
    virtual void SetFrozen() { flags |= Frozen; }
    virtual void ClearFrozen() { flags &= ~uint32_t(Frozen); }
    virtual bool IsFrozen() const { return (flags & Frozen) != 0; }
    virtual void SetNoResponse() { flags |= NoResponse; }
    virtual void ClearNoResponse() { flags &= ~uint32_t(NoResponse); }
    virtual bool HasNoResponse() const { return (flags & NoResponse) != 0; }
    virtual void EnableGravity();
    virtual void DisableGravity();

    // The wrapper of an ODE body (its user data), or null.
    static RigidBody* FromOde(dxBody* body);
    dxBody* GetOdeBody() const { return body_; }
    PhysicsWorld& GetWorld() const { return *world_; }

    uint32_t flags = 0;
    float idleTime = 0.0f;
    int32_t splitMarker = 0;

protected:
    friend class PhysicsWorld;
    PhysicsGeom* geom_ = nullptr;
    PhysicsWorld* world_;
    dxBody* body_ = nullptr;
    Vector3 centreOfMass_;
    bool suspect_ = false; // waiting for the screen before the next step

private:
    // Values that could abort the step make the body a suspect of its world.
    void CheckState(const Vector3& v);
    void CheckForce(const Vector3& v);
};

// A body whose reported position is a point offset from its centre of mass. offset is the
// centre of mass relative to that point, in the body's frame.
class OffsetRigidBody : public RigidBody {
public:
    explicit OffsetRigidBody(PhysicsWorld& world) : RigidBody(world) {}
    void SetPosition(const Vector3& p) override;
    Vector3 GetPosition() override;
    void GetTransform(Matrix4& out) override;
    // Places the offset point at the matrix's translation.
    void SetTransform(const Matrix4& m) override;
    void SetCentreOfMass(const Vector3& c) override { offset = c; }
    void GetCentreOfMass(Vector3& out) const override { out = offset; }

    Vector3 offset;
    Vector3 cachedPosition;

private:
    Vector3 RotatedOffset() const;
};
