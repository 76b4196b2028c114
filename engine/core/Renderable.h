#pragma once

// The two-operation interface shared by the meshes and the camera: advance by a time step,
// then draw.
class Renderable {
public:
    virtual ~Renderable() = default;
    virtual void Step(float dt) = 0;
    virtual void Render() = 0;
};
