#pragma once
// Shared helpers of the pixel tests: one real GL device per test binary and small draws.
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "platform/gfx/Device.h"

namespace gfxtest {

constexpr int kSize = 64;

// The binary's one device (GL contexts are per thread and per process here).
inline gfx::Device& TheDevice() {
    static std::unique_ptr<gfx::Device> device = gfx::CreateGLDevice(nullptr, kSize, kSize);
    if (!device) abort();
    return *device;
}

struct ScreenVertex {
    float x, y, z, rhw;
    uint32_t diffuse;
    float u, v;
};
constexpr uint32_t kScreenFvf = gfx::fvf::XYZRHW | gfx::fvf::DIFFUSE | (1u << gfx::fvf::TEXCOUNT_SHIFT);

// A pre-transformed quad covering [x0, x1) x [y0, y1) in pixels.
inline void DrawScreenQuad(gfx::Device& d, float x0, float y0, float x1, float y1, uint32_t color,
                           float z = 0.5f) {
    ScreenVertex v[4] = {{x0 - 0.5f, y0 - 0.5f, z, 1, color, 0, 0},
                         {x1 - 0.5f, y0 - 0.5f, z, 1, color, 1, 0},
                         {x0 - 0.5f, y1 - 0.5f, z, 1, color, 0, 1},
                         {x1 - 0.5f, y1 - 0.5f, z, 1, color, 1, 1}};
    d.SetVertexShader(kScreenFvf);
    d.DrawPrimitiveUP(gfx::prim::TRIANGLESTRIP, 2, v, sizeof(ScreenVertex));
}

inline uint32_t Pixel(gfx::Device& d, int x, int y, bool back = true) {
    uint32_t p = 0;
    d.ReadPixels(back, x, y, 1, 1, &p);
    return p;
}

inline int Channel(uint32_t argb, int shift) { return int((argb >> shift) & 0xFF); }

// True when every colour channel is within tolerance.
inline bool Near(uint32_t a, uint32_t b, int tolerance = 2) {
    for (int s : {0, 8, 16})
        if (std::abs(Channel(a, s) - Channel(b, s)) > tolerance) return false;
    return true;
}

}  // namespace gfxtest
