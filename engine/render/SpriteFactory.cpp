#include "engine/render/SpriteFactory.h"

#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Sprite.h"
#include "engine/render/ZktFormat.h"

bool SpriteLoaderZKT::Load(SpriteRecord& record, D3D8TextureManager* manager) {
    zkt::SpriteImage image;
    if (!zkt::ReadSpriteImage(record.name, image) || !record.target) return false;
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

Sprite* SpriteFactory::GetWithOptions(SharedString& name, const uint32_t*, bool share) {
    return Get(name, share);
}

Sprite* SpriteFactory::Get(SharedString& name, bool share) {
    Debugger& log = Debugger::Instance();
    name.ToUpper();  // the caller's string itself
    const SharedString& key = name;
    if (!TakesName(key)) {
        log.Message("SPRITEFACTORY: No available loader could be found for sprite %s", key.c_str());
        return nullptr;
    }
    const SharedString path = Locate(key);
    if (path.IsNull() || path.IsEmpty()) {
        log.Message("SPRITEFACTORY: %s could not be found in one of the available directories", key.c_str());
        return new Sprite();
    }
    if (share)
        if (Sprite* shared = SharedCopy(path)) return shared;
    return Load(SpriteRecord{path, nullptr}, name);
}
