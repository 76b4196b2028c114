#include <algorithm>
#include <cmath>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"

// The engine's and the menus' sounds, short synthetic tones, and the intro music as OGG.
namespace {

std::vector<int16_t> Tone(double seconds, double startHz, double endHz, double amplitude, int rate = 22050) {
    const size_t n = size_t(seconds * rate);
    std::vector<int16_t> s(n);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / double(n);
        phase += 6.283185307179586 * (startHz + (endHz - startHz) * t) / rate;
        const double envelope = std::min(1.0, 20.0 * t) * (1.0 - t);
        s[i] = int16_t(amplitude * envelope * std::sin(phase));
    }
    return s;
}

} // namespace

DEMO_STEP("sounds") {
    const auto audio = root / "Audio";
    struct Sound {
        const char* name;
        double seconds, from, to;
    } sounds[] = {
        {"Console.WAV", 0.15, 660, 440}, {"Woosh.WAV", 0.4, 200, 1200}, {"MenuMove.WAV", 0.05, 880, 880},
        {"Menu.WAV", 0.2, 523, 784},     {"False.WAV", 0.3, 220, 110},  {"Click.WAV", 0.03, 1500, 1200},
        {"Back.WAV", 0.15, 784, 523},    {"Slider.WAV", 0.04, 1000, 1000}, {"Exit.WAV", 0.5, 440, 110},
    };
    for (const Sound& s : sounds)
        if (!tools::WriteWav((audio / s.name).string(), 1, 22050, Tone(s.seconds, s.from, s.to, 12000.0)))
            return false;
    // Two seconds of a stereo chord for the intro music (streamed).
    const int rate = 44100;
    std::vector<int16_t> music;
    for (int i = 0; i < rate * 2; ++i) {
        const double t = double(i) / rate;
        const double l = std::sin(6.283185307179586 * 220.0 * t) + 0.5 * std::sin(6.283185307179586 * 277.2 * t);
        const double r = std::sin(6.283185307179586 * 220.0 * t) + 0.5 * std::sin(6.283185307179586 * 329.6 * t);
        music.push_back(int16_t(6000.0 * l));
        music.push_back(int16_t(6000.0 * r));
    }
    return tools::WriteOgg((audio / "Intro.OGG").string(), 2, rate, music);
}
