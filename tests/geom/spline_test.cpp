#include <qcore/data/pak_file.h>
#include <qcore/geom/spline.h>
#include <qcore/platform/win32/message_box.h>

#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

struct D3 {
    double x, y, z;
};
D3 d3(const VEC& v) {
    return {v.x, v.y, v.z};
}
D3 operator+(D3 a, D3 b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
D3 operator-(D3 a, D3 b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
D3 operator*(D3 a, double f) {
    return {a.x * f, a.y * f, a.z * f};
}
double len(D3 a) {
    return std::sqrt(a.x * a.x + a.y * a.y + a.z * a.z);
}
D3 unit(D3 a) {
    const double l = len(a);
    return l > 0 ? a * (1 / l) : a;
}

// The segment b->c from the handle rule (tangent perpendicular to the bisector, a third of the chord long;
// no handle where the neighbour is the end itself) and the cubic Bézier formula, in double precision.
D3 reference(const VEC& a, const VEC& b, const VEC& c, const VEC& d, double t) {
    const D3 B = d3(b), C = d3(c);
    const double l = len(C - B);
    const D3 b1 = a == b ? B : B + unit(unit(C - B) - unit(d3(a) - B)) * (l / 3);
    const D3 c1 = d == c ? C : C + unit(unit(B - C) - unit(d3(d) - C)) * (l / 3);
    const double u = 1 - t;
    return B * (u * u * u) + b1 * (3 * t * u * u) + c1 * (3 * t * t * u) + C * (t * t * t);
}

void expect_near(const VEC& v, D3 r, double eps = 1e-4) {
    EXPECT_NEAR(v.x, r.x, eps);
    EXPECT_NEAR(v.y, r.y, eps);
    EXPECT_NEAR(v.z, r.z, eps);
}

const std::vector<VEC> kKeys = {VEC(0, 0, 0), VEC(10, 5, 0), VEC(20, 0, 4), VEC(25, -10, 2)};

TEST(Spline, SegmentsFollowTheBezierFormula) {
    for (double t : {0.0, 0.1, 0.37, 0.5, 0.9, 1.0})
        expect_near(get_spline_pos(kKeys[0], kKeys[1], kKeys[2], kKeys[3], static_cast<float>(t)),
                    reference(kKeys[0], kKeys[1], kKeys[2], kKeys[3], t));
    // A spline of keys: the keys themselves at the key frames, the segment curves between them.
    CSpline3d s;
    s.keys = kKeys;
    for (int k = 0; k < 4; ++k)
        EXPECT_EQ(s.get(static_cast<float>(k) / 3), kKeys[static_cast<size_t>(k)]) << k;
    expect_near(s.get(0.5f / 3), reference(kKeys[0], kKeys[0], kKeys[1], kKeys[2], 0.5)); // no head
    expect_near(s.get(1.5f / 3), reference(kKeys[0], kKeys[1], kKeys[2], kKeys[3], 0.5));
    expect_near(s.get(2.8f / 3), reference(kKeys[1], kKeys[2], kKeys[3], kKeys[3], 0.8), 2e-4); // no tail
    EXPECT_EQ(s.get(1.0f), kKeys[3]);
    EXPECT_EQ(s.get(0.0004f), kKeys[0]);
}

TEST(Spline, DegenerateNeighboursAndStraightKeys) {
    // No neighbours: handles on the ends, a straight line at varying speed.
    VEC b1, c1;
    cal_control_pos(VEC(0, 0, 0), VEC(0, 0, 0), VEC(9, 0, 0), VEC(9, 0, 0), &b1, &c1);
    EXPECT_EQ(b1, VEC(0, 0, 0));
    EXPECT_EQ(c1, VEC(9, 0, 0));
    const VEC q = get_spline_pos(VEC(0, 0, 0), VEC(0, 0, 0), VEC(9, 0, 0), VEC(9, 0, 0), 0.25f);
    EXPECT_FLOAT_EQ(q.y, 0);
    EXPECT_NEAR(q.x, 9 * (3 * 0.25 * 0.75 * 0.75 * 0 + 3 * 0.0625 * 0.75 + 0.015625), 1e-5);
    // Keys on a line: the middle tangent lies along +x and the curve stays on the axis.
    const std::vector<VEC> line = {VEC(0, 0, 0), VEC(1, 0, 0), VEC(2, 0, 0)};
    cal_control_pos(line[0], line[1], line[2], line[2], &b1, &c1);
    EXPECT_NEAR(b1.x, 1 + 1.0f / 3, 1e-6);
    EXPECT_EQ(b1.y, 0.0f);
    std::vector<VEC> out;
    interpolate_splines(&line, nullptr, nullptr, &out, 5, false);
    ASSERT_EQ(out.size(), 9u);
    for (const VEC& v : out)
        EXPECT_TRUE(v.y == 0 && v.z == 0);
    // Equal keys give the key, without dividing by a zero length.
    CSpline3d same;
    same.keys = {VEC(3, 3, 3), VEC(3, 3, 3), VEC(3, 3, 3)};
    EXPECT_TRUE(same.get(0.3f).is_coincide(VEC(3, 3, 3), 1e-6f));
}

TEST(Spline, WholeCurvesAndClosedSeams) {
    std::vector<VEC> out;
    const std::vector<VEC> two = {VEC(1, 2, 3), VEC(4, 5, 6)};
    interpolate_splines(&two, nullptr, nullptr, &out, 5, false);
    EXPECT_EQ(out, two);
    const std::vector<VEC> one = {VEC(1, 2, 3)};
    interpolate_splines(&one, nullptr, nullptr, &out, 5, false);
    EXPECT_EQ(out, std::vector<VEC>(2, one[0]));
    interpolate_splines(&kKeys, nullptr, nullptr, &out, 5, false);
    ASSERT_EQ(out.size(), 13u);
    EXPECT_EQ(out[4], kKeys[1]);
    interpolate_splines(&kKeys, nullptr, nullptr, &out, 0, false); // counts below 2 sample the ends only
    EXPECT_EQ(out, kKeys);

    // Closed: the tangent leaving the seam continues the one arriving at it.
    const std::vector<VEC> ring = {VEC(0, 0, 0), VEC(10, 0, 0), VEC(10, 10, 0), VEC(0, 10, 0), VEC(0, 0, 0)};
    interpolate_splines(&ring, nullptr, nullptr, &out, 33, false);
    const VEC arriving = (out.back() - out[out.size() - 2]).get_normalize();
    const VEC leaving = (out[1] - out[0]).get_normalize();
    EXPECT_GT(arriving.dot(leaving), 0.99f);
}

TEST(Spline, EvenSpacingAlongTheCurve) {
    std::vector<VEC> even, plain;
    const VEC a(0, 0, 0), b(0, 0, 0), c(10, 10, 0), d(30, 0, 0);
    interpolate_spline(a, b, c, d, &even, 9, true);
    interpolate_spline(a, b, c, d, &plain, 9, false);
    ASSERT_EQ(even.size(), 9u);
    EXPECT_EQ(even.front(), b);
    EXPECT_TRUE(even.back().is_coincide(c, 1e-5f));
    float lo = 1e9f, hi = 0, plain_lo = 1e9f, plain_hi = 0;
    for (size_t i = 1; i < even.size(); ++i) {
        lo = std::min(lo, (even[i] - even[i - 1]).len());
        hi = std::max(hi, (even[i] - even[i - 1]).len());
        plain_lo = std::min(plain_lo, (plain[i] - plain[i - 1]).len());
        plain_hi = std::max(plain_hi, (plain[i] - plain[i - 1]).len());
    }
    EXPECT_LT(hi / lo, 1.3f);                // within the resolution of eight samples per output point
    EXPECT_GT(plain_hi / plain_lo, hi / lo); // plain parameter steps are uneven on this curve
}

TEST(Spline, YFromXAndTheFallOffCurve) {
    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(get_spline_y_from_x_used_in_facegen(1, 10, 3, 3, 12, 0.001f), 0.0f);
    EXPECT_NEAR(get_spline_y_from_x_used_in_facegen(1, 10, 3, 3, 0, 0.001f), 1.0f, 1e-3);
    EXPECT_NEAR(get_spline_y_from_x_used_in_facegen(1, 10, 3, 3, -5, 0.001f), 0.5f, 1e-2); // symmetric
    EXPECT_TRUE(boxes.texts().empty());
    get_spline_y_from_x_used_in_facegen(-1, -1, 0, 0, -5, 0.001f);
    EXPECT_EQ(boxes.texts(), (std::vector<std::string>{"aplitude err", "range err"}));
    boxes.clear();
    EXPECT_EQ(get_spline_y_from_x(VEC(0, 0, 0), VEC(1, 1, 0), VEC(0.3f, 0, 0), VEC(0.7f, 1, 0), 2, 0.001f),
              0);
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"err get_spline_y_from_x"});
    const std::vector<VEC> rising = {VEC(0, 0, 0), VEC(5, 5, 0), VEC(10, 10, 0)};
    EXPECT_NEAR(get_splines_y_from_x(&rising, nullptr, nullptr, 7.5f, 0.0001f), 7.5f, 1e-3);
    EXPECT_EQ(get_splines_y_from_x(&rising, nullptr, nullptr, 11, 0.0001f), 0.0f);
}

