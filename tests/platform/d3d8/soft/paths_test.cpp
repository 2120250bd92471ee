// The integer and four-pixel shading paths against the general one, and drawing on several workers
// against drawing on one.
#include "soft_test_support.h"

#include <gtest/gtest.h>

#include <cmath>

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

    // general: a state that takes the general path and draws the same pixels (alpha test that passes all).
    void render(Frame& f, Pipeline& p, bool general, bool mipmapped = false) {
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
        f.state.alpha_test = general;
        f.state.alpha_func = cmp_always;
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
    // D24S8 takes the four-pixel path, D16 the one-pixel integer path; mipmapped, the four-pixel path picks
    // one level of detail per four pixels where the general path picks one per pixel.
    for (const auto& [depth, mipmapped] :
         {std::pair{D3DFMT_D24S8, false}, std::pair{D3DFMT_D16, false}, std::pair{D3DFMT_D24S8, true}}) {
        Pipeline p(1);
        Frame fast(96, 80, 0xff102030, depth), general(96, 80, 0xff102030, depth);
        fast.state.cull_mode = general.state.cull_mode = cull_ccw;
        scene.render(fast, p, false, mipmapped);
        scene.render(general, p, true, mipmapped);
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

} // namespace
} // namespace qcore::test
