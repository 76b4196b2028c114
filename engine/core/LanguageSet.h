#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"

// The key-to-text map shared by every language set loaded into it. Lookups may come from
// any thread, so the map carries its lock.
struct LanguageTexts {
    std::map<int32_t, SharedString> entries;
    Mutex lock;
};

// A language file "Misc\*.ZKL": a ZK2 header (version 0x1000 plain strings, 0x2000 inverted
// strings), a header string, the language name and the keyed texts.
class LanguageSet {
public:
    static constexpr uint32_t kPlainVersion = 0x1000;
    static constexpr uint32_t kInvertedVersion = 0x2000;

    explicit LanguageSet(LanguageTexts* texts);
    // Loads the file and merges its entries into the map: new keys are inserted, existing
    // texts are overwritten in place (every handle sharing them reads the new text).
    bool Load(const SharedString& path, LanguageTexts* texts);
    // Reads only the language name; false (and nothing logged) when the file is unusable.
    static bool ReadName(const SharedString& path, SharedString& outName);
    // The text for a key; an unknown key logs once and gets "Undefined key %d".
    const SharedString& GetString(int32_t key);

    const SharedString& Name() const { return name_; }
    const SharedString& Header() const { return header_; }
    LanguageTexts* Texts() const { return texts_; }

private:
    LanguageTexts* texts_;
    SharedString name_;
    SharedString header_;
};

// The engine's language choice: finds the sets in "Misc\*.ZKL", picks one and loads it.
class LanguageCatalog {
public:
    explicit LanguageCatalog(LanguageTexts* texts) : texts_(texts), current_(texts) {}
    // Lists and probes the language files, then loads the default choice: a file whose name
    // starts with "DEFAULT", else the first found.
    void FindAndLoadDefault();
    // Loads the set whose language name equals `name` (case-insensitively).
    bool SelectByName(const SharedString& name);

    const std::vector<SharedString>& Paths() const { return paths_; }
    const std::vector<SharedString>& Names() const { return names_; }
    LanguageSet& Current() { return current_; }

private:
    void LoadPath(const SharedString& path);
    LanguageTexts* texts_;
    LanguageSet current_;
    std::vector<SharedString> paths_;
    std::vector<SharedString> names_;
};
