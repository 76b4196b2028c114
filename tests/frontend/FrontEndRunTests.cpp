// The front end played headless as a player would, through the whole program on the demo tree:
// the menus around a game and the way out, a setting kept across a restart, and a damaged
// settings file at start-up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine/core/Engine.h"
#include "engine/core/ExitButton.h"
#include "engine/core/InputDevice.h"
#include "game/frontend/FrontEnd.h"
#include "engine/core/LanguageSet.h"
#include "game/frontend/EndingScreen.h"
#include "game/frontend/FrontEndPage.h"
#include "game/frontend/MpSelectScreen.h"
#include "game/frontend/MpStartScreen.h"
#include "game/frontend/OptionPages.h"
#include "game/frontend/SinglePlayerPage.h"
#include "game/frontend/SpScoreScreen.h"
#include "game/play/Game.h"
#include "game/frontend/MpScoreScreen.h"
#include "game/play/CheckpointMode.h"
#include "game/play/MissionLoadingScreen.h"
#include "game/world/LevelData.h"
#include "tests/support/GameHarness.h"
#include "tests/support/ProgramRun.h"
#include "tools/writers/LanguageWriter.h"
#include "tools/writers/SettingsWriter.h"

using testing_support::GameHarness;

namespace {

constexpr uint32_t kQuickStart = FrontEndPage::kPauseKey;
constexpr uint32_t kGamePause = Game::kPauseKey;
constexpr uint32_t kKeyY = 'Y' - 'A'; // the demo tree's quit answer is "Y"
constexpr int32_t kMaxFrames = 3000;
// What the restart test hands the program it restarts.
constexpr const char* kRestartSettings = "METROFARE_RESTART_SETTINGS";
constexpr const char* kRestartViewDistance = "METROFARE_RESTART_VIEW_DISTANCE";

std::string SettingsPath(const GameHarness& h, const char* suffix = "") {
    return h.Root() + "/Misc/Default.VQS" + suffix;
}

// Steps a page's selection down, one tap at a time, until the widget is selected; true then.
// Only while the page takes input (not while it fades).
class Selector {
public:
    bool Select(GameHarness& h, int32_t frame, MenuScreen& page, int32_t widget) {
        if (page.selected == widget) return true;
        if (page.fade == 0.0f && frame >= next_) {
            h.Tap(frame + 1, kKeyDown);
            next_ = frame + 4;
        }
        return false;
    }
    // True once per wait of `frames` frames: for single key presses on a page that takes input.
    bool Ready(int32_t frame, const MenuScreen& page, int32_t frames = 4) {
        if (page.fade != 0.0f || frame < next_) return false;
        next_ = frame + frames;
        return true;
    }

private:
    int32_t next_ = 0;
};

// Rewrites texts of the tree's language set: the harness's tree with some texts of its own.
bool OverrideTexts(const GameHarness& h, const std::map<int32_t, std::string>& texts) {
    const SharedString path((h.Root() + "/Misc/DefaultEnglish.ZKL").c_str());
    LanguageTexts read;
    LanguageSet set(&read);
    if (!set.Load(path, &read)) return false;
    tools::LanguageFile file;
    file.header = set.Header();
    file.name = set.Name();
    file.inverted = true;
    file.texts = read.entries;
    for (const auto& [key, text] : texts) file.texts[key] = SharedString(text.c_str());
    return tools::WriteLanguageFile(path, file);
}

} // namespace

