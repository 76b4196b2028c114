#pragma once
// The front end: owns every menu page, the settings and the in-game state, and is what the
// start-up and the running game call on (the start-up's services, the game's exits to the
// menus). CreateFrontEnd builds it all once: the game first, then each page and its widgets,
// then it reads the settings, registers the unlock command and starts the intro music.
//
// Screens reach one another and the game through the one FrontEnd (FrontEnd::Get). The front end
// is made with the engine's services and hands them to its pages, its settings and the game.
#include <array>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/EngineServices.h"
#include "engine/core/InputActions.h"
#include "engine/core/MenuOption.h"
#include "engine/core/StartUp.h"
#include "game/frontend/GameSettings.h"
#include "game/play/MenuExits.h"

class AudioPage;
class AudioVoice;
class ConsoleCommand;
class ControlsPage;
class CreditsScreen;
class EndScreen;
class EndingScreen;
class Font;
class FrontEndPage;
class Game;
class MLP;
class MissionLoadingScreen;
class MpScoreScreen;
class MpSelectScreen;
class MpStartScreen;
class ZKClient;
class ZKServer;
class SinglePlayerPage;
class SpScoreScreen;
class VideoPage;
class Widget;

class FrontEnd : public FrontEndServices, public MenuExits {
public:
    // The main page's widgets, in list order.
    enum MainWidget : int32_t {
        kSinglePlayerLink,
        kMultiplayerLink,
        kResumeLink,
        kOptionsLink,
        kCreditsLink,
        kExitButton,
        kMainWidgetCount
    };
    // The multiplayer select screen's widgets: sixteen host rows, then these.
    static constexpr int32_t kHostRows = 16;
    static constexpr int32_t kHostListLabel = kHostRows;
    static constexpr int32_t kHostButton = kHostRows + 1;
    static constexpr int32_t kHostAddressEdit = kHostRows + 2;
    static constexpr int32_t kMpSelectBack = kHostRows + 3;
    // The lobby's player rows.
    static constexpr int32_t kLobbyPlayers = 8;

    // The engine's services outlive the front end.
    explicit FrontEnd(const EngineServices& engine);
    FrontEnd(const EngineServices&& engine) = delete;
    ~FrontEnd() override;
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;

    // The front end once CreateFrontEnd has begun building it, else null.
    static FrontEnd* Get();

    // --- for the start-up ---
    // Builds everything (once) and returns the main page.
    MLP* CreateFrontEnd() override;
    // The menus' sound groups and display mode.
    void ApplyMenuVideoMode() override;
    void WriteSettings(const SharedString& path) override;
    void CloseNetwork() override;
    int32_t CurrentProfileIndex() override;
    SharedString ProfileName(int32_t index) override;
    float& SettingsSaveCountdown() override;

    // True while the main page's resume link is enabled: a game runs and can be resumed.
    bool ResumeEnabled() const;
    void SetResumeEnabled(bool enabled);
    // Creates the loading screen of a mission, keeps it as the current one and pushes it.
    void StartMission(int32_t mission, int32_t episode, int32_t textBase);
    // The lobby's start: the game takes the session's client and server (it closes them), then
    // the mission's loading screen of that game kind is pushed.
    void StartNetworkGame(int32_t mission, int32_t kind, ZKClient* client, ZKServer* server);
    // Entering a game: the settings saved, the game's display mode and sound groups, the detail
    // options and the career handed to the game.
    void ApplyGameVideoMode() override;

    // The running game's ways back to the menus.
    void PauseToMenu() override;
    void OpenAllMissions() override;
    void ReturnToMainPage() override;
    // A won mission: the main page without resume, then the score screen with the mission's
    // money and the player's car over it.
    void ShowSinglePlayerScore(int32_t money, const SharedString& carName) override;
    void ShowMultiplayerScore(const MultiplayerScoreTable& table) override;

