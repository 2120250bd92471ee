#include <qcore/geom/box.h>
#include <qcore/geom/ray.h>

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>

namespace {

void expect_vec(const VEC& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}

const CBox unit(VEC(0, 0, 0), VEC(1, 1, 1));

} // namespace

TEST(Box, InvalidBoxGrowsToExactlyWhatIsAdded) {
    CBox b;
    EXPECT_FALSE(b.is_valid());
    EXPECT_EQ(b.get_average_len(), 1.0f);
    b += VEC(1, 2, 3);
    EXPECT_TRUE(b.is_valid());
    expect_vec(b.min, 1, 2, 3, 0);
    expect_vec(b.max, 1, 2, 3, 0);
    const CBox u = unit + CBox();
    expect_vec(u.min, 0, 0, 0, 0);
    expect_vec(u.max, 1, 1, 1, 0);
    const CBox w = CBox() + unit;
    expect_vec(w.max, 1, 1, 1, 0);
    // An invalid box is not moved by a transform.
    const CBox moved = CBox().get_transf(MAT::get_pan_matrix(5, 5, 5));
    EXPECT_FALSE(moved.is_valid());
    EXPECT_EQ(moved.min.x, CBox::big);
}

TEST(Box, CornersSplitsAndExtents) {
    const CBox b(VEC(0, 0, 0), VEC(2, 4, 6));
    expect_vec(b.get_corner(0), 0, 0, 0);
    expect_vec(b.get_corner(5), 2, 0, 6);
    expect_vec(b.get_corner(6), 0, 4, 6);
    expect_vec(b.get_corner(8), 0, 0, 0);
    expect_vec(b.get_corner(-1), 0, 0, 0);
    EXPECT_EQ(b.get_len(1), 4.0f);
    EXPECT_EQ(b.get_len(3), 0.0f);
    EXPECT_EQ(b.get_max_len(), 6.0f);
    EXPECT_EQ(b.get_min_len(), 2.0f);
    EXPECT_NEAR(b.get_average_len(), 4.0f, 1e-5f);
    EXPECT_NEAR(b.get_radius(), std::sqrt(56.0f) / 2, 1e-5f);

    const CBox s = CBox(VEC(0, 0, 0), VEC(2, 2, 2)).get_split_box(VEC(1, 1, 1), 5);
    expect_vec(s.min, 1, 0, 1, 0);
    expect_vec(s.max, 2, 1, 2, 0);
    const CBox whole = b.get_split_box(VEC(1, 1, 1), 9);
    expect_vec(whole.max, 2, 4, 6, 0);

    const CBox cube(VEC(1, 1, 1), 0.5f);
    expect_vec(cube.min, 0.5f, 0.5f, 0.5f, 0);
    expect_vec(cube.max, 1.5f, 1.5f, 1.5f, 0);
}

TEST(Box, CreateFromPoints) {
    EXPECT_TRUE(CBox::create_box(nullptr, false).is_valid());
    const std::vector<VEC> none;
    const CBox zero = CBox::create_box(&none, true);
    expect_vec(zero.min, 0, 0, 0, 0);
    expect_vec(zero.max, 0, 0, 0, 0);
    const std::vector<VEC> two = {VEC(0, 0, 0), VEC(4, 2, 2)};
    const CBox cube = CBox::create_box(&two, true);
    expect_vec(cube.min, 0, -1, -1, 0);
    expect_vec(cube.max, 4, 3, 3, 0);
    const CBox tight = CBox::create_box(&two, false);
    expect_vec(tight.max, 4, 2, 2, 0);
    // NaN coordinates are skipped rather than spreading into the bounds.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const std::vector<VEC> odd = {VEC(nan, 1, 1), VEC(1, 2, 3)};
    const CBox skipped = CBox::create_box(&odd, false);
    expect_vec(skipped.min, 1, 1, 1, 0);
}

