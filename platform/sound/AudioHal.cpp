#include "platform/sound/AudioHal.h"

#include <SDL.h>
#include <alsa/error.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace audiohal {

std::atomic<bool> TestHooks::failSdlOpen{false};
std::atomic<bool> TestHooks::failRingCreation{false};

namespace {
std::atomic<void (*)(const char*)> g_logSink{nullptr};

void LogLine(const char* line) {
    if (auto sink = g_logSink.load()) sink(line);
}

// Hundredths of a decibel to a linear factor; -10000 and below is silence.
float MilliBelGain(int32_t mB) {
    if (mB <= -10000) return 0.0f;
    if (mB >= 0) return 1.0f;
    return std::pow(10.0f, float(mB) / 2000.0f);
}

// Splits [offset, offset + bytes) of a ring of `size` into at most two regions.
bool SplitLock(uint8_t* base, uint32_t size, uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2,
               uint32_t* n2) {
    if (bytes > size || offset >= size || !p1 || !n1) return false;
    uint32_t first = std::min(bytes, size - offset);
    *p1 = base + offset;
    *n1 = first;
    if (p2) *p2 = bytes > first ? base : nullptr;
    if (n2) *n2 = bytes - first;
    return true;
}
} // namespace

void SetLogSink(void (*sink)(const char* line)) { g_logSink.store(sink); }

// State shared by the device, its buffers and the mixing callback; the mutex is held by the
// callback while it mixes one period and briefly by every parameter change.
struct Core {
    std::mutex lock;
    PcmFormat format;
    std::vector<RingBuffer*> rings;              // playing rings
    std::vector<VoiceBuffer*> voices;            // playing voice buffers
    std::vector<VoiceBuffer*> positional;        // every live positional buffer
    ListenerState pending, active;
    std::vector<float> acc;
    std::condition_variable written; // a ring's writer may go on (with the lock)
    std::condition_variable started; // a ring or a voice buffer started playing (with the lock)

    // Mixes `frames` output frames (S16 stereo) into out.
    void Mix(int16_t* out, uint32_t frames) {
        std::lock_guard<std::mutex> g(lock);
        if (rings.empty() && voices.empty()) { // nothing plays (a resting device): silence
            std::memset(out, 0, size_t(frames) * 4);
            return;
        }
        if (acc.size() < size_t(frames) * 2) acc.resize(size_t(frames) * 2);
        float* a = acc.data();
        std::fill(a, a + size_t(frames) * 2, 0.0f);
        const uint32_t period = Device::kPeriodFrames * 4;
        for (size_t r = 0; r < rings.size();) {
            RingBuffer* ring = rings[r];
            const uint32_t size = ring->Size();
            uint32_t play = ring->play_.load(std::memory_order_relaxed);
            const uint8_t* data = ring->data_.data();
            bool ended = false;
            for (uint32_t f = 0; f < frames; ++f) {
                int16_t s[2];
                std::memcpy(s, data + play, 4);
                a[f * 2] += s[0];
                a[f * 2 + 1] += s[1];
                play += 4;
                if (play >= size) {
                    play = 0;
                    if (!ring->loop_) {
                        ended = true;
                        break;
                    }
                }
            }
            ring->play_.store(play, std::memory_order_release);
            ring->write_.store((play + period) % size, std::memory_order_release);
            if (ring->waiting_ && ring->WritePassed(ring->waitOffset_)) written.notify_all();
            if (ended) {
                ring->playing_ = false;
                rings.erase(rings.begin() + long(r));
            } else {
                ++r;
            }
        }
        Hearing listener;
        listener.frame = ListenerFrame::FromFrontTop(active.position, active.front, active.top);
        listener.velocity = active.velocity;
        if (active.distanceFactor > 0.0f) listener.speedOfSound = Hearing::kSpeedOfSound / active.distanceFactor;
        listener.doppler = active.dopplerFactor;
        for (size_t v = 0; v < voices.size();) {
            if (voices[v]->MixInto(a, frames, format.rate, listener)) {
                ++v;
            } else {
                voices.erase(voices.begin() + long(v));
            }
        }
        for (uint32_t i = 0; i < frames * 2; ++i) {
            float x = a[i];
            out[i] = int16_t(x > 32767.0f ? 32767.0f : (x < -32768.0f ? -32768.0f : x));
        }
    }

