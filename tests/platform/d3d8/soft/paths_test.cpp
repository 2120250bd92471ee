// The integer and SIMD shading paths against the general one, and drawing on several workers
// against drawing on one.
#include "soft_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <optional>
#include <random>
#include <tuple>

namespace qcore::test {
namespace {

struct MeshVertex {
    float x, y, z, nx, ny, nz, u, v;
};

// A lit, textured, depth-tested grid under perspective, then blended pre-transformed quads.
struct Scene {
    std::vector<MeshVertex> mesh;
    std::vector<uint16_t> indices;
    std::vector<TlVertex> quads;
    std::vector<uint32_t> texels = std::vector<uint32_t>(64 * 64);
    std::vector<uint32_t> half = std::vector<uint32_t>(32 * 32); // level 1: 2x2 box filter of level 0
    TextureView texture;

    Scene() {
        const int n = 24;
        for (int j = 0; j <= n; ++j)
            for (int i = 0; i <= n; ++i) {
                const float x = -1.f + 2.f * static_cast<float>(i) / n,
                            y = -1.f + 2.f * static_cast<float>(j) / n;
                const float z = 2.5f + 0.6f * std::sin(3.f * x) * std::cos(2.f * y);
                mesh.push_back({x, y, z, 0.3f * x, 0.2f * y, -1.f, 2.f * static_cast<float>(i) / n,
                                2.f * static_cast<float>(j) / n});
            }
        for (int j = 0; j < n; ++j)
            for (int i = 0; i < n; ++i) {
                const uint16_t k = static_cast<uint16_t>(j * (n + 1) + i), w = static_cast<uint16_t>(n + 1);
                for (uint16_t idx : {k, static_cast<uint16_t>(k + 1), static_cast<uint16_t>(k + w),
                                     static_cast<uint16_t>(k + w), static_cast<uint16_t>(k + 1),
                                     static_cast<uint16_t>(k + w + 1)})
                    indices.push_back(idx);
            }
        for (int q = 0; q < 12; ++q) {
            const float x = static_cast<float>(q * 13 % 90), y = static_cast<float>(q * 29 % 70);
            const uint32_t color =
                (static_cast<uint32_t>(0x30 + q * 12) << 24) | (0x9fu * static_cast<uint32_t>(q) & 0xffffffu);
            for (const TlVertex& v : tl_quad(x + 0.3f, y + 0.6f, x + 37.7f, y + 41.2f, color, 0.2f))
                quads.push_back(v);
        }
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                texels[static_cast<size_t>(y * 64 + x)] = 0xff000000u | static_cast<uint32_t>(x * 4) << 16 |
                                                          static_cast<uint32_t>(y * 4) << 8 |
                                                          static_cast<uint32_t>(((x / 8 + y / 8) & 1) * 255);
        for (int y = 0; y < 32; ++y)
            for (int x = 0; x < 32; ++x) {
                uint32_t sum[4] = {0, 0, 0, 0};
                for (int k = 0; k < 4; ++k) {
                    const uint32_t t = texels[static_cast<size_t>((2 * y + k / 2) * 64 + 2 * x + k % 2)];
                    for (int c = 0; c < 4; ++c)
                        sum[c] += (t >> (8 * c)) & 0xff;
                }
                uint32_t avg = 0;
                for (int c = 0; c < 4; ++c)
                    avg |= ((sum[c] + 2) / 4) << (8 * c);
                half[static_cast<size_t>(y * 32 + x)] = avg;
            }
        texture.id = 3;
        texture.version = 1;
        texture.format = D3DFMT_A8R8G8B8;
        texture.level_count = 1;
        texture.levels[0] = {reinterpret_cast<const uint8_t*>(texels.data()), 64 * 4, 64, 64};
        texture.levels[1] = {reinterpret_cast<const uint8_t*>(half.data()), 32 * 4, 32, 32};
    }

