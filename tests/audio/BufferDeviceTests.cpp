#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "engine/audio/DS8Audio.h"
#include "engine/audio/DS8BufferAudio.h"
#include "engine/core/Camera.h"
#include "tests/audio/AudioTestSupport.h"

using testing_support::LogCapture;
using testing_support::TempWorkDir;

namespace {

struct CaptureDevice {
    CaptureDevice() : device(audiohal::Backend::Capture) {
        audio_test::SetUpFactory();
        device.Init(0, nullptr);
    }
    // Renders n frames and returns the last frame (L, R).
    std::pair<int, int> Render(uint32_t n) {
        device.Output()->ClearCaptured();
        device.Output()->Render(n);
        const auto& c = device.Output()->Captured();
        return {c[c.size() - 2], c[c.size() - 1]};
    }
    DS8BufferAudio device;
};

} // namespace

TEST(DS8BufferAudio, VolumePanAndPriorityUnits) {
    struct Case {
        float effective;
        int32_t mB;
    } volumes[] = {{1.0f, 0}, {0.5f, -669}, {0.1f, -2056}, {0.0f, -10000}, {2.0f, 0}};
    for (const Case& c : volumes) EXPECT_EQ(DS8BufferVoice::VolumeToMilliBel(c.effective), c.mB) << c.effective;
    EXPECT_EQ(DS8BufferVoice::PriorityWord(0.5f), 0x80000000u);
    EXPECT_EQ(DS8BufferVoice::PriorityWord(1.0f), 0xFFFFFFFFu);
    EXPECT_EQ(DS8BufferVoice::PriorityWord(-1.0f), 0u);

    TempWorkDir dir;
    CaptureDevice t;
    audio_test::WriteWav(dir, "Audio/Dc.WAV", 1, 22050, audio_test::Constant(22050, {1000}));
    AudioVoice* v = t.device.CreateSound("Dc.WAV");
    auto* buffer = static_cast<DS8BufferVoice*>(v)->Buffer();
    ASSERT_NE(buffer, nullptr);
    v->Play(true);
    struct Heard {
        float volume, pan;
        int left, right;
    } heard[] = {
        {1.0f, 0.0f, 1000, 1000},
        {0.5f, 0.0f, 462, 462},  // -669 mB = 10^(-669/2000)
        {1.0f, -1.0f, 1000, 0},  // pan -10000 mB silences the right
        {1.0f, 0.3f, 501, 1000}, // +3000 mB pan: left down 15 dB... see below
        {0.0f, 0.0f, 0, 0},
    };
    for (const Heard& h : heard) {
        v->SetVolume(h.volume);
        v->SetPan(h.pan);
        auto [l, r] = t.Render(64);
        const float gain = std::pow(10.0f, float(DS8BufferVoice::VolumeToMilliBel(h.volume)) / 2000.0f);
        const float panGain = std::pow(10.0f, -std::fabs(h.pan) * 10000.0f / 2000.0f);
        const float expectL = h.volume <= 0 ? 0 : 1000 * gain * (h.pan > 0 ? panGain : 1.0f);
        const float expectR = h.volume <= 0 ? 0 : 1000 * gain * (h.pan < 0 ? panGain : 1.0f);
        EXPECT_NEAR(l, expectL, 1.0) << h.volume << " " << h.pan;
        EXPECT_NEAR(r, expectR, 1.0) << h.volume << " " << h.pan;
    }
    // Frequency limits.
    v->SetPitch(0.0f);
    EXPECT_EQ(buffer->Frequency(), 100u);
    v->SetPitch(100.0f);
    EXPECT_EQ(buffer->Frequency(), 100000u);
    v->SetPitch(1.0f);
    EXPECT_NEAR(double(buffer->Frequency()), 22050.0, 1.0);
    // The device volume of the "-S" switch silences this device.
    v->SetVolume(1.0f);
    t.device.SetEnabled(false);
    EXPECT_EQ(t.Render(64).first, 0);
    t.device.SetEnabled(true);
    EXPECT_EQ(t.Render(64).first, 1000);
    t.device.ReleaseVoice(v);
}

