#include "engine/core/Memory.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <string>

#include "engine/core/Debugger.h"

namespace {
// Zero-initialised PODs: the allocator runs during static initialisation.
constinit std::atomic<int64_t> g_currentBytes{0};
constinit std::atomic<int64_t> g_currentBlocks{0};
constinit std::atomic<int64_t> g_totalBytes{0};
constinit std::atomic<int64_t> g_totalBlocks{0};
constinit std::atomic<bool> g_autoReport{false};
thread_local bool t_logGuard = false;

constexpr size_t kHeader = 16;

struct BlockHeader {
    size_t size;
    void* raw; // start of the malloc'd block (differs for over-aligned blocks)
};
static_assert(sizeof(BlockHeader) <= kHeader);

BlockHeader* HeaderOf(const void* p) {
    return reinterpret_cast<BlockHeader*>(const_cast<char*>(static_cast<const char*>(p)) - sizeof(BlockHeader));
}
} // namespace

void* CountedAllocate(size_t size, size_t alignment) {
    if (alignment < kHeader) alignment = kHeader;
    size_t pad = alignment; // header lives in the padding in front of the aligned block
    if (size > SIZE_MAX - pad - alignment) return nullptr;
    void* raw = nullptr;
    char* user = nullptr;
    if (alignment == kHeader) {
        raw = std::malloc(size + pad);
        if (!raw) return nullptr;
        user = static_cast<char*>(raw) + pad;
    } else {
        raw = std::malloc(size + pad + alignment);
        if (!raw) return nullptr;
        uintptr_t start = reinterpret_cast<uintptr_t>(raw) + pad;
        start = (start + alignment - 1) & ~(uintptr_t(alignment) - 1);
        user = reinterpret_cast<char*>(start);
    }
    BlockHeader* h = HeaderOf(user);
    h->size = size;
    h->raw = raw;
    g_currentBytes.fetch_add(int64_t(size), std::memory_order_relaxed);
    g_currentBlocks.fetch_add(1, std::memory_order_relaxed);
    g_totalBytes.fetch_add(int64_t(size), std::memory_order_relaxed);
    g_totalBlocks.fetch_add(1, std::memory_order_relaxed);
    return user;
}

void CountedFree(void* p) {
    if (!p) return;
    BlockHeader* h = HeaderOf(p);
    g_currentBytes.fetch_sub(int64_t(h->size), std::memory_order_relaxed);
    g_currentBlocks.fetch_sub(1, std::memory_order_relaxed);
    std::free(h->raw);
}

size_t CountedSize(const void* p) { return p ? HeaderOf(p)->size : 0; }

MemoryCounters GetMemoryCounters() {
    MemoryCounters c;
    c.currentBytes = g_currentBytes.load(std::memory_order_relaxed);
    c.currentBlocks = g_currentBlocks.load(std::memory_order_relaxed);
    c.totalBytes = g_totalBytes.load(std::memory_order_relaxed);
    c.totalBlocks = g_totalBlocks.load(std::memory_order_relaxed);
    return c;
}

void SetAutoMemoryReport(bool on) { g_autoReport.store(on); }
bool GetAutoMemoryReport() { return g_autoReport.load(); }

namespace {
// A request size as a counter delta; absurd requests (which fail anyway) cannot overflow
// the sums printed in the log.
int64_t SizeDelta(size_t size) { return int64_t(std::min<size_t>(size, size_t(INT64_MAX / 4))); }

void LogAllocation(const char* format, size_t size, int64_t total) {
    if (t_logGuard) return;
    t_logGuard = true;
    if (g_autoReport.load(std::memory_order_relaxed) && !Debugger::Instance().IsBusy())
        Debugger::Instance().Message(format, SaturateInt(SizeDelta(size)), SaturateInt(total));
    t_logGuard = false;
}
} // namespace

// With the report off (the usual case) the pair costs what the global operators cost.
void* TrackedAlloc(size_t size) {
    if (g_autoReport.load(std::memory_order_relaxed))
        LogAllocation("Allocating %d. Total Alloc = %d", size, g_currentBytes.load() + SizeDelta(size));
    return CountedAllocate(size);
}

void TrackedFree(void* p, size_t size) {
    if (size == 0) return;
    if (g_autoReport.load(std::memory_order_relaxed))
        LogAllocation("Freeing %d. Total Alloc = %d", size, g_currentBytes.load() - SizeDelta(size));
    if (p) CountedFree(p);
}

void LogMemoryReport(const SharedString& id) {
    MemoryCounters c = GetMemoryCounters();
    if (c.currentBlocks == 0) return;
    Debugger& d = Debugger::Instance();
    std::string plus(97, '+'), minus(97, '-');
    d.Log(2, "%s", plus.c_str());
    d.Log(2, "Id : %s", id.c_str());
    d.Log(2, "Current alloc = %d bytes / %d blocks (%d bytes/block avg.)", SaturateInt(c.currentBytes),
          SaturateInt(c.currentBlocks), SaturateInt(c.currentBlocks ? c.currentBytes / c.currentBlocks : 0));
    d.Log(2, "Total alloc = %d bytes / %d blocks (%d bytes/block avg.)", SaturateInt(c.totalBytes),
          SaturateInt(c.totalBlocks), SaturateInt(c.totalBlocks ? c.totalBytes / c.totalBlocks : 0));
    d.Log(2, "%s", minus.c_str());
}
