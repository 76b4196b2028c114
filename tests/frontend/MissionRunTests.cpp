// The cab missions played headless through the whole program on the demo tree: from the main
// page to the single-player page, Return starts the career's mission; the player's car is
// placed beside a currency pedestrian, which boards, and at its destination, where it pays; when
// the level time is out the mission is won, the settings written, and three seconds later the
// score screen shows.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "engine/core/InputDevice.h"
#include "engine/core/LanguageSet.h"
#include "game/frontend/FrontEnd.h"
#include "game/frontend/FrontEndPage.h"
#include "game/frontend/SinglePlayerPage.h"
#include "game/play/FareMissionMode.h"
#include "game/play/Game.h"
#include "game/traffic/CurrencyPedestrian.h"
#include "game/traffic/PedestrianController.h"
#include "game/vehicles/Vehicle.h"
#include "game/world/LevelData.h"
#include "tests/support/GameHarness.h"
#include "tools/writers/LanguageWriter.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

using testing_support::GameHarness;

namespace {

constexpr int32_t kMaxFrames = 4000;

// Rewrites texts of the tree's language set.
bool OverrideTexts(const GameHarness& h, const std::map<int32_t, std::string>& texts) {
    const SharedString path((h.Root() + "/Misc/DefaultEnglish.ZKL").c_str());
    LanguageTexts read;
    LanguageSet set(&read);
    if (!set.Load(path, &read)) return false;
    tools::LanguageFile file;
    file.header = set.Header();
    file.name = set.Name();
    file.inverted = true;
    file.texts = read.entries;
    for (const auto& [key, text] : texts) file.texts[key] = SharedString(text.c_str());
    return tools::WriteLanguageFile(path, file);
}

// An ordinary pedestrian kind in the tree when it has none yet: a figure that walks.
bool EnsurePedestrianKind(const GameHarness& h) {
    namespace fs = std::filesystem;
    const fs::path kinds = fs::path(h.Root()) / "Pedestrians";
    if (fs::exists(kinds / "PED01.VQP")) return true;
    fs::create_directories(kinds / "PED01");
    { std::ofstream(kinds / "PED01.VQP"); }
    return tools::WriteZkm(SharedString((kinds / "PED01" / "Body.ZKM").string().c_str()), tools::FigureModel("F.ZKT")) &&
           tools::WriteZka(SharedString((kinds / "PED01" / "Walk.ZKA").string().c_str()), tools::WaveAnimation(4, 0.25f));
}

// Steps a page's selection down until the widget is selected; single presses only while the
// page takes input.
class Selector {
public:
    bool Select(GameHarness& h, int32_t frame, MenuScreen& page, int32_t widget) {
        if (page.selected == widget) return true;
        if (page.fade == 0.0f && frame >= next_) {
            h.Tap(frame + 1, kKeyDown);
            next_ = frame + 4;
        }
        return false;
    }
    bool Ready(int32_t frame, const MenuScreen& page, int32_t frames = 4) {
        if (page.fade != 0.0f || frame < next_) return false;
        next_ = frame + frames;
        return true;
    }

private:
    int32_t next_ = 0;
};

PedestrianController* Controller(GameHarness& h) {
    return dynamic_cast<PedestrianController*>(h.GameState().pedestrians.get());
}

}  // namespace

TEST(MissionRun, AFarePaysAndTheCabMissionIsWonAtTheEndOfItsTime) {
    GameHarness harness(METROFARE_DEMO_BINARY, 7);
    ASSERT_TRUE(harness.TreeWritten());
    ASSERT_TRUE(EnsurePedestrianKind(harness));
    // Mission 0: ten seconds to earn 1, less than any fare pays.
    ASSERT_TRUE(OverrideTexts(harness, {{9990006, "10"}, {9990007, "1"}}));
    const std::filesystem::path settings = std::filesystem::path(harness.Root()) / "Misc" / "Default.VQS";
    std::filesystem::remove(settings);

    enum Step { ToPage, OnPage, Loading, CarSelect, Waiting, Boarding, Delivering, Running, HandingOver, Done };
    Step step = ToPage;
    Selector selector;
    int32_t stepFrame = 0, price = -1, wonFrame = -1, scoreFrame = -1, careerMission = -1;
    float money = -1.0f;
    bool settingsWritten = false;
    std::string ticker;
    CurrencyPedestrianBase* fare = nullptr;
    const int32_t frames = harness.Run(
        [&](GameHarness& h, int32_t frame) {
            FrontEnd& fe = h.Front();
            const std::string current = h.CurrentName();
            switch (step) {
            case ToPage:
                if (current == "Main" && selector.Select(h, frame, *fe.mainPage, FrontEnd::kSinglePlayerLink) &&
                    selector.Ready(frame, *fe.mainPage)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = OnPage;
                }
                break;
            case OnPage:
                if (current == "Single player" && selector.Ready(frame, *fe.singlePlayerPage)) {
                    h.Tap(frame + 1, kKeyReturn);
                    step = Loading;
                }
                break;
            case Loading:
                if (current == "Game") {
                    h.Tap(frame + 5, kKeyReturn);  // the car select
                    step = CarSelect;
                }
                break;
            case CarSelect:
                if (h.HasPlayerCar() && h.Mode() && h.Mode()->started) step = Waiting;
                break;
            case Waiting:
                if (PedestrianController* c = Controller(h); c && !c->active.empty()) {
                    fare = c->active.front();
                    // Stopped 50 from it, on its pavement.
                    h.PlaceCar(fare->GetPosition() + Vector3(50.0f, 8.0f, 0.0f));
                    stepFrame = frame;
                    step = Boarding;
                }
                break;
            case Boarding:
                if (fare->state == Fare::InCab) {
                    price = fare->price;
                    const DropPoint* to = fare->Destination();
                    EXPECT_NE(to, nullptr);
                    if (to) h.PlaceCar(to->position + Vector3(0.0f, 15.0f, 0.0f));
                    step = Delivering;
                } else if (frame > stepFrame + 600) {
                    ADD_FAILURE() << "the fare never boarded; its state is " << fare->state;
                    return false;
                }
                break;
            case Delivering:
                if (!fare->cab) {
                    auto* mode = dynamic_cast<FareMissionMode*>(h.Mode());
                    money = mode ? mode->money : -1.0f;
                    if (mode && !mode->ticker.empty()) ticker = mode->ticker.back().c_str();
                    step = Running;
                }
                break;
            case Running:
                if (h.Mode() && h.Mode()->won) {
                    wonFrame = frame;
                    careerMission = h.GameState().career.currentMission;
                    settingsWritten = std::filesystem::exists(settings);
                    step = HandingOver;
                }
                break;
            case HandingOver:
                if (current == "SPScore") {
                    scoreFrame = frame;
                    step = Done;
                    return false;
                }
                break;
            case Done:
                return false;
            }
            return true;
        },
        kMaxFrames);

    ASSERT_EQ(step, Done) << "after " << frames << " frames";
    EXPECT_GT(price, 0);
    EXPECT_FLOAT_EQ(money, float(price));
    EXPECT_EQ(ticker, "You made it!");
    EXPECT_TRUE(settingsWritten) << "a won mission writes the settings";
    // Three seconds of fade at 75 frames a second, then the score screen.
    EXPECT_NEAR(scoreFrame - wonFrame, 225, 3);
    EXPECT_EQ(careerMission, 1) << "the career moves on to the next mission";
}
