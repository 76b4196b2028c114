#include "tools/demo/DemoTree.h"

// The quit confirmation of the menus: the question, the two answers and the letters of their
// keys (the first character of each, an upper-case letter).
DEMO_TEXTS {
    texts[165] = "Do you really want to quit?";
    texts[560] = "Yes";
    texts[561] = "No";
    texts[562] = "Y";
    texts[563] = "N";
}
