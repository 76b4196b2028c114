#include "game/frontend/FrontEnd.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/MLPStack.h"
#include "engine/core/ExitButton.h"
#include "engine/core/KeyBindWidget.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuWidgets.h"
#include "engine/core/SliderWidget.h"
#include "engine/core/TextEditWidget.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/Font.h"
#include "engine/net/ZKClient.h"
#include "engine/net/ZKServer.h"
#include "game/frontend/ChatWidget.h"
#include "game/frontend/CreditsScreen.h"
#include "game/frontend/EndScreen.h"
#include "game/frontend/EndingScreen.h"
#include "game/frontend/FrontEndPage.h"
#include "game/frontend/GameOptions.h"
#include "game/frontend/MpScoreScreen.h"
#include "game/frontend/MpSelectScreen.h"
#include "game/frontend/MpStartScreen.h"
#include "game/frontend/OptionPages.h"
#include "game/frontend/SinglePlayerPage.h"
#include "game/frontend/SpScoreScreen.h"
#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"
#include "game/vehicles/CarCatalogue.h"
#include "game/vehicles/CarDefinition.h"

namespace {

FrontEnd* g_frontEnd = nullptr;

// Language texts the front end reads besides the captions.
constexpr int32_t kTextUnlockCommand = 1014;
constexpr int32_t kTextUnlocked = 1001;
// The episode the unlock command opens.
constexpr int32_t kUnlockedEpisode = 5;

// The main page's slide-ins: its bars and buttons come in from the right, each bar 20 pixels
// left of its button.
constexpr float kMainSlideSpeed = 30.0f;
constexpr Point2i kMainBars[FrontEnd::kMainWidgetCount] = {{440, 215}, {490, 265}, {515, 315},
                                                          {530, 365}, {525, 415}, {500, 465}};
constexpr int32_t kBarToButton = 20;

// The key rows of the controls page: caption and the stored action, in screen order.
struct ControlRow {
    int32_t caption;
    StoredAction action;
};
constexpr ControlRow kControlRows[] = {
    {140, StoredAction::Accelerate}, {141, StoredAction::SteerLeft},   {142, StoredAction::SteerRight},
    {143, StoredAction::Brake},      {144, StoredAction::Handbrake},   {147, StoredAction::UseSpecial},
    {155, StoredAction::FireWeapon}, {150, StoredAction::LookBack},    {156, StoredAction::Confirm},
    {151, StoredAction::Respawn},    {149, StoredAction::ToggleSwitch}, {6012, StoredAction::DropPassenger},
};

std::vector<SharedString> Texts(const EngineServices& engine, std::initializer_list<int32_t> ids) {
    std::vector<SharedString> out;
    for (int32_t id : ids) out.push_back(engine.Text(id));
    return out;
}

// "%d %s" for n = first..last after the named items.
std::vector<SharedString> CountItems(const EngineServices& engine, std::initializer_list<int32_t> named, int32_t first,
                                     int32_t last, int32_t unitText) {
    std::vector<SharedString> out = Texts(engine, named);
    const SharedString unit = engine.Text(unitText);
    for (int32_t n = first; n <= last; ++n) out.push_back(SharedString::Format("%d %s", n, unit.c_str()));
    return out;
}

// A choice over a list that may be empty: with nothing to choose the option chooses none.
ChoiceWidget* Choice(const EngineServices& engine, int32_t caption, const std::vector<SharedString>& items,
                     MenuOption* option, const Font* font = nullptr, bool keepHigherValues = false) {
    if (items.empty()) option->cachedInt = -1;
    return new ChoiceWidget(engine.Text(caption), items, option, font, keepHigherValues);
}

class UnlockCommand : public ConsoleCommand {
public:
    UnlockCommand(const SharedString& commandName, FrontEnd& frontEnd) : ConsoleCommand(commandName), frontEnd_(frontEnd) {}
    void Execute(const SharedString&) override {
        frontEnd_.settings.furthestEpisode = kUnlockedEpisode;
        frontEnd_.GiveCareerToGame();
        frontEnd_.settings.Write(SharedString(kDefaultSettingsPath));
        Debugger::Instance().Print(frontEnd_.Text(kTextUnlocked));
    }

private:
    FrontEnd& frontEnd_;
};

} // namespace

