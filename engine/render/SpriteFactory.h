#pragma once
// Hands out sprites by file name, on the texture factory's pattern: the name is looked up
// upper-cased (the caller's string itself is upper-cased), searched in the directories,
// loaded on the main thread (requests from other threads are queued and wait on the
// factory's semaphore) and cached by full path. Every caller owns the sprite it receives.
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/render/FileFactory.h"
#include "engine/render/Sprite.h"

struct SpriteRecord {
    SharedString name = "Invalid sprite";
    Sprite* target = nullptr;
};

class D3D8TextureManager;

// A loader gives record.target its frames, each a texture made through the texture manager.
using SpriteLoader = FileLoader<SpriteRecord, D3D8TextureManager>;

// Cuts a version-1 .ZKT picture into device-sized tiles, one texture per frame.
class SpriteLoaderZKT : public SpriteLoader {
public:
    SpriteLoaderZKT() { extensions.push_back(SharedString(".ZKT")); }
    bool Load(SpriteRecord& record, D3D8TextureManager* manager) override;
};

class SpriteFactory : public FileFactory<SpriteRecord, D3D8TextureManager, SpriteLoaderZKT, &Sprite::Clone> {
public:
    static SpriteFactory& Instance();

    // The options are ignored.
    virtual Sprite* GetWithOptions(SharedString& name, const uint32_t* options, bool share);
    // A sprite owned by the caller; null when no loader takes the extension; a new empty
    // sprite when the file is found nowhere.
    virtual Sprite* Get(SharedString& name, bool share);

private:
    SpriteFactory() : FileFactory("SPRITEFACTORY") {}
};
