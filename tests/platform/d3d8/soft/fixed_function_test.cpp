// The rest of the fixed-function pipeline drawn into small frames and checked against colours worked out
// here from the published formulas: fog, user clip planes, bump mapping, wrapping, vertex blending,
// projected coordinates, line patterns and the stage operations; and clipping that keeps pre-transformed
// triangles and outlines whole.
#include "soft_test_support.h"

#include <qcore/platform/d3d8/soft/texture_stages.h>

#include <gtest/gtest.h>

#include <cmath>

namespace qcore::test {
namespace {

// x, y, z, rhw, diffuse, specular.
struct TlSpecVertex {
    float x, y, z, rhw;
    uint32_t color, specular;
};
constexpr uint32_t tl_spec_fvf = 0x0c4;

// x, y, z, one blend weight, diffuse.
struct BlendVertex {
    float x, y, z, weight;
    uint32_t color;
};
constexpr uint32_t blend1_fvf = 0x006 | 0x040;

// A texture of one level from texels in their stored layout.
template <class T> struct Texels {
    Texels(std::vector<T> data, int w, int h, D3DFORMAT format, uint64_t id) : texels(std::move(data)) {
        view.id = id;
        view.version = 1;
        view.format = format;
        view.level_count = 1;
        view.levels[0] = {reinterpret_cast<const uint8_t*>(texels.data()), static_cast<int>(w * sizeof(T)), w,
                          h};
    }
    std::vector<T> texels;
    TextureView view;
};

void set_perspective(PipelineState& s, float near_z, float far_z) {
    const float q = far_z / (far_z - near_z);
    const float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -q * near_z, 0};
    std::copy(m, m + 16, s.projection);
}

int expected_fog(int color, int fog, float f) {
    return static_cast<int>(std::lround(f * static_cast<float>(color) + (1.f - f) * static_cast<float>(fog)));
}

void expect_fogged(uint32_t pixel, uint32_t color, uint32_t fog, float f, const char* what) {
    for (int shift : {16, 8, 0})
        EXPECT_NEAR(channel(pixel, shift), expected_fog(channel(color, shift), channel(fog, shift), f), 2)
            << what << " channel " << shift << " factor " << f;
}

TEST(SoftFixedFunction, FogColoursFollowThePublishedFormulas) {
    constexpr uint32_t color = 0xffc08040, fog = 0xff2060e0;
    constexpr float start = 2.f, end = 12.f, density = 0.15f;
    auto formula = [&](uint32_t mode, float d) {
        switch (mode) {
        case fog_linear:
            return (end - d) / (end - start);
        case fog_exp:
            return std::exp(-density * d);
        default:
            return std::exp(-(density * d) * (density * d));
        }
    };
    // A triangle whose corners all lie at eye depth 4 and eye distance 5 (on the sphere of radius 5).
    const std::vector<ColorVertex> tri = {{3, 0, 4, color}, {0, 3, 4, color}, {-3, 0, 4, color}};
    for (uint32_t mode : {fog_linear, fog_exp, fog_exp2}) {
        for (int kind = 0; kind < 3; ++kind) { // vertex fog, vertex range fog, table fog by eye depth
            Pipeline p(1);
            Frame f(16, 16);
            set_perspective(f.state, 1.f, 100.f);
            f.state.fog = true;
            f.state.fog_color = fog;
            f.state.fog_start = start, f.state.fog_end = end, f.state.fog_density = density;
            (kind == 2 ? f.state.fog_table_mode : f.state.fog_vertex_mode) = mode;
            f.state.range_fog = kind == 1;
            ASSERT_TRUE(f.draw(p, prim_tri_list, tri, 1, color_fvf)) << p.last_error();
            expect_fogged(f.at(8, 6), color, fog, formula(mode, kind == 1 ? 5.f : 4.f),
                          kind == 0   ? "vertex"
                          : kind == 1 ? "range"
                                      : "table");
        }
    }
    // Under an affine projection table fog reads depth; pre-transformed vertices carry their own factor
    // in the specular alpha when no fog mode is set.
    Pipeline p(1);
    Frame table(4, 4);
    table.state.fog = true;
    table.state.fog_color = fog;
    table.state.fog_table_mode = fog_linear;
    table.state.fog_start = 0.f, table.state.fog_end = 1.f;
    ASSERT_TRUE(table.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, color, 0.25f), 2, tl_fvf));
    expect_fogged(table.at(2, 2), color, fog, 0.75f, "table by depth");
    Frame own(4, 4);
    own.state.fog = true;
    own.state.fog_color = fog;
    const std::vector<TlSpecVertex> quad = {{0, 0, 0.5f, 1, color, 0x40000000},
                                            {4, 0, 0.5f, 1, color, 0x40000000},
                                            {0, 4, 0.5f, 1, color, 0x40000000},
                                            {4, 4, 0.5f, 1, color, 0x40000000}};
    ASSERT_TRUE(own.draw(p, prim_tri_strip, quad, 2, tl_spec_fvf));
    expect_fogged(own.at(2, 2), color, fog, 64.f / 255.f, "specular alpha");
    own.state.fog = false;
    ASSERT_TRUE(own.draw(p, prim_tri_strip, quad, 2, tl_spec_fvf));
    EXPECT_EQ(own.at(2, 2), color);
}

