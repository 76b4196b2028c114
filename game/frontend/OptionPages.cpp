#include "game/frontend/OptionPages.h"

#include <algorithm>

#include "engine/core/InputDevice.h"
#include "engine/core/KeyBindWidget.h"
#include "engine/core/MLPStack.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/MenuResources.h"

namespace {

bool Inside(const Rect& rect, const Point2i& point) {
    return point.x >= rect.left && point.x < rect.right && point.y >= rect.top && point.y < rect.bottom;
}

int32_t Wrapped(int32_t tab) {
    return (tab % OptionPage::kTabCount + OptionPage::kTabCount) % OptionPage::kTabCount;
}

// The controls page's default keys: per row set, per scheme {primary, secondary}.
struct SchemeKeys {
    InputCode primary = kInputNone;
    InputCode secondary = kInputNone;
};
struct DefaultRow {
    int32_t set;
    SchemeKeys keys[kControlSchemeCount];
};
constexpr InputCode kKeyA = 0, kKeyB = 1, kKeyH = 7, kKeyL = 11, kKeyR = 17;
constexpr InputCode kLeftCtrl = 59, kLeftShift = 57;
constexpr DefaultRow kDefaultRows[] = {
    {kActionUp, {{kKeyUp}, {MouseButtonCode(1)}, {kKeyUp}}},
    {kActionLeft, {{kKeyLeft}, {MouseAxisCode(0, false)}, {kKeyLeft}}},
    {kActionRight, {{kKeyRight}, {MouseAxisCode(0, true)}, {kKeyRight}}},
    {kActionDown, {{kKeyDown}, {MouseButtonCode(0)}, {kKeyDown}}},
    {5, {{kKeySpace, kLeftCtrl}, {kKeySpace}, {kKeySpace}}},
    {6, {{kKeyH}, {kKeyH}, {kKeyH}}},
    {7, {{kLeftShift}, {kLeftShift}, {kLeftShift}}},
    {8, {{kKeyB}, {kKeyB}, {kKeyB}}},
    {9, {{kKeyReturn}, {kKeyPadEnter}, {kKeyPadEnter}}},
    {10, {{kKeyR}, {kKeyR}, {kKeyR}}},
    {11, {{kKeyL}, {kKeyL}, {kKeyL}}},
    // Drop passenger keeps whatever it has; the settings give it its key.
    {ControlsPage::kUnlistedSet, {{kKeyA}, {kKeyA}, {kKeyA}}},
};

SharedString KeyName(InputDevice* input, InputCode code) {
    if (input) return input->GetKeyName(code);
    return SharedString(code == kInputNone ? "None" : "");
}

} // namespace

// ---------------------------------------------------------------------------------------------
// The tab bar

OptionPage::OptionPage(const EngineServices& engine_, const SharedString& screenName,
                       const SharedString& backgroundName, Tab own)
    : FrontEndPage(engine_, screenName, backgroundName), ownTab(own), highlighted(own) {
    MakeMenuSound(MenuSound::RollOver);
}

void OptionPage::SetTabTargets(OptionPage* video, OptionPage* audio, OptionPage* controls, MLP* mainPage) {
    pages_ = {video, audio, controls};
    mainPage_ = mainPage;
}

void OptionPage::Activate() {
    FrontEndPage::Activate();
    tabFade = 1.0f;
    highlighted = ownTab;
    lastHighlighted = -1;
    if (tabState == kIdle) {
        // Reached by a tab: shown at once.
        tabFade = 0.0f;
        SetFade(0.0f);
    } else {
        tabState = kFadingIn;
    }
}

void OptionPage::Deactivate() {
    FrontEndPage::Deactivate();
    // However the page was left, it fades in when it is next reached from anywhere but a tab.
    tabState = kFadingIn;
}

void OptionPage::HandleInput() {
    // Fading in or out: neither the tabs nor the rows take input (the quick start works on
    // every page).
    if (tabState != kIdle) {
        QuickStartOnPause();
        return;
    }
    if (RowsTakeEverything()) {
        MenuScreen::HandleInput();
        return;
    }
    if (HandleTabs()) return;
    FrontEndPage::HandleInput();
}

bool OptionPage::HandleTabs() {
    InputDevice* input = engine.input;
    if (!input) return false;
    const Point2i* cursorPosition = input->GetCursorPosition();
    const Point2i cursor = cursorPosition ? *cursorPosition : Point2i{-1, -1};
    const bool clicked = input->MouseReleased(0);

    // Return takes the highlighted tab; on the page's own tab it is the rows' key.
    if ((input->Pressed(kKeyReturn) || input->Pressed(kKeyPadEnter)) && highlighted != ownTab) {
        tabState = highlighted == kBackTab ? kFadingOut : kSwitchNow;
        return true;
    }
    bool stepped = false;
    if (input->Pressed(kPageUpKey)) {
        StepHighlight(-1);
        stepped = true;
    } else if (input->Pressed(kPageDownKey)) {
        StepHighlight(1);
        stepped = true;
    }
    if (!stepped) {
        for (int32_t tab = 0; tab < kTabCount; ++tab) {
            if (tab == ownTab || !Inside(kTabRects[tab], cursor)) continue;
            Highlight(tab, clicked);
            if (tabState != kIdle) return true;
            break;
        }
    }
    if (input->Pressed(kKeyEscape)) {
        tabState = kFadingOut;
        highlighted = kBackTab;
        PlayMenuSound(MenuSound::Click);
        return true;
    }
    return false;
}

