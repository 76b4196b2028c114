#pragma once
// The single source of textures. Callers ask by file name and receive a TextureHandle of
// their own: the factory finds the file in its search directories (the name itself first,
// then the directories from the last added to the first), picks a loader by extension, has
// the texture manager create the device texture and keeps the result under its full path so
// that later requests share it.
//
// Creating a texture needs the device, which belongs to the main thread: a request from any
// other thread is queued as a main-thread task and the caller waits on the factory's
// semaphore until the main thread has loaded it. On the main thread a request loads at once,
// but only while the engine's renderer-ready flag is set.
#include <cstdint>
#include <mutex>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"
#include "engine/render/TextureTypes.h"

class TextureLoader {
public:
    virtual ~TextureLoader() = default;
    // Reads record.name into the record and, when record.target is set, gives the target
    // the created texture. False when the file was rejected (the target stays as it was).
    virtual bool Load(TextureRecord& record) = 0;
    std::vector<SharedString> extensions;  // upper case, e.g. ".ZKT"
};

// The .ZKT loader.
class TextureLoaderZKT : public TextureLoader {
public:
    TextureLoaderZKT() { extensions.push_back(SharedString(".ZKT")); }
    bool Load(TextureRecord& record) override;
};

class TextureFactory {
public:
    static TextureFactory& Instance();
    virtual ~TextureFactory();

    // A new handle owned by the caller; null when no loader takes the name's extension. A
    // name found nowhere gives a handle on the first texture loaded ("Missing.ZKT"); a file
    // that failed to load gives an empty handle. Releasing a handle never frees a texture
    // other handles hold. options: bit 0 flip rows, bit 1 clamp (version-1 files).
    virtual TextureHandle* Get(const SharedString& name, const uint32_t* options, bool share);
    virtual TextureHandle* GetByName(const SharedString& name, bool share);
    // Forgets the first cached entry whose path ends with the name (case-sensitive);
    // outstanding handles keep working.
    virtual void Remove(const SharedString& name);

    TextureLoader* FindLoader(const SharedString& name);
    // Main thread: runs the loader on the record, then caches {name, target}.
    void LoadNow(TextureRecord& record);
    // The main-thread task of a queued request.
    void LoadQueued();
    // The console's USEDTEX and UNUSEDTEX.
    void ListLoaded();
    void ListUnused();

    // Entries loaded so far (for tests and the console).
    size_t LoadedCount();
    SharedString LoadedPath(size_t index);
    // Test support: forgets every cached entry (their handles are released).
    void ClearForTests();

    // Open to other code, which appends a directory, loads and erases it again.
    std::vector<SharedString> searchDirectories;
    std::vector<TextureLoader*> loaders;

private:
    TextureFactory();
    struct Entry {
        SharedString path;
        TextureHandle* handle;  // owned by the factory
    };
    Mutex cacheLock_;
    TextureRecord request_;
    Semaphore requestSemaphore_{0, 1};
    Mutex requestLock_;
    std::vector<Entry> loaded_;
    TextureLoaderZKT* zktLoader_ = nullptr;
    std::once_flag loaderOnce_;
};
