#include "platform/gfx/VsTranslator.h"
namespace gfx {
VsTranslation TranslateVs11(const uint32_t*, size_t) { VsTranslation t; t.error = "not yet"; return t; }
std::string DisassembleVs11(const uint32_t*, size_t) { return {}; }
}