// Boot into "Main"; Pause starts free drive; pausing the game returns with resume enabled
// (the quick start no longer works); Escape resumes the same game; the exit button and its
// confirmation's key stop the program, which releases the menus and writes the settings.
TEST(FrontEndRun, MenusAroundAGameAndTheWayOut) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());

    enum Step { Boot, Quick, Driving, Paused, QuickIgnored, Resumed, PausedAgain, Confirming, Quitting };
    Step step = Boot;
    Selector selector;
    int32_t pausedAt = -1;
    const Game* firstGame = nullptr;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
            switch (step) {
            case Boot:
                EXPECT_EQ(h.Stack(), std::vector<std::string>{"Main"});
                EXPECT_FALSE(fe.ResumeEnabled());
                step = Quick;
                break;
            case Quick:
                if (selector.Ready(frame, *fe.mainPage)) h.Tap(frame + 1, kQuickStart);
                if (current == "Game") {
                    firstGame = fe.game.get();
                    h.Tap(frame + 5, kKeyReturn); // the offered car
                    h.Tap(frame + 30, kGamePause);
                    step = Driving;
                }
                break;
            case Driving:
                if (current == "Main") {
                    EXPECT_TRUE(fe.ResumeEnabled());
                    EXPECT_TRUE(h.HasPlayerCar());
                    step = Paused;
                }
                break;
            case Paused:
                if (selector.Ready(frame, *fe.mainPage, 10)) {
                    h.Tap(frame + 1, kQuickStart);
                    pausedAt = frame;
                    step = QuickIgnored;
                }
                break;
            case QuickIgnored:
                if (frame == pausedAt + 8) {
                    EXPECT_EQ(current, "Main") << "no quick start while a game can be resumed";
                    h.Tap(frame + 1, kKeyEscape);
                    step = Resumed;
                }
                break;
            case Resumed:
                if (current == "Game") {
                    EXPECT_EQ(fe.game.get(), firstGame);
                    EXPECT_TRUE(h.HasPlayerCar()) << "resuming keeps the game as it was";
                    h.Tap(frame + 10, kGamePause);
                    step = PausedAgain;
                }
                break;
            case PausedAgain:
                if (current == "Main" &&
                    selector.Select(h, frame, *fe.mainPage, FrontEnd::kExitButton)) {
                    // The shut-down's own write is what must leave the file.
                    std::filesystem::remove(SettingsPath(h));
                    h.Tap(frame + 1, kKeyReturn);
                    step = Confirming;
                }
                break;
            case Confirming: {
                auto* exit = static_cast<ExitButton*>(fe.mainPage->widgets[FrontEnd::kExitButton]);
                if (exit->IsOpen()) {
                    h.Tap(frame + 1, kKeyY);
                    step = Quitting;
                }
                break;
            }
            case Quitting:
                break;
            }
            return true;
        },
        kMaxFrames);

    EXPECT_EQ(step, Quitting);
    EXPECT_LT(frames, kMaxFrames) << "the confirmation's key stops the program";
    EXPECT_EQ(harness.Front().mainPage, nullptr) << "the menus are released before the devices";
    EXPECT_TRUE(harness.LogContains("Shutting down..."));
    GameSettings written(harness.Engine().Services());
    EXPECT_EQ(written.Read(SharedString(SettingsPath(harness).c_str())), SettingsReadResult::Loaded);
}

// The view-distance slider moved on the video page reaches the game's camera, and a restart on
// the same tree finds it again.
TEST(FrontEndRun, TheViewDistanceStaysAcrossARestart) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());

    enum Step { ToOptions, OnVideo, Sliding, Back, Quick, InGame };
    Step step = ToOptions;
    Selector selector;
    float chosen = -1.0f;
    float farPlane = 0.0f;
    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
            switch (step) {
            case ToOptions:
                if (selector.Select(h, frame, *fe.mainPage, FrontEnd::kOptionsLink)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = OnVideo;
                }
                break;
            case OnVideo:
                if (current == "Video" && selector.Select(h, frame, *fe.videoPage, 5)) {
                    EXPECT_FLOAT_EQ(fe.settings.viewDistance.cachedFloat, 0.5f) << "the default";
                    h.Hold(frame + 1, kKeyRight, 15);
                    step = Sliding;
                }
                break;
            case Sliding:
                if (!h.Engine().input->Held(kKeyRight) && fe.settings.viewDistance.cachedFloat > 0.5f) {
                    chosen = fe.settings.viewDistance.cachedFloat;
                    h.Tap(frame + 2, kKeyEscape);
                    step = Back;
                }
                break;
            case Back:
                if (current == "Main") step = Quick;
                break;
            case Quick:
                if (selector.Ready(frame, *fe.mainPage)) h.Tap(frame + 1, kQuickStart);
                if (current == "Game") step = InGame;
                break;
            case InGame:
                farPlane = fe.game->camera.farPlane;
                return false;
            }
            return true;
        },
        kMaxFrames);
    ASSERT_EQ(step, InGame);
    EXPECT_GT(chosen, 0.6f);
    EXPECT_LT(chosen, 1.0f);
    EXPECT_FLOAT_EQ(farPlane, ViewDistanceOption::FarPlane(chosen));

    // The restart: the program again, in a process of its own, on the settings it wrote.
    setenv(kRestartSettings, SettingsPath(harness).c_str(), 1);
    setenv(kRestartViewDistance, SharedString::Format("%.9g", double(chosen)).c_str(), 1);
    const pid_t pid = testing_support::StartProgram(
        "/proc/self/exe", {"--gtest_also_run_disabled_tests", "--gtest_filter=FrontEndRun.DISABLED_Restarted"});
    const int status = testing_support::WaitForExit(pid, std::chrono::seconds(240));
    unsetenv(kRestartSettings);
    unsetenv(kRestartViewDistance);
    std::ifstream in("out.txt");
    const std::string out(std::istreambuf_iterator<char>(in), {});
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("[       OK ] FrontEndRun.DISABLED_Restarted"), std::string::npos) << out;
}