TEST(DS8BufferAudio, DistanceGainAndSideOfAPositionalVoice) {
    TempWorkDir dir;
    CaptureDevice t;
    audio_test::WriteWav(dir, "Audio/Src.WAV", 1, 22050, audio_test::Constant(22050, {1000}));
    AudioVoice* v = t.device.CreateSound("Src.WAV", true);
    v->SetDistances(10.0f, 150.0f);
    v->Play(true);
    // The listener's rotation maps world directions into its axes: its columns are its right,
    // top and front. A quarter turn about y looks along world -x with y up; its right is +z.
    const Quaternion look(Vector3(0, 1, 0), 1.5707963f);
    t.device.Listener()->SetOrientation(look);
    Matrix4 m = look.ToMatrix();
    const Vector3 front(m.m[0][2], m.m[1][2], m.m[2][2]);
    const Vector3 right = Vector3::Cross(Vector3(m.m[0][1], m.m[1][1], m.m[2][1]), front);
    EXPECT_NEAR(right.z, 1.0f, 1e-5f);
    EXPECT_NEAR(front.x, -1.0f, 1e-5f);
    struct Case {
        Vector3 position;
        int left, right;
    } cases[] = {
        {front * 10.0f, 1000, 1000}, // at the minimum distance: full gain
        {front * 20.0f, 500, 500},   // twice the minimum: -6 dB
        {front * 151.0f, 0, 0},      // beyond the maximum: muted
        {right * 10.0f, 0, 1000},    // to the right: heard on the right only
        {right * -20.0f, 500, 0},    // to the left
    };
    for (const Case& c : cases) {
        v->SetPosition(c.position);
        t.device.Update(0.016f); // deferred settings apply at the commit
        auto [l, r] = t.Render(64);
        EXPECT_NEAR(l, c.left, 1.0) << c.position.x << "," << c.position.z;
        EXPECT_NEAR(r, c.right, 1.0) << c.position.x << "," << c.position.z;
    }
    t.device.ReleaseVoice(v);
}

// A positional voice is heard at the pitch a moving source and listener give it: the rate rises
// by (c - v_listener) / (c - v_source), both speeds taken along the line from the source to the
// listener, with c the speed of sound (343.3 m/s) in world units (0.1 m each). The source is a
// ramp, so the slope of what is heard is the rate it is read at.
TEST(DS8BufferAudio, DopplerShiftOfAPositionalVoice) {
    TempWorkDir dir;
    CaptureDevice t;
    std::vector<int16_t> ramp(22050);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(i);
    audio_test::WriteWav(dir, "Audio/Ramp.WAV", 1, 22050, ramp);
    AudioVoice* v = t.device.CreateSound("Ramp.WAV", true);
    v->SetDistances(20.0f, 1000.0f); // every case is nearer than 20: full gain
    const float c = 343.3f / 0.1f;
    const Vector3 ahead(0, 0, 1), right(1, 0, 0);
    struct Case {
        const char* name;
        Vector3 source, sourceVelocity, listenerVelocity;
    } cases[] = {
        {"at rest", ahead * 10.0f, {}, {}},
        {"approaching", ahead * 10.0f, ahead * -300.0f, {}},
        {"receding", ahead * 10.0f, ahead * 300.0f, {}},
        {"listener closing in", ahead * 10.0f, {}, ahead * 300.0f},
        {"both approaching", ahead * 10.0f, ahead * -200.0f, ahead * 250.0f},
        {"passing, still ahead", ahead * 8.0f + right * 6.0f, ahead * -300.0f, {}},
        {"passing abreast", right * 6.0f, ahead * -300.0f, {}},
        {"driving together", ahead * 10.0f, ahead * 400.0f, ahead * 400.0f},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        v->SetPosition(k.source);
        v->SetVelocity(k.sourceVelocity);
        t.device.Listener()->SetVelocity(k.listenerVelocity);
        t.device.Update(0.013f); // the deferred settings apply at the commit
        t.device.Update(0.021f);
        v->Rewind();
        v->Play(false);
        t.device.Output()->ClearCaptured();
        t.device.Output()->Render(8000);
        const auto& out = t.device.Output()->Captured();
        auto heard = [&](size_t frame) { return std::max(out[frame * 2], out[frame * 2 + 1]); };
        const double measured = double(heard(7999) - heard(100)) / 7899.0;
        const Vector3 toListener = (Vector3(0, 0, 0) - k.source) * (1.0f / k.source.Length());
        const double expected = (c - Vector3::Dot(toListener, k.listenerVelocity)) /
                                (c - Vector3::Dot(toListener, k.sourceVelocity));
        EXPECT_NEAR(measured, expected, std::max(0.0005, 0.01 * std::fabs(expected - 1.0)));
        v->Stop();
    }
    t.device.ReleaseVoice(v);
}