TEST(Box, PositionCodesAndDistances) {
    EXPECT_EQ(unit.get_position_code(VEC(0.5f, 0.5f, 0.5f)), 21);
    EXPECT_EQ(unit.get_position_code(VEC(1, 0, 1)), 21); // borders are inside
    EXPECT_EQ(unit.get_position_code(VEC(-1, 0.5f, 2)), 0 | 4 | 48);
    EXPECT_TRUE(unit.is_pt_inside(VEC(1, 1, 1)));
    EXPECT_FALSE(unit.is_pt_inside(VEC(1, 1, 1.001f)));

    EXPECT_EQ(unit.GetNearDist(VEC(0.5f, 0.5f, 0.5f)), 0.0f);
    EXPECT_NEAR(unit.GetNearDist(VEC(0.5f, 3, 0.5f)), 2.0f, 1e-6f);      // face
    EXPECT_NEAR(unit.GetNearDist(VEC(-3, 5, 0.5f)), 5.0f, 1e-6f);        // edge
    EXPECT_NEAR(unit.GetNearDist(VEC(2, 2, 2)), std::sqrt(3.0f), 1e-6f); // corner
    EXPECT_NEAR(unit.GetFarDist(VEC(0, 0, 0)), std::sqrt(3.0f), 1e-6f);
    EXPECT_NEAR(unit.GetFarDist(VEC(0.25f, 0, 0)), std::sqrt(0.75f * 0.75f + 2), 1e-6f);
}

TEST(Box, TransformBoundsTheCorners) {
    // A mirroring scale swaps the corners; the result is still min ≤ max.
    const CBox b = unit.get_transf(MAT::get_scaling_matrix(2, -1, 1) * MAT::get_pan_matrix(1, 0, 0));
    expect_vec(b.min, 1, -1, 0);
    expect_vec(b.max, 3, 0, 1);
}

TEST(Box, OverlapAndTriangleRejection) {
    EXPECT_TRUE(unit.int_with_box(CBox(VEC(1, 0, 0), VEC(2, 1, 1)))); // shared face
    EXPECT_TRUE(unit.int_with_box(CBox(VEC(1, 1, 1), VEC(2, 2, 2)))); // shared corner
    EXPECT_FALSE(unit.int_with_box(CBox(VEC(1.01f, 0, 0), VEC(2, 1, 1))));
    EXPECT_FALSE(unit.int_with_box(CBox()));

    // All three beyond x = 1: rejected. Around the box on different sides: kept although it misses.
    EXPECT_EQ(unit.triangle_test(VEC(2, 0, 0), VEC(3, 5, 0), VEC(2, -4, 9)), 0);
    EXPECT_EQ(unit.triangle_test(VEC(0.5f, 0.5f, 0.5f), VEC(9, 9, 9), VEC(8, 9, 9)), 1);
    const VEC a(-10, 5, 0.5f), b(5, -10, 0.5f), c(-10, -10, 0.5f);
    EXPECT_EQ(unit.triangle_test(a, b, c), 1);
    EXPECT_FALSE(tri_box_int(&unit, &a, &b, &c));
}

