#pragma once
// The numbering of ShaderDescription values the world builds its materials with.
#include <cstdint>

namespace world_detail::shader {
// Stage operations.
constexpr uint32_t SelectArg1 = 1, SelectArg2 = 2, Modulate = 3, Add = 6;
// Stage arguments.
constexpr uint32_t Current = 0, Diffuse = 1, Texture = 2;
// Blend factors.
constexpr uint32_t One = 1, SrcAlpha = 6, InvSrcAlpha = 7;
// Compare functions.
constexpr int32_t Equal = 3, LessEqual = 4, Greater = 5;
// Texture coordinates of set 1 generated from the camera-space normal.
constexpr uint32_t CameraSpaceNormal1 = 9;
} // namespace world_detail::shader
