#pragma once
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <vector>

#include "engine/core/SharedString.h"
#include "engine/core/Thread.h"

// An output of the log (the graphical console's view, a test's capture).
class DebuggerView {
public:
    DebuggerView() = default;
    DebuggerView(const DebuggerView&) = delete;
    DebuggerView& operator=(const DebuggerView&) = delete;
    // Unregisters itself from the Debugger when it is the current view.
    virtual ~DebuggerView();
    virtual void Print(const SharedString& line) = 0;
    SharedString name;
};

// The program's one log. Lines carry a level (1 error, 2 warning, 3 information) and are
// dropped above the warning level; Message lines are never dropped. Until a view is set,
// lines wait in a queue and are replayed, in order, to the first view.
class Debugger {
public:
    static Debugger& Instance();
    virtual ~Debugger();

    // Installs a view. The Debugger deletes a replaced view only when it owns it; the
    // console's embedded view is registered without ownership. Null detaches the view.
    virtual void SetView(DebuggerView* view, bool takeOwnership = false);
    virtual void Log(int32_t level, const char* format, ...) __attribute__((format(printf, 3, 4)));
    virtual void Message(const char* format, ...) __attribute__((format(printf, 2, 3)));
    virtual void Print(const SharedString& line);

    void SetWarningLevel(int32_t level);
    int32_t GetWarningLevel() const { return warningLevel_.load(std::memory_order_relaxed); }
    bool IsBusy() const { return busy_.load(std::memory_order_relaxed); }
    DebuggerView* GetView() const { return view_; }
    size_t QueuedCount();
    // Test support: forget the view (without deleting it) and the queue, level back to 3.
    void ResetForTests();

private:
    friend class DebuggerView;
    Debugger() = default;
    void FormatAndPrint(const char* format, va_list args);

    // Read without the lock by every thread that logs.
    std::atomic<int32_t> warningLevel_{3};
    DebuggerView* view_ = nullptr;
    bool ownsView_ = false;
    std::atomic<bool> busy_{false};
    Mutex mutex_;
    std::vector<SharedString> queue_;
};