    static void Remove(std::vector<VoiceBuffer*>& list, VoiceBuffer* v) {
        auto it = std::find(list.begin(), list.end(), v);
        if (it != list.end()) list.erase(it);
    }
};

// ---------------------------------------------------------------------------------------------

RingBuffer::RingBuffer(std::shared_ptr<Core> core, uint32_t bytes) : core_(std::move(core)), data_(bytes, 0) {}

RingBuffer::~RingBuffer() { Stop(); }

bool RingBuffer::Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2) {
    return SplitLock(data_.data(), Size(), offset, bytes, p1, n1, p2, n2);
}

void RingBuffer::Unlock(void*, uint32_t, void*, uint32_t) {
    // Publishes the written bytes to the mixing thread.
    std::lock_guard<std::mutex> g(core_->lock);
}

bool RingBuffer::Play(bool loop) {
    std::lock_guard<std::mutex> g(core_->lock);
    loop_ = loop;
    if (!playing_) {
        playing_ = true;
        core_->rings.push_back(this);
        write_.store((play_.load() + Device::kPeriodFrames * 4) % Size());
        core_->started.notify_all();
    }
    return true;
}

void RingBuffer::Stop() {
    std::lock_guard<std::mutex> g(core_->lock);
    if (!playing_) return;
    playing_ = false;
    auto it = std::find(core_->rings.begin(), core_->rings.end(), this);
    if (it != core_->rings.end()) core_->rings.erase(it);
}

bool RingBuffer::WritePassed(uint32_t offset) const {
    const uint32_t size = Size();
    const uint32_t ahead = (write_.load(std::memory_order_acquire) + size - offset % size) % size;
    return ahead != 0 && ahead < size / 2;
}

void RingBuffer::WaitForWritePast(uint32_t offset) {
    std::unique_lock<std::mutex> g(core_->lock);
    waiting_ = true;
    waitOffset_ = offset;
    core_->written.wait(g, [&] { return interrupted_ || WritePassed(offset); });
    waiting_ = false;
}

void RingBuffer::Interrupt() {
    std::lock_guard<std::mutex> g(core_->lock);
    interrupted_ = true;
    core_->written.notify_all();
}

void RingBuffer::GetCursors(uint32_t* play, uint32_t* write) const {
    if (play) *play = play_.load(std::memory_order_acquire);
    if (write) *write = write_.load(std::memory_order_acquire);
}

// ---------------------------------------------------------------------------------------------

VoiceBuffer::VoiceBuffer(std::shared_ptr<Core> core, const VoiceDesc& desc,
                         std::shared_ptr<std::vector<uint8_t>> data)
    : core_(std::move(core)), data_(std::move(data)), format_(desc.format), bytes_(desc.bytes),
      frames_(desc.bytes / desc.format.blockAlign), positional_(desc.positional), frequency_(desc.format.rate) {
    if (positional_) {
        std::lock_guard<std::mutex> g(core_->lock);
        core_->positional.push_back(this);
    }
}

VoiceBuffer::~VoiceBuffer() {
    std::lock_guard<std::mutex> g(core_->lock);
    Core::Remove(core_->voices, this);
    Core::Remove(core_->positional, this);
}

bool VoiceBuffer::Lock(uint32_t offset, uint32_t bytes, void** p1, uint32_t* n1, void** p2, uint32_t* n2) {
    return SplitLock(data_->data(), bytes_, offset, bytes, p1, n1, p2, n2);
}

void VoiceBuffer::Unlock(void*, uint32_t, void*, uint32_t) { std::lock_guard<std::mutex> g(core_->lock); }

void VoiceBuffer::SetVolume(int32_t mB) {
    std::lock_guard<std::mutex> g(core_->lock);
    volume_ = std::clamp(mB, -10000, 0);
}

void VoiceBuffer::SetPan(int32_t mB) {
    std::lock_guard<std::mutex> g(core_->lock);
    pan_ = std::clamp(mB, -10000, 10000);
}

