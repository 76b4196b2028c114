#include "game/frontend/ChatWidget.h"

#include <algorithm>
#include <cmath>

#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuScreen.h"

namespace {

bool Inside(const Rect& r, const Point2i& p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

} // namespace

ChatWidget::ChatWidget(const SharedString& captionText, const Font* captionFont, const EngineServices& engine)
    : TextWidget(captionText, captionFont), engine_(engine) {
    if (!font) font = engine.defaultFont;
    clientEnd.AddListener(this);
}

ChatWidget::~ChatWidget() {
    // Not the device's listener once gone.
    if (typing_ && engine_.input) engine_.input->RemoveTextListener(&typed_);
}

bool ChatWidget::HandleMouse(const Point2i& point) {
    if (TextWidget::HandleMouse(point)) return true;
    if (!Inside(Box(), point)) return false;
    if (IsEnabled()) return true;
    InputDevice* input = engine_.input;
    if (input && (input->MouseReleased(0) || input->MouseReleased(1))) PlayMenuSound(MenuSound::Refused);
    return false;
}

void ChatWidget::Fire(int32_t) {
    typing_ = !typing_;
    InputDevice* input = engine_.input;
    if (!typing_) {
        clientEnd.SendText(typed_.text);
        if (input) input->RemoveTextListener(&typed_);
    } else {
        typed_.text = SharedString("").Clone();
        typed_.cursor = -1;
        if (input) input->AddTextListener(&typed_);
    }
    // While typing the screen's own keys are off: Escape ends the line, it does not leave.
    if (MenuScreen* screen = MenuScreen::Current()) {
        screen->EnableNavigation(!typing_);
        screen->EnableMouse(!typing_);
        screen->ShowCursor(!typing_);
    }
}

void ChatWidget::TrimTyped() {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    int32_t length = typed_.text.Length();
    while (length > 0 && canvas->TextWidth(font, typed_.text, 0, length) > double(kTypedWidth)) --length;
    if (length == typed_.text.Length()) return;
    typed_.text.Assign(typed_.text.c_str(), length);
    typed_.cursor = std::min(typed_.cursor, length - 1);
}

void ChatWidget::HandleInput(const Point2i& cursor) {
    if (!typing_) {
        Widget::HandleInput(cursor);
        return;
    }
    TrimTyped();
    InputDevice* input = engine_.input;
    if (input && (input->Pressed(kKeyReturn) || input->Pressed(kKeyPadEnter) || input->Pressed(kKeyEscape)))
        Fire(kFireAccept);
}

void ChatWidget::Update() {
    TextWidget::Update();
    const MenuScreen* screen = MenuScreen::Current();
    cursorBlink = std::sin(10.0f * (screen ? screen->timeCurrent : 0.0f));
}

void ChatWidget::Draw(float alpha) {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    Color c = CaptionColor(alpha);
    if (typing_) {
        c = color;
        c.a = menu_detail::AlphaByte(alpha * float(color.a) / 255.0f);
    }
    const Vector2 p = CaptionPosition();
    canvas->DrawText(caption, p, kMenuAnchorTopLeft, &c, font, true);

    const float lineHeight = float(canvas->FontSize(font));
    const float left = float(area.left + kTextX), top = float(area.top);
    Color white;
    white.a = menu_detail::AlphaByte(alpha);
    int32_t i = 0;
    for (const SharedString& line : log_.Lines()) {
        const float y = float(kBoxHeight) - 1.5f * float(i) * lineHeight - 5.0f * lineHeight;
        if (y <= 0.0f) break;
        canvas->DrawText(line, {left, top + y}, kMenuAnchorTopLeft, &white, font, true);
        ++i;
    }
    // The input line along the bottom of the box.
    const float inputY = top + float(kBoxHeight) - 2.0f * lineHeight;
    if (typing_) {
        canvas->DrawText(typed_.text, {left, inputY}, kMenuAnchorTopLeft, &c, font, true);
        if (cursorBlink > 0.0f) {
            static const SharedString caret("_");
            canvas->DrawText(caret, {left + float(canvas->TextWidth(font, typed_.text)), inputY}, kMenuAnchorTopLeft,
                             &c, font, true);
        }
    } else {
        canvas->DrawText(engine_.Text(kHintText), {left, inputY}, kMenuAnchorTopLeft, &c, font, true);
    }
}
