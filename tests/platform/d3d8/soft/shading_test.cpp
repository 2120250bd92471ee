// Golden frames with hand-computed pixels: depth, blending, tests, interpolation, texturing, lighting,
// clipping and the render-target formats.
#include "soft_test_support.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

namespace qcore::test {
namespace {

void expect_color(uint32_t got, int r, int g, int b, int tolerance, const std::string& what) {
    EXPECT_NEAR(channel(got, 16), r, tolerance) << what;
    EXPECT_NEAR(channel(got, 8), g, tolerance) << what;
    EXPECT_NEAR(channel(got, 0), b, tolerance) << what;
}

TEST(SoftShading, DepthTestKeepsTheNearestSurface) {
    Pipeline p(1);
    for (D3DFORMAT format : {D3DFMT_D16, D3DFMT_D24S8, D3DFMT_D24X8, D3DFMT_D32}) {
        Frame f(8, 8, 0, format);
        if (format == D3DFMT_D16)
            for (uint32_t& d : f.depth)
                d = 0xffffffffu; // two 16-bit depths per word, both at the far plane
        ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xffff0000, 0.7f), 2, tl_fvf));
        ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 8, 0xff00ff00, 0.3f), 2, tl_fvf));
        ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xff0000ff, 0.5f), 2, tl_fvf));
        EXPECT_EQ(f.at(1, 4), 0xff00ff00u) << format;
        EXPECT_EQ(f.at(6, 4), 0xff0000ffu) << format;
    }
}

TEST(SoftShading, DepthWritesOffAndZBias) {
    Pipeline p(1);
    Frame f(8, 8, 0, D3DFMT_D24S8);
    f.state.z_write = false;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xffff0000, 0.3f), 2, tl_fvf));
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xff00ff00, 0.6f), 2, tl_fvf));
    EXPECT_EQ(f.at(3, 3), 0xff00ff00u); // the first quad left no depth behind
    f.state.z_write = true;
    f.state.z_func = cmp_less;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xff0000ff, 0.5f), 2, tl_fvf));
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xffffffff, 0.5f), 2, tl_fvf));
    EXPECT_EQ(f.at(3, 3), 0xff0000ffu); // coplanar and LESS: the second loses
    f.state.z_bias = 4;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xffffffff, 0.5f), 2, tl_fvf));
    EXPECT_EQ(f.at(3, 3), 0xffffffffu); // biased towards the viewer it wins
}

struct BlendCase {
    uint32_t src, dest;
    double (*fs)(double s, double sa, double d, double da);
    double (*fd)(double s, double sa, double d, double da);
};

TEST(SoftShading, EachBlendFactor) {
    // Source (a .2, r .8, g .6, b .4) over destination (a .5, r .2, g .6, b 1), factors by hand.
    const double s[3] = {204 / 255.0, 153 / 255.0, 102 / 255.0}, sa = 51 / 255.0;
    const double d[3] = {51 / 255.0, 153 / 255.0, 1.0}, da = 128 / 255.0;
    const BlendCase cases[] = {
        {blend_zero, blend_one, [](double, double, double, double) { return 0.0; },
         [](double, double, double, double) { return 1.0; }},
        {blend_one, blend_one, [](double, double, double, double) { return 1.0; },
         [](double, double, double, double) { return 1.0; }},
        {blend_src_color, blend_inv_src_color, [](double c, double, double, double) { return c; },
         [](double c, double, double, double) { return 1 - c; }},
        {blend_src_alpha, blend_inv_src_alpha, [](double, double a, double, double) { return a; },
         [](double, double a, double, double) { return 1 - a; }},
        {blend_dest_alpha, blend_inv_dest_alpha, [](double, double, double, double a) { return a; },
         [](double, double, double, double a) { return 1 - a; }},
        {blend_dest_color, blend_inv_dest_color, [](double, double, double c, double) { return c; },
         [](double, double, double c, double) { return 1 - c; }},
        {blend_inv_dest_color, blend_src_color, [](double, double, double c, double) { return 1 - c; },
         [](double c, double, double, double) { return c; }},
    };
    Pipeline p(1);
    for (const BlendCase& c : cases) {
        Frame f(4, 4, 0x803399ff);
        f.state.alpha_blend = true;
        f.state.src_blend = c.src;
        f.state.dest_blend = c.dest;
        ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0x33cc9966), 2, tl_fvf));
        int expected[3];
        for (int i = 0; i < 3; ++i) {
            const double v = s[i] * c.fs(s[i], sa, d[i], da) + d[i] * c.fd(s[i], sa, d[i], da);
            expected[i] = static_cast<int>(std::lround(std::min(v, 1.0) * 255));
        }
        expect_color(f.at(2, 2), expected[0], expected[1], expected[2], 1,
                     "src " + std::to_string(c.src) + " dest " + std::to_string(c.dest));
    }
}

