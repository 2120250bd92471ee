#include <qcore/core/large_alloc.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <vector>

namespace {

using qcore::detail::large_allocate;
using qcore::detail::large_free;

constexpr size_t MB = size_t{1} << 20;

// A freed large block comes back for the next request of its size, whole and writable; requests of other
// sizes get their own, and blocks beyond what is kept go back to the system (the leak checker sees the
// rest freed at exit).
TEST(LargeAlloc, FreedBlocksServeTheNextRequestOfTheirSize) {
    void* a = large_allocate(9 * MB, 64);
    ASSERT_EQ(reinterpret_cast<uintptr_t>(a) % (2 * MB), 0u);
    std::memset(a, 0xAB, 9 * MB);
    large_free(a, 9 * MB, 64);
    // Rounded to whole huge pages: 9.5 MB asks for the same 10 MB.
    void* b = large_allocate(9 * MB + MB / 2, 64);
    EXPECT_EQ(b, a);
    std::memset(b, 0x11, 9 * MB + MB / 2);
    void* c = large_allocate(9 * MB, 64);
    EXPECT_NE(c, b);
    large_free(b, 9 * MB + MB / 2, 64);
    large_free(c, 9 * MB, 64);

    std::vector<void*> many;
    for (int i = 0; i < 20; ++i)
        many.push_back(large_allocate(40 * MB, 16));
    for (void* p : many)
        large_free(p, 40 * MB, 16);
    // Small blocks come from the heap.
    void* small = large_allocate(1000, 16);
    large_free(small, 1000, 16);
    void* again = large_allocate(40 * MB, 16);
    static_cast<char*>(again)[40 * MB - 1] = 1;
    large_free(again, 40 * MB, 16);
}

} // namespace
