#include "engine/audio/DS8BufferAudio.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#include "engine/core/Debugger.h"
#include "platform/sys/Random.h"

namespace {
audiohal::Vec3 ToHal(const Vector3& v) { return {v.x, v.y, v.z}; }

void LayerNotice(const char* line) { Debugger::Instance().Log(3, "%s", line); }
} // namespace

// ---------------------------------------------------------------------------------------------
// Voices

DS8BufferVoice::DS8BufferVoice(DS8BufferAudio* device, const SharedString& name) : device_(device), name_(name) {}

DS8BufferVoice::~DS8BufferVoice() {
    if (VolumeGroup* group = Parent()) group->RemoveChild(this);
    if (feeder_) feeder_->Stop(); // joins before the buffer goes
    device_->Forget(this);
    buffer_.reset();
}

int32_t DS8BufferVoice::VolumeToMilliBel(float effective) {
    effective = std::clamp(effective, 0.0f, 1.0f);
    return int32_t((1.0f - std::pow(effective, 0.1f)) * -10000.0f);
}

uint32_t DS8BufferVoice::PriorityWord(float priority) {
    double p = double(priority) * 4294967296.0;
    if (!(p > 0.0)) return 0;
    return p >= 4294967295.0 ? 0xFFFFFFFFu : uint32_t(p);
}

void DS8BufferVoice::SetVolume(float value) {
    if (!(value == value)) value = 0.0f;
    value_ = std::clamp(value, 0.0f, 1.0f);
    const float effective = std::clamp(value_ * ParentVolume() * device_->deviceVolume_, 0.0f, 1.0f);
    if (buffer_) buffer_->SetVolume(VolumeToMilliBel(effective));
}

AudioVoice* DS8BufferVoice::Clone() {
    auto* copy = new DS8BufferVoice(device_, SharedString::Format("%s Clone", name_.c_str()));
    copy->rate_ = rate_;
    copy->positional_ = positional_;
    {
        std::lock_guard<Mutex> g(device_->bufferMutex_);
        if (buffer_ && device_->hal_) copy->buffer_ = device_->hal_->Duplicate(*buffer_);
    }
    {
        std::lock_guard<Mutex> g(device_->listMutex_);
        device_->prototypes_.push_back({copy->name_, copy});
    }
    copy->SetVolume(1.0f);
    return copy;
}

void DS8BufferVoice::Play(bool loop) {
    // A streaming voice's buffer is a ring that its refill thread keeps ahead of the play
    // position: it always plays looped, or a track would stop after its first second.
    if (buffer_) buffer_->Play(PriorityWord(priority_), loop || feeder_ != nullptr);
    if (feeder_) feeder_->Unpark();
}

void DS8BufferVoice::Stop() {
    if (buffer_) buffer_->Stop();
    if (feeder_) feeder_->Park();
}

void DS8BufferVoice::Rewind() {
    if (buffer_) buffer_->SetCurrentPosition(0);
}

void DS8BufferVoice::SetPitch(float pitch) {
    pitch_ = pitch;
    if (!buffer_) return;
    int64_t hz = int64_t(double(rate_ & 0x7FFFFFFFu) * double(pitch));
    hz += (float(plat::EngineRand()) / float(plat::kEngineRandMax)) > 0.5f ? 1 : -1;
    buffer_->SetFrequency(uint32_t(std::clamp<int64_t>(hz, 100, 100000)));
}

void DS8BufferVoice::SetPan(float pan) {
    if (!buffer_ || buffer_->IsPositional()) return;
    if (!(pan == pan)) pan = 0.0f;
    buffer_->SetPan(int32_t(std::clamp(pan, -1.0f, 1.0f) * 10000.0f));
}

void DS8BufferVoice::SetDistances(float minimum, float maximum) {
    if (!buffer_ || !buffer_->IsPositional()) return;
    buffer_->SetMinDistance(minimum, true);
    buffer_->SetMaxDistance((rate_ & 0x80000000u) ? 1.0e8f : maximum, true);
}

void DS8BufferVoice::SetPosition(const Vector3& position) {
    if (buffer_ && buffer_->IsPositional()) buffer_->SetPosition(ToHal(position), true);
}

void DS8BufferVoice::SetVelocity(const Vector3& velocity) {
    if (buffer_ && buffer_->IsPositional()) buffer_->SetVelocity(ToHal(velocity), true);
}

