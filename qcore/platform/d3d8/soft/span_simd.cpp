#include <qcore/platform/d3d8/soft/span_simd.h>

#include <qcore/platform/d3d8/soft/pixel_processor.h>

#include <emmintrin.h>

#include <algorithm>
#include <cstring>

namespace qcore::detail::soft {

namespace {

// Four pixels as two registers of 16-bit lanes, [b g r a] of two pixels each.
struct Quad {
    __m128i lo, hi;
};

inline __m128i c255() {
    return _mm_set1_epi16(255);
}

Quad splat(uint32_t argb) {
    const __m128i p = _mm_unpacklo_epi8(_mm_set1_epi32(static_cast<int>(argb)), _mm_setzero_si128());
    return {p, p};
}

// Rounded x / 255 for lanes x in 0..65025: (x + 128) * 257 >> 16 equals (t + (t >> 8)) >> 8 for t = x + 128.
inline __m128i div255(__m128i x) {
    return _mm_mulhi_epu16(_mm_add_epi16(x, _mm_set1_epi16(128)), _mm_set1_epi16(257));
}

// Rounded a * b / 255 for lanes in 0..255.
inline __m128i mul8(__m128i a, __m128i b) {
    return div255(_mm_mullo_epi16(a, b));
}
inline Quad mul8(const Quad& a, const Quad& b) {
    return {mul8(a.lo, b.lo), mul8(a.hi, b.hi)};
}

inline __m128i lerp7(__m128i a, __m128i b, __m128i w7) {
    return _mm_add_epi16(a, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(b, a), w7), 7));
}

inline __m128i alpha_of(__m128i v) {
    return _mm_shufflehi_epi16(_mm_shufflelo_epi16(v, 0xff), 0xff);
}
inline Quad alpha_of(const Quad& q) {
    return {alpha_of(q.lo), alpha_of(q.hi)};
}
inline Quad inverse(const Quad& q) {
    return {_mm_sub_epi16(c255(), q.lo), _mm_sub_epi16(c255(), q.hi)};
}
inline Quad add(const Quad& a, const Quad& b) {
    return {_mm_add_epi16(a.lo, b.lo), _mm_add_epi16(a.hi, b.hi)};
}
// Clamps lanes that may leave 0..255 (signed 16-bit) back into it.
inline Quad clamp(const Quad& q) {
    const __m128i z = _mm_setzero_si128();
    return {_mm_min_epi16(_mm_max_epi16(q.lo, z), c255()), _mm_min_epi16(_mm_max_epi16(q.hi, z), c255())};
}
inline Quad add_saturated(const Quad& a, const Quad& b) {
    return {_mm_min_epi16(_mm_add_epi16(a.lo, b.lo), c255()),
            _mm_min_epi16(_mm_add_epi16(a.hi, b.hi), c255())};
}
inline Quad lerp255(const Quad& a, const Quad& b, const Quad& w) {
    return add(mul8(a, w), mul8(b, inverse(w)));
}
inline Quad select_alpha(const Quad& color, const Quad& alpha) {
    const __m128i m = _mm_set_epi16(-1, 0, 0, 0, -1, 0, 0, 0);
    return {_mm_or_si128(_mm_andnot_si128(m, color.lo), _mm_and_si128(m, alpha.lo)),
            _mm_or_si128(_mm_andnot_si128(m, color.hi), _mm_and_si128(m, alpha.hi))};
}

inline Quad unpack(__m128i packed) {
    const __m128i z = _mm_setzero_si128();
    return {_mm_unpacklo_epi8(packed, z), _mm_unpackhi_epi8(packed, z)};
}
inline __m128i pack(const Quad& q) {
    return _mm_packus_epi16(q.lo, q.hi);
}

// Repeats each pixel's 16-bit weight (low half of its 32-bit lane) over its four channels.
inline __m128i spread_lo(__m128i w32) {
    const __m128i w16 = _mm_shufflelo_epi16(_mm_shufflehi_epi16(w32, 0xa0), 0xa0);
    return _mm_unpacklo_epi32(w16, w16);
}
inline __m128i spread_hi(__m128i w32) {
    const __m128i w16 = _mm_shufflelo_epi16(_mm_shufflehi_epi16(w32, 0xa0), 0xa0);
    return _mm_unpackhi_epi32(w16, w16);
}

