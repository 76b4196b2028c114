// The cab missions played headless through the whole program on the demo tree: from the main
// page to the single-player page, Return starts the career's mission; the player's car is
// placed beside a currency pedestrian, which boards, and at its destination, where it pays; when
// the level time is out the mission is won, the settings written, and three seconds later the
// score screen shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>

#include "engine/core/InputDevice.h"
#include "engine/core/LanguageSet.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/FrontEndPage.h"
#include "game/frontend/SinglePlayerPage.h"
#include "game/play/DropRunMode.h"
#include "game/play/FareMissionMode.h"
#include "game/play/SpeedBombMode.h"
#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/PedestrianController.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/LevelData.h"
#include "tests/support/GameHarness.h"
#include "tools/writers/LanguageWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

using testing_support::GameHarness;

namespace {

constexpr int32_t kMaxFrames = 4000;

// Rewrites texts of the tree's language set.
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

// An ordinary pedestrian kind in the tree when it has none yet: a figure that walks.
bool EnsurePedestrianKind(const GameHarness& h) {
    namespace fs = std::filesystem;
    const fs::path kinds = fs::path(h.Root()) / "Pedestrians";
    if (fs::exists(kinds / "PED01.VQP")) return true;
    fs::create_directories(kinds / "PED01");
    { std::ofstream(kinds / "PED01.VQP"); }
    return tools::WriteZkm(SharedString((kinds / "PED01" / "Body.ZKM").string().c_str()), tools::FigureModel("F.ZKT")) &&
           tools::WriteZka(SharedString((kinds / "PED01" / "Walk.ZKA").string().c_str()), tools::WaveAnimation(4, 0.25f));
}

// Steps a page's selection down until the widget is selected; single presses only while the
// page takes input.
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
    bool Ready(int32_t frame, const MenuScreen& page, int32_t frames = 4) {
        if (page.fade != 0.0f || frame < next_) return false;
        next_ = frame + frames;
        return true;
    }

private:
    int32_t next_ = 0;
};

PedestrianController* Controller(GameHarness& h) {
    return dynamic_cast<PedestrianController*>(h.GameState().pedestrians.get());
}

}  // namespace

TEST(MissionRun, AFarePaysAndTheCabMissionIsWonAtTheEndOfItsTime) {
    GameHarness harness(METROFARE_DEMO_BINARY, 7);
    ASSERT_TRUE(harness.TreeWritten());
    ASSERT_TRUE(EnsurePedestrianKind(harness));
    // Mission 0: ten seconds to earn 1, less than any fare pays.
    ASSERT_TRUE(OverrideTexts(harness, {{9990006, "10"}, {9990007, "1"}}));
    const std::filesystem::path settings = std::filesystem::path(harness.Root()) / "Misc" / "Default.VQS";
    std::filesystem::remove(settings);

    enum Step { ToPage, OnPage, Loading, CarSelect, Waiting, Boarding, Delivering, Running, HandingOver, Done };
    Step step = ToPage;
    Selector selector;
    int32_t stepFrame = 0, price = -1, wonFrame = -1, scoreFrame = -1, careerMission = -1;
    float money = -1.0f;
    bool settingsWritten = false;
    std::string ticker;
    CurrencyPedestrianBase* fare = nullptr;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
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
                    h.Tap(frame + 5, kKeyReturn);  // the car select
                    step = CarSelect;
                }
                break;
            case CarSelect:
                if (h.HasPlayerCar() && h.Mode() && h.Mode()->started) step = Waiting;
                break;
            case Waiting:
                if (PedestrianController* c = Controller(h); c && !c->active.empty()) {
                    fare = c->active.front();
                    // Stopped 50 from it, on its pavement.
                    h.PlaceCar(fare->GetPosition() + Vector3(50.0f, 8.0f, 0.0f));
                    stepFrame = frame;
                    step = Boarding;
                }
                break;
            case Boarding:
                if (fare->state == Fare::InCab) {
                    price = fare->price;
                    const DropPoint* to = fare->Destination();
                    EXPECT_NE(to, nullptr);
                    if (to) h.PlaceCar(to->position + Vector3(0.0f, 15.0f, 0.0f));
                    step = Delivering;
                } else if (frame > stepFrame + 600) {
                    ADD_FAILURE() << "the fare never boarded; its state is " << fare->state;
                    return false;
                }
                break;
            case Delivering:
                if (!fare->cab) {
                    auto* mode = dynamic_cast<FareMissionMode*>(h.Mode());
                    money = mode ? mode->money : -1.0f;
                    if (mode && !mode->ticker.empty()) ticker = mode->ticker.back().c_str();
                    step = Running;
                }
                break;
            case Running:
                if (h.Mode() && h.Mode()->won) {
                    wonFrame = frame;
                    careerMission = h.GameState().career.currentMission;
                    settingsWritten = std::filesystem::exists(settings);
                    step = HandingOver;
                }
                break;
            case HandingOver:
                if (current == "SPScore") {
                    scoreFrame = frame;
                    step = Done;
                    // The kinds this test added go while their meshes' renderer is still up.
                    h.GameState().Reset(true);
                    PedestrianManager::ForgetCrowdForTests();
                    return false;
                }
                break;
            case Done:
                return false;
            }
            return true;
        },
        kMaxFrames);

    ASSERT_EQ(step, Done) << "after " << frames << " frames";
    EXPECT_GT(price, 0);
    EXPECT_FLOAT_EQ(money, float(price));
    EXPECT_EQ(ticker, "You made it!");
    EXPECT_TRUE(settingsWritten) << "a won mission writes the settings";
    // Three seconds of fade at 75 frames a second, then the score screen.
    EXPECT_NEAR(scoreFrame - wonFrame, 225, 3);
    EXPECT_EQ(careerMission, 1) << "the career moves on to the next mission";
}

