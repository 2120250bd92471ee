#pragma once
// The four-pixel shading path: SSE2 over four pixels at once for 32-bit colour targets with 24-bit depth,
// up to two texture stages of the common operations on wrapped power-of-two textures, the alpha test, the
// blend factors and the colour write mask. Its results match the general path within rounding.
#include <cstdint>

namespace qcore::detail::soft {

struct PixelContext;
struct Prim;

constexpr int simd_max_stages = 2;

struct SimdStage {
    bool textured = false;
    bool alpha_from_color = false; // the colour operation already gives the alpha operation's result
    bool keep_alpha = false;       // the alpha operation is disabled: alpha stays the current alpha
};

struct SimdProgram {
    using SpanFn = void (*)(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0,
                            int x1);
    SpanFn shade = nullptr; // the build of the path for this processor
    int stage_count = 0;
    SimdStage stages[simd_max_stages];
    uint32_t src_factor = 0, dest_factor = 0; // blend factors with the both-alpha forms resolved
    uint32_t keep_mask = 0;                   // bytes of the target pixel the write mask leaves alone
};

// Whether the four-pixel path draws what ctx asks for; fills ctx.program when it does.
bool choose_simd_program(PixelContext& ctx);

void shade_span_simd(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1);

} // namespace qcore::detail::soft
