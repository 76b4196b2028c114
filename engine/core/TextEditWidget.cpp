#include "engine/core/TextEditWidget.h"

#include <algorithm>
#include <cmath>

#include "engine/core/Engine.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"
#include "engine/core/MenuScreen.h"

using namespace menu_detail;

namespace {

InputDevice* Input() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->input : nullptr;
}

constexpr int32_t kMinValueWidth = 10;

// Per channel: a x b / 255.
Color Tint(const Color& a, const Color& b) {
    Color c;
    c.Set(uint8_t(a.r * b.r / 255), uint8_t(a.g * b.g / 255), uint8_t(a.b * b.b / 255), uint8_t(a.a * b.a / 255));
    return c;
}

const SharedString& Caret() {
    static const SharedString caret("_");
    return caret;
}

const SharedString& NoText() {
    static const SharedString empty("");
    return empty;
}

} // namespace

TextEditWidget::TextEditWidget(const SharedString& captionText, MenuOption* boundOption, const Font* captionFont,
                               const Font* valueFont)
    : TextWidget(captionText, captionFont), option(boundOption) {
    ZKEngine* engine = ZKEngine::Get();
    editFont = valueFont ? valueFont : (engine ? engine->defaultFont : nullptr);
    edit.text.Reserve(8);
    if (option) option->widget = this;
    flags &= ~kBright;
}

TextEditWidget::~TextEditWidget() {
    // A widget deleted while editing must not stay the device's listener.
    if (IsEditing())
        if (InputDevice* input = Input()) input->RemoveTextListener(&edit);
}

const SharedString& TextEditWidget::OptionText() const { return option ? option->cachedText : NoText(); }

void TextEditWidget::Fire(int32_t) {
    editFlags ^= kEditing;
    InputDevice* input = Input();
    if (IsEditing()) {
        // The buffer is a copy of its own that the option's cached text shares, so the option
        // follows every typed character while the text it came from (a language text, say)
        // never changes.
        edit.text = OptionText().Clone();
        if (option) option->cachedText = edit.text;
        edit.cursor = edit.text.Length() - 1;
        if (input) input->AddTextListener(&edit);
    } else {
        const SharedString committed = edit.text.Clone();
        if (option) option->Set(committed);
        if (input) input->RemoveTextListener(&edit);
    }
    if (MenuScreen* screen = MenuScreen::Current()) {
        screen->EnableNavigation(!IsEditing());
        screen->EnableMouse(!IsEditing());
        screen->ShowCursor(!IsEditing());
    }
}

void TextEditWidget::TrimTo(const Font* measureFont, double limit) {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    int32_t length = edit.text.Length();
    while (length > 0 && canvas->TextWidth(measureFont, edit.text, 0, length) > limit) --length;
    if (length == edit.text.Length()) return;
    edit.text.Assign(edit.text.c_str(), length);
    edit.cursor = std::min(edit.cursor, length - 1);
}

void TextEditWidget::HandleInput(const Point2i& cursor) {
    if (!IsEditing()) {
        Widget::HandleInput(cursor);
        return;
    }
    TrimTo(editFont, double(maxWidth));
    TrimTo(font, double(maxCaptionFontWidth));
    InputDevice* input = Input();
    if (input && (input->Pressed(kKeyReturn) || input->Pressed(kKeyEscape) || input->Pressed(kKeyPadEnter)))
        Fire(kFireAccept);
}

bool TextEditWidget::HandleMouse(const Point2i& point) {
    if (Widget::HandleMouse(point)) return true;
    Rect value = TextRect(area.left + valueX, area.top + valueY, font, OptionText());
    value.right = std::max(value.right, value.left + kMinValueWidth);
    return HitEnabled(value, point);
}

void TextEditWidget::Update() {
    TextWidget::Update();
    ZKEngine* engine = ZKEngine::Get();
    const float t = engine && engine->currentMLP ? engine->currentMLP->timeCurrent : 0.0f;
    blink = std::sin(t * 10.0f);
}

void TextEditWidget::Draw(float alpha) {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    const bool editing = IsEditing();
    const uint32_t a = AlphaByte(editing ? alpha : alpha * pulse);
    Color c;
    c.a = uint8_t(textColor.a * a / 255);
    if (!editing && !IsEnabled() && !IsBright())
        c.Set(uint8_t(textColor.r * 127 / 255), uint8_t(textColor.g * 127 / 255), uint8_t(textColor.b * 152 / 255), c.a);
    else
        c.Set(textColor.r, textColor.g, textColor.b, c.a);
    canvas->DrawText(caption, CaptionPosition(), kMenuAnchorTopLeft, &c, font, true);

    const Vector2 value{float(area.left + valueX), float(area.top + valueY)};
    const Color valueColor = Tint(c, textColor);
    if (editing) {
        canvas->DrawText(edit.text, value, kMenuAnchorTopLeft, &valueColor, editFont, true);
        if (blink > 0.0f) {
            const float x = value.x + float(canvas->TextWidth(editFont, edit.text));
            canvas->DrawText(Caret(), {x, value.y}, kMenuAnchorTopLeft, &c, editFont, true);
        }
    } else {
        canvas->DrawText(OptionText(), value, kMenuAnchorTopLeft, &valueColor, editFont, true);
    }
}