TEST(SoftFixedFunction, UserClipPlanesCutInWorldSpace) {
    // The quad spans x from -0.5 to 1.5 in world space (moved by the world matrix); the plane keeps
    // x >= 0.5625, from screen column 12.5 of 16 with identity view and projection.
    const std::vector<ColorVertex> quad = {{-1, -1, 0.5f, 0xffffffff},
                                           {1, -1, 0.5f, 0xffffffff},
                                           {-1, 1, 0.5f, 0xffffffff},
                                           {1, 1, 0.5f, 0xffffffff}};
    for (bool enabled : {false, true}) {
        Pipeline p(1);
        Frame f(16, 16);
        f.state.world[12] = 0.5f;
        const float plane[4] = {1.f, 0.f, 0.f, -0.5625f};
        std::copy(plane, plane + 4, f.state.clip_plane[3]);
        f.state.clip_planes = enabled ? 1u << 3 : 0u;
        ASSERT_TRUE(f.draw(p, prim_tri_strip, quad, 2, color_fvf)) << p.last_error();
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(f.at(x, 8) != 0, x >= (enabled ? 13 : 4)) << x << (enabled ? " clipped" : " whole");
        // Lines are cut by the same plane.
        Frame l(16, 16);
        l.state = f.state;
        l.state.world[12] = 0.f;
        const std::vector<ColorVertex> line = {{-0.9f, 0.f, 0.5f, 0xffffffff}, {0.9f, 0.f, 0.5f, 0xffffffff}};
        ASSERT_TRUE(l.draw(p, prim_line_list, line, 1, color_fvf));
        EXPECT_EQ(l.at(6, 8) != 0, !enabled);
        EXPECT_NE(l.at(14, 8), 0u);
    }
    Pipeline p(1);
    Frame f(4, 4);
    f.state.clip_planes = 1u << 6; // the device has six
    EXPECT_FALSE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffffffff), 2, tl_fvf));
}

TEST(SoftFixedFunction, BumpMappingOffsetsTheNextStage) {
    // Environment map: four texels across, one colour each.
    Texels<uint32_t> env({0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}, 4, 1, D3DFMT_A8R8G8B8, 1);
    // du = +0.5, dv = -0.5 (64 and -64 of 128) everywhere; X8L8V8U8 adds luminance 128.
    Texels<uint16_t> dudv({0xc040}, 1, 1, D3DFMT_V8U8, 2);
    Texels<uint32_t> dudvl({0x0080c040}, 1, 1, D3DFMT_X8L8V8U8, 3);
    for (bool luminance : {false, true}) {
        Pipeline p(1);
        Frame f(8, 2);
        StageRecord& bump = f.state.stages[0];
        bump.texture = luminance ? &dudvl.view : &dudv.view;
        bump.color_op = luminance ? top::bump_env_map_luminance : top::bump_env_map;
        bump.color_arg1 = ta::texture;
        bump.alpha_op = top::select_arg2;
        bump.alpha_arg2 = ta::diffuse;
        // u moves by 0.5 * du + 0 * dv = 0.25: one texel of the environment map; v is unused (one row).
        bump.bump_matrix[0] = 0.5f, bump.bump_matrix[1] = 0.f, bump.bump_matrix[2] = 0.f,
        bump.bump_matrix[3] = 0.f;
        bump.bump_scale = 1.f, bump.bump_offset = 0.f;
        StageRecord& map = f.state.stages[1];
        map.texture = &env.view;
        map.texcoord_index = 0;
        map.color_op = top::select_arg1;
        map.color_arg1 = ta::texture;
        map.alpha_op = top::select_arg1;
        map.alpha_arg1 = ta::current;
        ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(-0.5f, -0.5f, 7.5f, 1.5f, 0xffffffff), 2, tl_fvf))
            << p.last_error();
        // Pixel x samples u = (x + 0.5) / 8, offset by a quarter: texel ((x + 2) / 2) % 4.
        const uint32_t expected[8] = {0xff00ff00, 0xff00ff00, 0xff0000ff, 0xff0000ff,
                                      0xffffffff, 0xffffffff, 0xffff0000, 0xffff0000};
        for (int x = 0; x < 8; ++x) {
            for (int shift : {16, 8, 0}) {
                const int want = channel(expected[x], shift);
                EXPECT_NEAR(channel(f.at(x, 0), shift), luminance ? want * 128 / 255 : want, 1)
                    << x << (luminance ? " luminance" : "");
            }
        }
    }
}

