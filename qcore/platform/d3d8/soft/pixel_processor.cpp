#include <qcore/platform/d3d8/soft/pixel_processor.h>

#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qcore::detail::soft {

namespace {

constexpr float inv255 = 1.f / 255.f;

Rgba unpack(uint32_t argb) {
    return {static_cast<float>((argb >> 16) & 0xff) * inv255, static_cast<float>((argb >> 8) & 0xff) * inv255,
            static_cast<float>(argb & 0xff) * inv255, static_cast<float>(argb >> 24) * inv255};
}

// Stencil and depth tests with their updates; returns whether the pixel survives. With deferred_write the
// passing updates are left to finish_depth_stencil (the alpha test decides first).
bool depth_stencil(const PixelContext& ctx, uint8_t* depth, float z, uint32_t& z_int) {
    const D3DFORMAT f = ctx.target.depth.format;
    uint8_t stencil_value = 0;
    if (ctx.stencil) {
        stencil_value = read_stencil(f, depth);
        const uint8_t masked_ref = ctx.stencil_ref & ctx.stencil_mask;
        if (!compare(ctx.stencil_func, masked_ref, stencil_value & ctx.stencil_mask)) {
            const uint8_t next = stencil_operation(ctx.stencil_fail, stencil_value, ctx.stencil_ref);
            write_stencil(f, depth,
                          static_cast<uint8_t>((stencil_value & ~ctx.stencil_write_mask) |
                                               (next & ctx.stencil_write_mask)));
            return false;
        }
    }
    z_int = quantize_depth(f, z);
    if (ctx.depth_test && !compare(ctx.z_func, z_int, read_depth(f, depth))) {
        if (ctx.stencil) {
            const uint8_t next = stencil_operation(ctx.stencil_zfail, stencil_value, ctx.stencil_ref);
            write_stencil(f, depth,
                          static_cast<uint8_t>((stencil_value & ~ctx.stencil_write_mask) |
                                               (next & ctx.stencil_write_mask)));
        }
        return false;
    }
    return true;
}

void depth_stencil_pass(const PixelContext& ctx, uint8_t* depth, uint32_t z_int) {
    const D3DFORMAT f = ctx.target.depth.format;
    if (ctx.depth_write) write_depth(f, depth, z_int);
    if (ctx.stencil) {
        const uint8_t value = read_stencil(f, depth);
        const uint8_t next = stencil_operation(ctx.stencil_pass, value, ctx.stencil_ref);
        write_stencil(
            f, depth,
            static_cast<uint8_t>((value & ~ctx.stencil_write_mask) | (next & ctx.stencil_write_mask)));
    }
}

// u = U / Q with U the plane of slot and Q the plane q_plane (1/w, or a projected coordinate's divisor
// over w); w = 1 / Q here.
float level_of_detail(const StageSampler& s, const float* planes, int slot, const float* q_plane, float u,
                      float v, float w) {
    const float* pu = planes + 3 * (2 + slot);
    const float* pv = pu + 3;
    const float qx = q_plane[1], qy = q_plane[2];
    const float dudx = (pu[1] - u * qx) * w * s.width, dvdx = (pv[1] - v * qx) * w * s.height;
    const float dudy = (pu[2] - u * qy) * w * s.width, dvdy = (pv[2] - v * qy) * w * s.height;
    const float rx = dudx * dudx + dvdx * dvdx, ry = dudy * dudy + dvdy * dvdy;
    const float r = std::max(rx, ry);
    return r > 0.f ? 0.5f * std::log2(r) : -32.f;
}

float level_of_detail(const StageSampler& s, const float* planes, int slot, float u, float v, float w) {
    return level_of_detail(s, planes, slot, planes + 3, u, v, w);
}

// Samples every stage's texture for one pixel. A bump-mapping stage offsets the next stage's coordinates
// by its du/dv texel through the stage's matrix (and with luminance scales that stage's texel); a
// pre-modulating stage multiplies the next stage's texel by its own.
void sample_stages(const PixelContext& ctx, const float* planes, const float* attr, float w, Rgba* textures) {
    float du = 0.f, dv = 0.f, luminance = 1.f;
    bool offset = false, scaled = false;
    const Rgba* premodulate = nullptr;
    for (int s = 0; s < ctx.stage_count; ++s) {
        const int slot = ctx.stage_uv[s];
        const StageProgram& program = ctx.stages[s];
        if (slot < 0) {
            offset = scaled = false;
            premodulate = nullptr;
            continue;
        }
        const StageSampler& sampler = ctx.samplers[s];
        float u = attr[slot] * w, v = attr[slot + 1] * w;
        const float* divisor = planes + 3; // of the coordinates' plane values: 1/w, or q/w when projected
        float inv_divisor = w;
        if (ctx.stage_q[s] >= 0) {
            const float q = attr[ctx.stage_q[s]];
            inv_divisor = q != 0.f ? 1.f / q : 0.f;
            u = attr[slot] * inv_divisor, v = attr[slot + 1] * inv_divisor;
            divisor = planes + 3 * (2 + ctx.stage_q[s]);
        }
        if (offset) {
            const float* m = ctx.stages[s - 1].bump;
            u += m[0] * du + m[2] * dv;
            v += m[1] * du + m[3] * dv;
        }
        const float lod =
            sampler.needs_lod
                ? level_of_detail(sampler, planes, slot, divisor, u, v, inv_divisor) + ctx.lod_offset
                : 0.f;
        Rgba t = unpack(sample(sampler, u, v, lod));
        if (scaled)
            t.r = saturate(t.r * luminance), t.g = saturate(t.g * luminance), t.b = saturate(t.b * luminance);
        if (premodulate)
            t.r *= premodulate->r, t.g *= premodulate->g, t.b *= premodulate->b, t.a *= premodulate->a;
        textures[s] = t;
        offset = program.color_op == top::bump_env_map || program.color_op == top::bump_env_map_luminance;
        scaled = program.color_op == top::bump_env_map_luminance;
        premodulate = program.color_op == top::premodulate ? &textures[s] : nullptr;
        if (offset) {
            float l = 1.f;
            bump_texel(t, du, dv, l);
            luminance = saturate(l * program.bump_scale + program.bump_offset);
        }
    }
}

uint32_t to_byte(float v) {
    const float scaled = v * 255.f + 0.5f;
    return !(scaled > 0.f) ? 0u : (scaled >= 255.f ? 255u : static_cast<uint32_t>(scaled));
}

uint32_t mul8(uint32_t a, uint32_t b) {
    const uint32_t t = a * b + 128;
    return (t + (t >> 8)) >> 8;
}

uint32_t pick(PixelContext::Source source, uint32_t diffuse, uint32_t texture) {
    switch (source) {
    case PixelContext::Source::texture:
        return texture;
    case PixelContext::Source::modulate:
        return mul8(diffuse, texture);
    default:
        return diffuse;
    }
}

bool fast_source(uint32_t op, uint32_t arg1, uint32_t arg2, PixelContext::Source& out) {
    auto plain = [](uint32_t arg) { return arg == ta::diffuse || arg == ta::current || arg == ta::texture; };
    if (!plain(arg1) || !plain(arg2)) return false;
    auto of = [](uint32_t arg) {
        return arg == ta::texture ? PixelContext::Source::texture : PixelContext::Source::diffuse;
    };
    switch (op) {
    case top::select_arg1:
        out = of(arg1);
        return true;
    case top::select_arg2:
        out = of(arg2);
        return true;
    case top::modulate:
        if (of(arg1) == of(arg2)) return false;
        out = PixelContext::Source::modulate;
        return true;
    default:
        return false;
    }
}

template <bool Blend>
void shade_span_fast(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1) {
    const float dx = static_cast<float>(x0 - prim.bounds.x0), dy = static_cast<float>(y - prim.bounds.y0);
    auto at = [&](int i) { return planes[i] + planes[i + 1] * dx + planes[i + 2] * dy; };
    float z = at(0), q = at(3), r = at(6), g = at(9), b = at(12), a = at(15);
    const float zx = planes[1], qx = planes[4], rx = planes[7], gx = planes[10], bx = planes[13],
                ax = planes[16];
    const bool textured = ctx.stage_count > 0 && ctx.stage_uv[0] >= 0;
    const int slot = textured ? ctx.stage_uv[0] : 0;
    float u = textured ? at(6 + 3 * slot) : 0.f, v = textured ? at(9 + 3 * slot) : 0.f;
    const float ux = textured ? planes[7 + 3 * slot] : 0.f, vx = textured ? planes[10 + 3 * slot] : 0.f;
    const StageSampler& sampler = ctx.samplers[0];
    const SurfaceView& color = ctx.target.color;
    const SurfaceView& depth_view = ctx.target.depth;
    uint32_t* row = reinterpret_cast<uint32_t*>(color.data + static_cast<ptrdiff_t>(y) * color.pitch);
    uint8_t* depth_row =
        depth_view.data ? depth_view.data + static_cast<ptrdiff_t>(y) * depth_view.pitch : nullptr;
    const bool test_depth = depth_row && (ctx.depth_test || ctx.depth_write);
    const D3DFORMAT depth_format = depth_view.format;
    const bool opaque_target = color.format == D3DFMT_X8R8G8B8;
    for (int x = x0; x <= x1; ++x, z += zx, q += qx, r += rx, g += gx, b += bx, a += ax, u += ux, v += vx) {
        uint8_t* depth = nullptr;
        uint32_t z_int = 0;
        if (test_depth) {
            depth = depth_row + x * ctx.depth_bytes;
            z_int = quantize_depth(depth_format, z);
            if (ctx.depth_test && !compare(ctx.z_func, z_int, read_depth(depth_format, depth))) continue;
        }
        const float w = 1.f / q;
        const uint32_t dr = to_byte(r * w), dg = to_byte(g * w), db = to_byte(b * w), da = to_byte(a * w);
        uint32_t tr = 255, tg = 255, tb = 255, ta = 255;
        if (textured) {
            const float tu = u * w, tv = v * w;
            uint32_t t;
            if (sampler.fast_wrap) {
                t = sample_wrapped(sampler, tu, tv);
            } else {
                const float lod = sampler.needs_lod
                                      ? level_of_detail(sampler, planes, slot, tu, tv, w) + ctx.lod_offset
                                      : 0.f;
                t = sample(sampler, tu, tv, lod);
            }
            tr = (t >> 16) & 0xff, tg = (t >> 8) & 0xff, tb = t & 0xff, ta = t >> 24;
        }
        uint32_t sr = pick(ctx.fast_color, dr, tr), sg = pick(ctx.fast_color, dg, tg),
                 sb = pick(ctx.fast_color, db, tb);
        uint32_t sa = pick(ctx.fast_alpha, da, ta);
        if (ctx.depth_write) write_depth(depth_format, depth, z_int);
        if (Blend) {
            const uint32_t d = row[x];
            const uint32_t ia = 255 - sa;
            const uint32_t dest_a = opaque_target ? 255 : d >> 24;
            sr = mul8(sr, sa) + mul8((d >> 16) & 0xff, ia);
            sg = mul8(sg, sa) + mul8((d >> 8) & 0xff, ia);
            sb = mul8(sb, sa) + mul8(d & 0xff, ia);
            sa = std::min(255u, mul8(sa, sa) + mul8(dest_a, ia));
        }
        row[x] = (opaque_target ? 0xff000000u : sa << 24) | sr << 16 | sg << 8 | sb;
    }
}

// Four pixels per step in 16-bit lanes: [b g r a] of two pixels per register.
__m128i mul8_epi16(__m128i a, __m128i b) {
    const __m128i t = _mm_add_epi16(_mm_mullo_epi16(a, b), _mm_set1_epi16(128));
    return _mm_srli_epi16(_mm_add_epi16(t, _mm_srli_epi16(t, 8)), 8);
}

__m128i lerp_epi16(__m128i a, __m128i b, __m128i w7) {
    return _mm_add_epi16(a, _mm_srai_epi16(_mm_mullo_epi16(_mm_sub_epi16(b, a), w7), 7));
}

// Repeats each pixel's 16-bit weight over its four channels (two pixels per register).
__m128i spread_lo(__m128i w32) {
    const __m128i w16 = _mm_shufflelo_epi16(_mm_shufflehi_epi16(w32, 0xa0), 0xa0); // lanes 0,0,2,2 | 4,4,6,6
    return _mm_unpacklo_epi32(w16, w16);
}
__m128i spread_hi(__m128i w32) {
    const __m128i w16 = _mm_shufflelo_epi16(_mm_shufflehi_epi16(w32, 0xa0), 0xa0);
    return _mm_unpackhi_epi32(w16, w16);
}

__m128i floor_epi32(__m128 f) {
    const __m128i t = _mm_cvttps_epi32(f);
    return _mm_add_epi32(t, _mm_castps_si128(_mm_cmpgt_ps(_mm_cvtepi32_ps(t), f)));
}

// Loads and stores of up to four pixels; whole groups go straight to memory.
__m128i load_n(const uint32_t* p, int n) {
    if (n == 4) return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    uint32_t tmp[4] = {0, 0, 0, 0};
    std::memcpy(tmp, p, static_cast<size_t>(n) * 4);
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(tmp));
}