TEST(SoftShading, AlphaTestStencilAndColourWriteMask) {
    Pipeline p(1);
    Frame f(8, 8, 0xff000000, D3DFMT_D24S8);
    f.state.alpha_test = true;
    f.state.alpha_func = cmp_greater_equal;
    f.state.alpha_ref = 0x20;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 8, 4, 0x10ffffff), 2, tl_fvf));
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 4, 8, 8, 0x30ffffff), 2, tl_fvf));
    EXPECT_EQ(f.at(2, 2), 0xff000000u);
    EXPECT_EQ(f.at(2, 6), 0x30ffffffu);
    f.state.alpha_test = false;

    Frame g(8, 8, 0, D3DFMT_D24S8);
    g.state.stencil_enable = true;
    g.state.stencil_pass = stencil_replace;
    g.state.stencil_ref = 5;
    g.state.color_write = 0; // marks the stencil only
    ASSERT_TRUE(g.draw(p, prim_tri_list, tl_quad(0, 0, 4, 8, 0xffffffff, 0.9f), 2, tl_fvf));
    EXPECT_EQ(g.at(1, 1), 0u);
    g.state.color_write = 0xf;
    g.state.stencil_func = cmp_equal;
    g.state.stencil_pass = stencil_keep;
    g.state.z_enable = false;
    ASSERT_TRUE(g.draw(p, prim_tri_list, tl_quad(0, 0, 8, 8, 0xff00ff00), 2, tl_fvf));
    EXPECT_EQ(g.at(1, 1), 0xff00ff00u);
    EXPECT_EQ(g.at(6, 1), 0u);

    Frame h(4, 4, 0x11223344);
    h.state.color_write = 1 | 8; // red and alpha
    ASSERT_TRUE(h.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xaabbccdd), 2, tl_fvf));
    EXPECT_EQ(h.at(1, 1), 0xaabb3344u);
}

TEST(SoftShading, ColoursArePerspectiveCorrect) {
    Pipeline p(1);
    Frame f(16, 4);
    // rhw 1 on the left, 0.25 on the right; red runs 0 to 255 in the surface, not on screen.
    const std::vector<TlVertex> v = {
        tl(0, 0, 0xff000000, 0, 0, 0.5f, 1.f), tl(16, 0, 0xffff0000, 0, 0, 0.5f, 0.25f),
        tl(0, 4, 0xff000000, 0, 0, 0.5f, 1.f), tl(16, 4, 0xffff0000, 0, 0, 0.5f, 0.25f)};
    ASSERT_TRUE(f.draw(p, prim_tri_strip, v, 2, tl_fvf));
    for (int x = 0; x < 16; ++x) {
        const double t = x / 16.0;
        const double red = 255.0 * (t * 0.25) / ((1 - t) * 1.0 + t * 0.25);
        EXPECT_NEAR(channel(f.at(x, 2), 16), red, 1.0) << x;
    }
}

TEST(SoftShading, FlatShadingTakesTheFirstVertex) {
    Pipeline p(1);
    Frame f(8, 8);
    f.state.flat_shade = true;
    const std::vector<TlVertex> v = {tl(0, 0, 0xff102030), tl(8, 0, 0xffffffff), tl(0, 8, 0xff000000)};
    ASSERT_TRUE(f.draw(p, prim_tri_list, v, 1, tl_fvf));
    EXPECT_EQ(f.at(1, 1), 0xff102030u);
    EXPECT_EQ(f.at(5, 1), 0xff102030u);
}

TEST(SoftShading, EveryRenderTargetFormat) {
    struct Case {
        D3DFORMAT format;
        uint32_t expected;
        int bytes;
    };
    // Colour 0xff/0x80/0x40 at alpha 0x80, written to each published layout.
    const Case cases[] = {{D3DFMT_A8R8G8B8, 0x80ff8040u, 4},
                          {D3DFMT_X8R8G8B8, 0xffff8040u, 4},
                          {D3DFMT_R5G6B5, 0xfc08u, 2},
                          {D3DFMT_X1R5G5B5, 0xfe08u, 2},
                          {D3DFMT_A1R5G5B5, 0xfe08u, 2}};
    Pipeline p(1);
    for (const Case& c : cases) {
        std::vector<uint8_t> memory(static_cast<size_t>(4 * 4 * c.bytes), 0);
        Frame f(4, 4);
        f.target.color = {memory.data(), 4 * c.bytes, 4, 4, c.format};
        ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0x80ff8040), 2, tl_fvf));
        uint32_t got = 0;
        std::memcpy(&got, memory.data() + (2 * 4 + 1) * c.bytes, static_cast<size_t>(c.bytes));
        EXPECT_EQ(got, c.expected) << c.format;
    }
}

