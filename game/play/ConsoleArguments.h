#pragma once
// How the developer commands read the text after their name.
#include <cstdint>

#include "engine/core/SharedString.h"

namespace console_arguments {

// A switch: an empty argument toggles; else, after leading blanks, '0' is off, '1' on and any
// other character toggles.
bool Toggle(const SharedString& argument, bool current);
// Decimal conversion from the first character (leading blanks and a sign; 0 without digits).
int32_t Integer(const SharedString& argument);
float Float(const SharedString& argument);

} // namespace console_arguments
