#include "engine/render/TextureFactory.h"

#include <mutex>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/ZktFormat.h"

bool TextureLoaderZKT::Load(TextureRecord& record, D3D8TextureManager* manager) {
    const int32_t maxW = manager ? manager->maxWidth : 4096;
    const int32_t maxH = manager ? manager->maxHeight : 4096;
    if (!zkt::ReadTexture(record, maxW, maxH)) return false;
    if (record.target) {
        if (manager) record.target->Set(new TextureRef(manager->Load(&record)));
        else Debugger::Instance().Log(2, "TEXTUREFACTORY: No texture manager for %s", record.name.c_str());
    }
    return true;
}

TextureFactory& TextureFactory::Instance() {
    static TextureFactory* instance = new TextureFactory();  // lives for the process
    return *instance;
}

TextureHandle* TextureFactory::GetByName(const SharedString& name, bool share) {
    const uint32_t none = 0;
    return Get(name, &none, share);
}

TextureHandle* TextureFactory::Get(const SharedString& name, const uint32_t* options, bool share) {
    Debugger& log = Debugger::Instance();
    const SharedString key = Upper(name);
    if (!TakesName(key)) {
        log.Message("TEXTUREFACTORY: No available loader could be found for %s", key.c_str());
        return nullptr;
    }

    const SharedString path = Locate(key);
    if (path.IsNull() || path.IsEmpty()) {
        log.Message("TEXTUREFACTORY: %s could not be found in one of the available directories", key.c_str());
        std::lock_guard<Mutex> guard(cacheLock_);
        return loaded_.empty() ? nullptr : loaded_.front().item->Share();
    }

    if (share)
        if (TextureHandle* shared = SharedCopy(path)) return shared;

    TextureRecord record;
    record.name = path;
    record.options = options ? *options : 0;
    return Load(record, name);
}

void TextureFactory::Remove(const SharedString& name) {
    std::lock_guard<Mutex> guard(cacheLock_);
    for (auto it = loaded_.begin(); it != loaded_.end(); ++it) {
        if (it->path.EndsWith(name)) {
            // Outstanding handles hold their own references; the cache's one goes.
            delete it->item;
            loaded_.erase(it);
            return;
        }
    }
}

void TextureFactory::ListLoaded() {
    Debugger& log = Debugger::Instance();
    std::lock_guard<Mutex> guard(cacheLock_);
    log.Message("TEXTUREFACTORY: Listing %d loaded textures", int32_t(loaded_.size()));
    for (const Entry& e : loaded_) log.Print(e.path);
    log.Message("TEXTUREFACTORY: %d loaded textures listed", int32_t(loaded_.size()));
}

void TextureFactory::ListUnused() {
    Debugger& log = Debugger::Instance();
    log.Message("TEXTUREFACTORY: Listing unused textures");
    int32_t count = 0;
    for (const SharedString& dir : searchDirectories) {
        for (const SharedString& file : ListFiles(SharedString::Format("%s\\*.ZKT", dir.c_str()), false)) {
            const SharedString full = SharedString::Format("%s\\%s", dir.c_str(), file.c_str());
            const SharedString upper = Upper(full);
            bool used = false;
            {
                std::lock_guard<Mutex> guard(cacheLock_);
                for (const Entry& e : loaded_) {
                    if (Upper(e.path) == upper) {
                        used = !e.item->IsEmpty();
                        break;
                    }
                }
            }
            if (!used) {
                log.Print(full);
                ++count;
            }
        }
    }
    log.Message("TEXTUREFACTORY: %d unused textures listed", count);
}

SharedString TextureFactory::LoadedPath(size_t index) {
    std::lock_guard<Mutex> guard(cacheLock_);
    return index < loaded_.size() ? loaded_[index].path : SharedString("");
}
