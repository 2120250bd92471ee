#include <qcore/platform/d3d8/soft/span_simd.h>

#include <qcore/platform/d3d8/soft/pixel_processor.h>

#include <immintrin.h>

#include <algorithm>
#include <atomic>
#include <cstring>

namespace qcore::detail::soft {

namespace {

// The lane operations span_lanes.inc is written in, for four pixels in SSE2 registers.
struct Sse2Lanes {
    using I = __m128i;
    using F = __m128;
    static constexpr int lanes = 4;
    static constexpr bool windows = false; // no variable permutation in SSE2

    static I zero() { return _mm_setzero_si128(); }
    static I set16(short v) { return _mm_set1_epi16(v); }
    static I set32(int v) { return _mm_set1_epi32(v); }
    static F setf(float v) { return _mm_set1_ps(v); }
    static F ramp() { return _mm_setr_ps(0.f, 1.f, 2.f, 3.f); }
    static I ramp_i() { return _mm_setr_epi32(0, 1, 2, 3); }
    static float first(F v) { return _mm_cvtss_f32(v); }
    static I alpha_lanes() { return _mm_set1_epi64x(static_cast<long long>(0xffff000000000000ull)); }
    static I and_(I a, I b) { return _mm_and_si128(a, b); }
    static I or_(I a, I b) { return _mm_or_si128(a, b); }
    static I xor_(I a, I b) { return _mm_xor_si128(a, b); }
    static I andnot(I a, I b) { return _mm_andnot_si128(a, b); }
    static bool any(I v) { return _mm_movemask_epi8(v) != 0; }
    static I add16(I a, I b) { return _mm_add_epi16(a, b); }
    static I sub16(I a, I b) { return _mm_sub_epi16(a, b); }
    static I mullo16(I a, I b) { return _mm_mullo_epi16(a, b); }
    static I mulhi_u16(I a, I b) { return _mm_mulhi_epu16(a, b); }
    static I min16(I a, I b) { return _mm_min_epi16(a, b); }
    static I max16(I a, I b) { return _mm_max_epi16(a, b); }
    static I subs_u16(I a, I b) { return _mm_subs_epu16(a, b); }
    static I madd16(I a, I b) { return _mm_madd_epi16(a, b); }
    template <int N> static I srai16(I v) { return _mm_srai_epi16(v, N); }
    template <int N> static I sll16(I v) { return _mm_slli_epi16(v, N); }
    // Each pixel's alpha over its four channels.
    static I alpha16(I v) { return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xff), 0xff); }
    // Repeats each pixel's 16-bit weight (low half of its 32-bit lane) over its four channels, for the
    // pixels unpack() puts in lo and in hi.
    static I spread_lo(I w32) {
        const I w16 = _mm_shufflelo_epi16(_mm_shufflehi_epi16(w32, 0xa0), 0xa0);
        return _mm_unpacklo_epi32(w16, w16);
    }
    static I spread_hi(I w32) {
        const I w16 = _mm_shufflelo_epi16(_mm_shufflehi_epi16(w32, 0xa0), 0xa0);
        return _mm_unpackhi_epi32(w16, w16);
    }
    static I add32(I a, I b) { return _mm_add_epi32(a, b); }
    static I cmpeq32(I a, I b) { return _mm_cmpeq_epi32(a, b); }
    static I cmpgt32(I a, I b) { return _mm_cmpgt_epi32(a, b); }
    template <int N> static I sll32(I v) { return _mm_slli_epi32(v, N); }
    template <int N> static I srl32(I v) { return _mm_srli_epi32(v, N); }
    template <int N> static I sra32(I v) { return _mm_srai_epi32(v, N); }
    static I unpacklo8(I a, I b) { return _mm_unpacklo_epi8(a, b); }
    static I unpackhi8(I a, I b) { return _mm_unpackhi_epi8(a, b); }
    static I unpacklo16(I a, I b) { return _mm_unpacklo_epi16(a, b); }
    static I unpackhi16(I a, I b) { return _mm_unpackhi_epi16(a, b); }
    static I unpacklo32(I a, I b) { return _mm_unpacklo_epi32(a, b); }
    static I unpackhi32(I a, I b) { return _mm_unpackhi_epi32(a, b); }
    static I packus16(I a, I b) { return _mm_packus_epi16(a, b); }
    static I packs32(I a, I b) { return _mm_packs_epi32(a, b); }
    static I truncate(F v) { return _mm_cvttps_epi32(v); }
    static F to_float(I v) { return _mm_cvtepi32_ps(v); }
    static I greater(F a, F b) { return _mm_castps_si128(_mm_cmpgt_ps(a, b)); }
    static F minf(F a, F b) { return _mm_min_ps(a, b); }
    static F maxf(F a, F b) { return _mm_max_ps(a, b); }

