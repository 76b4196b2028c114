#include "game/frontend/CreditsScreen.h"

#include "engine/core/MLPStack.h"
#include "engine/core/InputActions.h"
#include "engine/core/InputDevice.h"

namespace {

constexpr float kScrollSpeed = 20.0f;

// Return, numeric-pad Enter, Space or any joystick button pressed this frame.
bool ConfirmPressed(InputDevice& input) {
    if (input.Pressed(kKeyReturn) || input.Pressed(kKeyPadEnter) || input.Pressed(kKeySpace)) return true;
    for (uint32_t j = 0; j < input.GetJoystickCount(); ++j)
        for (uint32_t b = 0; b < uint32_t(kInputJoystickButtons); ++b)
            if (input.JoystickPressed(j, b)) return true;
    return false;
}

} // namespace

CreditsScreen::CreditsScreen(const EngineServices& engine)
    : FrontEndPage(engine, SharedString("Main menu"), SharedString("Credits.ZKT")) {}

void CreditsScreen::Activate() {
    FrontEndPage::Activate();
    scroll = 0.0f;
}

void CreditsScreen::Update() {
    FrontEndPage::Update();
    scroll += kScrollSpeed * engine.FrameTime();
    InputDevice* input = engine.input;
    if (input && (ConfirmPressed(*input) || input->Pressed(kKeyEscape)) && engine.states) engine.states->PopMLP();
}
