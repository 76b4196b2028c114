#pragma once
// The intro video: plays a clip in the application window until it ends or the player presses
// Escape or Enter.
#include <cstdint>
#include <functional>
#include <memory>

#include "engine/core/AppWindow.h"
#include "engine/core/SharedString.h"

namespace plat {
class PlaybackClock;
class SoundOutput;
class VideoPlayer;
}  // namespace plat

// What the intro needs of the renderer: one texture of the clip's picture size, drawn over
// the whole screen. The renderer provides it.
class IntroCanvas {
public:
    virtual ~IntroCanvas() = default;
    // The largest picture the render device takes; false when there is no render device.
    virtual bool MaxPictureSize(int32_t& width, int32_t& height) = 0;
    // Makes the texture for pictures of this size; false when it cannot.
    virtual bool Begin(int32_t width, int32_t height) = 0;
    // Puts one picture (A8R8G8B8 words, rows from the top) into the texture and presents a
    // frame that shows it stretched over the whole screen.
    virtual void ShowPicture(const uint8_t* pixels, int32_t pitch) = 0;
    // Releases the texture.
    virtual void End() = 0;
};

class IntroMovie {
public:
    // Opens the clip and decides whether it can be played (`playing`). Without a canvas, or
    // when the clip cannot be played, one warning is logged and Play does nothing. With
    // `sound` false the clip plays silent.
    IntroMovie(const SharedString& fileName, IntroCanvas* canvas, bool sound);
    ~IntroMovie();
    IntroMovie(const IntroMovie&) = delete;
    IntroMovie& operator=(const IntroMovie&) = delete;

    // Shows the clip in the window and returns when it has ended, Escape or Enter was
    // pressed, or the engine stopped running (the window was closed).
    void Play(AppWindow& window);

    // True while the clip should go on.
    bool playing = false;

    // The longest wait between two pumps of the window's messages.
    static constexpr uint32_t kWaitSliceMs = 100;

    // For tests and benchmarks: called after every wait slice; the clock the playback reads
    // and sleeps on (null: the system's); the sound output (null: an SDL device of its own).
    std::function<void()> afterWaitSlice;
    plat::PlaybackClock* clock = nullptr;
    plat::SoundOutput* soundOutput = nullptr;

private:
    struct KeyHandler final : WindowMessageHandler {
        explicit KeyHandler(IntroMovie& m) : WindowMessageHandler(plat::kMessageKeyDown), movie(m) {}
        intptr_t Handle(AppWindow& window, uintptr_t wParam, intptr_t lParam) override;
        IntroMovie& movie;
    };
    class Screen;

    SharedString fileName_;
    IntroCanvas* canvas_;
    bool sound_;
    std::unique_ptr<plat::VideoPlayer> player_;
    KeyHandler keyHandler_{*this};
};
