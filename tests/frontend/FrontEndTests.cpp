// The front end built on a headless engine: its pages, their widgets and what they are bound
// to, the -J restriction, the unlock command and the intro music.
#include <array>
#include <filesystem>

#include "engine/core/ExitButton.h"
#include "engine/core/KeyBindWidget.h"
#include "engine/core/MenuWidgets.h"
#include "engine/core/SliderWidget.h"
#include "engine/core/TextEditWidget.h"
#include "engine/render/Font.h"
#include "game/frontend/ChatWidget.h"
#include "game/frontend/CreditsScreen.h"
#include "game/frontend/MpSelectScreen.h"
#include "game/frontend/MpStartScreen.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/OptionPages.h"
#include "game/frontend/SinglePlayerPage.h"
#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"
#include "tests/frontend/PageFixture.h"
#include "tests/frontend/SettingsFixture.h"
#include "tools/writers/SettingsWriter.h"

using namespace page_test;

namespace {

// Remembers how each sound was asked for.
class RequestSound : public testing_support::FakeAudioDevice {
public:
    AudioVoice* CreateSound(const SharedString& name, bool positional, bool streaming, bool effects) override {
        flags.push_back({positional, streaming, effects});
        return FakeAudioDevice::CreateSound(name, positional, streaming, effects);
    }
    struct Flags {
        bool positional, streaming, effects;
    };
    std::vector<Flags> flags;
};

class FrontEndTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        engine->sound = &requestSound;
        engine->renderer = &renderer;
        renderer.modes = {{640, 480, 32, 60}, {512, 384, 32, 60}, {800, 600, 32, 60}, {800, 600, 32, 75}};
        settings_test::FillTexts(engine->languageKeys.entries, 4);
        auto& t = engine->languageKeys.entries;
        for (int32_t id : {603, 604, 605, 606, 607, 608, 609, 3000, 3001, 3002, 3003, 200, 201, 202, 203, 204, 205, 206})
            t[id] = SharedString::Format("T%d", id);
        t[1014] = "UNLOCK";
        t[1001] = "Everything is open";
        dir.WriteBytes("Misc/readme.txt", "");
        FrontEndOptionFlag() = false;
    }
    void TearDown() override {
        frontEnd.reset();
        FrontEndOptionFlag() = false;
        engine->renderer = nullptr;
        engine->sound = &sound;
        PageTest::TearDown();
    }
    FrontEnd& Build() {
        frontEnd = std::make_unique<FrontEnd>(engine->Services());
        frontEnd->CreateFrontEnd();
        return *frontEnd;
    }

    RequestSound requestSound;
    settings_test::RecordingRenderer renderer;
    std::unique_ptr<FrontEnd> frontEnd;
};

std::vector<std::string> Strings(const std::vector<SharedString>& items) {
    std::vector<std::string> out;
    for (const SharedString& s : items) out.emplace_back(s.c_str());
    return out;
}

} // namespace

