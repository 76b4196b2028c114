#pragma once
// GLSL generation for the fixed-function pipeline: a vertex program per vertex-processing key
// (format, lighting, material sources, lights, fog, coordinate generation, clip planes) and a
// fragment program per texture-stage key (ops, arguments, result targets, samplers, alpha test,
// fog, specular add). Programs are cached by key in the device.
#include <array>
#include <cstdint>
#include <string>

namespace gfx {

struct VsKey {
    // [0] fvf; [1] flags; [2] material sources; [3] light count and kinds; [4] fog;
    // [5..12] per-stage coordinate word; [13] clip mask; [14] translated shader handle (0 = FF)
    std::array<uint32_t, 15> w{};
    bool operator==(const VsKey&) const = default;
};
enum VsFlags : uint32_t { VS_LIGHTING = 1, VS_SPECULAR = 2, VS_NORMALIZE = 4, VS_LOCALVIEWER = 8 };

struct FsKey {
    // two words per stage (colour, alpha) and one with result/sampler; [24] alpha func (0 off),
    // [25] bits: 1 fog, 2 specular add
    std::array<uint32_t, 26> w{};
    bool operator==(const FsKey&) const = default;
};

struct KeyHash {
    template <size_t N>
    size_t operator()(const std::array<uint32_t, N>& a) const {
        uint64_t h = 1469598103934665603ull;
        for (uint32_t v : a) { h ^= v; h *= 1099511628211ull; }
        return size_t(h);
    }
    size_t operator()(const VsKey& k) const { return (*this)(k.w); }
    size_t operator()(const FsKey& k) const { return (*this)(k.w); }
};

// Names shared by the generated stages.
constexpr int kAttrPosition = 0, kAttrNormal = 1, kAttrDiffuse = 2, kAttrSpecular = 3, kAttrTex0 = 4;

std::string GenerateFixedVertexShader(const VsKey& key);
std::string GenerateFragmentShader(const FsKey& key);
// The common output block used by translated vertex shaders.
const char* VertexOutputDeclarations();
const char* PositionFixupFunction();

}  // namespace gfx
