#include "engine/core/Thread.h"

#include <chrono>
#include <system_error>

#include "engine/core/Debugger.h"

struct ThreadRecord {
    std::thread::id id;
    std::thread joinable; // only for threads started joinable
    std::mutex lock;
    std::condition_variable cv;
    int suspendCount = 0;
    // The last handle may go before anyone joined (or on the thread itself, as it ends):
    // the thread then runs on detached, as every other thread does.
    ~ThreadRecord() {
        if (joinable.joinable()) joinable.detach();
    }
};

namespace {
thread_local std::shared_ptr<ThreadRecord> t_self;

// Serialises thread starts (one start record in flight at a time).
std::mutex& StartMutex() {
    static std::mutex m;
    return m;
}
} // namespace

plat::Priority Thread::PriorityFromIndex(int index) {
    switch (index) {
    case 0: return plat::Priority::Idle;
    case 1: return plat::Priority::BelowNormal;
    case 3: return plat::Priority::AboveNormal;
    case 4: return plat::Priority::TimeCritical;
    default: return plat::Priority::Normal;
    }
}

plat::Priority Thread::PriorityFromFloat(float p) {
    if (p == 0.0f) return plat::Priority::Idle;
    if (p > 0.0f && p <= 0.33f) return plat::Priority::BelowNormal;
    if (p > 0.0f && p <= 0.66f) return plat::Priority::Normal;
    if (p > 0.0f && p <= 0.99f) return plat::Priority::AboveNormal;
    if (p == 1.0f) return plat::Priority::TimeCritical;
    return plat::Priority::Normal;
}

namespace {
template <class Body>
bool LaunchThread(std::shared_ptr<ThreadRecord>& record, bool joinable, plat::Priority prio, Body body) {
    std::lock_guard<std::mutex> guard(StartMutex());
    auto rec = std::make_shared<ThreadRecord>();
    try {
        std::thread t([rec, prio, body]() mutable {
            t_self = rec;
            plat::SetCurrentThreadPriority(prio);
            body();
            t_self.reset();
        });
        rec->id = t.get_id();
        if (joinable) rec->joinable = std::move(t);
        else t.detach();
    } catch (const std::system_error& e) {
        Debugger::Instance().Message("ENGINE: Failed starting thread (%s)", e.what());
        return false;
    }
    record = rec;
    return true;
}
} // namespace

Thread::Thread(SelfProcedure procedure, void* parameter, float priority, bool joinable) {
    LaunchThread(record_, joinable, PriorityFromFloat(priority), [procedure, parameter]() {
        Thread self;
        self.record_ = t_self;
        procedure(self, parameter);
    });
}

Thread& Thread::operator=(const Thread& other) {
    if (this != &other) record_ = other.record_;
    return *this;
}

Thread::~Thread() = default;

bool Thread::Start(Procedure procedure, void* parameter, int priorityIndex, bool joinable) {
    return LaunchThread(record_, joinable, PriorityFromIndex(priorityIndex),
                        [procedure, parameter]() { procedure(parameter); });
}

Thread Thread::Current() {
    Thread t;
    if (t_self) {
        t.record_ = t_self;
    } else {
        t.record_ = std::make_shared<ThreadRecord>();
        t.record_->id = std::this_thread::get_id();
    }
    return t;
}

bool Thread::operator!=(const Thread& other) const {
    std::thread::id a = record_ ? record_->id : std::thread::id();
    std::thread::id b = other.record_ ? other.record_->id : std::thread::id();
    return a != b;
}

void Thread::Close() { record_.reset(); }

void Thread::Suspend() {
    if (!record_) return;
    std::lock_guard<std::mutex> g(record_->lock);
    ++record_->suspendCount;
}

void Thread::Resume() {
    if (!record_) return;
    std::lock_guard<std::mutex> g(record_->lock);
    if (record_->suspendCount > 0 && --record_->suspendCount == 0) record_->cv.notify_all();
}

int Thread::SuspendCount() const {
    if (!record_) return 0;
    std::lock_guard<std::mutex> g(record_->lock);
    return record_->suspendCount;
}

bool Thread::Join() {
    if (!record_ || !record_->joinable.joinable()) return false;
    if (record_->joinable.get_id() == std::this_thread::get_id()) return false;
    record_->joinable.join();
    return true;
}

void Thread::CheckSuspended() {
    std::shared_ptr<ThreadRecord> rec = t_self;
    if (!rec) return;
    std::unique_lock<std::mutex> g(rec->lock);
    rec->cv.wait(g, [&] { return rec->suspendCount == 0; });
}

void SetProcessPriority(int level) { plat::SetProcessPriorityLevel(level); }

void SleepSeconds(float seconds) {
    // Truncated milliseconds; zero, negative and NaN yield, and a huge value is capped
    // rather than overflowing the conversion.
    double ms = double(seconds * 1000.0f);
    if (!(ms >= 1.0)) {
        std::this_thread::yield();
        return;
    }
    if (ms > double(INT32_MAX)) ms = double(INT32_MAX);
    std::this_thread::sleep_for(std::chrono::milliseconds(int64_t(ms)));
}

