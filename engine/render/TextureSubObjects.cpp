#include "engine/render/TextureSubObjects.h"

#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/SpriteRenderer.h"

namespace {

const TextureStageBinding* ResolveTexture(const TextureHandle* handle) {
    const D3D8Texture* t = handle ? handle->DeviceTexture() : nullptr;
    if (!t || !t->texture) return nullptr;
    // Main thread only; the facility copies the binding at once.
    static TextureStageBinding binding;
    binding.texture = t->texture;
    binding.minFilter = t->minFilter;
    binding.magFilter = t->magFilter;
    binding.mipFilter = t->mipFilter;
    binding.addressU = t->addressU;
    binding.addressV = t->addressV;
    binding.mipBias = t->mipBias;
    return &binding;
}

const bool kInstalled = (InstallTextureSubObjects(), true);

}  // namespace

void InstallTextureSubObjects() {
    RenderSubObjectMakers& m = SubObjectMakers();
    m.makeTextures = [](D3D8RenderFacility& f) -> D3D8TextureManager* {
        auto* manager = new D3D8TextureManager(f.Device(), f.CurrentMode().bitsPerPixel);
        manager->facility = &f;
        return manager;
    };
    m.deleteTextures = [](D3D8TextureManager* manager) { delete manager; };
    m.makeSprites = [](D3D8RenderFacility& f) -> SpriteRenderer* {
        return f.Device() ? new D3D8SpriteRenderer(f, *f.Device()) : nullptr;
    };
    m.deleteSprites = [](SpriteRenderer* sprites) { delete sprites; };
    m.resolveTexture = ResolveTexture;
}
