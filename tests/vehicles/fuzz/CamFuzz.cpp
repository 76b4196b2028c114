// One fuzz input: the bytes of a car camera file. Whatever they are, the record read is usable:
// finite values and a rotation that is not zero.
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "game/vehicles/CarCamera.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static fuzz_support::ScratchFile file("0.CAM");
    const CarCamera c = ReadCarCamera(file.Write(data, size).c_str());
    for (float v : {c.position.x, c.position.y, c.position.z, c.distance, c.lerp})
        fuzz_support::Check(std::isfinite(v));
    const float norm = c.rotation.Dot(c.rotation);
    fuzz_support::Check(std::isfinite(norm) && norm > 0.0f);
    if (size < size_t(CarCamera::kFileSize)) fuzz_support::Check(c == CarCamera());
    return 0;
}
