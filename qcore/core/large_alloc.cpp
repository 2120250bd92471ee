#include <qcore/core/large_alloc.h>

#include <cstdlib>
#include <mutex>
#include <sys/mman.h>

namespace qcore::detail {

namespace {
// Below this, the ordinary heap.
constexpr size_t large_size = size_t{4} << 20;
constexpr size_t huge_page = size_t{2} << 20;

// Freed blocks are kept for the next request of the same size (an octree rebuilt over the same mesh, a file
// preloaded again), whose pages are then already in place: a fresh block has every page faulted in and
// cleared by the kernel again, a large part of building such a structure. The kernel may take a kept
// block's pages back whenever memory runs short (MADV_FREE); a page it took reads as zero and is faulted in
// afresh when written. At most kept_count blocks and kept_bytes in all; the oldest goes first.
constexpr size_t kept_count = 8;
constexpr size_t kept_bytes = size_t{512} << 20;

class KeptBlocks {
public:
    void* take(size_t bytes) {
        const std::lock_guard hold(mutex_);
        for (size_t i = count_; i-- > 0;)
            if (blocks_[i].bytes == bytes) {
                void* p = blocks_[i].p;
                remove(i);
                return p;
            }
        return nullptr;
    }

    // Keeps the block or gives it back to the system.
    void give(void* p, size_t bytes) {
        if (bytes > kept_bytes || madvise(p, bytes, MADV_FREE) != 0) return std::free(p);
        const std::lock_guard hold(mutex_);
        while (count_ == kept_count || total_ + bytes > kept_bytes) {
            std::free(blocks_[0].p);
            remove(0);
        }
        blocks_[count_++] = {p, bytes};
        total_ += bytes;
    }

    ~KeptBlocks() {
        for (size_t i = 0; i < count_; ++i)
            std::free(blocks_[i].p);
    }

private:
    struct Block {
        void* p;
        size_t bytes;
    };
    void remove(size_t i) {
        total_ -= blocks_[i].bytes;
        for (size_t k = i + 1; k < count_; ++k)
            blocks_[k - 1] = blocks_[k];
        --count_;
    }
    std::mutex mutex_;
    Block blocks_[kept_count] = {};
    size_t count_ = 0, total_ = 0;
};

KeptBlocks& kept() {
    static KeptBlocks blocks;
    return blocks;
}

size_t rounded(size_t bytes) {
    return (bytes + huge_page - 1) / huge_page * huge_page;
}
} // namespace

void* large_allocate(size_t bytes, size_t align) {
    if (bytes < large_size) return ::operator new(bytes, std::align_val_t(align));
    const size_t size = rounded(bytes);
    if (void* p = kept().take(size)) return p;
    void* p = std::aligned_alloc(huge_page, size);
    if (!p) throw std::bad_alloc();
    madvise(p, size, MADV_HUGEPAGE); // advice only: without huge pages the memory works the same
    return p;
}

void large_free(void* p, size_t bytes, size_t align) {
    if (bytes < large_size)
        ::operator delete(p, std::align_val_t(align));
    else if (p)
        kept().give(p, rounded(bytes));
}

} // namespace qcore::detail