FrontEnd::FrontEnd(const EngineServices& engine_) : engine(engine_), settings(engine_) {}

FrontEnd::~FrontEnd() { Release(); }

void FrontEnd::Release() {
    if (g_frontEnd == this) g_frontEnd = nullptr;
    // The career the game reached is kept for the settings written at shut-down.
    TakeCareerFromGame();
    // The engine no longer shows or returns to any screen about to be deleted.
    if (engine.states && built_) {
        auto owned = [this](const MLP* screen) {
            if (!screen) return false;
            if (screen == game.get() || screen == loadingScreen_.get() || screen == scoreScreen_.get() ||
                screen == endingScreen_.get() || screen == endScreen_.get())
                return true;
            for (const auto& page : ownedScreens_)
                if (page.get() == screen) return true;
            return false;
        };
        engine.states->ForgetMLPs(owned);
    }
    // The one music voice: the intro's, or a game's once a game has begun.
    if (AudioVoice*& music = MusicVoice()) {
        music->Stop();
        if (MusicGroup()) MusicGroup()->RemoveChild(music);
        if (engine.sound) engine.sound->ReleaseVoice(music);
        else delete music;
        music = nullptr;
    }
    introVoice = nullptr;
    settings.viewDistance.camera = nullptr;
    unlockCommand_.reset();
    ReleasePage(scoreScreen_, engine.mainThreadTasks);
    ReleasePage(endingScreen_, engine.mainThreadTasks);
    ReleasePage(endScreen_, engine.mainThreadTasks);
    ReleasePage(mpScoreScreen_, engine.mainThreadTasks);
    // Pages still loading are freed once their init has ended.
    for (std::unique_ptr<MLP>& page : ownedScreens_) ReleasePage(page, engine.mainThreadTasks);
    ownedScreens_.clear();
    mainPage = optionsPage = nullptr;
    mpSelectScreen = nullptr;
    mpStartScreen = nullptr;
    videoPage = nullptr;
    audioPage = nullptr;
    controlsPage = nullptr;
    singlePlayerPage = nullptr;
    creditsScreen = nullptr;
    missionLoadingScreen = nullptr;
    ReleasePage(loadingScreen_, engine.mainThreadTasks);
    ReleasePage(game, engine.mainThreadTasks);
    // After the pages: their widgets draw with it.
    smallFont.reset();
    creditsFont.reset();
    if (built_) {
        FrontEndPage::ReleaseSharedPictures();
        // The menus' shared voices and pictures too: the devices that made them are about to go.
        ReleaseMenuResources();
    }
    built_ = false;
}

FrontEnd* FrontEnd::Get() { return g_frontEnd; }

// ---------------------------------------------------------------------------------------------
// Building

MLP* FrontEnd::CreateFrontEnd() {
    if (built_) return mainPage;
    built_ = true;
    g_frontEnd = this;
    game = std::make_unique<Game>(engine, this, this);
    game->soundGroups[0] = &EffectsVolumeGroup();
    game->soundGroups[1] = &SpeechVolumeGroup();
    game->soundGroups[2] = &AmbientVolumeGroup();
    // The cars' engine, tyre and splash voices are in-game effects.
    game->vehicles.effectsVolume = game->soundGroups[0];
    MusicGroup() = &MusicVolumeGroup();
    settings.viewDistance.camera = &game->camera;
    // The multiplayer screens' small font: Arial 8, every character set.
    if (RenderFacility* renderer = engine.renderer) {
        smallFont.reset(Font::Create(renderer->GetTextureManager(), kFontAll, SharedString("Arial"), 8, false, false));
        creditsFont.reset(Font::Create(renderer->GetTextureManager(), kFontAll, SharedString("Arial"), 20, true, false));
    }
    BuildPages();
    BuildMainPage();
    BuildSinglePlayerPage();
    BuildVideoPage();
    BuildAudioPage();
    BuildControlsPage();
    BuildMpSelectScreen();
    BuildMpStartScreen();

    // -J: no single-player games and no hosting.
    if (FrontEndOptionFlag()) {
        mainPage->widgets[kSinglePlayerLink]->SetEnabled(false);
        mpSelectScreen->widgets[kHostButton]->SetEnabled(false);
    }
    // No game runs yet.
    SetResumeEnabled(false);

    // The stored car choice indexes the car catalogue.
    CarDefinition::LoadAll();
    settings.carCount = CarCatalogue::Instance().Count();
    settings.Init();
    // From here on the game holds the career and every write takes it from there.
    GiveCareerToGame();
    RegisterUnlockCommand();
    StartIntroMusic();
    return mainPage;
}

