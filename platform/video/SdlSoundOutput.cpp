#include <SDL.h>

#include "platform/sound/AudioHal.h"
#include "platform/video/VideoPlayer.h"

namespace plat {

namespace {

// A playback's own SDL audio device, fed by queueing: opened for the playback, closed after
// it, so that it never meets the engine's sound device.
class SdlSoundOutput final : public SoundOutput {
public:
    ~SdlSoundOutput() override { Close(); }

    int32_t Open(int32_t rate) override {
        Close();
        audiohal::QuietAlsa();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return 0;
        inited_ = true;
        SDL_AudioSpec want{};
        SDL_AudioSpec have{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        device_ = SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
        if (device_ == 0) {
            Close();
            return 0;
        }
        SDL_PauseAudioDevice(device_, 0);
        return have.freq;
    }

    void Queue(const int16_t* frames, uint32_t count) override {
        if (device_) SDL_QueueAudio(device_, frames, count * 4);
    }

    uint32_t QueuedFrames() override { return device_ ? SDL_GetQueuedAudioSize(device_) / 4 : 0; }

    void Close() override {
        if (device_) SDL_CloseAudioDevice(device_);
        device_ = 0;
        if (inited_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
        inited_ = false;
    }

private:
    SDL_AudioDeviceID device_ = 0;
    bool inited_ = false;
};

}  // namespace

std::unique_ptr<SoundOutput> CreateSdlSoundOutput() { return std::make_unique<SdlSoundOutput>(); }

}  // namespace plat
