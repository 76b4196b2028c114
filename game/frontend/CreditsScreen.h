#pragma once
// The credits page: a front-end page left with a confirm key (Return, numeric-pad Enter, Space
// or any joystick button) or Escape.
#include "game/frontend/FrontEndPage.h"

class CreditsScreen : public FrontEndPage {
public:
    explicit CreditsScreen(const EngineServices& engine);
    void Activate() override;
    void Update() override;

    // How far the lines have scrolled, at 20 pixels a second from each activation.
    float scroll = 0.0f;
};