// Six widgets that slide in from the right beside their bars; resume starts disabled and takes
// Escape; the frame has its pictures.
TEST_F(FrontEndTest, TheMainPageHasItsLinksBarsAndFrame) {
    FrontEnd& fe = Build();
    FrontEndPage& main = *fe.mainPage;
    EXPECT_EQ(FrontEnd::Get(), &fe);
    EXPECT_STREQ(main.name.c_str(), "Main");
    ASSERT_EQ(main.widgets.size(), 6u);
    const MLP* targets[] = {fe.singlePlayerPage, fe.mpSelectScreen, fe.game.get(), fe.videoPage, fe.creditsScreen};
    for (int i = 0; i < 5; ++i) {
        auto* link = dynamic_cast<LinkButton*>(main.widgets[size_t(i)]);
        ASSERT_NE(link, nullptr);
        EXPECT_EQ(link->target, targets[i]);
        EXPECT_EQ(link->option, &fe.mainLinkOptions[i]);
        EXPECT_EQ(link->IsEnabled(), i != FrontEnd::kResumeLink);
    }
    EXPECT_NE(dynamic_cast<ExitButton*>(main.widgets[5]), nullptr);
    EXPECT_FALSE(fe.ResumeEnabled());
    ASSERT_EQ(main.hotKeys.size(), 1u);
    EXPECT_EQ(main.hotKeys[0].key, 48);
    EXPECT_EQ(main.hotKeys[0].widget, main.widgets[FrontEnd::kResumeLink]);

    const Point2i bars[] = {{440, 215}, {490, 265}, {515, 315}, {530, 365}, {525, 415}, {500, 465}};
    ASSERT_EQ(main.pictureSlides.Entries().size(), 6u);
    ASSERT_EQ(main.widgetSlides.Entries().size(), 6u);
    for (size_t i = 0; i < 6; ++i) {
        const DecorationList::Entry& bar = main.pictureSlides.Entries()[i];
        const DecorationList::Entry& button = main.widgetSlides.Entries()[i];
        EXPECT_STREQ(bar.name.c_str(), "balk.zkt");
        EXPECT_EQ((Point2i{int32_t(bar.targetX), int32_t(bar.targetY)}), bars[i]);
        EXPECT_EQ(button.widget, main.widgets[i]);
        EXPECT_EQ((Point2i{int32_t(button.targetX), int32_t(button.targetY)}), (Point2i{bars[i].x + 20, bars[i].y}));
        for (const DecorationList::Entry* e : {&bar, &button}) {
            EXPECT_EQ(e->direction, SlideFrom::Right);
            EXPECT_EQ(e->speed, 30.0f);
            EXPECT_EQ(e->delay, 0.0f);
        }
    }
    EXPECT_EQ(main.boxFrame.fill, Color::FromBytes(0, 0, 0, 127));
    EXPECT_TRUE(main.boxFrame.boxes.empty());
    for (const char* picture : {"Menu\\Corner.zkt", "Menu\\HorizontalBar.zkt", "Menu\\VerticalBar.zkt"})
        EXPECT_NE(std::find(canvas.loads.begin(), canvas.loads.end(), picture), canvas.loads.end()) << picture;
}

TEST_F(FrontEndTest, EveryPageHasItsNameAndPicture) {
    FrontEnd& fe = Build();
    const struct {
        MLP* page;
        const char* name;
        const char* background;
    } pages[] = {{fe.singlePlayerPage, "Single player", "SP.ZKT"}, {fe.mpSelectScreen, "MP Select", "MPSelect.ZKT"},
                 {fe.mpStartScreen, "MPStart", "MPStart.ZKT"},     {fe.optionsPage, "Options", nullptr},
                 {fe.videoPage, "Video", "Video.zkt"},             {fe.audioPage, "Audio", "Audio.zkt"},
                 {fe.controlsPage, "Controls", "Controls.zkt"},    {fe.creditsScreen, "Main menu", "Credits.ZKT"}};
    for (const auto& p : pages) {
        ASSERT_NE(p.page, nullptr) << p.name;
        EXPECT_STREQ(p.page->name.c_str(), p.name);
        if (p.background) {
            EXPECT_NE(std::find(canvas.loads.begin(), canvas.loads.end(), p.background), canvas.loads.end());
        }
    }
    EXPECT_TRUE(fe.optionsPage->widgets.empty());
}

