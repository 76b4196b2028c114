// Writes the seeds of the animation fuzz target from the project's own writer.
#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/MeshShapes.h"
#include "tools/writers/MeshWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    seeds.Write("wave", tools::ZkaBytes(tools::WaveAnimation(4, 0.125f)));
    tools::ZkaAnimation still;
    still.bones = {"A", "B"};
    seeds.Write("no_keys", tools::ZkaBytes(still));
    return 0;
}
