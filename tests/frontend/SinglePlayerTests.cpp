// The single-player loop's screens on a headless engine with the whole front end built: the
// page with its choices, start and exits; the car carousel; the score screen with its table,
// name and career step; the ending, end and credits screens.
#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/MenuWidgets.h"
#include "game/frontend/CarSelectView.h"
#include "game/frontend/CreditsScreen.h"
#include "game/frontend/EndScreen.h"
#include "game/frontend/EndingScreen.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/SinglePlayerPage.h"
#include "game/frontend/SpScoreScreen.h"
#include "game/play/Game.h"
#include "game/play/MissionLoadingScreen.h"
#include "game/vehicles/CarCatalogue.h"
#include "tests/frontend/PageFixture.h"
#include "tests/frontend/SettingsFixture.h"

using namespace page_test;

namespace {

constexpr int32_t Block(int32_t m) { return 9990000 + 100 * m; }

// The catalogue lists the cars sorted by file name: 0 AmbulanceVan, 1 CabMetro, 2 PoliceCruiser,
// 3 RacerZZ.
constexpr const char* kCars[] = {"AmbulanceVan", "CabMetro", "PoliceCruiser", "RacerZZ"};
enum CarIndex { kAmbulance, kCab, kPolice, kRacer };

class SinglePlayerTest : public PageTest {
protected:
    void SetUp() override {
        PageTest::SetUp();
        CarCatalogue::Instance().ClearForTests();
        engine->renderer = &renderer;
        auto& t = engine->languageKeys.entries;
        settings_test::FillTexts(t, 4);
        // Mission 0 offers the cab, 1 the cab and the racer (one in another case), 2 nothing
        // of the catalogue, 3 the police car.
        const std::vector<std::vector<const char*>> offered = {
            {"CabMetro"}, {"cabmetro", "RACERZZ"}, {"Bus"}, {"PoliceCruiser"}};
        for (int32_t m = 0; m < 4; ++m) {
            t[Block(m) + 10] = SharedString::Format("%d", int32_t(offered[size_t(m)].size()));
            for (size_t k = 0; k < offered[size_t(m)].size(); ++k)
                t[Block(m) + 11 + int32_t(k)] = offered[size_t(m)][k];
            t[Block(m) + 20] = SharedString::Format("Mission %d", m);
            t[Block(m) + 30] = SharedString::Format("%d", m + 2);
            t[Block(m) + 40] = "";
        }
        for (int32_t i = 0; i < 4; ++i) t[7770000 + i] = SharedString::Format("Car %c", 'A' + i);
        dir.WriteBytes("Misc/readme.txt", "");
        for (const char* car : kCars) dir.WriteBytes(std::string("Vehicles/") + car + ".VQC", "");
    }
    void TearDown() override {
        Rebuild(false);
        CarCatalogue::Instance().ClearForTests();
        engine->renderer = nullptr;
        PageTest::TearDown();
    }
    // Pushed screens load on a thread of their own: each is waited for before anything frees it.
    void Settle() {
        std::vector<MLP*> screens(engine->mlpStack.begin(), engine->mlpStack.end());
        screens.push_back(engine->currentMLP);
        if (frontEnd) {
            screens.push_back(frontEnd->missionLoadingScreen);
            screens.push_back(frontEnd->ScoreScreen());
            screens.push_back(frontEnd->Ending());
            screens.push_back(frontEnd->End());
        }
        for (MLP* screen : screens)
            if (screen) ASSERT_TRUE(screen->WaitForInit(10.0f));
    }
    void Frame() {
        Settle();
        PageTest::Frame();
    }
    // The front end freed, and made again when asked.
    void Rebuild(bool again = true) {
        Settle();
        engine->mlpStack.clear();
        engine->currentMLP = engine->previousMLP = nullptr;
        frontEnd.reset();
        if (again) Build();
    }
    FrontEnd& Build() {
        frontEnd = std::make_unique<FrontEnd>(engine->Services());
        frontEnd->CreateFrontEnd();
        engine->mlpStack.clear();
        engine->SetMLP(frontEnd->mainPage);
        return *frontEnd;
    }
    SinglePlayerPage& OpenPage() {
        FrontEnd& fe = frontEnd ? *frontEnd : Build();
        engine->PushMLP(fe.singlePlayerPage);
        return *fe.singlePlayerPage;
    }
    void Text(int32_t key, const char* text) { engine->languageKeys.entries[key] = text; }
    // Frames until the current screen changes, at most `limit`; the frames run.
    int32_t FramesUntilChange(int32_t limit) {
        MLP* start = engine->currentMLP;
        for (int32_t i = 1; i <= limit; ++i) {
            Frame();
            if (engine->currentMLP != start) return i;
        }
        return -1;
    }

