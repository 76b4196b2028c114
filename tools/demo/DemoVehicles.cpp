// The texts of the in-game car select.
#include "tools/demo/DemoTree.h"

DEMO_TEXTS {
    texts[66000] = "Press Return to drive";
    texts[66001] = "Left and Right choose a car, Return drives it";
    texts[66002] = "Choose your car";
}
