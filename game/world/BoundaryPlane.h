#pragma once
// The static city's collision: its triangle mesh (only the current mission variant's triangles
// collide; hard contacts hurt what hits them) and the kill plane far below it.
#include <cstdint>
#include <vector>

#include "game/world/CollisionListener.h"
#include "game/world/PhysicsGeom.h"

struct GameSession;
class KillPlaneHandler;

class BoundaryPlane : public TriMeshGeom, public CollisionListener, public JointForceReceiver {
public:
    static constexpr float KillPlaneHeight = -360.0f;
    static constexpr float ImpulseScale = 6.666667e-5f; // 1 / 15000
    static constexpr uint32_t NoWallDamage = 0x400;

    struct ContactRecord {
        PhysicsGeom* geom = nullptr;
        Vector3 impulse;
    };

    explicit BoundaryPlane(const GameSession& session);
    ~BoundaryPlane() override;

    bool IgnoreTriangle(PhysicsGeom* other, PhysicsGeom* triMesh, int32_t triangle) override;
    JointForceReceiver* GetForceReceiver(PhysicsGeom* own, PhysicsGeom* other) override;
    bool OnJointForce(PhysicsJoint* joint, float dt, Vector4& f1, Vector4& t1, Vector4& f2, Vector4& t2) override;
    // Once a frame after the sub-steps: each record's squared summed impulse as impact damage.
    void ApplyContactDamage();

    PlaneGeom& KillPlane() { return killPlane_; }
    // One mission variant per collision triangle (0 = every mission, n = only variant n - 1).
    std::vector<int32_t> triangleVariants;
    // Decal ring indices stuck to the static city.
    std::vector<int32_t> staticDecals;
    std::vector<ContactRecord> contacts;
    KillPlaneHandler* killPlaneHandler = nullptr;

private:
    const GameSession& session_;
    PlaneGeom killPlane_;
};
