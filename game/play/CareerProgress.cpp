#include "game/play/CareerProgress.h"

void CareerProgress::Advance() {
    if (currentMission == kMissionsPerEpisode - 1) {
        ++currentEpisode;
        currentMission = 0;
    } else {
        ++currentMission;
    }
    if (currentEpisode > furthestEpisode) {
        furthestEpisode = currentEpisode;
        furthestMission = currentMission;
    } else if (currentEpisode == furthestEpisode && currentMission > furthestMission) {
        furthestMission = currentMission;
    }
}
