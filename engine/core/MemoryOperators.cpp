// The program's global allocation operators: every allocation is counted.
// Linked into the program and into the allocator's own test binary only.
#include <new>

#include "engine/core/Memory.h"

namespace {
void* AllocOrThrow(size_t size, size_t alignment = 16) {
    if (size == 0) size = 1;
    void* p = CountedAllocate(size, alignment);
    if (!p) throw std::bad_alloc();
    return p;
}
void* AllocNoThrow(size_t size, size_t alignment = 16) noexcept {
    if (size == 0) size = 1;
    return CountedAllocate(size, alignment);
}
} // namespace

void* operator new(size_t size) { return AllocOrThrow(size); }
void* operator new[](size_t size) { return AllocOrThrow(size); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return AllocNoThrow(size); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return AllocNoThrow(size); }
void* operator new(size_t size, std::align_val_t a) { return AllocOrThrow(size, size_t(a)); }
void* operator new[](size_t size, std::align_val_t a) { return AllocOrThrow(size, size_t(a)); }
void* operator new(size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return AllocNoThrow(size, size_t(a)); }
void* operator new[](size_t size, std::align_val_t a, const std::nothrow_t&) noexcept { return AllocNoThrow(size, size_t(a)); }

void operator delete(void* p) noexcept { CountedFree(p); }
void operator delete[](void* p) noexcept { CountedFree(p); }
void operator delete(void* p, size_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t) noexcept { CountedFree(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete(void* p, std::align_val_t) noexcept { CountedFree(p); }
void operator delete[](void* p, std::align_val_t) noexcept { CountedFree(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { CountedFree(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { CountedFree(p); }
void operator delete(void* p, std::align_val_t, const std::nothrow_t&) noexcept { CountedFree(p); }
void operator delete[](void* p, std::align_val_t, const std::nothrow_t&) noexcept { CountedFree(p); }