// A texture of one level or a chain, ARGB texels.
struct TestTexture {
    std::vector<std::vector<uint32_t>> levels;
    TextureView view;
    explicit TestTexture(std::vector<std::vector<uint32_t>> data, int width, int height, uint64_t id = 1)
        : levels(std::move(data)) {
        view.id = id;
        view.version = 1;
        view.format = D3DFMT_A8R8G8B8;
        view.level_count = static_cast<int>(levels.size());
        for (size_t i = 0; i < levels.size(); ++i) {
            const int w = std::max(1, width >> i), h = std::max(1, height >> i);
            view.levels[i] = {reinterpret_cast<const uint8_t*>(levels[i].data()), w * 4, w, h};
        }
    }
};

void use_texture(Frame& f, const TextureView& t) {
    f.state.stages[0].texture = &t;
    f.state.stages[0].color_op = top::select_arg1;
    f.state.stages[0].color_arg1 = ta::texture;
    f.state.stages[0].alpha_op = top::select_arg1;
    f.state.stages[0].alpha_arg1 = ta::texture;
}

TEST(SoftShading, PointAndLinearFiltering) {
    TestTexture tex({{0xffff0000, 0xff00ff00, 0xff0000ff, 0xffffffff}}, 2, 2);
    Pipeline p(1);
    Frame point(4, 4);
    use_texture(point, tex.view);
    ASSERT_TRUE(point.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffffffff), 2, tl_fvf));
    EXPECT_EQ(point.at(1, 1), 0xffff0000u);
    EXPECT_EQ(point.at(2, 1), 0xff00ff00u);
    EXPECT_EQ(point.at(1, 2), 0xff0000ffu);
    EXPECT_EQ(point.at(3, 3), 0xffffffffu);

    Frame linear(4, 4);
    use_texture(linear, tex.view);
    linear.state.stages[0].mag_filter = linear.state.stages[0].min_filter = filter_linear;
    linear.state.stages[0].address_u = linear.state.stages[0].address_v = address_clamp;
    // Pixel centres sit on integer coordinates: the quad starts half a pixel out to align texels.
    ASSERT_TRUE(linear.draw(p, prim_tri_list, tl_quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xffffffff), 2, tl_fvf));
    // Pixel (1,1) samples texel space (0.25, 0.25): weights 9/16, 3/16, 3/16, 1/16.
    expect_color(linear.at(1, 1), 159, 64, 64, 2, "linear (1,1)");
    expect_color(linear.at(0, 0), 255, 0, 0, 1, "clamped corner");
    // With wrapping the corner also reaches the opposite texels: 9/16 red + 1/16 white.
    linear.state.stages[0].address_u = linear.state.stages[0].address_v = address_wrap;
    ASSERT_TRUE(linear.draw(p, prim_tri_list, tl_quad(-0.5f, -0.5f, 3.5f, 3.5f, 0xffffffff), 2, tl_fvf));
    expect_color(linear.at(0, 0), 159, 64, 64, 2, "wrapped corner");
}

TEST(SoftShading, MipLevelsFollowTheScreenSize) {
    std::vector<std::vector<uint32_t>> chain = {
        std::vector<uint32_t>(64, 0xffff0000u), std::vector<uint32_t>(16, 0xff00ff00u),
        std::vector<uint32_t>(4, 0xff0000ffu), std::vector<uint32_t>(1, 0xffffffffu)};
    TestTexture tex(chain, 8, 8);
    Pipeline p(1);
    auto draw = [&](float size, uint32_t mip, float bias) {
        Frame f(8, 8);
        use_texture(f, tex.view);
        f.state.stages[0].mip_filter = mip;
        f.state.stages[0].lod_bias = bias;
        EXPECT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, size, size, 0xffffffff), 2, tl_fvf));
        return f.at(0, 0);
    };
    EXPECT_EQ(draw(8, filter_point, 0.f), 0xffff0000u);
    EXPECT_EQ(draw(4, filter_point, 0.f), 0xff00ff00u);
    EXPECT_EQ(draw(2, filter_point, 0.f), 0xff0000ffu);
    EXPECT_EQ(draw(1, filter_point, 0.f), 0xffffffffu);
    EXPECT_EQ(draw(2, filter_none, 0.f), 0xffff0000u);
    expect_color(draw(4, filter_linear, 0.5f), 0, 128, 128, 1, "between levels 1 and 2");
}

