#pragma once
// Shades spans of covered pixels: interpolates depth and attributes perspective-correctly, runs the
// texture stages and the per-pixel operations.
#include <qcore/platform/d3d8/soft/pixel_ops.h>
#include <qcore/platform/d3d8/soft/setup.h>
#include <qcore/platform/d3d8/soft/span_simd.h>
#include <qcore/platform/d3d8/soft/texture_sampler.h>
#include <qcore/platform/d3d8/soft/texture_stages.h>

namespace qcore::detail::soft {

// Everything the shading of one draw reads; filled before the draw and constant while it runs.
struct PixelContext {
    TargetView target;
    int color_bytes = 4;
    int depth_bytes = 0;
    int attribute_count = 4;
    bool specular = false;     // the specular colour is interpolated
    bool specular_add = false; // and added to the stages' result
    int stage_count = 0;
    StageProgram stages[max_stages];
    StageSampler samplers[max_stages];
    int stage_uv[max_stages] = {};
    int stage_q[max_stages] = {};         // projected coordinates' divisor, -1 when not projected
    uint32_t stage_wrap[max_stages] = {}; // D3DWRAP_U/V of the stage's coordinates
    float lod_offset = 0.f;
    Rgba factor;
    bool depth_test = false, depth_write = false;
    uint32_t z_func = cmp_less_equal;
    bool stencil = false;
    uint32_t stencil_func = cmp_always, stencil_fail = stencil_keep, stencil_zfail = stencil_keep,
             stencil_pass = stencil_keep;
    uint8_t stencil_ref = 0, stencil_mask = 0xff, stencil_write_mask = 0xff;
    bool alpha_test = false;
    uint32_t alpha_func = cmp_always, alpha_ref = 0;
    bool blending = false;
    BlendState blend;
    uint32_t write_mask = 0xf;
    enum class Fog : uint8_t { none, vertex, table };
    Fog fog = Fog::none;
    uint32_t fog_mode = fog_none; // of table fog
    bool fog_w = false;           // table fog by eye distance rather than depth
    float fog_start = 0.f, fog_end = 1.f, fog_density = 1.f;
    Rgba fog_color;

    // The common case in integer arithmetic: a 32-bit target, at most one stage selecting or modulating
    // texture and diffuse, no alpha or stencil test, opaque writes or source-alpha blending.
    enum class Source : uint8_t { diffuse, texture, modulate };
    bool fast = false;
    Source fast_color = Source::diffuse, fast_alpha = Source::diffuse;
    bool simd = false; // the SIMD path (span_simd.h) draws this state
    SimdProgram program;
};

// Decides whether ctx can take the integer path and fills its fields.
void choose_fast_path(PixelContext& ctx);

// log2 of texels per pixel on level 0 at (u, v), from the texture coordinates' planes in slot.
float level_of_detail(const StageSampler& s, const float* planes, int slot, float u, float v, float w);

void shade_span(const PixelContext& ctx, const Prim& prim, const float* planes, int y, int x0, int x1);

} // namespace qcore::detail::soft
