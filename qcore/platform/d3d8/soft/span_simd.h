#pragma once
// The SIMD shading path: groups of pixels at once (eight with AVX2, chosen at run time, else four with
// SSE2) for 32-bit colour targets with 24-bit depth, up to two texture stages of the common operations on
// wrapped power-of-two textures, the alpha test, the blend factors and the colour write mask. Its results
// match the general path within rounding.
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
    int lanes = 4;          // pixels it shades at once
    int stage_count = 0;
    SimdStage stages[simd_max_stages];
    uint32_t src_factor = 0, dest_factor = 0; // blend factors with the both-alpha forms resolved
    uint32_t keep_mask = 0;                   // bytes of the target pixel the write mask leaves alone
    uint32_t factor = 0;                      // the texture factor as ARGB
};

// Which build draws: the widest this processor runs, or the SSE2 one every x86-64 processor runs (to
// compare the two). Takes effect from the next draw.
enum class SimdBuild : uint8_t { best, baseline };
void set_simd_build(SimdBuild build);

// Whether the SIMD path draws what ctx asks for; fills ctx.program when it does.
bool choose_simd_program(PixelContext& ctx);

void shade_span_simd(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1);

} // namespace qcore::detail::soft
