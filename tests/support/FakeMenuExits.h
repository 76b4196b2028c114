#pragma once
// A recording stand-in for the menus a running game calls back into.
#include <string>
#include <vector>

#include "engine/core/StartUp.h"
#include "game/play/MenuExits.h"

namespace testing_support {

class FakeMenuExits : public MenuExits {
public:
    void PauseToMenu() override { calls.push_back("PauseToMenu"); }
    void ReturnToMainPage() override { calls.push_back("ReturnToMainPage"); }
    void ShowSinglePlayerScore(int32_t money, const SharedString& carName) override {
        calls.push_back("ShowSinglePlayerScore " + std::to_string(money) + " " + std::string(carName.View()));
    }
    void ShowMultiplayerScore(const MultiplayerScoreTable&) override { calls.push_back("ShowMultiplayerScore"); }
    void OpenAllMissions() override { calls.push_back("OpenAllMissions"); }
    void ApplyGameVideoMode() override { calls.push_back("ApplyGameVideoMode"); }
    void ApplyMenuVideoMode() override { calls.push_back("ApplyMenuVideoMode"); }
    std::vector<std::string> calls;
};

// Front-end services that record the settings writes.
class RecordingFrontEndServices : public NullFrontEnd {
public:
    void WriteSettings(const SharedString& path) override { writes.emplace_back(path.View()); }
    std::vector<std::string> writes;
};

} // namespace testing_support
