#include "game/frontend/SinglePlayerPage.h"

#include <algorithm>

#include "engine/core/Debugger.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuWidgets.h"
#include "engine/render/EnvironmentCube.h"
#include "game/frontend/FrontEnd.h"
#include "game/play/Game.h"
#include "game/vehicles/CarDefinition.h"

namespace {

constexpr uint32_t kFlipRows = 1;
constexpr int32_t kInfoCaption = 60;
constexpr int32_t kCarChoiceCaption = 61;
constexpr int32_t kMissionChoiceCaption = 62;
constexpr int32_t kCarNames = 7770000;
constexpr int32_t kMissionNameText = 20;
constexpr int32_t kRespawnZoneText = 30;
// The mission-start option's third argument: 10020 + 400 x mission.
constexpr int32_t kStartTextBase = 10020;
constexpr int32_t kStartTextStride = 400;

// The choices stand below the info line, a line of the menu font (Arial 15, 20 pixels, and the
// focused row's 2-pixel shift) apart, so no caption covers another.
constexpr Point2i kCarChoiceAt{370, 375};
constexpr Point2i kMissionChoiceAt{370, 400};
constexpr int32_t kValueOffset = 100;
constexpr Vector2 kInfoCaptionAt{370.0f, 350.0f};
constexpr Vector2 kInfoNameAt{470.0f, 350.0f};
constexpr Vector2 kPortraitAt{225.0f, 300.0f};
constexpr Point2i kArrowsAt[4] = {{190, 450}, {260, 450}, {590, 490}, {660, 490}};

} // namespace

SinglePlayerPage::SinglePlayerPage(FrontEnd& frontEnd)
    : MenuScreen(SharedString("Single player"), SharedString("SP.ZKT")), view(frontEnd.engine, kViewRect),
      frontEnd_(frontEnd), engine_(frontEnd.engine) {
    GameSettings& settings = frontEnd.settings;
    settings.missionChoice.action = [this](int32_t mission) { OnMissionChosen(mission); };
    settings.carChoice.action = [this](int32_t car) { OnCarChosen(car); };
    previousCar.run = [this] {
        view.SelectPrevious();
        frontEnd_.settings.carChoice.Set(view.current);
    };
    nextCar.run = [this] {
        view.SelectNext();
        frontEnd_.settings.carChoice.Set(view.current);
    };
    back.run = [this] { frontEnd_.PopToMainPage(); };
    start.run = [this] { StartGame(); };
}

SinglePlayerPage::~SinglePlayerPage() {
    GameSettings& settings = frontEnd_.settings;
    settings.missionChoice.action = nullptr;
    settings.carChoice.action = nullptr;
}

void SinglePlayerPage::Fill() {
    GameSettings& settings = frontEnd_.settings;
    carCaption_ = engine_.Text(kInfoCaption);
    std::vector<SharedString> cars;
    carNames_.clear();
    for (int32_t i = 0; i < view.ModelCount(); ++i) {
        cars.push_back(engine_.Text(kCarNames + i));
        SharedString lower = cars.back().Clone();
        lower.ToLower();
        carNames_.push_back(lower);
    }
    if (cars.empty()) settings.carChoice.cachedInt = -1;
    carChoice = new ChoiceWidget(engine_.Text(kCarChoiceCaption), cars, &settings.carChoice, nullptr);
    carChoice->SetPosition(kCarChoiceAt, true);
    carChoice->valueX = kValueOffset;
    carChoice->valueY = 0;
    AddWidget(carChoice);

    std::vector<SharedString> missions;
    const int32_t count = settings.LanguageMissionCount();
    for (int32_t k = 0; k < count; ++k) missions.push_back(engine_.Text(kMissionBlock + kMissionStride * k + kMissionNameText));
    if (missions.empty()) settings.missionChoice.cachedInt = -1;
    missionChoice = new ChoiceWidget(engine_.Text(kMissionChoiceCaption), missions, &settings.missionChoice, nullptr);
    missionChoice->SetPosition(kMissionChoiceAt, true);
    missionChoice->valueX = kValueOffset;
    missionChoice->valueY = 0;
    AddWidget(missionChoice);

    view.SetMission(settings.missionChoice.cachedInt);
    view.SelectFirstUnlocked();
    RefreshCarItems();
    carChoice->SelectEnabledEntry();
}

void SinglePlayerPage::OnMissionChosen(int32_t mission) {
    view.SetMission(mission);
    view.SelectFirstUnlocked();
    if (!carChoice) return;
    RefreshCarItems();
    // The choice shows the carousel's car, whichever of the offered cars it had before.
    if (view.Current()) frontEnd_.settings.carChoice.Set(view.current);
    carChoice->SelectEnabledEntry();
}

void SinglePlayerPage::OnCarChosen(int32_t car) { view.SetCurrent(car); }

void SinglePlayerPage::RefreshCarItems() {
    if (!carChoice) return;
    for (size_t i = 0; i < carChoice->itemEnabled.size(); ++i) carChoice->itemEnabled[i] = view.IsUnlocked(int32_t(i)) ? 1 : 0;
}

