#pragma once
// What the texture and sprite factories have in common: loaders chosen by the name's
// extension, a name searched as given and then in the search directories (the last added
// first), loading on the main thread only (a request from another thread is queued as a
// main-thread task and the caller waits on the factory's semaphore) and a cache by full path
// that owns one item per entry. Callers always receive a copy of their own.
//
// Record has `name` and `target` (an Item* the loader fills); Context is what the loaders make
// device objects with (the texture manager for textures and sprites), handed to the factory
// with Connect when the renderer is put together; DefaultLoader, a FileLoader of the record,
// is registered on the first request; Copy is the Item member function that makes the
// caller's item from a cached one.
#include <cstdint>
#include <mutex>
#include <type_traits>
#include <vector>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/FileStream.h"
#include "engine/core/Memory.h"
#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"

// Reads a file named by record.name into the record; takes the extensions it lists.
template <class Record, class Context>
class FileLoader {
public:
    virtual ~FileLoader() = default;
    // Fills the record and, when record.target is set, the target, making its device objects
    // through the context (null: the target gets none). False when the file was rejected (the
    // target stays as it was).
    virtual bool Load(Record& record, Context* context) = 0;
    std::vector<SharedString> extensions;  // upper case, e.g. ".ZKT"
};

template <class Record, class Context, class DefaultLoader, auto Copy>
class FileFactory {
public:
    using Loader = FileLoader<Record, Context>;
    using Item = std::remove_pointer_t<decltype(Record::target)>;

    virtual ~FileFactory() {
        for (Entry& e : loaded_) delete e.item;
        for (Loader* l : loaders) delete l;
    }

    Loader* FindLoader(const SharedString& name) {
        for (Loader* loader : loaders)
            for (const SharedString& ext : loader->extensions)
                if (name.EndsWith(ext)) return loader;
        return nullptr;
    }

    // Main thread: from now on loads make their device objects through the context.
    void Connect(Context* context) { context_ = context; }
    // Main thread: a context is going away, while its device objects still exist. The factory
    // forgets it when it is the connected one, and lets go of every cached item: an item made
    // through the departing context would hand out copies of device objects that die with it
    // (a later renderer loads the files again).
    void Disconnect(const Context* context) {
        if (context_ == context) context_ = nullptr;
        ClearForTests();
    }
    Context* Connected() const { return context_; }

    // Main thread: runs the loader on the record, then caches {name, target}. A failed load
    // is cached too, with its empty item.
    void LoadNow(Record& record) {
        Loader* loader = FindLoader(record.name);
        Debugger::Instance().Log(3, "%s: Loading %s", tag_, record.name.c_str());
        if (loader) loader->Load(record, context_);
        std::lock_guard<Mutex> guard(cacheLock_);
        loaded_.push_back({record.name, record.target});
    }

    // The main-thread task of a queued request.
    void LoadQueued() {
        LoadNow(request_);
        request_ = Record{};
        requestSemaphore_.Release();
    }

    // Entries loaded so far (for tests and the console).
    size_t LoadedCount() {
        std::lock_guard<Mutex> guard(cacheLock_);
        return loaded_.size();
    }

    // Forgets every cached entry (their items are freed); tests use it too.
    void ClearForTests() {
        std::lock_guard<Mutex> guard(cacheLock_);
        for (Entry& e : loaded_) delete e.item;
        loaded_.clear();
    }

    // Open to other code, which appends a directory, loads and erases it again.
    std::vector<SharedString> searchDirectories;
    std::vector<Loader*> loaders;

protected:
    // tag: the factory's name at the head of its log lines, e.g. "TEXTUREFACTORY".
    explicit FileFactory(const char* tag) : tag_(tag) {
        // A name is tried as given, then under ".", "Menu" and "Textures".
        searchDirectories.push_back(SharedString("Textures"));
        searchDirectories.push_back(SharedString("Menu"));
        searchDirectories.push_back(SharedString("."));
    }

    struct Entry {
        SharedString path;
        Item* item;  // owned by the factory
    };

    static SharedString Upper(const SharedString& s) {
        SharedString copy = s.Clone();
        copy.ToUpper();
        return copy;
    }

    // True when a loader takes the (upper-case) name. The default loader registers itself on
    // the first request, from whichever thread makes it.
    bool TakesName(const SharedString& key) {
        std::call_once(loaderOnce_, [this] { loaders.push_back(new DefaultLoader()); });
        return FindLoader(key) != nullptr;
    }

    // The file's path: the name itself when it exists, else the first directory (from the
    // last added) that holds it; an empty string when none does.
    SharedString Locate(const SharedString& key) const {
        if (FileExists(key)) return key;
        for (size_t i = searchDirectories.size(); i-- > 0;) {
            SharedString candidate = SharedString::Format("%s\\%s", searchDirectories[i].c_str(), key.c_str());
            if (FileExists(candidate)) return candidate;
        }
        return SharedString();
    }

    // A copy of the item cached under the path (compared in upper case); null when there is none.
    Item* SharedCopy(const SharedString& path) {
        const SharedString upperPath = Upper(path);
        std::lock_guard<Mutex> guard(cacheLock_);
        for (const Entry& e : loaded_)
            if (Upper(e.path) == upperPath && e.item) return (e.item->*Copy)();
        return nullptr;
    }

    // Loads the record's file into a new cached item and returns the caller's copy. Off the
    // main thread the request is queued and the call waits for it; on the main thread it
    // loads at once, or gives an empty item while the renderer is not ready. logName names
    // the request in the queued/loaded log lines.
    Item* Load(Record record, const SharedString& logName) {
        Debugger& log = Debugger::Instance();
        ZKEngine& engine = ZKEngine::Instance();
        if (Thread::Current() != engine.mainThread) {
            std::lock_guard<Mutex> requestGuard(requestLock_);
            auto* item = new Item();
            request_ = record;
            request_.target = item;
            engine.tasks.AddTask([this] { LoadQueued(); }, &engine.rendererReady);
            log.Log(3, "%s: %s queued", tag_, logName.c_str());
            requestSemaphore_.Wait();
            log.Log(3, "%s: %s loaded", tag_, logName.c_str());
            // The cache keeps `item`; the caller gets its own.
            return (item->*Copy)();
        }
        if (!engine.rendererReady) return new Item();
        record.target = new Item();
        LoadNow(record);
        return (record.target->*Copy)();
    }

    Mutex cacheLock_;
    TrackedVector<Entry> loaded_;

private:
    const char* tag_;
    Context* context_ = nullptr;
    Record request_;
    Semaphore requestSemaphore_{0, 1};
    Mutex requestLock_;
    std::once_flag loaderOnce_;
};