// The restarted program of the test above (run only by it): a fresh tree with the settings file
// the first program wrote.
TEST(FrontEndRun, DISABLED_Restarted) {
    const char* settings = std::getenv(kRestartSettings);
    const char* expected = std::getenv(kRestartViewDistance);
    if (!settings || !expected) GTEST_SKIP() << "started by TheViewDistanceStaysAcrossARestart";
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    std::filesystem::create_directories(harness.Root() + "/Misc");
    std::filesystem::copy_file(settings, SettingsPath(harness));
    float restored = -1.0f;
    harness.Run(
        [&](GameHarness& h, int32_t) {
            restored = h.Front().settings.viewDistance.cachedFloat;
            return false;
        },
        kMaxFrames);
    EXPECT_FLOAT_EQ(restored, std::strtof(expected, nullptr));
}

// A settings file cut short: the defaults, the damaged file kept aside as ".bad", and a game
// that drives.
TEST(FrontEndRun, ATruncatedSettingsFileGivesTheDefaultsAndAGameThatDrives) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    // Values unlike the defaults, so that none of them can survive the cut.
    SettingsRecord record = tools::ExampleSettingsRecord(4);
    record.textureLevel = 0;
    record.viewDistance = 0.9f;
    record.effectsVolume = 0.2f;
    record.furthestEpisode = 3;
    const std::vector<uint8_t> bytes = SettingsBytes(record);
    const std::string truncated(bytes.begin(), bytes.begin() + std::ptrdiff_t(bytes.size() / 2));
    std::filesystem::create_directories(harness.Root() + "/Misc");
    std::ofstream(SettingsPath(harness), std::ios::binary) << truncated;

    bool defaults = false;
    int32_t gameFrame = -1;
    Selector selector;
    Vector3 start;
    float travelled = 0.0f;
    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            if (frame == 0) {
                const GameSettings& s = fe.settings;
                defaults = s.textureLevel.cachedInt == 2 && s.viewDistance.cachedFloat == 0.5f &&
                           s.effectsVolume.cachedFloat == 0.66f && s.furthestEpisode == 0 &&
                           s.scoreTables.size() == 4 && s.scoreTables[0][0].score == 200.0f &&
                           s.scoreTables[0][0].name != SharedString("Driver 1");
            }
            if (gameFrame < 0) {
                if (h.CurrentName() == "Main" && selector.Ready(frame, *fe.mainPage)) h.Tap(frame + 1, kQuickStart);
                if (h.CurrentName() == "Game") {
                    gameFrame = frame;
                    h.Tap(frame + 5, kKeyReturn);
                    h.Hold(frame + 10, kKeyUp, 150);
                }
            }
            if (gameFrame >= 0 && frame == gameFrame + 9 && h.HasPlayerCar()) start = h.PlayerCarPosition();
            if (gameFrame >= 0 && frame == gameFrame + 160) {
                if (h.HasPlayerCar()) travelled = (h.PlayerCarPosition() - start).Length();
                return false;
            }
            return true;
        },
        kMaxFrames);

    EXPECT_TRUE(defaults);
    std::ifstream bad(SettingsPath(harness, ".bad"), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(bad), {}), truncated);
    ASSERT_GE(gameFrame, 0);
    EXPECT_GT(travelled, 20.0f) << "two seconds on the accelerator move the car";
}

