#include "engine/render/D3D8TextureManager.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "engine/core/Debugger.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/EnvironmentCube.h"
#include "engine/render/PixelFormat.h"
#include "platform/gfx/Device.h"

namespace {

// The formats the device layer takes (no paletted formats).
const std::vector<int32_t> kDeviceFormats = {0, 1, 3, 4, 5, 7, 8, 9, 10};

const char* AdapterFormatName(int32_t bitsPerPixel) {
    switch (bitsPerPixel) {
    case 8: return "P8";
    case 15: return "X1R5G5B5";
    case 16: return "R5G6B5";
    case 24: return "R8G8B8";
    case 32: return "X8R8G8B8";
    default: return "UNKNOWN";
    }
}

}  // namespace

D3D8TextureManager::D3D8TextureManager(gfx::Device* device, int32_t adapterBitsPerPixel,
                                       const std::vector<int32_t>* supported)
    : device_(device) {
    Debugger& log = Debugger::Instance();
    log.Log(3, "D3D8TEXTUREMANAGER: Querying device for texture caps");
    log.Log(3, "D3D8TEXTUREMANAGER: Adapter format %s", AdapterFormatName(adapterBitsPerPixel));
    const std::vector<int32_t>& offered = supported ? *supported : kDeviceFormats;
    for (int32_t format = 0; format <= 10; ++format) {
        if (std::find(offered.begin(), offered.end(), format) == offered.end()) continue;
        log.Log(3, "D3D8TEXTUREMANAGER: Supported mode %d detected", format);
        supportedFormats.push_back(format);
    }
    if (device_) {
        const gfx::Caps& caps = device_->GetCaps();
        maxWidth = int32_t(caps.maxTextureWidth);
        maxHeight = int32_t(caps.maxTextureHeight);
        squareOnly = caps.squareOnly ? 1 : 0;
        nonPowerOfTwo = caps.nonPow2Conditional ? 1 : 0;
        memoryAtStart = device_->AvailableTextureMem();
    }
}

// Texture objects outlive their manager: handles in the factories' caches may still point at
// them, and without a device texture they bind as none. They are kept here for the process
// (the list itself is never destroyed, so handles released during shut-down still find them).
static std::vector<D3D8Texture*>& RetiredTextures() {
    static auto* retired = new std::vector<D3D8Texture*>();
    return *retired;
}

D3D8TextureManager::~D3D8TextureManager() {
    for (EnvironmentCube* cube : cubes) delete cube;
    cubes.clear();
    for (D3D8Texture* t : textures) {
        if (t->texture && device_) device_->ReleaseTexture(t->texture);
        t->texture = nullptr;
    }
    RetiredTextures().insert(RetiredTextures().end(), textures.begin(), textures.end());
    textures.clear();
}

void D3D8TextureManager::SetMaxMipLevel(int32_t level) {
    maxMipLevel = level;
    if (facility) facility->SetTextureGlobals(uint32_t(level < 0 ? 0 : level), lodBias);
}

void D3D8TextureManager::SetLodBias(float bias) {
    lodBias = bias;
    if (facility) facility->SetTextureGlobals(uint32_t(maxMipLevel < 0 ? 0 : maxMipLevel), lodBias);
}

EnvironmentCube* D3D8TextureManager::CreateEnvironmentCube(int32_t size) {
    if (!facility || !device_) return nullptr;
    auto* cube = new EnvironmentCube(*facility, size);
    cubes.push_back(cube);
    return cube;
}

void D3D8TextureManager::ReleaseCubes() {
    for (EnvironmentCube* cube : cubes) cube->ReleaseDevice();
}

void D3D8TextureManager::RestoreCubes() {
    for (EnvironmentCube* cube : cubes) cube->Restore();
}

bool D3D8TextureManager::IsSupported(int32_t format) const {
    return std::find(supportedFormats.begin(), supportedFormats.end(), format) !=
           supportedFormats.end();
}

