#include "engine/render/TextureFactory.h"

#include <mutex>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/ZktFormat.h"

namespace {

D3D8TextureManager* CurrentTextureManager() {
    ZKEngine* engine = ZKEngine::Get();
    return (engine && engine->renderer) ? engine->renderer->GetTextureManager() : nullptr;
}

bool OnMainThread(ZKEngine& engine) { return Thread::Current() == engine.mainThread; }

SharedString Upper(const SharedString& s) {
    SharedString copy = s.Clone();
    copy.ToUpper();
    return copy;
}

}  // namespace

bool TextureLoaderZKT::Load(TextureRecord& record) {
    D3D8TextureManager* manager = CurrentTextureManager();
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

TextureFactory::TextureFactory() {
    // The engine's texture directories: a name is tried as given, then under ".", "Menu"
    // and "Textures".
    searchDirectories.push_back(SharedString("Textures"));
    searchDirectories.push_back(SharedString("Menu"));
    searchDirectories.push_back(SharedString("."));
}

TextureFactory::~TextureFactory() {
    for (Entry& e : loaded_) delete e.handle;
    for (TextureLoader* l : loaders) delete l;
}

TextureLoader* TextureFactory::FindLoader(const SharedString& name) {
    for (TextureLoader* loader : loaders)
        for (const SharedString& ext : loader->extensions)
            if (name.EndsWith(ext)) return loader;
    return nullptr;
}

TextureHandle* TextureFactory::GetByName(const SharedString& name, bool share) {
    const uint32_t none = 0;
    return Get(name, &none, share);
}

TextureHandle* TextureFactory::Get(const SharedString& name, const uint32_t* options, bool share) {
    Debugger& log = Debugger::Instance();
    const SharedString key = Upper(name);
    // The .ZKT loader registers itself on the first request, from whichever thread makes it.
    std::call_once(loaderOnce_, [this] {
        zktLoader_ = new TextureLoaderZKT();
        loaders.push_back(zktLoader_);
    });
    if (!FindLoader(key)) {
        log.Message("TEXTUREFACTORY: No available loader could be found for %s", key.c_str());
        return nullptr;
    }

    SharedString path;
    if (FileExists(key)) {
        path = key;
    } else {
        for (size_t i = searchDirectories.size(); i-- > 0;) {
            SharedString candidate = SharedString::Format("%s\\%s", searchDirectories[i].c_str(), key.c_str());
            if (FileExists(candidate)) {
                path = candidate;
                break;
            }
        }
    }
    if (path.IsNull() || path.IsEmpty()) {
        log.Message("TEXTUREFACTORY: %s could not be found in one of the available directories", key.c_str());
        std::lock_guard<Mutex> guard(cacheLock_);
        return loaded_.empty() ? nullptr : loaded_.front().handle->Share();
    }

    if (share) {
        const SharedString upperPath = Upper(path);
        std::lock_guard<Mutex> guard(cacheLock_);
        for (const Entry& e : loaded_)
            if (Upper(e.path) == upperPath) return e.handle->Share();
    }

    ZKEngine& engine = ZKEngine::Instance();
    const uint32_t opts = options ? *options : 0;
    if (!OnMainThread(engine)) {
        std::lock_guard<Mutex> requestGuard(requestLock_);
        auto* handle = new TextureHandle();
        request_ = TextureRecord{};
        request_.name = path;
        request_.target = handle;
        request_.options = opts;
        engine.tasks.AddTask([this] { LoadQueued(); }, &engine.rendererReady);
        log.Log(3, "TEXTUREFACTORY: %s queued", name.c_str());
        requestSemaphore_.Wait();
        log.Log(3, "TEXTUREFACTORY: %s loaded", name.c_str());
        // The cache keeps `handle`; the caller gets its own.
        return handle->Share();
    }
    if (!engine.rendererReady) return new TextureHandle();
    TextureRecord record;
    record.name = path;
    record.target = new TextureHandle();
    record.options = opts;
    LoadNow(record);
    return record.target->Share();
}

void TextureFactory::LoadNow(TextureRecord& record) {
    TextureLoader* loader = FindLoader(record.name);
    Debugger::Instance().Log(3, "TEXTUREFACTORY: Loading %s", record.name.c_str());
    if (loader) loader->Load(record);
    // A failed load is cached too, with its empty handle.
    std::lock_guard<Mutex> guard(cacheLock_);
    loaded_.push_back({record.name, record.target});
}

void TextureFactory::LoadQueued() {
    LoadNow(request_);
    request_ = TextureRecord{};
    requestSemaphore_.Release();
}

void TextureFactory::Remove(const SharedString& name) {
    std::lock_guard<Mutex> guard(cacheLock_);
    for (auto it = loaded_.begin(); it != loaded_.end(); ++it) {
        if (it->path.EndsWith(name)) {
            // Outstanding handles hold their own references; the cache's one goes.
            delete it->handle;
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
                        used = !e.handle->IsEmpty();
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

size_t TextureFactory::LoadedCount() {
    std::lock_guard<Mutex> guard(cacheLock_);
    return loaded_.size();
}

SharedString TextureFactory::LoadedPath(size_t index) {
    std::lock_guard<Mutex> guard(cacheLock_);
    return index < loaded_.size() ? loaded_[index].path : SharedString("");
}

void TextureFactory::ClearForTests() {
    std::lock_guard<Mutex> guard(cacheLock_);
    for (Entry& e : loaded_) delete e.handle;
    loaded_.clear();
}
