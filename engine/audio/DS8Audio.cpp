#include "engine/audio/DS8Audio.h"

#include <algorithm>
#include <cmath>
#include <mutex>

#include "engine/core/Debugger.h"

// ---------------------------------------------------------------------------------------------
// Voices

DS8MixVoice::DS8MixVoice(DS8Audio* device) : device_(device) {}

DS8MixVoice::~DS8MixVoice() {
    {
        std::lock_guard<Mutex> g(device_->mixer_.Lock());
        device_->mixer_.Remove(&mix_);
        mix_.playing = false;
    }
    StopFeeder();
    if (mix_.buffer) --mix_.buffer->refCount;
}

void DS8MixVoice::StartFeeder(std::unique_ptr<AudioStream> stream) {
    if (!stream || !mix_.buffer) return;
    // The first quarter second of the ring stays silent while the feeder gets ahead.
    const uint32_t start = uint32_t(mix_.buffer->frames / 4) * uint32_t(mix_.buffer->BytesPerFrame());
    feeder_ = std::make_unique<VoiceStreamThread>(this, stream.release(), start);
    feeder_->Start(0.75f);
}

void DS8MixVoice::StopFeeder() {
    if (feeder_) feeder_->Stop(); // joins, then frees the stream
}

uint32_t DS8MixVoice::BufferSize() { return mix_.buffer ? uint32_t(mix_.buffer->size) : 0; }

uint32_t DS8MixVoice::PlayPosition() {
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    if (!mix_.buffer || mix_.buffer->frames <= 0) return 0;
    return uint32_t(mix_.position % mix_.buffer->frames) * uint32_t(mix_.buffer->BytesPerFrame());
}

uint8_t* DS8MixVoice::LockRegion(uint32_t offset, uint32_t bytes) {
    if (!mix_.buffer || uint64_t(offset) + bytes > uint64_t(mix_.buffer->size)) return nullptr;
    return mix_.buffer->data.data() + offset;
}

void DS8MixVoice::SetVolume(float value) {
    if (!(value == value)) value = 0.0f;
    value_ = std::clamp(value, 0.0f, 1.0f);
    effective_ = value_ * ParentVolume();
    if (positional_) return; // applied at the next positional update
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    mix_.SetGains(effective_, mix_.pan);
}

AudioVoice* DS8MixVoice::Clone() {
    auto* copy = new DS8MixVoice(device_);
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    copy->mix_.Attach(mix_.buffer);
    if (positional_) copy->MakePositional();
    return copy;
}

void DS8MixVoice::Play(bool loop) {
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    mix_.loopCount = (feeder_ || loop) ? MixState::kEndless : 1;
    if (mix_.playing) return;
    if (positional_) device_->PositionalUpdate(this);
    device_->mixer_.Add(&mix_);
    mix_.playing = true;
    device_->outputWake_.Set(); // a resting output thread has something to play again
}

void DS8MixVoice::Stop() {
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    device_->mixer_.Remove(&mix_);
    mix_.playing = false;
}

void DS8MixVoice::Rewind() {
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    mix_.position = 0;
}

void DS8MixVoice::SetPitch(float pitch) {
    if (!(pitch == pitch)) pitch = 1.0f;
    pitch_ = std::clamp(pitch, 0.1f, 10.0f);
    if (positional_) return;
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    mix_.pitch = pitch_;
}

void DS8MixVoice::SetPriority(float priority) {
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    mix_.priority = priority;
}

float DS8MixVoice::GetLength() { return mix_.buffer ? mix_.buffer->LengthSeconds() : 0.0f; }

bool DS8MixVoice::IsPlaying() {
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    return mix_.playing;
}

void DS8MixVoice::SetPan(float pan) {
    if (positional_) return;
    if (!(pan == pan)) pan = 0.0f;
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    mix_.SetGains(mix_.volume, std::clamp(pan, -1.0f, 1.0f));
}

void DS8MixVoice::SetDistances(float minimum, float maximum) {
    if (!positional_) return;
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    positional_->minimum = minimum;
    positional_->maximum = maximum;
}

void DS8MixVoice::SetPosition(const Vector3& position) {
    if (!positional_) return;
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    positional_->position = position;
}

