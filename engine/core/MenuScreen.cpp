#include "engine/core/MenuScreen.h"

#include <algorithm>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"

using namespace menu_detail;

namespace {

constexpr float kFadeRate = 4.0f;
constexpr uint32_t kFlipRows = 1;

// Shared by every screen: the mouse moves one cursor whichever screen shows it.
float g_mouseSpeed = 0.0f;

} // namespace

float MenuScreen::MouseSpeed() { return g_mouseSpeed; }
void MenuScreen::SetMouseSpeed(float speed) { g_mouseSpeed = speed; }

MenuScreen::MenuScreen(const SharedString& screenName, const SharedString& backgroundName) {
    name = screenName;
    fade = 1.0f;
    LoadMenuPicture(MenuImage::Background);
    LoadMenuPicture(MenuImage::Cursor);
    if (backgroundName.IsEmpty()) {
        background = GetMenuPicture(MenuImage::Background);
    } else if (MenuCanvas* canvas = GetMenuCanvas()) {
        ownBackground_.reset(canvas->LoadPicture(backgroundName, kFlipRows));
        background = ownBackground_.get();
    }
}

MenuScreen::~MenuScreen() {
    for (Widget* widget : widgets) delete widget;
}

MenuScreen* MenuScreen::Current() {
    ZKEngine* engine = ZKEngine::Get();
    return engine ? dynamic_cast<MenuScreen*>(engine->currentMLP) : nullptr;
}

void MenuScreen::AddWidget(Widget* widget) {
    if (widget) widgets.push_back(widget);
}

void MenuScreen::AddHotKey(int32_t key, int32_t index) {
    if (index < 0 || index >= int32_t(widgets.size())) {
        Debugger::Instance().Log(2, "MENU: %s: hot key %d for widget %d, which does not exist, ignored", name.c_str(),
                                 key, index);
        return;
    }
    hotKeys.push_back({key, widgets[size_t(index)]});
}

// ---------------------------------------------------------------------------------------------
// Selection

bool MenuScreen::SelectWidget(int32_t index) {
    const int32_t count = int32_t(widgets.size());
    if (count == 0) return false;
    index %= count;
    if (index < 0) index += count;
    Widget* widget = widgets[size_t(index)];
    if (!widget->SetFocus(true)) return false;
    if (index == selected) return true;
    const int32_t old = selected;
    selected = index;
    widget->SetFocus(true);
    PlayMenuSound(MenuSound::Move);
    if (old >= 0 && old < count) widgets[size_t(old)]->SetFocus(false);
    return true;
}

void MenuScreen::SelectNext() {
    const int32_t count = int32_t(widgets.size());
    for (int32_t step = 1; step <= count; ++step)
        if (SelectWidget(selected + step)) return;
}

void MenuScreen::SelectPrevious() {
    const int32_t count = int32_t(widgets.size());
    for (int32_t step = 1; step <= count; ++step)
        if (SelectWidget(selected - step)) return;
}

void MenuScreen::SetSelected(int32_t index) {
    if (index == selected) return;
    const int32_t count = int32_t(widgets.size());
    if (index < -1 || index >= count) {
        Debugger::Instance().Log(2, "MENU: %s: selection of widget %d, which does not exist, ignored", name.c_str(),
                                 index);
        return;
    }
    if (selected >= 0 && selected < count) widgets[size_t(selected)]->SetFocus(false);
    selected = index;
    if (selected >= 0) widgets[size_t(selected)]->SetFocus(true);
}

// ---------------------------------------------------------------------------------------------
// The frame

void MenuScreen::HandleInput() {
    // No input while the screens cross-fade.
    if (fade != 0.0f) return;
    ZKEngine* engine = ZKEngine::Get();
    InputDevice* input = engine ? engine->input : nullptr;
    if (!input) return;
    const float dt = engine->frameTime;
    const MouseState* mouse = input->GetMouseState();
    const float mx = mouse ? mouse->x : 0.0f, my = mouse ? mouse->y : 0.0f, wheel = mouse ? mouse->wheel : 0.0f;
    const Point2i* cursorPosition = input->GetCursorPosition();
    const Point2i cursor = cursorPosition ? *cursorPosition : Point2i{};

    if (mouseSelect) {
        bool pressed = false;
        for (uint32_t b = 0; b < 4 && !pressed; ++b) pressed = input->MousePressed(b);
        // Hovering selects only when the mouse moves or a button goes down.
        if (mx != 0.0f || my != 0.0f || pressed) {
            for (size_t i = 0; i < widgets.size(); ++i) {
                if (widgets[i]->HandleMouse(cursor)) {
                    SelectWidget(int32_t(i));
                    break;
                }
            }
        }
        if (wheel > 0.0f) SelectNext();
        else if (wheel < 0.0f) SelectPrevious();
    }

    if (showCursor && dt > 0.0f) g_mouseSpeed += (mx * mx + my * my) / (dt * 1000.0f);
    if (g_mouseSpeed > 0.0f) g_mouseSpeed -= g_mouseSpeed * Clamp(dt * 25.0f, 0.0f, 1.0f);

    if (navigation) {
        for (size_t k = 0; k < hotKeys.size(); ++k) {
            const HotKey hotKey = hotKeys[k];
            if (!input->Pressed(uint32_t(hotKey.key))) continue;
            for (size_t i = 0; i < widgets.size(); ++i) {
                Widget* widget = widgets[i];
                if (widget != hotKey.widget) continue;
                // The override lets a widget that is not focusable take the focus this once.
                widget->elementFlags |= GuiElement::kHotKeyOverride;
                const bool taken = SelectWidget(int32_t(i));
                widget->elementFlags &= ~GuiElement::kHotKeyOverride;
                if (taken) {
                    widgets[size_t(selected)]->Fire(kFireAccept);
                    return;
                }
            }
        }
        if (!widgets.empty()) {
            if (input->Repeat(kKeyUp, 0.25f, 0.05f)) SelectPrevious();
            if (input->Repeat(kKeyDown, 0.25f, 0.05f)) SelectNext();
        }
    }

    if (selected >= 0 && selected < int32_t(widgets.size())) widgets[size_t(selected)]->HandleInput(cursor);
}