TEST(DS8BufferAudio, PrototypesClonesAndIndependentDuplicates) {
    TempWorkDir dir;
    CaptureDevice t;
    audio_test::WriteWav(dir, "Audio/Hit.WAV", 1, 22050, audio_test::Constant(22050, {1}));
    auto* first = static_cast<DS8BufferVoice*>(t.device.CreateSound("Hit.WAV"));
    auto* second = static_cast<DS8BufferVoice*>(t.device.CreateSound("Hit.WAV"));
    auto* positional = static_cast<DS8BufferVoice*>(t.device.CreateSound("Hit.WAV", true));
    EXPECT_EQ(first->Name(), "Audio\\Hit.WAV");
    EXPECT_EQ(second->Name(), "Audio\\Hit.WAV Clone");
    EXPECT_EQ(positional->Name(), "Audio\\Hit.WAV"); // plain and positional never share
    EXPECT_TRUE(positional->Buffer()->IsPositional());
    EXPECT_EQ(t.device.PrototypeCount(), 3u);
    second->Play(false);
    t.Render(1000);
    uint32_t a = 0, b = 0;
    first->Buffer()->GetCurrentPosition(&a, nullptr);
    second->Buffer()->GetCurrentPosition(&b, nullptr);
    EXPECT_EQ(a, 0u);
    EXPECT_EQ(b, 2000u);
    // Releasing in any order, and deleting the device with voices left, frees each once.
    t.device.ReleaseVoice(first);
    EXPECT_EQ(t.device.PrototypeCount(), 2u);
    EXPECT_TRUE(second->IsPlaying());
}

TEST(DS8BufferAudio, OneShotsStartOnUpdateAndAreReapedWhenDone) {
    TempWorkDir dir;
    CaptureDevice t;
    audio_test::WriteWav(dir, "Audio/Pop.WAV", 1, 22050, audio_test::Constant(441, {100}));
    t.device.PlaySound3D("Pop.WAV", Vector3(0, 0, 0), 10.0f, 150.0f, 1.0f);
    for (int i = 0; i < 4000 && t.device.OneShotCount() == 0; ++i) // up to 20 s on a busy machine
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(t.device.OneShotCount(), 1u);
    t.device.Update(0.0f); // starts it
    t.Render(441);
    t.device.Update(0.0f); // finds it ended
    EXPECT_EQ(t.device.OneShotCount(), 0u);
}

TEST(DS8BufferAudio, NoDeviceIndexMakesEveryCallASilentSuccess) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    audio_test::WriteWav(dir, "Audio/Any.WAV", 1, 22050, audio_test::Constant(100, {1}));
    DS8BufferAudio device(audiohal::Backend::Capture);
    device.Init(-1, nullptr);
    AudioVoice* v = device.CreateSound("Any.WAV", true, false);
    ASSERT_NE(v, nullptr);
    v->SetVolume(0.5f);
    v->SetPosition(Vector3(1, 2, 3));
    v->Play(true);
    EXPECT_FALSE(v->IsPlaying());
    device.PlaySound("Any.WAV", 1.0f);
    device.Listener()->SetPosition(Vector3(1, 1, 1));
    device.Update(0.1f);
    AudioVoice* music = device.CreateSound("Any.WAV", false, true);
    device.ReleaseVoice(music);
    device.ReleaseVoice(v);
}

