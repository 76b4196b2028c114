#include "tools/writers/ZktWriter.h"

#include <cstring>

#include "engine/core/FileStream.h"

namespace tools {
namespace {

void Put32(std::vector<uint8_t>& out, uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
void PutFloat(std::vector<uint8_t>& out, float f) {
    uint32_t v;
    std::memcpy(&v, &f, 4);
    Put32(out, v);
}
void PutHeader(std::vector<uint8_t>& out, uint32_t version) {
    out.push_back('Z');
    out.push_back('K');
    out.push_back('2');
    Put32(out, version);
}

} // namespace

std::vector<uint8_t> ZktBytes(const ZktTexture& t) {
    std::vector<uint8_t> out;
    PutHeader(out, 2);
    Put32(out, t.frameCount);
    PutFloat(out, t.mipBias);
    out.push_back(t.mayCompress);
    out.push_back(t.highQuality);
    out.push_back(t.wrapU);
    out.push_back(t.wrapV);
    Put32(out, uint32_t(t.width));
    Put32(out, uint32_t(t.height));
    Put32(out, uint32_t(t.blocks.size()));
    for (const ZktBlock& b : t.blocks) {
        out.push_back(b.code);
        Put32(out, uint32_t(b.levels.size()));
        for (const ZktLevel& l : b.levels) {
            Put32(out, uint32_t(l.width));
            Put32(out, uint32_t(l.height));
            Put32(out, uint32_t(l.byteCount >= 0 ? l.byteCount : int32_t(l.pixels.size())));
            out.insert(out.end(), l.pixels.begin(), l.pixels.end());
        }
    }
    return out;
}

std::vector<uint8_t> ZktBytes(const ZktPicture& p) {
    std::vector<uint8_t> out;
    PutHeader(out, 0x3F800000u);  // the float 1.0
    Put32(out, uint32_t(p.width));
    Put32(out, uint32_t(p.height));
    out.push_back(uint8_t(p.bitsPerPixel));
    out.push_back(p.flags);
    out.push_back(uint8_t(p.levelCount));
    out.insert(out.end(), p.pixels.begin(), p.pixels.end());
    return out;
}

bool WriteFileBytes(const SharedString& path, const std::vector<uint8_t>& bytes) {
    FileWriter out(path);
    if (!out.IsOpen()) return false;
    out.Write(bytes.data(), int32_t(bytes.size()));
    return true;
}

bool WriteZkt(const SharedString& path, const ZktTexture& texture) {
    return WriteFileBytes(path, ZktBytes(texture));
}
bool WriteZkt(const SharedString& path, const ZktPicture& picture) {
    return WriteFileBytes(path, ZktBytes(picture));
}

std::vector<uint8_t> PixelsFromArgb(const std::vector<uint32_t>& argb) {
    std::vector<uint8_t> out;
    out.reserve(argb.size() * 4);
    for (uint32_t c : argb) Put32(out, c);
    return out;
}

ZktTexture ArgbTexture(int32_t width, int32_t height, const std::vector<uint32_t>& argb) {
    ZktTexture t;
    t.width = width;
    t.height = height;
    ZktBlock b;
    b.code = 0;
    b.levels.push_back({width, height, PixelsFromArgb(argb), -1});
    t.blocks.push_back(std::move(b));
    return t;
}

ZktTexture FlippedPicture(int32_t width, int32_t height, const std::vector<uint32_t>& topRowFirst) {
    std::vector<uint32_t> bottomUp;
    bottomUp.reserve(topRowFirst.size());
    for (int32_t y = height - 1; y >= 0; --y)
        bottomUp.insert(bottomUp.end(), topRowFirst.begin() + long(y) * width, topRowFirst.begin() + long(y + 1) * width);
    ZktTexture t = ArgbTexture(width, height, bottomUp);
    t.mayCompress = 0;
    t.highQuality = 1;
    return t;
}

ZktPicture ArgbPicture(int32_t width, int32_t height, const std::vector<uint32_t>& argb) {
    ZktPicture p;
    p.width = width;
    p.height = height;
    p.bitsPerPixel = 32;
    p.levelCount = 1;
    p.pixels = PixelsFromArgb(argb);
    return p;
}

} // namespace tools