    // The first n pixels at p; whole groups go straight to memory.
    static I load(const uint32_t* p, int n) {
        if (n == lanes) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
        uint32_t tmp[lanes] = {};
        std::memcpy(tmp, p, static_cast<size_t>(n) * 4);
        return _mm_loadu_si128(reinterpret_cast<const __m128i*>(tmp));
    }
    static void store(uint32_t* p, I v, int n) {
        if (n == lanes) return _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
        uint32_t tmp[lanes];
        _mm_storeu_si128(reinterpret_cast<__m128i*>(tmp), v);
        std::memcpy(p, tmp, static_cast<size_t>(n) * 4);
    }

    static uint32_t texel(const uint8_t* base, int index) {
        uint32_t t;
        std::memcpy(&t, base + static_cast<ptrdiff_t>(index) * 4, 4);
        return t;
    }
    // The texels at four texel indices, read with plain loads (SSE2 has no gather).
    static I gather(const uint8_t* base, I index) {
        const int i0 = _mm_cvtsi128_si32(index), i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0x55)),
                  i2 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xaa)),
                  i3 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xff));
        const I a = _mm_cvtsi32_si128(static_cast<int>(texel(base, i0)));
        const I b = _mm_cvtsi32_si128(static_cast<int>(texel(base, i1)));
        const I c = _mm_cvtsi32_si128(static_cast<int>(texel(base, i2)));
        const I d = _mm_cvtsi32_si128(static_cast<int>(texel(base, i3)));
        return _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, b), _mm_unpacklo_epi32(c, d));
    }
    // The texels at four texel indices and their right-hand neighbours, read a pair at a time.
    static void gather_pairs(const uint8_t* base, I index, I& left, I& right) {
        const int i0 = _mm_cvtsi128_si32(index), i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0x55)),
                  i2 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xaa)),
                  i3 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xff));
        auto pair = [&](int i) {
            return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + static_cast<ptrdiff_t>(i) * 4));
        };
        // l0 r0 l1 r1 and l2 r2 l3 r3, each regrouped as lefts then rights.
        const I a = _mm_shuffle_epi32(_mm_unpacklo_epi64(pair(i0), pair(i1)), 0xd8);
        const I b = _mm_shuffle_epi32(_mm_unpacklo_epi64(pair(i2), pair(i3)), 0xd8);
        left = _mm_unpacklo_epi64(a, b);
        right = _mm_unpackhi_epi64(a, b);
    }
};

namespace sse2 {
using V = Sse2Lanes;
#include <qcore/platform/d3d8/soft/span_lanes.inc>
} // namespace sse2

// Eight pixels in AVX2 registers, built for processors that have them and chosen when a draw starts rather
// than by the loader (an ifunc resolver runs before sanitizer runtimes are ready). The same code is built
// again for x86-64-v4, whose extra registers and encodings make it shorter.
#if defined(__GNUC__) && !defined(__clang__)
#define QCORE_SOFT_WIDE_LANES 1
#pragma GCC push_options
#pragma GCC target("arch=x86-64-v3")

struct Avx2Lanes {
    using I = __m256i;
    using F = __m256;
    static constexpr int lanes = 8;
    static constexpr bool windows = true;