inline __m128i floor_epi32(__m128 f) {
    const __m128i t = _mm_cvttps_epi32(f);
    return _mm_add_epi32(t, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(t), f)));
}

inline __m128i not_si128(__m128i v) {
    return _mm_xor_si128(v, _mm_set1_epi32(-1));
}

// Lane masks of compare(func, value, reference) for values below 2^31.
[[gnu::always_inline]] inline __m128i compare4(uint32_t func, __m128i value, __m128i reference) {
    switch (func) {
    case cmp_never:
        return _mm_setzero_si128();
    case cmp_less:
        return _mm_cmplt_epi32(value, reference);
    case cmp_equal:
        return _mm_cmpeq_epi32(value, reference);
    case cmp_less_equal:
        return not_si128(_mm_cmpgt_epi32(value, reference));
    case cmp_greater:
        return _mm_cmpgt_epi32(value, reference);
    case cmp_not_equal:
        return not_si128(_mm_cmpeq_epi32(value, reference));
    case cmp_greater_equal:
        return not_si128(_mm_cmplt_epi32(value, reference));
    default:
        return _mm_set1_epi32(-1);
    }
}

// Loads and stores of up to four pixels; whole groups go straight to memory.
inline __m128i load_n(const uint32_t* p, int n) {
    if (n == 4) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    uint32_t tmp[4] = {0, 0, 0, 0};
    std::memcpy(tmp, p, static_cast<size_t>(n) * 4);
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(tmp));
}

inline void store_n(uint32_t* p, __m128i v, int n) {
    if (n == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
        return;
    }
    uint32_t tmp[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(tmp), v);
    std::memcpy(p, tmp, static_cast<size_t>(n) * 4);
}

inline uint32_t texel(const uint8_t* base, int index) {
    uint32_t t;
    std::memcpy(&t, base + static_cast<ptrdiff_t>(index) * 4, 4);
    return t;
}

// The texels at four texel indices, the indices worked out four at a time and read with plain loads
// (SSE2 has no gather).
inline __m128i gather(const uint8_t* base, __m128i index) {
    const int i0 = _mm_cvtsi128_si32(index), i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0x55)),
              i2 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xaa)),
              i3 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xff));
    const __m128i a = _mm_cvtsi32_si128(static_cast<int>(texel(base, i0)));
    const __m128i b = _mm_cvtsi32_si128(static_cast<int>(texel(base, i1)));
    const __m128i c = _mm_cvtsi32_si128(static_cast<int>(texel(base, i2)));
    const __m128i d = _mm_cvtsi32_si128(static_cast<int>(texel(base, i3)));
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(a, b), _mm_unpacklo_epi32(c, d));
}

// The texels at four texel indices and their right-hand neighbours, read a pair at a time.
inline void gather_pairs(const uint8_t* base, __m128i index, __m128i& left, __m128i& right) {
    const int i0 = _mm_cvtsi128_si32(index), i1 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0x55)),
              i2 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xaa)),
              i3 = _mm_cvtsi128_si32(_mm_shuffle_epi32(index, 0xff));
    auto pair = [&](int i) {
        return _mm_loadl_epi64(reinterpret_cast<const __m128i*>(base + static_cast<ptrdiff_t>(i) * 4));
    };
    // l0 r0 l1 r1 and l2 r2 l3 r3, each regrouped as lefts then rights.
    const __m128i a = _mm_shuffle_epi32(_mm_unpacklo_epi64(pair(i0), pair(i1)), 0xd8);
    const __m128i b = _mm_shuffle_epi32(_mm_unpacklo_epi64(pair(i2), pair(i3)), 0xd8);
    left = _mm_unpacklo_epi64(a, b);
    right = _mm_unpackhi_epi64(a, b);
}

// Texel index of (x, y) for coordinates and pitch (in texels) below 2^15: x + y * pitch in one multiply-add.
inline __m128i texel_index(__m128i x, __m128i y, __m128i pitch_hi) {
    return _mm_madd_epi16(_mm_or_si128(x, _mm_slli_epi32(y, 16)), pitch_hi);
}

