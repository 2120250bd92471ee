#include <qcore/platform/d3d8/soft/pixel_processor.h>

#include <algorithm>
#include <cmath>

namespace qcore::detail::soft {

namespace {

constexpr float inv255 = 1.f / 255.f;

Rgba unpack(uint32_t argb)
{
    return {static_cast<float>((argb >> 16) & 0xff) * inv255, static_cast<float>((argb >> 8) & 0xff) * inv255,
            static_cast<float>(argb & 0xff) * inv255, static_cast<float>(argb >> 24) * inv255};
}

float sat(float v) { return v < 0.f ? 0.f : (v > 1.f ? 1.f : v); }

// Stencil and depth tests with their updates; returns whether the pixel survives. With deferred_write the
// passing updates are left to finish_depth_stencil (the alpha test decides first).
bool depth_stencil(const PixelContext& ctx, uint8_t* depth, float z, uint32_t& z_int)
{
    const D3DFORMAT f = ctx.target.depth.format;
    uint8_t stencil_value = 0;
    if (ctx.stencil) {
        stencil_value = read_stencil(f, depth);
        const uint8_t masked_ref = ctx.stencil_ref & ctx.stencil_mask;
        if (!compare(ctx.stencil_func, masked_ref, stencil_value & ctx.stencil_mask)) {
            const uint8_t next = stencil_operation(ctx.stencil_fail, stencil_value, ctx.stencil_ref);
            write_stencil(f, depth, static_cast<uint8_t>((stencil_value & ~ctx.stencil_write_mask) |
                                                         (next & ctx.stencil_write_mask)));
            return false;
        }
    }
    z_int = quantize_depth(f, z);
    if (ctx.depth_test && !compare(ctx.z_func, z_int, read_depth(f, depth))) {
        if (ctx.stencil) {
            const uint8_t next = stencil_operation(ctx.stencil_zfail, stencil_value, ctx.stencil_ref);
            write_stencil(f, depth, static_cast<uint8_t>((stencil_value & ~ctx.stencil_write_mask) |
                                                         (next & ctx.stencil_write_mask)));
        }
        return false;
    }
    return true;
}

void depth_stencil_pass(const PixelContext& ctx, uint8_t* depth, uint32_t z_int)
{
    const D3DFORMAT f = ctx.target.depth.format;
    if (ctx.depth_write)
        write_depth(f, depth, z_int);
    if (ctx.stencil) {
        const uint8_t value = read_stencil(f, depth);
        const uint8_t next = stencil_operation(ctx.stencil_pass, value, ctx.stencil_ref);
        write_stencil(f, depth,
                      static_cast<uint8_t>((value & ~ctx.stencil_write_mask) | (next & ctx.stencil_write_mask)));
    }
}

float level_of_detail(const StageSampler& s, const float* planes, int slot, float u, float v, float w)
{
    const float* pu = planes + 3 * (2 + slot);
    const float* pv = pu + 3;
    const float qx = planes[4], qy = planes[5];
    const float dudx = (pu[1] - u * qx) * w * s.width, dvdx = (pv[1] - v * qx) * w * s.height;
    const float dudy = (pu[2] - u * qy) * w * s.width, dvdy = (pv[2] - v * qy) * w * s.height;
    const float rx = dudx * dudx + dvdx * dvdx, ry = dudy * dudy + dvdy * dvdy;
    const float r = std::max(rx, ry);
    return r > 0.f ? 0.5f * std::log2(r) : -32.f;
}

} // namespace

void shade_span(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1)
{
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
    uint8_t* depth_row = depth_view.data ? depth_view.data + static_cast<ptrdiff_t>(y) * depth_view.pitch : nullptr;
    const bool test_depth = depth_row && (ctx.depth_test || ctx.depth_write || ctx.stencil);
    const bool early = test_depth && !ctx.alpha_test;
    Rgba textures[max_stages];
    for (int x = x0; x <= x1; ++x, z += zx, q += qx) {
        struct Step {
            float* a;
            const float* s;
            int n;
            ~Step()
            {
                for (int i = 0; i < n; ++i)
                    a[i] += s[i];
            }
        } advance{attr, step, n};
        uint8_t* depth = test_depth ? depth_row + x * ctx.depth_bytes : nullptr;
        uint32_t z_int = 0;
        if (early && !depth_stencil(ctx, depth, z, z_int))
            continue;
        const float w = q != 0.f ? 1.f / q : 0.f;
        StageInputs in;
        in.diffuse = {sat(attr[0] * w), sat(attr[1] * w), sat(attr[2] * w), sat(attr[3] * w)};
        if (ctx.specular)
            in.specular = {sat(attr[4] * w), sat(attr[5] * w), sat(attr[6] * w), 0.f};
        in.factor = ctx.factor;
        for (int s = 0; s < ctx.stage_count; ++s) {
            const int slot = ctx.stage_uv[s];
            if (slot < 0)
                continue;
            const StageSampler& sampler = ctx.samplers[s];
            const float u = attr[slot] * w, v = attr[slot + 1] * w;
            const float lod = sampler.needs_lod ? level_of_detail(sampler, planes, slot, u, v, w) + ctx.lod_offset : 0.f;
            textures[s] = unpack(sample(sampler, u, v, lod));
        }
        in.textures = textures;
        Rgba c = ctx.stage_count > 0 ? run_stages(ctx.stages, ctx.stage_count, in) : in.diffuse;
        if (ctx.specular) {
            c.r = sat(c.r + in.specular.r);
            c.g = sat(c.g + in.specular.g);
            c.b = sat(c.b + in.specular.b);
        }
        if (ctx.alpha_test) {
            const uint32_t a8 = static_cast<uint32_t>(sat(c.a) * 255.f + 0.5f);
            if (!compare(ctx.alpha_func, a8, ctx.alpha_ref))
                continue;
            if (test_depth && !depth_stencil(ctx, depth, z, z_int))
                continue;
        }
        if (test_depth)
            depth_stencil_pass(ctx, depth, z_int);
        uint8_t* pixel = row + x * ctx.color_bytes;
        if (ctx.blending || ctx.write_mask != 0xf) {
            const Rgba dest = read_pixel(color.format, pixel);
            if (ctx.blending)
                c = blend(ctx.blend, c, dest);
            c = apply_write_mask(ctx.write_mask, c, dest);
        }
        write_pixel(color.format, pixel, c);
    }
}

} // namespace qcore::detail::soft
