#include "engine/core/ExitButton.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuScreen.h"

using namespace menu_detail;

namespace {

InputDevice* Input() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->input : nullptr;
}

const SharedString& Text(int32_t key) {
    static const SharedString none("");
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->Language().GetString(key) : none;
}

constexpr float kCover = 0.75f;
constexpr float kCoverIn = 2.0f;
constexpr float kCoverOut = 3.0f;

bool Inside(const Rect& r, const Point2i& p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

// The key named by an answer's text, logged when it names none.
int32_t AnswerKey(int32_t textKey) {
    const SharedString& text = Text(textKey);
    const int32_t key = ExitButton::KeyOfText(text);
    if (key < 0)
        Debugger::Instance().Log(2, "MENU: text %d (\"%s\") does not begin with a letter A..Z; that answer has no key",
                                 textKey, text.c_str());
    return key;
}

} // namespace

int32_t ExitButton::KeyOfText(const SharedString& text) {
    if (text.IsEmpty()) return -1;
    const char c = text[0];
    return c >= 'A' && c <= 'Z' ? int32_t(c - 'A') : -1;
}

ExitButton::ExitButton(const SharedString& captionText, MenuOption* boundOption)
    : TextWidget(captionText, nullptr), option(boundOption) {
    LoadMenuPicture(MenuImage::Exit);
    MakeMenuSound(MenuSound::Exit);
    if (option) option->widget = this;
}

void ExitButton::Tell(int32_t value) {
    if (option) option->Set(value);
}

void ExitButton::Fire(int32_t) {
    dialogState = kOpen | uint32_t(kStay);
    quitKey_ = AnswerKey(kTextQuitKey);
    stayKey_ = AnswerKey(kTextStayKey);
    if (MenuScreen* screen = MenuScreen::Current()) {
        screen->EnableNavigation(false);
        screen->EnableMouse(false);
    }
    PlayMenuSound(MenuSound::Exit);
    Tell(kValueOpened);
}

void ExitButton::Close() {
    dialogState &= ~kOpen;
    if (MenuScreen* screen = MenuScreen::Current()) {
        screen->EnableNavigation(true);
        screen->EnableMouse(true);
    }
    PlayMenuSound(MenuSound::Click);
}

void ExitButton::Quit() {
    Tell(kValueQuit);
    if (ZKEngine* engine = ZKEngine::Get()) engine->Stop();
}

void ExitButton::Stay() {
    Tell(kValueStay);
    Close();
}

void ExitButton::Answer() {
    if (Highlighted() == kQuit) Quit();
    else Stay();
}

void ExitButton::Highlight(int32_t answer) {
    if (Highlighted() == answer) return;
    Tell(kValueHighlight);
    PlayMenuSound(MenuSound::Click);
    dialogState = (dialogState & kOpen) | uint32_t(answer);
}

void ExitButton::HandleInput(const Point2i& cursor) {
    if (!IsOpen()) {
        Widget::HandleInput(cursor);
        return;
    }
    InputDevice* input = Input();
    if (!input) return;
    if (input->Pressed(kKeyEscape) || input->Pressed(kKeyBackspace)) Close();
    if (quitKey_ >= 0 && input->Pressed(uint32_t(quitKey_))) Quit();
    if (stayKey_ >= 0 && input->Pressed(uint32_t(stayKey_))) Stay();
    if (input->Repeat(kKeyLeft, 0.25f, 0.05f) || input->Repeat(kKeyRight, 0.25f, 0.05f)) {
        Tell(kValueHighlight);
        PlayMenuSound(MenuSound::Click);
        dialogState = (dialogState & kOpen) | uint32_t(Highlighted() == kQuit ? kStay : kQuit);
        PlayMenuSound(MenuSound::Click);
    }
    if (input->Pressed(kKeyReturn) || input->Pressed(kKeyPadEnter)) Answer();

    const MouseState* mouse = input->GetMouseState();
    const bool moved = mouse && (mouse->x != 0.0f || mouse->y != 0.0f);
    const bool click = input->MousePressed(0);
    if (moved || click) {
        MenuCanvas* canvas = GetMenuCanvas();
        const int32_t w = canvas ? canvas->ScreenWidth() : 0, h = canvas ? canvas->ScreenHeight() : 0;
        if (Inside(TextRect(w / 2 - 90, h / 2 + 24, font, Text(kTextQuit)), cursor)) {
            Highlight(kQuit);
            if (click) Quit();
        }
        if (Inside(TextRect(w / 2 + 64, h / 2 + 24, font, Text(kTextStay)), cursor)) {
            Highlight(kStay);
            if (click) Stay();
        }
    }
    if (input->MousePressed(2) || input->MousePressed(3)) Answer();
}

void ExitButton::Update() {
    TextWidget::Update();
    const float dt = FrameTime();
    if (IsOpen()) overlay = std::min(overlay + kCoverIn * dt, kCover);
    else if (overlay > 0.0f) overlay = std::max(overlay - kCoverOut * dt, 0.0f);
}

void ExitButton::Draw(float alpha) {
    TextWidget::Draw(alpha);
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas || overlay <= 0.0f) return;
    Color cover;
    cover.Set(0, 0, 0, AlphaByte(overlay));
    canvas->FillScreen(cover);
    const float s = std::sqrt(overlay);
    Color shown;
    shown.a = AlphaByte(s);
    if (MenuPicture* picture = GetMenuPicture(MenuImage::Exit))
        canvas->DrawSpriteAnchored(picture, nullptr, kMenuAnchorCentre, {0.0f, 0.0f}, kMenuAnchorCentre, &shown,
                                   kMenuDrawAlpha);
    const SharedString& question = Text(kTextQuestion);
    canvas->DrawText(question, {float(int32_t(-0.5 * canvas->TextWidth(font, question))), -32.0f}, kMenuAnchorCentre,
                     &shown, font, true);
    Color lit;
    lit.a = AlphaByte(s * pulse);
    const SharedString& quit = Text(kTextQuit);
    const SharedString& stay = Text(kTextStay);
    canvas->DrawText(quit, {float(int32_t(-73.0 - 0.5 * canvas->TextWidth(font, quit))), 22.0f}, kMenuAnchorCentre,
                     Highlighted() == kQuit ? &lit : &shown, font, true);
    canvas->DrawText(stay, {float(int32_t(73.0 - 0.5 * canvas->TextWidth(font, stay))), 22.0f}, kMenuAnchorCentre,
                     Highlighted() == kStay ? &lit : &shown, font, true);
}