// Four texels of one power-of-two level with wrapping, point or bilinear.
[[gnu::always_inline]] inline Quad fetch4(const SampleLevel& level, bool linear, __m128 tu, __m128 tv) {
    const __m128 half_texel = _mm_set1_ps(linear ? -127.5f : 0.f);
    const __m128i fu = floor_epi32(
        _mm_add_ps(_mm_mul_ps(tu, _mm_set1_ps(static_cast<float>(level.width) * 256.f)), half_texel));
    const __m128i fv = floor_epi32(
        _mm_add_ps(_mm_mul_ps(tv, _mm_set1_ps(static_cast<float>(level.height) * 256.f)), half_texel));
    const __m128i wm = _mm_set1_epi32(level.width - 1), hm = _mm_set1_epi32(level.height - 1);
    const __m128i pitch_hi = _mm_set1_epi32(1 | (level.pitch / 4) << 16);
    const __m128i alpha_or = _mm_set1_epi32(static_cast<int>(level.alpha_or));
    const __m128i tx = _mm_srai_epi32(fu, 8), ty = _mm_srai_epi32(fv, 8);
    const __m128i x0 = _mm_and_si128(tx, wm), y0 = _mm_and_si128(ty, hm);
    if (!linear) return unpack(_mm_or_si128(gather(level.data, texel_index(x0, y0, pitch_hi)), alpha_or));
    const __m128i one = _mm_set1_epi32(1);
    const __m128i x1 = _mm_and_si128(_mm_add_epi32(tx, one), wm),
                  y1 = _mm_and_si128(_mm_add_epi32(ty, one), hm);
    __m128i p00, p10, p01, p11;
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(x0, wm)) == 0) {
        // No pixel wraps from the last column to the first: each row's two texels lie side by side.
        gather_pairs(level.data, texel_index(x0, y0, pitch_hi), p00, p10);
        gather_pairs(level.data, texel_index(x0, y1, pitch_hi), p01, p11);
    } else {
        p00 = gather(level.data, texel_index(x0, y0, pitch_hi));
        p10 = gather(level.data, texel_index(x1, y0, pitch_hi));
        p01 = gather(level.data, texel_index(x0, y1, pitch_hi));
        p11 = gather(level.data, texel_index(x1, y1, pitch_hi));
    }
    if (level.alpha_or) {
        p00 = _mm_or_si128(p00, alpha_or), p10 = _mm_or_si128(p10, alpha_or);
        p01 = _mm_or_si128(p01, alpha_or), p11 = _mm_or_si128(p11, alpha_or);
    }
    const __m128i wx = _mm_srli_epi32(_mm_and_si128(fu, _mm_set1_epi32(255)), 1);
    const __m128i wy = _mm_srli_epi32(_mm_and_si128(fv, _mm_set1_epi32(255)), 1);
    const __m128i wxl = spread_lo(wx), wxh = spread_hi(wx), wyl = spread_lo(wy), wyh = spread_hi(wy);
    const Quad a = unpack(p00), b = unpack(p10), c = unpack(p01), d = unpack(p11);
    const __m128i top_lo = lerp7(a.lo, b.lo, wxl), top_hi = lerp7(a.hi, b.hi, wxh);
    const __m128i bot_lo = lerp7(c.lo, d.lo, wxl), bot_hi = lerp7(c.hi, d.hi, wxh);
    return {lerp7(top_lo, bot_lo, wyl), lerp7(top_hi, bot_hi, wyh)};
}

// Samples four pixels; mipmapped textures take one level of detail per four pixels, from the first one, as
// hardware does per 2x2 quad.
[[gnu::always_inline]] inline Quad sample4(const StageSampler& s, const float* planes, int slot,
                                           float lod_offset, __m128 tu, __m128 tv, __m128 w) {
    const int first = s.first_level, last = s.level_count - 1;
    if (!s.needs_lod) return fetch4(s.levels[first], s.mag_filter == filter_linear, tu, tv);
    const float u0 = _mm_cvtss_f32(tu), v0 = _mm_cvtss_f32(tv), w0 = _mm_cvtss_f32(w);
    const float lod = std::min(level_of_detail(s, planes, slot, u0, v0, w0) + lod_offset + s.lod_bias, 32.f);
    if (!(lod > 0.f) || s.mip_filter == filter_none || first >= last)
        return fetch4(s.levels[first], (lod > 0.f ? s.min_filter : s.mag_filter) == filter_linear, tu, tv);
    const bool linear = s.min_filter == filter_linear;
    if (s.mip_filter == filter_point)
        return fetch4(s.levels[std::clamp(static_cast<int>(lod + 0.5f), first, last)], linear, tu, tv);
    const int base = static_cast<int>(lod);
    if (base < first || base >= last) return fetch4(s.levels[std::clamp(base, first, last)], linear, tu, tv);
    const Quad near = fetch4(s.levels[base], linear, tu, tv),
               far = fetch4(s.levels[base + 1], linear, tu, tv);
    const __m128i weight =
        _mm_set1_epi16(static_cast<short>((lod - static_cast<float>(base)) * 128.f + 0.5f));
    return {lerp7(near.lo, far.lo, weight), lerp7(near.hi, far.hi, weight)};
}

