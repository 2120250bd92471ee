#include <qcore/core/large_alloc.h>

#include <cstdlib>
#include <sys/mman.h>

namespace qcore::detail {

namespace {
// Below this, the ordinary heap.
constexpr size_t large_size = size_t{4} << 20;
constexpr size_t huge_page = size_t{2} << 20;
} // namespace

void* large_allocate(size_t bytes, size_t align) {
    if (bytes < large_size) return ::operator new(bytes, std::align_val_t(align));
    const size_t rounded = (bytes + huge_page - 1) / huge_page * huge_page;
    void* p = std::aligned_alloc(huge_page, rounded);
    if (!p) throw std::bad_alloc();
    madvise(p, rounded, MADV_HUGEPAGE); // advice only: without huge pages the memory works the same
    return p;
}

void large_free(void* p, size_t bytes, size_t align) {
    if (bytes < large_size)
        ::operator delete(p, std::align_val_t(align));
    else
        std::free(p);
}

} // namespace qcore::detail
