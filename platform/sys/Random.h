#pragma once
#include <cstdint>

namespace plat {

// The engine's 15-bit random generator: 0..32767, seed 1, state per thread.
// The C runtime's rand() is never used: its range differs on this platform.
int EngineRand();
void SetEngineRandSeed(uint32_t seed);
constexpr int kEngineRandMax = 0x7FFF;

} // namespace plat
