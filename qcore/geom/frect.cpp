#include <qcore/geom/frect.h>

#include <utility>

namespace {
int round_half_up(float v) {
    return qcore::detail::trunc_to_int(v + 0.5);
}
} // namespace

int FRect::operator=(const D3DVIEWPORT8& vp) {
    set(static_cast<float>(vp.X), static_cast<float>(vp.Y), static_cast<float>(vp.X + vp.Width),
        static_cast<float>(vp.Y + vp.Height));
    return 1;
}

CRect FRect::convert_to_crect() const {
    return CRect(round_half_up(left), round_half_up(top), round_half_up(right), round_half_up(bottom));
}

void FRect::apply_to_vport(D3DVIEWPORT8& vp) const {
    vp.X = static_cast<DWORD>(round_half_up(left));
    vp.Y = static_cast<DWORD>(round_half_up(top));
    vp.Width = static_cast<DWORD>(round_half_up(right - left));
    vp.Height = static_cast<DWORD>(round_half_up(bottom - top));
}

void FRect::apply_to_D3DRECT(D3DRECT& r) const {
    r.x1 = round_half_up(left);
    r.y1 = round_half_up(top);
    r.x2 = round_half_up(right);
    r.y2 = round_half_up(bottom);
}

void FRect::multiply_crect(const CRect& r) {
    const float w = static_cast<float>(r.right - r.left), h = static_cast<float>(r.bottom - r.top);
    set(r.left + w * left, r.top + h * top, r.left + w * right, r.top + h * bottom);
}

void FRect::transf_frect(const MAT* m) {
    if (!m) return;
    VEC a(left, top, 0), b(right, bottom, 0);
    a.transf_self(*m);
    b.transf_self(*m);
    set(a.x, a.y, b.x, b.y);
}

int FRect::intsect_with_rect(const FRect& r) {
    if (left >= r.right || right <= r.left || top >= r.bottom || bottom <= r.top) return 0;
    set(std::max(left, r.left), std::max(top, r.top), std::min(right, r.right), std::min(bottom, r.bottom));
    return 1;
}

void FRect::normalize_self() {
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
}

FRect::ITEM_TYPE FRect::get_nearest_side(const CPoint& p, int tolerance) const {
    const D3DXVECTOR2 pt(static_cast<float>(p.x), static_cast<float>(p.y));
    const float tol = static_cast<float>(tolerance);
    // Returns the index of the nearest distance when it is within tolerance, else -1.
    auto nearest = [tol](const std::vector<float>& dist) {
        const int i = get_min_value_index(dist);
        return i >= 0 && dist[i] < tol ? i : -1;
    };
    const float mid_x = (left + right) / 2, mid_y = (top + bottom) / 2;
    int i = nearest({dist2d_pt_to_pt(pt, v0()), dist2d_pt_to_pt(pt, v1()), dist2d_pt_to_pt(pt, v2()),
                     dist2d_pt_to_pt(pt, v3())});
    if (i >= 0) return static_cast<ITEM_TYPE>(IT_LEFT_TOP + i);
    i = nearest({dist2d_pt_to_pt(pt, {left, mid_y}), dist2d_pt_to_pt(pt, {right, mid_y}),
                 dist2d_pt_to_pt(pt, {mid_x, top}), dist2d_pt_to_pt(pt, {mid_x, bottom})});
    if (i >= 0) return static_cast<ITEM_TYPE>(IT_LEFT_MIDDLE + i);
    i = nearest({dist2d_pt_to_line(pt, v0(), v2()), dist2d_pt_to_line(pt, v0(), v1()),
                 dist2d_pt_to_line(pt, v1(), v3()), dist2d_pt_to_line(pt, v3(), v2())});
    if (i >= 0) return static_cast<ITEM_TYPE>(IT_LEFT + i);
    return is_pt_inside(p) ? IT_INSIDE : IT_OUTSIDE;
}
