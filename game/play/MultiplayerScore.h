#pragma once
// The final table of a network game, as the mode hands it to the menus: four title lines and
// one row per player in table order (grouped by team in the team game).
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"

struct MultiplayerScoreRow {
    SharedString name;
    int32_t score = 0;
    int32_t rankKey = 0;  // the team in the team game
    float money = 0.0f;
    int32_t deaths = 0;
    int32_t kills = 0;
    int32_t wrecked = 0;  // traffic cars
    int32_t pedestrians = 0;
};

struct MultiplayerScoreTable {
    SharedString titles[4];
    std::vector<MultiplayerScoreRow> rows;
    // The mode's game kind (14 to 17): it chooses the columns.
    int32_t kind = 0;
};
