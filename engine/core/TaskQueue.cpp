#include "engine/core/TaskQueue.h"

#include "engine/core/Debugger.h"

void TaskQueue::AddTask(Task function, const void* tag) {
    std::lock_guard<Mutex> g(lock_);
    entries_.push_back(Entry{std::move(function), tag});
}

size_t TaskQueue::Count() {
    std::lock_guard<Mutex> g(lock_);
    return entries_.size();
}

void TaskQueue::ProcessTasks() {
    lock_.Lock();
    if (entries_.empty()) {
        lock_.Unlock();
        return;
    }
    Debugger::Instance().Log(3, "ENGINE: Processing %d tasks", int(entries_.size()));
    // Walk from the newest entry down; tasks added meanwhile land behind the walk.
    for (size_t i = entries_.size(); i-- > 0;) {
        if (i >= entries_.size() || !entries_[i].tag) continue;
        Task task = std::move(entries_[i].function);
        entries_.erase(entries_.begin() + std::ptrdiff_t(i));
        lock_.Unlock();
        if (task) task();
        lock_.Lock();
    }
    lock_.Unlock();
    Debugger::Instance().Log(3, "ENGINE: Returning to normal procedure");
}
