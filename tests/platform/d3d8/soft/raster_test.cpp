// Coverage rules: the top-left fill rule, shared edges, lines, points and supersampled targets.
#include "soft_test_support.h"

#include <gtest/gtest.h>

#include <qcore/platform/d3d8/soft/rasterizer.h>

#include <cmath>
#include <random>

namespace qcore::test {
namespace {

TEST(SoftRaster, TopLeftRuleOwnsLeftAndTopEdgesOnly) {
    Frame f(8, 8);
    Pipeline p(1);
    // Square edges run through pixel centres 0 and 4: columns and rows 0..3 are inside, 4 is not.
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0, 0, 4, 4, 0xffffffff), 2, tl_fvf));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(f.at(x, y), (x < 4 && y < 4) ? 0xffffffffu : 0u) << x << "," << y;
}

// Point-in-convex-polygon on pixel centres, in doubles: +1 inside, -1 outside, 0 within eps of an edge.
int side_of_polygon(const std::vector<std::pair<double, double>>& poly, double px, double py) {
    bool on_edge = false;
    for (size_t i = 0; i < poly.size(); ++i) {
        const auto [ax, ay] = poly[i];
        const auto [bx, by] = poly[(i + 1) % poly.size()];
        const double cross = (bx - ax) * (py - ay) - (by - ay) * (px - ax);
        const double len = std::hypot(bx - ax, by - ay);
        if (cross / len < -1e-4) return -1;
        if (cross / len < 1e-4) on_edge = true;
    }
    return on_edge ? 0 : 1;
}

TEST(SoftRaster, SharedEdgesHaveNoGapsAndNoDoubleBlends) {
    Frame f(24, 24);
    f.state.alpha_blend = true;
    f.state.src_blend = blend_one;
    f.state.dest_blend = blend_one;
    Pipeline p(1);
    // A fan of triangles around an interior point; adding 0x40 per cover shows every pixel's count.
    const std::vector<std::pair<double, double>> poly = {{3.3, 2.7},   {12.0, 1.2},  {20.6, 6.0},
                                                         {21.4, 18.9}, {11.0, 22.0}, {2.2, 15.5}};
    std::vector<TlVertex> v;
    const float cx = 11.5f, cy = 11.0f;
    for (size_t i = 0; i < poly.size(); ++i) {
        const auto& a = poly[i];
        const auto& b = poly[(i + 1) % poly.size()];
        v.push_back(tl(cx, cy, 0x00400000));
        v.push_back(tl(static_cast<float>(a.first), static_cast<float>(a.second), 0x00400000));
        v.push_back(tl(static_cast<float>(b.first), static_cast<float>(b.second), 0x00400000));
    }
    ASSERT_TRUE(f.draw(p, prim_tri_list, v, static_cast<uint32_t>(poly.size()), tl_fvf));
    for (int y = 0; y < 24; ++y) {
        for (int x = 0; x < 24; ++x) {
            const int red = channel(f.at(x, y), 16);
            const int side = side_of_polygon(poly, x, y);
            if (side > 0)
                EXPECT_EQ(red, 0x40) << x << "," << y;
            else if (side < 0)
                EXPECT_EQ(red, 0) << x << "," << y;
            else
                EXPECT_TRUE(red == 0 || red == 0x40) << x << "," << y;
        }
    }
}

TEST(SoftRaster, CullModesFollowScreenWinding) {
    // Clockwise on a y-down screen: (0,0) -> (8,0) -> (0,8).
    const std::vector<TlVertex> cw = {tl(0, 0), tl(8, 0), tl(0, 8)};
    const std::vector<TlVertex> ccw = {tl(0, 0), tl(0, 8), tl(8, 0)};
    for (uint32_t mode : {cull_none, cull_cw, cull_ccw}) {
        Frame a(8, 8), b(8, 8);
        a.state.cull_mode = b.state.cull_mode = mode;
        Pipeline p(1);
        ASSERT_TRUE(a.draw(p, prim_tri_list, cw, 1, tl_fvf));
        ASSERT_TRUE(b.draw(p, prim_tri_list, ccw, 1, tl_fvf));
        EXPECT_EQ(a.at(1, 1) != 0, mode != cull_cw) << mode;
        EXPECT_EQ(b.at(1, 1) != 0, mode != cull_ccw) << mode;
    }
}

TEST(SoftRaster, LinesUseTheDiamondExitRule) {
    Pipeline p(1);
    Frame f(8, 8);
    f.state.last_pixel = false;
    ASSERT_TRUE(f.draw(p, prim_line_list, std::vector<TlVertex>{tl(1, 1), tl(6, 1)}, 1, tl_fvf));
    for (int x = 0; x < 8; ++x)
        EXPECT_EQ(f.at(x, 1) != 0, x >= 1 && x <= 5) << x;
    // A diagonal covers one pixel per column; the end is left out, and drawn when the last pixel is asked.
    Frame g(8, 8);
    g.state.last_pixel = false;
    ASSERT_TRUE(g.draw(p, prim_line_strip, std::vector<TlVertex>{tl(0, 0), tl(4, 4)}, 1, tl_fvf));
    int lit = 0;
    for (uint32_t px : g.pixels)
        lit += px != 0;
    EXPECT_EQ(lit, 4);
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(g.at(i, i), 0u) << i;
    Frame h(8, 8);
    ASSERT_TRUE(h.draw(p, prim_line_list, std::vector<TlVertex>{tl(6, 2), tl(6, 6)}, 1, tl_fvf));
    for (int y = 0; y < 8; ++y)
        EXPECT_EQ(h.at(6, y) != 0, y >= 2 && y <= 6) << y;
}

