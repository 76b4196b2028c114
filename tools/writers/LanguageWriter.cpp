#include "tools/writers/LanguageWriter.h"

#include "engine/core/FileStream.h"

namespace tools {

bool WriteLanguageFile(const SharedString& path, const LanguageFile& file) {
    FileWriter out(path);
    if (!out.IsOpen()) return false;
    out.WriteZK2Header(file.inverted ? 0x2000u : 0x1000u);
    auto put = [&](const SharedString& s) {
        if (file.inverted) out.WriteInvertedString(s);
        else out.WriteString(s);
    };
    put(file.header);
    put(file.name);
    out.WriteU32(uint32_t(file.texts.size()));
    for (const auto& [key, text] : file.texts) {
        out.WriteU32(uint32_t(key));
        put(text);
    }
    return true;
}

} // namespace tools
