#pragma once
// The picture a won mission unlocks: the mission's text B + 41 names it (B = 9990000 + 100 x
// mission). It fades in from black, waits for a confirm or Escape, fades out and goes on: to the
// single-player page, or at the career's end to the credits under the end screen.
#include <cstdint>
#include <memory>

#include "engine/core/MenuScreen.h"

class FrontEnd;
class MenuPicture;

class EndingScreen : public MenuScreen {
public:
    // The front end outlives the screen.
    EndingScreen(FrontEnd& frontEnd, int32_t mission);
    ~EndingScreen() override;

    void Update() override;
    void DrawBackground() override;

    // 1 black, 0 clear: toward 0 at a third a second, then back to 1 once done.
    float fade = 1.0f;
    int32_t done = 0;
    int32_t mission;
    std::unique_ptr<MenuPicture> picture;

private:
    FrontEnd& frontEnd_;
};
