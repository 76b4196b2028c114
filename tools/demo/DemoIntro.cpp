#include <algorithm>
#include <cmath>
#include <cstdio>

#include "tools/demo/DemoTree.h"
#include "tools/writers/ClipWriter.h"

// "Intro.AVI" at the root of the tree, where the program looks for it: three seconds at 640 x
// 480 and 25 pictures a second, a white bar crossing a dark blue field from left to right, with
// a tone rising from 220 to 440 Hz.
namespace {

constexpr int32_t kWidth = 640, kHeight = 480, kRate = 25, kSeconds = 3, kSoundRate = 22050;
constexpr int32_t kBar = 48;
constexpr uint32_t kField = 0xFF08104Au, kWhite = 0xFFFFFFFFu;

tools::ClipDescription IntroClip() {
    tools::ClipDescription clip;
    clip.width = kWidth;
    clip.height = kHeight;
    clip.framesPerSecond = kRate;
    clip.frameCount = kSeconds * kRate;
    clip.paint = [](int32_t index, uint32_t* argb) {
        // From just off the left edge to just off the right one.
        const int32_t left = -kBar + (kWidth + kBar) * index / (kSeconds * kRate - 1);
        for (int32_t y = 0; y < kHeight; ++y)
            for (int32_t x = 0; x < kWidth; ++x)
                argb[size_t(y) * kWidth + size_t(x)] = (x >= left && x < left + kBar) ? kWhite : kField;
    };
    clip.soundRate = kSoundRate;
    clip.sound = [](int64_t first, int16_t* stereo, int32_t count) {
        const double length = kSeconds;
        for (int32_t i = 0; i < count; ++i) {
            const double t = double(first + i) / kSoundRate;
            // The phase of a sweep from 220 to 440 Hz over the whole clip.
            const double phase = 6.283185307179586 * (220.0 * t + 220.0 * t * t / (2.0 * length));
            const double fade = std::min({1.0, t * 20.0, (length - t) * 20.0});
            const int16_t s = int16_t(9000.0 * std::max(fade, 0.0) * std::sin(phase));
            stereo[2 * i] = stereo[2 * i + 1] = s;
        }
    };
    return clip;
}

}  // namespace

DEMO_STEP("intro video") {
    std::string error;
    if (!tools::WriteClip((root / "Intro.AVI").string(), IntroClip(), &error)) {
        std::fprintf(stderr, "metrofare-demo: Intro.AVI: %s\n", error.c_str());
        return false;
    }
    return true;
}
