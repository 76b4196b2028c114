// Mixing cost of 32 voices at 44.1 kHz. "core_percent" is the share of one core that mixing
// takes in real time (CPU time per second of sound, in percent).
#include <benchmark/benchmark.h>

#include <memory>
#include <mutex>
#include <vector>

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

} // namespace
