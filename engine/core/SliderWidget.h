#pragma once
// Edits a value between 0 and 1 held by a float option, with Left/Right held or by dragging
// on the bar. The bar is a picture cut off at the value; a looping sound whose pitch and pan
// follow the value plays while the value moves.
#include <cstdint>

#include "engine/core/Widget.h"

class MenuPicture;

class SliderWidget : public TextWidget {
public:
    // The engine's default font. The option's current value is handed to its SetValue once
    // (and kept). The first slider loads the shared "Slider.ZKT" and "Slider.WAV".
    SliderWidget(const SharedString& caption, MenuOption* boundOption);

    bool HandleMouse(const Point2i& point) override;
    // Losing the focus silences the slider's sound at once.
    bool SetFocus(bool focus) override;
    void HandleInput(const Point2i& cursor) override;
    // Fades the sound out within 0.1 s of the last movement.
    void Update() override;
    void Draw(float alpha) override;
    // A slider has no action.
    void Fire(int32_t) override {}

    // Gives the option the value and pings the sound.
    void MoveTo(float value);
    float Value() const;

    // The shared sound level (1 right after a movement, fading to 0).
    static float SoundLevel();

    MenuOption* option = nullptr;
    MenuPicture* picture = nullptr;
    SharedString minLabel;
    SharedString maxLabel;
    const Font* labelFont = nullptr;
    int32_t barX = 250;
    int32_t barY = 0;
};