// The video page's rows are the settings' options; the device choice is shown disabled, the back
// button takes no focus and the Back corner pops the page. The audio page's values sit 150
// pixels right of their captions.
TEST_F(FrontEndTest, TheOptionPagesAreBoundToTheSettings) {
    FrontEnd& fe = Build();
    GameSettings& s = fe.settings;
    FrontEndPage& video = *fe.videoPage;
    const MenuOption* videoOptions[] = {&s.displayDevice, &s.displayMode, &s.textureLevel, &s.carEffect,
                                        &s.environmentMap, &s.viewDistance, &s.detailLevel, &s.videoBack};
    ASSERT_EQ(video.widgets.size(), 8u);
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(videoOptions[i]->widget, video.widgets[i]) << i;
        EXPECT_EQ(video.widgets[i]->GetPosition(), i < 7 ? (Point2i{270, int32_t(180 + 27 * i)}) : (Point2i{650, 485}));
    }
    EXPECT_FALSE(video.widgets[0]->IsEnabled());
    EXPECT_EQ(video.widgets[7]->flags & Widget::kFocusable, 0u);
    EXPECT_TRUE(video.backPictureShown);
    EXPECT_EQ(video.hotKeys.size(), 2u);
    // The renderer's modes, each once, 512 x 384 left out.
    EXPECT_EQ(Strings(static_cast<ChoiceWidget*>(video.widgets[1])->items),
              (std::vector<std::string>{"640*480@32", "800*600@32"}));
    EXPECT_EQ(static_cast<ChoiceWidget*>(video.widgets[6])->items.size(), 4u);

    FrontEndPage& audio = *fe.audioPage;
    const MenuOption* audioOptions[] = {&s.sampleRate,   &s.voiceCount,  &s.effectsVolume, &s.speechVolume,
                                        &s.ambientVolume, &s.musicVolume, &s.audioBack};
    ASSERT_EQ(audio.widgets.size(), 7u);
    for (size_t i = 0; i < 7; ++i) EXPECT_EQ(audioOptions[i]->widget, audio.widgets[i]) << i;
    for (int i = 0; i < 2; ++i) EXPECT_EQ(static_cast<ChoiceWidget*>(audio.widgets[size_t(i)])->valueX, 150);
    for (int i = 2; i < 6; ++i) EXPECT_EQ(static_cast<SliderWidget*>(audio.widgets[size_t(i)])->barX, 150);
    EXPECT_NE(audio.widgets[6]->flags & Widget::kFocusable, 0u);
    EXPECT_FALSE(audio.backPictureShown);

    // Twelve key rows bound to the keyboard scheme's records, in screen order.
    const StoredAction rows[] = {StoredAction::Accelerate, StoredAction::SteerLeft, StoredAction::SteerRight,
                                 StoredAction::Brake,      StoredAction::Handbrake, StoredAction::UseSpecial,
                                 StoredAction::FireWeapon, StoredAction::LookBack,  StoredAction::Confirm,
                                 StoredAction::Respawn,    StoredAction::ToggleSwitch, StoredAction::DropPassenger};
    FrontEndPage& controls = *fe.controlsPage;
    ASSERT_EQ(controls.widgets.size(), 12u);
    for (size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(static_cast<KeyBindWidget*>(controls.widgets[i])->binding, &GameSettings::Binding(0, rows[i]));
        EXPECT_EQ(controls.widgets[i]->GetPosition(), (Point2i{270, int32_t(180 + 20 * i)}));
    }
}

// The environment option's stored 0 to 3 survive the video page (which offers 0 and 1 and shows
// the second for 2 and 3) and reach the game; the page still moves between its two items.
TEST_F(FrontEndTest, TheStoredEnvironmentOptionReachesTheGameWholeThroughTheVideoPage) {
    for (int32_t stored = 0; stored <= 3; ++stored) {
        SettingsRecord record = tools::ExampleSettingsRecord(4);
        record.environmentMap = stored;
        ASSERT_TRUE(tools::WriteSettingsFile(SharedString("Misc\\Default.VQS"), record));
        FrontEnd& fe = Build();
        auto* choice = static_cast<ChoiceWidget*>(fe.videoPage->widgets[4]);
        ASSERT_EQ(choice->option, &fe.settings.environmentMap);
        EXPECT_EQ(choice->items.size(), 2u);
        EXPECT_EQ(choice->Current(), std::min(stored, 1)) << stored;
        fe.videoPage->widgets[4]->Draw(1.0f);
        fe.ApplyGameVideoMode();
        EXPECT_EQ(fe.game->session.environmentOption, stored);
        GameSettings written(engine->Services());
        ASSERT_EQ(written.Read(SharedString("Misc\\Default.VQS")), SettingsReadResult::Loaded);
        EXPECT_EQ(written.environmentMap.cachedInt, stored) << "entering the game wrote it back";
        choice->Next();
        EXPECT_EQ(fe.settings.environmentMap.cachedInt, stored == 0 ? 1 : 0) << stored;
        frontEnd.reset();
    }
}