void OptionPage::Highlight(int32_t tab, bool clicked) {
    highlighted = tab;
    if (clicked) {
        PlayMenuSound(MenuSound::Click);
        tabState = tab == kBackTab ? kFadingOut : kSwitchNow;
    } else if (tab != lastHighlighted) {
        PlayMenuSound(MenuSound::RollOver);
    }
    lastHighlighted = tab;
}

void OptionPage::StepHighlight(int32_t direction) {
    int32_t tab = Wrapped(highlighted + direction);
    if (tab == ownTab) tab = Wrapped(tab + direction);
    highlighted = tab;
    lastHighlighted = tab;
    PlayMenuSound(MenuSound::RollOver);
}

void OptionPage::Update() {
    FrontEndPage::Update();
    const float dt = engine.FrameTime();
    switch (tabState) {
    case kFadingIn:
        tabFade = std::clamp(tabFade - kTabFadeRate * dt, 0.0f, 1.0f);
        if (tabFade == 0.0f) tabState = kIdle;
        break;
    case kFadingOut:
        tabFade = std::clamp(tabFade + kTabFadeRate * dt, 0.0f, 1.0f);
        if (tabFade == 1.0f) Leave(false);
        break;
    case kSwitchNow:
        Leave(true);
        break;
    default:
        break;
    }
}

void OptionPage::Leave(bool immediately) {
    MLPStack* states = engine.states;
    if (highlighted == kBackTab) {
        if (states && mainPage_) {
            mainPage_->SetFade(1.0f);
            mainPage_->Activate();
            states->PopToMLP(mainPage_);
            return;
        }
    } else if (OptionPage* target = pages_[size_t(highlighted)]; states && target && target != this) {
        // The tab's page replaces this one: the page under them stays the same.
        if (immediately) target->tabState = kIdle;
        states->PopMLP();
        states->PushMLP(target);
        return;
    }
    // Nowhere to go: the page stays as it was.
    tabState = kIdle;
    tabFade = 0.0f;
    highlighted = ownTab;
}

void OptionPage::Render() {
    MenuCanvas* canvas = GetMenuCanvas();
    if (canvas) canvas->Clear(2);
    DrawBackground();
    DrawWidgets();
    DrawOverPage();
    DrawCursor();
    if (canvas && tabFade > 0.0f) canvas->FillScreen(Color::FromBytes(0, 0, 0, menu_detail::AlphaByte(tabFade)));
    RenderPrevious();
}

VideoPage::VideoPage(const EngineServices& engine_)
    : OptionPage(engine_, SharedString("Video"), SharedString("Video.zkt"), kVideoTab) {}

AudioPage::AudioPage(const EngineServices& engine_)
    : OptionPage(engine_, SharedString("Audio"), SharedString("Audio.zkt"), kAudioTab) {}

// ---------------------------------------------------------------------------------------------
// The controls page

ControlsPage::ControlsPage(const EngineServices& engine_, const Font* helpFont)
    : OptionPage(engine_, SharedString("Controls"), SharedString("Controls.zkt"), kControlsTab), helpFont_(helpFont) {}

void ControlsPage::AddRow(Widget* row, ActionBinding* binding) {
    AddWidget(row);
    rows_.push_back(row);
    rowGroups[0].bindings.push_back(binding);
}

void ControlsPage::SelectScheme(int32_t scheme) {
    if (scheme < 0 || scheme >= kControlSchemeCount) return;
    RowGroup& shown = rowGroups[0];
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (scheme != 0) {
            rows_[i]->SetPosition(kHiddenRow, false);
            continue;
        }
        const Point2i at{kFirstRow.x, kFirstRow.y + kRowStep * int32_t(i)};
        rows_[i]->SetPosition(at, false);
        shown.x = 100.0f;
        shown.y = float(at.y);
    }
    for (int32_t set : kActiveSets)
        if (ActionBinding** slot = ActiveBindingSlot(set)) *slot = &ActionBindingSet(set)[scheme];
}

void ControlsPage::ResetBindings(int32_t scheme) {
    if (scheme < 0 || scheme >= kControlSchemeCount) return;
    InputDevice* input = engine.input;
    for (const DefaultRow& row : kDefaultRows) {
        ActionBinding& binding = ActionBindingSet(row.set)[scheme];
        const SchemeKeys& keys = row.keys[scheme];
        binding.primary = {keys.primary, KeyName(input, keys.primary)};
        binding.secondary = {keys.secondary, KeyName(input, keys.secondary)};
    }
}

void ControlsPage::Activate() {
    OptionPage::Activate();
    for (int32_t line = 0; line < kHelpLines; ++line) help_[line] = engine.Text(kHelpText + line);
}

bool ControlsPage::RowsTakeEverything() const {
    for (const Widget* row : rows_)
        if (const auto* keyRow = dynamic_cast<const KeyBindWidget*>(row); keyRow && keyRow->waiting) return true;
    return false;
}

void ControlsPage::DrawOverPage() {
    MenuCanvas* canvas = GetMenuCanvas();
    if (!canvas) return;
    for (int32_t line = 0; line < kHelpLines; ++line)
        canvas->DrawText(help_[line], {kHelpAt.x, kHelpAt.y + kHelpStep * float(line)},
                         kMenuAnchorTopLeft, nullptr, helpFont_, true);
}