void FrontEnd::BuildPages() {
    auto page = [this](const char* screenName, const char* background) {
        auto* made = new FrontEndPage(engine, SharedString(screenName), SharedString(background));
        ownedScreens_.emplace_back(made);
        return made;
    };
    mainPage = page("Main", "");
    singlePlayerPage = new SinglePlayerPage(*this);
    ownedScreens_.emplace_back(singlePlayerPage);
    mpSelectScreen = new MpSelectScreen(*this);
    ownedScreens_.emplace_back(mpSelectScreen);
    mpStartScreen = new MpStartScreen(*this);
    ownedScreens_.emplace_back(mpStartScreen);
    optionsPage = page("Options", "");
    videoPage = new VideoPage(engine);
    ownedScreens_.emplace_back(videoPage);
    audioPage = new AudioPage(engine);
    ownedScreens_.emplace_back(audioPage);
    controlsPage = new ControlsPage(engine, smallFont.get());
    ownedScreens_.emplace_back(controlsPage);
    for (OptionPage* option : {static_cast<OptionPage*>(videoPage), static_cast<OptionPage*>(audioPage),
                               static_cast<OptionPage*>(controlsPage)})
        option->SetTabTargets(videoPage, audioPage, controlsPage, mainPage);
    creditsScreen = new CreditsScreen(*this, creditsFont.get(), nullptr);
    ownedScreens_.emplace_back(creditsScreen);
}

void FrontEnd::BuildMainPage() {
    FrontEndPage& page = *mainPage;
    const struct {
        int32_t caption;
        MLP* target;
    } links[] = {{66200, singlePlayerPage},
                 {66201, mpSelectScreen},
                 {66203, game.get()},
                 {66204, videoPage},
                 {66205, creditsScreen}};
    for (int32_t i = 0; i < kExitButton; ++i)
        page.AddWidget(new LinkButton(Text(links[i].caption), links[i].target, &mainLinkOptions[i], nullptr));
    page.AddWidget(new ExitButton(Text(66206), &mainLinkOptions[kExitButton]));
    page.widgets[kCreditsLink]->SetEnabled(true);
    page.AddHotKey(FrontEndPage::kEscapeKey, kResumeLink);

    const SharedString edges[4] = {SharedString("HorizontalBar.zkt"), SharedString("HorizontalBar.zkt"),
                                   SharedString("VerticalBar.zkt"), SharedString("VerticalBar.zkt")};
    page.boxFrame.SetPictures(SharedString("Corner.zkt"), edges, Color::FromBytes(0, 0, 0, 127));

    for (const Point2i& bar : kMainBars)
        page.pictureSlides.AddPicture(SharedString("balk.zkt"), float(bar.x), float(bar.y), SlideFrom::Right,
                                      kMainSlideSpeed, 0.0f);
    for (int32_t i = 0; i < kMainWidgetCount; ++i)
        page.widgetSlides.AddWidget(page.widgets[size_t(i)], kMainBars[i].x + kBarToButton, kMainBars[i].y,
                                    SlideFrom::Right, kMainSlideSpeed, 0.0f);
}

void FrontEnd::BuildSinglePlayerPage() { singlePlayerPage->Fill(); }