// Lobby: player rows, session name, the four choices (51, 31 and 8 items, then the game types),
// start and back; select screen: sixteen host rows, heading, host, address and back.
TEST_F(FrontEndTest, TheMultiplayerScreensHaveTheirRowsAndChoices) {
    FrontEnd& fe = Build();
    FrontEndPage& lobby = *fe.mpStartScreen;
    ASSERT_EQ(lobby.widgets.size(), 16u);
    for (int i = 0; i < 8; ++i) {
        const Widget* row = lobby.widgets[size_t(i)];
        EXPECT_FALSE(row->IsEnabled());
        EXPECT_TRUE(row->IsBright());
        EXPECT_EQ(row->GetPosition(), (Point2i{215, 180 + 16 * i}));
    }
    // The chat box sits between the rows and the host's settings.
    ASSERT_NE(dynamic_cast<ChatWidget*>(lobby.widgets[8]), nullptr);
    EXPECT_EQ(lobby.widgets[8]->GetPosition(), (Point2i{130, 365}));
    auto choice = [&](size_t i) { return static_cast<ChoiceWidget*>(lobby.widgets[i]); };
    EXPECT_EQ(choice(10)->items.size(), 51u);
    EXPECT_EQ(choice(11)->items.size(), 31u);
    EXPECT_EQ(choice(12)->items.size(), 8u);
    EXPECT_EQ(choice(13)->items.size(), 4u) << "the four game types";
    EXPECT_STREQ(choice(10)->items[2].c_str(), "2 T605");
    EXPECT_STREQ(choice(11)->items[30].c_str(), "30 T608");
    EXPECT_STREQ(choice(12)->items[7].c_str(), "T609 : 8");
    EXPECT_STREQ(choice(13)->items[3].c_str(), "T3003");
    EXPECT_FALSE(choice(12)->IsEnabled());
    EXPECT_EQ(choice(13)->GetPosition(), (Point2i{458, 190}));
    ASSERT_EQ(lobby.hotKeys.size(), 2u);
    EXPECT_EQ(lobby.hotKeys[0].widget, lobby.widgets.back());
    EXPECT_EQ(lobby.hotKeys[1].widget, lobby.widgets.back());

    FrontEndPage& select = *fe.mpSelectScreen;
    ASSERT_EQ(select.widgets.size(), 20u);
    for (int k = 0; k < 16; ++k) {
        auto* row = static_cast<Button*>(select.widgets[size_t(k)]);
        EXPECT_FALSE(row->IsEnabled());
        EXPECT_EQ(row->option, &fe.hostRowAction);
        EXPECT_EQ(row->texts.size(), 4u);
    }
    EXPECT_TRUE(select.widgets[FrontEnd::kHostButton]->IsEnabled());
    auto* address = static_cast<TextEditWidget*>(select.widgets[FrontEnd::kHostAddressEdit]);
    EXPECT_EQ(address->valueX, 4 * testing_support::RecordingCanvas::kCharWidth + 5); // "T206" + 5
    EXPECT_EQ(address->maxWidth, 185);
    for (const MenuScreen::HotKey& key : select.hotKeys) EXPECT_EQ(key.widget, select.widgets.back());

    // Both screens write in the small font, but for their start and back buttons.
    ASSERT_NE(fe.smallFont, nullptr);
    EXPECT_EQ(fe.smallFont->size, 8);
    auto fontOf = [](const Widget* w) { return static_cast<const TextWidget*>(w)->font; };
    for (FrontEndPage* page : {&select, &lobby}) {
        const size_t buttons = page == &lobby ? 2 : 1;
        for (size_t i = 0; i < page->widgets.size(); ++i)
            EXPECT_EQ(fontOf(page->widgets[i]), i + buttons < page->widgets.size() ? fe.smallFont.get() : nullptr)
                << page->name.c_str() << " widget " << i;
    }
    EXPECT_EQ(static_cast<Button*>(select.widgets[0])->texts[0].font, fe.smallFont.get());
}

