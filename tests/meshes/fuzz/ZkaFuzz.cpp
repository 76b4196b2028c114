// Fuzz target of the .ZKA reader: any bytes give an animation whose matrices can all be read.
#include <cstdint>

#include "engine/render/BoneAnimation.h"
#include "tests/fuzz/FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_support::DiscardLog();
    static fuzz_support::ScratchFile file("Anim.ZKA");
    BoneAnimation animation(file.Write(data, size).c_str());
    Matrix4 m;
    for (int32_t k = 0; k < animation.KeyCount(); ++k)
        for (int32_t b = 0; b < animation.BoneCount(); ++b) animation.GetMatrix(b, k, 0, &m);
    animation.GetMatrix(animation.BoneCount(), 0, 0, &m);
    fuzz_support::Check(m == Matrix4());
    fuzz_support::Check(animation.KeyCount() == 0 || animation.BoneCount() >= 0);
    return 0;
}