// The single-player loop by keys, on the demo tree whose first two missions are made free drives
// (the missions' own modes hand over a won game; here the hand-over is called as they call it):
// the single-player link, Return on the page, the loading screen, Return at the car select, two
// seconds on the accelerator, Pause and back; the won mission's score screen takes the name "AB"
// (Return commits it, Space goes on), the first mission's ending picture follows, then the page
// offers the second mission; Escape, the exit button and its key end the program, whose settings
// file holds the career and the table.
TEST(FrontEndRun, TheSinglePlayerLoop) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    std::map<int32_t, std::string> freeDrive;
    for (int32_t m : {0, 1}) {
        const int32_t b = 9990000 + 100 * m;
        freeDrive[b + 1] = "BONUS5";
        freeDrive[b + 3] = "1";
        freeDrive[b + 4] = "0";
        freeDrive[b + 5] = "0";
    }
    ASSERT_TRUE(OverrideTexts(harness, freeDrive));

    enum Step { ToPage, OnPage, Loading, CarSelect, Driving, Paused, Resumed, Scoring, Ending, PageAgain, Leaving,
                Confirming, Quitting };
    Step step = ToPage;
    Selector selector;
    int32_t stepFrame = 0;
    Vector3 start;
    float travelled = 0.0f;
    int32_t chosenCar = -1, loadedMission = -1, offeredMission = -1;
    std::vector<std::string> seen;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
            if (seen.empty() || seen.back() != current) seen.push_back(current);
            switch (step) {
            case ToPage:
                if (current == "Main" && selector.Select(h, frame, *fe.mainPage, FrontEnd::kSinglePlayerLink) &&
                    selector.Ready(frame, *fe.mainPage)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = OnPage;
                }
                break;
            case OnPage:
                if (current == "Single player" && selector.Ready(frame, *fe.singlePlayerPage)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = Loading;
                }
                break;
            case Loading:
                if (current == "Game") {
                    chosenCar = fe.game->chosenCar;
                    loadedMission = fe.game->session.mission;
                    h.Tap(frame + 5, kKeyReturn); // the car select
                    stepFrame = frame;
                    step = CarSelect;
                }
                break;
            case CarSelect:
                if (frame == stepFrame + 9 && h.HasPlayerCar()) {
                    start = h.PlayerCarPosition();
                    h.Hold(frame + 1, kKeyUp, 150);
                    step = Driving;
                }
                break;
            case Driving:
                if (frame == stepFrame + 165) {
                    if (h.HasPlayerCar()) travelled = (h.PlayerCarPosition() - start).Length();
                    h.Tap(frame + 1, kGamePause);
                    step = Paused;
                }
                break;
            case Paused:
                if (current == "Main" && selector.Ready(frame, *fe.mainPage, 10)) {
                    EXPECT_TRUE(fe.ResumeEnabled());
                    h.Tap(frame + 1, kKeyEscape);
                    step = Resumed;
                }
                break;
            case Resumed:
                if (current == "Game") {
                    // The mission is won: the mode's hand-over.
                    fe.ShowSinglePlayerScore(100000, SharedString("CabMetro"));
                    EXPECT_FALSE(fe.ResumeEnabled());
                    h.Type(frame + 5, "AB");
                    h.Tap(frame + 8, kKeyReturn);
                    h.Tap(frame + 12, kKeySpace);
                    step = Scoring;
                }
                break;
            case Scoring:
                if (current == "EndScreen") {
                    EXPECT_EQ(fe.Ending()->mission, 0);
                    step = Ending;
                }
                break;
            case Ending:
                if (fe.Ending()->fade == 0.0f) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = PageAgain;
                }
                break;
            case PageAgain:
                if (current == "Single player" && selector.Ready(frame, *fe.singlePlayerPage)) {
                    offeredMission = fe.settings.missionChoice.cachedInt;
                    h.Tap(frame + 1, kKeyEscape);
                    step = Leaving;
                }
                break;
            case Leaving:
                if (current == "Main" && selector.Select(h, frame, *fe.mainPage, FrontEnd::kExitButton)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = Confirming;
                }
                break;
            case Confirming:
                if (static_cast<ExitButton*>(fe.mainPage->widgets[FrontEnd::kExitButton])->IsOpen()) {
                    h.Tap(frame + 1, kKeyY);
                    step = Quitting;
                }
                break;
            case Quitting:
                break;
            }
            return true;
        },
        kMaxFrames);

    EXPECT_EQ(step, Quitting);
    EXPECT_LT(frames, kMaxFrames);
    EXPECT_EQ(loadedMission, 0);
    EXPECT_EQ(chosenCar, 1) << "the cab, the first mission's one car";
    EXPECT_GT(travelled, 20.0f) << "two seconds on the accelerator move the car";
    // The ending picture is the score screen's next step, the page the ending's.
    EXPECT_EQ(seen, (std::vector<std::string>{"Main", "Single player", "Mission", "Game", "Main", "Game", "SPScore",
                                              "EndScreen", "Single player", "Main"}));
    EXPECT_EQ(offeredMission, 1) << "the page offers the mission the first one opened";
    EXPECT_TRUE(harness.LogContains("Shutting down..."));

    GameSettings written(harness.Engine().Services());
    ASSERT_EQ(written.Read(SharedString(SettingsPath(harness).c_str())), SettingsReadResult::Loaded);
    EXPECT_EQ(written.lastPlayedMission, 1);
    EXPECT_EQ(written.highestUnlockedMission, 1);
    ASSERT_FALSE(written.scoreTables.empty());
    ASSERT_FALSE(written.scoreTables[0].empty());
    EXPECT_EQ(std::string(written.scoreTables[0][0].name.c_str()), "AB");
    EXPECT_EQ(std::string(written.scoreTables[0][0].carName.c_str()), "CabMetro");
    EXPECT_FLOAT_EQ(written.scoreTables[0][0].score, 100000.0f);
}

