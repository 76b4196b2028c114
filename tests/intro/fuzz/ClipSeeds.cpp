// Seeds for the clip reader, written by the project's clip writer: pictures alone, pictures
// with sound, and a single tiny picture.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "tools/writers/ClipWriter.h"

int main(int argc, char** argv) {
    const fuzz_support::SeedDir seeds(argc, argv);
    auto write = [&](const std::string& name, const tools::ClipDescription& clip) {
        const std::filesystem::path scratch = seeds.Path() / ("scratch-" + name + ".avi");
        std::string error;
        if (!tools::WriteClip(scratch.string(), clip, &error)) {
            std::fprintf(stderr, "seeds: %s: %s\n", name.c_str(), error.c_str());
            std::exit(1);
        }
        seeds.CopyFile(name, scratch);
        std::filesystem::remove(scratch);
    };
    const std::vector<uint32_t> colours = {0xFFFF0000u, 0xFF00FF00u, 0xFF0000FFu, 0xFFFFFFFFu};
    write("pictures", tools::SolidClip(colours, 32, 24, 10));
    tools::ClipDescription withSound = tools::SolidClip(colours, 32, 24, 25);
    withSound.soundRate = 11025;
    withSound.sound = tools::ToneSound(330.0, 11025);
    write("with_sound", withSound);
    write("one_picture", tools::SolidClip({0xFF808080u}, 8, 8, 1));
    return 0;
}
