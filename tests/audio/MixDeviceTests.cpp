#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string>
#include <thread>

#include "engine/audio/DS8Audio.h"
#include "tests/audio/AudioTestSupport.h"
#include "tests/support/StderrCapture.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

class Observer : public PlaybackObserver {
public:
    void Finished() override { ++finished; }
    int finished = 0;
};

// A device on the capture back end, pumped in lockstep: every 441 rendered frames (10 ms)
// the output thread's body runs until it has to wait.
struct LockstepDevice {
    LockstepDevice() : device(MakeOptions()) {
        audio_test::SetUpFactory();
        device.Init(0, nullptr);
    }
    static DS8Audio::Options MakeOptions() {
        DS8Audio::Options o;
        o.backend = audiohal::Backend::Capture;
        o.outputThread = false;
        o.sleep = [](float) {};
        return o;
    }
    void Run(int steps, int sleepMicroseconds = 0) {
        for (int i = 0; i < steps; ++i) {
            device.Output()->Render(441);
            while (device.PumpOnce()) {
            }
            if (sleepMicroseconds) std::this_thread::sleep_for(std::chrono::microseconds(sleepMicroseconds));
        }
    }
    const std::vector<int16_t>& Out() { return device.Output()->Captured(); }
    template <class F>
    static bool WaitFor(F done) {
        for (int i = 0; i < 4000 && !done(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return done();
    }
    DS8Audio device;
};

} // namespace

TEST(DS8Audio, OneShotIsHeardAtItsGainAndReaped) {
    TempWorkDir dir;
    Observer observer;
    LockstepDevice t;
    audio_test::WriteWav(dir, "Audio/Beep.WAV", 1, 44100, audio_test::Constant(4410, {1000}));
    t.Run(3);
    t.device.PlaySound("Beep.WAV", 0.5f, &observer);
    ASSERT_NE(observer.voice, nullptr);
    ASSERT_TRUE(LockstepDevice::WaitFor([&] { return t.device.OneShotCount() == 1; }));
    t.Run(30);
    // 1000 at gain trunc(0.5 * 65535): every one of its 4410 frames, on both channels, contiguous.
    const auto& out = t.Out();
    size_t first = 0;
    while (first < out.size() && out[first] == 0) ++first;
    ASSERT_LT(first, out.size());
    size_t n = 0;
    while (first + n < out.size() && out[first + n] == 499) ++n;
    EXPECT_EQ(n, 4410u * 2);
    for (size_t i = first + n; i < out.size(); ++i) ASSERT_EQ(out[i], 0) << i;
    t.device.Update(0.01f);
    EXPECT_EQ(t.device.OneShotCount(), 0u);
    EXPECT_EQ(observer.finished, 1);
    EXPECT_EQ(observer.voice, nullptr);
}

TEST(DS8Audio, OneShotsEndingTogetherAreReapedOnePerUpdate) {
    TempWorkDir dir;
    Observer a, b;
    LockstepDevice t;
    audio_test::WriteWav(dir, "Audio/Tick.WAV", 1, 44100, audio_test::Constant(100, {10}));
    t.device.PlaySound("Tick.WAV", 1.0f, &a);
    t.device.PlaySound("Tick.WAV", 1.0f, &b);
    ASSERT_TRUE(LockstepDevice::WaitFor([&] { return t.device.OneShotCount() == 2; }));
    t.Run(10);
    t.device.Update(0.01f);
    EXPECT_EQ(a.finished + b.finished, 1);
    t.device.Update(0.01f);
    EXPECT_EQ(a.finished + b.finished, 2);
}

TEST(DS8Audio, AllFourSlotsBusyDropsTheFifth) {
    TempWorkDir dir;
    Observer fifth;
    LockstepDevice t;
    audio_test::WriteWav(dir, "Audio/Long.WAV", 2, 44100, audio_test::Constant(4410, {1, 1}));
    ASSERT_TRUE(LockstepDevice::WaitFor([&] { return t.device.IdleSlotCount() == 4; }));
    {
        // Holding the mixer keeps each worker from starting its voice, so its slot stays busy.
        std::lock_guard<Mutex> hold(t.device.Mixer().Lock());
        for (int i = 0; i < 4; ++i) t.device.PlaySound("Long.WAV", 1.0f);
        EXPECT_EQ(t.device.IdleSlotCount(), 0);
        t.device.PlaySound("Long.WAV", 1.0f, &fifth);
        EXPECT_EQ(fifth.voice, nullptr);
    }
    ASSERT_TRUE(LockstepDevice::WaitFor([&] { return t.device.IdleSlotCount() == 4; }));
    EXPECT_GE(t.device.OneShotCount(), 4u);
}

TEST(DS8Audio, LoopingVoiceContinuesAndStaticVoicesShareTheirSamples) {
    TempWorkDir dir;
    LockstepDevice t;
    audio_test::WriteWav(dir, "Audio/Hum.WAV", 2, 44100, audio_test::Constant(1000, {800, -800}));
    AudioVoice* a = t.device.CreateSound("Hum.WAV");
    AudioVoice* b = t.device.CreateSound("Hum.WAV");
    EXPECT_EQ(t.device.CacheCount(), 1u);
    EXPECT_FLOAT_EQ(a->GetLength(), 1000.0f / 44100.0f);
    a->Play(true);
    t.Run(100); // one second: the 1000-frame sample loops 44 times
    const auto& out = t.Out();
    size_t first = 0;
    while (out[first] == 0) ++first;
    ASSERT_LT(first, size_t(44100)); // within the output latency
    for (size_t i = first; i < out.size(); i += 2) {
        ASSERT_EQ(out[i], 800) << i;
        ASSERT_EQ(out[i + 1], -800) << i;
    }
    EXPECT_TRUE(a->IsPlaying());
    a->Stop();
    EXPECT_FALSE(a->IsPlaying());
    t.device.ReleaseVoice(a);
    EXPECT_EQ(t.device.CacheCount(), 1u);
    t.device.ReleaseVoice(b);
    EXPECT_EQ(t.device.CacheCount(), 0u);
}

TEST(DS8Audio, StreamIsContinuousAcrossEveryRingWrap) {
    TempWorkDir dir;
    LockstepDevice t;
    // A ramp whose loop point is seamless: each sample is the previous plus one (mod 20000).
    std::vector<int16_t> ramp(60000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(i % 20000);
    audio_test::WriteWav(dir, "Audio/Ramp.WAV", 1, 44100, ramp);
    AudioVoice* v = t.device.CreateSound("Ramp.WAV", false, true);
    EXPECT_EQ(t.device.CacheCount(), 1u);
    AudioVoice* other = t.device.CreateSound("Ramp.WAV", false, true);
    EXPECT_EQ(t.device.CacheCount(), 2u); // a stream never shares its ring
    t.device.ReleaseVoice(other);
    v->Play(false);
    // 3.5 s of output at about four times real time: the feeder keeps its one-second ring ahead.
    t.Run(350, 2500);
    const auto& out = t.Out();
    size_t i = 0;
    while (i + 2 < out.size() && !(out[i] == 0 && out[i + 2] == 1)) i += 2;
    ASSERT_LT(i, out.size() / 4) << "the ramp never started";
    size_t checked = 0;
    for (; i + 2 < out.size(); i += 2, ++checked)
        ASSERT_EQ(out[i + 2], (out[i] + 1) % 20000) << "discontinuity at frame " << i / 2;
    EXPECT_GT(checked, size_t(44100 * 3)); // crosses the stream's ring, the output ring and the file's end
    t.device.ReleaseVoice(v);
}

TEST(DS8Audio, PositionalVoicePansTowardsTheListenersRightAndFadesWithDistance) {
    TempWorkDir dir;
    LockstepDevice t;
    audio_test::WriteWav(dir, "Audio/Src.WAV", 1, 44100, audio_test::Constant(100, {1000}));
    AudioVoice* v = t.device.CreateSound("Src.WAV", true);
    auto* mix = static_cast<DS8MixVoice*>(v);
    v->SetDistances(10.0f, 150.0f);
    // Listener turned a quarter turn about y. Its rotation maps world directions into its own
    // axes, so its right is the first column: world +z.
    t.device.Listener()->SetOrientation(Quaternion(Vector3(0, 1, 0), 1.5707963f));
    Matrix4 m = Quaternion(Vector3(0, 1, 0), 1.5707963f).ToMatrix();
    const Vector3 right(m.m[0][0], m.m[1][0], m.m[2][0]);
    EXPECT_NEAR(right.z, 1.0f, 1e-5f);
    struct Case {
        Vector3 position;
        int32_t left, right;
    } cases[] = {
        {right * 10.0f, 0, 65535},        // at the minimum distance on the right: full, right only
        {right * -5.0f, 65535, 0},        // inside the minimum on the left
        {right * 85.0f, 0, 32767},        // halfway between min and min + max
        {right * 160.0f, 0, 0},           // min + max: silent
        {Vector3(0, 0, 0), 65535, 65535}, // at the listener: centred
    };
    for (const Case& c : cases) {
        v->SetPosition(c.position);
        t.device.Update(0.0f);
        if (c.left == 0 && c.right == 0) { // silent: the voice only advances
            EXPECT_EQ(mix->Mix().routine, MixState::Routine::Silent);
            continue;
        }
        EXPECT_EQ(mix->Mix().routine, MixState::Routine::Mono);
        EXPECT_NEAR(mix->Mix().leftGain, c.left, 2);
        EXPECT_NEAR(mix->Mix().rightGain, c.right, 2);
    }
    t.device.ReleaseVoice(v);
}

// The output thread waits for the output instead of polling on a timer: it writes what is heard
// without ever calling its sleep, rests once nothing plays and the output is silent, and a voice
// that starts then is heard again.
TEST(DS8Audio, OutputThreadWaitsForTheOutputAndRestsWhileNothingPlays) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    audio_test::WriteWav(dir, "Audio/Hum.WAV", 1, 44100, audio_test::Constant(1000, {700}));
    std::atomic<int> sleeps{0};
    DS8Audio::Options options;
    options.backend = audiohal::Backend::Capture;
    options.sleep = [&](float) { ++sleeps; };
    DS8Audio device(options);
    device.Init(0, nullptr);
    // Renders a period at a time until `done` (at most 20 s on a busy machine).
    const auto renderUntil = [&](const std::function<bool()>& done) {
        for (int i = 0; i < 20000; ++i) {
            device.Output()->ClearCaptured();
            device.Output()->Render(audiohal::Device::kPeriodFrames);
            if (done()) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return false;
    };
    const auto heard = [&] { return device.Output()->Captured().back() == 700; };
    AudioVoice* v = device.CreateSound("Hum.WAV");
    v->Play(true);
    EXPECT_TRUE(renderUntil(heard));
    v->Stop();
    EXPECT_TRUE(renderUntil([&] { return device.OutputResting(); }));
    EXPECT_EQ(device.Output()->Captured().back(), 0);
    v->Play(true);
    EXPECT_TRUE(renderUntil(heard));
    EXPECT_FALSE(device.OutputResting());
    EXPECT_EQ(sleeps.load(), 0);
    device.ReleaseVoice(v);
}

TEST(DS8Audio, WithoutAnOutputDeviceOneShotsAreStillReaped) {
    TempWorkDir dir;
    LogCapture log;
    audio_test::SetUpFactory();
    audio_test::WriteWav(dir, "Audio/Blip.WAV", 1, 44100, audio_test::Constant(2205, {100}));
    audiohal::TestHooks::failSdlOpen = true;
    {
        DS8Audio device;
        device.Init(0, nullptr);
        audiohal::TestHooks::failSdlOpen = false;
        EXPECT_TRUE(log.Contains("DS8Audio: Failed initing DirectSound"));
        ASSERT_NE(device.Output(), nullptr);
        EXPECT_EQ(device.Output()->GetBackend(), audiohal::Backend::Null);
        Observer observer;
        device.PlaySound("Blip.WAV", 1.0f, &observer);
        for (int i = 0; i < 2000 && observer.finished == 0; ++i) {
            device.Update(0.01f);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(observer.finished, 1);
        EXPECT_EQ(device.OneShotCount(), 0u);
    }
    audiohal::TestHooks::failSdlOpen = false;
}

TEST(DS8Audio, TheSoundSwitchSilencesTheOutputAndBringsItBack) {
    TempWorkDir dir;
    LockstepDevice t;
    audio_test::WriteWav(dir, "Audio/Hum.WAV", 1, 44100, audio_test::Constant(1000, {600}));
    AudioVoice* v = t.device.CreateSound("Hum.WAV");
    v->Play(true);
    t.Run(20);
    const auto tail = [&] { return std::vector<int16_t>(t.Out().end() - 882, t.Out().end()); };
    EXPECT_EQ(tail(), std::vector<int16_t>(882, 600));
    t.device.SetEnabled(false); // the "-S" switch
    t.Run(20);
    EXPECT_EQ(tail(), std::vector<int16_t>(882, 0));
    EXPECT_TRUE(v->IsPlaying()); // the voices go on, unheard
    t.device.SetEnabled(true);
    t.Run(20);
    EXPECT_EQ(tail(), std::vector<int16_t>(882, 600));
    t.device.ReleaseVoice(v);
}

TEST(DS8Audio, RefusedSecondaryRingFallsBackToThePrimary) {
    audiohal::TestHooks::failRingCreation = true;
    LockstepDevice t;
    audiohal::TestHooks::failRingCreation = false;
    EXPECT_TRUE(t.device.UsesPrimaryAsOutput());
    t.Run(5);
    EXPECT_EQ(t.Out().size(), size_t(5 * 441 * 2));
}

TEST(DS8Audio, RunsThroughRealSdlWithTheDummyDriver) {
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    TempWorkDir dir;
    LogCapture log;
    audio_test::SetUpFactory();
    audio_test::WriteWav(dir, "Audio/Ding.WAV", 1, 44100, audio_test::Constant(4410, {300}));
    {
        std::unique_ptr<AudioDevice> device(CreateAudioDevice(1));
        device->Init(0, nullptr);
        EXPECT_TRUE(log.Contains("DS8Audio: DirectSound inited"));
        EXPECT_TRUE(log.Contains("DS8Audio: BufferSize = 32768"));
        auto* ds8 = static_cast<DS8Audio*>(device.get());
        ASSERT_NE(ds8->Output(), nullptr);
        EXPECT_EQ(ds8->Output()->GetBackend(), audiohal::Backend::Sdl);
        Observer observer;
        device->PlaySound("Ding.WAV", 1.0f, &observer);
        // A 0.1 s sound: the dummy driver's thread plays it out however busy the machine is.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while ((observer.finished == 0 || ds8->OneShotCount() != 0) && std::chrono::steady_clock::now() < deadline) {
            device->Update(0.01f);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(observer.finished, 1);
        EXPECT_EQ(ds8->OneShotCount(), 0u);
    }
}

// A machine without a sound card (SDL's ALSA driver on a card that is not there): the device
// says so in its own line and runs on the silent clock; the ALSA library's page of error lines
// does not reach the standard error stream.
TEST(DS8Audio, AMissingSoundCardIsOneLineOfOurOwnAndNoLibraryNoise) {
    setenv("SDL_AUDIODRIVER", "alsa", 1);
    setenv("AUDIODEV", "hw:99", 1);
    LogCapture log;
    std::string noise;
    {
        testing_support::StderrCapture stderrText;
        std::unique_ptr<AudioDevice> device(CreateAudioDevice(1));
        device->Init(0, nullptr);
        auto* ds8 = static_cast<DS8Audio*>(device.get());
        ASSERT_NE(ds8->Output(), nullptr);
        EXPECT_EQ(ds8->Output()->GetBackend(), audiohal::Backend::Null);
        noise = stderrText.Text();
    }
    unsetenv("AUDIODEV");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    EXPECT_TRUE(log.Contains("DS8Audio: Failed initing DirectSound"));
    EXPECT_EQ(noise.find("ALSA lib"), std::string::npos) << noise;
}

TEST(DS8Audio, VolumeGroupsScaleTheirVoicesDownTheChain) {
    TempWorkDir dir;
    LockstepDevice t;
    audio_test::WriteWav(dir, "Audio/Dc.WAV", 1, 44100, audio_test::Constant(100, {1000}));
    auto* voice = static_cast<DS8MixVoice*>(t.device.CreateSound("Dc.WAV"));
    VolumeGroup effects, menu;
    effects.AttachChild(&menu);
    voice->SetVolume(0.8f);
    menu.AttachChild(voice); // re-applies the voice's own value through the chain
    struct Step {
        const char* what;
        std::function<void()> change;
        float effective;
    } steps[] = {
        {"attached at 1 x 1", [] {}, 0.8f},
        {"outer group halved", [&] { effects.SetVolume(0.5f); }, 0.4f},
        {"inner group at a quarter", [&] { menu.SetVolume(0.25f); }, 0.1f},
        {"voice value clamped to 1", [&] { voice->SetVolume(3.0f); }, 0.125f},
        {"removed from its group", [&] { menu.RemoveChild(voice); }, 1.0f},
        {"the group no longer reaches it", [&] { menu.SetVolume(0.0f); }, 1.0f},
    };
    for (const Step& s : steps) {
        SCOPED_TRACE(s.what);
        s.change();
        EXPECT_FLOAT_EQ(voice->EffectiveVolume(), s.effective);
        EXPECT_EQ(voice->Mix().leftGain, int32_t(s.effective * 65535.0f));
    }
    EXPECT_EQ(voice->Parent(), nullptr);
    EXPECT_FLOAT_EQ(menu.GetEffectiveVolume(), 0.0f);
    effects.SetVolume(0.5f);
    menu.SetVolume(0.5f);
    EXPECT_FLOAT_EQ(menu.GetEffectiveVolume(), 0.25f);
    menu.RemoveChild(voice); // not a member: nothing happens
    t.device.ReleaseVoice(voice);
}

// End to end through real SDL: the disk driver writes what the callback hands it to a file,
// paced in real time, so the output thread runs as it does on a sound card. Like a sound card's,
// its margin is tens of milliseconds: a machine too busy to run the output thread in time
// leaves a gap in the file, so a play with a gap is tried again. A fault in the path loses
// the wave every time.
TEST(DS8Audio, PlaysAKnownWaveThroughSdlsDiskDriver) {
    TempWorkDir dir;
    LogCapture log;
    audio_test::SetUpFactory();
    std::vector<int16_t> wave(13230); // 0.3 s of a pattern that repeats nowhere within it
    for (size_t i = 0; i < wave.size(); ++i) wave[i] = int16_t(int((i * 7919) % 20011) - 10005);
    audio_test::WriteWav(dir, "Audio/Known.WAV", 1, 44100, wave);
    // Bytes the driver must still write once the sound has finished before the wave's end is
    // surely in the file: a whole output ring, a period of the driver and its file buffer.
    const uintmax_t drained = 32768 + audiohal::Device::kPeriodFrames * 4 + 8192;
    auto playOnce = [&](const std::string& name) -> std::string {
        const std::string raw = dir.Path() + "/" + name;
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", raw.c_str(), 1);
        {
            std::unique_ptr<AudioDevice> device(CreateAudioDevice(1));
            device->Init(0, nullptr);
            EXPECT_EQ(static_cast<DS8Audio*>(device.get())->Output()->GetBackend(), audiohal::Backend::Sdl);
            EXPECT_TRUE(log.Contains("DS8Audio: DirectSound inited"));
            Observer observer;
            device->PlaySound("Known.WAV", 1.0f, &observer);
            auto pumpUntil = [&](const std::function<bool()>& done) {
                const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
                while (!done() && std::chrono::steady_clock::now() < deadline) {
                    device->Update(0.01f);
                    std::this_thread::sleep_for(std::chrono::milliseconds(10));
                }
                return done();
            };
            EXPECT_TRUE(pumpUntil([&] { return observer.finished == 1; }));
            std::error_code ec;
            const uintmax_t atFinish = std::filesystem::file_size(raw, ec);
            EXPECT_TRUE(pumpUntil([&] {
                std::error_code e;
                return std::filesystem::file_size(raw, e) >= atFinish + drained;
            }));
            EXPECT_EQ(observer.finished, 1);
        }
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        unsetenv("SDL_DISKAUDIOFILE");
        return dir.ReadBytes(name);
    };
    size_t found = 0, frames = 0;
    for (int attempt = 0; attempt < 4 && !HasFailure(); ++attempt) {
        const std::string bytes = playOnce("out" + std::to_string(attempt) + ".raw");
        std::vector<int16_t> out(bytes.size() / 2);
        std::memcpy(out.data(), bytes.data(), out.size() * 2);
        ASSERT_GT(out.size(), wave.size() * 2);
        // Wherever the output latency put it, the whole wave is there once, on both channels.
        frames = out.size() / 2;
        found = frames;
        for (size_t f = 0; f + wave.size() <= frames && found == frames; ++f) {
            size_t i = 0;
            while (i < wave.size() && out[(f + i) * 2] == wave[i] && out[(f + i) * 2 + 1] == wave[i]) ++i;
            if (i == wave.size()) found = f;
        }
        if (found < frames) break;
    }
    EXPECT_LT(found, frames) << "the wave never appears in " << frames << " frames";
}