// -J: no single-player link and no host button.
TEST_F(FrontEndTest, TheRestrictionSwitchDisablesSinglePlayerAndHosting) {
    FrontEndOptionFlag() = true;
    FrontEnd& fe = Build();
    EXPECT_FALSE(fe.mainPage->widgets[FrontEnd::kSinglePlayerLink]->IsEnabled());
    EXPECT_FALSE(fe.mpSelectScreen->widgets[FrontEnd::kHostButton]->IsEnabled());
    EXPECT_TRUE(fe.mainPage->widgets[FrontEnd::kMultiplayerLink]->IsEnabled());
}

// The unlock command (its name from the language) saves furthest episode 5 at once.
TEST_F(FrontEndTest, TheUnlockCommandSavesTheOpenedCareerAtOnce) {
    FrontEnd& fe = Build();
    testing_support::LogCapture log;
    ASSERT_TRUE(fe.singlePlayerPage->ExecuteCommand(SharedString("UNLOCK"), SharedString("")));
    EXPECT_TRUE(log.Contains("Everything is open"));
    GameSettings read(engine->Services());
    ASSERT_EQ(read.Read(SharedString("Misc\\Default.VQS")), SettingsReadResult::Loaded);
    EXPECT_EQ(read.furthestEpisode, 5);
}

TEST_F(FrontEndTest, TheGameOpensEveryMissionAndTheNextSettingsWriteKeepsIt) {
    FrontEnd& fe = Build();
    ASSERT_NE(fe.game, nullptr);
    ASSERT_EQ(fe.settings.missionCount, 4);
    EXPECT_EQ(fe.settings.highestUnlockedMission, 0);
    ASSERT_TRUE(fe.game->ExecuteCommand(SharedString("GIMMEALLMISSIONS"), SharedString("")));
    EXPECT_EQ(fe.settings.highestUnlockedMission, 3);
    fe.game->WriteSettings();
    GameSettings read(engine->Services());
    ASSERT_EQ(read.Read(SharedString("Misc\\Default.VQS")), SettingsReadResult::Loaded);
    EXPECT_EQ(read.highestUnlockedMission, 3);
}

// Pause on any page starts the quick free drive's loading screen while no game can be resumed;
// with one, it does nothing.
TEST_F(FrontEndTest, PauseOnAnyPageStartsTheQuickGameOnlyWhileNoGameCanBeResumed) {
    FrontEnd& fe = Build();
    for (FrontEndPage* page : {fe.mainPage, static_cast<FrontEndPage*>(fe.videoPage), static_cast<FrontEndPage*>(fe.creditsScreen)})
        for (bool resumable : {true, false}) {
            SCOPED_TRACE(::testing::Message() << page->name.c_str() << (resumable ? ", resumable" : ""));
            engine->mlpStack.clear();
            engine->SetMLP(fe.mainPage);
            if (page != fe.mainPage) engine->PushMLP(page);
            fe.SetResumeEnabled(resumable);
            fe.missionLoadingScreen = nullptr;
            input.pressed = {FrontEndPage::kPauseKey};
            page->HandleInput();
            input.NextFrame();
            if (resumable) {
                EXPECT_EQ(engine->currentMLP, page);
                EXPECT_EQ(fe.missionLoadingScreen, nullptr);
                continue;
            }
            ASSERT_NE(fe.missionLoadingScreen, nullptr);
            EXPECT_EQ(engine->currentMLP, fe.missionLoadingScreen);
            EXPECT_EQ(fe.missionLoadingScreen->mission, 8);
            EXPECT_EQ(fe.missionLoadingScreen->episode, 0);
            EXPECT_EQ(fe.missionLoadingScreen->third, 10020);
            EXPECT_EQ(fe.missionLoadingScreen->needSetup, 1);
        }
}

