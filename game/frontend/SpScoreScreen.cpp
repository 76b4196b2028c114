#include "game/frontend/SpScoreScreen.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Debugger.h"
#include "engine/core/MenuCanvas.h"
#include "game/frontend/FrontEnd.h"
#include "game/play/Game.h"
#include "game/vehicles/DrivingActions.h"

namespace {

constexpr int32_t kMissionBlock = 9990000;
constexpr int32_t kMissionStride = 100;
constexpr int32_t kUnlockText = 40;
constexpr int32_t kRespawnZoneText = 30;
constexpr float kRowSpacing = 1.25f;
constexpr float kNameColumn = 50.0f;
constexpr float kCarColumn = 250.0f;
constexpr float kScoreColumn = 500.0f;
constexpr float kOtherRowAlpha = 0.6f;

} // namespace

SpScoreScreen::SpScoreScreen(FrontEnd& frontEnd, float wonScore, const SharedString& wonCar)
    : MenuScreen(SharedString("SPScore"), SharedString("SPScore.ZKT")), score(wonScore), carName(wonCar),
      frontEnd_(frontEnd) {}

SpScoreScreen::~SpScoreScreen() { StopListening(); }

void SpScoreScreen::StopListening() {
    if (!listening_) return;
    if (InputDevice* input = frontEnd_.engine.input) input->RemoveTextListener(&listener_);
    listening_ = false;
}

void SpScoreScreen::Activate() {
    MenuScreen::Activate();
    GameSettings& settings = frontEnd_.settings;
    committed = 0;
    enteredTable = 0;
    rank = -1;
    unlockAlpha = 0.0f;
    unlockShown = 0;
    mission = frontEnd_.game ? frontEnd_.game->session.mission : -1;
    // A mission without a table (the quick start's, or one past the count) has nothing to enter
    // and nothing to advance.
    const bool hasTable = mission >= 0 && size_t(mission) < settings.scoreTables.size();
    if (hasTable) {
        const HighScoreTable& table = settings.scoreTables[size_t(mission)];
        for (int32_t i = int32_t(std::min<size_t>(table.size(), kHighScoreEntries)) - 1; i >= 0; --i) {
            if (table[size_t(i)].score > score) continue;
            enteredTable = 1;
            highlight = 1.0f;
            rank = i;
        }
    }
    if (hasTable && settings.lastPlayedMission == settings.highestUnlockedMission &&
        settings.highestUnlockedMission < settings.missionCount - 1) {
        SharedString unlock = frontEnd_.engine.Text(kMissionBlock + kMissionStride * mission + kUnlockText).Clone();
        mission = settings.lastPlayedMission;
        frontEnd_.SetLastPlayedMission(settings.highestUnlockedMission + 1);
        settings.highestUnlockedMission = settings.lastPlayedMission;
        unlock.ToUpper();
        if (unlock == "UNLOCK") {
            unlockAlpha = 1.0f;
            unlockShown = 1;
        }
    }
    listener_.text = SharedString("");
    listener_.cursor = 0;
    typedName = SharedString("");
    tablePosition = Vector2{kTableX, kTableY};
    if (enteredTable && mission >= 0 && size_t(mission) < settings.scoreTables.size()) {
        HighScoreTable& table = settings.scoreTables[size_t(mission)];
        table.insert(table.begin() + rank, HighScoreEntry{SharedString(""), carName, score});
        if (table.size() > size_t(kHighScoreEntries)) table.resize(kHighScoreEntries);
        if (InputDevice* input = frontEnd_.engine.input; input && !listening_) {
            input->AddTextListener(&listener_);
            listening_ = true;
        }
        EnableNavigation(false);
        EnableMouse(false);
        FormatRows();
    } else {
        enteredTable = 0;
        done = 1;
    }
}

void SpScoreScreen::HandleInput() {
    if (navigation) MenuScreen::HandleInput();
    InputDevice* input = frontEnd_.engine.input;
    if (!enteredTable || !input) return;
    if (!committed) {
        // The name is cut to what fits its column.
        MenuCanvas* canvas = GetMenuCanvas();
        while (canvas && listener_.text.Length() > 0 && canvas->TextWidth(nullptr, listener_.text) > kNameWidth) {
            listener_.text.Assign(listener_.text.c_str(), listener_.text.Length() - 1);
            listener_.cursor = std::min(listener_.cursor, listener_.text.Length());
        }
        if (!IsConfirmPressed(input)) return;
        // Space confirms; the blank it also typed is not part of the name.
        typedName = listener_.text.TrimRight();
        StopListening();
        committed = 1;
        GameSettings& settings = frontEnd_.settings;
        if (mission >= 0 && size_t(mission) < settings.scoreTables.size() &&
            size_t(rank) < settings.scoreTables[size_t(mission)].size())
            settings.scoreTables[size_t(mission)][size_t(rank)] = HighScoreEntry{typedName, carName, score};
        EnableNavigation(true);
        EnableMouse(true);
        return;
    }
    if (IsConfirmPressed(input) || input->Pressed(kKeySpace)) done = 1;
}