void store_n(uint32_t* p, __m128i v, int n) {
    if (n == 4) {
        _mm_storeu_si128(reinterpret_cast<__m128i*>(p), v);
        return;
    }
    uint32_t tmp[4];
    _mm_storeu_si128(reinterpret_cast<__m128i*>(tmp), v);
    std::memcpy(p, tmp, static_cast<size_t>(n) * 4);
}

// Four texels of one power-of-two level with wrapping, point or bilinear, as two registers of 16-bit lanes.
void fetch4(const SampleLevel& level, bool linear, __m128 tu, __m128 tv, __m128i& lo, __m128i& hi) {
    const __m128 half_texel = _mm_set1_ps(linear ? -127.5f : 0.f);
    const __m128i fu = floor_epi32(
        _mm_add_ps(_mm_mul_ps(tu, _mm_set1_ps(static_cast<float>(level.width) * 256.f)), half_texel));
    const __m128i fv = floor_epi32(
        _mm_add_ps(_mm_mul_ps(tv, _mm_set1_ps(static_cast<float>(level.height) * 256.f)), half_texel));
    const int wm = level.width - 1, hm = level.height - 1;
    alignas(16) int32_t iu[4], iv[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(iu), fu);
    _mm_store_si128(reinterpret_cast<__m128i*>(iv), fv);
    alignas(16) uint32_t t00[4], t10[4], t01[4], t11[4];
    for (int k = 0; k < 4; ++k) {
        const int tx = iu[k] >> 8, ty = iv[k] >> 8;
        const uint8_t* r0 = level.data + static_cast<ptrdiff_t>(ty & hm) * level.pitch;
        const uint8_t* r1 = level.data + static_cast<ptrdiff_t>((ty + 1) & hm) * level.pitch;
        std::memcpy(&t00[k], r0 + (tx & wm) * 4, 4);
        std::memcpy(&t10[k], r0 + ((tx + 1) & wm) * 4, 4);
        std::memcpy(&t01[k], r1 + (tx & wm) * 4, 4);
        std::memcpy(&t11[k], r1 + ((tx + 1) & wm) * 4, 4);
    }
    const __m128i or_alpha = _mm_set1_epi32(static_cast<int>(level.alpha_or));
    const __m128i z16 = _mm_setzero_si128();
    const __m128i p00 = _mm_or_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(t00)), or_alpha);
    if (!linear) {
        lo = _mm_unpacklo_epi8(p00, z16), hi = _mm_unpackhi_epi8(p00, z16);
        return;
    }
    const __m128i p10 = _mm_or_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(t10)), or_alpha);
    const __m128i p01 = _mm_or_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(t01)), or_alpha);
    const __m128i p11 = _mm_or_si128(_mm_load_si128(reinterpret_cast<const __m128i*>(t11)), or_alpha);
    const __m128i wx = _mm_srli_epi32(_mm_and_si128(fu, _mm_set1_epi32(255)), 1);
    const __m128i wy = _mm_srli_epi32(_mm_and_si128(fv, _mm_set1_epi32(255)), 1);
    const __m128i wxl = spread_lo(wx), wxh = spread_hi(wx), wyl = spread_lo(wy), wyh = spread_hi(wy);
    const __m128i top_lo = lerp_epi16(_mm_unpacklo_epi8(p00, z16), _mm_unpacklo_epi8(p10, z16), wxl);
    const __m128i top_hi = lerp_epi16(_mm_unpackhi_epi8(p00, z16), _mm_unpackhi_epi8(p10, z16), wxh);
    const __m128i bot_lo = lerp_epi16(_mm_unpacklo_epi8(p01, z16), _mm_unpacklo_epi8(p11, z16), wxl);
    const __m128i bot_hi = lerp_epi16(_mm_unpackhi_epi8(p01, z16), _mm_unpackhi_epi8(p11, z16), wxh);
    lo = lerp_epi16(top_lo, bot_lo, wyl);
    hi = lerp_epi16(top_hi, bot_hi, wyh);
}

