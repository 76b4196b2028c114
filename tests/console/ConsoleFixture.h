#pragma once
#include <algorithm>
#include <functional>
#include <tuple>
#include <string>
#include <vector>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Console.h"
#include "engine/core/Engine.h"
#include "tests/support/FakeAudioDevice.h"
#include "tests/support/FakeInputDevice.h"
#include "tests/support/TestSupport.h"

namespace {

// Remembers the arguments it was run with.
class RecordingCommand : public ConsoleCommand {
public:
    explicit RecordingCommand(const char* commandName) : ConsoleCommand(SharedString(commandName)) {}
    void Execute(const SharedString& arguments) override { calls.emplace_back(arguments.c_str()); }
    std::vector<std::string> calls;
};

class ReadyMLP : public MLP {
public:
    explicit ReadyMLP(const char* mlpName) { name = SharedString(mlpName); }
    bool IsReady() override { return true; }
};

using testing_support::FakeAudioDevice;
using testing_support::FakeInputDevice;

class ConsoleTest : public ::testing::Test {
protected:
    void SetUp() override { StartEngine(nullptr); }
    void TearDown() override { StopEngine(); }

    void StartEngine(AudioDevice* sound, bool keepQueuedLog = false) {
        if (!keepQueuedLog) Debugger::Instance().ResetForTests();
        engine = new ZKEngine;
        engine->Init(nullptr, sound, &input, SharedString(""));
        console = engine->console;
    }
    void StopEngine() {
        if (!engine) return;
        engine->Shutdown();
        delete engine;
        engine = nullptr;
        Debugger::Instance().ResetForTests();
    }

    // Typing reaches the console while it is open.
    void Type(const char* text) {
        if (!console->IsOpen()) console->Open();
        input.Type(text);
    }
    // Types the text and presses Enter in one frame.
    void Enter(const char* text) {
        Type(text);
        input.pressed = {kKeyReturn};
        console->HandleInput(0.016f);
        input.NextFrame();
    }
    void PressKey(uint32_t key) {
        if (!console->IsOpen()) console->Open();
        input.pressed = {key};
        console->HandleInput(0.016f);
        input.NextFrame();
    }
    // The scroll-back from the given number of lines ago, oldest first.
    std::vector<std::string> Since(size_t mark) {
        std::vector<SharedString> lines = console->Lines();
        std::vector<std::string> out;
        for (size_t i = lines.size() - mark; i-- > 0;) out.emplace_back(lines[i].c_str());
        return out;
    }

    testing_support::TempWorkDir dir;
    FakeInputDevice input;
    ZKEngine* engine = nullptr;
    zkConsole* console = nullptr;
};

using Lines = std::vector<std::string>;

} // namespace
