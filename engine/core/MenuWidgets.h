#pragma once
// The widgets whose behaviour is one action or a cycle through a list: a choice among strings,
// a button, a label, a button back to the previous screen and one that opens another.
#include <cstdint>
#include <vector>

#include "engine/core/Widget.h"

class MLP;

// A caption and one value chosen from a list. The option's cached index is the choice (-1
// none); Return and button 0 choose the next enabled item, button 1 the previous one, Left
// and Right repeat, button 2/3 asks the option for its alternative action.
class ChoiceWidget : public TextWidget {
public:
    // The option's current choice is handed to its SetValue once (and kept); a choice that
    // is not in the list means none (logged). With keepHigherValues a value past the last item
    // is kept and shows as the last item (an option whose higher values only a file sets).
    ChoiceWidget(const SharedString& caption, const std::vector<SharedString>& choices, MenuOption* boundOption,
                 const Font* font, bool keepHigherValues = false);

    bool HandleMouse(const Point2i& point) override;
    void HandleInput(const Point2i& cursor) override;
    void Draw(float alpha) override;
    void Fire(int32_t kind) override;

    // The next / previous enabled item, wrapping; clicks even when nothing changes. A choice
    // without items ignores both.
    void Next();
    void Previous();
    // Moves the choice to the first enabled item from the current one on (wrapping), without
    // sound; no choice stays none. For after items were disabled.
    void SelectEnabledEntry();
    // The chosen index, -1 for none (a cached index outside the list is logged and dropped,
    // unless it is past the end of a list that keeps higher values: then the last item).
    int32_t Current();

    std::vector<SharedString> items;
    MenuOption* option = nullptr;
    std::vector<uint8_t> itemEnabled;
    int32_t valueX = 250;
    int32_t valueY = 0;
    float repeatDelay = 0.25f;
    float repeatInterval = 0.05f;
    uint32_t inputEnabled = 1;
    uint32_t changed = 0;
    bool keepsHigherValues = false;

private:
    bool ItemEnabled(int32_t index) const {
        return index >= 0 && size_t(index) < itemEnabled.size() && itemEnabled[size_t(index)] != 0;
    }
    // Marks the change, tells the option when the index differs and clicks.
    void Choose(int32_t index, int32_t current);
};

// Runs its option's Execute on every kind of fire.
class Button : public TextWidget {
public:
    Button(const SharedString& caption, MenuOption* boundOption, const Font* font);
    void Fire(int32_t kind) override;

    MenuOption* option = nullptr;
};

// Static text: disabled, so never selected; drawn bright unless dimmed.
class LabelWidget : public TextWidget {
public:
    LabelWidget(const SharedString& caption, bool dimmed, const Font* font);
    void Fire(int32_t) override {}
};

// Returns to the previous screen. The option receives the byte 0 before the pop and 1 after.
class BackButton : public TextWidget {
public:
    // The engine's default font; the first one makes the shared "Back.WAV" voice.
    BackButton(const SharedString& caption, MenuOption* boundOption);
    // Pops only when the engine's stack holds a state to return to.
    void Fire(int32_t kind) override;

    MenuOption* option = nullptr;
};

// Opens the target screen. The option receives the byte 0 before the push and 1 after.
class LinkButton : public TextWidget {
public:
    LinkButton(const SharedString& caption, MLP* targetScreen, MenuOption* boundOption, const Font* font);
    void Fire(int32_t kind) override;

    MenuOption* option = nullptr;
    MLP* target = nullptr;
};
