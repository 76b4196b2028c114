#include "engine/core/MenuWidgets.h"

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"

using namespace menu_detail;

// ---------------------------------------------------------------------------------------------
// ChoiceWidget

ChoiceWidget::ChoiceWidget(const SharedString& captionText, const std::vector<SharedString>& choices,
                           MenuOption* boundOption, const Font* captionFont, bool keepHigherValues)
    : TextWidget(captionText, captionFont), items(choices), option(boundOption), itemEnabled(choices.size(), 1),
      keepsHigherValues(keepHigherValues) {
    if (!option) return;
    option->widget = this;
    const int32_t shown = Current();
    option->Set(shown == int32_t(items.size()) - 1 && option->cachedInt > shown ? option->cachedInt : shown);
}

int32_t ChoiceWidget::Current() {
    if (!option) return -1;
    const int32_t index = option->cachedInt;
    if (index == -1 || (index >= 0 && index < int32_t(items.size()))) return index;
    if (keepsHigherValues && !items.empty() && index > 0) return int32_t(items.size()) - 1;
    Debugger::Instance().Log(2, "MENU: choice %d of \"%s\" is not among its %d items; none is chosen", index,
                             caption.c_str(), int32_t(items.size()));
    option->cachedInt = -1;
    return -1;
}

void ChoiceWidget::Choose(int32_t index, int32_t current) {
    changed = 1;
    if (index != current && option) option->Set(index);
    PlayMenuSound(MenuSound::Click);
}

void ChoiceWidget::Next() {
    const int32_t n = int32_t(items.size());
    if (n == 0) return;
    const int32_t current = Current();
    int32_t i = (current + 1) % n;
    int32_t tries = 0;
    for (; tries < n && !ItemEnabled(i); ++tries) i = (i + 1) % n;
    // With every item disabled the choice stays where it is.
    Choose(tries < n ? i : current, current);
}

void ChoiceWidget::Previous() {
    const int32_t n = int32_t(items.size());
    if (n == 0) return;
    const int32_t current = Current();
    int32_t i = current - 1 < 0 ? n - 1 : current - 1;
    int32_t tries = 0;
    for (; tries < n && !ItemEnabled(i); ++tries) i = i - 1 < 0 ? n - 1 : i - 1;
    Choose(tries < n ? i : current, current);
}

void ChoiceWidget::SelectEnabledEntry() {
    const int32_t n = int32_t(items.size());
    const int32_t current = Current();
    if (n == 0 || current < 0) return;
    int32_t i = current;
    for (int32_t tries = 0; tries < n; ++tries, i = (i + 1) % n) {
        if (!ItemEnabled(i)) continue;
        if (i != current) option->Set(i);
        return;
    }
}

void ChoiceWidget::HandleInput(const Point2i& cursor) {
    if (!inputEnabled) return;
    Widget::HandleInput(cursor);
    ZKEngine* engine = ZKEngine::Get();
    InputDevice* input = engine ? engine->input : nullptr;
    if (!input) return;
    if (input->Repeat(kKeyLeft, repeatDelay, repeatInterval)) Previous();
    if (input->Repeat(kKeyRight, repeatDelay, repeatInterval)) Next();
}

bool ChoiceWidget::HandleMouse(const Point2i& point) {
    if (Widget::HandleMouse(point)) return true;
    const int32_t current = Current();
    if (current < 0) return false;
    return HitEnabled(TextRect(area.left + valueX, area.top + valueY, font, items[size_t(current)]), point);
}

void ChoiceWidget::Draw(float alpha) {
    TextWidget::Draw(alpha);
    MenuCanvas* canvas = GetMenuCanvas();
    const int32_t current = Current();
    if (!canvas || current < 0) return;
    Color c;
    c.a = AlphaByte(alpha * pulse);
    if (!IsEnabled() && !IsBright()) c.Set(127, 127, 152, c.a);
    canvas->DrawText(items[size_t(current)], {float(area.left + valueX), float(area.top + valueY)},
                     kMenuAnchorTopLeft, &c, font, true);
}

void ChoiceWidget::Fire(int32_t kind) {
    switch (kind) {
    case kFireAccept:
    case kFirePrimary:
        Next();
        break;
    case kFireSecondary:
        Previous();
        break;
    default:
        if (option) option->AltAction();
        break;
    }
}

// ---------------------------------------------------------------------------------------------
// Buttons and labels

Button::Button(const SharedString& captionText, MenuOption* boundOption, const Font* captionFont)
    : TextWidget(captionText, captionFont), option(boundOption) {
    if (option) option->widget = this;
}

void Button::Fire(int32_t) {
    if (option) option->Execute();
}

LabelWidget::LabelWidget(const SharedString& captionText, bool dimmed, const Font* captionFont)
    : TextWidget(captionText, captionFont) {
    SetEnabled(false);
    flags = dimmed ? (flags & ~kBright) : (flags | kBright);
}

BackButton::BackButton(const SharedString& captionText, MenuOption* boundOption)
    : TextWidget(captionText, nullptr), option(boundOption) {
    if (option) option->widget = this;
    MakeMenuSound(MenuSound::Back);
}

void BackButton::Fire(int32_t) {
    ZKEngine* engine = ZKEngine::Get();
    // On the bottom screen there is nothing to go back to.
    if (engine && !engine->mlpStack.empty() && engine->mlpStack.back()) {
        if (option) option->Set(uint8_t(0));
        engine->PopMLP();
        PlayMenuSound(MenuSound::Back);
    }
    if (option) option->Set(uint8_t(1));
}

LinkButton::LinkButton(const SharedString& captionText, MLP* targetScreen, MenuOption* boundOption,
                       const Font* captionFont)
    : TextWidget(captionText, captionFont), option(boundOption), target(targetScreen) {
    if (option) option->widget = this;
}

void LinkButton::Fire(int32_t) {
    ZKEngine* engine = ZKEngine::Get();
    if (target && engine) {
        if (option) option->Set(uint8_t(0));
        PlayMenuSound(MenuSound::Click);
        engine->PushMLP(target);
    }
    if (option) option->Set(uint8_t(1));
}