// Options, then the controls page by its tab, Accelerate rebound to W and Escape back through the
// fade; the quick start drives on W and the settings file written on entering the game holds it.
// In the game the free camera and the camera editor add two shots and dump them, and the world's
// reader reads the dump back. All at uneven frame times.
TEST(FrontEndRun, ABindingMadeOnTheControlsPageDrivesAndTheCameraEditorDumpsItsShots) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    const testing_support::FrameSchedule schedule = testing_support::UnevenFrames();
    harness.SetFrameTimes(schedule);
    constexpr uint32_t kKeyW = 'W' - 'A';

    enum Step { ToOptions, OnVideo, ToControls, OnControls, Binding, Leaving, ToGame, Driving, Editing, Done };
    Step step = ToOptions;
    Selector selector;
    int32_t stepFrame = 0, escapeFrame = -1;
    float fadeSeconds = 0.0f;
    Vector3 start;
    float travelled = 0.0f;
    size_t shotsBefore = 0;
    std::vector<CameraRecord> shots;
    std::vector<std::string> stackOnControls, stackOnReturn;
    InputCode bound = kInputNone;
    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
            // The frames from the one that took Escape to the one that left the page.
            if (step == Leaving) fadeSeconds += schedule(frame);
            switch (step) {
            case ToOptions:
                if (current == "Main" && selector.Select(h, frame, *fe.mainPage, FrontEnd::kOptionsLink) &&
                    selector.Ready(frame, *fe.mainPage)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = OnVideo;
                }
                break;
            case OnVideo:
                if (current == "Video" && fe.videoPage->tabState == OptionPage::kIdle) {
                    h.Tap(frame + 1, OptionPage::kPageDownKey);
                    h.Tap(frame + 4, OptionPage::kPageDownKey);
                    h.Tap(frame + 7, kKeyReturn);
                    step = ToControls;
                }
                break;
            case ToControls:
                if (current == "Controls") {
                    stackOnControls = h.Stack();
                    EXPECT_EQ(fe.controlsPage->tabFade, 0.0f) << "a tab switches at once";
                    stepFrame = frame;
                    step = OnControls;
                }
                break;
            case OnControls:
                if (frame == stepFrame + 2) {
                    EXPECT_EQ(fe.controlsPage->selected, 0) << "the Accelerate row";
                    h.Tap(frame + 1, kKeyReturn);
                    h.Tap(frame + 5, kKeyW);
                    step = Binding;
                }
                break;
            case Binding:
                if (frame == stepFrame + 10) {
                    bound = GameSettings::Binding(0, StoredAction::Accelerate).primary.code;
                    h.Tap(frame + 1, kKeyEscape);
                    escapeFrame = frame + 1;
                    step = Leaving;
                }
                break;
            case Leaving:
                if (current == "Main") {
                    stackOnReturn = h.Stack();
                    step = ToGame;
                }
                break;
            case ToGame:
                if (current == "Main" && selector.Ready(frame, *fe.mainPage, 10)) h.Tap(frame + 1, kQuickStart);
                if (current == "Game") {
                    h.Tap(frame + 5, kKeyReturn); // the offered car
                    stepFrame = frame;
                    step = Driving;
                }
                break;
            case Driving:
                if (frame == stepFrame + 9 && h.HasPlayerCar()) {
                    start = h.PlayerCarPosition();
                    h.Hold(frame + 1, kKeyW, 120);
                }
                if (frame == stepFrame + 135) {
                    if (h.HasPlayerCar()) travelled = (h.PlayerCarPosition() - start).Length();
                    shotsBefore = fe.game->cameraEditor.records.size();
                    h.ConsoleLine(frame + 1, "FREECAM");
                    h.ConsoleLine(frame + 6, "CAMERAEDITOR");
                    h.Tap(frame + 12, CameraEditor::kAddKey);
                    h.Tap(frame + 15, CameraEditor::kAddKey);
                    h.Tap(frame + 18, CameraEditor::kDumpKey);
                    stepFrame = frame;
                    step = Editing;
                }
                break;
            case Editing:
                if (frame == stepFrame + 22) {
                    shots = fe.game->cameraEditor.records;
                    step = Done;
                    return false;
                }
                break;
            case Done:
                return false;
            }
            return true;
        },
        kMaxFrames);

    ASSERT_EQ(step, Done);
    EXPECT_EQ(stackOnControls, (std::vector<std::string>{"Controls", "Main"}));
    EXPECT_EQ(bound, InputCode(kKeyW));
    EXPECT_EQ(stackOnReturn, std::vector<std::string>{"Main"});
    EXPECT_GE(fadeSeconds, 0.5f - 1e-4f) << "Escape fades through black for half a second";
    EXPECT_LT(fadeSeconds, 0.55f);
    EXPECT_GT(travelled, 20.0f) << "W drives";

    SettingsRecord written;
    std::string problem;
    ASSERT_EQ(ReadSettingsRecord(SharedString(SettingsPath(harness).c_str()), written, problem), SettingsParse::Ok)
        << problem;
    EXPECT_EQ(written.bindings[0][size_t(StoredAction::Accelerate)][0], InputCode(kKeyW));

    ASSERT_EQ(shots.size(), shotsBefore + 2);
    std::vector<CameraRecord> dumped;
    FileReader in{SharedString((harness.Root() + "/" + CameraEditor::kDumpFile).c_str())};
    ASSERT_TRUE(ReadCameraRecords(in, dumped));
    ASSERT_EQ(dumped.size(), shots.size());
    for (size_t i = 0; i < shots.size(); ++i) {
        EXPECT_EQ(dumped[i].mission, shots[i].mission) << i;
        EXPECT_EQ(dumped[i].episode, shots[i].episode) << i;
        EXPECT_EQ(dumped[i].position, shots[i].position) << i;
    }
}

