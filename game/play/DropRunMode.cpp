#include "game/play/DropRunMode.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Camera.h"
#include "engine/core/Debugger.h"
#include "engine/core/EngineServices.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/FormatClock.h"
#include "game/play/Game.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/LevelData.h"
#include "platform/sys/Random.h"

namespace {

enum : int32_t { kTopLeft = 0x09, kBottomCentre = 0x14 };

Sprite* LoadSprite(const char* name) {
    SharedString n(name);
    return SpriteFactory::Instance().Get(n, true);
}

}  // namespace

DropRunMode::DropRunMode(Game& owner) : GameMode(owner) {}

DropRunMode::~DropRunMode() = default;

float DropRunMode::LegTime(float distance) { return 70.0f * std::sqrt(distance * 0.000066666667f); }

DropPoint* DropRunMode::Target() const {
    std::vector<DropPoint>& points = game.world.dropPoints;
    return dropIndex >= 0 && size_t(dropIndex) < points.size() ? &points[size_t(dropIndex)] : nullptr;
}

void DropRunMode::PickTarget() {
    const size_t count = game.world.dropPoints.size();
    dropIndex = count ? int32_t(size_t(plat::EngineRand()) % count) : 0;
    if (DropPoint* target = Target()) target->Activate();
}

void DropRunMode::Init() {
    GameMode::Init();
    CreateGame();
    if (game.engine.renderer) {
        clockIcon_.reset(LoadSprite("Icon_Clock.ZKT"));
        moneyIcon_.reset(LoadSprite("Icon_Dollar.ZKT"));
    }
    showClock = 1;
    secondDisplay = 1;
    anySpeed = 0;
    dropsDone = 0;
    endTimer = 0.0f;
    handedOver = false;
    waitingForPassenger = 1;
    PickTarget();
}

void DropRunMode::Start() {
    GameMode::Start();
    // Decided once the game is on: the start clears an earlier verdict.
    if (!game.world.dropPoints.empty()) return;
    Debugger::Instance().Message("Drop run: the level has no drop points to run to; the mission fails");
    Fail();
}

void DropRunMode::Succeed() {
    if (won || lost) return;
    finishing = 1;
    score = int32_t(std::max(timeLeft, 0.0f));
    GameMode::Succeed();
}

void DropRunMode::Fail() {
    if (won || lost) return;
    finishing = 1;
    score = 0;
    GameMode::Fail();
}

void DropRunMode::Update(float dt) {
    GameMode::Update(dt);
    if (won || lost) {
        endTimer += dt;
        if (endTimer > kHandOverDelay && !handedOver) {
            handedOver = true;
            HandOver(won != 0, score);
        }
        return;
    }
    DropPoint* target = Target();
    if (!target) return;
    Vehicle* car = game.PlayerCar();
    if (waitingForPassenger && car && car->cab.passenger) {
        waitingForPassenger = 0;
        timeLeft = LegTime((target->position - car->GetPosition()).Length());
    }
    timeLeft -= dt;
    target->Update(dt);
    if (car && target->IsActive() && target->Contains(car->GetPosition()) &&
        (anySpeed || car->GetLinearVelocity().Length() < kDropSpeed)) {
        target->Deactivate();
        PickTarget();
        target = Target();
        timeLeft = LegTime((target->position - car->GetPosition()).Length());
        ++dropsDone;
    }
    if (dropsDone >= dropsRequired) Succeed();
    if (timeLeft < 0.0f) {
        if (dropsDone < dropsRequired) Fail();
        else Succeed();
    }
}

void DropRunMode::Draw3D(const Camera& camera) {
    const DropPoint* target = Target();
    if (!target || !target->IsActive()) return;
    Vector3 to = target->position - camera.position;
    if (to.LengthSquared() > 0.0f) to.Normalize();
    DrawGuideArrow(camera, to);
}

void DropRunMode::DrawHud() {
    GameMode::DrawHud();
    RenderFacility* renderer = game.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    if (!sprites) return;
    const DropPoint* target = Target();
    if (ticker.empty() && target) {
        const Vector2 origin = sprites->AnchorOffset(kBottomCentre);
        Rect line{int32_t(origin.x) - 250, int32_t(origin.y), int32_t(origin.x) + 250, int32_t(origin.y) + 32};
        renderer->SetViewport(&line);
        const SharedString text =
            SharedString::Format("%s: %s", game.engine.Text(kTargetCaption).c_str(), target->name.c_str());
        sprites->DrawText(text, Vector2{0.0f, 4.0f}, kTopLeft, nullptr, nullptr, false);
        renderer->SetViewport(nullptr);
    }
    const SharedString clock = FormatClock(timeLeft);
    const Font* font = game.engine.defaultFont;
    const float width = font ? float(font->GetTextWidth(clock)) : 0.0f;
    sprites->DrawText(clock, Vector2{150.0f - width, 8.0f}, kTopLeft, nullptr, nullptr, false);
}

void DropRunMode::DrawOverlay(const Vector3& centre, float scale) {
    GameMode::DrawOverlay(centre, scale);
    if (const DropPoint* target = Target()) DrawMapCross(target->position, centre, scale);
}
