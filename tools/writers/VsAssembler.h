#pragma once
// A small assembler for vs 1.1 vertex-shader text, producing the token stream stored in .vso
// files, and the world's two vertex shaders written with it.
//
// Syntax: a "vs.1.1" (or "vs.1.0") line, then one instruction per line: an opcode, a
// destination with an optional write mask (r0.xz, oPos, oFog.x, oD0, oT1.xy, a0.x) and sources
// with an optional minus sign and swizzle of one to four components (the last one repeats):
// v3, -c7.x, r1.zxyw, c[a0.x + 12]. "def c5, 1, 2, 3, 4" defines a constant. Comments start
// with ';' or "//".
#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/SharedString.h"

namespace tools {

// The token stream, or empty with the reason (and line number) in *error.
std::vector<uint32_t> AssembleVs11(const std::string& text, std::string* error = nullptr);

// Writes the tokens as a .vso file: little-endian 32-bit words, no header.
bool WriteVso(const SharedString& path, const std::vector<uint32_t>& tokens);

// Sources of "Misc\zkWorld1.vso" (which = 1: the optional first pass over the whole static
// city) and "Misc\zkWorld2.vso" (which = 2: the lit pass per material bucket). Inputs follow
// the static geometry's vertex format: v0 position, v3 normal, v7 texture coordinates.
const char* WorldVertexShaderSource(int which);

// Assembles both world shaders and writes them as zkWorld1.vso and zkWorld2.vso into the
// given folder (a path ending in a separator, or empty for the working directory).
bool WriteWorldVertexShaders(const std::string& folder);

} // namespace tools