    settings_test::RecordingRenderer renderer;
    std::unique_ptr<FrontEnd> frontEnd;
};

std::vector<int> Enabled(const ChoiceWidget& choice) { return {choice.itemEnabled.begin(), choice.itemEnabled.end()}; }

} // namespace

// ---------------------------------------------------------------------------------------------
// The page

// Missions open up to the highest unlocked one; the page opens on the mission last played and
// shows its cars, the others disabled; starting records the mission as the last played one, and
// the page reopened shows it.
TEST_F(SinglePlayerTest, MissionsOpenUpToTheHighestUnlockedAndTheLastPlayedComesBack) {
    FrontEnd& fe = Build();
    fe.settings.highestUnlockedMission = 1;
    fe.settings.lastPlayedMission = 1;
    SinglePlayerPage& page = OpenPage();
    EXPECT_EQ(Enabled(*page.missionChoice), (std::vector<int>{1, 1, 0, 0}));
    EXPECT_EQ(fe.settings.missionChoice.cachedInt, 1);
    EXPECT_EQ(Enabled(*page.carChoice), (std::vector<int>{0, 1, 0, 1}));
    EXPECT_EQ(page.view.current, kCab);
    EXPECT_EQ(page.selected, SinglePlayerPage::kCarChoice);
    EXPECT_FALSE(fe.ResumeEnabled());

    // Mission 0 chosen by the widget: only the cab.
    fe.settings.missionChoice.Set(int32_t(0));
    EXPECT_EQ(Enabled(*page.carChoice), (std::vector<int>{0, 1, 0, 0}));
    page.StartGame();
    Settle();
    EXPECT_EQ(fe.settings.lastPlayedMission, 0);
    EXPECT_EQ(fe.settings.currentMission, 0);
    EXPECT_EQ(fe.game->career.currentMission, 0);

    engine->mlpStack.clear();
    engine->SetMLP(fe.mainPage);
    OpenPage();
    EXPECT_EQ(fe.settings.missionChoice.cachedInt, 0);
}

// Return and keypad Enter start the chosen mission from every widget of the page: its loading
// screen (mission m, episode 0, text base 10020 + 400 m), the carousel's car for the game, the
// mission's respawn zone less one, resume enabled.
TEST_F(SinglePlayerTest, ReturnOrKeypadEnterStartsFromAnyWidget) {
    FrontEnd& fe = Build();
    fe.settings.highestUnlockedMission = 3;
    for (uint32_t key : {kKeyReturn, kKeyPadEnter})
        for (int32_t widget = 0; widget < 6; ++widget) {
            SCOPED_TRACE(::testing::Message() << "key " << key << ", widget " << widget);
            Settle();
            engine->mlpStack.clear();
            engine->SetMLP(fe.mainPage);
            fe.settings.lastPlayedMission = 3;
            SinglePlayerPage& page = OpenPage();
            page.fade = 0.0f;
            page.SetSelected(widget);
            fe.game->chosenCar = -1;
            input.pressed = {key};
            Frame();
            ASSERT_EQ(engine->currentMLP, fe.missionLoadingScreen);
            EXPECT_EQ(fe.missionLoadingScreen->mission, 3);
            EXPECT_EQ(fe.missionLoadingScreen->episode, 0);
            EXPECT_EQ(fe.missionLoadingScreen->third, 10020 + 400 * 3);
            EXPECT_EQ(fe.missionLoadingScreen->needSetup, 1);
            EXPECT_EQ(fe.game->chosenCar, kPolice);
            EXPECT_EQ(fe.game->session.zone, 3 + 2 - 1);
            EXPECT_TRUE(fe.ResumeEnabled());
        }
}

