#pragma once
// A small render facility over the real GL device for this area's pixel tests: it owns a
// texture manager (the factories load through it) and a sprite renderer, binds textures with
// their sampling settings and applies the sprite renderer's blend descriptions. Everything
// else is the null facility's.
#include <cstdlib>
#include <memory>
#include <vector>

#include "engine/core/Engine.h"
#include "engine/render/D3D8TextureManager.h"
#include "engine/render/NullRenderFacility.h"
#include "engine/render/ShaderTypes.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/SpriteRenderer.h"
#include "engine/render/TextureFactory.h"
#include "platform/gfx/Device.h"

namespace textest {

constexpr int kWidth = 128;
constexpr int kHeight = 96;

// The binary's one device (one GL context per process).
inline gfx::Device& TheDevice() {
    static std::unique_ptr<gfx::Device> device = gfx::CreateGLDevice(nullptr, kWidth, kHeight);
    if (!device) abort();
    return *device;
}

class TestFacility : public NullRenderFacility {
public:
    explicit TestFacility(const std::vector<int32_t>* formats = nullptr, int32_t maxTexture = 0)
        : device(TheDevice()) {
        device.Reset(kWidth, kHeight);
        RequestMode({kWidth, kHeight, 32, 60});
        CreateDevice(false);
        textures = std::make_unique<D3D8TextureManager>(&device, 32, formats);
        if (maxTexture > 0) textures->maxWidth = textures->maxHeight = maxTexture;
        sprites = std::make_unique<D3D8SpriteRenderer>(*this, device);
        // Hooked up as the real facility hooks up its parts.
        TextureFactory::Instance().Connect(textures.get());
        SpriteFactory::Instance().Connect(textures.get());
        device.SetRenderState(gfx::rs::LIGHTING, 0);
        device.SetRenderState(gfx::rs::CULLMODE, gfx::cull::NONE);
        device.SetRenderState(gfx::rs::ZENABLE, 0);
    }
    ~TestFacility() override {
        SpriteFactory::Instance().Disconnect(textures.get());
        TextureFactory::Instance().Disconnect(textures.get());
        sprites.reset();
        textures.reset();
        for (ShaderPassSet* d : shaders_) delete d;
    }

    void SetTexture(uint32_t stage, TextureHandle* handle) override {
        const D3D8Texture* t = handle ? handle->DeviceTexture() : nullptr;
        device.SetTexture(stage, t ? t->texture : nullptr);
        if (!t) return;
        device.SetTextureStageState(stage, gfx::tss::MAGFILTER, t->magFilter);
        device.SetTextureStageState(stage, gfx::tss::MINFILTER, t->minFilter);
        device.SetTextureStageState(stage, gfx::tss::MIPFILTER, t->mipFilter);
        device.SetTextureStageState(stage, gfx::tss::ADDRESSU, t->addressU);
        device.SetTextureStageState(stage, gfx::tss::ADDRESSV, t->addressV);
        ++textureBinds;
    }
    // Pass sets converted as the facility converts them; only blending and stage 0 applied.
    ShaderPassSet* AddShader(const ShaderDescription& d) override {
        shaders_.push_back(new ShaderPassSet());
        BuildPassSet(d, *shaders_.back());
        return shaders_.back();
    }
    void ApplyShaderPass(ShaderPassSet* set) override {
        using namespace gfx;
        const bool blend = (set->flags & ShaderPassSet::kBlend) != 0;
        device.SetRenderState(rs::ALPHABLENDENABLE, blend);
        if (blend) {
            device.SetRenderState(rs::SRCBLEND, set->srcBlend);
            device.SetRenderState(rs::DESTBLEND, set->dstBlend);
        }
        const ShaderPassSet::Stage& s = set->stages[0];
        device.SetTextureStageState(0, tss::COLOROP, s.colorOp);
        device.SetTextureStageState(0, tss::COLORARG1, s.colorArg1);
        device.SetTextureStageState(0, tss::COLORARG2, s.colorArg2);
        device.SetTextureStageState(0, tss::ALPHAOP, s.alphaOp);
        device.SetTextureStageState(0, tss::ALPHAARG1, s.alphaArg1);
        device.SetTextureStageState(0, tss::ALPHAARG2, s.alphaArg2);
        device.SetTextureStageState(1, tss::COLOROP, top::DISABLE);
        ++passApplies;
    }
    D3D8TextureManager* GetTextureManager() override { return textures.get(); }
    SpriteRenderer* GetSpriteRenderer() override { return sprites.get(); }

    void ClearTo(uint32_t argb) { device.Clear(gfx::clear::TARGET, argb, 1.0f, 0); }
    uint32_t Pixel(int x, int y) {
        uint32_t p = 0;
        device.ReadPixels(true, x, y, 1, 1, &p);
        return p;
    }
    std::vector<uint32_t> Pixels(int x, int y, int w, int h) {
        std::vector<uint32_t> out(size_t(w * h));
        device.ReadPixels(true, x, y, w, h, out.data());
        return out;
    }

    gfx::Device& device;
    std::unique_ptr<D3D8TextureManager> textures;
    std::unique_ptr<D3D8SpriteRenderer> sprites;
    int textureBinds = 0;
    int passApplies = 0;

private:
    std::vector<ShaderPassSet*> shaders_;
};

// Makes the engine see `facility` as its renderer, ready, with this thread as the main one.
struct EngineRenderer {
    explicit EngineRenderer(RenderFacility* facility) {
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = facility;
        e.rendererReady = facility != nullptr;
        e.mainThread = Thread::Current();
    }
    ~EngineRenderer() {
        ZKEngine& e = ZKEngine::Instance();
        e.renderer = nullptr;
        e.rendererReady = false;
    }
};

inline int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }
inline bool Near(uint32_t a, uint32_t b, int tolerance = 2) {
    for (int s : {0, 8, 16})
        if (std::abs(Channel(a, s) - Channel(b, s)) > tolerance) return false;
    return true;
}

}  // namespace textest
