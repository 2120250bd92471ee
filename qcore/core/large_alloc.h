#pragma once
// Memory for large arrays: blocks of some megabytes are aligned to 2 MB and asked to be backed by huge
// pages, which saves the many page faults of filling them and the TLB misses of reading them at random.
// Smaller blocks come from the ordinary heap.
#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace qcore::detail {

void* large_allocate(size_t bytes, size_t align);
void large_free(void* p, size_t bytes, size_t align);

template <class T> struct LargeAllocator {
    using value_type = T;
    LargeAllocator() = default;
    template <class U> LargeAllocator(const LargeAllocator<U>&) {}

    T* allocate(size_t n) { return static_cast<T*>(large_allocate(n * sizeof(T), alignof(T))); }
    void deallocate(T* p, size_t n) { large_free(p, n * sizeof(T), alignof(T)); }
    template <class U> bool operator==(const LargeAllocator<U>&) const { return true; }
};
template <class T> using LargeVector = std::vector<T, LargeAllocator<T>>;

// The same, leaving elements uninitialised on resize, for arrays that a read fills right after.
template <class T> struct LargeNoInitAllocator : LargeAllocator<T> {
    template <class U> struct rebind { using other = LargeNoInitAllocator<U>; };
    LargeNoInitAllocator() = default;
    template <class U> LargeNoInitAllocator(const LargeNoInitAllocator<U>&) {}
    template <class U> void construct(U* p) { ::new (static_cast<void*>(p)) U; }
    template <class U, class... Args> void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

} // namespace qcore::detail
