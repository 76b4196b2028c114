// One fuzz input: the bytes of a car file, read into a car definition. Whatever the bytes,
// every value read is finite and the light lists fit what the file held.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/core/Engine.h"
#include "game/vehicles/CarDefinition.h"
#include "tests/fuzz/FuzzSupport.h"

namespace {
bool Finite(const Vector3& v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static fuzz_support::ScratchFile file("Fuzz.VQC");
    static CarDefinition* const blank = [] {
        ZKEngine::Instance().mainThread = Thread::Current();
        return new CarDefinition("Absent.VQC");  // defaults only
    }();
    CarDefinition d(*blank);
    const bool read = d.ReadCarFile(file.Write(data, size).c_str(), "Fuzz.VQC");
    fuzz_support::Check(read || size < 10 || data[0] != 'V' || data[1] != 'Q' || data[2] != ' ');
    const CarHandling& h = d.handling;
    for (float v : {h.forwardSpeedFactor, h.engineForce, h.weightShiftFactor, h.forwardSteeringLock,
                    h.reverseSteeringLock, h.steeringReferenceSpeed, h.brakeStrength, h.handbrakeStrength,
                    h.steeringSpeedScale, h.reverseSpeedFactor, h.steeringExponent, h.spareA,
                    h.minimumSteeringFactor, h.massValue, h.spareB})
        fuzz_support::Check(std::isfinite(v));
    for (const Vector3& w : d.wheelPoints) fuzz_support::Check(Finite(w));
    fuzz_support::Check(Finite(d.doorPoint1) && Finite(d.wheelCentre));
    const size_t halos = d.haloListA.size() + d.haloListB.size() + d.haloListC.size();
    fuzz_support::Check(halos * 15 <= size);
    for (const std::vector<HaloPoint>* list : {&d.haloListA, &d.haloListB, &d.haloListC})
        for (const HaloPoint& p : *list) fuzz_support::Check(Finite(p.position) && p.values[3] == 1.0f);
    fuzz_support::Check(d.displayName.Length() <= int32_t(size));
    return 0;
}
