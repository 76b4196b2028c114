#pragma once
#include <cstdint>

#include "engine/core/Math.h"

class PhysicsGeom;
class PhysicsJoint;

// Surface of a geom. Two surfaces are mixed for every contact pair.
struct SurfaceMaterial {
    explicit SurfaceMaterial(float friction_ = 0.0f) : friction(friction_) {}
    float friction;
    float bounce = 0.0f;
    float bounceVelocity = 0.0f;
    float softErp = 0.0f;
    float softCfm = 0.0f;
    float slip = 0.0f;
};

// Sees the forces a contact or wheel joint applies in one step. f1/t1 belong to the joint's
// body 1, f2/t2 to body 2; w is always 0. A receiver may change the vectors; returning false
// discards the joint's forces for this step.
class JointForceReceiver {
public:
    virtual ~JointForceReceiver() = default;
    virtual bool OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4& t1, Vector4& f2,
                              Vector4& t2) = 0;
};

// Takes part in the collision of the geoms it is attached to. A question is asked only when
// its bit is set in listenerFlags.
class CollisionListener {
public:
    enum : uint32_t {
        AskIgnorePair = 0x01,
        AskVetoContacts = 0x02,
        AskForceReceiver = 0x04,
        AskFilterContact = 0x08,
        AskIgnoreTriangle = 0x10,
        AskOnTriangles = 0x20,
        AskRayTriangle = 0x40,
    };

    explicit CollisionListener(uint32_t flags = 0) : listenerFlags(flags) {}
    virtual ~CollisionListener() = default;

    // True drops that triangle of the mesh for this pair.
    virtual bool IgnoreTriangle(PhysicsGeom* other, PhysicsGeom* triMesh, int32_t triangle);
    // True: the pair does not collide at all.
    virtual bool IgnorePair(PhysicsGeom* own, PhysicsGeom* other);
    // True drops every contact of this collision call.
    virtual bool VetoContacts(PhysicsGeom* own, PhysicsGeom* other);
    // False drops the ray's hit on that triangle.
    virtual bool AcceptRayTriangle(PhysicsGeom* triMesh, PhysicsGeom* ray, int32_t triangle, float u,
                                   float v);
    // The triangles of a mesh the own geom touches.
    virtual void OnTriangles(PhysicsGeom* triMesh, PhysicsGeom* own, const int32_t* triangles, int32_t count);
    // False drops this contact point; the listener may change position, normal and depth.
    virtual bool FilterContact(PhysicsGeom* own, PhysicsGeom* other, Vector3* position, Vector3* normal,
                               float* depth);
    // The receiver to subscribe to this pair's contact joints, or null.
    virtual JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other);

    uint32_t listenerFlags;
};

class DamageReceiver;

// What a geom's owner pointer names: lets other objects find out who they touched.
class GeomOwner {
public:
    virtual ~GeomOwner() = default;
    // The owner's health component, or null for things that cannot be hurt.
    virtual DamageReceiver* GetDamageReceiver() { return nullptr; }
};
