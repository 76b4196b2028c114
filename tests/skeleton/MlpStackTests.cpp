#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string>

#include "engine/core/Debugger.h"
#include "engine/core/Engine.h"
#include "tests/skeleton/SkeletonFakes.h"
#include "tests/support/TestSupport.h"

using namespace skeleton_test;

namespace {

class MlpStackTest : public ::testing::Test {
protected:
    testing_support::TempWorkDir dir;
    testing_support::LogCapture log{3};
    CallList calls;
    ZKEngine engine;
    RecordingMLP a{"A", calls}, b{"B", calls}, c{"C", calls};
};

TEST_F(MlpStackTest, PushDeactivatesTheCurrentAndActivatesALoadedMLPAtOnce) {
    engine.SetMLP(&a);
    b.timeCurrent = 5.0f;
    calls.clear();
    engine.PushMLP(&b);
    EXPECT_EQ(calls, (CallList{"A Deactivate", "B Activate"}));
    EXPECT_EQ(engine.currentMLP, &b);
    EXPECT_EQ(engine.previousMLP, &a);
    EXPECT_EQ(engine.mlpStack, (std::vector<MLP*>{&a}));
    EXPECT_EQ(b.timeCurrent, 0.0f);
    EXPECT_FALSE(b.InitInProgress());
}

TEST_F(MlpStackTest, PopReturnsToTheMLPBelowActivatedWithItsTimeReset) {
    engine.SetMLP(&a);
    engine.PushMLP(&b);
    a.timeCurrent = 3.0f;
    calls.clear();
    engine.PopMLP();
    EXPECT_EQ(calls, (CallList{"B Deactivate", "A Activate"}));
    EXPECT_EQ(engine.currentMLP, &a);
    EXPECT_EQ(engine.previousMLP, &b);
    EXPECT_TRUE(engine.mlpStack.empty());
    EXPECT_EQ(a.timeCurrent, 0.0f);
}

TEST_F(MlpStackTest, PopOnAnEmptyStackDoesNothingAndLogs) {
    engine.SetMLP(&a);
    calls.clear();
    engine.PopMLP();
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(engine.currentMLP, &a);
    EXPECT_TRUE(log.Contains("ENGINE: PopMLP with an empty MLP stack ignored"));
}

TEST_F(MlpStackTest, SetReplacesTheCurrentWithoutTouchingTheStack) {
    engine.SetMLP(&a);
    EXPECT_TRUE(engine.mlpStack.empty());
    EXPECT_EQ(engine.previousMLP, nullptr);
    engine.PushMLP(&b);
    calls.clear();
    engine.SetMLP(&c);
    EXPECT_EQ(calls, (CallList{"B Deactivate", "C Activate"}));
    EXPECT_EQ(engine.mlpStack, (std::vector<MLP*>{&a}));
    EXPECT_EQ(engine.previousMLP, &b);
}

TEST_F(MlpStackTest, PopToDeactivatesEveryMLPOnTheWayAndLeavesTheTargetAlone) {
    engine.SetMLP(&a);
    engine.PushMLP(&b);
    engine.PushMLP(&c);
    RecordingMLP d("D", calls);
    engine.PushMLP(&d);
    a.timeCurrent = 7.0f;
    calls.clear();
    engine.PopToMLP(&a);
    // D and C were current on the way down; A gets neither a ready check nor an activation.
    EXPECT_EQ(calls, (CallList{"D Deactivate", "C Deactivate", "B Deactivate"}));
    EXPECT_EQ(engine.currentMLP, &a);
    EXPECT_EQ(engine.previousMLP, &d);
    EXPECT_TRUE(engine.mlpStack.empty());
    EXPECT_EQ(a.timeCurrent, 7.0f);
}

TEST_F(MlpStackTest, PopToTheCurrentOnlyChangesThePrevious) {
    engine.SetMLP(&a);
    engine.PushMLP(&b);
    calls.clear();
    engine.PopToMLP(&b);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(engine.previousMLP, &b);
    EXPECT_EQ(engine.currentMLP, &b);
    EXPECT_EQ(engine.mlpStack.size(), 1u);
}

TEST_F(MlpStackTest, PopToAnMLPNotOnTheStackDoesNothingAndLogs) {
    engine.SetMLP(&a);
    engine.PushMLP(&b);
    calls.clear();
    engine.PopToMLP(&c);
    EXPECT_TRUE(calls.empty());
    EXPECT_EQ(engine.currentMLP, &b);
    EXPECT_EQ(engine.previousMLP, &a);
    EXPECT_EQ(engine.mlpStack, (std::vector<MLP*>{&a}));
    EXPECT_TRUE(log.Contains("ENGINE: PopToMLP to C, which is not on the MLP stack, ignored"));
}

TEST_F(MlpStackTest, AnUnloadedMLPIsActivatedBeforeItsInitThreadHasLoadedIt) {
    Event gate(false);
    RecordingMLP slow("Slow", calls, false);
    slow.loadGate = &gate;
    engine.SetMLP(&a);
    calls.clear();
    engine.PushMLP(&slow);
    EXPECT_EQ(calls, (CallList{"A Deactivate", "Slow Activate"}));
    EXPECT_FALSE(slow.readyWhenActivated);
    EXPECT_TRUE(slow.InitInProgress());
    EXPECT_FALSE(slow.IsReady());
    EXPECT_TRUE(log.Contains("ENGINE: Preparing Init..."));

    // The frame skips it while it loads.
    calls.clear();
    engine.Frame();
    EXPECT_TRUE(calls.empty());
    EXPECT_TRUE(log.Contains("ENGINE: Loading Slow"));

    gate.Set();
    ASSERT_TRUE(slow.WaitForInit(10.0f));
    EXPECT_TRUE(slow.IsReady());
    EXPECT_TRUE(log.Contains("MLP: Initing Slow"));
    // The last line is written after the flag clears (the MLP may be gone by then), so only the
    // lines before it are certain once the wait returns.
    EXPECT_TRUE(log.Contains("MLP: Slow loaded in"));
    calls.clear();
    engine.Frame();
    EXPECT_EQ(calls, (CallList{"Slow HandleInput", "Slow Update", "Slow Render"}));
}

// Shown again before its first load has finished (pushed, popped, pushed), an MLP is not loaded a
// second time on a second thread: one load, and the wait covers it.
TEST_F(MlpStackTest, AnMLPShownAgainWhileLoadingIsLoadedOnce) {
    Event gate(false);
    RecordingMLP slow("Slow", calls, false);
    slow.loadGate = &gate;
    std::atomic<int> loads{0};
    slow.onLoad = [&] { ++loads; };
    engine.SetMLP(&a);
    engine.PushMLP(&slow);
    engine.PopMLP();
    engine.PushMLP(&slow);
    gate.Set();
    ASSERT_TRUE(slow.WaitForInit(10.0f));
    EXPECT_EQ(loads.load(), 1);
    int initing = 0;
    for (const std::string& line : log.Lines()) initing += line.find("MLP: Initing Slow") != std::string::npos;
    EXPECT_EQ(initing, 1);
}

// A page still loading is loaded once however often it is arrived at; replaced meanwhile, it is
// torn down only after its init has ended (the main thread's queued work is served while it
// waits, since an init may be waiting for that work).
TEST_F(MlpStackTest, APageStillLoadingIsLoadedOnceAndFreedOnlyAfterItsInitEnds) {
    struct Seen {
        std::atomic<int32_t> loads{0};
        std::atomic<bool> destroyed{false};
        std::atomic<bool> destroyedDuringLoad{false};
    } seen;
    class LatchedPage : public MLP {
    public:
        LatchedPage(Event& latch, Seen& seen) : latch_(latch), seen_(seen) { name = SharedString("Latched"); }
        ~LatchedPage() override { seen_.destroyed = true; }
        void Load() override {
            ++seen_.loads;
            latch_.Wait();
            // The derived page is still whole here.
            seen_.destroyedDuringLoad = seen_.destroyed.load();
            words_.assign(64, 'x');
            ready_ = true;
        }
        bool IsReady() override { return ready_.load(); }

    private:
        Event& latch_;
        Seen& seen_;
        std::string words_;
        std::atomic<bool> ready_{false};
    };

    Event latch(false);
    auto page = std::make_unique<LatchedPage>(latch, seen);
    engine.SetMLP(&a);
    engine.PushMLP(page.get());
    engine.PopMLP();
    engine.PushMLP(page.get()); // arrived at again while its init still waits on the latch
    EXPECT_TRUE(page->InitInProgress());
    engine.PopMLP();
    const std::vector<std::string> lines = log.Lines();
    EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                            [](const std::string& l) { return l.find("Preparing Init") != std::string::npos; }),
              1)
        << "one init thread";

    // Replaced: the latch opens only through the main thread's queue, which the release serves.
    engine.tasks.AddTask([&] { latch.Set(); }, &latch);
    ReleasePage(page, &engine.tasks);
    EXPECT_EQ(page, nullptr);
    EXPECT_TRUE(seen.destroyed);
    EXPECT_FALSE(seen.destroyedDuringLoad);
    EXPECT_EQ(seen.loads, 1);
}