// Samples four pixels; mipmapped textures take one level of detail per four pixels, from the first one, as
// hardware does per 2x2 quad.
void sample4(const StageSampler& s, const float* planes, int slot, float lod_offset, __m128 tu, __m128 tv,
             __m128 w, __m128i& lo, __m128i& hi) {
    const int first = s.first_level, last = s.level_count - 1;
    if (!s.needs_lod) {
        fetch4(s.levels[first], s.mag_filter == filter_linear, tu, tv, lo, hi);
        return;
    }
    const float u0 = _mm_cvtss_f32(tu), v0 = _mm_cvtss_f32(tv), w0 = _mm_cvtss_f32(w);
    const float lod = std::min(level_of_detail(s, planes, slot, u0, v0, w0) + lod_offset + s.lod_bias, 32.f);
    if (!(lod > 0.f) || s.mip_filter == filter_none || first >= last) {
        fetch4(s.levels[first], (lod > 0.f ? s.min_filter : s.mag_filter) == filter_linear, tu, tv, lo, hi);
        return;
    }
    const bool linear = s.min_filter == filter_linear;
    if (s.mip_filter == filter_point) {
        fetch4(s.levels[std::clamp(static_cast<int>(lod + 0.5f), first, last)], linear, tu, tv, lo, hi);
        return;
    }
    const int base = static_cast<int>(lod);
    if (base < first || base >= last) {
        fetch4(s.levels[std::clamp(base, first, last)], linear, tu, tv, lo, hi);
        return;
    }
    __m128i lo2, hi2;
    fetch4(s.levels[base], linear, tu, tv, lo, hi);
    fetch4(s.levels[base + 1], linear, tu, tv, lo2, hi2);
    const __m128i weight =
        _mm_set1_epi16(static_cast<short>((lod - static_cast<float>(base)) * 128.f + 0.5f));
    lo = lerp_epi16(lo, lo2, weight);
    hi = lerp_epi16(hi, hi2, weight);
}

