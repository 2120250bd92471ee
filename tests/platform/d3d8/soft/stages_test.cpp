// Each pipeline stage on its own: vertex layouts, transform and texture coordinates, lighting, clipping,
// sampling formats and address modes, the stage operations and the stencil operations.
#include "soft_test_support.h"

#include <qcore/platform/d3d8/soft/texture_stages.h>

#include <gtest/gtest.h>

#include <cmath>

namespace qcore::test {
namespace {

TEST(SoftStages, VertexLayoutsFollowThePublishedOrder) {
    struct Case {
        uint32_t fvf, size;
        int normal, psize, diffuse, specular, tex0;
    };
    const Case cases[] = {
        {0x002, 12, -1, -1, -1, -1, -1},
        {0x042, 16, -1, -1, 12, -1, -1},
        {0x144, 28, -1, -1, 16, -1, 20},
        {0x112, 32, 12, -1, -1, -1, 24},
        {0x1f2, 44, 12, 24, 28, 32, 36},
        {0x00a | 0x100, 32, -1, -1, -1, -1, 24}, // XYZB3: three blend weights
        {0x402 | (1u << 16) | (3u << 18), 12 + 12 + 4 + 8 + 8, -1, -1, -1, -1, 12},
    };
    for (const Case& c : cases) {
        const FvfLayout l = decode_fvf(c.fvf);
        ASSERT_TRUE(l.valid) << std::hex << c.fvf;
        EXPECT_EQ(l.size, c.size) << std::hex << c.fvf;
        EXPECT_EQ(l.normal, c.normal) << std::hex << c.fvf;
        EXPECT_EQ(l.point_size, c.psize) << std::hex << c.fvf;
        EXPECT_EQ(l.diffuse, c.diffuse) << std::hex << c.fvf;
        EXPECT_EQ(l.specular, c.specular) << std::hex << c.fvf;
        if (c.tex0 >= 0) {
            EXPECT_EQ(l.tex[0], c.tex0) << std::hex << c.fvf;
        }
    }
    EXPECT_FALSE(decode_fvf(0x001).valid);         // reserved bit
    EXPECT_FALSE(decode_fvf(0x000).valid);         // no position
    EXPECT_FALSE(decode_fvf(0x004 | 0x010).valid); // pre-transformed with a normal
    EXPECT_FALSE(decode_fvf(0x002 | 0x900).valid); // nine texture sets
}

TEST(SoftStages, GeneratedCoordinatesAndTextureTransforms) {
    PipelineState st;
    const float view[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 5, 1}; // camera 5 units back
    std::copy(view, view + 16, st.view);
    st.lighting = false;
    st.stages[0].texcoord_index = 0x20000; // camera-space position
    st.stages[0].transform_flags = 2;      // COUNT2
    const float scale[16] = {0.5f, 0, 0, 0, 0, 0.25f, 0, 0, 0, 0, 1, 0, 0.1f, 0.2f, 0, 1};
    std::copy(scale, scale + 16, st.stages[0].texture_matrix);
    st.stages[1].texcoord_index = 1; // second set, 2D, translated through the third row
    st.stages[1].transform_flags = 2;
    const float shift[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0.5f, 0.25f, 1, 0, 0, 0, 0, 1};
    std::copy(shift, shift + 16, st.stages[1].texture_matrix);
    AttributeLayout attributes;
    attributes.stage_uv[0] = 4;
    attributes.stage_uv[1] = 6;
    attributes.count = 8;
    const FvfLayout layout = decode_fvf(0x202); // XYZ, two texture sets
    VertexProcessor vp;
    const char* reason = nullptr;
    ASSERT_TRUE(vp.prepare(st, layout, attributes, &reason));
    const float vertex[7] = {2.f, 4.f, 1.f, 9.f, 9.f, 0.3f, 0.7f};
    ClipVertex out;
    vp.process(reinterpret_cast<const uint8_t*>(vertex), out);
    EXPECT_FLOAT_EQ(out.attr[4], 2.f * 0.5f + 0.1f);  // camera x 2
    EXPECT_FLOAT_EQ(out.attr[5], 4.f * 0.25f + 0.2f); // camera y 4
    EXPECT_FLOAT_EQ(out.attr[6], 0.3f + 0.5f);
    EXPECT_FLOAT_EQ(out.attr[7], 0.7f + 0.25f);
    EXPECT_FLOAT_EQ(out.pos[2], 6.f);  // z through world-view (identity projection)
    EXPECT_FLOAT_EQ(out.attr[0], 1.f); // no diffuse: opaque white
}

TEST(SoftStages, PointAndSpotLightsAttenuateAndStopAtTheirRange) {
    PipelineState st;
    st.material.diffuse = {1, 1, 1, 1};
    st.light_count = 1;
    LightRecord& l = st.lights[0];
    l.type = light_point;
    l.diffuse = {1, 1, 1, 1};
    l.position[2] = -2.f; // 2 units in front of a surface at the origin facing -z
    l.range = 3.f;
    l.attenuation0 = 0.f;
    l.attenuation1 = 0.5f; // 1 / (0.5 * 2) = 1
    l.attenuation2 = 0.f;
    Lighting lighting;
    lighting.prepare(st);
    const float normal[3] = {0, 0, -1};
    const float at_origin[3] = {0, 0, 0}, sideways[3] = {2, 0, 0};
    Rgba d, s;
    lighting.light(at_origin, normal, nullptr, nullptr, d, s);
    EXPECT_NEAR(d.r, 1.f, 1e-5f);
    lighting.light(sideways, normal, nullptr, nullptr, d, s); // distance sqrt(8) < 3, angle 45 degrees
    EXPECT_NEAR(d.r, (1.f / (0.5f * std::sqrt(8.f))) * (2.f / std::sqrt(8.f)), 1e-5f);
    const float far_away[3] = {4, 0, 0};
    lighting.light(far_away, normal, nullptr, nullptr, d, s);
    EXPECT_EQ(d.r, 0.f);

    l.type = light_spot;
    l.direction[2] = 1.f;
    l.theta = 0.5f;
    l.phi = 1.0f;
    l.falloff = 1.f;
    l.range = 100.f;
    lighting.prepare(st);
    lighting.light(at_origin, normal, nullptr, nullptr, d, s);
    EXPECT_NEAR(d.r, 1.f, 1e-5f);                             // inside the inner cone
    lighting.light(sideways, normal, nullptr, nullptr, d, s); // 45 degrees: outside the outer cone
    EXPECT_EQ(d.r, 0.f);
}

TEST(SoftStages, ClipperCutsAtTheNearPlaneAndKeepsAttributesLinear) {
    Clipper c;
    c.set_guard_band(2.f, 2.f);
    ClipVertex a{}, b{}, d{};
    const float pa[4] = {0, 0, -1, 1}, pb[4] = {0.5f, 0, 1, 1}, pd[4] = {0, 0.5f, 1, 1};
    std::copy(pa, pa + 4, a.pos), std::copy(pb, pb + 4, b.pos), std::copy(pd, pd + 4, d.pos);
    a.attr[0] = 0.f, b.attr[0] = 1.f, d.attr[0] = 1.f;
    const ClipVertex* tri[3] = {&a, &b, &d};
    ClipVertex out[max_clip_vertices];
    const int n = c.clip(tri, 3, 1, out);
    ASSERT_EQ(n, 4); // one corner cut off: a quadrilateral
    for (int i = 0; i < n; ++i) {
        EXPECT_GE(out[i].pos[2], -1e-6f);
        if (std::fabs(out[i].pos[2]) < 1e-6f) {
            EXPECT_NEAR(out[i].attr[0], 0.5f, 1e-6f); // halfway along z is halfway in value
        }
    }
    const float all_behind[4] = {0, 0, -1, 1};
    std::copy(all_behind, all_behind + 4, b.pos), std::copy(all_behind, all_behind + 4, d.pos);
    EXPECT_EQ(c.clip(tri, 3, 1, out), 0);
    const float wide[4] = {10, 0, 0.5f, 1}; // beyond the guard band of 2
    std::copy(wide, wide + 4, b.pos);
    ClipVertex la, lb;
    a.pos[2] = 0.5f;
    ASSERT_TRUE(c.clip_line(a, b, 1, la, lb));
    EXPECT_NEAR(lb.pos[0], 2.f, 1e-5f);
}

TEST(SoftStages, TextureFormatsReadAsArgb) {
    struct Case {
        D3DFORMAT format;
        uint32_t texel;
        uint32_t argb;
    };
    const Case cases[] = {
        {D3DFMT_R5G6B5, 0xf800, 0xffff0000},
        {D3DFMT_R5G6B5, 0x07e0, 0xff00ff00},
        {D3DFMT_X1R5G5B5, 0x001f, 0xff0000ff},
        {D3DFMT_A1R5G5B5, 0x7c00, 0x00ff0000},
        {D3DFMT_A4R4G4B4, 0x8f00, 0x88ff0000},
        {D3DFMT_R3G3B2, 0xe0, 0xffff0000},
        {D3DFMT_A8, 0x80, 0x80000000},
        {D3DFMT_L8, 0x40, 0xff404040},
        {D3DFMT_A8L8, 0x2040, 0x20404040},
        {D3DFMT_A4L4, 0xf8, 0xff888888},
        {D3DFMT_X8R8G8B8, 0x00123456, 0xff123456},
        {D3DFMT_V8U8, 0x807f, 0xffff00ff},
    };
    for (const Case& c : cases) {
        uint32_t out = 0;
        const TextureLevelView level{reinterpret_cast<const uint8_t*>(&c.texel), 4, 1, 1};
        ASSERT_TRUE(convert_level(c.format, level, &out)) << c.format;
        EXPECT_EQ(out, c.argb) << c.format << " " << std::hex << c.texel;
    }
    uint32_t out = 0;
    EXPECT_FALSE(convert_level(D3DFMT_P8, {reinterpret_cast<const uint8_t*>(&out), 1, 1, 1}, &out));
}

TEST(SoftStages, DxtBlocksDecodeToTheirPalette) {
    // DXT1: colour 0 pure red, colour 1 pure blue, every texel index 1 except the first (0).
    const uint8_t dxt1[8] = {0x00, 0xf8, 0x1f, 0x00, 0x54, 0x55, 0x55, 0x55};
    std::vector<uint32_t> out(16);
    ASSERT_TRUE(convert_level(D3DFMT_DXT1, {dxt1, 8, 4, 4}, out.data()));
    EXPECT_EQ(out[0], 0xffff0000u);
    EXPECT_EQ(out[1], 0xff0000ffu);
    EXPECT_EQ(out[15], 0xff0000ffu);
    // DXT3: explicit 4-bit alpha 0x8 on every texel, colour block as above; a 2x2 level still has one block.
    uint8_t dxt3[16];
    std::fill(dxt3, dxt3 + 8, static_cast<uint8_t>(0x88));
    std::copy(dxt1, dxt1 + 8, dxt3 + 8);
    std::vector<uint32_t> small(4);
    ASSERT_TRUE(convert_level(D3DFMT_DXT3, {dxt3, 16, 2, 2}, small.data()));
    EXPECT_EQ(small[0], 0x88ff0000u);
    EXPECT_EQ(small[1], 0x880000ffu);
}

TEST(SoftStages, AddressModesOnAFourTexelRow) {
    const uint32_t row[4] = {0xff000000, 0xff000001, 0xff000002, 0xff000003};
    StageSampler s;
    s.levels[0] = {reinterpret_cast<const uint8_t*>(row), 16, 4, 1, 0};
    s.level_count = 1;
    s.border = 0x12345678;
    auto at = [&](uint32_t mode, float u) {
        s.address_u = s.address_v = mode;
        return sample(s, u, 0.5f, 0.f) & 0xff;
    };
    // Texel i covers u in [i/4, (i+1)/4).
    EXPECT_EQ(at(address_wrap, 1.1f), 0u);
    EXPECT_EQ(at(address_wrap, -0.1f), 3u);
    EXPECT_EQ(at(address_mirror, 1.1f), 3u);
    EXPECT_EQ(at(address_mirror, 1.9f), 0u);
    EXPECT_EQ(at(address_mirror, -0.1f), 0u);
    EXPECT_EQ(at(address_clamp, 7.f), 3u);
    EXPECT_EQ(at(address_clamp, -7.f), 0u);
    EXPECT_EQ(at(address_border, 1.1f), 0x78u);
    EXPECT_EQ(at(address_border, 0.6f), 2u);
}

TEST(SoftStages, StageOperations) {
    const Rgba diffuse{0.5f, 0.25f, 1.f, 0.5f}, texture{0.5f, 1.f, 0.f, 0.25f};
    const Rgba textures[1] = {texture};
    StageInputs in{diffuse, {0.1f, 0.2f, 0.3f, 0.f}, {0.f, 0.f, 0.f, 0.75f}, textures};
    struct Case {
        uint32_t op, arg1, arg2;
        float r, g, b;
    };
    const Case cases[] = {
        {top::select_arg1, ta::texture, ta::diffuse, 0.5f, 1.f, 0.f},
        {top::select_arg2, ta::texture, ta::diffuse, 0.5f, 0.25f, 1.f},
        {top::modulate, ta::texture, ta::diffuse, 0.25f, 0.25f, 0.f},
        {top::modulate2x, ta::texture, ta::diffuse, 0.5f, 0.5f, 0.f},
        {top::modulate4x, ta::texture, ta::diffuse, 1.f, 1.f, 0.f},
        {top::add, ta::texture, ta::diffuse, 1.f, 1.f, 1.f},
        {top::add_signed, ta::texture, ta::diffuse, 0.5f, 0.75f, 0.5f},
        {top::subtract, ta::texture, ta::diffuse, 0.f, 0.75f, 0.f},
        {top::blend_diffuse_alpha, ta::texture, ta::diffuse, 0.5f, 0.625f, 0.5f},
        {top::blend_texture_alpha, ta::texture, ta::diffuse, 0.5f, 0.4375f, 0.75f},
        {top::blend_factor_alpha, ta::texture, ta::diffuse, 0.5f, 0.8125f, 0.25f},
        {top::blend_current_alpha, ta::texture, ta::diffuse, 0.5f, 0.625f, 0.5f},
        {top::select_arg1, ta::texture | ta::complement, ta::diffuse, 0.5f, 0.f, 1.f},
        {top::select_arg1, ta::texture | ta::alpha_replicate, ta::diffuse, 0.25f, 0.25f, 0.25f},
        {top::select_arg1, ta::specular, ta::diffuse, 0.1f, 0.2f, 0.3f},
        {top::select_arg1, ta::tfactor | ta::alpha_replicate, ta::diffuse, 0.75f, 0.75f, 0.75f},
    };
    for (const Case& c : cases) {
        StageProgram p{c.op,
                       {ta::current, c.arg1, c.arg2},
                       top::select_arg1,
                       {ta::current, ta::texture, ta::current},
                       false,
                       0};
        const Rgba out = run_stages(&p, 1, in);
        EXPECT_NEAR(out.r, c.r, 1e-6f) << c.op << " " << c.arg1;
        EXPECT_NEAR(out.g, c.g, 1e-6f) << c.op << " " << c.arg1;
        EXPECT_NEAR(out.b, c.b, 1e-6f) << c.op << " " << c.arg1;
        EXPECT_NEAR(out.a, 0.25f, 1e-6f);
    }
    // A second stage reads the first one's result through CURRENT; TEMP keeps a result aside.
    StageProgram two[2] = {
        {top::select_arg1, {0, ta::texture, 0}, top::select_arg1, {0, ta::diffuse, 0}, true, 0},
        {top::add, {0, ta::temp, ta::current}, top::select_arg1, {0, ta::temp, 0}, false, -1}};
    const Rgba out = run_stages(two, 2, in);
    EXPECT_NEAR(out.g, 1.f, 1e-6f);  // 1 + 0.25 saturated
    EXPECT_NEAR(out.r, 1.f, 1e-6f);  // 0.5 + 0.5
    EXPECT_NEAR(out.a, 0.5f, 1e-6f); // temp alpha = diffuse alpha
}

TEST(SoftStages, StencilOperationsWrapOrSaturate) {
    EXPECT_EQ(stencil_operation(stencil_keep, 7, 3), 7);
    EXPECT_EQ(stencil_operation(stencil_zero, 7, 3), 0);
    EXPECT_EQ(stencil_operation(stencil_replace, 7, 3), 3);
    EXPECT_EQ(stencil_operation(stencil_incr_sat, 255, 3), 255);
    EXPECT_EQ(stencil_operation(stencil_decr_sat, 0, 3), 0);
    EXPECT_EQ(stencil_operation(stencil_incr, 255, 3), 0);
    EXPECT_EQ(stencil_operation(stencil_decr, 0, 3), 255);
    EXPECT_EQ(stencil_operation(stencil_invert, 0x0f, 3), 0xf0);
}

} // namespace
} // namespace qcore::test
