#include "engine/core/MLP.h"

#include <chrono>

#include "engine/core/Debugger.h"
#include "engine/core/TaskQueue.h"
#include "engine/core/Thread.h"
#include "engine/core/Timer.h"

MLP::MLP() : name("Unknown MLP") {}

MLP::~MLP() {
    // An init thread still loading would use a destroyed object.
    WaitForInit(10.0f);
}

void MLP::AddCommand(ConsoleCommand* command) {
    if (!command) return;
    commands.emplace(command->name, command);
}

bool MLP::ExecuteCommand(const SharedString& commandName, const SharedString& arguments) {
    auto it = commands.find(commandName);
    if (it == commands.end()) return false;
    it->second->Execute(arguments);
    return true;
}

void MLP::StartInit() {
    if (flags.fetch_or(kInitInProgress) & kInitInProgress) return;
    Debugger::Instance().Log(3, "ENGINE: Preparing Init...");
    Thread thread;
    if (thread.Start(&MLP::InitThread, this, 2)) {
        thread.Close();
        return;
    }
    // No thread could be started: load here rather than leave the MLP loading forever.
    RunInit();
}

uint32_t MLP::InitThread(void* parameter) {
    static_cast<MLP*>(parameter)->RunInit();
    return 0;
}

void MLP::RunInit() {
    Debugger& log = Debugger::Instance();
    Timer timer;
    timer.Start();
    // The name is kept here: once the bit is clear the MLP may be destroyed at any time.
    SharedString ownName = name;
    log.Log(3, "MLP: Initing %s", ownName.c_str());
    Load();
    log.Log(3, "MLP: %s loaded in %.2f seconds.", ownName.c_str(), double(timer.Elapsed()));
    flags.fetch_and(~kInitInProgress);
    log.Log(3, "MLP: %s inited and ready to GO!", ownName.c_str());
}

bool MLP::WaitForInit(float timeoutSeconds) {
    for (float waited = 0.0f; InitInProgress(); waited += 0.005f) {
        if (waited >= timeoutSeconds) return false;
        SleepSeconds(0.005f);
    }
    return true;
}

bool MLP::FinishInit(float timeoutSeconds, TaskQueue* mainThreadTasks) {
    // Real time: the engine's clock may be a test's, standing still between frames.
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<float>(timeoutSeconds);
    while (InitInProgress()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        if (mainThreadTasks) mainThreadTasks->ProcessTasks();
        SleepSeconds(0.001f);
    }
    return true;
}

void ReportPageStillLoading(const MLP& page) {
    Debugger::Instance().Log(1, "MLP: %s is still loading after %.0f seconds and is left in memory",
                             page.name.c_str(), double(kPageInitTimeout));
}
