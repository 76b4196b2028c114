#include "game/play/FareMissionMode.h"

#include <algorithm>

#include "engine/core/Camera.h"
#include "engine/core/EngineServices.h"
#include "engine/render/Font.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "game/play/FormatClock.h"
#include "game/play/Game.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/Fare.h"
#include "game/vehicles/CarItem.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/LevelData.h"

namespace {

enum : int32_t { kTopLeft = 0x09, kTopRight = 0x21 };

Sprite* LoadSprite(const char* name) {
    SharedString n(name);
    return SpriteFactory::Instance().Get(n, true);
}

const DropPoint* FirstDestination(const Fare* fare) {
    return fare && !fare->destinations.empty() ? fare->destinations.front() : nullptr;
}

}  // namespace

FareMissionMode::FareMissionMode(Game& owner) : GameMode(owner) {
    if (owner.engine.renderer) {
        clockIcon_.reset(LoadSprite("Icon_Clock.ZKT"));
        moneyIcon_.reset(LoadSprite("Icon_Dollar.ZKT"));
    }
    showClock = 1;
    secondDisplay = 1;
    dropAllowed = 1;
    resetAllowed = 1;
}

FareMissionMode::~FareMissionMode() = default;

void FareMissionMode::Init() {
    GameMode::Init();
    CreateGame();
    endTimer = 0.0f;
    const int32_t mission = game.session.mission;
    timeLeft = float(game.engine.Text(mission * kMissionStride + kTimeText).ToFloat());
    money = 0.0f;
    moneyTarget = float(game.engine.Text(mission * kMissionStride + kTargetText).ToFloat());
    state = NoFare;
    handedOver = false;
    marker = std::make_unique<DestinationMarker>(game.engine.renderer);
}

Fare* FareMissionMode::PlayerFare() const {
    const Vehicle* car = game.PlayerCar();
    return car ? dynamic_cast<Fare*>(car->cab.passenger) : nullptr;
}

void FareMissionMode::OnFareBoarded(Vehicle* cab, Fare& fare) {
    if (!IsPlayerCar(cab) || state > FareAboard) return;
    fareElapsed = 0.0f;
    state = FareAboard;
    const DropPoint* to = FirstDestination(&fare);
    fareAllowed = to ? 0.01f * (to->position - fare.GetPosition()).Length() : 0.0f;
}

void FareMissionMode::OnFareGotOut(Vehicle* cab, Fare&) {
    if (IsPlayerCar(cab) && state == FareAboard) state = NoFare;
}

void FareMissionMode::OnFareFailed() {
    if (state == FareAboard) state = NoFare;
}

void FareMissionMode::OnFareDelivered(Vehicle* cab, Fare& fare) {
    if (!IsPlayerCar(cab) || state > FareAboard) return;
    const int32_t price = fare.Price();
    money += float(price);
    if (money < moneyTarget)
        PushTickerText(SharedString::Format("You made %d! Only %d to go", price, int32_t(moneyTarget - money)));
    else
        PushTickerText(SharedString("You made it!"));
    state = NoFare;
}

void FareMissionMode::Update(float dt) {
    GameMode::Update(dt);
    if (state == FareAboard) {
        if (const DropPoint* to = FirstDestination(PlayerFare())) marker->SetPosition(to->position);
        marker->Update(dt);
    }
    if (state == NoFare || state == FareAboard) {
        timeLeft -= dt;
        if (state == FareAboard) {
            fareElapsed += dt;
            // Kept past its allowance: the car puts it out, each frame until a hook answers.
            if (fareElapsed > fareAllowed)
                if (Vehicle* car = game.PlayerCar()) car->DropPassenger();
        }
        if (timeLeft < 0.0f) {
            if (money >= moneyTarget) Succeed();
            else Fail();
        }
        return;
    }
    endTimer += dt;
    if (endTimer > kHandOverDelay && !handedOver) {
        handedOver = true;
        HandOver(state == Succeeded, int32_t(money));
    }
}

// Each decides once: a mission lost and then "won" by the console stays lost.
void FareMissionMode::Succeed() {
    if (state > FareAboard) return;
    state = Succeeded;
    finishing = 1;
    GameMode::Succeed();
}

void FareMissionMode::Fail() {
    if (state > FareAboard) return;
    state = Failed;
    finishing = 1;
    GameMode::Fail();
}

void FareMissionMode::Draw3D(const Camera& camera) {
    if (state != FareAboard) return;
    marker->Draw(camera);
    if (const DropPoint* to = FirstDestination(PlayerFare())) DrawGuideArrow(camera, to->position - camera.position);
}

void FareMissionMode::DrawHud() {
    GameMode::DrawHud();
    RenderFacility* renderer = game.engine.renderer;
    SpriteRenderer* sprites = renderer ? renderer->GetSpriteRenderer() : nullptr;
    const float dt = game.engine.FrameTime();
    const Vehicle* car = game.PlayerCar();
    const CarItem* special = car && !car->items.specials.empty() ? car->items.specials.front() : nullptr;
    const bool specialOn = special && special->active;
    specialIconAlpha = std::clamp(specialIconAlpha + (specialOn ? dt : -dt), 0.0f, 1.0f);
    if (!sprites) return;
    const Font* clockFont = game.HudFont(30);
    const Font* moneyFont = game.HudFont(15);
    sprites->DrawText(FormatClock(timeLeft), Vector2{-350.0f, 8.0f}, kTopRight, nullptr, clockFont, false);
    sprites->DrawText(SharedString::Format("\x80 %.0f", double(money)), Vector2{-88.0f, 5.0f}, kTopRight, nullptr, moneyFont,
                      false);
    if (car) sprites->DrawText(car->network.playerName, Vector2{30.0f, 5.0f}, kTopLeft, nullptr, nullptr, false);
    if (state == FareAboard) {
        const Fare* fare = PlayerFare();
        const auto* priced = dynamic_cast<const CurrencyPedestrianBase*>(fare);
        if (fare) {
            sprites->DrawText(SharedString::Format("\x80 %d", fare->Price()), Vector2{-88.0f, 32.0f}, kTopRight, nullptr,
                              moneyFont, false);
            if (const DropPoint* to = FirstDestination(fare))
                sprites->DrawText(SharedString::Format("%s", to->name.c_str()), Vector2{30.0f, 32.0f}, kTopLeft, nullptr,
                                  nullptr, false);
        }
        if (priced)
            sprites->DrawText(FormatClock(priced->timeAllowance), Vector2{-200.0f, 5.0f}, kTopRight, nullptr, clockFont,
                              false);
    }
    if (endTimer > 0.0f) {
        Color black;
        black.Set(0, 0, 0, uint8_t(std::min(endTimer / kHandOverDelay, 1.0f) * 255.0f));
        sprites->FillRect(nullptr, black);
    }
}

void FareMissionMode::DrawOverlay(const Vector3& centre, float scale) {
    GameMode::DrawOverlay(centre, scale);
    if (state != FareAboard) return;
    if (const DropPoint* to = FirstDestination(PlayerFare())) DrawMapCross(to->position, centre, scale);
}
