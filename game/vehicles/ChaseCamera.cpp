#include "game/vehicles/ChaseCamera.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/EngineServices.h"
#include "engine/core/Geometry.h"
#include "engine/render/RenderFacility.h"
#include "game/vehicles/CarCamera.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/PhysicsWorld.h"
#include "platform/sys/Random.h"

namespace {

// Dark blue, the colour of the water seen from inside it.
constexpr Color UnderwaterFog = Color::FromARGB(0xFF204080);

Quaternion Conjugate(const Quaternion& q) { return Quaternion(-q.x, -q.y, -q.z, q.w); }

} // namespace

CarCamera& ChaseCamera::DefaultCarCamera() {
    static CarCamera record;
    return record;
}

ChaseCamera::ChaseCamera(const EngineServices& engine, PhysicsWorld* physics) : engine_(engine), physics_(physics) {
    SetFov(DefaultFov);
    CarCamera& d = DefaultCarCamera();
    d.distance = 100.0f;
    d.lerp = 1.0f;
    d.viewCar = true;
    d.attached = false;
}

void ChaseCamera::SetTarget(Vehicle* vehicle) {
    if (vehicle == target) return;
    target = vehicle;
    cameraIndex = 0;
    SetFov(DefaultFov);
}

void ChaseCamera::SetCameraIndex(uint32_t index) {
    cameraIndex = index;
    if (!target) return;
    viewCar = index <= SpectatorView ? target->CameraRecord(index).viewCar : true;
}

void ChaseCamera::Reset() {
    cameraIndex = 0;
    target = nullptr;
    position = Vector3();
    orientation = Quaternion();
    positionDirty = 1;
    orientationDirty = 1;
    wreckViewActive = false;
}

Quaternion ChaseCamera::WorldOrientation() const { return Conjugate(orientation); }

Quaternion ChaseCamera::LookRotation(const Vector3& f) {
    const Vector3 s = Vector3(f.z, 0.0f, -f.x).Normalized();
    const Vector3 u = Vector3::Cross(f, s);
    Matrix4 m;
    for (int r = 0; r < 3; ++r) {
        m.m[r][0] = s[r];
        m.m[r][1] = u[r];
        m.m[r][2] = f[r];
    }
    return Quaternion(m * Matrix4::RotationY(Pi));
}

void ChaseCamera::Update(float dt) {
    if (RenderFacility* renderer = engine_.renderer) {
        const Rect screen{0, 0, renderer->ViewportWidth(), renderer->ViewportHeight()};
        if (!(screen == viewport)) SetViewport(screen);
    }
    if (underwater) {
        EnableFog(true);
        SetFogRange(-0.75f, 0.5f);
        SetFogColor(UnderwaterFog);
    } else {
        EnableFog(false);
    }

    uint32_t view = cameraIndex;
    if (target) {
        if (target->damage.health == 0.0f && cameraIndex != FreeView) {
            if (!wreckViewActive && cameraIndex != SpectatorView) {
                wreckViewPoint = position;
                wreckViewActive = true;
            }
            view = SpectatorView;
        } else {
            wreckViewActive = false;
        }
    }

    if (target && view != FreeView) {
        if (view == SpectatorView) {
            SpectatorStep();
        } else if (view == LookAtView) {
            LookAtStep(dt);
        } else if (view <= WorldView) {
            RecordStep(view, dt);
        }
        KeepOutOfWalls();
    }

    if (Orthographic()) {
        position = orthographicCentre + Vector3(0.0f, 1000.0f, 0.0f);
        const float down[16] = {0, 1, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0, 1};
        orientation = Quaternion(Matrix4(down));
        positionDirty = 1;
        orientationDirty = 1;
    }

    // The view-volume planes use the projection: a changed one is rebuilt first.
    if (ProjectionDirty()) {
        RebuildProjection();
        positionDirty = 1;
    }
    Apply();

    if (engine_.sound && engine_.sound->Listener()) {
        AudioListener* listener = engine_.sound->Listener();
        listener->SetPosition(position);
        Quaternion turned = orientation;
        turned.RotateY(Pi);
        listener->SetOrientation(turned);
    }
}