TEST(SoftShading, TextureFormatsAreConvertedOnceAndRefreshedOnChange) {
    // R5G6B5 texels: red and blue.
    std::vector<uint16_t> texels = {0xf800, 0x001f, 0x001f, 0xf800};
    TextureView view;
    view.id = 7;
    view.version = 1;
    view.format = D3DFMT_R5G6B5;
    view.level_count = 1;
    view.levels[0] = {reinterpret_cast<const uint8_t*>(texels.data()), 4, 2, 2};
    Pipeline p(1);
    Frame f(2, 2);
    use_texture(f, view);
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 2, 2, 0xffffffff), 2, tl_fvf));
    EXPECT_EQ(f.at(0, 0), 0xffff0000u);
    EXPECT_EQ(f.at(1, 0), 0xff0000ffu);
    texels[0] = 0x07e0;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 2, 2, 0xffffffff), 2, tl_fvf));
    EXPECT_EQ(f.at(0, 0), 0xffff0000u); // same version: the converted copy is used
    view.version = 2;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 2, 2, 0xffffffff), 2, tl_fvf));
    EXPECT_EQ(f.at(0, 0), 0xff00ff00u);
}

TEST(SoftShading, ModulatedTextureAndSecondStage) {
    TestTexture tex({{0xff808080}}, 1, 1);
    Pipeline p(1);
    Frame f(4, 4);
    f.state.stages[0] = StageRecord{};
    f.state.stages[0].texture = &tex.view;
    f.state.stages[0].color_op = top::modulate;
    f.state.stages[0].alpha_op = top::select_arg1;
    f.state.stages[1].color_op = top::add;
    f.state.stages[1].color_arg1 = ta::tfactor;
    f.state.stages[1].color_arg2 = ta::current;
    f.state.texture_factor = 0xff000010;
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffff8000), 2, tl_fvf));
    // (0.502 * (1, 0.502, 0)) + (0, 0, 0.063)
    expect_color(f.at(1, 1), 128, 64, 16, 1, "modulate then add");
}

struct LitVertex {
    float x, y, z, nx, ny, nz;
};

TEST(SoftShading, DirectionalLightOnAFlatQuad) {
    // Identity transforms: the quad fills clip space and faces the viewer (normal -z).
    const std::vector<LitVertex> quad = {
        {-1, 1, 0.5f, 0, 0, -1}, {1, 1, 0.5f, 0, 0, -1}, {-1, -1, 0.5f, 0, 0, -1}, {1, -1, 0.5f, 0, 0, -1}};
    Pipeline p(1);
    auto render = [&](float dy, float dz) {
        Frame f(4, 4);
        f.state.lighting = true;
        f.state.ambient = 0x00202020;
        f.state.material.diffuse = {1.f, 0.5f, 0.25f, 1.f};
        f.state.material.ambient = {1.f, 1.f, 1.f, 1.f};
        f.state.light_count = 1;
        f.state.lights[0].type = light_directional;
        f.state.lights[0].diffuse = {1.f, 1.f, 1.f, 1.f};
        f.state.lights[0].direction[1] = dy;
        f.state.lights[0].direction[2] = dz;
        EXPECT_TRUE(f.draw(p, prim_tri_strip, quad, 2, 0x12));
        return f.at(2, 2);
    };
    // Head-on: diffuse + ambient 32/255. At 60 degrees: half the diffuse.
    expect_color(render(0.f, 1.f), 255, 160, 96, 1, "head-on");
    expect_color(render(std::sin(1.0471976f), std::cos(1.0471976f)), 160, 96, 64, 1, "60 degrees");
    expect_color(render(0.f, -1.f), 32, 32, 32, 1, "from behind: ambient only");
}

TEST(SoftShading, NearPlaneClipsGeometryBehindTheCamera) {
    // 90 degree perspective, near 1, far 100; a ground plane at y = -1 reaching behind the camera.
    const float zn = 1.f, zf = 100.f, q = zf / (zf - zn);
    Pipeline p(1);
    Frame f(16, 16);
    const float projection[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, q, 1, 0, 0, -q * zn, 0};
    std::copy(projection, projection + 16, f.state.projection);
    const std::vector<ColorVertex> ground = {{-100, -1, -50, 0xffffffff},
                                             {100, -1, -50, 0xffffffff},
                                             {-100, -1, 100, 0xffffffff},
                                             {100, -1, 100, 0xffffffff}};
    ASSERT_TRUE(f.draw(p, prim_tri_strip, ground, 2, color_fvf));
    // Visible depths 1..100 put the plane between screen rows 8.08 and 16.
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(f.at(x, y) != 0, y >= 9) << x << "," << y;
}