void FrontEnd::BuildVideoPage() {
    FrontEndPage& page = *videoPage;
    RenderFacility* renderer = engine.renderer;

    std::vector<SharedString> devices;
    if (auto* facility = dynamic_cast<D3D8RenderFacility*>(renderer))
        for (const AdapterRecord& adapter : facility->Adapters()) devices.push_back(adapter.description);
    if (renderer) settings.displayMode.SetModes(renderer->Modes());

    page.AddWidget(Choice(engine, 66405, devices, &settings.displayDevice));
    page.AddWidget(Choice(engine, 66406, settings.displayMode.modes, &settings.displayMode));
    page.AddWidget(Choice(engine, 66407, Texts(engine, {66400, 66401, 66402}), &settings.textureLevel));
    page.AddWidget(Choice(engine, 66408, Texts(engine, {520, 521}), &settings.carEffect));
    // Off and on; the settings file may hold 2 and 3 as well (more of the city in the
    // reflection), which show as on and are kept.
    page.AddWidget(Choice(engine, 66409, Texts(engine, {640, 641}), &settings.environmentMap, nullptr, true));
    page.AddWidget(new SliderWidget(Text(66410), &settings.viewDistance));
    page.AddWidget(Choice(engine, 66411, Texts(engine, {530, 531, 532, 533}), &settings.detailLevel));
    auto* back = new BackButton(SharedString(""), &settings.videoBack);
    page.AddWidget(back);

    back->flags &= ~Widget::kFocusable;
    page.backPictureShown = true;
    page.widgets[0]->SetEnabled(false);
    page.LayOutOptionRows();
}

void FrontEnd::BuildAudioPage() {
    FrontEndPage& page = *audioPage;
    ChoiceWidget* rate = Choice(engine, 66500, settings.sampleRate.items, &settings.sampleRate);
    ChoiceWidget* voices = Choice(engine, 66501, settings.voiceCount.items, &settings.voiceCount);
    SliderWidget* sliders[4] = {new SliderWidget(Text(100), &settings.effectsVolume),
                                new SliderWidget(Text(101), &settings.speechVolume),
                                new SliderWidget(Text(102), &settings.ambientVolume),
                                new SliderWidget(Text(103), &settings.musicVolume)};
    for (ChoiceWidget* choice : {rate, voices}) {
        choice->valueX = 150;
        choice->valueY = 0;
        page.AddWidget(choice);
    }
    for (SliderWidget* slider : sliders) {
        slider->barX = 150;
        slider->barY = 0;
        page.AddWidget(slider);
    }
    page.AddWidget(new BackButton(SharedString(""), &settings.audioBack));
    page.LayOutOptionRows();
}

void FrontEnd::BuildControlsPage() {
    ControlsPage& page = *controlsPage;
    for (const ControlRow& control : kControlRows) {
        ActionBinding* binding = &GameSettings::Binding(0, control.action);
        page.AddRow(new KeyBindWidget(Text(control.caption), binding), binding);
    }
    // The keyboard scheme is the one in use. The page's default keys go in first; the settings,
    // read or set to their defaults next, replace them.
    page.SelectScheme(0);
    for (int32_t scheme = 0; scheme < kControlSchemeCount; ++scheme) page.ResetBindings(scheme);
}