TEST(Box, RaySlabsAtTheirBorders) {
    // From inside, ahead, behind.
    EXPECT_TRUE(unit.ray_box_test(CRayForBox(VEC(0.5f, 0.5f, 0.5f), VEC(1, 0.3f, 0))));
    EXPECT_TRUE(unit.ray_box_test(CRayForBox(VEC(-2, 0.5f, 0.5f), VEC(1, 0.1f, 0.1f))));
    EXPECT_FALSE(unit.ray_box_test(CRayForBox(VEC(-2, 0.5f, 0.5f), VEC(-1, 0, 0))));
    // Axis-parallel through infinite reciprocals.
    EXPECT_TRUE(unit.ray_box_test(CRayForBox(VEC(0.5f, 0.5f, -5), VEC(0, 0, 1))));
    EXPECT_FALSE(unit.ray_box_test(CRayForBox(VEC(1.5f, 0.5f, -5), VEC(0, 0, 1))));
    EXPECT_FALSE(unit.ray_box_test(CRayForBox(VEC(0.5f, 0.5f, -5), VEC(-0.0f, 0, -1))));
    // Origin exactly on a slab plane of a parallel ray: the border belongs to the box (no NaN).
    EXPECT_TRUE(unit.ray_box_test(CRayForBox(VEC(0, 0.5f, -5), VEC(0, 0, 1))));
    EXPECT_TRUE(unit.ray_box_test(CRayForBox(VEC(1, 1, -5), VEC(0, 0, 1))));
    EXPECT_TRUE(unit.ray_box_test(CRayForBox(VEC(1, 1, -5), VEC(-0.0f, -0.0f, 1))));
    // Grazing an edge counts.
    EXPECT_TRUE(unit.ray_box_test(CRayForBox(VEC(-1, 0, 1), VEC(1, 1, 0))));
    // A zero direction or a NaN origin never hits.
    EXPECT_FALSE(unit.ray_box_test(CRayForBox(VEC(5, 5, 5), VEC(0, 0, 0))));
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_FALSE(unit.ray_box_test(CRayForBox(VEC(nan, 0.5f, 0.5f), VEC(0, 0, 1))));

    // Segments: the direction is the whole segment, (0, 1) the segment itself, both ends strict.
    const CRayForBox seg(VEC(-2, 0.5f, 0.5f), VEC(4, 0, 0));
    EXPECT_TRUE(unit.line_box_test(seg, 0, 1));
    EXPECT_FALSE(unit.line_box_test(seg, 0, 0.5f)); // ends exactly on the face x = 0
    EXPECT_TRUE(unit.line_box_test(seg, 0, 0.5001f));
    EXPECT_FALSE(unit.line_box_test(seg, 0.75f, 1)); // starts exactly on x = 1
}

TEST(Ray, TransformAndSphere) {
    CRay r(VEC(1, 0, 0), VEC(0, 2, 0));
    r.transf_self(MAT::get_pan_matrix(0, 0, 5));
    expect_vec(r.origin, 1, 0, 5);
    expect_vec(r.dir, 0, 2, 0); // directions do not move
    CRayForBox rb(r);
    EXPECT_EQ(rb.inv_dir.x, std::numeric_limits<float>::infinity());
    EXPECT_EQ(rb.inv_dir.y, 0.5f);
    rb = CRay(VEC(0, 0, 0), VEC(4, 0, 0));
    EXPECT_EQ(rb.inv_dir.x, 0.25f);

    float t = -7;
    const sphere s(VEC(10, 0, 0), 2);
    EXPECT_EQ(CRay(VEC(0, 0, 0), VEC(5, 0, 0)).int_with_sphere(s, t), 1);
    EXPECT_NEAR(t, 8.0f, 1e-5f);                                           // along the normalised direction
    EXPECT_EQ(CRay(VEC(0, 0, 0), VEC(-5, 0, 0)).int_with_sphere(s, t), 1); // behind: negative
    EXPECT_NEAR(t, -12.0f, 1e-5f);
    t = -7;
    EXPECT_EQ(CRay(VEC(0, 3, 0), VEC(1, 0, 0)).int_with_sphere(s, t), 0);
    EXPECT_EQ(t, -7);
    EXPECT_EQ(CRay(VEC(10, 0, 0), VEC(0, 0, 0)).int_with_sphere(s, t), 0); // no direction: no line
    EXPECT_EQ(t, -7);
}

TEST(TriBox, FacePlanesAndDegenerateTriangles) {
    const VEC a(0, 0, 1), b(1, 0, 1), c(0, 1, 1); // in the face z = 1
    EXPECT_TRUE(tri_box_int(&unit, &a, &b, &c));
    const VEC a2(0, 0, 1.001f), b2(1, 0, 1.001f), c2(0, 1, 1.001f);
    EXPECT_FALSE(tri_box_int(&unit, &a2, &b2, &c2));
    const VEC p(0.5f, 0.5f, 0.5f), q(3, 3, 3);
    EXPECT_TRUE(tri_box_int(&unit, &p, &p, &p));  // a point inside
    EXPECT_FALSE(tri_box_int(&unit, &q, &q, &q)); // a point outside
    const VEC s0(-1, 0.5f, 0.5f), s1(2, 0.5f, 0.5f);
    EXPECT_TRUE(tri_box_int(&unit, &s0, &s1, &s1)); // a segment through the box
}