void DS8MixVoice::SetVelocity(const Vector3& velocity) {
    if (!positional_) return;
    std::lock_guard<Mutex> g(device_->mixer_.Lock());
    positional_->velocity = velocity;
}

// ---------------------------------------------------------------------------------------------
// Device

DS8Audio::DS8Audio(Options options) : options_(std::move(options)), mixer_(44100) {
    listener_ = this;
    slots_.Start([this](PlaySlots<DS8MixVoice>::Slot& slot) { RunSlot(slot); });
}

DS8Audio::~DS8Audio() {
    if (running_.exchange(false)) {
        // The thread may be waiting for the output or resting.
        ring_->Interrupt();
        outputWake_.Set();
        outputThread_.Join();
    }
    if (ring_) ring_->Stop();
    slots_.Stop();
    for (auto& slot : slots_) {
        // A sound still waiting in its slot never reached the one-shot list.
        if (slot.voice) {
            SampleBuffer* sample = slot.voice->mix_.buffer;
            delete slot.voice;
            delete sample;
        }
    }
    for (OneShot& shot : oneShots_) {
        if (shot.observer) shot.observer->voice = nullptr;
        SampleBuffer* sample = shot.voice->mix_.buffer;
        delete shot.voice;
        delete sample;
    }
    oneShots_.clear();
    // Listed voices go with the device: nothing may mix into a device that is gone.
    for (DS8MixVoice* v : voices_) v->StopFeeder();
    for (DS8MixVoice* v : voices_) delete v;
    voices_.clear();
    for (CacheEntry& e : cache_) delete e.buffer;
    cache_.clear();
    secondary_.reset();
    hal_.reset();
}

void DS8Audio::Sleep(float seconds) {
    if (options_.sleep) options_.sleep(seconds);
    else SleepSeconds(seconds);
}

void DS8Audio::Init(int, AppWindow*) {
    auto& log = Debugger::Instance();
    hal_ = audiohal::Device::Open(0, options_.backend);
    if (!hal_) {
        log.Message("DS8Audio: Failed initing DirectSound");
        // Without an output the device still runs on a silent clock, so sounds end and are reaped.
        hal_ = audiohal::Device::Open(0, audiohal::Backend::Null);
        if (!hal_) return;
    } else {
        log.Log(3, "DS8Audio: DirectSound inited");
    }
    hal_->SetCooperativeLevel(1);
    log.Log(3, "DS8Audio: Primary buffer created");
    hal_->GetCaps();
    audiohal::PcmFormat format; // PCM, 2 channels, 44100 Hz, 16 bits, 176400 B/s
    if (hal_->SetPrimaryFormat(format)) log.Log(3, "DS8Audio: Primary buffer configured");
    else log.Log(3, "DS8Audio: Failed configuring primary buffer");
    log.Log(3, "DS8Audio: BufferSize = %d", int(hal_->PrimaryBytes()));
    secondary_ = hal_->CreateRing(kOutputBytes, format);
    ring_ = secondary_ ? secondary_.get() : hal_->Primary();
    ringBytes_ = ring_->Size();
    void *p1, *p2;
    uint32_t n1, n2;
    if (ring_->Lock(0, ringBytes_, &p1, &n1, &p2, &n2)) {
        std::fill_n(static_cast<uint8_t*>(p1), n1, uint8_t(0));
        ring_->Unlock(p1, n1, p2, n2);
    }
    cursor_ = 0;
    if (options_.outputThread) {
        running_.store(true);
        outputThread_ = Thread(&DS8Audio::OutputThread, this, 1.0f, true);
    }
    ring_->Play(true);
}

