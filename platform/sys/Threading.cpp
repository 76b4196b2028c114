#include "platform/sys/Threading.h"

#include <atomic>
#include <cerrno>
#include <new>
#include <pthread.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {
namespace {
std::atomic<int> g_nextMutexId{1};
pthread_mutex_t* AsMutex(unsigned char* s) { return reinterpret_cast<pthread_mutex_t*>(s); }
static_assert(sizeof(pthread_mutex_t) <= 64, "mutex storage too small");
} // namespace

NativeMutex::NativeMutex() : id_(g_nextMutexId.fetch_add(1)) {
    pthread_mutexattr_t attr;
    pthread_mutexattr_init(&attr);
    pthread_mutexattr_settype(&attr, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutexattr_setrobust(&attr, PTHREAD_MUTEX_ROBUST);
    pthread_mutex_init(new (storage_) pthread_mutex_t, &attr);
    pthread_mutexattr_destroy(&attr);
}

NativeMutex::~NativeMutex() { pthread_mutex_destroy(AsMutex(storage_)); }

NativeMutex::LockResult NativeMutex::Lock(int& errorCode) {
    int r = pthread_mutex_lock(AsMutex(storage_));
    if (r == 0) return LockResult::Ok;
    errorCode = r;
    if (r == EOWNERDEAD) {
        pthread_mutex_consistent(AsMutex(storage_));
        return LockResult::Abandoned;
    }
    return LockResult::Failed;
}

bool NativeMutex::TryLock() {
    int r = pthread_mutex_trylock(AsMutex(storage_));
    if (r == EOWNERDEAD) {
        pthread_mutex_consistent(AsMutex(storage_));
        return true;
    }
    return r == 0;
}

void NativeMutex::Unlock() { pthread_mutex_unlock(AsMutex(storage_)); }

void SetCurrentThreadPriority(Priority p) {
    int nice = 0;
    if (p == Priority::Idle) nice = 19;
    else if (p == Priority::BelowNormal) nice = 5;
    pid_t tid = static_cast<pid_t>(syscall(SYS_gettid));
    int current = getpriority(PRIO_PROCESS, static_cast<id_t>(tid));
    if (nice < current) return; // lowering the niceness needs privilege; not attempted
    (void)setpriority(PRIO_PROCESS, static_cast<id_t>(tid), nice);
}

void SetProcessPriorityLevel(int level) {
    (void)setpriority(PRIO_PROCESS, 0, level == 0 ? 19 : 0);
}

} // namespace plat
