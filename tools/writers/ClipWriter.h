#pragma once
// Writes video clips for the intro player: MPEG-4 pictures and, when asked, 16-bit PCM stereo
// sound, in an AVI file.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tools {

struct ClipDescription {
    int32_t width = 64;   // even
    int32_t height = 48;  // even
    int32_t framesPerSecond = 10;
    int32_t frameCount = 1;
    // Paints picture `index` into `argb`: width x height A8R8G8B8 words, rows from the top.
    std::function<void(int32_t index, uint32_t* argb)> paint;
    // The rate of the stereo sound; 0 writes no sound.
    int32_t soundRate = 0;
    // Fills `count` stereo frames (left, right interleaved) starting at frame `first`.
    std::function<void(int64_t first, int16_t* stereo, int32_t count)> sound;
};

// False (with the reason in `error`, when given) when the clip cannot be written.
bool WriteClip(const std::string& path, const ClipDescription& clip, std::string* error = nullptr);

// A clip of solid pictures, one colour (A8R8G8B8) per picture.
ClipDescription SolidClip(const std::vector<uint32_t>& colours, int32_t width, int32_t height, int32_t framesPerSecond);

// A steady tone for a clip's sound.
std::function<void(int64_t, int16_t*, int32_t)> ToneSound(double hz, int32_t rate, double amplitude = 8000.0);

}  // namespace tools
