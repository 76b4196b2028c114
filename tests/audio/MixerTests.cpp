#include <gtest/gtest.h>

#include <mutex>

#include "engine/audio/SoundMixer.h"
#include "platform/sound/Mixing.h"

namespace {

SampleBuffer MakeSample(int32_t frames, int32_t rate, bool stereo, int16_t left, int16_t right = 0) {
    SampleBuffer s;
    s.rate = rate;
    s.stereo = stereo;
    s.sixteenBit = true;
    s.frames = frames;
    s.size = frames * s.BytesPerFrame();
    s.data.resize(size_t(s.size));
    auto* p = reinterpret_cast<int16_t*>(s.data.data());
    for (int32_t i = 0; i < frames; ++i) {
        if (stereo) {
            p[i * 2] = left;
            p[i * 2 + 1] = right;
        } else {
            p[i] = left;
        }
    }
    return s;
}

struct Mixed {
    std::vector<int16_t> out;
    int16_t L(size_t i) const { return out[i * 2]; }
    int16_t R(size_t i) const { return out[i * 2 + 1]; }
};

Mixed MixFrames(SoundMixer& mixer, int32_t frames) {
    Mixed m;
    m.out.resize(size_t(frames) * 2);
    EXPECT_EQ(mixer.Mix(frames * 4), frames);
    mixer.Write(m.out.data());
    return m;
}

void Start(SoundMixer& mixer, MixState& s, SampleBuffer* b, float volume, float pan, uint32_t loops = 1) {
    s.Attach(b);
    s.SetGains(volume, pan);
    s.loopCount = loops;
    s.playing = true;
    std::lock_guard<Mutex> g(mixer.Lock());
    mixer.Add(&s);
}

} // namespace

TEST(SoundMixer, GainsAndPanOnConstantBuffers) {
    struct Case {
        float volume, pan;
        int16_t expectL, expectR;
    } cases[] = {
        {1.0f, 0.0f, 1000, -1000},  // full volume: exact copy
        {1.0f, -1.0f, 1000, 0},     // hard left silences the right channel
        {1.0f, 1.0f, 0, -1000},     // hard right silences the left channel
        {0.5f, 0.0f, 499, -499},    // trunc(0.5 * 65535) = 32767; 1000 * 32767 / 65535 truncates
        {1.0f, -0.5f, 1000, -499},  // right factor 1 + p
        {0.0f, 0.0f, 0, 0},         // silent advance
        {4.0f, 0.0f, 1000, -1000},  // above full volume is full volume
        {3.0f, 0.5f, 499, -1000},   // ... and the pan still applies
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "volume " << c.volume << " pan " << c.pan);
        SoundMixer mixer;
        SampleBuffer b = MakeSample(1000, 44100, true, 1000, -1000);
        MixState s;
        Start(mixer, s, &b, c.volume, c.pan);
        Mixed m = MixFrames(mixer, 100);
        for (size_t i = 0; i < 100; ++i) {
            ASSERT_EQ(m.L(i), c.expectL) << i;
            ASSERT_EQ(m.R(i), c.expectR) << i;
        }
        EXPECT_EQ(s.position, 100); // a silent voice keeps its timing too
    }
}

TEST(SoundMixer, MonoFeedsBothChannelsAndSumsClip) {
    SoundMixer mixer;
    SampleBuffer up = MakeSample(100, 44100, false, 30000);
    SampleBuffer down = MakeSample(100, 44100, true, -30000, 20000);
    MixState a, b, c;
    Start(mixer, a, &up, 1.0f, 0.0f);
    Start(mixer, b, &up, 1.0f, 0.0f);
    Mixed m = MixFrames(mixer, 10);
    EXPECT_EQ(m.L(0), 32767);
    EXPECT_EQ(m.R(9), 32767);
    {
        std::lock_guard<Mutex> g(mixer.Lock());
        mixer.Remove(&a);
        mixer.Remove(&b);
    }
    MixState d;
    Start(mixer, c, &down, 1.0f, 0.0f);
    Start(mixer, d, &down, 1.0f, 0.0f);
    m = MixFrames(mixer, 10);
    EXPECT_EQ(m.L(0), -32768);
    EXPECT_EQ(m.R(0), 32767);
}

