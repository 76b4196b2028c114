#include "game/frontend/CreditsScreen.h"

#include "engine/core/Engine.h"
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

CreditsScreen::CreditsScreen() : FrontEndPage(SharedString("Main menu"), SharedString("Credits.ZKT")) {}

void CreditsScreen::Activate() {
    FrontEndPage::Activate();
    scroll = 0.0f;
}

void CreditsScreen::Update() {
    FrontEndPage::Update();
    ZKEngine* engine = ZKEngine::Get();
    if (!engine) return;
    scroll += kScrollSpeed * engine->frameTime;
    if (engine->input && (ConfirmPressed(*engine->input) || engine->input->Pressed(kKeyEscape))) engine->PopMLP();
}
