// Seeds for the start barrier: the ready message, one byte too many, another channel, nothing.
#include <vector>

#include "tests/fuzz/FuzzSupport.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    seeds.Write("ready", std::vector<uint8_t>{0, 136});
    seeds.Write("long", std::vector<uint8_t>{0, 136, 0});
    seeds.Write("other", std::vector<uint8_t>{1, 117});
    seeds.Write("empty", std::vector<uint8_t>{0});
    return 0;
}