// What a stage's arguments may name, for four pixels.
struct Registers {
    Quad diffuse, current, temp, texture, factor;
};

[[gnu::always_inline]] inline Quad argument(uint32_t arg, const Registers& r) {
    Quad v;
    switch (arg & ta::select_mask) {
    case ta::diffuse:
        v = r.diffuse;
        break;
    case ta::current:
        v = r.current;
        break;
    case ta::texture:
        v = r.texture;
        break;
    case ta::tfactor:
        v = r.factor;
        break;
    default:
        v = r.temp;
        break;
    }
    if (arg & ta::complement) v = inverse(v);
    if (arg & ta::alpha_replicate) v = alpha_of(v);
    return v;
}

// One texture operation on whole pixels; the alpha lanes give what the operation gives for alpha.
[[gnu::always_inline]] inline Quad operate(uint32_t op, const uint32_t* args, const Registers& r) {
    const Quad a1 = argument(args[1], r);
    if (op == top::select_arg1) return a1;
    const Quad a2 = argument(args[2], r);
    switch (op) {
    case top::select_arg2:
        return a2;
    case top::modulate:
        return mul8(a1, a2);
    case top::modulate2x: {
        const Quad m = mul8(a1, a2);
        return {_mm_min_epi16(_mm_slli_epi16(m.lo, 1), c255()),
                _mm_min_epi16(_mm_slli_epi16(m.hi, 1), c255())};
    }
    case top::modulate4x: {
        const Quad m = mul8(a1, a2);
        return {_mm_min_epi16(_mm_slli_epi16(m.lo, 2), c255()),
                _mm_min_epi16(_mm_slli_epi16(m.hi, 2), c255())};
    }
    case top::add:
        return add_saturated(a1, a2);
    case top::add_signed: {
        const __m128i bias = _mm_set1_epi16(127);
        return clamp({_mm_sub_epi16(_mm_add_epi16(a1.lo, a2.lo), bias),
                      _mm_sub_epi16(_mm_add_epi16(a1.hi, a2.hi), bias)});
    }
    case top::add_signed2x: {
        const Quad s = add(a1, a2);
        return clamp({_mm_sub_epi16(_mm_add_epi16(s.lo, s.lo), c255()),
                      _mm_sub_epi16(_mm_add_epi16(s.hi, s.hi), c255())});
    }
    case top::subtract:
        return {_mm_subs_epu16(a1.lo, a2.lo), _mm_subs_epu16(a1.hi, a2.hi)};
    case top::add_smooth: {
        const Quad m = mul8(a1, a2);
        return clamp({_mm_sub_epi16(_mm_add_epi16(a1.lo, a2.lo), m.lo),
                      _mm_sub_epi16(_mm_add_epi16(a1.hi, a2.hi), m.hi)});
    }
    case top::blend_diffuse_alpha:
        return lerp255(a1, a2, alpha_of(r.diffuse));
    case top::blend_texture_alpha:
        return lerp255(a1, a2, alpha_of(r.texture));
    case top::blend_factor_alpha:
        return lerp255(a1, a2, alpha_of(r.factor));
    case top::blend_current_alpha:
        return lerp255(a1, a2, alpha_of(r.current));
    case top::blend_texture_alpha_pm:
        return add_saturated(a1, mul8(a2, inverse(alpha_of(r.texture))));
    case top::modulate_alpha_add_color:
        return add_saturated(a1, mul8(alpha_of(a1), a2));
    case top::modulate_inv_alpha_add_color:
        return add_saturated(a1, mul8(inverse(alpha_of(a1)), a2));
    case top::multiply_add:
        return add_saturated(argument(args[0], r), mul8(a1, a2));
    default: // lerp
        return lerp255(a1, a2, argument(args[0], r));
    }
}

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

