#pragma once

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

    // The widget bound to this option (each widget's constructor stores itself here).
    Widget* widget = nullptr;
};
