#include <gtest/gtest.h>

#include <string>

#include "engine/core/Debugger.h"
#include "tests/support/TestSupport.h"

using testing_support::LogCapture;

namespace {
struct CountingView : DebuggerView {
    explicit CountingView(int* deletions) : deletions_(deletions) { name = "Counting"; }
    ~CountingView() override { ++*deletions_; }
    void Print(const SharedString& line) override { lines.emplace_back(line.c_str()); }
    std::vector<std::string> lines;
    int* deletions_;
};
} // namespace

TEST(Debugger, WarningLevelFiltersLogButNeverMessage) {
    LogCapture log(0);
    Debugger& d = Debugger::Instance();
    d.Log(1, "dropped");
    d.Message("kept %d", 1);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"kept 1"}));
    d.SetWarningLevel(2);
    log.Clear();
    d.Log(2, "equal level passes");
    d.Log(3, "one higher is dropped");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"equal level passes"}));
    d.SetWarningLevel(0);
}

TEST(Debugger, QueuedLinesReplayInOrderToTheFirstView) {
    Debugger& d = Debugger::Instance();
    d.ResetForTests();
    d.SetWarningLevel(0);
    d.Message("first");
    d.Message("100%% sure");
    d.Log(0, "third");
    EXPECT_EQ(d.QueuedCount(), 3u);
    int deletions = 0;
    {
        CountingView view(&deletions);
        d.SetView(&view); // embedded view: never deleted by the Debugger
        EXPECT_EQ(view.lines, (std::vector<std::string>{"first", "100% sure", "third"}));
        EXPECT_EQ(d.QueuedCount(), 0u);
        d.SetView(nullptr);
        EXPECT_EQ(deletions, 0);
    }
    EXPECT_EQ(deletions, 1);
    d.ResetForTests();
}

TEST(Debugger, OwnedViewIsDeletedWhenReplacedAndAViewUnregistersOnDestruction) {
    Debugger& d = Debugger::Instance();
    d.ResetForTests();
    int deletions = 0;
    d.SetView(new CountingView(&deletions), true);
    auto* second = new CountingView(&deletions);
    d.SetView(second, false);
    EXPECT_EQ(deletions, 1);
    delete second; // unregisters itself
    EXPECT_EQ(d.GetView(), nullptr);
    d.Message("queued again");
    EXPECT_EQ(d.QueuedCount(), 1u);
    d.ResetForTests();
}

TEST(Debugger, LongLinesAreCutAt1023Characters) {
    LogCapture log(0);
    std::string big(5000, 'z');
    Debugger::Instance().Message("%s", big.c_str());
    ASSERT_EQ(log.Lines().size(), 1u);
    EXPECT_EQ(log.Lines()[0].size(), 1023u);
}

TEST(Debugger, ViewChangesAndQueueReplayAreLoggedAtLevelThree) {
    Debugger& d = Debugger::Instance();
    d.ResetForTests();
    d.SetWarningLevel(3); // queued too: there is no view yet
    d.Message("early");
    int deletions = 0;
    CountingView first(&deletions);
    first.name = "First";
    d.SetView(&first);
    EXPECT_EQ(first.lines, (std::vector<std::string>{
                               "DEBUGGER: View set to First",
                               "DEBUGGER: Running queue. 2 messages pending",
                               "DEBUGGER: Setting warning level to 3",
                               "early",
                               "DEBUGGER: Clearing queue",
                               "DEBUGGER: Queue cleared. Proceeding...",
                           }));
    // Replacing a view tells the old one; the new one starts with its own line.
    CountingView second(&deletions);
    second.name = "Second";
    d.SetView(&second);
    EXPECT_EQ(first.lines.back(), "DEBUGGER: Setting view to First");
    EXPECT_EQ(second.lines, (std::vector<std::string>{"DEBUGGER: View set to Second"}));
    // At the default level none of these lines pass.
    d.SetWarningLevel(0);
    size_t firstCount = first.lines.size();
    d.SetView(&first);
    EXPECT_EQ(first.lines.size(), firstCount);
    EXPECT_EQ(second.lines.size(), 1u);
    d.ResetForTests();
    EXPECT_EQ(deletions, 0);
}
