#include <gtest/gtest.h>

#include <string>

#include "engine/core/TaskQueue.h"
#include "tests/support/TestSupport.h"

using testing_support::LogCapture;

TEST(TaskQueue, RunsNewestFirstAndLogsOnce) {
    LogCapture log(3);
    TaskQueue q;
    std::string order;
    int tag = 0;
    q.AddTask([&] { order += 'A'; }, &tag);
    q.AddTask([&] { order += 'B'; }, &tag);
    q.AddTask([&] { order += 'C'; }, &tag);
    q.ProcessTasks();
    EXPECT_EQ(order, "CBA");
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{"ENGINE: Processing 3 tasks", "ENGINE: Returning to normal procedure"}));
    log.Clear();
    q.ProcessTasks();
    EXPECT_TRUE(log.Lines().empty()); // an empty queue logs nothing
}

TEST(TaskQueue, NullTagEntriesStayAndAreCounted) {
    LogCapture log(3);
    TaskQueue q;
    int runs = 0, tag = 0;
    q.AddTask([&] { ++runs; }, nullptr);
    q.AddTask([&] { ++runs; }, &tag);
    q.ProcessTasks();
    q.ProcessTasks();
    EXPECT_EQ(runs, 1);
    EXPECT_EQ(q.Count(), 1u);
    int processing = 0;
    for (auto& l : log.Lines()) processing += l.rfind("ENGINE: Processing", 0) == 0;
    EXPECT_EQ(processing, 2);
    EXPECT_TRUE(log.Contains("ENGINE: Processing 1 tasks"));
}

TEST(TaskQueue, TaskAddedWhileRunningRunsInTheNextCall) {
    TaskQueue q;
    int tag = 0;
    std::string order;
    q.AddTask([&] {
        order += '1';
        q.AddTask([&] { order += '2'; }, &tag);
    }, &tag);
    q.ProcessTasks();
    EXPECT_EQ(order, "1");
    q.ProcessTasks();
    EXPECT_EQ(order, "12");
}

TEST(TaskQueue, OtherThreadsWaitForTheMainThreadToRunTheirTask) {
    TaskQueue q;
    Semaphore done(0, 1);
    int tag = 0;
    std::atomic<int> result{0};
    std::thread worker([&] {
        q.AddTask([&] {
            result = 7;
            done.Release();
        }, &tag);
        done.Wait();
    });
    while (q.Count() == 0) std::this_thread::yield();
    q.ProcessTasks();
    worker.join();
    EXPECT_EQ(result.load(), 7);
}
