#pragma once
#include <cstddef>
#include <cstdint>
#include <limits>
#include <new>
#include <vector>

#include "engine/core/SharedString.h"

// Allocation counters kept by the program's allocation operators and the engine containers'
// allocator. Kept 64-bit internally; reports saturate them to the 32-bit fields they print.
struct MemoryCounters {
    int64_t currentBytes = 0;
    int64_t currentBlocks = 0;
    int64_t totalBytes = 0;
    int64_t totalBlocks = 0;
};

MemoryCounters GetMemoryCounters();

// Header-carrying allocation used by the global operators and TrackedAlloc: the requested
// size is stored in front of the block so that freeing subtracts exactly what was counted.
// Returns null on failure (nothing counted).
void* CountedAllocate(size_t size, size_t alignment = 16);
void CountedFree(void* p);
// Size recorded for a block from CountedAllocate.
size_t CountedSize(const void* p);

// The engine containers' allocator: logs each allocation when AUTOMEMREPORT is on.
void* TrackedAlloc(size_t size);
// Size 0 does nothing at all; a null pointer with a size logs but changes no counter.
void TrackedFree(void* p, size_t size);

void SetAutoMemoryReport(bool on);
bool GetAutoMemoryReport();

// Logs the counters at level 2 when any block is live; nothing otherwise.
void LogMemoryReport(const SharedString& id);

// Saturating conversion for the report's %d fields.
inline int32_t SaturateInt(int64_t v) {
    if (v > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
    if (v < std::numeric_limits<int32_t>::min()) return std::numeric_limits<int32_t>::min();
    return int32_t(v);
}

// Standard-container allocator over TrackedAlloc/TrackedFree.
template <class T>
struct TrackedAllocator {
    using value_type = T;
    TrackedAllocator() = default;
    template <class U>
    TrackedAllocator(const TrackedAllocator<U>&) {}
    T* allocate(size_t n) {
        // A count whose byte size wraps would hand out a tiny block.
        if (n > std::numeric_limits<size_t>::max() / sizeof(T)) throw std::bad_array_new_length();
        void* p = TrackedAlloc(n * sizeof(T));
        if (!p) throw std::bad_alloc();
        return static_cast<T*>(p);
    }
    void deallocate(T* p, size_t n) { TrackedFree(p, n * sizeof(T)); }
    template <class U>
    bool operator==(const TrackedAllocator<U>&) const { return true; }
};

// The engine's own containers (mesh records, texture levels, the factories' caches, the
// console's scratch) allocate through the tracked pair, so AUTOMEMREPORT logs their blocks.
template <class T>
using TrackedVector = std::vector<T, TrackedAllocator<T>>;