// Escape and the back button return to the main page, faded in from black; ">>" and "<<" step
// through the offered cars and the car choice follows.
TEST_F(SinglePlayerTest, ArrowsStepTheOfferedCarsAndEscapeOrBackReturn) {
    FrontEnd& fe = Build();
    fe.settings.highestUnlockedMission = 1;
    fe.settings.lastPlayedMission = 1;
    SinglePlayerPage& page = OpenPage();
    page.nextCar.Execute();
    EXPECT_EQ(page.view.current, kRacer);
    EXPECT_EQ(fe.settings.carChoice.cachedInt, kRacer);
    page.nextCar.Execute();
    EXPECT_EQ(page.view.current, kCab) << "wraps over the locked cars";
    page.previousCar.Execute();
    EXPECT_EQ(fe.settings.carChoice.cachedInt, kRacer);

    page.fade = 0.0f;
    input.held = {kKeyEscape};
    Frame();
    input.held.clear();
    EXPECT_EQ(engine->currentMLP, fe.mainPage);
    EXPECT_FLOAT_EQ(fe.mainPage->fade, 1.0f);

    OpenPage();
    page.back.Execute();
    EXPECT_EQ(engine->currentMLP, fe.mainPage);
}

// Left and Right turn the shown car only while the car choice has the focus; elsewhere it turns
// by itself. The current driver's portrait fades in at one a second, the others out.
TEST_F(SinglePlayerTest, KeysTurnTheCarOnlyWithTheCarChoiceFocusedAndThePortraitFadesIn) {
    FrontEnd& fe = Build();
    SinglePlayerPage& page = OpenPage();
    ASSERT_EQ(page.portraits.size(), 4u);
    for (const char* car : kCars)
        EXPECT_EQ(std::count(canvas.loads.begin(), canvas.loads.end(), std::string("Vehicles\\") + car + "\\Driver.zkt"), 1)
            << "the portraits come from the cars' folders";
    page.fade = 0.0f;
    const float yaw0 = page.view.models[kCab].yaw;
    input.held = {kKeyLeft};
    Frame();
    EXPECT_FLOAT_EQ(page.view.models[kCab].yaw, yaw0 + kFrame) << "turned left, no auto-turn";
    EXPECT_FALSE(page.view.AutoTurn());
    input.held = {kKeyRight};
    Frame();
    EXPECT_FLOAT_EQ(page.view.models[kCab].yaw, yaw0);

    page.SetSelected(SinglePlayerPage::kMissionChoice);
    Frame();
    EXPECT_TRUE(page.view.AutoTurn());
    EXPECT_FLOAT_EQ(page.view.models[kCab].yaw, yaw0 - kFrame) << "the keys do nothing, the car turns by itself";
    input.held.clear();

    for (int i = 0; i < 70; ++i) Frame();
    EXPECT_FLOAT_EQ(page.portraits[kCab].alpha, 1.0f);
    EXPECT_FLOAT_EQ(page.portraits[kRacer].alpha, 0.0f);
    (void)fe;
}

// The info line names the current car in lower case; the portrait is drawn with the page's fade.
TEST_F(SinglePlayerTest, TheInfoLineAndThePortraitAreDrawn) {
    Build();
    SinglePlayerPage& page = OpenPage();
    page.fade = 0.0f;
    page.portraits[kCab].alpha = 0.5f;
    canvas.calls.clear();
    page.DrawWidgets();
    ASSERT_EQ(canvas.Of("text", "car b").size(), 1u);
    EXPECT_FLOAT_EQ(canvas.Of("text", "car b")[0].x, 470.0f);
    const auto portraits = canvas.Of("sprite", "Vehicles\\CabMetro\\Driver.zkt");
    ASSERT_EQ(portraits.size(), 1u);
    EXPECT_EQ(portraits[0].color.a, 127);
    EXPECT_TRUE(canvas.Of("sprite", "Vehicles\\AmbulanceVan\\Driver.zkt").empty());
}

