#include "engine/audio/SoundFactory.h"

#include <cmath>

#include "engine/audio/DS8Audio.h"
#include "engine/audio/DS8BufferAudio.h"
#include "engine/core/Debugger.h"
#include "engine/core/FileStream.h"

void SoundRequest::MakeDefault() {
    name = "Default";
    stream = std::make_unique<DefaultSilenceStream>();
}

std::unique_ptr<AudioStream> WavLoader::Open(const SoundRequest& request) {
    return std::make_unique<WavStream>(request.name);
}

std::unique_ptr<AudioStream> OggLoader::Open(const SoundRequest& request) {
    return std::make_unique<OggStream>(request.name);
}

std::vector<std::unique_ptr<AudioLoader>>& SoundLoaders() {
    static std::vector<std::unique_ptr<AudioLoader>> loaders;
    return loaders;
}

void RegisterSoundLoaders() {
    auto& loaders = SoundLoaders();
    if (!loaders.empty()) return;
    loaders.push_back(std::make_unique<WavLoader>());
    loaders.push_back(std::make_unique<OggLoader>());
}

SharedString SoundFactory::Resolve(const SharedString& name) {
    if (!name.IsEmpty() && FileExists(name)) return name;
    const auto& dirs = SoundDirectories();
    for (auto it = dirs.rbegin(); it != dirs.rend(); ++it) {
        SharedString path = SharedString::Format("%s\\%s", it->c_str(), name.c_str());
        if (FileExists(path)) return path;
    }
    Debugger::Instance().Message("%s: %s %s not found!", kTag, kDefaultDirectory, name.c_str());
    return SharedString("");
}

AudioLoader* SoundFactory::PickLoader(const SharedString& name) {
    SharedString upper = name.Clone();
    upper.ToUpper();
    for (auto& loader : SoundLoaders())
        for (const SharedString& ext : loader->extensions)
            if (upper.EndsWith(ext)) return loader.get();
    Debugger::Instance().Message("%s: %s %s cannot be decoded!", kTag, kDefaultDirectory, name.c_str());
    return nullptr;
}

bool SoundFactory::Open(SoundRequest& request, const SharedString& name) {
    request.name = Resolve(name);
    if (request.name.IsEmpty()) return false;
    AudioLoader* loader = PickLoader(request.name);
    if (!loader) return false;
    request.stream = loader->Open(request);
    // Only a stream whose whole header was read, in a format the mixers play, goes on to a
    // device: a header that broke part-way (its fields half read) or an unplayable format (8-bit,
    // more than two channels, a rate outside 1000..192000 Hz) must never size a buffer.
    if (request.stream && !request.stream->IsPlayable()) {
        Debugger::Instance().Message("%s: %s %s cannot be decoded!", kTag, kDefaultDirectory, name.c_str());
        request.stream.reset();
        return false;
    }
    return request.stream != nullptr;
}

// ---------------------------------------------------------------------------------------------

AudioVoice* SoundDevice::CreateSound(const SharedString& name, bool positional, bool streaming, bool effects) {
    SoundRequest request;
    request.positional = positional;
    request.streaming = streaming;
    request.effects = effects;
    if (!SoundFactory::Open(request, name)) request.MakeDefault();
    return CreateVoice(request);
}

void SoundDevice::PlaySound(const SharedString& name, float volume, PlaybackObserver* observer) {
    if (!(volume > 0.0f)) return;
    SoundRequest request;
    if (!SoundFactory::Open(request, name)) return;
    request.streaming = true; // the device owns the stream from here
    Play(request, volume, observer);
}

void SoundDevice::PlaySound3D(const SharedString& name, const Vector3& position, float minimum, float maximum,
                              float volume, PlaybackObserver* observer) {
    if (!(volume > 0.0f)) return;
    SoundRequest request;
    request.positional = true;
    if (!SoundFactory::Open(request, name)) return;
    request.streaming = true;
    Play3D(request, position, minimum, maximum, volume, observer);
}

AudioDevice* CreateAudioDevice(int type) {
    RegisterSoundLoaders();
    switch (type) {
    case 0:
        return new DS8BufferAudio();
    case 1:
        return new DS8Audio();
    default:
        return nullptr;
    }
}
