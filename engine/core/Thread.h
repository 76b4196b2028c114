#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

#include "platform/sys/Threading.h"

struct ThreadRecord;

// Handle of a thread. Threads started with Start run detached unless asked to be joinable;
// Close forgets the handle and never stops the thread. Suspend/Resume keep a cooperative
// suspend count: a suspended thread pauses at its next CheckSuspended().
class Thread {
public:
    using Procedure = uint32_t (*)(void* parameter);
    using SelfProcedure = uint32_t (*)(Thread& self, void* parameter);

    Thread() = default;
    // Starts `procedure(self, parameter)` at once with a float priority 0..1.
    Thread(SelfProcedure procedure, void* parameter, float priority, bool joinable = false);
    Thread(const Thread& other) { *this = other; }
    Thread& operator=(const Thread& other);
    ~Thread();

    // Starts procedure(parameter) with a priority index 0..4 (idle, below normal, normal,
    // above normal, time critical; others normal). Returns false (and logs) on failure.
    bool Start(Procedure procedure, void* parameter, int priorityIndex, bool joinable = false);

    static Thread Current();
    bool operator!=(const Thread& other) const;
    bool operator==(const Thread& other) const { return !(*this != other); }
    bool IsValid() const { return record_ != nullptr; }

    void Close();
    void Suspend();
    void Resume();
    // Waits for a joinable thread to finish; false when there is nothing to join.
    bool Join();
    // Called by a running thread at a safe point: waits while its suspend count is above 0.
    static void CheckSuspended();
    int SuspendCount() const;

    static plat::Priority PriorityFromIndex(int index);
    static plat::Priority PriorityFromFloat(float p);

private:
    std::shared_ptr<ThreadRecord> record_;
};

void SetProcessPriority(int level);
void SleepSeconds(float seconds);

// Recursive mutex; wait failures are reported through Debugger::Message and the wait returns.
class Mutex {
public:
    Mutex() = default;
    Mutex(const Mutex&) = delete;
    Mutex& operator=(const Mutex&) = delete;
    void Lock();
    bool TryLock() { return native_.TryLock(); }
    void Unlock() { native_.Unlock(); }
    void Close() {}
    int Id() const { return native_.Id(); }
    // BasicLockable, for std::lock_guard / std::unique_lock.
    void lock() { Lock(); }
    void unlock() { Unlock(); }

private:
    plat::NativeMutex native_;
};

// Counting semaphore with a maximum: a release past the maximum fails and changes nothing.
class Semaphore {
public:
    Semaphore(int32_t initial, int32_t maximum);
    void Wait();
    bool WaitFor(uint32_t milliseconds);
    bool Release();
    int32_t Count() const;
    void Close() {}

private:
    mutable std::mutex lock_;
    std::condition_variable cv_;
    int32_t count_;
    int32_t maximum_;
};

// Event: auto-reset releases one waiter and clears; manual-reset stays signalled.
class Event {
public:
    explicit Event(bool autoReset);
    void Wait();
    bool WaitFor(uint32_t milliseconds);
    void Set();
    void Close() {}

private:
    std::mutex lock_;
    std::condition_variable cv_;
    bool autoReset_;
    bool signalled_ = false;
};

// What the refill thread of a streaming voice needs of its voice: the ring buffer with its
// play position and write offset, guarded by the sound device's mutex.
class StreamVoiceTarget {
public:
    virtual ~StreamVoiceTarget() = default;
    virtual Mutex& DeviceMutex() = 0;
    virtual uint32_t BufferSize() = 0;
    virtual uint32_t PlayPosition() = 0;
    // Lock a region for writing; returns null on failure.
    virtual uint8_t* LockRegion(uint32_t offset, uint32_t bytes) = 0;
    virtual void UnlockRegion(uint32_t offset, uint32_t bytes) = 0;
};

// The decoder that fills a streaming voice; returns the bytes written.
class StreamSource {
public:
    virtual ~StreamSource() = default;
    virtual uint32_t Fill(uint8_t* buffer, uint32_t bytes) = 0;
};

// Refill thread of one streaming voice. Stop joins the thread before the stream is freed, so
// the stream is never used after deletion.
class VoiceStreamThread {
public:
    enum State : int { Stopping = 0, Running = 1, Finished = 2 };
    VoiceStreamThread(StreamVoiceTarget* voice, StreamSource* stream, uint32_t writeOffset = 0);
    ~VoiceStreamThread();
    bool Start(float priority = 0.8f);
    void Stop();
    // Parks the refill thread at its next pass (a voice that is not playing) and lets it go
    // again. Idempotent: repeated calls do not stack.
    void Park();
    void Unpark();
    bool IsParked() const { return parked_.load(); }
    int GetState() const { return state_.load(); }
    uint32_t WriteOffset() const { return writeOffset_.load(); }
    StreamSource* Stream() const { return stream_; }
    // One pass of up to four refills (exposed for tests).
    void RefillPass();

private:
    static uint32_t Run(Thread& self, void* parameter);
    Thread thread_;
    std::atomic<int> state_{Finished};
    StreamVoiceTarget* voice_;
    StreamSource* stream_;
    std::atomic<uint32_t> writeOffset_;
    std::atomic<bool> parked_{false};
};
