// Seeds for the language set reader, written by the project's own language writer.
#include <map>
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/LanguageWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    const fuzz_support::ScratchFile scratch("seed.zkl");
    auto put = [&](const std::string& name, const tools::LanguageFile& file) {
        if (!tools::WriteLanguageFile(SharedString(scratch.Path().c_str()), file)) return false;
        seeds.CopyFile(name, scratch.Path());
        return true;
    };
    tools::LanguageFile file;
    file.texts = {{1, "One"}, {-7, SharedString("bin\0ary", 7)}, {500, ""}, {32768, "None"}};
    bool ok = put("plain", file);
    file.inverted = true;
    ok = ok && put("inverted", file);
    tools::LanguageFile empty;
    empty.header = "";
    empty.name = "";
    ok = ok && put("empty", empty);
    tools::LanguageFile many;
    many.name = "Deutsch";
    for (int32_t key = 0; key < 64; ++key) many.texts[key * 3] = SharedString(std::string(size_t(key), 'x').c_str());
    ok = ok && put("many", many);
    return ok ? 0 : 1;
}