void VoiceBuffer::SetFrequency(uint32_t hz) {
    std::lock_guard<std::mutex> g(core_->lock);
    frequency_ = std::clamp<uint32_t>(hz, 100, 100000);
}

bool VoiceBuffer::Play(uint32_t priority, bool loop) {
    std::lock_guard<std::mutex> g(core_->lock);
    priority_ = priority;
    loop_ = loop;
    if (!playing_.load()) {
        playing_.store(true);
        core_->voices.push_back(this);
        core_->started.notify_all();
    }
    return true;
}

void VoiceBuffer::Stop() {
    std::lock_guard<std::mutex> g(core_->lock);
    playing_.store(false);
    Core::Remove(core_->voices, this);
}

void VoiceBuffer::SetCurrentPosition(uint32_t byte) {
    std::lock_guard<std::mutex> g(core_->lock);
    uint32_t frame = frames_ ? (byte / format_.blockAlign) % frames_ : 0;
    cursor_ = {frame, 0};
    playByte_.store(frame * format_.blockAlign);
}

void VoiceBuffer::GetCurrentPosition(uint32_t* play, uint32_t* write) const {
    uint32_t p = playByte_.load();
    if (play) *play = p;
    if (write) {
        // The mixer reads about one output period ahead of the play position.
        uint32_t lead = (uint32_t(uint64_t(Device::kPeriodFrames) * frequency_ / std::max(1u, format_.rate)) + 1) *
                        format_.blockAlign;
        *write = bytes_ ? (p + lead) % bytes_ : 0;
    }
}

void VoiceBuffer::SetMinDistance(float d, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    pending_.minDistance = d;
    if (!deferred) active_.minDistance = d;
}

void VoiceBuffer::SetMaxDistance(float d, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    pending_.maxDistance = d;
    if (!deferred) active_.maxDistance = d;
}

void VoiceBuffer::SetPosition(Vec3 p, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    pending_.position = p;
    if (!deferred) active_.position = p;
}

void VoiceBuffer::SetVelocity(Vec3 v, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    pending_.velocity = v;
    if (!deferred) active_.velocity = v;
}

bool VoiceBuffer::MixInto(float* acc, uint32_t frames, uint32_t outRate, const Hearing& listener) {
    if (frames_ == 0) {
        if (loop_) return true;
        playing_.store(false);
        return false;
    }
    StereoGain gain{MilliBelGain(volume_), MilliBelGain(volume_)};
    uint32_t rate = frequency_;
    if (positional_) {
        // Distance attenuation (min/dist beyond min, muted beyond max; the ratio is the same in
        // metres as in world units), the near-ear pan and the Doppler shift.
        const Placement at = Locate(listener.frame, active_.position);
        gain = PanLaw(gain.left * InverseFalloff(at.distance, active_.minDistance, active_.maxDistance), at.side);
        const float shift = DopplerRatio(listener.frame.position, listener.velocity, active_.position,
                                         active_.velocity, listener.speedOfSound, listener.doppler);
        if (shift != 1.0f)
            rate = uint32_t(std::clamp(std::lround(double(frequency_) * double(shift)), 100l, 100000l));
    } else if (pan_ < 0) {
        gain.right *= MilliBelGain(pan_);
    } else if (pan_ > 0) {
        gain.left *= MilliBelGain(-pan_);
    }
    const Step step(rate, outRate);
    const bool loop = loop_;
    const auto wrap = [loop] { return loop; };
    bool alive;
    if (gain.left == 0.0f && gain.right == 0.0f) {
        alive = SkipVoice(cursor_, step, frames_, frames, wrap); // silent: only the time passes
    } else {
        const Layout layout = format_.channels == 1 ? Layout::Mono
                              : positional_         ? Layout::StereoAsMono
                                                    : Layout::Stereo;
        const Source src{reinterpret_cast<const int16_t*>(data_->data()), frames_, layout, loop};
        alive = MixVoice<Interpolation::Linear>(src, cursor_, step, FloatGains{gain.left, gain.right}, acc, frames,
                                                true, wrap);
    }
    playByte_.store(cursor_.frame * format_.blockAlign);
    if (!alive) playing_.store(false);
    return alive;
}

// ---------------------------------------------------------------------------------------------

