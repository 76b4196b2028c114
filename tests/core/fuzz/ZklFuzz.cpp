// The language set reader (.ZKL) on arbitrary bytes: loading and probing the name never crash,
// never keep more entries than the file can hold, and agree with each other.
#include <cstddef>
#include <cstdint>

#include "engine/core/LanguageSet.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz_support::Check;
    fuzz_support::DiscardLog();
    static const fuzz_support::ScratchFile file("input.zkl");
    const SharedString path(file.Write(data, size).c_str());

    LanguageTexts texts;
    LanguageSet set(&texts);
    const bool loaded = set.Load(path, &texts);
    // Every entry takes at least its key and its length.
    Check(texts.entries.size() <= size / 8);

    SharedString name;
    const bool named = LanguageSet::ReadName(path, name);
    if (loaded) Check(named && name == set.Name());

    // A second load merges into the same texts: no key appears twice and none is lost.
    const size_t first = texts.entries.size();
    set.Load(path, &texts);
    Check(texts.entries.size() == first);
    for (const auto& [key, text] : texts.entries) Check(set.GetString(key).Length() == text.Length());
    return 0;
}
