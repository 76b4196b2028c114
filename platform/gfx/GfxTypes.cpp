// Small shared helpers of the gfx layer: colour packing, vertex strides, matrix product, log.
#include "platform/gfx/GfxTypes.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

namespace gfx {

namespace {
LogSink g_sink = nullptr;

uint8_t ToByte(float v) {
    v = std::clamp(v, 0.0f, 1.0f);
    return uint8_t(v * 255.0f + 0.5f);
}
}  // namespace

void SetLogSink(LogSink sink) { g_sink = sink; }

void Log(int level, const char* format, ...) {
    char buffer[1024];
    va_list args;
    va_start(args, format);
    vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    if (g_sink) g_sink(level, buffer);
    else if (level <= 1) fprintf(stderr, "%s\n", buffer);
}

uint32_t VertexStride(uint32_t code) {
    uint32_t stride = 0;
    switch (code & fvf::POSITION_MASK) {
        case fvf::XYZ: stride += 12; break;
        case fvf::XYZRHW: stride += 16; break;
        default: break;
    }
    if (code & fvf::NORMAL) stride += 12;
    if (code & fvf::DIFFUSE) stride += 4;
    if (code & fvf::SPECULAR) stride += 4;
    stride += 8 * ((code & fvf::TEXCOUNT_MASK) >> fvf::TEXCOUNT_SHIFT);
    return stride;
}

Mat4 Mat4::Mul(const Mat4& a, const Mat4& b) {
    Mat4 r;
    for (int i = 0; i < 4; ++i)
        for (int j = 0; j < 4; ++j)
            r.m[i][j] = a.m[i][0] * b.m[0][j] + a.m[i][1] * b.m[1][j] + a.m[i][2] * b.m[2][j] +
                        a.m[i][3] * b.m[3][j];
    return r;
}

bool MaterialColors::operator==(const MaterialColors& o) const {
    auto eq = [](const ColorValue& a, const ColorValue& b) {
        return a.r == b.r && a.g == b.g && a.b == b.b && a.a == b.a;
    };
    return eq(diffuse, o.diffuse) && eq(ambient, o.ambient) && eq(specular, o.specular) &&
           eq(emissive, o.emissive) && power == o.power;
}

uint32_t PackColor(const ColorValue& c) {
    return (uint32_t(ToByte(c.a)) << 24) | (uint32_t(ToByte(c.r)) << 16) |
           (uint32_t(ToByte(c.g)) << 8) | uint32_t(ToByte(c.b));
}

ColorValue UnpackColor(uint32_t argb) {
    return {float((argb >> 16) & 0xFF) / 255.0f, float((argb >> 8) & 0xFF) / 255.0f,
            float(argb & 0xFF) / 255.0f, float(argb >> 24) / 255.0f};
}

int PrimitiveVertexCount(uint32_t type, uint32_t n) {
    switch (type) {
        case prim::POINTLIST: return int(n);
        case prim::LINELIST: return int(n * 2);
        case prim::LINESTRIP: return n ? int(n + 1) : 0;
        case prim::TRIANGLELIST: return int(n * 3);
        case prim::TRIANGLESTRIP:
        case prim::TRIANGLEFAN: return n ? int(n + 2) : 0;
        default: return 0;
    }
}

void SetDefaultStates(uint32_t (&rs_)[rs::COUNT], uint32_t (&tss_)[8][tss::COUNT]) {
    auto floatBits = [](float f) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        return u;
    };
    for (auto& v : rs_) v = 0;
    rs_[rs::ZENABLE] = 1;
    rs_[rs::FILLMODE] = fill::SOLID;
    rs_[rs::SHADEMODE] = 2;
    rs_[rs::ZWRITEENABLE] = 1;
    rs_[rs::LASTPIXEL] = 1;
    rs_[rs::SRCBLEND] = blend::ONE;
    rs_[rs::DESTBLEND] = blend::ZERO;
    rs_[rs::CULLMODE] = cull::CCW;
    rs_[rs::ZFUNC] = cmp::LESSEQUAL;
    rs_[rs::ALPHAFUNC] = cmp::ALWAYS;
    rs_[rs::FOGSTART] = floatBits(0.0f);
    rs_[rs::FOGEND] = floatBits(1.0f);
    rs_[rs::FOGDENSITY] = floatBits(1.0f);
    rs_[rs::STENCILFAIL] = rs_[rs::STENCILZFAIL] = rs_[rs::STENCILPASS] = stencilop::KEEP;
    rs_[rs::STENCILFUNC] = cmp::ALWAYS;
    rs_[rs::STENCILMASK] = rs_[rs::STENCILWRITEMASK] = 0xFFFFFFFFu;
    rs_[rs::TEXTUREFACTOR] = 0xFFFFFFFFu;
    rs_[rs::CLIPPING] = 1;
    rs_[rs::LIGHTING] = 1;
    rs_[rs::COLORVERTEX] = 1;
    rs_[rs::LOCALVIEWER] = 1;
    rs_[rs::DIFFUSEMATERIALSOURCE] = mcs::COLOR1;
    rs_[rs::SPECULARMATERIALSOURCE] = mcs::COLOR2;
    rs_[rs::COLORWRITEENABLE] = 0xF;
    rs_[rs::BLENDOP] = 1;
    for (uint32_t s = 0; s < 8; ++s) {
        auto& t = tss_[s];
        for (auto& v : t) v = 0;
        t[tss::COLOROP] = s == 0 ? top::MODULATE : top::DISABLE;
        t[tss::ALPHAOP] = s == 0 ? top::SELECTARG1 : top::DISABLE;
        t[tss::COLORARG1] = t[tss::ALPHAARG1] = ta::TEXTURE;
        t[tss::COLORARG2] = t[tss::ALPHAARG2] = ta::CURRENT;
        t[tss::TEXCOORDINDEX] = s;
        t[tss::ADDRESSU] = t[tss::ADDRESSV] = t[tss::ADDRESSW] = taddr::WRAP;
        t[tss::MAGFILTER] = t[tss::MINFILTER] = texf::POINT;
        t[tss::MIPFILTER] = texf::NONE;
        t[tss::MAXANISOTROPY] = 1;
        t[tss::COLORARG0] = t[tss::ALPHAARG0] = t[tss::RESULTARG] = ta::CURRENT;
    }
}

}  // namespace gfx