// The info line and the two choices stand on rows of their own: each caption and name is drawn
// once, and no text covers another, the focused choice included, in the engine's font at its
// real size (Arial 15: 20 pixels high).
TEST_F(SinglePlayerTest, EveryCaptionIsDrawnOnceAndNoneCoversAnother) {
    Text(60, "Driving");
    Text(61, "Car");
    Text(62, "Mission");
    Build();
    canvas.fontSizes[nullptr] = 20;
    canvas.charWidths[nullptr] = 10;
    SinglePlayerPage& page = OpenPage();
    page.fade = 0.0f;
    // A few frames: the widgets measure themselves as they update.
    for (int i = 0; i < 3; ++i) Frame();
    canvas.calls.clear();
    page.Render();

    const std::vector<testing_support::DrawCall> texts = canvas.Of("text");
    for (const char* caption : {"Driving", "car b", "Car", "Car B", "Mission", "Mission 0"})
        EXPECT_EQ(canvas.Of("text", caption).size(), 1u) << caption;
    auto box = [this](const testing_support::DrawCall& d) {
        const float w = float(canvas.CharWidth(d.font) * int32_t(d.what.size()));
        return std::array<float, 4>{d.x, d.y, d.x + w, d.y + float(canvas.FontSize(d.font))};
    };
    for (size_t i = 0; i < texts.size(); ++i)
        for (size_t k = i + 1; k < texts.size(); ++k) {
            const auto a = box(texts[i]), b = box(texts[k]);
            const bool apart = a[2] <= b[0] || b[2] <= a[0] || a[3] <= b[1] || b[3] <= a[1];
            EXPECT_TRUE(apart) << '"' << texts[i].what << "\" at (" << a[0] << ", " << a[1] << ") covers \""
                               << texts[k].what << "\" at (" << b[0] << ", " << b[1] << ")";
        }
}

// Without any car the page and its carousel do nothing: no step, no turn, no draw, no crash;
// a start still starts the mission (the game reports the missing car).
TEST_F(SinglePlayerTest, WithoutCarsThePageDoesNothingButStart) {
    std::filesystem::remove_all(dir.Path() + "/Vehicles");
    FrontEnd& fe = Build();
    SinglePlayerPage& page = OpenPage();
    EXPECT_EQ(page.view.ModelCount(), 0);
    EXPECT_TRUE(page.portraits.empty());
    page.nextCar.Execute();
    page.previousCar.Execute();
    page.view.TurnLeft();
    input.held = {kKeyLeft};
    input.mouseReleased = {0};
    input.cursor = {400, 200};
    page.fade = 0.0f;
    Frame();
    page.DrawWidgets();
    EXPECT_EQ(page.view.current, 0);
    input.held.clear();
    input.pressed = {kKeyReturn};
    Frame();
    EXPECT_EQ(engine->currentMLP, fe.missionLoadingScreen);
}

// ---------------------------------------------------------------------------------------------
// The carousel

// Names match in any case; stepping wraps over locked cars both ways; with none unlocked the
// index stays where it was (all question marks).
TEST_F(SinglePlayerTest, CarouselLocksAndStepping) {
    FrontEnd& fe = Build();
    CarSelectView& view = fe.singlePlayerPage->view;
    ASSERT_EQ(view.ModelCount(), 4);
    view.SetMission(1);
    EXPECT_EQ(std::vector<int>({view.models[0].locked, view.models[1].locked, view.models[2].locked,
                                view.models[3].locked}),
              (std::vector<int>{1, 0, 1, 0}));
    view.SelectFirstUnlocked();
    EXPECT_EQ(view.current, kCab);
    view.SelectPrevious();
    EXPECT_EQ(view.current, kRacer) << "back from the first unlocked wraps to the last";
    view.SelectNext();
    EXPECT_EQ(view.current, kCab) << "on from the last unlocked wraps to the first";

    view.current = kPolice;
    view.SetMission(2);
    for (const auto& model : view.models) EXPECT_EQ(model.locked, 1);
    view.SelectFirstUnlocked();
    view.SelectNext();
    view.SelectPrevious();
    EXPECT_EQ(view.current, kPolice);
}

