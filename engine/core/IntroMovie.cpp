#include "engine/core/IntroMovie.h"

#include <string>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "platform/video/VideoPlayer.h"

// The pictures of the player go to the canvas.
class IntroMovie::Screen final : public plat::VideoSink {
public:
    explicit Screen(IntroCanvas& canvas) : canvas_(canvas) {}
    void ShowPicture(const plat::VideoPicture& picture) override { canvas_.ShowPicture(picture.pixels, picture.pitch); }

private:
    IntroCanvas& canvas_;
};

IntroMovie::IntroMovie(const SharedString& fileName, IntroCanvas* canvas, bool sound)
    : fileName_(fileName), canvas_(canvas), sound_(sound) {
    Debugger& log = Debugger::Instance();
    int32_t maxWidth = 0, maxHeight = 0;
    std::string reason;
    if (!canvas_ || !canvas_->MaxPictureSize(maxWidth, maxHeight)) reason = "no render device";
    else player_ = plat::VideoPlayer::Open(fileName_.c_str(), maxWidth, maxHeight, reason);
    if (!player_) {
        log.Log(2, "INTROMOVIE: %s cannot be played", fileName_.c_str());
        log.Log(3, "INTROMOVIE: %s: %s", fileName_.c_str(), reason.c_str());
        return;
    }
    playing = true;
}

IntroMovie::~IntroMovie() { UnregisterWindowHandler(&keyHandler_); }

intptr_t IntroMovie::KeyHandler::Handle(AppWindow&, uintptr_t wParam, intptr_t) {
    if (wParam == 27 || wParam == 13) movie.playing = false;
    return 0;
}

void IntroMovie::Play(AppWindow& window) {
    if (!playing || !player_) return;
    Debugger& log = Debugger::Instance();

    // 1. One texture of the picture's size, stretched over the whole back buffer, which the
    // present scales to the window's client area.
    if (!canvas_->Begin(player_->Width(), player_->Height())) {
        log.Log(2, "INTROMOVIE: %s cannot be played", fileName_.c_str());
        playing = false;
        return;
    }
    // 2. Start, on a sound device of its own unless the clip is to play silent.
    std::unique_ptr<plat::SoundOutput> ownSound;
    plat::SoundOutput* sound = nullptr;
    if (sound_) {
        if (!soundOutput) ownSound = plat::CreateSdlSoundOutput();
        sound = soundOutput ? soundOutput : ownSound.get();
    }
    if (!player_->Start(sound, clock ? *clock : plat::SystemPlaybackClock())) {
        canvas_->End();
        playing = false;
        return;
    }
    if (player_->SoundPlaying())
        log.Log(3, "INTROMOVIE: Playing %s, %d x %d, sound at %d Hz", fileName_.c_str(), player_->Width(),
                player_->Height(), player_->SoundRate());
    else
        log.Log(3, "INTROMOVIE: Playing %s, %d x %d, silent", fileName_.c_str(), player_->Width(), player_->Height());

    // 3. Escape and Enter end the clip. The handler goes first, so that no other key-down
    // handler answers in its place while the clip plays.
    RegisterWindowHandlerFirst(&keyHandler_);

    // 4. Messages, then a wait slice that shows the pictures falling due in it.
    Screen screen(*canvas_);
    plat::PlaybackState state = plat::PlaybackState::Playing;
    auto running = [] {
        ZKEngine* engine = ZKEngine::Get();
        return !engine || engine->IsRunning();
    };
    while (playing && running()) {
        window.PumpMessages();
        if (!playing || !running()) break;
        state = player_->Wait(kWaitSliceMs, screen);
        if (afterWaitSlice) afterWaitSlice();
        if (state != plat::PlaybackState::Playing) playing = false;
    }

    // 5. The handler goes, the playback stops.
    UnregisterWindowHandler(&keyHandler_);
    player_->Stop();
    canvas_->End();
    const int32_t shown = int32_t(player_->PicturesShown());
    switch (state) {
    case plat::PlaybackState::Finished:
        log.Log(3, "INTROMOVIE: %s played, %d pictures", fileName_.c_str(), shown);
        break;
    case plat::PlaybackState::Damaged:
        log.Log(2, "INTROMOVIE: %s is damaged: playback ended after %d pictures", fileName_.c_str(), shown);
        break;
    case plat::PlaybackState::Playing:
        log.Log(3, "INTROMOVIE: %s stopped after %d pictures", fileName_.c_str(), shown);
        break;
    }
    playing = false;
}