// Blend factor for four pixels; source tells the source factor, whose alpha lanes take one under SRCALPHASAT
// where the colour lanes take min(As, 1 - Ad).
[[gnu::always_inline]] inline Quad blend_factor(uint32_t f, const Quad& s, const Quad& d, bool source) {
    switch (f) {
    case blend_zero:
        return {_mm_setzero_si128(), _mm_setzero_si128()};
    case blend_one:
        return {c255(), c255()};
    case blend_src_color:
        return s;
    case blend_inv_src_color:
        return inverse(s);
    case blend_src_alpha:
        return alpha_of(s);
    case blend_inv_src_alpha:
        return inverse(alpha_of(s));
    case blend_dest_alpha:
        return alpha_of(d);
    case blend_inv_dest_alpha:
        return inverse(alpha_of(d));
    case blend_dest_color:
        return d;
    case blend_inv_dest_color:
        return inverse(d);
    default: { // source alpha saturated: min(As, 1 - Ad); the source factor of alpha is one
        const Quad inv_da = inverse(alpha_of(d)), sa = alpha_of(s);
        const Quad m = {_mm_min_epi16(sa.lo, inv_da.lo), _mm_min_epi16(sa.hi, inv_da.hi)};
        return source ? select_alpha(m, {c255(), c255()}) : m;
    }
    }
}

// s * fs + d * fd and the other blend operations, as the general path's blend() computes them.
[[gnu::always_inline]] inline Quad blend4(const PixelContext& ctx, const Quad& s, const Quad& d) {
    const uint32_t op = ctx.blend.op;
    if (op == blendop_min) return {_mm_min_epi16(s.lo, d.lo), _mm_min_epi16(s.hi, d.hi)};
    if (op == blendop_max) return {_mm_max_epi16(s.lo, d.lo), _mm_max_epi16(s.hi, d.hi)};
    const uint32_t sf = ctx.program.src_factor, df = ctx.program.dest_factor;
    if (op == blendop_add && sf == blend_src_alpha && df == blend_inv_src_alpha) {
        // s * a + d * (255 - a) stays below 2^16: one rounded division for both products.
        const Quad a = alpha_of(s);
        auto mix = [](__m128i s, __m128i d, __m128i a) {
            return div255(_mm_add_epi16(_mm_mullo_epi16(s, a), _mm_mullo_epi16(d, _mm_sub_epi16(c255(), a))));
        };
        return {mix(s.lo, d.lo, a.lo), mix(s.hi, d.hi, a.hi)};
    }
    const Quad ws = sf == blend_one ? s : mul8(s, blend_factor(sf, s, d, true));
    const Quad wd = df == blend_one ? d : mul8(d, blend_factor(df, s, d, false));
    if (op == blendop_subtract) return {_mm_subs_epu16(ws.lo, wd.lo), _mm_subs_epu16(ws.hi, wd.hi)};
    if (op == blendop_rev_subtract) return {_mm_subs_epu16(wd.lo, ws.lo), _mm_subs_epu16(wd.hi, ws.hi)};
    return add_saturated(ws, wd);
}

struct Interpolant {
    __m128 value, step;
    void advance() { value = _mm_add_ps(value, step); }
};

