#include "engine/core/Camera.h"

#include <atomic>
#include <cmath>

#include "engine/core/Engine.h"

namespace {

std::atomic<Camera::ClientSizeSource> g_clientSizeSource{nullptr};

constexpr float kLodFactors[5] = {0.375f, 0.33333334f, 0.25f, 0.16666667f, 0.125f};

}  // namespace

void Camera::SetClientSizeSource(ClientSizeSource source) { g_clientSizeSource.store(source); }

Camera::Camera() { Reset(); }

Camera::~Camera() = default;

void Camera::Reset() {
    flags |= kProjectionDirty;
    nearPlane = 1.0f;
    farPlane = 32768.0f;
    for (int i = 0; i < 5; ++i) lodDistances[i] = farPlane * kLodFactors[i];
    int32_t width = 0, height = 0;
    if (ClientSizeSource source = g_clientSizeSource.load()) {
        if (source(&width, &height)) SetViewport(Rect{0, 0, width, height});
    } else if (ZKEngine* engine = ZKEngine::Get(); engine && engine->window) {
        SetViewport(Rect{0, 0, engine->window->clientWidth, engine->window->clientHeight});
    }
    SetFov(kDefaultFov);
    RebuildView();
    flags &= uint8_t(~(kFogEnabled | kOrthographic));
    fogColor = Color();
    fogStart = 0.0f;
    fogEnd = farPlane;
}

void Camera::SetFov(float radians) {
    fov = Clamp(radians, kMinFov, kMaxFov);
    flags |= kProjectionDirty;
}

void Camera::AddFov(float delta) { SetFov(fov + delta); }

void Camera::SetViewport(const Rect& rect) {
    viewport = rect;
    flags |= kProjectionDirty;
}

void Camera::SetNearPlane(float distance) {
    nearPlane = distance;
    flags |= kProjectionDirty;
}

void Camera::SetFarPlane(float distance) {
    farPlane = distance;
    for (int i = 0; i < 5; ++i) lodDistances[i] = farPlane * kLodFactors[i];
    flags |= kProjectionDirty;
}

void Camera::EnableFog(bool on) {
    if (on)
        flags |= kFogEnabled;
    else
        flags &= uint8_t(~kFogEnabled);
}

void Camera::RebuildView() {
    // Scale first, then move the viewer to the origin, turn by the orientation and finally a
    // half turn about the vertical axis.
    Matrix4 m = Matrix4::Scaling(scale.x, scale.y, scale.z);
    m.Translate(-position.x, -position.y, -position.z);
    m.Multiply(m, orientation.ToMatrix());
    m.Multiply(view, Matrix4::RotationY(Pi));
}

void Camera::RebuildProjection() {
    if (flags & kOrthographic) {
        // The near distance of the orthographic projection is 0, not nearPlane.
        projection = Matrix4::OrthoLH(orthoWidth, orthoHeight, 0.0f, farPlane);
    } else {
        const int32_t width = viewport.right - viewport.left;
        const int32_t height = viewport.bottom - viewport.top;
        // An empty viewport (a minimised window) would give an infinite or undefined aspect;
        // a square one keeps the projection finite until a real size arrives.
        double aspect = 1.0;
        if (width != 0 && height != 0) aspect = double(width) / double(height);
        projection = Matrix4::PerspectiveFovLH(fov, float(aspect), nearPlane, farPlane);
    }
    flags &= uint8_t(~kProjectionDirty);
}

void Camera::Apply() {
    if (!positionDirty && !orientationDirty) return;
    RebuildView();
    UpdateFrustum();
    positionDirty = 0;
    orientationDirty = 0;
}

void Camera::UpdateFrustum() {
    const Matrix4 m = view * projection;
    auto column = [&m](int k) { return Vector4{m.m[0][k], m.m[1][k], m.m[2][k], m.m[3][k]}; };
    const Vector4 c0 = column(0), c1 = column(1), c2 = column(2), c3 = column(3);
    auto set = [this](int index, float a, float b, float c, float e) {
        Plane& p = planes[index];
        p.n = Vector3(a, b, c);
        p.d = -e;
        const float len = p.n.Length();
        if (len > 0.0f) {
            const float k = 1.0f / len;
            p.n.Scale(k);
            p.d *= k;
        }
    };
    set(kPlaneLeft, c3.x + c0.x, c3.y + c0.y, c3.z + c0.z, c3.w + c0.w);
    set(kPlaneRight, c3.x - c0.x, c3.y - c0.y, c3.z - c0.z, c3.w - c0.w);
    set(kPlaneBottom, c3.x + c1.x, c3.y + c1.y, c3.z + c1.z, c3.w + c1.w);
    set(kPlaneTop, c3.x - c1.x, c3.y - c1.y, c3.z - c1.z, c3.w - c1.w);
    set(kPlaneNear, c2.x, c2.y, c2.z, c2.w);
    set(kPlaneFar, c3.x - c2.x, c3.y - c2.y, c3.z - c2.z, c3.w - c2.w);
}

bool Camera::IsBoxVisible(const BoundingBox& box) const {
    const Vector3& c = box.centre;
    const Vector3& h = box.halfExtents;
    for (const Plane& p : planes) {
        const float r = std::fabs(h.x * p.n.x) + std::fabs(h.y * p.n.y) + std::fabs(h.z * p.n.z);
        const float s = Vector3::Dot(p.n, c) - p.d;
        if (s <= -r) return false;
    }
    return true;
}

Vector2 Camera::Project(const Vector3& world) const {
    const Vector3 clip = (view * projection).TransformCoord(world);
    const float width = float(viewport.right - viewport.left);
    const float height = float(viewport.bottom - viewport.top);
    return {(1.0f + clip.x) * width * 0.5f, (1.0f - clip.y) * height * 0.5f};
}
