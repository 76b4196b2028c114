#include "tools/demo/DemoTree.h"

// What the settings read from the language set: the mission count, the default player and
// session names, the pool of names for the generated score tables (its size counts the size
// entry itself), and the names of the inputs that the default bindings use.
DEMO_TEXTS {
    texts[9980000] = "4";
    texts[908076] = "Player";
    texts[3004] = "Metrofare";
    texts[5550000] = "6";
    texts[5550001] = "Ace";
    texts[5550002] = "Bea";
    texts[5550003] = "Cody";
    texts[5550004] = "Dot";
    texts[5550005] = "Eli";
    // Mouse buttons 0 to 7, then the mouse's x, y and wheel, each negative then positive.
    const char* mouse[] = {"Mouse button 1", "Mouse button 2", "Mouse button 3", "Mouse button 4",
                           "Mouse button 5", "Mouse button 6", "Mouse button 7", "Mouse button 8",
                           "Mouse left",     "Mouse right",    "Mouse up",       "Mouse down",
                           "Wheel up",       "Wheel down"};
    for (int32_t i = 0; i < 14; ++i) texts[32770 + i] = mouse[i];
    // "Joystick<n> <axis direction>" and "Joystick<n> Button <b>".
    texts[32784] = "Joystick";
    const char* axes[] = {"X-", "X+", "Y-", "Y+", "Z-", "Z+"};
    for (int32_t i = 0; i < 6; ++i) texts[32785 + i] = axes[i];
    texts[32791] = "Button";
}