namespace {

// Separating-axis overlap in double precision over all thirteen axes with all three projections; returns
// the largest gap along any normalised axis (> 0 separated, ≤ 0 overlapping).
double sat_gap(const CBox& box, const std::array<VEC, 3>& tri) {
    using D3 = std::array<double, 3>;
    const D3 m = {(box.min.x + double(box.max.x)) / 2, (box.min.y + double(box.max.y)) / 2,
                  (box.min.z + double(box.max.z)) / 2};
    const D3 h = {box.max.x - m[0], box.max.y - m[1], box.max.z - m[2]};
    std::array<D3, 3> v;
    for (int i = 0; i < 3; ++i)
        v[i] = {tri[i].x - m[0], tri[i].y - m[1], tri[i].z - m[2]};
    const auto sub = [](const D3& a, const D3& b) { return D3{a[0] - b[0], a[1] - b[1], a[2] - b[2]}; };
    const auto cross = [](const D3& a, const D3& b) {
        return D3{a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
    };
    const auto dot = [](const D3& a, const D3& b) { return a[0] * b[0] + a[1] * b[1] + a[2] * b[2]; };
    std::vector<D3> axes = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    const std::array<D3, 3> edges = {sub(v[1], v[0]), sub(v[2], v[1]), sub(v[0], v[2])};
    axes.push_back(cross(edges[0], edges[1]));
    for (const D3& e : edges)
        for (int k = 0; k < 3; ++k)
            axes.push_back(cross(e, axes[static_cast<size_t>(k)]));
    double gap = -1e300;
    for (D3 a : axes) {
        const double len = std::sqrt(dot(a, a));
        if (len < 1e-9) continue;
        for (double& c : a)
            c /= len;
        const double p0 = dot(a, v[0]), p1 = dot(a, v[1]), p2 = dot(a, v[2]);
        const double rad = h[0] * std::fabs(a[0]) + h[1] * std::fabs(a[1]) + h[2] * std::fabs(a[2]);
        gap = std::max({gap, std::min({p0, p1, p2}) - rad, -rad - std::max({p0, p1, p2})});
    }
    return gap;
}

} // namespace

TEST(TriBox, AgreesWithAnIndependentSeparatingAxisTest) {
    std::mt19937 rng(1234);
    std::uniform_real_distribution<float> pos(-2, 2), half(0.05f, 1.0f);
    int overlaps = 0, misses = 0;
    for (int i = 0; i < 20000; ++i) {
        const VEC centre(pos(rng) / 2, pos(rng) / 2, pos(rng) / 2);
        const CBox box(centre - VEC(half(rng), half(rng), half(rng)),
                       centre + VEC(half(rng), half(rng), half(rng)));
        std::array<VEC, 3> tri;
        for (VEC& p : tri)
            p = VEC(pos(rng), pos(rng), pos(rng));
        if (i % 5 == 0) tri[2] = tri[0]; // zero-area triangles (segments) too
        const double gap = sat_gap(box, tri);
        if (std::fabs(gap) < 1e-4) continue; // too close to call in float
        const bool expected = gap < 0;
        ASSERT_EQ(tri_box_int(&box, &tri[0], &tri[1], &tri[2]), expected) << "case " << i << " gap " << gap;
        // The cheap rejection must never drop a triangle that overlaps.
        if (expected) {
            ASSERT_EQ(box.triangle_test(tri[0], tri[1], tri[2]), 1);
        }
        (expected ? overlaps : misses)++;
    }
    EXPECT_GT(overlaps, 2000);
    EXPECT_GT(misses, 2000);
}