void SpScoreScreen::Update() {
    MenuScreen::Update();
    const float dt = frontEnd_.engine.FrameTime();
    pulse = std::sin(10.0f * timeCurrent);
    fadeLevel -= 0.25f * dt;
    outgoingFade = Clamp(outgoingFade + (done ? dt : -dt) / 3.0f, 0.0f, 1.0f);
    if (done == 1 && outgoingFade == 1.0f) GoOn();
}

void SpScoreScreen::GoOn() {
    // Once: the screens that follow take over.
    done = 2;
    FrontEnd& fe = frontEnd_;
    GameSettings& settings = fe.settings;
    Debugger& log = Debugger::Instance();
    if (unlockShown) {
        log.Log(1, "END 1");
        fe.PopToMainPage();
        fe.ShowEnding(mission);
    } else if (settings.highestUnlockedMission == settings.missionCount - 2) {
        log.Log(1, "END 2");
        settings.highestUnlockedMission = settings.missionCount - 1;
        fe.SetLastPlayedMission(settings.highestUnlockedMission);
        fe.PopToMainPage();
        fe.ShowCreditsAndEnd();
    } else {
        log.Log(1, "END 3");
        fe.PopToMainPage();
        const int32_t next = settings.highestUnlockedMission;
        if (fe.game)
            fe.game->session.zone = fe.engine.Text(kMissionBlock + kMissionStride * next + kRespawnZoneText).ToInt() - 1;
        fe.StartMission(next, fe.game ? fe.game->session.episode : 0, 0);
    }
}

void SpScoreScreen::DrawBackground() {
    MenuScreen::DrawBackground();
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    const GameSettings& settings = frontEnd_.settings;
    if (highlight != 0.0f && mission >= 0 && size_t(mission) < settings.scoreTables.size()) {
        const HighScoreTable& table = settings.scoreTables[size_t(mission)];
        const float step = kRowSpacing * float(canvas->FontSize(nullptr));
        for (size_t r = 0; r < table.size() && r < size_t(kHighScoreEntries); ++r) {
            const bool mine = int32_t(r) == rank && enteredTable;
            Color c;
            c.a = uint8_t((mine ? 1.0f : kOtherRowAlpha) * 255.0f);
            const float x = tablePosition.x, y = tablePosition.y + step * float(r);
            const HighScoreEntry& entry = table[r];
            canvas->DrawText(rowTexts_.number[r], {x, y}, kMenuAnchorTopLeft, &c, nullptr, true);
            if (mine && !committed) {
                const bool cursorOn = pulse > 0.0f;
                canvas->DrawText(cursorOn ? TypedWithCursor() : listener_.text, {x + kNameColumn, y}, kMenuAnchorTopLeft,
                                 &c, nullptr, true);
            } else {
                canvas->DrawText(entry.name, {x + kNameColumn, y}, kMenuAnchorTopLeft, &c, nullptr, true);
            }
            canvas->DrawText(mine ? rowTexts_.ownCar : rowTexts_.car[r], {x + kCarColumn, y}, kMenuAnchorTopLeft, &c,
                             nullptr, true);
            canvas->DrawText(mine ? rowTexts_.ownScore : rowTexts_.score[r], {x + kScoreColumn, y}, kMenuAnchorTopLeft,
                             &c, nullptr, true);
        }
    }
    if (outgoingFade > 0.0f) canvas->FillScreen(Color::FromBytes(0, 0, 0, uint8_t(outgoingFade * 255.0f)));
}

void SpScoreScreen::FormatRows() {
    const GameSettings& settings = frontEnd_.settings;
    const HighScoreTable* table =
        mission >= 0 && size_t(mission) < settings.scoreTables.size() ? &settings.scoreTables[size_t(mission)] : nullptr;
    for (size_t r = 0; r < size_t(kHighScoreEntries); ++r) {
        rowTexts_.number[r] = SharedString::Format("%d..", int32_t(r) + 1);
        const HighScoreEntry* entry = table && r < table->size() ? &(*table)[r] : nullptr;
        rowTexts_.car[r] = SharedString::Format("%s..", entry ? entry->carName.c_str() : "");
        rowTexts_.score[r] = SharedString::Format("%.0f..", entry ? double(entry->score) : 0.0);
    }
    rowTexts_.ownCar = SharedString::Format("%s..", carName.c_str());
    rowTexts_.ownScore = SharedString::Format("%.0f..", double(score));
}

const SharedString& SpScoreScreen::TypedWithCursor() {
    if (typedSource_.IsNull() || listener_.text != typedSource_) {
        typedSource_ = listener_.text.Clone();
        typedShown_ = SharedString::Format("%s_", typedSource_.c_str());
    }
    return typedShown_;
}