TEST(SoftFixedFunction, WrapTakesTheShorterWayRoundTheSeam) {
    // A band of a cylinder whose u runs from 0.8 at the left edge to 0.2 at the right, across the seam.
    Texels<uint32_t> tex({0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}, 4, 1, D3DFMT_A8R8G8B8, 1);
    const std::vector<TlVertex> quad = {tl(0, 0, 0xffffffff, 0.8f, 0), tl(16, 0, 0xffffffff, 0.2f, 0),
                                        tl(0, 2, 0xffffffff, 0.8f, 1), tl(16, 2, 0xffffffff, 0.2f, 1)};
    for (bool wrap : {false, true}) {
        Pipeline p(1);
        Frame f(16, 2);
        f.state.stages[0].texture = &tex.view;
        f.state.stages[0].color_op = top::select_arg1;
        f.state.stages[0].color_arg1 = ta::texture;
        f.state.wrap[0] = wrap ? 1u : 0u; // D3DWRAP_U
        f.state.wrap_flags = wrap ? 1u : 0u;
        ASSERT_TRUE(f.draw(p, prim_tri_strip, quad, 2, tl_fvf));
        // Wrapped: u goes 0.8 -> 1.2, texels 3 then 0; plain: 0.8 -> 0.2, texels 2 then 1.
        EXPECT_EQ(f.at(3, 0), wrap ? 0xffffffffu : 0xff0000ffu);
        EXPECT_EQ(f.at(12, 0), wrap ? 0xffff0000u : 0xff00ff00u);
    }
}

TEST(SoftFixedFunction, VertexBlendingBendsATwoBoneStrip) {
    // A horizontal strip y in [-0.25, 0.25]: the left end follows bone 0 (identity), the right end bone 1
    // (raised by 0.5), the middle half of each.
    const std::vector<BlendVertex> strip = {
        {-1, -0.25f, 0.5f, 1.f, 0xffffffff}, {-1, 0.25f, 0.5f, 1.f, 0xffffffff},
        {0, -0.25f, 0.5f, 0.5f, 0xffffffff}, {0, 0.25f, 0.5f, 0.5f, 0xffffffff},
        {1, -0.25f, 0.5f, 0.f, 0xffffffff},  {1, 0.25f, 0.5f, 0.f, 0xffffffff}};
    for (uint32_t blend : {0u, 1u}) {
        Pipeline p(1);
        Frame f(16, 16);
        f.state.blend_world[0][13] = 0.5f;
        f.state.vertex_blend = blend;
        ASSERT_TRUE(f.draw(p, prim_tri_strip, strip, 4, blend1_fvf)) << p.last_error();
        // Screen rows: y = 8 - 8 * world y; the right end spans 2..6 when bent, 6..10 when not.
        EXPECT_NE(f.at(1, 8), 0u) << blend;
        EXPECT_EQ(f.at(14, 8) != 0, blend == 0);
        EXPECT_EQ(f.at(14, 4) != 0, blend == 1);
        EXPECT_EQ(f.at(8, 5) != 0, blend == 1); // the middle rose by a quarter
    }
    Pipeline p(1);
    Frame f(16, 16);
    f.state.vertex_blend = 2; // needs two weights; the format has one
    EXPECT_FALSE(f.draw(p, prim_tri_strip, strip, 4, blend1_fvf));
    f.state.vertex_blend = 255; // tweening
    EXPECT_FALSE(f.draw(p, prim_tri_strip, strip, 4, blend1_fvf));
}