TEST(SoftShading, FarPlaneAndViewportDepthRange) {
    Pipeline p(1);
    Frame f(4, 4, 0, D3DFMT_D32);
    f.state.viewport.min_z = 0.25f;
    f.state.viewport.max_z = 0.75f;
    const std::vector<ColorVertex> beyond = {{-1, 1, 1.5f, 0xffff0000},
                                             {1, 1, 1.5f, 0xffff0000},
                                             {-1, -1, 1.5f, 0xffff0000},
                                             {1, -1, 1.5f, 0xffff0000}};
    ASSERT_TRUE(f.draw(p, prim_tri_strip, beyond, 2, color_fvf));
    EXPECT_EQ(f.at(1, 1), 0u);
    const std::vector<ColorVertex> middle = {{-1, 1, 0.5f, 0xff00ff00},
                                             {1, 1, 0.5f, 0xff00ff00},
                                             {-1, -1, 0.5f, 0xff00ff00},
                                             {1, -1, 0.5f, 0xff00ff00}};
    ASSERT_TRUE(f.draw(p, prim_tri_strip, middle, 2, color_fvf));
    EXPECT_EQ(f.at(1, 1), 0xff00ff00u);
    EXPECT_NEAR(static_cast<double>(f.depth[5]), 0.5 * 4294967295.0, 512.0);
}

std::string g_diagnostic;
int g_diagnostics = 0;
void record(const char* message) {
    g_diagnostic = message;
    ++g_diagnostics;
}

TEST(SoftShading, UnsupportedStatesFailWithAMessage) {
    set_diagnostic_handler(record);
    Pipeline p(1);
    Frame f(4, 4, 0x12345678);
    f.state.fog = true;
    f.state.fog_table_mode = 7;
    EXPECT_FALSE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffffffff), 2, tl_fvf));
    EXPECT_EQ(g_diagnostic, "unknown fog mode");
    EXPECT_EQ(f.at(1, 1), 0x12345678u);
    const int lines = g_diagnostics;
    EXPECT_FALSE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffffffff), 2, tl_fvf));
    EXPECT_EQ(g_diagnostics, lines) << "the same refusal again is not logged again";
    f.state.fog = false;
    f.state.stages[0].color_op = top::lerp + 1;
    EXPECT_FALSE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffffffff), 2, tl_fvf));
    EXPECT_STREQ(p.last_error(), "texture stage operation is not supported");
    f.state.stages[0].color_op = top::select_arg2;
    EXPECT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffffffff), 2, tl_fvf));
    set_diagnostic_handler(nullptr);
}

TEST(SoftShading, OutOfRangeVerticesAndIndicesAreRefused) {
    set_diagnostic_handler(record);
    Pipeline p(1);
    Frame f(4, 4);
    const auto quad = tl_quad(0, 0, 4, 4, 0xffffffff);
    EXPECT_FALSE(f.draw(p, prim_tri_list, quad, 3, tl_fvf));
    const uint16_t indices[3] = {0, 1, 6};
    IndexStream is{reinterpret_cast<const uint8_t*>(indices), sizeof indices, false};
    VertexStream vs{reinterpret_cast<const uint8_t*>(quad.data()), quad.size() * sizeof(TlVertex),
                    sizeof(TlVertex), tl_fvf};
    DrawRequest r;
    r.indexed = true;
    r.primitive_count = 1;
    EXPECT_FALSE(p.draw(f.state, f.target, vs, &is, r));
    r.primitive_count = 2;
    EXPECT_FALSE(p.draw(f.state, f.target, vs, &is, r)); // more indices than given
    const uint32_t wide[3] = {0, 1, 2};
    IndexStream is32{reinterpret_cast<const uint8_t*>(wide), sizeof wide, true};
    r.primitive_count = 1;
    r.start_vertex = 3; // base vertex: triangle 3, 4, 5
    EXPECT_TRUE(p.draw(f.state, f.target, vs, &is32, r));
    EXPECT_EQ(f.at(3, 3), 0xffffffffu);
    EXPECT_EQ(f.at(0, 0), 0u);
    set_diagnostic_handler(nullptr);
}

} // namespace
} // namespace qcore::test
