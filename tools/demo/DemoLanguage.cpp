#include "tools/demo/DemoTree.h"
#include "tools/writers/LanguageWriter.h"

// Input names the engine's key-binding texts use.
DEMO_TEXTS {
    texts[32768] = "None";
    texts[32769] = "Key";
}

// The language set: every text the engine and the game ask for by key, gathered from each
// area's DEMO_TEXTS.
DEMO_STEP("language set") {
    tools::DemoTextMap texts;
    if (!tools::GatherDemoTexts(texts)) return false;
    tools::LanguageFile lang;
    lang.header = "Metrofare demo language";
    lang.name = "English";
    lang.inverted = true;
    for (const auto& [key, text] : texts) lang.texts[key] = SharedString(text.c_str());
    return tools::WriteLanguageFile((root / "Misc" / "DefaultEnglish.ZKL").string().c_str(), lang);
}