TEST(Spline, ControllerLookupsStayInsideTheKeys) {
    qcore::MessageBoxRecorder boxes;
    const VEC head(-1, 0, 0), tail(9, 9, 9);
    EXPECT_EQ(get_key_a(&kKeys, &head, nullptr, 0), head);
    EXPECT_EQ(get_key_a(&kKeys, nullptr, nullptr, 0), kKeys[0]);
    EXPECT_EQ(get_key_a(&kKeys, nullptr, nullptr, 2), kKeys[1]);
    EXPECT_EQ(get_key_d(&kKeys, nullptr, &tail, 3), tail);
    EXPECT_EQ(get_key_d(&kKeys, nullptr, nullptr, 3), kKeys[3]);
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_EQ(get_key_d(&kKeys, nullptr, nullptr, 4), kKeys[3]);
    const std::vector<VEC> one = {VEC(1, 1, 1)}, none;
    EXPECT_EQ(get_key_d(&one, nullptr, nullptr, 0), one[0]);
    EXPECT_EQ(get_key_d(&none, nullptr, nullptr, 0), VEC(0, 0, 0));
    EXPECT_EQ(get_key_a(&none, nullptr, nullptr, 3), VEC(0, 0, 0));
    EXPECT_EQ(boxes.count(), 3u);
    EXPECT_EQ(boxes.texts()[0], "err get begin_controller");
}

