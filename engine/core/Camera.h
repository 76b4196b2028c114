#pragma once
// A viewer: position, orientation, field of view, clip distances, viewport, fog and the
// view/projection matrices with the six view-volume planes derived from them.
#include <cstdint>

#include "engine/core/Geometry.h"
#include "engine/core/Math.h"
#include "engine/core/Renderable.h"

class Camera : public Renderable {
public:
    enum Flags : uint8_t {
        kProjectionDirty = 0x01,
        kFogEnabled = 0x02,
        kOrthographic = 0x04,
    };
    // Indices into planes[]: the four side planes first.
    enum PlaneIndex { kPlaneLeft = 0, kPlaneRight, kPlaneBottom, kPlaneTop, kPlaneNear, kPlaneFar };

    static constexpr float kDefaultFov = 1.3089970f;  // 75 degrees
    static constexpr float kMinFov = 3.1415927f * 0.0055555557f;  // 1 degree
    static constexpr float kMaxFov = 2.6179940f;  // 150 degrees

    // Where Reset takes the default viewport size from. Without a source set, the engine's
    // application window's client area is used when the engine and its window exist; a source
    // that returns false (no window) leaves the viewport as it is.
    using ClientSizeSource = bool (*)(int32_t* width, int32_t* height);
    static void SetClientSizeSource(ClientSizeSource source);

    Camera();
    ~Camera() override;
    Camera(const Camera&) = default;
    Camera& operator=(const Camera&) = default;

    // Renderable: Step applies pending position/orientation changes; Render draws nothing.
    void Step(float) override { Apply(); }
    void Render() override {}

    // Defaults: near 1, far 32768 with its LOD distances, viewport from the window when one
    // exists, 75 degree fov, view rebuilt, fog off and white, perspective, projection dirty.
    void Reset();

    // Clamped to [1 degree, 150 degrees]; marks the projection dirty.
    virtual void SetFov(float radians);
    virtual void AddFov(float delta);
    virtual void SetViewport(const Rect& rect);
    // The ({x, y}, {width, height}) form.
    void SetViewport(const Point2i& origin, const Point2i& size) {
        SetViewport(Rect{origin.x, origin.y, origin.x + size.x, origin.y + size.y});
    }
    virtual void RebuildView();
    virtual void RebuildProjection();

    void SetNearPlane(float distance);
    // Also recomputes the five LOD distances.
    void SetFarPlane(float distance);
    void EnableFog(bool on);
    // Fractions of the near-to-far span.
    void SetFogRange(float start, float end) { fogStart = start; fogEnd = end; }
    void SetFogColor(const Color& color) { fogColor = color; }

    // When the position or orientation changed: rebuild the view and the planes, clear both
    // flags. A pending projection alone does not touch the view or the planes.
    void Apply();
    void UpdateFrustum();
    // False when the box lies wholly outside one of the six planes.
    bool IsBoxVisible(const BoundingBox& box) const;
    // Screen position of a world point in the viewport's pixel space (origin at 0, 0).
    Vector2 Project(const Vector3& world) const;

    bool ProjectionDirty() const { return (flags & kProjectionDirty) != 0; }
    bool FogEnabled() const { return (flags & kFogEnabled) != 0; }
    bool Orthographic() const { return (flags & kOrthographic) != 0; }
    // Far plane, then the five LOD distances: the table that a distance class indexes (0..5).
    float DistanceForClass(int index) const { return index <= 0 ? farPlane : lodDistances[index > 5 ? 4 : index - 1]; }

    Vector3 position;
    int32_t positionDirty = 1;
    Quaternion orientation;
    int32_t orientationDirty = 1;
    Vector3 scale{1.0f, 1.0f, 1.0f};
    float fov = kDefaultFov;
    float nearPlane = 1.0f;
    float farPlane = 32768.0f;
    float lodDistances[5] = {12288.0f, 10922.667f, 8192.0f, 5461.333f, 4096.0f};
    Rect viewport;
    // inside where n . p - d > 0; see PlaneIndex for the order.
    Plane planes[6];
    // Optional user clip planes, null when absent; not owned.
    const Plane* clipPlanes[6] = {};
    Matrix4 projection;
    Matrix4 view;
    uint8_t flags = kProjectionDirty;
    float orthoWidth = 0.0f;
    float orthoHeight = 0.0f;
    float fogStart = 0.0f;
    float fogEnd = 32768.0f;
    Color fogColor;
};
