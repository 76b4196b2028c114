#include "game/frontend/EndingScreen.h"

#include "engine/core/Debugger.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "game/frontend/FrontEnd.h"
#include "game/vehicles/DrivingActions.h"

namespace {

constexpr uint32_t kFlipRows = 1;
constexpr int32_t kPictureText = 9990041;
constexpr int32_t kMissionStride = 100;

} // namespace

EndingScreen::EndingScreen(FrontEnd& frontEnd, int32_t missionNumber)
    : MenuScreen(SharedString("EndScreen"), SharedString("End.ZKT")), mission(missionNumber), frontEnd_(frontEnd) {
    if (MenuCanvas* canvas = GetMenuCanvas())
        picture.reset(canvas->LoadPicture(frontEnd.engine.Text(kPictureText + kMissionStride * mission), kFlipRows));
}

EndingScreen::~EndingScreen() = default;

void EndingScreen::Update() {
    MenuScreen::Update();
    FrontEnd& fe = frontEnd_;
    InputDevice* input = fe.engine.input;
    if (input && (IsConfirmPressed(input) || input->Pressed(kKeyEscape)) && done == 0) done = 1;
    const float dt = fe.engine.FrameTime();
    fade = Clamp(fade + (done ? dt : -dt) / 3.0f, 0.0f, 1.0f);
    if (done != 1 || fade != 1.0f) return;
    // Once: the screens that follow take over.
    done = 2;
    GameSettings& settings = fe.settings;
    if (settings.highestUnlockedMission != settings.missionCount - 2) {
        Debugger::Instance().Log(1, "END 7");
        fe.PopToMainPage();
        fe.ShowSinglePlayerPage();
    } else {
        Debugger::Instance().Log(1, "END 6");
        settings.highestUnlockedMission = settings.missionCount - 1;
        fe.SetLastPlayedMission(settings.highestUnlockedMission);
        fe.PopToMainPage();
        fe.ShowCreditsAndEnd();
    }
}

void EndingScreen::DrawBackground() {
    MenuScreen::DrawBackground();
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    if (picture) canvas->DrawSpriteAnchored(picture.get(), nullptr, kMenuAnchorTopLeft, {0.0f, 0.0f}, kMenuAnchorTopLeft, nullptr, 0);
    if (fade > 0.0f) canvas->FillScreen(Color::FromBytes(0, 0, 0, uint8_t(fade * 255.0f)));
}