// The career read from the file, opened by the unlock command or advanced in a game reaches
// every later write: the autosave, and the shut-down's after the front end is released.
TEST_F(FrontEndTest, TheCareerSurvivesEveryLaterWrite) {
    SettingsRecord stored = tools::ExampleSettingsRecord(4);
    stored.currentEpisode = stored.furthestEpisode = 3;
    stored.currentMission = stored.furthestMission = 2;
    ASSERT_TRUE(tools::WriteSettingsFile(SharedString("Misc\\Default.VQS"), stored));
    FrontEnd& fe = Build();
    const SharedString path("Misc\\Alpha.VQS");
    auto written = [&] {
        GameSettings read(engine->Services());
        EXPECT_EQ(read.Read(path), SettingsReadResult::Loaded);
        return std::array<int32_t, 3>{read.furthestEpisode, read.furthestMission, read.currentMission};
    };
    fe.WriteSettings(path);
    EXPECT_EQ(written(), (std::array<int32_t, 3>{3, 2, 2})) << "stored";
    fe.singlePlayerPage->ExecuteCommand(SharedString("UNLOCK"), SharedString(""));
    fe.WriteSettings(path);
    EXPECT_EQ(written(), (std::array<int32_t, 3>{5, 2, 2})) << "unlocked";
    fe.game->career.currentMission = 3;
    fe.Release();
    fe.WriteSettings(path);
    EXPECT_EQ(written(), (std::array<int32_t, 3>{5, 2, 3})) << "advanced in the game, then released";
}

// Entering a game hands it the three in-game volumes its fade raises the groups to, and the cars'
// voices join the effects group.
TEST_F(FrontEndTest, AGameTakesTheVolumeOptionsForItsSoundGroups) {
    FrontEnd& fe = Build();
    EXPECT_EQ(fe.game->vehicles.effectsVolume, &EffectsVolumeGroup());
    const float effects = 0.25f, speech = 0.5f, ambient = 0.75f;
    fe.settings.effectsVolume.Set(effects);
    fe.settings.speechVolume.Set(speech);
    fe.settings.ambientVolume.Set(ambient);
    fe.ApplyGameVideoMode();
    EXPECT_EQ(std::vector<float>(fe.game->soundLevels, fe.game->soundLevels + 3), (std::vector<float>{effects, speech, ambient}));
}

// "Intro.OGG" streams, loops and follows the music volume.
TEST_F(FrontEndTest, TheIntroMusicLoopsInTheMusicGroup) {
    FrontEnd& fe = Build();
    ASSERT_NE(fe.introVoice, nullptr);
    const auto it = std::find(requestSound.requested.begin(), requestSound.requested.end(), "Intro.OGG");
    ASSERT_NE(it, requestSound.requested.end());
    const RequestSound::Flags flags = requestSound.flags[size_t(it - requestSound.requested.begin())];
    EXPECT_FALSE(flags.positional);
    EXPECT_TRUE(flags.streaming);
    EXPECT_FALSE(flags.effects);
    EXPECT_EQ(fe.introVoice->Parent(), &MusicVolumeGroup());
    EXPECT_GE(requestSound.loopedPlays, 1);
}
