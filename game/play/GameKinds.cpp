#include "game/play/GameKinds.h"

namespace {

const KindRow kRows[] = {
    {0, PedestrianObject::Controller, ModeKind::FareMission, true, 0, false},
    {8, PedestrianObject::Manager, ModeKind::SpeedBomb, true, 8, true},
    {9, PedestrianObject::Controller, ModeKind::DropRun, true, 9, true},
    {10, PedestrianObject::Controller, ModeKind::FareMission, true, 10, false},
    {11, PedestrianObject::None, ModeKind::None, false, -1, false},
    {12, PedestrianObject::Manager, ModeKind::FreeDrive, true, 12, false},
    {14, PedestrianObject::Manager, ModeKind::Checkpoint, true, 14, false},
    {15, PedestrianObject::Manager, ModeKind::Checkpoint, true, 14, false},
    {16, PedestrianObject::Manager, ModeKind::FareRace, true, 16, false},
    {17, PedestrianObject::NetController, ModeKind::Team, true, 14, false},
};

} // namespace

int32_t KindFromKeyword(const SharedString& keyword) {
    static const struct {
        const char* word;
        int32_t kind;
    } kWords[] = {{"CAB", 0}, {"BONUS1", 8}, {"BONUS2", 9}, {"BONUS3", 10}, {"BONUS4", 11}, {"BONUS5", 12}};
    for (const auto& w : kWords)
        if (keyword == w.word) return w.kind;
    return 0;
}

const KindRow* FindKindRow(int32_t kind) {
    for (const KindRow& row : kRows)
        if (row.kind == kind) return &row;
    return nullptr;
}