TEST(SoftFixedFunction, ProjectedCoordinatesAreDividedPerPixel) {
    // 4x4 texels, each its own colour; coordinates (0.5, 0.5, 2) sample (0.25, 0.25) when projected.
    std::vector<uint32_t> texels(16);
    for (uint32_t i = 0; i < 16; ++i)
        texels[i] = 0xff000000u | (i * 0x101010u);
    Texels<uint32_t> tex(texels, 4, 4, D3DFMT_A8R8G8B8, 1);
    struct Vertex {
        float x, y, z, rhw;
        uint32_t color;
        float u, v, q;
    };
    constexpr uint32_t fvf = 0x144 | 0x10000; // one set of three coordinates
    const std::vector<Vertex> quad = {{0, 0, 0.5f, 1, 0xffffffff, 0.5f, 0.5f, 2.f},
                                      {4, 0, 0.5f, 1, 0xffffffff, 0.5f, 0.5f, 2.f},
                                      {0, 4, 0.5f, 1, 0xffffffff, 0.5f, 0.5f, 2.f},
                                      {4, 4, 0.5f, 1, 0xffffffff, 0.5f, 0.5f, 2.f}};
    for (bool projected : {false, true}) {
        Pipeline p(1);
        Frame f(4, 4);
        f.state.stages[0].texture = &tex.view;
        f.state.stages[0].color_op = top::select_arg1;
        f.state.stages[0].color_arg1 = ta::texture;
        f.state.stages[0].transform_flags = projected ? 3u | ttf_projected : 0u;
        ASSERT_TRUE(f.draw(p, prim_tri_strip, quad, 2, fvf)) << p.last_error();
        EXPECT_EQ(f.at(1, 1), texels[projected ? 5 : 10]);
    }
}

TEST(SoftFixedFunction, ProjectedCoordinatesChooseMipLevelsByTheirFootprint) {
    // An 8x8 chain whose levels are solid colours; a 4-pixel quad spans the whole texture (two texels a
    // pixel: level 1), or half of it when its coordinates are divided by q = 2 (one a pixel: level 0).
    const uint32_t colors[4] = {0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff};
    std::vector<std::vector<uint32_t>> levels;
    TextureView view;
    view.id = 1, view.version = 1, view.format = D3DFMT_A8R8G8B8, view.level_count = 4;
    for (int i = 0; i < 4; ++i)
        levels.emplace_back(static_cast<size_t>(64 >> (2 * i)), colors[i]);
    for (int i = 0; i < 4; ++i)
        view.levels[i] = {reinterpret_cast<const uint8_t*>(levels[static_cast<size_t>(i)].data()),
                          (8 >> i) * 4, 8 >> i, 8 >> i};
    struct Vertex {
        float x, y, z, rhw;
        uint32_t color;
        float u, v, q;
    };
    const std::vector<Vertex> quad = {{-0.5f, -0.5f, 0.5f, 1, 0xffffffff, 0, 0, 2},
                                      {3.5f, -0.5f, 0.5f, 1, 0xffffffff, 1, 0, 2},
                                      {-0.5f, 3.5f, 0.5f, 1, 0xffffffff, 0, 1, 2},
                                      {3.5f, 3.5f, 0.5f, 1, 0xffffffff, 1, 1, 2}};
    for (bool projected : {false, true}) {
        Pipeline p(1);
        Frame f(4, 4);
        StageRecord& st = f.state.stages[0];
        st.texture = &view;
        st.color_op = top::select_arg1;
        st.color_arg1 = ta::texture;
        st.mip_filter = filter_point;
        st.transform_flags = projected ? 3u | ttf_projected : 0u;
        ASSERT_TRUE(f.draw(p, prim_tri_strip, quad, 2, 0x144 | 0x10000)) << p.last_error();
        EXPECT_EQ(f.at(1, 1), colors[projected ? 0 : 1]);
    }
}

