#include "game/frontend/EndScreen.h"

#include "engine/core/InputDevice.h"
#include "engine/core/MLPStack.h"
#include "engine/core/MenuCanvas.h"
#include "game/frontend/FrontEnd.h"
#include "game/play/Game.h"

EndScreen::EndScreen(FrontEnd& frontEnd) : EndScreen(frontEnd, SharedString("EndScreen"), SharedString("End.ZKT")) {}

EndScreen::EndScreen(FrontEnd& frontEnd, const SharedString& screenName, const SharedString& backgroundName)
    : MenuScreen(screenName, backgroundName), frontEnd_(frontEnd) {}

void EndScreen::Update() {
    MenuScreen::Update();
    const EngineServices& engine = frontEnd_.engine;
    InputDevice* input = engine.input;
    const bool confirmed = frontEnd_.game && frontEnd_.game->AnyButtonPressed();
    if ((confirmed || (input && input->Pressed(kKeyEscape))) && engine.states) engine.states->PopMLP();
    fadeIn -= kFadeInRate * engine.FrameTime();
}

void EndScreen::DrawBackground() {
    MenuScreen::DrawBackground();
    MenuCanvas* canvas = GetMenuCanvas();
    if (canvas && fadeIn > 0.0f) canvas->FillScreen(Color::FromBytes(0, 0, 0, uint8_t(fadeIn * 255.0f)));
}