template <bool Blend>
void shade_span_simd(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1) {
    const float dx = static_cast<float>(x0 - prim.bounds.x0), dy = static_cast<float>(y - prim.bounds.y0);
    const __m128 lane = _mm_set_ps(3.f, 2.f, 1.f, 0.f);
    auto start = [&](int i) {
        return _mm_add_ps(_mm_set1_ps(planes[i] + planes[i + 1] * dx + planes[i + 2] * dy),
                          _mm_mul_ps(lane, _mm_set1_ps(planes[i + 1])));
    };
    auto step = [&](int i) { return _mm_set1_ps(planes[i + 1] * 4.f); };
    __m128 z = start(0), q = start(3), r = start(6), g = start(9), b = start(12), a = start(15);
    const __m128 zs = step(0), qs = step(3), rs = step(6), gs = step(9), bs = step(12), as = step(15);
    const bool textured = ctx.stage_count > 0 && ctx.stage_uv[0] >= 0;
    const int slot = textured ? ctx.stage_uv[0] : 0;
    __m128 u = _mm_setzero_ps(), v = _mm_setzero_ps(), us = u, vs = u;
    if (textured) {
        u = start(6 + 3 * slot), v = start(9 + 3 * slot), us = step(6 + 3 * slot), vs = step(9 + 3 * slot);
    }
    const SurfaceView& color = ctx.target.color;
    uint32_t* row = reinterpret_cast<uint32_t*>(color.data + static_cast<ptrdiff_t>(y) * color.pitch);
    const SurfaceView& dv = ctx.target.depth;
    uint32_t* depth_row =
        dv.data ? reinterpret_cast<uint32_t*>(dv.data + static_cast<ptrdiff_t>(y) * dv.pitch) : nullptr;
    const bool depth_test = depth_row && ctx.depth_test, depth_write = depth_row && ctx.depth_write;
    const bool d32 = dv.format == D3DFMT_D32;
    const __m128 depth_scale = _mm_set1_ps(d32 ? 4294967295.f : 16777215.f);
    const __m128 one = _mm_set1_ps(1.f), zero = _mm_setzero_ps(), c255 = _mm_set1_ps(255.f),
                 c05 = _mm_set1_ps(0.5f);
    const __m128i alpha_or =
        _mm_set1_epi32(color.format == D3DFMT_X8R8G8B8 ? static_cast<int>(0xff000000u) : 0);
    const __m128i alpha_mask = _mm_set_epi16(255, 0, 0, 0, 255, 0, 0, 0);
    for (int x = x0; x <= x1; x += 4) {
        const int n = std::min(4, x1 - x + 1);
        __m128i live = _mm_cmplt_epi32(_mm_set_epi32(3, 2, 1, 0), _mm_set1_epi32(n));
        __m128i z_int = _mm_setzero_si128(), old_depth = _mm_setzero_si128();
        if (depth_row) {
            const __m128 zc = _mm_min_ps(_mm_max_ps(z, zero), one);
            z_int = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(zc, depth_scale), c05));
            old_depth = load_n(depth_row + x, n);
            if (depth_test) {
                const __m128i stored = _mm_srli_epi32(old_depth, 8);
                __m128i pass;
                if (ctx.z_func == cmp_less)
                    pass = _mm_cmplt_epi32(z_int, stored);
                else if (ctx.z_func == cmp_always)
                    pass = _mm_set1_epi32(-1);
                else
                    pass = _mm_xor_si128(_mm_cmpgt_epi32(z_int, stored), _mm_set1_epi32(-1));
                live = _mm_and_si128(live, pass);
            }
        }
        if (_mm_movemask_epi8(live) != 0) {
            const __m128 w = _mm_div_ps(one, q);
            auto bytes = [&](__m128 f) {
                return _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(_mm_mul_ps(f, w), c255), c05));
            };
            // Diffuse as packed ARGB per pixel (saturated into 0..255 by the packs).
            const __m128i rb = _mm_packs_epi32(bytes(b), bytes(r));
            const __m128i ga = _mm_packs_epi32(bytes(g), bytes(a));
            // rb: b0..b3 r0..r3, ga: g0..g3 a0..a3 -> bgra per pixel in 16-bit lanes
            const __m128i bg = _mm_unpacklo_epi16(rb, ga), ra = _mm_unpackhi_epi16(rb, ga);
            __m128i diffuse_lo = _mm_unpacklo_epi32(bg, ra), diffuse_hi = _mm_unpackhi_epi32(bg, ra);
            const __m128i clamp255 = _mm_set1_epi16(255);
            diffuse_lo = _mm_min_epi16(_mm_max_epi16(diffuse_lo, _mm_setzero_si128()), clamp255);
            diffuse_hi = _mm_min_epi16(_mm_max_epi16(diffuse_hi, _mm_setzero_si128()), clamp255);
            __m128i tex_lo = clamp255, tex_hi = clamp255;
            if (textured)
                sample4(ctx.samplers[0], planes, slot, ctx.lod_offset, _mm_mul_ps(u, w), _mm_mul_ps(v, w), w,
                        tex_lo, tex_hi);
            auto combine = [&](PixelContext::Source s, __m128i d, __m128i t) {
                return s == PixelContext::Source::texture    ? t
                       : s == PixelContext::Source::modulate ? mul8_epi16(d, t)
                                                             : d;
            };
            __m128i lo = combine(ctx.fast_color, diffuse_lo, tex_lo),
                    hi = combine(ctx.fast_color, diffuse_hi, tex_hi);
            if (ctx.fast_alpha != ctx.fast_color) {
                const __m128i alo = combine(ctx.fast_alpha, diffuse_lo, tex_lo);
                const __m128i ahi = combine(ctx.fast_alpha, diffuse_hi, tex_hi);
                lo = _mm_or_si128(_mm_andnot_si128(alpha_mask, lo), _mm_and_si128(alpha_mask, alo));
                hi = _mm_or_si128(_mm_andnot_si128(alpha_mask, hi), _mm_and_si128(alpha_mask, ahi));
            }
            const __m128i dest = load_n(row + x, n);
            if (Blend) {
                const __m128i z16 = _mm_setzero_si128();
                const __m128i d_lo = _mm_unpacklo_epi8(_mm_or_si128(dest, alpha_or), z16);
                const __m128i d_hi = _mm_unpackhi_epi8(_mm_or_si128(dest, alpha_or), z16);
                const __m128i sa_lo = _mm_shufflehi_epi16(_mm_shufflelo_epi16(lo, 0xff), 0xff);
                const __m128i sa_hi = _mm_shufflehi_epi16(_mm_shufflelo_epi16(hi, 0xff), 0xff);
                const __m128i c255i = _mm_set1_epi16(255);
                lo = _mm_add_epi16(mul8_epi16(lo, sa_lo), mul8_epi16(d_lo, _mm_sub_epi16(c255i, sa_lo)));
                hi = _mm_add_epi16(mul8_epi16(hi, sa_hi), mul8_epi16(d_hi, _mm_sub_epi16(c255i, sa_hi)));
            }
            const __m128i out = _mm_or_si128(_mm_packus_epi16(lo, hi), alpha_or);
            const __m128i merged = _mm_or_si128(_mm_and_si128(live, out), _mm_andnot_si128(live, dest));
            store_n(row + x, merged, n);
            if (depth_write) {
                const __m128i new_depth = d32 ? z_int
                                              : _mm_or_si128(_mm_slli_epi32(z_int, 8),
                                                             _mm_and_si128(old_depth, _mm_set1_epi32(255)));
                const __m128i dm =
                    _mm_or_si128(_mm_and_si128(live, new_depth), _mm_andnot_si128(live, old_depth));
                store_n(depth_row + x, dm, n);
            }
        }
        z = _mm_add_ps(z, zs), q = _mm_add_ps(q, qs), r = _mm_add_ps(r, rs), g = _mm_add_ps(g, gs);
        b = _mm_add_ps(b, bs), a = _mm_add_ps(a, as), u = _mm_add_ps(u, us), v = _mm_add_ps(v, vs);
    }
}

} // namespace

