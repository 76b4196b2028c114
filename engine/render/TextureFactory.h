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
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/render/FileFactory.h"
#include "engine/render/TextureTypes.h"

class D3D8TextureManager;

// A loader gives record.target the texture it creates through the texture manager.
using TextureLoader = FileLoader<TextureRecord, D3D8TextureManager>;

// The .ZKT loader.
class TextureLoaderZKT : public TextureLoader {
public:
    TextureLoaderZKT() { extensions.push_back(SharedString(".ZKT")); }
    bool Load(TextureRecord& record, D3D8TextureManager* manager) override;
};

class TextureFactory
    : public FileFactory<TextureRecord, D3D8TextureManager, TextureLoaderZKT, &TextureHandle::Share> {
public:
    static TextureFactory& Instance();

    // A new handle owned by the caller; null when no loader takes the name's extension. A
    // name found nowhere gives a handle on the first texture loaded ("Missing.ZKT"); a file
    // that failed to load gives an empty handle. Releasing a handle never frees a texture
    // other handles hold. options: bit 0 flip rows, bit 1 clamp (version-1 files).
    virtual TextureHandle* Get(const SharedString& name, const uint32_t* options, bool share);
    virtual TextureHandle* GetByName(const SharedString& name, bool share);
    // Forgets the first cached entry whose path ends with the name (case-sensitive);
    // outstanding handles keep working.
    virtual void Remove(const SharedString& name);

    // The console's USEDTEX and UNUSEDTEX.
    void ListLoaded();
    void ListUnused();

    // The path of a loaded entry (for tests and the console).
    SharedString LoadedPath(size_t index);

private:
    TextureFactory() : FileFactory("TEXTUREFACTORY") {}
};
