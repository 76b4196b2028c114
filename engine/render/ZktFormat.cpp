#include "engine/render/ZktFormat.h"

#include <cstring>

#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"
#include "engine/render/PixelFormat.h"

namespace zkt {
namespace {

constexpr uint32_t kVersionOneBits = 0x3F800000u;  // the float 1.0

// Engine format of a version-2 block's format code; -1 for codes the engine does not read.
int32_t FormatFromCode(uint8_t code) {
    switch (code) {
    case 0: return kFormatA8R8G8B8;
    case 5: return kFormatR8G8B8;
    case 8: return kFormatDXT1;
    case 9: return kFormatDXT3;
    case 10: return kFormatDXT5;
    default: return -1;
    }
}

bool ValidSize(int32_t w, int32_t h) { return w > 0 && h > 0 && w <= kMaxDimension && h <= kMaxDimension; }

// Bytes of a raw version-1 level (zero when a halved side reached 0).
int64_t RawLevelBytes(int32_t w, int32_t h, int32_t bytesPerPixel) {
    return (w <= 0 || h <= 0) ? 0 : int64_t(w) * int64_t(h) * bytesPerPixel;
}

// Reads the body after the version word. `multiframe` is set for the one refusal that has a
// message of its own.
bool ReadVersion2(FileReader& in, TextureRecord& record, bool& multiframe) {
    if (in.ReadU32() != 1) {
        multiframe = true;
        return false;
    }
    record.mipBias = in.ReadFloat();
    record.mayCompress = in.ReadU8() ? 1 : 0;
    record.highQuality = in.ReadU8() ? 1 : 0;
    record.wrapU = in.ReadU8() ? 1 : 0;
    record.wrapV = in.ReadU8() ? 1 : 0;
    record.width = in.ReadI32();
    record.height = in.ReadI32();
    const int32_t blocks = in.ReadI32();
    if (in.Failed() || !ValidSize(record.width, record.height) || blocks < 0 ||
        blocks > in.Remaining())
        return false;

    std::vector<TextureLevel> levels;
    bool accepted = false;
    for (int32_t b = 0; b < blocks; ++b) {
        if (in.Remaining() < 1) return false;
        const int32_t format = FormatFromCode(in.ReadU8());
        // An unknown code ends its block at once: the next byte is the next block's code.
        if (format < 0) continue;
        const int32_t count = in.ReadI32();
        // Every level needs at least its 12-byte header.
        if (count < 0 || count > in.Remaining() / 12) return false;
        levels.clear();
        levels.resize(size_t(count));
        for (TextureLevel& level : levels) {
            level.width = in.ReadI32();
            level.height = in.ReadI32();
            const int32_t bytes = in.ReadI32();
            const int64_t expected = pixels::LevelBytes(format, level.width, level.height);
            if (in.Failed() || !ValidSize(level.width, level.height) || expected < 0 ||
                bytes < expected || bytes > in.Remaining())
                return false;
            level.pixels.resize(size_t(expected));
            in.Read(level.pixels.data(), int32_t(expected));
            in.Skip(bytes - int32_t(expected));
        }
        // The last accepted block wins.
        record.format = format;
        record.levels.swap(levels);
        accepted = true;
    }
    return accepted && !record.levels.empty() && !in.Failed();
}

bool ReadVersion1(FileReader& in, TextureRecord& record, int32_t maxWidth, int32_t maxHeight) {
    int32_t w = in.ReadI32();
    int32_t h = in.ReadI32();
    const int32_t bytesPerPixel = int8_t(in.ReadU8()) / 8;
    const uint8_t flags = in.ReadU8();
    int32_t count = int8_t(in.ReadU8());
    if (in.Failed() || !ValidSize(w, h) || (bytesPerPixel != 3 && bytesPerPixel != 4) || count < 1)
        return false;
    // All stored levels must be in the file before anything is allocated.
    int64_t total = 0;
    for (int32_t k = 0, lw = w, lh = h; k < count; ++k, lw /= 2, lh /= 2)
        total += RawLevelBytes(lw, lh, bytesPerPixel);
    if (total > in.Remaining()) return false;

    record.width = w;
    record.height = h;
    record.mayCompress = (flags & 0x08) ? 0 : 1;
    record.highQuality = (flags & 0x10) ? 1 : 0;
    // Images larger than the device drop their larger stored levels.
    while (count > 1 && (w > maxWidth || h > maxHeight)) {
        in.Skip(int32_t(RawLevelBytes(w, h, bytesPerPixel)));
        w /= 2;
        h /= 2;
        --count;
    }
    const int32_t keep = (flags & 0x01) ? count : 1;
    record.levels.clear();
    for (int32_t k = 0; k < keep && w > 0 && h > 0; ++k, w /= 2, h /= 2) {
        TextureLevel level;
        level.width = w;
        level.height = h;
        level.pixels.resize(size_t(RawLevelBytes(w, h, bytesPerPixel)));
        in.Read(level.pixels.data(), int32_t(level.pixels.size()));
        record.levels.push_back(std::move(level));
    }
    record.format = bytesPerPixel == 4 ? kFormatA8R8G8B8 : kFormatR8G8B8;
    if (record.options & kTextureFlipRows) {
        std::vector<uint8_t> row;
        for (TextureLevel& level : record.levels) {
            const size_t pitch = size_t(level.width) * size_t(bytesPerPixel);
            row.resize(pitch);
            for (int32_t r = 0; r < level.height / 2; ++r) {
                uint8_t* a = level.pixels.data() + size_t(r) * pitch;
                uint8_t* b = level.pixels.data() + size_t(level.height - 1 - r) * pitch;
                std::memcpy(row.data(), a, pitch);
                std::memcpy(a, b, pitch);
                std::memcpy(b, row.data(), pitch);
            }
        }
    }
    record.mipBias = 0.0f;
    record.wrapU = record.wrapV = (record.options & kTextureClamp) ? 0 : 1;
    return !in.Failed();
}

}  // namespace

bool ReadTexture(TextureRecord& record, int32_t maxWidth, int32_t maxHeight) {
    FileReader in(record.name);
    uint32_t version = 0;
    bool ok = false;
    bool multiframe = false;
    if (in.CheckZK2Header(version) == 0) {
        if (version == 2) {
            ok = ReadVersion2(in, record, multiframe);
        } else {
            Debugger::Instance().Message("%s is obsolete", record.name.c_str());
            if (version == kVersionOneBits) ok = ReadVersion1(in, record, maxWidth, maxHeight);
        }
    }
    if (!ok) {
        record.levels.clear();
        if (multiframe)
            Debugger::Instance().Message("Multiframe texture %s is not supported", record.name.c_str());
        else
            Debugger::Instance().Message("%s is not a valid texture", record.name.c_str());
    }
    return ok;
}

bool ReadSpriteImage(const SharedString& path, SpriteImage& out) {
    FileReader in(path);
    uint32_t version = 0;
    bool ok = in.CheckZK2Header(version) == 0 && version == kVersionOneBits;
    if (ok) {
        out.width = in.ReadI32();
        out.height = in.ReadI32();
        out.bytesPerPixel = int8_t(in.ReadU8()) / 8;
        const uint8_t flags = in.ReadU8();
        in.ReadU8();  // the stored level count is not used
        out.mayCompress = (flags & 0x08) == 0;
        out.highQuality = (flags & 0x10) != 0;
        out.format = out.bytesPerPixel == 4 ? kFormatA8R8G8B8 : kFormatR8G8B8;
        // The fields are checked before the byte count is formed from them.
        ok = !in.Failed() && out.width >= 0 && out.height >= 0 && out.width <= kMaxDimension &&
             out.height <= kMaxDimension && (out.bytesPerPixel == 3 || out.bytesPerPixel == 4);
        const int64_t bytes = ok ? RawLevelBytes(out.width, out.height, out.bytesPerPixel) : 0;
        ok = ok && bytes <= in.Remaining();
        if (ok) {
            out.pixels.assign(size_t(bytes), 0);
            in.Read(out.pixels.data(), int32_t(bytes));
        }
    }
    if (!ok) {
        out = SpriteImage{};
        Debugger::Instance().Message("%s is not a valid sprite", path.c_str());
    }
    return ok;
}

}  // namespace zkt