// A click released inside the rectangle starts a drag (right and bottom edges outside); the next
// press ends it. While dragging the car turns by -sign(dx) dx^2 / 1000, the auto-turn cancelled.
TEST_F(SinglePlayerTest, DraggingStartsInsideTheRectangleAndTurnsBySquaredMovement) {
    FrontEnd& fe = Build();
    SinglePlayerPage& page = OpenPage();
    CarSelectView& view = page.view;
    const Rect r = SinglePlayerPage::kViewRect;
    struct Case {
        Point2i at;
        bool starts;
    } cases[] = {{{r.left, r.top}, true},        {{r.right - 1, r.bottom - 1}, true}, {{r.right, r.top}, false},
                 {{r.left, r.bottom}, false},    {{r.left - 1, 200}, false},          {{400, r.top - 1}, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.at.x << "," << c.at.y);
        view.flags &= uint8_t(~CarSelectView::kDragging);
        input.cursor = c.at;
        input.mouseReleased = {0};
        view.HandleInput(page);
        input.NextFrame();
        EXPECT_EQ((view.flags & CarSelectView::kDragging) != 0, c.starts);
        EXPECT_EQ(page.navigation, !c.starts);
        if (c.starts) {
            input.mousePressed = {0};
            view.HandleInput(page);
            input.NextFrame();
            EXPECT_EQ(view.flags & CarSelectView::kDragging, 0);
            EXPECT_TRUE(page.navigation);
        }
    }

    for (float dx : {10.0f, -20.0f, 0.0f}) {
        SCOPED_TRACE(dx);
        for (bool autoTurn : {false, true}) {
            view.flags = CarSelectView::kDragging;
            view.SetAutoTurn(autoTurn);
            const float before = view.models[size_t(view.current)].yaw;
            input.mouse.x = dx;
            view.HandleInput(page);
            input.NextFrame();
            const float sign = dx > 0 ? 1.0f : dx < 0 ? -1.0f : 0.0f;
            EXPECT_NEAR(view.models[size_t(view.current)].yaw - before, -sign * dx * dx * 0.001f + (autoTurn ? kFrame : 0.0f),
                        1e-5f);
        }
    }
    (void)fe;
}

// Question marks spin at 1 rad/s; the current car turns at -1 rad/s while auto-turn is on and
// stands still without it; the camera glides toward the current car's place.
TEST_F(SinglePlayerTest, QuestionMarksSpinAndTheCurrentCarTurnsTheOtherWay) {
    FrontEnd& fe = Build();
    CarSelectView& view = fe.singlePlayerPage->view;
    view.SetMission(0);
    view.SelectFirstUnlocked();
    for (auto& model : view.models) model.yaw = 0.0f;
    const float distance0 = (view.camera.position - view.models[kCab].cameraPosition).Length();
    for (int i = 0; i < 64; ++i) view.Update();
    EXPECT_NEAR(view.models[kAmbulance].yaw, 1.0f, 1e-4f);
    EXPECT_NEAR(view.models[kRacer].yaw, 1.0f, 1e-4f);
    EXPECT_NEAR(view.models[kCab].yaw, -1.0f, 1e-4f);
    EXPECT_LT((view.camera.position - view.models[kCab].cameraPosition).Length(), distance0 * 0.05f);
    view.SetAutoTurn(false);
    view.Update();
    EXPECT_NEAR(view.models[kCab].yaw, -1.0f, 1e-4f);
}

// ---------------------------------------------------------------------------------------------
// The score screen