void MenuScreen::Update() {
    for (Widget* widget : widgets) widget->Update();
    if (AudioVoice* woosh = GetMenuSound(MenuSound::Woosh)) {
        const float v = std::min(g_mouseSpeed * 0.001f, 1.0f);
        woosh->SetVolume(v);
        woosh->SetPitch(v + 1.0f);
    }
    FadeStep();
}

void MenuScreen::FadeStep() {
    ZKEngine* engine = ZKEngine::Get();
    const float dt = engine ? engine->frameTime : 0.0f;
    MLP* previous = engine ? engine->previousMLP : nullptr;
    if (previous && previous != this && previous->fade < 1.0f) {
        previous->SetFade(std::min(previous->fade + kFadeRate * dt, 1.0f));
        return;
    }
    if (fade > 0.0f) SetFade(std::max(fade - kFadeRate * dt, 0.0f));
}

void MenuScreen::Render() {
    if (MenuCanvas* canvas = GetMenuCanvas()) canvas->Clear(2);
    DrawBackground();
    DrawWidgets();
    DrawCursor();
    RenderPrevious();
}

void MenuScreen::DrawBackground() {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas || !background) return;
    ZKEngine* engine = ZKEngine::Get();
    MLP* previous = engine ? engine->previousMLP : nullptr;
    // Alone, the screen fades in over black; after another state it is drawn whole, since
    // the old state covers it until that has faded out.
    if ((!previous || previous == this) && fade > 0.0f) {
        Color c;
        c.a = AlphaByte(1.0f - fade);
        canvas->DrawBackground(background, &c, kMenuDrawAlpha);
    } else {
        canvas->DrawBackground(background, nullptr, 0);
    }
}

void MenuScreen::DrawWidgets() {
    for (Widget* widget : widgets) widget->Draw(1.0f - fade);
}

void MenuScreen::DrawCursor() {
    MenuCanvas* canvas = GetMenuCanvas();
    MenuPicture* cursor = GetMenuPicture(MenuImage::Cursor);
    ZKEngine* engine = ZKEngine::Get();
    if (!showCursor || !canvas || !cursor || !engine || !engine->input) return;
    const Point2i* position = engine->input->GetCursorPosition();
    if (!position) return;
    canvas->DrawSprite(cursor, nullptr, position->ToFloatPair(), nullptr, kMenuDrawAlpha);
}

void MenuScreen::RenderPrevious() {
    ZKEngine* engine = ZKEngine::Get();
    MLP* previous = engine ? engine->previousMLP : nullptr;
    if (previous && previous != this && previous->fade < 1.0f) previous->Render();
}

// ---------------------------------------------------------------------------------------------
// Life cycle

void MenuScreen::Activate() {
    if (!widgets.empty()) {
        selected = defaultFocus;
        if (selected < -1 || selected >= int32_t(widgets.size())) {
            Debugger::Instance().Log(2, "MENU: %s: default focus %d names no widget; nothing is selected",
                                     name.c_str(), defaultFocus);
            selected = -1;
        }
    }
    if (selected >= 0 && selected < int32_t(widgets.size())) widgets[size_t(selected)]->SetFocus(true);
}

void MenuScreen::Deactivate() {
    PlayMenuSound(MenuSound::Leave);
    if (selected >= 0 && selected < int32_t(widgets.size())) widgets[size_t(selected)]->SetFocus(false);
}

void MenuScreen::Load() {
    MakeMenuSound(MenuSound::Woosh);
    MakeMenuSound(MenuSound::Move);
    MakeMenuSound(MenuSound::Leave);
    MakeMenuSound(MenuSound::Refused);
    loaded_.store(true);
}
