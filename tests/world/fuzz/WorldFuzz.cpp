// The world's three readers: the first byte picks the file ("Maps\World.VQW" through all six
// loading steps, a sky's "Misc\0.CSS", "Misc\CameraData.cut"), the rest is its content.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/FileStream.h"
#include "game/world/World.h"
#include "tests/fuzz/FuzzSupport.h"
#include "tests/support/EngineDoubles.h"

namespace {
void Put(const char* path, const uint8_t* data, size_t size) {
    std::FILE* f = std::fopen(path, "wb");
    if (!f) std::abort();
    if (size) std::fwrite(data, 1, size, f);
    std::fclose(f);
}
} // namespace

// The readers open their files relative to the working directory, so the target works in a
// directory of its own; paths given on the command line are made absolute first.
extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    const std::filesystem::path here = std::filesystem::current_path();
    for (int i = 1; argc && argv && i < *argc; ++i) {
        std::string arg = (*argv)[i];
        std::string prefix;
        if (arg.rfind("-artifact_prefix=", 0) == 0) {
            prefix = "-artifact_prefix=";
            arg = arg.substr(prefix.size());
        } else if (!arg.empty() && arg[0] == '-') {
            continue;
        }
        if (arg.empty() || arg[0] == '/') continue;
        std::string absolute = prefix + (here / arg).string();
        if (!arg.empty() && arg.back() == '/' && absolute.back() != '/') absolute += '/';
        (*argv)[i] = strdup(absolute.c_str()); // lives as long as the process
    }
    char name[] = "/tmp/world_fuzz_XXXXXX";
    if (!mkdtemp(name)) std::abort();
    std::filesystem::current_path(name);
    std::filesystem::create_directories("Maps");
    std::filesystem::create_directories("Misc");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    if (size < 1) return 0;
    const uint8_t which = data[0] % 3;
    ++data;
    --size;
    std::remove("Misc/0.CSS");
    std::remove("Misc/CameraData.cut");
    GameSession session;
    if (which == 1) {
        Put("Misc/0.CSS", data, size);
        World world(session, testing_support::NoEngine());
        return 0;
    }
    if (which == 2) {
        Put("Misc/CameraData.cut", data, size);
        FileReader in{SharedString("Misc/CameraData.cut")};
        std::vector<CameraRecord> records;
        ReadCameraRecords(in, records);
        return 0;
    }
    Put("Maps/World.VQW", data, size);
    World world(session, testing_support::NoEngine());
    world.LoadHeader();
    for (int i = 0; i < 1 << 20 && !world.LoadShadowTexture(); ++i) {
    }
    world.LoadStaticGeometry();
    world.LoadObjects();
    world.LoadRoutes();
    world.FinishLoading();
    if (!world.LoadFailed()) {
        world.Update(nullptr, 1.0f / 75.0f);
        world.Reset();
    }
    return 0;
}
