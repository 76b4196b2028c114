// Mixing cost of 32 voices at 44.1 kHz, and the cost of the whole mixing device while it plays
// nothing. "core_percent" is the share of one core taken in real time (CPU time per second of
// sound, in percent).
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/audio/DS8Audio.h"
#include "engine/audio/SoundMixer.h"
#include "platform/sound/AudioHal.h"

namespace {

constexpr int kVoices = 32;
constexpr int kChunkFrames = 882; // the output thread's 20 ms unit

std::unique_ptr<SampleBuffer> MakeSample(int rate, bool stereo, int seed) {
    auto s = std::make_unique<SampleBuffer>();
    s->rate = rate;
    s->stereo = stereo;
    s->sixteenBit = true;
    s->frames = rate; // one second
    s->size = s->frames * s->BytesPerFrame();
    s->data.resize(size_t(s->size));
    auto* p = reinterpret_cast<int16_t*>(s->data.data());
    for (int i = 0; i < s->size / 2; ++i) p[i] = int16_t((i * 37 + seed * 101) % 20000 - 10000);
    return s;
}

void SetRate(benchmark::State& state, double audioSecondsPerIteration) {
    state.counters["core_percent"] = benchmark::Counter(audioSecondsPerIteration / 100.0,
                                                        benchmark::Counter::kIsIterationInvariantRate |
                                                            benchmark::Counter::kInvert);
}

// The mixing device: SoundMixer on 32 looping voices (half stereo, a quarter at 22050 Hz,
// varied pan and volume), mixed and written in 20 ms units.
void BM_SoundMixer32Voices(benchmark::State& state) {
    std::vector<std::unique_ptr<SampleBuffer>> samples;
    std::vector<MixState> voices(kVoices);
    SoundMixer mixer;
    for (int i = 0; i < kVoices; ++i) {
        samples.push_back(MakeSample(i % 4 == 0 ? 22050 : 44100, i % 2 == 0, i));
        MixState& v = voices[size_t(i)];
        v.Attach(samples.back().get());
        v.SetGains(0.3f + 0.02f * float(i), float(i % 5 - 2) * 0.4f);
        v.loopCount = MixState::kEndless;
        v.playing = true;
        std::lock_guard<Mutex> g(mixer.Lock());
        mixer.Add(&v);
    }
    std::vector<int16_t> out(size_t(kChunkFrames) * 2);
    for (auto _ : state) {
        mixer.Mix(kChunkFrames * 4);
        mixer.Write(out.data());
        benchmark::DoNotOptimize(out.data());
    }
    SetRate(state, double(kChunkFrames) / 44100.0);
}
BENCHMARK(BM_SoundMixer32Voices);

// The buffer-per-voice device's layer: 32 voice buffers (8 positional) with interpolating
// resampling, rendered by the capture back end one period at a time.
void BM_VoiceBuffers32Voices(benchmark::State& state) {
    auto device = audiohal::Device::Open(0, audiohal::Backend::Capture);
    device->SetPrimaryFormat({1, 2, 44100, 176400, 4, 16});
    std::vector<std::unique_ptr<audiohal::VoiceBuffer>> voices;
    for (int i = 0; i < kVoices; ++i) {
        audiohal::VoiceDesc d;
        const bool stereo = i % 2 == 0;
        const uint32_t rate = i % 4 == 0 ? 22050 : 44100;
        d.format = {1, uint16_t(stereo ? 2 : 1), rate, rate * (stereo ? 4u : 2u), uint16_t(stereo ? 4 : 2), 16};
        d.bytes = rate * d.format.blockAlign;
        d.positional = i % 4 == 1;
        auto v = device->CreateVoiceBuffer(d);
        v->SetVolume(-300 * (i % 7));
        if (!d.positional) v->SetPan(1000 * (i % 5 - 2));
        else {
            v->SetMinDistance(10.0f, false);
            v->SetMaxDistance(150.0f, false);
            v->SetPosition({float(i), 0.0f, 20.0f}, false);
        }
        v->Play(0, true);
        voices.push_back(std::move(v));
    }
    for (auto _ : state) {
        device->Render(audiohal::Device::kPeriodFrames);
        device->ClearCaptured();
    }
    SetRate(state, double(audiohal::Device::kPeriodFrames) / 44100.0);
}
BENCHMARK(BM_VoiceBuffers32Voices);

double ProcessCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The share of a core the process takes (in percent) while this thread only sleeps, after a
// settling half second (a device writes silence all round its ring before it rests).
double IdleCorePercent() {
    const char* hold = std::getenv("METROFARE_BENCH_IDLE_SECONDS"); // a longer window for profiling
    const double seconds = hold ? std::max(1.0, std::atof(hold)) : 2.0;
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    const double cpu0 = ProcessCpuSeconds();
    const auto wall0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = ProcessCpuSeconds() - cpu0;
    return 100.0 * cpu / std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
}

// SDL's dummy driver alone, opened as the sound layer opens it, with a callback that writes
// silence: the least any output through SDL costs.
double IdleRawSdlCorePercent() {
    SDL_InitSubSystem(SDL_INIT_AUDIO);
    SDL_AudioSpec want{}, have{};
    want.freq = 44100;
    want.format = AUDIO_S16LSB;
    want.channels = 2;
    want.samples = uint16_t(audiohal::Device::kPeriodFrames);
    want.callback = [](void*, Uint8* stream, int len) { std::memset(stream, 0, size_t(len)); };
    const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    double percent = -1.0;
    if (id != 0) {
        SDL_PauseAudioDevice(id, 0);
        percent = IdleCorePercent();
        SDL_CloseAudioDevice(id);
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return percent;
}

// The mixing device the game runs with, initialised and playing no voice: its output thread,
// four play slots and the sound layer's output, either through SDL's dummy driver (which calls
// back every 512-frame period in real time, like a sound card) or on the silent clock-paced back
// end that runs when no output opens. Nothing else runs in the process meanwhile. Through SDL,
// raw SDL's own figure is measured in the same run and the device's is also given as a ratio.
void BM_IdleMixingDevice(benchmark::State& state) {
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    const bool sdl = state.range(0) == 0;
    double device = 0.0, raw = 0.0;
    for (auto _ : state) {
        if (sdl) raw = IdleRawSdlCorePercent();
        DS8Audio::Options options;
        options.backend = sdl ? audiohal::Backend::Sdl : audiohal::Backend::Null;
        DS8Audio mixing(options);
        mixing.Init(0, nullptr);
        device = IdleCorePercent();
    }
    state.counters["core_percent"] = device;
    if (sdl && raw > 0.0) {
        state.counters["raw_sdl_core_percent"] = raw;
        state.counters["vs_raw_sdl"] = device / raw;
    }
    state.SetLabel(sdl ? "SDL dummy driver" : "silent back end");
}
BENCHMARK(BM_IdleMixingDevice)->Arg(0)->Arg(1)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
