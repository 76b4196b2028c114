#pragma once
// What the running game asks of the menus above it: the front end implements it and hands it to
// the game when it builds it. A null pointer means no menus (tools, tests): the calls are skipped.
#include <cstdint>

#include "engine/core/SharedString.h"
#include "game/play/MultiplayerScore.h"

class MenuExits {
public:
    virtual ~MenuExits() = default;
    // The pause key: the main page with its resume link enabled.
    virtual void PauseToMenu() = 0;
    // A game that is over (or could not start): the main page, nothing to resume.
    virtual void ReturnToMainPage() = 0;
    // A won single-player mission: the score screen over the main page.
    virtual void ShowSinglePlayerScore(int32_t money, const SharedString& carName) = 0;
    // The end of a network game: its final table over the main page.
    virtual void ShowMultiplayerScore(const MultiplayerScoreTable& table) = 0;
    // The developer's shortcut: every mission of the single-player page open, kept by the
    // settings written next.
    virtual void OpenAllMissions() = 0;
    // Entering and leaving the game: the display mode and sound groups of each.
    virtual void ApplyGameVideoMode() = 0;
    virtual void ApplyMenuVideoMode() = 0;
};
