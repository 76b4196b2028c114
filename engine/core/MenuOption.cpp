#include "engine/core/MenuOption.h"

void MenuOption::Set(int32_t value) {
    const int32_t copy = value;
    SetValue(&copy);
    cachedInt = value;
}

void MenuOption::Set(float value) {
    const float copy = value;
    SetValue(&copy);
    cachedFloat = value;
}

void MenuOption::Set(uint8_t value) {
    const uint8_t copy = value;
    SetValue(&copy);
    cachedByte = value;
}

void MenuOption::Set(const SharedString& value) {
    const SharedString copy = value;
    SetValue(&copy);
    cachedText = value;
}