TEST(SoundMixer, HalfRateSampleAdvancesHalfAFramePerOutputFrame) {
    SoundMixer mixer;
    SampleBuffer b = MakeSample(8, 22050, false, 0);
    auto* p = reinterpret_cast<int16_t*>(b.data.data());
    for (int i = 0; i < 8; ++i) p[i] = int16_t(i * 10);
    MixState s;
    Start(mixer, s, &b, 1.0f, 0.0f);
    Mixed m = MixFrames(mixer, 8);
    const int16_t expect[] = {0, 0, 10, 10, 20, 20, 30, 30};
    for (int i = 0; i < 8; ++i) EXPECT_EQ(m.L(size_t(i)), expect[i]) << i;
    EXPECT_EQ(s.position, 4);
    // The 8 source frames last 16 output frames: the voice ends in the mix that reads past them.
    m = MixFrames(mixer, 8);
    EXPECT_EQ(m.L(7), 70);
    EXPECT_TRUE(s.playing);
    m = MixFrames(mixer, 8);
    EXPECT_FALSE(s.playing);
    EXPECT_EQ(m.L(0), 0);
}

TEST(SoundMixer, LoopCounts) {
    struct Case {
        uint32_t loops;
        int expectedFrames;
        bool stillPlaying;
    } cases[] = {{1, 4, false}, {3, 12, false}, {MixState::kEndless, 20, true}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.loops);
        SoundMixer mixer;
        SampleBuffer b = MakeSample(4, 44100, false, 500);
        MixState s;
        Start(mixer, s, &b, 1.0f, 0.0f, c.loops);
        Mixed m = MixFrames(mixer, 20);
        int heard = 0;
        for (size_t i = 0; i < 20; ++i) heard += m.L(i) == 500 ? 1 : 0;
        EXPECT_EQ(heard, c.expectedFrames);
        for (int i = 0; i < c.expectedFrames; ++i) EXPECT_EQ(m.L(size_t(i)), 500) << "gap at " << i;
        EXPECT_EQ(s.playing, c.stillPlaying);
        EXPECT_EQ(mixer.VoiceCount(), c.stillPlaying ? 1u : 0u);
    }
}

TEST(SoundMixer, VoicesBeyondTheLimitAdvanceSilentlyByPriorityThenVolume) {
    SoundMixer mixer;
    mixer.SetMaxVoices(2);
    SampleBuffer ones = MakeSample(1000, 44100, false, 1);
    SampleBuffer tens = MakeSample(1000, 44100, false, 10);
    SampleBuffer hundreds = MakeSample(1000, 44100, false, 100);
    SampleBuffer thousands = MakeSample(1000, 44100, false, 1000);
    MixState low, high, mid, midQuiet;
    Start(mixer, low, &ones, 1.0f, 0.0f);
    Start(mixer, high, &tens, 1.0f, 0.0f);
    Start(mixer, mid, &hundreds, 1.0f, 0.0f);
    Start(mixer, midQuiet, &thousands, 0.5f, 0.0f);
    low.priority = 0.1f;
    high.priority = 0.9f;
    mid.priority = 0.5f;
    midQuiet.priority = 0.5f; // same priority as mid, lower volume: left out
    Mixed m = MixFrames(mixer, 50);
    EXPECT_EQ(m.L(0), 110);
    EXPECT_EQ(low.position, 50);
    EXPECT_EQ(midQuiet.position, 50);
}

TEST(SoundMixer, EmptySampleNeitherHangsNorPlays) {
    SoundMixer mixer;
    SampleBuffer empty;
    empty.rate = 0;
    empty.sixteenBit = true;
    MixState once, looped;
    Start(mixer, once, &empty, 1.0f, 0.0f, 1);
    Start(mixer, looped, &empty, 1.0f, 0.0f, MixState::kEndless);
    Mixed m = MixFrames(mixer, 64);
    EXPECT_EQ(m.L(10), 0);
    EXPECT_FALSE(once.playing);
    EXPECT_TRUE(looped.playing);
}

TEST(SoundMixer, LoudestSamplesAboveFullVolumeNeitherOverflowNorWrap) {
    SoundMixer mixer;
    SampleBuffer b = MakeSample(100, 44100, true, 32767, -32768);
    MixState s;
    Start(mixer, s, &b, 1e30f, 0.0f);
    Mixed m = MixFrames(mixer, 10);
    EXPECT_EQ(m.L(5), 32767);
    EXPECT_EQ(m.R(5), -32768);
}