bool DS8Audio::PumpOnce() {
    if (!ring_) return false;
    const uint32_t size = ringBytes_;
    const uint32_t chunk = uint32_t(mixer_.OutputBytesPerSecond() / 100);
    const uint32_t c = cursor_;
    // The hardware has passed c when the write cursor is less than half a ring ahead of it.
    // (Comparing against the half-ring mark instead lets c run away whenever it crosses that
    // mark just ahead of the cursor, and the writer then laps the reader.)
    if (!ring_->WritePassed(c)) return false;
    void *p1 = nullptr, *p2 = nullptr;
    uint32_t n1 = 0, n2 = 0;
    const uint32_t at = (c + 4 * chunk) % size;
    if (!ring_->Lock(at, 2 * chunk, &p1, &n1, &p2, &n2)) {
        ring_->Restore();
        if (!ring_->Lock(at, 2 * chunk, &p1, &n1, &p2, &n2)) {
            Sleep(0.01f);
            return false;
        }
    }
    const float volume = deviceVolume_.load();
    void* parts[2] = {p1, p2};
    uint32_t sizes[2] = {n1, n2};
    for (int i = 0; i < 2; ++i) {
        if (!parts[i] || sizes[i] == 0) continue;
        int32_t frames = mixer_.Mix(int32_t(sizes[i]));
        silentBytes_ = mixer_.LastMixHadVoices() ? 0 : silentBytes_ + sizes[i];
        auto* out = static_cast<int16_t*>(parts[i]);
        mixer_.Write(out);
        if (volume < 1.0f) {
            const float v = std::max(volume, 0.0f);
            for (int32_t s = 0; s < frames * 2; ++s) out[s] = int16_t(float(out[s]) * v);
        }
    }
    ring_->Unlock(p1, n1, p2, n2);
    cursor_ = (c + 2 * chunk) % size;
    return true;
}

uint32_t DS8Audio::OutputThread(Thread&, void* parameter) {
    auto* self = static_cast<DS8Audio*>(parameter);
    // Writes whenever the output has moved past the thread's cursor, and otherwise sleeps until
    // the output moves its write cursor there: no timer, no polling. With nothing to play and the
    // whole ring silent, it rests until a voice starts.
    while (self->running_.load()) {
        if (self->PumpOnce()) continue;
        if (self->NothingToPlay()) self->Rest();
        else self->ring_->WaitForWritePast(self->cursor_);
    }
    return 0;
}

bool DS8Audio::NothingToPlay() {
    if (silentBytes_ < ringBytes_) return false; // silence has not yet been written all round
    std::lock_guard<Mutex> g(mixer_.Lock());
    return mixer_.VoiceCount() == 0;
}

void DS8Audio::Rest() {
    // The ring holds only silence: it stops, so the output mixes nothing, and plays on from its
    // cursor once a voice starts. The thread's cursor then restarts just behind the write cursor,
    // so the next write lands as far ahead of the output as ever.
    ring_->Stop();
    resting_.store(true);
    outputWake_.Wait();
    resting_.store(false);
    ring_->Play(true);
    uint32_t write = 0;
    ring_->GetCursors(nullptr, &write);
    cursor_ = (write + ringBytes_ - 4) % ringBytes_;
    silentBytes_ = 0;
}

void DS8Audio::RunSlot(PlaySlots<DS8MixVoice>::Slot& slot) {
    DS8MixVoice* voice = slot.voice;
    // Decoding happens here, without any lock.
    SampleBuffer* sample = DecodeStream(slot.stream.get(), false);
    slot.stream.reset();
    {
        std::lock_guard<Mutex> g(mixer_.Lock());
        voice->mix_.Attach(sample);
        voice->mix_.SetGains(voice->effective_, 0.0f);
    }
    voice->Play(false);
    std::lock_guard<Mutex> g(mutex_);
    oneShots_.push_back({voice, slot.observer});
    PlaySlots<DS8MixVoice>::Free(slot); // free again, though the voice plays on
}

void DS8Audio::Update(float) {
    std::lock_guard<Mutex> g(mutex_);
    {
        std::lock_guard<Mutex> m(mixer_.Lock());
        for (DS8MixVoice* v : voices_)
            if (v->positional_) PositionalUpdate(v);
    }
    for (auto it = oneShots_.begin(); it != oneShots_.end(); ++it) {
        if (it->voice->IsPlaying()) continue;
        OneShot shot = *it;
        oneShots_.erase(it);
        if (shot.observer) {
            shot.observer->Finished();
            shot.observer->voice = nullptr;
        }
        SampleBuffer* sample = shot.voice->mix_.buffer;
        delete shot.voice;
        delete sample;
        break; // one per update
    }
}

void DS8Audio::SetMaxVoices(int count) {
    std::lock_guard<Mutex> g(mutex_);
    std::lock_guard<Mutex> m(mixer_.Lock());
    mixer_.SetMaxVoices(count);
}