namespace {

class ScoreTest : public SinglePlayerTest {
protected:
    // A won mission handed over: the main page without resume, the score screen over it.
    SpScoreScreen& Won(int32_t mission, float money) {
        FrontEnd& fe = frontEnd ? *frontEnd : Build();
        fe.game->session.mission = mission;
        fe.SetResumeEnabled(true);
        fe.ShowSinglePlayerScore(int32_t(money), SharedString("CabMetro"));
        EXPECT_FALSE(fe.ResumeEnabled());
        EXPECT_EQ(engine->currentMLP, fe.ScoreScreen());
        return *fe.ScoreScreen();
    }
    void Tables(const std::vector<float>& scores) {
        for (HighScoreTable& table : frontEnd->settings.scoreTables) {
            table.clear();
            for (float s : scores) table.push_back({SharedString("Old"), SharedString("Van"), s});
        }
    }
    void SetUp() override {
        SinglePlayerTest::SetUp();
        log = std::make_unique<testing_support::LogCapture>();
    }
    void TearDown() override {
        SinglePlayerTest::TearDown();
        log.reset();
    }
    std::unique_ptr<testing_support::LogCapture> log;
};

} // namespace

// The rank: the best place whose score the new one reaches (an equal score takes the place and
// pushes the old entry down); a score below the table enters nothing and the screen goes on at
// its first update.
TEST_F(ScoreTest, RankInTheTable) {
    struct Case {
        float score;
        int32_t rank;
    } cases[] = {{1000, 0}, {500, 0}, {300, 2}, {250, 3}, {100, 4}, {99, -1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.score);
        Rebuild();
        frontEnd->settings.highestUnlockedMission = 2; // no career step
        frontEnd->settings.lastPlayedMission = 1;
        Tables({500, 400, 300, 200, 100});
        SpScoreScreen& screen = Won(1, c.score);
        EXPECT_EQ(screen.rank, c.rank);
        EXPECT_EQ(screen.enteredTable, c.rank >= 0);
        const HighScoreTable& table = frontEnd->settings.scoreTables[1];
        ASSERT_EQ(table.size(), 5u);
        if (c.rank < 0) {
            EXPECT_EQ(screen.done, 1);
            EXPECT_EQ(FramesUntilChange(1), 1) << "the next step at the first update";
            continue;
        }
        EXPECT_FLOAT_EQ(table[size_t(c.rank)].score, c.score);
        EXPECT_EQ(input.listeners.size(), 1u);
        if (c.rank < 4) EXPECT_FLOAT_EQ(table[size_t(c.rank) + 1].score, c.rank == 0 ? 500.0f : 300.0f - 100.0f * float(c.rank - 2));
    }
}