namespace {

// Starts mission `m` from the main page as the single-player page does, takes the car the car
// select offers, then calls `drive` each frame of the game until the mission hands over. The
// frames from the decision to the hand-over, the screen handed to, and what `drive` recorded.
struct HandOverRun {
    int32_t decidedFrame = -1, handOverFrame = -1;
    std::string handedTo;
    bool won = false;
    bool resumable = true;
};

HandOverRun RunMission(GameHarness& harness, int32_t m, const std::function<void(GameHarness&, int32_t)>& drive) {
    enum Step { Boot, Loading, CarSelect, Playing, Decided, Done };
    Step step = Boot;
    HandOverRun run;
    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            const std::string current = h.CurrentName();
            switch (step) {
            case Boot:
                if (current == "Main") {
                    h.Front().StartMission(m, 0, 10020 + 400 * m);
                    step = Loading;
                }
                break;
            case Loading:
                if (current == "Game") {
                    h.Tap(frame + 5, kKeyReturn);
                    step = CarSelect;
                }
                break;
            case CarSelect:
                if (h.HasPlayerCar() && h.Mode() && h.Mode()->started) step = Playing;
                break;
            case Playing:
                if (h.Mode()->won || h.Mode()->lost) {
                    run.decidedFrame = frame;
                    run.won = h.Mode()->won != 0;
                    step = Decided;
                    break;
                }
                drive(h, frame);
                break;
            case Decided:
                if (current != "Game") {
                    run.handOverFrame = frame;
                    run.handedTo = current;
                    run.resumable = h.Front().ResumeEnabled();
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
    return run;
}

// Stopped a little above the point.
void StopAt(GameHarness& h, const Vector3& point) { h.PlaceCar(point + Vector3(0.0f, 15.0f, 0.0f)); }

}  // namespace

// The drop run of mission 1: three drops at the targets the run lights, the car placed at each
// in turn; won at the third, handed to the score screen three seconds later.
TEST(MissionRun, TheDropRunIsWonByStoppingAtThreeTargets) {
    GameHarness harness(METROFARE_DEMO_BINARY, 9);
    ASSERT_TRUE(harness.TreeWritten());
    int32_t placedAt = -100;
    int32_t lastDrops = -1;
    const HandOverRun run = RunMission(harness, 1, [&](GameHarness& h, int32_t frame) {
        auto* mode = dynamic_cast<DropRunMode*>(h.Mode());
        ASSERT_NE(mode, nullptr);
        // One placement per target, once the car has settled from the last.
        if (mode->dropsDone != lastDrops && frame > placedAt + 30) {
            lastDrops = mode->dropsDone;
            placedAt = frame;
            if (const DropPoint* target = mode->Target()) StopAt(h, target->position);
        }
    });
    EXPECT_TRUE(run.won);
    EXPECT_EQ(lastDrops, 2) << "won at the third drop";
    EXPECT_EQ(run.handedTo, "SPScore");
    EXPECT_NEAR(run.handOverFrame - run.decidedFrame, 225, 3);
}

// The speed bomb of mission 2: never armed, the car stopped at its named drop point wins; a
// bomb armed and let slow blows the car up, which loses and hands back to the main page.
void SpeedBombRun(bool dawdle) {
    GameHarness harness(METROFARE_DEMO_BINARY, 11);
    ASSERT_TRUE(harness.TreeWritten());
    bool placed = false;
    const HandOverRun run = RunMission(harness, 2, [&](GameHarness& h, int32_t) {
        auto* mode = dynamic_cast<SpeedBombMode*>(h.Mode());
        ASSERT_NE(mode, nullptr);
        if (placed) return;
        placed = true;
        if (!dawdle) {
            EXPECT_EQ(std::string(mode->Target()->name.c_str()), "Tower");
            StopAt(h, mode->Target()->position);
        } else {
            // Armed as if the car had gone fast; it now stands still.
            mode->armed = 1;
            mode->countdown = SpeedBombMode::kFuse;
        }
    });
    EXPECT_EQ(run.won, !dawdle);
    EXPECT_EQ(run.handedTo, dawdle ? "Main" : "SPScore");
    EXPECT_NEAR(run.handOverFrame - run.decidedFrame, 225, 3);
}

TEST(MissionRun, TheSpeedBombIsWonByStoppingAtItsTarget) { SpeedBombRun(false); }

TEST(MissionRun, TheSpeedBombArmedAndLetSlowBlowsUpTheCarAndIsLost) { SpeedBombRun(true); }

// Through the single-player page, mission 0 with a ten-second level time: the developer's cash
// wins it at the end of its time; the score screen takes a name ("AB", Return, Space) and, the
// mission unlocking nothing to show, goes on ("END 3") to load mission 1; the name and the
// money head the mission's table.
TEST(MissionRun, DeveloperCashWinsTheFareMissionAndTheScoreScreenGoesOnToTheNext) {
    GameHarness harness(METROFARE_DEMO_BINARY, 5);
    ASSERT_TRUE(harness.TreeWritten());
    ASSERT_TRUE(OverrideTexts(harness, {{9990006, "10"}, {9990040, "-"}}));
    enum Step { ToPage, OnPage, Loading, CarSelect, Playing, Scoring, Next, Done };
    Step step = ToPage;
    Selector selector;
    float money = 0.0f;
    int32_t nextMission = -1;
    std::string topName;
    float topScore = 0.0f;
    harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
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
                    h.Tap(frame + 5, kKeyReturn);
                    step = CarSelect;
                }
                break;
            case CarSelect:
                if (h.HasPlayerCar() && h.Mode() && h.Mode()->started) {
                    h.ConsoleLine(frame + 1, "ADDCASH");
                    step = Playing;
                }
                break;
            case Playing:
                if (auto* mode = dynamic_cast<FareMissionMode*>(h.Mode())) money = std::max(money, mode->money);
                if (current == "SPScore") {
                    h.Type(frame + 5, "AB");
                    h.Tap(frame + 8, kKeyReturn);
                    h.Tap(frame + 12, kKeySpace);
                    step = Scoring;
                }
                break;
            case Scoring:
                if (current == "Mission") {
                    nextMission = h.Front().missionLoadingScreen->mission;
                    const auto& tables = h.Front().settings.scoreTables;
                    if (!tables.empty() && !tables[0].empty()) {
                        topName = tables[0][0].name.c_str();
                        topScore = tables[0][0].score;
                    }
                    step = Next;
                }
                break;
            case Next:
                if (current == "Game") {
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
    EXPECT_EQ(step, Done);
    EXPECT_FLOAT_EQ(money, 200.0f);
    EXPECT_EQ(nextMission, 1) << "straight from the score screen to the next mission";
    EXPECT_EQ(topName, "AB");
    EXPECT_FLOAT_EQ(topScore, 200.0f);
}

// The console's FAILMISSION loses the fare mission: three seconds later the main page, with
// nothing to resume.
TEST(MissionRun, FailMissionReturnsToTheMainPageWithNothingToResume) {
    GameHarness harness(METROFARE_DEMO_BINARY, 5);
    ASSERT_TRUE(harness.TreeWritten());
    bool asked = false;
    const HandOverRun run = RunMission(harness, 0, [&](GameHarness& h, int32_t frame) {
        if (asked) return;
        asked = true;
        h.ConsoleLine(frame + 1, "FAILMISSION");
    });
    EXPECT_FALSE(run.won);
    EXPECT_FALSE(run.resumable) << "a lost mission leaves nothing to resume";
    EXPECT_EQ(run.handedTo, "Main");
    EXPECT_NEAR(run.handOverFrame - run.decidedFrame, 225, 3);
}
