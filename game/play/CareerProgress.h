#pragma once
// Where the player has got to: episodes of four missions, the current one and the furthest one
// reached. The front end fills it from the settings and writes it back.
#include <cstdint>

struct CareerProgress {
    static constexpr int32_t kMissionsPerEpisode = 4;

    int32_t currentEpisode = 0;
    int32_t currentMission = 0;
    int32_t furthestEpisode = 0;
    int32_t furthestMission = 0;
    // The single-player page's mission offered next: the one last played.
    int32_t lastPlayedMission = 0;

    // A won mission: on to the next mission (after the fourth, the next episode's first) and the
    // furthest values raised when the new current one lies beyond them.
    void Advance();
};