    // general: a state that takes the general path and draws the same pixels (an alpha test and a stencil
    // test that pass everything); multitexture adds the texture again in a second stage.
    void render(Frame& f, Pipeline& p, bool general, bool mipmapped = false, bool multitexture = false) {
        texture.level_count = mipmapped ? 2 : 1;
        const float zn = 1.f, zf = 10.f, q = zf / (zf - zn);
        const float projection[16] = {1.2f, 0, 0, 0, 0, 1.6f, 0, 0, 0, 0, q, 1, 0, 0, -q * zn, 0};
        std::copy(projection, projection + 16, f.state.projection);
        f.state.lighting = true;
        f.state.ambient = 0x00303030;
        f.state.material.diffuse = {0.9f, 0.8f, 0.7f, 1.f};
        f.state.material.ambient = {1.f, 1.f, 1.f, 1.f};
        f.state.light_count = 1;
        f.state.lights[0].diffuse = {1.f, 1.f, 1.f, 1.f};
        f.state.lights[0].direction[0] = 0.3f;
        f.state.lights[0].direction[2] = 0.9f;
        StageRecord& s = f.state.stages[0];
        s = StageRecord{};
        s.texture = &texture;
        s.color_op = top::modulate;
        s.alpha_op = top::modulate;
        s.alpha_arg2 = ta::diffuse;
        s.mag_filter = s.min_filter = filter_linear;
        s.mip_filter = mipmapped ? filter_linear : filter_none;
        StageRecord& second = f.state.stages[1];
        second = StageRecord{};
        if (multitexture) {
            second = s;
            second.color_op = top::add_smooth;
            second.color_arg1 = ta::texture | ta::complement;
            second.color_arg2 = ta::current;
            second.alpha_op = top::select_arg1;
            second.alpha_arg1 = ta::current;
        }
        f.state.alpha_test = general;
        f.state.alpha_func = cmp_always;
        f.state.stencil_enable = general;
        VertexStream vs{reinterpret_cast<const uint8_t*>(mesh.data()), mesh.size() * sizeof(MeshVertex),
                        sizeof(MeshVertex), 0x112};
        IndexStream is{reinterpret_cast<const uint8_t*>(indices.data()), indices.size() * 2, false};
        DrawRequest r;
        r.indexed = true;
        r.primitive_count = static_cast<uint32_t>(indices.size() / 3);
        ASSERT_TRUE(p.draw(f.state, f.target, vs, &is, r));
        f.state.lighting = false;
        f.state.alpha_blend = true;
        f.state.src_blend = blend_src_alpha;
        f.state.dest_blend = blend_inv_src_alpha;
        f.state.z_write = false;
        ASSERT_TRUE(f.draw(p, prim_tri_list, quads, static_cast<uint32_t>(quads.size() / 3), tl_fvf));
    }
};

TEST(SoftPaths, FastPathsDrawWhatTheGeneralPathDraws) {
    Scene scene;
    // D24S8 takes the SIMD path, D16 the one-pixel integer path; mipmapped, the SIMD path picks one level of
    // detail per group of pixels where the general path picks one per pixel.
    // A second stage keeps the SIMD path.
    for (const auto& [depth, mipmapped, multitexture] :
         {std::tuple{D3DFMT_D24S8, false, false}, std::tuple{D3DFMT_D16, false, false},
          std::tuple{D3DFMT_D24S8, true, false}, std::tuple{D3DFMT_D24S8, true, true}}) {
        Pipeline p(1);
        Frame fast(96, 80, 0xff102030, depth), general(96, 80, 0xff102030, depth);
        fast.state.cull_mode = general.state.cull_mode = cull_ccw;
        scene.render(fast, p, false, mipmapped, multitexture);
        scene.render(general, p, true, mipmapped, multitexture);
        EXPECT_FALSE(p.pixel_context().fast || p.pixel_context().simd);
        int covered = 0;
        for (size_t i = 0; i < fast.pixels.size(); ++i) {
            covered += fast.pixels[i] != 0xff102030u;
            for (int shift : {0, 8, 16, 24}) {
                const int d = std::abs(channel(fast.pixels[i], shift) - channel(general.pixels[i], shift));
                EXPECT_LE(d, mipmapped ? 6 : 3) << "pixel " << i << " shift " << shift;
            }
        }
        EXPECT_GT(covered, 96 * 80 / 2);
        EXPECT_EQ(fast.depth, general.depth);
    }
}

TEST(SoftPaths, WorkersDrawTheSameFrameAsOneThread) {
    Scene scene;
    Frame one(96, 80, 0, D3DFMT_D24S8), two(96, 80, 0, D3DFMT_D24S8);
    Pipeline single(1), pair(2);
    for (int round = 0; round < 3; ++round) {
        scene.render(one, single, round == 1);
        scene.render(two, pair, round == 1);
    }
    EXPECT_EQ(one.pixels, two.pixels);
    EXPECT_EQ(one.depth, two.depth);
}

TEST(SoftPaths, LargeDrawsSplitAcrossWorkersKeepPrimitiveOrder) {
    // Thousands of overlapping triangles, each fully opaque: the last one drawn must win everywhere.
    std::vector<TlVertex> v;
    for (int i = 0; i < 6000; ++i) {
        const uint32_t color = 0xff000000u | static_cast<uint32_t>(i);
        const float o = static_cast<float>(i % 7);
        for (const TlVertex& t : tl_quad(o, o, 10 + o, 10 + o, color))
            v.push_back(t);
    }
    Frame a(20, 20), b(20, 20);
    Pipeline single(1), pair(2);
    ASSERT_TRUE(a.draw(single, prim_tri_list, v, 12000, tl_fvf));
    ASSERT_TRUE(b.draw(pair, prim_tri_list, v, 12000, tl_fvf));
    EXPECT_EQ(a.pixels, b.pixels);
    EXPECT_EQ(a.at(8, 8), 0xff000000u | 5999u); // 5999 % 7 = 0: the last quad covers (0..9)
}

// Pre-transformed vertices with two texture coordinate sets, for two-stage states.
struct Tl2Vertex {
    float x, y, z, rhw;
    uint32_t color;
    float u0, v0, u1, v1;
};
constexpr uint32_t tl2_fvf = 0x244;

// A 16 x 16 texture of random texels (one id per test texture).
struct RandomTexture {
    std::vector<uint32_t> texels = std::vector<uint32_t>(16 * 16);
    TextureView view;
    RandomTexture(std::mt19937& rng, uint64_t id, D3DFORMAT format) {
        for (uint32_t& t : texels)
            t = static_cast<uint32_t>(rng());
        view.id = id;
        view.version = 1;
        view.format = format;
        view.level_count = 1;
        view.levels[0] = {reinterpret_cast<const uint8_t*>(texels.data()), 16 * 4, 16, 16};
    }
};

// Texture operations, arguments and blend states of the kind scenes use, at random.
struct RandomState {
    std::mt19937& rng;
    uint32_t pick(std::initializer_list<uint32_t> values) { return values.begin()[rng() % values.size()]; }
    uint32_t op() {
        return pick({top::select_arg1, top::select_arg2, top::modulate, top::modulate2x, top::modulate4x,
                     top::add, top::add_signed, top::add_signed2x, top::subtract, top::add_smooth,
                     top::blend_diffuse_alpha, top::blend_texture_alpha, top::blend_factor_alpha,
                     top::blend_texture_alpha_pm, top::blend_current_alpha, top::modulate_alpha_add_color,
                     top::modulate_inv_alpha_add_color, top::multiply_add, top::lerp});
    }
    uint32_t arg() {
        uint32_t a = pick({ta::diffuse, ta::current, ta::texture, ta::texture, ta::tfactor, ta::temp});
        if (rng() % 5 == 0) a |= ta::complement;
        if (rng() % 5 == 0) a |= ta::alpha_replicate;
        return a;
    }
    void stage(StageRecord& s, const TextureView* texture) {
        s.texture = texture;
        s.color_op = op();
        s.color_arg0 = arg(), s.color_arg1 = arg(), s.color_arg2 = arg();
        s.alpha_op = rng() % 6 == 0 ? top::disable : op();
        s.alpha_arg0 = arg(), s.alpha_arg1 = arg(), s.alpha_arg2 = arg();
        s.result_arg = rng() % 5 == 0 ? ta::temp : ta::current;
        s.mag_filter = s.min_filter = rng() % 2 ? filter_linear : filter_point;
    }
    void fill(PipelineState& st, const TextureView* t0, const TextureView* t1) {
        const int stages = static_cast<int>(rng() % 3);
        for (int i = 0; i < max_stages; ++i)
            st.stages[i] = StageRecord{};
        if (stages == 0) { // diffuse alone
            st.stages[0].color_op = top::select_arg2, st.stages[0].color_arg2 = ta::diffuse;
            st.stages[0].alpha_op = top::select_arg2, st.stages[0].alpha_arg2 = ta::diffuse;
        }
        if (stages >= 1) stage(st.stages[0], t0);
        if (stages >= 2) stage(st.stages[1], rng() % 4 ? t1 : nullptr);
        st.stages[1].texcoord_index = 1;
        st.texture_factor = static_cast<uint32_t>(rng());
        st.alpha_blend = rng() % 3 != 0;
        st.src_blend = 1 + static_cast<uint32_t>(rng() % 13);
        st.dest_blend = 1 + static_cast<uint32_t>(rng() % 13);
        st.blend_op = 1 + static_cast<uint32_t>(rng() % 5);
        st.color_write = rng() % 4 ? 0xfu : static_cast<uint32_t>(rng() % 16);
        st.z_func = 1 + static_cast<uint32_t>(rng() % 8);
        st.z_write = rng() % 2;
    }
};

// Draws tris over random colour and depth with state, once as set and once with an always-passing stencil
// test that only the general path draws; the two frames must agree.
void expect_paths_agree(PipelineState state, const std::vector<Tl2Vertex>& tris, std::mt19937& rng,
                        D3DFORMAT target_format, int tolerance) {
    Pipeline p(1);
    Frame fast(40, 30, 0, D3DFMT_D24S8);
    fast.target.color.format = target_format;
    for (size_t i = 0; i < fast.pixels.size(); ++i) {
        fast.pixels[i] = static_cast<uint32_t>(rng());
        fast.depth[i] = static_cast<uint32_t>(rng()) | 0x80000000u;
    }
    Frame general = fast;
    general.target.color.data = reinterpret_cast<uint8_t*>(general.pixels.data());
    general.target.depth.data = reinterpret_cast<uint8_t*>(general.depth.data());
    fast.state = state;
    general.state = state;
    general.state.stencil_enable = true;
    ASSERT_TRUE(fast.draw(p, prim_tri_list, tris, static_cast<uint32_t>(tris.size() / 3), tl2_fvf))
        << p.last_error();
    ASSERT_TRUE(p.pixel_context().simd) << "the state should take the SIMD path";
    ASSERT_TRUE(general.draw(p, prim_tri_list, tris, static_cast<uint32_t>(tris.size() / 3), tl2_fvf));
    ASSERT_FALSE(p.pixel_context().simd);
    int worst = 0;
    for (size_t i = 0; i < fast.pixels.size(); ++i)
        for (int shift : {0, 8, 16, 24}) {
            if (shift == 24 && target_format == D3DFMT_X8R8G8B8) continue;
            worst =
                std::max(worst, std::abs(channel(fast.pixels[i], shift) - channel(general.pixels[i], shift)));
        }
    EXPECT_LE(worst, tolerance);
    // Depth steps a group of pixels at a time, so its rounding differs in the last bits of 24.
    uint32_t worst_depth = 0;
    for (size_t i = 0; i < fast.depth.size(); ++i) {
        const uint32_t a = fast.depth[i] >> 8, b = general.depth[i] >> 8;
        worst_depth = std::max(worst_depth, a > b ? a - b : b - a);
        EXPECT_EQ(fast.depth[i] & 0xff, general.depth[i] & 0xff);
    }
    EXPECT_LE(worst_depth, 32u);
}

// Triangles across the frame with colours, alphas and depths varying per vertex, under perspective.
std::vector<Tl2Vertex> random_triangles(std::mt19937& rng, int count) {
    std::uniform_real_distribution<float> x(-5.f, 45.f), y(-5.f, 35.f), z(0.f, 1.f), uv(-2.f, 2.f),
        rhw(0.3f, 2.f);
    std::vector<Tl2Vertex> v;
    for (int i = 0; i < 3 * count; ++i)
        v.push_back({x(rng), y(rng), z(rng), rhw(rng), static_cast<uint32_t>(rng()), uv(rng), uv(rng),
                     uv(rng), uv(rng)});
    return v;
}

// Draws with the SSE2 build of the SIMD path while it lives, and with the widest build again after.
struct BaselineBuild {
    BaselineBuild() { set_simd_build(SimdBuild::baseline); }
    ~BaselineBuild() { set_simd_build(SimdBuild::best); }
    BaselineBuild(const BaselineBuild&) = delete;
    BaselineBuild& operator=(const BaselineBuild&) = delete;
};

// Each build of the SIMD path (the widest the processor runs, and SSE2) against the general path.
class SoftSimdBuilds : public testing::TestWithParam<bool> {
protected:
    void SetUp() override {
        if (GetParam()) baseline_.emplace();
    }
    std::optional<BaselineBuild> baseline_;
};

INSTANTIATE_TEST_SUITE_P(Builds, SoftSimdBuilds, testing::Bool(),
                         [](const auto& info) { return info.param ? "Sse2" : "Widest"; });

TEST_P(SoftSimdBuilds, AgreesWithTheGeneralPathOnRandomStates) {
    std::mt19937 rng(20261208);
    RandomTexture t0(rng, 11, D3DFMT_A8R8G8B8), t1(rng, 12, D3DFMT_X8R8G8B8);
    RandomState random{rng};
    for (int round = 0; round < 300; ++round) {
        PipelineState state;
        state.lighting = false;
        state.cull_mode = cull_none;
        state.z_enable = true;
        state.viewport = {0, 0, 40, 30, 0.f, 1.f};
        random.fill(state, &t0.view, &t1.view);
        SCOPED_TRACE(testing::Message() << "round " << round);
        const auto tris = random_triangles(rng, 4);
        // Operations that scale by two or four carry the rounding of their inputs (bytes of diffuse, 7-bit
        // against 8-bit bilinear weights) twice or four times.
        expect_paths_agree(state, tris, rng, round % 3 ? D3DFMT_A8R8G8B8 : D3DFMT_X8R8G8B8, 6);
        if (HasFatalFailure()) return;
    }
}

TEST_P(SoftSimdBuilds, SamplesUnrotatedTexturesAtEveryScaleAsTheGeneralPathDoes) {
    // Rows of quads with the texture magnified, at one texel per pixel and minified (the wide build reads
    // the texels of most of these rows from a window of the texture row rather than texel by texel),
    // mirrored, crossing the wrap seam and reaching the texture's last columns, on two stages.
    std::mt19937 rng(99);
    std::vector<uint32_t> texels(64 * 64);
    for (uint32_t& t : texels)
        t = static_cast<uint32_t>(rng());
    TextureView texture;
    texture.id = 21;
    texture.version = 1;
    texture.format = D3DFMT_A8R8G8B8;
    texture.level_count = 1;
    texture.levels[0] = {reinterpret_cast<const uint8_t*>(texels.data()), 64 * 4, 64, 64};
    const RandomTexture light(rng, 22, D3DFMT_X8R8G8B8);
    struct Row {
        float u0, u1; // across the frame's 40 pixels
        float v;
    };
    const Row rows[] = {{0.1f, 0.4f, 0.3f},   {0.f, 0.625f, 0.55f},  {0.05f, 1.1f, 0.2f},
                        {0.2f, 2.2f, 0.7f},   {0.9f, 0.2f, 0.45f},   {0.8f, 1.3f, 0.05f},
                        {0.61f, 0.99f, 0.9f}, {-0.37f, 0.12f, 0.6f}, {0.3f, 0.3f, 0.35f},
                        {0.74f, 1.005f, 0.8f}};
    std::vector<Tl2Vertex> tris;
    for (int i = 0; i < 10; ++i) {
        const Row& r = rows[i];
        const float y0 = static_cast<float>(3 * i), y1 = y0 + 3.f, dv = 0.01f;
        const uint32_t color = 0x80ffffffu - static_cast<uint32_t>(i) * 0x0c0a0806u;
        const Tl2Vertex a{0.f, y0, 0.3f, 1.f, color, r.u0, r.v, r.u0, r.v},
            b{40.f, y0, 0.3f, 1.f, color, r.u1, r.v, r.u1, r.v},
            c{0.f, y1, 0.3f, 1.f, color, r.u0, r.v + dv, r.u0, r.v + dv},
            d{40.f, y1, 0.3f, 1.f, color, r.u1, r.v + dv, r.u1, r.v + dv};
        for (const Tl2Vertex& v : {a, b, c, c, b, d})
            tris.push_back(v);
    }
    for (const bool second_stage : {false, true}) {
        PipelineState state;
        state.lighting = false;
        state.cull_mode = cull_none;
        state.z_enable = true;
        state.viewport = {0, 0, 40, 30, 0.f, 1.f};
        StageRecord& s = state.stages[0];
        s.texture = &texture;
        s.color_op = s.alpha_op = top::modulate;
        s.mag_filter = s.min_filter = filter_linear;
        if (second_stage) {
            StageRecord& t = state.stages[1];
            t.texture = &light.view;
            t.texcoord_index = 1;
            t.color_op = top::add;
            t.alpha_op = top::select_arg2;
            t.mag_filter = t.min_filter = filter_linear;
        }
        state.alpha_blend = true;
        state.src_blend = blend_src_alpha;
        state.dest_blend = blend_inv_src_alpha;
        SCOPED_TRACE(testing::Message() << "second stage " << second_stage);
        expect_paths_agree(state, tris, rng, D3DFMT_A8R8G8B8, 3);
    }
}

TEST(SoftPaths, SimdAlphaTestKeepsWhatTheGeneralPathKeeps) {
    // Flat alphas at and around the reference, every comparison: passing pixels are drawn and write depth.
    std::mt19937 rng(7);
    for (uint32_t func = cmp_never; func <= cmp_always; ++func) {
        std::vector<Tl2Vertex> tris;
        for (uint32_t k = 0; k < 5; ++k) {
            const uint32_t color = ((0x7e + k) << 24) | 0x00406080u;
            const float x0 = static_cast<float>(k * 8), z = 0.1f * static_cast<float>(k + 1);
            for (const auto& [x, y] :
                 {std::pair{x0, 0.f}, {x0 + 8, 0.f}, {x0, 30.f}, {x0, 30.f}, {x0 + 8, 0.f}, {x0 + 8, 30.f}})
                tris.push_back({x, y, z, 1.f, color, 0, 0, 0, 0});
        }
        PipelineState state;
        state.lighting = false;
        state.cull_mode = cull_none;
        state.z_enable = true;
        state.viewport = {0, 0, 40, 30, 0.f, 1.f};
        state.stages[0].color_op = top::select_arg2, state.stages[0].color_arg2 = ta::diffuse;
        state.stages[0].alpha_op = top::select_arg2, state.stages[0].alpha_arg2 = ta::diffuse;
        state.alpha_test = true;
        state.alpha_func = func;
        state.alpha_ref = 0x80;
        SCOPED_TRACE(testing::Message() << "function " << func);
        expect_paths_agree(state, tris, rng, D3DFMT_A8R8G8B8, 0);
    }
}

TEST(SoftPaths, SimdPathLeavesAnUntestedDepthBufferAlone) {
    // A 16-bit depth buffer of exactly its size, depth off: the SIMD path draws without reading or
    // writing it (reading it as 32-bit words would run past its end on the last row).
    Frame f(20, 6, 0xff000000);
    std::vector<uint16_t> depth(20 * 6, 0x1234);
    f.target.depth = {reinterpret_cast<uint8_t*>(depth.data()), 20 * 2, 20, 6, D3DFMT_D16};
    f.state.z_enable = false;
    Pipeline p(1);
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 20, 6, 0xff336699), 2, tl_fvf));
    EXPECT_TRUE(p.pixel_context().simd);
    EXPECT_EQ(f.at(19, 5), 0xff336699u);
    EXPECT_EQ(std::count(depth.begin(), depth.end(), 0x1234), 20 * 6);
}

} // namespace
} // namespace qcore::test
