#include "game/frontend/CreditsScreen.h"

#include "engine/core/InputDevice.h"
#include "engine/core/MLPStack.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/Widget.h"
#include "game/frontend/FrontEnd.h"
#include "game/play/Game.h"

namespace {

// Placeholder credits about the game itself; a heading starts with '#'.
constexpr const char* kCredits[] = {
    "#Metrofare",
    "A taxi-driving and car-combat game",
    "",
    "#Engine",
    "Frames, states and the console",
    "Meshes, sprites and fonts on OpenGL",
    "Voices, streams and volume groups",
    "Sessions and channels over the network",
    "",
    "#City",
    "Streets, skies and lights",
    "Rigid bodies and collisions",
    "Cabs, crates and their weapons",
    "Traffic, pedestrians and fares",
    "",
    "#Front end",
    "Menus, carousel and score tables",
    "Settings, profiles and key bindings",
    "",
    "#Thanks",
    "Everyone who ever hailed a cab",
    "",
    "Thank you for playing",
};

} // namespace

CreditsScreen::CreditsScreen(FrontEnd& frontEnd, const Font* headingFont, const Font* lineFont)
    : FrontEndPage(frontEnd.engine, SharedString("Main menu"), SharedString("Credits.ZKT")), frontEnd_(frontEnd) {
    for (const char* text : kCredits) {
        const bool heading = text[0] == '#';
        lines.push_back({SharedString(heading ? text + 1 : text), heading ? headingFont : lineFont});
    }
}

void CreditsScreen::Activate() {
    FrontEndPage::Activate();
    scroll = 0.0f;
}

void CreditsScreen::Update() {
    FrontEndPage::Update();
    scroll += kScrollSpeed * engine.FrameTime();
    InputDevice* input = engine.input;
    const bool confirmed = frontEnd_.game && frontEnd_.game->AnyButtonPressed();
    if ((confirmed || (input && input->Pressed(kKeyEscape))) && engine.states) engine.states->PopMLP();
}

void CreditsScreen::DrawWidgets() {
    FrontEndPage::DrawWidgets();
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    if (offsets_.size() != lines.size()) {
        offsets_.clear();
        widths_.clear();
        float offset = 0.0f;
        for (const Line& line : lines) {
            offsets_.push_back(offset);
            widths_.push_back(float(canvas->TextWidth(line.font, line.text)));
            offset += kLineSpacing * float(canvas->FontSize(line.font));
        }
    }
    const float width = float(canvas->ScreenWidth()), height = float(canvas->ScreenHeight());
    Color white;
    white.a = menu_detail::AlphaByte(1.0f - fade);
    for (size_t i = 0; i < lines.size(); ++i) {
        const float y = height + offsets_[i] - scroll;
        // Only what is on the screen.
        if (y > height) break;
        if (y + float(canvas->FontSize(lines[i].font)) < 0.0f || lines[i].text.IsEmpty()) continue;
        canvas->DrawText(lines[i].text, {(width - widths_[i]) * 0.5f, y}, kMenuAnchorTopLeft, &white, lines[i].font, true);
    }
}
