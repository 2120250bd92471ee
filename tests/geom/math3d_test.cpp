#include <qcore/geom/math3d.h>

#include <gtest/gtest.h>

#include <cstddef>

namespace {
void expect_vec(const VEC& v, float x, float y, float z, float eps = 1e-5f) {
    EXPECT_NEAR(v.x, x, eps);
    EXPECT_NEAR(v.y, y, eps);
    EXPECT_NEAR(v.z, z, eps);
}
} // namespace

TEST(MathLayout, MatchesTheDeviceRecords) {
    EXPECT_EQ(offsetof(plane, d), 12u);
    EXPECT_EQ(offsetof(sphere, radius), 12u);
    MAT m(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16);
    EXPECT_EQ(reinterpret_cast<const float*>(&m)[6], 7.0f);
    EXPECT_EQ(m._23, 7.0f);
    const float raw[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
    EXPECT_EQ(MAT(raw), m);
}

TEST(Vec, PointConversionRoundsHalfAwayFromZero) {
    const tagPOINT p = VEC(2.5f, -2.5f, 7);
    EXPECT_EQ(p.x, 3);
    EXPECT_EQ(p.y, -3);
    const tagPOINT q = VEC(0.49f, -0.49f, 0);
    EXPECT_EQ(q.x, 0);
    EXPECT_EQ(q.y, 0);
    const tagPOINT huge = VEC(1e20f, -1e20f, 0); // saturates instead of overflowing
    EXPECT_EQ(huge.x, INT32_MAX);
    EXPECT_EQ(huge.y, INT32_MIN);
    VEC v(9, 9, 9);
    v = tagPOINT{4, -5};
    expect_vec(v, 4, -5, 0, 0);
}

TEST(Vec, ArithmeticAndProducts) {
    const VEC a(1, 2, 3), b(4, 5, 6);
    expect_vec(a * b, 4, 10, 18, 0);
    expect_vec(b / a, 4, 2.5f, 2, 0);
    expect_vec(a.cross(b), -3, 6, -3, 0);
    EXPECT_EQ(a.dot(b), 32.0f);
    EXPECT_EQ(VEC(3, 4, 0).len(), 5.0f);
    VEC c = b;
    c /= 2.0f;
    expect_vec(c, 2, 2.5f, 3, 0);
    expect_vec(-a + b - a * 2.0f, 1, -1, -3, 0);
    EXPECT_TRUE(VEC(0, 0, 0).is_zero());
    EXPECT_FALSE(VEC(0, -1e-30f, 0).is_zero());
}

TEST(Vec, VertexTransformDividesOnlyWhenWIsNotOne) {
    const MAT affine = MAT::get_pan_matrix(1, 2, 3) * MAT::get_scaling_matrix(2, 2, 2);
    expect_vec(VEC(1, 1, 1).get_vertex_transf(affine), 4, 6, 8, 0);
    const MAT proj(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 1, 0, 0, -1, 0); // w = z
    VEC p(2, 4, 8);
    p.transf_self(proj);
    expect_vec(p, 0.25f, 0.5f, 7.0f / 8);
    // Normals ignore the translation row and are not renormalised.
    expect_vec(VEC(1, 0, 0).get_normal_transf(affine), 2, 0, 0, 0);
}

TEST(Vec, ParallelAndSameDirection) {
    EXPECT_FALSE(VEC(1, 0, 0).is_parallel(VEC(-1, 0, 0)));
    EXPECT_TRUE(VEC(1, 0, 0).is_parallel(VEC(1, 0.01f, 0)));
    EXPECT_FALSE(VEC(1, 0, 0).is_parallel(VEC(1, 0.02f, 0))); // just over one degree
    EXPECT_TRUE(VEC(1, 0, 0).is_parallel(VEC(5, 0, 0)));
    EXPECT_TRUE(VEC(0, 0, 0).is_parallel(VEC(0, 0, 0))); // equal, before any division
    EXPECT_FALSE(VEC(1, 0, 0).is_same_direction(VEC(0, 1, 0)));
    EXPECT_TRUE(VEC(1, 0, 0).is_same_direction(VEC(1, 5, 0)));
    EXPECT_EQ(is_same_direction(D3DXVECTOR2(1, 0), D3DXVECTOR2(0, 1)), 1);
    EXPECT_EQ(is_same_direction(D3DXVECTOR2(1, 0), D3DXVECTOR2(-0.1f, 1)), 0);
}

TEST(Vec, AnglesStayFiniteForParallelVectors) {
    // The cosine of these two rounds to just above 1.
    const VEC a(-0.527822018f, -0.815322816f, -0.206838548f);
    EXPECT_EQ(a.get_angle_in_radian(a * 3.0f), 0.0f);
    EXPECT_NEAR(VEC(1, 0, 0).get_angle_in_radian(VEC(0, 2, 0)), 1.5707964f, 1e-6f);
}

TEST(Vec, NormalizeLeavesTinyVectorsAlone) {
    VEC v(3, 0, 4);
    v.normalize_self();
    expect_vec(v, 0.6f, 0, 0.8f);
    EXPECT_TRUE(v.is_identity());
    EXPECT_TRUE(v.is_normalized(1e-6f));
    VEC tiny(1e-39f, 0, 0);
    tiny.normalize_self();
    EXPECT_EQ(tiny.x, 1e-39f);
    expect_vec(VEC(0, 0, 0).get_normalize(), 0, 0, 0, 0);
    EXPECT_FALSE(VEC(0, 0, 2).is_identity());
}

TEST(Vec, PointInTriangleByAngleSum) {
    const VEC a(0, 0, 0), b(4, 0, 0), c(0, 4, 0);
    EXPECT_TRUE(VEC(1, 1, 0).is_in_polygon(a, b, c));
    EXPECT_FALSE(VEC(3, 3, 0).is_in_polygon(a, b, c));
    EXPECT_FALSE(VEC(-1, 1, 0).is_in_polygon(a, b, c));
}

TEST(Vec, ClosestPointsOnSegmentsAndEdges) {
    const VEC a(0, 0, 0), b(10, 0, 0);
    expect_vec(VEC(-5, 3, 0).get_closest_pt_on_line(a, b), 0, 0, 0, 0);
    expect_vec(VEC(15, 3, 0).get_closest_pt_on_line(a, b), 10, 0, 0, 0);
    expect_vec(VEC(4, 3, 0).get_closest_pt_on_line(a, b), 4, 0, 0);
    expect_vec(VEC(4, 3, 0).get_closest_pt_on_line(a, a), 0, 0, 0, 0); // zero-length segment
    // (1, 1) is equally near the edges a–b and c–a of this right triangle: a–b comes first.
    const VEC c(0, 10, 0);
    expect_vec(VEC(1, 1, 0).get_closest_pt_on_polygon_edge(a, b, c), 1, 0, 0);
    expect_vec(VEC(1, 1, 0).get_closest_pt_on_polygon_edge(c, a, b), 0, 1, 0); // now c–a is first
    expect_vec(VEC(6, 6, 0).get_closest_pt_on_polygon_edge(a, b, c), 5, 5, 0);
}

TEST(Mat, CompositionsAboutACentre) {
    const VEC centre(1, 2, 3);
    const MAT s = MAT::get_scaling_matrix(2, 3, 4, centre);
    expect_vec(centre.get_vertex_transf(s), 1, 2, 3);
    expect_vec(VEC(2, 3, 4).get_vertex_transf(s), 3, 5, 7);
    const MAT r = MAT::get_rotation_matrix(centre, VEC(0, 0, 1), 1.5707964f);
    expect_vec(centre.get_vertex_transf(r), 1, 2, 3);
    expect_vec(VEC(2, 2, 3).get_vertex_transf(r), 1, 3, 3);

    const VEC from(1, 0, 0), to(0.3f, 0.4f, 0.5f);
    const MAT turn = MAT::get_rotation_matrix(centre, from, to);
    const VEC turned = (centre + from).get_vertex_transf(turn) - centre;
    expect_vec(turned, to.get_normalize().x, to.get_normalize().y, to.get_normalize().z);
}

TEST(Mat, InverseAndQuaternion) {
    const MAT m =
        MAT::get_rotation_matrix(VEC(1, 2, 3), VEC(1, 1, 0), 0.7f) * MAT::get_pan_matrix(VEC(4, 5, 6));
    const MAT product = m * m.get_inverse();
    MAT id;
    D3DXMatrixIdentity(&id);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR((&product._11)[i], (&id._11)[i], 1e-5f);
    MAT copy = m;
    copy.inverse_self();
    EXPECT_EQ(copy, m.get_inverse());
    MAT singular = MAT::get_scaling_matrix(0, 1, 1);
    singular.inverse_self();
    EXPECT_EQ(singular, MAT::get_scaling_matrix(0, 1, 1));

    QUAT q;
    q.make_identity();
    EXPECT_EQ(MAT::get_matrix_from_quat(q), id);
    QUAT a(0, 0, 0, 1), b(0, std::sin(0.5f), 0, std::cos(0.5f)), half;
    half.slerp(0.5f, a, b);
    EXPECT_NEAR(half.y, std::sin(0.25f), 1e-6f);
    EXPECT_NEAR(half.w, std::cos(0.25f), 1e-6f);
}

TEST(Mat, CustomFrameMapsWorldPointsIntoTheFrame) {
    const VEC origin(1, 2, 3), xa(0, 2, 0), ya(-3, 0, 0), za(0, 0, 0.5f);
    const MAT m = MAT::get_custom_to_stand_matrix(origin, xa, ya, za);
    const VEC p(4, 7, -1), d = p - origin;
    expect_vec(p.get_vertex_transf(m), d.dot(xa.get_normalize()), d.dot(ya.get_normalize()),
               d.dot(za.get_normalize()));
    expect_vec(origin.get_vertex_transf(m), 0, 0, 0);
}

TEST(Mat, HaveFlipDetectsMirrors) {
    EXPECT_EQ(MAT::get_scaling_matrix(1, 1, 1).have_flip(), 0);
    EXPECT_EQ(MAT::get_scaling_matrix(-1, 1, 1).have_flip(), 1);
    EXPECT_EQ(MAT::get_scaling_matrix(1, 1, -2).have_flip(), 1);
    EXPECT_EQ(MAT::get_scaling_matrix(-1, -1, 1).have_flip(), 0); // a half turn, not a mirror
    EXPECT_EQ(MAT::get_rotation_matrix(VEC(5, 5, 5), VEC(1, 2, 3), 2.0f).have_flip(), 0);
    EXPECT_EQ(MAT::get_scaling_matrix(1, 0, 1).have_flip(), 1); // flattened: not strictly positive
}

TEST(Plane, BuildersAndClassification) {
    plane p;
    EXPECT_EQ(p.d, 0.0f);
    p.build_from_points(VEC(0, 0, 2), VEC(1, 0, 2), VEC(0, 1, 2));
    expect_vec(p.n, 0, 0, 1, 0);
    EXPECT_EQ(p.d, -2.0f);
    EXPECT_EQ(p.signed_dist_to(VEC(7, 7, 5)), 3.0f);
    EXPECT_EQ(p.dist_to_point(VEC(7, 7, 0)), -2.0f);
    EXPECT_EQ(p.get_relation(VEC(0, 0, 0.002f)), 1);
    EXPECT_EQ(p.get_relation(VEC(5, 5, 0.0005f)), 0);
    EXPECT_EQ(p.get_relation(VEC(0, 0, -0.002f)), -1);
    EXPECT_EQ(p.is_front_face_to(VEC(0, 0, -1)), 1);
    EXPECT_EQ(p.is_front_face_to(VEC(0, 0, 1)), 0);

    plane q;
    q.build_from_point_normal(VEC(0, 0, 3), VEC(0, 0, 2)); // normal kept as given
    EXPECT_EQ(q.d, -6.0f);
    q.normalize();
    expect_vec(q.n, 0, 0, 1, 0);
    EXPECT_EQ(q.d, -3.0f);
    plane r;
    EXPECT_EQ(r = q, 1);
    EXPECT_EQ(r.d, -3.0f);
}

TEST(Plane, SegmentIntersectionCountsTheEndButNotTheStart) {
    plane p;
    p.build_from_normal_dist(VEC(0, 0, 1), 0);
    const VEC q(0, 0, 0);
    VEC out(9, 9, 9);
    EXPECT_EQ(p.segment_int(VEC(1, 1, 0), VEC(0, 0, 5), q, out), 0);  // starts on the plane
    EXPECT_EQ(p.segment_int(VEC(1, 1, 4), VEC(0, 0, -4), q, out), 1); // ends on it
    expect_vec(out, 1, 1, 0);
    EXPECT_EQ(p.segment_int(VEC(1, 1, 4), VEC(0, 0, -2), q, out), 0);            // stops short
    EXPECT_EQ(p.segment_int(VEC(1, 1, 4), VEC(3, 0, 0.0005f), q, out), 0);       // parallel
    EXPECT_EQ(p.segment_int(VEC(0, 0, 2), VEC(2, 0, -4), VEC(7, 7, 1), out), 1); // plane through q
    expect_vec(out, 0.5f, 0, 1);
}

TEST(Float4, SetAllAndIsSame) {
    float4 a, b(1, 2, 3, 4);
    a.set_all(128);
    EXPECT_EQ(a[3], 128.0f);
    EXPECT_FALSE(a.is_same(b));
    b.set_all(128);
    EXPECT_TRUE(a.is_same(b));
}

TEST(MathFunctions, PowersOfTwo) {
    EXPECT_EQ(get_times_of_2(1), 0);
    EXPECT_EQ(get_times_of_2(8192), 13);
    EXPECT_EQ(get_times_of_2(16384), -1);
    EXPECT_EQ(get_times_of_2(0), -1);
    EXPECT_EQ(get_times_of_2(6), -1);
    EXPECT_TRUE(IsPowerOf2(4096));
    EXPECT_FALSE(IsPowerOf2(16384));
    EXPECT_FALSE(IsPowerOf2(-8));

    const struct {
        int in, out;
    } near[] = {{-5, 8},      {3, 8},       {8, 8},       {12, 8},      {13, 16},
                {24, 16},     {25, 32},     {96, 64},     {100, 128},   {640, 512},
                {5000, 4096}, {6144, 4096}, {8191, 8192}, {8192, 8192}, {9000, 1024}};
    for (const auto& c : near)
        EXPECT_EQ(GetNearSize(c.in), c.out) << c.in;
}

TEST(MathFunctions, ComparisonsAndMinimum) {
    EXPECT_TRUE(IsEqual(1.0f, 1.0009f, 0.001f));
    EXPECT_FALSE(IsEqual(1.0f, 1.0f, 0.0f)); // strict
    EXPECT_TRUE(IsLess(1.0f, 1.5f, 0.1f));
    EXPECT_FALSE(IsLess(1.0f, 1.1f, 0.1f));
    EXPECT_TRUE(IsGreater(1.5f, 1.0f, 0.1f));
    EXPECT_EQ(get_min_value_index({3, 1, 1}), 1);
    EXPECT_EQ(get_min_value_index({}), -1);
    EXPECT_EQ(get_min_value_index({3.4028235e38f, 3.4028235e38f}), -1);
}

TEST(MathFunctions, TwoDimensionalDistances) {
    const D3DXVECTOR2 a(0, 0), b(10, 0);
    EXPECT_FLOAT_EQ(dist2d_pt_to_pt(a, D3DXVECTOR2(3, 4)), 5);
    EXPECT_FLOAT_EQ(dist2d_pt_to_line(D3DXVECTOR2(-3, 4), a, b), 5);
    EXPECT_FLOAT_EQ(dist2d_pt_to_line(D3DXVECTOR2(13, 4), a, b), 5);
    EXPECT_FLOAT_EQ(dist2d_pt_to_line(D3DXVECTOR2(5, -2), a, b), 2);
    EXPECT_FLOAT_EQ(dist2d_pt_to_line(D3DXVECTOR2(3, 4), a, a), 5);
    const D3DXVECTOR2 foot = verpos_pt_to_infinite_line(D3DXVECTOR2(15, 3), a, b);
    EXPECT_EQ(foot, D3DXVECTOR2(15, 0));
}