TEST(Spline, ParametersOutsideTheRangeAndShortTracks) {
    CSpline3d s;
    EXPECT_EQ(s.get(0.5f), VEC(0, 0, 0));
    s.keys = {VEC(1, 2, 3)};
    EXPECT_EQ(s.get(0.7f), s.keys[0]);
    s.keys = {VEC(0, 0, 0), VEC(10, 0, 0)};
    EXPECT_EQ(s.get(1.002f), s.keys[1]);
    EXPECT_EQ(s.get(7.0f), s.keys[1]);
    EXPECT_EQ(s.get(-3.0f), s.keys[0]);
    EXPECT_EQ(s.get(std::nanf("")), s.keys[0]);

    CSpline1d f;
    EXPECT_EQ(f.get(0.5f), 0.0f);
    f.keys = {0, 10};
    EXPECT_FLOAT_EQ(f.get(0.5f), 5);
    EXPECT_EQ(f.get(1.002f), 10.0f);
    EXPECT_EQ(f.get(-0.5f), 0.0f);
    f.keys = {0, 10, 20};
    EXPECT_FLOAT_EQ(f.get(0.25f), 5);
    EXPECT_FLOAT_EQ(f.get(0.8f), 16);
}

TEST(Spline, ClosingSyncingAndRemovingKeys) {
    CSpline3d s;
    s.make_closed(0); // an empty open track stays as it is
    s.sync_head_tail(1);
    EXPECT_EQ(s.remove_key(0), 0);
    s.keys = {VEC(0, 0, 0), VEC(1, 0, 0)};
    s.make_closed(1); // fewer than three keys
    EXPECT_FALSE(s.is_closed());
    s.keys.push_back(VEC(1, 1, 0));
    s.make_closed(0); // open: no key is lost
    EXPECT_EQ(s.keys.size(), 3u);
    s.make_closed(1);
    s.make_closed(1); // once only
    ASSERT_EQ(s.keys.size(), 4u);
    EXPECT_EQ(s.keys.back(), s.keys.front());
    EXPECT_TRUE(s.is_closed());
    s.keys.back() = VEC(0, 0, 7);
    s.sync_head_tail(0);
    EXPECT_EQ(s.keys.front(), VEC(0, 0, 7));
    s.sync_head_tail(1);
    EXPECT_EQ(s.keys.back(), VEC(0, 0, 7));
    // Three keys and the closing one: removing the closing key takes the first as well and opens it.
    EXPECT_EQ(s.remove_key(3), 1);
    EXPECT_EQ(s.keys, (std::vector<VEC>{VEC(1, 0, 0), VEC(1, 1, 0)}));
    EXPECT_FALSE(s.is_closed());
    EXPECT_EQ(s.remove_key(2), 0);
    EXPECT_EQ(s.remove_key(-1), 0);

    CSpline1d f;
    f.keys = {1, 2, 3, 4};
    f.make_closed(1);
    EXPECT_EQ(f.remove_key(0), 1); // the new first key closes the track
    EXPECT_EQ(f.keys, (std::vector<float>{2, 3, 4, 2}));
    EXPECT_EQ(f.remove_key(2), 1); // three keys and the closing one: opens with two
    EXPECT_EQ(f.keys, (std::vector<float>{2, 3}));
    EXPECT_FALSE(f.is_closed());
    f.keys = {2, 3, 2};
    f.closed = 1;
    EXPECT_EQ(f.remove_key(1), 0); // too few to stay closed
    f.make_closed(0);
    EXPECT_EQ(f.keys, (std::vector<float>{2, 3}));
}

