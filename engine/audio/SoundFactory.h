#pragma once
// Looking sounds up by name: the search directories, the loaders chosen by extension, the
// request handed to a device, and the device base that implements the three entry points.
#include <memory>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/audio/AudioStream.h"

// What an entry point hands to the device. The device takes the stream (moves it out) when
// it keeps it; whatever is left is freed with the request.
struct SoundRequest {
    SoundRequest() = default;
    SoundRequest(const SoundRequest&) = delete;
    SoundRequest& operator=(const SoundRequest&) = delete;

    SharedString name;
    bool positional = false;
    bool streaming = false;
    bool effects = false;
    std::unique_ptr<AudioStream> stream;

    // File name "Default" and one second of silence.
    void MakeDefault();
};

class AudioLoader {
public:
    virtual ~AudioLoader() = default;
    // Opens the loader's stream for the request's file name.
    virtual std::unique_ptr<AudioStream> Open(const SoundRequest& request) = 0;
    std::vector<SharedString> extensions; // upper case, with the dot
};

class WavLoader final : public AudioLoader {
public:
    WavLoader() { extensions.push_back(".WAV"); }
    std::unique_ptr<AudioStream> Open(const SoundRequest& request) override;
};

class OggLoader final : public AudioLoader {
public:
    OggLoader() { extensions.push_back(".OGG"); }
    std::unique_ptr<AudioStream> Open(const SoundRequest& request) override;
};

// The loaders, tried in registration order.
std::vector<std::unique_ptr<AudioLoader>>& SoundLoaders();
// Adds the WAV loader and then the OGG loader unless loaders are registered already.
void RegisterSoundLoaders();

namespace SoundFactory {
inline constexpr const char* kTag = "SOUNDFACTORY";
inline constexpr const char* kDefaultDirectory = "Sound";
// The path of a sound name: the name itself when it exists, else the first "dir\name" of the
// search directories from the last added; empty (and logged) when missing.
SharedString Resolve(const SharedString& name);
// The loader whose extension ends the name (any case); null (and logged) when none.
AudioLoader* PickLoader(const SharedString& name);
// Fills the request's stream from the resolved path; false when there is nothing to play
// (missing file, no loader, or a format that cannot be mixed).
bool Open(SoundRequest& request, const SharedString& name);
} // namespace SoundFactory

// Both devices share the entry points; they differ in CreateVoice, Play and Play3D.
class SoundDevice : public AudioDevice {
public:
    AudioVoice* CreateSound(const SharedString& name, bool positional = false, bool streaming = false,
                            bool effects = false) override;
    void PlaySound(const SharedString& name, float volume, PlaybackObserver* observer = nullptr) override;
    void PlaySound3D(const SharedString& name, const Vector3& position, float minimum, float maximum, float volume,
                     PlaybackObserver* observer = nullptr) override;
};