int32_t D3D8TextureManager::ChooseFormat(int32_t source, bool mayCompress, bool highQuality) const {
    const bool c = mayCompress && compressionEnabled;
    using List = std::initializer_list<int32_t>;
    // The first supported format of the candidates, in order of preference.
    auto first = [this](List candidates) -> int32_t {
        for (int32_t f : candidates)
            if (IsSupported(f)) return f;
        return kFormatNone;
    };
    // DXT1 (unless it is to be avoided) before the candidates.
    auto dxt1Then = [&](List candidates) -> int32_t {
        if (!avoidDXT1 && IsSupported(kFormatDXT1)) return kFormatDXT1;
        return first(candidates);
    };
    int32_t compressed = kFormatNone;
    switch (source) {
    case kFormatA8R8G8B8:
        if (c) return first(highQuality ? List{9, 8, 0, 1} : List{8, 9, 1, 0});
        return first(highQuality ? List{0, 1} : List{1, 0});
    case kFormatA4R4G4B4:
    case kFormatA8P8:
        return first(c ? List{8, 9, 1, 0} : List{1, 0});
    case kFormatR8G8B8:
        if (c) compressed = dxt1Then({8, 9});
        if (compressed != kFormatNone) return compressed;
        return first(highQuality ? List{4, 10, 5} : List{5, 4, 10});
    case kFormatR5G6B5:
    case kFormatP8:
        if (c) compressed = dxt1Then({8, 9});
        if (compressed != kFormatNone) return compressed;
        return first({5, 4, 10});
    case kFormatDXT1: return dxt1Then({8, 9, 7, 5, 4, 10});
    case kFormatDXT3: return first({8, 9, 1, 0});
    case kFormatDXT5: return first({9, 8, 0, 1});
    default: return kFormatNone;
    }
}

int32_t D3D8TextureManager::LevelCount(int32_t w, int32_t h, int32_t recordLevels) const {
    // Every level down to 2 pixels; a 1-pixel texture still gets its one level.
    int32_t levels = std::max(1, int32_t(std::log(double(std::max(w, h))) / std::log(2.0)));
    if (!fullMipChain) levels = std::min(levels, std::max(1, recordLevels));
    return levels;
}

D3D8Texture* D3D8TextureManager::Load(TextureRecord* record) {
    Debugger& log = Debugger::Instance();
    auto* texture = new D3D8Texture(*record);
    textures.push_back(texture);
    if (record->levels.empty()) {
        log.Log(3, "D3D8TEXTUREMANAGER: %s has no image", record->name.c_str());
        return texture;
    }
    const TextureLevel& first = record->levels[0];
    int32_t w = std::min(first.width, maxWidth);
    int32_t h = std::min(first.height, maxHeight);
    // DXT needs whole 4x4 blocks.
    if (w < 4 || h < 4) record->mayCompress = 0;
    const int32_t dest = ChooseFormat(record->format, record->mayCompress != 0, record->highQuality != 0);
    if (squareOnly) w = h = std::max(w, h);
    if (!nonPowerOfTwo) {
        auto pow2 = [](int32_t v) {
            int32_t p = 1;
            while (p < v) p *= 2;
            return p;
        };
        w = pow2(w);
        h = pow2(h);
    }
    const int32_t levels = LevelCount(w, h, int32_t(record->levels.size()));
    gfx::Texture* created = (device_ && w > 0 && h > 0 && dest != kFormatNone)
                                ? device_->CreateTexture(uint32_t(w), uint32_t(h), uint32_t(levels),
                                                         uint32_t(dest), gfx::Pool::MANAGED)
                                : nullptr;
    if (!created) {
        log.Message("Failed loading texture %s", record->name.c_str());
        log.Log(3, "D3D8TEXTUREMANAGER: Width = %d", w);
        log.Log(3, "D3D8TEXTUREMANAGER: Height = %d", h);
        log.Log(3, "D3D8TEXTUREMANAGER: SrcFormat = %d", record->format);
        log.Log(3, "D3D8TEXTUREMANAGER: DestFormat = %d", dest);
        log.Log(3, "D3D8TEXTUREMANAGER: MipCount = %d", int32_t(record->levels.size()));
        return texture;
    }
    log.Log(3, "D3D8TEXTUREMANAGER: %s allocated", record->name.c_str());
    texture->width = w;
    texture->height = h;
    texture->texture = created;
    Upload(*record, *texture, dest, levels);
    log.Log(3, "D3D8TEXTUREMANAGER: %s loaded", record->name.c_str());
    const uint32_t available = device_->AvailableTextureMem();
    log.Log(3, "D3D8TEXTUREMANAGER: We have %d MB of available videoram", int32_t(available / 1048576u));
    log.Log(3, "D3D8TEXTUREMANAGER: %d MB of videoram is in use by resources",
            int32_t((int64_t(memoryAtStart) - int64_t(available)) / 1048576));
    return texture;
}

