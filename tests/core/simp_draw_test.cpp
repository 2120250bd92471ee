#include <qcore/core/simp_draw.h>
#include <qcore/platform/d3d8/device_hooks.h>

#include "core/draw_fixture.h"

#include <bit>

namespace {

using qcore::DeviceCall;

DWORD bits(float f) {
    return std::bit_cast<DWORD>(f);
}

class SimpDraw : public qcore::test::DrawFixture {
protected:
    // An opaque quad of the given colour at depth z covering [x0, x1) by [y0, y1).
    void quad(float x0, float y0, float x1, float y1, float z, DWORD color) {
        const VER_RHW_DIF v[4] = {{x0 - 0.5f, y0 - 0.5f, z, 1, color},
                                  {x1 - 0.5f, y0 - 0.5f, z, 1, color},
                                  {x0 - 0.5f, y1 - 0.5f, z, 1, color},
                                  {x1 - 0.5f, y1 - 0.5f, z, 1, color}};
        dev->SetVertexShader(FVF_RHW_DIF);
        dev->DrawPrimitiveUP(D3DPT_TRIANGLESTRIP, 2, v, sizeof(VER_RHW_DIF));
    }
    void expect_states(const RSTATE& before, bool point_call) {
        for (int s = 7; s < 174; ++s) {
            if (s > 60 && s < 128) continue;
            const DWORD want = point_call && s == D3DRS_POINTSIZE ? bits(1.0f) : before.v[s];
            EXPECT_EQ(rs->get_rs(s), want) << "state " << s;
            DWORD on_device = 0;
            dev->GetRenderState(static_cast<D3DRENDERSTATETYPE>(s), &on_device);
            EXPECT_EQ(on_device, rs->get_rs(s)) << "state " << s;
        }
        D3DMATRIX world;
        dev->GetTransform(D3DTS_WORLD, &world);
        EXPECT_EQ(world._41, 0.0f);
        EXPECT_EQ(world._11, 1.0f);
    }
    gCore* c() { return &core; }
};

TEST_F(SimpDraw, EveryCallPutsItsStatesBack) {
    // Unusual starting values, so that a call that only restores what the Part lists would be caught.
    rs->set_rs(D3DRS_POINTSCALEENABLE, TRUE);
    rs->set_rs(D3DRS_POINTSIZE_MIN, bits(2.0f));
    rs->set_rs(D3DRS_POINTSCALE_A, bits(3.0f));
    rs->set_rs(D3DRS_POINTSCALE_B, bits(4.0f));
    rs->set_rs(D3DRS_POINTSCALE_C, bits(5.0f));
    rs->set_rs(D3DRS_ALPHABLENDENABLE, TRUE);
    rs->set_rs(D3DRS_ZBIAS, 3);
    rs->set_rs(D3DRS_LIGHTING, TRUE);
    MAT world;
    D3DXMatrixTranslation(&world, 1, 2, 0);
    const std::vector<VER_XYZ_DIF> v = {{1, 1, 0.5f, 0xFFFF0000}, {9, 9, 0.5f, 0xFF00FF00}};
    const std::vector<D3DXVECTOR2> p2 = {{3, 3}, {20, 3}};
    const std::vector<VEC> pts = {VEC(4, 4, 0.5f), VEC(8, 4, 0.5f)};
    for (D3DCMPFUNC f : {D3DCMP_LESSEQUAL, D3DCMP_GREATEREQUAL, D3DCMP_ALWAYS}) {
        RSTATE before;
        rs->capture_rs(&before);
        simp_draw::draw_3d_line(c(), VEC(0, 0, 0.5f), VEC(10, 0, 0.5f), 0xFFFFFFFF, 0xFFFFFFFF, &world, true,
                                false, f);
        expect_states(before, false);
        simp_draw::draw_3d_polyline(c(), pts, 0xFFFFFFFF, nullptr, false, true, f);
        expect_states(before, false);
        simp_draw::draw_3d_multi_line(c(), v, {0, 1}, &world, true, true, f);
        expect_states(before, false);
        simp_draw::draw_2d_polyline(c(), p2, 0xFFFFFFFF, false, false, f);
        expect_states(before, false);
        simp_draw::draw_rect(c(), CRect(2, 2, 9, 9), 0xFFFFFFFF, true, false, f);
        expect_states(before, false);
        simp_draw::draw_3d_points(c(), pts.data(), 2, 0xFFFFFFFF, &world, 3.0f, true, false, f);
        expect_states(before, true);
        rs->set_rs(D3DRS_POINTSIZE, before.v[D3DRS_POINTSIZE]);
        simp_draw::draw_2d_points(c(), p2, 0xFFFFFFFF, 2.0f, false, false, f);
        expect_states(before, true);
        rs->set_rs(D3DRS_POINTSIZE, before.v[D3DRS_POINTSIZE]);
    }
}

TEST_F(SimpDraw, TooFewVerticesDrawNothingAndTouchNothing) {
    qcore::reset_device_call_counts(dev);
    simp_draw::draw_3d_polyline(c(), std::vector<VER_XYZ_DIF>{{1, 1, 0, 0xFFFFFFFF}}, nullptr, true, true,
                                D3DCMP_LESSEQUAL);
    simp_draw::draw_3d_polyline(c(), std::vector<VEC>{}, 0, nullptr, true, true, D3DCMP_LESSEQUAL);
    simp_draw::draw_2d_polyline(c(), std::vector<D3DXVECTOR2>{{1, 1}}, 0, true, true, D3DCMP_LESSEQUAL);
    simp_draw::draw_3d_points(c(), static_cast<const VEC*>(nullptr), 3, 0, nullptr, 1, true, true,
                              D3DCMP_LESSEQUAL);
    simp_draw::draw_3d_points(c(), "abc", 1, 2, 0, nullptr, 1, true, true, D3DCMP_LESSEQUAL); // stride < 12
    simp_draw::draw_3d_multi_line(c(), {{1, 1, 0, 0}}, {}, nullptr, true, true, D3DCMP_LESSEQUAL);
    // An index past the vertices would read outside them.
    simp_draw::draw_3d_multi_line(c(), {{1, 1, 0, 0}, {2, 2, 0, 0}}, {0, 2}, nullptr, true, true,
                                  D3DCMP_LESSEQUAL);
    simp_draw::draw_rect(nullptr, CRect(0, 0, 5, 5), 0, true, true, D3DCMP_LESSEQUAL);
    EXPECT_EQ(qcore::device_call_total(dev), 0u);
}

TEST_F(SimpDraw, WorldLinesAndPointsWithDepthFunctions) {
    quad(0, 30, 64, 64, 0.3f, 0xFF0000FF); // a blue wall in front of depth 0.5 in the lower half
    const std::vector<VEC> line = {VEC(4, 10, 0.5f), VEC(60, 10, 0.5f)};
    simp_draw::draw_3d_polyline(c(), line, 0xFFFF0000, nullptr, true, true, D3DCMP_LESSEQUAL);
    MAT down;
    D3DXMatrixTranslation(&down, 0, 30, 0); // the same line moved behind the wall
    simp_draw::draw_3d_polyline(c(), line, 0xFF00FF00, &down, true, false, D3DCMP_LESSEQUAL);
    D3DXMatrixTranslation(&down, 0, 40, 0);
    simp_draw::draw_3d_polyline(c(), line, 0xFF00FF00, &down, false, false, D3DCMP_LESSEQUAL);
    auto f = frame();
    EXPECT_EQ(f[10 * 64 + 4], 0xFF0000u);
    EXPECT_EQ(f[10 * 64 + 59], 0xFF0000u);
    EXPECT_EQ(f[11 * 64 + 30], 0u);
    EXPECT_EQ(f[9 * 64 + 30], 0u);
    EXPECT_EQ(f[40 * 64 + 30], 0x0000FFu);  // hidden by the wall
    EXPECT_EQ(f[50 * 64 + 30], 0x00FF00u);  // no depth test
    EXPECT_NEAR(count(f, 0xFF0000), 56, 1); // one pixel per column, give or take the end point

    clear();
    quad(0, 0, 64, 64, 0.3f, 0xFF0000FF);
    const VEC p[2] = {VEC(16, 16, 0.5f), VEC(48, 48, 0.1f)};
    simp_draw::draw_3d_points(c(), p, 2, 0xFFFFFF00, nullptr, 4.0f, true, false, D3DCMP_LESSEQUAL);
    f = frame();
    EXPECT_EQ(count(f, 0xFFFF00), 16); // only the near point, 4 by 4 pixels
    EXPECT_EQ(f[48 * 64 + 48], 0xFFFF00u);
    EXPECT_EQ(f[16 * 64 + 16], 0x0000FFu);
    simp_draw::draw_3d_points(c(), p, 2, 0xFFFFFF00, nullptr, 2.0f, true, false, D3DCMP_GREATER);
    EXPECT_EQ(count(frame(), 0xFFFF00), 16 + 4); // the far point now passes; the near one fails
}

TEST_F(SimpDraw, AlphaBlendsOnlyForGreaterEqual) {
    // The host's stage states decide where alpha comes from; here the diffuse colour.
    rs->tss_color(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    rs->tss_alpha(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    quad(0, 0, 64, 64, 0.9f, 0xFF0000FF);
    const std::vector<VEC> line = {VEC(0, 5, 0.5f), VEC(64, 5, 0.5f)};
    simp_draw::draw_3d_polyline(c(), line, 0x80FF0000, nullptr, false, false, D3DCMP_GREATEREQUAL);
    MAT down;
    D3DXMatrixTranslation(&down, 0, 10, 0);
    simp_draw::draw_3d_polyline(c(), line, 0x80FF0000, &down, false, false, D3DCMP_LESSEQUAL);
    const uint32_t blended = pixel(20, 5), opaque = pixel(20, 15);
    EXPECT_EQ(opaque, 0xFF0000u);
    EXPECT_NEAR(static_cast<int>((blended >> 16) & 0xFF), 0x80, 2);
    EXPECT_NEAR(static_cast<int>(blended & 0xFF), 0x7F, 2);
}

TEST_F(SimpDraw, ScreenSpaceRectanglesPolylinesAndPoints) {
    simp_draw::draw_rect(c(), CRect(10, 10, 20, 16), 0xFFFFFFFF, false, false, D3DCMP_ALWAYS);
    auto f = frame();
    for (int x = 10; x <= 20; ++x) {
        EXPECT_EQ(f[10 * 64 + x], 0xFFFFFFu) << x;
        EXPECT_EQ(f[16 * 64 + x], 0xFFFFFFu) << x;
    }
    EXPECT_EQ(f[13 * 64 + 10], 0xFFFFFFu);
    EXPECT_EQ(f[13 * 64 + 20], 0xFFFFFFu);
    EXPECT_EQ(f[13 * 64 + 15], 0u);
    EXPECT_EQ(ink(f), CRect(10, 10, 21, 17));

    clear();
    simp_draw::draw_2d_points(c(), {{30.5f, 30.5f}}, 0xFF00FF00, 2.0f, false, false, D3DCMP_ALWAYS);
    f = frame();
    EXPECT_EQ(count(f, 0x00FF00), 4);
    const CRect dot = ink(f);
    EXPECT_EQ(dot.Width(), 2);
    EXPECT_EQ(dot.Height(), 2);
    EXPECT_NEAR(dot.CenterPoint().x, 31, 1) << dot.left;
    EXPECT_NEAR(dot.CenterPoint().y, 31, 1) << dot.top;
    simp_draw::draw_2d_polyline(c(), {{0, 50}, {40, 50}, {40, 60}}, 0xFFFF0000, false, false, D3DCMP_ALWAYS);
    EXPECT_NEAR(count(frame(), 0xFF0000), 50, 1);
}

TEST_F(SimpDraw, MultiLineIndexedAndPlain) {
    const std::vector<VER_XYZ_DIF> v = {{0, 2, 0.5f, 0xFFFF0000},
                                        {64, 2, 0.5f, 0xFFFF0000},
                                        {0, 8, 0.5f, 0xFFFF0000},
                                        {64, 8, 0.5f, 0xFFFF0000}};
    simp_draw::draw_3d_multi_line(c(), v, {}, nullptr, true, true, D3DCMP_LESSEQUAL);
    EXPECT_EQ(count(frame(), 0xFF0000), 128);
    clear();
    simp_draw::draw_3d_multi_line(c(), v, {2, 3, 2}, nullptr, true, true, D3DCMP_LESSEQUAL); // 1 line
    const auto f = frame();
    EXPECT_EQ(count(f, 0xFF0000), 64);
    EXPECT_EQ(f[8 * 64 + 5], 0xFF0000u);
}

TEST_F(SimpDraw, UiRectGridAndItsLimits) {
    CUiRect r;
    const std::vector<VER_RHW_DIF_TEX> corners = {
        {0, 0, 0, 1, 0xFF00FF00, 0, 0}, {40, 0, 0, 1, 0, 1, 0}, {0, 20, 0, 1, 0, 0, 1}};
    ASSERT_EQ(r.build_from_4corner(corners, 4, 2), 1);
    ASSERT_EQ(r.vertices.size(), 15u);
    ASSERT_EQ(r.indices.size(), 4u * 2 * 6);
    const VER_RHW_DIF_TEX& m = r.vertices[5 + 3]; // column 3, row 1
    EXPECT_FLOAT_EQ(m.x, 30);
    EXPECT_FLOAT_EQ(m.y, 10);
    EXPECT_FLOAT_EQ(m.u, 0.75f);
    EXPECT_FLOAT_EQ(m.v, 0.5f);
    EXPECT_FLOAT_EQ(m.z, CUiRect::s_def_z);
    EXPECT_EQ(m.color, 0xFF00FF00u);
    const std::vector<WORD> first = {0, 1, 5, 5, 1, 6};
    EXPECT_EQ(std::vector<WORD>(r.indices.begin(), r.indices.begin() + 6), first);

    CUiRect bad;
    EXPECT_EQ(bad.build_from_4corner(corners, 0, 2), 0);
    EXPECT_EQ(bad.build_from_4corner(corners, 2, -1), 0);
    EXPECT_EQ(bad.build_from_4corner({corners[0], corners[1]}, 2, 2), 0);
    EXPECT_EQ(bad.build_from_4corner(corners, 256, 256), 0); // 257 * 257 vertices
    EXPECT_EQ(bad.build_from_4corner(corners, 255, 255), 1); // exactly 65,536
    EXPECT_EQ(bad.vertices.size(), 65536u);
    EXPECT_EQ(bad.indices.back(), 65535);

    dev->SetTexture(0, nullptr);
    rs->tss_color(0, D3DTOP_SELECTARG2, D3DTA_TEXTURE, D3DTA_DIFFUSE);
    r.draw_me(dev);
    EXPECT_EQ(count(frame(), 0x00FF00), 40 * 20);
    clear();
    r.draw_unit_rect(dev, 0.5f, 2.0f, 1, 1);
    EXPECT_EQ(ink(frame()), CRect(0, 0, 20, 40));
    clear();
    r.indices.push_back(15);
    r.indices.push_back(0);
    r.indices.push_back(1);
    r.draw_me(dev);
    EXPECT_EQ(count(frame(), 0x00FF00), 0);

    const VEC a = CUiRect::vec2to3(D3DXVECTOR2(3.4f, 7.6f));
    EXPECT_FLOAT_EQ(a.x, 2.5f);
    EXPECT_FLOAT_EQ(a.y, 7.5f);
    EXPECT_FLOAT_EQ(a.z, 0.5f);
    r.clear();
    EXPECT_TRUE(r.vertices.empty() && r.indices.empty());
}

} // namespace
