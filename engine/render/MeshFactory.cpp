#include "engine/render/MeshFactory.h"

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/D3D8Mesh.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/EnvironmentCube.h"
#include "engine/render/RenderBuffers.h"
#include "engine/render/RenderFacility.h"
#include "engine/render/TextureFactory.h"
#include "engine/render/ZkmFormat.h"

namespace {

std::atomic<MeshFactory*> g_instance{nullptr};

SharedString Upper(const SharedString& s) {
    SharedString copy = s.Clone();
    copy.ToUpper();
    return copy;
}

// Textures from the texture factory; the cube, made on first use, from the facility's texture
// manager on the device's thread.
class FactoryTextures : public zkm::TextureSource {
public:
    explicit FactoryTextures(RenderFacility* facility) : facility_(facility) {}
    TextureHandle* Load(const SharedString& name, bool share) override {
        return KeepMeshTexture(TextureFactory::Instance().GetByName(name, share));
    }
    TextureHandle* EnvironmentCube() override {
        if (!::EnvironmentCube::Global() && facility_) {
            auto make = [this] {
                D3D8TextureManager* manager = facility_->GetTextureManager();
                if (manager && !::EnvironmentCube::Global())
                    ::EnvironmentCube::SetGlobal(manager->CreateEnvironmentCube(::EnvironmentCube::kSize));
            };
            if (OnDeviceThread()) make();
            else RunOnDeviceThread(make);
        }
        ::EnvironmentCube* cube = ::EnvironmentCube::Global();
        return cube ? cube->Handle() : nullptr;
    }

private:
    RenderFacility* facility_;
};

}  // namespace

bool MeshLoaderZKM::Load(MeshRecord& record, RenderFacility* facility) {
    FactoryTextures textures(facility);
    return zkm::ReadMesh(record, textures);
}

TextureHandle* KeepMeshTexture(TextureHandle* handle) {
    if (!handle) return nullptr;
    static auto* lock = new Mutex();
    static auto* kept = new std::vector<TextureHandle*>();
    std::lock_guard<Mutex> guard(*lock);
    for (TextureHandle* k : *kept) {
        if (k->Get() == handle->Get()) {
            if (k != handle) delete handle;
            return k;
        }
    }
    kept->push_back(handle);
    return handle;
}

MeshFactory::MeshFactory() { searchDirectories.push_back(SharedString(".")); }

MeshFactory& MeshFactory::Instance() {
    static MeshFactory* instance = [] {
        auto* f = new MeshFactory();  // lives for the process
        g_instance.store(f);
        return f;
    }();
    return *instance;
}

void MeshFactory::Connect(RenderFacility* facility) { facility_.store(facility); }

void MeshFactory::Disconnect(const RenderFacility* facility) {
    for (const auto& listener : disconnectListeners_) listener(facility);
    RenderFacility* expected = const_cast<RenderFacility*>(facility);
    facility_.compare_exchange_strong(expected, nullptr);
    std::lock_guard<Mutex> guard(cacheLock_);
    std::erase_if(cache_, [&](const Entry& e) {
        const RenderFacility* built = e.mesh ? e.mesh->Facility() : nullptr;
        return built && built == facility;
    });
}

void MeshFactory::AddDisconnectListener(std::function<void(const RenderFacility*)> listener) {
    disconnectListeners_.push_back(std::move(listener));
}

void MeshFactory::ForgetMesh(const D3D8Mesh* mesh) {
    MeshFactory* f = g_instance.load();
    if (!f || !mesh) return;
    std::lock_guard<Mutex> guard(f->cacheLock_);
    std::erase_if(f->cache_, [&](const Entry& e) { return e.mesh == mesh; });
}

MeshLoader* MeshFactory::FindLoader(const SharedString& name) {
    for (MeshLoader* loader : loaders)
        for (const SharedString& ext : loader->extensions)
            if (name.EndsWith(ext)) return loader;
    return nullptr;
}

