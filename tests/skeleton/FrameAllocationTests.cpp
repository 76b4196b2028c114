// The frame allocates nothing once running: built with the program's counting allocation
// operators, so every allocation of the process is seen.
#include <gtest/gtest.h>

#include "engine/audio/AudioDevice.h"
#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "engine/core/InputDevice.h"
#include "engine/core/Memory.h"
#include "engine/render/NullRenderFacility.h"
#include "tests/support/TestSupport.h"

namespace {

class ReadyPage : public MLP {
public:
    bool IsReady() override { return true; }
};

TEST(FrameAllocation, SteadyFramesAllocateNothing) {
    testing_support::TempWorkDir dir;
    ZKEngine* engine = new ZKEngine;
    DInputDevice* input = new DInputDevice;
    engine->Init(new NullRenderFacility, new NullAudioDevice, input, SharedString(""));
    Debugger::Instance().SetWarningLevel(0);
    ReadyPage page;
    engine->SetMLP(&page);
    for (int i = 0; i < 10; ++i) engine->Frame(); // first-use work settles

    const MemoryCounters before = GetMemoryCounters();
    for (int i = 0; i < 1000; ++i) engine->Frame();
    const MemoryCounters after = GetMemoryCounters();
    EXPECT_EQ(after.totalBlocks, before.totalBlocks);
    EXPECT_EQ(engine->frameNumber, 1010u);

    engine->Shutdown();
    delete input;
    delete engine;
}

} // namespace
