#include "game/world/LensFlare.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Camera.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "game/world/PhysicsWorld.h"

LensFlare::LensFlare(RenderFacility* facility) : facility_(facility) {
    sunDirection = Vector3(0.75f, 0.25f, 1.0f).Normalized();
    for (int k = 0; k < kSprites; ++k) {
        TextureHandle* t = TextureFactory::Instance().GetByName(SharedString::Format("vlare%d.ZKT", k), true);
        sprites_[k] = SpriteOverTexture(t);
    }
}

LensFlare::~LensFlare() {
    for (Sprite*& s : sprites_) {
        delete s;
        s = nullptr;
    }
}

void LensFlare::Update(const Camera& camera, PhysicsWorld& physics, float dt) {
    flareFade += sunBlocked ? -5.0f * dt : 10.0f * dt;
    flareFade = Clamp(flareFade, 0.0f, 1.0f);
    RayHit hit;
    sunBlocked = physics.CastRay(camera.position, sunDirection, kRayLength, kSunRayCollideBits, nullptr, hit);
}

void LensFlare::Draw(const Camera& camera) {
    lastDrawn = 0;
    if (!(flareFade > 0.0f)) return;
    // The view's third column is the viewing direction.
    const Vector3 forward(camera.view.m[0][2], camera.view.m[1][2], camera.view.m[2][2]);
    if (!(Vector3::Dot(sunDirection, forward) > 0.0f)) return;

    const int32_t width = camera.viewport.right - camera.viewport.left;
    const int32_t height = camera.viewport.bottom - camera.viewport.top;
    const Vector2 s = camera.Project(camera.position + sunDirection);
    if (!std::isfinite(s.x) || !std::isfinite(s.y)) return;
    const float cx = float(width / 2), cy = float(height / 2);
    const float dx = std::trunc((cx - s.x) * 0.5f), dy = std::trunc((cy - s.y) * 0.5f);
    anchors[0] = s;
    anchors[1] = {s.x + dx, s.y + dy};
    anchors[2] = {cx, cy};
    anchors[3] = {cx + dx, cy + dy};
    anchors[4] = {float(width) - s.x, float(height) - s.y};
    const bool onScreen = s.x >= 0.0f && s.x < float(width) && s.y >= 0.0f && s.y < float(height);

    SpriteRenderer* sprites = facility_ ? facility_->GetSpriteRenderer() : nullptr;
    const Color first(255, 255, 255, std::sqrt(0.2f * flareFade));
    const Color rest(255, 255, 255, 0.2f * flareFade);
    const int count = onScreen ? kSprites : 1;
    const float ox = float(camera.viewport.left), oy = float(camera.viewport.top);
    for (int k = 0; k < count; ++k) {
        if (sprites)
            sprites->DrawSpriteAnchored(sprites_[k], nullptr, kAnchorHalfWidth | kAnchorHalfHeight,
                                        {anchors[k].x + ox, anchors[k].y + oy}, 0, k == 0 ? &first : &rest,
                                        kSpriteAdditive);
        ++lastDrawn;
    }
}
