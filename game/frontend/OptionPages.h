#pragma once
// The three option pages (video, audio, controls) and the tab bar they share on the left of the
// screen: Video, Audio, Controls and Back. A click on a tab, or Return once Page Up/Down has
// highlighted it, replaces the page by the tab's page at once (the page under them stays the
// main page, however often the player switches); Back, a click on it, or Escape fades the page
// to black in half a second and returns to the main page, which fades in. While the page fades
// in or out the tab bar and the rows take no input.
//
// The controls page's rows are key-binding widgets, one per bindable action, bound to the
// keyboard scheme's records; the page also owns the default keys of the three control schemes
// (ResetBindings) and points the game's active bindings at one scheme (SelectScheme).
#include <array>
#include <cstdint>
#include <vector>

#include "engine/core/InputActions.h"
#include "engine/core/Math.h"
#include "game/frontend/FrontEndPage.h"

class Font;
class MLP;

class OptionPage : public FrontEndPage {
public:
    enum Tab : int32_t { kVideoTab, kAudioTab, kControlsTab, kBackTab, kTabCount };
    enum TabState : int32_t { kFadingIn = 0, kIdle = 1, kSwitchNow = 3, kFadingOut = 5 };
    // Screen rectangles of the tabs: left and top inside, right and bottom outside.
    static constexpr Rect kTabRects[kTabCount] = {
        {40, 225, 190, 245}, {40, 260, 185, 280}, {40, 320, 190, 340}, {40, 370, 210, 390}};
    // Engine keys of the tab bar.
    static constexpr uint32_t kPageUpKey = 68;
    static constexpr uint32_t kPageDownKey = 69;
    // The fade through black runs at this rate per second (half a second).
    static constexpr float kTabFadeRate = 2.0f;

    OptionPage(const EngineServices& engine, const SharedString& screenName, const SharedString& backgroundName,
               Tab ownTab);

    // Where the tabs lead: the three option pages and the main page (none may be missing for a
    // tab to work; a missing one leaves the page where it is).
    void SetTabTargets(OptionPage* video, OptionPage* audio, OptionPage* controls, MLP* mainPage);

    void HandleInput() override;
    void Update() override;
    void Render() override;
    void Activate() override;
    void Deactivate() override;

    const Tab ownTab;
    // 1 black, 0 clear: the black drawn over the page.
    float tabFade = 1.0f;
    // The tab Return would take; the page's own tab until another is highlighted.
    int32_t highlighted = 0;
    // The tab the pointer or keys reached last (for the roll-over sound); -1 after activation.
    int32_t lastHighlighted = -1;
    int32_t tabState = kFadingIn;

protected:
    // Whether the rows hold the input whole this frame (a key-binding row waiting for its key):
    // then neither the tab bar nor the page's own keys act.
    virtual bool RowsTakeEverything() const { return false; }
    // Drawn over the widgets, under the cursor and the black.
    virtual void DrawOverPage() {}

private:
    // The tab bar's step; true when it started leaving the page (nothing else acts then).
    bool HandleTabs();
    void Highlight(int32_t tab, bool clicked);
    void StepHighlight(int32_t direction);
    // Hands over to the highlighted tab's page (at once: shown without fading in).
    void Leave(bool immediately);

    std::array<OptionPage*, 3> pages_{};
    MLP* mainPage_ = nullptr;
};

class VideoPage : public OptionPage {
public:
    explicit VideoPage(const EngineServices& engine);
};

class AudioPage : public OptionPage {
public:
    explicit AudioPage(const EngineServices& engine);
};

class ControlsPage : public OptionPage {
public:
    // The row actions in screen order, as the binding sets of the input-action map.
    static constexpr int32_t kRowCount = 12;
    static constexpr std::array<int32_t, kRowCount> kRowSets = {kActionUp, kActionLeft, kActionRight, kActionDown,
                                                                5, 6, 7, 8, 9, 10, 11, 12};
    // The actions whose active binding the game reads (Confirm's stays where it is).
    static constexpr std::array<int32_t, 11> kActiveSets = {1, 2, 3, 4, 5, 6, 7, 8, 10, 11, 12};
    // The binding set without a row; every scheme gives it A.
    static constexpr int32_t kUnlistedSet = 13;
    // Scheme 0's rows: one every 20 pixels from (270, 180).
    static constexpr Point2i kFirstRow{270, 180};
    static constexpr int32_t kRowStep = 20;
    // Where the rows of a scheme the page does not show go.
    static constexpr Point2i kHiddenRow{-800, -800};
    // The help lines: texts 800030 to 800033, one every 15 pixels from (280, 450).
    static constexpr int32_t kHelpText = 800030;
    static constexpr int32_t kHelpLines = 4;
    static constexpr Vector2 kHelpAt{280.0f, 450.0f};
    static constexpr float kHelpStep = 15.0f;

    // A scheme's rows: the binding records the page shows, and where the last row went.
    struct RowGroup {
        std::vector<ActionBinding*> bindings;
        float x = 0.0f, y = 0.0f;
    };

    // helpFont: the font of the help lines (null: the engine's), which outlives the page.
    ControlsPage(const EngineServices& engine, const Font* helpFont);

    // Adds a row: the widget goes on the page, its record in scheme 0's group.
    void AddRow(Widget* row, ActionBinding* binding);
    // 0 lays the rows out on the page; 1 and 2 move them off the screen. Every active binding the
    // game reads then points at the scheme's record. Any other scheme changes nothing.
    void SelectScheme(int32_t scheme);
    // Writes the page's default keys of one scheme (0, 1 or 2; any other does nothing) into the
    // binding records, with the input device's names.
    void ResetBindings(int32_t scheme);

    std::array<RowGroup, kControlSchemeCount> rowGroups;

    void Activate() override;

protected:
    bool RowsTakeEverything() const override;
    void DrawOverPage() override;

private:
    const Font* helpFont_;
    std::vector<Widget*> rows_;
    SharedString help_[kHelpLines];
};