TEST(SoftFixedFunction, LinePatternsSkipPixels) {
    Pipeline p(1);
    Frame f(16, 2);
    f.state.line_pattern = 0x33330002; // two on, two off, each bit twice: four on, four off
    ASSERT_TRUE(f.draw(p, prim_line_list, std::vector<TlVertex>{tl(0, 0), tl(16, 0)}, 1, tl_fvf));
    for (int x = 0; x < 16; ++x)
        EXPECT_EQ(f.at(x, 0) != 0, (x / 4) % 2 == 0) << x;
    Frame solid(16, 2);
    solid.state.line_pattern = 0xffff0002;
    ASSERT_TRUE(solid.draw(p, prim_line_list, std::vector<TlVertex>{tl(0, 0), tl(16, 0)}, 1, tl_fvf));
    EXPECT_NE(solid.at(5, 0), 0u);
}

TEST(SoftFixedFunction, StageOperationsOnWholeColours) {
    StageProgram s{};
    s.color_args[0] = s.alpha_args[0] = ta::current;
    s.color_args[1] = s.alpha_args[1] = ta::diffuse;
    s.color_args[2] = s.alpha_args[2] = ta::tfactor;
    s.alpha_op = top::select_arg1;
    s.sampler = -1;
    StageInputs in{};
    in.diffuse = {0.75f, 0.5f, 0.25f, 0.25f};
    in.factor = {0.75f, 0.5f, 1.f, 1.f};
    struct Case {
        uint32_t op;
        Rgba want;
    };
    const Case cases[] = {
        // 4 * ((0.25 * 0.25) + 0 + (-0.25 * 0.5)) is negative: saturated to 0, in alpha as well.
        {top::dot_product3, {0.f, 0.f, 0.f, 0.f}},
        {top::modulate_color_add_alpha, {0.8125f, 0.5f, 0.5f, 0.25f}},
        {top::modulate_inv_color_add_alpha, {0.4375f, 0.5f, 1.f, 0.25f}},
    };
    for (const Case& c : cases) {
        s.color_op = c.op;
        const Rgba r = run_stages(&s, 1, in);
        EXPECT_NEAR(r.r, c.want.r, 1e-5f) << c.op;
        EXPECT_NEAR(r.g, c.want.g, 1e-5f) << c.op;
        EXPECT_NEAR(r.b, c.want.b, 1e-5f) << c.op;
        EXPECT_NEAR(r.a, c.want.a, 1e-5f) << c.op;
    }
    in.factor = {1.f, 0.5f, 0.5f, 1.f};
    in.diffuse = {1.f, 1.f, 0.5f, 1.f};
    s.color_op = top::dot_product3; // (0.5*0.5 + 0 + 0) * 4 = 1
    EXPECT_NEAR(run_stages(&s, 1, in).a, 1.f, 1e-5f);

    // Pre-modulation multiplies the next stage's texel by this stage's.
    Texels<uint32_t> grey({0xff808080}, 1, 1, D3DFMT_A8R8G8B8, 1);
    Texels<uint32_t> warm({0xffff8040}, 1, 1, D3DFMT_A8R8G8B8, 2);
    Pipeline p(1);
    Frame f(2, 2);
    f.state.stages[0].texture = &grey.view;
    f.state.stages[0].color_op = top::premodulate;
    f.state.stages[1].texture = &warm.view;
    f.state.stages[1].texcoord_index = 0;
    f.state.stages[1].color_op = top::select_arg1;
    f.state.stages[1].color_arg1 = ta::texture;
    f.state.stages[1].alpha_op = top::select_arg1;
    f.state.stages[1].alpha_arg1 = ta::diffuse;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 2, 2, 0xffffffff), 2, tl_fvf)) << p.last_error();
    EXPECT_NEAR(channel(f.at(0, 0), 16), 0x80, 1);
    EXPECT_NEAR(channel(f.at(0, 0), 8), 0x40, 1);
    EXPECT_NEAR(channel(f.at(0, 0), 0), 0x20, 1);
}

