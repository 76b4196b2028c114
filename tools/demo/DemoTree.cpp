#include "tools/demo/DemoTree.h"

#include <cstdio>
#include <filesystem>

#include "tools/writers/LanguageWriter.h"

namespace tools {
namespace {

const char* const kFolders[] = {"Menu", "Misc", "Models", "Textures", "Audio", "Vehicles", "Pedestrians", "Maps"};

bool WriteLanguage(const std::filesystem::path& root) {
    LanguageFile lang;
    lang.header = "Metrofare demo language";
    lang.name = "English";
    lang.inverted = true;
    // Key names and messages the engine asks for.
    lang.texts[32768] = "None";
    lang.texts[32769] = "Key";
    lang.texts[1] = "Metrofare";
    return WriteLanguageFile((root / "Misc" / "DefaultEnglish.ZKL").string().c_str(), lang);
}

} // namespace

bool WriteDemoTree(const std::string& rootName) {
    std::filesystem::path root(rootName);
    std::error_code ec;
    for (const char* f : kFolders) {
        std::filesystem::create_directories(root / f, ec);
        if (ec) {
            std::fprintf(stderr, "metrofare-demo: cannot create %s: %s\n", (root / f).c_str(), ec.message().c_str());
            return false;
        }
    }
    if (!WriteLanguage(root)) {
        std::fprintf(stderr, "metrofare-demo: cannot write the language set\n");
        return false;
    }
    return true;
}

} // namespace tools
