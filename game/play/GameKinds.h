#pragma once
// What each kind of game is made of: the set-up creates a kind's pedestrian object, traffic and
// mode from this one table. Kinds whose classes do not exist yet create nothing of them; every
// reader of the mode, traffic or pedestrian pointers checks for null.
#include <cstdint>

#include "engine/core/SharedString.h"

enum class PedestrianObject : int32_t { None, Manager, Controller, NetController };
enum class ModeKind : int32_t { None, FareMission, SpeedBomb, DropRun, FreeDrive, Checkpoint, FareRace, Team };

struct KindRow {
    int32_t kind;
    PedestrianObject pedestrians;
    ModeKind mode;
    bool traffic;
    // The game type the game takes; -1 leaves it as it was.
    int32_t gameType;
    // The mode reads the mission's two mode parameters (texts 6 and 7 of its block).
    bool modeParameters;
};

// Kind 13 is decided by the mission's keyword first.
constexpr int32_t kKindFromKeyword = 13;

// "CAB" 0, "BONUS1".."BONUS5" 8..12, anything else (a different case too) 0.
int32_t KindFromKeyword(const SharedString& keyword);
// The row of a kind; null for a kind the table does not know.
const KindRow* FindKindRow(int32_t kind);
