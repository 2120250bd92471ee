#pragma once
// The drawing pipeline's own records: what one draw needs to know, converted once per draw from the
// device's state. Enumerated values keep the platform's published numbers so the conversion is a copy.
#include <qcore/platform/d3d8/d3d8_types.h>

#include <cstddef>
#include <cstdint>

namespace qcore::detail::soft {

constexpr int max_stages = 8;
constexpr int max_lights = 8;
constexpr int max_levels = 16;

// Published numbers of the states the pipeline reads.
namespace rs {
enum : uint32_t {
    zenable = 7,
    fillmode = 8,
    shademode = 9,
    linepattern = 10,
    zwriteenable = 14,
    alphatestenable = 15,
    lastpixel = 16,
    srcblend = 19,
    destblend = 20,
    cullmode = 22,
    zfunc = 23,
    alpharef = 24,
    alphafunc = 25,
    alphablendenable = 27,
    fogenable = 28,
    specularenable = 29,
    fogcolor = 34,
    fogtablemode = 35,
    fogstart = 36,
    fogend = 37,
    fogdensity = 38,
    zbias = 47,
    rangefogenable = 48,
    stencilenable = 52,
    stencilfail = 53,
    stencilzfail = 54,
    stencilpass = 55,
    stencilfunc = 56,
    stencilref = 57,
    stencilmask = 58,
    stencilwritemask = 59,
    texturefactor = 60,
    wrap0 = 128,
    wrap7 = 135,
    lighting = 137,
    ambient = 139,
    fogvertexmode = 140,
    colorvertex = 141,
    localviewer = 142,
    normalizenormals = 143,
    diffusematerialsource = 145,
    specularmaterialsource = 146,
    ambientmaterialsource = 147,
    emissivematerialsource = 148,
    vertexblend = 151,
    clipplaneenable = 152,
    pointsize = 154,
    pointsize_min = 155,
    pointspriteenable = 156,
    pointscaleenable = 157,
    pointscale_a = 158,
    pointscale_b = 159,
    pointscale_c = 160,
    pointsize_max = 166,
    indexedvertexblendenable = 167,
    colorwriteenable = 168,
    tweenfactor = 170,
    blendop = 171,
};
}

namespace tss {
enum : uint32_t {
    colorop = 1,
    colorarg1 = 2,
    colorarg2 = 3,
    alphaop = 4,
    alphaarg1 = 5,
    alphaarg2 = 6,
    bumpenvmat00 = 7,
    bumpenvmat01 = 8,
    bumpenvmat10 = 9,
    bumpenvmat11 = 10,
    texcoordindex = 11,
    addressu = 13,
    addressv = 14,
    bordercolor = 15,
    magfilter = 16,
    minfilter = 17,
    mipfilter = 18,
    mipmaplodbias = 19,
    maxmiplevel = 20,
    bumpenvlscale = 22,
    bumpenvloffset = 23,
    texturetransformflags = 24,
    colorarg0 = 26,
    alphaarg0 = 27,
    resultarg = 28,
};
}

enum : uint32_t {
    prim_points = 1,
    prim_line_list,
    prim_line_strip,
    prim_tri_list,
    prim_tri_strip,
    prim_tri_fan
};
enum : uint32_t {
    cmp_never = 1,
    cmp_less,
    cmp_equal,
    cmp_less_equal,
    cmp_greater,
    cmp_not_equal,
    cmp_greater_equal,
    cmp_always
};
enum : uint32_t {
    blend_zero = 1,
    blend_one,
    blend_src_color,
    blend_inv_src_color,
    blend_src_alpha,
    blend_inv_src_alpha,
    blend_dest_alpha,
    blend_inv_dest_alpha,
    blend_dest_color,
    blend_inv_dest_color,
    blend_src_alpha_sat,
    blend_both_src_alpha,
    blend_both_inv_src_alpha
};
enum : uint32_t { blendop_add = 1, blendop_subtract, blendop_rev_subtract, blendop_min, blendop_max };
enum : uint32_t {
    stencil_keep = 1,
    stencil_zero,
    stencil_replace,
    stencil_incr_sat,
    stencil_decr_sat,
    stencil_invert,
    stencil_incr,
    stencil_decr
};
enum : uint32_t { cull_none = 1, cull_cw, cull_ccw };
enum : uint32_t { fill_point = 1, fill_wireframe, fill_solid };
enum : uint32_t {
    filter_none = 0,
    filter_point,
    filter_linear,
    filter_anisotropic,
    filter_flat_cubic,
    filter_gaussian_cubic
};
constexpr uint32_t ttf_projected = 256; // D3DTTFF_PROJECTED
enum : uint32_t { fog_none = 0, fog_exp, fog_exp2, fog_linear };
constexpr int max_clip_planes = 6;
constexpr int max_blend_matrices = 4;
enum : uint32_t { address_wrap = 1, address_mirror, address_clamp, address_border, address_mirror_once };
enum : uint32_t { light_point = 1, light_spot, light_directional };
enum : uint32_t { source_material = 0, source_color1, source_color2 };

namespace top {
enum : uint32_t {
    disable = 1,
    select_arg1,
    select_arg2,
    modulate,
    modulate2x,
    modulate4x,
    add,
    add_signed,
    add_signed2x,
    subtract,
    add_smooth,
    blend_diffuse_alpha,
    blend_texture_alpha,
    blend_factor_alpha,
    blend_texture_alpha_pm,
    blend_current_alpha,
    premodulate,
    modulate_alpha_add_color,
    modulate_color_add_alpha,
    modulate_inv_alpha_add_color,
    modulate_inv_color_add_alpha,
    bump_env_map,
    bump_env_map_luminance,
    dot_product3,
    multiply_add,
    lerp,
};
}

namespace ta {
enum : uint32_t {
    diffuse = 0,
    current = 1,
    texture = 2,
    tfactor = 3,
    specular = 4,
    temp = 5,
    select_mask = 0xf,
    complement = 0x10,
    alpha_replicate = 0x20
};
}

namespace fvf {
enum : uint32_t {
    position_mask = 0x00e,
    xyz = 0x002,
    xyzrhw = 0x004,
    xyzb5 = 0x00e,
    normal = 0x010,
    psize = 0x020,
    diffuse = 0x040,
    specular = 0x080,
    texcount_mask = 0xf00,
    texcount_shift = 8,
    lastbeta_ubyte4 = 0x1000
};
}

// One pixel array in its published memory layout.
struct SurfaceView {
    uint8_t* data = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
};

// Colour target and optional depth/stencil; a supersampled target stores samples_x by samples_y samples
// per pixel of the viewport's coordinates (its storage is that much larger).
struct TargetView {
    SurfaceView color;
    SurfaceView depth;
    int samples_x = 1;
    int samples_y = 1;
};

struct TextureLevelView {
    const uint8_t* data = nullptr;
    int pitch = 0;
    int width = 0;
    int height = 0;
};

// A texture's mip chain as stored; id names the texture and version changes whenever its memory does,
// so converted copies can be cached between draws.
struct TextureView {
    uint64_t id = 0;
    uint64_t version = 0;
    D3DFORMAT format = D3DFMT_UNKNOWN;
    int level_count = 0;
    TextureLevelView levels[max_levels];
};

struct ViewportRecord {
    int x = 0;
    int y = 0;
    int width = 0;
    int height = 0;
    float min_z = 0.f;
    float max_z = 1.f;
};

struct ColorRecord {
    float r = 0.f, g = 0.f, b = 0.f, a = 0.f;
};

struct MaterialRecord {
    ColorRecord diffuse, ambient, specular, emissive;
    float power = 0.f;
};

struct LightRecord {
    uint32_t type = light_directional;
    ColorRecord diffuse, specular, ambient;
    float position[3] = {0.f, 0.f, 0.f};
    float direction[3] = {0.f, 0.f, 1.f};
    float range = 0.f, falloff = 0.f;
    float attenuation0 = 0.f, attenuation1 = 0.f, attenuation2 = 0.f;
    float theta = 0.f, phi = 0.f;
};

struct StageRecord {
    uint32_t color_op = top::disable, color_arg0 = ta::current, color_arg1 = ta::texture,
             color_arg2 = ta::current;
    uint32_t alpha_op = top::disable, alpha_arg0 = ta::current, alpha_arg1 = ta::texture,
             alpha_arg2 = ta::current;
    uint32_t result_arg = ta::current;
    uint32_t texcoord_index = 0;
    uint32_t transform_flags = 0;
    uint32_t address_u = address_wrap, address_v = address_wrap;
    uint32_t border_color = 0;
    uint32_t mag_filter = filter_point, min_filter = filter_point, mip_filter = filter_none;
    uint32_t max_mip_level = 0;
    float lod_bias = 0.f;
    float bump_matrix[4] = {0.f, 0.f, 0.f, 0.f}; // 00, 01, 10, 11
    float bump_scale = 0.f, bump_offset = 0.f;
    float texture_matrix[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    const TextureView* texture = nullptr;
};

struct PipelineState {
    PipelineState();

