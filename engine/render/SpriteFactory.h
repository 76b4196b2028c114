#pragma once
// Hands out sprites by file name, on the texture factory's pattern: the name is looked up
// upper-cased (the caller's string itself is upper-cased), searched in the directories,
// loaded on the main thread (requests from other threads are queued and wait on the
// factory's semaphore) and cached by full path. Every caller owns the sprite it receives.
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"

class Sprite;

struct SpriteRecord {
    SharedString name = "Invalid sprite";
    Sprite* target = nullptr;
};

class SpriteLoader {
public:
    virtual ~SpriteLoader() = default;
    virtual bool Load(SpriteRecord& record) = 0;
    std::vector<SharedString> extensions;
};

// Cuts a version-1 .ZKT picture into device-sized tiles, one texture per frame.
class SpriteLoaderZKT : public SpriteLoader {
public:
    SpriteLoaderZKT() { extensions.push_back(SharedString(".ZKT")); }
    bool Load(SpriteRecord& record) override;
};

class SpriteFactory {
public:
    static SpriteFactory& Instance();
    virtual ~SpriteFactory();

    // The options are ignored.
    virtual Sprite* GetWithOptions(SharedString& name, const uint32_t* options, bool share);
    // A sprite owned by the caller; null when no loader takes the extension; a new empty
    // sprite when the file is found nowhere.
    virtual Sprite* Get(SharedString& name, bool share);

    SpriteLoader* FindLoader(const SharedString& name);
    void LoadNow(SpriteRecord& record);
    void LoadQueued();
    size_t LoadedCount();
    void ClearForTests();

    std::vector<SharedString> searchDirectories;
    std::vector<SpriteLoader*> loaders;

private:
    SpriteFactory();
    struct Entry {
        SharedString path;
        Sprite* sprite;  // owned by the factory
    };
    Mutex cacheLock_;
    SpriteRecord request_;
    Semaphore requestSemaphore_{0, 1};
    Mutex requestLock_;
    std::vector<Entry> loaded_;
    SpriteLoaderZKT* zktLoader_ = nullptr;
    std::once_flag loaderOnce_;
};