template <int Stages, bool Blend>
[[gnu::always_inline]] inline void shade4(const PixelContext& ctx, const Prim& prim, const float* planes,
                                          int y, int x0, int x1) {
    const float dx = static_cast<float>(x0 - prim.bounds.x0), dy = static_cast<float>(y - prim.bounds.y0);
    const __m128 lane = _mm_set_ps(3.f, 2.f, 1.f, 0.f);
    auto start = [&](int i) -> Interpolant {
        return {_mm_add_ps(_mm_set1_ps(planes[i] + planes[i + 1] * dx + planes[i + 2] * dy),
                           _mm_mul_ps(lane, _mm_set1_ps(planes[i + 1]))),
                _mm_set1_ps(planes[i + 1] * 4.f)};
    };
    Interpolant z = start(0), q = start(3), r = start(6), g = start(9), b = start(12), a = start(15);
    Interpolant u[simd_max_stages] = {}, v[simd_max_stages] = {};
    for (int s = 0; s < Stages; ++s)
        if (ctx.program.stages[s].textured) {
            const int slot = ctx.stage_uv[s];
            u[s] = start(6 + 3 * slot), v[s] = start(9 + 3 * slot);
        }
    const SurfaceView& color = ctx.target.color;
    uint32_t* row = reinterpret_cast<uint32_t*>(color.data + static_cast<ptrdiff_t>(y) * color.pitch);
    const SurfaceView& dv = ctx.target.depth;
    const bool depth_test = dv.data && ctx.depth_test, depth_write = dv.data && ctx.depth_write;
    uint32_t* depth_row = depth_test || depth_write
                              ? reinterpret_cast<uint32_t*>(dv.data + static_cast<ptrdiff_t>(y) * dv.pitch)
                              : nullptr;
    const __m128 one = _mm_set1_ps(1.f), zero = _mm_setzero_ps(), c05 = _mm_set1_ps(0.5f);
    const __m128 depth_scale = _mm_set1_ps(16777215.f), color_scale = _mm_set1_ps(255.f);
    const __m128i alpha_or =
        _mm_set1_epi32(color.format == D3DFMT_X8R8G8B8 ? static_cast<int>(0xff000000u) : 0);
    const __m128i keep = _mm_set1_epi32(static_cast<int>(ctx.program.keep_mask));
    const __m128i alpha_ref =
        _mm_set1_epi32(static_cast<int>(std::min<uint32_t>(ctx.alpha_ref, 0x7fffffffu)));
    const __m128i stencil_bits = _mm_set1_epi32(255);
    // Diffuse bytes per pixel, saturated into 0..255 by the packs and clamps.
    auto diffuse_bytes = [&](__m128 rv, __m128 gv, __m128 bv, __m128 av, __m128 w) {
        const __m128 wc = _mm_mul_ps(w, color_scale);
        auto bytes = [&](__m128 f) { return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(f, wc), c05)); };
        const __m128i rb = _mm_packs_epi32(bytes(bv), bytes(rv)), ga = _mm_packs_epi32(bytes(gv), bytes(av));
        const __m128i bg = _mm_unpacklo_epi16(rb, ga), ra = _mm_unpackhi_epi16(rb, ga);
        return clamp({_mm_unpacklo_epi32(bg, ra), _mm_unpackhi_epi32(bg, ra)});
    };
    // Without perspective (q the same everywhere) w is one value; with flat colours as well, so is diffuse.
    const bool affine = planes[4] == 0.f && planes[5] == 0.f;
    const __m128 w_affine = _mm_div_ps(one, q.value);
    bool flat = affine;
    for (int i = 6; i < 18; i += 3)
        flat = flat && planes[i + 1] == 0.f && planes[i + 2] == 0.f;
    Registers regs;
    regs.factor = splat(pack_argb(ctx.factor));
    regs.diffuse = diffuse_bytes(r.value, g.value, b.value, a.value, w_affine);
    for (int x = x0; x <= x1; x += 4) {
        const int n = std::min(4, x1 - x + 1);
        __m128i live = _mm_cmplt_epi32(_mm_set_epi32(3, 2, 1, 0), _mm_set1_epi32(n));
        __m128i z_int = _mm_setzero_si128(), old_depth = _mm_setzero_si128();
        if (depth_row) {
            const __m128 zc = _mm_min_ps(_mm_max_ps(z.value, zero), one);
            z_int = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(zc, depth_scale), c05));
            old_depth = load_n(depth_row + x, n);
            if (depth_test)
                live = _mm_and_si128(live, compare4(ctx.z_func, z_int, _mm_srli_epi32(old_depth, 8)));
        }
        if (_mm_movemask_epi8(live) != 0) {
            const __m128 w = affine ? w_affine : _mm_div_ps(one, q.value);
            if (!flat) regs.diffuse = diffuse_bytes(r.value, g.value, b.value, a.value, w);
            regs.current = regs.diffuse;
            regs.temp = {_mm_setzero_si128(), _mm_setzero_si128()};
            for (int s = 0; s < Stages; ++s) {
                const SimdStage& stage = ctx.program.stages[s];
                const StageProgram& p = ctx.stages[s];
                regs.texture = stage.textured
                                   ? sample4(ctx.samplers[s], planes, ctx.stage_uv[s], ctx.lod_offset,
                                             _mm_mul_ps(u[s].value, w), _mm_mul_ps(v[s].value, w), w)
                                   : Quad{c255(), c255()};
                Quad result = operate(p.color_op, p.color_args, regs);
                if (stage.keep_alpha)
                    result = select_alpha(result, regs.current);
                else if (!stage.alpha_from_color)
                    result = select_alpha(result, operate(p.alpha_op, p.alpha_args, regs));
                (p.to_temp ? regs.temp : regs.current) = result;
            }
            __m128i out = pack(regs.current);
            if (ctx.alpha_test)
                live = _mm_and_si128(live, compare4(ctx.alpha_func, _mm_srli_epi32(out, 24), alpha_ref));
            if (_mm_movemask_epi8(live) != 0) {
                const __m128i dest = load_n(row + x, n);
                if (Blend) out = pack(blend4(ctx, regs.current, unpack(_mm_or_si128(dest, alpha_or))));
                out = _mm_or_si128(_mm_or_si128(_mm_andnot_si128(keep, out), _mm_and_si128(keep, dest)),
                                   alpha_or);
                store_n(row + x, _mm_or_si128(_mm_and_si128(live, out), _mm_andnot_si128(live, dest)), n);
                if (depth_write) {
                    const __m128i new_depth =
                        _mm_or_si128(_mm_slli_epi32(z_int, 8), _mm_and_si128(old_depth, stencil_bits));
                    store_n(depth_row + x,
                            _mm_or_si128(_mm_and_si128(live, new_depth), _mm_andnot_si128(live, old_depth)),
                            n);
                }
            }
        }
        z.advance(), q.advance(), r.advance(), g.advance(), b.advance(), a.advance();
        for (int s = 0; s < Stages; ++s) {
            u[s].advance();
            v[s].advance();
        }
    }
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