TEST(SoftFixedFunction, SpecularArgumentReadsTheVertexSpecular) {
    Pipeline p(1);
    Frame f(4, 4);
    f.state.specular_enable = false;
    f.state.stages[0].color_op = top::select_arg1;
    f.state.stages[0].color_arg1 = ta::specular;
    const std::vector<TlSpecVertex> quad = {{0, 0, 0.5f, 1, 0xffffffff, 0xff20c040},
                                            {4, 0, 0.5f, 1, 0xffffffff, 0xff20c040},
                                            {0, 4, 0.5f, 1, 0xffffffff, 0xff20c040},
                                            {4, 4, 0.5f, 1, 0xffffffff, 0xff20c040}};
    ASSERT_TRUE(f.draw(p, prim_tri_strip, quad, 2, tl_spec_fvf));
    EXPECT_EQ(f.at(2, 2), 0xff20c040u);
    // Selected, not added: diffuse alone when the stage selects diffuse and the sum is off.
    f.state.stages[0].color_arg1 = ta::diffuse;
    ASSERT_TRUE(f.draw(p, prim_tri_strip, quad, 2, tl_spec_fvf));
    EXPECT_EQ(f.at(2, 2), 0xffffffffu);
}

TEST(SoftFixedFunction, ClippedWireframesShowOnlyTheTrianglesEdges) {
    // Identity transforms: the apex lies behind the near plane, which cuts the triangle along y = 0 into a
    // trapezoid; its fan's diagonal and the cut are not edges of the triangle.
    const std::vector<ColorVertex> tri = {
        {-0.8f, -0.8f, 0.5f, 0xffffffff}, {0.8f, -0.8f, 0.5f, 0xffffffff}, {0.f, 0.8f, -0.5f, 0xffffffff}};
    Pipeline p(1);
    Frame f(32, 32);
    f.state.fill_mode = fill_wireframe;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tri, 1, color_fvf));
    int lit = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x) {
            const float nx = (static_cast<float>(x) - 16.f) / 16.f;
            const float ny = (16.f - static_cast<float>(y)) / 16.f;
            const bool near_edge = std::fabs(ny + 0.8f) < 0.1f ||
                                   std::fabs(nx - (-0.8f + (ny + 0.8f) / 2.f)) < 0.1f ||
                                   std::fabs(nx - (0.8f - (ny + 0.8f) / 2.f)) < 0.1f;
            if (f.at(x, y) != 0) {
                ++lit;
                EXPECT_TRUE(near_edge) << x << "," << y;
            }
        }
    EXPECT_GT(lit, 40);
    Frame points(32, 32);
    points.state.fill_mode = fill_point;
    ASSERT_TRUE(points.draw(p, prim_tri_list, tri, 1, color_fvf));
    lit = 0;
    for (int y = 0; y < 32; ++y)
        for (int x = 0; x < 32; ++x)
            if (points.at(x, y) != 0) {
                ++lit;
                EXPECT_GT(y, 24) << "only the two corners in front, no points where the plane cut";
            }
    EXPECT_GT(lit, 0);
}

TEST(SoftFixedFunction, FarOffPreTransformedTrianglesAreClippedNotDropped) {
    Pipeline p(1);
    Frame f(16, 16);
    constexpr float far_x = 4194304.f; // 2^22 pixels to the right
    const std::vector<TlVertex> tri = {tl(0, 0, 0xffff0000, 0, 0, 0.5f, 0.5f),
                                       tl(far_x, 0, 0xffff0000, 0, 0, 0.5f, 0.5f),
                                       tl(0, 16, 0xffff0000, 0, 0, 0.5f, 0.5f)};
    ASSERT_TRUE(f.draw(p, prim_tri_list, tri, 1, tl_fvf));
    EXPECT_EQ(f.at(8, 8), 0xffff0000u);
    EXPECT_EQ(f.at(15, 14), 0xffff0000u);
    // Attributes stay perspective-correct through the cut: the colour runs from black at x = 0 to white
    // at 2^22, so columns on screen stay black.
    Frame g(16, 16);
    const std::vector<TlVertex> shaded = {tl(0, 0, 0xff000000, 0, 0, 0.5f, 1.f),
                                          tl(far_x, 0, 0xffffffff, 0, 0, 0.5f, 0.25f),
                                          tl(0, 16, 0xff000000, 0, 0, 0.5f, 1.f)};
    ASSERT_TRUE(g.draw(p, prim_tri_list, shaded, 1, tl_fvf));
    EXPECT_EQ(g.at(8, 4), 0xff000000u);
    // Lines too.
    Frame l(16, 4);
    ASSERT_TRUE(l.draw(p, prim_line_list, std::vector<TlVertex>{tl(-far_x, 1), tl(far_x, 1)}, 1, tl_fvf));
    EXPECT_NE(l.at(8, 1), 0u);
}

} // namespace
} // namespace qcore::test
