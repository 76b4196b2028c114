#pragma once
#include <cstdint>

namespace plat {

// Recursive, robust mutex: the owner may take it again; a mutex whose owner died is
// reported as abandoned and handed to the caller in a consistent state.
class NativeMutex {
public:
    enum class LockResult { Ok, Abandoned, Failed };
    NativeMutex();
    ~NativeMutex();
    NativeMutex(const NativeMutex&) = delete;
    NativeMutex& operator=(const NativeMutex&) = delete;
    // errorCode receives errno on failure.
    LockResult Lock(int& errorCode);
    bool TryLock();
    void Unlock();
    // Small integer the layer assigns, shown in the wait-failure messages.
    int Id() const { return id_; }

private:
    alignas(16) unsigned char storage_[64];
    int id_;
};

// Best-effort niceness for the calling thread: idle 19, below normal 5, all others 0.
// Raising priority is never attempted; failures are ignored.
enum class Priority { Idle, BelowNormal, Normal, AboveNormal, TimeCritical };
void SetCurrentThreadPriority(Priority p);
// Process priority: 0 idle, anything else normal; failures ignored.
void SetProcessPriorityLevel(int level);

} // namespace plat
