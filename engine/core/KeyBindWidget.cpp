#include "engine/core/KeyBindWidget.h"

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

constexpr int32_t kCapturedKeys = 256;
constexpr uint32_t kCapturedMouseButtons = 8;
constexpr uint32_t kCapturedJoystickButtons = 128;
constexpr float kMouseCaptureThreshold = 5.0f;

} // namespace

KeyBindWidget::KeyBindWidget(const SharedString& captionText, ActionBinding* editedBinding)
    : TextWidget(captionText, nullptr), binding(editedBinding) {
    if (binding) binding->widget = this;
}

void KeyBindWidget::Fire(int32_t) {
    waiting = !waiting;
    if (binding) {
        const BoundCode pair[2] = {binding->primary, binding->secondary};
        binding->Assign(pair);
    }
    PlayMenuSound(MenuSound::Click);
    if (MenuScreen* screen = MenuScreen::Current()) {
        screen->EnableNavigation(!waiting);
        screen->EnableMouse(!waiting);
        screen->ShowCursor(!waiting);
    }
}

InputCode KeyBindWidget::CaptureInput() const {
    InputDevice* input = Input();
    if (!input) return kInputNone;
    for (int32_t key = 0; key < kCapturedKeys; ++key)
        if (input->Pressed(uint32_t(key))) return key;
    for (uint32_t b = 0; b < kCapturedMouseButtons; ++b)
        if (input->MousePressed(b)) return MouseButtonCode(int32_t(b));
    if (const MouseState* mouse = input->GetMouseState()) {
        const float axes[3] = {mouse->x, mouse->y, mouse->wheel};
        for (int32_t i = 0; i < 3; ++i) {
            if (axes[i] < -kMouseCaptureThreshold) return MouseAxisCode(i, false);
            if (axes[i] > kMouseCaptureThreshold) return MouseAxisCode(i, true);
        }
    }
    const uint32_t joysticks = input->GetJoystickCount();
    for (uint32_t j = 0; j < joysticks; ++j) {
        for (uint32_t b = 0; b < kCapturedJoystickButtons; ++b)
            if (input->JoystickPressed(j, b)) return JoystickButtonCode(int32_t(j), int32_t(b));
        const float* axes = input->GetJoystick(j);
        if (!axes) continue;
        // Only a full deflection binds an axis.
        for (int32_t i = 0; i < 3; ++i) {
            if (axes[i] == -1.0f) return JoystickAxisCode(int32_t(j), i, false);
            if (axes[i] == 1.0f) return JoystickAxisCode(int32_t(j), i, true);
        }
    }
    return kInputNone;
}

void KeyBindWidget::Bind(InputCode code) {
    InputDevice* input = Input();
    BoundCode& entry = binding->GetEntry(KeyBindingColumn);
    entry.code = code;
    entry.name = input->GetKeyName(code);
    // One input is bound once: a duplicate leaves the secondary column empty.
    if (binding->primary.code == binding->secondary.code) binding->secondary.code = kInputNone;
    binding->primary.name = input->GetKeyName(binding->primary.code);
    binding->secondary.name = input->GetKeyName(binding->secondary.code);
    Fire(kFireAccept);
}

void KeyBindWidget::HandleInput(const Point2i& cursor) {
    InputDevice* input = Input();
    if (!input || !binding) return;
    if (waiting) {
        // Nothing cancels: Escape, Return and the arrows are bound like any other key.
        const InputCode code = CaptureInput();
        if (code != kInputNone) Bind(code);
        return;
    }
    Widget::HandleInput(cursor);
    if (twoColumns) {
        if (input->Repeat(kKeyLeft, 0.25f, 0.05f) || input->Repeat(kKeyRight, 0.25f, 0.05f)) {
            KeyBindingColumn = KeyBindingColumn == 0 ? 1 : 0;
            PlayMenuSound(MenuSound::Click);
        }
    } else {
        KeyBindingColumn = 0;
    }
    if (input->Pressed(kKeyDelete)) {
        BoundCode& entry = binding->GetEntry(KeyBindingColumn);
        entry.code = kInputNone;
        entry.name = input->GetKeyName(kInputNone);
        PlayMenuSound(MenuSound::Click);
        const BoundCode pair[2] = {binding->primary, binding->secondary};
        binding->Assign(pair);
    }
}

bool KeyBindWidget::HandleMouse(const Point2i& point) {
    if (TextWidget::HandleMouse(point)) return true;
    if (!IsEnabled() || !binding) return false;
    if (HitEnabled(TextRect(area.left + primaryPos.x, area.top + primaryPos.y, font, binding->primary.name), point)) {
        KeyBindingColumn = 0;
        return true;
    }
    if (twoColumns &&
        HitEnabled(TextRect(area.left + secondaryPos.x, area.top + secondaryPos.y, font, binding->secondary.name),
                   point)) {
        KeyBindingColumn = 1;
        return true;
    }
    return false;
}

const SharedString& KeyBindWidget::ShownName(int32_t column) {
    const SharedString& name = binding->GetEntry(column).name;
    ShownText& cache = shown_[column];
    // Both start empty, which is what an empty name shows.
    if (cache.source == name) return cache.shown;
    cache.source = name.Clone();
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas || canvas->TextWidth(font, name) < kMaxNameWidth) {
        cache.shown = name;
        return cache.shown;
    }
    int32_t length = name.Length();
    while (length > 0 && canvas->TextWidth(font, name, 0, length) >= kMaxNameWidth) --length;
    cache.shown = SharedString::Format("%.*s...", int(length), name.c_str());
    return cache.shown;
}

void KeyBindWidget::Draw(float alpha) {
    TextWidget::Draw(alpha);
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas || !binding) return;
    const int32_t chosen = KeyBindingColumn != 0 ? 1 : 0;
    const Point2i offsets[2] = {primaryPos, secondaryPos};
    Color chosenColor, otherColor;
    if (waiting) {
        chosenColor.Set(64, 128, 160, 255);
    } else {
        chosenColor.a = AlphaByte(alpha * pulse);
        otherColor.a = AlphaByte(alpha);
    }
    for (int32_t column = 0; column < (twoColumns ? 2 : 1); ++column) {
        Vector2 p{float(area.left + offsets[column].x), float(area.top + offsets[column].y)};
        if (column == chosen && IsFocused()) {
            p.x -= 2.0f;
            p.y += 2.0f;
        }
        // While waiting the other column keeps the text's default colour.
        const Color* c = column == chosen ? &chosenColor : (waiting ? nullptr : &otherColor);
        canvas->DrawText(ShownName(column), p, kMenuAnchorTopLeft, c, font, true);
    }
}