    [[gnu::always_inline]] static I zero() { return _mm256_setzero_si256(); }
    [[gnu::always_inline]] static I set16(short v) { return _mm256_set1_epi16(v); }
    [[gnu::always_inline]] static I set32(int v) { return _mm256_set1_epi32(v); }
    [[gnu::always_inline]] static F setf(float v) { return _mm256_set1_ps(v); }
    [[gnu::always_inline]] static F ramp() { return _mm256_setr_ps(0.f, 1.f, 2.f, 3.f, 4.f, 5.f, 6.f, 7.f); }
    [[gnu::always_inline]] static I ramp_i() { return _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7); }
    [[gnu::always_inline]] static float first(F v) { return _mm256_cvtss_f32(v); }
    [[gnu::always_inline]] static I alpha_lanes() {
        return _mm256_set1_epi64x(static_cast<long long>(0xffff000000000000ull));
    }
    [[gnu::always_inline]] static I and_(I a, I b) { return _mm256_and_si256(a, b); }
    [[gnu::always_inline]] static I or_(I a, I b) { return _mm256_or_si256(a, b); }
    [[gnu::always_inline]] static I xor_(I a, I b) { return _mm256_xor_si256(a, b); }
    [[gnu::always_inline]] static I andnot(I a, I b) { return _mm256_andnot_si256(a, b); }
    [[gnu::always_inline]] static bool any(I v) { return !_mm256_testz_si256(v, v); }
    [[gnu::always_inline]] static I add16(I a, I b) { return _mm256_add_epi16(a, b); }
    [[gnu::always_inline]] static I sub16(I a, I b) { return _mm256_sub_epi16(a, b); }
    [[gnu::always_inline]] static I mullo16(I a, I b) { return _mm256_mullo_epi16(a, b); }
    [[gnu::always_inline]] static I mulhi_u16(I a, I b) { return _mm256_mulhi_epu16(a, b); }
    [[gnu::always_inline]] static I min16(I a, I b) { return _mm256_min_epi16(a, b); }
    [[gnu::always_inline]] static I max16(I a, I b) { return _mm256_max_epi16(a, b); }
    [[gnu::always_inline]] static I subs_u16(I a, I b) { return _mm256_subs_epu16(a, b); }
    [[gnu::always_inline]] static I madd16(I a, I b) { return _mm256_madd_epi16(a, b); }
    template <int N> [[gnu::always_inline]] static I srai16(I v) { return _mm256_srai_epi16(v, N); }
    template <int N> [[gnu::always_inline]] static I sll16(I v) { return _mm256_slli_epi16(v, N); }
    // Byte shuffles within each 128-bit half, where unpack() keeps a pixel's channels.
    [[gnu::always_inline]] static I bytes(I v, I order) { return _mm256_shuffle_epi8(v, order); }
    [[gnu::always_inline]] static I alpha16(I v) {
        return bytes(v, _mm256_set_epi64x(0x0f0e0f0e0f0e0f0ell, 0x0706070607060706ll, 0x0f0e0f0e0f0e0f0ell,
                                          0x0706070607060706ll));
    }
    [[gnu::always_inline]] static I spread_lo(I w32) {
        return bytes(w32, _mm256_set_epi64x(0x0504050405040504ll, 0x0100010001000100ll, 0x0504050405040504ll,
                                            0x0100010001000100ll));
    }
    [[gnu::always_inline]] static I spread_hi(I w32) {
        return bytes(w32, _mm256_set_epi64x(0x0d0c0d0c0d0c0d0cll, 0x0908090809080908ll, 0x0d0c0d0c0d0c0d0cll,
                                            0x0908090809080908ll));
    }
    [[gnu::always_inline]] static I add32(I a, I b) { return _mm256_add_epi32(a, b); }
    [[gnu::always_inline]] static I cmpeq32(I a, I b) { return _mm256_cmpeq_epi32(a, b); }
    [[gnu::always_inline]] static I cmpgt32(I a, I b) { return _mm256_cmpgt_epi32(a, b); }
    template <int N> [[gnu::always_inline]] static I sll32(I v) { return _mm256_slli_epi32(v, N); }
    template <int N> [[gnu::always_inline]] static I srl32(I v) { return _mm256_srli_epi32(v, N); }
    template <int N> [[gnu::always_inline]] static I sra32(I v) { return _mm256_srai_epi32(v, N); }
    // Unpacks and packs work within each 128-bit half, as two SSE2 groups side by side: a pixel keeps its
    // place through unpack() and pack(), and the weights spread for lo and hi follow the same order.
    [[gnu::always_inline]] static I unpacklo8(I a, I b) { return _mm256_unpacklo_epi8(a, b); }
    [[gnu::always_inline]] static I unpackhi8(I a, I b) { return _mm256_unpackhi_epi8(a, b); }
    [[gnu::always_inline]] static I unpacklo16(I a, I b) { return _mm256_unpacklo_epi16(a, b); }
    [[gnu::always_inline]] static I unpackhi16(I a, I b) { return _mm256_unpackhi_epi16(a, b); }
    [[gnu::always_inline]] static I unpacklo32(I a, I b) { return _mm256_unpacklo_epi32(a, b); }
    [[gnu::always_inline]] static I unpackhi32(I a, I b) { return _mm256_unpackhi_epi32(a, b); }
    [[gnu::always_inline]] static I packus16(I a, I b) { return _mm256_packus_epi16(a, b); }
    [[gnu::always_inline]] static I packs32(I a, I b) { return _mm256_packs_epi32(a, b); }
    [[gnu::always_inline]] static I truncate(F v) { return _mm256_cvttps_epi32(v); }
    [[gnu::always_inline]] static F to_float(I v) { return _mm256_cvtepi32_ps(v); }
    [[gnu::always_inline]] static I greater(F a, F b) {
        return _mm256_castps_si256(_mm256_cmp_ps(a, b, _CMP_GT_OQ));
    }
    [[gnu::always_inline]] static F minf(F a, F b) { return _mm256_min_ps(a, b); }
    [[gnu::always_inline]] static F maxf(F a, F b) { return _mm256_max_ps(a, b); }

    // The first n pixels at p; masked lanes are neither read nor written.
    [[gnu::always_inline]] static I first_lanes(int n) { return _mm256_cmpgt_epi32(set32(n), ramp_i()); }
    [[gnu::always_inline]] static I load(const uint32_t* p, int n) {
        if (n == lanes) return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
        return _mm256_maskload_epi32(reinterpret_cast<const int*>(p), first_lanes(n));
    }
    [[gnu::always_inline]] static void store(uint32_t* p, I v, int n) {
        if (n == lanes) return _mm256_storeu_si256(reinterpret_cast<__m256i*>(p), v);
        _mm256_maskstore_epi32(reinterpret_cast<int*>(p), first_lanes(n), v);
    }

    [[gnu::always_inline]] static I sub32(I a, I b) { return _mm256_sub_epi32(a, b); }
    [[gnu::always_inline]] static I max_u32(I a, I b) { return _mm256_max_epu32(a, b); }
    [[gnu::always_inline]] static bool all(I v) { return _mm256_movemask_epi8(v) == -1; }
    [[gnu::always_inline]] static int first_lane(I v) { return _mm_cvtsi128_si32(_mm256_castsi256_si128(v)); }
    [[gnu::always_inline]] static int last_lane(I v) {
        return _mm_extract_epi32(_mm256_extracti128_si256(v, 1), 3);
    }
    [[gnu::always_inline]] static I broadcast_first(I v) {
        return _mm256_broadcastd_epi32(_mm256_castsi256_si128(v));
    }
    // Element index (0..15) of the sixteen in lo and hi, for each lane.
    [[gnu::always_inline]] static I pick(I lo, I hi, I index) {
        const I a = _mm256_permutevar8x32_epi32(lo, index), b = _mm256_permutevar8x32_epi32(hi, index);
        return _mm256_blendv_epi8(a, b, _mm256_cmpgt_epi32(index, set32(lanes - 1)));
    }

    [[gnu::always_inline]] static I gather(const uint8_t* base, I index) {
        return _mm256_i32gather_epi32(reinterpret_cast<const int*>(base), index, 4);
    }
    // Each pixel's texel and its right-hand neighbour.
    [[gnu::always_inline]] static void gather_pairs(const uint8_t* base, I index, I& left, I& right) {
        left = gather(base, index);
        right = gather(base, _mm256_add_epi32(index, _mm256_set1_epi32(1)));
    }
};

