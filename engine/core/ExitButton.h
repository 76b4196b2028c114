#pragma once
// The main menu's quit entry. Fired, it darkens the screen and asks whether to quit, with two
// answers (quit, stay) chosen by their keys, Left/Right and Return, or the mouse. Quitting
// clears the engine's running flag.
#include <cstdint>

#include "engine/core/Widget.h"

class ExitButton : public TextWidget {
public:
    // dialogState: bit 31 the confirmation is open; the low bits the highlighted answer.
    static constexpr uint32_t kOpen = 1u << 31;
    static constexpr int32_t kQuit = 0;
    static constexpr int32_t kStay = 1;

    // Language texts: the question, the two answers and the letters of their keys.
    static constexpr int32_t kTextQuestion = 165;
    static constexpr int32_t kTextQuit = 560;
    static constexpr int32_t kTextStay = 561;
    static constexpr int32_t kTextQuitKey = 562;
    static constexpr int32_t kTextStayKey = 563;

    // Values the option receives.
    static constexpr int32_t kValueOpened = 0;
    static constexpr int32_t kValueHighlight = 1;
    static constexpr int32_t kValueQuit = 2;
    static constexpr int32_t kValueStay = 3;

    // The engine's default font. The first one loads the shared "Exit.ZKT" and "Exit.WAV".
    ExitButton(const SharedString& caption, MenuOption* boundOption);

    void HandleInput(const Point2i& cursor) override;
    void Update() override;
    void Draw(float alpha) override;
    // Opens the confirmation with "stay" highlighted.
    void Fire(int32_t kind) override;

    bool IsOpen() const { return (dialogState & kOpen) != 0; }
    int32_t Highlighted() const { return int32_t(dialogState & ~kOpen); }
    // The engine key of an answer's letter: 'A'..'Z' give 0..25; anything else none (-1).
    static int32_t KeyOfText(const SharedString& text);

    MenuOption* option = nullptr;
    float overlay = 0.0f;
    uint32_t dialogState = 0;

private:
    void Close();
    void Quit();
    void Stay();
    // Return, Enter and buttons 2/3: the highlighted answer.
    void Answer();
    void Highlight(int32_t answer);
    // The option receives a value (when there is one).
    void Tell(int32_t value);

    int32_t quitKey_ = -1; // read from the language when the confirmation opens
    int32_t stayKey_ = -1;
};
