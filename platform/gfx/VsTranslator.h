#pragma once
// vs 1.1 token streams: validation and translation to a GLSL 330 vertex shader that feeds the
// same outputs as the fixed-function vertex program.
#include <cstddef>
#include <cstdint>
#include <string>

namespace gfx {

constexpr int kVsConstants = 96;

struct VsTranslation {
    bool ok = false;
    std::string glsl;
    std::string error;   // why the stream was refused
    bool writesFog = false;
};

VsTranslation TranslateVs11(const uint32_t* tokens, size_t count);

// Human-readable listing of a token stream (a test and tooling aid). Empty on a bad stream.
std::string DisassembleVs11(const uint32_t* tokens, size_t count);

}  // namespace gfx