void Listener3D::SetPosition(Vec3 p, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    core_->pending.position = p;
    if (!deferred) core_->active.position = p;
}

void Listener3D::SetOrientation(Vec3 front, Vec3 top, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    core_->pending.front = front;
    core_->pending.top = top;
    if (!deferred) {
        core_->active.front = front;
        core_->active.top = top;
    }
}

void Listener3D::SetVelocity(Vec3 v, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    core_->pending.velocity = v;
    if (!deferred) core_->active.velocity = v;
}

void Listener3D::SetDistanceFactor(float f, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    core_->pending.distanceFactor = f;
    if (!deferred) core_->active.distanceFactor = f;
}

void Listener3D::SetDopplerFactor(float f, bool deferred) {
    std::lock_guard<std::mutex> g(core_->lock);
    core_->pending.dopplerFactor = f;
    if (!deferred) core_->active.dopplerFactor = f;
}

void Listener3D::Commit() {
    std::lock_guard<std::mutex> g(core_->lock);
    core_->active = core_->pending;
    for (VoiceBuffer* v : core_->positional) v->active_ = v->pending_;
}

// ---------------------------------------------------------------------------------------------

namespace {

void DropAlsaLine(const char*, int, const char*, int, const char*, ...) {}

} // namespace

void QuietAlsa() {
    // SDL loads the same library by name: the handler holds for its calls too.
    static const bool quiet = (snd_lib_error_set_handler(&DropAlsaLine), true);
    (void)quiet;
}