    // Stores a render state or texture-stage state by its published number; unknown numbers are ignored.
    void set_render_state(uint32_t state, uint32_t value);
    void set_stage_state(int stage, uint32_t state, uint32_t value);

    float world[16], view[16], projection[16];
    float blend_world[max_blend_matrices - 1][16]; // world matrices 1..3 of vertex blending
    float clip_plane[max_clip_planes][4] = {};     // in world space
    ViewportRecord viewport;
    MaterialRecord material;
    LightRecord lights[max_lights];
    int light_count = 0; // the enabled lights, packed at the front
    StageRecord stages[max_stages];

    bool z_enable = true, z_write = true, alpha_test = false, alpha_blend = false, lighting = true;
    bool specular_enable = false, color_vertex = true, local_viewer = true, normalize_normals = false;
    bool stencil_enable = false, last_pixel = true, point_sprite = false, point_scale = false, fog = false;
    bool flat_shade = false;
    uint32_t fill_mode = fill_solid, cull_mode = cull_ccw, z_func = cmp_less_equal;
    uint32_t alpha_ref = 0, alpha_func = cmp_always;
    uint32_t src_blend = blend_one, dest_blend = blend_zero, blend_op = blendop_add;
    uint32_t stencil_fail = stencil_keep, stencil_zfail = stencil_keep, stencil_pass = stencil_keep;
    uint32_t stencil_func = cmp_always, stencil_ref = 0, stencil_mask = 0xffffffffu,
             stencil_write_mask = 0xffffffffu;
    uint32_t texture_factor = 0xffffffffu, ambient = 0, color_write = 0xf, z_bias = 0;
    uint32_t diffuse_source = source_color1, specular_source = source_color2,
             ambient_source = source_material, emissive_source = source_material;
    uint32_t wrap_flags = 0; // bit n: texture coordinate set n wraps in some direction
    uint32_t wrap[8] = {};   // the D3DWRAP bits of each coordinate set
    uint32_t clip_planes = 0, vertex_blend = 0, indexed_blend = 0;
    uint32_t fog_color = 0, fog_table_mode = fog_none, fog_vertex_mode = fog_none;
    float fog_start = 0.f, fog_end = 1.f, fog_density = 1.f;
    bool range_fog = false;
    uint32_t line_pattern = 0; // repeat factor in the low word, pattern bits in the high word
    float point_size = 1.f, point_size_min = 0.f, point_size_max = 64.f;
    float point_scale_a = 1.f, point_scale_b = 0.f, point_scale_c = 0.f;
};

// Where vertices and indices come from for one draw.
struct VertexStream {
    const uint8_t* data = nullptr;
    size_t size = 0; // bytes readable from data
    uint32_t stride = 0;
    uint32_t fvf = 0;
};

struct IndexStream {
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool is32 = false;
};

struct DrawRequest {
    uint32_t primitive_type = prim_tri_list;
    uint32_t primitive_count = 0;
    uint32_t start_vertex = 0; // first vertex (non-indexed) or base vertex added to every index
    uint32_t start_index = 0;  // indexed draws only
    bool indexed = false;
};

} // namespace qcore::detail::soft
