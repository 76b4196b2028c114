// The light file reader on arbitrary bytes: a file is taken whole or not at all.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "game/play/LightSet.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using fuzz_support::Check;
    fuzz_support::DiscardLog();
    static const fuzz_support::ScratchFile file("input.LIT");
    const SharedString path(file.Write(data, size).c_str());
    LightSet set;
    const bool read = set.ReadFile(path);
    Check(read == (size >= 211 && std::memcmp(data, "ZK2", 3) == 0));
    if (read) {
        float intensity;
        std::memcpy(&intensity, data + 7 + 16, 4);
        Check(std::memcmp(&set.records[0].intensity, &intensity, 4) == 0);
    } else {
        for (const LightRecord& r : set.records) Check(r.intensity == 1.0f);
    }
    return 0;
}
