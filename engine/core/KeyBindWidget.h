#pragma once
// One row of the controls page: the action's name and two columns, the primary and the
// secondary input bound to it. Fired, the widget waits for the next input of any kind (key,
// mouse button or movement, joystick button or axis) and binds it to the chosen column.
#include <cstdint>

#include "engine/core/InputActions.h"
#include "engine/core/Widget.h"

class KeyBindWidget : public TextWidget {
public:
    // The engine's default font; the binding's widget pointer is set to this widget.
    KeyBindWidget(const SharedString& caption, ActionBinding* editedBinding);

    // The caption, then the columns (choosing the one hit).
    bool HandleMouse(const Point2i& point) override;
    // Waiting: captures the next input. Otherwise Return and clicks fire, Left/Right choose
    // the column and Delete clears it.
    void HandleInput(const Point2i& cursor) override;
    void Draw(float alpha) override;
    // Toggles waiting; the binding's SetValue sees its pair, and the screen's navigation,
    // mouse selection and cursor are off while the widget waits.
    void Fire(int32_t kind) override;

    // Widths from which a name is cut and shown with "...".
    static constexpr double kMaxNameWidth = 151.0;

    ActionBinding* binding = nullptr;
    uint8_t waiting = 0;
    uint8_t twoColumns = 1;
    Point2i primaryPos{250, 0};
    Point2i secondaryPos{400, 0};

private:
    // The first input that happened this frame, in capture order; -1 when none did.
    InputCode CaptureInput() const;
    void Bind(InputCode code);
    // The name as shown: cut to below kMaxNameWidth with "..." behind it. Kept per column and
    // made again only when the name changes.
    const SharedString& ShownName(int32_t column);

    struct ShownText {
        SharedString source; // a copy of the name it was made from
        SharedString shown;
    };
    ShownText shown_[2];
};