// Multiplayer, Host: the lobby opens with this machine's player alone; once he is ready the
// start button wakes, and Return on it loads the first network mission as the checkpoint race
// with the session handed to the game. With a score limit of one point, driving into the
// checkpoint ends the game: the fade, then the score screen with the player's one row.
// At uneven frame times.
TEST(FrontEndRun, HostingAloneStartsTheNetworkGame) {
    GameHarness harness(METROFARE_DEMO_BINARY);
    ASSERT_TRUE(harness.TreeWritten());
    harness.SetFrameTimes(testing_support::UnevenFrames());

    enum Step { ToMultiplayer, OnSelect, ToHost, InLobby, Ready, ToStart, Loading, Driving, Scoring, Done };
    Step step = ToMultiplayer;
    Selector selector;
    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
            switch (step) {
            case ToMultiplayer:
                if (selector.Select(h, frame, *fe.mainPage, FrontEnd::kMultiplayerLink)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = OnSelect;
                }
                break;
            case OnSelect:
                if (current == "MP Select") {
                    // A port of the system's choosing: other games on this machine keep theirs.
                    fe.mpSelectScreen->port = 0;
                    step = ToHost;
                }
                break;
            case ToHost:
                if (fe.mpSelectScreen->fade == 0.0f && selector.Select(h, frame, *fe.mpSelectScreen, FrontEnd::kHostButton)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = InLobby;
                }
                break;
            case InLobby:
                if (current == "MPStart") {
                    EXPECT_TRUE(fe.mpStartScreen->Hosting());
                    EXPECT_EQ(h.Stack(), (std::vector<std::string>{"MPStart", "MP Select", "Main"}));
                    step = Ready;
                }
                break;
            case Ready: {
                const auto* own = static_cast<const TextWidget*>(fe.mpStartScreen->widgets[0]);
                if (fe.mpStartScreen->fade == 0.0f && !own->caption.IsEmpty()) {
                    EXPECT_STREQ(own->caption.c_str(), fe.settings.playerName.c_str());
                    EXPECT_FALSE(fe.mpStartScreen->widgets[MpStartScreen::kStartButton]->IsEnabled());
                    fe.mpStartScreen->SetSecondSetting(1);
                    fe.mpStartScreen->ToggleReady();
                    step = ToStart;
                }
                break;
            }
            case ToStart:
                if (fe.mpStartScreen->fade == 0.0f && fe.mpStartScreen->widgets[MpStartScreen::kStartButton]->IsEnabled() &&
                    selector.Select(h, frame, *fe.mpStartScreen, MpStartScreen::kStartButton)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = Loading;
                }
                break;
            case Loading:
                if (current == "Mission") {
                    EXPECT_EQ(fe.missionLoadingScreen->mission, 12);
                    EXPECT_EQ(fe.missionLoadingScreen->kind, 14);
                    EXPECT_NE(fe.game->client, nullptr);
                    EXPECT_NE(fe.game->server, nullptr);
                    EXPECT_EQ(fe.mpStartScreen->Client(), nullptr);
                    step = Driving;
                }
                break;
            case Driving: {
                auto* race = dynamic_cast<CheckpointMode*>(fe.game->mode.get());
                if (current == "Game" && race && race->started && fe.game->HasPlayerCar() && race->checkpoint >= 0) {
                    EXPECT_EQ(race->scoreLimit, 1);
                    fe.game->TeleportPlayer(fe.game->world.dropPoints[size_t(race->checkpoint)].position + Vector3(0, 3, 0));
                    step = Scoring;
                }
                break;
            }
            case Scoring:
                if (current == "MPScore") {
                    const MpScoreScreen& score = *fe.MultiplayerScore();
                    EXPECT_EQ(score.rows.size(), 1u);
                    if (!score.rows.empty()) {
                        EXPECT_EQ(score.rows[0].score, 1);
                        EXPECT_EQ(score.rows[0].name, fe.settings.playerName);
                    }
                    EXPECT_EQ(fe.MultiplayerScore()->kind, 14);
                    step = Done;
                    return false;
                }
                break;
            case Done:
                break;
            }
            return true;
        },
        kMaxFrames);
    EXPECT_EQ(step, Done);
}
