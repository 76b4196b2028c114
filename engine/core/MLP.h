#pragma once
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>

#include "engine/core/SharedString.h"

class TaskQueue;

// A named console command; the objects live as long as the process and are not owned by the
// maps that hold them.
class ConsoleCommand {
public:
    explicit ConsoleCommand(const SharedString& commandName) : name(commandName) {}
    virtual ~ConsoleCommand() = default;
    virtual void Execute(const SharedString& arguments) = 0;
    SharedString name;
};

// Base of every game state and screen. The engine makes one MLP current at a time and keeps
// the others on its stack; an MLP that is not ready when it becomes current loads on an init
// thread of its own while the frame keeps running.
class MLP {
public:
    static constexpr uint32_t kInitInProgress = 1u << 0;

    MLP();
    virtual ~MLP();
    MLP(const MLP&) = delete;
    MLP& operator=(const MLP&) = delete;

    // Per frame while current and the console is closed.
    virtual void HandleInput() {}
    // Per frame while current (reads the engine's frame time).
    virtual void Update() {}
    // Between begin and end of scene.
    virtual void Render() {}
    virtual void Activate() {}
    virtual void Deactivate() {}
    // Loads the MLP's resources; runs on the init thread.
    virtual void Load() {}
    virtual void Shutdown() {}
    // The base answers whether an init is in progress: it serves only MLPs that are never
    // stacked (the engine and the console). Stacked MLPs override it with their own test.
    virtual bool IsReady() { return InitInProgress(); }
    virtual void SetFade(float value) { fade = value; }

    // Inserts under the command's name; a name already present keeps its first command.
    void AddCommand(ConsoleCommand* command);
    // Exact, case-sensitive lookup; runs the command and returns true when found.
    bool ExecuteCommand(const SharedString& commandName, const SharedString& arguments);

    // Sets the init-in-progress bit and runs Load on a thread of its own. One init at a time: an
    // MLP arrived at again while it loads keeps the init that runs.
    void StartInit();
    bool InitInProgress() const { return (flags.load() & kInitInProgress) != 0; }
    // Waits (bounded) until a running init thread has finished; true when none is running.
    bool WaitForInit(float timeoutSeconds);
    // As WaitForInit, serving the main thread's queued work meanwhile (an init that makes device
    // objects waits for it). Main thread only when mainThreadTasks is given.
    bool FinishInit(float timeoutSeconds, TaskQueue* mainThreadTasks);

    std::map<SharedString, ConsoleCommand*> commands;
    float timeCurrent = 0.0f;
    float fade = 1.0f;
    SharedString name;
    std::atomic<uint32_t> flags{0};

private:
    static uint32_t InitThread(void* parameter);
    void RunInit();
};

// How long the release of a page waits for its init to end.
constexpr float kPageInitTimeout = 10.0f;
// Logs a page left allocated because its init did not end in time.
void ReportPageStillLoading(const MLP& page);

// Frees an owned page only once its init has ended: the derived page must stay whole while its
// Load runs (the base destructor's wait comes too late for that). The main thread passes its
// task queue. A page whose init does not end in time is left allocated, and logged, rather than
// freed under its thread.
template <class Page>
void ReleasePage(std::unique_ptr<Page>& page, TaskQueue* mainThreadTasks) {
    if (page && !page->FinishInit(kPageInitTimeout, mainThreadTasks)) {
        ReportPageStillLoading(*page);
        (void)page.release();
        return;
    }
    page.reset();
}
