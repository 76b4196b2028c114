#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "tools/demo/DemoTree.h"
#include "tools/writers/AudioWriter.h"

// The sounds the engine, the menus and the game ask for by name: short synthetic tones and
// noise bursts as 22050 Hz mono WAV files, and the intro music as stereo OGG. A name the game
// picks by wildcard ("Crash0*.WAV", "Gun_Fire*.WAV") gets one file that matches it. Sounds
// named after a car, an ambient emitter or a pedestrian kind belong with those data.
namespace {

constexpr int kRate = 22050;

std::vector<int16_t> Tone(double seconds, double startHz, double endHz, double amplitude) {
    const size_t n = size_t(seconds * kRate);
    std::vector<int16_t> s(n);
    double phase = 0.0;
    for (size_t i = 0; i < n; ++i) {
        const double t = double(i) / double(n);
        phase += 6.283185307179586 * (startHz + (endHz - startHz) * t) / kRate;
        const double envelope = std::min(1.0, 20.0 * t) * (1.0 - t);
        s[i] = int16_t(amplitude * envelope * std::sin(phase));
    }
    return s;
}

// A steady tone whose end joins its start, for sounds the game loops (engines, burners).
std::vector<int16_t> LoopTone(double seconds, double hz, double amplitude) {
    const size_t n = size_t(seconds * kRate);
    const double cycles = std::max(1.0, std::round(hz * double(n) / kRate));
    std::vector<int16_t> s(n);
    for (size_t i = 0; i < n; ++i)
        s[i] = int16_t(amplitude * std::sin(6.283185307179586 * cycles * double(i) / double(n)));
    return s;
}

// A decaying noise burst (crashes, explosions, hits); the seed makes each file its own.
std::vector<int16_t> Burst(double seconds, double amplitude, uint32_t seed) {
    const size_t n = size_t(seconds * kRate);
    std::vector<int16_t> s(n);
    uint32_t x = seed * 2654435761u + 1u;
    double low = 0.0;
    for (size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        const double white = double(int32_t(x >> 16) - 32768) / 32768.0;
        low += 0.2 * (white - low); // a little darker than white noise
        const double t = double(i) / double(n);
        s[i] = int16_t(amplitude * (1.0 - t) * (1.0 - t) * low * 2.0);
    }
    return s;
}

enum class Kind { Sweep, Loop, Burst };

struct Sound {
    const char* path; // under "Audio"
    Kind kind;
    double seconds, from, to;
};

const Sound kSounds[] = {
    // The console and the menus.
    {"Console.WAV", Kind::Sweep, 0.15, 660, 440},
    {"Woosh.WAV", Kind::Sweep, 0.4, 200, 1200},
    {"MenuMove.WAV", Kind::Sweep, 0.05, 880, 880},
    {"Menu.WAV", Kind::Sweep, 0.2, 523, 784},
    {"False.WAV", Kind::Sweep, 0.3, 220, 110},
    {"Click.WAV", Kind::Sweep, 0.03, 1500, 1200},
    {"Back.WAV", Kind::Sweep, 0.15, 784, 523},
    {"Slider.WAV", Kind::Sweep, 0.04, 1000, 1000},
    {"Exit.WAV", Kind::Sweep, 0.5, 440, 110},
    // Cars: launch, burning, crashes, bullet hits, water, specials and the fare's cash.
    {"Accel.WAV", Kind::Sweep, 0.8, 80, 240},
    {"Fire.WAV", Kind::Loop, 1.0, 90, 90},
    {"Crash0.WAV", Kind::Burst, 0.3, 1, 0},
    {"Crash1.WAV", Kind::Burst, 0.4, 2, 0},
    {"Crash2.WAV", Kind::Burst, 0.5, 3, 0},
    {"Crash3.WAV", Kind::Burst, 0.6, 4, 0},
    {"Crash4.WAV", Kind::Burst, 0.7, 5, 0},
    {"Crash5.WAV", Kind::Burst, 0.8, 6, 0},
    {"bullethit_impact1.WAV", Kind::Burst, 0.08, 7, 0},
    {"bullethit_impact2.WAV", Kind::Burst, 0.08, 8, 0},
    {"BulletHit_Reflected1.WAV", Kind::Sweep, 0.25, 2400, 900},
    {"Hit_Water.WAV", Kind::Burst, 0.4, 9, 0},
    {"Ride_Water.WAV", Kind::Loop, 1.0, 140, 140},
    {"Cash.WAV", Kind::Sweep, 0.35, 1200, 1800},
    {"Boost.WAV", Kind::Sweep, 0.6, 150, 600},
    {"Jump.WAV", Kind::Sweep, 0.3, 300, 900},
    {"Rock.WAV", Kind::Burst, 0.3, 10, 0},
    {"Repair.WAV", Kind::Sweep, 0.5, 600, 1000},
    {"Slow.WAV", Kind::Sweep, 0.6, 600, 150},
    {"RollOver.WAV", Kind::Sweep, 0.1, 900, 1100},
    // World objects struck by cars.
    {"Hit_Wood.WAV", Kind::Burst, 0.2, 11, 0},
    {"Hit_Phone.WAV", Kind::Sweep, 0.2, 1400, 1300},
    {"Hit_Light.WAV", Kind::Sweep, 0.2, 1800, 1500},
    {"Hit_Park.WAV", Kind::Burst, 0.25, 12, 0},
    {"Hit_Metal.WAV", Kind::Sweep, 0.3, 900, 850},
    {"Hit_Traffic.WAV", Kind::Sweep, 0.25, 700, 650},
    {"Hit_Leafs.WAV", Kind::Burst, 0.3, 13, 0},
    {"Hit_Cone.WAV", Kind::Burst, 0.15, 14, 0},
    // Weapons, projectiles and explosions.
    {"Chain_Active.WAV", Kind::Loop, 0.5, 60, 60},
    {"Chain_Start.WAV", Kind::Sweep, 0.3, 100, 400},
    {"Chain_Fire.WAV", Kind::Burst, 0.06, 15, 0},
    {"Chain_End.WAV", Kind::Sweep, 0.3, 400, 100},
    {"Flamer_Active.WAV", Kind::Loop, 0.5, 70, 70},
    {"FlamerStart.WAV", Kind::Burst, 0.4, 16, 0},
    {"FlamerLoop.WAV", Kind::Loop, 1.0, 110, 110},
    {"Grenade_Active.WAV", Kind::Loop, 0.5, 80, 80},
    {"GrenadeFire.WAV", Kind::Sweep, 0.2, 300, 150},
    {"GrenadeHit.WAV", Kind::Burst, 0.1, 17, 0},
    {"Missile_Start.WAV", Kind::Sweep, 0.4, 200, 800},
    {"Missile_Loop.WAV", Kind::Loop, 1.0, 220, 220},
    {"Rocket_Active.WAV", Kind::Loop, 0.5, 90, 90},
    {"Rocket_Start.WAV", Kind::Sweep, 0.4, 150, 700},
    {"Rocket_Loop.WAV", Kind::Loop, 1.0, 180, 180},
    {"Cannon.WAV", Kind::Burst, 0.3, 18, 0},
    {"Gun_Fire1.WAV", Kind::Burst, 0.05, 19, 0},
    {"Rifle_Fire1.WAV", Kind::Burst, 0.12, 20, 0},
    {"Shell.WAV", Kind::Sweep, 0.05, 3000, 2800},
    {"Explosion.WAV", Kind::Burst, 1.2, 21, 0},
    {"Grenade_Explosion.WAV", Kind::Burst, 1.0, 22, 0},
    {"Missile_Explosion.WAV", Kind::Burst, 1.3, 23, 0},
    {"Rocket_Explosion.WAV", Kind::Burst, 1.3, 24, 0},
    {"Cannon_Explosion.WAV", Kind::Burst, 0.9, 25, 0},
    // Traffic and pedestrians.
    {"Traffic/Engine.WAV", Kind::Loop, 1.0, 55, 55},
    {"Traffic/Horn1.WAV", Kind::Loop, 0.5, 415, 415},
    {"Blood.WAV", Kind::Burst, 0.3, 26, 0},
    {"HitPed.WAV", Kind::Burst, 0.2, 27, 0},
    {"Panic.WAV", Kind::Sweep, 0.6, 700, 1100},
};

std::vector<int16_t> Make(const Sound& s) {
    switch (s.kind) {
    case Kind::Loop:
        return LoopTone(s.seconds, s.from, 9000.0);
    case Kind::Burst:
        return Burst(s.seconds, 14000.0, uint32_t(s.from));
    case Kind::Sweep:
        break;
    }
    return Tone(s.seconds, s.from, s.to, 12000.0);
}

} // namespace

DEMO_STEP("sounds") {
    const auto audio = root / "Audio";
    std::error_code ec;
    std::filesystem::create_directories(audio / "Traffic", ec);
    if (ec) return false;
    for (const Sound& s : kSounds)
        if (!tools::WriteWav((audio / s.path).string(), 1, kRate, Make(s))) return false;
    // Two seconds of a stereo chord for the intro music (streamed); the missions pick their
    // music among the OGG files of "Audio" as well.
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
