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

} // namespace

float level_of_detail(const StageSampler& s, const float* planes, int slot, float u, float v, float w) {
    return level_of_detail(s, planes, slot, planes + 3, u, v, w);
}

void choose_fast_path(PixelContext& ctx) {
    ctx.fast = false;
    ctx.simd = false;
    const D3DFORMAT f = ctx.target.color.format;
    // What only the general path draws (fog, projected coordinates, the specular colour, stencil);
    // everything else may take the SIMD path.
    bool projected = false;
    for (int i = 0; i < ctx.stage_count; ++i)
        projected = projected || ctx.stage_q[i] >= 0;
    if ((f != D3DFMT_A8R8G8B8 && f != D3DFMT_X8R8G8B8) || ctx.stencil || ctx.specular ||
        ctx.fog != PixelContext::Fog::none || projected)
        return;
    ctx.simd = choose_simd_program(ctx);
    if (ctx.write_mask != 0xf || ctx.alpha_test || ctx.stage_count > 1) return;
    if (ctx.blending && !(ctx.blend.src == blend_src_alpha && ctx.blend.dest == blend_inv_src_alpha &&
                          ctx.blend.op == blendop_add))
        return;
    if (ctx.stage_count == 0) {
        ctx.fast_color = ctx.fast_alpha = PixelContext::Source::diffuse;
        ctx.fast = true;
        return;
    }
    const StageProgram& s = ctx.stages[0];
    if (s.to_temp || s.alpha_op == top::disable || ctx.stage_q[0] >= 0) return;
    ctx.fast = fast_source(s.color_op, s.color_args[1], s.color_args[2], ctx.fast_color) &&
               fast_source(s.alpha_op, s.alpha_args[1], s.alpha_args[2], ctx.fast_alpha);
}

void shade_span(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1) {
    if (ctx.simd) return shade_span_simd(ctx, prim, planes, y, x0, x1);
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
