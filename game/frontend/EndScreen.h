#pragma once
// The closing picture of the single-player side ("End.ZKT"): it fades in from black over four
// seconds from its making and stays until a confirm (Return, keypad Enter, Space or any
// joystick button) or Escape pops it, also while it is still fading in.
#include "engine/core/MenuScreen.h"

class FrontEnd;

class EndScreen : public MenuScreen {
public:
    static constexpr float kFadeInRate = 0.25f;

    // The front end outlives the screen.
    explicit EndScreen(FrontEnd& frontEnd);

    void Update() override;
    void DrawBackground() override;

    // 1 black at the making, falling by a quarter a second (below 0 nothing covers the picture).
    float fadeIn = 1.0f;

protected:
    // Screens that share the end screen's update under their own name and picture.
    EndScreen(FrontEnd& frontEnd, const SharedString& screenName, const SharedString& backgroundName);

    FrontEnd& frontEnd_;
};
