#include "engine/core/MenuResources.h"

#include <array>
#include <atomic>
#include <mutex>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Engine.h"
#include "engine/core/MenuCanvas.h"
#include "engine/core/Thread.h"

namespace {

constexpr const char* kSoundNames[] = {"Woosh.WAV", "MenuMove.WAV", "Menu.WAV",   "False.WAV",
                                       "Click.WAV", "Back.WAV",     "Slider.WAV", "Exit.WAV",
                                       "RollOver.WAV"};
static_assert(std::size(kSoundNames) == size_t(MenuSound::Count));

constexpr const char* kPictureNames[] = {"Menu.ZKT", "Mouse.ZKT", "Slider.ZKT", "Exit.ZKT"};
static_assert(std::size(kPictureNames) == size_t(MenuImage::Count));

// The menu pictures are stored bottom row first.
constexpr uint32_t kFlipRows = 1;

struct Shared {
    // Taken while something is made or released; readers only load the pointers.
    Mutex lock;
    std::array<std::atomic<AudioVoice*>, size_t(MenuSound::Count)> voices{};
    std::array<std::atomic<MenuPicture*>, size_t(MenuImage::Count)> pictures{};
    AudioDevice* device = nullptr; // the device the voices came from
};

Shared& Resources() {
    static Shared* shared = new Shared; // used by detached init threads until the very end
    return *shared;
}

} // namespace

void MakeMenuSound(MenuSound sound) {
    Shared& s = Resources();
    std::atomic<AudioVoice*>& slot = s.voices[size_t(sound)];
    if (slot.load()) return;
    std::lock_guard<Mutex> guard(s.lock);
    if (slot.load()) return;
    ZKEngine* engine = ZKEngine::Get();
    AudioDevice* device = engine ? engine->sound : nullptr;
    if (!device) return;
    AudioVoice* voice = device->CreateSound(SharedString(kSoundNames[size_t(sound)]), false, false, false);
    if (!voice) return;
    s.device = device;
    // The mouse-speed sound starts silent; the screens set its volume every frame.
    if (sound == MenuSound::Woosh) voice->SetVolume(0.0f);
    MenuSoundGroup().AttachChild(voice);
    slot.store(voice);
}

AudioVoice* GetMenuSound(MenuSound sound) { return Resources().voices[size_t(sound)].load(); }

void PlayMenuSound(MenuSound sound) {
    if (AudioVoice* voice = GetMenuSound(sound)) voice->Play(false);
}

void LoadMenuPicture(MenuImage image) {
    Shared& s = Resources();
    std::atomic<MenuPicture*>& slot = s.pictures[size_t(image)];
    if (slot.load()) return;
    std::lock_guard<Mutex> guard(s.lock);
    if (slot.load()) return;
    if (MenuCanvas* canvas = GetMenuCanvas())
        slot.store(canvas->LoadPicture(SharedString(kPictureNames[size_t(image)]), kFlipRows));
}

MenuPicture* GetMenuPicture(MenuImage image) { return Resources().pictures[size_t(image)].load(); }

void ReleaseMenuResources() {
    Shared& s = Resources();
    std::lock_guard<Mutex> guard(s.lock);
    ZKEngine* engine = ZKEngine::Get();
    // Voices go back to the device that made them while it is still the engine's.
    AudioDevice* device = engine && engine->sound == s.device ? s.device : nullptr;
    for (std::atomic<AudioVoice*>& slot : s.voices) {
        AudioVoice* voice = slot.exchange(nullptr);
        if (voice && device) {
            MenuSoundGroup().RemoveChild(voice);
            device->ReleaseVoice(voice);
        }
    }
    s.device = nullptr;
    for (std::atomic<MenuPicture*>& slot : s.pictures) delete slot.exchange(nullptr);
}
