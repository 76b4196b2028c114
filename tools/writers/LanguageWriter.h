#pragma once
#include <cstdint>
#include <map>

#include "engine/core/SharedString.h"

namespace tools {

// Writes a language set file (.ZKL). Inverted strings use version 0x2000, plain 0x1000.
struct LanguageFile {
    SharedString header = "Metrofare language set";
    SharedString name = "English";
    std::map<int32_t, SharedString> texts;
    bool inverted = false;
};

bool WriteLanguageFile(const SharedString& path, const LanguageFile& file);

} // namespace tools
