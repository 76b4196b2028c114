#pragma once
// What the engine does with a sound file, for the fuzz targets of the sound readers: the factory
// opens it (header and format checks), a static voice reads it whole and both mixers play it,
// and a streaming voice's refill reads it round its ring.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/audio/SoundFactory.h"
#include "engine/audio/SoundMixer.h"
#include "platform/sound/AudioHal.h"
#include "tests/fuzz/FuzzSupport.h"

namespace sound_fuzz {

// The most a static voice is decoded to under fuzzing, and the most a streaming voice's refill
// reads: a small file can honestly decode to far more, which only costs time.
constexpr uint32_t kMostStatic = 1u << 20;
constexpr uint32_t kMostStreamed = 1u << 18;

inline void Check(bool condition) {
    if (!condition) std::abort();
}

// The input is written to `name` in a private directory (in memory where the system has one),
// where the factory finds it by its path.
inline std::string InputPath(const char* name) {
    static const std::string dir = [] {
        const char* tmp = std::getenv("TMPDIR");
        std::string pattern = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : (tmp ? tmp : "/tmp")) +
                              "/metrofare-sound-fuzz-XXXXXX";
        Check(mkdtemp(pattern.data()) != nullptr);
        return pattern;
    }();
    static const std::string path = dir + "/" + name;
    // Registered after both strings exist, so it runs before they are destroyed.
    static const bool cleanUp = std::atexit([] {
        std::remove(path.c_str());
        rmdir(dir.c_str());
    }) == 0;
    (void)cleanUp;
    return path;
}

// Both mixers play the decoded sound: the software mixer at its own rate and at an odd pitch,
// and a voice buffer of the sound layer, plain and positional (a stereo sound heard as mono).
inline void Play(const SampleBuffer& sample, const AudioStream& stream) {
    SoundMixer mixer;
    for (float pitch : {1.0f, 1.37f}) {
        MixState voice;
        voice.Attach(const_cast<SampleBuffer*>(&sample));
        voice.SetGains(0.8f, -0.3f);
        voice.pitch = pitch;
        voice.loopCount = 3;
        {
            std::lock_guard<Mutex> g(mixer.Lock());
            mixer.Add(&voice);
        }
        std::vector<int16_t> out(882 * 2);
        for (int i = 0; i < 3; ++i) {
            Check(mixer.Mix(882 * 4) == 882);
            mixer.Write(out.data());
        }
        std::lock_guard<Mutex> g(mixer.Lock());
        mixer.Remove(&voice);
    }
    static const std::unique_ptr<audiohal::Device> device = audiohal::Device::Open(0, audiohal::Backend::Capture);
    for (bool positional : {false, true}) {
        audiohal::VoiceDesc desc;
        desc.format = {stream.format.formatTag, stream.format.channels, stream.format.samplesPerSecond,
                       stream.format.avgBytesPerSecond, stream.format.blockAlign, stream.format.bitsPerSample};
        desc.bytes = uint32_t(sample.size);
        desc.positional = positional;
        std::unique_ptr<audiohal::VoiceBuffer> buffer = device->CreateVoiceBuffer(desc);
        if (!buffer) {
            Check(sample.size < sample.BytesPerFrame()); // only an empty sound has no buffer
            return;
        }
        void *p1 = nullptr, *p2 = nullptr;
        uint32_t n1 = 0, n2 = 0;
        Check(buffer->Lock(0, buffer->Size(), &p1, &n1, &p2, &n2) && n1 == uint32_t(sample.size) && n2 == 0);
        std::copy(sample.data.begin(), sample.data.end(), static_cast<uint8_t*>(p1));
        buffer->Unlock(p1, n1, p2, n2);
        buffer->SetFrequency(stream.format.samplesPerSecond * 3 / 2);
        if (positional) {
            buffer->SetMinDistance(10.0f, false);
            buffer->SetPosition({20.0f, 0.0f, 5.0f}, false);
        }
        buffer->Play(0, true);
        for (int i = 0; i < 3; ++i) device->Render(audiohal::Device::kPeriodFrames);
        device->ClearCaptured();
    }
}

inline int Run(const uint8_t* data, size_t size, const char* name) {
    fuzz_support::DiscardLog();
    RegisterSoundLoaders();
    const std::string path = InputPath(name);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    Check(f != nullptr);
    Check(std::fwrite(data, 1, size, f) == size);
    Check(std::fclose(f) == 0);

    SoundRequest request;
    if (!SoundFactory::Open(request, path.c_str())) return 0;
    AudioStream& stream = *request.stream;
    Check(stream.IsPlayable());
    const uint32_t frameBytes = stream.format.blockAlign;
    if (stream.dataSize <= kMostStatic) {
        std::unique_ptr<SampleBuffer> sample(DecodeStream(&stream, false));
        Check(uint32_t(sample->size) <= stream.dataSize && uint32_t(sample->size) % frameBytes == 0);
        Check(uint32_t(sample->frames) * frameBytes == uint32_t(sample->size));
        Play(*sample, stream);
    }

    // A streaming voice of the same file: its one-second ring, refilled in uneven pieces the way
    // its refill thread takes them, across the end of the data.
    SoundRequest streamed;
    Check(SoundFactory::Open(streamed, path.c_str()));
    std::unique_ptr<SampleBuffer> ring(DecodeStream(streamed.stream.get(), true));
    Check(uint32_t(ring->size) == stream.format.samplesPerSecond * frameBytes);
    uint32_t write = uint32_t(ring->frames / 4) * frameBytes, total = 0;
    for (uint32_t piece = 4096; total < kMostStreamed; piece = piece * 7 % 20011 + frameBytes) {
        const uint32_t span = std::min<uint32_t>(piece - piece % frameBytes, uint32_t(ring->size) - write);
        const uint32_t got = streamed.stream->Fill(ring->data.data() + write, span);
        Check(got <= span);
        if (got == 0) break;
        write = (write + got) % uint32_t(ring->size);
        total += got;
    }
    return 0;
}

} // namespace sound_fuzz
