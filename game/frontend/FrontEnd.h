#pragma once
// The front end as far as the game shell needs it: it holds the settings, the in-game state and
// the mission loading screen, and a plain main page whose resume link goes back to a paused
// game. The pause key on the main page starts a quick free drive.
#include <cstdint>
#include <memory>

#include "engine/core/MenuOption.h"
#include "engine/core/MenuScreen.h"
#include "engine/core/StartUp.h"
#include "game/frontend/GameSettings.h"
#include "game/play/MenuExits.h"

class Game;
class LinkButton;
class MissionLoadingScreen;

class FrontEnd : public FrontEndServices, public MenuExits {
public:
    // The main page's key that starts the quick free drive.
    static constexpr uint32_t kQuickStartKey = 51;
    // The quick start: mission 8 (the free drive), episode 0.
    static constexpr int32_t kQuickMission = 8;

    FrontEnd();
    ~FrontEnd() override;

    // FrontEndServices
    MLP* CreateFrontEnd() override;
    void ApplyMenuVideoMode() override;
    void WriteSettings(const SharedString& path) override;
    void CloseNetwork() override;
    int32_t CurrentProfileIndex() override { return settings.currentProfile; }
    SharedString ProfileName(int32_t index) override { return settings.ProfileFileName(index); }
    float& SettingsSaveCountdown() override;

    // MenuExits
    void PauseToMenu() override;
    void ReturnToMainPage() override;
    void ShowSinglePlayerScore(int32_t money, const SharedString& carName) override;
    void ShowMultiplayerScore() override;
    void ApplyGameVideoMode() override;

    // Frees the game and the screens while the devices still exist (before the engine shuts
    // down; the program itself ends without it).
    void Release();

    // Makes a new loading screen for the mission (the last one goes) and pushes it.
    void StartMission(int32_t mission, int32_t episode, int32_t third);

    class MainPage : public MenuScreen {
    public:
        explicit MainPage(FrontEnd& owner);
        void HandleInput() override;

    private:
        FrontEnd& owner_;
    };

    GameSettings settings;
    std::unique_ptr<Game> game;
    std::unique_ptr<MainPage> mainPage;
    // The resume link of the main page: enabled while a game is paused.
    LinkButton* resume = nullptr;
    MenuOption resumeOption;
    std::unique_ptr<MissionLoadingScreen> loadingScreen;

private:
    void ToMainPage(bool resumable);
};
