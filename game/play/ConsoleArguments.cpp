#include "game/play/ConsoleArguments.h"

namespace console_arguments {

bool Toggle(const SharedString& argument, bool current) {
    const char* p = argument.c_str();
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '0') return false;
    if (*p == '1') return true;
    return !current;
}

int32_t Integer(const SharedString& argument) { return argument.ToInt(0); }

float Float(const SharedString& argument) { return float(argument.ToFloat(0)); }

} // namespace console_arguments