void ChaseCamera::SpectatorStep() {
    const Vector3 car = target->GetPosition();
    const Vector3 d = car - position;
    const float distance = d.Length();
    if (distance > 0.0f) {
        Vector3 f = d / distance;
        if (wreckViewActive) {
            f.y += 0.25f;
            f.Normalize();
        }
        // Straight above or below the car there is no side to build the view on.
        if (f.x != 0.0f || f.z != 0.0f) orientation = LookRotation(f);
    }

    if ((collideWithWorld || jumpAhead || jumpAheadWhenFar) && (distance > 1000.0f || jumpAhead)) {
        jumpAhead = false;
        Vector3 v = target->GetLinearVelocity();
        v.y = 0.0f;
        if (v.LengthSquared() > 0.0f) {
            v.Normalize();
            Vector3 side(v.z, 0.0f, -v.x);
            if (plat::EngineRand() % 2 == 0) side.Negate();
            wreckViewPoint = car + v * 500.0f + side * 50.0f + Vector3(0.0f, 30.0f, 0.0f);
        }
    }
    position = wreckViewPoint + Vector3(0.0f, distance * 0.01f, 0.0f);
    positionDirty = 1;
    orientationDirty = 1;
}

void ChaseCamera::LookAtStep(float dt) {
    Vector3 f = lookAtPoint - position;
    if (f.LengthSquared() > 0.0f) {
        f.Normalize();
        if (f.x != 0.0f || f.z != 0.0f) orientation = LookRotation(f);
    }
    position.y += dt * 3.0f;
    positionDirty = 1;
    orientationDirty = 1;
}

void ChaseCamera::RecordStep(uint32_t view, float dt) {
    const CarCamera& record = view >= DefaultView ? DefaultCarCamera() : target->CameraRecord(view);
    Matrix4 frame;
    if (view != WorldView) target->GetOrientation().ToMatrix(frame);
    if (!record.attached) {
        Vector3 h = frame.TransformNormal(Vector3(0.0f, 0.0f, -1.0f));
        h.y = 0.0f;
        // A car pointing straight up has no heading: the last one stands.
        if (h.LengthSquared() > 1e-12f) heading_ = h.Normalized();
        frame.SetIdentity();
        RotationFromDirection(heading_, frame.m);
    }

    Quaternion q = record.rotation;
    if (view == 8) {
        q.RotateY(orbitAngle);
        orbitAngle += dt;
    }
    // The driver's look back turns the view about.
    if (target->controls.lookBack) q.RotateY(Pi);
    const Quaternion aim = q * Quaternion(frame);
    const Quaternion current = Conjugate(orientation);
    const Quaternion now = current.Slerp(aim, Clamp(dt * record.lerp * 4.0f, 0.0f, 1.0f));

    pivot = target->GetPosition() + frame.TransformNormal(record.position);
    position = pivot + now.ToMatrix().TransformNormal(Vector3(0.0f, 0.0f, record.distance));
    orientation = Conjugate(now);
    positionDirty = 1;
    orientationDirty = 1;
}

void ChaseCamera::KeepOutOfWalls() {
    if (!collideWithWorld || !physics_) return;
    const Vector3 car = target->GetPosition();
    const Vector3 toCamera = position - car;
    const float length = toCamera.Length();
    if (length <= 0.0f) return;
    RayHit hit;
    if (!physics_->CastRay(car, toCamera, length, SightRayBits, target->Space(), hit)) return;
    if (toCamera.LengthSquared() > (hit.position - car).LengthSquared()) {
        position = hit.position + hit.normal * 2.5f;
        positionDirty = 1;
    }
}
