#include "engine/render/SpriteFactory.h"

#include <cstring>
#include <mutex>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/Sprite.h"
#include "engine/render/ZktFormat.h"

namespace {

SharedString Upper(const SharedString& s) {
    SharedString copy = s.Clone();
    copy.ToUpper();
    return copy;
}

}  // namespace

bool SpriteLoaderZKT::Load(SpriteRecord& record) {
    zkt::SpriteImage image;
    if (!zkt::ReadSpriteImage(record.name, image) || !record.target) return false;
    ZKEngine* engine = ZKEngine::Get();
    D3D8TextureManager* manager =
        (engine && engine->renderer) ? engine->renderer->GetTextureManager() : nullptr;
    Sprite& sprite = *record.target;
    sprite.width = image.width;
    sprite.height = image.height;
    const std::vector<int32_t> cols = SpriteTileSizes(image.width, manager ? manager->maxWidth : 4096);
    const std::vector<int32_t> rows = SpriteTileSizes(image.height, manager ? manager->maxHeight : 4096);
    sprite.columns = int32_t(cols.size());
    sprite.rows = int32_t(rows.size());
    sprite.frames.assign(cols.size() * rows.size(), SpriteFrame{});
    const size_t bpp = size_t(image.bytesPerPixel);
    int32_t y = 0;
    for (size_t r = 0; r < rows.size(); ++r) {
        const int32_t th = rows[r];
        int32_t x = 0;
        for (size_t c = 0; c < cols.size(); ++c) {
            const int32_t tw = cols[c];
            TextureRecord tile;
            tile.name = SharedString::Format("%s_%d_%d", record.name.c_str(), x, y);
            tile.format = image.format;
            tile.width = tw;
            tile.height = th;
            tile.mayCompress = image.mayCompress ? 1 : 0;
            tile.highQuality = image.highQuality ? 1 : 0;
            tile.wrapU = tile.wrapV = 1;
            TextureLevel level;
            level.width = tw;
            level.height = th;
            level.pixels.resize(size_t(tw) * size_t(th) * bpp);
            for (int32_t row = 0; row < th; ++row)
                std::memcpy(&level.pixels[size_t(row) * size_t(tw) * bpp],
                            &image.pixels[(size_t(y + row) * size_t(image.width) + size_t(x)) * bpp],
                            size_t(tw) * bpp);
            tile.levels.push_back(std::move(level));
            SpriteFrame& frame = sprite.frames[r * cols.size() + c];
            frame = {x, y, x + tw, y + th, new TextureHandle()};
            if (manager) frame.texture->Set(new TextureRef(manager->Load(&tile)));
            x += tw;
        }
        y += th;
    }
    return true;
}

SpriteFactory& SpriteFactory::Instance() {
    static SpriteFactory* instance = new SpriteFactory();  // lives for the process
    return *instance;
}

SpriteFactory::SpriteFactory() {
    searchDirectories.push_back(SharedString("Textures"));
    searchDirectories.push_back(SharedString("Menu"));
    searchDirectories.push_back(SharedString("."));
}

SpriteFactory::~SpriteFactory() {
    for (Entry& e : loaded_) delete e.sprite;
    for (SpriteLoader* l : loaders) delete l;
}

SpriteLoader* SpriteFactory::FindLoader(const SharedString& name) {
    for (SpriteLoader* loader : loaders)
        for (const SharedString& ext : loader->extensions)
            if (name.EndsWith(ext)) return loader;
    return nullptr;
}

Sprite* SpriteFactory::GetWithOptions(SharedString& name, const uint32_t*, bool share) {
    return Get(name, share);
}

Sprite* SpriteFactory::Get(SharedString& name, bool share) {
    Debugger& log = Debugger::Instance();
    name.ToUpper();  // the caller's string itself
    const SharedString& key = name;
    // The .ZKT loader registers itself on the first request, from whichever thread makes it.
    std::call_once(loaderOnce_, [this] {
        zktLoader_ = new SpriteLoaderZKT();
        loaders.push_back(zktLoader_);
    });
    if (!FindLoader(key)) {
        log.Message("SPRITEFACTORY: No available loader could be found for sprite %s", key.c_str());
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
        log.Message("SPRITEFACTORY: %s could not be found in one of the available directories", key.c_str());
        return new Sprite();
    }
    if (share) {
        const SharedString upperPath = Upper(path);
        std::lock_guard<Mutex> guard(cacheLock_);
        for (const Entry& e : loaded_)
            if (Upper(e.path) == upperPath && e.sprite) return e.sprite->Clone();
    }

    ZKEngine& engine = ZKEngine::Instance();
    if (Thread::Current() != engine.mainThread) {
        std::lock_guard<Mutex> requestGuard(requestLock_);
        auto* sprite = new Sprite();
        request_ = SpriteRecord{path, sprite};
        engine.tasks.AddTask([this] { LoadQueued(); }, &engine.rendererReady);
        log.Log(3, "SPRITEFACTORY: %s queued", name.c_str());
        requestSemaphore_.Wait();
        log.Log(3, "SPRITEFACTORY: %s loaded", name.c_str());
        // The cache keeps `sprite`; the caller gets its own.
        return sprite->Clone();
    }
    if (!engine.rendererReady) return new Sprite();
    SpriteRecord record{path, new Sprite()};
    LoadNow(record);
    return record.target->Clone();
}

void SpriteFactory::LoadNow(SpriteRecord& record) {
    SpriteLoader* loader = FindLoader(record.name);
    Debugger::Instance().Log(3, "SPRITEFACTORY: Loading %s", record.name.c_str());
    if (loader) loader->Load(record);
    std::lock_guard<Mutex> guard(cacheLock_);
    loaded_.push_back({record.name, record.target});
}

void SpriteFactory::LoadQueued() {
    LoadNow(request_);
    request_ = SpriteRecord{};
    requestSemaphore_.Release();
}

size_t SpriteFactory::LoadedCount() {
    std::lock_guard<Mutex> guard(cacheLock_);
    return loaded_.size();
}

void SpriteFactory::ClearForTests() {
    std::lock_guard<Mutex> guard(cacheLock_);
    for (Entry& e : loaded_) delete e.sprite;
    loaded_.clear();
}
