#pragma once
// The credits page: a front-end page whose lines rise from below the bottom edge at 20 pixels a
// second from each activation, centred, each 1.25 of its font's height below the one before;
// left with a confirm key (Return, numeric-pad Enter, Space or any joystick button) or Escape.
#include <vector>

#include "engine/core/SharedString.h"
#include "game/frontend/FrontEndPage.h"

class Font;
class FrontEnd;

class CreditsScreen : public FrontEndPage {
public:
    static constexpr float kScrollSpeed = 20.0f;
    static constexpr float kLineSpacing = 1.25f;

    struct Line {
        SharedString text;
        // Null: the engine's font.
        const Font* font = nullptr;
    };

    // Headings in the heading font, the other lines in the line font (null: the engine's font).
    // The front end outlives the page.
    CreditsScreen(FrontEnd& frontEnd, const Font* headingFont, const Font* lineFont);
    void Activate() override;
    void Update() override;
    void DrawWidgets() override;

    std::vector<Line> lines;
    // How far the lines have scrolled, at 20 pixels a second from each activation.
    float scroll = 0.0f;

private:
    FrontEnd& frontEnd_;
    // Each line's offset below the first and its width, measured at the first drawing.
    std::vector<float> offsets_;
    std::vector<float> widths_;
};
