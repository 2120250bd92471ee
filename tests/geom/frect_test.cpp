#include <qcore/geom/frect.h>

#include <gtest/gtest.h>

TEST(FRect, ConversionsRoundByAddingAHalfAndTruncating) {
    const CRect r = FRect(-0.7f, 0.5f, 2.49f, -1.6f).convert_to_crect();
    EXPECT_EQ(r.left, 0); // -0.2 truncates toward zero
    EXPECT_EQ(r.top, 1);
    EXPECT_EQ(r.right, 2);
    EXPECT_EQ(r.bottom, -1);

    D3DVIEWPORT8 vp{0, 0, 0, 0, 0.25f, 0.5f};
    FRect(10.4f, 20.5f, 110.3f, 70.4f).apply_to_vport(vp);
    EXPECT_EQ(vp.X, 10u);
    EXPECT_EQ(vp.Y, 21u);
    EXPECT_EQ(vp.Width, 100u);
    EXPECT_EQ(vp.Height, 50u);
    EXPECT_EQ(vp.MinZ, 0.25f);
    EXPECT_EQ(vp.MaxZ, 0.5f);

    D3DRECT d;
    FRect(1.5f, 2.4f, 3.6f, 4.0f).apply_to_D3DRECT(d);
    EXPECT_EQ(d.x1, 2);
    EXPECT_EQ(d.y1, 2);
    EXPECT_EQ(d.x2, 4);
    EXPECT_EQ(d.y2, 4);
}

TEST(FRect, AssignsFromIntegerRectanglesAndViewports) {
    FRect f;
    EXPECT_EQ(f = CRect(1, 2, 3, 4), 1);
    EXPECT_TRUE(f.is_equal(FRect(1, 2, 3, 4)));
    EXPECT_EQ((f = D3DRECT{-5, 6, 7, 8}), 1);
    EXPECT_TRUE(f.is_equal(FRect(-5, 6, 7, 8)));
    EXPECT_EQ((f = D3DVIEWPORT8{10, 20, 300, 200, 0, 1}), 1);
    EXPECT_TRUE(f.is_equal(FRect(10, 20, 310, 220)));
    EXPECT_EQ(f.width(), 300.0f);
    EXPECT_EQ(f.height(), 200.0f);
}

TEST(FRect, FractionsOfAWindowRectangle) {
    FRect f(0.25f, 0.5f, 0.75f, 1.0f);
    f.multiply_crect(CRect(100, 200, 500, 400));
    EXPECT_TRUE(f.is_equal(FRect(200, 300, 400, 400)));
}

TEST(FRect, IntersectionNeedsPositiveArea) {
    FRect a(0, 0, 10, 10);
    EXPECT_EQ(a.intsect_with_rect(FRect(10, 0, 20, 10)), 0); // touching edges
    EXPECT_TRUE(a.is_equal(FRect(0, 0, 10, 10)));
    EXPECT_EQ(a.intsect_with_rect(FRect(0, 10, 10, 20)), 0);
    EXPECT_EQ(a.intsect_with_rect(FRect(5, -5, 20, 5)), 1);
    EXPECT_TRUE(a.is_equal(FRect(5, 0, 10, 5)));
}

TEST(FRect, SizeOffsetNormaliseAndTransform) {
    FRect f(10, 20, 5, 8);
    EXPECT_FALSE(f.is_have_size());
    f.normalize_self();
    EXPECT_TRUE(f.is_equal(FRect(5, 8, 10, 20)));
    EXPECT_TRUE(f.is_have_size());
    f.set_width(2);
    f.set_height(3);
    EXPECT_TRUE(f.is_equal(FRect(5, 8, 7, 11)));
    EXPECT_TRUE(f.get_offset(D3DXVECTOR2(1, -1)).is_equal(FRect(6, 7, 8, 10)));
    EXPECT_EQ(f.v3(), D3DXVECTOR2(7, 11));
    f.transf_frect(nullptr);
    EXPECT_TRUE(f.is_equal(FRect(5, 8, 7, 11)));
    const MAT m = MAT::get_scaling_matrix(2, 2, 2) * MAT::get_pan_matrix(1, 1, 0);
    f.transf_frect(&m);
    EXPECT_TRUE(f.is_equal(FRect(11, 17, 15, 23)));
    FRect z(1, 0, 0, 0);
    EXPECT_FALSE(z.is_zero());
    z.set_zero();
    EXPECT_TRUE(z.is_zero());
}

TEST(FRect, PointInsideCountsAllBorders) {
    const FRect f(0, 0, 10, 10);
    for (const CPoint& p : {CPoint(0, 0), CPoint(10, 10), CPoint(0, 10), CPoint(10, 5), CPoint(5, 0)})
        EXPECT_TRUE(f.is_pt_inside(p)) << p.x << "," << p.y;
    EXPECT_FALSE(f.is_pt_inside(CPoint(11, 5)));
    EXPECT_FALSE(f.is_pt_inside(CPoint(5, -1)));
}

TEST(FRect, NearestSideTriesCornersThenMidpointsThenEdges) {
    const FRect f(0, 0, 100, 60);
    const struct {
        CPoint p;
        int tolerance;
        FRect::ITEM_TYPE expected;
    } cases[] = {
        {{1, 1}, 5, FRect::IT_LEFT_TOP},
        {{99, -2}, 5, FRect::IT_RIGHT_TOP},
        {{-3, 62}, 5, FRect::IT_LEFT_BOTTOM},
        {{103, 63}, 5, FRect::IT_RIGHT_BOTTOM},
        {{2, 31}, 5, FRect::IT_LEFT_MIDDLE},
        {{98, 30}, 5, FRect::IT_RIGHT_MIDDLE},
        {{50, 1}, 5, FRect::IT_TOP_MIDDLE},
        {{49, 59}, 5, FRect::IT_BOTTOM_MIDDLE},
        {{1, 20}, 5, FRect::IT_LEFT},
        {{20, -1}, 5, FRect::IT_TOP},
        {{101, 45}, 5, FRect::IT_RIGHT},
        {{80, 60}, 5, FRect::IT_BOTTOM},
        {{30, 30}, 5, FRect::IT_INSIDE},
        {{130, 30}, 5, FRect::IT_OUTSIDE},
        // A corner within tolerance wins over a nearer edge.
        {{4, 0}, 5, FRect::IT_LEFT_TOP},
        // Distance equal to the tolerance is not near.
        {{5, 30}, 5, FRect::IT_INSIDE},
        {{0, 30}, 0, FRect::IT_INSIDE},
    };
    for (const auto& c : cases)
        EXPECT_EQ(f.get_nearest_side(c.p, c.tolerance), c.expected) << c.p.x << "," << c.p.y;
    // In a degenerate rectangle all corners coincide: the first, left-top, wins.
    EXPECT_EQ(FRect(5, 5, 5, 5).get_nearest_side(CPoint(5, 5), 2), FRect::IT_LEFT_TOP);
    // In a thin rectangle the left and right midpoints tie at the same distance: left first.
    EXPECT_EQ(FRect(0, 0, 2, 100).get_nearest_side(CPoint(1, 50), 3), FRect::IT_LEFT_MIDDLE);
}
