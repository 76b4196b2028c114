#pragma once
// The base of every menu page: a game state that owns a list of widgets, moves a selection
// through them with the keyboard, the wheel and the mouse, fires hot keys, draws a background,
// the widgets and a cursor, plays the menu sounds and cross-fades with the state it replaces.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "engine/core/MLP.h"
#include "engine/core/Widget.h"

class MenuPicture;

class MenuScreen : public MLP {
public:
    struct HotKey {
        int32_t key;    // engine key code
        Widget* widget;
    };

    // An empty background name uses the shared "Menu.ZKT".
    MenuScreen(const SharedString& screenName, const SharedString& backgroundName);
    // Deletes the widgets.
    ~MenuScreen() override;

    // The engine's current MLP when it is a menu screen, else null.
    static MenuScreen* Current();

    void HandleInput() override;
    void Update() override;
    void Render() override;
    void Activate() override;
    void Deactivate() override;
    // Makes the shared menu voices (on the init thread).
    void Load() override;
    void Shutdown() override {}
    // True once this screen's own Load has finished.
    bool IsReady() override { return loaded_.load(); }

    virtual void DrawBackground();
    virtual void DrawWidgets();
    virtual void DrawCursor();
    // The previous state fades out first, then this screen fades in, at 4 per second.
    virtual void FadeStep();
    // Draws the previous state over this one while it fades out.
    virtual void RenderPrevious();

    // The screen owns the widget from now on.
    void AddWidget(Widget* widget);
    // Binds an engine key to the widget already added at `index`; an index outside the list
    // binds nothing (logged).
    void AddHotKey(int32_t key, int32_t index);

    // Moves the selection to the widget at index (taken modulo the count) if it takes the
    // focus; plays "MenuMove.WAV" when the selection changes. The list must not be empty.
    bool SelectWidget(int32_t index);
    // The next / previous widget that takes the focus, wrapping; nothing when none does.
    void SelectNext();
    void SelectPrevious();
    // Moves the focus without sound or refusal; -1 selects nothing, other indices outside the
    // list are ignored (logged).
    void SetSelected(int32_t index);

    void ShowCursor(bool show) { showCursor = show; }
    void EnableNavigation(bool enable) { navigation = enable; }
    void EnableMouse(bool enable) { mouseSelect = enable; }

    // The shared mouse-speed measure that drives "Woosh.WAV".
    static float MouseSpeed();
    static void SetMouseSpeed(float speed);

    int32_t selected = -1;
    std::vector<HotKey> hotKeys;
    bool showCursor = true;
    bool navigation = true;
    bool mouseSelect = true;
    MenuPicture* background = nullptr;
    std::vector<Widget*> widgets;
    int32_t defaultFocus = 0;

private:
    std::unique_ptr<MenuPicture> ownBackground_; // a background of this screen's own
    std::atomic<bool> loaded_{false};
};