static void choose_simd(PixelContext& ctx) {
    const D3DFORMAT d = ctx.target.depth.format;
    const bool depth_ok = !ctx.target.depth.data || (!ctx.depth_test && !ctx.depth_write) ||
                          ((d == D3DFMT_D24S8 || d == D3DFMT_D24X8) &&
                           (!ctx.depth_test || ctx.z_func == cmp_less || ctx.z_func == cmp_less_equal ||
                            ctx.z_func == cmp_always));
    const bool textured = ctx.stage_count > 0 && ctx.stage_uv[0] >= 0;
    ctx.simd = ctx.fast && depth_ok && (!textured || ctx.samplers[0].wrap_pow2);
}

void choose_fast_path(PixelContext& ctx) {
    ctx.fast = false;
    ctx.simd = false;
    const D3DFORMAT f = ctx.target.color.format;
    if ((f != D3DFMT_A8R8G8B8 && f != D3DFMT_X8R8G8B8) || ctx.write_mask != 0xf || ctx.alpha_test ||
        ctx.stencil || ctx.specular || ctx.stage_count > 1 || ctx.fog != PixelContext::Fog::none)
        return;
    if (ctx.blending && !(ctx.blend.src == blend_src_alpha && ctx.blend.dest == blend_inv_src_alpha &&
                          ctx.blend.op == blendop_add))
        return;
    if (ctx.stage_count == 0) {
        ctx.fast_color = ctx.fast_alpha = PixelContext::Source::diffuse;
        ctx.fast = true;
        choose_simd(ctx);
        return;
    }
    const StageProgram& s = ctx.stages[0];
    if (s.to_temp || s.alpha_op == top::disable || ctx.stage_q[0] >= 0) return;
    ctx.fast = fast_source(s.color_op, s.color_args[1], s.color_args[2], ctx.fast_color) &&
               fast_source(s.alpha_op, s.alpha_args[1], s.alpha_args[2], ctx.fast_alpha);
    choose_simd(ctx);
}

