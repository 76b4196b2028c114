#pragma once
// The voices and pictures every menu screen and widget shares. Each is made once, by the
// first screen or widget that needs it, and kept for the life of the program; making one is
// safe from several threads at once (screens load on init threads of their own).
#include <cstdint>

class AudioVoice;
class MenuPicture;

enum class MenuSound : int32_t {
    Woosh,    // "Woosh.WAV": follows the mouse speed
    Move,     // "MenuMove.WAV": the selection moved
    Leave,    // "Menu.WAV": a screen was left
    Refused,  // "False.WAV": a click on a disabled widget
    Click,    // "Click.WAV"
    Back,     // "Back.WAV"
    Slider,   // "Slider.WAV": looped while a slider moves
    Exit,     // "Exit.WAV": the quit confirmation opened
    RollOver, // "RollOver.WAV": the pointer or a key reached another tab
    Count
};

enum class MenuImage : int32_t {
    Background,  // "Menu.ZKT"
    Cursor,      // "Mouse.ZKT"
    Slider,      // "Slider.ZKT"
    Exit,        // "Exit.ZKT"
    Count
};

// Makes the voice through the engine's sound device and adds it to the menu sound group,
// unless it exists already. Without a sound device nothing is made (and nothing is heard).
void MakeMenuSound(MenuSound sound);
// The voice, or null when it was never made.
AudioVoice* GetMenuSound(MenuSound sound);
// Plays the voice once (not looped); silent when it does not exist.
void PlayMenuSound(MenuSound sound);

// Loads the picture through the menu canvas (rows flipped) unless it is loaded already.
// Without a canvas nothing is loaded.
void LoadMenuPicture(MenuImage image);
// The picture, or null when it was never loaded.
MenuPicture* GetMenuPicture(MenuImage image);

// Returns the shared voices to the sound device and deletes the shared pictures; whatever
// needs them next makes them again. For a program or test that replaces its devices.
void ReleaseMenuResources();
