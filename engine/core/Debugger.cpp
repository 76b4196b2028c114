#include "engine/core/Debugger.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

DebuggerView::~DebuggerView() {
    Debugger& d = Debugger::Instance();
    std::lock_guard<Mutex> g(d.mutex_);
    if (d.view_ == this) {
        d.view_ = nullptr;
        d.ownsView_ = false;
    }
}

Debugger& Debugger::Instance() {
    // Never destroyed: threads still running at process end may log.
    static Debugger* instance = new Debugger;
    return *instance;
}

Debugger::~Debugger() {
    if (view_ && ownsView_) delete view_;
}

void Debugger::SetView(DebuggerView* view, bool takeOwnership) {
    std::lock_guard<Mutex> g(mutex_);
    if (view_) {
        Log(3, "DEBUGGER: Setting view to %s", view_->name.c_str());
        DebuggerView* old = view_;
        bool owned = ownsView_;
        view_ = nullptr;
        ownsView_ = false;
        if (owned) delete old;
    }
    view_ = view;
    ownsView_ = view && takeOwnership;
    if (!view_) return;
    Log(3, "DEBUGGER: View set to %s", view_->name.c_str());
    if (!queue_.empty()) {
        Log(3, "DEBUGGER: Running queue. %d messages pending", int(queue_.size()));
        std::vector<SharedString> pending;
        pending.swap(queue_);
        for (const SharedString& line : pending) Print(line);
        Log(3, "DEBUGGER: Clearing queue");
        Log(3, "DEBUGGER: Queue cleared. Proceeding...");
    }
}

void Debugger::FormatAndPrint(const char* format, va_list args) {
    std::lock_guard<Mutex> g(mutex_);
    bool wasBusy = busy_.exchange(true);
    char buffer[1024];
    int n = std::vsnprintf(buffer, sizeof buffer, format, args);
    if (n < 0) buffer[0] = 0;
    {
        SharedString line(buffer);
        Print(line);
    }
    busy_.store(wasBusy);
}

void Debugger::Log(int32_t level, const char* format, ...) {
    if (warningLevel_.load(std::memory_order_relaxed) < level) return;
    va_list args;
    va_start(args, format);
    FormatAndPrint(format, args);
    va_end(args);
}

void Debugger::Message(const char* format, ...) {
    va_list args;
    va_start(args, format);
    FormatAndPrint(format, args);
    va_end(args);
}

void Debugger::Print(const SharedString& line) {
    std::lock_guard<Mutex> g(mutex_);
    bool wasBusy = busy_.exchange(true);
    if (view_) view_->Print(line);
    else queue_.push_back(line);
    busy_.store(wasBusy);
}

void Debugger::SetWarningLevel(int32_t level) {
    warningLevel_.store(level, std::memory_order_relaxed);
    Log(3, "DEBUGGER: Setting warning level to %d", level);
}

size_t Debugger::QueuedCount() {
    std::lock_guard<Mutex> g(mutex_);
    return queue_.size();
}

void Debugger::ResetForTests() {
    std::lock_guard<Mutex> g(mutex_);
    if (view_ && ownsView_) delete view_;
    view_ = nullptr;
    ownsView_ = false;
    queue_.clear();
    warningLevel_.store(3);
}
