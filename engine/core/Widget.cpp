#include "engine/core/Widget.h"

#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"

namespace menu_detail {

float FrameTime() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->frameTime : 0.0f;
}

double TextWidth(const Font* font, const SharedString& text) {
    MenuCanvas* canvas = GetMenuCanvas();
    return canvas ? canvas->TextWidth(font, text) : 0.0;
}

int32_t FontSize(const Font* font) {
    MenuCanvas* canvas = GetMenuCanvas();
    return canvas ? canvas->FontSize(font) : 0;
}

Rect TextRect(int32_t x, int32_t y, const Font* font, const SharedString& text) {
    return Rect{x, y, x + int32_t(TextWidth(font, text)), y + FontSize(font)};
}

uint8_t AlphaByte(float alpha) {
    const float scaled = alpha * 255.0f;
    if (!(scaled > 0.0f)) return 0;
    if (scaled >= 255.0f) return 255;
    return uint8_t(scaled);
}

} // namespace menu_detail

using namespace menu_detail;

namespace {

InputDevice* Input() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? engine->input : nullptr;
}

bool Inside(const Rect& r, const Point2i& p) { return p.x >= r.left && p.x < r.right && p.y >= r.top && p.y < r.bottom; }

} // namespace

// ---------------------------------------------------------------------------------------------
// GuiElement

GuiElement::GuiElement() { MakeMenuSound(MenuSound::Click); }

void GuiElement::SetPosition(const Point2i& point, bool centre) {
    const int32_t width = area.Width(), height = area.Height();
    area.left = point.x;
    area.top = point.y;
    if (centre) area.left -= width / 2;
    area.right = area.left + width;
    area.bottom = area.top + height;
}

// ---------------------------------------------------------------------------------------------
// Widget

bool Widget::HitEnabled(const Rect& rect, const Point2i& point) const {
    if (!Inside(rect, point)) return false;
    if (IsEnabled()) return true;
    InputDevice* input = Input();
    if (input && (input->MousePressed(0) || input->MousePressed(1))) PlayMenuSound(MenuSound::Refused);
    return false;
}

bool Widget::HandleMouse(const Point2i& point) {
    const int32_t d = IsFocused() ? 2 : 0;
    const Rect shifted{hitArea.left - d, hitArea.top + d, hitArea.right - d, hitArea.bottom + d};
    return HitEnabled(shifted, point);
}

bool Widget::SetFocus(bool focus) {
    // Giving the focus up always succeeds, so that a widget focused through its hot key does
    // not stay highlighted once the selection has moved on.
    if (focus && (!IsEnabled() || (!(flags & kFocusable) && !(elementFlags & kHotKeyOverride)))) return false;
    flags = focus ? (flags | kFocused) : (flags & ~kFocused);
    return true;
}

void Widget::HandleInput(const Point2i& cursor) {
    InputDevice* input = Input();
    if (!input) return;
    const bool b0 = input->MousePressed(0), b1 = input->MousePressed(1);
    const bool b23 = input->MousePressed(2) || input->MousePressed(3);
    if ((b0 || b1) && HandleMouse(cursor)) Fire(b0 ? kFirePrimary : kFireSecondary);
    if (b23) Fire(kFireOther);
    if (input->Pressed(kKeyReturn) || input->Pressed(kKeyPadEnter)) Fire(kFireAccept);
}

void Widget::SetEnabled(bool enabled) {
    if (!enabled) SetFocus(false);
    flags = enabled ? (flags | kEnabled) : (flags & ~kEnabled);
}

// ---------------------------------------------------------------------------------------------
// TextWidget

TextWidget::TextWidget(const SharedString& captionText, const Font* captionFont) : caption(captionText) {
    ZKEngine* engine = ZKEngine::Get();
    font = captionFont ? captionFont : (engine ? engine->defaultFont : nullptr);
    hitArea.right = hitArea.left + int32_t(TextWidth(font, caption));
    hitArea.bottom = hitArea.top + FontSize(font);
    area.bottom = area.top + 24;
}

void TextWidget::SetPosition(const Point2i& point, bool centre) {
    const int32_t width = hitArea.Width(), height = hitArea.Height();
    hitArea.left = point.x;
    hitArea.top = point.y;
    if (centre) hitArea.left -= width / 2;
    hitArea.right = hitArea.left + width;
    hitArea.bottom = hitArea.top + height;
    GuiElement::SetPosition({hitArea.left, hitArea.top}, centre);
}

bool TextWidget::HandleMouse(const Point2i& point) {
    if (Widget::HandleMouse(point)) return true;
    const Point2i d = IsFocused() ? focusOffset : Point2i{};
    for (const TextEntry& entry : texts)
        if (HitEnabled(TextRect(area.left + entry.x + d.x, area.top + entry.y + d.y, entry.font, entry.text), point))
            return true;
    return false;
}

void TextWidget::Update() {
    const float dt = FrameTime();
    hitArea.right = hitArea.left + int32_t(TextWidth(font, caption));
    hitArea.bottom = hitArea.top + FontSize(font);
    if (IsFocused()) {
        if (!(pulseRising & kPulseRising)) {
            pulse -= 2.0f * dt;
            if (pulse <= 0.25f) {
                pulse = 0.25f;
                pulseRising |= kPulseRising;
            }
        } else {
            pulse += 2.0f * dt;
            if (pulse >= 1.0f) {
                pulse = 1.0f;
                pulseRising &= uint8_t(~kPulseRising);
            }
        }
    } else if (pulse < 1.0f) {
        pulse += 4.0f * dt;
        pulseRising |= kPulseRising;
        if (pulse >= 1.0f) {
            pulse = 1.0f;
            pulseRising &= uint8_t(~kPulseRising);
        }
    }
}

Color TextWidget::CaptionColor(float alpha) const {
    const uint32_t a = AlphaByte(((flags & kIgnoreFade) ? 1.0f : alpha) * pulse);
    Color c;
    c.a = uint8_t(color.a * a / 255);
    if (IsEnabled() || IsBright()) {
        c.r = color.r;
        c.g = color.g;
        c.b = color.b;
    } else {
        c.r = uint8_t(color.r * 127 / 255);
        c.g = uint8_t(color.g * 127 / 255);
        c.b = uint8_t(color.b * 152 / 255);
    }
    return c;
}

Vector2 TextWidget::CaptionPosition() const {
    const Point2i d = IsFocused() ? focusOffset : Point2i{};
    return {float(area.left + d.x), float(area.top + d.y)};
}

void TextWidget::Draw(float alpha) {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    const Color c = CaptionColor(alpha);
    const Vector2 p = CaptionPosition();
    canvas->DrawText(caption, p, kMenuAnchorTopLeft, &c, font, true);
    for (const TextEntry& entry : texts)
        canvas->DrawText(entry.text, {p.x + float(entry.x), p.y + float(entry.y)}, kMenuAnchorTopLeft, &c,
                         entry.font, true);
}