bool D3D8TextureManager::Upload(const TextureRecord& record, D3D8Texture& texture, int32_t dest,
                                int32_t levels) {
    Debugger& log = Debugger::Instance();
    bool ok = true;
    for (int32_t i = 0; i < levels; ++i) {
        log.Log(3, "D3D8TEXTUREMANAGER: Loading mipmap %d", i);
        const int32_t lw = std::max(1, texture.width >> i);
        const int32_t lh = std::max(1, texture.height >> i);
        // Levels the record lacks are filtered down from its first level.
        const TextureLevel& src = record.levels[size_t(i) < record.levels.size() ? size_t(i) : 0];
        const int64_t need = pixels::LevelBytes(record.format, src.width, src.height);
        if (need < 0 || int64_t(src.pixels.size()) < need) {
            log.Log(2, "D3D8TEXTUREMANAGER: Level %d of %s is short of pixels", i, record.name.c_str());
            ok = false;
            continue;
        }
        const int32_t srcPitch = pixels::RowPitch(record.format, src.width);
        if (record.format == dest && src.width == lw && src.height == lh) {
            // Same layout and size: the stored bytes go up as they are.
            ok &= device_->UpdateTexture(texture.texture, uint32_t(i), src.pixels.data(), uint32_t(srcPitch));
            continue;
        }
        if (!pixels::DecodeToRGBA(record.format, src.pixels.data(), srcPitch, src.width, src.height, decoded_)) {
            ok = false;
            continue;
        }
        const uint8_t* rgba = decoded_.data();
        if (src.width != lw || src.height != lh) {
            scaled_.resize(size_t(lw) * size_t(lh) * 4);
            pixels::ResizeRGBA(decoded_.data(), src.width, src.height, scaled_.data(), lw, lh);
            rgba = scaled_.data();
        }
        if (!pixels::EncodeFromRGBA(dest, rgba, lw, lh, encoded_, record.highQuality != 0)) {
            ok = false;
            continue;
        }
        ok &= device_->UpdateTexture(texture.texture, uint32_t(i), encoded_.data(),
                                     uint32_t(pixels::RowPitch(dest, lw)));
    }
    return ok;
}

void D3D8TextureManager::Release(D3D8Texture* texture) {
    if (!texture) return;
    auto it = std::find(textures.begin(), textures.end(), texture);
    if (it != textures.end()) {
        textures.erase(it);
        RetiredTextures().push_back(texture);
    }
    if (texture->texture && device_) device_->ReleaseTexture(texture->texture);
    texture->texture = nullptr;
}

bool D3D8TextureManager::UpdatePixels(D3D8Texture* texture, const void* data, int32_t pitch, int32_t format) {
    if (!texture || !texture->texture || !device_ || !data) return false;
    gfx::Texture& t = *texture->texture;
    const int32_t dest = int32_t(t.Format());
    const int32_t levels = int32_t(t.Levels());
    const int32_t sw = texture->storedWidth, sh = texture->storedHeight;
    if (sw <= 0 || sh <= 0 || pitch < pixels::RowPitch(format, sw)) return false;
    if (format == dest && sw == texture->width && sh == texture->height && levels == 1)
        return device_->UpdateTexture(&t, 0, data, uint32_t(pitch));
    if (!pixels::DecodeToRGBA(format, static_cast<const uint8_t*>(data), pitch, sw, sh, decoded_)) return false;
    bool ok = true;
    for (int32_t i = 0; i < levels; ++i) {
        const int32_t lw = std::max(1, texture->width >> i);
        const int32_t lh = std::max(1, texture->height >> i);
        const uint8_t* rgba = decoded_.data();
        if (lw != sw || lh != sh) {
            scaled_.resize(size_t(lw) * size_t(lh) * 4);
            pixels::ResizeRGBA(decoded_.data(), sw, sh, scaled_.data(), lw, lh);
            rgba = scaled_.data();
        }
        if (!pixels::EncodeFromRGBA(dest, rgba, lw, lh, encoded_, false)) return false;
        ok &= device_->UpdateTexture(&t, uint32_t(i), encoded_.data(), uint32_t(pixels::RowPitch(dest, lw)));
    }
    return ok;
}