// The chase camera hands the listener its own position and its rotation turned by a half turn
// about y, the turn its view matrix ends with. Whatever way the camera faces, a source that
// the camera shows right of the screen centre is heard louder on the right, on both devices.
TEST(AudioListener, ASourceShownRightOfTheScreenCentreIsHeardOnTheRight) {
    TempWorkDir dir;
    audio_test::SetUpFactory();
    audio_test::WriteWav(dir, "Audio/Src.WAV", 1, 44100, audio_test::Constant(44100, {1000}));
    CaptureDevice buffers;
    DS8Audio::Options options;
    options.backend = audiohal::Backend::Capture;
    options.outputThread = false;
    DS8Audio mixing(options);
    mixing.Init(0, nullptr);
    AudioVoice* heard = buffers.device.CreateSound("Src.WAV", true);
    AudioVoice* mixed = mixing.CreateSound("Src.WAV", true);
    for (AudioVoice* v : {heard, mixed}) {
        v->SetDistances(10.0f, 1000.0f);
        v->Play(true);
    }
    const Quaternion headings[] = {Quaternion(), Quaternion(Vector3(0, 1, 0), 0.7f),
                                   Quaternion(Vector3(0, 1, 0), 2.4f), Quaternion(Vector3(0, 1, 0), -1.9f),
                                   Quaternion(Vector3(1, 0, 0), 0.3f) * Quaternion(Vector3(0, 1, 0), 4.0f)};
    int checked = 0;
    for (const Quaternion& heading : headings) {
        Camera camera;
        camera.SetViewport(Rect{0, 0, 640, 480});
        camera.RebuildProjection();
        camera.position = Vector3(120.0f, 8.0f, -45.0f);
        camera.orientation = heading;
        camera.positionDirty = camera.orientationDirty = 1;
        camera.Apply();
        const Quaternion listener = heading * Quaternion(Vector3(0, 1, 0), Pi);
        for (AudioDevice* device : {static_cast<AudioDevice*>(&buffers.device), static_cast<AudioDevice*>(&mixing)}) {
            device->Listener()->SetPosition(camera.position);
            device->Listener()->SetOrientation(listener);
        }
        for (int i = 0; i < 12; ++i) {
            const float a = TwoPi * float(i) / 12.0f + 0.1f;
            const Vector3 source = camera.position + Vector3(std::cos(a), 0.1f, std::sin(a)) * 60.0f;
            if (camera.view.TransformCoord(source).z <= 1.0f) continue; // behind: not on the screen
            const float screenX = camera.Project(source).x - 320.0f;
            if (std::fabs(screenX) < 20.0f) continue;
            SCOPED_TRACE(testing::Message() << "heading " << checked << " source at " << screenX);
            ++checked;
            for (AudioVoice* v : {heard, mixed}) v->SetPosition(source);
            buffers.device.Update(0.016f);
            mixing.Update(0.016f);
            auto [l, r] = buffers.Render(64);
            const MixState& m = static_cast<DS8MixVoice*>(mixed)->Mix();
            if (screenX > 0) {
                EXPECT_GT(r, l);
                EXPECT_GT(m.rightGain, m.leftGain);
            } else {
                EXPECT_GT(l, r);
                EXPECT_GT(m.leftGain, m.rightGain);
            }
        }
    }
    EXPECT_GT(checked, 15);
    buffers.device.ReleaseVoice(heard);
    mixing.ReleaseVoice(mixed);
}