// The career step and what follows the fade-out: the ending picture of an unlocking mission
// ("END 1"), the credits under the end screen when the new highest mission is the last but one
// ("END 2"), else the next mission's loading screen ("END 3"). Only the highest unlocked mission
// advances the career; a mission without a table (the quick start's) changes nothing.
TEST_F(ScoreTest, CareerStepAndTheNextScreen) {
    struct Case {
        const char* name;
        int32_t mission, last, highest;
        const char* unlock;
        int32_t lastAfter, highestAfter;
        const char* line;
    } cases[] = {
        {"first mission unlocks", 0, 0, 0, "Unlock", 1, 1, "END 1"},
        {"first mission, plain", 0, 0, 0, "", 1, 1, "END 3"},
        {"career's end", 1, 1, 1, "", 3, 3, "END 2"},
        {"not the highest", 0, 0, 1, "UNLOCK", 0, 1, "END 3"},
        {"last mission", 3, 3, 3, "UNLOCK", 3, 3, "END 3"},
        {"no table", 8, 0, 0, "UNLOCK", 0, 0, "END 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Rebuild();
        log->Clear();
        GameSettings& s = frontEnd->settings;
        s.lastPlayedMission = c.last;
        s.highestUnlockedMission = c.highest;
        Tables({500, 400, 300, 200, 100});
        Text(Block(c.mission) + 40, c.unlock);
        Text(Block(0) + 41, "Ending0.ZKT");
        Won(c.mission, 50); // below the table: straight on
        ASSERT_EQ(FramesUntilChange(1), 1);
        EXPECT_EQ(s.lastPlayedMission, c.lastAfter);
        EXPECT_EQ(s.highestUnlockedMission, c.highestAfter);
        EXPECT_TRUE(log->Contains(c.line)) << c.line;
        const std::string line = c.line;
        if (line == "END 1") {
            EXPECT_EQ(engine->currentMLP, frontEnd->Ending());
            EXPECT_EQ(engine->mlpStack.back(), frontEnd->mainPage);
            EXPECT_EQ(std::count(canvas.loads.begin(), canvas.loads.end(), "Ending0.ZKT"), 1);
        } else if (line == "END 2") {
            EXPECT_EQ(engine->currentMLP, frontEnd->End());
            EXPECT_EQ(engine->mlpStack.back(), frontEnd->creditsScreen);
        } else {
            ASSERT_EQ(engine->currentMLP, frontEnd->missionLoadingScreen);
            EXPECT_EQ(frontEnd->missionLoadingScreen->mission, c.highestAfter);
            EXPECT_EQ(frontEnd->missionLoadingScreen->third, 0);
            EXPECT_EQ(frontEnd->game->session.zone, c.highestAfter + 2 - 1);
        }
    }
}

// Typing the name: cut at 240 pixels (30 characters of the test font); Space commits it (the
// blank it typed is not part of it) and a second confirm leaves after the fade.
TEST_F(ScoreTest, SpaceCommitsTheNameAndASecondConfirmLeaves) {
    Build();
    frontEnd->settings.highestUnlockedMission = 1; // no career step, no career's end
    Tables({500, 400, 300, 200, 100});
    SpScoreScreen& screen = Won(1, 450);
    ASSERT_EQ(screen.rank, 1);
    input.Type(std::string(40, 'W').c_str());
    Frame();
    EXPECT_EQ(std::string(screen.TypedName().c_str()), std::string(30, 'W'));
    canvas.calls.clear();
    screen.pulse = 1.0f;
    screen.DrawBackground();
    EXPECT_EQ(canvas.Of("text", std::string(30, 'W') + "_").size(), 1u) << "the typed name with the cursor";
    EXPECT_EQ(canvas.Of("text", "450..").size(), 1u);

    input.Type(" ");
    input.pressed = {kKeySpace};
    Frame();
    EXPECT_EQ(screen.committed, 1);
    EXPECT_TRUE(input.listeners.empty());
    EXPECT_EQ(std::string(frontEnd->settings.scoreTables[1][1].name.c_str()), std::string(30, 'W'));
    EXPECT_EQ(std::string(frontEnd->settings.scoreTables[1][1].carName.c_str()), "CabMetro");
    EXPECT_EQ(screen.done, 0);

    input.pressed = {kKeySpace};
    Frame();
    EXPECT_EQ(screen.done, 1);
    // The fade back to black takes three seconds at most.
    EXPECT_GT(FramesUntilChange(64 * 3 + 2), 0);
    ASSERT_EQ(engine->currentMLP, frontEnd->missionLoadingScreen);
    EXPECT_EQ(frontEnd->missionLoadingScreen->mission, 1);
}

// A score screen freed while the name is being typed takes its listener off the input device.
TEST_F(ScoreTest, AFreedScoreScreenStopsListening) {
    Build();
    Tables({500, 400, 300, 200, 100});
    Won(0, 600);
    ASSERT_EQ(input.listeners.size(), 1u);
    Settle();
    frontEnd->Release();
    EXPECT_TRUE(input.listeners.empty());
}

// ---------------------------------------------------------------------------------------------
// The ending, end and credits screens

// The ending picture waits for a confirm or Escape, fades out and goes on: to the single-player
// page ("END 7"), or at the career's end to the credits under the end screen ("END 6"), every
// mission open.
TEST_F(ScoreTest, TheEndingGoesOnToThePageOrToTheCredits) {
    for (int32_t highest : {1, 2}) {
        SCOPED_TRACE(highest);
        Rebuild();
        log->Clear();
        frontEnd->settings.highestUnlockedMission = highest;
        frontEnd->ShowEnding(0);
        EndingScreen& ending = *frontEnd->Ending();
        ASSERT_EQ(engine->currentMLP, &ending);
        for (int i = 0; i < 10; ++i) Frame();
        EXPECT_EQ(ending.done, 0) << "waits";
        input.pressed = {kKeyEscape};
        Frame();
        EXPECT_EQ(ending.done, 1);
        ASSERT_GT(FramesUntilChange(64 * 3 + 2), 0);
        if (highest == 1) {
            EXPECT_TRUE(log->Contains("END 7"));
            EXPECT_EQ(engine->currentMLP, frontEnd->singlePlayerPage);
        } else {
            EXPECT_TRUE(log->Contains("END 6"));
            EXPECT_EQ(engine->currentMLP, frontEnd->End());
            EXPECT_EQ(frontEnd->settings.highestUnlockedMission, 3);
            EXPECT_EQ(frontEnd->settings.lastPlayedMission, 3);
        }
    }
}

// The end screen pops on Escape, Return, keypad Enter, Space or a joystick button, also while
// it fades in; after four seconds no black overlay is drawn.
TEST_F(ScoreTest, TheEndScreenPopsOnAnyConfirmAndStopsFadingAfterFourSeconds) {
    Build();
    input.joysticks.resize(1);
    for (int32_t way = 0; way < 5; ++way) {
        SCOPED_TRACE(way);
        engine->mlpStack.clear();
        engine->SetMLP(frontEnd->mainPage);
        frontEnd->ShowCreditsAndEnd();
        EndScreen& end = *frontEnd->End();
        Frame();
        ASSERT_GT(end.fadeIn, 0.9f) << "still fading";
        const uint32_t keys[] = {kKeyEscape, kKeyReturn, kKeyPadEnter, kKeySpace};
        if (way < 4) input.pressed = {keys[way]};
        else input.joysticks[0].pressed = {5};
        Frame();
        EXPECT_EQ(engine->currentMLP, frontEnd->creditsScreen);
    }
    engine->mlpStack.clear();
    engine->SetMLP(frontEnd->mainPage);
    frontEnd->ShowCreditsAndEnd();
    EndScreen& end = *frontEnd->End();
    canvas.calls.clear();
    end.DrawBackground();
    EXPECT_EQ(canvas.Of("fill").size(), 1u);
    for (int i = 0; i < 4 * 64; ++i) Frame();
    canvas.calls.clear();
    end.DrawBackground();
    EXPECT_TRUE(canvas.Of("fill").empty());
}

// The credits rise from below the bottom edge at 20 pixels a second, centred, 1.25 line heights
// apart; reopening starts them from the bottom again.
TEST_F(ScoreTest, CreditsRiseAndStartAgainOnReopening) {
    Build();
    CreditsScreen& credits = *frontEnd->creditsScreen;
    ASSERT_GE(credits.lines.size(), 3u);
    engine->PushMLP(&credits);
    Settle();
    credits.fade = 0.0f;
    for (int i = 0; i < 64 * 10; ++i) credits.Update();
    EXPECT_NEAR(credits.scroll, 200.0f, 1e-2f);
    canvas.calls.clear();
    credits.DrawWidgets();
    const auto first = canvas.Of("text", credits.lines[0].text.c_str());
    ASSERT_EQ(first.size(), 1u);
    EXPECT_NEAR(first[0].y, 600.0f - 200.0f, 1e-2f);
    EXPECT_NEAR(first[0].x, (800.0f - 8.0f * float(credits.lines[0].text.Length())) / 2.0f, 1e-2f);
    const auto second = canvas.Of("text", credits.lines[1].text.c_str());
    ASSERT_EQ(second.size(), 1u);
    EXPECT_NEAR(second[0].y - first[0].y, 1.25f * 16.0f, 1e-2f);

    engine->PopMLP();
    engine->PushMLP(&credits);
    Settle();
    EXPECT_EQ(credits.scroll, 0.0f);
    canvas.calls.clear();
    credits.DrawWidgets();
    EXPECT_TRUE(canvas.Of("text").empty() || canvas.Of("text")[0].y >= 600.0f) << "nothing above the bottom edge yet";
}
