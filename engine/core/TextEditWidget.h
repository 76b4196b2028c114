#pragma once
// A caption and, next to it, the text of a string option. Fired, the widget becomes the input
// device's text listener and the player types into its edit buffer; fired again (or Return,
// Escape, numeric-pad Enter) it stores the edited text into the option. There is no cancel.
#include <cstdint>

#include "engine/core/InputDevice.h"
#include "engine/core/Widget.h"

class TextEditWidget : public TextWidget {
public:
    // editFlags bits.
    static constexpr uint8_t kEditing = 1u << 1;

    // Null fonts are the engine's default font.
    TextEditWidget(const SharedString& caption, MenuOption* boundOption, const Font* captionFont,
                   const Font* valueFont);
    ~TextEditWidget() override;

    // The caption, then the value (at least 10 pixels wide, so an empty text can be clicked).
    bool HandleMouse(const Point2i& point) override;
    // Editing: keeps the text within its widths and commits on Return, Escape or Enter.
    void HandleInput(const Point2i& cursor) override;
    void Update() override;
    void Draw(float alpha) override;
    // Starts or ends editing.
    void Fire(int32_t kind) override;

    bool IsEditing() const { return (editFlags & kEditing) != 0; }
    // The edit buffer and the index of its last character (length - 1).
    const SharedString& EditText() const { return edit.text; }
    int32_t Cursor() const { return edit.cursor; }

    const Font* editFont = nullptr;
    // The text-listener record the input device edits: `text` is the edit buffer, `cursor` the
    // index of its last character.
    TextListener edit;
    float blink = 0.0f;
    MenuOption* option = nullptr;
    Color textColor;
    int32_t valueX = 0;
    int32_t valueY = 0;
    uint16_t maxWidth = 0xFFFF;
    uint16_t maxCaptionFontWidth = 0xFFFF;
    uint8_t editFlags = 0x05;

private:
    // Drops characters from the end while the width in the font exceeds the limit.
    void TrimTo(const Font* measureFont, double limit);
    // The option's text, or an empty one without an option.
    const SharedString& OptionText() const;
};
