#pragma once
#include <functional>
#include <vector>

#include "engine/core/Thread.h"

// Functions that other threads hand to the main thread (which owns the graphics device).
// The main thread runs them at the start of every frame, newest first. An entry with a null
// tag stays queued and never runs.
class TaskQueue {
public:
    using Task = std::function<void()>;
    // Callable from any thread.
    void AddTask(Task function, const void* tag);
    // Main thread only. The lock is never held while a task runs.
    void ProcessTasks();
    size_t Count();

private:
    struct Entry {
        Task function;
        const void* tag;
    };
    std::vector<Entry> entries_;
    Mutex lock_;
};
