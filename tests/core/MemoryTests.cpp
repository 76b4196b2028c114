#include <gtest/gtest.h>

#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/core/Memory.h"
#include "tests/support/TestSupport.h"

namespace {
struct alignas(64) Wide {
    char bytes[64];
};

// Hands a pointer to code the optimiser cannot see, so a new-expression whose result is only
// deleted again is still performed (the language lets an optimiser drop such a pair).
template <class T>
T* Escape(T* pointer) {
    asm volatile("" : : "g"(pointer) : "memory");
    return pointer;
}
} // namespace

TEST(TrackedMemory, CountersReturnToTheirStartAfterEveryFormOfNewAndDelete) {
    MemoryCounters before = GetMemoryCounters();
    {
        std::vector<std::unique_ptr<char[]>> arrays;
        for (size_t n : {1u, 7u, 16u, 1000u, 65536u}) arrays.emplace_back(new char[n]);
        auto single = std::make_unique<double>(1.0);
        auto wide = std::make_unique<Wide>();
        EXPECT_EQ(reinterpret_cast<uintptr_t>(wide.get()) % 64, 0u);
        int* nothrowInt = new (std::nothrow) int(3);
        delete nothrowInt;
        MemoryCounters during = GetMemoryCounters();
        EXPECT_GE(during.currentBytes - before.currentBytes, int64_t(1 + 7 + 16 + 1000 + 65536 + 8 + 64));
        EXPECT_GE(during.totalBlocks - before.totalBlocks, 9);
    }
    MemoryCounters after = GetMemoryCounters();
    EXPECT_EQ(after.currentBytes, before.currentBytes);
    EXPECT_EQ(after.currentBlocks, before.currentBlocks);
}

TEST(TrackedMemory, FailedAllocationThrowsAndNothrowGivesNull) {
    MemoryCounters before = GetMemoryCounters();
    size_t huge = size_t(1) << 62;
    EXPECT_THROW({ auto* p = Escape(new char[huge]); delete[] p; }, std::bad_alloc);
    EXPECT_EQ(Escape(new (std::nothrow) char[huge]), nullptr);
    MemoryCounters after = GetMemoryCounters();
    EXPECT_EQ(after.totalBlocks, before.totalBlocks); // failures are not counted
}

TEST(TrackedMemory, TrackedFreeRules) {
    MemoryCounters before = GetMemoryCounters();
    void* p = TrackedAlloc(24);
    TrackedFree(nullptr, 8); // changes no counter
    TrackedFree(p, 0);       // size 0: nothing at all
    EXPECT_EQ(GetMemoryCounters().currentBlocks, before.currentBlocks + 1);
    EXPECT_EQ(GetMemoryCounters().currentBytes, before.currentBytes + 24);
    TrackedFree(p, 24);
    EXPECT_EQ(GetMemoryCounters().currentBytes, before.currentBytes);
    EXPECT_EQ(GetMemoryCounters().currentBlocks, before.currentBlocks);

    testing_support::LogCapture log(0);
    SetAutoMemoryReport(true);
    void* q = TrackedAlloc(24);
    TrackedFree(nullptr, 8); // logs even though nothing is freed
    TrackedFree(q, 0);       // no line
    SetAutoMemoryReport(false);
    TrackedFree(q, 24);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("Allocating 24. Total Alloc = ", 0), 0u);
    EXPECT_EQ(lines[1].rfind("Freeing 8. Total Alloc = ", 0), 0u);
}

TEST(TrackedMemory, ContainerAllocatorRefusesCountsWhoseSizeWraps) {
    MemoryCounters before = GetMemoryCounters();
    TrackedAllocator<uint32_t> a;
    EXPECT_THROW(a.allocate(SIZE_MAX / 4 + 2), std::bad_alloc); // 4 bytes after wrapping
    EXPECT_THROW(a.allocate(SIZE_MAX / 8), std::bad_alloc);     // fits size_t, not the heap
    EXPECT_EQ(GetMemoryCounters().totalBlocks, before.totalBlocks);
}

TEST(TrackedMemory, ContainerAllocatorLogsEachAllocationButNotTheLogsOwn) {
    testing_support::LogCapture log(0);
    SetAutoMemoryReport(true);
    {
        std::vector<int, TrackedAllocator<int>> v;
        v.reserve(10);
        v.reserve(100);
    }
    SetAutoMemoryReport(false);
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 4u); // two allocations, two frees
    EXPECT_EQ(lines[0].rfind("Allocating 40.", 0), 0u);
    EXPECT_EQ(lines[1].rfind("Allocating 400.", 0), 0u);
    EXPECT_EQ(lines[2].rfind("Freeing 40.", 0), 0u);
    EXPECT_EQ(lines[3].rfind("Freeing 400.", 0), 0u);
}

TEST(TrackedMemory, ReportPrintsTheCountersWhenBlocksAreLive) {
    testing_support::LogCapture log(2);
    LogMemoryReport(SharedString("Frame"));
    std::vector<std::string> lines = log.Lines();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], std::string(97, '+'));
    EXPECT_EQ(lines[1], "Id : Frame");
    EXPECT_EQ(lines[2].rfind("Current alloc = ", 0), 0u);
    EXPECT_EQ(lines[3].rfind("Total alloc = ", 0), 0u);
    EXPECT_NE(lines[3].find(" blocks ("), std::string::npos);
    EXPECT_EQ(lines[4], std::string(97, '-'));
    // The report is a warning: the default level drops it.
    testing_support::LogCapture quiet(1);
    LogMemoryReport(SharedString("Frame"));
    EXPECT_TRUE(quiet.Lines().empty());
    EXPECT_EQ(SaturateInt(int64_t(1) << 40), INT32_MAX);
}
