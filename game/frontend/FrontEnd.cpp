#include "game/frontend/FrontEnd.h"

#include "engine/core/Engine.h"
#include "engine/core/InputActions.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuWidgets.h"
#include "game/frontend/GameOptions.h"
#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"

FrontEnd::FrontEnd() = default;

FrontEnd::~FrontEnd() = default;

MLP* FrontEnd::CreateFrontEnd() {
    ZKEngine& engine = ZKEngine::Instance();
    game = std::make_unique<Game>(engine.renderer, this, this);
    game->soundGroups[0] = &EffectsVolumeGroup();
    game->soundGroups[1] = &SpeechVolumeGroup();
    game->soundGroups[2] = &AmbientVolumeGroup();
    MusicGroup() = &MusicVolumeGroup();
    settings.Init();
    mainPage = std::make_unique<MainPage>(*this);
    return mainPage.get();
}

FrontEnd::MainPage::MainPage(FrontEnd& owner) : MenuScreen(SharedString("Main"), SharedString("")), owner_(owner) {
    owner.resume = new LinkButton(SharedString("Resume"), owner.game.get(), &owner.resumeOption, nullptr);
    owner.resume->SetPosition(Point2i{400, 300}, true);
    AddWidget(owner.resume);
    // Escape fires the resume link (nothing while it is disabled).
    AddHotKey(kKeyEscape, 0);
    owner.resume->SetEnabled(false);
}

void FrontEnd::MainPage::HandleInput() {
    ZKEngine* engine = ZKEngine::Get();
    // The quick start works only while no game is running.
    const bool gameRunning = owner_.resume && owner_.resume->IsEnabled();
    if (engine && engine->input && engine->input->Pressed(kQuickStartKey) && !gameRunning) {
        owner_.StartMission(kQuickMission, 0, 10020);
        return;
    }
    MenuScreen::HandleInput();
}

void FrontEnd::StartMission(int32_t mission, int32_t episode, int32_t third) {
    if (!game) return;
    // The last game's screen is off the stack by now (the menus are current): it can go.
    loadingScreen = std::make_unique<MissionLoadingScreen>(*game, this, mission, episode, third);
    loadingScreen->needSetup = 1;
    ZKEngine::Instance().PushMLP(loadingScreen.get());
}

void FrontEnd::Release() {
    loadingScreen.reset();
    game.reset();
    resume = nullptr;
    mainPage.reset();
}

void FrontEnd::ApplyMenuVideoMode() { settings.ApplyMenuVideoMode(); }

void FrontEnd::ApplyGameVideoMode() {
    if (game) {
        game->career.currentEpisode = settings.currentEpisode;
        game->career.currentMission = settings.currentMission;
        game->career.furthestEpisode = settings.furthestEpisode;
        game->career.furthestMission = settings.furthestMission;
    }
    settings.ApplyGameVideoMode();
}

void FrontEnd::WriteSettings(const SharedString& path) {
    if (game) {
        settings.currentEpisode = game->career.currentEpisode;
        settings.currentMission = game->career.currentMission;
        settings.furthestEpisode = game->career.furthestEpisode;
        settings.furthestMission = game->career.furthestMission;
    }
    settings.Write(path);
}

void FrontEnd::CloseNetwork() {
    if (game) game->CloseNetwork();
}

float& FrontEnd::SettingsSaveCountdown() { return ::SettingsSaveCountdown; }

void FrontEnd::ToMainPage(bool resumable) {
    if (!mainPage) return;
    if (resume) resume->SetEnabled(resumable);
    mainPage->SetFade(1.0f);
    mainPage->Activate();
    ZKEngine::Instance().PopToMLP(mainPage.get());
}

void FrontEnd::PauseToMenu() { ToMainPage(true); }

void FrontEnd::ReturnToMainPage() { ToMainPage(false); }

// The score screens come with the single-player and network flows; until then a finished game
// returns to the main page.
void FrontEnd::ShowSinglePlayerScore(int32_t, const SharedString&) { ReturnToMainPage(); }

void FrontEnd::ShowMultiplayerScore() { ReturnToMainPage(); }
