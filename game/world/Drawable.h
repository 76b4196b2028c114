#pragma once
class Camera;

// An effect the world draws every frame, after its particles, in the order it was added.
class Drawable {
public:
    virtual ~Drawable() = default;
    virtual void Draw(const Camera& camera) = 0;
};
