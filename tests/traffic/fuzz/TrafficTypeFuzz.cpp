// One fuzz input: the bytes of a traffic car file, read as a traffic car kind. Whatever the
// bytes, every point read is finite and the light lists fit what the file held.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/core/Engine.h"
#include "game/traffic/TrafficCarType.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {
bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static fuzz_support::ScratchFile file("Fuzz.VQC");
    static const bool once = [] {
        ZKEngine::Instance().mainThread = Thread::Current();
        return true;
    }();
    (void)once;
    TrafficCarType type(SharedString("Fuzz.VQC"));  // no such file in the working directory
    const bool read = type.ReadFile(SharedString(file.Write(data, size).c_str()));
    fuzz_support::Check(read == (size >= 10 && data[0] == 'V' && data[1] == 'Q' && data[2] == ' '));
    for (const Vector3& w : type.wheels) fuzz_support::Check(Finite(w));
    fuzz_support::Check(Finite(type.frontAxle) && Finite(type.rearAxle) && Finite(type.wheelCentre));
    fuzz_support::Check((type.frontLights.size() + type.rearLights.size()) * 15 <= size);
    for (const auto* list : {&type.frontLights, &type.rearLights})
        for (const TrafficCarType::LightRecord& l : *list)
            fuzz_support::Check(Finite(l.position) && l.alpha == 1.0f && l.values[0] >= -128.0f && l.values[0] <= 127.0f);
    fuzz_support::Check(type.chassisMeshes.empty() && !type.Usable());
    return 0;
}