TEST_F(MlpStackTest, TheEnginesOwnInitRunsAndFinishes) {
    engine.Start(3);
    EXPECT_TRUE(engine.WaitForInit(10.0f));
    EXPECT_TRUE(log.Contains("MLP: ZKEngine inited and ready to GO!"));
}

class CountingCommand : public ConsoleCommand {
public:
    CountingCommand(const char* n, std::string& out) : ConsoleCommand(SharedString(n)), out_(out) {}
    void Execute(const SharedString& arguments) override { out_ += std::string(name.c_str()) + "(" + arguments.c_str() + ")"; }

private:
    std::string& out_;
};

TEST(MlpCommands, TheFirstRegistrationOfANameStaysAndLookupIsExact) {
    std::string out;
    CountingCommand first("FPS", out), second("FPS", out), other("VER", out);
    MLP mlp;
    EXPECT_STREQ(mlp.name.c_str(), "Unknown MLP");
    EXPECT_EQ(mlp.fade, 1.0f);
    mlp.AddCommand(&first);
    mlp.AddCommand(&second);
    mlp.AddCommand(&other);
    EXPECT_EQ(mlp.commands.size(), 2u);
    EXPECT_EQ(mlp.commands.at(SharedString("FPS")), &first);
    EXPECT_TRUE(mlp.ExecuteCommand(SharedString("FPS"), SharedString("1")));
    EXPECT_FALSE(mlp.ExecuteCommand(SharedString("fps"), SharedString("1")));
    EXPECT_FALSE(mlp.ExecuteCommand(SharedString("EXIT"), SharedString("")));
    EXPECT_EQ(out, "FPS(1)");
}

} // namespace