namespace avx2 {
using V = Avx2Lanes;
#include <qcore/platform/d3d8/soft/span_lanes.inc>
} // namespace avx2

#pragma GCC pop_options
#pragma GCC push_options
#pragma GCC target("arch=x86-64-v4")

// AVX-512 picks from sixteen elements in one instruction.
struct Avx512Lanes : Avx2Lanes {
    [[gnu::always_inline]] static I pick(I lo, I hi, I index) {
        return _mm256_permutex2var_epi32(lo, index, hi);
    }
};

namespace avx512 {
using V = Avx512Lanes;
#include <qcore/platform/d3d8/soft/span_lanes.inc>
} // namespace avx512

#pragma GCC pop_options
#endif

// The operations operate() implements: select_arg1 to blend_current_alpha are numbered in a row.
bool simd_operation(uint32_t op) {
    return (op >= top::select_arg1 && op <= top::blend_current_alpha) ||
           op == top::modulate_alpha_add_color || op == top::modulate_inv_alpha_add_color ||
           op == top::multiply_add || op == top::lerp;
}

bool simd_argument(uint32_t arg) {
    const uint32_t s = arg & ta::select_mask;
    return s != ta::specular && s <= ta::temp && (arg & ~0x3fu) == 0;
}

// Every level of a wrapped power-of-two texture, addressed by 16-bit texel coordinates and pitch.
bool simd_sampler(const StageSampler& s) {
    if (!s.wrap_pow2) return false;
    for (int i = s.first_level; i < s.level_count; ++i) {
        const SampleLevel& l = s.levels[i];
        if (l.pitch % 4 != 0 || l.pitch / 4 >= 32768 || l.width > 32768 || l.height > 32768 ||
            (l.width & (l.width - 1)) != 0 || (l.height & (l.height - 1)) != 0)
            return false;
    }
    return true;
}

