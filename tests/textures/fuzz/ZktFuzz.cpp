// One fuzz input: the bytes of a .ZKT file. It goes the ways the factories take it: read as a
// texture (rows flipped, as menu pictures are asked for) and uploaded through the texture
// manager onto a recording device; read as a sprite picture, cut into device-sized tiles and
// each tile uploaded.
#include <cstddef>
#include <cstdint>

#include "engine/render/D3D8TextureManager.h"
#include "engine/render/Sprite.h"
#include "engine/render/SpriteFactory.h"
#include "engine/render/TextureFactory.h"
#include "platform/gfx/RecordingDevice.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static const fuzz_support::ScratchFile file("input.zkt");
    const SharedString path(file.Write(data, size).c_str());
    // A small device limit keeps rescaling and tiling busy without big images.
    gfx::RecordingDevice device(64, 64);
    device.caps.maxTextureWidth = device.caps.maxTextureHeight = 64;
    D3D8TextureManager manager(&device, 32);

    TextureHandle texture;
    TextureRecord record;
    record.name = path;
    record.options = kTextureFlipRows;
    record.target = &texture;
    if (TextureLoaderZKT().Load(record, &manager)) {
        fuzz_support::Check(!record.levels.empty());
        fuzz_support::Check(record.width > 0 && record.height > 0);
        fuzz_support::Check(texture.DeviceTexture() != nullptr);
    } else {
        fuzz_support::Check(record.levels.empty());
    }

    Sprite sprite;
    SpriteRecord picture{path, &sprite};
    if (SpriteLoaderZKT().Load(picture, &manager)) {
        fuzz_support::Check(sprite.frames.size() == size_t(sprite.columns) * size_t(sprite.rows));
        for (const SpriteFrame& f : sprite.frames)
            fuzz_support::Check(f.right - f.left <= 64 && f.bottom - f.top <= 64 && f.right <= sprite.width &&
                                f.bottom <= sprite.height);
    }
    return 0;
}
