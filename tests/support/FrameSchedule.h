#pragma once
// Frame times as players' machines give them: steady at 90, 45 or 20 frames a second, uneven
// (a stretch of frame times recorded from the program on software GL on a loaded machine,
// between 1/90 and 1/20 s) and steady with one stall of a quarter of a second. The game and
// the car tests run their frames at these times, not only at the physics rate.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace testing_support {

struct FrameSchedule {
    const char* name = "1/75";
    // Steady frames of this many seconds, or the times of `recorded` in turn when it is set.
    float steady = 1.0f / 75.0f;
    const float* recorded = nullptr;
    size_t recordedCount = 0;
    // One frame, the stallFrame-th (from 0), takes stallTime instead.
    int32_t stallFrame = -1;
    float stallTime = 0.0f;

    float operator()(int32_t frame) const {
        if (frame == stallFrame) return stallTime;
        if (recorded && recordedCount > 0) return recorded[size_t(frame) % recordedCount];
        return steady;
    }
    // The frame that starts at or after this many seconds.
    int32_t FrameAt(float seconds) const {
        float t = 0.0f;
        int32_t frame = 0;
        for (; t < seconds; ++frame) t += (*this)(frame);
        return frame;
    }
};

inline FrameSchedule SteadyFrames(const char* name, float seconds) {
    FrameSchedule s;
    s.name = name;
    s.steady = seconds;
    return s;
}

// 96 frame times of the free drive on software GL with the machine's eight cores busy.
inline FrameSchedule UnevenFrames() {
    static const float times[] = {
        0.0166f, 0.0167f, 0.0169f, 0.0162f, 0.0201f, 0.0161f, 0.0172f, 0.0167f, 0.0176f, 0.0199f, 0.0361f, 0.0414f,
        0.0272f, 0.0277f, 0.0201f, 0.0235f, 0.0163f, 0.0202f, 0.0162f, 0.0164f, 0.0132f, 0.0152f, 0.0134f, 0.0129f,
        0.0135f, 0.0141f, 0.0131f, 0.0134f, 0.0118f, 0.0129f, 0.0124f, 0.0135f, 0.0126f, 0.0132f, 0.0121f, 0.0137f,
        0.0141f, 0.0143f, 0.0162f, 0.0115f, 0.0121f, 0.0118f, 0.0153f, 0.0154f, 0.0340f, 0.0206f, 0.0270f, 0.0253f,
        0.0269f, 0.0271f, 0.0293f, 0.0257f, 0.0248f, 0.0247f, 0.0310f, 0.0404f, 0.0197f, 0.0365f, 0.0251f, 0.0285f,
        0.0248f, 0.0220f, 0.0252f, 0.0297f, 0.0257f, 0.0263f, 0.0325f, 0.0218f, 0.0224f, 0.0259f, 0.0323f, 0.0230f,
        0.0221f, 0.0226f, 0.0235f, 0.0220f, 0.0223f, 0.0237f, 0.0235f, 0.0221f, 0.0287f, 0.0368f, 0.0138f, 0.0153f,
        0.0154f, 0.0128f, 0.0135f, 0.0141f, 0.0136f, 0.0145f, 0.0396f, 0.0353f, 0.0249f, 0.0152f, 0.0243f, 0.0282f,
    };
    FrameSchedule s;
    s.name = "uneven";
    s.recorded = times;
    s.recordedCount = sizeof(times) / sizeof(times[0]);
    return s;
}

// Steady 1/45 s frames but for one of 0.25 s, `atSeconds` into the run.
inline FrameSchedule StallFrames(float atSeconds) {
    FrameSchedule s = SteadyFrames("1/45 with a 0.25 s stall", 1.0f / 45.0f);
    s.stallFrame = s.FrameAt(atSeconds);
    s.stallTime = 0.25f;
    return s;
}

// The five schedules the frame-time tests run at; the stall comes `stallAt` seconds in.
inline std::vector<FrameSchedule> PlayerFrameSchedules(float stallAt) {
    return {SteadyFrames("1/90", 1.0f / 90.0f), SteadyFrames("1/45", 1.0f / 45.0f), SteadyFrames("1/20", 1.0f / 20.0f),
            UnevenFrames(), StallFrames(stallAt)};
}

} // namespace testing_support
