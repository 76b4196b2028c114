#include "engine/core/LanguageSet.h"

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"

LanguageSet::LanguageSet(LanguageTexts* texts) : texts_(texts), name_("None"), header_("") {}

bool LanguageSet::Load(const SharedString& path, LanguageTexts* texts) {
    texts_ = texts;
    name_ = SharedString("");
    header_ = SharedString("");
    FileReader in(path);
    uint32_t version = 0;
    int header = in.CheckZK2Header(version);
    Debugger& log = Debugger::Instance();
    if (header == 1) {
        log.Message("Failed loading language set %s", path.c_str());
        return false;
    }
    if (header == 2) {
        log.Message("%s is NOT a ZKL file", path.c_str());
        return false;
    }
    if (version != kPlainVersion && version != kInvertedVersion) {
        log.Message("%s is of an unsupported version", path.c_str());
        return false;
    }
    const bool inverted = version == kInvertedVersion;
    auto readString = [&]() { return inverted ? in.ReadInvertedString() : in.ReadString(); };
    auto fail = [&]() {
        log.Message("Failed loading language set %s", path.c_str());
        return false;
    };
    header_ = readString();
    name_ = readString();
    // A string length that does not fit in the file has failed the reader.
    if (in.Failed()) return fail();
    int32_t count = in.ReadI32();
    // Each entry takes at least 8 bytes (key and length): a larger count cannot be real, but
    // the entries that are in the file are still read.
    bool countTooLarge = count > 0 && int64_t(count) * 8 > int64_t(in.Remaining());
    if (countTooLarge) count = in.Remaining() / 8;
    {
        std::lock_guard<Mutex> g(texts_->lock);
        for (int32_t i = 0; i < count; ++i) {
            int32_t key = in.ReadI32();
            SharedString text = readString();
            if (in.Failed()) break;
            auto it = texts_->entries.find(key);
            if (it == texts_->entries.end()) texts_->entries.emplace(key, text);
            else it->second.Assign(text.c_str(), text.Length());
        }
    }
    if (countTooLarge || in.Failed()) return fail();
    return true;
}

bool LanguageSet::ReadName(const SharedString& path, SharedString& outName) {
    FileReader in(path);
    uint32_t version = 0;
    if (in.CheckZK2Header(version) != 0) return false;
    if (version != kPlainVersion && version != kInvertedVersion) return false;
    const bool inverted = version == kInvertedVersion;
    SharedString header = inverted ? in.ReadInvertedString() : in.ReadString();
    SharedString name = inverted ? in.ReadInvertedString() : in.ReadString();
    if (in.Failed()) return false;
    outName = name;
    return true;
}

const SharedString& LanguageSet::GetString(int32_t key) {
    std::lock_guard<Mutex> g(texts_->lock);
    auto it = texts_->entries.find(key);
    if (it != texts_->entries.end()) return it->second;
    Debugger::Instance().Message("ENGINE: Requested key %d is not in language", key);
    return texts_->entries.emplace(key, SharedString::Format("Undefined key %d", key)).first->second;
}

void LanguageCatalog::FindAndLoadDefault() {
    Debugger& log = Debugger::Instance();
    std::vector<SharedString> files = ListFiles(SharedString("Misc\\*.ZKL"), false);
    int32_t chosen = -1;
    for (const SharedString& file : files) {
        SharedString path = SharedString::Format("Misc\\%s", file.c_str());
        path.ToUpper();
        SharedString name;
        if (!LanguageSet::ReadName(path, name)) continue;
        paths_.push_back(path);
        names_.push_back(name);
        log.Log(3, "ENGINE: Found language %s", name.c_str());
        SharedString upperFile = file.Clone();
        upperFile.ToUpper();
        if (chosen < 0 && upperFile.StartsWith(SharedString("DEFAULT"))) chosen = int32_t(paths_.size()) - 1;
    }
    if (paths_.empty()) return;
    if (chosen < 0) chosen = 0;
    LoadPath(paths_[size_t(chosen)]);
}

void LanguageCatalog::LoadPath(const SharedString& path) {
    current_.Load(path, texts_);
    Debugger::Instance().Log(3, "ENGINE: Language = %s", current_.Name().c_str());
}

bool LanguageCatalog::SelectByName(const SharedString& name) {
    SharedString wanted = name.Clone();
    wanted.ToUpper();
    for (size_t i = 0; i < names_.size(); ++i) {
        SharedString found = names_[i].Clone();
        found.ToUpper();
        if (found == wanted) {
            LoadPath(paths_[i]);
            return true;
        }
    }
    return false;
}
