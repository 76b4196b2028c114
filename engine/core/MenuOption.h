#pragma once
#include <cstdint>

#include "engine/core/SharedString.h"

class Widget;

// The value and callback object bound to a menu widget. Options that hold a value (such as
// the action bindings) put their clean-up in the destructor and take new values through
// SetValue; options made for buttons act in Execute.
class MenuOption {
public:
    MenuOption() = default;
    MenuOption(const MenuOption&) = delete;
    MenuOption& operator=(const MenuOption&) = delete;
    virtual ~MenuOption() = default;

    virtual void Execute() {}
    // `value` points at the new value, whose type is the option's own.
    virtual void SetValue(const void* value) { (void)value; }
    virtual void AltAction() {}

    // Hands the option a copy of the value through SetValue, then keeps it as the cached
    // value of that type.
    void Set(int32_t value);
    void Set(float value);
    void Set(uint8_t value);
    void Set(const SharedString& value);

    // The widget bound to this option (each widget's constructor stores itself here).
    Widget* widget = nullptr;

    // The value the widgets last gave the option; each option uses the one of its own type.
    int32_t cachedInt = 0;    // a choice's index (-1 none), the exit button's step 0..3
    float cachedFloat = 0.0f; // a slider's value 0..1
    uint8_t cachedByte = 0;   // back and link buttons: 0 while acting, 1 once done
    SharedString cachedText;  // a text entry's text
};
