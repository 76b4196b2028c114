#pragma once
// The base classes of every menu widget: a rectangle on the screen with a caption, a pulsing
// focus highlight, an enabled state and one action, Fire, which the widget's input handling
// calls with a kind code. What a widget changes lives outside it, in its MenuOption.
#include <cstdint>
#include <vector>

#include "engine/core/Math.h"
#include "engine/core/MenuOption.h"
#include "engine/core/SharedString.h"

class Font;

// Fire kinds.
enum : int32_t {
    kFireAccept = 0,    // the keyboard's Return or numeric-pad Enter
    kFirePrimary = 1,   // mouse button 0 pressed over the widget
    kFireSecondary = 2, // mouse button 1 pressed over the widget
    kFireOther = 3,     // mouse button 2 or 3 pressed anywhere
};

// Root of the widgets: an area and the hot-key override flag.
class GuiElement {
public:
    // elementFlags bits.
    static constexpr uint32_t kHotKeyOverride = 1u << 0;

    // The first element made creates the shared "Click.WAV" voice.
    GuiElement();
    virtual ~GuiElement() = default;
    GuiElement(const GuiElement&) = delete;
    GuiElement& operator=(const GuiElement&) = delete;

    // Moves the area to the point (keeping its size); centred, the point is its top middle.
    virtual void SetPosition(const Point2i& point, bool centre);
    // True when the point hits the widget (and it may take the mouse's selection).
    virtual bool HandleMouse(const Point2i& point) = 0;
    // False (and nothing changes) when the widget refuses the focus.
    virtual bool SetFocus(bool focus) = 0;
    // The selected widget's input for this frame.
    virtual void HandleInput(const Point2i& cursor) = 0;
    virtual void Update() = 0;
    // alpha: the screen's fade-in, 0..1.
    virtual void Draw(float alpha) = 0;
    virtual void Fire(int32_t kind) = 0;

    Point2i GetPosition() const { return {area.left, area.top}; }

    Rect area;
    uint32_t elementFlags = 0;
};

class Widget : public GuiElement {
public:
    // flags bits.
    static constexpr uint32_t kFocused = 1u << 0;
    static constexpr uint32_t kEnabled = 1u << 1;
    static constexpr uint32_t kBright = 1u << 2;      // full colour even when disabled
    static constexpr uint32_t kIgnoreFade = 1u << 3;  // drawn without the screen's fade
    static constexpr uint32_t kFocusable = 1u << 4;

    Widget() = default;

    // Hit test of the caption rectangle, 2 pixels left and down while focused (where the
    // caption is drawn). A click on a disabled widget plays the refusal sound.
    bool HandleMouse(const Point2i& point) override;
    // Refused when disabled, or when neither focusable nor carrying the hot-key override.
    bool SetFocus(bool focus) override;
    // Mouse buttons over the widget, buttons 2/3 anywhere and Return fire it.
    void HandleInput(const Point2i& cursor) override;
    // Disabling takes the focus away first.
    virtual void SetEnabled(bool enabled);

    bool IsFocused() const { return (flags & kFocused) != 0; }
    bool IsEnabled() const { return (flags & kEnabled) != 0; }
    bool IsBright() const { return (flags & kBright) != 0; }

    Rect hitArea;
    uint32_t flags = kEnabled | kFocusable;
    Color color;

protected:
    // True when the point lies in the rectangle (left and top inclusive). A hit on a disabled
    // widget plays the refusal sound when mouse button 0 or 1 went down this frame.
    bool HitEnabled(const Rect& rect, const Point2i& point) const;
};

// An extra text drawn and hit-tested with a widget, placed from the left/top of its area.
struct TextEntry {
    SharedString text;
    int32_t x = 0;
    int32_t y = 0;
    const Font* font = nullptr;
};

// A widget whose face is a caption in a font.
class TextWidget : public Widget {
public:
    static constexpr uint8_t kPulseRising = 1u << 0;

    // A null font is the engine's default font.
    TextWidget(const SharedString& caption, const Font* font);

    // Moves the caption rectangle, then the area to the caption's new left/top.
    void SetPosition(const Point2i& point, bool centre) override;
    // The caption, then each extra text.
    bool HandleMouse(const Point2i& point) override;
    // Keeps the caption rectangle's size and runs the focus pulse.
    void Update() override;
    void Draw(float alpha) override;

    uint8_t pulseRising = 0;
    float pulse = 1.0f;
    const Font* font = nullptr;
    SharedString caption;
    std::vector<TextEntry> texts;
    Point2i focusOffset{-2, 2};

protected:
    // The caption's colour for this frame (before a widget's own tint).
    Color CaptionColor(float alpha) const;
    // Where the caption is drawn: the area's left/top, moved by the focus offset while focused.
    Vector2 CaptionPosition() const;
};

// Helpers the widgets share.
namespace menu_detail {
// The engine's frame time (0 without an engine).
float FrameTime();
// Width and size through the menu canvas (0 without one).
double TextWidth(const Font* font, const SharedString& text);
int32_t FontSize(const Font* font);
// The rectangle of a text at (x, y): its width in the font and the font's size.
Rect TextRect(int32_t x, int32_t y, const Font* font, const SharedString& text);
// Alpha 0..1 as a byte, truncated (out-of-range values clamped).
uint8_t AlphaByte(float alpha);
} // namespace menu_detail