TEST(SoftRaster, PointsAreSquaresOfThePointSize) {
    Pipeline p(1);
    Frame f(10, 10);
    f.state.point_size = 3.f;
    ASSERT_TRUE(
        f.draw(p, prim_points, std::vector<TlVertex>{tl(5, 5, 0xff00ff00), tl(1, 8, 0xffff0000)}, 2, tl_fvf));
    int lit = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 10; ++x) {
            const bool first = x >= 4 && x <= 6 && y >= 4 && y <= 6;
            const bool second = x >= 0 && x <= 2 && y >= 7 && y <= 9;
            EXPECT_EQ(f.at(x, y), first ? 0xff00ff00u : second ? 0xffff0000u : 0u) << x << "," << y;
            lit += f.at(x, y) != 0;
        }
    EXPECT_EQ(lit, 18);
}

TEST(SoftRaster, WireframeAndPointFillDrawEdgesAndCorners) {
    Pipeline p(1);
    Frame wire(10, 10), points(10, 10);
    wire.state.fill_mode = fill_wireframe;
    points.state.fill_mode = fill_point;
    const std::vector<TlVertex> tri = {tl(1, 1), tl(8, 1), tl(1, 8)};
    ASSERT_TRUE(wire.draw(p, prim_tri_list, tri, 1, tl_fvf));
    ASSERT_TRUE(points.draw(p, prim_tri_list, tri, 1, tl_fvf));
    EXPECT_NE(wire.at(4, 1), 0u);
    EXPECT_NE(wire.at(1, 4), 0u);
    EXPECT_EQ(wire.at(3, 3), 0u); // interior stays empty
    EXPECT_NE(points.at(1, 1), 0u);
    EXPECT_NE(points.at(8, 1), 0u);
    EXPECT_EQ(points.at(4, 1), 0u);
}

TEST(SoftRaster, SupersampledTargetsScaleCoverage) {
    Pipeline p(1);
    Frame f(4, 4, 0, D3DFMT_UNKNOWN, 2, 2);
    // One pixel square at pixel (1,1) covers its 2x2 samples, (2..3, 2..3).
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(0.5f, 0.5f, 1.5f, 1.5f, 0xffffffff), 2, tl_fvf));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(f.at(x, y) != 0, x >= 2 && x <= 3 && y >= 2 && y <= 3) << x << "," << y;
}

TEST(SoftRaster, ViewportLimitsPreTransformedPrimitives) {
    Pipeline p(1);
    Frame f(8, 8);
    f.state.viewport = {2, 2, 4, 4, 0.f, 1.f};
    ASSERT_TRUE(f.draw(p, prim_tri_list, tl_quad(-10, -10, 20, 20, 0xffffffff), 2, tl_fvf));
    for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
            EXPECT_EQ(f.at(x, y) != 0, x >= 2 && x < 6 && y >= 2 && y < 6) << x << "," << y;
}

TEST(SoftRaster, WideRowsCoverExactlyThePixelsInsideAllEdges) {
    // Rows wide enough to find their run by division must give the pixels the edge functions say are inside,
    // for thin slivers and large triangles alike, in tiles cut at odd places.
    std::mt19937 rng(99);
    std::uniform_real_distribution<float> coord(-40.f, 140.f);
    SetupParams params;
    params.scissor = {0, 0, 99, 99};
    params.attribute_count = 4;
    for (int round = 0; round < 200; ++round) {
        ScreenVertex v[3] = {};
        for (ScreenVertex& s : v)
            s.x = coord(rng), s.y = coord(rng), s.q = 1.f;
        if (round % 4 == 0) v[2].x = v[1].x + 0.01f, v[2].y = v[1].y + 40.f; // a sliver
        PlaneStore store;
        if (!setup_triangle(params, v[0], v[1], v[2], v[0], store)) continue;
        const Prim& prim = store.prims.back();
        const PixelRect tile{3, 5, 3 + static_cast<int>(rng() % 90), 5 + static_cast<int>(rng() % 90)};
        std::vector<int> covered(100 * 100, 0);
        rasterize(prim, tile, [&](int y, int x0, int x1) {
            for (int x = x0; x <= x1; ++x)
                ++covered[static_cast<size_t>(y * 100 + x)];
        });
        for (int y = 0; y < 100; ++y)
            for (int x = 0; x < 100; ++x) {
                bool inside =
                    x >= std::max(tile.x0, prim.bounds.x0) && x <= std::min(tile.x1, prim.bounds.x1) &&
                    y >= std::max(tile.y0, prim.bounds.y0) && y <= std::min(tile.y1, prim.bounds.y1);
                for (int e = 0; e < 3 && inside; ++e)
                    inside = prim.ea[e] * x + prim.eb[e] * y + prim.ec[e] >= 0;
                ASSERT_EQ(covered[static_cast<size_t>(y * 100 + x)], inside ? 1 : 0)
                    << "round " << round << " at " << x << "," << y;
            }
    }
}

} // namespace
} // namespace qcore::test
