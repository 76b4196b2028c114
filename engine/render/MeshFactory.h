#pragma once
// The single source of drawable meshes. Callers ask by file name; the factory finds the file
// (the name itself, then its search directories from the last added), picks a loader by the
// name's extension, lets it fill a MeshRecord and has the connected render facility build the
// mesh. Every load is remembered under the upper-cased path; later requests that share get a
// clone of the remembered mesh. Loading runs on the calling thread (device work inside the
// facility is handed to the main thread). A model that cannot be had gives the default mesh
// "Invalid mesh", never null.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"
#include "engine/render/FileFactory.h"
#include "engine/render/MeshTypes.h"

class D3D8Mesh;
class RenderFacility;
class TextureHandle;

// Mesh kinds of Get.
enum : int { kMeshOrdinary = 0, kMeshShiny = 2 };

using MeshLoader = FileLoader<MeshRecord, RenderFacility>;

// The .ZKM loader: textures through the texture factory, the environment cube through the
// facility's texture manager.
class MeshLoaderZKM : public MeshLoader {
public:
    MeshLoaderZKM() { extensions.push_back(SharedString(".ZKM")); }
    bool Load(MeshRecord& record, RenderFacility* facility) override;
};

class MeshFactory {
public:
    static MeshFactory& Instance();
    virtual ~MeshFactory() = default;

    // kind 2 (kMeshShiny) always builds a shiny mesh; share also shares the model's textures.
    virtual D3D8Mesh* Get(const SharedString& name, const int* kind, bool share);
    virtual D3D8Mesh* GetByName(const SharedString& name, bool share);
    // A new default mesh (the argument is not used).
    virtual D3D8Mesh* CreateDefaultFor(uint32_t unused);
    virtual D3D8Mesh* CreateDefault();
    // Forgets the first remembered model whose key ends with the name (byte-wise); the mesh
    // itself stays.
    virtual void Remove(const SharedString& name);
    // Forgets the remembered model of this mesh; a mesh the factory does not remember is
    // ignored.
    virtual void Release(D3D8Mesh* mesh);

    // From now on meshes are built by this facility (null: meshes that draw nothing).
    void Connect(RenderFacility* facility);
    // The facility is going away: forget it and every model built through it. The listeners
    // run first, while the facility and its meshes still exist.
    void Disconnect(const RenderFacility* facility);
    // Holders of meshes and other device objects that outlive a single use (catalogues of
    // models, shared art) let go here of what a departing facility built; afterwards its own
    // meshes are freed with it.
    void AddDisconnectListener(std::function<void(const RenderFacility*)> listener);
    RenderFacility* Connected() const { return facility_.load(); }

    // A mesh is being destroyed: no remembered model may keep pointing at it.
    static void ForgetMesh(const D3D8Mesh* mesh);

    // Remembered models (tests and the console).
    size_t CachedCount();
    SharedString CachedKey(size_t index);
    D3D8Mesh* CachedMesh(size_t index);
    void ClearForTests();

    // Searched from the last to the first; "." at construction.
    std::vector<SharedString> searchDirectories;
    std::vector<MeshLoader*> loaders;

private:
    MeshFactory();
    MeshLoader* FindLoader(const SharedString& name);
    D3D8Mesh* Build(MeshRecord& record, bool shiny);

    struct Entry {
        SharedString key;
        D3D8Mesh* mesh;
    };
    Mutex cacheLock_;
    std::vector<Entry> cache_;
    std::once_flag loaderOnce_;
    std::atomic<RenderFacility*> facility_{nullptr};
    std::vector<std::function<void(const RenderFacility*)>> disconnectListeners_;
};

// Keeps a texture handle a model's materials point at for the life of the process and returns
// the one kept for the same texture (the given handle is then freed). Null stays null.
TextureHandle* KeepMeshTexture(TextureHandle* handle);