[[gnu::always_inline]] inline void shade_any(const PixelContext& ctx, const Prim& prim, const float* planes,
                                             int y, int x0, int x1) {
    const int stages = ctx.program.stage_count;
    if (ctx.blending) {
        if (stages == 0) return shade4<0, true>(ctx, prim, planes, y, x0, x1);
        if (stages == 1) return shade4<1, true>(ctx, prim, planes, y, x0, x1);
        return shade4<2, true>(ctx, prim, planes, y, x0, x1);
    }
    if (stages == 0) return shade4<0, false>(ctx, prim, planes, y, x0, x1);
    if (stages == 1) return shade4<1, false>(ctx, prim, planes, y, x0, x1);
    return shade4<2, false>(ctx, prim, planes, y, x0, x1);
}

// The same code built for the baseline and for newer x86-64 levels, whose VEX encodings and extra
// registers make it shorter. Chosen when a draw starts rather than by the loader (an ifunc resolver runs
// before sanitizer runtimes are ready).
void shade_baseline(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1) {
    shade_any(ctx, prim, planes, y, x0, x1);
}

#if defined(__GNUC__) && !defined(__clang__)
[[gnu::target("arch=x86-64-v3")]] void shade_v3(const PixelContext& ctx, const Prim& prim,
                                                const float* planes, int y, int x0, int x1) {
    shade_any(ctx, prim, planes, y, x0, x1);
}

[[gnu::target("arch=x86-64-v4")]] void shade_v4(const PixelContext& ctx, const Prim& prim,
                                                const float* planes, int y, int x0, int x1) {
    shade_any(ctx, prim, planes, y, x0, x1);
}

SimdProgram::SpanFn best_build() {
    static const SimdProgram::SpanFn best = [] {
        __builtin_cpu_init();
        const bool v3 = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("bmi2") &&
                        __builtin_cpu_supports("fma") && __builtin_cpu_supports("movbe");
        const bool v4 = v3 && __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw") &&
                        __builtin_cpu_supports("avx512vl") && __builtin_cpu_supports("avx512dq") &&
                        __builtin_cpu_supports("avx512cd");
        return v4 ? &shade_v4 : v3 ? &shade_v3 : &shade_baseline;
    }();
    return best;
}
#else
SimdProgram::SpanFn best_build() {
    return &shade_baseline;
}
#endif

} // namespace

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
    program.shade = best_build();
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