uint32_t DS8BufferVoice::PlayPosition() {
    uint32_t play = 0;
    if (buffer_) buffer_->GetCurrentPosition(&play, nullptr);
    return play;
}

uint8_t* DS8BufferVoice::LockRegion(uint32_t offset, uint32_t bytes) {
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (!buffer_ || !buffer_->Lock(offset, bytes, &p1, &n1, &p2, &n2) || n2 != 0) return nullptr;
    return static_cast<uint8_t*>(p1);
}

void DS8BufferVoice::UnlockRegion(uint32_t, uint32_t) {
    if (buffer_) buffer_->Unlock(nullptr, 0, nullptr, 0);
}

void DS8BufferVoice::FillFrom(const std::vector<uint8_t>& bytes) {
    if (!buffer_) return;
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (!buffer_->Lock(0, buffer_->Size(), &p1, &n1, &p2, &n2)) return;
    const size_t n = std::min<size_t>(n1, bytes.size());
    if (n > 0) std::memcpy(p1, bytes.data(), n);
    std::memset(static_cast<uint8_t*>(p1) + n, 0, n1 - n);
    buffer_->Unlock(p1, n1, p2, n2);
}

void DS8BufferVoice::FillFrom(AudioStream* stream) {
    if (!buffer_) return;
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    if (!buffer_->Lock(0, buffer_->Size(), &p1, &n1, &p2, &n2)) return;
    if (stream) stream->Read(static_cast<uint8_t*>(p1), int32_t(n1));
    else std::memset(p1, 0, n1);
    buffer_->Unlock(p1, n1, p2, n2);
}

// ---------------------------------------------------------------------------------------------
// Device

DS8BufferAudio::DS8BufferAudio(audiohal::Backend backend) : backend_(backend) {
    listener_ = this;
    audiohal::SetLogSink(&LayerNotice);
    for (const audiohal::DeviceInfo& info : audiohal::EnumerateDevices())
        deviceNames_.push_back(SharedString(info.description.c_str()));
    slots_.Start([this](PlaySlots<DS8BufferVoice>::Slot& slot) { RunSlot(slot); });
}

DS8BufferAudio::~DS8BufferAudio() {
    slots_.Stop();
    for (auto& slot : slots_) {
        delete slot.voice; // queued but never filled
        slot.voice = nullptr;
    }
    // Each voice removes itself from every list as it is destroyed, so none is freed twice.
    for (;;) {
        DS8BufferVoice* v = nullptr;
        {
            std::lock_guard<Mutex> g(listMutex_);
            if (!streaming_.empty()) v = streaming_.back();
            else if (!prototypes_.empty()) v = prototypes_.back().voice;
            else if (!oneShots_.empty()) v = oneShots_.back().voice;
        }
        if (!v) break;
        delete v;
    }
    hal_.reset();
}

void DS8BufferAudio::Forget(DS8BufferVoice* voice) {
    std::lock_guard<Mutex> g(listMutex_);
    std::erase(streaming_, voice);
    std::erase_if(prototypes_, [voice](const Prototype& p) { return p.voice == voice; });
    std::erase_if(oneShots_, [voice](const OneShot& s) { return s.voice == voice; });
}

void DS8BufferAudio::Init(int deviceIndex, AppWindow*) {
    auto& log = Debugger::Instance();
    deviceIndex_ = deviceIndex;
    if (deviceIndex < 0) {
        hal_.reset();
        return;
    }
    hal_ = audiohal::Device::Open(deviceIndex, backend_);
    if (!hal_) {
        log.Message("DS8Audio: Failed initing DirectSound");
        hal_ = audiohal::Device::Open(deviceIndex, audiohal::Backend::Null);
        if (!hal_) return;
    } else {
        log.Log(3, "DS8Audio: DirectSound inited");
    }
    log.Log(3, hal_->SetCooperativeLevel(2) ? "DS8Audio: CooperativeLevel set"
                                            : "DS8Audio: Failed setting cooperative level");
    log.Log(3, "DS8Audio: Primary buffer created");
    hardwareMixing_ = hal_->GetCaps().hardwareStaticBuffers >= 8;
    audiohal::PcmFormat format{1, 2, 22050, 88200, 4, 16};
    log.Log(3, hal_->SetPrimaryFormat(format) ? "DS8Audio: Primary buffer configured"
                                              : "DS8Audio: Failed configuring primary buffer");
    log.Log(3, "DS8Audio: 3D interface obtained");
    hal_->Listener().SetDistanceFactor(0.1f, false);
    hal_->Listener().SetDopplerFactor(1.0f, false);
    log.Log(3, "DS8Audio: Init completed. Ready for use!");
}