void FrontEnd::BuildMpSelectScreen() {
    MpSelectScreen& page = *mpSelectScreen;
    const Font* small = smallFont.get();
    hostRowAction.execute = [&page] { page.JoinSelected(); };
    hostAction.execute = [&page] { page.Host(); };
    hostAddress.setValue = [&page](const void* value) { page.Enumerate(*static_cast<const SharedString*>(value)); };
    const int32_t columns[4] = {145, 225, 345, 395};
    for (int32_t k = 0; k < kHostRows; ++k) {
        auto* row = new Button(SharedString(""), &hostRowAction, small);
        row->SetPosition({190, 180 + 16 * k}, false);
        row->SetEnabled(false);
        for (int32_t x : columns) row->texts.push_back({SharedString(""), x, 0, small});
        page.AddWidget(row);
    }
    auto* heading = new LabelWidget(Text(200), false, small);
    heading->SetPosition({190, 155}, false);
    for (int32_t i = 0; i < 4; ++i) heading->texts.push_back({Text(201 + i), columns[i], 0, small});
    page.AddWidget(heading);
    auto* host = new Button(Text(205), &hostAction, small);
    host->SetPosition({185, 475}, false);
    page.AddWidget(host);
    auto* address = new TextEditWidget(Text(206), &hostAddress, small, small);
    address->SetPosition({340, 475}, false);
    address->valueX = int32_t(menu_detail::TextWidth(nullptr, address->caption) + 5.0);
    address->maxWidth = 185;
    page.AddWidget(address);
    auto* back = new BackButton(SharedString("<<"), &mpSelectBack);
    back->SetPosition({650, 475}, false);
    page.AddWidget(back);
    page.AddHotKey(FrontEndPage::kEscapeKey, kMpSelectBack);
    page.AddHotKey(FrontEndPage::kBackspaceKey, kMpSelectBack);
}

void FrontEnd::BuildMpStartScreen() {
    MpStartScreen& page = *mpStartScreen;
    const Font* small = smallFont.get();
    auto text = [](const void* value) { return *static_cast<const SharedString*>(value); };
    auto number = [](const void* value) { return *static_cast<const int32_t*>(value); };
    for (ActionOption& row : lobbyPlayerOptions)
        row.setValue = [&page, text](const void* value) { page.SetPlayerName(text(value)); };
    lobbySessionName.setValue = [&page, text](const void* value) { page.SetSessionName(text(value)); };
    lobbyFirstSetting.setValue = [&page, number](const void* value) { page.SetFirstSetting(number(value)); };
    lobbySecondSetting.setValue = [&page, number](const void* value) { page.SetSecondSetting(number(value)); };
    lobbyTeam.setValue = [&page, number](const void* value) { page.SetTeam(number(value)); };
    lobbyGameType.setValue = [&page, number](const void* value) { page.SetGameType(number(value)); };
    lobbyStart.execute = [&page] { page.StartGame(); };
    // The back button hands its option 0 before it pops the lobby.
    lobbyBack.setValue = [&page](const void* value) {
        if (*static_cast<const uint8_t*>(value) == 0) page.Leave();
    };
    for (int32_t k = 0; k < kLobbyPlayers; ++k) {
        auto* row = new TextEditWidget(SharedString(""), &lobbyPlayerOptions[k], small, small);
        row->SetPosition({215, 180 + 16 * k}, false);
        row->flags |= Widget::kBright;
        row->maxWidth = 140;
        row->maxCaptionFontWidth = 140;
        row->SetEnabled(false);
        page.AddWidget(row);
    }
    auto* chat = new ChatWidget(SharedString(""), small, engine);
    chat->SetPosition({130, 365}, false);
    page.AddWidget(chat);
    auto* session = new TextEditWidget(SharedString(""), &lobbySessionName, small, small);
    session->SetPosition({458, 170}, false);
    session->maxWidth = 135;
    page.AddWidget(session);

    std::vector<SharedString> teams;
    const SharedString team = Text(609);
    for (int32_t n = 1; n <= 8; ++n) teams.push_back(SharedString::Format("%s : %d", team.c_str(), n));
    const struct {
        std::vector<SharedString> items;
        MenuOption* option;
        Point2i at;
    } choices[] = {{CountItems(engine, {603, 604}, 2, 50, 605), &lobbyFirstSetting, {458, 230}},
                   {CountItems(engine, {606, 607}, 2, 30, 608), &lobbySecondSetting, {458, 250}},
                   {teams, &lobbyTeam, {458, 210}},
                   {Texts(engine, {3000, 3001, 3002, 3003}), &lobbyGameType, {458, 190}}};
    for (const auto& c : choices) {
        auto* choice = new ChoiceWidget(SharedString(""), c.items, c.option, small);
        choice->SetPosition(c.at, false);
        choice->valueX = 0;
        choice->valueY = 0;
        page.AddWidget(choice);
    }
    lobbyTeam.widget->SetEnabled(false);

    auto* start = new Button(SharedString(">>"), &lobbyStart, nullptr);
    start->SetPosition({655, 485}, false);
    page.AddWidget(start);
    auto* back = new BackButton(SharedString("<<"), &lobbyBack);
    back->SetPosition({555, 485}, false);
    page.AddWidget(back);
    const int32_t last = int32_t(page.widgets.size()) - 1;
    page.AddHotKey(FrontEndPage::kEscapeKey, last);
    page.AddHotKey(FrontEndPage::kBackspaceKey, last);
}