AudioVoice* DS8Audio::CreateVoice(SoundRequest& request) {
    DS8MixVoice* voice = new DS8MixVoice(this);
    {
        std::lock_guard<Mutex> g(mutex_);
        SampleBuffer* buffer = nullptr;
        if (!request.streaming) {
            for (CacheEntry& e : cache_)
                if (e.name == request.name) {
                    buffer = e.buffer;
                    break;
                }
        }
        if (!buffer) {
            buffer = DecodeStream(request.stream.get(), request.streaming);
            cache_.push_back({request.name, buffer});
        }
        {
            std::lock_guard<Mutex> m(mixer_.Lock());
            voice->mix_.Attach(buffer);
        }
        voices_.push_back(voice);
    }
    if (request.streaming) voice->StartFeeder(std::move(request.stream));
    if (request.positional) voice->MakePositional();
    return voice;
}

void DS8Audio::ReleaseVoice(AudioVoice* voice) {
    if (!voice) return;
    auto* mixVoice = static_cast<DS8MixVoice*>(voice);
    mixVoice->StopFeeder();
    std::lock_guard<Mutex> g(mutex_);
    auto it = std::find(voices_.begin(), voices_.end(), mixVoice);
    if (it != voices_.end()) voices_.erase(it);
    delete mixVoice;
    for (auto e = cache_.begin(); e != cache_.end(); ++e) {
        if (e->buffer->refCount == 0) {
            delete e->buffer;
            cache_.erase(e);
            break;
        }
    }
}

void DS8Audio::StartOneShot(SoundRequest& request, float volume, PlaybackObserver* observer, const Vector3* position,
                            float minimum, float maximum) {
    std::lock_guard<Mutex> g(mutex_);
    auto* slot = slots_.FindIdle();
    if (!slot) return; // all four busy: the sound is dropped
    auto* voice = new DS8MixVoice(this);
    voice->effective_ = volume;
    if (position) {
        voice->MakePositional();
        voice->positional_->position = *position;
        voice->positional_->minimum = minimum;
        voice->positional_->maximum = maximum;
    }
    if (observer) observer->voice = voice;
    slots_.Hand(*slot, voice, std::move(request.stream), observer);
}

void DS8Audio::Play(SoundRequest& request, float volume, PlaybackObserver* observer) {
    StartOneShot(request, volume, observer, nullptr, 0.0f, 0.0f);
}

void DS8Audio::Play3D(SoundRequest& request, const Vector3& position, float minimum, float maximum, float volume,
                      PlaybackObserver* observer) {
    StartOneShot(request, volume, observer, &position, minimum, maximum);
}

void DS8Audio::PositionalUpdate(DS8MixVoice* voice) {
    const DS8MixVoice::Positional& p = *voice->positional_;
    // Full gain up to the minimum distance, silent at minimum + maximum; panned to the near ear.
    const audiohal::Placement at = audiohal::Locate(listenerFrame_, {p.position.x, p.position.y, p.position.z});
    voice->mix_.SetGains(audiohal::LinearFalloff(at.distance, p.minimum, p.maximum) * voice->effective_, at.side);
    voice->mix_.pitch = voice->pitch_;
}

void DS8Audio::SetPosition(const Vector3& position) {
    std::lock_guard<Mutex> m(mixer_.Lock());
    listenerFrame_.position = {position.x, position.y, position.z};
}

void DS8Audio::SetOrientation(const Quaternion& orientation) {
    // The rotation maps world directions into the listener's axes (as the camera's view
    // rotation does), so its columns are the listener's right, top and front in the world.
    const Matrix4 m = orientation.ToMatrix();
    std::lock_guard<Mutex> g(mixer_.Lock());
    listenerFrame_ = audiohal::ListenerFrame::FromFrontTop(listenerFrame_.position, {m.m[0][2], m.m[1][2], m.m[2][2]},
                                                           {m.m[0][1], m.m[1][1], m.m[2][1]});
}

void DS8Audio::SetVelocity(const Vector3& velocity) {
    std::lock_guard<Mutex> m(mixer_.Lock());
    listenerVelocity_ = velocity;
}

size_t DS8Audio::OneShotCount() {
    std::lock_guard<Mutex> g(mutex_);
    return oneShots_.size();
}

size_t DS8Audio::CacheCount() {
    std::lock_guard<Mutex> g(mutex_);
    return cache_.size();
}

int DS8Audio::IdleSlotCount() { return slots_.IdleCount(); }
