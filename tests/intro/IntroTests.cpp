// The intro video on a real window (offscreen video driver): pacing, keys, the close message,
// bad files and sound. Clips are written in the test by the project's clip writer; the
// playback runs on a stepped clock, so nothing here waits for real time but the sound tests.
#include <SDL.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>
#include <limits>

#include "engine/core/AppWindow.h"
#include "engine/core/Engine.h"
#include "engine/core/IntroMovie.h"
#include "engine/render/D3D8RenderFacility.h"
#include "engine/render/IntroCanvas.h"
#include "platform/video/VideoPlayer.h"
#include "tests/support/StderrCapture.h"
#include "tests/support/TestSupport.h"
#include "tools/writers/AudioWriter.h"
#include "tools/writers/ClipWriter.h"

namespace {

constexpr uint32_t kRed = 0xFFFF0000u, kGreen = 0xFF00FF00u, kBlue = 0xFF0000FFu, kWhite = 0xFFFFFFFFu;
const std::vector<uint32_t> kColours = {kRed, kGreen, kBlue, kWhite};

// Time that moves only when the playback sleeps.
struct SteppedClock : plat::PlaybackClock {
    double now = 100.0;
    double Now() override { return now; }
    void Sleep(double seconds) override { now += seconds; }
};

// Colours equal within a few levels per channel (the clip is lossy).
bool Near(uint32_t a, uint32_t b, int tolerance = 8) {
    for (int shift = 0; shift < 24; shift += 8)
        if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
    return true;
}

::testing::AssertionResult SameColours(const std::vector<uint32_t>& seen, const std::vector<uint32_t>& expected) {
    bool same = seen.size() == expected.size();
    for (size_t i = 0; same && i < seen.size(); ++i) same = Near(seen[i], expected[i]);
    if (same) return ::testing::AssertionSuccess();
    ::testing::AssertionResult failure = ::testing::AssertionFailure() << "seen";
    for (uint32_t c : seen) failure << ' ' << std::hex << c;
    return failure;
}

// Keeps the centre pixel of every picture shown.
struct RecordingCanvas : IntroCanvas {
    bool MaxPictureSize(int32_t& w, int32_t& h) override {
        w = h = maxSize;
        return true;
    }
    bool Begin(int32_t w, int32_t h) override {
        width = w;
        height = h;
        ++begins;
        return true;
    }
    void ShowPicture(const uint8_t* pixels, int32_t pitch) override {
        uint32_t c = 0;
        std::memcpy(&c, pixels + size_t(height / 2) * size_t(pitch) + size_t(width / 2) * 4, 4);
        centres.push_back(c | 0xFF000000u);
    }
    void End() override { ++ends; }

    int32_t maxSize = 4096;
    int32_t width = 0, height = 0;
    int begins = 0, ends = 0;
    std::vector<uint32_t> centres;
};

struct KeyRecorder : WindowMessageHandler {
    KeyRecorder() : WindowMessageHandler(plat::kMessageKeyDown) {}
    intptr_t Handle(AppWindow&, uintptr_t wParam, intptr_t) override {
        keys.push_back(wParam);
        return 0;
    }
    std::vector<uintptr_t> keys;
};

void WriteClip(const std::string& path, const std::vector<uint32_t>& colours, int32_t soundRate = 0) {
    tools::ClipDescription clip = tools::SolidClip(colours, 64, 48, 10);
    if (soundRate) {
        clip.soundRate = soundRate;
        clip.sound = tools::ToneSound(440.0, soundRate);
    }
    std::string error;
    ASSERT_TRUE(tools::WriteClip(path, clip, &error)) << error;
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

class Intro : public ::testing::Test {
protected:
    void SetUp() override {
        engine = new ZKEngine;
        engine->Start(3);
        window = CreateAppWindow(ApplicationTitle(), Rect{0, 0, 160, 120}, false);
        ASSERT_NE(window, nullptr);
        engine->window = window;
        window->Show();
        window->PumpMessages();
    }
    void TearDown() override {
        engine->window = nullptr;
        engine->renderer = nullptr;
        delete window;
        delete engine;
    }

    void Push(SDL_Event e) { ASSERT_EQ(SDL_PushEvent(&e), 1) << SDL_GetError(); }
    void PushKey(SDL_Keycode key) {
        SDL_Event e{};
        e.type = SDL_KEYDOWN;
        e.key.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(window->native->NativeHandle()));
        e.key.state = SDL_PRESSED;
        e.key.keysym.scancode = SDL_GetScancodeFromKey(key);
        e.key.keysym.sym = key;
        Push(e);
    }
    void PushClose() {
        SDL_Event e{};
        e.type = SDL_WINDOWEVENT;
        e.window.windowID = SDL_GetWindowID(static_cast<SDL_Window*>(window->native->NativeHandle()));
        e.window.event = SDL_WINDOWEVENT_CLOSE;
        Push(e);
    }

    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
    SteppedClock clock;
    ZKEngine* engine = nullptr;
    AppWindow* window = nullptr;
};

}  // namespace