void FrontEnd::RegisterUnlockCommand() {
    unlockCommand_ = std::make_unique<UnlockCommand>(Text(kTextUnlockCommand), *this);
    singlePlayerPage->AddCommand(unlockCommand_.get());
}

void FrontEnd::StartIntroMusic() {
    if (!engine.sound) return;
    introVoice = engine.sound->CreateSound(SharedString("Intro.OGG"), false, true, false);
    if (!introVoice) return;
    MusicVolumeGroup().AttachChild(introVoice);
    introVoice->Play(true);
    // A game's loading screen stops it when the game's own music starts.
    MusicVoice() = introVoice;
}

// ---------------------------------------------------------------------------------------------
// Services

void FrontEnd::ApplyMenuVideoMode() { settings.ApplyMenuVideoMode(); }

void FrontEnd::TakeCareerFromGame() {
    if (!game) return;
    settings.currentEpisode = game->career.currentEpisode;
    settings.currentMission = game->career.currentMission;
    settings.furthestEpisode = game->career.furthestEpisode;
    settings.furthestMission = game->career.furthestMission;
    settings.lastPlayedMission = game->career.lastPlayedMission;
}

void FrontEnd::OpenAllMissions() { settings.highestUnlockedMission = std::max(settings.missionCount - 1, 0); }

void FrontEnd::GiveCareerToGame() {
    if (!game) return;
    game->career.currentEpisode = settings.currentEpisode;
    game->career.currentMission = settings.currentMission;
    game->career.furthestEpisode = settings.furthestEpisode;
    game->career.furthestMission = settings.furthestMission;
    game->career.lastPlayedMission = settings.lastPlayedMission;
}

void FrontEnd::SetLastPlayedMission(int32_t mission) {
    settings.lastPlayedMission = mission;
    if (game) game->career.lastPlayedMission = mission;
}

void FrontEnd::WriteSettings(const SharedString& path) {
    TakeCareerFromGame();
    settings.Write(path);
}

void FrontEnd::CloseNetwork() {
    if (game) game->CloseNetwork();
}

int32_t FrontEnd::CurrentProfileIndex() { return settings.currentProfile; }

SharedString FrontEnd::ProfileName(int32_t index) { return settings.ProfileFileName(index); }

float& FrontEnd::SettingsSaveCountdown() { return ::SettingsSaveCountdown; }

bool FrontEnd::ResumeEnabled() const {
    return mainPage && mainPage->widgets.size() > size_t(kResumeLink) && mainPage->widgets[kResumeLink]->IsEnabled();
}

void FrontEnd::SetResumeEnabled(bool enabled) {
    if (mainPage && mainPage->widgets.size() > size_t(kResumeLink)) mainPage->widgets[kResumeLink]->SetEnabled(enabled);
}

void FrontEnd::StartMission(int32_t mission, int32_t episode, int32_t textBase) {
    if (!engine.states || !game) return;
    SetResumeEnabled(true);
    // The screen of an earlier start may still be loading its own resources.
    ReleasePage(loadingScreen_, engine.mainThreadTasks);
    loadingScreen_ = std::make_unique<MissionLoadingScreen>(*game, this, mission, episode, textBase);
    missionLoadingScreen = loadingScreen_.get();
    missionLoadingScreen->needSetup = 1;
    engine.states->PushMLP(missionLoadingScreen);
}

