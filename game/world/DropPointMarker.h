#pragma once
// The spinning marker that shows the player where to go (a fare's drop-off, a checkpoint). The
// game logic makes one, places, sizes and shows it and keeps it in the world's drawable list.
#include "engine/core/Math.h"
#include "game/world/Drawable.h"

class D3D8Mesh;
struct EngineServices;

class DropPointMarker : public Drawable {
public:
    static constexpr const char* Model = "Models\\Droppoint.ZKM";

    // Hidden, angle 0, at the origin, size 100; spun by the engine's frame clock and drawn with its
    // renderer (the services outlive the marker).
    explicit DropPointMarker(const EngineServices& engine);
    ~DropPointMarker() override;
    DropPointMarker(const DropPointMarker&) = delete;
    DropPointMarker& operator=(const DropPointMarker&) = delete;

    // Nothing while hidden (the angle stays). Else the angle advances by the frame time x the
    // spin rate and the model is drawn at scale size / 10, turned about y, at the position.
    void Draw(const Camera& camera) override;
    // The world matrix the next draw uses (scale, rotation about y, translation).
    Matrix4 WorldMatrix() const;

    float spinRate = 0.0f; // radians per second
    bool visible = false;
    float angle = 0.0f;
    Vector3 position;
    float size = 100.0f;

private:
    const EngineServices& engine_;
    D3D8Mesh* model_ = nullptr;
};