void shade_span(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1) {
    if (ctx.simd) {
        if (ctx.blending)
            shade_span_simd<true>(ctx, prim, planes, y, x0, x1);
        else
            shade_span_simd<false>(ctx, prim, planes, y, x0, x1);
        return;
    }
    if (ctx.fast) {
        if (ctx.blending)
            shade_span_fast<true>(ctx, prim, planes, y, x0, x1);
        else
            shade_span_fast<false>(ctx, prim, planes, y, x0, x1);
        return;
    }
    const int n = ctx.attribute_count;
    const float dx = static_cast<float>(x0 - prim.bounds.x0), dy = static_cast<float>(y - prim.bounds.y0);
    float z = planes[0] + planes[1] * dx + planes[2] * dy;
    float q = planes[3] + planes[4] * dx + planes[5] * dy;
    const float zx = planes[1], qx = planes[4];
    float attr[max_attributes], step[max_attributes];
    for (int i = 0; i < n; ++i) {
        const float* p = planes + 3 * (2 + i);
        attr[i] = p[0] + p[1] * dx + p[2] * dy;
        step[i] = p[1];
    }
    const SurfaceView& color = ctx.target.color;
    const SurfaceView& depth_view = ctx.target.depth;
    uint8_t* row = color.data + static_cast<ptrdiff_t>(y) * color.pitch;
    uint8_t* depth_row =
        depth_view.data ? depth_view.data + static_cast<ptrdiff_t>(y) * depth_view.pitch : nullptr;
    const bool test_depth = depth_row && (ctx.depth_test || ctx.depth_write || ctx.stencil);
    const bool early = test_depth && !ctx.alpha_test;
    Rgba textures[max_stages];
    const auto advance = [&] {
        for (int i = 0; i < n; ++i)
            attr[i] += step[i];
    };
    for (int x = x0; x <= x1; ++x, z += zx, q += qx, advance()) {
        uint8_t* depth = test_depth ? depth_row + x * ctx.depth_bytes : nullptr;
        uint32_t z_int = 0;
        if (early && !depth_stencil(ctx, depth, z, z_int)) continue;
        const float w = q != 0.f ? 1.f / q : 0.f;
        StageInputs in;
        in.diffuse = {saturate(attr[0] * w), saturate(attr[1] * w), saturate(attr[2] * w),
                      saturate(attr[3] * w)};
        if (ctx.specular)
            in.specular = {saturate(attr[4] * w), saturate(attr[5] * w), saturate(attr[6] * w),
                           saturate(attr[7] * w)};
        in.factor = ctx.factor;
        sample_stages(ctx, planes, attr, w, textures);
        in.textures = textures;
        Rgba c = ctx.stage_count > 0 ? run_stages(ctx.stages, ctx.stage_count, in) : in.diffuse;
        if (ctx.specular_add) {
            c.r = saturate(c.r + in.specular.r);
            c.g = saturate(c.g + in.specular.g);
            c.b = saturate(c.b + in.specular.b);
        }
        if (ctx.fog != PixelContext::Fog::none) {
            const float f = ctx.fog == PixelContext::Fog::vertex
                                ? saturate(attr[7] * w)
                                : fog_factor(ctx.fog_mode, ctx.fog_w ? w : z, ctx.fog_start, ctx.fog_end,
                                             ctx.fog_density);
            c.r = f * c.r + (1.f - f) * ctx.fog_color.r;
            c.g = f * c.g + (1.f - f) * ctx.fog_color.g;
            c.b = f * c.b + (1.f - f) * ctx.fog_color.b;
        }
        if (ctx.alpha_test) {
            const uint32_t a8 = static_cast<uint32_t>(saturate(c.a) * 255.f + 0.5f);
            if (!compare(ctx.alpha_func, a8, ctx.alpha_ref)) continue;
            if (test_depth && !depth_stencil(ctx, depth, z, z_int)) continue;
        }
        if (test_depth) depth_stencil_pass(ctx, depth, z_int);
        uint8_t* pixel = row + x * ctx.color_bytes;
        if (ctx.blending || ctx.write_mask != 0xf) {
            const Rgba dest = read_pixel(color.format, pixel);
            if (ctx.blending) c = blend(ctx.blend, c, dest);
            c = apply_write_mask(ctx.write_mask, c, dest);
        }
        write_pixel(color.format, pixel, c);
    }
}

} // namespace qcore::detail::soft
