#pragma once
// The developer commands of the in-game state, registered with its command map.
class Game;

void RegisterGameCommands(Game& game);