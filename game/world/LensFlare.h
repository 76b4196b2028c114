#pragma once
// The sun's lens flare: five screen-space sprites ("vlare0.ZKT" .. "vlare4.ZKT") along the line
// from the sun's screen point through the screen centre. It fades in (to full in 0.1 s) while
// nothing of the static world lies between the camera and the sun, and out (in 0.2 s) while
// something does; the sight test of one frame decides the next frame's fade. The game makes one
// and calls Update and Draw once a frame, setting sunDirection from the current sky first.
#include <cstdint>

#include "engine/core/Math.h"

class Camera;
class PhysicsWorld;
class RenderFacility;
class Sprite;

class LensFlare {
public:
    static constexpr int kSprites = 5;
    static constexpr float kRayLength = 10000000.0f;
    static constexpr uint32_t kSunRayCollideBits = 1;  // the static world

    // Loads the five textures (null facility: draws nothing).
    explicit LensFlare(RenderFacility* facility);
    ~LensFlare();
    LensFlare(const LensFlare&) = delete;
    LensFlare& operator=(const LensFlare&) = delete;

    // Fades by the last sight test, then tests the sun ray from the camera against the static
    // world for the next frame.
    void Update(const Camera& camera, PhysicsWorld& physics, float dt);
    // Draws the sprites over the picture (nothing when faded out or with the sun behind).
    void Draw(const Camera& camera);

    bool sunBlocked = false;
    float flareFade = 0.0f;
    Vector3 sunDirection;  // unit vector towards the sun

    // Where the last Draw put the sprites and how many it drew (tests).
    Vector2 anchors[kSprites];
    int32_t lastDrawn = 0;

private:
    RenderFacility* facility_;
    Sprite* sprites_[kSprites] = {};
};