void SinglePlayerPage::StartGame() {
    FrontEnd& fe = frontEnd_;
    GameSettings& settings = fe.settings;
    const int32_t m = settings.missionChoice.cachedInt;
    if (m < 0) {
        Debugger::Instance().Message("SINGLEPLAYER: there is no mission to start");
        return;
    }
    fe.TakeCareerFromGame();
    settings.currentEpisode = m;
    settings.currentMission = m;
    fe.GiveCareerToGame();
    fe.SetLastPlayedMission(m);
    if (fe.game) {
        fe.game->chosenCar = view.current;
        fe.game->session.zone = engine_.Text(kMissionBlock + kMissionStride * m + kRespawnZoneText).ToInt() - 1;
    }
    fe.StartMission(m, 0, kStartTextBase + kStartTextStride * m);
}

// ---------------------------------------------------------------------------------------------
// The frame

void SinglePlayerPage::HandleInput() {
    view.HandleInput(*this);
    InputDevice* input = engine_.input;
    if (!input) return;
    if (selected == kCarChoice) {
        view.SetAutoTurn(false);
        if (input->Held(kKeyLeft)) view.TurnLeft();
        else if (input->Held(kKeyRight)) view.TurnRight();
    } else {
        view.SetAutoTurn(true);
    }
    if (input->Pressed(kKeyPadEnter) || input->Pressed(kKeyReturn)) {
        StartGame();
        return;
    }
    if (input->Held(kKeyEscape)) {
        frontEnd_.PopToMainPage();
        return;
    }
    MenuScreen::HandleInput();
}

void SinglePlayerPage::Update() {
    RefreshCarItems();
    if (previewPending) {
        previewPending = 0;
        if (frontEnd_.game && !view.models.empty())
            EnvironmentCube::RenderPreview(frontEnd_.game->world, view.models.front().position, view.camera,
                                           frontEnd_.game->session.environmentOption);
    }
    MenuScreen::Update();
    view.Update();
    const float dt = engine_.FrameTime();
    for (size_t i = 0; i < portraits.size(); ++i) {
        float& alpha = portraits[i].alpha;
        alpha = int32_t(i) == view.current ? std::min(alpha + dt, 1.0f) : std::max(alpha - dt, 0.0f);
    }
}

void SinglePlayerPage::Activate() {
    MenuScreen::Activate();
    FrontEnd& fe = frontEnd_;
    GameSettings& settings = fe.settings;
    fe.SetResumeEnabled(false);
    const bool missions = missionChoice && !missionChoice->items.empty();
    if (missions) settings.missionChoice.Set(settings.lastPlayedMission);
    if (firstActivation) {
        firstActivation = 0;
        Action* actions[4] = {&previousCar, &nextCar, &back, &start};
        const char* captions[4] = {"<<", ">>", "<<", ">>"};
        for (int32_t k = 0; k < 4; ++k) {
            auto* button = new Button(SharedString(captions[k]), actions[k], nullptr);
            button->SetPosition(kArrowsAt[k], true);
            AddWidget(button);
        }
    }
    if (!widgets.empty()) SetSelected(kCarChoice);
    if (missionChoice)
        for (size_t k = 0; k < missionChoice->itemEnabled.size(); ++k)
            missionChoice->itemEnabled[k] = int32_t(k) <= settings.highestUnlockedMission ? 1 : 0;
    view.SetMission(settings.missionChoice.cachedInt);
    view.SelectFirstUnlocked();
    if (portraits.empty() && !view.models.empty()) {
        portraits.resize(view.models.size());
        MenuCanvas* canvas = GetMenuCanvas();
        for (size_t i = 0; i < portraits.size() && canvas; ++i) {
            const CarDefinition* car = view.models[i].definition;
            const SharedString name = SharedString::Format("Vehicles\\%s\\Driver.zkt", car ? car->name.c_str() : "");
            portraits[i].picture.reset(canvas->LoadPicture(name, kFlipRows));
        }
    }
    for (Portrait& portrait : portraits) portrait.alpha = 0.0f;
    if (missions) settings.missionChoice.Set(settings.lastPlayedMission);
    if (view.Current()) settings.carChoice.Set(view.current);
}

void SinglePlayerPage::DrawWidgets() {
    MenuScreen::DrawWidgets();
    view.Render();
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    Color white;
    white.a = menu_detail::AlphaByte(1.0f - fade);
    canvas->DrawText(carCaption_, kInfoCaptionAt, kMenuAnchorTopLeft, &white, nullptr, true);
    if (view.Current() && size_t(view.current) < carNames_.size())
        canvas->DrawText(carNames_[size_t(view.current)], kInfoNameAt, kMenuAnchorTopLeft, &white, nullptr, true);
    for (const Portrait& portrait : portraits) {
        if (portrait.alpha == 0.0f || !portrait.picture) continue;
        Color tint;
        tint.a = menu_detail::AlphaByte((1.0f - fade) * portrait.alpha);
        canvas->DrawSprite(portrait.picture.get(), nullptr, kPortraitAt, &tint, kMenuDrawAlpha);
    }
}
