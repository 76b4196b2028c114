#include "game/play/GameMode.h"

#include "engine/core/Debugger.h"

GameMode::GameMode() {
    resetAllowed = 1;
    respawn = 1;
}

void GameMode::Fail() {
    if (failed) return;
    failed = true;
    ended = 1;
    Debugger::Instance().Message("GAME: Mission failed");
}
