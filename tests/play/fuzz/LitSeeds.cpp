// Seeds for the light file reader: the four times of day as the tools write them, and a short one.
#include <string>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/LightFileWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    for (int t = 0; t < 4; ++t) seeds.Write("time" + std::to_string(t), tools::DefaultLightFileBytes(t));
    std::vector<uint8_t> shortFile = tools::DefaultLightFileBytes(1);
    shortFile.resize(100);
    seeds.Write("short", shortFile);
    return 0;
}