TEST(Spline, CachesRebuildWhenModified) {
    CSpline3d s;
    s.keys = kKeys;
    EXPECT_EQ(s.get_box().min, VEC(0, -10, 0));
    EXPECT_EQ(s.get_box().max, VEC(25, 5, 4));
    EXPECT_EQ(s.spline_vers.size(), 3u * 4 + 1);
    EXPECT_EQ(s.key_vers.size(), 4u);
    EXPECT_EQ(s.modified, 0);
    s.set_seg_num(4);
    s.set_spline_color(0xFF808080);
    EXPECT_EQ(s.modified, 0); // unchanged values
    s.set_seg_num(0);
    s.set_seg_num(-2);
    EXPECT_EQ(s.get_segment_between_keys(), 4);
    EXPECT_EQ(s.modified, 0);
    s.set_seg_num(2);
    s.set_key_color(0xFF00FF00);
    s.get_box();
    EXPECT_EQ(s.spline_vers.size(), 3u * 2 + 1);
    EXPECT_EQ(s.key_vers[0].color, 0xFF00FF00u);
    s.free();
    EXPECT_FALSE(s.get_box().is_valid());
    EXPECT_TRUE(s.spline_vers.empty());
}

TEST(Spline, OutlineThroughWindowPoints) {
    std::vector<tagPOINT> out;
    std::vector<tagPOINT> square = {{0, 0}, {100, 0}, {100, 100}, {0, 100}, {0, 5}};
    GetClosed2DSplinePoints(&square, &out);
    ASSERT_EQ(out.size(), 4u * 15 + 1);
    EXPECT_EQ(out.front().x, 0);
    EXPECT_EQ(out.back().x, 0);
    EXPECT_EQ(out.back().y, 0); // the last point was moved onto the first
    int outside = 0;
    for (const tagPOINT& p : out)
        outside += p.x < -20 || p.x > 120 || p.y < -20 || p.y > 120;
    EXPECT_EQ(outside, 0);
    square.back().y = 6;
    GetClosed2DSplinePoints(&square, &out);
    ASSERT_EQ(out.size(), 4u * 15 + 2);
    EXPECT_EQ(out[out.size() - 2].y, 6);
    EXPECT_EQ(out.back().y, 0); // closed by a straight segment
    const std::vector<tagPOINT> two = {{1, 2}, {3, 4}};
    GetClosed2DSplinePoints(&two, &out);
    EXPECT_EQ(out.size(), 2u);
    GetClosed2DSplinePoints(nullptr, &out);
    EXPECT_TRUE(out.empty());
}

TEST(Spline, TracksRoundTripThroughAFile) {
    qcore::test::TempDir dir;
    const std::string path = dir.file("tracks.tpk");
    CSpline3d s;
    s.keys = kKeys;
    s.make_closed(1);
    CSpline1d f;
    f.keys = {1.5f, 2.5f};
    {
        CPakFile pak;
        ASSERT_EQ(pak.create(path.c_str()), 1);
        CPakNode* d = pak.get_root()->create_dir_node("d");
        s.save_to_node(d, "pos");
        f.save_to_node(d, "val");
        pak.close_file();
    }
    CPakFile pak;
    ASSERT_EQ(pak.open(path.c_str(), 0), 1);
    CPakNode* d = pak.get_root()->find("d");
    ASSERT_NE(d, nullptr);
    EXPECT_EQ(d->find("pos")->get_sub_type(), 2);
    EXPECT_EQ(d->find("val")->get_sub_type(), 7);
    CSpline3d s2;
    ASSERT_EQ(s2.load_from_node(d, "pos"), 1);
    EXPECT_EQ(s2.keys, s.keys);
    EXPECT_TRUE(s2.is_closed());
    CSpline1d f2;
    ASSERT_EQ(f2.load_from_node(d, "val"), 1);
    EXPECT_EQ(f2.keys, f.keys);
    EXPECT_FALSE(f2.is_closed());

    qcore::MessageBoxRecorder boxes;
    EXPECT_EQ(s2.load_from_node(d, "missing"), 0);
    EXPECT_EQ(s2.keys, s.keys); // kept
    EXPECT_EQ(boxes.texts(), std::vector<std::string>{"load spline err"});
    EXPECT_EQ(s2.load_from_node(d, "pos-closed"), 0); // not a buffer
    f2.closed = 1;
    EXPECT_EQ(f2.load_from_node(d, "missing"), 0);
    EXPECT_EQ(f2.keys, f.keys);
    EXPECT_FALSE(f2.is_closed());
}

} // namespace