D3D8Mesh* MeshFactory::Build(MeshRecord& record, bool shiny) {
    RenderFacility* facility = facility_.load();
    D3D8Mesh* mesh = nullptr;
    if (facility) mesh = shiny ? facility->CreateShinyMesh(record) : facility->CreateMesh(record);
    return mesh ? mesh : new InertMesh(record);
}

D3D8Mesh* MeshFactory::Get(const SharedString& name, const int* kind, bool share) {
    Debugger& log = Debugger::Instance();
    const SharedString key = Upper(name);
    std::call_once(loaderOnce_, [this] { loaders.push_back(new MeshLoaderZKM()); });
    if (!FindLoader(key)) {
        log.Message("MESHFACTORY: No available loader could be found for %s", key.c_str());
        return CreateDefault();
    }
    SharedString path;
    if (FileExists(key)) {
        path = key;
    } else {
        for (size_t i = searchDirectories.size(); i-- > 0 && path.IsEmpty();) {
            const SharedString candidate = SharedString::Format("%s\\%s", searchDirectories[i].c_str(), key.c_str());
            if (FileExists(candidate)) path = candidate;
        }
    }
    if (path.IsEmpty()) {
        log.Message("MESHFACTORY: %s could not be found in one of the available directories", key.c_str());
        return CreateDefault();
    }
    const SharedString cacheKey = Upper(path);
    if (share) {
        D3D8Mesh* cached = nullptr;
        {
            std::lock_guard<Mutex> guard(cacheLock_);
            for (const Entry& e : cache_)
                if (e.key == cacheKey) {
                    cached = e.mesh;
                    break;
                }
        }
        if (cached) return cached->Clone();
    }
    MeshRecord record;
    record.name = path;
    record.share = share ? 1 : 0;
    MeshLoader* loader = FindLoader(record.name);
    log.Log(3, "MESHFACTORY: Loading %s", record.name.c_str());
    const bool read = loader && loader->Load(record, facility_.load());
    log.Log(3, "MESHFACTORY: %s loaded", record.name.c_str());
    if (!read) return CreateDefault();
    D3D8Mesh* mesh = Build(record, kind && *kind == kMeshShiny);
    std::lock_guard<Mutex> guard(cacheLock_);
    cache_.push_back({cacheKey, mesh});
    return mesh;
}

D3D8Mesh* MeshFactory::GetByName(const SharedString& name, bool share) {
    const int ordinary = kMeshOrdinary;
    return Get(name, &ordinary, share);
}

D3D8Mesh* MeshFactory::CreateDefaultFor(uint32_t) { return CreateDefault(); }

D3D8Mesh* MeshFactory::CreateDefault() {
    MeshRecord record = DefaultMeshRecord();
    return Build(record, false);
}

void MeshFactory::Remove(const SharedString& name) {
    std::lock_guard<Mutex> guard(cacheLock_);
    for (auto it = cache_.begin(); it != cache_.end(); ++it)
        if (it->key.EndsWith(name)) {
            cache_.erase(it);
            return;
        }
}

void MeshFactory::Release(D3D8Mesh* mesh) {
    std::lock_guard<Mutex> guard(cacheLock_);
    for (auto it = cache_.begin(); it != cache_.end(); ++it)
        if (it->mesh == mesh) {
            if (RenderFacility* facility = facility_.load()) facility->ReleaseMesh(mesh);
            cache_.erase(it);
            return;
        }
}

size_t MeshFactory::CachedCount() {
    std::lock_guard<Mutex> guard(cacheLock_);
    return cache_.size();
}

SharedString MeshFactory::CachedKey(size_t index) {
    std::lock_guard<Mutex> guard(cacheLock_);
    return index < cache_.size() ? cache_[index].key : SharedString("");
}

D3D8Mesh* MeshFactory::CachedMesh(size_t index) {
    std::lock_guard<Mutex> guard(cacheLock_);
    return index < cache_.size() ? cache_[index].mesh : nullptr;
}

void MeshFactory::ClearForTests() {
    std::lock_guard<Mutex> guard(cacheLock_);
    cache_.clear();
}
