#pragma once
// A float rectangle in window orientation (y grows downwards), used both for pixel rectangles and for
// rectangles given as fractions of a window rectangle.
#include <qcore/geom/math3d.h>
#include <qcore/platform/d3d8/d3d8_types.h>
#include <qcore/platform/win32/mfc_types.h>

class FRect {
public:
    // What get_nearest_side found under a point.
    enum ITEM_TYPE {
        IT_LEFT = 0,
        IT_TOP = 1,
        IT_RIGHT = 2,
        IT_BOTTOM = 3,
        IT_LEFT_MIDDLE = 4,
        IT_RIGHT_MIDDLE = 5,
        IT_TOP_MIDDLE = 6,
        IT_BOTTOM_MIDDLE = 7,
        IT_LEFT_TOP = 8,
        IT_RIGHT_TOP = 9,
        IT_LEFT_BOTTOM = 10,
        IT_RIGHT_BOTTOM = 11,
        IT_INSIDE = 12,
        IT_OUTSIDE = 13,
    };

    float left, top, right, bottom;

    FRect() : left(0), top(0), right(0), bottom(0) {}
    FRect(float l, float t, float r, float b) : left(l), top(t), right(r), bottom(b) {}
    FRect(const FRect&) = default;
    FRect& operator=(const FRect&) = default;

    // The integers converted in order.
    int operator=(const RECT& r) { return assign(r.left, r.top, r.right, r.bottom); }
    int operator=(const D3DRECT& r) { return assign(r.x1, r.y1, r.x2, r.y2); }
    int operator=(const D3DVIEWPORT8& vp);

    void set(float l, float t, float r, float b) {
        left = l;
        top = t;
        right = r;
        bottom = b;
    }
    void set_zero() { set(0, 0, 0, 0); }
    float width() const { return right - left; }
    float height() const { return bottom - top; }
    void set_width(float w) { right = left + w; }
    void set_height(float h) { bottom = top + h; }
    D3DXVECTOR2 v0() const { return {left, top}; }
    D3DXVECTOR2 v1() const { return {right, top}; }
    D3DXVECTOR2 v2() const { return {left, bottom}; }
    D3DXVECTOR2 v3() const { return {right, bottom}; }
    int is_zero() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    int is_have_size() const { return width() > 0 && height() > 0; }
    int is_equal(const FRect& r) const {
        return left == r.left && top == r.top && right == r.right && bottom == r.bottom;
    }
    // All four borders count as inside.
    int is_pt_inside(const CPoint& p) const {
        return left <= p.x && p.x <= right && top <= p.y && p.y <= bottom;
    }

    // Each member (int)(value + 0.5).
    CRect convert_to_crect() const;
    // X, Y, Width and Height rounded the same way; MinZ and MaxZ stay.
    void apply_to_vport(D3DVIEWPORT8& vp) const;
    void apply_to_D3DRECT(D3DRECT& r) const;
    // Reads this as fractions (0 … 1) of r and turns it into r's units.
    void multiply_crect(const CRect& r);
    void offset_self(const D3DXVECTOR2& v) {
        left += v.x;
        right += v.x;
        top += v.y;
        bottom += v.y;
    }
    FRect get_offset(const D3DXVECTOR2& v) const {
        FRect r = *this;
        r.offset_self(v);
        return r;
    }
    // Transforms the two corners by m; nothing when m is null.
    void transf_frect(const MAT* m);
    // Clips this to r and returns 1 when they overlap with positive area; else 0, unchanged.
    int intsect_with_rect(const FRect& r);
    void normalize_self();
    // Which corner, edge midpoint or edge lies within tolerance of p, in that priority.
    ITEM_TYPE get_nearest_side(const CPoint& p, int tolerance) const;

private:
    int assign(LONG l, LONG t, LONG r, LONG b) {
        set(static_cast<float>(l), static_cast<float>(t), static_cast<float>(r), static_cast<float>(b));
        return 1;
    }
};

static_assert(sizeof(FRect) == 16 && std::is_standard_layout_v<FRect>);