uint32_t DS8BufferAudio::RingBytes(const AudioStream* stream) {
    // Sized only from a header that was read whole and checked.
    return stream && stream->IsPlayable() ? stream->format.samplesPerSecond * stream->format.blockAlign : 0;
}

bool DS8BufferAudio::CreateBuffer(DS8BufferVoice* voice, const AudioStream* s, bool effects, uint32_t bytes) {
    if (!hal_) return false;
    std::lock_guard<Mutex> g(bufferMutex_);
    audiohal::VoiceDesc desc;
    if (s) {
        desc.format = {s->format.formatTag, s->format.channels, s->format.samplesPerSecond,
                       s->format.avgBytesPerSecond, s->format.blockAlign, s->format.bitsPerSample};
        desc.bytes = bytes;
    }
    desc.positional = voice->positional_;
    desc.effects = effects;
    voice->buffer_ = s ? hal_->CreateVoiceBuffer(desc) : nullptr;
    auto& log = Debugger::Instance();
    if (!voice->buffer_) {
        log.Log(1, "DS8Audio: Failed creating buffer for %s", voice->name_.c_str());
        log.Log(3, "-----WAVEFORMAT-----");
        log.Log(3, "FormatTag = %d", int(desc.format.tag));
        log.Log(3, "Channels = %d", int(desc.format.channels));
        log.Log(3, "SampleRate = %d", int(desc.format.rate));
        log.Log(3, "AvgBytesPerSec = %d", int(desc.format.avgBytes));
        log.Log(3, "BlockAlign = %d", int(desc.format.blockAlign));
        log.Log(3, "BitsPerSample = %d", int(desc.format.bits));
        log.Log(3, "Size = %d", int(desc.bytes));
        log.Log(3, "--------------------");
        return false;
    }
    voice->rate_ = desc.format.rate & 0x7FFFFFFFu;
    log.Log(3, "DS8Audio: Buffer created for %s", voice->name_.c_str());
    return true;
}

AudioVoice* DS8BufferAudio::CreateVoice(SoundRequest& request) {
    if (!request.streaming) {
        DS8BufferVoice* prototype = nullptr;
        {
            std::lock_guard<Mutex> g(listMutex_);
            for (const Prototype& p : prototypes_)
                if (p.name == request.name && p.voice->positional_ == request.positional) {
                    prototype = p.voice;
                    break;
                }
        }
        if (prototype) return prototype->Clone();
    }
    auto* voice = new DS8BufferVoice(this, request.name);
    voice->positional_ = request.positional;
    AudioStream* stream = request.stream.get();
    if (request.streaming) {
        CreateBuffer(voice, stream, request.effects, RingBytes(stream));
        voice->FillFrom(stream);
    } else {
        // Decoded first: the buffer holds what the stream delivers, whatever its header claims
        // (and nothing is decoded for a device without output).
        const std::vector<uint8_t> bytes = stream && hal_ ? ReadWhole(*stream) : std::vector<uint8_t>();
        CreateBuffer(voice, stream, request.effects, uint32_t(bytes.size()));
        voice->FillFrom(bytes);
    }
    std::lock_guard<Mutex> g(listMutex_);
    if (request.streaming) {
        if (voice->buffer_ && request.stream) {
            // The buffer holds the first second already: the refill starts behind it.
            voice->feeder_ = std::make_unique<VoiceStreamThread>(voice, request.stream.release(), 0);
            voice->feeder_->Start(0.75f);
            voice->feeder_->Park(); // refills only while the voice plays
        }
        streaming_.push_back(voice);
    } else {
        prototypes_.push_back({request.name, voice});
    }
    return voice;
}

void DS8BufferAudio::ReleaseVoice(AudioVoice* voice) {
    delete static_cast<DS8BufferVoice*>(voice); // leaves every list on its way out
}

