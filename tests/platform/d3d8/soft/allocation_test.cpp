// Drawing the same frame again allocates nothing: every buffer the pipeline needs keeps its capacity.
#include "soft_test_support.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocations{0};
}

// Counting replacement of the global allocation functions for this test program.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
void* operator new(std::size_t size) {
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
#pragma GCC diagnostic pop

namespace qcore::test {
namespace {

TEST(SoftAllocation, SteadyStateDrawsDoNotAllocate) {
    std::vector<TlVertex> v;
    for (int i = 0; i < 300; ++i)
        for (const TlVertex& t : tl_quad(static_cast<float>(i % 50), static_cast<float>(i % 30), 60.f, 50.f,
                                         0x80ffffffu - static_cast<uint32_t>(i)))
            v.push_back(t);
    std::vector<uint16_t> texels(16 * 16, 0x7e0f);
    TextureView tex;
    tex.id = 9;
    tex.version = 1;
    tex.format = D3DFMT_R5G6B5; // converted once, then reused
    tex.level_count = 1;
    tex.levels[0] = {reinterpret_cast<const uint8_t*>(texels.data()), 32, 16, 16};
    Pipeline p(2);
    Frame f(64, 64, 0, D3DFMT_D24S8);
    f.state.stages[0].texture = &tex;
    f.state.stages[0].color_op = top::modulate;
    f.state.stages[0].color_arg1 = ta::texture;
    f.state.alpha_blend = true;
    f.state.src_blend = blend_src_alpha;
    f.state.dest_blend = blend_inv_src_alpha;
    auto frame = [&] {
        EXPECT_TRUE(f.draw(p, prim_tri_list, v, 600, tl_fvf));
        EXPECT_TRUE(f.draw(p, prim_line_strip, v, 100, tl_fvf));
        EXPECT_TRUE(f.draw(p, prim_points, v, 50, tl_fvf));
    };
    frame();
    frame();
    const long before = g_allocations.load();
    frame();
    EXPECT_EQ(g_allocations.load(), before);
}

} // namespace
} // namespace qcore::test