void Mutex::Lock() {
    int err = 0;
    switch (native_.Lock(err)) {
    case plat::NativeMutex::LockResult::Ok: break;
    case plat::NativeMutex::LockResult::Abandoned:
        Debugger::Instance().Message("Mutex wait abandoned! Handle = %d, Errorcode = %d", native_.Id(), err);
        break;
    case plat::NativeMutex::LockResult::Failed:
        Debugger::Instance().Message("Mutex wait failed! Handle = %d, Errorcode = %d", native_.Id(), err);
        break;
    }
}

Semaphore::Semaphore(int32_t initial, int32_t maximum) : count_(initial), maximum_(maximum) {}

void Semaphore::Wait() {
    std::unique_lock<std::mutex> g(lock_);
    cv_.wait(g, [&] { return count_ > 0; });
    --count_;
}

bool Semaphore::WaitFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> g(lock_);
    if (!cv_.wait_for(g, std::chrono::milliseconds(milliseconds), [&] { return count_ > 0; })) return false;
    --count_;
    return true;
}

bool Semaphore::Release() {
    std::lock_guard<std::mutex> g(lock_);
    if (count_ >= maximum_) return false;
    ++count_;
    cv_.notify_one();
    return true;
}

int32_t Semaphore::Count() const {
    std::lock_guard<std::mutex> g(lock_);
    return count_;
}

Event::Event(bool autoReset) : autoReset_(autoReset) {}

void Event::Wait() {
    std::unique_lock<std::mutex> g(lock_);
    cv_.wait(g, [&] { return signalled_; });
    if (autoReset_) signalled_ = false;
}

bool Event::WaitFor(uint32_t milliseconds) {
    std::unique_lock<std::mutex> g(lock_);
    if (!cv_.wait_for(g, std::chrono::milliseconds(milliseconds), [&] { return signalled_; })) return false;
    if (autoReset_) signalled_ = false;
    return true;
}

void Event::Set() {
    std::lock_guard<std::mutex> g(lock_);
    signalled_ = true;
    if (autoReset_) cv_.notify_one();
    else cv_.notify_all();
}

VoiceStreamThread::VoiceStreamThread(StreamVoiceTarget* voice, StreamSource* stream, uint32_t writeOffset)
    : voice_(voice), stream_(stream), writeOffset_(writeOffset) {}

VoiceStreamThread::~VoiceStreamThread() { Stop(); }

bool VoiceStreamThread::Start(float priority) {
    if (state_.load() == Running) return true;
    if (!stream_ || !voice_) return false; // stopped: the stream is gone
    state_.store(Running);
    thread_ = Thread(&VoiceStreamThread::Run, this, priority, true);
    if (!thread_.IsValid()) {
        state_.store(Finished);
        return false;
    }
    return true;
}

void VoiceStreamThread::RefillPass() {
    const uint32_t size = voice_->BufferSize();
    if (size == 0) return;
    for (int i = 0; i < 4; ++i) {
        uint32_t write = writeOffset_.load() % size;
        uint32_t play;
        {
            std::lock_guard<Mutex> g(voice_->DeviceMutex());
            play = voice_->PlayPosition() % size;
        }
        // play == write means the ring is full (the voice is primed before the thread starts).
        bool wraps = play < write;
        uint32_t freeBytes = wraps ? size - write : play - write;
        if (freeBytes < 8192 && !wraps) break;
        if (freeBytes == 0) break;
        uint8_t* region = voice_->LockRegion(write, freeBytes);
        if (!region) break;
        uint32_t written = stream_->Fill(region, freeBytes);
        if (written > freeBytes) written = freeBytes;
        voice_->UnlockRegion(write, freeBytes);
        writeOffset_.store((write + written) % size);
        if (written == 0) break;
    }
}

uint32_t VoiceStreamThread::Run(Thread&, void* parameter) {
    auto* self = static_cast<VoiceStreamThread*>(parameter);
    while (self->state_.load() == Running) {
        Thread::CheckSuspended();
        if (self->state_.load() != Running) break;
        self->RefillPass();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    self->state_.store(Finished);
    return 0;
}

void VoiceStreamThread::Park() {
    if (!parked_.exchange(true)) thread_.Suspend();
}

void VoiceStreamThread::Unpark() {
    if (parked_.exchange(false)) thread_.Resume();
}

void VoiceStreamThread::Stop() {
    if (state_.load() == Running) state_.store(Stopping);
    parked_.store(false);
    // A suspended thread must be able to see the stop request.
    while (thread_.SuspendCount() > 0) thread_.Resume();
    thread_.Join();
    thread_.Close();
    state_.store(Finished);
    delete stream_;
    stream_ = nullptr;
}