// A picture's time, from its timestamp and the clock's time now, with the clock resynced when
// a timestamp goes back or runs more than a second ahead.
TEST(IntroPacing, PicturesFallDueByTheirTimestamps) {
    const double none = std::numeric_limits<double>::quiet_NaN();
    struct Step {
        double timestamp, now, due;
    };
    struct Case {
        const char* what;
        std::vector<Step> steps;
    } cases[] = {
        {"steady", {{0.0, 0.0, 0.0}, {0.1, 0.0, 0.1}, {0.2, 0.15, 0.2}}},
        {"late pictures keep their times", {{0.0, 0.0, 0.0}, {0.1, 0.5, 0.1}}},
        {"back", {{0.0, 0.0, 0.0}, {0.2, 0.1, 0.2}, {0.1, 0.25, 0.25}, {0.2, 0.25, 0.35}}},
        {"far ahead", {{0.0, 0.0, 0.0}, {5.0, 0.1, 0.1}, {5.1, 0.1, 0.2}}},
        {"just under a second ahead waits", {{0.0, 0.0, 0.0}, {0.9, 0.0, 0.9}}},
        {"no timestamps", {{none, 0.0, 0.0}, {none, 0.0, 0.1}, {0.3, 0.1, 0.3}, {none, 0.2, 0.4}}},
        {"a first picture far ahead", {{7.0, 0.0, 0.0}, {7.1, 0.0, 0.1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        plat::FramePacer pacer(0.1);
        for (const Step& s : c.steps) EXPECT_NEAR(pacer.Due(s.timestamp, s.now), s.due, 1e-9) << s.timestamp;
    }
}

// Four solid pictures through the real renderer: each present shows the next colour over the
// whole screen, in order, and nothing else is presented.
TEST_F(Intro, PicturesReachTheScreenInOrder) {
    WriteClip("INTRO.avi", kColours);  // found whatever the case of its name
    auto facility = std::make_unique<D3D8RenderFacility>();
    facility->SetWindow(window->native->NativeHandle());
    facility->ChooseDevice(-1);
    facility->RequestMode({160, 120, 32, 60});
    facility->CreateDevice(false);
    ASSERT_TRUE(facility->DeviceReady());
    struct Grab : PresentHook {
        explicit Grab(D3D8RenderFacility& f) : facility(f) {}
        bool MayPresent() override {
            const std::vector<uint32_t> shot = facility.GrabScreen(true);
            const uint32_t centre = shot[60 * 160 + 80];
            // Stretched over the whole screen: the corners show the same colour.
            for (size_t corner : {size_t(0), size_t(159), size_t(119 * 160), size_t(119 * 160 + 159)})
                EXPECT_TRUE(Near(shot[corner], centre)) << std::hex << shot[corner] << " " << centre;
            presented.push_back(centre);
            return true;
        }
        D3D8RenderFacility& facility;
        std::vector<uint32_t> presented;
    } grab(*facility);
    facility->SetPresentHook(&grab);
    {
        RenderIntroCanvas canvas(*facility);
        IntroMovie movie(SharedString("Intro.AVI"), &canvas, false);
        movie.clock = &clock;
        ASSERT_TRUE(movie.playing);
        movie.Play(*window);
    }
    facility->SetPresentHook(nullptr);
    EXPECT_TRUE(SameColours(grab.presented, kColours));
    EXPECT_TRUE(log.Contains("INTROMOVIE: Intro.AVI played, 4 pictures"));
}

// Escape, Return and keypad Enter end the playback before another wait slice, also with
// another key-down handler registered first; Space does not, and the clip then ends by itself
// with every picture shown. A close message ends it too and stops the engine. Afterwards the
// intro's handler is gone.
TEST_F(Intro, KeysAndTheCloseMessage) {
    WriteClip("Intro.AVI", kColours);
    struct Case {
        const char* what;
        SDL_Keycode key;  // 0: the close message
        bool ends;
    } cases[] = {
        {"escape", SDLK_ESCAPE, true},       {"return", SDLK_RETURN, true}, {"keypad enter", SDLK_KP_ENTER, true},
        {"space", SDLK_SPACE, false},        {"close", 0, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        engine->engineFlags |= ZKEngine::kRunning;
        KeyRecorder earlier;
        RegisterWindowHandler(&earlier);
        RecordingCanvas canvas;
        IntroMovie movie(SharedString("Intro.AVI"), &canvas, false);
        movie.clock = &clock;
        int slices = 0, slicesAfterKey = -1;
        movie.afterWaitSlice = [&] {
            ++slices;
            if (slicesAfterKey >= 0) ++slicesAfterKey;
            if (slices == 1) {
                c.key ? PushKey(c.key) : PushClose();
                slicesAfterKey = 0;
            }
        };
        movie.Play(*window);
        EXPECT_FALSE(movie.playing);
        EXPECT_EQ(canvas.begins, 1);
        EXPECT_EQ(canvas.ends, 1);
        if (c.ends) {
            EXPECT_EQ(slicesAfterKey, 0);
            EXPECT_LT(canvas.centres.size(), kColours.size());
            EXPECT_TRUE(log.Contains("INTROMOVIE: Intro.AVI stopped after"));
        } else {
            EXPECT_TRUE(SameColours(canvas.centres, kColours));
            EXPECT_TRUE(log.Contains("INTROMOVIE: Intro.AVI played, 4 pictures"));
        }
        EXPECT_EQ(engine->IsRunning(), c.key != 0);
        // The intro answered its keys; now the handler registered before it does.
        EXPECT_TRUE(earlier.keys.empty());
        PushKey(SDLK_ESCAPE);
        window->PumpMessages();
        EXPECT_EQ(earlier.keys, std::vector<uintptr_t>{27});
        UnregisterWindowHandler(&earlier);
        log.Clear();
    }
}

// Files that are no clip, or a damaged one: nothing crashes, one warning tells, Play returns.
TEST_F(Intro, BadFilesEndWithALogLine) {
    // Long enough that its first half reaches well past the header.
    std::vector<uint32_t> twenty;
    for (int i = 0; i < 5; ++i) twenty.insert(twenty.end(), kColours.begin(), kColours.end());
    WriteClip("good.avi", twenty, 22050);
    const std::string good = ReadFile("good.avi");
    const size_t movi = good.find("movi");
    ASSERT_NE(movi, std::string::npos);
    std::string garbage = good.substr(0, movi + 4);
    for (size_t i = garbage.size(); i < good.size(); ++i) garbage += char((i * 7919u) >> 3);
    std::vector<int16_t> samples(4410, 1000);
    ASSERT_TRUE(tools::WriteWav("sound.wav", 2, 22050, samples));
    const std::string cannot = "INTROMOVIE: Intro.AVI cannot be played";
    const std::string damaged = "INTROMOVIE: Intro.AVI is damaged: playback ended after";
    struct Case {
        const char* what;
        std::string bytes;
        const std::string& line;
    } cases[] = {
        {"empty", "", cannot},
        {"text", "This is not a video at all, just some words.\n", cannot},
        {"a WAV named Intro.AVI", ReadFile("sound.wav"), cannot},
        {"the first half of a clip", good.substr(0, good.size() / 2), damaged},
        {"a header and garbage", garbage, damaged},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        dir.WriteBytes("Intro.AVI", c.bytes);
        log.Clear();
        RecordingCanvas canvas;
        IntroMovie movie(SharedString("Intro.AVI"), &canvas, true);
        movie.clock = &clock;
        movie.Play(*window);
        EXPECT_FALSE(movie.playing);
        EXPECT_TRUE(log.Contains(c.line)) << ::testing::PrintToString(log.Lines());
        EXPECT_EQ(canvas.begins, canvas.ends);
    }
    // No render device, and pictures larger than the device takes.
    WriteClip("Intro.AVI", kColours);
    for (int32_t maxSize : {0, 32}) {
        log.Clear();
        RecordingCanvas canvas;
        canvas.maxSize = maxSize;
        IntroMovie movie(SharedString("Intro.AVI"), maxSize ? &canvas : nullptr, false);
        EXPECT_FALSE(movie.playing);
        movie.Play(*window);
        EXPECT_EQ(canvas.begins, 0);
        EXPECT_TRUE(log.Contains(cannot));
    }
}

// Under the dummy audio driver the clip plays with its sound; silenced, or with no audio
// output to open, it plays silent, and the pictures are the same every time. Real time: the
// sound's clock paces the pictures.
TEST_F(Intro, SoundPlaysOnItsOwnDeviceOrTheClipPlaysSilent) {
    WriteClip("Intro.AVI", kColours, 22050);
    struct Case {
        const char* what;
        bool sound;
        const char* driver;
        const char* line;
    } cases[] = {
        {"sound", true, "dummy", "INTROMOVIE: Playing Intro.AVI, 64 x 48, sound at 22050 Hz"},
        {"-S", false, "dummy", "INTROMOVIE: Playing Intro.AVI, 64 x 48, silent"},
        {"no audio output", true, "no-such-driver", "INTROMOVIE: Playing Intro.AVI, 64 x 48, silent"},
        // The ALSA library's own error lines stay off the standard error stream.
        {"no sound card", true, "alsa", "INTROMOVIE: Playing Intro.AVI, 64 x 48, silent"},
    };
    // A card that no machine has.
    setenv("AUDIODEV", "hw:99", 1);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        setenv("SDL_AUDIODRIVER", c.driver, 1);
        log.Clear();
        RecordingCanvas canvas;
        IntroMovie movie(SharedString("Intro.AVI"), &canvas, c.sound);
        testing_support::StderrCapture stderrText;
        movie.Play(*window);
        EXPECT_EQ(stderrText.Text().find("ALSA lib"), std::string::npos) << stderrText.Text();
        EXPECT_TRUE(log.Contains(c.line));
        EXPECT_TRUE(log.Contains("INTROMOVIE: Intro.AVI played, 4 pictures"));
        EXPECT_TRUE(SameColours(canvas.centres, kColours));
        // The device is closed again: the audio subsystem is down.
        EXPECT_EQ(SDL_WasInit(SDL_INIT_AUDIO), 0u);
    }
    unsetenv("AUDIODEV");
    setenv("SDL_AUDIODRIVER", "dummy", 1);
}

// Sound that never plays out neither holds the pictures nor holds the end of the clip for more
// than one second.
TEST_F(Intro, TheEndWaitsForQueuedSoundAtMostOneSecond) {
    WriteClip("Intro.AVI", kColours, 22050);
    struct StuckSound : plat::SoundOutput {
        int32_t Open(int32_t rate) override { return rate; }
        void Queue(const int16_t*, uint32_t count) override { queued += count; }
        uint32_t QueuedFrames() override { return queued; }
        void Close() override {}
        uint32_t queued = 0;
    } stuck;
    struct TimedCanvas : RecordingCanvas {
        void ShowPicture(const uint8_t* pixels, int32_t pitch) override {
            RecordingCanvas::ShowPicture(pixels, pitch);
            last = clock->now;
        }
        SteppedClock* clock = nullptr;
        double last = 0.0;
    } canvas;
    canvas.clock = &clock;
    IntroMovie movie(SharedString("Intro.AVI"), &canvas, true);
    movie.clock = &clock;
    movie.soundOutput = &stuck;
    movie.Play(*window);
    EXPECT_TRUE(SameColours(canvas.centres, kColours));
    EXPECT_GT(stuck.queued, 0u);
    EXPECT_NEAR(clock.now - canvas.last, 1.0, 0.11);
}

// The clip's time starts when its first picture is on screen: a first present that takes long
// (a software renderer's first frame under load) neither rushes the following pictures nor
// leaves the sound ahead of them; each picture stays its whole period, silent or with sound.
TEST_F(Intro, TheClipTimeStartsWithTheFirstPictureOnScreen) {
    WriteClip("Intro.AVI", kColours, 22050);
    // A device that plays its queue in step with the stepped clock.
    struct SteppedSound : plat::SoundOutput {
        int32_t Open(int32_t r) override {
            rate = r;
            last = clock->now;
            return r;
        }
        void Queue(const int16_t*, uint32_t count) override {
            Play();
            if (queued == 0) firstQueued = clock->now;
            queued += count;
        }
        uint32_t QueuedFrames() override {
            Play();
            return queued;
        }
        void Close() override {}
        void Play() {
            const uint32_t n = std::min(queued, uint32_t((clock->now - last) * rate));
            queued -= n;
            last += double(n) / rate;
            if (queued == 0) last = clock->now;
        }
        SteppedClock* clock = nullptr;
        int32_t rate = 0;
        uint32_t queued = 0;
        double last = 0.0, firstQueued = -1.0;
    };
    // The first present takes 1.3 s; a picture is on screen when its present returns.
    struct SlowFirstPresent : RecordingCanvas {
        void ShowPicture(const uint8_t* pixels, int32_t pitch) override {
            RecordingCanvas::ShowPicture(pixels, pitch);
            if (onScreen.empty()) clock->now += 1.3;
            onScreen.push_back(clock->now);
        }
        SteppedClock* clock = nullptr;
        std::vector<double> onScreen;
    };
    for (const bool withSound : {false, true}) {
        SCOPED_TRACE(withSound ? "with sound" : "silent");
        SteppedSound sound;
        sound.clock = &clock;
        SlowFirstPresent canvas;
        canvas.clock = &clock;
        IntroMovie movie(SharedString("Intro.AVI"), &canvas, withSound);
        movie.clock = &clock;
        movie.soundOutput = &sound;
        movie.Play(*window);
        ASSERT_TRUE(SameColours(canvas.centres, kColours));
        for (size_t i = 1; i < canvas.onScreen.size(); ++i)
            EXPECT_NEAR(canvas.onScreen[i] - canvas.onScreen[0], 0.1 * double(i), 0.01) << "picture " << i;
        if (withSound) {
            EXPECT_GE(sound.firstQueued, canvas.onScreen[0]) << "the sound starts with the first picture";
        }
    }
}

// A clip that gives no new picture for a second after the last one shown is given up, one
// warning says so, and Play returns: the start-up goes on. Pictures a second apart still play
// whole. The stall here: a sound output that takes its queue one frame per reading, so that the
// sound's clock, which paces the pictures, hardly moves.
TEST_F(Intro, AClipWithoutANewPictureForASecondIsGivenUp) {
    struct TricklingSound : plat::SoundOutput {
        int32_t Open(int32_t rate) override { return rate; }
        void Queue(const int16_t*, uint32_t count) override { queued += count; }
        uint32_t QueuedFrames() override { return queued > 0 ? --queued : 0; }
        void Close() override {}
        uint32_t queued = 0;
    };
    struct TimedCanvas : RecordingCanvas {
        void ShowPicture(const uint8_t* pixels, int32_t pitch) override {
            RecordingCanvas::ShowPicture(pixels, pitch);
            onScreen.push_back(clock->now);
        }
        SteppedClock* clock = nullptr;
        std::vector<double> onScreen;
    };
    struct Case {
        const char* what;
        int32_t framesPerSecond;
        bool trickle;
        const char* line;
        size_t pictures;
    } cases[] = {
        {"pictures a second apart", 1, false, "INTROMOVIE: Intro.AVI played, 4 pictures", 4},
        {"a sound clock that hardly moves", 10, true, "INTROMOVIE: Intro.AVI is damaged: playback ended after 1 pictures",
         1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        tools::ClipDescription clip = tools::SolidClip(kColours, 64, 48, c.framesPerSecond);
        clip.soundRate = 22050;
        clip.sound = tools::ToneSound(440.0, 22050);
        std::string error;
        ASSERT_TRUE(tools::WriteClip("Intro.AVI", clip, &error)) << error;
        log.Clear();
        TricklingSound sound;
        TimedCanvas canvas;
        canvas.clock = &clock;
        IntroMovie movie(SharedString("Intro.AVI"), &canvas, c.trickle);
        movie.clock = &clock;
        movie.soundOutput = &sound;
        // Bounded whatever the player does: a minute of slices at most.
        int slices = 0;
        movie.afterWaitSlice = [&] {
            if (++slices == 600) movie.playing = false;
        };
        const double start = clock.now;
        movie.Play(*window);
        EXPECT_TRUE(log.Contains(c.line)) << ::testing::PrintToString(log.Lines());
        ASSERT_EQ(canvas.onScreen.size(), c.pictures);
        for (size_t i = 1; i < canvas.onScreen.size(); ++i)
            EXPECT_LE(canvas.onScreen[i] - canvas.onScreen[i - 1], 1.0 + 1e-6) << "picture " << i;
        // Given up a second after the last picture; a whole clip ends with its last picture.
        EXPECT_NEAR(clock.now - canvas.onScreen.back(), c.trickle ? 1.0 : 0.0, 0.01);
        EXPECT_LT(clock.now - start, 5.0);
    }
}