void DS8BufferAudio::StartOneShot(SoundRequest& request, float volume, const Vector3* position, float minimum,
                                  float maximum) {
    std::lock_guard<Mutex> g(listMutex_);
    auto* slot = slots_.FindIdle();
    if (!slot) return; // all four busy: the sound is dropped
    auto* voice = new DS8BufferVoice(this, request.name);
    voice->positional_ = request.positional;
    voice->SetVolume(volume); // kept, and applied once the slot has made the buffer
    if (position) voice->placement_.reset(new DS8BufferVoice::Placement{*position, minimum, maximum});
    slots_.Hand(*slot, voice, std::move(request.stream));
}

void DS8BufferAudio::Play(SoundRequest& request, float volume, PlaybackObserver*) {
    StartOneShot(request, volume, nullptr, 0.0f, 0.0f);
}

void DS8BufferAudio::Play3D(SoundRequest& request, const Vector3& position, float minimum, float maximum,
                            float volume, PlaybackObserver*) {
    StartOneShot(request, volume, &position, minimum, maximum);
}

void DS8BufferAudio::RunSlot(PlaySlots<DS8BufferVoice>::Slot& slot) {
    DS8BufferVoice* voice = slot.voice;
    // A one-shot holds its whole sound: decoded here, away from the caller, and its buffer made
    // the size of what the stream delivered.
    const std::vector<uint8_t> bytes = slot.stream && hal_ ? ReadWhole(*slot.stream) : std::vector<uint8_t>();
    CreateBuffer(voice, slot.stream.get(), false, uint32_t(bytes.size()));
    voice->FillFrom(bytes);
    slot.stream.reset();
    if (voice->placement_) {
        voice->SetPosition(voice->placement_->position);
        voice->SetDistances(voice->placement_->minimum, voice->placement_->maximum);
        voice->placement_.reset();
    }
    std::lock_guard<Mutex> g(listMutex_);
    oneShots_.push_back({voice, false});
    PlaySlots<DS8BufferVoice>::Free(slot);
}

void DS8BufferAudio::Update(float frameTime) {
    accumulated_ += frameTime;
    if (accumulated_ >= commitInterval_) {
        accumulated_ = 0.0f;
        if (hal_) hal_->Listener().Commit();
    }
    std::vector<DS8BufferVoice*> ended;
    {
        std::lock_guard<Mutex> g(listMutex_);
        for (size_t i = oneShots_.size(); i-- > 0;) {
            OneShot& shot = oneShots_[i];
            if (!shot.started) {
                shot.voice->SetVolume(shot.voice->Value());
                shot.voice->Play(false);
                shot.started = true;
            } else if (!shot.voice->IsPlaying()) {
                ended.push_back(shot.voice);
            }
        }
    }
    for (DS8BufferVoice* v : ended) delete v; // each leaves the one-shot list itself
}

void DS8BufferAudio::SetDeviceVolume(float volume) {
    deviceVolume_ = volume;
    std::vector<DS8BufferVoice*> voices;
    {
        std::lock_guard<Mutex> g(listMutex_);
        for (const Prototype& p : prototypes_) voices.push_back(p.voice);
        voices.insert(voices.end(), streaming_.begin(), streaming_.end());
    }
    for (DS8BufferVoice* v : voices) v->SetVolume(v->Value());
}

void DS8BufferAudio::SetPosition(const Vector3& position) {
    if (hal_) hal_->Listener().SetPosition(ToHal(position), true);
}

void DS8BufferAudio::SetOrientation(const Quaternion& orientation) {
    if (!hal_) return;
    // The rotation maps world directions into the listener's axes (as the camera's view
    // rotation does), so its columns are the listener's right, top and front in the world.
    Matrix4 m = orientation.ToMatrix();
    hal_->Listener().SetOrientation({m.m[0][2], m.m[1][2], m.m[2][2]}, {m.m[0][1], m.m[1][1], m.m[2][1]}, true);
}

void DS8BufferAudio::SetVelocity(const Vector3& velocity) {
    if (hal_) hal_->Listener().SetVelocity(ToHal(velocity), true);
}

size_t DS8BufferAudio::OneShotCount() {
    std::lock_guard<Mutex> g(listMutex_);
    return oneShots_.size();
}

size_t DS8BufferAudio::PrototypeCount() {
    std::lock_guard<Mutex> g(listMutex_);
    return prototypes_.size();
}
