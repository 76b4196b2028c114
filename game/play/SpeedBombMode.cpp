#include "game/play/SpeedBombMode.h"

#include <algorithm>
#include <cmath>

#include "engine/audio/AudioDevice.h"
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

namespace {

constexpr int32_t kTopLeft = 0x09;

}  // namespace

SpeedBombMode::SpeedBombMode(Game& owner) : GameMode(owner) {
    showClock = 1;
    if (owner.engine.renderer) {
        SharedString clock("Icon_Clock.ZKT");
        clockIcon_.reset(SpriteFactory::Instance().Get(clock, true));
    }
    if (AudioDevice* sound = owner.engine.sound) {
        panic = sound->CreateSound(SharedString("Panic.WAV"), false, false, false);
        if (panic && owner.soundGroups[0]) owner.soundGroups[0]->AddChild(panic);
    }
}

SpeedBombMode::~SpeedBombMode() {
    if (!panic) return;
    panic->Stop();
    if (VolumeGroup* group = panic->Parent()) group->RemoveChild(panic);
    if (AudioDevice* sound = game.engine.sound) sound->ReleaseVoice(panic);
    panic = nullptr;
}

DropPoint* SpeedBombMode::Target() const {
    std::vector<DropPoint>& points = game.world.dropPoints;
    return targetIndex >= 0 && size_t(targetIndex) < points.size() ? &points[size_t(targetIndex)] : nullptr;
}

void SpeedBombMode::Init() {
    GameMode::Init();
    CreateGame();
    const std::vector<DropPoint>& points = game.world.dropPoints;
    const auto named = std::find_if(points.begin(), points.end(), [&](const DropPoint& d) { return d.name == targetName; });
    if (named != points.end()) targetIndex = int32_t(named - points.begin());
    else Debugger::Instance().Log(0, "Not Found DropPoint %s", targetName.c_str());
    state = Running;
    armed = 0;
    countdown = kFuse;
    endTimer = 0.0f;
    handedOver = false;
}

void SpeedBombMode::Start() {
    GameMode::Start();
    if (!Target()) {
        Debugger::Instance().Message("Speed bomb: the level has no drop point to stop at; the mission fails");
        Fail();
        return;
    }
    PushTickerLanguageText(game.session.mission * kMissionStride + kStartText);
}

void SpeedBombMode::OnCarSelected() {
    const Vehicle* car = game.PlayerCar();
    const DropPoint* target = Target();
    if (car && target) timeLeft = 100.0f * std::sqrt((target->position - car->GetPosition()).Length());
}

void SpeedBombMode::StopPanic() {
    if (panic) panic->Stop();
}

void SpeedBombMode::Succeed() {
    if (state != Running) return;
    state = Succeeded;
    finishing = 1;
    score = int32_t(std::max(timeLeft, 0.0f));
    GameMode::Succeed();
}

void SpeedBombMode::Fail() {
    if (state != Running) return;
    state = Failed;
    finishing = 1;
    score = 0;
    GameMode::Fail();
}

void SpeedBombMode::Update(float dt) {
    GameMode::Update(dt);
    if (state != Running) {
        endTimer += dt;
        if (endTimer > kHandOverDelay && !handedOver) {
            handedOver = true;
            HandOver(state == Succeeded, score);
        }
        return;
    }
    Vehicle* car = game.PlayerCar();
    if (!car) return;
    timeLeft -= dt;
    const float v = car->GetLinearVelocity().Length();
    const int32_t block = game.session.mission * kMissionStride;
    if (!armed) {
        if (v > kArmSpeed) {
            armed = 1;
            countdown = kFuse;
            if (panic) {
                panic->SetVolume(0.0f);
                panic->Play(true);
            }
            PushTickerLanguageText(block + kArmedText);
        }
    } else if (v < kSafeSpeed) {
        if (ticker.empty()) PushTickerLanguageText(block + kSlowText);
        if (panic) panic->SetVolume(1.0f);
        countdown -= dt;
    } else {
        countdown = kFuse;
        if (panic) panic->SetVolume(0.5f * (1.0f - std::clamp((v - kSafeSpeed) * 0.02f, 0.0f, 1.0f)));
    }
    if (armed && countdown < 0.0f) car->damage.TakeDamage(1.0e9f, 0, nullptr);
    if (car->damage.GetHealth() == 0.0f) {
        StopPanic();
        Fail();
        return;
    }
    if (timeLeft < 0.0f) {
        StopPanic();
        Fail();
        return;
    }
    const DropPoint* target = Target();
    if (target && target->Contains(car->GetPosition()) && v < kStopSpeed) {
        StopPanic();
        Succeed();
    }
}

void SpeedBombMode::DrawHud() {
    GameMode::DrawHud();
    RenderFacility* renderer = game.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    if (!sprites) return;
    const SharedString clock = FormatClock(timeLeft);
    const Font* font = game.engine.defaultFont;
    const float width = font ? float(font->GetTextWidth(clock)) : 0.0f;
    sprites->DrawText(clock, Vector2{150.0f - width, 8.0f}, kTopLeft, nullptr, nullptr, false);
}
