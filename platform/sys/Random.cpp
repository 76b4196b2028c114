#include "platform/sys/Random.h"

namespace plat {
namespace {
thread_local uint32_t t_next = 1;
}

int EngineRand() {
    t_next = t_next * 1103515245u + 12345u;
    return int((t_next >> 16) & 0x7FFFu);
}

void SetEngineRandSeed(uint32_t seed) { t_next = seed; }

} // namespace plat