// The loop both devices mix through: exact rational stepping (a third of a frame per output
// frame reads each source frame exactly three times), nearest-frame and interpolated reads, and
// the two moments a voice's end can be seen.
TEST(MixKernel, StepsExactlyReadsNearestOrInterpolatedAndEndsOnTime) {
    const std::vector<int16_t> ramp = {0, 300, 600, 900};
    const audiohal::Source once{ramp.data(), 4, audiohal::Layout::Mono, false};
    const auto never = [] { return false; };
    struct Case {
        const char* what;
        uint32_t rate;
        bool linear, endAtOnce;
        uint32_t frames;
        std::vector<float> left;
        bool alive;
    } cases[] = {
        {"a third, nearest", 14700, false, false, 12, {0, 0, 0, 300, 300, 300, 600, 600, 600, 900, 900, 900}, true},
        {"a third, interpolated", 14700, true, false, 6, {0, 100, 200, 300, 400, 500}, true},
        {"half, interpolated, held at the last frame", 22050, true, true, 9, {0, 150, 300, 450, 600, 750, 900, 900, 0},
         false},
        {"same rate, end seen at the next read", 44100, false, false, 4, {0, 300, 600, 900}, true},
        {"same rate, end seen at once", 44100, false, true, 4, {0, 300, 600, 900}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<float> acc(size_t(c.frames) * 2, 0.0f);
        std::vector<int32_t> iacc(size_t(c.frames) * 2, 0);
        audiohal::Cursor cursor;
        const audiohal::Step step(c.rate, 44100);
        const bool alive =
            c.linear ? audiohal::MixVoice<audiohal::Interpolation::Linear>(once, cursor, step, audiohal::FloatGains{1, 1},
                                                                          acc.data(), c.frames, c.endAtOnce, never)
                     : audiohal::MixVoice<audiohal::Interpolation::Nearest>(
                           once, cursor, step, audiohal::IntegerGains{65535, 65535}, iacc.data(), c.frames,
                           c.endAtOnce, never);
        EXPECT_EQ(alive, c.alive);
        for (uint32_t i = 0; i < c.frames; ++i)
            EXPECT_NEAR(c.linear ? acc[i * 2] : float(iacc[i * 2]), c.left[i], 0.01f) << "frame " << i;
        // Skipping the same span lands where mixing it did; a skip sees the end at once.
        audiohal::Cursor skipped;
        const bool skipAlive = alive && cursor.frame < 4;
        EXPECT_EQ(audiohal::SkipVoice(skipped, step, 4, c.frames, never), skipAlive);
        if (skipAlive) {
            EXPECT_EQ(skipped.frame, cursor.frame);
        }
    }
}

// The Doppler ratio's limits: a source at or past the speed of sound, a listener running away
// faster than sound, a source on top of the listener, no factor, and velocities that are not
// numbers.
TEST(MixKernel, DopplerRatioStaysWithinItsLimits) {
    using audiohal::Vec3;
    const float c = 3433.0f, nan = std::nanf("");
    const Vec3 origin, ahead{0, 0, 10};
    struct Case {
        const char* name;
        Vec3 source, sourceVelocity, listenerVelocity;
        float factor, ratio;
    } cases[] = {
        {"source at the speed of sound", ahead, {0, 0, -c}, {}, 1.0f, 2.0f},
        {"source past it", ahead, {0, 0, -2 * c}, {}, 1.0f, 2.0f},
        {"listener outrunning the sound", ahead, {}, {0, 0, -2 * c}, 1.0f, 0.5f},
        {"source on the listener", origin, {0, 0, -300}, {}, 1.0f, 1.0f},
        {"factor 0", ahead, {0, 0, -300}, {}, 0.0f, 1.0f},
        {"velocity not a number", ahead, {nan, 0, 0}, {}, 1.0f, 1.0f},
        {"factor 2 doubles the speed's effect", ahead, {0, 0, -300}, {}, 2.0f, c / (c - 600.0f)},
    };
    for (const Case& k : cases) {
        EXPECT_FLOAT_EQ(audiohal::DopplerRatio(origin, k.listenerVelocity, k.source, k.sourceVelocity, c, k.factor),
                        k.ratio)
            << k.name;
    }
}