TEST(DS8BufferAudio, ABufferThatCannotBeMadeIsLoggedWithItsFormatAndStaysSilent) {
    TempWorkDir dir;
    LogCapture log;
    CaptureDevice t;
    // A whole header and no samples: nothing to make a buffer of (size 0).
    dir.WriteBytes("Audio/Gap.WAV", tools::WavBytes(1, 22050, 16, ""));
    log.Clear();
    AudioVoice* v = t.device.CreateSound("Gap.WAV");
    const std::vector<std::string> expected = {
        "DS8Audio: Failed creating buffer for Audio\\Gap.WAV", "-----WAVEFORMAT-----", "FormatTag = 1",
        "Channels = 1", "SampleRate = 22050", "AvgBytesPerSec = 44100", "BlockAlign = 2", "BitsPerSample = 16",
        "Size = 0", "--------------------"};
    const auto lines = log.Lines();
    auto at = std::find(lines.begin(), lines.end(), expected[0]);
    ASSERT_NE(at, lines.end());
    ASSERT_GE(size_t(lines.end() - at), expected.size());
    EXPECT_EQ(std::vector<std::string>(at, at + long(expected.size())), expected);
    EXPECT_FALSE(log.Contains("DS8Audio: Buffer created for Audio\\Gap.WAV"));
    // The voice without a buffer works and is silent; the file still has one prototype.
    ASSERT_NE(v, nullptr);
    v->SetVolume(1.0f);
    v->Play(true);
    EXPECT_FALSE(v->IsPlaying());
    EXPECT_EQ(t.Render(64).first, 0);
    auto* again = static_cast<DS8BufferVoice*>(t.device.CreateSound("Gap.WAV"));
    EXPECT_EQ(again->Name(), "Audio\\Gap.WAV Clone");
    // As a one-shot it starts, is found not playing and is reaped.
    t.device.PlaySound("Gap.WAV", 1.0f);
    for (int i = 0; i < 4000 && t.device.OneShotCount() == 0; ++i) // up to 20 s on a busy machine
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(t.device.OneShotCount(), 1u);
    t.device.Update(0.0f);
    t.device.Update(0.0f);
    EXPECT_EQ(t.device.OneShotCount(), 0u);
    t.device.ReleaseVoice(again);
    t.device.ReleaseVoice(v);
}

TEST(DS8BufferAudio, StreamingVoiceIsContinuousAcrossItsOneSecondBuffer) {
    TempWorkDir dir;
    CaptureDevice t;
    // A ramp whose loop point is seamless: each sample is the previous plus one (mod 20000).
    std::vector<int16_t> ramp(60000);
    for (size_t i = 0; i < ramp.size(); ++i) ramp[i] = int16_t(i % 20000);
    audio_test::WriteWav(dir, "Audio/Ramp.WAV", 1, 22050, ramp);
    AudioVoice* v = t.device.CreateSound("Ramp.WAV", false, true);
    EXPECT_EQ(t.device.PrototypeCount(), 0u); // a stream is never a prototype
    v->Play(false); // a streaming voice loops over its buffer whatever it is asked
    t.device.Output()->ClearCaptured();
    // 3.5 s of output at about four times real time; the refill thread keeps ahead.
    for (int i = 0; i < 175; ++i) {
        t.device.Output()->Render(441);
        std::this_thread::sleep_for(std::chrono::microseconds(5000));
    }
    const auto& out = t.device.Output()->Captured();
    ASSERT_EQ(out[0], 0);
    size_t checked = 0;
    for (size_t i = 0; i + 2 < out.size(); i += 2, ++checked) {
        ASSERT_EQ(out[i], out[i + 1]) << "frame " << i / 2;
        ASSERT_EQ(out[i + 2], (out[i] + 1) % 20000) << "discontinuity at frame " << i / 2;
    }
    EXPECT_GT(checked, size_t(22050 * 3)); // crosses the buffer's end three times and the file's once
    t.device.ReleaseVoice(v);
}
