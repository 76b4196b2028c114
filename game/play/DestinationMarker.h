#pragma once
// The spinning 3-D marker a mode sets at the destination of the fare aboard (or the next
// checkpoint). A plain object the mode owns and draws in its 3-D pass.
#include <memory>

#include "engine/core/Math.h"

class Camera;
class D3D8Mesh;
class RenderFacility;

class DestinationMarker {
public:
    static constexpr const char* kModel = "Models\\Droppoint.ZKM";

    // Drawn with the renderer (none: nothing is drawn).
    explicit DestinationMarker(RenderFacility* renderer);
    ~DestinationMarker();
    DestinationMarker(const DestinationMarker&) = delete;
    DestinationMarker& operator=(const DestinationMarker&) = delete;

    void Update(float dt) { angle += dt * spinSpeed; }
    void SetPosition(const Vector3& p) { position = p; }
    // Turned about the vertical axis by the angle, then moved to the position.
    Matrix4 WorldMatrix() const;
    void Draw(const Camera& camera);

    float spinSpeed = 3.0f; // radians a second
    float angle = 0.0f;
    Vector3 position;

private:
    RenderFacility* renderer_;
    std::unique_ptr<D3D8Mesh> mesh_;
    bool meshLooked_ = false;
};
