#include "tools/demo/DemoTree.h"
#include "tools/writers/LanguageWriter.h"

// The language set: texts the engine and the game ask for by key.
DEMO_STEP("language set") {
    tools::LanguageFile lang;
    lang.header = "Metrofare demo language";
    lang.name = "English";
    lang.inverted = true;
    lang.texts[32768] = "None";
    lang.texts[32769] = "Key";
    return tools::WriteLanguageFile((root / "Misc" / "DefaultEnglish.ZKL").string().c_str(), lang);
}