std::atomic<SimdBuild> g_build{SimdBuild::best};

// The widest build this processor runs, unless set_simd_build asked for the baseline.
void pick_build(SimdProgram& program) {
    program.shade = &sse2::shade;
    program.lanes = 4;
#ifdef QCORE_SOFT_WIDE_LANES
    if (g_build.load(std::memory_order_relaxed) == SimdBuild::baseline) return;
    static const int level = [] {
        __builtin_cpu_init();
        const bool v3 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
                        __builtin_cpu_supports("fma") && __builtin_cpu_supports("movbe");
        const bool v4 = v3 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                        __builtin_cpu_supports("avx512cd");
        return v4 ? 4 : v3 ? 3 : 1;
    }();
    if (level < 3) return;
    program.shade = level == 4 ? &avx512::shade : &avx2::shade;
    program.lanes = 8;
#endif
}

} // namespace

void set_simd_build(SimdBuild build) {
    g_build.store(build, std::memory_order_relaxed);
}

bool choose_simd_program(PixelContext& ctx) {
    const D3DFORMAT f = ctx.target.color.format, d = ctx.target.depth.format;
    if ((f != D3DFMT_A8R8G8B8 && f != D3DFMT_X8R8G8B8) || ctx.stencil || ctx.specular ||
        ctx.stage_count > simd_max_stages)
        return false;
    if (ctx.target.depth.data && (ctx.depth_test || ctx.depth_write) && d != D3DFMT_D24S8 &&
        d != D3DFMT_D24X8)
        return false;
    SimdProgram& program = ctx.program;
    program = SimdProgram{};
    pick_build(program);
    program.factor = pack_argb(ctx.factor);
    if (ctx.blending) {
        uint32_t src = ctx.blend.src, dest = ctx.blend.dest;
        if (src == blend_both_src_alpha)
            src = blend_src_alpha, dest = blend_inv_src_alpha;
        else if (src == blend_both_inv_src_alpha)
            src = blend_inv_src_alpha, dest = blend_src_alpha;
        else if (dest == blend_both_src_alpha || dest == blend_both_inv_src_alpha)
            dest = blend_one; // as the general path reads them as destination factors
        if (src < blend_zero || src > blend_src_alpha_sat || dest < blend_zero || dest > blend_src_alpha_sat)
            return false;
        program.src_factor = src, program.dest_factor = dest;
    }
    for (int i = 0; i < 4; ++i)
        if (!(ctx.write_mask & (1u << i))) program.keep_mask |= 0xffu << (i == 3 ? 24 : 16 - 8 * i);
    program.stage_count = ctx.stage_count;
    for (int i = 0; i < ctx.stage_count; ++i) {
        const StageProgram& p = ctx.stages[i];
        SimdStage& s = program.stages[i];
        if (!simd_operation(p.color_op) || (p.alpha_op != top::disable && !simd_operation(p.alpha_op)))
            return false;
        for (int k = 0; k < 3; ++k)
            if (!simd_argument(p.color_args[k]) || !simd_argument(p.alpha_args[k])) return false;
        s.textured = ctx.stage_uv[i] >= 0;
        if (s.textured && !simd_sampler(ctx.samplers[i])) return false;
        s.keep_alpha = p.alpha_op == top::disable;
        // Replicating alpha into the colour leaves the alpha lane as it was, so it does not count.
        const auto same = [&](int k) {
            return (p.color_args[k] & ~ta::alpha_replicate) == (p.alpha_args[k] & ~ta::alpha_replicate);
        };
        s.alpha_from_color = p.alpha_op == p.color_op && same(0) && same(1) && same(2);
    }
    return true;
}

void shade_span_simd(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1) {
    ctx.program.shade(ctx, prim, planes, y, x0, x1);
}

} // namespace qcore::detail::soft