void FrontEnd::StartNetworkGame(int32_t mission, int32_t kind, ZKClient* client, ZKServer* server) {
    if (!engine.states || !game) {
        // Nobody to hand the session to: it ends here.
        if (client) client->Disconnect();
        delete client;
        delete server;
        return;
    }
    game->CloseNetwork();
    // Before the loading screen is made: its start barrier takes them when built.
    game->client = client;
    game->server = server;
    game->session.zone = -1;
    StartMission(mission, 0, 10020 + 400 * mission);
    missionLoadingScreen->kind = kind;
}

void FrontEnd::ToMainPage(bool resumable) {
    if (!engine.states || !mainPage) return;
    SetResumeEnabled(resumable);
    PopToMainPage();
}

void FrontEnd::PopToMainPage() {
    if (!engine.states || !mainPage) return;
    mainPage->SetFade(1.0f);
    mainPage->Activate();
    engine.states->PopToMLP(mainPage);
}

void FrontEnd::PauseToMenu() { ToMainPage(true); }

void FrontEnd::ReturnToMainPage() { ToMainPage(false); }

template <class Screen>
Screen* FrontEnd::Replace(std::unique_ptr<Screen>& slot, std::unique_ptr<Screen> next) {
    if (slot && engine.states) {
        const MLP* old = slot.get();
        engine.states->ForgetMLPs([old](const MLP* screen) { return screen == old; });
    }
    ReleasePage(slot, engine.mainThreadTasks);
    slot = std::move(next);
    return slot.get();
}

void FrontEnd::ShowSinglePlayerScore(int32_t money, const SharedString& carName) {
    if (!engine.states) return;
    ReturnToMainPage();
    engine.states->PushMLP(Replace(scoreScreen_, std::make_unique<SpScoreScreen>(*this, float(money), carName)));
}

void FrontEnd::ShowSinglePlayerPage() {
    if (engine.states && singlePlayerPage) engine.states->PushMLP(singlePlayerPage);
}

void FrontEnd::ShowEnding(int32_t mission) {
    if (engine.states) engine.states->PushMLP(Replace(endingScreen_, std::make_unique<EndingScreen>(*this, mission)));
}

void FrontEnd::ShowCreditsAndEnd() {
    if (!engine.states || !creditsScreen) return;
    engine.states->PushMLP(creditsScreen);
    engine.states->PushMLP(Replace(endScreen_, std::make_unique<EndScreen>(*this)));
}

void FrontEnd::ShowMultiplayerScore(const MultiplayerScoreTable& table) {
    if (!engine.states) return;
    ReturnToMainPage();
    auto screen = std::make_unique<MpScoreScreen>(*this, creditsFont.get());
    for (int32_t i = 0; i < 4; ++i) screen->titles[i] = table.titles[i];
    screen->rows = table.rows;
    screen->kind = table.kind;
    engine.states->PushMLP(Replace(mpScoreScreen_, std::move(screen)));
}

void FrontEnd::ApplyGameVideoMode() {
    GiveCareerToGame();
    if (game) {
        game->playerName = settings.playerName;
        game->session.lightDetail = settings.detailLevel.cachedInt;
        game->session.renderOption = settings.staticGeometryMode.cachedInt;
        game->session.shadowDetail = settings.carEffect.ShadowVolume() ? 1 : 0;
        game->session.skidMarks = settings.carEffect.SkidMarks() ? 1 : 0;
        game->session.environmentOption = settings.environmentMap.cachedInt;
        ViewDistanceOption::ApplyTo(game->camera, settings.viewDistance.cachedFloat);
        // The game raises its three sound groups to these (times its fade) while it runs.
        game->soundLevels[0] = settings.effectsVolume.cachedFloat;
        game->soundLevels[1] = settings.speechVolume.cachedFloat;
        game->soundLevels[2] = settings.ambientVolume.cachedFloat;
    }
    // The static city's render states are made again for the new mode.
    settings.ApplyGameVideoMode([this] {
        if (game && game->world.staticGeometry) game->world.staticGeometry->RecreateShaders();
    });
}