std::vector<DeviceInfo> EnumerateDevices() {
    std::vector<DeviceInfo> list;
    list.push_back({"Default audio device", ""});
    QuietAlsa();
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return list;
    int n = SDL_GetNumAudioDevices(0);
    for (int i = 0; i < n; ++i) {
        const char* name = SDL_GetAudioDeviceName(i, 0);
        if (name) list.push_back({name, name});
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return list;
}

struct Device::NullThread {
    std::thread thread;
    std::mutex lock;
    std::condition_variable wake;
    std::atomic<bool> stop{false};
};

Device::Device(Backend backend) : backend_(backend), core_(std::make_shared<Core>()), listener_(core_.get()) {
    primary_.reset(new RingBuffer(core_, PrimaryBytes()));
}

std::unique_ptr<Device> Device::Open(int index, Backend backend) {
    std::unique_ptr<Device> device(new Device(backend));
    device->index_ = index;
    if (backend == Backend::Sdl) {
        if (TestHooks::failSdlOpen.load()) return nullptr;
        QuietAlsa();
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return nullptr;
        device->sdlInited_ = true;
        if (index > 0) {
            int n = SDL_GetNumAudioDevices(0);
            if (index - 1 < n) {
                const char* name = SDL_GetAudioDeviceName(index - 1, 0);
                if (name) device->sdlName_ = name;
            }
        }
    }
    if (!device->OpenOutput()) return nullptr;
    return device;
}

Device::~Device() {
    CloseOutput(); // waits for a running callback before any buffer goes away
    primary_.reset();
    if (sdlInited_) SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

const PcmFormat& Device::PrimaryFormat() const { return core_->format; }

bool Device::OpenOutput() {
    switch (backend_) {
    case Backend::Capture:
        return true;
    case Backend::Null:
        null_ = std::make_unique<NullThread>();
        null_->thread = std::thread([this] { NullLoop(); });
        return true;
    case Backend::Sdl: {
        SDL_AudioSpec want{}, have{};
        want.freq = int(core_->format.rate);
        want.format = AUDIO_S16LSB;
        want.channels = 2;
        want.samples = uint16_t(kPeriodFrames);
        want.userdata = core_.get();
        want.callback = [](void* user, Uint8* stream, int len) {
            static_cast<Core*>(user)->Mix(reinterpret_cast<int16_t*>(stream), uint32_t(len) / 4);
        };
        sdlDevice_ = SDL_OpenAudioDevice(sdlName_.empty() ? nullptr : sdlName_.c_str(), 0, &want, &have, 0);
        if (sdlDevice_ == 0) return false;
        SDL_PauseAudioDevice(sdlDevice_, 0);
        return true;
    }
    }
    return false;
}

void Device::CloseOutput() {
    if (sdlDevice_) {
        SDL_CloseAudioDevice(sdlDevice_);
        sdlDevice_ = 0;
    }
    if (null_) {
        {
            std::lock_guard<std::mutex> g(null_->lock);
            null_->stop = true;
        }
        null_->wake.notify_all();
        {
            std::lock_guard<std::mutex> g(core_->lock); // it may be waiting for something to play
            core_->started.notify_all();
        }
        if (null_->thread.joinable()) null_->thread.join();
        null_.reset();
    }
}

void Device::NullLoop() {
    using Clock = std::chrono::steady_clock;
    std::vector<int16_t> scratch(size_t(kPeriodFrames) * 2);
    auto next = Clock::now();
    std::unique_lock<std::mutex> lk(null_->lock);
    while (!null_->stop) {
        lk.unlock();
        {
            // With nothing playing there is nothing to advance: wait until something starts.
            std::unique_lock<std::mutex> g(core_->lock);
            core_->started.wait(g, [this] { return null_->stop || !core_->rings.empty() || !core_->voices.empty(); });
        }
        lk.lock();
        if (null_->stop) break;
        const auto period = std::chrono::nanoseconds(int64_t(kPeriodFrames) * 1000000000 / core_->format.rate);
        next += period;
        auto now = Clock::now();
        if (next < now - 10 * period) next = now; // fell far behind (suspended): do not race
        if (null_->wake.wait_until(lk, next, [this] { return null_->stop.load(); })) break;
        lk.unlock();
        core_->Mix(scratch.data(), kPeriodFrames);
        lk.lock();
    }
}

bool Device::SetPrimaryFormat(const PcmFormat& format) {
    if (format.tag != 1 || format.bits != 16 || format.channels != 2 || format.rate == 0) return false;
    if (format.rate == core_->format.rate) {
        core_->format = format;
        return true;
    }
    CloseOutput();
    {
        std::lock_guard<std::mutex> g(core_->lock);
        core_->format = format;
    }
    return OpenOutput();
}

std::unique_ptr<RingBuffer> Device::CreateRing(uint32_t bytes, const PcmFormat& format) {
    if (TestHooks::failRingCreation.load()) return nullptr;
    const PcmFormat& out = core_->format;
    if (bytes == 0 || bytes % 4 != 0 || format.tag != 1 || format.bits != 16 || format.channels != 2 ||
        format.rate != out.rate)
        return nullptr;
    return std::unique_ptr<RingBuffer>(new RingBuffer(core_, bytes));
}

std::unique_ptr<VoiceBuffer> Device::CreateVoiceBuffer(const VoiceDesc& desc) {
    const PcmFormat& f = desc.format;
    if (f.tag != 1 || f.bits != 16 || (f.channels != 1 && f.channels != 2) || f.blockAlign != f.channels * 2 ||
        f.rate == 0 || desc.bytes < f.blockAlign)
        return nullptr;
    if (desc.positional && f.channels == 2)
        LogLine("audiohal: stereo positional buffer is mixed as mono");
    auto data = std::make_shared<std::vector<uint8_t>>(desc.bytes, 0);
    return std::unique_ptr<VoiceBuffer>(new VoiceBuffer(core_, desc, std::move(data)));
}

std::unique_ptr<VoiceBuffer> Device::Duplicate(const VoiceBuffer& source) {
    VoiceDesc desc;
    desc.format = source.format_;
    desc.bytes = source.bytes_;
    desc.positional = source.positional_;
    std::unique_ptr<VoiceBuffer> copy(new VoiceBuffer(core_, desc, source.data_));
    std::lock_guard<std::mutex> g(core_->lock);
    copy->volume_ = source.volume_;
    copy->pan_ = source.pan_;
    copy->frequency_ = source.frequency_;
    copy->pending_ = source.pending_;
    copy->active_ = source.active_;
    return copy;
}

void Device::Render(uint32_t frames) {
    while (frames > 0) {
        uint32_t n = std::min(frames, kPeriodFrames);
        size_t at = captured_.size();
        captured_.resize(at + size_t(n) * 2);
        core_->Mix(captured_.data() + at, n);
        frames -= n;
    }
}

} // namespace audiohal