    // The screens' ways on. Back to the main page, faded in from black (resume as it is).
    void PopToMainPage();
    // The single-player page over the current screen.
    void ShowSinglePlayerPage();
    // The picture a won mission unlocks, over the current screen.
    void ShowEnding(int32_t mission);
    // The career's end: the credits, then the end screen over them.
    void ShowCreditsAndEnd();
    // The score, ending and end screens the front end made last (null before the first); each
    // is freed when the next of its kind replaces it, or with the front end.
    SpScoreScreen* ScoreScreen() const { return scoreScreen_.get(); }
    EndingScreen* Ending() const { return endingScreen_.get(); }
    EndScreen* End() const { return endScreen_.get(); }
    MpScoreScreen* MultiplayerScore() const { return mpScoreScreen_.get(); }

    // Frees the game, the pages and the intro music while the devices still exist (before the
    // engine shuts down; the program itself ends without it) and takes them off the engine's
    // screens. The settings stay, with the career the game reached.
    void Release();

    // The career is the game's once the settings are read: the settings' copy goes to the game
    // on reading and on the unlock command, and comes back before every write.
    void GiveCareerToGame();
    // The mission the single-player page offers next, in the settings and the game's career.
    void SetLastPlayedMission(int32_t mission);
    void TakeCareerFromGame();

    // The language text of a caption id.
    SharedString Text(int32_t id) const { return engine.Text(id); }

    const EngineServices& engine;
    GameSettings settings;

    FrontEndPage* mainPage = nullptr;
    SinglePlayerPage* singlePlayerPage = nullptr;
    MissionLoadingScreen* missionLoadingScreen = nullptr;
    MpSelectScreen* mpSelectScreen = nullptr;
    MpStartScreen* mpStartScreen = nullptr;
    FrontEndPage* optionsPage = nullptr;
    VideoPage* videoPage = nullptr;
    AudioPage* audioPage = nullptr;
    ControlsPage* controlsPage = nullptr;
    std::unique_ptr<Game> game;
    CreditsScreen* creditsScreen = nullptr;

    // The small font of the multiplayer screens (null without a renderer: the default font).
    std::unique_ptr<Font> smallFont;
    // The credits' headings (null without a renderer: the default font).
    std::unique_ptr<Font> creditsFont;

    // The intro music, looping in the music volume group (null when it could not be made).
    AudioVoice* introVoice = nullptr;

    // The options of the buttons and fields the front end binds (those of the settings are the
    // settings' own).
    MenuOption mainLinkOptions[kMainWidgetCount];
    ActionOption hostRowAction;
    ActionOption hostAction;
    ActionOption hostAddress;
    MenuOption mpSelectBack;
    ActionOption lobbyPlayerOptions[kLobbyPlayers];
    ActionOption lobbySessionName;
    ActionOption lobbyFirstSetting;
    ActionOption lobbySecondSetting;
    ActionOption lobbyTeam;
    ActionOption lobbyGameType;
    ActionOption lobbyStart;
    ActionOption lobbyBack;

private:
    void BuildPages();
    void BuildMainPage();
    void BuildSinglePlayerPage();
    void BuildVideoPage();
    void BuildAudioPage();
    void BuildControlsPage();
    void BuildMpSelectScreen();
    void BuildMpStartScreen();
    void RegisterUnlockCommand();
    void StartIntroMusic();

    void ToMainPage(bool resumable);
    // Puts a newly made screen in its slot; the one it replaces leaves the engine's screens and
    // is freed (it is never the current one: a screen is replaced by what it leads to).
    template <class Screen>
    Screen* Replace(std::unique_ptr<Screen>& slot, std::unique_ptr<Screen> next);

    bool built_ = false;
    // The loading screen of the last mission started (missionLoadingScreen points at it); the next
    // start replaces it, when the menus are current and it is off the stack.
    std::unique_ptr<MissionLoadingScreen> loadingScreen_;
    // Every page, in the order made; deleted with the front end.
    std::vector<std::unique_ptr<MLP>> ownedScreens_;
    std::unique_ptr<SpScoreScreen> scoreScreen_;
    std::unique_ptr<EndingScreen> endingScreen_;
    std::unique_ptr<EndScreen> endScreen_;
    std::unique_ptr<MpScoreScreen> mpScoreScreen_;
    std::unique_ptr<ConsoleCommand> unlockCommand_;
};
